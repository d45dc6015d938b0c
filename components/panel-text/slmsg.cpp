#define SLMSG_BUILD
#include "slmsg.h"

#include <cstring>
#include <fstream>

namespace {
// What the library was handed, one line per call, when the environment names
// a trace file: the panel setting byte, the catalogue and the message reach
// it from the scanner and the runner, and nothing else shows them.
void Trace(const char* catalogue, int panelSetting, const char* message) {
    char path[MAX_PATH];
    const DWORD n = GetEnvironmentVariableA("SLMSG_TRACE", path, sizeof path);
    if (n == 0 || n >= sizeof path)
        return;
    std::ofstream out(path, std::ios::app | std::ios::binary);
    out << panelSetting << '|' << (catalogue ? catalogue : "") << '|' << message << "\r\n";
}
} // namespace

extern "C" SLMSG_API int WINAPI GetScannerMessage(const char* catalogue, int panelSetting,
                                                  const char* message, char* buffer,
                                                  int bufferSize) {
    if (!message)
        message = "";
    Trace(catalogue, panelSetting, message);
    if (!buffer || bufferSize <= 0)
        return -1;
    size_t len = std::strlen(message);
    if (len > static_cast<size_t>(bufferSize - 1))
        len = static_cast<size_t>(bufferSize - 1);
    std::memcpy(buffer, message, len);
    buffer[len] = '\0';
    return static_cast<int>(len);
}
