// A job from its creation in corvid to the file on disk: corvid opens the
// job editor, the title reaches the simulated panel, the job is chosen on
// the panel, Start runs it through the scanner service and kestrel, and the
// scanned page lands in the job's folder.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>

#include "CorvidWindow.h"
#include "SessionFixture.h"
#include "uirobot_controls.h"

using namespace kestreltest;
using namespace corvidtest;

namespace {
// Ids of the job editor's save page.
const int kSaveMyPicture = 411, kSaveFolder = 413, kSaveFileName = 417;
} // namespace

class CorvidScenario : public Kestrel {};

TEST_F(CorvidScenario, AJobMadeInCorvidRunsFromThePanel) {
    const std::string scans = m_strDir + "\\Scans";
    ASSERT_TRUE(CreateDirectoryA(scans.c_str(), nullptr));
    CCorvidWindow corvid;
    corvid.Start();
    ASSERT_TRUE(WaitFor([&] { return corvid.Title(3).empty(); }));

    // New/Editing on row 3 by a double click.
    ASSERT_TRUE(UiListDoubleClick(corvid.m_hList, 2));
    CUiDialogInfo edit;
    ASSERT_TRUE(corvid.WaitDialog("New/Editing", edit)) << "no New/Editing dialog";
    HWND hFolder = nullptr;
    ASSERT_TRUE(
        WaitFor([&] { return (hFolder = FindControl(edit.m_hWnd, kSaveFolder)) != nullptr; }));
    HWND hPage = GetParent(hFolder);
    ASSERT_TRUE(UiSetText(edit.m_hWnd, kEditTitle, "Invoices"));
    // A new job saves into the pictures folder; this one into its own.
    if (UiGetCheck(hPage, kSaveMyPicture) == BST_CHECKED) {
        ASSERT_TRUE(UiClick(hPage, kSaveMyPicture));
    }
    ASSERT_TRUE(UiSetText(hPage, kSaveFolder, scans.c_str()));
    ASSERT_TRUE(UiSetText(hPage, kSaveFileName, "inv"));
    HWND hBar = GetDlgItem(edit.m_hWnd, kEditButtonBar);
    ASSERT_NE(hBar, nullptr);
    ASSERT_TRUE(UiClick(hBar, IDOK));
    // corvid hands the editor its default scanner settings, so OK does not
    // ask about missing ones: the dialog ends, and a "Warning" box would
    // have come before that and kept it open.
    CUiDialogInfo box;
    ASSERT_TRUE(WaitFor([&] {
        return !IsWindow(edit.m_hWnd) || corvid.WaitDialog("Warning", box, 0);
    })) << UiDescribe(UiReadDialog(edit.m_hWnd));
    ASSERT_FALSE(IsWindow(edit.m_hWnd)) << UiDescribe(box);

    // The list and, by the one-title writer, the panel show the new title.
    EXPECT_TRUE(WaitFor([&] { return corvid.Title(3) == "Invoices"; }));
    EXPECT_TRUE(WaitFor([&] { return Panel().m_titles[2] == "Invoices"; }));

    // Chosen on the panel and started: the page lands in the folder.
    ASSERT_TRUE(m_pDevice->SetSelectedJob(3));
    ASSERT_TRUE(m_pDevice->FeedGenerated(1));
    StartService();
    EXPECT_EQ(PressStartAndWait(), 0u) << ServiceLog();
    std::string log;
    for (const std::string& line : RunLog())
        log += line + "\n";
    EXPECT_EQ(ListFiles(scans).size(), 1u) << log;
    for (const std::string& f : ListFiles(scans))
        EXPECT_EQ(f.rfind("inv", 0), 0u) << f;
    corvid.Close();
}

// "Recovered scans...": a job whose pages were kept is delivered again with
// the job's settings as they are now, or deleted; a month-old one is gone.
class CorvidRecovered : public KestrelSession {};

TEST_F(CorvidRecovered, DeliverAgainSavesThePagesOnceTheFolderIsBackAndDeleteAsksFirst) {
    const int kDeliver = 1102, kDelete = 1103, kOpen = 1104, kRecoveredList = 1101,
              kMenuCommand = 32793;
    ClearRecovered();
    RegisterSaveJob(6, 0, kBmp, kBw, 100, kBusinessCard);
    const std::string later = m_strSave + "\\later";
    Set(6, "save_path", "string", later);
    const std::string old = MakeRecovered(6, 40, "old");
    const std::string first = MakeRecovered(6, 2, "first page");
    const std::string second = MakeRecovered(6, 1, "second page");

    CCorvidWindow corvid;
    corvid.Start();
    ASSERT_TRUE(UiChooseMenu(corvid.m_hMain, kMenuCommand));
    CUiDialogInfo dlg;
    ASSERT_TRUE(corvid.WaitDialog("Recovered scans", dlg));
    HWND hList = GetDlgItem(dlg.m_hWnd, kRecoveredList);
    ASSERT_TRUE(WaitFor([&] { return UiListCount(hList) == 2; }));
    EXPECT_EQ(GetFileAttributesA(old.c_str()), INVALID_FILE_ATTRIBUTES);
    const auto rows = UiListRows(hList);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"6", "Job 6", Manifest(first).m_strTime, "1",
                                                 "Can't access folder."}));

    // Open folder shows the selected job's folder in the file manager.
    ASSERT_TRUE(UiListSelect(hList, {1}));
    ASSERT_TRUE(UiClick(dlg.m_hWnd, kOpen));
    DWORD shown = 0;
    EXPECT_TRUE(WaitFor([&] {
        for (const CRunningProcess& p : RunningProcesses("explorer.exe")) {
            // The folder is the last argument (quoted or not).
            std::string line = p.m_strCommandLine;
            line.erase(std::remove(line.begin(), line.end(), '"'), line.end());
            if (line.size() > second.size() &&
                line.compare(line.size() - second.size(), second.size(), second) == 0)
                shown = p.m_nPid;
        }
        return shown != 0;
    }));
    if (vlm::CHandle explorer{OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, shown)}) {
        TerminateProcess(explorer, 0);
        WaitForSingleObject(explorer, kDeadline);
    }

    // The job's folder is still missing: the runner says so and the job stays.
    ASSERT_TRUE(UiListSelect(hList, {0}));
    ASSERT_TRUE(UiClick(dlg.m_hWnd, kDeliver));
    CUiFindOptions runner;
    runner.m_strExeName = "kestrel.exe";
    CUiDialogInfo box;
    ASSERT_TRUE(UiWaitForDialog(runner, kDeadline, box));
    EXPECT_TRUE(std::any_of(box.m_texts.begin(), box.m_texts.end(), [&](const std::string& t) {
        return t.find(later) != std::string::npos;
    })) << UiDescribe(box);
    ASSERT_TRUE(UiPressButton(box, "OK"));
    ASSERT_TRUE(WaitFor([&] { return IsWindowEnabled(dlg.m_hWnd) != FALSE; }));
    EXPECT_EQ(UiListCount(hList), 2);
    EXPECT_EQ(ListFiles(first).size(), 2u); // its page and manifest

    // With the folder back, the page lands there and the entry goes.
    ASSERT_TRUE(CreateDirectoryA(later.c_str(), nullptr));
    ASSERT_TRUE(UiListSelect(hList, {0}));
    ASSERT_TRUE(UiClick(dlg.m_hWnd, kDeliver));
    ASSERT_TRUE(WaitFor([&] { return UiListCount(hList) == 1; }));
    EXPECT_EQ(ReadFileText(later + "\\page.bmp"), "first page");
    EXPECT_EQ(GetFileAttributesA(first.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(InLog("the recovered job was delivered; removed " + first));

    // Delete asks; No keeps the entry, Yes removes it.
    ASSERT_TRUE(UiListSelect(hList, {0}));
    for (const char* answer : {"No", "Yes"}) {
        ASSERT_TRUE(UiClick(dlg.m_hWnd, kDelete));
        CUiDialogInfo confirm;
        ASSERT_TRUE(corvid.WaitDialog("Confirmation", confirm));
        ASSERT_TRUE(UiPressButton(confirm, answer));
        ASSERT_TRUE(UiWaitGone(confirm.m_hWnd, kDeadline));
        if (std::string(answer) == "No") {
            EXPECT_NE(GetFileAttributesA(second.c_str()), INVALID_FILE_ATTRIBUTES);
        }
    }
    ASSERT_TRUE(WaitFor([&] { return UiListCount(hList) == 0; }));
    EXPECT_EQ(GetFileAttributesA(second.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(UiIsEnabled(dlg.m_hWnd, kDeliver));
    ASSERT_TRUE(UiClick(dlg.m_hWnd, IDCANCEL));
    ASSERT_TRUE(UiWaitGone(dlg.m_hWnd, kDeadline));
    corvid.Close();
}
