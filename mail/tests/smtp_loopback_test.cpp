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
#include "mail/tests/posix_connector.h"

namespace fs = std::filesystem;
using namespace vlm::mail;
using namespace vlm::mail::test;

namespace {
const auto kDeadline = std::chrono::seconds(120);

std::string ReadFile(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

// The loopback server, started with its own output folder, ended by its id.
class CServer {
public:
    explicit CServer(const std::vector<std::string>& extra) {
        m_Dir = fs::temp_directory_path() /
                ("vlm_smtp_" + std::to_string(getpid()) + "_" + std::to_string(++s_Count));
        fs::remove_all(m_Dir);
        fs::create_directories(m_Dir);
        int out[2];
        if (pipe(out) != 0)
            return;
        std::vector<std::string> args = {
            std::getenv("VLM_PYTHON"),
            std::string(std::getenv("VLM_MAIL_TOOLS")) + "/smtp_server.py", m_Dir.string()};
        args.insert(args.end(), extra.begin(), extra.end());
        m_Pid = fork();
        if (m_Pid == 0) {
            dup2(out[1], 1);
            close(out[0]);
            std::vector<char*> argv;
            for (auto& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(out[1]);
        // The first line is "PORT <n>"; read it with a generous deadline.
        std::string line;
        const auto end = std::chrono::steady_clock::now() + kDeadline;
        char c;
        while (std::chrono::steady_clock::now() < end) {
            pollfd p{out[0], POLLIN, 0};
            if (poll(&p, 1, 1000) <= 0)
                continue;
            if (read(out[0], &c, 1) != 1 || c == '\n')
                break;
            line += c;
        }
        close(out[0]);
        if (line.rfind("PORT ", 0) == 0)
            m_Port = line.substr(5);
    }
    ~CServer() {
        if (m_Pid > 0) {
            kill(m_Pid, SIGTERM);
            waitpid(m_Pid, nullptr, 0);
        }
        fs::remove_all(m_Dir);
    }
    const std::string& Port() const { return m_Port; }
    // Waits for message n to be stored.
    bool WaitFor(int n) const {
        const auto end = std::chrono::steady_clock::now() + kDeadline;
        while (std::chrono::steady_clock::now() < end) {
            if (fs::exists(m_Dir / (std::to_string(n) + ".done")))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20)); // poll step, not a wait
        }
        return false;
    }
    std::string File(int n, const std::string& ext) const {
        return ReadFile(m_Dir / (std::to_string(n) + ext));
    }

private:
    static inline int s_Count = 0;
    fs::path m_Dir;
    pid_t m_Pid = -1;
    std::string m_Port;
};

// The job dialog's side of the part requests, over real files.
struct CFileParts : ISmtpEvents {
    CMimeCoder& coder;
    std::string body;
    std::vector<fs::path> files;
    size_t next = 0;
    std::ifstream file;
    explicit CFileParts(CMimeCoder& c) : coder(c) {}
    void OnStatus(const std::string&) override {}
    void OnBodyRequest(int16_t&, std::string& text) override { text.swap(body), body.clear(); }
    void OnPartInfo(int16_t, int16_t part, MailPartInfo& info) override {
        const CMimeInfo& t = part == 1 ? coder.TextInfo() : coder.AttachmentInfo();
        if (part != 1) {
            if (next >= files.size())
                return;
            file = std::ifstream(files[next], std::ios::binary);
            coder.EncodeHeader(files[next].filename().string(), info.fileName, "", 0, 0);
            ++next;
        }
        info.fourth = t.GetFourth();
        info.contentType = t.GetContentType();
        info.charset = t.GetCharset();
        info.encoding = t.GetEncoding();
        info.headerLine = t.GetHeaderLine();
    }
    void OnPartData(int16_t, int16_t part, std::string& data) override {
        if (part == 1) {
            data.swap(body), body.clear();
            return;
        }
        char buf[570];
        file.read(buf, sizeof buf);
        data.assign(buf, size_t(file.gcount()));
    }
};

struct Message {
    std::string subject, body, header, sender;
    std::vector<std::string> recipients;
};

Message Compose(CMimeCoder& coder, const std::string& from, const std::string& to,
                const std::string& subject, const std::string& text) {
    Message m;
    std::vector<std::string> senders, recipients;
    coder.ParseAddressList(from, senders, 6);
    coder.ParseAddressList(to, recipients, 4);
    std::string joined;
    for (const auto& r : recipients)
        joined += (joined.empty() ? "" : ",") + r;
    coder.EncodeHeader(subject, m.subject, "", 9, 0);
    coder.EncodeBody(text, m.body, "", 0);
    m.header =
        "From: " + senders[0] + "\r\nTo: " + joined + "\r\nSubject: " + m.subject + "\r\n\r\n";
    coder.ParseAddressList(from, senders, 0);
    coder.ParseAddressList(to, recipients, 0);
    m.sender = senders[0];
    m.recipients = {""};
    m.recipients.insert(m.recipients.end(), recipients.begin(), recipients.end());
    return m;
}

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
                                  "Hallo J\xFCrgen,\r\n.anbei die Seiten.\r\n\r\nGr\xFC\xDF"
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
                  "Hallo J\xC3\xBCrgen,\r\n.anbei die Seiten.\r\n\r\nGr\xC3\xBC\xC3\x9F"
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
