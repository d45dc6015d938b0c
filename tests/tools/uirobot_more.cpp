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

HWND UiFindPageWith(HWND hDlg, int nId, bool bShownOnly) {
    for (HWND child = FindWindowExA(hDlg, nullptr, "#32770", nullptr); child;
         child = FindWindowExA(hDlg, child, "#32770", nullptr))
        if ((!bShownOnly || IsWindowVisible(child)) && GetDlgItem(child, nId))
            return child;
    return nullptr;
}
