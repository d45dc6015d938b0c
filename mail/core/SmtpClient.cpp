#include "mail/core/SmtpClient.h"

#include <algorithm>
#include <cstdio>

#include "mail/core/Base64.h"
#include "mail/core/MailReply.h"
#include "mail/core/Md5.h"
#include "mail/core/MimeCoder.h"

namespace vlm::mail {
namespace {

const uint16_t kSmtpsPort = 465, kPop3sPort = 995;
const char kNoFrom[] = "NO FROM ADDRESS";
const char kNoRecipient[] = "NO RECIPIENT ADDRESS";

// Writes the DATA section: lines starting with "." get another "." and every
// line break goes out as CR LF; output is sent in blocks, so an attachment is
// never held whole.
class CDataWriter {
public:
    explicit CDataWriter(IMailStream& stream) : m_Stream(stream) {}
    bool Put(const std::string& s) {
        const char* p = s.data();
        const char* const end = p + s.size();
        while (p < end) {
            if (m_PendingCr) {
                EndLine();
                if (*p == '\n') { // CR LF
                    ++p;
                    continue;
                }
            }
            if (*p == '\r') {
                m_PendingCr = true;
                ++p;
                continue;
            }
            if (*p == '\n') { // a bare LF
                EndLine();
                ++p;
                continue;
            }
            if (m_LineStart && *p == '.')
                Raw(".", 1);
            m_LineStart = false;
            const char* run = p;
            while (p < end && *p != '\r' && *p != '\n')
                ++p;
            Raw(run, size_t(p - run));
        }
        return m_Error == 0;
    }
    // Ends the last line and writes the final ".".
    bool Finish() {
        if (m_PendingCr || !m_LineStart)
            EndLine();
        Raw(".\r\n", 3);
        return Flush();
    }
    int Error() const { return m_Error; }

private:
    void EndLine() {
        Raw("\r\n", 2);
        m_LineStart = true;
        m_PendingCr = false;
    }
    void Raw(const char* p, size_t n) {
        m_Buffer.append(p, n);
        if (m_Buffer.size() >= 16384)
            Flush();
    }
    bool Flush() {
        if (m_Error == 0 && !m_Buffer.empty()) {
            const int w = m_Stream.Write(m_Buffer.data(), int(m_Buffer.size()));
            if (w < 0)
                m_Error = -w;
        }
        m_Buffer.clear();
        return m_Error == 0;
    }
    IMailStream& m_Stream;
    std::string m_Buffer;
    bool m_LineStart = true, m_PendingCr = false;
    int m_Error = 0;
};

class CSmtpDialogue {
public:
    CSmtpDialogue(IMailStream& stream, ISmtpEvents& events, const std::string& host, bool tls)
        : m_Stream(stream), m_Reader(stream, CReplyParser::Kind::Smtp), m_Events(events),
          m_Host(host), m_bTls(tls) {}

    // Sends a command line and reads the reply.
    MailOutcome Command(const std::string& line) {
        const std::string out = line + "\r\n";
        const int w = m_Stream.Write(out.data(), int(out.size()));
        if (w < 0)
            return {-w, ""};
        return m_Reader.Read();
    }
    MailOutcome Reply() { return m_Reader.Read(); }
    int Code() const { return m_Reader.Reply().Code(); }
    std::string Text() const { return m_Reader.Reply().Text(); }
    const std::vector<std::string>& Lines() const { return m_Reader.Reply().Lines(); }
    MailOutcome Refused() const { return {kMailRefused, std::to_string(Code()) + " " + Text()}; }

    MailOutcome Run(const SmtpSettings& s, const std::string& headerBlock,
                    const std::string& sender, const std::vector<std::string>& recipients,
                    std::time_t now);

private:
    MailOutcome Hello(const SmtpSettings& s);
    MailOutcome Authenticate(const SmtpSettings& s);
    MailOutcome Message(const SmtpSettings& s, const std::string& headerBlock, std::time_t now);
    bool Part(CDataWriter& w, int16_t part, const MailPartInfo& info, bool useBodyRequest);

    bool Offers(const std::string& extension) const;

    IMailStream& m_Stream;
    CReplyReader m_Reader;
    ISmtpEvents& m_Events;
    std::string m_Host;
    bool m_bTls;
};

#define VLM_TRY(expr)                                                                              \
    do {                                                                                           \
        MailOutcome o_ = (expr);                                                                   \
        if (!o_.Ok())                                                                              \
            return o_;                                                                             \
    } while (0)

// Whether a capability line names word (upper case), in any case, alone or
// followed by its parameters.
bool NamesCapability(const std::string& line, const std::string& word) {
    return line.size() >= word.size() &&
           std::equal(word.begin(), word.end(), line.begin(),
                      [](char a, char b) { return a == (b >= 'a' && b <= 'z' ? b - 32 : b); }) &&
           (line.size() == word.size() || line[word.size()] == ' ');
}

bool CSmtpDialogue::Offers(const std::string& extension) const {
    // The EHLO reply: the greeting line, then one extension a line.
    for (size_t i = 1; i < Lines().size(); ++i)
        if (NamesCapability(Lines()[i], extension))
            return true;
    return false;
}

MailOutcome CSmtpDialogue::Hello(const SmtpSettings& s) {
    VLM_TRY(Command("EHLO " + s.heloName));
    if (Code() / 100 == 2)
        return {};
    // A server without extensions answers EHLO with an error: try HELO.
    if (Code() / 100 != 5)
        return Refused();
    VLM_TRY(Command("HELO " + s.heloName));
    return Code() / 100 == 2 ? MailOutcome{} : Refused();
}

MailOutcome CSmtpDialogue::Authenticate(const SmtpSettings& s) {
    switch (s.authMode) {
    case kAuthLogin:
        VLM_TRY(Command("AUTH LOGIN"));
        if (Code() != 334)
            return Refused();
        VLM_TRY(Command(Base64Encode(s.userName)));
        if (Code() != 334)
            return Refused();
        VLM_TRY(Command(Base64Encode(s.password)));
        break;
    case kAuthPlain:
        VLM_TRY(Command("AUTH PLAIN " + Base64Encode(std::string(1, '\0') + s.userName +
                                                     std::string(1, '\0') + s.password)));
        break;
    case kAuthCramMd5: {
        VLM_TRY(Command("AUTH CRAM-MD5"));
        std::string challenge;
        if (Code() != 334)
            return Refused();
        if (!Base64Decode(Lines().front(), challenge)) {
            Command("*"); // cancels the exchange (RFC 4954)
            return {kMailRefused, "The mail server's challenge is not understood."};
        }
        VLM_TRY(Command(Base64Encode(CramMd5Answer(s.userName, s.password, challenge))));
        break;
    }
    default:
        return {};
    }
    return Code() == 235 ? MailOutcome{} : Refused();
}

bool CSmtpDialogue::Part(CDataWriter& w, int16_t part, const MailPartInfo& info,
                         bool useBodyRequest) {
    const bool base64 = info.encoding == "base64";
    CBase64LineWriter b64;
    std::string chunk, encoded;
    for (;;) {
        chunk.clear();
        if (useBodyRequest) {
            int16_t p = part;
            m_Events.OnBodyRequest(p, chunk);
        } else {
            m_Events.OnPartData(1, part, chunk);
        }
        if (!m_Events.PartFailure().Ok())
            return false;
        if (chunk.empty())
            break;
        if (!base64) {
            if (!w.Put(chunk))
                return false;
            continue;
        }
        encoded.clear();
        b64.Put(chunk.data(), chunk.size(), encoded);
        if (!w.Put(encoded))
            return false;
    }
    if (base64) {
        encoded.clear();
        b64.Finish(encoded);
        return w.Put(encoded);
    }
    return true; // the line break before a boundary belongs to the boundary
}

std::string TextPartHeaders(const MailPartInfo& info, const std::string& charset) {
    const std::string& cs = info.charset.empty() ? charset : info.charset;
    std::string h = "Content-Type: " + (info.contentType.empty() ? "text/plain" : info.contentType);
    if (!cs.empty())
        h += "; charset=\"" + cs + "\"";
    h += "\r\n";
    if (!info.headerLine.empty())
        h += info.headerLine + "\r\n";
    else if (!info.encoding.empty())
        h += "Content-Transfer-Encoding: " + info.encoding + "\r\n";
    return h;
}

std::string AttachmentHeaders(const MailPartInfo& info) {
    std::string h = "Content-Type: " + info.contentType;
    if (!info.fileName.empty())
        h += ";\r\n name=\"" + info.fileName + "\"";
    h += "\r\nContent-Transfer-Encoding: " + (info.encoding.empty() ? "base64" : info.encoding) +
         "\r\nContent-Disposition: attachment";
    if (!info.fileName.empty())
        h += ";\r\n filename=\"" + info.fileName + "\"";
    return h + "\r\n";
}

MailOutcome CSmtpDialogue::Message(const SmtpSettings& s, const std::string& headerBlock,
                                   std::time_t now) {
    CDataWriter w(m_Stream);
    std::string head = headerBlock;
    while (head.size() >= 2 && head.compare(head.size() - 2, 2, "\r\n") == 0)
        head.erase(head.size() - 2);
    head += "\r\nDate: " + MailDate(now) + "\r\nMIME-Version: 1.0\r\n";
    // Without the final "." the server keeps nothing of what was written.
    auto failed = [&] {
        const MailOutcome part = m_Events.PartFailure();
        return part.Ok() ? MailOutcome{w.Error(), ""} : part;
    };

    if (s.multipart.empty()) {
        MailPartInfo info;
        m_Events.OnPartInfo(1, 1, info);
        if (!m_Events.PartFailure().Ok() ||
            !w.Put(head + TextPartHeaders(info, s.charset) + "\r\n") || !Part(w, 1, info, true))
            return failed();
    } else {
        // Base64 and quoted-printable text never hold "=_".
        char boundary[64];
        std::snprintf(boundary, sizeof boundary, "----=_VX410_%08lx_%04x", (unsigned long)now,
                      unsigned(reinterpret_cast<uintptr_t>(this) & 0xFFFF));
        if (!w.Put(head + "Content-Type: multipart/" + s.multipart + ";\r\n boundary=\"" +
                   boundary + "\"\r\n\r\nThis is a multi-part message in MIME format.\r\n"))
            return failed();
        for (int16_t part = 1; part < 32767; ++part) {
            MailPartInfo info;
            m_Events.OnPartInfo(1, part, info);
            if (!m_Events.PartFailure().Ok())
                return failed();
            if (info.contentType.empty())
                break;
            const bool text = info.contentType.compare(0, 5, "text/") == 0;
            if (!w.Put(std::string("\r\n--") + boundary + "\r\n" +
                       (text ? TextPartHeaders(info, s.charset) : AttachmentHeaders(info)) +
                       "\r\n") ||
                !Part(w, part, info, false))
                return failed();
        }
        if (!w.Put(std::string("\r\n--") + boundary + "--\r\n"))
            return failed();
    }
    if (!w.Finish())
        return failed();
    return {};
}

MailOutcome CSmtpDialogue::Run(const SmtpSettings& s, const std::string& headerBlock,
                               const std::string& sender,
                               const std::vector<std::string>& recipients, std::time_t now) {
    m_Events.OnStatus("Connected");
    VLM_TRY(Reply());
    if (Code() / 100 != 2)
        return Refused();
    VLM_TRY(Hello(s));
    // STARTTLS where the server offers it and this build can; a server that
    // offers none is talked to in plain text as before.
    if (!m_bTls && m_Stream.CanTls() && Offers("STARTTLS")) {
        VLM_TRY(Command("STARTTLS"));
        if (Code() != 220)
            return Refused();
        VLM_TRY(m_Stream.StartTls(m_Host));
        m_bTls = true;
        m_Reader.Discard(); // nothing the server sent before TLS counts
        VLM_TRY(Hello(s));
    }
    if (s.requireTls && !m_bTls) {
        Command("QUIT");
        return {kMailRefused, kMailNoTls};
    }
    VLM_TRY(Authenticate(s));

    VLM_TRY(Command("MAIL FROM:<" + AddressOf(sender) + ">"));
    if (Code() == 501 || Code() == 550 || Code() == 553)
        return {kMailRefused, kNoFrom};
    if (Code() / 100 != 2)
        return Refused();
    for (size_t i = 1; i < recipients.size(); ++i) {
        if (recipients[i].empty())
            continue;
        VLM_TRY(Command("RCPT TO:<" + AddressOf(recipients[i]) + ">"));
        if (Code() == 501 || Code() == 550 || Code() == 551 || Code() == 553)
            return {kMailRefused, kNoRecipient};
        if (Code() / 100 != 2)
            return Refused();
    }
    VLM_TRY(Command("DATA"));
    if (Code() != 354)
        return Refused();
    m_Events.OnStatus("Sending");
    VLM_TRY(Message(s, headerBlock, now));
    VLM_TRY(Reply());
    if (Code() / 100 != 2)
        return Refused();
    Command("QUIT"); // the message is accepted; the goodbye does not matter
    return {};
}

} // namespace

std::string CramMd5Answer(const std::string& user, const std::string& password,
                          const std::string& challenge) {
    return user + " " + ToHex(HmacMd5(password, challenge));
}

std::string MailDate(std::time_t t) {
    static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm tm{};
#ifdef _WIN32
    gmtime_s(&tm, &t);
#else
    gmtime_r(&t, &tm);
#endif
    char out[64];
    std::snprintf(out, sizeof out, "%s, %02d %s %04d %02d:%02d:%02d +0000", days[tm.tm_wday],
                  tm.tm_mday, months[tm.tm_mon], tm.tm_year + 1900, tm.tm_hour, tm.tm_min,
                  tm.tm_sec);
    return out;
}

MailOutcome SmtpSend(IMailConnector& connector, const SmtpSettings& settings,
                     const std::string& host, const std::string& headerBlock,
                     const std::string& sender, const std::vector<std::string>& recipients,
                     ISmtpEvents& events, std::time_t now) {
    // An address with a line break would smuggle commands in (a folded
    // display name around it is fine).
    const std::string from = AddressOf(sender);
    if (from.empty() || HasLineBreak(from))
        return {kMailRefused, kNoFrom};
    bool anyRecipient = false, lineBreak = false;
    for (size_t i = 1; i < recipients.size(); ++i) {
        const std::string to = AddressOf(recipients[i]);
        anyRecipient |= !to.empty();
        lineBreak |= HasLineBreak(to);
    }
    if (!anyRecipient || lineBreak)
        return {kMailRefused, kNoRecipient};
    uint16_t port = 0;
    if (int e = ParsePort(settings.port, 25, port))
        return {e, ""};
    std::unique_ptr<IMailStream> stream;
    events.OnStatus("Connecting");
    if (int e = connector.Connect(host, port, stream))
        return {e, ""};
    // Port 465 speaks TLS from the first byte.
    if (port == kSmtpsPort)
        VLM_TRY(stream->StartTls(host));
    return CSmtpDialogue(*stream, events, host, port == kSmtpsPort)
        .Run(settings, headerBlock, sender, recipients, now);
}

MailOutcome Pop3Login(IMailConnector& connector, const std::string& portText,
                      const std::string& host, const std::string& user, const std::string& password,
                      bool requireTls) {
    uint16_t port = 0;
    if (int e = ParsePort(portText, 110, port))
        return {e, ""};
    std::unique_ptr<IMailStream> stream;
    if (int e = connector.Connect(host, port, stream))
        return {e, ""};
    bool tls = port == kPop3sPort;
    if (tls) // TLS from the first byte
        VLM_TRY(stream->StartTls(host));
    CReplyReader reader(*stream, CReplyParser::Kind::Pop3);
    // A command and its status line: ok, refused with the server's text, or an error.
    auto status = [&](const std::string& line) -> MailOutcome {
        if (!line.empty()) {
            const std::string out = line + "\r\n";
            const int w = stream->Write(out.data(), int(out.size()));
            if (w < 0)
                return {-w, ""};
        }
        MailOutcome o = reader.Read();
        if (o.Ok() && reader.Reply().Code() != 1)
            return {kMailRefused, reader.Reply().Text()};
        return o;
    };
    VLM_TRY(status(""));
    if (!tls && (stream->CanTls() || requireTls)) {
        // STLS only where CAPA lists it; a server without CAPA offers nothing.
        bool offered = false;
        MailOutcome o = status("CAPA");
        if (o.code != kMailRefused) {
            VLM_TRY(o);
            std::string line;
            for (size_t n = 0;; ++n) {
                VLM_TRY(reader.ReadLine(line));
                if (line == ".")
                    break;
                if (n == CReplyParser::kMaxLines)
                    return {kMailRefused, "The mail server's reply is too long."};
                offered |= NamesCapability(line, "STLS");
            }
        }
        if (offered && stream->CanTls()) {
            VLM_TRY(status("STLS"));
            VLM_TRY(stream->StartTls(host));
            reader.Discard(); // nothing the server sent before TLS counts
            tls = true;
        }
    }
    if (requireTls && !tls) {
        status("QUIT");
        return {kMailRefused, kMailNoTls};
    }
    VLM_TRY(status("USER " + user));
    VLM_TRY(status("PASS " + password));
    status("QUIT"); // logged in: the server has recorded the address
    return {};
}

} // namespace vlm::mail
