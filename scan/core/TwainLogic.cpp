#include "TwainLogic.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace vlmscan {

const char* StateName(int nState) {
    static const char* const kNames[] = {
        "1(PRE_SESSION)",    "2(SOURCE_MANAGER_LOADED)", "3(SOURCE_MANAGER_OPEN)", "4(SOURCE_OPEN)",
        "5(SOURCE_ENABLED)", "6(TRANSFER_READY)",        "7(TRANSFERRING)"};
    if (nState < 1 || nState > 7)
        return nullptr;
    return kNames[nState - 1];
}

std::string ReturnCodeName(unsigned rc) {
    static const char* const kNames[] = {"TWRC_SUCCESS",  "TWRC_FAILURE",  "TWRC_CHECKSTATUS",
                                         "TWRC_CANCEL",   "TWRC_DSEVENT",  "TWRC_NOTDSEVENT",
                                         "TWRC_XFERDONE", "TWRC_ENDOFLIST"};
    if (rc < 8)
        return kNames[rc];
    return "<bad rc:" + std::to_string(rc) + ">";
}

std::string ConditionCodeName(unsigned cc) {
    static const char* const kNames[] = {"TWCC_SUCCESS",
                                         "TWCC_BUMMER",
                                         "TWCC_LOWMEMORY",
                                         "TWCC_NODS",
                                         "TWCC_MAXCONNECTIONS",
                                         "TWCC_OPERATIONERROR",
                                         "TWCC_BADCAP",
                                         nullptr,
                                         nullptr,
                                         "TWCC_BADPROTOCOL",
                                         "TWCC_BADVALUE",
                                         "TWCC_SEQERROR",
                                         "TWCC_BADDEST",
                                         "TWCC_CAPUNSUPPORTED",
                                         "TWCC_CAPBADOPERATION",
                                         "TWCC_CAPSEQERROR"};
    if (cc < 16 && kNames[cc])
        return kNames[cc];
    return "<bad cc:" + std::to_string(cc) + ">";
}

namespace {
struct SName {
    unsigned n;
    const char* name;
};
// A row of a name table: the TWAIN header's number and its own name.
#define N(x)                                                                                       \
    { x, #x }
template <size_t N> const char* Find(const SName (&table)[N], unsigned n) {
    for (const SName& e : table)
        if (e.n == n)
            return e.name;
    return nullptr;
}
} // namespace

std::string DatName(unsigned dat) {
    static const SName kTable[] = {N(DAT_NULL),
                                   N(DAT_CAPABILITY),
                                   N(DAT_EVENT),
                                   N(DAT_IDENTITY),
                                   N(DAT_PARENT),
                                   N(DAT_PENDINGXFERS),
                                   N(DAT_SETUPMEMXFER),
                                   N(DAT_SETUPFILEXFER),
                                   N(DAT_STATUS),
                                   N(DAT_USERINTERFACE),
                                   N(DAT_XFERGROUP),
                                   N(DAT_TWUNKIDENTITY),
                                   N(DAT_CUSTOMDSDATA),
                                   N(DAT_DEVICEEVENT),
                                   N(DAT_FILESYSTEM),
                                   N(DAT_PASSTHRU),
                                   N(DAT_IMAGEINFO),
                                   N(DAT_IMAGELAYOUT),
                                   N(DAT_IMAGEMEMXFER),
                                   N(DAT_IMAGENATIVEXFER),
                                   N(DAT_IMAGEFILEXFER),
                                   N(DAT_CIECOLOR),
                                   N(DAT_GRAYRESPONSE),
                                   N(DAT_RGBRESPONSE),
                                   N(DAT_JPEGCOMPRESSION),
                                   N(DAT_PALETTE8),
                                   N(DAT_EXTIMAGEINFO),
                                   N(DAT_AUDIOFILEXFER),
                                   N(DAT_AUDIOINFO),
                                   N(DAT_AUDIONATIVEXFER)};
    const char* p = Find(kTable, dat);
    return p ? p : std::to_string(dat);
}

std::string MsgName(unsigned msg) {
    static const SName kTable[] = {N(MSG_NULL),         N(MSG_GET),
                                   N(MSG_GETCURRENT),   N(MSG_GETDEFAULT),
                                   N(MSG_GETFIRST),     N(MSG_GETNEXT),
                                   N(MSG_SET),          N(MSG_RESET),
                                   N(MSG_QUERYSUPPORT), N(MSG_XFERREADY),
                                   N(MSG_CLOSEDSREQ),   N(MSG_CLOSEDSOK),
                                   N(MSG_DEVICEEVENT),  N(MSG_CHECKSTATUS),
                                   N(MSG_OPENDSM),      N(MSG_CLOSEDSM),
                                   N(MSG_OPENDS),       N(MSG_CLOSEDS),
                                   N(MSG_USERSELECT),   N(MSG_DISABLEDS),
                                   N(MSG_ENABLEDS),     N(MSG_ENABLEDSUIONLY),
                                   N(MSG_PROCESSEVENT), N(MSG_ENDXFER),
                                   N(MSG_STOPFEEDER)};
    const char* p = Find(kTable, msg);
    return p ? p : std::to_string(msg);
}

std::string CapName(unsigned cap) {
    static const SName kTable[] = {
        N(CAP_XFERCOUNT), N(ICAP_COMPRESSION), N(ICAP_PIXELTYPE), N(ICAP_UNITS), N(ICAP_XFERMECH),
        N(CAP_AUTHOR), N(CAP_CAPTION), N(CAP_FEEDERENABLED), N(CAP_FEEDERLOADED), N(CAP_TIMEDATE),
        N(CAP_SUPPORTEDCAPS), N(CAP_EXTENDEDCAPS), N(CAP_AUTOFEED), N(CAP_CLEARPAGE),
        N(CAP_FEEDPAGE), N(CAP_REWINDPAGE), N(CAP_INDICATORS), N(CAP_SUPPORTEDCAPSEXT),
        N(CAP_PAPERDETECTABLE), N(CAP_UICONTROLLABLE), N(CAP_DEVICEONLINE), N(CAP_AUTOSCAN),
        N(CAP_THUMBNAILSENABLED), N(CAP_DUPLEX), N(CAP_DUPLEXENABLED), N(CAP_ENABLEDSUIONLY),
        N(CAP_CUSTOMDSDATA), N(CAP_ENDORSER), N(CAP_JOBCONTROL), N(ICAP_AUTOBRIGHT),
        N(ICAP_BRIGHTNESS), N(ICAP_CONTRAST), N(ICAP_CUSTHALFTONE), N(ICAP_EXPOSURETIME),
        N(ICAP_FILTER), N(ICAP_FLASHUSED), N(ICAP_GAMMA), N(ICAP_HALFTONES), N(ICAP_HIGHLIGHT),
        N(ICAP_IMAGEFILEFORMAT), N(ICAP_LAMPSTATE), N(ICAP_LIGHTSOURCE), N(ICAP_ORIENTATION),
        N(ICAP_PHYSICALWIDTH), N(ICAP_PHYSICALHEIGHT), N(ICAP_SHADOW), N(ICAP_FRAMES),
        N(ICAP_XNATIVERESOLUTION), N(ICAP_YNATIVERESOLUTION), N(ICAP_XRESOLUTION),
        N(ICAP_YRESOLUTION), N(ICAP_MAXFRAMES), N(ICAP_TILES), N(ICAP_BITORDER),
        N(ICAP_CCITTKFACTOR), N(ICAP_LIGHTPATH), N(ICAP_PIXELFLAVOR), N(ICAP_PLANARCHUNKY),
        N(ICAP_ROTATION), N(ICAP_SUPPORTEDSIZES), N(ICAP_THRESHOLD), N(ICAP_XSCALING),
        N(ICAP_YSCALING), N(ICAP_BITORDERCODES), N(ICAP_PIXELFLAVORCODES), N(ICAP_JPEGPIXELTYPE),
        N(ICAP_TIMEFILL), N(ICAP_BITDEPTH), N(ICAP_BITDEPTHREDUCTION), N(ICAP_UNDEFINEDIMAGESIZE),
        N(ICAP_IMAGEDATASET), N(ICAP_EXTIMAGEINFO), N(ICAP_MINIMUMHEIGHT), N(ICAP_MINIMUMWIDTH),
        N(ICAP_JPEGQUALITY),
        // The model's own capabilities.
        N(CCAP_VLM_DETECTPAGESIZE), N(CCAP_VLM_BLANKSKIP), N(CCAP_VLM_BLANKSKIPSLICE),
        N(CCAP_VLM_MANUALFEED), N(CCAP_VLM_AUTOSTARTDELAY), N(CCAP_VLM_SCANSPEED),
        N(CCAP_VLM_MARGIN), N(CCAP_VLM_MARGINLENGTH), N(CCAP_VLM_DROPOUT), N(CCAP_VLM_EDGEEMPHASIS),
        N(CCAP_VLM_DETECTJOBSEPTYPE), N(CCAP_VLM_NOISEFILTER), N(CCAP_VLM_NOTCHFILTER),
        N(CCAP_VLM_DESKEW), N(CCAP_VLM_REVERSESCANTYPE), N(CCAP_VLM_AUTOJOBSEP),
        N(CCAP_VLM_SCANMODE), N(CCAP_VLM_EDGEEMPHASISENABLED), N(CCAP_VLM_LASTERROR),
        N(CCAP_VLM_JOBSEPDETECTED), N(CCAP_VLM_AEADJUSTMENT), N(CCAP_VLM_PANELTYPE),
        N(CCAP_VLM_PANELMODE), N(CCAP_VLM_PRESCANMODE), N(CCAP_VLM_PRESCAN),
        N(CCAP_VLM_NOPAGETIMEOUT), N(CCAP_VLM_BLANKSKIPSLICE2), N(CCAP_VLM_PATCHCODEENABLE),
        N(CCAP_VLM_PATCHORIENTATION), N(CCAP_VLM_BATCHNUM), N(CCAP_VLM_FILENUM),
        N(CCAP_VLM_PAGENUM), N(CCAP_VLM_FILMUSE), N(CCAP_VLM_FILMADDRESSMODE),
        N(CCAP_VLM_FILMPARAMS), N(CCAP_VLM_CARTRIDGENUM), N(CCAP_VLM_DETECTPATCHTYPE),
        N(CCAP_VLM_CROPDETECT), N(CCAP_VLM_CROPMETHOD), N(CCAP_VLM_PRINTCOUNT),
        N(CCAP_VLM_OPTIONUNIT), N(CCAP_VLM_TEXTENHANCE), N(CCAP_VLM_SCANNERBUTTON),
        N(CCAP_VLM_MEDIANFILTER), N(CCAP_VLM_NEGAPOSI), N(CCAP_VLM_BORDERMODE), N(CCAP_VLM_WINDOW),
        N(CCAP_VLM_WINDOWCOUNTFRONT), N(CCAP_VLM_WINDOWCOUNTBACK), N(CCAP_VLM_AREA_XPOSITION),
        N(CCAP_VLM_AREA_YPOSITION), N(CCAP_VLM_PAGESIZE_LEGAL), N(CCAP_VLM_PAGESIZE_ROTATED),
        N(CCAP_VLM_TEXTENHANCE_MODE), N(CCAP_VLM_FEEDER_AUTO), N(CCAP_VLM_FEEDERMAXWIDTH),
        N(CCAP_VLM_FEEDERMAXLENGTH), N(CCAP_VLM_YIELDPROC), N(CCAP_VLM_DOCUMENT_PLACE),
        N(CCAP_VLM_LASTPAGE_SIDE), N(CCAP_VLM_DISABLEITEM)};
    const char* p = Find(kTable, cap);
    return p ? p : std::to_string(cap);
}

#undef N

SStateStep NextState(int nState, const STriplet& t) {
    SStateStep s{nState, t.RC == TWRC_SUCCESS, false, false, false};
    if (t.DG == DG_CONTROL && t.DAT == DAT_EVENT && t.MSG == MSG_PROCESSEVENT) {
        // The source answers TWRC_DSEVENT for its own events.
        if (t.RC == TWRC_DSEVENT || t.RC == TWRC_SUCCESS) {
            if (t.EventMessage == MSG_XFERREADY)
                s.nState = 6;
            else if (t.EventMessage == MSG_CLOSEDSREQ || t.EventMessage == MSG_CLOSEDSOK)
                s.nState = 5;
        }
        return s;
    }
    if (t.DG == DG_CONTROL && t.DAT == DAT_PENDINGXFERS) {
        if (t.MSG == MSG_RESET) {
            if (s.bSuccess)
                s.nState = 5;
            else
                s.bError = true;
        } else if (t.MSG == MSG_ENDXFER) {
            if (s.bSuccess) {
                s.nState = t.PendingCount != 0 ? 6 : 5;
            } else {
                s.bError = true;
                if (nState == 6 || nState == 7)
                    s.nState = 5;
            }
        }
        return s;
    }
    if (t.DG == DG_CONTROL && t.DAT == DAT_USERINTERFACE) {
        if (t.MSG == MSG_DISABLEDS) {
            if (s.bSuccess) {
                s.nState = 4;
            } else {
                s.bError = true;
                if (t.bCloseRequested && t.CC == TWCC_SEQERROR) {
                    s.nState = 4;
                    s.bClearCloseRequested = true;
                }
            }
        } else if (t.MSG == MSG_ENABLEDS) {
            if (t.RC == TWRC_SUCCESS || t.RC == TWRC_CHECKSTATUS) {
                s.bSuccess = true;
                s.nState = 5;
            } else {
                s.bError = true;
            }
        }
        return s;
    }
    if (t.DG == DG_CONTROL && t.DAT == DAT_IDENTITY) {
        if (t.MSG == MSG_CLOSEDS || t.MSG == MSG_OPENDS) {
            if (s.bSuccess)
                s.nState = t.MSG == MSG_CLOSEDS ? 3 : 4;
            else
                s.bError = true;
        }
        return s;
    }
    if (t.DG == DG_CONTROL && t.DAT == DAT_PARENT) {
        if (s.bSuccess && t.MSG == MSG_OPENDSM)
            s.nState = 3;
        else if (s.bSuccess && t.MSG == MSG_CLOSEDSM)
            s.nState = 2;
        else if (!s.bSuccess)
            s.bError = true;
        return s;
    }
    if (t.DG == DG_IMAGE && t.MSG == MSG_GET &&
        (t.DAT == DAT_IMAGEMEMXFER || t.DAT == DAT_IMAGENATIVEXFER || t.DAT == DAT_IMAGEFILEXFER)) {
        if (t.RC == TWRC_SUCCESS || t.RC == TWRC_XFERDONE) {
            s.bSuccess = true;
            s.nState = 7;
        } else if (t.RC == TWRC_CANCEL) {
            s.nState = 7;
            s.bError = true;
            s.bFetchExtendedError = true;
        } else {
            s.bError = true;
        }
        return s;
    }
    return s;
}

namespace {
// One little-endian value of type T at p (any alignment).
template <class T> T Load(const uint8_t* p) {
    T v;
    memcpy(&v, p, sizeof v);
    return v;
}
} // namespace

double ItemAsReal(unsigned itemType, const uint8_t* p) {
    switch (itemType) {
    case TWTY_INT8:
        return Load<int8_t>(p);
    case TWTY_UINT8:
        return Load<uint8_t>(p);
    case TWTY_INT16:
        return Load<int16_t>(p);
    case TWTY_UINT16:
    case TWTY_BOOL:
        return Load<uint16_t>(p);
    case TWTY_INT32:
        return Load<int32_t>(p);
    case TWTY_UINT32:
        return Load<uint32_t>(p);
    case TWTY_FIX32:
        return FromFix32(UnpackFix32(Load<uint32_t>(p)));
    default:
        return 0;
    }
}

bool ReadCurrentItem(const uint8_t* p, size_t cb, unsigned conType, unsigned itemType, void* pOut) {
    const size_t size = TwainItemSize(itemType);
    if (!p || !pOut || size == 0)
        return false;
    if (conType == TWON_ONEVALUE) {
        // A string item follows the item type directly, whatever TW_ONEVALUE says.
        const size_t at = offsetof(TW_ONEVALUE, Item);
        if (cb < at + size)
            return false;
        memcpy(pOut, p + at, size);
        return true;
    }
    if (conType == TWON_ENUMERATION) {
        const size_t head = offsetof(TW_ENUMERATION, ItemList);
        if (cb < head)
            return false;
        const TW_ENUMERATION* e = reinterpret_cast<const TW_ENUMERATION*>(p);
        const size_t isz = TwainItemSize(e->ItemType);
        if (isz == 0 || e->CurrentIndex >= e->NumItems ||
            head + (uint64_t(e->CurrentIndex) + 1) * isz > cb)
            return false;
        memcpy(pOut, p + head + size_t(e->CurrentIndex) * isz, std::min(isz, size));
        return true;
    }
    if (conType == TWON_RANGE) {
        if (cb < sizeof(TW_RANGE))
            return false;
        memcpy(pOut, p + offsetof(TW_RANGE, CurrentValue), std::min<size_t>(size, 4));
        return true;
    }
    return false;
}

int ReadCapValues(const uint8_t* p, size_t cb, unsigned conType, SCapValues* pOut) {
    *pOut = SCapValues();
    if (!p)
        return 0;
    if (conType == TWON_ENUMERATION) {
        const size_t head = offsetof(TW_ENUMERATION, ItemList);
        if (cb < head)
            return 0;
        const TW_ENUMERATION* e = reinterpret_cast<const TW_ENUMERATION*>(p);
        const size_t isz = TwainItemSize(e->ItemType);
        if (isz == 0 || e->CurrentIndex >= e->NumItems || head + uint64_t(e->NumItems) * isz > cb)
            return 0;
        pOut->nConType = TWON_ENUMERATION;
        pOut->nItemType = e->ItemType;
        pOut->nCurrentIndex = static_cast<int>(e->CurrentIndex);
        pOut->nDefaultIndex = static_cast<int>(e->DefaultIndex);
        const bool bText = e->ItemType >= TWTY_STR32 && e->ItemType <= TWTY_STR255;
        for (uint32_t i = 0; i < e->NumItems; ++i) {
            const uint8_t* item = p + head + size_t(i) * isz;
            if (bText)
                pOut->Strings.emplace_back(reinterpret_cast<const char*>(item),
                                           strnlen(reinterpret_cast<const char*>(item), isz));
            else
                pOut->Items.push_back(ItemAsReal(e->ItemType, item));
        }
        return TWON_ENUMERATION;
    }
    if (conType == TWON_RANGE) {
        if (cb < sizeof(TW_RANGE))
            return 0;
        const TW_RANGE* r = reinterpret_cast<const TW_RANGE*>(p);
        auto real = [&](size_t at) { return ItemAsReal(r->ItemType, p + at); };
        pOut->nConType = TWON_RANGE;
        pOut->nItemType = r->ItemType;
        pOut->dMin = real(offsetof(TW_RANGE, MinValue));
        pOut->dMax = real(offsetof(TW_RANGE, MaxValue));
        pOut->dStep = real(offsetof(TW_RANGE, StepSize));
        pOut->dCurrent = real(offsetof(TW_RANGE, CurrentValue));
        return TWON_RANGE;
    }
    if (conType == TWON_ONEVALUE && cb >= sizeof(TW_ONEVALUE)) {
        const TW_ONEVALUE* one = reinterpret_cast<const TW_ONEVALUE*>(p);
        pOut->nConType = TWON_ONEVALUE;
        pOut->nItemType = one->ItemType;
        pOut->dCurrent = ItemAsReal(one->ItemType, p + offsetof(TW_ONEVALUE, Item));
    }
    return 0;
}

SFix32 ToFix32(double v) {
    // Half away from zero at 1/65536; the whole part is the floor.
    double scaled = v * 65536.0;
    long long n = static_cast<long long>(scaled < 0 ? scaled - 0.5 : scaled + 0.5);
    return SFix32{static_cast<int16_t>(n >> 16), static_cast<uint16_t>(n & 0xFFFF)};
}

double FromFix32(SFix32 f) {
    return f.Whole + f.Frac / 65536.0;
}

std::vector<uint16_t> ResolutionsFromRange(int nMin, int nMax) {
    std::vector<uint16_t> out;
    if (nMin <= 0 || nMax < nMin || nMax > 0xFFFF)
        return out;
    int v = nMin;
    for (; v < nMax; v += 50)
        out.push_back(static_cast<uint16_t>(v));
    if (v <= 0xFFFF)
        out.push_back(static_cast<uint16_t>(v));
    return out;
}

int IndexOf(const std::vector<uint16_t>& list, int nValue) {
    for (size_t i = 0; i < list.size(); ++i)
        if (list[i] == nValue)
            return static_cast<int>(i);
    return 0;
}

bool DropOutToPair(int nCode, int* pDropOut, int* pEnhance) {
    static const int kPairs[7][2] = {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {0, 1}, {0, 2}, {0, 3}};
    if (nCode < 0 || nCode > 6) {
        *pDropOut = 0;
        *pEnhance = 0;
        return false;
    }
    *pDropOut = kPairs[nCode][0];
    *pEnhance = kPairs[nCode][1];
    return true;
}

int DropOutFromPair(int nDropOut, int nEnhance, bool* pValid) {
    *pValid = true;
    if (nDropOut != 0)
        return nDropOut;
    if (nEnhance == 0)
        return 0;
    if (nEnhance >= 1 && nEnhance <= 3)
        return nEnhance + 3;
    *pValid = false;
    return nEnhance;
}

SImageTypeSetting ImageTypeSetting(int nCode) {
    if (nCode == kImageGray)
        return {kPixelGray, 8, -1, 0};
    if (nCode == kImageColor)
        return {kPixelRGB, 24, -1, 0};
    if (nCode == kImageBW)
        return {kPixelBW, 0, 0, 0};
    if (nCode >= 1101 && nCode <= 1109)
        return {kPixelBW, 0, 0, nCode - 1100};
    if (nCode == 1110 || nCode == 1111)
        return {kPixelBW, 0, 1, 0};
    return {kPixelBW, 0, -1, 0};
}

int ImageTypeCode(int nPixelType, bool bTextEnhance, int nTextEnhanceMode, int nHalftoneIndex) {
    if (nPixelType == kPixelGray)
        return kImageGray;
    if (nPixelType == kPixelRGB)
        return kImageColor;
    if (bTextEnhance)
        return 1110 + nTextEnhanceMode;
    if (nHalftoneIndex > 0 && nHalftoneIndex <= 9)
        return 1100 + nHalftoneIndex;
    return kImageBW;
}

int FeederCode(const SFeederState& s) {
    if (s.bBlankSkipReadable && s.nBlankSkip != 0)
        return 8;
    if (!s.bDocPlaceReadable)
        return s.bFeederAutoReadable ? 4 : 0;
    switch (s.nDocPlace) {
    case 2:
        return (s.bDuplexOn || !s.bFeederEnabledCurrent) ? 1 : 0;
    case 1:
        return 2;
    case 0:
        return 4;
    default:
        return 0;
    }
}

std::vector<uint16_t> FeederList(const SFeederOffer& o) {
    std::vector<bool> items = o.FeederEnabledItems;
    if (items.empty())
        items.push_back(true); // a source without the capability feeds from its feeder
    bool anyTrue = false, anyFalse = false;
    for (bool b : items)
        (b ? anyTrue : anyFalse) = true;
    std::vector<uint16_t> out;
    if (anyTrue)
        out.push_back(0);
    if (anyTrue && o.bDuplex)
        out.push_back(1);
    if (anyFalse)
        out.push_back(2);
    if (items.size() > 1 && o.bFeederAutoReadable)
        out.push_back(4);
    if (o.bBlankSkipReadable)
        out.push_back(8);
    return out;
}

void PrepareExtendedErrorBuffer(char (&buf)[1024], uint32_t code) {
    memset(buf, 0, sizeof buf);
    snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(code));
    memset(buf + 10, ' ', 6);
}

std::string DriverDisplayName(const std::string& strProduct) {
    std::string s = strProduct;
    for (const char* word : {"Velmora", "TWAIN"}) {
        size_t pos;
        while ((pos = s.find(word)) != std::string::npos)
            s.replace(pos, strlen(word), " ");
    }
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return std::string();
    size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

bool ProductNameEquals(const char* a, const char* b) {
    if (!a || !b)
        return false;
    for (; *a && *b; ++a, ++b)
        if (tolower(static_cast<unsigned char>(*a)) != tolower(static_cast<unsigned char>(*b)))
            return false;
    return *a == *b;
}

} // namespace vlmscan
