#include "framework/ComInit.h"
#include <ole2.h>

CComInitialize::CComInitialize(TraceFn trace, DWORD coinit)
    : m_hr(::CoInitializeEx(nullptr, coinit)), m_trace(trace) {}

CComInitialize::~CComInitialize() {
    auto trace = [this](const char* line) {
        if (m_trace)
            m_trace(line);
    };
    trace("~CComInitialize() start");
    if (SUCCEEDED(m_hr)) {
        trace("CoUninitialize() start");
        ::CoUninitialize();
        trace("CoUninitialize() end");
    }
    trace("~CComInitialize() end");
}

COleInitialize::COleInitialize() : m_hr(::OleInitialize(nullptr)) {}

COleInitialize::~COleInitialize() {
    if (SUCCEEDED(m_hr))
        ::OleUninitialize();
}
