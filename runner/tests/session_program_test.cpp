// The job session as a user meets it: jobs registered in the store, sheets in
// the simulated feeder, Start pressed on the panel (or kestrel started by
// hand), message boxes answered, then the save folder, the temporary folder,
// the store and the panel looked at.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <set>

#include "SessionFixture.h"

using namespace kestreltest;

namespace {

// prefix "scan", 17 digits of local time, an optional "-N", the extension.
bool IsPageFileName(const std::string& name, const std::string& ext) {
    if (name.compare(0, 4, "scan") != 0 || name.size() < 4 + 17 + ext.size())
        return false;
    for (size_t i = 4; i < 21; ++i)
        if (!isdigit(static_cast<unsigned char>(name[i])))
            return false;
    const std::string tail = name.substr(21, name.size() - 21 - ext.size());
    if (!tail.empty() && (tail[0] != '-' || tail.size() < 2 ||
                          !std::all_of(tail.begin() + 1, tail.end(), ::isdigit)))
        return false;
    return name.compare(name.size() - ext.size(), ext.size(), ext) == 0;
}

} // namespace

TEST_F(KestrelSession, AFastBatchLandsAsOneFilePerPageWithDistinctNames) {
    // Small bilevel pages arrive faster than the clock's millisecond.
    RegisterSaveJob(11, 0, kBmp, kBw, 50, kBusinessCard);
    FeedSheets(12, 40, 60, 1);
    StartService();
    EXPECT_EQ(PressStartAndWait(), 0u) << ServiceLog();

    const auto files = SavedFiles();
    EXPECT_EQ(files.size(), 12u);
    for (const std::string& f : files)
        EXPECT_TRUE(IsPageFileName(f, ".bmp")) << f;
    EXPECT_EQ(CountInLog("SaveFile succeeded"), 12);
    EXPECT_EQ(CountInLog("CopyFile OK!"), 12);
    EXPECT_EQ(LastJobNum(), 11);
    ExpectCleanEnd();

    // The panel: scanning, sending, complete; nothing else while pages came in.
    EXPECT_EQ(PanelTexts(), (std::vector<std::string>{"Please wait.", "Scanning...", "Sending...",
                                                      "Sending complete."}));
    EXPECT_EQ(Panel().m_strPanelMessage, "Sending complete.");
    EXPECT_EQ(Panel().m_nDisplayKind, vx410sim::kDisplayNormal);
    EXPECT_TRUE(InOrder(RunLog(), {"CJobDlg::OnBatchScanned(0x0, 0x0)",
                                   "CJobDlg::OnBatchScanned() bRtn!=FALSE", "CJobDlg::EndJob()",
                                   "EndJob() !m_IsMonitorOpen", "CJobDlg::OnBatchScanned() end",
                                   "DoModal end", "StiUnLock end"}));
}

TEST_F(KestrelSession, PaperJamAtPageTwoAsksAndYesDeliversPageOne) {
    FaultAtPageTwo(12, kTiff, kBw, 1, "jam", "(-4426)", kJamQuestion, "Yes");
    const auto files = SavedFiles();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(IsPageFileName(files[0], ".tif"));
    ExpectCleanEnd();
    EXPECT_TRUE(InOrder(PanelTexts(), {"Scanning...", "Error occured. See PC.|1", "Scan failed.|1",
                                       "Sending...", "Sending complete."}));
}

TEST_F(KestrelSession, PaperJamAnsweredNoDeliversNothing) {
    FaultAtPageTwo(13, kTiff, kBw, 1, "jam", "(-4426)", kJamQuestion, "No");
    EXPECT_TRUE(SavedFiles().empty());
    EXPECT_EQ(CountInLog("SaveFile succeeded"), 1); // page 1 was written, then thrown away
    EXPECT_FALSE(InLog("Sending..."));
    ExpectCleanEnd();
    EXPECT_EQ(Panel().m_strPanelMessage, "Scan failed.");
    EXPECT_EQ(Panel().m_nDisplayKind, vx410sim::kDisplayError);
}

TEST_F(KestrelSession, DoubleFeedAtPageTwoAsksItsOwnQuestion) {
    FaultAtPageTwo(14, kPdf, kGrey, 8, "doublefeed", "(-4619)", kDoubleFeedQuestion, "Yes");
    const auto files = SavedFiles();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(IsPageFileName(files[0], ".pdf"));
    ExpectCleanEnd();
}

TEST_F(KestrelSession, NoPaperStartedByHandShowsTheScanFailedBox) {
    RegisterSaveJob(15, 0, kBmp, kBw, 100, kBusinessCard);
    StartService("--no-launch");
    CProcess k;
    ASSERT_TRUE(k.Start(KestrelCommand(false)));
    CUiDialogInfo d = WaitBox("(-4401)");
    ASSERT_TRUE(d.m_hWnd);
    std::string all;
    for (const auto& t : d.m_texts)
        all += t + "\n";
    EXPECT_NE(all.find("Scan failed."), std::string::npos) << all;
    ASSERT_TRUE(UiPressButton(d, "OK"));
    EXPECT_EQ(k.Wait(60000), 0u);
    EXPECT_TRUE(SavedFiles().empty());
    EXPECT_FALSE(TempJobFolderExists());
    EXPECT_EQ(Panel().m_strPanelMessage, "Error occured. See PC.");
    EXPECT_EQ(Panel().m_nDisplayKind, vx410sim::kDisplayError);
}

TEST_F(KestrelSession, MailJobThatFindsNoPaperEndsAndFreesTheScanner) {
    // Nothing is sent, so no sender could end the job: the batch ends it.
    RegisterSaveJob(16, 1, kPdf, kBw, 100, kBusinessCard);
    StartService();
    EXPECT_EQ(PressStartAndWait(), 0u) << ServiceLog();
    EXPECT_TRUE(
        InOrder(RunLog(), {"SCAN_TO_MAIL", "CJobDlg::OnBatchScanned(0x0, 0x0)", "CJobDlg::EndJob()",
                           "CJobDlg::OnBatchScanned() end", "DoModal end"}));
    EXPECT_TRUE(SavedFiles().empty());
    ExpectCleanEnd();
    EXPECT_EQ(Panel().m_strPanelMessage, "No page was found in the feeder.");
}

TEST_F(KestrelSession, DeliveriesNotBuiltEndAsFailedNeverAsComplete) {
    // Mail: the files are saved first, then the sending fails.
    RegisterSaveJob(17, 1, kJpeg, kGrey, 100, kBusinessCard);
    ASSERT_EQ(Taskstore("common set MailSize i4 10"), 0);
    FeedSheets(2, 100, 150, 8);
    StartService();
    EXPECT_EQ(PressStartAndWait(), 0u) << ServiceLog();
    EXPECT_EQ(SavedFiles().size(), 2u);
    EXPECT_TRUE(
        InOrder(RunLog(), {"ScanToMail", "the mail delivery is not built: nothing is delivered",
                           "CJobDlg::EndJob()"}));
    EXPECT_EQ(Panel().m_strPanelMessage, "Sending failed.");
    EXPECT_EQ(Panel().m_nDisplayKind, vx410sim::kDisplayError);
    EXPECT_FALSE(InLog("DispMessageToScaner Start msg = Sending complete.  iserror = 0"));
    ExpectCleanEnd();
}

TEST_F(KestrelSession, MailOverItsSizeStopsAtThatPageAndDeliversNothing) {
    RegisterSaveJob(18, 1, kBmp, kGrey, 200, kA4);
    ASSERT_EQ(Taskstore("common set MailSize i4 1"), 0); // 1 MiB; one grey A4 page is ~3.8 MiB
    FeedSheets(3, 200, 200, 8);
    StartService();
    EXPECT_EQ(PressStartAndWait(), 0u) << ServiceLog();
    EXPECT_EQ(CountInLog("SaveFile succeeded"), 1);
    EXPECT_TRUE(
        InOrder(RunLog(), {"CScan::ScanCancel", "CJobDlg::OnBatchScanned() m_ErrorDisplaied 1",
                           "File size too large.", "CJobDlg::EndJob()"}));
    EXPECT_TRUE(SavedFiles().empty());
    EXPECT_FALSE(InLog("ScanToMail"));
    EXPECT_EQ(Panel().m_strPanelMessage, "File size too large.");
    ExpectCleanEnd();
}

TEST_F(KestrelSession, APageThatCannotBeWrittenIsNeverDelivered) {
    // JPEG takes no bilevel page: the first page leaves no file, the scan stops.
    RegisterSaveJob(19, 0, kJpeg, kBw, 100, kBusinessCard);
    FeedSheets(2, 100, 150, 1);
    StartService();
    EXPECT_EQ(PressStartAndWait(), 0u) << ServiceLog();
    EXPECT_EQ(CountInLog("SaveFile failed"), 1);
    EXPECT_EQ(CountInLog("SaveFile succeeded"), 0);
    EXPECT_TRUE(SavedFiles().empty());
    EXPECT_EQ(Panel().m_strPanelMessage, "Scan failed.");
    EXPECT_EQ(Panel().m_nDisplayKind, vx410sim::kDisplayError);
    ExpectCleanEnd();
}

TEST_F(KestrelSession, MultiPageTiffListsOneFileAndJpegOneFilePerPage) {
    RegisterSaveJob(20, 0, kTiff, kBw, 100, kBusinessCard);
    Set(20, "tiff_MultiPage", "i4", "1");
    Set(20, "tiff_Comp", "i4", "1");
    FeedSheets(3, 100, 150, 1);
    StartService();
    EXPECT_EQ(PressStartAndWait(), 0u) << ServiceLog();
    auto files = SavedFiles();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(IsPageFileName(files[0], ".tif"));
    EXPECT_EQ(CountInLog("ConcatTiff 001"), 2);
    ExpectCleanEnd();
}

TEST_F(KestrelSession, SinglePageJpegIsOneFilePerPage) {
    RegisterSaveJob(21, 0, kJpeg, kColour, 100, kBusinessCard);
    FeedSheets(3, 100, 150, 24);
    StartService();
    EXPECT_EQ(PressStartAndWait(), 0u) << ServiceLog();
    const auto files = SavedFiles();
    ASSERT_EQ(files.size(), 3u);
    for (const std::string& f : files)
        EXPECT_TRUE(IsPageFileName(f, ".jpg")) << f;
    ExpectCleanEnd();
}

namespace {
ULONGLONG FolderBytes(const std::string& folder) {
    ULONGLONG total = 0;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((folder + "\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    do {
        const std::string name = fd.cFileName;
        if (name == "." || name == "..")
            continue;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            total += FolderBytes(folder + "\\" + name);
        else
            total += (ULONGLONG(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    return total;
}
} // namespace

class KestrelFolderWarning : public KestrelSession {
protected:
    // Two watched folders that hold the save folder, both under their limits
    // at the start and both over them once the first page (about 3.8 MiB) is
    // written: entry 1 watches the test folder, entry 3 the save folder.
    void WatchBoth() {
        RegisterSaveJob(22, 0, kBmp, kGrey, 200, kA4);
        FeedSheets(3, 200, 200, 8);
        const ULONGLONG mib = 1 << 20;
        const ULONGLONG limit1 = (FolderBytes(m_strDir) + 2 * mib + mib - 1) / mib;
        for (int i = 0; i < 5; ++i)
            ASSERT_EQ(Taskstore("common set DisplayWarning" + std::to_string(i) + " i4 " +
                                (i == 1 || i == 3 ? "1" : "0")),
                      0);
        ASSERT_EQ(Taskstore("common set MonitorPath1 string \"" + m_strDir + "\""), 0);
        ASSERT_EQ(Taskstore("common set WarningSize1 i4 " + std::to_string(limit1)), 0);
        ASSERT_EQ(Taskstore("common set MonitorPath3 string \"" + m_strSave + "\""), 0);
        ASSERT_EQ(Taskstore("common set WarningSize3 i4 1"), 0);
    }
    std::string Question() {
        return m_strDir +
               ":The folder size has been already over the specified size.Do you continue to scan?";
    }
};

TEST_F(KestrelFolderWarning, OverItsLimitAfterAPageAsksOnceNamingTheLowerEntryAndYesGoesOn) {
    WatchBoth();
    StartService();
    ASSERT_TRUE(m_pDevice->PressStart());
    CUiDialogInfo d = WaitBox(":The folder size has been already over");
    ASSERT_TRUE(d.m_hWnd);
    ASSERT_EQ(d.m_texts.size(), 1u);
    EXPECT_EQ(d.m_texts[0], Question());
    EXPECT_EQ(d.m_strCaption, "VX-410");
    ASSERT_TRUE(UiPressButton(d, "Yes"));
    EXPECT_EQ(WaitRunnerEnd(), 0u) << ServiceLog();
    EXPECT_EQ(SavedFiles().size(), 3u); // the warnings are off for the rest of the job
    EXPECT_EQ(Panel().m_strPanelMessage, "Sending complete.");
    ExpectCleanEnd();
}

TEST_F(KestrelFolderWarning, NoStopsTheScanAndStillDeliversWhatWasWritten) {
    WatchBoth();
    StartService();
    ASSERT_TRUE(m_pDevice->PressStart());
    Answer(Question(), "No");
    EXPECT_EQ(WaitRunnerEnd(), 0u) << ServiceLog();
    EXPECT_EQ(CountInLog("SaveFile succeeded"), 1);
    EXPECT_EQ(SavedFiles().size(), 1u);
    EXPECT_EQ(Panel().m_strPanelMessage, "Sending complete.");
    ExpectCleanEnd();
}

TEST_F(KestrelSession, AJobRefusedAtStartUpLeavesNoTemporaryFolder) {
    ASSERT_TRUE(m_pDevice->SetSelectedJob(23)); // no such job: refused before the session
    StartService();
    EXPECT_EQ(PressStartAndWait(), 2u) << ServiceLog();
    EXPECT_FALSE(InLog("DoModal start"));
    EXPECT_FALSE(TempJobFolderExists());
}
