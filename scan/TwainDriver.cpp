#include "TwainDriver.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "framework/App.h"
#include "Bunkatsu.h"
#include "ScanLog.h"
#include "contracts/WindowMessages.h"
#include "ScanSupport.h"

#include <atomic>
#include <string>

namespace {
// Process-wide, as the settings dialog of the editor points it elsewhere.
char g_szProfilePath[MAX_PATH] = {};
// The yield procedure takes no argument, so it finds the driver whose batch
// installed it here.
std::atomic<CTwainDriver*> g_pYieldDriver{nullptr};

// The driver's lines go to the scan trace, not the run log.
void ScanTrace(const char* text) {
    CScanTraceLog::Write(text);
}
} // namespace

CScanDriver::CScanDriver() {
    ClearSupportedItems();
}

void CScanDriver::ClearSupportedItems() {
    m_ImageTypes.clear();
    m_ResolutionsAll.clear();
    m_Resolutions.clear();
    m_DropOuts.clear();
    m_JobControlsAll.clear();
    m_JobControls.clear();
    m_Feeders.clear();
    m_HalftoneNames.clear();
    m_nCurImageType = m_nCurResolution = m_nCurDropOut = m_nCurJobControl = m_nCurFeeder =
        m_nCurHalftone = 0;
    m_nWindowCountBits = -1;
    m_nJpegSupport = -1;
}

std::string CTwainDriver::GetProfilePath() {
    return g_szProfilePath;
}
void CTwainDriver::SetProfilePath(const char* pszPath) {
    lstrcpynA(g_szProfilePath, pszPath ? pszPath : "", MAX_PATH);
}

CTwainDriver::CTwainDriver() {
    char dir[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, dir);
    char path[MAX_PATH] = {};
    if (GetTempFileNameA(dir, "SuC", 0, path))
        SetProfilePath(path);
}

CTwainDriver::~CTwainDriver() {
    ReleaseImage(m_hNativeDib);
    if (g_szProfilePath[0])
        DeleteFileA(g_szProfilePath);
    CTwainDriver* self = this;
    g_pYieldDriver.compare_exchange_strong(self, nullptr);
}

HWND CTwainDriver::MainWindow() const {
    if (m_hMainWnd && IsWindow(m_hMainWnd))
        return m_hMainWnd;
    if (m_hReceiverWnd && IsWindow(m_hReceiverWnd))
        return m_hReceiverWnd;
    CVlmApp* app = CVlmApp::GetApp();
    return app ? app->GetMainWnd() : nullptr;
}

int WINAPI CTwainDriver::YieldProc() {
    CTwainDriver* d = g_pYieldDriver.load();
    return d ? static_cast<int>(d->m_bCancelRequested) : 0;
}

BOOL CTwainDriver::Enter(const char* pszOp) {
    BOOL ok = OpenDriver();
    ScanTrace(pszOp);
    return ok;
}

void CTwainDriver::SetSourceName(const char* pszName) {
    if (pszName && *pszName)
        m_strSourceName = pszName;
}

BOOL CTwainDriver::Probe(const char* pszSource, BOOL bShowError) {
    ScanTrace("CTwainDriver::Probe");
    SetSourceName(pszSource);
    OpenSource(bShowError);
    if (GetState() < 4)
        return FALSE;
    GetScannerSupportedItems();
    return TRUE;
}

BOOL CTwainDriver::OpenManager(HWND hWnd) {
    ScanTrace("CTwainDriver::OpenManager");
    if (!IsSourceManagerAvailable())
        return FALSE;
    if (hWnd)
        m_hParentWnd = hWnd;
    BOOL ok = OpenSourceManager(hWnd);
    if (!ok)
        AcquireFailed();
    m_nXferMech = TWSX_NATIVE;
    return ok;
}

BOOL CTwainDriver::CloseSourceManager() {
    ScanTrace("CTwainDriver::CloseSourceManager");
    return CTwain::CloseSourceManager(nullptr);
}

BOOL CTwainDriver::OpenDriver() {
    if (GetState() >= 4)
        return TRUE;
    if (GetState() < 3)
        return FALSE;
    return OpenSource(TRUE);
}

BOOL CTwainDriver::CloseDriver() {
    ScanTrace("CTwainDriver::CloseDriver");
    return CloseSource();
}

void CTwainDriver::ResetPageInfo() {
    m_PageInfo.EndOfJob = 0;
    m_PageInfo.Aborted = 0;
    m_PageInfo.WindowNo = 0;
    m_PageInfo.ScanResolution = 0;
    m_PageInfo.Side = 0;
}

// The three ways of starting a batch differ only in their mode and the
// preparation step they run before the source is enabled.
BOOL CTwainDriver::StartAcquire(const char* pszName, HWND hWnd, int nMode, BOOL bOnePage,
                                BOOL (CTwainDriver::*pfnPrepare)()) {
    if (!Enter(pszName)) {
        ScanBatchEnd2();
        ScanTrace((std::string(pszName) + " Not Open Driver").c_str());
        return FALSE;
    }
    SetReceiverWindow(hWnd);
    m_nScanMode = nMode;
    m_bOnePageMode = bOnePage;
    m_bAcquiring = TRUE;
    m_bBatchFailed = FALSE;
    m_Side.Reset(m_nCurFeeder);
    ResetPageInfo();
    (this->*pfnPrepare)();
    if (!BeginAcquire(m_hScanThreadWnd ? m_hScanThreadWnd : hWnd)) {
        ScanBatchEnd();
        return FALSE;
    }
    return TRUE;
}

BOOL CTwainDriver::Scan(HWND hWnd) {
    return StartAcquire("CTwainDriver::Scan", hWnd, 2, FALSE, &CTwainDriver::PrepareScan);
}

BOOL CTwainDriver::ScanPage(HWND hWnd) {
    return StartAcquire("CTwainDriver::ScanPage", hWnd, 1, TRUE, &CTwainDriver::PrepareScanPage);
}

BOOL CTwainDriver::ScanMultiStream(HWND hWnd) {
    return StartAcquire("CTwainDriver::ScanMultiStream", hWnd, 2, FALSE,
                        &CTwainDriver::PrepareScanMultiStream);
}

BOOL CTwainDriver::Stop() {
    return StopXfers();
}
BOOL CTwainDriver::Cancel() {
    return CancelXfers();
}

BOOL CTwainDriver::Setting(HWND hWnd, BOOL bDisable) {
    if (!Enter("CTwainDriver::Setting")) {
        ScanTrace("CTwainDriver::Setting Not Open Driver");
        return FALSE;
    }
    SetDisableItem(bDisable);
    m_bShowUI = TRUE;
    return SetupSource(hWnd);
}

BOOL CTwainDriver::Setting(HWND hWnd) {
    if (!Enter("CTwainDriver::Setting")) {
        ScanTrace("CTwainDriver::Setting Not Open Driver");
        return FALSE;
    }
    m_bShowUI = TRUE;
    return SetupSource(hWnd);
}

BOOL CTwainDriver::Select(HWND hWnd) {
    ScanTrace("CTwainDriver::Select");
    m_bIsShowDSUI = TRUE;
    CloseDriver();
    CTwain::CloseSourceManager(nullptr);
    OpenSourceManager(hWnd);
    std::string old = m_strSourceName;
    TW_IDENTITY id{};
    SMCall(DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, &id);
    if (SMCall(DG_CONTROL, DAT_IDENTITY, MSG_USERSELECT, &id))
        m_strSourceName = id.ProductName;
    CTwain::CloseSourceManager(hWnd);
    OpenSourceManager(m_hScanThreadWnd);
    if (!vlmscan::ProductNameEquals(old.c_str(), m_strSourceName.c_str()))
        ClearSupportedItems();
    m_bIsShowDSUI = FALSE;
    return TRUE;
}

int CTwainDriver::GetBusyState() {
    if (m_bAcquiring || m_lScanPending)
        return 1;
    if (m_bIsShowDSUI)
        return 2;
    return 0;
}

void CTwainDriver::CheckStopCancel() {
    if (m_bStopRequested) {
        Progress(WM_SCAN_PROGRESS, 45, 100, 0);
        Stop();
        m_bStopRequested = FALSE;
    } else if (m_bCancelRequested) {
        Progress(WM_SCAN_PROGRESS, 45, 100, 0);
        Cancel();
        m_bCancelRequested = FALSE;
    }
}

BOOL CTwainDriver::SaveCustomDsData(const char* pszFile) {
    if (!Enter("CTwainDriver::CustomDsData Save"))
        return FALSE;
    std::string file = pszFile && *pszFile ? pszFile : g_szProfilePath;
    TW_INT32 r = VendorOp(VLMOP_SAVEPROFILE, reinterpret_cast<uintptr_t>(VLM_PROFILE_SECTION),
                          reinterpret_cast<uintptr_t>(file.c_str()));
    // The source writes the file through the profile API: flush its cache.
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, file.c_str());
    return r == 0;
}

BOOL CTwainDriver::LoadCustomDsData(const char* pszFile) {
    if (!Enter("CTwainDriver::CustomDsData Load"))
        return FALSE;
    std::string file = pszFile && *pszFile ? pszFile : g_szProfilePath;
    TW_INT32 r = VendorOp(VLMOP_LOADPROFILE, reinterpret_cast<uintptr_t>(VLM_PROFILE_SECTION),
                          reinterpret_cast<uintptr_t>(file.c_str()));
    return r == 0;
}

BOOL CTwainDriver::ResetSettings() {
    if (!Enter("CTwainDriver::ResetSettings"))
        return FALSE;
    return VendorOp(VLMOP_RESET, 0, 0) == 0;
}

void CTwainDriver::ScanThreadProgressMessage(UINT msg, int a, int b, int c) {
    CScanTraceLog::WriteF("CTwainDriver::ScanThreadProgressMessage WM_MESSAGE = %d", msg);
    int values[3] = {a, b, c};
    if (m_hScanThreadWnd)
        SendMessageA(m_hScanThreadWnd, msg, 0, reinterpret_cast<LPARAM>(values));
}

// No window shows the progress of a transfer: it goes straight to the scan
// trace instead of through the scan thread's window.
void CTwainDriver::Progress(UINT msg, int a, int b, int c) {
    CScanTraceLog::Printf("CTwainDriver::Progress WM_MESSAGE = %u %d %d %d", msg, a, b, c);
}

// ---- settings -----------------------------------------------------------

BOOL CTwainDriver::SetFeeder(int nCode) {
    if (!Enter("CTwainDriver::SetFeeder"))
        return FALSE;
    CScanTraceLog::WriteF("CTwainDriver::SetFeeder = %d", nCode);
    m_nCurFeeder = nCode;
    BOOL ok;
    switch (nCode) {
    case 1:
    case 2:
        ok = SetInt32Cap(CCAP_VLM_DOCUMENT_PLACE, nCode == 2 ? 1 : 2);
        SetUInt32Cap(CCAP_VLM_BLANKSKIP, 0);
        SetCapValue(CAP_XFERCOUNT, TWTY_INT16, static_cast<TW_UINT16>(-1));
        SetBoolCap(CAP_DUPLEXENABLED, nCode == 1);
        break;
    case 4:
        ok = SetInt32Cap(CCAP_VLM_DOCUMENT_PLACE, 0);
        SetUInt32Cap(CCAP_VLM_BLANKSKIP, 0);
        break;
    case 8:
        ok = SetInt32Cap(CCAP_VLM_DOCUMENT_PLACE, 2);
        SetCapValue(CAP_XFERCOUNT, TWTY_INT16, static_cast<TW_UINT16>(-1));
        SetBoolCap(CAP_DUPLEXENABLED, FALSE);
        SetUInt32Cap(CCAP_VLM_BLANKSKIP, 1);
        break;
    default:
        ok = SetInt32Cap(CCAP_VLM_DOCUMENT_PLACE, 2);
        SetUInt32Cap(CCAP_VLM_BLANKSKIP, 0);
        SetCapValue(CAP_XFERCOUNT, TWTY_INT16, static_cast<TW_UINT16>(-1));
        SetBoolCap(CAP_DUPLEXENABLED, FALSE);
        break;
    }
    return ok;
}

int CTwainDriver::GetFeeder(int* pCode) {
    if (!Enter("CTwainDriver::GetFeeder"))
        return 0;
    vlmscan::SFeederState s;
    long v = 0;
    s.bDocPlaceReadable = GetCapLong(CCAP_VLM_DOCUMENT_PLACE, TWTY_INT32, &v);
    s.nDocPlace = static_cast<int>(v);
    v = 0;
    s.bDuplexOn = GetCapLong(CAP_DUPLEXENABLED, TWTY_BOOL, &v) && v;
    v = 1;
    s.bFeederEnabledCurrent = !GetCapLong(CAP_FEEDERENABLED, TWTY_BOOL, &v) || v;
    s.bFeederAutoReadable = GetCapLong(CCAP_VLM_FEEDER_AUTO, TWTY_UINT32, &v);
    v = 0;
    s.bBlankSkipReadable = GetCapLong(CCAP_VLM_BLANKSKIP, TWTY_UINT32, &v);
    s.nBlankSkip = static_cast<int>(v);
    int code = vlmscan::FeederCode(s);
    if (pCode)
        *pCode = code;
    if (m_Feeders.empty())
        GetEnumFeeder(nullptr);
    int idx = vlmscan::IndexOf(m_Feeders, code);
    CScanTraceLog::WriteF("CTwainDriver::GetFeeder  Current=%d", idx);
    return idx;
}

int CTwainDriver::GetEnumFeeder(std::vector<uint16_t>* pList) {
    if (!Enter("CTwainDriver::GetEnumFeeder"))
        return 0;
    vlmscan::SFeederOffer o;
    SCapValues cv;
    if (GetCapValues(CAP_FEEDERENABLED, &cv) == TWON_ENUMERATION)
        for (double d : cv.Items)
            o.FeederEnabledItems.push_back(d != 0);
    long v = 0;
    o.bDuplex = GetCapLong(CAP_DUPLEX, TWTY_UINT16, &v) && v;
    o.bFeederAutoReadable = GetCapLong(CCAP_VLM_FEEDER_AUTO, TWTY_UINT32, &v);
    o.bBlankSkipReadable = GetCapLong(CCAP_VLM_BLANKSKIP, TWTY_UINT32, &v);
    m_Feeders = vlmscan::FeederList(o);
    if (pList)
        *pList = m_Feeders;
    int code = 0;
    vlmscan::SFeederState s;
    long place = 0;
    s.bDocPlaceReadable = GetCapLong(CCAP_VLM_DOCUMENT_PLACE, TWTY_INT32, &place);
    s.nDocPlace = static_cast<int>(place);
    v = 0;
    s.bDuplexOn = GetCapLong(CAP_DUPLEXENABLED, TWTY_BOOL, &v) && v;
    s.bFeederAutoReadable = o.bFeederAutoReadable;
    v = 0;
    s.bBlankSkipReadable = GetCapLong(CCAP_VLM_BLANKSKIP, TWTY_UINT32, &v);
    s.nBlankSkip = static_cast<int>(v);
    code = vlmscan::FeederCode(s);
    int idx = vlmscan::IndexOf(m_Feeders, code);
    CScanTraceLog::WriteF("CTwainDriver::GetEnumFeeder  Current=%d", idx);
    return idx;
}

BOOL CTwainDriver::SetImageType(int nCode) {
    if (!Enter("CTwainDriver::SetImageType"))
        return FALSE;
    vlmscan::SImageTypeSetting st = vlmscan::ImageTypeSetting(nCode);
    BOOL ok = SetCapValue(ICAP_PIXELTYPE, TWTY_UINT16, st.nPixelType);
    if (st.nBitDepth)
        SetCapValue(ICAP_BITDEPTH, TWTY_UINT16, st.nBitDepth);
    if (st.nTextEnhance >= 0)
        SetInt32Cap(CCAP_VLM_TEXTENHANCE, st.nTextEnhance);
    std::string halftone;
    if (st.nHalftoneIndex > 0 && st.nHalftoneIndex < static_cast<int>(m_HalftoneNames.size()))
        halftone = m_HalftoneNames[st.nHalftoneIndex];
    if (st.nPixelType == TWPT_BW)
        SetCapString(ICAP_HALFTONES, halftone.c_str());
    m_nCurImageType = nCode;
    return ok;
}

int CTwainDriver::GetImageType(int* pCode) {
    if (!Enter("CTwainDriver::GetImageType"))
        return 0;
    long pixel = 0;
    if (!GetCapLong(ICAP_PIXELTYPE, TWTY_UINT16, &pixel))
        return 0;
    long te = 0, mode = 0;
    bool bTe = pixel == TWPT_BW && GetCapLong(CCAP_VLM_TEXTENHANCE, TWTY_INT32, &te) && te;
    if (bTe)
        GetCapLong(CCAP_VLM_TEXTENHANCE_MODE, TWTY_INT32, &mode);
    int halftone = 0;
    if (pixel == TWPT_BW && !bTe) {
        char name[40] = {};
        if (GetCapCurrent(ICAP_HALFTONES, TWTY_STR32, name))
            for (size_t i = 1; i < m_HalftoneNames.size(); ++i)
                if (m_HalftoneNames[i] == name)
                    halftone = static_cast<int>(i);
    }
    int code =
        vlmscan::ImageTypeCode(static_cast<int>(pixel), bTe, static_cast<int>(mode), halftone);
    if (pCode)
        *pCode = code;
    return TRUE;
}

int CTwainDriver::GetEnumImageType(std::vector<uint16_t>* pList) {
    if (!Enter("CTwainDriver::GetEnumImageType"))
        return 0;
    SCapValues cv;
    std::vector<uint16_t> list;
    if (GetCapValues(ICAP_PIXELTYPE, &cv) == TWON_ENUMERATION) {
        for (double d : cv.Items) {
            int pt = static_cast<int>(d);
            if (pt == TWPT_BW) {
                list.push_back(vlmscan::kImageBW);
                SCapValues ht;
                if (GetCapValues(ICAP_HALFTONES, &ht) == TWON_ENUMERATION) {
                    m_HalftoneNames = ht.Strings;
                    for (size_t i = 1; i < ht.Strings.size() && i <= 9; ++i)
                        list.push_back(static_cast<uint16_t>(1100 + i));
                }
                long te = 0;
                if (GetCapLong(CCAP_VLM_TEXTENHANCE, TWTY_INT32, &te)) {
                    list.push_back(1110);
                    long mode = 0;
                    if (GetCapLong(CCAP_VLM_TEXTENHANCE_MODE, TWTY_INT32, &mode))
                        list.push_back(1111);
                }
            } else if (pt == TWPT_GRAY) {
                list.push_back(vlmscan::kImageGray);
            } else if (pt == TWPT_RGB) {
                list.push_back(vlmscan::kImageColor);
            }
        }
    }
    m_ImageTypes = list;
    if (pList)
        *pList = list;
    int code = 0;
    GetImageType(&code);
    return vlmscan::IndexOf(m_ImageTypes, code);
}

BOOL CTwainDriver::SetResolution(int nDpi) {
    if (!Enter("CTwainDriver::SetResolution"))
        return FALSE;
    BOOL ok = SetCapFix32(ICAP_XRESOLUTION, nDpi);
    SetCapFix32(ICAP_YRESOLUTION, nDpi);
    return ok;
}

int CTwainDriver::GetResolution(int* pDpi) {
    if (!Enter("CTwainDriver::GetResolution"))
        return 0;
    long dpi = 0;
    if (!GetCapLong(ICAP_XRESOLUTION, TWTY_FIX32, &dpi))
        return 0;
    if (pDpi)
        *pDpi = static_cast<int>(dpi);
    return TRUE;
}

BOOL CTwainDriver::ListResolutions(std::vector<uint16_t>* pList, int* pCurrent) {
    SCapValues cv;
    int kind = GetCapValues(ICAP_XRESOLUTION, &cv);
    pList->clear();
    if (kind == TWON_ENUMERATION) {
        for (double d : cv.Items)
            pList->push_back(static_cast<uint16_t>(d));
        *pCurrent = cv.nCurrentIndex;
        return TRUE;
    }
    if (kind == TWON_RANGE) {
        *pList =
            vlmscan::ResolutionsFromRange(static_cast<int>(cv.dMin), static_cast<int>(cv.dMax));
        *pCurrent = vlmscan::IndexOf(*pList, static_cast<int>(cv.dCurrent));
        return TRUE;
    }
    return FALSE;
}

int CTwainDriver::GetEnumResolution(std::vector<uint16_t>* pList) {
    if (!Enter("CTwainDriver::GetEnumResolution"))
        return 0;
    int cur = 0;
    ListResolutions(&m_Resolutions, &cur);
    if (pList)
        *pList = m_Resolutions;
    return cur;
}

int CTwainDriver::GetEnumResolutionAll(std::vector<uint16_t>* pList) {
    if (!Enter("CTwainDriver::GetEnumResolutionAll"))
        return 0;
    long pixel = 0;
    GetCapLong(ICAP_PIXELTYPE, TWTY_UINT16, &pixel);
    int code = 0;
    GetImageType(&code);
    std::vector<uint16_t> all;
    std::vector<uint16_t> types = m_ImageTypes;
    for (uint16_t t : types) {
        SetImageType(t);
        std::vector<uint16_t> list;
        int cur = 0;
        ListResolutions(&list, &cur);
        all.insert(all.end(), list.begin(), list.end());
        all.push_back(0);
    }
    if (!types.empty())
        SetImageType(code);
    m_ResolutionsAll = all;
    if (pList)
        *pList = all;
    int cur = 0;
    std::vector<uint16_t> now;
    ListResolutions(&now, &cur);
    return cur;
}

BOOL CTwainDriver::SetPageSize(int nSize) {
    if (!Enter("CTwainDriver::SetPageSize"))
        return FALSE;
    return SetCapValue(ICAP_SUPPORTEDSIZES, TWTY_UINT16, static_cast<TW_UINT32>(nSize));
}

int CTwainDriver::GetPageSize(int* pSize) {
    if (!Enter("CTwainDriver::GetPageSize"))
        return 0;
    long v = 0;
    if (!GetCapLong(ICAP_SUPPORTEDSIZES, TWTY_UINT16, &v)) {
        long detect = 0, margin = 0;
        GetCapLong(CCAP_VLM_DETECTPAGESIZE, TWTY_INT32, &detect);
        GetCapLong(CCAP_VLM_MARGIN, TWTY_INT32, &margin);
        SetInt32Cap(CCAP_VLM_DETECTPAGESIZE, 0);
        SetInt32Cap(CCAP_VLM_MARGIN, 0);
        BOOL ok = GetCapLong(ICAP_SUPPORTEDSIZES, TWTY_UINT16, &v);
        SetInt32Cap(CCAP_VLM_DETECTPAGESIZE, detect);
        SetInt32Cap(CCAP_VLM_MARGIN, margin);
        if (!ok)
            return 0;
    }
    if (pSize)
        *pSize = static_cast<int>(v);
    return TRUE;
}

BOOL CTwainDriver::GetHalfToneString(int nIndex, std::string* pName) {
    if (nIndex < 0 || nIndex >= static_cast<int>(m_HalftoneNames.size()) || !pName)
        return FALSE;
    *pName = m_HalftoneNames[nIndex];
    return TRUE;
}

int CTwainDriver::GetEnumHalfToneString(std::vector<std::string>* pList) {
    if (!Enter("CTwainDriver::GetEnumHalfToneString"))
        return 0;
    SCapValues cv;
    if (GetCapValues(ICAP_HALFTONES, &cv) == TWON_ENUMERATION) {
        m_HalftoneNames = cv.Strings;
        m_nCurHalftone = cv.nCurrentIndex;
    }
    if (pList)
        *pList = m_HalftoneNames;
    return m_nCurHalftone;
}

BOOL CTwainDriver::SetJobControl(int nValue) {
    if (!Enter("CTwainDriver::SetJobControl"))
        return FALSE;
    return SetCapValue(CAP_JOBCONTROL, TWTY_UINT16, static_cast<TW_UINT32>(nValue));
}

int CTwainDriver::GetJobControl(int* pValue) {
    if (!Enter("CTwainDriver::GetJobControl"))
        return 0;
    long v = 0;
    if (!GetCapLong(CAP_JOBCONTROL, TWTY_UINT16, &v))
        return 0;
    if (pValue)
        *pValue = static_cast<int>(v);
    return TRUE;
}

int CTwainDriver::GetEnumJobControl(std::vector<uint16_t>* pList) {
    if (!Enter("CTwainDriver::GetEnumJobControl"))
        return 0;
    SCapValues cv;
    m_JobControls.clear();
    if (GetCapValues(CAP_JOBCONTROL, &cv) == TWON_ENUMERATION) {
        for (double d : cv.Items)
            m_JobControls.push_back(static_cast<uint16_t>(d));
        m_nCurJobControl = cv.nCurrentIndex;
    }
    if (pList)
        *pList = m_JobControls;
    return m_nCurJobControl;
}

int CTwainDriver::GetEnumJobControlAll(std::vector<uint16_t>* pList) {
    int cur = GetEnumJobControl(nullptr);
    m_JobControlsAll = m_JobControls;
    if (pList)
        *pList = m_JobControlsAll;
    return cur;
}

BOOL CTwainDriver::SetJobControlDialog(HWND hParent, int nValue) {
    if (!Enter("CTwainDriver::SetJobControlDialog"))
        return FALSE;
    VlmJobControlDialog rec{};
    rec.Size = sizeof rec;
    rec.hParent = hParent;
    rec.Value = nValue;
    return SetCapAddress(CCAP_VLM_JOBCONTROLDIALOG, reinterpret_cast<uintptr_t>(&rec));
}

// The vendor switches that are plain TWTY_UINT32 one-values.
int CTwainDriver::GetUInt32Cap(const char* pszOp, TW_UINT16 cap, int* pValue) {
    long v = 0;
    if (!Enter(pszOp) || !GetCapLong(cap, TWTY_UINT32, &v))
        return 0;
    if (pValue)
        *pValue = static_cast<int>(v);
    return TRUE;
}

BOOL CTwainDriver::SetFeedingOption(int nValue) {
    return Enter("CTwainDriver::SetFeedingOption") && SetUInt32Cap(CCAP_VLM_MANUALFEED, nValue);
}
int CTwainDriver::GetFeedingOption(int* pValue) {
    return GetUInt32Cap("CTwainDriver::GetFeedingOption", CCAP_VLM_MANUALFEED, pValue);
}
BOOL CTwainDriver::SetJobSeparator(int nValue) {
    return Enter("CTwainDriver::SetJobSeparator") && SetUInt32Cap(CCAP_VLM_AUTOJOBSEP, nValue);
}
int CTwainDriver::GetJobSeparator(int* pValue) {
    return GetUInt32Cap("CTwainDriver::GetJobSeparator", CCAP_VLM_AUTOJOBSEP, pValue);
}
BOOL CTwainDriver::SetJobSepType(int nValue) {
    return Enter("CTwainDriver::SetJobSepType") && SetUInt32Cap(CCAP_VLM_DETECTJOBSEPTYPE, nValue);
}
int CTwainDriver::GetJobSepType(int* pValue) {
    return GetUInt32Cap("CTwainDriver::GetJobSepType", CCAP_VLM_DETECTJOBSEPTYPE, pValue);
}

BOOL CTwainDriver::SetDropOut(int nCode) {
    if (!Enter("CTwainDriver::SetDropOut"))
        return FALSE;
    int d = 0, e = 0;
    if (!vlmscan::DropOutToPair(nCode, &d, &e))
        CScanTraceLog::WriteF("Param Error Value=%d", nCode);
    BOOL ok = SetInt32Cap(CCAP_VLM_DROPOUT, d);
    SetInt32Cap(CCAP_VLM_COLORENHANCE, e);
    return ok;
}

int CTwainDriver::GetDropOut(int* pCode) {
    if (!Enter("CTwainDriver::GetDropOut"))
        return 0;
    long d = 0, e = 0;
    if (!GetCapLong(CCAP_VLM_DROPOUT, TWTY_INT32, &d))
        return 0;
    if (d == 0)
        GetCapLong(CCAP_VLM_COLORENHANCE, TWTY_INT32, &e);
    bool valid = true;
    int code = vlmscan::DropOutFromPair(static_cast<int>(d), static_cast<int>(e), &valid);
    if (!valid)
        CScanTraceLog::WriteF("Param Error Value=%d", code);
    if (pCode)
        *pCode = code;
    return TRUE;
}

int CTwainDriver::GetDropOut(int nWindow, int* pCode) {
    if (m_nCurImageType == vlmscan::kImageColor) {
        if (pCode)
            *pCode = 0;
        return TRUE;
    }
    if (!Enter("CTwainDriver::GetDropOut(window)"))
        return 0;
    SetInt32Cap(CCAP_VLM_WINDOW, nWindow);
    int r = GetDropOut(pCode);
    SetInt32Cap(CCAP_VLM_WINDOW, 0);
    return r;
}

int CTwainDriver::GetEnumDropOut(std::vector<uint16_t>* pList) {
    if (!Enter("CTwainDriver::GetEnumDropOut"))
        return 0;
    SCapValues cv;
    m_DropOuts.clear();
    if (GetCapValues(CCAP_VLM_DROPOUT, &cv) == TWON_ENUMERATION) {
        for (double d : cv.Items)
            m_DropOuts.push_back(static_cast<uint16_t>(d));
        SCapValues ce;
        if (GetCapValues(CCAP_VLM_COLORENHANCE, &ce) == TWON_ENUMERATION)
            for (double d : ce.Items)
                if (d >= 1 && d <= 3)
                    m_DropOuts.push_back(static_cast<uint16_t>(d + 3));
    }
    int code = 0;
    GetDropOut(&code);
    m_nCurDropOut = vlmscan::IndexOf(m_DropOuts, code);
    if (pList)
        *pList = m_DropOuts;
    return m_nCurDropOut;
}

BOOL CTwainDriver::SetMultiStreamWindows(const VlmMultiStream* r) {
    if (!r || !Enter("CTwainDriver::SetMultiStreamWindows"))
        return FALSE;
    SetInt32Cap(CCAP_VLM_WINDOWCOUNTFRONT, r->bFront ? 2 : 1);
    SetInt32Cap(CCAP_VLM_WINDOWCOUNTBACK, r->bBack ? 2 : 1);
    for (const auto& e : r->Entry) {
        int window = e.nType == 2 ? 2 : e.nType == 3 ? 255 : e.nType == 4 ? 254 : 1;
        SetInt32Cap(CCAP_VLM_WINDOW, window);
        SetImageType(e.nImageType);
        SetResolution(e.nResolution);
        SetDropOut(e.nDropOut);
        if (e.bJpeg && SetCapValue(ICAP_COMPRESSION, TWTY_UINT16, TWCP_JPEG))
            SetCapValue(ICAP_JPEGQUALITY, TWTY_UINT16, static_cast<TW_UINT32>(e.nQuality));
        else
            SetCapValue(ICAP_COMPRESSION, TWTY_UINT16, TWCP_NONE);
    }
    return SetInt32Cap(CCAP_VLM_WINDOW, 0);
}

BOOL CTwainDriver::SetDisableItem(BOOL bDisable) {
    return Enter("CTwainDriver::SetDisableItem") &&
           SetInt32Cap(CCAP_VLM_DISABLEITEM, bDisable ? 7 : 0);
}

BOOL CTwainDriver::SetCCapability(int nCap, LONG_PTR nValue) {
    if (!Enter("CTwainDriver::SetCCapability"))
        return FALSE;
    if (nCap == CCAP_VLM_YIELDPROC) {
        // The address travels whole (64-bit). A caller that installs its own
        // procedure keeps the scan preparation from replacing it; 0 gives the
        // driver's own back.
        m_nOwnYieldProc = static_cast<uintptr_t>(nValue);
        return InstallYieldProc();
    }
    // Any other capability is a 32-bit TWTY_INT32 value.
    return SetInt32Cap(static_cast<TW_UINT16>(nCap),
                       static_cast<long>(static_cast<int32_t>(nValue)));
}

BOOL CTwainDriver::GetCCapability(int nCap, LONG_PTR* pValue) {
    if (!Enter("CTwainDriver::GetCCapability") || !pValue)
        return FALSE;
    if (nCap == CCAP_VLM_YIELDPROC) {
        uintptr_t address = 0;
        if (!GetCapAddress(CCAP_VLM_YIELDPROC, &address))
            return FALSE;
        *pValue = static_cast<LONG_PTR>(address);
        return TRUE;
    }
    long v = 0;
    if (!GetCapLong(static_cast<TW_UINT16>(nCap), TWTY_INT32, &v))
        return FALSE;
    *pValue = v;
    return TRUE;
}

BOOL CTwainDriver::SetTagLongISISPath(int nItem, int nSubIndex, long nValue) {
    if (!Enter("CTwainDriver::SetTagLongISISPath"))
        return FALSE;
    uintptr_t a1 = (static_cast<uintptr_t>(nItem) & 0xFFFF) | (uintptr_t(nSubIndex & 0xFFFF) << 16);
    return VendorOp(VLMOP_SETITEMVALUE, a1, static_cast<uintptr_t>(nValue)) == 0;
}

BOOL CTwainDriver::GetTagLongISISPath(int nItem, int nSubIndex, long* pValue) {
    if (!Enter("CTwainDriver::GetTagLongISISPath"))
        return FALSE;
    TW_INT32 v = 0;
    uintptr_t a1 = (static_cast<uintptr_t>(nItem) & 0xFFFF) | (uintptr_t(nSubIndex & 0xFFFF) << 16);
    if (VendorOp(VLMOP_GETITEMVALUE, a1, reinterpret_cast<uintptr_t>(&v)) != 0)
        return FALSE;
    if (pValue)
        *pValue = v;
    return TRUE;
}

BOOL CTwainDriver::SetTagASCIIISISPath(int nItem, const char* pszText) {
    if (!Enter("CTwainDriver::SetTagASCIIISISPath"))
        return FALSE;
    return VendorOp(VLMOP_SETITEMSTRING, static_cast<uintptr_t>(nItem) & 0xFFFF,
                    reinterpret_cast<uintptr_t>(pszText ? pszText : "")) == 0;
}

BOOL CTwainDriver::GetTagASCIIISISPath(int nItem, char* pszBuf, int cbBuf) {
    if (!pszBuf || cbBuf <= 0 || !Enter("CTwainDriver::GetTagASCIIISISPath"))
        return FALSE;
    // At most 2048 bytes come back, and never more than the caller's buffer.
    int len = cbBuf < 2048 ? cbBuf : 2048;
    std::string tmp(2049, '\0');
    uintptr_t a1 = (static_cast<uintptr_t>(nItem) & 0xFFFF) | (uintptr_t(len & 0xFFFF) << 16);
    if (VendorOp(VLMOP_GETITEMBYTES, a1, reinterpret_cast<uintptr_t>(&tmp[0])) != 0)
        return FALSE;
    memcpy(pszBuf, tmp.data(), len);
    pszBuf[len - 1] = '\0';
    return TRUE;
}

// ---- scan preparation ----------------------------------------------------

// What every way of scanning sets first: no source window, no progress
// indicators, inches, the vendor flag and extended image information.
void CTwainDriver::PrepareSource() {
    m_bShowUI = FALSE;
    SetBoolCap(CAP_INDICATORS, FALSE);
    SetCapValue(ICAP_UNITS, TWTY_UINT16, TWUN_INCHES);
    SetBoolCap(CCAP_VLM_VENDORFLAG, m_bVendorFlag);
    SetBoolCap(ICAP_EXTIMAGEINFO, TRUE);
}

// One window per side, compressed by JPEG when asked and accepted.
void CTwainDriver::PrepareSingleWindow() {
    if (m_bJpeg && SetCapValue(ICAP_COMPRESSION, TWTY_UINT16, TWCP_JPEG))
        SetCapValue(ICAP_JPEGQUALITY, TWTY_UINT16, static_cast<TW_UINT32>(m_nJpegQuality));
    else
        SetCapValue(ICAP_COMPRESSION, TWTY_UINT16, TWCP_NONE);
    SetInt32Cap(CCAP_VLM_WINDOWCOUNTFRONT, 1);
    SetInt32Cap(CCAP_VLM_WINDOWCOUNTBACK, 1);
    SetInt32Cap(CCAP_VLM_WINDOW, 0);
}

// The caller's yield procedure, else the driver's own.
BOOL CTwainDriver::InstallYieldProc() {
    if (m_nOwnYieldProc)
        return SetCapAddress(CCAP_VLM_YIELDPROC, m_nOwnYieldProc);
    g_pYieldDriver = this;
    return SetCapAddress(CCAP_VLM_YIELDPROC, reinterpret_cast<uintptr_t>(&CTwainDriver::YieldProc));
}

BOOL CTwainDriver::PrepareScan() {
    ScanTrace("CTwainDriver::PrepareScan");
    PrepareSource();
    PrepareSingleWindow();
    InstallYieldProc();
    return TRUE;
}

BOOL CTwainDriver::PrepareScanPage() {
    ScanTrace("CTwainDriver::PrepareScanPage");
    PrepareSource();
    PrepareSingleWindow();
    SaveCustomDsData(nullptr);
    long feederAuto = 0;
    if (GetCapLong(CCAP_VLM_FEEDER_AUTO, TWTY_UINT32, &feederAuto)) {
        SetBoolCap(CAP_DUPLEXENABLED, FALSE);
        if (feederAuto)
            SetUInt32Cap(CCAP_VLM_FEEDER_AUTO, feederAuto);
    }
    SetCapValue(CAP_JOBCONTROL, TWTY_UINT16, TWJC_NONE);
    long v = 0;
    if (GetCapLong(CAP_AUTOSCAN, TWTY_BOOL, &v))
        m_bSavedAutoScan = static_cast<unsigned short>(v);
    SetBoolCap(CAP_AUTOSCAN, FALSE);
    if (GetCapLong(CAP_XFERCOUNT, TWTY_INT16, &v))
        m_nSavedXferCount = static_cast<short>(v);
    SetCapValue(CAP_XFERCOUNT, TWTY_INT16, 1);
    return TRUE;
}

void CTwainDriver::EndScanPage() {
    ScanTrace("CTwainDriver::EndScanPage");
    LoadCustomDsData(nullptr);
    SetCapValue(CAP_XFERCOUNT, TWTY_INT16, static_cast<TW_UINT16>(m_nSavedXferCount));
    SetBoolCap(CAP_AUTOSCAN, m_bSavedAutoScan);
}

void CTwainDriver::EndScan() {
    if (m_bOnePageMode)
        EndScanPage();
}

BOOL CTwainDriver::PrepareScanMultiStream() {
    ScanTrace("CTwainDriver::PrepareScanMultiStream");
    PrepareSource();
    InstallYieldProc();
    return TRUE;
}

BOOL CTwainDriver::GetScannerSupportedItems() {
    ScanTrace("CTwainDriver::GetScannerSupportedItems");
    if (GetState() < 4)
        return FALSE;
    SaveCustomDsData(nullptr);
    if (m_HalftoneNames.empty())
        GetEnumHalfToneString(nullptr);
    if (m_ImageTypes.empty())
        m_nCurImageType = GetEnumImageType(nullptr);
    if (m_ResolutionsAll.empty())
        GetEnumResolutionAll(nullptr);
    if (m_Resolutions.empty())
        m_nCurResolution = GetEnumResolution(nullptr);
    if (m_DropOuts.empty())
        m_nCurDropOut = GetEnumDropOut(nullptr);
    if (m_JobControlsAll.empty())
        GetEnumJobControlAll(nullptr);
    if (m_JobControls.empty())
        m_nCurJobControl = GetEnumJobControl(nullptr);
    if (m_Feeders.empty())
        m_nCurFeeder = GetEnumFeeder(nullptr);
    if (m_nWindowCountBits < 0) {
        m_nWindowCountBits = 0;
        SCapValues cv;
        int k = GetCapValues(CCAP_VLM_WINDOWCOUNTFRONT, &cv);
        if ((k == TWON_ENUMERATION && cv.Items.size() > 1 && cv.Items[1] > 1) ||
            (k == TWON_RANGE && cv.dMax > 1))
            m_nWindowCountBits |= 1;
        k = GetCapValues(CCAP_VLM_WINDOWCOUNTBACK, &cv);
        if ((k == TWON_ENUMERATION && cv.Items.size() > 1 && cv.Items[1] > 1) ||
            (k == TWON_RANGE && cv.dMax > 1))
            m_nWindowCountBits |= 2;
    }
    if (m_nJpegSupport < 0) {
        SetCapValue(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_RGB);
        m_nJpegSupport = SetCapValue(ICAP_COMPRESSION, TWTY_UINT16, TWCP_JPEG) ? 1 : 0;
    }
    LoadCustomDsData(nullptr);
    return TRUE;
}

BOOL CTwainDriver::GetLastDriverError(std::string* pText, DWORD* pCode) {
    GetLastDriverErrorText(pText, pCode);
    return !m_strLastDriverError.empty();
}

void CTwainDriver::ClearLastDriverError() {
    ClearLastDriverErrorText();
}

// ---- batch ----------------------------------------------------------------

void CTwainDriver::XferReady() {
    // Before each image: the window and resolution it is scanned with;
    // after it: the caller's stop or cancel request.
    TransferImages(
        [this] {
            ScanTrace("\t\t...loop...");
            long v = 0;
            m_PageInfo.WindowNo =
                GetCapLong(CCAP_VLM_WINDOW, TWTY_INT32, &v) ? static_cast<uint32_t>(v) : 0;
            v = 0;
            GetCapLong(ICAP_XRESOLUTION, TWTY_FIX32, &v);
            m_PageInfo.ScanResolution = static_cast<uint32_t>(v);
            CScanTraceLog::WriteF(" ScanResolution=%d", v);
        },
        [this] { CheckStopCancel(); });
}

void CTwainDriver::ScanBatchEnd() {
    ScanTrace("CTwainDriver:ScanBatchEnd");
    CloseThroughScanWindow();
    const BOOL bReopened = OpenThroughScanWindow();
    if (m_bOnePageMode) {
        EndScanPage();
        m_bOnePageMode = FALSE;
    }
    GetScannerSupportedItems();
    SetInt32Cap(CCAP_VLM_WINDOWCOUNTFRONT, 1);
    SetInt32Cap(CCAP_VLM_WINDOWCOUNTBACK, 1);
    SetInt32Cap(CCAP_VLM_WINDOW, 0);
    m_bAcquiring = FALSE;
    m_bCancelRequested = FALSE;
    m_bStopRequested = FALSE;
    InterlockedExchange(&m_lScanPending, 0);
    Progress(WM_SCAN_PROGRESS_END, 373, 0, 0);
    // A batch that a failed transfer cut short counts as aborted too, even
    // when its last page was delivered with what had arrived.
    const WPARAM w = (!bReopened || m_PageInfo.Aborted || m_bBatchFailed) ? 1 : 0;
    m_bBatchFailed = FALSE;
    if (HWND hMain = MainWindow())
        PostMessageA(hMain, WM_VLM_BATCH_SCANNED, w, 0);
}

void CTwainDriver::ScanBatchEnd2() {
    ScanTrace("CTwainDriver:ScanBatchEnd2");
    m_bAcquiring = FALSE;
    m_bCancelRequested = FALSE;
    InterlockedExchange(&m_lScanPending, 0);
    Progress(WM_SCAN_PROGRESS_END, 373, 0, 0);
    if (HWND hMain = MainWindow())
        SendMessageA(hMain, WM_VLM_BATCH_SCANNED, 0, 0);
}

void CTwainDriver::CloseDsRequest() {
    ScanTrace("CTwainDriver:CloseDsRequest");
    SaveCustomDsData(nullptr);
    CloseThroughScanWindow();
    ScanRunLog("CTwain:m_bIsShowDSUI FALSE");
}

BOOL CTwainDriver::ReopenSource() {
    return OpenThroughScanWindow();
}

// The driver runs on the scan thread, so these messages are plain calls of
// its window procedure, which reaches this driver through the window itself.
BOOL CTwainDriver::CloseThroughScanWindow() {
    if (m_hScanThreadWnd && IsWindow(m_hScanThreadWnd))
        return SendMessageA(m_hScanThreadWnd, WM_SCAN_CLOSEDRIVER, 0, 0) != 0;
    return CloseDriver();
}

BOOL CTwainDriver::OpenThroughScanWindow() {
    if (m_hScanThreadWnd && IsWindow(m_hScanThreadWnd))
        return SendMessageA(m_hScanThreadWnd, WM_SCAN_REOPEN, 0, 0) != 0;
    return OpenDriver();
}

// ---- pages -----------------------------------------------------------------

void CTwainDriver::LargestPage(const TW_IMAGEINFO& info, uint64_t* pWidth, uint64_t* pLength) {
    const double xres = vlmscan::FromFix32({info.XResolution.Whole, info.XResolution.Frac});
    const double yres = vlmscan::FromFix32({info.YResolution.Whole, info.YResolution.Frac});
    long mw = 0, ml = 0;
    double w = 0, l = 0;
    if (GetCapLong(CCAP_VLM_FEEDERMAXWIDTH, TWTY_INT32, &mw) && mw > 0) {
        GetCapLong(CCAP_VLM_FEEDERMAXLENGTH, TWTY_INT32, &ml);
        w = static_cast<unsigned long>(mw) / 25.4 * xres;
        l = static_cast<unsigned long>(ml) / 25.4 * yres;
    } else {
        TW_FIX32 pw{}, ph{};
        if (GetCapCurrent(ICAP_PHYSICALWIDTH, TWTY_FIX32, &pw))
            w = vlmscan::FromFix32({pw.Whole, pw.Frac}) * xres;
        if (GetCapCurrent(ICAP_PHYSICALHEIGHT, TWTY_FIX32, &ph))
            l = vlmscan::FromFix32({ph.Whole, ph.Frac}) * yres;
    }
    *pWidth = w > 0 && w < 1e9 ? static_cast<uint64_t>(w) : 0;
    *pLength = l > 0 && l < 1e9 ? static_cast<uint64_t>(l) : 0;
}

size_t CTwainDriver::MemXferReady(const TW_IMAGEINFO& info) {
    SetCapValue(ICAP_UNITS, TWTY_UINT16, TWUN_INCHES);
    uint64_t maxW = 0, maxL = 0;
    LargestPage(info, &maxW, &maxL);
    const uint32_t spp = info.SamplesPerPixel > 0 ? info.SamplesPerPixel : 1;
    const uint32_t bpp = info.BitsPerPixel > 0 ? info.BitsPerPixel : 0;
    m_PageInfo.hDib = nullptr;
    if (!m_Page.Ready(info.ImageWidth, info.ImageLength, bpp, spp, info.XResolution.Whole,
                      info.YResolution.Whole, maxW, maxL)) {
        // A page the source describes without width or depth is its fault;
        // one that has no room is ours to tell. Either way the page ends
        // aborted and the failure is in the scan log.
        if (info.ImageWidth > 0 && bpp > 0)
            NoteDriverError(VLM_EXTERR_LOWMEMORY, "Not enough memory to receive the page.");
        return 0;
    }
    // Unknown length: the loop still needs a nonzero size to go on.
    return m_Page.Committed() ? m_Page.Committed() : 1;
}

size_t CTwainDriver::MemXferReady2(const TW_IMAGEINFO& info) {
    const uint32_t spp = info.SamplesPerPixel > 0 ? info.SamplesPerPixel : 1;
    if (!m_Page.Ready2(info.ImageWidth, info.ImageLength, info.BitsPerPixel, spp,
                       info.XResolution.Whole, info.YResolution.Whole))
        return 0;
    return m_Page.Committed() ? m_Page.Committed() : 1;
}

BOOL CTwainDriver::CopyRow(int nRow, const uint8_t* pSrc, const TW_IMAGEMEMXFER& strip) {
    return m_Page.CopyRow(static_cast<uint32_t>(nRow), pSrc, strip.BytesPerRow,
                          strip.Compression == TWCP_NONE);
}

BOOL CTwainDriver::MemXferBufferEx(int nFirstRow, TW_IMAGEMEMXFER& strip) {
    SMemStrip s = StripOf(strip);
    BOOL ok = m_Page.BufferEx(static_cast<uint32_t>(nFirstRow), s, strip.Compression == TWCP_NONE);
    strip.Rows = s.Rows;
    return ok;
}

BOOL CTwainDriver::MemXferBufferJpeg(int nBlock, const TW_IMAGEMEMXFER& strip) {
    return m_Page.BufferJpeg(StripOf(strip));
}

size_t CTwainDriver::MemXferBufferExJpeg(int nBlock, const TW_IMAGEMEMXFER& strip) {
    return m_Page.BufferExJpeg(StripOf(strip));
}

void CTwainDriver::MemXferPreDone(const TW_IMAGEINFO& info, int nRows) {
    m_Page.PreDone(static_cast<uint32_t>(nRows));
}

void CTwainDriver::MemXferPreDoneJpeg(const TW_IMAGEINFO& info, int nBlocks) {
    m_Page.PreDoneJpeg();
}

void CTwainDriver::MemXferDone(BOOL bComplete) {
    ScanTrace("MemXferDone");
    // A page cut short is delivered with the rows that arrived, never with
    // rows it did not receive (a jammed sheet is no blank page).
    if (!bComplete)
        m_Page.EndIncomplete();
    CScanTraceLog::WriteF(" Width=%d", m_PageInfo.vlminfo.Width);
    CScanTraceLog::WriteF(" Height=%d", m_PageInfo.vlminfo.Height);
    CScanTraceLog::WriteF(" Sync=%d", m_PageInfo.vlminfo.Sync);
    DibReceived(m_PageInfo.vlminfo.lpImage, !bComplete);
}

void CTwainDriver::FreeBarcodeList() {
    m_pBarcodeList.reset();
    m_PageInfo.pBarcode = nullptr;
}

BOOL CTwainDriver::DeliverPage(VlmPageInfo* pInfo) {
    HWND hMain = MainWindow();
    m_PageMsg = VlmPageMessage{};
    m_PageMsg.pDriver = static_cast<CScanDriver*>(this);
    if (!hMain)
        return FALSE;
    SendMessageA(hMain, WM_VLM_PAGE_SCANNED0, reinterpret_cast<WPARAM>(&m_PageMsg),
                 reinterpret_cast<LPARAM>(pInfo));
    if (m_PageMsg.PromptFlag && !pInfo->Aborted) {
        int mb = ScanMessageBox(hMain, m_PageMsg.pszPromptText ? m_PageMsg.pszPromptText : "",
                                m_PageMsg.pszPromptCaption ? m_PageMsg.pszPromptCaption : "",
                                MB_YESNOCANCEL | MB_ICONQUESTION);
        if (mb == IDCANCEL)
            m_PageMsg.AnswerCancel = 1;
        else if (mb == IDNO)
            m_PageMsg.AnswerNo = 0;
        CScanTraceLog::WriteF(" MB=%d", mb);
    }
    SendMessageA(hMain, WM_VLM_PAGE_SCANNED, reinterpret_cast<WPARAM>(&m_PageMsg),
                 reinterpret_cast<LPARAM>(pInfo));
    return TRUE;
}

namespace {
// Describes a native page from its DIB header, so receivers see its size.
void DescribeDib(HANDLE hDib, VlmImageInfo* p) {
    CGlobalLock lock(static_cast<HGLOBAL>(hDib));
    const BITMAPINFOHEADER* bi = static_cast<const BITMAPINFOHEADER*>(lock.Get());
    if (!bi || GlobalSize(static_cast<HGLOBAL>(hDib)) < sizeof(BITMAPINFOHEADER))
        return;
    p->Width = bi->biWidth;
    p->Height = bi->biHeight < 0 ? -bi->biHeight : bi->biHeight;
    p->Spp = bi->biBitCount == 24 ? 3 : 1;
    p->Bps = bi->biBitCount == 24 ? 8 : bi->biBitCount;
    p->Sync = VlmSyncBytes(static_cast<uint32_t>(p->Width > 0 ? p->Width : 0), bi->biBitCount);
    p->ImageSize = p->Sync * static_cast<uint32_t>(p->Height);
    p->XRes = static_cast<uint32_t>(bi->biXPelsPerMeter * 254 / 10000.0 + 0.5);
    p->YRes = static_cast<uint32_t>(bi->biYPelsPerMeter * 254 / 10000.0 + 0.5);
}
} // namespace

// What both kinds of page carry beside the image: whether it arrived whole,
// the end of job, the barcodes and the side it was scanned from.
void CTwainDriver::DescribePage(BOOL bIncomplete) {
    m_PageInfo.Aborted = bIncomplete ? 1 : 0;
    m_PageInfo.EndOfJob = m_Pending.EOJ;
    FreeBarcodeList();
    long ext = 0;
    if (GetTagLongISISPath(VLMITEM_EXTIMAGEINFO, 0, &ext) && ext == 1 && HasExtImageInfo())
        ReadExtImageInfo();
    if (!m_PageInfo.EndOfJob)
        m_Side.Advance();
    long side = 0;
    m_PageInfo.Side = GetCapLong(CCAP_VLM_LASTPAGE_SIDE, TWTY_INT32, &side)
                          ? static_cast<uint32_t>(side)
                          : static_cast<uint32_t>(m_Side.Side());
}

void CTwainDriver::NativeImageReceived(HANDLE hDib, BOOL bMissing) {
    ScanPageEnd(hDib, bMissing);
}

void CTwainDriver::ScanPageEnd(HANDLE hDib, BOOL bMissing) {
    ScanTrace("CTwainDriver::ScanPageEnd");
    // The next image releases the previous one if the receiver did not.
    if (m_hNativeDib && m_hNativeDib != hDib)
        ReleaseImage(m_hNativeDib);
    m_Page.ReleaseImage();
    m_hNativeDib = hDib;
    m_PageInfo.hDib = hDib;
    m_PageInfo.vlminfo.lpImage = nullptr;
    m_PageInfo.vlminfo.Width = m_PageInfo.vlminfo.Height = 0;
    m_PageInfo.vlminfo.Sync = m_PageInfo.vlminfo.ImageSize = 0;
    if (hDib)
        DescribeDib(hDib, &m_PageInfo.vlminfo);
    DescribePage(bMissing);
    // Native pages arrive as one DIB; they are delivered whole.
    DeliverPage(&m_PageInfo);
    Progress(WM_SCAN_PROGRESS, 378, 100, 0);
}

void CTwainDriver::DibReceived(uint8_t* pImage, BOOL bNotComplete) {
    ScanTrace("CTwainDriver::DibReceived");
    m_PageInfo.vlminfo.lpImage = pImage;
    m_PageInfo.hDib = nullptr;
    DescribePage(bNotComplete);
    const uint32_t abortedBefore = m_PageInfo.Aborted;
    if (m_nSplitHorizontal * m_nSplitVertical > 1 && pImage) {
        CBunkatsu split(m_nSplitHorizontal, m_nSplitVertical, m_nSplitSwapMode,
                        static_cast<int>(m_PageInfo.Side));
        if (split.Split(m_PageInfo.vlminfo) != 0) {
            m_PageInfo.Aborted = 1;
            DeliverPage(&m_PageInfo);
        } else {
            for (const VlmImageInfo& piece : split.Pieces()) {
                VlmPageInfo info = m_PageInfo;
                info.vlminfo = piece;
                DeliverPage(&info);
                m_PageInfo.Aborted = info.Aborted;
            }
        }
    } else {
        DeliverPage(&m_PageInfo);
    }
    // An incomplete memory page was still delivered with what arrived; unless
    // the receiver changed the flag it does not abort the batch.
    if (abortedBefore && m_PageInfo.Aborted == abortedBefore)
        m_PageInfo.Aborted = 0;
    Progress(WM_SCAN_PROGRESS, 378, 100, 0);
}

void CTwainDriver::ReleaseImage(HANDLE hDib) {
    if (hDib) {
        GlobalUnlock(static_cast<HGLOBAL>(hDib));
        if (GlobalFree(static_cast<HGLOBAL>(hDib)) != nullptr)
            ScanTrace("CTwainDriver:ReleaseImage Error");
        if (hDib == m_hNativeDib)
            m_hNativeDib = nullptr;
        if (m_PageInfo.hDib == hDib)
            m_PageInfo.hDib = nullptr;
    }
    m_Page.ReleaseImage();
    FreeBarcodeList();
}

BOOL CTwainDriver::HasExtImageInfo() {
    const TW_UINT32 n = 4;
    if (!m_ExtImageInfo.Alloc(sizeof(TW_EXTIMAGEINFO) + (n - 1) * sizeof(TW_INFO), GHND))
        return FALSE;
    {
        CGlobalLock lock(m_ExtImageInfo.Get());
        TW_EXTIMAGEINFO* e = static_cast<TW_EXTIMAGEINFO*>(lock.Get());
        e->NumInfos = n;
        e->Info[0].InfoID = TWEI_BARCODECOUNT;
        e->Info[0].ItemType = TWTY_UINT32;
        e->Info[1].InfoID = TWEI_BARCODETYPE;
        e->Info[1].ItemType = TWTY_UINT32;
        e->Info[2].InfoID = TWEI_BARCODETEXTLENGTH;
        e->Info[2].ItemType = TWTY_UINT32;
        e->Info[3].InfoID = TWEI_BARCODETEXT;
        e->Info[3].ItemType = 0xFFFF;
    }
    CGlobalLock lock(m_ExtImageInfo.Get());
    if (!DSCall(DG_IMAGE, DAT_EXTIMAGEINFO, MSG_GET, lock.Get())) {
        return FALSE;
    }
    return TRUE;
}

namespace {
// The data of one entry of the source's extended image information: in Item
// itself, or in the global handle Item carries, which is ours to free once
// the answer is read (whether or not we use it).
class CInfoData {
public:
    CInfoData(const TW_INFO& info, size_t cbData)
        : m_bInItem(info.CondCode == TWRC_SUCCESS && TwInfoDataInItem(info.NumItems, cbData)),
          m_hData(info.CondCode == TWRC_SUCCESS && !m_bInItem ? reinterpret_cast<HGLOBAL>(info.Item)
                                                              : nullptr),
          m_Lock(m_hData.Get()), m_Item(info.Item) {}
    const uint8_t* Bytes() const {
        return m_bInItem ? reinterpret_cast<const uint8_t*>(&m_Item) : m_Lock.Bytes();
    }
    size_t Size() const { return m_bInItem ? sizeof m_Item : m_Lock.Size(); }
    // Item i of a TWTY_UINT32 entry; 0 beyond the data.
    uint32_t Value32(size_t i) const {
        uint32_t v = 0;
        if (Bytes() && (i + 1) * 4 <= Size())
            memcpy(&v, Bytes() + i * 4, 4);
        return v;
    }

private:
    bool m_bInItem;
    vlm::CGlobalMem m_hData;
    vlm::CGlobalLock m_Lock;
    TW_UINTPTR m_Item;
};

uint16_t Items(const TW_INFO& info) {
    return info.CondCode == TWRC_SUCCESS ? info.NumItems : 0;
}
} // namespace

BOOL CTwainDriver::ReadExtImageInfo() {
    if (!m_ExtImageInfo.IsValid())
        return FALSE;
    {
        CGlobalLock lock(m_ExtImageInfo.Get());
        const TW_EXTIMAGEINFO* e = static_cast<const TW_EXTIMAGEINFO*>(lock.Get());
        if (!e) {
            m_ExtImageInfo.Close();
            return FALSE;
        }
        // Entries as HasExtImageInfo asked for them (the count is not read:
        // every barcode has an entry in each of the others).
        const TW_INFO& type = e->Info[1];
        const TW_INFO& length = e->Info[2];
        const TW_INFO& text = e->Info[3];
        const CInfoData types(type, size_t(Items(type)) * 4);
        const CInfoData lengths(length, size_t(Items(length)) * 4);
        size_t cbTexts = 0;
        for (uint16_t i = 0; i < Items(length); ++i)
            cbTexts += lengths.Value32(i);
        // Without a length for each text the texts cannot be told apart (and
        // where a single one lies is unknown: it is then left alone).
        const bool bTextsKnown = Items(length) >= Items(text);
        const CInfoData texts(text, bTextsKnown ? cbTexts : Items(text) > 1 ? SIZE_MAX : 0);
        const uint32_t n =
            std::min<uint32_t>(std::max({Items(type), Items(length), Items(text)}), 1024);
        const size_t cb = sizeof(uint32_t) + sizeof(VlmBarcodeEntry) * (n ? n : 1);
        m_pBarcodeList.reset(new (std::nothrow) uint8_t[cb]());
        if (m_pBarcodeList) {
            VlmBarcodeList* list = reinterpret_cast<VlmBarcodeList*>(m_pBarcodeList.get());
            list->Count = n;
            size_t at = 0; // the next text's offset
            for (uint32_t i = 0; i < n; ++i) {
                VlmBarcodeEntry& entry = list->Entry[i];
                if (i < Items(type))
                    entry.Type = types.Value32(i);
                if (!bTextsKnown || i >= Items(text) || !texts.Bytes())
                    continue;
                const size_t len = lengths.Value32(i);
                if (len > texts.Size() || at > texts.Size() - len)
                    break; // the texts end short of what the lengths say
                memcpy(entry.Text, texts.Bytes() + at, std::min(len, sizeof entry.Text - 1));
                at += len;
            }
            m_PageInfo.pBarcode = list;
        }
    }
    m_ExtImageInfo.Close();
    return m_pBarcodeList != nullptr;
}
