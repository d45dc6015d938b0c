// The platform's cryptography behind a small interface: SHA-2 digests, AES in
// CBC mode without padding, random bytes and Unicode NFKC normalisation. On
// Windows it is CNG (bcrypt.dll, normaliz.dll); the portable build uses
// libcrypto and ICU. Nothing here implements a cipher itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace vlm::pdf {

class CPlatformCrypto {
public:
    enum class Sha { k256, k384, k512 }; // digests of 32, 48 and 64 bytes

    CPlatformCrypto(); // opens the algorithm providers once
    ~CPlatformCrypto();
    CPlatformCrypto(const CPlatformCrypto&) = delete;
    CPlatformCrypto& operator=(const CPlatformCrypto&) = delete;

    bool IsReady() const; // false when a provider could not be opened
    static size_t DigestSize(Sha kind) {
        return kind == Sha::k256 ? 32 : kind == Sha::k384 ? 48 : 64;
    }
    bool Digest(Sha kind, const uint8_t* data, size_t n, uint8_t* out);
    // AES-128 or AES-256 (key of 16 or 32 bytes) in CBC mode; n a multiple of
    // 16. One block with a zero iv is the ECB form.
    bool AesCbcEncrypt(const uint8_t* key, size_t keyLen, const uint8_t iv[16], const uint8_t* in,
                       size_t n, uint8_t* out);
    bool Random(uint8_t* out, size_t n);

private:
    struct Impl;
    std::unique_ptr<Impl> m_pImpl;
};

// Unicode normalisation form KC of UTF-16 text; false when the platform
// refuses the text (for instance unpaired surrogates).
bool NormalizeNfkc(const std::u16string& in, std::u16string* out);

} // namespace vlm::pdf
