// The service channel client against in-process services on both transports.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "framework/ComError.h"
#include "framework/Handles.h"
#include "runner/JobPipeClient.h"
#include "contracts/ServiceChannel.h"

namespace {

std::string UniqueName(const char* what) {
    static int s_n = 0;
    return std::string("kestrel test ") + what + " " + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(++s_n);
}

// A pipe service that serves one client: answers 2 with m_nJob, records every
// code, and optionally drops the client after some messages.
class CFakePipeService {
public:
    CFakePipeService(const std::string& name, uint32_t job, int dropAfter = 0)
        : m_nJob(job), m_nDropAfter(dropAfter) {
        m_hPipe.Attach(CreateNamedPipeA(kestrel::ServicePipePath(name).c_str(), PIPE_ACCESS_DUPLEX,
                                        PIPE_TYPE_BYTE | PIPE_WAIT, 1, 64, 64, 0, nullptr));
        m_thread = std::thread([this] { Serve(); });
    }
    ~CFakePipeService() { Join(); }
    void Join() {
        if (m_thread.joinable())
            m_thread.join();
    }
    std::vector<uint32_t> m_codes;

private:
    void Serve() {
        if (!ConnectNamedPipe(m_hPipe, nullptr) && GetLastError() != ERROR_PIPE_CONNECTED)
            return;
        for (int n = 1;; ++n) {
            uint8_t m[4];
            DWORD got = 0;
            if (!ReadFile(m_hPipe, m, 4, &got, nullptr) || got != 4)
                break;
            uint32_t code = kestrel::DecodeServiceMessage(m);
            m_codes.push_back(code);
            if (m_nDropAfter && n >= m_nDropAfter)
                break;
            if (code == kestrel::kRequestJobNumber) {
                auto r = kestrel::EncodeServiceMessage(m_nJob);
                DWORD w = 0;
                WriteFile(m_hPipe, r.data(), 4, &w, nullptr);
            }
            if (code == kestrel::kRequestLeave)
                break;
        }
        DisconnectNamedPipe(m_hPipe);
        m_hPipe.Close();
    }
    vlm::CHandle m_hPipe;
    uint32_t m_nJob;
    int m_nDropAfter;
    std::thread m_thread;
};

// A shared-block service; deny ends the session at the first request.
class CFakeShmService {
public:
    CFakeShmService(const std::string& name, uint32_t job, bool deny = false)
        : m_nJob(job), m_bDeny(deny) {
        m_hMap.Attach(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 268,
                                         name.c_str()));
        m_pBlock = static_cast<kestrel::ServiceShmBlock*>(
            MapViewOfFile(m_hMap, FILE_MAP_ALL_ACCESS, 0, 0, 268));
        m_thread = std::thread([this] { Serve(); });
    }
    ~CFakeShmService() {
        m_bStop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_pBlock)
            UnmapViewOfFile(m_pBlock);
    }
    kestrel::ServiceShmBlock* Block() { return m_pBlock; }
    // Stops serving once the last message was taken.
    std::vector<uint32_t> Codes() {
        for (int i = 0; i < 200 && kestrel::shm::HasRequest(*m_pBlock); ++i)
            Sleep(10);
        m_bStop = true;
        if (m_thread.joinable())
            m_thread.join();
        return m_codes;
    }

private:
    void Serve() {
        while (!m_bStop) {
            if (kestrel::shm::HasRequest(*m_pBlock)) {
                uint8_t m[4];
                kestrel::shm::Take(*m_pBlock, m, 4);
                uint32_t code = kestrel::DecodeServiceMessage(m);
                m_codes.push_back(code);
                if (m_bDeny) {
                    kestrel::shm::EndSession(*m_pBlock);
                } else if (code == kestrel::kRequestJobNumber) {
                    auto r = kestrel::EncodeServiceMessage(m_nJob);
                    kestrel::shm::Post(*m_pBlock, kestrel::kDirectionToClient, r.data(), 4);
                } else if (code == kestrel::kRequestLeave) {
                    kestrel::shm::EndSession(*m_pBlock);
                }
            }
            Sleep(10);
        }
    }
    vlm::CHandle m_hMap;
    kestrel::ServiceShmBlock* m_pBlock = nullptr;
    uint32_t m_nJob;
    bool m_bDeny;
    std::atomic<bool> m_bStop{false};
    std::vector<uint32_t> m_codes;
    std::thread m_thread;
};

class PipeTransport : public ::testing::Test {
protected:
    void SetUp() override { CJobPipeClient::ForceSharedMemory(FALSE); }
};

class ShmTransport : public ::testing::Test {
protected:
    void SetUp() override { CJobPipeClient::ForceSharedMemory(TRUE); }
    void TearDown() override { CJobPipeClient::ForceSharedMemory(FALSE); }
};

} // namespace

TEST(Transport, NtFamilyUsesThePipeUnlessForced) {
    // Wine reports the NT family; the environment switch is not set in tests.
    CJobPipeClient::ForceSharedMemory(FALSE);
    EXPECT_FALSE(CJobPipeClient::UsesSharedMemory());
    CJobPipeClient::ForceSharedMemory(TRUE);
    EXPECT_TRUE(CJobPipeClient::UsesSharedMemory());
    CJobPipeClient::ForceSharedMemory(FALSE);
}

TEST_F(PipeTransport, AbsentPipeIsFileNotFound) {
    CJobPipeClientBetweenServieAndKestrel client;
    EXPECT_EQ(client.Connect(UniqueName("absent").c_str()), HResultFromWin32(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(client.IsConnected());
    long job = -1;
    EXPECT_EQ(client.RequestJobNumber(&job), E_FAIL); // no handle
    EXPECT_EQ(job, -1);
    EXPECT_EQ(client.Lock(TRUE), E_FAIL);
    EXPECT_EQ(client.Terminate(), S_OK); // closed: nothing to do
}

TEST_F(PipeTransport, FullExchangeSendsTheFourCodesInOrder) {
    const std::string name = UniqueName("pipe");
    CFakePipeService service(name, 7);
    CJobPipeClientBetweenServieAndKestrel client;
    ASSERT_EQ(client.Connect(name.c_str()), S_OK);
    long job = 0;
    ASSERT_EQ(client.RequestJobNumber(&job), S_OK);
    EXPECT_EQ(job, 7);
    EXPECT_EQ(client.Lock(TRUE), S_OK);
    EXPECT_EQ(client.Lock(FALSE), S_OK);
    EXPECT_EQ(client.Terminate(), S_OK);
    EXPECT_FALSE(client.IsConnected());
    EXPECT_EQ(client.Terminate(), S_OK); // idempotent: nothing more is sent
    service.Join();
    EXPECT_EQ(service.m_codes, (std::vector<uint32_t>{2, 3, 4, 5}));
}

TEST_F(PipeTransport, ServiceDroppingTheClientIsAFailureNotAJobNumber) {
    const std::string name = UniqueName("drop");
    CFakePipeService service(name, 7, 1);
    CJobPipeClient client;
    ASSERT_EQ(client.Connect(name.c_str()), S_OK);
    long job = 12345;
    HRESULT hr = client.RequestJobNumber(&job);
    EXPECT_TRUE(FAILED(hr)) << std::hex << hr;
    EXPECT_EQ(HRESULT_FACILITY(hr), FACILITY_WIN32);
    EXPECT_EQ(job, 12345);
    service.Join();
    EXPECT_TRUE(FAILED(client.Lock(FALSE)));
    EXPECT_EQ(client.Terminate(), S_OK); // closing still works
}

TEST_F(PipeTransport, DestructorSaysGoodbye) {
    const std::string name = UniqueName("dtor");
    CFakePipeService service(name, 3);
    {
        CJobPipeClient client;
        ASSERT_EQ(client.Connect(name.c_str()), S_OK);
        ASSERT_EQ(client.Connect(name.c_str()), S_OK); // already connected: no second open
        long job = 0;
        ASSERT_EQ(client.RequestJobNumber(&job), S_OK);
        EXPECT_EQ(job, 3);
    }
    service.Join();
    EXPECT_EQ(service.m_codes, (std::vector<uint32_t>{2, 5}));
}

TEST_F(PipeTransport, ConnectWaitsOutAMomentWithoutInstanceWhileTheServiceRuns) {
    const std::string name = UniqueName("gap");
    // The service runs (it holds its mutex) but has, for the moment, no pipe
    // instance at all: the one it served is closed, the next not yet made.
    vlm::CHeldMutex alive;
    ASSERT_TRUE(alive.Create(kestrel::ServiceAliveMutexName(name).c_str()));
    ASSERT_EQ(alive.Wait(0), WAIT_OBJECT_0);
    vlm::CHandle done(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    std::atomic<HRESULT> result{E_PENDING};
    std::atomic<long> job{0};
    std::thread client([&] {
        CJobPipeClient c;
        HRESULT hr = c.Connect(name.c_str());
        long n = 0;
        if (SUCCEEDED(hr))
            hr = c.RequestJobNumber(&n);
        job = n;
        c.Terminate();
        result = hr;
        SetEvent(done);
    });
    // A client that took "file not found" for an absent service has given up
    // by now; one that knows the service runs is still waiting.
    EXPECT_EQ(WaitForSingleObject(done, 1000), static_cast<DWORD>(WAIT_TIMEOUT))
        << std::hex << result.load();
    {
        CFakePipeService service(name, 9); // the next instance appears
        EXPECT_EQ(WaitForSingleObject(done, 60000), WAIT_OBJECT_0);
        client.join();
        EXPECT_EQ(result.load(), S_OK) << std::hex << result.load();
        EXPECT_EQ(job.load(), 9);
    }
}

TEST_F(PipeTransport, ConnectGivesUpAtOnceWhenTheServiceIsGone) {
    const std::string name = UniqueName("gone");
    const std::string mutex = kestrel::ServiceAliveMutexName(name);
    // A service that died holding its mutex leaves it abandoned.
    vlm::CHandle left;
    std::thread([&] { left.Attach(CreateMutexA(nullptr, TRUE, mutex.c_str())); }).join();
    ASSERT_TRUE(left.IsValid());
    EXPECT_FALSE(IsServiceRunning(name));
    CJobPipeClient client;
    const DWORD start = GetTickCount();
    EXPECT_EQ(client.Connect(name.c_str()), HResultFromWin32(ERROR_FILE_NOT_FOUND));
    // Far below the patience for a running service.
    EXPECT_LT(GetTickCount() - start, CJobPipeClient::kConnectPatienceMs / 2);
    left.Close();
    EXPECT_FALSE(IsServiceRunning(name)); // no mutex at all
}

TEST_F(ShmTransport, AbsentBlockIsFileNotFoundAndLeavesNothingBehind) {
    const std::string name = UniqueName("shm absent");
    CJobPipeClient client;
    EXPECT_EQ(client.Connect(name.c_str()), HResultFromWin32(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(client.IsConnected());
    // The probe's own mapping was closed: the name is free again.
    HANDLE h = OpenFileMappingA(FILE_MAP_READ, FALSE, name.c_str());
    EXPECT_EQ(h, nullptr);
    if (h)
        CloseHandle(h);
}

TEST_F(ShmTransport, FullExchangeSetsTheSessionAndPassesEveryCode) {
    const std::string name = UniqueName("shm");
    CFakeShmService service(name, 7);
    CJobPipeClientBetweenServieAndKestrel client;
    ASSERT_EQ(client.Connect(name.c_str()), S_OK);
    EXPECT_TRUE(kestrel::shm::SessionActive(*service.Block()));
    long job = 0;
    ASSERT_EQ(client.RequestJobNumber(&job), S_OK);
    EXPECT_EQ(job, 7);
    EXPECT_EQ(client.Lock(TRUE), S_OK);
    EXPECT_EQ(client.Lock(FALSE), S_OK);
    EXPECT_EQ(client.Terminate(), S_OK);
    EXPECT_EQ(client.Terminate(), S_OK);
    Sleep(100);
    EXPECT_EQ(service.Codes(), (std::vector<uint32_t>{2, 3, 4, 5}));
    EXPECT_FALSE(kestrel::shm::SessionActive(*service.Block()));
}

TEST_F(ShmTransport, ServiceEndingTheSessionGivesAccessDenied) {
    const std::string name = UniqueName("shm deny");
    CFakeShmService service(name, 7, true);
    CJobPipeClient client;
    ASSERT_EQ(client.Connect(name.c_str()), S_OK);
    long job = 99;
    EXPECT_EQ(client.RequestJobNumber(&job), E_ACCESSDENIED);
    EXPECT_EQ(job, 99);
    EXPECT_EQ(client.Lock(TRUE), E_ACCESSDENIED);
    EXPECT_EQ(client.Terminate(), S_OK);
}

TEST_F(ShmTransport, SecondClientWaitsUntilTheSessionEnds) {
    const std::string name = UniqueName("shm queue");
    CFakeShmService service(name, 4);
    CJobPipeClient first;
    ASSERT_EQ(first.Connect(name.c_str()), S_OK);
    std::atomic<bool> secondIn{false};
    std::thread t([&] {
        CJobPipeClient second;
        if (second.Connect(name.c_str()) == S_OK)
            secondIn = true;
        long job = 0;
        second.RequestJobNumber(&job);
        second.Terminate();
    });
    Sleep(1000);
    EXPECT_FALSE(secondIn.load());
    long job = 0;
    EXPECT_EQ(first.RequestJobNumber(&job), S_OK);
    EXPECT_EQ(first.Terminate(), S_OK);
    t.join();
    EXPECT_TRUE(secondIn.load());
    EXPECT_EQ(service.Codes(), (std::vector<uint32_t>{2, 5, 2, 5}));
}
