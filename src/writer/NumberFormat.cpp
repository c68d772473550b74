#include "writer/NumberFormat.h"

#include <algorithm>
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

void AppendXRefLine(std::string& out, int64_t offset, int32_t generation, std::string_view end) {
    // Written in place and appended at once: a table has a line per object.
    char line[16];
    auto value = static_cast<uint64_t>(std::clamp<int64_t>(offset, 0, 9999999999));
    for (int i = 9; i >= 0; --i, value /= 10) line[i] = static_cast<char>('0' + value % 10);
    line[10] = ' ';
    auto number = static_cast<uint32_t>(std::clamp(generation, 0, 65535));
    for (int i = 15; i >= 11; --i, number /= 10) line[i] = static_cast<char>('0' + number % 10);
    out.append(line, sizeof line);
    out += end;
}
