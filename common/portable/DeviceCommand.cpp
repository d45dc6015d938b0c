#include "common/portable/DeviceCommand.h"

#include <cstring>

using namespace devcmd;

namespace vlm {
namespace {

// SEND(10)/READ(10) with the multi-byte fields big-endian.
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
    return TransferCommand(kOpSend10, kTypePanel, jobNumber, kTitleDataSize);
}

CommandBlock PanelMessageCommand() {
    return TransferCommand(kOpSend10, kTypePanel, kPanelMessageQualifier, kPanelDataSize);
}

CommandBlock DeviceInfoCommand() {
    return TransferCommand(kOpRead10, kTypeDeviceInfo, 1, kDeviceInfoSize);
}

CommandBlock LoadCheckCommand() {
    return {kOpObjectPosition, kPositionLoad, 0, 0, 0, 0, 0, 0, 0, 0};
}

DiagnosticBlock DiagnosticCommand() {
    return {kOpReceiveDiagnostic, 0, 0, uint8_t(kDiagnosticSize), 0};
}

bool IsWritableJobTitle(long jobNumber, const char* title, unsigned long length) {
    if (jobNumber < 1 || jobNumber > kJobCount)
        return false;
    if (length > kTitleMaxBytes)
        return false;
    return title != nullptr || length == 0;
}

JobTitleData MakeJobTitleData(const char* title, size_t length) {
    JobTitleData data{};
    if (title && length <= kTitleMaxBytes)
        std::memcpy(data.data() + kTitleOffset, title, length);
    return data;
}

PanelMessageData MakePanelMessageData(DisplayKind kind, const char* text) {
    PanelMessageData data{};
    data[0] = uint8_t(kind);
    if (text)
        std::memcpy(data.data() + kPanelTextOffset, text, strnlen(text, kPanelTextMaxBytes));
    return data;
}

SenseCode DecodeSense(const uint8_t (&sense)[kSenseSize]) {
    return SenseCode{uint8_t(sense[2] & 0x0F), uint16_t(sense[12] << 8 | sense[13])};
}

SenseVerdict InterpretSense(const uint8_t (&sense)[kSenseSize]) {
    const SenseCode s = DecodeSense(sense);
    switch (s.m_nKey) {
    case kSenseKeyNone:
        return {false, s.m_nCode == kCodeNone ? kNothing : kUnknown};
    case kSenseKeyMedium:
        switch (s.m_nCode) {
        case kCodeNoPaper: // the scanner is ready for the user's paper
            return {false, kNothing};
        case kCodeLamp:
            return {false, {"Lamp Error", false}};
        case kCodeJam:
            return {false, {"Paper jammed in scanner; clear paper and continue.", true}};
        case kCodeCoverOpen:
            return {false, {"Scanner cover is open.", true}};
        case kCodeDoubleFeed:
            return {false,
                    {"A double paper-feed has occured. Please check the document and the scanned "
                     "image on the display and scan the document again.",
                     true}};
        default:
            return {false, kUnknown};
        }
    case kSenseKeyHardware:
        return {s.m_nCode == kCodeHardware, kUnknown};
    default:
        return {false, kUnknown};
    }
}

int DiagnosticNumber(const uint8_t (&results)[kDiagnosticSize]) {
    return results[kDiagnosticNumberOffset] << 8 | results[kDiagnosticNumberOffset + 1];
}

DeviceText InterpretDiagnosticResults(const uint8_t (&results)[kDiagnosticSize]) {
    DeviceText text = kUnknown;
    if (results[0] != kDiagnosticValid)
        text = {"DiagnosticResults[0]!=0x80", false};
    if (results[4] != kDiagnosticPageFormat)
        text = {"DiagnosticResults[4]!=4", false};
    // A known error number names the fault even in a reply that is otherwise
    // malformed.
    switch (DiagnosticNumber(results)) {
    case kDiagShadingPosition:
        return {"Error in shading position", true};
    case kDiagLockingHooks:
        return {"Please confirm Scanner Unit locking hooks and Scanning Unit slide lock, and then "
                "restart scanner.",
                true};
    case kDiagE44:
        return {"error 0xE44", false};
    default:
        return text;
    }
}

DeviceText UnknownDeviceError() {
    return kUnknown;
}

} // namespace vlm
