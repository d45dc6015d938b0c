// What the New/Editing dialog needs of its child pages and of the editor's
// other dialogs. Each page is a child dialog (template style WS_CHILD |
// DS_CONTROL, no caption) placed by the New/Editing dialog at its markers.
#pragma once
#include <windows.h>
#include <memory>
#include "EditorSettings.h"
#include "framework/ComPtr.h"
#include "framework/Dialog.h"

class CJobEditPage : public CVlmDialog {
public:
    CJobEditPage(UINT nIdTemplate, CJobRegGUISettings* pSettings)
        : CVlmDialog(nIdTemplate), m_pSettings(pSettings) {}
    // Before the page's window exists, for every page made: the job that
    // the page's own dialogs (format, access, printer) start from. What
    // they set on a page that was not loaded reaches the job only by Save.
    void Attach(IJobData* pJob) { m_pJob = pJob; }
    // After Attach, only for the pages of the job's own function: the job's
    // values into the members.
    virtual void Load(IJobData* pJob) = 0;
    // After the window's values were taken (UpdateData): the members into the
    // job. Failures are raised (CEditorText, CComError).
    virtual void Save(IJobData* pJob) = 0;
    // FALSE keeps the New/Editing dialog open; the page has told the user why
    // and focused the control at fault.
    virtual BOOL Validate(IJobData* pJob) = 0;

protected:
    CJobRegGUISettings* m_pSettings;
    CComPtr<IJobData> m_pJob;
};

// The pages of the functions. The save page has two forms: with the
// save-image box ("Attach to E-mail", "Send by E-Mail") and without.
std::unique_ptr<CJobEditPage> CreateSavePage(CJobRegGUISettings* pSettings, BOOL bWithSaveImageBox);
std::unique_ptr<CJobEditPage> CreateMailPage(CJobRegGUISettings* pSettings);
std::unique_ptr<CJobEditPage> CreatePrintPage(CJobRegGUISettings* pSettings);
std::unique_ptr<CJobEditPage> CreateAppPage(CJobRegGUISettings* pSettings);

// The dialogs the JobRegGUI methods open; each answers the dialog's end code
// and raises its failures (CEditorText, CComError) to the method's frame.
INT_PTR RunJobEditDialog(CJobRegGUISettings* pSettings, long nJobNo, BOOL bWithFunctionList);
INT_PTR RunCopyDialog(CJobRegGUISettings* pSettings, long nSrcJobNo, BOOL bLimited, long nMin,
                      long nMax);
INT_PTR RunVersionDialog(CJobRegGUISettings* pSettings);
INT_PTR RunAdminDialog(CJobRegGUISettings* pSettings, int nForm); // forms 1..4
