// VX410.dll as its callers use it: loaded from the installed folder by name,
// its exports found through contracts/ModelPlugin.h, against a job store and
// a simulated scanner of each test's own.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "Taskstore.h"
#include "common/JobRecord.h"
#include "components/vx410sim/tests/testfolder.h"
#include "contracts/ModelPlugin.h"
#include "framework/ComError.h"
#include "framework/Handles.h"
#include "framework/Variant.h"
#include "runner/tests/ProcessDriver.h"
#include "uirobot.h"
#include "vx410sim.h"

namespace {

const char kPluginPath[] = "C:\\Program Files\\Velmora Works\\Task Deck\\VX410.dll";
const char kSharedDevlink[] = "C:\\Program Files\\Velmora Works\\Shared Files\\devlink.dll";
const char kRunnerMutex[] = "VX410-Taskdeck-83D649F0-02A1-4a3f-BB2A-B312F6B8E49";
const char kBrokenStore[] = "this is no registry export\r\n";

std::string Old(int job) {
    return "old " + std::to_string(job);
}

// A stored title as the editor writes it: Unicode text.
CVariant Title(const std::wstring& text) {
    CVariant v;
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocStringLen(text.data(), UINT(text.size()));
    return v;
}

std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// What the plug-in showed while a call ran: each message box of this
// process is read and answered with OK.
struct CShownBoxes {
    std::vector<CUiDialogInfo> m_boxes;
    bool m_bFinished = false;
};

// Runs fn on a thread of its own (one without COM, as an outside program's
// may be) and answers the boxes it shows; gives up after two minutes.
CShownBoxes CallAnsweringBoxes(const std::function<void()>& fn) {
    CShownBoxes shown;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        fn();
        done = true;
    });
    CUiFindOptions options;
    options.m_dwProcessId = GetCurrentProcessId();
    const DWORD start = GetTickCount();
    while (!done && GetTickCount() - start < 120000) {
        CUiDialogInfo box;
        if (UiWaitForDialog(options, 100, box)) {
            shown.m_boxes.push_back(box);
            UiPressButton(box, "OK");
            // The next look must not find this box again.
            const DWORD gone = GetTickCount();
            while (IsWindow(box.m_hWnd) && GetTickCount() - gone < 30000)
                Sleep(20);
        }
    }
    shown.m_bFinished = done;
    if (done)
        worker.join();
    else
        worker.detach(); // reported; the test fails
    return shown;
}

class PluginTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The store folder does not exist until something opens the store.
        m_strStoreDir = m_storeRoot.File("store");
        m_strStoreFile = m_strStoreDir + "\\Taskstore.reg";
        SetEnvironmentVariableA("TASKSTORE_FILE", nullptr);
        SetEnvironmentVariableA("TASKSTORE_DIR", m_strStoreDir.c_str());
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        m_bCom = true;

        m_module.Attach(LoadLibraryExA(kPluginPath, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
        ASSERT_TRUE(m_module) << kPluginPath << " error " << GetLastError();
        using namespace modelplugin;
        m_pfnIsKestrelExist = GetExport<PFN_IsKestrelExist>(m_module, kIsKestrelExist);
        m_pfnInitJob = GetExport<PFN_InitJob>(m_module, kInitJob);
        m_pfnGetFunctionID = GetExport<PFN_GetFunctionID>(m_module, kGetFunctionID);
        m_pfnSetScannerJobTitle = GetExport<PFN_SetScannerJobTitle>(m_module, kSetScannerJobTitle);
        ASSERT_TRUE(m_pfnIsKestrelExist && m_pfnInitJob && m_pfnGetFunctionID &&
                    m_pfnSetScannerJobTitle);
    }
    void TearDown() override {
        m_module.Close();
        if (m_bCom)
            CoUninitialize();
        SetEnvironmentVariableA("TASKSTORE_DIR", nullptr);
    }

    // A store object of the test's own, for the model given.
    CComPtr<IJobStore> Store(const char* model = "VX-410") {
        CComPtr<IJobStore> store = CreateJobStore(23);
        PrepareJobStore(store, model, 0);
        return store;
    }
    void PutJob(long number, const char* title, const CVariant& function = CVariant(0)) {
        PutJob(number, CVariant(title), function);
    }
    void PutJob(long number, const CVariant& title, const CVariant& function = CVariant(0)) {
        CComPtr<IJobData> job;
        ThrowIfFailed(Store()->GetJob(number, &job), IID_IJobStore);
        JobSetValue(job, "title", title);
        JobSetValue(job, "function id", function);
        ThrowIfFailed(job->Commit(), IID_IJobData);
    }
    void PutCommon(const char* key, long value, const char* model = "VX-410") {
        CComPtr<IJobStore> store = Store(model);
        StoreSetLong(store, key, value);
        ThrowIfFailed(store->Save(), IID_IJobStore);
    }
    CVariant Common(const char* key, const char* model = "VX-410") {
        CVariant v;
        CBstr name(key);
        ThrowIfFailed(Store(model)->GetCommonData(name, v.Receive()), IID_IJobStore);
        return v;
    }
    void BreakStore() {
        std::filesystem::create_directories(m_strStoreDir);
        std::ofstream(m_strStoreFile, std::ios::binary) << kBrokenStore;
    }
    bool StoreFolderExists() const { return std::filesystem::exists(m_strStoreDir); }

    void SeedOldTitles() {
        ASSERT_TRUE(m_sim.Set([](vx410sim::DeviceState& s) {
            for (int job = 1; job <= vx410sim::kJobCount; ++job)
                s.m_titles[size_t(job - 1)] = Old(job);
        }));
    }
    std::string PanelTitle(int job) { return m_sim.State().m_titles[size_t(job - 1)]; }

    vx410sim::test::CTempFolder m_storeRoot;
    vx410sim::test::CSimFolder m_sim;
    std::string m_strStoreDir, m_strStoreFile;
    bool m_bCom = false;
    vlm::CModule m_module;
    modelplugin::PFN_IsKestrelExist m_pfnIsKestrelExist = nullptr;
    modelplugin::PFN_InitJob m_pfnInitJob = nullptr;
    modelplugin::PFN_GetFunctionID m_pfnGetFunctionID = nullptr;
    modelplugin::PFN_SetScannerJobTitle m_pfnSetScannerJobTitle = nullptr;
};

TEST_F(PluginTest, FunctionIdOfANumberOutsideTheJobsTouchesNoStore) {
    for (LONG n : {0L, 100L, -1L})
        EXPECT_EQ(m_pfnGetFunctionID(n), 8) << n;
    EXPECT_FALSE(StoreFolderExists()) << "the store was opened";
    // A job number does open it (its lock file appears), the jobs being none.
    EXPECT_EQ(m_pfnGetFunctionID(1), 8);
    EXPECT_TRUE(StoreFolderExists());

    // A set "MonitorOpen" stays set: the store was not prepared.
    PutCommon("MonitorOpen", 1);
    const std::string before = FileBytes(m_strStoreFile);
    EXPECT_EQ(m_pfnGetFunctionID(0), 8);
    EXPECT_EQ(m_pfnGetFunctionID(100), 8);
    EXPECT_EQ(FileBytes(m_strStoreFile), before);
}

TEST_F(PluginTest, FunctionIdAnswersTheJobsFunctionAndResetsMonitorOpen) {
    PutJob(1, "Save", CVariant(0));
    PutJob(2, "Print", CVariant(2));
    PutJob(99, "Attach", CVariant(4));
    PutJob(50, "As text", CVariant("3"));
    PutJob(51, "Not a number", CVariant("mail"));
    PutCommon("MonitorOpen", 1);

    EXPECT_EQ(m_pfnGetFunctionID(2), 2);
    long monitor = -1;
    ASSERT_TRUE(SUCCEEDED(Common("MonitorOpen").ToLong(monitor)));
    EXPECT_EQ(monitor, 0);

    EXPECT_EQ(m_pfnGetFunctionID(1), 0);
    EXPECT_EQ(m_pfnGetFunctionID(99), 4);
    EXPECT_EQ(m_pfnGetFunctionID(50), 3);
    EXPECT_EQ(m_pfnGetFunctionID(51), 8) << "a function id that is no number";
    EXPECT_EQ(m_pfnGetFunctionID(7), 8) << "no such job";

    // A store that cannot be read answers 8 and shows nothing.
    BreakStore();
    LONG answer = -1;
    CShownBoxes shown = CallAnsweringBoxes([&] { answer = m_pfnGetFunctionID(2); });
    ASSERT_TRUE(shown.m_bFinished);
    EXPECT_EQ(answer, 8);
    EXPECT_TRUE(shown.m_boxes.empty()) << UiDescribe(shown.m_boxes.front());
}

TEST_F(PluginTest, InitJobResetsMonitorOpenOfTheModelOnly) {
    PutJob(3, "Letters", CVariant(0));
    PutCommon("MonitorOpen", 5);
    PutCommon("MonitorOpen", 1, "VX-420");

    CShownBoxes shown = CallAnsweringBoxes([&] { m_pfnInitJob(); });
    ASSERT_TRUE(shown.m_bFinished);
    EXPECT_TRUE(shown.m_boxes.empty()) << UiDescribe(shown.m_boxes.front());

    const CVariant monitor = Common("MonitorOpen");
    EXPECT_EQ(monitor.vt, VT_I4);
    EXPECT_EQ(monitor.lVal, 0);
    long other = 0;
    ASSERT_TRUE(SUCCEEDED(Common("MonitorOpen", "VX-420").ToLong(other)));
    EXPECT_EQ(other, 1);
    EXPECT_EQ(m_pfnGetFunctionID(3), 0) << "the jobs stay";
    // As the store file has it.
    const std::string text = FileBytes(m_strStoreFile);
    const size_t section = text.find("\\VX-410\\Common]");
    ASSERT_NE(section, std::string::npos) << text;
    EXPECT_NE(text.find("\"MonitorOpen\"=dword:00000000", section), std::string::npos) << text;
}

TEST_F(PluginTest, InitJobShowsAStoreErrorInABox) {
    BreakStore();
    CShownBoxes shown = CallAnsweringBoxes([&] { m_pfnInitJob(); });
    ASSERT_TRUE(shown.m_bFinished);
    ASSERT_EQ(shown.m_boxes.size(), 1u);
    const CUiDialogInfo& box = shown.m_boxes[0];
    EXPECT_EQ(box.m_strCaption, "Error") << "the platform's caption of a box without one";
    EXPECT_EQ(box.m_buttons, std::vector<std::string>{"OK"});
    bool bText = false;
    for (const std::string& t : box.m_texts)
        bText = bText || t == "vender defined error 513"; // the store's parse error 0x80040201
    EXPECT_TRUE(bText) << UiDescribe(box);
    EXPECT_EQ(FileBytes(m_strStoreFile), kBrokenStore);
}

TEST_F(PluginTest, TitlesReachThePanel) {
    SeedOldTitles();
    const std::string t29(29, 'x');
    PutJob(1, "Invoices");
    const std::wstring cafe = L"Caf\u00E9";
    PutJob(3, Title(cafe));
    PutJob(4, t29.c_str());
    PutJob(99, "Last");

    EXPECT_EQ(m_pfnSetScannerJobTitle(1), 1) << "the device's close";
    EXPECT_EQ(PanelTitle(1), "Invoices");
    EXPECT_EQ(PanelTitle(2), "") << "no job: cleared";
    // The title in the system's ANSI code page.
    char ansi[16] = {};
    const int n = WideCharToMultiByte(CP_ACP, 0, cafe.c_str(), int(cafe.size()), ansi, sizeof ansi,
                                      nullptr, nullptr);
    EXPECT_EQ(PanelTitle(3), std::string(ansi, size_t(n)));
    EXPECT_EQ(PanelTitle(4), t29);
    for (int job = 5; job < 99; ++job)
        ASSERT_EQ(PanelTitle(job), "") << job;
    EXPECT_EQ(PanelTitle(99), "Last");

    // 0 clears every title, jobs or not.
    EXPECT_EQ(m_pfnSetScannerJobTitle(0), 1);
    for (int job = 1; job <= 99; ++job)
        ASSERT_EQ(PanelTitle(job), "") << job;
}

TEST_F(PluginTest, ATitleTheScannerRefusesStopsTheWriting) {
    SeedOldTitles();
    PutJob(1, "First");
    PutJob(3, std::string(30, 'y').c_str());
    PutJob(4, "Fourth");

    EXPECT_EQ(m_pfnSetScannerJobTitle(1), 1);
    EXPECT_EQ(PanelTitle(1), "First");
    EXPECT_EQ(PanelTitle(2), "");
    for (int job = 3; job <= 99; ++job)
        ASSERT_EQ(PanelTitle(job), Old(job)) << job;

    // A store that cannot be read ends the writing before the first title,
    // without a word; the device is still closed.
    SeedOldTitles();
    BreakStore();
    LONG answer = -1;
    CShownBoxes shown = CallAnsweringBoxes([&] { answer = m_pfnSetScannerJobTitle(1); });
    ASSERT_TRUE(shown.m_bFinished);
    EXPECT_TRUE(shown.m_boxes.empty()) << UiDescribe(shown.m_boxes.front());
    EXPECT_EQ(answer, 1);
    for (int job = 1; job <= 99; ++job)
        ASSERT_EQ(PanelTitle(job), Old(job)) << job;
}

TEST_F(PluginTest, NothingReachesTheScannerWhileARunnerLives) {
    SeedOldTitles();
    PutJob(1, "First");
    EXPECT_EQ(m_pfnIsKestrelExist(), 0);
    {
        vlm::CHandle runner(CreateMutexA(nullptr, FALSE, kRunnerMutex));
        ASSERT_TRUE(runner);
        EXPECT_EQ(m_pfnIsKestrelExist(), 1);
        const vx410sim::DeviceState before = m_sim.State();
        EXPECT_EQ(m_pfnSetScannerJobTitle(1), 1);
        EXPECT_EQ(m_pfnSetScannerJobTitle(0), 1);
        EXPECT_EQ(m_sim.State(), before) << "a command reached the scanner";
        EXPECT_EQ(m_pfnIsKestrelExist(), 1) << "the check leaves the mutex as it was";
    }
    EXPECT_EQ(m_pfnIsKestrelExist(), 0) << "the check holds no mutex of its own";
    {
        // A runner of another user: its mutex grants this caller nothing (an
        // empty access list), so opening it is refused, yet it exists.
        SECURITY_DESCRIPTOR sd;
        ACL acl;
        ASSERT_TRUE(InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION));
        ASSERT_TRUE(InitializeAcl(&acl, sizeof acl, ACL_REVISION));
        ASSERT_TRUE(SetSecurityDescriptorDacl(&sd, TRUE, &acl, FALSE));
        SECURITY_ATTRIBUTES sa{sizeof sa, &sd, FALSE};
        vlm::CHandle foreign(CreateMutexA(&sa, FALSE, kRunnerMutex));
        ASSERT_TRUE(foreign);
        vlm::CHandle reopened(CreateMutexA(nullptr, FALSE, kRunnerMutex));
        ASSERT_FALSE(reopened) << "the access list was not applied";
        ASSERT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
        const vx410sim::DeviceState before = m_sim.State();
        EXPECT_EQ(m_pfnIsKestrelExist(), 1);
        EXPECT_EQ(m_pfnSetScannerJobTitle(1), 1);
        EXPECT_EQ(m_sim.State(), before) << "a command reached the scanner";
    }
    EXPECT_EQ(m_pfnSetScannerJobTitle(1), 1);
    EXPECT_EQ(PanelTitle(1), "First");
}

TEST_F(PluginTest, TheScannerIsFoundOnUsbOrScsi) {
    SeedOldTitles();
    PutJob(2, "Second");
    ASSERT_TRUE(
        m_sim.Set([](vx410sim::DeviceState& s) { s.m_attachment = vx410sim::Attachment::Scsi; }));
    EXPECT_EQ(m_pfnSetScannerJobTitle(1), 1);
    EXPECT_EQ(PanelTitle(1), "");
    EXPECT_EQ(PanelTitle(2), "Second");

    SeedOldTitles();
    ASSERT_TRUE(
        m_sim.Set([](vx410sim::DeviceState& s) { s.m_attachment = vx410sim::Attachment::None; }));
    EXPECT_EQ(m_pfnSetScannerJobTitle(1), 0) << "no scanner";
    EXPECT_EQ(m_pfnSetScannerJobTitle(0), 0);
    EXPECT_EQ(PanelTitle(2), Old(2));
}

// The model's initial settings travel in the DLL as the file they are kept
// in (whose text the native test checks); the store leaves a new job's
// "driver" empty, so the editor's default settings and its question for a
// job without scanner settings stay in force.
TEST_F(PluginTest, InitialDriverSettingsTravelInTheDllAndNoNewJobGetsThem) {
    HRSRC hRes = FindResourceA(m_module, MAKEINTRESOURCEA(modelplugin::kInitialSettingsId),
                               modelplugin::kInitialSettingsType);
    ASSERT_TRUE(hRes) << GetLastError();
    HGLOBAL hData = LoadResource(m_module, hRes);
    ASSERT_TRUE(hData);
    const char* p = static_cast<const char*>(LockResource(hData));
    const std::string text(p, SizeofResource(m_module, hRes));
    EXPECT_EQ(text, FileBytes(VX410_SETTINGS_FILE));
    size_t sections = 0;
    for (size_t at = text.find("[CustomDsData]\r\n"); at != std::string::npos;
         at = text.find("[CustomDsData]\r\n", at + 1))
        ++sections;
    EXPECT_EQ(sections, 2u);

    auto expectNoDriver = [&](const char* when) {
        CComPtr<IJobData> job;
        const HRESULT hr = Store()->GetJob(5, &job);
        EXPECT_EQ(hr, 0x00040002) << when;
        ASSERT_TRUE(job) << when;
        EXPECT_TRUE(JobGetValue(job, "driver").IsEmpty()) << when;
    };
    expectNoDriver("fresh store");
    CShownBoxes shown = CallAnsweringBoxes([&] { m_pfnInitJob(); });
    ASSERT_TRUE(shown.m_bFinished);
    EXPECT_EQ(m_pfnGetFunctionID(5), 8);
    EXPECT_EQ(m_pfnSetScannerJobTitle(1), 1);
    expectNoDriver("after the plug-in's calls");
}

} // namespace

namespace {
// What the outside program (plugin_caller, built into a folder of its own)
// printed after loading the plug-in from pluginPath.
std::string CallFromElsewhere(const std::string& pluginPath, int job) {
    std::string out;
    const DWORD code = kestreltest::RunCapture("\"" + kestreltest::WinPath(VX410_CALLER) + "\" \"" +
                                                   pluginPath + "\" " + std::to_string(job),
                                               &out, 120000);
    return "exit " + std::to_string(code) + ": " + out;
}

// The shared copy of devlink.dll set aside while it lives, as on a PC whose
// installation put it elsewhere.
struct CSharedDevlinkAside {
    std::string m_strAside = std::string(kSharedDevlink) + ".aside";
    bool m_bMoved = MoveFileExA(kSharedDevlink, m_strAside.c_str(), MOVEFILE_REPLACE_EXISTING);
    ~CSharedDevlinkAside() {
        if (m_bMoved)
            MoveFileExA(m_strAside.c_str(), kSharedDevlink, MOVEFILE_REPLACE_EXISTING);
    }
};
} // namespace

// A program outside the suite loads the plug-in by its full path; the device
// library is looked for beside the plug-in first, then in the shared files,
// and without either the titles fail with "module not found" while the store
// still answers.
TEST_F(PluginTest, AProgramInAnotherFolderLoadsThePluginByItsPath) {
    PutJob(1, "Invoices", CVariant(2));
    SeedOldTitles();
    EXPECT_EQ(CallFromElsewhere(kPluginPath, 1), "exit 0: function 2 titles 1 error 0\r\n");
    EXPECT_EQ(PanelTitle(1), "Invoices");

    // The plug-in alone in a folder: the shared copy serves.
    const std::string alone = m_storeRoot.File("VX410.dll");
    ASSERT_TRUE(CopyFileA(kPluginPath, alone.c_str(), FALSE)) << GetLastError();
    SeedOldTitles();
    EXPECT_EQ(CallFromElsewhere(alone, 1), "exit 0: function 2 titles 1 error 0\r\n");
    EXPECT_EQ(PanelTitle(1), "Invoices");

    // A library of that name beside the plug-in comes first, even one
    // without the exports.
    const std::string beside = m_storeRoot.File("devlink.dll");
    ASSERT_TRUE(CopyFileA(kPluginPath, beside.c_str(), FALSE)) << GetLastError();
    SeedOldTitles();
    EXPECT_EQ(CallFromElsewhere(alone, 1), "exit 0: function 2 titles 0 error 127\r\n");
    ASSERT_TRUE(DeleteFileA(beside.c_str()));
    {
        CSharedDevlinkAside aside;
        ASSERT_TRUE(aside.m_bMoved) << GetLastError();
        EXPECT_EQ(CallFromElsewhere(alone, 1), "exit 0: function 2 titles 0 error 126\r\n");
    }
    EXPECT_EQ(PanelTitle(1), Old(1));
}
