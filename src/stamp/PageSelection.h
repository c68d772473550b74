#pragma once

#include <cstdint>
#include <optional>

#include "stamp/StampOptions.h"

// Whether the page at `position` (counted from 1) is stamped in text mode,
// and the number it shows: the page range and every-nth page select it, then
// -seq, -2up, -ab2 and -r turn the position into a number, in this order, and
// -ns shifts it. `pageCount` is the document's /Count.
//
// The schemes number the document's pages (-seq the stamped ones among them,
// 1, 2, 3, ...), or, when -s starts the range after page 1, the stamped range
// by itself, whose k pages then show -ns to -ns + k - 1. -2up and -ab2 take the
// larger half first, so that an odd count leaves the last sheet one page and
// no number repeats. All arithmetic is on signed 32-bit integers that wrap
// around.
std::optional<int32_t> StampNumberFor(const TextStampOptions& options, int32_t position, int32_t pageCount);
