#include "runner/StatusThread.h"

#include <process.h>

#include <atomic>
#include <string>
#include <vector>

#include "common/VlmLog.h"
#include "common/portable/JobVocabulary.h"
#include "framework/Handles.h"
#include "runner/JobAppImp.h"
#include "runner/JobDlg.h"
#include "runner/StatusDialog.h"
#include "runner/StatusResource.h"
#include "runner/core/StiArguments.h"

namespace {

CVlmLog& Log() {
    return CVlmLog::Instance();
}

// The still-image device named on the command line.
std::string CommandLineDevice() {
    std::vector<std::string> args;
    for (int i = 1; i < __argc; ++i)
        args.push_back(__argv[i]);
    return kestrel::ParseStiArguments(args).m_strDevice;
}

// Waits for h while answering messages other threads send to this one: the
// status window's modal loop talks to its owner (this thread) synchronously.
BOOL WaitAnsweringSent(HANDLE h, DWORD ms) {
    const DWORD start = GetTickCount();
    for (;;) {
        DWORD left = INFINITE;
        if (ms != INFINITE) {
            const DWORD spent = GetTickCount() - start;
            if (spent >= ms)
                return WaitForSingleObject(h, 0) == WAIT_OBJECT_0;
            left = ms - spent;
        }
        const DWORD r = MsgWaitForMultipleObjects(1, &h, FALSE, left, QS_SENDMESSAGE);
        if (r == WAIT_OBJECT_0)
            return TRUE;
        if (r != WAIT_OBJECT_0 + 1)
            return WaitForSingleObject(h, 0) == WAIT_OBJECT_0;
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

class CVlmStatusDialogThread : public CStatusDialogThread {
public:
    CVlmStatusDialogThread(CJobDlg* pOwner, long functionId)
        : m_pOwner(pOwner), m_nFunctionId(functionId) {}
    ~CVlmStatusDialogThread() override {
        if (m_hThread)
            RequestCloseAndWait(INFINITE);
    }

    BOOL Start(const char* firstText) override {
        m_strFirstText = firstText ? firstText : "";
        m_strDeviceName = CommandLineDevice();
        CVlmStatus::Instance().Reset();
        m_hCreated.Attach(CreateEventA(nullptr, TRUE, FALSE, nullptr));
        if (!m_hCreated)
            return FALSE;
        unsigned id = 0;
        m_hThread.Attach(reinterpret_cast<HANDLE>(
            _beginthreadex(nullptr, 0, &ThreadProc, this, CREATE_SUSPENDED, &id)));
        if (!m_hThread)
            return FALSE;
        ResumeThread(m_hThread.Get());
        HANDLE both[2] = {m_hCreated.Get(), m_hThread.Get()};
        for (;;) {
            const DWORD r = MsgWaitForMultipleObjects(2, both, FALSE, INFINITE, QS_SENDMESSAGE);
            if (r == WAIT_OBJECT_0)
                return TRUE;
            if (r != WAIT_OBJECT_0 + 2) {
                // The thread ended without a window.
                WaitForSingleObject(m_hThread.Get(), INFINITE);
                m_hThread.Close();
                return FALSE;
            }
            MSG msg;
            PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        }
    }
    void SetMessageText(const char* text) override {
        if (HWND h = Window())
            SetDlgItemTextA(h, IDC_STATUS_MESSAGE, text ? text : "");
    }
    void SetPageCount(int nPages) override {
        if (HWND h = Window())
            SetDlgItemInt(h, IDC_STATUS_PAGES, nPages, TRUE);
    }
    void EnableCancel(BOOL bEnable) override {
        if (HWND h = Window())
            EnableWindow(GetDlgItem(h, IDC_STATUS_CANCEL), bEnable);
    }
    BOOL IsRequireCancel() const override { return CVlmStatus::Instance().IsRequireCancel(); }
    YieldProc GetYieldProc() const override { return &CVlmStatus::YieldProc; }
    void StartScannerWatch() override { Post(WM_VLM_WATCH_SCANNER, 0, 0); }
    void JobComplete() override { Post(WM_VLM_JOB_COMPLETE, 0, 0); }
    void StartCloseTimer(UINT ms) override {
        Post(WM_VLM_STATUS_START_TIMER, kStatusCloseTimer, static_cast<LPARAM>(ms));
    }
    BOOL RequestCloseAndWait(DWORD ms) override {
        if (!m_hThread)
            return TRUE;
        Post(WM_VLM_REQUEST_CLOSE, 0, 0);
        if (!WaitAnsweringSent(m_hThread.Get(), ms))
            return FALSE;
        m_hThread.Close();
        return TRUE;
    }

private:
    HWND Window() const {
        HWND h = m_hWnd.load();
        return h && IsWindow(h) ? h : nullptr;
    }
    void Post(UINT msg, WPARAM w, LPARAM l) {
        if (HWND h = Window())
            PostMessageA(h, msg, w, l);
    }

    static unsigned __stdcall ThreadProc(void* p) {
        static_cast<CVlmStatusDialogThread*>(p)->InitInstance();
        return 0;
    }
    void InitInstance() {
        Log().Write("CStatusDialogThread::InitInstance() start");
        CJobAppImp* pImp = m_pOwner->GetModel();
        const char* model = pImp ? pImp->GetModelName() : "";
        std::string caption = m_pOwner->m_Settings.m_strFunctionName;
        if (caption.empty())
            caption = vlm::FunctionDisplayName(m_nFunctionId);
        CVlmStatusWindow dlg(this, m_pOwner->GetSafeHwnd(), model, m_nFunctionId, caption,
                             m_strFirstText, m_hCreated.Get(), m_strDeviceName);
        dlg.DoModal();
        m_hWnd = nullptr;
        Log().Write("CStatusDialogThread::InitInstance() end");
    }

    // The window tells the thread object its handle before it signals.
    class CVlmStatusWindow : public CVlmStatusDialog {
    public:
        template <class... A>
        CVlmStatusWindow(CVlmStatusDialogThread* pThread, A&&... a)
            : CVlmStatusDialog(std::forward<A>(a)...), m_pThread(pThread) {}

    protected:
        BOOL OnInitDialog() override {
            m_pThread->m_hWnd = m_hWnd;
            return CVlmStatusDialog::OnInitDialog();
        }

    private:
        CVlmStatusDialogThread* m_pThread;
    };

    CJobDlg* m_pOwner;
    long m_nFunctionId;
    std::string m_strFirstText;
    std::string m_strDeviceName;
    vlm::CHandle m_hCreated;
    vlm::CHandle m_hThread;
    std::atomic<HWND> m_hWnd{nullptr};
};

} // namespace

std::unique_ptr<CStatusDialogThread> CreateStatusDialogThread(CJobDlg* pOwner, long functionId) {
    return std::make_unique<CVlmStatusDialogThread>(pOwner, functionId);
}
