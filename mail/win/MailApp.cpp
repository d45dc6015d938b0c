#include "mail/win/MailApp.h"

#include <mapi.h>

#include <algorithm>
#include <cstdlib>

#include "contracts/mail/NotesSmi.h"

namespace vlm::mail {
namespace {
// Library functions as their real type (through void*, which FARPROC converts to).
template <class F> F ProcAs(FARPROC p) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(p));
}

const char kNotesAppPath[] = "SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\APP PATHS\\NOTES.EXE";

bool EqualNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           ::CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(), int(a.size()), b.c_str(),
                            int(b.size())) == CSTR_EQUAL;
}

std::string DefaultValue(HKEY root, const char* key) {
    CRegKey k;
    std::string value;
    if (k.Open(root, key) == ERROR_SUCCESS)
        k.QueryString(nullptr, value);
    return value;
}

std::vector<std::string> SubKeys(HKEY root, const std::string& key) {
    std::vector<std::string> names;
    CRegKey k;
    if (k.Open(root, key.c_str()) != ERROR_SUCCESS)
        return names;
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD len = sizeof name;
        if (::RegEnumKeyExA(k, i, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.emplace_back(name, len);
    }
    return names;
}
} // namespace

std::string MailFileName(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// ---- Simple MAPI ----

CSimpleMAPI::~CSimpleMAPI() = default;

BOOL CSimpleMAPI::Load() {
    if (!m_Library.Load("mapi32.dll"))
        return FALSE;
    m_pLogon = m_Library.GetProc("MAPILogon");
    m_pLogoff = m_Library.GetProc("MAPILogoff");
    m_pSendMail = m_Library.GetProc("MAPISendMail");
    return m_pLogon && m_pLogoff && m_pSendMail;
}

BOOL CSimpleMAPI::Logon() {
    LHANDLE session = 0;
    const ULONG r = ProcAs<LPMAPILOGON>(m_pLogon)(0, nullptr, nullptr, MAPI_LOGON_UI, 0, &session);
    m_Session = session;
    return r == SUCCESS_SUCCESS;
}

BOOL CSimpleMAPI::Logoff() {
    return ProcAs<LPMAPILOGOFF>(m_pLogoff)(m_Session, 0, 0, 0) == SUCCESS_SUCCESS;
}

BOOL CMailFiles::Set(const std::vector<std::string>& list) {
    paths = list;
    names.clear();
    for (const auto& p : list)
        names.push_back(MailFileName(p));
    return TRUE;
}

BOOL CSimpleMAPI::SetAttachments(const std::vector<std::string>& paths) {
    return m_Files.Set(paths);
}

BOOL CSimpleMAPI::Send() {
    std::vector<MapiFileDesc> files(m_Files.paths.size());
    for (size_t i = 0; i < files.size(); ++i) {
        files[i] = {};
        files[i].nPosition = ULONG(-1); // no place in the note text
        files[i].lpszPathName = const_cast<char*>(m_Files.paths[i].c_str());
        files[i].lpszFileName = const_cast<char*>(m_Files.names[i].c_str());
    }
    MapiMessage message{};
    message.lpszSubject = const_cast<char*>("");
    message.lpszNoteText = const_cast<char*>("");
    message.nFileCount = ULONG(files.size());
    message.lpFiles = files.empty() ? nullptr : files.data();
    return ProcAs<LPMAPISENDMAIL>(m_pSendMail)(m_Session, 0, &message, MAPI_LOGON_UI | MAPI_DIALOG,
                                               0) == SUCCESS_SUCCESS;
}

// ---- Notes ----

BOOL CNotes::Load() {
    char current[MAX_PATH];
    const DWORD n = ::GetCurrentDirectoryA(MAX_PATH, current);
    m_SavedDirectory.assign(current, n < MAX_PATH ? n : 0);
    // SMI32.DLL is found from the Notes folder.
    const std::string notes = DefaultValue(HKEY_LOCAL_MACHINE, kNotesAppPath);
    const size_t slash = notes.find_last_of('\\');
    if (!notes.empty() && slash != std::string::npos) {
        ::SetCurrentDirectoryA(notes.substr(0, slash).c_str());
    } else if (!::SetCurrentDirectoryA("c:\\notes")) {
        ::MessageBoxA(nullptr, "Can not use NotesMail", nullptr, MB_OK | MB_ICONEXCLAMATION);
        return FALSE;
    }
    if (!m_Library.Load("SMI32.DLL"))
        return FALSE;
    m_pSendMail = m_Library.GetProc("SMISendMail");
    m_pSendDocuments = m_Library.GetProc("SMISendDocuments");
    return m_pSendMail && m_pSendDocuments;
}

BOOL CNotes::Logoff() {
    return ::SetCurrentDirectoryA(m_SavedDirectory.c_str());
}

BOOL CNotes::SetAttachments(const std::vector<std::string>& paths) {
    return m_Files.Set(paths);
}

BOOL CNotes::Send() {
    std::vector<SmiFileEntry> files;
    for (size_t i = 0; i < m_Files.paths.size(); ++i)
        files.push_back({m_Files.paths[i].c_str(), m_Files.names[i].c_str(), 0});
    const auto send = ProcAs<SmiSendMailFn>(m_pSendMail);
    ULONG r;
    do // 1 asks to be called again
        r = send(0, 0, 0, ULONG(files.size()), files.data(), "", "", 0, 1, 0);
    while (r == 1);
    return r == 0;
}

// ---- the choice ----

std::string DefaultMailClient() {
    std::string client = DefaultValue(HKEY_CURRENT_USER, "SOFTWARE\\CLIENTS\\MAIL");
    return client.empty() ? DefaultValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\CLIENTS\\MAIL") : client;
}

bool IsNotesNewerThan6() {
    CRegKey app;
    if (app.Open(HKEY_LOCAL_MACHINE, kNotesAppPath) != ERROR_SUCCESS)
        return true;
    long greatest = 0;
    for (const auto& name : SubKeys(HKEY_LOCAL_MACHINE, "SOFTWARE\\LOTUS\\NOTES\\"))
        greatest = std::max(greatest, std::strtol(name.c_str(), nullptr, 10));
    return greatest - 6 >= 1;
}

bool Is64BitOutlook() {
    for (const auto& version : SubKeys(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Office")) {
        const std::string key = "SOFTWARE\\Microsoft\\Office\\" + version;
        for (const auto& sub : SubKeys(HKEY_LOCAL_MACHINE, key)) {
            if (sub != "Outlook")
                continue;
            CRegKey k;
            std::string bitness;
            if (k.Open(HKEY_LOCAL_MACHINE, (key + "\\" + sub).c_str()) == ERROR_SUCCESS &&
                k.QueryString("Bitness", bitness) == ERROR_SUCCESS && !bitness.empty())
                return bitness == "x64"; // the first one found decides
        }
    }
    return false;
}

void CHarvMail::Make() {
    const std::string client = DefaultMailClient();
    const bool notes = EqualNoCase(client, "Lotus Notes") ||
                       EqualNoCase(client, "Lotus Notes Mail") || EqualNoCase(client, "Notes Mail");
    if (notes && IsNotesNewerThan6())
        m_Mail = std::make_unique<CNotes>();
    else
        m_Mail = std::make_unique<CSimpleMAPI>();
}

bool CHarvMail::IsNotes() const {
    return dynamic_cast<CNotes*>(m_Mail.get()) != nullptr;
}

bool CHarvMail::UseHelperProgram(const std::string& programFolder) {
    const std::string client = DefaultMailClient();
    if (client.empty())
        return false;
    std::vector<std::string> names;
    const std::string list = programFolder + "\\RPXMailList.txt";
    if (::GetFileAttributesA(list.c_str()) != INVALID_FILE_ATTRIBUTES) {
        std::string buffer(32768, '\0');
        const DWORD n =
            ::GetPrivateProfileSectionNamesA(buffer.data(), DWORD(buffer.size()), list.c_str());
        for (const char* p = buffer.data(); p < buffer.data() + n && *p; p += strlen(p) + 1)
            names.emplace_back(p);
    }
    if (Is64BitOutlook())
        names.emplace_back("Microsoft Outlook");
    return std::any_of(names.begin(), names.end(),
                       [&](const std::string& n) { return EqualNoCase(n, client); });
}

// ---- ScanToMapi ----

namespace {
BOOL RunHelper(const MapiJobInput& in, IMapiLog& log) {
    log.OnMapiLog("MAPI 64 start");
    std::string args = "start";
    for (const auto& f : in.files)
        args += " \"" + f + "\"";
    const std::string program = in.programFolder + "\\RPXMail.exe";
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpVerb = "open";
    info.lpFile = program.c_str();
    info.lpParameters = args.c_str();
    info.lpDirectory = in.programFolder.c_str();
    info.nShow = SW_HIDE;
    if (!::ShellExecuteExA(&info) || !info.hProcess) {
        log.OnMapiLog("ShellExecute error: " + std::to_string(::GetLastError()));
        return FALSE;
    }
    CHandle process(info.hProcess);
    // The helper's own outcome is not examined.
    ::WaitForSingleObject(process.Get(), in.helperWaitMs);
    return TRUE;
}

BOOL BringToFront(HWND wnd) {
    if (!wnd)
        return TRUE;
    const DWORD foreground = ::GetWindowThreadProcessId(::GetForegroundWindow(), nullptr);
    const DWORD self = ::GetCurrentThreadId();
    const bool attach = foreground && foreground != self;
    if (attach && !::AttachThreadInput(self, foreground, TRUE))
        return FALSE;
    ::SetForegroundWindow(wnd);
    if (attach)
        ::AttachThreadInput(self, foreground, FALSE);
    return ::SetWindowPos(wnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}
} // namespace

BOOL ScanToMapi(const MapiJobInput& in, IMapiLog& log, std::string& message) {
    message.clear();
    ULONGLONG total = 0;
    for (const auto& f : in.files) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (::GetFileAttributesExA(f.c_str(), GetFileExInfoStandard, &data))
            total += ULONGLONG(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
    }
    if (total > in.mailSize) {
        message = "File size too large.";
        return FALSE;
    }
    if (CHarvMail::UseHelperProgram(in.programFolder))
        return RunHelper(in, log);

    CHarvMail mail;
    mail.Make();
    if (!mail.Load()) {
        message = "Mail application is not exist";
        return FALSE;
    }
    if (!mail.Logon()) {
        message = "Logon failed";
        return FALSE;
    }
    mail.Logoff(); // the log-on was a test
    if (!BringToFront(in.dialog))
        return FALSE;
    CHarvMail send;
    send.Make();
    if (!send.Load() || !send.Logon() || !send.SetAttachments(in.files) || !send.Send() ||
        !send.Logoff()) {
        message = "Canceled to send mail or Failed to send mail";
        return FALSE;
    }
    return TRUE;
}

} // namespace vlm::mail
