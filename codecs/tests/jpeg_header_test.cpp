// The JPEG marker reader on streams built here byte by byte.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codecs/JpegHeader.h"

using namespace vlm;

namespace {

// A header of the shape the JPEG library writes, with the parts a test wants to change.
struct CStream {
    // Built byte by byte: GCC 12 warns wrongly about small vectors made from brace lists.
    std::vector<uint8_t> b;

    CStream() { Put({0xFF, 0xD8}); }
    void Put(std::initializer_list<int> bytes) {
        for (int v : bytes)
            b.push_back(static_cast<uint8_t>(v));
    }
    void Segment(uint8_t marker, const std::vector<uint8_t>& body) {
        const size_t len = body.size() + 2;
        Put({0xFF, marker, static_cast<int>(len >> 8), static_cast<int>(len & 0xFF)});
        b.insert(b.end(), body.begin(), body.end());
    }
    static std::vector<uint8_t> Body(std::initializer_list<int> bytes) {
        std::vector<uint8_t> v;
        for (int x : bytes)
            v.push_back(static_cast<uint8_t>(x));
        return v;
    }
    void Jfif(uint8_t unit, int density) {
        const int hi = density >> 8, lo = density & 0xFF;
        Segment(0xE0, Body({'J', 'F', 'I', 'F', 0, 1, 1, unit, hi, lo, hi, lo, 0, 0}));
    }
    void Quant(uint8_t table) {
        std::vector<uint8_t> body(65, 1);
        body[0] = table;
        Segment(0xDB, body);
    }
    void Frame(uint8_t marker, int components, uint8_t precision = 8) {
        std::vector<uint8_t> body = Body({precision, 0, 8, 0, 16, components});
        for (int c = 0; c < components; ++c) {
            body.push_back(static_cast<uint8_t>(c + 1));
            body.push_back(0x11);
            body.push_back(static_cast<uint8_t>(c == 0 ? 0 : 1));
        }
        Segment(marker, body);
    }
    // One table of class tc, number th, with `codes` codes of length 2.
    void Huffman(uint8_t tc, uint8_t th, uint8_t codes = 2) {
        std::vector<uint8_t> body(17, 0);
        body[0] = static_cast<uint8_t>(tc << 4 | th);
        body[2] = codes;
        for (uint8_t i = 0; i < codes; ++i)
            body.push_back(i);
        Segment(0xC4, body);
    }
    void Scan(int components) {
        std::vector<uint8_t> body(1, static_cast<uint8_t>(components));
        for (int c = 0; c < components; ++c) {
            body.push_back(static_cast<uint8_t>(c + 1));
            body.push_back(c == 0 ? 0x00 : 0x11);
        }
        for (int v : {0, 63, 0})
            body.push_back(static_cast<uint8_t>(v));
        Segment(0xDA, body);
    }
    size_t Size() const { return b.size(); }
};

CStream Colour() {
    CStream s;
    s.Jfif(1, 300);
    s.Quant(0);
    s.Quant(1);
    s.Frame(0xC0, 3);
    s.Huffman(0, 0);
    s.Huffman(1, 0);
    s.Huffman(0, 1);
    s.Huffman(1, 1);
    return s;
}

bool Read(const CStream& s, CJpegHeader& h, std::string* error = nullptr) {
    return ReadJpegHeader(s.b.data(), s.b.size(), h, error);
}

} // namespace

TEST(JpegHeader, SizesDensityAndWhereEveryTableLies) {
    CStream s;
    s.Jfif(1, 300);
    const size_t q0 = s.Size() + 5; // behind marker, length and the table's own byte
    s.Quant(0);
    const size_t q1 = s.Size() + 5;
    s.Quant(1);
    s.Frame(0xC0, 3);
    const size_t dc0 = s.Size() + 5;
    s.Huffman(0, 0);
    const size_t ac0 = s.Size() + 5;
    s.Huffman(1, 0);
    const size_t dc1 = s.Size() + 5;
    s.Huffman(0, 1);
    const size_t ac1 = s.Size() + 5;
    s.Huffman(1, 1);
    s.Scan(3);
    const size_t headerLength = s.Size();
    s.Put({0x12, 0x34, 0xFF, 0xD9});

    CJpegHeader h;
    std::string error;
    ASSERT_TRUE(Read(s, h, &error)) << error;
    EXPECT_EQ(h.m_frame.m_nWidth, 16);
    EXPECT_EQ(h.m_frame.m_nHeight, 8);
    EXPECT_EQ(h.m_frame.m_nComponents, 3);
    EXPECT_EQ(h.m_frame.m_nMarker, 0xC0);
    EXPECT_FALSE(h.m_bProgressive);
    EXPECT_EQ(h.DotsPerInch(), 300);
    EXPECT_EQ(h.m_nHeaderLength, headerLength);
    EXPECT_EQ(h.m_arrQuantAt[0], q0);
    EXPECT_EQ(h.m_arrQuantAt[1], q1);
    EXPECT_EQ(h.m_arrDcAt[0], dc0);
    EXPECT_EQ(h.m_arrAcAt[0], ac0);
    EXPECT_EQ(h.m_arrDcAt[1], dc1);
    EXPECT_EQ(h.m_arrAcAt[1], ac1);
    EXPECT_EQ(h.m_arrQuantAt[2], 0u); // not defined
    ASSERT_EQ(h.m_nScanComponents, 3);
    EXPECT_EQ(h.m_frame.m_arrComp[2].m_nQuant, 1);
    EXPECT_EQ(h.m_arrScanDc[0], 0);
    EXPECT_EQ(h.m_arrScanAc[2], 1);
}

TEST(JpegHeader, DensityUnits) {
    for (auto [unit, density, dpi] : {std::tuple{1, 200, 200}, {2, 79, 201}, {0, 1, 0}}) {
        CStream s;
        s.Jfif(static_cast<uint8_t>(unit), density);
        s.Quant(0);
        s.Frame(0xC0, 1);
        s.Huffman(0, 0);
        s.Huffman(1, 0);
        s.Scan(1);
        CJpegHeader h;
        ASSERT_TRUE(Read(s, h));
        EXPECT_EQ(h.DotsPerInch(), dpi) << unit;
    }
}

TEST(JpegHeader, FillBytesStrayDataAndOtherSegmentsAreSkipped) {
    CStream s = Colour();
    s.Put({0x00, 0x42, 0xFF, 0xFF}); // stray byte, fill bytes before a marker
    s.Segment(0xFE, CStream::Body({'c', 'o', 'm'}));
    s.Segment(0xDD, CStream::Body({0, 4}));
    s.Scan(3);
    CJpegHeader h;
    ASSERT_TRUE(Read(s, h));
    EXPECT_EQ(h.m_nRestartInterval, 4);
    EXPECT_EQ(h.m_nHeaderLength, s.Size());

    CStream p;
    p.Frame(0xC2, 1);
    p.Scan(1);
    ASSERT_TRUE(Read(p, h));
    EXPECT_TRUE(h.m_bProgressive);
}

TEST(JpegHeader, RefusesBrokenHeaders) {
    auto refuses = [](const CStream& s, const char* what) {
        CJpegHeader h;
        std::string error;
        EXPECT_FALSE(Read(s, h, &error)) << what;
        EXPECT_FALSE(error.empty()) << what;
    };
    CStream noStart;
    noStart.b = CStream::Body({0x00, 0xD8, 0xFF, 0xD9});
    refuses(noStart, "no start of image");

    CStream noScan = Colour();
    refuses(noScan, "data ends before the scan");

    CStream scanFirst;
    scanFirst.Scan(1);
    refuses(scanFirst, "scan before the frame");

    CStream end = Colour();
    end.Put({0xFF, 0xD9});
    refuses(end, "end of image before any scan");

    CStream twelveBit;
    twelveBit.Frame(0xC0, 1, 12);
    twelveBit.Scan(1);
    refuses(twelveBit, "12-bit samples");

    CStream twoFrames;
    twoFrames.Frame(0xC0, 1);
    twoFrames.Frame(0xC1, 1);
    twoFrames.Scan(1);
    refuses(twoFrames, "second frame header");

    CStream lossless;
    lossless.Frame(0xC3, 1);
    lossless.Scan(1);
    refuses(lossless, "lossless process");

    CStream tooManyCodes;
    tooManyCodes.Huffman(0, 0, 5); // five codes of two bits
    tooManyCodes.Frame(0xC0, 1);
    tooManyCodes.Scan(1);
    refuses(tooManyCodes, "Huffman table with too many codes");

    CStream badTable;
    badTable.Segment(0xDB, CStream::Body({0x04, 1, 2, 3}));
    refuses(badTable, "quantisation table number 4");

    CStream cut = Colour();
    cut.Scan(3);
    cut.b.resize(cut.b.size() - 3); // the scan header runs past the data
    refuses(cut, "segment past the end");
}
