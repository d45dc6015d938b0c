#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "runner/core/SaveRules.h"

using namespace kestrel;

TEST(SaveDestination, OneBackslashBeforeTheFileNameWhateverTheFolderEndsWith) {
    EXPECT_EQ(DestinationPath("C:\\Scans", "C:\\Temp\\job\\a.tif"), "C:\\Scans\\a.tif");
    EXPECT_EQ(DestinationPath("C:\\Scans\\\\", "C:\\Temp\\job\\a.tif"), "C:\\Scans\\a.tif");
    EXPECT_EQ(DestinationPath("\\\\srv\\share\\in\\", "x\\b.pdf"), "\\\\srv\\share\\in\\b.pdf");
    EXPECT_EQ(DestinationPath("C:\\", "C:\\t\\c.jpg"), "C:\\c.jpg");
    // A bare name is its own name.
    EXPECT_EQ(DestinationPath("D:\\out", "d.bmp"), "D:\\out\\d.bmp");
    EXPECT_EQ(TrimTrailingBackslashes("\\\\"), "");
    EXPECT_TRUE(BeginsWithUncPrefix("\\\\srv"));
    EXPECT_FALSE(BeginsWithUncPrefix("\\srv"));
    EXPECT_FALSE(BeginsWithUncPrefix("C:\\"));
}

TEST(SaveDestination, TemporaryNamesAreKnownAgainAndNothingElseIs) {
    EXPECT_EQ(SaveTempName(0x12A3B), "vlm2A3B.tmp");
    EXPECT_TRUE(IsSaveTempPath("\\\\srv\\in\\" + SaveTempName(7)));
    EXPECT_TRUE(IsSaveTempPath("C:\\out\\VLM00ff.TMP"));
    for (const char* other : {"C:\\out\\vlm00fg.tmp", "C:\\out\\vlm0001.tmp.pdf",
                              "C:\\out\\report.tmp", "C:\\vlm0001.tmp\\a.pdf", ""})
        EXPECT_FALSE(IsSaveTempPath(other)) << other;
}

TEST(SaveDestination, RootsOfDrivesAndShares) {
    EXPECT_EQ(PathRoot("C:\\Scans\\x"), "C:");
    EXPECT_EQ(PathRoot("d:"), "d:");
    EXPECT_EQ(PathRoot("\\\\srv\\share\\a\\b"), "\\\\srv\\share");
    EXPECT_EQ(PathRoot("\\\\srv\\share"), "\\\\srv\\share");
    EXPECT_EQ(PathRoot("\\\\srv"), "\\\\srv");
    EXPECT_EQ(PathRoot("relative\\x"), "");
    EXPECT_EQ(PathRoot("1:\\x"), "");
}

TEST(WatchedFolder, SameRootAndTheWatchedTextInTheSaveFolder) {
    EXPECT_TRUE(LiesUnderWatchedFolder("C:\\Data\\Scans\\In", false, "C:\\Data\\Scans", false));
    EXPECT_TRUE(LiesUnderWatchedFolder("C:\\Data\\Scans", false, "C:\\Data\\Scans", false));
    EXPECT_TRUE(LiesUnderWatchedFolder("C:\\Data\\Scans", false, "C:\\Data\\Scans\\", false));
    EXPECT_TRUE(LiesUnderWatchedFolder("C:\\Data\\Scans\\", false, "C:\\", false));
    // Paths on Windows compare without case.
    EXPECT_TRUE(LiesUnderWatchedFolder("c:\\DATA\\scans\\in", false, "C:\\Data\\Scans", false));
    // Another drive never matches, even with the same folder names.
    EXPECT_FALSE(LiesUnderWatchedFolder("D:\\Data\\Scans", false, "C:\\Data\\Scans", false));
    EXPECT_FALSE(LiesUnderWatchedFolder("C:\\Data", false, "C:\\Data\\Scans", false));
    // A sibling whose name only begins with the watched folder's name.
    EXPECT_FALSE(LiesUnderWatchedFolder("C:\\Data\\Scans2", false, "C:\\Data\\Scans", false));
    EXPECT_FALSE(LiesUnderWatchedFolder("C:\\Data\\Scans", false, "", false));
}

TEST(WatchedFolder, NetworkPathsSkipTheRootTestButNotTheText) {
    EXPECT_TRUE(LiesUnderWatchedFolder("\\\\srv\\share\\in", true, "\\\\srv\\share", true));
    EXPECT_FALSE(LiesUnderWatchedFolder("\\\\srv\\share\\in", true, "\\\\srv\\other", true));
    // A mapped drive counts as a network path: the root test is skipped, the
    // text decides.
    EXPECT_TRUE(LiesUnderWatchedFolder("Z:\\in\\x", true, "Z:\\in", true));
    EXPECT_FALSE(LiesUnderWatchedFolder("Z:\\in\\x", true, "\\\\srv\\share\\in", true));
    // One network, one local: the roots differ.
    EXPECT_FALSE(LiesUnderWatchedFolder("\\\\srv\\share\\in", true, "C:\\in", false));
    EXPECT_TRUE(LiesUnderWatchedFolder("\\\\srv\\share\\in", true, "\\\\SRV\\Share", false));
}

namespace {
struct Entry {
    bool m_bOn;
    uint64_t m_ullLimit;
    uint64_t m_ullCurrent;
};
} // namespace

TEST(FolderLimit, FirstEntryOnInIndexOrderThatReachesItsLimit) {
    Entry e[5] = {{false, 10, 100}, {true, 100, 40}, {true, 50, 49}, {true, 10, 0}, {false, 0, 0}};
    EXPECT_EQ(FirstEntryOverLimit(e, 0), -1);
    EXPECT_EQ(FirstEntryOverLimit(e, 1), 2);  // 49 + 1 reaches 50
    EXPECT_EQ(FirstEntryOverLimit(e, 10), 2); // 2 and 3 both reach theirs: the lower wins
    EXPECT_EQ(FirstEntryOverLimit(e, 60), 1);
    e[2].m_bOn = false;
    EXPECT_EQ(FirstEntryOverLimit(e, 9), -1);
    EXPECT_EQ(FirstEntryOverLimit(e, 10), 3);
    // Sizes near the top of the 64-bit range do not wrap round to "under".
    Entry big[1] = {
        {true, std::numeric_limits<uint64_t>::max(), std::numeric_limits<uint64_t>::max() - 1}};
    EXPECT_EQ(FirstEntryOverLimit(big, 0), -1);
    EXPECT_EQ(FirstEntryOverLimit(big, 5), 0);
    EXPECT_EQ(AddSaturated(3, 4), 7u);
}

TEST(SystemErrorText, LanguagesInOrderWithoutRepeats) {
    // German (Austria) 0x0C07: itself, German (Germany) 0x0407, 1033, neutral.
    EXPECT_EQ(ErrorTextLanguages(0x0C07), (std::vector<uint16_t>{0x0C07, 0x0407, 1033, 0}));
    EXPECT_EQ(ErrorTextLanguages(1033), (std::vector<uint16_t>{1033, 0}));
    EXPECT_EQ(ErrorTextLanguages(0x0411), (std::vector<uint16_t>{0x0411, 1033, 0}));
}

TEST(SystemErrorText, FirstLanguageWithATextElseTheNumber) {
    std::vector<uint16_t> asked;
    auto lookup = [&](uint16_t lang, std::string& text) {
        asked.push_back(lang);
        if (lang == 1033) {
            text = "The system cannot find the path specified.";
            return true;
        }
        return false;
    };
    EXPECT_EQ(FirstErrorText(3, {0x0C07, 0x0407, 1033, 0}, lookup),
              "The system cannot find the path specified.");
    EXPECT_EQ(asked, (std::vector<uint16_t>{0x0C07, 0x0407, 1033}));
    EXPECT_EQ(FirstErrorText(0x80070002, {1033}, [](uint16_t, std::string&) { return false; }),
              "error -2147024894");
    EXPECT_EQ(FirstErrorText(1222, {}, nullptr), "error 1222");
}
