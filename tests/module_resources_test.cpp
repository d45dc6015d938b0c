// What every module the suite installs carries: the suite's one version in
// its version resource, and for a program the manifest the loader reads
// (common controls 6, DPI awareness, supported systems, asInvoker). The list
// is the prefix manifest the harness installs from.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlwapi.h>
#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>
#include "editor/VersionInfo.h"
#include "framework/Handles.h"
#include "vlm_version.h"

namespace {

std::string Lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool EndsWith(const std::string& s, const char* tail) {
    const size_t n = std::strlen(tail);
    return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

// The built programs and libraries of the prefix manifest, as Windows paths.
std::vector<std::string> ShippedModules() {
    std::ifstream in(VLM_PREFIX_MANIFEST);
    std::vector<std::string> modules;
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> f;
        std::stringstream fields(line);
        for (std::string field; std::getline(fields, field, '|');)
            f.push_back(field);
        if (f.size() < 2 || (f[0] != "install" && f[0] != "file"))
            continue;
        const std::string name = Lower(f[1]);
        if (EndsWith(name, ".exe") || EndsWith(name, ".dll") || EndsWith(name, ".ds")) {
            std::string path = "Z:" + f[1];
            for (char& c : path)
                c = c == '/' ? '\\' : c;
            modules.push_back(path);
        }
    }
    return modules;
}

// Windows 10 and 11, 8.1, 8, 7.
const GUID kSupportedSystems[] = {
    {0x8e0f7a12, 0xbfb3, 0x4fe8, {0xb9, 0xa5, 0x48, 0xfd, 0x50, 0xa1, 0x5a, 0x9a}},
    {0x1f676c76, 0x80e1, 0x4239, {0x95, 0xbb, 0x83, 0xd0, 0xf6, 0xd0, 0xda, 0x78}},
    {0x4a2f28e3, 0x53b9, 0x4441, {0xba, 0x9c, 0xd6, 0x9d, 0x4a, 0x4a, 0x6e, 0x38}},
    {0x35138b9a, 0x5d96, 0x4fbd, {0x8e, 0x2d, 0xa2, 0x44, 0x02, 0x25, 0xf9, 0x3a}},
};

// The encoded identity of the context's assembly at that index.
std::wstring AssemblyIdentity(HANDLE ctx, DWORD index) {
    SIZE_T size = 0;
    ::QueryActCtxW(0, ctx, &index, AssemblyDetailedInformationInActivationContext, nullptr, 0,
                   &size);
    std::vector<BYTE> block(size);
    if (!size || !::QueryActCtxW(0, ctx, &index, AssemblyDetailedInformationInActivationContext,
                                 block.data(), size, &size))
        return std::wstring();
    const auto* info =
        reinterpret_cast<const ACTIVATION_CONTEXT_ASSEMBLY_DETAILED_INFORMATION*>(block.data());
    return info->lpAssemblyEncodedAssemblyIdentity ? info->lpAssemblyEncodedAssemblyIdentity : L"";
}

} // namespace

TEST(ModuleResources, EveryShippedModuleCarriesTheSuitesVersion) {
    const auto modules = ShippedModules();
    ASSERT_GE(modules.size(), 20u) << VLM_PREFIX_MANIFEST;
    for (const std::string& path : modules) {
        EXPECT_EQ(ModuleFileVersion(path.c_str()), VLM_VERSION_STRING) << path;
        DWORD ignored = 0;
        std::vector<BYTE> block(::GetFileVersionInfoSizeA(path.c_str(), &ignored));
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT len = 0;
        ASSERT_TRUE(!block.empty() &&
                    ::GetFileVersionInfoA(path.c_str(), 0, static_cast<DWORD>(block.size()),
                                          block.data()) &&
                    ::VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &len))
            << path;
        EXPECT_EQ(fixed->dwFileVersionMS,
                  static_cast<DWORD>(MAKELONG(VLM_VERSION_MINOR, VLM_VERSION_MAJOR)))
            << path;
        EXPECT_EQ(HIWORD(fixed->dwFileVersionLS), VLM_VERSION_PATCH) << path;
        EXPECT_EQ(fixed->dwFileType, EndsWith(Lower(path), ".exe") ? VFT_APP : VFT_DLL) << path;
    }
}

// The loader builds an activation context from each program's manifest: in
// it comctl32.dll is the common controls 6 assembly's, the program runs as
// its caller, names the four supported systems and is DPI aware per monitor.
TEST(ModuleResources, EveryShippedProgramHasAManifestTheLoaderReads) {
    int programs = 0;
    for (const std::string& path : ShippedModules()) {
        if (!EndsWith(Lower(path), ".exe"))
            continue;
        ++programs;
        ACTCTXA request = {};
        request.cbSize = sizeof request;
        request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
        request.lpSource = path.c_str();
        request.lpResourceName = MAKEINTRESOURCEA(1);
        CActCtx ctx(::CreateActCtxA(&request));
        ASSERT_TRUE(ctx) << path << " error " << ::GetLastError();

        ULONG_PTR cookie = 0;
        ASSERT_TRUE(::ActivateActCtx(ctx.Get(), &cookie)) << path;
        ACTCTX_SECTION_KEYED_DATA dll = {};
        dll.cbSize = sizeof dll;
        const BOOL bRedirected = ::FindActCtxSectionStringW(
            0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION, L"comctl32.dll", &dll);
        ::DeactivateActCtx(0, cookie);
        ASSERT_TRUE(bRedirected) << path;
        const std::wstring comctl = AssemblyIdentity(ctx.Get(), dll.ulAssemblyRosterIndex);
        EXPECT_NE(comctl.find(L"Microsoft.Windows.Common-Controls"), std::wstring::npos) << path;
        EXPECT_NE(comctl.find(L"version=\"6."), std::wstring::npos) << path;

        ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION level = {};
        EXPECT_TRUE(::QueryActCtxW(0, ctx.Get(), nullptr, RunlevelInformationInActivationContext,
                                   &level, sizeof level, nullptr) &&
                    level.RunLevel == ACTCTX_RUN_LEVEL_AS_INVOKER)
            << path;

        // The element layout differs between SDK versions: the count, then
        // each system's GUID somewhere in the block.
        BYTE compat[512] = {};
        ASSERT_TRUE(::QueryActCtxW(0, ctx.Get(), nullptr,
                                   CompatibilityInformationInActivationContext, compat,
                                   sizeof compat, nullptr))
            << path;
        EXPECT_EQ(reinterpret_cast<const DWORD*>(compat)[0], 4u) << path;
        for (const GUID& os : kSupportedSystems)
            EXPECT_NE(std::search(compat, compat + sizeof compat,
                                  reinterpret_cast<const BYTE*>(&os),
                                  reinterpret_cast<const BYTE*>(&os + 1)),
                      compat + sizeof compat)
                << path;

        WCHAR value[64] = {};
        SIZE_T written = 0;
        EXPECT_TRUE(::QueryActCtxSettingsW(0, ctx.Get(),
                                           L"http://schemas.microsoft.com/SMI/2016/WindowsSettings",
                                           L"dpiAwareness", value, 64, &written))
            << path;
        EXPECT_EQ(std::wstring(value).rfind(L"PerMonitorV2", 0), 0u) << path;
        EXPECT_TRUE(::QueryActCtxSettingsW(0, ctx.Get(), nullptr, L"dpiAware", value, 64, &written))
            << path;
        EXPECT_EQ(std::wstring(value), L"true/pm") << path;
    }
    EXPECT_GE(programs, 8);
}
