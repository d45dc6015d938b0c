#include "runner/VX410JobApp.h"

#include "common/JobRecord.h"
#include "common/Localize.h"
#include "common/VlmLog.h"
#include "components/devlink/devlink.h"
#include "contracts/WindowMessages.h"
#include "framework/MessageBox.h"
#include "runner/core/PanelBlock.h"

namespace {
CVlmLog& Log() {
    return CVlmLog::Instance();
}

// One open device for one short exchange.
class CStiDevice {
public:
    explicit CStiDevice(const std::string& name) : m_h(StiOpen(name.c_str())) {}
    ~CStiDevice() {
        if (m_h)
            StiClose(m_h);
    }
    CStiDevice(const CStiDevice&) = delete;
    CStiDevice& operator=(const CStiDevice&) = delete;
    STIHANDLE Get() const { return m_h; }

private:
    STIHANDLE m_h;
};
} // namespace

CVX410JobApp::CVX410JobApp(CJobAppHost& host) : m_host(host) {}
CVX410JobApp::~CVX410JobApp() = default;

BOOL CVX410JobApp::MutuallyExclusive() {
    // An older runner's job dialog ends at once on the close request.
    if (HWND hOld = FindWindowA(nullptr, vx410::kJobDialogCaption)) {
        Log().Write("FindWindow(NULL, \"VX410KESTREL\") FIND!!!!\r\n");
        PostMessageA(hOld, WM_VLM_REQUEST_CLOSE, 0, 0);
    }
    // Error dialogs of earlier runs close on the registered message.
    if (UINT msg = RegisterWindowMessageA(GetErrorModeMessageName()))
        PostMessageA(HWND_BROADCAST, msg, 0, 0);
    return TRUE;
}

void CVX410JobApp::SetLastJobNum(long nJob) {
    RecordLastJobNumber(m_host.GetJobStore(), nJob);
}

void CVX410JobApp::ShowNotRegistered(const char* title, const char* text) {
    // STATUS WINDOW NOT BUILT YET: the error dialog (titled text, closing
    // itself after ten seconds) comes with the status window; until then a
    // plain message box carries the same two texts.
    std::string body = std::string(title) + "\n\n" + text;
    VlmMessageBoxTop(nullptr, body.c_str(), GetModelName(),
                     MB_OK | MB_ICONEXCLAMATION | MB_TOPMOST | MB_SETFOREGROUND);
}

void CVX410JobApp::DispMessageToScaner_init(const char* path, long value) {
    m_slmsg.Load("slmsg.dll");
    m_strTranslatorText = path ? path : "";
    m_nPanelSetting = value;
    m_pfnGetScannerMessage =
        m_slmsg.IsLoaded() ? m_slmsg.Get<PFN_GetScannerMessage>("GetScannerMessage") : nullptr;

    Log().Write("DispMessageToScaner_init Start");
    CStiDevice dev(m_host.GetStiDeviceName());
    if (!dev.Get()) {
        Log().Write("DispMessageToScaner StiOpen faile");
        return;
    }
    Log().Write("DispMessageToScaner_init Open");
    BYTE info[kestrel::kDeviceInfoBytes] = {};
    auto cdb = kestrel::DeviceInfoCommand();
    StiRead(dev.Get(), cdb.data(), static_cast<DWORD>(cdb.size()), info, sizeof info);
    m_nPanelSetting = info[kestrel::kPanelSettingOffset];
    Log().Write("DispMessageToScaner_init result = %d", static_cast<int>(m_nPanelSetting));
}

void CVX410JobApp::DispMessageToScaner(const char* text, BOOL bIsError) {
    const char* msg = text ? text : "";
    Log().Write("DispMessageToScaner Start msg = %s  iserror = %d", msg, bIsError ? 1 : 0);
    CStiDevice dev(m_host.GetStiDeviceName());
    if (!dev.Get()) {
        Log().Write("DispMessageToScaner StiOpen faile");
        return;
    }
    char buff[256] = {};
    if (m_pfnGetScannerMessage)
        m_pfnGetScannerMessage(m_strTranslatorText.c_str(), static_cast<int>(m_nPanelSetting), msg,
                               buff, sizeof buff);
    buff[sizeof buff - 1] = '\0'; // whatever the library did
    Log().Write("DispMessageToScaner GetScannerMessage pBuff = %s", buff);

    const kestrel::PanelDisplayKind kind = kestrel::ChoosePanelDisplayKind(
        bIsError, msg, VlmLocalize("Scanning..."), VlmLocalize("Sending complete."));
    Log().Write("DispMessage %s", kestrel::PanelDisplayKindWord(kind));
    auto data = kestrel::PanelMessageData(kind, buff);
    Log().Write("MsgEx = %02X %02X %02X %02X", data[0], data[1], data[2], data[3]);
    auto cdb = kestrel::PanelMessageCommand();
    StiWrite(dev.Get(), cdb.data(), static_cast<DWORD>(cdb.size()), data.data(),
             static_cast<DWORD>(data.size()));
}
