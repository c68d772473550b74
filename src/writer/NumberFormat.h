#pragma once

#include <cstdint>
#include <string>

// Numbers as the C library's "%f" and "%d" print them in the C locale,
// whatever the process locale is.
std::string FormatFixed(double value, int decimals = 6);
std::string FormatInt(int64_t value);
// The same, appended to `out`.
void AppendFixed(std::string& out, double value, int decimals = 6);
void AppendInt(std::string& out, int64_t value);
// A zero-padded decimal of at least `width` digits ("%010d", "%05d").
std::string FormatPadded(int64_t value, int width);
