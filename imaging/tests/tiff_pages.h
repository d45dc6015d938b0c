// Test pages written with our TIFF writer.
#pragma once

#include <string>
#include <vector>

#include "imaging/tiff.h"

namespace vlmtest {

// One page: its main values set, the packed rows written top to bottom in one
// call. 0, or the writer's first failure (-100: the file was not created).
inline int WriteTiffPage(const std::string& path, int width, int height, int bps, int spp, int comp,
                         const std::vector<uint8_t>& rows, int dpi = 300, int quality = 75) {
    vlm::CTiffFile t;
    if (!t.Open(path.c_str(), 'w'))
        return -100;
    t.TiffSetTagOld(vlm::kTagImageWidth, width);
    t.TiffSetTagOld(vlm::kTagImageLength, height);
    t.TiffSetTagOld(vlm::kTagBitsPerSample, bps);
    t.TiffSetTagOld(vlm::kTagSamplesPerPixel, spp);
    t.TiffSetTagOld(vlm::kTagCompression, comp);
    t.TiffSetTagOld(vlm::kTagXResolution, dpi);
    t.TiffSetTagOld(vlm::kTagYResolution, dpi);
    t.TiffSetTagOld(vlm::kTagJpegQuality, quality);
    const int rc = t.WriteRows(rows.data(), height);
    return rc != 0 ? rc : t.Close();
}

} // namespace vlmtest
