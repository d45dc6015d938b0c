// The byte stream the SMTP and POP3 dialogues run over: a Winsock connection
// in the program, scripted servers and loopback sockets in the tests.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

namespace vlm::mail {

// Outcome codes: 0 success, -1 the server refused (text says why), -2 a part
// its owner could not give (text says which), otherwise the socket error
// number.
enum MailError : int {
    kMailOk = 0,
    kMailRefused = -1,
    kMailPartFailed = -2,
    kMailConnectionReset = 10054,
    kMailTimedOut = 10060,
    kMailConnectionRefused = 10061,
    kMailNoRoute = 10065,
    kMailHostNotFound = 11001,
    kMailTryAgain = 11002,
    kMailNoData = 11004,
};

struct MailOutcome {
    int code = kMailOk;
    std::string text;
    bool Ok() const { return code == kMailOk; }
};

class IMailStream {
public:
    virtual ~IMailStream() = default;
    // Up to size bytes: the count read, 0 when the peer closed, or minus a
    // socket error number (-10060 when nothing came within the time-out).
    virtual int Read(char* buffer, int size) = 0;
    // All of data: size, or minus a socket error number.
    virtual int Write(const char* data, int size) = 0;
    // Whether StartTls can work on this stream.
    virtual bool CanTls() const { return false; }
    // Turns the connection into TLS for host (the server certificate is
    // checked); from then on Read and Write carry plain text through it.
    virtual MailOutcome StartTls(const std::string& host) {
        return {kMailRefused, "TLS is not built in this version."};
    }
};

class IMailConnector {
public:
    virtual ~IMailConnector() = default;
    // Opens a connection; 0 or a socket error number.
    virtual int Connect(const std::string& host, uint16_t port,
                        std::unique_ptr<IMailStream>& stream) = 0;
};

// A port text: empty gives the default, digits 1-65535 give their number;
// anything else is the error of an unknown service (11004).
int ParsePort(const std::string& text, uint16_t defaultPort, uint16_t& port);

} // namespace vlm::mail
