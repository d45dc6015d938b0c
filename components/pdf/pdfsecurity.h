// The standard security handler of PDF 2.0, revision 6: AES-256 with the
// file key used for every string and stream (no per-object keys).
#pragma once

#include "pdfcrypt.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vlm::pdf {

// Why a password was refused.
enum class PasswordProblem { kNone, kTooLong, kBadCharacter };

// Brings a UTF-8 password into the form the handler hashes: non-ASCII spaces
// become spaces, characters commonly mapped to nothing are dropped, the text
// is normalised to NFKC, and control, private-use, non-character, surrogate,
// display-changing and tagging characters are refused. Passwords longer than
// 127 bytes after this are refused rather than cut short, so that a reader
// never opens a document with less than the password its user typed.
constexpr size_t kMaxPasswordBytes = 127;
PasswordProblem PreparePassword(const std::string& utf8, std::string* prepared);

// "pdf_Flag" bits (contracts/PdfMaker.h) as the handler's permission word P.
int32_t PermissionWord(unsigned allowBits);

class CStandardSecurity {
public:
    CStandardSecurity() = default;
    ~CStandardSecurity(); // the file key does not outlive its document
    CStandardSecurity(const CStandardSecurity&) = delete;
    CStandardSecurity& operator=(const CStandardSecurity&) = delete;

    // Passwords as PreparePassword gave them; an empty owner password is
    // replaced by random bytes (permissions cannot be lifted), an empty user
    // password lets anyone open the document under the permissions.
    bool Setup(const std::string& userPassword, const std::string& ownerPassword,
               unsigned allowBits);
    // The /Encrypt dictionary (without "obj" lines); its strings stay clear.
    std::string Dictionary() const;
    // Replaces data with a random iv and the AES-256-CBC cipher text of data
    // with PKCS #7 padding, as strings and streams are stored.
    bool Encrypt(std::vector<uint8_t>& data);

private:
    bool Hash(const std::string& password, const uint8_t salt[8], const uint8_t* userKey,
              uint8_t out[32]);

    CPlatformCrypto m_crypto;
    uint8_t m_key[32] = {};
    uint8_t m_u[48] = {}, m_o[48] = {}, m_ue[32] = {}, m_oe[32] = {}, m_perms[16] = {};
    int32_t m_p = 0;
};

} // namespace vlm::pdf
