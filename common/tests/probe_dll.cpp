// Loaded by the shared library tests from different places.
#include <windows.h>
extern "C" __declspec(dllexport) int VlmProbeAnswer() {
    return 4711;
}
