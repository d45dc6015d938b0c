#include "framework/UiThread.h"
#include "framework/Dialog.h"
#include <process.h>

CVlmUiThread::~CVlmUiThread() {
    // The thread uses this object: it must be gone before the object is.
    if (m_hThread && !WaitForExit(0))
        Quit(INFINITE);
}

BOOL CVlmUiThread::CreateThread(DWORD waitMs) {
    if (m_hThread)
        return FALSE;
    m_hStartEvent.Attach(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!m_hStartEvent)
        return FALSE;
    unsigned id = 0;
    uintptr_t h = _beginthreadex(nullptr, 0, &CVlmUiThread::ThreadProc, this, 0, &id);
    if (!h)
        return FALSE;
    m_hThread.Attach(reinterpret_cast<HANDLE>(h));
    m_dwThreadId = id;
    HANDLE waits[2] = {m_hStartEvent.Get(), m_hThread.Get()};
    DWORD rc = ::WaitForMultipleObjects(2, waits, FALSE, waitMs);
    return rc == WAIT_OBJECT_0 && m_bInitOk;
}

unsigned __stdcall CVlmUiThread::ThreadProc(void* p) {
    return static_cast<unsigned>(static_cast<CVlmUiThread*>(p)->RunLoop());
}

int CVlmUiThread::RunLoop() {
    MSG msg;
    // Make the queue exist before anyone is told to post to it.
    ::PeekMessageA(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    m_bInitOk = InitInstance();
    ::SetEvent(m_hStartEvent.Get());
    if (!m_bInitOk)
        return m_nExitCode = ExitInstance();
    for (;;) {
        BOOL rc = ::GetMessageA(&msg, nullptr, 0, 0);
        if (rc == 0) {
            m_nExitCode = static_cast<int>(msg.wParam);
            break;
        }
        if (rc == -1) {
            m_nExitCode = -1;
            break;
        }
        if (PreTranslateMessage(&msg) || CVlmDialog::PreTranslateModeless(&msg))
            continue;
        if (msg.hwnd == nullptr) {
            OnThreadMessage(msg.message, msg.wParam, msg.lParam);
            continue;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    return m_nExitCode = ExitInstance();
}

BOOL CVlmUiThread::PostThreadMessage(UINT msg, WPARAM wParam, LPARAM lParam) const {
    return m_dwThreadId && ::PostThreadMessageA(m_dwThreadId, msg, wParam, lParam);
}

BOOL CVlmUiThread::WaitForExit(DWORD waitMs) const {
    if (!m_hThread)
        return TRUE;
    return ::WaitForSingleObject(m_hThread.Get(), waitMs) == WAIT_OBJECT_0;
}

BOOL CVlmUiThread::Quit(DWORD waitMs) {
    if (!m_hThread)
        return TRUE;
    PostThreadMessage(WM_QUIT, 0, 0);
    return WaitForExit(waitMs);
}
