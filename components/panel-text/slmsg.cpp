#define SLMSG_BUILD
#include "slmsg.h"

#include <cstring>

extern "C" SLMSG_API int WINAPI GetScannerMessage(const char* catalogue, int panelSetting,
                                                  const char* message, char* buffer,
                                                  int bufferSize) {
    (void)catalogue;
    (void)panelSetting;
    if (!buffer || bufferSize <= 0)
        return -1;
    if (!message)
        message = "";
    size_t len = std::strlen(message);
    if (len > static_cast<size_t>(bufferSize - 1))
        len = static_cast<size_t>(bufferSize - 1);
    std::memcpy(buffer, message, len);
    buffer[len] = '\0';
    return static_cast<int>(len);
}
