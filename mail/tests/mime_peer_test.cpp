// Messages written with each coder are read back by Python's email package
// (and its iso-2022-jp and hz codecs): subject, body and display name must
// decode to the original text.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

#include "mail/core/MimeCoder.h"

namespace fs = std::filesystem;
using namespace vlm::mail;

namespace {
struct Case {
    std::string language, codepage, subject, body, name, addr;
};

void WriteFile(const fs::path& p, const std::string& s) {
    std::ofstream(p, std::ios::binary) << s;
}

// The name as a user types it into an address list: quoted, with "\" before
// a quote or backslash of its own.
std::string Quoted(const std::string& name) {
    std::string out = "\"";
    for (char c : name)
        out += c == '"' || c == '\\' ? std::string("\\") + c : std::string(1, c);
    return out + "\"";
}

void WriteCase(const fs::path& dir, const Case& c) {
    fs::create_directories(dir);
    auto coder = MakeMimeCoder(c.language);
    std::vector<std::string> to, from;
    const std::string name = c.name.empty() ? "" : Quoted(c.name) + " ";
    ASSERT_TRUE(coder->ParseAddressList(name + "<" + c.addr + ">", to, 4));
    ASSERT_TRUE(coder->ParseAddressList(name + "scanner@example.com", from, 6));
    ASSERT_EQ(to.size(), 1u);
    std::string subject, body;
    ASSERT_TRUE(coder->EncodeHeader(c.subject, subject, "", 9, 0));
    ASSERT_TRUE(coder->EncodeBody(c.body, body, "", 0));
    WriteFile(dir / "message.eml",
              "From: " + from[0] + "\r\nTo: " + to[0] + "\r\nSubject: " + subject +
                  "\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=\"" +
                  coder->TextInfo().GetCharset() + "\"\r\n" + coder->TextInfo().GetHeaderLine() +
                  "\r\n\r\n" + body + "\r\n");
    WriteFile(dir / "codepage.txt", c.codepage);
    WriteFile(dir / "subject.orig", c.subject);
    // The message's final line break is the message's, not the body's.
    WriteFile(dir / "body.orig", c.body + "\r\n");
    if (!c.name.empty()) {
        // The English coder's charset has no 8-bit letters: they arrive as spaces.
        std::string name = c.name;
        if (c.language == "English")
            for (char& ch : name)
                ch = ch & 0x80 ? ' ' : ch;
        WriteFile(dir / "name.orig", name);
        WriteFile(dir / "addr.txt", c.addr);
    }
}

std::string Repeat(const std::string& s, int n) {
    std::string out;
    while (n-- > 0)
        out += s;
    return out;
}

const std::string kNihongo = "\x93\xFA\x96\x7B\x8C\xEA";            // NIHONGO
const std::string kTesuto = "\x83\x65\x83\x58\x83\x67";             // TESUTO
const std::string kHalfGaido = "\xB6\xDE\xB2\xC4\xDE \xCA\xDF\xDD"; // half-width GAIDO PAN
const std::string kSaomiao = "\xC9\xA8\xC3\xE8\xCE\xC4\xBC\xFE";    // SAOMIAO WENJIAN
const std::string kCeshi = "\xB2\xE2\xCA\xD4";                      // CESHI
// Every character code page 1252 has at 0x80-0x9F.
const std::string kCp1252Extras = "\x80\x82\x83\x84\x85\x86\x87\x88\x89\x8A\x8B\x8C\x8E"
                                  "\x91\x92\x93\x94\x95\x96\x97\x98\x99\x9A\x9B\x9C\x9E\x9F";
// Writes the cases and has Python's email package read each back.
void ExpectPeerReadsBack(const std::map<std::string, Case>& cases) {
    const char* python = std::getenv("VLM_PYTHON");
    const char* tools = std::getenv("VLM_MAIL_TOOLS");
    ASSERT_TRUE(python && tools);
    const fs::path root = fs::temp_directory_path() / ("vlm_mime_peer_" + std::to_string(getpid()));
    fs::remove_all(root);
    for (const auto& [name, c] : cases)
        WriteCase(root / name, c);

    const std::string cmd = std::string(python) + " " + tools + "/mime_peer.py " + root.string();
    FILE* p = popen(cmd.c_str(), "r");
    ASSERT_TRUE(p);
    std::string output;
    char buf[4096];
    while (size_t n = fread(buf, 1, sizeof buf, p))
        output.append(buf, n);
    const int status = pclose(p);
    for (const auto& [name, c] : cases)
        EXPECT_NE(output.find("OK " + name + "\n"), std::string::npos) << output;
    EXPECT_EQ(status, 0) << output;
    fs::remove_all(root);
}
} // namespace

TEST(MimePeer, PythonEmailDecodesEveryCoderBackToTheText) {
    const std::map<std::string, Case> cases = {
        {"ja_short",
         {"Japanese", "cp932", kNihongo + kTesuto + " Scan 01",
          "ABC " + kTesuto + "\r\n" + kHalfGaido + "\r\n~tilde~ and \\ yen",
          kNihongo + " " + kTesuto, "taro@example.jp"}},
        {"ja_long_subject",
         {"Japanese", "cp932", Repeat(kNihongo + kHalfGaido + "x", 12), Repeat(kTesuto + "\r\n", 5),
          "", "taro@example.jp"}},
        {"zh_short",
         {"ChineseSimplified", "gb2312", kSaomiao + " ~ " + kCeshi, "a~b~~c " + kCeshi + "\r\nok",
          kCeshi, "li@example.cn"}},
        {"zh_long_subject",
         {"ChineseSimplified", "gb2312", Repeat(kSaomiao + "~" + kCeshi + " ", 10),
          Repeat(kSaomiao + "\r\n", 4), "", "li@example.cn"}},
        {"latin1_short",
         {"German", "latin-1",
          "Gr\xFC\xDF"
          "e aus K\xF6ln",
          "Sehr geehrte Frau M\xFCller,\r\n"
          "anbei die Scans (3 Seiten). Ist das OK? a=b_c\r\n\tTab und Leerzeichen am Ende \r\n",
          "J\xFCrgen M\xFCller", "jm@example.de"}},
        {"latin1_long",
         {"French", "latin-1", Repeat("R\xE9sum\xE9 d\xE9j\xE0 envoy\xE9 ", 8),
          Repeat("Voil\xE0 le r\xE9sum\xE9 de l'\xE9t\xE9 dernier, tr\xE8s d\xE9taill\xE9. ", 9),
          "", "fr@example.fr"}},
        {"cp1252_invoice",
         {"German", "cp1252", "\x80 5 \x96 \x84Rechnung\x93",
          "Sehr geehrte Damen und Herren,\r\nanbei die \x84Rechnung\x93 \x96 Betrag \x80 "
          "5,00\x85\r\n"
          "Gr\xFC\xDF"
          "e",
          "M\xFCller \x96 B\xFCro", "jm@example.de"}},
        {"cp1252_long_subject",
         {"French", "cp1252",
          Repeat("Facture \x80 5 \x96 \x84r\xE9sum\xE9\x93 ", 6) + kCp1252Extras,
          Repeat("\x8Cuvre \x96 \x80 " + kCp1252Extras + "\r\n", 3), "", "fr@example.fr"}},
        // Bytes code page 1252 leaves unassigned are the C1 controls of ISO-8859-1.
        {"latin1_unassigned_c1",
         {"Spanish", "latin-1",
          "Ma\xF1"
          "ana \x81\x8D x",
          "a\x8F\x90\x9D b", "", "es@example.es"}},
        {"ascii_long_subject",
         {"English", "ascii",
          Repeat("Quarterly report for the northern sales region ", 5).substr(0, 200),
          "Please find the scanned pages attached.\r\n\r\nRegards", "Scan Desk",
          "desk@example.com"}},
    };
    ExpectPeerReadsBack(cases);
}

// Lines arrive as written: up to 998 bytes as 7bit, longer ones folded by
// quoted-printable, never cut by an inserted line break.
TEST(MimePeer, BodyLinesOfEveryLengthArriveAsWritten) {
    std::map<std::string, Case> cases;
    std::string lines, longLines;
    for (int n : {74, 75, 76, 77, 998}) {
        std::string line;
        for (int i = 0; i < n; ++i)
            line += char('!' + (i * 7 + n) % 94);
        lines += line + "\r\n";
    }
    for (int n : {999, 1000, 2500})
        longLines += std::string(n, 'y') + "\r\n";
    const std::pair<const char*, const char*> coders[] = {{"English", "ascii"},
                                                          {"Japanese", "cp932"},
                                                          {"ChineseSimplified", "gb2312"},
                                                          {"German", "latin-1"}};
    for (const auto& [language, codepage] : coders) {
        cases[std::string(language) + "_74_to_998"] = {language,      codepage, "Lines",
                                                       lines + "end", "",       "a@example.com"};
        cases[std::string(language) + "_999_and_more"] = {
            language, codepage, "Long lines", "start\r\n" + longLines + "end", "", "a@example.com"};
    }
    // A line of double-byte characters longer than 998 bytes once converted.
    cases["Japanese_long_kanji"] = {
        "Japanese", "cp932", "Kanji", Repeat(kNihongo, 180) + "\r\nx", "", "a@example.com"};
    cases["ChineseSimplified_long_hanzi"] = {
        "ChineseSimplified", "gb2312", "Hanzi", Repeat(kSaomiao, 130) + "\r\nx", "",
        "a@example.com"};
    ExpectPeerReadsBack(cases);
}

// Each From: and To: entry is one mailbox with the user's display name,
// commas, quotes and other specials included.
TEST(MimePeer, DisplayNamesWithSpecialsStayOneMailbox) {
    const std::string ascii[] = {"Smith, John", "J. R. Smith", "Sales (North); \"Desk\" \\ 2",
                                 "a@b <c>"};
    const std::pair<const char*, const char*> coders[] = {{"English", "ascii"},
                                                          {"Japanese", "cp932"},
                                                          {"ChineseSimplified", "gb2312"},
                                                          {"German", "latin-1"}};
    std::map<std::string, Case> cases;
    for (const auto& [language, codepage] : coders)
        for (size_t i = 0; i < std::size(ascii); ++i)
            cases[std::string(language) + "_name" + std::to_string(i)] = {
                language, codepage, "Names", "Body", ascii[i], "h@example.com"};
    for (const char* language : {"German", "English"})
        cases[std::string(language) + "_accents"] = {
            language, "latin-1", "Names", "Body", "M\xFCller, Hans (B\xFCro)", "h@example.com"};
    cases["German_no_blank"] = {"German", "latin-1",    "Names",
                                "Body",   "Weber,Anna", "h@example.com"};
    cases["Japanese_kanji"] = {"Japanese",    "cp932", "Names", "Body", kNihongo + ", " + kTesuto,
                               "h@example.jp"};
    cases["ChineseSimplified_hanzi"] = {"ChineseSimplified",      "gb2312",      "Names", "Body",
                                        kCeshi + ", " + kSaomiao, "h@example.cn"};
    ExpectPeerReadsBack(cases);
}
