// Generated document pages and the page image files of the simulated feeder.
//
// Page images everywhere in the simulator use one layout: rows top-down,
// each row (width * bitsPerPixel + 7) / 8 bytes with no padding.
//   1-bit:  1 = black, most significant bit first
//   8-bit:  grey, 0 = black
//   24-bit: B, G, R
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vx410sim {

// A deterministic text-like document page: margins, a heading, lines of
// word-like blocks, a ruled box and (8/24-bit) a photo area. The same
// arguments always give the same bytes; different page numbers give
// different pages. Returns an empty vector for bad arguments (size not
// positive, above 20000 x 30000, or depth not 1, 8 or 24).
std::vector<uint8_t> GeneratePage(int width, int height, int bitsPerPixel /*1, 8 or 24*/, int dpi,
                                  int pageNumber);

inline size_t RowBytes(int width, int bitsPerPixel) {
    return (static_cast<size_t>(width) * static_cast<size_t>(bitsPerPixel) + 7) / 8;
}

struct PageImage {
    int m_nWidth = 0;
    int m_nHeight = 0;
    int m_nBitsPerPixel = 0; // 1, 8 or 24
    int m_nDpi = 0;          // 0 when the file does not say
    std::vector<uint8_t> m_data;
};

// Reads binary PBM/PGM/PPM (P4, P5, P6; 16-bit samples are reduced to 8) and
// uncompressed BMP (1, 4, 8, 24, 32 bits; palettes become grey or colour).
// Bad or truncated files give false and a text; nothing is thrown.
bool ReadImageFile(const std::string& path, PageImage& out, std::string* pError = nullptr);
bool ReadImageMemory(const uint8_t* p, size_t n, PageImage& out, std::string* pError = nullptr);

// Writes P4/P5/P6 (by depth); used by tests and by "vx410 feed --generate".
bool WritePnm(const std::string& path, const PageImage& img, std::string* pError = nullptr);

} // namespace vx410sim
