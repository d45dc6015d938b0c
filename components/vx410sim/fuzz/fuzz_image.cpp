// The image reader takes files a user drops into the feeder: any bytes must
// give a clean refusal or an image whose buffer matches its size.
#include "pagegen.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vx410sim::PageImage img;
    std::string err;
    if (vx410sim::ReadImageMemory(data, size, img, &err)) {
        if (img.m_data.size() !=
            vx410sim::RowBytes(img.m_nWidth, img.m_nBitsPerPixel) * size_t(img.m_nHeight))
            std::abort();
    } else if (err.empty()) {
        std::abort();
    }
    return 0;
}
