// C_smtp and C_pop under Wine: the Winsock client against small servers on
// 127.0.0.1 run by the test, every event on the owner's thread, attachments
// read 570 bytes at a time; with VLM_SMTP_PORT set (the aiosmtpd script test)
// a message to the real server.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "mail/core/Base64.h"
#include "mail/core/MimeCoder.h"
#include "mail/win/MailControls.h"
#include "mail/win/MailSender.h"

using namespace vlm::mail;

namespace {
const ULONGLONG kDeadlineMs = 120000;

// Pumps the test thread's messages until done() or the deadline.
bool PumpUntil(const std::function<bool()>& done) {
    const ULONGLONG end = ::GetTickCount64() + kDeadlineMs;
    while (!done()) {
        if (::GetTickCount64() > end)
            return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 1000, QS_ALLINPUT);
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
    }
    return true;
}

// A server on 127.0.0.1 for one connection per greeting, in turn: answers
// each client line by its first word from the table, stores the message,
// and stays silent where the table has no reply.
class CLineServer {
public:
    struct Rule {
        std::string command, reply;
    };
    CLineServer(std::string greeting, std::vector<Rule> rules)
        : CLineServer(std::vector<std::string>{std::move(greeting)}, std::move(rules)) {}
    CLineServer(std::vector<std::string> greetings, std::vector<Rule> rules)
        : m_Greetings(std::move(greetings)), m_Rules(std::move(rules)) {
        WSADATA d;
        ::WSAStartup(MAKEWORD(2, 2), &d);
        m_Listen = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_Listen, reinterpret_cast<sockaddr*>(&a), sizeof a);
        int len = sizeof a;
        ::getsockname(m_Listen, reinterpret_cast<sockaddr*>(&a), &len);
        m_Port = ntohs(a.sin_port);
        ::listen(m_Listen, 1);
        m_Thread = std::thread([this] { Serve(); });
    }
    ~CLineServer() {
        ::closesocket(m_Listen);
        m_Thread.join();
        ::WSACleanup();
    }
    std::string Port() const { return std::to_string(m_Port); }
    std::string m_Transcript, m_Data;

private:
    void Serve() {
        for (const auto& greeting : m_Greetings)
            if (!ServeOne(greeting))
                return;
    }
    bool ServeOne(const std::string& greeting) {
        SOCKET c = ::accept(m_Listen, nullptr, nullptr);
        if (c == INVALID_SOCKET)
            return false;
        auto say = [&](const std::string& s) { ::send(c, s.data(), int(s.size()), 0); };
        if (!greeting.empty())
            say(greeting);
        std::string in;
        bool inData = false;
        char buf[4096];
        for (int n; (n = ::recv(c, buf, sizeof buf, 0)) > 0;) {
            in.append(buf, size_t(n));
            m_Transcript.append(buf, size_t(n));
            for (size_t eol; (eol = in.find(inData ? "\r\n.\r\n" : "\r\n")) != std::string::npos;) {
                if (inData) {
                    m_Data = in.substr(0, eol + 5);
                    in.erase(0, eol + 5);
                    inData = false;
                    say("250 queued\r\n");
                    continue;
                }
                const std::string line = in.substr(0, eol);
                in.erase(0, eol + 2);
                for (const auto& r : m_Rules)
                    if (line.compare(0, r.command.size(), r.command) == 0) {
                        if (!r.reply.empty())
                            say(r.reply);
                        inData = r.reply.compare(0, 3, "354") == 0;
                        break;
                    }
            }
        }
        ::closesocket(c);
        return true;
    }
    std::vector<std::string> m_Greetings;
    std::vector<Rule> m_Rules;
    SOCKET m_Listen;
    uint16_t m_Port = 0;
    std::thread m_Thread;
};

const std::vector<CLineServer::Rule> kSmtpRules = {{"EHLO", "250-loopback\r\n250 AUTH LOGIN\r\n"},
                                                   {"MAIL", "250 ok\r\n"},
                                                   {"RCPT", "250 ok\r\n"},
                                                   {"DATA", "354 go\r\n"},
                                                   {"QUIT", "221 bye\r\n"}};

// The job dialog's side: records threads and events, reads files by 570 bytes.
struct CSink : ISmtpControlEvents, IPopControlEvents {
    DWORD ownerThread = ::GetCurrentThreadId();
    bool wrongThread = false, finished = false;
    long code = 1;
    std::string text, body;
    std::vector<std::string> files, events;
    size_t next = 0;
    HANDLE file = INVALID_HANDLE_VALUE;
    std::vector<size_t> reads;

    void Check() { wrongThread |= ::GetCurrentThreadId() != ownerThread; }
    void OnSendFinished(long& c, std::string& t) override {
        Check();
        code = c;
        text = t;
        finished = true;
        if (file != INVALID_HANDLE_VALUE)
            ::CloseHandle(file);
    }
    void OnLoginFinished(long& c, std::string& t) override { OnSendFinished(c, t); }
    void OnBodyRequest(short&, std::string& t) override {
        Check();
        t.swap(body);
        body.clear();
    }
    void OnPartInfo(short, short part, std::string& fourth, std::string& type, std::string& name,
                    std::string& charset, std::string& encoding, std::string& line) override {
        Check();
        events.push_back("info " + std::to_string(part));
        if (part == 1) {
            fourth = "Binary", type = "text/plain", charset = "us_ascii";
            line = "Content-Transfer-Encoding: 7bit";
            return;
        }
        if (next >= files.size())
            return;
        if (file != INVALID_HANDLE_VALUE)
            ::CloseHandle(file);
        file = ::CreateFileA(files[next].c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
        name = files[next].substr(files[next].rfind('\\') + 1);
        fourth = "Binary", type = "application/octet-stream", encoding = "base64";
        ++next;
    }
    void OnPartData(short, short part, std::string& data) override {
        Check();
        if (part == 1) {
            data.swap(body);
            body.clear();
            return;
        }
        char buf[570];
        DWORD got = 0;
        ::ReadFile(file, buf, sizeof buf, &got, nullptr);
        reads.push_back(got);
        data.assign(buf, got);
    }
};

std::string TempFile(const std::string& name, const std::string& content) {
    char dir[MAX_PATH];
    ::GetTempPathA(MAX_PATH, dir);
    const std::string path = std::string(dir) + name;
    HANDLE h = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written;
    ::WriteFile(h, content.data(), DWORD(content.size()), &written, nullptr);
    ::CloseHandle(h);
    return path;
}

const std::string kHeader =
    "From: <scan@example.com>\r\nTo: <a@example.com>\r\nSubject: Scan\r\n\r\n";
const std::vector<std::string> kTo = {"", "<a@example.com>"};
} // namespace

TEST(C_smtp, SendsOverWinsockAndRaisesEveryEventOnTheOwnersThread) {
    CLineServer server("220 loopback ESMTP\r\n", kSmtpRules);
    std::string data(2000, '\0');
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = char(i * 13 + 1);
    const std::string path = TempFile("vlm_mail_attach.bin", data);
    CSink sink;
    sink.body = "Pages attached.\r\n.dot line\r\n";
    sink.files = {path};
    C_smtp smtp(sink);
    ASSERT_TRUE(smtp.Create(nullptr));
    smtp.SetPort(server.Port());
    smtp.SetMultiPart("mixed");
    smtp.SetCharset("us_ascii");
    ASSERT_TRUE(smtp.Send("127.0.0.1", kHeader, "<scan@example.com>", kTo));
    EXPECT_FALSE(smtp.Send("127.0.0.1", kHeader, "<scan@example.com>", kTo)) << "one at a time";
    ASSERT_TRUE(PumpUntil([&] { return sink.finished; }));
    EXPECT_EQ(sink.code, 0) << sink.text;
    EXPECT_FALSE(sink.wrongThread);
    EXPECT_EQ(sink.reads, (std::vector<size_t>{570, 570, 570, 290, 0}));
    EXPECT_EQ(sink.events, (std::vector<std::string>{"info 1", "info 2", "info 3"}));
    EXPECT_NE(server.m_Data.find("\r\n..dot line\r\n"), std::string::npos);
    EXPECT_NE(server.m_Transcript.find("RCPT TO:<a@example.com>\r\n"), std::string::npos);
    const size_t start = server.m_Data.find("\r\n\r\n", server.m_Data.find("vlm_mail_attach")) + 4;
    std::string decoded;
    ASSERT_TRUE(Base64Decode(
        server.m_Data.substr(start, server.m_Data.find("\r\n\r\n--", start) - start), decoded));
    EXPECT_EQ(decoded, data);
    ::DeleteFileA(path.c_str());
}

TEST(C_smtp, OutcomeCodes) {
    {
        CLineServer server("220 hi\r\n", {{"EHLO", "250 ok\r\n"},
                                          {"MAIL", "250 ok\r\n"},
                                          {"RCPT", "550 5.1.1 no such user\r\n"},
                                          {"QUIT", "221 bye\r\n"}});
        CSink sink;
        C_smtp smtp(sink);
        ASSERT_TRUE(smtp.Create(nullptr));
        smtp.SetPort(server.Port());
        ASSERT_TRUE(smtp.Send("127.0.0.1", kHeader, "<scan@example.com>", kTo));
        ASSERT_TRUE(PumpUntil([&] { return sink.finished; }));
        EXPECT_EQ(sink.code, -1);
        EXPECT_EQ(sink.text, "NO RECIPIENT ADDRESS");
    }
    {
        // Accepts and never answers: the read time-out gives 10060.
        CLineServer server("", {});
        CSink sink;
        C_smtp smtp(sink);
        ASSERT_TRUE(smtp.Create(nullptr));
        smtp.SetTimeout(500);
        smtp.SetPort(server.Port());
        ASSERT_TRUE(smtp.Send("127.0.0.1", kHeader, "<scan@example.com>", kTo));
        ASSERT_TRUE(PumpUntil([&] { return sink.finished; }));
        EXPECT_EQ(sink.code, 10060);
    }
    std::string closedPort;
    {
        CLineServer server("", {}); // its port, closed again below
        closedPort = server.Port();
        SOCKET s = ::socket(AF_INET, SOCK_STREAM, 0); // lets the server's accept end
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(u_short(std::stoi(closedPort)));
        ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::closesocket(s);
    }
    for (const auto& [port, code] :
         std::vector<std::pair<std::string, long>>{{closedPort, 10061}, {"smtp", 11004}}) {
        CSink sink;
        C_smtp smtp(sink);
        ASSERT_TRUE(smtp.Create(nullptr));
        smtp.SetPort(port);
        ASSERT_TRUE(smtp.Send("127.0.0.1", kHeader, "<scan@example.com>", kTo));
        ASSERT_TRUE(PumpUntil([&] { return sink.finished; }));
        EXPECT_EQ(sink.code, code) << port;
    }
}

TEST(C_smtp, DestroyedWhileTheServerIsSilentEndsPromptly) {
    CLineServer server("", {});
    CSink sink;
    ULONGLONG took = 0;
    {
        C_smtp smtp(sink);
        ASSERT_TRUE(smtp.Create(nullptr));
        smtp.SetTimeout(60000);
        smtp.SetPort(server.Port());
        ASSERT_TRUE(smtp.Send("127.0.0.1", kHeader, "<scan@example.com>", kTo));
        took = ::GetTickCount64();
    } // the 60 s time-out is not waited for: the connection is closed
    took = ::GetTickCount64() - took;
    EXPECT_FALSE(sink.finished);
    EXPECT_LT(took, 20000u) << "a third of the read time-out, for a busy machine";
}

TEST(C_pop, LoginAndRefusal) {
    {
        // CAPA without STLS: the log-in stays in plain text.
        CLineServer server("+OK ready\r\n", {{"CAPA", "+OK\r\nUSER\r\nSTLSX\r\n.\r\n"},
                                             {"USER", "+OK\r\n"},
                                             {"PASS", "+OK in\r\n"},
                                             {"QUIT", "+OK bye\r\n"}});
        CSink sink;
        C_pop pop(sink);
        ASSERT_TRUE(pop.Create(nullptr));
        pop.SetPort(server.Port());
        ASSERT_TRUE(pop.Login("127.0.0.1", "scan", "pw"));
        ASSERT_TRUE(PumpUntil([&] { return sink.finished; }));
        EXPECT_EQ(sink.code, 0) << sink.text;
        EXPECT_FALSE(sink.wrongThread);
        EXPECT_NE(server.m_Transcript.find("CAPA\r\nUSER scan\r\nPASS pw\r\n"), std::string::npos)
            << server.m_Transcript;
    }
    {
        CLineServer server(
            "+OK ready\r\n",
            {{"CAPA", "-ERR unknown\r\n"}, {"USER", "+OK\r\n"}, {"PASS", "-ERR denied\r\n"}});
        CSink sink;
        C_pop pop(sink);
        ASSERT_TRUE(pop.Create(nullptr));
        pop.SetPort(server.Port());
        ASSERT_TRUE(pop.Login("127.0.0.1", "scan", "bad"));
        ASSERT_TRUE(PumpUntil([&] { return sink.finished; }));
        EXPECT_EQ(sink.code, -1);
        EXPECT_EQ(sink.text, "denied");
    }
}

namespace {
struct COwner : IMailSenderOwner {
    std::vector<std::string> log;
    bool finished = false;
    long code = 1;
    std::string text, message;
    void OnMailLog(const std::string& line) override { log.push_back(line); }
    void OnMailFinished(long c, const std::string& t, const std::string& m) override {
        finished = true, code = c, text = t, message = m;
    }
};

bool Has(const std::vector<std::string>& v, const std::string& s) {
    return std::find(v.begin(), v.end(), s) != v.end();
}
} // namespace

TEST(CMailSender, PopBeforeSmtpThenTheJobsMessageWithItsFiles) {
    CLineServer server(std::vector<std::string>{"+OK pop ready\r\n", "220 smtp ready\r\n"},
                       {{"CAPA", "-ERR\r\n"},
                        {"USER", "+OK\r\n"},
                        {"PASS", "+OK\r\n"},
                        {"QUIT", "221 bye\r\n"},
                        {"EHLO", "250 hi\r\n"},
                        {"MAIL", "250 ok\r\n"},
                        {"RCPT", "250 ok\r\n"},
                        {"DATA", "354 go\r\n"}});
    COwner owner;
    CMailSender sender(owner);
    ASSERT_TRUE(sender.Create(nullptr));
    MailJobInput in;
    in.serverName = " 127.0.0.1 : " + server.Port();
    in.smtpId = 2;
    in.userName = "scan";
    in.password = "pw";
    in.from = "Scanner <scan@example.de>";
    in.send = "jm@example.de, team@example.de";
    in.subject = "Gr\xFC\xDF"
                 "e";
    in.text = "Anbei.\r\n";
    in.language = "German";
    const std::string pdf(1234, 'p');
    in.files = {TempFile("vlm_sender_1.pdf", pdf), TempFile("vlm_sender_2.pdf", "x")};
    ASSERT_TRUE(sender.Start(in));
    EXPECT_FALSE(sender.Start(in)) << "one delivery at a time";
    ASSERT_TRUE(PumpUntil([&] { return owner.finished; }));
    EXPECT_EQ(owner.code, 0) << owner.text;
    EXPECT_EQ(owner.message, "");
    EXPECT_TRUE(Has(owner.log, "SmtpAddress is 127.0.0.1"));
    EXPECT_TRUE(Has(owner.log, "Port Number from SmtpAddress is " + server.Port()));
    const std::string& t = server.m_Transcript;
    EXPECT_LT(t.find("USER scan\r\nPASS pw\r\n"), t.find("EHLO")) << t;
    EXPECT_EQ(t.find("AUTH"), std::string::npos) << "POP before SMTP puts mode 0";
    EXPECT_NE(t.find("MAIL FROM:<scan@example.de>\r\nRCPT TO:<jm@example.de>\r\n"
                     "RCPT TO:<team@example.de>\r\nDATA"),
              std::string::npos);
    const std::string& d = server.m_Data;
    EXPECT_NE(d.find("From: Scanner <scan@example.de>\r\nTo: <jm@example.de>,<team@example.de>\r\n"
                     "Subject: =?iso-8859-1?Q?Gr=FC=DFe?=\r\n"),
              std::string::npos)
        << d;
    EXPECT_NE(d.find("multipart/mixed"), std::string::npos);
    EXPECT_NE(d.find("charset=\"iso-8859-1\"\r\nContent-Transfer-Encoding: quoted-printable"
                     "\r\n\r\nAnbei.\r\n"),
              std::string::npos);
    // "_" is one of the bytes that make the iso-8859-1 coder write a Q word.
    EXPECT_NE(d.find("filename=\"=?iso-8859-1?Q?vlm=5Fsender=5F2.pdf?=\""), std::string::npos);
    for (const auto& f : in.files)
        EXPECT_TRUE(::DeleteFileA(f.c_str())) << "the attachment file is closed: " << f;
}

TEST(CMailSender, FailuresGiveTheTextsToShow) {
    {
        CLineServer server("220 hi\r\n", {{"EHLO", "250 hi\r\n"}, {"AUTH", "535 5.7.8 no\r\n"}});
        COwner owner;
        CMailSender sender(owner);
        ASSERT_TRUE(sender.Create(nullptr));
        MailJobInput in;
        in.serverName = "127.0.0.1:" + server.Port();
        in.smtpId = 1;
        in.from = "a@example.com";
        in.send = "b@example.com";
        in.language = "English";
        ASSERT_TRUE(sender.Start(in));
        ASSERT_TRUE(PumpUntil([&] { return owner.finished; }));
        EXPECT_EQ(owner.code, -1);
        EXPECT_EQ(owner.message, "MailServer replied an error.");
        EXPECT_TRUE(Has(owner.log, "-1 535 5.7.8 no"));
        EXPECT_NE(server.m_Transcript.find("AUTH LOGIN"), std::string::npos)
            << "SMTP_ID 1 is LOGIN";
    }
    for (long smtpId : {0L, 2L}) {
        // A port that is no number: the POP and SMTP texts differ.
        COwner owner;
        CMailSender sender(owner);
        ASSERT_TRUE(sender.Create(nullptr));
        MailJobInput in;
        in.serverName = "127.0.0.1:pop";
        in.smtpId = smtpId;
        in.from = "a@example.com";
        in.send = "b@example.com";
        in.language = "English";
        ASSERT_TRUE(sender.Start(in));
        ASSERT_TRUE(PumpUntil([&] { return owner.finished; }));
        EXPECT_EQ(owner.code, 11004);
        EXPECT_EQ(owner.message, smtpId == 2 ? "Port Number incorrect." : "Host is not found.");
    }
}

TEST(CMailSender, AnAttachmentAnotherProgramHoldsFailsTheSendAndTheServerKeepsNothing) {
    CLineServer server("220 hi\r\n", kSmtpRules);
    const std::string readable = TempFile("vlm_held_1.pdf", std::string(3000, 'a'));
    const std::string held = TempFile("vlm_held_2.pdf", "b");
    vlm::CHandle lock( // another program holds it without sharing
        ::CreateFileA(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(lock.IsValid());
    COwner owner;
    CMailSender sender(owner);
    ASSERT_TRUE(sender.Create(nullptr));
    MailJobInput in;
    in.serverName = "127.0.0.1:" + server.Port();
    in.from = "a@example.com";
    in.send = "b@example.com";
    in.language = "English";
    in.files = {readable, held};
    ASSERT_TRUE(sender.Start(in));
    ASSERT_TRUE(PumpUntil([&] { return owner.finished; }));
    EXPECT_EQ(owner.code, kMailPartFailed);
    EXPECT_EQ(owner.message, "Sending failed.");
    EXPECT_TRUE(Has(owner.log, "-2 Attachment cannot be read: " + held + " (error 32)"));
    EXPECT_EQ(server.m_Data, "") << "the message was ended";
    EXPECT_TRUE(::DeleteFileA(readable.c_str())) << "the readable attachment is closed";
    lock.Close();
    ::DeleteFileA(held.c_str());
}

// The real servers of mail_controls_server.sh, reached as VLM_MAIL_HOST
// (127.0.0.1 unless set): VLM_SMTP_SELF_SIGNED allows the server's
// certificate, VLM_REQUIRE_TLS requires TLS, and VLM_EXPECT_FAILURE is a text
// of the refusal expected instead of success.
namespace {
std::string Env(const char* name, const char* otherwise = "") {
    const char* v = std::getenv(name);
    return v ? v : otherwise;
}
void ExpectOutcome(long code, const std::string& text, bool succeeds) {
    const std::string failure = Env("VLM_EXPECT_FAILURE");
    EXPECT_EQ(code, failure.empty() && succeeds ? 0 : -1) << text;
    EXPECT_NE(text.find(failure), std::string::npos) << text;
}
} // namespace

TEST(CMailSender, DeliversToTheRealServer) {
    const std::string port = Env("VLM_SMTP_PORT");
    if (port.empty())
        GTEST_SKIP() << "run by the aiosmtpd script test";
    COwner owner;
    CMailSender sender(owner);
    ASSERT_TRUE(sender.Create(nullptr));
    MailJobInput in;
    in.serverName = Env("VLM_MAIL_HOST", "127.0.0.1") + ":" + port;
    in.smtpId = 4; // CRAM-MD5
    in.userName = "scanner";
    in.password = "secret";
    in.from = "scan@example.de";
    in.send = "jm@example.de";
    in.subject = "Gr\xFC\xDF"
                 "e vom Scanner";
    in.text = "Die Seiten im Anhang.\r\n";
    in.language = "German";
    in.files = {TempFile("vlm_real_1.pdf", std::string(100000, '%')),
                TempFile("vlm_real_2.pdf", std::string(3, '\x01'))};
    in.allowSelfSigned = !Env("VLM_SMTP_SELF_SIGNED").empty();
    in.requireTls = !Env("VLM_REQUIRE_TLS").empty();
    ASSERT_TRUE(sender.Start(in));
    ASSERT_TRUE(PumpUntil([&] { return owner.finished; }));
    ExpectOutcome(owner.code, owner.text, true);
    for (const auto& f : in.files)
        ::DeleteFileA(f.c_str());
}

// Run by mail_controls_server.sh with Dovecot's port (user "scanner", "secret").
TEST(C_pop, LogsInToTheRealServer) {
    const std::string port = Env("VLM_POP_PORT");
    if (port.empty())
        GTEST_SKIP() << "run by the server script test";
    for (const char* password : {"secret", "wrong"}) {
        CSink sink;
        C_pop pop(sink);
        ASSERT_TRUE(pop.Create(nullptr));
        pop.SetPort(port);
        pop.SetAllowSelfSigned(!Env("VLM_SMTP_SELF_SIGNED").empty());
        pop.SetRequireTls(!Env("VLM_REQUIRE_TLS").empty());
        ASSERT_TRUE(pop.Login(Env("VLM_MAIL_HOST", "127.0.0.1"), "scanner", password));
        ASSERT_TRUE(PumpUntil([&] { return sink.finished; }));
        ExpectOutcome(sink.code, sink.text, std::string(password) == "secret");
    }
}
