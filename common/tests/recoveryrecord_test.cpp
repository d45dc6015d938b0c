#include <gtest/gtest.h>

#include "common/portable/RecoveryRecord.h"

using namespace vlm;

TEST(RecoveryRecord, AManifestReadsBackAndALineBreakCannotForgeAKey) {
    RecoveryRecord r;
    r.m_nJob = 7;
    r.m_strTitle = "Invoices";
    r.m_nFunctionId = 2;
    r.m_strFunction = "Print";
    r.m_strFileType = "TIFF";
    r.m_nPages = 3;
    r.m_strTime = "2026-12-08 19:50:03";
    r.m_strReason = "Print failed.\r\nFile=..\\..\\evil";
    r.m_Files = {"scan1.tif", "scan2.tif"};
    const RecoveryRecord back = ParseRecoveryRecord(RecoveryManifestText(r));
    EXPECT_EQ(back.m_nJob, 7);
    EXPECT_EQ(back.m_strTitle, "Invoices");
    EXPECT_EQ(back.m_nFunctionId, 2);
    EXPECT_EQ(back.m_strFunction, "Print");
    EXPECT_EQ(back.m_strFileType, "TIFF");
    EXPECT_EQ(back.m_nPages, 3);
    EXPECT_EQ(back.m_strTime, r.m_strTime);
    EXPECT_EQ(back.m_strReason, "Print failed.  File=..\\..\\evil");
    EXPECT_EQ(back.m_Files, r.m_Files);

    // A run file grows line by line; the last count and folder hold.
    const RecoveryRecord run = ParseRecoveryRecord(RecoveryJobLines(r) + "File=C:\\t\\a.tif\r\n" +
                                                   "Pages=1\r\nPages=2\r\nRecovery=C:\\r\\x\r\n");
    EXPECT_EQ(run.m_nPages, 2);
    EXPECT_EQ(run.m_Files, std::vector<std::string>{"C:\\t\\a.tif"});
    EXPECT_EQ(run.m_strRecoveryFolder, "C:\\r\\x");
    // The save's temporary file, noted and cleared again once renamed.
    EXPECT_EQ(ParseRecoveryRecord("SaveTemp=C:\\s\\vlm00A1.tmp\r\n").m_strSaveTemp,
              "C:\\s\\vlm00A1.tmp");
    EXPECT_EQ(ParseRecoveryRecord("SaveTemp=C:\\s\\vlm00A1.tmp\r\nSaveTemp=\r\n").m_strSaveTemp,
              "");
}

TEST(RecoveryRecord, FolderNamesHoldOnlyWhatAFileNameMay) {
    EXPECT_EQ(SafeFileNamePart("A/B: \"x\" <y>|z?*\\\t."), "A_B_ _x_ _y__z____");
    EXPECT_EQ(SafeFileNamePart("Report. . "), "Report");
    EXPECT_EQ(SafeFileNamePart(std::string(100, 'x')).size(), 40u);
    RecoveryRecord r;
    r.m_nJob = 12;
    r.m_strTime = "2026-01-02 03.04.05";
    EXPECT_EQ(RecoveryFolderName(r), "12 2026-01-02 03.04.05");
    r.m_strTitle = "..";
    EXPECT_EQ(RecoveryFolderName(r), "12 2026-01-02 03.04.05");
    r.m_strTitle = "Scan: A";
    EXPECT_EQ(RecoveryFolderName(r), "12 Scan_ A 2026-01-02 03.04.05");
    r.m_strTime = "..\\..\\Startup"; // a damaged run file's time stays inside the root
    EXPECT_EQ(RecoveryFolderName(r), "12 Scan_ A .._.._Startup");
}

TEST(RecoveryRecord, OnlyAWholeTimeParses) {
    int f[6];
    ASSERT_TRUE(ParseRecoveryTime(FormatRecoveryTime(2026, 12, 8, 19, 5, 9), f));
    EXPECT_EQ(f[0], 2026);
    EXPECT_EQ(f[2], 8);
    EXPECT_EQ(f[5], 9);
    EXPECT_FALSE(ParseRecoveryTime("2026-13-08 19.05.09", f));
    EXPECT_FALSE(ParseRecoveryTime("2026-12-08 19.05.09x", f));
    EXPECT_FALSE(ParseRecoveryTime("", f));
    EXPECT_FALSE(ParseRecoveryTime("2026-+1-08 19.05.09", f)); // no signs or spaces for digits
    EXPECT_FALSE(ParseRecoveryTime("2026- 1-08 19.05.09", f));
}
