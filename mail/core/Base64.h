// Base64 (RFC 2045) for encoded words, SMTP authentication and attachments.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace vlm::mail {

// The whole input as one base64 text with "=" fill, no line breaks.
std::string Base64Encode(const void* data, size_t size);
inline std::string Base64Encode(const std::string& s) {
    return Base64Encode(s.data(), s.size());
}

// Decodes base64 text; white space is skipped. False on any other character
// outside the alphabet or on a broken fill.
bool Base64Decode(const std::string& text, std::string& out);

// Streams base64 in lines of 76 characters ending in CR LF, so that an
// attachment is encoded as it is read and never held whole.
class CBase64LineWriter {
public:
    // Appends the lines completed by these bytes to out.
    void Put(const void* data, size_t size, std::string& out);
    // Writes the held bytes with their fill and ends the last line.
    void Finish(std::string& out);

private:
    uint8_t m_Held[3] = {};
    size_t m_HeldCount = 0;
    size_t m_LineLength = 0;
    void PutQuad(const uint8_t* three, size_t n, std::string& out);
};

} // namespace vlm::mail
