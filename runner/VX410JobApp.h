// The VX-410 model part of the runner.
#pragma once

#include "runner/JobAppImp.h"

#include "common/SharedLibrary.h"
#include "components/panel-text/slmsg.h"

class CJobApp;

class CVX410JobApp : public CJobAppImp {
public:
    static const char kJobDialogCaption[];

    explicit CVX410JobApp(CJobApp& app);
    ~CVX410JobApp() override;

    BOOL MutuallyExclusive() override;
    const char* GetModelName() override { return "VX-410"; }
    const char* GetTempFolderName() override {
        return "VX410JOB_83D649F0-02A1-4a3f-BB2A-B312F6B8E49";
    }
    const char* GetSettingsFileName() override { return "VX410SETTINGS"; }
    const char* GetErrorModeMessageName() override { return "VX410_StatusDialog_ErrorMode"; }
    const char* GetTwainDsName() override { return "Velmora VX-410 TWAIN"; }
    const char* GetToolMutexName() override {
        return "VX410-Taskdeck-83D649F0-02A1-4a3f-BB2A-B312F6B8E49";
    }
    const char* GetServicePipeName() override { return "VX-410 Service Pipe for Kestrel"; }
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
    CJobApp& m_app;
    // The message translator record.
    CVlmLibrary m_slmsg;
    std::string m_strTranslatorText;
    long m_nPanelSetting = 0;
    PFN_GetScannerMessage m_pfnGetScannerMessage = nullptr;
};
