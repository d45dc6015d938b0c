#include "runner/SaveToFolder.h"

#include <shlobj.h>
#include <cstdio>
#include <winnetwk.h>

#include "common/JobRecord.h"
#include "common/Localize.h"
#include "common/VlmLog.h"
#include "framework/ComError.h"
#include "framework/Handles.h"
#include "framework/MessageBox.h"
#include "imaging/output/PageImage.h"
#include "runner/core/SaveRules.h"

namespace {

CVlmLog& Log() {
    return CVlmLog::Instance();
}

bool IsExistingDirectory(const std::string& path) {
    const DWORD attrs = ::GetFileAttributesA(path.c_str());
    return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY);
}

vlm::output::CLocalTime LocalTimeNow() {
    SYSTEMTIME st;
    ::GetLocalTime(&st);
    return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
}

void LogTimeStamp(const vlm::output::CLocalTime& t) {
    // The name rule without prefix and type is the time stamp alone.
    Log().Write("timestamp is %s", vlm::output::PageFileName("", t, "").c_str());
}

// The shell's path functions, looked up once in shlwapi.dll.
struct CShellPaths {
    vlm::CModule m_shlwapi;
    BOOL(WINAPI* m_pfnIsNetworkPath)(LPCSTR) = nullptr;
    BOOL(WINAPI* m_pfnCanonicalize)(LPSTR, LPCSTR) = nullptr;

    CShellPaths() {
        if (m_shlwapi.Load("shlwapi.dll")) {
            m_pfnIsNetworkPath = reinterpret_cast<decltype(m_pfnIsNetworkPath)>(
                reinterpret_cast<void*>(m_shlwapi.GetProc("PathIsNetworkPathA")));
            m_pfnCanonicalize = reinterpret_cast<decltype(m_pfnCanonicalize)>(
                reinterpret_cast<void*>(m_shlwapi.GetProc("PathCanonicalizeA")));
        }
    }
    static const CShellPaths& Get() {
        static const CShellPaths s_paths;
        return s_paths;
    }
};

// Copies src to dest so that dest never names a file cut short: the bytes go
// to a new "vlmXXXX.tmp" in dest's folder (no longer a path than dest, whose
// length the job already allows), are flushed to the disk and only then take
// the final name (a rename within one folder, whole or not at all). The
// temporary file is made empty first, so that the name noted is surely ours,
// and noted before it is filled. A copy that fails (the disk full, the share
// gone) removes its partial file. 0 or the copy's Win32 error, as a copy
// straight to dest would have given it.
DWORD CopyWhole(const std::string& src, const std::string& folder, const std::string& dest,
                const std::function<void(const std::string&)>& note) {
    const std::string base = kestrel::TrimTrailingBackslashes(folder) + "\\";
    const unsigned seed = ::GetTickCount() ^ ::GetCurrentProcessId();
    std::string part;
    DWORD err = ERROR_FILE_EXISTS;
    for (unsigned n = 0; n < 64 && err == ERROR_FILE_EXISTS; ++n) {
        part = base + kestrel::SaveTempName(seed + n);
        const vlm::CHandle made(::CreateFileA(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                              FILE_ATTRIBUTE_NORMAL, nullptr));
        err = made.IsValid() ? NO_ERROR : ::GetLastError();
        if (err == ERROR_ALREADY_EXISTS)
            err = ERROR_FILE_EXISTS;
    }
    if (err != NO_ERROR)
        return err; // nothing of ours was made
    if (note)
        note(part);
    if (!::CopyFileA(src.c_str(), part.c_str(), FALSE))
        err = ::GetLastError();
    // Without the flush a power loss after the rename could leave the final
    // name over blocks never written.
    if (err == NO_ERROR) {
        vlm::CHandle h(::CreateFileA(part.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, 0, nullptr));
        if (!h.IsValid() || !::FlushFileBuffers(h.Get()))
            err = ::GetLastError();
    }
    if (err == NO_ERROR && !::MoveFileExA(part.c_str(), dest.c_str(),
                                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        err = ::GetLastError();
    const bool gone = err == NO_ERROR || ::DeleteFileA(part.c_str());
    if (!gone)
        Log().Write("DeleteFile(%s) Failed!: %s", part.c_str(),
                    GetSystemErrorText(::GetLastError()).c_str());
    if (gone && note)
        note(std::string());
    return err;
}

} // namespace

// ---- folder warnings -------------------------------------------------------

void CFolderWarnings::AllOff() {
    for (CFolderWarning& e : m_Entries)
        e.m_bOn = FALSE;
}

bool CFolderWarnings::IsOver(ULONGLONG outputSoFar) {
    const int index = kestrel::FirstEntryOverLimit(m_Entries, outputSoFar);
    if (index < 0)
        return false;
    m_strOverFolder = m_Entries[index].m_strPath;
    return true;
}

std::string FolderOverLimitQuestion(const std::string& folder) {
    return VlmFillIn(VlmLocalize("%s:The folder size has been already over the specified size.Do "
                                 "you continue to scan?"),
                     folder);
}

// ---- texts and names -------------------------------------------------------

std::string GetSystemErrorText(DWORD code) {
    const LANGID thread = LANGIDFROMLCID(::GetThreadLocale());
    return kestrel::FirstErrorText(code, kestrel::ErrorTextLanguages(thread),
                                   [code](uint16_t lang, std::string& text) {
                                       text = VlmSystemMessage(code, lang);
                                       return !text.empty();
                                   });
}

std::string MakePageFileName(const std::string& prefix, const std::string& fileType) {
    const vlm::output::CLocalTime t = LocalTimeNow();
    LogTimeStamp(t);
    return vlm::output::PageFileName(prefix, t, fileType);
}

std::string MakeUniquePageFilePath(const std::string& folder, const std::string& prefix,
                                   const std::string& fileType) {
    const vlm::output::CLocalTime t = LocalTimeNow();
    LogTimeStamp(t);
    return vlm::output::UniquePageFilePath(folder, prefix, t, fileType, [](const std::string& p) {
        return ::GetFileAttributesA(p.c_str()) != INVALID_FILE_ATTRIBUTES;
    });
}

// ---- saving ----------------------------------------------------------------

BOOL SaveToFolder(const CSaveContext& ctx, const std::vector<std::string>& files,
                  std::vector<std::string>& savedFiles) {
    const long fn = ctx.m_nFunctionId;
    const bool delivers =
        fn == SCAN_TO_PC || fn == SCAN_TO_MAIL || fn == SCAN_TO_PC_RUNAPP || fn == SCAN_TO_MAPI;
    if (!delivers || ctx.m_strSaveFolder.empty())
        return TRUE;
    auto show = [&](const char* text) {
        if (ctx.m_fnDispMessage)
            ctx.m_fnDispMessage(text, TRUE);
    };
    const std::string& folder = ctx.m_strSaveFolder;
    const bool network = kestrel::BeginsWithUncPrefix(folder);
    bool connected = false;
    if (network) {
        NETRESOURCEA res{};
        res.dwType = RESOURCETYPE_DISK;
        // The share's name, not a folder name: no trailing separator.
        std::string remote = kestrel::TrimTrailingBackslashes(folder);
        res.lpRemoteName = &remote[0];
        const DWORD rc = ::WNetAddConnection2A(
            &res, ctx.m_strPassword.empty() ? nullptr : ctx.m_strPassword.c_str(),
            ctx.m_strUser.empty() ? nullptr : ctx.m_strUser.c_str(), 0);
        if (rc == NO_ERROR) {
            connected = true;
        } else {
            Log().Write("WNetAddConnection2 Failed!: %s", GetSystemErrorText(rc).c_str());
            // The share may answer without a connection of our own: the user
            // is already connected to the server (under other credentials,
            // 1219), or the system has no network provider (1222) but maps
            // the share. Then the copy decides; a share that does not answer
            // fails here as a connection failure.
            if (!IsExistingDirectory(folder)) {
                show(VlmLocalize("Can't access folder.").c_str());
                return FALSE;
            }
            Log().Write("WNetAddConnection2: %s answers; copying without a connection",
                        folder.c_str());
        }
    }

    BOOL ok = TRUE;
    for (const std::string& file : files) {
        const std::string dest = kestrel::DestinationPath(folder, file);
        const DWORD err = CopyWhole(file, folder, dest, ctx.m_fnNoteTempFile);
        if (err == NO_ERROR) {
            Log().Write("CopyFile OK!\n");
            savedFiles.push_back(dest);
            continue;
        }
        const std::string text = GetSystemErrorText(err);
        Log().Write("CopyFile Failed!: %s", text.c_str());
        show(ctx.m_bStartedByScanner ? VlmLocalize("Can't access folder.").c_str() : text.c_str());
        ok = FALSE;
        break;
    }

    // Only a connection made here is cancelled: an existing one of the
    // user's stays.
    if (connected) {
        const DWORD rc =
            ::WNetCancelConnection2A(kestrel::TrimTrailingBackslashes(folder).c_str(), 0, FALSE);
        if (rc != NO_ERROR)
            Log().Write("WNetCancelConnection2 Failed!: %s", GetSystemErrorText(rc).c_str());
    }
    return ok;
}

// ---- the pictures folder ---------------------------------------------------

CShellFolderCalls SystemShellFolderCalls(const char* caption) {
    CShellFolderCalls calls;
    // shell32 stays loaded for the life of the process once asked.
    HMODULE shell = ::GetModuleHandleA("shell32.dll");
    if (!shell)
        shell = ::LoadLibraryA("shell32.dll");
    if (shell) {
        calls.m_pfnGetFolderPath = reinterpret_cast<decltype(calls.m_pfnGetFolderPath)>(
            reinterpret_cast<void*>(::GetProcAddress(shell, "SHGetFolderPathA")));
        if (!calls.m_pfnGetFolderPath)
            calls.m_dwMissingError = ::GetLastError();
        calls.m_pfnGetSpecialFolderPath =
            reinterpret_cast<decltype(calls.m_pfnGetSpecialFolderPath)>(
                reinterpret_cast<void*>(::GetProcAddress(shell, "SHGetSpecialFolderPathA")));
    } else {
        calls.m_dwMissingError = ::GetLastError();
    }
    const std::string title = caption ? caption : "";
    calls.m_fnShowError = [title](const char* text) {
        VlmMessageBoxTop(nullptr, text, title.c_str(), MB_OK | MB_TOPMOST | MB_SETFOREGROUND);
    };
    return calls;
}

std::string GetMyPicturesFolderWith(const CShellFolderCalls& calls) {
    auto showError = [&](DWORD code) {
        if (calls.m_fnShowError)
            calls.m_fnShowError(GetSystemErrorText(code).c_str());
    };
    char path[MAX_PATH] = {};
    if (!calls.m_pfnGetFolderPath) {
        Log().Write("SHGetFolderPath err1  %d", static_cast<int>(calls.m_dwMissingError));
    } else {
        for (int csidl : {CSIDL_MYPICTURES, CSIDL_PERSONAL}) {
            const HRESULT hr =
                calls.m_pfnGetFolderPath(nullptr, csidl | CSIDL_FLAG_CREATE, nullptr, 0, path);
            if (SUCCEEDED(hr))
                return path;
            Log().Write("SHGetFolderPath err2  %x", static_cast<unsigned>(hr));
        }
    }
    // The older shell call knows the documents folder only.
    path[0] = '\0';
    if (!calls.m_pfnGetSpecialFolderPath ||
        !calls.m_pfnGetSpecialFolderPath(nullptr, path, CSIDL_PERSONAL, TRUE)) {
        showError(calls.m_pfnGetSpecialFolderPath ? ::GetLastError() : ERROR_PROC_NOT_FOUND);
        return std::string();
    }
    const std::string folder = kestrel::TrimTrailingBackslashes(path) + "\\My Pictures";
    if (!::CreateDirectoryA(folder.c_str(), nullptr)) {
        const DWORD err = ::GetLastError();
        if (err != ERROR_ALREADY_EXISTS) {
            showError(err);
            return std::string();
        }
    }
    return folder;
}

std::string GetMyPicturesFolder(const char* caption) {
    return GetMyPicturesFolderWith(SystemShellFolderCalls(caption));
}

// ---- folder warnings at start-up -------------------------------------------

ULONGLONG FolderSize(const std::string& folder) {
    const std::string base = kestrel::TrimTrailingBackslashes(folder);
    WIN32_FIND_DATAA fd;
    vlm::CFindHandle find(::FindFirstFileA((base + "\\*.*").c_str(), &fd));
    if (!find)
        return 0;
    ULONGLONG total = 0;
    do {
        const std::string name = fd.cFileName;
        if (name == "." || name == "..")
            continue;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            // A junction may point back up the tree: its files are counted
            // where they really are.
            if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                total = kestrel::AddSaturated(total, FolderSize(base + "\\" + name));
        } else {
            total = kestrel::AddSaturated(total, (static_cast<ULONGLONG>(fd.nFileSizeHigh) << 32) |
                                                     fd.nFileSizeLow);
        }
    } while (::FindNextFileA(find, &fd));
    return total;
}

bool IsNetworkFolder(const std::string& path) {
    const CShellPaths& shell = CShellPaths::Get();
    if (shell.m_pfnIsNetworkPath)
        return shell.m_pfnIsNetworkPath(path.c_str()) != FALSE;
    return kestrel::BeginsWithUncPrefix(path);
}

std::string NormalisedFolder(const std::string& path) {
    const CShellPaths& shell = CShellPaths::Get();
    char buf[MAX_PATH] = {};
    std::string canonical = path;
    if (shell.m_pfnCanonicalize && path.size() < MAX_PATH &&
        shell.m_pfnCanonicalize(buf, path.c_str()))
        canonical = buf;
    // What the shell leaves (a trailing "\\.", for one) the full path resolves.
    DWORD n = ::GetFullPathNameA(canonical.c_str(), MAX_PATH, buf, nullptr);
    if (n > 0 && n < MAX_PATH)
        canonical = buf;
    // Short (8.3) names and the like become the names stored on disk; a
    // folder that does not exist keeps its text.
    n = ::GetLongPathNameA(canonical.c_str(), buf, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::string(buf) : canonical;
}

BOOL PrepareWarningFunction(const CWarningContext& ctx, CFolderWarnings& warnings, bool* pOver) {
    if (pOver)
        *pOver = false;
    warnings.m_strOverFolder.clear();
    for (int i = 0; i < vlm::kFolderWarnings; ++i) {
        CFolderWarning& e = warnings.m_Entries[i];
        e.m_bOn = StoreGetLong(ctx.m_pStore, vlm::WarningKey(vlm::kKeyDisplayWarningFmt, i).c_str())
                      ? TRUE
                      : FALSE;
        e.m_strPath =
            StoreGetString(ctx.m_pStore, vlm::WarningKey(vlm::kKeyMonitorPathFmt, i).c_str());
        e.m_ullLimit = vlm::WarningSizeBytes(
            StoreGetLong(ctx.m_pStore, vlm::WarningKey(vlm::kKeyWarningSizeFmt, i).c_str()));
        e.m_ullCurrent = 0;
    }
    if (ctx.m_nFunctionId == SCAN_TO_PR) {
        warnings.AllOff();
        return TRUE;
    }

    const std::string& folder = ctx.m_strSaveFolder;
    // A network folder that does not answer now may answer after the scan.
    if (!folder.empty() && !IsExistingDirectory(folder) && !IsNetworkFolder(folder)) {
        Log().Write("PrepareWarningFunction: save folder %s not found", folder.c_str());
        if (ctx.m_bStartedByScanner) {
            ::Sleep(1000);
            if (ctx.m_fnPanel)
                ctx.m_fnPanel(VlmLocalize("Save location is not found.").c_str(), TRUE);
        } else {
            const std::string text = folder + " : " + GetSystemErrorText(ERROR_PATH_NOT_FOUND);
            VlmMessageBoxTop(nullptr, text.c_str(), ctx.m_strCaption.c_str(),
                             MB_OK | MB_TOPMOST | MB_SETFOREGROUND);
        }
        return FALSE;
    }

    const std::string save = folder.empty() ? folder : NormalisedFolder(folder);
    const bool saveIsNetwork = !save.empty() && IsNetworkFolder(save);
    for (CFolderWarning& e : warnings.m_Entries) {
        if (!e.m_bOn)
            continue;
        // An entry without a folder watches nothing.
        const std::string watched =
            e.m_strPath.empty() ? e.m_strPath : NormalisedFolder(e.m_strPath);
        if (!save.empty() && !watched.empty() &&
            kestrel::LiesUnderWatchedFolder(save, saveIsNetwork, watched,
                                            IsNetworkFolder(watched))) {
            e.m_ullCurrent = FolderSize(watched);
            Log().Write("PrepareWarningFunction: %s holds %s bytes", watched.c_str(),
                        std::to_string(e.m_ullCurrent).c_str());
        } else {
            e.m_bOn = FALSE;
        }
    }
    const bool over = warnings.IsOver(0);
    if (pOver)
        *pOver = over;
    return TRUE;
}

EStartupFolders CheckFoldersAtStartup(const CWarningContext& ctx, CFolderWarnings& warnings) {
    Log().Write("PrepareWarningFunction start");
    bool over = false;
    const BOOL ready = PrepareWarningFunction(ctx, warnings, &over);
    Log().Write("PrepareWarningFunction end");
    if (!ready)
        return EStartupFolders::SaveFolderMissing;
    if (!over)
        return EStartupFolders::Proceed;
    auto panel = [&](const std::string& text) {
        if (ctx.m_fnPanel)
            ctx.m_fnPanel(text.c_str(), TRUE);
    };
    if (ctx.m_bStartedByScanner)
        panel(VlmLocalize("Error occured. See PC."));
    const std::string question = FolderOverLimitQuestion(warnings.m_strOverFolder);
    panel(question);
    // No owner: a window of another program would be disabled while the box
    // is up; topmost and foreground put the box over it instead.
    const int answer =
        VlmMessageBoxTop(nullptr, question.c_str(), ctx.m_strCaption.c_str(),
                         MB_YESNO | MB_ICONEXCLAMATION | MB_TOPMOST | MB_SETFOREGROUND);
    if (answer != IDYES)
        return EStartupFolders::Declined;
    warnings.AllOff();
    return EStartupFolders::Proceed;
}
