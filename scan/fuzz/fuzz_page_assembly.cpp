// Random page geometries and strip sequences against the page assembler and
// the splitter: nothing may be written or read outside the page buffers.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "Bunkatsu.h"
#include "PageAssembler.h"

namespace {
struct CReader {
    const uint8_t* p;
    size_t n;
    uint32_t Take(uint32_t max) {
        uint32_t v = 0;
        for (int i = 0; i < 4 && n; ++i, ++p, --n)
            v = (v << 8) | *p;
        return max ? v % (max + 1) : 0;
    }
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CReader r{data, size};
    static const uint32_t kBpp[] = {1, 8, 24};
    const uint32_t bpp = kBpp[r.Take(2)];
    const uint32_t spp = bpp == 24 ? 3 : 1;
    const int32_t width = static_cast<int32_t>(r.Take(600)) - 1;
    const int32_t height = static_cast<int32_t>(r.Take(600)) - 1;
    VlmImageInfo info{};
    CPageAssembler pa(info);
    if (!pa.Ready(width, height, bpp, spp, 100, 100, r.Take(700), r.Take(700)))
        return 0;
    std::vector<uint8_t> strip(64 * 1024, 0xA5);
    uint32_t rows = 0;
    for (int i = 0; i < 64 && r.n; ++i) {
        SMemStrip s;
        s.BytesPerRow = r.Take(2000) + 1;
        s.Rows = r.Take(static_cast<uint32_t>(strip.size() / s.BytesPerRow));
        s.BytesWritten = r.Take(static_cast<uint32_t>(strip.size()));
        s.pData = strip.data();
        switch (r.Take(3)) {
        case 0:
            if (rows + s.Rows <= static_cast<uint32_t>(info.Height))
                pa.Buffer(rows, s, true);
            else if (!pa.BufferEx(rows, s, bpp == 24))
                break;
            rows += s.Rows;
            break;
        case 1:
            if (pa.Committed() >= pa.DataSize() + s.BytesWritten)
                pa.BufferJpeg(s);
            else
                pa.BufferExJpeg(s);
            break;
        case 2:
            pa.Ready2(static_cast<int32_t>(r.Take(900)), static_cast<int32_t>(r.Take(900)), bpp,
                      spp, 100, 100);
            rows = 0;
            break;
        default:
            pa.CopyRow(r.Take(1000), strip.data(), r.Take(4000), true);
            break;
        }
    }
    // The transfer ends whole or cut short.
    if (r.Take(1))
        pa.PreDone(rows);
    else
        pa.EndIncomplete();
    if (info.lpImage && info.Height > 0) {
        // Every row the page describes is readable.
        uint8_t sum = 0;
        for (int32_t y = 0; y < info.Height; ++y)
            sum = static_cast<uint8_t>(sum ^ info.lpImage[size_t(y) * info.Sync + info.Sync - 1]);
        volatile uint8_t sink = sum;
        (void)sink;
        CBunkatsu b(static_cast<int>(r.Take(5)), static_cast<int>(r.Take(5)),
                    static_cast<int>(r.Take(3)), static_cast<int>(r.Take(1)));
        b.Split(info);
    }
    return 0;
}
