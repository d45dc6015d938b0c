#include "common/portable/DeviceCommand.h"

#include <cstring>

namespace vlm {
namespace {

constexpr uint8_t kOpSend10 = 0x2A;
constexpr uint8_t kOpRead10 = 0x28;
constexpr uint8_t kOpObjectPosition = 0x31;
constexpr uint8_t kOpReceiveDiagnostic = 0x1C;
constexpr uint8_t kTypePanelData = 0x84;
constexpr uint8_t kTypeDeviceInfo = 0x8C;
constexpr uint8_t kQualifierPanelMessage = 0x65;
constexpr uint8_t kPositionLoad = 1;

constexpr uint8_t kSenseKeyNone = 0;
constexpr uint8_t kSenseKeyMedium = 3;
constexpr uint8_t kSenseKeyHardware = 4;

// SEND(10)/READ(10): data type in byte 2, qualifier in bytes 4-5, transfer
// length in bytes 6-8, all big-endian.
CommandBlock TransferCommand(uint8_t op, uint8_t type, uint16_t qualifier, uint32_t length) {
    return {op,
            0,
            type,
            0,
            uint8_t(qualifier >> 8),
            uint8_t(qualifier),
            uint8_t(length >> 16),
            uint8_t(length >> 8),
            uint8_t(length),
            0};
}

constexpr DeviceText kNothing{"", false};
constexpr DeviceText kUnknown{"Unknown error.", true};

} // namespace

CommandBlock JobTitleCommand(uint8_t jobNumber) {
    return TransferCommand(kOpSend10, kTypePanelData, jobNumber, kJobTitleDataBytes);
}

CommandBlock PanelMessageCommand() {
    return TransferCommand(kOpSend10, kTypePanelData, kQualifierPanelMessage,
                           kPanelMessageDataBytes);
}

CommandBlock DeviceInfoCommand() {
    return TransferCommand(kOpRead10, kTypeDeviceInfo, 1, kDeviceInfoBytes);
}

CommandBlock LoadCheckCommand() {
    return {kOpObjectPosition, kPositionLoad, 0, 0, 0, 0, 0, 0, 0, 0};
}

DiagnosticBlock DiagnosticCommand() {
    // The allocation length sits in byte 3 alone.
    return {kOpReceiveDiagnostic, 0, 0, uint8_t(kDiagnosticResultBytes), 0};
}

bool IsWritableJobTitle(long jobNumber, const char* title, unsigned long length) {
    if (jobNumber < kFirstJobTitle || jobNumber > kLastJobTitle)
        return false;
    if (length > kJobTitleMaxBytes)
        return false;
    return title != nullptr || length == 0;
}

JobTitleData MakeJobTitleData(const char* title, size_t length) {
    JobTitleData data{};
    if (title && length <= kJobTitleMaxBytes)
        std::memcpy(data.data() + kJobTitleOffset, title, length);
    return data;
}

PanelMessageData MakePanelMessageData(PanelDisplayKind kind, const char* text) {
    PanelMessageData data{};
    data[0] = kind;
    if (text)
        std::memcpy(data.data() + kPanelMessageOffset, text, strnlen(text, kPanelMessageTextBytes));
    return data;
}

SenseCode DecodeSense(const uint8_t (&sense)[kSenseBytes]) {
    return SenseCode{uint8_t(sense[2] & 0x0F), uint16_t(sense[12] << 8 | sense[13])};
}

SenseVerdict InterpretSense(const uint8_t (&sense)[kSenseBytes]) {
    const SenseCode s = DecodeSense(sense);
    switch (s.m_nKey) {
    case kSenseKeyNone:
        return {false, s.m_nCode == 0 ? kNothing : kUnknown};
    case kSenseKeyMedium:
        switch (s.m_nCode) {
        case 0x3A00: // no paper: the watch is over, the user loads paper next
            return {false, kNothing};
        case 0x6000:
            return {false, {"Lamp Error", false}};
        case 0x8000:
            return {false, {"Paper jammed in scanner; clear paper and continue.", true}};
        case 0x8001:
            return {false, {"Scanner cover is open.", true}};
        case 0x8101:
            return {false,
                    {"A double paper-feed has occured. Please check the document and the scanned "
                     "image on the display and scan the document again.",
                     true}};
        default:
            return {false, kUnknown};
        }
    case kSenseKeyHardware:
        if (s.m_nCode == 0x8004)
            return {true, kUnknown};
        return {false, kUnknown};
    default:
        return {false, kUnknown};
    }
}

int DiagnosticNumber(const uint8_t (&results)[kDiagnosticResultBytes]) {
    return results[6] << 8 | results[7];
}

DeviceText InterpretDiagnosticResults(const uint8_t (&results)[kDiagnosticResultBytes]) {
    DeviceText text = kUnknown;
    if (results[0] != 0x80)
        text = {"DiagnosticResults[0]!=0x80", false};
    if (results[4] != 4)
        text = {"DiagnosticResults[4]!=4", false};
    // A known error number names the fault even in a reply that is otherwise
    // malformed.
    switch (DiagnosticNumber(results)) {
    case 0xE33:
        return {"Error in shading position", true};
    case 0xE35:
        return {"Please confirm Scanner Unit locking hooks and Scanning Unit slide lock, and then "
                "restart scanner.",
                true};
    case 0xE44:
        return {"error 0xE44", false};
    default:
        return text;
    }
}

DeviceText UnknownDeviceError() {
    return kUnknown;
}

} // namespace vlm
