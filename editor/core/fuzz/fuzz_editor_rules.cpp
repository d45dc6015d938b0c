// The editor's rules over stored values and translated messages (address
// lists, driver settings text, save folders, job titles, language digits).
#include <cstddef>
#include <cstdint>
#include <string>

#include "editor/core/AddressList.h"
#include "editor/core/AdminRules.h"
#include "editor/core/HelpFile.h"
#include "editor/core/PanelTitle.h"
#include "editor/core/SaveFolderRules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    const std::vector<std::string> pieces = plover::SplitAddressList(text);
    if (plover::JoinAddressList(pieces) != text)
        __builtin_trap();
    if (!text.empty() && pieces.size() != plover::CountAddressSeparators(text) + 1)
        __builtin_trap();
    (void)plover::HasTooManyAddresses(text);
    (void)plover::IsAddableAddress(text);

    (void)plover::DriverDetectsPageType(text);
    (void)plover::DriverIsBinary(text);
    (void)plover::HasInvalidFileNameLetter(text);
    const std::string last = plover::LastPathComponent(text);
    if (last.size() > text.size() || last.find_first_of("\\/") != std::string::npos)
        __builtin_trap();

    // Translated message texts: only "%1" and "%2" change.
    if (text.find('%') == std::string::npos && plover::FormatTwoNumbers(text, 1, 2) != text)
        __builtin_trap();

    if (!EdHelpFileForLanguage(text.c_str()))
        __builtin_trap();
    const auto anyPair = [](unsigned char lead, unsigned char) { return lead >= 0x81; };
    for (const bool japanese : {false, true})
        (void)plover::PanelTitleFits(text, plover::PanelTitleRuleFor(text, japanese), anyPair);
    return 0;
}
