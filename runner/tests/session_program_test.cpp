// The job session as a user meets it: jobs registered in the store, sheets in
// the simulated feeder, Start pressed on the panel (or kestrel started by
// hand), message boxes answered, then the save folder, the temporary folder,
// the store and the panel looked at.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <set>

#include "SessionFixture.h"
#include "components/quillmail/resource.h"
#include "contracts/DeviceCommand.h"
#include "framework/Handles.h"
#include "mail/tests/win/QuillOutbox.h"
#include "uirobot_controls.h"

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
    ClearRecovered();
    ScanSheets(12, 40, 60, 1);
    EXPECT_TRUE(RecoveredFolders().empty()); // a delivered job keeps nothing

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

TEST_F(KestrelSession, ASaveFolderGoneBeforeTheCopyKeepsThePagesInRecovery) {
    ClearRecovered();
    RegisterSaveJob(16, 0, kBmp, kBw, 100, kBusinessCard);
    Set(16, "title", "string", "Tax: 2026/Q4");
    FeedSheets(3, 100, 150, 1);
    ASSERT_EQ(Tool("fault jam 2"), 0);
    StartService();
    ASSERT_TRUE(m_pDevice->PressStart());
    Answer("(-4426)", "OK");
    // The folder goes while the user reads the question.
    CUiDialogInfo question = WaitBox(kJamQuestion);
    ASSERT_TRUE(RemoveDirectoryA(m_strSave.c_str()));
    ASSERT_TRUE(UiPressButton(question, "Yes"));
    EXPECT_EQ(WaitRunnerEnd(), 0u) << ServiceLog();
    ExpectCleanEnd();
    // The user sees what a failed copy always showed.
    EXPECT_EQ(Panel().m_strPanelMessage, "Can't access folder.");
    EXPECT_TRUE(InOrder(PanelTexts(), {"Scan failed.|1", "Sending...", "Can't access folder.|1"}));

    const auto folders = RecoveredFolders();
    ASSERT_EQ(folders.size(), 1u);
    EXPECT_TRUE(InLog("the job's pages were kept in " + folders[0]));
    const std::string name = folders[0].substr(folders[0].rfind('\\') + 1);
    EXPECT_EQ(name.rfind("16 Tax_ 2026_Q4 ", 0), 0u) << name;
    const vlm::RecoveryRecord r = Manifest(folders[0]);
    EXPECT_EQ(r.m_nJob, 16);
    EXPECT_EQ(r.m_strTitle, "Tax: 2026/Q4");
    EXPECT_EQ(r.m_nFunctionId, 0);
    EXPECT_EQ(r.m_strFileType, "BMP");
    EXPECT_EQ(r.m_nPages, 1);
    EXPECT_EQ(r.m_strReason, "Can't access folder.");
    EXPECT_EQ(name.substr(name.size() - 19), r.m_strTime);
    const std::vector<std::string> written = WrittenPageNames();
    ASSERT_GE(written.size(), 1u);
    EXPECT_EQ(r.m_Files, std::vector<std::string>{written[0]});
    EXPECT_EQ(ListFiles(folders[0]), (std::vector<std::string>{"manifest.ini", written[0]}));
    EXPECT_EQ(ReadFileText(folders[0] + "\\" + written[0]).substr(0, 2), "BM");
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
    SendMessageA(GetDlgItem(d.m_hWnd, 1015), WM_GETTEXT, sizeof line,
                 reinterpret_cast<LPARAM>(line));
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
    ScanSheets(3, 200, 200, 8);
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
    ScanSheets(2, 100, 150, 1);
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
    ScanSheets(3, 100, 150, 1);
    auto files = SavedFiles();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(IsPageFileName(files[0], ".tif"));
    EXPECT_EQ(CountInLog("ConcatTiff 001"), 2);
    ExpectCleanEnd();
}

TEST_F(KestrelSession, SinglePageJpegIsOneFilePerPage) {
    RegisterSaveJob(21, 0, kJpeg, kColour, 100, kBusinessCard);
    ScanSheets(3, 100, 150, 24);
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
    // A job held at the folder question after its first page: the question
    // and the page file the runner wrote in the temporary folder.
    void HoldAtTheQuestion(CUiDialogInfo& question, std::string& page) {
        WatchBoth();
        StartService();
        ASSERT_TRUE(m_pDevice->PressStart());
        question = WaitBox(":The folder size has been already over");
        ASSERT_TRUE(question.m_hWnd);
        const std::vector<std::string> pages = WrittenPageNames();
        ASSERT_EQ(pages.size(), 1u);
        page = m_strTemp + kTempJobFolder + "\\" + pages[0];
    }
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

TEST_F(KestrelFolderWarning, ANewerRunnerClosesTheJobHeldAtAPageAndItsPagesAreKept) {
    ClearRecovered();
    CUiDialogInfo question;
    std::string page;
    ASSERT_NO_FATAL_FAILURE(HoldAtTheQuestion(question, page));
    EXPECT_TRUE(FileExists(page));

    // A runner started by hand (for a job that is not registered) closes it;
    // looking for dead runners' pages, it leaves the live one's alone.
    ASSERT_TRUE(m_pDevice->SetSelectedJob(23));
    CProcess newer;
    ASSERT_TRUE(newer.Start(KestrelCommand(false)));
    ASSERT_TRUE(WaitInLog("CJobDlg::OnRequestClose()"));
    ASSERT_TRUE(WaitInLog("RecoverDeadRunners() end", 2));
    EXPECT_TRUE(FileExists(page));
    EXPECT_TRUE(RecoveredFolders().empty());
    // The held job ends once its question is answered, its page undelivered.
    ASSERT_TRUE(UiPressButton(question, "Yes")) << UiDescribe(question);
    EXPECT_EQ(WaitRunnerEnd(), 0u) << ServiceLog();
    EXPECT_EQ(newer.Wait(120000), 2u); // its error dialog closes itself
    EXPECT_FALSE(FileExists(page));
    EXPECT_FALSE(TempJobFolderExists());
    EXPECT_TRUE(SavedFiles().empty());      // closed: nothing delivered
    EXPECT_GT(Panel().m_feeder.size(), 0u); // the sheets not scanned stay
    const auto folders = RecoveredFolders();
    ASSERT_EQ(folders.size(), 1u);
    const vlm::RecoveryRecord r = Manifest(folders[0]);
    EXPECT_EQ(r.m_nJob, 22);
    EXPECT_EQ(r.m_strReason, "The job ended before its pages were delivered.");
    EXPECT_EQ(r.m_Files, std::vector<std::string>{page.substr(page.rfind('\\') + 1)});
}

TEST_F(KestrelFolderWarning, AKilledRunnersPagesGoToRecoveryWithTheNextRunner) {
    ClearRecovered();
    // Recovered jobs a month old go when a runner starts; younger ones stay.
    const std::string old = MakeRecovered(5, 31, "old"), young = MakeRecovered(5, 29, "young");
    CUiDialogInfo question;
    std::string page;
    ASSERT_NO_FATAL_FAILURE(HoldAtTheQuestion(question, page));
    {
        vlm::CHandle runner(
            OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, question.m_dwProcessId));
        ASSERT_TRUE(runner.IsValid());
        ASSERT_TRUE(TerminateProcess(runner, 9));
        ASSERT_EQ(WaitForSingleObject(runner, 60000), WAIT_OBJECT_0);
    }
    EXPECT_TRUE(FileExists(page)); // the dead runner's page is still there
    RunCapture("\"" + ProgramPath("VX-410 Simulator", "scanner-service.exe") + "\" --stop",
               nullptr);
    EXPECT_EQ(m_pService->Wait(60000), 0u);

    // The next runner (which finds no service and says so) keeps them.
    DWORD exit = 0;
    RunAndAnswer(KestrelCommand(false), &exit);
    EXPECT_FALSE(FileExists(page));
    EXPECT_FALSE(TempJobFolderExists());
    const auto folders = RecoveredFolders();
    ASSERT_EQ(folders.size(), 2u);
    EXPECT_EQ(std::count(folders.begin(), folders.end(), young), 1);
    EXPECT_EQ(std::count(folders.begin(), folders.end(), old), 0);
    const std::string kept = folders[0] == young ? folders[1] : folders[0];
    EXPECT_TRUE(
        InLog("the pages of a runner that ended without its clean-up were kept in " + kept));
    const vlm::RecoveryRecord r = Manifest(kept);
    EXPECT_EQ(r.m_nJob, 22);
    EXPECT_EQ(r.m_strTitle, "Job 22");
    EXPECT_EQ(r.m_nPages, 1);
    EXPECT_EQ(r.m_strReason, "The job ended before its pages were delivered.");
    const std::string name = page.substr(page.rfind('\\') + 1);
    EXPECT_EQ(r.m_Files, std::vector<std::string>{name});
    EXPECT_TRUE(FileExists(kept + "\\" + name));
}

TEST_F(KestrelSession, AJobRefusedAtStartUpLeavesNoTemporaryFolder) {
    ASSERT_TRUE(m_pDevice->SetSelectedJob(23)); // no such job: refused before the session
    StartService();
    EXPECT_EQ(PressStartAndWait(), 2u) << ServiceLog();
    EXPECT_FALSE(InLog("DoModal start"));
    EXPECT_FALSE(TempJobFolderExists());
}

// The store held or damaged when Start is pressed: the runner says so in a
// box and ends, the store keeps its bytes, and the next Start runs the job.
class KestrelStoreFault : public KestrelSession {
protected:
    std::string StorePath() { return m_strDir + "\\Taskstore.reg"; }
    bool WriteStore(const std::string& bytes) {
        std::ofstream f(StorePath(), std::ios::binary | std::ios::trunc);
        return static_cast<bool>(f.write(bytes.data(), std::streamsize(bytes.size())));
    }
    // Start pressed: the runner's box names the failure; OK ends the runner
    // before it takes the scanner.
    void ExpectRefusedStart(int runs, const char* text) {
        ASSERT_TRUE(m_pDevice->PressStart());
        CUiDialogInfo box = WaitBox("");
        ASSERT_TRUE(box.m_hWnd) << ServiceLog();
        EXPECT_EQ(box.m_strCaption, "VX-410");
        EXPECT_EQ(box.m_texts, std::vector<std::string>{text}) << UiDescribe(box);
        ASSERT_TRUE(UiPressButton(box, "OK")) << UiDescribe(box);
        EXPECT_NE(WaitRunnerEnd(runs), 0u) << ServiceLog();
        EXPECT_FALSE(InLog("DoModal start"));
        EXPECT_FALSE(Panel().m_bRunnerHolds);
        EXPECT_FALSE(TempJobFolderExists());
        ClearRunLog();
    }
};

TEST_F(KestrelStoreFault, ADamagedStoreIsLeftAsItWasAndTheRepairedOneRuns) {
    RegisterSaveJob(5, 0, kJpeg, kGrey, 100, kBusinessCard);
    const std::string good = ReadFileText(StorePath());
    // A line cut short, as a failing disk or an editor leaves it.
    const std::string damaged = good.substr(0, good.size() / 2) + "\r\n[HKEY_CURRENT_USER\\Soft";
    ASSERT_TRUE(WriteStore(damaged));
    StartService();
    ExpectRefusedStart(1, "vender defined error 513");
    EXPECT_EQ(ReadFileText(StorePath()), damaged);
    ASSERT_TRUE(WriteStore(good));
    ExpectNextJobSaves(2);
    EXPECT_EQ(LastJobNum(), 5);
}

TEST_F(KestrelStoreFault, AStoreHeldByAnotherProgramFailsWithinBoundsAndRunsOnceFree) {
    RegisterSaveJob(5, 0, kJpeg, kGrey, 100, kBusinessCard);
    const std::string before = ReadFileText(StorePath());
    StartService();
    {
        // A writer that keeps the store's lock: the runner gives up in time.
        CHandle lock(CreateFileA((StorePath() + ".lock").c_str(), GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_ALWAYS, 0, nullptr));
        ASSERT_TRUE(lock.IsValid());
        OVERLAPPED ov = {};
        ASSERT_TRUE(LockFileEx(lock.Get(), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &ov));
        ExpectRefusedStart(1, "vender defined error 514");
    }
    EXPECT_EQ(ReadFileText(StorePath()), before);
    {
        // A program that opened the file for itself alone.
        CHandle file(
            CreateFileA(StorePath().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(file.IsValid());
        ExpectRefusedStart(2, "Sharing violation.");
    }
    EXPECT_EQ(ReadFileText(StorePath()), before);
    ExpectNextJobSaves(3);
    EXPECT_EQ(LastJobNum(), 5);
}

namespace {
// UTF-8 text in the ANSI code page, as a user types it into the job.
std::string Ansi(const std::string& utf8) {
    std::wstring wide(utf8.size(), L'\0');
    wide.resize(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), wide.data(),
                                    int(wide.size())));
    std::string ansi(wide.size() * 2, '\0');
    BOOL lost = FALSE;
    ansi.resize(WideCharToMultiByte(CP_ACP, 0, wide.data(), int(wide.size()), ansi.data(),
                                    int(ansi.size()), nullptr, &lost));
    EXPECT_FALSE(lost) << "the ANSI code page lacks a letter of " << utf8;
    return ansi;
}

// The messages a loopback server of the script stored (mail/tests/smtp_server.py):
// for message N the files N.eml, N.envelope, N.subject and N.body (UTF-8),
// N.names, N.att1, ...; N.done is written last.
class CMailbox {
public:
    explicit CMailbox(const char* dirVariable) {
        const char* dir = std::getenv(dirVariable);
        m_strDir = dir ? WinPath(dir) : "";
    }
    bool Has(int n) const { return FileExists(File(n, "done")); }
    int Count() const {
        int n = 0;
        while (!m_strDir.empty() && Has(n + 1))
            ++n;
        return n;
    }
    std::string Read(int n, const std::string& ext) const { return ReadFileText(File(n, ext)); }
    std::string File(int n, const std::string& ext) const {
        return Path(std::to_string(n) + "." + ext);
    }
    std::string Path(const std::string& name) const { return m_strDir + "\\" + name; }

private:
    std::string m_strDir;
};
} // namespace

// "Send by E-Mail": the job's pages go to the loopback mail servers that
// runner/tests/session_mail_server.sh starts (without them the group is
// skipped): aiosmtpd without log-in (VLM_SMTP_*, refusing
// nobody@example.com and holding held@example.com until the file "release"
// appears in its folder), aiosmtpd with AUTH for scanner/secret
// (VLM_SMTP_AUTH_*), and Dovecot with aiosmtpd on the standard ports of one
// loopback address (VLM_POP_*).
class KestrelMail : public KestrelSession {
protected:
    void SetUp() override {
        if (!std::getenv("VLM_SMTP_DIR"))
            GTEST_SKIP() << "run by the loopback server script test";
        KestrelSession::SetUp();
    }
    void TearDown() override {
        // Back to the default time-outs for the next test of this prefix.
        m_profile.WriteInt("General", "MailTimeout", 0);
        m_profile.WriteInt("General", "MailTimeLimit", 0);
        KestrelSession::TearDown();
    }
    // Message n of box carries the saved files, byte for byte, under their names.
    void ExpectTheSavedFiles(const CMailbox& box, int n, size_t count, const std::string& magic) {
        const auto names = SplitLines(box.Read(n, "names"));
        const auto saved = SavedFiles();
        ASSERT_EQ(names.size(), count);
        EXPECT_EQ(std::set<std::string>(names.begin(), names.end()),
                  std::set<std::string>(saved.begin(), saved.end()));
        for (size_t k = 0; k < names.size(); ++k) {
            const std::string sent = box.Read(n, "att" + std::to_string(k + 1));
            EXPECT_EQ(sent.compare(0, magic.size(), magic), 0) << names[k];
            EXPECT_TRUE(sent == ReadFileText(m_strSave + "\\" + names[k])) << names[k];
        }
    }
    // A job whose delivery failed: the code and text in the run log, the
    // message on the panel as an error, no "Sending complete.", the files
    // saved before sending and the temporary folder gone.
    void ExpectFailedDelivery(const std::string& logged, const char* panel, size_t saved) {
        EXPECT_EQ(SavedFiles().size(), saved);
        EXPECT_TRUE(InOrder(RunLog(), {"ScanToMail", "CJobDlg::OnBatchScanned() end",
                                       "CJobDlg::EndJob()", "DoModal end"}));
        EXPECT_TRUE(InLog(logged)) << "the run log has no \"" << logged << "\"";
        EXPECT_EQ(Panel().m_strPanelMessage, panel);
        EXPECT_EQ(Panel().m_nDisplayKind, vx410sim::kDisplayError);
        EXPECT_FALSE(InLog("DispMessageToScaner Start msg = Sending complete.  iserror = 0"));
        ExpectCleanEnd();
    }
    // Job n with the address key set to value: two pages scanned, the send
    // refused as logged with panel, nothing stored by the plain server.
    void ExpectAddressRefused(int n, const char* key, const std::string& value,
                              const std::string& logged, const char* panel) {
        const CMailbox box("VLM_SMTP_DIR");
        const int before = box.Count();
        RegisterMailJob(n, kPdf, kBw, Loopback("VLM_SMTP_PORT"));
        Set(n, key, "string", value);
        ScanSheets(2, 100, 150, 1);
        ExpectFailedDelivery(logged, panel, 2);
        EXPECT_EQ(box.Count(), before);
    }
    // A loopback port nobody listens on: bound once, then closed.
    static int ClosedPort() {
        WSADATA d;
        WSAStartup(MAKEWORD(2, 2), &d);
        const vlm::CSocket s(socket(AF_INET, SOCK_STREAM, 0));
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int len = sizeof a;
        if (bind(s.Get(), reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
            getsockname(s.Get(), reinterpret_cast<sockaddr*>(&a), &len) == 0)
            return ntohs(a.sin_port);
        return 0;
    }
};

TEST_F(KestrelMail, ThreePdfPagesReachTheServerAsTheyWereScanned) {
    const CMailbox box("VLM_SMTP_DIR");
    const int n = box.Count() + 1;
    RegisterMailJob(30, kPdf, kBw, Loopback("VLM_SMTP_PORT"));
    ScanSheets(3, 100, 150, 1);

    // The message is stored before the server answers the end of its data.
    ASSERT_TRUE(box.Has(n));
    EXPECT_EQ(box.Read(n, "subject"), "Scanned pages of job 30");
    EXPECT_EQ(box.Read(n, "envelope"), "scanner@example.com\noffice@example.com\n");
    ExpectTheSavedFiles(box, n, 3, "%PDF-");
    EXPECT_FALSE(box.Has(n + 1)); // one message, sent once
    EXPECT_TRUE(
        InOrder(RunLog(), {"ScanToMail", "SmtpAddress is 127.0.0.1",
                           "Port Number from SmtpAddress is " + Env("VLM_SMTP_PORT"),
                           "CJobDlg::OnBatchScanned() end", "CJobDlg::EndJob()", "DoModal end"}));
    EXPECT_EQ(Panel().m_strPanelMessage, "Sending complete.");
    EXPECT_EQ(Panel().m_nDisplayKind, vx410sim::kDisplayNormal);
    ExpectCleanEnd();
}

TEST_F(KestrelMail, GermanJpegPagesArriveWithTheirAccentsAndBytes) {
    // The script runs this test under a German user locale: the German
    // catalogue and the ISO-8859-1 coder (quoted-printable, Q encoded words).
    ASSERT_EQ(PRIMARYLANGID(GetUserDefaultLangID()), LANG_GERMAN) << "not run under German";
    const std::string subject = "Gescannte Seiten f\xC3\xBCr J\xC3\xBCrgen Wei\xC3\x9F: "
                                "Rechnungspr\xC3\xBC"
                                "fung Nr. 4711 (Gr\xC3\xB6\xC3\x9F"
                                "e A4) = erledigt? _ja_";
    const std::string line1 = "Guten Tag Frau M\xC3\xBCller,";
    const std::string line2 = "anbei die gescannten Seiten der Bestellung f\xC3\xBCr das "
                              "B\xC3\xBCro in K\xC3\xB6ln; die Gr\xC3\xB6\xC3\x9F"
                              "e der Dateien ist unver\xC3\xA4ndert. Sch\xC3\xB6"
                              "ne Gr\xC3\xBC\xC3\x9F"
                              "e, Ihr Scanner";
    const std::string body = line1 + "\r\n" + line2;
    const CMailbox box("VLM_SMTP_AUTH_DIR");
    const int n = box.Count() + 1;
    RegisterMailJob(40, kJpeg, kColour, Loopback("VLM_SMTP_AUTH_PORT"), 3, "secret"); // AUTH PLAIN
    Set(40, "subject", "string", Ansi(subject));
    Set(40, "text", "string", Ansi(body));
    ScanSheets(3, 100, 150, 24);

    ASSERT_TRUE(box.Has(n));
    EXPECT_EQ(box.Read(n, "subject"), subject);
    EXPECT_EQ(box.Read(n, "body"), body);
    ExpectTheSavedFiles(box, n, 3, "\xFF\xD8\xFF");
    // On the wire: Latin-1 in Q encoded words and a quoted-printable body.
    const std::string eml = box.Read(n, "eml");
    EXPECT_NE(eml.find("Subject: =?iso-8859-1?Q?Gescannte=20Seiten=20f=FCr"), std::string::npos)
        << eml.substr(0, 600);
    EXPECT_NE(eml.find("Content-Transfer-Encoding: quoted-printable"), std::string::npos);
    EXPECT_NE(eml.find("M=FCller"), std::string::npos);
    EXPECT_EQ(Panel().m_strPanelMessage, "Senden abgeschlossen.");
    EXPECT_TRUE(InOrder(PanelTexts(), {"Scannen...", "Senden...", "Senden abgeschlossen."}));
    ExpectCleanEnd();
}

TEST_F(KestrelMail, AWrongPasswordIsRefusedByTheServer) {
    const CMailbox box("VLM_SMTP_AUTH_DIR");
    const int before = box.Count();
    RegisterMailJob(32, kPdf, kBw, Loopback("VLM_SMTP_AUTH_PORT"), 1, "not the secret"); // LOGIN
    ScanSheets(2, 100, 150, 1);
    ExpectFailedDelivery("-1 535 ", "MailServer replied an error.", 2);
    EXPECT_EQ(box.Count(), before);
}

TEST_F(KestrelMail, ARefusedRecipientSendsNothing) {
    ExpectAddressRefused(33, "send", "office@example.com, nobody@example.com",
                         "-1 NO RECIPIENT ADDRESS", "No Recipient Address.");
}

TEST_F(KestrelMail, AnAttachmentRemovedBeforeItIsSentFailsTheJobAndSendsNothing) {
    // The server holds the recipient until the test has removed page 2's file.
    const CMailbox box("VLM_SMTP_DIR");
    const int before = box.Count();
    RegisterMailJob(38, kPdf, kBw, Loopback("VLM_SMTP_PORT"));
    Set(38, "send", "string", "held@example.com");
    FeedSheets(2, 100, 150, 1);
    StartService();
    ASSERT_TRUE(m_pDevice->PressStart());
    for (int i = 0; i < 1200 && !InLog("SmtpAddress is"); ++i)
        Sleep(100);
    ASSERT_TRUE(InLog("SmtpAddress is")) << "the mail was not started";
    const std::string temp = m_strTemp + kTempJobFolder;
    std::vector<std::string> pages;
    for (const std::string& f : ListFiles(temp))
        if (f.size() > 4 && f.compare(f.size() - 4, 4, ".pdf") == 0)
            pages.push_back(f);
    ASSERT_EQ(pages.size(), 2u);
    const std::string removed = temp + "\\" + pages[1];
    ASSERT_TRUE(DeleteFileA(removed.c_str()));
    const vlm::CHandle release(CreateFileA(box.Path("release").c_str(), GENERIC_WRITE, 0, nullptr,
                                           CREATE_NEW, 0, nullptr));
    ASSERT_TRUE(release.IsValid());
    EXPECT_EQ(WaitRunnerEnd(), 0u) << ServiceLog();
    ExpectFailedDelivery("-2 Attachment cannot be read: " + removed + " (error 2)",
                         "Sending failed.", 2);
    EXPECT_EQ(box.Count(), before);
}

// A line break in an address would end the header line or the SMTP command
// it stands in: the store can hold one whatever the editor lets through.
TEST_F(KestrelMail, ALineBreakInTheRecipientsIsRefusedAndNothingIsSent) {
    ExpectAddressRefused(41, "send", "office@example.com\r\nBcc: evil@example.com",
                         "-1 NO RECIPIENT ADDRESS", "No Recipient Address.");
}

TEST_F(KestrelMail, ALineBreakInTheSenderIsRefusedAndNothingIsSent) {
    ExpectAddressRefused(42, "from", "<scanner@example.com\r\nRCPT TO:<evil@example.com>",
                         "-1 NO FROM ADDRESS", "No Sender Address.");
}

TEST_F(KestrelMail, ServerDownShowsConnectionRefusedAndEndsTheJob) {
    const int port = ClosedPort();
    ASSERT_NE(port, 0);
    RegisterMailJob(31, kPdf, kBw, "127.0.0.1:" + std::to_string(port));
    ScanSheets(2, 100, 150, 1);
    ExpectFailedDelivery("10061 ", "Connection refused.", 2);
}

// One fault, socket error 11004, reads differently from the SMTP and the POP side.
TEST_F(KestrelMail, APortThatIsNoNumberReadsHostIsNotFound) {
    RegisterMailJob(34, kPdf, kBw, "127.0.0.1:25a");
    ScanSheets(1, 100, 150, 1);
    ExpectFailedDelivery("11004 ", "Host is not found.", 1);
}

TEST_F(KestrelMail, APortThatIsNoNumberReadsPortNumberIncorrectWhenPopLogsInFirst) {
    RegisterMailJob(37, kPdf, kBw, "127.0.0.1:110a", 2, "secret");
    ScanSheets(1, 100, 150, 1);
    ExpectFailedDelivery("11004 ", "Port Number incorrect.", 1);
}

TEST_F(KestrelMail, PopBeforeSmtpLogsInToDovecotThenSends) {
    const CMailbox box("VLM_POP_SMTP_DIR");
    const int n = box.Count() + 1;
    const std::string host = Env("VLM_POP_HOST");
    RegisterMailJob(35, kPdf, kBw, host, 2, "secret"); // ports 110 and 25
    ScanSheets(2, 100, 150, 1);
    ASSERT_TRUE(box.Has(n));
    ExpectTheSavedFiles(box, n, 2, "%PDF-");
    // Dovecot's log process may write a moment after the log-in.
    const std::string popLog = WinPath(Env("VLM_POP_LOG").c_str());
    const std::string login = "Login: user=<scanner>";
    for (int i = 0; i < 600 && ReadFileText(popLog).find(login) == std::string::npos; ++i)
        Sleep(100);
    EXPECT_NE(ReadFileText(popLog).find(login), std::string::npos) << ReadFileText(popLog);
    EXPECT_TRUE(InOrder(RunLog(), {"ScanToMail", "SmtpAddress is " + host, "CJobDlg::EndJob()"}));
    EXPECT_FALSE(InLog("Port Number from SmtpAddress"));
    EXPECT_EQ(Panel().m_strPanelMessage, "Sending complete.");
    ExpectCleanEnd();
}

TEST_F(KestrelMail, PopLogInRefusedSendsNothing) {
    const CMailbox box("VLM_POP_SMTP_DIR");
    const int before = box.Count();
    RegisterMailJob(36, kPdf, kBw, Env("VLM_POP_HOST"), 2, "not the secret");
    ScanSheets(1, 100, 150, 1);
    ExpectFailedDelivery("-1 ", "MailServer replied an error.", 1);
    EXPECT_EQ(box.Count(), before);
}

// Hostile servers of the script (mail/tests/hostile_smtp_server.py); the
// runner's profile makes the time-outs short.
TEST_F(KestrelMail, AServerThatStopsReadingDuringTheDataEndsTheJobAtTheWriteTimeOut) {
    m_profile.WriteInt("General", "MailTimeout", 3);
    // One grey A4 page: 5 MB of base64, more than the sockets' buffers hold.
    RegisterMailJob(38, kBmp, kGrey, Loopback("VLM_STALL_PORT"), 0, "", 200, kA4);
    ScanSheets(1, 200, 200, 8);
    ExpectFailedDelivery("10060 ", "Connection timed out.", 1);
    ExpectPagesRecovered(1, 1, "Connection timed out.");
}

TEST_F(KestrelMail, AServerThatClosesTheConnectionDuringTheDataEndsTheJobAsReset) {
    // Three grey pages: the server goes after the first 16 KB of the message.
    RegisterMailJob(43, kBmp, kGrey, Loopback("VLM_DROP_PORT"));
    ScanSheets(3, 100, 150, 8);
    ExpectFailedDelivery("10054 ", "Connection reset.", 3);
    ExpectPagesRecovered(3, 3, "Connection reset.");
}

TEST_F(KestrelMail, AServerThatTricklesItsRepliesEndsTheJobAtTheTimeLimit) {
    // Its replies take some 20 s in all; each byte comes well within the time-out.
    m_profile.WriteInt("General", "MailTimeLimit", 3);
    RegisterMailJob(39, kPdf, kBw, Loopback("VLM_TRICKLE_PORT"));
    ScanSheets(1, 100, 150, 1);
    ExpectFailedDelivery("10060 ", "Connection timed out.", 1);
}

TEST_F(KestrelMail, RequiredTlsThatTheServerLacksSendsNoPassword) {
    const CMailbox box("VLM_SMTP_AUTH_DIR");
    const int before = box.Count();
    RegisterMailJob(41, kPdf, kBw, Loopback("VLM_SMTP_AUTH_PORT"), 1, "secret"); // LOGIN
    ASSERT_EQ(Taskstore("common set SMTPRequireTLS i4 1"), 0);
    ScanSheets(1, 100, 150, 1);
    ExpectFailedDelivery("-1 NO TLS", "The server offers no TLS.", 1);
    EXPECT_EQ(box.Count(), before);
}

// "Attach to E-mail": Quill Mail, made the default mail client by its own
// program, opens its compose window in kestrel with the scanned files.
class KestrelAttachMail : public KestrelSession {
protected:
    void SetUp() override {
        KestrelSession::SetUp();
        m_strOutbox = m_strDir + "\\outbox";
        CreateDirectoryA(m_strOutbox.c_str(), nullptr);
        CRegKey settings;
        ASSERT_EQ(settings.Create(HKEY_CURRENT_USER, "Software\\Quill Mail"), ERROR_SUCCESS);
        ASSERT_EQ(settings.SetString("Outbox", m_strOutbox.c_str()), ERROR_SUCCESS);
        ASSERT_EQ(Quill("/register"), 0);
    }
    void TearDown() override {
        Quill("/unregister");
        RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Quill Mail");
        KestrelSession::TearDown();
    }
    int Quill(const char* args) {
        return static_cast<int>(
            RunCapture("\"" + ProgramPath("Quill Mail", "quillmail.exe") + "\" " + args, nullptr));
    }
    // A job of two PDF pages handed to the mail application.
    void RunJob(int n, const char* button) {
        RegisterSaveJob(n, 4, kPdf, kBw, 100, kBusinessCard);
        ASSERT_EQ(Taskstore("common set MailSize i4 10"), 0);
        FeedSheets(2, 100, 150, 1);
        StartService();
        ASSERT_TRUE(m_pDevice->PressStart());
        CUiFindOptions o;
        o.m_strExeName = "kestrel.exe";
        o.m_strCaption = "New Message - Quill Mail";
        CUiDialogInfo d;
        ASSERT_TRUE(UiWaitForDialog(o, 120000, d)) << "no compose window";
        m_listed = UiItems(d.m_hWnd, IDC_QUILL_FILES);
        ASSERT_TRUE(UiPressButton(d, button)) << UiDescribe(d);
        EXPECT_EQ(WaitRunnerEnd(), 0u) << ServiceLog();
    }

    std::string m_strOutbox;
    std::vector<std::string> m_listed; // the compose window's attachments
};

TEST_F(KestrelAttachMail, SendPutsTheScannedFilesIntoTheOutbox) {
    RunJob(50, "Send");
    const auto saved = SavedFiles();
    ASSERT_EQ(saved.size(), 2u);
    EXPECT_EQ(std::set<std::string>(m_listed.begin(), m_listed.end()),
              std::set<std::string>(saved.begin(), saved.end()));
    const auto sent = quilltest::Messages(m_strOutbox);
    ASSERT_EQ(sent.size(), 1u);
    for (const std::string& name : saved)
        EXPECT_TRUE(quilltest::Attachment(sent[0], name) == ReadFileText(m_strSave + "\\" + name))
            << name;
    EXPECT_TRUE(InOrder(RunLog(), {"ScanToMapi", "CJobDlg::EndJob()", "DoModal end"}));
    EXPECT_EQ(Panel().m_strPanelMessage, "Sending complete.");
    ExpectCleanEnd();
}

TEST_F(KestrelAttachMail, CancelInTheComposeWindowIsReportedAndSendsNothing) {
    RunJob(51, "Cancel");
    EXPECT_EQ(m_listed.size(), 2u);
    EXPECT_TRUE(quilltest::Messages(m_strOutbox).empty());
    const std::string text = "Canceled to send mail or Failed to send mail";
    ASSERT_FALSE(PanelTexts().empty());
    EXPECT_EQ(PanelTexts().back(), text + "|1");
    // The panel's line holds the first bytes of it.
    EXPECT_EQ(Panel().m_strPanelMessage, text.substr(0, devcmd::kPanelTextMaxBytes));
    EXPECT_EQ(Panel().m_nDisplayKind, vx410sim::kDisplayError);
    EXPECT_FALSE(InLog("DispMessageToScaner Start msg = Sending complete.  iserror = 0"));
    ExpectCleanEnd();
}
