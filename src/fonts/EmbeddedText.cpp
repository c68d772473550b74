#include "fonts/EmbeddedText.h"

#include <algorithm>
#include <cmath>

#include "base/Truncate.h"
#include "fonts/Utf8Text.h"
#include "writer/NumberFormat.h"

namespace {

// Writes TJ arrays: opens them, and the hexadecimal strings in them, as
// glyphs come, and closes them before any other operator.
class CShowWriter {
public:
    explicit CShowWriter(std::string& out) : out_(out) {}

    void Glyph(uint16_t code) {
        Open();
        if (!inString_) out_ += '<';
        inString_ = true;
        AppendHex16(out_, code);
    }
    void Move(int64_t adjustment) {
        Open();
        CloseString();
        AppendInt(out_, adjustment);
    }
    // Ends the array; `line` follows on a line of its own.
    void Operator(std::string_view line) {
        Close();
        out_ += line;
        out_ += '\n';
    }
    void Close() {
        CloseString();
        if (inArray_) out_ += "] TJ\n";
        inArray_ = false;
    }

private:
    void Open() {
        if (!inArray_) out_ += '[';
        inArray_ = true;
    }
    void CloseString() {
        if (inString_) out_ += '>';
        inString_ = false;
    }

    std::string& out_;
    bool inArray_ = false;
    bool inString_ = false;
};

}  // namespace

CEmbeddedText::CEmbeddedText(const CTextLayout& layout) {
    for (size_t font = 0; font < layout.fontCount(); ++font) {
        fonts_.push_back(std::make_unique<CEmbeddedFont>(layout.font(font)));
    }
    names_.resize(fonts_.size());
}

CEmbeddedText::~CEmbeddedText() = default;

void CEmbeddedText::Use(const ShapedLine& line) {
    for (const PlacedGlyph& glyph : line.glyphs) {
        auto known = codes_.find(glyph.shaped);
        if (known == codes_.end()) {
            CEmbeddedFont& font = *fonts_[glyph.font];
            font.Use(glyph.shaped->glyph, glyph.shaped->text);
            known = codes_.emplace(glyph.shaped, font.CodeOf(glyph.shaped->glyph, glyph.shaped->text)).first;
        }
        // As ShowOperators opens a span.
        if (glyph.shaped->spanGlyphs > 0 || !known->second.mapsAsShown) actualText_ = true;
    }
}

std::string_view CEmbeddedText::RequiredVersion() const {
    for (const auto& font : fonts_)
        if (font->used() && font->shaper().IsCff()) return "1.6";
    return actualText_ ? "1.5" : "";
}

std::vector<CEmbeddedText::Resource> CEmbeddedText::WriteObjects(COutputWriter& writer,
                                                                 const std::function<std::string()>& nextName) {
    std::vector<Resource> written;
    const auto write = [&](size_t font) {
        const std::string name = nextName();
        names_[font] = name;
        written.push_back({name, fonts_[font]->WriteObjects(writer, name)});
    };
    for (size_t font = 0; font < fonts_.size(); ++font) {
        if (fonts_[font]->used()) write(font);
    }
    // A run that stamps no page still names a font.
    if (written.empty() && !fonts_.empty()) write(0);
    return written;
}

const std::string& CEmbeddedText::FirstResourceName(const ShapedLine& line) const {
    return names_[line.glyphs.empty() ? 0 : line.glyphs.front().font];
}

std::string CEmbeddedText::ShowOperators(const ShapedLine& line, int32_t fontSize) const {
    std::string out;
    CShowWriter show(out);
    uint32_t font = line.glyphs.empty() ? 0 : line.glyphs.front().font;
    int64_t shown = 0;    // where the page's pen is, in thousandths of the font size
    double rise = 0;      // the current Ts, in points
    size_t spanLeft = 0;  // the glyphs the open span still covers
    for (const PlacedGlyph& placed : line.glyphs) {
        const ShapedGlyph& glyph = *placed.shaped;
        const CEmbeddedFont& embedded = *fonts_[placed.font];
        if (placed.font != font) {
            font = placed.font;
            show.Operator("/" + names_[font] + " " + FormatInt(fontSize) + " Tf");
        }
        const double wantedRise = static_cast<double>(glyph.yOffset) * fontSize / embedded.shaper().unitsPerEm();
        if (wantedRise != rise) {
            rise = wantedRise;
            show.Operator(FormatFixed(rise, 3) + " Ts");
        }
        const auto known = codes_.find(&glyph);
        const CEmbeddedFont::Code code =
            known != codes_.end() ? known->second : embedded.CodeOf(glyph.glyph, glyph.text);
        if (spanLeft == 0 && (glyph.spanGlyphs > 0 || !code.mapsAsShown)) {
            std::string span = "/Span << /ActualText <FEFF";
            AppendUtf16Hex(span, glyph.spanGlyphs > 0 ? glyph.spanText : glyph.text);
            show.Operator(span + "> >> BDC");
            spanLeft = glyph.spanGlyphs > 0 ? glyph.spanGlyphs : 1;
        }
        const int64_t wanted = std::llround(placed.x);
        if (wanted != shown) {
            show.Move(shown - wanted);
            shown = wanted;
        }
        show.Glyph(code.code);
        shown += embedded.CodeWidth(code.code);
        if (spanLeft > 0 && --spanLeft == 0) show.Operator("EMC");
    }
    show.Close();
    if (rise != 0) out += "0 Ts\n";
    if (!out.empty()) out.pop_back();
    return out;
}

int32_t CEmbeddedText::WidthSum(const ShapedLine& line) { return Truncate(std::round(line.advance)); }
