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
    EdMessageBox(m_hWnd, EdText(dx.m_strFailReason.c_str()), "Error", MB_OK | MB_ICONWARNING);
    if (HWND hCtl = GetDlgItem(dx.m_nFailId)) {
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
