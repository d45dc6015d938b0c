// A job from its creation in corvid to the file on disk: corvid opens the
// job editor, the title reaches the simulated panel, the job is chosen on
// the panel, Start runs it through the scanner service and kestrel, and the
// scanned page lands in the job's folder.
#include <gtest/gtest.h>

#include <windows.h>

#include "CorvidWindow.h"
#include "KestrelFixture.h"
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
