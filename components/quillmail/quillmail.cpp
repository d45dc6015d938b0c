// quillmail.exe: registers Quill Mail as the default mail client.
//   quillmail /register     HKLM\Software\Clients\Mail\Quill Mail with DLLPath
//                           (QuillMAPI.dll beside this program), made the default
//   quillmail /unregister   removes both
//   quillmail /outbox       prints the outbox folder
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "quillmail.h"

namespace {
const char kClients[] = "Software\\Clients\\Mail";

int Register() {
    char exe[MAX_PATH];
    const DWORD n = ::GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string dll(exe, n);
    dll = dll.substr(0, dll.find_last_of('\\') + 1) + "QuillMAPI.dll";
    const std::string key = std::string(kClients) + "\\" + quill::kClientName;
    HKEY k;
    if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &k,
                          nullptr) != ERROR_SUCCESS)
        return 2;
    ::RegSetValueExA(k, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(quill::kClientName),
                     DWORD(strlen(quill::kClientName) + 1));
    ::RegSetValueExA(k, "DLLPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(dll.c_str()),
                     DWORD(dll.size() + 1));
    ::RegCloseKey(k);
    if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kClients, 0, nullptr, 0, KEY_WRITE, nullptr, &k,
                          nullptr) != ERROR_SUCCESS)
        return 2;
    ::RegSetValueExA(k, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(quill::kClientName),
                     DWORD(strlen(quill::kClientName) + 1));
    ::RegCloseKey(k);
    return 0;
}

int Unregister() {
    const std::string key = std::string(kClients) + "\\" + quill::kClientName;
    ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());
    HKEY k;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kClients, 0, KEY_READ | KEY_WRITE, &k) ==
        ERROR_SUCCESS) {
        char value[256] = {};
        DWORD size = sizeof value;
        if (::RegQueryValueExA(k, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(value),
                               &size) == ERROR_SUCCESS &&
            !strcmp(value, quill::kClientName))
            ::RegDeleteValueA(k, nullptr);
        ::RegCloseKey(k);
    }
    return 0;
}
} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && !_stricmp(argv[1], "/register"))
        return Register();
    if (argc == 2 && !_stricmp(argv[1], "/unregister"))
        return Unregister();
    if (argc == 2 && !_stricmp(argv[1], "/outbox")) {
        std::printf("%s\n", quill::OutboxFolder().c_str());
        return 0;
    }
    std::fprintf(stderr, "usage: quillmail /register | /unregister | /outbox\n");
    return 1;
}
