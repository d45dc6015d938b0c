// The application object: one per program. VlmWinMain runs InitInstance, then
// the message loop only when InitInstance answers TRUE, then ExitInstance.
#pragma once
#include <windows.h>
#include <string>

// The running program's folder, without trailing backslash, and its file
// name without folder and extension; "" when the system does not tell.
std::string VlmProgramFolder();
// The running program's full path; "" when it does not fit or cannot be had.
std::string VlmProgramPath();
std::string VlmProgramName();

class CVlmApp {
public:
    CVlmApp();
    virtual ~CVlmApp();
    CVlmApp(const CVlmApp&) = delete;
    CVlmApp& operator=(const CVlmApp&) = delete;

    static CVlmApp* GetApp() { return s_pApp; }

    virtual BOOL InitInstance() { return TRUE; }
    virtual int ExitInstance() { return m_nExitCode; }
    // The message loop; returns the WM_QUIT code.
    virtual int Run();
    virtual BOOL PreTranslateMessage(MSG* pMsg);

    // Profile registry key: HKCU\Software\<key>\<profile name>.
    void SetRegistryKey(const char* key) { m_strRegistryKey = key ? key : ""; }
    const std::string& GetRegistryKey() const { return m_strRegistryKey; }
    const std::string& GetProfileName() const { return m_strProfileName; }
    // Folder of the program's file, without trailing backslash.
    std::string GetProgramFolder() const { return VlmProgramFolder(); }

    HWND GetMainWnd() const { return m_hMainWnd; }
    void SetMainWnd(HWND hWnd) { m_hMainWnd = hWnd; }

    HINSTANCE m_hInstance = nullptr;
    std::string m_strCmdLine;
    int m_nCmdShow = SW_SHOWNORMAL;
    int m_nExitCode = 0;
    HWND m_hMainWnd = nullptr;
    std::string m_strRegistryKey;
    std::string m_strProfileName; // program file name without extension

private:
    static CVlmApp* s_pApp;
};

// Program entry for a WinMain: runs the single application object.
int VlmWinMain(HINSTANCE hInstance, LPSTR lpCmdLine, int nCmdShow);
// The same for tests and tools that hold their app object locally.
int VlmRunApp(CVlmApp& app, HINSTANCE hInstance, LPSTR lpCmdLine, int nCmdShow);
