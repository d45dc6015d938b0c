// Sequential Huffman JPEG decoder: header reading, scans into component planes,
// then upsampling and colour conversion.
#include "jpegcodec.h"
#include "jpegtables.h"

#include "codecs/JpegHeader.h"

#include <algorithm>
#include <cstring>
#include <memory>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace vlm::jpeg {

using namespace detail;

namespace {

constexpr int kLookBits = 9;

struct HuffDecoder {
    bool present = false;
    // (length << 8) | symbol for codes of up to kLookBits bits; 0 when longer.
    uint16_t lookup[1 << kLookBits];
    int32_t maxCode[18];   // largest code of each length, -1 when none
    int32_t valOffset[18]; // index of a length's first symbol minus its first code
    uint8_t values[256];

    bool Build(const uint8_t bits[16], const uint8_t* vals, int count) {
        std::memcpy(values, vals, count);
        std::memset(lookup, 0, sizeof(lookup));
        int32_t code = 0;
        int k = 0;
        for (int len = 1; len <= 16; ++len) {
            const int n = bits[len - 1];
            if (n == 0) {
                maxCode[len] = -1;
                valOffset[len] = 0;
            } else {
                valOffset[len] = k - code;
                for (int i = 0; i < n; ++i, ++k, ++code) {
                    if (code >= (1 << len))
                        return false; // more codes than the length can hold
                    if (len <= kLookBits) {
                        const int shift = kLookBits - len;
                        for (int f = 0; f < (1 << shift); ++f)
                            lookup[(code << shift) | f] =
                                static_cast<uint16_t>((len << 8) | values[k]);
                    }
                }
                maxCode[len] = code - 1;
            }
            code <<= 1;
        }
        maxCode[17] = 0x7FFFFFFF;
        present = true;
        return true;
    }
};

struct Component {
    int id = 0, h = 1, v = 1, tq = 0;
    int td = 0, ta = 0;
    int planeW = 0, planeH = 0;       // in samples, whole blocks
    std::unique_ptr<uint8_t[]> plane; // left uninitialised: every block is written before use
    bool decoded = false;
    int dcPred = 0;
};

class CDecoder {
public:
    CDecoder(const uint8_t* data, size_t size, const DecodeOptions& opt)
        : m_p(data), m_pEnd(data + size), m_pBegin(data), m_opt(opt) {}

    // Decodes every scan of the stream.
    bool Run();
    // Where decoded rows go; set before Run.
    void SetOutput(uint8_t* buffer, size_t stride) {
        m_pOut = buffer;
        m_nOutStride = stride;
    }
    bool Finish();

    std::string m_strError;
    HeaderInfo m_info;

private:
    bool Fail(const char* text) {
        if (m_strError.empty())
            m_strError = text;
        return false;
    }
    int U16(const uint8_t* p) const { return (p[0] << 8) | p[1]; }
    bool ReadSof(const CJpegSegment& segment);
    bool ReadDqt(const uint8_t* seg, int len);
    bool ReadDht(const uint8_t* seg, int len);
    bool DecodeScan(const uint8_t* seg, int len);

    // Entropy-coded data.
    inline void Fill();
    inline int DecodeSymbol(const HuffDecoder& t);
    inline int Receive(int s);
    bool Restart();
    bool DecodeBlock(Component& c, uint8_t* dst, int stride);
    void EmitRows(int y0, int y1);

    const uint8_t* m_p;
    const uint8_t* m_pEnd;
    const uint8_t* m_pBegin;
    DecodeOptions m_opt;

    uint64_t m_bitBuf = 0;
    int m_nBits = 0;
    int m_nPadBits = 0; // zero bits supplied after a marker or the end of the data
    bool m_bMarkerHit = false;

    bool m_bHaveFrame = false;
    bool m_bDecodedAny = false;
    int m_nComponents = 0;
    Component m_comp[4];
    int m_hMax = 1, m_vMax = 1, m_mcusX = 0, m_mcusY = 0;
    uint16_t m_quant[4][64] = {};
    bool m_bQuant[4] = {};
    float m_dequant[4][64] = {};
    HuffDecoder m_dc[4], m_ac[4];
    int m_nRestart = 0;
    uint8_t* m_pOut = nullptr;
    size_t m_nOutStride = 0;
    // One interleaved scan holding every component (the usual case) is converted
    // MCU row by MCU row from planes one MCU row high.
    bool m_bStrip = false;
    std::vector<int> m_xmap[3];
    std::vector<int16_t> m_dr, m_dg, m_db;
    std::vector<uint8_t> m_yrow;
    int m_nStripBase[4] = {}; // plane row 0 is this row of the component
};

inline void CDecoder::Fill() {
    while (m_nBits <= 56) {
        uint32_t b = 0;
        if (!m_bMarkerHit && m_p < m_pEnd) {
            b = *m_p;
            if (b == 0xFF) {
                const uint32_t next = m_p + 1 < m_pEnd ? m_p[1] : 0x100;
                if (next == 0) {
                    m_p += 2;
                } else {
                    // A marker ends the segment; supply zeros and leave it for the parser.
                    m_bMarkerHit = true;
                    b = 0;
                    m_nPadBits += 8;
                }
            } else {
                ++m_p;
            }
        } else {
            m_bMarkerHit = true;
            m_nPadBits += 8;
        }
        m_bitBuf |= static_cast<uint64_t>(b) << (56 - m_nBits);
        m_nBits += 8;
    }
}

inline int CDecoder::DecodeSymbol(const HuffDecoder& t) {
    if (m_nBits < 16)
        Fill();
    const uint32_t look = static_cast<uint32_t>(m_bitBuf >> (64 - kLookBits));
    const uint16_t e = t.lookup[look];
    if (e) {
        const int len = e >> 8;
        m_bitBuf <<= len;
        m_nBits -= len;
        return e & 0xFF;
    }
    for (int len = kLookBits + 1; len <= 16; ++len) {
        const int32_t code = static_cast<int32_t>(m_bitBuf >> (64 - len));
        if (code <= t.maxCode[len]) {
            m_bitBuf <<= len;
            m_nBits -= len;
            const int idx = t.valOffset[len] + code;
            return idx >= 0 && idx < 256 ? t.values[idx] : -1;
        }
    }
    return -1;
}

inline int CDecoder::Receive(int s) {
    if (s == 0)
        return 0;
    if (m_nBits < s)
        Fill();
    const int v = static_cast<int>(m_bitBuf >> (64 - s));
    m_bitBuf <<= s;
    m_nBits -= s;
    // Values with a leading zero bit are negative.
    return v < (1 << (s - 1)) ? v - (1 << s) + 1 : v;
}

bool CDecoder::Restart() {
    if (m_nPadBits > m_nBits)
        return Fail("corrupt JPEG data: entropy-coded segment ends early");
    // Skip to the next marker, which must be a restart marker.
    while (m_p + 1 < m_pEnd && !(m_p[0] == 0xFF && m_p[1] != 0 && m_p[1] != 0xFF))
        ++m_p;
    if (m_p + 1 >= m_pEnd || m_p[1] < 0xD0 || m_p[1] > 0xD7)
        return Fail("corrupt JPEG data: restart marker missing");
    m_p += 2;
    m_bitBuf = 0;
    m_nBits = 0;
    m_nPadBits = 0;
    m_bMarkerHit = false;
    for (auto& c : m_comp)
        c.dcPred = 0;
    return true;
}

// IDCT output (scaled by 8) to a sample; clamps in float so that corrupt
// coefficients cannot overflow the conversion.
inline uint8_t ToSample(float f) {
    f = f * 0.125f + 128.5f;
    if (f <= 0.0f)
        return 0;
    if (f >= 255.0f)
        return 255;
    return static_cast<uint8_t>(static_cast<int>(f));
}

// One-dimensional inverse AAN DCT of in[0], in[step], ... in[7 * step] into
// out[0], out[outStep], ...
__attribute__((always_inline)) inline void Idct8(const float* in, int step, float* out,
                                                 int outStep) {
    float t0 = in[0], t1 = in[2 * step], t2 = in[4 * step], t3 = in[6 * step];
    float t10 = t0 + t2, t11 = t0 - t2;
    float t13 = t1 + t3, t12 = (t1 - t3) * 1.414213562f - t13;
    t0 = t10 + t13;
    t3 = t10 - t13;
    t1 = t11 + t12;
    t2 = t11 - t12;
    float t4 = in[step], t5 = in[3 * step], t6 = in[5 * step], t7 = in[7 * step];
    float z13 = t6 + t5, z10 = t6 - t5, z11 = t4 + t7, z12 = t4 - t7;
    t7 = z11 + z13;
    t11 = (z11 - z13) * 1.414213562f;
    float z5 = (z10 + z12) * 1.847759065f;
    t10 = z5 - z12 * 1.082392200f;
    t12 = z5 - z10 * 2.613125930f;
    t6 = t12 - t7;
    t5 = t11 - t6;
    t4 = t10 - t5;
    out[0 * outStep] = t0 + t7;
    out[7 * outStep] = t0 - t7;
    out[1 * outStep] = t1 + t6;
    out[6 * outStep] = t1 - t6;
    out[2 * outStep] = t2 + t5;
    out[5 * outStep] = t2 - t5;
    out[3 * outStep] = t3 + t4;
    out[4 * outStep] = t3 - t4;
}

bool CDecoder::DecodeBlock(Component& c, uint8_t* dst, int stride) {
    const int s = DecodeSymbol(m_dc[c.td]);
    if (s < 0 || s > 11)
        return Fail("corrupt JPEG data: bad DC code");
    const int diff = Receive(s);
    c.dcPred = std::clamp(c.dcPred + diff, -32768, 32767);
    const float* dq = m_dequant[c.tq];

    float coef[64];
    coef[0] = c.dcPred * dq[0];
    bool anyAc = false;
    const HuffDecoder& ac = m_ac[c.ta];
    for (int k = 1; k < 64;) {
        const int rs = DecodeSymbol(ac);
        if (rs < 0)
            return Fail("corrupt JPEG data: bad AC code");
        const int r = rs >> 4, sz = rs & 15;
        if (sz == 0) {
            if (r != 15)
                break;
            k += 16;
            continue;
        }
        if (sz > 10)
            return Fail("corrupt JPEG data: coefficient too large");
        k += r;
        if (k > 63)
            return Fail("corrupt JPEG data: coefficient index past the block");
        if (!anyAc) {
            for (int i = 1; i < 64; ++i)
                coef[i] = 0.0f;
            anyAc = true;
        }
        const int n = kZigzagToNatural[k];
        coef[n] = Receive(sz) * dq[n];
        ++k;
    }

    if (!anyAc) {
        // Flat block: the common case on the white of a document page.
        const uint8_t v = ToSample(coef[0]);
        for (int y = 0; y < 8; ++y)
            std::memset(dst + y * stride, v, 8);
        return true;
    }

    // Inverse AAN DCT: columns, then rows.
    float ws[64], r[8];
    for (int col = 0; col < 8; ++col)
        Idct8(coef + col, 8, ws + col, 8);
    for (int row = 0; row < 8; ++row) {
        Idct8(ws + row * 8, 1, r, 1);
        uint8_t* out = dst + row * stride;
        for (int i = 0; i < 8; ++i)
            out[i] = ToSample(r[i]);
    }
    return true;
}

bool CDecoder::ReadDqt(const uint8_t* seg, int len) {
    int pos = 0;
    while (pos < len) {
        const int pq = seg[pos] >> 4, tq = seg[pos] & 15;
        ++pos;
        if (tq > 3 || pq > 1)
            return Fail("corrupt JPEG header: bad quantisation table");
        const int need = pq ? 128 : 64;
        if (pos + need > len)
            return Fail("corrupt JPEG header: short quantisation table");
        for (int k = 0; k < 64; ++k)
            m_quant[tq][kZigzagToNatural[k]] =
                static_cast<uint16_t>(pq ? U16(seg + pos + 2 * k) : seg[pos + k]);
        pos += need;
        m_bQuant[tq] = true;
        for (int i = 0; i < 64; ++i)
            m_dequant[tq][i] =
                static_cast<float>(m_quant[tq][i] * kAanScale[i / 8] * kAanScale[i % 8]);
    }
    return true;
}

bool CDecoder::ReadDht(const uint8_t* seg, int len) {
    int pos = 0;
    while (pos < len) {
        if (pos + 17 > len)
            return Fail("corrupt JPEG header: short Huffman table");
        const int tc = seg[pos] >> 4, th = seg[pos] & 15;
        if (tc > 1 || th > 3)
            return Fail("corrupt JPEG header: bad Huffman table class or number");
        int count = 0;
        for (int i = 0; i < 16; ++i)
            count += seg[pos + 1 + i];
        if (count > 256 || pos + 17 + count > len)
            return Fail("corrupt JPEG header: bad Huffman table size");
        HuffDecoder& t = tc == 0 ? m_dc[th] : m_ac[th];
        if (!t.Build(seg + pos + 1, seg + pos + 17, count))
            return Fail("corrupt JPEG header: Huffman table has too many codes");
        pos += 17 + count;
    }
    return true;
}

bool CDecoder::ReadSof(const CJpegSegment& segment) {
    if (m_bHaveFrame)
        return Fail("corrupt JPEG header: second frame header");
    CJpegFrame frame;
    std::string error;
    if (!ReadJpegFrame(segment, frame, &error)) {
        m_strError = error;
        return false;
    }
    m_info.width = frame.m_nWidth;
    m_info.height = frame.m_nHeight;
    m_info.components = m_nComponents = frame.m_nComponents;
    m_info.progressive = frame.m_nMarker == 0xC2;
    m_hMax = frame.m_nHMax;
    m_vMax = frame.m_nVMax;
    for (int i = 0; i < m_nComponents; ++i) {
        Component& c = m_comp[i];
        c.id = frame.m_arrComp[i].m_nId;
        c.h = frame.m_arrComp[i].m_nH;
        c.v = frame.m_arrComp[i].m_nV;
        c.tq = frame.m_arrComp[i].m_nQuant;
        m_info.hSamp[i] = c.h;
        m_info.vSamp[i] = c.v;
    }
    m_mcusX = (m_info.width + 8 * m_hMax - 1) / (8 * m_hMax);
    m_mcusY = (m_info.height + 8 * m_vMax - 1) / (8 * m_vMax);
    m_bHaveFrame = true;
    return true;
}

bool CDecoder::DecodeScan(const uint8_t* seg, int len) {
    if (!m_bHaveFrame)
        return Fail("corrupt JPEG: scan before the frame header");
    if (len < 1)
        return Fail("corrupt JPEG header: short scan header");
    const int ns = seg[0];
    if (ns < 1 || ns > m_nComponents || len < 4 + 2 * ns)
        return Fail("corrupt JPEG header: bad scan header");
    Component* scomp[4];
    int blocksPerMcu = 0;
    for (int i = 0; i < ns; ++i) {
        const int id = seg[1 + 2 * i];
        Component* c = nullptr;
        for (int j = 0; j < m_nComponents; ++j)
            if (m_comp[j].id == id)
                c = &m_comp[j];
        if (!c)
            return Fail("corrupt JPEG header: scan names an unknown component");
        c->td = seg[2 + 2 * i] >> 4;
        c->ta = seg[2 + 2 * i] & 15;
        if (c->td > 3 || c->ta > 3 || !m_dc[c->td].present || !m_ac[c->ta].present)
            return Fail("corrupt JPEG: scan uses a missing Huffman table");
        if (!m_bQuant[c->tq])
            return Fail("corrupt JPEG: component uses a missing quantisation table");
        scomp[i] = c;
        blocksPerMcu += c->h * c->v;
    }
    if (ns > 1 && blocksPerMcu > 10)
        return Fail("corrupt JPEG header: too many blocks in an MCU");

    if (m_bStrip)
        return Fail("corrupt JPEG: a component appears in two scans");
    // Component planes cover whole MCUs; allocated at the first scan.
    if (!m_comp[0].plane) {
        const uint64_t pixels = static_cast<uint64_t>(m_info.width) * m_info.height;
        if (pixels > m_opt.maxPixels)
            return Fail("JPEG image too large");
        m_bStrip = ns == m_nComponents && m_pOut;
        for (int i = 0; i < m_nComponents; ++i) {
            Component& c = m_comp[i];
            c.planeW = m_mcusX * c.h * 8;
            // A lone component's scan runs block row by block row whatever its factors.
            c.planeH = m_bStrip ? (ns == 1 ? 8 : c.v * 8) : m_mcusY * c.v * 8;
            c.plane.reset(new uint8_t[static_cast<size_t>(c.planeW) * c.planeH]);
        }
    }
    for (int i = 0; i < ns; ++i) {
        if (scomp[i]->decoded)
            return Fail("corrupt JPEG: a component appears in two scans");
        scomp[i]->decoded = true;
    }
    for (int i = 0; i < m_nComponents; ++i)
        m_comp[i].dcPred = 0;

    m_bitBuf = 0;
    m_nBits = 0;
    m_nPadBits = 0;
    m_bMarkerHit = false;
    int mcuCount = 0;
    auto checkRestart = [&]() {
        if (m_nRestart > 0 && mcuCount > 0 && mcuCount % m_nRestart == 0)
            return Restart();
        return true;
    };
    // Truncated data decodes zeros; stop early instead of spending time on them.
    auto truncated = [&]() { return m_nPadBits > 4096 + m_nBits; };

    if (ns == 1) {
        Component& c = *scomp[0];
        const int cw = (m_info.width * c.h + m_hMax - 1) / m_hMax;
        const int ch = (m_info.height * c.v + m_vMax - 1) / m_vMax;
        const int bw = (cw + 7) / 8, bh = (ch + 7) / 8;
        for (int by = 0; by < bh; ++by) {
            for (int bx = 0; bx < bw; ++bx) {
                if (!checkRestart())
                    return false;
                const int blockRow = m_bStrip ? 0 : by;
                if (!DecodeBlock(
                        c, c.plane.get() + static_cast<size_t>(blockRow) * 8 * c.planeW + bx * 8,
                        c.planeW))
                    return false;
                ++mcuCount;
            }
            if (truncated())
                return Fail("corrupt JPEG data: entropy-coded segment ends early");
            if (m_bStrip) {
                m_nStripBase[0] = by * 8;
                EmitRows(by * 8, std::min(m_info.height, by * 8 + 8));
            }
        }
    } else {
        for (int my = 0; my < m_mcusY; ++my) {
            for (int mx = 0; mx < m_mcusX; ++mx) {
                if (!checkRestart())
                    return false;
                for (int i = 0; i < ns; ++i) {
                    Component& c = *scomp[i];
                    for (int v = 0; v < c.v; ++v)
                        for (int h = 0; h < c.h; ++h) {
                            const int blockRow = m_bStrip ? v : my * c.v + v;
                            uint8_t* dst = c.plane.get() +
                                           static_cast<size_t>(blockRow) * 8 * c.planeW +
                                           (mx * c.h + h) * 8;
                            if (!DecodeBlock(c, dst, c.planeW))
                                return false;
                        }
                }
                ++mcuCount;
            }
            if (truncated())
                return Fail("corrupt JPEG data: entropy-coded segment ends early");
            if (m_bStrip) {
                for (int i = 0; i < m_nComponents; ++i)
                    m_nStripBase[i] = my * m_comp[i].v * 8;
                const int y0 = my * 8 * m_vMax;
                EmitRows(y0, std::min(m_info.height, y0 + 8 * m_vMax));
            }
        }
    }
    if (m_nPadBits > m_nBits)
        return Fail("corrupt JPEG data: entropy-coded segment ends early");
    m_bDecodedAny = true;
    return true;
}

bool CDecoder::Run() {
    CJpegSegments walk(m_pBegin, static_cast<size_t>(m_pEnd - m_pBegin));
    if (!walk.Begin())
        return Fail(walk.Error().c_str());
    CJpegSegment seg;
    for (;;) {
        if (!walk.Next(seg)) {
            if (walk.AtEnd() && m_bDecodedAny)
                return true; // a missing end-of-image marker loses nothing
            return Fail(walk.Error().c_str());
        }
        if (seg.m_nMarker == 0xD9) {
            if (!m_bDecodedAny)
                return Fail("corrupt JPEG: end of image before any scan");
            return true;
        }
        if (!seg.m_pData)
            continue; // stand-alone markers carry no segment
        switch (seg.m_nMarker) {
        case 0xC0:
        case 0xC1:
            if (!ReadSof(seg))
                return false;
            break;
        case 0xC2:
            if (!ReadSof(seg))
                return false;
            return Fail("unsupported JPEG: progressive streams are not decoded");
        case 0xC3:
        case 0xC5:
        case 0xC6:
        case 0xC7:
        case 0xC9:
        case 0xCA:
        case 0xCB:
        case 0xCD:
        case 0xCE:
        case 0xCF:
            return Fail("unsupported JPEG process (lossless, hierarchical or arithmetic coding)");
        case 0xC4:
            if (!ReadDht(seg.m_pData, seg.m_nLength))
                return false;
            break;
        case 0xDB:
            if (!ReadDqt(seg.m_pData, seg.m_nLength))
                return false;
            break;
        case 0xDD:
            if (seg.m_nLength < 2)
                return Fail("corrupt JPEG header: short restart interval");
            m_nRestart = U16(seg.m_pData);
            break;
        case 0xDA:
            // The entropy-coded data follows the scan header; the walk goes on behind it.
            m_p = m_pBegin + seg.m_nEnd;
            if (!DecodeScan(seg.m_pData, seg.m_nLength))
                return false;
            walk.SetPosition(static_cast<size_t>(m_p - m_pBegin));
            break;
        default:
            break; // APPn, COM and others are skipped by their length
        }
    }
}

template <int ROff, int BOff>
void ConvertRow(const uint8_t* __restrict py, const int16_t* __restrict dr,
                const int16_t* __restrict dg, const int16_t* __restrict db, uint8_t* __restrict out,
                int w) {
    for (int x = 0; x < w; ++x) {
        const int yy = py[x];
        out[3 * x + ROff] = static_cast<uint8_t>(std::min(std::max(yy + dr[x], 0), 255));
        out[3 * x + 1] = static_cast<uint8_t>(std::min(std::max(yy + dg[x], 0), 255));
        out[3 * x + BOff] = static_cast<uint8_t>(std::min(std::max(yy + db[x], 0), 255));
    }
}

#if defined(__x86_64__) || defined(__i386__)
// Sixteen pixels at a time: saturating adds clamp for free, byte shuffles interleave.
__attribute__((target("ssse3"))) void ConvertRowSsse3(const uint8_t* py, const int16_t* dr,
                                                      const int16_t* dg, const int16_t* db,
                                                      uint8_t* out, int w, bool bgr) {
    alignas(16) static const struct Masks {
        uint8_t m[3][3][16]; // [output chunk][channel in output order][byte]
        Masks() {
            for (int c = 0; c < 3; ++c)
                for (int k = 0; k < 3; ++k)
                    for (int j = 0; j < 16; ++j) {
                        const int p = 16 * c + j;
                        m[c][k][j] = p % 3 == k ? static_cast<uint8_t>(p / 3) : 0x80;
                    }
        }
    } masks;
    const __m128i zero = _mm_setzero_si128();
    int x = 0;
    for (; x + 16 <= w; x += 16) {
        const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(py + x));
        const __m128i ylo = _mm_unpacklo_epi8(y, zero), yhi = _mm_unpackhi_epi8(y, zero);
        auto channel = [&](const int16_t* d) {
            const __m128i lo =
                _mm_add_epi16(ylo, _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + x)));
            const __m128i hi =
                _mm_add_epi16(yhi, _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + x + 8)));
            return _mm_packus_epi16(lo, hi);
        };
        const __m128i r = channel(dr), g = channel(dg), b = channel(db);
        const __m128i first = bgr ? b : r, third = bgr ? r : b;
        for (int c = 0; c < 3; ++c) {
            const __m128i* m = reinterpret_cast<const __m128i*>(masks.m[c]);
            const __m128i v = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(first, _mm_load_si128(m)),
                                                        _mm_shuffle_epi8(g, _mm_load_si128(m + 1))),
                                           _mm_shuffle_epi8(third, _mm_load_si128(m + 2)));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * x + 16 * c), v);
        }
    }
    if (bgr)
        ConvertRow<2, 0>(py + x, dr + x, dg + x, db + x, out + 3 * x, w - x);
    else
        ConvertRow<0, 2>(py + x, dr + x, dg + x, db + x, out + 3 * x, w - x);
}

bool HaveSsse3() {
    static const bool have = __builtin_cpu_supports("ssse3");
    return have;
}
#endif

bool CDecoder::Finish() {
    if (m_bStrip)
        return true; // rows already written
    if (!m_comp[0].plane)
        return Fail("corrupt JPEG: no scan");
    for (int i = 0; i < m_nComponents; ++i)
        if (!m_comp[i].decoded) // a component no scan carried: neutral grey
            std::memset(m_comp[i].plane.get(), 0x80,
                        static_cast<size_t>(m_comp[i].planeW) * m_comp[i].planeH);
    EmitRows(0, m_info.height);
    return true;
}

void CDecoder::EmitRows(int y0, int y1) {
    const int w = m_info.width;
    auto planeRow = [&](int i, int y) {
        const Component& c = m_comp[i];
        return c.plane.get() + static_cast<size_t>(y * c.v / m_vMax - m_nStripBase[i]) * c.planeW;
    };
    if (m_nComponents == 1) {
        // A lone component is stored at full size whatever its sampling factors say.
        const Component& c = m_comp[0];
        for (int y = y0; y < y1; ++y)
            std::memcpy(m_pOut + y * m_nOutStride,
                        c.plane.get() + static_cast<size_t>(y - m_nStripBase[0]) * c.planeW, w);
        return;
    }
    // Colour: nearest-sample upsampling, then YCbCr to RGB with integer tables.
    struct Tables {
        int crR[256], cbB[256], crG[256], cbG[256];
        Tables() {
            for (int i = 0; i < 256; ++i) {
                const int x = i - 128;
                crR[i] = (91881 * x + 32768) >> 16;
                cbB[i] = (116130 * x + 32768) >> 16;
                crG[i] = -46802 * x;
                cbG[i] = -22554 * x + 32768;
            }
        }
    };
    static const Tables t; // built once, thread-safe
    const int rOff = m_opt.order == PixelOrder::BGR ? 2 : 0;
    // Horizontal sample index per component: a shift when the factors allow, else a table.
    int shift[3];
    bool anyTable = false;
    for (int i = 0; i < 3; ++i) {
        const int ratio = m_hMax / m_comp[i].h;
        shift[i] = ratio * m_comp[i].h != m_hMax ? -1
                   : ratio == 1                  ? 0
                   : ratio == 2                  ? 1
                   : ratio == 4                  ? 2
                                                 : -1;
        anyTable |= shift[i] < 0;
    }
    if (anyTable && m_xmap[0].empty())
        for (int i = 0; i < 3; ++i) {
            m_xmap[i].resize(w);
            for (int x = 0; x < w; ++x)
                m_xmap[i][x] = x * m_comp[i].h / m_hMax;
        }
    // Colour differences per output column, rebuilt only when the chroma rows change
    // (every second row with vertical subsampling); the per-pixel loop is then plain
    // element-wise work the compiler vectorises.
    if (m_dr.size() < static_cast<size_t>(w)) {
        m_dr.resize(w);
        m_dg.resize(w);
        m_db.resize(w);
    }
    int16_t* dr = m_dr.data();
    int16_t* dg = m_dg.data();
    int16_t* db = m_db.data();
    const uint8_t* lastB = nullptr;
    const uint8_t* lastR = nullptr;
    for (int y = y0; y < y1; ++y) {
        const uint8_t* py = planeRow(0, y);
        const uint8_t* pb = planeRow(1, y);
        const uint8_t* pr = planeRow(2, y);
        if (pb != lastB || pr != lastR) {
            for (int x = 0; x < w; ++x) {
                const int ib = anyTable ? m_xmap[1][x] : x >> shift[1];
                const int ir = anyTable ? m_xmap[2][x] : x >> shift[2];
                const int cb = pb[ib], cr = pr[ir];
                dr[x] = static_cast<int16_t>(t.crR[cr]);
                dg[x] = static_cast<int16_t>((t.crG[cr] + t.cbG[cb]) >> 16);
                db[x] = static_cast<int16_t>(t.cbB[cb]);
            }
            lastB = pb;
            lastR = pr;
        }
        if (anyTable || shift[0] != 0) {
            m_yrow.resize(w);
            for (int x = 0; x < w; ++x)
                m_yrow[x] = py[anyTable ? m_xmap[0][x] : x >> shift[0]];
            py = m_yrow.data();
        }
        uint8_t* out = m_pOut + y * m_nOutStride;
#if defined(__x86_64__) || defined(__i386__)
        if (HaveSsse3()) {
            ConvertRowSsse3(py, dr, dg, db, out, w, rOff == 2);
            continue;
        }
#endif
        if (rOff == 2)
            ConvertRow<2, 0>(py, dr, dg, db, out, w);
        else
            ConvertRow<0, 2>(py, dr, dg, db, out, w);
    }
}

} // namespace

bool ReadHeader(const uint8_t* data, size_t size, HeaderInfo& info, std::string* error) {
    CJpegHeader h;
    if (!ReadJpegHeader(data, size, h, error))
        return false;
    info = HeaderInfo{};
    info.width = h.m_frame.m_nWidth;
    info.height = h.m_frame.m_nHeight;
    info.components = h.m_frame.m_nComponents;
    info.densityUnit = h.m_nDensityUnit;
    info.xDensity = h.m_nXDensity;
    info.yDensity = h.m_nYDensity;
    info.progressive = h.m_bProgressive;
    info.restartInterval = h.m_nRestartInterval;
    info.headerLength = h.m_nHeaderLength;
    for (int i = 0; i < info.components; ++i) {
        info.hSamp[i] = h.m_frame.m_arrComp[i].m_nH;
        info.vSamp[i] = h.m_frame.m_arrComp[i].m_nV;
    }
    return true;
}

bool DecodeInto(const uint8_t* data, size_t size, uint8_t* buffer, size_t stride, int maxHeight,
                int& width, int& height, int& components, const DecodeOptions& options,
                std::string* error) {
    HeaderInfo info;
    // The size check comes before the entropy data is decoded.
    if (!ReadHeader(data, size, info, error))
        return false;
    if (info.progressive) {
        if (error)
            *error = "unsupported JPEG: progressive streams are not decoded";
        return false;
    }
    if (static_cast<size_t>(info.width) * info.components > stride || info.height > maxHeight ||
        !buffer) {
        if (error)
            *error = "the image does not fit the buffer";
        return false;
    }
    CDecoder full(data, size, options);
    full.SetOutput(buffer, stride);
    if (!full.Run() || !full.Finish()) {
        if (error)
            *error = full.m_strError;
        return false;
    }
    width = info.width;
    height = info.height;
    components = info.components;
    return true;
}

bool Decode(const uint8_t* data, size_t size, DecodedImage& image, const DecodeOptions& options,
            std::string* error) {
    HeaderInfo info;
    if (!ReadHeader(data, size, info, error))
        return false;
    if (static_cast<uint64_t>(info.width) * info.height > options.maxPixels) {
        if (error)
            *error = "JPEG image too large";
        return false;
    }
    const size_t stride = static_cast<size_t>(info.width) * info.components;
    image.pixels.assign(stride * info.height, 0);
    if (!DecodeInto(data, size, image.pixels.data(), stride, info.height, image.width, image.height,
                    image.components, options, error)) {
        image.pixels.clear();
        return false;
    }
    return true;
}

} // namespace vlm::jpeg
