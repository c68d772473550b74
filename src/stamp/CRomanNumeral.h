#pragma once

#include <cstdint>
#include <string>

// Writes a number as a Roman numeral, one decimal digit at a time from four
// ten-entry tables (units, tens, hundreds, thousands). The thousands table only
// goes up to five thousand ("MMMMM"); its entries for 6 to 9 are empty, so
// 4000 is "MMMM" and 6012 is "XII". Zero is the empty numeral.
class CRomanNumeral {
public:
    CRomanNumeral() = default;
    CRomanNumeral(const CRomanNumeral&) = default;
    CRomanNumeral& operator=(const CRomanNumeral&) = default;
    virtual ~CRomanNumeral() = default;

    // The numeral for n, in lower case when lowerCase is set. The tables
    // cover 0 to 9999; any other n (negative, or 10000 and above) has no
    // numeral and gives the empty string, so the tables are never indexed
    // outside their ten entries. Callers that must show such numbers write
    // them in decimal instead (see ComposePageNumberText).
    std::string ToRoman(int32_t n, bool lowerCase) const;

    // The range ToRoman has numerals for.
    static constexpr int32_t kMinRoman = 0;
    static constexpr int32_t kMaxRoman = 9999;
};
