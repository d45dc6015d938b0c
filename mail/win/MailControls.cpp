#include "mail/win/MailControls.h"

#include <ctime>

namespace vlm::mail {
namespace {
const char kClassName[] = "VlmMailControl";
const UINT kMsgCall = WM_APP + 1;     // lParam: std::function<void()>*, sent by the worker
const UINT kMsgFinished = WM_APP + 2; // posted by the worker as it ends

ATOM RegisterControlClass() {
    static const ATOM atom = [] {
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = &CMailControl::WndProc;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.lpszClassName = kClassName;
        return ::RegisterClassExA(&wc);
    }();
    return atom;
}
} // namespace

CMailControl::~CMailControl() {
    if (m_Thread) {
        // Let a running dialogue end: close its connection and keep answering
        // the worker's calls (with nothing) until it is gone.
        ::InterlockedExchange(&m_bClosing, 1);
        m_Connector->Abort();
        HANDLE thread = m_Thread.Get();
        while (::MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_SENDMESSAGE) !=
               WAIT_OBJECT_0) {
            MSG msg;
            ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        }
    }
}

BOOL CMailControl::Create(HWND parent, UINT id) {
    if (!RegisterControlClass())
        return FALSE;
    HWND wnd = ::CreateWindowExA(
        0, kClassName, "", parent ? WS_CHILD : 0, 0, 0, 0, 0, parent ? parent : HWND_MESSAGE,
        reinterpret_cast<HMENU>(UINT_PTR(parent ? id : 0)), ::GetModuleHandleA(nullptr), nullptr);
    if (!wnd)
        return FALSE;
    ::SetWindowLongPtrA(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    m_Wnd.Attach(wnd);
    return TRUE;
}

BOOL CMailControl::Start(std::function<MailOutcome(IMailConnector&)> work,
                         std::function<void(MailOutcome&)> finished) {
    if (!m_Wnd || m_Thread)
        return FALSE;
    m_Work = std::move(work);
    m_Finished = std::move(finished);
    m_Connector = std::make_unique<CWinsockConnector>(m_TimeoutMs, m_LimitMs);
    m_Connector->SetAllowSelfSigned(m_bAllowSelfSigned);
    m_Thread.Attach(::CreateThread(nullptr, 0, &ThreadMain, this, 0, nullptr));
    return m_Thread.IsValid();
}

DWORD WINAPI CMailControl::ThreadMain(void* param) {
    auto* self = static_cast<CMailControl*>(param);
    self->m_Outcome = self->m_Work(*self->m_Connector);
    ::PostMessageA(self->m_Wnd.Get(), kMsgFinished, 0, 0);
    return 0;
}

void CMailControl::OnOwnerThread(const std::function<void()>& call) {
    if (m_bClosing)
        return; // the owner is going away: requests get nothing
    ::SendMessageA(m_Wnd.Get(), kMsgCall, 0, reinterpret_cast<LPARAM>(&call));
}

void CMailControl::Finish() {
    if (!m_Thread)
        return;
    ::WaitForSingleObject(m_Thread.Get(), INFINITE);
    m_Thread.Close();
    m_Connector.reset();
    MailOutcome outcome = m_Outcome;
    auto finished = std::move(m_Finished);
    m_Work = nullptr;
    if (finished)
        finished(outcome); // may start the next send
}

LRESULT CALLBACK CMailControl::WndProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<CMailControl*>(::GetWindowLongPtrA(wnd, GWLP_USERDATA));
    if (self && msg == kMsgCall) {
        if (!self->m_bClosing)
            (*reinterpret_cast<const std::function<void()>*>(lp))();
        return 0;
    }
    if (self && msg == kMsgFinished) {
        self->Finish();
        return 0;
    }
    return ::DefWindowProcA(wnd, msg, wp, lp);
}

namespace {
// The client's events, carried to the owner's thread.
class CSmtpMarshal : public ISmtpEvents {
public:
    CSmtpMarshal(std::function<void(const std::function<void()>&)> post, ISmtpControlEvents& events,
                 const MailOutcome& partFailure)
        : m_Post(std::move(post)), m_Events(events), m_PartFailure(partFailure) {}
    void OnStatus(const std::string& text) override {
        std::string t = text;
        m_Post([&] { m_Events.OnSmtpStatus(t); });
    }
    void OnBodyRequest(int16_t& part, std::string& text) override {
        m_Post([&] { m_Events.OnBodyRequest(part, text); });
    }
    void OnPartInfo(int16_t message, int16_t part, MailPartInfo& i) override {
        m_Post([&] {
            m_Events.OnPartInfo(message, part, i.fourth, i.contentType, i.fileName, i.charset,
                                i.encoding, i.headerLine);
        });
    }
    void OnPartData(int16_t message, int16_t part, std::string& data) override {
        m_Post([&] { m_Events.OnPartData(message, part, data); });
    }
    MailOutcome PartFailure() override { return m_PartFailure; }

private:
    std::function<void(const std::function<void()>&)> m_Post;
    ISmtpControlEvents& m_Events;
    const MailOutcome& m_PartFailure;
};
} // namespace

BOOL C_smtp::Send(const std::string& host, const std::string& header, const std::string& from,
                  const std::vector<std::string>& recipients) {
    if (IsBusy())
        return FALSE;
    SmtpSettings settings = m_Settings;
    settings.requireTls = RequireTls();
    m_PartFailure = {};
    auto post = [this](const std::function<void()>& call) { OnOwnerThread(call); };
    return Start(
        [=, this](IMailConnector& connector) {
            CSmtpMarshal marshal(post, m_Events, m_PartFailure);
            return SmtpSend(connector, settings, host, header, from, recipients, marshal,
                            std::time(nullptr));
        },
        [this](MailOutcome& o) {
            long code = o.code;
            m_Events.OnSendFinished(code, o.text);
        });
}

BOOL C_pop::Login(const std::string& host, const std::string& user, const std::string& password) {
    const std::string port = m_Port;
    const bool requireTls = RequireTls();
    return Start(
        [=](IMailConnector& connector) {
            return Pop3Login(connector, port, host, user, password, requireTls);
        },
        [this](MailOutcome& o) {
            long code = o.code;
            m_Events.OnLoginFinished(code, o.text);
        });
}

} // namespace vlm::mail
