#include "runner/JobPipeClient.h"

#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>

#include "contracts/ServiceChannel.h"
#include "framework/ComError.h"

namespace {

LONG g_nForceShm = -1; // -1: not forced either way

// Pause between connection attempts when no pipe instance exists for the
// moment and the service says it is running.
const DWORD kRetryMs = 50;
// Longest single wait for a busy pipe to offer an instance.
const DWORD kBusyWaitMs = 1000;

struct CMappedView {
    explicit CMappedView(HANDLE hMapping)
        : m_p(static_cast<kestrel::ServiceShmBlock*>(
              MapViewOfFile(hMapping, FILE_MAP_ALL_ACCESS, 0, 0, kestrel::kShmBlockSize))) {}
    ~CMappedView() {
        if (m_p)
            UnmapViewOfFile(m_p);
    }
    CMappedView(const CMappedView&) = delete;
    CMappedView& operator=(const CMappedView&) = delete;
    kestrel::ServiceShmBlock* m_p;
};

} // namespace

BOOL IsServiceRunning(const std::string& channel) {
    // The service holds its mutex for as long as it runs: a wait that
    // times out means a living holder; a free or abandoned one, none.
    vlm::CHeldMutex alive;
    if (!alive.Open(kestrel::ServiceAliveMutexName(channel).c_str()))
        return FALSE;
    return alive.Wait(0) == WAIT_TIMEOUT;
}

void CJobPipeClient::ForceSharedMemory(BOOL bForce) {
    g_nForceShm = bForce ? 1 : 0;
}

BOOL CJobPipeClient::UsesSharedMemory() {
    static BOOL s_bShm = FALSE;
    static std::once_flag s_once;
    std::call_once(s_once, [] {
        OSVERSIONINFOA vi{};
        vi.dwOSVersionInfoSize = sizeof vi;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        BOOL bNt = GetVersionExA(&vi) && vi.dwPlatformId == VER_PLATFORM_WIN32_NT;
#pragma GCC diagnostic pop
        s_bShm = !bNt;
        const char* env = std::getenv("VX410_SERVICE_TRANSPORT");
        if (env && (_stricmp(env, "shm") == 0 || _stricmp(env, "sharedmemory") == 0))
            s_bShm = TRUE;
    });
    if (g_nForceShm >= 0)
        return g_nForceShm != 0;
    return s_bShm;
}

CJobPipeClient::CJobPipeClient() = default;

CJobPipeClient::~CJobPipeClient() {
    Terminate();
}

HRESULT CJobPipeClient::Connect(const char* name) {
    if (IsConnected())
        return S_OK;
    if (!name || !*name)
        return E_INVALIDARG;
    return UsesSharedMemory() ? ConnectSharedMemory(name) : ConnectPipe(name);
}

HRESULT CJobPipeClient::ConnectPipe(const std::string& name) {
    const std::string path = kestrel::ServicePipePath(name);
    const DWORD dwStart = GetTickCount();
    for (;;) {
        HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            m_hPipe.Attach(h);
            return S_OK;
        }
        const HRESULT hr = HResultFromLastError();
        const DWORD err = GetLastError();
        // A busy pipe has a service behind it: its next instance comes. No
        // pipe at all is an absent service, unless the service says it runs:
        // then this is the moment between one instance and the next.
        const BOOL bWorthWaiting =
            err == ERROR_PIPE_BUSY || (err == ERROR_FILE_NOT_FOUND && IsServiceRunning(name));
        if (!bWorthWaiting || GetTickCount() - dwStart >= kConnectPatienceMs)
            return hr;
        // WaitNamedPipe ends as soon as an instance listens; it answers at
        // once when there is no pipe at all, hence the pause.
        if (err != ERROR_PIPE_BUSY || !WaitNamedPipeA(path.c_str(), kBusyWaitMs))
            Sleep(kRetryMs);
    }
}

HRESULT CJobPipeClient::ConnectSharedMemory(const std::string& name) {
    OutputDebugStringA("CreateFileMapping start\n");
    m_hMapping.Attach(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                         static_cast<DWORD>(kestrel::kShmBlockSize), name.c_str()));
    if (!m_hMapping)
        return HResultFromLastError();
    if (GetLastError() != ERROR_ALREADY_EXISTS) {
        // We created it: no service is running.
        m_hMapping.Close();
        return HResultFromWin32(ERROR_FILE_NOT_FOUND);
    }
    m_serviceAlive.Open(kestrel::ServiceAliveMutexName(name).c_str());
    HRESULT hr = S_OK;
    // Held while attached so that the service notices a client that dies.
    // Taken before attaching: clients queue on it one at a time.
    if (m_clientAlive.Create(kestrel::ServiceClientMutexName(name).c_str())) {
        for (;;) {
            DWORD w = m_clientAlive.Wait(kPollMs);
            if (m_clientAlive.IsHeld())
                break;
            if (w == WAIT_FAILED || ServiceGone()) {
                hr =
                    w == WAIT_FAILED ? HResultFromLastError() : HResultFromWin32(ERROR_BROKEN_PIPE);
                m_clientAlive.Close();
                break;
            }
        }
    }
    if (SUCCEEDED(hr)) {
        CMappedView view(m_hMapping);
        if (!view.m_p) {
            hr = HResultFromLastError();
        } else {
            // One client at a time: wait while another session is active.
            while (!kestrel::shm::TryAttach(*view.m_p)) {
                if (ServiceGone()) {
                    hr = HResultFromWin32(ERROR_BROKEN_PIPE);
                    break;
                }
                Sleep(kPollMs);
            }
        }
    }
    if (FAILED(hr))
        ReleaseShm();
    OutputDebugStringA("CreateFileMapping end\n");
    return hr;
}

// The service keeps a mutex while it runs; an abandoned or free one means it
// died, and waiting for its flags would never end.
BOOL CJobPipeClient::ServiceGone() {
    if (!m_serviceAlive)
        return FALSE;
    m_serviceAlive.Wait(0);
    if (!m_serviceAlive.IsHeld())
        return FALSE;
    m_serviceAlive.Release();
    return TRUE;
}

void CJobPipeClient::ReleaseShm() {
    m_clientAlive.Close();
    m_serviceAlive.Close();
    m_hMapping.Close();
}

HRESULT CJobPipeClient::Send(const void* pData, DWORD cb) {
    if (m_hMapping)
        return SendShm(pData, cb);
    if (!m_hPipe)
        return E_FAIL;
    DWORD written = 0;
    if (!WriteFile(m_hPipe, pData, cb, &written, nullptr))
        return HResultFromLastError();
    if (written != cb)
        return HResultFromWin32(ERROR_WRITE_FAULT);
    return S_OK;
}

HRESULT CJobPipeClient::Receive(void* pData, DWORD cb) {
    if (m_hMapping)
        return ReceiveShm(pData, cb);
    if (!m_hPipe)
        return E_FAIL;
    DWORD got = 0;
    if (!ReadFile(m_hPipe, pData, cb, &got, nullptr))
        return HResultFromLastError();
    if (got != cb)
        return HResultFromWin32(ERROR_HANDLE_EOF);
    return S_OK;
}

HRESULT CJobPipeClient::SendShm(const void* pData, DWORD cb) {
    OutputDebugStringA("CJobPipeClient::WriteFile loop start\n");
    HRESULT hr = PollBlock([&](kestrel::ServiceShmBlock& block) {
        if (kestrel::shm::IsFull(block))
            return false;
        kestrel::shm::Post(block, kestrel::kDirectionToService, pData, cb);
        return true;
    });
    OutputDebugStringA("CJobPipeClient::WriteFile loop end\n");
    return hr;
}

HRESULT CJobPipeClient::ReceiveShm(void* pData, DWORD cb) {
    OutputDebugStringA("CJobPipeClient::ReadFile loop start\n");
    HRESULT hr = PollBlock([&](kestrel::ServiceShmBlock& block) {
        if (!kestrel::shm::HasReply(block))
            return false;
        std::memset(pData, 0, cb);
        kestrel::shm::Take(block, pData, cb);
        return true;
    });
    OutputDebugStringA("CJobPipeClient::ReadFile loop end\n");
    return hr;
}

HRESULT CJobPipeClient::PollBlock(const std::function<bool(kestrel::ServiceShmBlock&)>& step) {
    CMappedView view(m_hMapping);
    if (!view.m_p)
        return HResultFromLastError();
    for (;;) {
        if (!kestrel::shm::SessionActive(*view.m_p))
            return E_ACCESSDENIED;
        if (step(*view.m_p))
            return S_OK;
        if (ServiceGone())
            return HResultFromWin32(ERROR_BROKEN_PIPE);
        Sleep(kPollMs);
    }
}

BOOL CJobPipeClient::IsChannelLost(HRESULT hr) {
    return hr == HResultFromWin32(ERROR_BROKEN_PIPE) || hr == HResultFromWin32(ERROR_NO_DATA) ||
           hr == HResultFromWin32(ERROR_PIPE_NOT_CONNECTED) || hr == E_ACCESSDENIED;
}

HRESULT CJobPipeClient::RequestJobNumber(long* pnJobNumber) {
    if (!pnJobNumber)
        return E_POINTER;
    auto request = kestrel::EncodeServiceMessage(kestrel::kRequestJobNumber);
    HRESULT hr = Send(request.data(), 4);
    if (FAILED(hr))
        return hr;
    uint8_t reply[4] = {};
    hr = Receive(reply, 4);
    if (FAILED(hr))
        return hr;
    *pnJobNumber = static_cast<long>(static_cast<int32_t>(kestrel::DecodeServiceMessage(reply)));
    return S_OK;
}

HRESULT CJobPipeClient::Lock(BOOL bOn) {
    auto msg = kestrel::EncodeServiceMessage(bOn ? kestrel::kRequestLock : kestrel::kRequestUnlock);
    return Send(msg.data(), 4);
}

HRESULT CJobPipeClient::Terminate() {
    OutputDebugStringA("CJobPipeClient::terminate() start\n");
    HRESULT hr = S_OK;
    auto leave = kestrel::EncodeServiceMessage(kestrel::kRequestLeave);
    if (m_hPipe) {
        // The channel goes away whatever the service makes of the farewell.
        Send(leave.data(), 4);
        if (!CloseHandle(m_hPipe.Detach()))
            hr = HResultFromLastError();
    } else if (m_hMapping) {
        Send(leave.data(), 4);
        ReleaseShm();
    }
    OutputDebugStringA("CJobPipeClient::terminate() end\n");
    return hr;
}
