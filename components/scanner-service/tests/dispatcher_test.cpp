// What the service does with each request, against a real simulated device.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "components/scanner-service/core/ServiceDispatcher.h"
#include "contracts/ServiceChannel.h"

using scansvc::CServiceDispatcher;

namespace {
class Dispatcher : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = std::filesystem::temp_directory_path() /
                ("svc-dispatch-" + std::to_string(std::random_device{}()));
        std::filesystem::create_directories(m_dir);
        m_pDevice = std::make_unique<vx410sim::CSimDevice>(m_dir.string());
        m_pDispatcher = std::make_unique<CServiceDispatcher>(
            *m_pDevice, [this](const std::string& s) { m_log.push_back(s); });
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }
    bool RunnerHolds() {
        vx410sim::DeviceState st;
        EXPECT_TRUE(m_pDevice->Read(st));
        return st.m_bRunnerHolds;
    }
    bool Logged(const std::string& s) const {
        for (const auto& l : m_log)
            if (l.find(s) != std::string::npos)
                return true;
        return false;
    }
    std::filesystem::path m_dir;
    std::unique_ptr<vx410sim::CSimDevice> m_pDevice;
    std::unique_ptr<CServiceDispatcher> m_pDispatcher;
    std::vector<std::string> m_log;
};
} // namespace

TEST_F(Dispatcher, JobNumberRequestAnswersThePanelSelection) {
    ASSERT_TRUE(m_pDevice->SetSelectedJob(7));
    m_pDispatcher->BeginSession();
    auto r = m_pDispatcher->Handle(kestrel::kRequestJobNumber);
    EXPECT_TRUE(r.m_bReply);
    EXPECT_EQ(r.m_nReply, 7u);
    EXPECT_FALSE(r.m_bEndSession);
    ASSERT_TRUE(m_pDevice->SetSelectedJob(99));
    EXPECT_EQ(m_pDispatcher->Handle(kestrel::kRequestJobNumber).m_nReply, 99u);
    EXPECT_TRUE(Logged("request job number -> 99"));
}

TEST_F(Dispatcher, LockAndUnlockAreRecordedOnTheDeviceWithoutReplies) {
    m_pDispatcher->BeginSession();
    auto r = m_pDispatcher->Handle(kestrel::kRequestLock);
    EXPECT_FALSE(r.m_bReply);
    EXPECT_TRUE(m_pDispatcher->IsLocked());
    EXPECT_TRUE(RunnerHolds());
    r = m_pDispatcher->Handle(kestrel::kRequestUnlock);
    EXPECT_FALSE(r.m_bReply);
    EXPECT_FALSE(m_pDispatcher->IsLocked());
    EXPECT_FALSE(RunnerHolds());
    r = m_pDispatcher->Handle(kestrel::kRequestLeave);
    EXPECT_FALSE(r.m_bReply);
    EXPECT_TRUE(r.m_bEndSession);
    EXPECT_FALSE(m_pDispatcher->InSession());
}

TEST_F(Dispatcher, ClientThatLeavesOrDiesHoldingTheScannerGivesItBack) {
    m_pDispatcher->BeginSession();
    m_pDispatcher->Handle(kestrel::kRequestLock);
    m_pDispatcher->Handle(kestrel::kRequestLeave);
    EXPECT_FALSE(RunnerHolds());
    EXPECT_TRUE(Logged("left while holding"));

    m_pDispatcher->BeginSession();
    m_pDispatcher->Handle(kestrel::kRequestLock);
    m_pDispatcher->ClientLost("pipe broken");
    EXPECT_FALSE(m_pDispatcher->IsLocked());
    EXPECT_FALSE(RunnerHolds());
    EXPECT_TRUE(Logged("client lost: pipe broken"));
}

TEST_F(Dispatcher, UnknownRequestsGetNoReplyAndChangeNothing) {
    m_pDispatcher->BeginSession();
    for (uint32_t code : {0u, 1u, 6u, 0xFFFFFFFFu}) {
        auto r = m_pDispatcher->Handle(code);
        EXPECT_FALSE(r.m_bReply);
        EXPECT_FALSE(r.m_bEndSession);
    }
    EXPECT_FALSE(m_pDispatcher->IsLocked());
    EXPECT_TRUE(m_pDispatcher->InSession());
}

TEST_F(Dispatcher, StartPressStartsARunnerOnlyWhenNoneHoldsTheScanner) {
    EXPECT_FALSE(m_pDispatcher->TakeStartRequest()); // nothing pressed
    ASSERT_TRUE(m_pDevice->PressStart());
    EXPECT_TRUE(m_pDispatcher->TakeStartRequest());
    EXPECT_FALSE(m_pDispatcher->TakeStartRequest()); // consumed

    m_pDispatcher->BeginSession();
    m_pDispatcher->Handle(kestrel::kRequestLock);
    ASSERT_TRUE(m_pDevice->PressStart());
    EXPECT_FALSE(m_pDispatcher->TakeStartRequest());
    EXPECT_TRUE(Logged("ignored"));
    m_pDispatcher->Handle(kestrel::kRequestUnlock);
    EXPECT_FALSE(m_pDispatcher->TakeStartRequest()); // the ignored press does not linger
}

TEST_F(Dispatcher, UnreadablePanelAnswersJobZero) {
    // A state file that does not parse: the runner gets 0 (no such job) rather
    // than a stale or invented number.
    {
        FILE* f = std::fopen((m_dir / "state.txt").string().c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fputs("selected_job=banana\n", f);
        std::fclose(f);
    }
    vx410sim::DeviceState st;
    if (m_pDevice->Read(st))
        GTEST_SKIP() << "the simulator accepted the corrupt state";
    auto r = m_pDispatcher->Handle(kestrel::kRequestJobNumber);
    EXPECT_TRUE(r.m_bReply);
    EXPECT_EQ(r.m_nReply, 0u);
    EXPECT_TRUE(Logged("cannot read the panel"));
}
