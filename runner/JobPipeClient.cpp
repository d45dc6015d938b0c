#include "JobPipeClient.h"

#include "core/ServiceChannel.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

// Win32 error -> HRESULT. A failure that left no error code must not turn
// into S_OK.
HRESULT LastErrorResult() {
    DWORD err = GetLastError();
    if (err == 0)
        return E_FAIL;
    return static_cast<HRESULT>(0x80070000u | (err & 0xFFFFu));
}

LONG g_nForceShm = -1; // -1: not forced either way

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

std::string ServiceAliveMutexName(const std::string& channel) {
    return channel + " Service Alive";
}
std::string ServiceClientMutexName(const std::string& channel) {
    return channel + " Client Alive";
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

CJobPipeClient::CJobPipeClient()
    : m_hPipe(INVALID_HANDLE_VALUE), m_hMapping(nullptr), m_hClientMutex(nullptr),
      m_hServiceAlive(nullptr) {}

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
    for (int attempt = 0;; ++attempt) {
        HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            m_hPipe = h;
            return S_OK;
        }
        // Between two listening instances the pipe is briefly busy; wait for
        // the next one rather than failing the job.
        if (GetLastError() != ERROR_PIPE_BUSY || attempt >= 3)
            return LastErrorResult();
        if (!WaitNamedPipeA(path.c_str(), 5000) && GetLastError() != ERROR_PIPE_BUSY &&
            GetLastError() != ERROR_SEM_TIMEOUT)
            return LastErrorResult();
    }
}

HRESULT CJobPipeClient::ConnectSharedMemory(const std::string& name) {
    OutputDebugStringA("CreateFileMapping start\n");
    HANDLE h = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                  static_cast<DWORD>(kestrel::kShmBlockSize), name.c_str());
    if (!h)
        return LastErrorResult();
    if (GetLastError() != ERROR_ALREADY_EXISTS) {
        // We created it: no service is running.
        CloseHandle(h);
        return static_cast<HRESULT>(0x80070002);
    }
    m_hMapping = h;
    m_hServiceAlive = OpenMutexA(SYNCHRONIZE, FALSE, ServiceAliveMutexName(name).c_str());
    HRESULT hr = S_OK;
    // Held while attached so that the service notices a client that dies.
    // Taken before attaching: clients queue on it one at a time.
    m_hClientMutex = CreateMutexA(nullptr, FALSE, ServiceClientMutexName(name).c_str());
    if (m_hClientMutex) {
        for (;;) {
            DWORD w = WaitForSingleObject(m_hClientMutex, kPollMs);
            if (w == WAIT_OBJECT_0 || w == WAIT_ABANDONED)
                break;
            if (w == WAIT_FAILED || ServiceGone()) {
                CloseHandle(m_hClientMutex);
                m_hClientMutex = nullptr;
                hr = w == WAIT_FAILED ? LastErrorResult() : HRESULT_FROM_WIN32(ERROR_BROKEN_PIPE);
                break;
            }
        }
    }
    if (SUCCEEDED(hr)) {
        CMappedView view(m_hMapping);
        if (!view.m_p) {
            hr = LastErrorResult();
        } else {
            // One client at a time: wait while another session is active.
            while (!kestrel::shm::TryAttach(*view.m_p)) {
                if (ServiceGone()) {
                    hr = HRESULT_FROM_WIN32(ERROR_BROKEN_PIPE);
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
BOOL CJobPipeClient::ServiceGone() const {
    if (!m_hServiceAlive)
        return FALSE;
    DWORD w = WaitForSingleObject(m_hServiceAlive, 0);
    if (w == WAIT_OBJECT_0 || w == WAIT_ABANDONED) {
        ReleaseMutex(m_hServiceAlive);
        return TRUE;
    }
    return FALSE;
}

void CJobPipeClient::ReleaseShm() {
    if (m_hClientMutex) {
        ReleaseMutex(m_hClientMutex);
        CloseHandle(m_hClientMutex);
        m_hClientMutex = nullptr;
    }
    if (m_hServiceAlive) {
        CloseHandle(m_hServiceAlive);
        m_hServiceAlive = nullptr;
    }
    if (m_hMapping) {
        CloseHandle(m_hMapping);
        m_hMapping = nullptr;
    }
}

HRESULT CJobPipeClient::Send(const void* pData, DWORD cb) {
    if (m_hMapping)
        return SendShm(pData, cb);
    if (m_hPipe == INVALID_HANDLE_VALUE)
        return E_FAIL;
    DWORD written = 0;
    if (!WriteFile(m_hPipe, pData, cb, &written, nullptr))
        return LastErrorResult();
    if (written != cb)
        return HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
    return S_OK;
}

HRESULT CJobPipeClient::Receive(void* pData, DWORD cb) {
    if (m_hMapping)
        return ReceiveShm(pData, cb);
    if (m_hPipe == INVALID_HANDLE_VALUE)
        return E_FAIL;
    DWORD got = 0;
    if (!ReadFile(m_hPipe, pData, cb, &got, nullptr))
        return LastErrorResult();
    if (got != cb)
        return HRESULT_FROM_WIN32(ERROR_HANDLE_EOF);
    return S_OK;
}

HRESULT CJobPipeClient::SendShm(const void* pData, DWORD cb) {
    OutputDebugStringA("CJobPipeClient::WriteFile loop start\n");
    CMappedView view(m_hMapping);
    if (!view.m_p)
        return LastErrorResult();
    HRESULT hr = S_OK;
    for (;;) {
        if (!kestrel::shm::SessionActive(*view.m_p)) {
            hr = E_ACCESSDENIED;
            break;
        }
        if (!kestrel::shm::IsFull(*view.m_p)) {
            kestrel::shm::Post(*view.m_p, kestrel::kDirectionToService, pData, cb);
            break;
        }
        if (ServiceGone()) {
            hr = HRESULT_FROM_WIN32(ERROR_BROKEN_PIPE);
            break;
        }
        Sleep(kPollMs);
    }
    OutputDebugStringA("CJobPipeClient::WriteFile loop end\n");
    return hr;
}

HRESULT CJobPipeClient::ReceiveShm(void* pData, DWORD cb) {
    OutputDebugStringA("CJobPipeClient::ReadFile loop start\n");
    CMappedView view(m_hMapping);
    if (!view.m_p)
        return LastErrorResult();
    HRESULT hr = S_OK;
    for (;;) {
        if (!kestrel::shm::SessionActive(*view.m_p)) {
            hr = E_ACCESSDENIED;
            break;
        }
        if (kestrel::shm::HasReply(*view.m_p)) {
            std::memset(pData, 0, cb);
            kestrel::shm::Take(*view.m_p, pData, cb);
            break;
        }
        if (ServiceGone()) {
            hr = HRESULT_FROM_WIN32(ERROR_BROKEN_PIPE);
            break;
        }
        Sleep(kPollMs);
    }
    OutputDebugStringA("CJobPipeClient::ReadFile loop end\n");
    return hr;
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
    if (m_hPipe != INVALID_HANDLE_VALUE) {
        // The channel goes away whatever the service makes of the farewell.
        Send(leave.data(), 4);
        if (!CloseHandle(m_hPipe))
            hr = LastErrorResult();
        m_hPipe = INVALID_HANDLE_VALUE;
    } else if (m_hMapping) {
        Send(leave.data(), 4);
        ReleaseShm();
    }
    OutputDebugStringA("CJobPipeClient::terminate() end\n");
    return hr;
}
