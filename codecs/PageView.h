// One scanned page as every writer sees it: where its rows lie, how far apart,
// and what their bits mean. A view describes memory it does not own; making
// one copies nothing, so a page goes from the scan engine's buffer or the
// native bitmap to a file without an extra page in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vlm {

// Byte order of three-channel pixels. Scanned pages and bitmaps are B,G,R.
enum class ColourOrder : uint8_t { BGR, RGB };

struct CPageView {
    const uint8_t* m_pTop = nullptr; // first byte of the top row
    ptrdiff_t m_nStep = 0;           // from a row to the one below; negative for bottom-up memory
    int m_nWidth = 0;
    int m_nHeight = 0;
    int m_nBitsPerPixel = 0; // 1, 8 or 24
    int m_nXDpi = 0;
    int m_nYDpi = 0;
    bool m_bOneIsBlack = true; // bilevel only: a set bit is black (grey is always 0 = black)
    ColourOrder m_order = ColourOrder::BGR;

    const uint8_t* Row(int y) const { return m_pTop + m_nStep * static_cast<ptrdiff_t>(y); }
    size_t RowBytes() const { return (static_cast<size_t>(m_nWidth) * m_nBitsPerPixel + 7) / 8; }
    // A page the writers take: depth 1, 8 or 24, a size, rows that do not overlap.
    bool IsValid() const;
};

// Rows top-down, `stride` bytes apart.
CPageView ViewOfRows(const void* rows, size_t stride, int width, int height, int bitsPerPixel,
                     int dpi, bool oneIsBlack = true, ColourOrder order = ColourOrder::BGR);

// A packed device-independent bitmap of `size` bytes: BITMAPINFOHEADER, colour
// table, rows bottom-up (top-down for a negative height). Depths 1, 8 and 24
// without compression; a block too short for its rows is refused. A bilevel
// bitmap's polarity comes from its colour table.
bool ViewOfDib(const void* dib, size_t size, CPageView& view, std::string* error = nullptr);

// Dots per inch from pixels per metre, rounded to nearest, and back.
int DpiFromPelsPerMeter(int32_t pelsPerMeter);
int32_t PelsPerMeterFromDpi(int dpi);

// What a writer wants its rows to look like.
struct CRowForm {
    bool m_bOneIsBlack = true; // bilevel polarity
    ColourOrder m_order = ColourOrder::BGR;
};

// Hands out a view's rows in a writer's form. A row that already has it is
// the view's own; any other is converted into one row of scratch (bilevel
// rows also when the bits past the last pixel need clearing), so a page is
// converted once, row by row.
class CRowReader {
public:
    CRowReader(const CPageView& view, const CRowForm& form);
    const uint8_t* Row(int y);
    bool Converts() const { return m_bInvert || m_bSwap || m_bMask; }
    // Row y in the writer's form at dst (RowBytes() bytes), converted or not.
    void ConvertInto(int y, uint8_t* dst) const;

private:
    const CPageView& m_view;
    bool m_bInvert = false;
    bool m_bSwap = false;
    bool m_bMask = false;
    std::vector<uint8_t> m_vecRow;
};

// The page as one block of rows top-down, for interfaces that take the rows
// in one piece (the JPEG library, the PDF maker): the view's own memory when
// it already is such a block in the wanted form, else one converted copy
// with rows padded to 4 bytes.
class CPageRows {
public:
    // false when the copy cannot be allocated.
    bool Make(const CPageView& view, const CRowForm& form);
    const uint8_t* Rows() const { return m_pRows; }
    size_t Stride() const { return m_nStride; }
    bool IsCopy() const { return m_pCopy != nullptr; }

private:
    std::unique_ptr<uint8_t[]> m_pCopy; // every byte written by Make, none cleared twice
    const uint8_t* m_pRows = nullptr;
    size_t m_nStride = 0;
};

} // namespace vlm
