// MD5 (RFC 1321) and HMAC-MD5 (RFC 2104), for SMTP CRAM-MD5 log-in.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace vlm::mail {

class CMd5 {
public:
    CMd5();
    void Update(const void* data, size_t size);
    std::array<uint8_t, 16> Final();

private:
    void Block(const uint8_t* p);
    uint32_t m_State[4];
    uint64_t m_Length = 0;
    uint8_t m_Buffer[64];
    size_t m_Used = 0;
};

std::array<uint8_t, 16> Md5(const std::string& data);
std::array<uint8_t, 16> HmacMd5(const std::string& key, const std::string& data);
std::string ToHex(const std::array<uint8_t, 16>& digest);

} // namespace vlm::mail
