#include "writer/NumberFormat.h"

#include <charconv>
#include <cmath>
#include <cstdio>

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
    if (std::trunc(value) == value && std::fabs(value) < 1e15) {
        if (std::signbit(value)) out += '-';
        AppendInt(out, static_cast<int64_t>(std::fabs(value)));
        if (decimals > 0) {
            out += '.';
            out.append(static_cast<size_t>(decimals), '0');
        }
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
