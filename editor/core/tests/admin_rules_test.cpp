// The copy, version and administrator dialogs' rules.
#include <gtest/gtest.h>
#include "editor/core/AdminRules.h"

using namespace plover;

TEST(CopyRange, CallerBoundsMeetTheStoresNumbers) {
    // CopyDialog2(3, 0, 99) on a store of ten slots.
    CopyRange r = EffectiveCopyRange(0, 99, 10);
    EXPECT_EQ(r.lower, 1);
    EXPECT_EQ(r.upper, 10);
    EXPECT_TRUE(r.Contains(1));
    EXPECT_TRUE(r.Contains(10));
    EXPECT_FALSE(r.Contains(0));
    EXPECT_FALSE(r.Contains(11));
    // Narrower caller bounds win; the unlimited form ends at the store's highest.
    r = EffectiveCopyRange(5, 8, 99);
    EXPECT_EQ(r.lower, 5);
    EXPECT_EQ(r.upper, 8);
    r = EffectiveCopyRange(0, 2147483647L, 99);
    EXPECT_EQ(r.upper, 99);
    // Bounds that do not meet leave no destination.
    r = EffectiveCopyRange(50, 99, 10);
    EXPECT_FALSE(r.Contains(10));
    EXPECT_FALSE(r.Contains(50));
}

TEST(RangeMessage, NumbersGoWhereTheTranslationPutsThem) {
    EXPECT_EQ(FormatTwoNumbers("Reenter the values for %1 and %2.", 1, 10),
              "Reenter the values for 1 and 10.");
    EXPECT_EQ(FormatTwoNumbers("bis %2, ab %1; %1 again", 3, 40), "bis 40, ab 3; 3 again");
    // Other percent signs stay as they are.
    EXPECT_EQ(FormatTwoNumbers("100% %3 %", 1, 2), "100% %3 %");
}

TEST(Copyright, TwoYearsOrOne) {
    EXPECT_EQ(CopyrightYears(2006, 2008), "2006-2008");
    EXPECT_EQ(CopyrightYears(2008, 2008), "2008");
    EXPECT_EQ(CopyrightYears(2012, 2008), "2008-2012");
}

TEST(AdminForms, WhatEachFormShowsAndWrites) {
    ASSERT_NE(AdminFormFor(1), nullptr);
    EXPECT_TRUE(AdminFormFor(1)->mailServer);
    EXPECT_FALSE(AdminFormFor(1)->monitor);
    EXPECT_FALSE(AdminFormFor(1)->writesMonitor);
    EXPECT_FALSE(AdminFormFor(2)->mailServer);
    EXPECT_TRUE(AdminFormFor(2)->mailSize);
    EXPECT_TRUE(AdminFormFor(2)->monitor);
    EXPECT_FALSE(AdminFormFor(2)->monitorAsZero);
    // Form 3 shows no monitor switch but stores it as 0.
    EXPECT_FALSE(AdminFormFor(3)->monitor);
    EXPECT_FALSE(AdminFormFor(3)->mailSize);
    EXPECT_TRUE(AdminFormFor(3)->writesMonitor);
    EXPECT_TRUE(AdminFormFor(3)->monitorAsZero);
    EXPECT_TRUE(AdminFormFor(4)->mailServer && AdminFormFor(4)->monitor &&
                AdminFormFor(4)->mailSize);
    EXPECT_EQ(AdminFormFor(0), nullptr);
    EXPECT_EQ(AdminFormFor(5), nullptr);
}

TEST(AdminForms, SmtpMethodsAndWarningSizes) {
    EXPECT_STREQ(kSmtpMethodList[2].name, "POP before SMTP");
    EXPECT_EQ(kSmtpMethodList[2].value, 2);
    EXPECT_EQ(kSmtpMethodList[4].value, 4);
    EXPECT_FALSE(SmtpMethodNeedsAccount(0));
    for (long id = 1; id <= 4; ++id)
        EXPECT_TRUE(SmtpMethodNeedsAccount(id)) << id;
    EXPECT_EQ(ClampWarningSize(5000, 1000), 1000);
    EXPECT_EQ(ClampWarningSize(1000, 1000), 1000);
    EXPECT_EQ(ClampWarningSize(0, 1000), 0);
}
