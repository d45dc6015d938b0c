// Page conversion shared by the BMP, JPEG, PDF (and TIFF) writers, the BMP file
// writer, page file names and the PDF settings of a job. Portable: the bitmap is
// read from its bytes, so no Windows API is needed here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vlm::output {

// A page ready for a writer: rows top-down, `m_nStride` bytes each (a multiple of
// 4). 1-bit: most significant bit first, 1 = black; 8-bit: 0 = black; 24-bit: B,G,R.
struct CPageImage {
    int m_nWidth = 0;
    int m_nHeight = 0;
    int m_nBitsPerPixel = 0; // 1, 8 or 24
    int m_nDpi = 0;
    size_t m_nStride = 0;
    std::vector<uint8_t> m_data;

    const uint8_t* Row(int y) const { return m_data.data() + static_cast<size_t>(y) * m_nStride; }
    size_t RowBytes() const { return (static_cast<size_t>(m_nWidth) * m_nBitsPerPixel + 7) / 8; }
};

// dots per inch from pixels per metre, rounded to nearest.
int DpiFromPelsPerMeter(int32_t pelsPerMeter);
// pixels per metre written into bitmap files for a resolution in dots per inch.
int32_t PelsPerMeterFromDpi(int dpi);

// Converts a packed device-independent bitmap (BITMAPINFOHEADER, colour table,
// rows; bottom-up, or top-down for a negative height) of `size` bytes. Depths 1,
// 8 and 24 are accepted; compressed bitmaps and other depths are refused, as is a
// block too short for its rows. Bilevel rows come out with 1 = black whichever
// way round the colour table is.
bool ConvertDib(const void* dib, size_t size, CPageImage& page, std::string* error = nullptr);

// Writes a BMP file: bottom-up rows of the file's own stride, a black/white table
// for 1-bit, a 256-entry grey table for 8-bit, none for 24-bit. 0 or -1; a file
// left half-written is removed.
int WriteBmpFile(const std::string& path, const CPageImage& page, std::string* error = nullptr);

// Extension of a file type name ("BMP", "JPEG", "PDF", "TIFF", any case); "" otherwise.
const char* FileTypeExtension(const std::string& fileType);

struct CLocalTime {
    int m_nYear, m_nMonth, m_nDay, m_nHour, m_nMinute, m_nSecond, m_nMillisecond;
};

// prefix + "%04d%02d%02d%02d%02d%02d%03d" + extension.
std::string PageFileName(const std::string& prefix, const CLocalTime& t,
                         const std::string& fileType);

// The same name in `folder`, made unique: when a file of that name exists (two
// pages within one millisecond), "-2", "-3", ... goes before the extension so
// that no page overwrites another. `exists` answers for a full path.
std::string UniquePageFilePath(const std::string& folder, const std::string& prefix,
                               const CLocalTime& t, const std::string& fileType,
                               const std::function<bool(const std::string&)>& exists);

// What the PDF maker is told for a job.
struct CPdfSettings {
    int m_nCompression = 0;
    uint32_t m_dwLanguageFlags = 0;
    uint32_t m_dwExtraFlags = 0;
};
// "pdf_CompRate" 1 -> 2, 2 -> 3, other -> 0.
int PdfCompressionCode(int compRate);
// "pdf_OCRLangID" index -> language code and the second (extra) value.
void PdfOcrLanguage(int langId, uint32_t& code, uint32_t& extra);
// All three, with "pdf_AddOCR" 0 setting bit 0x80000000 of the language flags.
CPdfSettings MapPdfSettings(int compRate, int ocrLangId, int addOcr);

} // namespace vlm::output
