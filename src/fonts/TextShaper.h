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

// One glyph of a shaped piece, in the font's units.
struct ShapedGlyph {
    uint32_t glyph = 0;
    // Its origin from the piece's left edge (the pen position plus the
    // shaped offset), and how far it is raised.
    int32_t x = 0;
    int32_t yOffset = 0;
    // What it reads back as: the character it draws, a mark, the sequence of
    // a ligature. Where glyphs cannot be matched to characters one by one (a
    // vowel drawn before its consonant, a character drawn in parts) the
    // characters are dealt out to the glyphs in their drawing order, so that
    // together they read as typed. Characters that draw nothing (other than
    // the joiners) are left out.
    std::u32string_view text;
    // On the first glyph of a span that needs a marked-content /ActualText
    // (dealt-out characters; a right-to-left letter and its marks): the
    // number of glyphs in it, and its text as typed.
    uint32_t spanGlyphs = 0;
    std::u32string_view spanText;
};

// Some characters shaped in one direction: the glyphs in reading order (a
// right-to-left piece is not turned around; glyphs whose characters were
// reordered keep the order they are seen in), and the sum of the advances.
// The texts point into the piece, which the shaper keeps.
struct ShapedPiece {
    std::vector<ShapedGlyph> glyphs;
    int64_t advance = 0;
    std::u32string texts;
};

// A TrueType or OpenType font with outline glyphs, read from a file and
// shaped with HarfBuzz.
class CTextShaper {
public:
    // Throws CPdfException with what is wrong: the file cannot be read, is a
    // directory, a Type 1 font or no TrueType/OpenType font or collection,
    // has no face `faceIndex` (the message gives the number of faces), or has
    // no outline glyphs (a colour bitmap font).
    CTextShaper(const std::string& path, int32_t faceIndex);
    ~CTextShaper();
    CTextShaper(const CTextShaper&) = delete;
    CTextShaper& operator=(const CTextShaper&) = delete;

    // Whether the font maps the character (those that draw nothing need not be).
    bool Covers(char32_t c) const;
    // The language (a BCP 47 tag, "" for none) that chooses language-specific forms.
    void SetLanguage(const std::string& language);
    // The characters start to start + length - 1 of `text`, shaped with the
    // characters around them as context. Pieces are kept: a run of thousands
    // of pages shapes each distinct piece once.
    const ShapedPiece& Shape(std::u32string_view text, size_t start, size_t length, bool rightToLeft) const;

    int32_t unitsPerEm() const { return unitsPerEm_; }
    int32_t NominalAdvance(uint32_t glyph) const;
    // Whether the outlines are CFF (embedded as OpenType) rather than TrueType.
    bool IsCff() const;
    hb_face_t* face() const { return face_.get(); }
    hb_font_t* font() const { return font_.get(); }

private:
    void ShapeInto(std::u32string_view text, size_t start, size_t length, bool rightToLeft, ShapedPiece& piece) const;
    void Open(const std::string& path, int32_t faceIndex);

    struct Release {
        void operator()(hb_blob_t* blob) const;
        void operator()(hb_face_t* face) const;
        void operator()(hb_font_t* font) const;
        void operator()(hb_buffer_t* buffer) const;
    };
    std::unique_ptr<hb_blob_t, Release> blob_;
    std::unique_ptr<hb_face_t, Release> face_;
    std::unique_ptr<hb_font_t, Release> font_;
    // Reused from piece to piece.
    std::unique_ptr<hb_buffer_t, Release> buffer_;
    int32_t unitsPerEm_ = 1000;
    std::string language_;
    // Shaped pieces by direction, context and text.
    mutable std::unordered_map<std::u32string, ShapedPiece> pieces_;
    mutable std::u32string key_;
};

// Sets up what HarfBuzz keeps for the whole process (its default language and
// Unicode functions), which it otherwise does on first use: a program that
// shapes on several threads calls it before they start, so that they only read it.
void PrepareShaping();
