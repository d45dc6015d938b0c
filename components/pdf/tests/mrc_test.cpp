// Character precedence: a page rendered with ImageMagick goes through the
// writer, Ghostscript renders the document back at the scan resolution, and
// the text must come back pixel for pixel while the file shrinks.
#include "pdftest.h"
#include "pdfwriter.h"
#include "pnm.h"
#include "segment.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace vlm::pdf;
using namespace vlmtest;

namespace {

vlm::CPageView View(const PnmImage& img, int dpi = 300) {
    return vlm::ViewOfRows(img.pixels.data(), static_cast<size_t>(img.width) * img.channels,
                           img.width, img.height, 8 * img.channels, dpi, true,
                           vlm::ColourOrder::RGB);
}

bool WriteDocument(const std::string& path, int code, const vlm::CPageView& page,
                   std::string* error) {
    DocumentSettings settings;
    settings.compression = code;
    CPdfWriter writer;
    return writer.Open(path, settings, error) && writer.AddPage(page, error) && writer.Close(error);
}

bool RenderBack(const std::string& pdf, const std::string& ppm, int dpi, PnmImage& img) {
    int rc = -1;
    Capture("gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=ppmraw -r" + std::to_string(dpi) +
                " -sOutputFile=" + ppm + " " + pdf,
            &rc);
    return rc == 0 && ReadPnm(ppm, img);
}

// How the text came back: near the drawn text, the pixels that are plainly
// ink (darker than 100) or plainly paper (lighter than 170) in the original
// must be the same (darker or lighter than 128) in the rendering; the soft
// edge between them may go either way. inkMismatch counts the pixels that
// changed sides against the plain ink; psnr is the whole page's.
struct Fidelity {
    double inkMismatch = 1;
    double psnr = 0;
    size_t inkPixels = 0;
};

Fidelity Compare(const PnmImage& original, const PnmImage& ink, const PnmImage& rendered) {
    Fidelity f;
    if (rendered.width != original.width || rendered.height != original.height)
        return f;
    const int w = original.width, h = original.height, ch = original.channels;
    size_t differ = 0;
    double se = 0;
    for (int y = 0; y < h; ++y) {
        const uint8_t* o = original.Row(y);
        const uint8_t* r = rendered.Row(y);
        for (int x = 0; x < w; ++x) {
            // rendered is always R,G,B
            const int lo = Luma(o + x * ch, ch), lr = Luma(r + 3 * x, 3);
            for (int c = 0; c < 3; ++c) {
                const double d = o[x * ch + (ch == 3 ? c : 0)] - r[3 * x + c];
                se += d * d;
            }
            bool nearText = false;
            for (int dy = -2; dy <= 2 && !nearText; ++dy)
                for (int dx = -2; dx <= 2 && !nearText; ++dx) {
                    const int yy = y + dy, xx = x + dx;
                    nearText = yy >= 0 && yy < h && xx >= 0 && xx < w && ink.Row(yy)[xx] < 128;
                }
            if (!nearText)
                continue;
            f.inkPixels += lo < 100;
            differ += lo < 100 ? lr >= 128 : lo > 170 && lr < 128;
        }
    }
    f.inkMismatch = f.inkPixels ? static_cast<double>(differ) / f.inkPixels : 1;
    f.psnr = 10 * std::log10(255.0 * 255.0 * 3.0 * w * h / std::max(se, 1.0));
    return f;
}

// The content stream without its text layers, as a writer that lost the mask
// would make it: each layer's "q ... Do Q" becomes a comment (same length).
void DropTextLayers(const std::string& path) {
    std::string text = ReadText(path);
    for (size_t at; (at = text.find(" rg q ")) != std::string::npos;)
        text[at + 4] = '%';
    for (size_t at; (at = text.find(" g q ")) != std::string::npos;)
        text[at + 3] = '%';
    std::ofstream(path, std::ios::binary) << text;
}

} // namespace

TEST(MixedRaster, TextComesBackExactlyFromASmallFile) {
    for (const char* mode : {"colour", "grey"}) {
        SCOPED_TRACE(mode);
        const std::string m = mode;
        const std::string page = Tmp("mrc_" + m + ".pnm"), ink = Tmp("mrc_ink.pgm");
        int rc = -1;
        const std::string log = Capture(
            "bash " VLM_PDF_TEST_DIR "/render_page.sh sample " + m + " " + page + " " + ink, &rc);
        ASSERT_EQ(rc, 0) << log;
        PnmImage original, inkImage;
        ASSERT_TRUE(ReadPnm(page, original));
        ASSERT_TRUE(ReadPnm(ink, inkImage));

        const std::string normal = Tmp("mrc_" + m + "_0.pdf"), mixed = Tmp("mrc_" + m + "_3.pdf");
        std::string err, report;
        ASSERT_TRUE(WriteDocument(normal, kCompressionNormal, View(original), &err)) << err;
        ASSERT_TRUE(WriteDocument(mixed, kCompressionCharacter, View(original), &err)) << err;
        EXPECT_TRUE(QpdfAccepts(mixed, &report)) << report;
        // A third of the normal page at most (about a tenth is usual).
        EXPECT_LT(FileSize(mixed) * 3, FileSize(normal));

        // A 100 dpi JPEG background and Group 4 stencil masks at the scan's 300 dpi.
        const auto images = ImageList(mixed);
        ASSERT_GE(images.size(), 2u);
        EXPECT_EQ(images[0][8], "jpeg");
        EXPECT_EQ(images[0][3], "400");
        for (size_t i = 1; i < images.size(); ++i) {
            EXPECT_EQ(images[i][2], "stencil");
            EXPECT_EQ(images[i][8], "ccitt");
        }

        PnmImage rendered;
        ASSERT_TRUE(RenderBack(mixed, Tmp("mrc_back.ppm"), 300, rendered));
        const Fidelity f = Compare(original, inkImage, rendered);
        EXPECT_GT(f.inkPixels, 20000u);
        EXPECT_LT(f.inkMismatch, 0.005) << "ink pixels " << f.inkPixels;
        EXPECT_GT(f.psnr, 26.0);

        // The same checks see a document whose text was left to the background.
        DropTextLayers(mixed);
        ASSERT_TRUE(RenderBack(mixed, Tmp("mrc_back.ppm"), 300, rendered));
        const Fidelity lost = Compare(original, inkImage, rendered);
        EXPECT_GT(lost.inkMismatch, 0.10);
        std::printf("%s: %ld bytes (normal %ld); ink changed %.4f, PSNR %.1f dB; without the text "
                    "layers ink changed %.4f, PSNR %.1f dB\n",
                    mode, FileSize(mixed), FileSize(normal), f.inkMismatch, f.psnr,
                    lost.inkMismatch, lost.psnr);
    }
}

TEST(MixedRaster, OddPagesGiveValidDocuments) {
    struct Case {
        const char* name;
        int w, h, channels;
        int fill; // 0..255 flat, -1 noise, -2 text-like bars, -3 black with a white margin
    } cases[] = {
        {"white", 850, 1100, 3, 255}, {"black", 850, 1100, 3, 0}, {"dark_area", 850, 1100, 3, -3},
        {"noise", 600, 800, 3, -1},   {"row", 2550, 1, 3, -2},    {"column", 1, 3300, 1, -2},
        {"tiny", 1, 1, 3, 0},         {"huge", 4960, 7016, 1, -2}};
    std::mt19937 random(7);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PnmImage img;
        img.width = c.w;
        img.height = c.h;
        img.channels = c.channels;
        img.pixels.assign(static_cast<size_t>(c.w) * c.h * c.channels,
                          static_cast<uint8_t>(c.fill < 0 ? 255 : c.fill));
        for (int y = 0; y < c.h; ++y)
            for (int x = 0; x < c.w * c.channels; ++x) {
                if (c.fill == -1)
                    img.Row(y)[x] = static_cast<uint8_t>(random());
                else if (c.fill == -2 && (y / 8 + x / (6 * c.channels)) % 3 == 0)
                    img.Row(y)[x] = 20;
                else if (c.fill == -3 && y >= 50 && y < c.h - 50 && x >= 150 && x < 3 * (c.w - 50))
                    img.Row(y)[x] = 0;
            }
        Segmentation seg;
        std::string err;
        const bool segmented = SegmentPage(View(img), SegmentOptions(), seg, &err);
        if (c.fill >= 0 || c.fill == -3) {
            // Nothing on a flat page is text, and a dark area stays in the background.
            ASSERT_TRUE(segmented) << err;
            EXPECT_TRUE(seg.layers.empty());
        }
        if (segmented) {
            EXPECT_EQ(seg.bgWidth, (c.w + 2) / 3);
            EXPECT_EQ(seg.bgHeight, (c.h + 2) / 3);
            for (const TextLayer& l : seg.layers) {
                EXPECT_TRUE(l.x >= 0 && l.y >= 0 && l.width > 0 && l.height > 0);
                EXPECT_TRUE(l.x + l.width <= c.w && l.y + l.height <= c.h);
            }
        }
        const std::string path = Tmp(std::string("mrc_odd_") + c.name + ".pdf");
        ASSERT_TRUE(WriteDocument(path, kCompressionCharacter, View(img), &err)) << err;
        std::string report;
        EXPECT_TRUE(QpdfAccepts(path, &report)) << report;
        EXPECT_FALSE(ImageList(path).empty());
    }
}
