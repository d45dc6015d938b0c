// The VX-410 TWAIN 1.9 data source ("Velmora VX-410 TWAIN"): one session per
// process, states 4 to 7, events through the application's message loop
// (MSG_PROCESSEVENT), native and memory transfers of pages taken from the
// simulated VX-410 feeder, vendor operations and the extended error. For
// tests of the programs that drive it, the simulator can also ask it to fail
// at one image of a batch the ways a source may ("vx410 fault source").
#include "core/dssettings.h"
#include "core/pagerender.h"
#include "resource.h"
#include "contracts/GlobalLock.h"
#include "contracts/vlmtwain.h"

#include "pagegen.h"
#include "vx410sim.h"

#ifdef VX410DS_HAVE_JPEG
#include "jpegcodec.h"
#endif

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace vx410ds {
namespace {

HINSTANCE g_hInstance = nullptr;

// Owns one global memory block until it is handed to the application.
class CGlobalBlock {
public:
    CGlobalBlock(size_t size) : m_h(::GlobalAlloc(GHND, size ? size : 1)) {}
    ~CGlobalBlock() {
        if (m_h)
            ::GlobalFree(m_h);
    }
    CGlobalBlock(const CGlobalBlock&) = delete;
    CGlobalBlock& operator=(const CGlobalBlock&) = delete;
    HGLOBAL Get() const { return m_h; }
    HGLOBAL Detach() {
        HGLOBAL h = m_h;
        m_h = nullptr;
        return h;
    }

private:
    HGLOBAL m_h;
};

using vlm::CGlobalLock;

TW_FIX32 ToFix32(double v) {
    const long raw = std::lround(v * 65536.0); // half away from zero
    TW_FIX32 f;
    f.Whole = TW_INT16(raw >> 16);
    f.Frac = TW_UINT16(raw & 0xFFFF);
    return f;
}

double FromFix32(TW_FIX32 f) {
    return f.Whole + f.Frac / 65536.0;
}

void WriteItem(uint8_t* p, TW_UINT16 type, const CapValue& v) {
    const size_t n = TwainItemSize(type);
    if (type >= TWTY_STR32 && type <= TWTY_STR255) {
        std::memset(p, 0, n);
        std::memcpy(p, v.m_strText.data(), std::min(v.m_strText.size(), n - 1));
        return;
    }
    if (type == TWTY_FIX32) {
        TW_FIX32 f = ToFix32(v.m_dValue);
        std::memcpy(p, &f, 4);
        return;
    }
    const int64_t x = int64_t(std::llround(v.m_dValue));
    std::memcpy(p, &x, n); // little-endian: the low bytes
}

CapValue ReadItem(const uint8_t* p, TW_UINT16 type, size_t avail) {
    CapValue v;
    switch (type) {
    case TWTY_INT8:
        v.m_dValue = *reinterpret_cast<const int8_t*>(p);
        break;
    case TWTY_UINT8:
        v.m_dValue = *p;
        break;
    case TWTY_INT16: {
        int16_t x;
        std::memcpy(&x, p, 2);
        v.m_dValue = x;
        break;
    }
    case TWTY_UINT16:
    case TWTY_BOOL: {
        uint16_t x;
        std::memcpy(&x, p, 2);
        v.m_dValue = x;
        break;
    }
    case TWTY_INT32: {
        int32_t x;
        std::memcpy(&x, p, 4);
        v.m_dValue = x;
        break;
    }
    case TWTY_UINT32: {
        uint32_t x;
        std::memcpy(&x, p, 4);
        v.m_dValue = x;
        break;
    }
    case TWTY_FIX32: {
        TW_FIX32 f;
        std::memcpy(&f, p, 4);
        v.m_dValue = FromFix32(f);
        break;
    }
    default:
        if (type >= TWTY_STR32 && type <= TWTY_STR255) {
            const size_t n = std::min<size_t>(TwainItemSize(type), avail);
            v.m_strText.assign(reinterpret_cast<const char*>(p), strnlen((const char*)p, n));
        }
    }
    return v;
}

// Builds the TWAIN container for an answer.
HGLOBAL BuildContainer(const CapAnswer& a) {
    const size_t item = TwainItemSize(a.m_nItemType);
    if (a.m_nConType == TWON_RANGE) {
        CGlobalBlock block(sizeof(TW_RANGE));
        CGlobalLock lock(block.Get());
        if (!lock.Get())
            return nullptr;
        auto* r = reinterpret_cast<pTW_RANGE>(lock.Get());
        r->ItemType = a.m_nItemType;
        r->MinValue = TW_UINT32(std::lround(a.m_dMin));
        r->MaxValue = TW_UINT32(std::lround(a.m_dMax));
        r->StepSize = TW_UINT32(std::lround(a.m_dStep));
        r->DefaultValue = TW_UINT32(std::lround(a.m_dDefault));
        r->CurrentValue = TW_UINT32(std::lround(a.m_dCurrent));
        return block.Detach();
    }
    if (a.m_nConType == TWON_ENUMERATION || a.m_nConType == TWON_ARRAY) {
        const size_t head = a.m_nConType == TWON_ENUMERATION ? offsetof(TW_ENUMERATION, ItemList)
                                                             : offsetof(TW_ARRAY, ItemList);
        CGlobalBlock block(head + item * a.m_items.size());
        CGlobalLock lock(block.Get());
        if (!lock.Get())
            return nullptr;
        if (a.m_nConType == TWON_ENUMERATION) {
            auto* e = reinterpret_cast<pTW_ENUMERATION>(lock.Get());
            e->ItemType = a.m_nItemType;
            e->NumItems = TW_UINT32(a.m_items.size());
            e->CurrentIndex = a.m_nCurrentIndex;
            e->DefaultIndex = a.m_nDefaultIndex;
        } else {
            auto* e = reinterpret_cast<pTW_ARRAY>(lock.Get());
            e->ItemType = a.m_nItemType;
            e->NumItems = TW_UINT32(a.m_items.size());
        }
        for (size_t i = 0; i < a.m_items.size(); ++i)
            WriteItem(lock.Bytes() + head + i * item, a.m_nItemType, a.m_items[i]);
        return block.Detach();
    }
    // One value: strings follow the item type directly.
    CGlobalBlock block(std::max<size_t>(sizeof(TW_ONEVALUE), 2 + item));
    CGlobalLock lock(block.Get());
    if (!lock.Get())
        return nullptr;
    reinterpret_cast<pTW_ONEVALUE>(lock.Get())->ItemType = a.m_nItemType;
    WriteItem(lock.Bytes() + 2, a.m_nItemType, a.m_items.at(0));
    return block.Detach();
}

const char* ExtErrorText(TW_UINT32 code) {
    switch (code) {
    case VLM_EXTERR_NONE:
        return "";
    case VLM_EXTERR_NOPAPER:
        return "No paper in the document feeder.";
    case VLM_EXTERR_COVEROPEN:
        return "The scanner cover is open.";
    case VLM_EXTERR_PAPERJAM:
        return "Paper jammed in scanner.";
    case VLM_EXTERR_CANCELLED:
        return "Scanning was cancelled.";
    case VLM_EXTERR_DOUBLEFEED:
        return "Double paper-feed has occurred.";
    case VLM_EXTERR_LAMP:
        return "Lamp error.";
    case VLM_EXTERR_HARDWARE:
        return "Hardware error. Check the scanner.";
    case VLM_EXTERR_NOTREADY:
        return "The scanner is not ready.";
    }
    return "Unknown scanner error.";
}

struct TwResult {
    TW_UINT16 m_nRc;
    TW_UINT16 m_nCc;
};

class CDataSource {
public:
    TW_UINT16 Entry(pTW_IDENTITY pOrigin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                    TW_MEMREF pData);
    INT_PTR DialogProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam);

private:
    TW_UINT16 Finish(TwResult r, TW_UINT32 ext = VLM_EXTERR_NONE);
    TwResult Identity(TW_UINT16 msg, pTW_IDENTITY pOrigin, pTW_IDENTITY pId);
    TwResult Capability(TW_UINT16 msg, pTW_CAPABILITY pCap);
    TwResult Event(pTW_EVENT pEvent);
    TwResult UserInterface(TW_UINT16 msg, pTW_USERINTERFACE pUi);
    TwResult Pending(TW_UINT16 msg, pTW_PENDINGXFERS pPending);
    TwResult ImageInfo(pTW_IMAGEINFO pInfo);
    TwResult ImageLayout(TW_UINT16 msg, pTW_IMAGELAYOUT pLayout);
    TwResult SetupMem(pTW_SETUPMEMXFER pSetup);
    TwResult NativeXfer(TW_HANDLE* pHandle);
    TwResult MemXfer(pTW_IMAGEMEMXFER pXfer);
    TwResult ExtImageInfo(pTW_EXTIMAGEINFO pInfo);
    TwResult VendorOp(pVendorOpRecord pRec);

    ScanFormat Format() const;
    void PostEvent(TW_UINT16 twMsg);
    bool YieldCancels();
    // The fault the simulator asks this source to show for the image about
    // to be transferred (see "vx410 fault source"), or "".
    std::string SourceFault();
    // The faults that end the application's process inside a transfer, as a
    // broken driver does: "crash" (an access violation), "exit" (the process
    // ends on the spot). Any other fault returns.
    static void EndProcessIfAsked(const std::string& fault);
    // Takes the next image (a new sheet, or the back of the last one).
    // Returns VLM_EXTERR_NONE or the device error that stopped the feed.
    TW_UINT32 TakeImage();
    bool MoreImages();
    void EndBatch();
    TW_UINT16 PendingCount();
    void ShowDialog(bool bUiOnly);
    void CloseDialog();
    void ApplyDialog(HWND hDlg);

    int m_nState = 3;
    TW_IDENTITY m_appId{};
    CDsSettings m_settings;
    TW_UINT16 m_nCondition = TWCC_SUCCESS;
    TW_UINT32 m_nExtError = VLM_EXTERR_NONE;
    // session
    HWND m_hParent = nullptr;
    DWORD m_dwAppThread = 0;
    bool m_bShowUI = false;
    bool m_bUiOnly = false;
    HWND m_hDlg = nullptr;
    VLMYIELDPROC m_pfnYield = nullptr;
    std::map<TW_UINT16, int32_t> m_items; // vendor items set by 0x0321
    std::map<TW_UINT16, std::string> m_itemText;
    // batch
    bool m_bBatchOver = false;
    int m_nImagesDone = 0;
    int m_nStopAfter = 0; // MSG_STOPFEEDER: images still due from the paper path
    bool m_bBackPending = false;
    vx410sim::PageSource m_lastSheet;
    int m_nLastSide = 0;
    std::vector<vx410sim::Barcode> m_barcodes; // on the image last taken
    ScannedPage m_page;
    std::vector<uint8_t> m_jpeg;
    bool m_bCompressed = false;
    size_t m_nMemPos = 0; // rows (uncompressed) or bytes (JPEG) delivered
};

CDataSource g_ds;
const UINT g_uEventMsg = ::RegisterWindowMessageA("VX410DS.TwainEvent");

TW_UINT16 CDataSource::Finish(TwResult r, TW_UINT32 ext) {
    m_nCondition = r.m_nCc;
    if (ext != VLM_EXTERR_NONE) {
        m_nExtError = ext;
        m_nCondition = TWCC_VLM_EXTERROR;
    }
    return r.m_nRc;
}

ScanFormat CDataSource::Format() const {
    ScanFormat f;
    f.m_nPixelType = m_settings.m_nPixelType;
    f.m_nXRes = m_settings.m_nXRes;
    f.m_nYRes = m_settings.m_nYRes;
    PageInches(m_settings, f.m_dWidthIn, f.m_dLengthIn);
    return f;
}

void CDataSource::PostEvent(TW_UINT16 twMsg) {
    // TWAIN 1.x has no callbacks: the event reaches the source again through
    // the application's loop and MSG_PROCESSEVENT.
    if (m_hParent && ::IsWindow(m_hParent))
        ::PostMessageA(m_hParent, g_uEventMsg, twMsg, 0);
    else
        ::PostThreadMessageA(m_dwAppThread, g_uEventMsg, twMsg, 0);
}

bool CDataSource::YieldCancels() {
    return m_pfnYield && m_pfnYield() != 0;
}

std::string CDataSource::SourceFault() {
    vx410sim::DeviceState st;
    vx410sim::CSimDevice dev(vx410sim::ResolveStateFolder());
    if (!dev.Read(st) || st.m_nSourceFaultAtPage != m_nImagesDone + 1)
        return std::string();
    return st.m_strSourceFault;
}

void CDataSource::EndProcessIfAsked(const std::string& fault) {
    if (fault == "crash") {
        // A write through a stray pointer; volatile, so that it happens.
        volatile int* stray = reinterpret_cast<volatile int*>(static_cast<uintptr_t>(8));
        *stray = 1;
    } else if (fault == "exit") {
        ExitProcess(3);
    }
}

TW_UINT32 CDataSource::TakeImage() {
    vx410sim::CSimDevice dev(vx410sim::ResolveStateFolder());
    if (m_bBackPending) {
        m_bBackPending = false;
        m_nLastSide = 1;
        m_barcodes.clear(); // the sheet's barcodes are on its front
        ScanFormat f = Format();
        std::string err;
        if (m_lastSheet.m_bIsFile) {
            // The back of a printed sheet is blank paper.
            ScannedPage blank;
            std::vector<uint8_t> white(vx410sim::RowBytes(f.Width(), f.BitsPerPixel()) * f.Height(),
                                       f.BitsPerPixel() == 1 ? 0x00 : 0xFF);
            if (!FromSimulatorLayout(f, white.data(), white.size(), m_page, &err))
                return VLM_EXTERR_HARDWARE;
            return VLM_EXTERR_NONE;
        }
        // Back sides of generated sheets are pages of their own.
        return RenderGenerated(f, m_lastSheet.m_nGenerated + 100000, m_page, &err)
                   ? VLM_EXTERR_NONE
                   : VLM_EXTERR_HARDWARE;
    }
    vx410sim::PageSource src;
    std::string err;
    switch (dev.TakeNextPage(src, &err)) {
    case vx410sim::TakeResult::Page:
        break;
    case vx410sim::TakeResult::Empty:
        return VLM_EXTERR_NOPAPER;
    case vx410sim::TakeResult::CoverOpen:
        return VLM_EXTERR_COVEROPEN;
    case vx410sim::TakeResult::Jam:
        return VLM_EXTERR_PAPERJAM;
    case vx410sim::TakeResult::DoubleFeed:
        return VLM_EXTERR_DOUBLEFEED;
    case vx410sim::TakeResult::LampError:
        return VLM_EXTERR_LAMP;
    case vx410sim::TakeResult::HardwareError:
        return VLM_EXTERR_HARDWARE;
    default:
        return VLM_EXTERR_NOTREADY;
    }
    m_lastSheet = src;
    m_nLastSide = 0;
    m_barcodes = src.m_barcodes;
    m_bBackPending = m_settings.m_bDuplex;
    const ScanFormat f = Format();
    bool bOk;
    if (src.m_bIsFile) {
        vx410sim::PageImage img;
        bOk = vx410sim::ReadImageFile(src.m_strPath, img, &err);
        dev.ReleasePageFile(src);
        if (bOk) {
            SheetImage sheet{img.m_nWidth, img.m_nHeight, img.m_nBitsPerPixel, img.m_nDpi,
                             img.m_data.data()};
            bOk = RenderSheet(f, sheet, m_page, &err);
        }
    } else {
        bOk = RenderGenerated(f, src.m_nGenerated, m_page, &err);
    }
    return bOk ? VLM_EXTERR_NONE : VLM_EXTERR_HARDWARE;
}

bool CDataSource::MoreImages() {
    if (m_bBatchOver)
        return false;
    if (m_settings.m_nXferCount > 0 && m_nImagesDone >= m_settings.m_nXferCount)
        return false;
    if (m_nStopAfter > 0 && m_nImagesDone >= m_nStopAfter)
        return false;
    if (m_bBackPending)
        return true;
    vx410sim::DeviceState st;
    vx410sim::CSimDevice dev(vx410sim::ResolveStateFolder());
    // A sheet waiting means another image; faults show up when it is fed.
    return dev.Read(st) && st.PaperPresent();
}

TW_UINT16 CDataSource::PendingCount() {
    if (m_nState < 6 || !MoreImages())
        return 0;
    if (m_settings.m_nXferCount > 0)
        return TW_UINT16(std::max(0, m_settings.m_nXferCount - m_nImagesDone));
    return 0xFFFF; // -1: the feeder does not know how many sheets are left
}

void CDataSource::EndBatch() {
    m_bBatchOver = true;
    m_bBackPending = false;
}

TwResult CDataSource::Identity(TW_UINT16 msg, pTW_IDENTITY pOrigin, pTW_IDENTITY pId) {
    switch (msg) {
    case MSG_GET: {
        if (!pId)
            return {TWRC_FAILURE, TWCC_BADVALUE};
        const TW_UINT32 id = pId->Id; // assigned by the source manager
        std::memset(pId, 0, sizeof(*pId));
        pId->Id = id;
        pId->Version.MajorNum = 1;
        pId->Version.MinorNum = 0;
        pId->Version.Language = TWLG_USA;
        pId->Version.Country = TWCY_USA;
        std::strcpy(pId->Version.Info, "1.0 (simulated VX-410)");
        pId->ProtocolMajor = TWON_PROTOCOLMAJOR;
        pId->ProtocolMinor = TWON_PROTOCOLMINOR;
        pId->SupportedGroups = DG_CONTROL | DG_IMAGE;
        std::strcpy(pId->Manufacturer, VLM_DS_MANUFACTURER);
        std::strcpy(pId->ProductFamily, VLM_DS_PRODUCTFAMILY);
        std::strcpy(pId->ProductName, VLM_DS_PRODUCTNAME);
        return {TWRC_SUCCESS, TWCC_SUCCESS};
    }
    case MSG_OPENDS:
        if (m_nState >= 4)
            return {TWRC_FAILURE, TWCC_MAXCONNECTIONS}; // one application at a time
        if (pOrigin)
            m_appId = *pOrigin;
        m_nState = 4;
        m_nExtError = VLM_EXTERR_NONE;
        m_pfnYield = nullptr;
        // Each session starts from the factory settings; applications load
        // their own profile after opening.
        m_settings = CDsSettings{};
        m_items.clear();
        m_itemText.clear();
        return {TWRC_SUCCESS, TWCC_SUCCESS};
    case MSG_CLOSEDS:
        if (m_nState > 5 || m_nState < 4)
            return {TWRC_FAILURE, TWCC_SEQERROR};
        // From state 5 only after the settings window asked to be closed:
        // the application then closes without disabling first.
        CloseDialog();
        m_nState = 3;
        m_pfnYield = nullptr;
        return {TWRC_SUCCESS, TWCC_SUCCESS};
    }
    return {TWRC_FAILURE, TWCC_BADPROTOCOL};
}

TwResult CDataSource::Capability(TW_UINT16 msg, pTW_CAPABILITY pCap) {
    if (!pCap)
        return {TWRC_FAILURE, TWCC_BADVALUE};
    CCapModel model(m_settings);
    const TW_UINT16 cap = pCap->Cap;
    if (msg == MSG_SET || msg == MSG_RESET) {
        if (m_nState != 4)
            return {TWRC_FAILURE, TWCC_SEQERROR}; // negotiation only before enabling
    }
    if (msg == MSG_QUERYSUPPORT) {
        const bool bOwn = cap == CCAP_VLM_YIELDPROC || model.IsSupported(cap);
        if (!bOwn)
            return {TWRC_FAILURE, TWCC_CAPUNSUPPORTED};
        CapAnswer a;
        a.m_nItemType = TWTY_INT32;
        a.m_items.push_back(
            CapValue{double(cap == CCAP_VLM_YIELDPROC ? 0x1F : model.QuerySupport(cap)), {}});
        pCap->ConType = TWON_ONEVALUE;
        pCap->hContainer = BuildContainer(a);
        return pCap->hContainer ? TwResult{TWRC_SUCCESS, TWCC_SUCCESS}
                                : TwResult{TWRC_FAILURE, TWCC_LOWMEMORY};
    }
    if (cap == CCAP_VLM_YIELDPROC) {
        // 64-bit adaptation: the procedure address travels whole in a
        // TW_ONEVALUE_ADDRESS; a 32-bit item could not hold it.
        if (msg == MSG_SET) {
            CGlobalLock lock(static_cast<HGLOBAL>(pCap->hContainer));
            if (pCap->ConType != TWON_ONEVALUE || lock.Size() < sizeof(TW_ONEVALUE_ADDRESS))
                return {TWRC_FAILURE, TWCC_BADVALUE};
            TW_ONEVALUE_ADDRESS v;
            std::memcpy(&v, lock.Get(), sizeof(v));
            if (v.ItemType != TWTY_VLM_ADDRESS)
                return {TWRC_FAILURE, TWCC_BADVALUE};
            m_pfnYield = reinterpret_cast<VLMYIELDPROC>(v.Item);
            return {TWRC_SUCCESS, TWCC_SUCCESS};
        }
        if (msg == MSG_RESET)
            m_pfnYield = nullptr;
        CGlobalBlock block(sizeof(TW_ONEVALUE_ADDRESS));
        CGlobalLock lock(block.Get());
        if (!lock.Get())
            return {TWRC_FAILURE, TWCC_LOWMEMORY};
        TW_ONEVALUE_ADDRESS v{TWTY_VLM_ADDRESS,
                              msg == MSG_GETDEFAULT ? 0 : reinterpret_cast<uintptr_t>(m_pfnYield)};
        std::memcpy(lock.Get(), &v, sizeof(v));
        pCap->ConType = TWON_ONEVALUE;
        pCap->hContainer = block.Detach();
        return {TWRC_SUCCESS, TWCC_SUCCESS};
    }
    CapAnswer a;
    CapResult r{};
    if (msg == MSG_GET || msg == MSG_GETCURRENT || msg == MSG_GETDEFAULT) {
        r = model.Get(cap, msg, a);
        if (r.m_nRc == TWRC_SUCCESS && msg != MSG_GETDEFAULT) {
            // Values that come from the device or the batch.
            if (cap == CCAP_VLM_LASTPAGE_SIDE)
                a.m_items.at(0).m_dValue = m_nLastSide;
            if (cap == CAP_FEEDERLOADED) {
                vx410sim::DeviceState st;
                vx410sim::CSimDevice dev(vx410sim::ResolveStateFolder());
                a.m_items.at(0).m_dValue = dev.Read(st) && st.PaperPresent() ? 1 : 0;
            }
        }
    } else if (msg == MSG_SET) {
        CGlobalLock lock(static_cast<HGLOBAL>(pCap->hContainer));
        if (!lock.Get() || lock.Size() < 2)
            return {TWRC_FAILURE, TWCC_BADVALUE};
        const uint8_t* p = lock.Bytes();
        TW_UINT16 type;
        std::memcpy(&type, p, 2);
        const size_t item = TwainItemSize(type);
        size_t at = 0;
        if (item == 0)
            return {TWRC_FAILURE, TWCC_BADVALUE};
        if (pCap->ConType == TWON_ONEVALUE) {
            at = 2;
        } else if (pCap->ConType == TWON_ENUMERATION) {
            // The application's current item is the value to use.
            if (lock.Size() < offsetof(TW_ENUMERATION, ItemList))
                return {TWRC_FAILURE, TWCC_BADVALUE};
            TW_UINT32 n, cur;
            std::memcpy(&n, p + offsetof(TW_ENUMERATION, NumItems), 4);
            std::memcpy(&cur, p + offsetof(TW_ENUMERATION, CurrentIndex), 4);
            if (cur >= n)
                return {TWRC_FAILURE, TWCC_BADVALUE};
            at = offsetof(TW_ENUMERATION, ItemList) + size_t(cur) * item;
        } else if (pCap->ConType == TWON_RANGE) {
            at = offsetof(TW_RANGE, CurrentValue);
        } else {
            return {TWRC_FAILURE, TWCC_BADVALUE};
        }
        if (at + std::min<size_t>(item, 4) > lock.Size())
            return {TWRC_FAILURE, TWCC_BADVALUE};
        r = model.Set(cap, type, ReadItem(p + at, type, lock.Size() - at));
        if (r.m_nRc == TWRC_SUCCESS && cap == CCAP_VLM_LASTPAGE_SIDE)
            r = {TWRC_FAILURE, TWCC_CAPBADOPERATION};
        return {r.m_nRc, r.m_nCc};
    } else if (msg == MSG_RESET) {
        r = model.Reset(cap, a);
    } else {
        return {TWRC_FAILURE, TWCC_BADPROTOCOL};
    }
    if (r.m_nRc != TWRC_SUCCESS)
        return {r.m_nRc, r.m_nCc};
    pCap->ConType = a.m_nConType;
    pCap->hContainer = BuildContainer(a);
    if (!pCap->hContainer)
        return {TWRC_FAILURE, TWCC_LOWMEMORY};
    return {TWRC_SUCCESS, TWCC_SUCCESS};
}

TwResult CDataSource::Event(pTW_EVENT pEvent) {
    if (!pEvent || !pEvent->pEvent)
        return {TWRC_FAILURE, TWCC_BADVALUE};
    MSG* pMsg = static_cast<MSG*>(pEvent->pEvent);
    pEvent->TWMessage = MSG_NULL;
    if (pMsg->message == g_uEventMsg) {
        const TW_UINT16 twMsg = TW_UINT16(pMsg->wParam);
        // A ready event for a batch that was already ended is stale.
        if (twMsg == MSG_XFERREADY) {
            if (m_nState != 5)
                return {TWRC_DSEVENT, TWCC_SUCCESS};
            m_nState = 6;
        }
        pEvent->TWMessage = twMsg;
        return {TWRC_DSEVENT, TWCC_SUCCESS};
    }
    if (m_hDlg && ::IsDialogMessageA(m_hDlg, pMsg))
        return {TWRC_DSEVENT, TWCC_SUCCESS};
    return {TWRC_NOTDSEVENT, TWCC_SUCCESS};
}

TwResult CDataSource::UserInterface(TW_UINT16 msg, pTW_USERINTERFACE pUi) {
    if (!pUi)
        return {TWRC_FAILURE, TWCC_BADVALUE};
    switch (msg) {
    case MSG_ENABLEDS:
    case MSG_ENABLEDSUIONLY: {
        if (m_nState != 4)
            return {TWRC_FAILURE, TWCC_SEQERROR};
        m_hParent = static_cast<HWND>(pUi->hParent);
        m_dwAppThread = ::GetCurrentThreadId();
        m_bUiOnly = msg == MSG_ENABLEDSUIONLY;
        m_bShowUI = m_bUiOnly || pUi->ShowUI;
        m_nExtError = VLM_EXTERR_NONE;
        m_bBatchOver = false;
        m_nImagesDone = 0;
        m_nStopAfter = 0;
        m_bBackPending = false;
        m_nLastSide = 0;
        if (m_bShowUI) {
            m_nState = 5;
            ShowDialog(m_bUiOnly);
            return {TWRC_SUCCESS, TWCC_SUCCESS};
        }
        // Without a window the scan starts at once, and like the device an
        // empty feeder refuses it.
        vx410sim::DeviceState st;
        vx410sim::CSimDevice dev(vx410sim::ResolveStateFolder());
        std::string err;
        if (!dev.Read(st, &err))
            return {TWRC_FAILURE, TWCC_SUCCESS}; // extended error set by the caller
        if (!st.PaperPresent())
            return {TWRC_FAILURE, TWCC_SUCCESS};
        m_nState = 5;
        PostEvent(MSG_XFERREADY);
        return {TWRC_SUCCESS, TWCC_SUCCESS};
    }
    case MSG_DISABLEDS:
        if (m_nState != 5)
            return {TWRC_FAILURE, TWCC_SEQERROR};
        CloseDialog();
        m_nState = 4;
        return {TWRC_SUCCESS, TWCC_SUCCESS};
    }
    return {TWRC_FAILURE, TWCC_BADPROTOCOL};
}

TwResult CDataSource::Pending(TW_UINT16 msg, pTW_PENDINGXFERS p) {
    if (!p)
        return {TWRC_FAILURE, TWCC_BADVALUE};
    switch (msg) {
    case MSG_GET:
        if (m_nState < 4)
            return {TWRC_FAILURE, TWCC_SEQERROR};
        p->Count = PendingCount();
        p->EOJ = 0;
        return {TWRC_SUCCESS, TWCC_SUCCESS};
    case MSG_ENDXFER:
        if (m_nState != 6 && m_nState != 7)
            return {TWRC_FAILURE, TWCC_SEQERROR};
        if (m_nState == 6) // the application skips the image it was offered
            m_nImagesDone++;
        m_nState = 6;
        m_page = ScannedPage{};
        m_jpeg.clear();
        p->Count = PendingCount();
        p->EOJ = 0;
        if (p->Count == 0)
            m_nState = 5;
        return {TWRC_SUCCESS, TWCC_SUCCESS};
    case MSG_RESET:
        if (m_nState != 6)
            return {TWRC_FAILURE, TWCC_SEQERROR};
        EndBatch();
        p->Count = 0;
        p->EOJ = 0;
        m_nState = 5;
        return {TWRC_SUCCESS, TWCC_SUCCESS};
    case MSG_STOPFEEDER:
        if (m_nState != 6)
            return {TWRC_FAILURE, TWCC_SEQERROR};
        // The back side of a sheet already in the path is still delivered.
        if (m_bBackPending)
            m_nStopAfter = m_nImagesDone + 1;
        else
            EndBatch();
        p->Count = PendingCount();
        p->EOJ = 0;
        if (p->Count == 0)
            m_nState = 5;
        return {TWRC_SUCCESS, TWCC_SUCCESS};
    }
    return {TWRC_FAILURE, TWCC_BADPROTOCOL};
}

TwResult CDataSource::ImageInfo(pTW_IMAGEINFO p) {
    if (!p)
        return {TWRC_FAILURE, TWCC_BADVALUE};
    if (m_nState != 6 && m_nState != 7)
        return {TWRC_FAILURE, TWCC_SEQERROR};
    const std::string fault = SourceFault();
    if (fault == "imageinfo")
        return {TWRC_FAILURE, TWCC_BUMMER};
    const ScanFormat f = Format();
    std::memset(p, 0, sizeof(*p));
    p->XResolution = ToFix32(f.m_nXRes);
    p->YResolution = ToFix32(f.m_nYRes);
    p->ImageWidth = f.Width();
    p->ImageLength = f.Height();
    p->SamplesPerPixel = f.m_nPixelType == TWPT_RGB ? 3 : 1;
    for (int i = 0; i < p->SamplesPerPixel; ++i)
        p->BitsPerSample[i] = TW_INT16(f.BitsPerPixel() / p->SamplesPerPixel);
    p->BitsPerPixel = TW_INT16(f.BitsPerPixel());
    p->Planar = FALSE;
    p->PixelType = TW_INT16(f.m_nPixelType);
    p->Compression = m_settings.m_nXferMech == TWSX_MEMORY &&
                             m_settings.m_nCompression == TWCP_JPEG && f.m_nPixelType != TWPT_BW
                         ? TWCP_JPEG
                         : TWCP_NONE;
    if (fault == "zerowidth") {
        p->ImageWidth = 0;
    } else if (fault == "zerodepth") {
        p->BitsPerPixel = 0;
        std::memset(p->BitsPerSample, 0, sizeof p->BitsPerSample);
    } else if (fault == "hugepage") {
        p->ImageWidth = p->ImageLength = 0x3FFFFFFF; // no address space holds it
    }
    return {TWRC_SUCCESS, TWCC_SUCCESS};
}

TwResult CDataSource::ImageLayout(TW_UINT16 msg, pTW_IMAGELAYOUT p) {
    if (!p)
        return {TWRC_FAILURE, TWCC_BADVALUE};
    if (msg != MSG_GET && msg != MSG_GETDEFAULT)
        return {TWRC_FAILURE, TWCC_BADPROTOCOL}; // the frame follows the page size
    CDsSettings s = msg == MSG_GETDEFAULT ? CDsSettings{} : m_settings;
    double w, l;
    PageInches(s, w, l);
    std::memset(p, 0, sizeof(*p));
    p->Frame.Right = ToFix32(w);
    p->Frame.Bottom = ToFix32(l);
    p->DocumentNumber = 1;
    p->PageNumber = TW_UINT32(m_nImagesDone + 1);
    p->FrameNumber = 1;
    return {TWRC_SUCCESS, TWCC_SUCCESS};
}

TwResult CDataSource::SetupMem(pTW_SETUPMEMXFER p) {
    if (!p)
        return {TWRC_FAILURE, TWCC_BADVALUE};
    if (m_nState < 4)
        return {TWRC_FAILURE, TWCC_SEQERROR};
    const std::string fault = m_nState >= 6 ? SourceFault() : std::string();
    if (fault == "setupmem")
        return {TWRC_FAILURE, TWCC_BUMMER};
    const ScanFormat f = Format();
    const TW_UINT32 row = TW_UINT32((size_t(f.Width()) * f.BitsPerPixel() + 7) / 8);
    p->MinBufSize = row;
    p->Preferred = std::max<TW_UINT32>(row, 64 * 1024 / row * row);
    p->MaxBufSize = std::max<TW_UINT32>(row, 1024 * 1024 / row * row);
    if (fault == "hugebuffer")
        p->MinBufSize = p->Preferred = p->MaxBufSize = 0x7FFFFFF0;
    return {TWRC_SUCCESS, TWCC_SUCCESS};
}

TwResult CDataSource::NativeXfer(TW_HANDLE* pHandle) {
    if (!pHandle)
        return {TWRC_FAILURE, TWCC_BADVALUE};
    if (m_nState != 6)
        return {TWRC_FAILURE, TWCC_SEQERROR};
    *pHandle = nullptr;
    if (YieldCancels()) {
        EndBatch();
        m_nState = 7;
        m_nExtError = VLM_EXTERR_CANCELLED;
        return {TWRC_CANCEL, TWCC_VLM_EXTERROR};
    }
    const std::string fault = SourceFault();
    EndProcessIfAsked(fault);
    if (fault == "nativefail")
        return {TWRC_FAILURE, TWCC_BUMMER}; // the image stays offered (state 6)
    const TW_UINT32 err = TakeImage();
    if (err != VLM_EXTERR_NONE) {
        // A device fault ends the batch: the application sees the transfer
        // cancelled (state 7), reads the extended error and ends it.
        EndBatch();
        m_nState = 7;
        m_nExtError = err;
        return {TWRC_CANCEL, TWCC_VLM_EXTERROR};
    }
    const std::vector<uint8_t> dib = MakePackedDib(m_page, m_settings.m_nXRes, m_settings.m_nYRes);
    CGlobalBlock block(dib.size());
    {
        CGlobalLock lock(block.Get());
        if (!lock.Get())
            return {TWRC_FAILURE, TWCC_LOWMEMORY};
        std::memcpy(lock.Get(), dib.data(), dib.size());
    }
    *pHandle = block.Detach(); // the application owns it now
    m_nImagesDone++;
    m_nState = 7;
    return {TWRC_XFERDONE, TWCC_SUCCESS};
}

TwResult CDataSource::MemXfer(pTW_IMAGEMEMXFER p) {
    if (!p)
        return {TWRC_FAILURE, TWCC_BADVALUE};
    if (m_nState != 6 && m_nState != 7)
        return {TWRC_FAILURE, TWCC_SEQERROR};
    if (!(p->Memory.Flags & TWMF_APPOWNS) || !p->Memory.TheMem || p->Memory.Length == 0)
        return {TWRC_FAILURE, TWCC_BADVALUE};
    if (m_nState == 7 && m_page.m_data.empty())
        return {TWRC_FAILURE, TWCC_SEQERROR}; // this image is over; MSG_ENDXFER is due
    if (YieldCancels()) {
        EndBatch();
        m_nState = 7;
        m_page = ScannedPage{};
        m_nExtError = VLM_EXTERR_CANCELLED;
        return {TWRC_CANCEL, TWCC_VLM_EXTERROR};
    }
    if (m_nState == 6) {
        const TW_UINT32 err = TakeImage();
        if (err != VLM_EXTERR_NONE) {
            EndBatch();
            m_nState = 7;
            m_page = ScannedPage{};
            m_nExtError = err;
            return {TWRC_CANCEL, TWCC_VLM_EXTERROR};
        }
        m_nState = 7;
        m_nMemPos = 0;
        m_bCompressed = false;
        m_jpeg.clear();
#ifdef VX410DS_HAVE_JPEG
        if (m_settings.m_nCompression == TWCP_JPEG && m_page.m_nBitsPerPixel != 1) {
            vlm::jpeg::EncodeParams ep;
            ep.width = m_page.m_nWidth;
            ep.height = m_page.m_nHeight;
            ep.components = m_page.m_nBitsPerPixel == 24 ? 3 : 1;
            ep.rows = m_page.m_data.data();
            ep.stride = m_page.m_nRowBytes;
            ep.order = vlm::jpeg::PixelOrder::RGB;
            ep.quality = m_settings.m_nJpegQuality;
            ep.dpi = m_settings.m_nXRes;
            std::string jerr;
            if (!vlm::jpeg::Encode(ep, m_jpeg, &jerr)) {
                EndBatch();
                m_page = ScannedPage{};
                m_nExtError = VLM_EXTERR_HARDWARE;
                return {TWRC_CANCEL, TWCC_VLM_EXTERROR};
            }
            m_bCompressed = true;
        }
#endif
    }
    CGlobalLock handleLock(p->Memory.Flags & TWMF_HANDLE ? static_cast<HGLOBAL>(p->Memory.TheMem)
                                                         : nullptr);
    uint8_t* dst = p->Memory.Flags & TWMF_HANDLE ? handleLock.Bytes()
                                                 : static_cast<uint8_t*>(p->Memory.TheMem);
    if (!dst)
        return {TWRC_FAILURE, TWCC_BADVALUE};
    p->XOffset = 0;
    p->Columns = TW_UINT32(m_page.m_nWidth);
    // Read once per image, at its first strip.
    const std::string fault = m_nMemPos == 0 ? SourceFault() : std::string();
    EndProcessIfAsked(fault);
    const bool bHugeStrip = fault == "hugestrip";
    bool bLast;
    if (m_bCompressed) {
        const size_t n = std::min<size_t>(p->Memory.Length, m_jpeg.size() - m_nMemPos);
        std::memcpy(dst, m_jpeg.data() + m_nMemPos, n);
        m_nMemPos += n;
        p->Compression = TWCP_JPEG;
        p->BytesPerRow = 0;
        p->Rows = TW_UINT32(m_page.m_nHeight);
        p->YOffset = 0;
        p->BytesWritten = TW_UINT32(n);
        if (bHugeStrip)
            p->BytesWritten = 0x80000000u; // more than any buffer holds
        bLast = m_nMemPos >= m_jpeg.size();
    } else {
        const size_t rb = m_page.m_nRowBytes;
        const size_t rows = std::min<size_t>(p->Memory.Length / rb, m_page.m_nHeight - m_nMemPos);
        if (rows == 0)
            return {TWRC_FAILURE, TWCC_BADVALUE}; // buffer below one row
        std::memcpy(dst, m_page.m_data.data() + m_nMemPos * rb, rows * rb);
        p->Compression = TWCP_NONE;
        p->BytesPerRow = TW_UINT32(rb);
        p->Rows = TW_UINT32(rows);
        p->YOffset = TW_UINT32(m_nMemPos);
        p->BytesWritten = TW_UINT32(rows * rb);
        if (bHugeStrip)
            p->Rows = 0x80000000u; // negative as a signed count, and beyond the buffer
        m_nMemPos += rows;
        bLast = m_nMemPos >= size_t(m_page.m_nHeight);
    }
    if (!bLast)
        return {TWRC_SUCCESS, TWCC_SUCCESS};
    m_nImagesDone++;
    m_page = ScannedPage{};
    m_jpeg.clear();
    return {TWRC_XFERDONE, TWCC_SUCCESS};
}

// The barcodes of the image just transferred, in the entries the
// application asked for (TwInfoDataInItem says where each entry's data goes).
TwResult CDataSource::ExtImageInfo(pTW_EXTIMAGEINFO p) {
    if (!p)
        return {TWRC_FAILURE, TWCC_BADVALUE};
    if (m_nState != 7 || !m_settings.m_bExtImageInfo)
        return {TWRC_FAILURE, TWCC_SEQERROR};
    if (p->NumInfos > 100)
        return {TWRC_FAILURE, TWCC_BADVALUE};
    const TW_UINT16 count = TW_UINT16(m_barcodes.size());
    for (TW_UINT32 i = 0; i < p->NumInfos; ++i) {
        TW_INFO& e = p->Info[i];
        std::string data;
        auto put32 = [&](uint32_t v) { data.append(reinterpret_cast<const char*>(&v), 4); };
        e.ItemType = TWTY_UINT32;
        e.NumItems = count;
        switch (e.InfoID) {
        case TWEI_BARCODECOUNT:
            e.NumItems = 1;
            put32(count);
            break;
        case TWEI_BARCODETYPE:
            for (const auto& b : m_barcodes)
                put32(b.m_nType);
            break;
        case TWEI_BARCODETEXTLENGTH:
            for (const auto& b : m_barcodes)
                put32(uint32_t(b.m_strText.size()));
            break;
        case TWEI_BARCODETEXT:
            e.ItemType = TWTY_HANDLE;
            for (const auto& b : m_barcodes)
                data += b.m_strText;
            break;
        default:
            e.NumItems = 0;
            e.CondCode = TWRC_INFONOTSUPPORTED;
            e.Item = 0;
            continue;
        }
        e.CondCode = TWRC_SUCCESS;
        e.Item = 0;
        if (TwInfoDataInItem(e.NumItems, data.size())) {
            std::memcpy(&e.Item, data.data(), data.size());
            continue;
        }
        // Handed over: the application frees it.
        CGlobalBlock block(data.size());
        CGlobalLock lock(block.Get());
        if (!lock.Get())
            return {TWRC_FAILURE, TWCC_LOWMEMORY};
        std::memcpy(lock.Get(), data.data(), data.size());
        e.Item = reinterpret_cast<TW_UINTPTR>(block.Detach());
    }
    return {TWRC_SUCCESS, TWCC_SUCCESS};
}

TwResult CDataSource::VendorOp(pVendorOpRecord r) {
    if (!r)
        return {TWRC_FAILURE, TWCC_BADVALUE};
    auto result = [&](TW_INT32 v) {
        r->Result = v;
        return TwResult{TWRC_SUCCESS, TWCC_SUCCESS};
    };
    const char* a1 = reinterpret_cast<const char*>(r->Arg1);
    const char* a2 = reinterpret_cast<const char*>(r->Arg2);
    const TW_UINT16 item = TW_UINT16(r->Arg1 & 0xFFFF);
    switch (r->OpCode) {
    case VLMOP_GETERRORTEXT: {
        if (!a2)
            return result(TWCC_BADVALUE);
        // The caller's buffer holds 1012 bytes from this address.
        const char* text = ExtErrorText(TW_UINT32(r->Arg1));
        std::snprintf(reinterpret_cast<char*>(r->Arg2), 1012, "%s", text);
        return result(0);
    }
    case VLMOP_GETITEMVALUE: {
        if (!r->Arg2)
            return result(TWCC_BADVALUE);
        TW_INT32 v = 0;
        if (item == VLMITEM_EXTIMAGEINFO) {
            // Barcodes are read while the application asks for them.
            v = m_settings.m_bExtImageInfo ? 1 : 0;
        } else {
            auto it = m_items.find(item);
            if (it == m_items.end())
                return result(TWCC_BADVALUE);
            v = it->second;
        }
        std::memcpy(reinterpret_cast<void*>(r->Arg2), &v, sizeof(v));
        return result(0);
    }
    case VLMOP_GETITEMBYTES: {
        const size_t len = size_t(r->Arg1 >> 16) & 0xFFFF;
        auto it = m_itemText.find(item);
        if (!r->Arg2 || len == 0 || it == m_itemText.end())
            return result(TWCC_BADVALUE);
        char* out = reinterpret_cast<char*>(r->Arg2);
        const size_t n = std::min(len - 1, it->second.size());
        std::memcpy(out, it->second.data(), n);
        out[n] = 0;
        return result(0);
    }
    case VLMOP_SETITEMSTRING:
        if (!a2)
            return result(TWCC_BADVALUE);
        m_itemText[item] = std::string(a2, strnlen(a2, 2048));
        return result(0);
    case VLMOP_SETITEMVALUE:
        m_items[item] = TW_INT32(r->Arg2);
        return result(0);
    case VLMOP_RESET:
        if (m_nState != 4)
            return result(TWCC_SEQERROR);
        m_settings = CDsSettings{};
        return result(0);
    case VLMOP_SAVEPROFILE:
    case VLMOP_LOADPROFILE: {
        if (!a1 || !a2 || !*a1 || !*a2)
            return result(TWCC_BADVALUE);
        const std::string section(a1, strnlen(a1, 256));
        const std::string path(a2, strnlen(a2, MAX_PATH));
        std::string text;
        {
            std::ifstream in(path, std::ios::binary);
            if (in) {
                std::ostringstream ss;
                ss << in.rdbuf();
                text = ss.str();
            } else if (r->OpCode == VLMOP_LOADPROFILE) {
                return result(TWCC_FILENOTFOUND);
            }
        }
        if (r->OpCode == VLMOP_LOADPROFILE) {
            if (m_nState != 4)
                return result(TWCC_SEQERROR);
            std::string err;
            return result(LoadProfileText(text, section, m_settings, &err) ? 0 : TWCC_BADVALUE);
        }
        const std::string merged =
            MergeProfileSection(text, SaveProfileText(m_settings, section), section);
        // Written beside and renamed, so a failed write never leaves half a file.
        const std::string tmp = path + ".tmp";
        {
            std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
            if (!out || !out.write(merged.data(), std::streamsize(merged.size())))
                return result(TWCC_FILEWRITEERROR);
        }
        if (!::MoveFileExA(tmp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
            ::DeleteFileA(tmp.c_str());
            return result(TWCC_FILEWRITEERROR);
        }
        return result(0);
    }
    }
    return {TWRC_FAILURE, TWCC_BADPROTOCOL};
}

// ---- settings window --------------------------------------------------------

INT_PTR CALLBACK DialogThunk(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    return g_ds.DialogProc(hDlg, uMsg, wParam, lParam);
}

const char* const kImageTypes[] = {"Black and white", "8-bit grey", "24-bit colour"};

void CDataSource::ShowDialog(bool bUiOnly) {
    CloseDialog();
    m_hDlg = ::CreateDialogParamA(g_hInstance, MAKEINTRESOURCEA(IDD_VX410_SETTINGS), m_hParent,
                                  DialogThunk, 0);
    if (!m_hDlg)
        return;
    if (!bUiOnly)
        ::SetDlgItemTextA(m_hDlg, IDOK, "Scan");
    ::ShowWindow(m_hDlg, SW_SHOW);
}

void CDataSource::CloseDialog() {
    if (m_hDlg) {
        ::DestroyWindow(m_hDlg);
        m_hDlg = nullptr;
    }
}

void CDataSource::ApplyDialog(HWND hDlg) {
    const LRESULT type = ::SendDlgItemMessageA(hDlg, IDC_IMAGETYPE, CB_GETCURSEL, 0, 0);
    if (type >= 0 && type <= 2)
        m_settings.m_nPixelType = int(type);
    const LRESULT res = ::SendDlgItemMessageA(hDlg, IDC_RESOLUTION, CB_GETCURSEL, 0, 0);
    if (res >= 0 && size_t(res) < Resolutions().size())
        m_settings.m_nXRes = m_settings.m_nYRes = Resolutions()[size_t(res)];
    const LRESULT size = ::SendDlgItemMessageA(hDlg, IDC_PAGESIZE, CB_GETCURSEL, 0, 0);
    if (size >= 0 && size_t(size) < PageSizes().size())
        m_settings.m_nPageSize = PageSizes()[size_t(size)].m_nCode;
    m_settings.m_bDuplex = ::IsDlgButtonChecked(hDlg, IDC_DUPLEX) == BST_CHECKED;
}

INT_PTR CDataSource::DialogProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM) {
    switch (uMsg) {
    case WM_INITDIALOG: {
        for (const char* t : kImageTypes)
            ::SendDlgItemMessageA(hDlg, IDC_IMAGETYPE, CB_ADDSTRING, 0, (LPARAM)t);
        ::SendDlgItemMessageA(hDlg, IDC_IMAGETYPE, CB_SETCURSEL, m_settings.m_nPixelType, 0);
        for (size_t i = 0; i < Resolutions().size(); ++i) {
            const std::string t = std::to_string(Resolutions()[i]) + " dpi";
            ::SendDlgItemMessageA(hDlg, IDC_RESOLUTION, CB_ADDSTRING, 0, (LPARAM)t.c_str());
            if (Resolutions()[i] == m_settings.m_nXRes)
                ::SendDlgItemMessageA(hDlg, IDC_RESOLUTION, CB_SETCURSEL, i, 0);
        }
        for (size_t i = 0; i < PageSizes().size(); ++i) {
            ::SendDlgItemMessageA(hDlg, IDC_PAGESIZE, CB_ADDSTRING, 0,
                                  (LPARAM)PageSizes()[i].m_pszProfileName);
            if (PageSizes()[i].m_nCode == m_settings.m_nPageSize)
                ::SendDlgItemMessageA(hDlg, IDC_PAGESIZE, CB_SETCURSEL, i, 0);
        }
        ::CheckDlgButton(hDlg, IDC_DUPLEX, m_settings.m_bDuplex ? BST_CHECKED : BST_UNCHECKED);
        // CCAP_VLM_DISABLEITEM bits: 1 image type, 2 resolution, 4 page size.
        ::EnableWindow(::GetDlgItem(hDlg, IDC_IMAGETYPE), !(m_settings.m_nDisableItem & 1));
        ::EnableWindow(::GetDlgItem(hDlg, IDC_RESOLUTION), !(m_settings.m_nDisableItem & 2));
        ::EnableWindow(::GetDlgItem(hDlg, IDC_PAGESIZE), !(m_settings.m_nDisableItem & 4));
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            ApplyDialog(hDlg);
            ::ShowWindow(hDlg, SW_HIDE);
            // Settings only: the application closes us; with a scan the
            // batch starts now.
            PostEvent(m_bUiOnly ? MSG_CLOSEDSOK : MSG_XFERREADY);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            ::ShowWindow(hDlg, SW_HIDE);
            PostEvent(MSG_CLOSEDSREQ);
            return TRUE;
        }
        break;
    case WM_CLOSE:
        ::ShowWindow(hDlg, SW_HIDE);
        PostEvent(MSG_CLOSEDSREQ);
        return TRUE;
    }
    return FALSE;
}

// ---- entry ------------------------------------------------------------------

TW_UINT16 CDataSource::Entry(pTW_IDENTITY pOrigin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                             TW_MEMREF pData) {
    if (dg == DG_CONTROL && dat == DAT_STATUS) {
        auto* st = static_cast<pTW_STATUS>(pData);
        if (!st)
            return TWRC_FAILURE;
        st->ConditionCode = m_nCondition;
        st->Reserved = 0;
        m_nCondition = TWCC_SUCCESS;
        return TWRC_SUCCESS;
    }
    if (dg == DG_CONTROL && dat == DAT_IDENTITY)
        return Finish(Identity(msg, pOrigin, static_cast<pTW_IDENTITY>(pData)));
    if (m_nState < 4)
        return Finish({TWRC_FAILURE, TWCC_SEQERROR});
    if (dg == DG_CONTROL) {
        switch (dat) {
        case DAT_CAPABILITY:
            return Finish(Capability(msg, static_cast<pTW_CAPABILITY>(pData)));
        case DAT_EVENT:
            if (msg != MSG_PROCESSEVENT)
                return Finish({TWRC_FAILURE, TWCC_BADPROTOCOL});
            {
                TwResult r = Event(static_cast<pTW_EVENT>(pData));
                m_nCondition = r.m_nCc;
                return r.m_nRc;
            }
        case DAT_USERINTERFACE: {
            TwResult r = UserInterface(msg, static_cast<pTW_USERINTERFACE>(pData));
            if (r.m_nRc == TWRC_FAILURE && r.m_nCc == TWCC_SUCCESS) {
                // Enabling without paper or device: report it the device's way.
                vx410sim::DeviceState st;
                vx410sim::CSimDevice dev(vx410sim::ResolveStateFolder());
                const bool bRead = dev.Read(st);
                TW_UINT32 ext = !bRead            ? VLM_EXTERR_NOTREADY
                                : st.m_bCoverOpen ? VLM_EXTERR_COVEROPEN
                                                  : VLM_EXTERR_NOPAPER;
                return Finish({TWRC_FAILURE, TWCC_OPERATIONERROR}, ext);
            }
            return Finish(r);
        }
        case DAT_PENDINGXFERS:
            return Finish(Pending(msg, static_cast<pTW_PENDINGXFERS>(pData)));
        case DAT_SETUPMEMXFER:
            if (msg != MSG_GET)
                return Finish({TWRC_FAILURE, TWCC_BADPROTOCOL});
            return Finish(SetupMem(static_cast<pTW_SETUPMEMXFER>(pData)));
        case DAT_XFERGROUP:
            if (msg != MSG_GET || !pData)
                return Finish({TWRC_FAILURE, TWCC_BADPROTOCOL});
            *static_cast<pTW_UINT32>(pData) = DG_IMAGE;
            return Finish({TWRC_SUCCESS, TWCC_SUCCESS});
        case DAT_VLM_VENDOROP:
            if (msg != MSG_VLM_VENDOROP)
                return Finish({TWRC_FAILURE, TWCC_BADPROTOCOL});
            return Finish(VendorOp(static_cast<pVendorOpRecord>(pData)));
        case DAT_VLM_EXTERROR:
            if (msg != MSG_GET || !pData)
                return Finish({TWRC_FAILURE, TWCC_BADPROTOCOL});
            // Reading leaves the error in place until the next enable.
            *static_cast<pTW_UINT32>(pData) = m_nExtError;
            m_nCondition = TWCC_SUCCESS;
            return TWRC_SUCCESS;
        }
        return Finish({TWRC_FAILURE, TWCC_BADPROTOCOL});
    }
    if (dg == DG_IMAGE) {
        switch (dat) {
        case DAT_IMAGEINFO:
            return Finish(ImageInfo(static_cast<pTW_IMAGEINFO>(pData)));
        case DAT_IMAGELAYOUT:
            return Finish(ImageLayout(msg, static_cast<pTW_IMAGELAYOUT>(pData)));
        case DAT_IMAGENATIVEXFER:
            if (msg != MSG_GET)
                return Finish({TWRC_FAILURE, TWCC_BADPROTOCOL});
            if (m_settings.m_nXferMech != TWSX_NATIVE)
                return Finish({TWRC_FAILURE, TWCC_SEQERROR});
            return Finish(NativeXfer(static_cast<TW_HANDLE*>(pData)));
        case DAT_IMAGEMEMXFER:
            if (msg != MSG_GET)
                return Finish({TWRC_FAILURE, TWCC_BADPROTOCOL});
            if (m_settings.m_nXferMech != TWSX_MEMORY)
                return Finish({TWRC_FAILURE, TWCC_SEQERROR});
            return Finish(MemXfer(static_cast<pTW_IMAGEMEMXFER>(pData)));
        case DAT_EXTIMAGEINFO:
            if (msg != MSG_GET)
                return Finish({TWRC_FAILURE, TWCC_BADPROTOCOL});
            return Finish(ExtImageInfo(static_cast<pTW_EXTIMAGEINFO>(pData)));
        }
    }
    return Finish({TWRC_FAILURE, TWCC_BADPROTOCOL});
}

} // namespace
} // namespace vx410ds

extern "C" TW_UINT16 WINAPI DS_Entry(pTW_IDENTITY pOrigin, TW_UINT32 dg, TW_UINT16 dat,
                                     TW_UINT16 msg, TW_MEMREF pData) {
    return vx410ds::g_ds.Entry(pOrigin, dg, dat, msg, pData);
}

BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        vx410ds::g_hInstance = hInstance;
        ::DisableThreadLibraryCalls(hInstance);
    }
    return TRUE;
}
