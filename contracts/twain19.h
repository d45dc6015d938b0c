// TWAIN 1.9 definitions: the subset that the scan engine and the VX-410 data
// source use, written from the public TWAIN 1.9 standard.
//
// Every structure is packed on 2-byte boundaries, as the TWAIN binary
// interface requires on Windows; the data source's layout test
// (components/vx410ds/tests/layout_test.cpp) checks sizes and offsets against
// the platform's own header. Fields that carry a handle or an address are
// pointer-sized, as in the 64-bit TWAIN binary interface; TW_INFO.Item is
// one of them, where the platform's older header still has 32 bits.
#pragma once

#include <stdint.h>

#ifdef _WIN32
#include <windows.h>
#define TWAIN_API WINAPI
#else
// Portable code (page rendering, profile parsing) only needs the constants
// and the plain structures.
#define TWAIN_API
#endif

#pragma pack(push, 2)

// String types include room for the terminating NUL.
typedef char TW_STR32[34], *pTW_STR32;
typedef char TW_STR64[66], *pTW_STR64;
typedef char TW_STR128[130], *pTW_STR128;
typedef char TW_STR255[256], *pTW_STR255;

typedef char TW_INT8, *pTW_INT8;
typedef short TW_INT16, *pTW_INT16;
typedef unsigned char TW_UINT8, *pTW_UINT8;
typedef unsigned short TW_UINT16, *pTW_UINT16;
typedef unsigned short TW_BOOL, *pTW_BOOL;
#ifdef _WIN32
typedef LONG TW_INT32, *pTW_INT32;
typedef ULONG TW_UINT32, *pTW_UINT32;
typedef HANDLE TW_HANDLE;
typedef LPVOID TW_MEMREF;
typedef UINT_PTR TW_UINTPTR;
#else
typedef int32_t TW_INT32, *pTW_INT32;
typedef uint32_t TW_UINT32, *pTW_UINT32;
typedef void* TW_HANDLE;
typedef void* TW_MEMREF;
typedef uintptr_t TW_UINTPTR;
#endif

typedef struct {
    TW_INT16 Whole;
    TW_UINT16 Frac;
} TW_FIX32, *pTW_FIX32;

typedef struct {
    TW_FIX32 Left;
    TW_FIX32 Top;
    TW_FIX32 Right;
    TW_FIX32 Bottom;
} TW_FRAME, *pTW_FRAME;

typedef struct {
    TW_UINT8 Index;
    TW_UINT8 Channel1;
    TW_UINT8 Channel2;
    TW_UINT8 Channel3;
} TW_ELEMENT8, *pTW_ELEMENT8;

typedef struct {
    TW_UINT32 Flags;
    TW_UINT32 Length;
    TW_MEMREF TheMem;
} TW_MEMORY, *pTW_MEMORY;

typedef struct {
    TW_UINT16 MajorNum;
    TW_UINT16 MinorNum;
    TW_UINT16 Language;
    TW_UINT16 Country;
    TW_STR32 Info;
} TW_VERSION, *pTW_VERSION;

typedef struct {
    TW_UINT32 Id;
    TW_VERSION Version;
    TW_UINT16 ProtocolMajor;
    TW_UINT16 ProtocolMinor;
    TW_UINT32 SupportedGroups;
    TW_STR32 Manufacturer;
    TW_STR32 ProductFamily;
    TW_STR32 ProductName;
} TW_IDENTITY, *pTW_IDENTITY;

typedef struct {
    TW_UINT16 Cap;
    TW_UINT16 ConType;
    TW_HANDLE hContainer;
} TW_CAPABILITY, *pTW_CAPABILITY;

typedef struct {
    TW_UINT16 ItemType;
    TW_UINT32 Item;
} TW_ONEVALUE, *pTW_ONEVALUE;

typedef struct {
    TW_UINT16 ItemType;
    TW_UINT32 NumItems;
    TW_UINT32 CurrentIndex;
    TW_UINT32 DefaultIndex;
    TW_UINT8 ItemList[1];
} TW_ENUMERATION, *pTW_ENUMERATION;

typedef struct {
    TW_UINT16 ItemType;
    TW_UINT32 NumItems;
    TW_UINT8 ItemList[1];
} TW_ARRAY, *pTW_ARRAY;

typedef struct {
    TW_UINT16 ItemType;
    TW_UINT32 MinValue;
    TW_UINT32 MaxValue;
    TW_UINT32 StepSize;
    TW_UINT32 DefaultValue;
    TW_UINT32 CurrentValue;
} TW_RANGE, *pTW_RANGE;

typedef struct {
    TW_MEMREF pEvent; // the application's MSG
    TW_UINT16 TWMessage;
} TW_EVENT, *pTW_EVENT;

typedef struct {
    TW_UINT16 ConditionCode;
    TW_UINT16 Reserved;
} TW_STATUS, *pTW_STATUS;

typedef struct {
    TW_BOOL ShowUI;
    TW_BOOL ModalUI;
    TW_HANDLE hParent;
} TW_USERINTERFACE, *pTW_USERINTERFACE;

typedef struct {
    TW_UINT16 Count;
    union {
        TW_UINT32 EOJ;
        TW_UINT32 Reserved;
    };
} TW_PENDINGXFERS, *pTW_PENDINGXFERS;

typedef struct {
    TW_FIX32 XResolution;
    TW_FIX32 YResolution;
    TW_INT32 ImageWidth;
    TW_INT32 ImageLength;
    TW_INT16 SamplesPerPixel;
    TW_INT16 BitsPerSample[8];
    TW_INT16 BitsPerPixel;
    TW_BOOL Planar;
    TW_INT16 PixelType;
    TW_UINT16 Compression;
} TW_IMAGEINFO, *pTW_IMAGEINFO;

typedef struct {
    TW_FRAME Frame;
    TW_UINT32 DocumentNumber;
    TW_UINT32 PageNumber;
    TW_UINT32 FrameNumber;
} TW_IMAGELAYOUT, *pTW_IMAGELAYOUT;

typedef struct {
    TW_UINT32 MinBufSize;
    TW_UINT32 MaxBufSize;
    TW_UINT32 Preferred;
} TW_SETUPMEMXFER, *pTW_SETUPMEMXFER;

typedef struct {
    TW_STR255 FileName;
    TW_UINT16 Format;
    TW_INT16 VRefNum;
} TW_SETUPFILEXFER, *pTW_SETUPFILEXFER;

typedef struct {
    TW_UINT16 Compression;
    TW_UINT32 BytesPerRow;
    TW_UINT32 Columns;
    TW_UINT32 Rows;
    TW_UINT32 XOffset;
    TW_UINT32 YOffset;
    TW_UINT32 BytesWritten;
    TW_MEMORY Memory;
} TW_IMAGEMEMXFER, *pTW_IMAGEMEMXFER;

typedef struct {
    TW_UINT16 NumColors;
    TW_UINT16 PaletteType;
    TW_ELEMENT8 Colors[256];
} TW_PALETTE8, *pTW_PALETTE8;

typedef struct {
    TW_UINT16 InfoID;
    TW_UINT16 ItemType;
    TW_UINT16 NumItems;
    TW_UINT16 CondCode; // TWRC_SUCCESS, TWRC_INFONOTSUPPORTED or TWRC_DATANOTAVAILABLE
    TW_UINTPTR Item;    // the data itself when it fits, else a global handle to it
} TW_INFO, *pTW_INFO;

typedef struct {
    TW_UINT32 NumInfos;
    TW_INFO Info[1];
} TW_EXTIMAGEINFO, *pTW_EXTIMAGEINFO;

#pragma pack(pop)

// Entry points.
typedef TW_UINT16(TWAIN_API* DSMENTRYPROC)(pTW_IDENTITY pOrigin, pTW_IDENTITY pDest, TW_UINT32 DG,
                                           TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF pData);
typedef TW_UINT16(TWAIN_API* DSENTRYPROC)(pTW_IDENTITY pOrigin, TW_UINT32 DG, TW_UINT16 DAT,
                                          TW_UINT16 MSG, TW_MEMREF pData);

// Container types.
#define TWON_ARRAY 3
#define TWON_ENUMERATION 4
#define TWON_ONEVALUE 5
#define TWON_RANGE 6
#define TWON_ICONID 962
#define TWON_DSMID 461
#define TWON_DSMCODEID 63
#define TWON_DONTCARE8 0xff
#define TWON_DONTCARE16 0xffff
#define TWON_DONTCARE32 0xffffffff

// Memory flags.
#define TWMF_APPOWNS 0x1
#define TWMF_DSMOWNS 0x2
#define TWMF_DSOWNS 0x4
#define TWMF_POINTER 0x8
#define TWMF_HANDLE 0x10

// Palette types.
#define TWPA_RGB 0
#define TWPA_GRAY 1
#define TWPA_CMY 2

// Item types.
#define TWTY_INT8 0x0000
#define TWTY_INT16 0x0001
#define TWTY_INT32 0x0002
#define TWTY_UINT8 0x0003
#define TWTY_UINT16 0x0004
#define TWTY_UINT32 0x0005
#define TWTY_BOOL 0x0006
#define TWTY_FIX32 0x0007
#define TWTY_FRAME 0x0008
#define TWTY_STR32 0x0009
#define TWTY_STR64 0x000a
#define TWTY_STR128 0x000b
#define TWTY_STR255 0x000c
#define TWTY_HANDLE 0x000f // a global handle (extended image information)

// Data groups.
#define DG_CONTROL 0x0001L
#define DG_IMAGE 0x0002L
#define DG_AUDIO 0x0004L

// Data argument types.
#define DAT_NULL 0x0000
#define DAT_CUSTOMBASE 0x8000
#define DAT_CAPABILITY 0x0001
#define DAT_EVENT 0x0002
#define DAT_IDENTITY 0x0003
#define DAT_PARENT 0x0004
#define DAT_PENDINGXFERS 0x0005
#define DAT_SETUPMEMXFER 0x0006
#define DAT_SETUPFILEXFER 0x0007
#define DAT_STATUS 0x0008
#define DAT_USERINTERFACE 0x0009
#define DAT_XFERGROUP 0x000a
#define DAT_TWUNKIDENTITY 0x000b
#define DAT_CUSTOMDSDATA 0x000c
#define DAT_DEVICEEVENT 0x000d
#define DAT_FILESYSTEM 0x000e
#define DAT_PASSTHRU 0x000f
#define DAT_IMAGEINFO 0x0101
#define DAT_IMAGELAYOUT 0x0102
#define DAT_IMAGEMEMXFER 0x0103
#define DAT_IMAGENATIVEXFER 0x0104
#define DAT_IMAGEFILEXFER 0x0105
#define DAT_CIECOLOR 0x0106
#define DAT_GRAYRESPONSE 0x0107
#define DAT_RGBRESPONSE 0x0108
#define DAT_JPEGCOMPRESSION 0x0109
#define DAT_PALETTE8 0x010a
#define DAT_EXTIMAGEINFO 0x010b
#define DAT_AUDIOFILEXFER 0x0201
#define DAT_AUDIOINFO 0x0202
#define DAT_AUDIONATIVEXFER 0x0203

// Messages.
#define MSG_NULL 0x0000
#define MSG_CUSTOMBASE 0x8000
#define MSG_GET 0x0001
#define MSG_GETCURRENT 0x0002
#define MSG_GETDEFAULT 0x0003
#define MSG_GETFIRST 0x0004
#define MSG_GETNEXT 0x0005
#define MSG_SET 0x0006
#define MSG_RESET 0x0007
#define MSG_QUERYSUPPORT 0x0008
#define MSG_XFERREADY 0x0101
#define MSG_CLOSEDSREQ 0x0102
#define MSG_CLOSEDSOK 0x0103
#define MSG_DEVICEEVENT 0x0104
#define MSG_CHECKSTATUS 0x0201
#define MSG_OPENDSM 0x0301
#define MSG_CLOSEDSM 0x0302
#define MSG_OPENDS 0x0401
#define MSG_CLOSEDS 0x0402
#define MSG_USERSELECT 0x0403
#define MSG_DISABLEDS 0x0501
#define MSG_ENABLEDS 0x0502
#define MSG_ENABLEDSUIONLY 0x0503
#define MSG_PROCESSEVENT 0x0601
#define MSG_ENDXFER 0x0701
#define MSG_STOPFEEDER 0x0702

// Return codes.
#define TWRC_CUSTOMBASE 0x8000
#define TWRC_SUCCESS 0
#define TWRC_FAILURE 1
#define TWRC_CHECKSTATUS 2
#define TWRC_CANCEL 3
#define TWRC_DSEVENT 4
#define TWRC_NOTDSEVENT 5
#define TWRC_XFERDONE 6
#define TWRC_ENDOFLIST 7
#define TWRC_INFONOTSUPPORTED 8
#define TWRC_DATANOTAVAILABLE 9

// Condition codes.
#define TWCC_CUSTOMBASE 0x8000
#define TWCC_SUCCESS 0
#define TWCC_BUMMER 1
#define TWCC_LOWMEMORY 2
#define TWCC_NODS 3
#define TWCC_MAXCONNECTIONS 4
#define TWCC_OPERATIONERROR 5
#define TWCC_BADCAP 6
#define TWCC_BADPROTOCOL 9
#define TWCC_BADVALUE 10
#define TWCC_SEQERROR 11
#define TWCC_BADDEST 12
#define TWCC_CAPUNSUPPORTED 13
#define TWCC_CAPBADOPERATION 14
#define TWCC_CAPSEQERROR 15
#define TWCC_DENIED 16
#define TWCC_FILEEXISTS 17
#define TWCC_FILENOTFOUND 18
#define TWCC_NOTEMPTY 19
#define TWCC_PAPERJAM 20
#define TWCC_PAPERDOUBLEFEED 21
#define TWCC_FILEWRITEERROR 22
#define TWCC_CHECKDEVICEONLINE 23

// Generic capabilities.
#define CAP_CUSTOMBASE 0x8000
#define CAP_XFERCOUNT 0x0001
#define ICAP_COMPRESSION 0x0100
#define ICAP_PIXELTYPE 0x0101
#define ICAP_UNITS 0x0102
#define ICAP_XFERMECH 0x0103
#define CAP_AUTHOR 0x1000
#define CAP_CAPTION 0x1001
#define CAP_FEEDERENABLED 0x1002
#define CAP_FEEDERLOADED 0x1003
#define CAP_TIMEDATE 0x1004
#define CAP_SUPPORTEDCAPS 0x1005
#define CAP_EXTENDEDCAPS 0x1006
#define CAP_AUTOFEED 0x1007
#define CAP_CLEARPAGE 0x1008
#define CAP_FEEDPAGE 0x1009
#define CAP_REWINDPAGE 0x100a
#define CAP_INDICATORS 0x100b
#define CAP_SUPPORTEDCAPSEXT 0x100c
#define CAP_PAPERDETECTABLE 0x100d
#define CAP_UICONTROLLABLE 0x100e
#define CAP_DEVICEONLINE 0x100f
#define CAP_AUTOSCAN 0x1010
#define CAP_THUMBNAILSENABLED 0x1011
#define CAP_DUPLEX 0x1012
#define CAP_DUPLEXENABLED 0x1013
#define CAP_ENABLEDSUIONLY 0x1014
#define CAP_CUSTOMDSDATA 0x1015
#define CAP_ENDORSER 0x1016
#define CAP_JOBCONTROL 0x1017
#define CAP_ALARMS 0x1018
#define CAP_ALARMVOLUME 0x1019
#define CAP_AUTOMATICCAPTURE 0x101a
#define CAP_TIMEBEFOREFIRSTCAPTURE 0x101b
#define CAP_TIMEBETWEENCAPTURES 0x101c
#define CAP_CLEARBUFFERS 0x101d
#define CAP_MAXBATCHBUFFERS 0x101e
#define CAP_DEVICETIMEDATE 0x101f
#define CAP_POWERSUPPLY 0x1020
#define CAP_CAMERAPREVIEWUI 0x1021
#define CAP_DEVICEEVENT 0x1022
#define CAP_SERIALNUMBER 0x1024
#define CAP_PRINTER 0x1026
#define CAP_PRINTERENABLED 0x1027
#define CAP_PRINTERINDEX 0x1028
#define CAP_PRINTERMODE 0x1029
#define CAP_PRINTERSTRING 0x102a
#define CAP_PRINTERSUFFIX 0x102b
#define CAP_LANGUAGE 0x102c
#define CAP_FEEDERALIGNMENT 0x102d
#define CAP_FEEDERORDER 0x102e
#define CAP_REACQUIREALLOWED 0x1030
#define CAP_BATTERYMINUTES 0x1032
#define CAP_BATTERYPERCENTAGE 0x1033

// Image capabilities.
#define ICAP_AUTOBRIGHT 0x1100
#define ICAP_BRIGHTNESS 0x1101
#define ICAP_CONTRAST 0x1103
#define ICAP_CUSTHALFTONE 0x1104
#define ICAP_EXPOSURETIME 0x1105
#define ICAP_FILTER 0x1106
#define ICAP_FLASHUSED 0x1107
#define ICAP_GAMMA 0x1108
#define ICAP_HALFTONES 0x1109
#define ICAP_HIGHLIGHT 0x110a
#define ICAP_IMAGEFILEFORMAT 0x110c
#define ICAP_LAMPSTATE 0x110d
#define ICAP_LIGHTSOURCE 0x110e
#define ICAP_ORIENTATION 0x1110
#define ICAP_PHYSICALWIDTH 0x1111
#define ICAP_PHYSICALHEIGHT 0x1112
#define ICAP_SHADOW 0x1113
#define ICAP_FRAMES 0x1114
#define ICAP_XNATIVERESOLUTION 0x1116
#define ICAP_YNATIVERESOLUTION 0x1117
#define ICAP_XRESOLUTION 0x1118
#define ICAP_YRESOLUTION 0x1119
#define ICAP_MAXFRAMES 0x111a
#define ICAP_TILES 0x111b
#define ICAP_BITORDER 0x111c
#define ICAP_CCITTKFACTOR 0x111d
#define ICAP_LIGHTPATH 0x111e
#define ICAP_PIXELFLAVOR 0x111f
#define ICAP_PLANARCHUNKY 0x1120
#define ICAP_ROTATION 0x1121
#define ICAP_SUPPORTEDSIZES 0x1122
#define ICAP_THRESHOLD 0x1123
#define ICAP_XSCALING 0x1124
#define ICAP_YSCALING 0x1125
#define ICAP_BITORDERCODES 0x1126
#define ICAP_PIXELFLAVORCODES 0x1127
#define ICAP_JPEGPIXELTYPE 0x1128
#define ICAP_TIMEFILL 0x112a
#define ICAP_BITDEPTH 0x112b
#define ICAP_BITDEPTHREDUCTION 0x112c
#define ICAP_UNDEFINEDIMAGESIZE 0x112d
#define ICAP_IMAGEDATASET 0x112e
#define ICAP_EXTIMAGEINFO 0x112f
#define ICAP_MINIMUMHEIGHT 0x1130
#define ICAP_MINIMUMWIDTH 0x1131
#define ICAP_FLIPROTATION 0x1136
#define ICAP_BARCODEDETECTIONENABLED 0x1137
#define ICAP_SUPPORTEDBARCODETYPES 0x1138
#define ICAP_BARCODEMAXSEARCHPRIORITIES 0x1139
#define ICAP_BARCODESEARCHPRIORITIES 0x113a
#define ICAP_BARCODESEARCHMODE 0x113b
#define ICAP_BARCODEMAXRETRIES 0x113c
#define ICAP_BARCODETIMEOUT 0x113d
#define ICAP_ZOOMFACTOR 0x113e
#define ICAP_AUTOMATICBORDERDETECTION 0x1150
#define ICAP_AUTOMATICDESKEW 0x1151
#define ICAP_AUTOMATICROTATE 0x1152
#define ICAP_JPEGQUALITY 0x1153

// Extended image information ids used by the engine.
#define TWEI_BARCODEX 0x1200
#define TWEI_BARCODEY 0x1201
#define TWEI_BARCODETEXT 0x1202
#define TWEI_BARCODETYPE 0x1203
#define TWEI_BARCODECOUNT 0x1219
#define TWEI_BARCODETEXTLENGTH 0x121c

// Compression (ICAP_COMPRESSION).
#define TWCP_NONE 0
#define TWCP_PACKBITS 1
#define TWCP_GROUP31D 2
#define TWCP_GROUP31DEOL 3
#define TWCP_GROUP32D 4
#define TWCP_GROUP4 5
#define TWCP_JPEG 6
#define TWCP_LZW 7
#define TWCP_JBIG 8
#define TWCP_PNG 9
#define TWCP_RLE4 10
#define TWCP_RLE8 11
#define TWCP_BITFIELDS 12

// Pixel types (ICAP_PIXELTYPE).
#define TWPT_BW 0
#define TWPT_GRAY 1
#define TWPT_RGB 2
#define TWPT_PALETTE 3
#define TWPT_CMY 4
#define TWPT_CMYK 5
#define TWPT_YUV 6
#define TWPT_YUVK 7
#define TWPT_CIEXYZ 8

// Units (ICAP_UNITS).
#define TWUN_INCHES 0
#define TWUN_CENTIMETERS 1
#define TWUN_PICAS 2
#define TWUN_POINTS 3
#define TWUN_TWIPS 4
#define TWUN_PIXELS 5

// Transfer mechanisms (ICAP_XFERMECH).
#define TWSX_NATIVE 0
#define TWSX_FILE 1
#define TWSX_MEMORY 2

// File formats (ICAP_IMAGEFILEFORMAT).
#define TWFF_TIFF 0
#define TWFF_PICT 1
#define TWFF_BMP 2
#define TWFF_XBM 3
#define TWFF_JFIF 4
#define TWFF_FPX 5
#define TWFF_TIFFMULTI 6
#define TWFF_PNG 7
#define TWFF_SPIFF 8
#define TWFF_EXIF 9

// Page sizes (ICAP_SUPPORTEDSIZES).
#define TWSS_NONE 0
#define TWSS_A4LETTER 1
#define TWSS_B5LETTER 2
#define TWSS_USLETTER 3
#define TWSS_USLEGAL 4
#define TWSS_A5 5
#define TWSS_B4 6
#define TWSS_B6 7
#define TWSS_USLEDGER 9
#define TWSS_USEXECUTIVE 10
#define TWSS_A3 11
#define TWSS_B3 12
#define TWSS_A6 13
#define TWSS_C4 14
#define TWSS_C5 15
#define TWSS_C6 16
#define TWSS_4A0 17
#define TWSS_2A0 18
#define TWSS_A0 19
#define TWSS_A1 20
#define TWSS_A2 21
#define TWSS_A4 TWSS_A4LETTER
#define TWSS_A7 22
#define TWSS_A8 23
#define TWSS_A9 24
#define TWSS_A10 25
#define TWSS_ISOB0 26
#define TWSS_ISOB1 27
#define TWSS_ISOB2 28
#define TWSS_ISOB3 TWSS_B3
#define TWSS_ISOB4 TWSS_B4
#define TWSS_ISOB5 29
#define TWSS_ISOB6 TWSS_B6
#define TWSS_JISB5 TWSS_B5LETTER
#define TWSS_BUSINESSCARD 53

// Job control (CAP_JOBCONTROL).
#define TWJC_NONE 0
#define TWJC_JSIC 1
#define TWJC_JSIS 2
#define TWJC_JSXC 3
#define TWJC_JSXS 4

// Duplex (CAP_DUPLEX).
#define TWDX_NONE 0
#define TWDX_1PASSDUPLEX 1
#define TWDX_2PASSDUPLEX 2

// Bit order and pixel flavour.
#define TWBO_LSBFIRST 0
#define TWBO_MSBFIRST 1
#define TWPF_CHOCOLATE 0
#define TWPF_VANILLA 1

// Languages and countries used in identities.
#define TWLG_USA 13
#define TWLG_ENGLISH 2
#define TWCY_USA 1

// Protocol version.
#define TWON_PROTOCOLMINOR 9
#define TWON_PROTOCOLMAJOR 1

#ifdef __cplusplus
// Bytes of one item of a TWTY_ type inside a container; 0 for an unknown type.
inline unsigned TwainItemSize(unsigned type) {
    // Indexed by TWTY_INT8 .. TWTY_STR255.
    static const unsigned short kSizes[] = {1, 2, 4, 1, 2, 4, 2, 4, 16, 34, 66, 130, 256};
    return type < sizeof kSizes / sizeof kSizes[0] ? kSizes[type] : 0;
}
#endif
