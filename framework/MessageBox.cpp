#include "framework/MessageBox.h"

namespace {
thread_local HHOOK t_hHook = nullptr;

// The box's window exists only inside MessageBox; a CBT hook sees it being
// activated and pulls it to the foreground.
LRESULT CALLBACK ForegroundHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) {
        HWND hBox = reinterpret_cast<HWND>(wParam);
        char cls[16] = {};
        ::GetClassNameA(hBox, cls, sizeof cls);
        if (lstrcmpA(cls, "#32770") == 0) {
            ::SetForegroundWindow(hBox);
            ::SetWindowPos(hBox, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        }
    }
    return ::CallNextHookEx(t_hHook, code, wParam, lParam);
}
} // namespace

int VlmMessageBox(HWND hWnd, const char* text, const char* caption, UINT flags) {
    return ::MessageBoxA(hWnd, text ? text : "", caption, flags);
}

int VlmMessageBoxTop(HWND hWnd, const char* text, const char* caption, UINT flags) {
    HHOOK previous = t_hHook;
    t_hHook = ::SetWindowsHookExA(WH_CBT, ForegroundHook, nullptr, ::GetCurrentThreadId());
    int rc = ::MessageBoxA(hWnd, text ? text : "", caption, flags | MB_TOPMOST | MB_SETFOREGROUND);
    if (t_hHook)
        ::UnhookWindowsHookEx(t_hHook);
    t_hHook = previous;
    return rc;
}
