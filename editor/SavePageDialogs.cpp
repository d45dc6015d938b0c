#include "editor/SavePageDialogs.h"
#include <shlobj.h>
#include "SavePage_res.h"
#include "editor/EditorText.h"
#include "framework/Handles.h"

namespace {
struct BrowseStart {
    const std::string* m_pFolder;
};

// Shows the selected folder's path in the browser's status line.
void ShowSelectedPath(HWND hBrowser, LPCITEMIDLIST pidl) {
    char path[MAX_PATH] = {};
    if (!pidl || !::SHGetPathFromIDListA(pidl, path))
        path[0] = '\0';
    ::SendMessageA(hBrowser, BFFM_SETSTATUSTEXTA, 0, reinterpret_cast<LPARAM>(path));
}

int CALLBACK BrowseCallback(HWND hBrowser, UINT msg, LPARAM lParam, LPARAM lpData) {
    const BrowseStart* start = reinterpret_cast<const BrowseStart*>(lpData);
    switch (msg) {
    case BFFM_INITIALIZED:
        if (start && !start->m_pFolder->empty()) {
            ::SendMessageA(hBrowser, BFFM_SETSELECTIONA, TRUE,
                           reinterpret_cast<LPARAM>(start->m_pFolder->c_str()));
            ::SendMessageA(hBrowser, BFFM_SETSTATUSTEXTA, 0,
                           reinterpret_cast<LPARAM>(start->m_pFolder->c_str()));
        }
        break;
    case BFFM_SELCHANGED:
        ShowSelectedPath(hBrowser, reinterpret_cast<LPCITEMIDLIST>(lParam));
        break;
    default:
        break;
    }
    return 0;
}
} // namespace

BOOL EdBrowseForSaveFolder(HWND hOwner, std::string& strFolder) {
    const std::string title = EdText("Please select save location.");
    char display[MAX_PATH] = {};
    BrowseStart start{&strFolder};
    BROWSEINFOA bi = {};
    bi.hwndOwner = hOwner;
    bi.pszDisplayName = display;
    bi.lpszTitle = title.c_str();
    bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT;
    bi.lpfn = &BrowseCallback;
    bi.lParam = reinterpret_cast<LPARAM>(&start);
    CCoTaskMem<ITEMIDLIST> pidl(::SHBrowseForFolderA(&bi));
    if (!pidl)
        return FALSE;
    char path[MAX_PATH] = {};
    if (!::SHGetPathFromIDListA(pidl.Get(), path) || !path[0])
        return FALSE;
    strFolder = path;
    return TRUE;
}

CAccessSettingDlg::CAccessSettingDlg(HWND hParent, const std::string& strUserName,
                                     const std::string& strPassword)
    : CVlmDialog(IDD_ACCESS_SETTING, hParent, EdInstance()), m_strUserName(strUserName),
      m_strPassword(strPassword) {}

BOOL CAccessSettingDlg::OnInitDialog() {
    EdSetDialogTexts(m_hWnd, "Access setting");
    EdSetText(m_hWnd, IDC_ACCESS_USER_LABEL, "&User name");
    EdSetText(m_hWnd, IDC_ACCESS_PASSWORD_LABEL, "&Password");
    // The boxes keep what the user may type; a longer stored value stays whole.
    ::SendMessageA(GetDlgItem(IDC_ACCESS_USER), EM_LIMITTEXT, kMaxChars, 0);
    ::SendMessageA(GetDlgItem(IDC_ACCESS_PASSWORD), EM_LIMITTEXT, kMaxChars, 0);
    ::SendMessageA(GetDlgItem(IDC_ACCESS_PASSWORD), EM_SETPASSWORDCHAR, '*', 0);
    return CVlmDialog::OnInitDialog();
}

void CAccessSettingDlg::DoDataExchange(CVlmDataExchange& dx) {
    DDX_Text(dx, IDC_ACCESS_USER, m_strUserName);
    DDX_Text(dx, IDC_ACCESS_PASSWORD, m_strPassword);
}
