#include "fonts/TextLayout.h"

#include <algorithm>
#include <bit>

#include "base/CPdfException.h"
#include "fonts/BidiRuns.h"
#include "fonts/CharacterClasses.h"

namespace {

constexpr uint32_t kNoFont = UINT32_MAX;
// The fonts a run may draw with, one bit each in a coverage mask.
constexpr size_t kMostFonts = 64;

bool IsDigit(char32_t c) { return c >= U'0' && c <= U'9'; }

}  // namespace

// Where the next glyph goes: the place where the font last changed, in
// thousandths of the font size, and the font units since then (so that a
// line in one font is placed in its own units, as exactly as they allow).
struct CTextLayout::Pen {
    uint32_t font = kNoFont;
    double base = 0;
    int64_t units = 0;
};

// A shaped piece and where its glyphs go.
struct CTextLayout::PlacedPiece {
    size_t start = 0;
    size_t length = 0;
    const ShapedPiece* piece = nullptr;
    uint32_t font = 0;
    double base = 0;
    int64_t units = 0;
};

CTextLayout::CTextLayout(std::string language) : language_(std::move(language)) {}
CTextLayout::~CTextLayout() = default;

void CTextLayout::AddFontFile(const std::string& path, int32_t faceIndex) {
    coverage_.clear();
    fonts_.insert(fonts_.begin(), std::make_unique<CTextShaper>(path, faceIndex));
    fonts_.front()->SetLanguage(language_);
    locations_.insert(locations_.begin(), {path, faceIndex});
}

void CTextLayout::CoverCharacters(std::u32string_view characters, std::string_view family) {
    std::u32string missing;
    for (const char32_t c : characters) {
        if (!FontFor(std::u32string_view(&c, 1)) && missing.find(c) == std::u32string::npos) missing.push_back(c);
    }
    if (missing.empty()) return;
    coverage_.clear();
    for (const FontLocation& location : FindFontsFor(missing, family, language_)) {
        const auto same = [&location](const FontLocation& other) {
            return other.path == location.path && other.faceIndex == location.faceIndex;
        };
        if (fonts_.size() >= kMostFonts) return;
        if (std::any_of(locations_.begin(), locations_.end(), same)) continue;
        std::unique_ptr<CTextShaper> shaper;
        try {
            shaper = std::make_unique<CTextShaper>(location.path, location.faceIndex);
        } catch (const CPdfException&) {
            continue;
        }
        std::u32string still;
        for (const char32_t c : missing) {
            if (!shaper->Covers(c)) still.push_back(c);
        }
        if (still.size() == missing.size()) continue;
        shaper->SetLanguage(language_);
        fonts_.push_back(std::move(shaper));
        locations_.push_back(location);
        missing = still;
        if (missing.empty()) return;
    }
}

std::optional<char32_t> CTextLayout::FirstMissing(std::u32string_view text) const {
    for (const char32_t c : text) {
        if (!FontFor(std::u32string_view(&c, 1))) return c;
    }
    return std::nullopt;
}

uint64_t CTextLayout::Coverage(char32_t c) const {
    auto found = coverage_.find(c);
    if (found == coverage_.end()) {
        uint64_t fonts = 0;
        for (size_t font = 0; font < fonts_.size(); ++font) {
            if (fonts_[font]->Covers(c)) fonts |= uint64_t{1} << font;
        }
        found = coverage_.emplace(c, fonts).first;
    }
    return found->second;
}

std::optional<uint32_t> CTextLayout::FontFor(std::u32string_view characters) const {
    uint64_t fonts = ~uint64_t{0};
    for (const char32_t c : characters) fonts &= Coverage(c);
    if (fonts == 0) return std::nullopt;
    return static_cast<uint32_t>(std::countr_zero(fonts));
}

const std::vector<BidiRun>& CTextLayout::RunsOf(std::u32string_view text) const {
    // All ASCII digits resolve alike: the pages' texts share their runs.
    key_.assign(text);
    for (char32_t& c : key_) c = IsDigit(c) ? U'0' : c;
    auto found = runs_.find(key_);
    if (found == runs_.end()) found = runs_.emplace(key_, BidiRunsInVisualOrder(text)).first;
    return found->second;
}

std::vector<uint32_t> CTextLayout::FontsOf(std::u32string_view text) const {
    std::vector<uint32_t> fonts(text.size(), 0);
    for (size_t at = 0; at < text.size();) {
        size_t end = at + 1;
        while (end < text.size() && ContinuesCluster(text[end])) ++end;
        if (const std::optional<uint32_t> font = FontFor(text.substr(at, end - at))) {
            std::fill(fonts.begin() + static_cast<std::ptrdiff_t>(at), fonts.begin() + static_cast<std::ptrdiff_t>(end),
                      *font);
        } else {
            // No font has the character with all its marks: each from its own.
            for (size_t k = at; k < end; ++k) fonts[k] = FontFor(text.substr(k, 1)).value_or(0);
        }
        at = end;
    }
    return fonts;
}

ShapedLine CTextLayout::Lay(std::u32string_view text) const {
    const std::vector<uint32_t> fonts = FontsOf(text);
    Pen pen;
    std::vector<PlacedPiece> pieces;
    std::vector<std::pair<size_t, size_t>> stretches;
    for (const BidiRun& run : RunsOf(text)) {
        stretches.clear();
        for (size_t at = run.start; at < run.start + run.length;) {
            size_t end = at + 1;
            while (end < run.start + run.length && fonts[end] == fonts[at]) ++end;
            stretches.emplace_back(at, end - at);
            at = end;
        }
        if (run.rightToLeft) std::reverse(stretches.begin(), stretches.end());
        for (const auto& [at, count] : stretches) Place(text, at, count, run.rightToLeft, fonts[at], pen, pieces);
    }
    // Drawn in the order of the characters.
    std::sort(pieces.begin(), pieces.end(),
              [](const PlacedPiece& a, const PlacedPiece& b) { return a.start < b.start; });
    ShapedLine line;
    line.glyphs.reserve(text.size() + 4);
    for (const PlacedPiece& placed : pieces) {
        const double scale = 1000.0 / fonts_[placed.font]->unitsPerEm();
        for (const ShapedGlyph& glyph : placed.piece->glyphs) {
            const double x = placed.base + static_cast<double>(placed.units + glyph.x) * scale;
            line.glyphs.push_back({&glyph, placed.font, x});
        }
    }
    if (pen.font != kNoFont) {
        line.advance = pen.base + static_cast<double>(pen.units) * 1000.0 / fonts_[pen.font]->unitsPerEm();
    }
    return line;
}

// A stretch is shaped in pieces: each ASCII digit by itself and the text
// between them as a whole. Page texts differ in their digits only, so a run
// of thousands of pages shapes a few dozen pieces; only kerning between a
// digit and its neighbour is given up.
void CTextLayout::Place(std::u32string_view text, size_t start, size_t length, bool rightToLeft, uint32_t font,
                        Pen& pen, std::vector<PlacedPiece>& pieces) const {
    const CTextShaper& shaper = *fonts_[font];
    if (pen.font != font) {
        if (pen.font != kNoFont) pen.base += static_cast<double>(pen.units) * 1000.0 / fonts_[pen.font]->unitsPerEm();
        pen.font = font;
        pen.units = 0;
    }
    const size_t first = pieces.size();
    for (size_t at = start; at < start + length;) {
        size_t end = at + 1;
        if (!IsDigit(text[at])) {
            while (end < start + length && !IsDigit(text[end])) ++end;
        }
        pieces.push_back({at, end - at, nullptr, font, 0, 0});
        at = end;
    }
    if (rightToLeft) std::reverse(pieces.begin() + static_cast<std::ptrdiff_t>(first), pieces.end());
    for (size_t k = first; k < pieces.size(); ++k) {
        PlacedPiece& placed = pieces[k];
        placed.piece = &shaper.Shape(text, placed.start, placed.length, rightToLeft);
        placed.base = pen.base;
        placed.units = pen.units;
        pen.units += placed.piece->advance;
    }
}

std::string GuessLanguage(std::u32string_view text) {
    for (const char32_t c : text) {
        if ((c >= 0x3040 && c <= 0x30FF) || (c >= 0x31F0 && c <= 0x31FF) || (c >= 0xFF66 && c <= 0xFF9F)) return "ja";
        if ((c >= 0x1100 && c <= 0x11FF) || (c >= 0x3130 && c <= 0x318F) || (c >= 0xAC00 && c <= 0xD7AF)) return "ko";
    }
    return "";
}
