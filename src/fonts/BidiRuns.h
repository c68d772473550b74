#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

// A stretch of a line that runs in one direction: characters start to
// start + length - 1, in the order they were typed.
struct BidiRun {
    size_t start = 0;
    size_t length = 0;
    bool rightToLeft = false;
};

// The line's runs in the order they are seen, left to right, as GNU FriBidi
// resolves and reorders them (the Unicode bidirectional algorithm, the
// paragraph's direction taken from its first strong character).
std::vector<BidiRun> BidiRunsInVisualOrder(std::u32string_view text);
