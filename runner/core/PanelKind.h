// Which display kind a runner text takes on the scanner's panel. The panel
// message block itself is built by the device channel (common/portable/
// DeviceCommand.h).
#pragma once

#include <string>

#include "contracts/DeviceCommand.h"

namespace kestrel {

// Errors show as errors; the two progress texts as normal; anything else as
// a warning. The progress texts are passed in already localised.
devcmd::DisplayKind ChoosePanelDisplayKind(bool isError, const std::string& message,
                                           const std::string& localisedScanning,
                                           const std::string& localisedSendingComplete);

const char* PanelDisplayKindWord(devcmd::DisplayKind kind);

} // namespace kestrel
