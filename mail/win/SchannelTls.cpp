#include "mail/win/SchannelTls.h"

#include <cstdio>
#include <algorithm>
#include <cstring>
#include <memory>
#include <wincrypt.h>
#include <wininet.h> // SECURITY_FLAG_IGNORE_UNKNOWN_CA

namespace vlm::mail {
namespace {
const ULONG kContextFlags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT |
                            ISC_REQ_CONFIDENTIALITY | ISC_REQ_EXTENDED_ERROR |
                            ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM;

std::string Hex(long v) {
    char b[16];
    std::snprintf(b, sizeof b, "0x%08lX", (unsigned long)v);
    return b;
}

struct CContextBuffer { // a token Schannel allocated
    void* p = nullptr;
    ~CContextBuffer() {
        if (p)
            ::FreeContextBuffer(p);
    }
};
struct CCertContext {
    PCCERT_CONTEXT p = nullptr;
    ~CCertContext() {
        if (p)
            ::CertFreeCertificateContext(p);
    }
};
struct CChainContext {
    PCCERT_CHAIN_CONTEXT p = nullptr;
    ~CChainContext() {
        if (p)
            ::CertFreeCertificateChain(p);
    }
};
} // namespace

CTlsChannel::CTlsChannel(IMailStream& raw, bool allowSelfSigned)
    : m_Raw(raw), m_bAllowSelfSigned(allowSelfSigned) {}

CTlsChannel::~CTlsChannel() {
    if (m_bHaveCtx)
        ::DeleteSecurityContext(&m_Ctx);
    if (m_bHaveCred)
        ::FreeCredentialsHandle(&m_Cred);
}

int CTlsChannel::Fill() {
    char buffer[16384];
    const int n = m_Raw.Read(buffer, sizeof buffer);
    if (n > 0)
        m_In.append(buffer, size_t(n));
    return n == 0 ? -kMailConnectionReset : n;
}

MailOutcome CTlsChannel::Handshake(const std::string& host) {
    SCHANNEL_CRED cred{};
    cred.dwVersion = SCHANNEL_CRED_VERSION;
    // The certificate is checked below, with the self-signed allowance.
    cred.dwFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS;
    TimeStamp expiry;
    SECURITY_STATUS st =
        ::AcquireCredentialsHandleA(nullptr, const_cast<char*>(UNISP_NAME_A), SECPKG_CRED_OUTBOUND,
                                    nullptr, &cred, nullptr, nullptr, &m_Cred, &expiry);
    if (st != SEC_E_OK)
        return {kMailRefused, "TLS is not available (" + Hex(st) + ")."};
    m_bHaveCred = true;

    bool first = true;
    for (;;) {
        SecBuffer in[2] = {{ULONG(m_In.size()), SECBUFFER_TOKEN, m_In.data()},
                           {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc inDesc{SECBUFFER_VERSION, 2, in};
        SecBuffer out[1] = {{0, SECBUFFER_TOKEN, nullptr}};
        SecBufferDesc outDesc{SECBUFFER_VERSION, 1, out};
        ULONG attrs = 0;
        st = ::InitializeSecurityContextA(
            &m_Cred, first ? nullptr : &m_Ctx, const_cast<char*>(host.c_str()), kContextFlags, 0, 0,
            first ? nullptr : &inDesc, 0, first ? &m_Ctx : nullptr, &outDesc, &attrs, &expiry);
        if (first)
            m_bHaveCtx = true;
        first = false;
        CContextBuffer token{out[0].pvBuffer};
        if (st == SEC_E_INCOMPLETE_MESSAGE) {
            const int n = Fill();
            if (n < 0)
                return {-n, "The TLS handshake was cut off."};
            continue;
        }
        if (out[0].cbBuffer && out[0].pvBuffer) {
            const int w = m_Raw.Write(static_cast<char*>(out[0].pvBuffer), int(out[0].cbBuffer));
            if (w < 0)
                return {-w, ""};
        }
        if (FAILED(st))
            return {kMailRefused, "The TLS handshake failed (" + Hex(st) + ")."};
        // Bytes after this handshake message belong to the next one (or to data).
        if (in[1].BufferType == SECBUFFER_EXTRA && in[1].cbBuffer)
            m_In.erase(0, m_In.size() - in[1].cbBuffer);
        else if (st != SEC_I_CONTINUE_NEEDED || !m_In.empty())
            m_In.clear();
        if (st == SEC_E_OK)
            break;
        if (st == SEC_I_CONTINUE_NEEDED && m_In.empty()) {
            const int n = Fill();
            if (n < 0)
                return {-n, "The TLS handshake was cut off."};
        }
    }
    st = ::QueryContextAttributesA(&m_Ctx, SECPKG_ATTR_STREAM_SIZES, &m_Sizes);
    if (st != SEC_E_OK)
        return {kMailRefused, "TLS failed (" + Hex(st) + ")."};
    return CheckCertificate(host);
}

MailOutcome CTlsChannel::CheckCertificate(const std::string& host) {
    CCertContext cert;
    if (::QueryContextAttributesA(&m_Ctx, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &cert.p) != SEC_E_OK ||
        !cert.p)
        return {kMailRefused, "The mail server sent no certificate."};
    CERT_CHAIN_PARA para{};
    para.cbSize = sizeof para;
    CChainContext chain;
    if (!::CertGetCertificateChain(nullptr, cert.p, nullptr, cert.p->hCertStore, &para, 0, nullptr,
                                   &chain.p))
        return {kMailRefused, "The mail server's certificate cannot be checked."};
    std::wstring wideHost(host.begin(), host.end());
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
    ssl.cbSize = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.pwszServerName = wideHost.data();
    CERT_CHAIN_POLICY_PARA policy{};
    policy.cbSize = sizeof policy;
    policy.pvExtraPolicyPara = &ssl;
    // A certificate that signed itself passes, when allowed, as if its root
    // were trusted; the policy still checks its name, dates and use.
    const bool selfSigned =
        chain.p->cChain == 1 && chain.p->rgpChain[0]->cElement == 1 &&
        (chain.p->rgpChain[0]->rgpElement[0]->TrustStatus.dwInfoStatus & CERT_TRUST_IS_SELF_SIGNED);
    if (m_bAllowSelfSigned && selfSigned) {
        ssl.fdwChecks = SECURITY_FLAG_IGNORE_UNKNOWN_CA;
        policy.dwFlags = CERT_CHAIN_POLICY_ALLOW_UNKNOWN_CA_FLAG;
    }
    CERT_CHAIN_POLICY_STATUS status{};
    status.cbSize = sizeof status;
    if (!::CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain.p, &policy, &status))
        return {kMailRefused, "The mail server's certificate cannot be checked."};
    if (status.dwError == 0)
        return {};
    return {kMailRefused,
            "The mail server's certificate is not trusted (" + Hex(long(status.dwError)) + ")."};
}

int CTlsChannel::Write(const char* data, int size) {
    std::string record;
    for (int done = 0; done < size;) {
        const ULONG n = ULONG(std::min<int>(size - done, int(m_Sizes.cbMaximumMessage)));
        record.resize(m_Sizes.cbHeader + n + m_Sizes.cbTrailer);
        std::memcpy(&record[m_Sizes.cbHeader], data + done, n);
        SecBuffer b[4] = {
            {m_Sizes.cbHeader, SECBUFFER_STREAM_HEADER, &record[0]},
            {n, SECBUFFER_DATA, &record[m_Sizes.cbHeader]},
            {m_Sizes.cbTrailer, SECBUFFER_STREAM_TRAILER, &record[m_Sizes.cbHeader + n]},
            {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc desc{SECBUFFER_VERSION, 4, b};
        if (::EncryptMessage(&m_Ctx, 0, &desc, 0) != SEC_E_OK)
            return -kMailConnectionReset;
        const int w =
            m_Raw.Write(record.data(), int(b[0].cbBuffer + b[1].cbBuffer + b[2].cbBuffer));
        if (w < 0)
            return w;
        done += int(n);
    }
    return size;
}

int CTlsChannel::Read(char* buffer, int size) {
    while (m_Plain.empty()) {
        if (m_bClosed)
            return 0;
        if (m_In.empty()) {
            const int n = Fill();
            if (n < 0)
                return n == -kMailConnectionReset ? 0 : n;
        }
        SecBuffer b[4] = {{ULONG(m_In.size()), SECBUFFER_DATA, m_In.data()},
                          {0, SECBUFFER_EMPTY, nullptr},
                          {0, SECBUFFER_EMPTY, nullptr},
                          {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc desc{SECBUFFER_VERSION, 4, b};
        const SECURITY_STATUS st = ::DecryptMessage(&m_Ctx, &desc, 0, nullptr);
        if (st == SEC_E_INCOMPLETE_MESSAGE) {
            const int n = Fill();
            if (n < 0)
                return n;
            continue;
        }
        if (st == SEC_I_CONTEXT_EXPIRED) { // the server closed TLS
            m_bClosed = true;
            continue;
        }
        if (st != SEC_E_OK)
            return -kMailConnectionReset;
        std::string extra;
        for (const auto& x : b) {
            if (x.BufferType == SECBUFFER_DATA && x.cbBuffer)
                m_Plain.append(static_cast<char*>(x.pvBuffer), x.cbBuffer);
            else if (x.BufferType == SECBUFFER_EXTRA && x.cbBuffer)
                extra.assign(static_cast<char*>(x.pvBuffer), x.cbBuffer);
        }
        m_In.swap(extra);
    }
    const size_t n = std::min(m_Plain.size(), size_t(size));
    m_Plain.copy(buffer, n);
    m_Plain.erase(0, n);
    return int(n);
}

} // namespace vlm::mail
