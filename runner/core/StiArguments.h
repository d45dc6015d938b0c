// Command line of the runner as the still-image button event starts it.
#pragma once

#include <string>
#include <vector>

#include "contracts/RecoveredScans.h"

namespace kestrel {

constexpr const char kStiDevicePrefix[] = "/StiDevice:";
constexpr const char kStiEventPrefix[] = "/StiEvent:";
constexpr const char* kDeliverRecoveredPrefix = vlm::kDeliverRecoveredSwitch;
// The scanner's two button events.
constexpr const char kStiEventScan[] = "{895DBEB0-1F4A-4756-ABFD-3218CF1F10A5}";
constexpr const char kStiEventScan2[] = "{AADF8531-9B29-4e93-8067-C8C186B0FEA3}";

struct StiArguments {
    std::string m_strDevice;
    std::string m_strEvent;
    std::string m_strRecoveredFolder;
};

// args excludes the program name. Prefixes match with exact case; a later
// occurrence replaces an earlier one; anything else is ignored.
StiArguments ParseStiArguments(const std::vector<std::string>& args);

// True when the event id names one of the scanner's button events (any case).
bool IsScannerEvent(const std::string& eventId);

} // namespace kestrel
