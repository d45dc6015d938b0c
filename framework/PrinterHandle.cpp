#include <windows.h>
#include <winspool.h>

#include "framework/Handles.h"

namespace vlm {

void CPrinterTraits::Free(HANDLE h) {
    ::ClosePrinter(h);
}

} // namespace vlm
