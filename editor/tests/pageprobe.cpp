// pageprobe.exe EXE ID [click]: finds the control with this id in a visible
// window of the program EXE (inside a page of a frame as well), prints its
// text as "text=<UTF-8>" and, with "click", clicks it as the mouse would
// (BM_CLICK, posted). For the scripts that drive a page in another locale
// and take screenshots. Exit 0 found, 1 no such control after 20 s.
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include "uirobot.h"

namespace {
struct Search {
    int m_nId;
    HWND m_hFound;
};

BOOL CALLBACK FindChild(HWND hWnd, LPARAM lParam) {
    Search* s = reinterpret_cast<Search*>(lParam);
    if (GetDlgCtrlID(hWnd) == s->m_nId && IsWindowVisible(hWnd)) {
        s->m_hFound = hWnd;
        return FALSE;
    }
    return TRUE;
}

std::string TextUtf8(HWND hWnd) {
    wchar_t wide[1024] = {};
    SendMessageW(hWnd, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(wide));
    char utf8[4096] = {};
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8, sizeof utf8, nullptr, nullptr);
    return utf8;
}
} // namespace

int main(int argc, char** argv) {
    if (argc < 3)
        return 2;
    CUiFindOptions options;
    options.m_strExeName = argv[1];
    Search s{std::atoi(argv[2]), nullptr};
    for (int tries = 0; tries < 200 && !s.m_hFound; ++tries) {
        for (const CUiDialogInfo& d : UiFindDialogs(options)) {
            EnumChildWindows(d.m_hWnd, FindChild, reinterpret_cast<LPARAM>(&s));
            if (s.m_hFound)
                break;
        }
        if (!s.m_hFound)
            Sleep(100);
    }
    if (!s.m_hFound)
        return 1;
    std::printf("text=%s\n", TextUtf8(s.m_hFound).c_str());
    std::fflush(stdout);
    if (argc > 3 && std::strcmp(argv[3], "click") == 0)
        PostMessageA(s.m_hFound, BM_CLICK, 0, 0);
    return 0;
}
