// The job dialog inside the test process: a recording model part and panel
// stand in for the program around it, pages are handed over as the scan
// engine hands them (0x8001, 0x8034, then 0x8002), and the start of the job
// runs against the real source manager and data source in the prefix.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <set>
#include <thread>

#include "ProcessDriver.h"
#include "common/RecoveredScans.h"
#include "common/tests/fake_store.h"
#include "framework/ComError.h"
#include "imaging/tiff.h"
#include "runner/JobAppImp.h"
#include "runner/JobDlg.h"
#include "runner/JobSessionHost.h"
#include "scan/core/PageInfo.h"

using namespace kestreltest;

namespace {

struct CNotice {
    DWORD m_dwCode;
    std::string m_strTitle, m_strModule, m_strText;
};

class CRecordingModel : public CJobAppImp {
public:
    BOOL MutuallyExclusive() override { return TRUE; }
    const char* GetModelName() override { return "VX-410"; }
    const char* GetTempFolderName() override { return "VX410JOB_SESSION_TEST"; }
    const char* GetSettingsFileName() override { return "VX410SETTINGS"; }
    const char* GetErrorModeMessageName() override { return "VX410_StatusDialog_ErrorMode_Test"; }
    const char* GetTwainDsName() override { return "Velmora VX-410 TWAIN"; }
    const char* GetToolMutexName() override { return "VX410-session-test"; }
    const char* GetServicePipeName() override { return "VX-410 session test pipe"; }
    long GetModelIndex() override { return 0; }
    void OnStiLock() override {}
    void OnStiUnLock() override {}
    void NcStiUnLock(CJobDlg*) override {}
    void ShowPanelMessage(const char* text) override { m_panel.push_back(text); }
    void ShowPanelError(const char* text) override { m_panel.push_back(std::string(text) + "|1"); }
    void NotifyEvent(DWORD code, const char* title, const char* module, const char* text) override {
        m_notices.push_back({code, title, module, text});
    }
    std::vector<CNotice> m_notices;
    std::vector<std::string> m_panel;
};

// The program around the dialog: the panel path honours the lock.
class CRecordingHost : public CJobSessionHost {
public:
    CJobAppImp* GetImp() const override { return const_cast<CRecordingModel*>(&m_model); }
    BOOL IsStartedByScanner() const override { return TRUE; }
    void DispMessage(const char* text, BOOL bIsError) override {
        if (!m_bLock)
            m_panel.push_back(std::string(text) + (bIsError ? "|1" : ""));
    }
    void SetPanelLock(BOOL bLock) override { m_bLock = bLock; }
    void StiUnLock() override { ++m_nUnlocks; }

    CRecordingModel m_model;
    std::vector<std::string> m_panel;
    BOOL m_bLock = FALSE;
    int m_nUnlocks = 0;
};

// A bottom-up bilevel DIB with a diagonal line, as native transfer hands it.
HGLOBAL MakeBilevelDib(int width, int height) {
    const int stride = (width + 31) / 32 * 4;
    const size_t size = sizeof(BITMAPINFOHEADER) + 2 * sizeof(RGBQUAD) + size_t(stride) * height;
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    auto* bih = static_cast<BITMAPINFOHEADER*>(GlobalLock(h));
    bih->biSize = sizeof *bih;
    bih->biWidth = width;
    bih->biHeight = height;
    bih->biPlanes = 1;
    bih->biBitCount = 1;
    bih->biXPelsPerMeter = bih->biYPelsPerMeter = 3937; // 100 dpi
    auto* pal = reinterpret_cast<RGBQUAD*>(bih + 1);
    pal[1] = {255, 255, 255, 0}; // 0 black, 1 white
    auto* bits = reinterpret_cast<uint8_t*>(pal + 2);
    memset(bits, 0xFF, size_t(stride) * height);
    for (int y = 0; y < height && y < width; ++y)
        bits[size_t(stride) * y + y / 8] &= static_cast<uint8_t>(~(0x80 >> (y % 8)));
    GlobalUnlock(h);
    return h;
}

class Session : public ::testing::Test {
protected:
    void SetUp() override {
        char tmp[MAX_PATH];
        GetTempPathA(MAX_PATH, tmp);
        m_strTemp = tmp;
        m_strSave = m_strTemp + "session-test-saved-" + std::to_string(GetCurrentProcessId()) +
                    "-" + std::to_string(++s_nRun);
        CreateDirectoryA(m_strSave.c_str(), nullptr);
        m_pJob = new CFakeJob;
    }
    void TearDown() override {
        for (const std::string& f : ListFiles(m_strSave))
            DeleteFileA((m_strSave + "\\" + f).c_str());
        RemoveDirectoryA(m_strSave.c_str());
        m_pJob->Release();
    }
    void Configure(CJobDlg& dlg, const char* fileType, int multiPage) {
        dlg.m_Settings.m_nFunctionId = SCAN_TO_PC;
        dlg.m_Settings.m_strFileType = fileType;
        dlg.m_Settings.m_nMultiPage = multiPage;
        dlg.m_Settings.m_nTiffComp = 0;
        dlg.m_Settings.m_strFilePrefix = "scan";
        dlg.m_Settings.m_strSaveFolder = m_strSave;
        dlg.m_Settings.m_strTwainDsName = "Velmora VX-410 TWAIN";
        dlg.m_Settings.m_pJob = m_pJob;
    }
    // One page as the scan thread hands it over.
    static void SendPage(CJobDlg& dlg, HGLOBAL hDib) {
        VlmPageMessage msg{};
        msg.AnswerNo = 1;
        VlmPageInfo info{};
        info.hDib = hDib;
        const HWND h = dlg.GetSafeHwnd();
        SendMessageA(h, WM_VLM_PAGE_SCANNED0, reinterpret_cast<WPARAM>(&msg),
                     reinterpret_cast<LPARAM>(&info));
        SendMessageA(h, WM_VLM_PAGE_SCANNED, reinterpret_cast<WPARAM>(&msg),
                     reinterpret_cast<LPARAM>(&info));
    }
    static bool Exists(const std::string& path) {
        return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    }
    // Runs the dialog modally; a helper answers the one message box it shows.
    INT_PTR RunAndAnswerBox(CJobDlg& dlg, CMessageBoxInfo* pBox) {
        std::atomic<bool> bDone{false};
        std::thread answer([&] {
            while (!bDone) {
                CMessageBoxInfo box;
                if (WaitMessageBox(GetCurrentProcessId(), 200, &box)) {
                    *pBox = box;
                    PressButton(box, "OK");
                    return;
                }
            }
        });
        INT_PTR rc = dlg.DoModal();
        bDone = true;
        answer.join();
        return rc;
    }

    static inline int s_nRun = 0;
    std::string m_strTemp, m_strSave;
    CFakeJob* m_pJob = nullptr;
    CRecordingHost m_host;
};

// The temporary folder's files other than the runners' run files.
std::vector<std::string> PageFiles(const std::string& folder) {
    std::vector<std::string> pages;
    for (const std::string& f : ListFiles(folder))
        if (f.size() < 4 || f.compare(f.size() - 4, 4, ".run") != 0)
            pages.push_back(f);
    return pages;
}

} // namespace

TEST_F(Session, PagesWithinOneMillisecondNeverOverwriteEachOther) {
    CVX410JobDlg dlg(&m_host);
    Configure(dlg, "BMP", 0);
    ASSERT_TRUE(dlg.Create());
    const int kPages = 25;
    for (int i = 0; i < kPages; ++i)
        SendPage(dlg, MakeBilevelDib(16, 16));
    const auto listed = dlg.GetFileList();
    ASSERT_EQ(listed.size(), size_t(kPages));
    EXPECT_EQ(std::set<std::string>(listed.begin(), listed.end()).size(), size_t(kPages));
    for (const std::string& f : listed)
        EXPECT_TRUE(Exists(f)) << f;
    const std::string temp = dlg.GetTempFolder();

    // The dialog is modeless here: the end of the job destroys it.
    SendMessageA(dlg.GetSafeHwnd(), WM_VLM_BATCH_SCANNED, 0, 0);
    EXPECT_EQ(dlg.GetSafeHwnd(), nullptr);
    EXPECT_EQ(ListFiles(m_strSave).size(), size_t(kPages));
    EXPECT_EQ(dlg.GetSavedFiles().size(), size_t(kPages));
    EXPECT_FALSE(Exists(temp));
    EXPECT_EQ(m_host.m_panel, (std::vector<std::string>{"Sending...", "Sending complete."}));
}

TEST_F(Session, TiffAtItsSizeLimitStopsAndDeliversThePagesWrittenBeforeIt) {
    CVX410JobDlg dlg(&m_host);
    Configure(dlg, "TIFF", 1);
    ASSERT_TRUE(dlg.Create());
    SendPage(dlg, MakeBilevelDib(64, 64));
    ASSERT_EQ(dlg.GetFileList().size(), 1u);
    const std::string first = dlg.GetFileList()[0];

    // The multi-page file has grown to the limit (a sparse tail).
    LARGE_INTEGER size{}, big{};
    {
        CHandle f(CreateFileA(first.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(f);
        GetFileSizeEx(f, &size);
        big.QuadPart = (1LL << 31) - 64;
        ASSERT_TRUE(SetFilePointerEx(f, big, nullptr, FILE_BEGIN));
        ASSERT_TRUE(SetEndOfFile(f));
    }
    SendPage(dlg, MakeBilevelDib(64, 64));
    EXPECT_EQ(dlg.GetPageCounter(), 1);
    EXPECT_TRUE(dlg.IsErrorDisplayed());
    EXPECT_EQ(PageFiles(dlg.GetTempFolder()).size(), 1u); // page 2's own file is gone
    {
        CHandle f(CreateFileA(first.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(f);
        ASSERT_TRUE(SetFilePointerEx(f, size, nullptr, FILE_BEGIN));
        ASSERT_TRUE(SetEndOfFile(f));
    }

    SendMessageA(dlg.GetSafeHwnd(), WM_VLM_BATCH_SCANNED, 0, 0);
    const auto saved = ListFiles(m_strSave);
    ASSERT_EQ(saved.size(), 1u);
    vlm::CTiffFile tiff;
    ASSERT_TRUE(tiff.Open((m_strSave + "\\" + saved[0]).c_str(), 'r'));
    EXPECT_EQ(tiff.PageCount(), 1);
    EXPECT_EQ(tiff.GetTag(vlm::kTagImageWidth), 64);
    EXPECT_EQ(m_host.m_panel, (std::vector<std::string>{"TIFF file size too large.|1", "Sending...",
                                                        "TIFF file size too large.|1"}));
}

TEST_F(Session, MultiPageTiffAppendsToTheFirstFileAndListsOnlyIt) {
    CVX410JobDlg dlg(&m_host);
    Configure(dlg, "TIFF", 1);
    dlg.m_Settings.m_nTiffComp = 1; // Group 4
    ASSERT_TRUE(dlg.Create());
    for (int i = 0; i < 3; ++i)
        SendPage(dlg, MakeBilevelDib(40 + i, 30));
    EXPECT_EQ(dlg.GetPageCounter(), 3);
    ASSERT_EQ(dlg.GetFileList().size(), 1u);
    EXPECT_EQ(PageFiles(dlg.GetTempFolder()).size(), 1u);
    vlm::CTiffFile tiff;
    ASSERT_TRUE(tiff.Open(dlg.GetFileList()[0].c_str(), 'r'));
    EXPECT_EQ(tiff.PageCount(), 3);
    for (int p = 1; p <= 3; ++p) {
        ASSERT_EQ(tiff.OpenPage(p), 0);
        EXPECT_EQ(tiff.GetTag(vlm::kTagImageWidth), 39 + p);
        EXPECT_EQ(tiff.GetTag(vlm::kTagCompression), 4);
    }
    tiff.Close();
    SendMessageA(dlg.GetSafeHwnd(), WM_VLM_BATCH_SCANNED, 0, 0);
    EXPECT_EQ(ListFiles(m_strSave).size(), 1u);
}

TEST_F(Session, ARunnerLeavesALiveRunnersPagesAndKeepsThoseOfADeadOne) {
    // Another runner lives: it holds its run file, which names its page.
    std::string other, otherRun;
    CHandle hOther;
    {
        CRecordingHost host;
        CVX410JobDlg dlg(&host);
        other = dlg.GetTempFolder() + "\\scan20260101000000000.bmp";
        otherRun = dlg.GetTempFolder() + "\\kestrel 1 1.run";
        hOther.Attach(
            CreateFileA(otherRun.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
        ASSERT_TRUE(hOther);
        const std::string lines = "Job=9\r\nFile=" + other + "\r\n";
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(hOther, lines.data(), DWORD(lines.size()), &written, nullptr));
        CHandle f(CreateFileA(other.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
        ASSERT_TRUE(f);
        dlg.RecoverDeadRunners();
        // A job that ends as every job does.
        Configure(dlg, "BMP", 0);
        ASSERT_TRUE(dlg.Create());
        SendPage(dlg, MakeBilevelDib(16, 16));
        const std::string own = dlg.GetFileList().at(0);
        SendMessageA(dlg.GetSafeHwnd(), WM_VLM_BATCH_SCANNED, 0, 0);
        EXPECT_EQ(dlg.GetSafeHwnd(), nullptr);
        EXPECT_FALSE(Exists(own));
        EXPECT_TRUE(dlg.GetRecoveredFolder().empty());
    }
    EXPECT_TRUE(Exists(other));
    EXPECT_EQ(ListFiles(m_strSave).size(), 1u);

    // A job closed at once by a newer runner: nothing is delivered, and its
    // pages are kept. (One job dialog object at a time, as in a runner.)
    {
        CVX410JobDlg dlg(&m_host);
        Configure(dlg, "BMP", 0);
        ASSERT_TRUE(dlg.Create());
        SendPage(dlg, MakeBilevelDib(16, 16));
        SendPage(dlg, MakeBilevelDib(16, 16));
        const auto held = dlg.GetFileList();
        ASSERT_EQ(held.size(), 2u);
        SendMessageA(dlg.GetSafeHwnd(), WM_VLM_REQUEST_CLOSE, 0, 0);
        EXPECT_TRUE(dlg.m_bClosedByRequest);
        EXPECT_EQ(dlg.GetSafeHwnd(), nullptr);
        for (const std::string& f : held)
            EXPECT_FALSE(Exists(f)) << f;
        const std::string kept = dlg.GetRecoveredFolder();
        ASSERT_FALSE(kept.empty());
        EXPECT_EQ(ListFiles(kept).size(), 3u); // the two pages, the manifest
        vlm::DeleteRecoveredScan(kept);
    }
    EXPECT_TRUE(Exists(other));
    EXPECT_EQ(ListFiles(m_strSave).size(), 1u);

    // The other runner died while it saved, into a temporary file it noted;
    // a file of the same kind it did not note is not its own.
    const std::string part = m_strSave + "\\vlm00A1.tmp", foreign = m_strSave + "\\vlm00A2.tmp";
    for (const std::string& f : {part, foreign})
        ASSERT_TRUE(
            CHandle(CreateFileA(f.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr)));
    const std::string noted = "SaveTemp=" + part + "\r\n";
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(hOther, noted.data(), DWORD(noted.size()), &written, nullptr));
    // The other runner died: the next runner keeps its page and deletes its partial file.
    hOther.Close();
    CVX410JobDlg next(&m_host);
    next.RecoverDeadRunners();
    EXPECT_FALSE(Exists(other));
    EXPECT_FALSE(Exists(otherRun));
    EXPECT_FALSE(Exists(part));
    EXPECT_TRUE(Exists(foreign));
    DeleteFileA(foreign.c_str());
    int kept = 0;
    for (const vlm::CRecoveredScan& r : vlm::ListRecoveredScans())
        if (r.m_Record.m_nJob == 9 && r.m_Record.m_Files.size() == 1) {
            EXPECT_TRUE(Exists(r.m_strFolder + "\\scan20260101000000000.bmp"));
            kept += vlm::DeleteRecoveredScan(r.m_strFolder) ? 1 : 0;
        }
    EXPECT_EQ(kept, 1);
    Configure(next, "BMP", 0);
    ASSERT_TRUE(next.Create());
    SendMessageA(next.GetSafeHwnd(), WM_VLM_REQUEST_CLOSE, 0, 0);
    EXPECT_FALSE(Exists(next.GetTempFolder()));
}

TEST_F(Session, UnknownFileTypeWritesNothingAndTheJobFails) {
    CVX410JobDlg dlg(&m_host);
    Configure(dlg, "UNKNOWN", 0);
    ASSERT_TRUE(dlg.Create());
    SendPage(dlg, MakeBilevelDib(16, 16));
    EXPECT_TRUE(dlg.GetFileList().empty());
    EXPECT_TRUE(PageFiles(dlg.GetTempFolder()).empty());
    SendMessageA(dlg.GetSafeHwnd(), WM_VLM_BATCH_SCANNED, 0, 0);
    EXPECT_TRUE(ListFiles(m_strSave).empty());
    EXPECT_EQ(m_host.m_panel, (std::vector<std::string>{"Scan failed.|1", "Scan failed.|1"}));
}

TEST_F(Session, LogOffIsRefusedOtherSessionEndsAreNot) {
    CVX410JobDlg dlg(&m_host);
    Configure(dlg, "BMP", 0);
    ASSERT_TRUE(dlg.Create());
    EXPECT_EQ(SendMessageA(dlg.GetSafeHwnd(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), FALSE);
    EXPECT_EQ(SendMessageA(dlg.GetSafeHwnd(), WM_QUERYENDSESSION, 0, 0), TRUE);
    // A newer runner's close request ends the dialog at once.
    SendMessageA(dlg.GetSafeHwnd(), WM_VLM_REQUEST_CLOSE, 0, 0);
    EXPECT_TRUE(dlg.m_bClosedByRequest);
    EXPECT_EQ(dlg.GetSafeHwnd(), nullptr);
}

TEST_F(Session, ADataSourceThatCannotBeFoundEndsWithTheDriverFrame) {
    CVX410JobDlg dlg(&m_host);
    Configure(dlg, "BMP", 0);
    dlg.m_Settings.m_strTwainDsName = "No Such Scanner";
    const std::string temp = dlg.GetTempFolder();
    CMessageBoxInfo box;
    EXPECT_EQ(RunAndAnswerBox(dlg, &box), 2);
    EXPECT_NE(box.m_strText.find("isn't installed yet"), std::string::npos) << box.m_strText;
    ASSERT_EQ(m_host.m_model.m_notices.size(), 1u);
    const CNotice& n = m_host.m_model.m_notices[0];
    EXPECT_EQ(n.m_dwCode, 0xC00003E9u);
    EXPECT_EQ(n.m_strTitle, "Scan aborted because the error occurred by the driver.\n");
    EXPECT_EQ(n.m_strModule, "ModuleName : Kestrel\n");
    EXPECT_EQ(n.m_strText, "Error Code = 1001");
    EXPECT_FALSE(Exists(temp));
    EXPECT_FALSE(m_host.m_bLock);
}

TEST_F(Session, ASettingsFileThatCannotBeWrittenEndsWithTheTextFrame) {
    CVX410JobDlg dlg(&m_host);
    Configure(dlg, "BMP", 0);
    CVariant block;
    ASSERT_EQ(VlmMakeByteBlock("[CustomDsData]\r\n", 16, &block), S_OK);
    m_pJob->m_values["driver"] = block;
    // Something else already holds the settings file's name.
    ASSERT_TRUE(CreateDirectoryA(dlg.GetSettingsFile().c_str(), nullptr));
    CMessageBoxInfo box;
    EXPECT_EQ(RunAndAnswerBox(dlg, &box), 2);
    EXPECT_EQ(box.m_strCaption, "VX-410");
    EXPECT_NE(box.m_strText.find(dlg.GetSettingsFile()), std::string::npos) << box.m_strText;
    ASSERT_EQ(m_host.m_model.m_notices.size(), 1u);
    const CNotice& n = m_host.m_model.m_notices[0];
    EXPECT_EQ(n.m_dwCode, 0xC00003EAu);
    EXPECT_EQ(n.m_strTitle, box.m_strText);
    EXPECT_EQ(n.m_strModule, "\nModuleName : Kestrel\n");
    EXPECT_EQ(n.m_strText, "Error Code = 1002");
    RemoveDirectoryA(dlg.GetSettingsFile().c_str());
    RemoveDirectoryA(dlg.GetTempFolder().c_str());
}

TEST_F(Session, AJobValueThatCannotBeReadEndsWithTheComErrorFrame) {
    CVX410JobDlg dlg(&m_host);
    Configure(dlg, "BMP", 0);
    m_pJob->m_failures["driver"] = E_ACCESSDENIED;
    const std::string temp = dlg.GetTempFolder();
    CMessageBoxInfo box;
    EXPECT_EQ(RunAndAnswerBox(dlg, &box), 2);
    EXPECT_EQ(box.m_strText, VlmSystemMessage(static_cast<DWORD>(E_ACCESSDENIED)));
    ASSERT_EQ(m_host.m_model.m_notices.size(), 1u);
    const CNotice& n = m_host.m_model.m_notices[0];
    EXPECT_EQ(n.m_dwCode, 0xC00003EBu);
    EXPECT_EQ(n.m_strTitle, box.m_strText);
    EXPECT_EQ(n.m_strText, "Error Code = 1003");
    EXPECT_FALSE(Exists(temp));
}
