// corvid.exe, the job list tool: one modal window over the job store.
#pragma once
#include "framework/App.h"

class CVX420CorvidApp : public CVlmApp {
public:
    // Start-up, the window, and the end: always answers FALSE (no message
    // loop after the window).
    BOOL InitInstance() override;

private:
    void OpenRunLog();
    void InitLocalize();
    void RunWindow();
};
