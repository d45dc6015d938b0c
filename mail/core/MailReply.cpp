#include "mail/core/MailReply.h"

namespace vlm::mail {

int ParsePort(const std::string& text, uint16_t defaultPort, uint16_t& port) {
    if (text.empty()) {
        port = defaultPort;
        return kMailOk;
    }
    unsigned long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9' || value > 65535)
            return kMailNoData;
        value = value * 10 + unsigned(c - '0');
    }
    if (value == 0 || value > 65535)
        return kMailNoData;
    port = uint16_t(value);
    return kMailOk;
}

void CReplyParser::Reset() {
    m_Line.clear();
    m_Lines.clear();
    m_Code = 0;
    m_Broken = false;
}

std::string CReplyParser::Text() const {
    std::string out;
    for (const auto& l : m_Lines)
        out += (out.empty() ? "" : " ") + l;
    return out;
}

CReplyParser::Status CReplyParser::Feed(const char* data, size_t size, size_t& used) {
    used = 0;
    if (m_Broken)
        return Status::Garbage;
    while (used < size) {
        const char c = data[used++];
        if (c != '\n') {
            // The CR LF is part of the limit.
            if (m_Line.size() + 1 >= kMaxLine)
                return m_Broken = true, Status::TooLong;
            m_Line += c;
            continue;
        }
        if (!m_Line.empty() && m_Line.back() == '\r')
            m_Line.pop_back();
        const Status s = Line(m_Line);
        m_Line.clear();
        if (s != Status::NeedMore) {
            m_Broken = s != Status::Done;
            return s;
        }
    }
    return Status::NeedMore;
}

CReplyParser::Status CReplyParser::Line(const std::string& line) {
    if (m_Kind == Kind::Pop3) {
        if (line.compare(0, 3, "+OK") == 0 && (line.size() == 3 || line[3] == ' ')) {
            m_Code = 1;
            m_Lines.push_back(line.size() > 4 ? line.substr(4) : "");
            return Status::Done;
        }
        if (line.compare(0, 4, "-ERR") == 0 && (line.size() == 4 || line[4] == ' ')) {
            m_Code = 0;
            m_Lines.push_back(line.size() > 5 ? line.substr(5) : "");
            return Status::Done;
        }
        return Status::Garbage;
    }
    if (line.size() < 3 || line[0] < '2' || line[0] > '5' || line[1] < '0' || line[1] > '5' ||
        line[2] < '0' || line[2] > '9')
        return Status::Garbage;
    if (line.size() > 3 && line[3] != ' ' && line[3] != '-')
        return Status::Garbage;
    const int code = (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
    if (!m_Lines.empty() && code != m_Code)
        return Status::Garbage; // every line of a reply carries the same code
    m_Code = code;
    if (m_Lines.size() >= kMaxLines)
        return Status::TooLong;
    m_Lines.push_back(line.size() > 4 ? line.substr(4) : "");
    return line.size() > 3 && line[3] == '-' ? Status::NeedMore : Status::Done;
}

MailOutcome CReplyReader::Read() {
    m_Parser.Reset();
    for (;;) {
        if (!m_Pending.empty()) {
            size_t used = 0;
            const auto status = m_Parser.Feed(m_Pending.data(), m_Pending.size(), used);
            m_Pending.erase(0, used);
            switch (status) {
            case CReplyParser::Status::Done:
                return {};
            case CReplyParser::Status::TooLong:
                return {kMailRefused, "The mail server's reply is too long."};
            case CReplyParser::Status::Garbage:
                return {kMailRefused, "The mail server's reply is not understood."};
            case CReplyParser::Status::NeedMore:
                break;
            }
        }
        const MailOutcome o = Receive();
        if (!o.Ok())
            return o;
    }
}

MailOutcome CReplyReader::Receive() {
    char buffer[1024];
    const int n = m_Stream.Read(buffer, sizeof buffer);
    if (n == 0)
        return {kMailConnectionReset, "The mail server closed the connection."};
    if (n < 0)
        return {-n, n == -kMailTimedOut ? "The mail server did not answer in time." : ""};
    m_Pending.append(buffer, size_t(n));
    return {};
}

MailOutcome CReplyReader::ReadLine(std::string& line) {
    size_t eol;
    while ((eol = m_Pending.find('\n')) == std::string::npos) {
        if (m_Pending.size() >= CReplyParser::kMaxLine)
            return {kMailRefused, "The mail server's reply is too long."};
        const MailOutcome o = Receive();
        if (!o.Ok())
            return o;
    }
    if (eol >= CReplyParser::kMaxLine)
        return {kMailRefused, "The mail server's reply is too long."};
    line.assign(m_Pending, 0, eol > 0 && m_Pending[eol - 1] == '\r' ? eol - 1 : eol);
    m_Pending.erase(0, eol + 1);
    return {};
}

} // namespace vlm::mail
