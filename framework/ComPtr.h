// Reference-owning interface pointer: AddRef on copy, Release on reset.
#pragma once
#include <windows.h>
#include <objbase.h>
#include <memory>

template <class T> class CComPtr {
public:
    CComPtr() = default;
    CComPtr(T* p) : m_p(p) {
        if (m_p)
            m_p->AddRef();
    }
    CComPtr(const CComPtr& o) : CComPtr(o.m_p) {}
    CComPtr(CComPtr&& o) noexcept : m_p(o.m_p) { o.m_p = nullptr; }
    ~CComPtr() { Release(); }
    CComPtr& operator=(T* p) {
        if (p)
            p->AddRef();
        Release();
        m_p = p;
        return *this;
    }
    CComPtr& operator=(const CComPtr& o) { return *this = o.m_p; }
    CComPtr& operator=(CComPtr&& o) noexcept {
        if (this != std::addressof(o)) {
            Release();
            m_p = o.m_p;
            o.m_p = nullptr;
        }
        return *this;
    }
    void Release() {
        T* p = m_p;
        m_p = nullptr;
        if (p)
            p->Release();
    }
    // Takes over a reference the caller already owns.
    void Attach(T* p) {
        Release();
        m_p = p;
    }
    T* Detach() {
        T* p = m_p;
        m_p = nullptr;
        return p;
    }
    T* Get() const { return m_p; }
    operator T*() const { return m_p; }
    T* operator->() const { return m_p; }
    T** operator&() {
        Release();
        return &m_p;
    }
    bool operator!() const { return m_p == nullptr; }

    template <class Q> HRESULT QueryInterface(REFIID iid, Q** pp) const {
        if (!m_p)
            return E_POINTER;
        return m_p->QueryInterface(iid, reinterpret_cast<void**>(pp));
    }
    HRESULT CoCreateInstance(REFCLSID clsid, REFIID iid, DWORD ctx = CLSCTX_ALL) {
        Release();
        return ::CoCreateInstance(clsid, nullptr, ctx, iid, reinterpret_cast<void**>(&m_p));
    }

private:
    T* m_p = nullptr;
};
