// An in-memory IJobStore/IJobData for loader tests: values by key, with
// failures injectable per key.
#pragma once
#include <windows.h>
#include <map>
#include <string>
#include "Taskstore.h"
#include "framework/Variant.h"
#include "framework/VtableDispatch.h"

template <class I> class CFakeDispatch : public CVtableDispatch<I> {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** pp) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
            IsEqualIID(iid, __uuidof(I))) {
            *pp = static_cast<I*>(this);
            this->AddRef();
            return S_OK;
        }
        *pp = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_nRefs; }
    STDMETHODIMP_(ULONG) Release() override {
        ULONG n = --m_nRefs;
        if (n == 0)
            delete this;
        return n;
    }
    virtual ~CFakeDispatch() = default;

    std::map<std::string, CVariant> m_values;
    std::map<std::string, HRESULT> m_failures;
    std::map<std::string, int> m_reads;

protected:
    HRESULT GetValue(BSTR key, VARIANT* pv) {
        std::string k = VlmBstrToAnsi(key);
        ++m_reads[k];
        auto f = m_failures.find(k);
        if (f != m_failures.end())
            return f->second;
        VariantInit(pv);
        auto it = m_values.find(k);
        if (it == m_values.end())
            return S_OK; // never written: VT_EMPTY
        return VariantCopy(pv, &it->second);
    }
    ULONG m_nRefs = 1;
};

class CFakeJob : public CFakeDispatch<IJobData> {
public:
    STDMETHODIMP Getdata(BSTR key, VARIANT* pv) override { return GetValue(key, pv); }
    STDMETHODIMP Setdata(BSTR key, VARIANT v) override {
        m_values[VlmBstrToAnsi(key)] = CVariant(v);
        return S_OK;
    }
    STDMETHODIMP RemoveData(BSTR key) override {
        m_values.erase(VlmBstrToAnsi(key));
        return S_OK;
    }
    STDMETHODIMP Commit() override { return S_OK; }
    STDMETHODIMP GetJobNumber(LONG* p) override {
        *p = 1;
        return S_OK;
    }
    void Set(const char* key, long v) { m_values[key] = CVariant(v); }
    void Set(const char* key, const char* v) { m_values[key] = CVariant(v); }
};

class CFakeStore : public CFakeDispatch<IJobStore> {
public:
    STDMETHODIMP GetJob(LONG, IJobData**) override { return E_NOTIMPL; }
    STDMETHODIMP GetModelName(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP SetModel(BSTR) override { return S_OK; }
    STDMETHODIMP SetModelIndex(LONG) override { return S_OK; }
    STDMETHODIMP ExportAll(BSTR) override { return E_NOTIMPL; }
    STDMETHODIMP ImportAll(BSTR) override { return E_NOTIMPL; }
    STDMETHODIMP GetMaxJobNumber(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP SetMaxJobs(LONG) override { return E_NOTIMPL; }
    STDMETHODIMP DeleteJob(LONG) override { return E_NOTIMPL; }
    STDMETHODIMP GetCommonData(BSTR key, VARIANT* pv) override { return GetValue(key, pv); }
    STDMETHODIMP SetCommonData(BSTR key, VARIANT v) override {
        m_values[VlmBstrToAnsi(key)] = CVariant(v);
        return S_OK;
    }
    STDMETHODIMP Load() override { return S_OK; }
    STDMETHODIMP Save() override {
        ++m_nSaves;
        return S_OK;
    }
    STDMETHODIMP CopyJob(LONG, LONG, BSTR) override { return E_NOTIMPL; }
    STDMETHODIMP GetCopyDestination(LONG, LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP PrepareImport() override { return E_NOTIMPL; }
    void Set(const char* key, long v) { m_values[key] = CVariant(v); }
    int m_nSaves = 0;
};
