// The help file chosen for a language id.
#include "editor/core/HelpFile.h"

#include <gtest/gtest.h>

TEST(HelpFile, LanguagesWithTheirOwnFileForEverySublanguage) {
    EXPECT_STREQ(EdHelpFileForLanguage("040c"), "TASKDECKFR.HLP"); // France
    EXPECT_STREQ(EdHelpFileForLanguage("0c0c"), "TASKDECKFR.HLP"); // Canada
    EXPECT_STREQ(EdHelpFileForLanguage("100C"), "TASKDECKFR.HLP"); // upper case, Switzerland
    EXPECT_STREQ(EdHelpFileForLanguage("0407"), "TASKDECKGE.HLP");
    EXPECT_STREQ(EdHelpFileForLanguage("0807"), "TASKDECKGE.HLP");
    EXPECT_STREQ(EdHelpFileForLanguage("040a"), "TASKDECKSP.HLP");
    EXPECT_STREQ(EdHelpFileForLanguage("2c0a"), "TASKDECKSP.HLP");
    EXPECT_STREQ(EdHelpFileForLanguage("0410"), "TASKDECKIT.HLP");
    EXPECT_STREQ(EdHelpFileForLanguage("0810"), "TASKDECKIT.HLP");
    EXPECT_STREQ(EdHelpFileForLanguage("0413"), "TASKDECKDU.HLP");
    EXPECT_STREQ(EdHelpFileForLanguage("0813"), "TASKDECKDU.HLP");
}

TEST(HelpFile, JapaneseAndChineseOnlyForTheirOneId) {
    EXPECT_STREQ(EdHelpFileForLanguage("0411"), "TASKDECKJP.HLP");
    EXPECT_STREQ(EdHelpFileForLanguage("0804"), "TASKDECKCH.HLP");
    EXPECT_STREQ(EdHelpFileForLanguage("0404"), "TASKDECKEN.HLP"); // Taiwan
    EXPECT_STREQ(EdHelpFileForLanguage("0c04"), "TASKDECKEN.HLP"); // Hong Kong
    EXPECT_STREQ(EdHelpFileForLanguage("1004"), "TASKDECKEN.HLP"); // Singapore
    EXPECT_STREQ(EdHelpFileForLanguage("0811"), "TASKDECKEN.HLP");
}

TEST(HelpFile, EverythingElseIsEnglish) {
    EXPECT_STREQ(EdHelpFileForLanguage("0409"), "TASKDECKEN.HLP");
    EXPECT_STREQ(EdHelpFileForLanguage("0809"), "TASKDECKEN.HLP");
    EXPECT_STREQ(EdHelpFileForLanguage("0416"), "TASKDECKEN.HLP"); // digit three 1, four 6
    EXPECT_STREQ(EdHelpFileForLanguage("0419"), "TASKDECKEN.HLP");
    EXPECT_STREQ(EdHelpFileForLanguage("0401"), "TASKDECKEN.HLP");
    EXPECT_STREQ(EdHelpFileForLanguage(""), "TASKDECKEN.HLP");
    EXPECT_STREQ(EdHelpFileForLanguage("40c"), "TASKDECKEN.HLP");
    EXPECT_STREQ(EdHelpFileForLanguage("040c0"), "TASKDECKEN.HLP");
    EXPECT_STREQ(EdHelpFileForLanguage(nullptr), "TASKDECKEN.HLP");
}
