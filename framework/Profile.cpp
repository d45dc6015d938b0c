#include "framework/Profile.h"
#include "framework/App.h"
#include "framework/Handles.h"

CVlmProfile::CVlmProfile() {
    if (CVlmApp* app = CVlmApp::GetApp()) {
        m_strRegistryKey = app->GetRegistryKey();
        m_strProfileName = app->GetProfileName();
    }
}

std::string CVlmProfile::SectionPath(const char* section) const {
    return "Software\\" + m_strRegistryKey + "\\" + m_strProfileName + "\\" +
           (section ? section : "");
}

int CVlmProfile::GetInt(const char* section, const char* entry, int defaultValue) const {
    CRegKey key;
    if (key.Open(HKEY_CURRENT_USER, SectionPath(section).c_str()) != ERROR_SUCCESS)
        return defaultValue;
    DWORD value = 0;
    if (key.QueryDWORD(entry, value) == ERROR_SUCCESS)
        return static_cast<int>(value);
    // A value typed in by hand as text still counts when it is a number.
    std::string text;
    if (key.QueryString(entry, text) == ERROR_SUCCESS && !text.empty()) {
        char* end = nullptr;
        long n = strtol(text.c_str(), &end, 0);
        if (end && *end == '\0')
            return static_cast<int>(n);
    }
    return defaultValue;
}

std::string CVlmProfile::GetString(const char* section, const char* entry,
                                   const char* defaultValue) const {
    CRegKey key;
    std::string value;
    if (key.Open(HKEY_CURRENT_USER, SectionPath(section).c_str()) == ERROR_SUCCESS &&
        key.QueryString(entry, value) == ERROR_SUCCESS)
        return value;
    return defaultValue ? defaultValue : "";
}

BOOL CVlmProfile::WriteInt(const char* section, const char* entry, int value) const {
    CRegKey key;
    return key.Create(HKEY_CURRENT_USER, SectionPath(section).c_str()) == ERROR_SUCCESS &&
           key.SetDWORD(entry, static_cast<DWORD>(value)) == ERROR_SUCCESS;
}

BOOL CVlmProfile::WriteString(const char* section, const char* entry, const char* value) const {
    CRegKey key;
    return key.Create(HKEY_CURRENT_USER, SectionPath(section).c_str()) == ERROR_SUCCESS &&
           key.SetString(entry, value) == ERROR_SUCCESS;
}
