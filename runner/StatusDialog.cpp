#include "runner/StatusDialog.h"

#include <commctrl.h>
#include <richedit.h>

#include <algorithm>
#include <cstdio>

#include "common/Localize.h"
#include "common/VlmLog.h"
#include "common/portable/JobVocabulary.h"
#include "framework/Handles.h"
#include "framework/MessageBox.h"
#include "runner/JobAppImp.h"
#include "runner/JobDlg.h"
#include "runner/StatusResource.h"

namespace {

CVlmLog& Log() {
    return CVlmLog::Instance();
}

std::string L(const char* english) {
    return VlmLocalize(english);
}

// The rich edit class lives in its library; loaded once for the process.
void LoadRichEdit() {
    static HMODULE s_hRichEdit = LoadLibraryA("riched20.dll");
    (void)s_hRichEdit;
}

const char kStiDeviceFmt[] = "{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\%04d";

} // namespace

// ---- CVlmStatus -----------------------------------------------------------

CVlmStatus& CVlmStatus::Instance() {
    static CVlmStatus s_status;
    return s_status;
}

int WINAPI CVlmStatus::YieldProc() {
    return Instance().IsRequireCancel() ? 1 : 0;
}

int StatusAnimationId(long functionId) {
    switch (functionId) {
    case SCAN_TO_MAIL:
    case SCAN_TO_MAPI:
        return IDR_ANIM_MAIL;
    case SCAN_TO_PR:
        return IDR_ANIM_PRINT;
    default:
        return IDR_ANIM_SAVE;
    }
}

// ---- window positions --------------------------------------------------------

std::string WindowPositionKey(const char* entry) {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string name = path;
    const size_t slash = name.find_last_of("\\/");
    if (slash != std::string::npos)
        name = name.substr(slash + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos)
        name = name.substr(0, dot);
    return "Software\\Velmora Works Inc.\\Job\\" + name + "\\" + entry;
}

void RestoreWindowPosition(HWND hWnd, const char* entry) {
    Log().Write("RestoreWindowPosition() start");
    Log().Write("RestoreWindowPosition()->CVlmRegUtil::SetClassName()");
    const std::string key = WindowPositionKey(entry);
    Log().Write("RestoreWindowPosition()->CVlmRegUtil::GetRegistryClass()");
    vlm::CRegKey reg;
    Log().Write("RestoreWindowPosition()->CVlmRegUtil::Create()");
    if (reg.Open(HKEY_CURRENT_USER, key.c_str()) == ERROR_SUCCESS) {
        RECT rc;
        GetWindowRect(hWnd, &rc);
        DWORD v = 0;
        LONG left = rc.left, top = rc.top;
        if (reg.QueryDWORD("left", v) == ERROR_SUCCESS)
            left = static_cast<LONG>(v);
        if (reg.QueryDWORD("top", v) == ERROR_SUCCESS)
            top = static_cast<LONG>(v);
        // A position saved on a screen that is gone would hide the window:
        // keep it on the nearest monitor's work area.
        RECT want = {left, top, left + (rc.right - rc.left), top + (rc.bottom - rc.top)};
        MONITORINFO mi{};
        mi.cbSize = sizeof mi;
        if (GetMonitorInfoA(MonitorFromRect(&want, MONITOR_DEFAULTTONEAREST), &mi)) {
            const RECT& w = mi.rcWork;
            left = std::max(w.left, std::min(left, w.right - (rc.right - rc.left)));
            top = std::max(w.top, std::min(top, w.bottom - (rc.bottom - rc.top)));
        }
        SetWindowPos(hWnd, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    Log().Write("RestoreWindowPosition() end");
}

void SaveWindowPosition(HWND hWnd, const char* entry) {
    WINDOWPLACEMENT wp{};
    wp.length = sizeof wp;
    if (!GetWindowPlacement(hWnd, &wp))
        return;
    vlm::CRegKey reg;
    if (reg.Create(HKEY_CURRENT_USER, WindowPositionKey(entry).c_str()) != ERROR_SUCCESS)
        return;
    const RECT& r = wp.rcNormalPosition;
    reg.SetDWORD("left", static_cast<DWORD>(r.left));
    reg.SetDWORD("top", static_cast<DWORD>(r.top));
    reg.SetDWORD("right", static_cast<DWORD>(r.right));
    reg.SetDWORD("bottom", static_cast<DWORD>(r.bottom));
}

// ---- what both dialogs share ------------------------------------------------

CStatusDialogBase::CStatusDialogBase(UINT nIdTemplate, HWND hOwner, const char* modelName,
                                     long functionId)
    : CVlmDialog(nIdTemplate, hOwner), m_strModelName(modelName ? modelName : ""),
      m_nFunctionId(functionId) {
    INITCOMMONCONTROLSEX icc{};
    icc.dwSize = sizeof icc;
    icc.dwICC = ICC_ANIMATE_CLASS;
    InitCommonControlsEx(&icc);
    LoadRichEdit();
}

void CStatusDialogBase::SetCaption() {
    SetWindowTextA(m_hWnd, VlmFillIn(L("Monitor for %s"), m_strModelName).c_str());
    SetDlgItemText(IDC_STATUS_CANCEL, L("&Cancel").c_str());
    SetDlgItemText(IDC_STATUS_CLOSE, L("&Close").c_str());
}

void CStatusDialogBase::PlayAnimation() {
    HWND hAnim = GetDlgItem(IDC_STATUS_ANIMATION);
    const int id = StatusAnimationId(m_nFunctionId);
    if (!SendMessageA(hAnim, ACM_OPENA, reinterpret_cast<WPARAM>(GetModuleHandleA(nullptr)),
                      reinterpret_cast<LPARAM>(MAKEINTRESOURCEA(id)))) {
        Log().Write("animation %d could not be opened", id);
        return;
    }
    // From the first frame to the last, repeating without end.
    SendMessageA(hAnim, ACM_PLAY, static_cast<WPARAM>(-1), MAKELONG(0, 0xFFFF));
    Log().Write("animation %d playing", id);
}

void CStatusDialogBase::ShowLastFrame() {
    HWND hAnim = GetDlgItem(IDC_STATUS_ANIMATION);
    SendMessageA(hAnim, ACM_STOP, 0, 0);
    const WORD last = VLM_STATUS_CLIP_FRAMES - 1;
    SendMessageA(hAnim, ACM_PLAY, 1, MAKELONG(last, last));
}

void CStatusDialogBase::ColourMessageLine() {
    SendMessageA(GetDlgItem(IDC_STATUS_MESSAGE), EM_SETBKGNDCOLOR, 0, GetSysColor(COLOR_BTNFACE));
    if (HWND hBand = GetDlgItem(IDC_STATUS_BAND))
        SendMessageA(hBand, EM_SETBKGNDCOLOR, 0, RGB(225, 252, 224));
}

void CStatusDialogBase::BringToFront() {
    // A window of a background process may not take the foreground by
    // itself: share the input state with the foreground thread for the call.
    const DWORD self = GetCurrentThreadId();
    HWND hFore = GetForegroundWindow();
    const DWORD fore = hFore ? GetWindowThreadProcessId(hFore, nullptr) : 0;
    const BOOL attached = fore && fore != self && AttachThreadInput(self, fore, TRUE);
    SetForegroundWindow(m_hWnd);
    if (attached)
        AttachThreadInput(self, fore, FALSE);
    SetActiveWindow(m_hWnd);
    SetWindowPos(m_hWnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void CStatusDialogBase::EnableSystemClose(BOOL bEnable) {
    if (HMENU hMenu = GetSystemMenu(m_hWnd, FALSE))
        EnableMenuItem(hMenu, SC_CLOSE, MF_BYCOMMAND | (bEnable ? MF_ENABLED : MF_GRAYED));
}

// ---- the status window ------------------------------------------------------

CVlmStatusDialog::CVlmStatusDialog(HWND hOwner, const char* modelName, long functionId,
                                   const std::string& caption, const std::string& message,
                                   HANDLE hCreated, const std::string& deviceName)
    : CStatusDialogBase(IDD_STATUS_DIALOG, hOwner, modelName, functionId), m_hOwner(hOwner),
      m_strCaption(caption), m_strMessage(message), m_hCreated(hCreated),
      m_strDeviceName(deviceName) {
    OnCmd(IDC_STATUS_CANCEL, [this] { OnButtonCancel(); });
    OnCmd(IDC_STATUS_CLOSE, [this] { OnButtonClose(); });
    OnMsg(WM_VLM_JOB_COMPLETE, [this](WPARAM, LPARAM) { return OnJobComplete(); });
    OnMsg(WM_VLM_WATCH_SCANNER, [this](WPARAM, LPARAM) { return OnScannerMonitorStart(); });
    OnMsg(WM_VLM_REQUEST_CLOSE, [this](WPARAM, LPARAM) { return OnRequestClose(); });
    OnMsg(WM_TIMER, [this](WPARAM w, LPARAM) { return OnTimer(w); });
    OnMsg(WM_VLM_STATUS_START_TIMER, [this](WPARAM w, LPARAM l) {
        SetTimer(m_hWnd, w, static_cast<UINT>(l), nullptr);
        return LRESULT(0);
    });
    OnMsg(WM_DESTROY, [this](WPARAM, LPARAM) {
        OnDestroy();
        return LRESULT(0);
    });
}

BOOL CVlmStatusDialog::OnInitDialog() {
    Log().Write("CVlmStatusDialog::OnInitDialog() start");
    Log().Write("text");
    SetCaption();
    SetDlgItemText(IDC_STATUS_BAND, m_strCaption.c_str());
    SetDlgItemText(IDC_STATUS_MESSAGE, m_strMessage.c_str());
    SetDlgItemText(IDC_STATUS_PAGES_LABEL, L("Pages:").c_str());
    Log().Write("position restore");
    RestoreWindowPosition(m_hWnd, "window1pos");
    Log().Write("icon selected");
    PlayAnimation();
    Log().Write("button control");
    ShowWindow(GetDlgItem(IDC_STATUS_CLOSE), SW_HIDE);
    EnableWindow(GetDlgItem(IDC_STATUS_CLOSE), FALSE);
    EnableSystemClose(FALSE);
    ColourMessageLine();
    if (m_hCreated)
        SetEvent(m_hCreated);
    BringToFront();
    Log().Write("CVlmStatusDialog::OnInitDialog() end");
    return TRUE;
}

void CVlmStatusDialog::OnOK() {
    if (m_bJobComplete) {
        OnButtonClose();
        return;
    }
    Log().Write("CVlmStatusDialog::OnOK() start");
    Log().Write("CVlmStatusDialog::OnOK() end");
}

void CVlmStatusDialog::OnCancel() {
    if (m_bJobComplete) {
        OnButtonClose();
        return;
    }
    Log().Write("CVlmStatusDialog::OnCancel() start");
    Log().Write("CVlmStatusDialog::OnCancel() end");
}

void CVlmStatusDialog::OnButtonCancel() {
    Log().Write("CVlmStatusDialog::OnButtonCancel()");
    CVlmStatus::Instance().RequireCancel();
    EnableWindow(GetDlgItem(IDC_STATUS_CANCEL), FALSE);
}

void CVlmStatusDialog::OnButtonClose() {
    Log().Write("CVlmStatusDialog::OnButtonClose()");
    // The job dialog closes this window and ends the job; asked once.
    if (m_bCloseSent)
        return;
    m_bCloseSent = TRUE;
    PostMessageA(m_hOwner, WM_VLM_REQUEST_CLOSE, 0, 0);
}

LRESULT CVlmStatusDialog::OnJobComplete() {
    Log().Write("CVlmStatusDialog::OnJobComplete()");
    m_bJobComplete = TRUE;
    ShowLastFrame();
    ShowWindow(GetDlgItem(IDC_STATUS_CANCEL), SW_HIDE);
    HWND hClose = GetDlgItem(IDC_STATUS_CLOSE);
    ShowWindow(hClose, SW_SHOW);
    EnableWindow(hClose, TRUE);
    EnableSystemClose(TRUE);
    InvalidateRect(m_hWnd, nullptr, TRUE);
    UpdateWindow(m_hWnd);
    return 0;
}

BOOL CVlmStatusDialog::OpenScanner() {
    if (m_device.GetHandle())
        return TRUE;
    if (!m_strDeviceName.empty() && m_device.Open(m_strDeviceName.c_str()))
        return TRUE;
    for (int i = 0; i < 50; ++i) {
        char name[64];
        snprintf(name, sizeof name, kStiDeviceFmt, i);
        if (m_device.Open(name))
            return TRUE;
    }
    return FALSE;
}

LRESULT CVlmStatusDialog::OnScannerMonitorStart() {
    Log().Write("CVlmStatusDialog::OnScannerMonitorStart()");
    if (!OpenScanner()) {
        VlmMessageBoxTop(m_hWnd, "sti open failed", m_strModelName.c_str(), MB_OK | MB_TOPMOST);
        VlmMessageBoxTop(m_hWnd, m_strDeviceName.c_str(), m_strModelName.c_str(),
                         MB_OK | MB_TOPMOST);
        return 0;
    }
    if (!SetTimer(m_hWnd, kStatusWatchTimer, kStatusWatchMs, nullptr))
        VlmMessageBoxTop(m_hWnd, "Set Timer Failed ", "ERROR", MB_OK | MB_TOPMOST);
    return 0;
}

void CVlmStatusDialog::ShowMessage(const std::string& text) {
    SetDlgItemText(IDC_STATUS_MESSAGE, text.c_str());
}

LRESULT CVlmStatusDialog::OnTimer(UINT_PTR nIDEvent) {
    if (nIDEvent == kStatusCloseTimer) {
        KillTimer(m_hWnd, kStatusCloseTimer);
        OnButtonClose();
        return 0;
    }
    if (nIDEvent != kStatusWatchTimer)
        return 0;
    Log().Write("CVlmStatusDialog::OnTimer(UINT nIDEvent)");
    if (!m_device.GetHandle()) {
        ShowMessage("StiOpen Failed");
        return 0;
    }
    std::string text;
    if (!m_device.LoadCheck())
        text = m_device.GetSenseText();
    if (text.empty()) {
        // Ready, or only paper missing: the user loads paper and starts again.
        m_device.Close();
        KillTimer(m_hWnd, kStatusWatchTimer);
        ShowMessage(L("Set papers and start job."));
        Log().Write("scanner watch ended");
        SendMessageA(m_hOwner, WM_VLM_STATUS_UNLOCK, 0, 0);
        InvalidateRect(m_hWnd, nullptr, TRUE);
        return 0;
    }
    if (text != m_strLastError) {
        Log().Write("scanner watch: %s", text.c_str());
        ShowMessage(text);
        m_strLastError = text;
    }
    return 0;
}

LRESULT CVlmStatusDialog::OnRequestClose() {
    Log().Write("CVlmStatusDialog::OnRequestClose()");
    EndDialog(0);
    return 0;
}

void CVlmStatusDialog::OnDestroy() {
    Log().Write("CVlmStatusDialog::OnDestroy()");
    KillTimer(m_hWnd, kStatusWatchTimer);
    KillTimer(m_hWnd, kStatusCloseTimer);
    m_device.Close();
    SaveWindowPosition(m_hWnd, "window1pos");
}

// ---- the error dialog -------------------------------------------------------

CVlmStatusDialog4::CVlmStatusDialog4(HWND hOwner, const char* modelName, long functionId,
                                     const char* title, const char* text,
                                     const char* errorModeMessageName)
    : CStatusDialogBase(IDD_STATUS_DIALOG4, hOwner, modelName, functionId),
      m_strTitle(title ? title : ""), m_strText(text ? text : ""),
      m_nErrorModeMessage(errorModeMessageName ? RegisterWindowMessageA(errorModeMessageName) : 0) {
    OnCmd(IDC_STATUS_CLOSE, [this] { EndDialog(0); });
    OnMsg(WM_VLM_REQUEST_CLOSE, [this](WPARAM, LPARAM) {
        EndDialog(0);
        return LRESULT(0);
    });
    OnMsg(WM_TIMER, [this](WPARAM w, LPARAM) {
        if (w == kStatusCloseTimer) {
            KillTimer(m_hWnd, kStatusCloseTimer);
            EndDialog(0);
        }
        return LRESULT(0);
    });
    if (m_nErrorModeMessage)
        OnMsg(m_nErrorModeMessage, [this](WPARAM, LPARAM) {
            // A newer runner started: this error is old news.
            EndDialog(-1);
            return LRESULT(0);
        });
    OnMsg(WM_DESTROY, [this](WPARAM, LPARAM) {
        KillTimer(m_hWnd, kStatusCloseTimer);
        SaveWindowPosition(m_hWnd, "window2pos");
        return LRESULT(0);
    });
}

BOOL CVlmStatusDialog4::OnInitDialog() {
    SetCaption();
    RestoreWindowPosition(m_hWnd, "window1pos");
    PlayAnimation();
    SetDlgItemText(IDC_STATUS_TITLE, m_strTitle.c_str());
    SetDlgItemText(IDC_STATUS_MESSAGE, m_strText.c_str());
    EnableWindow(GetDlgItem(IDC_STATUS_CANCEL), FALSE);
    ColourMessageLine();
    SetTimer(m_hWnd, kStatusCloseTimer, kStatusCloseMs, nullptr);
    BringToFront();
    return TRUE;
}
