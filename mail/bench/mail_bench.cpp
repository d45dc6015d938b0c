// Sends a 20-page and a 200-page job (about 50 MB of files each) to the
// loopback server: our client's throughput against Python's smtplib sending
// the same files to the same server, and the client's peak memory for a
// small and a large message (it streams the attachments, so the two should
// be about the same).
#include <cstdio>
#include <filesystem>
#include <random>
#include <sys/resource.h>
#include <sys/wait.h>

#include "mail/core/MimeCoder.h"
#include "mail/core/SmtpClient.h"
#include "mail/tests/loopback_server.h"
#include "mail/tests/posix_connector.h"

using namespace vlm::mail;
using namespace vlm::mail::test;
namespace fs = std::filesystem;

namespace {
std::vector<fs::path> MakeFiles(const fs::path& dir, int pages, size_t total) {
    fs::create_directories(dir);
    std::mt19937 rng(pages);
    std::vector<fs::path> files;
    std::string data(total / size_t(pages), '\0');
    for (int i = 0; i < pages; ++i) {
        for (auto& c : data)
            c = char(rng() & 0xFF);
        files.push_back(dir / ("page_" + std::to_string(i + 1) + ".pdf"));
        std::ofstream(files.back(), std::ios::binary) << data;
    }
    return files;
}

double Seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

MailOutcome SendOurs(const std::string& port, const std::vector<fs::path>& files) {
    auto coder = MakeMimeCoder("English");
    CFileParts parts(*coder);
    const Message m =
        Compose(*coder, "scanner@example.com", "desk@example.com", "Scan", "Pages attached.\r\n");
    parts.body = m.body;
    parts.files = files;
    SmtpSettings s;
    s.port = port;
    s.multipart = "mixed";
    s.charset = coder->HeaderInfo().GetCharset();
    CPosixConnector connector;
    return SmtpSend(connector, s, "127.0.0.1", m.header, m.sender, m.recipients, parts, 0);
}

// Peak resident memory (KiB) of a child process that sends the files.
long PeakKiB(const std::string& port, const std::vector<fs::path>& files) {
    const pid_t pid = fork();
    if (pid == 0)
        _exit(SendOurs(port, files).Ok() ? 0 : 1);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? usage.ru_maxrss : -1;
}
} // namespace

int main() {
    CServer server({"--discard"});
    if (server.Port().empty()) {
        std::fprintf(stderr, "loopback server did not start\n");
        return 1;
    }
    const fs::path root =
        fs::temp_directory_path() / ("vlm_mail_bench_" + std::to_string(getpid()));
    int message = 0, failures = 0;
    for (int pages : {20, 200}) {
        const auto files = MakeFiles(root / std::to_string(pages), pages, 50u << 20);
        double total = 0;
        for (const auto& f : files)
            total += double(fs::file_size(f));
        const auto t0 = std::chrono::steady_clock::now();
        const MailOutcome o = SendOurs(server.Port(), files);
        const double ours = Seconds(std::chrono::steady_clock::now() - t0);
        if (!o.Ok() || !server.WaitFor(++message)) {
            std::fprintf(stderr, "send failed: %d %s\n", o.code, o.text.c_str());
            ++failures;
            continue;
        }
        std::string cmd = std::string(std::getenv("VLM_PYTHON")) + " " +
                          std::getenv("VLM_MAIL_BENCH") + "/smtplib_send.py " + server.Port();
        for (const auto& f : files)
            cmd += " " + f.string();
        FILE* p = popen(cmd.c_str(), "r");
        double peer = 0;
        if (!p || std::fscanf(p, "%lf", &peer) != 1 || pclose(p) != 0 ||
            !server.WaitFor(++message)) {
            std::fprintf(stderr, "smtplib send failed\n");
            ++failures;
            continue;
        }
        const double mb = total / (1 << 20);
        std::printf("%3d pages, %.1f MB: ours %.2f s (%.1f MB/s), smtplib %.2f s (%.1f MB/s), "
                    "ratio %.2f\n",
                    pages, mb, ours, mb / ours, peer, mb / peer, peer / ours);
    }
    // Both sets exist before either child starts, so both inherit the same process.
    const auto small = MakeFiles(root / "small", 20, 5u << 20);
    const auto large = MakeFiles(root / "20", 20, 50u << 20);
    const long smallKiB = PeakKiB(server.Port(), small);
    const long largeKiB = PeakKiB(server.Port(), large);
    std::printf("peak memory of the client: 5 MB message %ld KiB, 50 MB message %ld KiB\n",
                smallKiB, largeKiB);
    fs::remove_all(root);
    return failures || smallKiB < 0 || largeKiB < 0 ? 1 : 0;
}
