// RPXMail.exe, the mail helper: "RPXMail start "path" "path" ..." hands the
// files to the default mail client through Simple MAPI (mapi32.dll) with its
// message dialog. The exit code is MAPISendMail's result (3: no Simple MAPI).
#include <windows.h>
#include <mapi.h>

#include <cstring>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 2 || _stricmp(argv[1], "start") != 0)
        return 2;
    std::vector<std::string> paths(argv + 2, argv + argc), names;
    for (const auto& p : paths)
        names.push_back(p.substr(p.find_last_of("\\/") + 1));
    std::vector<MapiFileDesc> files(paths.size());
    for (size_t i = 0; i < paths.size(); ++i) {
        files[i] = {};
        files[i].nPosition = ULONG(-1);
        files[i].lpszPathName = paths[i].data();
        files[i].lpszFileName = names[i].data();
    }
    HMODULE mapi = ::LoadLibraryA("mapi32.dll");
    void* proc = mapi ? reinterpret_cast<void*>(::GetProcAddress(mapi, "MAPISendMail")) : nullptr;
    auto send = reinterpret_cast<LPMAPISENDMAIL>(proc);
    if (!send)
        return 3;
    MapiMessage message{};
    message.lpszSubject = const_cast<char*>("");
    message.lpszNoteText = const_cast<char*>("");
    message.nFileCount = ULONG(files.size());
    message.lpFiles = files.empty() ? nullptr : files.data();
    const ULONG r = send(0, 0, &message, MAPI_LOGON_UI | MAPI_DIALOG, 0);
    ::FreeLibrary(mapi);
    return int(r);
}
