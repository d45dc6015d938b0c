// Fuzzes the modified Huffman, T.4 and T.6 decoders. Byte 0 chooses the
// coding and options, byte 1 the row count, bytes 2-3 the width; the rest is
// coded data. Whatever decodes must survive a Group 4 round trip unchanged.
#include <cstring>
#include <vector>

#include "codecs/ccitt.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4)
        return 0;
    vlm::FaxParams p;
    const uint8_t mode = data[0];
    p.coding = mode % 3 == 0   ? vlm::FaxCoding::ModifiedHuffman
               : mode % 3 == 1 ? vlm::FaxCoding::T4
                               : vlm::FaxCoding::T6;
    p.t4TwoD = (mode & 4) != 0;
    p.lsbFirst = (mode & 8) != 0;
    p.width = 1 + ((data[2] << 8 | data[3]) % 4096);
    const int rows = 1 + data[1];
    const size_t rowBytes = (p.width + 7) / 8;
    const size_t stride = rowBytes + (mode & 0x10 ? 3 : 0);
    std::vector<uint8_t> out(stride * rows);
    vlm::CMemorySource src(data + 4, size - 4);
    vlm::CFaxDecoder dec;
    if (!dec.Decode(src, p, rows, out.data(), stride))
        return 0;
    std::vector<uint8_t> coded = vlm::EncodeG4(out.data(), p.width, rows, stride, true);
    std::vector<uint8_t> back(stride * rows);
    vlm::CMemorySource src2(coded.data(), coded.size());
    vlm::FaxParams p6;
    p6.width = p.width;
    if (!vlm::CFaxDecoder().Decode(src2, p6, rows, back.data(), stride))
        __builtin_trap();
    for (int y = 0; y < rows; ++y)
        if (std::memcmp(out.data() + stride * y, back.data() + stride * y, rowBytes) != 0)
            __builtin_trap();
    return 0;
}
