// The New/Editing dialog driven as a user would: the test host opens it on a
// job store of the test's own, the UI robot types, picks and presses, and
// the store file tells what was committed.
#include <gtest/gtest.h>
#include <windows.h>
#include <algorithm>
#include <string>
#include <vector>
#include "JobEdit_res.h"
#include "ProcessDriver.h"
#include "common/JobRecord.h"
#include "framework/ComError.h"
#include "framework/Handles.h"
#include "jobedit_testpage_res.h"
#include "uirobot.h"
#include "uirobot_controls.h"
#include "uirobot_more.h"

using namespace kestreltest;

namespace {

constexpr DWORD kDeadline = 60000; // generous: the machine may be busy

const std::vector<std::string> kAllFunctions = {
    "Save as file", "Print", "Attach to E-mail", "Send by E-Mail", "Open by Application",
    "Start",        "Stop",  "Launcher",         "No Scan Job"};

RECT ClientRectOf(HWND hDlg, HWND hChild) {
    RECT r = {};
    GetWindowRect(hChild, &r);
    MapWindowPoints(nullptr, hDlg, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

class JobEditTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        m_dir = NewTempFolder("jobedit");
        ASSERT_FALSE(m_dir.empty());
        m_storeFile = m_dir + "\\Taskstore.reg";
        SetEnvironmentVariableA("TASKSTORE_FILE", m_storeFile.c_str());
    }
    void TearDown() override {
        if (m_host.Running())
            m_host.Wait(0); // ends it
        SetEnvironmentVariableA("TASKSTORE_FILE", nullptr);
        RemoveTree(m_dir);
        CoUninitialize();
    }

    CComPtr<IJobStore> Store(const char* model = "VX-410") {
        CComPtr<IJobStore> store = CreateJobStore(23);
        PrepareJobStore(store, model, 0);
        return store;
    }
    CComPtr<IJobData> Job(IJobStore* store, long number) {
        CComPtr<IJobData> job;
        ThrowIfFailed(store->GetJob(number, &job), IID_IJobStore);
        return job;
    }
    void PutJob(long number, long function, const wchar_t* title, const std::string& driver = "",
                const char* model = "VX-410") {
        CComPtr<IJobStore> store = Store(model);
        CComPtr<IJobData> job = Job(store, number);
        JobSetValue(job, vlm::kKeyFunctionId, CVariant(function));
        CVariant text;
        text.vt = VT_BSTR;
        text.bstrVal = SysAllocString(title);
        JobSetValue(job, vlm::kKeyTitle, text);
        if (!driver.empty()) {
            CVariant block;
            ThrowIfFailed(VlmMakeByteBlock(driver.data(), driver.size(), &block));
            JobSetValue(job, vlm::kKeyDriver, block);
        }
        ThrowIfFailed(job->Commit());
    }
    std::wstring TitleOf(long number, const char* model = "VX-410") {
        CVariant v = JobGetValue(Job(Store(model), number), vlm::kKeyTitle);
        return v.vt == VT_BSTR && v.bstrVal ? std::wstring(v.bstrVal) : std::wstring();
    }
    std::string ValueOf(long number, const char* key) {
        return JobGetString(Job(Store(), number), key);
    }
    std::string DriverOf(long number) {
        std::vector<uint8_t> bytes;
        ThrowIfFailed(VlmReadByteBlock(JobGetValue(Job(Store(), number), vlm::kKeyDriver), bytes));
        return std::string(bytes.begin(), bytes.end());
    }
    std::string StoreBytes() { return ReadFileText(m_storeFile); }
    // A mutex under a name of this test's own, held as the running job runner holds its own.
    static vlm::CHandle RunnerMutex(const char* stem, std::string* pName) {
        *pName = std::string(stem) + "-" + std::to_string(GetCurrentProcessId());
        return vlm::CHandle(CreateMutexA(nullptr, FALSE, pName->c_str()));
    }

    // Starts a program with its output in a file; false when it cannot.
    bool Start(const char* program, const std::string& args) {
        m_strOut = m_dir + "\\run" + std::to_string(++m_nRuns) + ".txt";
        const std::string cmd = "\"" + WinPath(program) + "\" " + args;
        const bool started = m_host.Start(cmd, m_strOut) != FALSE;
        EXPECT_TRUE(started) << cmd;
        return started;
    }
    // The test host (the dialog without COM) or the client through COM
    // (ploverctl.exe): the dialog's window, or nullptr when none appears.
    HWND Open(const std::string& args) {
        return Start(DIALOGHOST_EXE, args) ? WaitDialog("New/Editing") : nullptr;
    }
    HWND OpenCom(const std::string& args) {
        return Start(PLOVERCTL_EXE, args) ? WaitDialog("New/Editing") : nullptr;
    }
    // A "Save as file" job 3 with its driver settings, in a dialog whose
    // "&Setting..." opens the data source of that name.
    HWND OpenScanJob(const char* source, const std::string& driver) {
        PutJob(3, 0, L"Scan job", driver);
        return Open(std::string("--testpages 1 --twain \"") + source + "\" edit 3");
    }
    // The host's dialog with that caption once it is there; nullptr when the
    // host ends without one (or after the deadline).
    HWND WaitDialog(const char* caption) {
        CUiFindOptions options;
        options.m_dwProcessId = m_host.m_nPid;
        options.m_strCaption = caption;
        const DWORD start = GetTickCount();
        while (GetTickCount() - start < kDeadline) {
            const std::vector<CUiDialogInfo> found = UiFindDialogs(options);
            if (!found.empty())
                return found.front().m_hWnd;
            if (WaitForSingleObject(m_host.m_hProcess, 50) == WAIT_OBJECT_0)
                return nullptr;
        }
        return nullptr;
    }
    // Waits for a message box, checks its text and answers it.
    void Answer(const char* caption, const std::string& text, const char* button) {
        CUiFindOptions options;
        options.m_dwProcessId = m_host.m_nPid;
        options.m_strCaption = caption;
        CUiDialogInfo box;
        ASSERT_TRUE(UiWaitForDialog(options, kDeadline, box)) << "no \"" << caption << "\" box";
        ASSERT_FALSE(box.m_texts.empty());
        EXPECT_EQ(box.m_texts.back(), text);
        ASSERT_TRUE(UiPressButton(box, button));
        ASSERT_TRUE(UiWaitGone(box.m_hWnd, kDeadline));
    }
    // The host's output once it has ended ("result=N" or "error=...").
    std::string Finish() {
        EXPECT_EQ(WaitForSingleObject(m_host.m_hProcess, kDeadline), WAIT_OBJECT_0);
        std::string out = ReadFileText(m_strOut);
        while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
            out.pop_back();
        return out;
    }

    // A button of the button bar, pressed as a click would; answers once the
    // dialog has handled it, false when it did not return in time (a box of
    // its own waits for an answer).
    static bool PressBar(HWND hDlg, int id) {
        HWND bar = GetDlgItem(hDlg, IDC_JOBEDIT_BUTTONBAR);
        DWORD_PTR result = 0;
        return SendMessageTimeoutA(bar, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                                   reinterpret_cast<LPARAM>(GetDlgItem(bar, id)), SMTO_NORMAL,
                                   kDeadline, &result) != 0;
    }
    // Waits until the dialog's thread has handled what came before.
    static bool RoundTrip(HWND hDlg) {
        DWORD_PTR result = 0;
        return SendMessageTimeoutA(hDlg, WM_NULL, 0, 0, SMTO_NORMAL, kDeadline, &result) != 0;
    }
    // The same, for a press that opens a box: does not wait.
    static void ClickBar(HWND hDlg, int id) {
        ASSERT_TRUE(UiClick(GetDlgItem(hDlg, IDC_JOBEDIT_BUTTONBAR), id));
    }
    // Waits until the dialog takes input again (the modal window that stood
    // for it has ended).
    static bool WaitEnabled(HWND hDlg) {
        return UiWaitUntil([hDlg] { return IsWindowEnabled(hDlg) != FALSE; }, kDeadline);
    }
    // Picks a list entry without waiting for the dialog's answer (which may
    // be a box of its own).
    static void SelectPosted(HWND hDlg, int id, int index) {
        HWND h = GetDlgItem(hDlg, id);
        SendMessageA(h, CB_SETCURSEL, index, 0);
        PostMessageA(hDlg, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(h));
    }
    // Types text into a control key by key, as a user would.
    static void Type(HWND hDlg, int id, const std::string& text) {
        HWND h = GetDlgItem(hDlg, id);
        for (unsigned char c : text)
            SendMessageA(h, WM_CHAR, c, 1);
    }

    std::string m_dir, m_storeFile, m_strOut;
    CProcess m_host;
    int m_nRuns = 0;
};

TEST_F(JobEditTest, FunctionListFollowsDisabledAndFixedFunctions) {
    PutJob(6, 6, L"Stop job");
    HWND dlg = Open("--disable 1 --disable 3 edit 6");
    ASSERT_TRUE(dlg);
    EXPECT_EQ(UiItems(dlg, IDC_JOBEDIT_FUNCTION),
              (std::vector<std::string>{"Save as file", "Print", "Attach to E-mail", "Start",
                                        "Stop", "Launcher", "No Scan Job"}));
    EXPECT_EQ(UiSelectedIndex(dlg, IDC_JOBEDIT_FUNCTION), 4);
    EXPECT_EQ(UiGetText(dlg, IDC_JOBEDIT_DESCRIPTION), "Stop");
    EXPECT_EQ(UiGetText(dlg, IDC_JOBEDIT_NUMBER), "No.6");
    EXPECT_TRUE(UiIsEnabled(dlg, IDC_JOBEDIT_TITLE));
    ASSERT_TRUE(PressBar(dlg, IDCANCEL));
    EXPECT_EQ(Finish(), "result=2");

    // Nothing disabled: the whole table; a function-2 job with the function
    // fixed: only its own entry, and the title cannot be changed.
    PutJob(2, 2, L"Print job");
    dlg = Open("--testpages 1 edit 6");
    ASSERT_TRUE(dlg);
    EXPECT_EQ(UiItems(dlg, IDC_JOBEDIT_FUNCTION), kAllFunctions);
    ASSERT_TRUE(PressBar(dlg, IDCANCEL));
    Finish();
    dlg = Open("--testpages 1 --fixed 1 edit 2");
    ASSERT_TRUE(dlg);
    EXPECT_EQ(UiItems(dlg, IDC_JOBEDIT_FUNCTION), std::vector<std::string>{"Print"});
    EXPECT_EQ(UiSelectedIndex(dlg, IDC_JOBEDIT_FUNCTION), 0);
    EXPECT_FALSE(UiIsEnabled(dlg, IDC_JOBEDIT_TITLE));
    EXPECT_FALSE(UiIsEnabled(dlg, IDC_JOBEDIT_TITLE_LABEL));
    EXPECT_FALSE(UiIsVisible(dlg, IDC_JOBEDIT_NUMBER));
    ASSERT_TRUE(PressBar(dlg, IDCANCEL));
    Finish();

    // A stored function outside the table: the dialog does not open.
    PutJob(9, 9, L"Odd");
    ASSERT_EQ(Open("--testpages 1 edit 9"), nullptr);
    EXPECT_EQ(Finish(), "error=not support function error");
}

TEST_F(JobEditTest, FailuresWhileBuildingOpenNoDialogAndPagesThatCannotBeMadeAreRefused) {
    std::string out;
    ASSERT_EQ(RunCapture("\"" + WinPath(DIALOGHOST_EXE) + "\" edit 0", &out), 0u);
    EXPECT_EQ(out.rfind("error=", 0), 0u) << out;
    EXPECT_EQ(out.find("result="), std::string::npos) << out;

    // "--testpages 2": the pages of "Attach to E-mail" (4) cannot be made.
    PutJob(4, 4, L"Attach job");
    ASSERT_EQ(Open("--testpages 2 edit 4"), nullptr);
    EXPECT_EQ(Finish(), "error=The test page cannot be made.");

    // Switching to it: the error, and the job keeps the function it shows.
    PutJob(5, 5, L"Start job");
    HWND dlg = Open("--testpages 2 edit 5");
    ASSERT_TRUE(dlg);
    SelectPosted(dlg, IDC_JOBEDIT_FUNCTION, 2); // "Attach to E-mail"
    Answer("Error", "The test page cannot be made.", "OK");
    ASSERT_TRUE(RoundTrip(dlg));
    EXPECT_EQ(UiSelectedIndex(dlg, IDC_JOBEDIT_FUNCTION), 5);
    EXPECT_EQ(UiGetText(dlg, IDC_JOBEDIT_DESCRIPTION), "Start");
    ASSERT_TRUE(PressBar(dlg, IDOK));
    EXPECT_EQ(Finish(), "result=1");
    EXPECT_EQ(ValueOf(5, "function id"), "5");
}

TEST_F(JobEditTest, LayoutPutsPagesAtTheMarkersAndTheButtonsUnderTheLast) {
    PutJob(1, 1, L"Mail job");
    HWND dlg = Open("--testpages 1 edit 1");
    ASSERT_TRUE(dlg);
    auto check = [&](long function, int pages) {
        SCOPED_TRACE("function " + std::to_string(function));
        const RECT marker = ClientRectOf(dlg, GetDlgItem(dlg, IDC_JOBEDIT_MARKER1));
        int bottom = marker.top;
        for (int i = 0; i < 2; ++i) {
            HWND page = GetDlgItem(dlg, IDC_JOBEDIT_TESTPAGE_FIRST + 2 * function + i);
            if (i >= pages) {
                EXPECT_FALSE(page && IsWindowVisible(page));
                continue;
            }
            ASSERT_TRUE(page && IsWindowVisible(page));
            const RECT r = ClientRectOf(dlg, page);
            EXPECT_EQ(r.top, bottom);
            EXPECT_EQ(r.left, marker.left);
            bottom = r.bottom;
        }
        const RECT bar = ClientRectOf(dlg, GetDlgItem(dlg, IDC_JOBEDIT_BUTTONBAR));
        EXPECT_EQ(bar.top, bottom);
        EXPECT_EQ(bar.left, 0);
        RECT client = {}, window = {};
        GetClientRect(dlg, &client);
        GetWindowRect(dlg, &window);
        POINT barBottom = {0, bar.bottom};
        ClientToScreen(dlg, &barBottom);
        EXPECT_EQ(window.bottom - barBottom.y, GetSystemMetrics(SM_CYDLGFRAME));
        // The title box and the separator end at the same margin (give or
        // take the rounding of dialog units) as the page grows.
        EXPECT_NEAR(ClientRectOf(dlg, GetDlgItem(dlg, IDC_JOBEDIT_TITLE)).right,
                    ClientRectOf(dlg, GetDlgItem(dlg, IDC_JOBEDIT_SEPARATOR)).right, 1);
        EXPECT_LE(ClientRectOf(dlg, GetDlgItem(dlg, IDC_JOBEDIT_SEPARATOR)).right, client.right);
        EXPECT_EQ(UiIsEnabled(dlg, IDC_JOBEDIT_SETTING), function < 5);
    };
    check(1, 2);
    for (long function : {0L, 2L, 4L, 3L, 8L}) {
        // The entry's item data is the function id: pick it by its name.
        ASSERT_TRUE(UiSelect(dlg, IDC_JOBEDIT_FUNCTION,
                             kAllFunctions[function == 0   ? 0
                                           : function == 2 ? 1
                                           : function == 4 ? 2
                                           : function == 3 ? 4
                                                           : 8]
                                 .c_str()));
        check(function, function == 3 ? 2 : function == 8 ? 0 : 1);
    }
    EXPECT_EQ(UiGetText(dlg, IDC_JOBEDIT_DESCRIPTION), "No Scan Job");
    ASSERT_TRUE(PressBar(dlg, IDCANCEL));
    Finish();
}

TEST_F(JobEditTest, SwitchingFunctionKeepsTypedPagesAndOkSavesTheShownOnes) {
    PutJob(4, 3, L"App job");
    HWND dlg = Open("--testpages 1 edit 4");
    ASSERT_TRUE(dlg);
    const int app0 = IDC_JOBEDIT_TESTPAGE_FIRST + 6, app1 = app0 + 1;
    ASSERT_TRUE(UiSetText(GetDlgItem(dlg, app0), IDC_JOBEDIT_TESTPAGE_EDIT, "C:\\Scans"));
    ASSERT_TRUE(UiSetText(GetDlgItem(dlg, app1), IDC_JOBEDIT_TESTPAGE_EDIT, "viewer.exe"));
    ASSERT_TRUE(UiSelect(dlg, IDC_JOBEDIT_FUNCTION, "Print"));
    ASSERT_TRUE(UiSetText(GetDlgItem(dlg, IDC_JOBEDIT_TESTPAGE_FIRST + 4),
                          IDC_JOBEDIT_TESTPAGE_EDIT, "printer page"));
    ASSERT_TRUE(UiSelect(dlg, IDC_JOBEDIT_FUNCTION, "Open by Application"));
    EXPECT_EQ(UiGetText(GetDlgItem(dlg, app0), IDC_JOBEDIT_TESTPAGE_EDIT), "C:\\Scans");
    EXPECT_EQ(UiGetText(GetDlgItem(dlg, app1), IDC_JOBEDIT_TESTPAGE_EDIT), "viewer.exe");

    // A page that refuses keeps the dialog open and commits nothing; the
    // missing scanner settings are asked about first.
    const std::string before = StoreBytes();
    ASSERT_TRUE(UiSetText(GetDlgItem(dlg, app1), IDC_JOBEDIT_TESTPAGE_EDIT, "invalid"));
    ClickBar(dlg, IDOK);
    Answer("Warning", "Scanner Setting is not registered. Are You Sure?", "Yes");
    ASSERT_TRUE(RoundTrip(dlg));
    EXPECT_TRUE(IsWindow(dlg));
    EXPECT_EQ(StoreBytes(), before);

    ASSERT_TRUE(UiSetText(GetDlgItem(dlg, app1), IDC_JOBEDIT_TESTPAGE_EDIT, "viewer.exe"));
    ClickBar(dlg, IDOK);
    Answer("Warning", "Scanner Setting is not registered. Are You Sure?", "No");
    ASSERT_TRUE(RoundTrip(dlg));
    EXPECT_EQ(StoreBytes(), before);
    ClickBar(dlg, IDOK);
    Answer("Warning", "Scanner Setting is not registered. Are You Sure?", "Yes");
    EXPECT_EQ(Finish(), "result=1");
    EXPECT_EQ(ValueOf(4, "function id"), "3");
    EXPECT_EQ(ValueOf(4, "testpage 3.0"), "C:\\Scans");
    EXPECT_EQ(ValueOf(4, "testpage 3.1"), "viewer.exe");
    // The print page was typed into but not shown at OK: not saved.
    EXPECT_EQ(ValueOf(4, "testpage 2.0"), "");
}

TEST_F(JobEditTest, StartJobWithoutDriverSavesWithoutTheScannerQuestion) {
    PutJob(5, 5, L"Start");
    HWND dlg = Open("edit2 5");
    ASSERT_TRUE(dlg);
    EXPECT_FALSE(UiIsEnabled(dlg, IDC_JOBEDIT_SETTING));
    EXPECT_TRUE(UiIsVisible(dlg, IDC_JOBEDIT_SETTING));
    EXPECT_FALSE(UiIsVisible(dlg, IDC_JOBEDIT_FUNCTION));
    EXPECT_FALSE(UiIsVisible(dlg, IDC_JOBEDIT_DESCRIPTION));
    // No pages: the buttons at the first marker's height.
    EXPECT_EQ(ClientRectOf(dlg, GetDlgItem(dlg, IDC_JOBEDIT_BUTTONBAR)).top,
              ClientRectOf(dlg, GetDlgItem(dlg, IDC_JOBEDIT_MARKER1)).top);
    ASSERT_TRUE(UiSetText(dlg, IDC_JOBEDIT_TITLE, "Morning start"));
    ASSERT_TRUE(PressBar(dlg, IDOK));
    EXPECT_EQ(Finish(), "result=1");
    EXPECT_EQ(TitleOf(5), L"Morning start");
    EXPECT_EQ(DriverOf(5), "");
}

TEST_F(JobEditTest, JobWithoutDriverTakesTheDefaultDriverSettings) {
    const std::string defaults = "[CustomDsData] XResolution=300";
    PutJob(2, 0, L"Save job");
    const std::string before = StoreBytes();
    // Cancel: the defaults went only into the uncommitted job.
    HWND dlg = Open("--testpages 1 --default-driver \"" + defaults + "\" edit 2");
    ASSERT_TRUE(dlg);
    ASSERT_TRUE(PressBar(dlg, IDCANCEL));
    EXPECT_EQ(Finish(), "result=2");
    EXPECT_EQ(StoreBytes(), before);
    // OK: no scanner-setting question, the defaults are the job's.
    dlg = Open("--testpages 1 --default-driver \"" + defaults + "\" edit 2");
    ASSERT_TRUE(dlg);
    ASSERT_TRUE(PressBar(dlg, IDOK));
    EXPECT_EQ(Finish(), "result=1");
    EXPECT_EQ(DriverOf(2), defaults);
    // A job with settings of its own keeps them.
    PutJob(2, 0, L"Save job", "[CustomDsData] XResolution=600");
    dlg = Open("--testpages 1 --default-driver \"" + defaults + "\" edit 2");
    ASSERT_TRUE(dlg);
    ASSERT_TRUE(PressBar(dlg, IDOK));
    EXPECT_EQ(Finish(), "result=1");
    EXPECT_EQ(DriverOf(2), "[CustomDsData] XResolution=600");
}

TEST_F(JobEditTest, CancelAndEmptyTitleCommitNothing) {
    PutJob(7, 7, L"Launcher job");
    const std::string before = StoreBytes();
    ASSERT_FALSE(before.empty());
    HWND dlg = Open("--testpages 1 edit 7");
    ASSERT_TRUE(dlg);
    ASSERT_TRUE(UiSetText(dlg, IDC_JOBEDIT_TITLE, "Changed"));
    ASSERT_TRUE(UiSelect(dlg, IDC_JOBEDIT_FUNCTION, "Send by E-Mail"));
    ASSERT_TRUE(UiSelect(dlg, IDC_JOBEDIT_FUNCTION, "No Scan Job"));
    // An empty title is asked about; No keeps the dialog.
    ASSERT_TRUE(UiSetText(dlg, IDC_JOBEDIT_TITLE, ""));
    ClickBar(dlg, IDOK);
    Answer("Warning", "The job title is not input in edit box. Are You Sure?", "No");
    ASSERT_TRUE(PressBar(dlg, IDCANCEL));
    EXPECT_EQ(Finish(), "result=2");
    EXPECT_EQ(StoreBytes(), before);
    EXPECT_EQ(TitleOf(7), L"Launcher job");
}

TEST_F(JobEditTest, TitleOfTheFamilyTakesPrintableAsciiOnlyAndWarnsOnce) {
    if (getenv("JOBEDIT_JAPANESE"))
        GTEST_SKIP() << "the English-system rule";
    ASSERT_NE(PRIMARYLANGID(GetUserDefaultLangID()), LANG_JAPANESE);
    // The bytes B1 B2 B3, which a Japanese system shows as half-width katakana.
    PutJob(8, 8, L"\u00B1\u00B2\u00B3");
    const std::string before = StoreBytes();
    HWND dlg = Open("edit 8");
    ASSERT_TRUE(dlg);
    const std::string warning =
        "Characters that cannot be displayed on the scanner are included. Please reenter.";
    ClickBar(dlg, IDOK);
    Answer("Warning", warning, "OK");
    ASSERT_TRUE(PressBar(dlg, IDOK)); // the same input again: silent
    EXPECT_TRUE(IsWindow(dlg));
    EXPECT_EQ(StoreBytes(), before);

    // A new input is warned about again: a tab is below the printable range.
    ASSERT_TRUE(UiSetText(dlg, IDC_JOBEDIT_TITLE, "Tab\there"));
    ClickBar(dlg, IDOK);
    Answer("Warning", warning, "OK");
    ASSERT_TRUE(PressBar(dlg, IDOK));
    EXPECT_EQ(StoreBytes(), before);

    // Typing stops at 29 characters.
    ASSERT_TRUE(UiSetText(dlg, IDC_JOBEDIT_TITLE, ""));
    Type(dlg, IDC_JOBEDIT_TITLE, std::string(35, 'x'));
    EXPECT_EQ(UiGetText(dlg, IDC_JOBEDIT_TITLE), std::string(29, 'x'));
    ASSERT_TRUE(PressBar(dlg, IDOK));
    EXPECT_EQ(Finish(), "result=1");
    EXPECT_EQ(TitleOf(8), std::wstring(29, L'x'));

    // A longer title stored by another program is checked whole.
    PutJob(8, 8, (std::wstring(300, L'x') + L"\t").c_str());
    dlg = Open("--fixed 1 edit 8");
    ASSERT_TRUE(dlg);
    ClickBar(dlg, IDOK);
    Answer("Warning", warning, "OK");
    ASSERT_TRUE(PressBar(dlg, IDCANCEL));
    EXPECT_EQ(Finish(), "result=2");
}

TEST_F(JobEditTest, OtherModelsTakeFortyCharactersAndSingleByteTitles) {
    // A model without panel titles: no check at all, 40 characters.
    PutJob(8, 8, L"", "", "VX-480");
    HWND dlg = Open("--model VX-480 --panel 0 edit 8");
    ASSERT_TRUE(dlg);
    Type(dlg, IDC_JOBEDIT_TITLE, std::string(45, 'y'));
    EXPECT_EQ(UiGetText(dlg, IDC_JOBEDIT_TITLE), std::string(40, 'y'));
    ASSERT_TRUE(UiSetText(dlg, IDC_JOBEDIT_TITLE, "Tab\there \xB1"));
    ASSERT_TRUE(PressBar(dlg, IDOK));
    EXPECT_EQ(Finish(), "result=1");
    EXPECT_EQ(TitleOf(8, "VX-480"), L"Tab\there \u00B1");

    // A panel model outside the family on a single-byte code page: no
    // double-byte characters exist, so tabs and accents pass.
    PutJob(8, 8, L"\u00E9t\u00E9\t", "", "VX-480");
    dlg = Open("--model VX-480 --panel 1 edit 8");
    ASSERT_TRUE(dlg);
    ASSERT_TRUE(PressBar(dlg, IDOK));
    EXPECT_EQ(Finish(), "result=1");
}

TEST_F(JobEditTest, RunnerMutexKeepsTheJobUncommitted) {
    PutJob(5, 5, L"Start");
    const std::string before = StoreBytes();
    std::string name;
    vlm::CHandle runner = RunnerMutex("JobEditTestRunner", &name);
    ASSERT_TRUE(runner);
    HWND dlg = Open("--mutex " + name + " edit 5");
    ASSERT_TRUE(dlg);
    ASSERT_TRUE(UiSetText(dlg, IDC_JOBEDIT_TITLE, "While running"));
    ClickBar(dlg, IDOK);
    Answer("Error", "Job is running.", "OK");
    ASSERT_TRUE(RoundTrip(dlg));
    EXPECT_TRUE(IsWindow(dlg));
    EXPECT_EQ(StoreBytes(), before);
    runner.Close();
    ASSERT_TRUE(PressBar(dlg, IDOK));
    EXPECT_EQ(Finish(), "result=1");
    EXPECT_EQ(TitleOf(5), L"While running");
    // The check leaves no mutex of that name behind.
    EXPECT_FALSE(vlm::CHandle(OpenMutexA(SYNCHRONIZE, FALSE, name.c_str())));
}

TEST_F(JobEditTest, ScannerSettingRoundTripThroughTheDataSourceWindow) {
    HWND dlg = OpenScanJob("Velmora VX-410 TWAIN",
                           "[CustomDsData]\r\nXResolution=150\r\nYResolution=150\r\n");
    ASSERT_TRUE(dlg);
    ASSERT_TRUE(UiIsEnabled(dlg, IDC_JOBEDIT_SETTING));
    ASSERT_TRUE(UiClick(dlg, IDC_JOBEDIT_SETTING));
    HWND source = WaitDialog("Velmora VX-410 TWAIN Settings");
    ASSERT_TRUE(source);
    // The job's settings reached the source.
    EXPECT_EQ(UiItems(source, 1002)[UiSelectedIndex(source, 1002)], "150 dpi");
    EXPECT_FALSE(IsWindowEnabled(dlg)); // the hidden host stands for the dialog
    ASSERT_TRUE(UiSelect(source, 1002, "400 dpi"));
    ASSERT_TRUE(UiClick(source, IDOK));
    // Back in the dialog once the host has ended.
    ASSERT_TRUE(WaitEnabled(dlg));

    // Again in the same dialog: the source starts from what the job holds
    // now, and Cancel in its window leaves the settings as they were.
    ASSERT_TRUE(UiClick(dlg, IDC_JOBEDIT_SETTING));
    source = WaitDialog("Velmora VX-410 TWAIN Settings");
    ASSERT_TRUE(source);
    EXPECT_EQ(UiItems(source, 1002)[UiSelectedIndex(source, 1002)], "400 dpi");
    ASSERT_TRUE(UiSelect(source, 1002, "75 dpi"));
    ASSERT_TRUE(UiClick(source, IDCANCEL));
    ASSERT_TRUE(WaitEnabled(dlg));
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    EXPECT_EQ(GetFileAttributesA((std::string(temp) + "corvid_common_gui.dat").c_str()),
              INVALID_FILE_ATTRIBUTES);
    ASSERT_TRUE(PressBar(dlg, IDOK));
    EXPECT_EQ(Finish(), "result=1");
    const std::string saved = DriverOf(3);
    EXPECT_NE(saved.find("[CustomDsData]"), std::string::npos) << saved;
    EXPECT_NE(saved.find("XResolution=400"), std::string::npos) << saved;
    EXPECT_EQ(saved.find("XResolution=150"), std::string::npos) << saved;
}

TEST_F(JobEditTest, ScannerSettingWithAnAbsentSourceChangesNothing) {
    const std::string driver = "[CustomDsData]\r\nXResolution=150\r\n";
    HWND dlg = OpenScanJob("Absent Scanner", driver);
    ASSERT_TRUE(dlg);
    ASSERT_TRUE(UiClick(dlg, IDC_JOBEDIT_SETTING));
    // The engine says why; the host then ends with Cancel.
    CUiFindOptions options;
    options.m_dwProcessId = m_host.m_nPid;
    CUiDialogInfo box;
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < kDeadline) {
        std::vector<CUiDialogInfo> found = UiFindDialogs(options);
        auto it = std::find_if(found.begin(), found.end(), [](const CUiDialogInfo& d) {
            return d.m_strCaption != "New/Editing";
        });
        if (it != found.end()) {
            box = *it;
            break;
        }
        Sleep(50);
    }
    ASSERT_TRUE(box.m_hWnd);
    ASSERT_FALSE(box.m_texts.empty());
    EXPECT_EQ(box.m_texts.back().rfind("Can't use device driver", 0), 0u) << box.m_texts.back();
    ASSERT_TRUE(UiPressButton(box, "OK"));
    ASSERT_TRUE(WaitEnabled(dlg));
    ASSERT_TRUE(PressBar(dlg, IDOK));
    EXPECT_EQ(Finish(), "result=1");
    EXPECT_EQ(DriverOf(3), driver);
}

// The same dialog as the client opens it, through the COM class.

TEST_F(JobEditTest, ComDoModalOfJobZeroShowsTheErrorAndNoDialog) {
    ASSERT_TRUE(Start(PLOVERCTL_EXE, "DoModal 0"));
    CUiFindOptions options;
    options.m_dwProcessId = m_host.m_nPid;
    options.m_strCaption = "Error";
    CUiDialogInfo box;
    ASSERT_TRUE(UiWaitForDialog(options, kDeadline, box));
    EXPECT_FALSE(box.m_texts.empty());
    options.m_strCaption = "New/Editing";
    options.m_bIncludeHidden = true;
    EXPECT_TRUE(UiFindDialogs(options).empty());
    ASSERT_TRUE(UiPressButton(box, "OK"));
    EXPECT_EQ(Finish(), "hr=0x00000000");
}

TEST_F(JobEditTest, ComDialogHidesDisabledFunctionsAndCommitsAtOkOnly) {
    PutJob(6, 6, L"Stop job");
    const std::string before = StoreBytes();
    HWND dlg = OpenCom("--prop DisableFunctionID:1=1 --prop DisableFunctionID:3=1 DoModal 6");
    ASSERT_TRUE(dlg);
    EXPECT_EQ(UiItems(dlg, IDC_JOBEDIT_FUNCTION),
              (std::vector<std::string>{"Save as file", "Print", "Attach to E-mail", "Start",
                                        "Stop", "Launcher", "No Scan Job"}));
    ASSERT_TRUE(UiSetText(dlg, IDC_JOBEDIT_TITLE, "Changed"));
    ASSERT_TRUE(UiSelect(dlg, IDC_JOBEDIT_FUNCTION, "No Scan Job"));
    ASSERT_TRUE(PressBar(dlg, IDCANCEL));
    EXPECT_EQ(Finish(), "hr=0x00000000");
    EXPECT_EQ(StoreBytes(), before);

    // DoModal2 of a "Start" job: no scanner question, the title committed.
    dlg = OpenCom("DoModal2 6");
    ASSERT_TRUE(dlg);
    EXPECT_FALSE(UiIsVisible(dlg, IDC_JOBEDIT_FUNCTION));
    EXPECT_FALSE(UiIsEnabled(dlg, IDC_JOBEDIT_SETTING));
    ASSERT_TRUE(UiSetText(dlg, IDC_JOBEDIT_TITLE, "Changed"));
    ASSERT_TRUE(PressBar(dlg, IDOK));
    EXPECT_EQ(Finish(), "hr=0x00000000");
    EXPECT_EQ(TitleOf(6), L"Changed");
    EXPECT_EQ(ValueOf(6, "function id"), "6");
}

TEST_F(JobEditTest, ComTitleWarningOnceAndRunnerMutex) {
    if (getenv("JOBEDIT_JAPANESE"))
        GTEST_SKIP() << "the English-system rule";
    PutJob(8, 8, L"Tab\there");
    const std::string before = StoreBytes();
    std::string name;
    vlm::CHandle runner = RunnerMutex("JobEditComRunner", &name);
    ASSERT_TRUE(runner);
    HWND dlg = OpenCom("--prop KestrelMutexName=" + name + " DoModal 8");
    ASSERT_TRUE(dlg);
    ClickBar(dlg, IDOK);
    Answer("Warning",
           "Characters that cannot be displayed on the scanner are included. Please reenter.",
           "OK");
    ASSERT_TRUE(PressBar(dlg, IDOK)); // silent the second time
    ASSERT_TRUE(UiSetText(dlg, IDC_JOBEDIT_TITLE, "Night run"));
    ClickBar(dlg, IDOK);
    Answer("Error", "Job is running.", "OK");
    ASSERT_TRUE(RoundTrip(dlg));
    EXPECT_EQ(StoreBytes(), before);
    runner.Close();
    ASSERT_TRUE(PressBar(dlg, IDOK));
    EXPECT_EQ(Finish(), "hr=0x00000000");
    EXPECT_EQ(TitleOf(8), L"Night run");
}

TEST_F(JobEditTest, ComSwitchingFunctionKeepsWhatWasTypedOnTheRealPages) {
    PutJob(1, 1, L"Mail job");
    const std::string before = StoreBytes();
    HWND dlg = OpenCom("DoModal 1");
    ASSERT_TRUE(dlg);
    HWND mail = UiFindPageWith(dlg, 607, false); // the mail page's subject
    ASSERT_TRUE(mail && IsWindowVisible(mail));
    ASSERT_TRUE(UiSetText(mail, 607, "Weekly report"));
    ASSERT_TRUE(UiSelect(dlg, IDC_JOBEDIT_FUNCTION, "Save as file"));
    EXPECT_FALSE(IsWindowVisible(mail));
    ASSERT_TRUE(UiSelect(dlg, IDC_JOBEDIT_FUNCTION, "Send by E-Mail"));
    EXPECT_TRUE(IsWindowVisible(mail));
    EXPECT_EQ(UiGetText(mail, 607), "Weekly report");
    ASSERT_TRUE(PressBar(dlg, IDCANCEL));
    EXPECT_EQ(Finish(), "hr=0x00000000");
    EXPECT_EQ(StoreBytes(), before);

    // The function fixed: a print job lists "Print" alone.
    PutJob(2, 2, L"Print job");
    dlg = OpenCom("--prop FixedFunction=1 DoModal 2");
    ASSERT_TRUE(dlg);
    EXPECT_EQ(UiItems(dlg, IDC_JOBEDIT_FUNCTION), std::vector<std::string>{"Print"});
    EXPECT_FALSE(UiIsEnabled(dlg, IDC_JOBEDIT_TITLE));
    ASSERT_TRUE(PressBar(dlg, IDCANCEL));
    EXPECT_EQ(Finish(), "hr=0x00000000");
}

// Run by its own test entry with a Japanese user locale (LC_ALL=ja_JP.UTF-8,
// JOBEDIT_JAPANESE=1); skipped in the others.
TEST_F(JobEditTest, JapaneseUserTitleTakesHalfWidthKatakana) {
    if (!getenv("JOBEDIT_JAPANESE"))
        GTEST_SKIP() << "runs with a Japanese user locale only";
    ASSERT_EQ(PRIMARYLANGID(GetUserDefaultLangID()), LANG_JAPANESE);
    ASSERT_EQ(GetACP(), 932u);
    PutJob(8, 8, L"\uFF71\uFF72\uFF73 12"); // bytes B1 B2 B3 on this code page
    HWND dlg = Open("edit 8");
    ASSERT_TRUE(dlg);
    ASSERT_TRUE(PressBar(dlg, IDOK));
    EXPECT_EQ(Finish(), "result=1");
    EXPECT_EQ(TitleOf(8), L"\uFF71\uFF72\uFF73 12");
    // The same through the COM class.
    PutJob(8, 8, L"\uFF74\uFF75");
    dlg = OpenCom("DoModal 8");
    ASSERT_TRUE(dlg);
    ASSERT_TRUE(PressBar(dlg, IDOK));
    EXPECT_EQ(Finish(), "hr=0x00000000");
    EXPECT_EQ(TitleOf(8), L"\uFF74\uFF75");

    // Double-byte characters stay refused, for the family and for other
    // panel models alike.
    for (const char* model : {"VX-410", "VX-480"}) {
        SCOPED_TRACE(model);
        PutJob(8, 8, L"\u65E5\u672C", "", model);
        const std::string stored = StoreBytes();
        dlg = Open(std::string("--model ") + model + " edit 8");
        ASSERT_TRUE(dlg);
        ClickBar(dlg, IDOK);
        Answer("Warning",
               "Characters that cannot be displayed on the scanner are included. Please reenter.",
               "OK");
        ASSERT_TRUE(PressBar(dlg, IDCANCEL));
        EXPECT_EQ(Finish(), "result=2");
        EXPECT_EQ(StoreBytes(), stored);
    }
}

} // namespace
