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

// COM for the life of start-up; uninitialised only when it came up.
class CComInitialize {
public:
    CComInitialize();
    ~CComInitialize();
    CComInitialize(const CComInitialize&) = delete;
    CComInitialize& operator=(const CComInitialize&) = delete;
    HRESULT Result() const { return m_hr; }

private:
    HRESULT m_hr;
};

// A text thrown by a start-up step; shown as it is.
struct CStartupText {
    std::string m_strText;
};

class CJobApp : public CVlmApp, public CJobSessionHost {
public:
    CJobApp();
    ~CJobApp() override;

    BOOL InitInstance() override;
    int ExitInstance() override;

    CJobAppImp* GetImp() const override { return m_pImp.get(); }
    BOOL IsStartedByScanner() const override;
    const std::string& GetStiDeviceName() const { return m_strStiDevice; }
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
    void RunStartup();
    void AnalyzeArgument();
    void ShowFailure(const char* text, UINT flags);

    vlm::CHandle m_hToolMutex;
    std::string m_strStiDevice;
    std::string m_strStiEvent;
    BOOL m_bPanelLock = FALSE;
    BOOL m_bStiLocked = FALSE;
    std::unique_ptr<CJobAppImp> m_pImp;
    CJobPipeClientBetweenServieAndKestrel m_pipe;
};

CJobApp& GetJobApp();
