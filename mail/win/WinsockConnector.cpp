#include "mail/win/WinsockConnector.h"

#include <algorithm>
#include <string>

#include "mail/win/SchannelTls.h"

namespace vlm::mail {

// The TCP connection itself.
class CSocketStream : public IMailStream {
public:
    CSocketStream(CWinsockConnector& owner, CSocket socket)
        : m_Owner(owner), m_Socket(std::move(socket)) {}
    ~CSocketStream() override {
        CCsLock lock(m_Owner.m_Lock);
        m_Owner.m_Current = INVALID_SOCKET;
    }
    // The socket does not block: each call waits for its turn with select.
    int Read(char* buffer, int size) override {
        for (;;) {
            if (const int e = m_Owner.Wait(m_Socket.Get(), false))
                return -(m_Owner.m_bAborted ? WSAECONNRESET : e);
            const int n = ::recv(m_Socket.Get(), buffer, size, 0);
            if (n >= 0)
                return n;
            if (::WSAGetLastError() != WSAEWOULDBLOCK)
                return -Error();
        }
    }
    // A server that stops reading fills the socket's buffers; then the
    // write waits like a read, and gives up as one.
    int Write(const char* data, int size) override {
        for (int done = 0; done < size;) {
            const int n = ::send(m_Socket.Get(), data + done, size - done, 0);
            if (n > 0) {
                done += n;
                continue;
            }
            if (n == 0 || ::WSAGetLastError() != WSAEWOULDBLOCK)
                return -Error();
            if (const int e = m_Owner.Wait(m_Socket.Get(), true))
                return -(m_Owner.m_bAborted ? WSAECONNRESET : e);
        }
        return size;
    }

private:
    int Error() const {
        // A connection ended by Abort reads as reset.
        return m_Owner.m_bAborted ? WSAECONNRESET : ::WSAGetLastError();
    }
    CWinsockConnector& m_Owner;
    CSocket m_Socket;
};

// The connection as the dialogues see it: plain, or TLS once started.
class CWinsockStream : public IMailStream {
public:
    CWinsockStream(CWinsockConnector& owner, CSocket socket)
        : m_Socket(owner, std::move(socket)), m_bAllowSelfSigned(owner.m_bAllowSelfSigned) {}
    int Read(char* buffer, int size) override {
        return m_Tls ? m_Tls->Read(buffer, size) : m_Socket.Read(buffer, size);
    }
    int Write(const char* data, int size) override {
        return m_Tls ? m_Tls->Write(data, size) : m_Socket.Write(data, size);
    }
    bool CanTls() const override { return !m_Tls; }
    MailOutcome StartTls(const std::string& host) override {
        if (m_Tls)
            return {kMailRefused, "TLS is already on."};
        auto tls = std::make_unique<CTlsChannel>(m_Socket, m_bAllowSelfSigned);
        MailOutcome o = tls->Handshake(host);
        if (o.Ok())
            m_Tls = std::move(tls);
        return o;
    }

private:
    CSocketStream m_Socket;
    bool m_bAllowSelfSigned;
    std::unique_ptr<CTlsChannel> m_Tls;
};

CWinsockConnector::CWinsockConnector(int timeoutMs, int64_t limitMs)
    : m_TimeoutMs(timeoutMs), m_Deadline(limitMs > 0 ? ::GetTickCount64() + limitMs : 0) {
    WSADATA data;
    m_bStarted = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

int CWinsockConnector::WaitMs() const {
    if (!m_Deadline)
        return m_TimeoutMs;
    const ULONGLONG now = ::GetTickCount64();
    return now >= m_Deadline ? -1 : int(std::min<ULONGLONG>(m_Deadline - now, m_TimeoutMs));
}

int CWinsockConnector::Wait(SOCKET s, bool write, bool connecting) const {
    fd_set ready, failed;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_SET(s, &ready);
    FD_SET(s, &failed);
    const int ms = WaitMs();
    if (ms < 0) // even a socket that is ready waits no more
        return WSAETIMEDOUT;
    timeval tv{ms / 1000, (ms % 1000) * 1000};
    const int r = ::select(0, write ? nullptr : &ready, write ? &ready : nullptr,
                           connecting ? &failed : nullptr, &tv);
    if (r == 0)
        return WSAETIMEDOUT;
    if (r < 0)
        return ::WSAGetLastError();
    if (connecting && FD_ISSET(s, &failed)) {
        int soError = 0, len = sizeof soError;
        ::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &len);
        return soError ? soError : WSAECONNREFUSED;
    }
    return 0;
}

CWinsockConnector::~CWinsockConnector() {
    if (m_bStarted)
        ::WSACleanup();
}

void CWinsockConnector::Abort() {
    CCsLock lock(m_Lock);
    ::InterlockedExchange(&m_bAborted, 1);
    if (m_Current != INVALID_SOCKET)
        ::shutdown(m_Current, SD_BOTH);
}

int CWinsockConnector::Connect(const std::string& host, uint16_t port,
                               std::unique_ptr<IMailStream>& stream) {
    if (!m_bStarted)
        return WSANOTINITIALISED;
    if (m_bAborted)
        return WSAECONNRESET;
    addrinfo hints{}, *found = nullptr;
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    // The error numbers of getaddrinfo are the Winsock ones (11001, 11002, 11004).
    if (int e = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found))
        return e;
    int error = WSAHOST_NOT_FOUND;
    for (addrinfo* a = found; a; a = a->ai_next) {
        CSocket s(::socket(a->ai_family, a->ai_socktype, a->ai_protocol));
        if (!s) {
            error = ::WSAGetLastError();
            continue;
        }
        {
            CCsLock lock(m_Lock);
            m_Current = s.Get();
        }
        // Without blocking, so that the time-outs apply to connecting,
        // reading and writing alike.
        u_long nonBlocking = 1;
        ::ioctlsocket(s.Get(), FIONBIO, &nonBlocking);
        if (::connect(s.Get(), a->ai_addr, int(a->ai_addrlen)) != 0) {
            error = ::WSAGetLastError();
            if (error == WSAEWOULDBLOCK)
                error = Wait(s.Get(), true, true);
        } else {
            error = 0;
        }
        if (error == 0 && m_bAborted)
            error = WSAECONNRESET;
        if (error != 0) {
            CCsLock lock(m_Lock);
            m_Current = INVALID_SOCKET;
            continue;
        }
        stream = std::make_unique<CWinsockStream>(*this, std::move(s));
        break;
    }
    ::freeaddrinfo(found);
    return error;
}

} // namespace vlm::mail
