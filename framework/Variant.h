// BSTR and VARIANT owners, ANSI conversion, and the byte-block SAFEARRAY
// (VT_ARRAY|VT_I1, lower bound 0, one element per byte) used for raw blocks.
#pragma once
#include <windows.h>
#include <oleauto.h>
#include <cstdint>
#include <string>
#include <vector>

// ANSI (CP_ACP) <-> wide text.
std::wstring VlmAnsiToWide(const char* text);
std::string VlmWideToAnsi(const wchar_t* text, int cch = -1);
// nullptr BSTR converts to "".
std::string VlmBstrToAnsi(BSTR bstr);

class CBstr {
public:
    CBstr() = default;
    explicit CBstr(const char* ansi);
    explicit CBstr(const wchar_t* wide) : m_bstr(wide ? ::SysAllocString(wide) : nullptr) {}
    CBstr(const CBstr& o)
        : m_bstr(o.m_bstr ? ::SysAllocStringLen(o.m_bstr, o.Length()) : nullptr) {}
    CBstr(CBstr&& o) noexcept : m_bstr(o.m_bstr) { o.m_bstr = nullptr; }
    ~CBstr() { Free(); }
    CBstr& operator=(const CBstr& o) {
        if (this != &o) {
            Free();
            m_bstr = o.m_bstr ? ::SysAllocStringLen(o.m_bstr, o.Length()) : nullptr;
        }
        return *this;
    }
    CBstr& operator=(CBstr&& o) noexcept {
        if (this != &o) {
            Free();
            m_bstr = o.m_bstr;
            o.m_bstr = nullptr;
        }
        return *this;
    }
    void Free() {
        ::SysFreeString(m_bstr);
        m_bstr = nullptr;
    }
    BSTR Get() const { return m_bstr; }
    operator BSTR() const { return m_bstr; }
    BSTR* Receive() {
        Free();
        return &m_bstr;
    }
    void Attach(BSTR b) {
        Free();
        m_bstr = b;
    }
    BSTR Detach() {
        BSTR b = m_bstr;
        m_bstr = nullptr;
        return b;
    }
    UINT Length() const { return ::SysStringLen(m_bstr); }
    std::string ToAnsi() const { return VlmBstrToAnsi(m_bstr); }

private:
    BSTR m_bstr = nullptr;
};

// Owns a VARIANT; cleared on destruction.
class CVariant : public VARIANT {
public:
    CVariant() { ::VariantInit(this); }
    CVariant(long n) {
        ::VariantInit(this);
        vt = VT_I4;
        lVal = n;
    }
    CVariant(int n) : CVariant(static_cast<long>(n)) {}
    CVariant(short n) {
        ::VariantInit(this);
        vt = VT_I2;
        iVal = n;
    }
    explicit CVariant(const char* ansi);
    CVariant(const VARIANT& v) {
        ::VariantInit(this);
        ::VariantCopy(this, const_cast<VARIANT*>(&v));
    }
    CVariant(const CVariant& v) : CVariant(static_cast<const VARIANT&>(v)) {}
    ~CVariant() { ::VariantClear(this); }
    CVariant& operator=(const CVariant& v) {
        if (this != &v) {
            ::VariantClear(this);
            ::VariantCopy(this, const_cast<CVariant*>(&v));
        }
        return *this;
    }
    HRESULT Clear() { return ::VariantClear(this); }
    VARIANT* Receive() {
        ::VariantClear(this);
        return this;
    }
    bool IsEmpty() const { return vt == VT_EMPTY; }

    // Conversions through VariantChangeType; a failure answers its HRESULT.
    HRESULT ToLong(long& out) const;
    HRESULT ToShort(short& out) const;
    HRESULT ToAnsi(std::string& out) const;
};

// Builds VT_ARRAY|VT_I1 holding cb bytes of data into *pv (which is cleared);
// vtElement VT_UI1 makes the unsigned byte array that automation clients use.
HRESULT VlmMakeByteBlock(const void* data, size_t cb, VARIANT* pv, VARTYPE vtElement = VT_I1);
// Reads any VARIANT with the array bit as raw bytes (element size times count,
// one-dimensional). An empty VARIANT gives no bytes and S_FALSE.
HRESULT VlmReadByteBlock(const VARIANT& v, std::vector<uint8_t>& out);
