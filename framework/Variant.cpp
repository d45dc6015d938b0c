#include "framework/Variant.h"
#include <cstring>

std::wstring VlmAnsiToWide(const char* text) {
    if (!text || !*text)
        return std::wstring();
    int n = ::MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (n <= 0)
        return std::wstring();
    std::wstring w(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text, -1, &w[0], n);
    w.resize(static_cast<size_t>(n - 1));
    return w;
}

std::string VlmWideToAnsi(const wchar_t* text, int cch) {
    if (!text || cch == 0)
        return std::string();
    int n = ::WideCharToMultiByte(CP_ACP, 0, text, cch, nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return std::string();
    std::string s(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text, cch, &s[0], n, nullptr, nullptr);
    if (cch < 0)
        s.resize(static_cast<size_t>(n - 1)); // drop the converted terminator
    return s;
}

std::string VlmBstrToAnsi(BSTR bstr) {
    if (!bstr)
        return std::string();
    // A BSTR carries its length and may hold embedded zeros; keep them.
    return VlmWideToAnsi(bstr, static_cast<int>(::SysStringLen(bstr)));
}

CBstr::CBstr(const char* ansi) {
    if (ansi) {
        std::wstring w = VlmAnsiToWide(ansi);
        m_bstr = ::SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
    }
}

CVariant::CVariant(const char* ansi) {
    ::VariantInit(this);
    std::wstring w = VlmAnsiToWide(ansi ? ansi : "");
    bstrVal = ::SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
    if (bstrVal)
        vt = VT_BSTR;
}

HRESULT CVariant::ToLong(long& out) const {
    VARIANT tmp;
    ::VariantInit(&tmp);
    HRESULT hr = ::VariantChangeType(&tmp, const_cast<CVariant*>(this), 0, VT_I4);
    if (SUCCEEDED(hr))
        out = tmp.lVal;
    ::VariantClear(&tmp);
    return hr;
}

HRESULT CVariant::ToShort(short& out) const {
    VARIANT tmp;
    ::VariantInit(&tmp);
    HRESULT hr = ::VariantChangeType(&tmp, const_cast<CVariant*>(this), 0, VT_I2);
    if (SUCCEEDED(hr))
        out = tmp.iVal;
    ::VariantClear(&tmp);
    return hr;
}

HRESULT CVariant::ToAnsi(std::string& out) const {
    VARIANT tmp;
    ::VariantInit(&tmp);
    HRESULT hr = ::VariantChangeType(&tmp, const_cast<CVariant*>(this), 0, VT_BSTR);
    if (SUCCEEDED(hr))
        out = VlmBstrToAnsi(tmp.bstrVal);
    ::VariantClear(&tmp);
    return hr;
}

HRESULT VlmMakeByteBlock(const void* data, size_t cb, VARIANT* pv, VARTYPE vtElement) {
    if (!pv || (cb && !data))
        return E_POINTER;
    if (cb > 0x7FFFFFFF || (vtElement != VT_I1 && vtElement != VT_UI1))
        return E_INVALIDARG;
    ::VariantClear(pv);
    SAFEARRAYBOUND bound;
    bound.lLbound = 0;
    bound.cElements = static_cast<ULONG>(cb);
    SAFEARRAY* psa = ::SafeArrayCreate(vtElement, 1, &bound);
    if (!psa)
        return E_OUTOFMEMORY;
    if (cb) {
        void* p = nullptr;
        HRESULT hr = ::SafeArrayAccessData(psa, &p);
        if (FAILED(hr)) {
            ::SafeArrayDestroy(psa);
            return hr;
        }
        memcpy(p, data, cb);
        ::SafeArrayUnaccessData(psa);
    }
    pv->vt = VT_ARRAY | vtElement;
    pv->parray = psa;
    return S_OK;
}

HRESULT VlmReadByteBlock(const VARIANT& v, std::vector<uint8_t>& out) {
    out.clear();
    if (v.vt == VT_EMPTY)
        return S_FALSE;
    if (!(v.vt & VT_ARRAY))
        return DISP_E_TYPEMISMATCH;
    SAFEARRAY* psa = (v.vt & VT_BYREF) ? (v.pparray ? *v.pparray : nullptr) : v.parray;
    if (!psa)
        return S_FALSE;
    if (::SafeArrayGetDim(psa) != 1)
        return DISP_E_TYPEMISMATCH;
    LONG lo = 0, hi = -1;
    HRESULT hr = ::SafeArrayGetLBound(psa, 1, &lo);
    if (SUCCEEDED(hr))
        hr = ::SafeArrayGetUBound(psa, 1, &hi);
    if (FAILED(hr))
        return hr;
    if (hi < lo)
        return S_OK;
    size_t count = static_cast<size_t>(static_cast<long long>(hi) - lo + 1);
    size_t cb = count * ::SafeArrayGetElemsize(psa);
    void* p = nullptr;
    hr = ::SafeArrayAccessData(psa, &p);
    if (FAILED(hr))
        return hr;
    out.assign(static_cast<const uint8_t*>(p), static_cast<const uint8_t*>(p) + cb);
    ::SafeArrayUnaccessData(psa);
    return S_OK;
}
