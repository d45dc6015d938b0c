#include "mail/win/MailSender.h"

#include <algorithm>

namespace vlm::mail {

CMailSender::CMailSender(IMailSenderOwner& owner) : m_Owner(owner), m_Smtp(*this), m_Pop(*this) {}

CMailSender::~CMailSender() = default;

BOOL CMailSender::Create(HWND dialog) {
    return m_Smtp.Create(dialog) && m_Pop.Create(dialog);
}

std::string CMailSender::ThreadLanguage() {
    return LanguageFromLangId(LANGIDFROMLCID(::GetThreadLocale()));
}

BOOL CMailSender::Start(const MailJobInput& input) {
    if (m_Smtp.IsBusy() || m_Pop.IsBusy())
        return FALSE;
    m_Input = input;
    m_Server = ParseServerName(input.serverName);
    m_Owner.OnMailLog("SmtpAddress is " + m_Server.host);
    if (!m_Server.port.empty())
        m_Owner.OnMailLog("Port Number from SmtpAddress is " + m_Server.port);
    if (!IsPopBeforeSmtp(input.smtpId))
        return Send();
    ApplyTransport(m_Pop);
    if (!m_Server.port.empty())
        m_Pop.SetPort(m_Server.port);
    return m_Pop.Login(m_Server.host, input.userName, input.password);
}

void CMailSender::ApplyTransport(CMailControl& control) const {
    control.SetTimeout(m_Input.timeoutMs);
    control.SetTimeLimit(m_Input.timeLimitMs);
    control.SetAllowSelfSigned(m_Input.allowSelfSigned);
    control.SetRequireTls(m_Input.requireTls);
}

BOOL CMailSender::Send() {
    m_Coder = MakeMimeCoder(m_Input.language.empty() ? ThreadLanguage() : m_Input.language);
    MailMessagePlan plan;
    if (!PlanMailMessage(*m_Coder, m_Input.from, m_Input.send, m_Input.text, m_Input.subject, plan))
        return FALSE;
    m_PendingBody = plan.body;
    m_NextAttachment = 0;
    ApplyTransport(m_Smtp);
    if (!m_Server.port.empty())
        m_Smtp.SetPort(m_Server.port);
    m_Smtp.SetAuthMode(AuthModeFromSmtpId(m_Input.smtpId));
    m_Smtp.SetUserName(m_Input.userName);
    m_Smtp.SetPassword(m_Input.password);
    if (!m_Input.files.empty())
        m_Smtp.SetMultiPart("mixed");
    m_Smtp.SetCharset(plan.charset);
    return m_Smtp.Send(m_Server.host, plan.headerBlock, plan.sender, plan.recipients);
}

void CMailSender::OnLoginFinished(long& code, std::string& text) {
    if (code != 0) {
        Finished(code, text, true);
        return;
    }
    // The server records the log-in address; give it a second before sending.
    if (IsPopBeforeSmtp(m_Input.smtpId)) {
        ::Sleep(1000);
        if (!Send())
            Finished(1, "", false);
    }
}

void CMailSender::OnSendFinished(long& code, std::string& text) {
    Finished(code, text, false);
}

void CMailSender::Finished(long code, const std::string& text, bool pop) {
    CloseAttachment();
    m_Coder.reset();
    if (code != 0)
        m_Owner.OnMailLog(std::to_string(code) + " " + text);
    m_Owner.OnMailFinished(code, text, MailOutcomeMessage(code, text, pop));
}

void CMailSender::CloseAttachment() {
    m_Attachment.Close();
}

void CMailSender::OnBodyRequest(short&, std::string& text) {
    text.swap(m_PendingBody);
    m_PendingBody.clear();
}

void CMailSender::OnPartInfo(short, short part, std::string& fourth, std::string& contentType,
                             std::string& fileName, std::string& charset, std::string& encoding,
                             std::string& headerLine) {
    if (!m_Coder)
        return;
    if (part == 1) {
        const CMimeInfo& t = m_Coder->TextInfo();
        fourth = t.GetFourth();
        contentType = t.GetContentType();
        charset = t.GetCharset();
        encoding = t.GetEncoding();
        headerLine = t.GetHeaderLine();
        return;
    }
    if (m_NextAttachment >= m_Input.files.size())
        return; // no more parts
    CloseAttachment();
    const std::string& path = m_Input.files[m_NextAttachment++];
    m_AttachmentPath = path;
    m_Attachment.Attach(::CreateFileA(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!m_Attachment || !::GetFileSizeEx(m_Attachment.Get(), &size)) {
        FailAttachment(::GetLastError());
        return;
    }
    m_AttachmentLeft = ULONGLONG(size.QuadPart);
    m_Coder->EncodeHeader(path.substr(path.rfind('\\') + 1), fileName, "", 0, 0);
    const CMimeInfo& a = m_Coder->AttachmentInfo();
    fourth = a.GetFourth();
    contentType = a.GetContentType();
    charset.clear();
    encoding = a.GetEncoding();
    headerLine.clear();
}

void CMailSender::OnPartData(short, short part, std::string& data) {
    if (part == 1) {
        data.swap(m_PendingBody);
        m_PendingBody.clear();
        return;
    }
    char buffer[570];
    DWORD read = 0;
    if (!m_Attachment)
        return;
    if (!::ReadFile(m_Attachment.Get(), buffer, sizeof buffer, &read, nullptr)) {
        FailAttachment(::GetLastError());
        return;
    }
    // A file cut short since it was opened would leave a part that looks whole.
    if (read == 0 && m_AttachmentLeft > 0) {
        FailAttachment(ERROR_HANDLE_EOF);
        return;
    }
    m_AttachmentLeft -= std::min<ULONGLONG>(m_AttachmentLeft, read);
    data.assign(buffer, read);
}

void CMailSender::FailAttachment(DWORD error) {
    CloseAttachment();
    m_Smtp.FailPart(kMailPartFailed, "Attachment cannot be read: " + m_AttachmentPath + " (error " +
                                         std::to_string(error) + ")");
}

} // namespace vlm::mail
