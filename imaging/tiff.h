// TIFF page files: writing single pages (uncompressed, Group 4, JPEG),
// appending page files into one multi-page file, and reading pages back.
// Portable: plain C stdio, ANSI paths.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "codecs/ccitt.h"

namespace vlm {

enum TiffTag : uint32_t {
    kTagNewSubfileType = 254,
    kTagImageWidth = 256,
    kTagImageLength = 257,
    kTagBitsPerSample = 258,
    kTagCompression = 259,
    kTagPhotometric = 262,
    kTagFillOrder = 266,
    kTagStripOffsets = 273,
    kTagOrientation = 274,
    kTagSamplesPerPixel = 277,
    kTagRowsPerStrip = 278,
    kTagStripByteCounts = 279,
    kTagXResolution = 282,
    kTagYResolution = 283,
    kTagPlanarConfig = 284,
    kTagFreeOffsets = 288,
    kTagT4Options = 292,
    kTagResolutionUnit = 296,
    kTagTileOffsets = 324,
    kTagSubIfds = 330,
    kTagJpegProc = 512,
    kTagJpegIfOffset = 513,
    kTagJpegIfByteCount = 514,
    kTagJpegQTables = 519,
    kTagJpegDcTables = 520,
    kTagJpegAcTables = 521,
    kTagExifIfd = 34665,
    kTagGpsIfd = 34853,
    kTagInteropIfd = 40965,
    kTagJpegQuality = 65537 // pseudo tag: quality of JPEG pages
};

// PhotometricInterpretation 3: samples are colour map indices.
constexpr uint32_t kPhotometricPalette = 3;

enum TiffType : uint16_t {
    kTypeByte = 1,
    kTypeAscii = 2,
    kTypeShort = 3,
    kTypeLong = 4,
    kTypeRational = 5,
    kTypeSbyte = 6,
    kTypeUndefined = 7,
    kTypeSshort = 8,
    kTypeSlong = 9,
    kTypeSrational = 10,
    kTypeFloat = 11,
    kTypeDouble = 12
};

// Bytes of one value of a field type.
uint32_t TiffTypeSize(uint16_t type);

// The JPEG library's entry points that JPEG pages need. The Windows build
// fills them from the shared JPEG library; tests supply their own.
struct TiffJpegCodec {
    // 0 on success: rows top-down (grey or B,G,R), colour 1 grey / 2 colour.
    int (*pfnSave)(const char* path, const unsigned char* rows, int width, int height, int dpi,
                   int colour, int stride, int quality) = nullptr;
    // Nonzero on success: decodes rows top-down into out; width and height in/out.
    int (*pfnRead)(const char* path, unsigned char* out, int* width, int* height,
                   int stride) = nullptr;
};
void SetTiffJpegCodec(const TiffJpegCodec& codec);

// Where the module's texts go. Console texts default to standard output,
// debugger texts to the debugger (Windows) or nowhere, run-log lines nowhere.
using TiffTextSink = void (*)(const char* text);
void SetTiffConsoleSink(TiffTextSink sink);
void SetTiffDebugSink(TiffTextSink sink);
void SetTiffRunLogSink(TiffTextSink sink);

class CTiffFile {
public:
    static constexpr int kG4LineTooComplex = CG4Encoder::kTooManyChanges;
    static constexpr int kMaxChanges = 40000;

    CTiffFile() = default;
    ~CTiffFile() { Release(); }
    CTiffFile(const CTiffFile&) = delete;
    CTiffFile& operator=(const CTiffFile&) = delete;

    // The longest path the object holds.
    static constexpr size_t kMaxPathChars = 260;

    // mode 'w' creates the file; 'r' opens it, counts the pages and reads page 1.
    // A path longer than kMaxPathChars fails (a run log line says why).
    bool Open(const char* path, char mode);

    // Writing: the page's main values (see TiffTag); -1 for other tags.
    int TiffSetTagOld(uint32_t tag, uint32_t value);
    // Writing: an extra entry; data holds count values of the type.
    int TiffSetTag(uint16_t tag, uint16_t type, uint32_t count, const void* data);
    // Writing: rows top to bottom, `stride` bytes apart (0: packed). Colour rows
    // are B,G,R. 0, -1, or kG4LineTooComplex.
    int WriteRows(const uint8_t* rows, int count, size_t stride = 0);
    // Writing a JPEG page: all its rows at once where they lie, top to bottom,
    // `stride` bytes apart, grey or B,G,R, kept by the caller until Close. The
    // JPEG library reads them there instead of from a copy of the page. 0 or -1.
    int WriteJpegRows(const uint8_t* top, size_t stride);
    // Writing: completes the file. Reading: closes it. 0 or -1.
    int Close();

    // Reading: 256, 257, 258, 259, 277, 282 and kTagJpegQuality; -1 otherwise.
    long GetTag(uint32_t tag) const;
    int PageCount() const { return m_nPageCount; }
    // Reading: 1-based; 0 or -1.
    int OpenPage(int page);
    // Reading: bytes the current page needs (rows padded to 4 bytes); 0 if unreadable.
    size_t PageBufferSize() const;
    size_t RowStride() const;
    // Reading: decodes the current page, rows top-down, 1 = black for bilevel,
    // 0 = black for grey, colour as B,G,R. 0 or -1.
    int ReadPage(uint8_t* buffer, size_t size);

    void Release();

    char Mode() const { return m_cMode; }
    bool IsBigEndian() const { return m_bBigEndian; }
    int Photometric() const { return m_nPhotometric; }

private:
    struct Entry {
        uint16_t tag;
        uint16_t type;
        uint32_t count;
        std::vector<uint8_t> data;
    };

    bool OpenForReading();
    int BeginPage();
    void AddEntry(uint16_t tag, uint16_t type, uint32_t count, const void* data);
    void AddShort(uint16_t tag, uint16_t v) { AddEntry(tag, kTypeShort, 1, &v); }
    void AddLong(uint16_t tag, uint32_t v) { AddEntry(tag, kTypeLong, 1, &v); }
    void AddRational(uint16_t tag, uint32_t num);
    void SortEntries();
    int FlushG4();
    int WriteDirectory();
    int CloseJpeg();
    int ReadIfd(uint64_t offset);
    int ReadUncompressed(uint8_t* buffer);
    int ReadFax(uint8_t* buffer);
    int ReadJpeg(uint8_t* buffer, size_t size);
    size_t RowBytes() const;

    std::string m_strPath;
    std::FILE* m_pFile = nullptr;
    char m_cMode = 0;
    bool m_bBigEndian = false;
    int m_nPageCount = 0;

    uint32_t m_nWidth = 0;
    uint32_t m_nLength = 0;
    uint32_t m_nBitsPerSample = 1;
    uint32_t m_nSamplesPerPixel = 1;
    uint32_t m_nCompression = 1;
    uint32_t m_nPhotometric = 0;
    uint32_t m_nRowsPerStrip = 0;
    uint32_t m_nXResolution = 0;
    uint32_t m_nYResolution = 0;
    uint32_t m_nJpegQuality = 75;
    uint32_t m_nFillOrder = 1;
    uint32_t m_nT4Options = 0;
    uint32_t m_nPlanar = 1;
    uint32_t m_nJpegProc = 0;
    uint32_t m_nJpegOffset = 0;
    uint32_t m_nJpegLength = 0;
    std::vector<uint32_t> m_vecStripOffsets;
    std::vector<uint32_t> m_vecStripByteCounts;

    std::vector<uint8_t> m_vecJpegPage;   // whole page, JPEG only
    const uint8_t* m_pJpegRows = nullptr; // the caller's rows instead (WriteJpegRows)
    size_t m_nJpegStride = 0;
    std::unique_ptr<CG4Encoder> m_pG4;
    uint64_t m_nIfdOffset = 0;
    uint64_t m_nFileSize = 0;
    uint32_t m_nRowsWritten = 0;
    uint64_t m_nBytesWritten = 0;
    std::vector<uint8_t> m_vecRow; // scratch row for colour order

    std::vector<Entry> m_vecEntries;
    uint32_t m_nDataOffset = 0;
    bool m_bFailed = false;
    bool m_bStarted = false; // first row seen: tags are fixed
};

// Appends the pages of pagePath to targetPath. 0 success; 1 a file cannot be
// opened, the target is not a little-endian TIFF or the page file is not a
// well-formed one; 2 the result would reach 2 GB; -1 an input/output failure.
// The target is unchanged unless 0 is returned.
int ConcatTiff(const char* targetPath, const char* pagePath);

} // namespace vlm
