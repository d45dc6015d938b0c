// TLS for the mail connections through the platform's Schannel (SSPI). The
// server certificate is checked with the system's chain and SSL policy; a
// self-signed certificate passes only when allowed.
#pragma once
#include <winsock2.h>
#include <windows.h>
#define SECURITY_WIN32
#include <security.h>
#include <schannel.h>

#include <string>

#include "mail/core/MailStream.h"

namespace vlm::mail {

class CTlsChannel {
public:
    // raw: the TCP stream the records travel over.
    CTlsChannel(IMailStream& raw, bool allowSelfSigned);
    ~CTlsChannel();
    CTlsChannel(const CTlsChannel&) = delete;
    CTlsChannel& operator=(const CTlsChannel&) = delete;

    MailOutcome Handshake(const std::string& host);
    int Read(char* buffer, int size);
    int Write(const char* data, int size);

private:
    MailOutcome CheckCertificate(const std::string& host);
    int Fill(); // more raw bytes into m_In: count, or minus an error

    IMailStream& m_Raw;
    bool m_bAllowSelfSigned;
    CredHandle m_Cred{};
    CtxtHandle m_Ctx{};
    bool m_bHaveCred = false, m_bHaveCtx = false;
    SecPkgContext_StreamSizes m_Sizes{};
    std::string m_In;    // received records not yet decrypted
    std::string m_Plain; // decrypted bytes not yet read
    bool m_bClosed = false;
};

} // namespace vlm::mail
