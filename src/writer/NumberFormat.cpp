#include "writer/NumberFormat.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

void AppendInt(std::string& out, int64_t value) {
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

void AppendFixed(std::string& out, double value, int decimals) {
    if (!std::isfinite(value)) {
        // As printf spells them.
        if (std::isnan(value)) {
            out += std::signbit(value) ? "-nan" : "nan";
        } else {
            out += value < 0 ? "-inf" : "inf";
        }
        return;
    }
    // Whole numbers (positions, and the matrix of an unturned stamp) are
    // written without the general conversion.
    if (std::trunc(value) == value && std::fabs(value) < 1e15 && decimals <= 32) {
        // Its digits, the point and the zeros in place, appended at once.
        char buffer[56];
        char* end = buffer;
        if (std::signbit(value)) *end++ = '-';
        end = std::to_chars(end, buffer + 24, static_cast<int64_t>(std::fabs(value))).ptr;
        if (decimals > 0) {
            *end++ = '.';
            end = std::fill_n(end, decimals, '0');
        }
        out.append(buffer, end);
        return;
    }
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    out.append(buffer, result.ptr);
}

std::string FormatFixed(double value, int decimals) {
    std::string out;
    AppendFixed(out, value, decimals);
    return out;
}

std::string FormatInt(int64_t value) {
    std::string out;
    AppendInt(out, value);
    return out;
}

namespace {

// "00" to "99", two bytes each.
constexpr std::array<char, 200> MakeDigitPairs() {
    std::array<char, 200> pairs{};
    for (size_t i = 0; i < 100; ++i) {
        pairs[2 * i] = static_cast<char>('0' + i / 10);
        pairs[2 * i + 1] = static_cast<char>('0' + i % 10);
    }
    return pairs;
}
constexpr std::array<char, 200> kDigitPairs = MakeDigitPairs();

// The last `count` digits of `value` (count even), ending just before `end`.
void PutDigitPairs(char* end, uint64_t value, int count) {
    for (int i = 0; i < count; i += 2, value /= 100) {
        const size_t pair = 2 * static_cast<size_t>(value % 100);
        *--end = kDigitPairs[pair + 1];
        *--end = kDigitPairs[pair];
    }
}

}  // namespace

void AppendXRefLine(std::string& out, int64_t offset, int32_t generation, std::string_view end) {
    // Written in place, two digits at a time, and appended at once: a table
    // has a line per object.
    char line[24];
    PutDigitPairs(line + 10, static_cast<uint64_t>(std::clamp<int64_t>(offset, 0, 9999999999)), 10);
    line[10] = ' ';
    const auto number = static_cast<uint32_t>(std::clamp(generation, 0, 65535));
    line[11] = static_cast<char>('0' + number / 10000);
    PutDigitPairs(line + 16, number % 10000, 4);
    const size_t tail = std::min(end.size(), sizeof line - 16);
    std::memcpy(line + 16, end.data(), tail);
    out.append(line, 16 + tail);
    if (tail < end.size()) out += end.substr(tail);
}
