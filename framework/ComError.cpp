#include "framework/ComError.h"
#include <cstdio>

std::string VlmSystemMessage(DWORD code, DWORD langId) {
    char* buf = nullptr;
    DWORD n = ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                   FORMAT_MESSAGE_IGNORE_INSERTS,
                               nullptr, code, langId, reinterpret_cast<char*>(&buf), 0, nullptr);
    std::string text;
    if (n && buf) {
        text.assign(buf, n);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
    }
    if (buf)
        ::LocalFree(buf);
    return text;
}

std::string CComError::Message() const {
    if (!m_strText.empty())
        return m_strText;
    if (HRESULT_FACILITY(m_hr) == FACILITY_ITF) {
        char buf[64];
        snprintf(buf, sizeof buf, "vender defined error %d", static_cast<int>(m_hr & 0xFFFF));
        return buf;
    }
    std::string text = VlmSystemMessage(static_cast<DWORD>(m_hr));
    if (text.empty()) {
        // Unknown codes still have to say something the user can report.
        char buf[64];
        snprintf(buf, sizeof buf, "Unknown error 0x%08lX", static_cast<unsigned long>(m_hr));
        text = buf;
    }
    return text;
}

void ThrowIfFailed(HRESULT hr, REFIID iid) {
    if (FAILED(hr))
        throw CComError(hr, iid);
}
