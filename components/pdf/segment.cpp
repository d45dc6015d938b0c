#include "segment.h"

#include <algorithm>
#include <cstdlib>
#include <new>

namespace vlm::pdf {

namespace {

// Dark connected shapes are found as runs of dark pixels per row, joined to
// the touching runs of the row above (8-connected) with a union-find.
struct Run {
    int32_t x0, x1; // [x0, x1)
    int32_t y;
    int32_t parent;   // union-find link; the root is the first run of its shape
    int32_t covered;  // pixels with a dark pixel right above them
    uint16_t edgeSum; // paper-to-ink steps at the run's ends that border paper
    uint8_t edges;
};

// What decides whether a shape is text or line art, and its ink colour.
struct Shape {
    int32_t x0, y0, x1, y1; // box, [x0, x1) x [y0, y1)
    uint32_t pixels = 0;
    uint32_t runs = 0;    // horizontal runs
    uint32_t columns = 0; // vertical runs: pixels without a dark pixel above
    uint64_t edgeSum = 0; // paper-to-ink steps at the ends of the runs
    uint32_t edges = 0;
    uint64_t weight = 0;     // darkness weights of the colour sums
    uint64_t colour[3] = {}; // R,G,B (grey in [0]), weighted by darkness
    int32_t layer = -1;      // -1 rejected
};

// Limits in page pixels, from the resolution.
struct Limits {
    int block;     // side of the blocks whose contrast sets the local threshold
    int maxGlyph;  // a character fits in a square of this side
    int maxStroke; // a line this thin is line art however long
    int minEdge;   // mean paper-to-ink step at a shape's edges
};

Limits LimitsFor(int dpi, int minContrast) {
    Limits l;
    l.block = std::max(4, dpi * 16 / 300);
    l.maxGlyph = std::max(8, dpi);
    l.maxStroke = std::max(2, dpi / 25);
    l.minEdge = minContrast / 2;
    return l;
}

bool Fail(std::string* error, const char* text) {
    if (error)
        *error = text;
    return false;
}

template <class T> bool Allocate(std::vector<T>& v, size_t n) {
    try {
        v.assign(n, T());
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

template <class T> bool Append(std::vector<T>& v, const T& item) {
    try {
        v.push_back(item);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

int Find(std::vector<Run>& runs, int i) {
    while (runs[i].parent != i) {
        runs[i].parent = runs[runs[i].parent].parent; // path halving
        i = runs[i].parent;
    }
    return i;
}

void Join(std::vector<Run>& runs, int a, int b) {
    a = Find(runs, a);
    b = Find(runs, b);
    if (a < b)
        runs[b].parent = a;
    else if (b < a)
        runs[a].parent = b;
}

// Fills the unknown entries of a grid (known[i] == 0) from the known ones
// around them: means over a pyramid of 2x2 blocks, then each unknown entry
// takes the mean of the smallest block around it that holds a known entry.
// All unknown: every entry becomes `fallback`.
bool FillUnknown(uint8_t* values, const uint8_t* known, int width, int height, int channels,
                 uint8_t fallback) {
    struct Level {
        int w, h;
        std::vector<uint8_t> mean; // w x h x channels
        std::vector<uint32_t> weight;
    };
    std::vector<Level> levels;
    try {
        levels.reserve(64);
        levels.push_back({width, height, {}, {}});
        Level& base = levels.back();
        base.mean.assign(values, values + static_cast<size_t>(width) * height * channels);
        base.weight.assign(known, known + static_cast<size_t>(width) * height);
        while (levels.back().w > 1 || levels.back().h > 1) {
            const Level& fine = levels.back();
            Level coarse{(fine.w + 1) / 2, (fine.h + 1) / 2, {}, {}};
            coarse.mean.assign(static_cast<size_t>(coarse.w) * coarse.h * channels, fallback);
            coarse.weight.assign(static_cast<size_t>(coarse.w) * coarse.h, 0);
            for (int y = 0; y < coarse.h; ++y)
                for (int x = 0; x < coarse.w; ++x) {
                    uint64_t sum[3] = {0, 0, 0}, wsum = 0;
                    for (int dy = 0; dy < 2; ++dy)
                        for (int dx = 0; dx < 2; ++dx) {
                            const int fx = 2 * x + dx, fy = 2 * y + dy;
                            if (fx >= fine.w || fy >= fine.h)
                                continue;
                            const size_t i = static_cast<size_t>(fy) * fine.w + fx;
                            const uint32_t wt = fine.weight[i];
                            wsum += wt;
                            for (int c = 0; c < channels; ++c)
                                sum[c] += static_cast<uint64_t>(fine.mean[i * channels + c]) * wt;
                        }
                    const size_t o = static_cast<size_t>(y) * coarse.w + x;
                    coarse.weight[o] = static_cast<uint32_t>(std::min<uint64_t>(wsum, UINT32_MAX));
                    if (wsum)
                        for (int c = 0; c < channels; ++c)
                            coarse.mean[o * channels + c] =
                                static_cast<uint8_t>((sum[c] + wsum / 2) / wsum);
                }
            levels.push_back(std::move(coarse));
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    // Down again: an entry without weight takes its parent's mean.
    for (size_t k = levels.size() - 1; k-- > 0;) {
        Level& fine = levels[k];
        const Level& coarse = levels[k + 1];
        for (int y = 0; y < fine.h; ++y)
            for (int x = 0; x < fine.w; ++x) {
                const size_t i = static_cast<size_t>(y) * fine.w + x;
                if (fine.weight[i])
                    continue;
                const size_t p = static_cast<size_t>(y / 2) * coarse.w + x / 2;
                for (int c = 0; c < channels; ++c)
                    fine.mean[i * channels + c] = coarse.mean[p * channels + c];
            }
    }
    std::copy(levels[0].mean.begin(), levels[0].mean.end(), values);
    return true;
}

// Luminance of one row (ITU-R BT.601 weights).
void LumaRow(const uint8_t* src, int width, int channels, bool bgr, uint8_t* dst) {
    if (channels == 1) {
        std::copy(src, src + width, dst);
        return;
    }
    const int ir = bgr ? 2 : 0, ib = bgr ? 0 : 2;
    for (int x = 0; x < width; ++x, src += 3)
        dst[x] = static_cast<uint8_t>((src[ir] * 77 + src[1] * 150 + src[ib] * 29 + 128) >> 8);
}

// The segmenter's working state for one page.
struct Segmenter {
    const CPageView& page;
    const SegmentOptions& options;
    Segmentation& out;
    Limits limits;
    int w, h, channels;
    bool bgr;
    std::vector<uint8_t> luma;      // page luminance; later the background's don't-care marks
    std::vector<uint8_t> threshold; // per block
    int gw = 0, gh = 0;
    std::vector<Run> runs;
    std::vector<int32_t> shapeOf; // by run
    std::vector<Shape> shapes;

    Segmenter(const CPageView& p, const SegmentOptions& o, Segmentation& s)
        : page(p), options(o), out(s),
          limits(LimitsFor(p.m_nXDpi > 0 ? p.m_nXDpi : 72, o.minContrast)), w(p.m_nWidth),
          h(p.m_nHeight), channels(p.m_nBitsPerPixel == 24 ? 3 : 1),
          bgr(p.m_order == ColourOrder::BGR) {}

    bool Luminance();
    bool Thresholds();
    bool FindRuns();
    bool MeasureShapes();
    bool ChooseLayers();
    bool DrawLayers();
    bool Background();
};

bool Segmenter::Luminance() {
    if (!Allocate(luma, static_cast<size_t>(w) * h))
        return false;
    for (int y = 0; y < h; ++y)
        LumaRow(page.Row(y), w, channels, bgr, &luma[static_cast<size_t>(y) * w]);
    return true;
}

// A block whose neighbourhood (3 x 3 blocks) holds both paper and ink gets the
// threshold half-way between them; flat blocks (paper, the inside of a thick
// stroke, a dark area) take theirs from the blocks around them.
bool Segmenter::Thresholds() {
    const int b = limits.block;
    gw = (w + b - 1) / b;
    gh = (h + b - 1) / b;
    const size_t n = static_cast<size_t>(gw) * gh;
    std::vector<uint8_t> lo, hi, known;
    if (!Allocate(lo, n) || !Allocate(hi, n) || !Allocate(known, n) || !Allocate(threshold, n))
        return false;
    std::fill(lo.begin(), lo.end(), 255);
    for (int y = 0; y < h; ++y) {
        const uint8_t* row = &luma[static_cast<size_t>(y) * w];
        uint8_t* blo = &lo[static_cast<size_t>(y / b) * gw];
        uint8_t* bhi = &hi[static_cast<size_t>(y / b) * gw];
        for (int bx = 0; bx < gw; ++bx) {
            uint8_t mn = blo[bx], mx = bhi[bx];
            const int end = std::min(w, (bx + 1) * b);
            for (int x = bx * b; x < end; ++x) {
                mn = std::min(mn, row[x]);
                mx = std::max(mx, row[x]);
            }
            blo[bx] = mn;
            bhi[bx] = mx;
        }
    }
    for (int by = 0; by < gh; ++by)
        for (int bx = 0; bx < gw; ++bx) {
            int mn = 255, mx = 0;
            for (int y = std::max(0, by - 1); y <= std::min(gh - 1, by + 1); ++y)
                for (int x = std::max(0, bx - 1); x <= std::min(gw - 1, bx + 1); ++x) {
                    mn = std::min<int>(mn, lo[static_cast<size_t>(y) * gw + x]);
                    mx = std::max<int>(mx, hi[static_cast<size_t>(y) * gw + x]);
                }
            const size_t i = static_cast<size_t>(by) * gw + bx;
            known[i] = mx - mn >= options.minContrast;
            threshold[i] = static_cast<uint8_t>((mn + mx + 1) / 2);
        }
    // No contrast anywhere: nothing is darker than threshold 0.
    return FillUnknown(threshold.data(), known.data(), gw, gh, 1, 0);
}

// Dark runs: pixels below the threshold interpolated between block centres.
bool Segmenter::FindRuns() {
    const int b = limits.block;
    std::vector<int32_t> col0, colW; // per pixel: left block column and its weight (0..256)
    std::vector<uint32_t> rowT;      // thresholds of the block columns for the row, x 256
    std::vector<uint8_t> t;          // threshold per pixel of the row
    if (!Allocate(col0, w) || !Allocate(colW, w) || !Allocate(rowT, gw) || !Allocate(t, w))
        return false;
    for (int x = 0; x < w; ++x) {
        const int pos = std::max(0, (2 * x + 1) * 128 / b - 128); // block units x 256
        col0[x] = std::min(pos >> 8, gw - 1);
        colW[x] = col0[x] + 1 < gw ? (pos & 255) : 0;
    }
    // Busier than any text: the page is left to the background.
    const size_t maxRuns = std::min<size_t>(size_t(8) << 20, static_cast<size_t>(w) * h / 2 + 1);
    size_t prevBegin = 0, prevEnd = 0;
    for (int y = 0; y < h; ++y) {
        const int pos = std::max(0, (2 * y + 1) * 128 / b - 128);
        const int r0 = std::min(pos >> 8, gh - 1), r1 = std::min(r0 + 1, gh - 1);
        const uint32_t wy = pos & 255;
        const uint8_t* g0 = &threshold[static_cast<size_t>(r0) * gw];
        const uint8_t* g1 = &threshold[static_cast<size_t>(r1) * gw];
        for (int i = 0; i < gw; ++i)
            rowT[i] = g0[i] * (256 - wy) + g1[i] * wy;
        for (int x = 0; x < w; ++x) {
            const int i = col0[x];
            const uint32_t wx = colW[x];
            const uint32_t right = wx ? rowT[i + 1] : 0;
            t[x] = static_cast<uint8_t>((rowT[i] * (256 - wx) + right * wx) >> 16);
        }
        const uint8_t* row = &luma[static_cast<size_t>(y) * w];
        const size_t curBegin = runs.size();
        int x = 0;
        while (x < w) {
            while (x < w && row[x] >= t[x])
                ++x;
            if (x >= w)
                break;
            const int start = x;
            while (x < w && row[x] < t[x])
                ++x;
            if (runs.size() >= maxRuns) {
                runs.clear();
                return true;
            }
            // An end borders paper when the pixel two out is above its threshold
            // (a gap between two pieces of one faint stroke does not count).
            Run run{start, x, y, static_cast<int32_t>(runs.size()), 0, 0, 0};
            const int out0 = std::max(0, start - 2), out1 = std::min(w - 1, x + 1);
            if (start > 0 && row[out0] >= t[out0]) {
                run.edgeSum = static_cast<uint16_t>(std::max(0, row[out0] - row[start]));
                ++run.edges;
            }
            if (x < w && row[out1] >= t[out1]) {
                run.edgeSum += static_cast<uint16_t>(std::max(0, row[out1] - row[x - 1]));
                ++run.edges;
            }
            if (!Append(runs, run))
                return false;
        }
        // Join each run to the runs above that touch it, corners included.
        size_t i = prevBegin;
        for (size_t j = curBegin; j < runs.size(); ++j) {
            while (i < prevEnd && runs[i].x1 < runs[j].x0)
                ++i;
            for (size_t k = i; k < prevEnd && runs[k].x0 <= runs[j].x1; ++k) {
                Join(runs, static_cast<int>(k), static_cast<int>(j));
                runs[j].covered += std::max(0, std::min(runs[k].x1, runs[j].x1) -
                                                   std::max(runs[k].x0, runs[j].x0));
            }
        }
        prevBegin = curBegin;
        prevEnd = runs.size();
    }
    return true;
}

bool Segmenter::MeasureShapes() {
    if (!Allocate(shapeOf, runs.size()))
        return false;
    for (size_t r = 0; r < runs.size(); ++r) {
        const int root = Find(runs, static_cast<int>(r));
        if (root == static_cast<int>(r)) {
            shapeOf[r] = static_cast<int32_t>(shapes.size());
            Shape s;
            s.x0 = runs[r].x0;
            s.x1 = runs[r].x1;
            s.y0 = s.y1 = runs[r].y;
            if (!Append(shapes, s))
                return false;
        } else {
            shapeOf[r] = shapeOf[root]; // the root comes first
        }
    }
    const int ir = bgr && channels == 3 ? 2 : 0, ib = 2 - ir;
    for (size_t r = 0; r < runs.size(); ++r) {
        const Run& run = runs[r];
        Shape& s = shapes[shapeOf[r]];
        s.x0 = std::min(s.x0, run.x0);
        s.x1 = std::max(s.x1, run.x1);
        s.y1 = std::max(s.y1, run.y + 1);
        s.pixels += static_cast<uint32_t>(run.x1 - run.x0);
        ++s.runs;
        s.columns += static_cast<uint32_t>(run.x1 - run.x0 - run.covered);
        s.edgeSum += run.edgeSum;
        s.edges += run.edges;
        const uint8_t* ly = &luma[static_cast<size_t>(run.y) * w];
        // The ink colour: darker pixels weigh more, so the soft edges hardly count.
        const uint8_t* px = page.Row(run.y) + static_cast<size_t>(run.x0) * channels;
        for (int x = run.x0; x < run.x1; ++x, px += channels) {
            const uint32_t d = 256 - ly[x];
            const uint32_t wt = d * d;
            s.weight += wt;
            if (channels == 3) {
                s.colour[0] += static_cast<uint64_t>(px[ir]) * wt;
                s.colour[1] += static_cast<uint64_t>(px[1]) * wt;
                s.colour[2] += static_cast<uint64_t>(px[ib]) * wt;
            } else {
                s.colour[0] += static_cast<uint64_t>(px[0]) * wt;
            }
        }
    }
    return true;
}

// Text and line art: small shapes (characters) and shapes of thin strokes
// (lines and drawings of any size), all with sharp edges. A stroke's width
// is taken as the shorter of the mean horizontal and vertical runs. Photos
// and large dark areas stay in the background. Kept shapes are grouped by
// ink colour into layers.
bool Segmenter::ChooseLayers() {
    struct Ink {
        uint64_t sum[3];
        uint64_t n;
    };
    std::vector<Ink> inks;
    const Limits& l = limits;
    for (Shape& s : shapes) {
        const int sw = s.x1 - s.x0, sh = s.y1 - s.y0;
        const bool glyph = sw <= l.maxGlyph && sh <= l.maxGlyph;
        const uint64_t strokeLimit = static_cast<uint64_t>(l.maxStroke);
        const bool strokes =
            s.pixels <= s.runs * strokeLimit || s.pixels <= s.columns * strokeLimit;
        const bool sharp = s.edges > 0 && s.edgeSum >= static_cast<uint64_t>(s.edges) * l.minEdge;
        if (s.pixels < 2 || !sharp || !(glyph || strokes) || s.weight == 0)
            continue;
        int c[3] = {0, 0, 0};
        for (int k = 0; k < channels; ++k)
            c[k] = static_cast<int>((s.colour[k] + s.weight / 2) / s.weight);
        int best = -1, bestDist = 256;
        for (size_t i = 0; i < inks.size(); ++i) {
            int dist = 0;
            for (int k = 0; k < channels; ++k) {
                const int mean = static_cast<int>(inks[i].sum[k] / inks[i].n);
                dist = std::max(dist, std::abs(mean - c[k]));
            }
            if (dist < bestDist) {
                bestDist = dist;
                best = static_cast<int>(i);
            }
        }
        if (best < 0 || (bestDist > options.colourSpread &&
                         static_cast<int>(inks.size()) < options.maxColours)) {
            if (!Append(inks, Ink{{0, 0, 0}, 0}))
                return false;
            best = static_cast<int>(inks.size()) - 1;
        }
        Ink& ink = inks[best];
        for (int k = 0; k < channels; ++k)
            ink.sum[k] += static_cast<uint64_t>(c[k]) * s.pixels;
        ink.n += s.pixels;
        s.layer = best;
        out.inkPixels += s.pixels;
    }
    struct Box {
        int x0, y0, x1, y1;
    };
    std::vector<Box> boxes;
    if (!Allocate(boxes, inks.size()) || !Allocate(out.layers, inks.size()))
        return false;
    std::fill(boxes.begin(), boxes.end(), Box{w, h, 0, 0});
    for (const Shape& s : shapes) {
        if (s.layer < 0)
            continue;
        Box& b = boxes[s.layer];
        b = {std::min(b.x0, s.x0), std::min(b.y0, s.y0), std::max(b.x1, s.x1),
             std::max(b.y1, s.y1)};
    }
    for (size_t i = 0; i < inks.size(); ++i) {
        TextLayer& layer = out.layers[i];
        for (int k = 0; k < channels; ++k)
            layer.colour[k] = static_cast<uint8_t>(inks[i].sum[k] / inks[i].n);
        layer.x = boxes[i].x0;
        layer.y = boxes[i].y0;
        layer.width = boxes[i].x1 - boxes[i].x0;
        layer.height = boxes[i].y1 - boxes[i].y0;
    }
    return true;
}

// Sets the kept runs' bits in their layers, and marks the kept ink and the
// pixel around it (its soft edge) as nothing the background has to show.
bool Segmenter::DrawLayers() {
    for (TextLayer& layer : out.layers) {
        layer.stride = (static_cast<size_t>(layer.width) + 7) / 8;
        if (!Allocate(layer.bits, layer.stride * layer.height))
            return false;
    }
    std::fill(luma.begin(), luma.end(), 0);
    for (size_t r = 0; r < runs.size(); ++r) {
        const Shape& s = shapes[shapeOf[r]];
        if (s.layer < 0)
            continue;
        const Run& run = runs[r];
        TextLayer& layer = out.layers[s.layer];
        uint8_t* bits = &layer.bits[(run.y - layer.y) * layer.stride];
        for (int x = run.x0 - layer.x; x < run.x1 - layer.x; ++x)
            bits[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
        const int x0 = std::max(0, run.x0 - 1), x1 = std::min(w, run.x1 + 1);
        for (int y = std::max(0, run.y - 1); y <= std::min(h - 1, run.y + 1); ++y)
            std::fill(&luma[static_cast<size_t>(y) * w + x0],
                      &luma[static_cast<size_t>(y) * w + x1], uint8_t(1));
    }
    return true;
}

// Means of the pixels the text leaves visible, per background pixel; the
// rest filled from around, so the coder sees smooth areas where text was.
bool Segmenter::Background() {
    const int f = out.bgFactor;
    const int bw = (w + f - 1) / f, bh = (h + f - 1) / f;
    out.bgWidth = bw;
    out.bgHeight = bh;
    std::vector<uint8_t> known;
    std::vector<uint32_t> sum, count;
    if (!Allocate(out.background, static_cast<size_t>(bw) * bh * channels) ||
        !Allocate(known, static_cast<size_t>(bw) * bh) ||
        !Allocate(sum, static_cast<size_t>(bw) * channels) || !Allocate(count, bw))
        return false;
    for (int by = 0; by < bh; ++by) {
        std::fill(sum.begin(), sum.end(), 0);
        std::fill(count.begin(), count.end(), 0);
        for (int y = by * f; y < std::min(h, by * f + f); ++y) {
            const uint8_t* px = page.Row(y);
            const uint8_t* hidden = &luma[static_cast<size_t>(y) * w];
            for (int x = 0; x < w; ++x, px += channels) {
                if (hidden[x])
                    continue;
                const int bx = x / f;
                ++count[bx];
                for (int c = 0; c < channels; ++c)
                    sum[bx * channels + c] += px[c];
            }
        }
        uint8_t* dst = &out.background[static_cast<size_t>(by) * bw * channels];
        for (int bx = 0; bx < bw; ++bx) {
            known[static_cast<size_t>(by) * bw + bx] = count[bx] != 0;
            for (int c = 0; c < channels; ++c)
                dst[bx * channels + c] = static_cast<uint8_t>(
                    count[bx] ? (sum[bx * channels + c] + count[bx] / 2) / count[bx] : 255);
        }
    }
    return FillUnknown(out.background.data(), known.data(), bw, bh, channels, 255);
}

} // namespace

int BackgroundFactor(int dpi) {
    return std::clamp(dpi / 100, 1, 6);
}

bool SegmentPage(const CPageView& page, const SegmentOptions& options, Segmentation& out,
                 std::string* error) {
    out = Segmentation();
    if (!page.IsValid() || (page.m_nBitsPerPixel != 8 && page.m_nBitsPerPixel != 24))
        return Fail(error, "only grey and colour pages are segmented");
    if (static_cast<uint64_t>(page.m_nWidth) * page.m_nHeight > options.maxPixels)
        return Fail(error, "page too large to segment");
    Segmenter s(page, options, out);
    out.channels = s.channels;
    out.bgOrder = page.m_order;
    out.bgFactor = BackgroundFactor(page.m_nXDpi > 0 ? page.m_nXDpi : 72);
    const bool ok = s.Luminance() && s.Thresholds() && s.FindRuns() && s.MeasureShapes() &&
                    s.ChooseLayers() && s.DrawLayers() && s.Background();
    if (!ok)
        return Fail(error, "not enough memory to segment the page");
    return true;
}

} // namespace vlm::pdf
