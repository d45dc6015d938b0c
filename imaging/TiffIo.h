// What the TIFF writer, reader and ConcatTiff share: file access past 2 GB
// on both platforms, little-endian fields, the module's text sinks and limits.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "imaging/tiff.h"

namespace vlm::tiffio {

bool Seek(std::FILE* f, uint64_t pos);
bool FileSize(std::FILE* f, uint64_t& size);
bool ReadAt(std::FILE* f, uint64_t pos, void* dst, size_t n);
bool Truncate(std::FILE* f, uint64_t size);

// One owner for a stdio stream.
struct CFileCloser {
    void operator()(std::FILE* f) const {
        if (f)
            std::fclose(f);
    }
};
using CFilePtr = std::unique_ptr<std::FILE, CFileCloser>;

// A temporary file named with the "tc" prefix; deleted on destruction.
class CTempFile {
public:
    CTempFile();
    ~CTempFile();
    CTempFile(const CTempFile&) = delete;
    CTempFile& operator=(const CTempFile&) = delete;
    bool Ok() const { return !m_strPath.empty(); }
    const char* Path() const { return m_strPath.c_str(); }

private:
    std::string m_strPath;
};

inline void PutLE16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutLE32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline uint32_t GetLE32(const uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// Byte-order aware field access for files being read.
struct CByteOrder {
    bool big = false;
    uint16_t U16(const uint8_t* p) const {
        return static_cast<uint16_t>(big ? (p[0] << 8 | p[1]) : (p[1] << 8 | p[0]));
    }
    uint32_t U32(const uint8_t* p) const {
        return big ? (static_cast<uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3])
                   : GetLE32(p);
    }
};

// The module's texts: standard output, the debugger, the run log.
void Console(const char* fmt, ...);
void Debug(const char* fmt, ...);
void RunLog(const char* fmt, ...);
#define TIFF_NG() ::vlm::tiffio::Console("NG line %d\n", __LINE__)

const TiffJpegCodec& JpegCodec();

constexpr uint32_t kMaxDimension = 1u << 20;
constexpr uint16_t kMaxEntries = 4096;
constexpr int kMaxPages = 100000;

} // namespace vlm::tiffio
