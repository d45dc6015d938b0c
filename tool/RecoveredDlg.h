// "Recovered scans": the jobs whose pages a runner kept because it could not
// deliver them. The user delivers one again (the runner does it, with the
// job's settings as they are now), deletes one, or opens its folder.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "common/RecoveredScans.h"
#include "framework/Dialog.h"

class CRecoveredDlg : public CVlmDialog {
public:
    // runner: the full path of the job runner.
    CRecoveredDlg(HWND hParent, std::string runner);

protected:
    BOOL OnInitDialog() override;
    void OnOK() override {} // Enter does nothing here

private:
    void SetUpList();
    void Refresh();
    // The selected recovered job, or null (the user is told to select one).
    const vlm::CRecoveredScan* Selected();
    void OnDeliverAgain();
    void OnDelete();
    void OnOpenFolder();
    void EnableButtons();

    std::string m_strRunner;
    HWND m_hList = nullptr;
    std::vector<vlm::CRecoveredScan> m_Scans;
};
