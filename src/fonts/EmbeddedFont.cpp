#include "fonts/EmbeddedFont.h"

#include <harfbuzz/hb-ot.h>
#include <harfbuzz/hb-subset.h>
#include <harfbuzz/hb.h>
#include <cmath>
#include <functional>
#include <memory>
#include <vector>

#include "base/CPdfException.h"
#include "base/Truncate.h"
#include "base/UniqueHandle.h"
#include "writer/CFlateEncoder.h"
#include "writer/COutputWriter.h"
#include "writer/NumberFormat.h"

namespace {

using BlobPtr = UniqueHandle<hb_blob_t, hb_blob_destroy>;
using FacePtr = UniqueHandle<hb_face_t, hb_face_destroy>;
using InputPtr = UniqueHandle<hb_subset_input_t, hb_subset_input_destroy>;

constexpr char kHex[] = "0123456789ABCDEF";

void AppendHex16(std::string& out, uint32_t value) {
    for (int shift = 12; shift >= 0; shift -= 4) out.push_back(kHex[(value >> shift) & 0xF]);
}

void AppendUtf16Hex(std::string& out, std::u32string_view text) {
    for (const char32_t c : text) {
        if (c >= 0x10000) {
            AppendHex16(out, 0xD800 + ((c - 0x10000) >> 10));
            AppendHex16(out, 0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            AppendHex16(out, c);
        }
    }
}

// The font's PostScript name, reduced to letters, digits, '-' and '_'.
std::string PostScriptName(hb_face_t* face) {
    char buffer[128] = {};
    unsigned size = sizeof buffer;
    hb_ot_name_get_utf8(face, HB_OT_NAME_ID_POSTSCRIPT_NAME, HB_LANGUAGE_INVALID, &size, buffer);
    std::string name;
    for (const char* p = buffer; *p != '\0'; ++p) {
        const char c = *p;
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_') {
            name.push_back(c);
        }
    }
    return name.empty() ? "Font" : name;
}

bool HasCffOutlines(hb_face_t* face) {
    const BlobPtr cffTable(hb_face_reference_table(face, HB_TAG('C', 'F', 'F', ' ')));
    return hb_blob_get_length(cffTable.get()) > 0;
}

int16_t ReadInt16(const char* data) {
    return static_cast<int16_t>((static_cast<unsigned char>(data[0]) << 8) | static_cast<unsigned char>(data[1]));
}

}  // namespace

void CEmbeddedFont::Use(const ShapedRun& run) {
    for (const ShapedGlyph& glyph : run.glyphs) {
        if (glyph.glyph >= used_.size()) {
            used_.resize(glyph.glyph + 1, false);
            texts_.resize(glyph.glyph + 1);
        }
        used_[glyph.glyph] = true;
        if (texts_[glyph.glyph].empty()) texts_[glyph.glyph] = std::u32string(glyph.text);
    }
    // The texts a run's glyphs stand for are settled once it is used.
    if (NeedsActualText(run)) actualText_ = true;
}

bool CEmbeddedFont::NeedsActualText(const ShapedRun& run) const {
    // Readers put right-to-left glyphs back in reading order themselves, and
    // would turn a span's text around a second time.
    return !run.rightToLeft && !MapsAsShown(run);
}

std::string_view CEmbeddedFont::RequiredVersion() const {
    if (HasCffOutlines(shaper_.face())) return "1.6";
    return actualText_ ? "1.5" : "";
}

std::vector<uint32_t> CEmbeddedFont::UsedGlyphs() const {
    std::vector<uint32_t> glyphs;
    for (uint32_t glyph = 0; glyph < used_.size(); ++glyph) {
        if (used_[glyph]) glyphs.push_back(glyph);
    }
    return glyphs;
}

bool CEmbeddedFont::MapsAsShown(const ShapedRun& run) const {
    for (const ShapedGlyph& glyph : run.glyphs) {
        if (glyph.text.empty() || glyph.glyph >= texts_.size() || texts_[glyph.glyph] != glyph.text) return false;
    }
    return true;
}

int32_t CEmbeddedFont::GlyphWidth(uint32_t glyph) const {
    return static_cast<int32_t>(
        std::lround(shaper_.NominalAdvance(glyph) * 1000.0 / static_cast<double>(shaper_.unitsPerEm())));
}

int32_t CEmbeddedFont::WidthSum(const ShapedRun& run) const {
    const double sum = static_cast<double>(run.advance) * 1000.0 / static_cast<double>(shaper_.unitsPerEm());
    return Truncate(std::round(sum));
}

std::string CEmbeddedFont::SubsetFontFile(bool& cff) const {
    hb_face_t* face = shaper_.face();
    cff = HasCffOutlines(face);
    const InputPtr input(hb_subset_input_create_or_fail());
    if (!input) throw CPdfException("Font subset error");
    hb_set_t* glyphs = hb_subset_input_glyph_set(input.get());
    hb_set_add(glyphs, 0);
    for (const uint32_t glyph : UsedGlyphs()) hb_set_add(glyphs, glyph);
    // Layout tables serve shaping, which is done: the page only draws glyphs.
    hb_set_t* dropped = hb_subset_input_set(input.get(), HB_SUBSET_SETS_DROP_TABLE_TAG);
    for (const hb_tag_t tag : {HB_TAG('G', 'S', 'U', 'B'), HB_TAG('G', 'P', 'O', 'S'), HB_TAG('G', 'D', 'E', 'F'),
                               HB_TAG('B', 'A', 'S', 'E'), HB_TAG('J', 'S', 'T', 'F'), HB_TAG('M', 'A', 'T', 'H'),
                               HB_TAG('m', 'o', 'r', 'x'), HB_TAG('k', 'e', 'r', 'x'), HB_TAG('D', 'S', 'I', 'G')}) {
        hb_set_add(dropped, tag);
    }
    hb_subset_input_set_flags(input.get(), HB_SUBSET_FLAGS_RETAIN_GIDS);
    const FacePtr subset(hb_subset_or_fail(face, input.get()));
    if (!subset) throw CPdfException("Font subset error");
    const BlobPtr blob(hb_face_reference_blob(subset.get()));
    unsigned length = 0;
    const char* data = hb_blob_get_data(blob.get(), &length);
    if (data == nullptr || length == 0) throw CPdfException("Font subset error");
    return std::string(data, length);
}

std::string CEmbeddedFont::SubsetName(const std::vector<uint32_t>& used) const {
    // The subset's tag: six capitals from the glyphs it holds.
    uint32_t hash = 2166136261u;
    for (const uint32_t glyph : used) hash = (hash ^ glyph) * 16777619u;
    std::string name;
    for (int k = 0; k < 6; ++k, hash /= 26) name.push_back(static_cast<char>('A' + hash % 26));
    name += '+';
    name += PostScriptName(shaper_.face());
    return name;
}

int32_t CEmbeddedFont::WriteFontFile(COutputWriter& writer, const std::string& file, bool cff) {
    CFlateEncoder encoder(6);
    encoder.Add(reinterpret_cast<const uint8_t*>(file.data()), file.size());
    const std::string packed = encoder.Finish();
    return writer.AppendStream("\n<<\n/Length\n/Filter /FlateDecode\n" +
                                   (cff ? std::string("/Subtype /OpenType\n")
                                        : "/Length1 " + FormatInt(static_cast<int64_t>(file.size())) + "\n") +
                                   ">>\n",
                               packed);
}

int32_t CEmbeddedFont::WriteDescriptor(COutputWriter& writer, const std::string& name, bool cff,
                                       int32_t fontFileNumber) const {
    const double scale = 1000.0 / shaper_.unitsPerEm();
    const auto units = [scale](double value) { return FormatInt(std::lround(value * scale)); };
    std::string box = "0 0 1000 1000";
    const BlobPtr head(hb_face_reference_table(shaper_.face(), HB_TAG('h', 'e', 'a', 'd')));
    unsigned headLength = 0;
    const char* headData = hb_blob_get_data(head.get(), &headLength);
    if (headData != nullptr && headLength >= 44) {
        box = units(ReadInt16(headData + 36)) + " " + units(ReadInt16(headData + 38)) + " " +
              units(ReadInt16(headData + 40)) + " " + units(ReadInt16(headData + 42));
    }
    hb_font_extents_t extents{};
    hb_font_get_h_extents(shaper_.font(), &extents);
    hb_position_t capHeight = extents.ascender;
    hb_ot_metrics_get_position(shaper_.font(), HB_OT_METRICS_TAG_CAP_HEIGHT, &capHeight);
    return writer.appendObject("\n<<\n/Type /FontDescriptor\n/FontName /" + name + "\n/Flags 4\n" + "/FontBBox [" +
                               box + "]\n/ItalicAngle 0\n/Ascent " + units(extents.ascender) + "\n/Descent " +
                               units(extents.descender) + "\n/CapHeight " + units(capHeight) + "\n/StemV 80\n" +
                               (cff ? "/FontFile3 " : "/FontFile2 ") + FormatInt(fontFileNumber) + " 0 R\n>>\n");
}

int32_t CEmbeddedFont::WriteDescendant(COutputWriter& writer, const std::string& name, bool cff,
                                       int32_t descriptorNumber, const std::vector<uint32_t>& used) const {
    std::string widths = "/W [";
    uint32_t previous = 0;
    bool first = true;
    for (const uint32_t glyph : used) {
        if (first || glyph != previous + 1) widths += (first ? "" : "]\n") + FormatInt(glyph) + " [";
        widths += FormatInt(GlyphWidth(glyph)) + " ";
        previous = glyph;
        first = false;
    }
    widths += first ? "]\n" : "]]\n";
    return writer.appendObject(
        "\n<<\n/Type /Font\n/Subtype /" + std::string(cff ? "CIDFontType0" : "CIDFontType2") + "\n/BaseFont /" + name +
        "\n/CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >>\n/FontDescriptor " +
        FormatInt(descriptorNumber) + " 0 R\n" + (cff ? "" : "/CIDToGIDMap /Identity\n") + "/DW 1000\n" + widths +
        ">>\n");
}

int32_t CEmbeddedFont::WriteToUnicode(COutputWriter& writer, const std::vector<uint32_t>& used) const {
    std::string cmap =
        "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
        "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
        "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
        "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n";
    std::vector<std::pair<uint32_t, const std::u32string*>> mapped;
    for (const uint32_t glyph : used) {
        if (!texts_[glyph].empty() && glyph <= 0xFFFF) mapped.emplace_back(glyph, &texts_[glyph]);
    }
    for (size_t at = 0; at < mapped.size(); at += 100) {
        const size_t count = std::min<size_t>(100, mapped.size() - at);
        cmap += FormatInt(static_cast<int64_t>(count)) + " beginbfchar\n";
        for (size_t k = at; k < at + count; ++k) {
            cmap += '<';
            AppendHex16(cmap, mapped[k].first);
            cmap += "> <";
            AppendUtf16Hex(cmap, *mapped[k].second);
            cmap += ">\n";
        }
        cmap += "endbfchar\n";
    }
    cmap += "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend";
    return writer.AppendStream(cmap);
}

int32_t CEmbeddedFont::WriteObjects(COutputWriter& writer, std::string_view resourceName) const {
    bool cff = false;
    const std::string file = SubsetFontFile(cff);
    const std::vector<uint32_t> used = UsedGlyphs();
    const std::string name = SubsetName(used);
    const int32_t fontFileNumber = WriteFontFile(writer, file, cff);
    const int32_t descriptorNumber = WriteDescriptor(writer, name, cff, fontFileNumber);
    const int32_t descendantNumber = WriteDescendant(writer, name, cff, descriptorNumber, used);
    const int32_t toUnicodeNumber = WriteToUnicode(writer, used);
    return writer.appendObject("\n<<\n/Type /Font\n/Name /" + std::string(resourceName) +
                               "\n/Subtype /Type0\n/BaseFont /" + name + "\n/Encoding /Identity-H\n/DescendantFonts [" +
                               FormatInt(descendantNumber) + " 0 R]\n/ToUnicode " + FormatInt(toUnicodeNumber) +
                               " 0 R\n>>\n");
}

std::string CEmbeddedFont::ShowOperators(const ShapedRun& run, int32_t fontSize,
                                         const std::function<std::u32string()>& typed) const {
    const bool span = NeedsActualText(run);
    std::string out;
    if (span) {
        out += "/Span << /ActualText <FEFF";
        AppendUtf16Hex(out, typed());
        out += "> >> BDC\n";
    }
    out += '[';
    const double scale = 1000.0 / shaper_.unitsPerEm();
    int64_t pen = 0;    // the shaped pen position, in font units
    int64_t shown = 0;  // where the page's pen is, in thousandths of the em
    int32_t rise = 0;   // the current Ts, in font units
    bool inString = false;
    for (const ShapedGlyph& glyph : run.glyphs) {
        if (glyph.yOffset != rise) {
            if (inString) out += '>';
            inString = false;
            if (out.back() == '[') {
                out.pop_back();
            } else {
                out += "] TJ\n";
            }
            rise = glyph.yOffset;
            AppendFixed(out, static_cast<double>(rise) * fontSize / shaper_.unitsPerEm(), 3);
            out += " Ts\n[";
        }
        const int64_t wanted = std::llround(static_cast<double>(pen + glyph.xOffset) * scale);
        if (wanted != shown) {
            if (inString) out += '>';
            inString = false;
            AppendInt(out, shown - wanted);
            shown = wanted;
        }
        if (!inString) out += '<';
        inString = true;
        AppendHex16(out, glyph.glyph);
        shown += GlyphWidth(glyph.glyph);
        pen += glyph.advance;
    }
    if (inString) out += '>';
    out += "] TJ\n";
    if (rise != 0) out += "0 Ts\n";
    if (span) out += "EMC\n";
    out.pop_back();
    return out;
}
