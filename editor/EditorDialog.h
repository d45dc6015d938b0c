// The base of the editor's own dialogs: the template from the editor module
// and taking values with the reason shown, as a user expects of a number box.
#pragma once
#include <windows.h>
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

// Fails the exchange when value lies outside min..max (on save only).
void DDV_MinMaxInt(CVlmDataExchange& dx, int nId, int value, int min, int max);
