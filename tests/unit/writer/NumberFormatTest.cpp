#include "writer/NumberFormat.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

// What the C library prints for `format` (the C locale is in effect in the tests).
template <typename T>
std::string Printf(const char* format, T value) {
    char buffer[512];
    const int length = std::snprintf(buffer, sizeof buffer, format, value);
    return std::string(buffer, static_cast<size_t>(length));
}

std::string PrintfFixed(double value, int decimals) {
    char buffer[512];
    const int length = std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    return std::string(buffer, static_cast<size_t>(length));
}

const std::vector<double> kValues = {
    0.0,
    -0.0,
    0.0007962,
    -0.0007962,
    0.0000005,  // halfway cases, decided by the binary value
    0.0000015,
    0.0000025,
    0.0000035,
    -0.0000004,  // rounds to a negative zero
    -0.0000005,
    0.9999995,
    0.99999949999,
    999999.9999995,
    1.0000005,
    0.125,
    0.375,
    2.5,
    0.005,
    0.015,
    0.025,
    1.005,
    0.1,
    1.0 / 3.0,
    2.0 / 3.0,
    0.017444444444444446,
    3.14 / 180 * 45,
    20.0,
    612.0,
    792.5,
    -1.5,
    123.456,
    -123.456,
    2147483647.0,
    -2147483648.0,
    4294967296.5,
    9007199254740993.0,
    1e15,
    1e20,
    1.5e22,
    1e300,
    DBL_MAX,
    -DBL_MAX,
    DBL_MIN,
    DBL_TRUE_MIN,
    5e-7,
    4.9999999e-7,
    static_cast<double>(static_cast<float>(0.1)),
    static_cast<double>(static_cast<float>(595.276)),
    std::numeric_limits<double>::infinity(),
    -std::numeric_limits<double>::infinity(),
    std::numeric_limits<double>::quiet_NaN(),
    -std::numeric_limits<double>::quiet_NaN(),
};

TEST(FormatFixedTest, SixDecimalsLikePrintf) {
    for (const double value : kValues) {
        EXPECT_EQ(FormatFixed(value), Printf("%f", value)) << Printf("%.17g", value);
    }
}

TEST(FormatFixedTest, TwoDecimalsLikePrintf) {
    for (const double value : kValues) {
        EXPECT_EQ(FormatFixed(value, 2), Printf("%.2f", value)) << Printf("%.17g", value);
    }
}

TEST(FormatFixedTest, OtherPrecisionsLikePrintf) {
    for (const int decimals : {0, 1, 3, 10, 40}) {
        for (const double value : kValues) {
            EXPECT_EQ(FormatFixed(value, decimals), PrintfFixed(value, decimals))
                << decimals << " " << Printf("%.17g", value);
        }
    }
}

TEST(FormatFixedTest, KnownTexts) {
    EXPECT_EQ(FormatFixed(-0.0), "-0.000000");
    EXPECT_EQ(FormatFixed(0.0007962), "0.000796");
    EXPECT_EQ(FormatFixed(0.5, 2), "0.50");
    EXPECT_EQ(FormatFixed(0.125, 2), "0.12");  // an exact tie goes to the even digit
    EXPECT_EQ(FormatFixed(1e20), "100000000000000000000.000000");
}

TEST(FormatFixedTest, RandomValuesLikePrintf) {
    std::mt19937_64 random(20240611);
    std::uniform_int_distribution<int> exponent(-30, 40);
    std::uniform_real_distribution<double> mantissa(-10.0, 10.0);
    for (int i = 0; i < 20000; ++i) {
        const double value = mantissa(random) * std::pow(10.0, exponent(random));
        ASSERT_EQ(FormatFixed(value), Printf("%f", value)) << Printf("%.17g", value);
        ASSERT_EQ(FormatFixed(value, 2), Printf("%.2f", value)) << Printf("%.17g", value);
    }
    // Values with few binary digits, where ties are common.
    for (int numerator = -4000; numerator <= 4000; ++numerator) {
        const double value = numerator / 1024.0;
        ASSERT_EQ(FormatFixed(value), Printf("%f", value)) << value;
        ASSERT_EQ(FormatFixed(value, 2), Printf("%.2f", value)) << value;
    }
}

TEST(FormatIntTest, LikePrintf) {
    for (const int64_t value : {int64_t{0}, int64_t{1}, int64_t{-1}, int64_t{15}, int64_t{2147483647},
                                int64_t{-2147483647} - 1, int64_t{9999999999}, INT64_MAX, INT64_MIN}) {
        EXPECT_EQ(FormatInt(value), Printf("%lld", static_cast<long long>(value)));
    }
}

std::string XRefLine(int64_t offset, int32_t generation) {
    std::string out = "x";
    AppendXRefLine(out, offset, generation, " n\r\n");
    return out.substr(1);
}

TEST(AppendXRefLineTest, LikePrintf) {
    for (const int64_t offset : {0LL, 1LL, 15LL, 99999LL, 123456789LL, 2147483647LL, 4294967296LL, 9999999999LL}) {
        for (const int generation : {0, 2, 65535}) {
            char expected[64];
            std::snprintf(expected, sizeof expected, "%010lld %05d n\r\n", static_cast<long long>(offset), generation);
            EXPECT_EQ(XRefLine(offset, generation), expected) << offset;
        }
    }
    // Generations beyond the five digits are brought into them.
    EXPECT_EQ(XRefLine(7, 70000), "0000000007 65535 n\r\n");
    EXPECT_EQ(XRefLine(7, -1), "0000000007 00000 n\r\n");
}

}  // namespace
