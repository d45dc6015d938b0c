// The loopback servers (aiosmtpd or Dovecot, started with its own output folder and
// ended by its process id) and the job dialog's side of the part requests
// over real files, for the native tests and benchmarks.
#pragma once
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "mail/core/MimeCoder.h"
#include "mail/core/SmtpClient.h"

namespace vlm::mail::test {
namespace fs = std::filesystem;

const auto kDeadline = std::chrono::seconds(120);

inline std::string ReadFile(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

// The loopback server, started with its own output folder, ended by its id.
class CServer {
public:
    // script: smtp_server.py (aiosmtpd) or pop3_server.py (Dovecot).
    explicit CServer(const std::vector<std::string>& extra,
                     const std::string& script = "smtp_server.py") {
        m_Dir = fs::temp_directory_path() /
                ("vlm_smtp_" + std::to_string(getpid()) + "_" + std::to_string(++s_Count));
        fs::remove_all(m_Dir);
        fs::create_directories(m_Dir);
        int out[2];
        if (pipe(out) != 0)
            return;
        std::vector<std::string> args = {
            std::getenv("VLM_PYTHON") ? std::getenv("VLM_PYTHON") : "python3",
            std::string(std::getenv("VLM_MAIL_TOOLS")) + "/" + script, m_Dir.string()};
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

inline Message Compose(CMimeCoder& coder, const std::string& from, const std::string& to,
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

} // namespace vlm::mail::test
