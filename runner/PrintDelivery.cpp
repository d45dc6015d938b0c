#include "runner/PrintDelivery.h"

#include <new>

#include "common/Localize.h"
#include "common/VlmLog.h"
#include "framework/ComError.h"
#include "framework/Variant.h"
#include "imaging/TiffSharedLibraries.h"
#include "imaging/tiff.h"
#include "runner/core/PrintPage.h"

// Last: its A/W macros would rename names in the headers above.
#include <winspool.h>

namespace {

CVlmLog& Log() {
    return CVlmLog::Instance();
}

bool PrinterInstalled(const std::string& name) {
    CPrinterHandle h;
    return !name.empty() && ::OpenPrinterA(const_cast<char*>(name.c_str()), h.Receive(), nullptr);
}

// The job's printer as a device context; none when the stored printer cannot
// be opened. A stored printer that was removed is never replaced by another
// one: the pages would come out where the user does not look for them.
CDc OpenJobPrinter(IJobData* pJob) {
    CJobPrintDialog dlg;
    if (dlg.Restore(pJob)) {
        CDc dc(dlg.CreatePrinterDC());
        if (dc)
            return dc;
        const std::string stored = dlg.DeviceName();
        if (PrinterInstalled(stored))
            Log().Write("CreateDC(%s) failed (error %lu)", stored.c_str(), ::GetLastError());
        else
            Log().Write("The job's printer \"%s\" is not installed", stored.c_str());
        return CDc();
    }
    Log().Write("The job holds no usable printer: printing on the default printer");
    CJobPrintDialog def;
    if (!def.GetDefaults())
        return CDc();
    Log().Write("Default printer: %s", def.DeviceName().c_str());
    return std::move(def.m_hDC);
}

// ---- one page ---------------------------------------------------------------

// A bottom-up device-independent bitmap of one page: 40-byte header, the
// palette (8-bit: a grey ramp; 1-bit: black, then white), the rows.
struct CPageBitmap {
    struct {
        BITMAPINFOHEADER m_header;
        RGBQUAD m_colours[256];
    } m_info = {};
    std::vector<uint8_t> m_bits;
    size_t m_nStride = 0;
    long m_nDpi = 0;

    long Width() const { return m_info.m_header.biWidth; }
    long Height() const { return m_info.m_header.biHeight; }
};

// Reads the page into bmp; "" when done, else why it cannot be printed.
std::string ReadPageBitmap(vlm::CTiffFile& tiff, int page, CPageBitmap& bmp) {
    if (tiff.OpenPage(page) != 0)
        return "its directory cannot be read";
    const long width = tiff.GetTag(vlm::kTagImageWidth);
    const long height = tiff.GetTag(vlm::kTagImageLength);
    const long dpi = tiff.GetTag(vlm::kTagXResolution);
    const long bitsPerSample = tiff.GetTag(vlm::kTagBitsPerSample);
    const long samples = tiff.GetTag(vlm::kTagSamplesPerPixel);
    const long compression = tiff.GetTag(vlm::kTagCompression);
    Log().Write("page %d: %ld x %ld, %ld dpi, %ld x %ld bits, compression %ld", page, width, height,
                dpi, samples, bitsPerSample, compression);
    const long depth = bitsPerSample * samples;
    if (depth != 1 && depth != 8 && depth != 24) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return std::to_string(depth) + " bits per pixel are not printed (error 87)";
    }
    if (tiff.Photometric() == static_cast<int>(vlm::kPhotometricPalette))
        return "colour map (palette) images are not printed";
    if (width <= 0 || height <= 0)
        return "it has no size";
    const size_t stride = kestrel::DibRowBytes(width, depth);
    const size_t size = tiff.PageBufferSize();
    if (size == 0 || tiff.RowStride() != stride || size / stride != size_t(height))
        return "its image data cannot be read";
    try {
        bmp.m_bits.assign(size, 0);
    } catch (const std::bad_alloc&) {
        return "not enough memory for it";
    }
    if (tiff.ReadPage(bmp.m_bits.data(), size) != 0)
        return "its image data cannot be read";
    // The reader gives 1 = black for bilevel rows; this palette's black is 0.
    kestrel::ToBottomUpRows(bmp.m_bits.data(), stride, height, depth == 1);

    BITMAPINFOHEADER& h = bmp.m_info.m_header;
    h.biSize = sizeof(BITMAPINFOHEADER);
    h.biWidth = width;
    h.biHeight = height; // positive: bottom-up
    h.biPlanes = 1;
    h.biBitCount = static_cast<WORD>(depth);
    h.biCompression = BI_RGB;
    if (depth == 8) {
        for (int i = 0; i < 256; ++i)
            bmp.m_info.m_colours[i] = {BYTE(i), BYTE(i), BYTE(i), 0};
    } else if (depth == 1) {
        bmp.m_info.m_colours[0] = {0, 0, 0, 0};
        bmp.m_info.m_colours[1] = {255, 255, 255, 0};
    }
    bmp.m_nStride = stride;
    bmp.m_nDpi = dpi;
    return std::string();
}

// Sends the placed part of the page in bands; each band is the part of the
// bottom-up rows that holds it, described as a bitmap of its own height.
bool DrawPageBitmap(HDC dc, const CPageBitmap& bmp, const kestrel::PrintPlacement& placement) {
    ::SetStretchBltMode(dc, BLACKONWHITE);
    auto info = bmp.m_info;
    for (const kestrel::PrintBand& band : kestrel::SplitIntoBands(placement)) {
        info.m_header.biHeight = band.m_nRows;
        const size_t firstRow = size_t(bmp.Height() - band.m_nFirstRow - band.m_nRows);
        const int rc = ::StretchDIBits(
            dc, placement.m_nDstX, band.m_nDstY, placement.m_nDstWidth, band.m_nDstHeight, 0, 0,
            placement.m_nSrcWidth, band.m_nRows, bmp.m_bits.data() + firstRow * bmp.m_nStride,
            reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS, SRCCOPY);
        if (rc == 0 || rc == static_cast<int>(GDI_ERROR))
            return false;
    }
    return true;
}

enum class EFileResult { Done, SpoolerFailed };

// Every page of one file. A page that cannot be printed ends the file here,
// before a sheet is started for it.
EFileResult PrintFile(HDC dc, const std::string& path, const kestrel::PrintArea& area,
                      bool shrinkToFit) {
    vlm::CTiffFile tiff;
    if (!tiff.Open(path.c_str(), 'r')) {
        Log().Write("%s: not a TIFF file that can be read; not printed", path.c_str());
        return EFileResult::Done;
    }
    for (int page = 1; page <= tiff.PageCount(); ++page) {
        CPageBitmap bmp;
        std::string why = ReadPageBitmap(tiff, page, bmp);
        kestrel::PrintPlacement placement;
        if (why.empty() && !kestrel::PlacePage({bmp.Width(), bmp.Height(), bmp.m_nDpi}, area,
                                               shrinkToFit, placement))
            why = "it has no resolution";
        if (!why.empty()) {
            Log().Write("%s: page %d is not printed, %s; the rest of the file is skipped",
                        path.c_str(), page, why.c_str());
            return EFileResult::Done;
        }
        if (::StartPage(dc) <= 0) {
            Log().Write("StartPage Failed!!");
            return EFileResult::SpoolerFailed;
        }
        const bool drawn = DrawPageBitmap(dc, bmp, placement);
        if (::EndPage(dc) <= 0) {
            Log().Write("EndPage Failed!!");
            return EFileResult::SpoolerFailed;
        }
        if (!drawn) {
            Log().Write(
                "%s: page %d could not be drawn (error %lu); the rest of the file is skipped",
                path.c_str(), page, ::GetLastError());
            return EFileResult::Done;
        }
        Log().Write("%s", path.c_str());
    }
    return EFileResult::Done;
}

} // namespace

// ---- start-up and ScanToPrinter ---------------------------------------------

BOOL SetPrintInformation(IJobData* pJob, JobSettings& settings) {
    Log().Write("SetPrintInformation start");
    const CVariant mode = JobGetValue(pJob, vlm::kKeyDevMode);
    const CVariant names = JobGetValue(pJob, vlm::kKeyDevName);
    if (mode.IsEmpty() || names.IsEmpty()) {
        CJobPrintDialog dlg;
        if (!dlg.GetDefaults())
            return FALSE;
        dlg.m_hDC.Close();
        dlg.Store(pJob);
        // The store keeps values only once the job is committed.
        ThrowIfFailed(pJob->Commit(), IID_IJobData);
        Log().Write("SetPrintInformation: the default printer %s is the job's printer",
                    dlg.DeviceName().c_str());
    }
    settings.m_strFilePrefix.clear();
    Log().Write("SetPrintInformation end");
    return TRUE;
}

BOOL PrintFiles(const CPrintContext& ctx, const std::vector<std::string>& files) {
    auto fail = [&ctx] {
        if (ctx.m_fnDispMessage)
            ctx.m_fnDispMessage(VlmLocalize("Print failed.").c_str(), TRUE);
        return FALSE;
    };
    CDc dc;
    long printSize = 0;
    try {
        dc = OpenJobPrinter(ctx.m_pJob);
        printSize = JobGetLong(ctx.m_pJob, vlm::kKeyPrintSize);
    } catch (const CComError& e) {
        Log().Write("The job's printer cannot be read: %s", e.Message().c_str());
        return fail();
    }
    DOCINFOA doc = {};
    doc.cbSize = sizeof doc;
    doc.lpszDocName = "JobPrint";
    if (!dc || ::StartDocA(dc, &doc) <= 0) {
        Log().Write("StartDoc Failed!!");
        return fail();
    }
    VlmTiffUseSharedLibraries(); // JPEG pages
    const kestrel::PrintArea area{::GetDeviceCaps(dc, LOGPIXELSX), ::GetDeviceCaps(dc, LOGPIXELSY),
                                  ::GetDeviceCaps(dc, HORZRES), ::GetDeviceCaps(dc, VERTRES)};
    for (const std::string& path : files) {
        Log().Write("%s", path.c_str());
        if (PrintFile(dc, path, area, printSize != 0) == EFileResult::SpoolerFailed) {
            ::AbortDoc(dc);
            return fail();
        }
    }
    // The spooler's verdict on the whole document: a failure is no print.
    const int end = ::EndDoc(dc);
    if (end <= 0) {
        Log().Write("EndDoc Failed!! %s", kestrel::EndDocResultName(end));
        return fail();
    }
    return TRUE;
}
