// An outside program, built into a folder of its own: loads VX410.dll by the
// full path it is given (no altered search path, as such programs do) and
// prints what GetFunctionID(job) and SetScannerJobTitle(1) answer, with the
// last error the latter left.
//   plugin_caller <VX410.dll path> <job number>
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "contracts/ModelPlugin.h"

int main(int argc, char** argv) {
    if (argc != 3)
        return 2;
    HMODULE plugin = ::LoadLibraryA(argv[1]);
    if (!plugin) {
        std::printf("load error %lu\n", ::GetLastError());
        return 1;
    }
    using namespace modelplugin;
    const auto getFunctionId = GetExport<PFN_GetFunctionID>(plugin, kGetFunctionID);
    const auto setTitles = GetExport<PFN_SetScannerJobTitle>(plugin, kSetScannerJobTitle);
    if (!getFunctionId || !setTitles)
        return 3;
    const LONG function = getFunctionId(std::atol(argv[2]));
    ::SetLastError(ERROR_SUCCESS);
    const LONG titles = setTitles(1);
    const DWORD titleError = ::GetLastError();
    std::printf("function %ld titles %ld error %lu\n", function, titles, titleError);
    ::FreeLibrary(plugin);
    return 0;
}
