// The job dialog: hidden, run modally by start-up; receives the scan engine's
// messages. The scan session itself is not built yet: the dialog says so in
// the run log and ends, so that start-up releases the job normally.
#pragma once

#include <windows.h>

#include "common/JobRecord.h"
#include "framework/Dialog.h"

class CJobDlg : public CVlmDialog {
public:
    explicit CJobDlg(UINT nIdTemplate);
    ~CJobDlg() override;

    JobSettings m_Settings;
    // How the dialog ended: set by the close request of a newer runner.
    BOOL m_bClosedByRequest = FALSE;

protected:
    BOOL OnInitDialog() override;
    void OnOK() override {}     // Enter never ends a job
    void OnCancel() override {} // neither does Escape
    virtual const char* GetCaption() const = 0;
    LRESULT OnRequestClose(WPARAM, LPARAM);
};

class CVX410JobDlg : public CJobDlg {
public:
    CVX410JobDlg();

protected:
    const char* GetCaption() const override;
};

constexpr UINT IDD_JOB_DIALOG = 100;
