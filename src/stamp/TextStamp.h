#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "stamp/StampFrame.h"

struct FontMetricsEntry;
struct StampPlacement;

// What text mode adds: the font descriptor and the font object, once per
// run, and one content stream per stamped page.

// The bodies of the font descriptor and the font object, as the writer frames
// them.
std::string FontDescriptorBody(std::string_view fontName, const FontMetricsEntry& metrics);
std::string FontBody(std::string_view resourceName, std::string_view fontName, int32_t descriptorNumber,
                     const FontMetricsEntry& metrics);

// Appends "r g b rg" for a colour 0xRRGGBB; higher bits are ignored.
void AppendColorOperator(std::string& out, uint32_t color);

// The page's stamp content drawing `text` (escaped here) from the
// placement's origin, turned by its angle, with the font resource at `fontSize` and the colour, inside the frame (a
// pagination artifact).
std::string TextContent(const StampPlacement& placement, uint32_t color, std::string_view resourceName,
                        int32_t fontSize, std::string_view text, const StampFrame& frame = {});

// The same with the operators that show the text given whole (between "Tf"
// and "ET"), as an embedded font draws a shaped run.
std::string GlyphContent(const StampPlacement& placement, uint32_t color, std::string_view resourceName,
                         int32_t fontSize, std::string_view showing, const StampFrame& frame = {});
