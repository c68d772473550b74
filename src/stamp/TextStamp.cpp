#include "stamp/TextStamp.h"

#include "fonts/FontMetricsTable.h"
#include "pdf/object/PdfSyntax.h"
#include "stamp/Placement.h"
#include "writer/NumberFormat.h"

namespace {

// The stamp text inside a literal string: backslash and both parentheses are
// escaped, every other byte goes in as it is.
std::string EscapeLiteral(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 8);
    for (char c : text) {
        if (c == '\\' || c == '(' || c == ')') out.push_back('\\');
        out.push_back(c);
    }
    return out;
}

}  // namespace

std::string FontDescriptorBody(std::string_view fontName, const FontMetricsEntry& metrics) {
    const auto& box = metrics.boundingBox;
    const FontDescriptorValues values = DescriptorValues(metrics);
    return "\n<<\n/Type /FontDescriptor\n/FontName /" + PdfNameText(fontName) + "\n/FontBBox [" + FormatInt(box[0]) +
           " " + FormatInt(box[1]) + " " + FormatInt(box[2]) + " " + FormatInt(box[3]) + " ]\n/Flags " +
           FormatInt(values.flags) + "\n/ItalicAngle 0\n/Ascent " + FormatInt(values.ascent) + "\n/Descent " +
           FormatInt(values.descent) + "\n/CapHeight " + FormatInt(values.capHeight) + "\n/StemV " +
           FormatInt(values.stemV) + "\n>>\n";
}

std::string FontBody(std::string_view resourceName, std::string_view fontName, int32_t descriptorNumber,
                     const FontMetricsEntry& metrics) {
    std::string widths = "/Widths [\n";
    for (size_t code = 0; code < 256; ++code) {
        widths += FormatInt(metrics.widths[code]);
        widths += ' ';
        if (code % 16 == 15) widths += '\n';
    }
    widths += " ]\n";
    return "\n<<\n/Type /Font\n/Name /" + std::string(resourceName) +
           "\n/Subtype /TrueType\n/Encoding /WinAnsiEncoding\n/BaseFont /" + PdfNameText(fontName) +
           "\n/FontDescriptor " + FormatInt(descriptorNumber) + " 0 R\n/FirstChar 0\n/LastChar 255\n" + widths + ">>\n";
}

void AppendColorOperator(std::string& out, uint32_t color) {
    for (const int shift : {16, 8, 0}) {
        AppendFixed(out, ((color >> shift) & 0xFF) / 255.0);
        out += ' ';
    }
    out += "rg";
}

std::string TextContent(const StampPlacement& placement, uint32_t color, std::string_view resourceName,
                        int32_t fontSize, std::string_view text, const StampFrame& frame) {
    std::string showing;
    showing.reserve(text.size() + 8);
    showing += '(';
    showing += EscapeLiteral(text);
    showing += ") Tj";
    return GlyphContent(placement, color, resourceName, fontSize, showing, frame);
}

std::string GlyphContent(const StampPlacement& placement, uint32_t color, std::string_view resourceName,
                         int32_t fontSize, std::string_view showing, const StampFrame& frame) {
    const StampDirection direction = DirectionOf(placement.angle);
    const float c = direction.cos;
    const float s = direction.sin;
    const StampOrigin origin = OriginOf(placement, direction);
    std::string content;
    content.reserve(160 + showing.size());
    content += "BT\n";
    for (const double value : {double{c}, double{s}, double{-s}, double{c}, origin.x, origin.y}) {
        AppendFixed(content, value);
        content += ' ';
    }
    content += "Tm\n";
    AppendColorOperator(content, color);
    content += "\n/";
    content += resourceName;
    content += ' ';
    AppendInt(content, fontSize);
    content += " Tf\n";
    content += showing;
    content += "\nET";
    if (!frame.IsEmpty()) return frame.Frame("Pagination", content);
    return content;
}
