#include "Twain.h"

#include <cstdio>
#include <cstring>
#include <functional>
#include <utility>

#include "framework/App.h"
#include "ScanLog.h"
#include "contracts/WindowMessages.h"
#include "ScanSupport.h"
#include "TwainLogic.h"

namespace {
// Process-wide: shared by every CTwain of the process.
DSMENTRYPROC g_pDSM_Entry = nullptr;
int g_nSMAvailable = 0; // 0 not tried, 1 loaded, -1 failed (never tried again)
TW_IDENTITY g_SourceId{};
std::string g_strSMPath;
} // namespace

std::string CTwain::LoadedSourceManagerPath() {
    return g_strSMPath;
}
const TW_IDENTITY& CTwain::SourceIdentity() const {
    return g_SourceId;
}

CTwain::CTwain() {
    m_bTrace = TRUE;
    m_bShowUI = TRUE;
    m_nXferMech = TWSX_NATIVE;
    SetState(1);
    m_AppId.Id = 0;
    m_AppId.Version.MajorNum = 1;
    m_AppId.Version.MinorNum = 0;
    m_AppId.Version.Language = TWLG_USA;
    m_AppId.Version.Country = TWCY_USA;
    lstrcpynA(m_AppId.Version.Info, "Harvest", sizeof m_AppId.Version.Info);
    m_AppId.ProtocolMajor = 1;
    m_AppId.ProtocolMinor = 9;
    m_AppId.SupportedGroups = DG_CONTROL | DG_IMAGE;
    lstrcpynA(m_AppId.Manufacturer, "Velmora Works Inc.", sizeof m_AppId.Manufacturer);
    lstrcpynA(m_AppId.ProductFamily, "Harvest", sizeof m_AppId.ProductFamily);
    lstrcpynA(m_AppId.ProductName, "Harvest", sizeof m_AppId.ProductName);
    memset(&g_SourceId, 0, sizeof g_SourceId);
    // The guard of the four open/enable/disable/close operations.
    m_hGuardEvent.Attach(CreateEventA(nullptr, TRUE, TRUE, nullptr));
}

CTwain::~CTwain() {
    ScanRunLog("CTwain::~CTwain() start");
    ScanRunLog("CloseSourceManager() start");
    CloseSourceManager(nullptr);
    ScanRunLog("CloseSourceManager() end");
    ScanRunLog("UnloadSourceManager() start");
    UnloadSourceManager();
    ScanRunLog("UnloadSourceManager() end");
    FreeXferBuffer();
    ScanRunLog("DeleteCriticalSection() start");
    ScanRunLog("DeleteCriticalSection() end");
    ScanRunLog("CTwain::~CTwain() end");
}

void CTwain::SetState(int nState) {
    if (nState > 7)
        return;
    int old = m_nState;
    m_nState = nState;
    if (m_bTrace)
        if (const char* name = vlmscan::StateName(nState))
            ScanRunLog("%s", name);
    if (old != nState)
        StateChanged(old, nState);
}

HWND CTwain::DefaultWindow(HWND hWnd) const {
    if (hWnd)
        return hWnd;
    return m_hParentWnd;
}

void CTwain::ShowError(const char* text) {
    ScanRunLog("%s", text);
    ScanMessageBox(nullptr, text, "TWAIN", MB_OK | MB_ICONEXCLAMATION);
}

BOOL CTwain::LoadSourceManager() {
    if (m_nState > 1)
        return TRUE;
    if (!m_hSMLib.IsValid()) {
        char windir[MAX_PATH] = {};
        UINT n = GetWindowsDirectoryA(windir, MAX_PATH);
        if (n == 0 || n >= MAX_PATH) {
            char buf[128];
            snprintf(buf, sizeof buf, "GetWindowsDirectory failed %lu", GetLastError());
            ShowError(buf);
            return FALSE;
        }
        char sysdir[MAX_PATH] = {};
        UINT ns = GetSystemDirectoryA(sysdir, MAX_PATH);
        auto join = [](const char* dir, const char* name) {
            std::string p = dir;
            if (!p.empty() && p.back() != '\\')
                p += '\\';
            return p + name;
        };
        // 64-bit adaptation: a 64-bit process cannot load a 32-bit
        // "TWAIN_32.DLL" from the Windows directory; 64-bit Windows (and the
        // platform here) keep the 64-bit manager in the system directory.
        std::string candidates[3] = {join(windir, "TWAIN_32.DLL")};
        if (ns > 0 && ns < MAX_PATH) {
            candidates[1] = join(sysdir, "TWAINDSM.DLL");
            candidates[2] = join(sysdir, "TWAIN_32.DLL");
        }
        std::string failures;
        for (const std::string& path : candidates) {
            if (path.empty())
                continue;
            ScanRunLog("LoadLibrary() start");
            vlm::CModule lib(LoadLibraryA(path.c_str()));
            if (!lib.IsValid()) {
                char buf[MAX_PATH + 64];
                snprintf(buf, sizeof buf, "LoadLibrary(%s) failed %lu", path.c_str(),
                         GetLastError());
                ScanRunLog("%s", buf);
                failures += buf;
                failures += "\n";
                continue;
            }
            ScanRunLog("LoadLibrary() end handle is 0x%p", static_cast<void*>(lib.Get()));
            if (!lib.GetProc("DSM_Entry"))
                continue; // not a source manager: freed by its owner
            m_hSMLib = std::move(lib);
            g_strSMPath = path;
            break;
        }
        if (!m_hSMLib.IsValid()) {
            if (m_bTrace && !failures.empty())
                ScanMessageBox(nullptr, failures.c_str(), "TWAIN", MB_OK | MB_ICONEXCLAMATION);
            return FALSE;
        }
    }
    // Through void* so the cast from the generic FARPROC is explicit.
    g_pDSM_Entry = reinterpret_cast<DSMENTRYPROC>(
        reinterpret_cast<void*>(GetProcAddress(m_hSMLib.Get(), "DSM_Entry")));
    if (!g_pDSM_Entry) {
        m_hSMLib.Close();
        return FALSE;
    }
    g_nSMAvailable = 1;
    SetState(2);
    return m_nState > 1;
}

BOOL CTwain::IsSourceManagerAvailable() {
    if (g_pDSM_Entry && m_hSMLib.IsValid())
        return TRUE;
    if (g_nSMAvailable == 0 || (g_nSMAvailable == 1 && !m_hSMLib.IsValid()))
        g_nSMAvailable = LoadSourceManager() ? 1 : -1;
    return g_nSMAvailable == 1;
}

BOOL CTwain::OpenSourceManager(HWND hWnd) {
    if (!IsSourceManagerAvailable())
        return FALSE;
    hWnd = DefaultWindow(hWnd);
    if (!IsWindow(hWnd)) {
        ShowError("hwnd32 is invalid");
    }
    TW_MEMREF parent = hWnd;
    SMCall(DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &parent);
    if (m_nState != 3 && m_bTrace)
        ShowError("TWAIN:OPENDSM failed");
    return m_nState > 2;
}

void CTwain::GuardEnter(const char* who) {
    ScanRunLog("CTwain:%s ...wait", who);
    if (m_hGuardEvent.IsValid()) {
        WaitForSingleObject(m_hGuardEvent.Get(), INFINITE);
        ResetEvent(m_hGuardEvent.Get());
    }
}

void CTwain::GuardLeave() {
    if (m_hGuardEvent.IsValid())
        SetEvent(m_hGuardEvent.Get());
}

BOOL CTwain::OpenSource(BOOL bShowError) {
    GuardEnter("OpenSource");
    ScanRunLog("CTwain:OpenSource in");
    ScanRunLog("%s", m_strSourceName.c_str());
    // Serialises opening the source across the programs of the system. The
    // mutex is always waited for: its creator must hold it as well, or a
    // second process would find it free while the first is still opening.
    vlm::CHandle mutex(CreateMutexA(nullptr, FALSE, "Harv_OpenSource"));
    bool bOwned = false;
    if (mutex.IsValid()) {
        DWORD w = WaitForSingleObject(mutex.Get(), INFINITE);
        bOwned = (w == WAIT_OBJECT_0 || w == WAIT_ABANDONED);
    }
    if (m_nState < 3) {
        ScanRunLog("state is under SOURCE_MANAGER_OPEN");
        ScanMessageBox(nullptr, "state is under SOURCE_MANAGER_OPEN", "error", MB_OK);
    } else if (m_nState == 3) {
        ScanRunLog("Search Twain Driver start");
        TW_IDENTITY found{};
        bool bFound = false;
        memset(&g_SourceId, 0, sizeof g_SourceId);
        if (!SMCall(DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, &g_SourceId)) {
            ScanRunLog("SM(DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST,&SourceId); returns FALSE");
        } else {
            do {
                ScanRunLog("%s", g_SourceId.ProductName);
                // The last match wins.
                if (vlmscan::ProductNameEquals(g_SourceId.ProductName, m_strSourceName.c_str()) ||
                    CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, g_SourceId.ProductName, -1,
                                   m_strSourceName.c_str(), -1) == CSTR_EQUAL) {
                    found = g_SourceId;
                    bFound = true;
                }
                memset(&g_SourceId, 0, sizeof g_SourceId);
            } while (SMCall(DG_CONTROL, DAT_IDENTITY, MSG_GETNEXT, &g_SourceId));
        }
        ScanRunLog("Search Twain Driver end --> %s", bFound ? "find driver" : "not find driver");
        if (bFound) {
            g_SourceId = found;
            ScanRunLog("SM(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &SourceId) start");
            if (!SMCall(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &g_SourceId))
                ScanRunLog("SM(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &SourceId) failed");
            else
                ScanRunLog("SM(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &SourceId) success");
            m_strSourceName = g_SourceId.ProductName;
        } else {
            memset(&g_SourceId, 0, sizeof g_SourceId);
            if (bShowError) {
                std::string name = vlmscan::DriverDisplayName(m_strSourceName);
                std::string fmt = ScanLocalize("Can't use device driver because it used by other "
                                               "application or it isn't installed yet.");
                char text[1024];
                // The localised text takes the display name as its one argument.
                snprintf(text, sizeof text, fmt.c_str(), name.c_str());
                ScanMessageBox(nullptr, text, name.c_str(), MB_OK | MB_ICONEXCLAMATION);
            }
        }
        if (m_nState != 4) {
            ScanRunLog("CTwain:OpenSource ...false  ... source close in");
            if (bFound)
                SMCall(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &g_SourceId);
            ScanRunLog("CTwain:source close out");
        }
    }
    if (bOwned)
        ReleaseMutex(mutex.Get());
    mutex.Close();
    ScanRunLog("CTwain:OpenSource out");
    GuardLeave();
    return m_nState >= 4;
}

BOOL CTwain::EnableSource(HWND hWnd) {
    GuardEnter("EnableSource");
    if (m_nState != 4) {
        ScanRunLog("CTwain:EnableSource false out");
        GuardLeave();
        return FALSE;
    }
    SetCapValue(ICAP_XFERMECH, TWTY_UINT16, static_cast<TW_UINT32>(m_nXferMech));
    m_UI.ShowUI = m_bShowUI ? TRUE : FALSE;
    m_UI.ModalUI = FALSE;
    m_UI.hParent = DefaultWindow(hWnd);
    DSCall(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &m_UI);
    GuardLeave();
    return m_nState >= 5;
}

BOOL CTwain::EnableSourceUIOnly(HWND hWnd) {
    if (m_nState != 4)
        return FALSE;
    m_UI.ShowUI = m_bShowUI ? TRUE : FALSE;
    m_UI.ModalUI = TRUE;
    // The source posts its events to hParent, and only the scan thread's
    // loop hands them back to the source: hParent is the scan thread's
    // window, and the caller's window gets WM_CLOSE when the source closes.
    m_hUiCaller = DefaultWindow(hWnd);
    m_UI.hParent = m_hParentWnd ? m_hParentWnd : m_hUiCaller;
    BOOL ok = DSCall(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDSUIONLY, &m_UI);
    SetState(4); // the source shows its window; the session stays open, not enabled
    return ok;
}

BOOL CTwain::DisableSource() {
    GuardEnter("DisableSource");
    if (m_UI.hParent && IsWindow(static_cast<HWND>(m_UI.hParent)))
        BringWindowToTop(static_cast<HWND>(m_UI.hParent));
    if (m_nState == 5)
        DSCall(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &m_UI);
    GuardLeave();
    return m_nState < 5;
}

BOOL CTwain::CloseSource() {
    m_nLastRC = TWRC_SUCCESS;
    if (m_nState == 5)
        DisableSource();
    GuardEnter("CloseSource");
    if (m_nState == 4)
        SMCall(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &g_SourceId);
    GuardLeave();
    return m_nState < 4;
}

BOOL CTwain::CloseSourceManager(HWND hWnd) {
    CloseSource();
    if (m_nState > 2) {
        TW_MEMREF parent = DefaultWindow(hWnd);
        SMCall(DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &parent);
    }
    return m_nState < 3;
}

BOOL CTwain::UnloadSourceManager() {
    m_nLastRC = TWRC_SUCCESS;
    ScanRunLog("CTwain::UnloadSourceManager(void) start");
    if (m_nState == 2) {
        ScanRunLog("nState == SOURCE_MANAGER_LOADED");
        ScanRunLog("FreeLibrary(0x%p) start", static_cast<void*>(m_hSMLib.Get()));
        m_hSMLib.Close();
        g_pDSM_Entry = nullptr;
        ScanRunLog("FreeLibrary(hSMLib) end");
        SetState(1);
    }
    ScanRunLog("CTwain::UnloadSourceManager(void) end");
    return m_nState == 1;
}

BOOL CTwain::EndXfer() {
    switch (m_nState) {
    case 7:
        DSCall(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &m_Pending);
        break;
    case 4:
        ScanRunLog("*** Wrong state (SOURCE_OPEN) ***");
        break;
    case 5:
        ScanRunLog("*** Wrong state (SOURCE_ENABLED) ***");
        break;
    case 6:
        ScanRunLog("*** Wrong state (TRANSFER_READY) ***");
        break;
    }
    return m_nState < 7;
}

// Ends the image in progress, then the pending transfers with MSG_RESET
// (drop them) or MSG_STOPFEEDER (finish the sheets already in the paper path).
BOOL CTwain::EndPendingXfers(TW_UINT16 msg) {
    EndXfer();
    if (m_nState == 6) {
        TW_PENDINGXFERS p{};
        DSCall(DG_CONTROL, DAT_PENDINGXFERS, msg, &p);
    }
    return m_nState < 6;
}

BOOL CTwain::CancelXfers() {
    return EndPendingXfers(MSG_RESET);
}

BOOL CTwain::StopXfers() {
    return EndPendingXfers(MSG_STOPFEEDER);
}

BOOL CTwain::DropToState(int nTarget, HWND hWnd) {
    if (nTarget < 1)
        nTarget = 1;
    while (m_nState > nTarget) {
        BOOL ok = FALSE;
        switch (m_nState) {
        case 7:
            ok = EndXfer();
            break;
        case 6:
            ok = CancelXfers();
            break;
        case 5:
            ok = DisableSource();
            break;
        case 4:
            ok = CloseSource();
            break;
        case 3:
            ok = CloseSourceManager(hWnd);
            break;
        case 2:
            ok = UnloadSourceManager();
            break;
        default:
            return FALSE;
        }
        if (!ok)
            return FALSE;
    }
    return TRUE;
}

// Brings the session up to an open source (state 4) from wherever it stands.
BOOL CTwain::ReachOpenSource(HWND hWnd) {
    BOOL ok = TRUE;
    if (m_nState <= 2)
        ok = OpenSourceManager(hWnd);
    if (ok && m_nState <= 3)
        ok = OpenSource(TRUE) && SourceOpened();
    return ok;
}

// Climbs from wherever the session stands to an enabled source; on failure
// steps back to where it started.
BOOL CTwain::OpenAndEnable(HWND hWnd, BOOL (CTwain::*pfnEnable)(HWND)) {
    m_nSavedState = m_nState;
    BOOL ok = ReachOpenSource(hWnd);
    if (ok && m_nState <= 4)
        ok = (this->*pfnEnable)(hWnd);
    if (!ok) {
        AcquireFailed();
        DropToState(m_nSavedState, hWnd);
    }
    return ok;
}

BOOL CTwain::SetupSource(HWND hWnd) {
    if (!OpenAndEnable(hWnd, &CTwain::EnableSourceUIOnly)) {
        ScanRunLog("CTwain:SetupSource FALSE OUT");
        return FALSE;
    }
    m_bIsShowDSUI = TRUE;
    ScanRunLog("CTwain:m_bIsShowDSUI TRUE");
    ScanRunLog("CTwain:SetupSource TRUE OUT");
    return TRUE;
}

BOOL CTwain::BeginAcquire(HWND hWnd) {
    if (!OpenAndEnable(hWnd, &CTwain::EnableSource)) {
        ScanRunLog("CTwain:BeginAcquire FALSE OUT");
        return FALSE;
    }
    ScanRunLog("CTwain:BeginAcquire TRUE OUT");
    return TRUE;
}

BOOL CTwain::TwainMessageHook(MSG* pMsg) {
    if (m_nState < 4 || !pMsg)
        return FALSE;
    TW_EVENT ev{};
    ev.pEvent = pMsg;
    ev.TWMessage = MSG_NULL;
    DSCall(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &ev);
    const TW_UINT16 rc = m_nLastRC;
    switch (ev.TWMessage) {
    case MSG_NULL:
        ScanRunLog("CTwain:TwainMessageHook::MSG_NULL");
        break;
    case MSG_XFERREADY:
        ScanRunLog("CTwain:TwainMessageHook::MSG_XFERREADY");
        m_bAcquiring = TRUE;
        XferReady();
        XferGroupDone();
        break;
    case MSG_CLOSEDSREQ:
    case MSG_CLOSEDSOK: {
        bool bOk = ev.TWMessage == MSG_CLOSEDSOK;
        ScanRunLog(bOk ? "CTwain:TwainMessageHook::MSG_CLOSEOK"
                       : "CTwain:TwainMessageHook::MSG_CLOSEDSREQ");
        m_bCloseRequested = TRUE;
        HWND hCaller = m_hUiCaller;
        m_hUiCaller = nullptr;
        CloseDsRequest();
        m_bIsShowDSUI = FALSE;
        if (hCaller && hCaller != m_hParentWnd)
            PostMessageA(hCaller, WM_CLOSE, bOk ? 1 : 0, 0);
        break;
    }
    default:
        ScanRunLog("CTwain::TwainMessageHook::Default Message");
        break;
    }
    return rc == TWRC_DSEVENT;
}

TW_UINT16 CTwain::ReadConditionCode() {
    TW_STATUS st{};
    TW_UINT16 rc;
    if (m_nState >= 4)
        rc = g_pDSM_Entry(&m_AppId, &g_SourceId, DG_CONTROL, DAT_STATUS, MSG_GET, &st);
    else if (m_nState == 3)
        rc = g_pDSM_Entry(&m_AppId, nullptr, DG_CONTROL, DAT_STATUS, MSG_GET, &st);
    else
        return TWCC_SEQERROR;
    if (rc != TWRC_SUCCESS)
        return TWCC_BUMMER;
    return st.ConditionCode;
}

void CTwain::FetchExtendedError() {
    if (!g_pDSM_Entry || m_nState < 4)
        return;
    TW_UINT32 code = 0;
    TW_UINT16 rc =
        g_pDSM_Entry(&m_AppId, &g_SourceId, DG_CONTROL, DAT_VLM_EXTERROR, MSG_GET, &code);
    if (rc != TWRC_SUCCESS)
        return;
    char buf[1024];
    vlmscan::PrepareExtendedErrorBuffer(buf, code);
    // The source writes its text from byte 12; the last byte stays a terminator.
    VendorOpRecord rec{};
    rec.OpCode = VLMOP_GETERRORTEXT;
    rec.Arg1 = code;
    rec.Arg2 = reinterpret_cast<uintptr_t>(buf + 12);
    g_pDSM_Entry(&m_AppId, &g_SourceId, DG_CONTROL, DAT_VLM_VENDOROP, MSG_VLM_VENDOROP, &rec);
    buf[sizeof buf - 1] = '\0';
    m_strLastDriverError = buf;
    m_dwLastDriverError = code;
    ScanRunLog("CTwain:ExtendedError %s", buf);
}

// An error of the transfer found on this side: kept as the driver error
// (same form as the source's own) unless the source already reported one.
void CTwain::NoteDriverError(TW_UINT32 code, const char* text) {
    if (!m_strLastDriverError.empty())
        return;
    char buf[1024];
    vlmscan::PrepareExtendedErrorBuffer(buf, code);
    lstrcpynA(buf + 12, text, static_cast<int>(sizeof buf - 12));
    m_strLastDriverError = buf;
    m_dwLastDriverError = code;
    ScanRunLog("CTwain:TransferError %s", buf);
}

BOOL CTwain::DSCall(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF pData) {
    CCsLock lock(m_CallLock);
    ScanRunLog("CTwain:DS in");
    Trace("CTwain:DS in", dg, dat, msg, pData, false);
    if (m_nState < 4 || !g_pDSM_Entry) {
        ScanRunLog("CTwain:DS Not Open");
        return FALSE;
    }
    m_nLastRC = g_pDSM_Entry(&m_AppId, &g_SourceId, dg, dat, msg, pData);
    ScanRunLog("%s", vlmscan::ReturnCodeName(m_nLastRC).c_str());
    m_nLastCC = TWCC_SUCCESS;
    if (dat != DAT_STATUS && dat != DAT_EVENT) {
        if (m_nLastRC != TWRC_SUCCESS) {
            m_nLastCC = ReadConditionCode();
            if ((m_nLastRC == TWRC_FAILURE || m_nLastRC == TWRC_CANCEL) &&
                m_nLastCC == TWCC_VLM_EXTERROR)
                FetchExtendedError();
        }
    }
    vlmscan::STriplet t;
    t.DG = dg;
    t.DAT = dat;
    t.MSG = msg;
    t.RC = m_nLastRC;
    t.CC = m_nLastCC;
    t.bCloseRequested = m_bCloseRequested != FALSE;
    if (dat == DAT_EVENT && msg == MSG_PROCESSEVENT && pData)
        t.EventMessage = static_cast<TW_EVENT*>(pData)->TWMessage;
    if (dat == DAT_PENDINGXFERS && pData)
        t.PendingCount = static_cast<TW_PENDINGXFERS*>(pData)->Count;
    vlmscan::SStateStep step = vlmscan::NextState(m_nState, t);
    if (step.bError)
        ScanRunLog("*** Error ***");
    if (step.bClearCloseRequested)
        m_bCloseRequested = FALSE;
    if (step.nState != m_nState)
        SetState(step.nState);
    if (step.bFetchExtendedError && m_nLastCC != TWCC_VLM_EXTERROR)
        FetchExtendedError();
    Trace("CTwain:DS OUT", dg, dat, msg, pData, true);
    ScanRunLog("CTwain:DS OUT");
    return step.bSuccess;
}

BOOL CTwain::SMCall(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF pData) {
    CCsLock lock(m_CallLock);
    Trace("CTwain:SM IN", dg, dat, msg, pData, false);
    if (!g_pDSM_Entry)
        return FALSE;
    m_nLastRC = g_pDSM_Entry(&m_AppId, nullptr, dg, dat, msg, pData);
    m_nLastCC = TWCC_SUCCESS;
    BOOL ok = m_nLastRC == TWRC_SUCCESS;
    const bool bStateful = (dat == DAT_PARENT && (msg == MSG_OPENDSM || msg == MSG_CLOSEDSM)) ||
                           (dat == DAT_IDENTITY && (msg == MSG_OPENDS || msg == MSG_CLOSEDS));
    if (bStateful) {
        if (ok) {
            int next = msg == MSG_OPENDSM ? 3 : msg == MSG_CLOSEDSM ? 2 : msg == MSG_OPENDS ? 4 : 3;
            SetState(next);
        } else {
            m_nLastCC = ReadConditionCode();
            ScanRunLog("%s %s", vlmscan::ReturnCodeName(m_nLastRC).c_str(),
                       vlmscan::ConditionCodeName(m_nLastCC).c_str());
        }
    }
    Trace("CTwain:SM OUT", dg, dat, msg, pData, true);
    return ok;
}

void CTwain::Trace(const char* marker, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF pData,
                   bool bAfter) {
    if (!CScanTraceLog::IsEnabled())
        return;
    std::string line = marker;
    line += "/ " + vlmscan::DatName(dat) + "/ " + vlmscan::MsgName(msg);
    char buf[512];
    if (dat == DAT_CAPABILITY && pData) {
        const TW_CAPABILITY* cap = static_cast<const TW_CAPABILITY*>(pData);
        line += "// ---" + vlmscan::CapName(cap->Cap);
        if (bAfter && cap->hContainer) {
            CGlobalLock lock(static_cast<HGLOBAL>(cap->hContainer));
            const void* p = lock.Get();
            if (p && (cap->ConType == TWON_ONEVALUE)) {
                const TW_ONEVALUE* one = static_cast<const TW_ONEVALUE*>(p);
                snprintf(buf, sizeof buf, "  TW_ONEVALUE ItemType=%d Item=%d", one->ItemType,
                         static_cast<int>(one->Item));
                line += buf;
            } else if (p && cap->ConType == TWON_ENUMERATION) {
                const TW_ENUMERATION* e = static_cast<const TW_ENUMERATION*>(p);
                snprintf(buf, sizeof buf,
                         " TW_ENUMERATION ItemType=%d NumItems=%d CurrentIndex=%d DefaultIndex=%d "
                         "ItemList=%d",
                         e->ItemType, static_cast<int>(e->NumItems),
                         static_cast<int>(e->CurrentIndex), static_cast<int>(e->DefaultIndex),
                         e->NumItems ? static_cast<int>(e->ItemList[0]) : 0);
                line += buf;
            } else if (p) {
                snprintf(buf, sizeof buf, " ??? ConType=%d", cap->ConType);
                line += buf;
            }
        }
    } else if (bAfter && pData) {
        if (dat == DAT_IMAGENATIVEXFER) {
            snprintf(
                buf, sizeof buf, "// --TW_HANDLE=0x%08X",
                static_cast<unsigned>(reinterpret_cast<uintptr_t>(*static_cast<HANDLE*>(pData))));
            line += buf;
        } else if (dat == DAT_PENDINGXFERS) {
            const TW_PENDINGXFERS* p = static_cast<const TW_PENDINGXFERS*>(pData);
            snprintf(buf, sizeof buf, "// --TW_PENDINGXFERS Count=%d EOJ=%d", p->Count,
                     static_cast<int>(p->EOJ));
            line += buf;
        } else if (dat == DAT_SETUPMEMXFER) {
            const TW_SETUPMEMXFER* p = static_cast<const TW_SETUPMEMXFER*>(pData);
            snprintf(buf, sizeof buf,
                     "// --TW_SETUPMEMXFER MinBufSize=%d MaxBufSize=%d Preferred=%d",
                     static_cast<int>(p->MinBufSize), static_cast<int>(p->MaxBufSize),
                     static_cast<int>(p->Preferred));
            line += buf;
        } else if (dat == DAT_IMAGEINFO) {
            const TW_IMAGEINFO* p = static_cast<const TW_IMAGEINFO*>(pData);
            snprintf(buf, sizeof buf,
                     " / --TW_IMAGEINFO\tBitsPerPixel=%d BitPerSample=%d Compression=%d "
                     "ImageLength=%d ImageWidth=%d PixelType=%d Planar=%d SamplePerPixel=%d "
                     "XResolution=%d YResolution=%d",
                     p->BitsPerPixel, p->BitsPerSample[0], p->Compression,
                     static_cast<int>(p->ImageLength), static_cast<int>(p->ImageWidth),
                     p->PixelType, p->Planar, p->SamplesPerPixel, p->XResolution.Whole,
                     p->YResolution.Whole);
            line += buf;
        } else if (dat == DAT_IMAGEMEMXFER) {
            const TW_IMAGEMEMXFER* p = static_cast<const TW_IMAGEMEMXFER*>(pData);
            snprintf(buf, sizeof buf,
                     " / --TW_IMAGEMEMXFER  BytesPerRow=%d BytesWritten=%d Columns=%d "
                     "Compression=%d Rows=%d XOffset=%d YOffset=%d Memory=%d",
                     static_cast<int>(p->BytesPerRow), static_cast<int>(p->BytesWritten),
                     static_cast<int>(p->Columns), p->Compression, static_cast<int>(p->Rows),
                     static_cast<int>(p->XOffset), static_cast<int>(p->YOffset),
                     static_cast<int>(p->Memory.Length));
            line += buf;
        }
    }
    CScanTraceLog::Write(line.c_str());
}

// Sends a capability request; the container the source answers with is
// handed to *pAnswer, which frees it.
BOOL CTwain::CapCall(TW_UINT16 msg, TW_CAPABILITY* pCap, vlm::CGlobalMem* pAnswer) {
    BOOL ok = DSCall(DG_CONTROL, DAT_CAPABILITY, msg, pCap);
    pAnswer->Attach(static_cast<HGLOBAL>(pCap->hContainer));
    return ok && pAnswer->IsValid();
}

BOOL CTwain::GetCapCurrent(TW_UINT16 cap, TW_UINT16 itemType, void* pOut) {
    if (m_nState < 4 || !pOut)
        return FALSE;
    TW_CAPABILITY c{cap, TWON_ONEVALUE, nullptr};
    vlm::CGlobalMem answer;
    if (!CapCall(MSG_GETCURRENT, &c, &answer))
        return FALSE;
    CGlobalLock lock(answer.Get());
    return vlmscan::ReadCurrentItem(lock.Bytes(), lock.Size(), c.ConType, itemType, pOut);
}

BOOL CTwain::GetCapLong(TW_UINT16 cap, TW_UINT16 itemType, long* pValue) {
    uint8_t buf[8] = {};
    if (!GetCapCurrent(cap, itemType, buf))
        return FALSE;
    const double v = vlmscan::ItemAsReal(itemType, buf);
    // FIX32 is cut to its whole part; UINT32 keeps its 32 bits (as before, as a long).
    if (pValue)
        *pValue = static_cast<long>(static_cast<int32_t>(static_cast<int64_t>(v)));
    return TRUE;
}

BOOL CTwain::GetCapAddress(TW_UINT16 cap, uintptr_t* pAddress) {
    if (m_nState < 4 || !pAddress)
        return FALSE;
    TW_CAPABILITY c{cap, TWON_ONEVALUE, nullptr};
    vlm::CGlobalMem answer;
    if (!CapCall(MSG_GETCURRENT, &c, &answer) || c.ConType != TWON_ONEVALUE)
        return FALSE;
    CGlobalLock lock(answer.Get());
    TW_ONEVALUE_ADDRESS one;
    if (lock.Size() < sizeof one)
        return FALSE;
    memcpy(&one, lock.Get(), sizeof one);
    if (one.ItemType != TWTY_VLM_ADDRESS)
        return FALSE;
    *pAddress = one.Item;
    return TRUE;
}

int CTwain::GetCapValues(TW_UINT16 cap, SCapValues* pOut) {
    if (m_nState < 4 || !pOut)
        return 0;
    *pOut = SCapValues();
    TW_CAPABILITY c{cap, TWON_ENUMERATION, nullptr};
    vlm::CGlobalMem answer;
    if (!CapCall(MSG_GET, &c, &answer))
        return 0;
    CGlobalLock lock(answer.Get());
    return vlmscan::ReadCapValues(lock.Bytes(), lock.Size(), c.ConType, pOut);
}

// MSG_SET with a one-value container holding cb bytes of pOneValue. When
// its memory cannot be had the user may retry.
BOOL CTwain::SetCapOneValue(TW_UINT16 cap, const void* pOneValue, size_t cb) {
    if (m_nState != 4)
        return FALSE;
    vlm::CGlobalMem mem;
    while (!mem.Alloc(cb, GHND)) {
        if (ScanMessageBox(
                nullptr, ScanLocalize("Internal error while preparing for TWAIN acquire.").c_str(),
                "TWAIN", MB_RETRYCANCEL | MB_ICONEXCLAMATION) != IDRETRY)
            return FALSE;
    }
    {
        CGlobalLock lock(mem.Get());
        memcpy(lock.Get(), pOneValue, cb);
    }
    TW_CAPABILITY c{cap, TWON_ONEVALUE, mem.Get()};
    return DSCall(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &c);
}

BOOL CTwain::SetCapValue(TW_UINT16 cap, TW_UINT16 itemType, TW_UINT32 value) {
    TW_ONEVALUE one{itemType, value};
    return SetCapOneValue(cap, &one, sizeof one);
}

BOOL CTwain::SetCapFix32(TW_UINT16 cap, double value) {
    return SetCapValue(cap, TWTY_FIX32, vlmscan::PackFix32(vlmscan::ToFix32(value)));
}

BOOL CTwain::SetCapString(TW_UINT16 cap, const char* text) {
    // A TW_ONEVALUE whose item is a TW_STR32: 40 bytes with the item type.
    uint8_t one[40] = {};
    const TW_UINT16 type = TWTY_STR32;
    memcpy(one, &type, 2);
    lstrcpynA(reinterpret_cast<char*>(one + 2), text ? text : "", 34);
    return SetCapOneValue(cap, one, sizeof one);
}

BOOL CTwain::SetCapAddress(TW_UINT16 cap, uintptr_t address) {
    TW_ONEVALUE_ADDRESS one{TWTY_VLM_ADDRESS, address};
    return SetCapOneValue(cap, &one, sizeof one);
}

TW_INT32 CTwain::VendorOp(TW_UINT16 code, uintptr_t arg1, uintptr_t arg2) {
    VendorOpRecord rec{};
    rec.OpCode = code;
    rec.Arg1 = arg1;
    rec.Arg2 = arg2;
    rec.Result = 0;
    if (!DSCall(DG_CONTROL, DAT_VLM_VENDOROP, MSG_VLM_VENDOROP, &rec) && rec.Result == 0)
        return -1; // the call itself failed: never report that as success
    return rec.Result;
}

void CTwain::GetLastDriverErrorText(std::string* pText, DWORD* pCode) const {
    if (pText)
        *pText = m_strLastDriverError;
    if (pCode)
        *pCode = m_dwLastDriverError;
}

void CTwain::ClearLastDriverErrorText() {
    m_strLastDriverError.clear();
    m_dwLastDriverError = 0;
}

void CTwain::DrainMessages() {
    MSG msg;
    while (m_nState > 4 && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam)); // keep it for the loop
            break;
        }
        if (!TwainMessageHook(&msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
}

void CTwain::XferReady() {
    TransferImages(nullptr, nullptr);
}

void CTwain::TransferImages(const std::function<void()>& before,
                            const std::function<void()>& after) {
    TW_IMAGEINFO info{};
    DSCall(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info);
    do {
        if (before)
            before();
        m_bXferFailed = FALSE;
        switch (m_nXferMech) {
        case TWSX_FILE:
            FileXfer();
            break;
        case TWSX_MEMORY:
            MemXfer();
            break;
        default:
            NativeXfer();
            break;
        }
        if (after)
            after();
        if (m_bXferFailed)
            m_bBatchFailed = TRUE;
        if (m_nState > 6) {
            DropToState(5, nullptr);
            break;
        }
        // A transfer that failed leaves the source in state 6 with the same
        // image offered: asking again would never end, so the batch ends.
        if (m_bXferFailed && m_nState == 6)
            CancelXfers();
    } while (m_nState == 6);
}

BOOL CTwain::NativeXfer() {
    Progress(WM_SCAN_PROGRESS, 376, 100, 0);
    TW_HANDLE hImage = nullptr;
    DSCall(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &hImage);
    const TW_UINT16 rc = m_nLastRC;
    if (rc != TWRC_XFERDONE) {
        vlm::CGlobalMem notAnImage(static_cast<HGLOBAL>(hImage)); // only XFERDONE counts
        hImage = nullptr;
    }
    m_bXferFailed = rc != TWRC_XFERDONE && rc != TWRC_CANCEL && rc != TWRC_SUCCESS;
    Progress(WM_SCAN_PROGRESS, 377, 100, 100);
    if (m_nState >= 6)
        DSCall(DG_CONTROL, DAT_PENDINGXFERS, MSG_GET, &m_Pending);
    NativeImageReceived(hImage, hImage == nullptr);
    EndXfer();
    DrainMessages();
    if (hImage)
        DisableSource(); // acts only once no transfer is pending
    return hImage != nullptr;
}

void CTwain::NativeImageReceived(HANDLE hDib, BOOL bMissing) {
    (void)bMissing;
    CVlmApp* app = CVlmApp::GetApp();
    if (app && app->GetMainWnd())
        SendMessageA(app->GetMainWnd(), WM_VLM_PAGE_SCANNED0, reinterpret_cast<WPARAM>(hDib), 0);
}

void CTwain::FileXferNotify(HGLOBAL hMem) {
    ScanRunLog("File Making...");
    vlm::CGlobalMem notice(hMem); // ours to free
}

BOOL CTwain::SetupFileXfer(TW_SETUPFILEXFER* pSetup) {
    char dir[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, dir);
    char name[MAX_PATH] = {};
    if (!GetTempFileNameA(dir, "SuF", 0, name))
        return FALSE;
    lstrcpynA(pSetup->FileName, name, sizeof pSetup->FileName);
    pSetup->Format = TWFF_BMP;
    return TRUE;
}

BOOL CTwain::FileXfer() {
    TW_SETUPFILEXFER setup{};
    DSCall(DG_CONTROL, DAT_SETUPFILEXFER, MSG_GET, &setup);
    if (!SetupFileXfer(&setup)) {
        FileXferDone(&setup, FALSE);
        return FALSE;
    }
    DSCall(DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, &setup);
    BOOL ok = DSCall(DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr) || m_nLastRC == TWRC_XFERDONE;
    if (ok) {
        DSCall(DG_CONTROL, DAT_PENDINGXFERS, MSG_GET, &m_Pending);
        EndXfer();
        DrainMessages();
        FileXferDone(&setup, TRUE);
        return TRUE;
    }
    m_bXferFailed = m_nLastRC != TWRC_CANCEL;
    FileXferDone(&setup, FALSE);
    return FALSE;
}

BOOL CTwain::AllocXferBuffer(TW_UINT32 nMin, TW_UINT32 nMax, TW_UINT32 nPreferred) {
    FreeXferBuffer();
    m_nXferMin = nMin;
    m_nXferMax = nMax;
    m_nXferPreferred = nPreferred;
    TW_UINT32 size = nPreferred;
    if (size == 0 || size == TWON_DONTCARE32)
        size = nMin && nMin != TWON_DONTCARE32 ? nMin : 64 * 1024;
    if (nMax && nMax != TWON_DONTCARE32 && size > nMax)
        size = nMax;
    if (size < nMin && nMin != TWON_DONTCARE32)
        size = nMin;
    // The source's numbers size an allocation: a strip buffer beyond any
    // page's needs is refused rather than asked of the heap.
    if (size > kMaxXferBuffer)
        return FALSE;
    m_pXferMem.reset(new (std::nothrow) uint8_t[size]);
    if (!m_pXferMem)
        return FALSE;
    m_XferBuffer.Flags = TWMF_APPOWNS | TWMF_POINTER;
    m_XferBuffer.Length = size;
    m_XferBuffer.TheMem = m_pXferMem.get();
    return TRUE;
}

BOOL CTwain::ReallocXferBuffer() {
    return AllocXferBuffer(m_nXferMin, m_nXferMax, m_nXferPreferred);
}

void CTwain::FreeXferBuffer() {
    m_pXferMem.reset();
    m_XferBuffer = TW_MEMORY{};
}

BOOL CTwain::MemXferBuffer(int nFirstRow, const TW_IMAGEMEMXFER& strip) {
    const uint8_t* src = static_cast<const uint8_t*>(strip.Memory.TheMem);
    for (TW_UINT32 i = 0; i < strip.Rows; ++i)
        if (!CopyRow(nFirstRow + static_cast<int>(i), src + size_t(i) * strip.BytesPerRow, strip))
            return FALSE;
    return TRUE;
}

SMemStrip CTwain::StripOf(const TW_IMAGEMEMXFER& s) {
    SMemStrip m;
    m.Rows = s.Rows;
    m.BytesPerRow = s.BytesPerRow;
    m.Columns = s.Columns;
    m.BytesWritten = s.BytesWritten;
    m.bCompressed = s.Compression == TWCP_JPEG;
    m.pData = static_cast<const uint8_t*>(s.Memory.TheMem);
    return m;
}

// The image cannot be received: the page (when one was begun) ends aborted
// and the transfer is marked failed, which ends the batch.
BOOL CTwain::MemXferFailed(BOOL bPageBegun) {
    FreeXferBuffer();
    m_bXferFailed = TRUE;
    if (bPageBegun)
        MemXferDone(FALSE);
    return FALSE;
}

BOOL CTwain::MemXfer() {
    TW_SETUPMEMXFER setup{};
    if (!DSCall(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup))
        return MemXferFailed(FALSE);
    TW_IMAGEINFO info{};
    if (!DSCall(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info))
        return MemXferFailed(FALSE);
    size_t committed = MemXferReady(info);
    if (committed == 0)
        return MemXferFailed(TRUE);
    if (!AllocXferBuffer(setup.MinBufSize, setup.MaxBufSize, setup.Preferred)) {
        NoteDriverError(VLM_EXTERR_LOWMEMORY, "Not enough memory to receive the page.");
        return MemXferFailed(TRUE);
    }
    // Rows (uncompressed) or blocks (compressed) received so far.
    TW_INT32 rows = 0;
    int blocks = 0;
    size_t dataSize = 0;
    Progress(WM_SCAN_PROGRESS, 376, info.ImageLength, 0);
    TW_IMAGEMEMXFER strip{};
    strip.Memory = m_XferBuffer;
    bool bGot = DSCall(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &strip) || m_nLastRC == TWRC_XFERDONE;
    m_bXferFailed = !bGot && m_nLastRC != TWRC_CANCEL;
    while (bGot) {
        const bool bDone = m_nLastRC == TWRC_XFERDONE;
        Progress(WM_SCAN_PROGRESS, 376, info.ImageLength, rows);
        // What the source says it wrote must lie in the buffer it was given;
        // a strip that claims more ends the image before anything is read.
        if (!CPageAssembler::StripFitsBuffer(StripOf(strip), m_XferBuffer.Length)) {
            CScanTraceLog::Printf("\t\tStrip beyond the buffer ***** ERROR ***** Rows=%u "
                                  "BytesPerRow=%u BytesWritten=%u",
                                  static_cast<unsigned>(strip.Rows),
                                  static_cast<unsigned>(strip.BytesPerRow),
                                  static_cast<unsigned>(strip.BytesWritten));
            return MemXferFailed(TRUE);
        }
        if (strip.Compression != TWCP_JPEG) {
            if (strip.Rows == 0) {
                if (bDone) {
                    rows = info.ImageLength;
                    break;
                }
                // A source that had nothing ready: ask again with a fresh buffer.
                if (!ReallocXferBuffer()) {
                    NoteDriverError(VLM_EXTERR_LOWMEMORY, "Not enough memory to receive the page.");
                    return MemXferFailed(TRUE);
                }
                strip = TW_IMAGEMEMXFER{};
                strip.Memory = m_XferBuffer;
                bGot = DSCall(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &strip) ||
                       m_nLastRC == TWRC_XFERDONE;
                continue;
            }
            if (static_cast<TW_INT32>(strip.Columns) != info.ImageWidth && strip.BytesPerRow) {
                info.ImageWidth = static_cast<TW_INT32>(strip.Columns);
                info.ImageLength = static_cast<TW_INT32>(committed / strip.BytesPerRow);
                committed = MemXferReady2(info);
                if (committed == 0)
                    return MemXferFailed(TRUE);
                info.ImageLength = CurrentPageHeight();
            }
            if (rows + static_cast<TW_INT32>(strip.Rows) > info.ImageLength) {
                if (!MemXferBufferEx(rows, strip)) {
                    // The page ends with the rows that fitted.
                    rows += static_cast<TW_INT32>(strip.Rows);
                    info.ImageLength = CurrentPageHeight();
                    break;
                }
                info.ImageLength = CurrentPageHeight();
            } else if (!MemXferBuffer(rows, strip)) {
                break;
            }
            rows += static_cast<TW_INT32>(strip.Rows);
        } else {
            if (committed < dataSize + strip.BytesWritten) {
                size_t growth = MemXferBufferExJpeg(blocks, strip);
                if (!growth)
                    break;
                committed = CurrentCommitted();
            } else if (!MemXferBufferJpeg(blocks, strip)) {
                break;
            }
            dataSize += strip.BytesWritten;
            ++blocks;
        }
        CScanTraceLog::Printf("\tiRow=%d ImageLength=%d", static_cast<int>(rows),
                              static_cast<int>(info.ImageLength));
        CScanTraceLog::Printf("\tiMemCounter=%d DataSize=%d", blocks, static_cast<int>(dataSize));
        if (bDone) {
            if (strip.Compression != TWCP_JPEG)
                MemXferPreDone(info, rows);
            else
                MemXferPreDoneJpeg(info, blocks);
            info.ImageLength = CurrentPageHeight();
            rows = info.ImageLength;
            break;
        }
        strip = TW_IMAGEMEMXFER{};
        strip.Memory = m_XferBuffer;
        bGot = DSCall(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &strip) || m_nLastRC == TWRC_XFERDONE;
    }
    const bool bComplete = bGot && m_nLastRC == TWRC_XFERDONE && rows == info.ImageLength;
    FreeXferBuffer();
    Progress(WM_SCAN_PROGRESS, 377, info.ImageLength, rows);
    if (m_nState >= 6)
        DSCall(DG_CONTROL, DAT_PENDINGXFERS, MSG_GET, &m_Pending);
    MemXferDone(bComplete);
    EndXfer();
    DrainMessages();
    return TRUE;
}
