#include "stamp/PageSelection.h"

namespace {

// Signed 32-bit arithmetic with wrap-around instead of overflow.
int32_t Wrap(int64_t value) { return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value))); }
int32_t Add(int32_t a, int32_t b) { return Wrap(int64_t{a} + b); }
int32_t Sub(int32_t a, int32_t b) { return Wrap(int64_t{a} - b); }
int32_t Mul(int32_t a, int32_t b) { return Wrap(int64_t{a} * b); }
int32_t Div(int32_t a, int32_t b) { return Wrap(int64_t{a} / b); }                  // b != 0
int32_t Mod(int32_t a, int32_t b) { return static_cast<int32_t>(int64_t{a} % b); }  // b != 0

}  // namespace

std::optional<int32_t> StampNumberFor(const TextStampOptions& o, int32_t position, int32_t pageCount) {
    if (position < o.startPage || position > o.endPage) return std::nullopt;
    if (o.everyNth != 0 && Mod(position, o.everyNth) == 0) return std::nullopt;
    int32_t v = position;
    // With no every-nth setting there is nothing to count in sequence.
    if (o.sequential && o.everyNth != 0) v = Add(Div(v, o.everyNth), 1);
    const int32_t half = Div(pageCount, 2);
    if (o.twoUp) v = Mod(v, 2) == 0 ? Add(Div(v, 2), half) : Add(Div(v, 2), 1);
    if (o.abTwoUp) {
        v = static_cast<uint32_t>(v) > static_cast<uint32_t>(half) ? Mul(Sub(v, half), 2) : Sub(Mul(v, 2), 1);
    }
    if (o.reverse) v = Add(Sub(pageCount, v), 1);
    return Sub(Add(v, o.startNumber), o.startPage);
}
