// Which job titles the scanner's panel can show. Portable: the code page's
// lead-byte test comes from the caller.
#pragma once
#include <functional>
#include <string>

namespace plover {

// The models whose panel shows single-byte characters only.
bool IsSingleBytePanelModel(const std::string& modelName);

// The title's bytes (in the ANSI code page) against the model's panel:
// single-byte panels take 0x20..0x7E, with Japanese as the user's language
// also 0xA0..0xDF (half-width katakana); other panels refuse any double-byte
// character. An empty title fits.
bool TitleFitsPanel(const std::string& title, const std::string& modelName, bool japaneseUser,
                    const std::function<bool(unsigned char)>& isLeadByte);

} // namespace plover
