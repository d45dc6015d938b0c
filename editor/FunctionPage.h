// What the mail, print and application pages share: each belongs to one
// delivery function and takes the job's values only when the job has that
// function (otherwise it starts with its defaults).
#pragma once
#include <string>
#include "common/JobRecord.h"
#include "editor/EditorText.h"
#include "editor/JobPages.h"

class CFunctionPage : public CJobEditPage {
public:
    CFunctionPage(UINT nIdTemplate, CJobRegGUISettings* pSettings, long nFunctionId)
        : CJobEditPage(nIdTemplate, pSettings), m_nFunctionId(nFunctionId) {
        m_hInstance = EdInstance(); // the templates live in the editor's module
    }

protected:
    // Whether the job's "function id" is this page's function. Raises CComError.
    bool IsPageFunction(IJobData* pJob) const {
        return JobGetLong(pJob, vlm::kKeyFunctionId) == m_nFunctionId;
    }
    // An edit box's text of at most nMaxChars characters: a longer one is
    // refused with "Enter no more than %d characters." and keeps the focus.
    // A page control that is missing raises "no memory".
    static void DDX_TextMax(CVlmDataExchange& dx, int nId, std::string& value, size_t nMaxChars);
    // After the exchange: a missing control raises "no memory".
    static void CheckControls(const CVlmDataExchange& dx);

    // A child page ends nothing: Enter and Escape belong to the dialog around it.
    void OnOK() override {}
    void OnCancel() override {}

    const long m_nFunctionId;
};
