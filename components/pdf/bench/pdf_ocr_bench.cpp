// Speed and memory of documents with text recognition: an A4 page of text at
// 300 dpi (grey) made into a 20-page and a 200-page document with recognition
// off, in English and in Japanese, each in a child process whose peak resident
// size the parent reads. "pdf_ocr_bench 20" runs the 20-page documents only.
#include "pafc.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct Page {
    std::vector<uint8_t> rows;
    int width = 0, height = 0;
};

// Text filling most of an A4 page at 300 dpi, 11 pt, in five paragraphs (one
// caption takes only so much text).
Page RenderPage(const std::string& text, const char* font) {
    const std::string paragraph = text + " " + text + " " + text + " " + text;
    std::string cmd = std::string("convert -density 300 -units PixelsPerInch -background white "
                                  "-fill black -font ") +
                      font + " -pointsize 11 -size 2200x";
    for (int i = 0; i < 5; ++i)
        cmd += " caption:'" + paragraph + "'";
    cmd += " -append -bordercolor white -border 140 -gravity north -extent 2480x3508 -depth 8 "
           "pgm:pdf_ocr_bench.pgm";
    Page page;
    if (std::system(cmd.c_str()) != 0)
        return page;
    std::ifstream f("pdf_ocr_bench.pgm", std::ios::binary);
    std::string magic;
    int maxv = 0;
    f >> magic >> page.width >> page.height >> maxv;
    f.get();
    page.rows.resize(static_cast<size_t>(page.width) * page.height);
    f.read(reinterpret_cast<char*>(page.rows.data()),
           static_cast<std::streamsize>(page.rows.size()));
    return f ? page : Page();
}

// The document as the runner makes it; the time the scanner waited in
// PAFC_make goes to stdout for the parent.
int MakeDocument(const Page& page, int pages, uint32_t flags, const std::string& path) {
    if (vlm_PAFC_exmodeset(0, static_cast<int>(flags), 0) != PAFC_OK ||
        vlm_PAFC_open(path.c_str()) != PAFC_OK)
        return 1;
    const PAFC_PAGE record = {page.rows.data(), page.width, page.width, page.height, 300, 2};
    double waited = 0;
    for (int i = 0; i < pages; ++i) {
        const auto start = std::chrono::steady_clock::now();
        if (vlm_PAFC_make(&record, 0) != PAFC_OK)
            return 1;
        waited += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    const int rc = vlm_PAFC_close();
    std::printf("%.1f\n", waited);
    std::fflush(stdout); // the child ends with _exit
    return rc == PAFC_OK ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    const Page pages[2] = {
        RenderPage("Scanned invoices arrive every morning and the office keeps them as searchable "
                   "documents. The quick brown fox jumps over the lazy dog while seven wizards "
                   "quietly judge the boxing match.",
                   "DejaVu-Sans"),
        RenderPage("スキャナーで読み取った書類は、検索できる文書として保存されます。"
                   "毎朝届く請求書を担当者が確認し、必要な情報を入力します。",
                   "Noto-Sans-CJK-JP")};
    if (pages[0].rows.empty() || pages[1].rows.empty()) {
        std::printf("rendering the pages failed (ImageMagick and the fonts are needed)\n");
        return 1;
    }
    const int counts[2] = {20, 200};
    const int runs = argc > 1 && std::atoi(argv[1]) == 20 ? 1 : 2;
    const struct {
        const char* name;
        uint32_t flags;
        int page;
    } modes[3] = {{"off", 0x80000002u, 0}, {"eng", 0x2, 0}, {"jpn", 0x1, 1}};
    for (int c = 0; c < runs; ++c) {
        long peak[3] = {};
        for (int m = 0; m < 3; ++m) {
            const std::string path = "pdf_ocr_bench.pdf";
            int fds[2];
            if (pipe(fds) != 0)
                return 1;
            const auto start = std::chrono::steady_clock::now();
            const pid_t child = fork();
            if (child == 0) {
                dup2(fds[1], 1);
                _exit(MakeDocument(pages[modes[m].page], counts[c], modes[m].flags, path));
            }
            close(fds[1]);
            char out[64] = "";
            const ssize_t n = read(fds[0], out, sizeof(out) - 1);
            close(fds[0]);
            int status = 0;
            struct rusage usage = {};
            if (child < 0 || wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) ||
                WEXITSTATUS(status) != 0 || n <= 0) {
                std::printf("%d pages, recognition %s: failed\n", counts[c], modes[m].name);
                return 1;
            }
            const double secs =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            peak[m] = usage.ru_maxrss;
            std::printf("%3d pages A4 300 dpi grey, recognition %-3s: %6.1f s, %6.1f pages/min, "
                        "scanner waited %6.1f s in PAFC_make, peak resident %ld MiB\n",
                        counts[c], modes[m].name, secs, counts[c] * 60 / secs, std::atof(out),
                        peak[m] / 1024);
            std::fflush(stdout);
            std::remove(path.c_str());
        }
    }
    std::remove("pdf_ocr_bench.pgm");
    return 0;
}
