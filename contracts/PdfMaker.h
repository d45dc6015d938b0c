// Settings the runner hands to the PDF maker (pafcv2.dll) through
// PAFC_modeset, beside the compression and recognition settings of
// PAFC_exmodeset. Both sides include this header.
//
//   int PAFC_modeset(int mode, const char* value);
//
// Each call sets one setting for the next PAFC_open; settings stay until they
// are changed or reset. Values are UTF-8 text: passwords as they are, numbers
// in decimal. Results are the maker's usual codes (0 success, negative
// failure); an unknown mode answers PAFC_ERR_UNSUPPORTED (-4), a value the
// maker cannot take (a password too long or with characters the security
// handler cannot carry, a number out of range) PAFC_ERR_ARGUMENT (-1).
#pragma once

namespace vlm::pdfmaker {

enum PdfMakerMode : int {
    kModeReset = 0,         // value ignored: no protection, not PDF/A
    kModeUserPassword = 1,  // password to open the document; null or "" none
    kModeOwnerPassword = 2, // password for the permissions; null or "" none
    kModePermissions = 3,   // the job's "pdf_Flag": kAllow* bits
    kModeCryptLevel = 4,    // the job's "pdf_CryptLevel": kCrypt* values
    kModePdfA = 5,          // "1" makes the next document PDF/A-2b, "0" not
};

// "pdf_Flag": what a reader may do without the permissions password.
constexpr unsigned kAllowPrint = 0x1;
constexpr unsigned kAllowCopy = 0x2;
constexpr unsigned kAllowChange = 0x4;
constexpr unsigned kAllowAll = kAllowPrint | kAllowCopy | kAllowChange; // key absent

// "pdf_CryptLevel": AES-256 is the only level offered; every value means it.
constexpr int kCryptAes256 = 0;

// PAFC_open's answer when the settings exclude each other (PDF/A with a
// password): no file is created.
constexpr int kErrConflict = -5;

// Optional export: what the maker has to tell the caller's run log since the
// last call, lines separated by '\n' ("OCR language data missing: jpn" when a
// recognition language's data is not installed; the document is then made
// without text). NUL-terminated and cut to size; the result is the length
// copied, 0 when there is nothing. Callers that find it call it after
// PAFC_open and after PAFC_close.
//
//   int PAFC_getMessage(char* buffer, int size);
inline constexpr char kGetMessageExport[] = "PAFC_getMessage";
using PfnGetMessage = int (*)(char* buffer, int size);

} // namespace vlm::pdfmaker
