// Print and open-with-application jobs, whole program: pages in the
// simulated feeder, Start pressed on the panel, the PostScript the prefix's
// printers wrote (kept for the Ghostscript rendering check when
// VLM_PRINT_OUTPUT names a folder) and the command lines a recorder program
// was started with.
#include <gtest/gtest.h>

#include <windows.h>

#include <cmath>
#include <fstream>

#include "framework/Handles.h"

#include "CmdlineRecords.h"
#include "PrintTestPages.h"
#include "SessionFixture.h"

// Last: its A/W macros would rename names in the headers above.
#include <winspool.h>

using namespace kestreltest;
using namespace printtest;

namespace {

std::string Quoted(const std::string& s) {
    return "\"" + s + "\"";
}

// The generated A4 sheet number n as a job scans it at dpi (the data source
// renders generated sheets at the scan's own size and resolution).
TestPage A4Sheet(int bpp, int dpi, int n) {
    // TIFF pages of print jobs are compressed: Group 4, or JPEG at quality 75.
    return {static_cast<int>(std::lround(210 / 25.4 * dpi)),
            static_cast<int>(std::lround(297 / 25.4 * dpi)),
            bpp,
            dpi,
            n,
            bpp == 1 ? 4u : 6u};
}

class KestrelPrintJob : public KestrelSession {
protected:
    // A print job; its save folder (set, with "save" on) must stay empty.
    void RegisterPrintJob(int n, int scanType, int dpi, long printSize) {
        RegisterSaveJob(n, 2, kTiff, scanType, dpi, kA4);
        Set(n, "printsize", "i4", std::to_string(printSize));
    }
    void StorePrinter(int n, const char* printer) {
        KestrelSession::StorePrinter(n, DevModeOf(printer), DevNamesOf(printer));
    }
    // Start pressed; the PostScript the printer wrote for the job.
    std::string RunPrintJob(const char* printer) {
        DeleteFileA(PrinterOutput(printer).c_str());
        if (!m_pService)
            StartService();
        EXPECT_TRUE(m_pDevice->PressStart());
        EXPECT_EQ(WaitRunnerEnd(++m_nRuns), 0u) << ServiceLog();
        return ReadFileText(PrinterOutput(printer));
    }
    static int Rows(const PsPage& page, int* pWidth) {
        int rows = 0;
        for (const auto& image : page.m_images) {
            *pWidth = image.first;
            rows += image.second;
        }
        return rows;
    }
    int m_nRuns = 0;
};

TEST_F(KestrelPrintJob, ThreeBilevelA4PagesPrintAtTheirSizeAndNothingIsCopied) {
    RegisterPrintJob(30, kBw, 300, 0);
    ASSERT_EQ(Tool("feed --generate 3"), 0);
    const std::string ps = RunPrintJob(kA4Printer); // the default printer, stored at the first run
    const std::vector<PsPage> pages = PsPages(ps);
    ASSERT_EQ(pages.size(), 3u) << ps.substr(0, 2000);
    for (const PsPage& page : pages) {
        // 3507 of the 3508 rows fit the sheet: seven bands of 500 and one of 7.
        ASSERT_EQ(page.m_images.size(), 8u);
        EXPECT_EQ(page.m_images[0], std::make_pair(2480, 500));
        EXPECT_EQ(page.m_images[7], std::make_pair(2480, 7));
    }
    EXPECT_TRUE(SavedFiles().empty());
    EXPECT_FALSE(InLog("PrepareWarningFunction"));
    EXPECT_FALSE(InLog("CopyFile"));
    EXPECT_TRUE(
        InOrder(RunLog(), {"SCAN_TO_PR", "SetPrintInformation start", "SetPrintInformation end",
                           "ScanToPrinter", "CJobDlg::EndJob()"}));
    EXPECT_EQ(Panel().m_strPanelMessage, "Sending complete.");
    ExpectCleanEnd();
    KeepForRendering("job_three_a4", ps, kA4Printer, "actual",
                     {A4Sheet(1, 300, 1), A4Sheet(1, 300, 2), A4Sheet(1, 300, 3)});
}

TEST_F(KestrelPrintJob, OnTheSmallAreaPrinterShrinkToFitKeepsAllAndActualSizeCrops) {
    RegisterPrintJob(31, kBw, 300, 1);
    StorePrinter(31, kSmallPrinter);
    ASSERT_EQ(Tool("feed --generate 1"), 0);
    const std::string fit = RunPrintJob(kSmallPrinter);
    Set(31, "printsize", "i4", "0");
    ASSERT_EQ(Tool("feed --generate 1"), 0);
    const std::string actual = RunPrintJob(kSmallPrinter);

    int width = 0;
    std::vector<PsPage> pages = PsPages(fit);
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(Rows(pages[0], &width), 3508);
    EXPECT_EQ(width, 2480);
    pages = PsPages(actual);
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(Rows(pages[0], &width), 2757);
    EXPECT_EQ(width, 1880);
    KeepForRendering("job_small_fit", fit, kSmallPrinter, "fit", {A4Sheet(1, 300, 1)});
    KeepForRendering("job_small_actual", actual, kSmallPrinter, "actual", {A4Sheet(1, 300, 2)});
}

TEST_F(KestrelPrintJob, GreyAndColourPagesPrintAsSuch) {
    RegisterPrintJob(32, kGrey, 100, 0);
    ASSERT_EQ(Tool("feed --generate 1"), 0);
    const std::string grey = RunPrintJob(kA4Printer);
    RegisterPrintJob(33, kColour, 100, 0);
    ASSERT_EQ(Tool("feed --generate 1"), 0);
    const std::string colour = RunPrintJob(kA4Printer);
    EXPECT_EQ(PsPages(grey).size(), 1u);
    EXPECT_EQ(PsPages(colour).size(), 1u);
    KeepForRendering("job_grey", grey, kA4Printer, "actual", {A4Sheet(8, 100, 1)});
    KeepForRendering("job_colour", colour, kA4Printer, "actual", {A4Sheet(24, 100, 2)});
}

TEST_F(KestrelPrintJob, ThePrinterRemovedBeforeTheRunFailsThePrintAndTheNextJobPrints) {
    ASSERT_EQ(DefaultPrinter(), kA4Printer);
    RegisterPrintJob(34, kBw, 100, 0);
    StorePrinter(34, kA4Printer);
    {
        CRemovedPrinter gone(kA4Printer);
        ASSERT_TRUE(gone.Removed());
        ASSERT_EQ(Tool("feed --generate 2"), 0);
        DeleteFileA(PrinterOutput(kSmallPrinter).c_str());
        EXPECT_TRUE(RunPrintJob(kA4Printer).empty());
        // Nor does the printer that became the default print it.
        EXPECT_TRUE(ReadFileText(PrinterOutput(kSmallPrinter)).empty());
        const std::vector<std::string> panel = PanelTexts();
        EXPECT_NE(std::find(panel.begin(), panel.end(), "Print failed.|1"), panel.end());
        EXPECT_EQ(std::find(panel.begin(), panel.end(), "Sending complete."), panel.end());
        EXPECT_TRUE(InOrder(RunLog(), {"ScanToPrinter",
                                       "The job's printer \"PostScript File A4\" is not installed",
                                       "StartDoc Failed!!", "CJobDlg::EndJob()"}));
        EXPECT_TRUE(SavedFiles().empty());
        ExpectCleanEnd();
        ASSERT_TRUE(gone.Restore());
    }
    ClearRunLog();
    ASSERT_EQ(DefaultPrinter(), kA4Printer);
    ASSERT_EQ(Tool("feed --generate 1"), 0);
    EXPECT_EQ(PsPages(RunPrintJob(kA4Printer)).size(), 1u);
    EXPECT_EQ(Panel().m_strPanelMessage, "Sending complete.");
    ExpectCleanEnd();
}

class KestrelOpenJob : public KestrelSession {
protected:
    void SetUp() override {
        KestrelSession::SetUp();
        m_strAppDir = m_strDir + "\\My Viewer";
        ASSERT_TRUE(CreateDirectoryA(m_strAppDir.c_str(), nullptr));
        m_strApp = m_strAppDir + "\\cmdline_recorder.exe";
        ASSERT_TRUE(CopyRecorderTo(m_strApp));
    }
    void TearDown() override {
        EXPECT_TRUE(WaitRecordersEnd());
        KestrelSession::TearDown();
    }
    void RegisterOpenJob(int n, const std::string& app) {
        RegisterSaveJob(n, 3, kJpeg, kGrey, 100, kBusinessCard);
        Set(n, "app path", "string", app);
    }
    std::string m_strAppDir, m_strApp;
};

TEST_F(KestrelOpenJob, ThreeJpegPagesStartTheProgramThreeTimesInPageOrder) {
    RegisterOpenJob(40, m_strApp);
    ScanSheets(3, 100, 150, 8);
    const std::vector<std::string> saved = SavedFiles(); // names sort in page order
    ASSERT_EQ(saved.size(), 3u);
    const std::vector<std::string> records = WaitRecords(m_strAppDir, 3);
    ASSERT_EQ(records.size(), 3u);
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(records[i], Quoted(m_strApp) + " " + Quoted(m_strSave + "\\" + saved[i]));
    EXPECT_EQ(Panel().m_strPanelMessage, "Sending complete.");
    ExpectCleanEnd();
}

TEST_F(KestrelOpenJob, ASaveOffJobStartsNothing) {
    RegisterOpenJob(41, m_strApp);
    Set(41, "save", "i2", "0");
    ScanSheets(2, 100, 150, 8);
    EXPECT_TRUE(InLog("ScanToApplication"));
    // A program started by the job would still run or would have written its line.
    EXPECT_EQ(RecordersRunning(), 0);
    EXPECT_TRUE(ReadFileText(m_strAppDir + "\\cmdlines.txt").empty());
    ExpectCleanEnd();
}

TEST_F(KestrelOpenJob, AMissingProgramShowsCantLaunchAndKeepsTheSavedFiles) {
    RegisterOpenJob(42, m_strAppDir + "\\gone.exe");
    ScanSheets(2, 100, 150, 8);
    EXPECT_EQ(Panel().m_strPanelMessage, "Can't launch application.");
    EXPECT_EQ(Panel().m_nDisplayKind, vx410sim::kDisplayError);
    EXPECT_EQ(SavedFiles().size(), 2u);
    // It stopped at the first file.
    EXPECT_EQ(CountInLog("CreateProcess(" + Quoted(m_strAppDir + "\\gone.exe") + " " +
                         Quoted(m_strSave + "\\" + SavedFiles()[0]) + ") failed (error 2)"),
              1);
    EXPECT_FALSE(InLog("DispMessageToScaner Start msg = Sending complete.  iserror = 0"));
    ExpectCleanEnd();
}

TEST_F(KestrelOpenJob, ACommandLineFarBeyond520BytesWorks) {
    // A program and a save folder each near the platform's path limit.
    auto deep = [this](const std::string& leaf, size_t length) {
        std::string folder = m_strDir + "\\" + leaf;
        while (folder.size() + 60 < length)
            folder += "\\" + std::string(50, 'd');
        folder += "\\" + std::string(length - 2 - folder.size(), 'e'); // length - 1 in all
        std::string made;
        for (size_t p = 0; p != std::string::npos;) {
            p = folder.find('\\', p + 1);
            made = folder.substr(0, p);
            CreateDirectoryA(made.c_str(), nullptr);
        }
        return folder;
    };
    // 259 characters each: the program (238 + 21) and the saved file (233 + 26).
    const std::string appDir = deep("app folder", 239);
    const std::string app = appDir + "\\cmdline_recorder.exe";
    ASSERT_TRUE(CopyRecorderTo(app)) << app;
    m_strSave = deep("save folder", 234);
    RegisterOpenJob(43, app);
    ScanSheets(1, 100, 150, 8);
    const std::vector<std::string> saved = SavedFiles();
    ASSERT_EQ(saved.size(), 1u);
    const std::vector<std::string> records = WaitRecords(appDir, 1);
    ASSERT_EQ(records.size(), 1u);
    const std::string want = Quoted(app) + " " + Quoted(m_strSave + "\\" + saved[0]);
    EXPECT_GT(want.size(), 520u);
    EXPECT_EQ(records[0], want);
}

} // namespace
