// The IDispatch half of a dual interface for an object that is only called
// through its vtable (an in-process stand-in, a test's sink): it has no type
// information and no late binding.
#pragma once
#include <windows.h>
#include <oaidl.h>

template <class I> class CVtableDispatch : public I {
public:
    STDMETHODIMP GetTypeInfoCount(UINT* pn) override {
        if (pn)
            *pn = 0;
        return pn ? S_OK : E_POINTER;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                        UINT*) override {
        return E_NOTIMPL;
    }
};
