// Print delivery: the job's stored printer (taken from the system's default
// printer at the job's first run), and printing the job's TIFF files page by
// page through the spooler, each page at actual size or shrunk to fit.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "common/JobPrinter.h"
#include "common/JobRecord.h"
#include "framework/Handles.h"

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
// document "JobPrint" on the job's printer (the default printer when the job
// holds none; a stored printer no longer installed fails), every page of every file in
// order, bands of 500 rows. A page that cannot be printed (a depth other than
// 1, 8 or 24 bits, unreadable data) ends its file, with the reason in the log;
// the next file prints. FALSE, after "Print failed." was shown as an error,
// when the document cannot be started or the spooler fails it.
BOOL PrintFiles(const CPrintContext& ctx, const std::vector<std::string>& files);
