// The robot against message boxes and dialogs of its own process, shown on
// a second thread.
#include <gtest/gtest.h>
#include <atomic>
#include <thread>
#include "framework/MessageBox.h"
#include "uirobot.h"

namespace {
struct BoxThread {
    std::atomic<int> m_nResult{-100};
    std::thread m_thread;
    BoxThread(const char* text, const char* caption, UINT flags) {
        std::string t = text, c = caption;
        m_thread = std::thread([this, t, c, flags] {
            m_nResult = VlmMessageBoxTop(nullptr, t.c_str(), c.c_str(), flags);
        });
    }
    ~BoxThread() {
        if (m_thread.joinable())
            m_thread.join();
    }
};
CUiFindOptions Mine(const char* caption = nullptr) {
    CUiFindOptions o;
    o.m_dwProcessId = GetCurrentProcessId();
    if (caption)
        o.m_strCaption = caption;
    return o;
}
} // namespace

TEST(UiRobot, ReadsAndPressesAMessageBox) {
    BoxThread box("Scan aborted.\nOutput anyway?", "VX-410", MB_YESNOCANCEL | MB_ICONQUESTION);
    CUiDialogInfo d;
    ASSERT_TRUE(UiWaitForDialog(Mine("VX-410"), 10000, d));
    EXPECT_EQ(d.m_dwProcessId, GetCurrentProcessId());
    EXPECT_EQ(UiDescribe(d),
              "caption=VX-410|text=Scan aborted.\\nOutput anyway?|buttons=Yes,No,Cancel");
    EXPECT_FALSE(UiPressButton(d, "Maybe"));
    ASSERT_TRUE(UiPressButton(d, "no"));
    box.m_thread.join();
    EXPECT_EQ(box.m_nResult, IDNO);
}

TEST(UiRobot, MnemonicsAreIgnoredWhenMatching) {
    BoxThread box("Retry?", "Probe2", MB_RETRYCANCEL);
    CUiDialogInfo d;
    ASSERT_TRUE(UiWaitForDialog(Mine("Probe2"), 10000, d));
    ASSERT_TRUE(UiPressButton(d, "&Retry"));
    box.m_thread.join();
    EXPECT_EQ(box.m_nResult, IDRETRY);
}

TEST(UiRobot, TimesOutWithoutADialog) {
    CUiDialogInfo d;
    DWORD start = GetTickCount();
    EXPECT_FALSE(UiWaitForDialog(Mine("Nothing like this"), 300, d));
    EXPECT_GE(GetTickCount() - start, 250u);
    CUiFindOptions byName;
    byName.m_strExeName = "no-such-program.exe";
    EXPECT_TRUE(UiFindDialogs(byName).empty());
    EXPECT_FALSE(UiFindProcesses("uirobot_test.exe").empty());
}
