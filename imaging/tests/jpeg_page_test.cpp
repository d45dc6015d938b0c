// JPEG TIFF pages made with the system's own JPEG library: the fixed layout,
// reading back, and appending. Runs natively and (through vlmjpeg.dll where
// the Windows build binds it) under Wine.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "imaging/tiff.h"
#include "test_util.h"
#ifdef VLM_TIFF_TEST_SHARED_LIBRARY
#include "imaging/TiffSharedLibraries.h"
#else
#include "jpegcodec.h"
#endif

using namespace vlm;

namespace {

class JpegPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetTiffConsoleSink([](const char* t) { s_strConsole += t; });
#ifdef VLM_TIFF_TEST_SHARED_LIBRARY
        ASSERT_TRUE(VlmTiffJpegLibraryAvailable()) << "vlmjpeg.dll is not installed";
        VlmTiffUseSharedLibraries();
#else
        TiffJpegCodec codec;
        codec.pfnSave = vlm_save_JPEG;
        codec.pfnRead = vlm_read_JPEG_file;
        SetTiffJpegCodec(codec);
#endif
    }
    void TearDown() override {
        SetTiffJpegCodec(TiffJpegCodec{});
    }
    static std::string s_strConsole;
};
std::string JpegPageTest::s_strConsole;

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

// (tag, type, count, value) of entry i of the IFD at 8.
struct E {
    uint16_t tag, type;
    uint32_t count, value;
};
E EntryAt(const std::vector<uint8_t>& f, int i) {
    size_t e = 10 + 12 * i;
    E r{static_cast<uint16_t>(f[e] | f[e + 1] << 8),
        static_cast<uint16_t>(f[e + 2] | f[e + 3] << 8), Le32(f, e + 4), Le32(f, e + 8)};
    if (r.type == kTypeShort && r.count == 1)
        r.value &= 0xFFFF;
    return r;
}

int WriteJpegPage(const std::string& path, int w, int h, int spp, const std::vector<uint8_t>& px,
                  int dpi = 200) {
    CTiffFile t;
    if (!t.Open(path.c_str(), 'w'))
        return -100;
    t.TiffSetTagOld(kTagImageWidth, w);
    t.TiffSetTagOld(kTagImageLength, h);
    t.TiffSetTagOld(kTagBitsPerSample, 8);
    t.TiffSetTagOld(kTagSamplesPerPixel, spp);
    t.TiffSetTagOld(kTagCompression, 7); // stored as 6
    t.TiffSetTagOld(kTagXResolution, dpi);
    t.TiffSetTagOld(kTagYResolution, dpi);
    t.TiffSetTagOld(kTagJpegQuality, 85);
    int rc = t.WriteRows(px.data(), h);
    return rc ? rc : t.Close();
}

double MeanError(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    double s = 0;
    for (size_t i = 0; i < a.size(); ++i)
        s += std::abs(a[i] - b[i]);
    return a.empty() ? 1e9 : s / a.size();
}

} // namespace

TEST_F(JpegPageTest, GreyPageLayout) {
    const int w = 400, h = 300;
    auto px = vlmtest::MakePage(w, h, 8, 1);
    std::string p = vlmtest::TempPath("jgrey.tif");
    s_strConsole.clear();
    ASSERT_EQ(WriteJpegPage(p, w, h, 1, px), 0);
    EXPECT_NE(s_strConsole.find("Setup Complete!!\n"), std::string::npos);
    auto f = vlmtest::ReadBytes(p);
    ASSERT_GT(f.size(), 512u + 328u);
    EXPECT_EQ(f[8], 20);
    const E expect[20] = {{254, 4, 1, 0},   {256, 4, 1, 400}, {257, 4, 1, 300}, {258, 3, 1, 8},
                          {259, 3, 1, 6},   {262, 3, 1, 1},   {273, 4, 1, 840}, {274, 3, 1, 1},
                          {277, 3, 1, 1},   {278, 4, 1, 300}, {279, 4, 1, 0},   {282, 5, 1, 400},
                          {283, 5, 1, 408}, {296, 3, 1, 2},   {512, 4, 1, 1},   {513, 4, 1, 512},
                          {514, 4, 1, 328}, {519, 4, 1, 537}, {520, 4, 1, 619}, {521, 4, 1, 652}};
    for (int i = 0; i < 20; ++i) {
        E e = EntryAt(f, i);
        EXPECT_EQ(e.tag, expect[i].tag) << i;
        EXPECT_EQ(e.type, expect[i].type) << i;
        EXPECT_EQ(e.count, expect[i].count) << i;
        if (expect[i].tag != 279) {
            EXPECT_EQ(e.value, expect[i].value) << "tag " << e.tag;
        }
    }
    EXPECT_EQ(EntryAt(f, 10).value, f.size() - 512 - 328);
    EXPECT_EQ(Le32(f, 250), 0u);
    EXPECT_EQ(Le32(f, 400), 200u);
    EXPECT_EQ(Le32(f, 404), 1u);
    for (size_t i = 254; i < 400; ++i)
        ASSERT_EQ(f[i], 0) << i;
    EXPECT_EQ(f[512], 0xFF);
    EXPECT_EQ(f[513], 0xD8);
    EXPECT_EQ(f[512 + 326], 63); // spectral end and approximation: the scan header's end
    EXPECT_EQ(f[512 + 327], 0x00);
    EXPECT_EQ(f[537 - 5], 0xFF); // DQT marker before the table data
    EXPECT_EQ(f[537 - 4], 0xDB);
    EXPECT_EQ(f[619 - 5], 0xFF); // DHT marker
    EXPECT_EQ(f[619 - 4], 0xC4);

    CTiffFile r;
    ASSERT_TRUE(r.Open(p.c_str(), 'r'));
    EXPECT_EQ(r.GetTag(kTagCompression), 6);
    std::vector<uint8_t> buf(r.PageBufferSize());
    ASSERT_EQ(buf.size(), px.size()); // 400 is a multiple of 4
    ASSERT_EQ(r.ReadPage(buf.data(), buf.size()), 0);
    EXPECT_LT(MeanError(px, buf), 3.0);
}

TEST_F(JpegPageTest, ColourPageLayoutAndAppending) {
    const int w = 321, h = 200;
    auto px = vlmtest::MakePage(w, h, 24, 2);
    std::string p = vlmtest::TempPath("jcolour.tif"), first = vlmtest::TempPath("jfirst.tif");
    ASSERT_EQ(WriteJpegPage(p, w, h, 3, px, 300), 0);
    auto f = vlmtest::ReadBytes(p);
    EXPECT_EQ(EntryAt(f, 3).value, 384u); // BitsPerSample array
    EXPECT_EQ(f[384] | f[385] << 8, 8);
    EXPECT_EQ(f[388] | f[389] << 8, 8);
    EXPECT_EQ(EntryAt(f, 6).value, 512u + 623u);
    EXPECT_EQ(EntryAt(f, 16).value, 623u);
    const uint32_t tables[9] = {537, 606, 606, 694, 910, 910, 727, 943, 943};
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(Le32(f, 416 + 16 * (i / 3) + 4 * (i % 3)), tables[i]) << i;
    EXPECT_EQ(EntryAt(f, 17).count, 3u);
    EXPECT_EQ(EntryAt(f, 17).value, 416u);

    // Appended after a bilevel page, the JPEG page and its tables still read.
    auto bilevel = vlmtest::MakePage(64, 64, 1, 3);
    {
        CTiffFile t;
        ASSERT_TRUE(t.Open(first.c_str(), 'w'));
        t.TiffSetTagOld(kTagImageWidth, 64);
        t.TiffSetTagOld(kTagImageLength, 64);
        t.TiffSetTagOld(kTagCompression, 4);
        ASSERT_EQ(t.WriteRows(bilevel.data(), 64), 0);
        ASSERT_EQ(t.Close(), 0);
    }
    const uint32_t oldSize = static_cast<uint32_t>(vlmtest::ReadBytes(first).size());
    ASSERT_EQ(ConcatTiff(first.c_str(), p.c_str()), 0);
    auto joined = vlmtest::ReadBytes(first);
    EXPECT_EQ(Le32(joined, oldSize + 416), 537u + oldSize);
    EXPECT_EQ(Le32(joined, oldSize + 452), 943u + oldSize);
    CTiffFile r;
    ASSERT_TRUE(r.Open(first.c_str(), 'r'));
    ASSERT_EQ(r.PageCount(), 2);
    ASSERT_EQ(r.OpenPage(2), 0);
    EXPECT_EQ(r.GetTag(kTagXResolution), 300);
    std::vector<uint8_t> buf(r.PageBufferSize());
    ASSERT_EQ(r.RowStride(), 964u);
    ASSERT_EQ(r.ReadPage(buf.data(), buf.size()), 0);
    EXPECT_LT(MeanError(vlmtest::PadRows(px, 3 * w, h), buf), 4.0);
}

TEST_F(JpegPageTest, WithoutALibraryThePageFails) {
    SetTiffJpegCodec(TiffJpegCodec{});
    auto px = vlmtest::MakePage(64, 32, 8, 1);
    EXPECT_EQ(WriteJpegPage(vlmtest::TempPath("nolib.tif"), 64, 32, 1, px), -1);
}
