// scanner-service.exe driven as a separate process by the real channel client,
// on both transports.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "components/vx410sim/vx410sim.h"
#include "framework/ComError.h"
#include "framework/Handles.h"
#include "runner/JobPipeClient.h"

namespace {

const char kChannel[] = "VX-410 Service Pipe for Kestrel";

std::string WinPath(const char* unixPath) {
    std::string p = std::string("Z:") + unixPath;
    for (char& c : p)
        if (c == '/')
            c = '\\';
    return p;
}

std::string TempDir(const char* what) {
    char tmp[MAX_PATH];
    GetTempPathA(MAX_PATH, tmp);
    std::string dir = std::string(tmp) + "svc-" + what + "-" + std::to_string(GetTickCount());
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

DWORD RunAndWait(const std::string& cmd, DWORD ms = 30000) {
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::string c = cmd;
    if (!CreateProcessA(nullptr, c.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi)) {
        ADD_FAILURE() << "cannot start " << cmd << " (error " << GetLastError() << ")";
        return 0xFFFFFFFF;
    }
    CloseHandle(pi.hThread);
    vlm::CHandle h(pi.hProcess);
    if (WaitForSingleObject(h, ms) != WAIT_OBJECT_0) {
        TerminateProcess(h, 99);
        return 0xFFFFFFFE;
    }
    DWORD code = 0;
    GetExitCodeProcess(h, &code);
    return code;
}

class ServiceProcess : public ::testing::Test {
protected:
    void SetUp() override {
        m_strState = TempDir("state");
        m_strLog = m_strState + "\\service.log";
        SetEnvironmentVariableA("VX410SIM_DIR", m_strState.c_str());
        m_pDevice = std::make_unique<vx410sim::CSimDevice>(m_strState);
        ASSERT_TRUE(m_pDevice->SetSelectedJob(7));
    }
    void TearDown() override {
        if (m_hService) {
            Stop();
        }
        CJobPipeClient::ForceSharedMemory(FALSE);
    }
    void Start(const std::string& extra, bool bLaunch = false) {
        std::string cmd = "\"" + WinPath(SCANNER_SERVICE_EXE) + "\"" +
                          (bLaunch ? "" : " --no-launch") + " --log \"" + m_strLog + "\" " + extra;
        STARTUPINFOA si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        ASSERT_TRUE(CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   nullptr, &si, &pi))
            << GetLastError();
        CloseHandle(pi.hThread);
        m_hService.Attach(pi.hProcess);
    }
    // Connects, retrying while the service is still starting.
    HRESULT ConnectWhenReady(CJobPipeClient& c) {
        HRESULT hr = E_FAIL;
        for (int i = 0; i < 100; ++i) {
            hr = c.Connect(kChannel);
            if (hr != HResultFromWin32(ERROR_FILE_NOT_FOUND))
                return hr;
            Sleep(100);
        }
        return hr;
    }
    void Stop() {
        EXPECT_EQ(RunAndWait("\"" + WinPath(SCANNER_SERVICE_EXE) + "\" --stop"), 0u);
        EXPECT_EQ(WaitForSingleObject(m_hService, 15000), WAIT_OBJECT_0);
        DWORD code = 1;
        GetExitCodeProcess(m_hService, &code);
        EXPECT_EQ(code, 0u) << Log();
        m_hService.Close();
    }
    bool RunnerHolds() {
        vx410sim::DeviceState st;
        EXPECT_TRUE(m_pDevice->Read(st));
        return st.m_bRunnerHolds;
    }
    std::string Log() {
        std::ifstream f(m_strLog, std::ios::binary);
        std::stringstream ss;
        ss << f.rdbuf();
        return ss.str();
    }
    // Later waits look only at what the log gained after this point.
    void Mark() { m_nMark = Log().size(); }
    // Waits until the log contains text after the mark.
    bool WaitLog(const std::string& text, DWORD ms = 10000) {
        for (DWORD t = 0; t < ms; t += 100) {
            if (Log().find(text, m_nMark) != std::string::npos)
                return true;
            Sleep(100);
        }
        return false;
    }
    // The same exchange kestrel makes, checked against the device state.
    void FullExchange() {
        CJobPipeClientBetweenServieAndKestrel client;
        ASSERT_EQ(ConnectWhenReady(client), S_OK);
        long job = 0;
        ASSERT_EQ(client.RequestJobNumber(&job), S_OK);
        EXPECT_EQ(job, 7);
        Mark();
        ASSERT_EQ(client.Lock(TRUE), S_OK);
        EXPECT_TRUE(WaitLog("lock: the scanner is left to the job"));
        EXPECT_TRUE(RunnerHolds()) << Log();
        Mark();
        ASSERT_EQ(client.Lock(FALSE), S_OK);
        EXPECT_TRUE(WaitLog("unlock: the scanner is back"));
        EXPECT_FALSE(RunnerHolds());
        Mark();
        EXPECT_EQ(client.Terminate(), S_OK);
        EXPECT_TRUE(WaitLog("client leaves"));
    }
    // A client in another process that locks the scanner and dies.
    void DyingClient(bool bShm) {
        SetEnvironmentVariableA("VX410_SERVICE_TRANSPORT", bShm ? "shm" : nullptr);
        Mark();
        char self[MAX_PATH];
        GetModuleFileNameA(nullptr, self, MAX_PATH);
        DWORD code = RunAndWait(std::string("\"") + self +
                                "\" --gtest_also_run_disabled_tests "
                                "--gtest_filter=ChildProcess.DISABLED_LockAndDie");
        SetEnvironmentVariableA("VX410_SERVICE_TRANSPORT", nullptr);
        EXPECT_EQ(code, 42u);
        EXPECT_TRUE(WaitLog("client lost")) << Log();
        EXPECT_TRUE(WaitLog("unlock: the scanner is back"));
        EXPECT_FALSE(RunnerHolds());
    }
    std::string m_strState, m_strLog;
    size_t m_nMark = 0;
    std::unique_ptr<vx410sim::CSimDevice> m_pDevice;
    vlm::CHandle m_hService;
};

} // namespace

TEST(ChildProcess, DISABLED_LockAndDie) {
    CJobPipeClient client;
    HRESULT hr = E_FAIL;
    for (int i = 0; i < 100 && FAILED(hr = client.Connect(kChannel)); ++i)
        Sleep(100);
    long job = 0;
    if (SUCCEEDED(hr) && SUCCEEDED(client.RequestJobNumber(&job)) && SUCCEEDED(client.Lock(TRUE)))
        ExitProcess(42); // no unlock, no goodbye
    ExitProcess(1);
}

TEST_F(ServiceProcess, PipeExchangeLocksAndUnlocksTheScanner) {
    Start("");
    FullExchange();
    FullExchange(); // the service keeps serving
    EXPECT_NE(Log().find("\\\\.\\pipe\\VX-410 Service Pipe for Kestrel"), std::string::npos);
}

TEST_F(ServiceProcess, SharedMemoryExchangeLocksAndUnlocksTheScanner) {
    CJobPipeClient::ForceSharedMemory(TRUE);
    Start("--shared-memory");
    FullExchange();
    FullExchange();
}

TEST_F(ServiceProcess, PipeServiceSurvivesAClientThatDiesHoldingTheScanner) {
    Start("");
    DyingClient(false);
    FullExchange();
}

TEST_F(ServiceProcess, SharedMemoryServiceSurvivesAClientThatDiesHoldingTheScanner) {
    CJobPipeClient::ForceSharedMemory(TRUE);
    Start("--shared-memory");
    DyingClient(true);
    FullExchange();
}

TEST_F(ServiceProcess, SharedMemoryServiceEndingTheSessionDeniesTheClient) {
    CJobPipeClient::ForceSharedMemory(TRUE);
    Start("--shared-memory --deny-after 1");
    CJobPipeClient client;
    ASSERT_EQ(ConnectWhenReady(client), S_OK);
    long job = 0;
    EXPECT_EQ(client.RequestJobNumber(&job), E_ACCESSDENIED);
    EXPECT_EQ(job, 0);
    client.Terminate();
}

TEST_F(ServiceProcess, SecondPipeClientWaitsForTheFirstToLeave) {
    Start("");
    CJobPipeClient first;
    ASSERT_EQ(ConnectWhenReady(first), S_OK);
    ASSERT_EQ(first.Lock(TRUE), S_OK);
    Mark();
    std::atomic<HRESULT> secondResult{E_PENDING};
    std::atomic<long> secondJob{-1};
    std::thread t([&] {
        CJobPipeClient second;
        long job = 0;
        HRESULT hr = second.Connect(kChannel);
        if (SUCCEEDED(hr))
            hr = second.RequestJobNumber(&job);
        secondJob = SUCCEEDED(hr) ? job : -1;
        secondResult = hr;
        second.Terminate();
    });
    // Queued behind the first, and not answered while the first holds the scanner.
    EXPECT_TRUE(WaitLog("client waiting for its turn")) << Log();
    EXPECT_EQ(secondResult.load(), E_PENDING);
    EXPECT_EQ(first.Lock(FALSE), S_OK);
    EXPECT_EQ(first.Terminate(), S_OK);
    t.join();
    EXPECT_EQ(secondResult.load(), S_OK) << std::hex << secondResult.load();
    EXPECT_EQ(secondJob.load(), 7);
}

TEST_F(ServiceProcess, ClientsArrivingTogetherAreAllServedInTurn) {
    // Each connection leaves the pipe for a moment without a listening
    // instance; clients that arrive then wait for the next instance and may
    // open it before the service has started listening on it. None of them
    // may be dropped.
    Start("");
    CJobPipeClient probe;
    ASSERT_EQ(ConnectWhenReady(probe), S_OK);
    ASSERT_EQ(probe.Terminate(), S_OK);
    const int kClients = 8;
    for (int round = 0; round < 10; ++round) {
        vlm::CHandle go(CreateEventA(nullptr, TRUE, FALSE, nullptr));
        std::vector<HRESULT> results(kClients, E_PENDING);
        std::vector<long> jobs(kClients, -1);
        std::vector<std::thread> clients;
        for (int i = 0; i < kClients; ++i)
            clients.emplace_back([&, i] {
                WaitForSingleObject(go, INFINITE);
                CJobPipeClient c;
                long job = -1;
                HRESULT hr = c.Connect(kChannel);
                if (SUCCEEDED(hr))
                    hr = c.RequestJobNumber(&job);
                jobs[i] = job;
                results[i] = hr;
                c.Terminate();
            });
        SetEvent(go);
        for (auto& c : clients)
            c.join();
        for (int i = 0; i < kClients; ++i) {
            EXPECT_EQ(results[i], S_OK)
                << "round " << round << " client " << i << std::hex << " 0x" << results[i];
            EXPECT_EQ(jobs[i], 7);
        }
    }
    EXPECT_EQ(Log().find("client lost"), std::string::npos) << Log();
}

TEST_F(ServiceProcess, OnceEndsAfterTheFirstSessionAndASecondServiceIsRefused) {
    Start("--once");
    CJobPipeClient client;
    ASSERT_EQ(ConnectWhenReady(client), S_OK);
    // A second service on the same channel refuses to start.
    EXPECT_EQ(RunAndWait("\"" + WinPath(SCANNER_SERVICE_EXE) + "\" --no-launch --log \"" +
                         m_strLog + ".2\""),
              3u);
    long job = 0;
    EXPECT_EQ(client.RequestJobNumber(&job), S_OK);
    EXPECT_EQ(client.Terminate(), S_OK);
    ASSERT_EQ(WaitForSingleObject(m_hService, 10000), WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeProcess(m_hService, &code);
    EXPECT_EQ(code, 0u);
    m_hService.Close();
    EXPECT_NE(Log().find("--once"), std::string::npos);
}

TEST(ServiceCommandLine, BadArgumentsAndStopWithoutServiceFail) {
    EXPECT_EQ(RunAndWait("\"" + WinPath(SCANNER_SERVICE_EXE) + "\" --bogus"), 2u);
    EXPECT_EQ(RunAndWait("\"" + WinPath(SCANNER_SERVICE_EXE) + "\" --log"), 2u);
    EXPECT_EQ(RunAndWait("\"" + WinPath(SCANNER_SERVICE_EXE) + "\" --stop --name nothing-here"),
              1u);
    EXPECT_EQ(RunAndWait("\"" + WinPath(SCANNER_SERVICE_EXE) + "\" --name \"\""), 2u);
}

TEST_F(ServiceProcess, StartPressWithAMissingRunnerIsLoggedAndTheServiceCarriesOn) {
    Start("--kestrel \"C:\\no such folder\\kestrel.exe\"", true);
    Mark();
    ASSERT_TRUE(m_pDevice->PressStart());
    EXPECT_TRUE(WaitLog("Start pressed: starting \"C:\\no such folder\\kestrel.exe\" "
                        "/StiDevice:{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0000 "
                        "/StiEvent:{895DBEB0-1F4A-4756-ABFD-3218CF1F10A5}"))
        << Log();
    EXPECT_TRUE(WaitLog("cannot start C:\\no such folder\\kestrel.exe (error ")) << Log();
    vx410sim::DeviceState st;
    ASSERT_TRUE(m_pDevice->Read(st));
    EXPECT_FALSE(st.m_bStartPending); // the press was taken
    FullExchange();                   // and the channel still serves
}
