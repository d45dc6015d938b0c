// Mixed-raster pages ("character precedence"): text and line art as
// full-resolution Group 4 stencil masks painted in their ink colours over a
// reduced-resolution JPEG background. Portable: no Windows API.
#pragma once

#include "pdfwriter.h"
#include "segment.h"

namespace vlm::pdf {

// The drawing of a grey or colour page as background and text layers; the
// background is coded with `background`. false (with *error) when the page
// cannot be segmented; the caller then draws it as one image.
bool DrawMixedRaster(const CPageView& page, const ImageSettings& background,
                     const SegmentOptions& options, PageDrawing& drawing,
                     std::string* error = nullptr);

} // namespace vlm::pdf
