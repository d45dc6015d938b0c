// The command blocks the suite sends to the VX-410 and what its answers mean:
// SEND(10)/READ(10) with vendor data types, OBJECT POSITION (load check),
// RECEIVE DIAGNOSTIC RESULTS, and fixed-format sense data. No Windows needed;
// the device channel (common/StiCmd.h) sends what is built here; the
// layouts themselves are in contracts/DeviceCommand.h.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include "contracts/DeviceCommand.h"

namespace vlm {

using CommandBlock = std::array<uint8_t, devcmd::kBlockBytes>;
using DiagnosticBlock = std::array<uint8_t, devcmd::kDiagnosticBlockBytes>;
using JobTitleData = std::array<uint8_t, devcmd::kTitleDataSize>;
using PanelMessageData = std::array<uint8_t, devcmd::kPanelDataSize>;

// SEND(10), data type 0x84, qualifier = the job number, 32 bytes.
CommandBlock JobTitleCommand(uint8_t jobNumber);
// SEND(10), data type 0x84, qualifier 101 (the panel's message line), 36 bytes.
CommandBlock PanelMessageCommand();
// READ(10), data type 0x8C, qualifier 1, 128 bytes.
CommandBlock DeviceInfoCommand();
// OBJECT POSITION with position type 1 (load); no data phase.
CommandBlock LoadCheckCommand();
// RECEIVE DIAGNOSTIC RESULTS for 8 bytes; the block is 5 bytes long.
DiagnosticBlock DiagnosticCommand();

// A title goes to the scanner only for job numbers 1..99 and at most 29
// bytes; a longer one is refused, never cut. A null title is refused unless
// its length is 0.
bool IsWritableJobTitle(long jobNumber, const char* title, unsigned long length);
// Three zero bytes, the title's bytes, zero padding (a 29-byte title has no
// terminator). Only for what IsWritableJobTitle accepts.
JobTitleData MakeJobTitleData(const char* title, size_t length);
// The display kind, three zero bytes, then the C text's first 32 bytes,
// zero-padded (a text of 32 bytes or more has no terminator). nullptr: empty.
PanelMessageData MakePanelMessageData(devcmd::DisplayKind kind, const char* text);

// One text for the user about the scanner's state, in English. Translated
// texts are looked up in the localisation catalogue where they are shown.
struct DeviceText {
    const char* m_pszEnglish; // "" when there is nothing to report
    bool m_bTranslated;
};

struct SenseCode {
    uint8_t m_nKey;   // byte 2, low four bits
    uint16_t m_nCode; // bytes 12 and 13 (ASC, ASCQ)
};
SenseCode DecodeSense(const uint8_t (&sense)[devcmd::kSenseSize]);

// What the sense data of a failed command tells the user. A hardware error
// is explained by the diagnostic results, read next on the same device.
struct SenseVerdict {
    bool m_bReadDiagnostics;
    DeviceText m_text; // when m_bReadDiagnostics is false
};
SenseVerdict InterpretSense(const uint8_t (&sense)[devcmd::kSenseSize]);

// The diagnostic error number (bytes 6 and 7, big-endian).
int DiagnosticNumber(const uint8_t (&results)[devcmd::kDiagnosticSize]);
DeviceText InterpretDiagnosticResults(const uint8_t (&results)[devcmd::kDiagnosticSize]);

// What the user sees when the device's answer cannot be interpreted.
DeviceText UnknownDeviceError();

} // namespace vlm
