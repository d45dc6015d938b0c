// kestrel's application object: the whole job runs inside InitInstance.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "framework/App.h"
#include "framework/Handles.h"
#include "runner/JobAppImp.h"
#include "runner/JobPipeClient.h"
#include "runner/JobSessionHost.h"

class CJobDlg;
class CVlmProfile;

// A text thrown by a start-up step; shown as it is.
struct CStartupText {
    std::string m_strText;
};

class CJobApp : public CVlmApp, public CJobSessionHost, private CJobAppHost {
public:
    CJobApp();
    ~CJobApp() override;

    BOOL InitInstance() override;
    int ExitInstance() override;

    CJobAppImp* GetImp() const override { return m_pImp.get(); }
    BOOL IsStartedByScanner() const override;
    const std::string& GetStiDeviceName() const override { return m_strStiDevice; }
    const std::string& GetStiEventId() const { return m_strStiEvent; }

    // The panel path of the job session: nothing while the panel is locked.
    void DispMessage(const char* text, BOOL bIsError) override;
    void SetPanelLock(BOOL bLock) override { m_bPanelLock = bLock; }

    // The service channel.
    long GetSelectedJobNo();
    void StiLock();
    void StiUnLock() override;

    long m_JobTypeID = -1;

private:
    struct CRun;

    IJobStore* GetJobStore() override;

    // Start-up, one function per step, in the order RunStartup calls them.
    void RunStartup();
    void OpenRunLog(const CVlmProfile& profile);
    void CreateModelPart();
    BOOL DisplaceEarlierJob();
    void CreateJobDialog(CRun& run);
    void InitLocalization();
    void ReadCommandLine(const CVlmProfile& profile);
    void AnalyzeArgument();
    void InitPanelMessages();
    void ShowPleaseWait();
    void CreateToolMutex();
    long ReadSelectedJobNumber(const CVlmProfile& profile);
    void ClaimScanner();
    BOOL LoadJob(CRun& run, long nJob);
    void FillJobSettings(CRun& run, long nJob);
    BOOL CheckFunction(CRun& run);
    BOOL PrepareSaveFolder(CRun& run);
    INT_PTR RunJobDialog(CRun& run);
    void ReleaseJob(CRun& run);
    void ReportNotRegistered(CRun& run);
    // Instead of a scan: the pages of a recovered job, delivered again with
    // the job's settings as they are now.
    void DeliverRecovered(CRun& run, const std::string& folder);

    void ShowFailure(const char* text, UINT flags);

    vlm::CHandle m_hToolMutex;
    std::string m_strStiDevice;
    std::string m_strStiEvent;
    BOOL m_bPanelLock = FALSE;
    // Delivering a recovered job: nothing on the panel, errors in message boxes.
    BOOL m_bRedelivery = FALSE;
    BOOL m_bStiLocked = FALSE;
    std::unique_ptr<CJobAppImp> m_pImp;
    CJobPipeClientBetweenServieAndKestrel m_pipe;
    CRun* m_pRun = nullptr; // the run in progress, inside InitInstance only
};

CJobApp& GetJobApp();
