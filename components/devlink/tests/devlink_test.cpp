// devlink through its import library, against a private simulator folder.
#include "devlink.h"

#include "vx410sim.h"
#include "components/vx410sim/tests/testfolder.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

using namespace vx410sim;

namespace {

using Bytes = std::vector<BYTE>;
const char* const kDevice0 = "{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0000";
const Bytes kLoadBlock = {0x31, 0x01, 0, 0, 0, 0, 0, 0, 0, 0};
const Bytes kInfoBlock = {0x28, 0, 0x8C, 0, 0, 0x01, 0, 0, 0x80, 0};
const Bytes kDiagBlock = {0x1C, 0, 0, 0x08, 0};
const Bytes kPanelBlock = {0x2A, 0, 0x84, 0, 0, 0x65, 0, 0, 0x24, 0};

class DevlinkTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (m_hDev)
            StiClose(m_hDev);
    }
    CSimDevice Sim() { return m_sim.Device(); }
    DeviceState State() { return m_sim.State(); }
    void Set(const std::function<void(DeviceState&)>& fn) { ASSERT_TRUE(m_sim.Set(fn)); }
    void Open() {
        m_hDev = StiOpen(kDevice0);
        ASSERT_NE(m_hDev, 0u);
    }
    // Load check; returns the sense key and code read back after it.
    std::pair<int, int> LoadCheck(BOOL& accepted) {
        accepted = StiNone(m_hDev, kLoadBlock.data(), DWORD(kLoadBlock.size()));
        std::array<BYTE, 14> sense;
        sense.fill(0xEE);
        EXPECT_TRUE(StiGetSenseCode(m_hDev, sense.data(), 14));
        EXPECT_EQ(sense[0], 0x70);
        return {sense[2] & 0x0F, sense[12] * 256 + sense[13]};
    }

    test::CSimFolder m_sim;
    STIHANDLE m_hDev = 0;
};

} // namespace

TEST_F(DevlinkTest, ProbeByFriendlyNameGivesTheOpenableName) {
    char id[256];
    std::memset(id, 'x', sizeof id);
    ASSERT_TRUE(StiProbeDeviceID(id, "VELMORA VX-410 USB"));
    EXPECT_STREQ(id, kDevice0);
    EXPECT_FALSE(StiProbeDeviceID(id, "VELMORA VX-410 SCSI"));
    EXPECT_FALSE(StiProbeDeviceID(id, "VELMORA VX-420 USB"));
    EXPECT_FALSE(StiProbeDeviceID(id, nullptr));
    Set([](DeviceState& s) {
        s.m_attachment = Attachment::Scsi;
        s.m_nDeviceIndex = 2;
    });
    EXPECT_FALSE(StiProbeDeviceID(id, "VELMORA VX-410 USB"));
    ASSERT_TRUE(StiProbeDeviceID(id, "VELMORA VX-410 SCSI"));
    EXPECT_STREQ(id, "{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0002");
    m_hDev = StiOpen(id);
    EXPECT_NE(m_hDev, 0u);
}

TEST_F(DevlinkTest, OpenTakesOnlyTheDevicesName) {
    m_hDev = StiOpen(kDevice0);
    ASSERT_NE(m_hDev, 0u);
    const STIHANDLE second = StiOpen("{6bdd1fc6-810f-11d0-bec7-08002be2092f}\\0000");
    EXPECT_NE(second, 0u);
    EXPECT_NE(second, m_hDev);
    EXPECT_TRUE(StiClose(second));
    EXPECT_FALSE(StiClose(second)); // already closed
    EXPECT_EQ(StiOpen("{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0001"), 0u);
    EXPECT_EQ(StiOpen("VELMORA VX-410 USB"), 0u);
    EXPECT_EQ(StiOpen(nullptr), 0u);
    Set([](DeviceState& s) { s.m_attachment = Attachment::None; });
    EXPECT_EQ(StiOpen(kDevice0), 0u);
}

TEST_F(DevlinkTest, TitlesAndPanelMessageReachThePanel) {
    Open();
    Bytes title(32, 0);
    std::memcpy(title.data() + 3, "Contracts 2024", 14);
    const Bytes block = {0x2A, 0, 0x84, 0, 0, 12, 0, 0, 0x20, 0};
    ASSERT_TRUE(StiWrite(m_hDev, block.data(), 10, title.data(), 32));
    Bytes msg(36, 0);
    msg[0] = 1;
    std::memcpy(msg.data() + 4, "Scanning...", 11);
    ASSERT_TRUE(StiWrite(m_hDev, kPanelBlock.data(), 10, msg.data(), 36));
    const DeviceState s = State();
    EXPECT_EQ(s.m_titles[11], "Contracts 2024");
    EXPECT_EQ(s.m_strPanelMessage, "Scanning...");
    EXPECT_EQ(s.m_nDisplayKind, kDisplayNormal);
    // A short data buffer is refused and changes nothing.
    EXPECT_FALSE(StiWrite(m_hDev, block.data(), 10, title.data(), 20));
    EXPECT_EQ(State().m_titles[11], "Contracts 2024");
}

TEST_F(DevlinkTest, DeviceInformationByte24) {
    Set([](DeviceState& s) { s.m_nPanelSetting = 7; });
    Open();
    Bytes info(128, 0);
    ASSERT_TRUE(StiRead(m_hDev, kInfoBlock.data(), 10, info.data(), 128));
    EXPECT_EQ(info[24], 7);
}

TEST_F(DevlinkTest, LoadCheckReportsEachFaultThroughSense) {
    Open();
    BOOL ok = TRUE;
    EXPECT_EQ(LoadCheck(ok), std::make_pair(3, 0x3A00));
    EXPECT_FALSE(ok);
    ASSERT_TRUE(Sim().FeedGenerated(2));
    EXPECT_EQ(LoadCheck(ok), std::make_pair(0, 0));
    EXPECT_TRUE(ok);
    const std::vector<std::pair<std::function<void(DeviceState&)>, std::pair<int, int>>> cases = {
        {[](DeviceState& s) { s.m_bDoubleFed = true; }, {3, 0x8101}},
        {[](DeviceState& s) { s.m_bJammed = true; }, {3, 0x8000}},
        {[](DeviceState& s) { s.m_bCoverOpen = true; }, {3, 0x8001}},
        {[](DeviceState& s) { s.m_bLampError = true; }, {3, 0x6000}},
        {[](DeviceState& s) { s.m_nDiagError = 0xE35; }, {4, 0x8004}},
    };
    for (const auto& [fault, expected] : cases) {
        Set(fault);
        EXPECT_EQ(LoadCheck(ok), expected);
        EXPECT_FALSE(ok);
    }
    Bytes diag(8, 0);
    ASSERT_TRUE(StiRead(m_hDev, kDiagBlock.data(), 5, diag.data(), 8));
    EXPECT_EQ(diag[0], 0x80);
    EXPECT_EQ(diag[4], 4);
    EXPECT_EQ(diag[6] * 256 + diag[7], 0xE35);
}

TEST_F(DevlinkTest, SenseBelongsToTheHandle) {
    Open();
    const STIHANDLE other = StiOpen(kDevice0);
    ASSERT_NE(other, 0u);
    EXPECT_FALSE(StiNone(m_hDev, kLoadBlock.data(), 10)); // no paper
    const Bytes unknown = {0xC1, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_FALSE(StiNone(other, unknown.data(), 10));
    BYTE a[14] = {}, b[14] = {};
    ASSERT_TRUE(StiGetSenseCode(m_hDev, a, 14));
    ASSERT_TRUE(StiGetSenseCode(other, b, 14));
    EXPECT_EQ(a[2], 3);
    EXPECT_EQ(b[2], 5); // illegal request
    EXPECT_EQ(b[12] * 256 + b[13], 0x2000);
    EXPECT_TRUE(StiClose(other));
}

TEST_F(DevlinkTest, ClosedOrUnknownHandlesDoNothing) {
    BYTE buf[128];
    std::memset(buf, 0xAA, sizeof buf);
    EXPECT_FALSE(StiRead(0, kInfoBlock.data(), 10, buf, 128));
    EXPECT_EQ(buf[0], 0); // zeroed even so
    EXPECT_FALSE(StiNone(12345, kLoadBlock.data(), 10));
    EXPECT_FALSE(StiGetSenseCode(12345, buf, 14));
    EXPECT_FALSE(StiClose(0));
    EXPECT_FALSE(StiExecCommand(0, 0));
    Open();
    EXPECT_TRUE(StiExecCommand(m_hDev, 0));
    EXPECT_FALSE(StiExecCommand(m_hDev, 99));
}
