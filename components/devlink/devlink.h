// devlink: the device command library. Carries command blocks to the VX-410
// (here: the simulated one, see components/vx410sim/vx410sim.h).
// A device handle is a 32-bit value; 0 means none.
#pragma once

#include <windows.h>

#ifdef DEVLINK_BUILD
#define DEVLINK_API __declspec(dllexport)
#else
#define DEVLINK_API __declspec(dllimport)
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef DWORD STIHANDLE;

// Nonzero when a device with that friendly name is attached; deviceId (256
// bytes) then holds the device name that StiOpen takes.
DEVLINK_API BOOL WINAPI StiProbeDeviceID(char* deviceId, const char* friendlyName);
// A handle, 0 on failure.
DEVLINK_API STIHANDLE WINAPI StiOpen(const char* deviceName);
// 1 when the handle was open, 0 otherwise.
DEVLINK_API BOOL WINAPI StiClose(STIHANDLE h);
// Nonzero when the device took the block and the data.
DEVLINK_API BOOL WINAPI StiWrite(STIHANDLE h, const BYTE* cdb, DWORD cdbLen, const BYTE* data,
                                 DWORD dataLen);
// Fills the buffer (zeroed first) with the data returned by the device.
DEVLINK_API BOOL WINAPI StiRead(STIHANDLE h, const BYTE* cdb, DWORD cdbLen, BYTE* buffer,
                                DWORD bufferLen);
// Command without a data phase. 0: check condition, see StiGetSenseCode.
DEVLINK_API BOOL WINAPI StiNone(STIHANDLE h, const BYTE* cdb, DWORD cdbLen);
// Fixed-format sense data of the last command on the handle (14 bytes).
DEVLINK_API BOOL WINAPI StiGetSenseCode(STIHANDLE h, BYTE* buffer, DWORD bufferLen);
// Vendor escape: 0 = test unit ready (nonzero when the device is ready for
// a command); other values are refused (0).
DEVLINK_API BOOL WINAPI StiExecCommand(STIHANDLE h, DWORD value);

#ifdef __cplusplus
}
#endif
