// Page views of packed bitmaps and rows, the rows a writer gets from them, and
// Group 4 coding straight from a view.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "codecs/PageView.h"
#include "codecs/ccitt.h"
#include "test_util.h"

using namespace vlm;
using vlmtest::Bit;
using vlmtest::MakeDib;

namespace {
void Put32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    for (int i = 0; i < 4; ++i)
        v[at + i] = static_cast<uint8_t>(x >> (8 * i));
}
} // namespace

TEST(PageView, ResolutionFromPixelsPerMetreRoundsToNearest) {
    EXPECT_EQ(DpiFromPelsPerMeter(11811), 300); // 299.99
    EXPECT_EQ(DpiFromPelsPerMeter(7874), 200);
    EXPECT_EQ(DpiFromPelsPerMeter(3937), 100);
    EXPECT_EQ(DpiFromPelsPerMeter(0), 0);
    EXPECT_EQ(PelsPerMeterFromDpi(300), 11811);
    EXPECT_EQ(PelsPerMeterFromDpi(200), 7874);
}

TEST(PageView, BitmapRowsTopDownWhereTheyLie) {
    auto value = [](int x, int y) { return (x * 7 + y * 13) & 0xFF; };
    for (bool topDown : {false, true}) {
        const auto dib = MakeDib(1001, 5, 8, 7874, true, topDown, value);
        CPageView view;
        std::string err;
        ASSERT_TRUE(ViewOfDib(dib.data(), dib.size(), view, &err)) << err;
        EXPECT_TRUE(view.IsValid());
        EXPECT_EQ(view.m_nStep, topDown ? 1004 : -1004);
        EXPECT_EQ(view.m_nXDpi, 200);
        EXPECT_EQ(view.m_nYDpi, 100);
        // Rows are the bitmap's own memory: nothing was copied.
        EXPECT_GE(view.Row(0), dib.data());
        EXPECT_LT(view.Row(4), dib.data() + dib.size());
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 1001; x += 97)
                ASSERT_EQ(view.Row(y)[x], value(x, y)) << x << "," << y;
    }
    const auto colour = MakeDib(3, 2, 24, 3937, true, false,
                                [](int x, int y) { return 0x010203 * (x + 3 * y + 1); });
    CPageView view;
    ASSERT_TRUE(ViewOfDib(colour.data(), colour.size(), view));
    EXPECT_EQ(view.m_order, ColourOrder::BGR);
    EXPECT_EQ(view.Row(1)[3 * 2], static_cast<uint8_t>(0x03 * 6)); // B of (2,1)
}

TEST(PageView, BilevelPolarityComesFromTheColourTable) {
    auto value = [](int x, int y) { return (x + y) % 3 == 0 ? 1 : 0; };
    for (bool blackFirst : {true, false}) {
        const auto dib = MakeDib(21, 4, 1, 11811, blackFirst, false, value);
        CPageView view;
        ASSERT_TRUE(ViewOfDib(dib.data(), dib.size(), view));
        EXPECT_EQ(view.m_bOneIsBlack, !blackFirst);
        // Whatever the table, the reader hands out 1 = black with clean padding.
        CRowReader reader(view, CRowForm{true, ColourOrder::BGR});
        EXPECT_TRUE(reader.Converts()); // 21 is not a multiple of 8
        for (int y = 0; y < 4; ++y) {
            const uint8_t* row = reader.Row(y);
            for (int x = 0; x < 21; ++x)
                ASSERT_EQ(Bit(row, x), value(x, y)) << x << "," << y;
            EXPECT_EQ(row[2] & 0x07, 0);
        }
    }
}

TEST(PageView, RefusesBadBitmaps) {
    auto dib = MakeDib(10, 10, 8, 0, true, false, [](int, int) { return 0; });
    CPageView view;
    std::string err;
    EXPECT_FALSE(ViewOfDib(dib.data(), dib.size() - 1, view, &err)); // short block
    EXPECT_FALSE(ViewOfDib(dib.data(), 20, view, &err));
    EXPECT_FALSE(ViewOfDib(nullptr, 0, view, &err));
    auto bad = dib;
    bad[14] = 4; // 4-bit
    EXPECT_FALSE(ViewOfDib(bad.data(), bad.size(), view, &err));
    bad = dib;
    bad[16] = 1; // RLE
    EXPECT_FALSE(ViewOfDib(bad.data(), bad.size(), view, &err));
    bad = dib;
    Put32(bad, 4, 0x7FFFFFFF);
    EXPECT_FALSE(ViewOfDib(bad.data(), bad.size(), view, &err));
    bad = dib;
    Put32(bad, 8, 0x80000000u); // the one height that has no positive form
    EXPECT_FALSE(ViewOfDib(bad.data(), bad.size(), view, &err));
    bad = dib;
    Put32(bad, 32, 100000); // colour table longer than the block
    EXPECT_FALSE(ViewOfDib(bad.data(), bad.size(), view, &err));
    EXPECT_FALSE(err.empty());
}

TEST(PageView, ValidityOfHandMadeViews) {
    std::vector<uint8_t> rows(40, 0);
    EXPECT_TRUE(ViewOfRows(rows.data(), 10, 80, 4, 1, 300).IsValid());
    EXPECT_TRUE(ViewOfRows(rows.data(), 10, 10, 4, 8, 300).IsValid());
    EXPECT_FALSE(ViewOfRows(rows.data(), 9, 10, 4, 8, 300).IsValid()); // rows overlap
    EXPECT_FALSE(ViewOfRows(rows.data(), 10, 10, 4, 16, 300).IsValid());
    EXPECT_FALSE(ViewOfRows(nullptr, 10, 10, 4, 8, 300).IsValid());
    EXPECT_FALSE(ViewOfRows(rows.data(), 10, 0, 4, 8, 300).IsValid());
    EXPECT_FALSE(ViewOfRows(rows.data(), 10, 10, 0, 8, 300).IsValid());
}

TEST(RowReader, OwnRowsWhenTheFormFitsAndOneRowOfScratchOtherwise) {
    const std::vector<uint8_t> bgr = {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0};
    const CPageView view = ViewOfRows(bgr.data(), 8, 2, 2, 24, 200);
    CRowReader same(view, CRowForm{true, ColourOrder::BGR});
    EXPECT_FALSE(same.Converts());
    EXPECT_EQ(same.Row(1), bgr.data() + 8);

    CRowReader swapped(view, CRowForm{true, ColourOrder::RGB});
    ASSERT_TRUE(swapped.Converts());
    const uint8_t* r0 = swapped.Row(0);
    EXPECT_EQ(std::vector<uint8_t>(r0, r0 + 6), (std::vector<uint8_t>{3, 2, 1, 6, 5, 4}));
    const uint8_t* r1 = swapped.Row(1);
    EXPECT_EQ(r0, r1); // the one row of scratch
    EXPECT_EQ(std::vector<uint8_t>(r1, r1 + 6), (std::vector<uint8_t>{9, 8, 7, 12, 11, 10}));
    EXPECT_EQ(bgr[0], 1); // the page itself is never changed

    const std::vector<uint8_t> bits = {0x0F, 0xF0};
    const CPageView bilevel = ViewOfRows(bits.data(), 1, 8, 2, 1, 200, false);
    EXPECT_FALSE(CRowReader(bilevel, CRowForm{false, ColourOrder::BGR}).Converts());
    CRowReader inverted(bilevel, CRowForm{true, ColourOrder::BGR});
    EXPECT_EQ(*inverted.Row(0), 0xF0);
    EXPECT_EQ(*inverted.Row(1), 0x0F);
}

TEST(PageRows, OneBlockWithoutACopyOnlyWhenTopDownInTheWantedForm) {
    auto value = [](int x, int y) { return (x * 3 + y) & 0xFF; };
    const auto bottomUp = MakeDib(30, 6, 8, 7874, true, false, value);
    const auto topDown = MakeDib(30, 6, 8, 7874, true, true, value);
    for (const auto* dib : {&bottomUp, &topDown}) {
        CPageView view;
        ASSERT_TRUE(ViewOfDib(dib->data(), dib->size(), view));
        CPageRows rows;
        ASSERT_TRUE(rows.Make(view, CRowForm{}));
        EXPECT_EQ(rows.IsCopy(), dib == &bottomUp);
        EXPECT_EQ(rows.Stride(), 32u);
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 30; ++x)
                ASSERT_EQ(rows.Rows()[rows.Stride() * y + x], value(x, y));
    }
}

TEST(PageView, GroupFourFromAnyViewEqualsTheConvertedPage) {
    const int w = 333, h = 57;
    const auto packed = vlmtest::MakePage(w, h, 1, 5); // 1 = black, top-down
    const size_t rowBytes = (w + 7) / 8;
    auto value = [&](int x, int y) { return Bit(packed.data() + rowBytes * y, x); };
    const auto expected = EncodeG4(packed.data(), w, h, rowBytes, true);
    ASSERT_FALSE(expected.empty());
    for (bool blackFirst : {true, false}) {
        const auto dib = MakeDib(w, h, 1, 7874, blackFirst, false, value);
        CPageView view;
        ASSERT_TRUE(ViewOfDib(dib.data(), dib.size(), view));
        EXPECT_EQ(EncodeG4(view), expected) << blackFirst;
    }
    CPageView grey = ViewOfRows(packed.data(), rowBytes, rowBytes, h, 8, 200);
    EXPECT_TRUE(EncodeG4(grey).empty());
}
