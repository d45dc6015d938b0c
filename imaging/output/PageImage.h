// The portable half of the runner's page writers: the view of the scan
// engine's page buffer, the BMP and TIFF page files, and page file names.
// Every writer takes a vlm::CPageView (codecs/PageView.h), made from the page
// buffer here or from the native bitmap with vlm::ViewOfDib.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "codecs/PageView.h"
#include "scan/core/PageInfo.h"

namespace vlm::output {

using vlm::CPageView;

// The page buffer of a memory transfer: rows top-down, Sync bytes apart,
// colour B,G,R. Bilevel rows have 0 = black unless the source was set to
// deliver 1 = black (TWAIN's pixel flavour). false for compressed data, no
// image, or a depth other than 1, 8 or 24 bits.
bool ViewOfPageBuffer(const VlmImageInfo& info, CPageView& view, bool oneIsBlack = false,
                      std::string* error = nullptr);

// BMP page file: bottom-up rows of the file's own stride, a black/white table
// for 1-bit, a 256-entry grey table for 8-bit, none for 24-bit. 0 or -1; a
// file left half-written is removed.
int WriteBmpFile(const std::string& path, const CPageView& page, std::string* error = nullptr);

struct CTiffPageOptions {
    bool m_bCompress = false; // Group 4 for bilevel pages, JPEG for grey and colour
    int m_nJpegQuality = 75;
};
// Single-page TIFF file, uncompressed or compressed. JPEG pages go through the
// JPEG library installed with vlm::SetTiffJpegCodec. 0, or -1 (or
// CTiffFile::kG4LineTooComplex for a row the Group 4 coder cannot hold); a
// file left half-written is removed.
int WriteTiffPageFile(const std::string& path, const CPageView& page,
                      const CTiffPageOptions& options, std::string* error = nullptr);

struct CLocalTime {
    int m_nYear, m_nMonth, m_nDay, m_nHour, m_nMinute, m_nSecond, m_nMillisecond;
};

// prefix + "%04d%02d%02d%02d%02d%02d%03d" + the file type's extension.
std::string PageFileName(const std::string& prefix, const CLocalTime& t,
                         const std::string& fileType);

// The same name in `folder`, made unique: when a file of that name exists (two
// pages within one millisecond), "-2", "-3", ... goes before the extension so
// that no page overwrites another. `exists` answers for a full path.
std::string UniquePageFilePath(const std::string& folder, const std::string& prefix,
                               const CLocalTime& t, const std::string& fileType,
                               const std::function<bool(const std::string&)>& exists);

} // namespace vlm::output
