// Page conversion, BMP files, page file names and the PDF settings of a job.
#include "imaging/output/PageImage.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>

using namespace vlm::output;

namespace {

void Put32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    for (int i = 0; i < 4; ++i)
        v[at + i] = static_cast<uint8_t>(x >> (8 * i));
}
uint32_t Get32(const std::vector<uint8_t>& v, size_t at) {
    return v[at] | (v[at + 1] << 8) | (v[at + 2] << 16) | (static_cast<uint32_t>(v[at + 3]) << 24);
}

// A packed bitmap whose pixel (x, y) (y from the top) is value(x, y).
std::vector<uint8_t> MakeDib(int w, int h, int bpp, int ppm, bool blackFirst, bool topDown,
                             const std::function<int(int, int)>& value) {
    const uint32_t colours = bpp == 1 ? 2 : bpp == 8 ? 256 : 0;
    const size_t stride = (static_cast<size_t>(w) * bpp + 31) / 32 * 4;
    std::vector<uint8_t> d(40 + colours * 4 + stride * h, 0);
    Put32(d, 0, 40);
    Put32(d, 4, static_cast<uint32_t>(w));
    Put32(d, 8, static_cast<uint32_t>(topDown ? -h : h));
    d[12] = 1;
    d[14] = static_cast<uint8_t>(bpp);
    Put32(d, 24, static_cast<uint32_t>(ppm));
    Put32(d, 28, static_cast<uint32_t>(ppm));
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
                // v: 1 = black; stored as the table index of that colour
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
    }
    return d;
}

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

std::string Tmp(const char* name) {
    return std::string(VLM_TEST_TMP) + "/" + name;
}

} // namespace

TEST(PageConversion, ResolutionFromPixelsPerMetreRoundsToNearest) {
    EXPECT_EQ(DpiFromPelsPerMeter(11811), 300); // 299.99
    EXPECT_EQ(DpiFromPelsPerMeter(7874), 200);
    EXPECT_EQ(DpiFromPelsPerMeter(3937), 100);
    EXPECT_EQ(DpiFromPelsPerMeter(0), 0);
    EXPECT_EQ(PelsPerMeterFromDpi(300), 11811);
    EXPECT_EQ(PelsPerMeterFromDpi(200), 7874);
}

TEST(PageConversion, RowsComeOutTopDownWithDwordStride) {
    auto value = [](int x, int y) { return (x * 7 + y * 13) & 0xFF; };
    for (bool topDown : {false, true}) {
        const auto dib = MakeDib(1001, 5, 8, 7874, true, topDown, value);
        CPageImage page;
        std::string err;
        ASSERT_TRUE(ConvertDib(dib.data(), dib.size(), page, &err)) << err;
        EXPECT_EQ(page.m_nStride, 1004u);
        EXPECT_EQ(page.m_nDpi, 200);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 1001; x += 97)
                ASSERT_EQ(page.Row(y)[x], value(x, y)) << x << "," << y;
    }
    const auto colour = MakeDib(3, 2, 24, 3937, true, false,
                                [](int x, int y) { return 0x010203 * (x + 3 * y + 1); });
    CPageImage page;
    ASSERT_TRUE(ConvertDib(colour.data(), colour.size(), page));
    EXPECT_EQ(page.m_nStride, 12u);                                // 9 bytes rounded up
    EXPECT_EQ(page.Row(1)[3 * 2], static_cast<uint8_t>(0x03 * 6)); // B of (2,1) as in the bitmap
}

TEST(PageConversion, BilevelRowsBecomeOneForBlackWhicheverTheTable) {
    auto value = [](int x, int y) { return (x + y) % 3 == 0 ? 1 : 0; };
    for (bool blackFirst : {true, false}) {
        const auto dib = MakeDib(21, 4, 1, 11811, blackFirst, false, value);
        CPageImage page;
        ASSERT_TRUE(ConvertDib(dib.data(), dib.size(), page));
        EXPECT_EQ(page.m_nStride, 4u);
        for (int y = 0; y < 4; ++y) {
            for (int x = 0; x < 21; ++x)
                ASSERT_EQ((page.Row(y)[x / 8] >> (7 - x % 8)) & 1, value(x, y));
            EXPECT_EQ(page.Row(y)[2] & 0x07, 0); // padding bits stay white
        }
    }
}

TEST(PageConversion, RefusesBadBitmaps) {
    auto dib = MakeDib(10, 10, 8, 0, true, false, [](int, int) { return 0; });
    CPageImage page;
    std::string err;
    EXPECT_FALSE(ConvertDib(dib.data(), dib.size() - 1, page, &err)); // short block
    EXPECT_FALSE(ConvertDib(dib.data(), 20, page, &err));
    EXPECT_FALSE(ConvertDib(nullptr, 0, page, &err));
    auto bad = dib;
    bad[14] = 4; // 4-bit
    EXPECT_FALSE(ConvertDib(bad.data(), bad.size(), page, &err));
    bad = dib;
    bad[16] = 1; // RLE
    EXPECT_FALSE(ConvertDib(bad.data(), bad.size(), page, &err));
    bad = dib;
    Put32(bad, 4, 0x7FFFFFFF);
    EXPECT_FALSE(ConvertDib(bad.data(), bad.size(), page, &err));
    bad = dib;
    Put32(bad, 32, 100000); // colour table longer than the block
    EXPECT_FALSE(ConvertDib(bad.data(), bad.size(), page, &err));
}

TEST(BmpFile, EightBitWidth1001HasRowsOf1004AtOffset1078) {
    const auto dib =
        MakeDib(1001, 3, 8, 11811, true, false, [](int x, int y) { return (x + y) & 0xFF; });
    CPageImage page;
    ASSERT_TRUE(ConvertDib(dib.data(), dib.size(), page));
    const std::string path = Tmp("w1001.bmp");
    ASSERT_EQ(0, WriteBmpFile(path, page));
    const auto f = ReadAll(path);
    ASSERT_EQ(f.size(), 1078u + 1004u * 3);
    EXPECT_EQ(f[0], 'B');
    EXPECT_EQ(f[1], 'M');
    EXPECT_EQ(Get32(f, 2), f.size());
    EXPECT_EQ(Get32(f, 10), 1078u);
    EXPECT_EQ(Get32(f, 14), 40u);
    EXPECT_EQ(Get32(f, 18), 1001u);
    EXPECT_EQ(Get32(f, 22), 3u); // positive: bottom-up
    EXPECT_EQ(f[28], 8);
    EXPECT_EQ(Get32(f, 34), 0u);     // image size 0
    EXPECT_EQ(Get32(f, 38), 11811u); // 300 dpi
    EXPECT_EQ(Get32(f, 46), 256u);
    EXPECT_EQ(f[54 + 4 * 200], 200); // grey table
    // The file's first row is the page's bottom row, and the bytes equal the bitmap's.
    EXPECT_EQ(0, std::memcmp(&f[1078], &dib[40 + 1024], 1004 * 3));
}

TEST(BmpFile, BilevelAndColourLayouts) {
    const auto dib1 = MakeDib(33, 2, 1, 3937, true, false, [](int x, int) { return x & 1; });
    CPageImage page;
    ASSERT_TRUE(ConvertDib(dib1.data(), dib1.size(), page));
    ASSERT_EQ(0, WriteBmpFile(Tmp("b1.bmp"), page));
    auto f = ReadAll(Tmp("b1.bmp"));
    ASSERT_EQ(f.size(), 62u + 8u * 2); // rows of ((33 + 31) / 32) x 4 bytes
    EXPECT_EQ(Get32(f, 10), 62u);
    EXPECT_EQ(Get32(f, 46), 2u);
    EXPECT_EQ(f[54], 0);    // entry 0 black
    EXPECT_EQ(f[58], 0xFF); // entry 1 white
    // Black-first table: the file's bits equal the bitmap's own.
    EXPECT_EQ(0, std::memcmp(&f[62], &dib1[48], 16));

    const auto dib24 =
        MakeDib(5, 2, 24, 3937, true, false, [](int x, int y) { return x * 50 + y; });
    ASSERT_TRUE(ConvertDib(dib24.data(), dib24.size(), page));
    ASSERT_EQ(0, WriteBmpFile(Tmp("c.bmp"), page));
    f = ReadAll(Tmp("c.bmp"));
    ASSERT_EQ(f.size(), 54u + 16u * 2);
    EXPECT_EQ(Get32(f, 10), 54u);
    EXPECT_EQ(Get32(f, 46), 0u);
    EXPECT_EQ(0, std::memcmp(&f[54], &dib24[40], 32));
}

TEST(BmpFile, UnwritablePathGivesMinusOne) {
    CPageImage page;
    page.m_nWidth = 4;
    page.m_nHeight = 4;
    page.m_nBitsPerPixel = 8;
    page.m_nStride = 4;
    page.m_data.assign(16, 0);
    EXPECT_EQ(-1, WriteBmpFile("/nonexistent-dir/x.bmp", page));
    page.m_nBitsPerPixel = 4;
    EXPECT_EQ(-1, WriteBmpFile(Tmp("never.bmp"), page));
}

TEST(PageFileNames, PrefixTimeStampAndExtension) {
    const CLocalTime t{2024, 3, 5, 7, 8, 9, 45};
    EXPECT_EQ(PageFileName("scan", t, "JPEG"), "scan20240305070809045.jpg");
    EXPECT_EQ(PageFileName("scan", t, "jpeg"), "scan20240305070809045.jpg");
    EXPECT_EQ(PageFileName("", t, "TIFF"), "20240305070809045.tif");
    EXPECT_EQ(PageFileName("a", t, "Pdf"), "a20240305070809045.pdf");
    EXPECT_EQ(PageFileName("a", t, "bmp"), "a20240305070809045.bmp");
    EXPECT_EQ(PageFileName("a", t, "UNKNOWN"), "a20240305070809045");
    EXPECT_EQ(PageFileName("a", t, "JPG"), "a20240305070809045"); // only the four type names
}

TEST(PageFileNames, SameMillisecondNeverOverwrites) {
    const CLocalTime t{2024, 3, 5, 7, 8, 9, 45};
    std::set<std::string> existing;
    auto exists = [&](const std::string& p) { return existing.count(p) > 0; };
    const auto first = UniquePageFilePath("C:\\tmp\\job\\", "scan", t, "JPEG", exists);
    EXPECT_EQ(first, "C:\\tmp\\job\\scan20240305070809045.jpg");
    existing.insert(first);
    const auto second = UniquePageFilePath("C:\\tmp\\job", "scan", t, "JPEG", exists);
    EXPECT_EQ(second, "C:\\tmp\\job\\scan20240305070809045-2.jpg");
    existing.insert(second);
    EXPECT_EQ(UniquePageFilePath("C:\\tmp\\job", "scan", t, "JPEG", exists),
              "C:\\tmp\\job\\scan20240305070809045-3.jpg");
}

TEST(PdfSettings, CompressionLanguageAndExtraFlags) {
    EXPECT_EQ(PdfCompressionCode(0), 0);
    EXPECT_EQ(PdfCompressionCode(5), 0);
    EXPECT_EQ(PdfCompressionCode(1), 2);
    EXPECT_EQ(PdfCompressionCode(2), 3);
    const uint32_t codes[10] = {1, 2, 3, 64, 8, 32, 16, 128, 4, 4};
    for (int i = 0; i < 10; ++i) {
        uint32_t code = 0, extra = 7;
        PdfOcrLanguage(i, code, extra);
        EXPECT_EQ(code, codes[i]) << i;
        EXPECT_EQ(extra, i == 9 ? 256u : 0u) << i;
    }
    uint32_t code = 0, extra = 0;
    PdfOcrLanguage(42, code, extra);
    EXPECT_EQ(code, 2u);
    PdfOcrLanguage(-1, code, extra);
    EXPECT_EQ(code, 2u);

    auto s = MapPdfSettings(1, 9, 0);
    EXPECT_EQ(s.m_nCompression, 2);
    EXPECT_EQ(s.m_dwLanguageFlags, 0x80000004u);
    EXPECT_EQ(s.m_dwExtraFlags, 0x100u);
    s = MapPdfSettings(0, 3, 0);
    EXPECT_EQ(s.m_dwLanguageFlags, 0x80000040u);
    s = MapPdfSettings(2, 9, 1);
    EXPECT_EQ(s.m_nCompression, 3);
    EXPECT_EQ(s.m_dwLanguageFlags, 0x4u);
}
