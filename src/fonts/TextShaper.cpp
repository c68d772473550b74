#include "fonts/TextShaper.h"

#include <harfbuzz/hb.h>
#include <algorithm>
#include <filesystem>

#include "base/CPdfException.h"

namespace {

enum class BidiClass { Left, Right, Number, Neutral };

BidiClass ClassOf(char32_t c) {
    hb_unicode_funcs_t* funcs = hb_unicode_funcs_get_default();
    if (hb_unicode_general_category(funcs, c) == HB_UNICODE_GENERAL_CATEGORY_DECIMAL_NUMBER) return BidiClass::Number;
    const hb_script_t script = hb_unicode_script(funcs, c);
    if (script == HB_SCRIPT_COMMON || script == HB_SCRIPT_INHERITED || script == HB_SCRIPT_UNKNOWN) {
        return BidiClass::Neutral;
    }
    return hb_script_get_horizontal_direction(script) == HB_DIRECTION_RTL ? BidiClass::Right : BidiClass::Left;
}

// Embedding levels of a single paragraph without explicit embeddings: strong
// letters by script, European-style numbers after left-to-right text count as
// left-to-right, neutrals take the direction around them or the paragraph's.
std::vector<int> ResolveLevels(std::u32string_view text) {
    std::vector<BidiClass> classes(text.size());
    BidiClass paragraph = BidiClass::Neutral;
    for (size_t i = 0; i < text.size(); ++i) {
        classes[i] = ClassOf(text[i]);
        if (paragraph == BidiClass::Neutral && classes[i] != BidiClass::Neutral && classes[i] != BidiClass::Number) {
            paragraph = classes[i];
        }
    }
    if (paragraph == BidiClass::Neutral) paragraph = BidiClass::Left;
    BidiClass strong = paragraph;
    for (BidiClass& c : classes) {
        if (c == BidiClass::Left || c == BidiClass::Right) strong = c;
        if (c == BidiClass::Number && strong == BidiClass::Left) c = BidiClass::Left;
    }
    const auto direction = [](BidiClass c) { return c == BidiClass::Number ? BidiClass::Right : c; };
    for (size_t i = 0; i < classes.size();) {
        if (classes[i] != BidiClass::Neutral) {
            ++i;
            continue;
        }
        size_t end = i;
        while (end < classes.size() && classes[end] == BidiClass::Neutral) ++end;
        const BidiClass before = i == 0 ? paragraph : direction(classes[i - 1]);
        const BidiClass after = end == classes.size() ? paragraph : direction(classes[end]);
        std::fill(classes.begin() + static_cast<std::ptrdiff_t>(i), classes.begin() + static_cast<std::ptrdiff_t>(end),
                  before == after ? before : paragraph);
        i = end;
    }
    const int base = paragraph == BidiClass::Right ? 1 : 0;
    std::vector<int> levels(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const BidiClass c = classes[i];
        if (base == 0) {
            levels[i] = c == BidiClass::Left ? 0 : c == BidiClass::Right ? 1 : 2;
        } else {
            levels[i] = c == BidiClass::Right ? 1 : 2;
        }
    }
    return levels;
}

}  // namespace

bool IsIgnorableCharacter(char32_t c) {
    return c < 0x20 || c == 0x7F || (c >= 0x200B && c <= 0x200F) || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2060 && c <= 0x2064) || c == 0xFEFF || (c >= 0xFE00 && c <= 0xFE0F) || c == 0x00AD;
}

void PrepareShaping() {
    hb_language_get_default();
    hb_unicode_funcs_get_default();
}

void CTextShaper::Release::operator()(hb_blob_t* blob) const { hb_blob_destroy(blob); }
void CTextShaper::Release::operator()(hb_face_t* face) const { hb_face_destroy(face); }
void CTextShaper::Release::operator()(hb_font_t* font) const { hb_font_destroy(font); }
void CTextShaper::Release::operator()(hb_buffer_t* buffer) const { hb_buffer_destroy(buffer); }

CTextShaper::CTextShaper(const std::string& path, uint32_t faceIndex) {
    // Only a regular file: a device or a pipe could be read without end.
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) throw CPdfException("Font file open error");
    blob_.reset(hb_blob_create_from_file_or_fail(path.c_str()));
    if (!blob_ || faceIndex >= hb_face_count(blob_.get())) throw CPdfException("Font file open error");
    face_.reset(hb_face_create(blob_.get(), faceIndex));
    if (hb_face_get_glyph_count(face_.get()) == 0) throw CPdfException("Font file open error");
    font_.reset(hb_font_create(face_.get()));
    buffer_.reset(hb_buffer_create());
    const unsigned upem = hb_face_get_upem(face_.get());
    unitsPerEm_ = upem >= 16 && upem <= 16384 ? static_cast<int32_t>(upem) : 1000;
}

CTextShaper::~CTextShaper() = default;

bool CTextShaper::Covers(std::u32string_view text) const {
    for (const char32_t c : text) {
        hb_codepoint_t glyph = 0;
        if (!IsIgnorableCharacter(c) && !hb_font_get_nominal_glyph(font_.get(), c, &glyph)) return false;
    }
    return true;
}

int32_t CTextShaper::NominalAdvance(uint32_t glyph) const { return hb_font_get_glyph_h_advance(font_.get(), glyph); }

ShapedRun CTextShaper::Shape(std::u32string_view text) const {
    const std::vector<int> levels = ResolveLevels(text);
    struct Run {
        size_t start, length;
        int level;
    };
    std::vector<Run> runs;
    for (size_t i = 0; i < text.size(); ++i) {
        if (runs.empty() || runs.back().level != levels[i]) {
            runs.push_back({i, 0, levels[i]});
        }
        ++runs.back().length;
    }
    // Runs at each level and above, from the highest down to the lowest odd
    // level, are turned around as a whole.
    int highest = 0;
    int lowestOdd = 3;
    for (const Run& run : runs) {
        highest = std::max(highest, run.level);
        if (run.level % 2 == 1) lowestOdd = std::min(lowestOdd, run.level);
    }
    for (int level = highest; level >= lowestOdd; --level) {
        for (size_t i = 0; i < runs.size();) {
            if (runs[i].level < level) {
                ++i;
                continue;
            }
            size_t end = i;
            while (end < runs.size() && runs[end].level >= level) ++end;
            std::reverse(runs.begin() + static_cast<std::ptrdiff_t>(i),
                         runs.begin() + static_cast<std::ptrdiff_t>(end));
            i = end;
        }
    }
    ShapedRun out;
    out.glyphs.reserve(text.size() + 4);
    out.rightToLeft = lowestOdd <= highest;
    for (const Run& run : runs) ShapeRun(text, run.start, run.length, run.level % 2 == 1, out);
    return out;
}

// A run is shaped in pieces: each ASCII digit by itself and the text between
// them as a whole, with its neighbours as context. Page texts differ in their
// digits only, so a run of thousands of pages shapes a few dozen pieces; only
// kerning between a digit and its neighbour is given up.
void CTextShaper::ShapeRun(std::u32string_view text, size_t start, size_t length, bool rightToLeft,
                           ShapedRun& out) const {
    const auto isDigit = [](char32_t c) { return c >= U'0' && c <= U'9'; };
    std::vector<std::pair<size_t, size_t>> pieces;
    for (size_t at = start; at < start + length;) {
        size_t end = at + 1;
        if (!isDigit(text[at])) {
            while (end < start + length && !isDigit(text[end])) ++end;
        }
        pieces.emplace_back(at, end - at);
        at = end;
    }
    if (rightToLeft) std::reverse(pieces.begin(), pieces.end());
    for (const auto& [at, count] : pieces) {
        key_.assign(1, rightToLeft ? U'R' : U'L');
        if (!isDigit(text[at])) {
            key_ += at > 0 ? text[at - 1] : char32_t{0};
            key_ += at + count < text.size() ? text[at + count] : char32_t{0};
        }
        key_ += text.substr(at, count);
        auto found = pieces_.find(key_);
        if (found == pieces_.end()) {
            found = pieces_.emplace(key_, Piece{}).first;
            ShapePiece(text, at, count, rightToLeft, found->second);
        }
        for (const ShapedGlyph& glyph : found->second.glyphs) {
            out.advance += glyph.advance;
            out.glyphs.push_back(glyph);
        }
    }
}

void CTextShaper::ShapePiece(std::u32string_view text, size_t start, size_t length, bool rightToLeft,
                             Piece& piece) const {
    // The glyphs' texts point into the piece's own copy, which stays in place
    // in the cache.
    piece.text = text.substr(start, length);
    hb_buffer_t* buffer = buffer_.get();
    hb_buffer_clear_contents(buffer);
    hb_buffer_add_utf32(buffer, reinterpret_cast<const uint32_t*>(text.data()), static_cast<int>(text.size()),
                        static_cast<unsigned>(start), static_cast<int>(length));
    hb_buffer_set_direction(buffer, rightToLeft ? HB_DIRECTION_RTL : HB_DIRECTION_LTR);
    hb_buffer_guess_segment_properties(buffer);
    hb_shape(font_.get(), buffer, nullptr, 0);
    unsigned count = 0;
    const hb_glyph_info_t* infos = hb_buffer_get_glyph_infos(buffer, &count);
    const hb_glyph_position_t* positions = hb_buffer_get_glyph_positions(buffer, &count);
    std::vector<uint32_t> starts;
    for (unsigned i = 0; i < count; ++i) starts.push_back(infos[i].cluster);
    std::sort(starts.begin(), starts.end());
    starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
    // A cluster's text goes to its widest glyph, the base rather than a mark
    // placed on it (the first of equals).
    const auto clusterOf = [&](unsigned i) {
        return static_cast<size_t>(std::lower_bound(starts.begin(), starts.end(), infos[i].cluster) - starts.begin());
    };
    std::vector<int> named(starts.size(), -1);
    for (unsigned i = 0; i < count; ++i) {
        int& best = named[clusterOf(i)];
        if (best < 0 || positions[i].x_advance > positions[best].x_advance) best = static_cast<int>(i);
    }
    std::vector<ShapedGlyph>& glyphs = piece.glyphs;
    glyphs.reserve(count);
    const std::u32string_view own = piece.text;
    for (unsigned i = 0; i < count; ++i) {
        ShapedGlyph glyph;
        glyph.glyph = infos[i].codepoint;
        glyph.advance = positions[i].x_advance;
        glyph.xOffset = positions[i].x_offset;
        glyph.yOffset = positions[i].y_offset;
        const size_t index = clusterOf(i);
        if (named[index] == static_cast<int>(i)) {
            const size_t end = index + 1 < starts.size() ? starts[index + 1] : start + length;
            glyph.text = own.substr(infos[i].cluster - start, end - infos[i].cluster);
        }
        glyphs.push_back(glyph);
    }
}
