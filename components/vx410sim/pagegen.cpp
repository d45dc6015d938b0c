// Deterministic document pages for the simulated feeder. Drawing is done
// with row spans (memset for 1 and 8 bits) so that an A4 page at 300 dpi
// takes a few milliseconds; benchmarks and the data source call it per page.
#include "pagegen.h"

#include <algorithm>
#include <cstring>

namespace vx410sim {
namespace {

struct Color {
    uint8_t b, g, r;
};

constexpr Color kBlack{0, 0, 0};
constexpr Color kHeading{110, 40, 20}; // dark blue
constexpr Color kRule{30, 30, 150};    // dark red
constexpr Color kShade{200, 200, 200}; // light grey band

inline int Luma(Color c) {
    return (c.r * 77 + c.g * 150 + c.b * 29) >> 8;
}

// 4x4 ordered dither thresholds for the 1-bit photo area.
constexpr uint8_t kBayer[4][4] = {
    {8, 136, 40, 168}, {200, 72, 232, 104}, {56, 184, 24, 152}, {248, 120, 216, 88}};

class CCanvas {
public:
    CCanvas(uint8_t* p, int w, int h, int bpp)
        : m_p(p), m_nWidth(w), m_nHeight(h), m_nBpp(bpp), m_nStride(RowBytes(w, bpp)) {}

    void Clear() { std::memset(m_p, m_nBpp == 1 ? 0x00 : 0xFF, m_nStride * m_nHeight); }

    // Half-open rectangle, clipped to the page.
    void Fill(int x0, int y0, int x1, int y1, Color c) {
        x0 = std::max(x0, 0);
        y0 = std::max(y0, 0);
        x1 = std::min(x1, m_nWidth);
        y1 = std::min(y1, m_nHeight);
        if (x0 >= x1 || y0 >= y1)
            return;
        for (int y = y0; y < y1; ++y)
            Span(Row(y), x0, x1, c);
    }

    void Frame(int x0, int y0, int x1, int y1, int t, Color c) {
        Fill(x0, y0, x1, y0 + t, c);
        Fill(x0, y1 - t, x1, y1, c);
        Fill(x0, y0, x0 + t, y1, c);
        Fill(x1 - t, y0, x1, y1, c);
    }

    // A smooth picture: colour gradients with a disc, dithered at 1 bit.
    void Photo(int x0, int y0, int x1, int y1) {
        x0 = std::max(x0, 0);
        y0 = std::max(y0, 0);
        x1 = std::min(x1, m_nWidth);
        y1 = std::min(y1, m_nHeight);
        if (x0 >= x1 || y0 >= y1)
            return;
        const int w = x1 - x0, h = y1 - y0;
        const long long cx = x0 + w / 2, cy = y0 + h / 2;
        const long long rad = std::min(w, h) / 3;
        const long long rad2 = rad * rad;
        for (int y = y0; y < y1; ++y) {
            uint8_t* row = Row(y);
            const long long dy = y - cy;
            const int gy = (y - y0) * 255 / h;
            for (int x = x0; x < x1; ++x) {
                const long long dx = x - cx;
                const int gx = (x - x0) * 255 / w;
                Color c;
                if (dx * dx + dy * dy < rad2)
                    c = Color{uint8_t(90 + gy / 4), uint8_t(150 + gx / 8), uint8_t(230 - gy / 8)};
                else
                    c = Color{uint8_t(255 - gx), uint8_t(gy), uint8_t((gx + gy) / 2)};
                Pixel(row, x, y, c);
            }
        }
    }

private:
    uint8_t* Row(int y) { return m_p + m_nStride * static_cast<size_t>(y); }

    void Pixel(uint8_t* row, int x, int y, Color c) {
        switch (m_nBpp) {
        case 1:
            if (Luma(c) < kBayer[y & 3][x & 3])
                row[x >> 3] |= uint8_t(0x80u >> (x & 7));
            break;
        case 8:
            row[x] = uint8_t(Luma(c));
            break;
        default:
            row[3 * x] = c.b;
            row[3 * x + 1] = c.g;
            row[3 * x + 2] = c.r;
            break;
        }
    }

    void Span(uint8_t* row, int x0, int x1, Color c) {
        if (m_nBpp == 8) {
            std::memset(row + x0, Luma(c), size_t(x1 - x0));
        } else if (m_nBpp == 24) {
            uint8_t* p = row + 3 * x0;
            for (int x = x0; x < x1; ++x, p += 3) {
                p[0] = c.b;
                p[1] = c.g;
                p[2] = c.r;
            }
        } else {
            const bool black = Luma(c) < 128;
            int x = x0;
            while (x < x1 && (x & 7)) {
                SetBit(row, x++, black);
            }
            const int whole = (x1 - x) / 8;
            if (whole > 0) {
                std::memset(row + (x >> 3), black ? 0xFF : 0x00, size_t(whole));
                x += whole * 8;
            }
            while (x < x1)
                SetBit(row, x++, black);
        }
    }

    static void SetBit(uint8_t* row, int x, bool black) {
        const uint8_t m = uint8_t(0x80u >> (x & 7));
        if (black)
            row[x >> 3] |= m;
        else
            row[x >> 3] &= uint8_t(~m);
    }

    uint8_t* m_p;
    int m_nWidth, m_nHeight, m_nBpp;
    size_t m_nStride;
};

// xorshift32: small, fast and the same on every platform.
class CRandom {
public:
    explicit CRandom(uint32_t seed) : m_nState(seed ? seed : 0x9E3779B9u) {}
    uint32_t Next() {
        m_nState ^= m_nState << 13;
        m_nState ^= m_nState >> 17;
        m_nState ^= m_nState << 5;
        return m_nState;
    }
    int Range(int lo, int hi) { return lo + int(Next() % uint32_t(hi - lo + 1)); }

private:
    uint32_t m_nState;
};

// Lines of word-like blocks between left and right, from y to yEnd.
// Returns the y after the last line.
int DrawText(CCanvas& cv, CRandom& rnd, int left, int right, int y, int yEnd, int dpi, Color c) {
    const int xh = std::max(1, dpi / 14);  // x-height
    const int asc = std::max(1, dpi / 30); // ascender above x-height
    const int pitch = std::max(xh + asc + 2, dpi / 5);
    const int cw = std::max(1, dpi / 22); // character width
    const int space = std::max(1, dpi / 18);
    int lineInPara = 0;
    int paraLen = rnd.Range(3, 7);
    while (y + xh + asc <= yEnd) {
        const bool lastOfPara = ++lineInPara >= paraLen;
        const int lineRight = lastOfPara ? left + (right - left) * rnd.Range(25, 80) / 100 : right;
        int x = left + (lineInPara == 1 ? 3 * space : 0);
        while (true) {
            const int letters = rnd.Range(2, 10);
            const int w = letters * cw;
            if (x + w > lineRight)
                break;
            cv.Fill(x, y + asc, x + w, y + asc + xh, c);
            // a few ascenders/descenders so that words do not look like bricks
            for (int i = 0; i < letters; ++i) {
                const uint32_t r = rnd.Next() & 15;
                const int lx = x + i * cw + cw / 3;
                if (r == 0)
                    cv.Fill(lx, y, lx + std::max(1, cw / 3), y + asc, c);
                else if (r == 1)
                    cv.Fill(lx, y + asc + xh, lx + std::max(1, cw / 3), y + 2 * asc + xh, c);
            }
            x += w + space;
        }
        y += pitch;
        if (lastOfPara) {
            y += pitch / 2;
            lineInPara = 0;
            paraLen = rnd.Range(3, 7);
        }
    }
    return y;
}

} // namespace

std::vector<uint8_t> GeneratePage(int width, int height, int bitsPerPixel, int dpi,
                                  int pageNumber) {
    if (width <= 0 || height <= 0 || width > 20000 || height > 30000)
        return {};
    if (bitsPerPixel != 1 && bitsPerPixel != 8 && bitsPerPixel != 24)
        return {};
    dpi = std::clamp(dpi, 25, 2400);
    std::vector<uint8_t> page(RowBytes(width, bitsPerPixel) * size_t(height));
    CCanvas cv(page.data(), width, height, bitsPerPixel);
    cv.Clear();
    CRandom rnd(uint32_t(pageNumber) * 2654435761u + 0x1234567u);

    const int margin = std::max(1, dpi * 3 / 4);
    const int left = margin, right = width - margin;
    const int top = margin, bottom = height - margin;
    if (right - left < 4 || bottom - top < 4)
        return page; // too small for a layout: a blank sheet

    // Heading: a few large words, then the page number as a bar code
    // (16 bits, wide bar = 1) at the right so that every page differs.
    const int hh = std::max(2, dpi / 6);
    int x = left;
    for (int i = 0, n = rnd.Range(2, 4); i < n && x < right; ++i) {
        const int w = rnd.Range(3, 8) * hh * 2 / 3;
        cv.Fill(x, top, std::min(x + w, right), top + hh, kHeading);
        x += w + hh / 2;
    }
    const int bar = std::max(1, dpi / 100);
    int bx = right - 16 * 4 * bar;
    for (int bit = 15; bit >= 0; --bit) {
        const int w = ((uint32_t(pageNumber) >> bit) & 1) ? 2 * bar : bar;
        cv.Fill(bx, top, bx + w, top + hh, kBlack);
        bx += 4 * bar;
    }
    int y = top + hh + hh / 2;
    cv.Fill(left, y, right, y + std::max(1, dpi / 150), kRule);
    y += hh / 2;

    // Body: text on the upper part, then a box with a shaded title band and
    // text beside a photo, then more text.
    const int bodyH = bottom - y;
    y = DrawText(cv, rnd, left, right, y, y + bodyH * 2 / 5, dpi, kBlack);
    const int boxTop = y, boxBottom = std::min(bottom, y + bodyH / 3);
    if (boxBottom - boxTop > 4 * hh) {
        const int t = std::max(1, dpi / 75);
        cv.Frame(left, boxTop, right, boxBottom, t, kRule);
        cv.Fill(left + t, boxTop + t, right - t, boxTop + hh + t, kShade);
        const int inner = std::max(2, dpi / 12);
        const int photoLeft = left + (right - left) * 3 / 5;
        DrawText(cv, rnd, left + inner, photoLeft - inner, boxTop + hh + 2 * t + inner,
                 boxBottom - inner, dpi, kBlack);
        cv.Photo(photoLeft, boxTop + hh + 2 * t + inner, right - inner, boxBottom - inner);
        y = boxBottom + hh;
    }
    DrawText(cv, rnd, left, right, y, bottom, dpi, kBlack);
    return page;
}

} // namespace vx410sim
