// Mail connections over Winsock: every read waits at most the time-out;
// errors are the Winsock error numbers the mail outcome codes use.
#pragma once
#include <winsock2.h>
#include <ws2tcpip.h>

#include "framework/Handles.h"
#include "mail/core/MailStream.h"

namespace vlm::mail {

class CWinsockConnector : public IMailConnector {
public:
    explicit CWinsockConnector(int timeoutMs = 60000);
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
    bool m_bAllowSelfSigned = false;
    int m_TimeoutMs;
    bool m_bStarted = false;
    CCriticalSection m_Lock;
    SOCKET m_Current = INVALID_SOCKET; // the open connection, for Abort
    volatile LONG m_bAborted = 0;
};

} // namespace vlm::mail
