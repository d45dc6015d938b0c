// The application's registry profile:
// HKCU\Software\<registry key>\<profile name>\<section>, value <entry>.
#pragma once
#include <windows.h>
#include <string>

class CVlmProfile {
public:
    CVlmProfile(const char* registryKey, const char* profileName)
        : m_strRegistryKey(registryKey ? registryKey : ""),
          m_strProfileName(profileName ? profileName : "") {}
    // From the running CVlmApp's registry key and profile name.
    CVlmProfile();

    std::string SectionPath(const char* section) const;
    int GetInt(const char* section, const char* entry, int defaultValue) const;
    std::string GetString(const char* section, const char* entry, const char* defaultValue) const;
    BOOL WriteInt(const char* section, const char* entry, int value) const;
    BOOL WriteString(const char* section, const char* entry, const char* value) const;

    std::string m_strRegistryKey;
    std::string m_strProfileName;
};
