// Where a page lands on the printer, its bands, its bitmap rows, and the
// command line of the open-with-application delivery.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "runner/core/AppCommandLine.h"
#include "runner/core/PrintPage.h"

using namespace kestrel;

namespace {

// The A4 printers of the test prefix: 600 dpi over the whole sheet, and
// 300 dpi with 1 inch margins and 1.5 inch at the bottom.
const PrintArea kA4{600, 600, 4960, 7015};
const PrintArea kSmall{300, 300, 1880, 2757};
const PrintPageSize kA4At300{2480, 3508, 300};

PrintPlacement Place(const PrintPageSize& page, const PrintArea& area, bool shrink) {
    PrintPlacement p;
    EXPECT_TRUE(PlacePage(page, area, shrink, p));
    return p;
}

} // namespace

TEST(PrintPlacement, APageThatFitsPrintsAtItsPhysicalSizeInBothModes) {
    for (bool shrink : {false, true}) {
        const PrintPlacement p = Place({2400, 3000, 300}, kA4, shrink);
        EXPECT_FALSE(p.m_bShrunk);
        EXPECT_EQ(p.m_nSrcWidth, 2400);
        EXPECT_EQ(p.m_nSrcHeight, 3000);
        EXPECT_EQ(p.m_nDstWidth, 4800); // 8 in at 600 dpi
        EXPECT_EQ(p.m_nDstHeight, 6000);
        EXPECT_EQ(p.m_nDstX, 0);
        EXPECT_EQ(p.m_nDstY, 0);
    }
    // The printer's resolution, not the page's, gives the printer pixels.
    const PrintPlacement p = Place({1000, 500, 200}, kSmall, false);
    EXPECT_EQ(p.m_nDstWidth, 1500);
    EXPECT_EQ(p.m_nDstHeight, 750);
    // A page exactly as wide as the area fits.
    EXPECT_FALSE(Place({1880, 100, 300}, kSmall, true).m_bShrunk);
}

TEST(PrintPlacement, ActualSizeCropsToThePrintableArea) {
    const PrintPlacement p = Place(kA4At300, kSmall, false);
    EXPECT_FALSE(p.m_bShrunk);
    EXPECT_EQ(p.m_nSrcWidth, 1880);
    EXPECT_EQ(p.m_nSrcHeight, 2757);
    EXPECT_EQ(p.m_nDstWidth, 1880);
    EXPECT_EQ(p.m_nDstHeight, 2757);
    // On the A4 printer an A4 scan is a fraction of a row taller than the
    // sheet the driver reports (7015 rows at 600 dpi): only whole rows print.
    const PrintPlacement q = Place(kA4At300, kA4, false);
    EXPECT_EQ(q.m_nSrcWidth, 2480);
    EXPECT_EQ(q.m_nSrcHeight, 3507);
    EXPECT_EQ(q.m_nDstWidth, 4960);
    EXPECT_EQ(q.m_nDstHeight, 7014);
}

TEST(PrintPlacement, ShrinkToFitKeepsTheWholePageAndItsAspect) {
    // Width limits: 1880 / 2480 < 2757 / 3508.
    PrintPlacement p = Place(kA4At300, kSmall, true);
    EXPECT_TRUE(p.m_bShrunk);
    EXPECT_EQ(p.m_nSrcWidth, 2480);
    EXPECT_EQ(p.m_nSrcHeight, 3508);
    EXPECT_EQ(p.m_nDstWidth, 1880);
    EXPECT_NEAR(p.m_nDstHeight, 3508.0 * 1880 / 2480, 1.0);
    // Height limits for a tall, narrow page.
    p = Place({1000, 6000, 300}, kSmall, true);
    EXPECT_EQ(p.m_nDstHeight, 2757);
    EXPECT_NEAR(p.m_nDstWidth, 1000.0 * 2757 / 6000, 1.0);
    // Over many sizes: inside the area, touching it on one side, aspect kept.
    std::srand(7);
    for (int i = 0; i < 2000; ++i) {
        const PrintPageSize page{1 + std::rand() % 9000, 1 + std::rand() % 9000,
                                 50 + std::rand() % 1150};
        const PrintArea area{72 + std::rand() % 1129, 72 + std::rand() % 1129,
                             1 + std::rand() % 8000, 1 + std::rand() % 8000};
        PrintPlacement s;
        ASSERT_TRUE(PlacePage(page, area, true, s));
        ASSERT_LE(s.m_nDstWidth, area.m_nWidth);
        ASSERT_LE(s.m_nDstHeight, area.m_nHeight);
        if (!s.m_bShrunk)
            continue;
        EXPECT_TRUE(area.m_nWidth - s.m_nDstWidth <= 1 || area.m_nHeight - s.m_nDstHeight <= 1);
        // Aspect in physical terms (printer pixels over printer dpi), within
        // a few pixels of rounding.
        const double want = double(page.m_nWidth) / page.m_nHeight;
        const double got =
            (double(s.m_nDstWidth) / area.m_nDpiX) / (double(s.m_nDstHeight) / area.m_nDpiY);
        EXPECT_NEAR(got / want, 1.0, 3.0 / s.m_nDstWidth + 3.0 / s.m_nDstHeight) << i;
    }
}

TEST(PrintPlacement, RefusesSizesAndResolutionsThatAreNotPositive) {
    PrintPlacement p;
    // A sliver of a page still covers a printer pixel.
    ASSERT_TRUE(PlacePage({9000, 1, 300}, {300, 300, 100, 100}, true, p));
    EXPECT_EQ(p.m_nDstWidth, 100);
    EXPECT_EQ(p.m_nDstHeight, 1);
    EXPECT_FALSE(PlacePage({2480, 3508, 0}, kA4, true, p));
    EXPECT_FALSE(PlacePage({0, 3508, 300}, kA4, false, p));
    EXPECT_FALSE(PlacePage(kA4At300, {0, 600, 4960, 7015}, false, p));
    EXPECT_FALSE(PlacePage(kA4At300, {600, 600, 4960, -1}, true, p));
}

TEST(PrintBands, FiveHundredRowsEachTheLastShorterTilingTheDestination) {
    PrintPlacement p = Place({1000, 1200, 300}, kSmall, false);
    std::vector<PrintBand> b = SplitIntoBands(p);
    ASSERT_EQ(b.size(), 3u);
    EXPECT_EQ(b[0].m_nFirstRow, 0);
    EXPECT_EQ(b[0].m_nRows, 500);
    EXPECT_EQ(b[1].m_nFirstRow, 500);
    EXPECT_EQ(b[1].m_nRows, 500);
    EXPECT_EQ(b[2].m_nFirstRow, 1000);
    EXPECT_EQ(b[2].m_nRows, 200);
    EXPECT_EQ(b[0].m_nDstY, 0);
    EXPECT_EQ(b[1].m_nDstY, 500);
    EXPECT_EQ(b[2].m_nDstHeight, 200);

    // Scaled: the printer rows of the bands follow the scale and leave no gap.
    p = Place({1000, 1200, 600}, kSmall, false); // half size
    b = SplitIntoBands(p);
    ASSERT_EQ(b.size(), 3u);
    EXPECT_EQ(b[0].m_nDstHeight, 250);
    EXPECT_EQ(b[2].m_nDstHeight, 100);
    for (const PrintPlacement& q : {Place(kA4At300, kSmall, true), Place(kA4At300, kA4, true),
                                    Place({333, 1001, 97}, kA4, false)}) {
        long y = q.m_nDstY, rows = 0;
        for (const PrintBand& band : SplitIntoBands(q)) {
            EXPECT_EQ(band.m_nDstY, y);
            EXPECT_EQ(band.m_nFirstRow, rows);
            y += band.m_nDstHeight;
            rows += band.m_nRows;
        }
        EXPECT_EQ(y, q.m_nDstY + q.m_nDstHeight);
        EXPECT_EQ(rows, q.m_nSrcHeight);
    }
}

TEST(PrintBands, BandsThatCoverNoPrinterRowAreLeftOut) {
    PrintPlacement p;
    p.m_nSrcWidth = 10;
    p.m_nSrcHeight = 1200;
    p.m_nDstWidth = 1;
    p.m_nDstHeight = 1;
    const std::vector<PrintBand> b = SplitIntoBands(p);
    ASSERT_EQ(b.size(), 1u);
    EXPECT_EQ(b[0].m_nFirstRow, 1000);
    EXPECT_EQ(b[0].m_nRows, 200);
    EXPECT_EQ(b[0].m_nDstHeight, 1);
    p.m_nSrcHeight = 0;
    EXPECT_TRUE(SplitIntoBands(p).empty());
}

TEST(PrintBitmap, RowsPaddedToFourBytesAndTurnedBottomUp) {
    EXPECT_EQ(DibRowBytes(2480, 1), 312u);
    EXPECT_EQ(DibRowBytes(1, 1), 4u);
    EXPECT_EQ(DibRowBytes(33, 1), 8u);
    EXPECT_EQ(DibRowBytes(3, 8), 4u);
    EXPECT_EQ(DibRowBytes(3, 24), 12u);

    std::vector<uint8_t> rows = {1, 2, 3, 4, 5, 6, 7, 8};
    ToBottomUpRows(rows.data(), 2, 4, false);
    EXPECT_EQ(rows, (std::vector<uint8_t>{7, 8, 5, 6, 3, 4, 1, 2}));
    // Odd heights invert the middle row too.
    rows = {0x00, 0xFF, 0x0F};
    ToBottomUpRows(rows.data(), 1, 3, true);
    EXPECT_EQ(rows, (std::vector<uint8_t>{0xF0, 0x00, 0xFF}));
    rows = {0x81};
    ToBottomUpRows(rows.data(), 1, 1, true);
    EXPECT_EQ(rows, (std::vector<uint8_t>{0x7E}));
}

TEST(PrintEndDoc, ResultNames) {
    EXPECT_STREQ(EndDocResultName(-5), "SP_OUTOFMEMORY");
    EXPECT_STREQ(EndDocResultName(-4), "SP_OUTOFDISK");
    EXPECT_STREQ(EndDocResultName(-3), "SP_USERABORT");
    EXPECT_STREQ(EndDocResultName(-1), "SP_ERROR");
    EXPECT_STREQ(EndDocResultName(-2), "Unknown Error(EndDoc)");
    EXPECT_STREQ(EndDocResultName(0), "Unknown Error(EndDoc)");
}

TEST(AppCommandLine, BothPathsQuotedUpToThePlatformLimit) {
    std::string cmd;
    ASSERT_TRUE(
        BuildAppCommandLine("C:\\Program Files\\Viewer\\view.exe", "C:\\Scans\\20240101.jpg", cmd));
    EXPECT_EQ(cmd, "\"C:\\Program Files\\Viewer\\view.exe\" \"C:\\Scans\\20240101.jpg\"");
    // Far beyond the old 520-byte buffer.
    const std::string longFile = "C:\\" + std::string(600, 'd') + "\\page.jpg";
    ASSERT_TRUE(BuildAppCommandLine("C:\\a.exe", longFile, cmd));
    EXPECT_EQ(cmd, "\"C:\\a.exe\" \"" + longFile + "\"");
    // The limit counts the terminating NUL.
    const std::string program(kMaxCommandLine - 1 - 5 - 1, 'p');
    EXPECT_TRUE(BuildAppCommandLine(program, "f", cmd));
    EXPECT_EQ(cmd.size() + 1, kMaxCommandLine);
    EXPECT_FALSE(BuildAppCommandLine(program, "fg", cmd));
    EXPECT_TRUE(cmd.empty());
}
