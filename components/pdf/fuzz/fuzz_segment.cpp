// libFuzzer target: the mixed-raster segmenter and the page drawing made from
// it, on pages built from arbitrary bytes.
//   byte 0: width - 1, byte 1: height - 1 (low 7 bits: pages up to 128 x 128)
//   byte 2: bit 0 colour, bit 1 R,G,B order, bits 2..4 the resolution
//   the rest: pixels, repeated to fill the page (none: a white page)
#include "mrc.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3)
        return 0;
    static const int kDpi[8] = {0, 72, 100, 150, 200, 300, 600, 1200};
    const int w = (data[0] & 127) + 1, h = (data[1] & 127) + 1, channels = data[2] & 1 ? 3 : 1;
    const int dpi = kDpi[(data[2] >> 2) & 7];
    const vlm::ColourOrder order = data[2] & 2 ? vlm::ColourOrder::RGB : vlm::ColourOrder::BGR;
    const uint8_t* src = data + 3;
    const size_t n = size - 3;
    std::vector<uint8_t> pixels(static_cast<size_t>(w) * h * channels, 255);
    for (size_t i = 0; n && i < pixels.size(); ++i)
        pixels[i] = src[i % n];
    const vlm::CPageView page = vlm::ViewOfRows(pixels.data(), static_cast<size_t>(w) * channels, w,
                                                h, 8 * channels, dpi, true, order);

    vlm::pdf::Segmentation seg;
    if (!vlm::pdf::SegmentPage(page, vlm::pdf::SegmentOptions(), seg))
        __builtin_trap(); // a small page always segments
    const int f = seg.bgFactor;
    if (seg.bgWidth != (w + f - 1) / f || seg.bgHeight != (h + f - 1) / f ||
        seg.background.size() != static_cast<size_t>(seg.bgWidth) * seg.bgHeight * channels)
        __builtin_trap();
    size_t ink = 0;
    for (const vlm::pdf::TextLayer& l : seg.layers) {
        if (l.x < 0 || l.y < 0 || l.width < 1 || l.height < 1 || l.x + l.width > w ||
            l.y + l.height > h || l.bits.size() != l.stride * l.height)
            __builtin_trap();
        for (uint8_t b : l.bits)
            ink += __builtin_popcount(b);
    }
    if (ink != seg.inkPixels || ink > static_cast<size_t>(w) * h)
        __builtin_trap(); // every kept pixel is in exactly one layer

    vlm::pdf::PageDrawing drawing;
    if (!vlm::pdf::DrawMixedRaster(page, {50, vlm::jpeg::Chroma::Subsampled420},
                                   vlm::pdf::SegmentOptions(), drawing) ||
        drawing.images.size() != seg.layers.size() + 1)
        __builtin_trap();
    return 0;
}
