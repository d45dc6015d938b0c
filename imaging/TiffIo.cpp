#include "TiffIo.h"

#include <cstdarg>
#include <cstring>
#include <vector>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <cstdlib>
#include <unistd.h>
#endif

namespace vlm {
namespace tiffio {
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

void Print(TiffTextSink sink, const char* fmt, va_list ap) {
    if (!sink)
        return;
    char buf[512];
    std::vsnprintf(buf, sizeof(buf), fmt, ap);
    sink(buf);
}

} // namespace

void Console(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    Print(g_pfnConsole, fmt, ap);
    va_end(ap);
}
void Debug(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    Print(g_pfnDebug, fmt, ap);
    va_end(ap);
}
void RunLog(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    Print(g_pfnRunLog, fmt, ap);
    va_end(ap);
}
const TiffJpegCodec& JpegCodec() {
    return g_JpegCodec;
}

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

CTempFile::CTempFile() {
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

CTempFile::~CTempFile() {
    if (!m_strPath.empty())
        std::remove(m_strPath.c_str());
}

} // namespace tiffio

using namespace tiffio;

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
    tiffio::g_JpegCodec = codec;
}
void SetTiffConsoleSink(TiffTextSink sink) {
    tiffio::g_pfnConsole = sink;
}
void SetTiffDebugSink(TiffTextSink sink) {
    tiffio::g_pfnDebug = sink;
}
void SetTiffRunLogSink(TiffTextSink sink) {
    tiffio::g_pfnRunLog = sink;
}

bool CTiffFile::Open(const char* path, char mode) {
    Release();
    if (!path || (mode != 'r' && mode != 'w'))
        return false;
    // A longer path would open another, shorter one: refused, and said so.
    const size_t length = strnlen(path, kMaxPathChars + 1);
    if (length > kMaxPathChars) {
        RunLog("TIFF path longer than %u characters: %s", static_cast<unsigned>(kMaxPathChars),
               path);
        return false;
    }
    m_strPath.assign(path, length);
    Console("%s\n", m_strPath.c_str());
    if (mode == 'r')
        return OpenForReading();
    m_pFile = std::fopen(m_strPath.c_str(), "wb");
    if (!m_pFile)
        return false;
    m_cMode = 'w';
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
    m_pJpegRows = nullptr;
    m_nJpegStride = 0;
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

size_t CTiffFile::RowStride() const {
    return (RowBytes() + 3) / 4 * 4;
}

} // namespace vlm
