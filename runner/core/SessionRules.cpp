#include "runner/core/SessionRules.h"

#include <algorithm>
#include <cstdio>

namespace kestrel {

namespace {
bool HighIsAllOnes(uint32_t code) {
    return (code >> 16) == 0xFFFF;
}
} // namespace

uint16_t DriverErrorKey(uint32_t code) {
    return static_cast<uint16_t>(HighIsAllOnes(code) ? code & 0xFFFF : code >> 16);
}

bool DriverCodeHasHalf(uint32_t code, uint16_t value) {
    return (code & 0xFFFF) == value || (code >> 16) == value;
}

int DriverErrorNumber(uint32_t code) {
    if (HighIsAllOnes(code))
        return static_cast<int>(static_cast<int32_t>(code));
    return static_cast<int>(code >> 16) - 0x10000;
}

std::string DriverErrorText(const std::string& message, uint32_t code) {
    char number[16];
    snprintf(number, sizeof number, "%d", DriverErrorNumber(code));
    return message + " (" + number + ")";
}

const char* ScanAbortQuestion(uint32_t code) {
    switch (DriverErrorKey(code)) {
    case kErrPaperJam:
        return "Scan aborted because Paper jammed in scanner.  Do you want to output the already "
               "scanned image ?";
    case kErrDoubleFeed:
        return "Scan aborted because double paper-feed has occurred.  Do you want to output the "
               "already scanned image ?";
    default:
        return "Scan aborted because the error occurred by the driver.  Do you want to output the "
               "already scanned image ?";
    }
}

const char* NoPagePanelText(uint32_t code) {
    if (DriverCodeHasHalf(code, kErrCancelled))
        return "Cancelled";
    if (DriverCodeHasHalf(code, kErrNoPaper))
        return "No page was found in the feeder.";
    if (DriverCodeHasHalf(code, kErrNoMemory))
        return "Scan failed.Not enough memory.";
    return "Scan failed.";
}

std::string CompleteWithDriverText(const std::string& complete, const std::string& message,
                                   uint32_t code) {
    return complete + "\n" + DriverErrorText(message, code);
}

void COutputTally::OnPage(bool bNewFile, uint64_t bytes) {
    if (bNewFile)
        m_nDone += m_nCurrent;
    m_nCurrent = bytes;
}

uint64_t PdfDocumentSize(uint64_t reported, uint64_t fileBytes) {
    return std::max(reported, fileBytes);
}

bool IsOverMailSize(uint64_t output, int64_t limit) {
    return limit < 0 || output > static_cast<uint64_t>(limit);
}

BatchEndAction DecideBatchEnd(const BatchEndState& s) {
    BatchEndAction a;
    a.m_nPages = s.m_nPages;
    a.m_bErrorDisplayed = s.m_bErrorDisplayed;
    if (s.m_bErrorDisplayed) {
        a.m_bShowFailureText = s.m_bHasFailureText;
        // A TIFF stopped at its size limit keeps and delivers what was written.
        if (!s.m_bKeepWrittenPages)
            a.m_nPages = 0;
    } else if (s.m_bCancelRequested) {
        // The user's Cancel, whether or not a page came before it: nothing is
        // delivered, and no scanner watch asks for paper the user just stopped.
        a.m_nPages = 0;
        a.m_bDeleteTempFiles = true;
        if (s.m_bMonitorOpen) {
            a.m_bErrorDisplayed = true;
            a.m_bShowCanceled = true;
        }
    } else if (s.m_nPages == 0) {
        a.m_bNoPage = true;
        a.m_bErrorDisplayed = true;
        a.m_bWatchScanner = s.m_bMonitorOpen;
    }
    return a;
}

bool SenderEndsJob(long functionId, bool bSenderStarted) {
    const long kScanToMail = 1;
    return functionId == kScanToMail && bSenderStarted;
}

} // namespace kestrel
