// List view steps for the UI robot: read a report-view list of another
// process (columns, rows, selection, row height), select rows, and do what a
// user does with it (click a column header, double-click a row, press a key).
// A list view's messages carry pointers the window manager does not copy
// between processes, so the structures live in memory allocated inside the
// list's process (VirtualAllocEx, WriteProcessMemory, ReadProcessMemory).
// The menu step sits here too: the job list's commands are menu items.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

struct CUiListColumn {
    std::string m_strText;
    int m_nWidth = 0;
};

int UiListCount(HWND hList);
std::vector<CUiListColumn> UiListColumns(HWND hList);
std::string UiListText(HWND hList, int nItem, int nSubItem);
// Every row's cells, in the list's present order.
std::vector<std::vector<std::string>> UiListRows(HWND hList);
// The rows' indexes that are selected, in order.
std::vector<int> UiListSelected(HWND hList);
// Selects exactly these rows (the first gets the focus); the list notifies
// its dialog of each change as it does for the user's clicks.
bool UiListSelect(HWND hList, const std::vector<int>& items);
// A row's height in pixels (its bounds), -1 on failure.
int UiListRowHeight(HWND hList);
// A click on a column's header: the dialog gets LVN_COLUMNCLICK. The mouse
// messages are posted; the caller waits for what they cause.
bool UiListClickHeader(HWND hList, int nColumn);
// A double click on a row (scrolled into view): the dialog gets NM_DBLCLK.
bool UiListDoubleClick(HWND hList, int nItem);
// A right click on a row, then the pop-up menu's entry at nPosition (from 0)
// chosen with the arrow keys and Enter; false when no menu comes up.
bool UiListContextCommand(HWND hList, int nItem, int nPosition, DWORD timeoutMs);
// A key pressed while the list has the focus (e.g. VK_DELETE): the list
// turns it into LVN_KEYDOWN for its dialog.
bool UiListKey(HWND hList, WORD vk);

// Chooses a menu command as the user does (WM_COMMAND from a menu, posted).
// Menus of other processes cannot be read under Wine, so the robot does not
// look at the item first.
bool UiChooseMenu(HWND hWnd, UINT nCommand);
