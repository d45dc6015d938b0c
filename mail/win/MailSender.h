// The "Send by E-Mail" delivery between the job dialog's ScanToMail and its
// clean-up: sets the SMTP control's members from the job, optionally logs in
// with POP first (one second before sending), answers the part requests
// (the body once, each attachment 570 bytes at a time) and reports the
// outcome with the English text the dialog localises and shows.
//
// Use from the job dialog (CJobDlg):
//   OnInitDialog:  m_Mail.Create(m_hWnd)       // C_smtp 1001 and C_pop 1002
//   ScanToMail:    log "ScanToMail"; fill MailJobInput from the store and job;
//                  if (!m_Mail.Start(input)) { DispMessage("Sending failed.", TRUE);
//                  m_ErrorDisplaied = TRUE; return FALSE; } return TRUE;
//   OnMailFinished(code, text, message): when message is not empty, localise
//                  it, DispMessage(..., TRUE) and set m_ErrorDisplaied; then
//                  CleanupTempFiles and EndJob.
#pragma once
#include <winsock2.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "framework/Handles.h"
#include "mail/core/MailJob.h"
#include "mail/win/MailControls.h"

namespace vlm::mail {

struct MailJobInput {
    std::string serverName;                // store-wide "SMTPServerName"
    long smtpId = 0;                       // store-wide "SMTP_ID"
    std::string userName, password;        // store-wide "username", "password"
    std::string from, send, text, subject; // the job's values
    std::vector<std::string> files;        // the output files to attach
    std::string language;                  // empty: from the thread locale
    int timeoutMs = 60000;                 // every read from and write to the servers
    int64_t timeLimitMs = 0;               // each whole dialogue; 0 none
    bool allowSelfSigned = false;          // store-wide "SMTPAllowSelfSigned"
    bool requireTls = false;               // store-wide "SMTPRequireTLS"
};

class IMailSenderOwner {
public:
    virtual ~IMailSenderOwner() = default;
    // A run log line ("SmtpAddress is ...", the failure code and text).
    virtual void OnMailLog(const std::string& line) = 0;
    // The end of the delivery. message: the English text to show for a
    // failure (empty on success). Called on the dialog's thread.
    virtual void OnMailFinished(long code, const std::string& text, const std::string& message) = 0;
};

class CMailSender : private ISmtpControlEvents, private IPopControlEvents {
public:
    explicit CMailSender(IMailSenderOwner& owner);
    ~CMailSender() override;
    BOOL Create(HWND dialog);
    // FALSE when the mail cannot be started.
    BOOL Start(const MailJobInput& input);
    // The language name of the thread locale ("Japanese", "German", ...).
    static std::string ThreadLanguage();

private:
    BOOL Send();
    // Time-outs and TLS settings of the input onto a control.
    void ApplyTransport(CMailControl& control) const;
    void Finished(long code, const std::string& text, bool pop);
    void CloseAttachment();
    // Ends the send without its message: the attachment being read cannot be.
    void FailAttachment(DWORD error);
    void OnSendFinished(long& code, std::string& text) override;
    void OnBodyRequest(short& part, std::string& text) override;
    void OnPartInfo(short message, short part, std::string& fourth, std::string& contentType,
                    std::string& fileName, std::string& charset, std::string& encoding,
                    std::string& headerLine) override;
    void OnPartData(short message, short part, std::string& data) override;
    void OnLoginFinished(long& code, std::string& text) override;

    IMailSenderOwner& m_Owner;
    C_smtp m_Smtp;
    C_pop m_Pop;
    MailJobInput m_Input;
    MailServerAddress m_Server;
    std::unique_ptr<CMimeCoder> m_Coder;
    std::string m_PendingBody;
    size_t m_NextAttachment = 0;
    CHandle m_Attachment;
    std::string m_AttachmentPath;
    ULONGLONG m_AttachmentLeft = 0; // bytes of its size at opening not read yet
};

} // namespace vlm::mail
