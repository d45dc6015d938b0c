#include "uirobot_more.h"

bool UiTypeText(HWND hDlg, int nId, const char* text) {
    HWND h = GetDlgItem(hDlg, nId);
    if (!h)
        return false;
    const LRESULT end = SendMessageA(h, WM_GETTEXTLENGTH, 0, 0);
    SendMessageA(h, EM_SETSEL, static_cast<WPARAM>(end), end);
    for (const char* p = text; *p; ++p)
        PostMessageA(h, WM_CHAR, static_cast<unsigned char>(*p), 1);
    return true;
}

HWND UiFindChildDialog(HWND hDlg) {
    return FindWindowExA(hDlg, nullptr, "#32770", nullptr);
}

bool UiWaitUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (!done()) {
        if (GetTickCount64() >= end)
            return false;
        Sleep(20);
    }
    return true;
}

HWND UiFocusOf(HWND hWnd) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(GetWindowThreadProcessId(hWnd, nullptr), &info) ? info.hwndFocus
                                                                            : nullptr;
}

std::string UiJoinTexts(const CUiDialogInfo& dialog, const char* separator) {
    std::string all;
    for (const std::string& t : dialog.m_texts)
        all += (all.empty() ? "" : separator) + t;
    return all;
}

HWND UiFindPageWith(HWND hDlg, int nId, bool bShownOnly) {
    for (HWND child = FindWindowExA(hDlg, nullptr, "#32770", nullptr); child;
         child = FindWindowExA(hDlg, child, "#32770", nullptr))
        if ((!bShownOnly || IsWindowVisible(child)) && GetDlgItem(child, nId))
            return child;
    return nullptr;
}
