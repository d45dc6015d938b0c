// The registry profile: defaults, round trips and the key layout.
#include <gtest/gtest.h>
#include "framework/App.h"
#include "framework/Handles.h"
#include "framework/Profile.h"

namespace {
const char* kKey = "Velmora Works Test";
void RemoveKey() {
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Velmora Works Test");
}
} // namespace

TEST(Profile, DefaultsWhenNothingStored) {
    RemoveKey();
    CVlmProfile p(kKey, "ProfileTest");
    EXPECT_EQ(p.GetInt("General", "WriteLog", 0), 0);
    EXPECT_EQ(p.GetInt("General", "WriteLog", 7), 7);
    EXPECT_EQ(p.GetString("General", "LogFileName", "x.log"), "x.log");
}

TEST(Profile, WriteThenReadAndLayout) {
    RemoveKey();
    CVlmProfile p(kKey, "ProfileTest");
    ASSERT_TRUE(p.WriteInt("General", "WriteLog", 1));
    ASSERT_TRUE(p.WriteString("General", "LogFileName", "run.log"));
    ASSERT_TRUE(p.WriteInt("General", "Negative", -5));
    EXPECT_EQ(p.GetInt("General", "WriteLog", 0), 1);
    EXPECT_EQ(p.GetInt("General", "Negative", 0), -5);
    EXPECT_EQ(p.GetString("General", "LogFileName", ""), "run.log");
    // Another section or profile does not see the values.
    EXPECT_EQ(p.GetInt("Other", "WriteLog", 3), 3);
    EXPECT_EQ(CVlmProfile(kKey, "Else").GetInt("General", "WriteLog", 3), 3);

    CRegKey key;
    ASSERT_EQ(key.Open(HKEY_CURRENT_USER, "Software\\Velmora Works Test\\ProfileTest\\General"),
              ERROR_SUCCESS);
    DWORD v = 0;
    EXPECT_EQ(key.QueryDWORD("WriteLog", v), ERROR_SUCCESS);
    EXPECT_EQ(v, 1u);
    // A string where a number is wanted falls back unless it is numeric.
    CRegKey w;
    ASSERT_EQ(w.Create(HKEY_CURRENT_USER, "Software\\Velmora Works Test\\ProfileTest\\General"),
              ERROR_SUCCESS);
    w.SetString("Text", "abc");
    w.SetString("Num", "12");
    EXPECT_EQ(p.GetInt("General", "Text", 9), 9);
    EXPECT_EQ(p.GetInt("General", "Num", 9), 12);
    RemoveKey();
}

TEST(Profile, FollowsTheApplicationObject) {
    CVlmApp app;
    app.SetRegistryKey(kKey);
    CVlmProfile p;
    EXPECT_EQ(p.m_strRegistryKey, kKey);
    EXPECT_EQ(p.m_strProfileName, "framework_test");
    EXPECT_FALSE(app.GetProgramFolder().empty());
}
