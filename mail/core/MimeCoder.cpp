#include "mail/core/MimeCoder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "mail/core/Base64.h"

namespace vlm::mail {
namespace {

const char kQuotedPrintableLine[] = "Content-Transfer-Encoding: quoted-printable";
const char k7bitLine[] = "Content-Transfer-Encoding: 7bit";
const char kEscJis[] = "\x1b$B";
const char kEscAscii[] = "\x1b(B";

bool IsSjisLead(uint8_t c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}
bool IsSjisTrail(uint8_t c) {
    return c >= 0x40 && c <= 0xFC && c != 0x7F;
}
bool IsGbByte(uint8_t c) {
    return c >= 0xA1 && c <= 0xFE;
}
bool IsCrLf(const std::string& s, size_t i) {
    return i + 1 < s.size() && s[i] == '\r' && s[i + 1] == '\n';
}
// Bytes that stand for themselves in a quoted-printable body or a Q word.
bool IsQpSafe(uint8_t c) {
    return c >= 0x21 && c <= 0x7E && c != '=' && c != '?' && c != '_';
}
// Bytes that stand for themselves in a Q word of a display name or comment.
bool IsPhraseSafe(uint8_t c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
           (c != 0 && std::strchr("!*+-/", c));
}
// Plain display name text that must be quoted: specials, controls, 8-bit bytes.
bool NeedsQuotes(const std::string& text) {
    for (uint8_t c : text)
        if (c == 0 || (!IsPhraseSafe(c) && !std::strchr(" \t\r\n#$%&'=?^_`{|}~", c)))
            return true;
    return false;
}

void AppendHex(std::string& out, uint8_t c) {
    static const char hex[] = "0123456789ABCDEF";
    out += '=';
    out += hex[c >> 4];
    out += hex[c & 15];
}

// The longest line SMTP and RFC 5322 carry, without its CR LF.
const size_t kMaxLine = 998;

// CR and LF each end a line: the DATA writer sends a bare one as CR LF.
size_t LongestLine(const std::string& text) {
    size_t longest = 0, line = 0;
    for (char c : text) {
        line = c == '\r' || c == '\n' ? 0 : line + 1;
        longest = std::max(longest, line);
    }
    return longest;
}

// Quoted-printable of bytes on an output line that already holds line
// characters; lines stay within 76 characters including the soft break.
void AppendQuotedPrintable(const std::string& bytes, std::string& out, size_t& line) {
    for (uint8_t c : bytes) {
        if (c == '\r' || c == '\n') {
            out += char(c);
            line = 0;
            continue;
        }
        const size_t width = IsQpSafe(c) ? 1 : 3;
        if (line + width > 75) {
            out += "=\r\n";
            line = 0;
        }
        if (width == 1)
            out += char(c);
        else
            AppendHex(out, c);
        line += width;
    }
}

// Full-width Shift-JIS forms of the half-width katakana 0xA1-0xDF (JIS X 0201
// to JIS X 0208).
const uint16_t kFullWidth[0xE0 - 0xA1] = {
    0x8142, 0x8175, 0x8176, 0x8141, 0x8145, 0x8392, 0x8340, 0x8342, 0x8344, 0x8346, // A1-AA
    0x8348, 0x8383, 0x8385, 0x8387, 0x8362, 0x815B, 0x8341, 0x8343, 0x8345, 0x8347, // AB-B4
    0x8349, 0x834A, 0x834C, 0x834E, 0x8350, 0x8352, 0x8354, 0x8356, 0x8358, 0x835A, // B5-BE
    0x835C, 0x835E, 0x8360, 0x8363, 0x8365, 0x8367, 0x8369, 0x836A, 0x836B, 0x836C, // BF-C8
    0x836D, 0x836E, 0x8371, 0x8374, 0x8377, 0x837A, 0x837D, 0x837E, 0x8380, 0x8381, // C9-D2
    0x8382, 0x8384, 0x8386, 0x8388, 0x8389, 0x838A, 0x838B, 0x838C, 0x838D, 0x838F, // D3-DC
    0x8393, 0x814A, 0x814B,                                                         // DD-DF
};

// The full-width form of a half-width katakana with a voiced (0xDE) or
// semi-voiced (0xDF) mark, or 0 when the pair has none.
uint16_t Combined(uint8_t kana, uint8_t mark) {
    if (mark == 0xDE) {
        if (kana == 0xB3)
            return 0x8394; // U with the voiced mark
        if (kana >= 0xB6 && kana <= 0xC4)
            return kFullWidth[kana - 0xA1] + 1; // KA..TO
        if (kana >= 0xCA && kana <= 0xCE)
            return kFullWidth[kana - 0xA1] + 1; // HA..HO
    } else if (mark == 0xDF && kana >= 0xCA && kana <= 0xCE) {
        return kFullWidth[kana - 0xA1] + 2;
    }
    return 0;
}

void PutSjis(std::string& out, uint16_t code) {
    out += char(code >> 8);
    out += char(code & 0xFF);
}

// Shift-JIS double-byte to its JIS X 0208 row and cell.
void SjisToJis(uint8_t lead, uint8_t trail, std::string& out) {
    int c1 = lead >= 0xE0 ? lead - 0x40 : lead;
    c1 = (c1 - 0x81) * 2 + 0x21;
    int c2 = trail;
    if (c2 >= 0x9F) {
        ++c1;
        c2 -= 0x7E;
    } else {
        c2 -= c2 >= 0x80 ? 0x20 : 0x1F;
    }
    out += char(c1 & 0x7F);
    out += char(c2 & 0x7F);
}

// Shared piece loop of the two double-byte splitters: open and close are the
// escapes around a double-byte run; toWide writes one double-byte character
// and answers its input length, or 0 when the bytes at pos are not one.
template <class Wide, class Narrow>
std::string SplitRuns(const std::string& text, size_t& pos, size_t limit, const char* open,
                      const char* close, Wide toWide, Narrow toNarrow) {
    const size_t openLen = std::char_traits<char>::length(open);
    const size_t closeLen = std::char_traits<char>::length(close);
    std::string out;
    bool inRun = false;
    std::string unit;
    while (pos < text.size()) {
        if (IsCrLf(text, pos)) {
            if (!out.empty() && out.size() + (inRun ? closeLen : 0) + 2 > limit)
                break;
            if (inRun)
                out += close;
            out += "\r\n";
            pos += 2;
            return out;
        }
        unit.clear();
        if (size_t used = toWide(text, pos, unit)) {
            // Room for the character, its opening escape and the closing one.
            if (!out.empty() && out.size() + (inRun ? 0 : openLen) + unit.size() + closeLen > limit)
                break;
            if (!inRun)
                out += open;
            inRun = true;
            out += unit;
            pos += used;
            continue;
        }
        const size_t used = toNarrow(text, pos, unit);
        if (!out.empty() && out.size() + (inRun ? closeLen : 0) + unit.size() > limit)
            break;
        if (inRun)
            out += close;
        inRun = false;
        out += unit;
        pos += used;
    }
    if (inRun)
        out += close;
    return out;
}

} // namespace

// ---- base coder ----

CMimeCoder::CMimeCoder(std::string charset, std::string bodyHeaderLine, std::string headerEncoding)
    : m_Charset(charset), m_BodyHeaderLine(bodyHeaderLine),
      m_HeaderInfo(charset, headerEncoding, "text/plain", "Binary", bodyHeaderLine),
      m_TextInfo(charset, "", "text/plain", "Binary", bodyHeaderLine),
      m_AttachmentInfo("", "base64", "application/octet-stream", "Binary", "") {}

bool CMimeCoder::EncodeHeader(const std::string& text, std::string& result, const std::string&, int,
                              unsigned) {
    return EncodeHeader2(text, result, "", 0, 0);
}

bool CMimeCoder::EncodeHeader2(const std::string& text, std::string& result, const std::string&,
                               int, unsigned) {
    try {
        result = text;
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool CMimeCoder::EncodeBody(const std::string& text, std::string& result, const std::string&,
                            unsigned) {
    try {
        result.clear();
        // The text part's Content-Type names the charset of its body.
        const std::string& cs = CharsetFor(text);
        m_HeaderInfo.SetCharset(cs);
        m_TextInfo.SetCharset(cs);
        m_TextInfo.SetHeaderLine(m_BodyHeaderLine);
        const std::string prepared = Prepare(text);
        if (m_BodyHeaderLine == kQuotedPrintableLine) {
            EncodeQuotedPrintable(prepared, result);
            return true;
        }
        // 7bit: the lines arrive as written, none cut.
        for (size_t pos = 0; pos < prepared.size();)
            result += Split(prepared, pos, std::string::npos);
        if (LongestLine(result) <= kMaxLine)
            return true;
        // Only quoted-printable folds a longer line so that it comes back whole.
        const std::string lines = std::move(result);
        result.clear();
        size_t line = 0;
        AppendQuotedPrintable(lines, result, line);
        m_TextInfo.SetHeaderLine(kQuotedPrintableLine);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool CMimeCoder::EncodeBody2(const std::string& text, std::string& result, const std::string&,
                             unsigned) {
    return EncodeHeader2(text, result, "", 0, 0);
}

std::string CMimeCoder::Split(const std::string& text, size_t& pos, size_t limit) const {
    std::string out;
    while (pos < text.size() && out.size() < limit) {
        if (IsCrLf(text, pos)) {
            if (out.size() + 2 > limit && !out.empty())
                break;
            out += "\r\n";
            pos += 2;
            break;
        }
        const uint8_t c = uint8_t(text[pos++]);
        // Accented letters of an 8-bit charset are kept; 7-bit charsets get a space.
        out += (c & 0x80) && !m_bKeep8Bit ? ' ' : char(c);
    }
    return out;
}

void CMimeCoder::EncodeQuotedPrintable(const std::string& prepared, std::string& result) const {
    size_t pos = 0, line = 0;
    while (pos < prepared.size()) {
        const size_t before = pos;
        const std::string piece = Split(prepared, pos, 76);
        if (pos == before)
            break;
        AppendQuotedPrintable(piece, result, line);
        // A piece cut inside a line ends with a soft break.
        const bool endsLine = piece.size() >= 2 && piece.compare(piece.size() - 2, 2, "\r\n") == 0;
        if (!endsLine && pos < prepared.size() && line) {
            result += "=\r\n";
            line = 0;
        }
    }
}

bool CMimeCoder::EncodeWordsB(const std::string& text, std::string& result,
                              const std::string& charset, int offset) const {
    try {
        result.clear();
        const std::string prepared = Prepare(text);
        if (!NeedsEncoding(prepared)) {
            result = FoldHeader(text, offset);
            return true;
        }
        const std::string& cs = charset.empty() ? m_Charset : charset;
        size_t pos = 0;
        bool first = true;
        while (pos < prepared.size()) {
            const int room = (64 - int(cs.size()) - (first ? offset : 0)) * 3 / 4;
            // At least one double-byte character with both escapes fits.
            const size_t limit = room < 8 ? 8 : size_t(room);
            const size_t before = pos;
            const std::string piece = Split(prepared, pos, limit);
            if (pos == before)
                break;
            if (!first)
                result += "\r\n ";
            result += "=?" + cs + "?B?" + Base64Encode(piece) + "?=";
            first = false;
        }
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

// ---- address lists ----

namespace {
struct AddressParts {
    std::vector<std::pair<std::string, bool>> phrase; // text, was quoted
    std::vector<std::string> comments;
    std::string angle;
    bool hasAngle = false;
};

// Reads a delimited run starting after its opening character; a backslash
// quotes the next character; parentheses nest.
std::string ReadDelimited(const std::string& s, size_t& i, char open, char close) {
    std::string out;
    int depth = 1;
    while (i < s.size()) {
        const char c = s[i++];
        if (c == '\\' && i < s.size() && close != '>') {
            out += s[i++];
            continue;
        }
        if (c == open && open == '(')
            ++depth;
        else if (c == close && --depth == 0)
            break;
        out += c;
    }
    return out;
}

std::string Quote(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + '"';
}

std::string EscapeComment(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '(' || c == ')' || c == '\\')
            out += '\\';
        out += c;
    }
    return out;
}
} // namespace

bool CMimeCoder::ParseAddressList(const std::string& text, std::vector<std::string>& entries,
                                  int offset) {
    try {
        entries.clear();
        size_t i = 0;
        while (i < text.size()) {
            AddressParts parts;
            std::vector<std::string> atoms;
            for (; i < text.size() && text[i] != ',';) {
                const char c = text[i];
                if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
                    ++i;
                } else if (c == '"') {
                    ++i;
                    parts.phrase.emplace_back(ReadDelimited(text, i, '"', '"'), true);
                } else if (c == '(') {
                    ++i;
                    parts.comments.push_back(ReadDelimited(text, i, '(', ')'));
                } else if (c == '<') {
                    ++i;
                    parts.angle = ReadDelimited(text, i, '<', '>');
                    parts.hasAngle = true;
                } else {
                    // Up to a separator; any other byte (a NUL too) belongs to the atom.
                    std::string atom(1, text[i++]);
                    while (i < text.size() && !std::memchr(" \t\r\n\"(<,", text[i], 8))
                        atom += text[i++];
                    parts.phrase.emplace_back(atom, false);
                }
            }
            if (i < text.size())
                ++i; // the ","
            // Without angle brackets the last bare word is the address.
            if (!parts.hasAngle && !parts.phrase.empty() && !parts.phrase.back().second) {
                parts.angle = parts.phrase.back().first;
                parts.hasAngle = true;
                parts.phrase.pop_back();
            }
            if (parts.phrase.empty() && parts.comments.empty() && !parts.hasAngle)
                continue;
            std::string entry, phrase, encoded;
            bool quoted = false;
            for (const auto& [t, q] : parts.phrase) {
                phrase += (phrase.empty() ? "" : " ") + t;
                quoted |= q;
            }
            // Text left plain (the English coder's with its 8-bit bytes made
            // spaces) is quoted or escaped so that it stays one name.
            if (!phrase.empty()) {
                if (!EncodeHeader(phrase, encoded, "", offset, kPhraseWords))
                    return false;
                const bool plain = !NeedsEncoding(Prepare(phrase));
                entry = plain && (quoted || NeedsQuotes(encoded)) ? Quote(encoded) : encoded;
            }
            for (const auto& comment : parts.comments) {
                if (!EncodeHeader(comment, encoded, "", offset, kPhraseWords))
                    return false;
                const bool plain = !NeedsEncoding(Prepare(comment));
                entry +=
                    (entry.empty() ? "(" : " (") + (plain ? EscapeComment(encoded) : encoded) + ")";
            }
            if (parts.hasAngle)
                entry += (entry.empty() ? "<" : " <") + parts.angle + ">";
            entries.push_back(entry);
        }
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

std::string AddressOf(const std::string& entry) {
    const size_t open = entry.rfind('<');
    if (open == std::string::npos)
        return entry;
    const size_t close = entry.find('>', open);
    return entry.substr(open + 1,
                        close == std::string::npos ? std::string::npos : close - open - 1);
}

bool HasLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}

std::string FoldHeader(const std::string& text, int offset) {
    // A header value cannot hold a line break of its own.
    std::string flat;
    for (size_t i = 0; i < text.size(); ++i) {
        if (IsCrLf(text, i))
            ++i;
        flat += text[i] == '\r' || text[i] == '\n' ? ' ' : text[i];
    }
    std::string out;
    size_t start = 0;
    size_t room = offset < 70 ? size_t(76 - offset) : 6;
    while (flat.size() - start > room) {
        // Fold before the last blank that keeps the line within room.
        size_t cut = std::string::npos;
        for (size_t k = start + room; k > start; --k)
            if (flat[k] == ' ' || flat[k] == '\t') {
                cut = k;
                break;
            }
        if (cut == std::string::npos) // one long word: fold after it
            cut = flat.find_first_of(" \t", start + room);
        if (cut == std::string::npos)
            break;
        out.append(flat, start, cut - start);
        out += "\r\n";
        start = cut;
        room = 76;
    }
    out.append(flat, start, std::string::npos);
    return out;
}

// ---- ISO-2022-JP ----

std::string ShiftJisToFullWidth(const std::string& text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (size_t i = 0; i < text.size(); ++i) {
        const uint8_t c = uint8_t(text[i]);
        if (IsSjisLead(c) && i + 1 < text.size()) {
            out += text[i];
            out += text[++i];
        } else if (c >= 0xA1 && c <= 0xDD) {
            const uint8_t next = i + 1 < text.size() ? uint8_t(text[i + 1]) : 0;
            if (next == 0xDE || next == 0xDF) {
                const uint16_t both = Combined(c, next);
                PutSjis(out, both ? both : kFullWidth[c - 0xA1]);
                ++i; // a mark without a combined form is dropped
            } else {
                PutSjis(out, kFullWidth[c - 0xA1]);
            }
        } else if (c == 0xDE || c == 0xDF) {
            // A mark on its own becomes the full-width mark.
            PutSjis(out, kFullWidth[c - 0xA1]);
        } else {
            out += text[i];
        }
    }
    return out;
}

CMimeCoderISO_2022_JP::CMimeCoderISO_2022_JP() : CMimeCoderB("iso-2022-jp", k7bitLine, "base64") {}

std::string CMimeCoderISO_2022_JP::Prepare(const std::string& text) const {
    return ShiftJisToFullWidth(text);
}

bool CMimeCoderISO_2022_JP::NeedsEncoding(const std::string& prepared) const {
    for (uint8_t c : prepared)
        if (IsSjisLead(c))
            return true;
    return false;
}

std::string CMimeCoderISO_2022_JP::Split(const std::string& text, size_t& pos, size_t limit) const {
    auto wide = [](const std::string& s, size_t i, std::string& unit) -> size_t {
        const uint8_t c = uint8_t(s[i]);
        if (!IsSjisLead(c) || i + 1 >= s.size() || !IsSjisTrail(uint8_t(s[i + 1])))
            return 0;
        SjisToJis(c, uint8_t(s[i + 1]), unit);
        return 2;
    };
    auto narrow = [](const std::string& s, size_t i, std::string& unit) -> size_t {
        // A lead byte without its trail, and bytes that are no Shift-JIS
        // character, cannot be written in the 7-bit charset.
        unit += (s[i] & 0x80) ? ' ' : s[i];
        return 1;
    };
    return SplitRuns(text, pos, limit, kEscJis, kEscAscii, wide, narrow);
}

// ---- HZ (GB2312) ----

CMimeCoderGB2312::CMimeCoderGB2312() : CMimeCoderB("hz-gb-2312", k7bitLine, "base64") {}

std::string CMimeCoderGB2312::Prepare(const std::string& text) const {
    std::string out;
    out.reserve(text.size() + 8);
    for (char c : text) {
        out += c;
        if (c == '~')
            out += '~';
    }
    return out;
}

bool CMimeCoderGB2312::NeedsEncoding(const std::string& prepared) const {
    for (uint8_t c : prepared)
        if (IsGbByte(c))
            return true;
    return false;
}

std::string CMimeCoderGB2312::Split(const std::string& text, size_t& pos, size_t limit) const {
    auto wide = [](const std::string& s, size_t i, std::string& unit) -> size_t {
        if (i + 1 >= s.size() || !IsGbByte(uint8_t(s[i])) || !IsGbByte(uint8_t(s[i + 1])))
            return 0;
        unit += char(s[i] & 0x7F);
        unit += char(s[i + 1] & 0x7F);
        return 2;
    };
    auto narrow = [](const std::string& s, size_t i, std::string& unit) -> size_t {
        if (s[i] & 0x80) {
            unit += "  ";
            return 1;
        }
        // A doubled "~" stays in one piece.
        if (s[i] == '~' && i + 1 < s.size() && s[i + 1] == '~') {
            unit += "~~";
            return 2;
        }
        unit += s[i];
        return 1;
    };
    return SplitRuns(text, pos, limit, "~{", "~}", wide, narrow);
}

// ---- ISO-8859-1 ----

CMimeCoderISO_8859_1::CMimeCoderISO_8859_1()
    : CMimeCoder("iso-8859-1", kQuotedPrintableLine, "quoted-printable") {
    m_bKeep8Bit = true;
}

const std::string& CMimeCoderISO_8859_1::CharsetFor(const std::string& text) const {
    static const std::string windows1252 = "windows-1252";
    // Bit n: code page 1252 has a character at 0x80 + n. 0x81, 0x8D, 0x8F,
    // 0x90 and 0x9D it leaves unassigned; Windows turns them into the same C1
    // controls as ISO-8859-1, so they alone keep the plain name.
    const uint32_t assigned = 0xDFFE5FFD;
    for (uint8_t c : text)
        if (c >= 0x80 && c <= 0x9F && ((assigned >> (c - 0x80)) & 1))
            return windows1252;
    return m_Charset;
}

bool CMimeCoderISO_8859_1::NeedsEncoding(const std::string& prepared) const {
    // A line break too: it cannot stand in a header.
    return !std::all_of(prepared.begin(), prepared.end(), IsQpSafe);
}

bool CMimeCoderISO_8859_1::EncodeHeader(const std::string& text, std::string& result,
                                        const std::string& charset, int offset, unsigned flags) {
    try {
        result.clear();
        if (!NeedsEncoding(text)) {
            result = text;
            return true;
        }
        const auto safe = flags & kPhraseWords ? IsPhraseSafe : IsQpSafe;
        // One name for all words of the text.
        const std::string& cs = charset.empty() ? CharsetFor(text) : charset;
        int limit = 67 - int(cs.size()) - offset;
        std::string word;
        size_t length = 0;
        for (size_t i = 0; i < text.size(); ++i) {
            const uint8_t c = uint8_t(text[i]);
            // Line breaks are escaped too: a bare one would end the header.
            if (safe(c)) {
                word += char(c);
                length += 1;
            } else {
                AppendHex(word, c);
                length += 3;
            }
            if (3 + int(length) > limit || i + 1 == text.size()) {
                if (!result.empty())
                    result += "\r\n ";
                result += "=?" + cs + "?Q?" + word + "?=";
                word.clear();
                length = 0;
                limit = 67 - int(cs.size());
            }
        }
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

// ---- US-ASCII ----

CMimeCoderUS_ASCII::CMimeCoderUS_ASCII() : CMimeCoder("us_ascii", k7bitLine, "7bit") {}

bool CMimeCoderUS_ASCII::EncodeHeader(const std::string& text, std::string& result,
                                      const std::string&, int offset, unsigned) {
    try {
        // 8-bit bytes are not allowed in this charset: the plain splitter makes them spaces.
        std::string plain;
        for (size_t pos = 0; pos < text.size();)
            plain += Split(text, pos, text.size());
        result = FoldHeader(plain, offset);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

// ---- choice ----

std::string LanguageFromLangId(uint16_t langId) {
    char id[8];
    std::snprintf(id, sizeof id, "%04x", unsigned(langId));
    const std::string s = id;
    if (s == "0411")
        return "Japanese";
    if (s == "0804")
        return "ChineseSimplified";
    if (s[2] == '0') {
        if (s[3] == 'c')
            return "French";
        if (s[3] == '7')
            return "German";
        if (s[3] == 'a')
            return "Spanish";
    } else if (s[2] == '1') {
        if (s[3] == '0')
            return "Italian";
        if (s[3] == '3')
            return "Dutch";
    }
    return "English";
}

std::unique_ptr<CMimeCoder> MakeMimeCoder(const std::string& language) {
    if (language == "Japanese")
        return std::make_unique<CMimeCoderISO_2022_JP>();
    if (language == "ChineseSimplified")
        return std::make_unique<CMimeCoderGB2312>();
    if (language == "English")
        return std::make_unique<CMimeCoderUS_ASCII>();
    return std::make_unique<CMimeCoderISO_8859_1>();
}

} // namespace vlm::mail
