#include "common/RecoveredScans.h"

#include <shlobj.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "framework/Handles.h"

namespace vlm {

namespace {

std::string Join(const std::string& folder, const std::string& name) {
    return folder + "\\" + name;
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool SameContents(const std::string& a, const std::string& b) {
    std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
    if (!fa || !fb)
        return false;
    char ba[65536], bb[65536];
    for (;;) {
        fa.read(ba, sizeof ba);
        fb.read(bb, sizeof bb);
        if (fa.gcount() != fb.gcount() || !std::equal(ba, ba + fa.gcount(), bb))
            return false;
        if (fa.gcount() == 0)
            return fa.eof() && fb.eof();
    }
}

ULONGLONG ToUlong(const FILETIME& ft) {
    return (ULONGLONG(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

constexpr ULONGLONG kTicksPerDay = 24ULL * 3600 * 10000000;

// The recovered job's age in days, from its manifest's local time, else from
// the folder's last change; -1 when neither can be read.
double AgeInDays(const std::string& folder) {
    RecoveryRecord r;
    int f[6];
    FILETIME then{}, now{};
    if (ReadRecoveryManifest(folder, r) && ParseRecoveryTime(r.m_strTime, f)) {
        SYSTEMTIME st{};
        st.wYear = WORD(f[0]), st.wMonth = WORD(f[1]), st.wDay = WORD(f[2]);
        st.wHour = WORD(f[3]), st.wMinute = WORD(f[4]), st.wSecond = WORD(f[5]);
        SYSTEMTIME local;
        GetLocalTime(&local);
        if (!SystemTimeToFileTime(&st, &then) || !SystemTimeToFileTime(&local, &now))
            return -1;
    } else {
        WIN32_FILE_ATTRIBUTE_DATA a;
        if (!GetFileAttributesExA(folder.c_str(), GetFileExInfoStandard, &a))
            return -1;
        then = a.ftLastWriteTime;
        GetSystemTimeAsFileTime(&now);
    }
    return (double(ToUlong(now)) - double(ToUlong(then))) / double(kTicksPerDay);
}

// Calls fn with the full path of each subfolder of the root.
template <class Fn> void ForEachRecoveryFolder(Fn fn) {
    const std::string root = RecoveredScansRoot();
    if (root.empty())
        return;
    WIN32_FIND_DATAA fd;
    CFindHandle h(FindFirstFileA(Join(root, "*").c_str(), &fd));
    if (!h)
        return;
    do {
        const std::string name = fd.cFileName;
        if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != "." && name != "..")
            fn(Join(root, name));
    } while (FindNextFileA(h, &fd));
}

} // namespace

std::string RecoveredScansRoot() {
    char base[MAX_PATH] = {};
    if (FAILED(
            SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, base)))
        return std::string();
    const std::string maker = Join(base, "Velmora Works");
    const std::string root = Join(maker, "Recovered scans");
    CreateDirectoryA(maker.c_str(), nullptr);
    CreateDirectoryA(root.c_str(), nullptr);
    return Exists(root) ? root : std::string();
}

std::string RecoveryTimeNow() {
    SYSTEMTIME st;
    GetLocalTime(&st);
    return FormatRecoveryTime(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond);
}

std::string CreateRecoveryFolder(const RecoveryRecord& r) {
    const std::string root = RecoveredScansRoot();
    if (root.empty())
        return std::string();
    const std::string name = Join(root, RecoveryFolderName(r));
    for (int n = 1; n < 1000; ++n) {
        const std::string folder = n == 1 ? name : name + " (" + std::to_string(n) + ")";
        if (CreateDirectoryA(folder.c_str(), nullptr))
            return folder;
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            return std::string();
    }
    return std::string();
}

BOOL MoveFileVerified(const std::string& from, const std::string& to) {
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH))
        return TRUE;
    if (GetLastError() != ERROR_NOT_SAME_DEVICE)
        return FALSE;
    if (!CopyFileA(from.c_str(), to.c_str(), TRUE))
        return FALSE;
    if (!SameContents(from, to)) {
        DeleteFileA(to.c_str());
        SetLastError(ERROR_WRITE_FAULT);
        return FALSE;
    }
    // Both copies stand when the source cannot go: nothing is lost.
    return DeleteFileA(from.c_str());
}

BOOL MoveIntoRecovery(const std::string& folder, RecoveryRecord r, DWORD* pError) {
    DWORD error = ERROR_SUCCESS;
    std::vector<std::string> names;
    for (const std::string& file : r.m_Files) {
        const std::string name = BaseName(file), to = Join(folder, name);
        if (Exists(file) ? MoveFileVerified(file, to) : Exists(to))
            names.push_back(name);
        else if (Exists(file))
            error = GetLastError();
    }
    r.m_Files = names;
    if (!WriteRecoveryManifest(folder, r) && error == ERROR_SUCCESS)
        error = GetLastError();
    if (pError)
        *pError = error;
    return error == ERROR_SUCCESS;
}

BOOL WriteRecoveryManifest(const std::string& folder, const RecoveryRecord& r) {
    // Written whole under another name, then renamed: a manifest is never half there.
    const std::string temp = Join(folder, "manifest.tmp");
    const std::string text = RecoveryManifestText(r);
    {
        CHandle h(CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        if (!h || !WriteFile(h, text.data(), DWORD(text.size()), &written, nullptr) ||
            written != text.size() || !FlushFileBuffers(h))
            return FALSE;
    }
    return MoveFileExA(temp.c_str(), Join(folder, kRecoveryManifest).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

BOOL ReadRecoveryManifest(const std::string& folder, RecoveryRecord& r) {
    std::ifstream in(Join(folder, kRecoveryManifest), std::ios::binary);
    if (!in)
        return FALSE;
    std::ostringstream text;
    text << in.rdbuf();
    r = ParseRecoveryRecord(text.str());
    return TRUE;
}

std::vector<CRecoveredScan> ListRecoveredScans() {
    std::vector<CRecoveredScan> list;
    ForEachRecoveryFolder([&](const std::string& folder) {
        CRecoveredScan s;
        s.m_strFolder = folder;
        if (ReadRecoveryManifest(folder, s.m_Record))
            list.push_back(std::move(s));
    });
    std::stable_sort(list.begin(), list.end(),
                     [](const CRecoveredScan& a, const CRecoveredScan& b) {
                         return a.m_Record.m_strTime < b.m_Record.m_strTime;
                     });
    return list;
}

int PurgeRecoveredScans(int days) {
    int removed = 0;
    ForEachRecoveryFolder([&](const std::string& folder) {
        if (AgeInDays(folder) > days && DeleteRecoveredScan(folder))
            ++removed;
    });
    return removed;
}

BOOL DeleteRecoveredScan(const std::string& folder) {
    WIN32_FIND_DATAA fd;
    CFindHandle h(FindFirstFileA(Join(folder, "*").c_str(), &fd));
    if (h) {
        do {
            if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                DeleteFileA(Join(folder, fd.cFileName).c_str());
        } while (FindNextFileA(h, &fd));
        h.Close();
    }
    return RemoveDirectoryA(folder.c_str());
}

} // namespace vlm
