// The mail, print and application pages as a user meets them: dialoghost.exe
// shows one page in its frame (OK = take the values, save, validate,
// commit), the UI robot types, picks and presses, and the job store tells
// what was committed.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <vector>

#include "FunctionPages_res.h"
#include "JobEdit_res.h"
#include "SavePage_res.h"
#include "common/JobPrinter.h"
#include "framework/Handles.h"
#include "runner/tests/PrintTestPages.h"
#include "StoreFolderTest.h"
#include "uirobot.h"
#include "uirobot_controls.h"
#include "uirobot_more.h"

// Last: its A/W macros would rename names in the headers above.
#include <winspool.h>

using namespace kestreltest;
using printtest::DefaultPrinter;

namespace {

constexpr DWORD kWait = 60000; // for anything to appear, on a busy machine

// The print dialog's printer list and print-to-file box (the platform's ids).
constexpr int kPrinterCombo = 0x473;
constexpr int kPrintToFileBox = 0x410;
// The file dialog's file name box (the platform's ids).
constexpr int kFileNameCombo = 0x47c;
constexpr int kFileNameEdit = 0x480;

// The program showing the dialogs: dialoghost.exe, or ploverctl.exe for
// the COM class.
const char* g_pszHostExe = "dialoghost.exe";

CUiFindOptions HostDialog(const char* caption) {
    CUiFindOptions o;
    o.m_strExeName = g_pszHostExe;
    o.m_strCaption = caption;
    return o;
}

// A dialog or message box of the host with this caption.
CUiDialogInfo WaitDialog(const char* caption) {
    CUiDialogInfo info;
    EXPECT_TRUE(UiWaitForDialog(HostDialog(caption), kWait, info)) << "no \"" << caption << "\"";
    return info;
}

// Presses a button of a box and waits until the box is gone.
void Answer(const CUiDialogInfo& box, const char* button) {
    ASSERT_TRUE(UiPressButton(box, button)) << UiDescribe(box);
    ASSERT_TRUE(UiWaitGone(box.m_hWnd, kWait));
}

// dialoghost.exe showing one page of one job in its frame ("page KIND N"),
// or the New/Editing dialog ("edit N"), and its answer when it ends.
class CPageRun {
public:
    CPageRun(const char* kind, long job) : CPageRun(std::string("page ") + kind, job, "Page") {}
    CPageRun(const std::string& command, long job, const char* caption,
             const char* program = DIALOGHOST_EXE) {
        const std::string cmd =
            "\"" + WinPath(program) + "\" " + command + " " + std::to_string(job);
        m_answer = std::async(std::launch::async, [cmd] {
            std::string out;
            RunCapture(cmd, &out, 5 * kWait);
            return out;
        });
        EXPECT_TRUE(UiWaitForDialog(HostDialog(caption), kWait, m_frame)) << "no " << caption;
        m_hPage = UiFindChildDialog(m_frame.m_hWnd);
        EXPECT_TRUE(m_hPage != nullptr);
    }
    ~CPageRun() {
        // A test that failed half-way leaves the host open: end it.
        if (m_answer.valid() &&
            m_answer.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
            for (DWORD pid : UiFindProcesses(g_pszHostExe))
                if (const vlm::CHandle h{OpenProcess(PROCESS_TERMINATE, FALSE, pid)})
                    TerminateProcess(h, 99);
    }
    HWND Page() const { return m_hPage; }
    HWND Frame() const { return m_frame.m_hWnd; }
    // The page that holds the control (the New/Editing dialog has several).
    HWND PageWith(int nId) const { return UiFindPageWith(m_frame.m_hWnd, nId, false); }
    // Presses the frame's OK or Cancel.
    void Press(const char* button) { ASSERT_TRUE(UiPressButton(m_frame, button)); }
    // "result=N" or "error=<text>" once the host ended.
    std::string Answer() {
        if (m_answer.wait_for(std::chrono::milliseconds(5 * kWait)) != std::future_status::ready)
            return "(no answer)";
        std::string out = m_answer.get();
        while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
            out.pop_back();
        return out;
    }
    bool FrameOpen() const { return IsWindow(m_frame.m_hWnd) && IsWindowVisible(m_frame.m_hWnd); }

private:
    std::future<std::string> m_answer;
    CUiDialogInfo m_frame;
    HWND m_hPage = nullptr;
};

class FunctionPages : public CStoreFolderTest {
protected:
    FunctionPages() : CStoreFolderTest("fnpages") {}
    void TearDown() override {
        CStoreFolderTest::TearDown();
        // A test that changed the system's default printer puts it back.
        if (!m_strDefaultPrinter.empty() && DefaultPrinter() != m_strDefaultPrinter)
            SetDefaultPrinterA(m_strDefaultPrinter.c_str());
    }

    void SetJob(long number, std::vector<std::pair<const char*, CVariant>> values) {
        CComPtr<IJobData> job = m_store.Job(number);
        for (auto& kv : values)
            JobSetValue(job, kv.first, kv.second);
        ThrowIfFailed(job->Commit(), IID_IJobData);
    }
    using CStoreFolderTest::Committed;
    std::string Committed(long number, const char* key) {
        return JobGetString(Committed(number), key);
    }
    std::vector<uint8_t> Block(IJobData* job, const char* key) {
        std::vector<uint8_t> bytes;
        EXPECT_EQ(VlmReadByteBlock(JobGetValue(job, key), bytes), S_OK) << key;
        return bytes;
    }

    // The stored printer: both blocks name it, the flags keep the dialog's
    // choices and drop the unstored bits.
    void ExpectPrinter(IJobData* job, const std::string& name) {
        const std::vector<uint8_t> names = Block(job, "devname");
        const std::vector<uint8_t> mode = Block(job, "devmode");
        EXPECT_EQ(DevNamesDeviceName(names), name);
        ASSERT_TRUE(IsDevModeBlock(mode));
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(
                      reinterpret_cast<const DEVMODEA*>(mode.data())->dmDeviceName)),
                  name);
        EXPECT_EQ(JobGetString(job, "printername"), name);
        const DWORD flags = static_cast<DWORD>(JobGetLong(job, "Flags"));
        EXPECT_EQ(flags & CJobPrintDialog::kFlagsNotStored, 0u);
        EXPECT_EQ(flags & 0x14000Cu, 0x14000Cu);
        EXPECT_EQ(flags & PD_PRINTSETUP, 0u);
    }

    const std::string m_strDefaultPrinter = DefaultPrinter();
};

// Driver settings for a job that the New/Editing dialog saves without asking.
CVariant DriverSettings() {
    CVariant driver;
    EXPECT_EQ(VlmMakeByteBlock("[CustomDsData]\r\n", 16, &driver), S_OK);
    return driver;
}

std::string Addresses(int n) {
    std::string list;
    for (int i = 0; i < n; ++i)
        list += (i ? "," : "") + std::string("user") + std::to_string(i) + "@example.com";
    return list;
}

// ---- mail page ----------------------------------------------------------------

TEST_F(FunctionPages, MailAddressListSplitsAddsPicksDeletesAndJoins) {
    SetJob(5, {{"function id", CVariant(1L)},
               {"send", CVariant("a@x.org,,b@y.org")},
               {"from", CVariant("me@x.org")},
               {"subject", CVariant("Scans")},
               {"text", CVariant("Here they are.")}});
    CPageRun run("mail", 5);
    const HWND page = run.Page();
    EXPECT_EQ(UiGetText(page, IDC_MAIL_SEND), "a@x.org,,b@y.org");
    EXPECT_EQ(UiGetText(page, IDC_MAIL_FROM), "me@x.org");
    EXPECT_EQ(UiGetText(page, IDC_MAIL_SUBJECT), "Scans");
    EXPECT_EQ(UiGetText(page, IDC_MAIL_TEXT), "Here they are.");

    ASSERT_TRUE(UiClick(page, IDC_MAIL_ADD));
    CUiDialogInfo add = WaitDialog("Add");
    const HWND dlg = add.m_hWnd;
    // Two "," give three entries, the second empty.
    EXPECT_EQ(UiItems(dlg, IDC_ADDR_LIST), (std::vector<std::string>{"a@x.org", "", "b@y.org"}));
    // Blanks alone are not added; the add box is emptied all the same.
    UiSetText(dlg, IDC_ADDR_EDIT, "   ");
    UiClick(dlg, IDC_ADDR_ADD);
    EXPECT_TRUE(UiWaitUntil([&] { return UiGetText(dlg, IDC_ADDR_EDIT).empty(); }, kWait));
    EXPECT_EQ(UiItems(dlg, IDC_ADDR_LIST).size(), 3u);
    // Picking copies the entry into the add box; Delete removes it.
    ASSERT_TRUE(UiSelect(dlg, IDC_ADDR_LIST, "b@y.org"));
    EXPECT_EQ(UiGetText(dlg, IDC_ADDR_EDIT), "b@y.org");
    UiClick(dlg, IDC_ADDR_DELETE);
    EXPECT_TRUE(UiWaitUntil([&] { return UiItems(dlg, IDC_ADDR_LIST).size() == 2; }, kWait));
    EXPECT_EQ(UiItems(dlg, IDC_ADDR_LIST), (std::vector<std::string>{"a@x.org", ""}));
    EXPECT_EQ(UiGetText(dlg, IDC_ADDR_EDIT), "");
    EXPECT_EQ(UiSelectedIndex(dlg, IDC_ADDR_LIST), 0);
    // OK with text in the add box adds it and stays; the next OK closes.
    UiSetText(dlg, IDC_ADDR_EDIT, "c@z.org");
    ASSERT_TRUE(UiPressButton(add, "OK"));
    EXPECT_TRUE(UiWaitUntil([&] { return UiItems(dlg, IDC_ADDR_LIST).size() == 3; }, kWait));
    EXPECT_EQ(UiGetText(dlg, IDC_ADDR_EDIT), "");
    EXPECT_TRUE(IsWindow(dlg));
    Answer(add, "OK");
    EXPECT_EQ(UiGetText(page, IDC_MAIL_SEND), "a@x.org,,c@z.org");

    // Unchanged, the list gives the same text back; an entry only picked
    // from the list is not added a second time.
    ASSERT_TRUE(UiClick(page, IDC_MAIL_ADD));
    add = WaitDialog("Add");
    ASSERT_TRUE(UiSelect(add.m_hWnd, IDC_ADDR_LIST, "a@x.org"));
    Answer(add, "OK");
    EXPECT_EQ(UiGetText(page, IDC_MAIL_SEND), "a@x.org,,c@z.org");

    run.Press("OK");
    EXPECT_EQ(run.Answer(), "result=1");
    EXPECT_EQ(Committed(5, "send"), "a@x.org,,c@z.org");
    EXPECT_EQ(Committed(5, "from"), "me@x.org");
}

TEST_F(FunctionPages, MailAddressListTakesSixtyFourAddressesAndRefusesTheSixtyFifth) {
    const std::string sixtyFour = Addresses(64);
    SetJob(6, {{"function id", CVariant(1L)}, {"send", CVariant(sixtyFour.c_str())}});
    CPageRun run("mail", 6);
    const HWND page = run.Page();

    ASSERT_TRUE(UiClick(page, IDC_MAIL_ADD));
    CUiDialogInfo add = WaitDialog("Add");
    EXPECT_EQ(UiItems(add.m_hWnd, IDC_ADDR_LIST).size(), 64u);
    Answer(add, "OK");
    EXPECT_EQ(UiGetText(page, IDC_MAIL_SEND), sixtyFour);

    ASSERT_TRUE(UiClick(page, IDC_MAIL_ADD));
    add = WaitDialog("Add");
    const HWND dlg = add.m_hWnd;
    UiSetText(dlg, IDC_ADDR_EDIT, "one.more@example.com");
    ASSERT_TRUE(UiPressButton(add, "OK"));
    EXPECT_TRUE(UiWaitUntil([&] { return UiItems(dlg, IDC_ADDR_LIST).size() == 65; }, kWait));
    ASSERT_TRUE(UiPressButton(add, "OK"));
    CUiDialogInfo warning = WaitDialog("Warning");
    EXPECT_EQ(UiJoinTexts(warning, ""), "Over Max Number Of Registration");
    Answer(warning, "OK");
    EXPECT_TRUE(IsWindowVisible(dlg)); // the list stays open
    UiSelect(dlg, IDC_ADDR_LIST, "one.more@example.com");
    UiClick(dlg, IDC_ADDR_DELETE);
    EXPECT_TRUE(UiWaitUntil([&] { return UiItems(dlg, IDC_ADDR_LIST).size() == 64; }, kWait));
    Answer(add, "OK");
    EXPECT_EQ(UiGetText(page, IDC_MAIL_SEND), sixtyFour);
    run.Press("Cancel");
    EXPECT_EQ(run.Answer(), "result=2");
}

TEST_F(FunctionPages, MailAddressBoxesRefuseTheSixtyFourthComma) {
    const std::string sixtyFour = Addresses(64); // 63 ","
    SetJob(7, {{"function id", CVariant(1L)}, {"send", CVariant(sixtyFour.c_str())}});
    CPageRun run("mail", 7);
    const HWND page = run.Page();

    // One more "," is refused and the box's text put back.
    ASSERT_TRUE(UiTypeText(page, IDC_MAIL_SEND, ","));
    CUiDialogInfo warning = WaitDialog("Warning");
    EXPECT_EQ(UiJoinTexts(warning, ""), "Over Max Number Of Registration");
    Answer(warning, "OK");
    EXPECT_TRUE(UiWaitUntil([&] { return UiGetText(page, IDC_MAIL_SEND) == sixtyFour; }, kWait));
    // Other changes pass.
    ASSERT_TRUE(UiTypeText(page, IDC_MAIL_SEND, ".uk"));
    EXPECT_TRUE(
        UiWaitUntil([&] { return UiGetText(page, IDC_MAIL_SEND) == sixtyFour + ".uk"; }, kWait));

    // The reply-to box counts its own ",".
    const std::string commas(63, ',');
    UiSetText(page, IDC_MAIL_FROM, commas.c_str());
    ASSERT_TRUE(UiTypeText(page, IDC_MAIL_FROM, ","));
    warning = WaitDialog("Warning");
    Answer(warning, "OK");
    EXPECT_TRUE(UiWaitUntil([&] { return UiGetText(page, IDC_MAIL_FROM) == commas; }, kWait));

    UiSetText(page, IDC_MAIL_FROM, "me@x.org");
    run.Press("OK");
    EXPECT_EQ(run.Answer(), "result=1");
    EXPECT_EQ(Committed(7, "send"), sixtyFour + ".uk");
}

TEST_F(FunctionPages, MailOkAsksForBothAddressesAndCancelCommitsNothing) {
    SetJob(8, {{"function id", CVariant(1L)}});
    {
        CPageRun run("mail", 8);
        const HWND page = run.Page();
        run.Press("OK");
        CUiDialogInfo error = WaitDialog("Error");
        EXPECT_EQ(UiJoinTexts(error, ""), "Input Mail Address.");
        Answer(error, "OK");
        UiSetText(page, IDC_MAIL_SEND, "to@x.org");
        run.Press("OK");
        error = WaitDialog("Error");
        EXPECT_EQ(UiJoinTexts(error, ""), "Input Reply-to Address.");
        Answer(error, "OK");
        UiSetText(page, IDC_MAIL_FROM, "me@x.org");
        // A subject longer than the box takes is refused.
        const std::string longSubject(1001, 's');
        UiSetText(page, IDC_MAIL_SUBJECT, longSubject.c_str());
        run.Press("OK");
        CUiDialogInfo warning = WaitDialog("Warning");
        EXPECT_EQ(UiJoinTexts(warning, ""), "Enter no more than 1000 characters.");
        Answer(warning, "OK");
        EXPECT_TRUE(run.FrameOpen());
        UiSetText(page, IDC_MAIL_SUBJECT, longSubject.substr(1).c_str());
        UiSetText(page, IDC_MAIL_TEXT, "Line 1\r\nLine 2");
        run.Press("OK");
        EXPECT_EQ(run.Answer(), "result=1");
    }
    EXPECT_EQ(Committed(8, "send"), "to@x.org");
    EXPECT_EQ(Committed(8, "from"), "me@x.org");
    EXPECT_EQ(Committed(8, "subject"), std::string(1000, 's'));
    EXPECT_EQ(Committed(8, "text"), "Line 1\r\nLine 2");

    CPageRun again("mail", 8);
    EXPECT_EQ(UiGetText(again.Page(), IDC_MAIL_TEXT), "Line 1\r\nLine 2");
    UiSetText(again.Page(), IDC_MAIL_SEND, "other@x.org");
    again.Press("Cancel");
    EXPECT_EQ(again.Answer(), "result=2");
    EXPECT_EQ(Committed(8, "send"), "to@x.org");
}

// The window that has the keyboard focus in the thread of hWnd.
TEST_F(FunctionPages, MailMnemonicsAndTabReachTheControlsInOrder) {
    SetJob(15, {{"function id", CVariant(1L)}, {"send", CVariant("a@x.org")}});
    CPageRun run("mail", 15);
    const HWND page = run.Page();
    const HWND frame = run.Frame();
    // Alt+letter and Tab as the keyboard sends them to the focused control.
    auto alt = [&](char letter) { PostMessageA(UiFocusOf(frame), WM_SYSCHAR, letter, 1 << 29); };
    auto tab = [&] { PostMessageA(UiFocusOf(frame), WM_KEYDOWN, VK_TAB, 0); };
    auto focusIs = [&](HWND dlg, int id) {
        return UiWaitUntil([&] { return UiFocusOf(frame) == GetDlgItem(dlg, id); }, kWait);
    };
    const std::pair<char, int> mnemonics[] = {
        {'x', IDC_MAIL_TEXT}, {'p', IDC_MAIL_FROM}, {'u', IDC_MAIL_SUBJECT}, {'r', IDC_MAIL_SEND}};
    for (auto [letter, id] : mnemonics) {
        alt(letter);
        EXPECT_TRUE(focusIs(page, id)) << "Alt+" << letter;
    }
    for (int id : {IDC_MAIL_ADD, IDC_MAIL_FROM, IDC_MAIL_SUBJECT, IDC_MAIL_TEXT}) {
        tab();
        EXPECT_TRUE(focusIs(page, id)) << "Tab to " << id;
    }
    // Alt+A presses "Add..."; in the list dialog Alt+R and Alt+E reach the
    // list and the add box.
    alt('a');
    CUiDialogInfo add = WaitDialog("Add");
    alt('r');
    EXPECT_TRUE(focusIs(add.m_hWnd, IDC_ADDR_LIST)) << "Alt+R";
    alt('e');
    EXPECT_TRUE(focusIs(add.m_hWnd, IDC_ADDR_EDIT)) << "Alt+E";
    tab();
    EXPECT_TRUE(focusIs(add.m_hWnd, IDC_ADDR_ADD)) << "Tab to Add";
    Answer(add, "Cancel");
    run.Press("Cancel");
    EXPECT_EQ(run.Answer(), "result=2");
}

// In the New/Editing dialog the mail page stands under the save page; OK
// asks for its addresses there too, and commits both pages' values.
TEST_F(FunctionPages, MailPageInTheNewEditingDialogAsksForItsAddressesAtOk) {
    SetJob(19, {{"function id", CVariant(1L)},
                {"title", CVariant("Mail")},
                {"driver", DriverSettings()},
                {"save", CVariant(1L)},
                {"mypicture", CVariant(0L)},
                {"save_path", CVariant(m_folder.c_str())},
                {"filename", CVariant("scan")},
                {"filetype", CVariant(2L)}});
    CPageRun run("edit", 19, "New/Editing");
    const HWND page = run.PageWith(IDC_MAIL_SEND);
    ASSERT_TRUE(page != nullptr);
    auto ok = [&] { PostMessageA(run.Frame(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0); };
    ok();
    CUiDialogInfo error = WaitDialog("Error");
    EXPECT_EQ(UiJoinTexts(error, ""), "Input Mail Address.");
    Answer(error, "OK");
    UiSetText(page, IDC_MAIL_SEND, "to@x.org,cc@y.org");
    ok();
    error = WaitDialog("Error");
    EXPECT_EQ(UiJoinTexts(error, ""), "Input Reply-to Address.");
    Answer(error, "OK");
    UiSetText(page, IDC_MAIL_FROM, "me@x.org");
    UiSetText(page, IDC_MAIL_SUBJECT, "Scans");
    ok();
    EXPECT_EQ(run.Answer(), "result=1");
    CComPtr<IJobData> job = Committed(19);
    EXPECT_EQ(JobGetString(job, "send"), "to@x.org,cc@y.org");
    EXPECT_EQ(JobGetString(job, "from"), "me@x.org");
    EXPECT_EQ(JobGetString(job, "subject"), "Scans");
    EXPECT_EQ(JobGetString(job, "filename"), "scan");
}

// A mail page of a job with another function starts empty.
TEST_F(FunctionPages, PagesOfAnotherFunctionStartEmpty) {
    SetJob(9, {{"function id", CVariant(0L)},
               {"send", CVariant("a@x.org")},
               {"app path", CVariant("C:\\x.exe")}});
    for (const char* kind : {"mail", "app", "print"}) {
        CPageRun run(kind, 9);
        EXPECT_EQ(UiGetText(run.Page(), IDC_MAIL_SEND), "");
        EXPECT_EQ(UiGetText(run.Page(), IDC_APP_PATH), "");
        EXPECT_EQ(UiGetText(run.Page(), IDC_PRINT_PRINTER_NAME), "");
        run.Press("Cancel");
        EXPECT_EQ(run.Answer(), "result=2") << kind;
    }
    EXPECT_EQ(JobGetValue(Committed(9), "devname").vt, VT_EMPTY);
}

// ---- print page ---------------------------------------------------------------

TEST_F(FunctionPages, NewPrintJobGetsTheDefaultPrinter) {
    const std::string name = DefaultPrinter();
    ASSERT_FALSE(name.empty()) << "the prefix has no default printer";
    SetJob(10, {{"function id", CVariant(2L)}});
    {
        // Shown at once; Cancel keeps it out of the store.
        CPageRun run("print", 10);
        EXPECT_EQ(UiGetText(run.Page(), IDC_PRINT_PRINTER_NAME), name);
        EXPECT_EQ(UiGetCheck(run.Page(), IDC_PRINT_ACTUAL), BST_CHECKED);
        run.Press("Cancel");
        EXPECT_EQ(run.Answer(), "result=2");
        EXPECT_EQ(JobGetValue(Committed(10), "devname").vt, VT_EMPTY);
    }
    CPageRun run("print", 10);
    run.Press("OK");
    EXPECT_EQ(run.Answer(), "result=1");
    CComPtr<IJobData> job = Committed(10);
    ExpectPrinter(job, name);
    EXPECT_EQ(JobGetLong(job, "printsize"), 0);
}

TEST_F(FunctionPages, PrintPageFollowsTheSystemsDefaultPrinterAndSavesWithoutOne) {
    ASSERT_TRUE(SetDefaultPrinterA(printtest::kSmallPrinter));
    SetJob(18, {{"function id", CVariant(2L)}});
    {
        CPageRun run("print", 18);
        EXPECT_EQ(UiGetText(run.Page(), IDC_PRINT_PRINTER_NAME), printtest::kSmallPrinter);
        run.Press("Cancel");
        EXPECT_EQ(run.Answer(), "result=2");
    }
    // Without any default printer the page shows none and the job is saved
    // without one (the runner tells at its start).
    ASSERT_TRUE(printtest::RemoveDefaultPrinter());
    CPageRun run("print", 18);
    EXPECT_EQ(UiGetText(run.Page(), IDC_PRINT_PRINTER_NAME), "");
    UiClick(run.Page(), IDC_PRINT_FIT);
    EXPECT_TRUE(
        UiWaitUntil([&] { return UiGetCheck(run.Page(), IDC_PRINT_FIT) == BST_CHECKED; }, kWait));
    run.Press("OK");
    EXPECT_EQ(run.Answer(), "result=1");
    CComPtr<IJobData> job = Committed(18);
    EXPECT_EQ(JobGetValue(job, "devname").vt, VT_EMPTY);
    EXPECT_EQ(JobGetLong(job, "printsize"), 1);
}

TEST_F(FunctionPages, PrintDialogIsPreparedFromTheJobAndWritesTheChosenPrinterBack) {
    const char* small = printtest::kSmallPrinter;
    SetJob(11, {{"function id", CVariant(2L)}});
    {
        CPageRun run("print", 11);
        const HWND page = run.Page();
        ASSERT_TRUE(UiClick(page, IDC_PRINT_SETTING));
        CUiDialogInfo print = WaitDialog("Print");
        EXPECT_FALSE(UiIsVisible(print.m_hWnd, kPrintToFileBox));
        ASSERT_TRUE(UiSelect(print.m_hWnd, kPrinterCombo, small))
            << "printers: " << UiItems(print.m_hWnd, kPrinterCombo).size();
        Answer(print, "OK");
        EXPECT_TRUE(
            UiWaitUntil([&] { return UiGetText(page, IDC_PRINT_PRINTER_NAME) == small; }, kWait));
        UiClick(page, IDC_PRINT_FIT);
        EXPECT_TRUE(
            UiWaitUntil([&] { return UiGetCheck(page, IDC_PRINT_FIT) == BST_CHECKED; }, kWait));
        run.Press("OK");
        EXPECT_EQ(run.Answer(), "result=1");
    }
    CComPtr<IJobData> job = Committed(11);
    ExpectPrinter(job, small);
    EXPECT_EQ(JobGetLong(job, "printsize"), 1);
    const std::vector<uint8_t> storedMode = Block(job, "devmode");

    // Next time the page and the dialog start from the job; Cancel in the
    // dialog changes nothing.
    CPageRun run("print", 11);
    const HWND page = run.Page();
    EXPECT_EQ(UiGetText(page, IDC_PRINT_PRINTER_NAME), small);
    EXPECT_EQ(UiGetCheck(page, IDC_PRINT_FIT), BST_CHECKED);
    ASSERT_TRUE(UiClick(page, IDC_PRINT_SETTING));
    CUiDialogInfo print = WaitDialog("Print");
    const std::vector<std::string> printers = UiItems(print.m_hWnd, kPrinterCombo);
    const int selected = UiSelectedIndex(print.m_hWnd, kPrinterCombo);
    ASSERT_GE(selected, 0);
    EXPECT_EQ(printers[selected], small);
    Answer(print, "Cancel");
    EXPECT_EQ(UiGetText(page, IDC_PRINT_PRINTER_NAME), small);
    run.Press("OK");
    EXPECT_EQ(run.Answer(), "result=1");
    EXPECT_EQ(Block(Committed(11), "devmode"), storedMode);
}

// In the New/Editing dialog a print page made when the user picks "Print"
// was not loaded from the job: it shows no printer, and OK stores the
// default printer with the job.
TEST_F(FunctionPages, PrintPickedInTheNewEditingDialogGetsTheDefaultPrinterAtOk) {
    const std::string name = DefaultPrinter();
    ASSERT_FALSE(name.empty()) << "the prefix has no default printer";
    SetJob(14, {{"function id", CVariant(5L)},
                {"title", CVariant("Printing")},
                {"driver", DriverSettings()}});
    CPageRun run("edit", 14, "New/Editing");
    ASSERT_TRUE(UiSelect(run.Frame(), IDC_JOBEDIT_FUNCTION, "Print"));
    HWND page = nullptr;
    ASSERT_TRUE(
        UiWaitUntil([&] { return (page = run.PageWith(IDC_PRINT_SETTING)) != nullptr; }, kWait));
    EXPECT_EQ(UiGetText(page, IDC_PRINT_PRINTER_NAME), "");
    EXPECT_EQ(UiGetCheck(page, IDC_PRINT_ACTUAL), BST_CHECKED);
    PostMessageA(run.Frame(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    EXPECT_EQ(run.Answer(), "result=1");
    CComPtr<IJobData> job = Committed(14);
    EXPECT_EQ(JobGetLong(job, "function id"), 2);
    ExpectPrinter(job, name);
    EXPECT_EQ(JobGetLong(job, "printsize"), 0);
}

TEST_F(FunctionPages, PrintPickedInTheNewEditingDialogKeepsThePrinterChosenThereUntilOk) {
    const char* small = printtest::kSmallPrinter;
    SetJob(16, {{"function id", CVariant(5L)},
                {"title", CVariant("Printing")},
                {"driver", DriverSettings()}});
    CPageRun run("edit", 16, "New/Editing");
    ASSERT_TRUE(UiSelect(run.Frame(), IDC_JOBEDIT_FUNCTION, "Print"));
    HWND page = nullptr;
    ASSERT_TRUE(
        UiWaitUntil([&] { return (page = run.PageWith(IDC_PRINT_SETTING)) != nullptr; }, kWait));
    ASSERT_TRUE(UiClick(page, IDC_PRINT_SETTING));
    CUiDialogInfo print = WaitDialog("Print");
    ASSERT_TRUE(UiSelect(print.m_hWnd, kPrinterCombo, small));
    Answer(print, "OK");
    EXPECT_TRUE(
        UiWaitUntil([&] { return UiGetText(page, IDC_PRINT_PRINTER_NAME) == small; }, kWait));
    // Opened again, the dialog starts from the choice.
    ASSERT_TRUE(UiClick(page, IDC_PRINT_SETTING));
    print = WaitDialog("Print");
    const int selected = UiSelectedIndex(print.m_hWnd, kPrinterCombo);
    ASSERT_GE(selected, 0);
    EXPECT_EQ(UiItems(print.m_hWnd, kPrinterCombo)[selected], small);
    Answer(print, "Cancel");
    PostMessageA(run.Frame(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    EXPECT_EQ(run.Answer(), "result=1");
    ExpectPrinter(Committed(16), small);
}

// The same through the COM class: DoModal2 of a print job without a printer
// shows the page with the default printer (its template from Plover.dll)
// and OK commits it.
TEST_F(FunctionPages, ThroughTheComClassAPrintJobWithoutPrinterGetsTheDefaultOne) {
    const std::string name = DefaultPrinter();
    ASSERT_FALSE(name.empty()) << "the prefix has no default printer";
    SetJob(17, {{"function id", CVariant(2L)},
                {"title", CVariant("Printing")},
                {"driver", DriverSettings()}});
    g_pszHostExe = "ploverctl.exe";
    {
        CPageRun run("DoModal2", 17, "New/Editing", PLOVERCTL_EXE);
        const HWND page = run.PageWith(IDC_PRINT_SETTING);
        ASSERT_TRUE(page != nullptr);
        EXPECT_EQ(UiGetText(page, IDC_PRINT_PRINTER_NAME), name);
        PostMessageA(run.Frame(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        EXPECT_EQ(run.Answer(), "hr=0x00000000");
    }
    g_pszHostExe = "dialoghost.exe";
    ExpectPrinter(Committed(17), name);
}

// The whole program as the job list tool drives it: the pages of a function
// picked in the dialog were not loaded from the job, yet the printer, format
// and access dialogs opened there start from the job's values, so that OK
// in each without a change keeps them.
TEST_F(FunctionPages, DialogsOfAFunctionPickedInTheDialogStartFromTheJob) {
    const char* small = printtest::kSmallPrinter;
    ASSERT_NE(DefaultPrinter(), small);
    StoreSetLong(m_store.m_pStore, "jpeg_CmpDlg", 1);
    ThrowIfFailed(m_store.m_pStore->Save(), IID_IJobStore);
    auto block = [](const std::vector<uint8_t>& bytes) {
        CVariant v;
        EXPECT_EQ(VlmMakeByteBlock(bytes.data(), bytes.size(), &v), S_OK);
        return v;
    };
    const std::vector<std::pair<const char*, long>> kept = {
        {"jpeg_Comp", 90},   {"tiff_MultiPage", 1}, {"tiff_Comp", 1},
        {"pdf_CompRate", 1}, {"pdf_OCRLangID", 5},  {"pdf_AddOCR", 1}};
    std::vector<std::pair<const char*, CVariant>> values = {
        {"function id", CVariant(0L)},
        {"title", CVariant("Scans")},
        {"driver", DriverSettings()},
        {"username", CVariant("carol")},
        {"password", CVariant("pw")},
        {"devmode", block(printtest::DevModeOf(small))},
        {"devname", block(printtest::DevNamesOf(small))}};
    for (const auto& [key, value] : kept)
        values.emplace_back(key, CVariant(value));
    SetJob(24, values);
    g_pszHostExe = "ploverctl.exe";
    // Picks the function; its page that holds nId.
    auto pick = [](const CPageRun& run, const char* function, int nId) {
        EXPECT_TRUE(UiSelect(run.Frame(), IDC_JOBEDIT_FUNCTION, function));
        HWND page = nullptr;
        EXPECT_TRUE(UiWaitUntil(
            [&] { return (page = UiFindPageWith(run.Frame(), nId, true)) != nullptr; }, kWait));
        return page;
    };
    auto open = [](HWND page, int nButton, const char* caption) {
        EXPECT_TRUE(UiWaitUntil([&] { return UiIsEnabled(page, nButton); }, kWait));
        UiClick(page, nButton);
        Answer(WaitDialog(caption), "OK");
    };
    auto commit = [](CPageRun& run) {
        PostMessageA(run.Frame(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        EXPECT_EQ(run.Answer(), "hr=0x00000000");
    };
    {
        CPageRun run("DoModal", 24, "New/Editing", PLOVERCTL_EXE);
        open(pick(run, "Print", IDC_PRINT_SETTING), IDC_PRINT_SETTING, "Print");
        commit(run);
    }
    ExpectPrinter(Committed(24), small);
    {
        CPageRun run("DoModal", 24, "New/Editing", PLOVERCTL_EXE);
        const HWND page = pick(run, "Attach to E-mail", IDC_SAVE_FORMAT_SETTING);
        ASSERT_NE(page, nullptr);
        for (auto [type, caption] : {std::pair{"JPEG", "JPEG File Setting"},
                                     {"TIFF", "TIFF setting"},
                                     {"PDF", "PDF setting"}}) {
            EXPECT_TRUE(UiSelect(page, IDC_SAVE_FILETYPE, type));
            open(page, IDC_SAVE_FORMAT_SETTING, caption);
        }
        UiClick(page, IDC_SAVE_MYPICTURE); // the access setting is a folder's
        open(page, IDC_SAVE_ACCESS, "Access setting");
        UiClick(page, IDC_SAVE_MYPICTURE);
        EXPECT_TRUE(UiWaitUntil([&] { return !UiIsEnabled(page, IDC_SAVE_ACCESS); }, kWait));
        commit(run);
    }
    g_pszHostExe = "dialoghost.exe";
    CComPtr<IJobData> job = Committed(24);
    EXPECT_EQ(JobGetLong(job, "function id"), 4);
    for (const auto& [key, value] : kept)
        EXPECT_EQ(JobGetLong(job, key), value) << key;
    EXPECT_EQ(JobGetString(job, "username"), "carol");
    EXPECT_EQ(JobGetString(job, "password"), "pw");
    ExpectPrinter(job, small);
}

// ---- application page -----------------------------------------------------------

TEST_F(FunctionPages, AppPathOver260IsRefusedClearEmptiesAndAnEmptyPathSaves) {
    SetJob(12, {{"function id", CVariant(3L)}, {"app path", CVariant("C:\\Tools\\viewer.exe")}});
    {
        CPageRun run("app", 12);
        const HWND page = run.Page();
        EXPECT_EQ(UiGetText(page, IDC_APP_PATH), "C:\\Tools\\viewer.exe");
        UiClick(page, IDC_APP_CLEAR);
        EXPECT_TRUE(UiWaitUntil([&] { return UiGetText(page, IDC_APP_PATH).empty(); }, kWait));
        run.Press("OK");
        EXPECT_EQ(run.Answer(), "result=1");
        EXPECT_EQ(Committed(12, "app path"), "");
    }
    const std::string path260 = "C:\\" + std::string(251, 'a') + "\\b.exe";
    ASSERT_EQ(path260.size(), 260u);
    CPageRun run("app", 12);
    const HWND page = run.Page();
    UiSetText(page, IDC_APP_PATH, (path260 + "x").c_str());
    run.Press("OK");
    CUiDialogInfo warning = WaitDialog("Warning");
    EXPECT_EQ(UiJoinTexts(warning, ""), "Enter no more than 260 characters.");
    Answer(warning, "OK");
    EXPECT_TRUE(run.FrameOpen());
    UiSetText(page, IDC_APP_PATH, path260.c_str());
    run.Press("OK");
    EXPECT_EQ(run.Answer(), "result=1");
    EXPECT_EQ(Committed(12, "app path"), path260);
}

TEST_F(FunctionPages, AppSettingPutsTheChosenProgramIntoTheBox) {
    SetJob(13, {{"function id", CVariant(3L)}});
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, MAX_PATH);
    const std::string notepad = std::string(windows) + "\\notepad.exe";
    CPageRun run("app", 13);
    const HWND page = run.Page();
    ASSERT_TRUE(UiClick(page, IDC_APP_SETTING));
    CUiDialogInfo open = WaitDialog("Please select the application to use.");
    // The file name box: a combo box in the newer form of the dialog.
    ASSERT_TRUE(UiSetText(open.m_hWnd, kFileNameCombo, notepad.c_str()) ||
                UiSetText(open.m_hWnd, kFileNameEdit, notepad.c_str()));
    ASSERT_TRUE(UiClick(open.m_hWnd, IDOK));
    ASSERT_TRUE(UiWaitGone(open.m_hWnd, kWait));
    EXPECT_TRUE(UiWaitUntil(
        [&] { return _stricmp(UiGetText(page, IDC_APP_PATH).c_str(), notepad.c_str()) == 0; },
        kWait))
        << UiGetText(page, IDC_APP_PATH);
    run.Press("OK");
    EXPECT_EQ(run.Answer(), "result=1");
    EXPECT_EQ(_stricmp(Committed(13, "app path").c_str(), notepad.c_str()), 0);
}

} // namespace
