// Text and line-art segmentation of grey and colour pages for mixed-raster
// coding: the dark strokes of the page become bilevel layers at full
// resolution, one per ink colour, and what is left becomes a background of
// reduced resolution in which the strokes are filled from their surroundings.
// Portable: no Windows API.
#pragma once

#include "codecs/PageView.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vlm::pdf {

// One ink colour's strokes, cut to the box they lie in.
struct TextLayer {
    uint8_t colour[3] = {0, 0, 0}; // grey in [0]; colour pages R,G,B
    int x = 0, y = 0;              // top-left corner on the page, pixels
    int width = 0, height = 0;
    size_t stride = 0;         // bytes per row of bits
    std::vector<uint8_t> bits; // 1 = ink, MSB first, rows top-down
};

struct Segmentation {
    int channels = 1; // 1 grey, 3 colour (B,G,R)
    std::vector<TextLayer> layers;
    int bgFactor = 1; // page pixels per background pixel, each way
    int bgWidth = 0, bgHeight = 0;
    std::vector<uint8_t> background;        // rows top-down, bgWidth x channels bytes each
    ColourOrder bgOrder = ColourOrder::BGR; // the page's own order
    size_t inkPixels = 0;                   // in all layers
};

struct SegmentOptions {
    int minContrast = 64;  // paper-to-ink difference (0..255) below which nothing is text
    int maxColours = 12;   // ink colours (layers) at most
    int colourSpread = 48; // inks closer than this in every channel share a layer
    // Pages larger than this are not looked at: background only, at full size.
    uint64_t maxPixels = 200ull * 1000 * 1000;
};

// Page pixels per background pixel for a resolution: the background keeps
// about 100 dpi (no reduction at 150 dpi and below).
int BackgroundFactor(int dpi);

// Splits an 8- or 24-bit page. false (with *error) when the page is not one or
// memory runs out; `out` is then undefined.
bool SegmentPage(const CPageView& page, const SegmentOptions& options, Segmentation& out,
                 std::string* error = nullptr);

} // namespace vlm::pdf
