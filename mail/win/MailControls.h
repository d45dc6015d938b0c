// The job dialog's two mail controls, C_smtp (control 1001) and C_pop
// (control 1002), backed by our own SMTP and POP3 client. Each is a hidden
// child window of its owner; the protocol runs on a worker thread, and every
// event is raised on the owner's thread through the control's window (the
// worker waits while a part request is answered).
#pragma once
#include <winsock2.h>
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/Handles.h"
#include "mail/core/SmtpClient.h"
#include "mail/win/WinsockConnector.h"

namespace vlm::mail {

// SMTP control events, by event number.
class ISmtpControlEvents {
public:
    virtual ~ISmtpControlEvents() = default;
    // 1: code 0, -1 with the server's text, or a Winsock error number.
    virtual void OnSendFinished(long& code, std::string& text) = 0;
    // 2: a progress text.
    virtual void OnSmtpStatus(std::string& text) {}
    // 3: the body text of a message without "mixed"; empty ends it.
    virtual void OnBodyRequest(short& part, std::string& text) = 0;
    // 4: fills the six texts of a part; an empty content type ends the parts.
    virtual void OnPartInfo(short message, short part, std::string& fourth,
                            std::string& contentType, std::string& fileName, std::string& charset,
                            std::string& encoding, std::string& headerLine) = 0;
    // 5: the next raw bytes of the part; an empty block ends it.
    virtual void OnPartData(short message, short part, std::string& data) = 0;
};

// POP control events.
class IPopControlEvents {
public:
    virtual ~IPopControlEvents() = default;
    // 1: code 0, -1 with the server's text, or a Winsock error number.
    virtual void OnLoginFinished(long& code, std::string& text) = 0;
    // 2: a progress text.
    virtual void OnPopStatus(std::string& text) {}
};

// The window, worker thread and marshalling both controls share.
class CMailControl {
public:
    virtual ~CMailControl();
    // A hidden child of parent with the control id; without a parent a
    // message-only window. Events arrive on the calling thread.
    BOOL Create(HWND parent, UINT id);
    HWND GetSafeHwnd() const { return m_Wnd.Get(); }
    bool IsBusy() const { return m_Thread.IsValid(); }
    // Time-out of every read and write (60 s unless set).
    void SetTimeout(int ms) { m_TimeoutMs = ms; }
    // The longest the whole dialogue may take from the connection on
    // (0: no limit, unless set).
    void SetTimeLimit(int64_t ms) { m_LimitMs = ms; }
    // Whether the dialogue must run over TLS: no log-in and no message in
    // plain text.
    void SetRequireTls(bool require) { m_bRequireTls = require; }
    // Whether a self-signed server certificate passes the TLS check.
    void SetAllowSelfSigned(bool allow) { m_bAllowSelfSigned = allow; }

protected:
    CMailControl() = default;
    // Runs work on the worker thread; finished runs on the owner's thread
    // with the outcome once the worker has ended.
    BOOL Start(std::function<MailOutcome(IMailConnector&)> work,
               std::function<void(MailOutcome&)> finished);
    // From the worker: runs call on the owner's thread and waits for it.
    void OnOwnerThread(const std::function<void()>& call);
    bool RequireTls() const { return m_bRequireTls; }

public:
    static LRESULT CALLBACK WndProc(HWND, UINT, WPARAM, LPARAM);

private:
    static DWORD WINAPI ThreadMain(void* self);
    void Finish();

    CWindowHandle m_Wnd;
    CHandle m_Thread;
    std::unique_ptr<CWinsockConnector> m_Connector;
    std::function<MailOutcome(IMailConnector&)> m_Work;
    std::function<void(MailOutcome&)> m_Finished;
    MailOutcome m_Outcome;
    int m_TimeoutMs = 60000;
    int64_t m_LimitMs = 0;
    bool m_bAllowSelfSigned = false;
    bool m_bRequireTls = false;
    volatile LONG m_bClosing = 0;
};

class C_smtp : public CMailControl {
public:
    explicit C_smtp(ISmtpControlEvents& events) : m_Events(events) {}
    BOOL Create(HWND parent, UINT id = 1001) { return CMailControl::Create(parent, id); }

    void SetPort(const std::string& port) { m_Settings.port = port; }
    void SetAuthMode(long mode) { m_Settings.authMode = mode; }
    void SetUserName(const std::string& name) { m_Settings.userName = name; }
    void SetPassword(const std::string& password) { m_Settings.password = password; }
    void SetMultiPart(const std::string& kind) { m_Settings.multipart = kind; }
    void SetCharset(const std::string& charset) { m_Settings.charset = charset; }

    // Starts sending; recipients[0] is empty, the addresses follow. FALSE
    // when a send is still running or the worker cannot start; otherwise
    // the outcome comes with OnSendFinished.
    BOOL Send(const std::string& host, const std::string& header, const std::string& from,
              const std::vector<std::string>& recipients);
    // From a part request whose part cannot be given: the send ends without
    // its message, and OnSendFinished reports code and text.
    void FailPart(long code, const std::string& text) { m_PartFailure = {int(code), text}; }

private:
    ISmtpControlEvents& m_Events;
    SmtpSettings m_Settings;
    MailOutcome m_PartFailure; // written on the owner's thread while the worker waits
};

class C_pop : public CMailControl {
public:
    explicit C_pop(IPopControlEvents& events) : m_Events(events) {}
    BOOL Create(HWND parent, UINT id = 1002) { return CMailControl::Create(parent, id); }
    void SetPort(const std::string& port) { m_Port = port; }
    // Starts the USER/PASS log-in; the outcome comes with OnLoginFinished.
    BOOL Login(const std::string& host, const std::string& user, const std::string& password);

private:
    IPopControlEvents& m_Events;
    std::string m_Port;
};

} // namespace vlm::mail
