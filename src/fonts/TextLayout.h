#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "fonts/BidiRuns.h"
#include "fonts/FontFinder.h"
#include "fonts/TextShaper.h"

// A glyph of a laid-out line: the shaped glyph (which the shaper keeps), the
// font it comes from (counted in the layout's fonts) and its origin from the
// line's start, in thousandths of the font size.
struct PlacedGlyph {
    const ShapedGlyph* shaped = nullptr;
    uint32_t font = 0;
    double x = 0;
};

// A line ready to draw: its glyphs in reading order (right-to-left runs are
// not turned around: each glyph's place is in `x`), and its advance in
// thousandths of the font size.
struct ShapedLine {
    std::vector<PlacedGlyph> glyphs;
    double advance = 0;
};

// The fonts a run draws with, and lines laid out in them: bidirectional runs
// in the order they are seen, each character from the first font that has
// it (a character and the marks on it from one font where one has them all),
// each stretch of one font and direction shaped by itself.
class CTextLayout {
public:
    // `language` is a BCP 47 tag for fontconfig and HarfBuzz, or "" for none.
    explicit CTextLayout(std::string language);
    ~CTextLayout();
    CTextLayout(const CTextLayout&) = delete;
    CTextLayout& operator=(const CTextLayout&) = delete;

    // Puts a font file first (-fontfile); throws as CTextShaper does.
    void AddFontFile(const std::string& path, int32_t faceIndex);
    // Adds the fonts fontconfig offers for the characters that the fonts so
    // far lack, the closest to `family` first, each only if it has one of them.
    void CoverCharacters(std::u32string_view characters, std::string_view family);
    // The first character of `text` that no font has.
    std::optional<char32_t> FirstMissing(std::u32string_view text) const;

    ShapedLine Lay(std::u32string_view text) const;

    size_t fontCount() const { return fonts_.size(); }
    const CTextShaper& font(size_t index) const { return *fonts_[index]; }

private:
    // The font of each character of `text`.
    std::vector<uint32_t> FontsOf(std::u32string_view text) const;
    // The first font that has all of `characters`.
    std::optional<uint32_t> FontFor(std::u32string_view characters) const;
    // The fonts that have the character, one bit each.
    uint64_t Coverage(char32_t c) const;
    // The line's bidirectional runs, found once for texts that differ in
    // their digits only.
    const std::vector<BidiRun>& RunsOf(std::u32string_view text) const;
    // Shapes a stretch of one font and direction in pieces, placed from
    // `pen` on.
    struct Pen;
    struct PlacedPiece;
    void Place(std::u32string_view text, size_t start, size_t length, bool rightToLeft, uint32_t font, Pen& pen,
               std::vector<PlacedPiece>& pieces) const;

    std::string language_;
    std::vector<std::unique_ptr<CTextShaper>> fonts_;
    std::vector<FontLocation> locations_;
    mutable std::unordered_map<char32_t, uint64_t> coverage_;
    mutable std::unordered_map<std::u32string, std::vector<BidiRun>> runs_;
    mutable std::u32string key_;
};

// The language a text is most likely in when no -lang is given, where its
// script tells: Japanese for kana, Korean for Hangul; "" otherwise.
std::string GuessLanguage(std::u32string_view text);
