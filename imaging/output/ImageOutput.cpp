#include "ImageOutput.h"

#include "common/Localize.h"
#include "common/VlmLog.h"
#include "framework/MessageBox.h"

#include <new>

namespace vlm::output {

namespace {

// Locks a bitmap handle for the length of one conversion.
class CGlobalLock {
public:
    explicit CGlobalLock(HGLOBAL h) : m_hMem(h), m_pData(h ? GlobalLock(h) : nullptr) {}
    ~CGlobalLock() {
        if (m_pData)
            GlobalUnlock(m_hMem);
    }
    CGlobalLock(const CGlobalLock&) = delete;
    CGlobalLock& operator=(const CGlobalLock&) = delete;
    const void* Data() const { return m_pData; }
    size_t Size() const { return m_pData ? GlobalSize(m_hMem) : 0; }

private:
    HGLOBAL m_hMem;
    void* m_pData;
};

bool ConvertHandle(HGLOBAL hDib, CPageImage& page, const char* who) {
    CGlobalLock lock(hDib);
    std::string error;
    if (!lock.Data() || !ConvertDib(lock.Data(), lock.Size(), page, &error)) {
        CVlmLog::Instance().Write("%s: %s", who, lock.Data() ? error.c_str() : "no bitmap");
        return false;
    }
    return true;
}

// The PDF maker's page record (see pafc.h): pointer-sized rows, then 32-bit fields.
struct PafcPage {
    const unsigned char* rows;
    INT32 stride, width, height, dpi, type;
};

} // namespace

int VlmWriteBmpPage(HGLOBAL hDib, const char* path) {
    CPageImage page;
    if (!path || !ConvertHandle(hDib, page, "VlmWriteBmpPage"))
        return -1;
    std::string error;
    if (WriteBmpFile(path, page, &error) != 0) {
        CVlmLog::Instance().Write("VlmWriteBmpPage: %s %s", error.c_str(), path);
        return -1;
    }
    SetLastError(0);
    return 0;
}

BOOL VlmWriteJpegPage(HGLOBAL hDib, const char* path, int quality) {
    CPageImage page;
    if (!path || !ConvertHandle(hDib, page, "VlmWriteJpegPage"))
        return FALSE;
    if (page.m_nBitsPerPixel != 8 && page.m_nBitsPerPixel != 24)
        return FALSE; // bilevel pages have no JPEG form
    CVlmLibrary library;
    if (!library.Load("vlmjpeg.dll")) {
        CVlmLog::Instance().Write("vlmjpeg.dll load error");
        return FALSE;
    }
    typedef int(__cdecl * PfnSave)(const char*, const unsigned char*, int, int, int, int, int, int);
    PfnSave pfnSave = library.Get<PfnSave>("save_JPEG");
    if (!pfnSave) {
        CVlmLog::Instance().Write("vlmjpeg.dll save_JPEG not found");
        return FALSE;
    }
    const int rc =
        pfnSave(path, page.m_data.data(), page.m_nWidth, page.m_nHeight, page.m_nDpi,
                page.m_nBitsPerPixel == 24 ? 2 : 1, static_cast<int>(page.m_nStride), quality);
    if (rc != 0) {
        CVlmLog::Instance().Write("save_JPEG failed (%d): %s", rc, path);
        return FALSE;
    }
    return TRUE;
}

CPdfPageWriter::CPdfPageWriter() {
    m_fnShowError = [](const char* text, const char* caption) {
        VlmMessageBoxTop(nullptr, text, caption, MB_OK | MB_ICONSTOP);
    };
}

CPdfPageWriter::~CPdfPageWriter() {
    EndDocument();
}

void CPdfPageWriter::EndDocument() {
    if (m_library.IsLoaded() && m_pfnClose && m_bDocumentOpen) {
        const int rc = m_pfnClose();
        if (rc != 0)
            CVlmLog::Instance().Write("PAFC_close failed (%d)", rc);
    }
    m_bDocumentOpen = false;
    m_pfnExModeSet = nullptr;
    m_pfnOpen = nullptr;
    m_pfnMake = nullptr;
    m_pfnGetFileSize = nullptr;
    m_pfnClose = nullptr;
    m_library.Free();
}

BOOL CPdfPageWriter::Load(const CPdfJobOptions& options) {
    EndDocument();
    if (!m_library.Load("pafcv2.dll")) {
        m_fnShowError(VlmLocalize("PAFCV2.DLL load error").c_str(), options.m_strCaption.c_str());
        return FALSE;
    }
    const bool haveModeSet = m_library.GetProc("PAFC_modeset") != nullptr;
    m_pfnOpen = m_library.Get<PfnOpen>("PAFC_open");
    m_pfnMake = m_library.Get<PfnMake>("PAFC_make");
    m_pfnGetFileSize = m_library.Get<PfnGetFileSize>("PAFC_getFileSize");
    m_pfnClose = m_library.Get<PfnClose>("PAFC_close");
    m_pfnExModeSet = m_library.Get<PfnExModeSet>("PAFC_exmodeset");
    if (!haveModeSet || !m_pfnOpen || !m_pfnMake || !m_pfnGetFileSize || !m_pfnClose ||
        !m_pfnExModeSet) {
        m_fnShowError(VlmLocalize("PAFCV2.DLL func load error").c_str(),
                      options.m_strCaption.c_str());
        EndDocument();
        return FALSE;
    }
    return TRUE;
}

BOOL CPdfPageWriter::WritePage(HGLOBAL hDib, const char* path, const CPdfJobOptions& options,
                               CPdfPageResult& result) {
    if (!path || !*path) {
        // The empty path ends the batch's document.
        EndDocument();
        return TRUE;
    }
    CPageImage page;
    if (!ConvertHandle(hDib, page, "CPdfPageWriter"))
        return FALSE;

    const bool startsDocument =
        !options.m_bMultiPage || options.m_nPageCounter == 0 || !m_bDocumentOpen;
    if (startsDocument) {
        if (!Load(options))
            return FALSE;
        const CPdfSettings& s = options.m_settings;
        m_pfnExModeSet(s.m_nCompression, static_cast<int>(s.m_dwLanguageFlags),
                       static_cast<int>(s.m_dwExtraFlags));
        // Text recognition is not built into our PDF maker: the flags are only recorded.
        const int rc = m_pfnOpen(path);
        if (rc != 0) {
            CVlmLog::Instance().Write("PAFC_open failed (%d): %s", rc, path);
            EndDocument();
            return FALSE;
        }
        m_bDocumentOpen = true;
    }

    // The maker gets its own copy of the rows.
    unsigned char* copy = new (std::nothrow) unsigned char[page.m_data.size()];
    if (!copy) {
        result.m_bMemoryError = TRUE;
        result.m_strErrorText = VlmLocalize("Not enough memory.");
        return FALSE;
    }
    memcpy(copy, page.m_data.data(), page.m_data.size());
    PafcPage record;
    record.rows = copy;
    record.stride = static_cast<INT32>(page.m_nStride);
    record.width = page.m_nWidth;
    record.height = page.m_nHeight;
    record.dpi = page.m_nDpi;
    record.type = page.m_nBitsPerPixel == 24 ? 3 : page.m_nBitsPerPixel == 8 ? 2 : 1;
    const int rc = m_pfnMake(&record, 0);
    int size = 0;
    m_pfnGetFileSize(&size);
    result.m_dwDocumentSize = static_cast<DWORD>(size);
    delete[] copy;
    if (rc != 0) {
        CVlmLog::Instance().Write("PAFC_make failed (%d): %s", rc, path);
        if (!options.m_bMultiPage)
            EndDocument();
        return FALSE;
    }
    if (!options.m_bMultiPage)
        EndDocument(); // one document per page
    return TRUE;
}

} // namespace vlm::output
