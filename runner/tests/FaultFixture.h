// Whole jobs that lose a process on the way: the runner or the scanner
// service killed, the data source taking the runner down. Readers for the
// runners the service started and for what a dead runner left behind.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "SessionFixture.h"
#include "framework/Handles.h"

namespace kestreltest {

class KestrelFault : public KestrelSession {
protected:
    // Waits (two minutes at most) until the service log holds text count times.
    bool WaitServiceLog(const std::string& text, int count = 1) {
        for (int i = 0; i < 1200; ++i) {
            if (CountIn(ServiceLog(), text) >= count)
                return true;
            Sleep(100);
        }
        return false;
    }
    static int CountIn(const std::string& log, const std::string& text) {
        int n = 0;
        for (size_t p = log.find(text); p != std::string::npos; p = log.find(text, p + 1))
            ++n;
        return n;
    }
    // The process id of the runs-th runner the service started (0: none yet).
    DWORD RunnerPid(int runs = 1) {
        const std::string log = ServiceLog(), key = "kestrel started, pid ";
        size_t p = std::string::npos;
        for (int k = 0; k < runs; ++k)
            if ((p = log.find(key, k ? p + 1 : 0)) == std::string::npos)
                return 0;
        return static_cast<DWORD>(std::atol(log.c_str() + p + key.size()));
    }
    // The runs-th runner, opened to wait for it or to end it.
    vlm::CHandle OpenRunner(int runs = 1) {
        const DWORD pid = RunnerPid(runs);
        EXPECT_NE(pid, 0u) << ServiceLog();
        return vlm::CHandle(OpenProcess(
            SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    }
    // Ends a process the way Task Manager does, and waits until it is gone.
    static void Kill(HANDLE hProcess) {
        ASSERT_TRUE(hProcess);
        ASSERT_TRUE(TerminateProcess(hProcess, 1));
        ASSERT_EQ(WaitForSingleObject(hProcess, 60000), WAIT_OBJECT_0);
    }
    // The scanner service killed, and a new one started with a log of its own.
    void RestartServiceAfterKill() {
        Kill(m_pService->m_hProcess);
        m_pService.reset();
        m_strServiceLog = m_strDir + "\\service-" + std::to_string(++m_nServices) + ".log";
        StartService();
    }
    // The page files runners left in the temporary folder (not their
    // settings and run files).
    std::vector<std::string> TempPages() {
        std::vector<std::string> pages;
        for (const std::string& f : ListFiles(m_strTemp + kTempJobFolder))
            if (f != "VX410SETTINGS" && (f.size() < 4 || f.compare(f.size() - 4, 4, ".run") != 0))
                pages.push_back(f);
        return pages;
    }
    // The pages of the recovered jobs, by job number.
    std::map<long, int> RecoveredPages() {
        std::map<long, int> pages;
        for (const std::string& folder : RecoveredFolders()) {
            const vlm::RecoveryRecord r = Manifest(folder);
            // One file a page, or fewer files holding several pages each.
            EXPECT_FALSE(r.m_Files.empty()) << folder;
            EXPECT_LE(r.m_Files.size(), size_t(r.m_nPages)) << folder;
            for (const std::string& f : r.m_Files)
                EXPECT_NE(GetFileAttributesA((folder + "\\" + f).c_str()), INVALID_FILE_ATTRIBUTES)
                    << folder << "\\" << f;
            pages[r.m_nJob] += r.m_nPages;
        }
        return pages;
    }
    bool ToolMutexExists() {
        return vlm::CHandle(OpenMutexA(SYNCHRONIZE, FALSE, kToolMutex)).IsValid();
    }
    // Start pressed with three sheets in the feeder and a jam at the third:
    // the runner stops at the driver's message with pages 1 and 2 written.
    void StopAtJam(int job) {
        RegisterSaveJob(job, 0, kTiff, kBw, 100, kBusinessCard);
        FeedSheets(3, 100, 150, 1);
        ASSERT_EQ(Tool("fault jam 3"), 0);
        StartService();
        ASSERT_TRUE(m_pDevice->PressStart());
        ASSERT_TRUE(WaitBox("(-4426)").m_hWnd);
        ASSERT_EQ(TempPages().size(), 2u);
        ASSERT_TRUE(Panel().m_bRunnerHolds);
    }
    // The next Start runs a normal one-page job to its end (the runs-th
    // runner of the service now running).
    void ExpectNormalJob(int runs, size_t savedBefore) {
        ASSERT_EQ(Tool("clear"), 0);
        FeedSheets(1, 100, 150, 1);
        ClearRunLog();
        ASSERT_TRUE(m_pDevice->PressStart());
        EXPECT_EQ(WaitRunnerEnd(runs), 0u) << ServiceLog();
        EXPECT_EQ(SavedFiles().size(), savedBefore + 1);
        EXPECT_EQ(Panel().m_strPanelMessage, "Sending complete.");
        ExpectCleanEnd();
    }

    int m_nServices = 1;
};

} // namespace kestreltest
