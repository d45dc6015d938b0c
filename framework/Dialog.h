// Dialogs from .rc templates, modal (DoModal/EndDialog) or modeless (Create).
// Messages go to OnMessage, whose default looks up handlers registered with
// OnMsg / OnCmd (a message map); WM_COMMAND IDOK/IDCANCEL reach OnOK/OnCancel.
#pragma once
#include <windows.h>
#include <functional>
#include <map>
#include <string>

class CVlmDataExchange {
public:
    CVlmDataExchange(HWND hDlg, BOOL bSave) : m_hDlg(hDlg), m_bSaveAndValidate(bSave) {}
    // Marks a failed save: the first failing control gets the focus.
    void Fail(int nId, const char* reason);

    HWND m_hDlg;
    BOOL m_bSaveAndValidate;
    BOOL m_bFailed = FALSE;
    int m_nFailId = 0;
    std::string m_strFailReason;
};

// A window's whole text (ANSI).
std::string VlmWindowText(HWND hWnd);

// Edit box text; with nMaxChars > 0 longer saved texts fail.
void DDX_Text(CVlmDataExchange& dx, int nId, std::string& value, size_t nMaxChars = 0);
// Edit box holding a decimal integer; a non-number fails on save.
void DDX_Text(CVlmDataExchange& dx, int nId, int& value);
// Check box: 0 unchecked, 1 checked, 2 indeterminate.
void DDX_Check(CVlmDataExchange& dx, int nId, int& value);
// Radio group starting at nFirstId (the control with WS_GROUP) up to the next
// WS_GROUP control: index of the checked button, -1 for none.
void DDX_Radio(CVlmDataExchange& dx, int nFirstId, int& value);
// Combo box selection index (-1 none).
void DDX_CBIndex(CVlmDataExchange& dx, int nId, int& value);
// Combo box text: on load selects the matching entry (or sets the edit text).
void DDX_CBString(CVlmDataExchange& dx, int nId, std::string& value);

class CVlmDialog {
public:
    using Handler = std::function<LRESULT(WPARAM, LPARAM)>;

    explicit CVlmDialog(UINT nIdTemplate, HWND hParent = nullptr, HINSTANCE hInstance = nullptr);
    virtual ~CVlmDialog();
    CVlmDialog(const CVlmDialog&) = delete;
    CVlmDialog& operator=(const CVlmDialog&) = delete;

    // Modal: answers the EndDialog code, or -1 when the dialog cannot be made.
    INT_PTR DoModal();
    // The same, with the dialog as the application's main window while it
    // runs (from before its initialisation until it is destroyed), so that
    // whatever sends to the main window reaches it; the previous main window
    // is restored afterwards.
    INT_PTR DoModalAsMainWindow();
    // Modeless: the window stays until DestroyWindow or EndDialog.
    BOOL Create(HWND hParent = nullptr);
    void EndDialog(INT_PTR nResult);
    BOOL DestroyWindow();

    HWND GetSafeHwnd() const { return m_hWnd; }
    HWND GetDlgItem(int nId) const { return ::GetDlgItem(m_hWnd, nId); }
    std::string GetDlgItemText(int nId) const;
    void SetDlgItemText(int nId, const char* text) const { ::SetDlgItemTextA(m_hWnd, nId, text); }
    BOOL IsModal() const { return m_bModal; }

    // TRUE on save: controls -> members; FALSE: members -> controls.
    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);

    // The message map.
    void OnMsg(UINT msg, Handler handler) { m_mapMessages[msg] = std::move(handler); }
    void OnCmd(int nId, std::function<void()> handler) { m_mapCommands[nId] = std::move(handler); }

    // Lets a thread's message loop hand keyboard messages to its modeless dialogs.
    static BOOL PreTranslateModeless(MSG* pMsg);

protected:
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    // TRUE when handled; lResult is the message's result.
    virtual BOOL OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& lResult);
    virtual void DoDataExchange(CVlmDataExchange& dx) {}
    // Called after the window is gone.
    virtual void OnDestroyed() {}

    HWND m_hWnd = nullptr;
    HWND m_hParent;
    HINSTANCE m_hInstance;
    UINT m_nIdTemplate;
    BOOL m_bModal = FALSE;
    BOOL m_bMainWindow = FALSE;

private:
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
    std::map<UINT, Handler> m_mapMessages;
    std::map<int, std::function<void()>> m_mapCommands;
};
