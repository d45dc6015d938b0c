#include "editor/MailAddressDlg.h"

#include <vector>

#include "FunctionPages_res.h"
#include "editor/EditorText.h"
#include "editor/core/AddressList.h"

CMailAddressDlg::CMailAddressDlg(HWND hParent, std::string addresses)
    : CVlmDialog(IDD_MAIL_ADDRESS, hParent, EdInstance()), m_strAddresses(std::move(addresses)) {}

BOOL CMailAddressDlg::OnInitDialog() {
    EdSetDialogTexts(m_hWnd, "Add");
    EdSetText(m_hWnd, IDC_ADDR_EDIT_LABEL, "Add addr&ess");
    EdSetText(m_hWnd, IDC_ADDR_ADD, "&Add");
    EdSetText(m_hWnd, IDC_ADDR_LIST_LABEL, "Mail add&ress");
    EdSetText(m_hWnd, IDC_ADDR_DELETE, "&Delete");
    HWND list = GetDlgItem(IDC_ADDR_LIST);
    for (const std::string& entry : plover::SplitAddressList(m_strAddresses))
        ::SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
    return TRUE;
}

BOOL CMailAddressDlg::OnCommand(WPARAM wParam, LPARAM lParam) {
    switch (LOWORD(wParam)) {
    case IDC_ADDR_ADD:
        if (HIWORD(wParam) == BN_CLICKED)
            OnAdd();
        return TRUE;
    case IDC_ADDR_DELETE:
        if (HIWORD(wParam) == BN_CLICKED)
            OnDelete();
        return TRUE;
    case IDC_ADDR_LIST:
        if (HIWORD(wParam) == LBN_SELCHANGE)
            OnSelectEntry();
        return TRUE;
    default:
        return CVlmDialog::OnCommand(wParam, lParam);
    }
}

std::string CMailAddressDlg::EntryText(int index) const {
    HWND list = GetDlgItem(IDC_ADDR_LIST);
    const LRESULT n = ::SendMessageA(list, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
    if (n == LB_ERR)
        return std::string();
    std::string text(static_cast<size_t>(n) + 1, '\0');
    const LRESULT got = ::SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(index),
                                       reinterpret_cast<LPARAM>(&text[0]));
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return text;
}

int CMailAddressDlg::EntryCount() const {
    const LRESULT n = ::SendMessageA(GetDlgItem(IDC_ADDR_LIST), LB_GETCOUNT, 0, 0);
    return n > 0 ? static_cast<int>(n) : 0;
}

void CMailAddressDlg::OnAdd() {
    const std::string text = GetDlgItemText(IDC_ADDR_EDIT);
    if (plover::IsAddableAddress(text))
        ::SendMessageA(GetDlgItem(IDC_ADDR_LIST), LB_ADDSTRING, 0,
                       reinterpret_cast<LPARAM>(text.c_str()));
    SetDlgItemText(IDC_ADDR_EDIT, "");
    m_strPicked.clear();
}

void CMailAddressDlg::OnDelete() {
    HWND list = GetDlgItem(IDC_ADDR_LIST);
    const LRESULT sel = ::SendMessageA(list, LB_GETCURSEL, 0, 0);
    if (sel != LB_ERR)
        ::SendMessageA(list, LB_DELETESTRING, static_cast<WPARAM>(sel), 0);
    SetDlgItemText(IDC_ADDR_EDIT, "");
    m_strPicked.clear();
    ::SendMessageA(list, LB_SETCURSEL, 0, 0);
}

void CMailAddressDlg::OnSelectEntry() {
    const LRESULT sel = ::SendMessageA(GetDlgItem(IDC_ADDR_LIST), LB_GETCURSEL, 0, 0);
    if (sel == LB_ERR)
        return;
    m_strPicked = EntryText(static_cast<int>(sel));
    SetDlgItemText(IDC_ADDR_EDIT, m_strPicked.c_str());
}

void CMailAddressDlg::OnOK() {
    // Text typed into the add box is added first; an entry that was only
    // picked from the list (copied there, unchanged) is in the list already.
    const std::string text = GetDlgItemText(IDC_ADDR_EDIT);
    if (!text.empty() && text != m_strPicked) {
        OnAdd();
        return;
    }
    const int count = EntryCount();
    if (static_cast<size_t>(count) > plover::kMaxMailAddresses) {
        EdMessageBox(m_hWnd, EdText("Over Max Number Of Registration"), "Warning",
                     MB_OK | MB_ICONWARNING);
        return;
    }
    std::vector<std::string> entries;
    for (int i = 0; i < count; ++i)
        entries.push_back(EntryText(i));
    m_strAddresses = plover::JoinAddressList(entries);
    EndDialog(IDOK);
}
