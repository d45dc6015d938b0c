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
// extra flags (see ocrengine.h; 0x80000000 in the language flags: no
// recognition). Both are recorded in the document information.
int vlm_PAFC_exmodeset(int compression, int languageFlags, int extraFlags);
// Starts a document; a document still open is finished first. With
// recognition on, the workers start loading their languages.
int vlm_PAFC_open(const char* path);
// Writes the page's image; with recognition on, queues the page for its text
// (waiting while the queue is full) and returns.
int vlm_PAFC_make(const PAFC_PAGE* page, int reserved);
// The open (or last closed) document's size so far: the bytes written, plus an
// estimate of the text of pages still being recognised; capped at INT32_MAX.
int vlm_PAFC_getFileSize(int32_t* size);
// Waits for the last page's text and finishes the document.
int vlm_PAFC_close(void);
// What the caller should log since the last call ("OCR language data
// missing: jpn"), NUL-terminated and cut to size; the length copied, 0 when
// there is nothing. Optional export, see contracts/PdfMaker.h.
int vlm_PAFC_getMessage(char* buffer, int size);
// The language data folder when VLM_TESSDATA is not set (the DLL's own
// "tessdata" folder).
void vlm_PAFC_setLanguageFolder(const char* folder);
// Protection and PDF/A settings for the next PAFC_open (contracts/PdfMaker.h):
// one setting a call, UTF-8 text. A refused password also makes the following
// PAFC_open answer PAFC_ERR_ARGUMENT (no file), until the setting is given
// again or reset, so that a job never goes on without the protection it asked
// for. PAFC_open answers kErrConflict, without a file, for PDF/A with a password.
int vlm_PAFC_modeset(int mode, const char* value);
}
