// Synthetic document pages for the codec and PDF tests.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#ifdef VLM_HAVE_PAGEGEN
#include "pagegen.h"
#endif

namespace vlmtest {

// Rows top-down without padding: 1-bit MSB first with 1 = black, 8-bit grey, 24-bit B,G,R.
inline std::vector<uint8_t> MakePage(int width, int height, int bpp, int dpi, int pageNumber) {
#ifdef VLM_HAVE_PAGEGEN
    auto page = vx410sim::GeneratePage(width, height, bpp, dpi, pageNumber);
    if (!page.empty())
        return page;
#endif
    // Fallback: text-like bars on white with a smooth photo patch.
    const size_t rowBytes = (static_cast<size_t>(width) * bpp + 7) / 8;
    std::vector<uint8_t> img(rowBytes * height, bpp == 1 ? 0 : 255);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const bool ink = ((y / 12) % 3 == 1) && ((x / 9 + y / 36 + pageNumber) % 7 != 0) &&
                             x > width / 10 && x < width * 9 / 10;
            const bool photo =
                x > width / 2 && y > height / 2 && x < width * 3 / 4 && y < height * 3 / 4;
            const int v =
                ink     ? 20
                : photo ? static_cast<int>(128 + 100 * std::sin(x * 0.05) * std::cos(y * 0.03))
                        : 255;
            if (bpp == 1) {
                if (v < 128)
                    img[y * rowBytes + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
            } else if (bpp == 8) {
                img[y * rowBytes + x] = static_cast<uint8_t>(v);
            } else {
                uint8_t* p = &img[y * rowBytes + 3 * x];
                p[0] = static_cast<uint8_t>(v);
                p[1] = static_cast<uint8_t>(photo ? 255 - v : v);
                p[2] = static_cast<uint8_t>(photo ? (v + 60) % 256 : v);
            }
        }
    return img;
}

inline double Psnr(const uint8_t* a, const uint8_t* b, size_t n) {
    double se = 0;
    for (size_t i = 0; i < n; ++i) {
        const double d = static_cast<double>(a[i]) - b[i];
        se += d * d;
    }
    if (se == 0)
        return 99.0;
    return 10.0 * std::log10(255.0 * 255.0 * n / se);
}

} // namespace vlmtest
