#include "editor/AppSettingPage.h"

#include <commdlg.h>

#include <string>

#include "FunctionPages_res.h"
#include "editor/EditorError.h"
#include "editor/EditorText.h"

namespace {
constexpr size_t kMaxAppPath = 260;
} // namespace

CAppSettingPage::CAppSettingPage(CJobRegGUISettings* pSettings)
    : CFunctionPage(IDD_APP_PAGE, pSettings, SCAN_TO_PC_RUNAPP) {}

std::unique_ptr<CJobEditPage> CreateAppPage(CJobRegGUISettings* pSettings) {
    return std::make_unique<CAppSettingPage>(pSettings);
}

void CAppSettingPage::Load(IJobData* pJob) {
    if (IsPageFunction(pJob))
        m_strAppPath = JobGetString(pJob, vlm::kKeyAppPath);
}

void CAppSettingPage::Save(IJobData* pJob) {
    JobSetValue(pJob, vlm::kKeyAppPath, CVariant(m_strAppPath.c_str()));
}

BOOL CAppSettingPage::Validate(IJobData*) {
    return TRUE;
}

BOOL CAppSettingPage::OnInitDialog() {
    EdSetText(m_hWnd, IDC_APP_PATH_LABEL, "&Application");
    EdSetText(m_hWnd, IDC_APP_SETTING, "Setti&ng...");
    EdSetText(m_hWnd, IDC_APP_CLEAR, "C&lear");
    OnCmd(IDC_APP_SETTING, [this] { OnSetting(); });
    OnCmd(IDC_APP_CLEAR, [this] { SetDlgItemText(IDC_APP_PATH, ""); });
    UpdateData(FALSE);
    return TRUE;
}

void CAppSettingPage::DoDataExchange(CVlmDataExchange& dx) {
    DDX_TextMax(dx, IDC_APP_PATH, m_strAppPath, kMaxAppPath);
}

void CAppSettingPage::OnSetting() {
    if (!UpdateData(TRUE))
        return;
    // "Program|*.exe|All Files|*.*||": the '|' become the list's NULs.
    std::string filter = EdText("Program|*.exe|All Files|*.*||");
    for (char& c : filter)
        if (c == '|')
            c = '\0';
    const std::string title = EdText("Please select the application to use.");
    char file[MAX_PATH + 1] = {};
    m_strAppPath.copy(file, MAX_PATH);
    OPENFILENAMEA ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = ::GetAncestor(m_hWnd, GA_ROOT);
    ofn.lpstrFilter = filter.c_str();
    ofn.lpstrFile = file;
    ofn.nMaxFile = sizeof file;
    ofn.lpstrTitle = title.c_str();
    ofn.lpstrDefExt = "exe";
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_EXPLORER;
    if (::GetOpenFileNameA(&ofn))
        SetDlgItemText(IDC_APP_PATH, file);
}
