#include "uirobot_controls.h"
#include <algorithm>
#include <string>

namespace {
std::string ClassOf(HWND hWnd) {
    char cls[64] = {};
    GetClassNameA(hWnd, cls, sizeof cls);
    return cls;
}

bool IsCombo(HWND hWnd) {
    return lstrcmpiA(ClassOf(hWnd).c_str(), "ComboBox") == 0;
}

void Notify(HWND hDlg, int nId, HWND hCtrl, WORD code) {
    SendMessageA(hDlg, WM_COMMAND, MAKEWPARAM(nId, code), reinterpret_cast<LPARAM>(hCtrl));
}
} // namespace

std::string UiGetText(HWND hDlg, int nId) {
    HWND h = GetDlgItem(hDlg, nId);
    if (!h)
        return std::string();
    const LRESULT n = SendMessageA(h, WM_GETTEXTLENGTH, 0, 0);
    std::string s(static_cast<size_t>(n > 0 ? n : 0) + 1, '\0');
    const LRESULT got = SendMessageA(h, WM_GETTEXT, s.size(), reinterpret_cast<LPARAM>(&s[0]));
    s.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return s;
}

bool UiSetText(HWND hDlg, int nId, const char* text) {
    HWND h = GetDlgItem(hDlg, nId);
    if (!h || !SendMessageA(h, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)))
        return false;
    // An edit box notifies EN_CHANGE itself on WM_SETTEXT only in some
    // versions; send it so the dialog sees the change once at least.
    Notify(hDlg, nId, h, EN_CHANGE);
    return true;
}

std::vector<std::string> UiItems(HWND hDlg, int nId) {
    std::vector<std::string> items;
    HWND h = GetDlgItem(hDlg, nId);
    if (!h)
        return items;
    const bool combo = IsCombo(h);
    const LRESULT count = SendMessageA(h, combo ? CB_GETCOUNT : LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        // Wide messages: across processes Wine hands the ANSI forms back as
        // UTF-16 bytes, past the end of a buffer sized for the ANSI text.
        const LRESULT n = SendMessageW(h, combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN, i, 0);
        std::wstring w(static_cast<size_t>(n > 0 ? n : 0) + 1, L'\0');
        const LRESULT got =
            SendMessageW(h, combo ? CB_GETLBTEXT : LB_GETTEXT, i, reinterpret_cast<LPARAM>(&w[0]));
        w.resize(got > 0 ? std::min(static_cast<size_t>(got), w.size() - 1) : 0);
        std::string s;
        const int cb = WideCharToMultiByte(CP_ACP, 0, w.data(), static_cast<int>(w.size()), nullptr,
                                           0, nullptr, nullptr);
        if (cb > 0) {
            s.resize(static_cast<size_t>(cb));
            WideCharToMultiByte(CP_ACP, 0, w.data(), static_cast<int>(w.size()), &s[0], cb, nullptr,
                                nullptr);
        }
        items.push_back(s);
    }
    return items;
}

int UiSelectedIndex(HWND hDlg, int nId) {
    HWND h = GetDlgItem(hDlg, nId);
    if (!h)
        return -1;
    return static_cast<int>(SendMessageA(h, IsCombo(h) ? CB_GETCURSEL : LB_GETCURSEL, 0, 0));
}

bool UiSelect(HWND hDlg, int nId, const char* text) {
    HWND h = GetDlgItem(hDlg, nId);
    if (!h)
        return false;
    const std::vector<std::string> items = UiItems(hDlg, nId);
    for (size_t i = 0; i < items.size(); ++i) {
        if (items[i] != text)
            continue;
        const bool combo = IsCombo(h);
        SendMessageA(h, combo ? CB_SETCURSEL : LB_SETCURSEL, i, 0);
        Notify(hDlg, nId, h, combo ? CBN_SELCHANGE : LBN_SELCHANGE);
        return true;
    }
    return false;
}

bool UiClick(HWND hDlg, int nId) {
    HWND h = GetDlgItem(hDlg, nId);
    if (!h)
        return false;
    // BM_CLICK does what a mouse click does: check boxes and radio buttons
    // change state, then the parent gets BN_CLICKED.
    PostMessageA(h, BM_CLICK, 0, 0);
    return true;
}

int UiGetCheck(HWND hDlg, int nId) {
    HWND h = GetDlgItem(hDlg, nId);
    return h ? static_cast<int>(SendMessageA(h, BM_GETCHECK, 0, 0)) : -1;
}

bool UiIsEnabled(HWND hDlg, int nId) {
    HWND h = GetDlgItem(hDlg, nId);
    return h && IsWindowEnabled(h);
}

bool UiIsVisible(HWND hDlg, int nId) {
    HWND h = GetDlgItem(hDlg, nId);
    return h && (GetWindowLongA(h, GWL_STYLE) & WS_VISIBLE) != 0;
}

bool UiWaitGone(HWND hWnd, DWORD timeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (IsWindow(hWnd)) {
        if (GetTickCount64() >= end)
            return false;
        Sleep(20);
    }
    return true;
}
