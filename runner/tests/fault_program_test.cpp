// A process lost in the middle of a job, whole programs: the runner killed,
// the scanner service killed and started again, the data source taking the
// runner down inside a transfer. Each time the next Start runs a normal job,
// and the pages of a job that died reach the recovered scans.
#include "FaultFixture.h"

using namespace kestreltest;

TEST_F(KestrelFault, AKilledRunnerIsNoticedAndTheNextStartRunsANormalJob) {
    StopAtJam(51);
    vlm::CHandle runner = OpenRunner();
    ASSERT_TRUE(runner.IsValid());
    Kill(runner);
    // The service saw the runner go and took the scanner back; nothing of
    // the runner's lives on.
    EXPECT_EQ(WaitRunnerEnd(), 1u) << ServiceLog();
    EXPECT_TRUE(WaitServiceLog("unlock: the scanner is back with the service")) << ServiceLog();
    EXPECT_FALSE(Panel().m_bRunnerHolds);
    EXPECT_FALSE(ToolMutexExists());
    EXPECT_EQ(TempPages().size(), 2u); // the dead job's pages wait for the next runner
    EXPECT_TRUE(RecoveredFolders().empty());
    ExpectNormalJob(2, 0);
    EXPECT_EQ(RecoveredPages(), (std::map<long, int>{{51, 2}}));
}

TEST_F(KestrelFault, AKilledServiceLetsTheRunnerFinishQuietlyAndItsSuccessorRunsTheNextJob) {
    StopAtJam(61);
    CProcess runner;
    runner.m_nPid = RunnerPid();
    runner.m_hProcess = OpenRunner().Detach();
    ASSERT_TRUE(runner.m_hProcess);
    RestartServiceAfterKill();
    // A new service finds the scanner claimed through the one that died.
    EXPECT_NE(ServiceLog().find("left held by an earlier service's runner"), std::string::npos)
        << ServiceLog();
    EXPECT_FALSE(Panel().m_bRunnerHolds);
    Answer("(-4426)", "OK");
    Answer(kJamQuestion, "Yes");
    // The runner delivers what it scanned and ends without a box about the
    // channel it lost.
    CMessageBoxInfo box;
    EXPECT_EQ(WaitEndAnsweringBoxes(runner, 120000, &box), 0u);
    EXPECT_EQ(box.m_hWnd, nullptr) << box.m_strText;
    EXPECT_TRUE(InLog("StiUnLock: the scanner service is gone"));
    EXPECT_EQ(SavedFiles().size(), 2u);
    EXPECT_FALSE(TempJobFolderExists());
    EXPECT_EQ(Panel().m_strPanelMessage, "Sending complete.");
    ExpectNormalJob(1, 2);
    EXPECT_TRUE(RecoveredFolders().empty()); // delivered: nothing to keep
}

// The data source ends the runner inside the transfer of page 2; the runner
// cannot outlive that, so it ends at once and the service and the next
// runner take over what it left.
class KestrelSourceCrash : public KestrelFault,
                           public ::testing::WithParamInterface<const char*> {};

TEST_P(KestrelSourceCrash, TheRunnerEndsAtOnceAndTheNextStartRunsANormalJob) {
    RegisterSaveJob(71, 0, kJpeg, kGrey, 100, kBusinessCard);
    FeedSheets(3, 100, 150, 8);
    ASSERT_EQ(Tool(std::string("fault source ") + GetParam() + " 2"), 0);
    StartService();
    ASSERT_TRUE(m_pDevice->PressStart());
    const DWORD code = WaitRunnerEnd();
    EXPECT_NE(code, 0u);
    EXPECT_NE(code, 0xFFFFFFFEu) << "the runner did not end";
    EXPECT_TRUE(WaitServiceLog("unlock: the scanner is back with the service")) << ServiceLog();
    EXPECT_FALSE(Panel().m_bRunnerHolds);
    const std::vector<std::string> left = TempPages();
    EXPECT_EQ(left.size(), 1u) << (left.empty() ? std::string() : left.back());
    EXPECT_EQ(CountInLog("SaveFile succeeded"), 1);
    if (GetParam() == std::string("crash")) {
        EXPECT_TRUE(InLog("Unhandled exception 0xC0000005 at "));
    }
    EXPECT_TRUE(SavedFiles().empty());
    ExpectNormalJob(2, 0);
    EXPECT_EQ(RecoveredPages(), (std::map<long, int>{{71, 1}}));
}

INSTANTIATE_TEST_SUITE_P(Faults, KestrelSourceCrash, ::testing::Values("crash", "exit"));
