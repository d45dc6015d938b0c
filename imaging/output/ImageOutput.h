// The runner's page writers: BMP, JPEG (through vlmjpeg.dll) and PDF (through
// pafcv2.dll), each fed with the page's device-independent bitmap.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "common/SharedLibrary.h"
#include "imaging/output/PageImage.h"

namespace vlm::output {

// BMP page: 0 or -1; on success the thread's last error is cleared.
int VlmWriteBmpPage(HGLOBAL hDib, const char* path);

// JPEG page: only 8- and 24-bit pages are written (FALSE and no file otherwise).
// FALSE as well when the library or its entry point is missing or it fails to
// write, so that a page is never counted as saved when there is no file.
BOOL VlmWriteJpegPage(HGLOBAL hDib, const char* path, int quality);

// What a PDF page needs from the job session.
struct CPdfJobOptions {
    BOOL m_bMultiPage = FALSE;
    int m_nPageCounter = 0; // pages saved so far in this batch
    CPdfSettings m_settings;
    std::string m_strCaption = "VX-410"; // message box caption (the model name)
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

    BOOL WritePage(HGLOBAL hDib, const char* path, const CPdfJobOptions& options,
                   CPdfPageResult& result);
    bool IsDocumentOpen() const { return m_bDocumentOpen; }

    // Shows load failures; a topmost message box unless replaced (tests).
    std::function<void(const char* text, const char* caption)> m_fnShowError;

private:
    BOOL Load(const CPdfJobOptions& options);
    void EndDocument();

    typedef int(__cdecl* PfnExModeSet)(int, int, int);
    typedef int(__cdecl* PfnOpen)(const char*);
    typedef int(__cdecl* PfnMake)(const void*, int);
    typedef int(__cdecl* PfnGetFileSize)(int*);
    typedef int(__cdecl* PfnClose)(void);

    CVlmLibrary m_library;
    PfnExModeSet m_pfnExModeSet = nullptr;
    PfnOpen m_pfnOpen = nullptr;
    PfnMake m_pfnMake = nullptr;
    PfnGetFileSize m_pfnGetFileSize = nullptr;
    PfnClose m_pfnClose = nullptr;
    bool m_bDocumentOpen = false;
};

} // namespace vlm::output
