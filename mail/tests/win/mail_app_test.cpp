// "Attach to E-mail" under Wine: the default-client, Notes-version and
// bitness registry tests, the Notes route through a test library, and the
// Simple MAPI and helper routes through Quill Mail, whose compose window a UI
// robot answers; the outbox message must carry the files. The helper built
// for this machine's runner is 32-bit and cannot start here: its 64-bit build
// stands in for it, or a recorder of its command line.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "QuillOutbox.h"
#include "mail/win/MailApp.h"
#include "uirobot.h"

using namespace vlm::mail;
using quilltest::Attachment;
using quilltest::Messages;
using quilltest::ReadAll;

namespace {
// Build folders as Windows paths (the build tree is seen through Z:).
std::string WinPath(std::string p) {
    for (auto& c : p)
        if (c == '/')
            c = '\\';
    return p.size() > 1 && p[1] == ':' ? p : "Z:" + p;
}

void SetDefault(HKEY root, const char* key, const char* value, const char* name = nullptr,
                REGSAM view = 0) {
    CRegKey k;
    ASSERT_EQ(k.Create(root, key, KEY_READ | KEY_WRITE | view), ERROR_SUCCESS) << key;
    k.SetString(name, value);
}

// Removes HKLM\SOFTWARE\<sub> from both registry views.
void DeleteMachineTree(const char* sub) {
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        CRegKey software;
        if (software.Open(HKEY_LOCAL_MACHINE, "SOFTWARE", KEY_ALL_ACCESS | view) == ERROR_SUCCESS)
            ::RegDeleteTreeA(software, sub);
    }
}

std::string TempFolder(const std::string& name) {
    char dir[MAX_PATH];
    ::GetTempPathA(MAX_PATH, dir);
    const std::string path = std::string(dir) + name;
    ::CreateDirectoryA(path.c_str(), nullptr);
    return path;
}

std::string WriteFile(const std::string& path, const std::string& data) {
    std::ofstream(path, std::ios::binary) << data;
    return path;
}

struct CLog : IMapiLog {
    std::vector<std::string> lines;
    void OnMapiLog(const std::string& line) override { lines.push_back(line); }
};

// Every registry key the tests touch starts and ends absent.
class MailApp : public ::testing::Test {
protected:
    void SetUp() override { Clean(); }
    void TearDown() override { Clean(); }
    static void Clean() {
        ::RegDeleteTreeA(HKEY_CURRENT_USER, "SOFTWARE\\Clients\\Mail");
        DeleteMachineTree("Clients\\Mail");
        DeleteMachineTree("Microsoft\\Office\\16.0");
        DeleteMachineTree("Microsoft\\Office\\15.0");
        DeleteMachineTree("MICROSOFT\\WINDOWS\\CURRENTVERSION\\APP PATHS\\NOTES.EXE");
        DeleteMachineTree("Lotus");
        ::RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Quill Mail");
    }
    // Quill Mail as the mail client named client, registered in the registry
    // view of the bitness given, its outbox a fresh folder.
    std::string UseQuill(const char* client, REGSAM view = KEY_WOW64_64KEY) {
        SetDefault(HKEY_LOCAL_MACHINE, "SOFTWARE\\Clients\\Mail", client);
        const std::string key = std::string("SOFTWARE\\Clients\\Mail\\") + client;
        SetDefault(HKEY_LOCAL_MACHINE, key.c_str(),
                   (WinPath(VLM_QUILL_DIR) + "\\QuillMAPI.dll").c_str(), "DLLPath", view);
        const std::string outbox =
            TempFolder("vlm_quill_outbox_" + std::to_string(::GetTickCount()));
        SetDefault(HKEY_CURRENT_USER, "Software\\Quill Mail", outbox.c_str(), "Outbox");
        return outbox;
    }
    // Presses button in Quill's compose window of the given program.
    static std::thread Answer(const char* button, const char* exe = nullptr) {
        return std::thread([button, exe] {
            CUiFindOptions o;
            if (exe)
                o.m_strExeName = exe;
            else
                o.m_dwProcessId = ::GetCurrentProcessId();
            o.m_strCaption = "New Message - Quill Mail";
            CUiDialogInfo d;
            if (UiWaitForDialog(o, 120000, d))
                UiPressButton(d, button);
        });
    }
};

} // namespace

TEST_F(MailApp, DefaultClientAndWhatTheRegistrySaysOfItsBitness) {
    const std::string folder = TempFolder("vlm_rpx_folder");
    ::DeleteFileA((folder + "\\RPXMailList.txt").c_str());
    EXPECT_EQ(DefaultMailClient(), "");
    EXPECT_EQ(MailClientBits(CHarvMail::ReadClientFacts(folder)), kMailBitsNone);
    SetDefault(HKEY_LOCAL_MACHINE, "SOFTWARE\\Clients\\Mail", "Microsoft Outlook");
    EXPECT_EQ(DefaultMailClient(), "Microsoft Outlook");
    SetDefault(HKEY_CURRENT_USER, "SOFTWARE\\Clients\\Mail", "Quill Mail");
    EXPECT_EQ(DefaultMailClient(), "Quill Mail") << "the user's choice comes first";
    ::RegDeleteTreeA(HKEY_CURRENT_USER, "SOFTWARE\\Clients\\Mail");

    // The library's registration, view by view.
    const char* const outlookKey = "SOFTWARE\\Clients\\Mail\\Microsoft Outlook";
    SetDefault(HKEY_LOCAL_MACHINE, outlookKey, "olmapi32.dll", "DLLPathEx", KEY_WOW64_32KEY);
    EXPECT_EQ(CHarvMail::ReadClientFacts(folder).registered, unsigned(kMailBits32));
    SetDefault(HKEY_LOCAL_MACHINE, outlookKey, "mapi.dll", "DLLPath", KEY_WOW64_64KEY);
    EXPECT_EQ(CHarvMail::ReadClientFacts(folder).registered, unsigned(kMailBits32 | kMailBits64));

    // Outlook: the first "Bitness" found decides, the 64-bit view first.
    EXPECT_EQ(OutlookBits(), kMailBitsNone);
    SetDefault(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Office\\16.0\\Outlook", "x86", "Bitness",
               KEY_WOW64_32KEY);
    EXPECT_EQ(OutlookBits(), kMailBits32);
    EXPECT_EQ(ChooseMailRoute(CHarvMail::ReadClientFacts(folder), kProcessMailBits),
              MailRoute::Helper);
    SetDefault(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Office\\15.0\\Outlook", "", "Bitness");
    SetDefault(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Office\\16.0\\Outlook", "x64", "Bitness");
    EXPECT_EQ(OutlookBits(), kMailBits64);
    EXPECT_EQ(ChooseMailRoute(CHarvMail::ReadClientFacts(folder), kProcessMailBits),
              MailRoute::InProcess);

    // The list file's sections, compared without regard to case.
    SetDefault(HKEY_LOCAL_MACHINE, "SOFTWARE\\Clients\\Mail", "Some 64-bit Mailer");
    EXPECT_FALSE(CHarvMail::ReadClientFacts(folder).listed);
    WriteFile(folder + "\\RPXMailList.txt", "[Other]\r\n[some 64-BIT mailer]\r\nx=1\r\n");
    EXPECT_TRUE(CHarvMail::ReadClientFacts(folder).listed);
    ::DeleteFileA((folder + "\\RPXMailList.txt").c_str());

    // Notes: its own key, view by view.
    SetDefault(HKEY_LOCAL_MACHINE, "SOFTWARE\\Clients\\Mail", "Lotus Notes");
    EXPECT_EQ(CHarvMail::ReadClientFacts(folder).notesInstalled, kMailBitsNone);
    SetDefault(HKEY_LOCAL_MACHINE, "SOFTWARE\\Lotus\\Notes\\8.5", "x", "v", KEY_WOW64_32KEY);
    EXPECT_EQ(CHarvMail::ReadClientFacts(folder).notesInstalled, unsigned(kMailBits32));
}

TEST_F(MailApp, NotesNewerThanSixUsesItsLibraryAndExactlySixUsesSimpleMapi) {
    const std::string notesDir = WinPath(VLM_SMI_DIR);
    SetDefault(HKEY_LOCAL_MACHINE, "SOFTWARE\\Clients\\Mail", "lotus notes");
    CHarvMail choice;
    choice.Make();
    EXPECT_TRUE(choice.IsNotes()) << "no App Paths entry counts as newer";
    SetDefault(HKEY_LOCAL_MACHINE,
               "SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\APP PATHS\\NOTES.EXE",
               (notesDir + "\\notes.exe").c_str());
    SetDefault(HKEY_LOCAL_MACHINE, "SOFTWARE\\Lotus\\Notes\\5.0", "x", "v");
    SetDefault(HKEY_LOCAL_MACHINE, "SOFTWARE\\Lotus\\Notes\\6.0", "x", "v");
    EXPECT_FALSE(IsNotesNewerThan6());
    choice.Make();
    EXPECT_FALSE(choice.IsNotes()) << "Notes 6 goes through Simple MAPI";
    SetDefault(HKEY_LOCAL_MACHINE, "SOFTWARE\\Lotus\\Notes\\8.5", "x", "v");
    EXPECT_TRUE(IsNotesNewerThan6());

    // The whole hand-off through the test library in the Notes folder.
    const std::string work = TempFolder("vlm_notes_job");
    const std::string log = work + "\\smi.log";
    ::DeleteFileA(log.c_str());
    ::SetEnvironmentVariableA("VLM_SMI_LOG", log.c_str());
    ::SetEnvironmentVariableA("VLM_SMI_AGAIN", "1");
    const std::vector<std::string> files = {WriteFile(work + "\\a_001.pdf", "pdf"),
                                            WriteFile(work + "\\b_002.pdf", "pdf2")};
    char before[MAX_PATH];
    ::GetCurrentDirectoryA(MAX_PATH, before);
    MapiJobInput in{files, 1 << 20, WinPath(VLM_RPX_DIR), nullptr};
    CLog l;
    std::string message;
    EXPECT_TRUE(ScanToMapi(in, l, message)) << message;
    char after[MAX_PATH];
    ::GetCurrentDirectoryA(MAX_PATH, after);
    EXPECT_STREQ(before, after) << "Logoff changes back to the saved folder";
    const std::string once = "SMISendMail count=2 to= subject= ui=1\n" + files[0] +
                             "|a_001.pdf|0\n" + files[1] + "|b_002.pdf|0\n";
    // The test log-on sends nothing; the send is called again once after "1".
    EXPECT_EQ(ReadAll(log), once + once);
}

TEST_F(MailApp, MailSizeRefusesBeforeAnyMailApplicationIsTouched) {
    const std::string outbox = UseQuill("Quill Mail");
    const std::string work = TempFolder("vlm_size_job");
    MapiJobInput in{{WriteFile(work + "\\big.pdf", std::string(5000, 'x'))},
                    4999,
                    WinPath(VLM_RPX_DIR),
                    nullptr};
    CLog l;
    std::string message;
    EXPECT_FALSE(ScanToMapi(in, l, message));
    EXPECT_EQ(message, "File size too large.");
    in.mailSize = 0; // a store without "MailSize": a limit of 0 bytes, no exception
    EXPECT_FALSE(ScanToMapi(in, l, message));
    EXPECT_EQ(message, "File size too large.");
    EXPECT_TRUE(Messages(outbox).empty());
}

TEST_F(MailApp, SimpleMapiRouteSendAndCancelInQuillMail) {
    const std::string outbox = UseQuill("Quill Mail");
    const std::string work = TempFolder("vlm_mapi_job");
    std::string page(3000, '\0');
    for (size_t i = 0; i < page.size(); ++i)
        page[i] = char(i * 31);
    const std::vector<std::string> files = {WriteFile(work + "\\scan_0001.jpg", page),
                                            WriteFile(work + "\\scan_0002.jpg", "second")};
    MapiJobInput in{files, 1 << 20, WinPath(VLM_RPX_DIR), nullptr};
    CLog l;
    std::string message;
    {
        std::thread robot = Answer("Send");
        EXPECT_TRUE(ScanToMapi(in, l, message)) << message;
        robot.join();
    }
    const auto sent = Messages(outbox);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(Attachment(sent[0], "scan_0001.jpg"), page);
    EXPECT_EQ(Attachment(sent[0], "scan_0002.jpg"), "second");
    {
        std::thread robot = Answer("Cancel");
        EXPECT_FALSE(ScanToMapi(in, l, message));
        robot.join();
    }
    EXPECT_EQ(message, "Canceled to send mail or Failed to send mail");
    EXPECT_EQ(Messages(outbox).size(), 1u);

    ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Clients\\Mail\\Quill Mail");
    SetDefault(HKEY_LOCAL_MACHINE, "SOFTWARE\\Clients\\Mail", "Quill Mail");
}

TEST_F(MailApp, A32BitOutlookGoesThroughTheHelperWhichHandsTheFilesOn) {
    // "Microsoft Outlook" here is Quill Mail's library under that name; its
    // "Bitness" says 32-bit, and the helper's 64-bit build, standing in for
    // the 32-bit one, reaches the library through the 64-bit registration.
    const std::string outbox = UseQuill("Microsoft Outlook");
    SetDefault(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Office\\16.0\\Outlook", "x86", "Bitness",
               KEY_WOW64_32KEY);
    const std::string work = TempFolder("vlm_rpx_job");
    const std::vector<std::string> files = {WriteFile(work + "\\page one.pdf", "one"),
                                            WriteFile(work + "\\page two.pdf", "two")};
    MapiJobInput in{files, 1 << 20, WinPath(VLM_RPX_DIR), nullptr};
    CLog l;
    std::string message;
    std::thread robot = Answer("Send", "RPXMail.exe");
    EXPECT_TRUE(ScanToMapi(in, l, message)) << message;
    robot.join();
    EXPECT_EQ(l.lines, (std::vector<std::string>{
                           "Mail client \"Microsoft Outlook\" 32-bit, runner 64-bit: RPXMail.exe",
                           "MAPI 64 start"}));
    const auto sent = Messages(outbox);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(Attachment(sent[0], "page one.pdf"), "one");
    EXPECT_EQ(Attachment(sent[0], "page two.pdf"), "two");
}

// A mail program registered only in the 32-bit view is handed to the helper
// beside the runner (a recorder of its command line here); one registered in
// the 64-bit view is driven in process.
TEST_F(MailApp, The32BitClientGoesToTheHelperAndThe64BitOneStaysInProcess) {
    const std::string outbox = UseQuill("Quill Mail", KEY_WOW64_32KEY);
    const std::string folder = TempFolder("vlm_rpx32_" + std::to_string(::GetTickCount()));
    ASSERT_TRUE(
        ::CopyFileA(WinPath(VLM_RECORDER).c_str(), (folder + "\\RPXMail.exe").c_str(), FALSE));
    const std::string work = TempFolder("vlm_rpx32_job");
    const std::vector<std::string> files = {WriteFile(work + "\\a 1.jpg", "a"),
                                            WriteFile(work + "\\b.jpg", "b")};
    MapiJobInput in{files, 1 << 20, folder, nullptr};
    CLog l;
    std::string message;
    EXPECT_TRUE(ScanToMapi(in, l, message)) << message;
    EXPECT_EQ(l.lines, (std::vector<std::string>{
                           "Mail client \"Quill Mail\" 32-bit, runner 64-bit: RPXMail.exe",
                           "MAPI 64 start"}));
    const std::string recorded = ReadAll(folder + "\\cmdlines.txt");
    EXPECT_NE(recorded.find(" start \"" + files[0] + "\" \"" + files[1] + "\"\n"),
              std::string::npos)
        << recorded;
    EXPECT_TRUE(Messages(outbox).empty()) << "nothing was tried in process";

    Clean();
    const std::string outbox64 = UseQuill("Quill Mail", KEY_WOW64_64KEY);
    l.lines.clear();
    std::thread robot = Answer("Send");
    EXPECT_TRUE(ScanToMapi(in, l, message)) << message;
    robot.join();
    EXPECT_EQ(l.lines, std::vector<std::string>{
                           "Mail client \"Quill Mail\" 64-bit, runner 64-bit: in process"});
    const auto sent = Messages(outbox64);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(Attachment(sent[0], "a 1.jpg"), "a");
    EXPECT_EQ(Attachment(sent[0], "b.jpg"), "b");
}

TEST_F(MailApp, QuillMailRegistersItselfAsTheDefaultClient) {
    auto run = [](const char* arg) {
        std::string cmd = "\"" + WinPath(VLM_QUILL_DIR) + "\\quillmail.exe\" " + arg;
        STARTUPINFOA si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        if (!::CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &si, &pi))
            return DWORD(-1);
        ::WaitForSingleObject(pi.hProcess, 120000);
        DWORD code = DWORD(-1);
        ::GetExitCodeProcess(pi.hProcess, &code);
        ::CloseHandle(pi.hProcess);
        ::CloseHandle(pi.hThread);
        return code;
    };
    ASSERT_EQ(run("/register"), 0u);
    EXPECT_EQ(DefaultMailClient(), "Quill Mail");
    CRegKey k;
    std::string dll;
    ASSERT_EQ(k.Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Clients\\Mail\\Quill Mail"), ERROR_SUCCESS);
    ASSERT_EQ(k.QueryString("DLLPath", dll), ERROR_SUCCESS);
    EXPECT_EQ(dll, WinPath(VLM_QUILL_DIR) + "\\QuillMAPI.dll");
    k.Close();
    ASSERT_EQ(run("/unregister"), 0u);
    EXPECT_EQ(DefaultMailClient(), "");
}
