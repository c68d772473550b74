#include "fonts/BidiRuns.h"

#include <fribidi.h>

#include <algorithm>
#include <new>

std::vector<BidiRun> BidiRunsInVisualOrder(std::u32string_view text) {
    std::vector<BidiRun> runs;
    if (text.empty()) return runs;
    const auto length = static_cast<FriBidiStrIndex>(text.size());
    const auto* characters = reinterpret_cast<const FriBidiChar*>(text.data());
    std::vector<FriBidiCharType> types(text.size());
    fribidi_get_bidi_types(characters, length, types.data());
    // Without right-to-left letters, Arabic numbers or explicit embeddings
    // every level is 0: one run, as the algorithm would find.
    const auto turns = [](FriBidiCharType type) {
        return FRIBIDI_IS_RTL(type) || FRIBIDI_IS_ARABIC(type) || FRIBIDI_IS_EXPLICIT(type) || FRIBIDI_IS_ISOLATE(type);
    };
    if (std::none_of(types.begin(), types.end(), turns)) return {{0, text.size(), false}};
    std::vector<FriBidiBracketType> brackets(text.size());
    std::vector<FriBidiLevel> levels(text.size());
    std::vector<FriBidiStrIndex> map(text.size());
    fribidi_get_bracket_types(characters, length, types.data(), brackets.data());
    FriBidiParType direction = FRIBIDI_PAR_ON;
    for (FriBidiStrIndex i = 0; i < length; ++i) map[static_cast<size_t>(i)] = i;
    if (fribidi_get_par_embedding_levels_ex(types.data(), brackets.data(), length, &direction, levels.data()) == 0 ||
        fribidi_reorder_line(0, types.data(), length, 0, direction, levels.data(), nullptr, map.data()) == 0) {
        throw std::bad_alloc();
    }
    // map[v] is the character seen at position v: a run is a stretch of
    // positions with one level whose characters follow each other.
    for (size_t v = 0; v < text.size(); ++v) {
        const auto at = static_cast<size_t>(map[v]);
        const bool rightToLeft = FRIBIDI_LEVEL_IS_RTL(levels[at]);
        if (!runs.empty()) {
            BidiRun& last = runs.back();
            const bool follows = rightToLeft ? last.start == at + 1 : last.start + last.length == at;
            if (last.rightToLeft == rightToLeft && levels[last.start] == levels[at] && follows) {
                if (rightToLeft) last.start = at;
                ++last.length;
                continue;
            }
        }
        runs.push_back({at, 1, rightToLeft});
    }
    return runs;
}
