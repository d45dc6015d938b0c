// Turns a sheet from the simulated feeder into the image a scan delivers at
// the negotiated pixel type, resolution and page size, and packs it for the
// two transfer mechanisms. Portable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vx410ds {

struct ScanFormat {
    int m_nPixelType = 0; // TWPT_BW, TWPT_GRAY, TWPT_RGB
    int m_nXRes = 200;
    int m_nYRes = 200;
    double m_dWidthIn = 8.27;
    double m_dLengthIn = 11.69;

    int Width() const;  // pixels
    int Height() const; // rows
    int BitsPerPixel() const { return m_nPixelType == 2 ? 24 : m_nPixelType == 1 ? 8 : 1; }
};

// A scanned page in TWAIN memory-transfer order: rows top-down without
// padding; 1-bit MSB first with 0 = black (TWPF_CHOCOLATE), 8-bit 0 = black,
// 24-bit R,G,B.
struct ScannedPage {
    int m_nWidth = 0;
    int m_nHeight = 0;
    int m_nBitsPerPixel = 0;
    size_t m_nRowBytes = 0;
    std::vector<uint8_t> m_data;
};

// A sheet's picture as the simulator describes it (rows top-down, no
// padding, 1-bit 1 = black, 8-bit 0 = black, 24-bit B,G,R).
struct SheetImage {
    int m_nWidth = 0;
    int m_nHeight = 0;
    int m_nBitsPerPixel = 0;
    int m_nDpi = 0; // 0: unknown, taken as 200
    const uint8_t* m_pData = nullptr;
};

// A generated sheet (vx410sim::GeneratePage) rendered at the format.
bool RenderGenerated(const ScanFormat& fmt, int pageNumber, ScannedPage& out, std::string* pError);
// An image-file sheet: scaled to the scan resolution by its own dpi, placed
// at the top left of the page (cropped or padded with white), converted to
// the pixel type.
bool RenderSheet(const ScanFormat& fmt, const SheetImage& sheet, ScannedPage& out,
                 std::string* pError);
// Converts a simulator-layout image of the format's size into scan order.
bool FromSimulatorLayout(const ScanFormat& fmt, const uint8_t* p, size_t n, ScannedPage& out,
                         std::string* pError);

// A packed device-independent bitmap (BITMAPINFOHEADER, palette for 1 and
// 8 bits, rows bottom-up padded to 4 bytes, 24-bit B,G,R), as the native
// transfer delivers it. Built without Windows headers.
std::vector<uint8_t> MakePackedDib(const ScannedPage& page, int xRes, int yRes);

} // namespace vx410ds
