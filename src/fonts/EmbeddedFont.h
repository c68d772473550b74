#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "fonts/TextShaper.h"

class COutputWriter;

// A font file embedded for the run's shaped text: a subset holding only the
// glyphs the pages use (glyph numbers kept, so that they serve as the CIDs),
// as a Type 0 font with Identity-H encoding, a CIDFontType2 descendant (a
// CIDFontType0 one over an OpenType file for fonts with CFF outlines), its
// /W widths and a /ToUnicode map.
class CEmbeddedFont {
public:
    explicit CEmbeddedFont(const CTextShaper& shaper) : shaper_(shaper) {}

    // Adds the run's glyphs (and the characters they stand for) to the subset.
    void Use(const ShapedRun& run);
    // Writes the font file, its descriptor, the descendant font, the
    // /ToUnicode map and the Type 0 font, in this order; returns the number of
    // the Type 0 font. Throws CPdfException("Font subset error") when
    // HarfBuzz cannot subset the font.
    int32_t WriteObjects(COutputWriter& writer, std::string_view resourceName) const;

    // The operators between "Tf" and "ET" that draw the run at `fontSize`:
    // glyph strings with the shaped positions (TJ adjustments, Ts for raised
    // or lowered glyphs). A left-to-right run whose glyphs were reordered or
    // merged goes in a marked-content span whose /ActualText is `typed`, so
    // that copying gives back exactly what was typed; right-to-left text is
    // left to the /ToUnicode map, as readers expect.
    std::string ShowOperators(const ShapedRun& run, int32_t fontSize,
                              const std::function<std::u32string()>& typed) const;

    // The run's advance in thousandths of the font size.
    int32_t WidthSum(const ShapedRun& run) const;

    // The PDF version the font and the drawing of the runs used need: "1.6"
    // for an OpenType font file (CFF outlines), "1.5" when a run is drawn in a
    // span with /ActualText, nothing otherwise.
    std::string_view RequiredVersion() const;

private:
    // Whether the /ToUnicode map alone gives back the run's text: every glyph
    // stands for its own characters, and for the same ones wherever it is used.
    bool MapsAsShown(const ShapedRun& run) const;
    // Whether the run is drawn in a span with /ActualText.
    bool NeedsActualText(const ShapedRun& run) const;
    // A glyph's width in the /W array, in thousandths of the em.
    int32_t GlyphWidth(uint32_t glyph) const;
    std::string SubsetFontFile(bool& cff) const;
    // The font's name in the file: a tag for the subset, "+", its PostScript name.
    std::string SubsetName(const std::vector<uint32_t>& used) const;
    // The objects WriteObjects writes, each returning its number.
    static int32_t WriteFontFile(COutputWriter& writer, const std::string& file, bool cff);
    int32_t WriteDescriptor(COutputWriter& writer, const std::string& name, bool cff, int32_t fontFileNumber) const;
    int32_t WriteDescendant(COutputWriter& writer, const std::string& name, bool cff, int32_t descriptorNumber,
                            const std::vector<uint32_t>& used) const;
    int32_t WriteToUnicode(COutputWriter& writer, const std::vector<uint32_t>& used) const;

    const CTextShaper& shaper_;
    std::vector<uint32_t> UsedGlyphs() const;

    // By glyph number: whether the run uses it, and the characters it stands
    // for (the first non-empty text seen).
    std::vector<bool> used_;
    std::vector<std::u32string> texts_;
    // A run used so far is drawn in a span with /ActualText.
    bool actualText_ = false;
};
