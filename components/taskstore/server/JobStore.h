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

class CJobData;

class CJobStore : public IJobStore, public ISupportErrorInfo, public ITaskstoreKeys {
public:
    static HRESULT Create(REFIID iid, void** ppv);

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    // IDispatch
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override;
    STDMETHODIMP GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                               DISPID* rgDispId) override;
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO* excep, UINT* argErr) override;
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
    // ISupportErrorInfo
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override;
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

    LONG m_nRef = 1;
    CUserProtector m_protector;
    std::unique_ptr<CStoreFile> m_pFile;
    std::string m_strModel = "VX-410";
    LONG m_nModelIndex = 0;
    LONG m_nMaxJobs = 99;
    bool m_bLoaded = false;
    CStoreData m_data;                                      // the file as last read or written
    std::map<std::string, CChangeMap, CNameLess> m_pending; // SetCommonData until Save
};

class CJobData : public IJobData, public ISupportErrorInfo, public ITaskstoreKeys {
public:
    CJobData(CJobStore* pStore, std::string model, int number, CValueMap values);

    STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override;
    STDMETHODIMP GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                               DISPID* rgDispId) override;
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO* excep, UINT* argErr) override;
    STDMETHODIMP Getdata(BSTR bstrKey, VARIANT* pvarValue) override;
    STDMETHODIMP Setdata(BSTR bstrKey, VARIANT varValue) override;
    STDMETHODIMP RemoveData(BSTR bstrKey) override;
    STDMETHODIMP Commit() override;
    STDMETHODIMP GetJobNumber(LONG* plJobNumber) override;
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override;
    STDMETHODIMP GetKeys(SAFEARRAY** ppKeys) override;

private:
    virtual ~CJobData();
    LONG m_nRef = 1;
    CRef<CJobStore> m_pStore;
    std::string m_strModel;
    int m_nNumber;
    CValueMap m_values;
    CChangeMap m_changes;
};

// Reports a failure through the COM error object and returns hr.
HRESULT ReportError(HRESULT hr, REFIID iid, const std::string& text);

} // namespace taskstore
