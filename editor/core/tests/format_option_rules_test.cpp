#include <gtest/gtest.h>

#include <set>
#include <string>

#include "editor/core/FormatOptionRules.h"

using namespace plover;

TEST(JpegPresets, StoredQualityChecksItsPresetAndOtherValuesTheUserButton) {
    EXPECT_EQ(JpegPresetFor(90), 0);
    EXPECT_EQ(JpegPresetFor(75), 1);
    EXPECT_EQ(JpegPresetFor(10), 2);
    for (long q : {0L, 11L, 74L, 76L, 80L, 89L, 91L, 100L, -5L, 400L})
        EXPECT_EQ(JpegPresetFor(q), kJpegUserPreset) << q;
    for (int preset = 0; preset < 3; ++preset)
        EXPECT_EQ(JpegPresetFor(JpegPresetQuality(preset)), preset);
    EXPECT_EQ(JpegPresetQuality(kJpegUserPreset), -1);
}

TEST(JpegPresets, TheSliderHoldsZeroToHundred) {
    EXPECT_EQ(JpegQualityOnSlider(-1), 0);
    EXPECT_EQ(JpegQualityOnSlider(0), 0);
    EXPECT_EQ(JpegQualityOnSlider(57), 57);
    EXPECT_EQ(JpegQualityOnSlider(100), 100);
    EXPECT_EQ(JpegQualityOnSlider(101), 100);
}

TEST(OcrLanguages, ListOrderIdsAndUnknownIds) {
    EXPECT_EQ(kOcrLanguageCount, 10);
    EXPECT_STREQ(kOcrLanguages[0].m_pszName, "Japanese and English");
    EXPECT_EQ(OcrLanguageIndex(2), 0);
    EXPECT_EQ(OcrLanguageIndex(0), 1);
    EXPECT_EQ(OcrLanguageIndex(1), 2);
    EXPECT_EQ(OcrLanguageIndex(9), 9);
    EXPECT_STREQ(kOcrLanguages[OcrLanguageIndex(5)].m_pszName, "German");
    EXPECT_EQ(OcrLanguageIndex(10), -1);
    EXPECT_EQ(OcrLanguageIndex(-1), -1);
    std::set<long> ids;
    for (const auto& e : kOcrLanguages)
        ids.insert(e.m_nId);
    EXPECT_EQ(ids.size(), 10u);
}

TEST(PdfCompression, TheFormWithoutMultiPageOffersTwoChoices) {
    EXPECT_EQ(PdfCompRateChoice(0, false), 0);
    EXPECT_EQ(PdfCompRateChoice(1, false), 1);
    EXPECT_EQ(PdfCompRateChoice(2, false), 1);
    EXPECT_EQ(PdfCompRateChoice(-3, false), 1);
    EXPECT_EQ(PdfCompRateChoice(0, true), 0);
    EXPECT_EQ(PdfCompRateChoice(2, true), 2);
    EXPECT_EQ(PdfCompRateChoice(3, true), -1);
    EXPECT_EQ(AsFlag(0), 0);
    EXPECT_EQ(AsFlag(7), 1);
    EXPECT_EQ(AsFlag(-1), 1);
}

TEST(PdfPassword, LengthAndCharactersTheHandlerCanCarry) {
    EXPECT_EQ(CheckPdfPassword(u""), PdfPasswordCheck::Ok);
    EXPECT_EQ(CheckPdfPassword(std::u16string(32, u'x')), PdfPasswordCheck::Ok);
    EXPECT_EQ(CheckPdfPassword(std::u16string(33, u'x')), PdfPasswordCheck::TooLong);
    EXPECT_EQ(CheckPdfPassword(u"Gr\u00fc\u00dfe ~!\u20ac"), PdfPasswordCheck::Ok);
    EXPECT_EQ(CheckPdfPassword(u"tab\there"), PdfPasswordCheck::BadCharacter);
    EXPECT_EQ(CheckPdfPassword(u"del\x7f"), PdfPasswordCheck::BadCharacter);
    EXPECT_EQ(CheckPdfPassword(u"c1\x85"), PdfPasswordCheck::BadCharacter);
}
