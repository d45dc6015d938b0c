// A recovered job's manifest and a dead runner's run file, as corvid and the
// next runner read them from the user's folder: any bytes give a record whose
// manifest reads back as itself, a folder name a file system takes, and times
// that are times.
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/portable/RecoveryRecord.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const vlm::RecoveryRecord r = vlm::ParseRecoveryRecord(text);
    const std::string manifest = vlm::RecoveryManifestText(r);
    if (vlm::RecoveryManifestText(vlm::ParseRecoveryRecord(manifest)) != manifest)
        __builtin_trap();

    const std::string name = vlm::RecoveryFolderName(r);
    if (name.empty() || name.find_first_of("\\/:*?\"<>|") != std::string::npos ||
        name.back() == '.' || name.back() == ' ')
        __builtin_trap();
    for (char c : name)
        if (static_cast<unsigned char>(c) < 0x20)
            __builtin_trap();
    if (vlm::SafeFileNamePart(text, 12).size() > 12)
        __builtin_trap();

    int f[6];
    if (vlm::ParseRecoveryTime(r.m_strTime, f)) {
        if (f[1] < 1 || f[1] > 12 || f[2] < 1 || f[2] > 31 || f[3] > 23 || f[4] > 59 || f[5] > 60)
            __builtin_trap();
        if (vlm::FormatRecoveryTime(f[0], f[1], f[2], f[3], f[4], f[5]) != r.m_strTime)
            __builtin_trap();
    }
    return 0;
}
