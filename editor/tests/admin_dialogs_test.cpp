// The copy, version and administrator dialogs as a user meets them: the test
// starts dialoghost.exe on a store of its own, types, picks and presses
// through the UI robot, answers the message boxes and file dialogs, and
// reads the store from its own process.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <dlgs.h>
#include <algorithm>
#include <functional>
#include <initializer_list>
#include <string>
#include "AdminDialogs_res.h"
#include "SavePage_res.h"
#include "StoreFolderTest.h"
#include "common/JobRecord.h"
#include "framework/Handles.h"
#include "framework/Variant.h"
#include "uirobot.h"
#include "uirobot_controls.h"
#include "uirobot_more.h"

using namespace kestreltest;

namespace {

constexpr DWORD kWait = 30000; // generous: a busy machine under Wine

std::string HostPath(const char* exe) {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string dir(self);
    return dir.substr(0, dir.find_last_of('\\') + 1) + exe;
}

// Up-down ranges through the message that answers in its result, so that it
// works across processes: low word the upper bound, high word the lower.
std::pair<int, int> SpinRange(HWND hDlg, int id) {
    const LRESULT r = SendMessageA(GetDlgItem(hDlg, id), UDM_GETRANGE, 0, 0);
    return {static_cast<short>(HIWORD(r)), static_cast<short>(LOWORD(r))};
}

class AdminDialogs : public CStoreFolderTest {
protected:
    AdminDialogs() : CStoreFolderTest("admindlg") {}
    void TearDown() override {
        if (m_host.Running())
            m_host.Wait(0);
        CStoreFolderTest::TearDown();
    }

    // Starts the host and waits for its dialog with that caption.
    HWND Open(const std::string& args, const char* caption, const char* exe = "dialoghost.exe") {
        EXPECT_TRUE(m_host.Start("\"" + HostPath(exe) + "\" " + args));
        return Dialog(caption);
    }
    // A dialog or message box of the host with that caption.
    HWND Dialog(const char* caption, CUiDialogInfo* pInfo = nullptr) {
        CUiFindOptions o;
        o.m_dwProcessId = m_host.m_nPid;
        o.m_strCaption = caption;
        CUiDialogInfo d;
        EXPECT_TRUE(UiWaitForDialog(o, kWait, d)) << "no \"" << caption << "\" window";
        if (pInfo)
            *pInfo = d;
        return d.m_hWnd;
    }
    // Waits for a message box, checks its text, presses a button and waits
    // until it is gone.
    void Answer(const char* caption, const std::string& text, const char* button) {
        CUiDialogInfo box;
        ASSERT_NE(Dialog(caption, &box), nullptr);
        EXPECT_EQ(UiJoinTexts(box), text);
        ASSERT_TRUE(UiPressButton(box, button));
        ASSERT_TRUE(UiWaitGone(box.m_hWnd, kWait));
    }
    // The same for a box whose text is not fixed here; answers its text.
    std::string AnswerAny(const char* caption, const char* button) {
        CUiDialogInfo box;
        if (!Dialog(caption, &box))
            return "(no box)";
        EXPECT_TRUE(UiPressButton(box, button));
        EXPECT_TRUE(UiWaitGone(box.m_hWnd, kWait));
        return UiJoinTexts(box);
    }
    void Press(HWND hDlg, int id) { ASSERT_TRUE(UiClick(hDlg, id)); }
    // Presses OK or Cancel and waits for the host to end.
    void Close(HWND hDlg, int id) {
        Press(hDlg, id);
        EXPECT_TRUE(UiWaitGone(hDlg, kWait));
        EXPECT_EQ(m_host.Wait(kWait), 0u);
    }
    // Names a file in the platform's open or save dialog and confirms it.
    void ChooseFile(const char* caption, const std::string& path) {
        HWND files = Dialog(caption);
        ASSERT_NE(files, nullptr);
        // The explorer-style dialogs name the file in cmb13, older ones in edt1.
        const int box = GetDlgItem(files, cmb13) ? cmb13 : edt1;
        ASSERT_TRUE(UiSetText(files, box, path.c_str()));
        Press(files, IDOK);
        ASSERT_TRUE(UiWaitGone(files, kWait));
    }

    // "Back Up...", confirmed, into path; the outcome's box is the caller's.
    void BackUpTo(HWND hDlg, const std::string& path) {
        Press(hDlg, IDC_ADMIN_BACKUP);
        Answer("Confirmation", "Are you sure you want to save all settings.", "Yes");
        ChooseFile("Save As", path);
    }

    void Refresh() { ASSERT_HRESULT_SUCCEEDED(m_store.m_pStore->Load()); }
    long Common(const char* key) { return StoreGetLong(m_store.m_pStore, key); }
    std::string CommonText(const char* key) { return StoreGetString(m_store.m_pStore, key); }
    void SetCommon(const char* key, const VARIANT& v) {
        CBstr k(key);
        ASSERT_HRESULT_SUCCEEDED(m_store.m_pStore->SetCommonData(k, v));
    }
    // Store-wide numbers, saved.
    void SaveCommon(std::initializer_list<std::pair<const char*, long>> values) {
        for (const auto& v : values)
            SetCommon(v.first, CVariant(v.second));
        ASSERT_HRESULT_SUCCEEDED(m_store.m_pStore->Save());
    }
    void AddJob(long n, const char* title, long function) {
        CComPtr<IJobData> job = m_store.Job(n);
        JobSetValue(job, "title", CVariant(title));
        JobSetValue(job, "function id", CVariant(function));
        ASSERT_HRESULT_SUCCEEDED(job->Commit());
    }
    std::string Title(long n) {
        Refresh();
        return JobGetString(m_store.Job(n), "title");
    }
    CProcess m_host;
};

const char kRangeMessage[] =
    "The copy destination entered is incorrect. Reenter the values for 1 and 10.";

TEST_F(AdminDialogs, CopyKeepsToTheStoresRangeAsksBeforeOverwritingAndCopies) {
    AddJob(3, "Receipts", 3);
    AddJob(10, "Old", 0);
    HWND dlg = Open("--max-jobs 10 copy 3 0 99", "Copy");
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(UiGetText(dlg, IDC_COPY_SOURCE), "No.03");
    EXPECT_EQ(UiGetText(dlg, IDC_COPY_DEST), "4"); // the store's proposal
    EXPECT_EQ(UiGetText(dlg, IDC_COPY_TITLE), "Receipts");
    EXPECT_EQ(SpinRange(dlg, IDC_COPY_SPIN), std::make_pair(1, 10));

    ASSERT_TRUE(UiSetText(dlg, IDC_COPY_TITLE, "Receipts copy"));
    for (const char* outside : {"11", "0"}) {
        ASSERT_TRUE(UiSetText(dlg, IDC_COPY_DEST, outside));
        Press(dlg, IDOK);
        Answer("Error", kRangeMessage, "OK");
    }
    // A number box holding no number is refused with the reason.
    ASSERT_TRUE(UiSetText(dlg, IDC_COPY_DEST, ""));
    Press(dlg, IDOK);
    Answer("Error", "Please enter an integer.", "OK");

    ASSERT_TRUE(UiSetText(dlg, IDC_COPY_DEST, "10"));
    Press(dlg, IDOK);
    Answer("Confirmation", "Job already exists. Would you want to overwrite?", "No");
    EXPECT_EQ(Title(10), "Old");
    Press(dlg, IDOK);
    Answer("Confirmation", "Job already exists. Would you want to overwrite?", "Yes");
    EXPECT_TRUE(UiWaitGone(dlg, kWait));
    EXPECT_EQ(m_host.Wait(kWait), 0u);
    EXPECT_EQ(Title(10), "Receipts copy");
    EXPECT_EQ(JobGetLong(m_store.Job(10), "function id"), 3);
    EXPECT_EQ(Title(3), "Receipts");
}

TEST_F(AdminDialogs, CopyChecksTheTitleLikeTheEditDialog) {
    AddJob(7, "Scans", 0);
    HWND dlg = Open("copy 7", "Copy");
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(UiGetText(dlg, IDC_COPY_SOURCE), "No.07");
    EXPECT_EQ(SpinRange(dlg, IDC_COPY_SPIN), std::make_pair(1, 99));
    ASSERT_TRUE(UiSetText(dlg, IDC_COPY_DEST, "8"));
    ASSERT_TRUE(UiSetText(dlg, IDC_COPY_TITLE, ""));
    Press(dlg, IDOK);
    Answer("Warning", "The job title is not input in edit box. Are You Sure?", "No");
    ASSERT_TRUE(UiSetText(dlg, IDC_COPY_TITLE, "Tab\there"));
    for (int i = 0; i < 2; ++i) { // each OK checks afresh
        Press(dlg, IDOK);
        Answer("Warning",
               "Characters that cannot be displayed on the scanner are included. Please reenter.",
               "OK");
    }
    Refresh();
    CComPtr<IJobData> job;
    EXPECT_EQ(m_store.m_pStore->GetJob(8, &job) & 0xFFFF, 2) << "nothing copied yet";
    ASSERT_TRUE(UiSetText(dlg, IDC_COPY_TITLE, ""));
    Press(dlg, IDOK);
    Answer("Warning", "The job title is not input in edit box. Are You Sure?", "Yes");
    EXPECT_TRUE(UiWaitGone(dlg, kWait));
    EXPECT_EQ(m_host.Wait(kWait), 0u);
    EXPECT_EQ(Title(8), "");
}

TEST_F(AdminDialogs, CopyOfAFreeNumberOpensNoDialog) {
    AddJob(7, "Scans", 0);
    const struct {
        const char* args;
        const char* out;
    } cases[] = {
        {"copy 8", "error=The Job No. is not registered.\n"},
        {"copy 8 1 10", "error=The Job No. is not registered.\n"},
    };
    for (const auto& c : cases) {
        std::string out;
        EXPECT_EQ(RunCapture("\"" + HostPath("dialoghost.exe") + "\" " + c.args, &out, kWait), 0u);
        out.erase(std::remove(out.begin(), out.end(), '\r'), out.end());
        EXPECT_EQ(out, c.out) << c.args;
    }
}

TEST_F(AdminDialogs, VersionShowsTheHostsFileVersionAndTheCopyrightYears) {
    HWND dlg = Open("--first-year 2006 --last-year 2008 version", "Version Information");
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(UiGetText(dlg, IDC_VERSION_LINE), "VX-410 Task Deck Version : unknown");
    EXPECT_EQ(UiGetText(dlg, IDC_VERSION_COPYRIGHT), "Copyright (C) 2006-2008 Velmora Works Inc.");
    EXPECT_NE(UiGetText(dlg, IDC_VERSION_ACK1).find("own codec"), std::string::npos);
    EXPECT_NE(UiGetText(dlg, IDC_VERSION_ACK2).find("Arai, T. Agui and M. Nakajima"),
              std::string::npos);
    Close(dlg, IDOK);

    // The first translation of the resource names the version to show.
    dlg = Open("--first-year 2008 --last-year 2008 version", "Version Information",
               "dialoghost_versioned.exe");
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(UiGetText(dlg, IDC_VERSION_LINE), "VX-410 Task Deck Version : 1.4.2.7");
    EXPECT_EQ(UiGetText(dlg, IDC_VERSION_COPYRIGHT), "Copyright (C) 2008 Velmora Works Inc.");
    Close(dlg, IDOK);
}

TEST_F(AdminDialogs, MethodChangeReachesTheStoreAtOnceButLastsOnlyWithSave) {
    SaveCommon({{"SMTP_ID", 0}, {"MailSize", 10}});
    HWND dlg = Open("admin 4", "Admin");
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(
        UiItems(dlg, IDC_ADMIN_METHOD),
        (std::vector<std::string>{"Standard SMTP", "SMTP authentication(LOGIN)", "POP before SMTP",
                                  "SMTP authentication(PLAIN)", "SMTP authentication(CRAM-MD5)"}));
    EXPECT_EQ(UiSelectedIndex(dlg, IDC_ADMIN_METHOD), 0);
    EXPECT_FALSE(UiIsEnabled(dlg, IDC_ADMIN_ACCESS));
    ASSERT_TRUE(UiSelect(dlg, IDC_ADMIN_METHOD, "POP before SMTP"));
    EXPECT_TRUE(UiIsEnabled(dlg, IDC_ADMIN_ACCESS));
    ASSERT_TRUE(UiSelect(dlg, IDC_ADMIN_METHOD, "Standard SMTP"));
    EXPECT_FALSE(UiIsEnabled(dlg, IDC_ADMIN_ACCESS));
    ASSERT_TRUE(UiSelect(dlg, IDC_ADMIN_METHOD, "POP before SMTP"));
    // The account for the method, in the save page's access dialog.
    Press(dlg, IDC_ADMIN_ACCESS);
    HWND access = Dialog("Access setting");
    ASSERT_NE(access, nullptr);
    ASSERT_TRUE(UiSetText(access, IDC_ACCESS_USER, "scanner"));
    ASSERT_TRUE(UiSetText(access, IDC_ACCESS_PASSWORD, "s3cret"));
    Press(access, IDOK);
    ASSERT_TRUE(UiWaitGone(access, kWait));

    // Backing up saves what the store holds: the method passed before OK.
    BackUpTo(dlg, m_folder + "\\first.reg");
    Answer("Back Up", "Success To Back Up", "OK");
    Refresh();
    EXPECT_EQ(Common("SMTP_ID"), 2);
    EXPECT_EQ(CommonText("username"), "scanner");
    EXPECT_EQ(CommonText("password"), "s3cret");

    // Cancel does not take a later change back, but nothing saves it.
    ASSERT_TRUE(UiSelect(dlg, IDC_ADMIN_METHOD, "SMTP authentication(CRAM-MD5)"));
    EXPECT_TRUE(UiIsEnabled(dlg, IDC_ADMIN_ACCESS));
    Close(dlg, IDCANCEL);
    Refresh();
    EXPECT_EQ(Common("SMTP_ID"), 2);

    // The form without the mail group keeps the method as stored.
    dlg = Open("admin 2", "Admin");
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(GetDlgItem(dlg, IDC_ADMIN_METHOD), nullptr);
    Close(dlg, IDOK);
    Refresh();
    EXPECT_EQ(Common("SMTP_ID"), 2);
}

TEST_F(AdminDialogs, RestoreBringsBackTheStoreAsBackedUp) {
    AddJob(1, "Invoices", 0);
    AddJob(2, "Letters", 1);
    SetCommon("MailSize", CVariant(20L));
    SetCommon("SMTPServerName", CVariant("mail.example.com:587"));
    ASSERT_HRESULT_SUCCEEDED(m_store.m_pStore->Save());
    HWND dlg = Open("admin 4", "Admin");
    ASSERT_NE(dlg, nullptr);
    Press(dlg, IDC_ADMIN_BACKUP);
    Answer("Confirmation", "Are you sure you want to save all settings.", "No");
    const std::string backup = m_folder + "\\all.reg";
    BackUpTo(dlg, backup);
    Answer("Back Up", "Success To Back Up", "OK");
    const std::string backedUp = StoreFile();
    ASSERT_FALSE(backedUp.empty());
    EXPECT_NE(ReadFileText(backup).find("Invoices"), std::string::npos);

    // Another program changes jobs and settings meanwhile.
    Refresh();
    ASSERT_HRESULT_SUCCEEDED(m_store.m_pStore->DeleteJob(2));
    AddJob(1, "Changed", 4);
    SetCommon("MailSize", CVariant(50L));
    ASSERT_HRESULT_SUCCEEDED(m_store.m_pStore->Save());
    ASSERT_NE(StoreFile(), backedUp);

    // A file that is not there, and one the store cannot read, change nothing.
    const std::string changed = StoreFile();
    Press(dlg, IDC_ADMIN_RESTORE);
    ChooseFile("Open", m_folder + "\\missing.reg");
    EXPECT_EQ(AnswerAny("Error", "OK"),
              CComError(HResultFromWin32(ERROR_FILE_NOT_FOUND)).Message());
    const std::string broken = m_folder + "\\broken.reg";
    {
        CHandle f(
            CreateFileA(broken.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(f.Get(), "not a backup\r\n", 14, &written, nullptr));
    }
    Press(dlg, IDC_ADMIN_RESTORE);
    ChooseFile("Open", broken);
    // The store's refusal (0x80040201) in the words of the interface facility.
    EXPECT_EQ(AnswerAny("Error", "OK"), "vender defined error 513");
    EXPECT_EQ(StoreFile(), changed);

    Press(dlg, IDC_ADMIN_RESTORE);
    ChooseFile("Open", backup);
    Answer("Restore", "Success To Restore", "OK");
    EXPECT_EQ(StoreFile(), backedUp) << "the store file byte for byte as backed up";
    EXPECT_EQ(UiGetText(dlg, IDC_ADMIN_MSIZE), "20");
    EXPECT_EQ(UiGetText(dlg, IDC_ADMIN_SERVER), "mail.example.com:587");
    Close(dlg, IDCANCEL);
    EXPECT_EQ(Title(2), "Letters");
}

TEST_F(AdminDialogs, SizesKeepToTheirRangesAndFolderEntriesShareTheControls) {
    SaveCommon({{"MailSize", 10}, {"MonitorOpen", 1}});
    HWND dlg = Open("--attached-mail-size 20 --warning-size 1000 admin 2", "Admin");
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(UiGetText(dlg, IDC_ADMIN_MSIZE_RANGE), "MB (1 - 20)");
    EXPECT_EQ(UiGetText(dlg, IDC_ADMIN_WSIZE_RANGE), "MB (0 - 1000)");
    EXPECT_EQ(SpinRange(dlg, IDC_ADMIN_MSIZE_SPIN), std::make_pair(1, 20));
    EXPECT_EQ(SpinRange(dlg, IDC_ADMIN_WSIZE_SPIN), std::make_pair(0, 1000));
    EXPECT_EQ(UiItems(dlg, IDC_ADMIN_FOLDER_LIST),
              (std::vector<std::string>{"1", "2", "3", "4", "5"}));
    EXPECT_EQ(UiSelectedIndex(dlg, IDC_ADMIN_FOLDER_LIST), 0);
    EXPECT_EQ(UiGetCheck(dlg, IDC_ADMIN_MONITOR), BST_CHECKED);

    // The folder controls follow the entry's check box.
    EXPECT_FALSE(UiIsEnabled(dlg, IDC_ADMIN_PATH));
    Press(dlg, IDC_ADMIN_DISPLAY_WARNING);
    // The dialog enables the controls one after the other: wait for the last.
    ASSERT_TRUE(UiWaitUntil(
        [&] { return UiIsEnabled(dlg, IDC_ADMIN_PATH) && UiIsEnabled(dlg, IDC_ADMIN_WSIZE); },
        kWait));
    ASSERT_TRUE(UiSetText(dlg, IDC_ADMIN_PATH, "C:\\Scans\\Watched"));
    ASSERT_TRUE(UiSetText(dlg, IDC_ADMIN_WSIZE, "5000"));
    // Another entry shows its own values; the first keeps what was typed.
    ASSERT_TRUE(UiSelect(dlg, IDC_ADMIN_FOLDER_LIST, "3"));
    EXPECT_EQ(UiGetText(dlg, IDC_ADMIN_PATH), "");
    EXPECT_EQ(UiGetCheck(dlg, IDC_ADMIN_DISPLAY_WARNING), BST_UNCHECKED);
    EXPECT_FALSE(UiIsEnabled(dlg, IDC_ADMIN_PATH));
    ASSERT_TRUE(UiSetText(dlg, IDC_ADMIN_WSIZE, "300"));
    ASSERT_TRUE(UiSelect(dlg, IDC_ADMIN_FOLDER_LIST, "1"));
    EXPECT_EQ(UiGetText(dlg, IDC_ADMIN_PATH), "C:\\Scans\\Watched");
    EXPECT_EQ(UiGetText(dlg, IDC_ADMIN_WSIZE), "1000") << "taken as the largest offered";
    ASSERT_TRUE(UiSetText(dlg, IDC_ADMIN_WSIZE, "5000"));
    Press(dlg, IDC_ADMIN_MONITOR);
    ASSERT_TRUE(
        UiWaitUntil([&] { return UiGetCheck(dlg, IDC_ADMIN_MONITOR) == BST_UNCHECKED; }, kWait));

    // An attachment size above the range stops OK with nothing written.
    ASSERT_TRUE(UiSetText(dlg, IDC_ADMIN_MSIZE, "25"));
    Press(dlg, IDOK);
    Answer("Error", "Please enter an integer between 1 and 20.", "OK");
    // ... and a backup: no file, nothing saved.
    const std::string backup = m_folder + "\\refused.reg";
    BackUpTo(dlg, backup);
    Answer("Error", "Please enter an integer between 1 and 20.", "OK");
    EXPECT_EQ(GetFileAttributesA(backup.c_str()), INVALID_FILE_ATTRIBUTES);
    Refresh();
    EXPECT_EQ(Common("DisplayWarning0"), 0);
    EXPECT_EQ(Common("MailSize"), 10);

    ASSERT_TRUE(UiSetText(dlg, IDC_ADMIN_MSIZE, "20"));
    Close(dlg, IDOK);
    Refresh();
    EXPECT_EQ(Common("MailSize"), 20);
    EXPECT_EQ(Common("MonitorOpen"), 0);
    EXPECT_EQ(Common("DisplayWarning0"), 1);
    EXPECT_EQ(CommonText("MonitorPath0"), "C:\\Scans\\Watched");
    EXPECT_EQ(Common("WarningSize0"), 1000);
    EXPECT_EQ(Common("WarningSize2"), 300);
    EXPECT_EQ(Common("DisplayWarning2"), 0);
}

TEST_F(AdminDialogs, FormsWriteTheMonitorSwitchAsTheyShowIt) {
    SaveCommon({{"MailSize", 10}, {"MonitorOpen", 1}});
    // Form 1 has no monitor switch and leaves it alone.
    HWND dlg = Open("admin 1", "Admin");
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(GetDlgItem(dlg, IDC_ADMIN_MONITOR), nullptr);
    EXPECT_NE(GetDlgItem(dlg, IDC_ADMIN_SERVER), nullptr);
    ASSERT_TRUE(UiSetText(dlg, IDC_ADMIN_SERVER, "smtp.example.org:465"));
    for (int box : {IDC_ADMIN_SELF_SIGNED, IDC_ADMIN_REQUIRE_TLS}) {
        Press(dlg, box);
        ASSERT_TRUE(UiWaitUntil([&] { return UiGetCheck(dlg, box) == BST_CHECKED; }, kWait));
    }
    Close(dlg, IDOK);
    Refresh();
    EXPECT_EQ(Common("MonitorOpen"), 1);
    EXPECT_EQ(CommonText("SMTPServerName"), "smtp.example.org:465");
    EXPECT_EQ(Common("SMTPAllowSelfSigned"), 1);
    EXPECT_EQ(Common("SMTPRequireTLS"), 1);
    // Form 3 shows neither the switch nor the attachment size, and stores
    // the switch as 0.
    dlg = Open("admin 3", "Admin");
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(GetDlgItem(dlg, IDC_ADMIN_MONITOR), nullptr);
    EXPECT_EQ(GetDlgItem(dlg, IDC_ADMIN_MSIZE), nullptr);
    Close(dlg, IDOK);
    Refresh();
    EXPECT_EQ(Common("MonitorOpen"), 0);
    EXPECT_EQ(Common("MailSize"), 10);
    EXPECT_EQ(CommonText("SMTPServerName"), "smtp.example.org:465");
}

} // namespace
