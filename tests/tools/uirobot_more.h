// More UI robot steps: typing into a control as a user's keystrokes do, and
// a dialog nested inside another (a page inside its frame).
#pragma once
#include <windows.h>
#include <functional>
#include <string>
#include "uirobot.h"

// Puts the caret at the end of an edit box and posts one WM_CHAR per
// character, so that the dialog handles each change after the call returns
// (a handler that opens a message box does not block the caller). False
// when there is no such control.
bool UiTypeText(HWND hDlg, int nId, const char* text);
// The first child dialog (class "#32770") of hDlg, nullptr when none.
HWND UiFindChildDialog(HWND hDlg);
// Asks done() every 20 ms until it is true; false after timeoutMs.
bool UiWaitUntil(const std::function<bool()>& done, DWORD timeoutMs);
// The window with the keyboard focus in hWnd's thread (another process's
// too), nullptr when none.
HWND UiFocusOf(HWND hWnd);
// A dialog's static texts, joined by separator.
std::string UiJoinTexts(const CUiDialogInfo& dialog, const char* separator = "\n");
// The child dialog of hDlg (a page) that holds the control nId; with
// bShownOnly a visible one only. nullptr when none.
HWND UiFindPageWith(HWND hDlg, int nId, bool bShownOnly);
