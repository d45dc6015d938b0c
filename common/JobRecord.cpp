#include "common/JobRecord.h"
#include "common/VlmLog.h"
#include "contracts/PdfMaker.h"
#include "framework/ComError.h"
#include "framework/Variant.h"

namespace {
void Log(const JobLoadHooks& hooks, const char* text) {
    if (hooks.m_fnLog)
        hooks.m_fnLog(text);
    else
        CVlmLog::Instance().Write("%s", text);
}

CVariant StoreGet(IJobStore* store, const char* key) {
    if (!store)
        throw CComError(E_POINTER, IID_IJobStore);
    CVariant v;
    CBstr bstrKey(key);
    ThrowIfFailed(store->GetCommonData(bstrKey, v.Receive()), IID_IJobStore);
    return v;
}
} // namespace

CVariant JobGetValue(IJobData* job, const char* key) {
    if (!job)
        throw CComError(E_POINTER, IID_IJobData);
    CVariant v;
    CBstr bstrKey(key);
    ThrowIfFailed(job->Getdata(bstrKey, v.Receive()), IID_IJobData);
    return v;
}

void JobSetValue(IJobData* job, const char* key, const VARIANT& value) {
    if (!job)
        throw CComError(E_POINTER, IID_IJobData);
    CBstr bstrKey(key);
    ThrowIfFailed(job->Setdata(bstrKey, value), IID_IJobData);
}

std::string JobGetSecret(IJobData* job, const char* key, bool& bUnreadable) {
    if (!job)
        throw CComError(E_POINTER, IID_IJobData);
    CVariant v;
    CBstr bstrKey(key);
    const HRESULT hr = job->Getdata(bstrKey, v.Receive());
    ThrowIfFailed(hr, IID_IJobData);
    // The store's success code 3: sealed bytes it cannot open read as "".
    bUnreadable = HRESULT_CODE(hr) == 3;
    CVariant text;
    ThrowIfFailed(::VariantChangeType(text.Receive(), &v, 0, VT_BSTR), IID_IJobData);
    const BSTR b = text.bstrVal;
    const int cch = b ? static_cast<int>(::SysStringLen(b)) : 0;
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, b, cch, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    if (n > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, b, cch, &out[0], n, nullptr, nullptr);
    return out;
}

long JobGetLong(IJobData* job, const char* key) {
    long n = 0;
    ThrowIfFailed(JobGetValue(job, key).ToLong(n), IID_IJobData);
    return n;
}

short JobGetShort(IJobData* job, const char* key) {
    short n = 0;
    ThrowIfFailed(JobGetValue(job, key).ToShort(n), IID_IJobData);
    return n;
}

std::string JobGetString(IJobData* job, const char* key) {
    std::string s;
    ThrowIfFailed(JobGetValue(job, key).ToAnsi(s), IID_IJobData);
    return s;
}

long StoreGetLong(IJobStore* store, const char* key) {
    long n = 0;
    ThrowIfFailed(StoreGet(store, key).ToLong(n), IID_IJobStore);
    return n;
}

std::string StoreGetString(IJobStore* store, const char* key) {
    std::string s;
    ThrowIfFailed(StoreGet(store, key).ToAnsi(s), IID_IJobStore);
    return s;
}

void StoreSetLong(IJobStore* store, const char* key, long value) {
    if (!store)
        throw CComError(E_POINTER, IID_IJobStore);
    CVariant v(value);
    CBstr bstrKey(key);
    ThrowIfFailed(store->SetCommonData(bstrKey, v), IID_IJobStore);
}

void JobLoadPdfProtection(vlm::PdfProtection& p, IJobData* job) {
    bool bUserUnreadable = false, bOwnerUnreadable = false;
    p.m_strUserPassword = JobGetSecret(job, vlm::kKeyPdfUserPassword, bUserUnreadable);
    p.m_strOwnerPassword = JobGetSecret(job, vlm::kKeyPdfOwnerPassword, bOwnerUnreadable);
    p.m_bPasswordUnreadable = bUserUnreadable || bOwnerUnreadable;
    p.m_nCryptLevel = JobGetLong(job, vlm::kKeyPdfCryptLevel);
    // Permissions never set allow everything.
    if (JobGetValue(job, vlm::kKeyPdfFlag).IsEmpty())
        p.m_nPermissions = static_cast<long>(vlm::pdfmaker::kAllowAll);
    else
        p.m_nPermissions = JobGetLong(job, vlm::kKeyPdfFlag) & // bits not offered are ignored
                           static_cast<long>(vlm::pdfmaker::kAllowAll);
    p.m_bPdfA = JobGetLong(job, vlm::kKeyPdfPdfA) != 0;
}

void LoadJobSettings(JobSettings& s, IJobStore* store, IJobData* job, const JobLoadHooks& hooks) {
    // The job and the store-wide values every function needs.
    s.m_strTitle = JobGetString(job, vlm::kKeyTitle);
    s.m_nMailSizeLimit = vlm::MailSizeBytes(StoreGetLong(store, vlm::kKeyMailSize));
    s.m_nFunctionId = JobGetLong(job, vlm::kKeyFunctionId);
    s.m_bMonitorOpen = StoreGetLong(store, vlm::kKeyMonitorOpen) != 0;
    s.m_strFunctionName = JobGetString(job, vlm::kKeyFunctionIdName);

    // Print jobs always produce single-page TIFF without prefix.
    if (s.m_nFunctionId == SCAN_TO_PR) {
        s.m_strFileType = "TIFF";
        s.m_nMultiPage = 0;
        s.m_strFilePrefix.clear();
        // The printer itself is the runner's dispatch's (SetPrintInformation).
        return;
    }
    // Unknown functions are refused by the caller; nothing more is read.
    if (!vlm::IsKnownFunction(s.m_nFunctionId))
        return;

    // The save folder.
    s.m_bMyPicture = JobGetLong(job, vlm::kKeyMyPicture) != 0;
    if (s.m_bMyPicture) {
        s.m_strSaveFolder.clear();
        if (hooks.m_fnPicturesFolder)
            s.m_strSaveFolder = hooks.m_fnPicturesFolder();
        else
            Log(hooks, "pictures folder lookup not supplied: no save folder");
    } else
        s.m_strSaveFolder = JobGetString(job, vlm::kKeySavePath);

    // The share credentials and the file name prefix.
    s.m_strUserName = JobGetString(job, vlm::kKeyUserName);
    s.m_strPassword = JobGetString(job, vlm::kKeyPassword);
    s.m_strFilePrefix = JobGetString(job, vlm::kKeyFileName);

    // The format and its own keys.
    s.m_strFileType = vlm::FileTypeName(JobGetLong(job, vlm::kKeyFileType));
    if (vlm::SameFileType(s.m_strFileType, "TIFF")) {
        s.m_nTiffComp = JobGetLong(job, vlm::kKeyTiffComp) != 0 ? 1 : 0;
        s.m_nMultiPage = JobGetLong(job, vlm::kKeyTiffMultiPage) != 0 ? 1 : 0;
    } else if (vlm::SameFileType(s.m_strFileType, "PDF")) {
        s.m_nMultiPage = JobGetLong(job, vlm::kKeyPdfMultiPage) != 0 ? 1 : 0;
        long index = JobGetLong(job, vlm::kKeyPdfOcrLangId);
        long addOcr = JobGetLong(job, vlm::kKeyPdfAddOcr);
        vlm::OcrLanguage lang = vlm::OcrLanguageFor(index, addOcr);
        s.m_dwOcrLanguage = lang.m_dwCode;
        s.m_dwOcrSecond = lang.m_dwSecond;
        Log(hooks, addOcr == 0 ? "Not Add OCR " : "Add OCR");
        s.m_nPdfCompression = vlm::PdfCompressionCode(JobGetLong(job, vlm::kKeyPdfCompRate));
        JobLoadPdfProtection(s.m_PdfProtection, job);
    } else if (vlm::SameFileType(s.m_strFileType, "JPEG")) {
        s.m_nJpegQuality = JobGetLong(job, vlm::kKeyJpegComp);
    }

    // Without "save" the files stay in the temporary folder only.
    s.m_bSave = JobGetShort(job, vlm::kKeySave) != 0;
    if (!s.m_bSave)
        s.m_strSaveFolder.clear();
}

void PrepareJobStore(IJobStore* store, const char* modelName, long modelIndex) {
    if (!store)
        throw CComError(E_POINTER, IID_IJobStore);
    CBstr model(modelName);
    ThrowIfFailed(store->SetModel(model), IID_IJobStore);
    ThrowIfFailed(store->SetModelIndex(modelIndex), IID_IJobStore);
    ThrowIfFailed(store->Load(), IID_IJobStore);
}

CComPtr<IJobData> FindJob(IJobStore* store, long nJobNumber) {
    if (!store)
        throw CComError(E_POINTER, IID_IJobStore);
    CComPtr<IJobData> job;
    const HRESULT hr = store->GetJob(nJobNumber, &job);
    ThrowIfFailed(hr, IID_IJobStore);
    if (HRESULT_CODE(hr) == 2)
        job.Release();
    return job;
}

CComPtr<IJobStore> CreateJobStore(DWORD classContext) {
    CComPtr<IUnknown> unknown;
    ThrowIfFailed(::CoCreateInstance(CLSID_JobStore, nullptr, classContext, IID_IUnknown,
                                     reinterpret_cast<void**>(&unknown)),
                  IID_IJobStore);
    ThrowIfFailed(::OleRun(unknown), IID_IJobStore);
    CComPtr<IJobStore> store;
    ThrowIfFailed(unknown.QueryInterface(IID_IJobStore, &store), IID_IJobStore);
    return store;
}

void RecordLastJobNumber(IJobStore* store, long jobNumber) {
    StoreSetLong(store, vlm::kKeyLastJobNum, vlm::LastJobNumberToStore(jobNumber));
    ThrowIfFailed(store->Save(), IID_IJobStore);
}
