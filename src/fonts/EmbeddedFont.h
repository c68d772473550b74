#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "fonts/TextShaper.h"

class COutputWriter;

// A font file embedded for the run's shaped text: a subset holding only the
// glyphs the pages use, as a Type 0 font with Identity-H encoding, a
// CIDFontType2 descendant (a CIDFontType0 one over an OpenType file for fonts
// with CFF outlines), its /W widths and a /ToUnicode map.
//
// The /ToUnicode map is true wherever a glyph is used: in a TrueType font a
// glyph gets a code of its own for each text it stands for (codes 1, 2, ...,
// which /CIDToGIDMap leads to the glyphs, numbered afresh in the subset), so that a glyph drawn for different
// characters in different places reads back as each. A CFF font's codes are
// its glyph numbers; there a glyph's map gives the first text seen, and the
// places that stand for another need a marked-content /ActualText.
class CEmbeddedFont {
public:
    explicit CEmbeddedFont(const CTextShaper& shaper);

    // A code for the glyph standing for `text` (made on first use). Throws
    // CPdfException when a TrueType font runs out of codes.
    void Use(uint32_t glyph, std::u32string_view text);
    // The code of a glyph used before, and whether the /ToUnicode map gives
    // `text` for it.
    struct Code {
        uint16_t code = 0;
        bool mapsAsShown = false;
    };
    Code CodeOf(uint32_t glyph, std::u32string_view text) const;
    bool used() const { return used_; }

    // Writes the font file, its descriptor, the /CIDToGIDMap, the descendant
    // font, the /ToUnicode map and the Type 0 font, in this order; returns
    // the number of the Type 0 font. Throws CPdfException("Font subset
    // error") when HarfBuzz cannot subset the font.
    int32_t WriteObjects(COutputWriter& writer, std::string_view resourceName) const;

    // The width a code is shown with in the /W array, in thousandths of the em.
    int32_t CodeWidth(uint16_t code) const { return widths_[code]; }
    const CTextShaper& shaper() const { return shaper_; }

private:
    // The used glyphs, ascending.
    std::vector<uint32_t> UsedGlyphs() const;
    // The subset's file, and the glyph each code draws in it.
    std::string SubsetFontFile(const std::vector<uint32_t>& glyphs, std::vector<uint32_t>& codeGlyphs) const;
    // The font's name in the file: a tag for the subset, "+", its PostScript name.
    std::string SubsetName(const std::vector<uint32_t>& used) const;
    // The objects WriteObjects writes, each returning its number.
    int32_t WriteFontFile(COutputWriter& writer, const std::string& file) const;
    int32_t WriteDescriptor(COutputWriter& writer, const std::string& name, int32_t fontFileNumber) const;
    static int32_t WriteCodeMap(COutputWriter& writer, const std::vector<uint32_t>& codeGlyphs);
    int32_t WriteDescendant(COutputWriter& writer, const std::string& name, int32_t descriptorNumber,
                            const std::vector<uint32_t>& codeGlyphs) const;
    int32_t WriteToUnicode(COutputWriter& writer) const;
    void Key(uint32_t glyph, std::u32string_view text) const;

    const CTextShaper& shaper_;
    const bool cff_;
    bool used_ = false;
    // By code: its glyph, its text and its width; a CFF font's codes are its
    // glyph numbers, unused ones with the glyph 0.
    std::vector<uint32_t> glyphs_;
    std::vector<std::u32string> texts_;
    std::vector<int32_t> widths_;
    // A TrueType font's codes by glyph and text.
    std::unordered_map<std::u32string, uint16_t> codes_;
    mutable std::u32string key_;
};
