// The job list window: the 99 job slots of the scanner, the commands that
// open the job editor's dialogs, and the title writers that keep the
// scanner's panel in step with the store.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <memory>
#include <string>
#include <vector>
#include "Plover.h"
#include "Taskstore.h"
#include "common/SharedLibrary.h"
#include "framework/ComPtr.h"
#include "framework/Dialog.h"
#include "tool/TaskdeckConfig.h"
#include "tool/TitleWriter.h"

class CVX420CorvidDlg : public CVlmDialog {
public:
    CVX420CorvidDlg();
    ~CVX420CorvidDlg() override;

protected:
    BOOL OnInitDialog() override;
    // Enter: New/Editing from the list, Close from the close button.
    void OnOK() override;
    // Escape and the window's close box go the way of the close button.
    void OnCancel() override { OnClose(); }
    BOOL OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override;

private:
    void SetTexts();
    void CreateEditor();
    void OpenStore();
    void SetUpList();
    BOOL OnNotify(NMHDR* pHeader, LRESULT& lResult);

    // Commands.
    void OnNewEditing();
    void OnCopy();
    void OnDelete();
    void OnRecoveredScans();
    void OnAdminSetting();
    void OnHelp();
    void OnVersion();
    void OnClose();
    void OnSort(int nColumn);
    void OnContextMenu(POINT pt);
    // Runs a command; its text and COM failures are shown in an "Error" box.
    void RunCommand(void (CVX420CorvidDlg::*command)());

    void RefreshTitles();
    void RefreshJobInformation();
    // The job number of the first selected row; 0 when none is selected.
    long SelectedJob() const;
    std::vector<long> SelectedJobs() const;
    // The editor object, or a text failure that says it is not installed.
    IJobRegGUI* Editor();
    IJobRegGUI3* Editor3();
    // New/Editing waits while the all-titles writer runs (wait cursor).
    void WaitForTitleWriter();
    // Calls the model plug-in's InitJob (store reset for the model).
    void CallInitJob();
    void ShowError(const std::string& text);

    CTaskdeckConfig m_Config;
    CComPtr<IJobRegGUI> m_pJobRegGUI;
    CComPtr<IJobRegGUI3> m_pJobRegGUI3;
    std::string m_strEditorError; // why there is no editor object
    CComPtr<IJobStore> m_pJobStore;
    HWND m_hList = nullptr;
    CVlmLibrary m_VlmHelp; // "vlmhelp.dll"
    std::unique_ptr<CTitleWriters> m_pTitleWriters;
    long m_nTitleJob = 0;          // the job number for the one-title writer
    bool m_bSortDescending = true; // the next header click's direction
};
