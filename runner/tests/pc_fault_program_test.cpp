// Whole jobs meeting what a user's PC does to them: the save folder's disk
// fills, the share goes away. Each job ends with its error on the panel,
// leaves no file in the save folder that looks whole and is not, keeps what
// was scanned, and the next Start runs a normal job.
// runner/tests/fault_jobs.sh runs these with a small disk it mounts.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>

#include "PcFaults.h"
#include "SessionFixture.h"
#include "framework/Handles.h"

using namespace kestreltest;

namespace {

std::string Listing(const std::vector<std::string>& names) {
    std::string all;
    for (const std::string& n : names)
        all += " " + n;
    return all;
}

std::string SystemText(DWORD code) {
    char text[512] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                   text, sizeof text, nullptr);
    std::string s = text;
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r'))
        s.pop_back();
    return s;
}

} // namespace

class KestrelFault : public KestrelSession {
protected:
    // The runs-th runner ended the job as failed with text on the panel, as
    // an error, and never said "Sending complete.".
    void ExpectFailedJob(int runs, const char* text) {
        EXPECT_EQ(WaitRunnerEnd(runs), 0u) << ServiceLog();
        EXPECT_EQ(Panel().m_strPanelMessage, text);
        EXPECT_EQ(Panel().m_nDisplayKind, vx410sim::kDisplayError);
        EXPECT_FALSE(InLog("msg = Sending complete."));
        ExpectCleanEnd();
    }
};

TEST_F(KestrelFault, TheSaveDiskFullInAMultiPageJobLeavesNoFileThatLooksWhole) {
    const char* drive = std::getenv("VLM_SMALL_DRIVE");
    if (!drive)
        GTEST_SKIP() << "run by fault_jobs.sh, which mounts the small disk";
    m_strSave = std::string(drive) + "\\scans";
    ASSERT_TRUE(CreateDirectoryA(m_strSave.c_str(), nullptr));
    const std::string filler = std::string(drive) + "\\filler";
    // Three uncompressed grey A4 pages make one TIFF of some 2.9 MB; a third
    // of it fits.
    ASSERT_TRUE(FillDiskLeaving(m_strSave, filler, 1024 * 1024));
    RegisterSaveJob(50, 0, kTiff, kGrey, 100, kA4);
    Set(50, "tiff_MultiPage", "i4", "1");
    ScanSheets(3, 100, 150, 8);
    ExpectFailedJob(1, "Can't access folder.");
    EXPECT_TRUE(InOrder(RunLog(), {"SaveFile succeeded", "SaveFile succeeded", "SaveFile succeeded",
                                   "CopyFile Failed!: " + SystemText(ERROR_DISK_FULL)}));
    EXPECT_TRUE(SavedFiles().empty()) << Listing(SavedFiles());
    // The document of all three pages is kept whole.
    const std::string kept = ExpectPagesRecovered(1, 3, "Can't access folder.");
    WIN32_FILE_ATTRIBUTE_DATA a{};
    ASSERT_TRUE(GetFileAttributesExA((kept + "\\" + WrittenPageNames()[0]).c_str(),
                                     GetFileExInfoStandard, &a));
    EXPECT_GE(a.nFileSizeLow, 3u * 827 * 1169);

    // Room again: the next job saves.
    ASSERT_TRUE(DeleteFileA(filler.c_str()));
    ExpectNextJobSaves(2);
}

TEST_F(KestrelFault, AShareGoneBetweenStartUpAndTheCopyFailsWithCantAccessFolder) {
    CShare share;
    ASSERT_TRUE(share.Made());
    m_strSave = share.Folder();
    // The jam at page 2 holds the job at its question; the share goes
    // meanwhile, and Yes sends page 1 to it.
    FaultAtPageTwo(51, kJpeg, kGrey, 8, "jam", "(-4426)", kJamQuestion, "Yes",
                   [&] { ASSERT_TRUE(share.Remove()); });
    ExpectFailedJob(1, "Can't access folder.");
    EXPECT_TRUE(InOrder(RunLog(), {"PrepareWarningFunction end", "SaveFile succeeded",
                                   "m_Scan.ReleaseDriver end"}));
    EXPECT_TRUE(InLog("WNetAddConnection2 Failed!: "));
    EXPECT_FALSE(InLog("CopyFile"));
    ExpectPagesRecovered(1, 1, "Can't access folder.");

    // The share back and the jam cleared: the next job saves.
    ASSERT_TRUE(share.Return());
    EXPECT_TRUE(SavedFiles().empty());
    ASSERT_EQ(Tool("clear"), 0);
    ClearRunLog();
    ExpectNextJobSaves(2);
}
