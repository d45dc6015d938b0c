// The shared library search order, with a probe library copied to each place.
#include <gtest/gtest.h>
#include <shlobj.h>
#include "common/SharedLibrary.h"
#include "framework/Handles.h"

namespace {
std::string WinPath(const char* unixPath) {
    std::string p = std::string("Z:") + unixPath;
    for (char& c : p)
        if (c == '/')
            c = '\\';
    return p;
}
std::string Folder(int csidl) {
    char path[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, csidl, nullptr, 0, path);
    return path;
}
std::string TempDir(const char* sub) {
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    std::string dir = std::string(temp) + sub;
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}
const char kKey[] = "SOFTWARE\\Velmora Works Inc.\\Shared Files";

class SharedLibraryTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_strProbe = WinPath(VLM_PROBE_DLL);
        ASSERT_NE(GetFileAttributesA(m_strProbe.c_str()), INVALID_FILE_ATTRIBUTES);
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, kKey);
        m_strProgramShared = Folder(CSIDL_PROGRAM_FILES) + "\\Velmora Works\\Shared Files";
        m_strCommon = Folder(CSIDL_PROGRAM_FILES_COMMON) + "\\Velmora Works";
        SHCreateDirectoryExA(nullptr, m_strProgramShared.c_str(), nullptr);
        SHCreateDirectoryExA(nullptr, m_strCommon.c_str(), nullptr);
    }
    void TearDown() override {
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, kKey);
        for (const std::string& f : m_copies)
            DeleteFileA(f.c_str());
    }
    std::string Copy(const std::string& folder, const char* name) {
        std::string dst = folder + "\\" + name;
        EXPECT_TRUE(CopyFileA(m_strProbe.c_str(), dst.c_str(), FALSE)) << dst;
        m_copies.push_back(dst);
        return dst;
    }
    static std::string LoadedFrom(const char* name) {
        CVlmLibrary lib;
        if (!lib.Load(name))
            return "<none>";
        using PFN = int (*)();
        PFN answer = lib.Get<PFN>("VlmProbeAnswer");
        if (!answer || answer() != 4711)
            return "<bad>";
        return lib.GetPath();
    }
    static bool SameFile(const std::string& a, const std::string& b) {
        return lstrcmpiA(a.c_str(), b.c_str()) == 0;
    }
    std::string m_strProbe, m_strProgramShared, m_strCommon;
    std::vector<std::string> m_copies;
};
} // namespace

TEST_F(SharedLibraryTest, RegistryValueNamedAfterTheLibraryComesFirst) {
    std::string dir = TempDir("vlm_shared_a");
    std::string path = Copy(dir, "elsewhere.dll");
    Copy(m_strProgramShared, "vlmprobe_a.dll");
    CRegKey key;
    ASSERT_EQ(key.Create(HKEY_LOCAL_MACHINE, kKey), ERROR_SUCCESS);
    key.SetString("vlmprobe_a.dll", path.c_str());
    EXPECT_TRUE(SameFile(LoadedFrom("vlmprobe_a.dll"), path));
}

TEST_F(SharedLibraryTest, DefaultValueFolderBeforeProgramFiles) {
    std::string dir = TempDir("vlm_shared_b");
    std::string path = Copy(dir, "vlmprobe_b.dll");
    std::string inProgramFiles = Copy(m_strProgramShared, "vlmprobe_b.dll");
    CRegKey key;
    ASSERT_EQ(key.Create(HKEY_LOCAL_MACHINE, kKey), ERROR_SUCCESS);
    key.SetString(nullptr, dir.c_str());
    EXPECT_TRUE(SameFile(LoadedFrom("vlmprobe_b.dll"), path));
    // Without the key the program files folder is next.
    key.Close();
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kKey);
    EXPECT_TRUE(SameFile(LoadedFrom("vlmprobe_b.dll"), inProgramFiles));
}

TEST_F(SharedLibraryTest, ProgramFilesBeforeCommonFiles) {
    std::string first = Copy(m_strProgramShared, "vlmprobe_c.dll");
    std::string second = Copy(m_strCommon, "vlmprobe_c.dll");
    EXPECT_TRUE(SameFile(LoadedFrom("vlmprobe_c.dll"), first));
    DeleteFileA(first.c_str());
    EXPECT_TRUE(SameFile(LoadedFrom("vlmprobe_c.dll"), second));
}

TEST_F(SharedLibraryTest, BareNameLastAndPathsAsGiven) {
    // The program's own folder is part of the system search.
    char exe[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string exeDir(exe);
    exeDir.erase(exeDir.find_last_of('\\'));
    std::string local = Copy(exeDir, "vlmprobe_e.dll");
    EXPECT_TRUE(SameFile(LoadedFrom("vlmprobe_e.dll"), local));
    // A name with a backslash is not searched.
    EXPECT_EQ(LoadedFrom("C:\\nowhere\\vlmprobe_e.dll"), "<none>");
    EXPECT_TRUE(SameFile(LoadedFrom(m_strProbe.c_str()), m_strProbe));
    EXPECT_EQ(LoadedFrom("vlmprobe_missing.dll"), "<none>");
    EXPECT_EQ(VlmLoadSharedLibrary(nullptr), nullptr);
}

TEST_F(SharedLibraryTest, CandidateOrder) {
    CRegKey key;
    ASSERT_EQ(key.Create(HKEY_LOCAL_MACHINE, kKey), ERROR_SUCCESS);
    key.SetString("x.dll", "C:\\a\\x.dll");
    key.SetString(nullptr, "C:\\b");
    std::vector<std::string> c = VlmSharedLibraryCandidates("x.dll");
    ASSERT_EQ(c.size(), 5u);
    EXPECT_EQ(c[0], "C:\\a\\x.dll");
    EXPECT_EQ(c[1], "C:\\b\\x.dll");
    EXPECT_EQ(c[2], m_strProgramShared + "\\x.dll");
    EXPECT_EQ(c[3], m_strCommon + "\\x.dll");
    EXPECT_EQ(c[4], "x.dll");
}
