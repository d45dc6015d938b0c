// The VX-410 model part of the runner.
#pragma once

#include "runner/JobAppImp.h"

#include "common/SharedLibrary.h"
#include "components/panel-text/slmsg.h"
#include "runner/VX410Names.h"

class CVX410JobApp : public CJobAppImp {
public:
    explicit CVX410JobApp(CJobAppHost& host);
    ~CVX410JobApp() override;

    BOOL MutuallyExclusive() override;
    const char* GetModelName() override { return vx410::kModelName; }
    const char* GetTempFolderName() override { return vx410::kTempFolderName; }
    const char* GetSettingsFileName() override { return vx410::kSettingsFileName; }
    const char* GetErrorModeMessageName() override { return vx410::kErrorModeMessageName; }
    const char* GetTwainDsName() override { return vx410::kTwainDsName; }
    const char* GetToolMutexName() override { return vx410::kToolMutexName; }
    const char* GetServicePipeName() override { return vx410::kServicePipeName; }
    long GetModelIndex() override { return 0; }
    void OnStiLock() override {}
    void OnStiUnLock() override {}
    void NcStiUnLock(CJobDlg*) override {}
    void ShowPanelMessage(const char* text) override { DispMessageToScaner(text, FALSE); }
    void ShowPanelError(const char* text) override { DispMessageToScaner(text, TRUE); }
    long FilterJobNumber(long nJob) override { return nJob; }
    void NotifyEvent(DWORD, const char*, const char*, const char*) override {}
    void SetLastJobNum(long nJob) override;
    void ShowNotRegistered(const char* title, const char* text) override;
    void DispMessageToScaner(const char* text, BOOL bIsError) override;
    void DispMessageToScaner_init(const char* path, long value) override;

private:
    CJobAppHost& m_host;
    // The message translator record.
    CVlmLibrary m_slmsg;
    std::string m_strTranslatorText;
    long m_nPanelSetting = 0;
    PFN_GetScannerMessage m_pfnGetScannerMessage = nullptr;
};
