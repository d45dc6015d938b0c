// Streaming PDF writer for scanned pages: each page is written to the file as it
// is added (image, content, page object); only the object offsets stay in memory.
// Portable: no Windows API.
#pragma once

#include "jpegcodec.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace vlm::pdf {

// Compression codes of the document settings.
constexpr int kCompressionNormal = 0;
constexpr int kCompressionHigh = 2;
constexpr int kCompressionCharacter = 3; // text kept sharp

// Image settings behind a compression code. Bilevel pages are always Group 4
// (lossless); the code only changes how grey and colour pages are coded. For
// character precedence they are the background's: the text is not in it.
struct ImageSettings {
    int jpegQuality;
    jpeg::Chroma chroma;
};
ImageSettings SettingsForCompression(int code);

// Page resolution as the writer takes it: 0 or less counts as 72 dpi.
inline int PageDpi(const CPageView& page) {
    return page.m_nXDpi > 0 ? page.m_nXDpi : 72;
}
// Pixels to PDF points (1/72 inch).
inline double Points(int pixels, int dpi) {
    return pixels * 72.0 / dpi;
}

// What a page shows: its images (each an XObject with its name in the page's
// resources) and the content stream that draws them.
struct PageImage {
    std::string name;          // resource name without the slash, e.g. "Im0"
    std::string dict;          // the stream dictionary's entries, without /Length
    std::vector<uint8_t> data; // the coded image
};
struct PageDrawing {
    std::vector<PageImage> images;
    std::string content;
};

struct DocumentSettings {
    int compression = kCompressionNormal;
    uint32_t languageFlags = 0; // text recognition languages; recorded, not acted on
    uint32_t extraFlags = 0;
};

class CPdfWriter {
public:
    CPdfWriter() = default;
    ~CPdfWriter(); // an open document is finished, so that no page is lost
    CPdfWriter(const CPdfWriter&) = delete;
    CPdfWriter& operator=(const CPdfWriter&) = delete;

    bool Open(const std::string& path, const DocumentSettings& settings,
              std::string* error = nullptr);
    // A bilevel (Group 4), grey or colour (JPEG) page, coded where its rows lie.
    // A resolution of 0 or less counts as 72 dpi, one pixel per point.
    bool AddPage(const CPageView& page, std::string* error = nullptr);
    // Writes the page tree, catalogue, document information, cross-reference
    // table and trailer. false when any write of the document failed.
    bool Close(std::string* error = nullptr);

    bool IsOpen() const { return m_pFile != nullptr; }
    uint64_t BytesWritten() const { return m_nBytes; }
    int PageCount() const { return static_cast<int>(m_vecPageObjects.size()); }
    const std::string& Path() const { return m_strPath; }

private:
    // The page's images and content as a single image.
    bool DrawSingleImage(const CPageView& page, const ImageSettings& settings, PageDrawing& drawing,
                         std::string* error);
    // Writes one stream object: every stream of the document goes through here.
    // Returns the object number, 0 when the write failed.
    int WriteStreamObject(const std::string& dict, const void* data, size_t size);
    bool Write(const void* data, size_t n);
    bool Printf(const char* fmt, ...);
    int NewObject(); // records the current offset for the next object number
    bool Fail(std::string* error, const std::string& text);

    FILE* m_pFile = nullptr;
    std::string m_strPath;
    DocumentSettings m_settings;
    uint64_t m_nBytes = 0;
    bool m_bWriteFailed = false;
    std::vector<uint64_t> m_vecOffsets; // by object number; [0] unused
    std::vector<int> m_vecPageObjects;
};

} // namespace vlm::pdf
