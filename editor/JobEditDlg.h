// The New/Editing dialog: one job's title, function, scanner settings and,
// through the function's child pages, the function's own settings. Values go
// into the job's object in the store as the user works; only OK commits.
#pragma once
#include <windows.h>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>
#include "editor/JobPages.h"

class CScan;

// One entry of the function list, in list order.
struct CJobFunction {
    long m_nId;
    const char* m_pszName;        // English; localised where shown
    const char* m_pszDescription; // English; localised where shown
};

// The functions in list order; nullptr for an id outside the table.
const CJobFunction* JobFunctionById(long nId);
const std::vector<CJobFunction>& JobFunctions();

// The pages a function shows, first to last. By default they come from the
// page factories of JobPages.h; a test host may put its own pages in (an
// empty factory brings the default back).
using JobEditPageFactory = std::function<std::vector<std::unique_ptr<CJobEditPage>>(
    CJobRegGUISettings* pSettings, long nFunctionId)>;
void SetJobEditPageFactory(JobEditPageFactory factory);

class CJobEditDlg : public CVlmDialog {
public:
    // Raises CComError (E_FAIL for job number 0, store failures) before any
    // window exists.
    CJobEditDlg(CJobRegGUISettings* pSettings, long nJobNo, BOOL bWithFunctionList);
    ~CJobEditDlg() override;

    // Runs the dialog; a failure while it is initialised is raised here
    // after the (never shown) window is gone.
    INT_PTR Run();

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

private:
    // The pages of one function, made when the function is first shown and
    // kept, so that switching back and forth keeps what was typed.
    struct CFunctionPages {
        std::vector<std::unique_ptr<CJobEditPage>> m_pages;
        BOOL m_bMade = FALSE;
    };

    void FillFunctionList();
    CFunctionPages& PagesOf(long nFunctionId); // raises for ids outside the table
    void MakePages(long nFunctionId, BOOL bLoad);
    void ShowFunction(long nFunctionId);
    void OnFunctionChanged();
    void OnSetting();
    BOOL ConfirmAndSave();

    CJobRegGUISettings* m_pSettings;
    CComPtr<IJobData> m_pJob;
    std::string m_strTitle;
    long m_nShownFunction = -1;
    CFunctionPages m_FunctionPages[9]; // by function id
    std::unique_ptr<CVlmDialog> m_pButtonBar;
    std::unique_ptr<CScan> m_pScan; // the data source's settings window ("&Setting...")
    std::exception_ptr m_initError;
    SIZE m_templateClient = {};
    int m_templateRight[7] = {}; // right edges of the controls from the title box to the separator
};
