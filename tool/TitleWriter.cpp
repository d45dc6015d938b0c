#include "tool/TitleWriter.h"
#include "common/JobRecord.h"
#include "common/StiCmd.h"
#include "common/VlmLog.h"
#include "contracts/ModelPlugin.h"
#include "framework/ComError.h"
#include "framework/ComInit.h"
#include "tool/CorvidStore.h"
#include <process.h>
#include <atomic>

struct CTitleWriters::CState {
    CTitleWriterSetup m_setup;
    std::atomic<LONG> m_lFlag{0};     // the title-writer flag: the all-titles writer runs
    std::atomic<LONG> m_lStop{0};     // Close asked the writers to stop, for good
    std::atomic<LONG> m_lAllAlive{0}; // an all-titles writer thread exists
    std::atomic<LONG> m_lOneAlive{0}; // one-title writer threads that exist
    std::atomic<LONG> m_lAgain{0};    // asked for while it ran: it writes all once more
};

namespace {

// Asks the model plug-in whether a job runner lives. The plug-in stays
// loaded while one writer runs, so that the question before each title is
// cheap. Without the plug-in or its export the runner's mutex is looked at
// directly: a missing plug-in must not let titles reach a busy scanner.
class CRunnerCheck {
public:
    explicit CRunnerCheck(const CTitleWriterSetup& setup) : m_strMutex(setup.m_strKestrelMutex) {
        if (m_plugin.Load(setup.m_strPlugin.c_str()))
            m_pfnIsKestrelExist = modelplugin::GetExport<modelplugin::PFN_IsKestrelExist>(
                m_plugin.Get(), modelplugin::kIsKestrelExist);
    }
    bool RunnerLives() const {
        if (m_pfnIsKestrelExist)
            return m_pfnIsKestrelExist() == 1;
        if (m_strMutex.empty())
            return false;
        CHandle mutex(::OpenMutexA(SYNCHRONIZE, FALSE, m_strMutex.c_str()));
        return mutex.IsValid();
    }

private:
    CModule m_plugin;
    modelplugin::PFN_IsKestrelExist m_pfnIsKestrelExist = nullptr;
    std::string m_strMutex;
};

BOOL OpenScanner(CSuSTICmd& device, const CTitleWriterSetup& setup) {
    return device.OpenByFriendlyName(setup.m_strFriendlyUsb.c_str()) ||
           device.OpenByFriendlyName(setup.m_strFriendlyScsi.c_str());
}

struct CThreadStart {
    std::shared_ptr<CTitleWriters::CState> m_pState;
    long m_nJobNumber; // 0: all titles
};

void WriteAll(CTitleWriters::CState& state) {
    CVlmLog::Instance().Write("all titles writer start");
    CRunnerCheck runner(state.m_setup);
    if (runner.RunnerLives()) {
        CVlmLog::Instance().Write("all titles writer: a job runs, no title written");
        return;
    }
    if (state.m_lStop)
        return;
    state.m_lFlag = 1;
    CSuSTICmd device;
    if (!OpenScanner(device, state.m_setup)) {
        CVlmLog::Instance().Write("all titles writer: no scanner");
        state.m_lFlag = 0;
        return;
    }
    long nFailed = 0;
    try {
        CComPtr<IJobStore> store = OpenCorvidStore(state.m_setup.m_strScannerName);
        nFailed = device.WriteJobTitles([&](long n, std::string& title) {
            if (state.m_lStop || runner.RunnerLives())
                return JobTitleAction::Stop;
            CComPtr<IJobData> job = FindJob(store, n);
            if (!job)
                return JobTitleAction::Clear;
            title = JobGetString(job, vlm::kKeyTitle);
            return JobTitleAction::Write;
        });
    } catch (const CComError& e) {
        CVlmLog::Instance().Write("all titles writer: %s", e.Message().c_str());
    }
    device.Close();
    state.m_lFlag = 0;
    CVlmLog::Instance().Write("all titles writer end, stopped at %ld", nFailed);
}

void WriteOne(CTitleWriters::CState& state, long nJobNumber) {
    CVlmLog::Instance().Write("title writer start for job %ld", nJobNumber);
    CRunnerCheck runner(state.m_setup);
    if (runner.RunnerLives()) {
        CVlmLog::Instance().Write("title writer: a job runs, no title written");
        return;
    }
    CSuSTICmd device;
    if (!OpenScanner(device, state.m_setup)) {
        CVlmLog::Instance().Write("title writer: no scanner");
        return;
    }
    BOOL bDone = FALSE;
    try {
        CComPtr<IJobStore> store = OpenCorvidStore(state.m_setup.m_strScannerName);
        CComPtr<IJobData> job = FindJob(store, nJobNumber);
        if (!job) {
            bDone = device.ClearJobTitle(nJobNumber);
        } else {
            std::string title = JobGetString(job, vlm::kKeyTitle);
            bDone =
                device.WriteJobTitle(nJobNumber, title.c_str(), static_cast<DWORD>(title.size()));
        }
    } catch (const CComError& e) {
        CVlmLog::Instance().Write("title writer: %s", e.Message().c_str());
    }
    device.Close();
    CVlmLog::Instance().Write("title writer end for job %ld, result %d", nJobNumber, bDone);
}

// A change made while the titles were being written may have come after its
// job was written: the writer goes round again when asked meanwhile.
void WriteAllWhileAsked(CTitleWriters::CState& state) {
    for (;;) {
        WriteAll(state);
        if (state.m_lAgain.exchange(0) && !state.m_lStop)
            continue;
        state.m_lAllAlive = 0;
        // A request between the check and the line above found the writer
        // alive and left it to this one.
        LONG expected = 0;
        if (!state.m_lAgain || state.m_lStop ||
            !state.m_lAllAlive.compare_exchange_strong(expected, 1))
            return;
        state.m_lAgain = 0;
    }
}

unsigned __stdcall WriterThread(void* p) {
    std::unique_ptr<CThreadStart> start(static_cast<CThreadStart*>(p));
    CTitleWriters::CState& state = *start->m_pState;
    {
        // The writer makes its own store object in its own apartment: the
        // dialog's store lives in the user-interface thread's apartment.
        CComInitialize com;
        if (start->m_nJobNumber != 0) {
            if (com.Succeeded())
                WriteOne(state, start->m_nJobNumber);
            --state.m_lOneAlive;
        } else if (com.Succeeded()) {
            WriteAllWhileAsked(state);
        } else {
            state.m_lAllAlive = 0;
        }
    }
    return 0;
}

BOOL StartWriter(const std::shared_ptr<CTitleWriters::CState>& state, long nJobNumber) {
    auto* start = new CThreadStart{state, nJobNumber};
    CHandle thread(
        reinterpret_cast<HANDLE>(::_beginthreadex(nullptr, 0, &WriterThread, start, 0, nullptr)));
    if (!thread) {
        delete start;
        return FALSE;
    }
    return TRUE;
}

} // namespace

CTitleWriters::CTitleWriters(const CTitleWriterSetup& setup)
    : m_pState(std::make_shared<CState>()) {
    m_pState->m_setup = setup;
}

BOOL CTitleWriters::StartAll() {
    LONG expected = 0;
    m_pState->m_lAgain = 1;
    if (!m_pState->m_lAllAlive.compare_exchange_strong(expected, 1))
        return TRUE; // the running writer goes round again
    m_pState->m_lAgain = 0;
    // Set before the thread runs, so that a wait right after the start sees it.
    if (!StartWriter(m_pState, 0)) {
        m_pState->m_lAllAlive = 0;
        return FALSE;
    }
    return TRUE;
}

BOOL CTitleWriters::StartOne(long nJobNumber) {
    if (nJobNumber <= 0)
        return FALSE;
    ++m_pState->m_lOneAlive; // before the thread runs, as for StartAll
    if (!StartWriter(m_pState, nJobNumber)) {
        --m_pState->m_lOneAlive;
        return FALSE;
    }
    return TRUE;
}

bool CTitleWriters::IsWritingAll() const {
    return m_pState->m_lFlag != 0;
}

void CTitleWriters::RequestStop() {
    m_pState->m_lStop = 1;
    m_pState->m_lFlag = 0;
}

void CTitleWriters::Resume() {
    m_pState->m_lStop = 0;
}

bool CTitleWriters::WaitWritersEnded(int nChecks) const {
    auto alive = [this] { return m_pState->m_lAllAlive || m_pState->m_lOneAlive; };
    for (int i = 0; i < nChecks && alive(); ++i)
        ::Sleep(100);
    return !alive();
}
