// The SMTP client against a real server (aiosmtpd) on 127.0.0.1: each log-in
// mode, the message read back by Python's email package, attachments byte
// for byte; a wrong password, a closed port and a server that never answers.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <random>
#include <sys/wait.h>
#include <thread>

#include "mail/core/MimeCoder.h"
#include "mail/core/SmtpClient.h"
#include "mail/tests/loopback_server.h"
#include "mail/tests/posix_connector.h"

namespace fs = std::filesystem;
using namespace vlm::mail;
using namespace vlm::mail::test;

namespace {
std::string Pattern(size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(size, '\0');
    for (auto& c : s)
        c = char(rng());
    return s;
}
} // namespace

TEST(SmtpLoopback, EachLogInModeDeliversTheMessageIntact) {
    CServer server({"--user", "scanner", "--password", "p\xC3\xA4ss w0rd"});
    ASSERT_FALSE(server.Port().empty());
    const fs::path dir = fs::temp_directory_path() / ("vlm_smtp_files_" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string pdf = Pattern(200000, 1), jpg = Pattern(1141, 2);
    std::ofstream(dir / "scan_001.pdf", std::ios::binary) << pdf;
    std::ofstream(dir / "B\xFCro \xFC"
                        "bersicht mit einem recht langen Namen.jpg",
                  std::ios::binary)
        << jpg;

    int n = 0;
    for (int32_t mode : {kAuthLogin, kAuthPlain, kAuthCramMd5}) {
        auto coder = MakeMimeCoder("German");
        CFileParts parts(*coder);
        const Message m = Compose(*coder, "Scanner <scanner@example.de>",
                                  "\"M\xFCller, J\xFCrgen\" <jm@example.de>, team@example.de",
                                  "Gr\xFC\xDF"
                                  "e: die Scans vom M\xE4rz",
                                  // Code page 1252 in the body only: its part says
                                  // windows-1252, the subject's words iso-8859-1.
                                  "Hallo J\xFCrgen,\r\n.anbei die Seiten (\x80 5 \x96 "
                                  "\x84Rechnung\x93).\r\n\r\nGr\xFC\xDF"
                                  "e");
        parts.body = m.body;
        parts.files = {dir / "scan_001.pdf", dir / "B\xFCro \xFC"
                                                   "bersicht mit einem recht langen Namen.jpg"};
        SmtpSettings s;
        s.port = server.Port();
        s.authMode = mode;
        s.userName = "scanner";
        s.password = "p\xC3\xA4ss w0rd";
        s.multipart = "mixed";
        s.charset = coder->HeaderInfo().GetCharset();
        CPosixConnector connector;
        const MailOutcome o = SmtpSend(connector, s, "127.0.0.1", m.header, m.sender, m.recipients,
                                       parts, std::time(nullptr));
        ASSERT_EQ(o.code, 0) << "mode " << mode << ": " << o.text;
        ASSERT_TRUE(server.WaitFor(++n));
        EXPECT_EQ(server.File(n, ".envelope"),
                  "scanner@example.de\njm@example.de\nteam@example.de\n");
        EXPECT_EQ(server.File(n, ".subject"), "Gr\xC3\xBC\xC3\x9F"
                                              "e: die Scans vom M\xC3\xA4rz");
        EXPECT_EQ(server.File(n, ".body"),
                  "Hallo J\xC3\xBCrgen,\r\n.anbei die Seiten (\xE2\x82\xAC 5 \xE2\x80\x93 "
                  "\xE2\x80\x9ERechnung\xE2\x80\x9C).\r\n\r\nGr\xC3\xBC\xC3\x9F"
                  "e");
        EXPECT_EQ(server.File(n, ".att1"), pdf);
        EXPECT_EQ(server.File(n, ".att2"), jpg);
        EXPECT_EQ(server.File(n, ".names"), "scan_001.pdf\nB\xC3\xBCro \xC3\xBC"
                                            "bersicht mit einem recht langen Namen.jpg\n");
    }
    fs::remove_all(dir);
}

TEST(SmtpLoopback, JapaneseMessageWithoutAttachments) {
    CServer server({});
    ASSERT_FALSE(server.Port().empty());
    auto coder = MakeMimeCoder("Japanese");
    CFileParts parts(*coder);
    const std::string nihongo = "\x93\xFA\x96\x7B\x8C\xEA";
    const Message m = Compose(*coder, "scan@example.jp", "taro@example.jp",
                              nihongo + " \xB6\xDE\xB2\xC4\xDE", nihongo + "\r\n");
    parts.body = m.body;
    SmtpSettings s;
    s.port = server.Port();
    s.charset = coder->HeaderInfo().GetCharset();
    CPosixConnector connector;
    const MailOutcome o =
        SmtpSend(connector, s, "127.0.0.1", m.header, m.sender, m.recipients, parts, 0);
    ASSERT_EQ(o.code, 0) << o.text;
    ASSERT_TRUE(server.WaitFor(1));
    // NIHONGO GAIDO in UTF-8: the half-width kana arrive full-width.
    EXPECT_EQ(server.File(1, ".subject"),
              "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E \xE3\x82\xAC\xE3\x82\xA4\xE3\x83\x89");
    EXPECT_EQ(server.File(1, ".body"), "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\r\n");
    EXPECT_EQ(server.File(1, ".names"), "");
}

TEST(SmtpLoopback, WrongPasswordClosedPortAndSilentServer) {
    auto coder = MakeMimeCoder("English");
    const Message m = Compose(*coder, "a@example.com", "b@example.com", "Scan", "x");
    {
        CServer server({"--user", "scanner", "--password", "right"});
        ASSERT_FALSE(server.Port().empty());
        for (int32_t mode : {kAuthLogin, kAuthPlain, kAuthCramMd5}) {
            CFileParts parts(*coder);
            SmtpSettings s;
            s.port = server.Port();
            s.authMode = mode;
            s.userName = "scanner";
            s.password = "wrong";
            CPosixConnector connector;
            const MailOutcome o =
                SmtpSend(connector, s, "127.0.0.1", m.header, m.sender, m.recipients, parts, 0);
            EXPECT_EQ(o.code, kMailRefused) << mode;
            EXPECT_EQ(o.text.substr(0, 3), "535") << o.text;
        }
        // No log-in where the server requires one: refused at MAIL.
        CFileParts parts(*coder);
        SmtpSettings s;
        s.port = server.Port();
        CPosixConnector connector;
        const MailOutcome o =
            SmtpSend(connector, s, "127.0.0.1", m.header, m.sender, m.recipients, parts, 0);
        EXPECT_EQ(o.code, kMailRefused);
        EXPECT_EQ(o.text.substr(0, 3), "530") << o.text;
    }
    // A port nobody listens on: bind one, close it, connect.
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    const std::string closedPort = std::to_string(ntohs(a.sin_port));
    close(fd);
    {
        CFileParts parts(*coder);
        SmtpSettings s;
        s.port = closedPort;
        CPosixConnector connector;
        EXPECT_EQ(
            SmtpSend(connector, s, "127.0.0.1", m.header, m.sender, m.recipients, parts, 0).code,
            kMailConnectionRefused);
    }
    // A server that accepts and never answers: the read time-out ends it.
    fd = socket(AF_INET, SOCK_STREAM, 0);
    a.sin_port = 0;
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(listen(fd, 1), 0);
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    {
        CFileParts parts(*coder);
        SmtpSettings s;
        s.port = std::to_string(ntohs(a.sin_port));
        CPosixConnector connector(500);
        EXPECT_EQ(
            SmtpSend(connector, s, "127.0.0.1", m.header, m.sender, m.recipients, parts, 0).code,
            kMailTimedOut);
    }
    close(fd);
}

TEST(Pop3Loopback, LogInToDovecot) {
    if (geteuid() != 0 || system("command -v dovecot >/dev/null") != 0)
        GTEST_SKIP() << "Dovecot runs as root here (make deps installs dovecot-pop3d)";
    CServer server({"scanner", "s3cret"}, "pop3_server.py");
    ASSERT_FALSE(server.Port().empty());
    CPosixConnector connector;
    MailOutcome o = Pop3Login(connector, server.Port(), "127.0.0.1", "scanner", "s3cret");
    EXPECT_EQ(o.code, 0) << o.text;
    o = Pop3Login(connector, server.Port(), "127.0.0.1", "scanner", "wrong");
    EXPECT_EQ(o.code, kMailRefused);
    EXPECT_NE(o.text.find("Authentication failed"), std::string::npos) << o.text;
}
