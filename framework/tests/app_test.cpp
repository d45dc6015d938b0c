// The application object's run order.
#include <gtest/gtest.h>
#include "framework/App.h"
#include <string>

namespace {
class CProbeApp : public CVlmApp {
public:
    std::string m_strTrace;
    BOOL m_bInit = FALSE;
    BOOL InitInstance() override {
        m_strTrace += "init;";
        if (m_bInit)
            PostQuitMessage(5); // the loop ends with this code
        return m_bInit;
    }
    int Run() override {
        m_strTrace += "run;";
        return CVlmApp::Run();
    }
    int ExitInstance() override {
        m_strTrace += "exit;";
        return m_nExitCode + 100;
    }
};
} // namespace

TEST(App, FailedInitSkipsTheLoop) {
    CProbeApp app;
    EXPECT_EQ(CVlmApp::GetApp(), &app);
    char cmd[] = "/StiDevice:x";
    EXPECT_EQ(VlmRunApp(app, nullptr, cmd, SW_HIDE), 100);
    EXPECT_EQ(app.m_strTrace, "init;exit;");
    EXPECT_EQ(app.m_strCmdLine, "/StiDevice:x");
    EXPECT_NE(app.m_hInstance, nullptr);
}

TEST(App, LoopRunsUntilQuitThenExit) {
    CProbeApp app;
    app.m_bInit = TRUE;
    EXPECT_EQ(VlmWinMain(nullptr, nullptr, SW_SHOW), 105);
    EXPECT_EQ(app.m_strTrace, "init;run;exit;");
    HWND h =
        CreateWindowExA(0, "STATIC", "main", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    app.SetMainWnd(h);
    EXPECT_EQ(CVlmApp::GetApp()->GetMainWnd(), h);
    DestroyWindow(h);
}

TEST(App, NoAppObjectMeansFailure) {
    EXPECT_EQ(CVlmApp::GetApp(), nullptr);
    EXPECT_EQ(VlmWinMain(nullptr, nullptr, 0), -1);
}
