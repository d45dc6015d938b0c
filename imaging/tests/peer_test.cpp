// Our files against libtiff (and tiffinfo), and libtiff's files against our
// reader. Native only.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <tiffio.h>

#include "imaging/tiff.h"
#include "jpeg_test_codec.h"
#include "test_util.h"
#include "tiff_pages.h"

using namespace vlm;

namespace {

class PeerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        TiffJpegCodec codec;
        codec.pfnSave = vlmtest::SaveJpeg;
        codec.pfnRead = vlmtest::ReadJpeg;
        SetTiffJpegCodec(codec);
        SetTiffConsoleSink([](const char*) {});
        TIFFSetWarningHandler(nullptr);
    }
};

// All rows of page `dir` through libtiff's scanline interface, packed.
std::vector<uint8_t> LibtiffScanlines(const std::string& path, int dir = 0) {
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (!tif)
        return {};
    std::vector<uint8_t> out;
    if (TIFFSetDirectory(tif, static_cast<tdir_t>(dir))) {
        uint32_t h = 0;
        TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
        tmsize_t sl = TIFFScanlineSize(tif);
        out.resize(static_cast<size_t>(sl) * h);
        for (uint32_t y = 0; y < h; ++y)
            if (TIFFReadScanline(tif, out.data() + sl * y, y, 0) < 0) {
                out.clear();
                break;
            }
    }
    TIFFClose(tif);
    return out;
}

std::vector<uint8_t> BgrToRgb(std::vector<uint8_t> v) {
    for (size_t i = 0; i + 2 < v.size(); i += 3)
        std::swap(v[i], v[i + 2]);
    return v;
}

void MaskTail(std::vector<uint8_t>& v, int width) {
    size_t rowBytes = (width + 7) / 8;
    if (width % 8)
        for (size_t i = rowBytes - 1; i < v.size(); i += rowBytes)
            v[i] &= static_cast<uint8_t>(0xFF << (8 - width % 8));
}

std::vector<uint8_t> OurPage(const std::string& path, int page = 1) {
    CTiffFile t;
    if (!t.Open(path.c_str(), 'r') || t.OpenPage(page) != 0)
        return {};
    std::vector<uint8_t> buf(t.PageBufferSize());
    if (buf.empty() || t.ReadPage(buf.data(), buf.size()) != 0)
        return {};
    return buf;
}

// Mean and largest absolute difference of two equally sized sample arrays.
void Compare(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, double& mean,
             int& worst) {
    double sum = 0;
    worst = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        int d = std::abs(a[i] - b[i]);
        sum += d;
        worst = std::max(worst, d);
    }
    mean = a.empty() ? 0 : sum / a.size();
}

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

// The value field of `tag` in the IFD at 8.
uint32_t FieldOf(const std::vector<uint8_t>& f, uint16_t tag) {
    uint16_t n = static_cast<uint16_t>(f[8] | f[9] << 8);
    for (uint16_t i = 0; i < n; ++i) {
        size_t e = 10 + 12 * i;
        if ((f[e] | f[e + 1] << 8) == tag)
            return Le32(f, e + 8);
    }
    return 0xFFFFFFFF;
}

} // namespace

TEST_F(PeerTest, LibtiffReadsOurUncompressedAndGroup4Pages) {
    struct Form {
        int bps, spp, comp;
    } forms[] = {{1, 1, 1}, {4, 1, 1}, {8, 1, 1}, {8, 3, 1}, {1, 1, 4}};
    for (auto f : forms) {
        const int width = 1001, height = 333;
        auto page = vlmtest::MakePage(width, height, f.bps * f.spp, 7);
        if (f.bps == 1)
            MaskTail(page, width);
        std::string p = vlmtest::TempPath("peer" + std::to_string(f.bps * f.spp) + "_" +
                                          std::to_string(f.comp) + ".tif");
        ASSERT_EQ(vlmtest::WriteTiffPage(p, width, height, f.bps, f.spp, f.comp, page), 0);
        auto got = LibtiffScanlines(p);
        if (f.bps == 1)
            MaskTail(got, width);
        EXPECT_EQ(got, f.spp == 3 ? BgrToRgb(page) : page)
            << "bps " << f.bps << " spp " << f.spp << " comp " << f.comp;
    }
}

TEST_F(PeerTest, LibtiffReadsOurG4OnAFullA4Page) {
    const int width = 2480, height = 3508;
    auto page = vlmtest::MakePage(width, height, 1, 1);
    std::string p = vlmtest::TempPath("a4g4.tif");
    ASSERT_EQ(vlmtest::WriteTiffPage(p, width, height, 1, 1, 4, page), 0);
    EXPECT_EQ(LibtiffScanlines(p), page);
    EXPECT_EQ(OurPage(p), vlmtest::PadRows(page, width / 8, height));
}

TEST_F(PeerTest, JpegPagesHaveTheFixedLayoutAndDecodeEverywhere) {
    for (int spp : {1, 3}) {
        const int width = 640, height = 480;
        auto page = vlmtest::MakePage(width, height, 8 * spp, 3);
        std::string p = vlmtest::TempPath("jpeg" + std::to_string(spp) + ".tif");
        ASSERT_EQ(vlmtest::WriteTiffPage(p, width, height, 8, spp, 7, page, 300, 90), 0);
        auto f = vlmtest::ReadBytes(p);
        ASSERT_GT(f.size(), 1024u);
        EXPECT_EQ(f[8], 20);
        EXPECT_EQ(FieldOf(f, 259) & 0xFFFF, 6u);
        EXPECT_EQ(FieldOf(f, 513), 512u);
        EXPECT_EQ(f[512], 0xFF);
        EXPECT_EQ(f[513], 0xD8);
        EXPECT_EQ(Le32(f, 250), 0u);
        EXPECT_EQ(Le32(f, 400), 300u);
        if (spp == 1) {
            EXPECT_EQ(FieldOf(f, 514), 328u);
            EXPECT_EQ(FieldOf(f, 273), 840u);
            EXPECT_EQ(FieldOf(f, 519), 537u);
            EXPECT_EQ(FieldOf(f, 520), 619u);
            EXPECT_EQ(FieldOf(f, 521), 652u);
        } else {
            EXPECT_EQ(FieldOf(f, 514), 623u);
            EXPECT_EQ(FieldOf(f, 258), 384u);
            EXPECT_EQ(FieldOf(f, 519), 416u);
            EXPECT_EQ(Le32(f, 416), 537u);
            EXPECT_EQ(Le32(f, 420), 606u);
            EXPECT_EQ(Le32(f, 424), 606u);
            EXPECT_EQ(Le32(f, 432), 694u);
            EXPECT_EQ(Le32(f, 436), 910u);
            EXPECT_EQ(Le32(f, 448), 727u);
            EXPECT_EQ(Le32(f, 452), 943u);
        }
        // The table offsets point at the tables' data inside the stream.
        EXPECT_EQ(f[537 - 5], 0xFF);
        EXPECT_EQ(f[537 - 4], 0xDB);
        EXPECT_EQ(FieldOf(f, 279) + FieldOf(f, 514) + 512, f.size());

        // libtiff, through its RGBA interface.
        TIFF* tif = TIFFOpen(p.c_str(), "r");
        ASSERT_NE(tif, nullptr);
        std::vector<uint32_t> rgba(static_cast<size_t>(width) * height);
        ASSERT_EQ(
            TIFFReadRGBAImageOriented(tif, width, height, rgba.data(), ORIENTATION_TOPLEFT, 0), 1);
        TIFFClose(tif);
        std::vector<uint8_t> theirs(page.size()), ours;
        for (size_t i = 0; i < rgba.size(); ++i) {
            if (spp == 1)
                theirs[i] = static_cast<uint8_t>(TIFFGetR(rgba[i]));
            else {
                theirs[3 * i] = static_cast<uint8_t>(TIFFGetB(rgba[i]));
                theirs[3 * i + 1] = static_cast<uint8_t>(TIFFGetG(rgba[i]));
                theirs[3 * i + 2] = static_cast<uint8_t>(TIFFGetR(rgba[i]));
            }
        }
        double mean;
        int worst;
        Compare(page, theirs, mean, worst);
        EXPECT_LT(mean, 3.0) << "libtiff, spp " << spp;
        ours = OurPage(p); // rows are multiples of 4 bytes already
        ASSERT_EQ(ours.size(), page.size());
        Compare(page, ours, mean, worst);
        EXPECT_LT(mean, 3.0) << "ours, spp " << spp;
    }
}

TEST_F(PeerTest, TiffinfoListsEveryPageOfAConcatenatedFile) {
    std::string target = vlmtest::TempPath("multi.tif");
    struct P {
        int w, h, bps, spp, comp;
    } pages[] = {{800, 600, 1, 1, 4},
                 {640, 480, 8, 3, 6},
                 {300, 200, 8, 1, 1},
                 {1000, 50, 1, 1, 1},
                 {320, 240, 8, 1, 6}};
    for (size_t i = 0; i < std::size(pages); ++i) {
        const P& pg = pages[i];
        auto px = vlmtest::MakePage(pg.w, pg.h, pg.bps * pg.spp, static_cast<int>(i));
        std::string p = i == 0 ? target : vlmtest::TempPath("part" + std::to_string(i) + ".tif");
        ASSERT_EQ(vlmtest::WriteTiffPage(p, pg.w, pg.h, pg.bps, pg.spp, pg.comp, px), 0);
        if (i > 0) {
            ASSERT_EQ(ConcatTiff(target.c_str(), p.c_str()), 0);
        }
    }
    std::string cmd = "tiffinfo '" + target + "' 2>&1";
    FILE* pipe = popen(cmd.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string text;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), pipe)) > 0)
        text.append(buf, n);
    int status = pclose(pipe);
    EXPECT_EQ(status, 0) << text;
    size_t pos = 0;
    int dirs = 0;
    while ((pos = text.find("TIFF Directory at offset", pos)) != std::string::npos) {
        ++dirs;
        ++pos;
    }
    EXPECT_EQ(dirs, static_cast<int>(std::size(pages))) << text;
    for (const P& pg : pages) {
        std::string dims =
            "Image Width: " + std::to_string(pg.w) + " Image Length: " + std::to_string(pg.h);
        EXPECT_NE(text.find(dims), std::string::npos) << dims << "\n" << text;
    }
    EXPECT_EQ(text.find("rror"), std::string::npos) << text;
    // And libtiff reads the pixels of an appended page.
    auto third = vlmtest::MakePage(300, 200, 8, 2);
    EXPECT_EQ(LibtiffScanlines(target, 2), third);
}

namespace {

// A bilevel file written by libtiff with the given coding.
bool LibtiffWriteFax(const std::string& path, bool bigEndian, uint16_t comp, uint32_t g3opts,
                     int width, int height, const std::vector<uint8_t>& page, uint32_t rps,
                     uint16_t fillOrder = FILLORDER_MSB2LSB,
                     uint16_t photometric = PHOTOMETRIC_MINISWHITE) {
    TIFF* tif = TIFFOpen(path.c_str(), bigEndian ? "wb" : "wl");
    if (!tif)
        return false;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, photometric);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, comp);
    TIFFSetField(tif, TIFFTAG_FILLORDER, fillOrder);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rps);
    if (comp == COMPRESSION_CCITTFAX3)
        TIFFSetField(tif, TIFFTAG_GROUP3OPTIONS, g3opts);
    size_t rowBytes = (width + 7) / 8;
    std::vector<uint8_t> row(rowBytes);
    bool ok = true;
    for (int y = 0; y < height && ok; ++y) {
        std::memcpy(row.data(), page.data() + rowBytes * y, rowBytes);
        if (photometric == PHOTOMETRIC_MINISBLACK)
            for (auto& b : row)
                b = static_cast<uint8_t>(~b);
        ok = TIFFWriteScanline(tif, row.data(), y, 0) >= 0;
    }
    TIFFClose(tif);
    return ok;
}

} // namespace

TEST_F(PeerTest, OurDecodersReadLibtiffFaxFiles) {
    struct Case {
        const char* name;
        uint16_t comp;
        uint32_t g3opts;
        uint32_t rps;
    } cases[] = {
        {"mh", COMPRESSION_CCITTRLE, 0, 100000},
        {"g3_1d", COMPRESSION_CCITTFAX3, 0, 100000},
        {"g3_1d_fill", COMPRESSION_CCITTFAX3, GROUP3OPT_FILLBITS, 100000},
        {"g3_2d", COMPRESSION_CCITTFAX3, GROUP3OPT_2DENCODING, 100000},
        {"g3_2d_fill", COMPRESSION_CCITTFAX3, GROUP3OPT_2DENCODING | GROUP3OPT_FILLBITS, 100000},
        {"g4", COMPRESSION_CCITTFAX4, 0, 100000},
        {"g4_strips", COMPRESSION_CCITTFAX4, 0, 37},
        {"g3_2d_strips", COMPRESSION_CCITTFAX3, GROUP3OPT_2DENCODING, 50},
        {"mh_strips", COMPRESSION_CCITTRLE, 0, 64},
    };
    const int width = 1728, height = 300;
    auto text = vlmtest::MakePage(width, height, 1, 12);
    auto noise = vlmtest::MakeNoise(text.size(), 99);
    for (const auto& c : cases) {
        for (bool big : {false, true}) {
            for (const auto* page : {&text, &noise}) {
                std::string p = vlmtest::TempPath(std::string(c.name) + (big ? "_mm" : "_ii") +
                                                  (page == &text ? "_t" : "_n") + ".tif");
                ASSERT_TRUE(LibtiffWriteFax(p, big, c.comp, c.g3opts, width, height, *page, c.rps));
                EXPECT_EQ(OurPage(p), *page) << p;
            }
        }
    }
}

TEST_F(PeerTest, OurDecodersHonourFillOrderPhotometricAndOddWidths) {
    const int width = 333, height = 120;
    auto page = vlmtest::MakePage(width, height, 1, 4);
    MaskTail(page, width);
    auto expect = vlmtest::PadRows(page, (width + 7) / 8, height);
    for (uint16_t comp : {COMPRESSION_CCITTRLE, COMPRESSION_CCITTFAX3, COMPRESSION_CCITTFAX4}) {
        std::string p = vlmtest::TempPath("lsb" + std::to_string(comp) + ".tif");
        ASSERT_TRUE(LibtiffWriteFax(p, false, comp, GROUP3OPT_2DENCODING, width, height, page, 40,
                                    FILLORDER_LSB2MSB));
        EXPECT_EQ(OurPage(p), expect) << "fill order 2, compression " << comp;
        p = vlmtest::TempPath("minisblack" + std::to_string(comp) + ".tif");
        ASSERT_TRUE(LibtiffWriteFax(p, true, comp, 0, width, height, page, 1000, FILLORDER_MSB2LSB,
                                    PHOTOMETRIC_MINISBLACK));
        EXPECT_EQ(OurPage(p), expect) << "BlackIsZero, compression " << comp;
    }
}

TEST_F(PeerTest, OurReaderReadsLibtiffUncompressedBigEndianColour) {
    const int width = 99, height = 40;
    auto rgb = vlmtest::MakePage(width, height, 24, 8); // treated as R,G,B here
    std::string p = vlmtest::TempPath("mm_rgb.tif");
    TIFF* tif = TIFFOpen(p.c_str(), "wb");
    ASSERT_NE(tif, nullptr);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 7);
    for (int y = 0; y < height; ++y)
        ASSERT_GE(TIFFWriteScanline(tif, rgb.data() + 3 * width * y, y, 0), 0);
    TIFFClose(tif);
    EXPECT_EQ(OurPage(p), vlmtest::PadRows(BgrToRgb(rgb), 3 * width, height));
}

namespace {

// A libtiff tool's output and exit status.
std::string RunTool(const std::string& cmd, int* status) {
    std::string text;
    FILE* pipe = popen((cmd + " 2>&1").c_str(), "r");
    if (!pipe) {
        *status = -1;
        return text;
    }
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof(buf), pipe)) > 0;)
        text.append(buf, n);
    *status = pclose(pipe);
    return text;
}

} // namespace

TEST_F(PeerTest, UncompressedPagesWithFillOrder2FromTiffcpReadAsTheirSource) {
    struct P {
        int w, bps, spp;
    } pages[] = {{333, 1, 1}, {200, 8, 1}, {97, 8, 3}};
    for (const P& pg : pages) {
        const std::string tag = std::to_string(pg.bps * pg.spp);
        const std::string src = vlmtest::TempPath("fill_src" + tag + ".tif");
        const std::string lsb = vlmtest::TempPath("fill_lsb" + tag + ".tif");
        auto px = vlmtest::MakePage(pg.w, 90, pg.bps * pg.spp, 21);
        ASSERT_EQ(vlmtest::WriteTiffPage(src, pg.w, 90, pg.bps, pg.spp, 1, px), 0);
        int rc = 0;
        RunTool("tiffcp -c none -f lsb2msb '" + src + "' '" + lsb + "'", &rc);
        ASSERT_EQ(rc, 0);
        const std::string info = RunTool("tiffinfo '" + lsb + "'", &rc);
        ASSERT_NE(info.find("FillOrder: lsb-to-msb"), std::string::npos) << info;
        const std::vector<uint8_t> want = OurPage(src);
        ASSERT_FALSE(want.empty());
        EXPECT_EQ(OurPage(lsb), want) << tag << " bits";
    }
}

TEST_F(PeerTest, PalettePagesFromTiffmedianAreRefusedNotReadAsGrey) {
    const std::string rgb = vlmtest::TempPath("median_src.tif");
    const std::string pal = vlmtest::TempPath("median_pal.tif");
    auto px = vlmtest::MakePage(160, 120, 24, 5);
    ASSERT_EQ(vlmtest::WriteTiffPage(rgb, 160, 120, 8, 3, 1, px), 0);
    int rc = 0;
    RunTool("tiffmedian -c none '" + rgb + "' '" + pal + "'", &rc);
    ASSERT_EQ(rc, 0);
    const std::string info = RunTool("tiffinfo '" + pal + "'", &rc);
    ASSERT_NE(info.find("palette color"), std::string::npos) << info;
    CTiffFile t;
    ASSERT_TRUE(t.Open(pal.c_str(), 'r'));
    EXPECT_EQ(t.Photometric(), static_cast<int>(kPhotometricPalette));
    std::vector<uint8_t> buf(t.PageBufferSize());
    ASSERT_FALSE(buf.empty());
    EXPECT_EQ(t.ReadPage(buf.data(), buf.size()), -1);
}
