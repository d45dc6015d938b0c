// Writing TIFF pages: the tag list, rows streamed to the file (uncompressed or
// Group 4), the directory at close, and JPEG pages built around the JPEG
// library's stream.
#include "TiffIo.h"

#include <algorithm>
#include <cstring>

#include "codecs/JpegHeader.h"

namespace vlm {

using namespace tiffio;

namespace {

const char* TagName(uint32_t tag) {
    switch (tag) {
    case kTagImageWidth:
        return "TIFFTAG_IMAGEWIDTH";
    case kTagImageLength:
        return "TIFFTAG_IMAGELENGTH";
    case kTagBitsPerSample:
        return "TIFFTAG_BITSPERSAMPLE";
    case kTagCompression:
        return "TIFFTAG_COMPRESSION";
    case kTagSamplesPerPixel:
        return "TIFFTAG_SAMPLESPERPIXEL";
    case kTagXResolution:
        return "TIFFTAG_XRESOLUTION";
    case kTagYResolution:
        return "TIFFTAG_YRESOLUTION";
    case kTagJpegQuality:
        return "TIFFTAG_JPEGQUALITY";
    default:
        return "TIFFTAG_OTHERS";
    }
}

} // namespace

int CTiffFile::TiffSetTagOld(uint32_t tag, uint32_t value) {
    Debug("TiffSetTagOld %s", TagName(tag));
    if (m_cMode != 'w' || m_bStarted)
        return -1;
    switch (tag) {
    case kTagImageWidth:
        m_nWidth = value;
        break;
    case kTagImageLength:
        m_nLength = value;
        break;
    case kTagBitsPerSample:
        m_nBitsPerSample = value;
        break;
    case kTagCompression:
        m_nCompression = value == 7 ? 6 : value;
        break;
    case kTagSamplesPerPixel:
        m_nSamplesPerPixel = value;
        break;
    case kTagXResolution:
        m_nXResolution = value;
        break;
    case kTagYResolution:
        m_nYResolution = value;
        break;
    case kTagJpegQuality:
        m_nJpegQuality = std::min<uint32_t>(value, 100);
        break;
    default:
        return -1;
    }
    return 0;
}

int CTiffFile::TiffSetTag(uint16_t tag, uint16_t type, uint32_t count, const void* data) {
    Debug("TiffSetTag ");
    // After the first row the data offset is fixed and a new entry might not fit.
    if (m_cMode != 'w' || m_bStarted || (count > 0 && !data) || count > (1u << 24))
        return -1;
    AddEntry(tag, type, count, data);
    return 0;
}

void CTiffFile::AddEntry(uint16_t tag, uint16_t type, uint32_t count, const void* data) {
    Entry e{tag, type, count, {}};
    size_t n = static_cast<size_t>(count) * TiffTypeSize(type);
    e.data.resize(n);
    if (n) {
        // Values are little-endian in the file; the host is little-endian too.
        std::memcpy(e.data.data(), data, n);
    }
    m_vecEntries.push_back(std::move(e));
}

void CTiffFile::AddRational(uint16_t tag, uint32_t num) {
    uint32_t v[2] = {num, 1};
    AddEntry(tag, kTypeRational, 1, v);
}

void CTiffFile::SortEntries() {
    // Stable, so that of two entries for one tag the later one survives.
    std::stable_sort(m_vecEntries.begin(), m_vecEntries.end(),
                     [](const Entry& a, const Entry& b) { return a.tag < b.tag; });
    std::vector<Entry> out;
    for (auto& e : m_vecEntries) {
        if (!out.empty() && out.back().tag == e.tag)
            out.back() = std::move(e);
        else
            out.push_back(std::move(e));
    }
    m_vecEntries.swap(out);
}

int CTiffFile::BeginPage() {
    const uint32_t bps = m_nBitsPerSample, spp = m_nSamplesPerPixel;
    bool formOk = (spp == 1 && (bps == 1 || bps == 4 || bps == 8)) || (spp == 3 && bps == 8);
    bool compOk = m_nCompression == 1 || (m_nCompression == 4 && spp == 1 && bps == 1) ||
                  (m_nCompression == 6 && bps == 8);
    if (!formOk || !compOk || m_nWidth == 0 || m_nLength == 0 || m_nWidth > kMaxDimension ||
        m_nLength > kMaxDimension)
        return -1;
    m_nPhotometric = spp == 3 ? 2 : (bps == 1 ? 0 : 1);
    if (m_nCompression == 6) {
        if (m_pJpegRows)
            return 0; // coded from the caller's rows at close
        size_t stride = (static_cast<size_t>(spp) * m_nWidth + 3) / 4 * 4;
        try {
            m_vecJpegPage.assign(stride * m_nLength, 0);
        } catch (const std::bad_alloc&) {
            return -1;
        }
        return 0;
    }

    AddLong(kTagNewSubfileType, 0);
    AddLong(kTagImageWidth, m_nWidth);
    AddLong(kTagImageLength, m_nLength);
    if (spp == 3) {
        uint16_t v[3] = {8, 8, 8};
        AddEntry(kTagBitsPerSample, kTypeShort, 3, v);
    } else {
        AddShort(kTagBitsPerSample, static_cast<uint16_t>(bps));
    }
    AddShort(kTagCompression, static_cast<uint16_t>(m_nCompression));
    AddShort(kTagPhotometric, static_cast<uint16_t>(m_nPhotometric));
    AddShort(kTagOrientation, 1);
    AddShort(kTagSamplesPerPixel, static_cast<uint16_t>(spp));
    AddLong(kTagRowsPerStrip, m_nLength);
    AddRational(kTagXResolution, m_nXResolution);
    AddRational(kTagYResolution, m_nYResolution);
    AddShort(kTagResolutionUnit, 2);
    AddLong(kTagStripOffsets, 0);
    SortEntries();

    uint64_t sum = 0;
    for (const auto& e : m_vecEntries)
        if (e.data.size() > 4)
            sum += (e.data.size() + 15) / 16 * 16;
    uint64_t off = m_vecEntries.empty() ? 512 : (sum + 12 * m_vecEntries.size() + 315) / 256 * 256;
    if (off > 0x7FFFFFFF)
        return -1;
    m_nDataOffset = static_cast<uint32_t>(off);
    std::vector<uint8_t> zeros(m_nDataOffset, 0);
    if (std::fwrite(zeros.data(), 1, zeros.size(), m_pFile) != zeros.size())
        return -1;
    if (m_nCompression == 4) {
        m_pG4 = std::make_unique<CG4Encoder>();
        m_pG4->Begin(static_cast<int>(m_nWidth), kMaxChanges);
    }
    return 0;
}

int CTiffFile::FlushG4() {
    auto& out = m_pG4->Output();
    if (!out.empty()) {
        if (std::fwrite(out.data(), 1, out.size(), m_pFile) != out.size())
            return -1;
        m_nBytesWritten += out.size();
        out.clear();
    }
    return 0;
}

int CTiffFile::WriteRows(const uint8_t* rows, int count, size_t stride) {
    if (m_cMode != 'w' || m_bFailed || !rows || count < 0)
        return -1;
    if (count == 0)
        return 0;
    if (!m_bStarted) {
        m_bStarted = true;
        if (BeginPage() != 0) {
            m_bFailed = true;
            return -1;
        }
    }
    const size_t rowBytes = RowBytes();
    if (stride == 0)
        stride = rowBytes;
    if (stride < rowBytes || static_cast<uint64_t>(m_nRowsWritten) + count > m_nLength)
        return -1;

    if (m_nCompression == 6) {
        size_t jstride = (static_cast<size_t>(m_nSamplesPerPixel) * m_nWidth + 3) / 4 * 4;
        for (int i = 0; i < count; ++i)
            std::memcpy(m_vecJpegPage.data() + jstride * (m_nRowsWritten + i), rows + stride * i,
                        rowBytes);
        m_nRowsWritten += count;
        return 0;
    }
    if (m_nCompression == 4) {
        for (int i = 0; i < count; ++i) {
            int rc = m_pG4->EncodeRow(rows + stride * i, true);
            if (rc != 0) {
                m_bFailed = true;
                return rc;
            }
            ++m_nRowsWritten;
            if (m_pG4->Output().size() >= 32768 && FlushG4() != 0) {
                m_bFailed = true;
                return -1;
            }
        }
        return 0;
    }
    for (int i = 0; i < count; ++i) {
        const uint8_t* src = rows + stride * i;
        if (m_nSamplesPerPixel == 3) {
            // The caller's rows are B,G,R; the file holds R,G,B.
            m_vecRow.resize(rowBytes);
            for (size_t x = 0; x + 2 < rowBytes; x += 3) {
                m_vecRow[x] = src[x + 2];
                m_vecRow[x + 1] = src[x + 1];
                m_vecRow[x + 2] = src[x];
            }
            src = m_vecRow.data();
        }
        if (std::fwrite(src, 1, rowBytes, m_pFile) != rowBytes) {
            m_bFailed = true;
            return -1;
        }
        m_nBytesWritten += rowBytes;
        ++m_nRowsWritten;
    }
    return 0;
}

int CTiffFile::WriteJpegRows(const uint8_t* top, size_t stride) {
    if (m_cMode != 'w' || m_bStarted || !top || m_nCompression != 6)
        return -1;
    m_bStarted = true;
    m_pJpegRows = top;
    m_nJpegStride = stride;
    // The library takes the stride as an int.
    if (BeginPage() != 0 || stride < RowBytes() || stride > 0x7FFFFFFF) {
        m_bFailed = true;
        return -1;
    }
    m_nRowsWritten = m_nLength;
    return 0;
}

int CTiffFile::WriteDirectory() {
    const size_t n = m_vecEntries.size();
    uint64_t blockPos = (12 * n + 39) / 16 * 16;
    std::vector<uint8_t> head(m_nDataOffset, 0);
    head[0] = 'I';
    head[1] = 'I';
    PutLE16(&head[2], 42);
    PutLE32(&head[4], 8);
    PutLE16(&head[8], static_cast<uint32_t>(n));
    uint8_t* p = &head[10];
    for (const auto& e : m_vecEntries) {
        PutLE16(p, e.tag);
        PutLE16(p + 2, e.type);
        PutLE32(p + 4, e.count);
        if (e.data.size() <= 4) {
            std::copy(e.data.begin(), e.data.end(), p + 8); // count 0: no value
        } else {
            if (blockPos + e.data.size() > m_nDataOffset)
                return -1; // cannot happen: the offset rule leaves room
            PutLE32(p + 8, static_cast<uint32_t>(blockPos));
            std::memcpy(&head[blockPos], e.data.data(), e.data.size());
            blockPos += (e.data.size() + 15) / 16 * 16;
        }
        p += 12;
    }
    PutLE32(p, 0);
    if (!Seek(m_pFile, 0) || std::fwrite(head.data(), 1, head.size(), m_pFile) != head.size())
        return -1;
    return 0;
}

int CTiffFile::Close() {
    if (m_cMode == 'r') {
        Release();
        return 0;
    }
    if (m_cMode != 'w')
        return -1;
    int rc = 0;
    if (m_bFailed || m_nRowsWritten == 0) {
        rc = -1;
    } else if (m_nCompression == 6) {
        rc = CloseJpeg();
    } else {
        if (m_nRowsWritten < m_nLength) {
            // A short page describes the rows it has, so that readers stay in bounds.
            m_nLength = m_nRowsWritten;
            AddLong(kTagImageLength, m_nLength);
            AddLong(kTagRowsPerStrip, m_nLength);
        }
        if (m_pG4) {
            m_pG4->Finish();
            rc = FlushG4();
        }
        if (rc == 0 && m_nBytesWritten > 0xFFFFFFFFull)
            rc = -1;
        if (rc == 0) {
            AddShort(kTagResolutionUnit, 2);
            AddLong(kTagStripOffsets, m_nDataOffset);
            AddLong(kTagStripByteCounts, static_cast<uint32_t>(m_nBytesWritten));
            SortEntries();
            rc = WriteDirectory();
        }
    }
    if (std::fclose(m_pFile) != 0)
        rc = -1;
    m_pFile = nullptr;
    Release();
    return rc;
}

namespace {

// The fixed layout of a JPEG page: the directory at 8, the values that do not
// fit an entry at the places below, the JPEG stream whole from 512 on.
constexpr uint16_t kJpegEntries = 20;
constexpr uint32_t kJpegColourBitsAt = 384;
constexpr uint32_t kJpegXResolutionAt = 400;
constexpr uint32_t kJpegYResolutionAt = 408;
constexpr uint32_t kJpegColourQTablesAt = 416;
constexpr uint32_t kJpegColourDcTablesAt = 432;
constexpr uint32_t kJpegColourAcTablesAt = 448;
constexpr uint32_t kJpegStreamAt = 512;

// The stream's own tables as the directory points to them: baseline coding,
// one scan with every component, each table the scan uses defined.
bool TablesOf(const CJpegHeader& h, uint32_t q[3], uint32_t dc[3], uint32_t ac[3]) {
    const int n = h.m_frame.m_nComponents;
    if (h.m_frame.m_nMarker != 0xC0 || h.m_nScanComponents != n)
        return false;
    for (int c = 0; c < n; ++c) {
        const int tq = h.m_frame.m_arrComp[c].m_nQuant, td = h.m_arrScanDc[c],
                  ta = h.m_arrScanAc[c];
        if (td > 3 || ta > 3 || !h.m_arrQuantAt[tq] || !h.m_arrDcAt[td] || !h.m_arrAcAt[ta])
            return false;
        q[c] = kJpegStreamAt + h.m_arrQuantAt[tq];
        dc[c] = kJpegStreamAt + h.m_arrDcAt[td];
        ac[c] = kJpegStreamAt + h.m_arrAcAt[ta];
    }
    return true;
}

} // namespace

int CTiffFile::CloseJpeg() {
    const TiffJpegCodec& codec = JpegCodec();
    if (!codec.pfnSave) {
        Debug("TIFF JPEG page: no JPEG library\n");
        return -1;
    }
    CTempFile tmp;
    if (!tmp.Ok())
        return -1;
    const int colour = m_nSamplesPerPixel == 3 ? 2 : 1;
    const uint8_t* rows = m_pJpegRows ? m_pJpegRows : m_vecJpegPage.data();
    const int stride =
        static_cast<int>(m_pJpegRows ? m_nJpegStride : (m_nSamplesPerPixel * m_nWidth + 3) / 4 * 4);
    if (codec.pfnSave(tmp.Path(), rows, static_cast<int>(m_nWidth),
                      static_cast<int>(m_nRowsWritten), static_cast<int>(m_nXResolution), colour,
                      stride, static_cast<int>(m_nJpegQuality)) != 0)
        return -1;
    std::vector<uint8_t>().swap(m_vecJpegPage);

    std::vector<uint8_t> stream;
    {
        CFilePtr in(std::fopen(tmp.Path(), "rb"));
        uint64_t size = 0;
        if (!in || !FileSize(in.get(), size) || size > 0x7FFFFFFF - 1024 || size < 4)
            return -1;
        stream.resize(static_cast<size_t>(size));
        if (!ReadAt(in.get(), 0, stream.data(), stream.size()))
            return -1;
    }
    CJpegHeader h;
    uint32_t q[3] = {}, dc[3] = {}, ac[3] = {};
    if (!ReadJpegHeader(stream.data(), stream.size(), h) ||
        h.m_frame.m_nComponents != static_cast<int>(m_nSamplesPerPixel) || !TablesOf(h, q, dc, ac))
        return -1;
    const bool isColour = h.m_frame.m_nComponents == 3;
    const uint32_t res = h.DotsPerInch() ? h.DotsPerInch() : m_nXResolution;
    const uint32_t len = static_cast<uint32_t>(stream.size());
    const uint32_t headerLength = static_cast<uint32_t>(h.m_nHeaderLength);
    const uint32_t width = h.m_frame.m_nWidth, height = h.m_frame.m_nHeight;

    std::vector<uint8_t> head(kJpegStreamAt, 0);
    head[0] = 'I';
    head[1] = 'I';
    PutLE16(&head[2], 42);
    PutLE32(&head[4], 8);
    PutLE16(&head[8], kJpegEntries);
    uint8_t* p = &head[10];
    auto entry = [&](TiffTag tag, TiffType type, uint32_t count, uint32_t value) {
        PutLE16(p, tag);
        PutLE16(p + 2, type);
        PutLE32(p + 4, count);
        if (type == kTypeShort && count == 1)
            PutLE16(p + 8, value);
        else
            PutLE32(p + 8, value);
        p += 12;
    };
    // A value per component: in the entry for grey, at `at` for colour.
    auto perComponent = [&](TiffTag tag, TiffType type, uint32_t at, const uint32_t* v) {
        if (!isColour) {
            entry(tag, type, 1, v[0]);
            return;
        }
        entry(tag, type, 3, at);
        for (int c = 0; c < 3; ++c) {
            if (type == kTypeShort)
                PutLE16(&head[at + 2 * c], v[c]);
            else
                PutLE32(&head[at + 4 * c], v[c]);
        }
    };
    auto rational = [&](uint32_t at, uint32_t num) {
        PutLE32(&head[at], num);
        PutLE32(&head[at + 4], 1);
    };
    const uint32_t eightBits[3] = {8, 8, 8};
    entry(kTagNewSubfileType, kTypeLong, 1, 0);
    entry(kTagImageWidth, kTypeLong, 1, width);
    entry(kTagImageLength, kTypeLong, 1, height);
    perComponent(kTagBitsPerSample, kTypeShort, kJpegColourBitsAt, eightBits);
    entry(kTagCompression, kTypeShort, 1, 6);
    entry(kTagPhotometric, kTypeShort, 1, isColour ? 2 : 1);
    entry(kTagStripOffsets, kTypeLong, 1, kJpegStreamAt + headerLength);
    entry(kTagOrientation, kTypeShort, 1, 1);
    entry(kTagSamplesPerPixel, kTypeShort, 1, h.m_frame.m_nComponents);
    entry(kTagRowsPerStrip, kTypeLong, 1, height);
    entry(kTagStripByteCounts, kTypeLong, 1, len - headerLength);
    entry(kTagXResolution, kTypeRational, 1, kJpegXResolutionAt);
    entry(kTagYResolution, kTypeRational, 1, kJpegYResolutionAt);
    rational(kJpegXResolutionAt, res);
    rational(kJpegYResolutionAt, res);
    entry(kTagResolutionUnit, kTypeShort, 1, 2);
    entry(kTagJpegProc, kTypeLong, 1, 1); // baseline
    entry(kTagJpegIfOffset, kTypeLong, 1, kJpegStreamAt);
    entry(kTagJpegIfByteCount, kTypeLong, 1, headerLength);
    perComponent(kTagJpegQTables, kTypeLong, kJpegColourQTablesAt, q);
    perComponent(kTagJpegDcTables, kTypeLong, kJpegColourDcTablesAt, dc);
    perComponent(kTagJpegAcTables, kTypeLong, kJpegColourAcTablesAt, ac);
    PutLE32(p, 0); // next IFD (offset 250)
    if (!Seek(m_pFile, 0) || std::fwrite(head.data(), 1, head.size(), m_pFile) != head.size() ||
        std::fwrite(stream.data(), 1, stream.size(), m_pFile) != stream.size())
        return -1;
    Console("Setup Complete!!\n");
    return 0;
}

} // namespace vlm
