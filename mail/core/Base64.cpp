#include "mail/core/Base64.h"

namespace vlm::mail {
namespace {
const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

void EncodeGroup(const uint8_t* p, size_t n, char* q) {
    const uint32_t v = uint32_t(p[0]) << 16 | uint32_t(n > 1 ? p[1] : 0) << 8 | (n > 2 ? p[2] : 0);
    q[0] = kAlphabet[v >> 18];
    q[1] = kAlphabet[(v >> 12) & 63];
    q[2] = n > 1 ? kAlphabet[(v >> 6) & 63] : '=';
    q[3] = n > 2 ? kAlphabet[v & 63] : '=';
}

int Value(unsigned char c) {
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}
} // namespace

std::string Base64Encode(const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    std::string out((size + 2) / 3 * 4, '\0');
    char* q = out.data();
    for (size_t i = 0; i < size; i += 3, q += 4)
        EncodeGroup(p + i, size - i < 3 ? size - i : 3, q);
    return out;
}

bool Base64Decode(const std::string& text, std::string& out) {
    out.clear();
    uint32_t acc = 0;
    int bits = 0, fill = 0;
    for (unsigned char c : text) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n')
            continue;
        if (c == '=') {
            ++fill;
            continue;
        }
        const int v = Value(c);
        if (v < 0 || fill)
            return false; // data after the fill
        acc = acc << 6 | uint32_t(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(char((acc >> bits) & 0xFF));
        }
    }
    // Leftover bits must be the zero padding of a 2- or 3-character group (a
    // lone character holds no byte).
    return fill <= 2 &&
           (bits == 0   ? fill == 0
            : bits == 4 ? fill == 2
                        : bits == 2 && fill == 1) &&
           (acc & ((1u << bits) - 1)) == 0;
}

void CBase64LineWriter::PutQuad(const uint8_t* three, size_t n, std::string& out) {
    char q[4];
    EncodeGroup(three, n, q);
    out.append(q, 4);
    m_LineLength += 4;
    if (m_LineLength == 76) {
        out += "\r\n";
        m_LineLength = 0;
    }
}

void CBase64LineWriter::Put(const void* data, size_t size, std::string& out) {
    const auto* p = static_cast<const uint8_t*>(data);
    while (size && m_HeldCount) { // complete a group left from the last call
        m_Held[m_HeldCount++] = *p++;
        --size;
        if (m_HeldCount == 3) {
            PutQuad(m_Held, 3, out);
            m_HeldCount = 0;
        }
    }
    for (; size >= 3; p += 3, size -= 3)
        PutQuad(p, 3, out);
    for (; size; --size)
        m_Held[m_HeldCount++] = *p++;
}

void CBase64LineWriter::Finish(std::string& out) {
    if (m_HeldCount)
        PutQuad(m_Held, m_HeldCount, out);
    m_HeldCount = 0;
    if (m_LineLength)
        out += "\r\n";
    m_LineLength = 0;
}

} // namespace vlm::mail
