// Whole runs on pages whose own content may leave the graphics state changed:
// the shared "q" stream goes first in /Contents and the stamp starts with the
// "Q" that return to the page's initial state. Tagged documents get artifacts.
#include <gtest/gtest.h>

#include "support/CaseName.h"
#include "support/OutputReader.h"
#include "support/PdfBuilder.h"
#include "support/StampRunner.h"

namespace {

const std::string kText =
    "BT\n1.000000 0.000000 -0.000000 1.000000 20.000000 10.000000 Tm\n"
    "0.000000 0.000000 0.000000 rg\n/F1 11 Tf\n(Page 1 / 1) Tj\nET";

struct WrapCase {
    std::string name;
    std::string contents;                                      // the page's /Contents value
    std::vector<std::pair<std::string, std::string>> streams;  // objects 4, 5, …: dictionary entries, data
    std::string editedContents;                                // /Contents in the output's page or array object 7
    int32_t restores;                                          // 0: the page is not wrapped
    std::string lead = "q";                                    // the stream drawn first
    std::string closes = "";                                   // what the stamp closes first
};

std::string Data(const std::string& object) {
    const size_t start = object.find("stream\n") + 7;
    return object.substr(start, object.rfind("\nendstream") - start);
}

void ExpectWrap(const WrapCase& c) {
    PdfBuilder pdf =
        OnePageObjects({.page = "<< /Type /Page /Parent 2 0 R /Contents " + c.contents + " /Resources << >> >>"});
    int32_t number = 4;
    for (const auto& [entries, data] : c.streams) pdf.Stream(number++, entries, data);
    pdf.Object(7, "[4 0 R 5 0 R]");
    pdf.Object(8, "null");
    const StampResult result = RunTextStamp(pdf.WithXRefTable("/Root 1 0 R"), {}, 1);
    ASSERT_EQ(result.message, "");
    const OutputReader output(*result.output);
    // Descriptor 9, font 10, then "q" 11 and the stamp 12 (or the stamp 11).
    const int32_t stamp = c.restores > 0 ? 12 : 11;
    if (c.restores > 0) {
        EXPECT_EQ(*output.Object(11), "11 0 obj\n<<\n/Length " + std::to_string(c.lead.size()) + " \n>>\nstream\n" +
                                          c.lead + "\nendstream\nendobj\n");
    }
    std::string restores;
    for (int32_t i = 0; i < c.restores; ++i) restores += "Q\n";
    EXPECT_EQ(Data(*output.Object(stamp)), c.closes + restores + kText);
    const std::string edited = c.contents == "7 0 R" ? *output.Object(7) : *output.Object(3);
    EXPECT_NE(edited.find(c.editedContents), std::string::npos) << edited;
}

class SavedStateTest : public ::testing::TestWithParam<WrapCase> {};

TEST_P(SavedStateTest, LeadingStreamRestoresAndContents) { ExpectWrap(GetParam()); }

const std::string kPlain = "BT /F1 12 Tf 72 720 Td (Hello) Tj ET";
const std::string kFlipped = "1 0 0 -1 0 792 cm " + kPlain;

INSTANTIATE_TEST_SUITE_P(
    Reasons, SavedStateTest,
    ::testing::Values(
        WrapCase{"Transformation", "4 0 R", {{"", kFlipped}}, "/Contents [11 0 R 4 0 R  12 0 R ]", 1},
        WrapCase{"Clip", "4 0 R", {{"", "0 0 100 100 re W n " + kPlain}}, "[11 0 R 4 0 R  12 0 R ]", 1},
        WrapCase{"TextState", "4 0 R", {{"", "BT 3 Tr ET"}}, "[11 0 R 4 0 R  12 0 R ]", 1},
        WrapCase{"GraphicsState", "4 0 R", {{"", "/G1 gs"}}, "[11 0 R 4 0 R  12 0 R ]", 1},
        WrapCase{"UnbalancedQ", "4 0 R", {{"", "q q 2 0 0 2 0 0 cm q Q"}}, "[11 0 R 4 0 R  12 0 R ]", 3},
        WrapCase{"Ascii85", "4 0 R", {{"/Filter /ASCII85Decode", "z~>"}}, "[11 0 R 4 0 R  12 0 R ]", 1},
        WrapCase{"DamagedFlate", "4 0 R", {{"/Filter /FlateDecode", "not flate"}}, "[11 0 R 4 0 R  12 0 R ]", 1},
        WrapCase{"FlateDecoded",
                 "4 0 R",
                 {{"/Filter /FlateDecode", Deflate("q " + kFlipped)}},
                 "/Contents [11 0 R 4 0 R  12 0 R ]",
                 2},
        WrapCase{"LongFlate",
                 "4 0 R",
                 {{"/Filter /FlateDecode", Deflate(std::string(200000, ' ') + "q " + kFlipped)}},
                 "/Contents [11 0 R 4 0 R  12 0 R ]",
                 2},
        WrapCase{"FlateCutShort",
                 "4 0 R",
                 {{"/Filter /FlateDecode", Deflate("q " + kPlain + " Q").substr(0, 20)}},
                 "[11 0 R 4 0 R  12 0 R ]",
                 1},
        // Balanced over the array: q in one stream, cm and Q in the next.
        WrapCase{"DirectArrayBalanced",
                 "[4 0 R 5 0 R]",
                 {{"", "q"}, {"", "2 0 0 2 0 0 cm Q"}},
                 "/Contents [4 0 R 5 0 R 11 0 R ]",
                 0},
        WrapCase{
            "DirectArray", "[4 0 R 5 0 R]", {{"", kPlain}, {"", "5 Tc"}}, "/Contents [11 0 R 4 0 R 5 0 R 12 0 R ]", 1},
        WrapCase{"ArrayObject", "7 0 R", {{"", kFlipped}, {"", kPlain}}, "[11 0 R 4 0 R 5 0 R 12 0 R ]", 1},
        // One more "q" for each "Q" without its own, over all streams.
        WrapCase{"UnmatchedQThenCm",
                 "4 0 R",
                 {{"", "Q Q 2 0 0 2 0 0 cm " + kPlain}},
                 "/Contents [11 0 R 4 0 R  12 0 R ]",
                 1,
                 "q\nq\nq"},
        WrapCase{"UnmatchedQAcrossStreams",
                 "[4 0 R 5 0 R]",
                 {{"", "q Q Q q"}, {"", "Q Q cm"}},
                 "/Contents [11 0 R 4 0 R 5 0 R 12 0 R ]",
                 1,
                 "q\nq\nq"},
        // What the content leaves open is closed first.
        WrapCase{"EndsInsideText",
                 "4 0 R",
                 {{"", "BT /F1 12 Tf 72 720 Td (Hello) Tj"}},
                 "/Contents [4 0 R  11 0 R ]",
                 0,
                 "q",
                 "ET\n"},
        WrapCase{"TextInMarkedContentAcrossStreams",
                 "[4 0 R 5 0 R]",
                 {{"", "/P <</MCID 0>> BDC EMC EMC q 2 0 0 2 0 0 cm /P <</MCID 1>> BDC BT /F1 12 Tf"}, {"", "(Hi) Tj"}},
                 "/Contents [11 0 R 4 0 R 5 0 R 12 0 R ]",
                 2,
                 "q",
                 "ET\nEMC\n"},
        // Operators inside strings, comments and inline images do not count.
        WrapCase{"SkippedData",
                 "4 0 R",
                 {{"", "q 1 0 0 1 5 5 cm Q (cm\\) W) Tj <636d> Tj % cm\nBI /W 4 /H 1 ID \ncm W*EI EI q Q"}},
                 "/Contents [4 0 R  11 0 R ]",
                 0}),
    CaseName<WrapCase>);

TEST(SavedStateTest, ContentBeyondTheLargestStreamIsWrapped) {
    ExpectWrap({"",
                "4 0 R",
                {{"/Filter /FlateDecode", Deflate(std::string((64 << 20) + 1, ' '))}},
                "[11 0 R 4 0 R  12 0 R ]",
                1});
}

TEST(SavedStateTest, ArrayObjectOfSeveralPagesStaysAsItIs) {
    PdfBuilder pdf;
    pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R /MarkInfo << /Marked true >> >>");
    pdf.Object(2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>");
    pdf.Object(3, "<< /Type /Page /Parent 2 0 R /Contents 5 0 R /Resources << >> >>");
    pdf.Object(4, "<< /Type /Page /Parent 2 0 R /Contents 5 0 R /Resources << >> >>");
    pdf.Object(5, "[6 0 R]");
    pdf.Stream(6, "", kFlipped);
    const StampResult result = RunTextStamp(pdf.WithXRefTable("/Root 1 0 R"), {}, 1);
    ASSERT_EQ(result.message, "");
    const OutputReader output(*result.output);
    // Descriptor 7, font 8, "q" 9 shared by both pages, stamps 10 and 11.
    EXPECT_EQ(*output.Object(5), "5 0 obj\n[6 0 R]\nendobj\n");
    EXPECT_NE(output.Object(3)->find("/Contents [9 0 R 6 0 R 10 0 R ] /Resources"), std::string::npos);
    EXPECT_NE(output.Object(4)->find("/Contents [9 0 R 6 0 R 11 0 R ] /Resources"), std::string::npos);
    EXPECT_EQ(output.Object(12), std::nullopt);
    // A tagged document: the text is a pagination artifact.
    EXPECT_EQ(Data(*output.Object(11)),
              "Q\n/Artifact <</Type /Pagination>> BDC\nBT\n1.000000 0.000000 -0.000000 1.000000 20.000000 10.000000 "
              "Tm\n0.000000 0.000000 0.000000 rg\n/F1 11 Tf\n(Page 2 / 2) Tj\nET\nEMC");
}

// Content scanned ahead on threads gives the same output as content scanned
// page by page: 5,000 pages beyond the pages the page list keeps, whose
// content is deflated or long, shared, in arrays, with a /Length of its own
// or in an object stream, damaged, or drawn by a page in an object stream.
TEST(SavedStateTest, ScanThreadsLeaveTheOutputAsItIs) {
    constexpr int32_t kPages = 5000;
    const std::string longText = kPlain + std::string(20000, ' ') + " q\n";
    PdfBuilder pdf;
    pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    std::string kids = "6 0 R ";
    for (int32_t i = 0; i < kPages; ++i) kids += std::to_string(10 + 3 * i) + " 0 R ";
    pdf.Object(2, "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(kPages + 1) + " >>");
    pdf.Object(3, "7");
    pdf.ObjectStream(4, {{5, "31"}, {6, "<< /Type /Page /Parent 2 0 R /Contents 9 0 R /Resources << >> >>"}});
    pdf.Stream(9, "/Filter /FlateDecode", Deflate("q " + kFlipped + " Q"));
    for (int32_t i = 0; i < kPages; ++i) {
        const int32_t page = 10 + 3 * i;
        const std::string own = std::to_string(page + 1) + " 0 R";
        const std::string contents[] = {own, "[" + own + " 9 0 R]", "9 0 R", own, "[" + own + " " + own + "]", own};
        pdf.Object(page, "<< /Type /Page /Parent 2 0 R /Contents " + contents[i % 6] + " /Resources << >> >>");
        switch (i % 7) {
            case 0:
                pdf.Stream(page + 1, "/Filter /FlateDecode", Deflate(i % 2 == 0 ? kFlipped : "q " + kFlipped + " Q"));
                break;
            case 1:
                pdf.Stream(page + 1, "", i % 3 == 0 ? longText : "q " + longText);
                break;
            case 2:
                pdf.Object(page + 1, "<< /Length 3 0 R >>\nstream\nq Q cm\nendstream");
                break;
            case 3:
                pdf.Object(page + 1, "<< /Length 5 0 R /Filter /FlateDecode >>\nstream\n" +
                                         Deflate(kFlipped).substr(0, 31) + "\nendstream");
                break;
            case 4:
                pdf.Stream(page + 1, "/Filter /FlateDecode", "not deflated");
                break;
            default:
                pdf.Stream(page + 1, "", kPlain);
                break;
        }
        pdf.Object(page + 2, "null");
    }
    const std::string input = pdf.WithXRefStream(10 + 3 * kPages, "/Root 1 0 R");
    const StampResult alone = RunTextStamp(input, {}, 1, 1);
    ASSERT_EQ(alone.message, "");
    for (const size_t threads : {2, 5}) {
        const StampResult ahead = RunTextStamp(input, {}, 1, threads);
        ASSERT_EQ(ahead.message, "");
        EXPECT_TRUE(*ahead.output == *alone.output) << threads << " threads";
    }
}

}  // namespace
