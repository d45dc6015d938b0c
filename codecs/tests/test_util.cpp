#include "test_util.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace vlmtest {

std::vector<uint8_t> MakePage(int width, int height, int bpp, int seed) {
    const size_t rowBytes = (static_cast<size_t>(width) * bpp + 7) / 8;
    std::vector<uint8_t> page(rowBytes * height, 0);
    uint32_t state = 2463534242u ^ static_cast<uint32_t>(seed * 7919);
    auto next = [&] {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    };
    // Lines of "words": blocks of glyph-like strokes separated by spaces;
    // margins and sizes shrink with small pages so that they still get ink.
    const int marginY = std::min(60, height / 10), marginX = std::min(80, width / 12);
    const int lineHeight = std::max(3, std::min(40, height / 3));
    const int glyphH = std::max(2, lineHeight * 2 / 3);
    const int glyph = std::max(2, std::min(18, width / 8));
    for (int top = marginY; top + lineHeight <= height - marginY; top += lineHeight) {
        int x = marginX + static_cast<int>(next() % 8);
        while (x + glyph < width - marginX) {
            int word = 2 + static_cast<int>(next() % 8);
            for (int g = 0; g < word && x + glyph < width - marginX; ++g, x += glyph + 3) {
                uint32_t shape = next();
                for (int y = 0; y < glyphH; ++y)
                    for (int xx = 0; xx < glyph; ++xx) {
                        bool stroke =
                            ((shape >> ((y / 5 + xx / 4) % 29)) & 1) && (xx % 6 < 3 || y % 9 < 3);
                        if (!stroke)
                            continue;
                        int px = x + xx, py = top + y;
                        uint8_t* row = page.data() + rowBytes * py;
                        if (bpp == 1)
                            row[px >> 3] |= static_cast<uint8_t>(0x80 >> (px & 7));
                        else if (bpp == 4)
                            row[px >> 1] |= static_cast<uint8_t>((px & 1) ? 0x0F : 0xF0);
                        else if (bpp == 8)
                            row[px] = static_cast<uint8_t>(10 + (shape & 0x3F));
                        else {
                            row[3 * px] = static_cast<uint8_t>(200 - (shape & 0x7F));
                            row[3 * px + 1] = static_cast<uint8_t>(40 + (y * 3));
                            row[3 * px + 2] = static_cast<uint8_t>(xx * 9);
                        }
                    }
            }
            x += glyph;
        }
    }
    if (bpp == 8 || bpp == 24) // paper is white: invert the "ink" layout
        for (auto& b : page)
            b = static_cast<uint8_t>(b ? b : 255);
    return page;
}

std::vector<uint8_t> MakeNoise(size_t bytes, uint32_t seed) {
    std::vector<uint8_t> v(bytes);
    uint32_t s = seed | 1;
    for (auto& b : v) {
        s = s * 1664525u + 1013904223u;
        b = static_cast<uint8_t>(s >> 24);
    }
    return v;
}

namespace {
// The test's own folder, removed when the program ends.
struct CTempDir {
    std::filesystem::path path;
    ~CTempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};
} // namespace

std::string TempPath(const std::string& name) {
    static CTempDir dir{[] {
        auto d = std::filesystem::temp_directory_path() /
                 ("vlm_imaging_" +
                  std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
        std::filesystem::create_directories(d);
        return d;
    }()};
    return (dir.path / name).string();
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& data) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

std::vector<uint8_t> PadRows(const std::vector<uint8_t>& packed, size_t rowBytes, int rows) {
    size_t stride = (rowBytes + 3) / 4 * 4;
    std::vector<uint8_t> out(stride * rows, 0);
    for (int y = 0; y < rows; ++y)
        std::memcpy(out.data() + stride * y, packed.data() + rowBytes * y, rowBytes);
    return out;
}

namespace {
void PutLE32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    for (int i = 0; i < 4; ++i)
        v[at + i] = static_cast<uint8_t>(x >> (8 * i));
}
} // namespace

std::vector<uint8_t> MakeDib(int w, int h, int bpp, int ppm, bool blackFirst, bool topDown,
                             const std::function<int(int, int)>& value) {
    const uint32_t colours = bpp == 1 ? 2 : bpp == 8 ? 256 : 0;
    const size_t stride = (static_cast<size_t>(w) * bpp + 31) / 32 * 4;
    std::vector<uint8_t> d(40 + colours * 4 + stride * h, 0);
    PutLE32(d, 0, 40);
    PutLE32(d, 4, static_cast<uint32_t>(w));
    PutLE32(d, 8, static_cast<uint32_t>(topDown ? -h : h));
    d[12] = 1;
    d[14] = static_cast<uint8_t>(bpp);
    PutLE32(d, 24, static_cast<uint32_t>(ppm));
    PutLE32(d, 28, static_cast<uint32_t>(ppm / 2));
    if (bpp == 1) {
        const uint8_t first = blackFirst ? 0 : 255;
        std::memset(&d[40], first, 3);
        std::memset(&d[44], 255 - first, 3);
    }
    for (uint32_t i = 0; bpp == 8 && i < 256; ++i)
        d[40 + 4 * i] = d[41 + 4 * i] = d[42 + 4 * i] = static_cast<uint8_t>(i);
    uint8_t* px = d.data() + 40 + colours * 4;
    for (int y = 0; y < h; ++y) {
        uint8_t* row = px + stride * (topDown ? y : h - 1 - y);
        for (int x = 0; x < w; ++x) {
            const int v = value(x, y);
            if (bpp == 1) {
                // stored as the table index of that colour; padding bits set
                const int index = (v == 1) == blackFirst ? 0 : 1;
                if (index)
                    row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
            } else if (bpp == 8) {
                row[x] = static_cast<uint8_t>(v);
            } else {
                row[3 * x] = static_cast<uint8_t>(v);
                row[3 * x + 1] = static_cast<uint8_t>(v >> 8);
                row[3 * x + 2] = static_cast<uint8_t>(v >> 16);
            }
        }
        if (bpp == 1 && w % 8)
            row[(w - 1) / 8] |= static_cast<uint8_t>(0xFF >> (w % 8));
    }
    return d;
}

} // namespace vlmtest
