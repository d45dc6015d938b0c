#include "common/StiCmd.h"

#include "common/Localize.h"

namespace {

std::string ForUser(const vlm::DeviceText& text) {
    return text.m_bTranslated ? VlmLocalize(text.m_pszEnglish) : std::string(text.m_pszEnglish);
}

template <size_t N> DWORD Size(const std::array<uint8_t, N>&) {
    return static_cast<DWORD>(N);
}

} // namespace

CSuSTICmd::~CSuSTICmd() {
    Close();
}

BOOL CSuSTICmd::Open(const char* pszDeviceName) {
    if (m_hDevice)
        return TRUE;
    m_hDevice = StiOpen(pszDeviceName);
    return m_hDevice ? TRUE : FALSE;
}

BOOL CSuSTICmd::Close() {
    if (!m_hDevice)
        return 0;
    const BOOL result = StiClose(m_hDevice);
    m_hDevice = 0;
    return result;
}

BOOL CSuSTICmd::ExecCommand(DWORD dwValue) {
    return StiExecCommand(m_hDevice, dwValue);
}

BOOL CSuSTICmd::Write(const BYTE* pBlock, DWORD cbBlock, const BYTE* pData, DWORD cbData) {
    if (!m_hDevice)
        return 0;
    return StiWrite(m_hDevice, pBlock, cbBlock, pData, cbData);
}

BOOL CSuSTICmd::Read(const BYTE* pBlock, DWORD cbBlock, BYTE* pBuffer, DWORD cbBuffer) {
    if (!m_hDevice)
        return 0;
    return StiRead(m_hDevice, pBlock, cbBlock, pBuffer, cbBuffer);
}

BOOL CSuSTICmd::GetSenseCode(BYTE* pBuffer, DWORD cbBuffer) {
    if (!m_hDevice)
        return 0;
    return StiGetSenseCode(m_hDevice, pBuffer, cbBuffer);
}

BOOL CSuSTICmd::OpenByFriendlyName(const char* pszFriendlyName) {
    if (m_hDevice)
        return TRUE;
    if (!pszFriendlyName)
        return FALSE;
    char deviceName[256] = {};
    if (!StiProbeDeviceID(deviceName, pszFriendlyName))
        return FALSE;
    deviceName[sizeof deviceName - 1] = '\0'; // whatever the library wrote
    return Open(deviceName) ? TRUE : FALSE;
}

BOOL CSuSTICmd::WriteJobTitle(long nJobNumber, const char* pTitle, DWORD cbTitle) {
    if (!m_hDevice || !vlm::IsWritableJobTitle(nJobNumber, pTitle, cbTitle))
        return FALSE;
    const vlm::CommandBlock block = vlm::JobTitleCommand(static_cast<uint8_t>(nJobNumber));
    const vlm::JobTitleData data = vlm::MakeJobTitleData(pTitle, cbTitle);
    return Write(block.data(), Size(block), data.data(), Size(data));
}

BOOL CSuSTICmd::ClearJobTitle(long nJobNumber) {
    return WriteJobTitle(nJobNumber, "", 0);
}

long CSuSTICmd::WriteJobTitles(
    const std::function<JobTitleAction(long nJobNumber, std::string& title)>& source) {
    for (long job = 1; job <= devcmd::kJobCount; ++job) {
        std::string title;
        BOOL written = FALSE;
        switch (source(job, title)) {
        case JobTitleAction::Stop:
            return 0;
        case JobTitleAction::Clear:
            written = ClearJobTitle(job);
            break;
        case JobTitleAction::Write:
            written = WriteJobTitle(job, title.data(), static_cast<DWORD>(title.size()));
            break;
        }
        if (!written)
            return job;
    }
    return 0;
}

BOOL CSuSTICmd::ShowPanelMessage(devcmd::DisplayKind kind, const char* pszText) {
    const vlm::CommandBlock block = vlm::PanelMessageCommand();
    const vlm::PanelMessageData data = vlm::MakePanelMessageData(kind, pszText);
    return Write(block.data(), Size(block), data.data(), Size(data));
}

BOOL CSuSTICmd::ReadDeviceInformation(BYTE (&info)[devcmd::kDeviceInfoSize]) {
    ZeroMemory(info, sizeof info);
    const vlm::CommandBlock block = vlm::DeviceInfoCommand();
    return Read(block.data(), Size(block), info, sizeof info);
}

BOOL CSuSTICmd::LoadCheck() {
    if (!m_hDevice)
        return FALSE;
    const vlm::CommandBlock block = vlm::LoadCheckCommand();
    return StiNone(m_hDevice, block.data(), Size(block));
}

std::string CSuSTICmd::GetSenseText() const {
    return ::GetSenseText(m_hDevice);
}

std::string CSuSTICmd::GetDiagnosticText() const {
    return ::GetDiagnosticText(m_hDevice);
}

std::string GetSenseText(STIHANDLE hDevice) {
    BYTE sense[devcmd::kSenseSize] = {};
    // Zeroed sense data would read as "nothing to report", and the scanner
    // watch would then tell the user the scanner is ready.
    if (!hDevice || !StiGetSenseCode(hDevice, sense, sizeof sense))
        return ForUser(vlm::UnknownDeviceError());
    const vlm::SenseVerdict verdict = vlm::InterpretSense(sense);
    if (verdict.m_bReadDiagnostics)
        return GetDiagnosticText(hDevice);
    return ForUser(verdict.m_text);
}

std::string GetDiagnosticText(STIHANDLE hDevice) {
    BYTE results[devcmd::kDiagnosticSize] = {};
    const vlm::DiagnosticBlock block = vlm::DiagnosticCommand();
    // A failed read leaves zeros, which name no fault.
    if (hDevice)
        StiRead(hDevice, block.data(), Size(block), results, sizeof results);
    return ForUser(vlm::InterpretDiagnosticResults(results));
}
