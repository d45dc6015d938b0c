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

namespace {
bool IsCombo(HWND h) {
    char cls[64] = {};
    GetClassNameA(h, cls, sizeof cls);
    return lstrcmpiA(cls, "ComboBox") == 0;
}
} // namespace

std::vector<std::string> UiListItems(HWND hDlg, int nId) {
    std::vector<std::string> items;
    HWND h = GetDlgItem(hDlg, nId);
    if (!h)
        return items;
    const bool combo = IsCombo(h);
    const LRESULT count = SendMessageW(h, combo ? CB_GETCOUNT : LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        const LRESULT n = SendMessageW(h, combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN, i, 0);
        std::wstring wide(static_cast<size_t>(n > 0 ? n : 0) + 1, L'\0');
        const LRESULT got = SendMessageW(h, combo ? CB_GETLBTEXT : LB_GETTEXT, i,
                                         reinterpret_cast<LPARAM>(&wide[0]));
        wide.resize(got > 0 ? static_cast<size_t>(got) : 0);
        std::string ansi;
        if (!wide.empty()) {
            const int cb =
                WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr,
                                    0, nullptr, nullptr);
            ansi.resize(static_cast<size_t>(cb > 0 ? cb : 0));
            if (cb > 0)
                WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), &ansi[0],
                                    cb, nullptr, nullptr);
        }
        items.push_back(ansi);
    }
    return items;
}

bool UiListSelect(HWND hDlg, int nId, const char* text) {
    HWND h = GetDlgItem(hDlg, nId);
    const std::vector<std::string> items = UiListItems(hDlg, nId);
    for (size_t i = 0; i < items.size(); ++i) {
        if (items[i] != text)
            continue;
        const bool combo = IsCombo(h);
        SendMessageW(h, combo ? CB_SETCURSEL : LB_SETCURSEL, i, 0);
        SendMessageW(hDlg, WM_COMMAND, MAKEWPARAM(nId, combo ? CBN_SELCHANGE : LBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(h));
        return true;
    }
    return false;
}

HWND UiFindChildDialog(HWND hDlg) {
    return FindWindowExA(hDlg, nullptr, "#32770", nullptr);
}
