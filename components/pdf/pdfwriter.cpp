#include "pdfwriter.h"

#include "codecs/ccitt.h"
#include "mrc.h"

#include <cstdarg>
#include <ctime>

namespace vlm::pdf {

namespace {
// Objects written at close get fixed numbers so that pages can refer to them.
constexpr int kCatalogObject = 1;
constexpr int kPagesObject = 2;
constexpr int kInfoObject = 3;
constexpr int kFirstFreeObject = 4;
} // namespace

ImageSettings SettingsForCompression(int code) {
    switch (code) {
    case kCompressionHigh:
        return {50, jpeg::Chroma::Subsampled420};
    case kCompressionCharacter:
        // The background only: the text is drawn over it at full resolution.
        return {50, jpeg::Chroma::Subsampled420};
    default:
        return {75, jpeg::Chroma::Subsampled420};
    }
}

CPdfWriter::~CPdfWriter() {
    if (m_pFile)
        Close();
}

bool CPdfWriter::Fail(std::string* error, const std::string& text) {
    if (error)
        *error = text;
    return false;
}

bool CPdfWriter::Write(const void* data, size_t n) {
    if (!m_pFile || m_bWriteFailed)
        return false;
    if (n && fwrite(data, 1, n, m_pFile) != n) {
        m_bWriteFailed = true;
        return false;
    }
    m_nBytes += n;
    return true;
}

bool CPdfWriter::Printf(const char* fmt, ...) {
    char buf[512];
    va_list args;
    va_start(args, fmt);
    const int n = vsnprintf(buf, sizeof(buf), fmt, args);
    va_end(args);
    if (n < 0 || n >= static_cast<int>(sizeof(buf)))
        return false;
    return Write(buf, static_cast<size_t>(n));
}

int CPdfWriter::NewObject() {
    m_vecOffsets.push_back(m_nBytes);
    return static_cast<int>(m_vecOffsets.size()) - 1;
}

bool CPdfWriter::Open(const std::string& path, const DocumentSettings& settings,
                      std::string* error) {
    if (m_pFile)
        return Fail(error, "a document is already open");
    if (path.empty())
        return Fail(error, "no document path");
    m_pFile = fopen(path.c_str(), "wb");
    if (!m_pFile)
        return Fail(error, "cannot create " + path);
    m_strPath = path;
    m_settings = settings;
    m_nBytes = 0;
    m_bWriteFailed = false;
    m_vecPageObjects.clear();
    // Objects 1..3 are written at close; their offsets are filled in then.
    m_vecOffsets.assign(kFirstFreeObject, 0);
    // The binary comment line tells transfer programs that the file is binary.
    static const char header[] = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
    if (!Write(header, sizeof(header) - 1))
        return Fail(error, "cannot write " + path);
    return true;
}

int CPdfWriter::WriteStreamObject(const std::string& dict, const void* data, size_t size) {
    const int obj = NewObject();
    const bool ok = Printf("%d 0 obj\n<< ", obj) && Write(dict.data(), dict.size()) &&
                    Printf("/Length %zu >>\nstream\n", size) && Write(data, size) &&
                    Printf("\nendstream\nendobj\n");
    return ok ? obj : 0;
}

bool CPdfWriter::DrawSingleImage(const CPageView& page, const ImageSettings& settings,
                                 PageDrawing& drawing, std::string* error) {
    const bool bilevel = page.m_nBitsPerPixel == 1;
    PageImage image;
    image.name = "Im0";
    char dict[256];
    if (bilevel) {
        image.data = vlm::EncodeG4(page);
        if (image.data.empty())
            return Fail(error, "Group 4 coding failed");
        snprintf(dict, sizeof(dict),
                 "/Type /XObject /Subtype /Image /Width %d /Height %d /ColorSpace /DeviceGray "
                 "/BitsPerComponent 1 /Filter /CCITTFaxDecode "
                 "/DecodeParms << /K -1 /Columns %d /Rows %d /BlackIs1 false >> ",
                 page.m_nWidth, page.m_nHeight, page.m_nWidth, page.m_nHeight);
    } else {
        jpeg::EncodeOptions options;
        options.quality = settings.jpegQuality;
        options.chroma = settings.chroma;
        std::string err;
        if (!jpeg::Encode(page, options, image.data, &err))
            return Fail(error, "JPEG coding failed: " + err);
        snprintf(dict, sizeof(dict),
                 "/Type /XObject /Subtype /Image /Width %d /Height %d /ColorSpace %s "
                 "/BitsPerComponent 8 /Filter /DCTDecode ",
                 page.m_nWidth, page.m_nHeight,
                 page.m_nBitsPerPixel == 24 ? "/DeviceRGB" : "/DeviceGray");
    }
    image.dict = dict;
    drawing.images.push_back(std::move(image));
    const int dpi = PageDpi(page);
    char content[160];
    snprintf(content, sizeof(content), "q %.4f 0 0 %.4f 0 0 cm /Im0 Do Q\n",
             Points(page.m_nWidth, dpi), Points(page.m_nHeight, dpi));
    drawing.content = content;
    return true;
}

bool CPdfWriter::AddPage(const CPageView& page, std::string* error) {
    if (!m_pFile)
        return Fail(error, "no document is open");
    if (!page.m_pTop || page.m_nWidth < 1 || page.m_nHeight < 1 || page.m_nWidth > 65535 ||
        page.m_nHeight > 65535)
        return Fail(error, "page has no pixels or is too large");
    if (!page.IsValid())
        return Fail(error, "row stride shorter than a row");

    PageDrawing drawing;
    const ImageSettings settings = SettingsForCompression(m_settings.compression);
    // Character precedence: text over a background; a page that cannot be
    // split (too large for memory) becomes one image as at the normal code.
    const bool mixed = m_settings.compression == kCompressionCharacter &&
                       page.m_nBitsPerPixel != 1 &&
                       DrawMixedRaster(page, settings, SegmentOptions(), drawing);
    if (!mixed) {
        drawing = PageDrawing();
        const ImageSettings single = m_settings.compression == kCompressionCharacter
                                         ? SettingsForCompression(kCompressionNormal)
                                         : settings;
        if (!DrawSingleImage(page, single, drawing, error))
            return false;
    }

    const int dpi = PageDpi(page);
    const double wPt = Points(page.m_nWidth, dpi), hPt = Points(page.m_nHeight, dpi);
    std::string resources;
    bool ok = true;
    for (const PageImage& image : drawing.images) {
        const int obj = WriteStreamObject(image.dict, image.data.data(), image.data.size());
        ok = ok && obj != 0;
        resources += "/" + image.name + " " + std::to_string(obj) + " 0 R ";
    }
    drawing.images.clear(); // the coded images are in the file: free them before the next page
    const int contentObj =
        ok ? WriteStreamObject("", drawing.content.data(), drawing.content.size()) : 0;
    const int pageObj = NewObject();
    ok = ok && contentObj != 0 &&
         Printf("%d 0 obj\n<< /Type /Page /Parent %d 0 R /MediaBox [0 0 %.4f %.4f] ", pageObj,
                kPagesObject, wPt, hPt) &&
         Printf("/Resources << /XObject << ") && Write(resources.data(), resources.size()) &&
         Printf(">> >> /Contents %d 0 R >>\nendobj\n", contentObj);
    // Hand the page to the system now: a long batch never waits in our buffers.
    ok = ok && fflush(m_pFile) == 0;
    if (!ok) {
        m_bWriteFailed = true;
        return Fail(error, "cannot write " + m_strPath);
    }
    m_vecPageObjects.push_back(pageObj);
    return true;
}

bool CPdfWriter::Close(std::string* error) {
    if (!m_pFile)
        return Fail(error, "no document is open");
    bool ok = true;
    m_vecOffsets[kPagesObject] = m_nBytes;
    ok = ok && Printf("%d 0 obj\n<< /Type /Pages /Count %d /Kids [", kPagesObject,
                      static_cast<int>(m_vecPageObjects.size()));
    for (size_t i = 0; ok && i < m_vecPageObjects.size(); ++i)
        ok = Printf(i % 10 == 9 ? "%d 0 R\n" : "%d 0 R ", m_vecPageObjects[i]);
    ok = ok && Printf("] >>\nendobj\n");
    m_vecOffsets[kCatalogObject] = m_nBytes;
    ok = ok && Printf("%d 0 obj\n<< /Type /Catalog /Pages %d 0 R >>\nendobj\n", kCatalogObject,
                      kPagesObject);

    const time_t now = time(nullptr);
    struct tm t = {};
#ifdef _WIN32
    localtime_s(&t, &now);
#else
    localtime_r(&now, &t);
#endif
    char date[32];
    strftime(date, sizeof(date), "D:%Y%m%d%H%M%S", &t);
    m_vecOffsets[kInfoObject] = m_nBytes;
    // Text recognition is not part of this writer: the requested languages are
    // recorded so that a later recognition step (or the user) can see them.
    ok =
        ok && Printf("%d 0 obj\n<< /Producer (Velmora Works PDF maker) /Creator (VX-410 Task Deck) "
                     "/CreationDate (%s) /VlmCompression %d /VlmOcrLanguages %u /VlmOcrExtra %u "
                     "/VlmOcrApplied false >>\nendobj\n",
                     kInfoObject, date, m_settings.compression,
                     static_cast<unsigned>(m_settings.languageFlags),
                     static_cast<unsigned>(m_settings.extraFlags));

    const uint64_t xref = m_nBytes;
    const size_t count = m_vecOffsets.size();
    ok = ok && Printf("xref\n0 %zu\n0000000000 65535 f \n", count);
    for (size_t i = 1; ok && i < count; ++i)
        ok = Printf("%010llu 00000 n \n", static_cast<unsigned long long>(m_vecOffsets[i]));
    // A document identifier from the time and size keeps two files of one second apart.
    const unsigned long long id = (static_cast<unsigned long long>(now) << 20) ^ m_nBytes;
    ok = ok &&
         Printf("trailer\n<< /Size %zu /Root %d 0 R /Info %d 0 R /ID [<%016llX> <%016llX>] >>\n"
                "startxref\n%llu\n%%%%EOF\n",
                count, kCatalogObject, kInfoObject, id, id, static_cast<unsigned long long>(xref));
    const bool writeFailed = m_bWriteFailed;
    const bool closed = fclose(m_pFile) == 0;
    m_pFile = nullptr;
    m_vecOffsets.clear();
    m_vecPageObjects.clear();
    if (!ok || writeFailed || !closed)
        return Fail(error, "cannot write " + m_strPath);
    return true;
}

} // namespace vlm::pdf
