// Client side of the request channel to the scanner service: a named pipe on
// the NT family, a named shared block with flags elsewhere (or when a test
// forces it).
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "framework/Handles.h"

namespace kestrel {
struct ServiceShmBlock;
}

class CJobPipeClient {
public:
    CJobPipeClient();
    virtual ~CJobPipeClient();
    CJobPipeClient(const CJobPipeClient&) = delete;
    CJobPipeClient& operator=(const CJobPipeClient&) = delete;

    // Opens the channel named name (the pipe is "\\.\pipe\" + name).
    HRESULT Connect(const char* name);
    // Sends 2 and reads the 32-bit job number selected on the panel.
    HRESULT RequestJobNumber(long* pnJobNumber);
    // Sends 3 (on) or 4 (off).
    HRESULT Lock(BOOL bOn);
    // Sends 5 and closes; does nothing when closed.
    HRESULT Terminate();
    BOOL IsConnected() const { return m_hPipe.IsValid() || m_hMapping.IsValid(); }
    // TRUE for the results of a channel whose service went away (ended,
    // killed, or a new one that ended the old sessions).
    static BOOL IsChannelLost(HRESULT hr);

    // The transport is chosen once per process from the platform family. Tests
    // force the shared block with this switch or with the environment value
    // VX410_SERVICE_TRANSPORT=shm, both read before the first Connect.
    static void ForceSharedMemory(BOOL bForce);
    static BOOL UsesSharedMemory();

    // Milliseconds between polls of the shared block.
    static const DWORD kPollMs = 300;
    // How long Connect keeps trying while the service is there but has no
    // pipe instance free for the moment (all taken, or the next one not yet
    // made).
    static const DWORD kConnectPatienceMs = 15000;

protected:
    HRESULT Send(const void* pData, DWORD cb);
    HRESULT Receive(void* pData, DWORD cb);

private:
    HRESULT ConnectPipe(const std::string& name);
    HRESULT ConnectSharedMemory(const std::string& name);
    HRESULT SendShm(const void* pData, DWORD cb);
    HRESULT ReceiveShm(void* pData, DWORD cb);
    // Polls the shared block until step has done its part (answers true),
    // the service ends the session (E_ACCESSDENIED) or dies.
    HRESULT PollBlock(const std::function<bool(kestrel::ServiceShmBlock&)>& step);
    BOOL ServiceGone();
    void ReleaseShm();

    vlm::CHandle m_hPipe;           // pipe transport
    vlm::CHandle m_hMapping;        // shared block transport
    vlm::CHeldMutex m_clientAlive;  // held while attached, so the service sees a dead client
    vlm::CHeldMutex m_serviceAlive; // the service's own mutex, when it offers one
};

// The channel between the scanner service and kestrel; adds nothing.
class CJobPipeClientBetweenServieAndKestrel : public CJobPipeClient {};

// TRUE while a service that offers the liveness mutex of the channel runs
// (contracts/ServiceChannel.h). A service without it reads as not running.
BOOL IsServiceRunning(const std::string& channel);
