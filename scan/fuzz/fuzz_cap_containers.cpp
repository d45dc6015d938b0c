// Capability containers as a source might hand them back, of any size and
// content: reading the current item or the value list never touches a byte
// beyond the container.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "TwainLogic.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    // Byte 0: the container type (one-value, enumeration, range or another);
    // byte 1: the item type asked for; the rest is the container itself, in a
    // block of exactly its size.
    static const unsigned kConTypes[] = {TWON_ONEVALUE, TWON_ENUMERATION, TWON_RANGE, TWON_ARRAY};
    const unsigned conType = kConTypes[data[0] % 4];
    const unsigned itemType = data[1] % (TWTY_STR255 + 2);
    const size_t cb = size - 2;
    std::unique_ptr<uint8_t[]> block(new uint8_t[cb ? cb : 1]);
    memcpy(block.get(), data + 2, cb);
    uint8_t out[256];
    vlmscan::ReadCurrentItem(block.get(), cb, conType, itemType, out);
    vlmscan::SCapValues values;
    vlmscan::ReadCapValues(block.get(), cb, conType, &values);
    return 0;
}
