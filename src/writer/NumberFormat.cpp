#include "writer/NumberFormat.h"

#include <charconv>
#include <cmath>
#include <cstdio>

std::string FormatFixed(double value, int decimals) {
    if (!std::isfinite(value)) {
        // As printf spells them.
        if (std::isnan(value)) return std::signbit(value) ? "-nan" : "nan";
        return value < 0 ? "-inf" : "inf";
    }
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    return std::string(buffer, result.ptr);
}

std::string FormatInt(int64_t value) {
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string FormatPadded(int64_t value, int width) {
    const uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    char buffer[24];
    std::string digits(buffer, std::to_chars(buffer, buffer + sizeof buffer, magnitude).ptr);
    const int sign = value < 0 ? 1 : 0;
    if (static_cast<int>(digits.size()) + sign < width)
        digits.insert(0, static_cast<size_t>(width - sign - static_cast<int>(digits.size())), '0');
    if (sign != 0) digits.insert(0, 1, '-');
    return digits;
}
