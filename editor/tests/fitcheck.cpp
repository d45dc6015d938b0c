#include "fitcheck.h"
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>
#include "framework/Handles.h"

namespace {

// Wine's check and radio boxes: a 12 px box plus one (at 96 dpi), then half
// the width of '0' and one pixel for the focus frame before the text.
constexpr int kBoxPixels96 = 13;
// Push buttons draw a 2 px edge and the focus frame inside it.
constexpr int kPushMargin = 3;
// A group box starts its text 7 px in and pads it with a blank each side.
constexpr int kGroupMargin = 8;

struct CFitState {
    CHook callHook;
    CHook getHook;
    HWND hTarget = nullptr;
    BOOL bPosted = FALSE;
    UINT nMessage = 0;
};
CFitState g_fit;

enum class Kind { None, Static, Push, Box, Group };

struct CMeasure {
    Kind kind = Kind::None;
    UINT format = 0; // DrawText flags besides DT_CALCRECT
    RECT room = {};  // where the text may go, client coordinates
    // Buttons draw a wrapped label again in the width its first measure
    // gave, where a line that just fitted can break once more.
    BOOL bRewrap = FALSE;
};

std::string Utf8(const std::wstring& w) {
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string s(n > 0 ? n - 1 : 0, '\0');
    if (n > 1)
        ::WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, &s[0], n, nullptr, nullptr);
    return s;
}

std::wstring ClassName(HWND h) {
    wchar_t name[64] = {};
    ::GetClassNameW(h, name, 64);
    return name;
}

std::wstring Text(HWND h) {
    std::wstring text(::GetWindowTextLengthW(h) + 1, L'\0');
    text.resize(::GetWindowTextW(h, &text[0], static_cast<int>(text.size())));
    return text;
}

// The control and each parent below the dialog carry WS_VISIBLE (the dialog
// itself may not be shown yet).
BOOL ShownInDialog(HWND h, HWND hDlg) {
    for (; h && h != hDlg; h = ::GetParent(h))
        if (!(::GetWindowLongW(h, GWL_STYLE) & WS_VISIBLE))
            return FALSE;
    return h == hDlg;
}

// The part of the control's client area its parents up to the dialog leave
// visible (a page wider than the dialog cuts its controls), in client
// coordinates of the control.
RECT VisibleClient(HWND h, HWND hDlg) {
    RECT visible = {};
    ::GetClientRect(h, &visible);
    ::MapWindowPoints(h, nullptr, reinterpret_cast<POINT*>(&visible), 2);
    for (HWND p = ::GetParent(h); p; p = ::GetParent(p)) {
        RECT parent = {};
        ::GetClientRect(p, &parent);
        ::MapWindowPoints(p, nullptr, reinterpret_cast<POINT*>(&parent), 2);
        ::IntersectRect(&visible, &visible, &parent);
        if (p == hDlg)
            break;
    }
    ::MapWindowPoints(nullptr, h, reinterpret_cast<POINT*>(&visible), 2);
    return visible;
}

CMeasure StaticMeasure(LONG style, const RECT& client) {
    CMeasure m;
    if (style & SS_ELLIPSISMASK)
        return m; // shortened on purpose
    const UINT prefix = (style & SS_NOPREFIX) ? DT_NOPREFIX : 0;
    switch (style & SS_TYPEMASK) {
    case SS_LEFT:
        m.format = DT_WORDBREAK | DT_EXPANDTABS | prefix;
        break;
    case SS_CENTER:
        m.format = DT_CENTER | DT_WORDBREAK | DT_EXPANDTABS | prefix;
        break;
    case SS_RIGHT:
        m.format = DT_RIGHT | DT_WORDBREAK | DT_EXPANDTABS | prefix;
        break;
    case SS_LEFTNOWORDWRAP:
        m.format = DT_EXPANDTABS | prefix;
        break;
    case SS_SIMPLE:
        m.format = DT_SINGLELINE | prefix;
        break;
    default:
        return m; // icons, bitmaps, frames, rectangles, owner-drawn
    }
    m.kind = Kind::Static;
    m.room = client;
    return m;
}

CMeasure ButtonMeasure(HDC dc, LONG style, const RECT& client) {
    CMeasure m;
    if (style & (BS_ICON | BS_BITMAP))
        return m;
    switch (style & BS_TYPEMASK) {
    case BS_PUSHBUTTON:
    case BS_DEFPUSHBUTTON:
    case BS_PUSHBOX:
        m.kind = Kind::Push;
        break;
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX:
    case BS_3STATE:
    case BS_AUTO3STATE:
    case BS_RADIOBUTTON:
    case BS_AUTORADIOBUTTON:
        m.kind = (style & BS_PUSHLIKE) ? Kind::Push : Kind::Box;
        break;
    case BS_GROUPBOX:
        m.kind = Kind::Group;
        break;
    default:
        return m; // owner-drawn and user buttons draw their own
    }
    m.format = (style & BS_MULTILINE) ? DT_WORDBREAK : DT_SINGLELINE;
    // The alignment changes the width a wrapped measure gives.
    switch (style & BS_CENTER) {
    case BS_RIGHT:
        m.format |= DT_RIGHT;
        break;
    case BS_CENTER:
        m.format |= DT_CENTER;
        break;
    case BS_LEFT:
        break;
    default:
        m.format |= m.kind == Kind::Push ? DT_CENTER : 0;
    }
    m.bRewrap = TRUE;
    m.room = client;
    if (m.kind == Kind::Push) {
        ::InflateRect(&m.room, -kPushMargin, -kPushMargin);
    } else if (m.kind == Kind::Group) {
        m.room.left += kGroupMargin;
        m.room.right -= kGroupMargin;
    } else {
        INT zero = 0;
        ::GetCharWidth32W(dc, L'0', L'0', &zero);
        const int box = ::MulDiv(kBoxPixels96, ::GetDeviceCaps(dc, LOGPIXELSX), 96);
        if (style & BS_LEFTTEXT)
            m.room.right -= box + zero / 2 + 1;
        else
            m.room.left += box + zero / 2 + 1;
    }
    return m;
}

struct CCount {
    int checked = 0;
    int clipped = 0;
    int clashes = 0;
};

// The key a control's text gives it: the letter after a single '&' (a
// doubled one shows '&'), upper-cased; 0 for none. Statics with SS_NOPREFIX
// show '&' as it is.
wchar_t Mnemonic(const std::wstring& text) {
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != L'&')
            continue;
        wchar_t key = text[++i];
        if (key != L'&') {
            ::CharUpperBuffW(&key, 1);
            return key;
        }
    }
    return 0;
}

// Two shown controls of one dialog (its pages included) with the same key:
// Alt and the letter reach only one of them.
void CheckMnemonics(const std::vector<HWND>& controls, CCount& count) {
    std::vector<std::pair<wchar_t, HWND>> seen;
    for (HWND h : controls) {
        const std::wstring cls = ClassName(h);
        const LONG style = ::GetWindowLongW(h, GWL_STYLE);
        const BOOL bStatic = ::lstrcmpiW(cls.c_str(), L"Static") == 0;
        if (bStatic ? (style & SS_NOPREFIX) != 0 : ::lstrcmpiW(cls.c_str(), L"Button") != 0)
            continue;
        const std::wstring text = Text(h);
        const wchar_t key = Mnemonic(text);
        if (!key)
            continue;
        const auto first =
            std::find_if(seen.begin(), seen.end(), [key](const auto& s) { return s.first == key; });
        if (first == seen.end()) {
            seen.emplace_back(key, h);
            continue;
        }
        ++count.clashes;
        std::printf("clash: key=%s id=%d text=\"%s\" and id=%d text=\"%s\"\n",
                    Utf8(std::wstring(1, key)).c_str(), ::GetDlgCtrlID(h), Utf8(text).c_str(),
                    ::GetDlgCtrlID(first->second), Utf8(Text(first->second)).c_str());
    }
}

void CheckControl(HWND h, HWND hDlg, CCount& count) {
    const std::wstring cls = ClassName(h);
    const BOOL bStatic = ::lstrcmpiW(cls.c_str(), L"Static") == 0;
    if (!bStatic && ::lstrcmpiW(cls.c_str(), L"Button") != 0)
        return;
    const std::wstring text = Text(h);
    if (text.empty())
        return;
    CWindowDc dc(h);
    if (!dc)
        return;
    HGDIOBJ font = reinterpret_cast<HGDIOBJ>(::SendMessageW(h, WM_GETFONT, 0, 0));
    HGDIOBJ old = ::SelectObject(dc, font ? font : ::GetStockObject(SYSTEM_FONT));
    const LONG style = ::GetWindowLongW(h, GWL_STYLE);
    RECT client = {};
    ::GetClientRect(h, &client);
    CMeasure m = bStatic ? StaticMeasure(style, client) : ButtonMeasure(dc, style, client);
    if (m.kind != Kind::None) {
        const RECT visible = VisibleClient(h, hDlg);
        ::IntersectRect(&m.room, &m.room, &visible);
        // Wrapping text is measured at the room's width: it fits when its
        // height does (and no single word is wider).
        const int roomW = m.room.right - m.room.left, roomH = m.room.bottom - m.room.top;
        const BOOL bWrap = (m.format & DT_WORDBREAK) != 0;
        RECT need = {0, 0, bWrap ? roomW : 0, 0};
        const int len = static_cast<int>(text.size());
        ::DrawTextW(dc, text.c_str(), len, &need, m.format | DT_CALCRECT);
        const int needW = need.right - need.left;
        int needH = need.bottom - need.top;
        if (bWrap && m.bRewrap) {
            RECT again = {0, 0, needW, 0};
            ::DrawTextW(dc, text.c_str(), len, &again, m.format | DT_CALCRECT);
            needH = std::max<int>(needH, again.bottom - again.top);
        }
        ++count.checked;
        const BOOL bClipped = needW > roomW || needH > roomH;
        count.clipped += bClipped;
        std::printf("%s: id=%d class=%s text=\"%s\" needs %dx%d, has %dx%d\n",
                    bClipped ? "clipped" : "fits", ::GetDlgCtrlID(h), Utf8(cls).c_str(),
                    Utf8(text).c_str(), needW, needH, roomW, roomH);
    }
    ::SelectObject(dc, old);
}

// The DPI the dialog was laid out for (the system's, in a DPI-aware program).
int ScreenDpi() {
    CWindowDc dc(nullptr);
    return dc ? ::GetDeviceCaps(dc, LOGPIXELSY) : 0;
}

void CheckDialog(HWND hDlg) {
    std::vector<HWND> controls;
    // EnumChildWindows walks the whole tree: the pages' controls come too.
    ::EnumChildWindows(
        hDlg,
        [](HWND h, LPARAM p) -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(p)->push_back(h);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&controls));
    std::erase_if(controls, [hDlg](HWND h) { return !ShownInDialog(h, hDlg); });
    CCount count;
    for (HWND h : controls)
        CheckControl(h, hDlg, count);
    CheckMnemonics(controls, count);
    std::printf("fit: checked=%d clipped=%d clashes=%d dpi=%d\n", count.checked, count.clipped,
                count.clashes, ScreenDpi());
    std::fflush(stdout);
}

void PostCheck() {
    if (!g_fit.bPosted)
        g_fit.bPosted = ::PostThreadMessageW(::GetCurrentThreadId(), g_fit.nMessage, 0, 0);
}

// Picks the first top-level dialog once its initialisation returned and asks
// for the check once it is shown: the message is queued behind whatever the
// initialisation posted, and the modal loop shows the dialog only when idle.
LRESULT CALLBACK CallRetHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
        const auto* c = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
        if (c->message == WM_INITDIALOG && !g_fit.hTarget &&
            !(::GetWindowLongW(c->hwnd, GWL_STYLE) & WS_CHILD)) {
            g_fit.hTarget = c->hwnd;
            if (::GetWindowLongW(c->hwnd, GWL_STYLE) & WS_VISIBLE)
                PostCheck();
        } else if (c->hwnd == g_fit.hTarget && c->message == WM_SHOWWINDOW && c->wParam) {
            PostCheck();
        }
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK GetMsgHook(int code, WPARAM wParam, LPARAM lParam) {
    auto* msg = reinterpret_cast<MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE && !msg->hwnd && msg->message == g_fit.nMessage &&
        g_fit.nMessage) {
        msg->message = WM_NULL;
        if (::IsWindow(g_fit.hTarget)) {
            CheckDialog(g_fit.hTarget);
            ::PostMessageW(g_fit.hTarget, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        }
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

} // namespace

BOOL InstallFitCheck() {
    // Again for each dialog of the thread: the next top-level dialog is checked.
    g_fit.hTarget = nullptr;
    g_fit.bPosted = FALSE;
    g_fit.nMessage = ::RegisterWindowMessageW(L"dialoghost fit check");
    const DWORD thread = ::GetCurrentThreadId();
    if (!g_fit.callHook)
        g_fit.callHook.Attach(::SetWindowsHookExW(WH_CALLWNDPROCRET, CallRetHook, nullptr, thread));
    if (!g_fit.getHook)
        g_fit.getHook.Attach(::SetWindowsHookExW(WH_GETMESSAGE, GetMsgHook, nullptr, thread));
    return g_fit.nMessage && g_fit.callHook && g_fit.getHook;
}
