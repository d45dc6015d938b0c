// What the scan engine hands to the receiver of the page messages. Fields that
// carry an address are pointer-sized (this is a 64-bit build); every other
// field keeps its 32-bit width so the order and meaning stay those of the
// 32-bit records the receivers were written against.
#pragma once
#include <cstdint>

// Image descriptor of one page or piece.
struct VlmImageInfo {
    uint32_t dwReserved1; // copied as is
    uint8_t* lpImage;     // page image (memory transfer), null otherwise; pointer-sized
    int32_t XPos;
    int32_t YPos;
    int32_t Width;        // pixels; -1 for compressed data
    int32_t Height;       // rows; -1 for compressed data
    uint32_t Sync;        // bytes per row, padded to 32 bits
    uint32_t ImageSize;   // Height x Sync, or the byte count of compressed data
    uint32_t Bps;         // bits per sample
    uint32_t Spp;         // samples per pixel
    uint32_t dwReserved2; // copied as is
    uint32_t XRes;
    uint32_t YRes;
};

// The page information (lParam of 0x8001 / 0x8034).
struct VlmPageInfo {
    VlmImageInfo vlminfo;
    void* hDib; // global-memory DIB from native transfer; pointer-sized
    uint32_t dwReserved3;
    uint32_t EndOfJob; // TW_PENDINGXFERS.EOJ read after the image
    uint32_t Aborted;  // 1 when the image did not arrive whole; the receiver may change it
    uint32_t WindowNo; // CCAP_VLM_WINDOW read before the image
    uint32_t ScanResolution;
    uint32_t Side;  // 0 front, 1 back
    void* pBarcode; // VlmBarcodeList or null; pointer-sized
};

// The page message record (wParam of 0x8001 / 0x8034).
struct VlmPageMessage {
    const char* pszPromptText;    // pointer-sized
    const char* pszPromptCaption; // pointer-sized
    uint32_t PromptFlag;          // set by the receiver of 0x8001 to ask for a prompt
    uint32_t AnswerNo;            // set to 0 when the user answers No
    uint32_t AnswerCancel;        // 0 on entry, 1 when the user answers Cancel
    void* pDriver;                // the driver (CScanDriver*); pointer-sized
};

// Barcode list: one block, a count then that many entries.
struct VlmBarcodeEntry {
    uint32_t Type;
    char Text[256];
};
struct VlmBarcodeList {
    uint32_t Count;
    VlmBarcodeEntry Entry[1]; // Count entries follow
};

// Rows padded to 32 bits, as every page buffer is laid out; 0 when such a
// row would not fit in 32 bits (Sync is 32 bits: no page may have one).
inline uint32_t VlmSyncBytes(uint32_t width, uint32_t bitsPerPixel) {
    const uint64_t n = (uint64_t(width) * bitsPerPixel + 31) / 32 * 4;
    return n <= UINT32_MAX ? static_cast<uint32_t>(n) : 0;
}
