#include "editor/EditorDialog.h"
#include <cstdio>
#include "editor/EditorText.h"

CEditorDialog::CEditorDialog(UINT nIdTemplate, HWND hParent)
    : CVlmDialog(nIdTemplate, hParent, EdInstance()) {}

BOOL CEditorDialog::TakeValues() {
    CVlmDataExchange dx(m_hWnd, TRUE);
    DoDataExchange(dx);
    if (!dx.m_bFailed)
        return TRUE;
    ShowRefusal(dx);
    return FALSE;
}

void CEditorDialog::ShowRefusal(const CVlmDataExchange& dx) {
    EdRefuseField(m_hWnd, dx.m_nFailId, EdText(dx.m_strFailReason.c_str()));
}

void EdRefuseField(HWND hDlg, int nId, const std::string& text) {
    EdShowError(hDlg, text);
    if (HWND hCtl = ::GetDlgItem(hDlg, nId)) {
        ::SetFocus(hCtl);
        ::SendMessageA(hCtl, EM_SETSEL, 0, -1);
    }
}

void DDV_MinMaxInt(CVlmDataExchange& dx, int nId, int value, int min, int max) {
    if (!dx.m_bSaveAndValidate || dx.m_bFailed || (value >= min && value <= max))
        return;
    char text[256];
    std::snprintf(text, sizeof text, EdText("Please enter an integer between %d and %d.").c_str(),
                  min, max);
    dx.Fail(nId, text);
}
