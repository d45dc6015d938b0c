// The model plug-in's exports (VX410.dll and the plug-ins of other models):
// what a caller needs to load the library by name and call them. The job list
// tool calls InitJob and IsKestrelExist; programs outside the suite call
// SetScannerJobTitle and GetFunctionID. All four use the platform API's
// calling convention and 32-bit integers.
#pragma once
#ifdef _WIN32
#include <windows.h>

namespace modelplugin {

// Export names, as GetProcAddress takes them.
constexpr char kIsKestrelExist[] = "IsKestrelExist";
constexpr char kInitJob[] = "InitJob";
constexpr char kGetFunctionID[] = "GetFunctionID";
constexpr char kSetScannerJobTitle[] = "SetScannerJobTitle";

// 1 while a job runner lives (its mutex exists), else 0.
typedef LONG(WINAPI* PFN_IsKestrelExist)();
// Prepares the job store for the model and resets "MonitorOpen"; shows a COM
// error in a message box, returns nothing.
typedef void(WINAPI* PFN_InitJob)();
// The delivery function id of job 1..99, or kNoFunction.
typedef LONG(WINAPI* PFN_GetFunctionID)(LONG nJobNumber);
// Nonzero writes the store's job titles to the scanner's panel, 0 clears
// them. 1: a job runs, nothing done; 0: no scanner; else the device close's
// result.
typedef LONG(WINAPI* PFN_SetScannerJobTitle)(LONG bWrite);

// GetProcAddress as the export's pointer type; nullptr when it is missing.
template <class Pfn> Pfn GetExport(HMODULE hModule, const char* name) {
    return reinterpret_cast<Pfn>(reinterpret_cast<void*>(::GetProcAddress(hModule, name)));
}

// GetFunctionID's answer when no function can be given.
constexpr LONG kNoFunction = 8;
// The "INITIALDRIVERSETTINGS" resource: the model's initial driver settings,
// black and white first, then colour.
constexpr char kInitialSettingsType[] = "INITIALDRIVERSETTINGS";
constexpr WORD kInitialSettingsId = 101;

} // namespace modelplugin
#endif
