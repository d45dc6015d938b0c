// A worker thread with its own message loop. The creator waits until the
// thread's InitInstance has run (start event) before posting to it.
#pragma once
#include <windows.h>
#include "framework/Handles.h"

class CVlmUiThread {
public:
    CVlmUiThread() = default;
    virtual ~CVlmUiThread();
    CVlmUiThread(const CVlmUiThread&) = delete;
    CVlmUiThread& operator=(const CVlmUiThread&) = delete;

    // Starts the thread and waits (up to waitMs) for its start event.
    // FALSE when the thread could not start or its InitInstance failed.
    BOOL CreateThread(DWORD waitMs = INFINITE);
    BOOL PostThreadMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const;
    // Posts WM_QUIT and waits up to waitMs for the thread to end.
    BOOL Quit(DWORD waitMs = INFINITE);
    BOOL WaitForExit(DWORD waitMs) const;

    DWORD GetThreadId() const { return m_dwThreadId; }
    HANDLE GetThreadHandle() const { return m_hThread.Get(); }
    HANDLE GetStartEvent() const { return m_hStartEvent.Get(); }
    int GetExitCode() const { return m_nExitCode; }

protected:
    // Run on the new thread before the loop; FALSE ends the thread.
    virtual BOOL InitInstance() { return TRUE; }
    virtual int ExitInstance() { return m_nExitCode; }
    // TRUE: the message was handled and is not dispatched.
    virtual BOOL PreTranslateMessage(MSG* pMsg) { return FALSE; }
    // Messages posted to the thread itself (no window).
    virtual void OnThreadMessage(UINT msg, WPARAM wParam, LPARAM lParam) {}

    int m_nExitCode = 0;

private:
    static unsigned __stdcall ThreadProc(void* p);
    int RunLoop();

    CHandle m_hThread;
    CHandle m_hStartEvent;
    DWORD m_dwThreadId = 0;
    BOOL m_bInitOk = FALSE;
};
