#include "VariantValue.h"

#include <cstring>

namespace taskstore {

HRESULT NameFromBstr(BSTR b, std::string& name) {
    if (!b)
        return E_INVALIDARG;
    UINT len = SysStringLen(b);
    if (len == 0 || len > 255)
        return E_INVALIDARG;
    std::u16string wide(reinterpret_cast<const char16_t*>(b), len);
    if (!Utf16ToUtf8(wide, name) || !IsValidName(name))
        return E_INVALIDARG;
    return S_OK;
}

BSTR BstrFromUtf8(const std::string& s) {
    std::wstring w = WideFromUtf8(s);
    return SysAllocStringLen(w.data(), UINT(w.size()));
}

HRESULT ValueFromVariant(const VARIANT& in, CTaskValue& out, bool& bRemove) {
    bRemove = false;
    CVar direct;
    HRESULT hr = VariantCopyInd(direct.Out(), const_cast<VARIANT*>(&in));
    if (FAILED(hr))
        return hr == DISP_E_BADVARTYPE ? E_INVALIDARG : hr;
    const VARIANT& v = direct.Get();
    switch (V_VT(&v)) {
    case VT_EMPTY:
        bRemove = true;
        return S_OK;
    case VT_I1:
        out = CTaskValue::Integer(VT_I1, V_I1(&v));
        return S_OK;
    case VT_UI1:
        out = CTaskValue::Integer(VT_UI1, V_UI1(&v));
        return S_OK;
    case VT_I2:
        out = CTaskValue::Integer(VT_I2, V_I2(&v));
        return S_OK;
    case VT_UI2:
        out = CTaskValue::Integer(VT_UI2, V_UI2(&v));
        return S_OK;
    case VT_BOOL:
        out = CTaskValue::Integer(VT_BOOL, V_BOOL(&v));
        return S_OK;
    case VT_I4:
        out = CTaskValue::Integer(VT_I4, V_I4(&v));
        return S_OK;
    case VT_UI4:
        out = CTaskValue::Integer(VT_UI4, V_UI4(&v));
        return S_OK;
    case VT_INT:
        out = CTaskValue::Integer(VT_INT, V_INT(&v));
        return S_OK;
    case VT_UINT:
        out = CTaskValue::Integer(VT_UINT, V_UINT(&v));
        return S_OK;
    case VT_I8:
        out = CTaskValue::Integer(VT_I8, V_I8(&v));
        return S_OK;
    case VT_UI8:
        out = CTaskValue::Integer(VT_UI8, int64_t(V_UI8(&v)));
        return S_OK;
    case VT_BSTR: {
        UINT len = V_BSTR(&v) ? SysStringLen(V_BSTR(&v)) : 0;
        if (size_t(len) * 2 > kMaxValueBytes)
            return E_INVALIDARG;
        out = CTaskValue::Text(std::u16string(reinterpret_cast<const char16_t*>(V_BSTR(&v)), len));
        return S_OK;
    }
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_DECIMAL: {
        CVar text;
        hr =
            VariantChangeTypeEx(text.Out(), const_cast<VARIANT*>(&v), LOCALE_INVARIANT, 0, VT_BSTR);
        if (FAILED(hr))
            return E_INVALIDARG;
        BSTR b = V_BSTR(&text.Get());
        out =
            CTaskValue::Text(std::u16string(reinterpret_cast<const char16_t*>(b), SysStringLen(b)));
        return S_OK;
    }
    case VT_ARRAY | VT_I1:
    case VT_ARRAY | VT_UI1: {
        SAFEARRAY* psa = V_ARRAY(&v);
        if (!psa || SafeArrayGetDim(psa) != 1 || SafeArrayGetElemsize(psa) != 1)
            return E_INVALIDARG;
        LONG lo = 0, hi = -1;
        if (FAILED(SafeArrayGetLBound(psa, 1, &lo)) || FAILED(SafeArrayGetUBound(psa, 1, &hi)))
            return E_INVALIDARG;
        size_t count = hi >= lo ? size_t(int64_t(hi) - lo + 1) : 0;
        if (count > kMaxValueBytes)
            return E_INVALIDARG;
        std::vector<uint8_t> bytes(count);
        if (count) {
            void* p = nullptr;
            hr = SafeArrayAccessData(psa, &p);
            if (FAILED(hr))
                return hr;
            std::memcpy(bytes.data(), p, count);
            SafeArrayUnaccessData(psa);
        }
        out = CTaskValue::Bytes(std::move(bytes), V_VT(&v));
        return S_OK;
    }
    default:
        return E_INVALIDARG;
    }
}

HRESULT VariantFromValue(const CTaskValue& in, VARIANT* pOut) {
    VariantInit(pOut);
    switch (in.m_kind) {
    case ValueKind::Integer:
        V_VT(pOut) = in.m_nVarType;
        switch (in.m_nVarType) {
        case VT_I1:
            V_I1(pOut) = CHAR(in.m_nValue);
            break;
        case VT_UI1:
            V_UI1(pOut) = BYTE(in.m_nValue);
            break;
        case VT_I2:
            V_I2(pOut) = SHORT(in.m_nValue);
            break;
        case VT_UI2:
            V_UI2(pOut) = USHORT(in.m_nValue);
            break;
        case VT_BOOL:
            V_BOOL(pOut) = VARIANT_BOOL(in.m_nValue);
            break;
        case VT_I4:
            V_I4(pOut) = LONG(in.m_nValue);
            break;
        case VT_UI4:
            V_UI4(pOut) = ULONG(in.m_nValue);
            break;
        case VT_INT:
            V_INT(pOut) = INT(in.m_nValue);
            break;
        case VT_UINT:
            V_UINT(pOut) = UINT(in.m_nValue);
            break;
        case VT_I8:
            V_I8(pOut) = in.m_nValue;
            break;
        case VT_UI8:
            V_UI8(pOut) = ULONGLONG(in.m_nValue);
            break;
        default:
            V_VT(pOut) = VT_EMPTY;
            return E_UNEXPECTED;
        }
        return S_OK;
    case ValueKind::Text:
    case ValueKind::Sealed: {
        // A secret sealed for another user reads as an empty text.
        const std::u16string empty;
        const std::u16string& t = in.m_kind == ValueKind::Text ? in.m_strText : empty;
        BSTR b = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(t.data()), UINT(t.size()));
        if (!b)
            return E_OUTOFMEMORY;
        V_VT(pOut) = VT_BSTR;
        V_BSTR(pOut) = b;
        // Callers that must not go on without the secret can tell it from "".
        return in.m_kind == ValueKind::Text ? S_OK : TS_S_SEALED;
    }
    case ValueKind::Bytes: {
        VARTYPE elem = VARTYPE(in.m_nVarType & ~VT_ARRAY);
        SAFEARRAY* psa = SafeArrayCreateVector(elem, 0, ULONG(in.m_bytes.size()));
        if (!psa)
            return E_OUTOFMEMORY;
        if (!in.m_bytes.empty()) {
            void* p = nullptr;
            if (FAILED(SafeArrayAccessData(psa, &p))) {
                SafeArrayDestroy(psa);
                return E_UNEXPECTED;
            }
            std::memcpy(p, in.m_bytes.data(), in.m_bytes.size());
            SafeArrayUnaccessData(psa);
        }
        V_VT(pOut) = VARTYPE(VT_ARRAY | elem);
        V_ARRAY(pOut) = psa;
        return S_OK;
    }
    }
    return E_UNEXPECTED;
}

} // namespace taskstore
