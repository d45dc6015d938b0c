// Peak memory of a long multi-page PDF: the same writer run for 20 and for 200
// pages in child processes, each child's peak resident size read by the parent.
#include "pdfwriter.h"
#include "testpage.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

int WriteDocument(int pages, const std::string& path) {
    // A4 at 200 dpi; the three page kinds in turn.
    const int w = 1654, h = 2339;
    const std::vector<uint8_t> rows[3] = {vlmtest::MakePage(w, h, 1, 200, 1),
                                          vlmtest::MakePage(w, h, 8, 200, 2),
                                          vlmtest::MakePage(w, h, 24, 200, 3)};
    vlm::pdf::CPdfWriter writer;
    if (!writer.Open(path, {}))
        return 1;
    for (int i = 0; i < pages; ++i) {
        const int kind = i % 3, bpp = kind == 0 ? 1 : kind == 1 ? 8 : 24;
        const vlm::CPageView img = vlm::ViewOfRows(
            rows[kind].data(), (static_cast<size_t>(w) * bpp + 7) / 8, w, h, bpp, 200);
        if (!writer.AddPage(img))
            return 1;
    }
    return writer.Close() ? 0 : 1;
}

} // namespace

int main() {
    long peak[2] = {0, 0};
    const int counts[2] = {20, 200};
    for (int i = 0; i < 2; ++i) {
        const std::string path = "pdf_bench_" + std::to_string(counts[i]) + ".pdf";
        const auto start = std::chrono::steady_clock::now();
        const pid_t child = fork();
        if (child == 0)
            _exit(WriteDocument(counts[i], path));
        int status = 0;
        struct rusage usage = {};
        if (child < 0 || wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) ||
            WEXITSTATUS(status) != 0) {
            std::printf("writing %d pages failed\n", counts[i]);
            return 1;
        }
        const double secs =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        peak[i] = usage.ru_maxrss; // KiB
        FILE* f = std::fopen(path.c_str(), "rb");
        long size = 0;
        if (f) {
            std::fseek(f, 0, SEEK_END);
            size = std::ftell(f);
            std::fclose(f);
        }
        std::remove(path.c_str());
        std::printf("%3d pages (A4 200 dpi, bilevel/grey/colour): %ld KiB peak resident, %.1f MB "
                    "file, %.1f ms per page\n",
                    counts[i], peak[i], size / 1e6, secs * 1e3 / counts[i]);
    }
    const double growth = static_cast<double>(peak[1]) / peak[0];
    std::printf("peak memory 200 pages / 20 pages: %.3f (target: independent of the page count, "
                "<= 1.05: %s)\n",
                growth, growth <= 1.05 ? "met" : "NOT met");
    return 0;
}
