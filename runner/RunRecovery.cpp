#include "runner/RunRecovery.h"

#include <vector>

#include "common/RecoveredScans.h"
#include "runner/core/SaveRules.h"
#include "runner/SaveToFolder.h"

namespace kestrel {

namespace {

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Opens a run file unshared: fails with a sharing violation while its runner lives.
vlm::CHandle OpenRunFile(const std::string& path) {
    return vlm::CHandle(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

void AppendTo(HANDLE h, const std::string& lines) {
    DWORD written = 0;
    SetFilePointer(h, 0, nullptr, FILE_END);
    WriteFile(h, lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr);
    FlushFileBuffers(h);
}

std::string ReadAll(HANDLE h) {
    std::string text;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(h, buffer, sizeof buffer, &read, nullptr) && read > 0)
        text.append(buffer, read);
    return text;
}

// Deletes the save's temporary file a dead runner noted, when it is still
// there, has such a name and nobody has it open (as a live runner writing a
// file of the same name would).
void DeleteDeadSaveTemp(const std::string& path,
                        const std::function<void(const std::string&)>& log) {
    if (path.empty() || !kestrel::IsSaveTempPath(path) || !Exists(path))
        return;
    const std::string what =
        "the partial file " + path + " of a runner that ended without its clean-up";
    vlm::CHandle h(CreateFileA(path.c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    FILE_DISPOSITION_INFO del{TRUE};
    if (h && SetFileInformationByHandle(h, FileDispositionInfo, &del, sizeof del))
        log(what + " was deleted");
    else
        log(what + " stays: " + GetSystemErrorText(GetLastError()));
}

} // namespace

std::vector<std::string> RunFilesIn(const std::string& folder, const std::string& own) {
    std::vector<std::string> files;
    WIN32_FIND_DATAA fd;
    vlm::CFindHandle h(FindFirstFileA((folder + "\\*" + kRunFileExtension).c_str(), &fd));
    if (!h)
        return files;
    do {
        const std::string path = folder + "\\" + fd.cFileName;
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            lstrcmpiA(path.c_str(), own.c_str()))
            files.push_back(path);
    } while (FindNextFileA(h, &fd));
    return files;
}

BOOL CRunFile::Create(const std::string& folder) {
    // The ticks keep a number reused after a reboot from meeting its old
    // file; the count, two in one process (tests) from meeting each other.
    const std::string stem = folder + "\\kestrel " + std::to_string(GetCurrentProcessId()) + " " +
                             std::to_string(GetTickCount64());
    for (int n = 0; n < 10 && !m_h; ++n) {
        const std::string path = stem + (n ? "-" + std::to_string(n) : "") + kRunFileExtension;
        m_h.Attach(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
        if (m_h)
            m_strPath = path;
        else if (GetLastError() != ERROR_FILE_EXISTS)
            break;
    }
    return m_h.IsValid();
}

void CRunFile::Append(const std::string& lines) {
    if (m_h)
        AppendTo(m_h, lines);
}

void CRunFile::Close(bool bDelete) {
    if (!m_h)
        return;
    m_h.Close();
    if (bDelete)
        DeleteFileA(m_strPath.c_str());
    m_strPath.clear();
}

std::string KeepInRecovery(vlm::RecoveryRecord r,
                           const std::function<void(const std::string&)>& note,
                           std::string* pError) {
    std::string folder = r.m_strRecoveryFolder;
    if (folder.empty() || !Exists(folder))
        folder = vlm::CreateRecoveryFolder(r);
    if (folder.empty()) {
        if (pError)
            *pError = "no recovery folder: " + GetSystemErrorText(GetLastError());
        return std::string();
    }
    note(vlm::RecoveryLine("Recovery", folder));
    DWORD error = 0;
    if (!vlm::MoveIntoRecovery(folder, r, &error)) {
        if (pError)
            *pError = folder + ": " + GetSystemErrorText(error);
        return std::string();
    }
    return folder;
}

int RecoverDeadRunners(const std::string& folder, const std::string& reason,
                       const std::function<void(const std::string&)>& log) {
    int kept = 0;
    for (const std::string& path : RunFilesIn(folder, std::string())) {
        vlm::CHandle h = OpenRunFile(path);
        if (!h)
            continue; // its runner lives (or another runner is recovering it)
        vlm::RecoveryRecord r = vlm::ParseRecoveryRecord(ReadAll(h));
        DeleteDeadSaveTemp(r.m_strSaveTemp, log);
        bool bKept = true;
        std::vector<std::string> files;
        for (const std::string& f : r.m_Files)
            if (Exists(f) || !r.m_strRecoveryFolder.empty())
                files.push_back(f);
        if (!files.empty()) {
            r.m_Files = files;
            r.m_strTime = vlm::RecoveryTimeNow();
            r.m_strReason = reason;
            // The file stays held while its pages move: no other runner takes it too.
            std::string error;
            const std::string to = KeepInRecovery(
                r, [&](const std::string& line) { AppendTo(h, line); }, &error);
            bKept = !to.empty();
            kept += bKept ? 1 : 0;
            log(bKept ? "the pages of a runner that ended without its clean-up were kept in " + to
                      : "the pages of a runner that ended without its clean-up could not be "
                        "kept: " +
                            error);
        }
        if (bKept) {
            FILE_DISPOSITION_INFO del{TRUE};
            if (!SetFileInformationByHandle(h, FileDispositionInfo, &del, sizeof del)) {
                h.Close();
                DeleteFileA(path.c_str());
            }
        }
    }
    return kept;
}

} // namespace kestrel
