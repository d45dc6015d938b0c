// Message catalogues of the localisation library: English key -> translation
// per locale. The format (UTF-8 text):
//   ; or # starts a comment line; a UTF-8 byte order mark is skipped
//   [0407]                       a section for one locale id (hexadecimal)
//   English text = translation   the first unescaped '=' separates them
// Blanks around both sides are trimmed. In keys and texts "\n", "\t", "\=",
// "\s" and "\\" stand for a line break, a tab, '=', a blank (to keep one at
// either end) and a backslash. Lines before
// the first section, and lines without '=', are skipped.
#pragma once
#include <cstdint>
#include <map>
#include <string>

namespace vlm {

class CCatalogue {
public:
    struct ParseStats {
        int m_nEntries = 0;
        int m_nSkipped = 0;
        int m_nReplaced = 0; // keys given again (the later text wins)
    };
    // Adds the entries of one catalogue text; later entries replace earlier.
    ParseStats AddText(const std::string& utf8);
    void Clear() { m_sections.clear(); }
    // The translation for the locale: exact locale id first, then any section
    // of the same primary language (low 10 bits). nullptr when none.
    const std::string* Find(uint16_t langId, const std::string& keyUtf8) const;
    size_t SectionCount() const { return m_sections.size(); }

    // "\n" and the like -> characters.
    static std::string Unescape(const std::string& text);

private:
    std::map<uint16_t, std::map<std::string, std::string>> m_sections;
};

} // namespace vlm
