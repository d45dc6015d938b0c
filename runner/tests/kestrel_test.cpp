// kestrel as the scanner starts it and as a user starts it, with the scanner
// service, the job store and the simulated scanner all real programs.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

#include "KestrelFixture.h"
#include "framework/ComError.h"

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

TEST_F(Kestrel, UnregisteredJobStartedByHandShowsBothTexts) {
    ASSERT_TRUE(m_pDevice->SetSelectedJob(8));
    StartService("--no-launch");
    CProcess k;
    ASSERT_TRUE(k.Start(KestrelCommand(false)));
    // The error dialog: the title as a static text, the message in its line.
    CMessageBoxInfo box;
    ASSERT_TRUE(WaitMessageBox(k.m_nPid, 60000, &box));
    EXPECT_EQ(box.m_strCaption, "Monitor for VX-410");
    EXPECT_NE(box.m_strText.find("Job is not registered."), std::string::npos) << box.m_strText;
    char text[256] = {};
    SendMessageA(GetDlgItem(box.m_hWnd, 1015), WM_GETTEXT, sizeof text,
                 reinterpret_cast<LPARAM>(text));
    EXPECT_STREQ(text, "Register a job using the Taskdeck Registrar.");
    EXPECT_TRUE(PressButton(box, "Close"));
    EXPECT_EQ(k.Wait(60000), 2u);
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
    EXPECT_EQ(box.m_strText, VlmSystemMessage(0x80070002));
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
        if (msg == 0x8039)
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
    CProcess k;
    // The second event id in mixed case still counts; a lower-case prefix is ignored.
    ASSERT_TRUE(k.Start(KestrelCommand(false) +
                        " /StiEvent:{aadf8531-9B29-4E93-8067-C8C186B0FEA3} /stievent:ignored"));
    CMessageBoxInfo box;
    ASSERT_TRUE(WaitMessageBox(k.m_nPid, 60000, &box));
    EXPECT_EQ(box.m_strCaption, "DeviceID");
    EXPECT_EQ(box.m_strText, m_strDevice);
    ASSERT_TRUE(PressButton(box, "OK"));
    Sleep(300);
    ASSERT_TRUE(WaitMessageBox(k.m_nPid, 60000, &box));
    EXPECT_EQ(box.m_strCaption, "EventID");
    EXPECT_EQ(box.m_strText, "{aadf8531-9B29-4E93-8067-C8C186B0FEA3}");
    ASSERT_TRUE(PressButton(box, "OK"));
    Sleep(300);
    // No service: the channel error follows.
    ASSERT_TRUE(WaitMessageBox(k.m_nPid, 60000, &box));
    EXPECT_EQ(box.m_strText, VlmSystemMessage(0x80070002));
    ASSERT_TRUE(PressButton(box, "OK"));
    EXPECT_EQ(k.Wait(60000), 1u);
    m_profile.WriteInt("General", "DeviceID", 0);
    // Started by the scanner's second button: the panel got "Please wait." directly.
    EXPECT_TRUE(InOrder(RunLog(), {"DispMessageToScaner Start msg = Please wait.  iserror = 0",
                                   "GetSelectedJobNo() start"}));
    EXPECT_FALSE(InLog("DispMessageToScaner Lock"));
}
