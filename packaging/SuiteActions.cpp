// The package's own custom actions, run before the installer replaces or
// removes a file: a running scan job is waited for (a job must never lose its
// programs half-way), and an idle corvid is closed so that its files can be
// replaced; the package starts corvid again after an upgrade or repair.
#include <windows.h>
#include <msi.h>
#include <msiquery.h>
#include <tlhelp32.h>

#include <string>
#include <vector>

#include "framework/Handles.h"
#include "runner/VX410Names.h"

namespace {

// How long a running job is waited for, in seconds (the KESTRELWAIT property).
constexpr DWORD kDefaultJobWaitSeconds = 300;
constexpr DWORD kCorvidCloseMs = 30000;
constexpr DWORD kPollMs = 250;

struct CMsiRecordTraits {
    static void Free(MSIHANDLE h) { MsiCloseHandle(h); }
    static MSIHANDLE Invalid() { return 0; }
    static bool IsValid(MSIHANDLE h) { return h != 0; }
};
using CMsiRecord = vlm::CUniqueHandle<MSIHANDLE, CMsiRecordTraits>;

// An INFO line goes to the installation's log; an ERROR is shown to the user
// (and logged) in every interface but the silent one.
void Tell(MSIHANDLE hInstall, INSTALLMESSAGE kind, const std::string& text) {
    CMsiRecord rec(MsiCreateRecord(1));
    if (!rec)
        return;
    MsiRecordSetStringA(rec, 0, text.c_str());
    MsiProcessMessage(hInstall, kind, rec);
}

std::string Property(MSIHANDLE hInstall, const char* name) {
    char buf[64] = {};
    DWORD len = sizeof(buf);
    return MsiGetPropertyA(hInstall, name, buf, &len) == ERROR_SUCCESS ? buf : "";
}

bool JobRunning() {
    // The runner holds this mutex (created, not owned) for the life of a job.
    vlm::CHandle mutex(OpenMutexA(SYNCHRONIZE, FALSE, vx410::kToolMutexName));
    return mutex.IsValid();
}

std::vector<DWORD> CorvidProcesses() {
    std::vector<DWORD> pids;
    vlm::CHandle snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snap)
        return pids;
    PROCESSENTRY32 pe{};
    pe.dwSize = sizeof(pe);
    for (BOOL more = Process32First(snap, &pe); more; more = Process32Next(snap, &pe))
        if (!lstrcmpiA(pe.szExeFile, "corvid.exe"))
            pids.push_back(pe.th32ProcessID);
    return pids;
}

BOOL CALLBACK CloseMainWindow(HWND hWnd, LPARAM pid) {
    DWORD owner = 0;
    GetWindowThreadProcessId(hWnd, &owner);
    if (owner == static_cast<DWORD>(pid) && IsWindowVisible(hWnd) && !GetWindow(hWnd, GW_OWNER))
        PostMessageA(hWnd, WM_CLOSE, 0, 0);
    return TRUE;
}

} // namespace

// Waits, up to KESTRELWAIT seconds, for a running job to end; fails the
// installation before anything is changed when it does not.
extern "C" UINT __stdcall WaitForJob(MSIHANDLE hInstall) {
    if (!JobRunning())
        return ERROR_SUCCESS;
    const std::string wait = Property(hInstall, "KESTRELWAIT");
    const DWORD seconds =
        wait.empty() ? kDefaultJobWaitSeconds : strtoul(wait.c_str(), nullptr, 10);
    Tell(hInstall, INSTALLMESSAGE_INFO,
         "A scan job is running: waiting up to " + std::to_string(seconds) + " s for it to end.");
    const ULONGLONG end = GetTickCount64() + seconds * 1000ull;
    while (JobRunning()) {
        if (GetTickCount64() >= end) {
            Tell(hInstall, INSTALLMESSAGE_ERROR,
                 "A scan job is running. Let it finish, then start the installation again. "
                 "Nothing was changed.");
            return ERROR_INSTALL_FAILURE;
        }
        Sleep(kPollMs);
    }
    Tell(hInstall, INSTALLMESSAGE_INFO, "The scan job ended.");
    return ERROR_SUCCESS;
}

// Closes every corvid (its main window gets WM_CLOSE, as from its title bar)
// and sets CORVIDCLOSED, so that the package can start corvid again at the
// end. A corvid that does not close in time (busy in a dialog) fails the
// installation before anything is changed.
extern "C" UINT __stdcall CloseCorvid(MSIHANDLE hInstall) {
    std::vector<vlm::CHandle> running;
    for (DWORD pid : CorvidProcesses()) {
        vlm::CHandle h(OpenProcess(SYNCHRONIZE, FALSE, pid));
        if (!h)
            continue;
        EnumWindows(CloseMainWindow, static_cast<LPARAM>(pid));
        running.push_back(std::move(h));
    }
    if (running.empty())
        return ERROR_SUCCESS;
    Tell(hInstall, INSTALLMESSAGE_INFO, "Closing corvid.");
    const ULONGLONG end = GetTickCount64() + kCorvidCloseMs;
    for (const vlm::CHandle& h : running) {
        const ULONGLONG now = GetTickCount64();
        if (WaitForSingleObject(h, now < end ? static_cast<DWORD>(end - now) : 0) !=
            WAIT_OBJECT_0) {
            Tell(hInstall, INSTALLMESSAGE_ERROR,
                 "corvid did not close. Close corvid, then start the installation again. "
                 "Nothing was changed.");
            return ERROR_INSTALL_FAILURE;
        }
    }
    MsiSetPropertyA(hInstall, "CORVIDCLOSED", "1");
    return ERROR_SUCCESS;
}
