// Services the scan engine takes from its host program: the run log, the
// localised texts and the message boxes. Kept in one place so the engine
// runs (and is tested) with or without the runner's shared pieces.
#pragma once
#include <windows.h>
#include <string>

// The run log (a no-op until the program opens it).
void ScanRunLog(const char* fmt, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
// The localised text for an English key (the key itself as fallback).
std::string ScanLocalize(const char* english);

// A message box of the engine. A test (or a host without a desktop) can
// install a hook that answers instead; the hook gets the text and caption
// and returns the button id.
typedef int (*PFN_SCANBOXHOOK)(const char* text, const char* caption, UINT flags);
void ScanSetBoxHook(PFN_SCANBOXHOOK pfn);
int ScanMessageBox(HWND hWnd, const char* text, const char* caption, UINT flags);
