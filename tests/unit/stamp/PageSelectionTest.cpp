#include "stamp/PageSelection.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "support/CaseName.h"

namespace {

constexpr int32_t kMinInt = std::numeric_limits<int32_t>::min();
constexpr int32_t kMaxInt = std::numeric_limits<int32_t>::max();
constexpr std::nullopt_t kNone = std::nullopt;  // the page is not stamped

using Numbers = std::vector<std::optional<int32_t>>;

// The number of every page 1..pageCount, or kNone for a page left alone.
Numbers NumbersFor(const TextStampOptions& options, int32_t pageCount) {
    Numbers numbers;
    for (int32_t position = 1; position <= pageCount; ++position)
        numbers.push_back(StampNumberFor(options, position, pageCount));
    return numbers;
}

std::string Show(const Numbers& numbers) {
    std::string text;
    for (const std::optional<int32_t>& number : numbers) text += number ? std::to_string(*number) + " " : "- ";
    return text;
}

struct SelectionCase {
    const char* name;
    void (*set)(TextStampOptions&);
    int32_t pageCount;
    Numbers expected;
};

void PrintTo(const SelectionCase& c, std::ostream* os) { *os << c.name; }

class PageSelectionTest : public ::testing::TestWithParam<SelectionCase> {};

TEST_P(PageSelectionTest, NumbersEveryPage) {
    const SelectionCase& c = GetParam();
    TextStampOptions options;
    c.set(options);
    EXPECT_EQ(Show(NumbersFor(options, c.pageCount)), Show(c.expected));
}

// clang-format off
const SelectionCase kCases[] = {
    {"Defaults", [](TextStampOptions&) {}, 5, {1, 2, 3, 4, 5}},
    // page range and start number
    {"RangeTwoToThree", [](TextStampOptions& o) {
         o.startPage = 2;
         o.endPage = 3;
     }, 5, {kNone, 1, 2, kNone, kNone}},
    {"StartAtThreeNumbersItOne", [](TextStampOptions& o) { o.startPage = 3; }, 5, {kNone, kNone, 1, 2, 3}},
    {"StartAtZero", [](TextStampOptions& o) { o.startPage = 0; }, 3, {2, 3, 4}},
    {"EndAtZero", [](TextStampOptions& o) { o.endPage = 0; }, 3, {kNone, kNone, kNone}},
    {"EndBeforeStart", [](TextStampOptions& o) {
         o.startPage = 3;
         o.endPage = 2;
     }, 4, {kNone, kNone, kNone, kNone}},
    {"StartNumberTen", [](TextStampOptions& o) { o.startNumber = 10; }, 3, {10, 11, 12}},
    {"StartNumberZero", [](TextStampOptions& o) { o.startNumber = 0; }, 3, {0, 1, 2}},
    {"StartNumberNegative", [](TextStampOptions& o) { o.startNumber = -2; }, 4, {-2, -1, 0, 1}},
    {"StartNumberWithStartPage", [](TextStampOptions& o) {
         o.startPage = 2;
         o.startNumber = 5;
     }, 4, {kNone, 5, 6, 7}},
    // every n-th page is left out
    {"EveryNthTwo", [](TextStampOptions& o) { o.everyNth = 2; }, 8, {1, kNone, 3, kNone, 5, kNone, 7, kNone}},
    {"EveryNthThree", [](TextStampOptions& o) { o.everyNth = 3; }, 7, {1, 2, kNone, 4, 5, kNone, 7}},
    {"EveryNthOne", [](TextStampOptions& o) { o.everyNth = 1; }, 3, {kNone, kNone, kNone}},
    {"EveryNthBeyondTheDocument", [](TextStampOptions& o) { o.everyNth = 100; }, 3, {1, 2, 3}},
    {"EveryNthNegativeTwo", [](TextStampOptions& o) { o.everyNth = -2; }, 6, {1, kNone, 3, kNone, 5, kNone}},
    {"EveryNthMinusOne", [](TextStampOptions& o) { o.everyNth = -1; }, 3, {kNone, kNone, kNone}},
    // -seq
    {"SequentialEveryNthTwo", [](TextStampOptions& o) {
         o.everyNth = 2;
         o.sequential = true;
     }, 8, {1, kNone, 2, kNone, 3, kNone, 4, kNone}},
    {"SequentialEveryNthThree", [](TextStampOptions& o) {
         o.everyNth = 3;
         o.sequential = true;
     }, 7, {1, 2, kNone, 3, 4, kNone, 5}},
    {"SequentialWithoutEveryNthLeavesTheNumber", [](TextStampOptions& o) { o.sequential = true; }, 5,
     {1, 2, 3, 4, 5}},
    {"SequentialEveryNthNegativeTwo", [](TextStampOptions& o) {
         o.everyNth = -2;
         o.sequential = true;
     }, 6, {1, kNone, 2, kNone, 3, kNone}},
    {"SequentialEveryNthBeyondTheDocument", [](TextStampOptions& o) {
         o.everyNth = 100;
         o.sequential = true;
     }, 3, {1, 2, 3}},
    // -2up and -ab2
    {"TwoUpTenPages", [](TextStampOptions& o) { o.twoUp = true; }, 10, {1, 6, 2, 7, 3, 8, 4, 9, 5, 10}},
    // An odd count: the first half is the larger, the last sheet has one page.
    {"TwoUpFivePages", [](TextStampOptions& o) { o.twoUp = true; }, 5, {1, 4, 2, 5, 3}},
    {"AbTwoUpTenPages", [](TextStampOptions& o) { o.abTwoUp = true; }, 10, {1, 3, 5, 7, 9, 2, 4, 6, 8, 10}},
    {"AbTwoUpFivePages", [](TextStampOptions& o) { o.abTwoUp = true; }, 5, {1, 3, 5, 2, 4}},
    // -r
    {"ReverseFivePages", [](TextStampOptions& o) { o.reverse = true; }, 5, {5, 4, 3, 2, 1}},
    {"ReverseWithStartPage", [](TextStampOptions& o) {
         o.reverse = true;
         o.startPage = 2;
     }, 4, {kNone, 3, 2, 1}},
    // several flags: -seq, -2up, -ab2, -r in this order, then the start number
    {"SequentialThenReverse", [](TextStampOptions& o) {
         o.everyNth = 2;
         o.sequential = true;
         o.reverse = true;
     }, 8, {8, kNone, 7, kNone, 6, kNone, 5, kNone}},
    {"SequentialThenTwoUp", [](TextStampOptions& o) {
         o.everyNth = 2;
         o.sequential = true;
         o.twoUp = true;
     }, 8, {1, kNone, 5, kNone, 2, kNone, 6, kNone}},
    {"TwoUpThenAbTwoUp", [](TextStampOptions& o) {
         o.twoUp = true;
         o.abTwoUp = true;
     }, 10, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
    {"TwoUpThenReverse", [](TextStampOptions& o) {
         o.twoUp = true;
         o.reverse = true;
     }, 10, {10, 5, 9, 4, 8, 3, 7, 2, 6, 1}},
    {"AbTwoUpThenReverse", [](TextStampOptions& o) {
         o.abTwoUp = true;
         o.reverse = true;
     }, 10, {10, 8, 6, 4, 2, 9, 7, 5, 3, 1}},
    {"SequentialEveryNthThreeThenReverse", [](TextStampOptions& o) {
         o.everyNth = 3;
         o.sequential = true;
         o.reverse = true;
     }, 9, {9, 8, kNone, 7, 6, kNone, 5, 4, kNone}},
    // -s numbers its range by itself with the schemes: k pages show 1 to k.
    {"RangeReverse", [](TextStampOptions& o) {
         o.startPage = 3;
         o.reverse = true;
     }, 9, {kNone, kNone, 7, 6, 5, 4, 3, 2, 1}},
    {"RangeSequential", [](TextStampOptions& o) {
         o.startPage = 3;
         o.everyNth = 2;
         o.sequential = true;
     }, 9, {kNone, kNone, 1, kNone, 2, kNone, 3, kNone, 4}},
    {"RangeTwoUp", [](TextStampOptions& o) {
         o.startPage = 3;
         o.endPage = 8;
         o.twoUp = true;
     }, 9, {kNone, kNone, 1, 4, 2, 5, 3, 6, kNone}},
    {"RangeAbTwoUpFromTen", [](TextStampOptions& o) {
         o.startPage = 3;
         o.startNumber = 10;
         o.abTwoUp = true;
     }, 9, {kNone, kNone, 10, 12, 14, 16, 11, 13, 15}},
    {"EverythingAtOnce", [](TextStampOptions& o) {
         o.startPage = 2;
         o.startNumber = 5;
         o.everyNth = 2;
         o.sequential = true;
     }, 6, {kNone, kNone, 5, kNone, 6, kNone}},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Examples, PageSelectionTest, ::testing::ValuesIn(kCases), CaseName<SelectionCase>);

// ---------------------------------------------------------------------------
// Signed 32-bit arithmetic wraps around; these run under the sanitizers too.

struct WrapCase {
    const char* name;
    void (*set)(TextStampOptions&);
    int32_t position;
    int32_t pageCount;
    std::optional<int32_t> expected;
};

void PrintTo(const WrapCase& c, std::ostream* os) { *os << c.name; }

class PageSelectionWrapTest : public ::testing::TestWithParam<WrapCase> {};

TEST_P(PageSelectionWrapTest, Wraps) {
    const WrapCase& c = GetParam();
    TextStampOptions options;
    c.set(options);
    EXPECT_EQ(StampNumberFor(options, c.position, c.pageCount), c.expected);
}

// clang-format off
const WrapCase kWrapCases[] = {
    {"StartNumberPastTheTop", [](TextStampOptions& o) { o.startNumber = kMaxInt; }, 2, 5, kMinInt},
    {"StartNumberAtTheBottom", [](TextStampOptions& o) { o.startNumber = kMinInt; }, 1, 5, kMinInt},
    {"StartNumberAtTheBottomOfARange", [](TextStampOptions& o) {
         o.reverse = true;
         o.startNumber = kMinInt;
         o.startPage = 3;
     }, 5, 5, kMinInt},
    {"StartPageSmallest", [](TextStampOptions& o) { o.startPage = kMinInt; }, 1, 5, kMinInt + 2},
    {"StartPageSmallestAndStartNumberLargest", [](TextStampOptions& o) {
         o.startPage = kMinInt;
         o.startNumber = kMaxInt;
     }, 1, 5, 0},
    {"ReverseOfTheSmallestCount", [](TextStampOptions& o) { o.reverse = true; }, 1, kMinInt, kMinInt},
    {"ReversePastTheTop", [](TextStampOptions& o) {
         o.reverse = true;
         o.startNumber = 2;
     }, 1, kMaxInt, kMinInt},
    {"TwoUpOfTheLargestCount", [](TextStampOptions& o) {
         o.twoUp = true;
         o.startNumber = kMaxInt;
     }, 2, kMaxInt, kMinInt + 1073741823},
    {"AbTwoUpDoublesPastTheTop", [](TextStampOptions& o) {
         o.abTwoUp = true;
         o.endPage = kMaxInt;
     }, kMaxInt, 10, -12},
    {"AbTwoUpNegativeComparesUnsigned", [](TextStampOptions& o) {
         o.abTwoUp = true;
         o.startPage = -5;
     }, -3, 10, -10},
    {"AbTwoUpOfTheLargestPosition", [](TextStampOptions& o) {
         o.abTwoUp = true;
         o.endPage = kMaxInt;
     }, kMaxInt, kMaxInt, kMaxInt - 1},
    {"SequentialEveryNthSmallest", [](TextStampOptions& o) {
         o.everyNth = kMinInt;
         o.sequential = true;
     }, 7, 10, 7},
    {"SequentialEveryNthMinusOneSelectsNothing", [](TextStampOptions& o) {
         o.everyNth = -1;
         o.sequential = true;
         o.startPage = kMinInt;
     }, kMinInt, 10, kNone},
    {"TwoUpOfTheSmallestValue", [](TextStampOptions& o) {
         o.twoUp = true;
         o.startPage = kMinInt;
         o.endPage = kMaxInt;
     }, kMinInt, 10, 1073741830},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Limits, PageSelectionWrapTest, ::testing::ValuesIn(kWrapCases), CaseName<WrapCase>);

}  // namespace
