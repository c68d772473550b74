#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>

// The built-in font metrics as constant data. The definitions are generated at
// build time from fonts.tsv (GenerateFontTable.cmake writes FontMetricsData.cpp);
// fonts.tsv is the only copy of the numbers. FontMetricsTable is the interface
// the rest of the program uses.

inline constexpr std::size_t kFontMetricsRowCount = 161;
inline constexpr std::size_t kFontBoundingBoxSize = 4;
inline constexpr std::size_t kFontWidthCount = 256;
inline constexpr std::size_t kFontMetricsBlockSize = kFontBoundingBoxSize + kFontWidthCount;
inline constexpr std::size_t kFontDescriptorSize = 4;

// One row's numbers: the bounding box (left, bottom, right, top), then the
// advance widths of codes 0 to 255, all in thousandths of the font size.
using FontMetricsBlock = std::array<int32_t, kFontMetricsBlockSize>;

// The font descriptor's ascent, descent, cap height and dominant vertical stem
// width as the font's metrics publish them, each kFontMetricUnpublished where
// they publish none.
using FontDescriptorBlock = std::array<int32_t, kFontDescriptorSize>;
inline constexpr int32_t kFontMetricUnpublished = std::numeric_limits<int32_t>::min();

// What a row's style says of the font, as bits.
inline constexpr uint32_t kFontBold = 1;
inline constexpr uint32_t kFontItalic = 2;
inline constexpr uint32_t kFontSerif = 4;
inline constexpr uint32_t kFontSymbolic = 8;

// The blocks, the font names, the descriptor values and the styles, all in
// table order.
extern const std::array<FontMetricsBlock, kFontMetricsRowCount> kFontMetricsBlocks;
extern const std::array<std::string_view, kFontMetricsRowCount> kFontMetricsNames;
extern const std::array<FontDescriptorBlock, kFontMetricsRowCount> kFontDescriptorBlocks;
extern const std::array<uint32_t, kFontMetricsRowCount> kFontStyles;
