// Helpers for tests that drive the suite's programs under Wine: start and wait
// for processes, capture output, answer a process's message boxes.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace kestreltest {

std::string WinPath(const char* unixPath);
std::string ProgramPath(const char* folder, const char* exe); // installed in the prefix
// A C: path as the Z: drive (the file system's root) shows it: the prefix's
// drive_c; "" outside the test prefix.
std::string ThroughDriveZ(const std::string& cPath);

struct CProcess {
    HANDLE m_hProcess = nullptr;
    DWORD m_nPid = 0;
    ~CProcess();
    BOOL Start(const std::string& cmd);
    // The same with standard output and error written to the file outPath.
    BOOL Start(const std::string& cmd, const std::string& outPath);
    // Exit code, or 0xFFFFFFFE when it did not end in time (it is then killed).
    DWORD Wait(DWORD ms);
    BOOL Running() const;

private:
    void Adopt(const PROCESS_INFORMATION& pi);
};

// The processes of an executable running now ("explorer.exe"), with the
// command lines they were started with.
struct CRunningProcess {
    DWORD m_nPid = 0;
    std::string m_strCommandLine;
};
std::vector<CRunningProcess> RunningProcesses(const char* exeName);

// Runs a console program; its standard output goes to *pOut.
DWORD RunCapture(const std::string& cmd, std::string* pOut, DWORD ms = 60000);

struct CMessageBoxInfo {
    HWND m_hWnd = nullptr;
    std::string m_strCaption;
    std::string m_strText; // the static texts, joined by "\n"
    std::vector<std::string> m_buttons;
    bool m_bIcon = false; // a visible icon beside the text
};

// Waits for a dialog (class #32770) of the process; FALSE after ms.
BOOL WaitMessageBox(DWORD pid, DWORD ms, CMessageBoxInfo* pInfo);
// Presses the button whose text, without '&', equals name.
BOOL PressButton(const CMessageBoxInfo& box, const char* name);
// Waits until the window is gone; FALSE after ms.
BOOL WaitWindowGone(HWND hWnd, DWORD ms);
// Waits for the process to end; a dialog of the process on the way is
// answered with OK and reported in *pBox (a process that should show none).
// The exit code, or 0xFFFFFFFE when it did not end in time.
DWORD WaitEndAnsweringBoxes(CProcess& process, DWORD ms, CMessageBoxInfo* pBox);

std::string ReadFileText(const std::string& path);
// Removes a folder and everything in it.
void RemoveTree(const std::string& folder);
// A new folder "<stem>-<pid>-<ticks>-<n>" in the user's temporary folder
// (process ids come back under Wine); "" when it cannot be made.
std::string NewTempFolder(const std::string& stem);
// Names of the files (not folders) in folder, sorted.
std::vector<std::string> ListFiles(const std::string& folder);
std::vector<std::string> SplitLines(const std::string& text);

} // namespace kestreltest
