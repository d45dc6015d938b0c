// A failing HRESULT carried as an exception inside a module, with the IID of
// the interface that reported it. Callers at the top show Message().
#pragma once
#include <windows.h>
#include <string>

class CComError {
public:
    CComError(HRESULT hr, REFIID iid = IID_NULL, const char* text = nullptr)
        : m_hr(hr), m_iid(iid), m_strText(text ? text : "") {}
    HRESULT Error() const { return m_hr; }
    // The system's text for the code; for the interface facility (4)
    // "vender defined error %d" with the low 16 bits. m_strText, when given,
    // replaces the system text.
    std::string Message() const;

    HRESULT m_hr;
    IID m_iid;
    std::string m_strText;
};

// The system's message text for an HRESULT or Win32 error code without the
// trailing line break; empty when the system has none. langId 0 lets the
// system choose the language.
std::string VlmSystemMessage(DWORD code, DWORD langId = 0);

// The one way a Win32 error number becomes an HRESULT: 0x80070000 with the
// low 16 bits of the error; 0 stays S_OK.
inline HRESULT HResultFromWin32(DWORD err) {
    return err == 0 ? S_OK : static_cast<HRESULT>(0x80070000u | (err & 0xFFFFu));
}

// The calling thread's last error as an HRESULT, after a call that failed. A
// failure that left no error number must not read as success: E_FAIL then.
inline HRESULT HResultFromLastError() {
    const DWORD err = ::GetLastError();
    return err == 0 ? E_FAIL : HResultFromWin32(err);
}

// Raises CComError when hr is a failure code.
void ThrowIfFailed(HRESULT hr, REFIID iid = IID_NULL);
