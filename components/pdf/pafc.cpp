// State of the PDF maker's C entry points: one writer, guarded by a lock, and
// the recognition workers that add each page's text while the next pages come.
#include "pafc.h"
#include "contracts/PdfMaker.h"
#include "ocrengine.h"
#include "pdfsecurity.h"
#include "pdfwriter.h"
#include "recognition.h"
#include "textlayer.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

using namespace vlm::pdf;

// Pages waiting for recognition: each holds one page of pixels (grey or
// bilevel), so this bounds the memory a long document needs.
constexpr size_t kQueuedPages = 2;
// What a page's text adds before any page has been recognised.
constexpr uint64_t kFirstTextEstimate = 8192;

struct MakerState {
    std::mutex lock;
    DocumentSettings settings;
    bool passwordRefused[2] = {}; // user, owner
    CPdfWriter writer;
    uint64_t lastSize = 0;
    // Recognition of the open document.
    CRecognitionWorkers workers;
    CTextFont font;
    int fontObject = 0; // 0 while the document gets no text
    uint64_t textBytes = 0, textPages = 0;
    std::string message; // for PAFC_getMessage
};

MakerState& State() {
    static MakerState state;
    return state;
}

void AddMessage(MakerState& s, const std::string& text) {
    if (!text.empty())
        s.message += (s.message.empty() ? "" : "\n") + text;
}

// A worker's page: its text goes into the content after the image.
void FinishRecognisedPage(const PendingPage& pending, const OcrImage& image,
                          std::vector<OcrWord>& words) {
    MakerState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    const uint64_t before = s.writer.BytesWritten();
    const std::string text = TextContent(words, s.font, image.height, image.dpi);
    if (s.writer.FinishPage(pending, text, s.fontObject) && !text.empty())
        s.writer.SetTextApplied(true);
    s.textBytes += s.writer.BytesWritten() - before;
    ++s.textPages;
}

// The page as the engine takes it: bilevel stays 1-bit, colour becomes grey.
bool PageForEngine(const PAFC_PAGE& page, OcrImage& image) {
    image.width = page.width;
    image.height = page.height;
    image.dpi = page.dpi > 0 ? page.dpi : 72;
    image.bitsPerPixel = page.type == 1 ? 1 : 8;
    image.stride = page.type == 1 ? (page.width + 7) / 8 : page.width;
    try {
        image.pixels.resize(static_cast<size_t>(image.stride) * page.height);
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (int y = 0; y < page.height; ++y) {
        const unsigned char* src = page.rows + static_cast<size_t>(page.stride) * y;
        uint8_t* dst = image.pixels.data() + static_cast<size_t>(image.stride) * y;
        if (page.type != 3) {
            memcpy(dst, src, static_cast<size_t>(image.stride));
            continue;
        }
        for (int x = 0; x < page.width; ++x, src += 3) // B,G,R
            dst[x] = static_cast<uint8_t>((29 * src[0] + 150 * src[1] + 77 * src[2]) >> 8);
    }
    return true;
}

// Waits for the last page's text, then writes the font and the document's end.
// Called with the lock held; gives it up while the workers finish.
bool FinishDocument(MakerState& s, std::unique_lock<std::mutex>& guard) {
    if (s.workers.Running()) {
        guard.unlock();
        const std::string errors = s.workers.Stop();
        guard.lock();
        AddMessage(s, errors);
    }
    bool ok = true;
    if (s.fontObject > 0)
        ok = s.font.WriteObjects(s.writer, s.fontObject);
    s.fontObject = 0;
    s.font = CTextFont();
    ok = s.writer.Close() && ok;
    s.lastSize = s.writer.BytesWritten();
    return ok;
}

} // namespace

extern "C" int vlm_PAFC_exmodeset(int compression, int languageFlags, int extraFlags) {
    MakerState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    s.settings.compression = compression;
    s.settings.languageFlags = static_cast<uint32_t>(languageFlags);
    s.settings.extraFlags = static_cast<uint32_t>(extraFlags);
    return PAFC_OK;
}

extern "C" int vlm_PAFC_open(const char* path) {
    if (!path || !*path)
        return PAFC_ERR_ARGUMENT;
    MakerState& s = State();
    std::unique_lock<std::mutex> guard(s.lock);
    if (s.writer.IsOpen())
        FinishDocument(s, guard); // never drop the pages of a document left open
    s.lastSize = 0;
    if (s.passwordRefused[0] || s.passwordRefused[1])
        return PAFC_ERR_ARGUMENT;
    if (s.settings.pdfA && s.settings.IsProtected())
        return vlm::pdfmaker::kErrConflict;
    if (!s.writer.Open(path, s.settings))
        return PAFC_ERR_IO;
    s.textBytes = s.textPages = 0;
    const std::string languages =
        LanguagesForFlags(s.settings.languageFlags, s.settings.extraFlags);
    if (languages.empty())
        return PAFC_OK;
    // Without the engine or a language's data the document is made without
    // text; the caller learns why through PAFC_getMessage.
    const std::string folder = LanguageFolder();
    const std::string missing = MissingLanguageData(folder, languages);
    if (!EngineBuiltIn())
        AddMessage(s, "OCR engine missing: no text for " + languages);
    else if (!missing.empty())
        AddMessage(s, "OCR language data missing: " + missing);
    else {
        s.fontObject = s.writer.ReserveObject();
        s.workers.Start(folder, languages, CRecognitionWorkers::DefaultWorkers(), kQueuedPages,
                        FinishRecognisedPage);
    }
    return PAFC_OK;
}

extern "C" int vlm_PAFC_make(const PAFC_PAGE* page, int /*reserved*/) {
    if (!page || page->type < 1 || page->type > 3 || page->stride <= 0)
        return PAFC_ERR_ARGUMENT;
    MakerState& s = State();
    std::unique_lock<std::mutex> guard(s.lock);
    if (!s.writer.IsOpen())
        return PAFC_ERR_NOT_OPEN;
    // The record's rows are top-down with 1 = black and B,G,R, as its type says.
    const int bpp = page->type == 1 ? 1 : page->type == 2 ? 8 : 24;
    const vlm::CPageView view = vlm::ViewOfRows(page->rows, static_cast<size_t>(page->stride),
                                                page->width, page->height, bpp, page->dpi);
    if (!view.IsValid())
        return PAFC_ERR_ARGUMENT;
    // The image goes to the file at once, so the document's size is known.
    PendingPage pending;
    bool ok = s.writer.BeginPage(view, pending);
    OcrImage image;
    const bool recognise = ok && s.workers.Running() && PageFitsEngine(page->width, page->height) &&
                           PageForEngine(*page, image);
    if (ok && !recognise)
        ok = s.writer.FinishPage(pending, std::string(), 0);
    s.lastSize = s.writer.BytesWritten();
    guard.unlock();
    if (recognise)
        s.workers.Submit(pending, std::move(image)); // waits while the queue is full
    return ok ? PAFC_OK : PAFC_ERR_IO;
}

extern "C" int vlm_PAFC_getFileSize(int32_t* size) {
    if (!size)
        return PAFC_ERR_ARGUMENT;
    MakerState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    uint64_t bytes = s.lastSize;
    if (s.writer.IsOpen()) {
        // Pages still being recognised are on disk but for their text and page
        // objects: count those as large as the pages' text so far, and the font.
        bytes = s.writer.BytesWritten();
        if (s.fontObject > 0) {
            const uint64_t perPage = s.textPages ? s.textBytes / s.textPages : kFirstTextEstimate;
            bytes += s.workers.Pending() * perPage + s.font.EstimatedBytes();
        }
    }
    // The callers' size checks compare 32-bit values: a larger document still reads as too large.
    *size = bytes > static_cast<uint64_t>(INT32_MAX) ? INT32_MAX : static_cast<int32_t>(bytes);
    return PAFC_OK;
}

extern "C" int vlm_PAFC_close(void) {
    MakerState& s = State();
    std::unique_lock<std::mutex> guard(s.lock);
    if (!s.writer.IsOpen())
        return PAFC_ERR_NOT_OPEN;
    return FinishDocument(s, guard) ? PAFC_OK : PAFC_ERR_IO;
}

namespace {

// A whole decimal number, optionally signed, and nothing else.
bool ParseNumber(const char* text, long* value) {
    if (!text || !*text)
        return false;
    char* end = nullptr;
    *value = strtol(text, &end, 10);
    return *end == '\0';
}

} // namespace

extern "C" int vlm_PAFC_modeset(int mode, const char* value) {
    namespace mk = vlm::pdfmaker;
    MakerState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    long number = 0;
    switch (mode) {
    case mk::kModeReset:
        s.settings.userPassword.clear();
        s.settings.ownerPassword.clear();
        s.settings.permissions = mk::kAllowAll;
        s.settings.pdfA = false;
        s.passwordRefused[0] = s.passwordRefused[1] = false;
        return PAFC_OK;
    case mk::kModeUserPassword:
    case mk::kModeOwnerPassword: {
        const int which = mode == mk::kModeUserPassword ? 0 : 1;
        std::string& target = which == 0 ? s.settings.userPassword : s.settings.ownerPassword;
        std::string prepared;
        const bool refused =
            value && *value && PreparePassword(value, &prepared) != PasswordProblem::kNone;
        s.passwordRefused[which] = refused;
        target = prepared;
        return refused ? PAFC_ERR_ARGUMENT : PAFC_OK;
    }
    case mk::kModePermissions:
        if (!ParseNumber(value, &number) || number < 0 || number > static_cast<long>(mk::kAllowAll))
            return PAFC_ERR_ARGUMENT;
        s.settings.permissions = static_cast<unsigned>(number);
        return PAFC_OK;
    case mk::kModeCryptLevel: // every level means AES-256
        return ParseNumber(value, &number) ? PAFC_OK : PAFC_ERR_ARGUMENT;
    case mk::kModePdfA:
        if (!value || (strcmp(value, "0") != 0 && strcmp(value, "1") != 0))
            return PAFC_ERR_ARGUMENT;
        s.settings.pdfA = *value == '1';
        return PAFC_OK;
    default:
        return PAFC_ERR_UNSUPPORTED;
    }
}

extern "C" int vlm_PAFC_getMessage(char* buffer, int size) {
    MakerState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    if (!buffer || size <= 0)
        return static_cast<int>(s.message.size());
    const size_t n = std::min(s.message.size(), static_cast<size_t>(size - 1));
    memcpy(buffer, s.message.data(), n);
    buffer[n] = '\0';
    s.message.clear();
    return static_cast<int>(n);
}

extern "C" void vlm_PAFC_setLanguageFolder(const char* folder) {
    SetDefaultLanguageFolder(folder ? folder : "");
}
