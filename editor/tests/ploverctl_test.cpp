// The editor's methods as its client calls them: ploverctl.exe creates the
// job store and a JobRegGUI object through COM and calls one method; the UI
// robot reads and answers the boxes the method shows; the run log is read
// from the user's temporary folder.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "framework/Handles.h"
#include "runner/tests/ProcessDriver.h"
#include "uirobot.h"

using namespace kestreltest;

namespace {

const DWORD kDeadlineMs = 60000;
const char kProfileKey[] = "Software\\Velmora Works Inc.\\VX-410 Taskdeck Registrar";

std::string TempFolder() {
    char buf[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, buf);
    return buf;
}

bool FileExists(const std::string& path) {
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The text lines of a run log, without the time and thread prefix.
std::vector<std::string> LogTexts(const std::string& path) {
    std::vector<std::string> out;
    std::istringstream in(ReadFileText(path));
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const size_t end = line.find("]  ");
        out.push_back(end == std::string::npos ? line : line.substr(end + 3));
    }
    return out;
}

// One run of ploverctl.exe with its output in a file.
class CCtlRun {
public:
    CCtlRun(const std::string& program, const std::string& args, const std::string& outPath)
        : m_strOut(outPath) {
        m_process.Start("\"" + program + "\" " + args, outPath);
    }
    bool Started() const { return m_process.m_nPid != 0; }

    // The first dialog of the process.
    bool WaitDialog(CUiDialogInfo& box) const {
        CUiFindOptions options;
        options.m_dwProcessId = m_process.m_nPid;
        return UiWaitForDialog(options, kDeadlineMs, box);
    }
    // Waits for the end; what the program printed, or what it still shows.
    std::string Finish() {
        if (::WaitForSingleObject(m_process.m_hProcess, kDeadlineMs) != WAIT_OBJECT_0) {
            CUiFindOptions options;
            options.m_dwProcessId = m_process.m_nPid;
            std::string shown = "still running;";
            for (const CUiDialogInfo& d : UiFindDialogs(options))
                shown += " " + UiDescribe(d);
            return shown;
        }
        std::string text = ReadFileText(m_strOut);
        for (size_t at; (at = text.find("\r\n")) != std::string::npos;)
            text.erase(at, 1);
        return text;
    }

private:
    CProcess m_process; // ended at destruction when still running
    std::string m_strOut;
};

class PloverCtlTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_strFolder = TempFolder() + "plover-" + std::to_string(::GetCurrentProcessId()) + "-" +
                      ::testing::UnitTest::GetInstance()->current_test_info()->name();
        ::CreateDirectoryA(m_strFolder.c_str(), nullptr);
        ::SetEnvironmentVariableA("TASKSTORE_DIR", m_strFolder.c_str());
        ::RegDeleteTreeA(HKEY_CURRENT_USER, kProfileKey);
    }
    void TearDown() override {
        ::RegDeleteTreeA(HKEY_CURRENT_USER, kProfileKey);
        ::SetEnvironmentVariableA("TASKSTORE_DIR", nullptr);
    }
    std::string OutPath() { return m_strFolder + "\\out" + std::to_string(++m_nRuns) + ".txt"; }
    void SetProfile(const char* name, DWORD* number, const char* text = nullptr) {
        CRegKey key;
        ASSERT_EQ(key.Create(HKEY_CURRENT_USER, (std::string(kProfileKey) + "\\General").c_str()),
                  ERROR_SUCCESS);
        if (number)
            key.SetDWORD(name, *number);
        else
            key.SetString(name, text);
    }
    // Runs a method that shows one box: checks caption and text, presses its
    // one button (OK, in the thread's language), and expects the program to
    // end with S_OK and nothing else shown.
    void ExpectOneBox(const std::string& args, const char* caption, const std::string& text,
                      bool bEnglishButton = true) {
        SCOPED_TRACE(args);
        CCtlRun run(m_strProgram, args, OutPath());
        ASSERT_TRUE(run.Started());
        CUiDialogInfo box;
        ASSERT_TRUE(run.WaitDialog(box)) << run.Finish();
        EXPECT_EQ(box.m_strCaption, caption);
        ASSERT_EQ(box.m_texts.size(), 1u) << UiDescribe(box);
        EXPECT_NE(box.m_texts[0].find(text), std::string::npos) << UiDescribe(box);
        ASSERT_EQ(box.m_buttons.size(), 1u) << UiDescribe(box);
        if (bEnglishButton) {
            EXPECT_EQ(box.m_buttons[0], "OK");
        }
        EXPECT_TRUE(UiPressButton(box, box.m_buttons[0].c_str()));
        EXPECT_EQ(run.Finish(), "hr=0x00000000\n");
    }

    // Runs a method that shows nothing and expects it to end with S_OK.
    void ExpectQuietRun(const std::string& args) {
        SCOPED_TRACE(args);
        CCtlRun run(m_strProgram, args, OutPath());
        ASSERT_TRUE(run.Started());
        EXPECT_EQ(run.Finish(), "hr=0x00000000\n");
    }
    // Switches the run log on into a fresh file named after stem; its path.
    std::string FreshLog(const char* stem) {
        DWORD on = 1;
        SetProfile("WriteLog", &on);
        const std::string name = stem + std::to_string(::GetCurrentProcessId()) + ".log";
        SetProfile("LogFileName", nullptr, name.c_str());
        const std::string log = TempFolder() + name;
        ::DeleteFileA(log.c_str());
        return log;
    }
    // The log's lines of the help method.
    static std::vector<std::string> HelpLines(const std::string& log) {
        std::vector<std::string> lines;
        for (const std::string& line : LogTexts(log))
            if (line.rfind("HelpDialog ", 0) == 0)
                lines.push_back(line);
        return lines;
    }

    std::string m_strFolder;
    std::string m_strProgram = WinPath(PLOVERCTL);
    int m_nRuns = 0;
};

TEST_F(PloverCtlTest, CopyRangesAreRefusedBeforeTheDialogOpens) {
    ExpectOneBox("CopyDialog2 3 5 5", "Error", "max<=min");
    ExpectOneBox("CopyDialog2 3 -1 5", "Error", "min<0");
    ExpectOneBox("CopyDialog3 3 7 2", "Error", "max<=min");
    ExpectOneBox("CopyDialog3 3 -2 5", "Error", "min<0");
}

TEST_F(PloverCtlTest, DialogMethodsBeforeInitializeShowTheirErrorAndSucceed) {
    ExpectOneBox("--no-init DoModal 3", "Error", "The job store is not set.");
    ExpectOneBox("--no-init ControlDialog4 0", "Error", "The job store is not set.");
    // A flag other than 0 opens nothing at all.
    ExpectQuietRun("--no-init ControlDialog4 1");
}

TEST_F(PloverCtlTest, HelpFileFollowsTheThreadLanguage) {
    const std::string log = FreshLog("plover-help-");
    const char* cases[][2] = {{"040c", "TASKDECKFR.HLP"}, {"0c0c", "TASKDECKFR.HLP"},
                              {"0809", "TASKDECKEN.HLP"}, {"0404", "TASKDECKEN.HLP"},
                              {"0411", "TASKDECKJP.HLP"}, {"0407", "TASKDECKGE.HLP"}};
    // The program's folder holds no help files: the user is told which one
    // is missing, and the log names it with the language.
    std::string folder = WinPath(PLOVERCTL);
    folder.erase(folder.rfind('\\'));
    for (const auto& c : cases)
        ExpectOneBox(std::string("--thread-locale ") + c[0] + " HelpDialog", "Help",
                     folder + "\\" + c[1], false);
    const std::vector<std::string> chosen = HelpLines(log);
    ASSERT_EQ(chosen.size(), 6u) << ReadFileText(log);
    for (size_t i = 0; i < 6; ++i)
        EXPECT_EQ(chosen[i],
                  "HelpDialog " + folder + "\\" + cases[i][1] + " (language " + cases[i][0] + ")");
    ::DeleteFileA(log.c_str());
}

// Beside a program with the compiled HTML help file of the chosen name, that
// file is tried; one that does not open leaves the user told.
TEST_F(PloverCtlTest, HelpFallsBackToTheCompiledHtmlHelpFile) {
    const std::string log = FreshLog("plover-chm-");
    const std::string program = m_strFolder + "\\ploverctl.exe";
    ASSERT_TRUE(::CopyFileA(WinPath(PLOVERCTL).c_str(), program.c_str(), FALSE));
    {
        std::ofstream chm(m_strFolder + "\\TASKDECKFR.chm", std::ios::binary);
        chm << "not a compiled help file";
    }
    m_strProgram = program;
    ExpectOneBox("--thread-locale 040c HelpDialog", "Help", m_strFolder + "\\TASKDECKFR.HLP",
                 false);
    const std::vector<std::string> expected = {"HelpDialog " + m_strFolder +
                                                   "\\TASKDECKFR.HLP (language 040c)",
                                               "HelpDialog " + m_strFolder + "\\TASKDECKFR.chm"};
    EXPECT_EQ(HelpLines(log), expected);
    ::DeleteFileA(log.c_str());
}

TEST_F(PloverCtlTest, WriteLogSwitchesTheRunLogOfInitialize) {
    const std::string defaultLog = TempFolder() + "JobRegVX-410.log";
    ::DeleteFileA(defaultLog.c_str());
    ExpectQuietRun("ControlDialog4 1");
    EXPECT_FALSE(FileExists(defaultLog)) << "WriteLog absent";
    DWORD value = 0;
    SetProfile("WriteLog", &value);
    ExpectQuietRun("ControlDialog4 1");
    EXPECT_FALSE(FileExists(defaultLog)) << "WriteLog 0";
    value = 1;
    SetProfile("WriteLog", &value);
    ExpectQuietRun("ControlDialog4 1");
    const std::string dashes(78, '-');
    const std::vector<std::string> expected = {
        dashes,
        "---------------TaskdeckRegistrar Application Start\t\t------------------------------",
        dashes, "CJobRegGUI::FinalRelease()"};
    EXPECT_EQ(LogTexts(defaultLog), expected);
    ::DeleteFileA(defaultLog.c_str());

    // "LogFileName" names the file instead.
    const std::string name = "plover-named-" + std::to_string(::GetCurrentProcessId()) + ".log";
    SetProfile("LogFileName", nullptr, name.c_str());
    ExpectQuietRun("ControlDialog4 1");
    EXPECT_EQ(LogTexts(TempFolder() + name), expected);
    EXPECT_FALSE(FileExists(defaultLog));
    ::DeleteFileA((TempFolder() + name).c_str());

    // The profile and the log's name follow the store's model.
    const char otherKey[] = "Software\\Velmora Works Inc.\\VX-420 Taskdeck Registrar";
    const std::string otherLog = TempFolder() + "JobRegVX-420.log";
    ::DeleteFileA(otherLog.c_str());
    {
        CRegKey key;
        ASSERT_EQ(key.Create(HKEY_CURRENT_USER, (std::string(otherKey) + "\\General").c_str()),
                  ERROR_SUCCESS);
        key.SetDWORD("WriteLog", 1);
    }
    ExpectQuietRun("--model VX-420 ControlDialog4 1");
    ::RegDeleteTreeA(HKEY_CURRENT_USER, otherKey);
    EXPECT_EQ(LogTexts(otherLog), expected);
    ::DeleteFileA(otherLog.c_str());
}

} // namespace
