#include "editor/FunctionPage.h"

#include "editor/EditorError.h"
#include "editor/EditorText.h"

void CFunctionPage::DDX_TextMax(CVlmDataExchange& dx, int nId, std::string& value,
                                size_t nMaxChars) {
    const BOOL bFailedBefore = dx.m_bFailed;
    DDX_Text(dx, nId, value, nMaxChars);
    CheckControls(dx);
    if (dx.m_bFailed && !bFailedBefore) {
        // The catalogue's text is no format string: only its "%d" is replaced.
        std::string text = EdText("Enter no more than %d characters.");
        const size_t at = text.find("%d");
        if (at != std::string::npos)
            text.replace(at, 2, std::to_string(nMaxChars));
        EdMessageBox(dx.m_hDlg, text, "Warning", MB_OK | MB_ICONEXCLAMATION);
    }
}

void CFunctionPage::CheckControls(const CVlmDataExchange& dx) {
    if (dx.m_bFailed && dx.m_strFailReason == "missing control")
        EdThrowText("no memory");
}
