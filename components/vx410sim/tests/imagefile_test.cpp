#include "pagegen.h"
#include "testfolder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace vx410sim;
using vx410sim::test::CTempFolder;

namespace {

using Bytes = std::vector<uint8_t>;

void Put32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = uint8_t(v >> (8 * i));
}
void Put16(Bytes& b, size_t at, uint16_t v) {
    b[at] = uint8_t(v);
    b[at + 1] = uint8_t(v >> 8);
}

// A BMP with the given palette (B,G,R) and raw rows in file order.
Bytes Bmp(int w, int h, int bpp, const std::vector<std::array<uint8_t, 3>>& palette,
          const std::vector<Bytes>& fileRows, uint32_t compression = 0) {
    const size_t palBytes = palette.size() * 4;
    const size_t stride = (size_t(w) * bpp + 31) / 32 * 4;
    const size_t off = 14 + 40 + palBytes;
    Bytes b(off + stride * fileRows.size(), 0);
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 2, uint32_t(b.size()));
    Put32(b, 10, uint32_t(off));
    Put32(b, 14, 40);
    Put32(b, 18, uint32_t(w));
    Put32(b, 22, uint32_t(h));
    Put16(b, 26, 1);
    Put16(b, 28, uint16_t(bpp));
    Put32(b, 30, compression);
    Put32(b, 38, 11811); // 300 dpi
    Put32(b, 42, 11811);
    Put32(b, 46, uint32_t(palette.size()));
    for (size_t i = 0; i < palette.size(); ++i)
        std::memcpy(&b[14 + 40 + i * 4], palette[i].data(), 3);
    for (size_t r = 0; r < fileRows.size(); ++r)
        std::memcpy(&b[off + r * stride], fileRows[r].data(), fileRows[r].size());
    return b;
}

bool Parse(const Bytes& b, PageImage& img, std::string* err = nullptr) {
    return ReadImageMemory(b.data(), b.size(), img, err);
}
bool Parse(const std::string& s, PageImage& img, std::string* err = nullptr) {
    return ReadImageMemory(reinterpret_cast<const uint8_t*>(s.data()), s.size(), img, err);
}

} // namespace

TEST(Pnm, RoundTripsAllDepths) {
    CTempFolder dir;
    for (int bpp : {1, 8, 24}) {
        PageImage img;
        img.m_nWidth = 37;
        img.m_nHeight = 21;
        img.m_nBitsPerPixel = bpp;
        img.m_data = GeneratePage(37, 21, bpp, 300, 5);
        for (size_t i = 0; i < img.m_data.size(); ++i)
            img.m_data[i] = uint8_t(i * 7 + 3);
        if (bpp == 1) // keep the padding bits clear, as readers produce them
            for (int y = 0; y < 21; ++y)
                img.m_data[RowBytes(37, 1) * y + 4] &= 0xF8;
        const std::string path = dir.File("x" + std::to_string(bpp));
        ASSERT_TRUE(WritePnm(path, img));
        PageImage back;
        std::string err;
        ASSERT_TRUE(ReadImageFile(path, back, &err)) << err;
        EXPECT_EQ(back.m_nWidth, 37);
        EXPECT_EQ(back.m_nHeight, 21);
        EXPECT_EQ(back.m_nBitsPerPixel, bpp);
        EXPECT_EQ(back.m_data, img.m_data) << bpp;
    }
}

TEST(Pnm, CommentsScalingAndChannelOrder) {
    PageImage img;
    ASSERT_TRUE(Parse(std::string("P5 # grey\n# another\n2 1\n15\n\x00\x0F", 29), img));
    EXPECT_EQ(img.m_data, (Bytes{0, 255}));
    ASSERT_TRUE(Parse(std::string("P6\n1 1\n255\n\x10\x20\x30", 14), img));
    EXPECT_EQ(img.m_data, (Bytes{0x30, 0x20, 0x10})); // B,G,R
    ASSERT_TRUE(Parse(std::string("P5\n1 1\n65535\n\xFF\xFF", 16), img));
    EXPECT_EQ(img.m_data, (Bytes{255}));
}

TEST(Pnm, MalformedHeadersAndShortDataAreRefused) {
    PageImage img;
    std::string err;
    const std::string bad[] = {
        "P4\n",      "P4\n8\n",          "P5\n1 1\n0\n\x00",  "P5\n1 1\n70000\n",
        "P4\n0 5\n", "P4\n99999999 1\n", "P6\n2 2\n255\n123", "P5\n1 1\n255x\x01",
        "P7\n1 1\n"};
    for (const std::string& s : bad) {
        EXPECT_FALSE(Parse(s, img, &err)) << s;
        EXPECT_FALSE(err.empty());
    }
}

TEST(Bmp, TwentyFourBitBottomUp) {
    // 2x2: file rows are bottom row first
    const Bytes bottom = {1, 2, 3, 4, 5, 6}, top = {7, 8, 9, 10, 11, 12};
    PageImage img;
    ASSERT_TRUE(Parse(Bmp(2, 2, 24, {}, {bottom, top}), img));
    EXPECT_EQ(img.m_nBitsPerPixel, 24);
    EXPECT_EQ(img.m_nDpi, 300);
    EXPECT_EQ(img.m_data, (Bytes{7, 8, 9, 10, 11, 12, 1, 2, 3, 4, 5, 6}));
}

TEST(Bmp, OneBitFollowsThePaletteNotTheIndex) {
    // index 0 white, 1 black: bits pass unchanged
    PageImage img;
    ASSERT_TRUE(Parse(Bmp(10, 1, 1, {{255, 255, 255}, {0, 0, 0}}, {{0xA5, 0xFF}}), img));
    EXPECT_EQ(img.m_nBitsPerPixel, 1);
    EXPECT_EQ(img.m_data, (Bytes{0xA5, 0xC0})); // padding bits cleared
    // index 0 black, 1 white: bits invert
    ASSERT_TRUE(Parse(Bmp(10, 1, 1, {{0, 0, 0}, {255, 255, 255}}, {{0xA5, 0x00}}), img));
    EXPECT_EQ(img.m_data, (Bytes{0x5A, 0xC0}));
}

TEST(Bmp, PalettedGreyAndColourAndTopDown) {
    PageImage img;
    ASSERT_TRUE(
        Parse(Bmp(3, 1, 8, {{0, 0, 0}, {128, 128, 128}, {255, 255, 255}}, {{2, 1, 0}}), img));
    EXPECT_EQ(img.m_nBitsPerPixel, 8);
    EXPECT_EQ(img.m_data, (Bytes{255, 128, 0}));
    ASSERT_TRUE(Parse(Bmp(3, 1, 4, {{10, 20, 30}, {40, 50, 60}}, {{0x10, 0x00}}), img));
    EXPECT_EQ(img.m_nBitsPerPixel, 24);
    EXPECT_EQ(img.m_data, (Bytes{40, 50, 60, 10, 20, 30, 10, 20, 30}));
    Bytes td = Bmp(1, 2, 8, {{0, 0, 0}, {255, 255, 255}}, {{0}, {1}});
    Put32(td, 22, uint32_t(-2)); // negative height: rows top-down
    ASSERT_TRUE(Parse(td, img));
    EXPECT_EQ(img.m_data, (Bytes{0, 255}));
}

TEST(Bmp, UnsupportedAndTruncatedFilesAreRefused) {
    PageImage img;
    std::string err;
    EXPECT_FALSE(Parse(Bmp(2, 2, 24, {}, {{1, 2, 3, 4, 5, 6}, {1, 2, 3, 4, 5, 6}}, 1), img, &err));
    EXPECT_NE(err.find("compressed"), std::string::npos);
    Bytes b = Bmp(2, 2, 24, {}, {{1, 2, 3, 4, 5, 6}, {1, 2, 3, 4, 5, 6}});
    b.resize(b.size() - 1);
    EXPECT_FALSE(Parse(b, img, &err));
    Bytes huge = Bmp(2, 2, 24, {}, {{0}, {0}});
    Put32(huge, 18, 0x7FFFFFFF);
    EXPECT_FALSE(Parse(huge, img, &err));
    Bytes odd = Bmp(2, 2, 16, {}, {{0}, {0}});
    EXPECT_FALSE(Parse(odd, img, &err));
    Bytes pal = Bmp(2, 1, 8, {{0, 0, 0}}, {{0, 0}});
    Put32(pal, 46, 200); // claims 200 palette entries
    EXPECT_FALSE(Parse(pal, img, &err));
    EXPECT_FALSE(Parse(std::string("GIF89a"), img, &err));
    EXPECT_FALSE(ReadImageFile("/nonexistent/x.bmp", img, &err));
}
