#include "tool/CorvidStore.h"
#include "common/JobRecord.h"
#include "framework/ComError.h"

CComPtr<IJobStore> OpenCorvidStore(const std::string& model) {
    CComPtr<IJobStore> store = CreateJobStore(23);
    ThrowIfFailed(store->SetMaxJobs(vlm::kMaxJobNumber), IID_IJobStore);
    PrepareJobStore(store, model.c_str(), 0);
    return store;
}
