#include "pagerender.h"

#include "pagegen.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vx410ds {

int ScanFormat::Width() const {
    return std::max(1, int(std::lround(m_dWidthIn * m_nXRes)));
}
int ScanFormat::Height() const {
    return std::max(1, int(std::lround(m_dLengthIn * m_nYRes)));
}

namespace {

bool Fail(std::string* pError, const char* text) {
    if (pError)
        *pError = text;
    return false;
}

inline int Luma(int b, int g, int r) {
    return (r * 77 + g * 150 + b * 29) >> 8;
}

// Reads one pixel of a simulator-layout image as B,G,R.
inline void PixelBgr(const SheetImage& s, size_t rowBytes, int x, int y, int& b, int& g, int& r) {
    const uint8_t* row = s.m_pData + size_t(y) * rowBytes;
    if (s.m_nBitsPerPixel == 1) {
        int v = (row[x >> 3] >> (7 - (x & 7))) & 1 ? 0 : 255;
        b = g = r = v;
    } else if (s.m_nBitsPerPixel == 8) {
        b = g = r = row[x];
    } else {
        b = row[3 * x], g = row[3 * x + 1], r = row[3 * x + 2];
    }
}

void Allocate(const ScanFormat& fmt, ScannedPage& out) {
    out.m_nWidth = fmt.Width();
    out.m_nHeight = fmt.Height();
    out.m_nBitsPerPixel = fmt.BitsPerPixel();
    out.m_nRowBytes = (size_t(out.m_nWidth) * out.m_nBitsPerPixel + 7) / 8;
    // White paper: 1 bits are white in scan order, 0xFF is white in grey/colour.
    out.m_data.assign(out.m_nRowBytes * out.m_nHeight, 0xFF);
}

} // namespace

bool FromSimulatorLayout(const ScanFormat& fmt, const uint8_t* p, size_t n, ScannedPage& out,
                         std::string* pError) {
    Allocate(fmt, out);
    if (n != out.m_data.size())
        return Fail(pError, "page image has the wrong size");
    const size_t rb = out.m_nRowBytes;
    if (out.m_nBitsPerPixel == 1) {
        for (size_t i = 0; i < n; ++i)
            out.m_data[i] = uint8_t(~p[i]);
        // Keep the pad bits of each row white as well.
        const int pad = int(rb * 8) - out.m_nWidth;
        if (pad > 0)
            for (int y = 0; y < out.m_nHeight; ++y)
                out.m_data[y * rb + rb - 1] |= uint8_t((1u << pad) - 1);
    } else if (out.m_nBitsPerPixel == 8) {
        std::memcpy(out.m_data.data(), p, n);
    } else {
        for (size_t i = 0; i + 2 < n; i += 3) {
            out.m_data[i] = p[i + 2];
            out.m_data[i + 1] = p[i + 1];
            out.m_data[i + 2] = p[i];
        }
    }
    return true;
}

bool RenderGenerated(const ScanFormat& fmt, int pageNumber, ScannedPage& out, std::string* pError) {
    std::vector<uint8_t> sim = vx410sim::GeneratePage(fmt.Width(), fmt.Height(), fmt.BitsPerPixel(),
                                                      fmt.m_nXRes, pageNumber);
    if (sim.empty())
        return Fail(pError, "page generator refused the page format");
    return FromSimulatorLayout(fmt, sim.data(), sim.size(), out, pError);
}

bool RenderSheet(const ScanFormat& fmt, const SheetImage& sheet, ScannedPage& out,
                 std::string* pError) {
    if (!sheet.m_pData || sheet.m_nWidth <= 0 || sheet.m_nHeight <= 0 ||
        (sheet.m_nBitsPerPixel != 1 && sheet.m_nBitsPerPixel != 8 && sheet.m_nBitsPerPixel != 24))
        return Fail(pError, "sheet image is not usable");
    Allocate(fmt, out);
    const double dpi = sheet.m_nDpi > 0 ? sheet.m_nDpi : 200.0;
    const size_t srcRow = (size_t(sheet.m_nWidth) * sheet.m_nBitsPerPixel + 7) / 8;
    const int w = std::min(out.m_nWidth, int(sheet.m_nWidth * fmt.m_nXRes / dpi));
    const int h = std::min(out.m_nHeight, int(sheet.m_nHeight * fmt.m_nYRes / dpi));
    const size_t rb = out.m_nRowBytes;
    for (int y = 0; y < h; ++y) {
        const int sy = std::min(sheet.m_nHeight - 1, int(y * dpi / fmt.m_nYRes));
        uint8_t* row = out.m_data.data() + size_t(y) * rb;
        for (int x = 0; x < w; ++x) {
            const int sx = std::min(sheet.m_nWidth - 1, int(x * dpi / fmt.m_nXRes));
            int b, g, r;
            PixelBgr(sheet, srcRow, sx, sy, b, g, r);
            if (out.m_nBitsPerPixel == 1) {
                if (Luma(b, g, r) < 128)
                    row[x >> 3] &= uint8_t(~(0x80 >> (x & 7)));
            } else if (out.m_nBitsPerPixel == 8) {
                row[x] = uint8_t(Luma(b, g, r));
            } else {
                row[3 * x] = uint8_t(r), row[3 * x + 1] = uint8_t(g), row[3 * x + 2] = uint8_t(b);
            }
        }
    }
    return true;
}

namespace {
void Put16(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    v[at] = uint8_t(x), v[at + 1] = uint8_t(x >> 8);
}
void Put32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    Put16(v, at, x & 0xFFFF), Put16(v, at + 2, x >> 16);
}
} // namespace

std::vector<uint8_t> MakePackedDib(const ScannedPage& page, int xRes, int yRes) {
    const int bpp = page.m_nBitsPerPixel;
    const int colors = bpp == 1 ? 2 : bpp == 8 ? 256 : 0;
    const size_t stride = (size_t(page.m_nWidth) * bpp + 31) / 32 * 4;
    const size_t header = 40 + size_t(colors) * 4;
    std::vector<uint8_t> dib(header + stride * page.m_nHeight, 0);
    Put32(dib, 0, 40);
    Put32(dib, 4, uint32_t(page.m_nWidth));
    Put32(dib, 8, uint32_t(page.m_nHeight)); // positive: bottom-up
    Put16(dib, 12, 1);
    Put16(dib, 14, uint32_t(bpp));
    Put32(dib, 16, 0); // BI_RGB
    Put32(dib, 20, uint32_t(stride * page.m_nHeight));
    Put32(dib, 24, uint32_t(std::lround(xRes / 0.0254)));
    Put32(dib, 28, uint32_t(std::lround(yRes / 0.0254)));
    Put32(dib, 32, uint32_t(colors));
    Put32(dib, 36, uint32_t(colors));
    // Palettes ascend from black, matching the 0 = black scan order.
    for (int i = 0; i < colors; ++i) {
        const uint8_t v = uint8_t(colors == 2 ? i * 255 : i);
        dib[40 + 4 * i] = dib[41 + 4 * i] = dib[42 + 4 * i] = v;
    }
    for (int y = 0; y < page.m_nHeight; ++y) {
        const uint8_t* src = page.m_data.data() + size_t(y) * page.m_nRowBytes;
        uint8_t* dst = dib.data() + header + size_t(page.m_nHeight - 1 - y) * stride;
        if (bpp == 24) {
            for (int x = 0; x < page.m_nWidth; ++x) {
                dst[3 * x] = src[3 * x + 2];
                dst[3 * x + 1] = src[3 * x + 1];
                dst[3 * x + 2] = src[3 * x];
            }
        } else {
            std::memcpy(dst, src, page.m_nRowBytes);
        }
    }
    return dib;
}

} // namespace vx410ds
