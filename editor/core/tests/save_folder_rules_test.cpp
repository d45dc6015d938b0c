#include <gtest/gtest.h>

#include <string>

#include "editor/core/SaveFolderRules.h"

using namespace plover;

namespace {
SaveSettingValues Values(const std::string& folder, const std::string& name) {
    SaveSettingValues v;
    v.m_strFolder = folder;
    v.m_strFileName = name;
    v.m_bMyPicture = false;
    return v;
}
} // namespace

TEST(SaveFileName, EveryForbiddenLetterIsRefusedAndItsNeighboursPass) {
    for (char c : std::string("\\/:*?<>|\"")) {
        const std::string name = std::string("scan") + c + "x";
        EXPECT_TRUE(HasInvalidFileNameLetter(name)) << name;
        EXPECT_EQ(CheckSaveSettings(Values("C:\\Scans", name)), SaveCheck::InvalidLetters);
    }
    for (const char* ok : {"scan_x", "scan x", "scan.x", "Übersicht-1", "a'b", "(1)", ""})
        EXPECT_FALSE(HasInvalidFileNameLetter(ok)) << ok;
    EXPECT_EQ(CheckSaveSettings(Values("C:\\Scans", "scan?")), SaveCheck::InvalidLetters);
    EXPECT_EQ(CheckSaveSettings(Values("C:\\Scans", "scan_")), SaveCheck::Pass);
}

TEST(SaveFileName, TheMessageListsTheLettersBeforeItsText) {
    EXPECT_STREQ(kInvalidLettersShown, "\\ /  * ? < > : | \"    ");
    EXPECT_STREQ(SaveCheckText(SaveCheck::InvalidLetters),
                 "These letters are invalid for file name.");
}

TEST(SaveFolderLength, FolderAndNameMayTakeTwoHundredThirtyNineCharacters) {
    const std::string folder(230, 'f');
    // 230 + "\" + 8 = 239 and 230 + "\" + 9 = 240.
    EXPECT_FALSE(SavePathTooLong(folder, std::string(8, 'n')));
    EXPECT_TRUE(SavePathTooLong(folder, std::string(9, 'n')));
    EXPECT_EQ(CheckSaveSettings(Values(folder, std::string(8, 'n'))), SaveCheck::Pass);
    EXPECT_EQ(CheckSaveSettings(Values(folder, std::string(9, 'n'))), SaveCheck::TooLong);
    // The empty name still counts its backslash.
    EXPECT_FALSE(SavePathTooLong(std::string(238, 'f'), ""));
    EXPECT_TRUE(SavePathTooLong(std::string(239, 'f'), ""));
    EXPECT_EQ(kMaxFolderAndFileNameChars, 239u);
}

TEST(SaveFolderLength, TheLengthRuleHoldsForThePicturesFolderToo) {
    SaveSettingValues v = Values("", std::string(239, 'n'));
    v.m_bMyPicture = true;
    EXPECT_EQ(CheckSaveSettings(v), SaveCheck::TooLong);
}

TEST(SaveLocation, AFolderIsNeededOnlyWhenSavingOutsideThePicturesFolder) {
    SaveSettingValues v = Values("", "scan");
    EXPECT_EQ(CheckSaveSettings(v), SaveCheck::NoLocation);
    EXPECT_STREQ(SaveCheckText(SaveCheck::NoLocation), "Input Save Location");
    v.m_bMyPicture = true;
    EXPECT_EQ(CheckSaveSettings(v), SaveCheck::Pass);
    v.m_bMyPicture = false;
    v.m_bSave = false;
    EXPECT_EQ(CheckSaveSettings(v), SaveCheck::Pass);
}

TEST(SaveChecks, TheFirstFailingCheckIsTheAnswer) {
    SaveSettingValues v = Values("", std::string(300, '?'));
    v.m_nFileType = kFileTypeJpeg;
    v.m_strDriverText = "DetectPageType=1\r\n";
    EXPECT_EQ(CheckSaveSettings(v), SaveCheck::InvalidLetters);
    v.m_strFileName = std::string(300, 'n');
    EXPECT_EQ(CheckSaveSettings(v), SaveCheck::TooLong);
    v.m_strFileName = "n";
    EXPECT_EQ(CheckSaveSettings(v), SaveCheck::NoLocation);
    v.m_strFolder = "C:\\Scans";
    EXPECT_EQ(CheckSaveSettings(v), SaveCheck::JpegDetect);
    v.m_strDriverText = "SamplesPerPixel=1\r\nBitsPerSample=1\r\n";
    EXPECT_EQ(CheckSaveSettings(v), SaveCheck::JpegBinary);
    // Other file types do not look at the driver text.
    for (long type : {kFileTypeBmp, kFileTypePdf, kFileTypeTiff}) {
        v.m_nFileType = type;
        EXPECT_EQ(CheckSaveSettings(v), SaveCheck::Pass) << type;
    }
}

TEST(DriverText, PageTypeDetectionPrefersTheApplicationsKey) {
    EXPECT_TRUE(DriverDetectsPageType("[CustomDsData]\r\nDetectPageType=1\r\n"));
    EXPECT_FALSE(
        DriverDetectsPageType("[CustomDsData]\r\nDetectPageTypeApp=0\r\nDetectPageType=1\r\n"));
    EXPECT_FALSE(
        DriverDetectsPageType("[CustomDsData]\r\nDetectPageType=1\r\nDetectPageTypeApp=0\r\n"));
    EXPECT_TRUE(
        DriverDetectsPageType("[CustomDsData]\r\nDetectPageTypeApp=2\r\nDetectPageType=0\r\n"));
    EXPECT_FALSE(DriverDetectsPageType("[CustomDsData]\r\nDetectPageType=0\r\n"));
    EXPECT_FALSE(DriverDetectsPageType("[CustomDsData]\r\nScanAhead=1\r\n"));
    EXPECT_FALSE(DriverDetectsPageType(""));
    // The first line of the key counts; a value that is no number is off.
    EXPECT_TRUE(DriverDetectsPageType("DetectPageType=1\r\nDetectPageType=0\r\n"));
    EXPECT_FALSE(DriverDetectsPageType("DetectPageType=yes\r\n"));
    // LF lines and blanks before a key read the same.
    EXPECT_TRUE(DriverDetectsPageType("[CustomDsData]\n  DetectPageType=1\n"));
}

TEST(DriverText, BinaryImagePrefersTheSecondSidesKeysWhenBothArePresent) {
    EXPECT_TRUE(DriverIsBinary("[CustomDsData]\r\nSamplesPerPixel=1\r\nBitsPerSample=1\r\n"));
    EXPECT_FALSE(DriverIsBinary("[CustomDsData]\r\nSamplesPerPixel=1\r\nBitsPerSample=1\r\n"
                                "SamplesPerPixel(1)=3\r\nBitsPerSample(1)=8\r\n"));
    EXPECT_TRUE(DriverIsBinary("SamplesPerPixel=3\r\nBitsPerSample=8\r\n"
                               "SamplesPerPixel(1)=1\r\nBitsPerSample(1)=1\r\n"));
    // One side-1 key alone is not enough: the plain keys decide.
    EXPECT_TRUE(DriverIsBinary("SamplesPerPixel(1)=3\r\nSamplesPerPixel=1\r\nBitsPerSample=1\r\n"));
    EXPECT_FALSE(DriverIsBinary("SamplesPerPixel=1\r\nBitsPerSample=8\r\n"));
    EXPECT_FALSE(DriverIsBinary("SamplesPerPixel=1\r\n"));
    EXPECT_FALSE(DriverIsBinary(""));
    // A longer key that ends in the same letters is another key.
    EXPECT_FALSE(DriverIsBinary("ScanBitsPerSample=1\r\nSamplesPerPixel=1\r\nBitsPerSample=8\r\n"));
    // The editor's default text (the tool's "Default" resource) is binary.
    EXPECT_TRUE(DriverIsBinary(
        "[CustomDsData]\r\nScanAhead=1\r\nSamplesPerPixel=1\r\nBitsPerSample=1\r\n"));
}

TEST(SaveFileTypes, ListOrderAndValues) {
    EXPECT_EQ(SaveFileTypeIndex(2), 0);
    EXPECT_EQ(SaveFileTypeIndex(0), 1);
    EXPECT_EQ(SaveFileTypeIndex(3), 2);
    EXPECT_EQ(SaveFileTypeIndex(1), 3);
    EXPECT_EQ(SaveFileTypeIndex(4), -1);
    EXPECT_EQ(SaveFileTypeIndex(-1), -1);
}

TEST(PicturesFolderName, LastComponentOfAFolderPath) {
    EXPECT_EQ(LastPathComponent("C:\\Users\\me\\Pictures"), "Pictures");
    EXPECT_EQ(LastPathComponent("C:\\Users\\me\\My Pictures\\"), "My Pictures");
    EXPECT_EQ(LastPathComponent("\\\\srv\\home\\Bilder"), "Bilder");
    EXPECT_EQ(LastPathComponent("Bilder"), "Bilder");
    EXPECT_EQ(LastPathComponent("C:\\"), "");
    EXPECT_EQ(LastPathComponent(""), "");
}
