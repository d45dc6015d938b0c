#include "PageImage.h"

#include <cstdio>
#include <cstring>

namespace vlm::output {

namespace {

uint32_t Le32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint16_t Le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void Put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
bool SameText(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i) {
        const char x = a[i] >= 'a' && a[i] <= 'z' ? a[i] - 32 : a[i];
        if (x != b[i])
            return false;
    }
    return i == a.size() && !b[i];
}
bool Fail(std::string* error, const char* text) {
    if (error)
        *error = text;
    return false;
}

} // namespace

int DpiFromPelsPerMeter(int32_t pelsPerMeter) {
    return static_cast<int>(pelsPerMeter * 254.0 / 10000.0 + 0.5);
}

int32_t PelsPerMeterFromDpi(int dpi) {
    return static_cast<int32_t>(static_cast<int64_t>(dpi) * 10000 / 254);
}

bool ConvertDib(const void* dib, size_t size, CPageImage& page, std::string* error) {
    const auto* p = static_cast<const uint8_t*>(dib);
    if (!p || size < 40)
        return Fail(error, "bitmap header missing");
    const uint32_t headerSize = Le32(p);
    const int32_t width = static_cast<int32_t>(Le32(p + 4));
    const int32_t rawHeight = static_cast<int32_t>(Le32(p + 8));
    const int bpp = Le16(p + 14);
    const uint32_t compression = Le32(p + 16);
    const int32_t xPels = static_cast<int32_t>(Le32(p + 24));
    uint32_t colours = Le32(p + 32);
    if (headerSize < 40 || headerSize > size)
        return Fail(error, "bitmap header size is wrong");
    if (width <= 0 || rawHeight == 0 || rawHeight == INT32_MIN || width > 1000000)
        return Fail(error, "bitmap size is wrong");
    if (compression != 0)
        return Fail(error, "compressed bitmaps are not written");
    if (bpp != 1 && bpp != 8 && bpp != 24)
        return Fail(error, "only 1, 8 and 24 bits per pixel are written");
    const bool bottomUp = rawHeight > 0;
    const int height = bottomUp ? rawHeight : -rawHeight;
    if (colours == 0 && bpp <= 8)
        colours = 1u << bpp;
    if (colours > 256)
        return Fail(error, "bitmap colour table is too large");
    const size_t srcStride = (static_cast<size_t>(width) * bpp + 31) / 32 * 4;
    const size_t pixels = headerSize + static_cast<size_t>(colours) * 4;
    if (pixels > size || (size - pixels) / srcStride < static_cast<size_t>(height))
        return Fail(error, "bitmap block is shorter than its rows");

    // The usual table puts black first (0 = black): those rows are inverted to 1 = black.
    bool invert = false;
    if (bpp == 1 && colours >= 2) {
        const uint8_t* t = p + headerSize;
        invert = t[0] + t[1] + t[2] < t[4] + t[5] + t[6];
    }
    page.m_nWidth = width;
    page.m_nHeight = height;
    page.m_nBitsPerPixel = bpp;
    page.m_nDpi = DpiFromPelsPerMeter(xPels);
    page.m_nStride = (page.RowBytes() + 3) / 4 * 4;
    page.m_data.assign(page.m_nStride * height, 0);
    const size_t rowBytes = page.RowBytes();
    for (int y = 0; y < height; ++y) {
        const uint8_t* src = p + pixels + srcStride * (bottomUp ? height - 1 - y : y);
        uint8_t* dst = page.m_data.data() + page.m_nStride * y;
        std::memcpy(dst, src, rowBytes);
        if (invert)
            for (size_t i = 0; i < rowBytes; ++i)
                dst[i] = static_cast<uint8_t>(~dst[i]);
        if (bpp == 1 && (width & 7)) // bits past the last pixel stay white
            dst[rowBytes - 1] &= static_cast<uint8_t>(0xFF << (8 - (width & 7)));
    }
    return true;
}

int WriteBmpFile(const std::string& path, const CPageImage& page, std::string* error) {
    const int bpp = page.m_nBitsPerPixel;
    if ((bpp != 1 && bpp != 8 && bpp != 24) || page.m_nWidth <= 0 || page.m_nHeight <= 0 ||
        page.m_data.size() < page.m_nStride * page.m_nHeight || page.m_nStride < page.RowBytes()) {
        Fail(error, "page cannot be written as a bitmap");
        return -1;
    }
    const uint32_t tableEntries = bpp == 1 ? 2 : bpp == 8 ? 256 : 0;
    const uint32_t offset = 14 + 40 + tableEntries * 4; // 62, 1078 or 54
    const size_t fileStride = bpp == 1   ? (static_cast<size_t>(page.m_nWidth) + 31) / 32 * 4
                              : bpp == 8 ? (static_cast<size_t>(page.m_nWidth) + 3) / 4 * 4
                                         : (static_cast<size_t>(page.m_nWidth) * 3 + 3) / 4 * 4;
    const uint64_t fileSize = offset + static_cast<uint64_t>(fileStride) * page.m_nHeight;
    if (fileSize > 0xFFFFFFFFull) {
        Fail(error, "page too large for a bitmap file");
        return -1;
    }
    std::vector<uint8_t> head(offset, 0);
    head[0] = 'B';
    head[1] = 'M';
    Put32(&head[2], static_cast<uint32_t>(fileSize));
    Put32(&head[10], offset);
    Put32(&head[14], 40);
    Put32(&head[18], static_cast<uint32_t>(page.m_nWidth));
    Put32(&head[22], static_cast<uint32_t>(page.m_nHeight)); // positive: bottom-up
    Put16(&head[26], 1);
    Put16(&head[28], static_cast<uint16_t>(bpp));
    const int32_t ppm = PelsPerMeterFromDpi(page.m_nDpi);
    Put32(&head[38], static_cast<uint32_t>(ppm));
    Put32(&head[42], static_cast<uint32_t>(ppm));
    Put32(&head[46], tableEntries);
    if (bpp == 1) {
        // black, white: file pixels are 0 = black, the page's are 1 = black
        head[58] = head[59] = head[60] = 0xFF;
    } else if (bpp == 8) {
        for (int i = 0; i < 256; ++i)
            head[54 + 4 * i] = head[55 + 4 * i] = head[56 + 4 * i] = static_cast<uint8_t>(i);
    }
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) {
        Fail(error, "cannot create the bitmap file");
        return -1;
    }
    bool ok = fwrite(head.data(), 1, head.size(), f) == head.size();
    std::vector<uint8_t> row(fileStride, 0);
    const size_t rowBytes = page.RowBytes();
    for (int y = page.m_nHeight - 1; ok && y >= 0; --y) {
        std::memcpy(row.data(), page.Row(y), rowBytes);
        if (bpp == 1) {
            for (size_t i = 0; i < rowBytes; ++i)
                row[i] = static_cast<uint8_t>(~row[i]);
            if (page.m_nWidth & 7) // padding bits are written as zeros
                row[rowBytes - 1] &= static_cast<uint8_t>(0xFF << (8 - (page.m_nWidth & 7)));
        }
        ok = fwrite(row.data(), 1, fileStride, f) == fileStride;
    }
    ok = (fclose(f) == 0) && ok;
    if (!ok) {
        remove(path.c_str());
        Fail(error, "cannot write the bitmap file");
        return -1;
    }
    return 0;
}

const char* FileTypeExtension(const std::string& t) {
    if (SameText(t, "BMP"))
        return ".bmp";
    if (SameText(t, "JPEG"))
        return ".jpg";
    if (SameText(t, "PDF"))
        return ".pdf";
    if (SameText(t, "TIFF"))
        return ".tif";
    return "";
}

std::string PageFileName(const std::string& prefix, const CLocalTime& t,
                         const std::string& fileType) {
    char stamp[64];
    snprintf(stamp, sizeof(stamp), "%04d%02d%02d%02d%02d%02d%03d", t.m_nYear, t.m_nMonth, t.m_nDay,
             t.m_nHour, t.m_nMinute, t.m_nSecond, t.m_nMillisecond);
    return prefix + stamp + FileTypeExtension(fileType);
}

std::string UniquePageFilePath(const std::string& folder, const std::string& prefix,
                               const CLocalTime& t, const std::string& fileType,
                               const std::function<bool(const std::string&)>& exists) {
    std::string base = folder;
    if (!base.empty() && base.back() != '\\' && base.back() != '/')
        base += '\\';
    const std::string name = PageFileName(prefix, t, fileType);
    std::string path = base + name;
    const std::string ext = FileTypeExtension(fileType);
    const std::string stem = name.substr(0, name.size() - ext.size());
    for (int n = 2; exists && exists(path) && n < 10000; ++n)
        path = base + stem + "-" + std::to_string(n) + ext;
    return path;
}

int PdfCompressionCode(int compRate) {
    return compRate == 1 ? 2 : compRate == 2 ? 3 : 0;
}

void PdfOcrLanguage(int langId, uint32_t& code, uint32_t& extra) {
    static const uint32_t codes[10] = {0x1, 0x2, 0x3, 0x40, 0x8, 0x20, 0x10, 0x80, 0x4, 0x4};
    code = langId >= 0 && langId <= 9 ? codes[langId] : 0x2;
    extra = langId == 9 ? 0x100 : 0;
}

CPdfSettings MapPdfSettings(int compRate, int ocrLangId, int addOcr) {
    CPdfSettings s;
    s.m_nCompression = PdfCompressionCode(compRate);
    PdfOcrLanguage(ocrLangId, s.m_dwLanguageFlags, s.m_dwExtraFlags);
    if (addOcr == 0)
        s.m_dwLanguageFlags |= 0x80000000u;
    return s;
}

} // namespace vlm::output
