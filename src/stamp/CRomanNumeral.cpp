#include "stamp/CRomanNumeral.h"

#include <array>
#include <string_view>

namespace {

using DigitTable = std::array<std::string_view, 10>;

constexpr DigitTable kUnits = {"", "I", "II", "III", "IV", "V", "VI", "VII", "VIII", "IX"};
constexpr DigitTable kTens = {"", "X", "XX", "XXX", "XL", "L", "LX", "LXX", "LXXX", "XC"};
constexpr DigitTable kHundreds = {"", "C", "CC", "CCC", "CD", "D", "DC", "DCC", "DCCC", "CM"};
// Only one to five thousand have letters; 6000 to 9000 are left empty.
constexpr DigitTable kThousands = {"", "M", "MM", "MMM", "MMMM", "MMMMM", "", "", "", ""};

// Appends one table entry, lower-cased on the way when asked. The tables
// themselves stay as stored.
void AppendEntry(std::string& out, std::string_view entry, bool lowerCase) {
    for (const char c : entry) {
        out.push_back(lowerCase && c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
    }
}

}  // namespace

std::string CRomanNumeral::ToRoman(int32_t n, bool lowerCase) const {
    std::string out;
    if (n < kMinRoman || n > kMaxRoman) {
        return out;
    }

    // n is in 0..9999 here, so every digit is in 0..9.
    const int32_t r = n % 1000;
    const int32_t thousands = (n - r) / 1000;
    const int32_t s = r % 100;
    const int32_t hundreds = (r - s) / 100;
    const int32_t units = s % 10;
    const int32_t tens = (s - units) / 10;

    AppendEntry(out, kThousands[static_cast<size_t>(thousands)], lowerCase);
    AppendEntry(out, kHundreds[static_cast<size_t>(hundreds)], lowerCase);
    AppendEntry(out, kTens[static_cast<size_t>(tens)], lowerCase);
    AppendEntry(out, kUnits[static_cast<size_t>(units)], lowerCase);
    return out;
}
