// The job record vocabulary and the numbered message table.
#include <gtest/gtest.h>
#include "common/portable/JobVocabulary.h"
#include "common/portable/LocalizeTable.h"

using namespace vlm;

TEST(Vocabulary, FunctionIdsAndNames) {
    EXPECT_STREQ(FunctionDisplayName(SCAN_TO_PC), "Save as file");
    EXPECT_STREQ(FunctionDisplayName(SCAN_TO_MAIL), "Send by E-Mail");
    EXPECT_STREQ(FunctionDisplayName(SCAN_TO_PR), "Print");
    EXPECT_STREQ(FunctionDisplayName(SCAN_TO_PC_RUNAPP), "Open by Application");
    EXPECT_STREQ(FunctionDisplayName(SCAN_TO_MAPI), "Attach to E-mail");
    EXPECT_EQ(FunctionDisplayName(5), nullptr);
    EXPECT_EQ(FunctionDisplayName(-1), nullptr);
    EXPECT_FALSE(IsKnownFunction(5));
}

TEST(Vocabulary, JobNumberRange) {
    EXPECT_FALSE(IsJobNumber(0)); // what the service answers when it cannot read the panel
    EXPECT_TRUE(IsJobNumber(1));
    EXPECT_TRUE(IsJobNumber(99));
    EXPECT_FALSE(IsJobNumber(100));
    EXPECT_FALSE(IsJobNumber(-1));
    EXPECT_EQ(LastJobNumberToStore(0), 1);
    EXPECT_EQ(LastJobNumberToStore(100), 1);
    EXPECT_EQ(LastJobNumberToStore(-5), 1);
    EXPECT_EQ(LastJobNumberToStore(1), 1);
    EXPECT_EQ(LastJobNumberToStore(42), 42);
    EXPECT_EQ(LastJobNumberToStore(99), 99);
}

TEST(Vocabulary, FileTypes) {
    EXPECT_STREQ(FileTypeName(0), "BMP");
    EXPECT_STREQ(FileTypeName(1), "JPEG");
    EXPECT_STREQ(FileTypeName(2), "PDF");
    EXPECT_STREQ(FileTypeName(3), "TIFF");
    EXPECT_STREQ(FileTypeName(7), "UNKNOWN");
    EXPECT_STREQ(FileTypeName(-1), "UNKNOWN");
    EXPECT_TRUE(SameFileType("tiff", "TIFF"));
    EXPECT_TRUE(SameFileType("Pdf", "PDF"));
    EXPECT_FALSE(SameFileType("TIF", "TIFF"));
    EXPECT_FALSE(SameFileType("TIFFX", "TIFF"));
    EXPECT_STREQ(FileTypeExtension("jpeg"), ".jpg");
    EXPECT_STREQ(FileTypeExtension("TIFF"), ".tif");
    EXPECT_STREQ(FileTypeExtension("UNKNOWN"), "");
}

TEST(Vocabulary, PdfAndOcrMappings) {
    EXPECT_EQ(PdfCompressionCode(0), 0);
    EXPECT_EQ(PdfCompressionCode(5), 0);
    EXPECT_EQ(PdfCompressionCode(1), 2);
    EXPECT_EQ(PdfCompressionCode(2), 3);
    const uint32_t codes[10] = {1, 2, 3, 64, 8, 32, 16, 128, 4, 4};
    for (int i = 0; i < 10; ++i) {
        OcrLanguage l = OcrLanguageFor(i, 1);
        EXPECT_EQ(l.m_dwCode, codes[i]) << i;
        EXPECT_EQ(l.m_dwSecond, i == 9 ? 256u : 0u) << i;
    }
    EXPECT_EQ(OcrLanguageFor(42, 1).m_dwCode, 2u);
    EXPECT_EQ(OcrLanguageFor(-1, 1).m_dwCode, 2u);
    EXPECT_EQ(OcrLanguageFor(3, 0).m_dwCode, 64u | 0x80000000u);
    EXPECT_EQ(OcrLanguageFor(9, 0).m_dwSecond, 256u);
    EXPECT_EQ(OcrLanguageFor(9, 0).m_dwCode, 0x80000004u); // text recognition off
    EXPECT_EQ(OcrLanguageFor(42, 0).m_dwCode, 0x80000002u);
}

TEST(Vocabulary, SizesAndWarningKeys) {
    EXPECT_EQ(MailSizeBytes(10), 10485760);
    EXPECT_EQ(MailSizeBytes(0), 0);
    EXPECT_EQ(MailSizeBytes(-3), 0);
    EXPECT_EQ(MailSizeBytes(4096), 4294967296LL); // no 32-bit overflow
    EXPECT_EQ(WarningSizeBytes(5000), 5000ull * 0x100000);
    EXPECT_EQ(WarningKey(kKeyDisplayWarningFmt, 0), "DisplayWarning0");
    EXPECT_EQ(WarningKey(kKeyMonitorPathFmt, 4), "MonitorPath4");
    EXPECT_EQ(WarningKey(kKeyWarningSizeFmt, 5), "");
}

TEST(LocalizeTable, NumberedTexts) {
    CLocalize t;
    EXPECT_EQ(t.GetString(356), ""); // nothing filled: empty entry 0
    EXPECT_EQ(t.GetString(1025), "ID too large");
    EXPECT_EQ(t.GetString(0xFFFFFFFFu), "ID too large");
    EXPECT_TRUE(t.SetString(0, "fallback"));
    EXPECT_TRUE(t.SetString(1024, "last"));
    EXPECT_FALSE(t.SetString(1025, "no"));
    EXPECT_EQ(t.GetString(1024), "last");
    EXPECT_EQ(t.GetString(5), "fallback");
    EXPECT_TRUE(t.SetString(7, std::string(3000, 'z')));
    EXPECT_EQ(t.GetString(7).size(), CLocalize::kMaxText);
}

TEST(LocalizeTable, FillInTakesOnlyTheFirstPercentS) {
    EXPECT_EQ(VlmFillIn("Monitor for %s", "VX-410"), "Monitor for VX-410");
    // Whatever else a catalogue holds stays as it is.
    EXPECT_EQ(VlmFillIn("100% %d %n for %s%s %", "VX-410"), "100% %d %n for VX-410%s %");
    EXPECT_EQ(VlmFillIn("no place", "VX-410"), "no place");
    EXPECT_EQ(VlmFillIn("%s", "%s%n"), "%s%n");
    // Several values in turn; what the values do not reach stays as written.
    EXPECT_EQ(VlmFillInEach("%s (1 - %d) 100%", {"MB", "999"}), "MB (1 - 999) 100%");
    EXPECT_EQ(VlmFillInEach("%d%n %s %s", {"7"}), "7%n %s %s");
    EXPECT_EQ(VlmFillInEach("%", {"x"}), "%");
}
