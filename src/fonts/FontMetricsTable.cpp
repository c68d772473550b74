#include "fonts/FontMetricsTable.h"

#include <algorithm>
#include <cstddef>
#include <limits>

#include "fonts/FontMetricsData.h"

static_assert(decltype(FontMetricsEntry::boundingBox)::extent == kFontBoundingBoxSize);
static_assert(decltype(FontMetricsEntry::widths)::extent == kFontWidthCount);
static_assert(decltype(FontMetricsEntry::descriptor)::extent == kFontDescriptorSize);

namespace {

bool IsNameLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Compares the letters of both names in order, skipping every other byte, so
// that neither name has to be copied.
bool SameLetters(std::string_view a, std::string_view b) {
    std::size_t i = 0;
    std::size_t j = 0;
    for (;;) {
        while (i < a.size() && !IsNameLetter(a[i])) {
            ++i;
        }
        while (j < b.size() && !IsNameLetter(b[j])) {
            ++j;
        }
        if (i == a.size() || j == b.size()) {
            return i == a.size() && j == b.size();
        }
        if (a[i] != b[j]) {
            return false;
        }
        ++i;
        ++j;
    }
}

FontMetricsTable MakeTable() {
    FontMetricsTable table;
    table.reserve(kFontMetricsRowCount);
    for (std::size_t row = 0; row < kFontMetricsRowCount; ++row) {
        const FontMetricsBlock& block = kFontMetricsBlocks[row];
        table.push_back(FontMetricsEntry{
            kFontMetricsNames[row],
            std::span<const int32_t, kFontBoundingBoxSize>(block.data(), kFontBoundingBoxSize),
            std::span<const int32_t, kFontWidthCount>(block.data() + kFontBoundingBoxSize, kFontWidthCount),
            std::span<const int32_t, kFontDescriptorSize>(kFontDescriptorBlocks[row]),
            kFontStyles[row],
        });
    }
    return table;
}

}  // namespace

const FontMetricsTable& GetFontMetricsTable() {
    // Built once, on first use; the rows stay until the program ends.
    static const FontMetricsTable table = MakeTable();
    return table;
}

void BuildFontMetricsTable() { GetFontMetricsTable(); }

const FontMetricsEntry* FindFontMetrics(std::string_view name) {
    // Rows are searched in table order; the first match wins.
    for (const FontMetricsEntry& entry : GetFontMetricsTable()) {
        if (SameLetters(entry.name, name)) {
            return &entry;
        }
    }
    return nullptr;
}

FontDescriptorValues DescriptorValues(const FontMetricsEntry& entry) {
    constexpr int32_t kFixedPitch = 1;
    constexpr int32_t kSerif = 2;
    constexpr int32_t kSymbolic = 4;
    constexpr int32_t kNonsymbolic = 32;
    constexpr int32_t kItalic = 64;
    FontDescriptorValues values;
    const bool fixed = std::all_of(entry.widths.begin(), entry.widths.end(),
                                   [&entry](int32_t width) { return width == entry.widths[0]; });
    values.flags = (fixed ? kFixedPitch : 0) | (entry.Has(kFontSerif) ? kSerif : 0) |
                   (entry.Has(kFontSymbolic) ? kSymbolic : kNonsymbolic) | (entry.Has(kFontItalic) ? kItalic : 0);
    const auto published = [&entry](size_t at, int32_t otherwise) {
        return entry.descriptor[at] == kFontMetricUnpublished ? otherwise : entry.descriptor[at];
    };
    values.ascent = published(0, entry.boundingBox[3]);
    values.descent = published(1, entry.boundingBox[1]);
    values.capHeight = published(2, values.ascent);
    values.stemV = published(3, entry.Has(kFontBold) ? 140 : 80);
    return values;
}

int32_t TextWidth(std::string_view fontName, std::string_view text) {
    const FontMetricsEntry* entry = FindFontMetrics(fontName);
    if (entry == nullptr) {
        return 0;
    }
    // A width has at most nine digits (the generator checks), so the 64-bit sum
    // cannot wrap below nine billion bytes of text; the result is clamped to
    // the 32-bit range.
    int64_t sum = 0;
    for (char c : text) {
        sum += entry->widths[static_cast<unsigned char>(c)];
    }
    return static_cast<int32_t>(
        std::clamp<int64_t>(sum, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}
