// The job session's decisions that need no window: which texts a driver error
// brings, how its number is shown, what the end of a batch does with the pages,
// and the size the job's output has reached. English texts; the caller
// localises them where they are shown.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrel {

// Error codes of the data source as the session tells them apart. A code
// carries its error in the low 16 bits when the high 16 bits are 0xFFFF, else
// in the high 16 bits.
constexpr uint16_t kErrPaperJam = 0xEEB6;
constexpr uint16_t kErrDoubleFeed = 0xEDF5;
constexpr uint16_t kErrCancelled = 0xEE52;
constexpr uint16_t kErrNoPaper = 0xEECF;
constexpr uint16_t kErrNoMemory = 0xEE6C;

// The 16 bits that name the error (see above).
uint16_t DriverErrorKey(uint32_t code);
// True when either half of the code equals value.
bool DriverCodeHasHalf(uint32_t code, uint16_t value);
// The number shown with a driver message: the whole code as a signed number
// when its high 16 bits are 0xFFFF, else the high 16 bits minus 0x10000.
int DriverErrorNumber(uint32_t code);
// "%s (%d)": the message and DriverErrorNumber.
std::string DriverErrorText(const std::string& message, uint32_t code);
// The question after an error with pages: paper jam, double feed or any
// other driver error.
const char* ScanAbortQuestion(uint32_t code);
// The panel text after an error without pages (scanner start, no status
// window).
const char* NoPagePanelText(uint32_t code);
// "Sending complete." followed by the driver's message and number, shown when
// a job with status window ends well although the driver reported something.
std::string CompleteWithDriverText(const std::string& complete, const std::string& message,
                                   uint32_t code);

// Bytes of output so far, kept as running totals brought up to date once per
// written page (no file is looked at again): the files that are done plus the
// one the last page went into, which a multi-page file keeps growing.
class COutputTally {
public:
    // After a page: bNewFile when the page began a file of its own, bytes the
    // size of the file the page went into.
    void OnPage(bool bNewFile, uint64_t bytes);
    uint64_t Total() const { return m_nDone + m_nCurrent; }

private:
    uint64_t m_nDone = 0;
    uint64_t m_nCurrent = 0;
};

// The size of an open PDF document: its maker reports 32 bits and stops at
// the largest signed value, so the file's own size counts when it is larger.
uint64_t PdfDocumentSize(uint64_t reported, uint64_t fileBytes);
// A mail or attachment job stops once its output passes the mail size limit
// (bytes; a limit of 0 lets no byte through).
bool IsOverMailSize(uint64_t output, int64_t limit);

// What the end of a batch does once the driver's error (if any) has been
// dealt with.
struct BatchEndState {
    bool m_bErrorDisplayed = false; // a failure earlier in the job
    bool m_bHasFailureText = false;
    // The pages written before a stop are delivered: a TIFF page met the
    // size limit, or a page could not be written.
    bool m_bKeepWrittenPages = false;
    int m_nPages = 0;                // pages turned into files
    bool m_bCancelRequested = false; // the status window's Cancel
    bool m_bMonitorOpen = false;
};
struct BatchEndAction {
    int m_nPages = 0; // what is delivered (0: nothing)
    bool m_bErrorDisplayed = false;
    bool m_bShowFailureText = false;
    bool m_bNoPage = false;          // the batch found no page
    bool m_bWatchScanner = false;    // tell the status window to watch the scanner
    bool m_bDeleteTempFiles = false; // cancelled: the pages are thrown away now
    bool m_bShowCanceled = false;    // "Canceled" in the status window and panel
};
BatchEndAction DecideBatchEnd(const BatchEndState& s);

// True when the batch handler leaves the end of the job to a delivery that
// has been started and ends the job itself (the SMTP sender). A mail job that
// sends nothing ends like any other.
bool SenderEndsJob(long functionId, bool bSenderStarted);

} // namespace kestrel
