// Localised user texts: looked up by their English text in the catalogue
// through the outside localisation library; the English text is the fallback.
#pragma once
#include <windows.h>
#include <string>
#include "common/SharedLibrary.h"
#include "common/portable/LocalizeTable.h"
#include "components/localize/vlmloc.h"

// One loaded localisation library with its ten functions.
class CVlmLocalizer {
public:
    // Loads the library (program folder "\zxdloc.dll", "\vlmloc.dll", then
    // "zxdloc.dll", "vlmloc.dll" through the shared library search; the
    // runner tries its own "\jtzxdloc.dll" first), sets the locale and adds
    // the catalogue. A catalogue name without "\\" is taken from the
    // program's folder. FALSE when no library loads (localisation off) or
    // the catalogue cannot be added.
    BOOL Init(const char* catalogueFile, LANGID langId, BOOL bRunner = FALSE);
    // The localised ANSI text, or the key unchanged.
    std::string Localize(const char* english) const;
    BOOL IsActive() const { return m_pfnLookupAW != nullptr && m_pfnW2A != nullptr; }
    std::string GetLibraryPath() const { return m_library.GetPath(); }
    // For dialogs built from English templates.
    int LocalizeDialog(HWND hDlg) const { return m_pfnDialog ? m_pfnDialog(hDlg) : 0; }

    PFN_VlmLocalizeSetLocale m_pfnSetLocale = nullptr;
    PFN_VlmLocalizeGetLocale m_pfnGetLocale = nullptr;
    PFN_VlmLocalizeAddFileA m_pfnAddFileA = nullptr;
    PFN_VlmLocalizeAddFileW m_pfnAddFileW = nullptr;
    PFN_VlmLocalizeClearFiles m_pfnClearFiles = nullptr;
    PFN_VlmLocalizeLookupAW m_pfnLookupAW = nullptr;
    PFN_VlmLocalizeLookupWW m_pfnLookupWW = nullptr;
    PFN_VlmLocalizeA2W m_pfnA2W = nullptr;
    PFN_VlmLocalizeW2A m_pfnW2A = nullptr;
    PFN_VlmLocalizeDialog m_pfnDialog = nullptr;

private:
    CVlmLibrary m_library;
};

// The process-wide localiser: Init with the user's default language id.
BOOL VlmLocalizeInit(const char* catalogueFile, BOOL bRunner = FALSE);
std::string VlmLocalize(const char* english);
CVlmLocalizer& VlmLocalizer();
