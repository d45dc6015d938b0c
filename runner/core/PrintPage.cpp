#include "runner/core/PrintPage.h"

#include <algorithm>

namespace kestrel {

namespace {

// Pixels at dpi to 1/1200 inch, to the nearest unit.
int64_t ToUnits(int64_t pixels, int64_t dpi) {
    return (pixels * kPrintUnitsPerInch + dpi / 2) / dpi;
}

// 1/1200 inch to whole pixels at dpi (a part pixel is not printed).
int64_t ToPixels(int64_t units, int64_t dpi) {
    return units * dpi / kPrintUnitsPerInch;
}

// Printed parts cover at least one printer pixel and stay on the area.
int64_t ClampToArea(int64_t pixels, int64_t area) {
    return std::clamp<int64_t>(pixels, 1, area);
}

} // namespace

bool PlacePage(const PrintPageSize& page, const PrintArea& area, bool shrinkToFit,
               PrintPlacement& out) {
    out = PrintPlacement();
    if (page.m_nWidth <= 0 || page.m_nHeight <= 0 || page.m_nDpi <= 0 || area.m_nDpiX <= 0 ||
        area.m_nDpiY <= 0 || area.m_nWidth <= 0 || area.m_nHeight <= 0)
        return false;
    const int64_t pageW = ToUnits(page.m_nWidth, page.m_nDpi);
    const int64_t pageH = ToUnits(page.m_nHeight, page.m_nDpi);
    const int64_t areaW = ToUnits(area.m_nWidth, area.m_nDpiX);
    const int64_t areaH = ToUnits(area.m_nHeight, area.m_nDpiY);
    const bool fits = pageW <= areaW && pageH <= areaH;

    if (!shrinkToFit || fits) {
        // The crop keeps whole page pixels; their physical size decides the
        // printer pixels they cover.
        const int64_t srcW = pageW <= areaW ? page.m_nWidth : ToPixels(areaW, page.m_nDpi);
        const int64_t srcH = pageH <= areaH ? page.m_nHeight : ToPixels(areaH, page.m_nDpi);
        out.m_nSrcWidth = static_cast<long>(srcW);
        out.m_nSrcHeight = static_cast<long>(srcH);
        out.m_nDstWidth = static_cast<long>(
            ClampToArea(ToPixels(ToUnits(srcW, page.m_nDpi), area.m_nDpiX), area.m_nWidth));
        out.m_nDstHeight = static_cast<long>(
            ClampToArea(ToPixels(ToUnits(srcH, page.m_nDpi), area.m_nDpiY), area.m_nHeight));
        return out.m_nSrcWidth > 0 && out.m_nSrcHeight > 0;
    }

    // pageW / pageH >= areaW / areaH: the width is what limits.
    int64_t dstW = areaW, dstH = areaH;
    if (pageW * areaH >= pageH * areaW)
        dstH = pageH * areaW / pageW;
    else
        dstW = pageW * areaH / pageH;
    out.m_bShrunk = true;
    out.m_nSrcWidth = page.m_nWidth;
    out.m_nSrcHeight = page.m_nHeight;
    out.m_nDstWidth = static_cast<long>(ClampToArea(ToPixels(dstW, area.m_nDpiX), area.m_nWidth));
    out.m_nDstHeight = static_cast<long>(ClampToArea(ToPixels(dstH, area.m_nDpiY), area.m_nHeight));
    return true;
}

std::vector<PrintBand> SplitIntoBands(const PrintPlacement& placement, long bandRows) {
    std::vector<PrintBand> bands;
    const int64_t rows = placement.m_nSrcHeight;
    if (rows <= 0 || bandRows <= 0)
        return bands;
    // A band's edges are those of its rows on the destination, so that one
    // band ends where the next begins.
    auto edge = [&](int64_t row) {
        return placement.m_nDstY + row * placement.m_nDstHeight / rows;
    };
    for (int64_t first = 0; first < rows; first += bandRows) {
        const int64_t last = std::min<int64_t>(rows, first + bandRows);
        const int64_t top = edge(first), bottom = edge(last);
        if (bottom > top)
            bands.push_back({static_cast<long>(first), static_cast<long>(last - first),
                             static_cast<long>(top), static_cast<long>(bottom - top)});
    }
    return bands;
}

size_t DibRowBytes(long width, int bitsPerPixel) {
    return (static_cast<size_t>(width) * static_cast<size_t>(bitsPerPixel) + 31) / 32 * 4;
}

void ToBottomUpRows(uint8_t* rows, size_t stride, long height, bool invert) {
    if (height <= 0)
        return;
    uint8_t* top = rows;
    uint8_t* bottom = rows + (height - 1) * stride;
    for (; top < bottom; top += stride, bottom -= stride) {
        if (invert) {
            for (size_t i = 0; i < stride; ++i) {
                const uint8_t t = top[i];
                top[i] = static_cast<uint8_t>(~bottom[i]);
                bottom[i] = static_cast<uint8_t>(~t);
            }
        } else {
            std::swap_ranges(top, top + stride, bottom);
        }
    }
    if (invert && top == bottom) // the middle row of an odd height
        for (size_t i = 0; i < stride; ++i)
            top[i] = static_cast<uint8_t>(~top[i]);
}

const char* EndDocResultName(int result) {
    switch (result) {
    case -5:
        return "SP_OUTOFMEMORY";
    case -4:
        return "SP_OUTOFDISK";
    case -3:
        return "SP_USERABORT";
    case -1:
        return "SP_ERROR";
    default:
        return "Unknown Error(EndDoc)";
    }
}

} // namespace kestrel
