#include "fonts/TextLayout.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fonts/BidiRuns.h"
#include "fonts/CharacterClasses.h"
#include "fonts/FontFinder.h"
#include "support/CaseName.h"
#include "support/TestFiles.h"

namespace {

// The runs as "start+length" with "<" for right to left, in the order seen.
std::string Runs(std::u32string_view text) {
    std::string out;
    for (const BidiRun& run : BidiRunsInVisualOrder(text)) {
        out += (out.empty() ? "" : " ") + std::to_string(run.start) + "+" + std::to_string(run.length);
        if (run.rightToLeft) out += "<";
    }
    return out;
}

TEST(BidiRunsTest, FriBidiOrdersTheRuns) {
    EXPECT_EQ(Runs(U""), "");
    EXPECT_EQ(Runs(U"Page 1 / 3"), "0+10");
    EXPECT_EQ(Runs(U"abc \u05D0\u05D1\u05D2 def"), "0+4 4+3< 7+4");
    // A right-to-left paragraph: the numbers run left to right inside it.
    EXPECT_EQ(Runs(U"\u05E2\u05DE\u05D5\u05D3 1 \u05DE\u05EA\u05D5\u05DA 3"), "12+1 6+6< 5+1 0+5<");
    // A mark of direction is resolved like a letter: the space and it run
    // right to left, the number after them left to right.
    EXPECT_EQ(Runs(U"Seite\u200F 1"), "0+5 7+1 5+2<");
}

struct LayoutCase {
    const char* name;
    std::string font;
    std::u32string text;
    std::u32string drawn;  // the glyphs' texts in the order drawn
    size_t spans;          // the spans that carry an /ActualText
    bool leftwards;        // the line is drawn from right to left
};

class TextLayoutTest : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(TextLayoutTest, DrawsInReadingOrder) {
    const LayoutCase& c = GetParam();
    if (!FileExists(c.font)) GTEST_SKIP() << c.font << " is not installed";
    CTextLayout layout("");
    layout.AddFontFile(c.font, 0);
    const ShapedLine line = layout.Lay(c.text);
    std::u32string drawn;
    size_t spans = 0;
    for (const PlacedGlyph& glyph : line.glyphs) {
        drawn += glyph.shaped->text;
        if (glyph.shaped->spanGlyphs > 0) ++spans;
    }
    EXPECT_EQ(drawn, c.drawn);
    EXPECT_EQ(spans, c.spans);
    ASSERT_GE(line.glyphs.size(), 2u);
    EXPECT_EQ(line.glyphs.back().x < line.glyphs.front().x, c.leftwards);
}

const std::string kFonts = "/usr/share/fonts/truetype/";

INSTANTIATE_TEST_SUITE_P(
    Scripts, TextLayoutTest,
    ::testing::Values(
        // The vowel drawn before its consonant keeps its place; the two
        // characters are dealt out as drawn, in a span.
        LayoutCase{"DevanagariMatra", kFonts + "noto/NotoSansDevanagari-Regular.ttf", U"कि कु", U"कि कु", 1, false},
        // Right to left in reading order; a letter and its mark as seen, in a span.
        LayoutCase{"HebrewPoints", kFonts + "dejavu/DejaVuSans.ttf", U"עַמּ 12", U"עַמּ 12", 2, true},
        LayoutCase{"Hebrew", kFonts + "dejavu/DejaVuSans.ttf", U"עמוד 12", U"עמוד 12", 0, true},
        // The joiner stays with the letter before it; a mark of direction has no text.
        LayoutCase{"PersianJoiner", kFonts + "noto/NotoNaskhArabic-Regular.ttf", U"ه\u200Cی", U"ه\u200Cی", 0, true},
        LayoutCase{"MarkOfDirection", kFonts + "dejavu/DejaVuSans.ttf", U"ab\u200Ecd", U"abcd", 0, false}),
    CaseName<LayoutCase>);

TEST(TextLayoutFontsTest, FindsTheFontsForEachCharacter) {
    const std::string thai = kFonts + "noto/NotoSansThai-Regular.ttf";
    if (!FileExists(thai)) GTEST_SKIP() << thai << " is not installed";
    CTextLayout layout("th");
    layout.AddFontFile(thai, 0);
    EXPECT_EQ(layout.FirstMissing(U"หน้า 12 /"), U'1');
    layout.CoverCharacters(U"หน้า 12 /", "Arial");
    EXPECT_EQ(layout.FirstMissing(U"หน้า 12 /"), std::nullopt);
    ASSERT_GE(layout.fontCount(), 2u);
    const ShapedLine line = layout.Lay(U"หน้า 12");
    EXPECT_EQ(line.glyphs.front().font, 0u);
    EXPECT_NE(line.glyphs.back().font, 0u);
    EXPECT_EQ(layout.FirstMissing(U"\U0010FFFD"), U'\U0010FFFD');
}

TEST(CharacterClassesTest, ControlsIgnorablesAndMarks) {
    for (const char32_t c : {0x09, 0x0A, 0x7F, 0x85}) EXPECT_TRUE(IsControlCharacter(c)) << static_cast<uint32_t>(c);
    for (const char32_t c : {0x20, 0x41, 0xA0}) EXPECT_FALSE(IsControlCharacter(c)) << static_cast<uint32_t>(c);
    for (const char32_t c : {0xAD, 0x200C, 0x200F, 0x2066, 0xFE0F, 0xFEFF, 0xE0001})
        EXPECT_TRUE(IsDefaultIgnorable(c)) << static_cast<uint32_t>(c);
    for (const char32_t c : {0xAC, 0x200A, 0x2010, 0xFE10, 0x10FFFD})
        EXPECT_FALSE(IsDefaultIgnorable(c)) << static_cast<uint32_t>(c);
    for (const char32_t c : {0x0301, 0x093F, 0x05B7, 0x200D})
        EXPECT_TRUE(ContinuesCluster(c)) << static_cast<uint32_t>(c);
    for (const char32_t c : {0x61, 0x0915, 0x05D0}) EXPECT_FALSE(ContinuesCluster(c)) << static_cast<uint32_t>(c);
}

TEST(GuessLanguageTest, KanaAndHangulTell) {
    EXPECT_EQ(GuessLanguage(U"\u76F4 \u30DA\u30FC\u30B8"), "ja");
    EXPECT_EQ(GuessLanguage(U"\uD398\uC774\uC9C0"), "ko");
    EXPECT_EQ(GuessLanguage(U"\u7B2C 1 \u9875"), "");
    EXPECT_EQ(GuessLanguage(U"Page"), "");
}

TEST(FontFinderTest, ColourBitmapFontsAreNeverOffered) {
    const std::string emoji = kFonts + "noto/NotoColorEmoji.ttf";
    if (!FileExists(emoji)) GTEST_SKIP() << emoji << " is not installed";
    for (const FontLocation& font : FindFontsFor(U"\U0001F4C4", "Arial", "")) EXPECT_NE(font.path, emoji);
}

}  // namespace
