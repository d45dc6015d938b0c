#include "uirobot.h"
#include <tlhelp32.h>

namespace {
std::string Text(HWND hWnd) {
    int n = GetWindowTextLengthA(hWnd);
    if (n <= 0)
        return std::string();
    std::string s(static_cast<size_t>(n) + 1, '\0');
    n = GetWindowTextA(hWnd, &s[0], n + 1);
    s.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return s;
}

std::string ClassOf(HWND hWnd) {
    char cls[64] = {};
    GetClassNameA(hWnd, cls, sizeof cls);
    return cls;
}

std::string Plain(const std::string& s) {
    std::string out;
    for (char c : s)
        if (c != '&')
            out += c;
    return out;
}

std::string OneLine(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '\r')
            continue;
        if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

struct EnumState {
    const CUiFindOptions* m_pOptions;
    std::vector<DWORD> m_pids;
    std::vector<CUiDialogInfo> m_found;
};

BOOL CALLBACK CollectChild(HWND hWnd, LPARAM lParam) {
    CUiDialogInfo* info = reinterpret_cast<CUiDialogInfo*>(lParam);
    // Only direct children: nested dialogs are reported on their own.
    if (GetParent(hWnd) != info->m_hWnd)
        return TRUE;
    std::string cls = ClassOf(hWnd);
    std::string text = Text(hWnd);
    if (text.empty())
        return TRUE;
    if (lstrcmpiA(cls.c_str(), "Button") == 0) {
        info->m_buttons.push_back(text);
        info->m_buttonWnds.push_back(hWnd);
    } else if (lstrcmpiA(cls.c_str(), "Static") == 0 || lstrcmpiA(cls.c_str(), "Edit") == 0) {
        info->m_texts.push_back(text);
    }
    return TRUE;
}

BOOL CALLBACK CollectTop(HWND hWnd, LPARAM lParam) {
    EnumState* st = reinterpret_cast<EnumState*>(lParam);
    if (!st->m_pOptions->m_bAnyClass && ClassOf(hWnd) != "#32770")
        return TRUE;
    if (!st->m_pOptions->m_bIncludeHidden && !IsWindowVisible(hWnd))
        return TRUE;
    DWORD pid = 0;
    GetWindowThreadProcessId(hWnd, &pid);
    if (!st->m_pids.empty()) {
        bool match = false;
        for (DWORD p : st->m_pids)
            match = match || p == pid;
        if (!match)
            return TRUE;
    }
    CUiDialogInfo info = UiReadDialog(hWnd);
    info.m_dwProcessId = pid;
    if (!st->m_pOptions->m_strCaption.empty() && info.m_strCaption != st->m_pOptions->m_strCaption)
        return TRUE;
    st->m_found.push_back(info);
    return TRUE;
}
} // namespace

std::vector<DWORD> UiFindProcesses(const char* exeName) {
    std::vector<DWORD> pids;
    if (!exeName || !*exeName)
        return pids;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE)
        return pids;
    PROCESSENTRY32 pe;
    pe.dwSize = sizeof pe;
    for (BOOL ok = Process32First(snap, &pe); ok; ok = Process32Next(snap, &pe)) {
        const char* name = pe.szExeFile;
        const char* slash = strrchr(name, '\\');
        if (slash)
            name = slash + 1;
        if (lstrcmpiA(name, exeName) == 0)
            pids.push_back(pe.th32ProcessID);
    }
    CloseHandle(snap);
    return pids;
}

CUiDialogInfo UiReadDialog(HWND hWnd) {
    CUiDialogInfo info;
    info.m_hWnd = hWnd;
    info.m_strCaption = Text(hWnd);
    GetWindowThreadProcessId(hWnd, &info.m_dwProcessId);
    EnumChildWindows(hWnd, CollectChild, reinterpret_cast<LPARAM>(&info));
    return info;
}

std::vector<CUiDialogInfo> UiFindDialogs(const CUiFindOptions& options) {
    EnumState st;
    st.m_pOptions = &options;
    if (options.m_dwProcessId)
        st.m_pids.push_back(options.m_dwProcessId);
    if (!options.m_strExeName.empty()) {
        std::vector<DWORD> byName = UiFindProcesses(options.m_strExeName.c_str());
        if (byName.empty())
            return {};
        st.m_pids.insert(st.m_pids.end(), byName.begin(), byName.end());
    }
    EnumWindows(CollectTop, reinterpret_cast<LPARAM>(&st));
    return st.m_found;
}

bool UiWaitForDialog(const CUiFindOptions& options, DWORD timeoutMs, CUiDialogInfo& out) {
    DWORD start = GetTickCount();
    for (;;) {
        std::vector<CUiDialogInfo> found = UiFindDialogs(options);
        // A dialog still being built has no buttons yet; wait for them.
        // Other windows need not have buttons at all.
        for (const CUiDialogInfo& d : found)
            if (!d.m_buttons.empty() || options.m_bAnyClass) {
                out = d;
                return true;
            }
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(50);
    }
}

bool UiPressButton(const CUiDialogInfo& dialog, const char* buttonText) {
    if (!buttonText)
        return false;
    std::string want = Plain(buttonText);
    for (size_t i = 0; i < dialog.m_buttons.size(); ++i) {
        if (lstrcmpiA(Plain(dialog.m_buttons[i]).c_str(), want.c_str()) != 0)
            continue;
        HWND hButton = dialog.m_buttonWnds[i];
        if (!IsWindow(hButton) || !IsWindowEnabled(hButton))
            return false;
        int id = GetDlgCtrlID(hButton);
        return PostMessageA(dialog.m_hWnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                            reinterpret_cast<LPARAM>(hButton)) != 0;
    }
    return false;
}

std::string UiDescribe(const CUiDialogInfo& dialog) {
    std::string s = "caption=" + OneLine(dialog.m_strCaption) + "|text=";
    for (size_t i = 0; i < dialog.m_texts.size(); ++i)
        s += (i ? "\\n" : "") + OneLine(dialog.m_texts[i]);
    s += "|buttons=";
    for (size_t i = 0; i < dialog.m_buttons.size(); ++i)
        s += (i ? "," : "") + Plain(dialog.m_buttons[i]);
    return s;
}
