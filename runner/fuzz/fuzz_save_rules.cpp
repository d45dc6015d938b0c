// The save folder and watched folders come from the job store, the driver's
// message from the data source: the path rules and texts cope with any text.
// Input: flags byte, code (4 bytes), then "save folder\nwatched folder".
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "runner/core/SaveRules.h"
#include "runner/core/SessionRules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5)
        return 0;
    uint32_t code;
    std::memcpy(&code, data + 1, sizeof code);
    const std::string text(reinterpret_cast<const char*>(data) + 5, size - 5);
    const size_t cut = text.find('\n');
    const std::string save = text.substr(0, cut);
    const std::string watched = cut == std::string::npos ? std::string() : text.substr(cut + 1);

    const std::string root = kestrel::PathRoot(save);
    if (save.compare(0, root.size(), root) != 0)
        __builtin_trap();
    const std::string dest = kestrel::DestinationPath(save, watched);
    if (dest.size() > save.size() + 1 + watched.size())
        __builtin_trap();
    (void)kestrel::LiesUnderWatchedFolder(save, data[0] & 1, watched, data[0] & 2);
    // Every folder lies under itself.
    if (!kestrel::TrimTrailingBackslashes(save).empty() &&
        !kestrel::LiesUnderWatchedFolder(save, true, save, true))
        __builtin_trap();

    (void)kestrel::DriverErrorText(text, code);
    (void)kestrel::CompleteWithDriverText(save, watched, code);
    if (!kestrel::ScanAbortQuestion(code) || !kestrel::NoPagePanelText(code))
        __builtin_trap();
    return 0;
}
