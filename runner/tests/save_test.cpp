// Save-to-folder delivery under Wine: the copy into local folders and shares,
// the pictures folder lookup, the folder warnings against the real job store,
// and the texts and names around them.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <thread>

#include "common/JobRecord.h"
#include "common/VlmLog.h"
#include "framework/ComError.h"
#include "framework/Variant.h"
#include "ProcessDriver.h"
#include "runner/SaveToFolder.h"
#include "uirobot.h"

namespace {

std::string TempFolder() {
    char tmp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, tmp);
    return tmp;
}

std::string UniqueName(const char* stem) {
    static int s_n = 0;
    return std::string(stem) + "-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(GetTickCount()) + "-" + std::to_string(++s_n);
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary);
    f << bytes;
}

std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

using kestreltest::RemoveTree;

// The run log of this test process, one file per test.
class LoggedTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_strDir = TempFolder() + UniqueName("kestrel-save");
        ASSERT_TRUE(CreateDirectoryA(m_strDir.c_str(), nullptr));
        m_strLogName = UniqueName("kestrel-save") + ".log";
        CVlmLog::Instance().Open(m_strLogName.c_str());
    }
    void TearDown() override {
        CVlmLog::Instance().Close();
        DeleteFileA((TempFolder() + m_strLogName).c_str());
        RemoveTree(m_strDir);
    }
    // The log's texts without their time and thread prefix.
    std::vector<std::string> LogTexts() {
        std::vector<std::string> out;
        std::istringstream in(ReadFile(TempFolder() + m_strLogName));
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            const size_t p = line.find("]  ");
            out.push_back(p == std::string::npos ? line : line.substr(p + 3));
        }
        return out;
    }
    int LogCount(const std::string& text) {
        int n = 0;
        for (const std::string& l : LogTexts())
            n += l == text;
        return n;
    }
    bool LogHas(const std::string& part) {
        for (const std::string& l : LogTexts())
            if (l.find(part) != std::string::npos)
                return true;
        return false;
    }
    std::string Make(const std::string& relative) {
        const std::string path = m_strDir + "\\" + relative;
        EXPECT_TRUE(CreateDirectoryA(path.c_str(), nullptr)) << path;
        return path;
    }
    std::string m_strDir, m_strLogName;
};

// Answers the next message box of this process from a second thread while
// the test's thread is inside the call that shows it.
class CBoxAnswer {
public:
    CBoxAnswer(const char* caption, const char* button) {
        std::string c = caption, b = button;
        m_thread = std::thread([this, c, b] {
            CUiFindOptions o;
            o.m_dwProcessId = GetCurrentProcessId();
            o.m_strCaption = c;
            if (UiWaitForDialog(o, 60000, m_info))
                m_bPressed = UiPressButton(m_info, b.c_str());
        });
    }
    ~CBoxAnswer() { Join(); }
    const CUiDialogInfo& Join() {
        if (m_thread.joinable())
            m_thread.join();
        return m_info;
    }
    std::string Text() {
        Join();
        std::string t;
        for (const std::string& s : m_info.m_texts)
            t += (t.empty() ? "" : "\n") + s;
        return t;
    }
    std::atomic<bool> m_bPressed{false};

private:
    CUiDialogInfo m_info;
    std::thread m_thread;
};

struct Shown {
    std::string m_strText;
    BOOL m_bError;
};

// ---- saving ----------------------------------------------------------------

class SaveTest : public LoggedTest {
protected:
    void SetUp() override {
        LoggedTest::SetUp();
        m_strJob = Make("job");
        for (const char* name : {"a.tif", "b.tif", "c.tif"}) {
            WriteFile(m_strJob + "\\" + name, std::string("page ") + name);
            m_files.push_back(m_strJob + "\\" + name);
        }
    }
    CSaveContext Context(const std::string& folder, BOOL bScanner = FALSE) {
        CSaveContext ctx;
        ctx.m_strSaveFolder = folder;
        ctx.m_nFunctionId = 0;
        ctx.m_bStartedByScanner = bScanner;
        ctx.m_fnDispMessage = [this](const char* text, BOOL bError) {
            m_shown.push_back({text, bError});
        };
        return ctx;
    }
    std::string m_strJob;
    std::vector<std::string> m_files;
    std::vector<Shown> m_shown;
};

TEST_F(SaveTest, CopiesInListOrderOverwritingAndListsWhatWasSaved) {
    const std::string save = Make("save");
    WriteFile(save + "\\b.tif", "an older file of the same name");
    std::vector<std::string> saved{"kept from before"};
    ASSERT_TRUE(SaveToFolder(Context(save), m_files, saved));
    EXPECT_EQ(saved, (std::vector<std::string>{"kept from before", save + "\\a.tif",
                                               save + "\\b.tif", save + "\\c.tif"}));
    for (const char* name : {"a.tif", "b.tif", "c.tif"})
        EXPECT_EQ(ReadFile(save + "\\" + name), std::string("page ") + name);
    EXPECT_EQ(LogCount("CopyFile OK!"), 3);
    EXPECT_TRUE(m_shown.empty());
    // The temporary files are the session's to remove.
    EXPECT_TRUE(Exists(m_files[0]));
}

TEST_F(SaveTest, TwoTrailingBackslashesStillGiveOneBeforeTheName) {
    const std::string save = Make("save");
    std::vector<std::string> saved;
    ASSERT_TRUE(SaveToFolder(Context(save + "\\\\"), m_files, saved));
    ASSERT_EQ(saved.size(), 3u);
    EXPECT_EQ(saved[0], save + "\\a.tif");
    EXPECT_EQ(ReadFile(saved[2]), "page c.tif");
}

TEST_F(SaveTest, ACopyFailureStopsAtTheFailingFileWithTheSystemText) {
    const std::string save = Make("save");
    std::vector<std::string> files{m_files[0], m_strJob + "\\gone.tif", m_files[2]};
    std::vector<std::string> saved;
    EXPECT_FALSE(SaveToFolder(Context(save), files, saved));
    EXPECT_EQ(saved, (std::vector<std::string>{save + "\\a.tif"}));
    EXPECT_FALSE(Exists(save + "\\c.tif"));
    const std::string text = GetSystemErrorText(ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(m_shown.size(), 1u);
    EXPECT_EQ(m_shown[0].m_strText, text);
    EXPECT_TRUE(m_shown[0].m_bError);
    EXPECT_EQ(LogCount("CopyFile Failed!: " + text), 1);

    // Started by the scanner, the panel gets the short text.
    m_shown.clear();
    saved.clear();
    EXPECT_FALSE(SaveToFolder(Context(save + "\\missing", TRUE), m_files, saved));
    EXPECT_TRUE(saved.empty());
    ASSERT_EQ(m_shown.size(), 1u);
    EXPECT_EQ(m_shown[0].m_strText, "Can't access folder.");
    EXPECT_EQ(LogCount("CopyFile Failed!: " + GetSystemErrorText(ERROR_PATH_NOT_FOUND)), 1);
}

TEST_F(SaveTest, PrintJobsAndJobsWithoutAFolderCopyNothing) {
    const std::string save = Make("save");
    std::vector<std::string> saved;
    CSaveContext print = Context(save);
    print.m_nFunctionId = 2;
    EXPECT_TRUE(SaveToFolder(print, m_files, saved));
    CSaveContext none = Context("");
    EXPECT_TRUE(SaveToFolder(none, m_files, saved));
    for (long fn : {1L, 3L, 4L}) {
        CSaveContext ctx = Context(save);
        ctx.m_nFunctionId = fn;
        std::vector<std::string> one;
        EXPECT_TRUE(SaveToFolder(ctx, {m_files[0]}, one));
        EXPECT_EQ(one.size(), 1u) << fn;
    }
    EXPECT_TRUE(saved.empty());
    EXPECT_FALSE(Exists(save + "\\b.tif"));
}

// A share the prefix maps to a local folder: "\\server\share" is the
// prefix's dosdevices\unc\server\share.
class ShareTest : public SaveTest {
protected:
    void SetUp() override {
        SaveTest::SetUp();
        const char* prefix = getenv("WINEPREFIX");
        ASSERT_NE(prefix, nullptr) << "the tests run in the build's Wine prefix";
        const std::string unc =
            kestreltest::WinPath((std::string(prefix) + "/dosdevices/unc").c_str());
        CreateDirectoryA(unc.c_str(), nullptr);
        m_strServer = UniqueName("kestrelsrv");
        m_strServerDir = unc + "\\" + m_strServer;
        ASSERT_TRUE(CreateDirectoryA(m_strServerDir.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryA((m_strServerDir + "\\scans").c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryA((m_strServerDir + "\\scans\\in").c_str(), nullptr));
    }
    void TearDown() override {
        RemoveTree(m_strServerDir);
        SaveTest::TearDown();
    }
    std::string m_strServer, m_strServerDir;
};

TEST_F(ShareTest, AReachableShareGetsTheFilesEvenWhenTheConnectionCallFails) {
    const std::string folder = "\\\\" + m_strServer + "\\scans\\in\\";
    std::vector<std::string> saved;
    ASSERT_TRUE(SaveToFolder(Context(folder), m_files, saved));
    EXPECT_EQ(saved, (std::vector<std::string>{"\\\\" + m_strServer + "\\scans\\in\\a.tif",
                                               "\\\\" + m_strServer + "\\scans\\in\\b.tif",
                                               "\\\\" + m_strServer + "\\scans\\in\\c.tif"}));
    // On the share's own side of the mapping.
    EXPECT_EQ(ReadFile(m_strServerDir + "\\scans\\in\\b.tif"), "page b.tif");
    EXPECT_TRUE(m_shown.empty());
    EXPECT_EQ(LogCount("CopyFile OK!"), 3);
    // Wine has no network provider: the connection call fails, the share
    // still answers, and no connection that was never made is cancelled.
    EXPECT_EQ(LogCount("WNetAddConnection2 Failed!: " + GetSystemErrorText(ERROR_NO_NETWORK)), 1);
    EXPECT_FALSE(LogHas("WNetCancelConnection2"));
}

TEST_F(ShareTest, AnUnreachableShareFailsBeforeAnyCopyWithTheFolderText) {
    for (BOOL bScanner : {FALSE, TRUE}) {
        m_shown.clear();
        std::vector<std::string> saved;
        CSaveContext ctx = Context("\\\\" + m_strServer + "-absent\\scans", bScanner);
        ctx.m_strUser = "scanner";
        ctx.m_strPassword = "secret";
        EXPECT_FALSE(SaveToFolder(ctx, m_files, saved));
        EXPECT_TRUE(saved.empty());
        ASSERT_EQ(m_shown.size(), 1u);
        EXPECT_EQ(m_shown[0].m_strText, "Can't access folder.");
        EXPECT_TRUE(m_shown[0].m_bError);
    }
    EXPECT_EQ(LogCount("WNetAddConnection2 Failed!: " + GetSystemErrorText(ERROR_NO_NETWORK)), 2);
    EXPECT_FALSE(LogHas("CopyFile"));
}

TEST_F(ShareTest, OnAReachableShareTheCopyDecides) {
    // A folder where the second file should go: that copy fails, the first
    // stays saved, the third is never tried.
    ASSERT_TRUE(CreateDirectoryA((m_strServerDir + "\\scans\\in\\b.tif").c_str(), nullptr));
    std::vector<std::string> saved;
    const std::string folder = "\\\\" + m_strServer + "\\scans\\in";
    EXPECT_FALSE(SaveToFolder(Context(folder), m_files, saved));
    EXPECT_EQ(saved, (std::vector<std::string>{folder + "\\a.tif"}));
    EXPECT_FALSE(Exists(m_strServerDir + "\\scans\\in\\c.tif"));
    ASSERT_EQ(m_shown.size(), 1u);
    EXPECT_NE(m_shown[0].m_strText, "Can't access folder.");
    EXPECT_EQ(LogCount("CopyFile Failed!: " + m_shown[0].m_strText), 1);

    // A folder missing under a share that answers is a folder that cannot be
    // reached: the connection's text, nothing tried.
    m_shown.clear();
    saved.clear();
    EXPECT_FALSE(SaveToFolder(Context(folder + "\\nowhere"), m_files, saved));
    EXPECT_TRUE(saved.empty());
    ASSERT_EQ(m_shown.size(), 1u);
    EXPECT_EQ(m_shown[0].m_strText, "Can't access folder.");
    EXPECT_EQ(LogCount("CopyFile OK!"), 1);
}

// ---- the pictures folder ---------------------------------------------------

struct FakeShell {
    static inline std::vector<int> s_asked;
    static inline HRESULT s_hrPictures = S_OK;
    static inline HRESULT s_hrDocuments = S_OK;
    static inline std::string s_strOlder;
    static inline DWORD s_dwOlderError = 0;

    static HRESULT WINAPI GetFolderPath(HWND, int csidl, HANDLE, DWORD, LPSTR path) {
        s_asked.push_back(csidl);
        const bool pictures = (csidl & 0xFF) == CSIDL_MYPICTURES;
        const HRESULT hr = pictures ? s_hrPictures : s_hrDocuments;
        if (SUCCEEDED(hr))
            lstrcpyA(path, pictures ? "C:\\Pictures of the user" : "C:\\Documents of the user");
        return hr;
    }
    static BOOL WINAPI GetSpecialFolderPath(HWND, LPSTR path, int csidl, BOOL create) {
        s_asked.push_back(0x10000 | csidl | (create ? 0x1000 : 0));
        if (s_dwOlderError) {
            SetLastError(s_dwOlderError);
            return FALSE;
        }
        lstrcpyA(path, s_strOlder.c_str());
        return TRUE;
    }
};

class PicturesTest : public LoggedTest {
protected:
    void SetUp() override {
        LoggedTest::SetUp();
        FakeShell::s_asked.clear();
        FakeShell::s_hrPictures = S_OK;
        FakeShell::s_hrDocuments = S_OK;
        FakeShell::s_strOlder = m_strDir + "\\Documents";
        FakeShell::s_dwOlderError = 0;
        CreateDirectoryA(FakeShell::s_strOlder.c_str(), nullptr);
        m_calls.m_pfnGetFolderPath = FakeShell::GetFolderPath;
        m_calls.m_pfnGetSpecialFolderPath = FakeShell::GetSpecialFolderPath;
        m_calls.m_fnShowError = [this](const char* text) { m_errors.push_back(text); };
    }
    CShellFolderCalls m_calls;
    std::vector<std::string> m_errors;
};

TEST_F(PicturesTest, TheSystemsPicturesFolderExists) {
    char expected[MAX_PATH] = {};
    ASSERT_TRUE(SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_MYPICTURES, nullptr, 0, expected)));
    const std::string folder = GetMyPicturesFolder("VX-410");
    EXPECT_EQ(folder, expected);
    const DWORD attrs = GetFileAttributesA(folder.c_str());
    EXPECT_TRUE(attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY));
}

TEST_F(PicturesTest, PicturesThenDocumentsAsTheyAreBothCreatedWhenMissing) {
    EXPECT_EQ(GetMyPicturesFolderWith(m_calls), "C:\\Pictures of the user");
    EXPECT_EQ(FakeShell::s_asked, (std::vector<int>{CSIDL_MYPICTURES | CSIDL_FLAG_CREATE}));
    FakeShell::s_asked.clear();
    FakeShell::s_hrPictures = E_FAIL;
    EXPECT_EQ(GetMyPicturesFolderWith(m_calls), "C:\\Documents of the user");
    EXPECT_EQ(FakeShell::s_asked, (std::vector<int>{CSIDL_MYPICTURES | CSIDL_FLAG_CREATE,
                                                    CSIDL_PERSONAL | CSIDL_FLAG_CREATE}));
    EXPECT_EQ(LogCount("SHGetFolderPath err2  80004005"), 1);
    EXPECT_TRUE(m_errors.empty());
}

TEST_F(PicturesTest, TheOlderCallsDocumentsFolderGetsMyPicturesCreatedInIt) {
    FakeShell::s_hrPictures = E_FAIL;
    FakeShell::s_hrDocuments = E_ACCESSDENIED;
    const std::string expected = FakeShell::s_strOlder + "\\My Pictures";
    EXPECT_EQ(GetMyPicturesFolderWith(m_calls), expected);
    EXPECT_TRUE(Exists(expected));
    EXPECT_EQ(FakeShell::s_asked.back(), 0x10000 | CSIDL_PERSONAL | 0x1000);
    EXPECT_EQ(LogCount("SHGetFolderPath err2  80004005"), 1);
    EXPECT_EQ(LogCount("SHGetFolderPath err2  80070005"), 1);
    // Already there the second time: no error.
    EXPECT_EQ(GetMyPicturesFolderWith(m_calls), expected);
    EXPECT_TRUE(m_errors.empty());

    // A shell without the newer function goes straight to the older one.
    FakeShell::s_asked.clear();
    m_calls.m_pfnGetFolderPath = nullptr;
    m_calls.m_dwMissingError = ERROR_PROC_NOT_FOUND;
    EXPECT_EQ(GetMyPicturesFolderWith(m_calls), expected);
    EXPECT_EQ(FakeShell::s_asked.size(), 1u);
    EXPECT_EQ(LogCount("SHGetFolderPath err1  127"), 1);
}

TEST_F(PicturesTest, FailuresOfTheLastStepShowTheSystemTextAndGiveNoFolder) {
    FakeShell::s_hrPictures = FakeShell::s_hrDocuments = E_FAIL;
    FakeShell::s_dwOlderError = ERROR_ACCESS_DENIED;
    EXPECT_EQ(GetMyPicturesFolderWith(m_calls), "");
    ASSERT_EQ(m_errors.size(), 1u);
    EXPECT_EQ(m_errors[0], GetSystemErrorText(ERROR_ACCESS_DENIED));

    // The documents folder the older call names does not exist.
    FakeShell::s_dwOlderError = 0;
    FakeShell::s_strOlder = m_strDir + "\\no\\such\\documents";
    EXPECT_EQ(GetMyPicturesFolderWith(m_calls), "");
    ASSERT_EQ(m_errors.size(), 2u);
    EXPECT_EQ(m_errors[1], GetSystemErrorText(ERROR_PATH_NOT_FOUND));

    // Neither shell function: the older call's absence is reported.
    m_calls.m_pfnGetFolderPath = nullptr;
    m_calls.m_pfnGetSpecialFolderPath = nullptr;
    EXPECT_EQ(GetMyPicturesFolderWith(m_calls), "");
    ASSERT_EQ(m_errors.size(), 3u);
    EXPECT_EQ(m_errors[2], GetSystemErrorText(ERROR_PROC_NOT_FOUND));
}

TEST_F(PicturesTest, TheSystemsErrorBoxCarriesTheModelCaption) {
    CShellFolderCalls calls = SystemShellFolderCalls("VX-410 pictures");
    EXPECT_NE(calls.m_pfnGetFolderPath, nullptr);
    EXPECT_NE(calls.m_pfnGetSpecialFolderPath, nullptr);
    CBoxAnswer answer("VX-410 pictures", "OK");
    calls.m_fnShowError("Access denied.");
    EXPECT_EQ(answer.Text(), "Access denied.");
    EXPECT_TRUE(answer.m_bPressed);
}

// ---- texts, names, sizes, paths --------------------------------------------

TEST_F(LoggedTest, SystemTextsFallBackToEnglishAndThenToTheNumber) {
    EXPECT_EQ(GetSystemErrorText(ERROR_PATH_NOT_FOUND), VlmSystemMessage(3, 1033));
    EXPECT_FALSE(GetSystemErrorText(ERROR_PATH_NOT_FOUND).empty());
    // A code the system has no text for.
    EXPECT_EQ(GetSystemErrorText(0x2000F00D), "error 536932365");
    // A thread language without messages of its own still gets a text.
    const LCID before = GetThreadLocale();
    SetThreadLocale(MAKELCID(MAKELANGID(LANG_SWAHILI, SUBLANG_DEFAULT), SORT_DEFAULT));
    const std::string text = GetSystemErrorText(ERROR_PATH_NOT_FOUND);
    SetThreadLocale(before);
    EXPECT_FALSE(text.empty());
    EXPECT_NE(text, "error 3");
}

TEST_F(LoggedTest, PageNamesCarryTheLoggedTimeStamp) {
    const std::string name = MakePageFileName("scan", "JPEG");
    ASSERT_EQ(name.size(), 4u + 17u + 4u) << name;
    EXPECT_EQ(name.substr(0, 4), "scan");
    EXPECT_EQ(name.substr(21), ".jpg");
    EXPECT_EQ(name.find_first_not_of("0123456789", 4), 21u);
    EXPECT_EQ(LogCount("timestamp is " + name.substr(4, 17)), 1);

    // Unique in its folder: a page of the same name already there.
    const std::string path = MakeUniquePageFilePath(m_strDir, "p", "TIFF");
    WriteFile(path, "x");
    EXPECT_EQ(path.substr(0, m_strDir.size() + 2), m_strDir + "\\p");
    for (int i = 0; i < 20; ++i) {
        const std::string next = MakeUniquePageFilePath(m_strDir, "p", "TIFF");
        EXPECT_FALSE(Exists(next)) << next;
        WriteFile(next, "x");
    }
}

TEST_F(LoggedTest, FolderSizesAddUpSubfoldersIn64Bits) {
    Make("w");
    Make("w\\sub");
    Make("w\\sub\\deeper");
    WriteFile(m_strDir + "\\w\\one", std::string(1000, 'a'));
    WriteFile(m_strDir + "\\w\\sub\\two", std::string(234, 'b'));
    WriteFile(m_strDir + "\\w\\sub\\deeper\\three", std::string(5, 'c'));
    EXPECT_EQ(FolderSize(m_strDir + "\\w"), 1239u);
    EXPECT_EQ(FolderSize(m_strDir + "\\w\\"), 1239u);
    EXPECT_EQ(FolderSize(m_strDir + "\\nothing here"), 0u);
    // A file beyond 4 GiB (sparse: no disk space is used).
    HANDLE h = CreateFileA((m_strDir + "\\w\\sub\\big").c_str(), GENERIC_WRITE, 0, nullptr,
                           CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    LARGE_INTEGER size;
    size.QuadPart = 5LL << 30;
    EXPECT_TRUE(SetFilePointerEx(h, size, nullptr, FILE_BEGIN));
    EXPECT_TRUE(SetEndOfFile(h));
    CloseHandle(h);
    EXPECT_EQ(FolderSize(m_strDir + "\\w"), (5ULL << 30) + 1239u);
}

TEST_F(LoggedTest, PathsAreNormalisedBeforeTheyAreCompared) {
    const std::string w = Make("Watched Folder");
    EXPECT_EQ(NormalisedFolder(m_strDir + "\\x\\..\\Watched Folder\\."), w);
    char shortName[MAX_PATH] = {};
    ASSERT_NE(GetShortPathNameA(w.c_str(), shortName, MAX_PATH), 0u);
    EXPECT_EQ(NormalisedFolder(shortName), w) << shortName;
    // A folder that does not exist keeps its text, dots resolved.
    EXPECT_EQ(NormalisedFolder("C:\\no\\such\\..\\folder"), "C:\\no\\folder");
    EXPECT_TRUE(IsNetworkFolder("\\\\server\\share\\x"));
    EXPECT_FALSE(IsNetworkFolder("C:\\x"));
}

TEST(FolderWarnings, TheLowestIndexOverItsLimitIsRemembered) {
    CFolderWarnings w;
    w.m_Entries[1] = {TRUE, "C:\\one", 100, 90};
    w.m_Entries[3] = {TRUE, "C:\\three", 50, 45};
    EXPECT_FALSE(w.IsOver(4));
    EXPECT_TRUE(w.m_strOverFolder.empty());
    EXPECT_TRUE(w.IsOver(5));
    EXPECT_EQ(w.m_strOverFolder, "C:\\three");
    EXPECT_TRUE(w.IsOver(10));
    EXPECT_EQ(w.m_strOverFolder, "C:\\one");
    w.AllOff();
    EXPECT_FALSE(w.IsOver(~0ULL));
}

// ---- the warnings at start-up, with the real job store ---------------------

class WarningTest : public LoggedTest {
protected:
    void SetUp() override {
        LoggedTest::SetUp();
        m_strStore = m_strDir + "\\Taskstore.reg";
        SetEnvironmentVariableA("TASKSTORE_FILE", m_strStore.c_str());
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        m_pStore = CreateJobStore(23);
        PrepareJobStore(m_pStore, "VX-410", 0);
        // The layout: root\watch\save is the save folder, root\other a sibling.
        m_strWatch = Make("watch");
        m_strSave = Make("watch\\save");
        m_strOther = Make("other");
        WriteFile(m_strWatch + "\\big.bin", std::string(0x100000 + 0x80000, 'x'));
        WriteFile(m_strSave + "\\small.bin", std::string(10, 'y'));
        WriteFile(m_strOther + "\\o.bin", std::string(7, 'z'));
    }
    void TearDown() override {
        m_pStore.Release();
        CoUninitialize();
        SetEnvironmentVariableA("TASKSTORE_FILE", nullptr);
        LoggedTest::TearDown();
    }
    void Warn(int i, long on, const std::string& path, long megabytes) {
        SetCommon("DisplayWarning" + std::to_string(i), CVariant(on));
        SetCommon("MonitorPath" + std::to_string(i), CVariant(path.c_str()));
        SetCommon("WarningSize" + std::to_string(i), CVariant(megabytes));
    }
    void SetCommon(const std::string& key, const CVariant& v) {
        CBstr k(key.c_str());
        ThrowIfFailed(m_pStore->SetCommonData(k, v), IID_IJobStore);
    }
    CWarningContext Context(const std::string& save, long function = 0, BOOL bScanner = FALSE) {
        CWarningContext ctx;
        ctx.m_pStore = m_pStore;
        ctx.m_nFunctionId = function;
        ctx.m_strSaveFolder = save;
        ctx.m_bStartedByScanner = bScanner;
        ctx.m_strCaption = "VX-410";
        ctx.m_fnPanel = [this](const char* text, BOOL bError) {
            m_panel.push_back({text, bError});
        };
        return ctx;
    }
    std::string m_strStore, m_strWatch, m_strSave, m_strOther;
    CComPtr<IJobStore> m_pStore;
    std::vector<Shown> m_panel;
};

TEST_F(WarningTest, WatchedFoldersHoldingTheSaveFolderAreMeasuredAndTheLowestOverIsNamed) {
    Warn(0, 1, m_strOther, 0);      // over at once, but does not hold the save folder
    Warn(1, 1, m_strWatch, 1);      // holds it: 1.5 MiB + 10 bytes against 1 MiB
    Warn(2, 0, m_strWatch, 0);      // off
    Warn(3, 1, m_strDir + "\\", 1); // holds it too, also over
    Warn(4, 1, "", 0);              // no folder: watches nothing
    CFolderWarnings w;
    bool over = false;
    ASSERT_TRUE(PrepareWarningFunction(Context(m_strSave), w, &over));
    EXPECT_TRUE(over);
    EXPECT_EQ(w.m_strOverFolder, m_strWatch);
    EXPECT_FALSE(w.m_Entries[0].m_bOn);
    EXPECT_TRUE(w.m_Entries[1].m_bOn);
    EXPECT_EQ(w.m_Entries[1].m_ullCurrent, 0x180000u + 10u);
    EXPECT_EQ(w.m_Entries[1].m_ullLimit, 0x100000u);
    EXPECT_FALSE(w.m_Entries[2].m_bOn);
    EXPECT_TRUE(w.m_Entries[3].m_bOn);
    EXPECT_EQ(w.m_Entries[3].m_ullCurrent, 0x180000u + 10u + 7u);
    EXPECT_EQ(w.m_Entries[3].m_strPath, m_strDir + "\\");
    EXPECT_FALSE(w.m_Entries[4].m_bOn);
    EXPECT_TRUE(m_panel.empty());
}

TEST_F(WarningTest, UnderTheLimitTheOutputOfTheJobDecidesLater) {
    Warn(2, 1, m_strWatch + "\\..\\watch", 2); // dots resolved before comparing
    CFolderWarnings w;
    bool over = true;
    ASSERT_TRUE(PrepareWarningFunction(Context(m_strSave), w, &over));
    EXPECT_FALSE(over);
    ASSERT_TRUE(w.m_Entries[2].m_bOn);
    EXPECT_EQ(w.m_Entries[2].m_ullCurrent, 0x180000u + 10u);
    EXPECT_FALSE(w.IsOver(0x80000 - 11));
    EXPECT_TRUE(w.IsOver(0x80000 - 10));
    EXPECT_EQ(w.m_strOverFolder, m_strWatch + "\\..\\watch");
}

TEST_F(WarningTest, AWatchedFolderOnAnotherDriveOrASiblingNeverWarns) {
    // The same folder seen through the Z: drive is on another root.
    const std::string viaZ = kestreltest::ThroughDriveZ(m_strWatch);
    ASSERT_EQ(FolderSize(viaZ), 0x180000u + 10u) << viaZ;
    Warn(0, 1, viaZ, 0);
    Warn(1, 1, m_strSave + "2", 0); // "save2" is not "save"
    CFolderWarnings w;
    bool over = true;
    ASSERT_TRUE(PrepareWarningFunction(Context(m_strSave), w, &over));
    EXPECT_FALSE(over);
    EXPECT_FALSE(w.m_Entries[0].m_bOn);
    EXPECT_FALSE(w.m_Entries[1].m_bOn);
    EXPECT_FALSE(w.IsOver(~0ULL));
}

TEST_F(WarningTest, APrintJobNeverChecks) {
    Warn(1, 1, m_strWatch, 0);
    CFolderWarnings w;
    bool over = true;
    EXPECT_TRUE(PrepareWarningFunction(Context(m_strDir + "\\missing", 2), w, &over));
    EXPECT_FALSE(over);
    EXPECT_FALSE(w.m_Entries[1].m_bOn);
    EXPECT_EQ(w.m_Entries[1].m_ullCurrent, 0u);
    EXPECT_TRUE(m_panel.empty());
}

TEST_F(WarningTest, ANetworkSaveFolderThatCannotBeCheckedIsAccepted) {
    Warn(1, 1, m_strWatch, 0);
    CFolderWarnings w;
    bool over = true;
    EXPECT_TRUE(PrepareWarningFunction(Context("\\\\kestrel-nowhere\\share\\in"), w, &over));
    EXPECT_FALSE(over);
    EXPECT_FALSE(w.m_Entries[1].m_bOn);
}

} // namespace
