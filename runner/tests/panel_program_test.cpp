// The scanner panel through whole jobs: what reaches the panel text library
// (its trace) and what the simulated panel ends up showing.
#include <gtest/gtest.h>

#include <windows.h>

#include "SessionFixture.h"

using namespace kestreltest;

namespace {

class KestrelPanel : public KestrelSession {
protected:
    void SetUp() override {
        KestrelSession::SetUp();
        TracePanelLibrary();
    }
};

TEST_F(KestrelPanel, TheScannersSettingByteReachesTheLibraryWithEveryMessage) {
    // Above 127, so that a sign slip on the way would show.
    ASSERT_TRUE(m_pDevice->Update([](vx410sim::DeviceState& s) {
        s.m_nPanelSetting = 0xA7;
        return true;
    }));
    RegisterSaveJob(51, 0, kBmp, kBw, 50, kBusinessCard);
    ScanSheets(2, 40, 60, 1);
    EXPECT_TRUE(InLog("DispMessageToScaner_init result = 167"));
    const std::string head = "167|" + Catalogue() + "|";
    EXPECT_EQ(Trace(), (std::vector<std::string>{head + "Please wait.", head + "Scanning...",
                                                 head + "Sending...", head + "Sending complete."}));
    EXPECT_EQ(Panel().m_strPanelMessage, "Sending complete.");
    EXPECT_EQ(Panel().m_nDisplayKind, vx410sim::kDisplayNormal);
}

// A German user. Wine takes the user's language from the Unix locale of the
// process tree, so these run as a test of their own started with
// LC_ALL=de_DE.UTF-8 (kestrel_panel_german_test); the other runs leave them
// out.
using KestrelPanelGerman = KestrelPanel;

TEST_F(KestrelPanelGerman, ATranslationLongerThanThePanelIsCutTo32Bytes) {
    ASSERT_EQ(GetUserDefaultLangID(), 0x0407) << "run with LC_ALL=de_DE.UTF-8";
    RegisterSaveJob(52, 0, kBmp, kBw, 50, kBusinessCard); // the feeder stays empty
    StartService();
    EXPECT_EQ(PressStartAndWait(), 0u) << ServiceLog();
    // The library is handed the whole translation (37 bytes) ...
    const std::vector<std::string> trace = Trace();
    ASSERT_FALSE(trace.empty());
    EXPECT_EQ(trace.front(), "0|" + Catalogue() + "|Bitte warten.");
    EXPECT_EQ(trace.back(), "0|" + Catalogue() + "|Im Einzug wurde keine Seite gefunden.");
    // ... and the panel shows its first 32.
    EXPECT_EQ(Panel().m_strPanelMessage, "Im Einzug wurde keine Seite gefu");
    EXPECT_EQ(Panel().m_nDisplayKind, vx410sim::kDisplayError);
}

TEST_F(KestrelPanelGerman, AnUmlautIsOneByteOfTheAnsiCodePageOnThePanel) {
    ASSERT_EQ(GetUserDefaultLangID(), 0x0407) << "run with LC_ALL=de_DE.UTF-8";
    RegisterJob(53, 5); // no such function: "Can't run job."
    ASSERT_TRUE(m_pDevice->SetSelectedJob(53));
    StartService("--no-launch");
    DWORD code = 0;
    const CMessageBoxInfo box = RunAndAnswer(KestrelCommand(false), &code);
    EXPECT_NE(box.m_strText.find("Der Auftrag kann nicht ausgef"), std::string::npos);
    EXPECT_EQ(code, 1u);
    // 41 bytes in code page 1252 to the library, the first 32 on the panel.
    const std::string text = "Der Auftrag kann nicht ausgef\xFChrt werden.";
    EXPECT_EQ(Trace().back(), "0|" + Catalogue() + "|" + text);
    EXPECT_EQ(Panel().m_strPanelMessage, text.substr(0, 32));
    EXPECT_EQ(Panel().m_nDisplayKind, vx410sim::kDisplayError);
}

} // namespace
