// The status window's thread as the job session drives it. The job dialog
// talks to the window only through these calls: they post messages to it or
// set its control texts, and the dialog waits for the thread before it lets
// the object go.
#pragma once

#include <windows.h>

#include <memory>

class CJobDlg;

class CStatusDialogThread {
public:
    virtual ~CStatusDialogThread() {}
    // Starts the thread with its first text and returns once the window is up
    // (its creation event); FALSE when the window could not be shown.
    virtual BOOL Start(const char* firstText) = 0;
    // The message line (control 1015) and the page count (control 1008).
    virtual void SetMessageText(const char* text) = 0;
    virtual void SetPageCount(int nPages) = 0;
    virtual void EnableCancel(BOOL bEnable) = 0;
    // The Cancel button has been pressed.
    virtual BOOL IsRequireCancel() const = 0;
    // The data source's yield procedure answering the Cancel button: nonzero
    // cancels the batch.
    using YieldProc = int(WINAPI*)(void);
    virtual YieldProc GetYieldProc() const = 0;
    // 0x803B: watch the scanner after a batch without pages.
    virtual void StartScannerWatch() = 0;
    // 0x803F: the job is complete.
    virtual void JobComplete() = 0;
    // Timer 3: the window closes itself after ms.
    virtual void StartCloseTimer(UINT ms) = 0;
    // 0x8039 to the window, then waits (at most ms) for the thread to end.
    virtual BOOL RequestCloseAndWait(DWORD ms) = 0;
};

// The status window of the job's function with the job dialog as its owner,
// not yet started; nullptr when this build has no status window.
std::unique_ptr<CStatusDialogThread> CreateStatusDialogThread(CJobDlg* pOwner, long functionId);
