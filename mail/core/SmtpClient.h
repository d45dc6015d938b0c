// Our own SMTP (RFC 5321, AUTH per RFC 4954) and POP3 (RFC 1939) clients.
// They keep what the job dialog gives the mail controls (members, part
// callbacks, outcome codes) and run synchronously over an IMailStream, so the
// Windows control runs them on a worker thread and the tests drive them
// directly.
#pragma once
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "mail/core/MailStream.h"

namespace vlm::mail {

// Authentication modes as put to the control.
enum SmtpAuthMode : int32_t {
    kAuthNone = 0,
    kAuthCramMd5 = 1,
    kAuthLogin = 2,
    kAuthPlain = 3,
};

struct SmtpSettings {
    std::string port; // empty: 25
    int32_t authMode = kAuthNone;
    std::string userName, password;
    std::string multipart; // "mixed" when there are attachments
    std::string charset;
    std::string heloName = "localhost";
    bool requireTls = false; // nothing without TLS: no AUTH, no message
};

// The refusal text when TLS is required and the server offers none.
constexpr const char kMailNoTls[] = "NO TLS";

// What a message part is, as the part information request fills it.
struct MailPartInfo {
    std::string fourth, contentType, fileName, charset, encoding, headerLine;
};

// The control's events towards its owner, raised during the send in this
// order: status texts; without "mixed" the part information of part 1 and
// body requests until an empty text; with "mixed" for each part 1, 2, ...
// its information (an empty content type ends the parts) and data requests
// until an empty block.
class ISmtpEvents {
public:
    virtual ~ISmtpEvents() = default;
    virtual void OnStatus(const std::string& text) = 0;
    virtual void OnBodyRequest(int16_t& part, std::string& text) = 0;
    virtual void OnPartInfo(int16_t message, int16_t part, MailPartInfo& info) = 0;
    virtual void OnPartData(int16_t message, int16_t part, std::string& data) = 0;
    // Asked after every part request: a part the owner cannot give (an
    // attachment that cannot be read) ends the dialogue with this outcome
    // before the end of the data, so the server keeps no message.
    virtual MailOutcome PartFailure() { return {}; }
};

// Sends one message. headerBlock: the "From:", "To:", "Subject:" lines ending
// in an empty line; recipients: element 0 is empty, the addresses follow.
MailOutcome SmtpSend(IMailConnector& connector, const SmtpSettings& settings,
                     const std::string& host, const std::string& headerBlock,
                     const std::string& sender, const std::vector<std::string>& recipients,
                     ISmtpEvents& events, std::time_t now);

// POP3 USER/PASS log-in and QUIT (POP before SMTP), through STLS (RFC 2595)
// when the server offers it; with requireTls no USER/PASS without TLS.
MailOutcome Pop3Login(IMailConnector& connector, const std::string& port, const std::string& host,
                      const std::string& user, const std::string& password,
                      bool requireTls = false);

// RFC 5322 date text for the Date header, in UTC.
std::string MailDate(std::time_t t);

// The CRAM-MD5 answer (before base64) to a decoded challenge.
std::string CramMd5Answer(const std::string& user, const std::string& password,
                          const std::string& challenge);

} // namespace vlm::mail
