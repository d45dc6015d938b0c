// The installed corvid as the tests drive it: started in the test prefix,
// its window found by the UI robot, its message boxes told apart from it.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>

#include "ProcessDriver.h"
#include "uirobot.h"
#include "uirobot_listview.h"
#include "uirobot_more.h"

namespace corvidtest {

constexpr DWORD kDeadline = 60000;
constexpr int kList = 1001;
// The job editor's New/Editing dialog: the title box and the button bar.
constexpr int kEditTitle = 212, kEditButtonBar = 221;

// Polls cond until it holds; false after the deadline.
inline bool WaitFor(const std::function<bool()>& cond, DWORD ms = kDeadline) {
    return UiWaitUntil(cond, ms);
}

// A control anywhere below a window (pages are dialogs inside dialogs).
inline HWND FindControl(HWND hParent, int nId) {
    struct CFind {
        int m_nId;
        HWND m_hFound = nullptr;
    } find{nId};
    EnumChildWindows(
        hParent,
        [](HWND h, LPARAM l) -> BOOL {
            auto* f = reinterpret_cast<CFind*>(l);
            if (GetDlgCtrlID(h) != f->m_nId)
                return TRUE;
            f->m_hFound = h;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&find));
    return find.m_hFound;
}

class CCorvidWindow {
public:
    // Starts corvid and waits for its window with its 99 rows.
    void Start(const char* caption = "VX-410 Taskdeck Registrar") {
        ASSERT_TRUE(
            m_process.Start("\"" + kestreltest::ProgramPath("Task Deck", "corvid.exe") + "\""));
        CUiFindOptions find;
        find.m_dwProcessId = m_process.m_nPid;
        CUiDialogInfo info;
        ASSERT_TRUE(UiWaitForDialog(find, kDeadline, info)) << "no window";
        ASSERT_EQ(info.m_strCaption, caption);
        m_hMain = info.m_hWnd;
        m_hList = GetDlgItem(m_hMain, kList);
        ASSERT_NE(m_hList, nullptr);
        ASSERT_TRUE(WaitFor([&] { return UiListCount(m_hList) == 99; }));
    }
    // A window of corvid's with this caption other than its main window.
    bool WaitDialog(const char* caption, CUiDialogInfo& box, DWORD ms = kDeadline) {
        CUiFindOptions find;
        find.m_dwProcessId = m_process.m_nPid;
        find.m_strCaption = caption;
        return WaitFor(
            [&] {
                for (const CUiDialogInfo& d : UiFindDialogs(find))
                    if (d.m_hWnd != m_hMain) {
                        box = d;
                        return true;
                    }
                return false;
            },
            ms);
    }
    bool AnyDialog() {
        CUiFindOptions find;
        find.m_dwProcessId = m_process.m_nPid;
        for (const CUiDialogInfo& d : UiFindDialogs(find))
            if (d.m_hWnd != m_hMain)
                return true;
        return false;
    }
    std::string Title(int n) { return UiListText(m_hList, n - 1, 1); }
    // Close; a question about an empty store is answered Yes.
    void Close() {
        PostMessageA(m_hMain, WM_COMMAND, MAKEWPARAM(1094, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(m_hMain, 1094)));
        CUiDialogInfo box;
        if (m_process.Wait(10000) == 0xFFFFFFFE && WaitDialog("VX-410", box, 1000)) {
            UiPressButton(box, "Yes");
            m_process.Wait(kDeadline);
        }
    }

    kestreltest::CProcess m_process;
    HWND m_hMain = nullptr, m_hList = nullptr;
};

} // namespace corvidtest
