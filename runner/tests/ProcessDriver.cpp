#include "ProcessDriver.h"

#include <tlhelp32.h>
#include <winternl.h>

#include "framework/Handles.h"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace kestreltest {

std::string WinPath(const char* unixPath) {
    std::string p = std::string("Z:") + unixPath;
    for (char& c : p)
        if (c == '/')
            c = '\\';
    return p;
}

std::string ProgramPath(const char* folder, const char* exe) {
    return std::string("C:\\Program Files\\Velmora Works\\") + folder + "\\" + exe;
}

std::string ThroughDriveZ(const std::string& cPath) {
    const char* prefix = getenv("WINEPREFIX");
    if (!prefix || cPath.size() < 2 || (cPath[0] != 'C' && cPath[0] != 'c') || cPath[1] != ':')
        return std::string();
    return WinPath((std::string(prefix) + "/drive_c").c_str()) + cPath.substr(2);
}

CProcess::~CProcess() {
    if (m_hProcess) {
        if (Running())
            TerminateProcess(m_hProcess, 99);
        CloseHandle(m_hProcess);
    }
}

// CreateProcess under Wine on a heavily loaded machine has failed now and then
// (the child's start-up not confirmed in time); a failed start is tried again
// a few times, and the last error is reported.
static BOOL StartProcess(std::string cmd, BOOL inherit, STARTUPINFOA& si, PROCESS_INFORMATION& pi) {
    for (int attempt = 0;; ++attempt) {
        std::string c = cmd;
        if (CreateProcessA(nullptr, c.data(), nullptr, nullptr, inherit, 0, nullptr, nullptr, &si,
                           &pi))
            return TRUE;
        const DWORD err = GetLastError();
        if (attempt == 4) {
            fprintf(stderr, "CreateProcess failed (error %lu): %s\n", err, cmd.c_str());
            return FALSE;
        }
        fprintf(stderr, "CreateProcess failed (error %lu), trying again: %s\n", err, cmd.c_str());
        Sleep(200);
    }
}

// A new start lets go of the handle of the process before (left running).
void CProcess::Adopt(const PROCESS_INFORMATION& pi) {
    if (m_hProcess)
        CloseHandle(m_hProcess);
    m_hProcess = pi.hProcess;
    m_nPid = pi.dwProcessId;
}

BOOL CProcess::Start(const std::string& cmd) {
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!StartProcess(cmd, FALSE, si, pi))
        return FALSE;
    CloseHandle(pi.hThread);
    Adopt(pi);
    return TRUE;
}

BOOL CProcess::Start(const std::string& cmd, const std::string& outPath) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE hOut = CreateFileA(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS,
                              0, nullptr);
    if (hOut == INVALID_HANDLE_VALUE)
        return FALSE;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = hOut;
    si.hStdError = hOut;
    PROCESS_INFORMATION pi{};
    const BOOL ok = StartProcess(cmd, TRUE, si, pi);
    CloseHandle(hOut);
    if (!ok)
        return FALSE;
    CloseHandle(pi.hThread);
    Adopt(pi);
    return TRUE;
}

DWORD CProcess::Wait(DWORD ms) {
    if (WaitForSingleObject(m_hProcess, ms) != WAIT_OBJECT_0) {
        TerminateProcess(m_hProcess, 99);
        WaitForSingleObject(m_hProcess, 5000);
        return 0xFFFFFFFE;
    }
    DWORD code = 0;
    GetExitCodeProcess(m_hProcess, &code);
    return code;
}

BOOL CProcess::Running() const {
    return m_hProcess && WaitForSingleObject(m_hProcess, 0) == WAIT_TIMEOUT;
}

// The command line in the process parameters of another process's PEB.
static std::string CommandLineOf(DWORD pid) {
    const vlm::CHandle h(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
    using QueryFn = LONG(WINAPI*)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
    const auto query = reinterpret_cast<QueryFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationProcess")));
    PROCESS_BASIC_INFORMATION basic{};
    PEB peb{};
    RTL_USER_PROCESS_PARAMETERS params{};
    if (!h || !query || query(h, ProcessBasicInformation, &basic, sizeof basic, nullptr) != 0 ||
        !ReadProcessMemory(h, basic.PebBaseAddress, &peb, sizeof peb, nullptr) ||
        !ReadProcessMemory(h, peb.ProcessParameters, &params, sizeof params, nullptr))
        return std::string();
    std::wstring line(params.CommandLine.Length / sizeof(wchar_t), L'\0');
    if (!ReadProcessMemory(h, params.CommandLine.Buffer, &line[0], params.CommandLine.Length,
                           nullptr))
        return std::string();
    std::string ansi(line.size() * 2 + 1, '\0');
    ansi.resize(WideCharToMultiByte(CP_ACP, 0, line.c_str(), int(line.size()), &ansi[0],
                                    int(ansi.size()), nullptr, nullptr));
    return ansi;
}

std::vector<CRunningProcess> RunningProcesses(const char* exeName) {
    std::vector<CRunningProcess> found;
    const vlm::CHandle snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32 pe = {};
    pe.dwSize = sizeof pe;
    for (BOOL more = Process32First(snap, &pe); more; more = Process32Next(snap, &pe))
        if (_stricmp(pe.szExeFile, exeName) == 0)
            found.push_back({pe.th32ProcessID, CommandLineOf(pe.th32ProcessID)});
    return found;
}

DWORD RunCapture(const std::string& cmd, std::string* pOut, DWORD ms) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE hRead = nullptr, hWrite = nullptr;
    if (!CreatePipe(&hRead, &hWrite, &sa, 0))
        return 0xFFFFFFFF;
    SetHandleInformation(hRead, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = hWrite;
    si.hStdError = hWrite;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi{};
    BOOL ok = StartProcess(cmd, TRUE, si, pi);
    CloseHandle(hWrite);
    if (!ok) {
        CloseHandle(hRead);
        return 0xFFFFFFFF;
    }
    // Read until the process ends: a grandchild (a Wine service started on
    // demand) may inherit the pipe and keep it open long after.
    std::string out;
    char buf[4096];
    DWORD code = 0xFFFFFFFE;
    for (DWORD waited = 0;;) {
        DWORD avail = 0, got = 0;
        while (PeekNamedPipe(hRead, nullptr, 0, nullptr, &avail, nullptr) && avail &&
               ReadFile(hRead, buf, sizeof buf, &got, nullptr) && got)
            out.append(buf, got);
        if (WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0) {
            while (PeekNamedPipe(hRead, nullptr, 0, nullptr, &avail, nullptr) && avail &&
                   ReadFile(hRead, buf, sizeof buf, &got, nullptr) && got)
                out.append(buf, got);
            GetExitCodeProcess(pi.hProcess, &code);
            break;
        }
        if (waited >= ms) {
            TerminateProcess(pi.hProcess, 99);
            break;
        }
        Sleep(20);
        waited += 20;
    }
    CloseHandle(hRead);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    if (pOut)
        *pOut = out;
    return code;
}

namespace {
struct CFind {
    DWORD m_nPid;
    HWND m_hFound = nullptr;
};

BOOL CALLBACK FindDialog(HWND h, LPARAM l) {
    auto* f = reinterpret_cast<CFind*>(l);
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    char cls[64] = {};
    GetClassNameA(h, cls, sizeof cls);
    if (pid == f->m_nPid && std::string(cls) == "#32770" && IsWindowVisible(h)) {
        f->m_hFound = h;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK CollectChild(HWND h, LPARAM l) {
    auto* info = reinterpret_cast<CMessageBoxInfo*>(l);
    char cls[64] = {};
    GetClassNameA(h, cls, sizeof cls);
    char text[2048] = {};
    GetWindowTextA(h, text, sizeof text);
    std::string c(cls);
    if (_stricmp(c.c_str(), "Button") == 0) {
        std::string t;
        for (const char* p = text; *p; ++p)
            if (*p != '&')
                t += *p;
        info->m_buttons.push_back(t);
    } else if (_stricmp(c.c_str(), "Static") == 0) {
        if ((GetWindowLongA(h, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
            if (IsWindowVisible(h) && SendMessageA(h, STM_GETICON, 0, 0))
                info->m_bIcon = true;
        } else if (text[0]) {
            if (!info->m_strText.empty())
                info->m_strText += "\n";
            info->m_strText += text;
        }
    }
    return TRUE;
}
} // namespace

BOOL WaitMessageBox(DWORD pid, DWORD ms, CMessageBoxInfo* pInfo) {
    for (DWORD t = 0; t <= ms; t += 100) {
        CFind f{pid};
        EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&f));
        if (f.m_hFound) {
            CMessageBoxInfo info;
            info.m_hWnd = f.m_hFound;
            char cap[512] = {};
            GetWindowTextA(f.m_hFound, cap, sizeof cap);
            info.m_strCaption = cap;
            EnumChildWindows(f.m_hFound, CollectChild, reinterpret_cast<LPARAM>(&info));
            if (!info.m_buttons.empty()) {
                *pInfo = info;
                return TRUE;
            }
        }
        Sleep(100);
    }
    return FALSE;
}

BOOL PressButton(const CMessageBoxInfo& box, const char* name) {
    struct CPress {
        const char* m_pName;
        HWND m_hButton = nullptr;
    } press{name};
    EnumChildWindows(
        box.m_hWnd,
        [](HWND h, LPARAM l) -> BOOL {
            auto* p = reinterpret_cast<CPress*>(l);
            char text[256] = {};
            GetWindowTextA(h, text, sizeof text);
            std::string t;
            for (const char* c = text; *c; ++c)
                if (*c != '&')
                    t += *c;
            if (t == p->m_pName) {
                p->m_hButton = h;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&press));
    if (!press.m_hButton)
        return FALSE;
    return PostMessageA(box.m_hWnd, WM_COMMAND,
                        MAKEWPARAM(GetDlgCtrlID(press.m_hButton), BN_CLICKED),
                        reinterpret_cast<LPARAM>(press.m_hButton));
}

BOOL WaitWindowGone(HWND hWnd, DWORD ms) {
    for (DWORD t = 0; t <= ms; t += 50) {
        if (!IsWindow(hWnd))
            return TRUE;
        Sleep(50);
    }
    return FALSE;
}

DWORD WaitEndAnsweringBoxes(CProcess& process, DWORD ms, CMessageBoxInfo* pBox) {
    for (DWORD t = 0; t < ms; t += 100) {
        if (WaitForSingleObject(process.m_hProcess, 100) == WAIT_OBJECT_0)
            return process.Wait(0);
        CMessageBoxInfo box;
        if (WaitMessageBox(process.m_nPid, 0, &box)) {
            if (pBox && !pBox->m_hWnd)
                *pBox = box;
            PressButton(box, "OK");
            WaitWindowGone(box.m_hWnd, 10000);
        }
    }
    return process.Wait(0);
}

std::string ReadFileText(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

std::vector<std::string> ListFiles(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((folder + "\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(fd.cFileName);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string cur;
    for (char c : text) {
        if (c == '\n') {
            if (!cur.empty() && cur.back() == '\r')
                cur.pop_back();
            lines.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty())
        lines.push_back(cur);
    return lines;
}

void RemoveTree(const std::string& folder) {
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((folder + "\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = fd.cFileName;
            if (name == "." || name == "..")
                continue;
            const std::string path = folder + "\\" + name;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path);
            else
                DeleteFileA(path.c_str());
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    RemoveDirectoryA(folder.c_str());
}

std::string NewTempFolder(const std::string& stem) {
    static int s_nMade = 0;
    char tmp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, tmp);
    const std::string folder = tmp + stem + "-" + std::to_string(GetCurrentProcessId()) + "-" +
                               std::to_string(GetTickCount()) + "-" + std::to_string(++s_nMade);
    return CreateDirectoryA(folder.c_str(), nullptr) ? folder : std::string();
}

} // namespace kestreltest
