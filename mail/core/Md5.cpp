#include "mail/core/Md5.h"

#include <cstring>

namespace vlm::mail {
namespace {
const uint32_t kT[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};
const int kShift[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

uint32_t Rotl(uint32_t x, int n) {
    return x << n | x >> (32 - n);
}
} // namespace

CMd5::CMd5() : m_State{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476} {}

void CMd5::Block(const uint8_t* p) {
    uint32_t x[16];
    for (int i = 0; i < 16; ++i)
        x[i] = uint32_t(p[i * 4]) | uint32_t(p[i * 4 + 1]) << 8 | uint32_t(p[i * 4 + 2]) << 16 |
               uint32_t(p[i * 4 + 3]) << 24;
    uint32_t a = m_State[0], b = m_State[1], c = m_State[2], d = m_State[3];
    for (int i = 0; i < 64; ++i) {
        const int round = i / 16;
        uint32_t f;
        int k;
        switch (round) {
        case 0:
            f = (b & c) | (~b & d);
            k = i;
            break;
        case 1:
            f = (d & b) | (~d & c);
            k = (5 * i + 1) % 16;
            break;
        case 2:
            f = b ^ c ^ d;
            k = (3 * i + 5) % 16;
            break;
        default:
            f = c ^ (b | ~d);
            k = (7 * i) % 16;
            break;
        }
        const uint32_t next = b + Rotl(a + f + kT[i] + x[k], kShift[round][i % 4]);
        a = d;
        d = c;
        c = b;
        b = next;
    }
    m_State[0] += a;
    m_State[1] += b;
    m_State[2] += c;
    m_State[3] += d;
}

void CMd5::Update(const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    m_Length += size;
    while (size) {
        const size_t n = std::min(size, 64 - m_Used);
        std::memcpy(m_Buffer + m_Used, p, n);
        m_Used += n;
        p += n;
        size -= n;
        if (m_Used == 64) {
            Block(m_Buffer);
            m_Used = 0;
        }
    }
}

std::array<uint8_t, 16> CMd5::Final() {
    const uint64_t bits = m_Length * 8;
    const uint8_t pad = 0x80;
    Update(&pad, 1);
    const uint8_t zero = 0;
    while (m_Used != 56)
        Update(&zero, 1);
    uint8_t len[8];
    for (int i = 0; i < 8; ++i)
        len[i] = uint8_t(bits >> (8 * i));
    Update(len, 8);
    std::array<uint8_t, 16> out;
    for (int i = 0; i < 16; ++i)
        out[i] = uint8_t(m_State[i / 4] >> (8 * (i % 4)));
    return out;
}

std::array<uint8_t, 16> Md5(const std::string& data) {
    CMd5 md5;
    md5.Update(data.data(), data.size());
    return md5.Final();
}

std::array<uint8_t, 16> HmacMd5(const std::string& key, const std::string& data) {
    std::string k = key;
    if (k.size() > 64) {
        const auto d = Md5(k);
        k.assign(d.begin(), d.end());
    }
    k.resize(64, '\0');
    std::string ipad(64, '\0'), opad(64, '\0');
    for (int i = 0; i < 64; ++i) {
        ipad[i] = char(k[i] ^ 0x36);
        opad[i] = char(k[i] ^ 0x5c);
    }
    const auto inner = Md5(ipad + data);
    return Md5(opad + std::string(inner.begin(), inner.end()));
}

std::string ToHex(const std::array<uint8_t, 16>& digest) {
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (uint8_t b : digest) {
        out += hex[b >> 4];
        out += hex[b & 15];
    }
    return out;
}

} // namespace vlm::mail
