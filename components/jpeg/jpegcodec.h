// Baseline JPEG (JFIF) codec shared by vlmjpeg.dll, the TIFF pages and the PDF maker.
// Portable: no Windows API, builds natively and with MinGW.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "codecs/PageView.h"

namespace vlm::jpeg {

// Byte order of three-channel pixel rows. Scanned pages arrive as B,G,R.
enum class PixelOrder { BGR, RGB };

// Chroma sampling of colour streams: 4:2:0 is the compact default, 4:4:4 keeps
// coloured text edges sharp.
enum class Chroma { Subsampled420, Full444 };

// How a page is coded.
struct EncodeOptions {
    int quality = 75; // 1..100 (0 counts as 1, above 100 as 100)
    Chroma chroma = Chroma::Subsampled420;
    int restartInterval = 0; // MCUs between restart markers; 0 writes none
};

// A page given by its rows, with the options.
struct EncodeParams : EncodeOptions {
    int width = 0;                 // pixels, 1..65535
    int height = 0;                // rows, 1..65535
    int components = 1;            // 1 grey, 3 colour
    const uint8_t* rows = nullptr; // top-down rows
    size_t stride = 0;             // bytes from one row to the next
    PixelOrder order = PixelOrder::BGR;
    int dpi = 0; // JFIF density in dots per inch; 0 writes an aspect ratio 1:1
};

// Fixed header layout of streams written without restart markers: everything up
// to the end of the start-of-scan segment. TIFF JPEG pages point into it.
constexpr size_t kGreyHeaderLength = 328;
constexpr size_t kColourHeaderLength = 623;
// Offsets of table data inside the stream (quantisation values behind their DQT
// header, Huffman counts behind their DHT header).
constexpr size_t kLumaQuantOffset = 25;
constexpr size_t kChromaQuantOffset = 94; // colour only
constexpr size_t kGreyDcTableOffset = 107;
constexpr size_t kGreyAcTableOffset = 140;
constexpr size_t kColourLumaDcOffset = 182;
constexpr size_t kColourLumaAcOffset = 215;
constexpr size_t kColourChromaDcOffset = 398;
constexpr size_t kColourChromaAcOffset = 431;

// Encodes one page. Returns false (and sets *error when given) for bad parameters.
bool Encode(const EncodeParams& params, std::vector<uint8_t>& out, std::string* error = nullptr);
// Encodes a grey or colour page view where its rows lie (any row order); the
// density is the view's horizontal resolution.
bool Encode(const CPageView& page, const EncodeOptions& options, std::vector<uint8_t>& out,
            std::string* error = nullptr);

// The quantisation table (natural order) the encoder uses: 0 luminance, 1 chrominance.
void QuantTable(int quality, int table, uint16_t out[64]);

struct HeaderInfo {
    int width = 0;
    int height = 0;
    int components = 0;
    int densityUnit = 0; // JFIF units: 0 aspect only, 1 per inch, 2 per cm
    int xDensity = 0;
    int yDensity = 0;
    bool progressive = false; // seen, but not decodable here
    int restartInterval = 0;
    size_t headerLength = 0;     // bytes up to the end of the first SOS segment
    int hSamp[4] = {0, 0, 0, 0}; // sampling factors by component
    int vSamp[4] = {0, 0, 0, 0};
};

// Reads markers up to the first start of scan.
bool ReadHeader(const uint8_t* data, size_t size, HeaderInfo& info, std::string* error = nullptr);

struct DecodeOptions {
    PixelOrder order = PixelOrder::BGR;
    // Refuse images larger than this (pixels) before allocating anything.
    uint64_t maxPixels = 200u * 1000u * 1000u;
};

struct DecodedImage {
    int width = 0;
    int height = 0;
    int components = 0;          // 1 grey or 3 colour
    std::vector<uint8_t> pixels; // top-down, rows of width x components bytes, no padding
};

// Decodes a baseline or extended-sequential Huffman stream (8-bit samples, one
// or three components, any sampling factors 1..4, interleaved or not, restart
// markers). Corrupt or truncated data fails with a message; nothing is guessed.
bool Decode(const uint8_t* data, size_t size, DecodedImage& image,
            const DecodeOptions& options = {}, std::string* error = nullptr);

// Same, into a caller's buffer of maxHeight rows of `stride` bytes; fails when the
// image does not fit (width x components > stride, or height > maxHeight).
bool DecodeInto(const uint8_t* data, size_t size, uint8_t* buffer, size_t stride, int maxHeight,
                int& width, int& height, int& components, const DecodeOptions& options = {},
                std::string* error = nullptr);

// File helpers for the library entry points.
bool ReadFileBytes(const std::string& path, std::vector<uint8_t>& data,
                   std::string* error = nullptr);
bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& data,
                    std::string* error = nullptr);

} // namespace vlm::jpeg

// The plain C entry points of vlmjpeg.dll (also usable from the static library).
extern "C" {

// Information block filled by read_JPEG_header: only the documented fields are
// written; the caller's block must be at least sizeof(VlmJpegInfoBlock) bytes.
struct VlmJpegInfoBlock {
    uint8_t reserved0[28];
    int32_t width;      // byte 28
    int32_t height;     // byte 32
    int32_t components; // byte 36
    uint8_t reserved1[260 - 40];
    uint16_t xDensity; // byte 260
    uint8_t reserved2[2];
};
static_assert(offsetof(VlmJpegInfoBlock, width) == 28 && offsetof(VlmJpegInfoBlock, height) == 32 &&
                  offsetof(VlmJpegInfoBlock, components) == 36 &&
                  offsetof(VlmJpegInfoBlock, xDensity) == 260,
              "information block layout is fixed");

// Writes a JFIF file. colourFlag 1 grey, 2 colour (B,G,R rows). 0 on success, -1 otherwise.
int vlm_save_JPEG(const char* path, const unsigned char* rows, int width, int height, int dpi,
                  int colourFlag, int stride, int quality);
// Nonzero on success.
int vlm_read_JPEG_header(const char* path, void* infoBlock);
// buffer holds *height rows of `stride` bytes: *height (required) and *width (0: only the
// stride limits it) give the room on entry, the image size on return. Rows come out
// top-down, grey or B,G,R. Nonzero on success; an image that does not fit is refused.
int vlm_read_JPEG_file(const char* path, unsigned char* buffer, int* width, int* height,
                       int stride);
}
