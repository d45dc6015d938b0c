#include "Protector.h"

#include <windows.h>
#include <wincrypt.h>

namespace taskstore {

namespace {
// Frees the buffer the data protection functions allocate.
class CLocalBlob {
public:
    DATA_BLOB m_blob = {};
    ~CLocalBlob() {
        if (m_blob.pbData)
            LocalFree(m_blob.pbData);
    }
};
} // namespace

bool CUserProtector::Seal(const std::vector<uint8_t>& plain, std::vector<uint8_t>& blob) const {
    DATA_BLOB in = {DWORD(plain.size()), const_cast<BYTE*>(plain.data())};
    static BYTE none = 0;
    if (plain.empty())
        in.pbData = &none;
    CLocalBlob out;
    if (!CryptProtectData(&in, L"Taskstore", nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN,
                          &out.m_blob))
        return false;
    blob.assign(out.m_blob.pbData, out.m_blob.pbData + out.m_blob.cbData);
    return true;
}

bool CUserProtector::Unseal(const std::vector<uint8_t>& blob, std::vector<uint8_t>& plain) const {
    if (blob.empty())
        return false;
    DATA_BLOB in = {DWORD(blob.size()), const_cast<BYTE*>(blob.data())};
    CLocalBlob out;
    if (!CryptUnprotectData(&in, nullptr, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN,
                            &out.m_blob))
        return false;
    plain.assign(out.m_blob.pbData, out.m_blob.pbData + out.m_blob.cbData);
    return true;
}

} // namespace taskstore
