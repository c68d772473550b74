#include "stamp/PageSelection.h"

#include <algorithm>

namespace {

// Signed 32-bit arithmetic with wrap-around instead of overflow.
int32_t Wrap(int64_t value) { return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value))); }
int32_t Add(int32_t a, int32_t b) { return Wrap(int64_t{a} + b); }
int32_t Sub(int32_t a, int32_t b) { return Wrap(int64_t{a} - b); }
int32_t Mul(int32_t a, int32_t b) { return Wrap(int64_t{a} * b); }
int32_t Div(int32_t a, int32_t b) { return Wrap(int64_t{a} / b); }                  // b != 0
int32_t Mod(int32_t a, int32_t b) { return static_cast<int32_t>(int64_t{a} % b); }  // b != 0

// How many of the pages `first` to `last` (counted from 1, `first` at least
// 1) the every-nth setting keeps: all but the multiples of it.
int32_t KeptPages(int64_t first, int64_t last, int32_t everyNth) {
    if (last < first) return 0;
    int64_t kept = last - first + 1;
    if (everyNth != 0) {
        const int64_t n = everyNth < 0 ? -int64_t{everyNth} : int64_t{everyNth};
        kept -= last / n - (first - 1) / n;
    }
    return Wrap(kept);
}

}  // namespace

std::optional<int32_t> StampNumberFor(const TextStampOptions& o, int32_t position, int32_t pageCount) {
    if (position < o.startPage || position > o.endPage) return std::nullopt;
    if (o.everyNth != 0 && Mod(position, o.everyNth) == 0) return std::nullopt;
    // With -s, the schemes number the stamped range by itself: its stamped
    // pages in order, as many as there are. Otherwise they number the
    // document's pages, -seq the stamped ones among them.
    const bool range = o.startPage > 1 && (o.reverse || o.sequential || o.twoUp || o.abTwoUp);
    int32_t v = position;
    int32_t count = pageCount;
    if (range) {
        v = KeptPages(o.startPage, position, o.everyNth);
        count = KeptPages(o.startPage, std::min(o.endPage, pageCount), o.everyNth);
    } else if (o.sequential) {
        v = KeptPages(1, position, o.everyNth);
    }
    // The first half of a two-up stack is the larger one: with an odd count
    // the last sheet has one page.
    const int32_t half = Sub(count, Div(count, 2));
    if (o.twoUp) v = Mod(v, 2) == 0 ? Add(Div(v, 2), half) : Add(Div(v, 2), 1);
    if (o.abTwoUp) {
        v = static_cast<uint32_t>(v) > static_cast<uint32_t>(half) ? Mul(Sub(v, half), 2) : Sub(Mul(v, 2), 1);
    }
    if (o.reverse) v = Add(Sub(count, v), 1);
    return Sub(Add(v, o.startNumber), range ? 1 : o.startPage);
}
