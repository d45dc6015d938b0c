// The runner's view of a job: JobSettings and loading it from the job store.
#pragma once
#include <windows.h>
#include <functional>
#include <string>
#include "Taskstore.h"
#include "common/portable/JobVocabulary.h"
#include "framework/ComPtr.h"
#include "framework/Variant.h"

struct JobFolderWarning {
    BOOL m_bOn = FALSE;
    std::string m_strFolder;
    ULONGLONG m_nLimit = 0;       // bytes
    ULONGLONG m_nCurrentSize = 0; // bytes
};

struct JobSettings {
    long m_nJobNumber = 0;
    std::string m_strTitle;
    std::string m_strTwainDsName;
    std::string m_strFileType; // "BMP", "JPEG", "PDF", "TIFF" or "UNKNOWN"
    std::string m_strSaveFolder;
    std::string m_strUserName;
    std::string m_strPassword;
    std::string m_strFilePrefix;
    int m_nTiffComp = 1;
    int m_nMultiPage = 0;
    LONGLONG m_nMailSizeLimit = 0; // bytes
    BOOL m_bMonitorOpen = FALSE;
    long m_nFunctionId = SCAN_TO_PC;
    std::string m_strFunctionName;
    int m_nPdfCompression = 0;
    int m_nJpegQuality = 75;
    DWORD m_dwOcrLanguage = 2;
    DWORD m_dwOcrSecond = 0;
    BOOL m_bMyPicture = FALSE;
    BOOL m_bSave = TRUE;
    vlm::PdfProtection m_PdfProtection; // handed to the PDF maker before each document
    JobFolderWarning m_Warnings[vlm::kFolderWarnings];
    // The run's store and job: start-up hands its references over when the
    // job dialog runs; from then on they are released here.
    CComPtr<IJobStore> m_pStore;
    CComPtr<IJobData> m_pJob;
    void ReleaseCom() {
        m_pJob.Release();
        m_pStore.Release();
    }
};

// Checked reads: a failing call or a value that does not convert raises
// CComError with the interface's IID.
CVariant JobGetValue(IJobData* job, const char* key); // the stored VARIANT as it is
long JobGetLong(IJobData* job, const char* key);
short JobGetShort(IJobData* job, const char* key);
std::string JobGetString(IJobData* job, const char* key);
// A sealed secret as UTF-8; bUnreadable is set when the store holds one that
// this user cannot unseal (the text is then empty).
std::string JobGetSecret(IJobData* job, const char* key, bool& bUnreadable);
long StoreGetLong(IJobStore* store, const char* key);
std::string StoreGetString(IJobStore* store, const char* key);
void StoreSetLong(IJobStore* store, const char* key, long value);
// Checked write of a job value (lasting once the job is committed).
void JobSetValue(IJobData* job, const char* key, const VARIANT& value);

// The job's PDF protection and PDF/A settings ("pdf_Flag" never set allows
// everything). Raises CComError on any failed read.
void JobLoadPdfProtection(vlm::PdfProtection& p, IJobData* job);

struct JobLoadHooks {
    // The user's pictures folder for "mypicture" (the runner's lookup, with
    // its fallbacks and messages). When absent the save folder stays empty
    // and the loader says so in the log.
    std::function<std::string()> m_fnPicturesFolder;
    // Log lines of the loader; default: the run log.
    std::function<void(const char*)> m_fnLog;
};

// Loads the job (after GetJob succeeded) into s: title, mail size, function,
// monitor switch and function name; by function the save settings or the
// print defaults; the "save" flag (zero empties the save folder). Raises
// CComError on any failed read.
void LoadJobSettings(JobSettings& s, IJobStore* store, IJobData* job,
                     const JobLoadHooks& hooks = JobLoadHooks());

// Store preparation of the runner: SetModel, SetModelIndex, Load. Raises CComError.
void PrepareJobStore(IJobStore* store, const char* modelName, long modelIndex);
// The job with this number, or null when the store has none (GetJob's success
// code with 2 in its low word). Raises CComError.
CComPtr<IJobData> FindJob(IJobStore* store, long nJobNumber);
// Creates the store object (CoCreateInstance, OleRun, QueryInterface). Raises CComError.
CComPtr<IJobStore> CreateJobStore(DWORD classContext = 23);
// "LastJobNum" as VT_I4 (1 for numbers outside 1..99), then Save.
void RecordLastJobNumber(IJobStore* store, long jobNumber);
