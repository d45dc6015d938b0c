#include "PageAssembler.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "ScanLog.h"

uint64_t CPageAssembler::ReserveSize(uint64_t maxWidth, uint64_t maxLength, uint32_t bitsPerPixel) {
    // Keep every product below 2^62 so the arithmetic cannot wrap.
    const uint64_t kLimit = uint64_t(1) << 31;
    if (maxWidth == 0 || maxLength == 0 || bitsPerPixel == 0 || maxWidth >= kLimit ||
        maxLength >= kLimit || bitsPerPixel > 64)
        return 0;
    auto rowBytes = [&](uint64_t w) { return (w * bitsPerPixel + 31) / 32 * 4; };
    uint64_t a = maxLength * rowBytes(maxWidth);
    uint64_t b = maxWidth * rowBytes(maxLength);
    uint64_t r = std::max(a, b) * 6 / 5;
    if (r > std::numeric_limits<size_t>::max() / 2)
        return 0;
    return r;
}

bool CPageAssembler::StripFitsBuffer(const SMemStrip& strip, uint64_t bufferBytes) {
    if (strip.bCompressed)
        return strip.BytesWritten <= bufferBytes;
    if (strip.Rows == 0)
        return true;
    // Rows are counted in signed 32 bits; rows without bytes are no rows.
    if (strip.Rows > uint32_t(std::numeric_limits<int32_t>::max()) || strip.BytesPerRow == 0)
        return false;
    return uint64_t(strip.Rows) * strip.BytesPerRow <= bufferBytes;
}

void CPageAssembler::SetGeometry(int32_t width, int32_t height, uint32_t bitsPerPixel, uint32_t spp,
                                 uint32_t xres, uint32_t yres) {
    m_nBitsPerPixel = bitsPerPixel;
    m_Info.Width = width;
    m_Info.Height = height;
    m_Info.Spp = spp;
    m_Info.Bps = spp ? bitsPerPixel / spp : bitsPerPixel;
    m_Info.XRes = xres;
    m_Info.YRes = yres;
    m_Info.Sync = VlmSyncBytes(static_cast<uint32_t>(std::max(width, 0)), bitsPerPixel);
    m_Info.ImageSize = static_cast<uint32_t>(uint64_t(m_Info.Sync) * std::max(height, 0));
}

bool CPageAssembler::Commit(size_t nBytes) {
    if (m_Buffer.CommitTo(nBytes))
        return true;
    m_bCommitFailed = true;
    CScanTraceLog::Write("\t\tVirtualAlloc Commit ***** ERROR *****");
    return false;
}

bool CPageAssembler::Ready(int32_t width, int32_t height, uint32_t bitsPerPixel, uint32_t spp,
                           uint32_t xres, uint32_t yres, uint64_t maxWidth, uint64_t maxLength) {
    CScanTraceLog::Write("MemXferReady");
    ReleaseImage();
    m_bCommitFailed = false;
    m_nDataSize = 0;
    m_nRowsReceived = 0;
    if (height < 0)
        height = 0; // unknown length: the page grows with its strips
    SetGeometry(width, height, bitsPerPixel, spp, xres, yres);
    m_Info.lpImage = nullptr;
    if (width <= 0 || bitsPerPixel == 0 || spp == 0 || m_Info.Sync == 0)
        return false;
    maxWidth = std::max<uint64_t>(maxWidth, uint64_t(width));
    maxLength = std::max<uint64_t>(maxLength, uint64_t(height));
    if (maxLength == 0)
        maxLength = maxWidth;
    const uint64_t reserve = ReserveSize(maxWidth, maxLength, bitsPerPixel);
    const uint64_t commit = uint64_t(m_Info.Sync) * uint64_t(height);
    if (reserve == 0 || commit > reserve || !m_Buffer.Reserve(static_cast<size_t>(reserve))) {
        CScanTraceLog::Write("\t\tVirtualAlloc Reserve  ***** ERROR *****");
        return false;
    }
    CScanTraceLog::WriteF("\t\tVirtualAlloc Reserve Size =%d", static_cast<long long>(reserve));
    if (!Commit(static_cast<size_t>(commit))) {
        m_Buffer.Release();
        return false;
    }
    CScanTraceLog::WriteF("\t\tVirtualAlloc Commit Size = %d", static_cast<long long>(commit));
    m_Info.lpImage = m_Buffer.Data();
    return true;
}

bool CPageAssembler::Ready2(int32_t columns, int32_t height, uint32_t bitsPerPixel, uint32_t spp,
                            uint32_t xres, uint32_t yres) {
    CScanTraceLog::Write("MemXferReady2");
    if (!m_Buffer.IsValid()) {
        CScanTraceLog::Write("\t\tVirtualAlloc Reserve  ***** ERROR *****");
        return false;
    }
    if (columns <= 0)
        return false;
    if (height < 0)
        height = 0;
    SetGeometry(columns, height, bitsPerPixel, spp, xres, yres);
    if (m_Info.Sync == 0)
        return false;
    uint64_t commit = uint64_t(m_Info.Sync) * uint64_t(height);
    if (commit > m_Buffer.Reserved()) {
        // The new row length leaves room for fewer rows than before.
        height = static_cast<int32_t>(m_Buffer.Reserved() / m_Info.Sync);
        SetGeometry(columns, height, bitsPerPixel, spp, xres, yres);
        commit = uint64_t(m_Info.Sync) * uint64_t(height);
    }
    CScanTraceLog::WriteF("\tImageWidth=%d", columns);
    CScanTraceLog::WriteF("\tImageHeight=%d", height);
    CScanTraceLog::WriteF("\tSync=%d", m_Info.Sync);
    CScanTraceLog::WriteF("\tCommit Size=%d", static_cast<long long>(commit));
    return Commit(static_cast<size_t>(commit));
}

bool CPageAssembler::CopyRow(uint32_t row, const uint8_t* src, uint32_t srcBytes, bool bSwapRgb) {
    if (!m_Buffer.IsValid() || !src)
        return false;
    if (m_Info.Height <= 0 || row >= static_cast<uint32_t>(m_Info.Height))
        return true; // beyond the page: ignored
    uint8_t* dst = m_Buffer.Data() + size_t(row) * m_Info.Sync;
    m_nRowsReceived = std::max(m_nRowsReceived, row + 1);
    // A source row shorter than ours (no 32-bit padding) must not be over-read.
    const uint32_t n = std::min(srcBytes, m_Info.Sync);
    if (bSwapRgb && m_Info.Spp == 3 && m_Info.Bps == 8) {
        const uint32_t pixels = std::min<uint32_t>(n / 3, static_cast<uint32_t>(m_Info.Width));
        for (uint32_t i = 0; i < pixels; ++i) {
            dst[3 * i] = src[3 * i + 2];
            dst[3 * i + 1] = src[3 * i + 1];
            dst[3 * i + 2] = src[3 * i];
        }
        if (n > pixels * 3)
            memcpy(dst + pixels * 3, src + pixels * 3, n - pixels * 3);
    } else {
        memcpy(dst, src, n);
    }
    if (n < m_Info.Sync)
        memset(dst + n, 0, m_Info.Sync - n);
    return true;
}

bool CPageAssembler::Buffer(uint32_t firstRow, const SMemStrip& strip, bool bSwapRgb) {
    if (!strip.pData && strip.Rows)
        return false;
    for (uint32_t i = 0; i < strip.Rows; ++i)
        if (!CopyRow(firstRow + i, strip.pData + size_t(i) * strip.BytesPerRow, strip.BytesPerRow,
                     bSwapRgb))
            return false;
    return true;
}

bool CPageAssembler::BufferEx(uint32_t firstRow, SMemStrip& strip, bool bSwapRgb) {
    if (!m_Buffer.IsValid()) {
        CScanTraceLog::Write("m_PageInfo.vlminfo.lpImage ***** ERROR *****");
        return false;
    }
    if (m_Info.Sync == 0)
        return false;
    const uint64_t height = static_cast<uint64_t>(std::max(m_Info.Height, 0));
    const uint64_t used = uint64_t(m_Info.Sync) * height;
    const uint64_t rowsLeft =
        used < m_Buffer.Reserved() ? (m_Buffer.Reserved() - used) / m_Info.Sync : 0;
    const uint64_t need =
        uint64_t(firstRow) + strip.Rows > height ? firstRow + strip.Rows - height : 0;
    const uint64_t growth = std::min<uint64_t>(uint64_t(5) * strip.Rows, rowsLeft);
    if (growth < need) {
        // The reservation ends inside this strip: keep the rows that fit.
        CScanTraceLog::WriteF("\t\tVirtualAlloc Non ***** ERROR ***** dwExpandRow=%d",
                              static_cast<long long>(growth));
        const uint64_t newHeight = height + growth;
        const uint32_t fit = newHeight > firstRow ? static_cast<uint32_t>(newHeight - firstRow) : 0;
        if (growth && Commit(static_cast<size_t>(newHeight * m_Info.Sync))) {
            m_Info.Height = static_cast<int32_t>(newHeight);
            SMemStrip part = strip;
            part.Rows = std::min(fit, strip.Rows);
            Buffer(firstRow, part, bSwapRgb);
            strip.Rows = part.Rows;
        } else {
            strip.Rows = 0;
        }
        m_Info.Height = static_cast<int32_t>(std::min<uint64_t>(firstRow + strip.Rows, newHeight));
        m_Info.ImageSize = m_Info.Sync * static_cast<uint32_t>(m_Info.Height);
        return false;
    }
    CScanTraceLog::WriteF("\t\tOld Rows = %d", static_cast<long long>(height));
    const uint64_t newHeight = height + growth;
    CScanTraceLog::WriteF("\t\tNew Rows = %d", static_cast<long long>(newHeight));
    if (!Commit(static_cast<size_t>(newHeight * m_Info.Sync)))
        return false;
    m_Info.Height = static_cast<int32_t>(newHeight);
    m_Info.ImageSize = static_cast<uint32_t>(newHeight * m_Info.Sync);
    return Buffer(firstRow, strip, bSwapRgb);
}

void CPageAssembler::PreDone(uint32_t rowsReceived) {
    CScanTraceLog::Write("MemXferPreDone");
    if (m_Info.Height > 0 && rowsReceived < static_cast<uint32_t>(m_Info.Height)) {
        CScanTraceLog::WriteF("\t\tOld Rows = %d", m_Info.Height);
        CScanTraceLog::WriteF("\t\tNew Rows = %d", rowsReceived);
        m_Info.Height = static_cast<int32_t>(rowsReceived);
    }
    m_Info.ImageSize = m_Info.Sync * static_cast<uint32_t>(std::max(m_Info.Height, 0));
}

bool CPageAssembler::BufferJpeg(const SMemStrip& strip) {
    if (!m_Buffer.IsValid() || (!strip.pData && strip.BytesWritten))
        return false;
    if (m_nDataSize + strip.BytesWritten > m_Buffer.Committed())
        return false;
    memcpy(m_Buffer.Data() + m_nDataSize, strip.pData, strip.BytesWritten);
    m_nDataSize += strip.BytesWritten;
    return true;
}

size_t CPageAssembler::BufferExJpeg(const SMemStrip& strip) {
    if (!m_Buffer.IsValid()) {
        CScanTraceLog::Write("m_PageInfo.vlminfo.lpImage ***** ERROR *****");
        return 0;
    }
    const size_t left = m_Buffer.Reserved() - std::min(m_nDataSize, m_Buffer.Reserved());
    const size_t growth = std::min<size_t>(size_t(5) * strip.BytesWritten, left);
    if (growth < strip.BytesWritten || growth == 0) {
        CScanTraceLog::Write("\t\tVirtualAlloc Non ***** ERROR *****");
        return 0;
    }
    CScanTraceLog::WriteF("\t\tOld DataSize = %d", static_cast<long long>(m_nDataSize));
    CScanTraceLog::WriteF("\t\tNew DataSize = %d", static_cast<long long>(m_nDataSize + growth));
    if (!Commit(std::max(m_Buffer.Committed(), m_nDataSize + growth)))
        return 0;
    m_Info.ImageSize = static_cast<uint32_t>(m_nDataSize + growth);
    if (!BufferJpeg(strip))
        return 0;
    return growth;
}

void CPageAssembler::PreDoneJpeg() {
    m_Info.Width = -1;
    m_Info.Height = -1;
    m_Info.ImageSize = static_cast<uint32_t>(m_nDataSize);
}

void CPageAssembler::EndIncomplete() {
    if (m_nDataSize > 0 || m_nRowsReceived == 0 || !m_Buffer.IsValid()) {
        ReleaseImage();
        m_Info.Width = m_Info.Height = 0;
        m_Info.Sync = m_Info.ImageSize = 0;
        return;
    }
    PreDone(m_nRowsReceived);
}

void CPageAssembler::ReleaseImage() {
    m_Buffer.Release();
    m_Info.lpImage = nullptr;
    m_nDataSize = 0;
    m_nRowsReceived = 0;
}
