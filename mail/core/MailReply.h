// Replies of SMTP (RFC 5321: "250-..." lines ending in "250 ...") and POP3
// ("+OK ..." / "-ERR ..."), read from a stream with a 512-byte line limit.
#pragma once
#include <string>
#include <vector>

#include "mail/core/MailStream.h"

namespace vlm::mail {

class CReplyParser {
public:
    enum class Kind { Smtp, Pop3 };
    enum class Status { NeedMore, Done, TooLong, Garbage };
    static constexpr size_t kMaxLine = 512;  // including CR LF
    static constexpr size_t kMaxLines = 200; // of one multi-line reply

    explicit CReplyParser(Kind kind) : m_Kind(kind) {}
    // Takes bytes until a reply is complete or broken; used tells how many
    // were taken (the rest belongs to the next reply).
    Status Feed(const char* data, size_t size, size_t& used);
    void Reset();

    // SMTP: the three-digit code; POP3: 1 for +OK, 0 for -ERR.
    int Code() const { return m_Code; }
    // The text of each line after the code and its separator.
    const std::vector<std::string>& Lines() const { return m_Lines; }
    // The lines joined by blanks.
    std::string Text() const;

private:
    Status Line(const std::string& line);
    Kind m_Kind;
    std::string m_Line;
    std::vector<std::string> m_Lines;
    int m_Code = 0;
    bool m_Broken = false;
};

// Reads one reply from a stream, keeping bytes that follow it for the next.
class CReplyReader {
public:
    CReplyReader(IMailStream& stream, CReplyParser::Kind kind) : m_Stream(stream), m_Parser(kind) {}
    // Ok with the parser filled, a socket error, or -1 for a broken reply.
    MailOutcome Read();
    const CReplyParser& Reply() const { return m_Parser; }
    // Drops bytes received but not yet read (at the switch to TLS).
    void Discard() { m_Pending.clear(); }
    // One more line of a multi-line answer (POP3 CAPA), without its CR LF;
    // a line over the limit is a broken reply.
    MailOutcome ReadLine(std::string& line);

private:
    MailOutcome Receive(); // more bytes into m_Pending
    IMailStream& m_Stream;
    CReplyParser m_Parser;
    std::string m_Pending;
};

} // namespace vlm::mail
