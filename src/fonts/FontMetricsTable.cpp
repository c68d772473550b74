#include "fonts/FontMetricsTable.h"

#include <algorithm>
#include <cstddef>
#include <limits>

#include "fonts/FontMetricsData.h"

static_assert(decltype(FontMetricsEntry::boundingBox)::extent == kFontBoundingBoxSize);
static_assert(decltype(FontMetricsEntry::widths)::extent == kFontWidthCount);

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
