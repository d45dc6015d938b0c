#include "PageView.h"

#include <climits>
#include <cstring>
#include <new>

namespace vlm {

namespace {

constexpr int kMaxSide = 1 << 20;

uint32_t Le32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint16_t Le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
bool Fail(std::string* error, const char* text) {
    if (error)
        *error = text;
    return false;
}

} // namespace

bool CPageView::IsValid() const {
    if (!m_pTop || m_nWidth <= 0 || m_nHeight <= 0 || m_nWidth > kMaxSide || m_nHeight > kMaxSide)
        return false;
    if (m_nBitsPerPixel != 1 && m_nBitsPerPixel != 8 && m_nBitsPerPixel != 24)
        return false;
    const size_t step = static_cast<size_t>(m_nStep < 0 ? -m_nStep : m_nStep);
    return m_nHeight == 1 || step >= RowBytes();
}

CPageView ViewOfRows(const void* rows, size_t stride, int width, int height, int bitsPerPixel,
                     int dpi, bool oneIsBlack, ColourOrder order) {
    CPageView v;
    v.m_pTop = static_cast<const uint8_t*>(rows);
    v.m_nStep = static_cast<ptrdiff_t>(stride);
    v.m_nWidth = width;
    v.m_nHeight = height;
    v.m_nBitsPerPixel = bitsPerPixel;
    v.m_nXDpi = v.m_nYDpi = dpi;
    v.m_bOneIsBlack = oneIsBlack;
    v.m_order = order;
    return v;
}

int DpiFromPelsPerMeter(int32_t pelsPerMeter) {
    return static_cast<int>(pelsPerMeter * 254.0 / 10000.0 + 0.5);
}

int32_t PelsPerMeterFromDpi(int dpi) {
    return static_cast<int32_t>(static_cast<int64_t>(dpi) * 10000 / 254);
}

bool ViewOfDib(const void* dib, size_t size, CPageView& view, std::string* error) {
    const auto* p = static_cast<const uint8_t*>(dib);
    if (!p || size < 40)
        return Fail(error, "bitmap header missing");
    const uint32_t headerSize = Le32(p);
    const int32_t width = static_cast<int32_t>(Le32(p + 4));
    const int32_t rawHeight = static_cast<int32_t>(Le32(p + 8));
    const int bpp = Le16(p + 14);
    const uint32_t compression = Le32(p + 16);
    uint32_t colours = Le32(p + 32);
    if (headerSize < 40 || headerSize > size)
        return Fail(error, "bitmap header size is wrong");
    if (width <= 0 || rawHeight == 0 || rawHeight == INT32_MIN || width > kMaxSide ||
        rawHeight > kMaxSide || rawHeight < -kMaxSide)
        return Fail(error, "bitmap size is wrong");
    if (compression != 0)
        return Fail(error, "compressed bitmaps are not written");
    if (bpp != 1 && bpp != 8 && bpp != 24)
        return Fail(error, "only 1, 8 and 24 bits per pixel are written");
    const bool bottomUp = rawHeight > 0;
    const int height = bottomUp ? rawHeight : -rawHeight;
    if (colours == 0 && bpp <= 8)
        colours = 1u << bpp;
    if (colours > 256)
        return Fail(error, "bitmap colour table is too large");
    const size_t stride = (static_cast<size_t>(width) * bpp + 31) / 32 * 4;
    const size_t pixels = headerSize + static_cast<size_t>(colours) * 4;
    if (pixels > size || (size - pixels) / stride < static_cast<size_t>(height))
        return Fail(error, "bitmap block is shorter than its rows");

    // The usual table puts black first: such rows have 0 = black.
    bool oneIsBlack = true;
    if (bpp == 1 && colours >= 2) {
        const uint8_t* t = p + headerSize;
        oneIsBlack = !(t[0] + t[1] + t[2] < t[4] + t[5] + t[6]);
    }
    const int dpiX = DpiFromPelsPerMeter(static_cast<int32_t>(Le32(p + 24)));
    const int dpiY = DpiFromPelsPerMeter(static_cast<int32_t>(Le32(p + 28)));
    const uint8_t* first = p + pixels;
    view = ViewOfRows(bottomUp ? first + stride * (height - 1) : first, stride, width, height, bpp,
                      dpiX, oneIsBlack, ColourOrder::BGR);
    if (bottomUp)
        view.m_nStep = -view.m_nStep;
    view.m_nYDpi = dpiY;
    return true;
}

CRowReader::CRowReader(const CPageView& view, const CRowForm& form) : m_view(view) {
    if (view.m_nBitsPerPixel == 1) {
        m_bInvert = view.m_bOneIsBlack != form.m_bOneIsBlack;
        m_bMask = (view.m_nWidth & 7) != 0;
    } else if (view.m_nBitsPerPixel == 24) {
        m_bSwap = view.m_order != form.m_order;
    }
    if (Converts())
        m_vecRow.resize(view.RowBytes());
}

void CRowReader::ConvertInto(int y, uint8_t* dst) const {
    const uint8_t* src = m_view.Row(y);
    const size_t n = m_view.RowBytes();
    if (m_bSwap) {
        for (size_t x = 0; x + 2 < n; x += 3) {
            const uint8_t a = src[x], b = src[x + 1], c = src[x + 2];
            dst[x] = c;
            dst[x + 1] = b;
            dst[x + 2] = a;
        }
    } else if (m_bInvert) {
        for (size_t i = 0; i < n; ++i)
            dst[i] = static_cast<uint8_t>(~src[i]);
    } else {
        std::memcpy(dst, src, n);
    }
    if (m_bMask) // bits past the last pixel are 0 whatever the polarity
        dst[n - 1] &= static_cast<uint8_t>(0xFF << (8 - (m_view.m_nWidth & 7)));
}

const uint8_t* CRowReader::Row(int y) {
    if (!Converts())
        return m_view.Row(y);
    ConvertInto(y, m_vecRow.data());
    return m_vecRow.data();
}

bool CPageRows::Make(const CPageView& view, const CRowForm& form) {
    m_pCopy.reset();
    const CRowReader reader(view, form);
    if (view.m_nStep > 0 && !reader.Converts()) {
        m_pRows = view.m_pTop;
        m_nStride = static_cast<size_t>(view.m_nStep);
        return true;
    }
    const size_t rowBytes = view.RowBytes();
    m_nStride = (rowBytes + 3) / 4 * 4;
    m_pCopy.reset(new (std::nothrow) uint8_t[m_nStride * view.m_nHeight]);
    m_pRows = m_pCopy.get();
    if (!m_pCopy)
        return false;
    for (int y = 0; y < view.m_nHeight; ++y) {
        uint8_t* row = m_pCopy.get() + m_nStride * y;
        reader.ConvertInto(y, row);
        std::memset(row + rowBytes, 0, m_nStride - rowBytes);
    }
    return true;
}

} // namespace vlm
