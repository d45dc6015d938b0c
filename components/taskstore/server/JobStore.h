// The JobStore COM class and its job objects.
#pragma once
#include "ComSupport.h"
#include "Protector.h"
#include "StoreFile.h"
#include "Taskstore.h"

#include <map>
#include <memory>
#include <optional>

namespace taskstore {

// Module bookkeeping (Module.cpp).
void ModuleLock();
void ModuleUnlock();
HMODULE ModuleHandle();
HRESULT GetStoreTypeInfo(REFIID iid, ITypeInfo** ppInfo);

// Where the store file lives: %TASKSTORE_FILE%, else %TASKSTORE_DIR%\Taskstore.reg,
// else <application data>\Velmora Works\Taskstore\Taskstore.reg.
std::string StoreFilePath();

using CChangeMap = std::map<std::string, std::optional<CTaskValue>, CNameLess>;

// IUnknown, IDispatch through the embedded type library, and error-info
// support: the same for the store and its job objects.
template <class I, const IID* pIid>
class CDualObject : public I, public ISupportErrorInfo, public ITaskstoreKeys {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override {
        if (!ppv)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == *pIid)
            *ppv = static_cast<I*>(this);
        else if (iid == IID_ISupportErrorInfo)
            *ppv = static_cast<ISupportErrorInfo*>(this);
        else if (iid == IID_ITaskstoreKeys)
            *ppv = static_cast<ITaskstoreKeys*>(this);
        else {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ULONG(InterlockedIncrement(&m_nRef)); }
    STDMETHODIMP_(ULONG) Release() override {
        LONG n = InterlockedDecrement(&m_nRef);
        if (n == 0)
            delete this;
        return ULONG(n);
    }
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override {
        if (!pctinfo)
            return E_POINTER;
        *pctinfo = 1;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT iTInfo, LCID, ITypeInfo** ppTInfo) override {
        if (!ppTInfo)
            return E_POINTER;
        *ppTInfo = nullptr;
        if (iTInfo != 0)
            return DISP_E_BADINDEX;
        return GetStoreTypeInfo(*pIid, ppTInfo);
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT cNames, LCID, DISPID* ids) override {
        CRef<ITypeInfo> pInfo;
        HRESULT hr = GetStoreTypeInfo(*pIid, pInfo.Out());
        return FAILED(hr) ? hr : pInfo->GetIDsOfNames(names, cNames, ids);
    }
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO* excep, UINT* argErr) override {
        CRef<ITypeInfo> pInfo;
        HRESULT hr = GetStoreTypeInfo(*pIid, pInfo.Out());
        if (FAILED(hr))
            return hr;
        if (riid != IID_NULL)
            return DISP_E_UNKNOWNINTERFACE;
        return pInfo->Invoke(static_cast<I*>(this), id, flags, params, result, excep, argErr);
    }
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override {
        return riid == *pIid ? S_OK : S_FALSE;
    }

protected:
    virtual ~CDualObject() = default;

private:
    LONG m_nRef = 1;
};

class CJobData;

class CJobStore : public CDualObject<IJobStore, &IID_IJobStore> {
public:
    static HRESULT Create(REFIID iid, void** ppv);

    // IJobStore
    STDMETHODIMP GetJob(LONG lJobNumber, IJobData** ppJob) override;
    STDMETHODIMP GetModelName(BSTR* pbstrModel) override;
    STDMETHODIMP SetModel(BSTR bstrModel) override;
    STDMETHODIMP SetModelIndex(LONG lIndex) override;
    STDMETHODIMP ExportAll(BSTR bstrPath) override;
    STDMETHODIMP ImportAll(BSTR bstrPath) override;
    STDMETHODIMP GetMaxJobNumber(LONG* plMax) override;
    STDMETHODIMP SetMaxJobs(LONG lMax) override;
    STDMETHODIMP DeleteJob(LONG lJobNumber) override;
    STDMETHODIMP GetCommonData(BSTR bstrKey, VARIANT* pvarValue) override;
    STDMETHODIMP SetCommonData(BSTR bstrKey, VARIANT varValue) override;
    STDMETHODIMP Load() override;
    STDMETHODIMP Save() override;
    STDMETHODIMP CopyJob(LONG lSource, LONG lDestination, BSTR bstrTitle) override;
    STDMETHODIMP GetCopyDestination(LONG lSource, LONG* plDestination) override;
    STDMETHODIMP PrepareImport() override;
    // ITaskstoreKeys: the store-wide keys of the current model
    STDMETHODIMP GetKeys(SAFEARRAY** ppKeys) override;

    // Called by a job object: applies its changes to the job on disk (or its
    // whole value set when the job is not on disk) and returns the job as written.
    HRESULT CommitJob(const std::string& model, int number, const CChangeMap& changes,
                      const CValueMap& whole, CValueMap& written);

private:
    CJobStore();
    virtual ~CJobStore();
    HRESULT EnsureLoaded();
    HRESULT CheckNumber(LONG n);
    HRESULT FromStoreError(const CStoreError& err, REFIID iid = IID_IJobStore);
    void SetSnapshot(CStoreData data);

    CUserProtector m_protector;
    std::unique_ptr<CStoreFile> m_pFile;
    std::string m_strModel = "VX-410";
    LONG m_nModelIndex = 0;
    LONG m_nMaxJobs = 99;
    bool m_bLoaded = false;
    CStoreData m_data;                                      // the file as last read or written
    std::map<std::string, CChangeMap, CNameLess> m_pending; // SetCommonData until Save
};

class CJobData : public CDualObject<IJobData, &IID_IJobData> {
public:
    CJobData(CJobStore* pStore, std::string model, int number, CValueMap values);

    STDMETHODIMP Getdata(BSTR bstrKey, VARIANT* pvarValue) override;
    STDMETHODIMP Setdata(BSTR bstrKey, VARIANT varValue) override;
    STDMETHODIMP RemoveData(BSTR bstrKey) override;
    STDMETHODIMP Commit() override;
    STDMETHODIMP GetJobNumber(LONG* plJobNumber) override;
    STDMETHODIMP GetKeys(SAFEARRAY** ppKeys) override;

private:
    virtual ~CJobData();
    CRef<CJobStore> m_pStore;
    std::string m_strModel;
    int m_nNumber;
    CValueMap m_values;
    CChangeMap m_changes;
};

// Reports a failure through the COM error object and returns hr.
HRESULT ReportError(HRESULT hr, REFIID iid, const std::string& text);

} // namespace taskstore
