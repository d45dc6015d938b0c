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

void WriteCase(const fs::path& dir, const Case& c) {
    fs::create_directories(dir);
    auto coder = MakeMimeCoder(c.language);
    std::vector<std::string> to, from;
    ASSERT_TRUE(coder->ParseAddressList(
        c.name.empty() ? c.addr : "\"" + c.name + "\" <" + c.addr + ">", to, 4));
    ASSERT_TRUE(coder->ParseAddressList("scanner@example.com", from, 6));
    std::string subject, body;
    ASSERT_TRUE(coder->EncodeHeader(c.subject, subject, "", 9, 0));
    ASSERT_TRUE(coder->EncodeBody(c.body, body, "", 0));
    WriteFile(dir / "message.eml",
              "From: " + from[0] + "\r\nTo: " + to[0] + "\r\nSubject: " + subject +
                  "\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=\"" +
                  coder->TextInfo().GetCharset() + "\"\r\n" + coder->GetBodyHeaderLine() +
                  "\r\n\r\n" + body + "\r\n");
    WriteFile(dir / "codepage.txt", c.codepage);
    WriteFile(dir / "subject.orig", c.subject);
    // The message's final line break is the message's, not the body's.
    WriteFile(dir / "body.orig", c.body + "\r\n");
    if (!c.name.empty()) {
        WriteFile(dir / "name.orig", c.name);
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
} // namespace

TEST(MimePeer, PythonEmailDecodesEveryCoderBackToTheText) {
    const char* python = std::getenv("VLM_PYTHON");
    const char* tools = std::getenv("VLM_MAIL_TOOLS");
    ASSERT_TRUE(python && tools);
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
