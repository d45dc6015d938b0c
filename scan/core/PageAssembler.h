// Builds one page from memory-transfer strips into a CPageBuffer and keeps
// the page's image descriptor current. The TWAIN side (CTwainDriver) feeds it
// the values of TW_IMAGEINFO / TW_IMAGEMEMXFER.
#pragma once
#include <cstddef>
#include <cstdint>

#include "PageBuffer.h"
#include "PageInfo.h"

// One strip (or compressed block) as the source delivered it.
struct SMemStrip {
    uint32_t Rows = 0;
    uint32_t BytesPerRow = 0;
    uint32_t Columns = 0;
    uint32_t BytesWritten = 0;
    bool bCompressed = false;
    const uint8_t* pData = nullptr;
};

class CPageAssembler {
public:
    explicit CPageAssembler(VlmImageInfo& info) : m_Info(info) {}

    // Reservation for the largest page: the larger of the two orientations,
    // plus a fifth for sources that announce too few rows. 0 when it would
    // not fit the address space.
    static uint64_t ReserveSize(uint64_t maxWidth, uint64_t maxLength, uint32_t bitsPerPixel);

    // The source's account of a strip must lie inside the transfer buffer it
    // was written to: every row (Rows x BytesPerRow bytes, Rows a valid row
    // count) or, compressed, BytesWritten bytes. A strip that claims more is
    // the source's fault and is never read.
    static bool StripFitsBuffer(const SMemStrip& strip, uint64_t bufferBytes);

    // MemXferReady: new page. A height of 0 or less (unknown length) starts
    // empty and grows with the strips. FALSE on a bad geometry (a row whose
    // length does not fit in 32 bits included) or when the
    // reservation / first commit fails (see CommitFailed()).
    bool Ready(int32_t width, int32_t height, uint32_t bitsPerPixel, uint32_t spp, uint32_t xres,
               uint32_t yres, uint64_t maxWidth, uint64_t maxLength);
    // MemXferReady2: the strip width changed; the page is re-laid in the
    // existing reservation with the given height.
    bool Ready2(int32_t columns, int32_t height, uint32_t bitsPerPixel, uint32_t spp, uint32_t xres,
                uint32_t yres);

    // MemXferBuffer: the strip fits below Height.
    bool Buffer(uint32_t firstRow, const SMemStrip& strip, bool bSwapRgb);
    // MemXferBufferEx: the strip passes Height; grows the page by five strips
    // (or by what is left of the reservation). When not all rows fit, the
    // rows that fit are kept, strip.Rows is set to their number, the page
    // ends there and FALSE is returned.
    bool BufferEx(uint32_t firstRow, SMemStrip& strip, bool bSwapRgb);
    // CopyRow: rows at or beyond Height are ignored.
    bool CopyRow(uint32_t row, const uint8_t* src, uint32_t srcBytes, bool bSwapRgb);
    // MemXferPreDone: fewer rows than announced arrived.
    void PreDone(uint32_t rowsReceived);

    // Compressed data (JPEG): appended at the data size.
    bool BufferJpeg(const SMemStrip& strip);
    // Grows by five blocks (or what is left); returns the growth, 0 on failure.
    size_t BufferExJpeg(const SMemStrip& strip);
    void PreDoneJpeg();

    // The transfer ended before the image was whole: the page keeps only the
    // rows that arrived. A page without any row, or a cut compressed stream
    // (no image at all), is released and described as empty.
    void EndIncomplete();

    void ReleaseImage();
    uint32_t RowsReceived() const { return m_nRowsReceived; }
    size_t DataSize() const { return m_nDataSize; }
    size_t Committed() const { return m_Buffer.Committed(); }
    size_t Reserved() const { return m_Buffer.Reserved(); }
    bool HasImage() const { return m_Buffer.IsValid(); }
    // TRUE once a commit failed since the last Ready (the caller tells the user).
    bool CommitFailed() const { return m_bCommitFailed; }

private:
    void SetGeometry(int32_t width, int32_t height, uint32_t bitsPerPixel, uint32_t spp,
                     uint32_t xres, uint32_t yres);
    bool Commit(size_t nBytes);

    VlmImageInfo& m_Info;
    CPageBuffer m_Buffer;
    uint32_t m_nBitsPerPixel = 0;
    size_t m_nDataSize = 0;
    uint32_t m_nRowsReceived = 0; // one past the lowest row that arrived
    bool m_bCommitFailed = false;
};
