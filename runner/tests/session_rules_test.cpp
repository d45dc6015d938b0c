#include <gtest/gtest.h>

#include <string>

#include "runner/core/SessionRules.h"

using namespace kestrel;

namespace {
const std::string kJam = "Scan aborted because Paper jammed in scanner.  Do you want to output the "
                         "already scanned image ?";
const std::string kDouble = "Scan aborted because double paper-feed has occurred.  Do you want to "
                            "output the already scanned image ?";
const std::string kOther = "Scan aborted because the error occurred by the driver.  Do you want to "
                           "output the already scanned image ?";
} // namespace

TEST(DriverError, JamInEitherHalfAsksTheJamQuestionWithTheSameNumber) {
    for (uint32_t code : {0xFFFFEEB6u, 0xEEB60000u, 0xEEB61234u}) {
        EXPECT_EQ(ScanAbortQuestion(code), kJam) << std::hex << code;
        EXPECT_EQ(DriverErrorNumber(code), -4426) << std::hex << code;
    }
    EXPECT_EQ(DriverErrorText("Paper jammed in scanner.", 0xFFFFEEB6u),
              "Paper jammed in scanner. (-4426)");
    EXPECT_EQ(DriverErrorText("Paper jammed in scanner.", 0xEEB60000u),
              "Paper jammed in scanner. (-4426)");
}

TEST(DriverError, DoubleFeedAndOtherCodes) {
    EXPECT_EQ(ScanAbortQuestion(0xFFFFEDF5u), kDouble);
    EXPECT_EQ(ScanAbortQuestion(0xEDF50007u), kDouble);
    EXPECT_EQ(DriverErrorNumber(0xFFFFEDF5u), -4619);
    // The code's own half decides: a jam number in the low half of a code
    // whose high half is not 0xFFFF is some other error.
    EXPECT_EQ(ScanAbortQuestion(0x0001EEB6u), kOther);
    EXPECT_EQ(ScanAbortQuestion(0xFFFFEDE1u), kOther);
    EXPECT_EQ(DriverErrorNumber(0xFFFFEDE1u), -4639);
    EXPECT_EQ(DriverErrorNumber(0x00000005u), -65536);
    EXPECT_EQ(DriverErrorNumber(0x7FFF0000u), 0x7FFF - 0x10000);
    EXPECT_EQ(DriverErrorNumber(0xFFFFFFFFu), -1);
    EXPECT_EQ(DriverErrorText("", 0xFFFF0000u), " (-65536)");
}

TEST(DriverError, NoPagePanelTextMatchesEitherHalf) {
    EXPECT_STREQ(NoPagePanelText(0xFFFFEE52u), "Cancelled");
    EXPECT_STREQ(NoPagePanelText(0xEE520000u), "Cancelled");
    EXPECT_STREQ(NoPagePanelText(0xFFFFEECFu), "No page was found in the feeder.");
    EXPECT_STREQ(NoPagePanelText(0x1234EECFu), "No page was found in the feeder.");
    EXPECT_STREQ(NoPagePanelText(0xEE6C0000u), "Scan failed.Not enough memory.");
    EXPECT_STREQ(NoPagePanelText(0xFFFFEDF5u), "Scan failed.");
    EXPECT_STREQ(NoPagePanelText(0), "Scan failed.");
    EXPECT_EQ(CompleteWithDriverText("Sending complete.", "Lamp error.", 0xFFFFEDE1u),
              "Sending complete.\nLamp error. (-4639)");
}

TEST(OutputSize, RunningTotalsPassFourGiBAndTheMailLimitSeesIt) {
    const uint64_t GiB = 1ull << 30;
    const int64_t limit = int64_t(4096 + 256) << 20; // "MailSize" 4352 MB
    // Single-page files of 1.5 GiB each: the third passes 4.5 GiB.
    COutputTally files;
    files.OnPage(true, 3 * GiB / 2);
    files.OnPage(true, 3 * GiB / 2);
    EXPECT_EQ(files.Total(), 3 * GiB);
    EXPECT_FALSE(IsOverMailSize(files.Total(), limit));
    files.OnPage(true, 3 * GiB / 2);
    EXPECT_EQ(files.Total(), 9 * GiB / 2);
    EXPECT_TRUE(IsOverMailSize(files.Total(), limit));

    // One multi-page file growing page by page counts once, at its size now.
    COutputTally multi;
    multi.OnPage(true, 100);
    multi.OnPage(false, 250);
    multi.OnPage(false, 5 * GiB);
    EXPECT_EQ(multi.Total(), 5 * GiB);
    EXPECT_TRUE(IsOverMailSize(multi.Total(), limit));
    multi.OnPage(true, 7); // a second file after it
    EXPECT_EQ(multi.Total(), 5 * GiB + 7);

    // The PDF maker stops counting at 2^31 - 1 bytes; the document's file says more.
    EXPECT_EQ(PdfDocumentSize(0x7FFFFFFF, 5 * GiB), 5 * GiB);
    EXPECT_EQ(PdfDocumentSize(5000, 4096), 5000u); // the maker's buffer not yet written
    // A limit of nothing allows nothing.
    EXPECT_TRUE(IsOverMailSize(1, 0));
    EXPECT_FALSE(IsOverMailSize(0, 0));
    EXPECT_TRUE(IsOverMailSize(0, -1));
}

TEST(BatchEnd, EarlierFailureDiscardsThePagesUnlessTheyAreKeptAfterAStop) {
    BatchEndState s;
    s.m_bErrorDisplayed = true;
    s.m_bHasFailureText = true;
    s.m_nPages = 3;
    BatchEndAction a = DecideBatchEnd(s);
    EXPECT_EQ(a.m_nPages, 0);
    EXPECT_TRUE(a.m_bShowFailureText);
    EXPECT_TRUE(a.m_bErrorDisplayed);
    EXPECT_FALSE(a.m_bNoPage);

    s.m_bKeepWrittenPages = true; // TIFF size limit, or a page that could not be written
    a = DecideBatchEnd(s);
    EXPECT_EQ(a.m_nPages, 3);
    EXPECT_TRUE(a.m_bErrorDisplayed);
}

TEST(BatchEnd, NoPageIsAFailureAndWatchesTheScannerOnlyWithTheStatusWindow) {
    BatchEndState s;
    BatchEndAction a = DecideBatchEnd(s);
    EXPECT_TRUE(a.m_bNoPage);
    EXPECT_TRUE(a.m_bErrorDisplayed);
    EXPECT_FALSE(a.m_bWatchScanner);
    s.m_bMonitorOpen = true;
    EXPECT_TRUE(DecideBatchEnd(s).m_bWatchScanner);
}

TEST(BatchEnd, CancelThrowsThePagesAwayAndShowsCanceledWithTheStatusWindow) {
    BatchEndState s;
    s.m_nPages = 2;
    BatchEndAction a = DecideBatchEnd(s);
    EXPECT_EQ(a.m_nPages, 2); // a plain batch is delivered
    EXPECT_FALSE(a.m_bErrorDisplayed);
    EXPECT_FALSE(a.m_bDeleteTempFiles);

    s.m_bCancelRequested = true;
    s.m_bMonitorOpen = true;
    a = DecideBatchEnd(s);
    EXPECT_EQ(a.m_nPages, 0);
    EXPECT_TRUE(a.m_bDeleteTempFiles);
    EXPECT_TRUE(a.m_bShowCanceled);
    EXPECT_TRUE(a.m_bErrorDisplayed);

    // Cancelled before the first page came: still the user's cancel, and no
    // scanner watch asking for paper.
    s.m_nPages = 0;
    a = DecideBatchEnd(s);
    EXPECT_TRUE(a.m_bShowCanceled);
    EXPECT_FALSE(a.m_bNoPage);
    EXPECT_FALSE(a.m_bWatchScanner);
}

TEST(BatchEnd, OnlyAStartedMailSenderEndsTheJobItself) {
    EXPECT_TRUE(SenderEndsJob(1, true));
    EXPECT_FALSE(SenderEndsJob(1, false)); // nothing sent: the batch handler ends the job
    for (long f : {0L, 2L, 3L, 4L})
        EXPECT_FALSE(SenderEndsJob(f, true)) << f;
}
