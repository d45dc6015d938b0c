#include "runner/JobApp.h"

#include "common/JobRecord.h"
#include "common/Localize.h"
#include "common/RecoveredScans.h"
#include "common/VlmLog.h"
#include "framework/ComError.h"
#include "framework/ComInit.h"
#include "framework/MessageBox.h"
#include "framework/Profile.h"
#include "runner/JobDlg.h"
#include "runner/PrintDelivery.h"
#include "runner/SaveToFolder.h"
#include "runner/VX410JobApp.h"
#include "runner/core/StiArguments.h"

namespace {

const char kSection[] = "General";
const char kCatalogue[] = "TaskdeckCore.loc";

CVlmLog& Log() {
    return CVlmLog::Instance();
}

void LogLine(const char* line) {
    Log().Write("%s", line);
}

std::vector<std::string> ProgramArguments() {
    return std::vector<std::string>(__argv + 1, __argv + __argc);
}

} // namespace

// What one run holds between the steps of start-up: the job dialog, and the
// store and job references until they are handed to the dialog. Made inside
// COM's lifetime and gone before it ends; a failure anywhere releases it all.
struct CJobApp::CRun {
    explicit CRun(CJobApp& app) : m_app(app) { m_app.m_pRun = this; }
    ~CRun() { m_app.m_pRun = nullptr; }
    CRun(const CRun&) = delete;
    CRun& operator=(const CRun&) = delete;

    CJobDlg& Dlg() { return *m_pDlg; }
    void ReleaseCom() {
        m_pJob.Release();
        m_pStore.Release();
    }

    CJobApp& m_app;
    std::unique_ptr<CJobDlg> m_pDlg;
    CComPtr<IJobStore> m_pStore;
    CComPtr<IJobData> m_pJob;
};

CJobApp::CJobApp() = default;
CJobApp::~CJobApp() = default;

CJobApp& GetJobApp() {
    return *static_cast<CJobApp*>(CVlmApp::GetApp());
}

BOOL CJobApp::IsStartedByScanner() const {
    return kestrel::IsScannerEvent(m_strStiEvent);
}

IJobStore* CJobApp::GetJobStore() {
    if (!m_pRun)
        throw CComError(E_UNEXPECTED, IID_IJobStore);
    if (!m_pRun->m_pStore) {
        CComPtr<IJobStore> store = CreateJobStore(23);
        PrepareJobStore(store, m_pImp->GetModelName(), m_pImp->GetModelIndex());
        m_pRun->m_pStore = std::move(store);
    }
    return m_pRun->m_pStore;
}

void CJobApp::AnalyzeArgument() {
    kestrel::StiArguments parsed = kestrel::ParseStiArguments(ProgramArguments());
    m_strStiDevice = parsed.m_strDevice;
    m_strStiEvent = parsed.m_strEvent;
}

void CJobApp::DispMessage(const char* text, BOOL bIsError) {
    if (m_bRedelivery) {
        if (bIsError && text && *text)
            ShowFailure(text, MB_ICONEXCLAMATION);
        return;
    }
    if (m_bPanelLock) {
        Log().Write("DispMessageToScaner Lock");
        return;
    }
    Log().Write("DispMessageToScaner Start");
    if (m_pImp)
        m_pImp->DispMessageToScaner(text, bIsError);
}

long CJobApp::GetSelectedJobNo() {
    ThrowIfFailed(m_pipe.Connect(m_pImp->GetServicePipeName()));
    long nJob = 0;
    ThrowIfFailed(m_pipe.RequestJobNumber(&nJob));
    return m_pImp->FilterJobNumber(nJob);
}

void CJobApp::StiLock() {
    ThrowIfFailed(m_pipe.Lock(TRUE));
    m_pImp->OnStiLock();
    m_bStiLocked = TRUE;
}

void CJobApp::StiUnLock() {
    // Only a runner that took the scanner gives it back; the channel is
    // closed in every case (closing twice does nothing).
    HRESULT hr = S_OK;
    if (m_bStiLocked)
        hr = m_pipe.Lock(FALSE);
    HRESULT hrClose = m_pipe.Terminate();
    if (m_pImp && m_bStiLocked)
        m_pImp->OnStiUnLock();
    m_bStiLocked = FALSE;
    ThrowIfFailed(FAILED(hr) ? hr : hrClose);
}

void CJobApp::ShowFailure(const char* text, UINT flags) {
    const char* caption = m_pImp ? m_pImp->GetModelName() : vx410::kModelName;
    VlmMessageBoxTop(nullptr, text, caption, flags | MB_TOPMOST | MB_SETFOREGROUND);
}

BOOL CJobApp::InitInstance() {
    // COM lives until the last reference of the job is gone.
    CComInitialize com(&LogLine);
    m_nExitCode = 1;
    try {
        ThrowIfFailed(com.Result());
        COleInitialize ole;
        SetRegistryKey("Velmora Works Inc.");
        try {
            RunStartup();
        } catch (const CStartupText& t) {
            ShowFailure(t.m_strText.c_str(), MB_ICONEXCLAMATION);
        } catch (const CComError& e) {
            ShowFailure(e.Message().c_str(), MB_OK);
        }
    } catch (const CComError& e) {
        ShowFailure(e.Message().c_str(), MB_OK);
    }
    m_hToolMutex.Close();
    Log().Write("InitInstance() end");
    return FALSE; // the job is over: no message loop
}

// The start-up of one job, step by step; each step that ends the run early
// returns here, having released what it took.
void CJobApp::RunStartup() {
    CVlmProfile profile;
    CRun run(*this);
    OpenRunLog(profile);
    CreateModelPart();
    if (const std::string folder =
            kestrel::ParseStiArguments(ProgramArguments()).m_strRecoveredFolder;
        !folder.empty()) {
        // No scan: the job at work (if any) stays, and so does the scanner.
        DeliverRecovered(run, folder);
        return;
    }
    if (!DisplaceEarlierJob())
        return;
    CreateJobDialog(run);
    InitLocalization();
    run.Dlg().RecoverDeadRunners();
    ReadCommandLine(profile);
    InitPanelMessages();
    ShowPleaseWait();
    CreateToolMutex();
    const long nJob = ReadSelectedJobNumber(profile);
    ClaimScanner();
    if (!LoadJob(run, nJob)) {
        ReportNotRegistered(run);
        return;
    }
    {
        CVlmLogStep step("set information to dlg class");
        FillJobSettings(run, nJob);
        if (!CheckFunction(run)) {
            step.Abandon();
            return;
        }
    }
    if (!PrepareSaveFolder(run))
        return;
    const INT_PTR rc = RunJobDialog(run);
    ReleaseJob(run);
    m_nExitCode = rc == -1 ? 1 : 0;
}

void CJobApp::OpenRunLog(const CVlmProfile& profile) {
    if (!profile.GetInt(kSection, "WriteLog", 0))
        return;
    std::string name = profile.GetString(kSection, "LogFileName", VlmDefaultLogName().c_str());
    Log().Open(name.c_str());
    const std::string dashes(78, '-');
    Log().Write("%s", dashes.c_str());
    Log().Write("---------------Taskdeck\t Application Start\t\t------------------------------");
    Log().Write("%s", dashes.c_str());
    Log().Write("InitInstance() start");
}

void CJobApp::CreateModelPart() {
    m_pImp.reset(new (std::nothrow) CVX410JobApp(*this));
    if (!m_pImp)
        throw CStartupText{"no memory"};
}

// FALSE: the model refuses to run beside an earlier job.
BOOL CJobApp::DisplaceEarlierJob() {
    CVlmLogStep step("MutuallyExclusive()");
    if (m_pImp->MutuallyExclusive())
        return TRUE;
    step.Abandon();
    Log().Write("MutuallyExclusive returns False --> application ends.");
    m_pImp->NotifyEvent(kEventAnotherJob, "Another Job has already started.\n",
                        "ModuleName : Kestrel\n", "Error Code = 1000");
    return FALSE;
}

void CJobApp::CreateJobDialog(CRun& run) {
    run.m_pDlg.reset(new (std::nothrow) CVX410JobDlg());
    if (!run.m_pDlg)
        throw CStartupText{"no memory"};
}

void CJobApp::InitLocalization() {
    CVlmLogStep step("Initialize localize function()");
    VlmLocalizeInit(kCatalogue, TRUE);
}

void CJobApp::ReadCommandLine(const CVlmProfile& profile) {
    {
        CVlmLogStep step("AnalyzeArgument()");
        AnalyzeArgument();
    }
    Log().Write("%s %s", m_strStiDevice.c_str(), m_strStiEvent.c_str());
    if (profile.GetInt(kSection, "DeviceID", 0)) {
        VlmMessageBoxTop(nullptr, m_strStiDevice.c_str(), "DeviceID", MB_OK);
        VlmMessageBoxTop(nullptr, m_strStiEvent.c_str(), "EventID", MB_OK);
    }
}

void CJobApp::InitPanelMessages() {
    const std::string catalogue = GetProgramFolder() + "\\" + kCatalogue;
    m_pImp->DispMessageToScaner_init(catalogue.c_str(), 0);
}

void CJobApp::ShowPleaseWait() {
    const std::string wait = VlmLocalize("Please wait.");
    if (IsStartedByScanner()) {
        m_pImp->ShowPanelMessage(wait.c_str());
    } else {
        m_pImp->OnStartNotFromScanner(0);
        DispMessage(wait.c_str(), FALSE);
    }
}

void CJobApp::CreateToolMutex() {
    // Created, not owned: its existence says a runner lives.
    m_hToolMutex.Attach(CreateMutexA(nullptr, FALSE, m_pImp->GetToolMutexName()));
    if (!m_hToolMutex)
        throw CStartupText{"no memory"};
}

// The job the user picked on the panel, or the registry's "JobNumber"
// override; recorded as the store's last job.
long CJobApp::ReadSelectedJobNumber(const CVlmProfile& profile) {
    long nJob = 0;
    {
        CVlmLogStep step("GetSelectedJobNo()");
        nJob = GetSelectedJobNo();
        if (int nOverride = profile.GetInt(kSection, "JobNumber", 0)) {
            char text[64];
            wsprintfA(text, "Job Number is %d", nOverride);
            VlmMessageBoxTop(nullptr, text, text, MB_OK);
            nJob = nOverride;
        }
        m_pImp->SetLastJobNum(nJob);
    }
    Log().Write("JobNumber is %d", static_cast<int>(nJob));
    return nJob;
}

// The service leaves the scanner to this job.
void CJobApp::ClaimScanner() {
    CVlmLogStep step("StiLock");
    StiLock();
}

// FALSE when no job is registered under the number. A number the store
// cannot hold (the service answers 0 when it cannot read the panel) is no
// registered job either, not a store failure.
BOOL CJobApp::LoadJob(CRun& run, long nJob) {
    if (!vlm::IsJobNumber(nJob)) {
        Log().Write("JobNumber %d is outside %ld..%ld", static_cast<int>(nJob), vlm::kMinJobNumber,
                    vlm::kMaxJobNumber);
        return FALSE;
    }
    run.m_pJob = FindJob(GetJobStore(), nJob);
    return run.m_pJob != nullptr;
}

void CJobApp::FillJobSettings(CRun& run, long nJob) {
    JobSettings& settings = run.Dlg().m_Settings;
    settings.m_nJobNumber = nJob;
    JobLoadHooks hooks;
    hooks.m_fnLog = &LogLine;
    hooks.m_fnPicturesFolder = [this] { return GetMyPicturesFolder(m_pImp->GetModelName()); };
    LoadJobSettings(settings, run.m_pStore, run.m_pJob, hooks);
    m_JobTypeID = settings.m_nFunctionId;
    char notice[512];
    snprintf(notice, sizeof notice, " Job Number  : %d\n Function      : %s\n",
             static_cast<int>(nJob), settings.m_strFunctionName.c_str());
    m_pImp->NotifyEvent(kEventJobStarted, "The Job is started\n", " ModuleName : Kestrel\n",
                        notice);
}

// FALSE: the job's function is none this runner knows; refused. A print job
// gets its printer here, after its function is logged.
BOOL CJobApp::CheckFunction(CRun& run) {
    switch (m_JobTypeID) {
    case SCAN_TO_PC:
        Log().Write("SCAN_TO_PC");
        return TRUE;
    case SCAN_TO_MAIL:
        Log().Write("SCAN_TO_MAIL");
        return TRUE;
    case SCAN_TO_PC_RUNAPP:
        Log().Write("SCAN_TO_PC_RUNAPP");
        return TRUE;
    case SCAN_TO_MAPI:
        Log().Write("SCAN_TO_MAPI");
        return TRUE;
    case SCAN_TO_PR:
        Log().Write("SCAN_TO_PR");
        if (!SetPrintInformation(run.m_pJob, run.Dlg().m_Settings))
            throw CStartupText{VlmLocalize("Can't initialize printer.")};
        return TRUE;
    default: {
        const std::string text = VlmLocalize("Can't run job.");
        m_pImp->ShowPanelError(text.c_str());
        ShowFailure(text.c_str(), MB_ICONSTOP);
        run.ReleaseCom();
        return FALSE;
    }
    }
}

// The save folder and its warnings; FALSE ends the run.
BOOL CJobApp::PrepareSaveFolder(CRun& run) {
    CVlmLogStep step("if ((m_JobTypeID!=SCAN_TO_PR) && ((short)Job->Getdata(\"save\")))  ");
    JobSettings& settings = run.Dlg().m_Settings;
    if (m_JobTypeID == SCAN_TO_PR)
        return TRUE;
    if (!settings.m_bSave) {
        settings.m_strSaveFolder.clear();
        return TRUE;
    }
    const EStartupFolders check = CheckFoldersAtStartup(
        {GetJobStore(), m_JobTypeID, settings.m_strSaveFolder, IsStartedByScanner(),
         m_pImp->GetModelName(),
         [this](const char* text, BOOL bError) {
             bError ? m_pImp->ShowPanelError(text) : m_pImp->ShowPanelMessage(text);
         }},
        run.Dlg().m_FolderWarnings);
    if (check == EStartupFolders::Proceed)
        return TRUE;
    step.Abandon();
    Log().Write("ComModule release start");
    run.ReleaseCom();
    Log().Write("ComModule release end");
    if (check == EStartupFolders::Declined)
        m_pImp->ShowPanelMessage(VlmLocalize("Canceled").c_str());
    return FALSE;
}

// Hands the store and job to the dialog and runs it as the main window (the
// scan engine sends its page messages there).
INT_PTR CJobApp::RunJobDialog(CRun& run) {
    CJobDlg& dlg = run.Dlg();
    dlg.m_Settings.m_pStore = std::move(run.m_pStore);
    dlg.m_Settings.m_pJob = std::move(run.m_pJob);
    dlg.m_Settings.m_strTwainDsName = m_pImp->GetTwainDsName();
    Log().Write("TwainDsName is %s", dlg.m_Settings.m_strTwainDsName.c_str());
    INT_PTR rc = 0;
    {
        CVlmLogStep step("DoModal");
        rc = dlg.DoModalAsMainWindow();
    }
    if (rc == -1)
        Log().Write("DoModal failed (error %lu)", GetLastError());
    return rc;
}

// After the dialog: the job and store go, the scanner goes back to the
// service, then the dialog goes.
void CJobApp::ReleaseJob(CRun& run) {
    {
        CVlmLogStep step("Com Module Release");
        run.Dlg().m_Settings.ReleaseCom();
        run.ReleaseCom();
    }
    {
        CVlmLogStep step("StiUnLock");
        StiUnLock();
    }
    {
        CVlmLogStep step("NcStiUnLock");
        m_pImp->NcStiUnLock(&run.Dlg());
    }
    run.m_pDlg.reset();
}

void CJobApp::DeliverRecovered(CRun& run, const std::string& folder) {
    Log().Write("DeliverRecovered %s", folder.c_str());
    m_bRedelivery = TRUE;
    CreateJobDialog(run);
    InitLocalization();
    vlm::RecoveryRecord r;
    if (!vlm::ReadRecoveryManifest(folder, r))
        throw CStartupText{VlmLocalize("The recovered scans cannot be found.")};
    CreateToolMutex(); // the editor leaves the job alone meanwhile
    if (!LoadJob(run, r.m_nJob)) {
        ShowFailure(VlmLocalize("Job is not registered.").c_str(), MB_ICONEXCLAMATION);
        run.ReleaseCom();
        m_nExitCode = 2;
        return;
    }
    FillJobSettings(run, r.m_nJob);
    if (!CheckFunction(run) || !PrepareSaveFolder(run))
        return;
    run.Dlg().SetRecoveredJob(folder, r);
    const INT_PTR rc = RunJobDialog(run);
    const BOOL bDelivered = run.Dlg().IsDelivered();
    ReleaseJob(run);
    m_nExitCode = rc != -1 && bDelivered ? 0 : 3;
}

void CJobApp::ReportNotRegistered(CRun& run) {
    if (IsStartedByScanner()) {
        Sleep(1000);
        m_pImp->ShowPanelError(VlmLocalize("Job is not registered").c_str());
    } else {
        StiUnLock();
        const std::string title = VlmLocalize("Job is not registered.");
        m_pImp->ShowPanelError(title.c_str());
        m_pImp->ShowNotRegistered(
            title.c_str(), VlmLocalize("Register a job using the Taskdeck Registrar.").c_str());
    }
    run.ReleaseCom();
    m_nExitCode = 2;
}

int CJobApp::ExitInstance() {
    {
        CVlmLogStep exit("ExitInstance");
        {
            CVlmLogStep step("StiUnLock");
            try {
                StiUnLock();
            } catch (const CComError& e) {
                Log().Write("%s", e.Message().c_str());
            }
        }
        m_hToolMutex.Close();
        m_pImp.reset();
    }
    Log().Close();
    return CVlmApp::ExitInstance();
}
