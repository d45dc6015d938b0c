// File helpers and the plain C entry points of the JPEG library.
#include "jpegcodec.h"

#include <cstdio>
#include <cstring>
#include <memory>

namespace vlm::jpeg {

namespace {
struct FileCloser {
    void operator()(FILE* f) const { fclose(f); }
};
using CFile = std::unique_ptr<FILE, FileCloser>;
} // namespace

bool ReadFileBytes(const std::string& path, std::vector<uint8_t>& data, std::string* error) {
    CFile f(fopen(path.c_str(), "rb"));
    if (!f) {
        if (error)
            *error = "cannot open " + path;
        return false;
    }
    data.clear();
    uint8_t buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), f.get())) > 0)
        data.insert(data.end(), buf, buf + n);
    if (ferror(f.get())) {
        if (error)
            *error = "cannot read " + path;
        return false;
    }
    return true;
}

bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& data, std::string* error) {
    FILE* raw = fopen(path.c_str(), "wb");
    if (!raw) {
        if (error)
            *error = "cannot create " + path;
        return false;
    }
    const bool written = fwrite(data.data(), 1, data.size(), raw) == data.size();
    const bool closed = fclose(raw) == 0;
    if (!written || !closed) {
        // A half-written file would pass for a page; remove it.
        remove(path.c_str());
        if (error)
            *error = "cannot write " + path;
        return false;
    }
    return true;
}

} // namespace vlm::jpeg

using namespace vlm::jpeg;

extern "C" int vlm_save_JPEG(const char* path, const unsigned char* rows, int width, int height,
                             int dpi, int colourFlag, int stride, int quality) {
    if (!path || !*path || !rows || stride <= 0 || (colourFlag != 1 && colourFlag != 2))
        return -1;
    EncodeParams p;
    p.width = width;
    p.height = height;
    p.components = colourFlag == 2 ? 3 : 1;
    p.rows = rows;
    p.stride = static_cast<size_t>(stride);
    p.order = PixelOrder::BGR;
    p.quality = quality;
    p.dpi = dpi;
    std::vector<uint8_t> out;
    if (!Encode(p, out) || !WriteFileBytes(path, out))
        return -1;
    return 0;
}

extern "C" int vlm_read_JPEG_header(const char* path, void* infoBlock) {
    if (!path || !infoBlock)
        return 0;
    std::vector<uint8_t> data;
    HeaderInfo info;
    if (!ReadFileBytes(path, data) || !ReadHeader(data.data(), data.size(), info))
        return 0;
    // Only the documented fields are written; the rest of the caller's block is left alone.
    auto* block = static_cast<uint8_t*>(infoBlock);
    const int32_t w = info.width, h = info.height, c = info.components;
    const uint16_t d = static_cast<uint16_t>(info.xDensity);
    std::memcpy(block + offsetof(VlmJpegInfoBlock, width), &w, 4);
    std::memcpy(block + offsetof(VlmJpegInfoBlock, height), &h, 4);
    std::memcpy(block + offsetof(VlmJpegInfoBlock, components), &c, 4);
    std::memcpy(block + offsetof(VlmJpegInfoBlock, xDensity), &d, 2);
    return 1;
}

extern "C" int vlm_read_JPEG_file(const char* path, unsigned char* buffer, int* width, int* height,
                                  int stride) {
    if (!path || !buffer || !width || !height || stride <= 0 || *height <= 0)
        return 0;
    std::vector<uint8_t> data;
    if (!ReadFileBytes(path, data))
        return 0;
    HeaderInfo info;
    if (!ReadHeader(data.data(), data.size(), info))
        return 0;
    if (*width > 0 && info.width > *width)
        return 0;
    int w = 0, h = 0, c = 0;
    if (!DecodeInto(data.data(), data.size(), buffer, static_cast<size_t>(stride), *height, w, h,
                    c))
        return 0;
    *width = w;
    *height = h;
    return 1;
}
