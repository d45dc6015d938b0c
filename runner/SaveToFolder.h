// Save-to-folder delivery as the job session calls it: folder-size warnings,
// page file names, the system's error texts and the copy into the save folder.
// Minimal version for the job session; the full delivery replaces it.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

struct CFolderWarning {
    BOOL m_bOn = FALSE;
    std::string m_strPath;
    ULONGLONG m_ullLimit = 0;
    ULONGLONG m_ullCurrent = 0;
};

class CFolderWarnings {
public:
    CFolderWarning m_Entries[5];
    std::string m_strOverFolder;
    void AllOff();
    // True when an entry that is on reaches its limit with outputSoFar added;
    // remembers the folder.
    bool IsOver(ULONGLONG outputSoFar);
};

std::string GetSystemErrorText(DWORD code);
// prefix + local time stamp + extension; logs "timestamp is %s".
std::string MakePageFileName(const std::string& prefix, const std::string& fileType);

struct CSaveContext {
    std::string m_strSaveFolder, m_strUser, m_strPassword;
    long m_nFunctionId = 0;
    BOOL m_bStartedByScanner = FALSE;
    std::function<void(const char*, BOOL)> m_fnDispMessage;
};
// Copies the listed files into the save folder, in list order. TRUE on
// success; savedFiles gets the destinations copied.
BOOL SaveToFolder(const CSaveContext& ctx, const std::vector<std::string>& files,
                  std::vector<std::string>& savedFiles);
