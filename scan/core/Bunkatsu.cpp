#include "Bunkatsu.h"

#include <algorithm>
#include <cstring>

#include "ScanLog.h"

int CBunkatsu::ClampCount(int n) {
    if (n <= 0)
        return 1;
    return n > 3 ? 4 : n;
}

CBunkatsu::CBunkatsu(int nHorizontal, int nVertical, int nSwapMode, int nSide)
    : m_nHorizontal(ClampCount(nHorizontal)), m_nVertical(ClampCount(nVertical)),
      m_nCount(m_nHorizontal * m_nVertical), m_nSwapMode(nSwapMode), m_nSide(nSide) {}

bool CBunkatsu::ShouldSwap(int nSwapMode, int nSide) {
    return nSwapMode == 3 || (nSwapMode == 2 && nSide == 1) || (nSwapMode == 1 && nSide == 0);
}

namespace {
// Copies nBits bits starting at bit bitOffset of src (most significant bit
// first) to the start of dst, which has room for (nBits + 7) / 8 bytes.
void CopyBits(uint8_t* dst, const uint8_t* src, uint64_t bitOffset, uint64_t nBits) {
    const uint64_t byteOff = bitOffset / 8;
    const unsigned shift = static_cast<unsigned>(bitOffset % 8);
    const uint64_t nBytes = (nBits + 7) / 8;
    if (shift == 0) {
        memcpy(dst, src + byteOff, nBytes);
    } else {
        const uint64_t srcLast = (bitOffset + nBits - 1) / 8; // last source byte needed
        for (uint64_t i = 0; i < nBytes; ++i) {
            uint8_t hi = static_cast<uint8_t>(src[byteOff + i] << shift);
            uint8_t lo = byteOff + i + 1 <= srcLast ? src[byteOff + i + 1] >> (8 - shift) : 0;
            dst[i] = hi | lo;
        }
    }
    if (nBits % 8) // clear the bits past the piece's last pixel
        dst[nBytes - 1] &= static_cast<uint8_t>(0xFF << (8 - nBits % 8));
}
} // namespace

int CBunkatsu::Split(const VlmImageInfo& src) {
    CScanTraceLog::Write("Bunkatsu Start");
    m_Pieces.clear();
    m_Buffers.clear();
    const uint64_t bpp = uint64_t(src.Bps) * src.Spp;
    if (!src.lpImage || src.Width <= 0 || src.Height <= 0 || bpp == 0 ||
        uint64_t(src.Sync) * 8 < uint64_t(src.Width) * bpp ||
        uint64_t(src.ImageSize) < uint64_t(src.Sync) * uint64_t(src.Height)) {
        CScanTraceLog::Write("Bunkatsu Error m_pBunkatsuInfo == NULL");
        return -1;
    }
    const int32_t width = src.Width / m_nHorizontal;
    const int32_t height = src.Height / m_nVertical;
    if (width <= 0 || height <= 0) {
        CScanTraceLog::Write("Bunkatsu Error m_pBunkatsuInfo == NULL");
        return -1;
    }
    m_Pieces.resize(m_nCount);
    m_Buffers.resize(m_nCount);
    for (int j = 0; j < m_nVertical; ++j) {
        const uint64_t rowOffset = uint64_t(height) * src.Sync * j;
        CScanTraceLog::WriteF("\t\t dwOffSetH=%d", static_cast<long long>(rowOffset));
        for (int k = 0; k < m_nHorizontal; ++k) {
            const int i = j * m_nHorizontal + k;
            VlmImageInfo& p = m_Pieces[i];
            p = src;
            p.Width = width;
            p.Height = height;
            p.Sync = VlmSyncBytes(static_cast<uint32_t>(width), static_cast<uint32_t>(bpp));
            p.ImageSize = p.Sync * static_cast<uint32_t>(height);
            p.lpImage = nullptr;
            if (!m_Buffers[i].Reserve(p.ImageSize) || !m_Buffers[i].CommitTo(p.ImageSize)) {
                CScanTraceLog::Write("Bunkatsu Error m_pBunkatsuInfo.lpImage == NULL");
                m_Pieces.clear();
                m_Buffers.clear();
                return -1;
            }
            p.lpImage = m_Buffers[i].Data();
            CScanTraceLog::WriteF(" Bunkatsu=%d", i);
            // Pieces start on their first pixel (not on a fraction of the
            // padded row), so no pixel is lost or read from the padding.
            const uint64_t bitOffset = uint64_t(width) * k * bpp;
            CScanTraceLog::WriteF("\t\t dwOffSetW=%d", static_cast<long long>(bitOffset / 8));
            const uint8_t* s = src.lpImage + rowOffset;
            uint8_t* d = p.lpImage;
            for (int32_t r = 0; r < height; ++r) {
                CopyBits(d, s, bitOffset, uint64_t(width) * bpp);
                s += src.Sync;
                d += p.Sync;
            }
        }
    }
    if (ShouldSwap(m_nSwapMode, m_nSide)) {
        CScanTraceLog::Write("CBunkatsu::Swap() in");
        std::reverse(m_Pieces.begin(), m_Pieces.end());
        std::reverse(m_Buffers.begin(), m_Buffers.end());
        CScanTraceLog::Write("CBunkatsu::Swap() out");
    }
    CScanTraceLog::Write("Bunkatsu End");
    return 0;
}
