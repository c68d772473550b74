#include "fonts/TextDealer.h"

#include <harfbuzz/hb.h>
#include <algorithm>
#include <string>

#include "fonts/CharacterClasses.h"

namespace {

// What the text layer keeps of some characters: all but those that draw
// nothing, the joiners excepted.
std::u32string ShownText(std::u32string_view characters) {
    std::u32string shown;
    for (const char32_t c : characters) {
        if (!IsDefaultIgnorable(c) || IsJoiner(c)) shown.push_back(c);
    }
    return shown;
}

// The two parts of a character that shapers draw apart: its canonical
// decomposition, or the Thai and Lao AM that the shapers split into NIKHAHIT
// (NIGGAHITA) and AA.
bool Decompose(char32_t c, char32_t& first, char32_t& second) {
    if (c == 0x0E33 || c == 0x0EB3) {
        first = c + 0x1A;
        second = c - 1;
        return true;
    }
    hb_codepoint_t a = 0, b = 0;
    if (!hb_unicode_decompose(hb_unicode_funcs_get_default(), c, &a, &b) || b == 0) return false;
    first = static_cast<char32_t>(a);
    second = static_cast<char32_t>(b);
    return true;
}

}  // namespace

void CTextDealer::Deal(bool rightToLeft) {
    // Groups: the shortest stretches of glyphs whose characters come
    // before all those of the glyphs after them.
    const size_t count = glyphs_.size();
    std::vector<uint32_t> lowestAfter(count + 1, UINT32_MAX);
    for (size_t i = count; i-- > 0;) lowestAfter[i] = std::min(lowestAfter[i + 1], glyphs_[i].cluster);
    uint32_t highest = 0;
    for (size_t begin = 0, i = 0; i < count; ++i) {
        highest = std::max(highest, glyphs_[i].cluster);
        if (i + 1 < count && highest >= lowestAfter[i + 1]) continue;
        const size_t from = begin == 0 ? 0 : Boundary(lowestAfter[begin]);
        Group(begin, i + 1, from, i + 1 < count ? Boundary(lowestAfter[i + 1]) : characters_.size());
        begin = i + 1;
    }
    if (rightToLeft) MarkLetters();
    Finish();
}

size_t CTextDealer::Boundary(size_t at) const {
    while (at < characters_.size() && IsDefaultIgnorable(characters_[at])) ++at;
    return at;
}

void CTextDealer::Group(size_t begin, size_t end, size_t from, size_t to) {
    bool inOrder = true;
    for (size_t i = begin + 1; i < end; ++i) inOrder = inOrder && glyphs_[i - 1].cluster <= glyphs_[i].cluster;
    if (!inOrder) {
        // Reordered (a vowel drawn before its consonant): dealt out as drawn.
        Share(characters_.substr(from, to - from), begin, end);
        Span(begin, end, characters_.substr(from, to - from));
        return;
    }
    for (size_t k = begin; k < end;) {
        size_t next = k + 1;
        while (next < end && glyphs_[next].cluster == glyphs_[k].cluster) ++next;
        const size_t first = k == begin ? from : Boundary(glyphs_[k].cluster);
        const size_t last = std::max(first, next == end ? to : Boundary(glyphs_[next].cluster));
        const std::u32string_view cluster = characters_.substr(first, last - first);
        if (!Share(cluster, k, next)) Span(k, next, cluster);
        k = next;
    }
}

bool CTextDealer::Share(std::u32string_view characters, size_t begin, size_t end) {
    const size_t count = end - begin;
    std::u32string parts = ShownText(characters);
    if (count == 1) {
        texts_[begin] = Store(parts);
        return true;
    }
    for (size_t k = 0; k < parts.size() && parts.size() < count;) {
        char32_t a = 0, b = 0;
        if (Decompose(parts[k], a, b)) {
            parts.replace(k, 1, {a, b});
        } else {
            ++k;
        }
    }
    for (size_t k = 0; k < count && k < parts.size(); ++k) {
        texts_[begin + k] = Store(k + 1 == count ? parts.substr(k) : parts.substr(k, 1));
    }
    return false;
}

void CTextDealer::Span(size_t begin, size_t end, std::u32string_view characters) {
    spans_.push_back({begin, end - begin, Store(ShownText(characters))});
}

void CTextDealer::MarkLetters() {
    std::vector<bool> spanned(glyphs_.size(), false);
    for (const SpanRef& span : spans_) {
        std::fill_n(spanned.begin() + static_cast<std::ptrdiff_t>(span.first), span.count, true);
    }
    const auto follows = [this, &spanned](size_t i) {
        const char32_t first = texts_[i].length > 0 ? piece_.texts[texts_[i].at] : 0;
        return !spanned[i] && (glyphs_[i].advance == 0 || (ContinuesCluster(first) && !IsDefaultIgnorable(first)));
    };
    for (size_t i = 0; i < glyphs_.size();) {
        size_t end = i + 1;
        while (!spanned[i] && end < glyphs_.size() && follows(end)) ++end;
        if (end - i > 1) {
            std::u32string text;
            for (size_t k = i; k < end; ++k)
                text += std::u32string_view(piece_.texts).substr(texts_[k].at, texts_[k].length);
            std::reverse(glyphs_.begin() + static_cast<std::ptrdiff_t>(i),
                         glyphs_.begin() + static_cast<std::ptrdiff_t>(end));
            Share(text, i, end);
            spans_.push_back({i, end - i, Store(text)});
        }
        i = end;
    }
}

CTextDealer::TextRef CTextDealer::Store(std::u32string_view text) {
    const TextRef stored{piece_.texts.size(), text.size()};
    piece_.texts += text;
    return stored;
}

void CTextDealer::Finish() {
    const std::u32string_view texts = piece_.texts;
    piece_.glyphs.reserve(glyphs_.size());
    for (size_t i = 0; i < glyphs_.size(); ++i) {
        const HarfBuzzGlyph& glyph = glyphs_[i];
        piece_.glyphs.push_back({glyph.glyph, glyph.x, glyph.y, texts.substr(texts_[i].at, texts_[i].length), 0, {}});
    }
    for (const SpanRef& span : spans_) {
        ShapedGlyph& first = piece_.glyphs[span.first];
        first.spanGlyphs = static_cast<uint32_t>(span.count);
        first.spanText = texts.substr(span.text.at, span.text.length);
    }
}
