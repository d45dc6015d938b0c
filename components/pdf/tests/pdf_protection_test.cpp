// Protected and PDF/A documents from the maker's entry points, checked with
// qpdf, poppler and Ghostscript.
#include "contracts/PdfMaker.h"
#include "pdfa.h"
#include "pdftest.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>

namespace mk = vlm::pdfmaker;

namespace {

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// One bilevel page through the entry points, after the given settings.
struct Setting {
    int mode;
    const char* value;
};
int MakeDocument(const std::string& path, std::initializer_list<Setting> settings,
                 const TestPage& page) {
    EXPECT_EQ(PAFC_OK, vlm_PAFC_modeset(mk::kModeReset, nullptr));
    for (const Setting& s : settings)
        EXPECT_EQ(PAFC_OK, vlm_PAFC_modeset(s.mode, s.value)) << s.mode << " " << s.value;
    remove(path.c_str());
    const int rc = vlm_PAFC_open(path.c_str());
    if (rc != PAFC_OK)
        return rc;
    const PAFC_PAGE r = Record(page);
    EXPECT_EQ(PAFC_OK, vlm_PAFC_make(&r, 0));
    return vlm_PAFC_close();
}

// Ghostscript's rendering at the page's own resolution against the page's
// bits: decryption or decoding faults show as many wrong pixels.
size_t RenderedMismatches(const std::string& path, const std::string& password,
                          const TestPage& page) {
    const std::string out = path + ".pbm";
    remove(out.c_str());
    int rc = -1;
    const std::string log =
        Capture("gs -q -dSAFER -dBATCH -dNOPAUSE -dPDFSTOPONERROR -dPDFSTOPONWARNING "
                "-sDEVICE=pbmraw -r" +
                    std::to_string(page.image.m_nXDpi) + " -sPDFPassword='" + password +
                    "' -sOutputFile=" + out + " " + path,
                &rc);
    if (rc != 0) {
        ADD_FAILURE() << log;
        return SIZE_MAX;
    }
    std::ifstream f(out, std::ios::binary);
    std::string magic;
    int w = 0, h = 0;
    f >> magic >> std::ws;
    while (f.peek() == '#') // Ghostscript names itself in a comment
        f.ignore(1 << 20, '\n');
    f >> w >> h;
    f.get();
    if (magic != "P4" || w != page.image.m_nWidth || h != page.image.m_nHeight)
        return SIZE_MAX;
    std::vector<uint8_t> bits(page.image.m_nStep * h);
    f.read(reinterpret_cast<char*>(bits.data()), static_cast<std::streamsize>(bits.size()));
    size_t wrong = 0;
    for (size_t i = 0; i < bits.size(); ++i)
        wrong += __builtin_popcount(bits[i] ^ page.rows[i]);
    return wrong;
}

// pdffonts: name type encoding emb sub uni object ID, after a ruler line.
bool AllFontsEmbedded(const std::string& path) {
    int rc = -1;
    std::istringstream in(Capture("pdffonts " + path, &rc));
    bool table = false, ok = rc == 0;
    for (std::string line; std::getline(in, line);) {
        std::istringstream ls(line);
        std::vector<std::string> cols{std::istream_iterator<std::string>(ls), {}};
        if (table && cols.size() >= 7 && cols[cols.size() - 5] != "yes") {
            ADD_FAILURE() << "not embedded: " << line;
            ok = false;
        }
        table = table || line.rfind("----", 0) == 0;
    }
    return ok;
}

} // namespace

TEST(PdfProtection, EachPasswordOpensTheDocumentAndNothingElseDoes) {
    const TestPage page = Make(1, 400, 300, 72, 5);
    const std::string path = Tmp("protected.pdf");
    // A non-ASCII user password: "Zugang-42 für Lohn" in UTF-8.
    const std::string user = "Zugang-42 f\xC3\xBCr Lohn", owner = "Chef!Schl(u)essel";
    ASSERT_EQ(PAFC_OK, MakeDocument(path,
                                    {{mk::kModeUserPassword, user.c_str()},
                                     {mk::kModeOwnerPassword, owner.c_str()},
                                     {mk::kModeCryptLevel, "0"},
                                     {mk::kModePermissions, "1"}},
                                    page));
    // Nothing of the document is readable in the file itself.
    const std::string raw = ReadText(path);
    EXPECT_TRUE(Contains(raw, "%PDF-2.0"));
    for (const char* clear : {"Velmora Works PDF maker", "VX-410", "/Im0 Do", "(D:"})
        EXPECT_FALSE(Contains(raw, clear)) << clear;

    int rc = -1;
    std::string report = Capture("qpdf --check " + path, &rc);
    EXPECT_NE(rc, 0) << report;
    EXPECT_TRUE(Contains(report, "password")) << report;
    for (const std::string& pw : {user, owner}) {
        report = Capture("qpdf --check '--password=" + pw + "' " + path, &rc);
        EXPECT_EQ(rc, 0) << pw << "\n" << report;
        EXPECT_TRUE(Contains(report, "No syntax or stream encoding errors")) << report;
    }
    report = Capture("qpdf --show-encryption '--password=" + owner + "' " + path, &rc);
    EXPECT_EQ(rc, 0) << report;
    for (const char* line :
         {"R = 6", "Supplied password is owner password", "print low resolution: allowed",
          "print high resolution: allowed", "extract for any purpose: not allowed",
          "extract for accessibility: allowed", "modify document assembly: not allowed",
          "modify annotations: not allowed", "modify other: not allowed",
          "stream encryption method: AESv3", "string encryption method: AESv3"})
        EXPECT_TRUE(Contains(report, line)) << line << "\n" << report;
    report = Capture("qpdf --show-encryption '--password=" + user + "' " + path, &rc);
    EXPECT_TRUE(Contains(report, "Supplied password is user password")) << report;

    // Readers: poppler with either password, Ghostscript with the user's.
    EXPECT_EQ(0, (Capture("pdftotext -upw '" + user + "' " + path + " -", &rc), rc));
    EXPECT_EQ(0, (Capture("pdftotext -opw '" + owner + "' " + path + " -", &rc), rc));
    EXPECT_NE(0, (Capture("pdftotext -upw wrong " + path + " -", &rc), rc));
    EXPECT_TRUE(Contains(Capture("pdfinfo -upw '" + user + "' " + path), "VX-410 Task Deck"));
    EXPECT_EQ(0u, RenderedMismatches(path, user, page));
    EXPECT_NE(
        0,
        (Capture("gs -q -dSAFER -dBATCH -dNOPAUSE -dPDFSTOPONERROR -sDEVICE=nullpage " + path, &rc),
         rc));
}

TEST(PdfProtection, OwnerOrUserPasswordAlone) {
    const TestPage page = Make(8, 200, 150, 72, 6);
    const std::string ownerOnly = Tmp("owner-only.pdf"), userOnly = Tmp("user-only.pdf");
    ASSERT_EQ(PAFC_OK,
              MakeDocument(ownerOnly,
                           {{mk::kModeOwnerPassword, "boss"},
                            {mk::kModePermissions, std::to_string(mk::kAllowCopy).c_str()}},
                           page));
    int rc = -1;
    std::string report = Capture("qpdf --check " + ownerOnly, &rc);
    EXPECT_EQ(rc, 0) << report;
    report = Capture("qpdf --show-encryption " + ownerOnly, &rc);
    for (const char* line : {"R = 6", "User password = ", "print low resolution: not allowed",
                             "extract for any purpose: allowed", "modify other: not allowed"})
        EXPECT_TRUE(Contains(report, line)) << line << "\n" << report;
    EXPECT_TRUE(Contains(Capture("qpdf --show-encryption --password=boss " + ownerOnly),
                         "Supplied password is owner password"));

    // A user password alone: its document is not opened as owner by it, nor
    // by an empty password.
    ASSERT_EQ(PAFC_OK, MakeDocument(userOnly, {{mk::kModeUserPassword, "reader"}}, page));
    report = Capture("qpdf --show-encryption --password=reader " + userOnly, &rc);
    EXPECT_EQ(rc, 0) << report;
    EXPECT_TRUE(Contains(report, "Supplied password is user password")) << report;
    EXPECT_TRUE(Contains(report, "modify other: allowed")) << report; // all allowed by default
    EXPECT_NE(0, (Capture("qpdf --check " + userOnly, &rc), rc));
}

TEST(PdfProtection, PasswordsAreNormalisedAndBadOnesRefused) {
    const TestPage page = Make(8, 64, 64, 72, 7);
    // The ligature U+FB01 becomes "fi" and a no-break space a space, so that
    // the same password typed differently still opens the document.
    const std::string path = Tmp("normalised.pdf");
    ASSERT_EQ(PAFC_OK, MakeDocument(path,
                                    {{mk::kModeUserPassword, "\xEF\xAC\x81le\xC2\xA0"
                                                             "42"}},
                                    page));
    int rc = -1;
    const std::string report = Capture("qpdf --check '--password=file 42' " + path, &rc);
    EXPECT_EQ(rc, 0) << report;

    const std::string longest(127, 'x'), tooLong(128, 'x');
    EXPECT_EQ(PAFC_OK, vlm_PAFC_modeset(mk::kModeUserPassword, longest.c_str()));
    EXPECT_EQ(PAFC_OK, vlm_PAFC_modeset(mk::kModeUserPassword, ""));
    // Refused values; each leaves the next open refused too, and no file made.
    const std::string refused = Tmp("refused.pdf");
    for (const std::string& bad :
         {tooLong, std::string(64, 'x') + std::string(32, '\xC3') /* broken UTF-8 */,
          std::string("tab\there"), std::string("private\xEE\x80\x80"),
          std::string("\xC2\xAD"), /* only a soft hyphen: nothing left */
          // 86 + 14 x 3 = 128 bytes
          std::string(86, 'x') + "\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC"
                                 "\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC"
                                 "\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC"
                                 "\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC"
                                 "\xE2\x82\xAC\xE2\x82\xAC"}) {
        for (int mode : {mk::kModeUserPassword, mk::kModeOwnerPassword}) {
            EXPECT_EQ(PAFC_ERR_ARGUMENT, vlm_PAFC_modeset(mode, bad.c_str())) << bad;
            remove(refused.c_str());
            EXPECT_EQ(PAFC_ERR_ARGUMENT, vlm_PAFC_open(refused.c_str()));
            EXPECT_EQ(-1, FileSize(refused));
            EXPECT_EQ(PAFC_OK, vlm_PAFC_modeset(mode, nullptr));
        }
    }
    EXPECT_EQ(PAFC_ERR_ARGUMENT, vlm_PAFC_modeset(mk::kModePermissions, "8"));
    EXPECT_EQ(PAFC_ERR_ARGUMENT, vlm_PAFC_modeset(mk::kModePermissions, "print"));
    EXPECT_EQ(PAFC_ERR_ARGUMENT, vlm_PAFC_modeset(mk::kModePdfA, "yes"));
    EXPECT_EQ(PAFC_ERR_ARGUMENT, vlm_PAFC_modeset(mk::kModeCryptLevel, ""));
    EXPECT_EQ(PAFC_ERR_UNSUPPORTED, vlm_PAFC_modeset(6, "1"));
    EXPECT_EQ(PAFC_ERR_UNSUPPORTED, vlm_PAFC_modeset(-1, "1"));
}

TEST(PdfArchive, PdfAWithAPasswordIsRefusedWithoutAFile) {
    const TestPage page = Make(8, 64, 64, 72, 8);
    const std::string path = Tmp("conflict.pdf");
    EXPECT_EQ(mk::kErrConflict,
              MakeDocument(path, {{mk::kModePdfA, "1"}, {mk::kModeOwnerPassword, "x"}}, page));
    EXPECT_EQ(-1, FileSize(path));
    EXPECT_EQ(PAFC_ERR_NOT_OPEN, vlm_PAFC_close());
    // Clearing the password is enough for the archive document.
    ASSERT_EQ(PAFC_OK, vlm_PAFC_modeset(mk::kModeOwnerPassword, ""));
    ASSERT_EQ(PAFC_OK, vlm_PAFC_open(path.c_str()));
    ASSERT_EQ(PAFC_OK, vlm_PAFC_close());
    EXPECT_GT(FileSize(path), 0);
}

TEST(PdfArchive, DocumentCarriesTheArchiveParts) {
    const TestPage colour = Make(24, 300, 200, 72, 9), bilevel = Make(1, 400, 300, 72, 10);
    const std::string path = Tmp("archive.pdf");
    EXPECT_EQ(PAFC_OK, vlm_PAFC_modeset(mk::kModeReset, nullptr));
    EXPECT_EQ(PAFC_OK, vlm_PAFC_modeset(mk::kModePdfA, "1"));
    ASSERT_EQ(PAFC_OK, vlm_PAFC_open(path.c_str()));
    for (const TestPage* p : {&bilevel, &colour}) {
        const PAFC_PAGE r = Record(*p);
        ASSERT_EQ(PAFC_OK, vlm_PAFC_make(&r, 0));
    }
    ASSERT_EQ(PAFC_OK, vlm_PAFC_close());
    vlm_PAFC_modeset(mk::kModeReset, nullptr);

    std::string report;
    EXPECT_TRUE(QpdfAccepts(path, &report)) << report;
    const std::string raw = ReadText(path);
    // A binary comment right after the header.
    ASSERT_GT(raw.size(), 20u);
    EXPECT_EQ(raw.substr(0, 9), "%PDF-1.7\n");
    EXPECT_EQ(raw[9], '%');
    for (int i = 10; i < 14; ++i)
        EXPECT_GE(static_cast<unsigned char>(raw[i]), 128u);

    int rc = -1;
    const std::string json = Capture("qpdf --json --json-stream-data=inline " + path, &rc);
    ASSERT_EQ(rc, 0) << json.substr(0, 2000);
    EXPECT_TRUE(std::regex_search(json, std::regex("\"/ID\": \\[\\s*\"b:[0-9a-f]{16,}\"")))
        << "trailer /ID";
    EXPECT_TRUE(Contains(json, "\"/S\": \"/GTS_PDFA1\""));
    EXPECT_TRUE(Contains(json, "\"/OutputConditionIdentifier\": \"u:sRGB IEC61966-2.1\""));
    EXPECT_TRUE(Contains(json, "\"/N\": 3"));
    EXPECT_FALSE(Contains(json, "\"/Encrypt\""));

    // The XMP as poppler reads it, and the document information it repeats.
    const std::string xmp = Capture("pdfinfo -meta " + path, &rc);
    ASSERT_EQ(rc, 0);
    EXPECT_TRUE(Contains(xmp, "<pdfaid:part>2</pdfaid:part>")) << xmp;
    EXPECT_TRUE(Contains(xmp, "<pdfaid:conformance>B</pdfaid:conformance>")) << xmp;
    std::smatch m;
    ASSERT_TRUE(std::regex_search(raw, m,
                                  std::regex("/Producer \\(([^)]*)\\) /Creator \\(([^)]*)\\) "
                                             "/CreationDate \\(D:(\\d{4})(\\d\\d)(\\d\\d)(\\d\\d)("
                                             "\\d\\d)(\\d\\d)([+-])(\\d\\d)'(\\d\\d)'\\) /ModDate "
                                             "\\(([^)]*)\\)")));
    EXPECT_TRUE(Contains(xmp, "<pdf:Producer>" + m[1].str() + "</pdf:Producer>"));
    EXPECT_TRUE(Contains(xmp, "<xmp:CreatorTool>" + m[2].str() + "</xmp:CreatorTool>"));
    const std::string isoDate = m[3].str() + "-" + m[4].str() + "-" + m[5].str() + "T" +
                                m[6].str() + ":" + m[7].str() + ":" + m[8].str() + m[9].str() +
                                m[10].str() + ":" + m[11].str();
    EXPECT_TRUE(Contains(xmp, "<xmp:CreateDate>" + isoDate + "</xmp:CreateDate>")) << isoDate;
    EXPECT_TRUE(Contains(xmp, "<xmp:ModifyDate>" + isoDate + "</xmp:ModifyDate>")) << isoDate;
    EXPECT_TRUE(Contains(m[12].str(), m[3].str() + m[4].str())); // ModDate = CreationDate form

    // Fonts: every one embedded (pdffonts' "emb" column).
    EXPECT_TRUE(AllFontsEmbedded(path));
    // Ghostscript renders the pages as before.
    EXPECT_EQ(0u, RenderedMismatches(path, "", bilevel));
}

// The two date forms carry the same moment with the zone's offset, across a
// change of day on either side of UTC.
TEST(PdfArchive, DatesCarryTheOffsetFromUtc) {
    const std::string saved = getenv("TZ") ? getenv("TZ") : "";
    const time_t moment = 1796688000 + 22 * 3600 + 15 * 60; // 2026-12-08 22:15:00 UTC
    const struct {
        const char* zone;
        const char* pdf;
        const char* xmp;
    } cases[] = {
        {"VLM-5:30", "D:20261209034500+05'30'", "2026-12-09T03:45:00+05:30"},
        {"VLM+3:30", "D:20261208184500-03'30'", "2026-12-08T18:45:00-03:30"},
        {"UTC0", "D:20261208221500+00'00'", "2026-12-08T22:15:00+00:00"},
    };
    for (const auto& c : cases) {
        setenv("TZ", c.zone, 1);
        tzset();
        const vlm::pdf::DocumentDate date = vlm::pdf::DateOf(moment);
        EXPECT_EQ(date.pdf, c.pdf) << c.zone;
        EXPECT_EQ(date.xmp, c.xmp) << c.zone;
    }
    if (saved.empty())
        unsetenv("TZ");
    else
        setenv("TZ", saved.c_str(), 1);
    tzset();
}
