#include "mail/win/WinsockConnector.h"

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
    int Read(char* buffer, int size) override {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(m_Socket.Get(), &readable);
        timeval tv{m_Owner.m_TimeoutMs / 1000, (m_Owner.m_TimeoutMs % 1000) * 1000};
        const int r = ::select(0, &readable, nullptr, nullptr, &tv);
        if (r == 0)
            return -WSAETIMEDOUT;
        if (r < 0)
            return -Error();
        const int n = ::recv(m_Socket.Get(), buffer, size, 0);
        return n >= 0 ? n : -Error();
    }
    int Write(const char* data, int size) override {
        for (int done = 0; done < size;) {
            const int n = ::send(m_Socket.Get(), data + done, size - done, 0);
            if (n <= 0)
                return -Error();
            done += n;
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

CWinsockConnector::CWinsockConnector(int timeoutMs) : m_TimeoutMs(timeoutMs) {
    WSADATA data;
    m_bStarted = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
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
        // Connect without blocking, so that the time-out applies here too.
        u_long nonBlocking = 1;
        ::ioctlsocket(s.Get(), FIONBIO, &nonBlocking);
        if (::connect(s.Get(), a->ai_addr, int(a->ai_addrlen)) != 0) {
            error = ::WSAGetLastError();
            if (error == WSAEWOULDBLOCK) {
                fd_set writable, failed;
                FD_ZERO(&writable);
                FD_ZERO(&failed);
                FD_SET(s.Get(), &writable);
                FD_SET(s.Get(), &failed);
                timeval tv{m_TimeoutMs / 1000, (m_TimeoutMs % 1000) * 1000};
                const int r = ::select(0, nullptr, &writable, &failed, &tv);
                error = r == 0 ? WSAETIMEDOUT : r < 0 ? ::WSAGetLastError() : 0;
                if (r > 0 && FD_ISSET(s.Get(), &failed)) {
                    int soError = 0, len = sizeof soError;
                    ::getsockopt(s.Get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError),
                                 &len);
                    error = soError ? soError : WSAECONNREFUSED;
                }
            }
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
        nonBlocking = 0;
        ::ioctlsocket(s.Get(), FIONBIO, &nonBlocking);
        stream = std::make_unique<CWinsockStream>(*this, std::move(s));
        break;
    }
    ::freeaddrinfo(found);
    return error;
}

} // namespace vlm::mail
