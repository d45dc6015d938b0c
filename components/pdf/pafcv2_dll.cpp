// pafcv2.dll: the PDF maker behind plain C entry points (see pafcv2.def).
#include <windows.h>

#include "pafc.h"

#include <string>

// Referenced here so that the linker keeps the exported functions of the static core.
extern "C" void* const g_vlmPafcExports[] = {
    reinterpret_cast<void*>(&vlm_PAFC_exmodeset), reinterpret_cast<void*>(&vlm_PAFC_open),
    reinterpret_cast<void*>(&vlm_PAFC_make),      reinterpret_cast<void*>(&vlm_PAFC_getFileSize),
    reinterpret_cast<void*>(&vlm_PAFC_close),     reinterpret_cast<void*>(&vlm_PAFC_modeset),
    reinterpret_cast<void*>(&vlm_PAFC_getMessage)};

BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(hInstance);
        // The recognition languages live in "tessdata" beside the DLL.
        char path[MAX_PATH];
        const DWORD n = GetModuleFileNameA(hInstance, path, MAX_PATH);
        if (n > 0 && n < MAX_PATH) {
            std::string folder(path, n);
            folder.resize(folder.find_last_of("\\/") + 1);
            vlm_PAFC_setLanguageFolder((folder + "tessdata").c_str());
        }
    }
    return TRUE;
}
