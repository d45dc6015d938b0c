// Helpers shared by the imaging tests.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vlmtest {

// A deterministic text-like page, rows packed top-down. 1-bit: 1 = black,
// MSB first; 8-bit: 0 = black; 24-bit: B,G,R.
std::vector<uint8_t> MakePage(int width, int height, int bpp, int seed);
// Pseudo-random noise rows (worst case for run-length coders).
std::vector<uint8_t> MakeNoise(size_t bytes, uint32_t seed);
// A fresh path in the test's own temporary folder.
std::string TempPath(const std::string& name);
std::vector<uint8_t> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& data);
// Copies `rows` packed rows into a buffer with rows padded to 4 bytes.
std::vector<uint8_t> PadRows(const std::vector<uint8_t>& packed, size_t rowBytes, int rows);
// A packed bitmap (BITMAPINFOHEADER, table, rows) whose pixel (x, y), y from
// the top, is value(x, y): bilevel 1 = black, grey the value, colour 0xRRGGBB.
// Bilevel bits are stored as the table index of their colour, the padding bits
// of a row set; the vertical resolution is half the horizontal one.
std::vector<uint8_t> MakeDib(int width, int height, int bpp, int pelsPerMeter, bool blackFirst,
                             bool topDown, const std::function<int(int, int)>& value);
// Bit x of a row, MSB first.
inline int Bit(const uint8_t* row, int x) {
    return (row[x / 8] >> (7 - x % 8)) & 1;
}

} // namespace vlmtest
