#include "dssettings.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace vx410ds {

// TWQC_ flags (MSG_QUERYSUPPORT answers).
constexpr TW_INT32 kQcGet = 0x0001, kQcSet = 0x0002, kQcGetDefault = 0x0004, kQcGetCurrent = 0x0008,
                   kQcReset = 0x0010;

const std::vector<PageSizeInfo>& PageSizes() {
    static const std::vector<PageSizeInfo> sizes = {
        {TWSS_NONE, "Maximum - 216 x 356 mm", 216.0, 356.0},
        {TWSS_A4LETTER, "A4 - 210 x 297 mm", 210.0, 297.0},
        {TWSS_B5LETTER, "B5 (JIS) - 182 x 257 mm", 182.0, 257.0},
        {TWSS_USLETTER, "Letter - 8.5 x 11 in", 215.9, 279.4},
        {TWSS_USLEGAL, "Legal - 8.5 x 14 in", 215.9, 355.6},
        {TWSS_A5, "A5 - 148 x 210 mm", 148.0, 210.0},
        {TWSS_A6, "A6 - 105 x 148 mm", 105.0, 148.0},
        {TWSS_BUSINESSCARD, "Business card - 55 x 91 mm", 55.0, 91.0},
    };
    return sizes;
}

const PageSizeInfo* FindPageSize(int twss) {
    for (const auto& p : PageSizes())
        if (p.m_nCode == twss)
            return &p;
    return nullptr;
}

const std::vector<int>& Resolutions() {
    static const std::vector<int> res = {75, 100, 150, 200, 240, 300, 400, 600};
    return res;
}

const std::vector<std::string>& HalftoneNames() {
    static const std::vector<std::string> names = {"None", "Dither (Bayer)", "Dither (Halftone)",
                                                   "Error Diffusion"};
    return names;
}

void PageInches(const CDsSettings& s, double& widthIn, double& lengthIn) {
    const PageSizeInfo* p = FindPageSize(s.m_nPageSize);
    if (!p)
        p = &PageSizes()[0];
    widthIn = p->m_dWidthMm / 25.4;
    lengthIn = p->m_dLengthMm / 25.4;
}

namespace {

enum class Kind { OneValue, Enum, Range, Array };

struct CapDesc {
    TW_UINT16 m_nCap;
    TW_UINT16 m_nItemType;
    Kind m_kind;
    bool m_bReadOnly;
};

// The capabilities the source answers. Read-only ones refuse MSG_SET with
// TWCC_CAPBADOPERATION.
const CapDesc kCaps[] = {
    {CAP_XFERCOUNT, TWTY_INT16, Kind::OneValue, false},
    {ICAP_COMPRESSION, TWTY_UINT16, Kind::Enum, false},
    {ICAP_PIXELTYPE, TWTY_UINT16, Kind::Enum, false},
    {ICAP_UNITS, TWTY_UINT16, Kind::Enum, false},
    {ICAP_XFERMECH, TWTY_UINT16, Kind::Enum, false},
    {CAP_FEEDERENABLED, TWTY_BOOL, Kind::Enum, false},
    {CAP_FEEDERLOADED, TWTY_BOOL, Kind::OneValue, true},
    {CAP_SUPPORTEDCAPS, TWTY_UINT16, Kind::Array, true},
    {CAP_INDICATORS, TWTY_BOOL, Kind::Enum, false},
    {CAP_PAPERDETECTABLE, TWTY_BOOL, Kind::OneValue, true},
    {CAP_UICONTROLLABLE, TWTY_BOOL, Kind::OneValue, true},
    {CAP_AUTOSCAN, TWTY_BOOL, Kind::Enum, false},
    {CAP_DUPLEX, TWTY_UINT16, Kind::OneValue, true},
    {CAP_DUPLEXENABLED, TWTY_BOOL, Kind::Enum, false},
    {CAP_ENABLEDSUIONLY, TWTY_BOOL, Kind::OneValue, true},
    {CAP_JOBCONTROL, TWTY_UINT16, Kind::Enum, false},
    {ICAP_BITDEPTH, TWTY_UINT16, Kind::Enum, false},
    {ICAP_BITORDER, TWTY_UINT16, Kind::OneValue, true},
    {ICAP_PIXELFLAVOR, TWTY_UINT16, Kind::OneValue, true},
    {ICAP_HALFTONES, TWTY_STR32, Kind::Enum, false},
    {ICAP_PHYSICALWIDTH, TWTY_FIX32, Kind::OneValue, true},
    {ICAP_PHYSICALHEIGHT, TWTY_FIX32, Kind::OneValue, true},
    {ICAP_XRESOLUTION, TWTY_FIX32, Kind::Enum, false},
    {ICAP_YRESOLUTION, TWTY_FIX32, Kind::Enum, false},
    {ICAP_XNATIVERESOLUTION, TWTY_FIX32, Kind::OneValue, true},
    {ICAP_YNATIVERESOLUTION, TWTY_FIX32, Kind::OneValue, true},
    {ICAP_SUPPORTEDSIZES, TWTY_UINT16, Kind::Enum, false},
    {ICAP_EXTIMAGEINFO, TWTY_BOOL, Kind::Enum, false},
    {ICAP_JPEGQUALITY, TWTY_INT16, Kind::Range, false},
    {CCAP_VLM_DETECTPAGESIZE, TWTY_INT32, Kind::OneValue, false},
    {CCAP_VLM_BLANKSKIP, TWTY_UINT32, Kind::OneValue, false},
    {CCAP_VLM_MANUALFEED, TWTY_UINT32, Kind::OneValue, false},
    {CCAP_VLM_MARGIN, TWTY_INT32, Kind::OneValue, false},
    {CCAP_VLM_DROPOUT, TWTY_INT32, Kind::Enum, false},
    {CCAP_VLM_DETECTJOBSEPTYPE, TWTY_UINT32, Kind::OneValue, false},
    {CCAP_VLM_AUTOJOBSEP, TWTY_UINT32, Kind::OneValue, false},
    {CCAP_VLM_TEXTENHANCE, TWTY_INT32, Kind::OneValue, false},
    {CCAP_VLM_COLORENHANCE, TWTY_INT32, Kind::OneValue, false},
    {CCAP_VLM_WINDOW, TWTY_INT32, Kind::OneValue, false},
    {CCAP_VLM_WINDOWCOUNTFRONT, TWTY_INT32, Kind::Enum, false},
    {CCAP_VLM_WINDOWCOUNTBACK, TWTY_INT32, Kind::Enum, false},
    {CCAP_VLM_TEXTENHANCE_MODE, TWTY_INT32, Kind::OneValue, false},
    {CCAP_VLM_FEEDER_AUTO, TWTY_UINT32, Kind::OneValue, false},
    {CCAP_VLM_FEEDERMAXWIDTH, TWTY_INT32, Kind::OneValue, true},
    {CCAP_VLM_FEEDERMAXLENGTH, TWTY_INT32, Kind::OneValue, true},
    {CCAP_VLM_DOCUMENT_PLACE, TWTY_INT32, Kind::Enum, false},
    {CCAP_VLM_LASTPAGE_SIDE, TWTY_INT32, Kind::OneValue, true},
    {CCAP_VLM_DISABLEITEM, TWTY_INT32, Kind::OneValue, false},
    {CCAP_VLM_VENDORFLAG, TWTY_BOOL, Kind::OneValue, false},
};
// CCAP_VLM_YIELDPROC and the feeder-loaded / last-side values depend on the
// session and are answered by the data source itself.

const CapDesc* Find(TW_UINT16 cap) {
    for (const auto& d : kCaps)
        if (d.m_nCap == cap)
            return &d;
    return nullptr;
}

CapValue Num(double v) {
    return CapValue{v, {}};
}

// Allowed values of an enumeration capability under the current settings,
// with the current and default value.
void EnumValues(const CDsSettings& s, TW_UINT16 cap, std::vector<CapValue>& items, double& cur,
                double& def) {
    auto nums = [&](std::initializer_list<double> v) {
        for (double d : v)
            items.push_back(Num(d));
    };
    switch (cap) {
    case ICAP_COMPRESSION:
#ifdef VX410DS_HAVE_JPEG
        nums({TWCP_NONE, TWCP_JPEG});
#else
        nums({TWCP_NONE});
#endif
        cur = s.m_nCompression, def = TWCP_NONE;
        break;
    case ICAP_PIXELTYPE:
        nums({TWPT_BW, TWPT_GRAY, TWPT_RGB});
        cur = s.m_nPixelType, def = TWPT_BW;
        break;
    case ICAP_UNITS:
        nums({TWUN_INCHES, TWUN_CENTIMETERS, TWUN_PIXELS});
        cur = s.m_nUnits, def = TWUN_INCHES;
        break;
    case ICAP_XFERMECH:
        nums({TWSX_NATIVE, TWSX_MEMORY});
        cur = s.m_nXferMech, def = TWSX_NATIVE;
        break;
    case CAP_FEEDERENABLED: // sheet-fed only
        nums({1});
        cur = 1, def = 1;
        break;
    case CAP_INDICATORS:
        nums({0, 1});
        cur = s.m_bIndicators, def = 1;
        break;
    case CAP_AUTOSCAN:
        nums({0, 1});
        cur = s.m_bAutoScan, def = 1;
        break;
    case CAP_DUPLEXENABLED:
        nums({0, 1});
        cur = s.m_bDuplex, def = 0;
        break;
    case CAP_JOBCONTROL:
        nums({TWJC_NONE, TWJC_JSIC, TWJC_JSIS, TWJC_JSXC, TWJC_JSXS});
        cur = s.m_nJobControl, def = TWJC_NONE;
        break;
    case ICAP_BITDEPTH: // one depth per pixel type
        nums({double(s.BitDepth())});
        cur = s.BitDepth(), def = s.BitDepth();
        break;
    case ICAP_HALFTONES:
        for (const auto& n : HalftoneNames())
            items.push_back(CapValue{0, n});
        cur = s.m_nHalftone, def = 0;
        break;
    case ICAP_XRESOLUTION:
    case ICAP_YRESOLUTION:
        for (int r : Resolutions())
            items.push_back(Num(r));
        cur = cap == ICAP_XRESOLUTION ? s.m_nXRes : s.m_nYRes, def = 200;
        break;
    case ICAP_SUPPORTEDSIZES:
        for (const auto& p : PageSizes())
            items.push_back(Num(p.m_nCode));
        cur = s.m_nPageSize, def = TWSS_A4LETTER;
        break;
    case ICAP_EXTIMAGEINFO:
        nums({0, 1});
        cur = s.m_bExtImageInfo, def = 0;
        break;
    case CCAP_VLM_DROPOUT:
        nums({0, 1, 2, 3});
        cur = s.m_nDropOut, def = 0;
        break;
    case CCAP_VLM_WINDOWCOUNTFRONT: // one image stream per side
        nums({1});
        cur = s.m_nWindowCountFront, def = 1;
        break;
    case CCAP_VLM_WINDOWCOUNTBACK:
        nums({1});
        cur = s.m_nWindowCountBack, def = 1;
        break;
    case CCAP_VLM_DOCUMENT_PLACE:
        nums({0, 2});
        cur = s.m_nDocumentPlace, def = 2;
        break;
    }
}

double OneValue(const CDsSettings& s, TW_UINT16 cap, bool bDefault) {
    double w, l;
    PageInches(CDsSettings{}, w, l);
    const double unit = s.m_nUnits == TWUN_CENTIMETERS ? 2.54
                        : s.m_nUnits == TWUN_PIXELS    ? s.m_nXRes
                                                       : 1.0;
    const double unitY = s.m_nUnits == TWUN_PIXELS ? s.m_nYRes : unit;
    switch (cap) {
    case CAP_XFERCOUNT:
        return bDefault ? -1 : s.m_nXferCount;
    case CAP_PAPERDETECTABLE:
    case CAP_UICONTROLLABLE:
    case CAP_ENABLEDSUIONLY:
        return 1;
    case CAP_DUPLEX:
        return TWDX_1PASSDUPLEX;
    case ICAP_BITORDER:
        return TWBO_MSBFIRST;
    case ICAP_PIXELFLAVOR:
        return TWPF_CHOCOLATE;
    case ICAP_PHYSICALWIDTH:
        return kFeederMaxWidthMm / 25.4 * unit;
    case ICAP_PHYSICALHEIGHT:
        return kFeederMaxLengthMm / 25.4 * unitY;
    case ICAP_XNATIVERESOLUTION:
    case ICAP_YNATIVERESOLUTION:
        return 600;
    case CCAP_VLM_DETECTPAGESIZE:
        return bDefault ? 0 : s.m_nDetectPageSize;
    case CCAP_VLM_BLANKSKIP:
        return bDefault ? 0 : s.m_nBlankSkip;
    case CCAP_VLM_MANUALFEED:
        return bDefault ? 0 : s.m_nManualFeed;
    case CCAP_VLM_MARGIN:
        return bDefault ? 0 : s.m_nMargin;
    case CCAP_VLM_DETECTJOBSEPTYPE:
        return bDefault ? 0 : s.m_nJobSepType;
    case CCAP_VLM_AUTOJOBSEP:
        return bDefault ? 0 : s.m_nAutoJobSep;
    case CCAP_VLM_TEXTENHANCE:
        return bDefault ? 0 : s.m_nTextEnhance;
    case CCAP_VLM_COLORENHANCE:
        return bDefault ? 0 : s.m_nColorEnhance;
    case CCAP_VLM_WINDOW:
        return bDefault ? 0 : s.m_nWindow;
    case CCAP_VLM_TEXTENHANCE_MODE:
        return bDefault ? 0 : s.m_nTextEnhanceMode;
    case CCAP_VLM_FEEDER_AUTO:
        return bDefault ? 0 : s.m_nFeederAuto;
    case CCAP_VLM_FEEDERMAXWIDTH:
        return kFeederMaxWidthMm;
    case CCAP_VLM_FEEDERMAXLENGTH:
        return kFeederMaxLengthMm;
    case CCAP_VLM_DISABLEITEM:
        return bDefault ? 0 : s.m_nDisableItem;
    case CCAP_VLM_VENDORFLAG:
        return bDefault ? 0 : s.m_bVendorFlag;
    }
    return 0;
}

bool IsIntegral(double v) {
    return std::floor(v) == v;
}

} // namespace

bool CCapModel::IsSupported(TW_UINT16 cap) const {
    return Find(cap) != nullptr;
}

std::vector<TW_UINT16> CCapModel::SupportedCaps() const {
    std::vector<TW_UINT16> caps;
    for (const auto& d : kCaps)
        caps.push_back(d.m_nCap);
    caps.push_back(CCAP_VLM_YIELDPROC);
    caps.push_back(CCAP_VLM_LASTPAGE_SIDE);
    std::sort(caps.begin(), caps.end());
    caps.erase(std::unique(caps.begin(), caps.end()), caps.end());
    return caps;
}

TW_INT32 CCapModel::QuerySupport(TW_UINT16 cap) const {
    const CapDesc* d = Find(cap);
    if (!d)
        return 0;
    TW_INT32 f = kQcGet | kQcGetCurrent | kQcGetDefault;
    if (!d->m_bReadOnly)
        f |= kQcSet | kQcReset;
    return f;
}

CapResult CCapModel::Get(TW_UINT16 cap, TW_UINT16 msg, CapAnswer& out) const {
    const CapDesc* d = Find(cap);
    if (!d)
        return {TWRC_FAILURE, TWCC_CAPUNSUPPORTED};
    out = CapAnswer{};
    out.m_nItemType = d->m_nItemType;
    if (d->m_kind == Kind::Array) { // CAP_SUPPORTEDCAPS
        if (msg != MSG_GET)
            return {TWRC_FAILURE, TWCC_CAPBADOPERATION};
        out.m_nConType = TWON_ARRAY;
        for (TW_UINT16 c : SupportedCaps())
            out.m_items.push_back(Num(c));
        return {};
    }
    if (d->m_kind == Kind::Range) { // ICAP_JPEGQUALITY
        const double cur = msg == MSG_GETDEFAULT ? 75 : m_settings.m_nJpegQuality;
        if (msg == MSG_GET) {
            out.m_nConType = TWON_RANGE;
            out.m_dMin = 1, out.m_dMax = 100, out.m_dStep = 1, out.m_dDefault = 75;
            out.m_dCurrent = cur;
        } else {
            out.m_items.push_back(Num(cur));
        }
        return {};
    }
    if (d->m_kind == Kind::Enum) {
        std::vector<CapValue> items;
        double cur = 0, def = 0;
        EnumValues(m_settings, cap, items, cur, def);
        TW_UINT32 curIdx = 0, defIdx = 0;
        for (size_t i = 0; i < items.size(); ++i) {
            const bool bText = d->m_nItemType == TWTY_STR32;
            if ((bText && double(i) == cur) || (!bText && items[i].m_dValue == cur))
                curIdx = TW_UINT32(i);
            if ((bText && double(i) == def) || (!bText && items[i].m_dValue == def))
                defIdx = TW_UINT32(i);
        }
        if (msg == MSG_GET) {
            out.m_nConType = TWON_ENUMERATION;
            out.m_items = items;
            out.m_nCurrentIndex = curIdx;
            out.m_nDefaultIndex = defIdx;
        } else {
            out.m_items.push_back(items[msg == MSG_GETDEFAULT ? defIdx : curIdx]);
        }
        return {};
    }
    out.m_items.push_back(Num(OneValue(m_settings, cap, msg == MSG_GETDEFAULT)));
    return {};
}

CapResult CCapModel::Set(TW_UINT16 cap, TW_UINT16 itemType, const CapValue& value) {
    const CapDesc* d = Find(cap);
    if (!d)
        return {TWRC_FAILURE, TWCC_CAPUNSUPPORTED};
    if (d->m_bReadOnly || d->m_kind == Kind::Array)
        return {TWRC_FAILURE, TWCC_CAPBADOPERATION};
    const bool bTextWanted = d->m_nItemType == TWTY_STR32;
    const bool bTextGiven = itemType >= TWTY_STR32 && itemType <= TWTY_STR255;
    if (bTextWanted != bTextGiven || itemType == TWTY_FRAME)
        return {TWRC_FAILURE, TWCC_BADVALUE};
    CDsSettings& s = m_settings;
    const double v = value.m_dValue;
    const CapResult ok{};
    const CapResult bad{TWRC_FAILURE, TWCC_BADVALUE};

    if (cap == ICAP_HALFTONES) {
        // An empty name selects plain black and white.
        const auto& names = HalftoneNames();
        if (value.m_strText.empty()) {
            s.m_nHalftone = 0;
            return ok;
        }
        for (size_t i = 0; i < names.size(); ++i) {
            if (names[i] == value.m_strText) {
                s.m_nHalftone = int(i);
                return ok;
            }
        }
        return bad;
    }
    if (cap == ICAP_XRESOLUTION || cap == ICAP_YRESOLUTION) {
        if (!(v >= kMinResolution && v <= kMaxResolution))
            return bad;
        int best = Resolutions()[0];
        for (int r : Resolutions())
            if (std::fabs(r - v) < std::fabs(best - v))
                best = r;
        (cap == ICAP_XRESOLUTION ? s.m_nXRes : s.m_nYRes) = best;
        // Square pixels unless the caller sets Y afterwards.
        if (cap == ICAP_XRESOLUTION)
            s.m_nYRes = best;
        return best == v ? ok : CapResult{TWRC_CHECKSTATUS, TWCC_SUCCESS};
    }
    if (!IsIntegral(v))
        return bad;
    const long n = long(v);
    if (d->m_kind == Kind::Enum) {
        std::vector<CapValue> items;
        double cur, def;
        EnumValues(s, cap, items, cur, def);
        bool bAllowed = false;
        for (const auto& it : items)
            bAllowed = bAllowed || it.m_dValue == v;
        // Bit depth follows the pixel type; a depth of another type is refused.
        if (!bAllowed)
            return bad;
    }
    switch (cap) {
    case CAP_XFERCOUNT:
        if (n != -1 && !(n >= 1 && n <= 32767))
            return bad;
        s.m_nXferCount = int(n);
        return ok;
    case ICAP_COMPRESSION:
        s.m_nCompression = int(n);
        return ok;
    case ICAP_PIXELTYPE:
        s.m_nPixelType = int(n);
        return ok;
    case ICAP_UNITS:
        s.m_nUnits = int(n);
        return ok;
    case ICAP_XFERMECH:
        s.m_nXferMech = int(n);
        return ok;
    case CAP_FEEDERENABLED:
    case ICAP_BITDEPTH:
    case CCAP_VLM_WINDOWCOUNTFRONT:
    case CCAP_VLM_WINDOWCOUNTBACK:
        return ok; // the only value offered
    case CAP_INDICATORS:
        s.m_bIndicators = n != 0;
        return ok;
    case CAP_AUTOSCAN:
        s.m_bAutoScan = n != 0;
        return ok;
    case CAP_DUPLEXENABLED:
        s.m_bDuplex = n != 0;
        return ok;
    case CAP_JOBCONTROL:
        s.m_nJobControl = int(n);
        return ok;
    case ICAP_SUPPORTEDSIZES:
        s.m_nPageSize = int(n);
        return ok;
    case ICAP_EXTIMAGEINFO:
        s.m_bExtImageInfo = n != 0;
        return ok;
    case ICAP_JPEGQUALITY:
        if (n < 1 || n > 100)
            return bad;
        s.m_nJpegQuality = int(n);
        return ok;
    case CCAP_VLM_DROPOUT:
        s.m_nDropOut = int(n);
        return ok;
    case CCAP_VLM_DOCUMENT_PLACE:
        s.m_nDocumentPlace = int(n);
        return ok;
    case CCAP_VLM_VENDORFLAG:
        s.m_bVendorFlag = n != 0;
        return ok;
    }
    // Vendor switches with small value ranges.
    struct Lim {
        TW_UINT16 cap;
        int lo, hi;
        int CDsSettings::*field;
    };
    static const Lim lims[] = {
        {CCAP_VLM_DETECTPAGESIZE, 0, 1, &CDsSettings::m_nDetectPageSize},
        {CCAP_VLM_BLANKSKIP, 0, 1, &CDsSettings::m_nBlankSkip},
        {CCAP_VLM_MANUALFEED, 0, 2, &CDsSettings::m_nManualFeed},
        {CCAP_VLM_MARGIN, 0, 50, &CDsSettings::m_nMargin},
        {CCAP_VLM_DETECTJOBSEPTYPE, 0, 3, &CDsSettings::m_nJobSepType},
        {CCAP_VLM_AUTOJOBSEP, 0, 1, &CDsSettings::m_nAutoJobSep},
        {CCAP_VLM_TEXTENHANCE, 0, 1, &CDsSettings::m_nTextEnhance},
        {CCAP_VLM_COLORENHANCE, 0, 3, &CDsSettings::m_nColorEnhance},
        {CCAP_VLM_WINDOW, 0, 255, &CDsSettings::m_nWindow},
        {CCAP_VLM_TEXTENHANCE_MODE, 0, 1, &CDsSettings::m_nTextEnhanceMode},
        {CCAP_VLM_FEEDER_AUTO, 0, 1, &CDsSettings::m_nFeederAuto},
        {CCAP_VLM_DISABLEITEM, 0, 7, &CDsSettings::m_nDisableItem},
    };
    for (const auto& l : lims) {
        if (l.cap == cap) {
            if (n < l.lo || n > l.hi)
                return bad;
            s.*l.field = int(n);
            return ok;
        }
    }
    return {TWRC_FAILURE, TWCC_CAPUNSUPPORTED};
}

CapResult CCapModel::Reset(TW_UINT16 cap, CapAnswer& out) {
    const CapDesc* d = Find(cap);
    if (!d)
        return {TWRC_FAILURE, TWCC_CAPUNSUPPORTED};
    if (d->m_bReadOnly || d->m_kind == Kind::Array)
        return {TWRC_FAILURE, TWCC_CAPBADOPERATION};
    CapAnswer def;
    CapResult r = Get(cap, MSG_GETDEFAULT, def);
    if (r.m_nRc != TWRC_SUCCESS)
        return r;
    CapValue v = def.m_items.at(0);
    if (cap == ICAP_HALFTONES)
        v.m_strText.clear();
    r = Set(cap, d->m_nItemType, v);
    if (r.m_nRc != TWRC_SUCCESS && r.m_nRc != TWRC_CHECKSTATUS)
        return r;
    return Get(cap, MSG_GET, out);
}

// ---- profile text ----------------------------------------------------------

namespace {

// ScanType values of the profile.
constexpr int kScanBw = 0, kScanHalftone = 1, kScanGray = 2, kScanColor = 3;

std::string Fraction(double mm) {
    // Inches as an exact fraction of millimetres: mm / 25.4 = mm*5 / 127.
    const long num = std::lround(mm * 50);
    long den = 1270;
    long a = num, b = den;
    while (b) {
        long t = a % b;
        a = b;
        b = t;
    }
    if (a > 1)
        return std::to_string(num / a) + "/" + std::to_string(den / a);
    return std::to_string(num) + "/" + std::to_string(den);
}

// The keys this source keeps in its settings, with the value each needs
// for the profile. Keys not listed here but present in m_extra follow.
using KeyList = std::vector<std::pair<std::string, std::string>>;

KeyList OwnKeys(const CDsSettings& s) {
    const PageSizeInfo* p = FindPageSize(s.m_nPageSize);
    if (!p)
        p = &PageSizes()[0];
    int scanType = kScanBw;
    if (s.m_nPixelType == TWPT_RGB)
        scanType = kScanColor;
    else if (s.m_nPixelType == TWPT_GRAY)
        scanType = kScanGray;
    else if (s.m_nHalftone > 0)
        scanType = kScanHalftone;
    const int spp = s.m_nPixelType == TWPT_RGB ? 3 : 1;
    auto i = [](long v) { return std::to_string(v); };
    return {
        {"ScanType", i(scanType)},
        {"TwainScanMode", i(s.m_bDuplex ? 1 : 0)}, // 0 simplex, 1 duplex
        {"PageSize", p->m_pszProfileName},
        {"XResolution", i(s.m_nXRes)},
        {"YResolution", i(s.m_nYRes)},
        {"XPositionInch(0)(0)", "0"},
        {"YPositionInch(0)(0)", "0"},
        {"ImageWidthInch(0)(0)", Fraction(p->m_dWidthMm)},
        {"ImageLengthInch(0)(0)", Fraction(p->m_dLengthMm)},
        {"SamplesPerPixel", i(spp)},
        {"BitsPerSample", i(s.BitDepth() / spp)},
        {"ScanBitsPerPixel", i(s.BitDepth())},
        {"PhotoMetric", i(s.m_nPixelType == TWPT_RGB ? 2 : 0)},
        {"Dither", i(s.m_nHalftone)},
        {"Units", i(s.m_nUnits)},
        {"WindowCountFront", i(s.m_nWindowCountFront)},
        {"WindowCountBack", i(s.m_nWindowCountBack)},
        {"TagBlankSkip", i(s.m_nBlankSkip)},
        {"TagAutoSize", i(s.m_nDetectPageSize)},
        {"ManualFeedEx", i(s.m_nManualFeed)},
        {"DetectJobSep", i(s.m_nAutoJobSep)},
        {"JobSepType", i(s.m_nJobSepType)},
        {"Margin", i(s.m_nMargin)},
        {"DropOut", i(s.m_nDropOut)},
        {"ColorEmphasis", i(s.m_nColorEnhance)},
        {"EdgeEmphasis", i(s.m_nTextEnhance)},
        {"EdgeEmphasisIntensity", i(s.m_nTextEnhanceMode)},
        {"Compression", i(s.m_nCompression)},
        {"JpegQuality", i(s.m_nJpegQuality)},
    };
}

// Keys of the model's profile that this source writes with their neutral
// values when no earlier load supplied them.
KeyList DefaultExtraKeys() {
    KeyList k = {{"ManualTimeout", "0"},
                 {"NopageTimeout", "0"},
                 {"ScanAhead", "1"},
                 {"SubWindowCount", "1"},
                 {"ScanOrientation", "0"},
                 {"DataOrientation", "0"},
                 {"SnapCoords", "0"},
                 {"ColorReductMethod", "0"},
                 {"ColorMap", "0"},
                 {"BrightnessAuto", "0"},
                 {"BrightnessManual", "128"},
                 {"ContrastAuto", "0"},
                 {"ContrastManual", "128"},
                 {"PreviewMode", "0"},
                 {"PreviewSpeed", "0"},
                 {"TransparencyType", "0"},
                 {"Gamma", "0"},
                 {"BlankSkipSlice", "0"},
                 {"TagGomiErase", "0"},
                 {"TagNotchErase", "0"},
                 {"MedianFilter", "0"},
                 {"ReverseScanType", "0"},
                 {"TagScanWait", "0"},
                 {"TagBatchPartition", "0"},
                 {"Deskew", "0"},
                 {"CropDetect", "0"},
                 {"CropMethod", "0"},
                 {"Marginmm", "0"},
                 {"UserPreference", "0"},
                 {"AEAdjustment", "0"},
                 {"FilterEnhancedColor", "0"},
                 {"PanelType", "0"},
                 {"PanelMode", "0"},
                 {"PrescanMode", "0"},
                 {"TagPreScan", "0"},
                 {"BorderModeMethod", "0"},
                 {"BorderMarginMM", "0"},
                 {"TagSpreadSize", "0"},
                 {"TagRotationPage", "0"}};
    std::string identity;
    for (int i = 0; i < 256; ++i)
        identity += (i ? " " : "") + std::to_string(i);
    for (const char* g : {"GammaGray", "GammaGrayBack", "GammaRed", "GammaGreen", "GammaBlue",
                          "GammaRedBack", "GammaGreenBack", "GammaBlueBack"}) {
        k.push_back({std::string(g) + ".Length", "256"});
        k.push_back({g, identity});
        k.push_back({std::string("GammaMode") + (g + 5), "0"});
        k.push_back({std::string("GammaFactor") + (g + 5), "100"});
    }
    for (const char* g :
         {"GammaGrayLength", "GammaRedLength", "GammaGreenLength", "GammaBlueLength"})
        k.push_back({g, "256"});
    return k;
}

std::string Trim(const std::string& s) {
    size_t a = s.find_first_not_of(" \t\r\n");
    if (a == std::string::npos)
        return "";
    size_t b = s.find_last_not_of(" \t\r\n");
    return s.substr(a, b - a + 1);
}

bool IEquals(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower((unsigned char)a[i]) != std::tolower((unsigned char)b[i]))
            return false;
    return true;
}

// Splits into lines and finds the section's [start, end) line indexes.
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::string cur;
    for (char c : text) {
        if (c == '\n') {
            if (!cur.empty() && cur.back() == '\r')
                cur.pop_back();
            lines.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty())
        lines.push_back(cur);
    return lines;
}

bool IsHeader(const std::string& line, std::string* pName) {
    std::string t = Trim(line);
    if (t.size() < 2 || t.front() != '[' || t.back() != ']')
        return false;
    if (pName)
        *pName = Trim(t.substr(1, t.size() - 2));
    return true;
}

bool FindSection(const std::vector<std::string>& lines, const std::string& section, size_t& begin,
                 size_t& end) {
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string name;
        if (IsHeader(lines[i], &name) && IEquals(name, section)) {
            begin = i;
            end = i + 1;
            while (end < lines.size() && !IsHeader(lines[end], nullptr))
                ++end;
            return true;
        }
    }
    return false;
}

bool ParseInt(const std::string& text, long lo, long hi, int& out) {
    std::string t = Trim(text);
    if (t.empty())
        return false;
    char* e = nullptr;
    long v = std::strtol(t.c_str(), &e, 10);
    if (*e || v < lo || v > hi)
        return false;
    out = int(v);
    return true;
}

} // namespace

std::string SaveProfileText(const CDsSettings& s, const std::string& section) {
    std::string out = "[" + section + "]\r\n";
    KeyList own = OwnKeys(s);
    auto isOwn = [&](const std::string& k) {
        for (const auto& kv : own)
            if (IEquals(kv.first, k))
                return true;
        return false;
    };
    for (const auto& kv : own)
        out += kv.first + "=" + kv.second + "\r\n";
    std::map<std::string, std::string> extra;
    for (const auto& kv : DefaultExtraKeys())
        extra[kv.first] = kv.second;
    for (const auto& kv : s.m_extra)
        extra[kv.first] = kv.second;
    // Gamma tables: the ".Length" line comes right before the table line.
    for (const auto& kv : DefaultExtraKeys()) {
        if (isOwn(kv.first))
            continue;
        out += kv.first + "=" + extra[kv.first] + "\r\n";
        extra.erase(kv.first);
    }
    for (const auto& kv : extra)
        if (!isOwn(kv.first))
            out += kv.first + "=" + kv.second + "\r\n";
    return out;
}

std::string MergeProfileSection(const std::string& fileText, const std::string& sectionText,
                                const std::string& section) {
    std::vector<std::string> lines = Lines(fileText);
    size_t b = 0, e = 0;
    std::string out;
    auto add = [&](size_t from, size_t to) {
        for (size_t i = from; i < to; ++i)
            out += lines[i] + "\r\n";
    };
    if (FindSection(lines, section, b, e)) {
        add(0, b);
        out += sectionText;
        add(e, lines.size());
    } else {
        add(0, lines.size());
        out += sectionText;
    }
    return out;
}

bool LoadProfileText(const std::string& fileText, const std::string& section, CDsSettings& s,
                     std::string* pError) {
    auto fail = [&](const std::string& text) {
        if (pError)
            *pError = text;
        return false;
    };
    std::vector<std::string> lines = Lines(fileText);
    size_t b = 0, e = 0;
    if (!FindSection(lines, section, b, e))
        return fail("no [" + section + "] section");
    CDsSettings n = s; // applied only when every value is good
    std::map<std::string, std::string> values;
    for (size_t i = b + 1; i < e; ++i) {
        const std::string t = Trim(lines[i]);
        if (t.empty() || t[0] == ';')
            continue;
        size_t eq = t.find('=');
        if (eq == std::string::npos || eq == 0)
            return fail("line " + std::to_string(i + 1) + ": no key=value");
        values[Trim(t.substr(0, eq))] = Trim(t.substr(eq + 1));
    }
    KeyList own = OwnKeys(n);
    int v = 0;
    for (const auto& kv : values) {
        const std::string& key = kv.first;
        const std::string& text = kv.second;
        auto bad = [&]() { return fail("bad value for " + key + ": \"" + text + "\""); };
        if (key == "ScanType") {
            if (!ParseInt(text, 0, 3, v))
                return bad();
            n.m_nPixelType = v == kScanColor ? TWPT_RGB : v == kScanGray ? TWPT_GRAY : TWPT_BW;
            if (v == kScanBw)
                n.m_nHalftone = 0;
            else if (v == kScanHalftone && n.m_nHalftone == 0)
                n.m_nHalftone = 1;
        } else if (key == "XResolution" || key == "YResolution") {
            if (!ParseInt(text, kMinResolution, kMaxResolution, v))
                return bad();
            (key[0] == 'X' ? n.m_nXRes : n.m_nYRes) = v;
        } else if (key == "PageSize") {
            const PageSizeInfo* found = nullptr;
            for (const auto& p : PageSizes())
                if (IEquals(text, p.m_pszProfileName) ||
                    (ParseInt(text, 0, 1000, v) && v == p.m_nCode))
                    found = &p;
            if (!found)
                return bad();
            n.m_nPageSize = found->m_nCode;
        } else if (key == "TwainScanMode") {
            if (!ParseInt(text, 0, 1, v))
                return bad();
            n.m_bDuplex = v == 1;
        } else if (key == "Dither") {
            if (!ParseInt(text, 0, int(HalftoneNames().size()) - 1, v))
                return bad();
            n.m_nHalftone = v;
        } else if (key == "Units") {
            if (!ParseInt(text, 0, 5, v) ||
                (v != TWUN_INCHES && v != TWUN_CENTIMETERS && v != TWUN_PIXELS))
                return bad();
            n.m_nUnits = v;
        } else if (key == "Compression") {
            if (!ParseInt(text, 0, TWCP_JPEG, v) || (v != TWCP_NONE && v != TWCP_JPEG))
                return bad();
            n.m_nCompression = v;
        } else if (key == "JpegQuality") {
            if (!ParseInt(text, 1, 100, v))
                return bad();
            n.m_nJpegQuality = v;
        } else {
            struct Lim {
                const char* key;
                int lo, hi;
                int CDsSettings::*field;
            };
            static const Lim lims[] = {
                {"TagBlankSkip", 0, 1, &CDsSettings::m_nBlankSkip},
                {"TagAutoSize", 0, 1, &CDsSettings::m_nDetectPageSize},
                {"ManualFeedEx", 0, 2, &CDsSettings::m_nManualFeed},
                {"DetectJobSep", 0, 1, &CDsSettings::m_nAutoJobSep},
                {"JobSepType", 0, 3, &CDsSettings::m_nJobSepType},
                {"Margin", 0, 50, &CDsSettings::m_nMargin},
                {"DropOut", 0, 3, &CDsSettings::m_nDropOut},
                {"ColorEmphasis", 0, 3, &CDsSettings::m_nColorEnhance},
                {"EdgeEmphasis", 0, 1, &CDsSettings::m_nTextEnhance},
                {"EdgeEmphasisIntensity", 0, 1, &CDsSettings::m_nTextEnhanceMode},
                {"WindowCountFront", 1, 1, &CDsSettings::m_nWindowCountFront},
                {"WindowCountBack", 1, 1, &CDsSettings::m_nWindowCountBack},
            };
            bool bHandled = false;
            for (const auto& l : lims) {
                if (key == l.key) {
                    if (!ParseInt(text, l.lo, l.hi, v))
                        return bad();
                    n.*l.field = v;
                    bHandled = true;
                }
            }
            bool bDerived = false; // written from other settings, never read
            for (const auto& kv : own)
                bDerived = bDerived || kv.first == key;
            if (!bHandled && !bDerived)
                n.m_extra[key] = text;
        }
    }
    // Where the text gives the sample layout it decides the pixel type: the
    // model plug-in's initial settings keep ScanType 3 in their black-and-white
    // section as well, so ScanType alone is only the fallback.
    const auto spp = values.find("SamplesPerPixel"), bps = values.find("BitsPerSample");
    int nSpp = 0, nBps = 0;
    if (spp != values.end() && bps != values.end() && ParseInt(spp->second, 1, 4, nSpp) &&
        ParseInt(bps->second, 1, 16, nBps)) {
        n.m_nPixelType = nSpp >= 3 ? TWPT_RGB : nBps > 1 ? TWPT_GRAY : TWPT_BW;
    }
    // Keys are read in name order, so a "Dither" line may have set a halftone
    // before "ScanType" chose grey or colour; only black-and-white keeps one.
    if (n.m_nPixelType != TWPT_BW)
        n.m_nHalftone = 0;
    // Resolutions snap to the offered ones, as a MSG_SET would.
    for (int* r : {&n.m_nXRes, &n.m_nYRes}) {
        int best = Resolutions()[0];
        for (int x : Resolutions())
            if (std::abs(x - *r) < std::abs(best - *r))
                best = x;
        *r = best;
    }
    s = n;
    return true;
}

} // namespace vx410ds
