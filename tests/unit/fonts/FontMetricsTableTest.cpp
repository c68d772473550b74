#include "fonts/FontMetricsTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

namespace {

using namespace std::string_view_literals;

const FontMetricsEntry& Row(std::string_view name) {
    const FontMetricsTable& table = GetFontMetricsTable();
    const auto it =
        std::find_if(table.begin(), table.end(), [name](const FontMetricsEntry& entry) { return entry.name == name; });
    if (it == table.end()) {
        ADD_FAILURE() << "no row named " << name;
        return table.front();
    }
    return *it;
}

std::array<int32_t, 4> BoxOf(const FontMetricsEntry& entry) {
    std::array<int32_t, 4> box{};
    std::copy(entry.boundingBox.begin(), entry.boundingBox.end(), box.begin());
    return box;
}

// ---------------------------------------------------------------------------
// The rows and their order

// clang-format off
constexpr std::array<std::string_view, 161> kRowOrder = {
    "Algerian", "BookAntiqua-Bold", "BookAntiqua-BoldItalic", "BookAntiqua-Italic", "Arial",
    "Arial-Bold", "Arial-BoldItalic", "Arial-Italic", "ArialNarrow", "ArialNarrow-Bold",
    "ArialNarrow-BoldItalic", "ArialNarrow-Italic", "ArialUnicodeMS", "ArialBlack",
    "BaskervilleOldFace", "Bauhaus93", "BellMT", "BellMT-Bold", "BellMT-Italic",
    "BernardMTCondensed", "BookAntiqua", "BodoniMTPosterCompressed", "BookmanOldStyle",
    "BookmanOldStyle-Bold", "BookmanOldStyle-BoldItalic", "BookmanOldStyle-Italic", "BritannicBold",
    "BerlinSansFB-Bold", "BerlinSansFBDemi-Bold", "BerlinSansFB", "Broadway",
    "BrushScriptMT-Italic", "BookshelfSymbol7", "CalifornianFB-Bold", "CalifornianFB-Italic",
    "CalifornianFB", "Centaur", "Century", "Chiller", "ColonnaMT", "ComicSansMS",
    "ComicSansMS-Bold", "CooperBlack", "CourierNew", "CourierNew-Bold", "CourierNew-BoldItalic",
    "CourierNew-Italic", "Courier-Bold", "Courier-BoldOblique", "Courier-Oblique", "Courier",
    "EstrangeloEdessa", "FranklinGothicMedium", "FranklinGothicMedium-Italic", "FreestyleScript",
    "FootlightMTLight", "Garamond", "Garamond-Bold", "Garamond-Italic", "Gautami", "Georgia",
    "Georgia-Bold", "Georgia-Italic", "Georgia-BoldItalic", "CenturyGothic", "CenturyGothic-Bold",
    "CenturyGothic-BoldItalic", "CenturyGothic-Italic", "HarlowSolidItalic-Italic", "Harrington",
    "Haettenschweiler", "Helvetica-Bold", "Helvetica-BoldOblique", "Helvetica-Oblique", "Helvetica",
    "HighTowerText", "HighTowerText-Italic", "Impact", "InformalRoman", "KristenITC", "Jokerman",
    "JuiceITC", "Kartika", "KunstlerScript", "Latha", "WideLatin", "LucidaBright",
    "LucidaBright-Demibold", "LucidaBright-DemiboldItalic", "LucidaBright-Italic",
    "LucidaCalligraphy-Italic", "LucidaFax", "LucidaFax-Demibold", "LucidaFax-DemiboldItalic",
    "LucidaFax-Italic", "LucidaHandwriting-Italic", "LucidaSans", "LucidaSans-DemiboldRoman",
    "LucidaSans-DemiboldItalic", "LucidaSans-Italic", "LucidaConsole", "LucidaSansUnicode",
    "Magneto-Bold", "Mangal", "Marlett", "MaturaMTScriptCapitals", "MicrosoftSansSerif", "Mistral",
    "MonotypeCorsiva", "MVBoli", "NiagaraEngraved", "NiagaraSolid", "OldEnglishTextMT", "Onyx",
    "PalatinoLinotype", "PalatinoLinotype-Bold", "PalatinoLinotype-BoldItalic",
    "PalatinoLinotype-Italic", "Parchment", "Playbill", "PoorRichard", "Raavi", "Ravie",
    "MSReferenceSansSerif", "MSReferenceSpecialty", "ShowcardGothic", "Shruti", "SimHei", "SnapITC",
    "Stencil", "Sylfaen", "SymbolMT", "Tahoma", "Tahoma-Bold", "TempusSansITC", "Times-Bold",
    "Times-BoldItalic", "Times-Italic", "Times-Roman", "TimesNewRoman", "TimesNewRoman-Bold",
    "TimesNewRoman-BoldItalic", "TimesNewRoman-Italic", "TrebuchetMS", "TrebuchetMS-Bold",
    "TrebuchetMS-BoldItalic", "TrebuchetMS-Italic", "Tunga", "Verdana", "Verdana-Bold",
    "Verdana-Italic", "Verdana-BoldItalic", "VinerHandITC", "Vivaldi-Italic", "VladimirScript",
    "Vrinda", "Webdings", "Wingdings", "Wingdings2", "Wingdings3", "ZapfDingbats",
};
// clang-format on

TEST(FontMetricsTableTest, HoldsTheBuiltInRowsInTableOrder) {
    BuildFontMetricsTable();
    const FontMetricsTable& table = GetFontMetricsTable();
    ASSERT_EQ(table.size(), kRowOrder.size());
    for (std::size_t i = 0; i < table.size(); ++i) {
        EXPECT_EQ(table[i].name, kRowOrder[i]) << "row " << i + 1;
    }
    EXPECT_EQ(table.front().name, "Algerian");
    EXPECT_EQ(table[4].name, "Arial");
    EXPECT_EQ(table.back().name, "ZapfDingbats");
}

TEST(FontMetricsTableTest, BuildingAgainAddsNoRows) {
    BuildFontMetricsTable();
    const FontMetricsEntry* before = FindFontMetrics("Arial");
    BuildFontMetricsTable();
    BuildFontMetricsTable();
    EXPECT_EQ(GetFontMetricsTable().size(), 161U);
    EXPECT_EQ(FindFontMetrics("Arial"), before);
}

TEST(FontMetricsTableTest, EveryRowHasItsOwnBlock) {
    // Rows with equal numbers still refer to separate blocks, laid out as
    // bounding box followed by the widths.
    const FontMetricsTable& table = GetFontMetricsTable();
    for (std::size_t i = 0; i < table.size(); ++i) {
        EXPECT_EQ(table[i].widths.data(), table[i].boundingBox.data() + 4) << table[i].name;
        if (i > 0) {
            EXPECT_NE(table[i].widths.data(), table[i - 1].widths.data()) << table[i].name;
        }
    }
}

// ---------------------------------------------------------------------------
// The numbers that matter

struct TellingRow {
    std::string_view name;
    std::array<int32_t, 4> box;  // left, bottom, right, top
    int32_t controlFill;         // codes 0 to 31
    int32_t space;               // 32
    int32_t zero;                // 48
    int32_t capitalA;            // 65
    int32_t capitalW;            // 87
    int32_t smallA;              // 97
    int32_t smallI;              // 105
    int32_t code255;             // 255
};

// clang-format off
constexpr TellingRow kTellingRows[] = {
    {"Arial", {-46, -210, 1000, 896}, 750, 278, 556, 667, 944, 556, 222, 500},
    {"Arial-Bold", {-46, -210, 1000, 904}, 750, 278, 556, 722, 944, 556, 278, 556},
    {"Helvetica", {-166, -225, 1000, 931}, 600, 278, 556, 667, 944, 556, 222, 500},
    {"Courier", {-23, -250, 715, 805}, 600, 600, 600, 600, 600, 600, 600, 600},
    {"Times-Roman", {-168, -218, 1000, 898}, 600, 250, 500, 722, 944, 444, 278, 500},
    {"TimesNewRoman", {-77, -216, 1009, 896}, 778, 250, 500, 722, 944, 444, 278, 500},
    {"Verdana", {-30, -207, 1447, 1000}, 1000, 352, 636, 684, 989, 601, 274, 592},
    {"SymbolMT", {0, -220, 1113, 1005}, 600, 250, 500, 722, 768, 631, 329, 600},
    {"ZapfDingbats", {-1, -143, 981, 820}, 600, 278, 911, 692, 776, 789, 713, 600},
    {"Wingdings", {0, -211, 1359, 899}, 500, 1000, 1096, 587, 723, 1090, 780, 1035},
};
// clang-format on

TEST(FontMetricsTableTest, TellingRows) {
    for (const TellingRow& expected : kTellingRows) {
        SCOPED_TRACE(expected.name);
        const FontMetricsEntry& row = Row(expected.name);
        EXPECT_EQ(BoxOf(row), expected.box);
        for (int code = 0; code < 32; ++code) {
            EXPECT_EQ(row.widths[code], expected.controlFill) << "code " << code;
        }
        EXPECT_EQ(row.widths[32], expected.space);
        EXPECT_EQ(row.widths[48], expected.zero);
        EXPECT_EQ(row.widths[65], expected.capitalA);
        EXPECT_EQ(row.widths[87], expected.capitalW);
        EXPECT_EQ(row.widths[97], expected.smallA);
        EXPECT_EQ(row.widths[105], expected.smallI);
        EXPECT_EQ(row.widths[255], expected.code255);
    }
}

TEST(FontMetricsTableTest, ArialPrintableCodes) {
    constexpr std::array<int32_t, 95> kArial32To126 = {
        278,  278, 355, 556, 556, 889, 667, 191, 333, 333, 389, 584, 278, 333, 278, 278,  // 32-47
        556,  556, 556, 556, 556, 556, 556, 556, 556, 556,                                // digits
        278,  278, 584, 584, 584, 556,                                                    // 58-63
        1015, 667, 667, 722, 722, 667, 611, 778, 722, 278, 500, 667, 556, 833,            // 64-77
        722,  778, 667, 778, 722, 667, 611, 722, 667, 944, 667, 667, 611,                 // 78-90
        278,  278, 278, 469, 556, 333,                                                    // 91-96
        556,  556, 500, 556, 556, 278, 556, 556, 222, 222, 500, 222, 833,                 // 97-109
        556,  556, 556, 556, 333, 500, 278, 556, 500, 722, 500, 500, 500,                 // 110-122
        334,  260, 334, 584,                                                              // 123-126
    };
    const FontMetricsEntry& arial = Row("Arial");
    for (std::size_t i = 0; i < kArial32To126.size(); ++i) {
        EXPECT_EQ(arial.widths[32 + i], kArial32To126[i]) << "code " << 32 + i;
    }
    EXPECT_EQ(arial.widths[127], 750);
}

TEST(FontMetricsTableTest, WindowsAnsiOrderOfHelveticaAndTimes) {
    // The widths of the glyphs the font objects' encoding names there; codes
    // it leaves empty keep 600.
    const FontMetricsEntry& helvetica = Row("Helvetica");
    EXPECT_EQ(helvetica.widths[39], 191);    // quotesingle
    EXPECT_EQ(helvetica.widths[96], 333);    // grave
    EXPECT_EQ(helvetica.widths[128], 556);   // Euro
    EXPECT_EQ(helvetica.widths[151], 1000);  // emdash
    EXPECT_EQ(helvetica.widths[164], 556);   // currency
    EXPECT_EQ(helvetica.widths[225], 556);   // aacute
    EXPECT_EQ(helvetica.widths[127], 600);
    EXPECT_EQ(helvetica.widths[129], 600);
    const FontMetricsEntry& times = Row("Times-Roman");
    EXPECT_EQ(times.widths[198], 889);  // AE
    EXPECT_EQ(times.widths[225], 444);  // aacute
}

TEST(FontMetricsTableTest, DescriptorValues) {
    struct Expected {
        std::string_view name;
        FontDescriptorValues values;
    };
    // clang-format off
    constexpr Expected kExpected[] = {
        {"Arial",             {32, 896, -210, 896, 80}},     // from the box
        {"Arial-Bold",        {32, 904, -210, 904, 140}},
        {"Helvetica",         {32, 718, -207, 718, 88}},     // published
        {"Helvetica-Oblique", {96, 718, -207, 718, 88}},
        {"Times-Roman",       {34, 683, -217, 662, 84}},
        {"Times-BoldItalic",  {98, 683, -217, 669, 121}},
        {"Courier",           {35, 629, -157, 562, 51}},
        {"LucidaConsole",     {33, 789, -211, 789, 80}},
        {"SymbolMT",          {4, 1005, -220, 1005, 85}},
        {"Wingdings",         {4, 899, -211, 899, 80}},
    };
    // clang-format on
    for (const Expected& expected : kExpected) {
        SCOPED_TRACE(expected.name);
        const FontMetricsEntry& row = Row(expected.name);
        const FontDescriptorValues values = DescriptorValues(row);
        EXPECT_EQ(values.flags, expected.values.flags);
        EXPECT_EQ(values.ascent, expected.values.ascent);
        EXPECT_EQ(values.descent, expected.values.descent);
        EXPECT_EQ(values.capHeight, expected.values.capHeight);
        EXPECT_EQ(values.stemV, expected.values.stemV);
    }
}

TEST(FontMetricsTableTest, ControlCodeFills) {
    struct Fill {
        std::string_view name;
        int32_t fill;
    };
    constexpr Fill kFills[] = {
        {"ArialUnicodeMS", 1000}, {"Courier-Bold", 600}, {"Helvetica-BoldOblique", 600},
        {"Times-Italic", 600},    {"Verdana", 1000},     {"Wingdings", 500},
    };
    for (const Fill& expected : kFills) {
        const FontMetricsEntry& row = Row(expected.name);
        for (int code = 0; code < 32; ++code) {
            EXPECT_EQ(row.widths[code], expected.fill) << expected.name << " code " << code;
        }
    }

    // Three rows differ from their own fill in a single control code.
    struct Exception {
        std::string_view name;
        int code;
        int32_t width;
    };
    constexpr Exception kExceptions[] = {{"Century", 0, 1000}, {"Shruti", 13, 389}, {"Tunga", 13, 313}};
    for (const Exception& expected : kExceptions) {
        SCOPED_TRACE(expected.name);
        const FontMetricsEntry& row = Row(expected.name);
        EXPECT_EQ(row.widths[expected.code], expected.width);
        const int32_t fill = row.widths[expected.code == 0 ? 1 : 0];
        EXPECT_NE(fill, expected.width);
        for (int code = 0; code < 32; ++code) {
            if (code != expected.code) {
                EXPECT_EQ(row.widths[code], fill) << "code " << code;
            }
        }
    }
}

TEST(FontMetricsTableTest, RowsSharingTheirNumbers) {
    constexpr std::string_view kMonospaced[] = {
        "Courier",    "Courier-Bold",    "Courier-Oblique",       "Courier-BoldOblique",
        "CourierNew", "CourierNew-Bold", "CourierNew-BoldItalic", "CourierNew-Italic",
    };
    for (std::string_view name : kMonospaced) {
        const FontMetricsEntry& row = Row(name);
        EXPECT_EQ(std::count(row.widths.begin(), row.widths.end(), 600), 256) << name;
    }

    struct Pair {
        std::string_view first;
        std::string_view second;
        bool sameBox;
    };
    constexpr Pair kPairs[] = {
        {"Helvetica", "Helvetica-Oblique", false},
        {"Helvetica-Bold", "Helvetica-BoldOblique", false},
        {"NiagaraEngraved", "NiagaraSolid", true},
        {"MSReferenceSansSerif", "Verdana", true},
    };
    for (const Pair& pair : kPairs) {
        SCOPED_TRACE(std::string(pair.first) + " / " + std::string(pair.second));
        const FontMetricsEntry& a = Row(pair.first);
        const FontMetricsEntry& b = Row(pair.second);
        EXPECT_TRUE(std::equal(a.widths.begin(), a.widths.end(), b.widths.begin()));
        if (pair.sameBox) {
            EXPECT_EQ(BoxOf(a), BoxOf(b));
        }
    }
}

// ---------------------------------------------------------------------------
// Finding a row by name

struct Lookup {
    std::string_view request;
    std::string_view found;  // empty: no row matches
};

// clang-format off
constexpr Lookup kLookups[] = {
    {"Arial", "Arial"},
    {"Arial Bold", "Arial-Bold"},
    {"Arial,Bold", "Arial-Bold"},
    {"ArialBold", "Arial-Bold"},
    {"Arial-Bold", "Arial-Bold"},
    {" Arial - Bold 7 ", "Arial-Bold"},
    {"Ari\xE9" "al", "Arial"},  // bytes of 128 and above are dropped
    {"Arial\0"sv, "Arial"},
    {"arial", ""},
    {"ARIAL", ""},
    {"Wingdings", "Wingdings"},
    {"Wingdings2", "Wingdings"},  // the earlier row wins
    {"Wingdings3", "Wingdings"},
    {"Symbol", ""},
    {"SymbolMT", "SymbolMT"},
    {"Bauhaus", "Bauhaus93"},
    {"Bauhaus93", "Bauhaus93"},
    {"Times New Roman", "TimesNewRoman"},
    {"Times", ""},
    {"Times-Roman", "Times-Roman"},
    {"Helvetica Oblique", "Helvetica-Oblique"},
    {"Courier New", "CourierNew"},
    {"ZapfDingbats", "ZapfDingbats"},
    {"", ""},
    {"1234", ""},
    {"-- ,93", ""},
    {"ArialX", ""},
    {"Aria", ""},
};
// clang-format on

TEST(FontMetricsTableTest, FindsTheFirstRowWithTheSameLetters) {
    for (const Lookup& lookup : kLookups) {
        SCOPED_TRACE(std::string(lookup.request));
        const FontMetricsEntry* entry = FindFontMetrics(lookup.request);
        if (lookup.found.empty()) {
            EXPECT_EQ(entry, nullptr);
        } else {
            ASSERT_NE(entry, nullptr);
            EXPECT_EQ(entry->name, lookup.found);
            EXPECT_EQ(entry, &Row(lookup.found));
        }
    }
}

TEST(FontMetricsTableTest, RowsShadowedByAnEarlierRow) {
    // "Wingdings2" and "Wingdings3" have the letters of "Wingdings" and are
    // never found; every other row is found under its own name.
    for (const FontMetricsEntry& row : GetFontMetricsTable()) {
        const FontMetricsEntry* found = FindFontMetrics(row.name);
        ASSERT_NE(found, nullptr) << row.name;
        if (row.name == "Wingdings2" || row.name == "Wingdings3") {
            EXPECT_EQ(found->name, "Wingdings");
        } else {
            EXPECT_EQ(found, &row) << row.name;
        }
    }
}

// ---------------------------------------------------------------------------
// Text width

struct Width {
    std::string_view font;
    std::string_view text;
    int32_t width;
};

// clang-format off
constexpr Width kWidths[] = {
    {"Arial", "Page 1 / 2", 4559},
    {"Arial", "", 0},
    {"Arial", " ", 278},
    {"Arial", "   ", 834},          // spaces count
    {"Arial", "\0"sv, 750},         // so do control codes
    {"Arial", "AV", 1334},          // no kerning
    {"Times New Roman", "W", 944},
    {"Helvetica", "\xA4", 556},     // currency, as the font object's encoding has it
    {"Helvetica", "\x80\xFF", 1056},
    {"Courier", "Page 1 / 2", 6000},
    {"Wingdings2", "0", 1096},      // measured with the row that is found
    {"arial", "Page 1 / 2", 0},     // no row: width 0
    {"", "Page", 0},
    {"Symbol", "abc", 0},
};
// clang-format on

TEST(FontMetricsTableTest, TextWidth) {
    for (const Width& expected : kWidths) {
        EXPECT_EQ(TextWidth(expected.font, expected.text), expected.width) << expected.font << " / " << expected.text;
    }
}

TEST(FontMetricsTableTest, TextWidthOfALongTextStaysInRange) {
    // 1000 per space in Wingdings: 2,200,000 spaces exceed the 32-bit range.
    const std::string spaces(2'200'000, ' ');
    EXPECT_EQ(TextWidth("Wingdings", spaces), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(TextWidth("Wingdings", std::string_view(spaces).substr(0, 2'000'000)), 2'000'000'000);
}

}  // namespace
