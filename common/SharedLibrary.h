// Loading the maker's shared libraries (localisation, JPEG, ...) by bare name
// from the common "Shared Files" folder, with the registry able to point
// elsewhere.
#pragma once
#include <windows.h>
#include <string>
#include <vector>
#include "framework/Handles.h"

// A name without "\\" is searched: HKLM "SOFTWARE\Velmora Works Inc.\Shared
// Files" value named after the library (a full path); that key's default value
// as folder; "<Program Files>\Velmora Works\Shared Files\<name>"; "<Common
// Files>\Velmora Works\<name>"; the bare name. A name with "\\" loads as given.
HMODULE VlmLoadSharedLibrary(const char* name, DWORD flags = 0);
// The candidate paths in search order (the bare name last), for diagnostics.
std::vector<std::string> VlmSharedLibraryCandidates(const char* name);
// The folder of the module (program or DLL) this code is linked into, which
// for a plug-in differs from the folder of the program that loaded it.
std::string VlmOwnModuleFolder();

// A shared library found by the search above, held by the framework's module
// owner (freed on destruction).
class CVlmLibrary {
public:
    // Through VlmLoadSharedLibrary; a loaded library is freed first.
    BOOL Load(const char* name, DWORD flags = 0);
    // A library installed beside the calling module: that folder first, then
    // the search above.
    BOOL LoadBesideOrShared(const char* name);
    FARPROC GetProc(const char* name) const { return m_module.GetProc(name); }
    template <class F> F Get(const char* name) const {
        return reinterpret_cast<F>(reinterpret_cast<void*>(GetProc(name)));
    }
    void Free() { m_module.Close(); }
    HMODULE GetHandle() const { return m_module.Get(); }
    bool IsLoaded() const { return m_module.IsValid(); }
    std::string GetPath() const;

private:
    vlm::CModule m_module;
};
