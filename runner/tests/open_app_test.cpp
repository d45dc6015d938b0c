// The open-with-application delivery under Wine: a recorder program stands in
// for the user's program and writes down each command line it was started
// with and when its process was created.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <sstream>

#include "CmdlineRecords.h"
#include "ProcessDriver.h"
#include "TestStore.h"
#include "common/JobRecord.h"
#include "common/VlmLog.h"
#include "framework/ComError.h"
#include "framework/Variant.h"
#include "runner/OpenWithApp.h"

using namespace kestreltest;

namespace {

const char kRecorder[] = "cmdline_recorder.exe";

std::string Quoted(const std::string& s) {
    return "\"" + s + "\"";
}

class OpenAppTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_strDir = NewTempFolder("kestrel-open");
        ASSERT_FALSE(m_strDir.empty());
        CVlmLog::Instance().OpenPath((m_strDir + "\\run.log").c_str());
        // The program lies in a folder with blanks in its name.
        m_strAppDir = m_strDir + "\\My Viewer App";
        ASSERT_TRUE(CreateDirectoryA(m_strAppDir.c_str(), nullptr));
        m_strApp = m_strAppDir + "\\" + kRecorder;
        ASSERT_TRUE(CopyRecorderTo(m_strApp));
        m_store.Open(m_strDir);
        m_pJob = m_store.Job(4);
        SetAppPath(m_strApp);
    }
    void TearDown() override {
        WaitRecordersEnd();
        m_pJob.Release();
        m_store.Close();
        CVlmLog::Instance().Close();
        RemoveTree(m_strDir);
    }
    void SetAppPath(const std::string& path) {
        JobSetValue(m_pJob, "app path", CVariant(path.c_str()));
    }
    BOOL Open(const std::vector<std::string>& files) {
        CAppContext ctx;
        ctx.m_pJob = m_pJob;
        ctx.m_fnDispMessage = [this](const char* text, BOOL bError) {
            m_shown.push_back(std::string(bError ? "error: " : "") + text);
        };
        return OpenFilesWithApplication(ctx, files);
    }
    std::vector<std::string> WaitRecords(size_t count) {
        return kestreltest::WaitRecords(m_strAppDir, count);
    }
    void WaitRecordersEnd() { EXPECT_TRUE(kestreltest::WaitRecordersEnd()); }
    std::vector<std::string> Saved(int n) {
        std::vector<std::string> files;
        for (int i = 1; i <= n; ++i)
            files.push_back(m_strDir + "\\Saved Scans\\scan 2024010112000000" + std::to_string(i) +
                            ".jpg");
        return files;
    }

    std::string m_strDir, m_strAppDir, m_strApp;
    CTestStore m_store;
    CComPtr<IJobData> m_pJob;
    std::vector<std::string> m_shown;
};

TEST_F(OpenAppTest, ThreePagesStartTheProgramThreeTimesInPageOrderBothPathsQuoted) {
    const std::vector<std::string> files = Saved(3);
    ASSERT_TRUE(Open(files));
    EXPECT_TRUE(m_shown.empty());
    const std::vector<std::string> records = WaitRecords(3);
    ASSERT_EQ(records.size(), 3u);
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(records[i], Quoted(m_strApp) + " " + Quoted(files[i]));
}

TEST_F(OpenAppTest, TheProcessHandlesAreClosedAtOnce) {
    ASSERT_TRUE(Open(Saved(1))); // the first start loads what later ones share
    ASSERT_EQ(WaitRecords(1).size(), 1u);
    DWORD before = 0, after = 0;
    ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &before));
    ASSERT_TRUE(Open(Saved(3)));
    ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &after));
    EXPECT_EQ(after, before);
    EXPECT_EQ(WaitRecords(4).size(), 4u);
}

TEST_F(OpenAppTest, NothingIsStartedWithoutSavedFilesOrWithoutProgram) {
    EXPECT_TRUE(Open({})); // "save" off: the saved file list is empty
    SetAppPath("");
    EXPECT_TRUE(Open(Saved(2)));
    EXPECT_TRUE(m_shown.empty());
    // A process started here would still run or would have written its line.
    EXPECT_EQ(RecordersRunning(), 0);
    EXPECT_TRUE(ReadFileText(m_strAppDir + "\\cmdlines.txt").empty());
}

TEST_F(OpenAppTest, AMissingProgramCannotBeLaunched) {
    SetAppPath(m_strAppDir + "\\no such viewer.exe");
    EXPECT_FALSE(Open(Saved(2)));
    EXPECT_EQ(m_shown, std::vector<std::string>{"error: Can't launch application."});
    EXPECT_NE(ReadFileText(m_strDir + "\\run.log")
                  .find("CreateProcess(" + Quoted(m_strAppDir + "\\no such viewer.exe")),
              std::string::npos);
}

TEST_F(OpenAppTest, LongPathsWorkUpToThePlatformLimitAndAFailureStopsAtItsFile) {
    // Far beyond 520 bytes, within the platform's command line.
    const std::string longer = m_strDir + "\\" + std::string(700, 'x') + ".jpg";
    const std::string beyond = m_strDir + "\\" + std::string(33000, 'y') + ".jpg";
    const std::vector<std::string> files = Saved(2);
    EXPECT_FALSE(Open({files[0], longer, beyond, files[1]}));
    EXPECT_EQ(m_shown, std::vector<std::string>{"error: Can't launch application."});
    WaitRecordersEnd();
    const std::vector<std::string> records = WaitRecords(2);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0], Quoted(m_strApp) + " " + Quoted(files[0]));
    EXPECT_EQ(records[1], Quoted(m_strApp) + " " + Quoted(longer));
}

} // namespace
