// The PDF writer and its C entry points, checked with qpdf and poppler.
#include "pafc.h"
#include "pdfwriter.h"
#include "pdftest.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/stat.h>

using namespace vlm::pdf;

namespace {

// "pdfimages -list" rows: page num type width height color comp bpc enc ...
std::vector<std::vector<std::string>> ImageList(const std::string& path) {
    std::istringstream in(Capture("pdfimages -list " + path));
    std::vector<std::vector<std::string>> rows;
    std::string line;
    int n = 0;
    while (std::getline(in, line)) {
        if (++n <= 2)
            continue; // header lines
        std::istringstream ls(line);
        std::vector<std::string> cols;
        std::string c;
        while (ls >> c)
            cols.push_back(c);
        if (cols.size() >= 9)
            rows.push_back(cols);
    }
    return rows;
}

} // namespace

TEST(PdfWriter, MixedPagesPassQpdfAndPopplerSeesTheirImages) {
    const std::string path = Tmp("mixed.pdf");
    auto bilevel = Make(1, 850, 1100, 100, 1);
    auto grey = Make(8, 620, 877, 75, 2);
    auto colour = Make(24, 413, 585, 50, 3);
    CPdfWriter w;
    std::string err;
    ASSERT_TRUE(w.Open(path, {}, &err)) << err;
    ASSERT_TRUE(w.AddPage(bilevel.image, &err)) << err;
    const uint64_t afterOne = w.BytesWritten();
    EXPECT_EQ(static_cast<long>(afterOne), FileSize(path)); // the page is on disk already
    ASSERT_TRUE(w.AddPage(grey.image, &err)) << err;
    ASSERT_TRUE(w.AddPage(colour.image, &err)) << err;
    EXPECT_GT(w.BytesWritten(), afterOne);
    EXPECT_EQ(w.PageCount(), 3);
    ASSERT_TRUE(w.Close(&err)) << err;
    EXPECT_EQ(static_cast<long>(w.BytesWritten()), FileSize(path));

    std::string report;
    EXPECT_TRUE(QpdfAccepts(path, &report)) << report;
    const auto images = ImageList(path);
    ASSERT_EQ(images.size(), 3u);
    const char* expect[3][6] = {{"1", "850", "1100", "gray", "1", "ccitt"},
                                {"2", "620", "877", "gray", "8", "jpeg"},
                                {"3", "413", "585", "rgb", "8", "jpeg"}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(images[i][0], expect[i][0]);
        EXPECT_EQ(images[i][3], expect[i][1]);
        EXPECT_EQ(images[i][4], expect[i][2]);
        EXPECT_EQ(images[i][5], expect[i][3]);
        EXPECT_EQ(images[i][7], expect[i][4]);
        EXPECT_EQ(images[i][8], expect[i][5]);
    }
    // Page size from pixels and resolution: 850 x 1100 at 100 dpi is US Letter.
    std::string info = Capture("pdfinfo -f 1 -l 3 " + path);
    for (size_t at; (at = info.find("  ")) != std::string::npos;)
        info.erase(at, 1); // column padding varies between versions
    EXPECT_NE(info.find("Pages: 3"), std::string::npos) << info;
    EXPECT_NE(info.find("Page 1 size: 612 x 792 pts"), std::string::npos) << info;
    EXPECT_NE(info.find("Page 2 size: 595.2 x 841.92 pts"), std::string::npos) << info;
}

TEST(PdfWriter, RenderedBilevelPageMatchesTheScannedPixels) {
    const int w = 640, h = 480, dpi = 72;
    auto page = Make(1, w, h, dpi, 4);
    const std::string path = Tmp("bilevel.pdf");
    {
        CPdfWriter writer;
        ASSERT_TRUE(writer.Open(path, {}));
        ASSERT_TRUE(writer.AddPage(page.image));
        ASSERT_TRUE(writer.Close());
    }
    // The image as poppler decodes it from the file: exactly the scanned bits.
    int rc = -1;
    Capture("pdfimages -f 1 -l 1 " + path + " " + Tmp("decoded"), &rc);
    ASSERT_EQ(rc, 0);
    {
        std::ifstream f(Tmp("decoded-000.pbm"), std::ios::binary);
        std::string magic;
        int pw = 0, ph = 0;
        f >> magic >> pw >> ph;
        f.get();
        ASSERT_EQ(magic, "P4");
        ASSERT_EQ(pw, w);
        ASSERT_EQ(ph, h);
        std::vector<uint8_t> bits(page.image.m_nStep * h);
        f.read(reinterpret_cast<char*>(bits.data()), static_cast<std::streamsize>(bits.size()));
        ASSERT_TRUE(f);
        EXPECT_TRUE(bits == page.rows) << "decoded Group 4 image differs from the scanned page";
    }
    // Rendered at three device pixels per image pixel and sampled at the centres.
    // The renderer smooths upscaled images, so a lone pixel may come out grey:
    // only a centre that is plainly the wrong colour counts as a mismatch.
    Capture("pdftoppm -r 216 -gray -singlefile " + path + " " + Tmp("render"), &rc);
    ASSERT_EQ(rc, 0);
    std::ifstream f(Tmp("render.pgm"), std::ios::binary);
    std::string magic;
    int rw = 0, rh = 0, maxv = 0;
    f >> magic >> rw >> rh >> maxv;
    f.get();
    ASSERT_EQ(magic, "P5");
    ASSERT_EQ(rw, 3 * w);
    ASSERT_EQ(rh, 3 * h);
    std::vector<uint8_t> pix(static_cast<size_t>(rw) * rh);
    f.read(reinterpret_cast<char*>(pix.data()), static_cast<std::streamsize>(pix.size()));
    ASSERT_TRUE(f);
    size_t mismatches = 0, black = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const bool scannedBlack =
                (page.rows[y * page.image.m_nStep + x / 8] >> (7 - x % 8)) & 1;
            const int value = pix[static_cast<size_t>(3 * y + 1) * rw + 3 * x + 1];
            black += scannedBlack;
            mismatches += scannedBlack ? value > 192 : value < 64;
        }
    EXPECT_GT(black, 100u); // the page has ink, so the comparison means something
    EXPECT_EQ(mismatches, 0u);
}

TEST(PdfWriter, CompressionCodesChooseTheImageSettings) {
    EXPECT_EQ(SettingsForCompression(kCompressionNormal).jpegQuality, 75);
    EXPECT_EQ(SettingsForCompression(kCompressionHigh).jpegQuality, 50);
    EXPECT_EQ(SettingsForCompression(kCompressionCharacter).chroma, vlm::jpeg::Chroma::Full444);
    EXPECT_EQ(SettingsForCompression(7).jpegQuality, 75); // unknown codes act as normal
    auto colour = Make(24, 500, 700, 100, 5);
    long sizes[3];
    const int codes[3] = {kCompressionHigh, kCompressionNormal, kCompressionCharacter};
    for (int i = 0; i < 3; ++i) {
        const std::string path = Tmp("code" + std::to_string(codes[i]) + ".pdf");
        CPdfWriter w;
        DocumentSettings s;
        s.compression = codes[i];
        ASSERT_TRUE(w.Open(path, s));
        ASSERT_TRUE(w.AddPage(colour.image));
        ASSERT_TRUE(w.Close());
        sizes[i] = FileSize(path);
        std::string report;
        EXPECT_TRUE(QpdfAccepts(path, &report)) << report;
    }
    EXPECT_LT(sizes[0], sizes[1]);
    EXPECT_LT(sizes[1], sizes[2]);
}

TEST(PdfWriter, RefusesBadPagesAndKeepsTheDocumentValid) {
    const std::string path = Tmp("bad.pdf");
    CPdfWriter w;
    std::string err;
    EXPECT_FALSE(w.AddPage(Make(8, 8, 8, 72, 1).image, &err)); // not open
    ASSERT_TRUE(w.Open(path, {}));
    EXPECT_FALSE(w.Open(path, {}, &err));
    vlm::CPageView none;
    EXPECT_FALSE(w.AddPage(none, &err));
    auto grey = Make(8, 40, 40, 72, 1);
    grey.image.m_nStep = 39;
    EXPECT_FALSE(w.AddPage(grey.image, &err));
    grey.image.m_nStep = 40;
    EXPECT_TRUE(w.AddPage(grey.image, &err)) << err;
    ASSERT_TRUE(w.Close());
    std::string report;
    EXPECT_TRUE(QpdfAccepts(path, &report)) << report;
    EXPECT_FALSE(w.Close(&err));
    EXPECT_FALSE(CPdfWriter().Open("/nonexistent-dir/x.pdf", {}, &err));
}

// The document without what changes from one second to the next.
std::string WithoutDateAndId(std::string text) {
    for (const char* key : {"/CreationDate (", "/ID ["}) {
        const size_t at = text.find(key);
        if (at != std::string::npos)
            text.erase(at, text.find_first_of(")]", at) - at);
    }
    return text;
}

TEST(PdfWriter, BottomUpPagesWithZeroForBlackGiveTheSameDocument) {
    // As a native bitmap lies: last row first, bilevel 0 = black.
    auto flipped = [](const TestPage& t, bool invert) {
        TestPage f;
        const size_t stride = t.image.m_nStep;
        const int h = t.image.m_nHeight;
        f.rows.resize(t.rows.size());
        for (int y = 0; y < h; ++y)
            for (size_t x = 0; x < stride; ++x) {
                const uint8_t v = t.rows[stride * y + x];
                f.rows[stride * (h - 1 - y) + x] = invert ? static_cast<uint8_t>(~v) : v;
            }
        f.image = t.image;
        f.image.m_pTop = f.rows.data() + stride * (h - 1);
        f.image.m_nStep = -static_cast<ptrdiff_t>(stride);
        f.image.m_bOneIsBlack = !invert;
        return f;
    };
    const TestPage pages[3] = {Make(1, 301, 97, 100, 1), Make(8, 120, 90, 100, 2),
                               Make(24, 120, 90, 100, 3)};
    std::string text[2];
    for (int form = 0; form < 2; ++form) {
        const std::string path = Tmp(form ? "bottomup.pdf" : "topdown.pdf");
        CPdfWriter w;
        ASSERT_TRUE(w.Open(path, {}));
        for (const TestPage& p : pages) {
            const TestPage f = flipped(p, p.image.m_nBitsPerPixel == 1);
            ASSERT_TRUE(w.AddPage(form ? f.image : p.image));
        }
        ASSERT_TRUE(w.Close());
        text[form] = WithoutDateAndId(ReadText(path));
    }
    EXPECT_EQ(text[0], text[1]);
}

TEST(PdfWriter, EmptyDocumentIsStillAValidFile) {
    const std::string path = Tmp("empty.pdf");
    CPdfWriter w;
    ASSERT_TRUE(w.Open(path, {}));
    ASSERT_TRUE(w.Close());
    std::string report;
    EXPECT_TRUE(QpdfAccepts(path, &report)) << report;
}

TEST(PdfWriter, DestructorFinishesAnOpenDocument) {
    const std::string path = Tmp("abandoned.pdf");
    {
        CPdfWriter w;
        ASSERT_TRUE(w.Open(path, {}));
        ASSERT_TRUE(w.AddPage(Make(8, 64, 64, 72, 2).image));
    }
    std::string report;
    EXPECT_TRUE(QpdfAccepts(path, &report)) << report;
}

// The C entry points as the runner uses them.

TEST(PafcEntryPoints, ThreeSingleDocumentsVersusOneMultiPageDocument) {
    TestPage pages[3] = {Make(1, 300, 400, 100, 1), Make(8, 300, 400, 100, 2),
                         Make(24, 300, 400, 100, 3)};
    ASSERT_EQ(PAFC_OK, vlm_PAFC_exmodeset(0, 0x80000004, 0x100));
    for (int i = 0; i < 3; ++i) {
        const std::string path = Tmp("single" + std::to_string(i) + ".pdf");
        ASSERT_EQ(PAFC_OK, vlm_PAFC_open(path.c_str()));
        const PAFC_PAGE r = Record(pages[i]);
        ASSERT_EQ(PAFC_OK, vlm_PAFC_make(&r, 0));
        int32_t size = 0;
        ASSERT_EQ(PAFC_OK, vlm_PAFC_getFileSize(&size));
        EXPECT_EQ(size, FileSize(path));
        ASSERT_EQ(PAFC_OK, vlm_PAFC_close());
        std::string report;
        EXPECT_TRUE(QpdfAccepts(path, &report)) << report;
        EXPECT_EQ(ImageList(path).size(), 1u);
        // Language flags are recorded, with the note that no recognition ran.
        const std::string text = ReadText(path);
        EXPECT_NE(text.find("/VlmOcrLanguages 2147483652"), std::string::npos);
        EXPECT_NE(text.find("/VlmOcrExtra 256"), std::string::npos);
        EXPECT_NE(text.find("/VlmOcrApplied false"), std::string::npos);
    }

    const std::string multi = Tmp("multi.pdf");
    ASSERT_EQ(PAFC_OK, vlm_PAFC_open(multi.c_str()));
    int32_t last = 0;
    for (auto& p : pages) {
        const PAFC_PAGE r = Record(p);
        ASSERT_EQ(PAFC_OK, vlm_PAFC_make(&r, 0));
        int32_t size = 0;
        vlm_PAFC_getFileSize(&size);
        EXPECT_GT(size, last); // the size checks of the session see the document grow
        last = size;
    }
    ASSERT_EQ(PAFC_OK, vlm_PAFC_close());
    int32_t finalSize = 0;
    vlm_PAFC_getFileSize(&finalSize);
    EXPECT_EQ(finalSize, FileSize(multi));
    std::string report;
    EXPECT_TRUE(QpdfAccepts(multi, &report)) << report;
    const auto images = ImageList(multi);
    ASSERT_EQ(images.size(), 3u);
    EXPECT_EQ(images[0][8], "ccitt");
    EXPECT_EQ(images[2][5], "rgb");
}

TEST(PafcEntryPoints, MisuseIsReportedAndNothingIsLost) {
    TestPage page = Make(8, 100, 100, 100, 1);
    PAFC_PAGE r = Record(page);
    EXPECT_EQ(PAFC_ERR_NOT_OPEN, vlm_PAFC_make(&r, 0));
    EXPECT_EQ(PAFC_ERR_NOT_OPEN, vlm_PAFC_close());
    EXPECT_EQ(PAFC_ERR_ARGUMENT, vlm_PAFC_open(""));
    EXPECT_EQ(PAFC_ERR_ARGUMENT, vlm_PAFC_open(nullptr));
    EXPECT_EQ(PAFC_ERR_IO, vlm_PAFC_open("/nonexistent-dir/x.pdf"));
    EXPECT_EQ(PAFC_ERR_ARGUMENT, vlm_PAFC_getFileSize(nullptr));
    EXPECT_EQ(PAFC_ERR_UNSUPPORTED, vlm_PAFC_modeset(99, "1"));

    // A second open finishes the first document instead of dropping it.
    const std::string first = Tmp("first.pdf"), second = Tmp("second.pdf");
    ASSERT_EQ(PAFC_OK, vlm_PAFC_open(first.c_str()));
    ASSERT_EQ(PAFC_OK, vlm_PAFC_make(&r, 0));
    ASSERT_EQ(PAFC_OK, vlm_PAFC_open(second.c_str()));
    PAFC_PAGE bad = r;
    bad.type = 9;
    EXPECT_EQ(PAFC_ERR_ARGUMENT, vlm_PAFC_make(&bad, 0));
    bad = r;
    bad.rows = nullptr;
    EXPECT_EQ(PAFC_ERR_ARGUMENT, vlm_PAFC_make(&bad, 0));
    ASSERT_EQ(PAFC_OK, vlm_PAFC_make(&r, 0));
    ASSERT_EQ(PAFC_OK, vlm_PAFC_close());
    std::string report;
    EXPECT_TRUE(QpdfAccepts(first, &report)) << report;
    EXPECT_TRUE(QpdfAccepts(second, &report)) << report;
    EXPECT_EQ(ImageList(first).size(), 1u);
}

// A document made with recognition off stays exactly what the maker wrote before
// recognition existed: tests/data/recognition_off.pdf was made by that maker.
TEST(PafcEntryPoints, RecognitionOffGivesTheUnchangedDocument) {
    const TestPage pages[3] = {Make(1, 301, 97, 100, 1), Make(8, 120, 90, 100, 2),
                               Make(24, 120, 90, 100, 3)};
    const std::string path = Tmp("recognition_off.pdf");
    ASSERT_EQ(PAFC_OK, vlm_PAFC_exmodeset(0, static_cast<int>(0x80000003u), 0));
    ASSERT_EQ(PAFC_OK, vlm_PAFC_open(path.c_str()));
    for (const TestPage& p : pages) {
        const PAFC_PAGE r = Record(p);
        ASSERT_EQ(PAFC_OK, vlm_PAFC_make(&r, 0));
    }
    ASSERT_EQ(PAFC_OK, vlm_PAFC_close());
    const std::string made = WithoutDateAndId(ReadText(path));
    const std::string before = WithoutDateAndId(ReadText(VLM_TEST_DATA "/recognition_off.pdf"));
    ASSERT_FALSE(before.empty());
    EXPECT_TRUE(made == before) << "the document differs from the reference";
}
