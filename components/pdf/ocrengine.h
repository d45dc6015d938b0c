// Text recognition behind the PDF maker: the language flags of PAFC_exmodeset,
// the language data folder and one recognition engine per worker thread.
// Portable: no Windows API.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vlm::pdf {

// Language flags: this bit turns recognition off.
constexpr uint32_t kRecognitionOff = 0x80000000u;
// Extra flag: Chinese (0x4) means Traditional rather than Simplified Chinese.
constexpr uint32_t kExtraTraditionalChinese = 0x100u;

// The engine's language names for the flags, joined with '+' ("jpn+eng");
// empty when recognition is off or no known language is set.
std::string LanguagesForFlags(uint32_t languageFlags, uint32_t extraFlags);

// The folder of the language files ("<lang>.traineddata"): the VLM_TESSDATA
// environment variable when set, else the folder given by the module
// (SetDefaultLanguageFolder), else a built-in default.
void SetDefaultLanguageFolder(const std::string& folder);
std::string LanguageFolder();

// The languages of "jpn+eng" whose data file is missing from folder, joined
// with ", "; empty when all are there.
std::string MissingLanguageData(const std::string& folder, const std::string& languages);

// A page as the engine takes it: rows top-down, 1-bit (MSB first, 1 = black)
// or 8-bit grey.
struct OcrImage {
    std::vector<uint8_t> pixels;
    int width = 0, height = 0, stride = 0, bitsPerPixel = 8, dpi = 300;
};

// A recognised word: UTF-8 text and its box in pixels (right and bottom
// exclusive), top-left origin. Top and bottom are those of the word's line, so
// that the words of a line share one baseline and size: readers then keep them
// in one line, in order, and a selection looks even.
struct OcrWord {
    std::string text;
    int left = 0, top = 0, right = 0, bottom = 0;
};

// Whether the engine is part of this build.
bool EngineBuiltIn();
// Whether the engine takes a page of this size; other pages get no text.
bool PageFitsEngine(int width, int height);

class COcrEngine {
public:
    COcrEngine();
    ~COcrEngine();
    COcrEngine(const COcrEngine&) = delete;
    COcrEngine& operator=(const COcrEngine&) = delete;

    // Loads the languages ("jpn+eng") from folder; false with a reason when
    // the engine or its data cannot be had.
    bool Start(const std::string& folder, const std::string& languages, std::string* error);
    // The words of the page, in reading order. false when recognition failed;
    // pages the engine cannot take (too small, too large) give no words.
    bool Recognise(const OcrImage& image, std::vector<OcrWord>& words);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace vlm::pdf
