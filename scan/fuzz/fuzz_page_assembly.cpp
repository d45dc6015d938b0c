// Random page geometries and strip sequences against the page assembler and
// the splitter: nothing may be written or read outside the page buffers or
// the transfer buffer. Strips come as a source may describe them, unclamped;
// the engine's own check decides which are read, as in the transfer loop.
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
        return max == UINT32_MAX ? v : v % (max + 1);
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
    // The transfer buffer, exactly as large as the source was told.
    std::vector<uint8_t> strip(r.Take(64 * 1024) + 1, 0xA5);
    const uint32_t cbStrip = static_cast<uint32_t>(strip.size());
    uint32_t rows = 0;
    bool bRefused = false;
    for (int i = 0; i < 64 && r.n && !bRefused; ++i) {
        const uint32_t op = r.Take(3);
        // Plausible numbers or any 32-bit ones.
        const bool bAny = r.Take(1) != 0;
        SMemStrip s;
        s.BytesPerRow = r.Take(bAny ? UINT32_MAX : 2000);
        s.Rows = r.Take(bAny ? UINT32_MAX : cbStrip);
        s.BytesWritten = r.Take(bAny ? UINT32_MAX : 2 * cbStrip);
        s.bCompressed = op == 1;
        s.pData = strip.data();
        if (op <= 1 && !CPageAssembler::StripFitsBuffer(s, strip.size())) {
            bRefused = true; // the transfer fails: the page ends with what arrived
            break;
        }
        switch (op) {
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
            pa.CopyRow(r.Take(1000), strip.data(), r.Take(cbStrip), true);
            break;
        }
    }
    // The transfer ends whole or cut short.
    if (!bRefused && r.Take(1))
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
