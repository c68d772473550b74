#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct hb_blob_t;
struct hb_face_t;
struct hb_font_t;
struct hb_buffer_t;

// One glyph of a shaped line, in the font's units.
struct ShapedGlyph {
    uint32_t glyph = 0;
    int32_t advance = 0;
    int32_t xOffset = 0;
    int32_t yOffset = 0;
    // The characters the glyph stands for: its cluster's text on the cluster's
    // widest glyph, nothing on the others. It points into the shaper, which
    // outlives every run it shapes.
    std::u32string_view text;
};

// A line shaped for drawing: the glyphs left to right as they are seen
// (right-to-left runs already turned), and the sum of their advances.
struct ShapedRun {
    std::vector<ShapedGlyph> glyphs;
    int64_t advance = 0;
    // Some of it runs right to left.
    bool rightToLeft = false;
};

// A TrueType or OpenType font read from a file, shaped with HarfBuzz.
class CTextShaper {
public:
    // Throws CPdfException("Font file open error") when the file cannot be
    // read or holds no font at `faceIndex`.
    CTextShaper(const std::string& path, uint32_t faceIndex);
    ~CTextShaper();
    CTextShaper(const CTextShaper&) = delete;
    CTextShaper& operator=(const CTextShaper&) = delete;

    // Whether the font maps every character that needs a glyph.
    bool Covers(std::u32string_view text) const;
    // The line in visual order: right-to-left runs (Hebrew, Arabic and the
    // like) found by a simple bidirectional pass, each run shaped by itself
    // with its neighbours as context.
    ShapedRun Shape(std::u32string_view text) const;

    int32_t unitsPerEm() const { return unitsPerEm_; }
    int32_t NominalAdvance(uint32_t glyph) const;
    hb_face_t* face() const { return face_.get(); }
    hb_font_t* font() const { return font_.get(); }

private:
    void ShapeRun(std::u32string_view text, size_t start, size_t length, bool rightToLeft, ShapedRun& out) const;
    struct Piece {
        std::u32string text;
        std::vector<ShapedGlyph> glyphs;
    };
    void ShapePiece(std::u32string_view text, size_t start, size_t length, bool rightToLeft, Piece& piece) const;

    struct Release {
        void operator()(hb_blob_t* blob) const;
        void operator()(hb_face_t* face) const;
        void operator()(hb_font_t* font) const;
        void operator()(hb_buffer_t* buffer) const;
    };
    std::unique_ptr<hb_blob_t, Release> blob_;
    std::unique_ptr<hb_face_t, Release> face_;
    std::unique_ptr<hb_font_t, Release> font_;
    // Reused from run to run.
    std::unique_ptr<hb_buffer_t, Release> buffer_;
    int32_t unitsPerEm_ = 1000;
    // Shaped pieces by direction, context and text.
    mutable std::unordered_map<std::u32string, Piece> pieces_;
    mutable std::u32string key_;
};

// Characters that draw nothing and that fonts need not hold (control
// characters, joiners, marks of direction, variation selectors).
bool IsIgnorableCharacter(char32_t c);

// Sets up what HarfBuzz keeps for the whole process (its default language and
// Unicode functions), which it otherwise does on first use: a program that
// shapes on several threads calls it before they start, so that they only read it.
void PrepareShaping();
