// corvid as a user meets it: the installed program in the test prefix, its
// own job store and simulated scanner, driven through its window by the UI
// robot. The configuration reader and the window's resources are checked in
// the test process.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "CorvidWindow.h"
#include "ProcessDriver.h"
#include "TestStore.h"
#include "components/vx410sim/vx410sim.h"
#include "framework/Handles.h"
#include "framework/Profile.h"
#include "framework/Variant.h"
#include "tool/TaskdeckConfig.h"
#include "uirobot.h"
#include "uirobot_controls.h"
#include "uirobot_listview.h"
#include "vlm_version.h"

using namespace kestreltest;
using namespace corvidtest;

namespace {

const char kCaption[] = "VX-410 Taskdeck Registrar";
const char kRunnerMutex[] = "VX410-Taskdeck-83D649F0-02A1-4a3f-BB2A-B312F6B8E49";
const int kClose = 1094, kSaveFolder = 1013, kFileName = 1015, kFileType = 1017;
const UINT kNewEditing = 32789, kDelete = 32792, kHelp = 32784;

std::string TempFolder(const char* stem) {
    std::string folder = NewTempFolder(stem);
    EXPECT_FALSE(folder.empty());
    return folder;
}

void WriteText(const std::string& path, const std::string& text) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD done = 0;
    WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &done, nullptr);
    CloseHandle(h);
}

// An installed file moved away for one test, and back at its end (the
// lane's tests run one after another).
struct CHiddenFile {
    CHiddenFile(std::string path, std::string away)
        : m_strPath(std::move(path)), m_strAway(std::move(away)),
          m_bHidden(MoveFileA(m_strPath.c_str(), m_strAway.c_str()) != FALSE) {}
    ~CHiddenFile() {
        if (m_bHidden)
            MoveFileA(m_strAway.c_str(), m_strPath.c_str());
    }
    std::string m_strPath, m_strAway;
    bool m_bHidden;
};

} // namespace

// ---------------------------------------------------------------------------
// The configuration file and the window's resources, in the test process.

TEST(CorvidConfig, DefaultReadsAsMissingAndTypeNamesTheSection) {
    const std::string folder = TempFolder("corvid-config");
    const std::string ini = folder + "\\AppConfig.ini";
    WriteText(ini,
              "[Device]\r\nType=Model9\r\n[Model9]\r\nDEV_NAME=VX-9\r\nSCANNER_NAME=default\r\n"
              "INIT_FILE_NAME=\r\n");
    CTaskdeckConfig config;
    ASSERT_EQ(config.Init(ini.c_str()), S_OK);
    std::string value = "x";
    EXPECT_EQ(config.GetValue("Type", value), S_OK);
    EXPECT_EQ(value, "Model9"); // "Type" itself lives in [Device]
    EXPECT_EQ(config.GetValue("DEV_NAME", value), S_OK);
    EXPECT_EQ(value, "VX-9");
    EXPECT_EQ(config.GetValue("SCANNER_NAME", value), CTaskdeckConfig::kMissing);
    EXPECT_EQ(value, "");
    EXPECT_EQ(config.GetValue("CORVID_MUTEX", value), CTaskdeckConfig::kMissing);
    EXPECT_EQ(config.GetValue("INIT_FILE_NAME", value), S_OK); // empty is a value
    EXPECT_EQ(value, "");
    EXPECT_EQ(config.GetValue("type", value), CTaskdeckConfig::kMissing); // case counts
    EXPECT_EQ(config.GetValue(nullptr, value), E_INVALIDARG);

    // A "Type" that reads "default" is missing, and so is every key then.
    WriteText(ini, "[Device]\r\nType=default\r\n[default]\r\nDEV_NAME=VX-9\r\n");
    CTaskdeckConfig none;
    EXPECT_EQ(none.Init(ini.c_str()), static_cast<HRESULT>(0x8007001E));
    EXPECT_EQ(none.GetValue("DEV_NAME", value), CTaskdeckConfig::kMissing);
    EXPECT_EQ(none.Init((folder + "\\absent.ini").c_str()), CTaskdeckConfig::kMissing);
    RemoveTree(folder);
}

TEST(CorvidConfig, InstalledFileHasEveryKeyAndTheDefaultResource) {
    const std::string deck = "C:\\Program Files\\Velmora Works\\Task Deck\\";
    CTaskdeckConfig config;
    ASSERT_EQ(config.Init((deck + "AppConfig.ini").c_str()), S_OK);
    for (const char* key :
         {"DEV_NAME", "INIT_FILE_NAME", "FRIENDLY_NUSB", "FRIENDLY_NSCSI", "KESTREL_FILE_NAME",
          "TWAIN_DRV_NAME", "KESTREL_MUTEX", "SCANNER_NAME", "CORVID_MUTEX"}) {
        std::string value;
        EXPECT_EQ(config.GetValue(key, value), S_OK) << key;
        EXPECT_FALSE(value.empty()) << key;
    }
    EXPECT_EQ(config.Value("DEV_NAME"), "VX-410");
    EXPECT_EQ(config.Value("KESTREL_MUTEX"), kRunnerMutex);
    EXPECT_EQ(config.Value("FRIENDLY_NUSB"), vx410sim::kFriendlyNameUsb);
    EXPECT_EQ(config.Value("FRIENDLY_NSCSI"), vx410sim::kFriendlyNameScsi);

    // The editor's default driver settings: 65 bytes, no terminating zero.
    HMODULE h = LoadLibraryExA((deck + "corvid.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(h, nullptr);
    HRSRC res = FindResourceA(h, MAKEINTRESOURCEA(148), "Default");
    ASSERT_NE(res, nullptr);
    const char* data = static_cast<const char*>(LockResource(LoadResource(h, res)));
    EXPECT_EQ(std::string(data, SizeofResource(h, res)),
              "[CustomDsData]\r\nScanAhead=1\r\nSamplesPerPixel=1\r\nBitsPerSample=1\r\n");
    FreeLibrary(h);
}

// ---------------------------------------------------------------------------
// The whole program.

class Corvid : public ::testing::Test {
protected:
    void SetUp() override {
        m_strDir = TempFolder("corvid-test");
        m_strState = m_strDir + "\\state";
        CreateDirectoryA(m_strState.c_str(), nullptr);
        SetEnvironmentVariableA("VX410SIM_DIR", m_strState.c_str());
        m_store.Open(m_strDir); // TASKSTORE_FILE for corvid too
        m_strLog = "corvid-test-" + std::to_string(GetCurrentProcessId()) + "-" +
                   std::to_string(GetTickCount()) + ".log";
        m_profile.WriteInt("General", "WriteLog", 1);
        m_profile.WriteString("General", "LogFileName", m_strLog.c_str());
        m_pDevice = std::make_unique<vx410sim::CSimDevice>(m_strState);
    }
    void TearDown() override {
        if (m_corvid.m_hProcess && m_corvid.Running())
            m_window.Close();
        m_store.Close();
        m_profile.WriteInt("General", "WriteLog", 0);
        char tmp[MAX_PATH];
        GetTempPathA(MAX_PATH, tmp);
        DeleteFileA((std::string(tmp) + m_strLog).c_str());
        SetEnvironmentVariableA("VX410SIM_DIR", nullptr);
        RemoveTree(m_strDir);
    }

    void AddJob(long n, const char* title, long function = 0) {
        CComPtr<IJobData> job = m_store.Job(n);
        JobSetValue(job, "title", CVariant(title));
        JobSetValue(job, "function id", CVariant(function));
        JobSetValue(job, "save_path", CVariant("C:\\Scans"));
        JobSetValue(job, "mypicture", CVariant(0L));
        JobSetValue(job, "filename", CVariant("scan"));
        JobSetValue(job, "filetype", CVariant(2L));
        ASSERT_HRESULT_SUCCEEDED(job->Commit());
    }
    bool HasJob(long n) {
        EXPECT_HRESULT_SUCCEEDED(m_store.m_pStore->Load());
        CComPtr<IJobData> job;
        HRESULT hr = m_store.m_pStore->GetJob(n, &job);
        return SUCCEEDED(hr) && (hr & 0xFFFF) != 2;
    }
    std::string RunLog() {
        char tmp[MAX_PATH];
        GetTempPathA(MAX_PATH, tmp);
        return ReadFileText(std::string(tmp) + m_strLog);
    }
    vx410sim::DeviceState Panel() {
        vx410sim::DeviceState st;
        EXPECT_TRUE(m_pDevice->Read(st));
        return st;
    }
    // Waits for the all-titles writer to end n times in all.
    bool WaitTitleWriterEnds(size_t n) {
        const std::string end = "all titles writer end";
        return WaitFor([&] {
            const std::string log = RunLog();
            size_t count = 0;
            for (size_t p = log.find(end); p != std::string::npos; p = log.find(end, p + 1))
                ++count;
            return count >= n;
        });
    }

    void StartCorvid() {
        m_window.Start();
        m_hMain = m_window.m_hMain;
        m_hList = m_window.m_hList;
    }
    bool WaitBox(const char* caption, CUiDialogInfo& box) {
        return m_window.WaitDialog(caption, box);
    }
    bool AnyBox() { return m_window.AnyDialog(); }
    // Waits for the box, checks its text (when given) and presses the button.
    void Answer(const char* caption, const char* text, const char* button) {
        CUiDialogInfo box;
        ASSERT_TRUE(WaitBox(caption, box)) << caption;
        if (text) {
            ASSERT_FALSE(box.m_texts.empty());
            EXPECT_EQ(box.m_texts.back(), text);
        }
        ASSERT_TRUE(UiPressButton(box, button));
        ASSERT_TRUE(UiWaitGone(box.m_hWnd, kDeadline));
    }
    std::string Title(int n) { return m_window.Title(n); }
    // Help opens the English help file's window, and no box.
    void ExpectHelpOpens() {
        ASSERT_TRUE(UiChooseMenu(m_hMain, kHelp));
        CUiFindOptions help;
        help.m_dwProcessId = m_corvid.m_nPid;
        help.m_strCaption = "VX-410 Task Deck Help";
        help.m_bAnyClass = true;
        CUiDialogInfo helpWindow;
        EXPECT_TRUE(UiWaitForDialog(help, kDeadline, helpWindow)) << RunLog();
        EXPECT_FALSE(AnyBox());
    }

    std::string m_strDir, m_strState, m_strLog;
    CTestStore m_store;
    CVlmProfile m_profile{"Velmora Works Inc.", "corvid"};
    std::unique_ptr<vx410sim::CSimDevice> m_pDevice;
    CCorvidWindow m_window;
    CProcess& m_corvid = m_window.m_process;
    HWND m_hMain = nullptr, m_hList = nullptr;
};

TEST_F(Corvid, ListsTheJobsAndWritesTheirTitlesToThePanel) {
    AddJob(3, "Invoices");
    AddJob(7, "Letters", 1);
    // The panel holds a title the store no longer has.
    ASSERT_TRUE(m_pDevice->Update([](vx410sim::DeviceState& s) {
        s.m_titles[49] = "Old job";
        return true;
    }));
    StartCorvid();

    const auto columns = UiListColumns(m_hList);
    ASSERT_EQ(columns.size(), 2u);
    EXPECT_EQ(columns[0].m_strText, "No.");
    EXPECT_EQ(columns[0].m_nWidth, 60);
    EXPECT_EQ(columns[1].m_strText, "Job title");
    EXPECT_EQ(columns[1].m_nWidth, 180);
    // 32 pixels and the grid line below.
    EXPECT_EQ(UiListRowHeight(m_hList), 33);
    const auto rows = UiListRows(m_hList);
    for (int i = 0; i < 99; ++i) {
        char no[8];
        snprintf(no, sizeof no, "  %02d", i + 1);
        EXPECT_EQ(rows[i][0], no);
        EXPECT_EQ(rows[i][1], i == 2 ? "Invoices" : i == 6 ? "Letters" : "") << i;
    }
    EXPECT_EQ(UiListSelected(m_hList), std::vector<int>{0});
    EXPECT_EQ(UiGetText(m_hMain, kClose), "C&lose");

    // Job information: a save job shows its folder, file name and type;
    // a mail job shows nothing.
    ASSERT_TRUE(UiListSelect(m_hList, {2}));
    EXPECT_TRUE(WaitFor([&] { return UiGetText(m_hMain, kFileType) == "PDF"; }));
    EXPECT_EQ(UiGetText(m_hMain, kSaveFolder), "C:\\Scans");
    EXPECT_EQ(UiGetText(m_hMain, kFileName), "scan");
    ASSERT_TRUE(UiListSelect(m_hList, {6}));
    EXPECT_TRUE(WaitFor([&] { return UiGetText(m_hMain, kFileType).empty(); }));
    EXPECT_EQ(UiGetText(m_hMain, kSaveFolder), "");

    // The all-titles writer put the store's titles on the panel and cleared
    // the rest.
    ASSERT_TRUE(WaitTitleWriterEnds(1)) << RunLog();
    const auto panel = Panel();
    for (int i = 0; i < 99; ++i)
        EXPECT_EQ(panel.m_titles[i], i == 2 ? "Invoices" : i == 6 ? "Letters" : "") << i;
}

TEST_F(Corvid, ASecondStartEndsSilently) {
    AddJob(1, "One");
    StartCorvid();
    CProcess second;
    ASSERT_TRUE(second.Start("\"" + ProgramPath("Task Deck", "corvid.exe") + "\""));
    CMessageBoxInfo box;
    EXPECT_EQ(WaitEndAnsweringBoxes(second, kDeadline, &box), 0u);
    EXPECT_EQ(box.m_hWnd, nullptr) << box.m_strCaption << ": " << box.m_strText;
    EXPECT_TRUE(m_corvid.Running());
}

TEST_F(Corvid, DeleteAsksOnceForSeveralRowsAndSkipsEmptyOnes) {
    AddJob(3, "Three");
    AddJob(5, "Five");
    AddJob(9, "Nine");
    StartCorvid();
    ASSERT_TRUE(WaitTitleWriterEnds(1));

    // No: nothing is deleted.
    ASSERT_TRUE(UiListSelect(m_hList, {2, 3, 4}));
    ASSERT_TRUE(UiChooseMenu(m_hMain, kDelete));
    ASSERT_NO_FATAL_FAILURE(
        Answer("Confirmation", "Are you sure you want to delete the Job?", "No"));
    EXPECT_TRUE(HasJob(3));
    EXPECT_TRUE(HasJob(5));

    // Yes, by the Delete key: one question for jobs 3 and 5; the empty row 4
    // is skipped.
    ASSERT_TRUE(UiListSelect(m_hList, {2, 3, 4}));
    ASSERT_TRUE(UiListKey(m_hList, VK_DELETE));
    ASSERT_NO_FATAL_FAILURE(Answer("Confirmation", nullptr, "Yes"));
    ASSERT_TRUE(WaitFor([&] { return Title(3).empty() && Title(5).empty(); }));
    EXPECT_FALSE(AnyBox()) << "a second question";
    EXPECT_FALSE(HasJob(3));
    EXPECT_FALSE(HasJob(5));
    EXPECT_TRUE(HasJob(9));
    EXPECT_EQ(Title(9), "Nine");
    // The panel follows (the third writer: at start, after No, after Yes).
    ASSERT_TRUE(WaitTitleWriterEnds(3)) << RunLog();
    EXPECT_EQ(Panel().m_titles[2], "");
    EXPECT_EQ(Panel().m_titles[8], "Nine");

    // Only empty rows: no question, the number is not registered.
    ASSERT_TRUE(UiListSelect(m_hList, {2, 3}));
    ASSERT_TRUE(UiChooseMenu(m_hMain, kDelete));
    ASSERT_NO_FATAL_FAILURE(Answer("Error", "The Job No. is not registered.", "OK"));
}

TEST_F(Corvid, CloseWithAnEmptyStoreAsksAndNoKeepsTheWindow) {
    StartCorvid();
    ASSERT_TRUE(UiClick(m_hMain, kClose));
    ASSERT_NO_FATAL_FAILURE(Answer("VX-410", "Any job is not registered. Are You Sure?", "No"));
    EXPECT_TRUE(IsWindow(m_hMain));
    EXPECT_TRUE(m_corvid.Running());

    ASSERT_TRUE(UiClick(m_hMain, kClose));
    ASSERT_NO_FATAL_FAILURE(Answer("VX-410", nullptr, "Yes"));
    EXPECT_EQ(m_corvid.Wait(kDeadline), 0u);
}

TEST_F(Corvid, NoTitleReachesTheScannerWhileAJobRuns) {
    AddJob(1, "New title");
    ASSERT_TRUE(m_pDevice->Update([](vx410sim::DeviceState& s) {
        s.m_titles[0] = "Old title";
        return true;
    }));
    const int commands = Panel().m_nCommands;
    HANDLE runner = CreateMutexA(nullptr, FALSE, kRunnerMutex);
    ASSERT_NE(runner, nullptr);
    StartCorvid();
    ASSERT_TRUE(WaitFor([&] {
        return RunLog().find("all titles writer: a job runs, no title written") !=
               std::string::npos;
    })) << RunLog();
    EXPECT_EQ(Panel().m_titles[0], "Old title");
    EXPECT_EQ(Panel().m_nCommands, commands);
    CloseHandle(runner);
}

TEST_F(Corvid, SortingByAColumnTwiceReversesTheOrder) {
    AddJob(2, "Beta");
    AddJob(4, "Alpha");
    AddJob(6, "Gamma");
    StartCorvid();
    // The first click sorts descending.
    ASSERT_TRUE(UiListClickHeader(m_hList, 0));
    ASSERT_TRUE(WaitFor([&] { return UiListText(m_hList, 0, 0) == "  99"; })) << RunLog();
    const auto down = UiListRows(m_hList);
    EXPECT_EQ(down[98][0], "  01");
    ASSERT_TRUE(UiListClickHeader(m_hList, 0));
    ASSERT_TRUE(WaitFor([&] { return UiListText(m_hList, 0, 0) == "  01"; }));
    auto up = UiListRows(m_hList);
    std::reverse(up.begin(), up.end());
    EXPECT_EQ(up, down);

    // By title: descending first, the empty titles last.
    ASSERT_TRUE(UiListClickHeader(m_hList, 1));
    ASSERT_TRUE(WaitFor([&] { return UiListText(m_hList, 0, 1) == "Gamma"; }))
        << RunLog() << UiListText(m_hList, 0, 1) << UiListText(m_hList, 0, 0);
    EXPECT_EQ(UiListText(m_hList, 1, 1), "Beta");
    EXPECT_EQ(UiListText(m_hList, 2, 1), "Alpha");
    EXPECT_EQ(UiListText(m_hList, 3, 1), "");
    EXPECT_EQ(UiListText(m_hList, 0, 0), "  06");
}

TEST_F(Corvid, CopyThroughTheEditorRefreshesTheListAndThePanel) {
    AddJob(3, "Three");
    StartCorvid();
    ASSERT_TRUE(WaitTitleWriterEnds(1));
    ASSERT_TRUE(UiListSelect(m_hList, {2}));
    ASSERT_TRUE(UiChooseMenu(m_hMain, 32791));
    CUiDialogInfo copy;
    ASSERT_TRUE(WaitBox("Copy", copy));
    ASSERT_TRUE(UiSetText(copy.m_hWnd, 805, "12"));
    ASSERT_TRUE(UiSetText(copy.m_hWnd, 808, "Twelve"));
    ASSERT_TRUE(UiClick(copy.m_hWnd, IDOK));
    ASSERT_TRUE(UiWaitGone(copy.m_hWnd, kDeadline)) << UiDescribe(UiReadDialog(copy.m_hWnd));
    EXPECT_TRUE(WaitFor([&] { return Title(12) == "Twelve"; }));
    EXPECT_EQ(Title(3), "Three");
    EXPECT_TRUE(HasJob(12));
    ASSERT_TRUE(WaitTitleWriterEnds(2));
    EXPECT_EQ(Panel().m_titles[11], "Twelve");
}

// The editor's dialogs and the help open from the menus; a dialog closed
// with Cancel leaves the list as it was.
TEST_F(Corvid, TheMenusOpenTheEditorsDialogsAndTheHelp) {
    AddJob(4, "Four");
    StartCorvid();
    ASSERT_TRUE(UiChooseMenu(m_hMain, 32783)); // Version...
    CUiDialogInfo about;
    ASSERT_TRUE(WaitBox("Version Information", about));
    // corvid's own version resource: the suite's version.
    EXPECT_THAT(about.m_texts, testing::Contains("VX-410 Task Deck Version : " VLM_VERSION_STRING));
    ASSERT_TRUE(UiPressButton(about, "OK"));
    ASSERT_TRUE(UiWaitGone(about.m_hWnd, kDeadline));
    ASSERT_TRUE(UiChooseMenu(m_hMain, 32785)); // Admin setting
    ASSERT_NO_FATAL_FAILURE(Answer("Admin", nullptr, "Cancel"));
    EXPECT_EQ(Title(4), "Four");

    // The English help for an English user, through vlmhelp.dll.
    ExpectHelpOpens();
}

// Without "vlmhelp.dll" the help opens through the platform's HTML Help.
TEST_F(Corvid, WithoutTheHelpLibraryTheHelpOpensAllTheSame) {
    CHiddenFile hidden(ProgramPath("Shared Files", "vlmhelp.dll"), m_strDir + "\\vlmhelp.dll");
    ASSERT_TRUE(hidden.m_bHidden);
    StartCorvid();
    ExpectHelpOpens();
}

// Close does not end the program under a title being written: it waits, and
// while the writer still waits for the scanner it asks.
TEST_F(Corvid, CloseWaitsForTheTitleBeingWritten) {
    AddJob(3, "Three");
    StartCorvid();
    ASSERT_TRUE(WaitTitleWriterEnds(1));
    // The simulated scanner kept busy: its state stays locked until released.
    vlm::CHandle held(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    vlm::CHandle release(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    std::thread busy([&] {
        m_pDevice->Update([&](vx410sim::DeviceState&) {
            SetEvent(held.Get());
            WaitForSingleObject(release.Get(), INFINITE);
            return false;
        });
    });
    struct CJoin {
        std::thread& m_thread;
        HANDLE m_hRelease;
        ~CJoin() {
            SetEvent(m_hRelease);
            m_thread.join();
        }
    } join{busy, release.Get()};
    ASSERT_EQ(WaitForSingleObject(held.Get(), kDeadline), WAIT_OBJECT_0);

    ASSERT_TRUE(UiListSelect(m_hList, {2}));
    ASSERT_TRUE(UiChooseMenu(m_hMain, kNewEditing));
    CUiDialogInfo edit;
    ASSERT_TRUE(WaitBox("New/Editing", edit));
    ASSERT_TRUE(UiSetText(edit.m_hWnd, kEditTitle, "Renamed"));
    ASSERT_TRUE(UiClick(GetDlgItem(edit.m_hWnd, kEditButtonBar), IDOK));
    ASSERT_TRUE(UiWaitGone(edit.m_hWnd, kDeadline));
    ASSERT_TRUE(WaitFor(
        [&] { return RunLog().find("title writer start for job 3") != std::string::npos; }));

    ASSERT_TRUE(UiClick(m_hMain, kClose));
    ASSERT_NO_FATAL_FAILURE(Answer(
        "VX-410", "The job titles are still being written to the scanner. Close anyway?", "No"));
    EXPECT_TRUE(m_corvid.Running());
    SetEvent(release.Get());
    EXPECT_TRUE(WaitFor([&] {
        return RunLog().find("title writer end for job 3, result 1") != std::string::npos;
    })) << RunLog();
    ASSERT_TRUE(WaitTitleWriterEnds(2)); // "No" wrote all titles again
    EXPECT_EQ(Panel().m_titles[2], "Renamed");
    // Nothing left to write: Close ends the program at once.
    ASSERT_TRUE(UiClick(m_hMain, kClose));
    EXPECT_EQ(m_corvid.Wait(kDeadline), 0u);
}

// Escape goes the way of Close: with an empty store the question comes.
TEST_F(Corvid, EscapeAsksLikeClose) {
    StartCorvid();
    ASSERT_TRUE(UiListKey(m_hList, VK_ESCAPE));
    ASSERT_NO_FATAL_FAILURE(Answer("VX-410", "Any job is not registered. Are You Sure?", "Yes"));
    EXPECT_EQ(m_corvid.Wait(kDeadline), 0u);
}

// A tool without its configuration file says so and ends.
TEST_F(Corvid, WithoutItsConfigurationTheToolSaysSoAndEnds) {
    const std::string copy = m_strDir + "\\corvid.exe";
    ASSERT_TRUE(CopyFileA(ProgramPath("Task Deck", "corvid.exe").c_str(), copy.c_str(), FALSE));
    ASSERT_TRUE(m_corvid.Start("\"" + copy + "\""));
    CUiDialogInfo box;
    ASSERT_TRUE(WaitBox("Error", box));
    ASSERT_FALSE(box.m_texts.empty());
    EXPECT_EQ(box.m_texts.back(), "The configuration file " + m_strDir +
                                      "\\AppConfig.ini is missing or has no model. Please check "
                                      "your installation.")
        << RunLog();
    ASSERT_TRUE(UiPressButton(box, "OK"));
    EXPECT_EQ(m_corvid.Wait(kDeadline), 0u);
}

// The right-click menu holds the Editing menu's commands: its third entry
// deletes.
TEST_F(Corvid, TheRightClickMenuDeletes) {
    AddJob(6, "Six");
    StartCorvid();
    ASSERT_TRUE(UiListContextCommand(m_hList, 5, 2, kDeadline));
    ASSERT_NO_FATAL_FAILURE(Answer("Confirmation", nullptr, "Yes"));
    EXPECT_TRUE(WaitFor([&] { return Title(6).empty(); }));
    EXPECT_FALSE(HasJob(6));
}

// Without "vlmctrl.dll" the installation is not whole: the tool says so and
// ends before its window.
TEST_F(Corvid, WithoutTheControlLibraryTheToolSaysSoAndEnds) {
    CHiddenFile hidden(ProgramPath("Shared Files", "vlmctrl.dll"), m_strDir + "\\vlmctrl.dll");
    ASSERT_TRUE(hidden.m_bHidden);
    ASSERT_TRUE(m_corvid.Start("\"" + ProgramPath("Task Deck", "corvid.exe") + "\""));
    ASSERT_NO_FATAL_FAILURE(
        Answer("VX420 Taskdeck Registrar",
               "Can't load a DLL which we need. Please check your installation.", "OK"));
    EXPECT_EQ(m_corvid.Wait(kDeadline), 0u);
}

// The installation keeps the localisation libraries in "Shared Files", none
// beside the tool (every other test starts without a word): only when no
// library loads at all does the tool say so, and it runs in English.
TEST_F(Corvid, WithoutAnyLocalisationLibraryTheToolSaysSoAndRunsInEnglish) {
    CHiddenFile zxd(ProgramPath("Shared Files", "zxdloc.dll"), m_strDir + "\\zxdloc.dll");
    CHiddenFile vlm(ProgramPath("Shared Files", "vlmloc.dll"), m_strDir + "\\vlmloc.dll");
    ASSERT_TRUE(zxd.m_bHidden && vlm.m_bHidden);
    ASSERT_TRUE(m_corvid.Start("\"" + ProgramPath("Task Deck", "corvid.exe") + "\""));
    CUiFindOptions find;
    find.m_dwProcessId = m_corvid.m_nPid;
    CUiDialogInfo box;
    ASSERT_TRUE(UiWaitForDialog(find, kDeadline, box));
    ASSERT_FALSE(box.m_texts.empty()) << UiDescribe(box);
    EXPECT_EQ(box.m_texts.back(), "zxdloc.dll is not found.");
    ASSERT_TRUE(UiPressButton(box, "OK"));
    find.m_strCaption = kCaption;
    CUiDialogInfo window;
    ASSERT_TRUE(UiWaitForDialog(find, kDeadline, window));
    m_window.m_hMain = window.m_hWnd;
    EXPECT_EQ(UiGetText(window.m_hWnd, kClose), "C&lose");
}

// Without the job editor the list still works; its commands say what is
// missing.
TEST_F(Corvid, WithoutTheEditorItsCommandsSaySo) {
    AddJob(1, "One");
    CHiddenFile hidden(ProgramPath("Task Deck", "Plover.dll"), m_strDir + "\\Plover.dll");
    ASSERT_TRUE(hidden.m_bHidden);
    StartCorvid();
    EXPECT_EQ(Title(1), "One");
    ASSERT_TRUE(UiChooseMenu(m_hMain, kNewEditing));
    CUiDialogInfo box;
    ASSERT_TRUE(WaitBox("Error", box));
    ASSERT_FALSE(box.m_texts.empty());
    EXPECT_EQ(box.m_texts.back().rfind("The job editor (Plover.dll) is not installed. Please check "
                                       "your installation.",
                                       0),
              0u)
        << box.m_texts.back();
    ASSERT_TRUE(UiPressButton(box, "OK"));
    ASSERT_TRUE(UiWaitGone(box.m_hWnd, kDeadline));
    EXPECT_TRUE(m_corvid.Running());
}

// A title the panel cannot take (30 bytes) ends the writing there: the
// scanner keeps what it had for that job and the ones above.
TEST_F(Corvid, ATooLongTitleStopsTheTitleWriting) {
    AddJob(2, "Two");
    AddJob(3, "Thirty bytes of a title, long.");
    AddJob(5, "Five");
    ASSERT_TRUE(m_pDevice->Update([](vx410sim::DeviceState& s) {
        s.m_titles[2] = "Old three";
        s.m_titles[4] = "Old five";
        return true;
    }));
    StartCorvid();
    ASSERT_TRUE(WaitTitleWriterEnds(1));
    EXPECT_NE(RunLog().find("all titles writer end, stopped at 3"), std::string::npos) << RunLog();
    const auto panel = Panel();
    EXPECT_EQ(panel.m_titles[1], "Two");
    EXPECT_EQ(panel.m_titles[2], "Old three");
    EXPECT_EQ(panel.m_titles[4], "Old five");
    EXPECT_EQ(Title(3), "Thirty bytes of a title, long.");
}

// The prefix's screen DPI (LogPixels, read by each program when it starts)
// for one test; the value it had comes back at the end.
class CScreenDpi {
public:
    explicit CScreenDpi(DWORD dpi) {
        for (int i = 0; i < 2; ++i) {
            m_bHad[i] = m_keys[i].Create(Root(i), kKeys[i]) == ERROR_SUCCESS &&
                        m_keys[i].QueryDWORD("LogPixels", m_old[i]) == ERROR_SUCCESS;
            m_keys[i].SetDWORD("LogPixels", dpi);
        }
    }
    ~CScreenDpi() {
        for (int i = 0; i < 2; ++i) {
            if (m_bHad[i])
                m_keys[i].SetDWORD("LogPixels", m_old[i]);
            else
                m_keys[i].DeleteValue("LogPixels");
        }
    }

private:
    static HKEY Root(int i) { return i ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }
    static constexpr const char* kKeys[2] = {
        "Control Panel\\Desktop",
        "System\\CurrentControlSet\\Hardware Profiles\\Current\\Software\\Fonts"};
    CRegKey m_keys[2];
    DWORD m_old[2] = {};
    bool m_bHad[2] = {};
};

// corvid is DPI aware: at 144 DPI its list's columns and rows are half as
// large again as at 96 (60 and 180 pixels, rows of 32 and the grid line).
TEST_F(Corvid, TheListGrowsWithTheScreensDpi) {
    AddJob(1, "One");
    {
        CScreenDpi dpi(144);
        StartCorvid();
    }
    const auto columns = UiListColumns(m_hList);
    ASSERT_EQ(columns.size(), 2u);
    EXPECT_EQ(columns[0].m_nWidth, 90);
    EXPECT_EQ(columns[1].m_nWidth, 270);
    EXPECT_EQ(UiListRowHeight(m_hList), 49);
}
