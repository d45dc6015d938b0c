// The status window as a user meets it: jobs with "MonitorOpen" set, started
// from the simulated panel, the window found and read by the UI robot, its
// buttons pressed, the scanner's cover and feeder changed while it watches.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <fstream>

#include "SessionFixture.h"
#include "framework/Handles.h"
#include "uirobot_controls.h"

using namespace kestreltest;

namespace {

const char kMonitorCaption[] = "Monitor for VX-410";
const char kPositionKey[] = "Software\\Velmora Works Inc.\\Job\\kestrel\\window1pos";
const int kMessageLine = 1015;
const int kPageCount = 1008;

class KestrelStatus : public KestrelSession {
protected:
    void SetUp() override {
        KestrelSession::SetUp();
        ASSERT_EQ(Taskstore("common set MonitorOpen i4 1"), 0);
    }
    void TearDown() override {
        // A window left open would keep the runner (and the next test) waiting.
        if (m_hWindow && IsWindow(m_hWindow))
            PostMessageA(m_hWindow, WM_COMMAND, MAKEWPARAM(1009, BN_CLICKED), 0);
        KestrelSession::TearDown();
    }
    // Starts the service, presses Start and waits for the status window of
    // the runner the service starts.
    HWND StartJobWithWindow() {
        StartService();
        EXPECT_TRUE(m_pDevice->PressStart());
        CUiFindOptions o;
        o.m_strExeName = "kestrel.exe";
        o.m_strCaption = kMonitorCaption;
        CUiDialogInfo d;
        EXPECT_TRUE(UiWaitForDialog(o, 120000, d)) << ServiceLog();
        m_hWindow = d.m_hWnd;
        return d.m_hWnd;
    }
    static std::string Text(HWND hDlg, int id) {
        char buf[512] = {};
        DWORD_PTR r = 0;
        SendMessageTimeoutA(GetDlgItem(hDlg, id), WM_GETTEXT, sizeof buf,
                            reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG, 5000, &r);
        return buf;
    }
    // Polls the control until it shows want; false after two minutes.
    bool WaitText(HWND hDlg, int id, const std::string& want) {
        for (int i = 0; i < 1200; ++i) {
            if (Text(hDlg, id) == want)
                return true;
            if (!IsWindow(hDlg))
                return false;
            Sleep(100);
        }
        return false;
    }
    void Press(HWND hDlg, int id) {
        PostMessageA(hDlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(hDlg, id)));
    }
    // A key as the user presses it: to the control of the window's thread
    // that has the keyboard focus, else to the window itself; the dialog's
    // message loop turns Enter and Escape into its OK and Cancel.
    static void PressKey(HWND hDlg, UINT vk) {
        GUITHREADINFO gi = {};
        gi.cbSize = sizeof gi;
        HWND target = hDlg;
        if (GetGUIThreadInfo(GetWindowThreadProcessId(hDlg, nullptr), &gi) && gi.hwndFocus &&
            (gi.hwndFocus == hDlg || IsChild(hDlg, gi.hwndFocus)))
            target = gi.hwndFocus;
        PostMessageA(target, WM_KEYDOWN, vk, 1);
        PostMessageA(target, WM_KEYUP, vk, 0xC0000001);
    }
    // Polls the page count until it reaches n; false after two minutes.
    bool WaitPages(HWND hDlg, int n) {
        for (int i = 0; i < 1200 && IsWindow(hDlg); ++i) {
            if (std::atoi(Text(hDlg, kPageCount).c_str()) >= n)
                return true;
            Sleep(100);
        }
        return false;
    }
    static bool ButtonShown(HWND hDlg, int id) {
        HWND h = GetDlgItem(hDlg, id);
        return IsWindowVisible(h) && IsWindowEnabled(h);
    }
    // A job of three grey A4 sheets whose save folder is watched with a limit
    // of 1 MiB: the first page passes it, and the scan waits at that page
    // for the folder-size question, the window up.
    void StartJobHeldAtPageOne(int job, HWND& h, CUiDialogInfo& question) {
        RegisterSaveJob(job, 0, kBmp, kGrey, 200, kA4);
        FeedSheets(3, 200, 200, 8);
        for (int i = 0; i < 5; ++i)
            ASSERT_EQ(Taskstore("common set DisplayWarning" + std::to_string(i) + " i4 " +
                                (i == 3 ? "1" : "0")),
                      0);
        ASSERT_EQ(Taskstore("common set MonitorPath3 string \"" + m_strSave + "\""), 0);
        ASSERT_EQ(Taskstore("common set WarningSize3 i4 1"), 0);
        h = StartJobWithWindow();
        ASSERT_TRUE(h);
        question = WaitBox(":The folder size has been already over");
        ASSERT_TRUE(question.m_hWnd);
    }

    // The job dialog's texts in order, each with where its panel path took
    // it: "text>panel" when on to the panel, "text>lock" when the panel lock
    // held it back.
    std::vector<std::string> JobDialogTexts() {
        const std::string head = "CVX410JobDlg DispMessage  message = ";
        const std::vector<std::string> log = RunLog();
        std::vector<std::string> texts;
        for (size_t i = 0; i < log.size(); ++i) {
            if (log[i].compare(0, head.size(), head) != 0)
                continue;
            const std::string rest = log[i].substr(head.size());
            std::string fate = "?";
            for (size_t j = i + 1; j < log.size() && fate == "?"; ++j) {
                if (log[j] == "DispMessageToScaner Start")
                    fate = "panel";
                else if (log[j] == "DispMessageToScaner Lock")
                    fate = "lock";
            }
            texts.push_back(rest.substr(0, rest.rfind(", iserror = ")) + ">" + fate);
        }
        return texts;
    }

    HWND m_hWindow = nullptr;
};

TEST_F(KestrelStatus, FollowsTheJobAndClosesItselfTenSecondsAfterItThenTheJobEnds) {
    // Where the user left the window last time.
    {
        vlm::CRegKey key;
        ASSERT_EQ(key.Create(HKEY_CURRENT_USER, kPositionKey), ERROR_SUCCESS);
        key.SetDWORD("left", 37);
        key.SetDWORD("top", 41);
    }
    RegisterSaveJob(40, 0, kBmp, kBw, 50, kBusinessCard);
    FeedSheets(6, 100, 150, 1);
    HWND h = StartJobWithWindow();
    ASSERT_TRUE(h);
    RECT rc;
    GetWindowRect(h, &rc);
    EXPECT_EQ(rc.left, 37);
    EXPECT_EQ(rc.top, 41);
    // Enter and Escape while the job runs do nothing.
    PostMessageA(h, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    PostMessageA(h, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    EXPECT_TRUE(ButtonShown(h, 1007));
    EXPECT_FALSE(ButtonShown(h, 1009));

    ASSERT_TRUE(WaitText(h, kMessageLine, "Sending complete.")) << Text(h, kMessageLine);
    EXPECT_EQ(Text(h, kPageCount), "6");
    EXPECT_TRUE(WaitInLog("CVlmStatusDialog::OnJobComplete()"));
    EXPECT_TRUE(ButtonShown(h, 1009));
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(h, 1007)));
    ASSERT_TRUE(UiWaitGone(h, 120000));
    EXPECT_EQ(WaitRunnerEnd(), 0u) << ServiceLog();

    auto log = RunLog();
    EXPECT_TRUE(
        InOrder(log, {"CStatusDialogThread::InitInstance() start",
                      "CVlmStatusDialog::OnInitDialog() start", "animation 169 playing",
                      "CVlmStatusDialog::OnInitDialog() end", "CVlmStatusDialog::OnOK() start",
                      "CJobDlg::EndJob()", "CVlmStatusDialog::OnButtonClose()",
                      "CJobDlg::OnRequestClose()", "CVlmStatusDialog::OnRequestClose()",
                      "CVlmStatusDialog::OnDestroy()", "DoModal end"}));
    EXPECT_TRUE(InLog("CVlmStatusDialog::OnCancel() start"));
    // Ten seconds after the job, not before; the job dialog ends only then.
    const long ended = LogTime("CJobDlg::EndJob()");
    const long closed = LogTime("CVlmStatusDialog::OnButtonClose()");
    ASSERT_GE(ended, 0);
    EXPECT_GE(closed - ended, 9900);
    EXPECT_GE(LogTime("DoModal end"), closed);
    EXPECT_EQ(CountInLog("Scan Page : 5"), 1);
    EXPECT_EQ(SavedFiles().size(), 6u);
    ExpectCleanEnd();
    // The position is written back when the window goes.
    vlm::CRegKey key;
    ASSERT_EQ(key.Open(HKEY_CURRENT_USER, kPositionKey), ERROR_SUCCESS);
    DWORD left = 0, top = 0, right = 0, bottom = 0;
    EXPECT_EQ(key.QueryDWORD("left", left), ERROR_SUCCESS);
    EXPECT_EQ(key.QueryDWORD("top", top), ERROR_SUCCESS);
    EXPECT_EQ(key.QueryDWORD("right", right), ERROR_SUCCESS);
    EXPECT_EQ(key.QueryDWORD("bottom", bottom), ERROR_SUCCESS);
    EXPECT_EQ(left, 37u);
    EXPECT_EQ(top, 41u);
    EXPECT_EQ(static_cast<LONG>(right - left), rc.right - rc.left);
    EXPECT_EQ(static_cast<LONG>(bottom - top), rc.bottom - rc.top);
}

TEST_F(KestrelStatus, CancelStopsTheBatchDeliversNothingAndCloseEndsTheJob) {
    RegisterSaveJob(41, 0, kTiff, kGrey, 100, kBusinessCard);
    FeedSheets(40, 200, 300, 8);
    HWND h = StartJobWithWindow();
    ASSERT_TRUE(h);
    Press(h, 1007);
    ASSERT_TRUE(WaitText(h, kMessageLine, "Canceled")) << Text(h, kMessageLine);
    EXPECT_TRUE(WaitInLog("CVlmStatusDialog::OnJobComplete()"));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(h, 1007)));
    EXPECT_TRUE(InLog("CANCEL"));
    EXPECT_TRUE(SavedFiles().empty());
    EXPECT_FALSE(TempJobFolderExists());
    // A failed job leaves the window for the user to read (no closing
    // timer): Escape now closes it and the job.
    PressKey(h, VK_ESCAPE);
    ASSERT_TRUE(UiWaitGone(h, 120000));
    EXPECT_EQ(WaitRunnerEnd(), 0u) << ServiceLog();
    EXPECT_LT(Panel().m_nPagesTaken, 40);
    EXPECT_FALSE(InLog("CVlmStatusDialog::OnCancel() start"));
    ExpectCleanEnd();
}

TEST_F(KestrelStatus, WithoutPaperItWatchesTheScannerUntilItIsReady) {
    RegisterSaveJob(42, 0, kBmp, kBw, 50, kBusinessCard);
    ASSERT_EQ(Tool("cover open"), 0);
    HWND h = StartJobWithWindow();
    ASSERT_TRUE(h);
    ASSERT_TRUE(WaitText(h, kMessageLine, "Scanner cover is open.")) << Text(h, kMessageLine);
    // Several polls while the cover stays open; the text is written once.
    ASSERT_TRUE(WaitInLog("CVlmStatusDialog::OnTimer(UINT nIDEvent)", 4));
    EXPECT_EQ(CountInLog("scanner watch: Scanner cover is open."), 1);
    EXPECT_EQ(Text(h, kMessageLine), "Scanner cover is open.");
    EXPECT_TRUE(SavedFiles().empty());

    ASSERT_EQ(Tool("cover closed"), 0);
    ASSERT_EQ(Tool("feed --generate 1"), 0);
    ASSERT_TRUE(WaitText(h, kMessageLine, "Set papers and start job.")) << Text(h, kMessageLine);
    EXPECT_TRUE(WaitInLog("scanner watch ended"));
    EXPECT_FALSE(Panel().m_bRunnerHolds);
    const int polls = CountInLog("CVlmStatusDialog::OnTimer(UINT nIDEvent)");
    Press(h, 1009);
    ASSERT_TRUE(UiWaitGone(h, 120000));
    EXPECT_EQ(WaitRunnerEnd(), 0u) << ServiceLog();
    // The watch stopped polling when the scanner was ready.
    EXPECT_EQ(CountInLog("CVlmStatusDialog::OnTimer(UINT nIDEvent)"), polls);
    EXPECT_TRUE(
        InOrder(RunLog(), {"CVlmStatusDialog::OnScannerMonitorStart()", "scanner watch ended",
                           "CVlmStatusDialog::OnButtonClose()", "CVlmStatusDialog::OnDestroy()"}));
    ExpectCleanEnd();
}

TEST_F(KestrelStatus, EnterAndEscapeWhileScanningDoNothingAfterTheJobEscapeEndsWindowAndJob) {
    HWND h = nullptr;
    CUiDialogInfo question;
    ASSERT_NO_FATAL_FAILURE(StartJobHeldAtPageOne(44, h, question));
    PressKey(h, VK_ESCAPE);
    PressKey(h, VK_RETURN);
    ASSERT_TRUE(WaitInLog("CVlmStatusDialog::OnCancel() end"));
    ASSERT_TRUE(WaitInLog("CVlmStatusDialog::OnOK() end"));
    EXPECT_TRUE(IsWindow(h));
    EXPECT_TRUE(ButtonShown(h, 1007));
    EXPECT_FALSE(ButtonShown(h, 1009));
    ASSERT_TRUE(UiPressButton(question, "Yes")) << UiDescribe(question);
    ASSERT_TRUE(WaitText(h, kMessageLine, "Sending complete.")) << Text(h, kMessageLine);
    // The keys were handled in the middle of the batch, and stopped nothing.
    EXPECT_LE(LogTime("CVlmStatusDialog::OnOK() end"), LogTime("CJobDlg::OnBatchScanned("));
    EXPECT_EQ(Text(h, kPageCount), "3");
    EXPECT_EQ(SavedFiles().size(), 3u);
    EXPECT_FALSE(InLog("CVlmStatusDialog::OnButtonClose()"));

    ASSERT_TRUE(WaitInLog("CVlmStatusDialog::OnJobComplete()"));
    PressKey(h, VK_ESCAPE);
    ASSERT_TRUE(UiWaitGone(h, 120000));
    EXPECT_EQ(WaitRunnerEnd(), 0u) << ServiceLog();
    // Closed by the key, well before the window's own ten seconds.
    EXPECT_LT(LogTime("CVlmStatusDialog::OnButtonClose()") - LogTime("CJobDlg::EndJob()"), 9000);
    EXPECT_EQ(CountInLog("CVlmStatusDialog::OnCancel() start"), 1);
    EXPECT_TRUE(InOrder(RunLog(), {"CVlmStatusDialog::OnJobComplete()",
                                   "CVlmStatusDialog::OnButtonClose()", "CJobDlg::OnRequestClose()",
                                   "CVlmStatusDialog::OnDestroy()", "DoModal end"}));
    ExpectCleanEnd();
}

TEST_F(KestrelStatus, WhileTheScanRunsThePanelKeepsScanningAfterTheBatchTextsReachItAgain) {
    TracePanelLibrary();
    HWND h = nullptr;
    CUiDialogInfo question;
    ASSERT_NO_FATAL_FAILURE(StartJobHeldAtPageOne(47, h, question));
    // Held at page 1 under the panel lock: the window counts the page, the
    // question reaches neither the panel nor its library, and the panel
    // still says "Scanning...".
    ASSERT_TRUE(WaitPages(h, 1));
    EXPECT_EQ(Text(h, kMessageLine), "Scanning...");
    const std::string head = "0|" + Catalogue() + "|";
    EXPECT_EQ(Trace(), (std::vector<std::string>{head + "Please wait.", head + "Scanning..."}));
    EXPECT_EQ(Panel().m_strPanelMessage, "Scanning...");
    EXPECT_EQ(Panel().m_nDisplayKind, vx410sim::kDisplayNormal);
    EXPECT_EQ(JobDialogTexts(), (std::vector<std::string>{"Scanning...>panel"}));

    // The batch ends: from there on the job dialog's texts reach the panel
    // again, each through the panel path.
    ASSERT_TRUE(UiPressButton(question, "Yes")) << UiDescribe(question);
    ASSERT_TRUE(WaitText(h, kMessageLine, "Sending complete.")) << Text(h, kMessageLine);
    ASSERT_TRUE(WaitInLog("CVlmStatusDialog::OnJobComplete()"));
    Press(h, 1009);
    ASSERT_TRUE(UiWaitGone(h, 120000));
    EXPECT_EQ(WaitRunnerEnd(), 0u) << ServiceLog();
    EXPECT_EQ(JobDialogTexts(), (std::vector<std::string>{"Scanning...>panel", "Sending...>panel",
                                                          "Sending complete.>panel"}));
    EXPECT_TRUE(InOrder(RunLog(), {"Scan Page : 2", "m_Scan.ReleaseDriver end",
                                   "DispMessageToScaner Start msg = Sending...  iserror = 0",
                                   "CJobDlg::EndJob()"}));
    EXPECT_EQ(Trace(), (std::vector<std::string>{head + "Please wait.", head + "Scanning...",
                                                 head + "Sending...", head + "Sending complete."}));
    EXPECT_EQ(Panel().m_strPanelMessage, "Sending complete.");
    EXPECT_EQ(SavedFiles().size(), 3u);
    ExpectCleanEnd();
}

TEST_F(KestrelStatus, AJamAtPageTwoAsksWithoutTheDriverBoxAndTheWindowGetsTheNumber) {
    RegisterSaveJob(45, 0, kTiff, kBw, 100, kBusinessCard);
    FeedSheets(3, 100, 150, 1);
    ASSERT_EQ(Tool("fault jam 2"), 0);
    HWND h = StartJobWithWindow();
    ASSERT_TRUE(h);
    // With the window the question comes first: the driver's text and number
    // get no box of their own.
    CUiDialogInfo question = WaitBox(kJamQuestion);
    ASSERT_TRUE(question.m_hWnd);
    CUiFindOptions o;
    o.m_strExeName = "kestrel.exe";
    for (const CUiDialogInfo& d : UiFindDialogs(o))
        for (const std::string& t : d.m_texts)
            EXPECT_EQ(t.find("(-4426)"), std::string::npos) << UiDescribe(d);
    EXPECT_EQ(Text(h, kMessageLine), "Error occured. See PC.");
    EXPECT_EQ(Text(h, kPageCount), "1");
    ASSERT_TRUE(UiPressButton(question, "Yes")) << UiDescribe(question);

    ASSERT_TRUE(WaitInLog("CVlmStatusDialog::OnJobComplete()"));
    const std::string done = Text(h, kMessageLine);
    EXPECT_EQ(done.rfind("Sending complete.", 0), 0u) << done;
    EXPECT_NE(done.find("(-4426)"), std::string::npos) << done;
    EXPECT_TRUE(ButtonShown(h, 1009));
    // Enter, now the job is done, closes the window and the job, well before
    // the window's own ten seconds.
    PressKey(h, VK_RETURN);
    ASSERT_TRUE(UiWaitGone(h, 120000));
    EXPECT_EQ(WaitRunnerEnd(), 0u) << ServiceLog();
    EXPECT_LT(LogTime("CVlmStatusDialog::OnButtonClose()") - LogTime("CJobDlg::EndJob()"), 9000);
    const auto files = SavedFiles();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].substr(files[0].size() - 4), ".tif");
    EXPECT_TRUE(InOrder(PanelTexts(), {"Please wait.", "Scanning...", "Error occured. See PC.|1",
                                       "Scan failed.|1", "Sending..."}));
    ExpectCleanEnd();
}

TEST_F(KestrelStatus, ADoubleFeedBeforeAnyPageShowsItsLongTextForOneAndAHalfSeconds) {
    const std::string text = "A double paper-feed has occured. Please check the document and the "
                             "scanned image on the display and scan the document again.";
    RegisterSaveJob(46, 0, kBmp, kBw, 100, kBusinessCard);
    FeedSheets(2, 100, 150, 1);
    ASSERT_EQ(Tool("fault doublefeed 1"), 0);
    HWND h = StartJobWithWindow();
    ASSERT_TRUE(h);
    ASSERT_TRUE(WaitText(h, kMessageLine, text)) << Text(h, kMessageLine);
    ASSERT_TRUE(WaitInLog("CVlmStatusDialog::OnScannerMonitorStart()"));
    // Shown, then cleared in the window and on the panel 1.5 s later.
    const long shown = LogTime("CVX410JobDlg DispMessage  message = " + text + ", iserror = 0");
    const long cleared = LogTime("CVX410JobDlg DispMessage  message = , iserror = 0");
    ASSERT_GE(shown, 0);
    ASSERT_GE(cleared, 0);
    EXPECT_GE(cleared - shown, 1490);
    EXPECT_TRUE(InOrder(PanelTexts(), {"Scanning...", "Scan failed.|1", text, ""}));
    EXPECT_EQ(Panel().m_strPanelMessage, "");
    EXPECT_TRUE(SavedFiles().empty());

    // The scanner still reports the double feed; the watch says so until
    // the fault is cleared and the next sheet waits.
    ASSERT_TRUE(WaitInLog("scanner watch: " + text));
    ASSERT_EQ(Tool("fault clear"), 0);
    ASSERT_TRUE(WaitText(h, kMessageLine, "Set papers and start job.")) << Text(h, kMessageLine);
    Press(h, 1009);
    ASSERT_TRUE(UiWaitGone(h, 120000));
    EXPECT_EQ(WaitRunnerEnd(), 0u) << ServiceLog();
    EXPECT_TRUE(InOrder(RunLog(), {"CVlmStatusDialog::OnScannerMonitorStart()",
                                   "scanner watch: " + text, "scanner watch ended"}));
    ExpectCleanEnd();
}

TEST_F(KestrelStatus, AWindowWaitingInABoxDelaysANewerRunnerOnlyBrieflyItsCaptionTakenAsText) {
    // The user's catalogue has a stray '%' and a "%d" in the caption's text:
    // a runner of its own beside it, in a folder of the test.
    const std::string folder = m_strDir + "\\runner";
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    for (const char* file : {"kestrel.exe", "devlink.dll"})
        ASSERT_TRUE(CopyFileA(ProgramPath("Task Deck", file).c_str(),
                              (folder + "\\" + file).c_str(), FALSE))
            << file;
    char section[16];
    snprintf(section, sizeof section, "[%04x]\n", GetUserDefaultLangID());
    std::ofstream(folder + "\\TaskdeckCore.loc", std::ios::binary)
        << section << "Monitor for %s = Monitor %d for %s at 100%\n";
    // Last time the window was on a screen that is gone.
    {
        vlm::CRegKey key;
        ASSERT_EQ(key.Create(HKEY_CURRENT_USER, kPositionKey), ERROR_SUCCESS);
        key.SetDWORD("left", 50000);
        key.SetDWORD("top", 40000);
    }
    // No paper, and the scanner now answers to a number the watch never
    // tries: the watch stops at its "sti open failed" box.
    RegisterSaveJob(48, 0, kBmp, kBw, 50, kBusinessCard);
    ASSERT_TRUE(m_pDevice->Update([](vx410sim::DeviceState& st) {
        st.m_nDeviceIndex = 77;
        return true;
    }));
    StartService("--no-launch");
    CProcess held;
    ASSERT_TRUE(held.Start("\"" + folder + "\\kestrel.exe\" /StiDevice:" + m_strDevice));
    CUiFindOptions o;
    o.m_strExeName = "kestrel.exe";
    o.m_strCaption = "Monitor %d for VX-410 at 100%";
    CUiDialogInfo window;
    ASSERT_TRUE(UiWaitForDialog(o, 120000, window)) << ReadFileText(m_strTemp + m_strLogName);
    m_hWindow = window.m_hWnd;
    RECT rc;
    GetWindowRect(m_hWindow, &rc);
    MONITORINFO mi{};
    mi.cbSize = sizeof mi;
    ASSERT_TRUE(GetMonitorInfoA(MonitorFromWindow(m_hWindow, MONITOR_DEFAULTTONEAREST), &mi));
    EXPECT_GE(rc.left, mi.rcWork.left);
    EXPECT_GE(rc.top, mi.rcWork.top);
    EXPECT_LE(rc.right, mi.rcWork.right);
    EXPECT_LE(rc.bottom, mi.rcWork.bottom);
    ASSERT_TRUE(WaitBox("sti open failed").m_hWnd);

    // A newer runner closes the job: the window cannot close while its box
    // waits, and the job ends without it.
    ASSERT_TRUE(m_pDevice->SetSelectedJob(23)); // not registered
    CProcess newer;
    ASSERT_TRUE(newer.Start(KestrelCommand(false)));
    EXPECT_EQ(held.Wait(120000), 0u);
    EXPECT_EQ(newer.Wait(120000), 2u);
    const std::string gaveUp = "the status window did not close within 5000 ms";
    EXPECT_TRUE(
        InOrder(RunLog(), {"CJobDlg::OnRequestClose()", gaveUp + "; the job ends without it",
                           "DoModal end", "ExitInstance end"}));
    const long asked = LogTime("CJobDlg::OnRequestClose()");
    EXPECT_GE(LogTime(gaveUp) - asked, 4900);
    EXPECT_FALSE(TempJobFolderExists());
}

TEST_F(KestrelStatus, WithoutAWindowTheJobRunsAndEndsAlone) {
    // The window is made of rich edit controls: on a system whose rich edit
    // library does not load for the runner, it gets no window.
    struct CUndo {
        ~CUndo() { RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\kestrel.exe"); }
    } undo;
    const char kOverrides[] = "Software\\Wine\\AppDefaults\\kestrel.exe\\DllOverrides";
    {
        vlm::CRegKey key;
        ASSERT_EQ(key.Create(HKEY_CURRENT_USER, kOverrides), ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(key, "riched20", 0, REG_SZ,
                                 reinterpret_cast<const BYTE*>("disabled"), 9),
                  ERROR_SUCCESS);
    }
    RegisterSaveJob(49, 0, kBmp, kBw, 50, kBusinessCard);
    FeedSheets(2, 100, 150, 1);
    StartService();
    EXPECT_EQ(PressStartAndWait(), 0u) << ServiceLog();
    EXPECT_TRUE(InOrder(RunLog(), {"CStatusDialogThread::InitInstance() start",
                                   "BeginStatusDialogThread() no status window; the job runs "
                                   "without it",
                                   "CJobDlg::EndJob()", "EndJob() !m_IsMonitorOpen"}));
    EXPECT_FALSE(InLog("CVlmStatusDialog::OnInitDialog() start"));
    EXPECT_EQ(SavedFiles().size(), 2u);
    EXPECT_EQ(Panel().m_strPanelMessage, "Sending complete.");
    ExpectCleanEnd();
}

TEST_F(KestrelStatus, TheErrorDialogClosesItselfAndANewerRunnerClosesItAtOnce) {
    ASSERT_TRUE(m_pDevice->SetSelectedJob(43)); // not registered
    StartService("--no-launch");
    {
        CProcess k;
        ASSERT_TRUE(k.Start(KestrelCommand(false)));
        CMessageBoxInfo box;
        ASSERT_TRUE(WaitMessageBox(k.m_nPid, 60000, &box));
        EXPECT_EQ(box.m_strCaption, kMonitorCaption);
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(box.m_hWnd, 1007)));
        EXPECT_EQ(k.Wait(120000), 2u);
        EXPECT_TRUE(InLog("ShowNotRegistered() end 0"));
        const long shown = LogTime("DispMessageToScaner Start msg = Job is not registered.");
        const long ended = LogTime("ShowNotRegistered() end");
        ASSERT_GE(shown, 0);
        EXPECT_GE(ended - shown, 9900);
    }
    DeleteFileA((m_strTemp + m_strLogName).c_str());
    {
        CProcess k;
        ASSERT_TRUE(k.Start(KestrelCommand(false)));
        CMessageBoxInfo box;
        ASSERT_TRUE(WaitMessageBox(k.m_nPid, 60000, &box));
        PostMessageA(HWND_BROADCAST, RegisterWindowMessageA("VX410_StatusDialog_ErrorMode"), 0, 0);
        EXPECT_EQ(k.Wait(60000), 2u);
        EXPECT_TRUE(InLog("ShowNotRegistered() end -1"));
    }
}

} // namespace
