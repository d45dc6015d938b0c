#include "common/SharedLibrary.h"
#include "framework/Handles.h"
#include <shlobj.h>

namespace {
const char kSharedKey[] = "SOFTWARE\\Velmora Works Inc.\\Shared Files";

// The shell folder through the shell when it offers SHGetFolderPathA, else the
// registry value of the Windows version key.
std::string ShellFolder(int csidl, const char* fallbackValue) {
    using PFN = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPSTR);
    HMODULE hShell = ::GetModuleHandleA("shell32.dll");
    CModule loaded;
    if (!hShell && loaded.Load("shell32.dll"))
        hShell = loaded.Get();
    PFN pfn = hShell ? reinterpret_cast<PFN>(
                           reinterpret_cast<void*>(::GetProcAddress(hShell, "SHGetFolderPathA")))
                     : nullptr;
    if (pfn) {
        char path[MAX_PATH] = {};
        if (SUCCEEDED(pfn(nullptr, csidl, nullptr, 0, path)))
            return path;
        return std::string();
    }
    CRegKey key;
    std::string value;
    if (key.Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion") ==
            ERROR_SUCCESS &&
        key.QueryString(fallbackValue, value) == ERROR_SUCCESS)
        return value;
    return std::string();
}
} // namespace

std::vector<std::string> VlmSharedLibraryCandidates(const char* name) {
    std::vector<std::string> out;
    if (!name || !*name)
        return out;
    CRegKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, kSharedKey) == ERROR_SUCCESS) {
        std::string value;
        if (key.QueryString(name, value) == ERROR_SUCCESS && !value.empty())
            out.push_back(value);
        std::string folder;
        if (key.QueryString(nullptr, folder) == ERROR_SUCCESS && !folder.empty())
            out.push_back(folder + "\\" + name);
    }
    std::string programFiles = ShellFolder(CSIDL_PROGRAM_FILES, "ProgramFilesDir");
    if (!programFiles.empty())
        out.push_back(programFiles + "\\Velmora Works\\Shared Files\\" + name);
    std::string commonFiles = ShellFolder(CSIDL_PROGRAM_FILES_COMMON, "CommonFilesDir");
    if (!commonFiles.empty())
        out.push_back(commonFiles + "\\Velmora Works\\" + name);
    out.push_back(name);
    return out;
}

HMODULE VlmLoadSharedLibrary(const char* name, DWORD flags) {
    if (!name || !*name)
        return nullptr;
    if (strchr(name, '\\'))
        return ::LoadLibraryExA(name, nullptr, flags);
    for (const std::string& path : VlmSharedLibraryCandidates(name)) {
        if (path.size() >= MAX_PATH)
            continue;
        // Skip missing files quietly instead of letting the loader report them.
        if (path.find('\\') != std::string::npos &&
            ::GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES)
            continue;
        if (HMODULE h = ::LoadLibraryExA(path.c_str(), nullptr, flags))
            return h;
    }
    return nullptr;
}

std::string VlmOwnModuleFolder() {
    HMODULE self = nullptr;
    char path[MAX_PATH] = {};
    if (!::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                  GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              reinterpret_cast<LPCSTR>(&VlmOwnModuleFolder), &self))
        return std::string();
    const DWORD n = ::GetModuleFileNameA(self, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return std::string();
    std::string folder(path, n);
    const size_t slash = folder.find_last_of('\\');
    return slash == std::string::npos ? std::string() : folder.substr(0, slash);
}

BOOL CVlmLibrary::LoadBesideOrShared(const char* name) {
    Free();
    const std::string folder = VlmOwnModuleFolder();
    if (!folder.empty()) {
        const std::string beside = folder + "\\" + name;
        // The library's own imports are then looked for beside it too.
        if (::GetFileAttributesA(beside.c_str()) != INVALID_FILE_ATTRIBUTES &&
            m_module.Load(beside.c_str(), LOAD_WITH_ALTERED_SEARCH_PATH))
            return TRUE;
    }
    return Load(name);
}

BOOL CVlmLibrary::Load(const char* name, DWORD flags) {
    Free();
    m_module.Attach(VlmLoadSharedLibrary(name, flags));
    return IsLoaded();
}

std::string CVlmLibrary::GetPath() const {
    char path[MAX_PATH] = {};
    if (!IsLoaded() || !::GetModuleFileNameA(m_module.Get(), path, MAX_PATH))
        return std::string();
    return path;
}
