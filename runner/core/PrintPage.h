// How a scanned page lands on the printer, without Windows: actual size or
// shrink to fit, worked out in 1/1200 inch from the printer's resolution and
// printable area and the page's own resolution; the bands of rows sent to the
// driver; the bottom-up row order of the bitmap; the names of EndDoc results.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kestrel {

// Lengths are compared in units of 1/1200 inch.
constexpr long kPrintUnitsPerInch = 1200;
// Rows of the page sent to the driver at a time.
constexpr long kPrintBandRows = 500;

struct PrintArea {
    long m_nDpiX = 0, m_nDpiY = 0;    // printer pixels per inch
    long m_nWidth = 0, m_nHeight = 0; // printable area, printer pixels
};

struct PrintPageSize {
    long m_nWidth = 0, m_nHeight = 0; // pixels
    long m_nDpi = 0;                  // the page's resolution, both directions
};

struct PrintPlacement {
    bool m_bShrunk = false;
    // The part of the page that is printed, from its top-left corner (all of
    // it unless actual size crops it to the printable area).
    long m_nSrcWidth = 0, m_nSrcHeight = 0;
    // Where that part goes, in printer pixels from the top-left corner of the
    // printable area.
    long m_nDstX = 0, m_nDstY = 0, m_nDstWidth = 0, m_nDstHeight = 0;
};

// Actual size when shrinkToFit is false or when the page fits the printable
// area at its own size: the page at its physical size from the top-left
// corner, cropped to the printable area. Otherwise the whole page scaled by
// width or by height, whichever keeps all of it on the area, aspect kept.
// False when a size or resolution is not positive.
bool PlacePage(const PrintPageSize& page, const PrintArea& area, bool shrinkToFit,
               PrintPlacement& out);

struct PrintBand {
    long m_nFirstRow = 0, m_nRows = 0;  // rows of the page, top-down
    long m_nDstY = 0, m_nDstHeight = 0; // printer pixels
};

// The printed rows in bands of bandRows (the last one shorter), each with the
// printer rows it covers; together the bands cover the destination exactly.
// Bands that would cover no printer row are left out.
std::vector<PrintBand> SplitIntoBands(const PrintPlacement& placement,
                                      long bandRows = kPrintBandRows);

// Bytes of one row of a device-independent bitmap (padded to 4 bytes).
size_t DibRowBytes(long width, int bitsPerPixel);

// Reverses the order of height rows of stride bytes in place (top-down to
// bottom-up); invert also flips every bit, for bilevel rows whose 1 = black
// go into a bitmap whose colour 0 is black.
void ToBottomUpRows(uint8_t* rows, size_t stride, long height, bool invert);

// The name of a failing EndDoc result for the log.
const char* EndDocResultName(int result);

} // namespace kestrel
