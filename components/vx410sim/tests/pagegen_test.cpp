#include "pagegen.h"

#include <gtest/gtest.h>

#include <set>

using namespace vx410sim;

namespace {

double BlackShare1(const std::vector<uint8_t>& p, int w, int h) {
    const size_t row = RowBytes(w, 1);
    size_t black = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            black += (p[row * y + x / 8] >> (7 - x % 8)) & 1;
    return double(black) / (double(w) * h);
}

} // namespace

TEST(GeneratePage, SizesFollowTheRowRule) {
    for (int bpp : {1, 8, 24})
        for (int w : {1, 7, 8, 9, 850, 2481}) {
            const auto p = GeneratePage(w, 33, bpp, 100, 1);
            EXPECT_EQ(p.size(), size_t((w * bpp + 7) / 8) * 33) << w << "x" << bpp;
        }
}

TEST(GeneratePage, BadArgumentsGiveNothing) {
    EXPECT_TRUE(GeneratePage(0, 10, 1, 300, 1).empty());
    EXPECT_TRUE(GeneratePage(10, -1, 8, 300, 1).empty());
    EXPECT_TRUE(GeneratePage(10, 10, 4, 300, 1).empty());
    EXPECT_TRUE(GeneratePage(20001, 10, 1, 300, 1).empty());
}

TEST(GeneratePage, DeterministicAndDifferentPerPage) {
    const auto a = GeneratePage(1275, 1650, 1, 150, 3);
    EXPECT_EQ(a, GeneratePage(1275, 1650, 1, 150, 3));
    EXPECT_NE(a, GeneratePage(1275, 1650, 1, 150, 4));
}

TEST(GeneratePage, OneBitLooksLikeADocument) {
    const int w = 1275, h = 1650; // letter at 150 dpi
    const auto p = GeneratePage(w, h, 1, 150, 1);
    const double share = BlackShare1(p, w, h);
    EXPECT_GT(share, 0.03);
    EXPECT_LT(share, 0.5);
    // margins are white (1 = black, so white is 0)
    const size_t row = RowBytes(w, 1);
    for (int y = 0; y < 100; ++y)
        for (size_t i = 0; i < row; ++i)
            ASSERT_EQ(p[row * y + i], 0) << y;
    for (int y = 0; y < h; ++y)
        ASSERT_EQ(p[row * y] & 0xF0, 0); // left margin
}

TEST(GeneratePage, OneBitPaddingBitsStayZero) {
    const int w = 1277, h = 900;
    const auto p = GeneratePage(w, h, 1, 150, 9);
    const size_t row = RowBytes(w, 1);
    const uint8_t pad = uint8_t(0xFF >> (w % 8));
    for (int y = 0; y < h; ++y)
        ASSERT_EQ(p[row * y + row - 1] & pad, 0) << y;
}

TEST(GeneratePage, GreyHasBlackTextWhitePaperAndGreys) {
    const int w = 850, h = 1100;
    const auto p = GeneratePage(w, h, 8, 100, 2);
    EXPECT_EQ(p[0], 255); // 0 = black, so paper is 255
    std::set<uint8_t> values(p.begin(), p.end());
    EXPECT_TRUE(values.count(0));
    EXPECT_GT(values.size(), 50u); // the photo area has many greys
}

TEST(GeneratePage, ColourIsBgrAndHasColour) {
    const int w = 850, h = 1100;
    const auto p = GeneratePage(w, h, 24, 100, 2);
    EXPECT_EQ(p[0], 255);
    bool blueHeading = false, colour = false;
    for (size_t i = 0; i + 2 < p.size(); i += 3) {
        if (p[i] == 110 && p[i + 1] == 40 && p[i + 2] == 20) // heading colour, B first
            blueHeading = true;
        if (p[i] != p[i + 2])
            colour = true;
    }
    EXPECT_TRUE(blueHeading);
    EXPECT_TRUE(colour);
}

TEST(GeneratePage, TinyPagesAreBlankNotBroken) {
    const auto p = GeneratePage(5, 5, 24, 300, 1);
    ASSERT_EQ(p.size(), 75u);
    for (uint8_t b : p)
        EXPECT_EQ(b, 255);
}
