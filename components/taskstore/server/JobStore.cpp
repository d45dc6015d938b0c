#include "JobStore.h"
#include "VariantValue.h"

#include <shlobj.h>

#include <new>

namespace taskstore {

namespace {

constexpr LONG kMaxJobSlots = 999;

std::string EnvUtf8(const wchar_t* name) {
    wchar_t buf[MAX_PATH * 2];
    DWORD n = GetEnvironmentVariableW(name, buf, DWORD(sizeof buf / sizeof buf[0]));
    if (n == 0 || n >= sizeof buf / sizeof buf[0])
        return std::string();
    return Utf8FromWide(buf, n);
}

// Every method body runs inside this: nothing may leave the server as a C++ exception.
template <class F> HRESULT Guard(REFIID iid, F&& body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return ReportError(E_OUTOFMEMORY, iid, "out of memory");
    } catch (...) {
        return ReportError(E_UNEXPECTED, iid, "unexpected failure in the job store");
    }
}

HRESULT MakeKeyArray(const std::vector<std::string>& keys, SAFEARRAY** ppKeys) {
    if (!ppKeys)
        return E_POINTER;
    *ppKeys = nullptr;
    CSafeArray sa(SafeArrayCreateVector(VT_BSTR, 0, ULONG(keys.size())));
    if (!sa.Get())
        return E_OUTOFMEMORY;
    for (LONG i = 0; i < LONG(keys.size()); ++i) {
        CBstrText b(BstrFromUtf8(keys[size_t(i)]));
        HRESULT hr = SafeArrayPutElement(sa.Get(), &i, b.Get()); // copies the BSTR
        if (FAILED(hr))
            return hr;
    }
    *ppKeys = sa.Detach();
    return S_OK;
}

void ApplyChanges(CValueMap& values, const CChangeMap& changes) {
    for (const auto& [key, value] : changes) {
        if (value) {
            auto it = values.find(key);
            if (it != values.end())
                it->second = *value;
            else
                values.emplace(key, *value);
        } else {
            values.erase(key);
        }
    }
}

} // namespace

std::string StoreFilePath() {
    std::string file = EnvUtf8(L"TASKSTORE_FILE");
    if (!file.empty())
        return file;
    std::string dir = EnvUtf8(L"TASKSTORE_DIR");
    if (dir.empty()) {
        wchar_t appData[MAX_PATH] = {};
        if (FAILED(
                SHGetFolderPathW(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, appData)))
            GetTempPathW(MAX_PATH, appData);
        dir = Utf8FromWide(appData, wcslen(appData)) + "\\Velmora Works\\Taskstore";
    }
    if (!dir.empty() && dir.back() != '\\' && dir.back() != '/')
        dir += '\\';
    return dir + "Taskstore.reg";
}

HRESULT ReportError(HRESULT hr, REFIID iid, const std::string& text) {
    CRef<ICreateErrorInfo> pCreate;
    if (SUCCEEDED(CreateErrorInfo(pCreate.Out()))) {
        std::wstring w = WideFromUtf8(text);
        pCreate->SetGUID(iid);
        pCreate->SetSource(const_cast<LPOLESTR>(L"Taskstore.JobStore"));
        pCreate->SetDescription(const_cast<LPOLESTR>(w.c_str()));
        CRef<IErrorInfo> pInfo;
        if (SUCCEEDED(
                pCreate->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(pInfo.Out()))))
            SetErrorInfo(0, pInfo.Get());
    }
    return hr;
}

// ---------------------------------------------------------------------------
// CJobStore

CJobStore::CJobStore() : m_pFile(new CStoreFile(StoreFilePath(), &m_protector)) {
    ModuleLock();
}
CJobStore::~CJobStore() {
    ModuleUnlock();
}

HRESULT CJobStore::Create(REFIID iid, void** ppv) {
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    CJobStore* p = new (std::nothrow) CJobStore();
    if (!p)
        return E_OUTOFMEMORY;
    HRESULT hr = p->QueryInterface(iid, ppv);
    p->Release();
    return hr;
}

HRESULT CJobStore::FromStoreError(const CStoreError& err, REFIID iid) {
    HRESULT hr;
    switch (err.m_code) {
    case CStoreError::kParse:
        hr = TS_E_BADFILE;
        break;
    case CStoreError::kBusy:
        hr = TS_E_BUSY;
        break;
    case CStoreError::kIo:
        hr =
            err.m_nSysError ? HRESULT(0x80070000u | (unsigned(err.m_nSysError) & 0xFFFFu)) : E_FAIL;
        break;
    default:
        hr = E_FAIL;
        break;
    }
    return ReportError(hr, iid, err.m_strText);
}

void CJobStore::SetSnapshot(CStoreData data) {
    m_data = std::move(data);
    m_bLoaded = true;
}

HRESULT CJobStore::EnsureLoaded() {
    return m_bLoaded ? S_OK : Load();
}

HRESULT CJobStore::CheckNumber(LONG n) {
    if (n < 1 || n > m_nMaxJobs)
        return ReportError(E_INVALIDARG, IID_IJobStore,
                           "job number " + std::to_string(n) + " is outside 1.." +
                               std::to_string(m_nMaxJobs));
    return S_OK;
}

STDMETHODIMP CJobStore::Load() {
    return Guard(IID_IJobStore, [&]() -> HRESULT {
        CStoreData data;
        CStoreError err;
        if (!m_pFile->Read(data, err))
            return FromStoreError(err); // the snapshot and the file stay as they were
        SetSnapshot(std::move(data));
        m_pending.clear(); // a reload shows the lasting state
        return S_OK;
    });
}

STDMETHODIMP CJobStore::Save() {
    return Guard(IID_IJobStore, [&]() -> HRESULT {
        CStoreData written;
        CStoreError err;
        bool ok = m_pFile->Update(
            [&](CStoreData& data, CStoreError&) {
                for (const auto& [model, changes] : m_pending)
                    ApplyChanges(data.Model(model).m_common, changes);
                return true;
            },
            written, err);
        if (!ok)
            return FromStoreError(err);
        SetSnapshot(std::move(written));
        m_pending.clear();
        return S_OK;
    });
}

STDMETHODIMP CJobStore::GetJob(LONG lJobNumber, IJobData** ppJob) {
    return Guard(IID_IJobStore, [&]() -> HRESULT {
        if (!ppJob)
            return E_POINTER;
        *ppJob = nullptr;
        HRESULT hr = CheckNumber(lJobNumber);
        if (FAILED(hr) || FAILED(hr = EnsureLoaded()))
            return hr;
        CValueMap values;
        bool bExists = false;
        if (const CModelData* pModel = m_data.FindModel(m_strModel)) {
            auto it = pModel->m_jobs.find(int(lJobNumber));
            if (it != pModel->m_jobs.end()) {
                values = it->second;
                bExists = true;
            }
        }
        *ppJob = new CJobData(this, m_strModel, int(lJobNumber), std::move(values));
        return bExists ? S_OK : TS_S_NOJOB;
    });
}

HRESULT CJobStore::CommitJob(const std::string& model, int number, const CChangeMap& changes,
                             const CValueMap& whole, CValueMap& written) {
    CStoreData result;
    CStoreError err;
    bool ok = m_pFile->Update(
        [&](CStoreData& data, CStoreError&) {
            auto& jobs = data.Model(model).m_jobs;
            auto it = jobs.find(number);
            if (it != jobs.end())
                ApplyChanges(it->second, changes); // keep what others wrote to other keys
            else
                jobs[number] = whole;
            return true;
        },
        result, err);
    if (!ok)
        return FromStoreError(err, IID_IJobData); // reported on the job's interface
    written = result.Model(model).m_jobs[number];
    SetSnapshot(std::move(result));
    return S_OK;
}

STDMETHODIMP CJobStore::GetModelName(BSTR* pbstrModel) {
    return Guard(IID_IJobStore, [&]() -> HRESULT {
        if (!pbstrModel)
            return E_POINTER;
        *pbstrModel = BstrFromUtf8(m_strModel);
        return *pbstrModel ? S_OK : E_OUTOFMEMORY;
    });
}

STDMETHODIMP CJobStore::SetModel(BSTR bstrModel) {
    return Guard(IID_IJobStore, [&]() -> HRESULT {
        std::string model;
        if (FAILED(NameFromBstr(bstrModel, model)))
            return ReportError(E_INVALIDARG, IID_IJobStore,
                               "a model name needs 1 to 255 characters without control characters");
        m_strModel = model;
        return S_OK;
    });
}

STDMETHODIMP CJobStore::SetModelIndex(LONG lIndex) {
    m_nModelIndex = lIndex; // kept for callers that set it; the model name selects the jobs
    return S_OK;
}

STDMETHODIMP CJobStore::GetMaxJobNumber(LONG* plMax) {
    if (!plMax)
        return E_POINTER;
    *plMax = m_nMaxJobs;
    return S_OK;
}

STDMETHODIMP CJobStore::SetMaxJobs(LONG lMax) {
    return Guard(IID_IJobStore, [&]() -> HRESULT {
        if (lMax < 1 || lMax > kMaxJobSlots)
            return ReportError(E_INVALIDARG, IID_IJobStore,
                               "the job count must lie between 1 and " +
                                   std::to_string(kMaxJobSlots));
        m_nMaxJobs = lMax;
        return S_OK;
    });
}

STDMETHODIMP CJobStore::DeleteJob(LONG lJobNumber) {
    return Guard(IID_IJobStore, [&]() -> HRESULT {
        HRESULT hr = CheckNumber(lJobNumber);
        if (FAILED(hr))
            return hr;
        bool bExisted = false;
        CStoreData written;
        CStoreError err;
        bool ok = m_pFile->Update(
            [&](CStoreData& data, CStoreError&) {
                bExisted = data.Model(m_strModel).m_jobs.erase(int(lJobNumber)) > 0;
                return true;
            },
            written, err);
        if (!ok)
            return FromStoreError(err);
        SetSnapshot(std::move(written));
        return bExisted ? S_OK : TS_S_NOJOB;
    });
}

STDMETHODIMP CJobStore::GetCommonData(BSTR bstrKey, VARIANT* pvarValue) {
    return Guard(IID_IJobStore, [&]() -> HRESULT {
        if (!pvarValue)
            return E_POINTER;
        VariantInit(pvarValue);
        std::string key;
        if (FAILED(NameFromBstr(bstrKey, key)))
            return ReportError(E_INVALIDARG, IID_IJobStore, "invalid key name");
        HRESULT hr = EnsureLoaded();
        if (FAILED(hr))
            return hr;
        auto pm = m_pending.find(m_strModel);
        if (pm != m_pending.end()) {
            auto pc = pm->second.find(key);
            if (pc != pm->second.end())
                return pc->second ? VariantFromValue(*pc->second, pvarValue) : S_OK;
        }
        if (const CModelData* pModel = m_data.FindModel(m_strModel)) {
            auto it = pModel->m_common.find(key);
            if (it != pModel->m_common.end())
                return VariantFromValue(it->second, pvarValue);
        }
        return S_OK; // never written: VT_EMPTY
    });
}

STDMETHODIMP CJobStore::SetCommonData(BSTR bstrKey, VARIANT varValue) {
    return Guard(IID_IJobStore, [&]() -> HRESULT {
        std::string key;
        if (FAILED(NameFromBstr(bstrKey, key)))
            return ReportError(E_INVALIDARG, IID_IJobStore, "invalid key name");
        CTaskValue value;
        bool bRemove = false;
        HRESULT hr = ValueFromVariant(varValue, value, bRemove);
        if (FAILED(hr))
            return ReportError(hr, IID_IJobStore,
                               "the value of \"" + key + "\" has a type the store does not keep");
        CChangeMap& changes = m_pending[m_strModel];
        changes.erase(key); // the latest spelling of the key wins
        if (bRemove)
            changes.emplace(key, std::nullopt);
        else
            changes.emplace(key, value);
        return S_OK;
    });
}

STDMETHODIMP CJobStore::CopyJob(LONG lSource, LONG lDestination, BSTR bstrTitle) {
    return Guard(IID_IJobStore, [&]() -> HRESULT {
        HRESULT hr = CheckNumber(lSource);
        if (FAILED(hr) || FAILED(hr = CheckNumber(lDestination)))
            return hr;
        UINT len = bstrTitle ? SysStringLen(bstrTitle) : 0;
        std::u16string title(reinterpret_cast<const char16_t*>(bstrTitle ? bstrTitle : L""), len);
        CStoreData written;
        CStoreError err;
        bool ok = m_pFile->Update(
            [&](CStoreData& data, CStoreError& e) {
                auto& jobs = data.Model(m_strModel).m_jobs;
                auto it = jobs.find(int(lSource));
                if (it == jobs.end()) {
                    e.m_code = CStoreError::kRefused;
                    e.m_strText = "job " + std::to_string(lSource) + " does not exist";
                    return false;
                }
                CValueMap copy = it->second;
                copy.erase("title");
                copy.emplace("title", CTaskValue::Text(title));
                jobs[int(lDestination)] = std::move(copy);
                return true;
            },
            written, err);
        if (!ok)
            return err.m_code == CStoreError::kRefused
                       ? ReportError(TS_E_NOJOB, IID_IJobStore, err.m_strText)
                       : FromStoreError(err);
        SetSnapshot(std::move(written));
        return S_OK;
    });
}

STDMETHODIMP CJobStore::GetCopyDestination(LONG lSource, LONG* plDestination) {
    return Guard(IID_IJobStore, [&]() -> HRESULT {
        if (!plDestination)
            return E_POINTER;
        *plDestination = 0;
        HRESULT hr = CheckNumber(lSource);
        if (FAILED(hr) || FAILED(hr = EnsureLoaded()))
            return hr;
        const CModelData* pModel = m_data.FindModel(m_strModel);
        // The lowest free number above the source, wrapping to 1; with every
        // slot taken the next number above the source is proposed.
        LONG next = lSource % m_nMaxJobs + 1;
        *plDestination = next;
        for (LONG k = 1; k < m_nMaxJobs; ++k) {
            LONG candidate = (lSource - 1 + k) % m_nMaxJobs + 1;
            if (!pModel || pModel->m_jobs.count(int(candidate)) == 0) {
                *plDestination = candidate;
                break;
            }
        }
        return S_OK;
    });
}

STDMETHODIMP CJobStore::ExportAll(BSTR bstrPath) {
    return Guard(IID_IJobStore, [&]() -> HRESULT {
        if (!bstrPath || SysStringLen(bstrPath) == 0)
            return ReportError(E_INVALIDARG, IID_IJobStore, "no backup file name");
        std::string path = Utf8FromWide(bstrPath, SysStringLen(bstrPath));
        CStoreData current;
        CStoreError err;
        if (!m_pFile->Read(current, err))
            return FromStoreError(err);
        // The backup holds the current model: its store-wide values and jobs.
        CStoreData backup;
        CModelData& model = backup.Model(m_strModel);
        if (const CModelData* pFound = current.FindModel(m_strModel)) {
            model = *pFound;
        }
        std::string text;
        CRegError regErr;
        if (!FormatRegText(backup, text, regErr, &m_protector))
            return ReportError(TS_E_SEAL, IID_IJobStore, regErr.m_strText);
        if (!ReplaceFileAtomically(path, text, err))
            return FromStoreError(err);
        SetSnapshot(std::move(current));
        return S_OK;
    });
}

STDMETHODIMP CJobStore::PrepareImport() {
    // Unsaved store-wide values would otherwise be written over the restored ones.
    m_pending.clear();
    m_bLoaded = false;
    return S_OK;
}

STDMETHODIMP CJobStore::ImportAll(BSTR bstrPath) {
    return Guard(IID_IJobStore, [&]() -> HRESULT {
        if (!bstrPath || SysStringLen(bstrPath) == 0)
            return ReportError(E_INVALIDARG, IID_IJobStore, "no backup file name");
        std::string path = Utf8FromWide(bstrPath, SysStringLen(bstrPath));
        std::string bytes;
        bool bMissing = false;
        CStoreError err;
        if (!ReadWholeFile(path, bytes, bMissing, err))
            return FromStoreError(err);
        if (bMissing)
            return ReportError(HRESULT(0x80070000u | ERROR_FILE_NOT_FOUND), IID_IJobStore,
                               "the backup file \"" + path + "\" does not exist");
        CStoreData backup;
        if (!ParseStoreText(path, bytes, backup, err, &m_protector))
            return FromStoreError(err); // the store is not touched
        if (backup.m_models.empty())
            return ReportError(TS_E_NODATA, IID_IJobStore,
                               "the backup file \"" + path + "\" holds no job store data");
        CStoreData written;
        bool ok = m_pFile->Update(
            [&](CStoreData& data, CStoreError&) {
                for (const auto& [name, model] : backup.m_models) {
                    data.m_models.erase(name);
                    data.m_models.emplace(model.m_strName, model);
                }
                return true;
            },
            written, err);
        if (!ok)
            return FromStoreError(err);
        for (const auto& entry : backup.m_models)
            m_pending.erase(entry.first);
        if (backup.m_models.size() == 1)
            m_strModel = backup.m_models.begin()->second.m_strName; // the restored model
        SetSnapshot(std::move(written));
        return S_OK;
    });
}

STDMETHODIMP CJobStore::GetKeys(SAFEARRAY** ppKeys) {
    return Guard(IID_IJobStore, [&]() -> HRESULT {
        HRESULT hr = EnsureLoaded();
        if (FAILED(hr))
            return hr;
        CValueMap common;
        if (const CModelData* pModel = m_data.FindModel(m_strModel))
            common = pModel->m_common;
        auto pm = m_pending.find(m_strModel);
        if (pm != m_pending.end())
            ApplyChanges(common, pm->second);
        std::vector<std::string> keys;
        for (const auto& entry : common)
            keys.push_back(entry.first);
        return MakeKeyArray(keys, ppKeys);
    });
}

// ---------------------------------------------------------------------------
// CJobData

CJobData::CJobData(CJobStore* pStore, std::string model, int number, CValueMap values)
    : m_pStore(pStore), m_strModel(std::move(model)), m_nNumber(number),
      m_values(std::move(values)) {
    ModuleLock();
}
CJobData::~CJobData() {
    ModuleUnlock();
}

STDMETHODIMP CJobData::Getdata(BSTR bstrKey, VARIANT* pvarValue) {
    return Guard(IID_IJobData, [&]() -> HRESULT {
        if (!pvarValue)
            return E_POINTER;
        VariantInit(pvarValue);
        std::string key;
        if (FAILED(NameFromBstr(bstrKey, key)))
            return ReportError(E_INVALIDARG, IID_IJobData, "invalid key name");
        auto it = m_values.find(key);
        return it == m_values.end() ? S_OK : VariantFromValue(it->second, pvarValue);
    });
}

STDMETHODIMP CJobData::Setdata(BSTR bstrKey, VARIANT varValue) {
    return Guard(IID_IJobData, [&]() -> HRESULT {
        std::string key;
        if (FAILED(NameFromBstr(bstrKey, key)))
            return ReportError(E_INVALIDARG, IID_IJobData, "invalid key name");
        CTaskValue value;
        bool bRemove = false;
        HRESULT hr = ValueFromVariant(varValue, value, bRemove);
        if (FAILED(hr))
            return ReportError(hr, IID_IJobData,
                               "the value of \"" + key + "\" has a type the store does not keep");
        m_changes.erase(key);
        if (bRemove) {
            m_values.erase(key);
            m_changes.emplace(key, std::nullopt);
        } else {
            m_values.erase(key);
            m_values.emplace(key, value);
            m_changes.emplace(key, value);
        }
        return S_OK;
    });
}

STDMETHODIMP CJobData::RemoveData(BSTR bstrKey) {
    return Guard(IID_IJobData, [&]() -> HRESULT {
        std::string key;
        if (FAILED(NameFromBstr(bstrKey, key)))
            return ReportError(E_INVALIDARG, IID_IJobData, "invalid key name");
        m_values.erase(key);
        m_changes.erase(key);
        m_changes.emplace(key, std::nullopt);
        return S_OK;
    });
}

STDMETHODIMP CJobData::Commit() {
    return Guard(IID_IJobData, [&]() -> HRESULT {
        CValueMap written;
        HRESULT hr = m_pStore->CommitJob(m_strModel, m_nNumber, m_changes, m_values, written);
        if (FAILED(hr))
            return hr;
        m_values = std::move(written);
        m_changes.clear();
        return S_OK;
    });
}

STDMETHODIMP CJobData::GetJobNumber(LONG* plJobNumber) {
    if (!plJobNumber)
        return E_POINTER;
    *plJobNumber = m_nNumber;
    return S_OK;
}

STDMETHODIMP CJobData::GetKeys(SAFEARRAY** ppKeys) {
    return Guard(IID_IJobData, [&]() -> HRESULT {
        std::vector<std::string> keys;
        for (const auto& entry : m_values)
            keys.push_back(entry.first);
        return MakeKeyArray(keys, ppKeys);
    });
}

} // namespace taskstore
