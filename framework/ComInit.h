// Scope owners for COM and OLE initialisation on the calling thread: each
// uninitialises on destruction, and only when its own initialisation
// succeeded (a failed CoInitialize must not be balanced).
#pragma once
#include <windows.h>
#include <objbase.h>

class CComInitialize {
public:
    // Lines the owner writes around its uninitialisation; a program passes
    // its run log here (the framework has no log of its own).
    using TraceFn = void (*)(const char* line);

    explicit CComInitialize(TraceFn trace = nullptr, DWORD coinit = COINIT_APARTMENTTHREADED);
    // Writes "~CComInitialize() start", "CoUninitialize() start",
    // "CoUninitialize() end", "~CComInitialize() end" (the middle two only
    // when COM came up).
    ~CComInitialize();
    CComInitialize(const CComInitialize&) = delete;
    CComInitialize& operator=(const CComInitialize&) = delete;

    HRESULT Result() const { return m_hr; }
    bool Succeeded() const { return SUCCEEDED(m_hr); }

private:
    HRESULT m_hr;
    TraceFn m_trace;
};

// OLE on top of COM, for hosted controls and the clipboard.
class COleInitialize {
public:
    COleInitialize();
    ~COleInitialize();
    COleInitialize(const COleInitialize&) = delete;
    COleInitialize& operator=(const COleInitialize&) = delete;

    HRESULT Result() const { return m_hr; }
    bool Succeeded() const { return SUCCEEDED(m_hr); }

private:
    HRESULT m_hr;
};
