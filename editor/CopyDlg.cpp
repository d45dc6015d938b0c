// CCopyDlg: copies a registered job to another number under a new or the same
// title, through the store's copy command.
#include <windows.h>
#include <commctrl.h>
#include <climits>
#include <cstdio>
#include "AdminDialogs_res.h"
#include "common/JobRecord.h"
#include "editor/EditorDialog.h"
#include "editor/EditorError.h"
#include "editor/EditorText.h"
#include "editor/JobPages.h"
#include "editor/TitleCheck.h"
#include "editor/core/AdminRules.h"
#include "framework/Variant.h"

namespace {

class CCopyDlg : public CEditorDialog {
public:
    CCopyDlg(CJobRegGUISettings* pSettings, long nSource, long nMin, long nMax)
        : CEditorDialog(IDD_COPY), m_pSettings(pSettings), m_nSource(nSource), m_nMin(nMin),
          m_nMax(nMax) {}

    // Before the window: the source must exist; the proposed destination and
    // the source's title become the first values.
    void Prepare() {
        IJobStore* store = m_pSettings->m_pJobStore;
        if (!store)
            EdCheck(E_POINTER);
        const CComPtr<IJobData> job = FindJob(store, m_nSource);
        if (!job)
            EdThrowText("The Job No. is not registered.");
        long dest = 0;
        EdCheck(store->GetCopyDestination(m_nSource, &dest));
        m_nDestination = static_cast<int>(dest);
        m_strTitle = JobGetString(job, vlm::kKeyTitle);
        long highest = 0;
        EdCheck(store->GetMaxJobNumber(&highest));
        m_Range = plover::EffectiveCopyRange(m_nMin, m_nMax, highest);
    }

protected:
    BOOL OnInitDialog() override {
        EdSetDialogTexts(m_hWnd, "Copy");
        EdSetText(m_hWnd, IDC_COPY_TO_LABEL, "&Copy to");
        EdSetText(m_hWnd, IDC_COPY_NO_LABEL, "No.");
        EdSetText(m_hWnd, IDC_COPY_TITLE_LABEL, "&Job title");
        char source[32];
        std::snprintf(source, sizeof source, EdText("No.%02d").c_str(),
                      static_cast<int>(m_nSource));
        SetDlgItemText(IDC_COPY_SOURCE, source);

        ::SendDlgItemMessageA(m_hWnd, IDC_COPY_SPIN, UDM_SETRANGE32, m_Range.lower, m_Range.upper);
        ::SendDlgItemMessageA(m_hWnd, IDC_COPY_DEST, EM_LIMITTEXT, 2, 0);
        ::SendDlgItemMessageA(m_hWnd, IDC_COPY_TITLE, EM_LIMITTEXT, EdTitleLimit(m_pSettings), 0);
        UpdateData(FALSE);
        ::SetFocus(GetDlgItem(IDC_COPY_TITLE));
        return FALSE; // the focus is set
    }

    void DoDataExchange(CVlmDataExchange& dx) override {
        DDX_Text(dx, IDC_COPY_DEST, m_nDestination);
        DDX_Text(dx, IDC_COPY_TITLE, m_strTitle, EdTitleLimit(m_pSettings));
    }

    void OnOK() override {
        ShowingErrors([this] {
            if (!EdConfirmTitle(m_hWnd, IDC_COPY_TITLE, m_pSettings, TRUE) || !TakeValues())
                return;
            const plover::CopyRange& range = m_Range;
            if (!range.Contains(m_nDestination)) {
                EdMessageBox(m_hWnd,
                             plover::FormatTwoNumbers(
                                 EdText("The copy destination entered is incorrect. Reenter the "
                                        "values for %1 and %2."),
                                 range.lower, range.upper),
                             "Error", MB_OK);
                return;
            }
            IJobStore* store = m_pSettings->m_pJobStore;
            if (FindJob(store, m_nDestination) &&
                EdMessageBox(m_hWnd, EdText("Job already exists. Would you want to overwrite?"),
                             "Confirmation", MB_YESNO | MB_ICONQUESTION) != IDYES)
                return;
            CBstr title(m_strTitle.c_str());
            EdCheck(store->CopyJob(m_nSource, m_nDestination, title));
            EndDialog(IDOK);
        });
    }

private:
    CJobRegGUISettings* m_pSettings;
    long m_nSource;
    long m_nMin;
    long m_nMax;
    plover::CopyRange m_Range{1, 0}; // the store's highest number when the dialog opens
    int m_nDestination = 0;
    std::string m_strTitle;
};

} // namespace

INT_PTR RunCopyDialog(CJobRegGUISettings* pSettings, long nSrcJobNo, BOOL bLimited, long nMin,
                      long nMax) {
    // The caller has refused bounds that are not a range ("max<=min", "min<0").
    if (!bLimited) {
        nMin = 0;
        nMax = LONG_MAX;
    }
    CCopyDlg dlg(pSettings, nSrcJobNo, nMin, nMax);
    dlg.Prepare();
    return dlg.DoModal();
}
