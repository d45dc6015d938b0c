// One PNM page to a one-page PDF at a compression code, timed:
//   pnm2pdf CODE IN.pnm OUT.pdf [DPI]
// prints "bytes=N ms=T". For the benchmark and for trying pages by hand.
#include "pdfwriter.h"
#include "pnm.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: pnm2pdf CODE IN.pnm OUT.pdf [DPI]\n");
        return 2;
    }
    vlmtest::PnmImage img;
    if (!vlmtest::ReadPnm(argv[2], img)) {
        std::fprintf(stderr, "cannot read %s\n", argv[2]);
        return 1;
    }
    const int dpi = argc > 4 ? std::atoi(argv[4]) : 300;
    const vlm::CPageView view =
        vlm::ViewOfRows(img.pixels.data(), static_cast<size_t>(img.width) * img.channels, img.width,
                        img.height, 8 * img.channels, dpi, true, vlm::ColourOrder::RGB);
    vlm::pdf::DocumentSettings settings;
    settings.compression = std::atoi(argv[1]);
    vlm::pdf::CPdfWriter writer;
    std::string error;
    const auto start = std::chrono::steady_clock::now();
    if (!writer.Open(argv[3], settings, &error) || !writer.AddPage(view, &error) ||
        !writer.Close(&error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("bytes=%llu ms=%.1f\n", static_cast<unsigned long long>(writer.BytesWritten()), ms);
    return 0;
}
