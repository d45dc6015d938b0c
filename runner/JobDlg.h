// The job dialog: hidden, run modally by start-up. It receives the scan
// engine's page and batch messages, writes each page as a file in the job's
// temporary folder, hands the files to the job's delivery when the batch ends
// and ends the job.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "common/JobRecord.h"
#include "contracts/WindowMessages.h"
#include "framework/Dialog.h"
#include "framework/Handles.h"
#include "imaging/output/ImageOutput.h"
#include "mail/win/MailApp.h"
#include "runner/RunRecovery.h"
#include "runner/SaveToFolder.h"
#include "runner/StatusThread.h"
#include "runner/core/SessionRules.h"
#include "scan/Scan.h"

class CJobAppImp;
class CJobSessionHost;
struct VlmPageInfo;

// A text thrown by a step of the job's start; shown as it is.
struct CSessionText {
    std::string m_strText;
};

constexpr UINT IDD_JOB_DIALOG = 102;
// How long the job's end waits for the status window's thread.
constexpr DWORD kStatusCloseWaitMs = 5000;

class CJobDlg : public CVlmDialog, private vlm::mail::IMapiLog {
public:
    // pHost null: the running application.
    CJobDlg(UINT nIdTemplate, const char* caption, CJobSessionHost* pHost = nullptr);
    ~CJobDlg() override;

    JobSettings m_Settings;
    // Filled by start-up; checked after every page.
    CFolderWarnings m_FolderWarnings;
    // How the dialog ended: set by the close request of a newer runner.
    BOOL m_bClosedByRequest = FALSE;

    // Added operations, in slot order.
    virtual void DispMessage(const char* text, BOOL bIsError);
    virtual void OnDriverSettingsFile(const char* path) {}
    virtual void OnSessionHook1() {}
    virtual void OnSessionHook2() {}
    virtual void BeginStatusDialogThread();
    virtual void EndJob();
    virtual void PrepareScanStart();
    virtual void PauseBeforeDelivery();
    virtual BOOL ScanToMapi();

    // The session's state, for the program's tests and the status window.
    const std::string& GetTempFolder() const { return m_strTempFolder; }
    const std::string& GetSettingsFile() const { return m_strSettingsFile; }
    const std::vector<std::string>& GetFileList() const { return m_FileList; }
    const std::vector<std::string>& GetSavedFiles() const { return m_SavedFiles; }
    int GetPageCounter() const { return m_nPageCounter; }
    BOOL IsErrorDisplayed() const { return m_ErrorDisplaied; }
    BOOL IsNoPage() const { return m_bNoPage; }
    BOOL IsRequireCancel() const;
    CJobAppImp* GetModel() const { return Model(); }
    // Where the job's pages were kept, when it ended without delivering them.
    const std::string& GetRecoveredFolder() const { return m_strRecoveredFolder; }
    const std::string& GetRunFile() const { return m_RunFile.Path(); }

    // Before the dialog runs: it delivers the pages of this recovered job
    // instead of scanning; delivered, the folder goes, else it stays.
    void SetRecoveredJob(const std::string& folder, const vlm::RecoveryRecord& r);
    BOOL IsDelivered() const { return m_bDelivered; }

    // Start-up: the pages of runners that died go to the recovered scans, and
    // recovered jobs past their time go.
    void RecoverDeadRunners();

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    void OnDestroyed() override;

    LRESULT OnPageScanned0(WPARAM wParam, LPARAM lParam);
    LRESULT OnPageScanned(WPARAM wParam, LPARAM lParam);
    LRESULT OnBatchScanned(WPARAM wParam, LPARAM lParam);
    LRESULT OnJobStart(WPARAM wParam, LPARAM lParam);
    LRESULT OnRequestClose(WPARAM wParam, LPARAM lParam);
    LRESULT OnQueryEndSession(WPARAM wParam, LPARAM lParam);

    // Writes one page in the job's file type; the one place that calls the
    // image writers. FALSE when no whole file was written.
    BOOL SaveFile(const vlm::output::CPageView& page, const std::string& path,
                  const std::string& fileType);
    // Brings the output's running totals up to date after a written page.
    void CountPageOutput(bool bNewFile);
    void CleanupTempFiles();
    // Every text shown as an error: the last one is why a job failed.
    void NoteShownText(const char* text, BOOL bIsError);
    CJobSessionHost& Host() const { return *m_pHost; }
    CJobAppImp* Model() const;

    CScan m_Scan;
    std::unique_ptr<CStatusDialogThread> m_pStatusThread;
    BOOL m_IsMonitorOpen = FALSE;

private:
    void RestoreDriverSettings();
    void StartDriverWindowCloser();
    void StopDriverWindowCloser();
    static unsigned __stdcall DriverWindowCloser(void* pThis);
    void FailStart(DWORD dwEvent, const std::string& text, const char* module, const char* code);
    void EndPdfDocument();
    void Deliver();
    BOOL ScanToMail();
    BOOL StartMailSender();
    void OnMailLog(const std::string& line);
    void OnMailFinished(long code, const std::string& text, const std::string& message);
    void OnMapiLog(const std::string& line) override;
    BOOL ScanToPrinter();
    BOOL ScanToApplication();
    void ShowEndTexts();
    int MessageBoxTop(const char* text, UINT flags) const;
    void RemoveTempFolder();
    // Before a page file is made: the run file names it (and first the job).
    void NotePageFile(const std::string& path);
    vlm::RecoveryRecord RecoveryRecordOfJob() const;
    // The job's pages that were not delivered go to the recovered scans;
    // FALSE when they stay where they are.
    BOOL KeepUndeliveredPages();
    void DeliverRecoveredPages();
    // After delivering a recovered job again: its folder goes, or it stays
    // with the new reason.
    void SettleRecoveredJob();
    // Asks the status window to close and waits a bounded time for its thread.
    void CloseStatusWindow();

    CJobSessionHost* m_pHost;
    std::string m_strCaption;
    std::string m_strTempFolder;
    std::string m_strSettingsFile;
    int m_nPageCounter = 0;
    std::vector<std::string> m_FileList;
    std::vector<std::string> m_SavedFiles;
    // The open PDF document's size as its maker last reported it.
    ULONGLONG m_ullPdfDocumentSize = 0;
    kestrel::COutputTally m_OutputTally;
    BOOL m_ErrorDisplaied = FALSE;
    std::string m_strFailureText;
    int m_nTiffSizeFlag = 1;
    // A page could not be written: the scan stopped and the pages written
    // before it are delivered, the job ending with the failure text.
    BOOL m_bPageWriteFailed = FALSE;
    BOOL m_bNoPage = FALSE;
    BOOL m_bMailSenderStarted = FALSE;
    // The SMTP and POP controls (1001, 1002) on this window; they end a
    // started mail job through OnMailFinished.
    // (Held apart: the sender's Winsock headers must come before windows.h.)
    struct CMailLink;
    std::unique_ptr<CMailLink> m_pMail;
    BOOL m_bCleanedUp = FALSE;
    // This runner's claim on the pages it makes in the shared folder.
    kestrel::CRunFile m_RunFile;
    bool m_bRunFileHasJob = false;
    int m_nPagesWritten = 0;
    // The job's files reached their destination; or the user chose to throw
    // the pages away (Cancel, or No to delivering what was scanned).
    BOOL m_bDelivered = FALSE;
    BOOL m_bPagesDiscarded = FALSE;
    std::string m_strLastErrorText;
    std::string m_strRecoveredFolder;
    // Set when this run delivers a recovered job again.
    std::string m_strRedeliverFolder;
    vlm::RecoveryRecord m_RedeliverRecord;
    BOOL m_bBatchEnded = FALSE;
    volatile LONG m_bJobEnd = FALSE;
    CHandle m_hCloserThread;
    DWORD m_dwScanThreadId = 0;
    vlm::output::CPdfPageWriter m_PdfWriter;
    vlm::output::CTiffPageWriter m_TiffWriter;
    HICON m_hIcon = nullptr;
};

class CVX410JobDlg : public CJobDlg {
public:
    explicit CVX410JobDlg(CJobSessionHost* pHost = nullptr);
    void DispMessage(const char* text, BOOL bIsError) override;
};
