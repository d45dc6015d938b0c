// The scanner's sense data and diagnostic results, and the titles and panel
// texts the suite sends: any bytes give a text and well-formed blocks.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "common/portable/DeviceCommand.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    uint8_t sense[devcmd::kSenseSize] = {};
    uint8_t results[devcmd::kDiagnosticSize] = {};
    const size_t s = size < sizeof sense ? size : sizeof sense;
    std::memcpy(sense, data, s);
    const size_t r = size - s < sizeof results ? size - s : sizeof results;
    std::memcpy(results, data + s, r);
    const std::string text(reinterpret_cast<const char*>(data + s + r), size - s - r);

    const vlm::SenseVerdict v = vlm::InterpretSense(sense);
    if (!v.m_text.m_pszEnglish || !vlm::InterpretDiagnosticResults(results).m_pszEnglish)
        __builtin_trap();

    const long jobNumber = sense[0];
    if (vlm::IsWritableJobTitle(jobNumber, text.data(), text.size())) {
        const vlm::JobTitleData t = vlm::MakeJobTitleData(text.data(), text.size());
        if (std::memcmp(t.data() + devcmd::kTitleOffset, text.data(), text.size()) != 0)
            __builtin_trap();
    }
    const vlm::PanelMessageData p = vlm::MakePanelMessageData(devcmd::kDisplayError, text.c_str());
    if (p[0] != devcmd::kDisplayError)
        __builtin_trap();
    return 0;
}
