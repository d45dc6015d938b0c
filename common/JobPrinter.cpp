#include "common/JobPrinter.h"

#include <commdlg.h>

#include <cstddef>
#include <cstring>

#include "common/JobRecord.h"
#include "common/VlmLog.h"
#include "framework/ComError.h"
#include "framework/Variant.h"

namespace {

HRESULT ByteBlockOf(HGLOBAL h, VARIANT* pv) {
    CGlobalLock lock(h);
    if (!lock.Get())
        return E_POINTER;
    return VlmMakeByteBlock(lock.Get(), ::GlobalSize(h), pv);
}

// A movable global memory block holding bytes. Raises CComError.
HGLOBAL GlobalBlockOf(const std::vector<uint8_t>& bytes) {
    CGlobalMem mem;
    if (!mem.Alloc(bytes.size(), GMEM_MOVEABLE))
        throw CComError(HResultFromWin32(::GetLastError()), IID_IJobData);
    CGlobalLock lock(mem);
    memcpy(lock.Get(), bytes.data(), bytes.size());
    return mem.Detach();
}

// Whether the DEVMODE asks for collated copies.
bool DevModeCollates(HGLOBAL hDevMode) {
    CGlobalLock lock(hDevMode);
    const auto* dm = static_cast<const DEVMODEA*>(lock.Get());
    const size_t need = offsetof(DEVMODEA, dmCollate) + sizeof(dm->dmCollate);
    return dm && lock.Size() >= need && dm->dmSize >= need && (dm->dmFields & DM_COLLATE) &&
           dm->dmCollate == DMCOLLATE_TRUE;
}

} // namespace

bool IsDevModeBlock(const std::vector<uint8_t>& b) {
    const size_t fixed = offsetof(DEVMODEA, dmFields) + sizeof(DWORD);
    if (b.size() < fixed)
        return false;
    const auto* dm = reinterpret_cast<const DEVMODEA*>(b.data());
    return dm->dmSize >= fixed && size_t(dm->dmSize) + dm->dmDriverExtra <= b.size();
}

bool IsDevNamesBlock(const std::vector<uint8_t>& b) {
    if (b.size() < sizeof(DEVNAMES))
        return false;
    const auto* dn = reinterpret_cast<const DEVNAMES*>(b.data());
    for (WORD offset : {dn->wDriverOffset, dn->wDeviceOffset, dn->wOutputOffset}) {
        if (offset < sizeof(DEVNAMES) || offset >= b.size())
            return false;
        bool terminated = false;
        for (size_t i = offset; i < b.size() && !terminated; ++i)
            terminated = b[i] == 0;
        if (!terminated)
            return false;
    }
    return true;
}

std::string DevNamesDeviceName(const std::vector<uint8_t>& b) {
    if (!IsDevNamesBlock(b))
        return std::string();
    const auto* dn = reinterpret_cast<const DEVNAMES*>(b.data());
    return std::string(reinterpret_cast<const char*>(b.data()) + dn->wDeviceOffset);
}

BOOL CJobPrintDialog::GetDefaults() {
    PRINTDLGA pd = Prepare(m_dwFlags | PD_RETURNDEFAULT);
    if (!::PrintDlgA(&pd)) {
        CVlmLog::Instance().Write("PrintDlg: no default printer (0x%lx)", ::CommDlgExtendedError());
        return FALSE;
    }
    m_hDevMode.Attach(pd.hDevMode);
    m_hDevNames.Attach(pd.hDevNames);
    m_hDC.Attach(pd.hDC);
    TakeValues(pd);
    return TRUE;
}

BOOL CJobPrintDialog::DoModal(HWND hOwner) {
    // The stored flags may come from a set-up form or ask for a context; the
    // user sees the print form with this object's choices.
    DWORD flags = m_dwFlags & ~(kFlagsNotStored | PD_PRINTSETUP | PD_RETURNDC | PD_RETURNIC |
                                PD_COLLATE | PD_SELECTION | PD_PAGENUMS | PD_PRINTTOFILE);
    flags |= kFlags & ~PD_RETURNDC;
    if (DevModeCollates(m_hDevMode))
        flags |= PD_COLLATE;
    PRINTDLGA pd = Prepare(flags);
    pd.hwndOwner = hOwner;
    pd.nCopies = m_nCopies ? m_nCopies : 1;
    // The dialog may free the blocks and hand back new ones, on OK and on
    // Cancel alike: the members own whatever it returns.
    pd.hDevMode = m_hDevMode.Detach();
    pd.hDevNames = m_hDevNames.Detach();
    const BOOL ok = ::PrintDlgA(&pd);
    m_hDevMode.Attach(pd.hDevMode);
    m_hDevNames.Attach(pd.hDevNames);
    m_hDC.Attach(pd.hDC);
    if (!ok) {
        if (const DWORD err = ::CommDlgExtendedError())
            CVlmLog::Instance().Write("PrintDlg failed (0x%lx)", err);
        return FALSE;
    }
    TakeValues(pd);
    return TRUE;
}

PRINTDLGA CJobPrintDialog::Prepare(DWORD dwFlags) const {
    PRINTDLGA pd = {};
    pd.lStructSize = sizeof pd;
    pd.Flags = dwFlags;
    pd.nFromPage = m_nFromPage;
    pd.nToPage = m_nToPage;
    pd.nMinPage = m_nMinPage;
    pd.nMaxPage = m_nMaxPage;
    pd.nCopies = m_nCopies;
    return pd;
}

void CJobPrintDialog::TakeValues(const PRINTDLGA& pd) {
    m_dwFlags = pd.Flags;
    m_nFromPage = pd.nFromPage;
    m_nToPage = pd.nToPage;
    m_nMinPage = pd.nMinPage;
    m_nMaxPage = pd.nMaxPage;
    m_nCopies = pd.nCopies;
}

void CJobPrintDialog::Store(IJobData* pJob) const {
    CVariant block;
    ThrowIfFailed(ByteBlockOf(m_hDevMode, block.Receive()), IID_IJobData);
    JobSetValue(pJob, vlm::kKeyDevMode, block);
    ThrowIfFailed(ByteBlockOf(m_hDevNames, block.Receive()), IID_IJobData);
    JobSetValue(pJob, vlm::kKeyDevName, block);
    JobSetValue(pJob, vlm::kKeyFlags, CVariant(static_cast<long>(m_dwFlags & ~kFlagsNotStored)));
    JobSetValue(pJob, vlm::kKeyFromPage, CVariant(static_cast<long>(m_nFromPage)));
    JobSetValue(pJob, vlm::kKeyToPage, CVariant(static_cast<long>(m_nToPage)));
    JobSetValue(pJob, vlm::kKeyMinPage, CVariant(static_cast<long>(m_nMinPage)));
    JobSetValue(pJob, vlm::kKeyMaxPage, CVariant(static_cast<long>(m_nMaxPage)));
    JobSetValue(pJob, vlm::kKeyCopies, CVariant(static_cast<long>(m_nCopies)));
}

BOOL CJobPrintDialog::Restore(IJobData* pJob) {
    const CVariant mode = JobGetValue(pJob, vlm::kKeyDevMode);
    const CVariant names = JobGetValue(pJob, vlm::kKeyDevName);
    if (!(mode.vt & VT_ARRAY) || !(names.vt & VT_ARRAY))
        return FALSE;
    std::vector<uint8_t> modeBytes, nameBytes;
    ThrowIfFailed(VlmReadByteBlock(mode, modeBytes), IID_IJobData);
    ThrowIfFailed(VlmReadByteBlock(names, nameBytes), IID_IJobData);
    if (!IsDevModeBlock(modeBytes) || !IsDevNamesBlock(nameBytes)) {
        CVlmLog::Instance().Write(
            "The job's \"devmode\" (%u bytes) or \"devname\" (%u bytes) is no printer",
            unsigned(modeBytes.size()), unsigned(nameBytes.size()));
        return FALSE;
    }
    m_hDevMode.Attach(GlobalBlockOf(modeBytes));
    m_hDevNames.Attach(GlobalBlockOf(nameBytes));
    m_dwFlags = static_cast<DWORD>(JobGetLong(pJob, vlm::kKeyFlags));
    m_nFromPage = static_cast<WORD>(JobGetLong(pJob, vlm::kKeyFromPage));
    m_nToPage = static_cast<WORD>(JobGetLong(pJob, vlm::kKeyToPage));
    m_nMinPage = static_cast<WORD>(JobGetLong(pJob, vlm::kKeyMinPage));
    m_nMaxPage = static_cast<WORD>(JobGetLong(pJob, vlm::kKeyMaxPage));
    m_nCopies = static_cast<WORD>(JobGetLong(pJob, vlm::kKeyCopies));
    return TRUE;
}

HDC CJobPrintDialog::CreatePrinterDC() const {
    if (!m_hDevNames)
        return nullptr;
    CGlobalLock names(m_hDevNames);
    CGlobalLock mode(m_hDevMode);
    const auto* dn = static_cast<const DEVNAMES*>(names.Get());
    if (!dn)
        return nullptr;
    const char* base = reinterpret_cast<const char*>(dn);
    return ::CreateDCA(base + dn->wDriverOffset, base + dn->wDeviceOffset, base + dn->wOutputOffset,
                       static_cast<const DEVMODEA*>(mode.Get()));
}

std::string CJobPrintDialog::DeviceName() const {
    CGlobalLock names(m_hDevNames);
    const auto* dn = static_cast<const DEVNAMES*>(names.Get());
    return dn ? std::string(reinterpret_cast<const char*>(dn) + dn->wDeviceOffset) : std::string();
}
