// The job list tool's configuration: "AppConfig.ini" beside the program names
// everything model-specific (the model's names, the plug-in, the runner's
// names, the scanner's friendly names). The tool only reads it.
#pragma once
#include <windows.h>
#include <string>

class CTaskdeckConfig {
public:
    // Answered when "Type" or a key is missing: HRESULT of ERROR_READ_FAULT.
    static constexpr HRESULT kMissing = static_cast<HRESULT>(0x8007001E);

    // The given file, or "AppConfig.ini" in the program's folder. Reads the
    // model section's name from "Device"/"Type"; kMissing when there is none
    // (the object then answers kMissing for every other key too).
    HRESULT Init(const char* pszPath = nullptr);
    // "Type" (exactly) answers the model section's name; any other key is
    // read from the model section. A value that reads "default" is missing:
    // the text is emptied and kMissing answered. A null key: E_INVALIDARG.
    HRESULT GetValue(const char* pszKey, std::string& value) const;
    // The value, or "" when missing.
    std::string Value(const char* pszKey) const;

    const std::string& GetPath() const { return m_strPath; }

private:
    // One key's text, read with "default" as the default text.
    std::string Read(const char* pszSection, const char* pszKey) const;

    std::string m_strPath;
    char m_szSection[256] = {};
};
