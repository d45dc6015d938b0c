// The printed pages as Ghostscript renders the PostScript the prefix's
// printers wrote (tests/print_render.sh renders them first): every page must
// show its scanned page at its physical size and place on the sheet, or
// shrunk to fit with its aspect kept, grey and colour as such. What a page
// should show is worked out here from the printer's PPD and the generated
// page itself, in points, independently of the runner's own arithmetic.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

#include "PrintTestPages.h"
#include "components/jpeg/jpegcodec.h"
#include "components/vx410sim/pagegen.h"

using namespace printtest;

namespace {

// The sheet and its printable area in points from the sheet's top-left corner.
struct Sheet {
    double m_dWidth = 0, m_dHeight = 0;
    double m_dLeft = 0, m_dTop = 0, m_dAreaWidth = 0, m_dAreaHeight = 0;
};

bool ReadQuoted(const std::string& line, const char* key, std::vector<double>& out) {
    if (line.compare(0, strlen(key), key) != 0)
        return false;
    const size_t q = line.find('"');
    std::istringstream in(line.substr(q + 1));
    out.clear();
    for (double v; in >> v;)
        out.push_back(v);
    return true;
}

Sheet SheetOf(const std::string& printer) {
    const std::string ppd =
        std::string(VLM_PPD_DIR) + "\\" +
        (printer == kA4Printer ? "PostScriptFileA4.ppd" : "PostScriptFileSmallArea.ppd");
    Sheet s;
    std::ifstream in(ppd);
    std::vector<double> v;
    for (std::string line; std::getline(in, line);) {
        if (ReadQuoted(line, "*PaperDimension A4/A4:", v) && v.size() == 2) {
            s.m_dWidth = v[0];
            s.m_dHeight = v[1];
        } else if (ReadQuoted(line, "*ImageableArea A4/A4:", v) && v.size() == 4) {
            s.m_dLeft = v[0];
            s.m_dAreaWidth = v[2] - v[0];
            s.m_dAreaHeight = v[3] - v[1];
            s.m_dTop = -v[3]; // completed below, once the height is known
        }
    }
    s.m_dTop += s.m_dHeight;
    EXPECT_GT(s.m_dAreaWidth, 0) << ppd;
    return s;
}

// A rendered sheet, grey or colour (B,G,R, as the simulator's image reader
// gives it), 8 bits per sample.
struct Raster {
    int m_nWidth = 0, m_nHeight = 0, m_nChannels = 1;
    std::vector<uint8_t> m_data;
    const uint8_t* At(int x, int y) const {
        return &m_data[(size_t(y) * m_nWidth + x) * m_nChannels];
    }
};

bool Load(const std::string& path, Raster& r) {
    vx410sim::PageImage img;
    std::string err;
    if (!vx410sim::ReadImageFile(path, img, &err)) {
        ADD_FAILURE() << path << ": " << err;
        return false;
    }
    r.m_nWidth = img.m_nWidth;
    r.m_nHeight = img.m_nHeight;
    r.m_nChannels = img.m_nBitsPerPixel == 24 ? 3 : 1;
    if (img.m_nBitsPerPixel == 1) { // 1 = black
        r.m_data.resize(size_t(r.m_nWidth) * r.m_nHeight);
        const size_t row = vx410sim::RowBytes(r.m_nWidth, 1);
        for (int y = 0; y < r.m_nHeight; ++y)
            for (int x = 0; x < r.m_nWidth; ++x)
                r.m_data[size_t(y) * r.m_nWidth + x] =
                    (img.m_data[y * row + x / 8] >> (7 - x % 8)) & 1 ? 0 : 255;
    } else {
        r.m_data = std::move(img.m_data);
    }
    return true;
}

// The page as its file holds it: JPEG pages went through the baseline codec
// at the writer's quality.
std::vector<uint8_t> StoredRows(const TestPage& page) {
    std::vector<uint8_t> rows = PageRows(page);
    if (page.m_nCompression != 6)
        return rows;
    vlm::jpeg::EncodeParams p;
    p.width = page.m_nWidth;
    p.height = page.m_nHeight;
    p.components = page.m_nBpp / 8;
    p.rows = rows.data();
    p.stride = vx410sim::RowBytes(page.m_nWidth, page.m_nBpp);
    std::vector<uint8_t> stream;
    vlm::jpeg::DecodedImage decoded;
    EXPECT_TRUE(vlm::jpeg::Encode(p, stream) &&
                vlm::jpeg::Decode(stream.data(), stream.size(), decoded));
    return decoded.pixels;
}

// What the sheet should show at res dpi: the page placed by the printing
// rule, sampled at each pixel's centre; white elsewhere. shiftX moves the
// page by whole pixels (for the check of the check).
Raster Expected(const TestPage& page, const Sheet& sheet, bool fit, int res, int channels,
                int width, int height, int shiftX = 0) {
    const std::vector<uint8_t> rows = StoredRows(page);
    const size_t rowBytes = vx410sim::RowBytes(page.m_nWidth, page.m_nBpp);
    const double pageW = page.m_nWidth * 72.0 / page.m_nDpi;
    const double pageH = page.m_nHeight * 72.0 / page.m_nDpi;
    double scale = 1.0; // page points to sheet points
    if (fit && (pageW > sheet.m_dAreaWidth || pageH > sheet.m_dAreaHeight))
        scale = std::min(sheet.m_dAreaWidth / pageW, sheet.m_dAreaHeight / pageH);
    const double shownW = std::min(pageW * scale, sheet.m_dAreaWidth);
    const double shownH = std::min(pageH * scale, sheet.m_dAreaHeight);
    Raster r;
    r.m_nWidth = width;
    r.m_nHeight = height;
    r.m_nChannels = channels;
    r.m_data.assign(size_t(width) * height * channels, 255);
    for (int y = 0; y < height; ++y) {
        const double py = (y + 0.5) * 72.0 / res - sheet.m_dTop;
        if (py < 0 || py >= shownH)
            continue;
        const int sy = int(py / scale * page.m_nDpi / 72.0);
        for (int x = 0; x < width; ++x) {
            const double px = (x - shiftX + 0.5) * 72.0 / res - sheet.m_dLeft;
            if (px < 0 || px >= shownW)
                continue;
            const int sx = int(px / scale * page.m_nDpi / 72.0);
            if (sx >= page.m_nWidth || sy >= page.m_nHeight)
                continue;
            uint8_t* out = &r.m_data[(size_t(y) * width + x) * channels];
            const uint8_t* in = &rows[sy * rowBytes];
            uint8_t b, g, red;
            if (page.m_nBpp == 1)
                b = g = red = (in[sx / 8] >> (7 - sx % 8)) & 1 ? 0 : 255;
            else if (page.m_nBpp == 8)
                b = g = red = in[sx];
            else
                b = in[3 * sx], g = in[3 * sx + 1], red = in[3 * sx + 2];
            if (channels == 3) {
                out[0] = b, out[1] = g, out[2] = red;
            } else {
                out[0] = static_cast<uint8_t>((red * 30 + g * 59 + b * 11) / 100);
            }
        }
    }
    return r;
}

// How far apart two sheets are, allowing each pixel a match within one pixel
// around it (the renderer's rounding of edges): for bilevel pages the share
// of black pixels of either sheet without a black pixel near them in the
// other; for grey and colour the mean distance of each sample from the
// nearest one around it.
double Distance(const Raster& got, const Raster& want, bool bilevel) {
    const int w = std::min(got.m_nWidth, want.m_nWidth);
    const int h = std::min(got.m_nHeight, want.m_nHeight);
    const int ch = got.m_nChannels;
    auto isBlack = [](const Raster& r, int x, int y) { return r.At(x, y)[0] < 128; };
    auto nearBlack = [&](const Raster& r, int x, int y) {
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                const int xx = x + dx, yy = y + dy;
                if (xx >= 0 && yy >= 0 && xx < w && yy < h && isBlack(r, xx, yy))
                    return true;
            }
        return false;
    };
    double misses = 0, count = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (bilevel) {
                const bool g = isBlack(got, x, y), e = isBlack(want, x, y);
                count += g + e;
                misses += (g && !nearBlack(want, x, y)) + (e && !nearBlack(got, x, y));
                continue;
            }
            for (int c = 0; c < ch; ++c) {
                int best = 255;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int xx = std::clamp(x + dx, 0, w - 1),
                                  yy = std::clamp(y + dy, 0, h - 1);
                        best = std::min(best, std::abs(got.At(x, y)[c] - want.At(xx, yy)[c]));
                    }
                misses += best;
                count += 1;
            }
        }
    return count ? misses / count : 0;
}

// Limits: a bilevel sheet may miss 0.5% of its black pixels, a grey or
// colour sheet may be off by 2 levels on average. (Right sheets stay below a
// tenth and a third of that; a page moved by 4 pixels goes far above.)
constexpr double kBilevelLimit = 0.005, kDeepLimit = 2.0;

std::string Folder() {
    const std::string folder = RenderFolder();
    EXPECT_FALSE(folder.empty()) << "VLM_PRINT_OUTPUT is not set: run tests/print_render.sh";
    return folder;
}

} // namespace

TEST(PrintRender, EveryPrintedPageShowsItsScanAtItsSizeAndPlace) {
    const std::string folder = Folder();
    const std::vector<RenderEntry> entries = ReadRenderList(folder);
    ASSERT_FALSE(entries.empty()) << "no printed pages in " << folder;
    for (const RenderEntry& e : entries) {
        const Sheet sheet = SheetOf(e.m_strPrinter);
        for (size_t i = 0; i < e.m_pages.size(); ++i) {
            SCOPED_TRACE(e.m_strName + " page " + std::to_string(i + 1));
            Raster got;
            ASSERT_TRUE(
                Load(folder + "\\" + e.m_strName + "-" + std::to_string(i + 1) + ".pnm", got));
            // The whole sheet was rendered.
            EXPECT_NEAR(got.m_nWidth, sheet.m_dWidth * e.m_nResolution / 72, 2);
            EXPECT_NEAR(got.m_nHeight, sheet.m_dHeight * e.m_nResolution / 72, 2);
            const TestPage& page = e.m_pages[i];
            const Raster want = Expected(page, sheet, e.m_strMode == "fit", e.m_nResolution,
                                         got.m_nChannels, got.m_nWidth, got.m_nHeight);
            const bool bilevel = page.m_nBpp == 1;
            EXPECT_LT(Distance(got, want, bilevel), bilevel ? kBilevelLimit : kDeepLimit);
            if (page.m_nBpp == 24) {
                // Colour stays colour: the sheet has pixels far from grey.
                size_t coloured = 0;
                for (size_t p = 0; p + 2 < got.m_data.size(); p += 3)
                    coloured += std::abs(got.m_data[p] - got.m_data[p + 1]) > 40 ||
                                std::abs(got.m_data[p + 1] - got.m_data[p + 2]) > 40;
                EXPECT_GT(coloured, got.m_data.size() / 3 / 100);
            }
        }
    }
}

// The check itself tells a misplaced page from a right one.
TEST(PrintRender, APageFourPixelsOffOrAtTheWrongSizeIsCaught) {
    const std::string folder = Folder();
    for (const RenderEntry& e : ReadRenderList(folder)) {
        const Sheet sheet = SheetOf(e.m_strPrinter);
        Raster got;
        ASSERT_TRUE(Load(folder + "\\" + e.m_strName + "-1.pnm", got));
        const TestPage& page = e.m_pages[0];
        const bool bilevel = page.m_nBpp == 1, fit = e.m_strMode == "fit";
        const double limit = bilevel ? kBilevelLimit : kDeepLimit;
        EXPECT_GT(Distance(got,
                           Expected(page, sheet, fit, e.m_nResolution, got.m_nChannels,
                                    got.m_nWidth, got.m_nHeight, 4),
                           bilevel),
                  limit)
            << e.m_strName;
        if (fit) { // the same page at actual size instead
            EXPECT_GT(Distance(got,
                               Expected(page, sheet, false, e.m_nResolution, got.m_nChannels,
                                        got.m_nWidth, got.m_nHeight),
                               bilevel),
                      limit)
                << e.m_strName;
        }
    }
}
