// Vendor extensions of the VX-410 TWAIN data source, shared by the data
// source and the scan engine: the vendor operation and extended-error
// triplets, the CCAP_VLM_ capabilities and the extended error codes.
#pragma once

#include "twain19.h"

#include <stddef.h>

// Product name the engine looks for when it enumerates sources.
#define VLM_DS_PRODUCTNAME "Velmora VX-410 TWAIN"
#define VLM_DS_MANUFACTURER "Velmora Works Inc."
#define VLM_DS_PRODUCTFAMILY "VX-400 Series"

// Vendor triplets (all DG_CONTROL, sent to the open source).
#define DAT_VLM_VENDOROP 0x8001 // with MSG_VLM_VENDOROP and a VendorOpRecord
#define MSG_VLM_VENDOROP 0x8001
#define DAT_VLM_EXTERROR 0x8002 // with MSG_GET and a TW_UINT32 that receives the code

// Condition code meaning "read the extended error (DAT_VLM_EXTERROR)".
#define TWCC_VLM_EXTERROR 0x8001

// Vendor operation codes (VendorOpRecord::OpCode).
#define VLMOP_GETERRORTEXT 0x0220  // Arg1 error code, Arg2 char* buffer (at least 1012 bytes)
#define VLMOP_GETITEMVALUE 0x0310  // Arg1 item | (subindex << 16), Arg2 TW_INT32* result
#define VLMOP_GETITEMBYTES 0x0312  // Arg1 item | (length << 16), Arg2 char* buffer
#define VLMOP_SETITEMSTRING 0x0320 // Arg1 item, Arg2 const char* text
#define VLMOP_SETITEMVALUE 0x0321  // Arg1 item | (subindex << 16), Arg2 the value
#define VLMOP_RESET 0x0340         // Arg1 0: factory settings
#define VLMOP_SAVEPROFILE 0x0346   // Arg1 const char* section, Arg2 const char* file path
#define VLMOP_LOADPROFILE 0x0347   // Arg1 const char* section, Arg2 const char* file path

// Vendor items reached through VLMOP_GETITEMVALUE.
#define VLMITEM_EXTIMAGEINFO 0x069B // 1 when barcode reading is on

// Extended image information (DAT_EXTIMAGEINFO): an entry's data lies in
// TW_INFO.Item itself when it is one item that fits there, else in a global
// handle in Item, which the application frees. Barcode texts
// (TWEI_BARCODETEXT) lie one after another, each as long as the
// TWEI_BARCODETEXTLENGTH entry of the same request says; the other barcode
// entries are TWTY_UINT32 items.
inline bool TwInfoDataInItem(unsigned numItems, size_t cbData) {
    return numItems <= 1 && cbData <= sizeof(TW_UINTPTR);
}

// Section name of the settings profile text.
#define VLM_PROFILE_SECTION "CustomDsData"

// Vendor operation record (DAT_VLM_VENDOROP). 64-bit adaptation: the two
// arguments carry addresses (buffers, strings, paths), so they are
// pointer-sized, and an explicit pad keeps them 8-byte aligned whatever
// packing the includer uses. 32 bytes on Win64 (20 on a 32-bit build).
#pragma pack(push, 8)
typedef struct {
    TW_UINT32 Reserved0;
    TW_INT32 Result; // 0 on entry; the source's outcome (0 success, else a TWCC_ or extended code)
    TW_UINT16 OpCode;
    TW_UINT16 Reserved1;
#if defined(_WIN64) || (defined(__SIZEOF_POINTER__) && __SIZEOF_POINTER__ == 8)
    TW_UINT32 Reserved2; // pads Arg1 to 8 bytes
#endif
    uintptr_t Arg1;
    uintptr_t Arg2;
} VendorOpRecord, *pVendorOpRecord;
#pragma pack(pop)

#ifdef __cplusplus
static_assert(offsetof(VendorOpRecord, OpCode) == 8, "vendor record layout");
static_assert(sizeof(void*) != 8 ||
                  (offsetof(VendorOpRecord, Arg1) == 16 && sizeof(VendorOpRecord) == 32),
              "vendor record layout (64-bit)");
static_assert(sizeof(void*) != 4 ||
                  (offsetof(VendorOpRecord, Arg1) == 12 && sizeof(VendorOpRecord) == 20),
              "vendor record layout (32-bit)");
#endif

// Vendor capabilities: TWTY_INT32 one-values unless noted.
#define CCAP_VLM_DETECTPAGESIZE 0x8000
#define CCAP_VLM_BLANKSKIP 0x8001  // TWTY_UINT32
#define CCAP_VLM_MANUALFEED 0x8003 // TWTY_UINT32
#define CCAP_VLM_MARGIN 0x8006
#define CCAP_VLM_DROPOUT 0x8008
#define CCAP_VLM_DETECTJOBSEPTYPE 0x800A // TWTY_UINT32
#define CCAP_VLM_AUTOJOBSEP 0x800F       // TWTY_UINT32
#define CCAP_VLM_TEXTENHANCE 0x8029
#define CCAP_VLM_COLORENHANCE 0x8032 // colour enhancement half of the drop-out setting
#define CCAP_VLM_WINDOW 0x8034
#define CCAP_VLM_WINDOWCOUNTFRONT 0x8049
#define CCAP_VLM_WINDOWCOUNTBACK 0x804A
#define CCAP_VLM_JOBCONTROLDIALOG 0x805A // TWTY_VLM_ADDRESS of a VlmJobControlDialog
#define CCAP_VLM_TEXTENHANCE_MODE 0x805D
#define CCAP_VLM_FEEDER_AUTO 0x805E     // TWTY_UINT32
#define CCAP_VLM_FEEDERMAXWIDTH 0x805F  // millimetres
#define CCAP_VLM_FEEDERMAXLENGTH 0x8060 // millimetres
#define CCAP_VLM_YIELDPROC 0x8061       // TWTY_VLM_ADDRESS of a VLMYIELDPROC
#define CCAP_VLM_DOCUMENT_PLACE 0x8062  // 0 auto, 1 flatbed, 2 feeder
#define CCAP_VLM_LASTPAGE_SIDE 0x8063   // 0 front, 1 back
#define CCAP_VLM_DISABLEITEM 0x8064     // 7 greys out items of the settings window
#define CCAP_VLM_VENDORFLAG 0x8100      // TWTY_BOOL

// The model's other capabilities (named in the scan trace; the engine does
// not set them).
#define CCAP_VLM_BLANKSKIPSLICE 0x8002
#define CCAP_VLM_AUTOSTARTDELAY 0x8004
#define CCAP_VLM_SCANSPEED 0x8005
#define CCAP_VLM_MARGINLENGTH 0x8007
#define CCAP_VLM_EDGEEMPHASIS 0x8009
#define CCAP_VLM_NOISEFILTER 0x800B
#define CCAP_VLM_NOTCHFILTER 0x800C
#define CCAP_VLM_DESKEW 0x800D
#define CCAP_VLM_REVERSESCANTYPE 0x800E
#define CCAP_VLM_SCANMODE 0x8010
#define CCAP_VLM_EDGEEMPHASISENABLED 0x8011
#define CCAP_VLM_LASTERROR 0x8012
#define CCAP_VLM_JOBSEPDETECTED 0x8013
#define CCAP_VLM_AEADJUSTMENT 0x8014
#define CCAP_VLM_PANELTYPE 0x8015
#define CCAP_VLM_PANELMODE 0x8016
#define CCAP_VLM_PRESCANMODE 0x8017
#define CCAP_VLM_PRESCAN 0x8018
#define CCAP_VLM_NOPAGETIMEOUT 0x8019
#define CCAP_VLM_BLANKSKIPSLICE2 0x801A
#define CCAP_VLM_PATCHCODEENABLE 0x801B
#define CCAP_VLM_PATCHORIENTATION 0x801C
#define CCAP_VLM_BATCHNUM 0x801D
#define CCAP_VLM_FILENUM 0x801E
#define CCAP_VLM_PAGENUM 0x801F
#define CCAP_VLM_FILMUSE 0x8020
#define CCAP_VLM_FILMADDRESSMODE 0x8021
#define CCAP_VLM_FILMPARAMS 0x8022
#define CCAP_VLM_CARTRIDGENUM 0x8023
#define CCAP_VLM_DETECTPATCHTYPE 0x8024
#define CCAP_VLM_CROPDETECT 0x8025
#define CCAP_VLM_CROPMETHOD 0x8026
#define CCAP_VLM_PRINTCOUNT 0x8027
#define CCAP_VLM_OPTIONUNIT 0x8028
#define CCAP_VLM_SCANNERBUTTON 0x802A
#define CCAP_VLM_MEDIANFILTER 0x802B
#define CCAP_VLM_NEGAPOSI 0x8030
#define CCAP_VLM_BORDERMODE 0x8031
#define CCAP_VLM_AREA_XPOSITION 0x804D
#define CCAP_VLM_AREA_YPOSITION 0x804E
#define CCAP_VLM_PAGESIZE_LEGAL 0x804F
#define CCAP_VLM_PAGESIZE_ROTATED 0x8050

// 64-bit adaptation: a capability that carries an address uses this item
// type in a TW_ONEVALUE_ADDRESS, so the source reads the whole 64-bit value
// instead of the 32-bit Item of TW_ONEVALUE. The source refuses 32-bit item
// types for these capabilities on a 64-bit build (TWCC_BADVALUE).
#define TWTY_VLM_ADDRESS 0x8001

#pragma pack(push, 2)
typedef struct {
    TW_UINT16 ItemType; // TWTY_VLM_ADDRESS
    uintptr_t Item;
} TW_ONEVALUE_ADDRESS, *pTW_ONEVALUE_ADDRESS;
#pragma pack(pop)

#ifdef __cplusplus
static_assert(offsetof(TW_ONEVALUE_ADDRESS, Item) == 2, "address one-value layout");
#endif

// The yield procedure: called by the source during transfers; nonzero
// cancels the batch (the transfer ends with TWRC_CANCEL and the extended
// error VLM_EXTERR_CANCELLED).
#ifdef _WIN32
typedef int(WINAPI* VLMYIELDPROC)(void);
#else
typedef int (*VLMYIELDPROC)(void);
#endif

// Job control dialog record (CCAP_VLM_JOBCONTROLDIALOG); 64-bit adaptation:
// the parent window is pointer-sized.
#pragma pack(push, 8)
typedef struct {
    TW_UINT32 Size; // sizeof(VlmJobControlDialog)
    TW_HANDLE hParent;
    TW_INT32 Value;
    TW_INT32 Reserved;
} VlmJobControlDialog;
#pragma pack(pop)

// Extended error codes (DAT_VLM_EXTERROR); the low word identifies the error.
#define VLM_EXTERR_NONE 0x00000000u
#define VLM_EXTERR_NOPAPER 0xFFFFEECFu    // -4401
#define VLM_EXTERR_COVEROPEN 0xFFFFEECEu  // -4402
#define VLM_EXTERR_PAPERJAM 0xFFFFEEB6u   // -4426
#define VLM_EXTERR_LOWMEMORY 0xFFFFEE6Cu  // -4500 (not enough memory for the page)
#define VLM_EXTERR_CANCELLED 0xFFFFEE52u  // -4526
#define VLM_EXTERR_DOUBLEFEED 0xFFFFEDF5u // -4619
#define VLM_EXTERR_LAMP 0xFFFFEDE1u       // -4639
#define VLM_EXTERR_HARDWARE 0xFFFFEDE0u   // -4640 (diagnostic error)
#define VLM_EXTERR_NOTREADY 0xFFFFEDDFu   // -4641 (device state unreadable)
