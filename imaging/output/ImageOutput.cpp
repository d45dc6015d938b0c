#include "ImageOutput.h"

#include "common/Localize.h"
#include "common/VlmLog.h"
#include "contracts/PdfMaker.h"
#include "framework/MessageBox.h"
#include "imaging/TiffSharedLibraries.h"
#include "imaging/tiff.h"

#include <vector>

namespace vlm::output {

namespace {

// The PDF maker's page record (see pafc.h): pointer-sized rows, then 32-bit fields.
struct PafcPage {
    const unsigned char* rows;
    INT32 stride, width, height, dpi, type;
};

// The form both libraries take: rows top-down, bilevel 1 = black, B,G,R.
const CRowForm kLibraryForm{true, ColourOrder::BGR};

} // namespace

CScannedPage::CScannedPage(const VlmPageInfo& info, bool oneIsBlack)
    : m_lock(static_cast<HGLOBAL>(info.hDib)) {
    if (info.hDib)
        FromDib(static_cast<HGLOBAL>(info.hDib));
    else
        m_bValid = ViewOfPageBuffer(info.vlminfo, m_view, oneIsBlack, &m_strError);
}

CScannedPage::CScannedPage(HGLOBAL hDib) : m_lock(hDib) {
    FromDib(hDib);
}

void CScannedPage::FromDib(HGLOBAL hDib) {
    if (!m_lock.Get()) {
        m_strError = "no bitmap";
        return;
    }
    m_bValid = ViewOfDib(m_lock.Get(), GlobalSize(hDib), m_view, &m_strError);
}

int VlmWriteBmpPage(const CPageView& page, const char* path) {
    std::string error;
    if (!path || WriteBmpFile(path, page, &error) != 0) {
        CVlmLog::Instance().Write("VlmWriteBmpPage: %s %s", error.c_str(), path ? path : "");
        return -1;
    }
    SetLastError(0);
    return 0;
}

BOOL VlmWriteJpegPage(const CPageView& page, const char* path, int quality) {
    if (!path || !page.IsValid() || (page.m_nBitsPerPixel != 8 && page.m_nBitsPerPixel != 24))
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
    CPageRows rows;
    if (!rows.Make(page, kLibraryForm)) {
        CVlmLog::Instance().Write("VlmWriteJpegPage: no memory for the rows of %s", path);
        return FALSE;
    }
    const int rc =
        pfnSave(path, rows.Rows(), page.m_nWidth, page.m_nHeight, page.m_nXDpi,
                page.m_nBitsPerPixel == 24 ? 2 : 1, static_cast<int>(rows.Stride()), quality);
    if (rc != 0) {
        CVlmLog::Instance().Write("save_JPEG failed (%d): %s", rc, path);
        DeleteFileA(path); // whatever the library left is no page
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
        LogMakerMessages();
    }
    m_bDocumentOpen = false;
    m_pfnModeSet = nullptr;
    m_pfnExModeSet = nullptr;
    m_pfnOpen = nullptr;
    m_pfnMake = nullptr;
    m_pfnGetFileSize = nullptr;
    m_pfnClose = nullptr;
    m_pfnGetMessage = nullptr;
    m_library.Free();
}

void CPdfPageWriter::LogMakerMessages() {
    if (!m_pfnGetMessage)
        return;
    char text[1024];
    if (m_pfnGetMessage(text, sizeof(text)) <= 0)
        return;
    for (char* line = text; line && *line;) {
        char* next = strchr(line, '\n');
        if (next)
            *next++ = '\0';
        CVlmLog::Instance().Write("%s", line);
        line = next;
    }
}

BOOL CPdfPageWriter::Load(const CPdfJobOptions& options) {
    EndDocument();
    if (!m_library.Load("pafcv2.dll")) {
        m_fnShowError(VlmLocalize("PAFCV2.DLL load error").c_str(), options.m_strCaption.c_str());
        return FALSE;
    }
    m_pfnModeSet = m_library.Get<PfnModeSet>("PAFC_modeset");
    m_pfnOpen = m_library.Get<PfnOpen>("PAFC_open");
    m_pfnMake = m_library.Get<PfnMake>("PAFC_make");
    m_pfnGetFileSize = m_library.Get<PfnGetFileSize>("PAFC_getFileSize");
    m_pfnClose = m_library.Get<PfnClose>("PAFC_close");
    m_pfnExModeSet = m_library.Get<PfnExModeSet>("PAFC_exmodeset");
    m_pfnGetMessage = m_library.Get<vlm::pdfmaker::PfnGetMessage>(vlm::pdfmaker::kGetMessageExport);
    if (!m_pfnModeSet || !m_pfnOpen || !m_pfnMake || !m_pfnGetFileSize || !m_pfnClose ||
        !m_pfnExModeSet) {
        m_fnShowError(VlmLocalize("PAFCV2.DLL func load error").c_str(),
                      options.m_strCaption.c_str());
        EndDocument();
        return FALSE;
    }
    return TRUE;
}

BOOL CPdfPageWriter::SetDocumentModes(const PdfProtection& protection) {
    using namespace vlm::pdfmaker;
    // Refused before the maker is asked, so that no file is begun. The log
    // names settings, never passwords.
    if (protection.m_bPasswordUnreadable) {
        CVlmLog::Instance().Write("The job's PDF password cannot be unsealed (damaged, or stored "
                                  "by another user): no PDF is made");
        return FALSE;
    }
    if (protection.m_bPdfA && protection.HasPassword()) {
        CVlmLog::Instance().Write(
            "PDF/A and password protection exclude each other: no PDF is made");
        return FALSE;
    }
    struct Setting {
        int mode;
        std::string value;
    };
    std::vector<Setting> settings;
    if (!protection.m_strUserPassword.empty())
        settings.push_back({kModeUserPassword, protection.m_strUserPassword});
    if (!protection.m_strOwnerPassword.empty())
        settings.push_back({kModeOwnerPassword, protection.m_strOwnerPassword});
    if (protection.HasPassword()) {
        settings.push_back({kModePermissions, std::to_string(protection.m_nPermissions)});
        settings.push_back({kModeCryptLevel, std::to_string(protection.m_nCryptLevel)});
    }
    if (protection.m_bPdfA)
        settings.push_back({kModePdfA, "1"});

    const int rcReset = m_pfnModeSet(kModeReset, "");
    if (rcReset != 0) {
        CVlmLog::Instance().Write("PAFC_modeset(%d) failed (%d)", kModeReset, rcReset);
        // A maker without these settings still makes plain documents.
        if (!settings.empty())
            return FALSE;
    }
    for (const Setting& setting : settings) {
        const int rc = m_pfnModeSet(setting.mode, setting.value.c_str());
        if (rc != 0) {
            CVlmLog::Instance().Write("PAFC_modeset(%d) failed (%d): no PDF is made", setting.mode,
                                      rc);
            return FALSE;
        }
    }
    return TRUE;
}

BOOL CPdfPageWriter::WritePage(const CPageView& page, const char* path,
                               const CPdfJobOptions& options, CPdfPageResult& result) {
    if (!path || !*path) {
        // The empty path ends the batch's document.
        EndDocument();
        return TRUE;
    }
    if (!page.IsValid()) {
        CVlmLog::Instance().Write("CPdfPageWriter: no page for %s", path);
        return FALSE;
    }
    const bool startsDocument =
        !options.m_bMultiPage || options.m_nPageCounter == 0 || !m_bDocumentOpen;
    if (startsDocument) {
        if (!Load(options))
            return FALSE;
        m_pfnExModeSet(options.m_nCompression, static_cast<int>(options.m_dwLanguageFlags),
                       static_cast<int>(options.m_dwExtraFlags));
        if (!SetDocumentModes(options.m_protection)) {
            EndDocument();
            return FALSE;
        }
        // The maker recognises the text in the flags' languages on its own threads
        // (0x80000000: not at all); what it cannot do, it reports for the run log.
        const int rc = m_pfnOpen(path);
        LogMakerMessages();
        if (rc != 0) {
            CVlmLog::Instance().Write("PAFC_open failed (%d): %s", rc, path);
            EndDocument();
            DeleteFileA(path);
            return FALSE;
        }
        m_bDocumentOpen = true;
    }

    // The maker reads the rows where they lie when they already have its form;
    // otherwise they are converted once into one block.
    CPageRows rows;
    if (!rows.Make(page, kLibraryForm)) {
        result.m_bMemoryError = TRUE;
        result.m_strErrorText = VlmLocalize("Not enough memory.");
        if (!options.m_bMultiPage) {
            EndDocument();
            DeleteFileA(path);
        }
        return FALSE;
    }
    PafcPage record;
    record.rows = rows.Rows();
    record.stride = static_cast<INT32>(rows.Stride());
    record.width = page.m_nWidth;
    record.height = page.m_nHeight;
    record.dpi = page.m_nXDpi;
    record.type = page.m_nBitsPerPixel == 24 ? 3 : page.m_nBitsPerPixel == 8 ? 2 : 1;
    const int rc = m_pfnMake(&record, 0);
    int size = 0;
    m_pfnGetFileSize(&size);
    result.m_dwDocumentSize = static_cast<DWORD>(size);
    if (rc != 0) {
        CVlmLog::Instance().Write("PAFC_make failed (%d): %s", rc, path);
        if (!options.m_bMultiPage) {
            EndDocument();
            DeleteFileA(path); // a document without its page
        }
        return FALSE;
    }
    if (!options.m_bMultiPage)
        EndDocument(); // one document per page
    return TRUE;
}

CTiffPageWriter::CTiffPageWriter() {
    VlmTiffUseSharedLibraries();
}

BOOL CTiffPageWriter::WritePage(const CPageView& page, const char* path,
                                const CTiffJobOptions& options, CTiffPageResult& result) {
    if (!path || !*path)
        return FALSE;
    CTiffPageOptions tiff;
    tiff.m_bCompress = options.m_bCompress != FALSE;
    tiff.m_nJpegQuality = options.m_nJpegQuality;
    std::string error;
    if (WriteTiffPageFile(path, page, tiff, &error) != 0) {
        CVlmLog::Instance().Write("CTiffPageWriter: %s %s", error.c_str(), path);
        return FALSE;
    }
    const bool appends =
        options.m_bMultiPage && options.m_nPageCounter > 0 && !m_strFirstFile.empty();
    if (!appends) {
        m_strFirstFile = path;
        result.m_strFile = path;
        return TRUE;
    }
    const int rc = ConcatTiff(m_strFirstFile.c_str(), path);
    DeleteFileA(path); // the page lives on in the first file, or is given up
    if (rc != 0) {
        CVlmLog::Instance().Write("ConcatTiff(%s, %s) = %d", m_strFirstFile.c_str(), path, rc);
        result.m_bSizeLimit = rc == 2;
        return FALSE;
    }
    result.m_strFile = m_strFirstFile;
    return TRUE;
}

} // namespace vlm::output
