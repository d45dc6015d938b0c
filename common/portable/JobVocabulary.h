// The job record's vocabulary: function ids, key names, file types and the
// mappings the runner applies to stored values. No Windows needed.
#pragma once
#include <cstdint>
#include <string>

#include "contracts/PdfMaker.h"

enum JobFunctionId : long {
    SCAN_TO_PC = 0,
    SCAN_TO_MAIL = 1,
    SCAN_TO_PR = 2,
    SCAN_TO_PC_RUNAPP = 3,
    SCAN_TO_MAPI = 4,
};

namespace vlm {

constexpr long kMinJobNumber = 1;
constexpr long kMaxJobNumber = 99;
// A number the store can hold a job under (1..99).
bool IsJobNumber(long jobNumber);

// English display name (localise at the point of use); nullptr for other ids.
const char* FunctionDisplayName(long functionId);
bool IsKnownFunction(long functionId);

// "LastJobNum" is written as 1 for numbers outside 1..99.
long LastJobNumberToStore(long jobNumber);

// Per-job keys (IJobData).
constexpr const char kKeyTitle[] = "title";
constexpr const char kKeyFunctionId[] = "function id";
constexpr const char kKeyFunctionIdName[] = "function id name";
constexpr const char kKeySave[] = "save";
constexpr const char kKeyMyPicture[] = "mypicture";
constexpr const char kKeySavePath[] = "save_path";
constexpr const char kKeyUserName[] = "username";
constexpr const char kKeyPassword[] = "password";
constexpr const char kKeyFileName[] = "filename";
constexpr const char kKeyFileType[] = "filetype";
constexpr const char kKeyTiffComp[] = "tiff_Comp";
constexpr const char kKeyTiffMultiPage[] = "tiff_MultiPage";
constexpr const char kKeyPdfMultiPage[] = "pdf_MultiPage";
constexpr const char kKeyPdfOcrLangId[] = "pdf_OCRLangID";
constexpr const char kKeyPdfAddOcr[] = "pdf_AddOCR";
constexpr const char kKeyPdfCompRate[] = "pdf_CompRate";
constexpr const char kKeyPdfUserPassword[] = "pdf_UserPassword";
constexpr const char kKeyPdfOwnerPassword[] = "pdf_OwnerPassword";
constexpr const char kKeyPdfCryptLevel[] = "pdf_CryptLevel";
constexpr const char kKeyPdfFlag[] = "pdf_Flag";
constexpr const char kKeyPdfPdfA[] = "pdf_PDFA"; // 1: the documents are PDF/A
constexpr const char kKeyJpegComp[] = "jpeg_Comp";
constexpr const char kKeyDriver[] = "driver";
constexpr const char kKeyDevMode[] = "devmode";
constexpr const char kKeyDevName[] = "devname";
constexpr const char kKeyFlags[] = "Flags";
constexpr const char kKeyFromPage[] = "nFromPage";
constexpr const char kKeyToPage[] = "nToPage";
constexpr const char kKeyMinPage[] = "nMinPage";
constexpr const char kKeyMaxPage[] = "nMaxPage";
constexpr const char kKeyCopies[] = "nCopies";
constexpr const char kKeyPrintSize[] = "printsize";
constexpr const char kKeyPrinterName[] = "printername"; // the device name in "devname", for display
constexpr const char kKeyAppPath[] = "app path";
constexpr const char kKeyFrom[] = "from";
constexpr const char kKeySend[] = "send";
constexpr const char kKeySubject[] = "subject";
constexpr const char kKeyText[] = "text";

// Store-wide keys (IJobStore).
constexpr const char kKeyLastJobNum[] = "LastJobNum";
constexpr const char kKeyMailSize[] = "MailSize";
constexpr const char kKeyMonitorOpen[] = "MonitorOpen";
constexpr const char kKeyDisplayWarningFmt[] = "DisplayWarning%d"; // %d = 0..4
constexpr const char kKeyMonitorPathFmt[] = "MonitorPath%d";
constexpr const char kKeyWarningSizeFmt[] = "WarningSize%d";
constexpr const char kKeySmtpServerName[] = "SMTPServerName";
constexpr const char kKeySmtpUserName[] = "username";
constexpr const char kKeySmtpPassword[] = "password";
constexpr const char kKeySmtpId[] = "SMTP_ID";
constexpr const char kKeySmtpAllowSelfSigned[] = "SMTPAllowSelfSigned";
constexpr const char kKeySmtpRequireTls[] = "SMTPRequireTLS";
constexpr int kFolderWarnings = 5;
// "DisplayWarning3" and the like; index outside 0..4 gives "".
std::string WarningKey(const char* fmt, int index);

// Print dialog flags are stored with these bits cleared.
constexpr uint32_t kPrintFlagsClearedBits = 0x3F400;

// File types: 0 "BMP", 1 "JPEG", 2 "PDF", 3 "TIFF", other "UNKNOWN".
const char* FileTypeName(long fileType);
// Case-insensitive comparison of file type names.
bool SameFileType(const std::string& a, const char* b);
// ".bmp", ".jpg", ".pdf", ".tif"; "" for an unknown type.
const char* FileTypeExtension(const std::string& typeName);

// "pdf_CompRate": 1 -> 2, 2 -> 3, anything else 0.
int PdfCompressionCode(long compRate);
// "pdf_OCRLangID" index -> language code and second value; "pdf_AddOCR" zero
// sets bit 0x80000000 in the code.
struct OcrLanguage {
    uint32_t m_dwCode;
    uint32_t m_dwSecond;
};
OcrLanguage OcrLanguageFor(long index, long addOcr);
constexpr uint32_t kOcrNotAddedBit = 0x80000000u;

// A job's PDF protection and archive settings as the PDF maker takes them
// (contracts/PdfMaker.h). Passwords are UTF-8; empty means none.
struct PdfProtection {
    std::string m_strUserPassword;             // "pdf_UserPassword"
    std::string m_strOwnerPassword;            // "pdf_OwnerPassword"
    long m_nPermissions = pdfmaker::kAllowAll; // "pdf_Flag"; absent = all allowed
    long m_nCryptLevel = 0;                    // "pdf_CryptLevel"
    bool m_bPdfA = false;                      // "pdf_PDFA"
    // A stored password this user cannot unseal (damaged, or sealed for
    // someone else): no document may be made, lest it go out unprotected.
    bool m_bPasswordUnreadable = false;
    bool HasPassword() const { return !m_strUserPassword.empty() || !m_strOwnerPassword.empty(); }
};

// "MailSize" megabytes -> bytes (shifted left by 20). Negative sizes give 0.
int64_t MailSizeBytes(long megabytes);
// "WarningSize%d" megabytes -> 64-bit byte count.
uint64_t WarningSizeBytes(long megabytes);

} // namespace vlm
