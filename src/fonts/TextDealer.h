#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "fonts/TextShaper.h"

// A glyph as HarfBuzz gives it, placed from the piece's left edge; its
// cluster counted from the piece's first character.
struct HarfBuzzGlyph {
    uint32_t glyph = 0;
    uint32_t cluster = 0;
    // In the font's units: its origin, and how far the pen moves after it.
    int32_t x = 0;
    int32_t y = 0;
    int32_t advance = 0;
};

// Deals a piece's characters out to its glyphs, taken in reading order, and
// marks the spans that need an /ActualText (see ShapedGlyph).
class CTextDealer {
public:
    // `characters` are the piece's, `glyphs` HarfBuzz's for them.
    CTextDealer(std::u32string_view characters, std::vector<HarfBuzzGlyph> glyphs, ShapedPiece& piece)
        : characters_(characters), glyphs_(std::move(glyphs)), piece_(piece), texts_(glyphs_.size()) {}

    // Fills the piece's glyphs: their texts and spans.
    void Deal(bool rightToLeft);

private:
    struct TextRef {
        size_t at = 0, length = 0;
    };
    struct SpanRef {
        size_t first = 0, count = 0;
        TextRef text;
    };

    // Where a glyph's characters start: characters that draw nothing (a
    // joiner) go with the character before them.
    size_t Boundary(size_t at) const;

    // The glyphs begin to end - 1 draw the characters from to to - 1.
    void Group(size_t begin, size_t end, size_t from, size_t to);

    // Gives the glyphs begin to end - 1 the characters, one each in order
    // (the last takes the rest), characters taken apart into their canonical
    // parts where there are more glyphs than characters. Whether each glyph
    // got its very own characters.
    bool Share(std::u32string_view characters, size_t begin, size_t end);

    // Marks the glyphs begin to end - 1 for an /ActualText of the characters.
    void Span(size_t begin, size_t end, std::u32string_view characters);

    // A right-to-left letter and what is drawn on it without advancing (its
    // marks, the alef of a lam-alef), read one by one in reading order, come
    // out in pieces or turned around from extractors that place characters
    // by where they are drawn. They are drawn as they are seen instead, their
    // characters dealt out in that order, in a span that gives their text.
    void MarkLetters();

    // Keeps a text in the piece.
    TextRef Store(std::u32string_view text);
    // Gives the piece its glyphs, their texts and spans.
    void Finish();

    std::u32string_view characters_;
    std::vector<HarfBuzzGlyph> glyphs_;
    ShapedPiece& piece_;
    std::vector<TextRef> texts_;
    std::vector<SpanRef> spans_;
};
