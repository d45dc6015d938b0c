#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <string>

#include "imaging/tiff.h"
#include "test_util.h"
#include "tiff_pages.h"

using namespace vlm;
using vlmtest::ReadBytes;
using vlmtest::TempPath;

namespace {

std::string g_strConsole, g_strRunLog;
void ConsoleSink(const char* t) {
    g_strConsole += t;
}
void RunLogSink(const char* t) {
    g_strRunLog += t;
    g_strRunLog += '\n';
}

class TiffTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_strConsole.clear();
        g_strRunLog.clear();
        SetTiffConsoleSink(ConsoleSink);
        SetTiffRunLogSink(RunLogSink);
    }
};

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}
uint16_t Le16(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}

struct RawEntry {
    uint16_t type;
    uint32_t count;
    uint32_t value; // offset or left-justified value
};
// The entries of one little-endian IFD, in file order, keyed by tag.
std::vector<std::pair<uint16_t, RawEntry>> Entries(const std::vector<uint8_t>& f, uint32_t ifd) {
    std::vector<std::pair<uint16_t, RawEntry>> v;
    uint16_t n = Le16(f, ifd);
    for (uint16_t i = 0; i < n; ++i) {
        size_t e = ifd + 2 + 12 * i;
        uint16_t type = Le16(f, e + 2);
        uint32_t count = Le32(f, e + 4);
        uint32_t value = (type == kTypeShort && count == 1) ? Le16(f, e + 8) : Le32(f, e + 8);
        v.push_back({Le16(f, e), RawEntry{type, count, value}});
    }
    return v;
}
std::map<uint16_t, RawEntry> EntryMap(const std::vector<uint8_t>& f, uint32_t ifd) {
    std::map<uint16_t, RawEntry> m;
    for (auto& [tag, e] : Entries(f, ifd))
        m[tag] = e;
    return m;
}

// Reads page n with our reader; rows padded to 4 bytes.
std::vector<uint8_t> ReadPageN(const std::string& path, int n, int* pages = nullptr) {
    CTiffFile t;
    if (!t.Open(path.c_str(), 'r'))
        return {};
    if (pages)
        *pages = t.PageCount();
    if (t.OpenPage(n) != 0)
        return {};
    std::vector<uint8_t> buf(t.PageBufferSize());
    if (buf.empty() || t.ReadPage(buf.data(), buf.size()) != 0)
        return {};
    return buf;
}

// A little builder for hand-made files (either byte order, several strips).
struct CHandTiff {
    bool big = false;
    std::vector<uint8_t> bytes;
    void Put16(size_t at, uint32_t v) {
        if (big) {
            bytes[at] = static_cast<uint8_t>(v >> 8);
            bytes[at + 1] = static_cast<uint8_t>(v);
        } else {
            bytes[at] = static_cast<uint8_t>(v);
            bytes[at + 1] = static_cast<uint8_t>(v >> 8);
        }
    }
    void Put32(size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes[at + i] = static_cast<uint8_t>(big ? v >> (24 - 8 * i) : v >> (8 * i));
    }
    size_t Append(const std::vector<uint8_t>& data) {
        if (bytes.size() % 2)
            bytes.push_back(0);
        size_t at = bytes.size();
        bytes.insert(bytes.end(), data.begin(), data.end());
        return at;
    }
    size_t AppendLongs(const std::vector<uint32_t>& v) {
        std::vector<uint8_t> d(4 * v.size());
        size_t at = Append(d);
        for (size_t i = 0; i < v.size(); ++i)
            Put32(at + 4 * i, v[i]);
        return at;
    }
};

// 8-bit grey, `strips` strips, an ASCII tag and rationals out of line.
CHandTiff MakeStripFile(bool big, int width, int height, int rowsPerStrip,
                        const std::vector<uint8_t>& pixels, int photometric = 1) {
    CHandTiff h;
    h.big = big;
    h.bytes.assign(8, 0);
    h.bytes[0] = h.bytes[1] = big ? 'M' : 'I';
    h.Put16(2, 42);
    std::vector<uint32_t> offs, counts;
    for (int y = 0; y < height; y += rowsPerStrip) {
        int rows = std::min(rowsPerStrip, height - y);
        std::vector<uint8_t> strip(pixels.begin() + width * y, pixels.begin() + width * (y + rows));
        offs.push_back(static_cast<uint32_t>(h.Append(strip)));
        counts.push_back(static_cast<uint32_t>(strip.size()));
    }
    size_t offArr = offs.size() > 1 ? h.AppendLongs(offs) : 0;
    size_t cntArr = counts.size() > 1 ? h.AppendLongs(counts) : 0;
    size_t res = h.AppendLongs({200, 1});
    std::string sw = "hand made file";
    size_t text = h.Append(std::vector<uint8_t>(sw.begin(), sw.end() + 1));
    struct E {
        uint16_t tag, type;
        uint32_t count, value;
    };
    uint32_t nStrips = static_cast<uint32_t>(offs.size());
    std::vector<E> es = {
        {256, 3, 1, static_cast<uint32_t>(width)},
        {257, 4, 1, static_cast<uint32_t>(height)},
        {258, 3, 1, 8},
        {259, 3, 1, 1},
        {262, 3, 1, static_cast<uint32_t>(photometric)},
        {273, 4, nStrips, nStrips > 1 ? static_cast<uint32_t>(offArr) : offs[0]},
        {277, 3, 1, 1},
        {278, 3, 1, static_cast<uint32_t>(rowsPerStrip)},
        {279, 4, nStrips, nStrips > 1 ? static_cast<uint32_t>(cntArr) : counts[0]},
        {282, 5, 1, static_cast<uint32_t>(res)},
        {283, 5, 1, static_cast<uint32_t>(res)},
        {305, 2, static_cast<uint32_t>(sw.size() + 1), static_cast<uint32_t>(text)}};
    if (h.bytes.size() % 2)
        h.bytes.push_back(0);
    size_t ifd = h.bytes.size();
    h.bytes.resize(ifd + 2 + 12 * es.size() + 4, 0);
    h.Put16(ifd, static_cast<uint32_t>(es.size()));
    for (size_t i = 0; i < es.size(); ++i) {
        size_t e = ifd + 2 + 12 * i;
        h.Put16(e, es[i].tag);
        h.Put16(e + 2, es[i].type);
        h.Put32(e + 4, es[i].count);
        if (es[i].type == 3 && es[i].count == 1)
            h.Put16(e + 8, es[i].value);
        else
            h.Put32(e + 8, es[i].value);
    }
    h.Put32(4, static_cast<uint32_t>(ifd));
    return h;
}

} // namespace

TEST_F(TiffTest, BilevelDataStartsAt256AndColourAt512) {
    auto bilevel = vlmtest::MakePage(200, 30, 1, 1);
    auto colour = vlmtest::MakePage(200, 30, 24, 1);
    std::string p1 = TempPath("b.tif"), p2 = TempPath("c.tif");
    ASSERT_EQ(vlmtest::WriteTiffPage(p1, 200, 30, 1, 1, 1, bilevel), 0);
    ASSERT_EQ(vlmtest::WriteTiffPage(p2, 200, 30, 8, 3, 1, colour), 0);
    auto f1 = ReadBytes(p1), f2 = ReadBytes(p2);
    EXPECT_EQ(EntryMap(f1, 8).at(273).value, 256u);
    EXPECT_EQ(EntryMap(f2, 8).at(273).value, 512u);
    EXPECT_EQ(f1.size(), 256u + 25 * 30);
    EXPECT_EQ(f2.size(), 512u + 600 * 30);
    // The file holds R,G,B: the first ink pixel's bytes are swapped.
    size_t at = 0;
    while (colour[at] == 255 && colour[at + 1] == 255 && colour[at + 2] == 255)
        at += 3;
    EXPECT_EQ(f2[512 + at], colour[at + 2]);
    EXPECT_EQ(f2[512 + at + 2], colour[at]);
    EXPECT_NE(g_strConsole.find(p1 + "\n"), std::string::npos);
}

TEST_F(TiffTest, DirectoryLayout) {
    auto page = vlmtest::MakePage(100, 10, 8, 2);
    std::string p = TempPath("grey.tif");
    ASSERT_EQ(vlmtest::WriteTiffPage(p, 100, 10, 8, 1, 1, page, 200), 0);
    auto f = ReadBytes(p);
    ASSERT_EQ(std::string(f.begin(), f.begin() + 2), "II");
    EXPECT_EQ(Le16(f, 2), 42);
    EXPECT_EQ(Le32(f, 4), 8u);
    auto es = Entries(f, 8);
    std::vector<uint16_t> tags;
    for (auto& e : es)
        tags.push_back(e.first);
    EXPECT_EQ(tags, (std::vector<uint16_t>{254, 256, 257, 258, 259, 262, 273, 274, 277, 278, 279,
                                           282, 283, 296}));
    auto m = EntryMap(f, 8);
    EXPECT_EQ(m[262].value, 1u);
    EXPECT_EQ(m[278].value, 10u);
    EXPECT_EQ(m[279].value, 1000u);
    EXPECT_EQ(m[296].value, 2u);
    // Blocks start at ((12 * 14 + 39) / 16) * 16 = 192, 16 bytes apart.
    EXPECT_EQ(m[282].value, 192u);
    EXPECT_EQ(m[283].value, 208u);
    EXPECT_EQ(Le32(f, 192), 200u);
    EXPECT_EQ(Le32(f, 196), 1u);
    EXPECT_EQ(Le32(f, 8 + 2 + 12 * 14), 0u); // no next IFD
}

TEST_F(TiffTest, TagSetTwiceKeepsTheLaterValue) {
    std::string p = TempPath("twice.tif");
    CTiffFile t;
    ASSERT_TRUE(t.Open(p.c_str(), 'w'));
    EXPECT_EQ(t.TiffSetTagOld(kTagImageWidth, 999), 0);
    EXPECT_EQ(t.TiffSetTagOld(kTagImageWidth, 16), 0);
    t.TiffSetTagOld(kTagImageLength, 2);
    const char a[] = "first", b[] = "second value";
    EXPECT_EQ(t.TiffSetTag(305, kTypeAscii, sizeof(a), a), 0);
    EXPECT_EQ(t.TiffSetTag(305, kTypeAscii, sizeof(b), b), 0);
    uint16_t artist = 7;
    EXPECT_EQ(t.TiffSetTag(40000, kTypeShort, 1, &artist), 0);
    EXPECT_EQ(t.TiffSetTag(40001, kTypeUndefined, 0, nullptr), 0); // an entry without values
    uint8_t rows[4] = {0xF0, 0x0F, 0x01, 0x80};
    ASSERT_EQ(t.WriteRows(rows, 2), 0);
    EXPECT_EQ(t.TiffSetTag(306, kTypeAscii, 2, "x"), -1); // data offset already fixed
    ASSERT_EQ(t.Close(), 0);
    auto f = ReadBytes(p);
    auto m = EntryMap(f, 8);
    EXPECT_EQ(m[256].value, 16u);
    EXPECT_EQ(m[305].count, sizeof(b));
    EXPECT_STREQ(reinterpret_cast<const char*>(&f[m[305].value]), b);
    EXPECT_EQ(m[40000].value, 7u);
    EXPECT_EQ(m[40001].count, 0u);
    EXPECT_EQ(m[40001].value, 0u);
    EXPECT_EQ(Entries(f, 8).size(), 17u);
    EXPECT_EQ(ReadPageN(p, 1), (std::vector<uint8_t>{0xF0, 0x0F, 0, 0, 0x01, 0x80, 0, 0}));
}

TEST_F(TiffTest, SetTagRules) {
    CTiffFile t;
    EXPECT_EQ(t.TiffSetTagOld(kTagImageWidth, 10), -1); // not open
    std::string p = TempPath("rules.tif");
    ASSERT_TRUE(t.Open(p.c_str(), 'w'));
    EXPECT_EQ(t.TiffSetTagOld(kTagPhotometric, 1), -1);
    EXPECT_EQ(t.TiffSetTagOld(kTagJpegQuality, 250), 0);
    EXPECT_EQ(t.TiffSetTagOld(kTagCompression, 7), 0);
    t.Release();
    // Refused page forms: no file contents are produced.
    auto rows = vlmtest::MakePage(64, 4, 8, 1);
    EXPECT_EQ(vlmtest::WriteTiffPage(TempPath("g4grey.tif"), 64, 4, 8, 1, 4, rows), -1);
    EXPECT_EQ(vlmtest::WriteTiffPage(TempPath("lzw.tif"), 64, 4, 8, 1, 5, rows), -1);
    EXPECT_EQ(vlmtest::WriteTiffPage(TempPath("16bit.tif"), 32, 4, 16, 1, 1, rows), -1);
    EXPECT_EQ(vlmtest::WriteTiffPage(TempPath("jpeg1.tif"), 512, 4, 1, 1, 6, rows), -1);
}

TEST_F(TiffTest, EveryFormRoundTrips) {
    struct Form {
        int bps, spp, comp;
    } forms[] = {{1, 1, 1}, {4, 1, 1}, {8, 1, 1}, {8, 3, 1}, {1, 1, 4}};
    for (auto f : forms) {
        const int width = 301, height = 97;
        auto page = vlmtest::MakePage(width, height, f.bps * f.spp, f.bps + f.comp);
        size_t rowBytes = (width * f.bps * f.spp + 7) / 8;
        if (f.bps == 1) // the unused tail bits come back as 0
            for (int y = 0; y < height; ++y)
                page[rowBytes * y + rowBytes - 1] &= 0xF8;
        std::string p = TempPath("form" + std::to_string(f.bps * f.spp) + "_" +
                                 std::to_string(f.comp) + ".tif");
        ASSERT_EQ(vlmtest::WriteTiffPage(p, width, height, f.bps, f.spp, f.comp, page), 0);
        CTiffFile t;
        ASSERT_TRUE(t.Open(p.c_str(), 'r'));
        EXPECT_EQ(t.PageCount(), 1);
        EXPECT_EQ(t.GetTag(kTagImageWidth), width);
        EXPECT_EQ(t.GetTag(kTagImageLength), height);
        EXPECT_EQ(t.GetTag(kTagBitsPerSample), f.bps);
        EXPECT_EQ(t.GetTag(kTagSamplesPerPixel), f.spp);
        EXPECT_EQ(t.GetTag(kTagCompression), f.comp);
        EXPECT_EQ(t.GetTag(kTagXResolution), 300);
        EXPECT_EQ(t.GetTag(kTagPhotometric), -1);
        std::vector<uint8_t> buf(t.PageBufferSize());
        ASSERT_EQ(t.ReadPage(buf.data(), buf.size()), 0);
        if (f.bps == 8 && f.spp == 1) {
            // 8-bit grey is BlackIsZero in the file: read back as given.
        }
        EXPECT_EQ(buf, vlmtest::PadRows(page, rowBytes, height))
            << "bps " << f.bps << " spp " << f.spp << " comp " << f.comp;
        EXPECT_EQ(t.ReadPage(buf.data(), buf.size() - 1), -1);
    }
}

TEST_F(TiffTest, WriterDoesNotChangeTheCallersRowsAndHonoursStride) {
    const int width = 10, height = 3;
    std::vector<uint8_t> rows(32 * height);
    for (size_t i = 0; i < rows.size(); ++i)
        rows[i] = static_cast<uint8_t>(i * 7);
    auto copy = rows;
    std::string p = TempPath("stride.tif");
    CTiffFile t;
    ASSERT_TRUE(t.Open(p.c_str(), 'w'));
    t.TiffSetTagOld(kTagImageWidth, width);
    t.TiffSetTagOld(kTagImageLength, height);
    t.TiffSetTagOld(kTagBitsPerSample, 8);
    t.TiffSetTagOld(kTagSamplesPerPixel, 3);
    ASSERT_EQ(t.WriteRows(rows.data(), height, 32), 0);
    EXPECT_EQ(t.WriteRows(rows.data(), 1, 32), -1); // beyond ImageLength
    ASSERT_EQ(t.Close(), 0);
    EXPECT_EQ(rows, copy);
    auto back = ReadPageN(p, 1);
    ASSERT_EQ(back.size(), 32u * height);
    for (int y = 0; y < height; ++y)
        EXPECT_EQ(0, std::memcmp(&back[32 * y], &rows[32 * y], 30));
}

TEST_F(TiffTest, ShortPageDescribesTheRowsWritten) {
    auto page = vlmtest::MakePage(64, 20, 1, 4);
    std::string p = TempPath("short.tif");
    CTiffFile t;
    ASSERT_TRUE(t.Open(p.c_str(), 'w'));
    t.TiffSetTagOld(kTagImageWidth, 64);
    t.TiffSetTagOld(kTagImageLength, 20);
    t.TiffSetTagOld(kTagCompression, 4);
    ASSERT_EQ(t.WriteRows(page.data(), 12), 0);
    ASSERT_EQ(t.Close(), 0);
    CTiffFile r;
    ASSERT_TRUE(r.Open(p.c_str(), 'r'));
    EXPECT_EQ(r.GetTag(kTagImageLength), 12);
    std::vector<uint8_t> buf(r.PageBufferSize());
    ASSERT_EQ(r.ReadPage(buf.data(), buf.size()), 0);
    page.resize(8 * 12);
    EXPECT_EQ(buf, page);

    CTiffFile empty;
    ASSERT_TRUE(empty.Open(TempPath("empty.tif").c_str(), 'w'));
    EXPECT_EQ(empty.Close(), -1); // no rows: no page
}

TEST_F(TiffTest, G4LineWithTooManyChangesFailsThePage) {
    const int width = 80008;
    std::vector<uint8_t> row(width / 8, 0xAA);
    std::string p = TempPath("busy.tif");
    CTiffFile t;
    ASSERT_TRUE(t.Open(p.c_str(), 'w'));
    t.TiffSetTagOld(kTagImageWidth, width);
    t.TiffSetTagOld(kTagImageLength, 2);
    t.TiffSetTagOld(kTagCompression, 4);
    std::vector<uint8_t> calm(width / 8, 0);
    EXPECT_EQ(t.WriteRows(calm.data(), 1), 0);
    EXPECT_EQ(t.WriteRows(row.data(), 1), -4500);
    EXPECT_EQ(t.WriteRows(calm.data(), 1), -1);
    EXPECT_EQ(t.Close(), -1);
}

TEST_F(TiffTest, ReaderRefusesWhatIsNotTiff) {
    std::string p = TempPath("junk.tif");
    vlmtest::WriteBytes(p, {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0});
    CTiffFile t;
    EXPECT_FALSE(t.Open(p.c_str(), 'r'));
    EXPECT_NE(g_strConsole.find("NG line "), std::string::npos);
    vlmtest::WriteBytes(p, {'I', 'I', 42, 0, 8, 0, 0, 0}); // IFD beyond the end
    EXPECT_FALSE(t.Open(p.c_str(), 'r'));
    vlmtest::WriteBytes(p, {'I', 'I', 43, 0, 8, 0, 0, 0}); // BigTIFF and others
    EXPECT_FALSE(t.Open(p.c_str(), 'r'));
    EXPECT_FALSE(t.Open(TempPath("missing.tif").c_str(), 'r'));
    EXPECT_FALSE(t.Open(p.c_str(), 'x'));
}

TEST_F(TiffTest, APathLongerThan260CharactersFailsAndWritesNoOtherFile) {
    const std::string dir = TempPath("");
    const std::string stem = dir + std::string(CTiffFile::kMaxPathChars - dir.size(), 'p');
    ASSERT_EQ(stem.size(), CTiffFile::kMaxPathChars);
    const std::string longer = stem + ".tif";
    CTiffFile t;
    EXPECT_FALSE(t.Open(longer.c_str(), 'w'));
    EXPECT_FALSE(t.Open(longer.c_str(), 'r'));
    // Nothing was made under the first 260 characters of the name.
    EXPECT_EQ(std::fopen(stem.c_str(), "rb"), nullptr);
    EXPECT_NE(g_strRunLog.find("TIFF path longer than 260 characters: " + longer),
              std::string::npos)
        << g_strRunLog;
#ifndef _WIN32 // (Windows itself takes no more than 259)
    // At the limit it still works.
    EXPECT_TRUE(t.Open(stem.c_str(), 'w'));
    t.Release();
    std::remove(stem.c_str());
#endif
}

TEST_F(TiffTest, ReadsBothByteOrdersAndSeveralStrips) {
    const int width = 37, height = 23;
    auto px = vlmtest::MakeNoise(width * height, 11);
    for (bool big : {false, true}) {
        for (int photometric : {0, 1}) {
            auto h = MakeStripFile(big, width, height, 5, px, photometric);
            std::string p = TempPath(std::string("strips") + (big ? "MM" : "II") +
                                     std::to_string(photometric) + ".tif");
            vlmtest::WriteBytes(p, h.bytes);
            CTiffFile t;
            ASSERT_TRUE(t.Open(p.c_str(), 'r'));
            EXPECT_EQ(t.IsBigEndian(), big);
            EXPECT_EQ(t.GetTag(kTagXResolution), 200);
            std::vector<uint8_t> buf(t.PageBufferSize());
            ASSERT_EQ(buf.size(), 40u * height);
            ASSERT_EQ(t.ReadPage(buf.data(), buf.size()), 0);
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x) {
                    uint8_t want = photometric == 0 ? static_cast<uint8_t>(~px[y * width + x])
                                                    : px[y * width + x];
                    ASSERT_EQ(buf[40 * y + x], want) << y << "," << x;
                }
        }
    }
}

TEST_F(TiffTest, ConcatAppendsATwoPageFileAndMovesEveryOffset) {
    const int w = 120, h = 40;
    auto p1 = vlmtest::MakePage(w, h, 1, 1), p2 = vlmtest::MakePage(w, h, 1, 2),
         p3 = vlmtest::MakePage(w, h, 8, 3);
    std::string target = TempPath("target.tif"), two = TempPath("two.tif"),
                second = TempPath("second.tif");
    ASSERT_EQ(vlmtest::WriteTiffPage(target, w, h, 1, 1, 4, p1), 0);
    ASSERT_EQ(vlmtest::WriteTiffPage(two, w, h, 1, 1, 1, p2), 0);
    ASSERT_EQ(vlmtest::WriteTiffPage(second, w, h, 8, 1, 1, p3), 0);
    ASSERT_EQ(ConcatTiff(two.c_str(), second.c_str()), 0);
    int pages = 0;
    ASSERT_FALSE(ReadPageN(two, 2, &pages).empty());
    ASSERT_EQ(pages, 2);

    auto before = ReadBytes(two);
    const uint32_t oldSize = static_cast<uint32_t>(ReadBytes(target).size());
    ASSERT_EQ(ConcatTiff(target.c_str(), two.c_str()), 0);
    auto after = ReadBytes(target);
    ASSERT_EQ(after.size(), oldSize + before.size());
    EXPECT_NE(g_strRunLog.find("ConcatTiff 001"), std::string::npos);
    EXPECT_NE(g_strRunLog.find("File Sise Total = "), std::string::npos);

    // Both appended IFDs are linked, and each out-of-line value moved.
    uint32_t ifdA = Le32(before, 4), ifdB = Le32(before, ifdA + 2 + 12 * Le16(before, ifdA));
    uint32_t lastLink = 8 + 2 + 12 * Le16(after, 8);
    EXPECT_EQ(Le32(after, lastLink), ifdA + oldSize);
    EXPECT_EQ(Le32(after, oldSize + ifdA + 2 + 12 * Le16(before, ifdA)), ifdB + oldSize);
    for (uint32_t ifd : {ifdA, ifdB}) {
        auto was = EntryMap(before, ifd), now = EntryMap(after, oldSize + ifd);
        EXPECT_EQ(now[273].value, was[273].value + oldSize);
        EXPECT_EQ(now[282].value, was[282].value + oldSize);
        EXPECT_EQ(now[283].value, was[283].value + oldSize);
        EXPECT_EQ(now[279].value, was[279].value);
    }
    int n = 0;
    auto padded = [&](const std::vector<uint8_t>& v, int bpp) {
        return vlmtest::PadRows(v, (w * bpp + 7) / 8, h);
    };
    EXPECT_EQ(ReadPageN(target, 1, &n), padded(p1, 1));
    EXPECT_EQ(n, 3);
    EXPECT_EQ(ReadPageN(target, 2), padded(p2, 1));
    EXPECT_EQ(ReadPageN(target, 3), padded(p3, 8));
}

TEST_F(TiffTest, ConcatMovesStripArraysAndTextOfAnyLength) {
    const int w = 16, h = 10;
    auto px = vlmtest::MakeNoise(w * h, 3);
    std::string target = TempPath("t2.tif"), page = TempPath("strips.tif");
    auto first = vlmtest::MakePage(w, h, 8, 5);
    ASSERT_EQ(vlmtest::WriteTiffPage(target, w, h, 8, 1, 1, first), 0);
    auto hand = MakeStripFile(false, w, h, 3, px); // four strips
    vlmtest::WriteBytes(page, hand.bytes);
    ASSERT_EQ(ConcatTiff(target.c_str(), page.c_str()), 0);
    auto back = ReadPageN(target, 2);
    ASSERT_EQ(back, px);
    auto f = ReadBytes(target);
    uint32_t oldSize = static_cast<uint32_t>(f.size() - hand.bytes.size());
    uint32_t ifd = Le32(hand.bytes, 4);
    auto m = EntryMap(f, oldSize + ifd);
    EXPECT_STREQ(reinterpret_cast<const char*>(&f[m[305].value]), "hand made file");
    EXPECT_EQ(Le32(f, m[279].value), 48u); // the counts array itself moved
}

TEST_F(TiffTest, ConcatRefusalsLeaveTheTargetUnchanged) {
    const int w = 32, h = 8;
    auto px = vlmtest::MakePage(w, h, 1, 6);
    std::string target = TempPath("keep.tif"), page = TempPath("pg.tif");
    ASSERT_EQ(vlmtest::WriteTiffPage(target, w, h, 1, 1, 1, px), 0);
    ASSERT_EQ(vlmtest::WriteTiffPage(page, w, h, 1, 1, 4, px), 0);
    auto original = ReadBytes(target);
    auto good = ReadBytes(page);

    EXPECT_EQ(ConcatTiff(TempPath("nothing.tif").c_str(), page.c_str()), 1);
    EXPECT_EQ(ConcatTiff(target.c_str(), TempPath("nothing.tif").c_str()), 1);

    std::string mm = TempPath("mm.tif");
    auto mmBytes = MakeStripFile(true, 8, 8, 8, vlmtest::MakeNoise(64, 1)).bytes;
    vlmtest::WriteBytes(mm, mmBytes);
    EXPECT_EQ(ConcatTiff(mm.c_str(), page.c_str()), 1);
    EXPECT_EQ(ReadBytes(mm), mmBytes);
    EXPECT_EQ(ConcatTiff(target.c_str(), mm.c_str()), 1); // no mixed byte orders

    auto bad = good; // first IFD beyond the end
    bad[4] = 0xF0;
    bad[5] = 0xFF;
    vlmtest::WriteBytes(page, bad);
    EXPECT_EQ(ConcatTiff(target.c_str(), page.c_str()), 1);
    bad = good; // strip beyond the end
    auto es = EntryMap(good, 8);
    for (size_t i = 0; i < Le16(good, 8); ++i)
        if (Le16(good, 10 + 12 * i) == 279)
            bad[10 + 12 * i + 9] = 0x7F;
    vlmtest::WriteBytes(page, bad);
    EXPECT_EQ(ConcatTiff(target.c_str(), page.c_str()), 1);
    bad = good; // a chain that loops back on itself
    size_t link = 8 + 2 + 12 * Le16(good, 8);
    bad[link] = 8;
    vlmtest::WriteBytes(page, bad);
    EXPECT_EQ(ConcatTiff(target.c_str(), page.c_str()), 1);
    bad.resize(20); // truncated
    vlmtest::WriteBytes(page, bad);
    EXPECT_EQ(ConcatTiff(target.c_str(), page.c_str()), 1);
    EXPECT_EQ(ReadBytes(target), original);
}

TEST_F(TiffTest, ConcatRefusesResultsOf2GB) {
    std::string target = TempPath("huge1.tif"), page = TempPath("huge2.tif");
    auto px = vlmtest::MakePage(32, 8, 1, 6);
    ASSERT_EQ(vlmtest::WriteTiffPage(target, 32, 8, 1, 1, 1, px), 0);
    ASSERT_EQ(vlmtest::WriteTiffPage(page, 32, 8, 1, 1, 1, px), 0);
    const uint64_t target15 = 1536ull << 20, page600 = 600ull << 20;
    std::filesystem::resize_file(target, target15); // sparse
    std::filesystem::resize_file(page, page600);
    EXPECT_EQ(ConcatTiff(target.c_str(), page.c_str()), 2);
    EXPECT_NE(g_strRunLog.find("Tiff File Sise Over"), std::string::npos);
    EXPECT_NE(g_strRunLog.find("file1sizeH = 0, file2sizeH = 0"), std::string::npos);
    EXPECT_EQ(std::filesystem::file_size(target), target15);
    std::filesystem::remove(target);
    std::filesystem::remove(page);
}
