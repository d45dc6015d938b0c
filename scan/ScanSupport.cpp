#include "ScanSupport.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

#if __has_include("common/VlmLog.h") && defined(VLM_SCAN_HAVE_COMMON)
#include "common/Localize.h"
#include "common/VlmLog.h"
#define SCAN_USE_COMMON 1
#endif
#include "framework/MessageBox.h"

namespace {
std::atomic<PFN_SCANBOXHOOK> g_pfnBoxHook{nullptr};
}

void ScanRunLog(const char* fmt, ...) {
#ifdef SCAN_USE_COMMON
    CVlmLog& log = CVlmLog::Instance();
    if (!log.IsOpen())
        return;
    va_list ap;
    va_start(ap, fmt);
    log.WriteV(fmt, ap);
    va_end(ap);
#else
    (void)fmt;
#endif
}

std::string ScanLocalize(const char* english) {
#ifdef SCAN_USE_COMMON
    return VlmLocalize(english);
#else
    return english ? english : "";
#endif
}

void ScanSetBoxHook(PFN_SCANBOXHOOK pfn) {
    g_pfnBoxHook = pfn;
}

int ScanMessageBox(HWND hWnd, const char* text, const char* caption, UINT flags) {
    if (PFN_SCANBOXHOOK pfn = g_pfnBoxHook.load())
        return pfn(text ? text : "", caption ? caption : "", flags);
    // The engine's boxes appear during unattended jobs: keep them on top.
    return VlmMessageBoxTop(hWnd, text, caption, flags);
}
