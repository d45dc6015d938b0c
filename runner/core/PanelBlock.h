// Command blocks the runner sends to the scanner for its panel line.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace kestrel {

enum PanelDisplayKind : uint8_t {
    kPanelNormal = 1,
    kPanelWarning = 2,
    kPanelError = 3,
};

constexpr size_t kPanelTextBytes = 32;
constexpr size_t kPanelDataBytes = 36;
constexpr size_t kDeviceInfoBytes = 128;
constexpr size_t kPanelSettingOffset = 24; // byte of the device information block

// SEND(10) with vendor data type 0x84, qualifier 101 (panel line), 36 bytes.
std::array<uint8_t, 10> PanelMessageCommand();
// READ(10) with vendor data type 0x8C, qualifier 1, 128 bytes.
std::array<uint8_t, 10> DeviceInfoCommand();

// The 36 data bytes: kind, three zero bytes, then the text's first 32 bytes
// (zero-padded; a 32-byte text has no terminator). text may hold no zero.
std::array<uint8_t, kPanelDataBytes> PanelMessageData(PanelDisplayKind kind,
                                                      const std::string& text);

// Errors show as errors; the two progress texts as normal; anything else as
// a warning. The progress texts are passed in already localised.
PanelDisplayKind ChoosePanelDisplayKind(bool isError, const std::string& message,
                                        const std::string& localisedScanning,
                                        const std::string& localisedSendingComplete);

const char* PanelDisplayKindWord(PanelDisplayKind kind);

} // namespace kestrel
