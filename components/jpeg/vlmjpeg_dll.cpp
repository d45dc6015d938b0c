// vlmjpeg.dll: the codec behind plain C entry points (see vlmjpeg.def).
#include <windows.h>

#include "jpegcodec.h"

// Referenced here so that the linker keeps the exported functions of the static core.
extern "C" void* const g_vlmJpegExports[] = {reinterpret_cast<void*>(&vlm_save_JPEG),
                                             reinterpret_cast<void*>(&vlm_read_JPEG_header),
                                             reinterpret_cast<void*>(&vlm_read_JPEG_file)};

BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH)
        DisableThreadLibraryCalls(hInstance);
    return TRUE;
}
