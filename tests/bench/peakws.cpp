// peakws NAME.exe [SECONDS]: waits up to SECONDS (default 600) for a process
// of that name to appear, follows it until it ends and prints the highest
// peak working set (and peak private bytes) it read:
//   peak_working_set_bytes N
//   peak_private_bytes N
// Exit codes: 0 measured, 1 the process did not appear or could not be read,
// 2 bad command line. Started before the program under measure, so that the
// whole run is followed; the peak values are high-water marks, so a read at
// any moment covers everything before it.
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include "framework/Handles.h"

namespace {

DWORD FindProcess(const char* name) {
    CHandle snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snap)
        return 0;
    PROCESSENTRY32 pe{};
    pe.dwSize = sizeof pe;
    for (BOOL more = Process32First(snap, &pe); more; more = Process32Next(snap, &pe))
        if (_stricmp(pe.szExeFile, name) == 0)
            return pe.th32ProcessID;
    return 0;
}

struct Peak {
    SIZE_T m_nWorkingSet = 0;
    SIZE_T m_nPrivate = 0;
    bool m_bRead = false;

    void Sample(HANDLE h) {
        PROCESS_MEMORY_COUNTERS pmc{};
        pmc.cb = sizeof pmc;
        if (!GetProcessMemoryInfo(h, &pmc, sizeof pmc))
            return;
        m_bRead = true;
        if (pmc.PeakWorkingSetSize > m_nWorkingSet)
            m_nWorkingSet = pmc.PeakWorkingSetSize;
        if (pmc.PeakPagefileUsage > m_nPrivate)
            m_nPrivate = pmc.PeakPagefileUsage;
    }
};

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: peakws NAME.exe [SECONDS]\n");
        return 2;
    }
    const DWORD seconds = argc == 3 ? static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10)) : 600;
    const ULONGLONG deadline = GetTickCount64() + 1000ull * seconds;

    CHandle process;
    DWORD pid = 0;
    while (!process && GetTickCount64() < deadline) {
        pid = FindProcess(argv[1]);
        if (pid)
            process.Attach(
                OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | SYNCHRONIZE, FALSE, pid));
        if (!process)
            Sleep(10); // polling for the start; the wait has its own deadline
    }
    if (!process) {
        std::fprintf(stderr, "peakws: no process %s appeared within %lu s\n", argv[1],
                     static_cast<unsigned long>(seconds));
        return 1;
    }

    // Sampled until the end; the last sample before the exit holds the peak
    // of the whole run up to that moment, and the counters may still be
    // readable through the open handle afterwards.
    Peak peak;
    do
        peak.Sample(process);
    while (WaitForSingleObject(process, 25) == WAIT_TIMEOUT);
    peak.Sample(process);

    if (!peak.m_bRead) {
        std::fprintf(stderr, "peakws: the memory counters of process %lu could not be read\n",
                     static_cast<unsigned long>(pid));
        return 1;
    }
    std::printf("pid %lu\npeak_working_set_bytes %llu\npeak_private_bytes %llu\n",
                static_cast<unsigned long>(pid),
                static_cast<unsigned long long>(peak.m_nWorkingSet),
                static_cast<unsigned long long>(peak.m_nPrivate));
    return 0;
}
