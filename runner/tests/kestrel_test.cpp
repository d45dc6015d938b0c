// kestrel as the scanner starts it and as a user starts it, with the scanner
// service, the job store and the simulated scanner all real programs.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <memory>
#include <thread>

#include "KestrelFixture.h"
#include "common/VlmLog.h"
#include "contracts/WindowMessages.h"
#include "framework/ComError.h"
#include "framework/Handles.h"
#include "runner/JobAppImp.h"
#include "runner/JobDlg.h"
#include "runner/JobSessionHost.h"
#include "runner/VX410Names.h"

using namespace kestreltest;

TEST_F(Kestrel, StartButtonRunsTheSelectedJobAndHandsTheScannerBack) {
    RegisterJob(7, 0);
    // The panel as a user drives it: the simulator's own tool.
    const std::string tool = "\"" + ProgramPath("VX-410 Simulator", "vx410.exe") + "\" ";
    ASSERT_EQ(RunCapture(tool + "select 7", nullptr), 0u);
    StartService();
    ASSERT_EQ(RunCapture(tool + "press start", nullptr), 0u);
    EXPECT_EQ(WaitRunnerEnd(), 0u) << ServiceLog();
    EXPECT_EQ(LastJobNum(), 7);
    const std::string svc = ServiceLog();
    EXPECT_NE(svc.find("/StiEvent:{895DBEB0-1F4A-4756-ABFD-3218CF1F10A5}"), std::string::npos);
    size_t lock = svc.find("lock: the scanner is left to the job");
    size_t unlock = svc.find("unlock: the scanner is back with the service");
    EXPECT_NE(lock, std::string::npos) << svc;
    EXPECT_NE(unlock, std::string::npos) << svc;
    EXPECT_LT(lock, unlock);
    EXPECT_FALSE(Panel().m_bRunnerHolds);

    const std::string dashes(78, '-');
    EXPECT_TRUE(InOrder(
        RunLog(), {dashes,
                   "---------------Taskdeck\t Application Start\t\t------------------------------",
                   dashes,
                   "InitInstance() start",
                   "MutuallyExclusive() start",
                   "MutuallyExclusive() end",
                   "Initialize localize function() start",
                   "Initialize localize function() end",
                   "AnalyzeArgument() start",
                   "AnalyzeArgument() end",
                   m_strDevice + " " + kScanEvent,
                   "DispMessageToScaner_init Start",
                   "DispMessageToScaner_init Open",
                   "DispMessageToScaner_init result = 0",
                   "DispMessageToScaner Start msg = Please wait.  iserror = 0",
                   "DispMessage warning",
                   "MsgEx = 02 00 00 00",
                   "GetSelectedJobNo() start",
                   "GetSelectedJobNo() end",
                   "JobNumber is 7",
                   "StiLock start",
                   "StiLock end",
                   "set information to dlg class start",
                   "SCAN_TO_PC",
                   "set information to dlg class end",
                   "if ((m_JobTypeID!=SCAN_TO_PR) && ((short)Job->Getdata(\"save\")))   start",
                   "if ((m_JobTypeID!=SCAN_TO_PR) && ((short)Job->Getdata(\"save\")))   end",
                   "TwainDsName is Velmora VX-410 TWAIN",
                   "DoModal start",
                   "DoModal end",
                   "Com Module Release start",
                   "Com Module Release end",
                   "StiUnLock start",
                   "StiUnLock end",
                   "NcStiUnLock start",
                   "NcStiUnLock end",
                   "InitInstance() end",
                   "~CComInitialize() start",
                   "CoUninitialize() start",
                   "CoUninitialize() end",
                   "~CComInitialize() end",
                   "ExitInstance start",
                   "StiUnLock start",
                   "StiUnLock end",
                   "ExitInstance end"}));
    // The feeder is empty: the panel shows the runner's last text, as an error.
    EXPECT_EQ(Panel().m_strPanelMessage, "No page was found in the feeder.");
    EXPECT_EQ(Panel().m_nDisplayKind, vx410sim::kDisplayError);
    std::string out;
    EXPECT_EQ(RunCapture("\"" + ProgramPath("VX-410 Simulator", "vx410.exe") + "\" panel", &out),
              0u);
    EXPECT_NE(out.find("No page was found in the feeder."), std::string::npos) << out;
}

TEST_F(Kestrel, SharedMemoryTransportRunsTheSameJob) {
    RegisterJob(7, 3);
    ASSERT_TRUE(m_pDevice->SetSelectedJob(7));
    SetEnvironmentVariableA("VX410_SERVICE_TRANSPORT", "shm"); // inherited by kestrel
    StartService("--shared-memory");
    EXPECT_EQ(PressStartAndWait(), 0u) << ServiceLog();
    EXPECT_EQ(LastJobNum(), 7);
    EXPECT_TRUE(InOrder(RunLog(), {"JobNumber is 7", "StiLock end", "SCAN_TO_PC_RUNAPP",
                                   "DoModal end", "StiUnLock end"}));
    EXPECT_NE(ServiceLog().find("shared memory"), std::string::npos);
    EXPECT_NE(ServiceLog().find("unlock: the scanner is back"), std::string::npos);
}

TEST_F(Kestrel, UnregisteredJobFromTheScannerShowsThePanelErrorAfterASecond) {
    ASSERT_TRUE(m_pDevice->SetSelectedJob(8));
    StartService();
    EXPECT_EQ(PressStartAndWait(), 2u) << ServiceLog();
    EXPECT_EQ(Panel().m_strPanelMessage, "Job is not registered");
    EXPECT_EQ(Panel().m_nDisplayKind, vx410sim::kDisplayError);
    EXPECT_FALSE(InLog("DoModal start"));
    EXPECT_EQ(LastJobNum(), 8);
    long locked = LogTime("StiLock end");
    long shown = LogTime("DispMessageToScaner Start msg = Job is not registered");
    ASSERT_GE(locked, 0);
    ASSERT_GE(shown, 0);
    EXPECT_GE(shown - locked, 950);
    EXPECT_NE(ServiceLog().find("unlock: the scanner is back"), std::string::npos);
}

namespace {
// Starts kestrel (by hand), expects the not-registered error dialog (the title
// as its static text, the hint in its message line), closes it and waits for
// the runner to end with 2. The dialog's texts are returned.
CMessageBoxInfo ExpectNotRegisteredDialog(const std::string& kestrelByHand) {
    CProcess k;
    CMessageBoxInfo box;
    EXPECT_TRUE(k.Start(kestrelByHand));
    if (!WaitMessageBox(k.m_nPid, 60000, &box)) {
        ADD_FAILURE() << "no error dialog";
        return box;
    }
    EXPECT_EQ(box.m_strCaption, "Monitor for VX-410");
    EXPECT_NE(box.m_strText.find("Job is not registered."), std::string::npos) << box.m_strText;
    char text[256] = {};
    SendMessageA(GetDlgItem(box.m_hWnd, 1015), WM_GETTEXT, sizeof text,
                 reinterpret_cast<LPARAM>(text));
    EXPECT_STREQ(text, "Register a job using the Taskdeck Registrar.");
    EXPECT_TRUE(PressButton(box, "Close"));
    EXPECT_EQ(k.Wait(60000), 2u);
    return box;
}
} // namespace

TEST_F(Kestrel, UnregisteredJobStartedByHandShowsBothTexts) {
    ASSERT_TRUE(m_pDevice->SetSelectedJob(8));
    StartService("--no-launch");
    ExpectNotRegisteredDialog(KestrelCommand(false));
    EXPECT_EQ(Panel().m_strPanelMessage, "Job is not registered.");
    EXPECT_EQ(Panel().m_nDisplayKind, vx410sim::kDisplayError);
    EXPECT_FALSE(Panel().m_bRunnerHolds); // handed back before the message
}

TEST_F(Kestrel, UnknownFunctionIsRefusedWithoutASession) {
    RegisterJob(5, 5);
    ASSERT_TRUE(m_pDevice->SetSelectedJob(5));
    StartService("--no-launch");
    DWORD code = 0;
    CMessageBoxInfo box = RunAndAnswer(KestrelCommand(false), &code);
    EXPECT_EQ(box.m_strText, "Can't run job.");
    EXPECT_EQ(box.m_strCaption, "VX-410");
    EXPECT_EQ(code, 1u);
    EXPECT_EQ(Panel().m_strPanelMessage, "Can't run job.");
    EXPECT_EQ(Panel().m_nDisplayKind, vx410sim::kDisplayError);
    EXPECT_FALSE(InLog("DoModal start"));
    EXPECT_FALSE(InLog("set information to dlg class end"));
    EXPECT_TRUE(InOrder(RunLog(), {"StiLock end", "ExitInstance start", "StiUnLock end"}));
    for (int i = 0; i < 50 && Panel().m_bRunnerHolds; ++i)
        Sleep(100);
    EXPECT_FALSE(Panel().m_bRunnerHolds);
}

TEST_F(Kestrel, WithoutServiceStartUpStopsWithFileNotFoundBeforeTheStore) {
    RegisterJob(7, 0);
    ASSERT_EQ(Taskstore("common set LastJobNum i4 42"), 0);
    DWORD code = 0;
    CMessageBoxInfo box = RunAndAnswer(KestrelCommand(true), &code);
    EXPECT_EQ(box.m_strText, VlmSystemMessage(HResultFromWin32(ERROR_FILE_NOT_FOUND)));
    EXPECT_FALSE(box.m_strText.empty());
    EXPECT_EQ(box.m_strCaption, "VX-410");
    EXPECT_EQ(code, 1u);
    EXPECT_TRUE(InLog("GetSelectedJobNo() start"));
    EXPECT_FALSE(InLog("GetSelectedJobNo() end"));
    EXPECT_FALSE(InLog("StiLock start"));
    EXPECT_EQ(LastJobNum(), 42); // the store was never opened
}

TEST_F(Kestrel, RegistryJobNumberOverridesThePanelAfterItsMessageBox) {
    RegisterJob(7, 1);
    ASSERT_TRUE(m_pDevice->SetSelectedJob(3));
    m_profile.WriteInt("General", "JobNumber", 7);
    StartService("--no-launch");
    DWORD code = 0;
    CMessageBoxInfo box = RunAndAnswer(KestrelCommand(true), &code);
    EXPECT_EQ(box.m_strText, "Job Number is 7");
    EXPECT_EQ(box.m_strCaption, "Job Number is 7");
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(LastJobNum(), 7);
    EXPECT_TRUE(InOrder(RunLog(), {"JobNumber is 7", "SCAN_TO_MAIL", "DoModal end"}));
}

namespace {
// Top-level windows of the test: one with the job dialog's caption, one that
// listens for the error-mode broadcast.
struct CWatcher {
    std::atomic<int> m_nCloseRequests{0};
    std::atomic<int> m_nBroadcasts{0};
    std::atomic<bool> m_bReady{false};
    std::atomic<DWORD> m_nThread{0};
    UINT m_nErrorMode = RegisterWindowMessageA("VX410_StatusDialog_ErrorMode");
    std::thread m_thread;
    static CWatcher* s_p;

    static LRESULT CALLBACK Proc(HWND h, UINT msg, WPARAM w, LPARAM l) {
        if (msg == WM_VLM_REQUEST_CLOSE)
            ++s_p->m_nCloseRequests;
        else if (msg == s_p->m_nErrorMode && msg != 0)
            ++s_p->m_nBroadcasts;
        return DefWindowProcA(h, msg, w, l);
    }
    void Start() {
        s_p = this;
        m_thread = std::thread([this] {
            WNDCLASSA wc{};
            wc.lpfnWndProc = Proc;
            wc.hInstance = GetModuleHandleA(nullptr);
            wc.lpszClassName = "KestrelTestWatcher";
            RegisterClassA(&wc);
            HWND a = CreateWindowExA(0, wc.lpszClassName, kDialogCaption, WS_OVERLAPPED, 0, 0, 10,
                                     10, nullptr, nullptr, wc.hInstance, nullptr);
            HWND b = CreateWindowExA(0, wc.lpszClassName, "error dialog stand-in", WS_OVERLAPPED, 0,
                                     0, 10, 10, nullptr, nullptr, wc.hInstance, nullptr);
            m_nThread = GetCurrentThreadId();
            m_bReady = a && b;
            MSG m;
            while (GetMessageA(&m, nullptr, 0, 0) > 0)
                DispatchMessageA(&m);
            DestroyWindow(a);
            DestroyWindow(b);
        });
        while (!m_nThread)
            Sleep(10);
    }
    ~CWatcher() {
        PostThreadMessageA(m_nThread, WM_QUIT, 0, 0);
        if (m_thread.joinable())
            m_thread.join();
    }
};
CWatcher* CWatcher::s_p = nullptr;
} // namespace

TEST_F(Kestrel, DisplacesAnOlderRunnerAndHoldsTheToolMutexWhileItLives) {
    CWatcher watcher;
    watcher.Start();
    ASSERT_TRUE(watcher.m_bReady);
    HANDLE before = OpenMutexA(SYNCHRONIZE, FALSE, kToolMutex);
    EXPECT_EQ(before, nullptr);
    if (before)
        CloseHandle(before);

    // No service: the runner stops at its message box, alive and holding the mutex.
    CProcess k;
    ASSERT_TRUE(k.Start(KestrelCommand(true)));
    CMessageBoxInfo box;
    ASSERT_TRUE(WaitMessageBox(k.m_nPid, 60000, &box));
    EXPECT_EQ(watcher.m_nCloseRequests.load(), 1);
    EXPECT_GE(watcher.m_nBroadcasts.load(), 1);
    HANDLE during = OpenMutexA(SYNCHRONIZE, FALSE, kToolMutex);
    EXPECT_NE(during, nullptr);
    if (during)
        CloseHandle(during);
    EXPECT_TRUE(InLog("FindWindow(NULL, \"VX410KESTREL\") FIND!!!!"));
    ASSERT_TRUE(PressButton(box, "OK"));
    EXPECT_EQ(k.Wait(60000), 1u);
    HANDLE after = OpenMutexA(SYNCHRONIZE, FALSE, kToolMutex);
    EXPECT_EQ(after, nullptr);
    if (after)
        CloseHandle(after);
}

TEST_F(Kestrel, WithoutWriteLogNoRunLogIsWritten) {
    m_profile.WriteInt("General", "WriteLog", 0);
    ASSERT_TRUE(m_pDevice->SetSelectedJob(8));
    StartService("--no-launch");
    DWORD code = 0;
    RunAndAnswer(KestrelCommand(false), &code, "Close");
    EXPECT_EQ(code, 2u);
    EXPECT_EQ(GetFileAttributesA((m_strTemp + m_strLogName).c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(Kestrel, DeviceIdSwitchShowsTheParsedArgumentsFirst) {
    m_profile.WriteInt("General", "DeviceID", 1);
    ASSERT_TRUE(m_pDevice->SetSelectedJob(8)); // no job 8: the scanner-start refusal follows
    StartService("--no-launch");
    CProcess k;
    // The second event id in mixed case still counts; a lower-case prefix is ignored.
    ASSERT_TRUE(k.Start(KestrelCommand(false) +
                        " /StiEvent:{aadf8531-9B29-4E93-8067-C8C186B0FEA3} /stievent:ignored"));
    CMessageBoxInfo box;
    ASSERT_TRUE(WaitMessageBox(k.m_nPid, 60000, &box));
    EXPECT_EQ(box.m_strCaption, "DeviceID");
    EXPECT_EQ(box.m_strText, m_strDevice);
    ASSERT_TRUE(PressButton(box, "OK"));
    ASSERT_TRUE(WaitWindowGone(box.m_hWnd, 30000));
    ASSERT_TRUE(WaitMessageBox(k.m_nPid, 60000, &box));
    EXPECT_EQ(box.m_strCaption, "EventID");
    EXPECT_EQ(box.m_strText, "{aadf8531-9B29-4E93-8067-C8C186B0FEA3}");
    ASSERT_TRUE(PressButton(box, "OK"));
    ASSERT_TRUE(WaitWindowGone(box.m_hWnd, 30000));
    m_profile.WriteInt("General", "DeviceID", 0);

    // A scanner start refuses an unregistered job on the panel only, after a
    // second; a start by hand would ask the user in a message box instead.
    CMessageBoxInfo unexpected;
    EXPECT_EQ(WaitEndAnsweringBoxes(k, 60000, &unexpected), 2u);
    EXPECT_EQ(unexpected.m_hWnd, nullptr) << "message box: " << unexpected.m_strText;
    EXPECT_EQ(Panel().m_strPanelMessage, "Job is not registered");
    EXPECT_EQ(Panel().m_nDisplayKind, vx410sim::kDisplayError);
    // "Please wait." went to the panel directly, not through the path of
    // starts by hand (which logs the bare "DispMessageToScaner Start").
    const auto log = RunLog();
    EXPECT_TRUE(
        InOrder(log, {"DispMessageToScaner Start msg = Please wait.  iserror = 0",
                      "GetSelectedJobNo() start", "StiLock end",
                      "DispMessageToScaner Start msg = Job is not registered  iserror = 1"}));
    EXPECT_EQ(std::count(log.begin(), log.end(), "DispMessageToScaner Start"), 0);
    EXPECT_FALSE(InLog("DispMessageToScaner Lock"));
}

TEST_F(Kestrel, JobNumberOutsideTheStoreRangeIsNotRegistered) {
    RegisterJob(7, 0);
    StartService("--no-launch");
    // A panel the service cannot read: it answers job 0.
    {
        std::ofstream bad(m_strState + "\\state.txt", std::ios::binary | std::ios::trunc);
        bad << "selected_job=abc\n";
    }
    // The not-registered error dialog, not the store's "parameter is incorrect".
    const CMessageBoxInfo box = ExpectNotRegisteredDialog(KestrelCommand(false));
    EXPECT_EQ(box.m_strText.find(VlmSystemMessage(HResultFromWin32(ERROR_INVALID_PARAMETER))),
              std::string::npos);
    EXPECT_NE(ServiceLog().find("request job number -> 0"), std::string::npos) << ServiceLog();
    EXPECT_TRUE(InOrder(RunLog(), {"JobNumber is 0", "StiLock end", "ExitInstance start"}));
    EXPECT_FALSE(InLog("set information to dlg class start"));
    EXPECT_FALSE(InLog("DoModal start"));
    EXPECT_EQ(LastJobNum(), 1); // a number outside 1..99 is recorded as 1
    EXPECT_NE(ServiceLog().find("unlock: the scanner is back"), std::string::npos);
}

TEST_F(Kestrel, EachStartUpFailureShowsItsOwnMessageBox) {
    // Runs kestrel by hand: its one box must be the failure's, and it ends.
    auto expectBox = [&](const std::string& text, bool bIcon) {
        ClearRunLog();
        DWORD code = 0;
        CMessageBoxInfo box = RunAndAnswer(KestrelCommand(false), &code);
        EXPECT_EQ(box.m_strText, text);
        EXPECT_EQ(box.m_strCaption, "VX-410");
        EXPECT_EQ(box.m_bIcon, bIcon) << text;
        EXPECT_EQ(code, 1u) << text;
    };
    ASSERT_TRUE(m_pDevice->SetSelectedJob(7));
    // A COM error: the system's text (no service: the pipe is not found).
    expectBox(VlmSystemMessage(HResultFromWin32(ERROR_FILE_NOT_FOUND)), false);
    StartService("--no-launch");
    {
        // A text, with its exclamation icon: the runner's mutex cannot be
        // made while another kind of object holds its name.
        CHandle squatter(CreateEventA(nullptr, TRUE, FALSE, kToolMutex));
        ASSERT_TRUE(squatter.IsValid());
        expectBox("no memory", true);
        EXPECT_FALSE(InLog("GetSelectedJobNo() start"));
    }
    // A COM error of the interface facility: the store's "file does not
    // parse" (0x80040201).
    std::ofstream(m_strDir + "\\Taskstore.reg", std::ios::binary | std::ios::trunc)
        << "this is not a job store\n";
    expectBox("vender defined error 513", false);
    EXPECT_TRUE(InLog("GetSelectedJobNo() start"));
    EXPECT_FALSE(InLog("GetSelectedJobNo() end"));
    EXPECT_FALSE(InLog("StiLock start"));
}

namespace {
// What the held dialog needs of a program around it: the VX-410 names; it
// never scans, so nothing else is reached.
class CHeldModel : public CJobAppImp {
public:
    BOOL MutuallyExclusive() override { return TRUE; }
    const char* GetModelName() override { return vx410::kModelName; }
    const char* GetTempFolderName() override { return "VX410JOB_HELD_DIALOG_TEST"; }
    const char* GetSettingsFileName() override { return vx410::kSettingsFileName; }
    const char* GetErrorModeMessageName() override { return vx410::kErrorModeMessageName; }
    const char* GetTwainDsName() override { return vx410::kTwainDsName; }
    const char* GetToolMutexName() override { return vx410::kToolMutexName; }
    const char* GetServicePipeName() override { return vx410::kServicePipeName; }
    long GetModelIndex() override { return 0; }
    void OnStiLock() override {}
    void OnStiUnLock() override {}
    void NcStiUnLock(CJobDlg*) override {}
    void ShowPanelMessage(const char*) override {}
    void ShowPanelError(const char*) override {}
    void NotifyEvent(DWORD, const char*, const char*, const char*) override {}
};

class CHeldHost : public CJobSessionHost {
public:
    CJobAppImp* GetImp() const override { return const_cast<CHeldModel*>(&m_model); }
    BOOL IsStartedByScanner() const override { return FALSE; }
    void DispMessage(const char*, BOOL) override {}
    void SetPanelLock(BOOL) override {}
    void StiUnLock() override {}
    CHeldModel m_model;
};

// The runner's own job dialog, held open as a running scan holds it.
class CHeldJobDlg : public CVX410JobDlg {
public:
    static const UINT kGiveUp = WM_APP + 77;
    explicit CHeldJobDlg(CHeldHost* pHost) : CVX410JobDlg(pHost) {
        OnMsg(WM_VLM_JOB_START, [](WPARAM, LPARAM) -> LRESULT { return 0; });
        OnMsg(kGiveUp, [this](WPARAM, LPARAM) -> LRESULT {
            EndDialog(-5);
            return 0;
        });
    }
};
} // namespace

TEST_F(Kestrel, NewerRunnerEndsTheRunningJobDialog) {
    const std::string dialogLog = m_strDir + "\\dialog.log";
    CVlmLog::Instance().OpenPath(dialogLog.c_str());
    CHeldHost host;
    CHeldJobDlg dlg(&host);
    DWORD newerExit = 0;
    std::thread newer([&] {
        HWND hDlg = nullptr;
        for (int i = 0; i < 600 && !(hDlg = FindWindowA(nullptr, kDialogCaption)); ++i)
            Sleep(50);
        if (!hDlg)
            return;
        // Started by the scanner while the job runs: no service answers it,
        // so it stops at its error box once it has displaced the job.
        CMessageBoxInfo box;
        CProcess k;
        if (k.Start(KestrelCommand(true)) && WaitMessageBox(k.m_nPid, 60000, &box))
            PressButton(box, "OK");
        newerExit = k.Wait(60000);
        // Whatever happened, the dialog must not outlive the test.
        if (IsWindow(hDlg))
            PostMessageA(hDlg, CHeldJobDlg::kGiveUp, 0, 0);
    });
    const INT_PTR rc = dlg.DoModal();
    newer.join();
    CVlmLog::Instance().Close();
    EXPECT_EQ(rc, 0); // ended by the close request, not given up
    EXPECT_TRUE(dlg.m_bClosedByRequest);
    EXPECT_EQ(newerExit, 1u);
    EXPECT_TRUE(InLog("FindWindow(NULL, \"VX410KESTREL\") FIND!!!!"));
    std::vector<std::string> lines = SplitLines(ReadFileText(dialogLog));
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& l) {
        return l.find("]  CJobDlg::OnRequestClose()") != std::string::npos;
    })) << ReadFileText(dialogLog);
}
