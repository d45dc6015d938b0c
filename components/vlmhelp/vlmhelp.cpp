// vlmhelp.dll: the help library. HTML Help lives in hhctrl.ocx, loaded when
// help is first asked for, so that a program that never shows help does not
// pay for it.
#include "components/vlmhelp/vlmhelp.h"
#include <htmlhelp.h>

namespace {

using PFN_HtmlHelpA = HWND(WINAPI*)(HWND, LPCSTR, UINT, DWORD_PTR);

PFN_HtmlHelpA HtmlHelpEntry() {
    static PFN_HtmlHelpA s_pfn = [] {
        HMODULE h = ::LoadLibraryA("hhctrl.ocx");
        return h ? reinterpret_cast<PFN_HtmlHelpA>(
                       reinterpret_cast<void*>(::GetProcAddress(h, "HtmlHelpA")))
                 : nullptr;
    }();
    return s_pfn;
}

} // namespace

extern "C" BOOL WINAPI VlmHelpA(HWND hwndOwner, LPCSTR pszHelpFile, UINT uCommand,
                                ULONG_PTR dwData) {
    // Without HTML Help in the process no help window can be open: a caller
    // that quits at its end does not load it only to close nothing.
    if (uCommand == VLMHELP_QUIT && !::GetModuleHandleA("hhctrl.ocx"))
        return TRUE;
    PFN_HtmlHelpA pfn = HtmlHelpEntry();
    if (!pfn)
        return FALSE;
    if (uCommand == VLMHELP_QUIT) {
        pfn(nullptr, nullptr, HH_CLOSE_ALL, 0);
        return TRUE;
    }
    if (!pszHelpFile || !*pszHelpFile)
        return FALSE;
    // HTML Help opens a file it cannot read as an empty window: check first.
    if (::GetFileAttributesA(pszHelpFile) == INVALID_FILE_ATTRIBUTES)
        return FALSE;
    switch (uCommand) {
    case VLMHELP_CONTEXT:
        return pfn(hwndOwner, pszHelpFile, HH_HELP_CONTEXT, dwData) != nullptr;
    case VLMHELP_FINDER:
        return pfn(hwndOwner, pszHelpFile, HH_DISPLAY_TOC, 0) != nullptr;
    default:
        return pfn(hwndOwner, pszHelpFile, HH_DISPLAY_TOPIC, 0) != nullptr;
    }
}
