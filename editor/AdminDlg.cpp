// CAdminDlg: the settings of the whole job store (mail server and method,
// attachment size, folder capacity warnings, monitor switch) and the backup
// and restore of all jobs. A method change goes to the store at once; only
// OK and backup make the values last (the store's Save).
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <cstdio>
#include <cstdlib>
#include "AdminDialogs_res.h"
#include "common/JobRecord.h"
#include "common/portable/LocalizeTable.h"
#include "editor/EditorDialog.h"
#include "editor/EditorError.h"
#include "editor/EditorText.h"
#include "editor/JobPages.h"
#include "editor/SavePageDialogs.h"
#include "editor/core/AdminRules.h"
#include "framework/Variant.h"

namespace {

void StoreSetText(IJobStore* store, const char* key, const std::string& value) {
    CVariant v(value.c_str());
    CBstr bstrKey(key);
    EdCheck(store->SetCommonData(bstrKey, v));
}

struct CFolderEntry {
    int m_nDisplay = 0; // "DisplayWarning%d"
    std::string m_strPath;
    int m_nSize = 0; // MB
};

class CAdminDlg : public CEditorDialog {
public:
    CAdminDlg(CJobRegGUISettings* pSettings, int nForm, const plover::AdminForm* pForm)
        : CEditorDialog(IDD_ADMIN1 + nForm - 1), m_pSettings(pSettings), m_pForm(pForm) {
        OnCmd(IDC_ADMIN_METHOD, [this] { ShowingErrors([this] { OnMethod(); }); });
        OnCmd(IDC_ADMIN_FOLDER_LIST, [this] { ShowingErrors([this] { OnEntry(); }); });
        OnCmd(IDC_ADMIN_DISPLAY_WARNING, [this] { EnableControls(); });
        OnCmd(IDC_ADMIN_BROWSE, [this] { OnBrowse(); });
        OnCmd(IDC_ADMIN_ACCESS, [this] { ShowingErrors([this] { OnAccess(); }); });
        OnCmd(IDC_ADMIN_BACKUP, [this] { ShowingErrors([this] { OnBackup(); }); });
        OnCmd(IDC_ADMIN_RESTORE, [this] { ShowingErrors([this] { OnRestore(); }); });
    }

    // Before the window: the store's values.
    void Prepare() {
        if (!Store())
            EdCheck(E_POINTER);
        EdCheck(Store()->Load());
        ReadValues();
    }
    const std::string& InitError() const { return m_strInitError; }

protected:
    BOOL OnInitDialog() override {
        EdCatchFailure(
            [this] {
                SetLabels();
                FillLists();
                SetRanges();
                ShowValues();
            },
            [this](const std::string& text) {
                m_strInitError = text;
                EndDialog(IDABORT);
            });
        return TRUE;
    }

    void DoDataExchange(CVlmDataExchange& dx) override {
        if (m_pForm->mailServer) {
            DDX_Text(dx, IDC_ADMIN_SERVER, m_strServer);
            DDX_Check(dx, IDC_ADMIN_REQUIRE_TLS, m_nRequireTls);
            DDX_Check(dx, IDC_ADMIN_SELF_SIGNED, m_nSelfSigned);
        }
        if (m_pForm->mailSize) {
            DDX_Text(dx, IDC_ADMIN_MSIZE, m_nMailSize);
            DDV_MinMaxInt(dx, IDC_ADMIN_MSIZE, m_nMailSize, 1, m_pSettings->m_nAttachedMailSize);
        }
        if (m_pForm->monitor)
            DDX_Check(dx, IDC_ADMIN_MONITOR, m_nMonitor);
        ExchangeEntry(dx);
    }

    // The lists act on a changed selection only, not on focus or drop-down.
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override {
        const int id = LOWORD(wParam);
        if ((id == IDC_ADMIN_METHOD || id == IDC_ADMIN_FOLDER_LIST) &&
            HIWORD(wParam) != CBN_SELCHANGE)
            return FALSE;
        return CEditorDialog::OnCommand(wParam, lParam);
    }

    void OnOK() override {
        ShowingErrors([this] {
            if (Commit())
                EndDialog(IDOK);
        });
    }

private:
    IJobStore* Store() const { return m_pSettings->m_pJobStore; }

    void ReadValues() {
        IJobStore* s = Store();
        m_strServer = StoreGetString(s, vlm::kKeySmtpServerName);
        m_nSmtpId = StoreGetLong(s, vlm::kKeySmtpId);
        m_nSelfSigned = StoreGetLong(s, vlm::kKeySmtpAllowSelfSigned) != 0;
        m_nRequireTls = StoreGetLong(s, vlm::kKeySmtpRequireTls) != 0;
        m_nMailSize = static_cast<int>(StoreGetLong(s, vlm::kKeyMailSize));
        m_nMonitor = StoreGetLong(s, vlm::kKeyMonitorOpen) != 0;
        for (int n = 0; n < vlm::kFolderWarnings; ++n) {
            CFolderEntry& e = m_Entries[n];
            e.m_nDisplay =
                StoreGetLong(s, vlm::WarningKey(vlm::kKeyDisplayWarningFmt, n).c_str()) != 0;
            e.m_strPath = StoreGetString(s, vlm::WarningKey(vlm::kKeyMonitorPathFmt, n).c_str());
            e.m_nSize = static_cast<int>(
                StoreGetLong(s, vlm::WarningKey(vlm::kKeyWarningSizeFmt, n).c_str()));
        }
    }

    void SetLabels() {
        ::SetWindowTextA(m_hWnd, EdText("Admin").c_str());
        static const struct {
            int id;
            const char* text;
        } kLabels[] = {
            {IDC_ADMIN_WARN_GROUP, "Capacity Warning Settings"},
            {IDC_ADMIN_FOLDER_LABEL, "R&egister Folder"},
            {IDC_ADMIN_DISPLAY_WARNING, "&Display Warning Dialog"},
            {IDC_ADMIN_PATH_LABEL, "C&apacity Observed Folder"},
            {IDC_ADMIN_BROWSE, "Br&owse..."},
            {IDC_ADMIN_WSIZE_LABEL, "&Warning Size"},
            {IDC_ADMIN_MONITOR_GROUP, "Show Monitor Dialog Setting"},
            {IDC_ADMIN_MONITOR, "Show Monitor Dialo&g"},
            {IDC_ADMIN_MAIL_GROUP, "Mail"},
            {IDC_ADMIN_SERVER_LABEL, "&Mail Server"},
            {IDC_ADMIN_METHOD_LABEL, "&SMTP method"},
            {IDC_ADMIN_ACCESS, "Access sett&ing..."},
            {IDC_ADMIN_REQUIRE_TLS, "Require &TLS for every connection"},
            {IDC_ADMIN_SELF_SIGNED, "Accept se&lf-signed server certificate"},
            {IDC_ADMIN_TLS_NOTE,
             "TLS is used when the server offers STARTTLS (POP: STLS); the ports 465 "
             "(SMTP) and 995 (POP) speak TLS from the start."},
            {IDC_ADMIN_MSIZE_LABEL, "Ma&ximum size of attached file"},
            {IDC_ADMIN_BACKUP_GROUP, "Back Up / Restore"},
            {IDC_ADMIN_BACKUP, "&Back Up..."},
            {IDC_ADMIN_RESTORE, "&Restore..."},
            {IDOK, "OK"},
            {IDCANCEL, "Cancel"},
        };
        for (const auto& l : kLabels)
            if (GetDlgItem(l.id))
                EdSetText(m_hWnd, l.id, l.text);
        SetRangeLabel(IDC_ADMIN_MSIZE_RANGE, "%s (1 - %d)", m_pSettings->m_nAttachedMailSize);
        SetRangeLabel(IDC_ADMIN_WSIZE_RANGE, "%s (0 - %d)", m_pSettings->m_nWarningSize);
    }

    void SetRangeLabel(int id, const char* english, int upper) {
        if (!GetDlgItem(id))
            return;
        SetDlgItemText(
            id, VlmFillInEach(EdText(english), {EdText("MB"), std::to_string(upper)}).c_str());
    }

    void FillLists() {
        if (HWND methods = GetDlgItem(IDC_ADMIN_METHOD)) {
            for (const plover::SmtpMethod& m : plover::kSmtpMethodList) {
                const LRESULT i = ::SendMessageA(methods, CB_ADDSTRING, 0,
                                                 reinterpret_cast<LPARAM>(EdText(m.name).c_str()));
                if (i < 0 || ::SendMessageA(methods, CB_SETITEMDATA, static_cast<WPARAM>(i),
                                            m.value) == CB_ERR)
                    EdThrowText("make combobox error");
            }
        }
        HWND entries = GetDlgItem(IDC_ADMIN_FOLDER_LIST);
        for (int n = 0; n < vlm::kFolderWarnings; ++n) {
            const std::string label = std::to_string(n + 1);
            const LRESULT i =
                ::SendMessageA(entries, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(label.c_str()));
            ::SendMessageA(entries, CB_SETITEMDATA, static_cast<WPARAM>(i), n);
        }
        ::SendMessageA(entries, CB_SETCURSEL, 0, 0);
        m_nEntry = 0;
    }

    void SetRanges() {
        ::SendDlgItemMessageA(m_hWnd, IDC_ADMIN_MSIZE_SPIN, UDM_SETRANGE32, 1,
                              m_pSettings->m_nAttachedMailSize);
        ::SendDlgItemMessageA(m_hWnd, IDC_ADMIN_MSIZE, EM_LIMITTEXT, 3, 0);
        ::SendDlgItemMessageA(m_hWnd, IDC_ADMIN_WSIZE_SPIN, UDM_SETRANGE32, 0,
                              m_pSettings->m_nWarningSize);
        ::SendDlgItemMessageA(m_hWnd, IDC_ADMIN_WSIZE, EM_LIMITTEXT, 7, 0);
    }

    // The values into the controls, the method selected, the enabled states.
    void ShowValues() {
        UpdateData(FALSE);
        if (HWND methods = GetDlgItem(IDC_ADMIN_METHOD)) {
            const LRESULT n = ::SendMessageA(methods, CB_GETCOUNT, 0, 0);
            ::SendMessageA(methods, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
            for (LRESULT i = 0; i < n; ++i)
                if (::SendMessageA(methods, CB_GETITEMDATA, static_cast<WPARAM>(i), 0) == m_nSmtpId)
                    ::SendMessageA(methods, CB_SETCURSEL, static_cast<WPARAM>(i), 0);
        }
        EnableControls();
    }

    // The selected folder entry's controls. A typed size above the largest
    // offered is taken as the largest.
    void ExchangeEntry(CVlmDataExchange& dx) {
        CFolderEntry& e = m_Entries[m_nEntry];
        if (dx.m_bSaveAndValidate)
            ClampTypedWarningSize();
        DDX_Check(dx, IDC_ADMIN_DISPLAY_WARNING, e.m_nDisplay);
        DDX_Text(dx, IDC_ADMIN_PATH, e.m_strPath);
        DDX_Text(dx, IDC_ADMIN_WSIZE, e.m_nSize);
        DDV_MinMaxInt(dx, IDC_ADMIN_WSIZE, e.m_nSize, 0, m_pSettings->m_nWarningSize);
    }

    void ClampTypedWarningSize() {
        const std::string typed = GetDlgItemText(IDC_ADMIN_WSIZE);
        char* end = nullptr;
        const long long n = std::strtoll(typed.c_str(), &end, 10);
        if (end != typed.c_str() && *end == '\0' && n > m_pSettings->m_nWarningSize)
            SetDlgItemText(IDC_ADMIN_WSIZE, std::to_string(m_pSettings->m_nWarningSize).c_str());
    }

    void EnableControls() {
        ::EnableWindow(GetDlgItem(IDC_ADMIN_ACCESS),
                       plover::SmtpMethodNeedsAccount(SelectedMethod()));
        const BOOL on = ::SendDlgItemMessageA(m_hWnd, IDC_ADMIN_DISPLAY_WARNING, BM_GETCHECK, 0,
                                              0) == BST_CHECKED;
        for (int id : {IDC_ADMIN_PATH, IDC_ADMIN_BROWSE, IDC_ADMIN_WSIZE_LABEL, IDC_ADMIN_WSIZE,
                       IDC_ADMIN_WSIZE_SPIN, IDC_ADMIN_WSIZE_RANGE})
            ::EnableWindow(GetDlgItem(id), on);
    }

    long SelectedMethod() const {
        HWND methods = GetDlgItem(IDC_ADMIN_METHOD);
        if (!methods)
            return m_nSmtpId;
        const LRESULT i = ::SendMessageA(methods, CB_GETCURSEL, 0, 0);
        return i < 0 ? m_nSmtpId : static_cast<long>(::SendMessageA(methods, CB_GETITEMDATA, i, 0));
    }

    void OnMethod() {
        m_nSmtpId = SelectedMethod();
        StoreSetLong(Store(), vlm::kKeySmtpId, m_nSmtpId);
        EnableControls();
    }

    // The values typed for the entry that was shown stay with it.
    void OnEntry() {
        HWND entries = GetDlgItem(IDC_ADMIN_FOLDER_LIST);
        const LRESULT i = ::SendMessageA(entries, CB_GETCURSEL, 0, 0);
        if (i < 0)
            return;
        const int next = static_cast<int>(::SendMessageA(entries, CB_GETITEMDATA, i, 0));
        if (next == m_nEntry)
            return;
        CVlmDataExchange take(m_hWnd, TRUE);
        ExchangeEntry(take);
        if (take.m_bFailed) {
            ::SendMessageA(entries, CB_SETCURSEL, static_cast<WPARAM>(m_nEntry), 0);
            ShowRefusal(take);
            return;
        }
        m_nEntry = next;
        CVlmDataExchange show(m_hWnd, FALSE);
        ExchangeEntry(show);
        EnableControls();
    }

    void OnBrowse() {
        std::string folder = GetDlgItemText(IDC_ADMIN_PATH);
        if (EdBrowseForSaveFolder(m_hWnd, folder))
            SetDlgItemText(IDC_ADMIN_PATH, folder.c_str());
    }

    void OnAccess() {
        CAccessSettingDlg dlg(m_hWnd, StoreGetString(Store(), vlm::kKeySmtpUserName),
                              StoreGetString(Store(), vlm::kKeySmtpPassword));
        if (dlg.DoModal() != IDOK)
            return;
        StoreSetText(Store(), vlm::kKeySmtpUserName, dlg.m_strUserName);
        StoreSetText(Store(), vlm::kKeySmtpPassword, dlg.m_strPassword);
    }

    // Takes the values and makes them last; FALSE when a value was refused.
    BOOL Commit() {
        if (!TakeValues())
            return FALSE;
        IJobStore* s = Store();
        if (m_pForm->mailServer)
            StoreSetText(s, vlm::kKeySmtpServerName, m_strServer);
        StoreSetLong(s, vlm::kKeyMailSize, m_nMailSize);
        if (m_pForm->writesMonitor)
            StoreSetLong(s, vlm::kKeyMonitorOpen, m_pForm->monitorAsZero ? 0 : m_nMonitor);
        for (int n = 0; n < vlm::kFolderWarnings; ++n) {
            const CFolderEntry& e = m_Entries[n];
            StoreSetLong(s, vlm::WarningKey(vlm::kKeyDisplayWarningFmt, n).c_str(), e.m_nDisplay);
            StoreSetText(s, vlm::WarningKey(vlm::kKeyMonitorPathFmt, n).c_str(), e.m_strPath);
            StoreSetLong(s, vlm::WarningKey(vlm::kKeyWarningSizeFmt, n).c_str(), e.m_nSize);
        }
        if (m_pForm->mailServer) {
            StoreSetLong(s, vlm::kKeySmtpAllowSelfSigned, m_nSelfSigned);
            StoreSetLong(s, vlm::kKeySmtpRequireTls, m_nRequireTls);
        }
        EdCheck(s->Save());
        return TRUE;
    }

    // The open or save dialog for backup files; "" when the user cancels.
    std::string AskBackupFile(BOOL bSave) {
        // "Back up Files (*.reg)" and its pattern, each closed by a zero.
        std::string filter = EdText("Back up Files") + " (*.reg)";
        filter.push_back('\0');
        filter += "*.reg";
        filter.push_back('\0');
        char path[MAX_PATH] = "";
        OPENFILENAMEA ofn = {};
        ofn.lStructSize = sizeof ofn;
        ofn.hwndOwner = m_hWnd;
        ofn.lpstrFilter = filter.c_str();
        ofn.lpstrFile = path;
        ofn.nMaxFile = MAX_PATH;
        ofn.lpstrDefExt = "reg";
        ofn.Flags =
            OFN_EXPLORER | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | (bSave ? OFN_OVERWRITEPROMPT : 0);
        const BOOL ok = bSave ? ::GetSaveFileNameA(&ofn) : ::GetOpenFileNameA(&ofn);
        return ok ? std::string(path) : std::string();
    }

    void OnBackup() {
        if (EdMessageBox(m_hWnd, EdText("Are you sure you want to save all settings."),
                         "Confirmation", MB_YESNO | MB_ICONQUESTION) != IDYES)
            return;
        const std::string path = AskBackupFile(TRUE);
        if (path.empty() || !Commit())
            return;
        CBstr bstrPath(path.c_str());
        EdCheck(Store()->ExportAll(bstrPath));
        EdMessageBox(m_hWnd, EdText("Success To Back Up"), "Back Up", MB_OK | MB_ICONINFORMATION);
    }

    void OnRestore() {
        const std::string path = AskBackupFile(FALSE);
        if (path.empty())
            return;
        if (::GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES)
            throw CComError(HResultFromWin32(ERROR_FILE_NOT_FOUND), IID_IJobStore);
        EdCheck(Store()->PrepareImport());
        CBstr bstrPath(path.c_str());
        EdCheck(Store()->ImportAll(bstrPath));
        // No older model of the family needs its settings converted here.
        EdCheck(Store()->Load());
        ReadValues();
        ShowValues();
        EdMessageBox(m_hWnd, EdText("Success To Restore"), "Restore", MB_OK | MB_ICONINFORMATION);
    }

    CJobRegGUISettings* m_pSettings;
    const plover::AdminForm* m_pForm;
    std::string m_strInitError;
    std::string m_strServer;
    long m_nSmtpId = 0;
    int m_nSelfSigned = 0;
    int m_nRequireTls = 0;
    int m_nMailSize = 0;
    int m_nMonitor = 0;
    CFolderEntry m_Entries[vlm::kFolderWarnings];
    int m_nEntry = 0; // the entry the controls show
};

} // namespace

INT_PTR RunAdminDialog(CJobRegGUISettings* pSettings, int nForm) {
    const plover::AdminForm* form = plover::AdminFormFor(nForm);
    if (!form)
        return IDCANCEL;
    CAdminDlg dlg(pSettings, nForm, form);
    dlg.Prepare();
    const INT_PTR result = dlg.DoModal();
    if (!dlg.InitError().empty())
        throw CEditorText{dlg.InitError()};
    return result;
}
