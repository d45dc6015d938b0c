// Windows: connects the portable TIFF code to the system's shared pieces —
// JPEG pages through "vlmjpeg.dll" (found by the shared library search) and
// ConcatTiff's lines to the run log.
#pragma once

#include <windows.h>

// Installs the JPEG entry points (the library is loaded for each call and
// freed after it) and the run-log sink. Safe to call more than once.
void VlmTiffUseSharedLibraries();
// TRUE when "vlmjpeg.dll" can be loaded and has the entry points TIFF needs.
BOOL VlmTiffJpegLibraryAvailable();
