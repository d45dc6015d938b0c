#include "tool/CorvidStore.h"
#include "common/JobRecord.h"
#include "framework/ComError.h"
#include "framework/Variant.h"

CComPtr<IJobStore> OpenCorvidStore(const std::string& model) {
    CComPtr<IJobStore> store = CreateJobStore(23);
    ThrowIfFailed(store->SetMaxJobs(vlm::kMaxJobNumber), IID_IJobStore);
    ThrowIfFailed(store->SetModelIndex(0), IID_IJobStore);
    CBstr name(model.c_str());
    ThrowIfFailed(store->SetModel(name), IID_IJobStore);
    ThrowIfFailed(store->Load(), IID_IJobStore);
    return store;
}

CComPtr<IJobData> FindJob(IJobStore* store, long nJobNumber) {
    CComPtr<IJobData> job;
    HRESULT hr = store->GetJob(nJobNumber, &job);
    ThrowIfFailed(hr, IID_IJobStore);
    // A success code with 2 in its low word: no job has this number.
    if ((hr & 0xFFFF) == 2)
        job.Release();
    return job;
}
