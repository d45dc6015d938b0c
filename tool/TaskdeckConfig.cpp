#include "tool/TaskdeckConfig.h"
#include "framework/App.h"
#include <cstring>
#include <vector>

namespace {
// The profile functions answer this for a key that is not there.
const char kDefault[] = "default";
} // namespace

std::string CTaskdeckConfig::Read(const char* pszSection, const char* pszKey) const {
    // A value longer than the buffer is cut by the system; grow until it fits.
    std::vector<char> buffer(512);
    for (;;) {
        DWORD n = ::GetPrivateProfileStringA(pszSection, pszKey, kDefault, buffer.data(),
                                             static_cast<DWORD>(buffer.size()), m_strPath.c_str());
        if (n + 2 < buffer.size() || buffer.size() >= 65536)
            return std::string(buffer.data(), n);
        buffer.resize(buffer.size() * 2);
    }
}

HRESULT CTaskdeckConfig::Init(const char* pszPath) {
    if (pszPath && *pszPath)
        m_strPath = pszPath;
    else
        m_strPath = VlmProgramFolder() + "\\AppConfig.ini";
    m_szSection[0] = '\0';
    std::string type = Read("Device", "Type");
    if (type == kDefault)
        return kMissing;
    ::lstrcpynA(m_szSection, type.c_str(), sizeof(m_szSection));
    return S_OK;
}

HRESULT CTaskdeckConfig::GetValue(const char* pszKey, std::string& value) const {
    value.clear();
    if (!pszKey)
        return E_INVALIDARG;
    if (std::strcmp(pszKey, "Type") == 0) {
        value = m_szSection;
        return S_OK;
    }
    // Without a model section nothing can be read; an empty section name
    // would make the system list the file's sections instead.
    if (!m_szSection[0])
        return kMissing;
    std::string text = Read(m_szSection, pszKey);
    if (text == kDefault)
        return kMissing;
    value = std::move(text);
    return S_OK;
}

std::string CTaskdeckConfig::Value(const char* pszKey) const {
    std::string value;
    GetValue(pszKey, value);
    return value;
}
