// Loading the maker's shared libraries (localisation, JPEG, ...) by bare name
// from the common "Shared Files" folder, with the registry able to point
// elsewhere.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

// A name without "\\" is searched: HKLM "SOFTWARE\Velmora Works Inc.\Shared
// Files" value named after the library (a full path); that key's default value
// as folder; "<Program Files>\Velmora Works\Shared Files\<name>"; "<Common
// Files>\Velmora Works\<name>"; the bare name. A name with "\\" loads as given.
HMODULE VlmLoadSharedLibrary(const char* name, DWORD flags = 0);
// The candidate paths in search order (the bare name last), for diagnostics.
std::vector<std::string> VlmSharedLibraryCandidates(const char* name);

// Owns a loaded library; frees it on destruction.
class CVlmLibrary {
public:
    CVlmLibrary() = default;
    ~CVlmLibrary() { Free(); }
    CVlmLibrary(const CVlmLibrary&) = delete;
    CVlmLibrary& operator=(const CVlmLibrary&) = delete;

    // Through VlmLoadSharedLibrary; a loaded library is freed first.
    BOOL Load(const char* name, DWORD flags = 0);
    FARPROC GetProc(const char* name) const;
    template <class F> F Get(const char* name) const {
        return reinterpret_cast<F>(reinterpret_cast<void*>(GetProc(name)));
    }
    void Free();
    HMODULE GetHandle() const { return m_hModule; }
    bool IsLoaded() const { return m_hModule != nullptr; }
    std::string GetPath() const;

private:
    HMODULE m_hModule = nullptr;
};
