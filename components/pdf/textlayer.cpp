#include "textlayer.h"

#include "pdfwriter.h"

#include <cstdio>

namespace vlm::pdf {

namespace {

// Glyph metrics in font units (1000 per em): every glyph is one em wide, from
// 0.3 em below the baseline to 0.9 em above it, as in common text fonts, so that
// a word set at its line's height / 1.2 fills its box, and readers judge the
// space between two words against a font size of the usual proportion.
constexpr int kUnitsPerEm = 1000;
constexpr int kAscent = 900;
constexpr int kDescent = -300;
constexpr size_t kMaxGlyphs = 65535;

// Next code point of UTF-8 text; invalid bytes are skipped.
bool NextCodePoint(const std::string& s, size_t& i, uint32_t& cp) {
    while (i < s.size()) {
        const uint8_t c = static_cast<uint8_t>(s[i]);
        const int more = c < 0x80             ? 0
                         : (c & 0xE0) == 0xC0 ? 1
                         : (c & 0xF0) == 0xE0 ? 2
                         : (c & 0xF8) == 0xF0 ? 3
                                              : -1;
        if (more < 0 || i + more >= s.size()) {
            ++i;
            continue;
        }
        uint32_t v = more == 0 ? c : c & (0x3F >> more);
        bool ok = true;
        for (int k = 1; k <= more; ++k) {
            const uint8_t cc = static_cast<uint8_t>(s[i + k]);
            ok = ok && (cc & 0xC0) == 0x80;
            v = (v << 6) | (cc & 0x3F);
        }
        if (!ok || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) {
            ++i;
            continue;
        }
        i += more + 1;
        cp = v;
        return true;
    }
    return false;
}

// Big-endian table writer for the font program.
struct CBytes {
    std::vector<uint8_t> b;
    void U8(unsigned v) { b.push_back(static_cast<uint8_t>(v)); }
    void U16(unsigned v) {
        U8(v >> 8);
        U8(v);
    }
    void U32(uint32_t v) {
        U16(v >> 16);
        U16(v & 0xFFFF);
    }
    void Zeros(size_t n) { b.insert(b.end(), n, 0); }
};

uint32_t TableChecksum(const std::vector<uint8_t>& t) {
    uint32_t sum = 0;
    for (size_t i = 0; i < t.size(); i += 4) {
        uint32_t word = 0;
        for (size_t k = 0; k < 4; ++k)
            word = (word << 8) | (i + k < t.size() ? t[i + k] : 0);
        sum += word;
    }
    return sum;
}

std::string Utf16Hex(uint32_t cp) {
    char buf[16];
    if (cp < 0x10000) {
        snprintf(buf, sizeof(buf), "%04X", cp);
    } else {
        cp -= 0x10000;
        snprintf(buf, sizeof(buf), "%04X%04X", 0xD800 + (cp >> 10), 0xDC00 + (cp & 0x3FF));
    }
    return buf;
}

const char kFontName[] = "VlmOcrText";

} // namespace

std::string CTextFont::ShowString(const std::string& utf8, int* count) {
    std::string hex = "<";
    int n = 0;
    size_t i = 0;
    uint32_t cp = 0;
    while (NextCodePoint(utf8, i, cp)) {
        if (cp < 0x20 || (cp >= 0x7F && cp < 0xA0))
            continue;
        auto found = m_mapCids.find(cp);
        if (found == m_mapCids.end()) {
            if (m_vecUnicode.size() + 1 >= kMaxGlyphs)
                continue;
            m_vecUnicode.push_back(cp);
            found = m_mapCids.emplace(cp, static_cast<uint16_t>(m_vecUnicode.size())).first;
        }
        char buf[8];
        snprintf(buf, sizeof(buf), "%04X", found->second);
        hex += buf;
        ++n;
    }
    if (count)
        *count = n;
    return hex + ">";
}

size_t CTextFont::EstimatedBytes() const {
    // Font objects and CMap frame, then per character: 6 bytes of program and
    // one ToUnicode line.
    return Empty() ? 0 : 2000 + m_vecUnicode.size() * 24;
}

std::vector<uint8_t> CTextFont::FontProgram() const {
    const unsigned glyphs = static_cast<unsigned>(m_vecUnicode.size()) + 1;
    struct Table {
        const char* tag;
        CBytes data;
    };
    Table tables[10] = {{"OS/2", {}}, {"cmap", {}}, {"glyf", {}}, {"head", {}}, {"hhea", {}},
                        {"hmtx", {}}, {"loca", {}}, {"maxp", {}}, {"name", {}}, {"post", {}}};
    CBytes& os2 = tables[0].data;
    os2.U16(3);             // version
    os2.U16(kUnitsPerEm);   // average width
    os2.U16(400);           // weight: regular
    os2.U16(5);             // width: medium
    os2.U16(0);             // embedding: installable
    os2.Zeros(20);          // sub/superscript and strikeout metrics
    os2.Zeros(2 + 10 + 16); // family class, PANOSE, Unicode ranges
    os2.U8('V');
    os2.U8('L');
    os2.U8('M');
    os2.U8(' ');
    os2.U16(0x40); // regular
    os2.U16(0x20); // first and last character of the (empty) character map
    os2.U16(0xFFFF);
    os2.U16(kAscent);
    os2.U16(static_cast<uint16_t>(kDescent));
    os2.U16(0);
    os2.U16(kAscent);
    os2.U16(-kDescent);
    os2.Zeros(8); // code page ranges
    os2.U16(0);   // x height, cap height
    os2.U16(0);
    os2.U16(0); // default and break character, context
    os2.U16(0x20);
    os2.U16(0);

    // Glyphs are found by CID, not by character code: the character map is the
    // empty format 4 map that every TrueType program must carry.
    CBytes& cmap = tables[1].data;
    cmap.U16(0);
    cmap.U16(1);
    cmap.U16(3);
    cmap.U16(1);
    cmap.U32(12);
    const uint16_t cmap4[] = {4, 24, 0, 2, 2, 0, 0, 0xFFFF, 0, 0xFFFF, 1, 0};
    for (uint16_t v : cmap4)
        cmap.U16(v);

    // Glyph 0 (.notdef) is a box; the others are empty.
    CBytes& glyf = tables[2].data;
    glyf.U16(1);
    glyf.U16(50);
    glyf.U16(0);
    glyf.U16(950);
    glyf.U16(700);
    glyf.U16(3); // last point of the contour
    glyf.U16(0); // no instructions
    for (int k = 0; k < 4; ++k)
        glyf.U8(0x01); // on curve, 16-bit coordinates
    const int16_t dx[] = {50, 900, 0, -900}, dy[] = {0, 0, 700, 0};
    for (int16_t v : dx)
        glyf.U16(static_cast<uint16_t>(v));
    for (int16_t v : dy)
        glyf.U16(static_cast<uint16_t>(v));
    const unsigned notdefLength = static_cast<unsigned>(glyf.b.size()); // even

    CBytes& head = tables[3].data;
    head.U32(0x00010000);
    head.U32(0x00010000);
    head.U32(0); // checksum adjustment, filled in below
    head.U32(0x5F0F3CF5);
    head.U16(0x000B);
    head.U16(kUnitsPerEm);
    head.Zeros(16); // created, modified
    head.U16(0);
    head.U16(static_cast<uint16_t>(kDescent));
    head.U16(kUnitsPerEm);
    head.U16(kAscent);
    head.U16(0); // style
    head.U16(8); // smallest readable size
    head.U16(2); // direction hint
    head.U16(0); // short glyph offsets
    head.U16(0);

    CBytes& hhea = tables[4].data;
    hhea.U32(0x00010000);
    hhea.U16(kAscent);
    hhea.U16(static_cast<uint16_t>(kDescent));
    hhea.U16(0);
    hhea.U16(kUnitsPerEm); // widest advance
    hhea.U16(0);
    hhea.U16(0);
    hhea.U16(kUnitsPerEm);
    hhea.U16(1); // caret: upright
    hhea.U16(0);
    hhea.Zeros(12);
    hhea.U16(1); // one width for all glyphs

    CBytes& hmtx = tables[5].data;
    hmtx.U16(kUnitsPerEm);
    hmtx.U16(0);
    hmtx.Zeros(2 * (glyphs - 1)); // left side bearings of the others

    CBytes& loca = tables[6].data;
    loca.U16(0);
    for (unsigned g = 0; g < glyphs; ++g)
        loca.U16(notdefLength / 2);

    CBytes& maxp = tables[7].data;
    maxp.U32(0x00010000);
    maxp.U16(glyphs);
    maxp.U16(4); // points
    maxp.U16(1); // contours
    maxp.Zeros(4);
    maxp.U16(2); // zones
    maxp.Zeros(16);

    CBytes& name = tables[8].data;
    const unsigned ids[] = {1, 2, 4, 6};
    const std::string family = kFontName, style = "Regular";
    name.U16(0);
    name.U16(4);
    name.U16(6 + 4 * 12);
    unsigned offset = 0;
    std::vector<std::string> strings;
    for (unsigned id : ids) {
        const std::string& text = id == 2 ? style : family;
        name.U16(3);
        name.U16(1);
        name.U16(0x409);
        name.U16(id);
        name.U16(static_cast<unsigned>(text.size() * 2));
        name.U16(offset);
        offset += static_cast<unsigned>(text.size() * 2);
        strings.push_back(text);
    }
    for (const std::string& text : strings)
        for (char c : text)
            name.U16(static_cast<uint8_t>(c));

    CBytes& post = tables[9].data;
    post.U32(0x00030000); // no glyph names
    post.U32(0);
    post.U16(static_cast<uint16_t>(-100));
    post.U16(50);
    post.U32(1); // fixed pitch
    post.Zeros(16);

    const unsigned count = 10;
    CBytes font;
    font.U32(0x00010000);
    font.U16(count);
    font.U16(128); // search range: 8 tables * 16
    font.U16(3);
    font.U16(count * 16 - 128);
    uint32_t at = 12 + 16 * count;
    for (const Table& t : tables) {
        for (int k = 0; k < 4; ++k)
            font.U8(static_cast<uint8_t>(t.tag[k]));
        font.U32(TableChecksum(t.data.b));
        font.U32(at);
        font.U32(static_cast<uint32_t>(t.data.b.size()));
        at += static_cast<uint32_t>((t.data.b.size() + 3) & ~size_t(3));
    }
    size_t headAt = 0;
    for (const Table& t : tables) {
        if (&t == &tables[3])
            headAt = font.b.size();
        font.b.insert(font.b.end(), t.data.b.begin(), t.data.b.end());
        font.Zeros((4 - t.data.b.size() % 4) % 4);
    }
    const uint32_t adjust = 0xB1B0AFBAu - TableChecksum(font.b);
    for (int k = 0; k < 4; ++k)
        font.b[headAt + 8 + k] = static_cast<uint8_t>(adjust >> (24 - 8 * k));
    return font.b;
}

std::string CTextFont::ToUnicode() const {
    std::string cmap = "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
                       "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
                       "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
                       "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n";
    for (size_t first = 0; first < m_vecUnicode.size(); first += 100) {
        const size_t n = std::min<size_t>(100, m_vecUnicode.size() - first);
        cmap += std::to_string(n) + " beginbfchar\n";
        for (size_t k = first; k < first + n; ++k) {
            char cid[8];
            snprintf(cid, sizeof(cid), "%04X", static_cast<unsigned>(k + 1));
            cmap += "<" + std::string(cid) + "> <" + Utf16Hex(m_vecUnicode[k]) + ">\n";
        }
        cmap += "endbfchar\n";
    }
    return cmap + "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
}

bool CTextFont::WriteObjects(CPdfWriter& writer, int fontObject) const {
    const int cidFont = writer.ReserveObject(), descriptor = writer.ReserveObject(),
              program = writer.ReserveObject(), toUnicode = writer.ReserveObject();
    const std::vector<uint8_t> bytes = FontProgram();
    const std::string cmap = ToUnicode();
    char buf[512];
    snprintf(buf, sizeof(buf),
             "<< /Type /Font /Subtype /Type0 /BaseFont /%s /Encoding /Identity-H "
             "/DescendantFonts [%d 0 R] /ToUnicode %d 0 R >>\n",
             kFontName, cidFont, toUnicode);
    bool ok = writer.WriteObject(fontObject, buf);
    // Strings through the writer, which encrypts them in a protected document.
    snprintf(buf, sizeof(buf),
             "<< /Type /Font /Subtype /CIDFontType2 /BaseFont /%s /CIDSystemInfo << /Registry "
             "%s /Ordering %s /Supplement 0 >> /FontDescriptor %d 0 R /DW %d "
             "/CIDToGIDMap /Identity >>\n",
             kFontName, writer.TextString("Adobe").c_str(), writer.TextString("Identity").c_str(),
             descriptor, kUnitsPerEm);
    ok = ok && writer.WriteObject(cidFont, buf);
    snprintf(buf, sizeof(buf),
             "<< /Type /FontDescriptor /FontName /%s /Flags 4 /FontBBox [0 %d %d %d] "
             "/ItalicAngle 0 /Ascent %d /Descent %d /CapHeight %d /StemV 80 /FontFile2 %d 0 R >>\n",
             kFontName, kDescent, kUnitsPerEm, kAscent, kAscent, kDescent, kAscent, program);
    ok = ok && writer.WriteObject(descriptor, buf);
    snprintf(buf, sizeof(buf), "/Length1 %zu ", bytes.size());
    ok = ok && writer.WriteStreamObject(program, buf, bytes.data(), bytes.size());
    ok = ok && writer.WriteStreamObject(toUnicode, std::string(), cmap.data(), cmap.size());
    return ok;
}

std::string TextContent(const std::vector<OcrWord>& words, CTextFont& font, int pageHeight,
                        int dpi) {
    const double scale = 72.0 / (dpi > 0 ? dpi : 72);
    std::string out;
    for (const OcrWord& w : words) {
        const int width = w.right - w.left, height = w.bottom - w.top;
        if (width <= 0 || height <= 0)
            continue;
        int n = 0;
        const std::string shown = font.ShowString(w.text, &n);
        if (n == 0)
            continue;
        const double size = height * scale * kUnitsPerEm / (kAscent - kDescent);
        const double stretch = 100.0 * width * scale / (n * size);
        const double x = w.left * scale,
                     y = (pageHeight - w.bottom) * scale - size * kDescent / kUnitsPerEm;
        char buf[128];
        snprintf(buf, sizeof(buf), "/F0 %.3f Tf %.3f Tz 1 0 0 1 %.3f %.3f Tm ", size, stretch, x,
                 y);
        out += buf + shown + " Tj\n";
    }
    return out.empty() ? out : "BT\n3 Tr\n" + out + "ET\n";
}

} // namespace vlm::pdf
