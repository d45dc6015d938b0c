#include <gtest/gtest.h>
#include "editor/core/PanelTitle.h"

using plover::PanelTitleFits;
using plover::PanelTitleRule;
using plover::PanelTitleRuleFor;

namespace {
// Shift-JIS: lead bytes 0x81..0x9F and 0xE0..0xFC, trail bytes 0x40..0xFC but 0x7F.
bool ShiftJisPair(unsigned char lead, unsigned char trail) {
    const bool bLead = (lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC);
    return bLead && trail >= 0x40 && trail <= 0xFC && trail != 0x7F;
}
const std::string kKatakana = "\xB1\xB2\xB3"; // half-width "a i u" in Shift-JIS
} // namespace

TEST(PanelTitle, TheFamilyShowsSingleBytesOnlyAndKatakanaOnJapaneseSystems) {
    for (const char* model : {"VX-410", "VX-420", "VX-430"}) {
        EXPECT_EQ(PanelTitleRuleFor(model, false), PanelTitleRule::kAscii) << model;
        EXPECT_EQ(PanelTitleRuleFor(model, true), PanelTitleRule::kAsciiAndKatakana) << model;
    }
    EXPECT_EQ(PanelTitleRuleFor("VX-4100", false), PanelTitleRule::kNoDoubleByte);
    EXPECT_EQ(PanelTitleRuleFor("vx-410", true), PanelTitleRule::kNoDoubleByte);
    EXPECT_EQ(PanelTitleRuleFor("", false), PanelTitleRule::kNoDoubleByte);
}

TEST(PanelTitle, AsciiRuleTakesPrintableBytesOnly) {
    EXPECT_TRUE(PanelTitleFits("", PanelTitleRule::kAscii, ShiftJisPair));
    EXPECT_TRUE(PanelTitleFits(" Invoices ~2026", PanelTitleRule::kAscii, ShiftJisPair));
    EXPECT_FALSE(PanelTitleFits("a\tb", PanelTitleRule::kAscii, ShiftJisPair));
    EXPECT_FALSE(PanelTitleFits(std::string("a\0b", 3), PanelTitleRule::kAscii, ShiftJisPair));
    EXPECT_FALSE(PanelTitleFits("del\x7F", PanelTitleRule::kAscii, ShiftJisPair));
    EXPECT_FALSE(PanelTitleFits(kKatakana, PanelTitleRule::kAscii, ShiftJisPair));
    EXPECT_FALSE(PanelTitleFits("caf\xE9", PanelTitleRule::kAscii, ShiftJisPair));
}

TEST(PanelTitle, JapaneseRuleAddsTheHalfWidthKatakanaRange) {
    const PanelTitleRule r = PanelTitleRule::kAsciiAndKatakana;
    EXPECT_TRUE(PanelTitleFits(kKatakana + " 12", r, ShiftJisPair));
    EXPECT_TRUE(PanelTitleFits("\xA0\xDF", r, ShiftJisPair)); // both ends of the range
    EXPECT_FALSE(PanelTitleFits("\x9F", r, ShiftJisPair));
    EXPECT_FALSE(PanelTitleFits("\xE0", r, ShiftJisPair));
    EXPECT_FALSE(PanelTitleFits("\x82\xA0", r, ShiftJisPair)); // hiragana "a", double-byte
    EXPECT_FALSE(PanelTitleFits("x\ty", r, ShiftJisPair));
    EXPECT_FALSE(PanelTitleFits("\x1F", r, ShiftJisPair));
}

TEST(PanelTitle, OtherModelsRefuseDoubleByteCharactersOnly) {
    const PanelTitleRule r = PanelTitleRule::kNoDoubleByte;
    EXPECT_TRUE(PanelTitleFits("a\tb\x7F", r, ShiftJisPair));
    EXPECT_TRUE(PanelTitleFits(kKatakana, r, ShiftJisPair));
    EXPECT_FALSE(PanelTitleFits("Job \x82\xA0", r, ShiftJisPair));
    EXPECT_FALSE(PanelTitleFits("\x93\xFA\x96\x7B", r, ShiftJisPair));
    // A lead byte without a legal trail, or at the end, is no character.
    EXPECT_TRUE(PanelTitleFits("\x82\x7F", r, ShiftJisPair));
    EXPECT_TRUE(PanelTitleFits("abc\x82", r, ShiftJisPair));
    // A code page without double-byte characters passes everything.
    EXPECT_TRUE(PanelTitleFits("\x82\xA0", r, [](unsigned char, unsigned char) { return false; }));
}
