#include "editor/Help.h"

#include <string>
#include "common/VlmLog.h"
#include "editor/EditorText.h"
#include "editor/core/HelpFile.h"
#include "framework/App.h"

namespace {

BOOL FileExists(const std::string& path) {
    const DWORD attr = ::GetFileAttributesA(path.c_str());
    return attr != INVALID_FILE_ATTRIBUTES && !(attr & FILE_ATTRIBUTE_DIRECTORY);
}

// HTML Help's table of contents for the file. The platform's viewer runs in
// this process: its library stays loaded for the process's life, since its
// window may outlive this call and this module.
BOOL OpenHtmlHelp(HWND owner, const std::string& path) {
    using PFN_HtmlHelpA = HWND(WINAPI*)(HWND, LPCSTR, UINT, DWORD_PTR);
    const UINT kDisplayToc = 0x0001; // HH_DISPLAY_TOC
    static const HMODULE hHelp = ::LoadLibraryA("hhctrl.ocx");
    const auto pfn = hHelp ? reinterpret_cast<PFN_HtmlHelpA>(
                                 reinterpret_cast<void*>(::GetProcAddress(hHelp, "HtmlHelpA")))
                           : nullptr;
    return pfn && pfn(owner, path.c_str(), kDisplayToc, 0) != nullptr;
}

} // namespace

void EdOpenHelp(HWND owner) {
    char digits[16] = {};
    ::GetLocaleInfoA(::GetThreadLocale(), LOCALE_ILANGUAGE, digits, sizeof digits);
    const std::string hlp = VlmProgramFolder() + "\\" + EdHelpFileForLanguage(digits);
    CVlmLog::Instance().Write("HelpDialog %s (language %s)", hlp.c_str(), digits);
    if (FileExists(hlp) && ::WinHelpA(owner, hlp.c_str(), HELP_FINDER, 0))
        return;
    const std::string chm = hlp.substr(0, hlp.size() - 4) + ".chm";
    if (FileExists(chm)) {
        CVlmLog::Instance().Write("HelpDialog %s", chm.c_str());
        if (OpenHtmlHelp(owner, chm))
            return;
    }
    std::string text = EdText("The help file %s cannot be opened.");
    const size_t at = text.find("%s");
    if (at != std::string::npos)
        text.replace(at, 2, hlp);
    EdMessageBox(owner, text, "Help", MB_OK | MB_ICONWARNING);
}
