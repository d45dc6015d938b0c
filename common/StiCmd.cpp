#include "common/StiCmd.h"

#include "common/Localize.h"
#include "common/VlmLog.h"

namespace {

std::string ForUser(const vlm::DeviceText& text) {
    return text.m_bTranslated ? VlmLocalize(text.m_pszEnglish) : std::string(text.m_pszEnglish);
}

template <size_t N> DWORD Size(const std::array<uint8_t, N>&) {
    return static_cast<DWORD>(N);
}

template <class F> bool Find(const CVlmLibrary& library, const char* name, F& pfn) {
    pfn = library.Get<F>(name);
    return pfn != nullptr;
}

} // namespace

BOOL CDevLink::Load() {
    if (!m_bTried) {
        m_bTried = true;
        m_dwError = ERROR_SUCCESS;
        if (!m_library.LoadBesideOrShared(kLibraryName)) {
            m_dwError = ERROR_MOD_NOT_FOUND;
            CVlmLog::Instance().Write("%s is not found beside %s nor in the shared files",
                                      kLibraryName, VlmOwnModuleFolder().c_str());
        } else if (!(Find(m_library, "StiProbeDeviceID", m_pfnProbeDeviceID) &&
                     Find(m_library, "StiOpen", m_pfnOpen) &&
                     Find(m_library, "StiClose", m_pfnClose) &&
                     Find(m_library, "StiWrite", m_pfnWrite) &&
                     Find(m_library, "StiRead", m_pfnRead) &&
                     Find(m_library, "StiNone", m_pfnNone) &&
                     Find(m_library, "StiGetSenseCode", m_pfnGetSenseCode) &&
                     Find(m_library, "StiExecCommand", m_pfnExecCommand))) {
            m_dwError = ERROR_PROC_NOT_FOUND;
            CVlmLog::Instance().Write("%s lacks an export", m_library.GetPath().c_str());
            m_library.Free();
        }
    }
    if (m_dwError != ERROR_SUCCESS) {
        ::SetLastError(m_dwError);
        return FALSE;
    }
    return TRUE;
}

CSuSTICmd::~CSuSTICmd() {
    Close();
}

BOOL CSuSTICmd::Open(const char* pszDeviceName) {
    if (m_hDevice)
        return TRUE;
    if (!m_devlink.Load())
        return FALSE;
    m_hDevice = m_devlink.m_pfnOpen(pszDeviceName);
    return m_hDevice ? TRUE : FALSE;
}

BOOL CSuSTICmd::Close() {
    if (!m_hDevice)
        return 0;
    // A handle was only ever got through the loaded library.
    const BOOL result = m_devlink.m_pfnClose(m_hDevice);
    m_hDevice = 0;
    return result;
}

BOOL CSuSTICmd::ExecCommand(DWORD dwValue) {
    if (!m_devlink.Load())
        return 0;
    return m_devlink.m_pfnExecCommand(m_hDevice, dwValue);
}

BOOL CSuSTICmd::Write(const BYTE* pBlock, DWORD cbBlock, const BYTE* pData, DWORD cbData) {
    if (!m_hDevice)
        return 0;
    return m_devlink.m_pfnWrite(m_hDevice, pBlock, cbBlock, pData, cbData);
}

BOOL CSuSTICmd::Read(const BYTE* pBlock, DWORD cbBlock, BYTE* pBuffer, DWORD cbBuffer) {
    if (!m_hDevice)
        return 0;
    return m_devlink.m_pfnRead(m_hDevice, pBlock, cbBlock, pBuffer, cbBuffer);
}

BOOL CSuSTICmd::GetSenseCode(BYTE* pBuffer, DWORD cbBuffer) {
    if (!m_hDevice)
        return 0;
    return m_devlink.m_pfnGetSenseCode(m_hDevice, pBuffer, cbBuffer);
}

BOOL CSuSTICmd::OpenByFriendlyName(const char* pszFriendlyName) {
    if (m_hDevice)
        return TRUE;
    if (!pszFriendlyName)
        return FALSE;
    if (!m_devlink.Load())
        return FALSE;
    char deviceName[256] = {};
    if (!m_devlink.m_pfnProbeDeviceID(deviceName, pszFriendlyName))
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
    return m_devlink.m_pfnNone(m_hDevice, block.data(), Size(block));
}

std::string CSuSTICmd::GetSenseText() const {
    BYTE sense[devcmd::kSenseSize] = {};
    // Zeroed sense data would read as "nothing to report", and the scanner
    // watch would then tell the user the scanner is ready.
    if (!m_hDevice || !m_devlink.m_pfnGetSenseCode(m_hDevice, sense, sizeof sense))
        return ForUser(vlm::UnknownDeviceError());
    const vlm::SenseVerdict verdict = vlm::InterpretSense(sense);
    if (verdict.m_bReadDiagnostics)
        return GetDiagnosticText();
    return ForUser(verdict.m_text);
}

std::string CSuSTICmd::GetDiagnosticText() const {
    BYTE results[devcmd::kDiagnosticSize] = {};
    const vlm::DiagnosticBlock block = vlm::DiagnosticCommand();
    // A failed read leaves zeros, which name no fault.
    if (m_hDevice)
        m_devlink.m_pfnRead(m_hDevice, block.data(), Size(block), results, sizeof results);
    return ForUser(vlm::InterpretDiagnosticResults(results));
}
