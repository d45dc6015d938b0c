// kestrel's start-up with save jobs: the save folder check and the folder
// size warnings, as the scanner starts the runner and as a user does.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <fstream>

#include "KestrelFixture.h"
#include "framework/ComError.h"
#include "uirobot.h"

using namespace kestreltest;

namespace {

const char kQuestion[] =
    ":The folder size has been already over the specified size.Do you continue to scan?";

class KestrelSave : public Kestrel {
protected:
    void SetUp() override {
        Kestrel::SetUp();
        m_strWatch = m_strDir + "\\watch";
        m_strSave = m_strWatch + "\\save";
        ASSERT_TRUE(CreateDirectoryA(m_strWatch.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryA(m_strSave.c_str(), nullptr));
        // 1.5 MiB in the watched folder: over a limit of 1 MB.
        std::ofstream(m_strWatch + "\\big.bin", std::ios::binary) << std::string(0x180000, 'x');
        for (int i = 0; i < 5; ++i)
            ASSERT_EQ(Taskstore("common set DisplayWarning" + std::to_string(i) + " i4 0"), 0);
    }
    // A "Save as file" job (or another function) that saves into folder.
    void RegisterSaveJob(int n, int function, const std::string& folder) {
        RegisterJob(n, function);
        const std::string N = std::to_string(n);
        ASSERT_EQ(Taskstore("set " + N + " save i2 1"), 0);
        ASSERT_EQ(Taskstore("set " + N + " mypicture i4 0"), 0);
        ASSERT_EQ(Taskstore("set " + N + " save_path string \"" + folder + "\""), 0);
        ASSERT_EQ(Taskstore("set " + N + " filetype i4 3"), 0);
    }
    void Warn(int i, const std::string& folder, long megabytes) {
        const std::string I = std::to_string(i);
        ASSERT_EQ(Taskstore("common set DisplayWarning" + I + " i4 1"), 0);
        ASSERT_EQ(Taskstore("common set MonitorPath" + I + " string \"" + folder + "\""), 0);
        ASSERT_EQ(Taskstore("common set WarningSize" + I + " i4 " + std::to_string(megabytes)), 0);
    }
    // kestrel started by hand, up to its first message box (captioned with
    // the model name).
    void StartByHandUpToTheBox(CProcess& k, CUiDialogInfo& box) {
        StartService("--no-launch");
        ASSERT_TRUE(k.Start(KestrelCommand(false)));
        ASSERT_TRUE(WaitKestrelBox(box));
        EXPECT_EQ(box.m_strCaption, "VX-410");
    }
    // Waits for a message box of kestrel, started by the service or by hand.
    bool WaitKestrelBox(CUiDialogInfo& box) {
        CUiFindOptions o;
        o.m_strExeName = "kestrel.exe";
        return UiWaitForDialog(o, 60000, box);
    }
    static std::string Text(const CUiDialogInfo& box) {
        std::string t;
        for (const std::string& s : box.m_texts)
            t += (t.empty() ? "" : "\n") + s;
        return t;
    }
    // The panel texts kestrel sent, in order.
    std::vector<std::string> PanelTexts() {
        std::vector<std::string> out;
        const std::string mark = "DispMessageToScaner Start msg = ";
        for (const std::string& l : RunLog())
            if (l.compare(0, mark.size(), mark) == 0)
                out.push_back(l.substr(mark.size()));
        return out;
    }
    std::string m_strWatch, m_strSave;
};

} // namespace

TEST_F(KestrelSave, AMissingSaveFolderFromTheScannerStopsWithThePanelText) {
    RegisterSaveJob(4, 0, m_strDir + "\\no such folder");
    ASSERT_TRUE(m_pDevice->SetSelectedJob(4));
    StartService();
    EXPECT_EQ(PressStartAndWait(), 1u) << ServiceLog();
    EXPECT_EQ(Panel().m_strPanelMessage, "Save location is not found.");
    EXPECT_EQ(Panel().m_nDisplayKind, vx410sim::kDisplayError);
    EXPECT_TRUE(InOrder(RunLog(), {"PrepareWarningFunction start", "PrepareWarningFunction end",
                                   "ComModule release start", "ComModule release end",
                                   "InitInstance() end", "StiUnLock end"}));
    EXPECT_FALSE(InLog("DoModal start"));
    const long begun = LogTime("PrepareWarningFunction start");
    const long shown = LogTime("DispMessageToScaner Start msg = Save location is not found.");
    ASSERT_GE(begun, 0);
    EXPECT_GE(shown - begun, 900);
    EXPECT_NE(ServiceLog().find("unlock: the scanner is back"), std::string::npos);
}

TEST_F(KestrelSave, AMissingSaveFolderByHandShowsTheFolderAndTheSystemText) {
    const std::string missing = m_strDir + "\\no such folder";
    RegisterSaveJob(4, 0, missing);
    ASSERT_TRUE(m_pDevice->SetSelectedJob(4));
    CProcess k;
    CUiDialogInfo box;
    ASSERT_NO_FATAL_FAILURE(StartByHandUpToTheBox(k, box));
    EXPECT_EQ(Text(box), missing + " : " + VlmSystemMessage(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(box.m_buttons, (std::vector<std::string>{"OK"}));
    ASSERT_TRUE(UiPressButton(box, "OK"));
    EXPECT_EQ(k.Wait(60000), 1u);
    EXPECT_FALSE(InLog("DoModal start"));
    EXPECT_TRUE(InLog("ComModule release end"));
    EXPECT_NE(Panel().m_strPanelMessage, "Save location is not found.");
}

TEST_F(KestrelSave, AWatchedFolderOverItsLimitAsksNamingTheLowerIndexAndNoCancels) {
    RegisterSaveJob(6, 0, m_strSave);
    Warn(1, m_strWatch, 1);
    Warn(3, m_strDir, 1);
    ASSERT_TRUE(m_pDevice->SetSelectedJob(6));
    CProcess k;
    CUiDialogInfo box;
    ASSERT_NO_FATAL_FAILURE(StartByHandUpToTheBox(k, box));
    EXPECT_EQ(Text(box), m_strWatch + kQuestion);
    EXPECT_EQ(box.m_buttons, (std::vector<std::string>{"&Yes", "&No"}));
    ASSERT_TRUE(UiPressButton(box, "No"));
    EXPECT_EQ(k.Wait(60000), 1u);
    EXPECT_FALSE(InLog("DoModal start"));
    EXPECT_TRUE(InOrder(RunLog(), {"PrepareWarningFunction end", "ComModule release end"}));
    const std::vector<std::string> panel = PanelTexts();
    ASSERT_GE(panel.size(), 2u);
    EXPECT_EQ(panel[panel.size() - 2], m_strWatch + kQuestion + "  iserror = 1");
    EXPECT_EQ(panel.back(), "Canceled  iserror = 0");
    EXPECT_EQ(Panel().m_strPanelMessage, "Canceled");
    EXPECT_NE(Panel().m_nDisplayKind, vx410sim::kDisplayError);
}

TEST_F(KestrelSave, FromTheScannerTheQuestionFollowsThePanelErrorAndYesRunsTheJob) {
    RegisterSaveJob(6, 0, m_strSave);
    Warn(2, m_strWatch, 1);
    ASSERT_TRUE(m_pDevice->SetSelectedJob(6));
    StartService();
    ASSERT_TRUE(m_pDevice->PressStart());
    CUiDialogInfo box;
    ASSERT_TRUE(WaitKestrelBox(box)) << ServiceLog();
    EXPECT_EQ(Text(box), m_strWatch + kQuestion);
    ASSERT_TRUE(UiPressButton(box, "Yes"));
    EXPECT_EQ(WaitRunnerEnd(), 0u) << ServiceLog();
    EXPECT_TRUE(InOrder(
        RunLog(), {"PrepareWarningFunction end",
                   "DispMessageToScaner Start msg = Error occured. See PC.  "
                   "iserror = 1",
                   "DispMessageToScaner Start msg = " + m_strWatch + kQuestion + "  iserror = 1",
                   "DoModal start", "DoModal end"}));
}

TEST_F(KestrelSave, AWatchedFolderOnAnotherDriveNeverWarns) {
    // The watched folder itself, over its limit, seen through the Z: drive.
    const std::string viaZ = ThroughDriveZ(m_strWatch);
    ASSERT_NE(GetFileAttributesA((viaZ + "\\big.bin").c_str()), INVALID_FILE_ATTRIBUTES) << viaZ;
    RegisterSaveJob(6, 0, m_strSave);
    Warn(0, viaZ, 1);
    ASSERT_TRUE(m_pDevice->SetSelectedJob(6));
    StartService();
    EXPECT_EQ(PressStartAndWait(), 0u) << ServiceLog();
    EXPECT_TRUE(InOrder(RunLog(), {"PrepareWarningFunction start", "PrepareWarningFunction end",
                                   "DoModal start", "DoModal end"}));
    EXPECT_FALSE(InLog(" bytes"));
    CUiFindOptions o;
    o.m_strExeName = "kestrel.exe";
    EXPECT_TRUE(UiFindDialogs(o).empty());
}

TEST_F(KestrelSave, APrintJobNeverChecksFolders) {
    RegisterSaveJob(9, 2, m_strDir + "\\no such folder");
    Warn(1, m_strWatch, 1);
    ASSERT_TRUE(m_pDevice->SetSelectedJob(9));
    StartService();
    EXPECT_EQ(PressStartAndWait(), 0u) << ServiceLog();
    EXPECT_TRUE(InOrder(RunLog(), {"SCAN_TO_PR", "DoModal start", "DoModal end"}));
    EXPECT_FALSE(InLog("PrepareWarningFunction"));
    EXPECT_NE(Panel().m_strPanelMessage, "Save location is not found.");
}

TEST_F(KestrelSave, APicturesJobWatchesTheUsersPicturesFolder) {
    char pictures[MAX_PATH] = {};
    ASSERT_TRUE(SUCCEEDED(
        SHGetFolderPathA(nullptr, CSIDL_MYPICTURES | CSIDL_FLAG_CREATE, nullptr, 0, pictures)));
    RegisterSaveJob(5, 0, m_strDir + "\\not this one");
    ASSERT_EQ(Taskstore("set 5 mypicture i4 1"), 0);
    Warn(4, pictures, 0); // a limit of nothing: over at once when it holds the save folder
    ASSERT_TRUE(m_pDevice->SetSelectedJob(5));
    CProcess k;
    CUiDialogInfo box;
    ASSERT_NO_FATAL_FAILURE(StartByHandUpToTheBox(k, box));
    EXPECT_EQ(Text(box), pictures + std::string(kQuestion));
    ASSERT_TRUE(UiPressButton(box, "No"));
    EXPECT_EQ(k.Wait(60000), 1u);
}
