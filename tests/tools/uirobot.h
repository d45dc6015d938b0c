// A small UI robot for tests: finds the dialogs and message boxes (class
// "#32770") of a process, reads their texts and presses a button by its text.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

struct CUiDialogInfo {
    HWND m_hWnd = nullptr;
    DWORD m_dwProcessId = 0;
    std::string m_strCaption;
    std::vector<std::string> m_texts;   // static texts, in z-order
    std::vector<std::string> m_buttons; // button texts, in z-order
    std::vector<HWND> m_buttonWnds;
};

struct CUiFindOptions {
    DWORD m_dwProcessId = 0;  // 0: any process (unless an exe name is given)
    std::string m_strExeName; // e.g. "kestrel.exe", compared without case
    std::string m_strCaption; // when set, the caption must equal it
    bool m_bIncludeHidden = false;
    bool m_bAnyClass = false; // top-level windows of any class, not only dialogs
};

// Process ids whose executable file name equals exeName (no folder, any case).
std::vector<DWORD> UiFindProcesses(const char* exeName);
// The matching dialogs present now.
std::vector<CUiDialogInfo> UiFindDialogs(const CUiFindOptions& options);
// Polls until a matching dialog appears; false after timeoutMs.
bool UiWaitForDialog(const CUiFindOptions& options, DWORD timeoutMs, CUiDialogInfo& out);
// Reads a dialog's caption and control texts.
CUiDialogInfo UiReadDialog(HWND hWnd);
// Presses the button whose text equals buttonText ignoring case and '&'
// (a WM_COMMAND BN_CLICKED posted to the dialog). False when there is none.
bool UiPressButton(const CUiDialogInfo& dialog, const char* buttonText);
// "caption=<...>|text=<...>|buttons=OK,Cancel"; line breaks shown as "\n".
std::string UiDescribe(const CUiDialogInfo& dialog);
