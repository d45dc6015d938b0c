#include "common/Localize.h"
#include "framework/App.h"
#include <iterator>
#include <vector>

BOOL CVlmLocalizer::Init(const char* catalogueFile, LANGID langId, BOOL bRunner) {
    std::string folder = VlmProgramFolder();
    // The runner's own library first, for the runner only.
    const char* local[] = {"\\jtzxdloc.dll", "\\zxdloc.dll", "\\vlmloc.dll"};
    const char* bare[] = {"zxdloc.dll", "vlmloc.dll"};
    m_library.Free();
    if (!folder.empty())
        for (size_t i = bRunner ? 0 : 1; i < std::size(local); ++i)
            if (::GetFileAttributesA((folder + local[i]).c_str()) != INVALID_FILE_ATTRIBUTES &&
                m_library.Load((folder + local[i]).c_str()))
                break;
    if (!m_library.IsLoaded())
        for (const char* name : bare)
            if (m_library.Load(name))
                break;
    m_pfnSetLocale = m_library.Get<PFN_VlmLocalizeSetLocale>("VlmLocalizeSetLocale");
    m_pfnGetLocale = m_library.Get<PFN_VlmLocalizeGetLocale>("VlmLocalizeGetLocale");
    m_pfnAddFileA = m_library.Get<PFN_VlmLocalizeAddFileA>("VlmLocalizeAddFileA");
    m_pfnAddFileW = m_library.Get<PFN_VlmLocalizeAddFileW>("VlmLocalizeAddFileW");
    m_pfnClearFiles = m_library.Get<PFN_VlmLocalizeClearFiles>("VlmLocalizeClearFiles");
    m_pfnLookupAW = m_library.Get<PFN_VlmLocalizeLookupAW>("VlmLocalizeLookupAW");
    m_pfnLookupWW = m_library.Get<PFN_VlmLocalizeLookupWW>("VlmLocalizeLookupWW");
    m_pfnA2W = m_library.Get<PFN_VlmLocalizeA2W>("VlmLocalizeA2W");
    m_pfnW2A = m_library.Get<PFN_VlmLocalizeW2A>("VlmLocalizeW2A");
    m_pfnDialog = m_library.Get<PFN_VlmLocalizeDialog>("VlmLocalizeDialog");
    if (!IsActive())
        return FALSE;
    if (m_pfnSetLocale)
        m_pfnSetLocale(langId);
    if (!catalogueFile || !*catalogueFile || !m_pfnAddFileA)
        return FALSE;
    std::string catalogue = catalogueFile;
    if (catalogue.find('\\') == std::string::npos && !folder.empty())
        catalogue = folder + "\\" + catalogue;
    return m_pfnAddFileA(catalogue.c_str());
}

std::string CVlmLocalizer::Localize(const char* english) const {
    if (!english)
        return std::string();
    if (!IsActive())
        return english;
    int cb = m_pfnLookupAW(english, nullptr, 0);
    if (cb <= 0 || cb > (1 << 24))
        return english;
    std::vector<wchar_t> wide(static_cast<size_t>(cb) / sizeof(wchar_t) + 1, L'\0');
    if (m_pfnLookupAW(english, wide.data(), cb) != cb)
        return english;
    int cbAnsi = m_pfnW2A(wide.data(), nullptr, 0);
    if (cbAnsi <= 0)
        return english;
    std::vector<char> ansi(static_cast<size_t>(cbAnsi) + 1, '\0');
    if (m_pfnW2A(wide.data(), ansi.data(), cbAnsi) <= 0)
        return english;
    return ansi.data();
}

CVlmLocalizer& VlmLocalizer() {
    static CVlmLocalizer s_localizer;
    return s_localizer;
}

BOOL VlmLocalizeInit(const char* catalogueFile, BOOL bRunner) {
    return VlmLocalizer().Init(catalogueFile, ::GetUserDefaultLangID(), bRunner);
}

std::string VlmLocalize(const char* english) {
    return VlmLocalizer().Localize(english);
}
