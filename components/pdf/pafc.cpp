// State of the PDF maker's C entry points: one writer, guarded by a lock.
#include "pafc.h"
#include "pdfwriter.h"

#include <climits>
#include <mutex>

namespace {

struct MakerState {
    std::mutex lock;
    vlm::pdf::DocumentSettings settings;
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

extern "C" int vlm_PAFC_modeset(int /*mode*/, int /*value*/) {
    return PAFC_ERR_UNSUPPORTED;
}
