#include "ccitt.h"

#include <algorithm>
#include <cstring>

namespace vlm {
namespace {

struct Code {
    uint16_t bits;
    uint8_t len;
};

// ITU-T T.4 terminating codes, run lengths 0..63.
const Code kWhiteTerm[64] = {
    {0x35, 8}, {0x07, 6}, {0x07, 4}, {0x08, 4}, {0x0B, 4}, {0x0C, 4}, {0x0E, 4}, {0x0F, 4},
    {0x13, 5}, {0x14, 5}, {0x07, 5}, {0x08, 5}, {0x08, 6}, {0x03, 6}, {0x34, 6}, {0x35, 6},
    {0x2A, 6}, {0x2B, 6}, {0x27, 7}, {0x0C, 7}, {0x08, 7}, {0x17, 7}, {0x03, 7}, {0x04, 7},
    {0x28, 7}, {0x2B, 7}, {0x13, 7}, {0x24, 7}, {0x18, 7}, {0x02, 8}, {0x03, 8}, {0x1A, 8},
    {0x1B, 8}, {0x12, 8}, {0x13, 8}, {0x14, 8}, {0x15, 8}, {0x16, 8}, {0x17, 8}, {0x28, 8},
    {0x29, 8}, {0x2A, 8}, {0x2B, 8}, {0x2C, 8}, {0x2D, 8}, {0x04, 8}, {0x05, 8}, {0x0A, 8},
    {0x0B, 8}, {0x52, 8}, {0x53, 8}, {0x54, 8}, {0x55, 8}, {0x24, 8}, {0x25, 8}, {0x58, 8},
    {0x59, 8}, {0x5A, 8}, {0x5B, 8}, {0x4A, 8}, {0x4B, 8}, {0x32, 8}, {0x33, 8}, {0x34, 8}};

const Code kBlackTerm[64] = {
    {0x37, 10}, {0x02, 3},  {0x03, 2},  {0x02, 2},  {0x03, 3},  {0x03, 4},  {0x02, 4},  {0x03, 5},
    {0x05, 6},  {0x04, 6},  {0x04, 7},  {0x05, 7},  {0x07, 7},  {0x04, 8},  {0x07, 8},  {0x18, 9},
    {0x17, 10}, {0x18, 10}, {0x08, 10}, {0x67, 11}, {0x68, 11}, {0x6C, 11}, {0x37, 11}, {0x28, 11},
    {0x17, 11}, {0x18, 11}, {0xCA, 12}, {0xCB, 12}, {0xCC, 12}, {0xCD, 12}, {0x68, 12}, {0x69, 12},
    {0x6A, 12}, {0x6B, 12}, {0xD2, 12}, {0xD3, 12}, {0xD4, 12}, {0xD5, 12}, {0xD6, 12}, {0xD7, 12},
    {0x6C, 12}, {0x6D, 12}, {0xDA, 12}, {0xDB, 12}, {0x54, 12}, {0x55, 12}, {0x56, 12}, {0x57, 12},
    {0x64, 12}, {0x65, 12}, {0x52, 12}, {0x53, 12}, {0x24, 12}, {0x37, 12}, {0x38, 12}, {0x27, 12},
    {0x28, 12}, {0x58, 12}, {0x59, 12}, {0x2B, 12}, {0x2C, 12}, {0x5A, 12}, {0x66, 12}, {0x67, 12}};

// Make-up codes 64..1728 (index run / 64 - 1).
const Code kWhiteMakeup[27] = {{0x1B, 5}, {0x12, 5}, {0x17, 6}, {0x37, 7}, {0x36, 8}, {0x37, 8},
                               {0x64, 8}, {0x65, 8}, {0x68, 8}, {0x67, 8}, {0xCC, 9}, {0xCD, 9},
                               {0xD2, 9}, {0xD3, 9}, {0xD4, 9}, {0xD5, 9}, {0xD6, 9}, {0xD7, 9},
                               {0xD8, 9}, {0xD9, 9}, {0xDA, 9}, {0xDB, 9}, {0x98, 9}, {0x99, 9},
                               {0x9A, 9}, {0x18, 6}, {0x9B, 9}};

const Code kBlackMakeup[27] = {
    {0x0F, 10}, {0xC8, 12}, {0xC9, 12}, {0x5B, 12}, {0x33, 12}, {0x34, 12}, {0x35, 12},
    {0x6C, 13}, {0x6D, 13}, {0x4A, 13}, {0x4B, 13}, {0x4C, 13}, {0x4D, 13}, {0x72, 13},
    {0x73, 13}, {0x74, 13}, {0x75, 13}, {0x76, 13}, {0x77, 13}, {0x52, 13}, {0x53, 13},
    {0x54, 13}, {0x55, 13}, {0x5A, 13}, {0x5B, 13}, {0x64, 13}, {0x65, 13}};

// Extended make-up codes 1792..2560, shared by both colours.
const Code kExtMakeup[13] = {{0x08, 11}, {0x0C, 11}, {0x0D, 11}, {0x12, 12}, {0x13, 12},
                             {0x14, 12}, {0x15, 12}, {0x16, 12}, {0x17, 12}, {0x1C, 12},
                             {0x1D, 12}, {0x1E, 12}, {0x1F, 12}};

inline Code MakeupCode(int run, bool black) {
    int m = run / 64;
    if (m <= 27)
        return black ? kBlackMakeup[m - 1] : kWhiteMakeup[m - 1];
    return kExtMakeup[m - 28];
}

// Decoding tables indexed by the next kWhiteBits / kBlackBits bits.
constexpr int kWhiteBits = 12;
constexpr int kBlackBits = 13;
constexpr int kModeBits = 7;

struct RunEntry {
    int16_t run; // -1 invalid or EOL
    uint8_t len; // 0 invalid
};

enum Mode : uint8_t { kInvalid, kPass, kHoriz, kV0, kVR1, kVR2, kVR3, kVL1, kVL2, kVL3, kExt };

struct ModeEntry {
    uint8_t mode;
    uint8_t len;
    int8_t delta; // vertical modes: a1 - b1
};

struct Tables {
    RunEntry white[1 << kWhiteBits];
    RunEntry black[1 << kBlackBits];
    ModeEntry mode[1 << kModeBits];

    static void Fill(RunEntry* t, int tableBits, Code c, int run) {
        int shift = tableBits - c.len;
        int first = c.bits << shift;
        for (int i = 0; i < (1 << shift); ++i)
            t[first + i] = RunEntry{static_cast<int16_t>(run), c.len};
    }
    static void FillMode(ModeEntry* t, uint16_t bits, int len, Mode m, int delta = 0) {
        int shift = kModeBits - len;
        for (int i = 0; i < (1 << shift); ++i)
            t[(bits << shift) + i] =
                ModeEntry{m, static_cast<uint8_t>(len), static_cast<int8_t>(delta)};
    }

    Tables() {
        std::memset(this, 0, sizeof(*this));
        for (int r = 0; r < 64; ++r) {
            Fill(white, kWhiteBits, kWhiteTerm[r], r);
            Fill(black, kBlackBits, kBlackTerm[r], r);
        }
        for (int m = 1; m <= 27; ++m) {
            Fill(white, kWhiteBits, kWhiteMakeup[m - 1], m * 64);
            Fill(black, kBlackBits, kBlackMakeup[m - 1], m * 64);
        }
        for (int m = 28; m <= 40; ++m) {
            Fill(white, kWhiteBits, kExtMakeup[m - 28], m * 64);
            Fill(black, kBlackBits, kExtMakeup[m - 28], m * 64);
        }
        FillMode(mode, 0x1, 1, kV0, 0);
        FillMode(mode, 0x3, 3, kVR1, 1);
        FillMode(mode, 0x2, 3, kVL1, -1);
        FillMode(mode, 0x1, 3, kHoriz);
        FillMode(mode, 0x1, 4, kPass);
        FillMode(mode, 0x3, 6, kVR2, 2);
        FillMode(mode, 0x2, 6, kVL2, -2);
        FillMode(mode, 0x3, 7, kVR3, 3);
        FillMode(mode, 0x2, 7, kVL3, -3);
        FillMode(mode, 0x1, 7, kExt);
    }
};

const Tables& GetTables() {
    static const Tables tables;
    return tables;
}

inline int Clz64(uint64_t v) {
    return __builtin_clzll(v);
}

inline uint64_t LoadBE64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return __builtin_bswap64(v);
}

// First pixel at or after pos whose colour is not `black` (width if none).
inline int FindNext(const uint8_t* row, int pos, int width, int nBytes, uint8_t inv) {
    int bytePos = pos >> 3;
    unsigned b = static_cast<uint8_t>(row[bytePos] ^ inv) & (0xFFu >> (pos & 7));
    if (b)
        return std::min(width, bytePos * 8 + __builtin_clz(b) - 24);
    ++bytePos;
    const uint64_t inv64 = inv ? ~0ull : 0ull;
    while (bytePos + 8 <= nBytes) {
        uint64_t w = LoadBE64(row + bytePos) ^ inv64;
        if (w)
            return std::min(width, bytePos * 8 + Clz64(w));
        bytePos += 8;
    }
    while (bytePos < nBytes) {
        b = static_cast<uint8_t>(row[bytePos] ^ inv);
        if (b)
            return std::min(width, bytePos * 8 + __builtin_clz(b) - 24);
        ++bytePos;
    }
    return width;
}

inline void FillOnes(uint8_t* row, int a, int b) {
    if (a >= b)
        return;
    int ba = a >> 3, bb = (b - 1) >> 3;
    uint8_t first = static_cast<uint8_t>(0xFFu >> (a & 7));
    uint8_t last = static_cast<uint8_t>(0xFFu << (7 - ((b - 1) & 7)));
    if (ba == bb) {
        row[ba] |= first & last;
        return;
    }
    row[ba] |= first;
    if (bb > ba + 1)
        std::memset(row + ba + 1, 0xFF, bb - ba - 1);
    row[bb] |= last;
}

// Index of b1 on the reference line: the first changing element right of a0
// whose colour is the opposite of a0's colour (even index = change to black).
inline int FindB1(const int* ref, int ib, int a0, bool black) {
    // b1 is never more than one element left of the last one found.
    if (ib > 0 && ref[ib - 1] > a0)
        --ib;
    while (ref[ib] <= a0)
        ++ib;
    if ((ib & 1) != (black ? 1 : 0))
        ++ib;
    return ib;
}

} // namespace

int FindChangingElements(const uint8_t* row, int width, bool blackIsOne, int* out) {
    const int nBytes = (width + 7) / 8;
    const uint8_t base = blackIsOne ? 0x00 : 0xFF;
    int n = 0, pos = 0;
    bool black = false;
    while (pos < width) {
        int next = FindNext(row, pos, width, nBytes, black ? base ^ 0xFF : base);
        if (next >= width)
            break;
        out[n++] = next;
        black = !black;
        pos = next;
    }
    return n;
}

// ---------------------------------------------------------------- encoder

bool CG4Encoder::Begin(int width, int maxChanges) {
    if (width <= 0)
        return false;
    m_nWidth = width;
    m_nMaxChanges = maxChanges;
    m_vecRef.assign(width + 4, width); // imaginary white line: sentinels only
    m_vecCur.assign(width + 4, width);
    m_vecOut.clear();
    m_vecOut.reserve(64 * 1024);
    m_nAcc = 0;
    m_nAccBits = 0;
    return true;
}

inline void CG4Encoder::PutBits(uint32_t code, int len) {
    m_nAcc |= static_cast<uint64_t>(code) << (64 - m_nAccBits - len);
    m_nAccBits += len;
    if (m_nAccBits >= 32) {
        uint8_t b[4] = {static_cast<uint8_t>(m_nAcc >> 56), static_cast<uint8_t>(m_nAcc >> 48),
                        static_cast<uint8_t>(m_nAcc >> 40), static_cast<uint8_t>(m_nAcc >> 32)};
        m_vecOut.insert(m_vecOut.end(), b, b + 4);
        m_nAcc <<= 32;
        m_nAccBits -= 32;
    }
}

inline void CG4Encoder::PutRun(int run, bool black) {
    while (run > 2560) {
        Code c = kExtMakeup[12];
        PutBits(c.bits, c.len);
        run -= 2560;
    }
    if (run >= 64) {
        Code c = MakeupCode(run, black);
        PutBits(c.bits, c.len);
        run &= 63;
    }
    Code c = black ? kBlackTerm[run] : kWhiteTerm[run];
    PutBits(c.bits, c.len);
}

int CG4Encoder::EncodeRow(const uint8_t* row, bool blackIsOne) {
    const int width = m_nWidth;
    int* cur = m_vecCur.data();
    int n = FindChangingElements(row, width, blackIsOne, cur);
    if (m_nMaxChanges > 0 && n > m_nMaxChanges)
        return kTooManyChanges;
    cur[n] = cur[n + 1] = cur[n + 2] = width;
    const int* ref = m_vecRef.data();

    int a0 = -1, ia = 0, ib = 0;
    bool black = false;
    while (a0 < width) {
        while (cur[ia] <= a0)
            ++ia;
        const int a1 = cur[ia];
        ib = FindB1(ref, ib, a0, black);
        const int b1 = ref[ib];
        const int b2 = ref[ib + 1];
        if (b2 < a1) {
            PutBits(0x1, 4); // pass
            a0 = b2;
            continue;
        }
        const int d = a1 - b1;
        if (d >= -3 && d <= 3) {
            static const Code kVert[7] = {{0x02, 7}, {0x02, 6}, {0x02, 3}, {0x1, 1},
                                          {0x03, 3}, {0x03, 6}, {0x03, 7}};
            PutBits(kVert[d + 3].bits, kVert[d + 3].len);
            a0 = a1;
            black = !black;
            continue;
        }
        const int a2 = cur[ia + 1];
        PutBits(0x1, 3); // horizontal
        PutRun(a1 - (a0 < 0 ? 0 : a0), black);
        PutRun(a2 - a1, !black);
        a0 = a2;
    }
    m_vecRef.swap(m_vecCur);
    return 0;
}

void CG4Encoder::Finish() {
    PutBits(0x001, 12); // EOFB: two EOLs
    PutBits(0x001, 12);
    while (m_nAccBits > 0) {
        m_vecOut.push_back(static_cast<uint8_t>(m_nAcc >> 56));
        m_nAcc <<= 8;
        m_nAccBits -= 8;
    }
    m_nAcc = 0;
    m_nAccBits = 0;
}

namespace {
std::vector<uint8_t> EncodeRows(const CPageView& page) {
    CG4Encoder enc;
    enc.Begin(page.m_nWidth);
    for (int y = 0; y < page.m_nHeight; ++y)
        enc.EncodeRow(page.Row(y), page.m_bOneIsBlack);
    enc.Finish();
    std::vector<uint8_t> out;
    out.swap(enc.Output());
    return out;
}
} // namespace

std::vector<uint8_t> EncodeG4(const uint8_t* bits, int width, int height, size_t stride,
                              bool blackIsOne) {
    if (!bits || width <= 0 || height < 0 || stride < static_cast<size_t>((width + 7) / 8))
        return {};
    return EncodeRows(ViewOfRows(bits, stride, width, height, 1, 0, blackIsOne));
}

std::vector<uint8_t> EncodeG4(const CPageView& page) {
    if (page.m_nBitsPerPixel != 1 || !page.IsValid())
        return {};
    return EncodeRows(page);
}

// ---------------------------------------------------------------- decoder

size_t CMemorySource::Read(uint8_t* dst, size_t n) {
    size_t k = std::min(n, m_nSize - m_nPos);
    if (k)
        std::memcpy(dst, m_pData + m_nPos, k);
    m_nPos += k;
    return k;
}

uint8_t ReverseByte(uint8_t b) {
    b = static_cast<uint8_t>((b & 0xF0) >> 4 | (b & 0x0F) << 4);
    b = static_cast<uint8_t>((b & 0xCC) >> 2 | (b & 0x33) << 2);
    return static_cast<uint8_t>((b & 0xAA) >> 1 | (b & 0x55) << 1);
}

// Bits MSB first from a window of the source that moves on by half its size,
// so that memory stays bounded whatever the strip size.
struct CFaxDecoder::CBitReader {
    IByteSource& src;
    bool lsbFirst;
    std::vector<uint8_t> buf;
    size_t pos = 0, end = 0;
    bool eof = false;
    uint64_t acc = 0;
    // 64-bit counters: stores to the int rows of changing elements cannot
    // alias them, so they stay in registers in the decoding loops.
    int64_t nBits = 0;
    int64_t padBits = 0; // zero bits fed beyond the end of the data

    CBitReader(IByteSource& s, bool lsb) : src(s), lsbFirst(lsb), buf(kWindow) {}

    bool NextByte(uint8_t& b) {
        if (pos == end) {
            if (eof)
                return false;
            if (end == buf.size() && pos >= kWindowStep) {
                std::memmove(buf.data(), buf.data() + kWindowStep, end - kWindowStep);
                pos -= kWindowStep;
                end -= kWindowStep;
            }
            size_t k = src.Read(buf.data() + end, buf.size() - end);
            if (k == 0) {
                eof = true;
                return false;
            }
            end += k;
        }
        b = buf[pos++];
        if (lsbFirst)
            b = ReverseByte(b);
        return true;
    }
    // At least 16 bits after a call: enough for any one code.
    __attribute__((always_inline)) void Refill() {
        if (nBits >= 16)
            return;
        RefillMore();
    }
    void RefillMore() {
        if (!lsbFirst && end - pos >= 8) {
            // Fast path: as many whole bytes as fit into the accumulator at once.
            const int take = (63 - nBits) >> 3;
            acc |= LoadBE64(buf.data() + pos) >> nBits;
            acc &= ~0ull << (64 - nBits - 8 * take);
            pos += take;
            nBits += 8 * take;
            return;
        }
        FillFull();
    }
    // More than 56 bits after a call.
    void FillFull() {
        while (nBits <= 56) {
            uint8_t b;
            if (NextByte(b))
                acc |= static_cast<uint64_t>(b) << (56 - nBits);
            else
                padBits += 8;
            nBits += 8;
        }
    }
    uint32_t Peek(int n) const { return static_cast<uint32_t>(acc >> (64 - n)); }
    // n below 64: a 64-bit shift by 64 is undefined.
    void Skip(int n) {
        acc <<= n;
        nBits -= n;
    }
    bool Overrun() const { return padBits > nBits; }
    void AlignByte() {
        // Whole bytes are loaded, so the bits left of the current byte are
        // nBits modulo 8.
        int k = nBits & 7;
        if (k)
            Skip(k);
    }
    // Skips fill bits and one EOL; false (nothing consumed) when the next
    // bits are not an EOL.
    bool SkipEol() {
        FillFull();
        if (Peek(11) != 0)
            return false;
        for (;;) {
            FillFull();
            if (Overrun())
                return false;
            if (acc == 0) {
                if (padBits > 0)
                    return false;
                Skip(56);
                continue;
            }
            // The EOL's one bit may be the accumulator's last: skip up to it,
            // then past it.
            Skip(Clz64(acc));
            Skip(1);
            return true;
        }
    }
};

std::vector<int> CFaxDecoder::LastRuns() const {
    std::vector<int> v;
    int n = std::min(m_nRunCount, 10);
    for (int i = m_nRunCount - n; i < m_nRunCount; ++i)
        v.push_back(m_arrRuns[i & 15]);
    return v;
}

__attribute__((always_inline)) inline int CFaxDecoder::ReadRun(CBitReader& br, bool black) {
    const Tables& t = *static_cast<const Tables*>(m_pTables);
    int total = 0;
    for (;;) {
        br.Refill();
        const RunEntry& e = black ? t.black[br.Peek(kBlackBits)] : t.white[br.Peek(kWhiteBits)];
        if (e.len == 0)
            return -1;
        br.Skip(e.len);
        total += e.run;
        if (total > m_nWidth)
            return -1;
        if (e.run < 64)
            break;
    }
    return total;
}

namespace {
// Appends a changing element; two at the same place cancel (a zero-length run).
// Elements stay strictly increasing within 0..width, so width + 1 entries do.
inline bool PushChange(int* changes, int& n, int pos, int /*cap*/) {
    if (n > 0) {
        const int last = changes[n - 1];
        if (last >= pos) {
            if (last > pos)
                return false;
            --n;
            return true;
        }
    }
    changes[n++] = pos;
    return true;
}
} // namespace

bool CFaxDecoder::DecodeRun1D(CBitReader& br, int* changes, int& n) {
    const int width = m_nWidth;
    n = 0;
    int pos = 0;
    bool black = false;
    do {
        int run = ReadRun(br, black);
        if (run < 0 || pos + run > width)
            return false;
        m_arrRuns[m_nRunCount++ & 15] = run;
        pos += run;
        if (pos < width && !PushChange(changes, n, pos, width + 1))
            return false;
        black = !black;
    } while (pos < width);
    return true;
}

bool CFaxDecoder::Decode2D(CBitReader& br, const int* ref, int* changes, int& nOut) {
    const Tables& t = *static_cast<const Tables*>(m_pTables);
    const int width = m_nWidth;
    int n = 0;
    // ib indexes b1 and always has the parity of the colour at a0 (even =
    // white), so b1 is found by stepping over pairs of changing elements.
    int a0 = -1, ib = 0;
    bool black = false;
    // Every code consumes bits and the zero bits fed beyond the data are no
    // valid code, so this loop ends on any input.
    while (a0 < width) {
        br.Refill();
        int delta = 0;
        if (static_cast<int64_t>(br.acc) < 0) {
            br.Skip(1); // V0, the commonest code: no table look-up on the path
        } else {
            const ModeEntry& m = t.mode[br.Peek(kModeBits)];
            br.Skip(m.len);
            if (m.mode < kV0 || m.mode > kVL3) {
                if (m.mode == kPass) {
                    a0 = ref[ib + 1];
                    ib += 2;
                    continue;
                }
                if (m.mode != kHoriz)
                    return false;
                int r1 = ReadRun(br, black);
                if (r1 < 0)
                    return false;
                int r2 = ReadRun(br, !black);
                if (r2 < 0)
                    return false;
                int s = a0 < 0 ? 0 : a0;
                if (s + r1 + r2 > width)
                    return false;
                if (!PushChange(changes, n, s + r1, width + 1) ||
                    !PushChange(changes, n, s + r1 + r2, width + 1))
                    return false;
                a0 = s + r1 + r2;
                while (a0 < width && ref[ib] <= a0)
                    ib += 2;
                continue;
            }
            delta = m.delta;
        }
        {
            const int a1 = ref[ib] + delta;
            if (a1 > a0 && a1 <= width) {
                changes[n++] = a1; // the usual case: beyond everything so far
            } else {
                if (a1 < (a0 < 0 ? 0 : a0) || a1 > width)
                    return false;
                if (!PushChange(changes, n, a1, width + 1))
                    return false;
            }
            a0 = a1;
            black = !black;
            if (a0 >= width)
                break;
            if (delta < 0 && ib > 0 && ref[ib - 1] > a0) {
                --ib;
            } else {
                ++ib;
                while (ref[ib] <= a0)
                    ib += 2;
            }
        }
    }
    while (n > 0 && changes[n - 1] >= width)
        --n;
    nOut = n;
    return true;
}

bool CFaxDecoder::Decode(IByteSource& src, const FaxParams& params, int rows, uint8_t* out,
                         size_t stride) {
    m_nErrorRow = -1;
    m_nRunCount = 0;
    const int width = params.width;
    if (width <= 0 || width > (1 << 24) || rows < 0 || !out ||
        stride < static_cast<size_t>((width + 7) / 8)) {
        m_nErrorRow = 0;
        return false;
    }
    m_nWidth = width;
    m_pTables = &GetTables();
    std::vector<int> refBuf(width + 8, width), curBuf(width + 8, width);
    int* ref = refBuf.data();
    int* cur = curBuf.data();
    int nCur = 0;
    CBitReader br(src, params.lsbFirst);
    const size_t rowBytes = (width + 7) / 8;

    for (int y = 0; y < rows; ++y) {
        bool ok;
        switch (params.coding) {
        case FaxCoding::ModifiedHuffman:
            br.AlignByte();
            ok = DecodeRun1D(br, cur, nCur);
            break;
        case FaxCoding::T4: {
            bool eol = br.SkipEol();
            bool oneD = true;
            if (params.t4TwoD) {
                if (!eol) {
                    ok = false;
                    break;
                }
                br.Refill();
                oneD = br.Peek(1) == 1;
                br.Skip(1);
            }
            ok = oneD ? DecodeRun1D(br, cur, nCur) : Decode2D(br, ref, cur, nCur);
            break;
        }
        default:
            ok = Decode2D(br, ref, cur, nCur);
            break;
        }
        if (!ok || br.Overrun()) {
            m_nErrorRow = y;
            return false;
        }
        uint8_t* row = out + stride * y;
        std::memset(row, 0, rowBytes);
        for (int i = 0; i < nCur; i += 2)
            FillOnes(row, cur[i], i + 1 < nCur ? cur[i + 1] : width);
        std::fill(cur + nCur, cur + nCur + 6, width);
        std::swap(ref, cur);
    }
    return true;
}

} // namespace vlm
