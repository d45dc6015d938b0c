#include <gtest/gtest.h>
#include "tool/core/HelpFile.h"

// The help file follows the primary language; only simplified Chinese has a
// Chinese file, and every language without a file gets the English one.
TEST(HelpFile, ByPrimaryLanguage) {
    EXPECT_STREQ(HelpFileForLanguage(0x0407), "TASKDECKGE.chm");
    EXPECT_STREQ(HelpFileForLanguage(0x0807), "TASKDECKGE.chm"); // Swiss German
    EXPECT_STREQ(HelpFileForLanguage(0x0C0A), "TASKDECKSP.chm");
    EXPECT_STREQ(HelpFileForLanguage(0x040C), "TASKDECKFR.chm");
    EXPECT_STREQ(HelpFileForLanguage(0x0C0C), "TASKDECKFR.chm"); // French (Canada)
    EXPECT_STREQ(HelpFileForLanguage(0x0410), "TASKDECKIT.chm");
    EXPECT_STREQ(HelpFileForLanguage(0x0411), "TASKDECKJP.chm");
    EXPECT_STREQ(HelpFileForLanguage(0x0412), "TASKDECKKR.chm");
    EXPECT_STREQ(HelpFileForLanguage(0x0813), "TASKDECKDU.chm"); // Dutch (Belgium)
    EXPECT_STREQ(HelpFileForLanguage(0x0804), "TASKDECKCH_Sim.chm");
    EXPECT_STREQ(HelpFileForLanguage(0x0404), "TASKDECKEN.chm"); // traditional Chinese
    EXPECT_STREQ(HelpFileForLanguage(0x0809), "TASKDECKEN.chm");
    EXPECT_STREQ(HelpFileForLanguage(0x0419), "TASKDECKEN.chm"); // Russian: no file
}
