// Test helper: commits an increasing counter to job 1 and to the store-wide
// values as fast as it can, until it is killed or has made N commits.
//   taskstore_writer.exe [N]
#include "ComSupport.h"
#include "Taskstore.h"

#include <cstdio>
#include <cstdlib>

using namespace taskstore;

static LONG ToLong(const VARIANT& v) {
    VARIANT out;
    VariantInit(&out);
    if (FAILED(VariantChangeType(&out, const_cast<VARIANT*>(&v), 0, VT_I4)))
        return 0;
    return V_I4(&out);
}

int main(int argc, char** argv) {
    long limit = argc > 1 ? std::atol(argv[1]) : -1;
    if (FAILED(CoInitialize(nullptr)))
        return 10;
    int rc = 0;
    {
        CRef<IUnknown> pUnk;
        CRef<IJobStore> pStore;
        CRef<IJobData> pJob;
        if (FAILED(CoCreateInstance(CLSID_JobStore, nullptr, 23, IID_IUnknown,
                                    reinterpret_cast<void**>(pUnk.Out()))) ||
            FAILED(OleRun(pUnk.Get())) ||
            FAILED(pUnk->QueryInterface(IID_IJobStore, reinterpret_cast<void**>(pStore.Out()))) ||
            FAILED(pStore->Load()) || FAILED(pStore->GetJob(1, pJob.Out())))
            rc = 11;
        CBstrText key(SysAllocString(L"counter"));
        CVar current;
        if (rc == 0 && FAILED(pJob->Getdata(key.Get(), current.Out())))
            rc = 12;
        LONG n = rc == 0 ? ToLong(current.Get()) : 0;
        for (long i = 0; rc == 0 && i != limit; ++i) {
            CVar v;
            V_VT(v.Out()) = VT_I4;
            V_I4(&v.Get()) = ++n;
            HRESULT hr = pJob->Setdata(key.Get(), v.Get());
            if (SUCCEEDED(hr))
                hr = pJob->Commit();
            if (SUCCEEDED(hr) && SUCCEEDED(hr = pStore->SetCommonData(key.Get(), v.Get())))
                hr = pStore->Save();
            if (FAILED(hr)) {
                rc = 13;
                CRef<IErrorInfo> pInfo;
                CBstrText desc;
                if (GetErrorInfo(0, pInfo.Out()) == S_OK && pInfo)
                    pInfo->GetDescription(desc.Out());
                std::fprintf(stderr, "taskstore_writer: commit %ld failed (0x%08lX): %ls\n",
                             (long)n, (unsigned long)hr, desc.Get() ? desc.Get() : L"");
            }
        }
    }
    CoUninitialize();
    return rc;
}
