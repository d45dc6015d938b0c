// What "Send by E-Mail" gives the SMTP control: server and port from the
// store-wide server text, the log-in mode, the header block, the body, the
// sender and the recipient array, and the texts for the outcome codes.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "mail/core/MimeCoder.h"

namespace vlm::mail {

// "host:port" (blanks trimmed); without ":" the port is empty.
struct MailServerAddress {
    std::string host, port;
};
MailServerAddress ParseServerName(const std::string& serverName);

// The store-wide "SMTP_ID" as the control's authentication mode:
// 1 gives 2 (LOGIN), 3 gives 3 (PLAIN), 4 gives 1 (CRAM-MD5), others 0.
int32_t AuthModeFromSmtpId(long smtpId);
// "SMTP_ID" 2: POP log-in before sending.
inline bool IsPopBeforeSmtp(long smtpId) {
    return smtpId == 2;
}

struct MailMessagePlan {
    std::string headerBlock;             // From, To, Subject and the empty line
    std::string body;                    // encoded body text, handed out once
    std::string sender;                  // first sender entry (offset 0)
    std::vector<std::string> recipients; // element 0 empty, then the recipients
    std::string charset;                 // the coder's header charset
};
// The job's "from", "send", "text" and "subject" through the coder. False
// when the coder ran out of memory.
bool PlanMailMessage(CMimeCoder& coder, const std::string& from, const std::string& send,
                     const std::string& text, const std::string& subject, MailMessagePlan& plan);

// The longest one mail dialogue (POP log-in or SMTP send) may take: ten
// minutes for the commands and a minute for each started MiB of
// attachments, so that a line of about 200 kbit/s still carries them while
// a server that answers a byte at a time cannot hold the job for ever.
int64_t MailTimeLimitMs(uint64_t attachmentBytes);

// The English message for a send-finished (pop false) or log-in-finished
// (pop true) code and text; empty for success.
std::string MailOutcomeMessage(long code, const std::string& text, bool pop);

} // namespace vlm::mail
