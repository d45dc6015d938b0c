// What the save page shares with the administrator dialog: the folder
// browser and the access setting dialog (user name and password of a save
// folder or of the mail server).
#pragma once
#include <windows.h>
#include <string>
#include "framework/Dialog.h"

// The platform's folder browser (file system folders only), title "Please
// select save location.", starting at strFolder and showing the selected path
// in its status line. TRUE when the user confirmed a folder with a file system
// path, which is then in strFolder; otherwise strFolder is unchanged.
BOOL EdBrowseForSaveFolder(HWND hOwner, std::string& strFolder);

// "Access setting": "&User name" and "&Password" (shown as '*'), at most 32
// characters each. DoModal answers IDOK when the user confirmed; the values
// are then in m_strUserName and m_strPassword.
class CAccessSettingDlg : public CVlmDialog {
public:
    static constexpr size_t kMaxChars = 32;
    CAccessSettingDlg(HWND hParent, const std::string& strUserName, const std::string& strPassword);

    std::string m_strUserName;
    std::string m_strPassword;

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CVlmDataExchange& dx) override;
};
