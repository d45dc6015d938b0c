#include "ocrengine.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <sys/stat.h>

#ifdef VLM_HAVE_OCR_ENGINE
#include <leptonica/allheaders.h>
#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>
#endif

#ifndef VLM_TESSDATA_DEFAULT
#define VLM_TESSDATA_DEFAULT "tessdata"
#endif

namespace vlm::pdf {

namespace {

std::mutex g_folderLock;
std::string g_defaultFolder;

bool FileExists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && (st.st_mode & S_IFMT) == S_IFREG;
}

// The engine works on pages up to this size; larger ones get no text rather than
// exhausting memory.
constexpr int kMaxSide = 32000;
constexpr int kMinSide = 4;
constexpr long long kMaxPixels = 150LL * 1000 * 1000;

// The words of one line share its top and bottom, so that readers keep them on
// one baseline; a word's box ends where the next one starts (the engine's boxes
// of Chinese and Japanese words may reach over their neighbours, and readers
// take overlapping words for separate columns).
void FitLine(std::vector<OcrWord>::iterator first, std::vector<OcrWord>::iterator last) {
    if (first == last)
        return;
    int top = first->top, bottom = first->bottom;
    for (auto w = first; w != last; ++w) {
        top = std::min(top, w->top);
        bottom = std::max(bottom, w->bottom);
    }
    for (auto w = first; w != last; ++w) {
        w->top = top;
        w->bottom = bottom;
        const auto next = w + 1;
        if (next != last && next->left > w->left && w->right > next->left)
            w->right = next->left;
    }
}

} // namespace

bool PageFitsEngine(int width, int height) {
    return width >= kMinSide && height >= kMinSide && width <= kMaxSide && height <= kMaxSide &&
           static_cast<long long>(width) * height <= kMaxPixels;
}

std::string LanguagesForFlags(uint32_t languageFlags, uint32_t extraFlags) {
    if (languageFlags & kRecognitionOff)
        return std::string();
    const bool traditional = (extraFlags & kExtraTraditionalChinese) != 0;
    const struct {
        uint32_t bit;
        const char* name;
    } table[] = {{0x1, "jpn"},  {0x2, "eng"},  {0x4, traditional ? "chi_tra" : "chi_sim"},
                 {0x8, "fra"},  {0x10, "ita"}, {0x20, "deu"},
                 {0x40, "spa"}, {0x80, "nld"}};
    std::string out;
    for (const auto& entry : table)
        if (languageFlags & entry.bit)
            out += (out.empty() ? "" : "+") + std::string(entry.name);
    return out;
}

void SetDefaultLanguageFolder(const std::string& folder) {
    std::lock_guard<std::mutex> guard(g_folderLock);
    g_defaultFolder = folder;
}

std::string LanguageFolder() {
    const char* env = getenv("VLM_TESSDATA");
    if (env && *env)
        return env;
    std::lock_guard<std::mutex> guard(g_folderLock);
    return g_defaultFolder.empty() ? VLM_TESSDATA_DEFAULT : g_defaultFolder;
}

std::string MissingLanguageData(const std::string& folder, const std::string& languages) {
    std::string missing;
    size_t start = 0;
    while (start <= languages.size()) {
        size_t end = languages.find('+', start);
        if (end == std::string::npos)
            end = languages.size();
        const std::string lang = languages.substr(start, end - start);
        if (!lang.empty() && !FileExists(folder + "/" + lang + ".traineddata"))
            missing += (missing.empty() ? "" : ", ") + lang;
        start = end + 1;
    }
    return missing;
}

#ifdef VLM_HAVE_OCR_ENGINE

struct COcrEngine::Impl {
    tesseract::TessBaseAPI api;
    bool started = false;
};

bool EngineBuiltIn() {
    return true;
}

COcrEngine::COcrEngine() : m_impl(new Impl) {}

COcrEngine::~COcrEngine() {
    if (m_impl->started)
        m_impl->api.End();
}

bool COcrEngine::Start(const std::string& folder, const std::string& languages,
                       std::string* error) {
    if (m_impl->started) {
        m_impl->api.End();
        m_impl->started = false;
    }
    if (m_impl->api.Init(folder.c_str(), languages.c_str(), tesseract::OEM_LSTM_ONLY) != 0) {
        if (error)
            *error = "OCR engine could not load " + languages + " from " + folder;
        return false;
    }
    // Scanned pages are whole documents: automatic page layout, and no
    // engine chatter on the runner's console.
    m_impl->api.SetPageSegMode(tesseract::PSM_AUTO);
#ifdef _WIN32
    m_impl->api.SetVariable("debug_file", "NUL");
#else
    m_impl->api.SetVariable("debug_file", "/dev/null");
#endif
    m_impl->started = true;
    return true;
}

bool COcrEngine::Recognise(const OcrImage& image, std::vector<OcrWord>& words) {
    words.clear();
    if (!m_impl->started)
        return false;
    if (!PageFitsEngine(image.width, image.height))
        return true;
    tesseract::TessBaseAPI& api = m_impl->api;
    // The engine's binary images have 1 = white; ours are kept 1 = black, so
    // bilevel pages are handed over as they are with the sense flipped here.
    if (image.bitsPerPixel == 1) {
        std::vector<uint8_t> white(image.pixels.size());
        for (size_t i = 0; i < white.size(); ++i)
            white[i] = static_cast<uint8_t>(~image.pixels[i]);
        api.SetImage(white.data(), image.width, image.height, 0, image.stride);
    } else {
        api.SetImage(image.pixels.data(), image.width, image.height, 1, image.stride);
    }
    api.SetSourceResolution(image.dpi > 0 ? image.dpi : 300);
    if (api.Recognize(nullptr) != 0) {
        api.Clear();
        return false;
    }
    {
        std::unique_ptr<tesseract::ResultIterator> it(api.GetIterator());
        std::vector<size_t> lineStarts;
        if (it) {
            do {
                if (it->IsAtBeginningOf(tesseract::RIL_TEXTLINE))
                    lineStarts.push_back(words.size());
                std::unique_ptr<char[]> text(it->GetUTF8Text(tesseract::RIL_WORD));
                OcrWord w;
                if (!text || !text[0] ||
                    !it->BoundingBox(tesseract::RIL_WORD, &w.left, &w.top, &w.right, &w.bottom))
                    continue;
                w.text = text.get();
                words.push_back(std::move(w));
            } while (it->Next(tesseract::RIL_WORD));
        }
        lineStarts.push_back(words.size());
        for (size_t k = 0; k + 1 < lineStarts.size(); ++k)
            FitLine(words.begin() + static_cast<ptrdiff_t>(lineStarts[k]),
                    words.begin() + static_cast<ptrdiff_t>(lineStarts[k + 1]));
    }
    api.Clear(); // the iterator is gone: the page's results can go too
    return true;
}

#else

struct COcrEngine::Impl {};

bool EngineBuiltIn() {
    return false;
}

COcrEngine::COcrEngine() : m_impl(new Impl) {}
COcrEngine::~COcrEngine() = default;

bool COcrEngine::Start(const std::string&, const std::string&, std::string* error) {
    if (error)
        *error = "OCR engine not available";
    return false;
}

bool COcrEngine::Recognise(const OcrImage&, std::vector<OcrWord>& words) {
    words.clear();
    return false;
}

#endif

} // namespace vlm::pdf
