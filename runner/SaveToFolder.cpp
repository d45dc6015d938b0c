#include "runner/SaveToFolder.h"

#include "common/Localize.h"
#include "common/VlmLog.h"
#include "imaging/output/PageImage.h"

void CFolderWarnings::AllOff() {
    for (CFolderWarning& e : m_Entries)
        e.m_bOn = FALSE;
}

bool CFolderWarnings::IsOver(ULONGLONG outputSoFar) {
    for (const CFolderWarning& e : m_Entries) {
        if (e.m_bOn && e.m_ullCurrent + outputSoFar >= e.m_ullLimit) {
            m_strOverFolder = e.m_strPath;
            return true;
        }
    }
    return false;
}

std::string GetSystemErrorText(DWORD code) {
    char* text = nullptr;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string s = n && text ? std::string(text, n) : "error " + std::to_string(code);
    if (text)
        LocalFree(text);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r'))
        s.pop_back();
    return s;
}

std::string MakePageFileName(const std::string& prefix, const std::string& fileType) {
    SYSTEMTIME st;
    GetLocalTime(&st);
    const vlm::output::CLocalTime t{st.wYear,   st.wMonth,  st.wDay,         st.wHour,
                                    st.wMinute, st.wSecond, st.wMilliseconds};
    std::string name = vlm::output::PageFileName(prefix, t, fileType);
    CVlmLog::Instance().Write("timestamp is %s", name.substr(prefix.size(), 17).c_str());
    return name;
}

BOOL SaveToFolder(const CSaveContext& ctx, const std::vector<std::string>& files,
                  std::vector<std::string>& savedFiles) {
    const long f = ctx.m_nFunctionId;
    if ((f != 0 && f != 1 && f != 3 && f != 4) || ctx.m_strSaveFolder.empty())
        return TRUE;
    std::string folder = ctx.m_strSaveFolder;
    while (!folder.empty() && folder.back() == '\\')
        folder.pop_back();
    for (const std::string& file : files) {
        const size_t slash = file.find_last_of('\\');
        const std::string dest =
            folder + "\\" + (slash == std::string::npos ? file : file.substr(slash + 1));
        if (!CopyFileA(file.c_str(), dest.c_str(), FALSE)) {
            const std::string err = GetSystemErrorText(GetLastError());
            CVlmLog::Instance().Write("CopyFile Failed!: %s", err.c_str());
            if (ctx.m_fnDispMessage)
                ctx.m_fnDispMessage(ctx.m_bStartedByScanner
                                        ? VlmLocalize("Can't access folder.").c_str()
                                        : err.c_str(),
                                    TRUE);
            return FALSE;
        }
        CVlmLog::Instance().Write("CopyFile OK!\n");
        savedFiles.push_back(dest);
    }
    return TRUE;
}
