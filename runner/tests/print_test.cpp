// The print delivery under Wine, with the real job store, the spooler and the
// prefix's PostScript printers: the default printer written into a job at its
// first run, the pages as the driver received them (PostScript), bands, bad
// files, a printer that is gone, a spooler that fails. When VLM_PRINT_OUTPUT
// names a folder, the PostScript of the page checks is kept there with a list
// of what each page should show, for the Ghostscript rendering check.
#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <sstream>

#include "ProcessDriver.h"
#include "TestStore.h"
#include "common/JobRecord.h"
#include "common/VlmLog.h"
#include "components/vx410sim/pagegen.h"
#include "framework/ComError.h"
#include "framework/Handles.h"
#include "framework/Variant.h"
#include "imaging/TiffSharedLibraries.h"
#include "imaging/tiff.h"
#include "runner/PrintDelivery.h"
#include "PrintTestPages.h"

// Last: its A/W macros would rename names in the headers above.
#include <winspool.h>

using namespace kestreltest;
using namespace printtest;

namespace {

struct Shown {
    std::string m_strText;
    BOOL m_bError;
};

class PrintTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_strDir = NewTempFolder("kestrel-print");
        ASSERT_FALSE(m_strDir.empty());
        m_strLog = m_strDir + "\\run.log";
        CVlmLog::Instance().OpenPath(m_strLog.c_str());
        m_store.Open(m_strDir);
        m_pJob = NewJob(3);
        m_strDefault = DefaultPrinter();
        ASSERT_FALSE(m_strDefault.empty()) << "the prefix has no default printer";
        VlmTiffUseSharedLibraries();
    }
    void TearDown() override {
        if (!m_strDefault.empty() && DefaultPrinter() != m_strDefault)
            SetDefaultPrinterA(m_strDefault.c_str());
        m_pJob.Release();
        m_store.Close();
        CVlmLog::Instance().Close();
        RemoveTree(m_strDir);
    }

    CComPtr<IJobData> NewJob(long number) {
        CComPtr<IJobData> job = m_store.Job(number);
        JobSetValue(job, "title", CVariant("Print"));
        JobSetValue(job, "function id", CVariant(2L));
        ThrowIfFailed(job->Commit(), IID_IJobData);
        return job;
    }
    // The job as another store object reads it back from the file.
    CComPtr<IJobData> Reread(long number) {
        CComPtr<IJobStore> store = CreateJobStore(23);
        PrepareJobStore(store, "VX-410", 0);
        CComPtr<IJobData> job;
        ThrowIfFailed(store->GetJob(number, &job), IID_IJobStore);
        return job;
    }
    void StorePrinter(const std::string& device, const char* modeOf, long printSize) {
        CVariant block;
        const std::vector<uint8_t> mode = DevModeOf(modeOf);
        ASSERT_FALSE(mode.empty());
        ASSERT_TRUE(SUCCEEDED(VlmMakeByteBlock(mode.data(), mode.size(), block.Receive())));
        JobSetValue(m_pJob, "devmode", block);
        const std::vector<uint8_t> names = DevNamesOf(device);
        ASSERT_TRUE(SUCCEEDED(VlmMakeByteBlock(names.data(), names.size(), block.Receive())));
        JobSetValue(m_pJob, "devname", block);
        JobSetValue(m_pJob, "Flags", CVariant(0x14010CL));
        for (const char* key : {"nFromPage", "nToPage", "nMinPage", "nMaxPage"})
            JobSetValue(m_pJob, key, CVariant(0L));
        JobSetValue(m_pJob, "nCopies", CVariant(1L));
        JobSetValue(m_pJob, "printsize", CVariant(printSize));
        ThrowIfFailed(m_pJob->Commit(), IID_IJobData);
    }
    // PrintFiles with the printer's file removed first (unless keep); the
    // PostScript the spooler wrote ("" when none).
    BOOL Print(const std::vector<std::string>& files, const char* printer, std::string& ps,
               bool keep = false) {
        if (!keep)
            DeleteFileA(PrinterOutput(printer).c_str());
        CPrintContext ctx;
        ctx.m_pJob = m_pJob;
        ctx.m_fnDispMessage = [this](const char* text, BOOL bError) {
            m_shown.push_back({text, bError});
        };
        const BOOL ok = PrintFiles(ctx, files);
        ps = ReadFileText(PrinterOutput(printer));
        return ok;
    }
    std::string Tiff(const std::string& name, const std::vector<TestPage>& pages) {
        const std::string path = m_strDir + "\\" + name;
        EXPECT_TRUE(WriteTestTiff(path, pages)) << path;
        return path;
    }
    bool LogHas(const std::string& part) {
        return ReadFileText(m_strLog).find(part) != std::string::npos;
    }

    std::string m_strDir, m_strLog, m_strDefault;
    CTestStore m_store;
    CComPtr<IJobData> m_pJob;
    std::vector<Shown> m_shown;
};

// ---- the printer at start-up --------------------------------------------------

TEST_F(PrintTest, AJobWithoutPrinterGetsTheDefaultPrinterAtItsFirstRun) {
    JobSettings s;
    s.m_strFilePrefix = "left over";
    ASSERT_TRUE(SetPrintInformation(m_pJob, s));
    EXPECT_TRUE(s.m_strFilePrefix.empty());

    CComPtr<IJobData> job = Reread(3);
    const CVariant mode = JobGetValue(job, "devmode"), names = JobGetValue(job, "devname");
    EXPECT_EQ(mode.vt, VT_ARRAY | VT_I1);
    EXPECT_EQ(names.vt, VT_ARRAY | VT_I1);
    std::vector<uint8_t> m, n;
    ASSERT_TRUE(SUCCEEDED(VlmReadByteBlock(mode, m)));
    ASSERT_TRUE(SUCCEEDED(VlmReadByteBlock(names, n)));
    ASSERT_GE(m.size(), sizeof(DEVMODEA) - 32);
    const DEVMODEA* dm = reinterpret_cast<const DEVMODEA*>(m.data());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(dm->dmDeviceName)), m_strDefault);
    EXPECT_GE(m.size(), size_t(dm->dmSize) + dm->dmDriverExtra);
    ASSERT_GE(n.size(), sizeof(DEVNAMES));
    const DEVNAMES* dn = reinterpret_cast<const DEVNAMES*>(n.data());
    ASSERT_LT(dn->wDeviceOffset, n.size());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(n.data()) + dn->wDeviceOffset),
              m_strDefault);

    const long flags = JobGetLong(job, "Flags");
    EXPECT_EQ(flags & 0x3F400, 0);
    EXPECT_EQ(flags & 0x14000C, 0x14000C);
    EXPECT_EQ(JobGetValue(job, "Flags").vt, VT_I4);
    for (const char* key : {"nFromPage", "nToPage", "nMinPage", "nMaxPage", "nCopies"})
        EXPECT_EQ(JobGetValue(job, key).vt, VT_I4) << key;
    EXPECT_TRUE(LogHas("SetPrintInformation start"));
    EXPECT_TRUE(LogHas("SetPrintInformation end"));
}

TEST_F(PrintTest, AStoredPrinterIsLeftAsItIs) {
    StorePrinter(kSmallPrinter, kSmallPrinter, 1);
    JobSettings s;
    ASSERT_TRUE(SetPrintInformation(m_pJob, s));
    CComPtr<IJobData> job = Reread(3);
    std::vector<uint8_t> n;
    ASSERT_TRUE(SUCCEEDED(VlmReadByteBlock(JobGetValue(job, "devname"), n)));
    EXPECT_EQ(n, DevNamesOf(kSmallPrinter));
    EXPECT_EQ(JobGetLong(job, "Flags"), 0x14010C);
}

TEST_F(PrintTest, NoStoredAndNoDefaultPrinterIsRefusedAndNothingIsWritten) {
    ASSERT_TRUE(RemoveDefaultPrinter());
    JobSettings s;
    EXPECT_FALSE(SetPrintInformation(m_pJob, s));
    EXPECT_TRUE(JobGetValue(Reread(3), "devmode").IsEmpty());
    EXPECT_TRUE(JobGetValue(Reread(3), "Flags").IsEmpty());
    EXPECT_FALSE(LogHas("SetPrintInformation end"));
}

// ---- printing -------------------------------------------------------------------

TEST_F(PrintTest, ThreeBilevelA4PagesGiveThreeSheetsOfTheirRowsInBands) {
    StorePrinter(kA4Printer, kA4Printer, 0);
    std::vector<std::string> files;
    for (int n = 1; n <= 3; ++n)
        files.push_back(Tiff("page" + std::to_string(n) + ".tif", {{2480, 3508, 1, 300, n, 4}}));
    std::string ps;
    ASSERT_TRUE(Print(files, kA4Printer, ps));
    EXPECT_TRUE(m_shown.empty());
    const std::vector<PsPage> pages = PsPages(ps);
    ASSERT_EQ(pages.size(), 3u) << ps.substr(0, 2000);
    EXPECT_NE(ps.find("%%Title: JobPrint"), std::string::npos);
    EXPECT_NE(ps.find("%%Pages: 3"), std::string::npos);
    for (const PsPage& page : pages) {
        // The A4 sheet holds 3507 whole rows of the 3508 (7015 printer rows at
        // 600 dpi): seven bands of 500 and one of 7, all 2480 wide.
        ASSERT_EQ(page.m_images.size(), 8u);
        for (size_t i = 0; i < 8; ++i) {
            EXPECT_EQ(page.m_images[i].first, 2480);
            EXPECT_EQ(page.m_images[i].second, i < 7 ? 500 : 7);
        }
    }
    // Each file is logged before its pages and after each page drawn.
    for (const std::string& f : files)
        EXPECT_TRUE(LogHas(f));
    KeepForRendering(
        "three_a4", ps, kA4Printer, "actual",
        {{2480, 3508, 1, 300, 1, 4}, {2480, 3508, 1, 300, 2, 4}, {2480, 3508, 1, 300, 3, 4}});
}

TEST_F(PrintTest, APageOf1200RowsGoesToTheDriverAs500And500And200) {
    StorePrinter(kA4Printer, kA4Printer, 1);
    std::string ps;
    // A longer job first: the printer's file holds only the later job.
    ASSERT_TRUE(Print({Tiff("long.tif", {{2480, 3508, 1, 300, 3, 4}, {2480, 3508, 1, 300, 4, 4}})},
                      kA4Printer, ps));
    ASSERT_TRUE(Print({Tiff("tall.tif", {{1000, 1200, 1, 300, 4, 1}})}, kA4Printer, ps, true));
    EXPECT_EQ(ps.substr(ps.size() - 6), "%%EOF\n");
    const std::vector<PsPage> pages = PsPages(ps);
    ASSERT_EQ(pages.size(), 1u);
    ASSERT_EQ(pages[0].m_images.size(), 3u);
    EXPECT_EQ(pages[0].m_images[0], std::make_pair(1000, 500));
    EXPECT_EQ(pages[0].m_images[1], std::make_pair(1000, 500));
    EXPECT_EQ(pages[0].m_images[2], std::make_pair(1000, 200));
}

TEST_F(PrintTest, OnASmallAreaShrinkToFitSendsAllRowsAndActualSizeCrops) {
    const TestPage a4{2480, 3508, 1, 300, 5, 4};
    const std::string file = Tiff("a4.tif", {a4});
    std::string fit, actual;
    StorePrinter(kSmallPrinter, kSmallPrinter, 1);
    ASSERT_TRUE(Print({file}, kSmallPrinter, fit));
    StorePrinter(kSmallPrinter, kSmallPrinter, 0);
    // Over the longer shrunk job: the printer's file holds only this one.
    ASSERT_TRUE(Print({file}, kSmallPrinter, actual, true));

    // Shrunk: every row and column of the page, in 8 bands.
    std::vector<PsPage> pages = PsPages(fit);
    ASSERT_EQ(pages.size(), 1u);
    int rows = 0;
    for (const auto& image : pages[0].m_images) {
        EXPECT_EQ(image.first, 2480);
        rows += image.second;
    }
    EXPECT_EQ(rows, 3508);
    // Actual size: the 1880 x 2757 printer pixels of the area are 1880
    // columns and 2757 rows of the 300 dpi page.
    pages = PsPages(actual);
    ASSERT_EQ(pages.size(), 1u);
    rows = 0;
    for (const auto& image : pages[0].m_images) {
        EXPECT_EQ(image.first, 1880);
        rows += image.second;
    }
    EXPECT_EQ(rows, 2757);
    KeepForRendering("small_fit", fit, kSmallPrinter, "fit", {a4});
    KeepForRendering("small_actual", actual, kSmallPrinter, "actual", {a4});
}

TEST_F(PrintTest, GreyAndColourPagesPrintAsSuchCompressedOrNot) {
    StorePrinter(kA4Printer, kA4Printer, 0);
    const std::vector<TestPage> pages = {{1240, 1754, 8, 150, 6, 6},
                                         {1240, 1754, 24, 150, 7, 6},
                                         {1000, 800, 8, 200, 8, 1},
                                         {1000, 800, 24, 200, 9, 1}};
    std::vector<std::string> files;
    for (size_t i = 0; i < pages.size(); ++i)
        files.push_back(Tiff("deep" + std::to_string(i) + ".tif", {pages[i]}));
    std::string ps;
    ASSERT_TRUE(Print(files, kA4Printer, ps));
    ASSERT_EQ(PsPages(ps).size(), 4u);
    KeepForRendering("deep", ps, kA4Printer, "actual", pages);
}

TEST_F(PrintTest, APageThatCannotBePrintedEndsItsFileAndTheNextFilePrints) {
    StorePrinter(kA4Printer, kA4Printer, 1);
    const TestPage small{600, 400, 1, 300, 10, 4};
    const std::string good1 = Tiff("good1.tif", {small});
    const std::string fourBits = Tiff("four.tif", {{600, 400, 4, 300, 11, 1}, small});
    const std::string middle = Tiff("middle.tif", {small, {600, 400, 4, 300, 12, 1}, small});
    const std::string broken = Tiff("broken.tif", {small});
    ASSERT_TRUE(DamageStrip(broken));
    const std::string text = m_strDir + "\\notes.tif";
    std::ofstream(text) << "not an image";
    const std::string palette = Tiff("palette.tif", {{600, 400, 8, 300, 13, 1}});
    ASSERT_TRUE(SetPhotometric(palette, 3));
    const std::string good2 = Tiff("good2.tif", {small});

    std::string ps;
    ASSERT_TRUE(Print({good1, fourBits, middle, broken, text, palette, good2}, kA4Printer, ps));
    EXPECT_TRUE(m_shown.empty());
    // good1, the first page of middle, good2.
    EXPECT_EQ(PsPages(ps).size(), 3u);
    EXPECT_TRUE(
        LogHas(fourBits + ": page 1 is not printed, 4 bits per pixel are not printed (error 87)"));
    EXPECT_TRUE(LogHas(middle + ": page 2 is not printed, 4 bits per pixel"));
    EXPECT_TRUE(LogHas(broken + ": page 1 is not printed, its image data cannot be read"));
    EXPECT_TRUE(LogHas(text + ": not a TIFF file that can be read"));
    EXPECT_TRUE(LogHas(palette + ": page 1 is not printed, colour map (palette) images"));
}

TEST_F(PrintTest, APrinterThatIsGoneFailsThePrintAndNoOtherPrints) {
    StorePrinter("Removed Printer", kSmallPrinter, 0);
    ASSERT_EQ(m_strDefault, kA4Printer);
    std::string ps;
    EXPECT_FALSE(Print({Tiff("p.tif", {{600, 400, 1, 300, 13, 4}})}, kA4Printer, ps));
    EXPECT_TRUE(ps.empty());
    ASSERT_EQ(m_shown.size(), 1u);
    EXPECT_EQ(m_shown[0].m_strText, "Print failed.");
    EXPECT_TRUE(m_shown[0].m_bError);
    EXPECT_TRUE(LogHas("The job's printer \"Removed Printer\" is not installed"));
    EXPECT_TRUE(LogHas("StartDoc Failed!!"));
}

TEST_F(PrintTest, WithoutAnyPrinterOrWhenTheSpoolerFailsThePrintFails) {
    const std::string file = Tiff("p.tif", {{600, 400, 1, 300, 14, 4}});
    std::string ps;
    // The spooler cannot write the port file: a folder stands in its place.
    StorePrinter(kSmallPrinter, kSmallPrinter, 0);
    DeleteFileA(PrinterOutput(kSmallPrinter).c_str());
    ASSERT_TRUE(CreateDirectoryA(PrinterOutput(kSmallPrinter).c_str(), nullptr));
    CPrintContext ctx;
    ctx.m_pJob = m_pJob;
    ctx.m_fnDispMessage = [this](const char* text, BOOL bError) {
        m_shown.push_back({text, bError});
    };
    EXPECT_FALSE(PrintFiles(ctx, {file}));
    RemoveDirectoryA(PrinterOutput(kSmallPrinter).c_str());
    ASSERT_EQ(m_shown.size(), 1u);
    EXPECT_EQ(m_shown[0].m_strText, "Print failed.");
    EXPECT_TRUE(m_shown[0].m_bError);
    EXPECT_TRUE(LogHas("EndDoc Failed!! "));

    // No printer at all: the stored one is gone and there is no default.
    m_shown.clear();
    StorePrinter("Removed Printer", kSmallPrinter, 0);
    ASSERT_TRUE(RemoveDefaultPrinter());
    EXPECT_FALSE(Print({file}, kA4Printer, ps));
    EXPECT_TRUE(ps.empty());
    ASSERT_EQ(m_shown.size(), 1u);
    EXPECT_EQ(m_shown[0].m_strText, "Print failed.");
    EXPECT_TRUE(LogHas("StartDoc Failed!!"));
}

} // namespace
