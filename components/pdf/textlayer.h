// The invisible text layer of recognised pages: the words drawn in text render
// mode 3 (neither fill nor stroke) over the image, each scaled to its box, in a
// font of our own that viewers and text extractors map back to Unicode.
// Portable: no Windows API.
#pragma once

#include "ocrengine.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace vlm::pdf {

class CPdfWriter;

// The document's text font: a Type0 font over a CIDFontType2 whose TrueType
// program we generate. Every character used gets its own CID (1, 2, ... in
// order of first use; CID 0 stays .notdef) and glyph of the same number; all
// glyphs are empty with one advance width, so the program stays a few bytes per
// character, and the ToUnicode map gives each CID its character.
class CTextFont {
public:
    // The word as a PDF hex string of CIDs ("<00010002>"); count is the number
    // of characters shown. Characters the font cannot take (controls, and any
    // beyond its 65534 glyphs) are left out.
    std::string ShowString(const std::string& utf8, int* count);
    bool Empty() const { return m_vecUnicode.empty(); }
    // What WriteObjects will add, for the document's size so far.
    size_t EstimatedBytes() const;
    // Writes the Type0 font as object fontObject (reserved earlier) and the
    // objects it needs.
    bool WriteObjects(CPdfWriter& writer, int fontObject) const;
    // The TrueType program with a glyph for each CID.
    std::vector<uint8_t> FontProgram() const;
    // The ToUnicode CMap.
    std::string ToUnicode() const;

private:
    std::map<uint32_t, uint16_t> m_mapCids; // code point -> CID
    std::vector<uint32_t> m_vecUnicode;     // CID - 1 -> code point
};

// Page content for the words: text render mode 3, each word placed on its box
// (pixels of a page of pageHeight rows at dpi) and scaled so that its width is
// the box's. Empty when no word has anything to show.
std::string TextContent(const std::vector<OcrWord>& words, CTextFont& font, int pageHeight,
                        int dpi);

} // namespace vlm::pdf
