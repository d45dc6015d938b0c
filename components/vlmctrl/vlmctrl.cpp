// vlmctrl.dll: the maker's control library. The job list tool only checks
// that its installation is whole by loading it; nothing is called.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}
