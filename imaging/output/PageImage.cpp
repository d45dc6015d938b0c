#include "PageImage.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "common/portable/JobVocabulary.h"
#include "imaging/tiff.h"

namespace vlm::output {

namespace {

void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void Put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
bool Fail(std::string* error, const char* text) {
    if (error)
        *error = text;
    return false;
}

} // namespace

bool ViewOfPageBuffer(const VlmImageInfo& info, CPageView& view, bool oneIsBlack,
                      std::string* error) {
    if (!info.lpImage)
        return Fail(error, "no page image");
    if (info.Width <= 0 || info.Height <= 0)
        return Fail(error, "compressed page data is not a page of pixels");
    const uint64_t bpp = static_cast<uint64_t>(info.Bps) * info.Spp;
    if (bpp != 1 && bpp != 8 && bpp != 24)
        return Fail(error, "only 1, 8 and 24 bits per pixel are written");
    view = ViewOfRows(info.lpImage, info.Sync, info.Width, info.Height, static_cast<int>(bpp),
                      static_cast<int>(info.XRes), oneIsBlack, ColourOrder::BGR);
    view.m_nYDpi = static_cast<int>(info.YRes);
    const uint64_t need = static_cast<uint64_t>(info.Sync) * (info.Height - 1) + view.RowBytes();
    if (!view.IsValid() || info.Sync < view.RowBytes() || info.ImageSize < need)
        return Fail(error, "page buffer is shorter than its rows");
    return true;
}

int WriteBmpFile(const std::string& path, const CPageView& page, std::string* error) {
    const int bpp = page.m_nBitsPerPixel;
    if (!page.IsValid()) {
        Fail(error, "page cannot be written as a bitmap");
        return -1;
    }
    const uint32_t tableEntries = bpp == 1 ? 2 : bpp == 8 ? 256 : 0;
    const uint32_t offset = 14 + 40 + tableEntries * 4; // 62, 1078 or 54
    const size_t fileStride = (page.RowBytes() + 3) / 4 * 4;
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
    const int32_t ppm = PelsPerMeterFromDpi(page.m_nXDpi); // both ways from the horizontal
    Put32(&head[38], static_cast<uint32_t>(ppm));
    Put32(&head[42], static_cast<uint32_t>(ppm));
    Put32(&head[46], tableEntries);
    if (bpp == 1) {
        // black, white: the file's pixels are 0 = black
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
    // Each row in the file's form, padding zero, bottom row first.
    const CRowReader reader(page, CRowForm{false, ColourOrder::BGR});
    std::vector<uint8_t> row(fileStride, 0);
    for (int y = page.m_nHeight - 1; ok && y >= 0; --y) {
        reader.ConvertInto(y, row.data());
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

int WriteTiffPageFile(const std::string& path, const CPageView& page,
                      const CTiffPageOptions& options, std::string* error) {
    if (!page.IsValid()) {
        Fail(error, "page cannot be written as TIFF");
        return -1;
    }
    const int bpp = page.m_nBitsPerPixel, spp = bpp == 24 ? 3 : 1;
    const uint32_t compression = !options.m_bCompress ? 1 : bpp == 1 ? 4 : 6;
    CTiffFile tiff;
    if (!tiff.Open(path.c_str(), 'w')) {
        Fail(error, "cannot create the TIFF file");
        return -1;
    }
    tiff.TiffSetTagOld(kTagImageWidth, static_cast<uint32_t>(page.m_nWidth));
    tiff.TiffSetTagOld(kTagImageLength, static_cast<uint32_t>(page.m_nHeight));
    tiff.TiffSetTagOld(kTagBitsPerSample, static_cast<uint32_t>(bpp / spp));
    tiff.TiffSetTagOld(kTagSamplesPerPixel, static_cast<uint32_t>(spp));
    tiff.TiffSetTagOld(kTagCompression, compression);
    tiff.TiffSetTagOld(kTagXResolution, static_cast<uint32_t>(page.m_nXDpi));
    tiff.TiffSetTagOld(kTagYResolution, static_cast<uint32_t>(page.m_nYDpi));
    tiff.TiffSetTagOld(
        kTagJpegQuality,
        static_cast<uint32_t>(options.m_nJpegQuality < 0 ? 0 : options.m_nJpegQuality));
    // The file holds bilevel 1 = black (WhiteIsZero); colour rows go in as B,G,R.
    const CRowForm form{true, ColourOrder::BGR};
    int rc = 0;
    CPageRows block; // JPEG: the library codes the whole page from one block of rows
    if (compression == 6) {
        rc = block.Make(page, form) ? tiff.WriteJpegRows(block.Rows(), block.Stride()) : -1;
    } else {
        CRowReader reader(page, form);
        for (int y = 0; rc == 0 && y < page.m_nHeight; ++y)
            rc = tiff.WriteRows(reader.Row(y), 1);
    }
    const int closed = tiff.Close(); // also after a failure: the file is let go
    if (rc == 0)
        rc = closed;
    if (rc != 0) {
        std::remove(path.c_str());
        Fail(error, rc == CTiffFile::kG4LineTooComplex ? "a row is too complex for Group 4"
                                                       : "cannot write the TIFF file");
    }
    return rc;
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

} // namespace vlm::output
