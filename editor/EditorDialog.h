// The base of the editor's own dialogs: the template from the editor module
// and taking values with the reason shown, as a user expects of a number box.
#pragma once
#include <windows.h>
#include <string>
#include "editor/EditorError.h"
#include "framework/Dialog.h"

class CEditorDialog : public CVlmDialog {
public:
    explicit CEditorDialog(UINT nIdTemplate, HWND hParent = nullptr);

protected:
    // UpdateData(TRUE), but a value that cannot be taken is explained in a
    // message box before its control gets the focus. FALSE: nothing taken.
    BOOL TakeValues();
    // Tells why the exchange failed and focuses the control at fault.
    void ShowRefusal(const CVlmDataExchange& dx);

    // Runs f; a failure it raises (text or store error) is shown in an
    // "Error" box owned by the dialog, which stays open.
    template <class F> void ShowingErrors(F f) { EdShowingErrors(m_hWnd, f); }
};

// The "Error" box with text, then the focus on the field at fault with its
// text selected.
void EdRefuseField(HWND hDlg, int nId, const std::string& text);

// Fails the exchange when value lies outside min..max (on save only).
void DDV_MinMaxInt(CVlmDataExchange& dx, int nId, int value, int min, int max);
