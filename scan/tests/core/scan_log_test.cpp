// The scan trace log: off by default, prefix format, and rotation into five
// generations.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "ScanLog.h"

namespace fs = std::filesystem;

namespace {

class ScanLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() /
                ("scanlog_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                 "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        CScanTraceLog::SetFolder(m_dir.string());
    }
    void TearDown() override {
        CScanTraceLog::SetEnabled(false);
        fs::remove_all(m_dir);
    }
    static std::string Read(const std::string& p) {
        std::ifstream f(p, std::ios::binary);
        std::stringstream ss;
        ss << f.rdbuf();
        return ss.str();
    }
    fs::path m_dir;
};

TEST_F(ScanLogTest, OffUntilSwitchedOn) {
    CScanTraceLog::SetEnabled(false);
    CScanTraceLog::Write("nothing");
    EXPECT_FALSE(fs::exists(CScanTraceLog::PathOf(-1)));
}

TEST_F(ScanLogTest, LinesCarryThePrefixAndEndInCrLf) {
    CScanTraceLog::SetEnabled(true);
    CScanTraceLog::Write("CTwainDriver::Scan");
    CScanTraceLog::WriteF(" ScanResolution=%d", 300);
    CScanTraceLog::Write(nullptr);
    std::string s = Read(CScanTraceLog::PathOf(-1));
    std::regex line(
        R"(\d{4}/\d\d/\d\d-\d\d:\d\d:\d\d\.\d{3}-[0-9A-F]{8}  CTwainDriver::Scan\r\n)"
        R"(\d{4}/\d\d/\d\d-\d\d:\d\d:\d\d\.\d{3}-[0-9A-F]{8}   ScanResolution=300\r\n\r\n)");
    EXPECT_TRUE(std::regex_match(s, line)) << s;
    EXPECT_EQ(fs::path(CScanTraceLog::PathOf(-1)).filename(), "HarvScan.log");
    EXPECT_EQ(fs::path(CScanTraceLog::PathOf(3)).filename(), "HarvScan3.log");
}

TEST_F(ScanLogTest, RotationShiftsFiveGenerationsAndDropsTheSixth) {
    CScanTraceLog::SetEnabled(true);
    const std::string big(1000, 'x');
    // Six rotations, each generation tagged by its first line.
    for (int gen = 0; gen < 6; ++gen) {
        CScanTraceLog::Write(("generation " + std::to_string(gen)).c_str());
        while (fs::exists(CScanTraceLog::PathOf(-1)))
            CScanTraceLog::Write(big.c_str());
    }
    for (int n = 0; n < 5; ++n) {
        std::string s = Read(CScanTraceLog::PathOf(n));
        // HarvScan0 is the newest (generation 5), HarvScan4 the oldest kept (1).
        EXPECT_NE(s.find("generation " + std::to_string(5 - n) + "\r\n"), std::string::npos) << n;
        EXPECT_GT(s.size(), CScanTraceLog::kRotateSize);
    }
    EXPECT_FALSE(fs::exists(CScanTraceLog::PathOf(5)));
    EXPECT_FALSE(fs::exists(CScanTraceLog::PathOf(-1)));
}

} // namespace
