// Control-level steps for the UI robot: what a user does with one control of
// a dialog, named by its control id. Each works across processes (the
// messages used carry their strings through the window manager). Changes
// send the notification the dialog would get from a user (EN_CHANGE,
// CBN_SELCHANGE, BN_CLICKED), so the dialog's handlers run.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

// The control's window text ("" when there is no such control).
std::string UiGetText(HWND hDlg, int nId);
// Replaces an edit box's text and notifies EN_CHANGE.
bool UiSetText(HWND hDlg, int nId, const char* text);
// Selects the combo or list box entry whose text equals text and notifies
// the selection change. False when there is no such entry.
bool UiSelect(HWND hDlg, int nId, const char* text);
// The entries of a combo or list box, in order; the selected index.
std::vector<std::string> UiItems(HWND hDlg, int nId);
int UiSelectedIndex(HWND hDlg, int nId);
// Presses a button by id (BN_CLICKED); a check box or radio button changes
// state first, as a click would.
bool UiClick(HWND hDlg, int nId);
// Check state of a check box or radio button (BST_*), -1 without control.
int UiGetCheck(HWND hDlg, int nId);
bool UiIsEnabled(HWND hDlg, int nId);
bool UiIsVisible(HWND hDlg, int nId);
// Waits until the dialog's window is gone; false after timeoutMs.
bool UiWaitGone(HWND hWnd, DWORD timeoutMs);
