#include "editor/core/TitleRules.h"
#include <algorithm>

namespace plover {

bool IsSingleBytePanelModel(const std::string& modelName) {
    static const char* const kModels[] = {"VX-420", "VX-410", "VX-430"};
    return std::any_of(std::begin(kModels), std::end(kModels),
                       [&](const char* m) { return modelName == m; });
}

bool TitleFitsPanel(const std::string& title, const std::string& modelName, bool japaneseUser,
                    const std::function<bool(unsigned char)>& isLeadByte) {
    if (IsSingleBytePanelModel(modelName)) {
        for (unsigned char b : title) {
            const bool ascii = b >= 0x20 && b <= 0x7E;
            const bool kana = japaneseUser && b >= 0xA0 && b <= 0xDF;
            if (!ascii && !kana)
                return false;
        }
        return true;
    }
    // A lead byte with a byte after it is a double-byte character.
    for (size_t i = 0; i + 1 < title.size(); ++i)
        if (isLeadByte(static_cast<unsigned char>(title[i])))
            return false;
    return true;
}

} // namespace plover
