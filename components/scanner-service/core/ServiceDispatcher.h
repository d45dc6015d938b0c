// What the scanner service does with each request of a runner, independent of
// the transport (pipe or shared block). Device state lives in the simulated
// scanner's state folder.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "components/vx410sim/vx410sim.h"

namespace scansvc {

struct DispatchResult {
    bool m_bReply = false; // m_nReply goes back to the client
    uint32_t m_nReply = 0;
    bool m_bEndSession = false; // the client said goodbye
};

class CServiceDispatcher {
public:
    using LogFn = std::function<void(const std::string&)>;
    CServiceDispatcher(vx410sim::CSimDevice& device, LogFn log);

    void BeginSession();
    DispatchResult Handle(uint32_t code);
    // The client vanished mid-session: give the scanner back if it held it.
    void ClientLost(const std::string& why);
    void EndSession();

    bool IsLocked() const { return m_bLocked; }
    bool InSession() const { return m_bInSession; }

    // Polled by the service loop: a Start press is consumed; true when a
    // runner should be started (no runner holds the scanner).
    bool TakeStartRequest();

private:
    void SetLocked(bool bLocked);

    vx410sim::CSimDevice& m_device;
    LogFn m_log;
    bool m_bLocked = false;
    bool m_bInSession = false;
    int m_nSessions = 0;
};

} // namespace scansvc
