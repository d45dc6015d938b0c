#include "mail/win/MailApp.h"

#include <mapi.h>

#include <algorithm>
#include <cstdlib>
#include <initializer_list>

#include "contracts/mail/NotesSmi.h"

namespace vlm::mail {
namespace {
// Library functions as their real type (through void*, which FARPROC converts to).
template <class F> F ProcAs(FARPROC p) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(p));
}

const char kNotesKey[] = "SOFTWARE\\LOTUS\\NOTES";
const char kNotesAppPath[] = "SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\APP PATHS\\NOTES.EXE";

bool EqualNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           ::CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(), int(a.size()), b.c_str(),
                            int(b.size())) == CSTR_EQUAL;
}

const char kClientsMail[] = "SOFTWARE\\CLIENTS\\MAIL";

// The registry views of the local machine, 64-bit first.
struct RegistryView {
    unsigned bits;
    REGSAM sam;
};
const RegistryView kViews[] = {{kMailBits64, KEY_WOW64_64KEY}, {kMailBits32, KEY_WOW64_32KEY}};

std::string DefaultValue(HKEY root, const char* key) {
    CRegKey k;
    std::string value;
    if (k.Open(root, key) == ERROR_SUCCESS)
        k.QueryString(nullptr, value);
    return value;
}

// The views in which HKLM key exists and, when values are given, holds one of
// them as a text that is not empty.
unsigned ViewsWith(const std::string& key, std::initializer_list<const char*> values) {
    unsigned bits = kMailBitsNone;
    for (const RegistryView& view : kViews) {
        CRegKey k;
        if (k.Open(HKEY_LOCAL_MACHINE, key.c_str(), KEY_READ | view.sam) != ERROR_SUCCESS)
            continue;
        bool found = values.size() == 0;
        for (const char* name : values) {
            std::string value;
            found = found || (k.QueryString(name, value) == ERROR_SUCCESS && !value.empty());
        }
        if (found)
            bits |= view.bits;
    }
    return bits;
}

std::vector<std::string> SubKeys(HKEY root, const std::string& key, REGSAM view = 0) {
    std::vector<std::string> names;
    CRegKey k;
    if (k.Open(root, key.c_str(), KEY_READ | view) != ERROR_SUCCESS)
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
    std::string client = DefaultValue(HKEY_CURRENT_USER, kClientsMail);
    return client.empty() ? DefaultValue(HKEY_LOCAL_MACHINE, kClientsMail) : client;
}

bool IsNotesNewerThan6() {
    CRegKey app;
    if (app.Open(HKEY_LOCAL_MACHINE, kNotesAppPath) != ERROR_SUCCESS)
        return true;
    long greatest = 0;
    for (const auto& name : SubKeys(HKEY_LOCAL_MACHINE, kNotesKey))
        greatest = std::max(greatest, std::strtol(name.c_str(), nullptr, 10));
    return greatest - 6 >= 1;
}

unsigned OutlookBits() {
    for (const RegistryView& view : kViews) {
        for (const auto& version :
             SubKeys(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Office", view.sam)) {
            const std::string key = "SOFTWARE\\Microsoft\\Office\\" + version;
            for (const auto& sub : SubKeys(HKEY_LOCAL_MACHINE, key, view.sam)) {
                if (sub != "Outlook")
                    continue;
                CRegKey k;
                std::string bitness;
                if (k.Open(HKEY_LOCAL_MACHINE, (key + "\\" + sub).c_str(), KEY_READ | view.sam) ==
                        ERROR_SUCCESS &&
                    k.QueryString("Bitness", bitness) == ERROR_SUCCESS && !bitness.empty())
                    // The first one found decides.
                    return bitness == "x64"   ? kMailBits64
                           : bitness == "x86" ? kMailBits32
                                              : kMailBitsNone;
            }
        }
    }
    return kMailBitsNone;
}

void CHarvMail::Make() {
    if (IsNotesClientName(DefaultMailClient()) && IsNotesNewerThan6())
        m_Mail = std::make_unique<CNotes>();
    else
        m_Mail = std::make_unique<CSimpleMAPI>();
}

bool CHarvMail::IsNotes() const {
    return dynamic_cast<CNotes*>(m_Mail.get()) != nullptr;
}

MailClientFacts CHarvMail::ReadClientFacts(const std::string& programFolder) {
    MailClientFacts facts;
    facts.client = DefaultMailClient();
    if (facts.client.empty())
        return facts;
    facts.registered =
        ViewsWith(std::string(kClientsMail) + "\\" + facts.client, {"DLLPathEx", "DLLPath"});
    if (EqualNoCase(facts.client, "Microsoft Outlook"))
        facts.outlook = OutlookBits();
    facts.notes = IsNotesClientName(facts.client);
    if (facts.notes)
        // Its App Paths entry is shared by both views; its own key is not.
        facts.notesInstalled = ViewsWith(kNotesKey, {});
    const std::string list = programFolder + "\\RPXMailList.txt";
    if (::GetFileAttributesA(list.c_str()) != INVALID_FILE_ATTRIBUTES) {
        std::string buffer(32768, '\0');
        const DWORD n =
            ::GetPrivateProfileSectionNamesA(buffer.data(), DWORD(buffer.size()), list.c_str());
        for (const char* p = buffer.data(); p < buffer.data() + n && *p; p += strlen(p) + 1)
            facts.listed = facts.listed || EqualNoCase(p, facts.client);
    }
    return facts;
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
    const MailClientFacts facts = CHarvMail::ReadClientFacts(in.programFolder);
    log.OnMapiLog(DescribeMailRoute(facts, kProcessMailBits));
    if (ChooseMailRoute(facts, kProcessMailBits) == MailRoute::Helper)
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
