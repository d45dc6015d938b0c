#include <winsock2.h> // before windows.h: the mail sender's transport

#include "runner/JobDlg.h"
#include "runner/StatusDialog.h"

#include <process.h>

#include "common/Localize.h"
#include "common/RecoveredScans.h"
#include "common/VlmLog.h"
#include "contracts/WindowMessages.h"
#include "contracts/vlmtwain.h"
#include "framework/App.h"
#include "framework/ComError.h"
#include "framework/MessageBox.h"
#include "framework/Profile.h"
#include "framework/Variant.h"
#include "imaging/TiffSharedLibraries.h"
#include "imaging/output/PageImage.h"
#include "imaging/tiff.h"
#include "mail/win/MailSender.h"
#include "runner/JobApp.h"
#include "runner/JobAppImp.h"
#include "runner/JobSessionHost.h"
#include "runner/OpenWithApp.h"
#include "runner/PrintDelivery.h"
#include "runner/VX410Names.h"
#include "runner/core/SessionRules.h"
#include "scan/core/PageInfo.h"

namespace {

CVlmLog& Log() {
    return CVlmLog::Instance();
}

std::string L(const char* english) {
    return VlmLocalize(english);
}

bool FileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

ULONGLONG FileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA a;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &a))
        return 0;
    return (ULONGLONG(a.nFileSizeHigh) << 32) | a.nFileSizeLow;
}

// The runner's profile: the application's, or kestrel's when the dialog runs
// inside another program (tests).
CVlmProfile RunnerProfile() {
    return CVlmApp::GetApp() ? CVlmProfile() : CVlmProfile("Velmora Works Inc.", "kestrel");
}

const char kModule[] = "\nModuleName : Kestrel\n";

} // namespace

// The mail sender and the dialog's side of its callbacks.
struct CJobDlg::CMailLink : vlm::mail::IMailSenderOwner {
    explicit CMailLink(CJobDlg& dlg) : m_Dlg(dlg) {}
    void OnMailLog(const std::string& line) override { m_Dlg.OnMailLog(line); }
    void OnMailFinished(long code, const std::string& text, const std::string& message) override {
        m_Dlg.OnMailFinished(code, text, message);
    }
    CJobDlg& m_Dlg;
    vlm::mail::CMailSender m_Sender{*this};
};

// ---- construction ----------------------------------------------------------

CJobDlg::CJobDlg(UINT nIdTemplate, const char* caption, CJobSessionHost* pHost)
    : CVlmDialog(nIdTemplate), m_pHost(pHost), m_strCaption(caption ? caption : ""),
      m_pMail(std::make_unique<CMailLink>(*this)) {
    if (!m_pHost)
        m_pHost = static_cast<CJobApp*>(CVlmApp::GetApp());
    // The TIFF writer's JPEG pages and its log lines go through the shared pieces.
    VlmTiffUseSharedLibraries();

    char temp[MAX_PATH + 1] = {};
    DWORD n = GetTempPathA(MAX_PATH, temp);
    std::string base = n > 0 && n <= MAX_PATH ? std::string(temp, n) : std::string();
    if (!base.empty() && base.back() != '\\')
        base += '\\';
    m_strTempFolder = base + Model()->GetTempFolderName();
    m_strSettingsFile = m_strTempFolder + "\\" + Model()->GetSettingsFileName();
    if (!base.empty() && SetCurrentDirectoryA(base.c_str())) {
        // A folder left by an earlier job goes when it is empty.
        RemoveDirectoryA(m_strTempFolder.c_str());
        CreateDirectoryA(m_strTempFolder.c_str(), nullptr);
    }
    if (!m_RunFile.Create(m_strTempFolder))
        Log().Write("no run file in %s: %s", m_strTempFolder.c_str(),
                    GetSystemErrorText(GetLastError()).c_str());
    m_FolderWarnings.AllOff();

    OnMsg(WM_VLM_PAGE_SCANNED0, [this](WPARAM w, LPARAM l) { return OnPageScanned0(w, l); });
    OnMsg(WM_VLM_PAGE_SCANNED, [this](WPARAM w, LPARAM l) { return OnPageScanned(w, l); });
    OnMsg(WM_VLM_BATCH_SCANNED, [this](WPARAM w, LPARAM l) { return OnBatchScanned(w, l); });
    OnMsg(WM_VLM_JOB_START, [this](WPARAM w, LPARAM l) { return OnJobStart(w, l); });
    OnMsg(WM_VLM_REQUEST_CLOSE, [this](WPARAM w, LPARAM l) { return OnRequestClose(w, l); });
    // The status window's scanner watch ended: the scanner goes back to the
    // service (again, harmlessly, when the job's end already gave it back).
    OnMsg(WM_VLM_STATUS_UNLOCK, [this](WPARAM, LPARAM) {
        try {
            Host().StiUnLock();
        } catch (const CComError& e) {
            Log().Write("%s", e.Message().c_str());
        }
        return LRESULT(0);
    });
    OnMsg(WM_QUERYENDSESSION, [this](WPARAM w, LPARAM l) { return OnQueryEndSession(w, l); });
    // Never shown: the dialog manager would show a modal dialog on its own.
    OnMsg(WM_WINDOWPOSCHANGING, [](WPARAM, LPARAM l) -> LRESULT {
        reinterpret_cast<WINDOWPOS*>(l)->flags &= ~SWP_SHOWWINDOW;
        return 0;
    });
    OnMsg(WM_PAINT, [this](WPARAM, LPARAM) -> LRESULT {
        PAINTSTRUCT ps;
        HDC hdc = BeginPaint(m_hWnd, &ps);
        if (IsIconic(m_hWnd) && m_hIcon)
            DrawIcon(hdc, 0, 0, m_hIcon);
        EndPaint(m_hWnd, &ps);
        return 0;
    });
    OnMsg(WM_QUERYDRAGICON,
          [this](WPARAM, LPARAM) -> LRESULT { return reinterpret_cast<LRESULT>(m_hIcon); });
}

CJobDlg::~CJobDlg() {
    StopDriverWindowCloser();
    // A job refused before its session leaves no folder behind (a live
    // runner's files stay, and a dead one's until they are kept).
    if (!m_bCleanedUp) {
        m_RunFile.Close(true);
        RemoveTempFolder();
    }
}

void CJobDlg::RecoverDeadRunners() {
    CVlmLogStep step("RecoverDeadRunners()");
    kestrel::RecoverDeadRunners(m_strTempFolder,
                                L("The job ended before its pages were delivered."),
                                [](const std::string& line) { Log().Write("%s", line.c_str()); });
    if (const int n = vlm::PurgeRecoveredScans())
        Log().Write("%d recovered jobs older than %d days were removed", n, vlm::kRecoveryKeepDays);
}

CJobAppImp* CJobDlg::Model() const {
    return m_pHost->GetImp();
}

BOOL CJobDlg::OnInitDialog() {
    Log().Write("CJobDlg::OnInitDialog() start");
    // A later runner finds this dialog by its caption.
    SetWindowTextA(m_hWnd, m_strCaption.c_str());
    m_hIcon = LoadIcon(nullptr, IDI_APPLICATION);
    SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
    // Without them a mail job fails to start its sending and says so then.
    if (!m_pMail->m_Sender.Create(m_hWnd))
        Log().Write("the mail controls could not be created");
    PostMessageA(m_hWnd, WM_VLM_JOB_START, 0, 0);
    Log().Write("CJobDlg::OnInitDialog() end");
    return TRUE;
}

// Enter and Escape never end a job.
void CJobDlg::OnOK() {
    Log().Write("CJobDlg::OnOK() ");
}
void CJobDlg::OnCancel() {
    Log().Write("CJobDlg::OnCancel()");
}

void CJobDlg::OnDestroyed() {
    StopDriverWindowCloser();
    CloseStatusWindow();
    // However the job ended (a newer runner's close request too), its files go.
    CleanupTempFiles();
    DeleteFileA(m_strSettingsFile.c_str());
}

void CJobDlg::CloseStatusWindow() {
    if (!m_pStatusThread)
        return;
    if (!m_pStatusThread->RequestCloseAndWait(kStatusCloseWaitMs)) {
        // Its thread waits for the user (a message box of the scanner watch)
        // and still uses the object: both stay until the process ends.
        Log().Write("the status window did not close within %u ms; the job ends without it",
                    static_cast<unsigned>(kStatusCloseWaitMs));
        m_pStatusThread.release();
        return;
    }
    m_pStatusThread.reset();
}

BOOL CJobDlg::IsRequireCancel() const {
    return m_pStatusThread && m_pStatusThread->IsRequireCancel();
}

int CJobDlg::MessageBoxTop(const char* text, UINT flags) const {
    return VlmMessageBoxTop(nullptr, text, Model()->GetModelName(),
                            flags | MB_TOPMOST | MB_SETFOREGROUND);
}

// ---- the added operations ----------------------------------------------------

void CJobDlg::NoteShownText(const char* text, BOOL bIsError) {
    if (bIsError && text && *text)
        m_strLastErrorText = text;
}

void CJobDlg::DispMessage(const char* text, BOOL bIsError) {
    NoteShownText(text, bIsError);
    if (m_pStatusThread)
        m_pStatusThread->SetMessageText(text);
    else if (bIsError)
        Model()->ShowPanelMessage(text);
}

void CJobDlg::BeginStatusDialogThread() {
    if (!m_IsMonitorOpen || m_pStatusThread)
        return;
    m_pStatusThread = CreateStatusDialogThread(this, m_Settings.m_nFunctionId);
    if (!m_pStatusThread || !m_pStatusThread->Start(L("Please wait.").c_str())) {
        // Without a window the job must not wait for one to end it.
        Log().Write("BeginStatusDialogThread() no status window; the job runs without it");
        m_pStatusThread.reset();
        m_IsMonitorOpen = FALSE;
    }
}

void CJobDlg::PrepareScanStart() {
    m_Scan.ClearLastDriverError();
    m_Scan.GetDriver()->m_bVendorFlag = TRUE;
    if (m_IsMonitorOpen && m_pStatusThread) {
        // The status window's Cancel reaches the data source through its yield
        // procedure, carried pointer-sized end to end.
        if (CStatusDialogThread::YieldProc proc = m_pStatusThread->GetYieldProc())
            m_Scan.SetCCapability(CCAP_VLM_YIELDPROC, reinterpret_cast<LONG_PTR>(proc));
    }
}

void CJobDlg::PauseBeforeDelivery() {
    if (m_IsMonitorOpen)
        Sleep(1000);
}

BOOL CJobDlg::ScanToMapi() {
    Log().Write("ScanToMapi\n");
    vlm::mail::MapiJobInput in;
    in.files = m_FileList;
    in.mailSize = m_Settings.m_nMailSizeLimit > 0 ? ULONGLONG(m_Settings.m_nMailSizeLimit) : 0;
    in.programFolder = VlmProgramFolder();
    in.dialog = m_hWnd;
    std::string message;
    if (vlm::mail::ScanToMapi(in, *this, message))
        return TRUE;
    if (!message.empty())
        DispMessage(L(message.c_str()).c_str(), TRUE);
    m_ErrorDisplaied = TRUE;
    return FALSE;
}

void CJobDlg::OnMapiLog(const std::string& line) {
    Log().Write("%s", line.c_str());
}

// ---- job start -------------------------------------------------------------

void CJobDlg::RestoreDriverSettings() {
    if (!m_Settings.m_pJob)
        throw CComError(E_POINTER, IID_IJobData);
    CVariant v;
    CBstr key(vlm::kKeyDriver);
    ThrowIfFailed(m_Settings.m_pJob->Getdata(key, v.Receive()), IID_IJobData);
    if (!(v.vt & VT_ARRAY))
        return;
    std::vector<uint8_t> bytes;
    ThrowIfFailed(VlmReadByteBlock(v, bytes), IID_IJobData);
    // An older runner that ended meanwhile may have taken the empty folder.
    CreateDirectoryA(m_strTempFolder.c_str(), nullptr);
    CHandle h(CreateFileA(m_strSettingsFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h)
        throw CSessionText{m_strSettingsFile + ": " + GetSystemErrorText(GetLastError())};
    DWORD written = 0;
    if (!bytes.empty() &&
        (!WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
         written != bytes.size()))
        throw CSessionText{m_strSettingsFile + ": " + GetSystemErrorText(GetLastError())};
}

void CJobDlg::FailStart(DWORD dwEvent, const std::string& text, const char* module,
                        const char* code) {
    Model()->NotifyEvent(dwEvent, text.c_str(), module, code);
    m_bJobEnd = TRUE;
    Host().SetPanelLock(FALSE);
    CleanupTempFiles();
    EndDialog(2);
}

void CJobDlg::SetRecoveredJob(const std::string& folder, const vlm::RecoveryRecord& r) {
    m_strRedeliverFolder = folder;
    m_RedeliverRecord = r;
    // A newer runner, which finds a job by this caption, leaves it alone.
    m_strCaption += " (recovered)";
}

void CJobDlg::DeliverRecoveredPages() {
    Log().Write("DeliverRecoveredPages %s", m_strRedeliverFolder.c_str());
    for (const std::string& name : m_RedeliverRecord.m_Files)
        m_FileList.push_back(m_strRedeliverFolder + "\\" + name);
    m_nPageCounter = m_nPagesWritten = m_RedeliverRecord.m_nPages;
    m_bBatchEnded = TRUE;
    m_bJobEnd = TRUE;
    // The job's mail size holds as it does while scanning.
    const long f = m_Settings.m_nFunctionId;
    ULONGLONG bytes = 0;
    for (const std::string& file : m_FileList)
        bytes += FileSize(file);
    if ((f == SCAN_TO_MAIL || f == SCAN_TO_MAPI) &&
        kestrel::IsOverMailSize(bytes, m_Settings.m_nMailSizeLimit)) {
        DispMessage(L("File size too large.").c_str(), TRUE);
        m_ErrorDisplaied = TRUE;
    } else {
        Deliver();
    }
    if (!kestrel::SenderEndsJob(m_Settings.m_nFunctionId, m_bMailSenderStarted != FALSE)) {
        CleanupTempFiles();
        EndJob();
    }
}

void CJobDlg::SettleRecoveredJob() {
    if (m_bDelivered) {
        const BOOL bGone = vlm::DeleteRecoveredScan(m_strRedeliverFolder);
        Log().Write("the recovered job was delivered%s %s", bGone ? "; removed" : "; cannot remove",
                    m_strRedeliverFolder.c_str());
    } else {
        vlm::RecoveryRecord r = m_RedeliverRecord;
        if (!m_strLastErrorText.empty())
            r.m_strReason = m_strLastErrorText;
        vlm::WriteRecoveryManifest(m_strRedeliverFolder, r);
        Log().Write("the recovered job stays in %s", m_strRedeliverFolder.c_str());
    }
    // Its files are the recovered job's, never this run's to delete or keep.
    m_FileList.clear();
}

LRESULT CJobDlg::OnJobStart(WPARAM, LPARAM) {
    if (!m_strRedeliverFolder.empty()) {
        DeliverRecoveredPages();
        return 0;
    }
    m_IsMonitorOpen = m_Settings.m_bMonitorOpen;
    try {
        Log().Write("BeginStatusDialogThread() start");
        BeginStatusDialogThread();
        Log().Write("BeginStatusDialogThread() end");

        Log().Write("RestoreDriverSettings() start");
        RestoreDriverSettings();
        Log().Write("RestoreDriverSettings() end");

        m_dwScanThreadId = m_Scan.m_pScanThread ? m_Scan.m_pScanThread->GetThreadId() : 0;
        Log().Write("search %s scanner", m_Settings.m_strTwainDsName.c_str());
        Log().Write("ScanThreadID 0x%X", static_cast<unsigned>(m_dwScanThreadId));
        if (RunnerProfile().GetInt("General", "CScanLog", 0))
            m_Scan.SetScanLog(TRUE, 2); // the scan log and memory transfer

        if (!m_Scan.Probe(m_Settings.m_strTwainDsName.c_str(), TRUE)) {
            Log().Write("m_Scan.Probe error");
            FailStart(kEventScanStartFailed1,
                      "Scan aborted because the error occurred by the driver.\n",
                      "ModuleName : Kestrel\n", "Error Code = 1001");
            return 0;
        }
        StartDriverWindowCloser();
        DispMessage(L("Scanning...").c_str(), FALSE);
        Host().SetPanelLock(TRUE);
        OnDriverSettingsFile(m_strSettingsFile.c_str());
        m_Scan.RestoreSetting(m_strSettingsFile.c_str());
        PrepareScanStart();
        m_Scan.ScanStart(m_hWnd);
    } catch (const CSessionText& t) {
        MessageBoxTop(t.m_strText.c_str(), MB_OK | MB_ICONEXCLAMATION);
        FailStart(kEventScanStartFailed2, t.m_strText, kModule, "Error Code = 1002");
    } catch (const CComError& e) {
        const std::string text = e.Message();
        MessageBoxTop(text.c_str(), MB_OK);
        FailStart(kEventScanStartFailed3, text, kModule, "Error Code = 1003");
    }
    return 0;
}

// ---- the data source's own windows ---------------------------------------------

void CJobDlg::StartDriverWindowCloser() {
    if (m_hCloserThread)
        return;
    m_bJobEnd = FALSE;
    m_hCloserThread.Attach(reinterpret_cast<HANDLE>(
        _beginthreadex(nullptr, 0, &CJobDlg::DriverWindowCloser, this, CREATE_SUSPENDED, nullptr)));
    if (m_hCloserThread) {
        SetThreadPriority(m_hCloserThread, THREAD_PRIORITY_IDLE);
        ResumeThread(m_hCloserThread);
    }
}

void CJobDlg::StopDriverWindowCloser() {
    m_bJobEnd = TRUE;
    if (m_hCloserThread) {
        WaitForSingleObject(m_hCloserThread, INFINITE);
        m_hCloserThread.Close();
    }
}

unsigned __stdcall CJobDlg::DriverWindowCloser(void* pThis) {
    auto* self = static_cast<CJobDlg*>(pThis);
    while (!self->m_bJobEnd) {
        EnumWindows(
            [](HWND h, LPARAM l) -> BOOL {
                auto* dlg = reinterpret_cast<CJobDlg*>(l);
                DWORD pid = 0;
                const DWORD tid = GetWindowThreadProcessId(h, &pid);
                if (pid == GetCurrentProcessId() && tid == dlg->m_dwScanThreadId &&
                    IsWindowVisible(h)) {
                    PostMessageA(h, WM_CLOSE, 0, 0);
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(self));
        Sleep(20);
    }
    return 0;
}

// ---- pages -----------------------------------------------------------------

LRESULT CJobDlg::OnPageScanned0(WPARAM wParam, LPARAM lParam) {
    Log().Write("CJobDlg::OnPageScanned0(%p, %p)", reinterpret_cast<void*>(wParam),
                reinterpret_cast<void*>(lParam));
    if (auto* msg = reinterpret_cast<VlmPageMessage*>(wParam))
        msg->PromptFlag = 0;
    return 0;
}

BOOL CJobDlg::SaveFile(const vlm::output::CPageView& page, const std::string& path,
                       const std::string& fileType) {
    using namespace vlm::output;
    const bool bMulti = m_Settings.m_nMultiPage != 0;
    BOOL bOk = FALSE;
    if (vlm::SameFileType(fileType, "BMP")) {
        bOk = VlmWriteBmpPage(page, path.c_str()) == 0;
    } else if (vlm::SameFileType(fileType, "JPEG")) {
        bOk = VlmWriteJpegPage(page, path.c_str(), m_Settings.m_nJpegQuality);
    } else if (vlm::SameFileType(fileType, "PDF")) {
        CPdfJobOptions options;
        options.m_bMultiPage = bMulti;
        options.m_nPageCounter = m_nPageCounter;
        options.m_nCompression = m_Settings.m_nPdfCompression;
        options.m_dwLanguageFlags = m_Settings.m_dwOcrLanguage;
        options.m_dwExtraFlags = m_Settings.m_dwOcrSecond;
        options.m_strCaption = Model()->GetModelName();
        options.m_protection = m_Settings.m_PdfProtection;
        CPdfPageResult result;
        bOk = m_PdfWriter.WritePage(page, path.c_str(), options, result);
        m_ullPdfDocumentSize = result.m_dwDocumentSize;
        if (result.m_bMemoryError)
            m_strFailureText = result.m_strErrorText;
        // A later page of one document leaves no file of its own.
        if (bMulti && m_nPageCounter > 0)
            return bOk;
    } else if (vlm::SameFileType(fileType, "TIFF")) {
        CTiffJobOptions options;
        options.m_bCompress = m_Settings.m_nTiffComp != 0;
        options.m_bMultiPage = bMulti;
        options.m_nPageCounter = m_nPageCounter;
        options.m_nJpegQuality = m_Settings.m_nJpegQuality;
        CTiffPageResult result;
        bOk = m_TiffWriter.WritePage(page, path.c_str(), options, result);
        if (result.m_bSizeLimit)
            m_nTiffSizeFlag = 0; // the multi-page file would pass its size limit
    } else {
        Log().Write("SaveFile: no writer for file type %s", fileType.c_str());
    }
    // A file that was not written whole is never listed or delivered.
    if (!bOk)
        DeleteFileA(path.c_str());
    return bOk;
}

void CJobDlg::CountPageOutput(bool bNewFile) {
    // Only the file the page went into is looked at: the totals run on.
    ULONGLONG bytes = FileSize(m_FileList.back());
    if (m_Settings.m_nMultiPage && vlm::SameFileType(m_Settings.m_strFileType, "PDF"))
        bytes = kestrel::PdfDocumentSize(m_ullPdfDocumentSize, bytes);
    m_OutputTally.OnPage(bNewFile, bytes);
}

LRESULT CJobDlg::OnPageScanned(WPARAM wParam, LPARAM lParam) {
    auto* pPageInfo = reinterpret_cast<VlmPageInfo*>(lParam);
    Log().Write("CJobDlg::OnPageScanned(%p, %p) start", reinterpret_cast<void*>(wParam),
                reinterpret_cast<void*>(lParam));
    Log().Write("Scan Page : %d", m_nPageCounter);
    HANDLE hDib = pPageInfo ? static_cast<HANDLE>(pPageInfo->hDib) : nullptr;
    Log().Write("pPageInfo->hDib %p", static_cast<void*>(hDib));

    // Two pages in one millisecond get distinct names.
    const std::string path = MakeUniquePageFilePath(m_strTempFolder, m_Settings.m_strFilePrefix,
                                                    m_Settings.m_strFileType);
    const std::string name = path.substr(path.find_last_of('\\') + 1);
    Log().Write("TempFileName is %s", name.c_str());

    // The page as the writers take it: the native transfer's bitmap or the
    // memory transfer's page buffer, read where it lies.
    std::unique_ptr<vlm::output::CScannedPage> page;
    if (pPageInfo) {
        page = std::make_unique<vlm::output::CScannedPage>(*pPageInfo);
        if (!hDib && page->IsValid())
            Log().Write("the page came by memory transfer: %dx%d", pPageInfo->vlminfo.Width,
                        pPageInfo->vlminfo.Height);
    }

    const long f = m_Settings.m_nFunctionId;
    const bool bNewFile = m_nPageCounter == 0 || !m_Settings.m_nMultiPage;
    if (page && page->IsValid() && bNewFile)
        NotePageFile(path);
    if (!page || !page->IsValid()) {
        // An image cut short arrives without a bitmap: there is nothing to
        // write, and the end of the batch reports why.
        Log().Write("SaveFile: the page has no image; nothing written%s%s", page ? ": " : "",
                    page ? page->Error().c_str() : "");
    } else if (SaveFile(page->View(), path, m_Settings.m_strFileType)) {
        Log().Write("SaveFile succeeded");
        if (bNewFile)
            m_FileList.push_back(path);
        CountPageOutput(bNewFile);
        ++m_nPageCounter;
        m_RunFile.Append(vlm::RecoveryLine("Pages", ++m_nPagesWritten));
        if (m_pStatusThread)
            m_pStatusThread->SetPageCount(m_nPageCounter);

        if ((f == SCAN_TO_MAIL || f == SCAN_TO_MAPI) &&
            kestrel::IsOverMailSize(m_OutputTally.Total(), m_Settings.m_nMailSizeLimit)) {
            m_Scan.ScanCancel();
            m_ErrorDisplaied = TRUE;
            m_strFailureText = "File size too large.";
        }
        if (m_FolderWarnings.IsOver(m_OutputTally.Total())) {
            const std::string question = FolderOverLimitQuestion(m_FolderWarnings.m_strOverFolder);
            const int answer = MessageBoxTop(question.c_str(), MB_YESNO | MB_ICONEXCLAMATION);
            m_FolderWarnings.AllOff();
            if (answer != IDYES) {
                // The pages written so far are still delivered.
                m_strFailureText = "Canceled";
                m_Scan.ScanCancel();
            }
        }
    } else if (m_nTiffSizeFlag != 0) {
        // The scan stops at a page that could not be written; what was written
        // before it is delivered and the job ends as failed.
        Log().Write("SaveFile failed");
        if (m_strFailureText.empty())
            m_strFailureText = "Scan failed.";
        m_bPageWriteFailed = TRUE;
        m_ErrorDisplaied = TRUE;
        m_Scan.ScanCancel();
    }

    Log().Write("SaveFile OK");
    if (m_nTiffSizeFlag == 0) {
        Log().Write("Tiff output stop");
        m_strFailureText = "TIFF file size too large.";
        m_ErrorDisplaied = TRUE;
        m_Scan.ScanCancel();
    }
    page.reset(); // unlocks the bitmap before the engine frees it
    m_Scan.ReleaseImage(hDib);
    if (pPageInfo)
        pPageInfo->hDib = nullptr;
    if (IsRequireCancel()) {
        Log().Write("CANCEL");
        m_Scan.ScanCancel();
    }
    Log().Write("CJobDlg::OnPageScanned() end");
    return 0;
}

// ---- end of the batch --------------------------------------------------------

void CJobDlg::EndPdfDocument() {
    if (m_PdfWriter.IsDocumentOpen()) {
        vlm::output::CPdfJobOptions options;
        vlm::output::CPdfPageResult result;
        m_PdfWriter.WritePage(vlm::CPageView(), "", options, result);
    }
}

LRESULT CJobDlg::OnBatchScanned(WPARAM wParam, LPARAM lParam) {
    Log().Write("CJobDlg::OnBatchScanned(0x%x, 0x%x)", static_cast<unsigned>(wParam),
                static_cast<unsigned>(lParam));
    // One batch per job: a second end (a scan request answered as busy) finds
    // the files delivered and gone.
    if (m_bBatchEnded) {
        Log().Write("CJobDlg::OnBatchScanned() the batch has already ended");
        return 0;
    }
    m_bBatchEnded = TRUE;
    Log().Write("m_Scan.ReleaseDriver start");
    m_Scan.ReleaseDriver();
    Log().Write("m_Scan.ReleaseDriver end");
    m_bJobEnd = TRUE;
    Host().SetPanelLock(FALSE);

    std::string strMsg;
    DWORD dwCode = 0;
    m_Scan.GetLastDriverError(&strMsg, &dwCode);
    Log().Write("ErrCode = %08X,  Error_Msg = %s)", static_cast<unsigned>(dwCode), strMsg.c_str());
    const BOOL bScanner = Host().IsStartedByScanner();
    // The source ends a batch the user cancelled in the status window with its
    // "cancelled" code: that is no driver fault to ask about.
    const bool bUserCancel =
        IsRequireCancel() && kestrel::DriverCodeHasHalf(dwCode, kestrel::kErrCancelled);
    if (bUserCancel)
        Log().Write("the batch was cancelled from the status window");
    if (!strMsg.empty() && !bUserCancel) {
        const std::string errorText = kestrel::DriverErrorText(strMsg, dwCode);
        if (m_nPageCounter > 0) {
            if (bScanner)
                DispMessage(L("Error occured. See PC.").c_str(), TRUE);
            if (!m_IsMonitorOpen)
                MessageBoxTop(errorText.c_str(), MB_OK | MB_ICONEXCLAMATION);
            const std::string question = L(kestrel::ScanAbortQuestion(dwCode));
            if (MessageBoxTop(question.c_str(), MB_YESNO | MB_ICONQUESTION) != IDYES) {
                m_nPageCounter = 0;
                m_bPagesDiscarded = TRUE;
            }
            if (bScanner)
                DispMessage(L("Scan failed.").c_str(), TRUE);
        } else if (!m_IsMonitorOpen && bScanner) {
            DispMessage(L(kestrel::NoPagePanelText(dwCode)).c_str(), TRUE);
        } else if (!m_IsMonitorOpen) {
            DispMessage(L("Error occured. See PC.").c_str(), TRUE);
            Model()->ShowNotRegistered(L("Scan failed.").c_str(), errorText.c_str());
        } else {
            DispMessage(L("Scan failed.").c_str(), TRUE);
            if (kestrel::DriverCodeHasHalf(dwCode, kestrel::kErrDoubleFeed)) {
                DispMessage(L("A double paper-feed has occured. Please check the document and the "
                              "scanned image on the display and scan the document again.")
                                .c_str(),
                            FALSE);
                Sleep(1500);
                DispMessage("", FALSE);
            }
        }
    }

    kestrel::BatchEndState state;
    state.m_bErrorDisplayed = m_ErrorDisplaied != FALSE;
    state.m_bHasFailureText = !m_strFailureText.empty();
    state.m_bKeepWrittenPages = m_nTiffSizeFlag == 0 || m_bPageWriteFailed;
    state.m_nPages = m_nPageCounter;
    state.m_bCancelRequested = IsRequireCancel() != FALSE;
    state.m_bMonitorOpen = m_IsMonitorOpen != FALSE;
    const kestrel::BatchEndAction action = kestrel::DecideBatchEnd(state);
    if (m_ErrorDisplaied) {
        Log().Write("CJobDlg::OnBatchScanned() m_ErrorDisplaied 1");
        if (action.m_bShowFailureText) {
            Log().Write("%s", m_strFailureText.c_str());
            DispMessage(L(m_strFailureText.c_str()).c_str(), TRUE);
        }
    } else if (action.m_bNoPage) {
        m_bNoPage = TRUE;
        if (action.m_bWatchScanner && m_pStatusThread)
            m_pStatusThread->StartScannerWatch();
    } else if (action.m_bDeleteTempFiles) {
        Log().Write("CJobDlg::OnBatchScanned() IsRequireCancel()");
        m_bPagesDiscarded = TRUE;
        EndPdfDocument();
        for (const std::string& file : m_FileList)
            DeleteFileA(file.c_str());
        if (action.m_bShowCanceled)
            DispMessage(L("Canceled").c_str(), TRUE);
    }
    m_nPageCounter = action.m_nPages;
    m_ErrorDisplaied = action.m_bErrorDisplayed;

    if (m_pStatusThread)
        m_pStatusThread->EnableCancel(FALSE);

    // A close request that came while a question was open delivers nothing.
    if (m_nPageCounter != 0 && !m_bClosedByRequest)
        Deliver();

    if (!kestrel::SenderEndsJob(m_Settings.m_nFunctionId, m_bMailSenderStarted != FALSE)) {
        CleanupTempFiles();
        EndJob();
    }
    Log().Write("CJobDlg::OnBatchScanned() end");
    return 0;
}

void CJobDlg::Deliver() {
    DispMessage(L("Sending...").c_str(), FALSE);
    PauseBeforeDelivery();
    EndPdfDocument();

    CSaveContext ctx;
    ctx.m_strSaveFolder = m_Settings.m_strSaveFolder;
    ctx.m_strUser = m_Settings.m_strUserName;
    ctx.m_strPassword = m_Settings.m_strPassword;
    ctx.m_nFunctionId = m_Settings.m_nFunctionId;
    ctx.m_bStartedByScanner = Host().IsStartedByScanner();
    ctx.m_fnDispMessage = [this](const char* text, BOOL bIsError) { DispMessage(text, bIsError); };
    ctx.m_fnNoteTempFile = [this](const std::string& path) {
        m_RunFile.Append(vlm::RecoveryLine("SaveTemp", path));
    };
    BOOL bRtn = SaveToFolder(ctx, m_FileList, m_SavedFiles);
    if (bRtn) {
        Log().Write("CJobDlg::OnBatchScanned() bRtn!=FALSE");
        switch (m_Settings.m_nFunctionId) {
        case SCAN_TO_PC:
            break;
        case SCAN_TO_MAIL:
            bRtn = ScanToMail();
            break;
        case SCAN_TO_PR:
            bRtn = ScanToPrinter();
            break;
        case SCAN_TO_PC_RUNAPP:
            bRtn = ScanToApplication();
            break;
        case SCAN_TO_MAPI:
            bRtn = ScanToMapi();
            break;
        default:
            bRtn = FALSE;
            break;
        }
    }
    if (!bRtn)
        m_ErrorDisplaied = TRUE;
    // A mail job is delivered when its sender says so (OnMailFinished).
    m_bDelivered = bRtn && !m_bMailSenderStarted;
}

BOOL CJobDlg::ScanToMail() {
    Log().Write("ScanToMail");
    if (StartMailSender()) {
        // From here the sender ends the job (OnMailFinished).
        m_bMailSenderStarted = TRUE;
        return TRUE;
    }
    DispMessage(L("Sending failed.").c_str(), TRUE);
    m_ErrorDisplaied = TRUE;
    return FALSE;
}

BOOL CJobDlg::StartMailSender() {
    vlm::mail::MailJobInput in;
    try {
        IJobStore* store = m_Settings.m_pStore;
        IJobData* job = m_Settings.m_pJob;
        in.serverName = StoreGetString(store, vlm::kKeySmtpServerName);
        in.smtpId = StoreGetLong(store, vlm::kKeySmtpId);
        in.userName = StoreGetString(store, vlm::kKeySmtpUserName);
        in.password = StoreGetString(store, vlm::kKeySmtpPassword);
        in.from = JobGetString(job, vlm::kKeyFrom);
        in.send = JobGetString(job, vlm::kKeySend);
        in.text = JobGetString(job, vlm::kKeyText);
        in.subject = JobGetString(job, vlm::kKeySubject);
    } catch (const CComError& e) {
        Log().Write("%s", e.Message().c_str());
        return FALSE;
    }
    // Optional: stores written before TLS existed lack them.
    for (auto [key, value] : {std::pair{vlm::kKeySmtpAllowSelfSigned, &in.allowSelfSigned},
                              std::pair{vlm::kKeySmtpRequireTls, &in.requireTls}}) {
        try {
            *value = StoreGetLong(m_Settings.m_pStore, key) != 0;
        } catch (const CComError&) {
        }
    }
    in.files = m_FileList;
    // Time-outs in seconds from the profile (for slow servers, and tests);
    // otherwise a minute a wait and a limit that grows with the files.
    const CVlmProfile profile = RunnerProfile();
    if (const int s = profile.GetInt("General", "MailTimeout", 0); s > 0)
        in.timeoutMs = s * 1000;
    ULONGLONG bytes = 0;
    for (const std::string& f : m_FileList)
        bytes += FileSize(f);
    const int limit = profile.GetInt("General", "MailTimeLimit", 0);
    in.timeLimitMs = limit > 0 ? int64_t(limit) * 1000 : vlm::mail::MailTimeLimitMs(bytes);
    return m_pMail->m_Sender.Start(in);
}

void CJobDlg::OnMailLog(const std::string& line) {
    Log().Write("%s", line.c_str());
}

void CJobDlg::OnMailFinished(long, const std::string&, const std::string& message) {
    m_bDelivered = message.empty();
    if (!message.empty()) {
        DispMessage(L(message.c_str()).c_str(), TRUE);
        m_ErrorDisplaied = TRUE;
    }
    CleanupTempFiles();
    EndJob();
}

BOOL CJobDlg::ScanToPrinter() {
    Log().Write("ScanToPrinter");
    CPrintContext ctx;
    ctx.m_pJob = m_Settings.m_pJob;
    ctx.m_fnDispMessage = [this](const char* text, BOOL bIsError) { DispMessage(text, bIsError); };
    return PrintFiles(ctx, m_FileList);
}

BOOL CJobDlg::ScanToApplication() {
    Log().Write("ScanToApplication");
    CAppContext ctx;
    ctx.m_pJob = m_Settings.m_pJob;
    ctx.m_fnDispMessage = [this](const char* text, BOOL bIsError) { DispMessage(text, bIsError); };
    return OpenFilesWithApplication(ctx, m_SavedFiles);
}

// ---- the end of the job ------------------------------------------------------

void CJobDlg::RemoveTempFolder() {
    if (RemoveDirectoryA(m_strTempFolder.c_str()) || !FileExists(m_strTempFolder))
        return;
    // What is left belongs to another runner sharing the folder while one
    // lives (its pages stay; so do those of one that died meanwhile, for the
    // next runner to keep); otherwise it is no page of any runner, and goes.
    if (!kestrel::RunFilesIn(m_strTempFolder, m_RunFile.Path()).empty()) {
        Log().Write("RemoveDirectory(%s): the files left belong to another runner",
                    m_strTempFolder.c_str());
        return;
    }
    WIN32_FIND_DATAA fd;
    CFindHandle h(FindFirstFileA((m_strTempFolder + "\\*.*").c_str(), &fd));
    if (h) {
        do {
            if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                DeleteFileA((m_strTempFolder + "\\" + fd.cFileName).c_str());
        } while (FindNextFileA(h, &fd));
        h.Close();
    }
    if (!RemoveDirectoryA(m_strTempFolder.c_str()))
        Log().Write("RemoveDirectory(%s) error:%s", m_strTempFolder.c_str(),
                    GetSystemErrorText(GetLastError()).c_str());
}

void CJobDlg::NotePageFile(const std::string& path) {
    if (!m_bRunFileHasJob) {
        m_RunFile.Append(vlm::RecoveryJobLines(RecoveryRecordOfJob()));
        m_bRunFileHasJob = true;
    }
    m_RunFile.Append(vlm::RecoveryLine("File", path));
}

vlm::RecoveryRecord CJobDlg::RecoveryRecordOfJob() const {
    vlm::RecoveryRecord r;
    r.m_nJob = m_Settings.m_nJobNumber;
    r.m_strTitle = m_Settings.m_strTitle;
    r.m_nFunctionId = m_Settings.m_nFunctionId;
    r.m_strFunction = m_Settings.m_strFunctionName;
    r.m_strFileType = m_Settings.m_strFileType;
    return r;
}

BOOL CJobDlg::KeepUndeliveredPages() {
    vlm::RecoveryRecord r = RecoveryRecordOfJob();
    for (const std::string& file : m_FileList)
        if (FileExists(file))
            r.m_Files.push_back(file);
    if (r.m_Files.empty())
        return TRUE;
    r.m_nPages = m_nPagesWritten;
    r.m_strTime = vlm::RecoveryTimeNow();
    r.m_strReason = m_strLastErrorText.empty() ? L("The job ended before its pages were delivered.")
                                               : m_strLastErrorText;
    std::string error;
    m_strRecoveredFolder = kestrel::KeepInRecovery(
        r, [this](const std::string& line) { m_RunFile.Append(line); }, &error);
    if (m_strRecoveredFolder.empty()) {
        Log().Write("the job's pages stay in %s: %s", m_strTempFolder.c_str(), error.c_str());
        return FALSE;
    }
    Log().Write("the job's pages were kept in %s", m_strRecoveredFolder.c_str());
    return TRUE;
}

void CJobDlg::CleanupTempFiles() {
    if (m_bCleanedUp)
        return;
    m_bCleanedUp = TRUE;
    // The maker holds an open document's file.
    EndPdfDocument();
    if (!m_strRedeliverFolder.empty())
        SettleRecoveredJob();
    // Delivered, thrown away by the user, or kept: the pages here go.
    const BOOL bSettled = m_bDelivered || m_bPagesDiscarded || KeepUndeliveredPages();
    if (bSettled)
        for (const std::string& file : m_FileList)
            if (file.size() < MAX_PATH && FileExists(file))
                DeleteFileA(file.c_str());
    DeleteFileA(m_strSettingsFile.c_str());
    m_RunFile.Close(bSettled != FALSE);
    if (!SetCurrentDirectoryA("..")) {
        Log().Write("SetCurrentDirectory(..) error:%s", GetSystemErrorText(GetLastError()).c_str());
        return;
    }
    RemoveTempFolder();
}

void CJobDlg::ShowEndTexts() {
    Log().Write("EndJob() Tiff check before");
    if (m_nTiffSizeFlag == 0)
        DispMessage(L("TIFF file size too large.").c_str(), TRUE);
    else if (m_bPageWriteFailed)
        DispMessage(L(m_strFailureText.c_str()).c_str(), TRUE);
}

void CJobDlg::EndJob() {
    Log().Write("CJobDlg::EndJob()");
    m_bJobEnd = TRUE;
    Host().SetPanelLock(FALSE);
    if (!m_IsMonitorOpen) {
        Log().Write("EndJob() !m_IsMonitorOpen");
        if (!m_ErrorDisplaied)
            DispMessage(L("Sending complete.").c_str(), FALSE);
        else
            ShowEndTexts();
        EndDialog(0);
        return;
    }
    // The status window stays until the user or its timer closes it; it then
    // ends this dialog through 0x8039.
    if (m_pStatusThread)
        m_pStatusThread->JobComplete();
    if (!m_ErrorDisplaied) {
        std::string strMsg;
        DWORD dwCode = 0;
        m_Scan.GetLastDriverError(&strMsg, &dwCode);
        const std::string complete = L("Sending complete.");
        if (!strMsg.empty())
            DispMessage(kestrel::CompleteWithDriverText(complete, strMsg, dwCode).c_str(), FALSE);
        else
            DispMessage(complete.c_str(), FALSE);
        if (m_pStatusThread)
            m_pStatusThread->StartCloseTimer(10000);
    } else {
        ShowEndTexts();
    }
    try {
        Host().StiUnLock();
    } catch (const CComError& e) {
        Log().Write("%s", e.Message().c_str());
    }
}

LRESULT CJobDlg::OnRequestClose(WPARAM, LPARAM) {
    Log().Write("CJobDlg::OnRequestClose()");
    m_bJobEnd = TRUE;
    // A batch still running stops; the sheets not yet taken stay in the
    // feeder. The pages written go when the dialog does (OnDestroyed): this
    // may run inside a page's or the batch's question, which still uses them.
    m_Scan.ScanCancel();
    CloseStatusWindow();
    m_bClosedByRequest = TRUE;
    EndDialog(0);
    return 0;
}

LRESULT CJobDlg::OnQueryEndSession(WPARAM, LPARAM lParam) {
    if (lParam & ENDSESSION_LOGOFF) {
        Log().Write("CJobDlg::OnQueryEndSession disable logoff!!!");
        return FALSE;
    }
    return TRUE;
}

// ---- VX-410 ------------------------------------------------------------------

CVX410JobDlg::CVX410JobDlg(CJobSessionHost* pHost)
    : CJobDlg(IDD_JOB_DIALOG, vx410::kJobDialogCaption, pHost) {}

void CVX410JobDlg::DispMessage(const char* text, BOOL bIsError) {
    Log().Write("CVX410JobDlg DispMessage  message = %s, iserror = %d", text ? text : "",
                bIsError ? 1 : 0);
    NoteShownText(text, bIsError);
    if (m_pStatusThread)
        m_pStatusThread->SetMessageText(text);
    Host().DispMessage(text, bIsError);
}
