#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "fonts/FontMetricsData.h"

// One row of the built-in font metrics table. The name and the numbers are
// views into constant data built into the program; nothing is copied.
struct FontMetricsEntry {
    std::string_view name;
    std::span<const int32_t, 4> boundingBox;  // left, bottom, right, top
    std::span<const int32_t, 256> widths;     // advance width of codes 0 to 255
    // Ascent, descent, cap height and dominant vertical stem width as the
    // font's metrics publish them; kFontMetricUnpublished where they do not.
    std::span<const int32_t, 4> descriptor;
    // kFontBold, kFontItalic, kFontSerif and kFontSymbolic, as they apply.
    uint32_t style = 0;

    bool Has(uint32_t styleBit) const { return (style & styleBit) != 0; }
};

// What a font descriptor says of a row's font.
struct FontDescriptorValues {
    // The PDF font flags: FixedPitch (1) when every width is the same, Serif
    // (2), Symbolic (4) or else Nonsymbolic (32), Italic (64).
    int32_t flags = 0;
    // As published; otherwise the bounding box's top and bottom, the cap
    // height as the ascent, and a stem width of 80, or 140 for a bold face.
    int32_t ascent = 0;
    int32_t descent = 0;
    int32_t capHeight = 0;
    int32_t stemV = 0;
};
FontDescriptorValues DescriptorValues(const FontMetricsEntry& entry);

// The process-wide table: the built-in rows in their fixed order. The order
// matters, because a lookup takes the first matching row.
using FontMetricsTable = std::vector<FontMetricsEntry>;

// Fills the process-wide table with the built-in rows. Calling it again does
// nothing; the lookups below also build the table on first use.
void BuildFontMetricsTable();

// The process-wide table, built if it was not yet.
const FontMetricsTable& GetFontMetricsTable();

// The first row, in table order, whose name equals the requested one once
// both are reduced to their letters 'A'-'Z' and 'a'-'z' (case kept, every
// other byte dropped). So "Arial Bold" finds "Arial-Bold" and "Wingdings2"
// finds "Wingdings". nullptr when no row matches.
const FontMetricsEntry* FindFontMetrics(std::string_view name);

// The advance width of the whole text in thousandths of the font size: the
// sum of the row's widths for every byte, taken as a code 0 to 255; no byte is
// skipped and no kerning applied. 0 when no row matches the font name. A sum
// beyond the 32-bit range is clamped to it rather than wrapped.
int32_t TextWidth(std::string_view fontName, std::string_view text);
