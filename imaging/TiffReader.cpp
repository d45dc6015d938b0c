// Reading TIFF pages back for printing: the directory chain, each page's
// directory, and the page's rows (uncompressed, fax coded or JPEG).
#include "TiffIo.h"

#include <algorithm>
#include <cstring>
#include <set>

namespace vlm {

using namespace tiffio;

namespace {

// A strip of the file fed to the fax decoder.
class CFileRangeSource : public IByteSource {
public:
    CFileRangeSource(std::FILE* f, uint64_t pos, uint64_t size)
        : m_pFile(f), m_nPos(pos), m_nLeft(size) {}
    size_t Read(uint8_t* dst, size_t n) override {
        size_t k = static_cast<size_t>(std::min<uint64_t>(n, m_nLeft));
        if (k == 0 || !Seek(m_pFile, m_nPos))
            return 0;
        size_t got = std::fread(dst, 1, k, m_pFile);
        m_nPos += got;
        m_nLeft -= got;
        return got;
    }

private:
    std::FILE* m_pFile;
    uint64_t m_nPos;
    uint64_t m_nLeft;
};

} // namespace

bool CTiffFile::OpenForReading() {
    m_pFile = std::fopen(m_strPath.c_str(), "rb");
    if (!m_pFile) {
        TIFF_NG();
        return false;
    }
    m_cMode = 'r';
    uint8_t hdr[8];
    if (!FileSize(m_pFile, m_nFileSize) || !ReadAt(m_pFile, 0, hdr, 8)) {
        TIFF_NG();
        Release();
        return false;
    }
    if (hdr[0] == 'I' && hdr[1] == 'I')
        m_bBigEndian = false;
    else if (hdr[0] == 'M' && hdr[1] == 'M')
        m_bBigEndian = true;
    else {
        TIFF_NG();
        Release();
        return false;
    }
    CByteOrder bo{m_bBigEndian};
    if (bo.U16(hdr + 2) != 42) {
        TIFF_NG();
        Release();
        return false;
    }
    // Count the pages; a chain that loops or leaves the file ends the count.
    std::set<uint64_t> seen;
    uint64_t off = bo.U32(hdr + 4);
    while (off != 0 && m_nPageCount < kMaxPages) {
        uint8_t cnt[2];
        if (seen.count(off) || off + 2 > m_nFileSize || !ReadAt(m_pFile, off, cnt, 2))
            break;
        seen.insert(off);
        uint64_t n = bo.U16(cnt);
        uint8_t next[4];
        if (off + 2 + 12 * n + 4 > m_nFileSize || !ReadAt(m_pFile, off + 2 + 12 * n, next, 4))
            break;
        ++m_nPageCount;
        off = bo.U32(next);
    }
    if (m_nPageCount == 0 || OpenPage(1) != 0) {
        TIFF_NG();
        Release();
        return false;
    }
    return true;
}

long CTiffFile::GetTag(uint32_t tag) const {
    switch (tag) {
    case kTagImageWidth:
        return m_nWidth;
    case kTagImageLength:
        return m_nLength;
    case kTagBitsPerSample:
        return m_nBitsPerSample;
    case kTagCompression:
        return m_nCompression;
    case kTagSamplesPerPixel:
        return m_nSamplesPerPixel;
    case kTagXResolution:
        return m_nXResolution;
    case kTagJpegQuality:
        return m_nJpegQuality;
    default:
        return -1;
    }
}

int CTiffFile::OpenPage(int page) {
    if (m_cMode != 'r' || page < 1 || page > m_nPageCount)
        return -1;
    CByteOrder bo{m_bBigEndian};
    uint8_t buf[4];
    if (!ReadAt(m_pFile, 4, buf, 4))
        return -1;
    uint64_t off = bo.U32(buf);
    for (int i = 1; i < page; ++i) {
        uint8_t cnt[2];
        if (!ReadAt(m_pFile, off, cnt, 2) ||
            !ReadAt(m_pFile, off + 2 + 12ull * bo.U16(cnt), buf, 4))
            return -1;
        off = bo.U32(buf);
    }
    return ReadIfd(off);
}

int CTiffFile::ReadIfd(uint64_t offset) {
    CByteOrder bo{m_bBigEndian};
    uint8_t cnt[2];
    if (!ReadAt(m_pFile, offset, cnt, 2)) {
        TIFF_NG();
        return -1;
    }
    uint16_t n = bo.U16(cnt);
    if (n == 0 || n > kMaxEntries || offset + 2 + 12ull * n + 4 > m_nFileSize) {
        TIFF_NG();
        return -1;
    }
    std::vector<uint8_t> ifd(12 * n);
    if (!ReadAt(m_pFile, offset + 2, ifd.data(), ifd.size())) {
        TIFF_NG();
        return -1;
    }
    m_nIfdOffset = offset;
    m_nWidth = m_nLength = 0;
    m_nBitsPerSample = m_nSamplesPerPixel = m_nCompression = 1;
    m_nPhotometric = 0;
    m_nRowsPerStrip = 0;
    m_nXResolution = m_nYResolution = 0;
    m_nFillOrder = m_nPlanar = 1;
    m_nT4Options = m_nJpegProc = m_nJpegOffset = m_nJpegLength = 0;
    m_vecStripOffsets.clear();
    m_vecStripByteCounts.clear();

    for (uint16_t i = 0; i < n; ++i) {
        const uint8_t* e = &ifd[12 * i];
        uint16_t tag = bo.U16(e), type = bo.U16(e + 2);
        uint32_t count = bo.U32(e + 4);
        uint32_t size = TiffTypeSize(type);
        uint64_t bytes = static_cast<uint64_t>(count) * size;
        if (count == 0)
            continue;
        std::vector<uint8_t> data;
        if (bytes <= 4) {
            data.assign(e + 8, e + 8 + bytes);
        } else {
            uint64_t at = bo.U32(e + 8);
            if (at + bytes > m_nFileSize)
                continue;  // a broken value counts as absent
            switch (tag) { // only the values this reader uses are loaded
            case kTagBitsPerSample:
            case kTagStripOffsets:
            case kTagStripByteCounts:
            case kTagXResolution:
            case kTagYResolution:
                break;
            default:
                continue;
            }
            try {
                data.resize(static_cast<size_t>(bytes));
            } catch (const std::bad_alloc&) {
                Console("malloc failed - %d\n", static_cast<int>(bytes));
                return -1;
            }
            if (!ReadAt(m_pFile, at, data.data(), data.size())) {
                TIFF_NG();
                return -1;
            }
        }
        auto value = [&](uint32_t k) -> uint32_t {
            const uint8_t* v = data.data() + k * size;
            switch (type) {
            case kTypeByte:
            case kTypeSbyte:
            case kTypeUndefined:
                return v[0];
            case kTypeShort:
            case kTypeSshort:
                return bo.U16(v);
            case kTypeLong:
            case kTypeSlong:
                return bo.U32(v);
            default:
                return 0;
            }
        };
        auto rational = [&]() -> uint32_t {
            if (type != kTypeRational)
                return value(0);
            uint32_t num = bo.U32(data.data()), den = bo.U32(data.data() + 4);
            return den ? num / den : 0;
        };
        switch (tag) {
        case kTagImageWidth:
            m_nWidth = value(0);
            break;
        case kTagImageLength:
            m_nLength = value(0);
            break;
        case kTagBitsPerSample:
            m_nBitsPerSample = value(0);
            break;
        case kTagCompression:
            m_nCompression = value(0);
            break;
        case kTagPhotometric:
            m_nPhotometric = value(0);
            break;
        case kTagFillOrder:
            m_nFillOrder = value(0);
            break;
        case kTagSamplesPerPixel:
            m_nSamplesPerPixel = value(0);
            break;
        case kTagRowsPerStrip:
            m_nRowsPerStrip = value(0);
            break;
        case kTagPlanarConfig:
            m_nPlanar = value(0);
            break;
        case kTagT4Options:
            m_nT4Options = value(0);
            break;
        case kTagXResolution:
            m_nXResolution = rational();
            break;
        case kTagYResolution:
            m_nYResolution = rational();
            break;
        case kTagJpegProc:
            m_nJpegProc = value(0);
            break;
        case kTagJpegIfOffset:
            m_nJpegOffset = value(0);
            break;
        case kTagJpegIfByteCount:
            m_nJpegLength = value(0);
            break;
        case kTagStripOffsets:
        case kTagStripByteCounts: {
            auto& v = tag == kTagStripOffsets ? m_vecStripOffsets : m_vecStripByteCounts;
            v.resize(count);
            for (uint32_t k = 0; k < count; ++k)
                v[k] = value(k);
            break;
        }
        default:
            break;
        }
    }
    if (m_nRowsPerStrip == 0 || m_nRowsPerStrip > m_nLength)
        m_nRowsPerStrip = m_nLength;
    return 0;
}

size_t CTiffFile::PageBufferSize() const {
    if (m_cMode != 'r' || m_nWidth == 0 || m_nLength == 0 || m_nWidth > kMaxDimension ||
        m_nLength > kMaxDimension || m_nBitsPerSample > 16 || m_nSamplesPerPixel > 4)
        return 0;
    return RowStride() * m_nLength;
}

int CTiffFile::ReadPage(uint8_t* buffer, size_t size) {
    size_t need = PageBufferSize();
    if (!buffer || need == 0 || size < need)
        return -1;
    // Palette pages hold colour map indices, no grey levels: not read rather
    // than read as a grey page of indices.
    if (m_nPhotometric == kPhotometricPalette) {
        Console("palette images are not read\n");
        return -1;
    }
    switch (m_nCompression) {
    case 1:
        return ReadUncompressed(buffer);
    case 2:
    case 3:
    case 4:
        return ReadFax(buffer);
    case 6:
        return ReadJpeg(buffer, size);
    default:
        TIFF_NG();
        return -1;
    }
}

int CTiffFile::ReadUncompressed(uint8_t* buffer) {
    const uint32_t bpp = m_nBitsPerSample * m_nSamplesPerPixel;
    if ((bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24) ||
        (m_nSamplesPerPixel > 1 && m_nPlanar != 1)) {
        TIFF_NG();
        return -1;
    }
    const size_t rowBytes = RowBytes(), stride = RowStride();
    const uint32_t rps = m_nRowsPerStrip;
    const size_t strips = (m_nLength + rps - 1) / rps;
    if (m_vecStripOffsets.size() < strips) {
        TIFF_NG();
        return -1;
    }
    for (size_t s = 0; s < strips; ++s) {
        uint32_t first = static_cast<uint32_t>(s * rps);
        uint32_t rows = std::min(rps, m_nLength - first);
        if (s < m_vecStripByteCounts.size() &&
            m_vecStripByteCounts[s] < static_cast<uint64_t>(rowBytes) * rows) {
            TIFF_NG();
            return -1;
        }
        if (!Seek(m_pFile, m_vecStripOffsets[s])) {
            TIFF_NG();
            return -1;
        }
        for (uint32_t r = 0; r < rows; ++r) {
            uint8_t* row = buffer + stride * (first + r);
            if (std::fread(row, 1, rowBytes, m_pFile) != rowBytes) {
                TIFF_NG();
                return -1;
            }
            std::memset(row + rowBytes, 0, stride - rowBytes);
            // FillOrder 2 reverses the bits of every byte, as the fax
            // decoders honour it (and libtiff does for uncompressed data).
            if (m_nFillOrder == 2)
                for (size_t x = 0; x < rowBytes; ++x)
                    row[x] = ReverseByte(row[x]);
            bool invert = bpp == 1 ? m_nPhotometric != 0 : m_nPhotometric == 0;
            if (invert)
                for (size_t x = 0; x < rowBytes; ++x)
                    row[x] = static_cast<uint8_t>(~row[x]);
            if (bpp == 24)
                for (size_t x = 0; x + 2 < rowBytes; x += 3)
                    std::swap(row[x], row[x + 2]);
        }
    }
    return 0;
}

int CTiffFile::ReadFax(uint8_t* buffer) {
    if (m_nBitsPerSample != 1 || m_nSamplesPerPixel != 1) {
        TIFF_NG();
        return -1;
    }
    const size_t stride = RowStride();
    const uint32_t rps = m_nRowsPerStrip;
    const size_t strips = (m_nLength + rps - 1) / rps;
    if (m_vecStripOffsets.size() < strips || m_vecStripByteCounts.size() < strips) {
        TIFF_NG();
        return -1;
    }
    FaxParams params;
    params.coding = m_nCompression == 2   ? FaxCoding::ModifiedHuffman
                    : m_nCompression == 3 ? FaxCoding::T4
                                          : FaxCoding::T6;
    params.width = static_cast<int>(m_nWidth);
    params.t4TwoD = (m_nT4Options & 1) != 0;
    params.lsbFirst = m_nFillOrder == 2;
    for (size_t s = 0; s < strips; ++s) {
        uint32_t first = static_cast<uint32_t>(s * rps);
        uint32_t rows = std::min(rps, m_nLength - first);
        uint64_t off = m_vecStripOffsets[s];
        uint64_t len =
            std::min<uint64_t>(m_vecStripByteCounts[s], off < m_nFileSize ? m_nFileSize - off : 0);
        CFileRangeSource src(m_pFile, off, len);
        CFaxDecoder dec;
        if (!dec.Decode(src, params, static_cast<int>(rows), buffer + stride * first, stride)) {
            if (params.coding == FaxCoding::ModifiedHuffman) {
                for (int run : dec.LastRuns())
                    Console("%d ", run);
                Console("DECODE Error line %d\n", static_cast<int>(first) + dec.ErrorRow());
            }
            return -1;
        }
    }
    if (m_nPhotometric != 0) {
        for (size_t y = 0; y < m_nLength; ++y) {
            uint8_t* row = buffer + stride * y;
            for (size_t x = 0; x < stride; ++x)
                row[x] = static_cast<uint8_t>(~row[x]);
        }
    }
    // Bits beyond the width stay 0 whatever the inversion.
    if (m_nWidth % 8 || RowBytes() < stride) {
        const size_t rowBytes = RowBytes();
        const uint8_t mask = static_cast<uint8_t>(0xFF << ((8 - m_nWidth % 8) % 8));
        for (size_t y = 0; y < m_nLength; ++y) {
            uint8_t* row = buffer + stride * y;
            row[rowBytes - 1] &= mask;
            std::memset(row + rowBytes, 0, stride - rowBytes);
        }
    }
    return 0;
}

int CTiffFile::ReadJpeg(uint8_t* buffer, size_t size) {
    if (!JpegCodec().pfnRead || m_nBitsPerSample != 8 ||
        (m_nSamplesPerPixel != 1 && m_nSamplesPerPixel != 3) || m_vecStripByteCounts.empty()) {
        TIFF_NG();
        return -1;
    }
    uint64_t len = static_cast<uint64_t>(m_vecStripByteCounts[0]) + m_nJpegLength;
    if (m_nJpegOffset == 0 || m_nJpegOffset + len > m_nFileSize || len < 4) {
        TIFF_NG();
        return -1;
    }
    CTempFile tmp;
    if (!tmp.Ok())
        return -1;
    {
        CFilePtr out(std::fopen(tmp.Path(), "wb"));
        if (!out || !Seek(m_pFile, m_nJpegOffset))
            return -1;
        uint8_t piece[1024];
        for (uint64_t left = len; left > 0;) {
            size_t k = static_cast<size_t>(std::min<uint64_t>(left, sizeof(piece)));
            if (std::fread(piece, 1, k, m_pFile) != k || std::fwrite(piece, 1, k, out.get()) != k)
                return -1;
            left -= k;
        }
        if (std::fclose(out.release()) != 0)
            return -1;
    }
    int w = static_cast<int>(m_nWidth), h = static_cast<int>(m_nLength);
    if (!JpegCodec().pfnRead(tmp.Path(), buffer, &w, &h, static_cast<int>(RowStride())) ||
        w != static_cast<int>(m_nWidth) || h != static_cast<int>(m_nLength)) {
        TIFF_NG();
        return -1;
    }
    (void)size;
    return 0;
}

} // namespace vlm
