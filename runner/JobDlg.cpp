#include "runner/JobDlg.h"

#include "common/VlmLog.h"
#include "contracts/WindowMessages.h"
#include "runner/VX410Names.h"

CJobDlg::CJobDlg(UINT nIdTemplate) : CVlmDialog(nIdTemplate) {
    // Never shown: the dialog manager would show a modal dialog on its own.
    OnMsg(WM_WINDOWPOSCHANGING, [](WPARAM, LPARAM l) -> LRESULT {
        reinterpret_cast<WINDOWPOS*>(l)->flags &= ~SWP_SHOWWINDOW;
        return 0;
    });
    OnMsg(WM_VLM_REQUEST_CLOSE, [this](WPARAM w, LPARAM l) { return OnRequestClose(w, l); });
    OnMsg(WM_VLM_JOB_START, [this](WPARAM, LPARAM) -> LRESULT {
        // The job session (scan, page files, delivery) is not built yet: no
        // scan is pretended, the job ends here and start-up releases it.
        CVlmLog::Instance().Write("CJobDlg: job session not built yet; job %ld (%s) ends without "
                                  "scanning",
                                  m_Settings.m_nJobNumber, m_Settings.m_strFunctionName.c_str());
        EndDialog(IDOK);
        return 0;
    });
}

CJobDlg::~CJobDlg() = default;

BOOL CJobDlg::OnInitDialog() {
    CVlmLog::Instance().Write("CJobDlg::OnInitDialog() start");
    // A later runner finds this dialog by its caption.
    SetWindowTextA(m_hWnd, GetCaption());
    PostMessageA(m_hWnd, WM_VLM_JOB_START, 0, 0);
    CVlmLog::Instance().Write("CJobDlg::OnInitDialog() end");
    return TRUE;
}

LRESULT CJobDlg::OnRequestClose(WPARAM, LPARAM) {
    CVlmLog::Instance().Write("CJobDlg::OnRequestClose()");
    m_bClosedByRequest = TRUE;
    EndDialog(IDCANCEL);
    return 0;
}

CVX410JobDlg::CVX410JobDlg() : CJobDlg(IDD_JOB_DIALOG) {}

const char* CVX410JobDlg::GetCaption() const {
    return vx410::kJobDialogCaption;
}
