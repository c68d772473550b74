#pragma once

#include <cstdint>
#include <optional>

#include "stamp/StampOptions.h"

// Whether the page at `position` (counted from 1) is stamped in text mode,
// and the number it shows: the page range and every-nth page select it, then
// -seq, -2up, -ab2 and -r turn the position into a number, in this order, and
// -ns shifts it. `pageCount` is the document's /Count. All arithmetic is on
// signed 32-bit integers that wrap around.
std::optional<int32_t> StampNumberFor(const TextStampOptions& options, int32_t position, int32_t pageCount);
