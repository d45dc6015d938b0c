#include "Scan.h"

#include <algorithm>
#include <cstdio>
#include <functional>

#include "ScanLog.h"
#include "ScanSupport.h"
#include "TwainDriver.h"

namespace {
const char kClassName[] = "Harv Scan Thread";

// Waits for hThread (may be null) or until done() answers true, at most
// dwLimit ms from dwStart. Meanwhile it answers what other threads send to
// this one: the scan thread delivers pages to windows of this thread and
// waits for them, so a plain wait here would hold both threads.
bool WaitAnsweringSends(HANDLE hThread, DWORD dwStart, DWORD dwLimit,
                        const std::function<bool()>& done) {
    const DWORD nHandles = hThread ? 1 : 0;
    for (;;) {
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE); // answers them
        if (done && done())
            return true;
        if (hThread && WaitForSingleObject(hThread, 0) == WAIT_OBJECT_0)
            return true;
        const DWORD elapsed = GetTickCount() - dwStart;
        if (elapsed >= dwLimit)
            return false;
        // Woken by a message sent to this thread or the thread's end; done()
        // is a flag, not an event, so it is looked at again soon.
        const DWORD wait = std::min<DWORD>(dwLimit - elapsed, 50);
        if (MsgWaitForMultipleObjects(nHandles, &hThread, FALSE, wait, QS_SENDMESSAGE) ==
            WAIT_FAILED)
            return false;
    }
}
} // namespace

// ---- scan thread -------------------------------------------------------------

CScanThread::CScanThread(CScanDriver* pDriver) : m_pScanDriver(pDriver) {
    ScanRunLog("RegisterClassEx start");
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = &CScanThread::WndProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kClassName;
    if (!RegisterClassExA(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        ScanRunLog("RegisterClassEx failed %lu", GetLastError());
    ScanRunLog("RegisterClassEx end");
}

CScanThread::~CScanThread() = default;

BOOL CScanThread::InitInstance() {
    ScanRunLog("CScanThread::InitInstance() start");
    m_bComInit = SUCCEEDED(CoInitialize(nullptr));
    // The window finds its thread (and so the driver) through its own data.
    m_hScanWnd = CreateWindowExA(0, kClassName, "", WS_MINIMIZE, 0, 0, 0, 0, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), this);
    if (!m_hScanWnd) {
        char buf[64];
        snprintf(buf, sizeof buf, "CreateWindow failed %lu", GetLastError());
        ScanRunLog("%s", buf);
        ScanMessageBox(nullptr, buf, "Harvest", MB_OK | MB_ICONSTOP);
    } else {
        ScanRunLog("ShowWindow(m_hScanWnd, FALSE) start");
        ShowWindow(m_hScanWnd, SW_HIDE);
        ScanRunLog("ShowWindow(m_hScanWnd, FALSE) end");
        ScanRunLog("UpdateWindow(m_hScanWnd) start");
        UpdateWindow(m_hScanWnd);
        ScanRunLog("UpdateWindow(m_hScanWnd) end");
        ScanRunLog("CWnd::FromHandle(m_hScanWnd) start");
        ScanRunLog("CWnd::FromHandle(m_hScanWnd) end");
        ScanRunLog("m_pScanDriver->OpenManager(pWnd) start");
        m_pScanDriver->OpenManager(m_hScanWnd);
        ScanRunLog("m_pScanDriver->OpenManager(pWnd) end");
        ScanRunLog("m_pScanDriver->SetScanThreadHandle(m_hScanWnd) start");
        m_pScanDriver->SetScanThreadHandle(m_hScanWnd);
        ScanRunLog("m_pScanDriver->SetScanThreadHandle(m_hScanWnd) end");
    }
    if (m_hEventCompleteInitialize) {
        ScanRunLog("SetEvent(m_hEventCompleteInitialize)");
        SetEvent(m_hEventCompleteInitialize);
    } else {
        ScanRunLog("m_hEventCompleteInitialize is NULL");
    }
    m_nThreadID = GetCurrentThreadId();
    ScanRunLog("CScanThread::InitInstance() end");
    return TRUE;
}

int CScanThread::ExitInstance() {
    if (m_bComInit)
        CoUninitialize();
    m_bComInit = FALSE;
    return m_nExitCode;
}

BOOL CScanThread::PreTranslateMessage(MSG* pMsg) {
    return m_pScanDriver && m_pScanDriver->MessageHook(pMsg);
}

LRESULT CALLBACK CScanThread::WndProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        const CREATESTRUCTA* cs = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    const CScanThread* thread =
        reinterpret_cast<const CScanThread*>(GetWindowLongPtrA(hWnd, GWLP_USERDATA));
    CScanDriver* d = thread ? thread->m_pScanDriver : nullptr;
    if (!d) {
        if (msg == WM_DESTROY) {
            PostQuitMessage(0);
            return 0;
        }
        return DefWindowProcA(hWnd, msg, wParam, lParam);
    }
    switch (msg) {
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_TIMER:
        if (wParam == 1000) {
            KillTimer(hWnd, 1000);
            d->OpenDriver();
        }
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        BeginPaint(hWnd, &ps); // validates: the window is never shown
        EndPaint(hWnd, &ps);
        return 0;
    }
    case WM_COMMAND:
    case WM_VLM_PAGE_SCANNED0:
    case WM_VLM_BATCH_SCANNED:
    case WM_SCAN_PROGRESS_START:
    case WM_SCAN_PROGRESS_END:
    case WM_SCAN_PROGRESS:
        return 0;
    case WM_SCAN_OPENDRIVER:
    case WM_SCAN_REOPEN:
        return d->OpenDriver();
    case WM_SCAN_SETTING:
        return d->Setting(reinterpret_cast<HWND>(lParam), static_cast<BOOL>(wParam));
    case WM_SCAN_SELECT:
        return d->Select(reinterpret_cast<HWND>(lParam));
    case WM_SCAN_CLOSEDRIVER:
        return d->CloseDriver();
    case WM_SCAN_SCAN:
        return d->Scan(reinterpret_cast<HWND>(lParam));
    case WM_SCAN_SCANPAGE:
        return d->ScanPage(reinterpret_cast<HWND>(lParam));
    case WM_SCAN_SCANMULTISTREAM:
        return d->ScanMultiStream(reinterpret_cast<HWND>(lParam));
    case WM_SCAN_PROBE:
        return d->Probe(reinterpret_cast<const char*>(lParam), static_cast<BOOL>(wParam));
    case WM_SCAN_OPENMANAGER:
        return d->OpenManager(nullptr);
    case WM_SCAN_CLOSEMANAGER:
        return d->CloseSourceManager();
    case WM_SCAN_STORESETTING:
        return d->SaveCustomDsData(reinterpret_cast<const char*>(lParam));
    case WM_SCAN_RESTORESETTING:
        d->ResetSettings();
        return d->LoadCustomDsData(reinterpret_cast<const char*>(lParam));
    case WM_SCAN_SETFEEDER:
        return d->SetFeeder(static_cast<int>(lParam));
    case WM_SCAN_GETFEEDER:
        return d->GetFeeder(reinterpret_cast<int*>(lParam));
    case WM_SCAN_GETENUMFEEDER:
        return d->GetEnumFeeder(reinterpret_cast<std::vector<uint16_t>*>(lParam));
    case WM_SCAN_SETIMAGETYPE:
        return d->SetImageType(LOWORD(lParam));
    case WM_SCAN_GETIMAGETYPE:
        return d->GetImageType(reinterpret_cast<int*>(lParam));
    case WM_SCAN_GETENUMIMAGETYPE:
        return d->GetEnumImageType(reinterpret_cast<std::vector<uint16_t>*>(lParam));
    case WM_SCAN_SETRESOLUTION:
        return d->SetResolution(static_cast<int>(lParam));
    case WM_SCAN_GETRESOLUTION:
        return d->GetResolution(reinterpret_cast<int*>(lParam));
    case WM_SCAN_GETENUMRESOLUTION:
        return d->GetEnumResolution(reinterpret_cast<std::vector<uint16_t>*>(lParam));
    case WM_SCAN_GETENUMRESOLUTIONALL:
        return d->GetEnumResolutionAll(reinterpret_cast<std::vector<uint16_t>*>(lParam));
    case WM_SCAN_GETHALFTONESTRING:
        return d->GetHalfToneString(static_cast<int>(wParam),
                                    reinterpret_cast<std::string*>(lParam));
    case WM_SCAN_GETENUMHALFTONESTRING:
        return d->GetEnumHalfToneString(reinterpret_cast<std::vector<std::string>*>(lParam));
    case WM_SCAN_SETJOBCONTROL:
        return d->SetJobControl(static_cast<int>(lParam));
    case WM_SCAN_GETJOBCONTROL:
        return d->GetJobControl(reinterpret_cast<int*>(lParam));
    case WM_SCAN_GETENUMJOBCONTROL:
        return d->GetEnumJobControl(reinterpret_cast<std::vector<uint16_t>*>(lParam));
    case WM_SCAN_GETENUMJOBCONTROLALL:
        return d->GetEnumJobControlAll(reinterpret_cast<std::vector<uint16_t>*>(lParam));
    case WM_SCAN_SETJOBCONTROLDIALOG:
        return d->SetJobControlDialog(reinterpret_cast<HWND>(wParam), static_cast<int>(lParam));
    case WM_SCAN_SETFEEDINGOPTION:
        return d->SetFeedingOption(static_cast<int>(lParam));
    case WM_SCAN_GETFEEDINGOPTION:
        return d->GetFeedingOption(reinterpret_cast<int*>(lParam));
    case WM_SCAN_SETJOBSEPARATOR:
        return d->SetJobSeparator(static_cast<int>(lParam));
    case WM_SCAN_GETJOBSEPARATOR:
        return d->GetJobSeparator(reinterpret_cast<int*>(lParam));
    case WM_SCAN_SETJOBSEPTYPE:
        return d->SetJobSepType(static_cast<int>(lParam));
    case WM_SCAN_GETJOBSEPTYPE:
        return d->GetJobSepType(reinterpret_cast<int*>(lParam));
    case WM_SCAN_GETDROPOUT:
        return d->GetDropOut(static_cast<int>(wParam), reinterpret_cast<int*>(lParam));
    case WM_SCAN_SETDROPOUT:
        return d->SetDropOut(static_cast<int>(lParam));
    case WM_SCAN_GETENUMDROPOUT:
        return d->GetEnumDropOut(reinterpret_cast<std::vector<uint16_t>*>(lParam));
    case WM_SCAN_SETMULTISTREAM:
        return d->SetMultiStreamWindows(reinterpret_cast<const VlmMultiStream*>(lParam));
    case WM_SCAN_SETDISABLEITEM:
        return d->SetDisableItem(static_cast<BOOL>(lParam));
    case WM_SCAN_SETCCAPABILITY:
        return d->SetCCapability(static_cast<int>(wParam), static_cast<LONG_PTR>(lParam));
    case WM_SCAN_GETCCAPABILITY:
        return d->GetCCapability(static_cast<int>(wParam), reinterpret_cast<LONG_PTR*>(lParam));
    case WM_SCAN_SETTAGLONG:
        // The item's value is a 32-bit TW_INT32.
        return d->SetTagLongISISPath(HIWORD(wParam), LOWORD(wParam),
                                     static_cast<long>(static_cast<int32_t>(lParam)));
    case WM_SCAN_GETTAGLONG:
        return d->GetTagLongISISPath(HIWORD(wParam), LOWORD(wParam),
                                     reinterpret_cast<long*>(lParam));
    case WM_SCAN_SETTAGASCII:
        return d->SetTagASCIIISISPath(static_cast<int>(wParam),
                                      reinterpret_cast<const char*>(lParam));
    case WM_SCAN_GETTAGASCII: {
        // lParam: the caller's buffer of 2048 bytes
        return d->GetTagASCIIISISPath(static_cast<int>(wParam), reinterpret_cast<char*>(lParam),
                                      2048);
    }
    case WM_SCAN_SHOW_TEST_BOX:
        ScanMessageBox(hWnd, "Dummy", "Harvest", MB_OK);
        return 0;
    default:
        return DefWindowProcA(hWnd, msg, wParam, lParam);
    }
}

// ---- controller ------------------------------------------------------------

CScan::CScan() {
    Construct(0);
}
CScan::CScan(int nProtocol) {
    Construct(nProtocol);
}

void CScan::Construct(int nProtocol) {
    m_nProtocol = nProtocol;
    if (nProtocol == 0)
        ScanRunLog("CScan::CScan() start");
    else
        ScanRunLog("CScan::CScan(int nProtocol) start CScan::CScan(%d)", nProtocol);
    vlm::CHandle hEvent(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    ScanRunLog("CreateEvent returns 0x%p", static_cast<void*>(hEvent.Get()));
    if (nProtocol == 0) {
        ScanRunLog("m_pScanDriver = (CTwainDriver*) new CTwainDriver; start");
        m_pScanDriver = std::make_unique<CTwainDriver>();
        ScanRunLog("m_pScanDriver = (CTwainDriver*) new CTwainDriver; end");
        // The manager library is loaded on this thread; the scan thread opens it.
        m_pScanDriver->LoadSourceManagerLibrary();
    } else {
        m_pScanDriver = std::make_unique<CScanDriver>();
    }
    ScanRunLog("AfxBeginThread start");
    m_pScanThread = std::make_unique<CScanThread>(m_pScanDriver.get());
    m_pScanThread->m_hEventCompleteInitialize = hEvent.Get();
    ScanRunLog("AfxBeginThread end");
    ScanRunLog("WaitForSingleObject(hEvent, INFINITE) start");
    // CreateThread returns once InitInstance has run (its start event); our
    // own event is signalled by InitInstance as well.
    if (m_pScanThread->CreateThread(INFINITE))
        WaitForSingleObject(hEvent.Get(), INFINITE);
    ScanRunLog("WaitForSingleObject(hEvent, INFINITE) end");
    m_pScanThread->m_hEventCompleteInitialize = nullptr;
    HANDLE h = hEvent.Detach();
    ScanRunLog("CloseHandle %s", CloseHandle(h) ? "success" : "failed");
    ScanRunLog(nProtocol == 0 ? "CScan::CScan() end" : "CScan::CScan(int nProtocol) end");
}

CScan::~CScan() {
    ScanRunLog("CScan::~CScan() start");
    // One deadline for the whole shutdown: a batch still running is cancelled
    // and given the time to end, so the source is closed on the scan thread.
    const DWORD dwStart = GetTickCount();
    const DWORD kLimit = 20 * 1000;
    if (GetBusyState() == 1) {
        ScanCancel();
        WaitAnsweringSends(nullptr, dwStart, kLimit, [this] { return GetBusyState() != 1; });
    }
    ScanRunLog("ReleaseDriver() start");
    ReleaseDriver();
    ScanRunLog("ReleaseDriver() end");
    HWND hWnd = GetScanWnd();
    ScanRunLog("SendMessage( m_pScanThread->m_hScanWnd, WM_CLOSE, NULL, NULL) start");
    if (hWnd && IsWindow(hWnd))
        SendMessageA(hWnd, WM_CLOSE, 0, 0);
    else if (m_pScanThread)
        m_pScanThread->PostThreadMessage(WM_QUIT);
    ScanRunLog("SendMessage( m_pScanThread->m_hScanWnd, WM_CLOSE, NULL, NULL) end");
    ScanRunLog("WaitForSingleObject( m_pScanThread->m_hThread, 20*1000) start");
    const bool bEnded = !m_pScanThread || !m_pScanThread->GetThreadHandle() ||
                        WaitAnsweringSends(m_pScanThread->GetThreadHandle(), dwStart, kLimit, {});
    ScanRunLog("WaitForSingleObject( m_pScanThread->m_hThread, 20*1000) end");
    if (!bEnded) {
        // A thread still running uses the thread object and the driver:
        // freeing them under it would crash the program, so they are left.
        ScanRunLog("CScan::~CScan() scan thread did not end; thread and driver left");
        m_pScanThread.release();
        m_pScanDriver.release();
    }
    ScanRunLog("delete m_pScanThread; start");
    m_pScanThread.reset();
    ScanRunLog("delete m_pScanThread; end");
    ScanRunLog("delete m_pScanDriver; start");
    m_pScanDriver.reset();
    ScanRunLog("delete m_pScanDriver; end");
    ScanRunLog("CScan::~CScan() end");
}

LRESULT CScan::Send(UINT msg, WPARAM wParam, LPARAM lParam) {
    HWND hWnd = GetScanWnd();
    if (!hWnd || !IsWindow(hWnd))
        return 0;
    return SendMessageA(hWnd, msg, wParam, lParam);
}

BOOL CScan::Probe(const char* pszSource, BOOL bShowError) {
    ScanRunLog("CScan::Probe");
    HWND hWnd = GetScanWnd();
    if (!hWnd || !IsWindow(hWnd)) {
        ScanMessageBox(nullptr, "IsWindow(m_pScanThread->GetScanWnd()) returns 0", "Harvest",
                       MB_OK);
        ScanRunLog("IsWindow(m_pScanThread->GetScanWnd()) return 0; error!!!");
        return FALSE;
    }
    return static_cast<BOOL>(
        SendMessageA(hWnd, WM_SCAN_PROBE, bShowError, reinterpret_cast<LPARAM>(pszSource)));
}

int CScan::GetBusyState() {
    return m_pScanDriver ? m_pScanDriver->GetBusyState() : 0;
}

void CScan::StartScan(HWND hDlg, UINT msg, const char* pszLog) {
    ScanRunLog("%s", pszLog);
    CTwainDriver* pTwain =
        m_nProtocol == 0 ? static_cast<CTwainDriver*>(m_pScanDriver.get()) : nullptr;
    if (GetBusyState()) {
        ScanRunLog("\t.....Busy!....");
        HWND hMain = hDlg;
        if (pTwain && !hMain)
            hMain = pTwain->MainWindow();
        if (hMain)
            SendMessageA(hMain, WM_VLM_BATCH_SCANNED, 0, 0);
        return;
    }
    if (!pTwain) {
        // The bare driver scans nothing: the batch ends at once.
        if (hDlg)
            PostMessageA(hDlg, WM_VLM_BATCH_SCANNED, 0, 0);
        return;
    }
    // Busy from now on, so a second request before the scan thread picks
    // this one up is answered as busy too.
    pTwain->MarkScanRequested();
    pTwain->SetReceiverWindow(hDlg);
    // The progress notice goes to the scan trace; no window shows it.
    CScanTraceLog::WriteF("CScan progress notice WM_MESSAGE = %d", WM_SCAN_PROGRESS_START);
    if (hDlg) {
        PostMessageA(hDlg, WM_PAINT, 0, 0);
        InvalidateRect(hDlg, nullptr, TRUE);
        UpdateWindow(hDlg);
    }
    PostMessageA(GetScanWnd(), msg, 0, reinterpret_cast<LPARAM>(hDlg));
}

void CScan::ScanStart(HWND hDlg) {
    StartScan(hDlg, WM_SCAN_SCAN, "CScan::ScanStart");
}
void CScan::ScanPageStart(HWND hDlg) {
    StartScan(hDlg, WM_SCAN_SCANPAGE, "CScan::ScanPageStart");
}
void CScan::ScanMultiStream(HWND hDlg) {
    StartScan(hDlg, WM_SCAN_SCANMULTISTREAM, "CScan::ScanMultiStream");
}

void CScan::ScanStop() {
    ScanRunLog("CScan::ScanStop");
    if (GetBusyState())
        InterlockedExchange(&m_pScanDriver->m_bStopRequested, TRUE);
}

void CScan::ScanCancel() {
    ScanRunLog("CScan::ScanCancel");
    if (GetBusyState())
        InterlockedExchange(&m_pScanDriver->m_bCancelRequested, TRUE);
}

int CScan::ScannerSetting(HWND hDlg, BOOL bDisable) {
    ScanRunLog("CScan:ScannerSetting");
    if (int busy = GetBusyState())
        return busy;
    return static_cast<int>(Send(WM_SCAN_SETTING, bDisable, reinterpret_cast<LPARAM>(hDlg)));
}

BOOL CScan::ScannerSelect(HWND hWnd) {
    ScanRunLog("CScan:ScannerSelect");
    if (GetBusyState())
        return FALSE;
    return static_cast<BOOL>(Send(WM_SCAN_SELECT, 0, reinterpret_cast<LPARAM>(hWnd)));
}

void CScan::ReleaseDriver() {
    ScanRunLog("CScan:ReleaseDriver");
    Send(WM_SCAN_CLOSEDRIVER);
    Send(WM_SCAN_CLOSEMANAGER);
}

BOOL CScan::StoreSetting(const char* pszFile) {
    ScanRunLog("CScan:StoreSetting");
    return static_cast<BOOL>(Send(WM_SCAN_STORESETTING, 0, reinterpret_cast<LPARAM>(pszFile)));
}

BOOL CScan::RestoreSetting(const char* pszFile) {
    ScanRunLog("CScan:RestoreSetting");
    return static_cast<BOOL>(Send(WM_SCAN_RESTORESETTING, 0, reinterpret_cast<LPARAM>(pszFile)));
}

void CScan::SetCompType(BOOL bJpeg, int nQuality) {
    ScanRunLog("CScan::SetCompType");
    m_pScanDriver->m_bJpeg = bJpeg;
    m_pScanDriver->m_nJpegQuality = nQuality;
}

void CScan::SetScanLog(BOOL bOn, int nXferMech) {
    CScanTraceLog::SetEnabled(bOn != FALSE);
    m_pScanDriver->SetTransferMechanism(nXferMech);
}

void CScan::ReleaseImage(HANDLE hDib) {
    m_pScanDriver->ReleaseImage(hDib);
}

void CScan::SetMainWindow(HWND hWnd) {
    m_pScanDriver->m_hMainWnd = hWnd;
}

void CScan::SetSplit(int nHorizontal, int nVertical, int nSwapMode) {
    m_pScanDriver->m_nSplitHorizontal = nHorizontal;
    m_pScanDriver->m_nSplitVertical = nVertical;
    m_pScanDriver->m_nSplitSwapMode = nSwapMode;
}

BOOL CScan::GetLastDriverError(std::string* pText, DWORD* pCode) {
    return m_pScanDriver->GetLastDriverError(pText, pCode);
}
void CScan::ClearLastDriverError() {
    m_pScanDriver->ClearLastDriverError();
}

BOOL CScan::SetFeeder(int nCode) {
    return static_cast<BOOL>(Send(WM_SCAN_SETFEEDER, 0, nCode));
}
int CScan::GetFeeder(int* pCode) {
    return SendForResult(WM_SCAN_GETFEEDER, pCode);
}
int CScan::GetEnumFeeder(std::vector<uint16_t>* pList) {
    return SendForResult(WM_SCAN_GETENUMFEEDER, pList);
}
BOOL CScan::SetImageType(int nCode) {
    return static_cast<BOOL>(Send(WM_SCAN_SETIMAGETYPE, 0, nCode));
}
int CScan::GetImageType(int* pCode) {
    return SendForResult(WM_SCAN_GETIMAGETYPE, pCode);
}
int CScan::GetEnumImageType(std::vector<uint16_t>* pList) {
    return SendForResult(WM_SCAN_GETENUMIMAGETYPE, pList);
}
BOOL CScan::SetResolution(int nDpi) {
    return static_cast<BOOL>(Send(WM_SCAN_SETRESOLUTION, 0, nDpi));
}
int CScan::GetResolution(int* pDpi) {
    return SendForResult(WM_SCAN_GETRESOLUTION, pDpi);
}
int CScan::GetEnumResolution(std::vector<uint16_t>* pList) {
    return SendForResult(WM_SCAN_GETENUMRESOLUTION, pList);
}
int CScan::GetEnumResolutionAll(std::vector<uint16_t>* pList) {
    return SendForResult(WM_SCAN_GETENUMRESOLUTIONALL, pList);
}
BOOL CScan::GetHalfToneString(int nIndex, std::string* pName) {
    return static_cast<BOOL>(
        Send(WM_SCAN_GETHALFTONESTRING, nIndex, reinterpret_cast<LPARAM>(pName)));
}
int CScan::GetEnumHalfToneString(std::vector<std::string>* pList) {
    return SendForResult(WM_SCAN_GETENUMHALFTONESTRING, pList);
}
BOOL CScan::SetJobControl(int nValue) {
    return static_cast<BOOL>(Send(WM_SCAN_SETJOBCONTROL, 0, nValue));
}
int CScan::GetJobControl(int* pValue) {
    return SendForResult(WM_SCAN_GETJOBCONTROL, pValue);
}
int CScan::GetEnumJobControl(std::vector<uint16_t>* pList) {
    return SendForResult(WM_SCAN_GETENUMJOBCONTROL, pList);
}
int CScan::GetEnumJobControlAll(std::vector<uint16_t>* pList) {
    return SendForResult(WM_SCAN_GETENUMJOBCONTROLALL, pList);
}
BOOL CScan::SetJobControlDialog(HWND hParent, int nValue) {
    return static_cast<BOOL>(
        Send(WM_SCAN_SETJOBCONTROLDIALOG, reinterpret_cast<WPARAM>(hParent), nValue));
}
BOOL CScan::SetFeedingOption(int nValue) {
    return static_cast<BOOL>(Send(WM_SCAN_SETFEEDINGOPTION, 0, nValue));
}
int CScan::GetFeedingOption(int* pValue) {
    return SendForResult(WM_SCAN_GETFEEDINGOPTION, pValue);
}
BOOL CScan::SetJobSeparator(int nValue) {
    return static_cast<BOOL>(Send(WM_SCAN_SETJOBSEPARATOR, 0, nValue));
}
int CScan::GetJobSeparator(int* pValue) {
    return SendForResult(WM_SCAN_GETJOBSEPARATOR, pValue);
}
BOOL CScan::SetJobSepType(int nValue) {
    return static_cast<BOOL>(Send(WM_SCAN_SETJOBSEPTYPE, 0, nValue));
}
int CScan::GetJobSepType(int* pValue) {
    return SendForResult(WM_SCAN_GETJOBSEPTYPE, pValue);
}
int CScan::GetDropOut(int nWindow, int* pCode) {
    return static_cast<int>(Send(WM_SCAN_GETDROPOUT, nWindow, reinterpret_cast<LPARAM>(pCode)));
}
BOOL CScan::SetDropOut(int nCode) {
    return static_cast<BOOL>(Send(WM_SCAN_SETDROPOUT, 0, nCode));
}
int CScan::GetEnumDropOut(std::vector<uint16_t>* pList) {
    return SendForResult(WM_SCAN_GETENUMDROPOUT, pList);
}
BOOL CScan::SetMultiStreamWindows(const VlmMultiStream* pRecord) {
    return static_cast<BOOL>(SendForResult(WM_SCAN_SETMULTISTREAM, pRecord));
}
BOOL CScan::SetDisableItem(BOOL bDisable) {
    return static_cast<BOOL>(Send(WM_SCAN_SETDISABLEITEM, 0, bDisable));
}
BOOL CScan::SetCCapability(int nCap, LONG_PTR nValue) {
    return static_cast<BOOL>(Send(WM_SCAN_SETCCAPABILITY, nCap, nValue));
}
BOOL CScan::GetCCapability(int nCap, LONG_PTR* pValue) {
    return static_cast<BOOL>(Send(WM_SCAN_GETCCAPABILITY, nCap, reinterpret_cast<LPARAM>(pValue)));
}
BOOL CScan::SetTagLongISISPath(int nItem, int nSubIndex, long nValue) {
    return static_cast<BOOL>(Send(WM_SCAN_SETTAGLONG, MAKEWPARAM(nSubIndex, nItem), nValue));
}
BOOL CScan::GetTagLongISISPath(int nItem, int nSubIndex, long* pValue) {
    return static_cast<BOOL>(
        Send(WM_SCAN_GETTAGLONG, MAKEWPARAM(nSubIndex, nItem), reinterpret_cast<LPARAM>(pValue)));
}
BOOL CScan::SetTagASCIIISISPath(int nItem, const char* pszText) {
    return static_cast<BOOL>(Send(WM_SCAN_SETTAGASCII, nItem, reinterpret_cast<LPARAM>(pszText)));
}
BOOL CScan::GetTagASCIIISISPath(int nItem, char* pszBuf, int cbBuf) {
    // The scan thread fills at most 2048 bytes; a smaller buffer gets a copy.
    std::string tmp(2048, '\0');
    BOOL ok =
        static_cast<BOOL>(Send(WM_SCAN_GETTAGASCII, nItem, reinterpret_cast<LPARAM>(&tmp[0])));
    if (ok && pszBuf && cbBuf > 0)
        lstrcpynA(pszBuf, tmp.c_str(), cbBuf);
    return ok;
}
