#include "mail/core/MailJob.h"

#include "mail/core/SmtpClient.h"

namespace vlm::mail {
namespace {
std::string Trim(const std::string& s) {
    const size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return "";
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}
} // namespace

MailServerAddress ParseServerName(const std::string& serverName) {
    const size_t colon = serverName.find(':');
    if (colon == std::string::npos)
        return {Trim(serverName), ""};
    return {Trim(serverName.substr(0, colon)), Trim(serverName.substr(colon + 1))};
}

int32_t AuthModeFromSmtpId(long smtpId) {
    switch (smtpId) {
    case 1:
        return 2;
    case 3:
        return 3;
    case 4:
        return 1;
    default:
        return 0;
    }
}

bool PlanMailMessage(CMimeCoder& coder, const std::string& fromText, const std::string& sendText,
                     const std::string& text, const std::string& subject, MailMessagePlan& plan) {
    // A list with a line break is refused whole: without a sender or
    // recipients the send ends before the server is asked.
    const std::string none;
    const std::string& from = HasLineBreak(fromText) ? none : fromText;
    const std::string& send = HasLineBreak(sendText) ? none : sendText;
    std::vector<std::string> senders, recipients;
    std::string encodedSubject;
    if (!coder.ParseAddressList(from, senders, 6) || !coder.ParseAddressList(send, recipients, 4))
        return false;
    if (subject.empty())
        encodedSubject = "(none title)";
    else if (!coder.EncodeHeader(subject, encodedSubject, "", 9, 0))
        return false;
    if (!coder.EncodeBody(text, plan.body, "", 0))
        return false;
    std::string to;
    for (const auto& r : recipients)
        to += (to.empty() ? "" : ",") + r;
    plan.headerBlock = "From: " + (senders.empty() ? std::string() : senders[0]) + "\r\nTo: " + to +
                       "\r\nSubject: " + encodedSubject + "\r\n\r\n";
    // The envelope is parsed again without the header names' offsets.
    if (!coder.ParseAddressList(from, senders, 0) || !coder.ParseAddressList(send, recipients, 0))
        return false;
    plan.sender = senders.empty() ? "" : senders[0];
    plan.recipients.assign(1, "");
    plan.recipients.insert(plan.recipients.end(), recipients.begin(), recipients.end());
    plan.charset = coder.HeaderInfo().GetCharset();
    return true;
}

int64_t MailTimeLimitMs(uint64_t attachmentBytes) {
    const uint64_t mebibytes = (attachmentBytes + (1u << 20) - 1) >> 20;
    return (10 + int64_t(mebibytes)) * 60000;
}

std::string MailOutcomeMessage(long code, const std::string& text, bool pop) {
    switch (code) {
    case 0:
        return "";
    case -1:
        if (text == "NO RECIPIENT ADDRESS")
            return "No Recipient Address.";
        if (text == "NO FROM ADDRESS")
            return "No Sender Address.";
        if (text == kMailNoTls)
            return "The server offers no TLS.";
        return "MailServer replied an error.";
    case 10054:
        return "Connection reset.";
    case 10060:
        return "Connection timed out.";
    case 10061:
        return "Connection refused.";
    case 10065:
        return "No route to host.";
    case 11001:
    case 11002:
        return "Host is not found.";
    case 11004:
        return pop ? "Port Number incorrect." : "Host is not found.";
    default:
        return "Sending failed.";
    }
}

} // namespace vlm::mail
