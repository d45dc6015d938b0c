#include "editor/MailSettingPage.h"

#include "FunctionPages_res.h"
#include "editor/EditorError.h"
#include "editor/EditorText.h"
#include "editor/MailAddressDlg.h"
#include "editor/core/AddressList.h"

namespace {
constexpr size_t kMaxMailText = 1000; // subject and body
} // namespace

CMailSettingPage::CMailSettingPage(CJobRegGUISettings* pSettings)
    : CFunctionPage(IDD_MAIL_PAGE, pSettings, SCAN_TO_MAIL) {}

std::unique_ptr<CJobEditPage> CreateMailPage(CJobRegGUISettings* pSettings) {
    return std::make_unique<CMailSettingPage>(pSettings);
}

void CMailSettingPage::Load(IJobData* pJob) {
    if (!IsPageFunction(pJob))
        return;
    m_strSend = JobGetString(pJob, vlm::kKeySend);
    m_strFrom = JobGetString(pJob, vlm::kKeyFrom);
    m_strText = JobGetString(pJob, vlm::kKeyText);
    m_strSubject = JobGetString(pJob, vlm::kKeySubject);
}

void CMailSettingPage::Save(IJobData* pJob) {
    JobSetValue(pJob, vlm::kKeySend, CVariant(m_strSend.c_str()));
    JobSetValue(pJob, vlm::kKeyFrom, CVariant(m_strFrom.c_str()));
    JobSetValue(pJob, vlm::kKeyText, CVariant(m_strText.c_str()));
    JobSetValue(pJob, vlm::kKeySubject, CVariant(m_strSubject.c_str()));
}

BOOL CMailSettingPage::Validate(IJobData*) {
    // Only that a box is filled: the addresses' form is the server's affair.
    if (m_strSend.empty()) {
        ::SetFocus(GetDlgItem(IDC_MAIL_SEND));
        EdThrowText("Input Mail Address.");
    }
    if (m_strFrom.empty()) {
        ::SetFocus(GetDlgItem(IDC_MAIL_FROM));
        EdThrowText("Input Reply-to Address.");
    }
    return TRUE;
}

BOOL CMailSettingPage::OnInitDialog() {
    EdSetText(m_hWnd, IDC_MAIL_SEND_LABEL, "Mail add&ress");
    EdSetText(m_hWnd, IDC_MAIL_ADD, "&Add...");
    EdSetText(m_hWnd, IDC_MAIL_FROM_LABEL, "Re&ply-to address");
    EdSetText(m_hWnd, IDC_MAIL_SUBJECT_LABEL, "S&ubject");
    EdSetText(m_hWnd, IDC_MAIL_TEXT_LABEL, "Te&xt");
    ::SendMessageA(GetDlgItem(IDC_MAIL_SUBJECT), EM_LIMITTEXT, kMaxMailText, 0);
    ::SendMessageA(GetDlgItem(IDC_MAIL_TEXT), EM_LIMITTEXT, kMaxMailText, 0);
    // The job's texts are shown as they are, even a list longer than the
    // boxes accept from the user.
    m_bSettingText = true;
    UpdateData(FALSE);
    m_bSettingText = false;
    m_strSendShown = m_strSend;
    m_strFromShown = m_strFrom;
    return TRUE;
}

void CMailSettingPage::DoDataExchange(CVlmDataExchange& dx) {
    DDX_Text(dx, IDC_MAIL_SEND, m_strSend);
    DDX_Text(dx, IDC_MAIL_FROM, m_strFrom);
    CheckControls(dx);
    // The boxes take no more from the keyboard; a job's longer text is refused.
    DDX_TextMax(dx, IDC_MAIL_SUBJECT, m_strSubject, kMaxMailText);
    DDX_TextMax(dx, IDC_MAIL_TEXT, m_strText, kMaxMailText);
}

BOOL CMailSettingPage::OnCommand(WPARAM wParam, LPARAM lParam) {
    const int id = LOWORD(wParam);
    const int code = HIWORD(wParam);
    if (id == IDC_MAIL_SEND && code == EN_CHANGE)
        OnAddressChange(id, m_strSendShown);
    else if (id == IDC_MAIL_FROM && code == EN_CHANGE)
        OnAddressChange(id, m_strFromShown);
    else if (id == IDC_MAIL_ADD && code == BN_CLICKED)
        OnAdd();
    else
        return CFunctionPage::OnCommand(wParam, lParam);
    return TRUE;
}

void CMailSettingPage::OnAddressChange(int nId, std::string& previous) {
    if (m_bSettingText)
        return;
    const std::string text = GetDlgItemText(nId);
    if (!plover::HasTooManyAddresses(text)) {
        previous = text;
        return;
    }
    EdMessageBox(m_hWnd, EdText("Over Max Number Of Registration"), "Warning", MB_OK);
    m_bSettingText = true;
    SetDlgItemText(nId, previous.c_str());
    m_bSettingText = false;
    ::SendMessageA(GetDlgItem(nId), EM_SETSEL, previous.size(), previous.size());
}

void CMailSettingPage::OnAdd() {
    CMailAddressDlg dlg(m_hWnd, GetDlgItemText(IDC_MAIL_SEND));
    if (dlg.DoModal() == IDOK)
        SetDlgItemText(IDC_MAIL_SEND, dlg.GetAddresses().c_str());
}
