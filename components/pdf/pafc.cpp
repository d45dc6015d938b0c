// State of the PDF maker's C entry points: one writer, guarded by a lock.
#include "pafc.h"
#include "contracts/PdfMaker.h"
#include "pdfsecurity.h"
#include "pdfwriter.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

struct MakerState {
    std::mutex lock;
    vlm::pdf::DocumentSettings settings;
    bool passwordRefused[2] = {}; // user, owner
    vlm::pdf::CPdfWriter writer;
    uint64_t lastSize = 0;
};

MakerState& State() {
    static MakerState state;
    return state;
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
    std::lock_guard<std::mutex> guard(s.lock);
    if (s.writer.IsOpen())
        s.writer.Close(); // never drop the pages of a document left open
    s.lastSize = 0;
    if (s.passwordRefused[0] || s.passwordRefused[1])
        return PAFC_ERR_ARGUMENT;
    if (s.settings.pdfA && s.settings.IsProtected())
        return vlm::pdfmaker::kErrConflict;
    return s.writer.Open(path, s.settings) ? PAFC_OK : PAFC_ERR_IO;
}

extern "C" int vlm_PAFC_make(const PAFC_PAGE* page, int /*reserved*/) {
    if (!page || page->type < 1 || page->type > 3 || page->stride <= 0)
        return PAFC_ERR_ARGUMENT;
    MakerState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    if (!s.writer.IsOpen())
        return PAFC_ERR_NOT_OPEN;
    // The record's rows are top-down with 1 = black and B,G,R, as its type says.
    const int bpp = page->type == 1 ? 1 : page->type == 2 ? 8 : 24;
    const vlm::CPageView view = vlm::ViewOfRows(page->rows, static_cast<size_t>(page->stride),
                                                page->width, page->height, bpp, page->dpi);
    if (!view.IsValid())
        return PAFC_ERR_ARGUMENT;
    const bool ok = s.writer.AddPage(view);
    s.lastSize = s.writer.BytesWritten();
    return ok ? PAFC_OK : PAFC_ERR_IO;
}

extern "C" int vlm_PAFC_getFileSize(int32_t* size) {
    if (!size)
        return PAFC_ERR_ARGUMENT;
    MakerState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    const uint64_t bytes = s.writer.IsOpen() ? s.writer.BytesWritten() : s.lastSize;
    // The callers' size checks compare 32-bit values: a larger document still reads as too large.
    *size = bytes > static_cast<uint64_t>(INT32_MAX) ? INT32_MAX : static_cast<int32_t>(bytes);
    return PAFC_OK;
}

extern "C" int vlm_PAFC_close(void) {
    MakerState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    if (!s.writer.IsOpen())
        return PAFC_ERR_NOT_OPEN;
    const bool ok = s.writer.Close();
    s.lastSize = s.writer.BytesWritten();
    return ok ? PAFC_OK : PAFC_ERR_IO;
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
            value && *value &&
            vlm::pdf::PreparePassword(value, &prepared) != vlm::pdf::PasswordProblem::kNone;
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
