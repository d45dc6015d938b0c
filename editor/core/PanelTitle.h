// What the scanner's panel can show of a job title, byte by byte. The panel
// of the VX-4x0 family shows single-byte characters only: printable ASCII,
// and on a Japanese system also half-width katakana. Other models show the
// double-byte characters of the PC's code page, except that such titles are
// refused because their panels cannot.
#pragma once
#include <functional>
#include <string>

namespace plover {

enum class PanelTitleRule {
    kAscii,            // every byte 0x20..0x7E
    kAsciiAndKatakana, // every byte 0x20..0x7E or 0xA0..0xDF
    kNoDoubleByte,     // no two bytes that form a double-byte character
};

// The rule of a model name ("VX-410", ...) for a user whose default
// language is Japanese or not.
PanelTitleRule PanelTitleRuleFor(const std::string& model, bool bJapaneseUser);

// True when the two bytes form one legal double-byte character of the
// current code page.
using DoubleBytePredicate = std::function<bool(unsigned char lead, unsigned char trail)>;

// True when every byte of the title passes the rule. An empty title passes.
bool PanelTitleFits(const std::string& title, PanelTitleRule rule,
                    const DoubleBytePredicate& isDoubleByte);

} // namespace plover
