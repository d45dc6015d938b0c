// The localisation library's exports and the runner's front end, against the
// shipped catalogues.
#include <gtest/gtest.h>
#include "common/Localize.h"
#include "components/localize/Catalogue.h"
#include <fstream>
#include <sstream>

namespace {
std::string WinPath(const std::string& unixPath) {
    std::string p = "Z:" + unixPath;
    for (char& c : p)
        if (c == '/')
            c = '\\';
    return p;
}
const std::string kCore = WinPath(VLM_CATALOGUE_DIR "/TaskdeckCore.loc");
const std::string kTool = WinPath(VLM_CATALOGUE_DIR "/Taskdeck.loc");

std::string Ansi(const wchar_t* w) {
    char buf[512] = {};
    WideCharToMultiByte(CP_ACP, 0, w, -1, buf, sizeof buf, nullptr, nullptr);
    return buf;
}

class LocalizeDll : public ::testing::Test {
protected:
    void SetUp() override {
        m_hDll = LoadLibraryA(WinPath(VLM_LOC_DLL).c_str());
        ASSERT_NE(m_hDll, nullptr);
        SetLocale = Get<PFN_VlmLocalizeSetLocale>("VlmLocalizeSetLocale");
        GetLocale = Get<PFN_VlmLocalizeGetLocale>("VlmLocalizeGetLocale");
        AddFileA = Get<PFN_VlmLocalizeAddFileA>("VlmLocalizeAddFileA");
        AddFileW = Get<PFN_VlmLocalizeAddFileW>("VlmLocalizeAddFileW");
        ClearFiles = Get<PFN_VlmLocalizeClearFiles>("VlmLocalizeClearFiles");
        LookupAW = Get<PFN_VlmLocalizeLookupAW>("VlmLocalizeLookupAW");
        LookupWW = Get<PFN_VlmLocalizeLookupWW>("VlmLocalizeLookupWW");
        A2W = Get<PFN_VlmLocalizeA2W>("VlmLocalizeA2W");
        W2A = Get<PFN_VlmLocalizeW2A>("VlmLocalizeW2A");
        Dialog = Get<PFN_VlmLocalizeDialog>("VlmLocalizeDialog");
        ClearFiles();
        SetLocale(0x0407);
    }
    void TearDown() override {
        if (m_hDll) {
            ClearFiles();
            FreeLibrary(m_hDll);
        }
    }
    template <class F> F Get(const char* name) {
        F f = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(m_hDll, name)));
        EXPECT_NE(f, nullptr) << name;
        return f;
    }
    std::wstring Lookup(const char* key) {
        int cb = LookupAW(key, nullptr, 0);
        std::wstring w(static_cast<size_t>(cb) / 2, L'\0');
        EXPECT_EQ(LookupAW(key, &w[0], cb), cb);
        w.resize(w.size() - 1);
        return w;
    }
    HMODULE m_hDll = nullptr;
    PFN_VlmLocalizeSetLocale SetLocale = nullptr;
    PFN_VlmLocalizeGetLocale GetLocale = nullptr;
    PFN_VlmLocalizeAddFileA AddFileA = nullptr;
    PFN_VlmLocalizeAddFileW AddFileW = nullptr;
    PFN_VlmLocalizeClearFiles ClearFiles = nullptr;
    PFN_VlmLocalizeLookupAW LookupAW = nullptr;
    PFN_VlmLocalizeLookupWW LookupWW = nullptr;
    PFN_VlmLocalizeA2W A2W = nullptr;
    PFN_VlmLocalizeW2A W2A = nullptr;
    PFN_VlmLocalizeDialog Dialog = nullptr;
};
} // namespace

TEST_F(LocalizeDll, GermanTextsAndEnglishFallback) {
    EXPECT_EQ(GetLocale(), 0x0407);
    ASSERT_TRUE(AddFileA(kCore.c_str()));
    EXPECT_EQ(Lookup("Please wait."), L"Bitte warten.");
    EXPECT_EQ(Lookup("File size too large."), L"Die Datei ist zu gro\u00df.");
    EXPECT_EQ(Lookup("Another Job has already started.\n"),
              L"Ein anderer Auftrag wurde bereits gestartet.\n");
    // Unknown key: the key itself, sized twice its length plus 2.
    EXPECT_EQ(Lookup("No such text"), L"No such text");
    EXPECT_EQ(LookupAW("No such text", nullptr, 0), 2 * 12 + 2);
    EXPECT_EQ(LookupWW(L"Scanning...", nullptr, 0), static_cast<int>(sizeof L"Scannen..."));
    // Another locale sees English.
    SetLocale(0x0409);
    EXPECT_EQ(Lookup("Please wait."), L"Please wait.");
    // A buffer that is too small is left untouched.
    SetLocale(0x0407);
    wchar_t small[4] = {L'x', L'x', L'x', L'x'};
    EXPECT_EQ(LookupAW("Please wait.", small, sizeof small),
              static_cast<int>(sizeof L"Bitte warten."));
    EXPECT_EQ(small[0], L'x');
}

TEST_F(LocalizeDll, MissingCatalogueLeavesEnglish) {
    EXPECT_FALSE(AddFileA("C:\\no\\such\\TaskdeckCore.loc"));
    EXPECT_FALSE(AddFileA(nullptr));
    EXPECT_EQ(Lookup("Please wait."), L"Please wait.");
    std::wstring wide(kTool.begin(), kTool.end());
    EXPECT_TRUE(AddFileW(wide.c_str()));
    EXPECT_EQ(Lookup("Error"), L"Fehler");
    ClearFiles();
    EXPECT_EQ(Lookup("Error"), L"Error");
    EXPECT_EQ(LookupAW(nullptr, nullptr, 0), 0);
}

TEST_F(LocalizeDll, ConversionsAndDialogs) {
    wchar_t w[16] = {};
    EXPECT_EQ(A2W("abc", w, sizeof w), 8);
    EXPECT_STREQ(w, L"abc");
    char a[16] = {};
    EXPECT_EQ(W2A(L"xyz", a, sizeof a), 4);
    EXPECT_STREQ(a, "xyz");
    EXPECT_EQ(W2A(L"toolong", a, 3), 8); // size needed, nothing written
    EXPECT_STREQ(a, "xyz");

    ASSERT_TRUE(AddFileA(kCore.c_str()));
    HWND hWnd = CreateWindowExA(0, "STATIC", "Print", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                                nullptr, nullptr, nullptr);
    ASSERT_NE(hWnd, nullptr);
    HWND hChild1 = CreateWindowExA(0, "BUTTON", "&Close", WS_CHILD, 0, 0, 50, 20, hWnd, nullptr,
                                   nullptr, nullptr);
    HWND hChild2 = CreateWindowExA(0, "BUTTON", "Untranslated", WS_CHILD, 0, 20, 50, 20, hWnd,
                                   nullptr, nullptr, nullptr);
    EXPECT_EQ(Dialog(hWnd), 2);
    wchar_t text[64] = {};
    GetWindowTextW(hWnd, text, 64);
    EXPECT_STREQ(text, L"Drucken");
    GetWindowTextW(hChild1, text, 64);
    EXPECT_STREQ(text, L"&Schlie\u00dfen");
    GetWindowTextW(hChild2, text, 64);
    EXPECT_STREQ(text, L"Untranslated");
    DestroyWindow(hWnd);
    EXPECT_EQ(Dialog(nullptr), 0);
}

TEST(LocalizeCatalogues, ShippedFilesParseCleanly) {
    for (const char* file :
         {VLM_CATALOGUE_DIR "/TaskdeckCore.loc", VLM_CATALOGUE_DIR "/Taskdeck.loc"}) {
        std::ifstream in(WinPath(file), std::ios::binary);
        ASSERT_TRUE(in) << file;
        std::stringstream ss;
        ss << in.rdbuf();
        vlm::CCatalogue c;
        auto stats = c.AddText(ss.str());
        EXPECT_EQ(stats.m_nSkipped, 0) << file;
        // A key given twice hides its first translation: one line per key.
        EXPECT_EQ(stats.m_nReplaced, 0) << file;
        EXPECT_GT(stats.m_nEntries, 10) << file;
        for (const char* key : {"Please wait.", "Can't run job.", "Save as file", "Print"})
            EXPECT_NE(c.Find(0x0407, key), nullptr) << file << ": " << key;
    }
}

TEST(LocalizeFrontEnd, LocalisesThroughTheLibrary) {
    CVlmLocalizer loc;
    ASSERT_TRUE(loc.Init(kCore.c_str(), 0x0407));
    EXPECT_TRUE(loc.IsActive());
    // The program folder is searched first.
    std::string path = loc.GetLibraryPath();
    EXPECT_NE(path.find("\\zxdloc.dll"), std::string::npos) << path;
    EXPECT_EQ(loc.Localize("Scanning..."), "Scannen...");
    EXPECT_EQ(loc.Localize("Monitor for %s"), "Monitor f" + Ansi(L"\u00fc") + "r %s");
    EXPECT_EQ(loc.Localize("Not in any catalogue"), "Not in any catalogue");
    EXPECT_EQ(loc.Localize(""), "");
    std::string longKey(5000, 'k');
    EXPECT_EQ(loc.Localize(longKey.c_str()), longKey);
    loc.m_pfnClearFiles();
}

TEST(LocalizeFrontEnd, MissingCatalogueOrLibraryGivesEnglish) {
    CVlmLocalizer loc;
    EXPECT_FALSE(loc.Init("C:\\missing\\TaskdeckCore.loc", 0x0407));
    EXPECT_TRUE(loc.IsActive());
    EXPECT_EQ(loc.Localize("Please wait."), "Please wait.");
    CVlmLocalizer none;
    EXPECT_EQ(none.Localize("Please wait."), "Please wait.");
    EXPECT_EQ(none.Localize(nullptr), "");
}
