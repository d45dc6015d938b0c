// pafcv2.dll: the PDF maker behind plain C entry points (see pafcv2.def).
#include <windows.h>

#include "pafc.h"

// Referenced here so that the linker keeps the exported functions of the static core.
extern "C" void* const g_vlmPafcExports[] = {
    reinterpret_cast<void*>(&vlm_PAFC_exmodeset), reinterpret_cast<void*>(&vlm_PAFC_open),
    reinterpret_cast<void*>(&vlm_PAFC_make),      reinterpret_cast<void*>(&vlm_PAFC_getFileSize),
    reinterpret_cast<void*>(&vlm_PAFC_close),     reinterpret_cast<void*>(&vlm_PAFC_modeset)};

BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH)
        DisableThreadLibraryCalls(hInstance);
    return TRUE;
}
