// The plain C entry points of the PDF maker pafcv2.dll. One document is open at
// a time; pages are written out as they are made.
#pragma once

#include <cstdint>

extern "C" {

// Page record handed to PAFC_make. The row pointer is pointer-sized so that the
// record works in 64-bit processes; the other fields are 32-bit.
struct PAFC_PAGE {
    const unsigned char* rows; // top-down
    int32_t stride;            // bytes per row
    int32_t width;
    int32_t height;
    int32_t dpi;
    int32_t type; // 1 bilevel (1 = black), 2 grey, 3 colour (B,G,R)
};

// Results: 0 success, negative failure.
constexpr int PAFC_OK = 0;
constexpr int PAFC_ERR_ARGUMENT = -1;
constexpr int PAFC_ERR_NOT_OPEN = -2;
constexpr int PAFC_ERR_IO = -3;
constexpr int PAFC_ERR_UNSUPPORTED = -4;

// Settings for the next PAFC_open: compression code (0 normal, 2 high
// compression, 3 character precedence), text recognition language flags and
// extra flags (recorded in the document information; no recognition is run).
int vlm_PAFC_exmodeset(int compression, int languageFlags, int extraFlags);
// Starts a document; a document still open is finished first.
int vlm_PAFC_open(const char* path);
int vlm_PAFC_make(const PAFC_PAGE* page, int reserved);
// Bytes written so far to the open (or last closed) document; capped at INT32_MAX.
int vlm_PAFC_getFileSize(int32_t* size);
int vlm_PAFC_close(void);
// Protection and PDF/A settings for the next PAFC_open (contracts/PdfMaker.h):
// one setting a call, UTF-8 text. A refused password also makes the following
// PAFC_open answer PAFC_ERR_ARGUMENT (no file), until the setting is given
// again or reset, so that a job never goes on without the protection it asked
// for. PAFC_open answers kErrConflict, without a file, for PDF/A with a password.
int vlm_PAFC_modeset(int mode, const char* value);
}
