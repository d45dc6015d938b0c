#include "tiff.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <map>
#include <set>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <cstdlib>
#include <unistd.h>
#endif

namespace vlm {
namespace {

void DefaultConsole(const char* text) {
    std::fputs(text, stdout);
    std::fflush(stdout);
}
void DefaultDebug(const char* text) {
#ifdef _WIN32
    OutputDebugStringA(text);
#else
    (void)text;
#endif
}

TiffTextSink g_pfnConsole = DefaultConsole;
TiffTextSink g_pfnDebug = DefaultDebug;
TiffTextSink g_pfnRunLog = nullptr;
TiffJpegCodec g_JpegCodec;

void Printf(TiffTextSink sink, const char* fmt, ...) {
    if (!sink)
        return;
    char buf[512];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(buf, sizeof(buf), fmt, ap);
    va_end(ap);
    sink(buf);
}

#define TIFF_NG() Printf(g_pfnConsole, "NG line %d\n", __LINE__)

bool Seek(std::FILE* f, uint64_t pos) {
#ifdef _WIN32
    return _fseeki64(f, static_cast<__int64>(pos), SEEK_SET) == 0;
#else
    return fseeko(f, static_cast<off_t>(pos), SEEK_SET) == 0;
#endif
}

bool FileSize(std::FILE* f, uint64_t& size) {
#ifdef _WIN32
    if (_fseeki64(f, 0, SEEK_END) != 0)
        return false;
    __int64 n = _ftelli64(f);
#else
    if (fseeko(f, 0, SEEK_END) != 0)
        return false;
    off_t n = ftello(f);
#endif
    if (n < 0)
        return false;
    size = static_cast<uint64_t>(n);
    return true;
}

bool ReadAt(std::FILE* f, uint64_t pos, void* dst, size_t n) {
    return Seek(f, pos) && std::fread(dst, 1, n, f) == n;
}

bool Truncate(std::FILE* f, uint64_t size) {
    std::fflush(f);
#ifdef _WIN32
    return _chsize_s(_fileno(f), static_cast<__int64>(size)) == 0;
#else
    return ftruncate(fileno(f), static_cast<off_t>(size)) == 0;
#endif
}

// One owner for a stdio stream.
struct CFileCloser {
    void operator()(std::FILE* f) const {
        if (f)
            std::fclose(f);
    }
};
using CFilePtr = std::unique_ptr<std::FILE, CFileCloser>;

// A temporary file named with the "tc" prefix; deleted on destruction.
class CTempFile {
public:
    CTempFile() {
#ifdef _WIN32
        char dir[MAX_PATH], name[MAX_PATH];
        DWORD n = GetTempPathA(MAX_PATH, dir);
        if (n > 0 && n < MAX_PATH && GetTempFileNameA(dir, "tc", 0, name))
            m_strPath = name;
#else
        const char* dir = std::getenv("TMPDIR");
        std::string templ = std::string(dir && *dir ? dir : "/tmp") + "/tcXXXXXX";
        std::vector<char> buf(templ.begin(), templ.end());
        buf.push_back(0);
        int fd = mkstemp(buf.data());
        if (fd >= 0) {
            close(fd);
            m_strPath = buf.data();
        }
#endif
    }
    ~CTempFile() {
        if (!m_strPath.empty())
            std::remove(m_strPath.c_str());
    }
    CTempFile(const CTempFile&) = delete;
    CTempFile& operator=(const CTempFile&) = delete;
    bool Ok() const {
        return !m_strPath.empty();
    }
    const char* Path() const {
        return m_strPath.c_str();
    }

private:
    std::string m_strPath;
};

inline void PutLE16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutLE32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline uint32_t GetLE32(const uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// Byte-order aware field access for files being read.
struct CByteOrder {
    bool big = false;
    uint16_t U16(const uint8_t* p) const {
        return static_cast<uint16_t>(big ? (p[0] << 8 | p[1]) : (p[1] << 8 | p[0]));
    }
    uint32_t U32(const uint8_t* p) const {
        return big ? (static_cast<uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3])
                   : GetLE32(p);
    }
};

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

constexpr uint32_t kMaxDimension = 1u << 20;
constexpr uint16_t kMaxEntries = 4096;
constexpr int kMaxPages = 100000;

} // namespace

uint32_t TiffTypeSize(uint16_t type) {
    switch (type) {
    case kTypeByte:
    case kTypeAscii:
    case kTypeSbyte:
    case kTypeUndefined:
        return 1;
    case kTypeShort:
    case kTypeSshort:
        return 2;
    case kTypeLong:
    case kTypeSlong:
    case kTypeFloat:
        return 4;
    default:
        return 8;
    }
}

void SetTiffJpegCodec(const TiffJpegCodec& codec) {
    g_JpegCodec = codec;
}
void SetTiffConsoleSink(TiffTextSink sink) {
    g_pfnConsole = sink;
}
void SetTiffDebugSink(TiffTextSink sink) {
    g_pfnDebug = sink;
}
void SetTiffRunLogSink(TiffTextSink sink) {
    g_pfnRunLog = sink;
}

// ---------------------------------------------------------------- common

bool CTiffFile::Open(const char* path, char mode) {
    Release();
    if (!path || (mode != 'r' && mode != 'w'))
        return false;
    m_strPath.assign(path, strnlen(path, 260));
    Printf(g_pfnConsole, "%s\n", m_strPath.c_str());
    if (mode == 'w') {
        m_pFile = std::fopen(m_strPath.c_str(), "wb");
        if (!m_pFile)
            return false;
        m_cMode = 'w';
        return true;
    }
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

void CTiffFile::Release() {
    if (m_pFile)
        std::fclose(m_pFile);
    m_pFile = nullptr;
    m_cMode = 0;
    m_bBigEndian = false;
    m_nPageCount = 0;
    m_nWidth = m_nLength = 0;
    m_nBitsPerSample = m_nSamplesPerPixel = m_nCompression = 1;
    m_nPhotometric = m_nRowsPerStrip = m_nXResolution = m_nYResolution = 0;
    m_nJpegQuality = 75;
    m_nFillOrder = m_nPlanar = 1;
    m_nT4Options = m_nJpegProc = m_nJpegOffset = m_nJpegLength = 0;
    m_vecStripOffsets.clear();
    m_vecStripByteCounts.clear();
    std::vector<uint8_t>().swap(m_vecJpegPage);
    m_pG4.reset();
    m_nIfdOffset = m_nFileSize = 0;
    m_nRowsWritten = 0;
    m_nBytesWritten = 0;
    m_vecRow.clear();
    m_vecEntries.clear();
    m_nDataOffset = 0;
    m_bFailed = false;
    m_bStarted = false;
}

size_t CTiffFile::RowBytes() const {
    uint64_t bits = static_cast<uint64_t>(m_nWidth) * m_nBitsPerSample * m_nSamplesPerPixel;
    return static_cast<size_t>((bits + 7) / 8);
}

// ---------------------------------------------------------------- writing

int CTiffFile::TiffSetTagOld(uint32_t tag, uint32_t value) {
    Printf(g_pfnDebug, "TiffSetTagOld %s", TagName(tag));
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
    Printf(g_pfnDebug, "TiffSetTag ");
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

// Where the pieces of a baseline JPEG stream's header are.
struct JpegLayout {
    uint32_t headerLength = 0; // through the start-of-scan segment
    uint32_t width = 0, height = 0, components = 0, density = 0;
    uint32_t qTable[4] = {}, dcTable[4] = {}, acTable[4] = {}; // positions of table data
    bool hasQ[4] = {}, hasDc[4] = {}, hasAc[4] = {};
    uint8_t compQ[3] = {}, compDc[3] = {}, compAc[3] = {};
};

bool ParseJpegHeader(const std::vector<uint8_t>& s, JpegLayout& L) {
    if (s.size() < 4 || s[0] != 0xFF || s[1] != 0xD8)
        return false;
    size_t pos = 2;
    bool haveSof = false;
    while (pos + 4 <= s.size()) {
        if (s[pos] != 0xFF)
            return false;
        uint8_t marker = s[pos + 1];
        if (marker == 0xFF) {
            ++pos;
            continue;
        }
        size_t len = s[pos + 2] << 8 | s[pos + 3];
        size_t body = pos + 4, end = pos + 2 + len;
        if (len < 2 || end > s.size())
            return false;
        switch (marker) {
        case 0xE0: // JFIF: density in dots per inch (or per cm, converted)
            if (len >= 16 && std::memcmp(&s[body], "JFIF", 5) == 0) {
                uint32_t units = s[body + 7], xd = s[body + 8] << 8 | s[body + 9];
                L.density = units == 2 ? (xd * 254 + 50) / 100 : xd;
            }
            break;
        case 0xDB:
            for (size_t q = body; q < end;) {
                uint8_t pq = s[q] >> 4, tq = s[q] & 15;
                if (tq > 3 || pq > 1)
                    return false;
                L.qTable[tq] = static_cast<uint32_t>(q + 1);
                L.hasQ[tq] = true;
                q += 1 + (pq ? 128 : 64);
                if (q > end)
                    return false;
            }
            break;
        case 0xC4:
            for (size_t h = body; h < end;) {
                if (h + 17 > end)
                    return false;
                uint8_t tc = s[h] >> 4, th = s[h] & 15;
                if (tc > 1 || th > 3)
                    return false;
                size_t total = 0;
                for (int i = 1; i <= 16; ++i)
                    total += s[h + i];
                (tc ? L.acTable : L.dcTable)[th] = static_cast<uint32_t>(h + 1);
                (tc ? L.hasAc : L.hasDc)[th] = true;
                h += 17 + total;
                if (h > end)
                    return false;
            }
            break;
        case 0xC0: // baseline only: the TIFF tables describe baseline coding
            if (len < 8)
                return false;
            L.height = s[body + 1] << 8 | s[body + 2];
            L.width = s[body + 3] << 8 | s[body + 4];
            L.components = s[body + 5];
            if ((L.components != 1 && L.components != 3) || len < 8 + 3 * L.components)
                return false;
            for (uint32_t c = 0; c < L.components; ++c) {
                L.compQ[c] = s[body + 6 + 3 * c + 2];
                if (L.compQ[c] > 3)
                    return false;
            }
            haveSof = true;
            break;
        case 0xDA: {
            if (!haveSof || s[body] != L.components || len < 6 + 2 * L.components)
                return false;
            for (uint32_t c = 0; c < L.components; ++c) {
                L.compDc[c] = s[body + 2 + 2 * c] >> 4;
                L.compAc[c] = s[body + 2 + 2 * c] & 15;
                if (L.compDc[c] > 3 || L.compAc[c] > 3 || !L.hasDc[L.compDc[c]] ||
                    !L.hasAc[L.compAc[c]] || !L.hasQ[L.compQ[c]])
                    return false;
            }
            L.headerLength = static_cast<uint32_t>(end);
            return L.width > 0 && L.height > 0;
        }
        default:
            if ((marker >= 0xC1 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
                 marker != 0xCC))
                return false; // not baseline
            break;
        }
        pos = end;
    }
    return false;
}

} // namespace

int CTiffFile::CloseJpeg() {
    if (!g_JpegCodec.pfnSave) {
        Printf(g_pfnDebug, "TIFF JPEG page: no JPEG library\n");
        return -1;
    }
    CTempFile tmp;
    if (!tmp.Ok())
        return -1;
    const int colour = m_nSamplesPerPixel == 3 ? 2 : 1;
    const int stride = static_cast<int>((m_nSamplesPerPixel * m_nWidth + 3) / 4 * 4);
    if (g_JpegCodec.pfnSave(tmp.Path(), m_vecJpegPage.data(), static_cast<int>(m_nWidth),
                            static_cast<int>(m_nRowsWritten), static_cast<int>(m_nXResolution),
                            colour, stride, static_cast<int>(m_nJpegQuality)) != 0)
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
    JpegLayout L;
    if (!ParseJpegHeader(stream, L) || L.components != m_nSamplesPerPixel)
        return -1;
    const bool isColour = L.components == 3;
    const uint32_t res = L.density ? L.density : m_nXResolution;
    const uint32_t len = static_cast<uint32_t>(stream.size());

    std::vector<uint8_t> head(512, 0);
    head[0] = 'I';
    head[1] = 'I';
    PutLE16(&head[2], 42);
    PutLE32(&head[4], 8);
    PutLE16(&head[8], 20);
    uint8_t* p = &head[10];
    auto entry = [&](uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
        PutLE16(p, tag);
        PutLE16(p + 2, type);
        PutLE32(p + 4, count);
        if (type == kTypeShort && count == 1)
            PutLE16(p + 8, value);
        else
            PutLE32(p + 8, value);
        p += 12;
    };
    auto tables = [&](uint32_t at, const uint32_t* pos, const uint8_t* sel) {
        for (int c = 0; c < 3; ++c)
            PutLE32(&head[at + 4 * c], 512 + pos[sel[c]]);
    };
    entry(254, kTypeLong, 1, 0);
    entry(256, kTypeLong, 1, L.width);
    entry(257, kTypeLong, 1, L.height);
    if (isColour) {
        entry(258, kTypeShort, 3, 384);
        for (int c = 0; c < 3; ++c)
            PutLE16(&head[384 + 2 * c], 8);
    } else {
        entry(258, kTypeShort, 1, 8);
    }
    entry(259, kTypeShort, 1, 6);
    entry(262, kTypeShort, 1, isColour ? 2 : 1);
    entry(273, kTypeLong, 1, 512 + L.headerLength);
    entry(274, kTypeShort, 1, 1);
    entry(277, kTypeShort, 1, L.components);
    entry(278, kTypeLong, 1, L.height);
    entry(279, kTypeLong, 1, len - L.headerLength);
    entry(282, kTypeRational, 1, 400);
    entry(283, kTypeRational, 1, 408);
    PutLE32(&head[400], res);
    PutLE32(&head[404], 1);
    PutLE32(&head[408], res);
    PutLE32(&head[412], 1);
    entry(296, kTypeShort, 1, 2);
    entry(512, kTypeLong, 1, 1);
    entry(513, kTypeLong, 1, 512);
    entry(514, kTypeLong, 1, L.headerLength);
    if (isColour) {
        entry(519, kTypeLong, 3, 416);
        entry(520, kTypeLong, 3, 432);
        entry(521, kTypeLong, 3, 448);
        tables(416, L.qTable, L.compQ);
        tables(432, L.dcTable, L.compDc);
        tables(448, L.acTable, L.compAc);
    } else {
        entry(519, kTypeLong, 1, 512 + L.qTable[L.compQ[0]]);
        entry(520, kTypeLong, 1, 512 + L.dcTable[L.compDc[0]]);
        entry(521, kTypeLong, 1, 512 + L.acTable[L.compAc[0]]);
    }
    PutLE32(p, 0); // next IFD (offset 250)
    if (!Seek(m_pFile, 0) || std::fwrite(head.data(), 1, head.size(), m_pFile) != head.size() ||
        std::fwrite(stream.data(), 1, stream.size(), m_pFile) != stream.size())
        return -1;
    Printf(g_pfnConsole, "Setup Complete!!\n");
    return 0;
}

// ---------------------------------------------------------------- reading

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
                Printf(g_pfnConsole, "malloc failed - %d\n", static_cast<int>(bytes));
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

size_t CTiffFile::RowStride() const {
    return (RowBytes() + 3) / 4 * 4;
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
                    Printf(g_pfnConsole, "%d ", run);
                Printf(g_pfnConsole, "DECODE Error line %d\n",
                       static_cast<int>(first) + dec.ErrorRow());
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
    if (!g_JpegCodec.pfnRead || m_nBitsPerSample != 8 ||
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
    if (!g_JpegCodec.pfnRead(tmp.Path(), buffer, &w, &h, static_cast<int>(RowStride())) ||
        w != static_cast<int>(m_nWidth) || h != static_cast<int>(m_nLength)) {
        TIFF_NG();
        return -1;
    }
    (void)size;
    return 0;
}

// ---------------------------------------------------------------- ConcatTiff

namespace {

// Tags whose values are file offsets and move with the data they point to.
bool IsOffsetTag(uint16_t tag) {
    return tag == 273 || tag == 288 || tag == 324 || tag == 513 || tag == 519 || tag == 520 ||
           tag == 521;
}
// Tags that point to further directories, which this routine does not walk.
bool IsSubDirectoryTag(uint16_t tag) {
    return tag == 330 || tag == 34665 || tag == 34853 || tag == 40965;
}

// Reads a little-endian TIFF's chain. Returns false for anything malformed.
struct CChain {
    std::vector<uint64_t> ifds;
    uint64_t lastLink = 4; // position of the last next-IFD field
};

bool WalkChain(std::FILE* f, uint64_t fileSize, CChain& chain) {
    uint8_t hdr[8];
    if (fileSize < 8 || !ReadAt(f, 0, hdr, 8))
        return false;
    if (hdr[0] != 'I' || hdr[1] != 'I' || hdr[2] != 42 || hdr[3] != 0)
        return false;
    uint64_t off = GetLE32(hdr + 4);
    chain.lastLink = 4;
    std::set<uint64_t> seen;
    while (off != 0) {
        uint8_t b[4];
        if (seen.count(off) || off < 8 || off + 2 > fileSize || seen.size() >= kMaxPages ||
            !ReadAt(f, off, b, 2))
            return false;
        seen.insert(off);
        uint64_t n = b[0] | b[1] << 8;
        if (n == 0 || off + 2 + 12 * n + 4 > fileSize || !ReadAt(f, off + 2 + 12 * n, b, 4))
            return false;
        chain.ifds.push_back(off);
        chain.lastLink = off + 2 + 12 * n;
        off = GetLE32(b);
    }
    return !chain.ifds.empty();
}

// Collects every 4-byte field of the page file that must move by `base`.
bool PlanRelocation(std::FILE* f, uint64_t size, const CChain& chain, uint64_t base,
                    std::map<uint64_t, uint32_t>& patches) {
    for (size_t k = 0; k < chain.ifds.size(); ++k) {
        const uint64_t off = chain.ifds[k];
        uint8_t b[2];
        if (!ReadAt(f, off, b, 2))
            return false;
        const uint32_t n = b[0] | b[1] << 8;
        std::vector<uint8_t> ifd(12 * n + 4);
        if (!ReadAt(f, off + 2, ifd.data(), ifd.size()))
            return false;
        if (k + 1 < chain.ifds.size())
            patches[off + 2 + 12 * n] = static_cast<uint32_t>(chain.ifds[k + 1] + base);
        bool hasWidth = false, hasStrips = false;
        std::vector<uint32_t> stripOffsets, stripCounts;
        for (uint32_t i = 0; i < n; ++i) {
            const uint8_t* e = &ifd[12 * i];
            const uint16_t tag = static_cast<uint16_t>(e[0] | e[1] << 8);
            const uint16_t type = static_cast<uint16_t>(e[2] | e[3] << 8);
            const uint32_t count = GetLE32(e + 4);
            const uint64_t bytes = static_cast<uint64_t>(count) * TiffTypeSize(type);
            const uint64_t valuePos = off + 2 + 12 * i + 8;
            if (IsSubDirectoryTag(tag))
                return false;
            uint64_t dataPos = valuePos;
            if (bytes > 4) {
                dataPos = GetLE32(e + 8);
                if (dataPos + bytes > size)
                    return false;
                patches[valuePos] = static_cast<uint32_t>(dataPos + base);
            }
            if (tag == 256)
                hasWidth = true;
            if (!IsOffsetTag(tag) && tag != 279)
                continue;
            if (type != kTypeLong && !(type == kTypeShort && tag == 279))
                return false; // a SHORT offset could not hold the moved value
            std::vector<uint8_t> vals(static_cast<size_t>(bytes));
            if (bytes > 4) {
                if (!ReadAt(f, dataPos, vals.data(), vals.size()))
                    return false;
            } else {
                std::copy(e + 8, e + 8 + vals.size(), vals.begin()); // count 0: no values
            }
            std::vector<uint32_t>* keep = tag == 273   ? &stripOffsets
                                          : tag == 279 ? &stripCounts
                                                       : nullptr;
            for (uint32_t c = 0; c < count; ++c) {
                uint32_t v =
                    type == kTypeShort ? vals[2 * c] | vals[2 * c + 1] << 8 : GetLE32(&vals[4 * c]);
                if (keep)
                    keep->push_back(v);
                if (tag == 279)
                    continue;
                if (v > size)
                    return false;
                patches[dataPos + 4ull * c] = static_cast<uint32_t>(v + base);
            }
            if (tag == 273)
                hasStrips = true;
        }
        if (!hasWidth || !hasStrips || stripOffsets.size() != stripCounts.size())
            return false;
        for (size_t s = 0; s < stripOffsets.size(); ++s)
            if (static_cast<uint64_t>(stripOffsets[s]) + stripCounts[s] > size)
                return false;
    }
    return true;
}

void RunLog(const char* fmt, ...) {
    if (!g_pfnRunLog)
        return;
    char buf[512];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(buf, sizeof(buf), fmt, ap);
    va_end(ap);
    g_pfnRunLog(buf);
}

} // namespace

int ConcatTiff(const char* targetPath, const char* pagePath) {
    RunLog("ConcatTiff 001");
    if (!targetPath || !pagePath)
        return 1;
    CFilePtr target(std::fopen(targetPath, "r+b"));
    CFilePtr page(std::fopen(pagePath, "rb"));
    if (!target || !page)
        return 1;
    uint64_t size1 = 0, size2 = 0;
    if (!FileSize(target.get(), size1) || !FileSize(page.get(), size2))
        return -1;
    const uint64_t total = size1 + size2 + 100;
    RunLog("File Sise Total = %d, file1size = %d, file2size = %d, file1sizeH = %d, "
           "file2sizeH = %d",
           static_cast<int>(static_cast<uint32_t>(total)),
           static_cast<int>(static_cast<uint32_t>(size1)),
           static_cast<int>(static_cast<uint32_t>(size2)), static_cast<int>(size1 >> 32),
           static_cast<int>(size2 >> 32));
    if (total >= (1ull << 31)) {
        RunLog("Tiff File Sise Over");
        return 2;
    }
    CChain targetChain, pageChain;
    if (!WalkChain(target.get(), size1, targetChain) || !WalkChain(page.get(), size2, pageChain))
        return 1;
    std::map<uint64_t, uint32_t> patches;
    if (!PlanRelocation(page.get(), size2, pageChain, size1, patches))
        return 1;

    // Append the page file with its fields already moved; the target's chain
    // is linked to it only when everything else is on disk.
    bool ok = Seek(target.get(), size1) && Seek(page.get(), 0);
    auto it = patches.begin();
    uint8_t piece[1024];
    for (uint64_t pos = 0; ok && pos < size2;) {
        size_t k = static_cast<size_t>(std::min<uint64_t>(sizeof(piece), size2 - pos));
        if (std::fread(piece, 1, k, page.get()) != k) {
            ok = false;
            break;
        }
        // A field may straddle two pieces: patch byte by byte.
        while (it != patches.end() && it->first + 4 <= pos)
            ++it;
        for (auto p = it; p != patches.end() && p->first < pos + k; ++p)
            for (int b = 0; b < 4; ++b) {
                uint64_t at = p->first + b;
                if (at >= pos && at < pos + k)
                    piece[at - pos] = static_cast<uint8_t>(p->second >> (8 * b));
            }
        if (std::fwrite(piece, 1, k, target.get()) != k)
            ok = false;
        pos += k;
    }
    uint8_t link[4];
    PutLE32(link, static_cast<uint32_t>(pageChain.ifds[0] + size1));
    ok = ok && std::fflush(target.get()) == 0 && Seek(target.get(), targetChain.lastLink) &&
         std::fwrite(link, 1, 4, target.get()) == 4 && std::fflush(target.get()) == 0;
    if (!ok) {
        Truncate(target.get(), size1); // best effort: drop the unlinked tail
        return -1;
    }
    if (std::fclose(target.release()) != 0)
        return -1;
    return 0;
}

} // namespace vlm
