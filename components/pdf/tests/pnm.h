// Binary PGM (P5) and PPM (P6) pages for the PDF maker's tests, benchmark and
// tools: ImageMagick renders the pages, Ghostscript renders the documents back.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace vlmtest {

struct PnmImage {
    int width = 0, height = 0, channels = 0; // 1 grey, 3 R,G,B
    std::vector<uint8_t> pixels;             // rows top-down, no padding
    uint8_t* Row(int y) { return &pixels[static_cast<size_t>(y) * width * channels]; }
    const uint8_t* Row(int y) const { return &pixels[static_cast<size_t>(y) * width * channels]; }
};

// The next header number, past white space and comments (Ghostscript writes one).
inline bool PnmNumber(FILE* f, int& value) {
    int c = std::fgetc(f);
    while (c == '#' || c == ' ' || c == '\n' || c == '\r' || c == '\t') {
        if (c == '#')
            while (c != '\n' && c != EOF)
                c = std::fgetc(f);
        c = std::fgetc(f);
    }
    value = 0;
    int digits = 0;
    for (; c >= '0' && c <= '9' && value < 1000000; c = std::fgetc(f), ++digits)
        value = value * 10 + (c - '0');
    return digits > 0; // the one white space character after the number is consumed
}

inline bool ReadPnm(const std::string& path, PnmImage& img) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    const int p = std::fgetc(f), kind = std::fgetc(f);
    int maxval = 0;
    const bool ok = p == 'P' && (kind == '5' || kind == '6') && PnmNumber(f, img.width) &&
                    PnmNumber(f, img.height) && PnmNumber(f, maxval) && maxval == 255 &&
                    img.width > 0 && img.height > 0;
    if (ok) {
        img.channels = kind == '5' ? 1 : 3;
        img.pixels.resize(static_cast<size_t>(img.width) * img.height * img.channels);
    }
    const bool read =
        ok && std::fread(img.pixels.data(), 1, img.pixels.size(), f) == img.pixels.size();
    std::fclose(f);
    return read;
}

inline bool WritePnm(const std::string& path, const PnmImage& img) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    std::fprintf(f, "P%c\n%d %d\n255\n", img.channels == 1 ? '5' : '6', img.width, img.height);
    const bool ok = std::fwrite(img.pixels.data(), 1, img.pixels.size(), f) == img.pixels.size();
    return std::fclose(f) == 0 && ok;
}

inline int Luma(const uint8_t* p, int channels) {
    return channels == 1 ? p[0] : (p[0] * 77 + p[1] * 150 + p[2] * 29 + 128) >> 8;
}

} // namespace vlmtest
