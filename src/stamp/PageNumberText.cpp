#include "stamp/PageNumberText.h"

#include <array>
#include <charconv>

#include "stamp/CRomanNumeral.h"

namespace {

// Leading zeros are capped here: a width like -m2000000000 would otherwise ask
// for two gigabytes of zeros per page. No real page number comes near it.
constexpr int32_t kMaxLeadingZeros = 4096;

// The number of decimal digits of a magnitude, with 0 counted as no digits:
// that is the count of k >= 0 for which magnitude / 10^k is not zero.
int32_t CountDigits(uint32_t magnitude) {
    int32_t digits = 0;
    while (magnitude != 0) {
        magnitude /= 10;
        ++digits;
    }
    return digits;
}

// X in decimal after the leading zeros that a mask width asks for: one "0"
// for each k from maskDigits-1 down to 0 for which X / 10^k is zero, stopping
// at the first k where it is not. So 7 with width 3 is "007", 0 with width 2
// is "000" and -3 with width 3 is "00-3". A width of 0 or below adds nothing.
std::string FormatMaskedDecimal(int32_t number, int32_t maskDigits) {
    // Magnitude in unsigned arithmetic so that INT32_MIN negates cleanly.
    const uint32_t bits = static_cast<uint32_t>(number);
    const uint32_t magnitude = number < 0 ? 0u - bits : bits;

    // X / 10^k (truncated) is zero exactly when k is at least the digit count
    // of |X|, so the zero loop from k = m-1 down stops after m - digits zeros.
    // Counting digits avoids powers of ten that would not fit in 32 bits.
    int32_t zeros = 0;
    if (maskDigits > 0) {
        zeros = maskDigits - CountDigits(magnitude);
        if (zeros < 0) {
            zeros = 0;
        }
        if (zeros > kMaxLeadingZeros) {
            zeros = kMaxLeadingZeros;
        }
    }

    std::array<char, 16> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), number);

    std::string out(static_cast<size_t>(zeros), '0');
    out.append(buffer.data(), result.ptr);
    return out;
}

std::string NumberText(const TextStampOptions& options, int32_t number) {
    if (options.romanUpper || options.romanLower) {
        if (number >= CRomanNumeral::kMinRoman && number <= CRomanNumeral::kMaxRoman) {
            const CRomanNumeral roman;
            return roman.ToRoman(number, !options.romanUpper);
        }
    }
    return FormatMaskedDecimal(number, options.maskDigits);
}

}  // namespace

std::string ComposePageNumberText(const TextStampOptions& options, int32_t stampNumber, int32_t pageCount) {
    std::string text = options.prefixText;
    if (options.noPageNumber) {
        text += options.separatorText;
        text += options.endText;
        return text;
    }

    text += NumberText(options, stampNumber);
    if (options.oneNumber) {
        return text;
    }

    text += options.separatorText;
    text += NumberText(options, pageCount);
    text += options.endText;
    return text;
}
