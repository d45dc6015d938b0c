#include <gtest/gtest.h>

#include "mail/core/Base64.h"
#include "mail/core/MailReply.h"
#include "mail/core/SmtpClient.h"
#include "mail/tests/scripted_server.h"

using namespace vlm::mail;
using namespace vlm::mail::test;

namespace {
// The job dialog's side: hands out the body once and attachments 570 bytes
// at a time, and records the order of the requests.
struct CParts : ISmtpEvents {
    std::string body;
    std::vector<std::pair<std::string, std::string>> files; // name, data
    std::vector<std::string> log;
    size_t next = 0, offset = 0;

    void OnStatus(const std::string&) override {}
    void OnBodyRequest(int16_t&, std::string& text) override {
        log.push_back("body");
        text.swap(body);
        body.clear();
    }
    void OnPartInfo(int16_t, int16_t part, MailPartInfo& info) override {
        log.push_back("info " + std::to_string(part));
        if (part == 1) {
            info = {"Binary", "text/plain", "", "us_ascii", "", "Content-Transfer-Encoding: 7bit"};
        } else if (next < files.size()) {
            info = {"Binary", "application/octet-stream", files[next].first, "", "base64", ""};
            ++next;
            offset = 0;
        }
    }
    void OnPartData(int16_t, int16_t part, std::string& data) override {
        log.push_back("data " + std::to_string(part));
        if (part == 1) {
            data.swap(body);
            body.clear();
            return;
        }
        const std::string& f = files[next - 1].second;
        data = f.substr(offset, 570);
        offset += data.size();
    }
};

const std::vector<std::string> kRecipients = {"", "Jiro <jiro@example.jp>", "hanako@example.jp"};
const std::string kHeader =
    "From: <taro@example.jp>\r\nTo: jiro@example.jp\r\nSubject: Scan\r\n\r\n";

std::vector<Step> Dialogue(std::vector<Step> middle) {
    std::vector<Step> s = {{"", "220 mail.example.jp ESMTP ready\r\n"},
                           {"EHLO", "250-mail.example.jp\r\n250-AUTH LOGIN PLAIN CRAM-MD5\r\n"
                                    "250 SIZE 10000000\r\n"}};
    s.insert(s.end(), middle.begin(), middle.end());
    return s;
}

std::vector<Step> Envelope() {
    return {{"MAIL FROM:<taro@example.jp>", "250 ok\r\n"},
            {"RCPT TO:<jiro@example.jp>", "250 ok\r\n"},
            {"RCPT TO:<hanako@example.jp>", "250 ok\r\n"},
            {"DATA", "354 go ahead\r\n"},
            {kData, "250 queued\r\n"},
            {"QUIT", "221 bye\r\n"}};
}

MailOutcome Send(CScriptedServer& server, CParts& parts, SmtpSettings s = {}) {
    return SmtpSend(server, s, "mail.example.jp", kHeader, "<taro@example.jp>", kRecipients, parts,
                    1700000000);
}

std::string DataOf(const std::string& transcript) {
    const size_t start = transcript.find("DATA\r\n") + 6;
    return transcript.substr(start, transcript.find("\r\n.\r\n", start) + 5 - start);
}
} // namespace

TEST(SmtpReply, MultiLineRepliesInAnyPiecesAndTheLineLimit) {
    CReplyParser p(CReplyParser::Kind::Smtp);
    const std::string reply = "250-first\r\n250-AUTH PLAIN\r\n250 last\r\nnext";
    size_t used = 0, total = 0;
    CReplyParser::Status st = CReplyParser::Status::NeedMore;
    for (size_t i = 0; i < reply.size() && st == CReplyParser::Status::NeedMore; ++i) {
        st = p.Feed(reply.data() + i, 1, used);
        total += used;
    }
    EXPECT_EQ(st, CReplyParser::Status::Done);
    EXPECT_EQ(total, reply.size() - 4) << "bytes after the reply are left";
    EXPECT_EQ(p.Code(), 250);
    EXPECT_EQ(p.Lines(), (std::vector<std::string>{"first", "AUTH PLAIN", "last"}));

    auto one = [](const std::string& text) {
        CReplyParser q(CReplyParser::Kind::Smtp);
        size_t u = 0;
        return q.Feed(text.data(), text.size(), u);
    };
    EXPECT_EQ(one("220\r\n"), CReplyParser::Status::Done);
    EXPECT_EQ(one("354 go\n"), CReplyParser::Status::Done) << "a bare LF ends a line too";
    EXPECT_EQ(one("250 " + std::string(506, 'x') + "\r\n"), CReplyParser::Status::Done);
    EXPECT_EQ(one("250 " + std::string(507, 'x') + "\r\n"), CReplyParser::Status::TooLong);
    EXPECT_EQ(one(std::string(100000, '2')), CReplyParser::Status::TooLong);
    EXPECT_EQ(one("HELLO there\r\n"), CReplyParser::Status::Garbage);
    EXPECT_EQ(one("250x\r\n"), CReplyParser::Status::Garbage);
    EXPECT_EQ(one("199 low\r\n"), CReplyParser::Status::Garbage);
    EXPECT_EQ(one("250-a\r\n550 b\r\n"), CReplyParser::Status::Garbage) << "codes differ";
    std::string endless;
    for (int i = 0; i < 300; ++i)
        endless += "250-more\r\n";
    EXPECT_EQ(one(endless), CReplyParser::Status::TooLong);
}

TEST(SmtpReply, Pop3Status) {
    CReplyParser p(CReplyParser::Kind::Pop3);
    size_t used;
    EXPECT_EQ(p.Feed("+OK ready\r\n", 11, used), CReplyParser::Status::Done);
    EXPECT_EQ(p.Code(), 1);
    EXPECT_EQ(p.Text(), "ready");
    p.Reset();
    EXPECT_EQ(p.Feed("-ERR bad password\r\n", 19, used), CReplyParser::Status::Done);
    EXPECT_EQ(p.Code(), 0);
    EXPECT_EQ(p.Text(), "bad password");
    p.Reset();
    EXPECT_EQ(p.Feed("+OKAY\r\n", 7, used), CReplyParser::Status::Garbage);
}

TEST(SmtpSend, MixedMessageWithAttachmentsStreamedAsBase64Lines) {
    CScriptedServer full([] {
        auto s = Dialogue({{"AUTH LOGIN", "334 VXNlcm5hbWU6\r\n"},
                           {Base64Encode(std::string("scan")), "334 UGFzc3dvcmQ6\r\n"},
                           {Base64Encode(std::string("s3cret")), "235 ok\r\n"}});
        for (auto& e : Envelope())
            s.push_back(e);
        return s;
    }());
    CParts parts;
    parts.body = "Hello\r\n.hidden line\r\n..two\r\nend";
    std::string big(1300, '\0');
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = char(i * 7 + 3);
    parts.files = {{"p1.pdf", big}, {"=?iso-8859-1?Q?B=FCro?=.pdf", "tiny"}};
    SmtpSettings s;
    s.authMode = kAuthLogin;
    s.userName = "scan";
    s.password = "s3cret";
    s.multipart = "mixed";
    s.port = "587";
    const MailOutcome o = Send(full, parts, s);
    ASSERT_EQ(o.code, 0) << o.text << "\n" << full.Transcript();
    EXPECT_TRUE(full.Finished());
    EXPECT_EQ(full.m_Port, 587);
    EXPECT_EQ(full.m_Host, "mail.example.jp");
    // 1300 bytes at 570 a request: three blocks and the empty one.
    EXPECT_EQ(parts.log, (std::vector<std::string>{"info 1", "data 1", "data 1", "info 2", "data 2",
                                                   "data 2", "data 2", "data 2", "info 3", "data 3",
                                                   "data 3", "info 4"}));
    const std::string data = DataOf(full.Transcript());
    EXPECT_NE(data.find("\r\n..hidden line\r\n...two\r\nend\r\n"), std::string::npos)
        << "lines starting with a dot are stuffed";
    EXPECT_NE(data.find("Content-Type: multipart/mixed;"), std::string::npos);
    EXPECT_NE(data.find("Date: Tue, 14 Nov 2023 22:13:20 +0000\r\n"), std::string::npos);
    EXPECT_NE(data.find("filename=\"=?iso-8859-1?Q?B=FCro?=.pdf\""), std::string::npos);
    // The first attachment: base64 lines of 76 decoding to the file.
    const size_t start = data.find("\r\n\r\n", data.find("filename=\"p1.pdf\"")) + 4;
    const size_t end = data.find("\r\n\r\n--", start);
    const std::string lines = data.substr(start, end - start);
    for (size_t p = 0, q; (q = lines.find("\r\n", p)) != std::string::npos; p = q + 2)
        EXPECT_LE(q - p, 76u);
    std::string decoded;
    ASSERT_TRUE(Base64Decode(lines, decoded));
    EXPECT_EQ(decoded, big);
}

TEST(SmtpSend, PlainMessageHeloFallbackAndTheTwoOtherLogIns) {
    {
        CScriptedServer server(
            {{"", "220 old server\r\n"},
             {"EHLO", "502 command not implemented\r\n"},
             {"HELO", "250 hi\r\n"},
             {"AUTH PLAIN " + Base64Encode(std::string("\0u\0p", 4)), "235 ok\r\n"},
             Envelope()[0],
             Envelope()[1],
             Envelope()[2],
             Envelope()[3],
             Envelope()[4],
             Envelope()[5]});
        CParts parts;
        parts.body = "line one\nline two";
        SmtpSettings s;
        s.authMode = kAuthPlain;
        s.userName = "u";
        s.password = "p";
        const MailOutcome o = Send(server, parts, s);
        ASSERT_EQ(o.code, 0) << o.text << server.Transcript();
        EXPECT_EQ(server.m_Port, 25);
        EXPECT_EQ(parts.log, (std::vector<std::string>{"info 1", "body", "body"}));
        const std::string data = DataOf(server.Transcript());
        EXPECT_NE(data.find("Content-Type: text/plain; charset=\"us_ascii\"\r\n"
                            "Content-Transfer-Encoding: 7bit\r\n\r\nline one\r\nline two\r\n.\r\n"),
                  std::string::npos)
            << data;
        EXPECT_EQ(data.find("multipart"), std::string::npos);
    }
    {
        const std::string challenge = "<1896.697170952@postoffice.reston.mci.net>";
        auto steps = Dialogue(
            {{"AUTH CRAM-MD5", "334 " + Base64Encode(challenge) + "\r\n"},
             {Base64Encode(std::string("tim b913a602c7eda7a495b4e6e7334d3890")), "235 ok\r\n"}});
        for (auto& e : Envelope())
            steps.push_back(e);
        CScriptedServer server(steps);
        CParts parts;
        SmtpSettings s;
        s.authMode = kAuthCramMd5;
        s.userName = "tim";
        s.password = "tanstaaftanstaaf";
        const MailOutcome o = Send(server, parts, s);
        EXPECT_EQ(o.code, 0) << o.text << server.Transcript();
    }
}

// Every step refused, with 4xx and 5xx: -1 and the text the job dialog maps.
TEST(SmtpSend, RefusalsAtEachStep) {
    struct Case {
        std::vector<Step> steps;
        std::string text;
    };
    const Step ok220 = {"", "220 ready\r\n"}, ehlo = {"EHLO", "250 hi\r\n"};
    const Step mail = {"MAIL", "250 ok\r\n"}, rcpt1 = {"RCPT", "250 ok\r\n"};
    const Step rcpt2 = {"RCPT", "250 ok\r\n"}, data = {"DATA", "354 go\r\n"};
    const std::vector<Case> cases = {
        {{{"", "554 no service\r\n"}}, "554 no service"},
        {{{"", "421 busy\r\n"}}, "421 busy"},
        {{ok220, {"EHLO", "421 closing\r\n"}}, "421 closing"},
        {{ok220, {"EHLO", "500 what\r\n"}, {"HELO", "501 bad name\r\n"}}, "501 bad name"},
        {{ok220, ehlo, {"AUTH", "535 5.7.8 bad credentials\r\n"}}, "535 5.7.8 bad credentials"},
        {{ok220, ehlo, {"AUTH", "454 try later\r\n"}}, "454 try later"},
        {{ok220, ehlo, {"AUTH", "235 ok\r\n"}, {"MAIL", "553 sender refused\r\n"}},
         "NO FROM ADDRESS"},
        {{ok220, ehlo, {"AUTH", "235 ok\r\n"}, {"MAIL", "530 auth first\r\n"}}, "530 auth first"},
        {{ok220, ehlo, {"AUTH", "235 ok\r\n"}, {"MAIL", "451 later\r\n"}}, "451 later"},
        {{ok220, ehlo, {"AUTH", "235 ok\r\n"}, mail, {"RCPT", "550 no such user\r\n"}},
         "NO RECIPIENT ADDRESS"},
        {{ok220, ehlo, {"AUTH", "235 ok\r\n"}, mail, rcpt1, {"RCPT", "452 too many\r\n"}},
         "452 too many"},
        {{ok220, ehlo, {"AUTH", "235 ok\r\n"}, mail, rcpt1, rcpt2, {"DATA", "554 no data\r\n"}},
         "554 no data"},
        {{ok220,
          ehlo,
          {"AUTH", "235 ok\r\n"},
          mail,
          rcpt1,
          rcpt2,
          data,
          {kData, "552 too big\r\n"}},
         "552 too big"},
        {{ok220, ehlo, {"AUTH", "235 ok\r\n"}, mail, rcpt1, rcpt2, data, {kData, "451 local\r\n"}},
         "451 local"},
    };
    for (const auto& c : cases) {
        CScriptedServer server(c.steps);
        CParts parts;
        SmtpSettings s;
        s.authMode = kAuthPlain;
        const MailOutcome o = Send(server, parts, s);
        EXPECT_EQ(o.code, kMailRefused) << c.text;
        EXPECT_EQ(o.text, c.text);
        EXPECT_TRUE(server.Finished()) << c.text;
    }
}

TEST(SmtpSend, HostileServersGetAClearOutcome) {
    const Step ok220 = {"", "220 ready\r\n"}, ehlo = {"EHLO", "250 hi\r\n"};
    const Step mail = {"MAIL", "250 ok\r\n"}, rcpt = {"RCPT", "250 ok\r\n"};
    struct Case {
        const char* what;
        std::vector<Step> steps;
        int code;
    };
    const std::vector<Case> cases = {
        {"reply longer than 512", {{"", "220 " + std::string(600, 'x') + "\r\n"}}, kMailRefused},
        {"garbage", {{"", "SSH-2.0-OpenSSH\r\n"}}, kMailRefused},
        {"binary", {{"", std::string("\x00\xff\x10\r\n", 5)}}, kMailRefused},
        {"closed before greeting", {{"", "", Act::Close}}, kMailConnectionReset},
        {"never answers", {{"", "", Act::Silent}}, kMailTimedOut},
        {"silent after EHLO", {ok220, {"EHLO", "", Act::Silent}}, kMailTimedOut},
        {"closed mid-DATA",
         {ok220, ehlo, mail, rcpt, rcpt, {"DATA", "354 go\r\n"}, {"", "", Act::ResetOnWrite}},
         kMailConnectionReset},
        {"closed after DATA",
         {ok220, ehlo, mail, rcpt, rcpt, {"DATA", "354 go\r\n"}, {"", "", Act::Close}},
         kMailConnectionReset},
        {"endless multi-line",
         {{"",
           [] {
               std::string s;
               for (int i = 0; i < 1000; ++i)
                   s += "220-spam\r\n";
               return s;
           }()}},
         kMailRefused},
    };
    for (const auto& c : cases) {
        CScriptedServer server(c.steps);
        CParts parts;
        parts.files = {{"a.pdf", std::string(5000, 'a')}};
        SmtpSettings s;
        s.multipart = "mixed";
        const MailOutcome o = Send(server, parts, s);
        EXPECT_EQ(o.code, c.code) << c.what << ": " << o.text;
    }
}

TEST(SmtpSend, RefusedBeforeConnectingAndConnectErrors) {
    CParts parts;
    CScriptedServer none(std::vector<Step>{});
    auto send = [&](CScriptedServer& server, const std::string& sender,
                    const std::vector<std::string>& to, const std::string& port = "") {
        SmtpSettings s;
        s.port = port;
        return SmtpSend(server, s, "h", kHeader, sender, to, parts, 0);
    };
    MailOutcome o = send(none, "", kRecipients);
    EXPECT_EQ(o.code, kMailRefused);
    EXPECT_EQ(o.text, "NO FROM ADDRESS");
    o = send(none, "a@b", {""});
    EXPECT_EQ(o.text, "NO RECIPIENT ADDRESS");
    // A line break in an address would add a command of its own.
    o = send(none, "<a@b\r\nRCPT TO:evil@example.com>", kRecipients);
    EXPECT_EQ(o.text, "NO FROM ADDRESS");
    o = send(none, "a@b", {"", "<c@d>", "<c@d\nRCPT TO:evil@example.com>"});
    EXPECT_EQ(o.text, "NO RECIPIENT ADDRESS");
    o = send(none, "a@b", kRecipients, "smtp");
    EXPECT_EQ(o.code, kMailNoData) << "a port that is no number";
    o = send(none, "a@b", kRecipients, "70000");
    EXPECT_EQ(o.code, kMailNoData);
    EXPECT_EQ(none.m_Connects, 0);
    o = send(none, "a@b", kRecipients, "465");
    EXPECT_EQ(o.code, kMailRefused) << "TLS is asked for and the stream has none";
    EXPECT_NE(o.text.find("TLS"), std::string::npos);
    for (int err : {10061, 10060, 11001, 10065}) {
        CScriptedServer down(std::vector<Step>{}, err);
        EXPECT_EQ(send(down, "a@b", kRecipients).code, err);
    }
}

// An attachment that cannot be opened, or whose reading fails half-way:
// the dialogue ends before the final "." (the server keeps nothing), with
// the owner's outcome.
TEST(SmtpSend, APartItsOwnerCannotGiveEndsTheDialogueBeforeTheEndOfData) {
    struct CFailingParts : CParts {
        size_t failAt = 0; // the request (counted in log) after which the part fails
        MailOutcome PartFailure() override {
            if (log.size() < failAt)
                return {};
            return {kMailPartFailed, "Attachment cannot be read: p" + std::to_string(failAt)};
        }
    };
    // "info 2" is the third request, the second "data 2" the fifth.
    for (size_t failAt : {3u, 5u}) {
        CScriptedServer server(Dialogue(Envelope()));
        CFailingParts parts;
        parts.failAt = failAt;
        parts.body = "Hello";
        parts.files = {{"p1.pdf", std::string(2000, 'p')}};
        SmtpSettings s;
        s.multipart = "mixed";
        const MailOutcome o = Send(server, parts, s);
        EXPECT_EQ(o.code, kMailPartFailed);
        EXPECT_EQ(o.text, "Attachment cannot be read: p" + std::to_string(failAt));
        EXPECT_EQ(parts.log.size(), failAt) << "no request after the failure";
        EXPECT_NE(server.Transcript().find("DATA\r\n"), std::string::npos);
        EXPECT_EQ(server.Transcript().find("\r\n.\r\n"), std::string::npos) << server.Transcript();
        EXPECT_EQ(server.Transcript().find("QUIT"), std::string::npos);
    }
}

TEST(Pop3, LogInAndRefusals) {
    {
        CScriptedServer server({{"", "+OK POP3 ready\r\n"},
                                {"USER scan", "+OK\r\n"},
                                {"PASS s3cret", "+OK logged in\r\n"},
                                {"QUIT", "+OK bye\r\n"}});
        const MailOutcome o = Pop3Login(server, "", "pop.example.jp", "scan", "s3cret");
        EXPECT_EQ(o.code, 0) << o.text;
        EXPECT_EQ(server.m_Port, 110);
        EXPECT_TRUE(server.Finished());
    }
    {
        CScriptedServer server({{"", "+OK ready\r\n"},
                                {"USER", "+OK\r\n"},
                                {"PASS", "-ERR [AUTH] Authentication failed.\r\n"}});
        const MailOutcome o = Pop3Login(server, "1110", "h", "scan", "wrong");
        EXPECT_EQ(o.code, kMailRefused);
        EXPECT_EQ(o.text, "[AUTH] Authentication failed.");
        EXPECT_EQ(server.m_Port, 1110);
    }
    {
        CScriptedServer server(std::vector<Step>{{"", "220 this is SMTP\r\n"}});
        EXPECT_EQ(Pop3Login(server, "", "h", "u", "p").code, kMailRefused);
    }
    {
        CScriptedServer server({{"", "+OK ready\r\n"}, {"USER", "", Act::Silent}});
        EXPECT_EQ(Pop3Login(server, "", "h", "u", "p").code, kMailTimedOut);
    }
    CScriptedServer none(std::vector<Step>{});
    EXPECT_EQ(Pop3Login(none, "pop3", "h", "u", "p").code, kMailNoData);
}

TEST(SmtpSend, StartTlsWhenOfferedAndPossibleAndImplicitTlsOn465) {
    const std::vector<Step> tail = {{"AUTH PLAIN", "235 ok\r\n"},
                                    Envelope()[0],
                                    Envelope()[1],
                                    Envelope()[2],
                                    Envelope()[3],
                                    Envelope()[4],
                                    Envelope()[5]};
    auto steps = [&](std::string starttlsReply) {
        std::vector<Step> s = {{"", "220 ready\r\n"},
                               {"EHLO", "250-hi\r\n250-starttls\r\n250 AUTH PLAIN\r\n"},
                               {"STARTTLS", starttlsReply},
                               {"EHLO", "250-hi again\r\n250 AUTH PLAIN\r\n"}};
        s.insert(s.end(), tail.begin(), tail.end());
        return s;
    };
    SmtpSettings s;
    s.authMode = kAuthPlain;
    {
        // A reply smuggled in before the switch is dropped, not taken for EHLO's.
        CScriptedServer server(steps("220 go ahead\r\n250 smuggled\r\n"));
        server.m_bTls = true;
        CParts parts;
        const MailOutcome o = Send(server, parts, s);
        EXPECT_EQ(o.code, 0) << o.text << server.Transcript();
        EXPECT_TRUE(server.Finished());
        EXPECT_EQ(server.Transcript().find("EHLO localhost\r\nSTARTTLS\r\n<tls mail.example.jp>"
                                           "EHLO localhost\r\nAUTH PLAIN"),
                  0u)
            << server.Transcript();
    }
    {
        CScriptedServer server(steps("454 TLS not available\r\n"));
        server.m_bTls = true;
        CParts parts;
        const MailOutcome o = Send(server, parts, s);
        EXPECT_EQ(o.code, kMailRefused);
        EXPECT_EQ(o.text, "454 TLS not available");
    }
    {
        CScriptedServer server(steps(""));
        server.m_bTls = true;
        server.m_TlsOutcome = {kMailRefused, "certificate not trusted"};
        CParts parts;
        s.port = "465";
        const MailOutcome o = Send(server, parts, s);
        EXPECT_EQ(o.text, "certificate not trusted") << "TLS first on 465, before the greeting";
        EXPECT_EQ(server.Transcript(), "<tls mail.example.jp>");
    }
    {
        // The stream cannot do TLS: the offer is left alone.
        std::vector<Step> plain = {{"", "220 ready\r\n"}, {"EHLO", "250-hi\r\n250 STARTTLS\r\n"}};
        plain.insert(plain.end(), tail.begin(), tail.end());
        CScriptedServer server(plain);
        CParts parts;
        s.port = "";
        const MailOutcome o = Send(server, parts, s);
        EXPECT_EQ(o.code, 0) << o.text;
        EXPECT_EQ(server.Transcript().find("STARTTLS"), std::string::npos);
    }
}

TEST(SmtpSend, RequiredTlsSendsNoCredentialsWithoutIt) {
    SmtpSettings s;
    s.authMode = kAuthLogin;
    s.requireTls = true;
    const std::vector<Step> plain = {{"", "220 ready\r\n"},
                                     {"EHLO", "250-hi\r\n250-STARTTLS\r\n250 AUTH LOGIN\r\n"},
                                     {"QUIT", "221 bye\r\n"}};
    for (bool streamTls : {false, true}) {
        // Offered but not possible, or possible but not offered.
        std::vector<Step> steps = plain;
        if (streamTls)
            steps[1].reply = "250-hi\r\n250 AUTH LOGIN\r\n";
        CScriptedServer server(steps);
        server.m_bTls = streamTls;
        CParts parts;
        const MailOutcome o = Send(server, parts, s);
        EXPECT_EQ(o.code, kMailRefused);
        EXPECT_EQ(o.text, kMailNoTls);
        EXPECT_EQ(server.Transcript(), "EHLO localhost\r\nQUIT\r\n");
    }
}

TEST(Pop3, StlsWhenOfferedAndNoPasswordInPlainTextWhenTlsIsRequired) {
    {
        CScriptedServer server({{"", "+OK ready\r\n"},
                                {"CAPA", "+OK\r\nUSER\r\nstls\r\n.\r\n"},
                                {"STLS", "+OK begin\r\n-ERR smuggled\r\n"},
                                {"USER scan", "+OK\r\n"},
                                {"PASS s3cret", "+OK in\r\n"},
                                {"QUIT", "+OK bye\r\n"}});
        server.m_bTls = true;
        const MailOutcome o = Pop3Login(server, "", "pop.example.jp", "scan", "s3cret", true);
        EXPECT_EQ(o.code, 0) << o.text;
        EXPECT_EQ(server.Transcript(), "CAPA\r\nSTLS\r\n<tls pop.example.jp>USER scan\r\n"
                                       "PASS s3cret\r\nQUIT\r\n");
    }
    for (const char* capa : {"-ERR unknown command\r\n", "+OK\r\nUSER\r\n.\r\n"}) {
        CScriptedServer server({{"", "+OK ready\r\n"}, {"CAPA", capa}, {"QUIT", "+OK bye\r\n"}});
        server.m_bTls = true;
        const MailOutcome o = Pop3Login(server, "", "h", "scan", "s3cret", true);
        EXPECT_EQ(o.text, kMailNoTls) << capa;
        EXPECT_EQ(server.Transcript(), "CAPA\r\nQUIT\r\n");
    }
    {
        // A capability list that never ends is cut off.
        std::string endless = "+OK\r\n";
        for (int i = 0; i < 300; ++i)
            endless += "X-CAP" + std::to_string(i) + "\r\n";
        CScriptedServer server({{"", "+OK ready\r\n"}, {"CAPA", endless}});
        server.m_bTls = true;
        EXPECT_EQ(Pop3Login(server, "", "h", "u", "p").text,
                  "The mail server's reply is too long.");
    }
}
