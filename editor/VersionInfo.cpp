#include "editor/VersionInfo.h"
#include <cstdio>
#include <cstring>
#include <vector>
#include "framework/App.h"

std::string ModuleFileVersion(const char* modulePath) {
    DWORD handle = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(modulePath, &handle);
    if (!size)
        return std::string();
    std::vector<BYTE> block(size);
    if (!::GetFileVersionInfoA(modulePath, 0, size, block.data()))
        return std::string();
    const WORD* translation = nullptr;
    UINT len = 0;
    if (!::VerQueryValueA(block.data(), "\\VarFileInfo\\Translation",
                          reinterpret_cast<void**>(const_cast<WORD**>(&translation)), &len) ||
        !translation || len < 2 * sizeof(WORD))
        return std::string();
    char path[64];
    std::snprintf(path, sizeof path, "\\StringFileInfo\\%04x%04x\\FileVersion", translation[0],
                  translation[1]);
    const char* version = nullptr;
    if (!::VerQueryValueA(block.data(), path,
                          reinterpret_cast<void**>(const_cast<char**>(&version)), &len) ||
        !version || !len)
        return std::string();
    return std::string(version, ::strnlen(version, len));
}

std::string HostFileVersion() {
    const std::string path = VlmProgramPath();
    return path.empty() ? std::string() : ModuleFileVersion(path.c_str());
}
