// devlink.dll over the simulated VX-410: every handle is a short session on
// the simulator's state folder with its own sense data, as a real device
// connection keeps the sense of its last command.
#define DEVLINK_BUILD
#include "devlink.h"

#include "vx410sim.h"

#include <cstring>
#include <map>
#include <mutex>
#include <string>

namespace {

struct CSession {
    std::string m_strFolder;
    vx410sim::SenseData m_lastSense;
};

class CSessionTable {
public:
    STIHANDLE Add(CSession session) {
        std::lock_guard<std::mutex> guard(m_lock);
        // Handles are never 0 and not reused soon, so a stale handle is refused.
        do {
            ++m_nNext;
        } while (m_nNext == 0 || m_sessions.count(m_nNext));
        m_sessions.emplace(m_nNext, std::move(session));
        return m_nNext;
    }
    bool Remove(STIHANDLE h) {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_sessions.erase(h) != 0;
    }
    bool Folder(STIHANDLE h, std::string& folder) {
        std::lock_guard<std::mutex> guard(m_lock);
        auto it = m_sessions.find(h);
        if (it == m_sessions.end())
            return false;
        folder = it->second.m_strFolder;
        return true;
    }
    void SetSense(STIHANDLE h, const vx410sim::SenseData& sense) {
        std::lock_guard<std::mutex> guard(m_lock);
        auto it = m_sessions.find(h);
        if (it != m_sessions.end())
            it->second.m_lastSense = sense;
    }
    bool Sense(STIHANDLE h, vx410sim::SenseData& sense) {
        std::lock_guard<std::mutex> guard(m_lock);
        auto it = m_sessions.find(h);
        if (it == m_sessions.end())
            return false;
        sense = it->second.m_lastSense;
        return true;
    }

private:
    std::mutex m_lock;
    std::map<STIHANDLE, CSession> m_sessions;
    STIHANDLE m_nNext = 0x4100;
};

CSessionTable& Sessions() {
    static CSessionTable table;
    return table;
}

BOOL Execute(STIHANDLE h, vx410sim::Phase phase, const BYTE* cdb, DWORD cdbLen, BYTE* data,
             DWORD dataLen) {
    std::string folder;
    if (!Sessions().Folder(h, folder)) {
        if (phase == vx410sim::Phase::In && data && dataLen)
            std::memset(data, 0, dataLen);
        return FALSE;
    }
    vx410sim::CSimDevice dev(folder);
    vx410sim::SenseData sense;
    const bool ok = vx410sim::ExecuteBlock(dev, phase, cdb, cdbLen, data, dataLen, &sense);
    Sessions().SetSense(h, sense);
    return ok ? TRUE : FALSE;
}

} // namespace

extern "C" {

BOOL WINAPI StiProbeDeviceID(char* deviceId, const char* friendlyName) {
    if (!deviceId || !friendlyName)
        return FALSE;
    const std::string folder = vx410sim::ResolveStateFolder();
    vx410sim::DeviceState state;
    if (folder.empty() || !vx410sim::CSimDevice(folder).Read(state))
        return FALSE;
    const std::string name = vx410sim::ProbeFriendlyName(state, friendlyName);
    if (name.empty() || name.size() >= 256)
        return FALSE;
    std::memcpy(deviceId, name.c_str(), name.size() + 1);
    return TRUE;
}

STIHANDLE WINAPI StiOpen(const char* deviceName) {
    if (!deviceName)
        return 0;
    const std::string folder = vx410sim::ResolveStateFolder();
    vx410sim::DeviceState state;
    if (folder.empty() || !vx410sim::CSimDevice(folder).Read(state))
        return 0;
    if (!vx410sim::DeviceNameMatches(state, deviceName))
        return 0;
    return Sessions().Add(CSession{folder, {}});
}

BOOL WINAPI StiClose(STIHANDLE h) {
    return Sessions().Remove(h) ? TRUE : FALSE;
}

BOOL WINAPI StiWrite(STIHANDLE h, const BYTE* cdb, DWORD cdbLen, const BYTE* data, DWORD dataLen) {
    // Out data is only read by the executor.
    return Execute(h, vx410sim::Phase::Out, cdb, cdbLen, const_cast<BYTE*>(data), dataLen);
}

BOOL WINAPI StiRead(STIHANDLE h, const BYTE* cdb, DWORD cdbLen, BYTE* buffer, DWORD bufferLen) {
    return Execute(h, vx410sim::Phase::In, cdb, cdbLen, buffer, bufferLen);
}

BOOL WINAPI StiNone(STIHANDLE h, const BYTE* cdb, DWORD cdbLen) {
    return Execute(h, vx410sim::Phase::None, cdb, cdbLen, nullptr, 0);
}

BOOL WINAPI StiGetSenseCode(STIHANDLE h, BYTE* buffer, DWORD bufferLen) {
    if (!buffer || bufferLen == 0)
        return FALSE;
    std::memset(buffer, 0, bufferLen);
    vx410sim::SenseData sense;
    if (!Sessions().Sense(h, sense))
        return FALSE;
    const auto bytes = sense.Bytes();
    std::memcpy(buffer, bytes.data(), bufferLen < bytes.size() ? bufferLen : bytes.size());
    return TRUE;
}

BOOL WINAPI StiExecCommand(STIHANDLE h, DWORD value) {
    if (value != 0)
        return FALSE;
    static const BYTE kTestUnitReady[6] = {0, 0, 0, 0, 0, 0};
    return StiNone(h, kTestUnitReady, sizeof kTestUnitReady);
}

} // extern "C"
