#include "ScannerService.h"

#include <cstdarg>

#include "contracts/ServiceChannel.h"

namespace scansvc {

std::string StopEventName(const std::string& channel) {
    return channel + " Stop";
}

BOOL CServiceLog::Open(const std::string& path) {
    m_strPath = path;
    if (path.empty())
        return TRUE;
    FILE* f = std::fopen(path.c_str(), "ab");
    if (!f)
        return FALSE;
    std::fclose(f);
    return TRUE;
}

void CServiceLog::Write(const char* fmt, ...) {
    char text[1024];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);
    SYSTEMTIME t;
    GetLocalTime(&t);
    char line[1200];
    std::snprintf(line, sizeof line, "%04d/%02d/%02d %02d:%02d:%02d.%03d  %s\r\n", t.wYear,
                  t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds, text);
    // Opened per line so that tests can read the log while the service runs.
    FILE* f = m_strPath.empty() ? stdout : std::fopen(m_strPath.c_str(), "ab");
    if (!f)
        return;
    std::fputs(line, f);
    if (f == stdout)
        std::fflush(f);
    else
        std::fclose(f);
}

struct CScannerService::PipeInstance {
    vlm::CHandle m_hPipe;
    vlm::CHandle m_hEvent{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    OVERLAPPED m_ov{};
    uint8_t m_buf[4] = {};
    DWORD m_nHave = 0;
    // A client opened the instance before ConnectNamedPipe was called: the
    // connection is made, and no completion will report it.
    bool m_bConnectedEarly = false;
};

CScannerService::CScannerService(const ServiceOptions& opts, CServiceLog& log)
    : m_opts(opts), m_log(log), m_device(vx410sim::ResolveStateFolder()),
      m_dispatcher(m_device, [this](const std::string& s) { Log(s); }) {}

CScannerService::~CScannerService() = default;

void CScannerService::Log(const std::string& s) {
    m_log.Write("%s", s.c_str());
}

int CScannerService::Run() {
    m_hAlive.Attach(
        CreateMutexA(nullptr, TRUE, kestrel::ServiceAliveMutexName(m_opts.m_strChannel).c_str()));
    if (!m_hAlive || GetLastError() == ERROR_ALREADY_EXISTS) {
        m_log.Write("another scanner service already serves \"%s\"", m_opts.m_strChannel.c_str());
        return 3;
    }
    m_hStop.Attach(CreateEventA(nullptr, TRUE, FALSE, StopEventName(m_opts.m_strChannel).c_str()));
    if (!m_hStop) {
        m_log.Write("cannot create the stop event (error %lu)", GetLastError());
        return 2;
    }
    ResetEvent(m_hStop);
    // A service that was killed leaves its runner's claim recorded; no runner
    // holds the scanner through this one yet.
    vx410sim::DeviceState st;
    if (m_device.Read(st) && st.m_bRunnerHolds && m_device.SetRunnerHolds(false))
        m_log.Write("the scanner was left held by an earlier service's runner: given back");
    m_log.Write("scanner service started: %s \"%s\", state folder %s",
                m_opts.m_bSharedMemory ? "shared memory" : "pipe",
                m_opts.m_bSharedMemory ? m_opts.m_strChannel.c_str()
                                       : kestrel::ServicePipePath(m_opts.m_strChannel).c_str(),
                m_device.Folder().c_str());
    int rc = m_opts.m_bSharedMemory ? RunSharedMemory() : RunPipe();
    if (m_dispatcher.IsLocked())
        m_dispatcher.ClientLost("service stopping");
    m_log.Write("scanner service stopped");
    ReleaseMutex(m_hAlive);
    return rc;
}

std::string CScannerService::KestrelPath() const {
    if (!m_opts.m_strKestrel.empty())
        return m_opts.m_strKestrel;
    char buf[MAX_PATH] = {};
    DWORD cb = sizeof buf - 1;
    if (RegGetValueA(HKEY_CURRENT_USER, kRegistryKey, "KestrelPath", RRF_RT_REG_SZ, nullptr, buf,
                     &cb) == ERROR_SUCCESS &&
        buf[0])
        return buf;
    return kDefaultKestrel;
}

BOOL CScannerService::LaunchRunner() {
    vx410sim::DeviceState st;
    std::string err;
    if (!m_device.Read(st, &err)) {
        m_log.Write("Start pressed, but the scanner state cannot be read: %s", err.c_str());
        return FALSE;
    }
    const std::string path = KestrelPath();
    std::string cmd =
        "\"" + path + "\" /StiDevice:" + st.DeviceName() + " /StiEvent:" + m_opts.m_strEvent;
    std::string dir =
        path.substr(0, path.find_last_of('\\') == std::string::npos ? 0 : path.find_last_of('\\'));
    m_log.Write("Start pressed: starting %s", cmd.c_str());
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::string mutableCmd = cmd;
    // No inherited handles: the runner must not keep our output open.
    if (!CreateProcessA(path.c_str(), mutableCmd.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS,
                        nullptr, dir.empty() ? nullptr : dir.c_str(), &si, &pi)) {
        m_log.Write("cannot start %s (error %lu)", path.c_str(), GetLastError());
        return FALSE;
    }
    CloseHandle(pi.hThread);
    m_hRunner.Attach(pi.hProcess);
    m_nRunnerPid = pi.dwProcessId;
    m_log.Write("kestrel started, pid %lu", m_nRunnerPid);
    return TRUE;
}

void CScannerService::ReapRunner() {
    if (!m_hRunner || WaitForSingleObject(m_hRunner, 0) != WAIT_OBJECT_0)
        return;
    DWORD code = 0;
    GetExitCodeProcess(m_hRunner, &code);
    m_log.Write("kestrel ended, pid %lu, exit code %lu", m_nRunnerPid, code);
    m_hRunner.Close();
}

void CScannerService::PollStartButton() {
    if (m_opts.m_bLaunch && m_dispatcher.TakeStartRequest())
        LaunchRunner();
    ReapRunner();
}

BOOL CScannerService::HandleMessage(uint32_t code) {
    ++m_nRequests;
    if (m_opts.m_nDenyAfter > 0 && m_nRequests >= m_opts.m_nDenyAfter) {
        m_log.Write("request %lu refused: session ended by the service", (unsigned long)code);
        return FALSE;
    }
    DispatchResult r = m_dispatcher.Handle(code);
    if (r.m_bReply && m_pCurrent) {
        auto bytes = kestrel::EncodeServiceMessage(r.m_nReply);
        OVERLAPPED ov{};
        vlm::CHandle ev(CreateEventA(nullptr, TRUE, FALSE, nullptr));
        ov.hEvent = ev;
        DWORD written = 0;
        BOOL ok = WriteFile(m_pCurrent->m_hPipe, bytes.data(), 4, nullptr, &ov);
        if (!ok && GetLastError() == ERROR_IO_PENDING)
            ok = TRUE;
        if (!ok || !GetOverlappedResult(m_pCurrent->m_hPipe, &ov, &written, TRUE) || written != 4) {
            FinishSession("the reply could not be written", TRUE);
            return FALSE;
        }
    }
    if (r.m_bEndSession) {
        FinishSession(nullptr, FALSE);
        return FALSE;
    }
    return TRUE;
}

// ---- pipe transport ------------------------------------------------------

BOOL CScannerService::CreateListener() {
    auto inst = std::make_unique<PipeInstance>();
    const std::string path = kestrel::ServicePipePath(m_opts.m_strChannel);
    inst->m_hPipe.Attach(CreateNamedPipeA(path.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                          PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT,
                                          PIPE_UNLIMITED_INSTANCES, 512, 512, 0, nullptr));
    if (!inst->m_hPipe || !inst->m_hEvent) {
        m_log.Write("cannot create the pipe %s (error %lu)", path.c_str(), GetLastError());
        return FALSE;
    }
    inst->m_ov.hEvent = inst->m_hEvent;
    if (!ConnectNamedPipe(inst->m_hPipe, &inst->m_ov)) {
        DWORD err = GetLastError();
        if (err == ERROR_PIPE_CONNECTED) {
            inst->m_bConnectedEarly = true;
            SetEvent(inst->m_hEvent);
        } else if (err != ERROR_IO_PENDING) {
            m_log.Write("cannot listen on the pipe (error %lu)", err);
            return FALSE;
        }
    }
    m_pListener = std::move(inst);
    return TRUE;
}

CScannerService::ListenResult CScannerService::TakeListenResult(PipeInstance& p) {
    if (p.m_bConnectedEarly)
        return ListenResult::kConnected;
    DWORD dummy = 0;
    if (GetOverlappedResult(p.m_hPipe, &p.m_ov, &dummy, FALSE))
        return ListenResult::kConnected;
    if (GetLastError() == ERROR_PIPE_CONNECTED)
        return ListenResult::kConnected;
    if (GetLastError() != ERROR_IO_INCOMPLETE)
        return ListenResult::kGone;
    // Signalled before the connection was made: reset, then look again, so
    // that a completion between the two is seen now or signals anew.
    ResetEvent(p.m_hEvent);
    if (GetOverlappedResult(p.m_hPipe, &p.m_ov, &dummy, FALSE) ||
        GetLastError() == ERROR_PIPE_CONNECTED)
        return ListenResult::kConnected;
    return GetLastError() == ERROR_IO_INCOMPLETE ? ListenResult::kPending : ListenResult::kGone;
}

void CScannerService::StartRead() {
    PipeInstance& p = *m_pCurrent;
    ResetEvent(p.m_hEvent);
    p.m_ov = OVERLAPPED{};
    p.m_ov.hEvent = p.m_hEvent;
    if (!ReadFile(p.m_hPipe, p.m_buf + p.m_nHave, 4 - p.m_nHave, nullptr, &p.m_ov) &&
        GetLastError() != ERROR_IO_PENDING) {
        char why[64];
        std::snprintf(why, sizeof why, "read failed (error %lu)", GetLastError());
        FinishSession(why, TRUE);
    }
}

void CScannerService::FinishSession(const char* why, BOOL bLost) {
    if (bLost)
        m_dispatcher.ClientLost(why ? why : "gone");
    else
        m_dispatcher.EndSession();
    if (m_pCurrent) {
        CancelIo(m_pCurrent->m_hPipe);
        DisconnectNamedPipe(m_pCurrent->m_hPipe);
        m_pCurrent.reset();
    }
}

int CScannerService::RunPipe() {
    if (!CreateListener())
        return 2;
    for (;;) {
        HANDLE waits[4] = {m_hStop, m_pListener->m_hEvent, nullptr, nullptr};
        DWORD n = 2;
        if (m_pCurrent)
            waits[n++] = m_pCurrent->m_hEvent;
        // The runner's end is an event of its own, not something the next
        // poll of the Start button happens to see.
        if (m_hRunner)
            waits[n++] = m_hRunner;
        DWORD w = WaitForMultipleObjects(n, waits, FALSE, m_opts.m_nPollMs);
        if (w == WAIT_OBJECT_0) {
            m_log.Write("stop requested");
            break;
        }
        if (w == WAIT_OBJECT_0 + 1) {
            // A connected instance joins the queue; a still listening one
            // stays; one whose client came and went is replaced.
            const ListenResult r = TakeListenResult(*m_pListener);
            if (r == ListenResult::kConnected) {
                m_waiting.push_back(std::move(m_pListener));
                if (m_pCurrent)
                    m_log.Write("client waiting for its turn (%u waiting)",
                                (unsigned)m_waiting.size());
            }
            if (r != ListenResult::kPending && !CreateListener())
                return 2;
        } else if (w == WAIT_OBJECT_0 + 2 && m_pCurrent) {
            DWORD got = 0;
            if (!GetOverlappedResult(m_pCurrent->m_hPipe, &m_pCurrent->m_ov, &got, FALSE)) {
                DWORD err = GetLastError();
                char why[64];
                std::snprintf(why, sizeof why, "%s (error %lu)",
                              err == ERROR_BROKEN_PIPE ? "pipe broken" : "read failed", err);
                FinishSession(why, TRUE);
            } else if (got == 0) {
                // A zero-byte completion is the client closing its end.
                FinishSession("pipe closed", TRUE);
            } else {
                m_pCurrent->m_nHave += got;
                if (m_pCurrent->m_nHave < 4) {
                    StartRead();
                } else {
                    m_pCurrent->m_nHave = 0;
                    if (HandleMessage(kestrel::DecodeServiceMessage(m_pCurrent->m_buf)))
                        StartRead();
                    else if (m_pCurrent)
                        FinishSession(nullptr, FALSE);
                }
            }
        }
        if (!m_pCurrent && !m_waiting.empty()) {
            m_pCurrent = std::move(m_waiting.front());
            m_waiting.pop_front();
            m_pCurrent->m_nHave = 0;
            m_bSessionSeen = TRUE;
            m_dispatcher.BeginSession();
            StartRead();
        }
        PollStartButton();
        if (m_opts.m_bOnce && m_bSessionSeen && !m_pCurrent && m_waiting.empty() && !m_hRunner) {
            m_log.Write("first session over: ending (--once)");
            break;
        }
    }
    if (m_pCurrent)
        FinishSession("service stopping", TRUE);
    m_waiting.clear();
    m_pListener.reset();
    return 0;
}

// ---- shared block transport ------------------------------------------------

int CScannerService::RunSharedMemory() {
    using namespace kestrel;
    vlm::CHandle hMap(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                         static_cast<DWORD>(kShmBlockSize),
                                         m_opts.m_strChannel.c_str()));
    if (!hMap) {
        m_log.Write("cannot create the shared block (error %lu)", GetLastError());
        return 2;
    }
    auto* block = static_cast<ServiceShmBlock*>(
        MapViewOfFile(hMap, FILE_MAP_ALL_ACCESS, 0, 0, kShmBlockSize));
    if (!block) {
        m_log.Write("cannot map the shared block (error %lu)", GetLastError());
        return 2;
    }
    // A fresh start: no session survives a previous service.
    uint8_t scratch[kShmBufferSize];
    shm::EndSession(*block);
    if (shm::IsFull(*block))
        shm::Take(*block, scratch, 0);
    vlm::CHandle hClient;
    auto endSession = [&](const char* lostWhy) {
        if (lostWhy)
            m_dispatcher.ClientLost(lostWhy);
        else
            m_dispatcher.EndSession();
        if (shm::IsFull(*block) && shm::HasRequest(*block))
            shm::Take(*block, scratch, 0);
        shm::EndSession(*block);
        hClient.Close();
    };
    for (;;) {
        HANDLE waits[2] = {m_hStop, m_hRunner};
        if (WaitForMultipleObjects(m_hRunner ? 2 : 1, waits, FALSE, m_opts.m_nPollMs) ==
            WAIT_OBJECT_0) {
            m_log.Write("stop requested");
            break;
        }
        if (shm::SessionActive(*block) && !m_dispatcher.InSession()) {
            m_bSessionSeen = TRUE;
            m_dispatcher.BeginSession();
        }
        if (shm::HasRequest(*block)) {
            uint8_t msg[4] = {};
            shm::Take(*block, msg, 4);
            ++m_nRequests;
            const uint32_t code = DecodeServiceMessage(msg);
            if (m_opts.m_nDenyAfter > 0 && m_nRequests >= m_opts.m_nDenyAfter) {
                m_log.Write("request %lu refused: session ended by the service",
                            (unsigned long)code);
                endSession("session ended by the service");
            } else {
                DispatchResult r = m_dispatcher.Handle(code);
                if (r.m_bReply) {
                    auto bytes = EncodeServiceMessage(r.m_nReply);
                    shm::Post(*block, kDirectionToClient, bytes.data(), 4);
                }
                if (r.m_bEndSession)
                    endSession(nullptr);
            }
        } else if (m_dispatcher.InSession()) {
            // The client holds its mutex while attached: abandoned or free
            // with no farewell means it is gone.
            if (!hClient)
                hClient.Attach(
                    OpenMutexA(SYNCHRONIZE, FALSE,
                               kestrel::ServiceClientMutexName(m_opts.m_strChannel).c_str()));
            if (hClient) {
                DWORD w = WaitForSingleObject(hClient, 0);
                if (w == WAIT_OBJECT_0 || w == WAIT_ABANDONED) {
                    ReleaseMutex(hClient);
                    if (!shm::HasRequest(*block))
                        endSession(w == WAIT_ABANDONED ? "client died" : "client left silently");
                }
            }
            if (m_dispatcher.InSession() && !shm::SessionActive(*block))
                endSession(nullptr);
        }
        PollStartButton();
        if (m_opts.m_bOnce && m_bSessionSeen && !m_dispatcher.InSession() && !m_hRunner) {
            m_log.Write("first session over: ending (--once)");
            break;
        }
    }
    shm::EndSession(*block);
    UnmapViewOfFile(block);
    return 0;
}

} // namespace scansvc
