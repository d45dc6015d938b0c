// Baseline JFIF encoder: standard Huffman tables, quality-scaled standard
// quantisation tables, one marker segment per table.
#include "jpegcodec.h"
#include "jpegtables.h"

#include <algorithm>
#include <cstring>

namespace vlm::jpeg {

using namespace detail;

void QuantTable(int quality, int table, uint16_t out[64]) {
    quality = std::clamp(quality, 1, 100);
    // Usual JFIF quality curve: 50 keeps the standard tables, 100 gives all ones.
    const int scale = quality < 50 ? 5000 / quality : 200 - quality * 2;
    const uint8_t* base = table == 0 ? kStdLumaQuant : kStdChromaQuant;
    for (int i = 0; i < 64; ++i) {
        int q = (base[i] * scale + 50) / 100;
        out[i] = static_cast<uint16_t>(std::clamp(q, 1, 255)); // 8-bit tables stay baseline
    }
}

namespace {

void SetError(std::string* error, const char* text) {
    if (error)
        *error = text;
}

struct HuffEncoder {
    uint16_t code[256] = {};
    uint8_t size[256] = {};

    void Build(const uint8_t bits[16], const uint8_t* values) {
        int k = 0;
        uint16_t c = 0;
        for (int len = 1; len <= 16; ++len) {
            for (int i = 0; i < bits[len - 1]; ++i, ++k) {
                code[values[k]] = c++;
                size[values[k]] = static_cast<uint8_t>(len);
            }
            c <<= 1;
        }
    }
};

class CBitWriter {
public:
    explicit CBitWriter(std::vector<uint8_t>& out) : m_out(out) {}

    void Reserve(size_t bytes) {
        if (m_out.size() - m_nPos < bytes)
            m_out.resize(std::max(m_out.size() * 2, m_nPos + bytes));
    }
    // n <= 32 bits; the accumulator never holds more than 31 bits between calls.
    inline void Put(uint32_t bits, int n) {
        m_acc = (m_acc << n) | bits;
        m_nBits += n;
        if (m_nBits >= 32) {
            m_nBits -= 32;
            const uint32_t w = static_cast<uint32_t>(m_acc >> m_nBits);
            EmitByte(static_cast<uint8_t>(w >> 24));
            EmitByte(static_cast<uint8_t>(w >> 16));
            EmitByte(static_cast<uint8_t>(w >> 8));
            EmitByte(static_cast<uint8_t>(w));
        }
    }
    // Pads the last byte with one bits, as the standard asks before a marker.
    void Flush() {
        while (m_nBits >= 8) {
            m_nBits -= 8;
            EmitByte(static_cast<uint8_t>(m_acc >> m_nBits));
        }
        if (m_nBits > 0) {
            const uint32_t pad = (1u << (8 - m_nBits)) - 1;
            EmitByte(static_cast<uint8_t>(((m_acc << (8 - m_nBits)) | pad) & 0xFF));
            m_nBits = 0;
        }
        m_acc = 0;
    }
    void Raw(uint8_t b) { m_out[m_nPos++] = b; }
    size_t Pos() const { return m_nPos; }

private:
    inline void EmitByte(uint8_t b) {
        m_out[m_nPos++] = b;
        if (b == 0xFF)
            m_out[m_nPos++] = 0; // byte stuffing
    }

    std::vector<uint8_t>& m_out;
    size_t m_nPos = 0;
    uint64_t m_acc = 0;
    int m_nBits = 0;
};

inline int BitLength(int v) {
    return v == 0 ? 0 : 32 - __builtin_clz(static_cast<unsigned>(v));
}

// Forward AAN DCT on one 8x8 block of level-shifted samples, in place. The
// outputs carry the AAN scale, which the quantisation divisors remove.
inline void ForwardDct(float* d) {
    for (int pass = 0; pass < 2; ++pass) {
        const int step = pass == 0 ? 1 : 8; // rows, then columns
        const int next = pass == 0 ? 8 : 1;
        for (int line = 0; line < 8; ++line) {
            float* p = d + line * next;
            const float t0 = p[0 * step] + p[7 * step], t7 = p[0 * step] - p[7 * step];
            const float t1 = p[1 * step] + p[6 * step], t6 = p[1 * step] - p[6 * step];
            const float t2 = p[2 * step] + p[5 * step], t5 = p[2 * step] - p[5 * step];
            const float t3 = p[3 * step] + p[4 * step], t4 = p[3 * step] - p[4 * step];

            float t10 = t0 + t3, t13 = t0 - t3, t11 = t1 + t2, t12 = t1 - t2;
            p[0 * step] = t10 + t11;
            p[4 * step] = t10 - t11;
            const float z1 = (t12 + t13) * 0.707106781f;
            p[2 * step] = t13 + z1;
            p[6 * step] = t13 - z1;

            t10 = t4 + t5;
            t11 = t5 + t6;
            t12 = t6 + t7;
            const float z5 = (t10 - t12) * 0.382683433f;
            const float z2 = 0.541196100f * t10 + z5;
            const float z4 = 1.306562965f * t12 + z5;
            const float z3 = t11 * 0.707106781f;
            const float z11 = t7 + z3, z13 = t7 - z3;
            p[5 * step] = z13 + z2;
            p[3 * step] = z13 - z2;
            p[1 * step] = z11 + z4;
            p[7 * step] = z11 - z4;
        }
    }
}

struct ComponentCoder {
    float divisor[64]; // natural order, 1 / (q x AAN scales x 8)
    const HuffEncoder* dc;
    const HuffEncoder* ac;
    int lastDc = 0;
};

// Level-shifted block from a plane of bytes, DCT, quantisation and entropy coding.
inline void EncodeBlock(const uint8_t* src, size_t stride, ComponentCoder& cc, CBitWriter& bw) {
    int16_t zz[64];
    uint64_t nonzero = 0;
    // Flat blocks (the paper of a document page) need no transform: only DC is set.
    uint64_t first;
    std::memcpy(&first, src, 8);
    bool flat = (first & 0xFF) * 0x0101010101010101ull == first;
    for (int y = 1; flat && y < 8; ++y) {
        uint64_t row;
        std::memcpy(&row, src + y * stride, 8);
        flat = row == first;
    }
    if (flat) {
        const float dc = 64.0f * (static_cast<float>(src[0]) - 128.0f);
        zz[0] = static_cast<int16_t>(static_cast<int>(dc * cc.divisor[0] + 16384.5f) - 16384);
    } else {
        float block[64];
        for (int y = 0; y < 8; ++y) {
            const uint8_t* s = src + y * stride;
            for (int x = 0; x < 8; ++x)
                block[y * 8 + x] = static_cast<float>(s[x]) - 128.0f;
        }
        ForwardDct(block);
        float scaled[64];
        for (int n = 0; n < 64; ++n)
            scaled[n] = block[n] * cc.divisor[n] + 16384.5f;
        for (int k = 0; k < 64; ++k) {
            // Round to nearest; the offset keeps the conversion a truncation of a positive value.
            const int q = static_cast<int>(scaled[kZigzagToNatural[k]]) - 16384;
            zz[k] = static_cast<int16_t>(q);
            nonzero |= static_cast<uint64_t>(q != 0) << k;
        }
    }

    const int diff = zz[0] - cc.lastDc;
    cc.lastDc = zz[0];
    {
        const int a = diff < 0 ? -diff : diff;
        const int nb = BitLength(a);
        const uint32_t extra = static_cast<uint32_t>(diff < 0 ? diff - 1 : diff) & ((1u << nb) - 1);
        bw.Put((static_cast<uint32_t>(cc.dc->code[nb]) << nb) | extra, cc.dc->size[nb] + nb);
    }

    nonzero &= ~uint64_t(1);
    int last = 0;
    while (nonzero) {
        const int k = __builtin_ctzll(nonzero);
        nonzero &= nonzero - 1;
        int run = k - last - 1;
        while (run > 15) {
            bw.Put(cc.ac->code[0xF0], cc.ac->size[0xF0]);
            run -= 16;
        }
        const int v = zz[k];
        const int a = v < 0 ? -v : v;
        const int nb = BitLength(a);
        const uint32_t extra = static_cast<uint32_t>(v < 0 ? v - 1 : v) & ((1u << nb) - 1);
        const int sym = (run << 4) | nb;
        bw.Put((static_cast<uint32_t>(cc.ac->code[sym]) << nb) | extra, cc.ac->size[sym] + nb);
        last = k;
    }
    if (last != 63)
        bw.Put(cc.ac->code[0], cc.ac->size[0]);
}

void PutMarkerSegmentHeader(std::vector<uint8_t>& h, uint8_t marker, int length) {
    h.push_back(0xFF);
    h.push_back(marker);
    h.push_back(static_cast<uint8_t>(length >> 8));
    h.push_back(static_cast<uint8_t>(length));
}

void PutDht(std::vector<uint8_t>& h, int cls, int id, const uint8_t bits[16], const uint8_t* values,
            int count) {
    PutMarkerSegmentHeader(h, 0xC4, 2 + 1 + 16 + count);
    h.push_back(static_cast<uint8_t>((cls << 4) | id));
    h.insert(h.end(), bits, bits + 16);
    h.insert(h.end(), values, values + count);
}

} // namespace

bool Encode(const EncodeParams& p, std::vector<uint8_t>& out, std::string* error) {
    // A size out of range is reported by the page encoder below.
    const bool sized = p.width >= 1 && p.width <= 65535 && p.height >= 1 && p.height <= 65535;
    if (sized && p.components != 1 && p.components != 3) {
        SetError(error, "only grey (1) and colour (3) components are supported");
        return false;
    }
    if (sized && (!p.rows || p.stride < static_cast<size_t>(p.width) * p.components)) {
        SetError(error, "no pixel rows, or the row stride is shorter than a row");
        return false;
    }
    const CPageView page =
        ViewOfRows(p.rows, p.stride, p.width, p.height, 8 * p.components, p.dpi, true,
                   p.order == PixelOrder::RGB ? ColourOrder::RGB : ColourOrder::BGR);
    return Encode(page, p, out, error);
}

bool Encode(const CPageView& page, const EncodeOptions& options, std::vector<uint8_t>& out,
            std::string* error) {
    const int width = page.m_nWidth, height = page.m_nHeight;
    const int components = page.m_nBitsPerPixel / 8;
    if (width < 1 || width > 65535 || height < 1 || height > 65535) {
        SetError(error, "image size must be 1..65535 pixels each way");
        return false;
    }
    if (page.m_nBitsPerPixel != 8 && page.m_nBitsPerPixel != 24) {
        SetError(error, "only grey (1) and colour (3) components are supported");
        return false;
    }
    if (!page.IsValid()) {
        SetError(error, "no pixel rows, or the row stride is shorter than a row");
        return false;
    }
    const bool colour = components == 3;
    const bool sub = colour && options.chroma == Chroma::Subsampled420;
    const int quality = std::clamp(options.quality, 1, 100);

    uint16_t quant[2][64];
    QuantTable(quality, 0, quant[0]);
    QuantTable(quality, 1, quant[1]);

    // Header: SOI, APP0, DQT per table, SOF0, DHT per table, [DRI], SOS.
    std::vector<uint8_t> h;
    h.reserve(700);
    h.push_back(0xFF);
    h.push_back(0xD8);
    PutMarkerSegmentHeader(h, 0xE0, 16);
    const char jfif[5] = {'J', 'F', 'I', 'F', 0};
    h.insert(h.end(), jfif, jfif + 5);
    h.push_back(1);
    h.push_back(1);
    const int density = page.m_nXDpi > 0 ? std::min(page.m_nXDpi, 65535) : 1;
    h.push_back(page.m_nXDpi > 0 ? 1 : 0);
    for (int i = 0; i < 2; ++i) {
        h.push_back(static_cast<uint8_t>(density >> 8));
        h.push_back(static_cast<uint8_t>(density));
    }
    h.push_back(0);
    h.push_back(0);
    for (int t = 0; t < (colour ? 2 : 1); ++t) {
        PutMarkerSegmentHeader(h, 0xDB, 67);
        h.push_back(static_cast<uint8_t>(t));
        for (int k = 0; k < 64; ++k)
            h.push_back(static_cast<uint8_t>(quant[t][kZigzagToNatural[k]]));
    }
    PutMarkerSegmentHeader(h, 0xC0, 8 + 3 * components);
    h.push_back(8);
    h.push_back(static_cast<uint8_t>(height >> 8));
    h.push_back(static_cast<uint8_t>(height));
    h.push_back(static_cast<uint8_t>(width >> 8));
    h.push_back(static_cast<uint8_t>(width));
    h.push_back(static_cast<uint8_t>(components));
    for (int c = 0; c < components; ++c) {
        h.push_back(static_cast<uint8_t>(c + 1));
        h.push_back(c == 0 && sub ? 0x22 : 0x11);
        h.push_back(c == 0 ? 0 : 1);
    }
    PutDht(h, 0, 0, kDcLumaBits, kDcLumaValues, 12);
    PutDht(h, 1, 0, kAcLumaBits, kAcLumaValues, 162);
    if (colour) {
        PutDht(h, 0, 1, kDcChromaBits, kDcChromaValues, 12);
        PutDht(h, 1, 1, kAcChromaBits, kAcChromaValues, 162);
    }
    const int restart = std::clamp(options.restartInterval, 0, 65535);
    if (restart > 0) {
        PutMarkerSegmentHeader(h, 0xDD, 4);
        h.push_back(static_cast<uint8_t>(restart >> 8));
        h.push_back(static_cast<uint8_t>(restart));
    }
    PutMarkerSegmentHeader(h, 0xDA, 6 + 2 * components);
    h.push_back(static_cast<uint8_t>(components));
    for (int c = 0; c < components; ++c) {
        h.push_back(static_cast<uint8_t>(c + 1));
        h.push_back(c == 0 ? 0x00 : 0x11);
    }
    h.push_back(0);
    h.push_back(63);
    h.push_back(0);

    HuffEncoder huff[4];
    huff[0].Build(kDcLumaBits, kDcLumaValues);
    huff[1].Build(kAcLumaBits, kAcLumaValues);
    huff[2].Build(kDcChromaBits, kDcChromaValues);
    huff[3].Build(kAcChromaBits, kAcChromaValues);
    ComponentCoder coders[3];
    for (int c = 0; c < 3; ++c) {
        const int t = c == 0 ? 0 : 1;
        for (int i = 0; i < 64; ++i)
            coders[c].divisor[i] =
                static_cast<float>(1.0 / (quant[t][i] * kAanScale[i / 8] * kAanScale[i % 8] * 8.0));
        coders[c].dc = &huff[t == 0 ? 0 : 2];
        coders[c].ac = &huff[t == 0 ? 1 : 3];
    }

    const int mcuW = sub ? 16 : 8, mcuH = sub ? 16 : 8;
    const int mcusX = (width + mcuW - 1) / mcuW;
    const int mcusY = (height + mcuH - 1) / mcuH;
    const size_t planeW = static_cast<size_t>(mcusX) * mcuW;

    out.clear();
    out.resize(h.size() + 65536 + static_cast<size_t>(width) * height / 4);
    CBitWriter bw(out);
    for (uint8_t b : h)
        bw.Raw(b);

    // One MCU row of each component plane, edges replicated to whole blocks.
    std::vector<uint8_t> planes[3];
    for (int c = 0; c < components; ++c)
        planes[c].resize(planeW * mcuH);
    std::vector<uint8_t> chromaSmall[2];
    if (sub) {
        chromaSmall[0].resize(planeW / 2 * 8);
        chromaSmall[1].resize(planeW / 2 * 8);
    }
    const int rOff = page.m_order == ColourOrder::BGR ? 2 : 0,
              bOff = page.m_order == ColourOrder::BGR ? 0 : 2;

    int mcuCount = 0, restartNum = 0;
    for (int my = 0; my < mcusY; ++my) {
        for (int y = 0; y < mcuH; ++y) {
            const int sy = std::min(my * mcuH + y, height - 1);
            const uint8_t* row = page.Row(sy);
            uint8_t* py = planes[0].data() + y * planeW;
            if (!colour) {
                std::memcpy(py, row, width);
                std::memset(py + width, row[width - 1], planeW - width);
                continue;
            }
            uint8_t* pcb = planes[1].data() + y * planeW;
            uint8_t* pcr = planes[2].data() + y * planeW;
            // Runs of one colour (the paper) reuse the last conversion.
            uint32_t lastKey = 0xFFFFFFFFu;
            uint8_t ly = 0, lcb = 0, lcr = 0;
            for (int x = 0; x < width; ++x) {
                const uint8_t* px = row + 3 * x;
                const uint32_t key = px[0] | (px[1] << 8) | (px[2] << 16);
                if (key != lastKey) {
                    const int r = px[rOff], g = px[1], b = px[bOff];
                    ly = static_cast<uint8_t>((19595 * r + 38470 * g + 7471 * b + 32768) >> 16);
                    lcb = static_cast<uint8_t>(
                        (-11059 * r - 21709 * g + 32768 * b + (128 << 16) + 32767) >> 16);
                    lcr = static_cast<uint8_t>(
                        (32768 * r - 27439 * g - 5329 * b + (128 << 16) + 32767) >> 16);
                    lastKey = key;
                }
                py[x] = ly;
                pcb[x] = lcb;
                pcr[x] = lcr;
            }
            for (size_t x = width; x < planeW; ++x) {
                py[x] = py[width - 1];
                pcb[x] = pcb[width - 1];
                pcr[x] = pcr[width - 1];
            }
        }
        if (sub) {
            // 2x2 average; alternating rounding bias avoids a drift towards one side.
            const size_t w2 = planeW / 2;
            for (int c = 0; c < 2; ++c) {
                const uint8_t* src = planes[c + 1].data();
                uint8_t* dst = chromaSmall[c].data();
                for (int y = 0; y < 8; ++y) {
                    const uint8_t* a = src + 2 * y * planeW;
                    const uint8_t* b = a + planeW;
                    int bias = 1;
                    for (size_t x = 0; x < w2; ++x) {
                        dst[y * w2 + x] = static_cast<uint8_t>(
                            (a[2 * x] + a[2 * x + 1] + b[2 * x] + b[2 * x + 1] + bias) >> 2);
                        bias ^= 3;
                    }
                }
            }
        }
        bw.Reserve(static_cast<size_t>(mcusX) * 6 * 2 * 64 * 4 + 1024);
        for (int mx = 0; mx < mcusX; ++mx) {
            if (restart > 0 && mcuCount > 0 && mcuCount % restart == 0) {
                bw.Flush();
                bw.Raw(0xFF);
                bw.Raw(static_cast<uint8_t>(0xD0 + (restartNum++ & 7)));
                for (auto& cc : coders)
                    cc.lastDc = 0;
            }
            if (!colour) {
                EncodeBlock(planes[0].data() + mx * 8, planeW, coders[0], bw);
            } else if (!sub) {
                for (int c = 0; c < 3; ++c)
                    EncodeBlock(planes[c].data() + mx * 8, planeW, coders[c], bw);
            } else {
                const uint8_t* y0 = planes[0].data() + mx * 16;
                EncodeBlock(y0, planeW, coders[0], bw);
                EncodeBlock(y0 + 8, planeW, coders[0], bw);
                EncodeBlock(y0 + 8 * planeW, planeW, coders[0], bw);
                EncodeBlock(y0 + 8 * planeW + 8, planeW, coders[0], bw);
                EncodeBlock(chromaSmall[0].data() + mx * 8, planeW / 2, coders[1], bw);
                EncodeBlock(chromaSmall[1].data() + mx * 8, planeW / 2, coders[2], bw);
            }
            ++mcuCount;
        }
    }
    bw.Flush();
    bw.Reserve(2);
    bw.Raw(0xFF);
    bw.Raw(0xD9);
    out.resize(bw.Pos());
    return true;
}

} // namespace vlm::jpeg
