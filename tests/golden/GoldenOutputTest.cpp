// Whole outputs compared byte for byte with the files in tests/data/golden.
// After a deliberate change of the output, BREVANO_UPDATE_GOLDEN=1 rewrites
// them; read the difference before committing it.
#include <gtest/gtest.h>

#include <cstdlib>

#include "support/OutputReader.h"
#include "support/PdfBuilder.h"
#include "support/StampRunner.h"
#include "support/TestFiles.h"

namespace {

void ExpectGolden(const std::string& name, const StampResult& result) {
    ASSERT_EQ(result.message, "");
    ASSERT_TRUE(result.output.has_value());
    const std::string path = std::string(BREVANO_TEST_DATA_DIR) + "/golden/" + name + ".pdf";
    if (std::getenv("BREVANO_UPDATE_GOLDEN") != nullptr) WriteFile(path, *result.output);
    ASSERT_TRUE(FileExists(path)) << path;
    EXPECT_EQ(*result.output, ReadFile(path)) << name;
    // The output reads back through its own cross-reference table.
    EXPECT_NO_THROW(OutputReader{*result.output});
}

const std::string kHello = "BT /F1 18 Tf 72 720 Td (Hello) Tj ET";

// Two pages, a classic table, a content stream each, resources in the page.
std::string TwoPages() {
    PdfBuilder pdf;
    pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    pdf.Object(2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 /MediaBox [0 0 612 792] >>");
    pdf.Object(3, "<< /Type /Page /Parent 2 0 R /Contents 5 0 R /Resources << /Font << /F1 7 0 R >> >> >>");
    pdf.Object(4, "<< /Type /Page /Parent 2 0 R /Contents 6 0 R /Resources << /Font << /F1 7 0 R >> >> >>");
    pdf.Stream(5, "", kHello);
    pdf.Stream(6, "", "BT /F1 18 Tf 72 720 Td (World) Tj ET");
    pdf.Object(7, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    pdf.Object(8, "<< /Producer (test) >>");
    pdf.Object(9, "null");
    return pdf.WithXRefTable("/Root 1 0 R /Info 8 0 R /ID [<0123456789abcdef> (literal)]");
}

TEST(GoldenOutputTest, TextDefaults) {
    const StampResult result = RunTextStamp(TwoPages(), {});
    ExpectGolden("text-defaults", result);
    // Input size 10: descriptor 10, font 11, then each page's content stream
    // directly before its page object.
    const std::string& out = *result.output;
    EXPECT_LT(out.find("\n10 0 obj\n<<\n/Type /FontDescriptor"), out.find("\n11 0 obj\n<<\n/Type /Font\n"));
    EXPECT_NE(out.find("endobj\n3 0 obj"), std::string::npos);
    const size_t twelve = out.find("12 0 obj\n<<\n/Length");
    const size_t page3 = out.find("3 0 obj\n<<");
    const size_t thirteen = out.find("13 0 obj\n<<\n/Length");
    const size_t page4 = out.find("4 0 obj\n<<");
    EXPECT_LT(twelve, page3);
    EXPECT_LT(page3, thirteen);
    EXPECT_LT(thirteen, page4);
    EXPECT_NE(out.find("(Page 1 / 2) Tj"), std::string::npos);
    EXPECT_NE(out.find("(Page 2 / 2) Tj"), std::string::npos);
    EXPECT_NE(out.find("trailer\n<<\n/Size 14\n/ID [<0123456789abcdef><6c69746572616c>]\n/Info 8 0 R\n/Root 1 0 R\n>>"),
              std::string::npos);
}

TEST(GoldenOutputTest, ANameThePagesHoldIsPassedOver) {
    // Both pages already name a font /F1: the stamp's font takes /F2.
    const std::string out = *RunTextStamp(TwoPages(), {}, 1).output;
    EXPECT_NE(out.find("/Font << /F2 11 0 R  /F1 7 0 R >>"), std::string::npos);
    EXPECT_NE(out.find("/F2 11 Tf"), std::string::npos);
    // Inherited resources, and a font dictionary of its own that names /F2 too.
    PdfBuilder pdf;
    pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    pdf.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 /Resources << /Font << /F1 5 0 R >> /XObject 6 0 R >> >>");
    pdf.Object(3, "<< /Type /Page /Parent 2 0 R /Contents 4 0 R >>");
    pdf.Stream(4, "", kHello);
    pdf.Object(5, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    pdf.Object(6, "<< /F2 7 0 R >>");
    pdf.Stream(7, "/Type /XObject /Subtype /Form /BBox [0 0 1 1]", "");
    const std::string inherited = *RunTextStamp(pdf.WithXRefTable("/Root 1 0 R"), {}, 1).output;
    EXPECT_NE(inherited.find("/F3 11 Tf"), std::string::npos);
}

TEST(GoldenOutputTest, TextWithEveryLookOption) {
    ExpectGolden("text-options", RunTextStamp(TwoPages(), {"-r", "-m3", "-prefix", "No. ", "-sep", " of ", "-end",
                                                           " (draft)", "-font", "Times New Roman", "-color808080",
                                                           "-size9", "-angle90", "-pos-1,20", "-align", "center"}));
}

TEST(GoldenOutputTest, ImageDefaults) {
    const std::string jpeg =
        std::string("\xFF\xD8\xFF\xE0\x00\x04\x4A\x46\xFF\xC0\x00\x11\x08\x01\xE0\x02\x80\x03", 18) +
        std::string("\x01\x22\x00\x02\x11\x01\x03\x11\x01\xFF\xDA\x00\x02\x12\x34\xFF\xD9", 17);
    const StampResult result = RunImageStamp(TwoPages(), jpeg, {}, 4711);
    ExpectGolden("image-defaults", result);
    const std::string& out = *result.output;
    // Graphics state 10, image 11 with the JPEG bytes unchanged, content 12 and 13.
    EXPECT_NE(out.find("10 0 obj<</Type/ExtGState\n/ca 1.00\n>>endobj\n"), std::string::npos);
    EXPECT_NE(out.find("11 0 obj<</Subtype/Image\n/Length 35\n/Filter/DCTDecode\n/Name/X\n/BitsPerComponent "
                       "8/ColorSpace/DeviceRGB\n/Width 640 /Height 480\n/Type/XObject>>stream\n" +
                       jpeg + "\nendstream\nendobj\n"),
              std::string::npos);
    EXPECT_NE(out.find("640 0 0 480 0 0 cm\n/Im4711 Do"), std::string::npos);
    EXPECT_LT(out.find("12 0 obj\n<<\n/Length"), out.find("3 0 obj\n<<"));
    EXPECT_LT(out.find("13 0 obj\n<<\n/Length"), out.find("4 0 obj\n<<"));
}

TEST(GoldenOutputTest, ImageSizeOpacityAndPosition) {
    const std::string jpeg = std::string("\xFF\xD8\xFF\xC2\x00\x11\x08\x00\x64\x00\xC8\x01\x01\x11\x00\xFF\xD9", 17);
    const StampResult result =
        RunImageStamp(TwoPages(), jpeg, {"-size200,-1", "-opacity35", "-pos-1,20", "-align", "center"}, 8);
    ExpectGolden("image-options", result);
    // The drawn size takes the pixel height for -1; the XObject keeps the pixel size.
    EXPECT_NE(result.output->find("200 0 0 100 0 0 cm"), std::string::npos);
    EXPECT_NE(result.output->find("/Width 200 /Height 100"), std::string::npos);
    EXPECT_NE(result.output->find("/ca 0.35\n"), std::string::npos);
}

TEST(GoldenOutputTest, ObjectStreamsAndCrossReferenceStream) {
    PdfBuilder pdf("%PDF-1.5\n");
    pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    pdf.ObjectStream(6, {{2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>"},
                         {3, "<< /Type /Page /Parent 2 0 R /Contents 4 0 R /Resources 5 0 R >>"},
                         {5, "<< /Font << /F1 7 0 R >> >>"},
                         {7, "<< /Type /Font /Subtype /Type1 /BaseFont /Courier >>"}});
    pdf.Stream(4, "", kHello);
    const StampResult result = RunTextStamp(pdf.WithXRefStream(8, "/Root 1 0 R"), {});
    ExpectGolden("text-objstm", result);
    const std::string& out = *result.output;
    // Members become plain objects; the object stream is left out and free.
    EXPECT_NE(out.find("2 0 obj\r<< /Type /Pages /Kids [3 0 R] /Count 1 >>\nendobj\r"), std::string::npos);
    EXPECT_EQ(out.find("/ObjStm"), std::string::npos);
    const OutputReader output(out);
    EXPECT_FALSE(output.Object(6).has_value());
    // So is the input's cross-reference stream: the output has a table of its own.
    EXPECT_FALSE(output.Object(8).has_value());
}

TEST(GoldenOutputTest, IncrementalUpdateJunkAndFreeEntries) {
    // A second revision replaces the page's content stream and frees object
    // 9; 100 bytes stand before the header, and every offset counts from it.
    const std::string first = OnePagePdf({.header = "%PDF-1.3 junk behind\n",
                                          .page = "<< /Type /Page /Parent 2 0 R /Contents 4 0 R /Resources << >> >>",
                                          .content = kHello,
                                          .more = {{9, "(old)"}}});
    const auto firstXRef = static_cast<int64_t>(first.find("xref\n0 "));
    const auto update = static_cast<int64_t>(first.size());
    const std::string object4 = "4 0 obj\n<< /Length 9 >>\nstream\nBT ET q Q\nendstream\nendobj\n";
    const int64_t xref2 = update + static_cast<int64_t>(object4.size());
    char entry[32];
    std::snprintf(entry, sizeof entry, "%010lld 00000 n \n", static_cast<long long>(update));
    const std::string input = std::string(100, 'J') + first + object4 + "xref\n4 1\n" + entry +
                              "9 1\n0000000000 00001 f \n" + "trailer\n<< /Size 10 /Root 1 0 R /Prev " +
                              std::to_string(firstXRef) + " >>\nstartxref\n" + std::to_string(xref2) + "\n%%EOF\n";
    const StampResult result = RunTextStamp(input, {});
    ExpectGolden("text-incremental", result);
    const std::string& out = *result.output;
    // The version token runs to the first white space.
    EXPECT_EQ(out.substr(0, 9), "%PDF-1.3\r");
    EXPECT_NE(out.find("4 0 obj\n<< /Length 9 >>\nstream\nBT ET q Q\nendstream"), std::string::npos);
    EXPECT_EQ(out.find("(old)"), std::string::npos);
    EXPECT_EQ(out.find("JJJ"), std::string::npos);
}

TEST(GoldenOutputTest, InputWithoutHeaderGetsOne) {
    const StampResult result = RunTextStamp(OnePagePdf({.header = ""}), {});
    ASSERT_EQ(result.message, "");
    EXPECT_EQ(result.output->substr(0, 16), "%PDF-1.4\r%\xE2\xE3\xCF\xD3\r\n");
}

TEST(GoldenOutputTest, NoPageSelectedCopiesEveryObjectUnchanged) {
    const std::string input = TwoPages();
    const StampResult result = RunTextStamp(input, {"-s5"});
    ASSERT_EQ(result.message, "");
    const OutputReader in(input);
    const OutputReader out(*result.output);
    for (int32_t number = 1; number < 10; ++number) EXPECT_EQ(in.Object(number), out.Object(number)) << number;
    // The font objects are written all the same.
    EXPECT_NE(result.output->find("/Type /FontDescriptor"), std::string::npos);
}

}  // namespace
