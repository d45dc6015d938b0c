#include <gtest/gtest.h>

#include <sstream>

#include "mail/core/Base64.h"
#include "mail/core/MimeCoder.h"

using namespace vlm::mail;

namespace {
std::vector<std::string> Lines(const std::string& s) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i; (i = s.find("\r\n", start)) != std::string::npos; start = i + 2)
        lines.push_back(s.substr(start, i - start));
    lines.push_back(s.substr(start));
    return lines;
}

std::string Unfold(const std::string& s) {
    std::string out;
    for (const auto& l : Lines(s))
        out += l;
    return out;
}

// The payloads of the encoded words "=?cs?X?...?=" of a header value.
std::vector<std::string> Words(const std::string& s, const std::string& cs, char kind) {
    std::vector<std::string> words;
    const std::string open = "=?" + cs + "?" + kind + "?";
    for (size_t p = 0; (p = s.find(open, p)) != std::string::npos;) {
        const size_t end = s.find("?=", p + open.size());
        words.push_back(s.substr(p + open.size(), end - p - open.size()));
        p = end + 2;
    }
    return words;
}

const std::string kTesuto = "\x83\x65\x83\x58\x83\x67"; // TE SU TO in Shift-JIS
const std::string kNihongo = "\x93\xFA\x96\x7B\x8C\xEA";
} // namespace

TEST(ShiftJisPreparation, HalfWidthKanaBecomeFullWidthWithTheirMarks) {
    EXPECT_EQ(ShiftJisToFullWidth("\xB6\xDE"), "\x83\x4B") << "KA + voiced mark = GA";
    EXPECT_EQ(ShiftJisToFullWidth("\xCA\xDF"), "\x83\x70") << "HA + semi-voiced mark = PA";
    EXPECT_EQ(ShiftJisToFullWidth("\xCE\xDE"), "\x83\x7B") << "HO + voiced mark = BO";
    EXPECT_EQ(ShiftJisToFullWidth("\xB3\xDE"), "\x83\x94") << "U + voiced mark = VU";
    EXPECT_EQ(ShiftJisToFullWidth("\xC5\xDE"), "\x83\x69") << "NA has no voiced form: mark dropped";
    EXPECT_EQ(ShiftJisToFullWidth("\xB6\xDF"), "\x83\x4A") << "KA has no semi-voiced form";
    EXPECT_EQ(ShiftJisToFullWidth("\xDE"), "\x81\x4A") << "a lone mark becomes the full-width mark";
    EXPECT_EQ(ShiftJisToFullWidth("\xA1\xA4\xB1\xDD"), "\x81\x42\x81\x41\x83\x41\x83\x93");
    // Trail bytes in the katakana range belong to their double-byte character.
    EXPECT_EQ(ShiftJisToFullWidth("\x88\xDF\xB6"), "\x88\xDF\x83\x4A");
    EXPECT_EQ(ShiftJisToFullWidth("a~b\r\n"), "a~b\r\n");
}

TEST(Iso2022Jp, BodyIsEscapedJisWithRunsClosed) {
    CMimeCoderISO_2022_JP coder;
    std::string out;
    ASSERT_TRUE(coder.EncodeBody("ABC" + kTesuto + "d\r\n" + kTesuto, out, "", 0));
    EXPECT_EQ(out, "ABC\x1b$B%F%9%H\x1b(Bd\r\n\x1b$B%F%9%H\x1b(B");
    ASSERT_TRUE(coder.EncodeBody("\xB6\xDE", out, "", 0));
    EXPECT_EQ(out, "\x1b$B%,\x1b(B") << "GA is JIS 0x252C";
    ASSERT_TRUE(coder.EncodeBody("x\x93", out, "", 0));
    EXPECT_EQ(out, "x ") << "a lead byte at the very end becomes a space";
}

TEST(Iso2022Jp, BodyLinesStayWholeUpTo998BytesAndEndInTheSingleByteSet) {
    CMimeCoderISO_2022_JP coder;
    std::string text;
    for (int i = 0; i < 40; ++i)
        text += kNihongo + "a";
    std::string out;
    ASSERT_TRUE(coder.EncodeBody(text + "\r\n" + text, out, "", 0));
    const auto lines = Lines(out);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], lines[1]);
    EXPECT_EQ(lines[0].size(), 40u * 13);
    EXPECT_EQ(lines[0].substr(lines[0].size() - 4), "\x1b(Ba");
    EXPECT_EQ(coder.TextInfo().GetHeaderLine(), "Content-Transfer-Encoding: 7bit");
}

TEST(Iso2022Jp, SubjectWordsKeepTheLengthRule) {
    CMimeCoderISO_2022_JP coder;
    std::string out;
    ASSERT_TRUE(coder.EncodeHeader("Plain ASCII subject", out, "", 9, 0));
    EXPECT_EQ(out, "Plain ASCII subject");

    std::string subject;
    for (int i = 0; i < 30; ++i)
        subject += kNihongo;
    ASSERT_TRUE(coder.EncodeHeader(subject, out, "", 9, 0));
    const auto words = Words(out, "iso-2022-jp", 'B');
    ASSERT_GE(words.size(), 3u);
    for (size_t i = 0; i < words.size(); ++i) {
        std::string raw;
        ASSERT_TRUE(Base64Decode(words[i], raw));
        EXPECT_LE(raw.size(), size_t((64 - 11 - (i == 0 ? 9 : 0)) * 3 / 4)) << i;
        EXPECT_EQ(raw.substr(0, 3), "\x1b$B");
        EXPECT_EQ(raw.substr(raw.size() - 3), "\x1b(B");
    }
    const auto lines = Lines(out);
    EXPECT_LE(lines[0].size() + 9, 76u);
    for (size_t i = 1; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i][0], ' ');
        EXPECT_LE(lines[i].size(), 76u);
    }
}

TEST(HzGb2312, TildesDoubledAndDoubleBytesInsideShiftMarks) {
    CMimeCoderGB2312 coder;
    std::string out;
    ASSERT_TRUE(coder.EncodeBody("a~b \xD6\xD0\xCE\xC4!", out, "", 0));
    EXPECT_EQ(out, "a~~b ~{VPND~}!");
    ASSERT_TRUE(coder.EncodeBody("x\x80y", out, "", 0));
    EXPECT_EQ(out, "x  y") << "a byte that is no GB2312 character becomes two spaces";
    ASSERT_TRUE(coder.EncodeHeader("ASCII only ~", out, "", 9, 0));
    EXPECT_EQ(out, "ASCII only ~") << "no encoding needed: written unchanged";
    ASSERT_TRUE(coder.EncodeHeader("\xB2\xE2\xCA\xD4", out, "", 9, 0));
    EXPECT_EQ(out, "=?hz-gb-2312?B?" + Base64Encode(std::string("~{2bJT~}")) + "?=");
}

TEST(HzGb2312, ADoubledTildeIsNeverCutApart) {
    CMimeCoderGB2312 coder;
    std::string text(200, '~');
    std::string out;
    ASSERT_TRUE(coder.EncodeBody(text, out, "", 0));
    for (const auto& line : Lines(out))
        EXPECT_EQ(line.size() % 2, 0u);
    EXPECT_EQ(Unfold(out), std::string(400, '~'));
}

TEST(Iso8859_1, QWordsOnlyWhenNeededAndWithinTheLineLength) {
    CMimeCoderISO_8859_1 coder;
    std::string out;
    ASSERT_TRUE(coder.EncodeHeader("Scan", out, "", 9, 0));
    EXPECT_EQ(out, "Scan");
    ASSERT_TRUE(coder.EncodeHeader("Scan report", out, "", 9, 0));
    EXPECT_EQ(out, "=?iso-8859-1?Q?Scan=20report?=") << "a space is enough to encode";
    ASSERT_TRUE(coder.EncodeHeader("a=b?c_d", out, "", 9, 0));
    EXPECT_EQ(out, "=?iso-8859-1?Q?a=3Db=3Fc=5Fd?=");

    std::string subject;
    for (int i = 0; i < 12; ++i)
        subject += "Gr\xFC\xDF"
                   "e aus K\xF6ln ";
    ASSERT_TRUE(coder.EncodeHeader(subject, out, "", 9, 0));
    const auto lines = Lines(out);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_LE(lines[0].size() + 9, 76u);
    for (size_t i = 1; i < lines.size(); ++i)
        EXPECT_LE(lines[i].size(), 76u);
    EXPECT_EQ(Words(out, "iso-8859-1", 'Q').size(), lines.size());
}

TEST(Iso8859_1, LineBreaksInsideAQWordAreEscaped) {
    CMimeCoderISO_8859_1 coder;
    std::string out;
    ASSERT_TRUE(coder.EncodeHeader("two\r\nlines", out, "", 9, 0));
    EXPECT_EQ(out, "=?iso-8859-1?Q?two=0D=0Alines?=");
}

TEST(Iso8859_1, QuotedPrintableBodyKeepsAccentsAndSoftBreaks) {
    CMimeCoderISO_8859_1 coder;
    std::string out;
    ASSERT_TRUE(coder.EncodeBody("a b?", out, "", 0));
    EXPECT_EQ(out, "a=20b=3F");
    ASSERT_TRUE(coder.EncodeBody("Gr\xFC\xDF"
                                 "e\r\n",
                                 out, "", 0));
    EXPECT_EQ(out, "Gr=FC=DFe\r\n") << "accented letters are kept, not turned into spaces";

    std::string longLine;
    for (int i = 0; i < 30; ++i)
        longLine += "\xE9t\xE9 ";
    ASSERT_TRUE(coder.EncodeBody(longLine, out, "", 0));
    std::string decoded;
    for (const auto& line : Lines(out)) {
        EXPECT_LE(line.size(), 76u);
        std::string l = line;
        if (!l.empty() && l.back() == '=')
            l.pop_back();
        for (size_t i = 0; i < l.size(); ++i) {
            if (l[i] == '=') {
                decoded += char(std::stoi(l.substr(i + 1, 2), nullptr, 16));
                i += 2;
            } else {
                decoded += l[i];
            }
        }
    }
    EXPECT_EQ(decoded, longLine);
}

// Code page 1252 text without its characters at 0x80-0x9F is ISO-8859-1 text:
// written exactly as it always was.
TEST(Iso8859_1, TextWithoutCp1252ExtrasIsWrittenAsBefore) {
    CMimeCoderISO_8859_1 coder;
    const std::pair<std::string, std::string> headers[] = {
        {"Gr\xFC\xDF"
         "e aus K\xF6ln",
         "=?iso-8859-1?Q?Gr=FC=DFe=20aus=20K=F6ln?="},
        {"R\xE9sum\xE9 d\xE9j\xE0 envoy\xE9 R\xE9sum\xE9 d\xE9j\xE0 envoy\xE9 "
         "R\xE9sum\xE9 d\xE9j\xE0 envoy\xE9 R\xE9sum\xE9 d\xE9j\xE0 envoy\xE9",
         "=?iso-8859-1?Q?R=E9sum=E9=20d=E9j=E0=20envoy=E9=20R=E9sum=E9=20?=\r\n"
         " =?iso-8859-1?Q?d=E9j=E0=20envoy=E9=20R=E9sum=E9=20d=E9j=E0=20envoy=E9=20?=\r\n"
         " =?iso-8859-1?Q?R=E9sum=E9=20d=E9j=E0=20envoy=E9?="},
        {"\xA9 2026 \xAB"
         "Caf\xE9\xBB \xFF",
         "=?iso-8859-1?Q?=A9=202026=20=ABCaf=E9=BB=20=FF?="},
        // 0x81 has no character in code page 1252: Windows makes it the same
        // C1 control as ISO-8859-1 does.
        {"Ma\xF1"
         "ana \x81 x",
         "=?iso-8859-1?Q?Ma=F1ana=20=81=20x?="},
    };
    std::string out;
    for (const auto& [text, wire] : headers) {
        ASSERT_TRUE(coder.EncodeHeader(text, out, "", 9, 0));
        EXPECT_EQ(out, wire);
    }
    ASSERT_TRUE(coder.EncodeBody(
        "Sehr geehrte Frau M\xFCller,\r\nanbei die Scans f\xFCr \xA7"
        "3 (\xBD Seite). Ist das OK? a=b_c \r\nVoil\xE0 le r\xE9sum\xE9 de l'\xE9t\xE9 dernier, "
        "tr\xE8s d\xE9taill\xE9, avec \xE0 peu pr\xE8s tout.",
        out, "", 0));
    EXPECT_EQ(out,
              "Sehr=20geehrte=20Frau=20M=FCller,\r\n"
              "anbei=20die=20Scans=20f=FCr=20=A73=20(=BD=20Seite).=20Ist=20das=20OK=3F=20a=\r\n"
              "=3Db=5Fc=20\r\n"
              "Voil=E0=20le=20r=E9sum=E9=20de=20l'=E9t=E9=20dernier,=20tr=E8s=20d=E9taill=\r\n"
              "=E9,=20avec=20=E0=20peu=20pr=E8s=20tout.");
    EXPECT_EQ(coder.TextInfo().GetCharset(), "iso-8859-1");
    EXPECT_EQ(coder.HeaderInfo().GetCharset(), "iso-8859-1");
    std::vector<std::string> e;
    ASSERT_TRUE(coder.ParseAddressList(
        "\"J\xFCrgen M\xFCller\" <jm@example.de>, Ana (Se\xF1ora) ana@example.es", e, 4));
    EXPECT_EQ(e, (std::vector<std::string>{"=?iso-8859-1?Q?J=FCrgen=20M=FCller?= <jm@example.de>",
                                           "Ana (=?iso-8859-1?Q?Se=F1ora?=) <ana@example.es>"}));
}

TEST(Iso8859_1, Cp1252ExtrasAreLabelledWindows1252) {
    CMimeCoderISO_8859_1 coder;
    const std::string invoice = "\x80 5 \x96 \x84Rechnung\x93"; // EURO 5 EN DASH "Rechnung"
    std::string out;
    ASSERT_TRUE(coder.EncodeHeader(invoice, out, "", 9, 0));
    EXPECT_EQ(out, "=?windows-1252?Q?=80=205=20=96=20=84Rechnung=93?=");

    // The text decides, not the piece: words without an extra of their own
    // carry the same name as the one with it.
    std::string subject;
    for (int i = 0; i < 8; ++i)
        subject += "Gr\xFC\xDF"
                   "e aus K\xF6ln ";
    subject += "\x99";
    ASSERT_TRUE(coder.EncodeHeader(subject, out, "", 9, 0));
    const auto lines = Lines(out);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(Words(out, "windows-1252", 'Q').size(), lines.size()) << out;
    EXPECT_EQ(out.find("iso-8859-1"), std::string::npos) << out;
    EXPECT_LE(lines[0].size() + 9, 76u);
    for (size_t i = 1; i < lines.size(); ++i)
        EXPECT_LE(lines[i].size(), 76u);

    // Each header text on its own: a plain display name keeps its name.
    std::vector<std::string> e;
    ASSERT_TRUE(coder.ParseAddressList("\"M\xFCller \x96 B\xFCro\" <a@example.de>, "
                                       "J\xFCrgen <b@example.de>",
                                       e, 4));
    ASSERT_EQ(e.size(), 2u);
    EXPECT_EQ(e[0], "=?windows-1252?Q?M=FCller=20=96=20B=FCro?= <a@example.de>");
    EXPECT_EQ(e[1], "=?iso-8859-1?Q?J=FCrgen?= <b@example.de>");

    // The body's name goes to both records the text part's Content-Type is
    // taken from; the quoted-printable bytes are the same either way.
    ASSERT_TRUE(coder.EncodeBody("Betrag: " + invoice + "\r\n", out, "", 0));
    EXPECT_EQ(out, "Betrag:=20=80=205=20=96=20=84Rechnung=93\r\n");
    EXPECT_EQ(coder.TextInfo().GetCharset(), "windows-1252");
    EXPECT_EQ(coder.HeaderInfo().GetCharset(), "windows-1252");
    EXPECT_EQ(coder.GetCharset(), "iso-8859-1");
    ASSERT_TRUE(coder.EncodeBody("Gr\xFC\xDF"
                                 "e",
                                 out, "", 0));
    EXPECT_EQ(coder.TextInfo().GetCharset(), "iso-8859-1");
    EXPECT_EQ(coder.HeaderInfo().GetCharset(), "iso-8859-1");

    // A name the caller gives wins.
    ASSERT_TRUE(coder.EncodeHeader(invoice, out, "utf-8", 9, 0));
    EXPECT_EQ(Words(out, "utf-8", 'Q').size(), 1u) << out;
}

TEST(UsAscii, LongSubjectIsFoldedBeforeBlanks) {
    CMimeCoderUS_ASCII coder;
    std::string subject;
    while (subject.size() < 200)
        subject += "Quarterly report for the northern sales region ";
    subject.resize(200);
    std::string out;
    ASSERT_TRUE(coder.EncodeHeader(subject, out, "", 9, 0));
    const auto lines = Lines(out);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_LE(lines[0].size() + 9, 76u);
    for (size_t i = 1; i < lines.size(); ++i) {
        EXPECT_TRUE(lines[i][0] == ' ') << "continuation line " << i << " starts with a blank";
        EXPECT_LE(lines[i].size(), 76u);
    }
    EXPECT_EQ(Unfold(out), subject) << "unfolding gives the subject back";
    ASSERT_TRUE(coder.EncodeHeader("Scan", out, "", 9, 0));
    EXPECT_EQ(out, "Scan");
}

TEST(UsAscii, EightBitBytesBecomeSpacesAndBodyLinesAreNeverCut) {
    CMimeCoderUS_ASCII coder;
    std::string out;
    ASSERT_TRUE(coder.EncodeBody("caf\xE9\r\n", out, "", 0));
    EXPECT_EQ(out, "caf \r\n");
    ASSERT_TRUE(coder.EncodeHeader("caf\xE9 au lait", out, "", 9, 0));
    EXPECT_EQ(out, "caf  au lait");
    const std::string text = std::string(76, 'x') + "\r\n" + std::string(77, 'y') + "\r\n" +
                             std::string(998, 'z') + "\r\nend";
    ASSERT_TRUE(coder.EncodeBody(text, out, "", 0));
    EXPECT_EQ(out, text);
    EXPECT_EQ(coder.TextInfo().GetHeaderLine(), "Content-Transfer-Encoding: 7bit");
    // One byte more than SMTP carries: quoted-printable, folded by soft breaks.
    ASSERT_TRUE(coder.EncodeBody(std::string(999, 'z') + " =\r\nend", out, "", 0));
    EXPECT_EQ(coder.TextInfo().GetHeaderLine(), "Content-Transfer-Encoding: quoted-printable");
    EXPECT_EQ(coder.GetBodyHeaderLine(), "Content-Transfer-Encoding: 7bit") << "the coder's own";
    const auto lines = Lines(out);
    ASSERT_EQ(lines.size(), 15u);
    EXPECT_EQ(lines[0], std::string(75, 'z') + "=");
    EXPECT_EQ(lines[13], std::string(24, 'z') + "=20=3D");
    EXPECT_EQ(lines[14], "end");
}

TEST(Coders, ChoiceByLanguageAndTheirPartInfo) {
    struct {
        const char* language;
        const char* charset;
        const char* line;
        const char* headerEncoding;
    } const cases[] = {
        {"Japanese", "iso-2022-jp", "Content-Transfer-Encoding: 7bit", "base64"},
        {"ChineseSimplified", "hz-gb-2312", "Content-Transfer-Encoding: 7bit", "base64"},
        {"English", "us_ascii", "Content-Transfer-Encoding: 7bit", "7bit"},
        {"German", "iso-8859-1", "Content-Transfer-Encoding: quoted-printable", "quoted-printable"},
        {"Dutch", "iso-8859-1", "Content-Transfer-Encoding: quoted-printable", "quoted-printable"},
    };
    for (const auto& c : cases) {
        auto coder = MakeMimeCoder(c.language);
        EXPECT_EQ(coder->GetCharset(), c.charset);
        EXPECT_EQ(coder->HeaderInfo().GetCharset(), c.charset);
        EXPECT_EQ(coder->HeaderInfo().GetEncoding(), c.headerEncoding);
        const CMimeInfo& t = coder->TextInfo();
        EXPECT_EQ(t.GetCharset(), c.charset);
        EXPECT_EQ(t.GetEncoding(), "");
        EXPECT_EQ(t.GetContentType(), "text/plain");
        EXPECT_EQ(t.GetFourth(), "Binary");
        EXPECT_EQ(t.GetHeaderLine(), c.line);
        const CMimeInfo& a = coder->AttachmentInfo();
        EXPECT_EQ(a.GetCharset(), "");
        EXPECT_EQ(a.GetEncoding(), "base64");
        EXPECT_EQ(a.GetContentType(), "application/octet-stream");
        EXPECT_EQ(a.GetFourth(), "Binary");
    }
}

TEST(Coders, LanguageFromTheThreadLocale) {
    const std::pair<uint16_t, const char*> cases[] = {
        {0x0411, "Japanese"}, {0x0804, "ChineseSimplified"},
        {0x0404, "English"},  {0x040c, "French"},
        {0x080c, "French"},   {0x0407, "German"},
        {0x0c07, "German"},   {0x0c0a, "Spanish"},
        {0x0410, "Italian"},  {0x0413, "Dutch"},
        {0x0813, "Dutch"},    {0x0409, "English"},
        {0x0419, "English"},  {0x0011, "English"},
        {0x1411, "English"},
    };
    for (const auto& [id, name] : cases)
        EXPECT_EQ(LanguageFromLangId(id), name) << std::hex << id;
}

TEST(AddressList, EntriesNamesCommentsAndBareAddresses) {
    CMimeCoderUS_ASCII coder;
    std::vector<std::string> e;
    ASSERT_TRUE(
        coder.ParseAddressList("\"Sato, Taro\" <taro@example.jp>, hanako@example.jp (Hanako),"
                               " \"A \\\"B\\\" C\" <abc@example.jp>, , Jiro Suzuki jiro@example.jp",
                               e, 4));
    ASSERT_EQ(e.size(), 4u);
    EXPECT_EQ(e[0], "\"Sato, Taro\" <taro@example.jp>") << "a comma inside quotes";
    EXPECT_EQ(e[1], "(Hanako) <hanako@example.jp>");
    EXPECT_EQ(e[2], "\"A \\\"B\\\" C\" <abc@example.jp>") << "escaped quotes do not end the name";
    EXPECT_EQ(e[3], "Jiro Suzuki <jiro@example.jp>") << "a trailing bare address gets brackets";
    EXPECT_EQ(AddressOf(e[0]), "taro@example.jp");
    EXPECT_EQ(AddressOf(e[3]), "jiro@example.jp");
    EXPECT_EQ(AddressOf("plain@example.jp"), "plain@example.jp");
    // A NUL byte is an ordinary byte of a word.
    ASSERT_TRUE(coder.ParseAddressList(std::string("a\0b@x, c@y", 10), e, 0));
    EXPECT_EQ(e, (std::vector<std::string>{std::string("<a\0b@x>", 7), "<c@y>"}));
}

TEST(AddressList, ANameWithACommaStaysOneMailbox) {
    std::vector<std::string> e;
    const std::string mueller = "\"M\xFCller, Hans\" <h@x>";
    CMimeCoderUS_ASCII ascii;
    ASSERT_TRUE(ascii.ParseAddressList(mueller + ", J.Smith <js@x> (Sales \xE9)", e, 4));
    EXPECT_EQ(e,
              (std::vector<std::string>{"\"M ller, Hans\" <h@x>", "\"J.Smith\" (Sales  ) <js@x>"}));
    // In a display name or comment a Q word holds no specials.
    CMimeCoderISO_8859_1 latin;
    ASSERT_TRUE(latin.ParseAddressList(mueller + ", \"Weber,Anna\" <w@x> (B\xFCro (Nord))", e, 4));
    EXPECT_EQ(e, (std::vector<std::string>{
                     "=?iso-8859-1?Q?M=FCller=2C=20Hans?= <h@x>",
                     "\"Weber,Anna\" (=?iso-8859-1?Q?B=FCro=20=28Nord=29?=) <w@x>"}));
}

TEST(AddressList, DisplayNamesAreEncodedWords) {
    CMimeCoderISO_2022_JP jp;
    std::vector<std::string> e;
    ASSERT_TRUE(jp.ParseAddressList("\"" + kNihongo + "\" <n@example.jp>", e, 4));
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0].rfind("=?iso-2022-jp?B?", 0), 0u) << e[0];
    EXPECT_EQ(AddressOf(e[0]), "n@example.jp");

    CMimeCoderISO_8859_1 latin;
    ASSERT_TRUE(latin.ParseAddressList("J\xFCrgen M\xFCller <jm@example.de> (B\xFCro)", e, 6));
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0], "=?iso-8859-1?Q?J=FCrgen=20M=FCller?= (=?iso-8859-1?Q?B=FCro?=) "
                    "<jm@example.de>");
}
