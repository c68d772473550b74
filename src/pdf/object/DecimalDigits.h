#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "pdf/object/PdfCharClass.h"

// What a digit that would carry a number beyond what it can hold does.
enum class DigitOverflow {
    // The digit is taken and the value wraps around at 64 bits, as the
    // lexer's integers do.
    Wrap,
    // The digit is left, and ends the number: the value is the largest
    // prefix of the digits that fits in int64_t.
    Stop,
};

// A run of decimal digits read from raw bytes: the one number scanner behind
// the lexer's integers and every scanner that reads numbers from the file.
struct DecimalDigits {
    uint64_t value = 0;
    size_t end = 0;    // the index of the first byte not taken
    size_t count = 0;  // the digits taken (none: no number)

    static constexpr DecimalDigits Scan(std::string_view text, size_t at, DigitOverflow overflow) {
        DecimalDigits run;
        run.end = at;
        for (; run.end < text.size() && IsPdfDigit(text[run.end]); ++run.end) {
            const auto digit = static_cast<uint64_t>(text[run.end] - '0');
            if (overflow == DigitOverflow::Stop && run.value > (uint64_t{INT64_MAX} - digit) / 10) break;
            run.value = run.value * 10 + digit;
        }
        run.count = run.end - at;
        return run;
    }
};
