#include "editor/core/SaveFolderRules.h"
#include <cstdlib>
#include <cstring>
#include <iterator>

namespace plover {

const char kInvalidLettersShown[] = "\\ /  * ? < > : | \"    ";

bool HasInvalidFileNameLetter(const std::string& fileName) {
    return fileName.find_first_of("\\/:*?<>|\"") != std::string::npos;
}

bool SavePathTooLong(const std::string& folder, const std::string& fileName) {
    return folder.size() + 1 + fileName.size() + kFileNameSuffixChars > kMaxPathChars;
}

namespace {
// The first line that starts with key (blanks before it allowed); npos when
// there is none. A key inside another key ("ScanBitsPerSample=") is not it.
size_t FindKeyLine(const std::string& text, const char* key) {
    const size_t n = std::strlen(key);
    size_t line = 0;
    while (line < text.size()) {
        size_t p = line;
        while (p < text.size() && (text[p] == ' ' || text[p] == '\t'))
            ++p;
        if (text.compare(p, n, key) == 0)
            return p;
        const size_t eol = text.find('\n', line);
        if (eol == std::string::npos)
            break;
        line = eol + 1;
    }
    return std::string::npos;
}

bool HasKey(const std::string& text, const char* key) {
    return FindKeyLine(text, key) != std::string::npos;
}

// The decimal value after "key=" at the key's first line; 0 when the key is
// missing or its value is no number.
long KeyValue(const std::string& text, const char* key) {
    const std::string withEquals = std::string(key) + "=";
    const size_t p = FindKeyLine(text, withEquals.c_str());
    if (p == std::string::npos)
        return 0;
    const char* start = text.c_str() + p + withEquals.size();
    return std::strtol(start, nullptr, 10);
}
} // namespace

bool DriverDetectsPageType(const std::string& driverText) {
    if (HasKey(driverText, "DetectPageTypeApp"))
        return KeyValue(driverText, "DetectPageTypeApp") != 0;
    if (HasKey(driverText, "DetectPageType"))
        return KeyValue(driverText, "DetectPageType") != 0;
    return false;
}

bool DriverIsBinary(const std::string& driverText) {
    if (HasKey(driverText, "SamplesPerPixel(1)") && HasKey(driverText, "BitsPerSample(1)"))
        return KeyValue(driverText, "SamplesPerPixel(1)") == 1 &&
               KeyValue(driverText, "BitsPerSample(1)") == 1;
    return KeyValue(driverText, "SamplesPerPixel") == 1 &&
           KeyValue(driverText, "BitsPerSample") == 1;
}

SaveCheck CheckSaveSettings(const SaveSettingValues& v) {
    if (HasInvalidFileNameLetter(v.m_strFileName))
        return SaveCheck::InvalidLetters;
    if (SavePathTooLong(v.m_strFolder, v.m_strFileName))
        return SaveCheck::TooLong;
    if (v.m_bSave && !v.m_bMyPicture && v.m_strFolder.empty())
        return SaveCheck::NoLocation;
    if (v.m_nFileType == kFileTypeJpeg) {
        if (DriverDetectsPageType(v.m_strDriverText))
            return SaveCheck::JpegDetect;
        if (DriverIsBinary(v.m_strDriverText))
            return SaveCheck::JpegBinary;
    }
    return SaveCheck::Pass;
}

const char* SaveCheckText(SaveCheck check) {
    switch (check) {
    case SaveCheck::InvalidLetters:
        return kInvalidLettersText;
    case SaveCheck::TooLong:
        return kTooLongText;
    case SaveCheck::NoLocation:
        return kNoLocationText;
    case SaveCheck::JpegDetect:
        return kJpegDetectText;
    case SaveCheck::JpegBinary:
        return kJpegBinaryText;
    case SaveCheck::Pass:
        break;
    }
    return "";
}

int SaveFileTypeIndex(long fileType) {
    for (size_t i = 0; i < std::size(kSaveFileTypes); ++i)
        if (kSaveFileTypes[i] == fileType)
            return static_cast<int>(i);
    return -1;
}

std::string LastPathComponent(const std::string& path) {
    size_t end = path.size();
    while (end > 0 && (path[end - 1] == '\\' || path[end - 1] == '/'))
        --end;
    size_t start = end;
    while (start > 0 && path[start - 1] != '\\' && path[start - 1] != '/')
        --start;
    std::string last = path.substr(start, end - start);
    // "C:" is a drive, not a folder name.
    if (last.size() == 2 && last[1] == ':')
        return std::string();
    return last;
}

} // namespace plover
