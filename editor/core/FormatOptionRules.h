// The file format option dialogs' choices that need no Windows: the JPEG
// quality presets, the OCR language list and how stored TIFF and PDF values
// become the dialogs' choices.
#pragma once
#include <string>

namespace plover {

// JPEG quality presets, in the order of their radio buttons; the fourth
// button ("&User settings") stands for every other value.
constexpr int kJpegPresetHigh = 90;
constexpr int kJpegPresetStandard = 75;
constexpr int kJpegPresetCompression = 10;
constexpr int kJpegUserPreset = 3;
constexpr int kJpegQualityMin = 0;
constexpr int kJpegQualityMax = 100;
// The radio button (0..3) a stored quality checks.
int JpegPresetFor(long quality);
// The quality of preset 0..2; -1 for the user preset and anything else.
int JpegPresetQuality(int preset);
// A stored quality on the slider's scale (0..100).
int JpegQualityOnSlider(long quality);

// The OCR language list, in its order (not sorted), with the ids stored in
// "pdf_OCRLangID".
struct OcrLanguageEntry {
    const char* m_pszName; // English; localised where it is shown
    long m_nId;
};
constexpr OcrLanguageEntry kOcrLanguages[] = {
    {"Japanese and English", 2},
    {"Japanese", 0},
    {"English", 1},
    {"Spanish", 3},
    {"French", 4},
    {"German", 5},
    {"Italian", 6},
    {"Dutch", 7},
    {"Simplified Chinese", 8},
    {"Traditional Chinese", 9},
};
constexpr int kOcrLanguageCount = sizeof(kOcrLanguages) / sizeof(kOcrLanguages[0]);
// Index in the list of a stored id; -1 when the id is not listed.
int OcrLanguageIndex(long id);

// A stored flag as the dialogs show it: non-zero is 1.
inline int AsFlag(long value) {
    return value != 0 ? 1 : 0;
}

// "pdf_CompRate" as a form's radio index: the form with the multi-page
// choice offers 0, 1 and 2; the other form only 0 and 1, so a stored
// non-zero value shows (and is written back) as 1. A value the multi-page
// form does not offer checks no button (-1).
int PdfCompRateChoice(long stored, bool multiPageForm);

// PDF passwords as the dialogs take them: up to kPdfPasswordMaxChars UTF-16
// units (at most 96 bytes of UTF-8, within the maker's limit), and no control
// characters, which the security handler cannot carry.
constexpr int kPdfPasswordMaxChars = 32;
enum class PdfPasswordCheck { Ok, TooLong, BadCharacter };
PdfPasswordCheck CheckPdfPassword(const std::u16string& text);

} // namespace plover
