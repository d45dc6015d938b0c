#include "PanelBlock.h"

#include <algorithm>
#include <cstring>

namespace kestrel {

std::array<uint8_t, 10> PanelMessageCommand() {
    return {0x2A, 0x00, 0x84, 0x00, 0x00, 0x65, 0x00, 0x00, 0x24, 0x00};
}

std::array<uint8_t, 10> DeviceInfoCommand() {
    return {0x28, 0x00, 0x8C, 0x00, 0x00, 0x01, 0x00, 0x00, 0x80, 0x00};
}

std::array<uint8_t, kPanelDataBytes> PanelMessageData(PanelDisplayKind kind,
                                                      const std::string& text) {
    std::array<uint8_t, kPanelDataBytes> data{};
    data[0] = static_cast<uint8_t>(kind);
    // Stop at an embedded zero: the panel text is a C string cut to 32 bytes.
    const size_t len = std::min({text.size(), std::strlen(text.c_str()), kPanelTextBytes});
    std::memcpy(data.data() + 4, text.data(), len);
    return data;
}

PanelDisplayKind ChoosePanelDisplayKind(bool isError, const std::string& message,
                                        const std::string& localisedScanning,
                                        const std::string& localisedSendingComplete) {
    if (isError)
        return kPanelError;
    if (message == localisedScanning || message == localisedSendingComplete)
        return kPanelNormal;
    return kPanelWarning;
}

const char* PanelDisplayKindWord(PanelDisplayKind kind) {
    switch (kind) {
    case kPanelNormal:
        return "normal";
    case kPanelWarning:
        return "warning";
    default:
        return "error";
    }
}

} // namespace kestrel
