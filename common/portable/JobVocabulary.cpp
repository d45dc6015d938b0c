#include "JobVocabulary.h"
#include <cctype>
#include <cstdio>

namespace vlm {

const char* FunctionDisplayName(long functionId) {
    switch (functionId) {
    case SCAN_TO_PC:
        return "Save as file";
    case SCAN_TO_MAIL:
        return "Send by E-Mail";
    case SCAN_TO_PR:
        return "Print";
    case SCAN_TO_PC_RUNAPP:
        return "Open by Application";
    case SCAN_TO_MAPI:
        return "Attach to E-mail";
    default:
        return nullptr;
    }
}

bool IsKnownFunction(long functionId) {
    return FunctionDisplayName(functionId) != nullptr;
}

bool IsJobNumber(long jobNumber) {
    return jobNumber >= kMinJobNumber && jobNumber <= kMaxJobNumber;
}

long LastJobNumberToStore(long jobNumber) {
    return IsJobNumber(jobNumber) ? jobNumber : 1;
}

std::string WarningKey(const char* fmt, int index) {
    if (!fmt || index < 0 || index >= kFolderWarnings)
        return std::string();
    char buf[64];
    snprintf(buf, sizeof buf, fmt, index);
    return buf;
}

const char* FileTypeName(long fileType) {
    switch (fileType) {
    case 0:
        return "BMP";
    case 1:
        return "JPEG";
    case 2:
        return "PDF";
    case 3:
        return "TIFF";
    default:
        return "UNKNOWN";
    }
}

bool SameFileType(const std::string& a, const char* b) {
    if (!b)
        return false;
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return i == a.size() && b[i] == '\0';
}

const char* FileTypeExtension(const std::string& typeName) {
    if (SameFileType(typeName, "BMP"))
        return ".bmp";
    if (SameFileType(typeName, "JPEG"))
        return ".jpg";
    if (SameFileType(typeName, "PDF"))
        return ".pdf";
    if (SameFileType(typeName, "TIFF"))
        return ".tif";
    return "";
}

int PdfCompressionCode(long compRate) {
    switch (compRate) {
    case 1:
        return 2;
    case 2:
        return 3;
    default:
        return 0;
    }
}

OcrLanguage OcrLanguageFor(long index, long addOcr) {
    static const uint32_t kCodes[10] = {1, 2, 3, 64, 8, 32, 16, 128, 4, 4};
    OcrLanguage lang{2, 0};
    if (index >= 0 && index < 10)
        lang.m_dwCode = kCodes[index];
    if (index == 9)
        lang.m_dwSecond = 256;
    if (addOcr == 0)
        lang.m_dwCode |= kOcrNotAddedBit;
    return lang;
}

int64_t MailSizeBytes(long megabytes) {
    // Shifting a negative size is undefined; it allows no mail either way.
    return megabytes <= 0 ? 0 : static_cast<int64_t>(megabytes) << 20;
}

uint64_t WarningSizeBytes(long megabytes) {
    return megabytes <= 0 ? 0 : static_cast<uint64_t>(megabytes) * 0x100000u;
}

} // namespace vlm
