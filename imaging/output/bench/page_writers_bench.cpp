// Every page writer of the job session on an A4 200 dpi page of each kind
// (bilevel, grey, colour), fed from a packed bitmap as the native transfer
// delivers it and from the scan engine's buffer as a memory transfer does:
// time per page (best of several runs, the machine is shared) and the peak
// heap the writer takes beyond the page itself. The floor in the same run is
// writing the page's bytes to a file as they are.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <malloc.h>
#include <new>
#include <string>
#include <unistd.h>
#include <vector>

#include "codecs/PageView.h"
#include "imaging/output/PageImage.h"
#include "imaging/tiff.h"
#include "jpegcodec.h"
#include "pdfwriter.h"
#include "testpage.h"

// Heap accounting for the peak: every C++ allocation of the process.
namespace {
std::atomic<size_t> g_nHeapNow{0}, g_nHeapPeak{0};
void* Allocate(size_t n) {
    void* p = std::malloc(n ? n : 1);
    if (!p)
        throw std::bad_alloc();
    const size_t now = g_nHeapNow += malloc_usable_size(p);
    size_t peak = g_nHeapPeak.load();
    while (now > peak && !g_nHeapPeak.compare_exchange_weak(peak, now)) {
    }
    return p;
}
void Release(void* p) {
    if (p) {
        g_nHeapNow -= malloc_usable_size(p);
        std::free(p);
    }
}
} // namespace
void* operator new(size_t n) {
    return Allocate(n);
}
void* operator new[](size_t n) {
    return Allocate(n);
}
void* operator new(size_t n, const std::nothrow_t&) noexcept {
    try {
        return Allocate(n);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](size_t n, const std::nothrow_t&) noexcept {
    try {
        return Allocate(n);
    } catch (...) {
        return nullptr;
    }
}
void operator delete(void* p) noexcept {
    Release(p);
}
void operator delete[](void* p) noexcept {
    Release(p);
}
void operator delete(void* p, size_t) noexcept {
    Release(p);
}
void operator delete[](void* p, size_t) noexcept {
    Release(p);
}

namespace {

constexpr int kWidth = 1654, kHeight = 2339, kDpi = 200;
constexpr int kRuns = 15;

// Rows top-down without padding: 1-bit 1 = black, 8-bit grey, 24-bit B,G,R.
std::vector<uint8_t> MakeRows(int bpp) {
    return vlmtest::MakePage(kWidth, kHeight, bpp, kDpi, bpp);
}

void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// A packed bitmap as the data source hands it over: bottom-up, tables
// ascending from black (bilevel 0 = black).
std::vector<uint8_t> MakeDib(const std::vector<uint8_t>& rows, int bpp) {
    const int colours = bpp == 1 ? 2 : bpp == 8 ? 256 : 0;
    const size_t rowBytes = (static_cast<size_t>(kWidth) * bpp + 7) / 8;
    const size_t stride = (static_cast<size_t>(kWidth) * bpp + 31) / 32 * 4;
    const size_t header = 40 + static_cast<size_t>(colours) * 4;
    std::vector<uint8_t> dib(header + stride * kHeight, 0);
    Put32(&dib[0], 40);
    Put32(&dib[4], kWidth);
    Put32(&dib[8], kHeight);
    dib[12] = 1;
    dib[14] = static_cast<uint8_t>(bpp);
    Put32(&dib[24], static_cast<uint32_t>(kDpi / 0.0254 + 0.5));
    Put32(&dib[28], static_cast<uint32_t>(kDpi / 0.0254 + 0.5));
    Put32(&dib[32], colours);
    for (int i = 0; i < colours; ++i)
        dib[40 + 4 * i] = dib[41 + 4 * i] = dib[42 + 4 * i] =
            static_cast<uint8_t>(colours == 2 ? i * 255 : i);
    for (int y = 0; y < kHeight; ++y) {
        uint8_t* dst = &dib[header + stride * (kHeight - 1 - y)];
        std::memcpy(dst, &rows[rowBytes * y], rowBytes);
        if (bpp == 1)
            for (size_t i = 0; i < rowBytes; ++i)
                dst[i] = static_cast<uint8_t>(~dst[i]);
    }
    return dib;
}

enum class Writer { Bmp, Jpeg, Pdf, TiffNone, TiffG4, TiffJpeg };
const char* Name(Writer w) {
    switch (w) {
    case Writer::Bmp:
        return "BMP";
    case Writer::Jpeg:
        return "JPEG";
    case Writer::Pdf:
        return "PDF";
    case Writer::TiffNone:
        return "TIFF uncompressed";
    case Writer::TiffG4:
        return "TIFF Group 4";
    default:
        return "TIFF JPEG";
    }
}
bool Accepts(Writer w, int bpp) {
    if (w == Writer::Jpeg || w == Writer::TiffJpeg)
        return bpp != 1;
    if (w == Writer::TiffG4)
        return bpp == 1;
    return true;
}

int SaveJpeg(const char* path, const unsigned char* rows, int width, int height, int dpi,
             int colour, int stride, int quality) {
    return vlm_save_JPEG(path, rows, width, height, dpi, colour, stride, quality);
}

// The rows of a page in the scan engine's buffer (memory transfer):
// top-down, 4-byte rows, bilevel 0 = black, colour B,G,R.
std::vector<uint8_t> MakeBuffer(const std::vector<uint8_t>& rows, int bpp) {
    const size_t rowBytes = (static_cast<size_t>(kWidth) * bpp + 7) / 8;
    const size_t stride = (rowBytes + 3) / 4 * 4;
    std::vector<uint8_t> buffer(stride * kHeight, 0);
    for (int y = 0; y < kHeight; ++y)
        for (size_t x = 0; x < rowBytes; ++x)
            buffer[stride * y + x] =
                static_cast<uint8_t>(bpp == 1 ? ~rows[rowBytes * y + x] : rows[rowBytes * y + x]);
    return buffer;
}

// One page through the writer as the job session calls it; true on success.
bool WritePage(Writer w, const vlm::CPageView& page, const std::string& path) {
    const vlm::CRowForm libraryForm{true, vlm::ColourOrder::BGR};
    switch (w) {
    case Writer::Bmp:
        return vlm::output::WriteBmpFile(path, page) == 0;
    case Writer::Jpeg: {
        vlm::CPageRows rows;
        return rows.Make(page, libraryForm) &&
               vlm_save_JPEG(path.c_str(), rows.Rows(), page.m_nWidth, page.m_nHeight, page.m_nXDpi,
                             page.m_nBitsPerPixel == 24 ? 2 : 1, static_cast<int>(rows.Stride()),
                             75) == 0;
    }
    case Writer::Pdf: {
        // As pafcv2.dll gets the page: one block of rows in its form.
        vlm::CPageRows rows;
        if (!rows.Make(page, libraryForm))
            return false;
        vlm::pdf::CPdfWriter writer;
        return writer.Open(path, {}) &&
               writer.AddPage(vlm::ViewOfRows(rows.Rows(), rows.Stride(), page.m_nWidth,
                                              page.m_nHeight, page.m_nBitsPerPixel,
                                              page.m_nXDpi)) &&
               writer.Close();
    }
    default: {
        vlm::output::CTiffPageOptions options;
        options.m_bCompress = w != Writer::TiffNone;
        return vlm::output::WriteTiffPageFile(path, page, options) == 0;
    }
    }
}

// The floor: the bitmap's pixel bytes written to a file as they are.
bool WriteRaw(const std::vector<uint8_t>& dib, const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    const bool ok = std::fwrite(dib.data(), 1, dib.size(), f) == dib.size();
    return std::fclose(f) == 0 && ok;
}

// Processor time of this process (user and system): other work on a shared
// machine does not count, the writer's own file writing does.
double CpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

template <class F> double BestMs(F&& f, bool& ok) {
    double best = 1e30;
    for (int i = 0; i < kRuns; ++i) {
        const double t0 = CpuMs();
        ok = f() && ok;
        best = std::min(best, CpuMs() - t0);
    }
    return best;
}

} // namespace

int main(int argc, char** argv) {
    // Optional: only the writer and page kind named (e.g. "JPEG grey").
    const std::string onlyWriter = argc > 1 ? argv[1] : "", onlyKind = argc > 2 ? argv[2] : "";
    vlm::SetTiffConsoleSink([](const char*) {});
    vlm::SetTiffDebugSink(nullptr);
    vlm::TiffJpegCodec codec;
    codec.pfnSave = SaveJpeg;
    vlm::SetTiffJpegCodec(codec);

    // A memory-backed folder where there is one: the disk's own speed is not measured.
    std::string tmpl = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    tmpl += "/page_writers_bench_XXXXXX";
    const char* dir = mkdtemp(tmpl.data());
    if (!dir)
        return 1;
    const std::string path = std::string(dir) + "/page", raw = std::string(dir) + "/raw";
    std::printf("A4 %d x %d at %d dpi; best of %d runs, processor time\n", kWidth, kHeight, kDpi,
                kRuns);
    std::printf("%-18s %-7s %-7s %9s %9s %8s %12s\n", "writer", "page", "from", "ms/page", "raw ms",
                "ratio", "peak heap/page");
    bool allOk = true;
    for (int bpp : {1, 8, 24}) {
        const std::vector<uint8_t> rows = MakeRows(bpp);
        const std::vector<uint8_t> dib = MakeDib(rows, bpp), buffer = MakeBuffer(rows, bpp);
        vlm::CPageView fromDib;
        if (!vlm::ViewOfDib(dib.data(), dib.size(), fromDib))
            return 1;
        const vlm::CPageView fromBuffer = vlm::ViewOfRows(buffer.data(), buffer.size() / kHeight,
                                                          kWidth, kHeight, bpp, kDpi, false);
        const char* kind = bpp == 1 ? "bilevel" : bpp == 8 ? "grey" : "colour";
        bool ok = true;
        const double rawMs = BestMs([&] { return WriteRaw(dib, raw); }, ok);
        for (Writer w : {Writer::Bmp, Writer::Jpeg, Writer::Pdf, Writer::TiffNone, Writer::TiffG4,
                         Writer::TiffJpeg}) {
            if (!Accepts(w, bpp) || (!onlyWriter.empty() && onlyWriter != Name(w)) ||
                (!onlyKind.empty() && onlyKind != kind))
                continue;
            const vlm::CPageView* sources[2] = {&fromDib, &fromBuffer};
            for (const vlm::CPageView* page : sources) {
                ok = true;
                const double ms = BestMs([&] { return WritePage(w, *page, path); }, ok);
                const size_t before = g_nHeapNow.load();
                g_nHeapPeak = before;
                ok = WritePage(w, *page, path) && ok;
                const double heap = static_cast<double>(g_nHeapPeak.load() - before) / dib.size();
                std::printf("%-18s %-7s %-7s %9.2f %9.2f %8.2f %12.2f%s\n", Name(w), kind,
                            page == &fromDib ? "bitmap" : "buffer", ms, rawMs, ms / rawMs, heap,
                            ok ? "" : "  FAILED");
                allOk = allOk && ok;
            }
        }
    }
    std::remove(path.c_str());
    std::remove(raw.c_str());
    rmdir(dir);
    return allOk ? 0 : 1;
}
