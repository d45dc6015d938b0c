// Mail connections over Winsock: every read and every write waits at most
// the time-out, and all of them together (connecting included) at most the
// time limit of the connector; errors are the Winsock error numbers the mail
// outcome codes use (10060 for both limits).
#pragma once
#include <winsock2.h>
#include <ws2tcpip.h>

#include "framework/Handles.h"
#include "mail/core/MailStream.h"

namespace vlm::mail {

class CWinsockConnector : public IMailConnector {
public:
    // The time limit runs from here; 0 is none.
    explicit CWinsockConnector(int timeoutMs = 60000, int64_t limitMs = 0);
    ~CWinsockConnector() override;
    int Connect(const std::string& host, uint16_t port,
                std::unique_ptr<IMailStream>& stream) override;
    // From another thread: ends the open connection, so that a waiting read
    // returns at once.
    void Abort();
    // Whether a self-signed server certificate passes the TLS check.
    void SetAllowSelfSigned(bool allow) { m_bAllowSelfSigned = allow; }

private:
    friend class CSocketStream;
    friend class CWinsockStream;
    // How long the next wait may take: the time-out, or what is left of the
    // time limit when that is less; -1 when the limit has passed.
    int WaitMs() const;
    // Waits until the socket can be written (write) or read, or until a
    // connection attempt has ended (connecting); 0, or an error.
    int Wait(SOCKET s, bool write, bool connecting = false) const;

    bool m_bAllowSelfSigned = false;
    int m_TimeoutMs;
    ULONGLONG m_Deadline = 0; // GetTickCount64 of the limit; 0 none
    bool m_bStarted = false;
    CCriticalSection m_Lock;
    SOCKET m_Current = INVALID_SOCKET; // the open connection, for Abort
    volatile LONG m_bAborted = 0;
};

} // namespace vlm::mail
