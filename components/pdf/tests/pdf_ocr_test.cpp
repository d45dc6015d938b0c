// Text recognition in the PDF maker, checked as a reader would: pages with known
// text rendered by ImageMagick, made into documents through the C entry points
// with recognition on, read back with pdftotext, pdffonts, Ghostscript, mutool
// and qpdf.
#include "ocrengine.h"
#include "pafc.h"
#include "peertools.h"
#include "recognition.h"
#include "textlayer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <regex>
#include <sstream>

using namespace vlm::pdf;

namespace {

std::string Tmp(const std::string& name) {
    return std::string(VLM_TEST_TMP) + "/ocr_" + name;
}

// A page in the form PAFC_make takes.
struct Page {
    std::vector<uint8_t> rows;
    int width = 0, height = 0, stride = 0, type = 2, dpi = 300;
    PAFC_PAGE Record() const { return {rows.data(), stride, width, height, dpi, type}; }
};

constexpr int kDpi = 300;

// Text rendered at 300 dpi in grey, 11 pt, wrapped to a 7.3 inch column.
Page RenderText(const std::string& text, const std::string& font) {
    Page page;
    const std::string path = Tmp("render.pgm");
    EXPECT_EQ(text.find('\''), std::string::npos);
    int rc = -1;
    const std::string out = Capture("convert -density 300 -units PixelsPerInch -background white "
                                    "-fill black -font " +
                                        font + " -pointsize 11 -size 2200x caption:'" + text +
                                        "' -bordercolor white -border 60 -depth 8 pgm:" + path,
                                    &rc);
    EXPECT_EQ(rc, 0) << out;
    std::ifstream f(path, std::ios::binary);
    std::string magic;
    int maxv = 0;
    f >> magic >> page.width >> page.height >> maxv;
    f.get();
    EXPECT_EQ(magic, "P5");
    page.stride = page.width;
    page.rows.resize(static_cast<size_t>(page.width) * page.height);
    f.read(reinterpret_cast<char*>(page.rows.data()),
           static_cast<std::streamsize>(page.rows.size()));
    EXPECT_TRUE(f);
    return page;
}

// The grey page as the scanner's other image types: bilevel (1 = black) or
// colour (dark blue ink on cream paper, B,G,R).
Page AsType(const Page& grey, int type) {
    if (type == 2)
        return grey;
    Page p = grey;
    p.type = type;
    p.stride = type == 1 ? (grey.width + 7) / 8 : grey.width * 3;
    p.rows.assign(static_cast<size_t>(p.stride) * p.height, 0);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const int v = grey.rows[static_cast<size_t>(y) * grey.width + x];
            uint8_t* row = p.rows.data() + static_cast<size_t>(y) * p.stride;
            if (type == 1) {
                if (v < 128)
                    row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
                continue;
            }
            const int ink[3] = {120, 30, 20}, paper[3] = {225, 245, 250};
            for (int c = 0; c < 3; ++c)
                row[3 * x + c] = static_cast<uint8_t>((ink[c] * (255 - v) + paper[c] * v) / 255);
        }
    return p;
}

// Whether the page's pixel is ink, whatever its type.
bool Ink(const Page& p, int x, int y) {
    const uint8_t* row = p.rows.data() + static_cast<size_t>(y) * p.stride;
    if (p.type == 1)
        return (row[x / 8] >> (7 - x % 8)) & 1;
    return (p.type == 2 ? row[x] : row[3 * x + 1]) < 128;
}

std::string MakeDocument(const std::string& name, uint32_t flags, uint32_t extra,
                         const std::vector<Page>& pages) {
    const std::string path = Tmp(name + ".pdf");
    EXPECT_EQ(PAFC_OK, vlm_PAFC_exmodeset(0, static_cast<int>(flags), static_cast<int>(extra)));
    EXPECT_EQ(PAFC_OK, vlm_PAFC_open(path.c_str()));
    for (const Page& p : pages) {
        const PAFC_PAGE r = p.Record();
        EXPECT_EQ(PAFC_OK, vlm_PAFC_make(&r, 0));
    }
    EXPECT_EQ(PAFC_OK, vlm_PAFC_close());
    return path;
}

// Every reader takes the document: qpdf's check, Ghostscript and mutool render it
// without complaint.
void ExpectReadersAccept(const std::string& path) {
    int rc = -1;
    std::string out = Capture("qpdf --check " + path, &rc);
    EXPECT_EQ(rc, 0) << out;
    EXPECT_NE(out.find("No syntax or stream encoding errors"), std::string::npos) << out;
    out = Capture("gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pgmraw -r20 -o /dev/null " + path, &rc);
    EXPECT_EQ(rc, 0) << out;
    EXPECT_EQ(out.find("rror"), std::string::npos) << out;
    out = Capture("mutool draw -q -r 20 -o /dev/null " + path, &rc);
    EXPECT_EQ(rc, 0) << out;
    EXPECT_EQ(out.find("error"), std::string::npos) << out;
}

// fold: full-width forms count as their ASCII twins (as Unicode's compatibility
// normalisation has them), since the engine reads "，" as ",".
std::vector<std::u32string> Tokens(const std::string& utf8, bool characters, bool fold) {
    std::vector<std::u32string> out;
    std::u32string cur;
    for (size_t i = 0; i < utf8.size();) {
        const uint8_t c = static_cast<uint8_t>(utf8[i]);
        const int n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        char32_t cp = n == 1 ? c : c & (0x7F >> n);
        for (int k = 1; k < n && i + k < utf8.size(); ++k)
            cp = (cp << 6) | (static_cast<uint8_t>(utf8[i + k]) & 0x3F);
        i += n;
        if (fold && cp >= 0xFF01 && cp <= 0xFF5E)
            cp -= 0xFEE0;
        const bool space = cp == ' ' || cp == '\n' || cp == '\t' || cp == '\f' || cp == 0x3000;
        if (characters) {
            if (!space)
                out.push_back(std::u32string(1, cp));
        } else if (space) {
            if (!cur.empty())
                out.push_back(cur);
            cur.clear();
        } else {
            cur.push_back(cp);
        }
    }
    if (!cur.empty())
        out.push_back(cur);
    return out;
}

// Share of the expected words (or characters) found in order in the text read.
double Accuracy(const std::string& expected, const std::string& read, bool characters,
                size_t* total = nullptr, bool fold = false) {
    const auto a = Tokens(expected, characters, fold), b = Tokens(read, characters, fold);
    std::vector<size_t> prev(b.size() + 1, 0), cur(b.size() + 1, 0);
    for (size_t i = 1; i <= a.size(); ++i) {
        for (size_t j = 1; j <= b.size(); ++j)
            cur[j] = a[i - 1] == b[j - 1] ? prev[j - 1] + 1 : std::max(prev[j], cur[j - 1]);
        std::swap(prev, cur);
    }
    if (total)
        *total = a.size();
    return a.empty() ? 0 : static_cast<double>(prev[b.size()]) / a.size();
}

struct Language {
    const char* name;
    uint32_t flags, extra;
    const char* font;
    bool characters; // measured by characters (Japanese, Chinese)
    const char* text;
};

const Language kLanguages[] = {
    {"jpn", 0x1, 0, "Noto-Sans-CJK-JP", true,
     "スキャナーで読み取った書類は、検索できる文書として保存されます。"
     "毎朝届く請求書を担当者が確認し、必要な情報を入力します。"},
    {"eng", 0x2, 0, "DejaVu-Sans", false,
     "The quick brown fox jumps over the lazy dog while seven wizards quietly judge the boxing "
     "match. Scanned invoices arrive every morning and the office keeps them as searchable "
     "documents for many years."},
    {"jpn+eng", 0x3, 0, "Noto-Sans-CJK-JP", true,
     "本日の会議は午後三時から始まります。資料は事前に確認してください。"
     "Please bring the printed report to the meeting room."},
    {"spa", 0x40, 0, "DejaVu-Sans", false,
     "El escáner lee cada página del documento y guarda el texto para que se pueda buscar. "
     "La oficina recibe facturas todas las mañanas y las archiva con cuidado."},
    {"fra", 0x8, 0, "DejaVu-Sans", false,
     "Le scanner lit chaque page du document et conserve le texte pour la recherche. "
     "Le bureau reçoit des factures chaque matin et les range avec soin dans le classeur."},
    {"deu", 0x20, 0, "DejaVu-Sans", false,
     "Der Scanner liest jede Seite des Dokuments und speichert den Text für die Suche. "
     "Das Büro erhält jeden Morgen Rechnungen und legt sie sorgfältig im Ordner ab."},
    {"ita", 0x10, 0, "DejaVu-Sans", false,
     "Lo scanner legge ogni pagina del documento e conserva il testo per la ricerca. "
     "Ogni mattina il nostro ufficio riceve fatture e le archivia con cura nella cartella."},
    {"nld", 0x80, 0, "DejaVu-Sans", false,
     "De scanner leest elke pagina van het document en bewaart de tekst om te zoeken. "
     "Het kantoor ontvangt elke ochtend facturen en bergt ze zorgvuldig op in de map."},
    {"chi_sim", 0x4, 0, "Noto-Sans-CJK-SC", true,
     "扫描仪读取文件的每一页，并保存文字以便搜索。办公室每天早上收到发票，并仔细归档。"},
    {"chi_tra", 0x4, 0x100, "Noto-Sans-CJK-TC", true,
     "掃描器讀取文件的每一頁，並保存文字以便搜尋。辦公室每天早上收到發票，並仔細歸檔。"},
};

const char* const kTypeNames[] = {"", "bilevel", "grey", "colour"};

struct Word {
    std::string text;
    double x0, y0, x1, y1; // pixels
};

// pdftotext's words of one page with their boxes, in the page's pixels.
std::vector<Word> BoxedWords(const std::string& path, int pageNumber) {
    const std::string html = Capture("pdftotext -bbox -f " + std::to_string(pageNumber) + " -l " +
                                     std::to_string(pageNumber) + " " + path + " -");
    static const std::regex word(
        "<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\" xMax=\"([0-9.]+)\" yMax=\"([0-9.]+)\">([^<]*)"
        "</word>");
    std::vector<Word> out;
    const double k = kDpi / 72.0;
    for (std::sregex_iterator it(html.begin(), html.end(), word), end; it != end; ++it)
        out.push_back({(*it)[5], std::stod((*it)[1]) * k, std::stod((*it)[2]) * k,
                       std::stod((*it)[3]) * k, std::stod((*it)[4]) * k});
    return out;
}

// How far the word's box is from its ink: across, the distance of each side
// from the ink found within a few pixels of it; up and down (the box is its
// line's), how far the word's ink reaches out of the box. A side with ink right
// at the edge of the search counts as far off. The engine's boxes of Chinese and
// Japanese words may reach into the next word, and their characters stand
// closer than the search: there only the left side is measured across.
double BoxError(const Page& p, const Word& w, bool leftOnly) {
    const int margin = 4;
    const int bx0 = static_cast<int>(w.x0 + 0.5), bx1 = static_cast<int>(w.x1 + 0.5),
              by0 = static_cast<int>(w.y0 + 0.5), by1 = static_cast<int>(w.y1 + 0.5);
    const int x0 = std::max(0, bx0 - margin), x1 = std::min(p.width, bx1 + margin);
    const int y0 = std::max(0, by0 - margin), y1 = std::min(p.height, by1 + margin);
    int ix0 = x1, ix1 = -1, iy0 = y1, iy1 = -1, inside0 = x1;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            if (!Ink(p, x, y))
                continue;
            if (y >= by0 && y < by1) { // across: within the line only
                ix0 = std::min(ix0, x);
                ix1 = std::max(ix1, x + 1);
                if (x >= bx0)
                    inside0 = std::min(inside0, x);
            }
            if (x >= bx0 && x < bx1) {
                iy0 = std::min(iy0, y);
                iy1 = std::max(iy1, y + 1);
            }
        }
    if (ix1 < 0 || iy1 < 0)
        return 99; // no ink under the word
    const double down = std::max({w.y0 - iy0, iy1 - w.y1, 0.0});
    if (leftOnly)
        return std::max(down, std::abs(inside0 - w.x0));
    if (ix0 == x0 || ix1 == x1)
        return 99; // more ink beyond the search: the box cuts a word
    return std::max({std::abs(ix0 - w.x0), std::abs(ix1 - w.x1), down});
}

} // namespace

TEST(Recognition, LanguageFlagsChooseTheLanguages) {
    EXPECT_EQ(LanguagesForFlags(0x1, 0), "jpn");
    EXPECT_EQ(LanguagesForFlags(0x3, 0), "jpn+eng");
    EXPECT_EQ(LanguagesForFlags(0x4, 0), "chi_sim");
    EXPECT_EQ(LanguagesForFlags(0x4, 0x100), "chi_tra");
    EXPECT_EQ(LanguagesForFlags(0x100, 0x100), ""); // no language bit
    EXPECT_EQ(LanguagesForFlags(0x80000002u, 0), "");
    std::string all;
    for (const Language& l : kLanguages)
        all += LanguagesForFlags(l.flags, l.extra) == l.name ? "" : l.name;
    EXPECT_EQ(all, "");
    EXPECT_EQ(MissingLanguageData(Tmp("none"), "jpn+eng"), "jpn, eng");
    EXPECT_EQ(MissingLanguageData(LanguageFolder(), "jpn+eng+chi_tra"), "");
}

// Each language's page in the three image types: the text read back with
// pdftotext and mutool, the words' boxes on the ink, every reader content.
TEST(Recognition, TenLanguagesInThreeImageTypesReadBackAsTheirText) {
    for (const Language& lang : kLanguages) {
        SCOPED_TRACE(lang.name);
        const Page grey = RenderText(lang.text, lang.font);
        std::vector<Page> pages;
        for (int type = 1; type <= 3; ++type)
            pages.push_back(AsType(grey, type));
        const std::string path = MakeDocument(lang.name, lang.flags, lang.extra, pages);
        ExpectReadersAccept(path);
        EXPECT_NE(ReadText(path).find("/VlmOcrApplied true"), std::string::npos);
        const std::string fonts = Capture("pdffonts " + path);
        EXPECT_TRUE(std::regex_search(fonts, std::regex("CID TrueType +Identity-H +yes +no +yes")))
            << fonts; // embedded, with its Unicode map
        for (int type = 1; type <= 3; ++type) {
            const std::string n = std::to_string(type);
            const std::string text =
                Capture("pdftotext -enc UTF-8 -f " + n + " -l " + n + " " + path + " -");
            size_t total = 0;
            const double accuracy = Accuracy(lang.text, text, lang.characters, &total);
            printf("accuracy %-8s %-8s %6.1f%% of %zu %s, %.1f%% with full-width forms folded\n",
                   lang.name, kTypeNames[type], 100 * accuracy, total,
                   lang.characters ? "characters" : "words",
                   100 * Accuracy(lang.text, text, lang.characters, nullptr, true));
            EXPECT_GE(accuracy, lang.characters ? 0.90 : 0.95) << text;
            // Every word pdftotext reports lies on the ink of its word.
            const std::vector<Word> words = BoxedWords(path, type);
            std::vector<double> errors;
            for (const Word& w : words) {
                errors.push_back(BoxError(pages[type - 1], w, lang.characters));
                if (errors.back() > 4)
                    printf("  off by %.0f px: %s at %.0f,%.0f-%.0f,%.0f\n", errors.back(),
                           w.text.c_str(), w.x0, w.y0, w.x1, w.y1);
            }
            ASSERT_FALSE(errors.empty());
            std::sort(errors.begin(), errors.end());
            printf("position %-8s %-8s %zu words, median %.1f px, worst %.1f px\n", lang.name,
                   kTypeNames[type], errors.size(), errors[errors.size() / 2], errors.back());
            // Our placing is exact; the engine's own boxes miss now and then (a
            // "j" whose hook reaches left of its box, a one-letter word shifted).
            const size_t close = static_cast<size_t>(
                std::count_if(errors.begin(), errors.end(), [](double e) { return e <= 4; }));
            EXPECT_LE(errors[errors.size() / 2], 2.0);
            EXPECT_GE(close * 10, errors.size() * 9);
        }
        // Another reader finds the same text: mutool's extraction of the colour page.
        const std::string mu = Capture("mutool draw -q -F txt -o - " + path + " 3");
        EXPECT_GE(Accuracy(lang.text, mu, lang.characters), lang.characters ? 0.90 : 0.95) << mu;
    }
}

// Pages the engine can make nothing of, or should not try, still give a valid
// document with every page in it.
TEST(Recognition, BadPagesGiveValidDocuments) {
    std::vector<Page> pages;
    Page blank;
    blank.width = 1200;
    blank.height = 1600;
    blank.stride = blank.width;
    blank.rows.assign(static_cast<size_t>(blank.width) * blank.height, 255);
    pages.push_back(blank);
    Page noise = blank;
    std::mt19937 random(20);
    for (uint8_t& v : noise.rows)
        v = static_cast<uint8_t>(random());
    pages.push_back(noise);
    Page upsideDown = RenderText(kLanguages[1].text, kLanguages[1].font);
    std::reverse(upsideDown.rows.begin(), upsideDown.rows.end());
    pages.push_back(upsideDown);
    Page line; // one pixel high
    line.type = 1;
    line.width = 2000;
    line.height = 1;
    line.stride = 250;
    line.rows.assign(250, 0xF0);
    pages.push_back(line);
    Page huge; // larger than the engine takes: no text, but the page is there
    huge.type = 1;
    huge.width = 40000;
    huge.height = 24000;
    huge.stride = huge.width / 8;
    huge.rows.assign(static_cast<size_t>(huge.stride) * huge.height, 0);
    for (int y = 0; y < huge.height; y += 97)
        memset(&huge.rows[static_cast<size_t>(y) * huge.stride], 0xFF, huge.stride / 3);
    pages.push_back(std::move(huge));
    const std::string path = MakeDocument("bad", 0x3, 0, pages);
    ExpectReadersAccept(path);
    EXPECT_TRUE(std::regex_search(Capture("pdfinfo " + path), std::regex("Pages: +5\n")));
}

// Language data missing at run time: the document is made without text and
// the maker says which language was missing; the same folder with the data
// there gives text.
TEST(Recognition, MissingLanguageDataMakesTheDocumentWithoutTextAndSaysWhich) {
    const std::string folder = Tmp("tessdata");
    Capture("rm -rf " + folder + " && mkdir -p " + folder + " && ln -s " + LanguageFolder() +
            "/eng.traineddata " + folder + "/");
    setenv("VLM_TESSDATA", folder.c_str(), 1);
    char message[200] = "";
    while (vlm_PAFC_getMessage(message, sizeof(message)) > 0) {
    } // nothing left from earlier documents
    const Page page = RenderText("Missing languages are reported", "DejaVu-Sans");

    const std::string without = MakeDocument("missing", 0x3, 0, {page});
    EXPECT_GT(vlm_PAFC_getMessage(message, sizeof(message)), 0);
    EXPECT_STREQ(message, "OCR language data missing: jpn");
    EXPECT_EQ(vlm_PAFC_getMessage(message, sizeof(message)), 0); // said once
    ExpectReadersAccept(without);
    EXPECT_NE(ReadText(without).find("/VlmOcrApplied false"), std::string::npos);
    EXPECT_EQ(Capture("pdftotext " + without + " -").find("Missing"), std::string::npos);

    const std::string with = MakeDocument("present", 0x2, 0, {page});
    EXPECT_EQ(vlm_PAFC_getMessage(message, sizeof(message)), 0);
    EXPECT_NE(Capture("pdftotext " + with + " -").find("Missing languages are reported"),
              std::string::npos);
    unsetenv("VLM_TESSDATA");
}

// The queue holds at most its capacity: a further page waits in Submit until a
// worker takes one; Stop waits for the last page.
TEST(Recognition, QueueIsBoundedAndStopWaitsForTheLastPage) {
    CRecognitionWorkers workers;
    std::mutex lock;
    std::condition_variable cv;
    bool release = false;
    std::vector<int> finished;
    workers.Start(LanguageFolder(), "eng", 1, 2,
                  [&](const PendingPage& p, const OcrImage&, std::vector<OcrWord>&) {
                      std::unique_lock<std::mutex> guard(lock);
                      cv.wait(guard, [&] { return release; });
                      finished.push_back(p.index);
                  });
    std::atomic<int> submitted{0};
    std::thread scanner([&] {
        for (int i = 0; i < 5; ++i) {
            OcrImage image;
            image.width = image.height = image.stride = 16;
            image.pixels.assign(256, 255);
            PendingPage p;
            p.index = i;
            workers.Submit(p, std::move(image));
            ++submitted;
        }
    });
    // One page with the worker, two queued: the fourth waits.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while ((submitted < 3 || workers.Pending() < 3) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    EXPECT_EQ(submitted.load(), 3);
    EXPECT_EQ(workers.Pending(), 3u);
    std::this_thread::sleep_for(std::chrono::milliseconds(300)); // a chance to overfill
    EXPECT_EQ(submitted.load(), 3);
    {
        std::lock_guard<std::mutex> guard(lock);
        release = true;
    }
    cv.notify_all();
    scanner.join();
    EXPECT_EQ(workers.Stop(), "");
    EXPECT_EQ(finished, (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(workers.Pending(), 0u);
}

// The document's size so far is never less than what is on disk, and is the
// file's size once the document is closed.
TEST(Recognition, SizeSoFarCoversTheFileWhileTextIsPending) {
    const Page page = RenderText(kLanguages[1].text, kLanguages[1].font);
    const std::string path = Tmp("size.pdf");
    ASSERT_EQ(PAFC_OK, vlm_PAFC_exmodeset(0, 0x2, 0));
    ASSERT_EQ(PAFC_OK, vlm_PAFC_open(path.c_str()));
    int32_t last = 0;
    for (int i = 0; i < 4; ++i) {
        const PAFC_PAGE r = page.Record();
        ASSERT_EQ(PAFC_OK, vlm_PAFC_make(&r, 0));
        int32_t size = 0;
        ASSERT_EQ(PAFC_OK, vlm_PAFC_getFileSize(&size));
        std::ifstream f(path, std::ios::binary | std::ios::ate);
        EXPECT_GE(size, static_cast<int32_t>(f.tellg()));
        EXPECT_GT(size, last);
        last = size;
    }
    ASSERT_EQ(PAFC_OK, vlm_PAFC_close());
    int32_t size = 0;
    vlm_PAFC_getFileSize(&size);
    std::ifstream f(path, std::ios::binary | std::ios::ate);
    EXPECT_EQ(size, static_cast<int32_t>(f.tellg()));
    EXPECT_EQ(Capture("pdftotext " + path + " - | grep -c 'quick brown fox'"), "4\n");
}

namespace {

uint32_t Be(const std::string& b, size_t at, int bytes) {
    uint32_t v = 0;
    for (int i = 0; i < bytes && at + i < b.size(); ++i)
        v = (v << 8) | static_cast<uint8_t>(b[at + i]);
    return v;
}

// The advance widths of a TrueType program in thousandths of an em.
std::vector<uint32_t> AdvanceWidths(const std::string& font) {
    std::map<std::string, uint32_t> tables;
    for (uint32_t i = 0, n = Be(font, 4, 2); i < n; ++i)
        tables[font.substr(12 + 16 * i, 4)] = Be(font, 12 + 16 * i + 8, 4);
    if (!tables.count("head") || !tables.count("hhea") || !tables.count("hmtx"))
        return {};
    const uint32_t unitsPerEm = Be(font, tables["head"] + 18, 2);
    std::vector<uint32_t> widths;
    for (uint32_t i = 0, n = Be(font, tables["hhea"] + 34, 2); i < n && unitsPerEm; ++i)
        widths.push_back(Be(font, tables["hmtx"] + 4 * i, 2) * 1000 / unitsPerEm);
    return widths;
}

} // namespace

// The text layer in a protected document is encrypted with the rest and read
// with the password; in a PDF/A document its font is embedded with a ToUnicode
// map and with the widths its program has.
TEST(Recognition, ProtectedAndArchiveDocumentsCarryTheText) {
    const Page page = RenderText(kLanguages[1].text, kLanguages[1].font);
    ASSERT_EQ(PAFC_OK, vlm_PAFC_modeset(0, nullptr));
    ASSERT_EQ(PAFC_OK, vlm_PAFC_modeset(1, "Lohn"));
    const std::string prot = MakeDocument("protected", kLanguages[1].flags, 0, {page});
    ASSERT_EQ(PAFC_OK, vlm_PAFC_modeset(0, nullptr));
    const std::string raw = ReadText(prot);
    for (const char* clear : {"(Adobe)", "(Identity)", "CIDInit", "beginbfchar"})
        EXPECT_EQ(raw.find(clear), std::string::npos) << clear;
    int rc = -1;
    std::string out = Capture("qpdf --check --password=Lohn " + prot, &rc);
    EXPECT_EQ(rc, 0) << out;
    out = Capture("pdftotext -upw Lohn " + prot + " -", &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_NE(out.find("quick brown fox"), std::string::npos) << out;
    out = Capture("qpdf --password=Lohn --json " + prot);
    EXPECT_NE(out.find("\"/Ordering\": \"u:Identity\""), std::string::npos) << "font strings";

    ASSERT_EQ(PAFC_OK, vlm_PAFC_modeset(5, "1"));
    const std::string archive = MakeDocument("archive", kLanguages[1].flags, 0, {page});
    ASSERT_EQ(PAFC_OK, vlm_PAFC_modeset(0, nullptr));
    ExpectReadersAccept(archive);
    EXPECT_NE(Capture("pdftotext " + archive + " -").find("quick brown fox"), std::string::npos);
    // pdffonts: name type encoding emb sub uni object ID; one font, embedded, with ToUnicode.
    std::istringstream fonts(Capture("pdffonts " + archive));
    std::vector<std::vector<std::string>> rows;
    for (std::string line; std::getline(fonts, line);) {
        std::istringstream ls(line);
        rows.emplace_back(std::istream_iterator<std::string>(ls),
                          std::istream_iterator<std::string>());
    }
    ASSERT_EQ(rows.size(), 3u);
    ASSERT_GE(rows[2].size(), 7u);
    EXPECT_EQ(rows[2][rows[2].size() - 5], "yes") << "embedded";
    EXPECT_EQ(rows[2][rows[2].size() - 3], "yes") << "ToUnicode";
    // Widths: the font dictionary's default width (no /W array) against the
    // advance of every glyph in the embedded program.
    const std::string doc = ReadText(archive);
    std::smatch dw, file;
    ASSERT_TRUE(std::regex_search(doc, dw, std::regex("/DW (\\d+)")));
    EXPECT_FALSE(std::regex_search(doc, std::regex("/W \\[")));
    ASSERT_TRUE(std::regex_search(doc, file, std::regex("/FontFile2 (\\d+) 0 R")));
    const std::string program =
        Capture("qpdf --show-object=" + file[1].str() + " --filtered-stream-data " + archive);
    const std::vector<uint32_t> widths = AdvanceWidths(program);
    ASSERT_FALSE(widths.empty());
    for (uint32_t w : widths)
        EXPECT_EQ(w, std::stoul(dw[1].str()));
}

// The font's CIDs: one per character in order of first use, controls left
// out, characters beyond the Basic Multilingual Plane mapped back through
// surrogate pairs; a word is placed on its box and scaled to its width.
TEST(TextLayer, CharactersGetCidsAndWordsTheirBoxes) {
    CTextFont font;
    int n = 0;
    EXPECT_EQ(font.ShowString("Aé日\xF0\x9F\x98\x80\x01"
                              "A",
                              &n),
              "<00010002000300040001>");
    EXPECT_EQ(n, 5);
    EXPECT_EQ(font.ShowString("\xFF\xC3", &n), "<>"); // broken UTF-8 shows nothing
    EXPECT_EQ(n, 0);
    const std::string cmap = font.ToUnicode();
    EXPECT_NE(cmap.find("4 beginbfchar\n<0001> <0041>\n<0002> <00E9>\n<0003> <65E5>\n"
                        "<0004> <D83DDE00>\nendbfchar"),
              std::string::npos)
        << cmap;
    // A 300 dpi page 3300 rows high: a word of 4 characters 400 x 60 pixels at
    // (300, 3000) is 14.4 pt high (size 12 pt with the font's 1.2 em line) and
    // 96 pt wide, its baseline 0.3 em above the box's bottom.
    std::vector<OcrWord> words(1);
    words[0].text = "Word";
    words[0].left = 300;
    words[0].right = 700;
    words[0].top = 3000;
    words[0].bottom = 3060;
    EXPECT_EQ(TextContent(words, font, 3300, 300),
              "BT\n3 Tr\n/F0 12.000 Tf 200.000 Tz 1 0 0 1 72.000 61.200 Tm <0005000600070008> "
              "Tj\nET\n");
    words[0].text = "\x01";
    EXPECT_EQ(TextContent(words, font, 3300, 300), ""); // nothing to show
}
