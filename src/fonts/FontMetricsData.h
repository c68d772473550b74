#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

// The built-in font metrics as constant data. The definitions are generated at
// build time from fonts.tsv (GenerateFontTable.cmake writes FontMetricsData.cpp);
// fonts.tsv is the only copy of the numbers. FontMetricsTable is the interface
// the rest of the program uses.

inline constexpr std::size_t kFontMetricsRowCount = 161;
inline constexpr std::size_t kFontBoundingBoxSize = 4;
inline constexpr std::size_t kFontWidthCount = 256;
inline constexpr std::size_t kFontMetricsBlockSize = kFontBoundingBoxSize + kFontWidthCount;

// One row's numbers: the bounding box (left, bottom, right, top), then the
// advance widths of codes 0 to 255, all in thousandths of the font size.
using FontMetricsBlock = std::array<int32_t, kFontMetricsBlockSize>;

// The blocks and the font names, both in table order.
extern const std::array<FontMetricsBlock, kFontMetricsRowCount> kFontMetricsBlocks;
extern const std::array<std::string_view, kFontMetricsRowCount> kFontMetricsNames;
