#include "fonts/EmbeddedFont.h"

#include <harfbuzz/hb-ot.h>
#include <harfbuzz/hb-subset.h>
#include <harfbuzz/hb.h>
#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "base/CPdfException.h"
#include "fonts/Utf8Text.h"
#include "writer/CFlateEncoder.h"
#include "writer/COutputWriter.h"
#include "writer/NumberFormat.h"

namespace {

template <typename T, void (*Destroy)(T*)>
struct Deleter {
    void operator()(T* p) const { Destroy(p); }
};
using BlobPtr = std::unique_ptr<hb_blob_t, Deleter<hb_blob_t, hb_blob_destroy>>;
using FacePtr = std::unique_ptr<hb_face_t, Deleter<hb_face_t, hb_face_destroy>>;
using InputPtr = std::unique_ptr<hb_subset_input_t, Deleter<hb_subset_input_t, hb_subset_input_destroy>>;
using PlanPtr = std::unique_ptr<hb_subset_plan_t, Deleter<hb_subset_plan_t, hb_subset_plan_destroy>>;

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

int16_t ReadInt16(const char* data) {
    return static_cast<int16_t>((static_cast<unsigned char>(data[0]) << 8) | static_cast<unsigned char>(data[1]));
}

}  // namespace

CEmbeddedFont::CEmbeddedFont(const CTextShaper& shaper) : shaper_(shaper), cff_(shaper.IsCff()) {
    if (!cff_) {
        // Code 0 stays the .notdef glyph.
        glyphs_.push_back(0);
        texts_.emplace_back();
        widths_.push_back(0);
    }
}

void CEmbeddedFont::Key(uint32_t glyph, std::u32string_view text) const {
    key_.assign(1, static_cast<char32_t>(glyph));
    key_ += text;
}

void CEmbeddedFont::Use(uint32_t glyph, std::u32string_view text) {
    used_ = true;
    const auto width = [this](int32_t units) {
        return static_cast<int32_t>(std::lround(units * 1000.0 / static_cast<double>(shaper_.unitsPerEm())));
    };
    if (cff_) {
        if (glyph >= glyphs_.size()) {
            glyphs_.resize(glyph + 1, 0);
            texts_.resize(glyph + 1);
            widths_.resize(glyph + 1, -1);
        }
        if (widths_[glyph] < 0) {
            glyphs_[glyph] = glyph;
            texts_[glyph] = text;
            widths_[glyph] = width(shaper_.NominalAdvance(glyph));
        }
        return;
    }
    Key(glyph, text);
    if (codes_.count(key_) != 0) return;
    if (glyphs_.size() > 0xFFFF) throw CPdfException("Too many different glyphs in the stamp texts");
    codes_.emplace(key_, static_cast<uint16_t>(glyphs_.size()));
    glyphs_.push_back(glyph);
    texts_.emplace_back(text);
    widths_.push_back(width(shaper_.NominalAdvance(glyph)));
}

CEmbeddedFont::Code CEmbeddedFont::CodeOf(uint32_t glyph, std::u32string_view text) const {
    if (cff_) {
        const bool known = glyph < texts_.size() && widths_[glyph] >= 0;
        return {static_cast<uint16_t>(glyph), known && texts_[glyph] == text};
    }
    Key(glyph, text);
    const auto found = codes_.find(key_);
    return found == codes_.end() ? Code{0, false} : Code{found->second, true};
}

std::vector<uint32_t> CEmbeddedFont::UsedGlyphs() const {
    std::vector<uint32_t> glyphs;
    for (size_t code = 0; code < glyphs_.size(); ++code) {
        if (widths_[code] >= 0 && (cff_ || code > 0)) glyphs.push_back(glyphs_[code]);
    }
    std::sort(glyphs.begin(), glyphs.end());
    glyphs.erase(std::unique(glyphs.begin(), glyphs.end()), glyphs.end());
    return glyphs;
}

std::string CEmbeddedFont::SubsetFontFile(const std::vector<uint32_t>& glyphs,
                                          std::vector<uint32_t>& codeGlyphs) const {
    hb_face_t* face = shaper_.face();
    const InputPtr input(hb_subset_input_create_or_fail());
    if (!input) throw CPdfException("Font subset error");
    hb_set_t* kept = hb_subset_input_glyph_set(input.get());
    hb_set_add(kept, 0);
    for (const uint32_t glyph : glyphs) hb_set_add(kept, glyph);
    // Layout tables serve shaping, which is done: the page only draws glyphs.
    hb_set_t* dropped = hb_subset_input_set(input.get(), HB_SUBSET_SETS_DROP_TABLE_TAG);
    for (const hb_tag_t tag : {HB_TAG('G', 'S', 'U', 'B'), HB_TAG('G', 'P', 'O', 'S'), HB_TAG('G', 'D', 'E', 'F'),
                               HB_TAG('B', 'A', 'S', 'E'), HB_TAG('J', 'S', 'T', 'F'), HB_TAG('M', 'A', 'T', 'H'),
                               HB_TAG('m', 'o', 'r', 'x'), HB_TAG('k', 'e', 'r', 'x'), HB_TAG('D', 'S', 'I', 'G')}) {
        hb_set_add(dropped, tag);
    }
    // A CFF font's codes are its glyph numbers, which the subset keeps; a
    // TrueType subset numbers its glyphs afresh, and /CIDToGIDMap follows.
    if (cff_) hb_subset_input_set_flags(input.get(), HB_SUBSET_FLAGS_RETAIN_GIDS);
    const PlanPtr plan(hb_subset_plan_create_or_fail(face, input.get()));
    if (!plan) throw CPdfException("Font subset error");
    const FacePtr subset(hb_subset_plan_execute_or_fail(plan.get()));
    if (!subset) throw CPdfException("Font subset error");
    const hb_map_t* renumbered = hb_subset_plan_old_to_new_glyph_mapping(plan.get());
    codeGlyphs.clear();
    for (const uint32_t glyph : glyphs_) codeGlyphs.push_back(hb_map_get(renumbered, glyph));
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

int32_t CEmbeddedFont::WriteFontFile(COutputWriter& writer, const std::string& file) const {
    CFlateEncoder encoder(6);
    encoder.Add(reinterpret_cast<const uint8_t*>(file.data()), file.size());
    const std::string packed = encoder.Finish();
    return writer.AppendStream("\n<<\n/Length\n/Filter /FlateDecode\n" +
                                   (cff_ ? std::string("/Subtype /OpenType\n")
                                         : "/Length1 " + FormatInt(static_cast<int64_t>(file.size())) + "\n") +
                                   ">>\n",
                               packed);
}

int32_t CEmbeddedFont::WriteDescriptor(COutputWriter& writer, const std::string& name, int32_t fontFileNumber) const {
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
                               (cff_ ? "/FontFile3 " : "/FontFile2 ") + FormatInt(fontFileNumber) + " 0 R\n>>\n");
}

int32_t CEmbeddedFont::WriteCodeMap(COutputWriter& writer, const std::vector<uint32_t>& codeGlyphs) {
    std::string map;
    map.reserve(codeGlyphs.size() * 2);
    for (const uint32_t glyph : codeGlyphs) {
        map.push_back(static_cast<char>(glyph >> 8));
        map.push_back(static_cast<char>(glyph & 0xFF));
    }
    return writer.AppendStream(map);
}

int32_t CEmbeddedFont::WriteDescendant(COutputWriter& writer, const std::string& name, int32_t descriptorNumber,
                                       const std::vector<uint32_t>& codeGlyphs) const {
    // Runs of consecutive codes: "first [w w ...]".
    std::string widths = "/W [";
    size_t previous = 0;
    bool first = true;
    for (size_t code = cff_ ? 0 : 1; code < widths_.size(); ++code) {
        if (widths_[code] < 0) continue;
        if (first || code != previous + 1)
            widths += (first ? "" : "]\n") + FormatInt(static_cast<int64_t>(code)) + " [";
        widths += FormatInt(widths_[code]) + " ";
        previous = code;
        first = false;
    }
    widths += first ? "]\n" : "]]\n";
    const std::string map =
        cff_ ? std::string() : "/CIDToGIDMap " + FormatInt(WriteCodeMap(writer, codeGlyphs)) + " 0 R\n";
    return writer.appendObject(
        "\n<<\n/Type /Font\n/Subtype /" + std::string(cff_ ? "CIDFontType0" : "CIDFontType2") + "\n/BaseFont /" + name +
        "\n/CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >>\n/FontDescriptor " +
        FormatInt(descriptorNumber) + " 0 R\n" + map + "/DW 1000\n" + widths + ">>\n");
}

int32_t CEmbeddedFont::WriteToUnicode(COutputWriter& writer) const {
    std::string cmap =
        "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
        "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
        "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
        "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n";
    std::vector<size_t> mapped;
    for (size_t code = cff_ ? 0 : 1; code < texts_.size(); ++code) {
        if (!texts_[code].empty()) mapped.push_back(code);
    }
    for (size_t at = 0; at < mapped.size(); at += 100) {
        const size_t count = std::min<size_t>(100, mapped.size() - at);
        cmap += FormatInt(static_cast<int64_t>(count)) + " beginbfchar\n";
        for (size_t k = at; k < at + count; ++k) {
            cmap += '<';
            AppendHex16(cmap, static_cast<uint32_t>(mapped[k]));
            cmap += "> <";
            AppendUtf16Hex(cmap, texts_[mapped[k]]);
            cmap += ">\n";
        }
        cmap += "endbfchar\n";
    }
    cmap += "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend";
    return writer.AppendStream(cmap);
}

int32_t CEmbeddedFont::WriteObjects(COutputWriter& writer, std::string_view resourceName) const {
    const std::vector<uint32_t> glyphs = UsedGlyphs();
    std::vector<uint32_t> codeGlyphs;
    const std::string file = SubsetFontFile(glyphs, codeGlyphs);
    const std::string name = SubsetName(glyphs);
    const int32_t fontFileNumber = WriteFontFile(writer, file);
    const int32_t descriptorNumber = WriteDescriptor(writer, name, fontFileNumber);
    const int32_t descendantNumber = WriteDescendant(writer, name, descriptorNumber, codeGlyphs);
    const int32_t toUnicodeNumber = WriteToUnicode(writer);
    return writer.appendObject("\n<<\n/Type /Font\n/Name /" + std::string(resourceName) +
                               "\n/Subtype /Type0\n/BaseFont /" + name + "\n/Encoding /Identity-H\n/DescendantFonts [" +
                               FormatInt(descendantNumber) + " 0 R]\n/ToUnicode " + FormatInt(toUnicodeNumber) +
                               " 0 R\n>>\n");
}
