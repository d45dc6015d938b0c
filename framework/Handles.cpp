#include "framework/Handles.h"

namespace vlm {

LONG CRegKey::QueryDWORD(const char* name, DWORD& value) const {
    DWORD type = 0, data = 0, cb = sizeof data;
    LONG rc = ::RegQueryValueExA(m_hKey, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &cb);
    if (rc != ERROR_SUCCESS)
        return rc;
    if (type != REG_DWORD || cb != sizeof data)
        return ERROR_INVALID_DATA;
    value = data;
    return ERROR_SUCCESS;
}

LONG CRegKey::QueryString(const char* name, std::string& value) const {
    DWORD type = 0, cb = 0;
    LONG rc = ::RegQueryValueExA(m_hKey, name, nullptr, &type, nullptr, &cb);
    if (rc != ERROR_SUCCESS)
        return rc;
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        return ERROR_INVALID_DATA;
    // The value can grow between the two calls; retry with the new size.
    for (int attempt = 0; attempt < 4; ++attempt) {
        std::string buf(cb + 1, '\0');
        DWORD cbRead = cb;
        rc = ::RegQueryValueExA(m_hKey, name, nullptr, &type, reinterpret_cast<BYTE*>(&buf[0]),
                                &cbRead);
        if (rc == ERROR_MORE_DATA) {
            cb = cbRead;
            continue;
        }
        if (rc != ERROR_SUCCESS)
            return rc;
        buf.resize(cbRead);
        // Stored strings may or may not carry their terminator.
        size_t end = buf.find('\0');
        if (end != std::string::npos)
            buf.resize(end);
        value = buf;
        return ERROR_SUCCESS;
    }
    return ERROR_MORE_DATA;
}

LONG CRegKey::SetDWORD(const char* name, DWORD value) {
    return ::RegSetValueExA(m_hKey, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                            sizeof value);
}

LONG CRegKey::SetString(const char* name, const char* value) {
    if (!value)
        value = "";
    return ::RegSetValueExA(m_hKey, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                            static_cast<DWORD>(strlen(value) + 1));
}

} // namespace vlm
