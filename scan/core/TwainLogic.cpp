#include "TwainLogic.h"

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
template <size_t N> const char* Find(const SName (&table)[N], unsigned n) {
    for (const SName& e : table)
        if (e.n == n)
            return e.name;
    return nullptr;
}
} // namespace

std::string DatName(unsigned dat) {
    static const SName kTable[] = {{0x0000, "DAT_NULL"},
                                   {0x0001, "DAT_CAPABILITY"},
                                   {0x0002, "DAT_EVENT"},
                                   {0x0003, "DAT_IDENTITY"},
                                   {0x0004, "DAT_PARENT"},
                                   {0x0005, "DAT_PENDINGXFERS"},
                                   {0x0006, "DAT_SETUPMEMXFER"},
                                   {0x0007, "DAT_SETUPFILEXFER"},
                                   {0x0008, "DAT_STATUS"},
                                   {0x0009, "DAT_USERINTERFACE"},
                                   {0x000a, "DAT_XFERGROUP"},
                                   {0x000b, "DAT_TWUNKIDENTITY"},
                                   {0x000c, "DAT_CUSTOMDSDATA"},
                                   {0x000d, "DAT_DEVICEEVENT"},
                                   {0x000e, "DAT_FILESYSTEM"},
                                   {0x000f, "DAT_PASSTHRU"},
                                   {0x0101, "DAT_IMAGEINFO"},
                                   {0x0102, "DAT_IMAGELAYOUT"},
                                   {0x0103, "DAT_IMAGEMEMXFER"},
                                   {0x0104, "DAT_IMAGENATIVEXFER"},
                                   {0x0105, "DAT_IMAGEFILEXFER"},
                                   {0x0106, "DAT_CIECOLOR"},
                                   {0x0107, "DAT_GRAYRESPONSE"},
                                   {0x0108, "DAT_RGBRESPONSE"},
                                   {0x0109, "DAT_JPEGCOMPRESSION"},
                                   {0x010a, "DAT_PALETTE8"},
                                   {0x010b, "DAT_EXTIMAGEINFO"},
                                   {0x0201, "DAT_AUDIOFILEXFER"},
                                   {0x0202, "DAT_AUDIOINFO"},
                                   {0x0203, "DAT_AUDIONATIVEXFER"}};
    const char* p = Find(kTable, dat);
    return p ? p : std::to_string(dat);
}

std::string MsgName(unsigned msg) {
    static const SName kTable[] = {{0x0000, "MSG_NULL"},         {0x0001, "MSG_GET"},
                                   {0x0002, "MSG_GETCURRENT"},   {0x0003, "MSG_GETDEFAULT"},
                                   {0x0004, "MSG_GETFIRST"},     {0x0005, "MSG_GETNEXT"},
                                   {0x0006, "MSG_SET"},          {0x0007, "MSG_RESET"},
                                   {0x0008, "MSG_QUERYSUPPORT"}, {0x0101, "MSG_XFERREADY"},
                                   {0x0102, "MSG_CLOSEDSREQ"},   {0x0103, "MSG_CLOSEDSOK"},
                                   {0x0104, "MSG_DEVICEEVENT"},  {0x0201, "MSG_CHECKSTATUS"},
                                   {0x0301, "MSG_OPENDSM"},      {0x0302, "MSG_CLOSEDSM"},
                                   {0x0401, "MSG_OPENDS"},       {0x0402, "MSG_CLOSEDS"},
                                   {0x0403, "MSG_USERSELECT"},   {0x0501, "MSG_DISABLEDS"},
                                   {0x0502, "MSG_ENABLEDS"},     {0x0503, "MSG_ENABLEDSUIONLY"},
                                   {0x0601, "MSG_PROCESSEVENT"}, {0x0701, "MSG_ENDXFER"},
                                   {0x0702, "MSG_STOPFEEDER"}};
    const char* p = Find(kTable, msg);
    return p ? p : std::to_string(msg);
}

std::string CapName(unsigned cap) {
    static const SName kTable[] = {{0x0001, "CAP_XFERCOUNT"},
                                   {0x0100, "ICAP_COMPRESSION"},
                                   {0x0101, "ICAP_PIXELTYPE"},
                                   {0x0102, "ICAP_UNITS"},
                                   {0x0103, "ICAP_XFERMECH"},
                                   {0x1000, "CAP_AUTHOR"},
                                   {0x1001, "CAP_CAPTION"},
                                   {0x1002, "CAP_FEEDERENABLED"},
                                   {0x1003, "CAP_FEEDERLOADED"},
                                   {0x1004, "CAP_TIMEDATE"},
                                   {0x1005, "CAP_SUPPORTEDCAPS"},
                                   {0x1006, "CAP_EXTENDEDCAPS"},
                                   {0x1007, "CAP_AUTOFEED"},
                                   {0x1008, "CAP_CLEARPAGE"},
                                   {0x1009, "CAP_FEEDPAGE"},
                                   {0x100a, "CAP_REWINDPAGE"},
                                   {0x100b, "CAP_INDICATORS"},
                                   {0x100c, "CAP_SUPPORTEDCAPSEXT"},
                                   {0x100d, "CAP_PAPERDETECTABLE"},
                                   {0x100e, "CAP_UICONTROLLABLE"},
                                   {0x100f, "CAP_DEVICEONLINE"},
                                   {0x1010, "CAP_AUTOSCAN"},
                                   {0x1011, "CAP_THUMBNAILSENABLED"},
                                   {0x1012, "CAP_DUPLEX"},
                                   {0x1013, "CAP_DUPLEXENABLED"},
                                   {0x1014, "CAP_ENABLEDSUIONLY"},
                                   {0x1015, "CAP_CUSTOMDSDATA"},
                                   {0x1016, "CAP_ENDORSER"},
                                   {0x1017, "CAP_JOBCONTROL"},
                                   {0x1100, "ICAP_AUTOBRIGHT"},
                                   {0x1101, "ICAP_BRIGHTNESS"},
                                   {0x1103, "ICAP_CONTRAST"},
                                   {0x1104, "ICAP_CUSTHALFTONE"},
                                   {0x1105, "ICAP_EXPOSURETIME"},
                                   {0x1106, "ICAP_FILTER"},
                                   {0x1107, "ICAP_FLASHUSED"},
                                   {0x1108, "ICAP_GAMMA"},
                                   {0x1109, "ICAP_HALFTONES"},
                                   {0x110a, "ICAP_HIGHLIGHT"},
                                   {0x110c, "ICAP_IMAGEFILEFORMAT"},
                                   {0x110d, "ICAP_LAMPSTATE"},
                                   {0x110e, "ICAP_LIGHTSOURCE"},
                                   {0x1110, "ICAP_ORIENTATION"},
                                   {0x1111, "ICAP_PHYSICALWIDTH"},
                                   {0x1112, "ICAP_PHYSICALHEIGHT"},
                                   {0x1113, "ICAP_SHADOW"},
                                   {0x1114, "ICAP_FRAMES"},
                                   {0x1116, "ICAP_XNATIVERESOLUTION"},
                                   {0x1117, "ICAP_YNATIVERESOLUTION"},
                                   {0x1118, "ICAP_XRESOLUTION"},
                                   {0x1119, "ICAP_YRESOLUTION"},
                                   {0x111a, "ICAP_MAXFRAMES"},
                                   {0x111b, "ICAP_TILES"},
                                   {0x111c, "ICAP_BITORDER"},
                                   {0x111d, "ICAP_CCITTKFACTOR"},
                                   {0x111e, "ICAP_LIGHTPATH"},
                                   {0x111f, "ICAP_PIXELFLAVOR"},
                                   {0x1120, "ICAP_PLANARCHUNKY"},
                                   {0x1121, "ICAP_ROTATION"},
                                   {0x1122, "ICAP_SUPPORTEDSIZES"},
                                   {0x1123, "ICAP_THRESHOLD"},
                                   {0x1124, "ICAP_XSCALING"},
                                   {0x1125, "ICAP_YSCALING"},
                                   {0x1126, "ICAP_BITORDERCODES"},
                                   {0x1127, "ICAP_PIXELFLAVORCODES"},
                                   {0x1128, "ICAP_JPEGPIXELTYPE"},
                                   {0x112a, "ICAP_TIMEFILL"},
                                   {0x112b, "ICAP_BITDEPTH"},
                                   {0x112c, "ICAP_BITDEPTHREDUCTION"},
                                   {0x112d, "ICAP_UNDEFINEDIMAGESIZE"},
                                   {0x112e, "ICAP_IMAGEDATASET"},
                                   {0x112f, "ICAP_EXTIMAGEINFO"},
                                   {0x1130, "ICAP_MINIMUMHEIGHT"},
                                   {0x1131, "ICAP_MINIMUMWIDTH"},
                                   {0x1153, "ICAP_JPEGQUALITY"},
                                   // The model's own capabilities.
                                   {0x8000, "CCAP_VLM_DETECTPAGESIZE"},
                                   {0x8001, "CCAP_VLM_BLANKSKIP"},
                                   {0x8002, "CCAP_VLM_BLANKSKIPSLICE"},
                                   {0x8003, "CCAP_VLM_MANUALFEED"},
                                   {0x8004, "CCAP_VLM_AUTOSTARTDELAY"},
                                   {0x8005, "CCAP_VLM_SCANSPEED"},
                                   {0x8006, "CCAP_VLM_MARGIN"},
                                   {0x8007, "CCAP_VLM_MARGINLENGTH"},
                                   {0x8008, "CCAP_VLM_DROPOUT"},
                                   {0x8009, "CCAP_VLM_EDGEEMPHASIS"},
                                   {0x800A, "CCAP_VLM_DETECTJOBSEPTYPE"},
                                   {0x800B, "CCAP_VLM_NOISEFILTER"},
                                   {0x800C, "CCAP_VLM_NOTCHFILTER"},
                                   {0x800D, "CCAP_VLM_DESKEW"},
                                   {0x800E, "CCAP_VLM_REVERSESCANTYPE"},
                                   {0x800F, "CCAP_VLM_AUTOJOBSEP"},
                                   {0x8010, "CCAP_VLM_SCANMODE"},
                                   {0x8011, "CCAP_VLM_EDGEEMPHASISENABLED"},
                                   {0x8012, "CCAP_VLM_LASTERROR"},
                                   {0x8013, "CCAP_VLM_JOBSEPDETECTED"},
                                   {0x8014, "CCAP_VLM_AEADJUSTMENT"},
                                   {0x8015, "CCAP_VLM_PANELTYPE"},
                                   {0x8016, "CCAP_VLM_PANELMODE"},
                                   {0x8017, "CCAP_VLM_PRESCANMODE"},
                                   {0x8018, "CCAP_VLM_PRESCAN"},
                                   {0x8019, "CCAP_VLM_NOPAGETIMEOUT"},
                                   {0x801A, "CCAP_VLM_BLANKSKIPSLICE2"},
                                   {0x801B, "CCAP_VLM_PATCHCODEENABLE"},
                                   {0x801C, "CCAP_VLM_PATCHORIENTATION"},
                                   {0x801D, "CCAP_VLM_BATCHNUM"},
                                   {0x801E, "CCAP_VLM_FILENUM"},
                                   {0x801F, "CCAP_VLM_PAGENUM"},
                                   {0x8020, "CCAP_VLM_FILMUSE"},
                                   {0x8021, "CCAP_VLM_FILMADDRESSMODE"},
                                   {0x8022, "CCAP_VLM_FILMPARAMS"},
                                   {0x8023, "CCAP_VLM_CARTRIDGENUM"},
                                   {0x8024, "CCAP_VLM_DETECTPATCHTYPE"},
                                   {0x8025, "CCAP_VLM_CROPDETECT"},
                                   {0x8026, "CCAP_VLM_CROPMETHOD"},
                                   {0x8027, "CCAP_VLM_PRINTCOUNT"},
                                   {0x8028, "CCAP_VLM_OPTIONUNIT"},
                                   {0x8029, "CCAP_VLM_TEXTENHANCE"},
                                   {0x802A, "CCAP_VLM_SCANNERBUTTON"},
                                   {0x802B, "CCAP_VLM_MEDIANFILTER"},
                                   {0x8030, "CCAP_VLM_NEGAPOSI"},
                                   {0x8031, "CCAP_VLM_BORDERMODE"},
                                   {0x8034, "CCAP_VLM_WINDOW"},
                                   {0x8049, "CCAP_VLM_WINDOWCOUNTFRONT"},
                                   {0x804A, "CCAP_VLM_WINDOWCOUNTBACK"},
                                   {0x804D, "CCAP_VLM_AREA_XPOSITION"},
                                   {0x804E, "CCAP_VLM_AREA_YPOSITION"},
                                   {0x804F, "CCAP_VLM_PAGESIZE_LEGAL"},
                                   {0x8050, "CCAP_VLM_PAGESIZE_ROTATED"},
                                   {0x805D, "CCAP_VLM_TEXTENHANCE_MODE"},
                                   {0x805E, "CCAP_VLM_FEEDER_AUTO"},
                                   {0x805F, "CCAP_VLM_FEEDERMAXWIDTH"},
                                   {0x8060, "CCAP_VLM_FEEDERMAXLENGTH"},
                                   {0x8061, "CCAP_VLM_YIELDPROC"},
                                   {0x8062, "CCAP_VLM_DOCUMENT_PLACE"},
                                   {0x8063, "CCAP_VLM_LASTPAGE_SIDE"},
                                   {0x8064, "CCAP_VLM_DISABLEITEM"}};
    const char* p = Find(kTable, cap);
    return p ? p : std::to_string(cap);
}

SStateStep NextState(int nState, const STriplet& t) {
    SStateStep s{nState, t.RC == kTWRC_SUCCESS, false, false, false};
    if (t.DG == kDG_CONTROL && t.DAT == kDAT_EVENT && t.MSG == kMSG_PROCESSEVENT) {
        // The source answers TWRC_DSEVENT for its own events.
        if (t.RC == kTWRC_DSEVENT || t.RC == kTWRC_SUCCESS) {
            if (t.EventMessage == kMSG_XFERREADY)
                s.nState = 6;
            else if (t.EventMessage == kMSG_CLOSEDSREQ || t.EventMessage == kMSG_CLOSEDSOK)
                s.nState = 5;
        }
        return s;
    }
    if (t.DG == kDG_CONTROL && t.DAT == kDAT_PENDINGXFERS) {
        if (t.MSG == kMSG_RESET) {
            if (s.bSuccess)
                s.nState = 5;
            else
                s.bError = true;
        } else if (t.MSG == kMSG_ENDXFER) {
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
    if (t.DG == kDG_CONTROL && t.DAT == kDAT_USERINTERFACE) {
        if (t.MSG == kMSG_DISABLEDS) {
            if (s.bSuccess) {
                s.nState = 4;
            } else {
                s.bError = true;
                if (t.bCloseRequested && t.CC == kTWCC_SEQERROR) {
                    s.nState = 4;
                    s.bClearCloseRequested = true;
                }
            }
        } else if (t.MSG == kMSG_ENABLEDS) {
            if (t.RC == kTWRC_SUCCESS || t.RC == kTWRC_CHECKSTATUS) {
                s.bSuccess = true;
                s.nState = 5;
            } else {
                s.bError = true;
            }
        }
        return s;
    }
    if (t.DG == kDG_CONTROL && t.DAT == kDAT_IDENTITY) {
        if (t.MSG == kMSG_CLOSEDS || t.MSG == kMSG_OPENDS) {
            if (s.bSuccess)
                s.nState = t.MSG == kMSG_CLOSEDS ? 3 : 4;
            else
                s.bError = true;
        }
        return s;
    }
    if (t.DG == kDG_CONTROL && t.DAT == kDAT_PARENT) {
        if (s.bSuccess && t.MSG == kMSG_OPENDSM)
            s.nState = 3;
        else if (s.bSuccess && t.MSG == kMSG_CLOSEDSM)
            s.nState = 2;
        else if (!s.bSuccess)
            s.bError = true;
        return s;
    }
    if (t.DG == kDG_IMAGE && t.MSG == 1 /*MSG_GET*/ &&
        (t.DAT == kDAT_IMAGEMEMXFER || t.DAT == kDAT_IMAGENATIVEXFER ||
         t.DAT == kDAT_IMAGEFILEXFER)) {
        if (t.RC == kTWRC_SUCCESS || t.RC == kTWRC_XFERDONE) {
            s.bSuccess = true;
            s.nState = 7;
        } else if (t.RC == kTWRC_CANCEL) {
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
