// The job session as a user meets it: jobs registered in the store, sheets in
// the simulated feeder, Start pressed on the panel (or kestrel started by
// hand), message boxes answered, then the save folder, the temporary folder,
// the store and the panel looked at.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <set>

#include "SessionFixture.h"

using namespace kestreltest;

namespace {

bool FileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

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
    // The error dialog: the title as its static text, the driver's text and
    // number in its message line.
    CUiDialogInfo d = WaitBox("Scan failed.");
    ASSERT_TRUE(d.m_hWnd);
    EXPECT_EQ(d.m_strCaption, "Monitor for VX-410");
    char line[512] = {};
    SendMessageA(GetDlgItem(d.m_hWnd, 1015), WM_GETTEXT, sizeof line, reinterpret_cast<LPARAM>(line));
    EXPECT_NE(std::string(line).find("(-4401)"), std::string::npos) << line;
    ASSERT_TRUE(UiPressButton(d, "Close")) << UiDescribe(d);
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

// "Send by E-Mail": the job's pages go to an SMTP server on 127.0.0.1.
class KestrelMail : public KestrelSession {
protected:
    // A mail job of PDF pages sent through the server at 127.0.0.1:port.
    void RegisterMailJob(int n, int port) {
        RegisterSaveJob(n, 1, kPdf, kBw, 100, kBusinessCard);
        Set(n, "from", "string", "scanner@example.com");
        Set(n, "send", "string", "office@example.com");
        Set(n, "subject", "string", "Scanned pages of job " + std::to_string(n));
        Set(n, "text", "string", "The pages are attached.");
        ASSERT_EQ(Taskstore("common set MailSize i4 10"), 0);
        ASSERT_EQ(Taskstore("common set SMTP_ID i4 0"), 0);
        ASSERT_EQ(Taskstore("common set username string \"\""), 0);
        ASSERT_EQ(Taskstore("common set password string \"\""), 0);
        ASSERT_EQ(Taskstore("common set SMTPServerName string \" 127.0.0.1 : " +
                            std::to_string(port) + "\""),
                  0);
    }
    // A loopback port nobody listens on: bound once, then closed.
    static int ClosedPort() {
        WSADATA d;
        WSAStartup(MAKEWORD(2, 2), &d);
        SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int port = 0;
        int len = sizeof a;
        if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
            getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0)
            port = ntohs(a.sin_port);
        closesocket(s);
        return port;
    }
};

TEST_F(KestrelMail, ThreePdfPagesReachTheServerAsTheyWereScanned) {
    // The server (aiosmtpd) is started by the script test and stores what it receives.
    const char* port = std::getenv("VLM_SMTP_PORT");
    const char* dir = std::getenv("VLM_SMTP_DIR");
    if (!port || !dir)
        GTEST_SKIP() << "run by the loopback server script test";
    std::string out = std::string("Z:") + dir;
    std::replace(out.begin(), out.end(), '/', '\\');
    RegisterMailJob(30, std::atoi(port));
    FeedSheets(3, 100, 150, 1);
    StartService();
    EXPECT_EQ(PressStartAndWait(), 0u) << ServiceLog();

    // The message is stored before the server answers the end of its data.
    ASSERT_TRUE(FileExists(out + "\\1.done")) << out;
    EXPECT_EQ(ReadFileText(out + "\\1.subject"), "Scanned pages of job 30");
    EXPECT_EQ(ReadFileText(out + "\\1.envelope"), "scanner@example.com\noffice@example.com\n");
    const auto names = SplitLines(ReadFileText(out + "\\1.names"));
    const auto saved = SavedFiles();
    ASSERT_EQ(names.size(), 3u);
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()),
              std::set<std::string>(saved.begin(), saved.end()));
    for (size_t k = 0; k < names.size(); ++k) {
        const std::string sent = ReadFileText(out + "\\1.att" + std::to_string(k + 1));
        EXPECT_EQ(sent.compare(0, 5, "%PDF-"), 0) << names[k];
        EXPECT_TRUE(sent == ReadFileText(m_strSave + "\\" + names[k])) << names[k];
    }
    EXPECT_FALSE(FileExists(out + "\\2.done")); // one message, sent once
    EXPECT_TRUE(
        InOrder(RunLog(), {"ScanToMail", "SmtpAddress is 127.0.0.1",
                           std::string("Port Number from SmtpAddress is ") + port,
                           "CJobDlg::OnBatchScanned() end", "CJobDlg::EndJob()", "DoModal end"}));
    EXPECT_EQ(Panel().m_strPanelMessage, "Sending complete.");
    EXPECT_EQ(Panel().m_nDisplayKind, vx410sim::kDisplayNormal);
    ExpectCleanEnd();
}

TEST_F(KestrelMail, ServerDownShowsConnectionRefusedAndEndsTheJob) {
    const int port = ClosedPort();
    ASSERT_NE(port, 0);
    RegisterMailJob(31, port);
    FeedSheets(2, 100, 150, 1);
    StartService();
    EXPECT_EQ(PressStartAndWait(), 0u) << ServiceLog();
    EXPECT_EQ(SavedFiles().size(), 2u); // saved before sending
    EXPECT_TRUE(InOrder(RunLog(), {"ScanToMail", "CJobDlg::OnBatchScanned() end",
                                   "CJobDlg::EndJob()", "DoModal end"}));
    EXPECT_TRUE(InLog("10061 ")) << "the socket error in the run log";
    EXPECT_EQ(Panel().m_strPanelMessage, "Connection refused.");
    EXPECT_EQ(Panel().m_nDisplayKind, vx410sim::kDisplayError);
    EXPECT_FALSE(InLog("DispMessageToScaner Start msg = Sending complete.  iserror = 0"));
    ExpectCleanEnd();
}
