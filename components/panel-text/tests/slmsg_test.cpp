// The panel text library as the runner loads it: by name, export looked up.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "components/panel-text/slmsg.h"
#include "framework/Handles.h"

namespace {
// The build tree's unix path as Wine sees it.
std::string WinPath(const char* unixPath) {
    std::string p = std::string("Z:") + unixPath;
    for (char& c : p)
        if (c == '/')
            c = '\\';
    return p;
}

class PanelTextLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_lib.Load(WinPath(SLMSG_PATH).c_str())) << GetLastError();
        m_pfn = reinterpret_cast<PFN_GetScannerMessage>(
            reinterpret_cast<void*>(m_lib.GetProc("GetScannerMessage")));
        ASSERT_NE(m_pfn, nullptr);
    }
    vlm::CModule m_lib;
    PFN_GetScannerMessage m_pfn = nullptr;
};
} // namespace

TEST_F(PanelTextLibrary, PassesTheMessageThroughWhateverTheSetting) {
    char buf[256];
    for (int setting : {0, 1, 255}) {
        std::memset(buf, 'x', sizeof buf);
        EXPECT_EQ(m_pfn("C:\\TaskdeckCore.loc", setting, "Please wait.", buf, 256), 12);
        EXPECT_STREQ(buf, "Please wait.");
    }
    // Texts longer than the panel are cut by the runner, not here.
    std::string longText(100, 'a');
    EXPECT_EQ(m_pfn(nullptr, 0, longText.c_str(), buf, 256), 100);
    EXPECT_EQ(std::string(buf), longText);
}

TEST_F(PanelTextLibrary, NeverWritesPastTheBufferAndAlwaysTerminates) {
    char buf[8];
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(m_pfn("", 0, "Sending complete.", buf, 5), 4);
    EXPECT_STREQ(buf, "Send");
    EXPECT_EQ(buf[5], 'x');
    EXPECT_EQ(m_pfn("", 0, nullptr, buf, 8), 0);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(m_pfn("", 0, "abc", buf, 1), 0);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(m_pfn("", 0, "abc", buf, 0), -1);
    EXPECT_EQ(m_pfn("", 0, "abc", nullptr, 8), -1);
}

TEST_F(PanelTextLibrary, TracesWhatItIsHandedWhenAskedTo) {
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    const std::string trace =
        std::string(dir) + "slmsg-trace-" + std::to_string(GetCurrentProcessId()) + ".txt";
    DeleteFileA(trace.c_str());
    char buf[64];
    m_pfn("C:\\TaskdeckCore.loc", 0, "untraced", buf, sizeof buf);
    ASSERT_TRUE(SetEnvironmentVariableA("SLMSG_TRACE", trace.c_str()));
    m_pfn("C:\\TaskdeckCore.loc", 90, "Scanning...", buf, sizeof buf);
    m_pfn(nullptr, 255, nullptr, buf, sizeof buf);
    SetEnvironmentVariableA("SLMSG_TRACE", nullptr);
    m_pfn("C:\\TaskdeckCore.loc", 1, "untraced again", buf, sizeof buf);

    std::string text;
    {
        std::ifstream in(trace, std::ios::binary);
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    DeleteFileA(trace.c_str());
    EXPECT_EQ(text, "90|C:\\TaskdeckCore.loc|Scanning...\r\n255||\r\n");
}
