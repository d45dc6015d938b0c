// libFuzzer target: header reading and decoding of arbitrary bytes.
#include "jpegcodec.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vlm::jpeg::HeaderInfo info;
    vlm::jpeg::ReadHeader(data, size, info);
    vlm::jpeg::DecodeOptions options;
    options.maxPixels = 4u * 1000u * 1000u; // keeps single runs fast and small
    vlm::jpeg::DecodedImage image;
    if (vlm::jpeg::Decode(data, size, image, options)) {
        // Decoded images must have the size the header promised.
        if (image.pixels.size() !=
            static_cast<size_t>(image.width) * image.height * image.components)
            __builtin_trap();
    }
    return 0;
}
