#include "stamp/TextStamp.h"

#include <gtest/gtest.h>

#include <sstream>

#include "fonts/FontMetricsTable.h"
#include "stamp/Placement.h"

namespace {

// The numbers of the widths block, line by line.
std::vector<std::string> WidthLines(const std::string& fontObject) {
    const size_t start = fontObject.find("/Widths [\n");
    const size_t end = fontObject.find(" ]\n", start);
    std::vector<std::string> lines;
    std::istringstream in(fontObject.substr(start + 10, end - start - 10));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TEST(TextStampTest, FontDescriptorForArial) {
    const FontMetricsEntry* arial = FindFontMetrics("Arial");
    ASSERT_NE(arial, nullptr);
    EXPECT_EQ(FontDescriptorBody("Arial", *arial),
              "\n<<\n/Type /FontDescriptor\n/FontName /Arial\n/FontBBox [-46 -210 1000 896 ]\n"
              "/Flags 32\n/ItalicAngle 0\n/Ascent 896\n/Descent -210\n/CapHeight 896\n/StemV 80\n>>\n");
}

TEST(TextStampTest, FontObjectForArial) {
    const FontMetricsEntry* arial = FindFontMetrics("Arial");
    ASSERT_NE(arial, nullptr);
    const std::string font = FontBody("F123", "Arial", 10, *arial);
    EXPECT_EQ(font.substr(0, font.find("/Widths")),
              "\n<<\n/Type /Font\n/Name /F123\n/Subtype /TrueType\n/Encoding /WinAnsiEncoding\n"
              "/BaseFont /Arial\n/FontDescriptor 10 0 R\n/FirstChar 0\n/LastChar 255\n");
    EXPECT_EQ(font.substr(font.size() - 7), "\n ]\n>>\n");
    const std::vector<std::string> lines = WidthLines(font);
    ASSERT_EQ(lines.size(), 16u);
    const std::string fill = "750 750 750 750 750 750 750 750 750 750 750 750 750 750 750 750 ";
    EXPECT_EQ(lines[0], fill);
    EXPECT_EQ(lines[1], fill);
    EXPECT_EQ(lines[2], "278 278 355 556 556 889 667 191 333 333 389 584 278 333 278 278 ");
    EXPECT_EQ(lines[3], "556 556 556 556 556 556 556 556 556 556 278 278 584 584 584 556 ");
    EXPECT_EQ(lines[4], "1015 667 667 722 722 667 611 778 722 278 500 667 556 833 722 778 ");
    EXPECT_EQ(lines[5], "667 778 722 667 611 722 667 944 667 667 611 278 278 278 469 556 ");
    EXPECT_EQ(lines[6], "333 556 556 500 556 556 278 556 556 222 222 500 222 833 556 556 ");
    EXPECT_EQ(lines[7], "556 556 333 500 278 556 500 722 500 500 500 334 260 334 584 750 ");
}

TEST(TextStampTest, FontObjectForHelveticaEndsWithYDieresis) {
    const FontMetricsEntry* helvetica = FindFontMetrics("Helvetica");
    ASSERT_NE(helvetica, nullptr);
    const std::string font = FontBody("F1", "Helvetica", 10, *helvetica);
    const std::vector<std::string> lines = WidthLines(font);
    ASSERT_EQ(lines.size(), 16u);
    for (const std::string& line : lines) {
        int count = 0;
        for (char c : line) count += c == ' ';
        EXPECT_EQ(count, 16) << line;
    }
    EXPECT_EQ(lines[15].substr(lines[15].size() - 4), "500 ");
    EXPECT_NE(font.find("500 \n ]\n>>\n"), std::string::npos);
    EXPECT_NE(font.find("/FontDescriptor 10 0 R\n"), std::string::npos);
}

TEST(TextStampTest, FontNamesAreWrittenAsValidNames) {
    // Typed with spaces, found through its letters, written with escapes.
    const FontMetricsEntry* times = FindFontMetrics("Times New Roman");
    ASSERT_NE(times, nullptr);
    EXPECT_EQ(times->name, "TimesNewRoman");
    EXPECT_NE(FontDescriptorBody("Times New Roman", *times).find("/FontName /Times#20New#20Roman\n"),
              std::string::npos);
    EXPECT_NE(FontBody("F1", "Times New Roman", 5, *times).find("/BaseFont /Times#20New#20Roman\n"), std::string::npos);
}

TEST(TextStampTest, ColorOperator) {
    const auto ColorOperator = [](uint32_t color) {
        std::string out = "q ";
        AppendColorOperator(out, color);
        return out.substr(2);
    };
    EXPECT_EQ(ColorOperator(0x000000), "0.000000 0.000000 0.000000 rg");
    EXPECT_EQ(ColorOperator(0x808080), "0.501961 0.501961 0.501961 rg");
    EXPECT_EQ(ColorOperator(0xFFFFFF), "1.000000 1.000000 1.000000 rg");
    EXPECT_EQ(ColorOperator(0x0000FF), "0.000000 0.000000 1.000000 rg");
    EXPECT_EQ(ColorOperator(0x123456), "0.070588 0.203922 0.337255 rg");
    EXPECT_EQ(ColorOperator(0xFFFF0000), "1.000000 0.000000 0.000000 rg");  // higher bits ignored
}

TEST(TextStampTest, ContentStreamAtNinetyDegrees) {
    StampPlacement placement;
    placement.x = 20;
    placement.y = 10;
    placement.angle = 90;
    EXPECT_EQ(TextContent(placement, 0xFF0000, "F123", 11, "Page 1 / 2"),
              "BT\n0.000000 1.000000 -1.000000 0.000000 20.000000 10.000000 Tm\n1.000000 0.000000 0.000000 rg\n"
              "/F123 11 Tf\n(Page 1 / 2) Tj\nET");
}

TEST(TextStampTest, AnglesTurnAboutTheReferencePoint) {
    // Quarter turns are exact; the text starts the shift before the
    // reference point along its own direction.
    StampPlacement placement;
    placement.x = 300;
    placement.y = 300;
    placement.shift = 100;
    const auto matrix = [&placement](float angle) {
        placement.angle = angle;
        const std::string content = TextContent(placement, 0, "F1", 11, "x");
        return content.substr(3, content.find(" Tm") - 3);
    };
    EXPECT_EQ(matrix(0), "1.000000 0.000000 -0.000000 1.000000 200.000000 300.000000");
    EXPECT_EQ(matrix(90), "0.000000 1.000000 -1.000000 0.000000 300.000000 200.000000");
    EXPECT_EQ(matrix(180), "-1.000000 0.000000 -0.000000 -1.000000 400.000000 300.000000");
    EXPECT_EQ(matrix(-90), "0.000000 -1.000000 1.000000 0.000000 300.000000 400.000000");
    EXPECT_EQ(matrix(450), matrix(90));
    EXPECT_EQ(matrix(45), "0.707107 0.707107 -0.707107 0.707107 229.289323 229.289323");
    EXPECT_EQ(matrix(30), "0.866025 0.500000 -0.500000 0.866025 213.397461 250.000000");
}

TEST(TextStampTest, StampTextIsEscaped) {
    StampPlacement placement;
    EXPECT_NE(TextContent(placement, 0, "F1", 11, "a(b)c\\d").find("(a\\(b\\)c\\\\d) Tj\nET"), std::string::npos);
    EXPECT_NE(TextContent(placement, 0, "F1", 11, "").find("() Tj"), std::string::npos);
}

}  // namespace
