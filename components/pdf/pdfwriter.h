// Streaming PDF writer for scanned pages: each page is written to the file as it
// is added (image, content, page object); only the object offsets stay in memory.
// Portable: no Windows API.
#pragma once

#include "jpegcodec.h"

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace vlm::pdf {

// Compression codes of the document settings.
constexpr int kCompressionNormal = 0;
constexpr int kCompressionHigh = 2;
constexpr int kCompressionCharacter = 3; // text kept sharp

// Image settings behind a compression code. Bilevel pages are always Group 4
// (lossless); the code only changes how grey and colour pages are coded.
struct ImageSettings {
    int jpegQuality;
    jpeg::Chroma chroma;
};
ImageSettings SettingsForCompression(int code);

struct DocumentSettings {
    int compression = kCompressionNormal;
    uint32_t languageFlags = 0; // text recognition languages (see ocrengine.h)
    uint32_t extraFlags = 0;
    // Protection (pdfsecurity.h): passwords as PreparePassword gave them; the
    // document is encrypted when either is set. permissions: kAllow* bits.
    std::string userPassword, ownerPassword;
    unsigned permissions = 0x7;
    bool pdfA = false; // PDF/A-2b (pdfa.h); never together with a password
    bool IsProtected() const { return !userPassword.empty() || !ownerPassword.empty(); }
};

// A page whose image is in the file and whose content and page object follow
// later (when its text is recognised).
struct PendingPage {
    int index = -1; // place in the document
    int imageObject = 0;
    double widthPt = 0, heightPt = 0;
};

class CStandardSecurity;

class CPdfWriter {
public:
    CPdfWriter();
    ~CPdfWriter(); // an open document is finished, so that no page is lost
    CPdfWriter(const CPdfWriter&) = delete;
    CPdfWriter& operator=(const CPdfWriter&) = delete;

    bool Open(const std::string& path, const DocumentSettings& settings,
              std::string* error = nullptr);
    // A bilevel (Group 4), grey or colour (JPEG) page, coded where its rows lie.
    // A resolution of 0 or less counts as 72 dpi, one pixel per point.
    bool AddPage(const CPageView& page, std::string* error = nullptr);
    // AddPage in two steps: the image now, the content and page object later.
    // Pages keep the order of BeginPage; Close finishes any page left pending
    // with its image alone. moreContent follows the image in the content
    // stream; fontObject > 0 makes it the page's font /F0.
    bool BeginPage(const CPageView& page, PendingPage& pending, std::string* error = nullptr);
    bool FinishPage(const PendingPage& pending, const std::string& moreContent, int fontObject,
                    std::string* error = nullptr);
    // An object number whose object is written later with WriteObject or
    // WriteStreamObject (before Close).
    int ReserveObject() { return NewObject(); }
    // "n 0 obj\n<< dictEntries/Length len >>\nstream\n" data EOL "endstream\nendobj\n".
    // Every stream object and every string of the document passes through
    // WriteStreamObject and TextString, so that encryption happens in one
    // place; dictEntries end with a space when not empty.
    bool WriteStreamObject(int object, const std::string& dictEntries, const void* data,
                           size_t size);
    std::string TextString(const std::string& text);       // "(text)", or its cipher text in hex
    bool WriteObject(int object, const std::string& body); // body without "obj"/"endobj"
    // Recorded in the document information: the pages carry recognised text.
    void SetTextApplied(bool applied) { m_bTextApplied = applied; }
    // Writes the page tree, catalogue, document information, cross-reference
    // table and trailer. false when any write of the document failed.
    bool Close(std::string* error = nullptr);

    bool IsOpen() const { return m_pFile != nullptr; }
    uint64_t BytesWritten() const { return m_nBytes; }
    int PageCount() const { return static_cast<int>(m_vecPageObjects.size()); }
    const std::string& Path() const { return m_strPath; }

private:
    bool Write(const void* data, size_t n);
    bool Printf(const char* fmt, ...);
    int NewObject(); // records the current offset for the next object number
    bool Fail(std::string* error, const std::string& text);
    // The PDF/A metadata and output intent objects (pdfa.cpp); answers the
    // catalogue entries that refer to them.
    std::string WriteArchiveObjects(time_t created);

    FILE* m_pFile = nullptr;
    std::string m_strPath;
    DocumentSettings m_settings;
    uint64_t m_nBytes = 0;
    bool m_bWriteFailed = false;
    std::vector<uint64_t> m_vecOffsets;    // by object number; [0] unused
    std::vector<int> m_vecPageObjects;     // 0 while the page is pending
    std::vector<PendingPage> m_vecPending; // pages begun and not yet finished
    bool m_bTextApplied = false;
    std::unique_ptr<CStandardSecurity> m_pSecurity;
};

} // namespace vlm::pdf
