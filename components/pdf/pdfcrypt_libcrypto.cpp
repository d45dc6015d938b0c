// CPlatformCrypto for the portable build: libcrypto's EVP interface and ICU.
#include "pdfcrypt.h"

#include <openssl/evp.h>
#include <openssl/rand.h>
#include <unicode/unorm2.h>

#include <vector>

namespace vlm::pdf {

namespace {
struct CipherContextFree {
    void operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }
};
} // namespace

struct CPlatformCrypto::Impl {};

CPlatformCrypto::CPlatformCrypto() : m_pImpl(new Impl) {}
CPlatformCrypto::~CPlatformCrypto() = default;

bool CPlatformCrypto::IsReady() const {
    return true;
}

bool CPlatformCrypto::Digest(Sha kind, const uint8_t* data, size_t n, uint8_t* out) {
    const EVP_MD* md = kind == Sha::k256   ? EVP_sha256()
                       : kind == Sha::k384 ? EVP_sha384()
                                           : EVP_sha512();
    unsigned int len = 0;
    return EVP_Digest(data, n, out, &len, md, nullptr) == 1 && len == DigestSize(kind);
}

bool CPlatformCrypto::AesCbcEncrypt(const uint8_t* key, size_t keyLen, const uint8_t iv[16],
                                    const uint8_t* in, size_t n, uint8_t* out) {
    if ((keyLen != 16 && keyLen != 32) || n % 16 != 0 || n > INT32_MAX)
        return false;
    std::unique_ptr<EVP_CIPHER_CTX, CipherContextFree> ctx(EVP_CIPHER_CTX_new());
    int len = 0;
    return ctx &&
           EVP_EncryptInit_ex(ctx.get(), keyLen == 16 ? EVP_aes_128_cbc() : EVP_aes_256_cbc(),
                              nullptr, key, iv) == 1 &&
           EVP_CIPHER_CTX_set_padding(ctx.get(), 0) == 1 &&
           EVP_EncryptUpdate(ctx.get(), out, &len, in, static_cast<int>(n)) == 1 &&
           static_cast<size_t>(len) == n && EVP_EncryptFinal_ex(ctx.get(), out + len, &len) == 1;
}

bool CPlatformCrypto::Random(uint8_t* out, size_t n) {
    return n <= INT32_MAX && RAND_bytes(out, static_cast<int>(n)) == 1;
}

bool NormalizeNfkc(const std::u16string& in, std::u16string* out) {
    UErrorCode status = U_ZERO_ERROR;
    const UNormalizer2* nfkc = unorm2_getNFKCInstance(&status);
    if (U_FAILURE(status))
        return false;
    std::vector<UChar> buf(in.size() * 2 + 16);
    int32_t n = 0;
    for (int attempt = 0; attempt < 2; ++attempt) { // a second try when the text grew more
        status = U_ZERO_ERROR;
        n = unorm2_normalize(nfkc, reinterpret_cast<const UChar*>(in.data()),
                             static_cast<int32_t>(in.size()), buf.data(),
                             static_cast<int32_t>(buf.size()), &status);
        if (status != U_BUFFER_OVERFLOW_ERROR)
            break;
        buf.resize(static_cast<size_t>(n));
    }
    if (U_FAILURE(status))
        return false;
    out->assign(reinterpret_cast<const char16_t*>(buf.data()), static_cast<size_t>(n));
    return true;
}

} // namespace vlm::pdf
