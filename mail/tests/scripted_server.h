// An in-memory mail server that follows a script: each step waits for a
// client line starting with its text (or, with kData, for the end of the
// message) and answers with its reply, closes, goes silent or fails writes.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "mail/core/MailStream.h"

namespace vlm::mail::test {

constexpr const char* kData = "<data>";
enum class Act { Reply, Close, Silent, ResetOnWrite };

struct Step {
    std::string expect; // "" for the greeting, kData for the message
    std::string reply;
    Act act = Act::Reply;
};

class CScriptedServer : public IMailConnector, public IMailStream {
public:
    explicit CScriptedServer(std::vector<Step> steps, int connectError = 0)
        : m_Steps(std::move(steps)), m_ConnectError(connectError) {}

    int Connect(const std::string& host, uint16_t port,
                std::unique_ptr<IMailStream>& stream) override {
        m_Host = host;
        m_Port = port;
        ++m_Connects;
        if (m_ConnectError)
            return m_ConnectError;
        // The connector hands out a view of this object.
        struct CView : IMailStream {
            CScriptedServer& s;
            explicit CView(CScriptedServer& s) : s(s) {}
            int Read(char* b, int n) override { return s.Read(b, n); }
            int Write(const char* d, int n) override { return s.Write(d, n); }
            bool CanTls() const override { return s.m_bTls; }
            MailOutcome StartTls(const std::string& host) override {
                if (!s.m_bTls)
                    return IMailStream::StartTls(host);
                s.m_Transcript += "<tls " + host + ">";
                return s.m_TlsOutcome;
            }
        };
        stream = std::make_unique<CView>(*this);
        return 0;
    }

    int Write(const char* data, int size) override {
        if (m_Next < m_Steps.size() && m_Steps[m_Next].act == Act::ResetOnWrite &&
            m_Unmatched.size() + size_t(size) > 64)
            return -kMailConnectionReset;
        m_Transcript.append(data, size_t(size));
        m_Unmatched.append(data, size_t(size));
        return size;
    }

    int Read(char* buffer, int size) override {
        while (m_Out.empty()) {
            if (m_Next >= m_Steps.size())
                return 0;
            const Step& st = m_Steps[m_Next];
            if (st.act == Act::Close) {
                ++m_Next;
                return 0;
            }
            if (st.act == Act::Silent)
                return -kMailTimedOut;
            if (st.act == Act::ResetOnWrite)
                return -kMailConnectionReset;
            if (!Match(st.expect))
                return -kMailTimedOut; // the client waits for an answer it has not earned
            m_Out = st.reply;
            ++m_Next;
        }
        const size_t n = std::min(m_Out.size(), size_t(size));
        m_Out.copy(buffer, n);
        m_Out.erase(0, n);
        return int(n);
    }

    const std::string& Transcript() const { return m_Transcript; }
    std::string m_Host;
    uint16_t m_Port = 0;
    int m_Connects = 0;
    bool Finished() const { return m_Next == m_Steps.size(); }
    // A stream that can switch to TLS (only marked in the transcript).
    bool m_bTls = false;
    MailOutcome m_TlsOutcome;

private:
    bool Match(const std::string& expect) {
        if (expect.empty())
            return true;
        if (expect == kData) {
            const size_t end = m_Unmatched.find("\r\n.\r\n");
            if (end == std::string::npos)
                return false;
            m_Unmatched.erase(0, end + 5);
            return true;
        }
        const size_t eol = m_Unmatched.find("\r\n");
        if (eol == std::string::npos || m_Unmatched.compare(0, expect.size(), expect) != 0)
            return false;
        m_Unmatched.erase(0, eol + 2);
        return true;
    }
    std::vector<Step> m_Steps;
    size_t m_Next = 0;
    int m_ConnectError;
    std::string m_Out, m_Transcript, m_Unmatched;
};

} // namespace vlm::mail::test
