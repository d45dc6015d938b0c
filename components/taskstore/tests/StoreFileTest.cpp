#include "StoreFile.h"
#include "TestProtector.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <sys/file.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

using namespace taskstore;

namespace {

class StoreFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/taskstore-test-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        m_dir = tmpl;
        m_path = m_dir + "/sub/Taskstore.reg";
    }
    void TearDown() override { std::system(("rm -rf '" + m_dir + "'").c_str()); }

    std::string ReadRaw() {
        std::ifstream in(m_path, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    void WriteRaw(const std::string& text) {
        std::system(("mkdir -p '" + m_dir + "/sub'").c_str());
        std::ofstream(m_path, std::ios::binary) << text;
    }

    // Adds one to the job-1 counter; the test's unit of "a commit".
    static bool Increment(const CStoreFile& f, const char* key = "counter") {
        CStoreData out;
        CStoreError err;
        return f.Update(
            [key](CStoreData& d, CStoreError&) {
                CValueMap& job = d.Model("VX-410").m_jobs[1];
                int64_t n = job.count(key) ? job.at(key).m_nValue : 0;
                job[key] = CTaskValue::Integer(kVtI4, n + 1);
                // A large value makes each write take long enough to be interrupted.
                job["padding"] = CTaskValue::Bytes(std::vector<uint8_t>(8000, uint8_t(n)));
                return true;
            },
            out, err);
    }

    int64_t Counter(const char* key = "counter") {
        CStoreFile f(m_path);
        CStoreData d;
        CStoreError err;
        EXPECT_TRUE(f.Read(d, err)) << err.m_strText;
        const CModelData* m = d.FindModel("VX-410");
        if (!m || !m->m_jobs.count(1) || !m->m_jobs.at(1).count(key))
            return 0;
        return m->m_jobs.at(1).at(key).m_nValue;
    }

    std::string m_dir, m_path;
};

} // namespace

TEST_F(StoreFileTest, MissingFileIsAnEmptyStoreAndUpdateCreatesIt) {
    CStoreFile f(m_path);
    CStoreData d;
    CStoreError err;
    ASSERT_TRUE(f.Read(d, err));
    EXPECT_TRUE(d.m_models.empty());
    ASSERT_TRUE(Increment(f));
    EXPECT_EQ(Counter(), 1);
    EXPECT_EQ(ReadRaw().rfind(kRegHeader, 0), 0u);
}

TEST_F(StoreFileTest, BrokenFileIsNeverOverwritten) {
    const std::string broken = std::string(kRegHeader) + "\r\n\r\nnot a registry line\r\n";
    WriteRaw(broken);
    CStoreFile f(m_path);
    CStoreData d;
    CStoreError err;
    EXPECT_FALSE(f.Read(d, err));
    EXPECT_EQ(err.m_code, CStoreError::kParse);
    EXPECT_NE(err.m_strText.find(m_path), std::string::npos);
    EXPECT_NE(err.m_strText.find("line 3"), std::string::npos);
    CStoreError err2;
    EXPECT_FALSE(f.Update([](CStoreData&, CStoreError&) { return true; }, d, err2));
    EXPECT_EQ(err2.m_code, CStoreError::kParse);
    EXPECT_EQ(ReadRaw(), broken);
}

TEST_F(StoreFileTest, RefusedChangeWritesNothing) {
    CStoreFile f(m_path);
    ASSERT_TRUE(Increment(f));
    std::string before = ReadRaw();
    CStoreData d;
    CStoreError err;
    EXPECT_FALSE(f.Update(
        [](CStoreData& data, CStoreError& e) {
            data.m_models.clear();
            e.m_strText = "no";
            return false;
        },
        d, err));
    EXPECT_EQ(err.m_code, CStoreError::kRefused);
    EXPECT_EQ(ReadRaw(), before);
}

TEST_F(StoreFileTest, UpdatesOfTwoWritersAreBothKept) {
    CStoreFile a(m_path), b(m_path);
    ASSERT_TRUE(Increment(a, "x"));
    ASSERT_TRUE(Increment(b, "y")); // b never read before: it must not undo a's value
    ASSERT_TRUE(Increment(a, "x"));
    EXPECT_EQ(Counter("x"), 2);
    EXPECT_EQ(Counter("y"), 1);
}

TEST_F(StoreFileTest, SecretsGoThroughTheProtector) {
    CTestProtector prot;
    CStoreFile f(m_path, &prot);
    CStoreData out;
    CStoreError err;
    ASSERT_TRUE(f.Update(
        [](CStoreData& d, CStoreError&) {
            d.Model("M").m_common["password"] = CTaskValue::Text(u"hunter2");
            return true;
        },
        out, err));
    EXPECT_EQ(ReadRaw().find("hunter2"), std::string::npos);
    CStoreData d;
    ASSERT_TRUE(f.Read(d, err));
    EXPECT_EQ(d.FindModel("M")->m_common.at("password"), CTaskValue::Text(u"hunter2"));
}

TEST_F(StoreFileTest, LockHeldElsewhereGivesBusy) {
    CStoreFile f(m_path);
    ASSERT_TRUE(Increment(f));
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        int fd = open((m_path + ".lock").c_str(), O_RDWR);
        flock(fd, LOCK_EX);
        (void)!write(ready[1], "x", 1);
        sleep(30);
        _exit(0);
    }
    char c;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    f.m_nLockTimeoutMs = 200;
    CStoreData d;
    CStoreError err;
    EXPECT_FALSE(f.Read(d, err));
    EXPECT_EQ(err.m_code, CStoreError::kBusy);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    // The lock dies with its holder.
    EXPECT_TRUE(f.Read(d, err)) << err.m_strText;
    close(ready[0]);
    close(ready[1]);
}

TEST_F(StoreFileTest, ConcurrentWritersLoseNoIncrement) {
    const int kWriters = 3, kEach = 25;
    std::vector<pid_t> kids;
    for (int w = 0; w < kWriters; ++w) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            CStoreFile f(m_path);
            for (int i = 0; i < kEach; ++i)
                if (!Increment(f))
                    _exit(1);
            _exit(0);
        }
        kids.push_back(pid);
    }
    for (pid_t pid : kids) {
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(Counter(), kWriters * kEach);
}

TEST_F(StoreFileTest, KilledWriterLeavesTheOldOrTheNewFile) {
    std::mt19937 rng(12345);
    int64_t last = 0;
    for (int round = 0; round < 20; ++round) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            CStoreFile f(m_path);
            for (;;)
                if (!Increment(f))
                    _exit(1);
        }
        usleep(20000 + rng() % 180000);
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer failed on its own";
        CStoreFile f(m_path);
        CStoreData d;
        CStoreError err;
        ASSERT_TRUE(f.Read(d, err)) << "round " << round << ": " << err.m_strText;
        int64_t now = Counter();
        EXPECT_GE(now, last) << "round " << round;
        if (now > 0) {
            // The padding was written with the counter it belongs to: one commit, whole.
            const CValueMap& job = d.FindModel("VX-410")->m_jobs.at(1);
            EXPECT_EQ(job.at("padding").m_bytes.front(), uint8_t(now - 1));
        }
        last = now;
    }
    EXPECT_GT(last, 0); // the writers made progress between the kills
}
