// More UI robot steps: typing into a control as a user's keystrokes do, and
// a dialog nested inside another (a page inside its frame).
#pragma once
#include <windows.h>

// Puts the caret at the end of an edit box and posts one WM_CHAR per
// character, so that the dialog handles each change after the call returns
// (a handler that opens a message box does not block the caller). False
// when there is no such control.
bool UiTypeText(HWND hDlg, int nId, const char* text);
// The first child dialog (class "#32770") of hDlg, nullptr when none.
HWND UiFindChildDialog(HWND hDlg);
// The child dialog of hDlg (a page) that holds the control nId; with
// bShownOnly a visible one only. nullptr when none.
HWND UiFindPageWith(HWND hDlg, int nId, bool bShownOnly);
