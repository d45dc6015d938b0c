#include "editor/core/PanelTitle.h"

namespace plover {

PanelTitleRule PanelTitleRuleFor(const std::string& model, bool bJapaneseUser) {
    static const char* const kSingleByteModels[] = {"VX-420", "VX-410", "VX-430"};
    for (const char* m : kSingleByteModels)
        if (model == m)
            return bJapaneseUser ? PanelTitleRule::kAsciiAndKatakana : PanelTitleRule::kAscii;
    return PanelTitleRule::kNoDoubleByte;
}

bool PanelTitleFits(const std::string& title, PanelTitleRule rule,
                    const DoubleBytePredicate& isDoubleByte) {
    const size_t n = title.size();
    for (size_t i = 0; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(title[i]);
        switch (rule) {
        case PanelTitleRule::kAscii:
            if (c < 0x20 || c > 0x7E)
                return false;
            break;
        case PanelTitleRule::kAsciiAndKatakana:
            if ((c < 0x20 || c > 0x7E) && (c < 0xA0 || c > 0xDF))
                return false;
            break;
        case PanelTitleRule::kNoDoubleByte:
            if (i + 1 < n && isDoubleByte &&
                isDoubleByte(c, static_cast<unsigned char>(title[i + 1])))
                return false;
            break;
        }
    }
    return true;
}

} // namespace plover
