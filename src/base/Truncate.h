#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

// Conversion to a 32-bit integer by truncation toward zero; values beyond the
// range are held at its ends and NaN becomes 0.
inline int32_t Truncate(double value) {
    if (std::isnan(value)) return 0;
    if (value >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    if (value <= -2147483648.0) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}
