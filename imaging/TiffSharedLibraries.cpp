#include "TiffSharedLibraries.h"

#include "common/SharedLibrary.h"
#include "common/VlmLog.h"
#include "imaging/tiff.h"

namespace {

const char kJpegLibrary[] = "vlmjpeg.dll";

using PfnSave = int (*)(const char*, const unsigned char*, int, int, int, int, int, int);
using PfnRead = int (*)(const char*, unsigned char*, int*, int*, int);

int SaveThroughLibrary(const char* path, const unsigned char* rows, int width, int height, int dpi,
                       int colour, int stride, int quality) {
    CVlmLibrary lib;
    if (!lib.Load(kJpegLibrary))
        return -1;
    PfnSave pfn = lib.Get<PfnSave>("save_JPEG");
    return pfn ? pfn(path, rows, width, height, dpi, colour, stride, quality) : -1;
}

int ReadThroughLibrary(const char* path, unsigned char* out, int* width, int* height, int stride) {
    CVlmLibrary lib;
    if (!lib.Load(kJpegLibrary))
        return 0;
    PfnRead pfn = lib.Get<PfnRead>("read_JPEG_file");
    return pfn ? pfn(path, out, width, height, stride) : 0;
}

void RunLogLine(const char* text) {
    CVlmLog::Instance().Write("%s", text);
}

} // namespace

void VlmTiffUseSharedLibraries() {
    vlm::TiffJpegCodec codec;
    codec.pfnSave = SaveThroughLibrary;
    codec.pfnRead = ReadThroughLibrary;
    vlm::SetTiffJpegCodec(codec);
    vlm::SetTiffRunLogSink(RunLogLine);
}

BOOL VlmTiffJpegLibraryAvailable() {
    CVlmLibrary lib;
    return lib.Load(kJpegLibrary) && lib.GetProc("save_JPEG") && lib.GetProc("read_JPEG_file");
}
