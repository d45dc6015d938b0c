// The scanner service: owns the scanner between jobs, answers the runner over
// the request channel (named pipe, or the shared block with --shared-memory)
// and starts kestrel when Start is pressed on the panel.
#pragma once

#include <windows.h>

#include <cstdio>
#include <deque>
#include <memory>
#include <string>

#include "components/scanner-service/core/ServiceDispatcher.h"
#include "framework/Handles.h"

namespace scansvc {

constexpr const char kDefaultChannel[] = "VX-410 Service Pipe for Kestrel";
constexpr const char kDefaultEvent[] = "{895DBEB0-1F4A-4756-ABFD-3218CF1F10A5}";
constexpr const char kDefaultKestrel[] = "C:\\Program Files\\Velmora Works\\Task Deck\\kestrel.exe";
constexpr const char kRegistryKey[] = "Software\\Velmora Works Inc.\\VX-410 Simulator";

struct ServiceOptions {
    std::string m_strChannel = kDefaultChannel;
    std::string m_strKestrel; // empty: registry "KestrelPath", else the default
    std::string m_strEvent = kDefaultEvent;
    std::string m_strLog; // empty: standard output
    bool m_bSharedMemory = false;
    bool m_bOnce = false;  // end after the first client session
    bool m_bLaunch = true; // watch the Start button
    DWORD m_nPollMs = 50;  // shared block and Start button polling
    int m_nDenyAfter = 0;  // tests: end the session instead of the Nth request
};

// Named objects beside the channel.
std::string StopEventName(const std::string& channel);

class CServiceLog {
public:
    BOOL Open(const std::string& path); // empty: standard output
    void Write(const char* fmt, ...);

private:
    std::string m_strPath;
};

class CScannerService {
public:
    CScannerService(const ServiceOptions& opts, CServiceLog& log);
    ~CScannerService();
    // 0 after a clean stop; 2 when the channel cannot be served; 3 when
    // another service already serves it.
    int Run();

private:
    struct PipeInstance;
    int RunPipe();
    int RunSharedMemory();
    void PollStartButton();
    void ReapRunner();
    BOOL LaunchRunner();
    std::string KestrelPath() const;
    void Log(const std::string& s);

    // What became of the listening instance once its event is signalled.
    enum class ListenResult { kConnected, kPending, kGone };
    BOOL CreateListener();
    ListenResult TakeListenResult(PipeInstance& p);
    void StartRead();
    void FinishSession(const char* why, BOOL bLost);
    BOOL HandleMessage(uint32_t code); // FALSE: the session ended

    ServiceOptions m_opts;
    CServiceLog& m_log;
    vx410sim::CSimDevice m_device;
    CServiceDispatcher m_dispatcher;
    vlm::CHandle m_hStop;
    vlm::CHandle m_hAlive;  // single instance, and liveness for shared-block clients
    vlm::CHandle m_hRunner; // the kestrel started last
    DWORD m_nRunnerPid = 0;
    BOOL m_bSessionSeen = FALSE;
    int m_nRequests = 0;

    // Pipe transport: one listening instance, the connected clients waiting
    // their turn, and the one being served.
    std::unique_ptr<PipeInstance> m_pListener;
    std::deque<std::unique_ptr<PipeInstance>> m_waiting;
    std::unique_ptr<PipeInstance> m_pCurrent;
};

} // namespace scansvc
