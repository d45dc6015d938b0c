// Encoder layout, round trips, decoder robustness and the C entry points.
#include "jpegcodec.h"
#include "jpegtables.h"
#include "testpage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>

using namespace vlm::jpeg;

namespace {

std::vector<uint8_t> EncodePage(const std::vector<uint8_t>& rows, int w, int h, int comps,
                                int quality, int dpi = 300, Chroma chroma = Chroma::Subsampled420,
                                int restart = 0) {
    EncodeParams p;
    p.width = w;
    p.height = h;
    p.components = comps;
    p.rows = rows.data();
    p.stride = static_cast<size_t>(w) * comps;
    p.quality = quality;
    p.dpi = dpi;
    p.chroma = chroma;
    p.restartInterval = restart;
    std::vector<uint8_t> out;
    std::string err;
    EXPECT_TRUE(Encode(p, out, &err)) << err;
    return out;
}

std::string TempPath(const char* name) {
    return std::string(VLM_TEST_TMP) + "/" + name;
}

} // namespace

TEST(JpegTables, AcValueListsHoldEverySymbolOnce) {
    std::set<int> expected = {0x00, 0xF0};
    for (int r = 0; r < 16; ++r)
        for (int s = 1; s <= 10; ++s)
            expected.insert((r << 4) | s);
    for (const uint8_t* list : {detail::kAcLumaValues, detail::kAcChromaValues}) {
        std::set<int> got(list, list + 162);
        EXPECT_EQ(got, expected);
    }
    int sum = 0;
    for (int i = 0; i < 16; ++i)
        sum += detail::kAcLumaBits[i];
    EXPECT_EQ(sum, 162);
}

TEST(JpegTables, QualityScalesTheStandardTables) {
    uint16_t q[64];
    QuantTable(50, 0, q);
    EXPECT_EQ(q[0], 16); // quality 50 keeps the standard table
    EXPECT_EQ(q[63], 99);
    QuantTable(100, 1, q);
    EXPECT_TRUE(std::all_of(q, q + 64, [](uint16_t v) { return v == 1; }));
    QuantTable(1, 0, q);
    EXPECT_TRUE(std::all_of(q, q + 64, [](uint16_t v) { return v >= 1 && v <= 255; }));
    uint16_t q0[64];
    QuantTable(0, 0, q0); // 0 counts as 1
    EXPECT_EQ(0, std::memcmp(q, q0, sizeof(q)));
}

// TIFF JPEG pages point into the stream header at these fixed places.
TEST(JpegLayout, GreyHeaderIs328BytesWithTablesInPlace) {
    const auto page = vlmtest::MakePage(200, 120, 8, 300, 1);
    const auto s = EncodePage(page, 200, 120, 1, 75);
    HeaderInfo info;
    ASSERT_TRUE(ReadHeader(s.data(), s.size(), info));
    EXPECT_EQ(info.headerLength, kGreyHeaderLength);
    EXPECT_EQ(s[0], 0xFF);
    EXPECT_EQ(s[1], 0xD8);
    EXPECT_EQ(s[kLumaQuantOffset - 5], 0xFF);
    EXPECT_EQ(s[kLumaQuantOffset - 4], 0xDB);
    EXPECT_EQ(s[kLumaQuantOffset - 1], 0x00); // 8-bit table 0
    uint16_t q[64];
    QuantTable(75, 0, q);
    for (int k = 0; k < 64; ++k)
        EXPECT_EQ(s[kLumaQuantOffset + k], q[detail::kZigzagToNatural[k]]);
    EXPECT_EQ(s[kGreyDcTableOffset - 4], 0xC4);
    EXPECT_EQ(s[kGreyDcTableOffset - 1], 0x00);
    EXPECT_EQ(0, std::memcmp(&s[kGreyDcTableOffset], detail::kDcLumaBits, 16));
    EXPECT_EQ(s[kGreyAcTableOffset - 4], 0xC4);
    EXPECT_EQ(s[kGreyAcTableOffset - 1], 0x10);
    EXPECT_EQ(0, std::memcmp(&s[kGreyAcTableOffset], detail::kAcLumaBits, 16));
    EXPECT_EQ(s[kGreyHeaderLength - 10], 0xFF);
    EXPECT_EQ(s[kGreyHeaderLength - 9], 0xDA);
    EXPECT_EQ(s[s.size() - 2], 0xFF);
    EXPECT_EQ(s[s.size() - 1], 0xD9);
}

TEST(JpegLayout, ColourHeaderIs623BytesWithTablesInPlace) {
    const auto page = vlmtest::MakePage(97, 61, 24, 200, 2);
    for (Chroma chroma : {Chroma::Subsampled420, Chroma::Full444}) {
        const auto s = EncodePage(page, 97, 61, 3, 90, 200, chroma);
        HeaderInfo info;
        ASSERT_TRUE(ReadHeader(s.data(), s.size(), info));
        EXPECT_EQ(info.headerLength, kColourHeaderLength);
        EXPECT_EQ(info.components, 3);
        EXPECT_EQ(info.hSamp[0], chroma == Chroma::Full444 ? 1 : 2);
        EXPECT_EQ(s[kLumaQuantOffset - 1], 0x00);
        EXPECT_EQ(s[kChromaQuantOffset - 4], 0xDB);
        EXPECT_EQ(s[kChromaQuantOffset - 1], 0x01);
        const size_t dht[4] = {kColourLumaDcOffset, kColourLumaAcOffset, kColourChromaDcOffset,
                               kColourChromaAcOffset};
        const uint8_t ids[4] = {0x00, 0x10, 0x01, 0x11};
        const uint8_t* bits[4] = {detail::kDcLumaBits, detail::kAcLumaBits, detail::kDcChromaBits,
                                  detail::kAcChromaBits};
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(s[dht[i] - 4], 0xC4);
            EXPECT_EQ(s[dht[i] - 1], ids[i]);
            EXPECT_EQ(0, std::memcmp(&s[dht[i]], bits[i], 16));
        }
        EXPECT_EQ(s[kColourHeaderLength - 13], 0xDA);
    }
}

TEST(JpegLayout, DensityComesFromTheResolution) {
    const auto page = vlmtest::MakePage(16, 16, 8, 0, 1);
    auto s = EncodePage(page, 16, 16, 1, 75, 600);
    HeaderInfo info;
    ASSERT_TRUE(ReadHeader(s.data(), s.size(), info));
    EXPECT_EQ(info.densityUnit, 1);
    EXPECT_EQ(info.xDensity, 600);
    EXPECT_EQ(info.yDensity, 600);
    s = EncodePage(page, 16, 16, 1, 75, 0);
    ASSERT_TRUE(ReadHeader(s.data(), s.size(), info));
    EXPECT_EQ(info.densityUnit, 0); // unknown resolution: aspect ratio only
    EXPECT_EQ(info.xDensity, 1);
}

TEST(JpegEncode, RefusesBadParameters) {
    std::vector<uint8_t> rows(300, 0), out;
    EncodeParams p;
    p.rows = rows.data();
    p.width = 10;
    p.height = 10;
    p.stride = 9; // shorter than a row
    std::string err;
    EXPECT_FALSE(Encode(p, out, &err));
    EXPECT_FALSE(err.empty());
    p.stride = 10;
    p.components = 2;
    EXPECT_FALSE(Encode(p, out));
    p.components = 1;
    p.width = 0;
    EXPECT_FALSE(Encode(p, out));
    p.width = 70000;
    EXPECT_FALSE(Encode(p, out));
    p.width = 10;
    p.rows = nullptr;
    EXPECT_FALSE(Encode(p, out));
}

TEST(JpegEncode, AViewInAnyRowOrderGivesTheSameStream) {
    const int w = 97, h = 61;
    for (int comps : {1, 3}) {
        const auto page = vlmtest::MakePage(w, h, comps * 8, 200, 6);
        const size_t rowBytes = static_cast<size_t>(w) * comps, stride = (rowBytes + 3) / 4 * 4;
        // Bottom-up with padded rows, as a native bitmap lies.
        std::vector<uint8_t> bottomUp(stride * h, 0xEE);
        for (int y = 0; y < h; ++y)
            std::copy_n(&page[rowBytes * y], rowBytes, &bottomUp[stride * (h - 1 - y)]);
        vlm::CPageView view =
            vlm::ViewOfRows(&bottomUp[stride * (h - 1)], stride, w, h, comps * 8, 200);
        view.m_nStep = -view.m_nStep;
        EncodeOptions options;
        options.quality = 80;
        std::vector<uint8_t> fromView;
        ASSERT_TRUE(Encode(view, options, fromView));
        EXPECT_EQ(fromView, EncodePage(page, w, h, comps, 80, 200)) << comps;
    }
    std::vector<uint8_t> bits(64, 0), out;
    EXPECT_FALSE(Encode(vlm::ViewOfRows(bits.data(), 8, 64, 8, 1, 200), {}, out)); // bilevel
}

TEST(JpegRoundTrip, GreyAndColourAtSeveralSizesAndQualities) {
    // Odd sizes exercise the edge replication of partial blocks.
    const int sizes[][2] = {{1, 1}, {7, 9}, {17, 33}, {250, 131}};
    for (auto& sz : sizes) {
        for (int comps : {1, 3}) {
            const auto page = vlmtest::MakePage(sz[0], sz[1], comps * 8, 300, 3);
            for (int quality : {50, 95}) {
                const auto s = EncodePage(page, sz[0], sz[1], comps, quality, 300, Chroma::Full444);
                DecodedImage img;
                std::string err;
                ASSERT_TRUE(Decode(s.data(), s.size(), img, {}, &err)) << err;
                EXPECT_EQ(img.width, sz[0]);
                EXPECT_EQ(img.height, sz[1]);
                EXPECT_EQ(img.components, comps);
                const double psnr = vlmtest::Psnr(page.data(), img.pixels.data(), page.size());
                EXPECT_GT(psnr, quality == 95 ? 34.0 : 26.0)
                    << sz[0] << "x" << sz[1] << " c" << comps;
            }
        }
    }
}

TEST(JpegRoundTrip, RestartMarkersAndBothPixelOrders) {
    const int w = 123, h = 77;
    const auto page = vlmtest::MakePage(w, h, 24, 300, 4);
    const auto plain = EncodePage(page, w, h, 3, 90);
    const auto restarted = EncodePage(page, w, h, 3, 90, 300, Chroma::Subsampled420, 3);
    HeaderInfo info;
    ASSERT_TRUE(ReadHeader(restarted.data(), restarted.size(), info));
    EXPECT_EQ(info.restartInterval, 3);
    DecodedImage a, b;
    ASSERT_TRUE(Decode(plain.data(), plain.size(), a));
    ASSERT_TRUE(Decode(restarted.data(), restarted.size(), b));
    EXPECT_EQ(a.pixels, b.pixels); // restarts change the stream, not the image

    DecodeOptions rgb;
    rgb.order = PixelOrder::RGB;
    DecodedImage c;
    ASSERT_TRUE(Decode(plain.data(), plain.size(), c, rgb));
    for (size_t i = 0; i < a.pixels.size(); i += 3) {
        ASSERT_EQ(a.pixels[i], c.pixels[i + 2]);
        ASSERT_EQ(a.pixels[i + 1], c.pixels[i + 1]);
    }
}

TEST(JpegDecode, CorruptAndTruncatedStreamsFailCleanly) {
    const auto page = vlmtest::MakePage(64, 64, 24, 300, 5);
    const auto s = EncodePage(page, 64, 64, 3, 80);
    DecodedImage img;
    std::string err;
    EXPECT_FALSE(Decode(nullptr, 0, img, {}, &err));
    const uint8_t junk[] = {'B', 'M', 1, 2, 3, 4};
    EXPECT_FALSE(Decode(junk, sizeof(junk), img, {}, &err));
    EXPECT_NE(err.find("not a JPEG"), std::string::npos);
    // Cut in the entropy data: must not pass as a whole image.
    EXPECT_FALSE(Decode(s.data(), kColourHeaderLength + 40, img, {}, &err));
    EXPECT_FALSE(err.empty());
    // Cut inside the header.
    EXPECT_FALSE(Decode(s.data(), 300, img, {}, &err));
    // Size limit is checked before any allocation.
    DecodeOptions small;
    small.maxPixels = 1000;
    EXPECT_FALSE(Decode(s.data(), s.size(), img, small, &err));
    EXPECT_NE(err.find("too large"), std::string::npos);
    // Every single-byte corruption either decodes or fails; none may crash (ASan watches).
    for (size_t i = 2; i < s.size(); i += 7) {
        auto bad = s;
        bad[i] ^= 0x5A;
        Decode(bad.data(), bad.size(), img);
    }
}

TEST(JpegDecode, MissingEndMarkerStillGivesTheImage) {
    const auto page = vlmtest::MakePage(40, 40, 8, 300, 6);
    auto s = EncodePage(page, 40, 40, 1, 90);
    s.resize(s.size() - 2);
    DecodedImage img;
    std::string err;
    ASSERT_TRUE(Decode(s.data(), s.size(), img, {}, &err)) << err;
    EXPECT_GT(vlmtest::Psnr(page.data(), img.pixels.data(), page.size()), 34.0);
}

TEST(JpegDecode, DecodeIntoRefusesASmallBuffer) {
    const auto page = vlmtest::MakePage(50, 30, 8, 300, 1);
    const auto s = EncodePage(page, 50, 30, 1, 90);
    std::vector<uint8_t> buf(52 * 30);
    int w = 0, h = 0, c = 0;
    EXPECT_FALSE(DecodeInto(s.data(), s.size(), buf.data(), 49, 30, w, h, c));
    EXPECT_FALSE(DecodeInto(s.data(), s.size(), buf.data(), 52, 29, w, h, c));
    ASSERT_TRUE(DecodeInto(s.data(), s.size(), buf.data(), 52, 30, w, h, c));
    EXPECT_EQ(w, 50);
    EXPECT_EQ(h, 30);
    EXPECT_EQ(c, 1);
}

TEST(JpegCApi, SaveReadHeaderAndReadFile) {
    const int w = 101, h = 47, stride = (3 * w + 3) / 4 * 4;
    const auto page = vlmtest::MakePage(w, h, 24, 300, 7);
    std::vector<uint8_t> padded(static_cast<size_t>(stride) * h, 0xEE);
    for (int y = 0; y < h; ++y)
        std::memcpy(&padded[y * stride], &page[y * 3 * w], 3 * w);
    const std::string path = TempPath("capi_colour.jpg");
    ASSERT_EQ(0, vlm_save_JPEG(path.c_str(), padded.data(), w, h, 240, 2, stride, 92));

    uint8_t block[600];
    std::memset(block, 0xCC, sizeof(block));
    ASSERT_NE(0, vlm_read_JPEG_header(path.c_str(), block));
    int32_t v;
    std::memcpy(&v, block + 28, 4);
    EXPECT_EQ(v, w);
    std::memcpy(&v, block + 32, 4);
    EXPECT_EQ(v, h);
    std::memcpy(&v, block + 36, 4);
    EXPECT_EQ(v, 3);
    uint16_t d;
    std::memcpy(&d, block + 260, 2);
    EXPECT_EQ(d, 240);
    EXPECT_EQ(block[0], 0xCC); // the rest of the caller's block is untouched
    EXPECT_EQ(block[300], 0xCC);

    std::vector<uint8_t> out(static_cast<size_t>(stride) * h);
    int ow = w, oh = h;
    ASSERT_NE(0, vlm_read_JPEG_file(path.c_str(), out.data(), &ow, &oh, stride));
    EXPECT_EQ(ow, w);
    EXPECT_EQ(oh, h);
    std::vector<uint8_t> packed(3 * w * h);
    for (int y = 0; y < h; ++y)
        std::memcpy(&packed[y * 3 * w], &out[y * stride], 3 * w);
    EXPECT_GT(vlmtest::Psnr(page.data(), packed.data(), packed.size()), 30.0);

    int smallH = h - 1, ww = w;
    EXPECT_EQ(0, vlm_read_JPEG_file(path.c_str(), out.data(), &ww, &smallH, stride));
    int narrowW = w - 1, hh = h;
    EXPECT_EQ(0, vlm_read_JPEG_file(path.c_str(), out.data(), &narrowW, &hh, stride));
    std::remove(path.c_str());
}

TEST(JpegCApi, RefusesBilevelMissingFilesAndBadPaths) {
    std::vector<uint8_t> rows(64 * 64, 0);
    const std::string path = TempPath("capi_bilevel.jpg");
    std::remove(path.c_str());
    EXPECT_EQ(-1, vlm_save_JPEG(path.c_str(), rows.data(), 64, 64, 300, 0, 8, 75));
    EXPECT_EQ(-1, vlm_save_JPEG(path.c_str(), rows.data(), 64, 64, 300, 3, 64, 75));
    FILE* f = std::fopen(path.c_str(), "rb");
    EXPECT_EQ(f, nullptr); // no file for refused forms
    if (f)
        std::fclose(f);
    EXPECT_EQ(-1, vlm_save_JPEG("/nonexistent-dir/x.jpg", rows.data(), 64, 64, 300, 1, 64, 75));
    uint8_t block[264];
    EXPECT_EQ(0, vlm_read_JPEG_header("/nonexistent-dir/x.jpg", block));
    int w = 64, h = 64;
    EXPECT_EQ(0, vlm_read_JPEG_file("/nonexistent-dir/x.jpg", rows.data(), &w, &h, 64));
}
