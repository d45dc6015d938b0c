// The run log's file logic: prefix, truncation, numbered names and rotation.
#include <gtest/gtest.h>
#include "common/portable/LogCore.h"
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#ifndef _WIN32
#include <unistd.h>
#endif

using namespace vlm;

TEST(LogCore, PrefixLayout) {
    LogTime t{2024, 3, 7, 9, 5, 2, 45};
    EXPECT_EQ(LogLinePrefix(t, "Taskdeck", 0x1a2b),
              "2024/03/07 09:05:02.045  [Taskdeck:00001a2b]  ");
    EXPECT_EQ(LogLinePrefix(t, "ab", 0xffffffffu),
              "2024/03/07 09:05:02.045  [ab      :ffffffff]  ");
    // Tags longer than the column are cut, keeping the layout.
    EXPECT_EQ(LogLinePrefix(t, "verylongtag", 1), "2024/03/07 09:05:02.045  [verylong:00000001]  ");
}

TEST(LogCore, FormattingTruncatesAtTheBuffer) {
    std::string big(2000, 'x');
    std::string s = LogFormat("%s|end", big.c_str());
    EXPECT_EQ(s.size(), kLogFormatBuffer - 1);
    EXPECT_EQ(s, std::string(kLogFormatBuffer - 1, 'x'));
    EXPECT_EQ(LogFormat("%d-%s", 12, "ab"), "12-ab");
    EXPECT_EQ(LogFormat(nullptr), "");
}

TEST(LogCore, NumberedNames) {
    EXPECT_EQ(LogNumberedName("C:\\tmp\\kestrel.log", 0), "C:\\tmp\\kestrel0.log");
    EXPECT_EQ(LogNumberedName("C:\\tmp\\kestrel.log", 9), "C:\\tmp\\kestrel9.log");
    // No extension: the number goes at the end.
    EXPECT_EQ(LogNumberedName("C:\\tmp\\kestrel", 3), "C:\\tmp\\kestrel3");
    // A dot in a folder name is not an extension.
    EXPECT_EQ(LogNumberedName("C:\\my.dir\\kestrel", 1), "C:\\my.dir\\kestrel1");
    EXPECT_EQ(LogNumberedName("/tmp/a.b/run.x.log", 2), "/tmp/a.b/run.x2.log");
    // Percent signs in the path are plain text, never a format.
    EXPECT_EQ(LogNumberedName("C:\\100%s\\log%d.txt", 4), "C:\\100%s\\log%d4.txt");
}

namespace {
// In-memory files, so that the rotation can be checked step by step.
class CMemOps : public ILogFileOps {
public:
    std::map<std::string, std::string> m_files;
    bool m_bFailAppend = false;
    int64_t Size(const std::string& p) override {
        auto it = m_files.find(p);
        return it == m_files.end() ? -1 : static_cast<int64_t>(it->second.size());
    }
    bool Remove(const std::string& p) override { return m_files.erase(p) > 0; }
    bool Rename(const std::string& from, const std::string& to) override {
        auto it = m_files.find(from);
        if (it == m_files.end() || m_files.count(to))
            return false;
        m_files[to] = it->second;
        m_files.erase(from);
        return true;
    }
    bool Append(const std::string& p, const std::string& d) override {
        if (m_bFailAppend)
            return false;
        m_files[p] += d;
        return true;
    }
};
} // namespace

TEST(LogCore, RotationKeepsTenFiles) {
    CMemOps ops;
    const std::string path = "T\\run.log";
    // Fill eleven generations; each over the limit before the next line.
    for (int gen = 0; gen < 12; ++gen) {
        ops.m_files[path] = std::string(600 * 1024, static_cast<char>('a' + gen));
        ASSERT_TRUE(LogWriteLine(ops, path, "P ", "line"));
    }
    EXPECT_EQ(ops.m_files.size(), 11u); // live + 0..9
    EXPECT_EQ(ops.m_files[path], "P line\r\n");
    // Generation 11 is newest (number 0), generation 2 oldest (number 9).
    EXPECT_EQ(ops.m_files["T\\run0.log"][0], 'a' + 11);
    EXPECT_EQ(ops.m_files["T\\run9.log"][0], 'a' + 2);
    EXPECT_EQ(ops.m_files["T\\run0.log"].size(), 600u * 1024);
}

TEST(LogCore, NoRotationAtOrBelowTheLimit) {
    CMemOps ops;
    ops.m_files["r.log"] = std::string(kLogSizeLimit, 'x');
    EXPECT_FALSE(LogRotateIfNeeded(ops, "r.log"));
    ops.m_files["r.log"] += "y";
    EXPECT_TRUE(LogRotateIfNeeded(ops, "r.log"));
    EXPECT_EQ(ops.m_files.count("r.log"), 0u);
    EXPECT_EQ(ops.m_files.count("r0.log"), 1u);
    EXPECT_FALSE(LogRotateIfNeeded(ops, "missing.log"));
}

TEST(LogCore, FailedWriteIsSilent) {
    CMemOps ops;
    ops.m_bFailAppend = true;
    EXPECT_FALSE(LogWriteLine(ops, "r.log", "p", "t"));
    EXPECT_FALSE(LogWriteLine(ops, "", "p", "t"));
    EXPECT_TRUE(ops.m_files.empty());
}

TEST(LogCore, StdioOpsRotateRealFiles) {
    CStdioLogFileOps ops;
#ifdef _WIN32
    std::string base = std::string(getenv("TEMP") ? getenv("TEMP") : ".") + "\\logcore_test";
#else
    std::string base = std::string("/tmp/") + "logcore_test_" + std::to_string(getpid());
#endif
    std::string path = base + ".log";
    for (int n = 0; n < 10; ++n)
        std::remove(LogNumberedName(path, n).c_str());
    std::remove(path.c_str());
    {
        std::ofstream(path, std::ios::binary) << std::string(600 * 1024, 'L');
        std::ofstream(LogNumberedName(path, 0), std::ios::binary) << "old0";
    }
    ASSERT_TRUE(LogWriteLine(ops, path, "", "first line"));
    std::stringstream live, zero, one;
    live << std::ifstream(path, std::ios::binary).rdbuf();
    zero << std::ifstream(LogNumberedName(path, 0), std::ios::binary).rdbuf();
    one << std::ifstream(LogNumberedName(path, 1), std::ios::binary).rdbuf();
    EXPECT_EQ(live.str(), "first line\r\n");
    EXPECT_EQ(zero.str().size(), 600u * 1024);
    EXPECT_EQ(one.str(), "old0");
    for (int n = 0; n < 10; ++n)
        std::remove(LogNumberedName(path, n).c_str());
    std::remove(path.c_str());
}

TEST(LogCore, OneLockNameForEverySpellingOfAPath) {
    const std::string name = vlm::LogLockName("C:\\Users\\Me\\Temp\\kestrel.log");
    EXPECT_EQ(name, vlm::LogLockName("c:/users/me/temp/KESTREL.LOG"));
    EXPECT_NE(name, vlm::LogLockName("C:\\Users\\Me\\Temp\\corvid.log"));
    EXPECT_EQ(name.find('\\'), std::string::npos);
}
