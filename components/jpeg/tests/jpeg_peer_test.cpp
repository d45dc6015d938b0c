// Our streams against libjpeg-turbo (library and cjpeg/djpeg programs).
#include "jpegcodec.h"
#include "testpage.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <jpeglib.h>
#include <sstream>

using namespace vlm::jpeg;

namespace {

std::string Tmp(const std::string& name) {
    return std::string(VLM_TEST_TMP) + "/peer_" + name;
}

// Decodes with libjpeg into RGB or grey; false when it reports an error.
struct ErrorMgr {
    jpeg_error_mgr pub;
    bool failed = false;
};
void OnError(j_common_ptr cinfo) {
    reinterpret_cast<ErrorMgr*>(cinfo->err)->failed = true;
    // Stop the decoder: throwing through C frames is not allowed, so report and abort the test.
    char msg[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, msg);
    ADD_FAILURE() << "libjpeg: " << msg;
    std::abort();
}
void OnWarning(j_common_ptr cinfo, int level) {
    if (level < 0)
        reinterpret_cast<ErrorMgr*>(cinfo->err)->failed = true; // corrupt-data warnings
}

bool PeerDecode(const std::vector<uint8_t>& s, std::vector<uint8_t>& pix, int& w, int& h, int& c,
                bool fancy = false) {
    jpeg_decompress_struct cinfo;
    ErrorMgr err;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = OnError;
    err.pub.emit_message = OnWarning;
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, s.data(), s.size());
    jpeg_read_header(&cinfo, TRUE);
    cinfo.do_fancy_upsampling = fancy ? TRUE : FALSE;
    jpeg_start_decompress(&cinfo);
    w = cinfo.output_width;
    h = cinfo.output_height;
    c = cinfo.output_components;
    pix.resize(static_cast<size_t>(w) * h * c);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = &pix[static_cast<size_t>(cinfo.output_scanline) * w * c];
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return !err.failed;
}

bool WritePnm(const std::string& path, const std::vector<uint8_t>& pix, int w, int h, int c) {
    std::ofstream f(path, std::ios::binary);
    f << (c == 1 ? "P5" : "P6") << "\n" << w << " " << h << "\n255\n";
    f.write(reinterpret_cast<const char*>(pix.data()), static_cast<std::streamsize>(pix.size()));
    return static_cast<bool>(f);
}

bool ReadPnm(const std::string& path, std::vector<uint8_t>& pix, int& w, int& h, int& c) {
    std::ifstream f(path, std::ios::binary);
    std::string magic;
    int maxv = 0;
    f >> magic >> w >> h >> maxv;
    f.get();
    if (!f || (magic != "P5" && magic != "P6") || maxv != 255)
        return false;
    c = magic == "P5" ? 1 : 3;
    pix.resize(static_cast<size_t>(w) * h * c);
    f.read(reinterpret_cast<char*>(pix.data()), static_cast<std::streamsize>(pix.size()));
    return static_cast<bool>(f);
}

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

int RunTool(const std::string& cmd) {
    return std::system((cmd + " 2>/dev/null").c_str());
}

std::vector<uint8_t> SwapRB(std::vector<uint8_t> v) {
    for (size_t i = 0; i + 2 < v.size(); i += 3)
        std::swap(v[i], v[i + 2]);
    return v;
}

int MaxDiff(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    int m = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        m = std::max(m, std::abs(a[i] - b[i]));
    return a.size() == b.size() ? m : 1000;
}

} // namespace

// A4 at 300 dpi, quality 75: the peer decodes our stream and the quality holds.
TEST(JpegPeer, LibjpegDecodesOurA4PagesAbove30dB) {
    const int w = 2480, h = 3508;
    for (int comps : {1, 3}) {
        const auto page = vlmtest::MakePage(w, h, comps * 8, 300, 1);
        EncodeParams p;
        p.width = w;
        p.height = h;
        p.components = comps;
        p.rows = page.data();
        p.stride = static_cast<size_t>(w) * comps;
        p.quality = 75;
        p.dpi = 300;
        std::vector<uint8_t> s;
        ASSERT_TRUE(Encode(p, s));
        std::vector<uint8_t> pix;
        int pw, ph, pc;
        ASSERT_TRUE(PeerDecode(s, pix, pw, ph, pc));
        ASSERT_EQ(pw, w);
        ASSERT_EQ(ph, h);
        ASSERT_EQ(pc, comps);
        const auto ref = comps == 3 ? SwapRB(page) : page; // peer gives R,G,B
        const double psnr = vlmtest::Psnr(ref.data(), pix.data(), pix.size());
        RecordProperty(comps == 1 ? "psnr_grey" : "psnr_colour", std::to_string(psnr));
        std::printf("A4 q75 %s: %zu bytes, PSNR %.2f dB\n", comps == 1 ? "grey" : "colour",
                    s.size(), psnr);
        EXPECT_GE(psnr, 30.0);
    }
}

TEST(JpegPeer, OurDecoderMatchesDjpegOnCjpegGreyWithinOneLevel) {
    const int w = 613, h = 419;
    const auto page = vlmtest::MakePage(w, h, 8, 200, 2);
    ASSERT_TRUE(WritePnm(Tmp("grey.pgm"), page, w, h, 1));
    const char* variants[] = {"-quality 75", "-quality 95 -restart 2B", "-quality 30 -optimize",
                              "-quality 75 -sample 2x2"};
    for (const char* opts : variants) {
        ASSERT_EQ(0, RunTool("cjpeg -grayscale " + std::string(opts) + " -outfile " + Tmp("g.jpg") +
                             " " + Tmp("grey.pgm")))
            << opts;
        ASSERT_EQ(0, RunTool("djpeg -pnm -outfile " + Tmp("g_ref.pgm") + " " + Tmp("g.jpg")));
        std::vector<uint8_t> ref;
        int rw, rh, rc;
        ASSERT_TRUE(ReadPnm(Tmp("g_ref.pgm"), ref, rw, rh, rc));
        const auto s = ReadAll(Tmp("g.jpg"));
        DecodedImage img;
        std::string err;
        ASSERT_TRUE(Decode(s.data(), s.size(), img, {}, &err)) << opts << ": " << err;
        ASSERT_EQ(img.width, rw);
        ASSERT_EQ(img.height, rh);
        EXPECT_LE(MaxDiff(img.pixels, ref), 1) << opts;
    }
}

TEST(JpegPeer, OurDecoderFollowsDjpegOnCjpegColourSamplings) {
    const int w = 301, h = 203;
    const auto page = vlmtest::MakePage(w, h, 24, 200, 3);
    ASSERT_TRUE(WritePnm(Tmp("colour.ppm"), SwapRB(page), w, h, 3));
    // Non-interleaved scans come from a scan script: one component per scan.
    {
        std::ofstream script(Tmp("scans.txt"));
        script << "0;\n1;\n2;\n";
    }
    const std::string variants[] = {"-sample 2x2",
                                    "-sample 2x1",
                                    "-sample 1x2",
                                    "-sample 1x1",
                                    "-sample 2x2 -restart 1",
                                    "-sample 2x2 -scans " + Tmp("scans.txt")};
    for (const auto& opts : variants) {
        ASSERT_EQ(0, RunTool("cjpeg -quality 90 " + opts + " -outfile " + Tmp("c.jpg") + " " +
                             Tmp("colour.ppm")))
            << opts;
        ASSERT_EQ(
            0, RunTool("djpeg -nosmooth -pnm -outfile " + Tmp("c_ref.ppm") + " " + Tmp("c.jpg")));
        std::vector<uint8_t> ref;
        int rw, rh, rc;
        ASSERT_TRUE(ReadPnm(Tmp("c_ref.ppm"), ref, rw, rh, rc));
        const auto s = ReadAll(Tmp("c.jpg"));
        DecodeOptions rgb;
        rgb.order = PixelOrder::RGB;
        DecodedImage img;
        std::string err;
        ASSERT_TRUE(Decode(s.data(), s.size(), img, rgb, &err)) << opts << ": " << err;
        ASSERT_EQ(img.width, rw);
        ASSERT_EQ(img.height, rh);
        // Colour conversion rounding differs slightly; the image is the same.
        EXPECT_LE(MaxDiff(img.pixels, ref), 4) << opts;
        EXPECT_GT(vlmtest::Psnr(ref.data(), img.pixels.data(), ref.size()), 45.0) << opts;
    }
}

TEST(JpegPeer, ProgressiveAndArithmeticStreamsAreRefusedWithAReason) {
    const auto page = vlmtest::MakePage(64, 64, 8, 200, 4);
    ASSERT_TRUE(WritePnm(Tmp("small.pgm"), page, 64, 64, 1));
    ASSERT_EQ(0, RunTool("cjpeg -progressive -outfile " + Tmp("p.jpg") + " " + Tmp("small.pgm")));
    auto s = ReadAll(Tmp("p.jpg"));
    HeaderInfo info;
    ASSERT_TRUE(ReadHeader(s.data(), s.size(), info));
    EXPECT_TRUE(info.progressive);
    EXPECT_EQ(info.width, 64);
    DecodedImage img;
    std::string err;
    EXPECT_FALSE(Decode(s.data(), s.size(), img, {}, &err));
    EXPECT_NE(err.find("progressive"), std::string::npos);
    if (RunTool("cjpeg -arithmetic -outfile " + Tmp("a.jpg") + " " + Tmp("small.pgm")) == 0) {
        s = ReadAll(Tmp("a.jpg"));
        EXPECT_FALSE(Decode(s.data(), s.size(), img, {}, &err));
        EXPECT_NE(err.find("unsupported"), std::string::npos);
    }
}

TEST(JpegPeer, DjpegReadsTheFilesOfTheCEntryPoint) {
    const int w = 320, h = 240;
    const auto page = vlmtest::MakePage(w, h, 8, 150, 5);
    const std::string path = Tmp("entry.jpg");
    ASSERT_EQ(0, vlm_save_JPEG(path.c_str(), page.data(), w, h, 150, 1, w, 75));
    ASSERT_EQ(0, RunTool("djpeg -pnm -outfile " + Tmp("entry.pgm") + " " + path));
    std::vector<uint8_t> ref;
    int rw, rh, rc;
    ASSERT_TRUE(ReadPnm(Tmp("entry.pgm"), ref, rw, rh, rc));
    EXPECT_EQ(rw, w);
    EXPECT_EQ(rh, h);
    EXPECT_EQ(rc, 1);
    EXPECT_GT(vlmtest::Psnr(page.data(), ref.data(), ref.size()), 30.0);
}
