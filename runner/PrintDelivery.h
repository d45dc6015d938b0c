// Print delivery: the job's stored printer (taken from the system's default
// printer at the job's first run), and printing the job's TIFF files page by
// page through the spooler, each page at actual size or shrunk to fit.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "common/JobRecord.h"
#include "framework/Handles.h"

// The print dialog object of a print job (for printing, not set-up only). It
// is never shown: it only carries the printer between the system, the job
// store and the device context.
class CJobPrintDialog {
public:
    // No selection, no page numbers, the DEVMODE's copies and collation, no
    // print-to-file; the dialog also returns a device context.
    static constexpr DWORD kFlags = 0x14000C | PD_RETURNDC;
    // Not stored: return-default and every hook and template flag.
    static constexpr DWORD kFlagsNotStored = 0x3F400;

    // The system's default printer without showing anything: its DEVMODE,
    // DEVNAMES and a device context (m_hDC). FALSE when there is none.
    BOOL GetDefaults();
    // Writes the printer into the job: "devmode" and "devname" as byte
    // blocks, "Flags" without kFlagsNotStored, the page values and the copies.
    // Raises CComError.
    void Store(IJobData* pJob) const;
    // The job's printer back: only when both "devmode" and "devname" are byte
    // blocks, which then become the DEVMODE and DEVNAMES, with the flags and
    // page values. FALSE when the job holds no printer or a block is not a
    // well-formed DEVMODE or DEVNAMES. Raises CComError.
    BOOL Restore(IJobData* pJob);
    // A device context for the printer DEVNAMES names, set up by DEVMODE;
    // nullptr when none can be made.
    HDC CreatePrinterDC() const;
    // The printer DEVNAMES names ("" without one).
    std::string DeviceName() const;

    DWORD m_dwFlags = kFlags;
    WORD m_nFromPage = 0, m_nToPage = 0, m_nMinPage = 0, m_nMaxPage = 0, m_nCopies = 1;
    CGlobalMem m_hDevMode, m_hDevNames;
    CDc m_hDC;
};

// Start-up of a print job: when the job holds no printer ("devmode" or
// "devname" empty), the system's default printer is written into it and
// committed; the file name prefix becomes empty. FALSE when the job holds no
// printer and the system has no default printer (the caller shows "Can't
// initialize printer."). Raises CComError when the store fails.
BOOL SetPrintInformation(IJobData* pJob, JobSettings& settings);

struct CPrintContext {
    IJobData* m_pJob = nullptr; // the stored printer and "printsize"
    // The session's DispMessage (text, is-error).
    std::function<void(const char*, BOOL)> m_fnDispMessage;
};

// The work of the job session's ScanToPrinter after its log line: one
// document "JobPrint" on the job's printer (the default printer, said in the
// log, when the stored one is not installed), every page of every file in
// order, bands of 500 rows. A page that cannot be printed (a depth other than
// 1, 8 or 24 bits, unreadable data) ends its file, with the reason in the log;
// the next file prints. FALSE, after "Print failed." was shown as an error,
// when the document cannot be started or the spooler fails it.
BOOL PrintFiles(const CPrintContext& ctx, const std::vector<std::string>& files);
