#pragma once

#include <cstdint>
#include <string>

#include "stamp/StampOptions.h"

// The line of text stamped on a page, from its stamp number and the
// document's page count:
//   -nopg:     prefix + separator + end text (no numbers at all)
//   -one:      prefix + number(stampNumber)
//   otherwise: prefix + number(stampNumber) + separator + number(pageCount) + end text
// number(X) is the upper-case Roman numeral with -ROM (which wins over -rom),
// the lower-case one with -rom, and otherwise X in decimal, filled with
// leading zeros to the mask width (-m). Roman numerals never get leading zeros.
// Numbers that have no Roman numeral (below 0 or above 9999) are written in
// decimal even in Roman mode, with the same leading zeros as any decimal.
// Mask widths of any size are filled exactly, up to a cap of 4096 zeros.
std::string ComposePageNumberText(const TextStampOptions& options, int32_t stampNumber, int32_t pageCount);
