// More UI robot steps: typing into a control as a user's keystrokes do,
// list box entries read through the Unicode messages (Wine hands another
// process's list box text back in UTF-16 to the ANSI LB_GETTEXT, writing
// past the caller's buffer), and a dialog nested inside another (a page
// inside its frame).
#pragma once
#include <windows.h>
#include <string>
#include <vector>

// Puts the caret at the end of an edit box and posts one WM_CHAR per
// character, so that the dialog handles each change after the call returns
// (a handler that opens a message box does not block the caller). False
// when there is no such control.
bool UiTypeText(HWND hDlg, int nId, const char* text);
// A list or combo box's entries (ANSI), in order.
std::vector<std::string> UiListItems(HWND hDlg, int nId);
// Selects the list or combo box entry with this text and notifies the
// selection change, as a click does. False when there is no such entry.
bool UiListSelect(HWND hDlg, int nId, const char* text);
// The first child dialog (class "#32770") of hDlg, nullptr when none.
HWND UiFindChildDialog(HWND hDlg);
