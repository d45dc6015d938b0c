// Settings profile text from a job's stored "driver" block: any bytes must
// load or fail cleanly, and whatever loads must save and load again.
#include "core/dssettings.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    vx410ds::CDsSettings s;
    std::string err;
    if (!vx410ds::LoadProfileText(text, "CustomDsData", s, &err))
        return 0;
    const std::string saved = vx410ds::SaveProfileText(s, "CustomDsData");
    vx410ds::CDsSettings again;
    if (!vx410ds::LoadProfileText(saved, "CustomDsData", again, &err))
        std::abort();
    if (vx410ds::SaveProfileText(again, "CustomDsData") != saved)
        std::abort();
    (void)vx410ds::MergeProfileSection(text, saved, "CustomDsData");
    return 0;
}
