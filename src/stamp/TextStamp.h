#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "stamp/StampFrame.h"

struct FontMetricsEntry;
struct StampPlacement;

// The objects text mode adds: the font descriptor and the font object, once
// per run, and one content stream per stamped page.

std::string FontDescriptorObject(int32_t number, std::string_view fontName, const FontMetricsEntry& metrics);
std::string FontObject(int32_t number, std::string_view resourceName, std::string_view fontName,
                       int32_t descriptorNumber, const FontMetricsEntry& metrics);

// "r g b rg" for a colour 0xRRGGBB; higher bits are ignored.
std::string ColorOperator(uint32_t color);

// The stamp's angle in radians as drawn: degrees times 3.14 / 180, held in
// single precision.
float StampRadians(float degrees);

// The page's content stream object drawing `text` (escaped here) at the
// placement with the font resource at `fontSize` and the colour, inside the
// frame (a pagination artifact).
std::string TextContentStreamObject(int32_t number, const StampPlacement& placement, uint32_t color,
                                    std::string_view resourceName, int32_t fontSize, std::string_view text,
                                    const StampFrame& frame = {});

// The same with the operators that show the text given whole (between "Tf"
// and "ET"), as an embedded font draws a shaped run.
std::string GlyphContentStreamObject(int32_t number, const StampPlacement& placement, uint32_t color,
                                     std::string_view resourceName, int32_t fontSize, std::string_view showing,
                                     const StampFrame& frame = {});

// Wraps stream content as object `number` with its /Length.
std::string StreamObject(int32_t number, std::string_view content);
