#include "editor/core/FormatOptionRules.h"

namespace plover {

int JpegPresetFor(long quality) {
    switch (quality) {
    case kJpegPresetHigh:
        return 0;
    case kJpegPresetStandard:
        return 1;
    case kJpegPresetCompression:
        return 2;
    default:
        return kJpegUserPreset;
    }
}

int JpegPresetQuality(int preset) {
    switch (preset) {
    case 0:
        return kJpegPresetHigh;
    case 1:
        return kJpegPresetStandard;
    case 2:
        return kJpegPresetCompression;
    default:
        return -1;
    }
}

int JpegQualityOnSlider(long quality) {
    if (quality < kJpegQualityMin)
        return kJpegQualityMin;
    if (quality > kJpegQualityMax)
        return kJpegQualityMax;
    return static_cast<int>(quality);
}

int OcrLanguageIndex(long id) {
    for (int i = 0; i < kOcrLanguageCount; ++i)
        if (kOcrLanguages[i].m_nId == id)
            return i;
    return -1;
}

int PdfCompRateChoice(long stored, bool multiPageForm) {
    if (!multiPageForm)
        return AsFlag(stored);
    return stored >= 0 && stored <= 2 ? static_cast<int>(stored) : -1;
}

PdfPasswordCheck CheckPdfPassword(const std::u16string& text) {
    if (text.size() > static_cast<size_t>(kPdfPasswordMaxChars))
        return PdfPasswordCheck::TooLong;
    for (char16_t c : text)
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F))
            return PdfPasswordCheck::BadCharacter;
    return PdfPasswordCheck::Ok;
}

} // namespace plover
