// TCP streams over POSIX sockets, so that the mail dialogues run natively
// against real servers on 127.0.0.1. Errors are mapped to the socket error
// numbers the mail controls report.
#pragma once
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "mail/core/MailStream.h"

namespace vlm::mail::test {

inline int MailErrorOf(int e) {
    switch (e) {
    case ECONNREFUSED:
        return kMailConnectionRefused;
    case ETIMEDOUT:
        return kMailTimedOut;
    case EHOSTUNREACH:
    case ENETUNREACH:
        return kMailNoRoute;
    default:
        return kMailConnectionReset;
    }
}

class CPosixStream : public IMailStream {
public:
    CPosixStream(int fd, int timeoutMs) : m_Fd(fd), m_TimeoutMs(timeoutMs) {}
    ~CPosixStream() override { ::close(m_Fd); }
    int Read(char* buffer, int size) override {
        pollfd p{m_Fd, POLLIN, 0};
        const int r = ::poll(&p, 1, m_TimeoutMs);
        if (r == 0)
            return -kMailTimedOut;
        if (r < 0)
            return -MailErrorOf(errno);
        const ssize_t n = ::recv(m_Fd, buffer, size_t(size), 0);
        return n >= 0 ? int(n) : -MailErrorOf(errno);
    }
    int Write(const char* data, int size) override {
        for (int done = 0; done < size;) {
            const ssize_t n = ::send(m_Fd, data + done, size_t(size - done), MSG_NOSIGNAL);
            if (n < 0)
                return -MailErrorOf(errno);
            done += int(n);
        }
        return size;
    }

private:
    int m_Fd, m_TimeoutMs;
};

class CPosixConnector : public IMailConnector {
public:
    explicit CPosixConnector(int timeoutMs = 60000) : m_TimeoutMs(timeoutMs) {}
    int Connect(const std::string& host, uint16_t port,
                std::unique_ptr<IMailStream>& stream) override {
        addrinfo hints{}, *res = nullptr;
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        const int g = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &res);
        if (g != 0)
            return g == EAI_AGAIN ? kMailTryAgain : kMailHostNotFound;
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        const int c = ::connect(fd, res->ai_addr, res->ai_addrlen);
        const int e = errno;
        ::freeaddrinfo(res);
        if (c != 0) {
            ::close(fd);
            return MailErrorOf(e);
        }
        stream = std::make_unique<CPosixStream>(fd, m_TimeoutMs);
        return 0;
    }

private:
    int m_TimeoutMs;
};

} // namespace vlm::mail::test
