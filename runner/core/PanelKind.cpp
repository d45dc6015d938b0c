#include "PanelKind.h"

namespace kestrel {

devcmd::DisplayKind ChoosePanelDisplayKind(bool isError, const std::string& message,
                                           const std::string& localisedScanning,
                                           const std::string& localisedSendingComplete) {
    if (isError)
        return devcmd::kDisplayError;
    if (message == localisedScanning || message == localisedSendingComplete)
        return devcmd::kDisplayNormal;
    return devcmd::kDisplayWarning;
}

const char* PanelDisplayKindWord(devcmd::DisplayKind kind) {
    switch (kind) {
    case devcmd::kDisplayNormal:
        return "normal";
    case devcmd::kDisplayWarning:
        return "warning";
    default:
        return "error";
    }
}

} // namespace kestrel
