// Dialogs, UI threads and message boxes driven through their message queues.
#include <gtest/gtest.h>
#include "framework/App.h"
#include "framework/Dialog.h"
#include "framework/MessageBox.h"
#include "framework/UiThread.h"
#include "test_dialog.h"
#include <atomic>

namespace {
const UINT WM_TEST_END = WM_APP + 1;

class CTestDlg : public CVlmDialog {
public:
    CTestDlg() : CVlmDialog(IDD_TEST) {
        OnMsg(WM_TEST_END, [this](WPARAM w, LPARAM) {
            EndDialog(static_cast<INT_PTR>(w));
            return 0;
        });
    }
    std::string m_strName = "first";
    int m_nCount = 12;
    int m_nCheck = 1;
    int m_nRadio = 2;
    int m_nCombo = 1;
    std::string m_strCombo;
    std::function<void(CTestDlg&)> m_fnOnInit;

protected:
    BOOL OnInitDialog() override {
        for (const char* s : {"Alpha", "Beta", "Gamma"})
            SendDlgItemMessageA(m_hWnd, IDC_COMBO, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
        CVlmDialog::OnInitDialog();
        if (m_fnOnInit)
            m_fnOnInit(*this);
        return TRUE;
    }
    void DoDataExchange(CVlmDataExchange& dx) override {
        DDX_Text(dx, IDC_NAME, m_strName, 10);
        DDX_Text(dx, IDC_COUNT, m_nCount);
        DDX_Check(dx, IDC_CHECK, m_nCheck);
        DDX_Radio(dx, IDC_RADIO0, m_nRadio);
        DDX_CBIndex(dx, IDC_COMBO, m_nCombo);
        DDX_CBString(dx, IDC_COMBO, m_strCombo);
    }
};
} // namespace

TEST(Dialog, ModalEndsWithPostedCode) {
    CTestDlg dlg;
    dlg.m_strCombo = "Beta";
    dlg.m_fnOnInit = [](CTestDlg& d) { PostMessageA(d.GetSafeHwnd(), WM_TEST_END, 42, 0); };
    EXPECT_EQ(dlg.DoModal(), 42);
    EXPECT_EQ(dlg.GetSafeHwnd(), nullptr);
}

TEST(Dialog, DataExchangeLoadsAndSaves) {
    CTestDlg dlg;
    dlg.m_strCombo = "Gamma";
    std::string shownName, shownCount;
    int shownRadio1 = -1, shownRadio2 = -1, shownCheck = -1, otherGroup = -1;
    LRESULT shownCombo = -1;
    dlg.m_fnOnInit = [&](CTestDlg& d) {
        shownName = d.GetDlgItemText(IDC_NAME);
        shownCount = d.GetDlgItemText(IDC_COUNT);
        shownCheck = (int)SendDlgItemMessageA(d.GetSafeHwnd(), IDC_CHECK, BM_GETCHECK, 0, 0);
        shownRadio1 = (int)SendDlgItemMessageA(d.GetSafeHwnd(), IDC_RADIO1, BM_GETCHECK, 0, 0);
        shownRadio2 = (int)SendDlgItemMessageA(d.GetSafeHwnd(), IDC_RADIO2, BM_GETCHECK, 0, 0);
        otherGroup = (int)SendDlgItemMessageA(d.GetSafeHwnd(), IDC_AFTER, BM_GETCHECK, 0, 0);
        shownCombo = SendDlgItemMessageA(d.GetSafeHwnd(), IDC_COMBO, CB_GETCURSEL, 0, 0);
        // Change the controls as a user would, then press OK.
        d.SetDlgItemText(IDC_NAME, "second");
        d.SetDlgItemText(IDC_COUNT, " -7 ");
        SendDlgItemMessageA(d.GetSafeHwnd(), IDC_CHECK, BM_SETCHECK, BST_UNCHECKED, 0);
        SendDlgItemMessageA(d.GetSafeHwnd(), IDC_RADIO2, BM_SETCHECK, BST_UNCHECKED, 0);
        SendDlgItemMessageA(d.GetSafeHwnd(), IDC_RADIO0, BM_SETCHECK, BST_CHECKED, 0);
        SendDlgItemMessageA(d.GetSafeHwnd(), IDC_COMBO, CB_SETCURSEL, 0, 0);
        PostMessageA(d.GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    };
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(shownName, "first");
    EXPECT_EQ(shownCount, "12");
    EXPECT_EQ(shownCheck, BST_CHECKED);
    EXPECT_EQ(shownRadio1, BST_UNCHECKED);
    EXPECT_EQ(shownRadio2, BST_CHECKED);
    EXPECT_EQ(otherGroup, BST_UNCHECKED); // the group ends at the next WS_GROUP
    EXPECT_EQ(shownCombo, 2);             // the string exchange ran last: "Gamma"
    EXPECT_EQ(dlg.m_strName, "second");
    EXPECT_EQ(dlg.m_nCount, -7);
    EXPECT_EQ(dlg.m_nCheck, 0);
    EXPECT_EQ(dlg.m_nRadio, 0);
    EXPECT_EQ(dlg.m_nCombo, 0);
    EXPECT_EQ(dlg.m_strCombo, "Alpha");
}

TEST(Dialog, InvalidInputKeepsTheDialogOpen) {
    CTestDlg dlg;
    int okTries = 0;
    BOOL firstSave = TRUE;
    dlg.m_fnOnInit = [&](CTestDlg& d) {
        d.SetDlgItemText(IDC_COUNT, "12abc");
        d.OnMsg(WM_APP + 2, [&](WPARAM, LPARAM) {
            ++okTries;
            firstSave = d.UpdateData(TRUE);
            d.SetDlgItemText(IDC_COUNT, "5");
            d.SetDlgItemText(IDC_NAME, "much too long a name");
            BOOL second = d.UpdateData(TRUE);
            d.SetDlgItemText(IDC_NAME, "ok");
            BOOL third = d.UpdateData(TRUE);
            d.EndDialog(second ? 1 : (third ? 7 : 2));
            return 0;
        });
        PostMessageA(d.GetSafeHwnd(), WM_APP + 2, 0, 0);
    };
    EXPECT_EQ(dlg.DoModal(), 7);
    EXPECT_EQ(okTries, 1);
    EXPECT_FALSE(firstSave);
    EXPECT_EQ(dlg.m_nCount, 5);
    EXPECT_EQ(dlg.m_strName, "ok");
}

TEST(Dialog, ModelessLivesUntilDestroyed) {
    CTestDlg dlg;
    ASSERT_TRUE(dlg.Create());
    HWND h = dlg.GetSafeHwnd();
    ASSERT_TRUE(IsWindow(h));
    EXPECT_FALSE(dlg.IsModal());
    PostMessageA(h, WM_TEST_END, 1, 0);
    MSG msg;
    while (IsWindow(h) && GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (!CVlmDialog::PreTranslateModeless(&msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    EXPECT_FALSE(IsWindow(h));
    EXPECT_EQ(dlg.GetSafeHwnd(), nullptr);
}

TEST(Dialog, MissingTemplateFails) {
    CVlmDialog dlg(4242);
    EXPECT_EQ(dlg.DoModal(), -1);
}

TEST(Dialog, ModalAsMainWindowReceivesWhatIsSentToTheMainWindow) {
    CVlmApp app;
    HWND hBefore =
        CreateWindowExA(0, "STATIC", "before", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(hBefore, nullptr);
    app.SetMainWnd(hBefore);
    CTestDlg dlg;
    HWND hSeen = nullptr;
    dlg.m_fnOnInit = [&](CTestDlg& d) {
        // Already the main window while it initialises: a sender that only
        // knows the main window (the scan engine) reaches the dialog.
        hSeen = app.GetMainWnd();
        PostMessageA(app.GetMainWnd(), WM_TEST_END, 7, 0);
    };
    EXPECT_EQ(dlg.DoModalAsMainWindow(), 7);
    EXPECT_NE(hSeen, nullptr);
    EXPECT_NE(hSeen, hBefore);
    EXPECT_EQ(app.GetMainWnd(), hBefore); // given back when the dialog is gone

    // A plain modal dialog leaves the main window alone.
    dlg.m_fnOnInit = [&](CTestDlg& d) {
        hSeen = app.GetMainWnd();
        PostMessageA(d.GetSafeHwnd(), WM_TEST_END, 3, 0);
    };
    EXPECT_EQ(dlg.DoModal(), 3);
    EXPECT_EQ(hSeen, hBefore);
    DestroyWindow(hBefore);
}

namespace {
class CCountingThread : public CVlmUiThread {
public:
    std::atomic<int> m_nSeen{0}, m_nFiltered{0}, m_nSum{0};
    std::atomic<DWORD> m_dwInitThread{0};
    BOOL m_bFailInit = FALSE;

protected:
    BOOL InitInstance() override {
        m_dwInitThread = GetCurrentThreadId();
        return !m_bFailInit;
    }
    int ExitInstance() override { return 77; }
    BOOL PreTranslateMessage(MSG* pMsg) override {
        if (pMsg->message == WM_APP + 9) {
            ++m_nFiltered;
            return TRUE; // eaten here, never reaches OnThreadMessage
        }
        return FALSE;
    }
    void OnThreadMessage(UINT msg, WPARAM w, LPARAM) override {
        if (msg == WM_APP + 1) {
            ++m_nSeen;
            m_nSum += static_cast<int>(w);
        }
    }
};
} // namespace

TEST(UiThread, ProcessesPostedMessagesInOrder) {
    CCountingThread t;
    ASSERT_TRUE(t.CreateThread(5000));
    EXPECT_EQ(t.m_dwInitThread.load(), t.GetThreadId());
    EXPECT_NE(t.GetThreadId(), GetCurrentThreadId());
    EXPECT_EQ(WaitForSingleObject(t.GetStartEvent(), 0), WAIT_OBJECT_0);
    for (int i = 1; i <= 10; ++i)
        ASSERT_TRUE(t.PostThreadMessage(WM_APP + 1, i));
    ASSERT_TRUE(t.PostThreadMessage(WM_APP + 9));
    ASSERT_TRUE(t.Quit(10000));
    EXPECT_EQ(t.m_nSeen, 10);
    EXPECT_EQ(t.m_nSum, 55);
    EXPECT_EQ(t.m_nFiltered, 1);
    EXPECT_EQ(t.GetExitCode(), 77);
}

TEST(UiThread, FailedInitReportsFalse) {
    CCountingThread t;
    t.m_bFailInit = TRUE;
    EXPECT_FALSE(t.CreateThread(5000));
    EXPECT_TRUE(t.WaitForExit(5000));
}

namespace {
struct BoxProbe {
    std::atomic<bool> found{false};
    std::atomic<bool> topmost{false};
    std::string text;
};
BoxProbe* g_probe = nullptr;

// Runs on the box's own modal loop: inspects the box and presses its button.
void CALLBACK CloseBoxTimer(HWND, UINT, UINT_PTR id, DWORD) {
    HWND box = FindWindowA("#32770", "Probe caption");
    if (!box)
        return;
    KillTimer(nullptr, id);
    g_probe->found = true;
    g_probe->topmost = (GetWindowLongA(box, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}
} // namespace

TEST(MessageBox, TopVariantIsTopmost) {
    BoxProbe probe;
    g_probe = &probe;
    SetTimer(nullptr, 0, 50, CloseBoxTimer);
    int rc = VlmMessageBoxTop(nullptr, "Probe text", "Probe caption", MB_OK | MB_ICONSTOP);
    EXPECT_EQ(rc, IDOK);
    EXPECT_TRUE(probe.found);
    EXPECT_TRUE(probe.topmost);
    g_probe = nullptr;
}
