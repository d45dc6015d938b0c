// The device side of the command channel: the simulated VX-410 executing
// SEND(10), READ(10), OBJECT POSITION, RECEIVE DIAGNOSTIC RESULTS and
// TEST UNIT READY blocks against the state folder.
#include "vx410sim.h"

#include <algorithm>
#include <cstring>

namespace vx410sim {
namespace {

// The outcome of one block inside the locked update.
struct Outcome {
    bool m_bGood = false;
    SenseData m_sense;
};

Outcome Check(uint8_t key, uint16_t code) {
    return Outcome{false, SenseData{key, code}};
}
Outcome Good() {
    return Outcome{true, SenseData{}};
}

// Fault priority: what stops the scanner first is reported first.
Outcome LoadCheck(const DeviceState& s) {
    if (s.m_nDiagError != 0)
        return Check(kSenseKeyHardware, kCodeHardware);
    if (s.m_bLampError)
        return Check(kSenseKeyMedium, kCodeLamp);
    if (s.m_bCoverOpen)
        return Check(kSenseKeyMedium, kCodeCoverOpen);
    if (s.m_bJammed)
        return Check(kSenseKeyMedium, kCodeJam);
    if (s.m_bDoubleFed)
        return Check(kSenseKeyMedium, kCodeDoubleFeed);
    if (!s.PaperPresent())
        return Check(kSenseKeyMedium, kCodeNoPaper);
    return Good();
}

void FillDeviceInfo(const DeviceState& s, uint8_t* info) {
    std::memset(info, 0, kDeviceInfoSize);
    std::memcpy(info, "VELMORA ", 8);
    std::memcpy(info + 8, "VX-410          ", 16);
    info[kDeviceInfoPanelByte] = uint8_t(s.m_nPanelSetting);
    std::memcpy(info + 25, "1.00", 4);
    info[29] = uint8_t(s.m_attachment == Attachment::Scsi ? 2 : 1);
}

void FillDiagnostic(const DeviceState& s, uint8_t* d) {
    std::memset(d, 0, kDiagnosticSize);
    d[0] = kDiagnosticValid;
    d[4] = kDiagnosticPageFormat;
    d[kDiagnosticNumberOffset] = uint8_t((s.m_nDiagError >> 8) & 0xFF);
    d[kDiagnosticNumberOffset + 1] = uint8_t(s.m_nDiagError & 0xFF);
}

// Bytes up to the first zero, at most max.
std::string TextField(const uint8_t* p, size_t max) {
    size_t n = 0;
    while (n < max && p[n] != 0)
        ++n;
    return std::string(reinterpret_cast<const char*>(p), n);
}

Outcome Execute(DeviceState& s, Phase phase, const uint8_t* cdb, size_t cdbLen, const uint8_t* out,
                uint8_t* in, size_t dataLen) {
    if (s.m_bSenseArmed) { // an injected failure hits whatever comes next
        s.m_bSenseArmed = false;
        return Outcome{false, s.m_armedSense};
    }
    const uint8_t op = cdb[0];
    switch (op) {
    case kOpSend10:
    case kOpRead10: {
        if (cdbLen != kBlockBytes)
            return Check(kSenseKeyIllegalRequest, kCodeInvalidField);
        if (phase != (op == kOpSend10 ? Phase::Out : Phase::In))
            return Check(kSenseKeyIllegalRequest, kCodeInvalidField);
        const uint8_t type = cdb[2];
        const int qualifier = cdb[4] << 8 | cdb[5];
        const size_t length = size_t(cdb[6]) << 16 | size_t(cdb[7]) << 8 | cdb[8];
        if (dataLen < length) // the buffer must hold what the block announces
            return Check(kSenseKeyIllegalRequest, kCodeInvalidField);
        if (op == kOpSend10 && type == kTypePanel) {
            if (qualifier >= 1 && qualifier <= kJobCount) {
                if (length != kTitleDataSize)
                    return Check(kSenseKeyIllegalRequest, kCodeInvalidField);
                s.m_titles[size_t(qualifier - 1)] = TextField(out + kTitleOffset, kTitleMaxBytes);
                return Good();
            }
            if (qualifier == kPanelMessageQualifier) {
                if (length != kPanelDataSize || out[0] < kDisplayNormal || out[0] > kDisplayError)
                    return Check(kSenseKeyIllegalRequest, kCodeInvalidField);
                s.m_nDisplayKind = out[0];
                s.m_strPanelMessage = TextField(out + kPanelTextOffset, kPanelTextMaxBytes);
                return Good();
            }
            return Check(kSenseKeyIllegalRequest, kCodeInvalidField);
        }
        if (op == kOpRead10 && type == kTypeDeviceInfo) {
            if (qualifier != 1 || length != kDeviceInfoSize)
                return Check(kSenseKeyIllegalRequest, kCodeInvalidField);
            FillDeviceInfo(s, in);
            return Good();
        }
        return Check(kSenseKeyIllegalRequest, kCodeInvalidField);
    }
    case kOpObjectPosition:
        if (cdbLen != kBlockBytes || phase != Phase::None || (cdb[1] & 0x07) != kPositionLoad)
            return Check(kSenseKeyIllegalRequest, kCodeInvalidField);
        return LoadCheck(s);
    case kOpReceiveDiagnostic: {
        if (cdbLen < 5 || cdbLen > 6 || phase != Phase::In)
            return Check(kSenseKeyIllegalRequest, kCodeInvalidField);
        // The panel software sends 1C 00 00 08 00: the length is byte 3 alone.
        const size_t alloc = cdb[3];
        if (dataLen < alloc)
            return Check(kSenseKeyIllegalRequest, kCodeInvalidField);
        uint8_t d[kDiagnosticSize];
        FillDiagnostic(s, d);
        std::memcpy(in, d, std::min(alloc, kDiagnosticSize));
        return Good();
    }
    case kOpTestUnitReady:
        if (cdbLen != kTestUnitReadyBytes || phase != Phase::None)
            return Check(kSenseKeyIllegalRequest, kCodeInvalidField);
        return Good();
    default:
        return Check(kSenseKeyIllegalRequest, kCodeInvalidCommand);
    }
}

} // namespace

bool ExecuteBlock(CSimDevice& dev, Phase phase, const uint8_t* cdb, size_t cdbLen, uint8_t* data,
                  size_t dataLen, SenseData* pSense) {
    SenseData local;
    SenseData& sense = pSense ? *pSense : local;
    if (phase == Phase::In && data && dataLen)
        std::memset(data, 0, dataLen);
    if (!cdb || cdbLen == 0 || (phase != Phase::None && dataLen != 0 && !data)) {
        sense = SenseData{kSenseKeyIllegalRequest, kCodeInvalidField};
        return false;
    }
    const size_t effectiveLen = phase == Phase::None ? 0 : (data ? dataLen : 0);
    Outcome result = Check(kSenseKeyNotReady, kCodeNotReady);
    const bool written = dev.Update([&](DeviceState& s) {
        if (s.m_attachment == Attachment::None)
            return false; // stays "not ready"
        ++s.m_nCommands;
        result = Execute(s, phase, cdb, cdbLen, phase == Phase::Out ? data : nullptr,
                         phase == Phase::In ? data : nullptr, effectiveLen);
        return true;
    });
    if (!written) {
        sense = SenseData{kSenseKeyNotReady, kCodeNotReady};
        if (phase == Phase::In && data && dataLen)
            std::memset(data, 0, dataLen);
        return false;
    }
    if (!result.m_bGood && phase == Phase::In && data && dataLen)
        std::memset(data, 0, dataLen); // a failed read returns nothing
    sense = result.m_bGood ? SenseData{} : result.m_sense;
    return result.m_bGood;
}

} // namespace vx410sim
