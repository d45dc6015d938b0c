// VX410.dll, the VX-410's model plug-in: prepares the job store for this
// model, tells whether a job runner lives, answers a job's delivery function
// and writes the job titles to the scanner's panel. No export throws; only
// InitJob shows anything (a COM error in a message box).
#include <windows.h>
#include <objbase.h>

#include <string>
#include <type_traits>

#include "Taskstore.h"
#include "common/JobRecord.h"
#include "common/StiCmd.h"
#include "common/portable/JobVocabulary.h"
#include "contracts/ModelPlugin.h"
#include "framework/ComError.h"
#include "framework/ComInit.h"
#include "framework/Handles.h"
#include "framework/MessageBox.h"
#include "runner/VX410Names.h"

extern "C" {
LONG WINAPI IsKestrelExist();
void WINAPI InitJob();
LONG WINAPI GetFunctionID(LONG nJobNumber);
LONG WINAPI SetScannerJobTitle(LONG bWrite);
}

// The callers load these through the pointer types of the shared header.
static_assert(std::is_same_v<decltype(&IsKestrelExist), modelplugin::PFN_IsKestrelExist>);
static_assert(std::is_same_v<decltype(&InitJob), modelplugin::PFN_InitJob>);
static_assert(std::is_same_v<decltype(&GetFunctionID), modelplugin::PFN_GetFunctionID>);
static_assert(std::is_same_v<decltype(&SetScannerJobTitle), modelplugin::PFN_SetScannerJobTitle>);

namespace {

// The plug-in's store object is in-process or local (class context 7).
constexpr DWORD kStoreClassContext =
    CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER;
constexpr char kFriendlyNameUsb[] = "VELMORA VX-410 USB";
constexpr char kFriendlyNameScsi[] = "VELMORA VX-410 SCSI";

// Store preparation shared by the exports. Raises CComError.
CComPtr<IJobStore> PrepareStore() {
    CComPtr<IJobStore> store = CreateJobStore(kStoreClassContext);
    ThrowIfFailed(store->SetMaxJobs(vlm::kMaxJobNumber), IID_IJobStore);
    CBstr model(vx410::kModelName);
    ThrowIfFailed(store->SetModel(model), IID_IJobStore);
    ThrowIfFailed(store->SetModelIndex(0), IID_IJobStore);
    return store;
}

} // namespace

LONG WINAPI IsKestrelExist() {
    vlm::CHandle mutex(::CreateMutexA(nullptr, FALSE, vx410::kToolMutexName));
    const DWORD err = ::GetLastError();
    // A runner of another user may hold a mutex this caller cannot open: it
    // exists all the same.
    return err == ERROR_ALREADY_EXISTS || (!mutex && err == ERROR_ACCESS_DENIED) ? 1 : 0;
}

void WINAPI InitJob() {
    // Outside programs may call without COM on their thread.
    CComInitialize com;
    try {
        CComPtr<IJobStore> store = PrepareStore();
        ThrowIfFailed(store->Load(), IID_IJobStore);
        StoreSetLong(store, vlm::kKeyMonitorOpen, 0);
        ThrowIfFailed(store->Save(), IID_IJobStore);
    } catch (const CComError& e) {
        VlmMessageBox(nullptr, e.Message().c_str(), nullptr, MB_OK);
    } catch (...) {
        // Nothing may leave the export.
    }
}

LONG WINAPI GetFunctionID(LONG nJobNumber) {
    if (!vlm::IsJobNumber(nJobNumber))
        return modelplugin::kNoFunction;
    CComInitialize com;
    try {
        CComPtr<IJobStore> store = PrepareStore();
        ThrowIfFailed(store->Load(), IID_IJobStore);
        if (StoreGetLong(store, vlm::kKeyMonitorOpen) != 0) {
            StoreSetLong(store, vlm::kKeyMonitorOpen, 0);
            ThrowIfFailed(store->Save(), IID_IJobStore);
        }
        ThrowIfFailed(store->Load(), IID_IJobStore);
        CComPtr<IJobData> job = FindJob(store, nJobNumber);
        if (!job)
            return modelplugin::kNoFunction;
        return JobGetLong(job, vlm::kKeyFunctionId);
    } catch (...) {
        return modelplugin::kNoFunction;
    }
}

LONG WINAPI SetScannerJobTitle(LONG bWrite) {
    if (IsKestrelExist())
        return 1; // the runner owns the scanner
    CSuSTICmd device;
    if (!device.OpenByFriendlyName(kFriendlyNameUsb) &&
        !device.OpenByFriendlyName(kFriendlyNameScsi))
        return 0;
    if (!bWrite) {
        for (long job = vlm::kMinJobNumber; job <= vlm::kMaxJobNumber; ++job)
            device.ClearJobTitle(job);
    } else {
        CComInitialize com;
        try {
            CComPtr<IJobStore> store = PrepareStore();
            // A title the scanner refuses (more than 29 bytes) ends the list
            // there; a store error ends it without a word.
            device.WriteJobTitles([&](long nJobNumber, std::string& title) {
                try {
                    CComPtr<IJobData> job = FindJob(store, nJobNumber);
                    if (!job)
                        return JobTitleAction::Clear;
                    title = JobGetString(job, vlm::kKeyTitle);
                    return JobTitleAction::Write;
                } catch (...) {
                    return JobTitleAction::Stop;
                }
            });
        } catch (...) {
            // No store: nothing written.
        }
    }
    return device.Close();
}
