// A job store of a test's own: its file in the test's folder, COM on the
// test's thread, the store prepared for the VX-410 as the runner does.
#pragma once

#include <windows.h>

#include <string>

#include "common/JobRecord.h"
#include "framework/ComError.h"

namespace kestreltest {

class CTestStore {
public:
    // Raises CComError when the store cannot be made.
    void Open(const std::string& folder) {
        SetEnvironmentVariableA("TASKSTORE_FILE", (folder + "\\Taskstore.reg").c_str());
        m_bCom = SUCCEEDED(CoInitialize(nullptr));
        m_pStore = CreateJobStore(23);
        PrepareJobStore(m_pStore, "VX-410", 0);
    }
    void Close() {
        m_pStore.Release();
        if (m_bCom)
            CoUninitialize();
        m_bCom = false;
        SetEnvironmentVariableA("TASKSTORE_FILE", nullptr);
    }
    CComPtr<IJobData> Job(long number) {
        CComPtr<IJobData> job;
        ThrowIfFailed(m_pStore->GetJob(number, &job), IID_IJobStore);
        return job;
    }

    CComPtr<IJobStore> m_pStore;

private:
    bool m_bCom = false;
};

} // namespace kestreltest
