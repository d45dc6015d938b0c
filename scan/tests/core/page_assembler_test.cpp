// Page assembly from memory-transfer strips: geometry, growth past the
// announced length, the end of the reservation, and row copying.
#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <vector>

#include "PageAssembler.h"

namespace {

// A strip of `rows` rows whose bytes are (row * 7 + column) & 0xFF.
struct Strip {
    std::vector<uint8_t> data;
    SMemStrip s;
    Strip(uint32_t firstRow, uint32_t rows, uint32_t bytesPerRow) {
        data.resize(size_t(rows) * bytesPerRow);
        for (uint32_t r = 0; r < rows; ++r)
            for (uint32_t c = 0; c < bytesPerRow; ++c)
                data[size_t(r) * bytesPerRow + c] = uint8_t(((firstRow + r) * 7 + c) & 0xFF);
        s.Rows = rows;
        s.BytesPerRow = bytesPerRow;
        s.Columns = 0;
        s.pData = data.data();
    }
};

bool RowMatches(const VlmImageInfo& info, uint32_t row, uint32_t bytes) {
    for (uint32_t c = 0; c < bytes; ++c)
        if (info.lpImage[size_t(row) * info.Sync + c] != uint8_t((row * 7 + c) & 0xFF))
            return false;
    return true;
}

TEST(PageAssembler, ReadyDescribesThePageAndCommitsItsRows) {
    VlmImageInfo info{};
    CPageAssembler pa(info);
    ASSERT_TRUE(pa.Ready(1000, 1400, 1, 1, 200, 200, 0, 0));
    EXPECT_EQ(info.Width, 1000);
    EXPECT_EQ(info.Height, 1400);
    EXPECT_EQ(info.Sync, 128u); // 1000 bits padded to 32
    EXPECT_EQ(info.ImageSize, 128u * 1400);
    EXPECT_EQ(info.Bps, 1u);
    EXPECT_EQ(info.Spp, 1u);
    EXPECT_EQ(info.XRes, 200u);
    ASSERT_NE(info.lpImage, nullptr);
    EXPECT_EQ(pa.Committed(), size_t(128) * 1400);
    // The committed part is writable to its last byte.
    info.lpImage[pa.Committed() - 1] = 0x5A;
    EXPECT_EQ(pa.Reserved(), CPageAssembler::ReserveSize(1000, 1400, 1));
}

TEST(PageAssembler, ReserveCoversBothOrientationsPlusAFifth) {
    // 8.5 x 14 inches at 200 dpi, grey: 1700 x 2800.
    uint64_t portrait = uint64_t(2800) * ((1700 * 8 + 31) / 32 * 4);
    uint64_t landscape = uint64_t(1700) * ((2800 * 8 + 31) / 32 * 4);
    EXPECT_EQ(CPageAssembler::ReserveSize(1700, 2800, 8), std::max(portrait, landscape) * 6 / 5);
    // Nonsense sizes are refused instead of wrapping.
    EXPECT_EQ(CPageAssembler::ReserveSize(0, 100, 8), 0u);
    EXPECT_EQ(CPageAssembler::ReserveSize(uint64_t(1) << 40, 100, 24), 0u);
}

TEST(PageAssembler, RefusesBadGeometry) {
    VlmImageInfo info{};
    CPageAssembler pa(info);
    EXPECT_FALSE(pa.Ready(0, 100, 8, 1, 200, 200, 0, 0));
    EXPECT_FALSE(pa.Ready(100, 100, 0, 1, 200, 200, 0, 0));
    EXPECT_FALSE(pa.Ready(100, 100, 8, 0, 200, 200, 0, 0));
    EXPECT_EQ(info.lpImage, nullptr);
}

TEST(PageAssembler, RowsLongerThan32BitsAreRefused) {
    // The widest rows that still fit, and one pixel more.
    EXPECT_EQ(VlmSyncBytes(1431655764u, 24), 4294967292u);
    EXPECT_EQ(VlmSyncBytes(1431655765u, 24), 0u);
    EXPECT_EQ(VlmSyncBytes((1u << 30) - 1, 32), 4294967292u);
    EXPECT_EQ(VlmSyncBytes(1u << 30, 32), 0u);
    EXPECT_EQ(VlmSyncBytes(UINT32_MAX, 1), 536870912u);
    EXPECT_EQ(VlmSyncBytes(0x80000000u, 24), 0u); // 6 GiB, not 2 GiB cut to 32 bits
    VlmImageInfo info{};
    CPageAssembler pa(info);
    EXPECT_FALSE(pa.Ready(1 << 30, 1, 32, 4, 200, 200, 0, 0));
    EXPECT_EQ(info.lpImage, nullptr);
    EXPECT_EQ(pa.Reserved(), 0u);
    ASSERT_TRUE(pa.Ready(100, 10, 8, 1, 200, 200, 0, 0));
    EXPECT_FALSE(pa.Ready2(1 << 30, 1, 32, 4, 200, 200));
}

TEST(PageAssembler, StripsThatClaimMoreThanTheirBufferAreRefused) {
    SMemStrip s;
    s.BytesPerRow = 100;
    s.Rows = 40;
    EXPECT_TRUE(CPageAssembler::StripFitsBuffer(s, 4000)); // exactly full
    EXPECT_FALSE(CPageAssembler::StripFitsBuffer(s, 3999));
    s.Rows = 0x80000000u; // negative as a signed row count
    EXPECT_FALSE(CPageAssembler::StripFitsBuffer(s, UINT64_MAX));
    s.Rows = 0x10000;
    s.BytesPerRow = 0x10000; // the product wraps 32 bits to 0
    EXPECT_FALSE(CPageAssembler::StripFitsBuffer(s, 64u << 20));
    s.BytesPerRow = 0; // rows without bytes
    EXPECT_FALSE(CPageAssembler::StripFitsBuffer(s, 64u << 20));
    s.Rows = 0; // nothing ready yet
    EXPECT_TRUE(CPageAssembler::StripFitsBuffer(s, 0));
    s.bCompressed = true;
    s.Rows = 0x80000000u; // compressed: only the bytes count
    s.BytesWritten = 4000;
    EXPECT_TRUE(CPageAssembler::StripFitsBuffer(s, 4000));
    EXPECT_FALSE(CPageAssembler::StripFitsBuffer(s, 3999));
}

TEST(PageAssembler, StripsLandAtTheirRows) {
    VlmImageInfo info{};
    CPageAssembler pa(info);
    ASSERT_TRUE(pa.Ready(100, 30, 8, 1, 200, 200, 0, 0)); // Sync 100
    for (uint32_t first = 0; first < 30; first += 10) {
        Strip st(first, 10, 100);
        ASSERT_TRUE(pa.Buffer(first, st.s, false));
    }
    for (uint32_t r = 0; r < 30; ++r)
        ASSERT_TRUE(RowMatches(info, r, 100)) << r;
}

TEST(PageAssembler, UnpaddedSourceRowsAreNotOverRead) {
    VlmImageInfo info{};
    CPageAssembler pa(info);
    ASSERT_TRUE(pa.Ready(10, 4, 8, 1, 100, 100, 0, 0)); // Sync 12, source rows of 10 bytes
    EXPECT_EQ(info.Sync, 12u);
    // Exactly 4 x 10 bytes: reading 12 per row would run past the strip
    // (ASan catches it in the native build).
    Strip st(0, 4, 10);
    std::vector<uint8_t> exact(st.data);
    st.s.pData = exact.data();
    ASSERT_TRUE(pa.Buffer(0, st.s, false));
    for (uint32_t r = 0; r < 4; ++r) {
        EXPECT_TRUE(RowMatches(info, r, 10));
        EXPECT_EQ(info.lpImage[r * 12 + 10], 0);
        EXPECT_EQ(info.lpImage[r * 12 + 11], 0);
    }
}

TEST(PageAssembler, ColourRowsAreStoredBlueGreenRed) {
    VlmImageInfo info{};
    CPageAssembler pa(info);
    ASSERT_TRUE(pa.Ready(2, 1, 24, 3, 100, 100, 0, 0));
    const uint8_t rgb[6] = {1, 2, 3, 4, 5, 6};
    ASSERT_TRUE(pa.CopyRow(0, rgb, 6, true));
    const uint8_t bgr[6] = {3, 2, 1, 6, 5, 4};
    EXPECT_EQ(memcmp(info.lpImage, bgr, 6), 0);
    // Without the swap (compressed data, grey) bytes go through unchanged.
    ASSERT_TRUE(pa.CopyRow(0, rgb, 6, false));
    EXPECT_EQ(memcmp(info.lpImage, rgb, 6), 0);
}

TEST(PageAssembler, RowsBeyondTheHeightAreIgnored) {
    VlmImageInfo info{};
    CPageAssembler pa(info);
    ASSERT_TRUE(pa.Ready(8, 2, 8, 1, 100, 100, 0, 0));
    const uint8_t row[8] = {9, 9, 9, 9, 9, 9, 9, 9};
    EXPECT_TRUE(pa.CopyRow(2, row, 8, false)); // ignored, no write past the commit
    EXPECT_TRUE(pa.CopyRow(1000000, row, 8, false));
}

TEST(PageAssembler, ShortAnnouncedLengthGrowsByFiveStrips) {
    VlmImageInfo info{};
    CPageAssembler pa(info);
    // The source announces 20 rows but sends 45 in strips of 10.
    ASSERT_TRUE(pa.Ready(64, 20, 8, 1, 100, 100, 64, 1000));
    uint32_t rows = 0;
    std::vector<int32_t> heights;
    for (int i = 0; i < 5; ++i) {
        uint32_t n = i < 4 ? 10 : 5;
        Strip st(rows, n, 64);
        if (rows + n > static_cast<uint32_t>(info.Height)) {
            ASSERT_TRUE(pa.BufferEx(rows, st.s, false));
            heights.push_back(info.Height);
        } else {
            ASSERT_TRUE(pa.Buffer(rows, st.s, false));
        }
        rows += n;
    }
    // 20 rows, then one growth of 5 x 10 rows when the third strip arrived.
    EXPECT_EQ(heights, (std::vector<int32_t>{70}));
    pa.PreDone(rows);
    EXPECT_EQ(info.Height, 45);
    EXPECT_EQ(info.ImageSize, 45u * 64);
    for (uint32_t r = 0; r < 45; ++r)
        ASSERT_TRUE(RowMatches(info, r, 64)) << r;
}

TEST(PageAssembler, UnknownLengthStartsEmptyAndGrows) {
    VlmImageInfo info{};
    CPageAssembler pa(info);
    ASSERT_TRUE(pa.Ready(32, -1, 8, 1, 100, 100, 32, 100));
    EXPECT_EQ(info.Height, 0);
    Strip st(0, 4, 32);
    ASSERT_TRUE(pa.BufferEx(0, st.s, false));
    EXPECT_EQ(info.Height, 20);
    pa.PreDone(4);
    EXPECT_EQ(info.Height, 4);
    EXPECT_TRUE(RowMatches(info, 3, 32));
}

TEST(PageAssembler, StripPastTheReservationEndsThePageWithTheRowsThatFit) {
    VlmImageInfo info{};
    CPageAssembler pa(info);
    // Largest page 100 x 100 grey: reserve 100*100*6/5 = 12000 bytes = 120 rows.
    ASSERT_TRUE(pa.Ready(100, 100, 8, 1, 100, 100, 100, 100));
    ASSERT_EQ(pa.Reserved(), 12000u);
    uint32_t rows = 0;
    for (; rows < 100; rows += 25) {
        Strip st(rows, 25, 100);
        ASSERT_TRUE(pa.Buffer(rows, st.s, false));
    }
    // Rows 100..124: only 20 more fit.
    Strip st(rows, 25, 100);
    EXPECT_FALSE(pa.BufferEx(rows, st.s, false));
    EXPECT_EQ(st.s.Rows, 20u);
    EXPECT_EQ(info.Height, 120);
    EXPECT_EQ(info.ImageSize, 120u * 100);
    for (uint32_t r = 0; r < 120; ++r)
        ASSERT_TRUE(RowMatches(info, r, 100)) << r;
    // Nothing is left for a further strip.
    Strip more(120, 5, 100);
    EXPECT_FALSE(pa.BufferEx(120, more.s, false));
    EXPECT_EQ(more.s.Rows, 0u);
    EXPECT_EQ(info.Height, 120);
}

TEST(PageAssembler, GrowthUsesTheRestOfTheReservationWhenTheStripStillFits) {
    VlmImageInfo info{};
    CPageAssembler pa(info);
    ASSERT_TRUE(pa.Ready(100, 100, 8, 1, 100, 100, 100, 100)); // 120 rows reserved
    for (uint32_t r = 0; r < 100; r += 10) {
        Strip st(r, 10, 100);
        ASSERT_TRUE(pa.Buffer(r, st.s, false));
    }
    // Five strips would need 50 rows; 20 are left, and the strip needs 10.
    Strip st(100, 10, 100);
    ASSERT_TRUE(pa.BufferEx(100, st.s, false));
    EXPECT_EQ(info.Height, 120);
    EXPECT_EQ(st.s.Rows, 10u);
    EXPECT_TRUE(RowMatches(info, 109, 100));
}

TEST(PageAssembler, BufferExWithoutAPageFails) {
    VlmImageInfo info{};
    CPageAssembler pa(info);
    Strip st(0, 1, 8);
    EXPECT_FALSE(pa.BufferEx(0, st.s, false));
    EXPECT_FALSE(pa.Ready2(8, 10, 8, 1, 100, 100));
}

TEST(PageAssembler, WidthChangeReLaysThePageInTheSameReservation) {
    VlmImageInfo info{};
    CPageAssembler pa(info);
    ASSERT_TRUE(pa.Ready(100, 50, 8, 1, 100, 100, 0, 0));
    uint8_t* base = info.lpImage;
    const size_t committed = pa.Committed();
    // The source now sends rows of 200: ImageLength re-derived from the commit.
    ASSERT_TRUE(pa.Ready2(200, static_cast<int32_t>(committed / 200), 8, 1, 100, 100));
    EXPECT_EQ(info.lpImage, base);
    EXPECT_EQ(info.Width, 200);
    EXPECT_EQ(info.Height, 25);
    EXPECT_EQ(info.Sync, 200u);
    Strip st(0, 25, 200);
    EXPECT_TRUE(pa.Buffer(0, st.s, false));
    EXPECT_TRUE(RowMatches(info, 24, 200));
}

TEST(PageAssembler, CompressedDataIsAppendedAndDescribedByItsSize) {
    VlmImageInfo info{};
    CPageAssembler pa(info);
    ASSERT_TRUE(pa.Ready(16, 4, 8, 1, 100, 100, 16, 1000)); // 64 bytes committed
    std::vector<uint8_t> block(40);
    std::iota(block.begin(), block.end(), 0);
    SMemStrip s;
    s.bCompressed = true;
    s.BytesWritten = 40;
    s.pData = block.data();
    ASSERT_TRUE(pa.BufferJpeg(s));
    EXPECT_EQ(pa.DataSize(), 40u);
    // The second block does not fit the 64 committed bytes.
    EXPECT_FALSE(pa.BufferJpeg(s));
    EXPECT_EQ(pa.BufferExJpeg(s), 200u);
    EXPECT_EQ(pa.DataSize(), 80u);
    pa.PreDoneJpeg();
    EXPECT_EQ(info.Width, -1);
    EXPECT_EQ(info.Height, -1);
    EXPECT_EQ(info.ImageSize, 80u);
    EXPECT_EQ(memcmp(info.lpImage + 40, block.data(), 40), 0);
}

TEST(PageAssembler, AnIncompletePageKeepsOnlyWhatArrived) {
    VlmImageInfo info{};
    CPageAssembler pa(info);
    ASSERT_TRUE(pa.Ready(64, 100, 8, 1, 100, 100, 0, 0));
    Strip a(0, 30, 64);
    ASSERT_TRUE(pa.Buffer(0, a.s, false));
    pa.EndIncomplete();
    EXPECT_EQ(info.Height, 30);
    EXPECT_EQ(info.ImageSize, 64u * 30);
    ASSERT_NE(info.lpImage, nullptr);
    EXPECT_TRUE(RowMatches(info, 29, 64));
    // Nothing arrived: no image rather than a page of blank rows.
    ASSERT_TRUE(pa.Ready(64, 100, 8, 1, 100, 100, 0, 0));
    pa.EndIncomplete();
    EXPECT_EQ(info.lpImage, nullptr);
    EXPECT_EQ(info.Height, 0);
    EXPECT_EQ(info.ImageSize, 0u);
    // Part of a compressed stream is no image either.
    ASSERT_TRUE(pa.Ready(16, 4, 8, 1, 100, 100, 16, 1000));
    std::vector<uint8_t> block(40, 0xAB);
    SMemStrip s;
    s.bCompressed = true;
    s.BytesWritten = 40;
    s.pData = block.data();
    ASSERT_TRUE(pa.BufferJpeg(s));
    pa.EndIncomplete();
    EXPECT_EQ(info.lpImage, nullptr);
    EXPECT_EQ(info.ImageSize, 0u);
}

TEST(PageAssembler, ReleaseFreesThePage) {
    VlmImageInfo info{};
    CPageAssembler pa(info);
    ASSERT_TRUE(pa.Ready(16, 4, 8, 1, 100, 100, 0, 0));
    pa.ReleaseImage();
    EXPECT_EQ(info.lpImage, nullptr);
    EXPECT_FALSE(pa.HasImage());
}

} // namespace
