// "Attach to E-mail": the scanned files go to a new message of the user's
// mail application, through Simple MAPI ("mapi32.dll") or the Notes mail
// interface ("SMI32.DLL") in this process when the mail program is built for
// this process's bitness, otherwise through the helper program "RPXMail.exe"
// beside the runner, built for the other bitness (mail/core/MailRoute.h).
//
// Use from the job dialog's ScanToMapi (CJobDlg):
//   log "ScanToMapi\n"; MapiJobInput in{files, store-wide "MailSize", program
//   folder, m_hWnd}; std::string message;
//   if (!vlm::mail::ScanToMapi(in, logger, message)) { if (!message.empty())
//   DispMessage(localised message, TRUE); m_ErrorDisplaied = TRUE; return FALSE; }
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "framework/Handles.h"
#include "mail/core/MailRoute.h"

namespace vlm::mail {

class CMail {
public:
    virtual ~CMail() = default;
    virtual BOOL Load() = 0;
    virtual BOOL Logon() = 0;
    virtual BOOL Logoff() = 0;
    virtual BOOL Send() = 0;
    virtual BOOL SetAttachments(const std::vector<std::string>& paths) = 0;
};

// The file name of a path: the text after the last "\" or "/".
std::string MailFileName(const std::string& path);

// The attachment paths and their file names, as both libraries take them.
struct CMailFiles {
    std::vector<std::string> paths, names;
    BOOL Set(const std::vector<std::string>& list);
};

class CSimpleMAPI : public CMail {
public:
    ~CSimpleMAPI() override;
    BOOL Load() override;
    BOOL Logon() override;
    BOOL Logoff() override;
    BOOL Send() override;
    BOOL SetAttachments(const std::vector<std::string>& paths) override;

private:
    CModule m_Library;
    ULONG_PTR m_Session = 0;
    CMailFiles m_Files;
    FARPROC m_pLogon = nullptr, m_pLogoff = nullptr, m_pSendMail = nullptr;
};

class CNotes : public CMail {
public:
    BOOL Load() override;
    BOOL Logon() override { return TRUE; }
    BOOL Logoff() override;
    BOOL Send() override;
    BOOL SetAttachments(const std::vector<std::string>& paths) override;

private:
    CModule m_Library;
    CMailFiles m_Files;
    FARPROC m_pSendMail = nullptr, m_pSendDocuments = nullptr;
    std::string m_SavedDirectory;
};

// The default mail client: "SOFTWARE\CLIENTS\MAIL" of the current user, else
// of the local machine.
std::string DefaultMailClient();
// Whether the installed Notes is newer than 6 (no App Paths entry counts as newer).
bool IsNotesNewerThan6();
// The installed Outlook's bitness from its "Bitness" value ("x64", "x86"),
// the 64-bit registry view first; kMailBitsNone when none says.
unsigned OutlookBits();
// This process's bitness.
constexpr unsigned kProcessMailBits = sizeof(void*) == 8 ? kMailBits64 : kMailBits32;

class CHarvMail {
public:
    // Makes the implementation anew: Notes for a Notes default client newer
    // than 6, otherwise Simple MAPI.
    void Make();
    BOOL Load() { return m_Mail->Load(); }
    BOOL Logon() { return m_Mail->Logon(); }
    BOOL Logoff() { return m_Mail->Logoff(); }
    BOOL Send() { return m_Mail->Send(); }
    BOOL SetAttachments(const std::vector<std::string>& paths) {
        return m_Mail->SetAttachments(paths);
    }
    bool IsNotes() const;
    // What the registry (both views) and programFolder\RPXMailList.txt say
    // about the default mail client.
    static MailClientFacts ReadClientFacts(const std::string& programFolder);

private:
    std::unique_ptr<CMail> m_Mail;
};

struct MapiJobInput {
    std::vector<std::string> files;
    ULONGLONG mailSize = 0;    // store-wide "MailSize" in bytes; a larger total is refused
                               // (so 0 refuses any file, as the scan's own check does)
    std::string programFolder; // where "RPXMail.exe" (the other bitness) and "RPXMailList.txt" are
    HWND dialog = nullptr;     // brought to the foreground before the message
    DWORD helperWaitMs = 120000;
};

class IMapiLog {
public:
    virtual ~IMapiLog() = default;
    virtual void OnMapiLog(const std::string& line) = 0;
};

// FALSE on failure; message is then the English text to show (empty when
// only the log tells).
BOOL ScanToMapi(const MapiJobInput& input, IMapiLog& log, std::string& message);

} // namespace vlm::mail
