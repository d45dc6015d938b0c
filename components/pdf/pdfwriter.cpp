#include "pdfwriter.h"

#include "codecs/ccitt.h"
#include "pdfa.h"
#include "pdfsecurity.h"

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
        // Full chroma and finer quantisation keep coloured and grey text edges clean.
        return {90, jpeg::Chroma::Full444};
    default:
        return {75, jpeg::Chroma::Subsampled420};
    }
}

CPdfWriter::CPdfWriter() = default;

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

bool CPdfWriter::WriteStreamObject(int object, const std::string& dictEntries, const void* data,
                                   size_t size) {
    if (object < 1 || static_cast<size_t>(object) >= m_vecOffsets.size())
        return false;
    m_vecOffsets[object] = m_nBytes;
    std::vector<uint8_t> sealed;
    if (m_pSecurity) {
        const uint8_t* bytes = static_cast<const uint8_t*>(data);
        sealed.assign(bytes, bytes + size);
        if (!m_pSecurity->Encrypt(sealed)) {
            m_bWriteFailed = true;
            return false;
        }
        data = sealed.data();
        size = sealed.size();
    }
    // Plain documents keep their earlier bytes, where a final newline of the
    // data stood for the end-of-line before "endstream". PDF/A wants that EOL
    // outside the length, and cipher text may end in any byte.
    const bool ownEol = !m_pSecurity && !m_settings.pdfA && size &&
                        static_cast<const char*>(data)[size - 1] == '\n';
    return Printf("%d 0 obj\n<< ", object) && Write(dictEntries.data(), dictEntries.size()) &&
           Printf("/Length %zu >>\nstream\n", size) && Write(data, size) &&
           Printf(ownEol ? "endstream\nendobj\n" : "\nendstream\nendobj\n");
}

std::string CPdfWriter::TextString(const std::string& text) {
    if (m_pSecurity) {
        std::vector<uint8_t> data(text.begin(), text.end());
        if (!m_pSecurity->Encrypt(data))
            m_bWriteFailed = true;
        static const char digits[] = "0123456789ABCDEF";
        std::string hex = "<";
        for (uint8_t b : data)
            hex += {digits[b >> 4], digits[b & 15]};
        return hex + ">";
    }
    std::string literal = "(";
    for (char c : text) {
        if (c == '(' || c == ')' || c == '\\')
            literal += '\\';
        literal += c;
    }
    return literal + ")";
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
    if (settings.IsProtected()) {
        if (settings.pdfA)
            return Fail(error, "a PDF/A document cannot be protected");
        m_pSecurity = std::make_unique<CStandardSecurity>();
        if (!m_pSecurity->Setup(settings.userPassword, settings.ownerPassword,
                                settings.permissions)) {
            m_pSecurity.reset();
            return Fail(error, "the platform's cryptography is not available");
        }
    }
    m_pFile = fopen(path.c_str(), "wb");
    if (!m_pFile) {
        m_pSecurity.reset();
        return Fail(error, "cannot create " + path);
    }
    m_strPath = path;
    m_settings = settings;
    m_nBytes = 0;
    m_bWriteFailed = false;
    m_vecPageObjects.clear();
    m_vecPending.clear();
    m_bTextApplied = false;
    // Objects 1..3 are written at close; their offsets are filled in then.
    m_vecOffsets.assign(kFirstFreeObject, 0);
    // The binary comment line tells transfer programs that the file is binary.
    // AES-256 belongs to PDF 2.0; PDF/A-2 is based on PDF 1.7.
    const char* version = m_pSecurity ? "2.0" : settings.pdfA ? "1.7" : "1.4";
    const std::string header = std::string("%PDF-") + version + "\n%\xE2\xE3\xCF\xD3\n";
    if (!Write(header.data(), header.size()))
        return Fail(error, "cannot write " + path);
    return true;
}

bool CPdfWriter::WriteObject(int object, const std::string& body) {
    if (object < 1 || static_cast<size_t>(object) >= m_vecOffsets.size())
        return false;
    m_vecOffsets[object] = m_nBytes;
    return Printf("%d 0 obj\n", object) && Write(body.data(), body.size()) && Printf("endobj\n");
}

bool CPdfWriter::AddPage(const CPageView& page, std::string* error) {
    PendingPage pending;
    return BeginPage(page, pending, error) && FinishPage(pending, std::string(), 0, error);
}

bool CPdfWriter::BeginPage(const CPageView& page, PendingPage& pending, std::string* error) {
    if (!m_pFile)
        return Fail(error, "no document is open");
    if (!page.m_pTop || page.m_nWidth < 1 || page.m_nHeight < 1 || page.m_nWidth > 65535 ||
        page.m_nHeight > 65535)
        return Fail(error, "page has no pixels or is too large");
    if (!page.IsValid())
        return Fail(error, "row stride shorter than a row");

    const bool bilevel = page.m_nBitsPerPixel == 1;
    std::vector<uint8_t> data;
    const char* filter;
    const char* colourSpace = page.m_nBitsPerPixel == 24 ? "/DeviceRGB" : "/DeviceGray";
    int bits = 8;
    if (bilevel) {
        data = vlm::EncodeG4(page);
        if (data.empty())
            return Fail(error, "Group 4 coding failed");
        filter = "/CCITTFaxDecode";
        bits = 1;
    } else {
        const ImageSettings is = SettingsForCompression(m_settings.compression);
        jpeg::EncodeOptions options;
        options.quality = is.jpegQuality;
        options.chroma = is.chroma;
        std::string err;
        if (!jpeg::Encode(page, options, data, &err))
            return Fail(error, "JPEG coding failed: " + err);
        filter = "/DCTDecode";
    }

    const int dpi = page.m_nXDpi > 0 ? page.m_nXDpi : 72;
    pending.widthPt = page.m_nWidth * 72.0 / dpi;
    pending.heightPt = page.m_nHeight * 72.0 / dpi;
    char dict[256];
    snprintf(dict, sizeof(dict),
             "/Type /XObject /Subtype /Image /Width %d /Height %d "
             "/ColorSpace %s /BitsPerComponent %d /Filter %s ",
             page.m_nWidth, page.m_nHeight, colourSpace, bits, filter);
    std::string entries = dict;
    if (bilevel) {
        snprintf(dict, sizeof(dict),
                 "/DecodeParms << /K -1 /Columns %d /Rows %d /BlackIs1 false >> ", page.m_nWidth,
                 page.m_nHeight);
        entries += dict;
    }
    pending.imageObject = NewObject();
    if (!WriteStreamObject(pending.imageObject, entries, data.data(), data.size()) ||
        fflush(m_pFile) != 0) {
        m_bWriteFailed = true;
        return Fail(error, "cannot write " + m_strPath);
    }
    pending.index = static_cast<int>(m_vecPageObjects.size());
    m_vecPageObjects.push_back(0);
    m_vecPending.push_back(pending);
    return true;
}

bool CPdfWriter::FinishPage(const PendingPage& pending, const std::string& moreContent,
                            int fontObject, std::string* error) {
    if (!m_pFile)
        return Fail(error, "no document is open");
    if (pending.index < 0 || static_cast<size_t>(pending.index) >= m_vecPageObjects.size() ||
        m_vecPageObjects[pending.index] != 0)
        return Fail(error, "no such page pending");
    char image[160];
    snprintf(image, sizeof(image), "q %.4f 0 0 %.4f 0 0 cm /Im0 Do Q\n", pending.widthPt,
             pending.heightPt);
    const std::string content = image + moreContent;
    const int contentObj = NewObject();
    bool ok = WriteStreamObject(contentObj, std::string(), content.data(), content.size());
    char font[48] = "";
    if (fontObject > 0)
        snprintf(font, sizeof(font), " /Font << /F0 %d 0 R >>", fontObject);
    const int pageObj = NewObject();
    ok = ok && Printf("%d 0 obj\n<< /Type /Page /Parent %d 0 R /MediaBox [0 0 %.4f %.4f] "
                      "/Resources << /XObject << /Im0 %d 0 R >>%s >> /Contents %d 0 R >>\nendobj\n",
                      pageObj, kPagesObject, pending.widthPt, pending.heightPt, pending.imageObject,
                      font, contentObj);
    // Hand the page to the system now: a long batch never waits in our buffers.
    ok = ok && fflush(m_pFile) == 0;
    if (!ok) {
        m_bWriteFailed = true;
        return Fail(error, "cannot write " + m_strPath);
    }
    m_vecPageObjects[pending.index] = pageObj;
    for (size_t i = 0; i < m_vecPending.size(); ++i)
        if (m_vecPending[i].index == pending.index) {
            m_vecPending.erase(m_vecPending.begin() + static_cast<ptrdiff_t>(i));
            break;
        }
    return true;
}

bool CPdfWriter::Close(std::string* error) {
    if (!m_pFile)
        return Fail(error, "no document is open");
    bool ok = true;
    while (ok && !m_vecPending.empty())
        ok = FinishPage(m_vecPending.front(), std::string(), 0); // its image alone
    m_vecOffsets[kPagesObject] = m_nBytes;
    ok = ok && Printf("%d 0 obj\n<< /Type /Pages /Count %d /Kids [", kPagesObject,
                      static_cast<int>(m_vecPageObjects.size()));
    for (size_t i = 0; ok && i < m_vecPageObjects.size(); ++i)
        ok = Printf(i % 10 == 9 ? "%d 0 R\n" : "%d 0 R ", m_vecPageObjects[i]);
    ok = ok && Printf("] >>\nendobj\n");
    const time_t now = time(nullptr);
    const std::string archive = m_settings.pdfA ? WriteArchiveObjects(now) : std::string();
    m_vecOffsets[kCatalogObject] = m_nBytes;
    ok = ok && Printf("%d 0 obj\n<< /Type /Catalog /Pages %d 0 R%s >>\nendobj\n", kCatalogObject,
                      kPagesObject, archive.c_str());

    // PDF/A repeats the dates in the metadata, with their offset from UTC;
    // other documents keep their earlier local-time form.
    const DocumentDate date = DateOf(now);
    const std::string created = m_settings.pdfA ? date.pdf : date.pdf.substr(0, 16);
    const std::string modified = m_settings.pdfA ? " /ModDate " + TextString(date.pdf) : "";
    m_vecOffsets[kInfoObject] = m_nBytes;
    // The requested recognition languages, and whether the pages carry their text.
    char numbers[160];
    snprintf(numbers, sizeof(numbers),
             "/VlmCompression %d /VlmOcrLanguages %u /VlmOcrExtra %u /VlmOcrApplied %s",
             m_settings.compression, static_cast<unsigned>(m_settings.languageFlags),
             static_cast<unsigned>(m_settings.extraFlags), m_bTextApplied ? "true" : "false");
    const std::string info = std::to_string(kInfoObject) + " 0 obj\n<< /Producer " +
                             TextString(kProducer) + " /Creator " + TextString(kCreator) +
                             " /CreationDate " + TextString(created) + modified + " " + numbers +
                             " >>\nendobj\n";
    ok = ok && Write(info.data(), info.size());

    int encryptObj = 0;
    if (m_pSecurity) { // the handler's own dictionary is never encrypted
        encryptObj = NewObject();
        ok = ok && WriteObject(encryptObj, m_pSecurity->Dictionary() + "\n");
    }

    const uint64_t xref = m_nBytes;
    const size_t count = m_vecOffsets.size();
    ok = ok && Printf("xref\n0 %zu\n0000000000 65535 f \n", count);
    for (size_t i = 1; ok && i < count; ++i)
        ok = Printf("%010llu 00000 n \n", static_cast<unsigned long long>(m_vecOffsets[i]));
    // A document identifier from the time and size keeps two files of one second apart.
    const unsigned long long id = (static_cast<unsigned long long>(now) << 20) ^ m_nBytes;
    const std::string encryptRef =
        encryptObj ? " /Encrypt " + std::to_string(encryptObj) + " 0 R" : std::string();
    ok = ok &&
         Printf("trailer\n<< /Size %zu /Root %d 0 R /Info %d 0 R%s /ID [<%016llX> <%016llX>] >>\n"
                "startxref\n%llu\n%%%%EOF\n",
                count, kCatalogObject, kInfoObject, encryptRef.c_str(), id, id,
                static_cast<unsigned long long>(xref));
    const bool writeFailed = m_bWriteFailed;
    const bool closed = fclose(m_pFile) == 0;
    m_pFile = nullptr;
    m_vecOffsets.clear();
    m_vecPageObjects.clear();
    m_pSecurity.reset();
    m_vecPending.clear();
    m_bTextApplied = false;
    if (!ok || writeFailed || !closed)
        return Fail(error, "cannot write " + m_strPath);
    return true;
}

} // namespace vlm::pdf
