// Whole runs that check how stamped page objects and the objects around them
// are rewritten.
#include <gtest/gtest.h>

#include <regex>

#include "support/OutputReader.h"
#include "support/PdfBuilder.h"
#include "support/StampRunner.h"
#include "support/TestFiles.h"

namespace {

const std::string kContent = "BT /F1 12 Tf 72 720 Td (Hello) Tj ET";

// A one-page document whose page object is `page` (object 3); object 4 is a
// content stream, 6 a font; `extra` objects follow, and the table has `size`
// entries.
std::string Pdf(const std::string& page, const std::vector<std::pair<int32_t, std::string>>& extra = {},
                int32_t size = 9) {
    OnePage document{.page = page, .content = kContent};
    document.more.emplace_back(6, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    document.more.insert(document.more.end(), extra.begin(), extra.end());
    document.more.emplace_back(size - 1, "null");
    return OnePagePdf(document);
}

std::string Body(const std::string& object) {
    const size_t start = object.find("obj") + 4;
    return object.substr(start, object.rfind("endobj") - start - 1);
}

std::string StampedPage(const std::string& input, int32_t resourceNumber = 123456) {
    const StampResult result = RunTextStamp(input, {}, resourceNumber);
    EXPECT_EQ(result.message, "");
    if (!result.output) return {};
    return Body(OutputReader(*result.output).Object(3).value_or(""));
}

TEST(PageEditTest, SingleContentStreamAndDirectFontDictionary) {
    // Font descriptor 9, font 10, the page's content stream 11.
    EXPECT_EQ(StampedPage(Pdf("<</Type/Page/Parent 2 0 R/Contents 4 0 R/Resources<</Font<</F1 6 0 R>>>>>>")),
              "<</Type/Page/Parent 2 0 R/Contents [4 0 R 11 0 R ]/Resources<</Font<< /F123456 10 0 R /F1 6 0 R>>>>>>");
}

TEST(PageEditTest, DirectContentsArray) {
    EXPECT_EQ(StampedPage(Pdf("<</Type/Page/Parent 2 0 R/Contents [4 0 R 5 0 R]/Resources<</Font<</F1 6 0 R>>>>>>",
                              {{5, "<< /Length 0 >>\nstream\n\nendstream"}})),
              "<</Type/Page/Parent 2 0 R/Contents [4 0 R 5 0 R 11 0 R ]/Resources<</Font<< /F123456 10 0 R /F1 6 0 "
              "R>>>>>>");
}

TEST(PageEditTest, PageWithoutContents) {
    EXPECT_EQ(StampedPage(Pdf("<</Type/Page/Parent 2 0 R/Resources<</Font<</F1 6 0 R>>>>>>")),
              "<</Contents 11 0 R/Type/Page/Parent 2 0 R/Resources<</Font<< /F123456 10 0 R /F1 6 0 R>>>>>>");
}

TEST(PageEditTest, ReferenceFollowedByLineEndKeepsTheLineEnd) {
    EXPECT_EQ(StampedPage(Pdf("<</Type/Page/Parent 2 0 R/Contents 4 0 R\r\n/Resources<<>>>>")),
              "<</Type/Page/Parent 2 0 R/Contents [4 0 R 11 0 R ]\r\n/Resources<</Font << /F123456 10 0 R >>>>>>");
}

TEST(PageEditTest, ReferenceAtTheEndOfTheDictionary) {
    EXPECT_EQ(StampedPage(Pdf("<< /Type /Page /Parent 2 0 R /Resources << >> /Contents 4 0 R>>")),
              "<< /Type /Page /Parent 2 0 R /Resources <</Font << /F123456 10 0 R >> >> /Contents [4 0 R 11 0 R ]>>");
}

TEST(PageEditTest, SpaceBeforeTheNextKeyStaysInside) {
    EXPECT_EQ(StampedPage(Pdf("<< /Type /Page /Contents 4 0 R /Resources << /Font << /F1 6 0 R >> >> >>")),
              "<< /Type /Page /Contents [4 0 R  11 0 R ]/Resources << /Font << /F123456 10 0 R  /F1 6 0 R >> >> >>");
}

TEST(PageEditTest, OnlyThePagesOwnKeysAreEdited) {
    // An annotation written inside the page carries /Contents and /Resources
    // keys of its own before the page's.
    const std::string page =
        "<< /Type /Page /Annots [<< /Type /Annot /Subtype /Text /Contents (note) /Resources << /Font << >> >> >>] "
        "/Contents 4 0 R /Resources << /Font << /F1 6 0 R >> >> >>";
    EXPECT_EQ(
        StampedPage(Pdf(page)),
        "<< /Type /Page /Annots [<< /Type /Annot /Subtype /Text /Contents (note) /Resources << /Font << >> >> >>] "
        "/Contents [4 0 R  11 0 R ]/Resources << /Font << /F123456 10 0 R  /F1 6 0 R >> >> >>");
}

TEST(PageEditTest, ObjectsOfTheirOwnAreRewrittenBeforeThePage) {
    // Contents array 5, resources 7 with its font dictionary 8; size 10.
    const std::string input =
        Pdf("<< /Type /Page /Contents 5 0 R /Resources 7 0 R >>",
            {{5, "[4 0 R]"}, {7, "<< /Font 8 0 R /ProcSet [/PDF] >>"}, {8, "<< /F1 6 0 R >>"}}, 10);
    const StampResult result = RunTextStamp(input, {}, 7);
    ASSERT_EQ(result.message, "");
    const OutputReader output(*result.output);
    // Descriptor 10, font 11, content stream 12.
    EXPECT_EQ(Body(*output.Object(3)), "<< /Type /Page /Contents 5 0 R /Resources 7 0 R >>");
    EXPECT_EQ(Body(*output.Object(5)), "[4 0 R 12 0 R ]");
    EXPECT_EQ(Body(*output.Object(7)), "<< /Font 8 0 R /ProcSet [/PDF] >>");
    EXPECT_EQ(Body(*output.Object(8)), "<< /F7 11 0 R  /F1 6 0 R >>");
    // Written once each, in this order: array, font dictionary, page; the
    // resources object itself is copied unchanged in its turn.
    const std::string& bytes = *result.output;
    const size_t array = bytes.find("\n5 0 obj");
    const size_t fonts = bytes.find("\n8 0 obj");
    const size_t pageAt = bytes.find("\n3 0 obj");
    EXPECT_LT(bytes.find("\n12 0 obj"), array);
    EXPECT_LT(array, fonts);
    EXPECT_LT(fonts, pageAt);
    EXPECT_EQ(bytes.find("\n5 0 obj", array + 1), std::string::npos);
    EXPECT_EQ(bytes.find("\n8 0 obj", fonts + 1), std::string::npos);
}

TEST(PageEditTest, ResourcesObjectWithoutFont) {
    const std::string input =
        Pdf("<< /Type /Page /Contents 4 0 R /Resources 7 0 R >>", {{7, "<< /ProcSet [/PDF /Text] >>"}}, 9);
    const StampResult result = RunTextStamp(input, {}, 42);
    ASSERT_EQ(result.message, "");
    EXPECT_EQ(Body(*OutputReader(*result.output).Object(7)), "<</Font << /F42 10 0 R >> /ProcSet [/PDF /Text] >>");
}

TEST(PageEditTest, ResourcesObjectHoldsTheFontsAnyWay) {
    // The resources object's /Font as the walk that listed the page read it.
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"<< /Font << /F1 6 0 R >> /ProcSet [/PDF] >>", "<< /Font << /F42 10 0 R  /F1 6 0 R >> /ProcSet [/PDF] >>"},
        {"<< /Font null /XObject << >> >>", "<< /Font << /F42 10 0 R >> /XObject << >> >>"},
        {"<< /Font 5 >>", ""},
    };
    for (const auto& [resources, expected] : cases) {
        SCOPED_TRACE(resources);
        const std::string input = Pdf("<< /Type /Page /Contents 4 0 R /Resources 7 0 R >>", {{7, resources}}, 9);
        const StampResult result = RunTextStamp(input, {}, 42);
        if (expected.empty()) {
            EXPECT_EQ(result.message, "Page 1 cannot be stamped: its page object cannot be read or edited");
            continue;
        }
        ASSERT_EQ(result.message, "");
        EXPECT_EQ(Body(*OutputReader(*result.output).Object(7)), expected);
    }
}

TEST(PageEditTest, ImageModeAddsGraphicsStateThenXObject) {
    // Resources object 7 holds neither /XObject nor /ExtGState: both long
    // fragments go right after its "<<", the graphics state's first.
    const std::string input =
        Pdf("<< /Type /Page /Contents 4 0 R /Resources 7 0 R >>", {{7, "<< /ProcSet [/PDF] >>"}}, 9);
    const std::string jpeg = std::string("\xFF\xD8\xFF\xC0\x00\x11\x08\x01\xE0\x02\x80\x03", 12) +
                             std::string("\x01\x22\x00\x02\x11\x01\x03\x11\x01\xFF\xD9", 11);
    const StampResult result = RunImageStamp(input, jpeg, {}, 7);
    ASSERT_EQ(result.message, "");
    const OutputReader output(*result.output);
    // Graphics state 9, image 10, content stream 11.
    EXPECT_EQ(Body(*output.Object(7)), "<</ExtGState << /GS7 9 0 R >>/XObject << /Im7 10 0 R >> /ProcSet [/PDF] >>");
    const std::string& bytes = *result.output;
    const size_t first = bytes.find("\n7 0 obj");
    EXPECT_EQ(bytes.find("\n7 0 obj", first + 1), std::string::npos);
    EXPECT_EQ(Body(*output.Object(3)), "<< /Type /Page /Contents [4 0 R  11 0 R ]/Resources 7 0 R >>");
}

TEST(PageEditTest, ImageModeWithExistingSubDictionaries) {
    const std::string input =
        Pdf("<< /Type /Page /Contents 4 0 R /Resources << /XObject << /X1 7 0 R >> /ExtGState 8 0 R >> >>",
            {{7, "<< /Type /XObject /Subtype /Form /BBox [0 0 1 1] /Length 0 >>\nstream\n\nendstream"},
             {8, "<< /G1 << /ca 0.5 >> >>"}},
            10);
    const std::string jpeg = std::string("\xFF\xD8\xFF\xC0\x00\x11\x08\x00\x10\x00\x20\x01\x01\x11\x00\xFF\xD9", 17);
    const StampResult result = RunImageStamp(input, jpeg, {}, 5);
    ASSERT_EQ(result.message, "");
    const OutputReader output(*result.output);
    // Graphics state 10, image 11, content 12.
    EXPECT_EQ(Body(*output.Object(3)),
              "<< /Type /Page /Contents [4 0 R  12 0 R ]/Resources << /XObject << /Im5 11 0 R  /X1 7 0 R >> "
              "/ExtGState 8 0 R >> >>");
    EXPECT_EQ(Body(*output.Object(8)), "<< /GS5 10 0 R  /G1 << /ca 0.5 >> >>");
}

TEST(PageEditTest, SharedResourcesAreWrittenOnce) {
    // Three pages share a resources object and its font dictionary, both
    // numbered before the pages: each is written once, edited, in both modes.
    PdfBuilder pdf;
    pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    pdf.Object(2, "<< /Type /Pages /Kids [4 0 R 5 0 R 6 0 R] /Count 3 >>");
    pdf.Object(3, "<< /Font 8 0 R >>");
    for (const int page : {4, 5, 6})
        pdf.Object(page, "<< /Type /Page /Parent 2 0 R /Contents 7 0 R /Resources 3 0 R >>");
    pdf.Stream(7, "", kContent);
    pdf.Object(8, "<< /F1 9 0 R >>");
    pdf.Object(9, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    const std::string input = pdf.WithXRefTable("/Root 1 0 R");
    for (const bool incremental : {false, true}) {
        const StampResult result =
            RunTextStamp(input, incremental ? std::vector<std::string>{"-incremental"} : std::vector<std::string>{}, 9);
        ASSERT_EQ(result.message, "");
        const std::string& bytes = *result.output;
        const std::string stamped = incremental ? bytes.substr(input.size()) : bytes;
        for (const std::string object : {"\n3 0 obj", "\n8 0 obj"}) {
            size_t count = 0;
            for (size_t at = stamped.find(object); at != std::string::npos; at = stamped.find(object, at + 1)) ++count;
            EXPECT_EQ(count, 1u) << object << (incremental ? " incremental" : "");
        }
        const OutputReader output(bytes);
        EXPECT_EQ(Body(*output.Object(3)), "<< /Font 8 0 R >>");
        EXPECT_EQ(Body(*output.Object(8)), "<< /F9 11 0 R  /F1 9 0 R >>");
    }
}

struct InheritedResourcesCase {
    std::string nodeEntry;  // the /Resources of the page tree's node
    std::string page;       // the stamped page, page 3
};

TEST(PageEditTest, InheritedOrAbsentResourcesBecomeTheStampedPagesOwn) {
    const std::vector<InheritedResourcesCase> cases = {
        {"/Resources << /Font << /F1 7 0 R >> /ProcSet [/PDF] >>",
         "<</Resources << /Font << /F9 9 0 R  /F1 7 0 R >> /ProcSet [/PDF] >> /Type /Page /Parent 2 0 R /Contents [5 "
         "0 R  10 0 R ]>>"},
        {"/Resources 6 0 R",
         "<</Resources <</Font << /F9 9 0 R >> /XObject << >> >> /Type /Page /Parent 2 0 R "
         "/Contents [5 0 R  10 0 R ]>>"},
        {"", "<</Resources <</Font << /F9 9 0 R >> >> /Type /Page /Parent 2 0 R /Contents [5 0 R  10 0 R ]>>"},
    };
    for (const InheritedResourcesCase& c : cases) {
        SCOPED_TRACE(c.nodeEntry);
        PdfBuilder pdf;
        pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
        pdf.Object(2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 " + c.nodeEntry + " >>");
        pdf.Object(3, "<< /Type /Page /Parent 2 0 R /Contents 5 0 R >>");
        pdf.Object(4, "<< /Type /Page /Parent 2 0 R /Contents 5 0 R >>");
        pdf.Stream(5, "", kContent);
        pdf.Object(6, "<< /XObject << >> >>");
        pdf.Object(7, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
        const std::string input = pdf.WithXRefTable("/Root 1 0 R");
        const StampResult result = RunTextStamp(input, {"-e1"}, 9);
        ASSERT_EQ(result.message, "");
        const OutputReader output(*result.output);
        EXPECT_EQ(Body(*output.Object(3)), c.page);
        // The node, its resources and the page not stamped keep their bytes.
        for (const int32_t number : {2, 4, 6, 7})
            EXPECT_EQ(output.Object(number), OutputReader(input).Object(number)) << number;
    }
}

TEST(PageEditTest, ForcedPlacementFollowsAnInheritedRotation) {
    PdfBuilder pdf;
    pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    pdf.Object(2, "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 3 /Rotate 90 /Resources << >> >>");
    pdf.Object(3, "<< /Type /Page /Parent 2 0 R /Contents 6 0 R /Rotate 90 >>");
    pdf.Object(4, "<< /Type /Page /Parent 2 0 R /Contents 6 0 R >>");
    pdf.Object(5, "<< /Type /Page /Parent 2 0 R /Contents 6 0 R /Rotate 0 >>");
    pdf.Stream(6, "", kContent);
    pdf.Object(7, "null");
    const StampResult result = RunTextStamp(pdf.WithXRefTable("/Root 1 0 R"), {"-force", "-nopg"}, 9);
    ASSERT_EQ(result.message, "");
    // Page 4 inherits its rotation: its stamp is drawn as page 3's, turned a
    // quarter and placed from the far edge; page 5's own /Rotate 0 wins.
    const OutputReader output(*result.output);
    const std::string own = *output.Object(10);
    EXPECT_EQ(Body(*output.Object(11)), Body(own));
    EXPECT_NE(own.find("-1.000000 0.000000 602.000000 20.000000 Tm"), std::string::npos) << own;
    EXPECT_NE(output.Object(12)->find("1.000000 0.000000 -0.000000 1.000000 20.000000 10.000000 Tm"), std::string::npos)
        << *output.Object(12);
}

TEST(PageEditTest, ContentStreamWithAFilterChainIsStillExtended) {
    PdfBuilder pdf = OnePageObjects({.page = "<< /Type /Page /Parent 2 0 R /Contents 4 0 R /Resources << >> >>"});
    pdf.Stream(4, "/Filter [/ASCII85Decode /FlateDecode]", "not decoded here~>");
    const StampResult result = RunTextStamp(pdf.WithXRefTable("/Root 1 0 R"), {}, 1);
    ASSERT_EQ(result.message, "");
    // Content that cannot be decoded is drawn inside a saved state ("q" is 7).
    EXPECT_EQ(Body(*OutputReader(*result.output).Object(3)),
              "<< /Type /Page /Parent 2 0 R /Contents [7 0 R 4 0 R  8 0 R ]/Resources <</Font << /F1 6 0 R >> >> >>");
}

TEST(PageEditTest, ContentsThatDrawsNothingGivesWayToTheStamp) {
    // Object 4 is missing, 5 a dictionary; the stamp's stream is 8.
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"/Contents 4 0 R /Resources", "/Contents 8 0 R /Resources"},
        {"/Contents 5 0 R/Resources", "/Contents 8 0 R/Resources"},
        {"/Contents 5 1 R /Resources", "/Contents 8 0 R /Resources"},
        {"/Contents(4 0 R)/Resources", "/Contents 8 0 R/Resources"},
        {"/Contents null /Resources", "/Contents 8 0 R /Resources"},
        {"/Contents<</Length 0>>/Resources", "/Contents 8 0 R/Resources"},
    };
    for (const auto& [contents, edited] : cases) {
        const StampResult result = RunTextStamp(
            OnePagePdf({.page = "<< /Type /Page /Parent 2 0 R " + contents + " << >> >>", .more = {{5, "<< >>"}}}), {},
            1);
        ASSERT_EQ(result.message, "") << contents;
        EXPECT_EQ(Body(*OutputReader(*result.output).Object(3)),
                  "<< /Type /Page /Parent 2 0 R " + edited + " <</Font << /F1 7 0 R >> >> >>");
    }
}

TEST(PageEditTest, ArrayElementsThatDrawNothingAreLeftOut) {
    // Viewers draw nothing of an array that names an object without a stream
    // (5, a dictionary; 8, missing), or stop at it. The stamp's stream is 11.
    EXPECT_EQ(StampedPage(Pdf("<< /Type /Page /Contents [5 0 R 4 0 R 8 0 R] /Resources << >> >>", {{5, "<< >>"}})),
              "<< /Type /Page /Contents [4 0 R 11 0 R ] /Resources <</Font << /F123456 10 0 R >> >> >>");
    const StampResult result =
        RunTextStamp(Pdf("<< /Type /Page /Contents 7 0 R /Resources << >> >>", {{7, "[8 0 R\n4 0 R]"}}), {}, 1);
    ASSERT_EQ(result.message, "");
    EXPECT_EQ(Body(*OutputReader(*result.output).Object(7)), "[4 0 R 11 0 R ]");
}

TEST(PageEditTest, StreamThatDoesNotParseIsKeptAndDrawnInsideASavedState) {
    // The /Length of stream 4 is not a number: viewers that repair it still
    // draw it. "q" is 8, the stamp 9.
    PdfBuilder pdf = OnePageObjects({.page = "<< /Type /Page /Parent 2 0 R /Contents 4 0 R /Resources << >> >>"});
    pdf.Object(4, "<< /Length 5 0 R >>\nstream\n1 0 0 -1 0 792 cm\nendstream");
    pdf.Object(5, "(17)");
    const StampResult result = RunTextStamp(pdf.WithXRefTable("/Root 1 0 R"), {}, 1);
    ASSERT_EQ(result.message, "");
    EXPECT_EQ(Body(*OutputReader(*result.output).Object(3)),
              "<< /Type /Page /Parent 2 0 R /Contents [8 0 R 4 0 R  9 0 R ]/Resources <</Font << /F1 7 0 R >> >> >>");
}

TEST(PageEditTest, PageInsideAnObjectStream) {
    PdfBuilder pdf("%PDF-1.5\n");
    pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    pdf.ObjectStream(5, {{2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>"},
                         {3, "<< /Type /Page /Parent 2 0 R /Contents 4 0 R /Resources << >> >>"}});
    pdf.Stream(4, "", kContent);
    const StampResult result = RunTextStamp(pdf.WithXRefStream(6, "/Root 1 0 R"), {}, 3);
    ASSERT_EQ(result.message, "");
    const std::string page = *OutputReader(*result.output).Object(3);
    // Framed as a plain object with generation 0.
    EXPECT_EQ(page,
              "3 0 obj\r<< /Type /Page /Parent 2 0 R /Contents [4 0 R  9 0 R ]/Resources <</Font << /F3 8 0 R "
              ">> >> >>\nendobj\r");
}

TEST(PageEditTest, TheFontsOfOneRunGoInOneDictionary) {
    // Thai from the font file, its digits from a font fontconfig offers.
    const std::string thai = "/usr/share/fonts/truetype/noto/NotoSansThai-Regular.ttf";
    if (!FileExists(thai)) GTEST_SKIP() << thai << " is not installed";
    const std::regex both("<< /F123456 \\d+ 0 R  /F123457 \\d+ 0 R ");
    const std::vector<std::pair<std::string, std::vector<std::pair<int32_t, std::string>>>> pages = {
        {"<</Type/Page/Parent 2 0 R/Contents 4 0 R/Resources<<>>>>", {}},
        {"<</Type/Page/Parent 2 0 R/Contents 4 0 R/Resources<</Font<</F1 6 0 R>>>>>>", {}},
        {"<</Type/Page/Parent 2 0 R/Contents 4 0 R/Resources<</Font 7 0 R>>>>", {{7, "<</F1 6 0 R>>"}}},
    };
    for (const auto& [page, extra] : pages) {
        const StampResult result =
            RunTextStamp(Pdf(page, extra), {"-fontfile", thai, "-prefix", "\u0E2B\u0E19\u0E49\u0E32 "}, 123456);
        ASSERT_TRUE(result.output) << result.message;
        const OutputReader output(*result.output);
        const std::string edited = Body(output.Object(extra.empty() ? 3 : 7).value_or(""));
        EXPECT_TRUE(std::regex_search(edited, both)) << edited;
        EXPECT_EQ(result.output->find("\n7 0 obj", result.output->find("\n7 0 obj") + 1), std::string::npos);
    }
}

}  // namespace
