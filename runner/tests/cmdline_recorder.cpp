// A stand-in for the user's program in the open-with-application tests: adds
// one line "<creation time>|<command line>" to "cmdlines.txt" beside itself,
// the creation time (100 ns units) telling the order the processes started.
#include <windows.h>

#include <cstdio>
#include <string>

int main() {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string list = self;
    list = list.substr(0, list.find_last_of('\\') + 1) + "cmdlines.txt";
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    const unsigned long long t =
        (static_cast<unsigned long long>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
    const std::string line = std::to_string(t) + "|" + GetCommandLineA() + "\n";
    // One writer at a time: the test starts several of us at once.
    HANDLE lock = CreateMutexA(nullptr, FALSE, "kestrel-test-cmdline-recorder");
    WaitForSingleObject(lock, INFINITE);
    FILE* f = fopen(list.c_str(), "ab");
    const bool ok = f && fwrite(line.data(), 1, line.size(), f) == line.size();
    if (f)
        fclose(f);
    ReleaseMutex(lock);
    CloseHandle(lock);
    return ok ? 0 : 1;
}
