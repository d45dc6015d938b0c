#include "runner/VX410JobApp.h"

#include "common/JobRecord.h"
#include "common/Localize.h"
#include "common/VlmLog.h"
#include "common/StiCmd.h"
#include "contracts/WindowMessages.h"
#include "framework/MessageBox.h"
#include "runner/StatusDialog.h"
#include "runner/core/PanelKind.h"

namespace {
CVlmLog& Log() {
    return CVlmLog::Instance();
}
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
    CVlmStatusDialog4 dlg(nullptr, GetModelName(), SCAN_TO_PC, title, text,
                          GetErrorModeMessageName());
    const INT_PTR result = dlg.DoModal();
    Log().Write("ShowNotRegistered() end %d", static_cast<int>(result));
}

void CVX410JobApp::DispMessageToScaner_init(const char* path, long value) {
    m_slmsg.Load("slmsg.dll");
    m_strTranslatorText = path ? path : "";
    m_nPanelSetting = value;
    m_pfnGetScannerMessage =
        m_slmsg.IsLoaded() ? m_slmsg.Get<PFN_GetScannerMessage>("GetScannerMessage") : nullptr;

    Log().Write("DispMessageToScaner_init Start");
    CSuSTICmd dev;
    if (!dev.Open(m_host.GetStiDeviceName().c_str())) {
        Log().Write("DispMessageToScaner StiOpen faile");
        return;
    }
    Log().Write("DispMessageToScaner_init Open");
    BYTE info[devcmd::kDeviceInfoSize];
    dev.ReadDeviceInformation(info);
    m_nPanelSetting = info[devcmd::kDeviceInfoPanelByte];
    Log().Write("DispMessageToScaner_init result = %d", static_cast<int>(m_nPanelSetting));
    dev.Close();
}

void CVX410JobApp::DispMessageToScaner(const char* text, BOOL bIsError) {
    const char* msg = text ? text : "";
    Log().Write("DispMessageToScaner Start msg = %s  iserror = %d", msg, bIsError ? 1 : 0);
    CSuSTICmd dev;
    if (!dev.Open(m_host.GetStiDeviceName().c_str())) {
        Log().Write("DispMessageToScaner StiOpen faile");
        return;
    }
    char buff[256] = {};
    if (m_pfnGetScannerMessage)
        m_pfnGetScannerMessage(m_strTranslatorText.c_str(), static_cast<int>(m_nPanelSetting), msg,
                               buff, sizeof buff);
    buff[sizeof buff - 1] = '\0'; // whatever the library did
    Log().Write("DispMessageToScaner GetScannerMessage pBuff = %s", buff);

    const devcmd::DisplayKind kind = kestrel::ChoosePanelDisplayKind(
        bIsError, msg, VlmLocalize("Scanning..."), VlmLocalize("Sending complete."));
    Log().Write("DispMessage %s", kestrel::PanelDisplayKindWord(kind));
    // The panel line holds the first 32 bytes.
    const vlm::PanelMessageData data = vlm::MakePanelMessageData(kind, buff);
    Log().Write("MsgEx = %02X %02X %02X %02X", data[0], data[1], data[2], data[3]);
    const vlm::CommandBlock block = vlm::PanelMessageCommand();
    dev.Write(block.data(), static_cast<DWORD>(block.size()), data.data(),
              static_cast<DWORD>(data.size()));
    dev.Close();
}
