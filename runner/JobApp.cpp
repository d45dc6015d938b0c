#include "runner/JobApp.h"

#include <objbase.h>
#include <ole2.h>

#include "common/JobRecord.h"
#include "common/Localize.h"
#include "common/VlmLog.h"
#include "framework/ComError.h"
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

// OLE on top of COM for the hosted controls of the job session.
class COleInitialize {
public:
    COleInitialize() : m_hr(OleInitialize(nullptr)) {}
    ~COleInitialize() {
        if (SUCCEEDED(m_hr))
            OleUninitialize();
    }
    COleInitialize(const COleInitialize&) = delete;
    COleInitialize& operator=(const COleInitialize&) = delete;

private:
    HRESULT m_hr;
};

// Everything start-up holds, released in the order the job's end requires.
struct CStartupHold {
    std::unique_ptr<CJobDlg> m_pDlg;
    CComPtr<IJobStore> m_pStore;
    CComPtr<IJobData> m_pJob;
    void ReleaseCom() {
        if (m_pDlg) {
            m_pDlg->m_Settings.m_pJob.Release();
            m_pDlg->m_Settings.m_pStore.Release();
        }
        m_pJob.Release();
        m_pStore.Release();
    }
};

} // namespace

// ---- CComInitialize --------------------------------------------------------

CComInitialize::CComInitialize() : m_hr(CoInitialize(nullptr)) {}

CComInitialize::~CComInitialize() {
    Log().Write("~CComInitialize() start");
    if (SUCCEEDED(m_hr)) {
        Log().Write("CoUninitialize() start");
        CoUninitialize();
        Log().Write("CoUninitialize() end");
    }
    Log().Write("~CComInitialize() end");
}

// ---- CJobApp ---------------------------------------------------------------

CJobApp::CJobApp() = default;
CJobApp::~CJobApp() = default;

CJobApp& GetJobApp() {
    return *static_cast<CJobApp*>(CVlmApp::GetApp());
}

BOOL CJobApp::IsStartedByScanner() const {
    return kestrel::IsScannerEvent(m_strStiEvent);
}

void CJobApp::AnalyzeArgument() {
    std::vector<std::string> args;
    for (int i = 1; i < __argc; ++i)
        args.push_back(__argv[i]);
    kestrel::StiArguments parsed = kestrel::ParseStiArguments(args);
    m_strStiDevice = parsed.m_strDevice;
    m_strStiEvent = parsed.m_strEvent;
}

void CJobApp::DispMessage(const char* text, BOOL bIsError) {
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
    const char* caption = m_pImp ? m_pImp->GetModelName() : "VX-410";
    VlmMessageBoxTop(nullptr, text, caption, flags | MB_TOPMOST | MB_SETFOREGROUND);
}

BOOL CJobApp::InitInstance() {
    // Step 1. COM lives until the last reference of the job is gone.
    CComInitialize com;
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

void CJobApp::RunStartup() {
    CVlmProfile profile;
    // Step 2.
    if (profile.GetInt(kSection, "WriteLog", 0)) {
        std::string name = profile.GetString(kSection, "LogFileName", VlmDefaultLogName().c_str());
        Log().Open(name.c_str());
        const std::string dashes(78, '-');
        Log().Write("%s", dashes.c_str());
        Log().Write(
            "---------------Taskdeck\t Application Start\t\t------------------------------");
        Log().Write("%s", dashes.c_str());
        Log().Write("InitInstance() start");
    }

    // Step 3.
    m_pImp.reset(new (std::nothrow) CVX410JobApp(*this));
    if (!m_pImp)
        throw CStartupText{"no memory"};

    // Step 4.
    Log().Write("MutuallyExclusive() start");
    if (!m_pImp->MutuallyExclusive()) {
        Log().Write("MutuallyExclusive returns False --> application ends.");
        m_pImp->NotifyEvent(kEventAnotherJob, "Another Job has already started.\n",
                            "ModuleName : Kestrel\n", "Error Code = 1000");
        return;
    }
    Log().Write("MutuallyExclusive() end");

    // Step 5.
    CStartupHold hold;
    hold.m_pDlg.reset(new (std::nothrow) CVX410JobDlg());
    if (!hold.m_pDlg)
        throw CStartupText{"no memory"};

    // Step 6.
    Log().Write("Initialize localize function() start");
    VlmLocalizeInit(kCatalogue);
    Log().Write("Initialize localize function() end");

    // Step 7.
    Log().Write("AnalyzeArgument() start");
    AnalyzeArgument();
    Log().Write("AnalyzeArgument() end");
    Log().Write("%s %s", m_strStiDevice.c_str(), m_strStiEvent.c_str());
    if (profile.GetInt(kSection, "DeviceID", 0)) {
        VlmMessageBoxTop(nullptr, m_strStiDevice.c_str(), "DeviceID", MB_OK);
        VlmMessageBoxTop(nullptr, m_strStiEvent.c_str(), "EventID", MB_OK);
    }

    // Step 8.
    const std::string catalogue = GetProgramFolder() + "\\" + kCatalogue;
    m_pImp->DispMessageToScaner_init(catalogue.c_str(), 0);

    // Step 9.
    const std::string wait = VlmLocalize("Please wait.");
    if (IsStartedByScanner()) {
        m_pImp->ShowPanelMessage(wait.c_str());
    } else {
        m_pImp->OnStartNotFromScanner(0);
        DispMessage(wait.c_str(), FALSE);
    }

    // Step 10. Created, not owned: its existence says a runner lives.
    m_hToolMutex.Attach(CreateMutexA(nullptr, FALSE, m_pImp->GetToolMutexName()));
    if (!m_hToolMutex)
        throw CStartupText{"no memory"};

    // Step 11.
    Log().Write("GetSelectedJobNo() start");
    long nJob = GetSelectedJobNo();
    if (int nOverride = profile.GetInt(kSection, "JobNumber", 0)) {
        char text[64];
        wsprintfA(text, "Job Number is %d", nOverride);
        VlmMessageBoxTop(nullptr, text, text, MB_OK);
        nJob = nOverride;
    }
    m_pImp->SetLastJobNum(nJob);
    Log().Write("GetSelectedJobNo() end");
    Log().Write("JobNumber is %d", static_cast<int>(nJob));

    // Step 12.
    Log().Write("StiLock start");
    StiLock();
    Log().Write("StiLock end");

    // Step 13.
    hold.m_pStore = CreateJobStore(23);
    PrepareJobStore(hold.m_pStore, m_pImp->GetModelName(), m_pImp->GetModelIndex());
    HRESULT hr = hold.m_pStore->GetJob(nJob, &hold.m_pJob);
    ThrowIfFailed(hr, IID_IJobStore);
    if ((hr & 0xFFFF) == 2 || !hold.m_pJob) {
        // Step 20: not registered.
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
        hold.ReleaseCom();
        m_nExitCode = 2;
        return;
    }

    // Step 14.
    CJobDlg& dlg = *hold.m_pDlg;
    dlg.m_Settings.m_nJobNumber = nJob;
    Log().Write("set information to dlg class start");
    JobLoadHooks hooks;
    hooks.m_fnLog = [](const char* line) { Log().Write("%s", line); };
    hooks.m_fnPicturesFolder = [this] { return GetMyPicturesFolder(m_pImp->GetModelName()); };
    hooks.m_fnCheckPrintSettings = [&hold](JobSettings& s) {
        if (!SetPrintInformation(hold.m_pJob, s))
            throw CStartupText{VlmLocalize("Can't initialize printer.")};
    };
    LoadJobSettings(dlg.m_Settings, hold.m_pStore, hold.m_pJob, hooks);
    m_JobTypeID = dlg.m_Settings.m_nFunctionId;
    {
        char notice[512];
        snprintf(notice, sizeof notice, " Job Number  : %d\n Function      : %s\n",
                 static_cast<int>(nJob), dlg.m_Settings.m_strFunctionName.c_str());
        m_pImp->NotifyEvent(kEventJobStarted, "The Job is started\n", " ModuleName : Kestrel\n",
                            notice);
    }

    // Step 15.
    switch (m_JobTypeID) {
    case SCAN_TO_PC:
        Log().Write("SCAN_TO_PC");
        break;
    case SCAN_TO_MAIL:
        Log().Write("SCAN_TO_MAIL");
        break;
    case SCAN_TO_PC_RUNAPP:
        Log().Write("SCAN_TO_PC_RUNAPP");
        break;
    case SCAN_TO_MAPI:
        Log().Write("SCAN_TO_MAPI");
        break;
    case SCAN_TO_PR:
        Log().Write("SCAN_TO_PR");
        break;
    default: {
        const std::string text = VlmLocalize("Can't run job.");
        m_pImp->ShowPanelError(text.c_str());
        ShowFailure(text.c_str(), MB_ICONSTOP);
        hold.ReleaseCom();
        return;
    }
    }
    Log().Write("set information to dlg class end");

    // Step 16.
    Log().Write("if ((m_JobTypeID!=SCAN_TO_PR) && ((short)Job->Getdata(\"save\")))   start");
    if (m_JobTypeID != SCAN_TO_PR) {
        if (dlg.m_Settings.m_bSave) {
            const EStartupFolders check = CheckFoldersAtStartup(
                {hold.m_pStore, m_JobTypeID, dlg.m_Settings.m_strSaveFolder, IsStartedByScanner(),
                 m_pImp->GetModelName(),
                 [this](const char* text, BOOL bError) {
                     bError ? m_pImp->ShowPanelError(text) : m_pImp->ShowPanelMessage(text);
                 }},
                dlg.m_FolderWarnings);
            if (check != EStartupFolders::Proceed) {
                Log().Write("ComModule release start");
                hold.ReleaseCom();
                Log().Write("ComModule release end");
                if (check == EStartupFolders::Declined)
                    m_pImp->ShowPanelMessage(VlmLocalize("Canceled").c_str());
                return;
            }
        } else {
            dlg.m_Settings.m_strSaveFolder.clear();
        }
    }
    Log().Write("if ((m_JobTypeID!=SCAN_TO_PR) && ((short)Job->Getdata(\"save\")))   end");

    // Step 17.
    dlg.m_Settings.m_pStore = hold.m_pStore;
    dlg.m_Settings.m_pJob = hold.m_pJob;
    dlg.m_Settings.m_strTwainDsName = m_pImp->GetTwainDsName();
    Log().Write("TwainDsName is %s", dlg.m_Settings.m_strTwainDsName.c_str());
    Log().Write("DoModal start");
    INT_PTR rc = dlg.DoModal();
    SetMainWnd(nullptr);
    Log().Write("DoModal end");
    if (rc == -1)
        Log().Write("DoModal failed (error %lu)", GetLastError());

    // Step 18.
    Log().Write("Com Module Release start");
    hold.ReleaseCom();
    Log().Write("Com Module Release end");
    Log().Write("StiUnLock start");
    StiUnLock();
    Log().Write("StiUnLock end");
    Log().Write("NcStiUnLock start");
    m_pImp->NcStiUnLock(&dlg);
    Log().Write("NcStiUnLock end");
    hold.m_pDlg.reset();
    m_nExitCode = rc == -1 ? 1 : 0;
}

int CJobApp::ExitInstance() {
    Log().Write("ExitInstance start");
    Log().Write("StiUnLock start");
    try {
        StiUnLock();
    } catch (const CComError& e) {
        Log().Write("%s", e.Message().c_str());
    }
    Log().Write("StiUnLock end");
    m_hToolMutex.Close();
    m_pImp.reset();
    Log().Write("ExitInstance end");
    Log().Close();
    return CVlmApp::ExitInstance();
}
