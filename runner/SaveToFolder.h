// Save-to-folder delivery: page file names, the pictures folder, the folder
// size warnings checked at start-up and after each page, the copy of the
// finished files into the save folder (local or a network share), and the
// system error text the runner shows.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

struct IJobStore;

struct CFolderWarning {
    BOOL m_bOn;
    std::string m_strPath;
    ULONGLONG m_ullLimit;   // bytes
    ULONGLONG m_ullCurrent; // bytes in the watched folder at start-up
};

class CFolderWarnings {
public:
    CFolderWarning m_Entries[5] = {};
    // The watched folder of the entry last found over its limit.
    std::string m_strOverFolder;
    void AllOff();
    // True when an entry that is on reaches its limit with outputSoFar added;
    // remembers that entry's watched folder (lowest index).
    bool IsOver(ULONGLONG outputSoFar);
};

// The system's text for a Win32 error code: the thread's language, its
// primary language with the default sublanguage, 1033, neutral; else
// "error %d". Without the trailing line break.
std::string GetSystemErrorText(DWORD code);

// prefix + local time "%04d%02d%02d%02d%02d%02d%03d" + the file type's
// extension; logs "timestamp is %s".
std::string MakePageFileName(const std::string& prefix, const std::string& fileType);
// The same name as a path in folder, made unique against the files already
// there (two pages within one millisecond); logs "timestamp is %s".
std::string MakeUniquePageFilePath(const std::string& folder, const std::string& prefix,
                                   const std::string& fileType);

// "%s:The folder size has been already over the specified size.Do you continue
// to scan?" (localised) with the watched folder.
std::string FolderOverLimitQuestion(const std::string& folder);

struct CSaveContext {
    std::string m_strSaveFolder, m_strUser, m_strPassword;
    long m_nFunctionId;
    BOOL m_bStartedByScanner;
    // The session's DispMessage (text, is-error).
    std::function<void(const char*, BOOL)> m_fnDispMessage;
    // Told the path of each temporary file of the save once it is made and
    // before any byte is written to it, and "" once it is renamed or gone:
    // the runner's run file keeps it for the next runner should this one die.
    std::function<void(const std::string&)> m_fnNoteTempFile;
};

// Copies files, in order, into the save folder (functions 0, 1, 3 and 4 with
// a save folder; otherwise succeeds at once). A "\\\\" folder is connected
// first with the job's credentials and disconnected after. Each file is
// written under a temporary name in the folder and renamed when whole, so
// the save folder never holds a file cut short under a page's name. Appends each destination copied
// to savedFiles. FALSE after a failure, whose text has been shown through
// m_fnDispMessage; the files after a failing one are not copied.
BOOL SaveToFolder(const CSaveContext& ctx, const std::vector<std::string>& files,
                  std::vector<std::string>& savedFiles);

// ---- the pictures folder ---------------------------------------------------

// The shell calls the pictures folder lookup makes; nullptr when the shell
// lacks one (m_dwMissingError then says why).
struct CShellFolderCalls {
    HRESULT(WINAPI* m_pfnGetFolderPath)(HWND, int, HANDLE, DWORD, LPSTR) = nullptr;
    BOOL(WINAPI* m_pfnGetSpecialFolderPath)(HWND, LPSTR, int, BOOL) = nullptr;
    DWORD m_dwMissingError = 0;
    // Shows a system error text to the user.
    std::function<void(const char*)> m_fnShowError;
};

// The functions of the shell library, looked up by name at run time; errors
// go to a message box with the given caption.
CShellFolderCalls SystemShellFolderCalls(const char* caption);

// The user's pictures folder (created when missing); else the documents
// folder; else the older shell call's documents folder with "\\My Pictures"
// (created); "" when none can be had.
std::string GetMyPicturesFolderWith(const CShellFolderCalls& calls);
std::string GetMyPicturesFolder(const char* caption);

// ---- folder warnings at start-up -------------------------------------------

struct CWarningContext {
    IJobStore* m_pStore = nullptr; // the store-wide warning values
    long m_nFunctionId = 0;
    std::string m_strSaveFolder;
    BOOL m_bStartedByScanner = FALSE;
    std::string m_strCaption; // message box caption: the model name
    // The scanner panel (text, is-error).
    std::function<void(const char*, BOOL)> m_fnPanel;
};

// Reads the five warnings, switches them all off for a print job, checks that
// the save folder exists (FALSE when it does not and is no network path, after
// telling the user), keeps on only the warnings whose watched folder holds the
// save folder and measures those folders. *pOver: a warning is over its limit
// already. Raises CComError when the store cannot be read.
BOOL PrepareWarningFunction(const CWarningContext& ctx, CFolderWarnings& warnings, bool* pOver);

enum class EStartupFolders {
    Proceed,           // scan (warnings that the user let pass are off)
    SaveFolderMissing, // the job does not start
    Declined,          // a watched folder is over its limit and the user said No
};

// Start-up's folder step: PrepareWarningFunction between its log lines, then,
// when a watched folder is over its limit, the panel texts and the Yes/No
// question. Yes switches all warnings off.
EStartupFolders CheckFoldersAtStartup(const CWarningContext& ctx, CFolderWarnings& warnings);

// ---- pieces with their own tests -------------------------------------------

// Sum of the sizes of all files in folder and its subfolders.
ULONGLONG FolderSize(const std::string& folder);
// The shell's network path test (shlwapi, looked up at run time); a path
// beginning with "\\\\" when the shell has none.
bool IsNetworkFolder(const std::string& path);
// Dots resolved by the shell, components spelled as stored on disk where
// they exist.
std::string NormalisedFolder(const std::string& path);
