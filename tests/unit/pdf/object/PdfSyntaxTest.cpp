// Names, hex strings, and strings skipped in raw bytes: whole, and fed piece by
// piece as a scan of a file meets them window by window.
#include "pdf/object/PdfSyntax.h"

#include <gtest/gtest.h>

#include "support/CaseName.h"

namespace {

TEST(PdfSyntaxTest, NamesEscapeDelimitersHashAndBytesOutsidePrintableAscii) {
    EXPECT_EQ(PdfNameText("Arial,Bold"), "Arial,Bold");
    EXPECT_EQ(PdfNameText("A#B(C)D<E>F[G]H{I}J/K%L"), "A#23B#28C#29D#3CE#3EF#5BG#5DH#7BI#7DJ#2FK#25L");
    EXPECT_EQ(PdfNameText(std::string("\x7F\xC3\x01 ~!", 6)), "#7F#C3#01#20~!");
}

TEST(PdfSyntaxTest, HexStrings) {
    EXPECT_EQ(EncodeHexString(std::string("\x00\xff\x0a", 3)), "<00ff0a>");
    EXPECT_EQ(DecodeHexString("48 65\n6C6c6"), "Hell`");
    EXPECT_EQ(DecodeHexString("zz"), "");
    size_t at = 1;
    EXPECT_EQ(DecodeHexString("<4 1>/N", at), "A");
    EXPECT_EQ(at, 5u);
}

struct SkipCase {
    std::string name;
    std::string text;  // after the "(" or "<" that opens the string
    bool literal;
    size_t end;  // where the string ends
};

class StringSkipTest : public ::testing::TestWithParam<SkipCase> {};

TEST_P(StringSkipTest, EndsWhereTheStringEndsInOnePieceOrTwo) {
    const SkipCase& c = GetParam();
    const auto* data = reinterpret_cast<const uint8_t*>(c.text.data());
    const uint8_t* const end = data + c.text.size();
    EXPECT_EQ((c.literal ? SkipLiteralString(data, end) : SkipHexString(data, end)) - data, c.end);
    for (size_t split = 0; split <= c.text.size(); ++split) {
        CPdfStringSkip skip;
        c.literal ? skip.BeginLiteral() : skip.BeginHex();
        const uint8_t* p = skip.Skip(data, data + split);
        if (skip.InString()) p = skip.Skip(p, end);
        EXPECT_EQ(p - data, c.end) << "split at " << split;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, StringSkipTest,
                         ::testing::Values(SkipCase{"Nested", "a(b(c))d) x", true, 9},
                                           SkipCase{"EscapedParentheses", "\\)\\(a\\\\) x", true, 8},
                                           SkipCase{"Unclosed", "a(b) c", true, 6},
                                           SkipCase{"BackslashAtTheEnd", "ab\\", true, 3},
                                           SkipCase{"LongRunsBetweenStops", std::string(40, 'x') + ")" + "y", true, 41},
                                           SkipCase{"Hex", "41 42>>", false, 6},
                                           SkipCase{"HexUnclosed", "41 42", false, 5}),
                         CaseName<SkipCase>);

// The first byte of a set, in spans short and long (sixteen bytes at a time).
TEST(FindAnyOfTest, FindsTheFirstByteOfTheSet) {
    constexpr ByteSet kSet("(%<jm");
    const std::string filler(100, 'a');
    const std::vector<std::pair<std::string, size_t>> cases = {
        {"", 0},
        {"abc", 3},
        {"ab(c", 2},
        {"%", 0},
        {filler + "j", 100},
        {filler, 100},
        {filler + "m<", 100},
        {"xyz" + filler + "<", 103},
    };
    for (const auto& [text, expected] : cases) {
        const auto* begin = reinterpret_cast<const uint8_t*>(text.data());
        EXPECT_EQ(static_cast<size_t>(FindAnyOf(begin, begin + text.size(), kSet) - begin), expected) << text;
    }
}

// Every wanted byte of a block, as bits, for whole blocks and their rest alike.
TEST(FindAnyOfTest, MembersOfABlock) {
    const auto* bytes = reinterpret_cast<const uint8_t*>("(ab%cdjmm xyzjm(endobj");
    EXPECT_EQ((MembersOf<'j', 'm', '(', '%'>(bytes, 16)), 0b1110'0001'1100'1001u);
    EXPECT_EQ((MembersOf<'j', 'm', '(', '%'>(bytes, 7)), 0b100'1001u);
    EXPECT_EQ((MembersOf<'j', 'm', '(', '%'>(bytes + 16, 6)), 0b10'0000u);
    EXPECT_EQ((MembersOf<'z'>(bytes, 0)), 0u);
}

}  // namespace
