#include "framework/Dialog.h"
#include "framework/App.h"
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {
// Modeless dialogs of this thread, for IsDialogMessage in the message loops.
thread_local std::vector<HWND> t_modeless;

} // namespace

std::string VlmWindowText(HWND hWnd) {
    int n = ::GetWindowTextLengthA(hWnd);
    if (n <= 0)
        return std::string();
    std::string s(static_cast<size_t>(n) + 1, '\0');
    n = ::GetWindowTextA(hWnd, &s[0], n + 1);
    s.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return s;
}

void CVlmDataExchange::Fail(int nId, const char* reason) {
    if (!m_bFailed) {
        m_bFailed = TRUE;
        m_nFailId = nId;
        m_strFailReason = reason ? reason : "";
    }
}

void DDX_Text(CVlmDataExchange& dx, int nId, std::string& value, size_t nMaxChars) {
    HWND hCtl = ::GetDlgItem(dx.m_hDlg, nId);
    if (!hCtl)
        return dx.Fail(nId, "missing control");
    if (dx.m_bSaveAndValidate) {
        std::string text = VlmWindowText(hCtl);
        if (nMaxChars && text.size() > nMaxChars)
            return dx.Fail(nId, "text too long");
        value = text;
    } else {
        ::SetWindowTextA(hCtl, value.c_str());
    }
}

void DDX_Text(CVlmDataExchange& dx, int nId, int& value) {
    HWND hCtl = ::GetDlgItem(dx.m_hDlg, nId);
    if (!hCtl)
        return dx.Fail(nId, "missing control");
    if (dx.m_bSaveAndValidate) {
        std::string text = VlmWindowText(hCtl);
        const char* p = text.c_str();
        while (*p == ' ')
            ++p;
        char* end = nullptr;
        errno = 0;
        long n = strtol(p, &end, 10);
        while (end && *end == ' ')
            ++end;
        if (end == p || !end || *end || errno == ERANGE || n < INT_MIN || n > INT_MAX)
            return dx.Fail(nId, "Please enter an integer.");
        value = static_cast<int>(n);
    } else {
        ::SetWindowTextA(hCtl, std::to_string(value).c_str());
    }
}

void DDX_Check(CVlmDataExchange& dx, int nId, int& value) {
    HWND hCtl = ::GetDlgItem(dx.m_hDlg, nId);
    if (!hCtl)
        return dx.Fail(nId, "missing control");
    if (dx.m_bSaveAndValidate)
        value = static_cast<int>(::SendMessageA(hCtl, BM_GETCHECK, 0, 0));
    else
        ::SendMessageA(hCtl, BM_SETCHECK, static_cast<WPARAM>(value), 0);
}

void DDX_Radio(CVlmDataExchange& dx, int nFirstId, int& value) {
    HWND hCtl = ::GetDlgItem(dx.m_hDlg, nFirstId);
    if (!hCtl)
        return dx.Fail(nFirstId, "missing control");
    if (dx.m_bSaveAndValidate)
        value = -1;
    int index = 0;
    // The group runs in z-order from the first button up to the next WS_GROUP.
    for (HWND h = hCtl; h; h = ::GetWindow(h, GW_HWNDNEXT)) {
        LONG style = ::GetWindowLongA(h, GWL_STYLE);
        if (h != hCtl && (style & WS_GROUP))
            break;
        LONG type = style & BS_TYPEMASK;
        if (type != BS_RADIOBUTTON && type != BS_AUTORADIOBUTTON)
            continue;
        if (dx.m_bSaveAndValidate) {
            if (::SendMessageA(h, BM_GETCHECK, 0, 0) == BST_CHECKED && value < 0)
                value = index;
        } else {
            ::SendMessageA(h, BM_SETCHECK, index == value ? BST_CHECKED : BST_UNCHECKED, 0);
        }
        ++index;
    }
}

void DDX_CBIndex(CVlmDataExchange& dx, int nId, int& value) {
    HWND hCtl = ::GetDlgItem(dx.m_hDlg, nId);
    if (!hCtl)
        return dx.Fail(nId, "missing control");
    if (dx.m_bSaveAndValidate)
        value = static_cast<int>(::SendMessageA(hCtl, CB_GETCURSEL, 0, 0));
    else
        ::SendMessageA(hCtl, CB_SETCURSEL, static_cast<WPARAM>(value), 0);
}

void DDX_CBString(CVlmDataExchange& dx, int nId, std::string& value) {
    HWND hCtl = ::GetDlgItem(dx.m_hDlg, nId);
    if (!hCtl)
        return dx.Fail(nId, "missing control");
    if (dx.m_bSaveAndValidate) {
        LRESULT sel = ::SendMessageA(hCtl, CB_GETCURSEL, 0, 0);
        LONG style = ::GetWindowLongA(hCtl, GWL_STYLE);
        if (sel != CB_ERR && (style & 0x3) == CBS_DROPDOWNLIST) {
            LRESULT n = ::SendMessageA(hCtl, CB_GETLBTEXTLEN, static_cast<WPARAM>(sel), 0);
            std::string text(n > 0 ? static_cast<size_t>(n) + 1 : 1, '\0');
            ::SendMessageA(hCtl, CB_GETLBTEXT, static_cast<WPARAM>(sel),
                           reinterpret_cast<LPARAM>(&text[0]));
            text.resize(strlen(text.c_str()));
            value = text;
        } else {
            value = VlmWindowText(hCtl);
        }
    } else {
        LRESULT i = ::SendMessageA(hCtl, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                   reinterpret_cast<LPARAM>(value.c_str()));
        ::SendMessageA(hCtl, CB_SETCURSEL, i == CB_ERR ? static_cast<WPARAM>(-1) : i, 0);
        if (i == CB_ERR)
            ::SetWindowTextA(hCtl, value.c_str());
    }
}

CVlmDialog::CVlmDialog(UINT nIdTemplate, HWND hParent, HINSTANCE hInstance)
    : m_hParent(hParent), m_hInstance(hInstance ? hInstance : ::GetModuleHandleA(nullptr)),
      m_nIdTemplate(nIdTemplate) {}

CVlmDialog::~CVlmDialog() {
    if (m_hWnd && !m_bModal)
        DestroyWindow();
}

INT_PTR CVlmDialog::DoModal() {
    m_bModal = TRUE;
    INT_PTR rc = ::DialogBoxParamA(m_hInstance, MAKEINTRESOURCEA(m_nIdTemplate), m_hParent,
                                   &CVlmDialog::DialogProc, reinterpret_cast<LPARAM>(this));
    m_bModal = FALSE;
    return rc;
}

INT_PTR CVlmDialog::DoModalAsMainWindow() {
    CVlmApp* app = CVlmApp::GetApp();
    const HWND hPrevious = app ? app->GetMainWnd() : nullptr;
    m_bMainWindow = TRUE;
    INT_PTR rc = DoModal();
    m_bMainWindow = FALSE;
    if (app)
        app->SetMainWnd(hPrevious);
    return rc;
}

BOOL CVlmDialog::Create(HWND hParent) {
    if (m_hWnd)
        return FALSE;
    if (hParent)
        m_hParent = hParent;
    m_bModal = FALSE;
    HWND h = ::CreateDialogParamA(m_hInstance, MAKEINTRESOURCEA(m_nIdTemplate), m_hParent,
                                  &CVlmDialog::DialogProc, reinterpret_cast<LPARAM>(this));
    if (!h)
        return FALSE;
    t_modeless.push_back(h);
    return TRUE;
}

void CVlmDialog::EndDialog(INT_PTR nResult) {
    if (!m_hWnd)
        return;
    if (m_bModal)
        ::EndDialog(m_hWnd, nResult);
    else
        DestroyWindow();
}

BOOL CVlmDialog::DestroyWindow() {
    if (!m_hWnd)
        return FALSE;
    return ::DestroyWindow(m_hWnd);
}

std::string CVlmDialog::GetDlgItemText(int nId) const {
    return VlmWindowText(GetDlgItem(nId));
}

BOOL CVlmDialog::UpdateData(BOOL bSaveAndValidate) {
    if (!m_hWnd)
        return FALSE;
    CVlmDataExchange dx(m_hWnd, bSaveAndValidate);
    DoDataExchange(dx);
    if (dx.m_bFailed && bSaveAndValidate) {
        HWND hCtl = GetDlgItem(dx.m_nFailId);
        if (hCtl) {
            ::SetFocus(hCtl);
            ::SendMessageA(hCtl, EM_SETSEL, 0, -1);
        }
        return FALSE;
    }
    return !dx.m_bFailed;
}

BOOL CVlmDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CVlmDialog::OnOK() {
    if (UpdateData(TRUE))
        EndDialog(IDOK);
}

BOOL CVlmDialog::OnCommand(WPARAM wParam, LPARAM lParam) {
    int id = LOWORD(wParam);
    auto it = m_mapCommands.find(id);
    if (it != m_mapCommands.end()) {
        it->second();
        return TRUE;
    }
    if (id == IDOK && HIWORD(wParam) == BN_CLICKED) {
        OnOK();
        return TRUE;
    }
    if (id == IDCANCEL && HIWORD(wParam) == BN_CLICKED) {
        OnCancel();
        return TRUE;
    }
    return FALSE;
}

BOOL CVlmDialog::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) {
    auto it = m_mapMessages.find(msg);
    if (it != m_mapMessages.end()) {
        lResult = it->second(wParam, lParam);
        return TRUE;
    }
    if (msg == WM_COMMAND)
        return OnCommand(wParam, lParam);
    return FALSE;
}

BOOL CVlmDialog::PreTranslateModeless(MSG* pMsg) {
    if (pMsg->message < WM_KEYFIRST || pMsg->message > WM_KEYLAST)
        return FALSE;
    for (HWND h : t_modeless)
        if (::IsWindow(h) && ::IsDialogMessageA(h, pMsg))
            return TRUE;
    return FALSE;
}

INT_PTR CALLBACK CVlmDialog::DialogProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    CVlmDialog* self = nullptr;
    if (msg == WM_INITDIALOG) {
        self = reinterpret_cast<CVlmDialog*>(lParam);
        ::SetWindowLongPtrA(hWnd, DWLP_USER, lParam);
        self->m_hWnd = hWnd;
        if (self->m_bMainWindow && CVlmApp::GetApp())
            CVlmApp::GetApp()->SetMainWnd(hWnd);
        return self->OnInitDialog();
    }
    self = reinterpret_cast<CVlmDialog*>(::GetWindowLongPtrA(hWnd, DWLP_USER));
    if (!self)
        return FALSE;
    LRESULT lResult = 0;
    BOOL handled = self->OnMessage(msg, wParam, lParam, lResult);
    if (msg == WM_NCDESTROY) {
        ::SetWindowLongPtrA(hWnd, DWLP_USER, 0);
        for (auto it = t_modeless.begin(); it != t_modeless.end(); ++it)
            if (*it == hWnd) {
                t_modeless.erase(it);
                break;
            }
        self->m_hWnd = nullptr;
        // A destroyed window must not stay the target of the main window's messages.
        if (self->m_bMainWindow && CVlmApp::GetApp() && CVlmApp::GetApp()->GetMainWnd() == hWnd)
            CVlmApp::GetApp()->SetMainWnd(nullptr);
        self->OnDestroyed();
        return handled;
    }
    if (!handled)
        return FALSE;
    switch (msg) {
    // These answer through the return value, not DWLP_MSGRESULT.
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
        return static_cast<INT_PTR>(lResult);
    default:
        ::SetWindowLongPtrA(hWnd, DWLP_MSGRESULT, lResult);
        return TRUE;
    }
}
