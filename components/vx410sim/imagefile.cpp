// Readers for the image files a user can put into the simulated feeder:
// binary PNM and uncompressed BMP. Every size is checked against the data
// actually present before anything is allocated or copied.
#include "pagegen.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

namespace vx410sim {
namespace {

constexpr int kMaxSide = 30000;
constexpr size_t kMaxFileBytes = size_t(1) << 30;

bool Fail(std::string* pError, const std::string& text) {
    if (pError)
        *pError = text;
    return false;
}

// ---------------------------------------------------------------- PNM

class CPnmHeader {
public:
    CPnmHeader(const uint8_t* p, size_t n) : m_p(p), m_n(n) {}

    // Skips white space and comments, then reads a decimal number.
    bool Number(int& value) {
        for (;;) {
            if (m_i >= m_n)
                return false;
            const uint8_t c = m_p[m_i];
            if (c == '#') {
                while (m_i < m_n && m_p[m_i] != '\n' && m_p[m_i] != '\r')
                    ++m_i;
            } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f') {
                ++m_i;
            } else {
                break;
            }
        }
        long long v = 0;
        size_t digits = 0;
        while (m_i < m_n && m_p[m_i] >= '0' && m_p[m_i] <= '9') {
            v = v * 10 + (m_p[m_i++] - '0');
            if (v > 1000000)
                return false;
            ++digits;
        }
        value = int(v);
        return digits > 0;
    }
    // Exactly one white-space byte separates the header from the samples.
    bool EndOfHeader() {
        if (m_i >= m_n)
            return false;
        const uint8_t c = m_p[m_i];
        if (!(c == ' ' || c == '\t' || c == '\n' || c == '\r'))
            return false;
        ++m_i;
        return true;
    }
    size_t Offset() const { return m_i; }
    void Skip(size_t k) { m_i += k; }

private:
    const uint8_t* m_p;
    size_t m_n;
    size_t m_i = 0;
};

bool ReadPnm(const uint8_t* p, size_t n, PageImage& out, std::string* pError) {
    const char kind = char(p[1]);
    CPnmHeader h(p, n);
    h.Skip(2);
    int w = 0, ht = 0, maxval = 1;
    if (!h.Number(w) || !h.Number(ht))
        return Fail(pError, "PNM header: width or height missing");
    if (kind != '4' && !h.Number(maxval))
        return Fail(pError, "PNM header: maximum value missing");
    if (!h.EndOfHeader())
        return Fail(pError, "PNM header: malformed");
    if (w <= 0 || ht <= 0 || w > kMaxSide || ht > kMaxSide)
        return Fail(pError, "PNM: image size out of range");
    if (maxval <= 0 || maxval > 65535)
        return Fail(pError, "PNM: maximum value out of range");
    const int channels = kind == '6' ? 3 : 1;
    const size_t sampleBytes = maxval > 255 ? 2 : 1;
    const size_t srcRow = kind == '4' ? RowBytes(w, 1) : size_t(w) * size_t(channels) * sampleBytes;
    const size_t need = srcRow * size_t(ht);
    if (n - h.Offset() < need)
        return Fail(pError, "PNM: file is truncated");
    const uint8_t* src = p + h.Offset();

    out.m_nWidth = w;
    out.m_nHeight = ht;
    out.m_nDpi = 0;
    if (kind == '4') {
        out.m_nBitsPerPixel = 1;
        out.m_data.assign(src, src + need); // PBM: 1 = black, MSB first, like ours
        return true;
    }
    out.m_nBitsPerPixel = channels == 3 ? 24 : 8;
    const size_t dstRow = RowBytes(w, out.m_nBitsPerPixel);
    out.m_data.resize(dstRow * size_t(ht));
    auto sample = [&](const uint8_t* s) -> uint8_t {
        unsigned v = sampleBytes == 2 ? (unsigned(s[0]) << 8 | s[1]) : s[0];
        if (v > unsigned(maxval))
            v = unsigned(maxval);
        return uint8_t((v * 255u + unsigned(maxval) / 2) / unsigned(maxval));
    };
    for (int y = 0; y < ht; ++y) {
        const uint8_t* s = src + srcRow * size_t(y);
        uint8_t* d = out.m_data.data() + dstRow * size_t(y);
        if (channels == 1 && maxval == 255) {
            std::memcpy(d, s, dstRow); // already our 8-bit layout
        } else if (channels == 1) {
            for (int x = 0; x < w; ++x)
                d[x] = sample(s + size_t(x) * sampleBytes);
        } else {
            for (int x = 0; x < w; ++x) {
                const uint8_t* px = s + size_t(x) * 3 * sampleBytes;
                d[3 * x] = sample(px + 2 * sampleBytes); // PPM is R,G,B; ours B,G,R
                d[3 * x + 1] = sample(px + sampleBytes);
                d[3 * x + 2] = sample(px);
            }
        }
    }
    return true;
}

// ---------------------------------------------------------------- BMP

inline uint32_t Le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline uint16_t Le16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}

bool ReadBmp(const uint8_t* p, size_t n, PageImage& out, std::string* pError) {
    if (n < 14 + 40)
        return Fail(pError, "BMP: file is truncated");
    const uint32_t offBits = Le32(p + 10);
    const uint32_t infoSize = Le32(p + 14);
    if (infoSize < 40 || infoSize > 256 || 14 + size_t(infoSize) > n)
        return Fail(pError, "BMP: unsupported information header");
    const int32_t w = int32_t(Le32(p + 18));
    const int32_t hRaw = int32_t(Le32(p + 22));
    const int bpp = Le16(p + 28);
    const uint32_t compression = Le32(p + 30);
    const int32_t xppm = int32_t(Le32(p + 38));
    uint32_t clrUsed = Le32(p + 46);
    if (compression != 0)
        return Fail(pError, "BMP: compressed bitmaps are not supported");
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32)
        return Fail(pError, "BMP: unsupported bit depth " + std::to_string(bpp));
    if (hRaw == INT32_MIN)
        return Fail(pError, "BMP: image size out of range");
    const bool topDown = hRaw < 0;
    const int32_t ht = topDown ? -hRaw : hRaw;
    if (w <= 0 || ht <= 0 || w > kMaxSide || ht > kMaxSide)
        return Fail(pError, "BMP: image size out of range");

    // Palette
    uint8_t pal[256][3] = {};
    int palCount = 0;
    if (bpp <= 8) {
        const uint32_t full = 1u << bpp;
        if (clrUsed == 0 || clrUsed > full)
            clrUsed = full;
        const size_t palOff = 14 + size_t(infoSize);
        if (palOff + size_t(clrUsed) * 4 > n)
            return Fail(pError, "BMP: palette is truncated");
        palCount = int(clrUsed);
        for (int i = 0; i < palCount; ++i)
            std::memcpy(pal[i], p + palOff + size_t(i) * 4, 3); // B,G,R
    }
    const size_t srcRow = (size_t(w) * size_t(bpp) + 31) / 32 * 4;
    if (offBits > n || n - offBits < srcRow * size_t(ht))
        return Fail(pError, "BMP: pixel data is truncated");
    const uint8_t* bits = p + offBits;
    auto srcRowAt = [&](int y) { return bits + srcRow * size_t(topDown ? y : ht - 1 - y); };
    auto luma = [](const uint8_t* c) { return (c[2] * 77 + c[1] * 150 + c[0] * 29) >> 8; };

    out.m_nWidth = w;
    out.m_nHeight = ht;
    out.m_nDpi = xppm > 0 ? int((int64_t(xppm) * 254 + 5000) / 10000) : 0;

    if (bpp == 1) {
        // Black is whichever entry is dark, so white-on-black palettes read right.
        const bool black0 = palCount > 0 && luma(pal[0]) < 128;
        const bool black1 = palCount > 1 && luma(pal[1]) < 128;
        out.m_nBitsPerPixel = 1;
        const size_t dstRow = RowBytes(w, 1);
        out.m_data.assign(dstRow * size_t(ht), 0);
        const uint8_t maskSet = black1 ? 0xFF : 0x00, maskClear = black0 ? 0xFF : 0x00;
        const uint8_t lastMask = uint8_t(0xFF << ((8 - w % 8) % 8));
        for (int y = 0; y < ht; ++y) {
            const uint8_t* s = srcRowAt(y);
            uint8_t* d = out.m_data.data() + dstRow * size_t(y);
            for (size_t i = 0; i < dstRow; ++i)
                d[i] = uint8_t((s[i] & maskSet) | (~s[i] & maskClear));
            d[dstRow - 1] &= lastMask; // padding bits stay white
        }
        return true;
    }
    auto index = [&](const uint8_t* s, int x) -> int {
        int v = bpp == 8 ? s[x] : (x & 1 ? s[x >> 1] & 0x0F : s[x >> 1] >> 4);
        return v < palCount ? v : 0;
    };
    bool grey = bpp <= 8;
    for (int i = 0; i < palCount && grey; ++i)
        grey = pal[i][0] == pal[i][1] && pal[i][1] == pal[i][2];
    out.m_nBitsPerPixel = grey ? 8 : 24;
    const size_t dstRow = RowBytes(w, out.m_nBitsPerPixel);
    out.m_data.resize(dstRow * size_t(ht));
    for (int y = 0; y < ht; ++y) {
        const uint8_t* s = srcRowAt(y);
        uint8_t* d = out.m_data.data() + dstRow * size_t(y);
        if (bpp == 24) {
            std::memcpy(d, s, dstRow);
        } else if (bpp == 32) {
            for (int x = 0; x < w; ++x)
                std::memcpy(d + 3 * x, s + 4 * x, 3);
        } else if (grey) {
            for (int x = 0; x < w; ++x)
                d[x] = pal[index(s, x)][0];
        } else {
            for (int x = 0; x < w; ++x)
                std::memcpy(d + 3 * x, pal[index(s, x)], 3);
        }
    }
    return true;
}

} // namespace

bool ReadImageMemory(const uint8_t* p, size_t n, PageImage& out, std::string* pError) {
    if (!p || n < 2)
        return Fail(pError, "not an image file: too short");
    if (p[0] == 'P' && (p[1] == '4' || p[1] == '5' || p[1] == '6'))
        return ReadPnm(p, n, out, pError);
    if (p[0] == 'B' && p[1] == 'M')
        return ReadBmp(p, n, out, pError);
    return Fail(pError, "not a supported image file (binary PBM/PGM/PPM or uncompressed BMP)");
}

bool ReadImageFile(const std::string& path, PageImage& out, std::string* pError) {
    std::ifstream f(path, std::ios::binary);
    if (!f)
        return Fail(pError, "cannot open " + path);
    f.seekg(0, std::ios::end);
    const std::streamoff size = f.tellg();
    if (size < 0 || size_t(size) > kMaxFileBytes)
        return Fail(pError, "cannot read " + path + " (too large or unreadable)");
    f.seekg(0, std::ios::beg);
    std::vector<uint8_t> buf(static_cast<size_t>(size));
    if (size > 0 && !f.read(reinterpret_cast<char*>(buf.data()), size))
        return Fail(pError, "cannot read " + path);
    std::string err;
    if (!ReadImageMemory(buf.data(), buf.size(), out, &err))
        return Fail(pError, path + ": " + err);
    return true;
}

bool WritePnm(const std::string& path, const PageImage& img, std::string* pError) {
    const int bpp = img.m_nBitsPerPixel;
    if ((bpp != 1 && bpp != 8 && bpp != 24) || img.m_nWidth <= 0 || img.m_nHeight <= 0 ||
        img.m_data.size() != RowBytes(img.m_nWidth, bpp) * size_t(img.m_nHeight))
        return Fail(pError, "bad image for PNM output");
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    if (!f)
        return Fail(pError, "cannot create " + path);
    char head[64];
    if (bpp == 1)
        std::snprintf(head, sizeof head, "P4\n%d %d\n", img.m_nWidth, img.m_nHeight);
    else
        std::snprintf(head, sizeof head, "P%c\n%d %d\n255\n", bpp == 8 ? '5' : '6', img.m_nWidth,
                      img.m_nHeight);
    f << head;
    if (bpp == 24) {
        const size_t row = RowBytes(img.m_nWidth, 24);
        std::vector<uint8_t> rgb(row);
        for (int y = 0; y < img.m_nHeight; ++y) {
            const uint8_t* s = img.m_data.data() + row * size_t(y);
            for (int x = 0; x < img.m_nWidth; ++x) {
                rgb[3 * x] = s[3 * x + 2];
                rgb[3 * x + 1] = s[3 * x + 1];
                rgb[3 * x + 2] = s[3 * x];
            }
            f.write(reinterpret_cast<const char*>(rgb.data()), std::streamsize(row));
        }
    } else {
        f.write(reinterpret_cast<const char*>(img.m_data.data()),
                std::streamsize(img.m_data.size()));
    }
    f.close();
    if (!f)
        return Fail(pError, "cannot write " + path);
    return true;
}

} // namespace vx410sim
