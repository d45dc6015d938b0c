// The run log on Windows: temp folder, the off switch, rotation, long texts
// and several threads and processes writing at once.
#include <gtest/gtest.h>
#include "common/VlmLog.h"
#include "common/portable/LogCore.h"
#include <fstream>
#include <map>
#include <sstream>
#include <thread>
#include <vector>

namespace {
std::string TempPath(const char* name) {
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    return std::string(temp) + name;
}
std::string ReadAll(const std::string& path) {
    std::stringstream ss;
    ss << std::ifstream(path, std::ios::binary).rdbuf();
    return ss.str();
}
bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}
void RemoveFamily(const std::string& path) {
    DeleteFileA(path.c_str());
    for (int n = 0; n < 12; ++n)
        DeleteFileA(vlm::LogNumberedName(path, n).c_str());
}
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find("\r\n", pos);
        if (end == std::string::npos) {
            out.push_back(text.substr(pos));
            break;
        }
        out.push_back(text.substr(pos, end - pos));
        pos = end + 2;
    }
    return out;
}
} // namespace

TEST(VlmLog, UnopenedLoggerCreatesNothing) {
    std::string path = TempPath("vlmlog_off.log");
    RemoveFamily(path);
    CVlmLog log;
    EXPECT_FALSE(log.IsOpen());
    log.Write("InitInstance() start");
    EXPECT_FALSE(Exists(path));
    log.Open("vlmlog_off.log");
    log.Close();
    log.Write("after close");
    EXPECT_FALSE(Exists(path));
}

TEST(VlmLog, OpensInTheTempFolderWithPrefix) {
    std::string path = TempPath("vlmlog_open.log");
    RemoveFamily(path);
    CVlmLog log;
    log.Open("vlmlog_open.log");
    ASSERT_TRUE(log.IsOpen());
    EXPECT_EQ(log.GetPath(), path);
    log.Write("JobNumber is %d", 7);
    CVlmLog::SetThreadTag("Scan");
    log.Write("tagged");
    CVlmLog::SetThreadTag(nullptr);
    std::vector<std::string> lines = Lines(ReadAll(path));
    ASSERT_EQ(lines.size(), 2u);
    char tid[16];
    snprintf(tid, sizeof tid, "%08lx", GetCurrentThreadId());
    // "YYYY/MM/DD hh:mm:ss.mmm  [Taskdeck:tid]  text"
    ASSERT_GT(lines[0].size(), 27u);
    EXPECT_EQ(lines[0][4], '/');
    EXPECT_EQ(lines[0][19], '.');
    EXPECT_EQ(lines[0].substr(23), std::string("  [Taskdeck:") + tid + "]  JobNumber is 7");
    EXPECT_EQ(lines[1].substr(23), std::string("  [Scan    :") + tid + "]  tagged");
    log.Close();
    RemoveFamily(path);
}

TEST(VlmLog, RotatesBigLogBeforeTheNextLine) {
    std::string path = TempPath("vlmlog_rot.log");
    RemoveFamily(path);
    { std::ofstream(path, std::ios::binary) << std::string(600 * 1024, 'A'); }
    { std::ofstream(vlm::LogNumberedName(path, 0), std::ios::binary) << "older"; }
    CVlmLog log;
    log.Open("vlmlog_rot.log");
    log.Write("fresh");
    std::string live = ReadAll(path);
    EXPECT_NE(live.find("]  fresh\r\n"), std::string::npos);
    EXPECT_LT(live.size(), 100u);
    EXPECT_EQ(ReadAll(TempPath("vlmlog_rot0.log")).size(), 600u * 1024);
    EXPECT_EQ(ReadAll(TempPath("vlmlog_rot1.log")), "older");
    RemoveFamily(path);
}

TEST(VlmLog, NameWithoutExtensionGetsNumberAppended) {
    std::string path = TempPath("vlmlog_noext");
    RemoveFamily(path);
    CVlmLog log;
    log.Open("vlmlog_noext");
    log.SetSizeLimit(100);
    for (int i = 0; i < 14; ++i)
        log.Write("%s", std::string(150, static_cast<char>('a' + i)).c_str());
    // Every line rotates the previous one: 0..9 kept, 9 the oldest.
    EXPECT_TRUE(Exists(path));
    for (int n = 0; n < 10; ++n)
        EXPECT_TRUE(Exists(path + std::to_string(n))) << n;
    EXPECT_FALSE(Exists(path + "10"));
    EXPECT_NE(ReadAll(path + "0").find(std::string(150, 'a' + 12)), std::string::npos);
    EXPECT_NE(ReadAll(path + "9").find(std::string(150, 'a' + 3)), std::string::npos);
    RemoveFamily(path);
}

TEST(VlmLog, LongTextIsTruncated) {
    std::string path = TempPath("vlmlog_long.log");
    RemoveFamily(path);
    CVlmLog log;
    log.Open("vlmlog_long.log");
    std::string text(2000, 'q');
    log.Write("%s", text.c_str());
    log.Write(text.c_str());
    std::vector<std::string> lines = Lines(ReadAll(path));
    ASSERT_EQ(lines.size(), 2u);
    for (const std::string& line : lines) {
        size_t start = line.find("]  ") + 3;
        EXPECT_EQ(line.size() - start, 1023u);
    }
    RemoveFamily(path);
}

TEST(VlmLog, ConcurrentWritersNeverInterleave) {
    std::string path = TempPath("vlmlog_mt.log");
    RemoveFamily(path);
    CVlmLog log;
    log.Open("vlmlog_mt.log");
    const int kThreads = 6, kLines = 150;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&log, t] {
            std::string body(40 + t * 30, static_cast<char>('A' + t));
            for (int i = 0; i < kLines; ++i)
                log.Write("T%d #%03d %s", t, i, body.c_str());
        });
    for (auto& th : threads)
        th.join();
    std::vector<std::string> lines = Lines(ReadAll(path));
    ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kLines));
    std::vector<int> next(kThreads, 0);
    for (const std::string& line : lines) {
        size_t start = line.find("]  T");
        ASSERT_NE(start, std::string::npos) << line;
        int t = line[start + 4] - '0';
        ASSERT_GE(t, 0);
        ASSERT_LT(t, kThreads);
        char expect[32];
        snprintf(expect, sizeof expect, "T%d #%03d ", t, next[t]++);
        EXPECT_EQ(line.substr(start + 3, strlen(expect)), expect);
        EXPECT_EQ(line.substr(start + 3 + strlen(expect)),
                  std::string(40 + t * 30, static_cast<char>('A' + t)));
    }
    RemoveFamily(path);
}

// A child process of this test: writes its lines to the log the parent names.
TEST(VlmLog, WriterProcess) {
    char path[MAX_PATH] = {}, tag[8] = {};
    if (!GetEnvironmentVariableA("VLMLOG_WRITER_PATH", path, MAX_PATH) ||
        !GetEnvironmentVariableA("VLMLOG_WRITER_TAG", tag, sizeof tag))
        GTEST_SKIP() << "started by ProcessesSharingALogLoseNoLine only";
    CVlmLog log;
    log.OpenPath(path);
    for (int i = 0; i < 1000; ++i)
        log.Write("%s #%04d", tag, i);
}

// A runner and the newer one that displaces it write the same log at once.
TEST(VlmLog, ProcessesSharingALogLoseNoLine) {
    const std::string path = TempPath("vlmlog_mp.log");
    RemoveFamily(path);
    char self[MAX_PATH] = {};
    ASSERT_TRUE(GetModuleFileNameA(nullptr, self, MAX_PATH));
    std::string command = std::string("\"") + self + "\" --gtest_filter=VlmLog.WriterProcess";
    SetEnvironmentVariableA("VLMLOG_WRITER_PATH", path.c_str());
    std::vector<PROCESS_INFORMATION> children;
    for (char tag : {'P', 'Q', 'R'}) {
        const char value[2] = {tag, 0};
        SetEnvironmentVariableA("VLMLOG_WRITER_TAG", value);
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi = {};
        std::vector<char> line(command.begin(), command.end());
        line.push_back(0);
        ASSERT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   nullptr, &si, &pi));
        children.push_back(pi);
    }
    SetEnvironmentVariableA("VLMLOG_WRITER_PATH", nullptr);
    SetEnvironmentVariableA("VLMLOG_WRITER_TAG", nullptr);
    for (PROCESS_INFORMATION& pi : children) {
        EXPECT_EQ(WaitForSingleObject(pi.hProcess, 300000), WAIT_OBJECT_0);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    std::map<std::string, int> count;
    for (const std::string& line : Lines(ReadAll(path))) {
        const size_t start = line.find("]  ");
        ASSERT_NE(start, std::string::npos) << line;
        ++count[line.substr(start + 3)];
    }
    for (char tag : {'P', 'Q', 'R'})
        for (int i = 0; i < 1000; ++i) {
            char text[16];
            snprintf(text, sizeof text, "%c #%04d", tag, i);
            ASSERT_EQ(count[text], 1) << text;
        }
    RemoveFamily(path);
}

TEST(VlmLog, UnwritablePathSkipsLines) {
    CVlmLog log;
    log.OpenPath("Z:\\no\\such\\folder\\x.log");
    log.Write("lost"); // must not crash or throw
    EXPECT_TRUE(log.IsOpen());
}

TEST(VlmLog, DefaultNameFromProgram) {
    EXPECT_EQ(VlmDefaultLogName(), "common_test.log");
}

namespace {
// The text of each line, without the time and thread prefix.
std::vector<std::string> Texts(const std::string& path) {
    std::vector<std::string> out;
    for (const std::string& line : Lines(ReadAll(path))) {
        size_t p = line.find("]  ");
        out.push_back(p == std::string::npos ? line : line.substr(p + 3));
    }
    return out;
}
} // namespace

TEST(VlmLog, StepWritesItsEndOnlyWhenLeftNormally) {
    std::string path = TempPath("vlmlog_step.log");
    RemoveFamily(path);
    CVlmLog& log = CVlmLog::Instance();
    log.OpenPath(path.c_str());
    {
        CVlmLogStep outer("StiLock");
        CVlmLogStep inner("if ((x))  "); // the name's own spaces stay
        log.Write("inside");
    }
    try {
        CVlmLogStep failing("GetSelectedJobNo()");
        throw 1;
    } catch (int) {
        // A step left by an exception shows where the run stopped.
        CVlmLogStep handler("handler"); // a step inside a handler still ends
    }
    {
        CVlmLogStep refused("MutuallyExclusive()");
        refused.Abandon();
        log.Write("MutuallyExclusive returns False --> application ends.");
    }
    log.Close();
    EXPECT_EQ(Texts(path),
              (std::vector<std::string>{"StiLock start", "if ((x))   start", "inside",
                                        "if ((x))   end", "StiLock end", "GetSelectedJobNo() start",
                                        "handler start", "handler end", "MutuallyExclusive() start",
                                        "MutuallyExclusive returns False --> application ends."}));
    RemoveFamily(path);
}
