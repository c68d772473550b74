#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Numbers as the C library's "%f" and "%d" print them in the C locale,
// whatever the process locale is.
std::string FormatFixed(double value, int decimals = 6);
std::string FormatInt(int64_t value);
// The same, appended to `out`.
void AppendFixed(std::string& out, double value, int decimals = 6);
void AppendInt(std::string& out, int64_t value);
// One line of a cross-reference table appended to `out`: the offset
// (0..9999999999) in ten digits and the generation (brought into 0..65535)
// in five, each filled with leading zeros ("%010lld %05d"), then `end`.
void AppendXRefLine(std::string& out, int64_t offset, int32_t generation, std::string_view end);
