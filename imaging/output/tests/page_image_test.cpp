// The portable page writers: the view of the scan engine's page buffer, BMP
// and TIFF page files from either kind of page, and page file names.
#include "imaging/output/PageImage.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <set>

#include "imaging/tiff.h"
#include "jpegcodec.h"
#include "test_util.h"

using namespace vlm::output;
using vlmtest::Bit;
using vlmtest::MakeDib;
using vlmtest::ReadBytes;

namespace {

uint32_t Get32(const std::vector<uint8_t>& v, size_t at) {
    return v[at] | (v[at + 1] << 8) | (v[at + 2] << 16) | (static_cast<uint32_t>(v[at + 3]) << 24);
}

std::string Tmp(const char* name) {
    return std::string(VLM_TEST_TMP) + "/" + name;
}

bool Exists(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f)
        std::fclose(f);
    return f != nullptr;
}

CPageView ViewOf(const std::vector<uint8_t>& dib) {
    CPageView view;
    std::string error;
    EXPECT_TRUE(vlm::ViewOfDib(dib.data(), dib.size(), view, &error)) << error;
    return view;
}

// A memory-transfer page as the scan engine hands it over: rows top-down,
// Sync bytes apart, bilevel 0 = black, colour B,G,R.
struct CBufferPage {
    std::vector<uint8_t> m_data;
    VlmImageInfo m_info{};

    CBufferPage(int w, int h, int bpp, int dpi, const std::function<int(int, int)>& value) {
        m_info.Width = w;
        m_info.Height = h;
        m_info.Spp = bpp == 24 ? 3 : 1;
        m_info.Bps = bpp / m_info.Spp;
        m_info.Sync = VlmSyncBytes(w, bpp);
        m_info.ImageSize = m_info.Sync * h;
        m_info.XRes = m_info.YRes = dpi;
        m_data.assign(m_info.ImageSize, 0);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                uint8_t* row = &m_data[m_info.Sync * y];
                const int v = value(x, y);
                if (bpp == 1 && v == 0) // white is 1
                    row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
                else if (bpp == 8)
                    row[x] = static_cast<uint8_t>(v);
                else if (bpp == 24)
                    for (int c = 0; c < 3; ++c)
                        row[3 * x + c] = static_cast<uint8_t>(v >> (8 * c));
            }
        m_info.lpImage = m_data.data();
    }
    CPageView View() const {
        CPageView view;
        std::string error;
        EXPECT_TRUE(ViewOfPageBuffer(m_info, view, false, &error)) << error;
        return view;
    }
};

// The pixels of page 1 of a TIFF file as our reader gives them.
std::vector<uint8_t> ReadTiff(const std::string& path, vlm::CTiffFile& t) {
    std::vector<uint8_t> out;
    if (!t.Open(path.c_str(), 'r'))
        return out;
    out.resize(t.PageBufferSize());
    if (t.ReadPage(out.data(), out.size()) != 0)
        out.clear();
    return out;
}

class PageFiles : public ::testing::Test {
protected:
    void SetUp() override {
        vlm::SetTiffConsoleSink([](const char*) {});
        vlm::TiffJpegCodec codec;
        codec.pfnSave = vlm_save_JPEG;
        codec.pfnRead = vlm_read_JPEG_file;
        vlm::SetTiffJpegCodec(codec);
    }
    void TearDown() override { vlm::SetTiffJpegCodec(vlm::TiffJpegCodec{}); }
};

} // namespace

TEST(PageBuffer, DescribesTheScanEnginesRowsWithoutCopying) {
    CBufferPage page(21, 3, 1, 300, [](int x, int y) { return (x + y) & 1; });
    const CPageView view = page.View();
    EXPECT_EQ(view.m_pTop, page.m_data.data());
    EXPECT_EQ(view.m_nStep, 4);
    EXPECT_EQ(view.m_nBitsPerPixel, 1);
    EXPECT_FALSE(view.m_bOneIsBlack); // TWAIN's default pixel flavour
    EXPECT_EQ(view.m_nXDpi, 300);
    CPageView vanilla;
    ASSERT_TRUE(ViewOfPageBuffer(page.m_info, vanilla, true));
    EXPECT_TRUE(vanilla.m_bOneIsBlack);

    CBufferPage colour(5, 2, 24, 200, [](int x, int) { return x; });
    EXPECT_EQ(colour.View().m_nBitsPerPixel, 24);
    EXPECT_EQ(colour.View().m_nStep, 16);
}

TEST(PageBuffer, RefusesWhatIsNoPageOfPixels) {
    CBufferPage page(16, 4, 8, 200, [](int, int) { return 9; });
    CPageView view;
    std::string error;
    VlmImageInfo info = page.m_info;
    info.Width = info.Height = -1; // compressed data
    EXPECT_FALSE(ViewOfPageBuffer(info, view, false, &error));
    info = page.m_info;
    info.lpImage = nullptr;
    EXPECT_FALSE(ViewOfPageBuffer(info, view, false, &error));
    info = page.m_info;
    info.Bps = 4;
    EXPECT_FALSE(ViewOfPageBuffer(info, view, false, &error));
    info = page.m_info;
    info.ImageSize = info.Sync * 3; // the last row is missing
    EXPECT_FALSE(ViewOfPageBuffer(info, view, false, &error));
    info = page.m_info;
    info.Sync = 15; // shorter than a row
    EXPECT_FALSE(ViewOfPageBuffer(info, view, false, &error));
    EXPECT_FALSE(error.empty());
}

TEST(BmpFile, EightBitWidth1001HasRowsOf1004AtOffset1078) {
    auto value = [](int x, int y) { return (x + y) & 0xFF; };
    const auto dib = MakeDib(1001, 3, 8, 11811, true, false, value);
    const std::string path = Tmp("w1001.bmp");
    ASSERT_EQ(0, WriteBmpFile(path, ViewOf(dib)));
    const auto f = ReadBytes(path);
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
    EXPECT_EQ(Get32(f, 38), 11811u); // 300 dpi, both ways from the horizontal
    EXPECT_EQ(Get32(f, 42), 11811u);
    EXPECT_EQ(Get32(f, 46), 256u);
    EXPECT_EQ(f[54 + 4 * 200], 200); // grey table
    // The file's first row is the page's bottom row, and the bytes equal the bitmap's.
    EXPECT_EQ(0, std::memcmp(&f[1078], &dib[40 + 1024], 1004 * 3));

    // The same page from the scan engine's buffer makes the same file.
    CBufferPage buffer(1001, 3, 8, 300, value);
    ASSERT_EQ(0, WriteBmpFile(Tmp("w1001b.bmp"), buffer.View()));
    EXPECT_EQ(ReadBytes(Tmp("w1001b.bmp")), f);
}

TEST(BmpFile, BilevelAndColourLayouts) {
    auto stripes = [](int x, int) { return x & 1; };
    const auto dib1 = MakeDib(33, 2, 1, 3937, true, false, stripes);
    ASSERT_EQ(0, WriteBmpFile(Tmp("b1.bmp"), ViewOf(dib1)));
    auto f = ReadBytes(Tmp("b1.bmp"));
    ASSERT_EQ(f.size(), 62u + 8u * 2); // rows of ((33 + 31) / 32) x 4 bytes
    EXPECT_EQ(Get32(f, 10), 62u);
    EXPECT_EQ(Get32(f, 46), 2u);
    EXPECT_EQ(f[54], 0);    // entry 0 black
    EXPECT_EQ(f[58], 0xFF); // entry 1 white
    for (int y = 0; y < 2; ++y) {
        const uint8_t* row = &f[62 + 8 * y];
        for (int x = 0; x < 33; ++x)
            ASSERT_EQ(Bit(row, x), 1 - stripes(x, y)) << x; // 0 = black in the file
        EXPECT_EQ(row[4], 0x80 & row[4]);                   // padding bits are zero
        EXPECT_EQ(row[5] | row[6] | row[7], 0);
    }
    // A white-first bitmap and a page buffer of the same page write the same file.
    ASSERT_EQ(0,
              WriteBmpFile(Tmp("b2.bmp"), ViewOf(MakeDib(33, 2, 1, 3937, false, true, stripes))));
    EXPECT_EQ(ReadBytes(Tmp("b2.bmp")), f);
    CBufferPage buffer(33, 2, 1, 100, stripes);
    ASSERT_EQ(0, WriteBmpFile(Tmp("b3.bmp"), buffer.View()));
    EXPECT_EQ(ReadBytes(Tmp("b3.bmp")), f);

    const auto dib24 =
        MakeDib(5, 2, 24, 3937, true, false, [](int x, int y) { return x * 50 + y; });
    ASSERT_EQ(0, WriteBmpFile(Tmp("c.bmp"), ViewOf(dib24)));
    f = ReadBytes(Tmp("c.bmp"));
    ASSERT_EQ(f.size(), 54u + 16u * 2);
    EXPECT_EQ(Get32(f, 10), 54u);
    EXPECT_EQ(Get32(f, 46), 0u);
    EXPECT_EQ(0, std::memcmp(&f[54], &dib24[40], 32));
}

TEST(BmpFile, FailuresGiveMinusOneAndNoFile) {
    const std::vector<uint8_t> rows(16, 0);
    const CPageView page = vlm::ViewOfRows(rows.data(), 4, 4, 4, 8, 200);
    EXPECT_EQ(-1, WriteBmpFile("/nonexistent-dir/x.bmp", page));
    CPageView deep = page;
    deep.m_nBitsPerPixel = 4;
    EXPECT_EQ(-1, WriteBmpFile(Tmp("never.bmp"), deep));
    EXPECT_FALSE(Exists(Tmp("never.bmp")));
}

TEST_F(PageFiles, TiffPagesFromABitmapHoldThePagesPixels) {
    // A bottom-up bitmap with 0 = black: the file holds 1 = black top-down.
    auto value = [](int x, int y) { return (x / 3 + y / 2) % 2; };
    const auto dib = MakeDib(77, 31, 1, 7874, true, false, value);
    for (bool compress : {false, true}) {
        const std::string path = Tmp(compress ? "g4.tif" : "none.tif");
        ASSERT_EQ(0, WriteTiffPageFile(path, ViewOf(dib), CTiffPageOptions{compress, 75}));
        vlm::CTiffFile t;
        const auto px = ReadTiff(path, t);
        ASSERT_FALSE(px.empty());
        EXPECT_EQ(t.GetTag(vlm::kTagCompression), compress ? 4 : 1);
        EXPECT_EQ(t.GetTag(vlm::kTagXResolution), 200);
        for (int y = 0; y < 31; ++y)
            for (int x = 0; x < 77; ++x)
                ASSERT_EQ(Bit(&px[t.RowStride() * y], x), value(x, y)) << x << "," << y;
    }
    auto colour = [](int x, int y) { return (x * 3) | (y * 5) << 8 | 0x40 << 16; };
    const auto dib24 = MakeDib(19, 7, 24, 3937, true, false, colour);
    ASSERT_EQ(0, WriteTiffPageFile(Tmp("rgb.tif"), ViewOf(dib24), {}));
    vlm::CTiffFile t;
    const auto px = ReadTiff(Tmp("rgb.tif"), t);
    ASSERT_FALSE(px.empty());
    EXPECT_EQ(px[t.RowStride() * 6 + 3 * 18], (18 * 3) & 0xFF); // B,G,R again after reading
    EXPECT_EQ(px[t.RowStride() * 6 + 3 * 18 + 1], 30);
    EXPECT_EQ(px[t.RowStride() * 6 + 3 * 18 + 2], 0x40);
}

TEST_F(PageFiles, TiffJpegPagesFromEitherKindOfPage) {
    auto value = [](int x, int y) { return 40 + (x + 2 * y) % 160; };
    const auto dib = MakeDib(64, 48, 8, 7874, true, false, value);
    CBufferPage buffer(64, 48, 8, 200, value);
    for (int source = 0; source < 2; ++source) {
        const std::string path = Tmp(source ? "jb.tif" : "jd.tif");
        const CPageView view = source ? buffer.View() : ViewOf(dib);
        ASSERT_EQ(0, WriteTiffPageFile(path, view, CTiffPageOptions{true, 90}));
        vlm::CTiffFile t;
        const auto px = ReadTiff(path, t);
        ASSERT_FALSE(px.empty());
        EXPECT_EQ(t.GetTag(vlm::kTagCompression), 6);
        double error = 0;
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64; ++x)
                error += std::abs(px[t.RowStride() * y + x] - value(x, y));
        EXPECT_LT(error / (64 * 48), 3.0);
    }
    // Both sources give the same stream: the page is the same.
    EXPECT_EQ(ReadBytes(Tmp("jb.tif")), ReadBytes(Tmp("jd.tif")));
}

TEST_F(PageFiles, FailedTiffPagesLeaveNoFile) {
    // A row of alternating pixels has more changing elements than Group 4 takes.
    std::vector<uint8_t> row(5001, 0x55);
    const CPageView noisy = vlm::ViewOfRows(row.data(), row.size(), 40008, 1, 1, 200);
    const std::string path = Tmp("complex.tif");
    EXPECT_EQ(vlm::CTiffFile::kG4LineTooComplex,
              WriteTiffPageFile(path, noisy, CTiffPageOptions{true, 75}));
    EXPECT_FALSE(Exists(path));
    EXPECT_EQ(0, WriteTiffPageFile(path, noisy, CTiffPageOptions{false, 75}));

    vlm::SetTiffJpegCodec(vlm::TiffJpegCodec{}); // no JPEG library
    std::vector<uint8_t> grey(64, 128);
    const std::string jpeg = Tmp("nolib.tif");
    EXPECT_EQ(-1, WriteTiffPageFile(jpeg, vlm::ViewOfRows(grey.data(), 8, 8, 8, 8, 200),
                                    CTiffPageOptions{true, 75}));
    EXPECT_FALSE(Exists(jpeg));
    EXPECT_EQ(-1, WriteTiffPageFile("/nonexistent-dir/x.tif",
                                    vlm::ViewOfRows(grey.data(), 8, 8, 8, 8, 200), {}));
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
