#include "fonts/CharacterClasses.h"

#include <harfbuzz/hb.h>
#include <algorithm>
#include <iterator>

namespace {

struct Range {
    char32_t first, last;
};

// Default_Ignorable_Code_Point as Unicode's DerivedCoreProperties lists it.
constexpr Range kDefaultIgnorable[] = {
    {0x00AD, 0x00AD}, {0x034F, 0x034F}, {0x061C, 0x061C},   {0x115F, 0x1160},   {0x17B4, 0x17B5},   {0x180B, 0x180F},
    {0x200B, 0x200F}, {0x202A, 0x202E}, {0x2060, 0x206F},   {0x3164, 0x3164},   {0xFE00, 0xFE0F},   {0xFEFF, 0xFEFF},
    {0xFFA0, 0xFFA0}, {0xFFF0, 0xFFF8}, {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A}, {0xE0000, 0xE0FFF},
};

}  // namespace

bool IsControlCharacter(char32_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

bool IsDefaultIgnorable(char32_t c) {
    const auto* range = std::lower_bound(std::begin(kDefaultIgnorable), std::end(kDefaultIgnorable), c,
                                         [](const Range& r, char32_t value) { return r.last < value; });
    return range != std::end(kDefaultIgnorable) && range->first <= c;
}

bool IsJoiner(char32_t c) { return c == 0x200C || c == 0x200D; }

bool ContinuesCluster(char32_t c) {
    // No marks come before the combining diacritics.
    if (c < 0x300) return c == 0xAD;
    if (IsDefaultIgnorable(c)) return true;
    switch (hb_unicode_general_category(hb_unicode_funcs_get_default(), c)) {
        case HB_UNICODE_GENERAL_CATEGORY_NON_SPACING_MARK:
        case HB_UNICODE_GENERAL_CATEGORY_SPACING_MARK:
        case HB_UNICODE_GENERAL_CATEGORY_ENCLOSING_MARK:
            return true;
        default:
            return false;
    }
}
