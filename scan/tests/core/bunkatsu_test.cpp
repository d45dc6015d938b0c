// Page splitting: piece geometry, pixel-exact contents, order and swapping.
#include <gtest/gtest.h>

#include <vector>

#include "Bunkatsu.h"
#include "PageBuffer.h"

namespace {

// A page whose every pixel encodes its own position, so each piece can be
// checked against the part of the page it must come from.
struct Page {
    std::vector<uint8_t> data;
    VlmImageInfo info{};
    Page(int width, int height, int bps, int spp) {
        info.Width = width;
        info.Height = height;
        info.Bps = bps;
        info.Spp = spp;
        info.Sync = VlmSyncBytes(width, bps * spp);
        info.ImageSize = info.Sync * height;
        info.XRes = info.YRes = 200;
        info.dwReserved1 = 0x11;
        info.dwReserved2 = 0x22;
        data.assign(info.ImageSize, 0);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                Set(x, y, Value(x, y));
        info.lpImage = data.data();
    }
    int bpp() const { return info.Bps * info.Spp; }
    uint32_t Value(int x, int y) const {
        if (bpp() == 1)
            return ((x * 3 + y) % 7) == 0;
        return uint32_t(x * 31 + y * 17);
    }
    void Set(int x, int y, uint32_t v) {
        uint8_t* row = data.data() + size_t(y) * info.Sync;
        if (bpp() == 1) {
            if (v)
                row[x / 8] |= uint8_t(0x80 >> (x % 8));
        } else {
            for (int b = 0; b < bpp() / 8; ++b)
                row[x * bpp() / 8 + b] = uint8_t(v >> (8 * b));
        }
    }
};

uint32_t Get(const VlmImageInfo& p, int x, int y) {
    const uint8_t* row = p.lpImage + size_t(y) * p.Sync;
    int bpp = p.Bps * p.Spp;
    if (bpp == 1)
        return (row[x / 8] >> (7 - x % 8)) & 1;
    uint32_t v = 0;
    for (int b = 0; b < bpp / 8; ++b)
        v |= uint32_t(row[x * bpp / 8 + b]) << (8 * b);
    return v;
}

uint32_t Mask(int bpp) {
    return bpp >= 32 ? 0xFFFFFFFFu : (1u << bpp) - 1;
}

void ExpectPiecesMatch(const Page& page, const CBunkatsu& b, bool swapped) {
    const auto& pieces = b.Pieces();
    ASSERT_EQ(int(pieces.size()), b.Count());
    for (int i = 0; i < b.Count(); ++i) {
        int src = swapped ? b.Count() - 1 - i : i;
        int k = src % b.Horizontal(), j = src / b.Horizontal();
        const VlmImageInfo& p = pieces[i];
        for (int y = 0; y < p.Height; ++y)
            for (int x = 0; x < p.Width; ++x) {
                uint32_t want = page.Value(k * p.Width + x, j * p.Height + y) & Mask(page.bpp());
                ASSERT_EQ(Get(p, x, y), want) << "piece " << i << " at " << x << "," << y;
            }
    }
}

TEST(Bunkatsu, CountsAreClampedToOneToFour) {
    EXPECT_EQ(CBunkatsu::ClampCount(0), 1);
    EXPECT_EQ(CBunkatsu::ClampCount(-3), 1);
    EXPECT_EQ(CBunkatsu::ClampCount(1), 1);
    EXPECT_EQ(CBunkatsu::ClampCount(3), 3);
    EXPECT_EQ(CBunkatsu::ClampCount(4), 4);
    EXPECT_EQ(CBunkatsu::ClampCount(9), 4);
    CBunkatsu b(0, 7, 0, 0);
    EXPECT_EQ(b.Count(), 4);
}

TEST(Bunkatsu, TwoByTwoGivesFourQuartersInReadingOrder) {
    Page page(1000, 1400, 1, 1);
    CBunkatsu b(2, 2, 0, 0);
    ASSERT_EQ(b.Split(page.info), 0);
    ASSERT_EQ(b.Pieces().size(), 4u);
    for (const VlmImageInfo& p : b.Pieces()) {
        EXPECT_EQ(p.Width, 500);
        EXPECT_EQ(p.Height, 700);
        EXPECT_EQ(p.Sync, 64u);
        EXPECT_EQ(p.ImageSize, 64u * 700);
        EXPECT_EQ(p.dwReserved1, 0x11u); // copied from the page
        EXPECT_EQ(p.XRes, 200u);
        EXPECT_NE(p.lpImage, page.info.lpImage);
    }
    // 500 is not a multiple of 8: the right half starts inside a byte.
    ExpectPiecesMatch(page, b, false);
}

TEST(Bunkatsu, SwapModeThreeReversesTheOrder) {
    Page page(1000, 1400, 1, 1);
    CBunkatsu b(2, 2, 3, 0);
    ASSERT_EQ(b.Split(page.info), 0);
    ExpectPiecesMatch(page, b, true);
}

TEST(Bunkatsu, SwapModesOneAndTwoDependOnTheSide) {
    EXPECT_TRUE(CBunkatsu::ShouldSwap(1, 0));
    EXPECT_FALSE(CBunkatsu::ShouldSwap(1, 1));
    EXPECT_TRUE(CBunkatsu::ShouldSwap(2, 1));
    EXPECT_FALSE(CBunkatsu::ShouldSwap(2, 0));
    EXPECT_TRUE(CBunkatsu::ShouldSwap(3, 0));
    EXPECT_TRUE(CBunkatsu::ShouldSwap(3, 1));
    EXPECT_FALSE(CBunkatsu::ShouldSwap(0, 1));
}

TEST(Bunkatsu, GreyAndColourPiecesStartOnWholePixels) {
    for (int spp : {1, 3}) {
        Page page(301, 99, 8, spp); // odd sizes: pieces of 100 x 33
        CBunkatsu b(3, 3, 0, 0);
        ASSERT_EQ(b.Split(page.info), 0) << spp;
        EXPECT_EQ(b.Pieces()[0].Width, 100);
        EXPECT_EQ(b.Pieces()[0].Height, 33);
        EXPECT_EQ(b.Pieces()[0].Sync, VlmSyncBytes(100, 8 * spp));
        ExpectPiecesMatch(page, b, false);
    }
}

TEST(Bunkatsu, FourByOneOnAOneBitPage) {
    Page page(203, 10, 1, 1);
    CBunkatsu b(4, 1, 0, 0);
    ASSERT_EQ(b.Split(page.info), 0);
    EXPECT_EQ(b.Pieces()[3].Width, 50);
    ExpectPiecesMatch(page, b, false);
}

TEST(Bunkatsu, FailsWithoutAnImageOrWithBadGeometry) {
    VlmImageInfo none{};
    CBunkatsu b(2, 2, 0, 0);
    EXPECT_EQ(b.Split(none), -1);
    EXPECT_TRUE(b.Pieces().empty());
    Page page(3, 3, 8, 1);
    CBunkatsu tooMany(4, 4, 0, 0); // 3 / 4 = 0 pixels per piece
    EXPECT_EQ(tooMany.Split(page.info), -1);
    Page lying(64, 64, 8, 1);
    lying.info.ImageSize = 10; // says it is smaller than its rows
    EXPECT_EQ(b.Split(lying.info), -1);
}

} // namespace
