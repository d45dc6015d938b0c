#include "jobedit_testpage.h"
#include <string>
#include "common/JobRecord.h"
#include "editor/EditorError.h"
#include "editor/EditorText.h"
#include "editor/JobEditDlg.h"
#include "jobedit_testpage_res.h"

namespace {
class CJobEditTestPage : public CJobEditPage {
public:
    CJobEditTestPage(CJobRegGUISettings* pSettings, long nFunctionId, int nIndex)
        : CJobEditPage(IDD_JOBEDIT_TESTPAGE, pSettings), m_nFunctionId(nFunctionId),
          m_nIndex(nIndex),
          m_strKey("testpage " + std::to_string(nFunctionId) + "." + std::to_string(nIndex)) {
        m_hInstance = EdInstance();
    }

    void Load(IJobData* pJob) override { m_strText = JobGetString(pJob, m_strKey.c_str()); }
    void Save(IJobData* pJob) override {
        JobSetValue(pJob, m_strKey.c_str(), CVariant(m_strText.c_str()));
    }
    BOOL Validate(IJobData*) override {
        if (m_strText != "invalid")
            return TRUE;
        ::SetFocus(GetDlgItem(IDC_JOBEDIT_TESTPAGE_EDIT));
        return FALSE;
    }

protected:
    BOOL OnInitDialog() override {
        ::SetWindowLongPtrA(m_hWnd, GWLP_ID,
                            IDC_JOBEDIT_TESTPAGE_FIRST + 2 * m_nFunctionId + m_nIndex);
        SetDlgItemText(IDC_JOBEDIT_TESTPAGE_LABEL, m_strKey.c_str());
        return CJobEditPage::OnInitDialog();
    }
    void DoDataExchange(CVlmDataExchange& dx) override {
        DDX_Text(dx, IDC_JOBEDIT_TESTPAGE_EDIT, m_strText);
    }

private:
    long m_nFunctionId;
    int m_nIndex;
    std::string m_strKey;
    std::string m_strText;
};
} // namespace

void InstallJobEditTestPages(int nMode) {
    SetJobEditPageFactory([nMode](CJobRegGUISettings* pSettings, long nFunctionId) {
        if (nMode == 2 && nFunctionId == SCAN_TO_MAPI)
            EdThrowText("The test page cannot be made.");
        // As many pages as the function's real ones: "Send by E-Mail" and
        // "Open by Application" two, the other scanning functions one.
        const int count = nFunctionId == 1 || nFunctionId == 3 ? 2 : nFunctionId <= 4 ? 1 : 0;
        std::vector<std::unique_ptr<CJobEditPage>> pages;
        for (int i = 0; i < count; ++i)
            pages.push_back(std::make_unique<CJobEditTestPage>(pSettings, nFunctionId, i));
        return pages;
    });
}
