#include "JpegHeader.h"

#include <cstring>

namespace vlm {

namespace {

int U16(const uint8_t* p) {
    return (p[0] << 8) | p[1];
}

bool Fail(std::string* error, const char* text) {
    if (error)
        *error = text;
    return false;
}

bool IsStandAlone(uint8_t marker) {
    return (marker >= 0xD0 && marker <= 0xD9) || marker == 0x01 || marker == 0xD8;
}

// Lossless, hierarchical and arithmetic-coded frames.
bool IsUnsupportedProcess(uint8_t marker) {
    return marker >= 0xC3 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

bool ReadQuantTables(const CJpegSegment& s, size_t base, CJpegHeader& h, std::string* error) {
    for (int pos = 0; pos < s.m_nLength;) {
        const int pq = s.m_pData[pos] >> 4, tq = s.m_pData[pos] & 15;
        if (tq > 3 || pq > 1)
            return Fail(error, "corrupt JPEG header: bad quantisation table");
        const int need = pq ? 128 : 64;
        if (pos + 1 + need > s.m_nLength)
            return Fail(error, "corrupt JPEG header: short quantisation table");
        h.m_arrQuantAt[tq] = static_cast<uint32_t>(base + pos + 1);
        pos += 1 + need;
    }
    return true;
}

// The code lengths must leave room for every code (ITU-T T.81 Annex C).
bool CodesFit(const uint8_t* counts) {
    int32_t code = 0;
    for (int len = 1; len <= 16; ++len) {
        code += counts[len - 1];
        if (code > (1 << len))
            return false;
        code <<= 1;
    }
    return true;
}

bool ReadHuffmanTables(const CJpegSegment& s, size_t base, CJpegHeader& h, std::string* error) {
    for (int pos = 0; pos < s.m_nLength;) {
        if (pos + 17 > s.m_nLength)
            return Fail(error, "corrupt JPEG header: short Huffman table");
        const uint8_t* t = s.m_pData + pos;
        const int tc = t[0] >> 4, th = t[0] & 15;
        if (tc > 1 || th > 3)
            return Fail(error, "corrupt JPEG header: bad Huffman table class or number");
        int count = 0;
        for (int i = 1; i <= 16; ++i)
            count += t[i];
        if (count > 256 || pos + 17 + count > s.m_nLength)
            return Fail(error, "corrupt JPEG header: bad Huffman table size");
        if (!CodesFit(t + 1))
            return Fail(error, "corrupt JPEG header: Huffman table has too many codes");
        (tc ? h.m_arrAcAt : h.m_arrDcAt)[th] = static_cast<uint32_t>(base + pos + 1);
        pos += 17 + count;
    }
    return true;
}

} // namespace

bool CJpegSegments::Begin() {
    if (!m_pData || m_nSize < 4 || m_pData[0] != 0xFF || m_pData[1] != 0xD8) {
        m_strError = "not a JPEG stream (no start-of-image marker)";
        return false;
    }
    m_nPos = 2;
    return true;
}

bool CJpegSegments::Next(CJpegSegment& s) {
    while (m_nPos < m_nSize && m_pData[m_nPos] != 0xFF)
        ++m_nPos;
    while (m_nPos < m_nSize && m_pData[m_nPos] == 0xFF)
        ++m_nPos;
    if (m_nPos >= m_nSize) {
        m_bAtEnd = true;
        m_strError = "corrupt JPEG: data ends before the image";
        return false;
    }
    s = CJpegSegment{};
    s.m_nMarker = m_pData[m_nPos++];
    if (IsStandAlone(s.m_nMarker)) {
        s.m_nEnd = m_nPos;
        return true;
    }
    if (m_nSize - m_nPos < 2) {
        m_strError = "corrupt JPEG: segment length missing";
        return false;
    }
    const int len = U16(m_pData + m_nPos);
    if (len < 2 || m_nSize - m_nPos < static_cast<size_t>(len)) {
        m_strError = "corrupt JPEG: segment runs past the end of the data";
        return false;
    }
    s.m_pData = m_pData + m_nPos + 2;
    s.m_nLength = len - 2;
    m_nPos += len;
    s.m_nEnd = m_nPos;
    return true;
}

bool ReadJpegFrame(const CJpegSegment& s, CJpegFrame& f, std::string* error) {
    const uint8_t* seg = s.m_pData;
    if (!seg || s.m_nLength < 6)
        return Fail(error, "corrupt JPEG header: short frame header");
    f = CJpegFrame{};
    f.m_nMarker = s.m_nMarker;
    f.m_nHeight = U16(seg + 1);
    f.m_nWidth = U16(seg + 3);
    f.m_nComponents = seg[5];
    if (s.m_nLength < 6 + 3 * f.m_nComponents)
        return Fail(error, "corrupt JPEG header: short frame header");
    if (seg[0] != 8)
        return Fail(error, "unsupported JPEG: only 8-bit samples are decoded");
    if (f.m_nComponents != 1 && f.m_nComponents != 3)
        return Fail(error, "unsupported JPEG: only grey and three-component colour are decoded");
    if (f.m_nWidth == 0 || f.m_nHeight == 0)
        return Fail(error, "unsupported JPEG: image size missing from the frame header");
    for (int i = 0; i < f.m_nComponents; ++i) {
        CJpegFrame::Component& c = f.m_arrComp[i];
        c.m_nId = seg[6 + 3 * i];
        c.m_nH = seg[7 + 3 * i] >> 4;
        c.m_nV = seg[7 + 3 * i] & 15;
        c.m_nQuant = seg[8 + 3 * i];
        if (c.m_nH < 1 || c.m_nH > 4 || c.m_nV < 1 || c.m_nV > 4 || c.m_nQuant > 3)
            return Fail(error, "corrupt JPEG header: bad component sampling or table");
        for (int j = 0; j < i; ++j)
            if (f.m_arrComp[j].m_nId == c.m_nId)
                return Fail(error, "corrupt JPEG header: duplicate component id");
        f.m_nHMax = c.m_nH > f.m_nHMax ? c.m_nH : f.m_nHMax;
        f.m_nVMax = c.m_nV > f.m_nVMax ? c.m_nV : f.m_nVMax;
    }
    return true;
}

int CJpegHeader::DotsPerInch() const {
    if (m_nDensityUnit == 1)
        return m_nXDensity;
    if (m_nDensityUnit == 2)
        return (m_nXDensity * 254 + 50) / 100;
    return 0;
}

bool ReadJpegHeader(const uint8_t* data, size_t size, CJpegHeader& h, std::string* error) {
    h = CJpegHeader{};
    CJpegSegments walk(data, size);
    if (!walk.Begin())
        return Fail(error, walk.Error().c_str());
    bool haveFrame = false;
    CJpegSegment s;
    while (walk.Next(s)) {
        const size_t base = static_cast<size_t>(s.m_pData ? s.m_pData - data : 0);
        switch (s.m_nMarker) {
        case 0xC0:
        case 0xC1:
        case 0xC2:
            if (haveFrame)
                return Fail(error, "corrupt JPEG header: second frame header");
            if (!ReadJpegFrame(s, h.m_frame, error))
                return false;
            h.m_bProgressive = s.m_nMarker == 0xC2;
            haveFrame = true;
            break;
        case 0xC4:
            if (!ReadHuffmanTables(s, base, h, error))
                return false;
            break;
        case 0xDB:
            if (!ReadQuantTables(s, base, h, error))
                return false;
            break;
        case 0xDD:
            if (s.m_nLength < 2)
                return Fail(error, "corrupt JPEG header: short restart interval");
            h.m_nRestartInterval = U16(s.m_pData);
            break;
        case 0xE0:
            if (s.m_nLength >= 12 && std::memcmp(s.m_pData, "JFIF\0", 5) == 0) {
                h.m_nDensityUnit = s.m_pData[7];
                h.m_nXDensity = U16(s.m_pData + 8);
                h.m_nYDensity = U16(s.m_pData + 10);
            }
            break;
        case 0xD9:
            return Fail(error, "corrupt JPEG: end of image before any scan");
        case 0xDA: {
            if (!haveFrame)
                return Fail(error, "corrupt JPEG: scan before the frame header");
            h.m_nHeaderLength = s.m_nEnd;
            const int n = s.m_nLength > 0 ? s.m_pData[0] : 0;
            if (n <= 4 && s.m_nLength >= 1 + 2 * n) {
                h.m_nScanComponents = n;
                for (int c = 0; c < n; ++c) {
                    h.m_arrScanDc[c] = s.m_pData[2 + 2 * c] >> 4;
                    h.m_arrScanAc[c] = s.m_pData[2 + 2 * c] & 15;
                }
            }
            return true;
        }
        default:
            if (IsUnsupportedProcess(s.m_nMarker))
                return Fail(
                    error,
                    "unsupported JPEG process (lossless, hierarchical or arithmetic coding)");
            break; // APPn, COM and others are skipped by their length
        }
    }
    return Fail(error, walk.Error().c_str());
}

} // namespace vlm
