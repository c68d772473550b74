#include "stamp/CRomanNumeral.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <ostream>
#include <string>

namespace {

struct RomanCase {
    int32_t number;
    const char* upper;
    const char* lower;
};

void PrintTo(const RomanCase& c, std::ostream* os) { *os << c.number; }

class RomanNumeralTest : public ::testing::TestWithParam<RomanCase> {};

TEST_P(RomanNumeralTest, UpperCase) {
    const CRomanNumeral roman;
    EXPECT_EQ(roman.ToRoman(GetParam().number, false), GetParam().upper);
}

TEST_P(RomanNumeralTest, LowerCase) {
    const CRomanNumeral roman;
    EXPECT_EQ(roman.ToRoman(GetParam().number, true), GetParam().lower);
}

std::string CaseName(const ::testing::TestParamInfo<RomanCase>& info) {
    const int32_t n = info.param.number;
    if (n < 0) {
        return n == std::numeric_limits<int32_t>::min() ? "MinInt" : "Minus" + std::to_string(-n);
    }
    return "N" + std::to_string(n);
}

// The worked examples, including the five-thousand limit of the thousands
// table and the empty numeral for zero.
INSTANTIATE_TEST_SUITE_P(Examples, RomanNumeralTest,
                         ::testing::Values(RomanCase{4, "IV", "iv"}, RomanCase{7, "VII", "vii"},
                                           RomanCase{12, "XII", "xii"}, RomanCase{14, "XIV", "xiv"},
                                           RomanCase{1999, "MCMXCIX", "mcmxcix"},
                                           RomanCase{3999, "MMMCMXCIX", "mmmcmxcix"}, RomanCase{4000, "MMMM", "mmmm"},
                                           RomanCase{5000, "MMMMM", "mmmmm"},
                                           RomanCase{5999, "MMMMMCMXCIX", "mmmmmcmxcix"}, RomanCase{6000, "", ""},
                                           RomanCase{6001, "I", "i"}, RomanCase{6012, "XII", "xii"},
                                           RomanCase{0, "", ""}),
                         CaseName);

// A repeated digit d reads entry d of all four tables at once, so these rows
// pin every entry of every table.
INSTANTIATE_TEST_SUITE_P(EveryTableEntry, RomanNumeralTest,
                         ::testing::Values(RomanCase{1111, "MCXI", "mcxi"}, RomanCase{2222, "MMCCXXII", "mmccxxii"},
                                           RomanCase{3333, "MMMCCCXXXIII", "mmmcccxxxiii"},
                                           RomanCase{4444, "MMMMCDXLIV", "mmmmcdxliv"},
                                           RomanCase{5555, "MMMMMDLV", "mmmmmdlv"}, RomanCase{6666, "DCLXVI", "dclxvi"},
                                           RomanCase{7777, "DCCLXXVII", "dcclxxvii"},
                                           RomanCase{8888, "DCCCLXXXVIII", "dccclxxxviii"},
                                           RomanCase{9999, "CMXCIX", "cmxcix"}),
                         CaseName);

// Numbers without a numeral come back empty rather than reading past a table.
INSTANTIATE_TEST_SUITE_P(OutOfRange, RomanNumeralTest,
                         ::testing::Values(RomanCase{-1, "", ""}, RomanCase{-3, "", ""}, RomanCase{10000, "", ""},
                                           RomanCase{16012, "", ""},
                                           RomanCase{std::numeric_limits<int32_t>::max(), "", ""},
                                           RomanCase{std::numeric_limits<int32_t>::min(), "", ""}),
                         CaseName);

}  // namespace
