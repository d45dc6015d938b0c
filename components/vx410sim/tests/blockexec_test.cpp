#include "vx410sim.h"
#include "testfolder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace vx410sim;
using vx410sim::test::CTempFolder;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes TitleBlock(int job) {
    return {0x2A, 0, 0x84, 0, 0, uint8_t(job), 0, 0, 0x20, 0};
}
const Bytes kPanelBlock = {0x2A, 0, 0x84, 0, 0, 0x65, 0, 0, 0x24, 0};
const Bytes kInfoBlock = {0x28, 0, 0x8C, 0, 0, 0x01, 0, 0, 0x80, 0};
const Bytes kLoadBlock = {0x31, 0x01, 0, 0, 0, 0, 0, 0, 0, 0};
const Bytes kDiagBlock = {0x1C, 0, 0, 0x08, 0};

class BlockTest : public ::testing::Test {
protected:
    BlockTest() : m_dev(m_dir.Path()) {}

    bool Write(const Bytes& cdb, Bytes data) {
        return ExecuteBlock(m_dev, Phase::Out, cdb.data(), cdb.size(), data.data(), data.size(),
                            &m_sense);
    }
    bool Read(const Bytes& cdb, Bytes& buf) {
        return ExecuteBlock(m_dev, Phase::In, cdb.data(), cdb.size(), buf.data(), buf.size(),
                            &m_sense);
    }
    bool None(const Bytes& cdb) {
        return ExecuteBlock(m_dev, Phase::None, cdb.data(), cdb.size(), nullptr, 0, &m_sense);
    }
    DeviceState State() {
        DeviceState s;
        EXPECT_TRUE(m_dev.Read(s));
        return s;
    }
    void Set(const std::function<void(DeviceState&)>& fn) {
        ASSERT_TRUE(m_dev.Update([&](DeviceState& s) {
            fn(s);
            return true;
        }));
    }
    void ExpectSense(uint8_t key, uint16_t code) {
        EXPECT_EQ(m_sense.m_nKey, key);
        EXPECT_EQ(m_sense.m_nCode, code);
    }

    CTempFolder m_dir;
    CSimDevice m_dev;
    SenseData m_sense;
};

Bytes TitleData(const std::string& title) {
    Bytes d(32, 0);
    std::memcpy(d.data() + 3, title.data(), title.size());
    return d;
}

} // namespace

TEST_F(BlockTest, JobTitlesAreStoredPerJob) {
    ASSERT_TRUE(Write(TitleBlock(1), TitleData("Invoices")));
    ASSERT_TRUE(Write(TitleBlock(99), TitleData(std::string(29, 'X')))); // no terminator
    ASSERT_TRUE(Write(TitleBlock(50), TitleData("\xC4rger")));           // ANSI bytes kept
    DeviceState s = State();
    EXPECT_EQ(s.m_titles[0], "Invoices");
    EXPECT_EQ(s.m_titles[98], std::string(29, 'X'));
    EXPECT_EQ(s.m_titles[49], "\xC4rger");
    ASSERT_TRUE(Write(TitleBlock(1), Bytes(32, 0))); // clearing
    EXPECT_EQ(State().m_titles[0], "");
}

TEST_F(BlockTest, TitleBlockForJobOutsideRangeOrShortDataIsRefused) {
    EXPECT_FALSE(Write(TitleBlock(0), TitleData("x")));
    ExpectSense(5, kCodeInvalidField);
    EXPECT_FALSE(Write(TitleBlock(100), TitleData("x")));
    ExpectSense(5, kCodeInvalidField);
    EXPECT_FALSE(Write(TitleBlock(3), Bytes(31, 0))); // buffer shorter than announced
    ExpectSense(5, kCodeInvalidField);
    Bytes cdb = TitleBlock(3);
    cdb[8] = 0x10; // wrong transfer length for a title
    EXPECT_FALSE(Write(cdb, TitleData("x")));
    EXPECT_EQ(State().m_titles[2], "");
}

TEST_F(BlockTest, PanelMessageKeepsKindAndAtMost32Bytes) {
    Bytes d(36, 0);
    d[0] = 2;
    std::memcpy(d.data() + 4, "Sending...", 10);
    ASSERT_TRUE(Write(kPanelBlock, d));
    EXPECT_EQ(State().m_strPanelMessage, "Sending...");
    EXPECT_EQ(State().m_nDisplayKind, kDisplayWarning);
    const std::string full = "0123456789ABCDEFGHIJKLMNOPQRSTUV"; // exactly 32, no terminator
    std::memcpy(d.data() + 4, full.data(), 32);
    d[0] = 3;
    ASSERT_TRUE(Write(kPanelBlock, d));
    EXPECT_EQ(State().m_strPanelMessage, full);
    EXPECT_EQ(State().m_nDisplayKind, kDisplayError);
    d[0] = 0; // not a display kind
    EXPECT_FALSE(Write(kPanelBlock, d));
    ExpectSense(5, kCodeInvalidField);
    d[0] = 4;
    EXPECT_FALSE(Write(kPanelBlock, d));
    EXPECT_EQ(State().m_nDisplayKind, kDisplayError);
}

TEST_F(BlockTest, DeviceInformationCarriesThePanelByte) {
    Set([](DeviceState& s) { s.m_nPanelSetting = 0x5A; });
    Bytes buf(128, 0xAA);
    ASSERT_TRUE(Read(kInfoBlock, buf));
    EXPECT_EQ(buf[24], 0x5A);
    EXPECT_EQ(std::string(buf.begin(), buf.begin() + 14), "VELMORA VX-410");
    EXPECT_EQ(buf[127], 0); // zeroed, not left as the caller's bytes
    Bytes small(64, 0xAA);
    EXPECT_FALSE(Read(kInfoBlock, small));
    ExpectSense(5, kCodeInvalidField);
    EXPECT_EQ(small, Bytes(64, 0)); // a refused read returns nothing
}

TEST_F(BlockTest, LoadCheckNeedsPaperAndClosedCover) {
    EXPECT_FALSE(None(kLoadBlock));
    ExpectSense(3, 0x3A00);
    ASSERT_TRUE(m_dev.FeedGenerated(2));
    EXPECT_TRUE(None(kLoadBlock));
    ExpectSense(0, 0);
    Set([](DeviceState& s) { s.m_bDoubleFed = true; });
    EXPECT_FALSE(None(kLoadBlock));
    ExpectSense(3, 0x8101);
    Set([](DeviceState& s) { s.m_bJammed = true; });
    EXPECT_FALSE(None(kLoadBlock));
    ExpectSense(3, 0x8000);
    Set([](DeviceState& s) { s.m_bCoverOpen = true; });
    EXPECT_FALSE(None(kLoadBlock));
    ExpectSense(3, 0x8001);
    Set([](DeviceState& s) { s.m_bLampError = true; });
    EXPECT_FALSE(None(kLoadBlock));
    ExpectSense(3, 0x6000);
    Set([](DeviceState& s) { s.m_nDiagError = 0xE33; });
    EXPECT_FALSE(None(kLoadBlock));
    ExpectSense(4, 0x8004);
    ASSERT_TRUE(m_dev.ClearFaults());
    Set([](DeviceState& s) { s.m_bCoverOpen = false; });
    EXPECT_TRUE(None(kLoadBlock));
    Bytes loadOther = kLoadBlock;
    loadOther[1] = 2; // eject is not supported
    EXPECT_FALSE(None(loadOther));
    ExpectSense(5, kCodeInvalidField);
}

TEST_F(BlockTest, DiagnosticNumberIsInBytes6And7) {
    Bytes buf(8, 0xFF);
    ASSERT_TRUE(Read(kDiagBlock, buf));
    EXPECT_EQ(buf, (Bytes{0x80, 0, 0, 0, 4, 0, 0, 0}));
    for (int d : {0xE33, 0xE35, 0xE44}) {
        Set([d](DeviceState& s) { s.m_nDiagError = d; });
        ASSERT_TRUE(Read(kDiagBlock, buf));
        EXPECT_EQ(buf[0], 0x80);
        EXPECT_EQ(buf[4], 4);
        EXPECT_EQ(buf[6] * 256 + buf[7], d);
    }
    Bytes shortBuf(4);
    EXPECT_FALSE(Read(kDiagBlock, shortBuf));
    ExpectSense(5, kCodeInvalidField);
}

TEST_F(BlockTest, UnknownOrMisusedBlocksAreIllegalRequests) {
    EXPECT_FALSE(None(Bytes{0x12, 0, 0, 0, 0x24, 0})); // INQUIRY: not implemented
    ExpectSense(5, kCodeInvalidCommand);
    Bytes buf(128);
    EXPECT_FALSE(Read(TitleBlock(1), buf)); // a SEND block on the read path
    ExpectSense(5, kCodeInvalidField);
    EXPECT_FALSE(Write(Bytes{0x2A, 0, 0x99, 0, 0, 1, 0, 0, 0x20, 0}, Bytes(32))); // data type
    ExpectSense(5, kCodeInvalidField);
    EXPECT_FALSE(Write(Bytes{0x2A, 0, 0x84, 0, 0, 0x66, 0, 0, 0x24, 0}, Bytes(36))); // qualifier
    ExpectSense(5, kCodeInvalidField);
    EXPECT_FALSE(Write(Bytes{0x2A, 0, 0x84, 0, 0, 1, 0, 0}, Bytes(32))); // 8-byte block
    ExpectSense(5, kCodeInvalidField);
    EXPECT_FALSE(ExecuteBlock(m_dev, Phase::None, nullptr, 10, nullptr, 0, &m_sense));
    ExpectSense(5, kCodeInvalidField);
    EXPECT_TRUE(None(Bytes{0, 0, 0, 0, 0, 0})); // TEST UNIT READY
}

TEST_F(BlockTest, ArmedSenseFailsExactlyTheNextCommand) {
    ASSERT_TRUE(m_dev.FeedGenerated(1));
    Set([](DeviceState& s) {
        s.m_bSenseArmed = true;
        s.m_armedSense = SenseData{3, 0x1234};
    });
    EXPECT_FALSE(Write(TitleBlock(1), TitleData("lost")));
    ExpectSense(3, 0x1234);
    EXPECT_EQ(State().m_titles[0], "");
    EXPECT_TRUE(None(kLoadBlock));
    EXPECT_EQ(State().m_nCommands, 2);
}

TEST_F(BlockTest, DetachedScannerIsNotReady) {
    Set([](DeviceState& s) { s.m_attachment = Attachment::None; });
    EXPECT_FALSE(None(kLoadBlock));
    ExpectSense(2, 0x0400);
}

TEST(SenseBytes, FixedFormat) {
    const auto b = SenseData{3, 0x3A00}.Bytes();
    EXPECT_EQ(b[0], 0x70);
    EXPECT_EQ(b[2] & 0x0F, 3);
    EXPECT_EQ(b[7], 6);
    EXPECT_EQ(b[12], 0x3A);
    EXPECT_EQ(b[13], 0x00);
    EXPECT_EQ(SenseData{}.Bytes()[2], 0);
}
