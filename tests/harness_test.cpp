// The Wine harness itself: the prefix is private, headless and persistent.
#include <gtest/gtest.h>
#include <windows.h>
#include <string>

TEST(WineHarness, PrefixIsPrivateAndHeadless) {
    char buf[MAX_PATH] = {};
    ASSERT_GT(GetTempPathA(sizeof buf, buf), 0u);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\Drivers", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    char val[64] = {};
    DWORD cb = sizeof val;
    EXPECT_EQ(RegQueryValueExA(key, "Graphics", nullptr, nullptr, (BYTE*)val, &cb), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_NE(std::string(val).find("null"), std::string::npos);
}

TEST(WineHarness, WindowsCanBeCreated) {
    HWND hwnd = CreateWindowExA(0, "STATIC", "probe", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                                nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(FindWindowA(nullptr, "probe"), hwnd);
    DestroyWindow(hwnd);
}
