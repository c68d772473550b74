#include "fonts/TextShaper.h"

#include <harfbuzz/hb.h>
#include <algorithm>
#include <filesystem>

#include "base/CPdfException.h"
#include "fonts/CharacterClasses.h"
#include "fonts/TextDealer.h"
#include "writer/NumberFormat.h"

namespace {

bool HasTable(hb_face_t* face, hb_tag_t tag) {
    hb_blob_t* table = hb_face_reference_table(face, tag);
    const bool present = hb_blob_get_length(table) > 0;
    hb_blob_destroy(table);
    return present;
}

// The file's first bytes mark a Type 1 font: PFA text or a PFB segment.
bool IsType1(std::string_view head) {
    return head.starts_with("%!PS-AdobeFont") || head.starts_with("%!FontType1") || head.starts_with("\x80\x01");
}

// HarfBuzz's glyphs for the piece in reading order (a right-to-left piece's
// turned back), placed from its left edge.
std::vector<HarfBuzzGlyph> RunHarfBuzz(hb_font_t* font, hb_buffer_t* buffer, const std::string& language,
                                       std::u32string_view text, size_t start, size_t length, bool rightToLeft,
                                       int64_t& advance) {
    hb_buffer_clear_contents(buffer);
    hb_buffer_add_utf32(buffer, reinterpret_cast<const uint32_t*>(text.data()), static_cast<int>(text.size()),
                        static_cast<unsigned>(start), static_cast<int>(length));
    hb_buffer_set_direction(buffer, rightToLeft ? HB_DIRECTION_RTL : HB_DIRECTION_LTR);
    // Each character keeps its own cluster wherever the font allows, so that
    // a glyph can be given the very character it draws.
    hb_buffer_set_cluster_level(buffer, HB_BUFFER_CLUSTER_LEVEL_CHARACTERS);
    hb_buffer_set_flags(buffer, HB_BUFFER_FLAG_REMOVE_DEFAULT_IGNORABLES);
    if (!language.empty()) hb_buffer_set_language(buffer, hb_language_from_string(language.c_str(), -1));
    hb_buffer_guess_segment_properties(buffer);
    hb_shape(font, buffer, nullptr, 0);
    unsigned count = 0;
    const hb_glyph_info_t* infos = hb_buffer_get_glyph_infos(buffer, &count);
    const hb_glyph_position_t* positions = hb_buffer_get_glyph_positions(buffer, &count);
    std::vector<HarfBuzzGlyph> glyphs(count);
    int64_t pen = 0;
    for (unsigned i = 0; i < count; ++i) {
        HarfBuzzGlyph& glyph = glyphs[rightToLeft ? count - 1 - i : i];
        glyph = {infos[i].codepoint, static_cast<uint32_t>(infos[i].cluster - start),
                 static_cast<int32_t>(pen + positions[i].x_offset), positions[i].y_offset, positions[i].x_advance};
        pen += positions[i].x_advance;
    }
    advance = pen;
    return glyphs;
}

}  // namespace

void PrepareShaping() {
    hb_language_get_default();
    hb_unicode_funcs_get_default();
}

void CTextShaper::Release::operator()(hb_blob_t* blob) const { hb_blob_destroy(blob); }
void CTextShaper::Release::operator()(hb_face_t* face) const { hb_face_destroy(face); }
void CTextShaper::Release::operator()(hb_font_t* font) const { hb_font_destroy(font); }
void CTextShaper::Release::operator()(hb_buffer_t* buffer) const { hb_buffer_destroy(buffer); }

CTextShaper::CTextShaper(const std::string& path, int32_t faceIndex) {
    Open(path, faceIndex);
    font_.reset(hb_font_create(face_.get()));
    buffer_.reset(hb_buffer_create());
    const unsigned upem = hb_face_get_upem(face_.get());
    unitsPerEm_ = upem >= 16 && upem <= 16384 ? static_cast<int32_t>(upem) : 1000;
}

CTextShaper::~CTextShaper() = default;

void CTextShaper::Open(const std::string& path, int32_t faceIndex) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (std::filesystem::is_directory(status)) throw CPdfException("Font file is a directory, not a font file");
    // Only a regular file: a device or a pipe could be read without end.
    if (!std::filesystem::is_regular_file(status)) throw CPdfException("Font file open error");
    blob_.reset(hb_blob_create_from_file_or_fail(path.c_str()));
    if (!blob_) throw CPdfException("Font file open error");
    unsigned length = 0;
    const char* data = hb_blob_get_data(blob_.get(), &length);
    const unsigned faces = hb_face_count(blob_.get());
    if (faces == 0) {
        if (data != nullptr && IsType1(std::string_view(data, std::min(length, 64u)))) {
            throw CPdfException("Font file is a Type 1 font: give a TrueType or OpenType font");
        }
        throw CPdfException("Font file is not a TrueType or OpenType font or collection");
    }
    if (faceIndex < 0 || static_cast<unsigned>(faceIndex) >= faces) {
        throw CPdfException("Font file face " + FormatInt(faceIndex) + " is out of range: its faces are numbered 0 to " +
                            FormatInt(static_cast<int64_t>(faces) - 1));
    }
    face_.reset(hb_face_create(blob_.get(), static_cast<unsigned>(faceIndex)));
    if (hb_face_get_glyph_count(face_.get()) == 0) {
        throw CPdfException("Font file is not a TrueType or OpenType font or collection");
    }
    if (!HasTable(face_.get(), HB_TAG('g', 'l', 'y', 'f')) && !HasTable(face_.get(), HB_TAG('C', 'F', 'F', ' '))) {
        throw CPdfException("Font file has no outline glyphs (a colour bitmap font?): give a font with outlines");
    }
}

bool CTextShaper::IsCff() const { return HasTable(face_.get(), HB_TAG('C', 'F', 'F', ' ')); }

bool CTextShaper::Covers(char32_t c) const {
    hb_codepoint_t glyph = 0;
    return IsDefaultIgnorable(c) || hb_font_get_nominal_glyph(font_.get(), c, &glyph);
}

void CTextShaper::SetLanguage(const std::string& language) {
    if (language != language_) pieces_.clear();
    language_ = language;
}

int32_t CTextShaper::NominalAdvance(uint32_t glyph) const { return hb_font_get_glyph_h_advance(font_.get(), glyph); }

const ShapedPiece& CTextShaper::Shape(std::u32string_view text, size_t start, size_t length, bool rightToLeft) const {
    // A piece that is one digit is shaped without context, so that the pages'
    // numbers share their pieces; other pieces know the characters next to them.
    const bool digit = length == 1 && text[start] >= U'0' && text[start] <= U'9';
    key_.assign(1, rightToLeft ? U'R' : U'L');
    if (!digit) {
        key_ += start > 0 ? text[start - 1] : char32_t{0};
        key_ += start + length < text.size() ? text[start + length] : char32_t{0};
    }
    key_ += text.substr(start, length);
    auto found = pieces_.find(key_);
    if (found == pieces_.end()) {
        found = pieces_.emplace(key_, ShapedPiece{}).first;
        ShapeInto(digit ? text.substr(start, 1) : text, digit ? 0 : start, length, rightToLeft, found->second);
    }
    return found->second;
}

void CTextShaper::ShapeInto(std::u32string_view text, size_t start, size_t length, bool rightToLeft,
                            ShapedPiece& piece) const {
    CTextDealer(text.substr(start, length),
                RunHarfBuzz(font_.get(), buffer_.get(), language_, text, start, length, rightToLeft, piece.advance),
                piece)
        .Deal(rightToLeft);
}
