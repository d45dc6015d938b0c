// The status window of a job with the monitor on, and the error dialog that
// shows a titled error text. Both run on the thread that creates them.
#pragma once

#include <windows.h>

#include <string>

#include "common/StiCmd.h"
#include "contracts/WindowMessages.h"
#include "framework/Dialog.h"

// The Cancel button's flag, one for the process: written by the status
// window's thread, read by the job dialog and by the data source through the
// yield procedure.
class CVlmStatus {
public:
    static CVlmStatus& Instance();
    void RequireCancel() { InterlockedExchange(&m_nCancel, 1); }
    void Reset() { InterlockedExchange(&m_nCancel, 0); }
    BOOL IsRequireCancel() const { return m_nCancel != 0; }
    // Nonzero asks the data source to stop the batch.
    static int WINAPI YieldProc();

private:
    volatile LONG m_nCancel = 0;
};

constexpr UINT_PTR kStatusWatchTimer = 1;
constexpr UINT_PTR kStatusCloseTimer = 3;
constexpr UINT kStatusWatchMs = 500;
constexpr UINT kStatusCloseMs = 10000;

// The animation clip of a delivery function.
int StatusAnimationId(long functionId);

// "Software\Velmora Works Inc.\Job\<program>\<entry>": the window's normal
// rectangle as "left", "top", "right", "bottom".
std::string WindowPositionKey(const char* entry);
void RestoreWindowPosition(HWND hWnd, const char* entry);
void SaveWindowPosition(HWND hWnd, const char* entry);

// What both status dialogs share: caption, animation, colours, position.
class CStatusDialogBase : public CVlmDialog {
public:
    CStatusDialogBase(UINT nIdTemplate, HWND hOwner, const char* modelName, long functionId);

protected:
    void SetCaption();
    void PlayAnimation();
    void ShowLastFrame();
    void ColourMessageLine();
    void BringToFront();
    void EnableSystemClose(BOOL bEnable);

    std::string m_strModelName;
    long m_nFunctionId;
};

class CVlmStatusDialog : public CStatusDialogBase {
public:
    // hOwner: the job dialog, which gets 0x8039 when the window closes and
    // a request to give the scanner back when the watch ends.
    CVlmStatusDialog(HWND hOwner, const char* modelName, long functionId,
                     const std::string& caption, const std::string& message, HANDLE hCreated,
                     const std::string& deviceName);

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;

private:
    void OnButtonCancel();
    void OnButtonClose();
    LRESULT OnJobComplete();
    LRESULT OnScannerMonitorStart();
    LRESULT OnTimer(UINT_PTR nIDEvent);
    LRESULT OnRequestClose();
    void OnDestroy();
    void ShowMessage(const std::string& text);
    BOOL OpenScanner();

    HWND m_hOwner;
    std::string m_strCaption;
    std::string m_strMessage;
    HANDLE m_hCreated;
    std::string m_strDeviceName;
    CSuSTICmd m_device;
    std::string m_strLastError;
    BOOL m_bJobComplete = FALSE;
    BOOL m_bCloseSent = FALSE;
};

// The error dialog: a title (1005) and a text (1015); ends itself after ten
// seconds, on Close or 0x8039 (0), and on the model's registered message
// that a newer runner broadcasts (-1).
class CVlmStatusDialog4 : public CStatusDialogBase {
public:
    CVlmStatusDialog4(HWND hOwner, const char* modelName, long functionId, const char* title,
                      const char* text, const char* errorModeMessageName);

protected:
    BOOL OnInitDialog() override;
    void OnOK() override { EndDialog(0); }
    void OnCancel() override { EndDialog(0); }

private:
    std::string m_strTitle;
    std::string m_strText;
    UINT m_nErrorModeMessage;
};
