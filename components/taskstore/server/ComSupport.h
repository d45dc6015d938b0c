// Small COM helpers private to the job store server and its tool.
#pragma once
#include <windows.h>
#include <oleauto.h>

#include <string>

namespace taskstore {

// Owns one COM reference.
template <class T> class CRef {
public:
    CRef() = default;
    explicit CRef(T* p, bool bAddRef = true) : m_p(p) {
        if (m_p && bAddRef)
            m_p->AddRef();
    }
    CRef(const CRef& o) : CRef(o.m_p) {}
    CRef& operator=(const CRef& o) {
        CRef tmp(o);
        std::swap(m_p, tmp.m_p);
        return *this;
    }
    ~CRef() { Release(); }
    void Release() {
        if (m_p)
            m_p->Release();
        m_p = nullptr;
    }
    T* operator->() const { return m_p; }
    T* Get() const { return m_p; }
    T** Out() {
        Release();
        return &m_p;
    }
    explicit operator bool() const { return m_p != nullptr; }
    T* Detach() {
        T* p = m_p;
        m_p = nullptr;
        return p;
    }

private:
    T* m_p = nullptr;
};

// Owns one BSTR.
class CBstrText {
public:
    CBstrText() = default;
    explicit CBstrText(BSTR b) : m_b(b) {}
    CBstrText(const CBstrText&) = delete;
    CBstrText& operator=(const CBstrText&) = delete;
    ~CBstrText() { SysFreeString(m_b); }
    BSTR Get() const { return m_b; }
    BSTR* Out() {
        SysFreeString(m_b);
        m_b = nullptr;
        return &m_b;
    }
    BSTR Detach() {
        BSTR b = m_b;
        m_b = nullptr;
        return b;
    }

private:
    BSTR m_b = nullptr;
};

// Owns one VARIANT.
class CVar {
public:
    CVar() { VariantInit(&m_v); }
    CVar(const CVar&) = delete;
    CVar& operator=(const CVar&) = delete;
    ~CVar() { VariantClear(&m_v); }
    VARIANT* Out() {
        VariantClear(&m_v);
        return &m_v;
    }
    VARIANT& Get() { return m_v; }
    const VARIANT& Get() const { return m_v; }

private:
    VARIANT m_v;
};

// Owns a SAFEARRAY.
class CSafeArray {
public:
    CSafeArray() = default;
    explicit CSafeArray(SAFEARRAY* p) : m_p(p) {}
    CSafeArray(const CSafeArray&) = delete;
    CSafeArray& operator=(const CSafeArray&) = delete;
    ~CSafeArray() {
        if (m_p)
            SafeArrayDestroy(m_p);
    }
    SAFEARRAY* Get() const { return m_p; }
    SAFEARRAY** Out() {
        if (m_p)
            SafeArrayDestroy(m_p);
        m_p = nullptr;
        return &m_p;
    }
    SAFEARRAY* Detach() {
        SAFEARRAY* p = m_p;
        m_p = nullptr;
        return p;
    }

private:
    SAFEARRAY* m_p = nullptr;
};

// Private interface of the server: the names of the keys a job or the store
// holds, as a one-dimensional SAFEARRAY of BSTR (the tool lists them).
// Not part of the type library; in-process use only.
struct ITaskstoreKeys : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetKeys(SAFEARRAY** ppKeys) = 0;
};
static const IID IID_ITaskstoreKeys = {
    0x6e1b5b52, 0x8f7d, 0x4c1e, {0x9a, 0x3b, 0x2d, 0x4f, 0x5c, 0x6a, 0x7b, 0x80}};

// Failure codes of the store (interface facility).
constexpr HRESULT TS_S_NOJOB = 0x00040002;   // GetJob: no job has this number
constexpr HRESULT TS_S_SEALED = 0x00040003;  // a read secret this user cannot open: empty text
constexpr HRESULT TS_E_BADFILE = 0x80040201; // a store or backup file does not parse
constexpr HRESULT TS_E_BUSY = 0x80040202;    // the store file stays locked by another program
constexpr HRESULT TS_E_NOJOB = 0x80040203;   // the job to copy does not exist
constexpr HRESULT TS_E_NODATA = 0x80040204;  // a backup holds no job store data
constexpr HRESULT TS_E_SEAL = 0x80040205;    // a secret could not be sealed

inline std::wstring WideFromUtf8(const std::string& s) {
    int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), int(s.size()), nullptr, 0);
    std::wstring w(size_t(n), L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, 0, s.data(), int(s.size()), &w[0], n);
    return w;
}

inline std::string Utf8FromWide(const wchar_t* p, size_t len) {
    int n = WideCharToMultiByte(CP_UTF8, 0, p, int(len), nullptr, 0, nullptr, nullptr);
    std::string s(size_t(n), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, p, int(len), &s[0], n, nullptr, nullptr);
    return s;
}

} // namespace taskstore
