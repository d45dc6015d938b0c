// The runner's page writers: BMP, JPEG (through vlmjpeg.dll), PDF (through
// pafcv2.dll) and TIFF, called the same way once per page:
//
//     CScannedPage page(*pPageInfo);        // the page the scan engine delivered
//     if (page.IsValid())
//         ok = VlmWriteJpegPage(page.View(), path, quality);
//
// Each takes the page as a view of the scan engine's own memory; a writer
// converts rows only when its file or library wants another form, once, and
// removes a file it could not finish.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "common/SharedLibrary.h"
#include "common/portable/JobVocabulary.h"
#include "contracts/PdfMaker.h"
#include "framework/Handles.h"
#include "imaging/output/PageImage.h"

namespace vlm::output {

// The page of a page message as the writers take it: the page buffer of a
// memory transfer, or the native transfer's bitmap, locked while this object
// lives. Nothing is copied.
class CScannedPage {
public:
    // Bilevel page buffers have 0 = black unless the source delivers 1 = black.
    explicit CScannedPage(const VlmPageInfo& info, bool oneIsBlack = false);
    // A packed bitmap in global memory.
    explicit CScannedPage(HGLOBAL hDib);
    CScannedPage(const CScannedPage&) = delete;
    CScannedPage& operator=(const CScannedPage&) = delete;

    bool IsValid() const { return m_bValid; }
    const CPageView& View() const { return m_view; }
    const std::string& Error() const { return m_strError; }

private:
    void FromDib(HGLOBAL hDib);

    CGlobalLock m_lock;
    CPageView m_view;
    bool m_bValid = false;
    std::string m_strError;
};

// BMP page: 0 or -1; on success the thread's last error is cleared.
int VlmWriteBmpPage(const CPageView& page, const char* path);

// JPEG page: only 8- and 24-bit pages are written (FALSE and no file otherwise).
// FALSE as well when the library or its entry point is missing or it fails to
// write, so that a page is never counted as saved when there is no file.
BOOL VlmWriteJpegPage(const CPageView& page, const char* path, int quality);

// What a PDF page needs from the job session (the job's values already mapped,
// see JobSettings).
struct CPdfJobOptions {
    BOOL m_bMultiPage = FALSE;
    int m_nPageCounter = 0;              // pages saved so far in this batch
    int m_nCompression = 0;              // JobSettings::m_nPdfCompression
    DWORD m_dwLanguageFlags = 0;         // JobSettings::m_dwOcrLanguage
    DWORD m_dwExtraFlags = 0;            // JobSettings::m_dwOcrSecond
    std::string m_strCaption = "VX-410"; // message box caption (the model name)
    PdfProtection m_protection;          // JobSettings::m_PdfProtection
};

// What a PDF page reports back to the session.
struct CPdfPageResult {
    BOOL m_bMemoryError = FALSE;
    std::string m_strErrorText; // "Not enough memory." (localised) on memory failure
    DWORD m_dwDocumentSize = 0; // document size after the page, for the size checks
};

// The PDF maker as one job session uses it: a document per page, or one document
// for the batch ended by WritePage with an empty path.
class CPdfPageWriter {
public:
    CPdfPageWriter();
    ~CPdfPageWriter(); // ends an open document so that its pages are kept

    // An empty path ends the batch's document; the page is not looked at then.
    BOOL WritePage(const CPageView& page, const char* path, const CPdfJobOptions& options,
                   CPdfPageResult& result);
    bool IsDocumentOpen() const { return m_bDocumentOpen; }

    // Shows load failures; a topmost message box unless replaced (tests).
    std::function<void(const char* text, const char* caption)> m_fnShowError;

private:
    BOOL Load(const CPdfJobOptions& options);
    // Hands the protection and PDF/A settings to the maker for the next
    // PAFC_open; FALSE (logged) when no document may be made with them.
    BOOL SetDocumentModes(const PdfProtection& protection);
    void EndDocument();
    void LogMakerMessages(); // what the maker reports (optional PAFC_getMessage)

    typedef int(__cdecl* PfnModeSet)(int, const char*);
    typedef int(__cdecl* PfnExModeSet)(int, int, int);
    typedef int(__cdecl* PfnOpen)(const char*);
    typedef int(__cdecl* PfnMake)(const void*, int);
    typedef int(__cdecl* PfnGetFileSize)(int*);
    typedef int(__cdecl* PfnClose)(void);

    CVlmLibrary m_library;
    PfnModeSet m_pfnModeSet = nullptr;
    PfnExModeSet m_pfnExModeSet = nullptr;
    PfnOpen m_pfnOpen = nullptr;
    PfnMake m_pfnMake = nullptr;
    PfnGetFileSize m_pfnGetFileSize = nullptr;
    PfnClose m_pfnClose = nullptr;
    vlm::pdfmaker::PfnGetMessage m_pfnGetMessage = nullptr;
    bool m_bDocumentOpen = false;
};

// What a TIFF page needs from the job session.
struct CTiffJobOptions {
    BOOL m_bCompress = FALSE;  // "tiff_Comp": Group 4 for bilevel, JPEG for grey and colour
    BOOL m_bMultiPage = FALSE; // "tiff_MultiPage"
    int m_nPageCounter = 0;    // pages saved so far in this batch
    int m_nJpegQuality = 75;
};

// What a TIFF page reports back to the session.
struct CTiffPageResult {
    // The multi-page file would reach 2 GB: the page was not added (the
    // session's TIFF size flag goes to 0).
    BOOL m_bSizeLimit = FALSE;
    std::string m_strFile; // the file that holds the page now
};

// TIFF pages as one job session writes them: a file per page, or, for a
// multi-page job, each later page written to its own path, appended to the
// batch's first file with ConcatTiff and deleted.
class CTiffPageWriter {
public:
    CTiffPageWriter(); // JPEG pages through vlmjpeg.dll, ConcatTiff's lines to the run log

    BOOL WritePage(const CPageView& page, const char* path, const CTiffJobOptions& options,
                   CTiffPageResult& result);
    const std::string& FirstFile() const { return m_strFirstFile; }

private:
    std::string m_strFirstFile;
};

} // namespace vlm::output
