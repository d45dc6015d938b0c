// CPlatformCrypto over CNG: algorithm providers opened once per object, a key
// object per AES call (the keys of the password hash change every round).
#include "pdfcrypt.h"

#include <windows.h>

#include <bcrypt.h>

#include "framework/Handles.h"

#include <vector>

namespace vlm::pdf {

struct CPlatformCrypto::Impl {
    CBCryptAlgorithm sha256, sha384, sha512, aes;
    bool ready = false;
};

namespace {

CBCryptAlgorithm OpenProvider(const wchar_t* id) {
    BCRYPT_ALG_HANDLE h = nullptr;
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&h, id, nullptr, 0)))
        return CBCryptAlgorithm();
    return CBCryptAlgorithm(h);
}

} // namespace

CPlatformCrypto::CPlatformCrypto() : m_pImpl(new Impl) {
    Impl& m = *m_pImpl;
    m.sha256 = OpenProvider(BCRYPT_SHA256_ALGORITHM);
    m.sha384 = OpenProvider(BCRYPT_SHA384_ALGORITHM);
    m.sha512 = OpenProvider(BCRYPT_SHA512_ALGORITHM);
    m.aes = OpenProvider(BCRYPT_AES_ALGORITHM);
    wchar_t mode[] = BCRYPT_CHAIN_MODE_CBC;
    m.ready = m.sha256 && m.sha384 && m.sha512 && m.aes &&
              BCRYPT_SUCCESS(BCryptSetProperty(m.aes.Get(), BCRYPT_CHAINING_MODE,
                                               reinterpret_cast<PUCHAR>(mode), sizeof(mode), 0));
}

CPlatformCrypto::~CPlatformCrypto() = default;

bool CPlatformCrypto::IsReady() const {
    return m_pImpl->ready;
}

bool CPlatformCrypto::Digest(Sha kind, const uint8_t* data, size_t n, uint8_t* out) {
    if (!m_pImpl->ready)
        return false;
    const CBCryptAlgorithm& alg = kind == Sha::k256   ? m_pImpl->sha256
                                  : kind == Sha::k384 ? m_pImpl->sha384
                                                      : m_pImpl->sha512;
    BCRYPT_HASH_HANDLE h = nullptr;
    if (!BCRYPT_SUCCESS(BCryptCreateHash(alg.Get(), &h, nullptr, 0, nullptr, 0, 0)))
        return false;
    const CBCryptHash owner(h);
    return BCRYPT_SUCCESS(BCryptHashData(h, const_cast<PUCHAR>(data), static_cast<ULONG>(n), 0)) &&
           BCRYPT_SUCCESS(BCryptFinishHash(h, out, static_cast<ULONG>(DigestSize(kind)), 0));
}

bool CPlatformCrypto::AesCbcEncrypt(const uint8_t* key, size_t keyLen, const uint8_t iv[16],
                                    const uint8_t* in, size_t n, uint8_t* out) {
    if (!m_pImpl->ready || (keyLen != 16 && keyLen != 32) || n % 16 != 0)
        return false;
    BCRYPT_KEY_HANDLE h = nullptr;
    if (!BCRYPT_SUCCESS(BCryptGenerateSymmetricKey(m_pImpl->aes.Get(), &h, nullptr, 0,
                                                   const_cast<PUCHAR>(key),
                                                   static_cast<ULONG>(keyLen), 0)))
        return false;
    const CBCryptKey owner(h);
    uint8_t chain[16]; // BCryptEncrypt updates the iv it is given
    memcpy(chain, iv, sizeof(chain));
    ULONG written = 0;
    return BCRYPT_SUCCESS(BCryptEncrypt(h, const_cast<PUCHAR>(in), static_cast<ULONG>(n), nullptr,
                                        chain, sizeof(chain), out, static_cast<ULONG>(n), &written,
                                        0)) &&
           written == n;
}

bool CPlatformCrypto::Random(uint8_t* out, size_t n) {
    return BCRYPT_SUCCESS(
        BCryptGenRandom(nullptr, out, static_cast<ULONG>(n), BCRYPT_USE_SYSTEM_PREFERRED_RNG));
}

bool NormalizeNfkc(const std::u16string& in, std::u16string* out) {
    out->clear();
    if (in.empty())
        return true;
    const LPCWSTR src = reinterpret_cast<LPCWSTR>(in.data());
    int size = NormalizeString(NormalizationKC, src, static_cast<int>(in.size()), nullptr, 0);
    // The first answer is an estimate; a second try covers a longer result.
    for (int attempt = 0; attempt < 2 && size > 0; ++attempt) {
        std::vector<wchar_t> buf(static_cast<size_t>(size));
        const int n =
            NormalizeString(NormalizationKC, src, static_cast<int>(in.size()), buf.data(), size);
        if (n > 0) {
            out->assign(reinterpret_cast<const char16_t*>(buf.data()), static_cast<size_t>(n));
            return true;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            return false;
        size = -n;
    }
    return false;
}

} // namespace vlm::pdf
