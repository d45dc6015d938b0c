#include "tool/RecoveredDlg.h"

#include <commctrl.h>
#include <shellapi.h>

#include "common/Localize.h"
#include "common/VlmLog.h"
#include "common/portable/JobVocabulary.h"
#include "framework/Handles.h"
#include "framework/MessageBox.h"
#include "contracts/RecoveredScans.h"
#include "tool/resource.h"

namespace {

std::string T(const char* english) {
    return VlmLocalize(english);
}

enum { kColJob, kColTitle, kColTime, kColPages, kColReason };

} // namespace

CRecoveredDlg::CRecoveredDlg(HWND hParent, std::string runner)
    : CVlmDialog(IDD_RECOVERED, hParent), m_strRunner(std::move(runner)) {
    OnCmd(IDC_RECOVERED_DELIVER, [this] { OnDeliverAgain(); });
    OnCmd(IDC_RECOVERED_DELETE, [this] { OnDelete(); });
    OnCmd(IDC_RECOVERED_OPEN, [this] { OnOpenFolder(); });
    OnMsg(WM_NOTIFY, [this](WPARAM, LPARAM l) -> LRESULT {
        const auto* h = reinterpret_cast<const NMHDR*>(l);
        if (h->idFrom == IDC_RECOVERED_LIST && h->code == LVN_ITEMCHANGED)
            EnableButtons();
        return 0;
    });
}

BOOL CRecoveredDlg::OnInitDialog() {
    ::SetWindowTextA(m_hWnd, T("Recovered scans").c_str());
    SetDlgItemText(IDC_RECOVERED_DELIVER, T("Deliver &again").c_str());
    SetDlgItemText(IDC_RECOVERED_DELETE, T("&Delete").c_str());
    SetDlgItemText(IDC_RECOVERED_OPEN, T("&Open folder").c_str());
    SetDlgItemText(IDCANCEL, T("C&lose").c_str());
    if (const int n = vlm::PurgeRecoveredScans())
        CVlmLog::Instance().Write("%d recovered jobs older than %d days were removed", n,
                                  vlm::kRecoveryKeepDays);
    SetUpList();
    Refresh();
    return TRUE;
}

void CRecoveredDlg::SetUpList() {
    m_hList = GetDlgItem(IDC_RECOVERED_LIST);
    ListView_SetExtendedListViewStyle(m_hList, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
    // Widths in dialog units, so that they grow with the font and the screen;
    // the reason (a system text may be long) has what is left.
    const struct {
        const char* text;
        int width;
    } columns[] = {{"Job", 36}, {"Title", 80}, {"Time", 72}, {"Pages", 32}, {"Reason", 0}};
    RECT client = {};
    ::GetClientRect(m_hList, &client);
    int left = client.right - ::GetSystemMetrics(SM_CXVSCROLL);
    for (int i = 0; i < 5; ++i) {
        RECT r = {0, 0, columns[i].width, 1};
        ::MapDialogRect(m_hWnd, &r);
        if (columns[i].width == 0)
            r.right = left;
        left -= r.right;
        std::string text = T(columns[i].text);
        LVCOLUMNA column = {};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM | LVCF_FMT;
        column.fmt = i == kColJob || i == kColPages ? LVCFMT_RIGHT : LVCFMT_LEFT;
        column.cx = r.right;
        column.iSubItem = i;
        column.pszText = text.data();
        ::SendMessageA(m_hList, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
    }
}

void CRecoveredDlg::Refresh() {
    m_Scans = vlm::ListRecoveredScans();
    ListView_DeleteAllItems(m_hList);
    for (size_t i = 0; i < m_Scans.size(); ++i) {
        const vlm::RecoveryRecord& r = m_Scans[i].m_Record;
        const std::string cells[] = {std::to_string(r.m_nJob), r.m_strTitle, r.m_strTime,
                                     std::to_string(r.m_nPages), r.m_strReason};
        LVITEMA item = {};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = static_cast<int>(i);
        item.lParam = static_cast<LPARAM>(i);
        item.pszText = const_cast<char*>(cells[0].c_str());
        const int n = static_cast<int>(
            ::SendMessageA(m_hList, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
        for (int c = 1; c < 5; ++c) {
            LVITEMA cell = {};
            cell.iSubItem = c;
            cell.pszText = const_cast<char*>(cells[c].c_str());
            ::SendMessageA(m_hList, LVM_SETITEMTEXTA, n, reinterpret_cast<LPARAM>(&cell));
        }
    }
    if (!m_Scans.empty())
        ListView_SetItemState(m_hList, 0, LVIS_SELECTED | LVIS_FOCUSED,
                              LVIS_SELECTED | LVIS_FOCUSED);
    EnableButtons();
}

void CRecoveredDlg::EnableButtons() {
    const BOOL bAny = ListView_GetNextItem(m_hList, -1, LVNI_SELECTED) >= 0;
    for (int id : {IDC_RECOVERED_DELIVER, IDC_RECOVERED_DELETE, IDC_RECOVERED_OPEN})
        ::EnableWindow(GetDlgItem(id), bAny);
}

const vlm::CRecoveredScan* CRecoveredDlg::Selected() {
    const int i = ListView_GetNextItem(m_hList, -1, LVNI_SELECTED);
    LVITEMA item = {};
    item.mask = LVIF_PARAM;
    item.iItem = i;
    if (i < 0 || !::SendMessageA(m_hList, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)) ||
        static_cast<size_t>(item.lParam) >= m_Scans.size())
        return nullptr;
    return &m_Scans[static_cast<size_t>(item.lParam)];
}

void CRecoveredDlg::OnDeliverAgain() {
    const vlm::CRecoveredScan* scan = Selected();
    if (!scan)
        return;
    std::string command =
        "\"" + m_strRunner + "\" \"" + vlm::kDeliverRecoveredSwitch + scan->m_strFolder + "\"";
    STARTUPINFOA si = {sizeof si};
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessA(m_strRunner.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          nullptr, &si, &pi)) {
        VlmMessageBox(m_hWnd, (m_strRunner + "\n\n" + T("Can't launch application.")).c_str(),
                      T("Error").c_str(), MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    vlm::CHandle process(pi.hProcess), thread(pi.hThread);
    // The runner shows its own messages; this window waits, still painted.
    ::EnableWindow(m_hWnd, FALSE);
    while (::MsgWaitForMultipleObjects(1, &pi.hProcess, FALSE, INFINITE, QS_ALLINPUT) ==
           WAIT_OBJECT_0 + 1) {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
    }
    DWORD code = 0;
    ::GetExitCodeProcess(pi.hProcess, &code);
    CVlmLog::Instance().Write("delivering %s again: the runner ended with %lu",
                              scan->m_strFolder.c_str(), static_cast<unsigned long>(code));
    ::EnableWindow(m_hWnd, TRUE);
    ::SetForegroundWindow(m_hWnd);
    Refresh();
}

void CRecoveredDlg::OnDelete() {
    const vlm::CRecoveredScan* scan = Selected();
    if (!scan ||
        VlmMessageBox(m_hWnd, T("Are you sure you want to delete the recovered scans?").c_str(),
                      T("Confirmation").c_str(),
                      MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
        return;
    if (!vlm::DeleteRecoveredScan(scan->m_strFolder))
        CVlmLog::Instance().Write("cannot delete %s (error %lu)", scan->m_strFolder.c_str(),
                                  ::GetLastError());
    Refresh();
}

void CRecoveredDlg::OnOpenFolder() {
    if (const vlm::CRecoveredScan* scan = Selected())
        ::ShellExecuteA(m_hWnd, "open", scan->m_strFolder.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}
