// Pages whose own content ends out of balance, stamped by the whole program at
// -pos100,200 and read back by poppler (pdftotext -bbox) and MuPDF (mutool
// draw -F stext): the stamp stands upright, 11 points high, where asked; in a
// tagged document its artifact lies outside every tagged sequence.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <regex>
#include <sstream>

#include "support/CaseName.h"
#include "support/ExternalTools.h"
#include "support/OutputReader.h"
#include "support/PdfBuilder.h"
#include "support/StampRunner.h"
#include "support/TestFiles.h"

namespace {

struct ContentCase {
    const char* name;
    std::string content;
    bool tagged = false;
};

void PrintTo(const ContentCase& c, std::ostream* os) { *os << c.name; }

const ContentCase kCases[] = {
    // Without a q for each Q the stamp would be drawn at twice the size.
    {"TwoUnmatchedQThenCm", "Q Q 2 0 0 2 0 0 cm BT /F1 12 Tf 36 150 Td (Hello) Tj ET"},
    // Text left invisible (3 Tr) inside an open text object.
    {"EndsInsideText", "BT /F1 12 Tf 72 500 Td 3 Tr (Hidden) Tj"},
    {"TaggedEndsInsideMarkedContent", "/P <</MCID 0>> BDC 2 0 0 2 0 0 cm BT /F1 12 Tf 36 250 Td (Hello) Tj ET", true},
};

// A Letter page drawing `content` with Helvetica as /F1, stamped.
std::string Stamped(const ContentCase& c, const TempFolder& folder) {
    PdfBuilder pdf;
    pdf.Object(
        1, std::string("<< /Type /Catalog /Pages 2 0 R ") + (c.tagged ? "/MarkInfo << /Marked true >> " : "") + ">>");
    pdf.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    pdf.Object(3,
               "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
               "/Resources << /Font << /F1 5 0 R >> >> >>");
    pdf.Stream(4, "", c.content);
    pdf.Object(5, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    const StampResult result = RunTextStamp(pdf.WithXRefTable("/Root 1 0 R"), {"-pos100,200"});
    EXPECT_EQ(result.message, "");
    const std::string path = folder.File("out.pdf");
    WriteFile(path, result.output.value_or(""));
    return path;
}

// The stamp's "Page" at x 100, its baseline 200 points up (592 from the top).
constexpr double kX = 100;
constexpr double kBaseline = 792 - 200;

double Attribute(const std::string& element, const std::string& name) {
    const size_t at = element.find(" " + name + "=\"");
    return at == std::string::npos ? -1 : std::atof(element.c_str() + at + name.size() + 3);
}

class UnbalancedContentTest : public ::testing::TestWithParam<ContentCase> {};

TEST_P(UnbalancedContentTest, PopplerFindsTheStampUprightWhereAsked) {
    if (!HaveTool("pdftotext")) GTEST_SKIP() << "poppler-utils is not installed";
    const TempFolder folder;
    const std::string out = RunTool("pdftotext -bbox " + ShellQuote(Stamped(GetParam(), folder)) + " -").out;
    const size_t word = out.find(">Page</word>");
    ASSERT_NE(word, std::string::npos) << out;
    const std::string box = out.substr(out.rfind("<word ", word), word - out.rfind("<word ", word));
    const double left = Attribute(box, "xMin");
    const double top = Attribute(box, "yMin");
    const double bottom = Attribute(box, "yMax");
    // 11 points upright: the box's bottom a descent below the baseline.
    EXPECT_NEAR(left, kX, 2) << box;
    EXPECT_GT(bottom, kBaseline) << box;
    EXPECT_LT(bottom - kBaseline, 5) << box;
    EXPECT_NEAR(bottom - top, 11, 4) << box;
    EXPECT_GT(Attribute(box, "xMax") - left, bottom - top) << box;
}

TEST_P(UnbalancedContentTest, MupdfFindsTheStampUprightWhereAsked) {
    if (!HaveTool("mutool")) GTEST_SKIP() << "mupdf-tools is not installed";
    const TempFolder folder;
    const std::string out = RunTool("mutool draw -F stext -o - " + ShellQuote(Stamped(GetParam(), folder)) + " 1").out;
    // The line, font and first character of "Page".
    static const std::regex kPage(
        "<line [^>]*dir=\"([^\"]*)\">\\s*<font [^>]*size=\"([^\"]*)\">\\s*(<char [^>]*c=\"P\"/>)\\s*<char "
        "[^>]*c=\"a\"/>");
    std::smatch match;
    ASSERT_TRUE(std::regex_search(out, match, kPage)) << out;
    EXPECT_EQ(match[1].str(), "1 0");
    EXPECT_NEAR(std::atof(match[2].str().c_str()), 11, 0.01);
    EXPECT_NEAR(Attribute(match[3].str(), "x"), kX, 1) << match[3];
    EXPECT_NEAR(Attribute(match[3].str(), "y"), kBaseline, 1) << match[3];
}

INSTANTIATE_TEST_SUITE_P(Pages, UnbalancedContentTest, ::testing::ValuesIn(kCases), CaseName<ContentCase>);

// The page's content streams drawn one after the other: the stamp's artifact
// begins where no marked-content sequence is open.
TEST(UnbalancedContentTest, TaggedStampIsAnArtifactOutsideTheTaggedContent) {
    const TempFolder folder;
    const OutputReader output(ReadFile(Stamped(kCases[2], folder)));
    const std::string page = *output.Object(3);
    std::istringstream contents(page.substr(page.find("/Contents [") + 11));
    std::string all;
    for (std::string number, generation, r; contents >> number >> generation >> r && r == "R";) {
        const std::string stream = *output.Object(std::atoi(number.c_str()));
        const size_t data = stream.find("stream\n") + 7;
        all += stream.substr(data, stream.rfind("\nendstream") - data) + "\n";
    }
    std::istringstream tokens(all);
    int depth = 0;
    std::string previous;
    bool artifact = false;
    for (std::string token; tokens >> token; previous = token) {
        if (token == "/Artifact") {
            EXPECT_EQ(depth, 0) << all;
            artifact = true;
        }
        if (token == "BDC" || token == "BMC") ++depth;
        if (token == "EMC" && depth > 0) --depth;
    }
    EXPECT_TRUE(artifact) << all;
    EXPECT_EQ(depth, 0) << all;
}

}  // namespace
