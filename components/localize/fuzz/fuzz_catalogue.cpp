// Catalogue files come from disk and may be damaged: parsing and lookups
// must cope with any bytes.
#include "components/localize/Catalogue.h"
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vlm::CCatalogue c;
    std::string text(reinterpret_cast<const char*>(data), size);
    c.AddText(text);
    c.Find(0x0407, "Please wait.");
    c.Find(0x0807, text.substr(0, 16));
    vlm::CCatalogue::Unescape(text);
    return 0;
}
