#include "vx410sim.h"
#include "testfolder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

using namespace vx410sim;
using vx410sim::test::CTempFolder;

namespace {

class ToolTest : public ::testing::Test {
protected:
    ToolTest() : m_dev(m_dir.Path()) {}
    int Run(std::vector<std::string> args) {
        m_out.clear();
        m_err.clear();
        return RunTool(m_dev, args, m_out, m_err);
    }
    DeviceState State() {
        DeviceState s;
        EXPECT_TRUE(m_dev.Read(s));
        return s;
    }
    CTempFolder m_dir;
    CSimDevice m_dev;
    std::string m_out, m_err;
};

} // namespace

TEST_F(ToolTest, HelpSaysItIsASimulator) {
    EXPECT_EQ(Run({}), 0);
    EXPECT_NE(m_out.find("SIMULATOR"), std::string::npos);
    EXPECT_EQ(Run({"help"}), 0);
    EXPECT_NE(m_out.find("feed --generate N"), std::string::npos);
}

TEST_F(ToolTest, BadCommandLinesExitWith2AndChangeNothing) {
    const std::vector<std::vector<std::string>> bad = {
        {"select"},
        {"select", "0"},
        {"select", "100"},
        {"select", "7x"},
        {"press", "stop"},
        {"feed"},
        {"feed", "--generate", "0"},
        {"feed", "--barcode", "", "--generate", "1"},
        {"feed", "--barcode-type", "256", "--barcode", "x", "--generate", "1"},
        {"feed", "--barcode", "x"},
        {"fault", "jam"},
        {"fault", "lamp", "maybe"},
        {"fault", "sense", "16", "0"},
        {"fault", "diag", "0x10000"},
        {"fault", "source", "Bad", "1"},
        {"fault", "source", "imageinfo", "0"},
        {"title", "0"},
        {"frobnicate"},
        {"cover", "ajar"},
        {"attach", "firewire"}};
    for (const auto& args : bad) {
        EXPECT_EQ(Run(args), 2) << args[0];
        EXPECT_NE(m_err.find("vx410:"), std::string::npos);
    }
    EXPECT_EQ(State(), DeviceState{});
}

TEST_F(ToolTest, SelectPressAndStatus) {
    ASSERT_EQ(Run({"select", "12"}), 0);
    ASSERT_EQ(Run({"press", "start"}), 0);
    ASSERT_EQ(Run({"feed", "--generate", "4"}), 0);
    ASSERT_EQ(Run({"status"}), 0);
    EXPECT_NE(m_out.find("selected job: 12"), std::string::npos) << m_out;
    EXPECT_NE(m_out.find("start button: pressed"), std::string::npos) << m_out;
    EXPECT_NE(m_out.find("feeder: 4 pages (0 files, 4 generated), paper present"),
              std::string::npos)
        << m_out;
    EXPECT_NE(m_out.find("VELMORA VX-410 USB as {6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0000"),
              std::string::npos)
        << m_out;
    EXPECT_TRUE(m_dev.TakeStartPress());
}

TEST_F(ToolTest, TitleWrittenByBlockIsShownByPanelAndTitle) {
    const uint8_t cdb[10] = {0x2A, 0, 0x84, 0, 0, 7, 0, 0, 0x20, 0};
    uint8_t data[32] = {};
    std::memcpy(data + 3, "Receipts", 8);
    ASSERT_TRUE(ExecuteBlock(m_dev, Phase::Out, cdb, 10, data, 32, nullptr));
    const uint8_t panel[10] = {0x2A, 0, 0x84, 0, 0, 0x65, 0, 0, 0x24, 0};
    uint8_t msg[36] = {3};
    std::memcpy(msg + 4, "Scan failed.", 12);
    ASSERT_TRUE(ExecuteBlock(m_dev, Phase::Out, panel, 10, msg, 36, nullptr));
    ASSERT_EQ(Run({"panel"}), 0);
    EXPECT_EQ(m_out, "07: Receipts\nmessage [error]: Scan failed.\n");
    ASSERT_EQ(Run({"title", "7"}), 0);
    EXPECT_EQ(m_out, "Receipts\n");
    ASSERT_EQ(Run({"title", "8"}), 0);
    EXPECT_EQ(m_out, "\n");
}

TEST_F(ToolTest, FaultsSetAndClear) {
    ASSERT_EQ(Run({"fault", "jam", "3"}), 0);
    ASSERT_EQ(Run({"fault", "doublefeed", "5"}), 0);
    ASSERT_EQ(Run({"fault", "lamp", "on"}), 0);
    ASSERT_EQ(Run({"fault", "diag", "0xE35"}), 0);
    ASSERT_EQ(Run({"fault", "sense", "3", "0x8001"}), 0);
    ASSERT_EQ(Run({"fault", "source", "zerowidth", "2"}), 0);
    ASSERT_EQ(Run({"cover", "open"}), 0);
    DeviceState s = State();
    EXPECT_EQ(s.m_nJamAtPage, 3);
    EXPECT_EQ(s.m_nDoubleFeedAtPage, 5);
    EXPECT_TRUE(s.m_bLampError);
    EXPECT_EQ(s.m_nDiagError, 0xE35);
    EXPECT_TRUE(s.m_bSenseArmed);
    EXPECT_EQ(s.m_armedSense, (SenseData{3, 0x8001}));
    EXPECT_TRUE(s.m_bCoverOpen);
    ASSERT_EQ(Run({"status"}), 0);
    EXPECT_NE(m_out.find("diagnostic error 0xE35"), std::string::npos) << m_out;
    EXPECT_NE(m_out.find("cover: open"), std::string::npos) << m_out;
    EXPECT_NE(m_out.find("data source fault zerowidth at page 2"), std::string::npos) << m_out;
    ASSERT_EQ(Run({"fault", "clear"}), 0);
    s = State();
    EXPECT_EQ(s.m_nJamAtPage, 0);
    EXPECT_FALSE(s.m_bLampError);
    EXPECT_EQ(s.m_nDiagError, 0);
    EXPECT_FALSE(s.m_bSenseArmed);
    EXPECT_TRUE(s.m_strSourceFault.empty());
    EXPECT_TRUE(s.m_bCoverOpen); // the cover is not a fault
    ASSERT_EQ(Run({"clear"}), 0);
}

TEST_F(ToolTest, FedSheetsCarryTheirBarcodesToTheScan) {
    ASSERT_EQ(Run({"feed", "--barcode", "A:1", "--barcode-type", "10", "--barcode", "4006381333931",
                   "--generate", "2"}),
              0)
        << m_err;
    ASSERT_EQ(Run({"feed", "--generate", "1"}), 0);
    const std::vector<Barcode> want = {{4, "A:1"}, {10, "4006381333931"}};
    PageSource p;
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(m_dev.TakeNextPage(p), TakeResult::Page);
        EXPECT_EQ(p.m_barcodes, want);
    }
    ASSERT_EQ(m_dev.TakeNextPage(p), TakeResult::Page);
    EXPECT_TRUE(p.m_barcodes.empty());
}

TEST_F(ToolTest, FeedMissingFileFailsWith1) {
    EXPECT_EQ(Run({"feed", m_dir.File("nope.pbm")}), 1);
    EXPECT_NE(m_err.find("nope.pbm"), std::string::npos) << m_err;
}

TEST_F(ToolTest, UnusableStateFolderFailsWith1) {
    std::ofstream(m_dir.File("state.txt")) << "attachment=floppy\n";
    EXPECT_EQ(Run({"status"}), 1);
    EXPECT_EQ(Run({"select", "3"}), 1);
    EXPECT_NE(m_err.find("attachment"), std::string::npos) << m_err;
}
