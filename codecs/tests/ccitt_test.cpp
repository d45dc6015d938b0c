#include <gtest/gtest.h>

#include <cstring>

#include "codecs/ccitt.h"
#include "test_util.h"

using namespace vlm;

namespace {

std::vector<uint8_t> DecodeT6(const std::vector<uint8_t>& data, int width, int height,
                              bool* ok = nullptr) {
    size_t rowBytes = (width + 7) / 8;
    std::vector<uint8_t> out(rowBytes * height, 0xAA);
    CMemorySource src(data.data(), data.size());
    FaxParams p;
    p.coding = FaxCoding::T6;
    p.width = width;
    CFaxDecoder dec;
    bool r = dec.Decode(src, p, height, out.data(), rowBytes);
    if (ok)
        *ok = r;
    return out;
}

// Clears the bits beyond the width, which the coder ignores.
std::vector<uint8_t> MaskTail(std::vector<uint8_t> v, int width) {
    size_t rowBytes = (width + 7) / 8;
    if (width % 8)
        for (size_t y = 0; y < v.size() / rowBytes; ++y)
            v[y * rowBytes + rowBytes - 1] &= static_cast<uint8_t>(0xFF << (8 - width % 8));
    return v;
}

// Hands out one byte per read: the window logic must cope.
class CTrickleSource : public IByteSource {
public:
    explicit CTrickleSource(const std::vector<uint8_t>& d) : m_data(d) {}
    size_t Read(uint8_t* dst, size_t n) override {
        if (m_nPos >= m_data.size() || n == 0)
            return 0;
        *dst = m_data[m_nPos++];
        return 1;
    }

private:
    const std::vector<uint8_t>& m_data;
    size_t m_nPos = 0;
};

} // namespace

TEST(G4Encoder, WhitePageIsOneVerticalCodePerRowThenEofb) {
    std::vector<uint8_t> page(2 * 8, 0);
    auto out = EncodeG4(page.data(), 16, 8, 2, true);
    // 8 x V0 ("1"), then EOFB (000000000001 twice), zero padded.
    std::vector<uint8_t> expect = {0xFF, 0x00, 0x10, 0x01};
    EXPECT_EQ(out, expect);
}

TEST(G4Encoder, KnownRowCodes) {
    // One row, width 8, pixels 2..5 black: horizontal mode is chosen since b1
    // (the reference line is white) is at the end: 001, white run 2 (0111),
    // black run 4 (011), then for a0 = 6 the rest: V0 for a1 = 8 = b1.
    uint8_t row = 0x3C;
    auto out = EncodeG4(&row, 8, 1, 1, true);
    // bits: 001 0111 011 1 | 000000000001 000000000001 | zero padding
    std::vector<uint8_t> expect = {0x2E, 0xE0, 0x02, 0x00, 0x20};
    EXPECT_EQ(out, expect);
}

TEST(G4Encoder, RoundTripsPagesOfManyWidths) {
    for (int width : {1, 7, 8, 9, 63, 64, 65, 100, 1728, 2480, 6000}) {
        for (int kind = 0; kind < 3; ++kind) {
            int height = 37;
            size_t rowBytes = (width + 7) / 8;
            std::vector<uint8_t> page;
            if (kind == 0)
                page = vlmtest::MakePage(width, height, 1, width);
            else if (kind == 1)
                page = vlmtest::MakeNoise(rowBytes * height, width);
            else {
                page.assign(rowBytes * height, 0);
                for (int y = 0; y < height; ++y) // long runs and single pixels
                    for (int x = 0; x < width; ++x)
                        if ((x / (y + 1)) % 2 || x == y)
                            page[y * rowBytes + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
            }
            page = MaskTail(page, width);
            auto coded = EncodeG4(page.data(), width, height, rowBytes, true);
            bool ok = false;
            auto back = DecodeT6(coded, width, height, &ok);
            ASSERT_TRUE(ok) << "width " << width << " kind " << kind;
            EXPECT_EQ(back, page) << "width " << width << " kind " << kind;
        }
    }
}

TEST(G4Encoder, LongRunsUseExtendedMakeupCodes) {
    const int width = 9000;
    size_t rowBytes = (width + 7) / 8;
    std::vector<uint8_t> page(rowBytes * 3, 0);
    // Row 1: black from 100 to 6100 (needs 2560 make-up codes); row 2 all black.
    for (int x = 100; x < 6100; ++x)
        page[rowBytes + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
    std::memset(page.data() + 2 * rowBytes, 0xFF, rowBytes);
    auto coded = EncodeG4(page.data(), width, 3, rowBytes, true);
    bool ok = false;
    EXPECT_EQ(DecodeT6(coded, width, 3, &ok), page);
    EXPECT_TRUE(ok);
}

TEST(G4Encoder, BlackIsZeroInputIsInverted) {
    const int width = 300, height = 20;
    auto page = vlmtest::MakePage(width, height, 1, 3);
    std::vector<uint8_t> inv(page);
    for (auto& b : inv)
        b = static_cast<uint8_t>(~b);
    EXPECT_EQ(EncodeG4(inv.data(), width, height, (width + 7) / 8, false),
              EncodeG4(page.data(), width, height, (width + 7) / 8, true));
}

TEST(G4Encoder, StrideAndInvalidArguments) {
    const int width = 50, height = 10;
    auto page = vlmtest::MakeNoise(7 * height, 5);
    auto padded = page;
    padded.clear();
    for (int y = 0; y < height; ++y) {
        padded.insert(padded.end(), page.begin() + 7 * y, page.begin() + 7 * y + 7);
        padded.insert(padded.end(), {0x12, 0x34, 0x56});
    }
    EXPECT_EQ(EncodeG4(padded.data(), width, height, 10, true),
              EncodeG4(page.data(), width, height, 7, true));
    EXPECT_TRUE(EncodeG4(nullptr, width, height, 7, true).empty());
    EXPECT_TRUE(EncodeG4(page.data(), 0, height, 7, true).empty());
    EXPECT_TRUE(EncodeG4(page.data(), width, height, 6, true).empty()); // stride too small
}

TEST(G4Encoder, TooManyChangingElementsFailsTheRow) {
    CG4Encoder enc;
    ASSERT_TRUE(enc.Begin(64, 10));
    uint8_t calm[8] = {0xFF, 0, 0, 0, 0, 0, 0, 0};
    uint8_t busy[8] = {0xAA, 0xAA, 0xAA, 0xAA, 0, 0, 0, 0}; // 32 changes
    EXPECT_EQ(enc.EncodeRow(calm, true), 0);
    EXPECT_EQ(enc.EncodeRow(busy, true), CG4Encoder::kTooManyChanges);
    ASSERT_TRUE(enc.Begin(64, 32));
    EXPECT_EQ(enc.EncodeRow(busy, true), 0);
}

TEST(ChangingElements, PositionsAndTail) {
    uint8_t row[2] = {0x0F, 0xF1}; // black 4..11 and 15; width 12 cuts off 15
    int out[16];
    ASSERT_EQ(FindChangingElements(row, 12, true, out), 1);
    EXPECT_EQ(out[0], 4);
    ASSERT_EQ(FindChangingElements(row, 16, true, out), 3);
    EXPECT_EQ(out[1], 12);
    EXPECT_EQ(out[2], 15);
    ASSERT_EQ(FindChangingElements(row, 16, false, out), 4);
    EXPECT_EQ(out[0], 0);
}

TEST(FaxDecoder, WindowedReadsOfLongData) {
    // Noise codes to far more than one 120 000-byte window.
    const int width = 2000, height = 1000;
    size_t rowBytes = width / 8;
    auto page = vlmtest::MakeNoise(rowBytes * height, 77);
    auto coded = EncodeG4(page.data(), width, height, rowBytes, true);
    ASSERT_GT(coded.size(), 3 * CFaxDecoder::kWindow);
    std::vector<uint8_t> out(page.size());
    CTrickleSource src(coded);
    FaxParams p;
    p.width = width;
    CFaxDecoder dec;
    ASSERT_TRUE(dec.Decode(src, p, height, out.data(), rowBytes));
    EXPECT_EQ(out, page);
}

TEST(FaxDecoder, CorruptOrShortDataFails) {
    const int width = 500, height = 40;
    size_t rowBytes = (width + 7) / 8;
    auto page = MaskTail(vlmtest::MakePage(width, height, 1, 9), width);
    auto coded = EncodeG4(page.data(), width, height, rowBytes, true);

    bool ok = true;
    std::vector<uint8_t> cut(coded.begin(), coded.begin() + coded.size() / 2);
    DecodeT6(cut, width, height, &ok);
    EXPECT_FALSE(ok);

    std::vector<uint8_t> zeros(coded.size(), 0); // EOL/invalid codes only
    DecodeT6(zeros, width, height, &ok);
    EXPECT_FALSE(ok);

    std::vector<uint8_t> ones(coded.size(), 0xFF); // V0 forever: valid white rows
    auto white = DecodeT6(ones, width, height, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(white, std::vector<uint8_t>(page.size(), 0));

    CFaxDecoder dec;
    std::vector<uint8_t> out(page.size());
    CMemorySource src(cut.data(), cut.size());
    FaxParams p;
    p.width = width;
    EXPECT_FALSE(dec.Decode(src, p, height, out.data(), rowBytes));
    EXPECT_GT(dec.ErrorRow(), 0);
    EXPECT_LT(dec.ErrorRow(), height);
}

TEST(FaxDecoder, EolWhoseLastBitEndsTheFirstWord) {
    // Fill bits, then an EOL whose one bit is bit 64 of the data; then a
    // 1-D row of width 8: white 8 (10011).
    const std::vector<uint8_t> data = {0, 0, 0, 0, 0, 0, 0, 0x01, 0x98};
    CMemorySource src(data.data(), data.size());
    FaxParams p;
    p.coding = FaxCoding::T4;
    p.width = 8;
    uint8_t row = 0xAA;
    ASSERT_TRUE(CFaxDecoder().Decode(src, p, 1, &row, 1));
    EXPECT_EQ(row, 0);
}

TEST(FaxDecoder, ModifiedHuffmanReportsLastRunsOnError) {
    // Width 16: white 2 (0111), black 4 (011), white 10 (00111); then garbage.
    // bits: 0111 011 00111 | 00000000 00000000
    std::vector<uint8_t> data = {0x76, 0x70, 0x00, 0x00, 0x00};
    std::vector<uint8_t> out(2 * 2);
    CMemorySource src(data.data(), data.size());
    FaxParams p;
    p.coding = FaxCoding::ModifiedHuffman;
    p.width = 16;
    CFaxDecoder dec;
    EXPECT_FALSE(dec.Decode(src, p, 2, out.data(), 2));
    EXPECT_EQ(dec.ErrorRow(), 1);
    EXPECT_EQ(dec.LastRuns(), (std::vector<int>{2, 4, 10}));
    EXPECT_EQ(out[0], 0x3C);
    EXPECT_EQ(out[1], 0x00);
}
