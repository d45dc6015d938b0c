// The catalogue format: sections, escapes, locale fallback, damaged lines.
#include <gtest/gtest.h>
#include "components/localize/Catalogue.h"

using vlm::CCatalogue;

TEST(Catalogue, SectionsAndLookup) {
    CCatalogue c;
    auto stats = c.AddText("; header\n[0407]\nPlease wait. = Bitte warten.\r\n"
                           "Scanning... =Scannen...\n[040C]\nPlease wait. = Patientez.\n");
    EXPECT_EQ(stats.m_nEntries, 3);
    EXPECT_EQ(stats.m_nSkipped, 0);
    ASSERT_NE(c.Find(0x0407, "Please wait."), nullptr);
    EXPECT_EQ(*c.Find(0x0407, "Please wait."), "Bitte warten.");
    EXPECT_EQ(*c.Find(0x040C, "Please wait."), "Patientez.");
    EXPECT_EQ(*c.Find(0x0407, "Scanning..."), "Scannen...");
    EXPECT_EQ(c.Find(0x0409, "Please wait."), nullptr);
    EXPECT_EQ(c.Find(0x0407, "Unknown text"), nullptr);
    // Swiss German falls back to the German section.
    EXPECT_EQ(*c.Find(0x0807, "Please wait."), "Bitte warten.");
}

TEST(Catalogue, EscapesAndBlanks) {
    CCatalogue c;
    c.AddText("\xEF\xBB\xBF[0407]\n"
              "a\\=b = c\\=d\n"
              "Line one\\nLine two = Zeile eins\\nZeile zwei\n"
              "\\sJob Number  : %d\\n = \\sAuftragsnummer : %d\\n\n"
              "Tab\\there = Tab\\tda\n"
              "back\\\\slash = R\\\\S\n"
              "odd\\q = bleibt\\q\n");
    EXPECT_EQ(*c.Find(0x0407, "a=b"), "c=d");
    EXPECT_EQ(*c.Find(0x0407, "Line one\nLine two"), "Zeile eins\nZeile zwei");
    EXPECT_EQ(*c.Find(0x0407, " Job Number  : %d\n"), " Auftragsnummer : %d\n");
    EXPECT_EQ(*c.Find(0x0407, "Tab\there"), "Tab\tda");
    EXPECT_EQ(*c.Find(0x0407, "back\\slash"), "R\\S");
    EXPECT_EQ(*c.Find(0x0407, "odd\\q"), "bleibt\\q");
}

TEST(Catalogue, DamagedLinesAreSkipped) {
    CCatalogue c;
    auto stats = c.AddText("orphan = before any section\n[0407]\nno separator\n = empty key\n"
                           "[xyz]\nin bad section = x\n[12345]\nalso = bad\n[0407]\nok = gut\n\\");
    EXPECT_EQ(stats.m_nEntries, 1);
    EXPECT_EQ(stats.m_nSkipped, 8);
    EXPECT_EQ(*c.Find(0x0407, "ok"), "gut");
    EXPECT_EQ(c.Find(0x0407, "in bad section"), nullptr);
}

TEST(Catalogue, LaterFilesWinAndClear) {
    CCatalogue c;
    EXPECT_EQ(c.AddText("[0407]\nOK = Gut\n").m_nReplaced, 0);
    EXPECT_EQ(c.AddText("[0407]\nOK = In Ordnung\n").m_nReplaced, 1);
    EXPECT_EQ(*c.Find(0x0407, "OK"), "In Ordnung");
    EXPECT_EQ(c.SectionCount(), 1u);
    c.Clear();
    EXPECT_EQ(c.Find(0x0407, "OK"), nullptr);
}
