#include "mrc.h"

#include "codecs/ccitt.h"

#include <cstdio>

namespace vlm::pdf {

bool DrawMixedRaster(const CPageView& page, const ImageSettings& background,
                     const SegmentOptions& options, PageDrawing& drawing, std::string* error) {
    Segmentation seg;
    if (!SegmentPage(page, options, seg, error))
        return false;
    const int dpi = PageDpi(page);
    const bool colour = seg.channels == 3;
    char text[320];

    PageImage bg;
    bg.name = "Bg";
    const CPageView bgView = ViewOfRows(
        seg.background.data(), static_cast<size_t>(seg.bgWidth) * seg.channels, seg.bgWidth,
        seg.bgHeight, 8 * seg.channels, std::max(1, dpi / seg.bgFactor), true, seg.bgOrder);
    jpeg::EncodeOptions jo;
    jo.quality = background.jpegQuality;
    jo.chroma = background.chroma;
    std::string err;
    if (!jpeg::Encode(bgView, jo, bg.data, &err)) {
        if (error)
            *error = "JPEG coding failed: " + err;
        return false;
    }
    seg.background = {};
    // Interpolation: viewers smooth the coarse background instead of showing its pixels.
    snprintf(text, sizeof(text),
             "/Type /XObject /Subtype /Image /Width %d /Height %d /ColorSpace %s "
             "/BitsPerComponent 8 /Interpolate true /Filter /DCTDecode ",
             seg.bgWidth, seg.bgHeight, colour ? "/DeviceRGB" : "/DeviceGray");
    bg.dict = text;
    drawing.images.push_back(std::move(bg));
    snprintf(text, sizeof(text), "q %.4f 0 0 %.4f 0 0 cm /Bg Do Q\n", Points(page.m_nWidth, dpi),
             Points(page.m_nHeight, dpi));
    drawing.content = text;

    for (size_t i = 0; i < seg.layers.size(); ++i) {
        TextLayer& layer = seg.layers[i];
        PageImage mask;
        mask.name = "Tx" + std::to_string(i);
        mask.data = EncodeG4(layer.bits.data(), layer.width, layer.height, layer.stride, true);
        if (mask.data.empty()) {
            if (error)
                *error = "Group 4 coding failed";
            return false;
        }
        layer.bits = {};
        // Ink coded black reads as 0, and an image mask paints its 0 samples.
        snprintf(text, sizeof(text),
                 "/Type /XObject /Subtype /Image /Width %d /Height %d /ImageMask true "
                 "/BitsPerComponent 1 /Filter /CCITTFaxDecode "
                 "/DecodeParms << /K -1 /Columns %d /Rows %d /BlackIs1 false >> ",
                 layer.width, layer.height, layer.width, layer.height);
        mask.dict = text;
        drawing.images.push_back(std::move(mask));
        const uint8_t* c = layer.colour;
        if (colour)
            snprintf(text, sizeof(text), "%.4f %.4f %.4f rg ", c[0] / 255.0, c[1] / 255.0,
                     c[2] / 255.0);
        else
            snprintf(text, sizeof(text), "%.4f g ", c[0] / 255.0);
        drawing.content += text;
        snprintf(text, sizeof(text), "q %.4f 0 0 %.4f %.4f %.4f cm /Tx%zu Do Q\n",
                 Points(layer.width, dpi), Points(layer.height, dpi), Points(layer.x, dpi),
                 Points(page.m_nHeight - layer.y - layer.height, dpi), i);
        drawing.content += text;
    }
    return true;
}

} // namespace vlm::pdf
