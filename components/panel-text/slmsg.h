// slmsg: turns a runner message into the text the scanner's panel shows.
// This stand-in passes the message through unchanged (the panel shows the
// ANSI text as it is); the catalogue path and the panel setting byte are
// accepted for the interface's sake. When the environment variable
// SLMSG_TRACE names a file, each call appends "setting|catalogue|message"
// (CR LF) to it.
#pragma once

#include <windows.h>

#ifdef SLMSG_BUILD
#define SLMSG_API __declspec(dllexport)
#else
#define SLMSG_API __declspec(dllimport)
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Writes the zero-terminated panel form of message into buffer (bufferSize
// bytes, cut when longer). Returns the length written, or -1 when buffer is
// missing or bufferSize is not positive. A missing message gives "".
SLMSG_API int WINAPI GetScannerMessage(const char* catalogue, int panelSetting, const char* message,
                                       char* buffer, int bufferSize);

typedef int(WINAPI* PFN_GetScannerMessage)(const char*, int, const char*, char*, int);

#ifdef __cplusplus
}
#endif
