#include "stamp/PageNumberText.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <ostream>
#include <string>

#include "support/CaseName.h"

namespace {

constexpr int32_t kMinInt = std::numeric_limits<int32_t>::min();
constexpr int32_t kMaxInt = std::numeric_limits<int32_t>::max();

// One composition: the options that differ from the defaults, the stamp
// number and page count, and the expected text.
struct TextCase {
    const char* name;
    int32_t stampNumber;
    int32_t pageCount;
    std::string expected;
    int32_t mask = 0;
    bool one = false;
    bool nopg = false;
    bool romLower = false;
    bool romUpper = false;
    std::optional<std::string> prefix = std::nullopt;
    std::optional<std::string> sep = std::nullopt;
    std::optional<std::string> end = std::nullopt;
};

TextStampOptions OptionsFor(const TextCase& c) {
    TextStampOptions options;
    options.maskDigits = c.mask;
    options.oneNumber = c.one;
    options.noPageNumber = c.nopg;
    options.romanLower = c.romLower;
    options.romanUpper = c.romUpper;
    if (c.prefix) {
        options.prefixText = *c.prefix;
    }
    if (c.sep) {
        options.separatorText = *c.sep;
    }
    if (c.end) {
        options.endText = *c.end;
    }
    return options;
}

// Failure messages show the case by name rather than as raw bytes.
void PrintTo(const TextCase& c, std::ostream* os) {
    *os << c.name << " (" << c.stampNumber << ", " << c.pageCount << ")";
}

class PageNumberTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(PageNumberTextTest, Composes) {
    const TextCase& c = GetParam();
    EXPECT_EQ(ComposePageNumberText(OptionsFor(c), c.stampNumber, c.pageCount), c.expected);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Decimal, PageNumberTextTest,
    ::testing::Values(
        TextCase{.name = "Defaults", .stampNumber = 7, .pageCount = 12, .expected = "Page 7 / 12"},
        TextCase{.name = "Mask3", .stampNumber = 7, .pageCount = 12, .expected = "Page 007 / 012", .mask = 3},
        TextCase{.name = "Mask2WiderNumbers", .stampNumber = 123, .pageCount = 200,
                 .expected = "Page 123 / 200", .mask = 2},
        TextCase{.name = "Mask5", .stampNumber = 1, .pageCount = 12, .expected = "Page 00001 / 00012", .mask = 5},
        TextCase{.name = "MaskZero", .stampNumber = 7, .pageCount = 12, .expected = "Page 7 / 12", .mask = 0},
        TextCase{.name = "MaskNegative", .stampNumber = 7, .pageCount = 12, .expected = "Page 7 / 12", .mask = -5},
        TextCase{.name = "ZeroMask2", .stampNumber = 0, .pageCount = 12, .expected = "Page 000 / 12", .mask = 2},
        TextCase{.name = "NegativeMask3", .stampNumber = -3, .pageCount = 12, .expected = "Page 00-3 / 012",
                 .mask = 3},
        TextCase{.name = "NegativeNoMask", .stampNumber = -3, .pageCount = 12, .expected = "Page -3 / 12"},
        TextCase{.name = "OwnTexts", .stampNumber = 7, .pageCount = 12, .expected = "7 of 12 Pages",
                 .prefix = "", .sep = " of ", .end = " Pages"}),
    CaseName<TextCase>);
// clang-format on

// Mask widths beyond the 32-bit powers of ten are filled exactly.
// clang-format off
INSTANTIATE_TEST_SUITE_P(WideMasks, PageNumberTextTest,
    ::testing::Values(
        TextCase{.name = "Mask12", .stampNumber = 7, .pageCount = 12,
                 .expected = "Page 000000000007 / 000000000012", .mask = 12},
        TextCase{.name = "Mask10TenDigits", .stampNumber = 1000000000, .pageCount = 999999999,
                 .expected = "Page 1000000000 / 0999999999", .mask = 10},
        TextCase{.name = "Mask11MaxInt", .stampNumber = kMaxInt, .pageCount = 0,
                 .expected = "Page 02147483647 / " + std::string(11, '0') + "0", .mask = 11},
        TextCase{.name = "MinIntNoMask", .stampNumber = kMinInt, .pageCount = 1,
                 .expected = "Page -2147483648 / 1"},
        TextCase{.name = "MinIntMask12", .stampNumber = kMinInt, .pageCount = 1,
                 .expected = "Page 00-2147483648 / 000000000001", .mask = 12},
        TextCase{.name = "Mask4096", .stampNumber = 7, .pageCount = 0,
                 .expected = "Page " + std::string(4095, '0') + "7", .mask = 4096, .one = true},
        TextCase{.name = "AbsurdMaskCapped", .stampNumber = 7, .pageCount = 0,
                 .expected = "Page " + std::string(4096, '0') + "7", .mask = 2000000000, .one = true},
        TextCase{.name = "AbsurdMaskZeroCapped", .stampNumber = 0, .pageCount = 0,
                 .expected = "Page " + std::string(4096, '0') + "0", .mask = kMaxInt, .one = true}),
    CaseName<TextCase>);
// clang-format on

// clang-format off
INSTANTIATE_TEST_SUITE_P(Roman, PageNumberTextTest,
    ::testing::Values(
        TextCase{.name = "Lower", .stampNumber = 7, .pageCount = 12, .expected = "Page vii / xii", .romLower = true},
        TextCase{.name = "Upper", .stampNumber = 7, .pageCount = 12, .expected = "Page VII / XII", .romUpper = true},
        TextCase{.name = "BothUpperWins", .stampNumber = 7, .pageCount = 12, .expected = "Page VII / XII",
                 .romLower = true, .romUpper = true},
        TextCase{.name = "LowerIgnoresMask", .stampNumber = 7, .pageCount = 12, .expected = "Page vii / xii",
                 .mask = 5, .romLower = true},
        TextCase{.name = "ZeroIsEmpty", .stampNumber = 0, .pageCount = 12, .expected = "Page  / XII",
                 .romUpper = true},
        TextCase{.name = "ZeroIsEmptyEvenMasked", .stampNumber = 0, .pageCount = 12, .expected = "Page  / XII",
                 .mask = 2, .romUpper = true},
        TextCase{.name = "ThousandsDropped", .stampNumber = 6012, .pageCount = 9999,
                 .expected = "Page XII / CMXCIX", .romUpper = true},
        TextCase{.name = "FiveThousands", .stampNumber = 5999, .pageCount = 4000,
                 .expected = "Page mmmmmcmxcix / mmmm", .romLower = true}),
    CaseName<TextCase>);
// clang-format on

// Numbers that have no Roman numeral are written in decimal, masked like any decimal.
// clang-format off
INSTANTIATE_TEST_SUITE_P(RomanFallback, PageNumberTextTest,
    ::testing::Values(
        TextCase{.name = "TenThousand", .stampNumber = 10000, .pageCount = 12, .expected = "Page 10000 / XII",
                 .romUpper = true},
        TextCase{.name = "MinusOne", .stampNumber = -1, .pageCount = 12, .expected = "Page -1 / xii",
                 .romLower = true},
        TextCase{.name = "MinusOneMask3", .stampNumber = -1, .pageCount = 12, .expected = "Page 00-1 / XII",
                 .mask = 3, .romUpper = true},
        TextCase{.name = "TenThousandMask6", .stampNumber = 10000, .pageCount = 12,
                 .expected = "Page 010000 / xii", .mask = 6, .romLower = true},
        TextCase{.name = "MinInt", .stampNumber = kMinInt, .pageCount = kMaxInt,
                 .expected = "Page -2147483648 / 2147483647", .romUpper = true},
        TextCase{.name = "OneTenThousand", .stampNumber = 10000, .pageCount = 12, .expected = "Page 10000",
                 .one = true, .romUpper = true}),
    CaseName<TextCase>);
// clang-format on

// clang-format off
INSTANTIATE_TEST_SUITE_P(OneNumber, PageNumberTextTest,
    ::testing::Values(
        TextCase{.name = "Plain", .stampNumber = 7, .pageCount = 12, .expected = "Page 7", .one = true},
        TextCase{.name = "Mask3", .stampNumber = 7, .pageCount = 12, .expected = "Page 007", .mask = 3,
                 .one = true},
        TextCase{.name = "Upper", .stampNumber = 7, .pageCount = 12, .expected = "Page VII", .one = true,
                 .romUpper = true},
        TextCase{.name = "EndTextNotUsed", .stampNumber = 7, .pageCount = 12, .expected = "Page 7", .one = true,
                 .end = " Pages"},
        TextCase{.name = "SeparatorNotUsed", .stampNumber = 7, .pageCount = 12, .expected = "No. 7", .one = true,
                 .prefix = "No. ", .sep = " of "}),
    CaseName<TextCase>);
// clang-format on

// clang-format off
INSTANTIATE_TEST_SUITE_P(TextOnly, PageNumberTextTest,
    ::testing::Values(
        TextCase{.name = "Defaults", .stampNumber = 7, .pageCount = 12, .expected = "Page  / ", .nopg = true},
        TextCase{.name = "PrefixOnly", .stampNumber = 7, .pageCount = 12, .expected = "COPY", .nopg = true,
                 .prefix = "COPY", .sep = ""},
        TextCase{.name = "EndTextUsed", .stampNumber = 7, .pageCount = 12, .expected = "Page  /  Pages",
                 .nopg = true, .end = " Pages"},
        TextCase{.name = "WinsOverOne", .stampNumber = 7, .pageCount = 12, .expected = "Page  / ", .one = true,
                 .nopg = true},
        TextCase{.name = "WinsOverEverything", .stampNumber = 7, .pageCount = 12, .expected = "Page  / ",
                 .mask = 3, .one = true, .nopg = true, .romLower = true, .romUpper = true}),
    CaseName<TextCase>);
// clang-format on

}  // namespace
