#include "ServiceDispatcher.h"

#include "contracts/ServiceChannel.h"

namespace scansvc {

CServiceDispatcher::CServiceDispatcher(vx410sim::CSimDevice& device, LogFn log)
    : m_device(device), m_log(std::move(log)) {}

void CServiceDispatcher::BeginSession() {
    m_bInSession = true;
    ++m_nSessions;
    m_log("client " + std::to_string(m_nSessions) + " connected");
}

void CServiceDispatcher::SetLocked(bool bLocked) {
    m_bLocked = bLocked;
    std::string err;
    if (!m_device.SetRunnerHolds(bLocked, &err))
        m_log("cannot record the scanner owner: " + err);
}

DispatchResult CServiceDispatcher::Handle(uint32_t code) {
    DispatchResult r;
    switch (code) {
    case kestrel::kRequestJobNumber: {
        vx410sim::DeviceState st;
        std::string err;
        int job = 0;
        if (m_device.Read(st, &err))
            job = st.m_nSelectedJob;
        else
            m_log("cannot read the panel: " + err); // the runner then finds no job 0
        r.m_bReply = true;
        r.m_nReply = static_cast<uint32_t>(job);
        m_log("request job number -> " + std::to_string(job));
        break;
    }
    case kestrel::kRequestLock:
        SetLocked(true);
        m_log("lock: the scanner is left to the job");
        break;
    case kestrel::kRequestUnlock:
        SetLocked(false);
        m_log("unlock: the scanner is back with the service");
        break;
    case kestrel::kRequestLeave:
        m_log("client leaves");
        if (m_bLocked) {
            SetLocked(false);
            m_log("unlock: the client left while holding the scanner");
        }
        r.m_bEndSession = true;
        m_bInSession = false;
        break;
    default:
        // Unknown requests carry no reply; answering would desynchronise the client.
        m_log("unknown request " + std::to_string(code) + " ignored");
        break;
    }
    return r;
}

void CServiceDispatcher::ClientLost(const std::string& why) {
    m_log("client lost: " + why);
    if (m_bLocked) {
        SetLocked(false);
        m_log("unlock: the scanner is back with the service");
    }
    m_bInSession = false;
}

void CServiceDispatcher::EndSession() {
    m_bInSession = false;
}

bool CServiceDispatcher::TakeStartRequest() {
    if (!m_device.TakeStartPress())
        return false;
    if (m_bLocked) {
        m_log("Start pressed while a runner holds the scanner: ignored");
        return false;
    }
    return true;
}

} // namespace scansvc
