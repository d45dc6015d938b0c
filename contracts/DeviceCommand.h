// The command blocks between the suite and the VX-410: SCSI-2 scanner
// commands (SEND(10), READ(10), OBJECT POSITION, RECEIVE DIAGNOSTIC RESULTS,
// TEST UNIT READY) with vendor data types, the layouts of their data, and the
// fixed-format sense data of a failed command. The device (the simulator in
// components/vx410sim) and the application's device channel (common/StiCmd.h)
// both include this. Portable, header only.
#pragma once

#include <cstddef>
#include <cstdint>

namespace devcmd {

// Operation codes, byte 0 of a block.
constexpr uint8_t kOpTestUnitReady = 0x00;
constexpr uint8_t kOpReceiveDiagnostic = 0x1C;
constexpr uint8_t kOpRead10 = 0x28;
constexpr uint8_t kOpSend10 = 0x2A;
constexpr uint8_t kOpObjectPosition = 0x31;

// SEND(10) and READ(10) blocks are 10 bytes: byte 2 the vendor data type,
// bytes 4-5 the data type qualifier, bytes 6-8 the transfer length, all
// big-endian. OBJECT POSITION is 10 bytes with the position type in the low
// three bits of byte 1. RECEIVE DIAGNOSTIC RESULTS is 5 bytes with the
// allocation length in byte 3 alone. TEST UNIT READY is 6 bytes.
constexpr size_t kBlockBytes = 10;
constexpr size_t kDiagnosticBlockBytes = 5;
constexpr size_t kTestUnitReadyBytes = 6;
constexpr uint8_t kTypePanel = 0x84;      // job titles and the panel's message line
constexpr uint8_t kTypeDeviceInfo = 0x8C; // qualifier 1
constexpr uint8_t kPositionLoad = 1;      // the load check

// Job titles: qualifier = job number 1..99; 32 data bytes, the title's bytes
// (system ANSI code page) from byte 3, at most 29, zero-padded.
constexpr int kJobCount = 99;
constexpr size_t kTitleDataSize = 32;
constexpr size_t kTitleOffset = 3;
constexpr size_t kTitleMaxBytes = kTitleDataSize - kTitleOffset;

// The panel's message line: qualifier 101; 36 data bytes, the display kind
// in byte 0, the text from byte 4, at most 32 bytes, zero-padded.
constexpr uint8_t kPanelMessageQualifier = 0x65;
constexpr size_t kPanelDataSize = 36;
constexpr size_t kPanelTextOffset = 4;
constexpr size_t kPanelTextMaxBytes = kPanelDataSize - kPanelTextOffset;
// 0 is what the panel shows before any message arrived; never sent.
enum DisplayKind { kDisplayNone = 0, kDisplayNormal = 1, kDisplayWarning = 2, kDisplayError = 3 };

// Device information: 128 bytes; byte 24 is the panel setting byte the
// panel text library is given.
constexpr size_t kDeviceInfoSize = 128;
constexpr size_t kDeviceInfoPanelByte = 24;

// Diagnostic results: 8 bytes; byte 0 0x80 (results valid), byte 4 4 (page
// format), bytes 6-7 the diagnostic error number, big-endian (0: none).
constexpr size_t kDiagnosticSize = 8;
constexpr uint8_t kDiagnosticValid = 0x80;
constexpr uint8_t kDiagnosticPageFormat = 4;
constexpr size_t kDiagnosticNumberOffset = 6;
constexpr int kDiagShadingPosition = 0xE33;
constexpr int kDiagLockingHooks = 0xE35; // unit locking hooks / slide lock
constexpr int kDiagE44 = 0xE44;

// Sense data: 14 bytes, fixed format: byte 0 0x70, byte 2 the sense key (low
// four bits), byte 7 the additional length 6, bytes 12-13 the code (ASC, ASCQ).
constexpr size_t kSenseSize = 14;
constexpr uint8_t kSenseKeyNone = 0;
constexpr uint8_t kSenseKeyNotReady = 2;
constexpr uint8_t kSenseKeyMedium = 3;
constexpr uint8_t kSenseKeyHardware = 4; // read the diagnostic results
constexpr uint8_t kSenseKeyIllegalRequest = 5;
constexpr uint16_t kCodeNone = 0x0000;
constexpr uint16_t kCodeNotReady = 0x0400;
constexpr uint16_t kCodeInvalidCommand = 0x2000;
constexpr uint16_t kCodeInvalidField = 0x2400;
constexpr uint16_t kCodeNoPaper = 0x3A00;
constexpr uint16_t kCodeLamp = 0x6000;
constexpr uint16_t kCodeJam = 0x8000;
constexpr uint16_t kCodeCoverOpen = 0x8001;
constexpr uint16_t kCodeHardware = 0x8004;
constexpr uint16_t kCodeDoubleFeed = 0x8101;

} // namespace devcmd
