#include "stamp/TextStamp.h"

#include <cmath>

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
    return "\n<<\n/Type /FontDescriptor\n/FontName /" + PdfNameText(fontName) + "\n/FontBBox [" + FormatInt(box[0]) +
           " " + FormatInt(box[1]) + " " + FormatInt(box[2]) + " " + FormatInt(box[3]) +
           " ]\n/Flags 34\n/ItalicAngle 0\n>>\n";
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

std::string ColorOperator(uint32_t color) {
    const auto component = [color](int shift) { return FormatFixed(((color >> shift) & 0xFF) / 255.0); };
    return component(16) + " " + component(8) + " " + component(0) + " rg";
}

float StampRadians(float degrees) { return static_cast<float>(degrees * 0.017444444444444446); }

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
    const float radians = StampRadians(placement.angle);
    const auto c = static_cast<float>(std::cos(static_cast<double>(radians)));
    const auto s = static_cast<float>(std::sin(static_cast<double>(radians)));
    std::string content;
    content.reserve(160 + showing.size());
    content += "BT\n";
    for (const double value : {double{c}, double{s}, double{-s}, double{c}, double(placement.x), double(placement.y)}) {
        AppendFixed(content, value);
        content += ' ';
    }
    content += "Tm\n";
    content += ColorOperator(color);
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
