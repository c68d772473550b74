#include "pdf/object/CPdfString.h"

#include <gtest/gtest.h>

#include <string>

#include "support/CaseName.h"

namespace {

struct HexCase {
    const char* name;
    std::string data;
    bool isLiteral;
    std::string written;
};

class CPdfStringWriteHexTest : public ::testing::TestWithParam<HexCase> {};

TEST_P(CPdfStringWriteHexTest, WritesAndKeepsTheString) {
    const HexCase& c = GetParam();
    const CPdfString string(c.data, c.isLiteral);
    EXPECT_EQ(string.writeHex(), c.written);
    // Writing leaves the string as it was.
    EXPECT_EQ(string.data(), c.data);
    EXPECT_EQ(string.isLiteral(), c.isLiteral);
    EXPECT_EQ(string.length(), c.data.size());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CPdfStringWriteHexTest,
    ::testing::Values(HexCase{"literal", "abc", true, "<616263>"}, HexCase{"literalEmpty", "", true, "<>"},
                      HexCase{"literalLowerCaseDigits", std::string("\x00\xff\x0a\xab", 4), true, "<00ff0aab>"},
                      HexCase{"literalParentheses", "(x)\\", true, "<2878295c>"},
                      // A hex string stands as it was read: spaces, odd counts, any bytes.
                      HexCase{"hexWithSpace", "48 65", false, "<48 65>"}, HexCase{"hexOddDigits", "4", false, "<4>"},
                      HexCase{"hexUpperCase", "4A4b", false, "<4A4b>"},
                      HexCase{"hexNotDigits", "zz\r\n", false, "<zz\r\n>"}, HexCase{"hexEmpty", "", false, "<>"}),
    CaseName<HexCase>);

TEST(CPdfStringTest, LiteralOfAbcIsEightBytesWritten) {
    const CPdfString abc("abc");
    EXPECT_TRUE(abc.isLiteral());
    EXPECT_EQ(abc.writeHex().size(), 8u);
}

TEST(CPdfStringTest, CopyKeepsBytesAndForm) {
    const CPdfString hex("48 65", false);
    const CPdfString copy = hex;
    EXPECT_FALSE(copy.isLiteral());
    EXPECT_EQ(copy, hex);
    EXPECT_NE(copy, CPdfString("48 65", true));
}

TEST(CPdfStringTest, BytesMayHoldZeros) {
    const CPdfString zeros(std::string(3, '\0'));
    EXPECT_EQ(zeros.length(), 3u);
    EXPECT_EQ(zeros.writeHex(), "<000000>");
}

}  // namespace
