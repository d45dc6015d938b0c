#include "pdfsecurity.h"

#include <cstring>

namespace vlm::pdf {

namespace {

// Decodes strict UTF-8 (no overlong forms, no surrogates); false on any fault.
bool DecodeUtf8(const std::string& s, std::u32string* out) {
    for (size_t i = 0; i < s.size();) {
        const uint8_t b = static_cast<uint8_t>(s[i]);
        const int extra = b < 0x80             ? 0
                          : (b & 0xE0) == 0xC0 ? 1
                          : (b & 0xF0) == 0xE0 ? 2
                          : (b & 0xF8) == 0xF0 ? 3
                                               : -1;
        if (extra < 0 || i + extra >= s.size())
            return false;
        char32_t c = extra ? b & (0x3F >> extra) : b;
        for (int k = 1; k <= extra; ++k) {
            const uint8_t t = static_cast<uint8_t>(s[i + k]);
            if ((t & 0xC0) != 0x80)
                return false;
            c = (c << 6) | (t & 0x3F);
        }
        static const char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
        if (c < kMin[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            return false;
        out->push_back(c);
        i += static_cast<size_t>(extra) + 1;
    }
    return true;
}

void AppendUtf8(char32_t c, std::string* out) {
    if (c < 0x80) {
        out->push_back(static_cast<char>(c));
        return;
    }
    static const uint8_t kLead[] = {0, 0xC0, 0xE0, 0xF0};
    const int extra = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
    out->push_back(static_cast<char>(kLead[extra] | (c >> (6 * extra))));
    for (int k = extra - 1; k >= 0; --k)
        out->push_back(static_cast<char>(0x80 | ((c >> (6 * k)) & 0x3F)));
}

bool InRanges(char32_t c, std::initializer_list<std::pair<char32_t, char32_t>> ranges) {
    for (const auto& r : ranges)
        if (c >= r.first && c <= r.second)
            return true;
    return false;
}

// Spaces other than U+0020 that the password profile turns into U+0020.
bool IsOtherSpace(char32_t c) {
    return InRanges(c, {{0xA0, 0xA0},
                        {0x1680, 0x1680},
                        {0x2000, 0x200A},
                        {0x202F, 0x202F},
                        {0x205F, 0x205F},
                        {0x3000, 0x3000}});
}

// Characters commonly mapped to nothing: soft hyphen, joiners, variation
// selectors, byte order mark.
bool IsMappedToNothing(char32_t c) {
    return InRanges(c, {{0xAD, 0xAD},
                        {0x34F, 0x34F},
                        {0x1806, 0x1806},
                        {0x180B, 0x180D},
                        {0x200B, 0x200D},
                        {0x2060, 0x2060},
                        {0xFE00, 0xFE0F},
                        {0xFEFF, 0xFEFF}});
}

// Characters a password may not hold after normalisation: controls, private
// use, non-characters, surrogates, characters that change the display and
// language tags.
bool IsProhibited(char32_t c) {
    if ((c & 0xFFFE) == 0xFFFE) // U+xFFFE and U+xFFFF of every plane
        return true;
    return InRanges(c, {{0x0, 0x1F},
                        {0x7F, 0x9F},
                        {0x340, 0x341},
                        {0x6DD, 0x6DD},
                        {0x70F, 0x70F},
                        {0x180E, 0x180E},
                        {0x200C, 0x200F},
                        {0x2028, 0x202E},
                        {0x2060, 0x2063},
                        {0x206A, 0x206F},
                        {0x2FF0, 0x2FFB},
                        {0xD800, 0xF8FF},
                        {0xFDD0, 0xFDEF},
                        {0xFEFF, 0xFEFF},
                        {0xFFF9, 0xFFFD},
                        {0x1D173, 0x1D17A},
                        {0xE0001, 0xE0001},
                        {0xE0020, 0xE007F},
                        {0xF0000, 0x10FFFF}});
}

std::string Hex(const uint8_t* p, size_t n) {
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        s.push_back(digits[p[i] >> 4]);
        s.push_back(digits[p[i] & 15]);
    }
    return s;
}

} // namespace

PasswordProblem PreparePassword(const std::string& utf8, std::string* prepared) {
    prepared->clear();
    // Longer input cannot shrink to a usable password; stop before normalising it.
    if (utf8.size() > 8 * kMaxPasswordBytes)
        return PasswordProblem::kTooLong;
    std::u32string chars;
    if (!DecodeUtf8(utf8, &chars))
        return PasswordProblem::kBadCharacter;
    std::u16string mapped;
    for (char32_t c : chars) {
        if (IsMappedToNothing(c))
            continue;
        if (IsOtherSpace(c))
            c = U' ';
        if (c >= 0x10000) {
            mapped.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
            mapped.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            mapped.push_back(static_cast<char16_t>(c));
        }
    }
    std::u16string normal;
    if (!NormalizeNfkc(mapped, &normal))
        return PasswordProblem::kBadCharacter;
    for (size_t i = 0; i < normal.size(); ++i) {
        char32_t c = normal[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < normal.size()) {
            c = 0x10000 + ((c - 0xD800) << 10) + (normal[i + 1] - 0xDC00);
            ++i;
        }
        if (IsProhibited(c))
            return PasswordProblem::kBadCharacter;
        AppendUtf8(c, prepared);
    }
    // Text of nothing but dropped characters would silently leave the document open.
    if (prepared->empty())
        return PasswordProblem::kBadCharacter;
    if (prepared->size() > kMaxPasswordBytes) {
        prepared->clear();
        return PasswordProblem::kTooLong;
    }
    return PasswordProblem::kNone;
}

int32_t PermissionWord(unsigned allowBits) {
    // Bits counted from 1: 1-2 zero; 7, 8 and 13-32 reserved as 1; 10 (extraction
    // for accessibility) always set as PDF 2.0 asks.
    uint32_t p = 0xFFFFF000u | 0xC0u | 0x200u;
    if (allowBits & 0x1) // printing: 3 print, 12 faithful print
        p |= 0x4u | 0x800u;
    if (allowBits & 0x2) // copying: 5 copy or extract text and graphics
        p |= 0x10u;
    if (allowBits & 0x4) // changing: 4 modify, 6 annotate, 9 fill forms, 11 assemble pages
        p |= 0x8u | 0x20u | 0x100u | 0x400u;
    return static_cast<int32_t>(p);
}

// The password hash of revision 6: SHA-256 seed, then at least 64 rounds of
// AES-128 and a SHA-2 digest chosen by the round's cipher text.
bool CStandardSecurity::Hash(const std::string& password, const uint8_t salt[8],
                             const uint8_t* userKey, uint8_t out[32]) {
    const size_t userLen = userKey ? 48 : 0;
    std::vector<uint8_t> seed(password.begin(), password.end());
    seed.insert(seed.end(), salt, salt + 8);
    if (userKey)
        seed.insert(seed.end(), userKey, userKey + userLen);
    uint8_t k[64];
    size_t kLen = 32;
    if (!m_crypto.Digest(CPlatformCrypto::Sha::k256, seed.data(), seed.size(), k))
        return false;
    std::vector<uint8_t> k1, e;
    for (int round = 0;;) {
        const size_t unit = password.size() + kLen + userLen;
        k1.resize(unit * 64);
        for (size_t r = 0; r < 64; ++r) {
            uint8_t* p = k1.data() + r * unit;
            memcpy(p, password.data(), password.size());
            memcpy(p + password.size(), k, kLen);
            if (userKey)
                memcpy(p + password.size() + kLen, userKey, userLen);
        }
        e.resize(k1.size());
        if (!m_crypto.AesCbcEncrypt(k, 16, k + 16, k1.data(), k1.size(), e.data()))
            return false;
        // The first 16 bytes as a big number modulo 3 equal their sum modulo 3.
        unsigned sum = 0;
        for (int i = 0; i < 16; ++i)
            sum += e[i];
        const CPlatformCrypto::Sha kind = sum % 3 == 0   ? CPlatformCrypto::Sha::k256
                                          : sum % 3 == 1 ? CPlatformCrypto::Sha::k384
                                                         : CPlatformCrypto::Sha::k512;
        kLen = CPlatformCrypto::DigestSize(kind);
        if (!m_crypto.Digest(kind, e.data(), e.size(), k))
            return false;
        ++round;
        if (round >= 64 && e.back() <= round - 32)
            break;
    }
    memcpy(out, k, 32);
    return true;
}

CStandardSecurity::~CStandardSecurity() {
    volatile uint8_t* key = m_key; // a plain memset of a dying object may be left out
    for (size_t i = 0; i < sizeof(m_key); ++i)
        key[i] = 0;
}

bool CStandardSecurity::Setup(const std::string& userPassword, const std::string& ownerPassword,
                              unsigned allowBits) {
    if (!m_crypto.IsReady())
        return false;
    uint8_t salts[32], randomOwner[32];
    static const uint8_t zeroIv[16] = {};
    uint8_t hash[32];
    if (!m_crypto.Random(m_key, sizeof(m_key)) || !m_crypto.Random(salts, sizeof(salts)) ||
        !m_crypto.Random(randomOwner, sizeof(randomOwner)))
        return false;
    const std::string owner = ownerPassword.empty()
                                  ? std::string(reinterpret_cast<char*>(randomOwner), 32)
                                  : ownerPassword;
    memcpy(m_u + 32, salts, 16); // validation salt, key salt
    memcpy(m_o + 32, salts + 16, 16);
    m_p = PermissionWord(allowBits);
    uint8_t perms[16] = {static_cast<uint8_t>(m_p),
                         static_cast<uint8_t>(m_p >> 8),
                         static_cast<uint8_t>(m_p >> 16),
                         static_cast<uint8_t>(m_p >> 24),
                         0xFF,
                         0xFF,
                         0xFF,
                         0xFF,
                         'T',
                         'a',
                         'd',
                         'b'};
    return m_crypto.Random(perms + 12, 4) && Hash(userPassword, m_u + 32, nullptr, m_u) &&
           Hash(userPassword, m_u + 40, nullptr, hash) &&
           m_crypto.AesCbcEncrypt(hash, 32, zeroIv, m_key, 32, m_ue) &&
           Hash(owner, m_o + 32, m_u, m_o) && Hash(owner, m_o + 40, m_u, hash) &&
           m_crypto.AesCbcEncrypt(hash, 32, zeroIv, m_key, 32, m_oe) &&
           m_crypto.AesCbcEncrypt(m_key, 32, zeroIv, perms, 16, m_perms);
}

std::string CStandardSecurity::Dictionary() const {
    return "<< /Filter /Standard /V 5 /R 6 /Length 256 /CF << /StdCF << /AuthEvent /DocOpen "
           "/CFM /AESV3 /Length 32 >> >> /StmF /StdCF /StrF /StdCF /O <" +
           Hex(m_o, 48) + "> /U <" + Hex(m_u, 48) + "> /OE <" + Hex(m_oe, 32) + "> /UE <" +
           Hex(m_ue, 32) + "> /P " + std::to_string(m_p) + " /Perms <" + Hex(m_perms, 16) +
           "> /EncryptMetadata true >>";
}

bool CStandardSecurity::Encrypt(std::vector<uint8_t>& data) {
    const size_t pad = 16 - data.size() % 16;
    std::vector<uint8_t> out(16 + data.size() + pad);
    data.insert(data.end(), pad, static_cast<uint8_t>(pad));
    if (!m_crypto.Random(out.data(), 16) ||
        !m_crypto.AesCbcEncrypt(m_key, 32, out.data(), data.data(), data.size(), out.data() + 16))
        return false;
    data.swap(out);
    return true;
}

} // namespace vlm::pdf
