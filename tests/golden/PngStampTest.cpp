// PNG pictures stamped by the whole program, checked by qpdf, pdfimages and
// a rendering: every colour type and bit depth, with and without
// transparency, interlaced or not.
#include <gtest/gtest.h>

#include <zlib.h>

#include <sstream>

#include "support/ExternalTools.h"
#include "support/OutputReader.h"
#include "support/PdfBuilder.h"
#include "support/PngMaker.h"
#include "support/StampRunner.h"
#include "support/TestFiles.h"

namespace {

// A Letter page with a mid-grey square where the picture goes: the picture,
// 200 × 100 points at (100, 300), covers its middle.
std::string GreyPage() {
    PdfBuilder pdf;
    pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    pdf.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    pdf.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R /Resources << >> >>");
    pdf.Stream(4, "", "0.5 g 50 250 300 200 re f");
    return pdf.WithXRefTable("/Root 1 0 R");
}
const std::vector<std::string> kPlacement = {"-size200,100", "-pos100,300"};

// 16 × 8 pixels: the left half white and opaque, the right half transparent
// where the format can say so (alpha 0, the tRNS colour or palette entry),
// black otherwise.
struct PngCase {
    const char* name;
    int colorType;
    int bitDepth;
    bool interlaced;
    bool transparent;  // tRNS for types 0, 2 and 3
    const char* images;  // what pdfimages lists
};

PngSpec Spec(const PngCase& c) {
    PngSpec spec;
    spec.width = 16;
    spec.height = 8;
    spec.colorType = c.colorType;
    spec.bitDepth = c.bitDepth;
    spec.interlaced = c.interlaced;
    const auto top = static_cast<uint16_t>((1u << c.bitDepth) - 1);
    const int type = c.colorType;
    spec.pixel = [type, top](uint32_t x, uint32_t) -> std::vector<uint16_t> {
        const uint16_t v = x < 8 ? top : 0;
        if (type == 3) return {static_cast<uint16_t>(x < 8 ? 1 : 0)};
        if (type == 0) return {v};
        if (type == 4) return {v, v};
        if (type == 2) return {v, v, v};
        return {v, v, v, v};
    };
    if (type == 3) spec.palette = std::string("\0\0\0\xFF\xFF\xFF", 6);
    if (c.transparent) spec.transparency = std::string(type == 3 ? 1 : type == 0 ? 2 : 6, '\0');
    return spec;
}

const PngCase kCases[] = {
    {"Grey1", 0, 1, false, false, "image 16x8 gray 8"},
    {"Grey2Transparent", 0, 2, false, true, "image 16x8 gray 8; smask 16x8 gray 8"},
    {"Grey4Interlaced", 0, 4, true, false, "image 16x8 gray 8"},
    {"Grey8Transparent", 0, 8, false, true, "image 16x8 gray 8; smask 16x8 gray 8"},
    {"Grey16Transparent", 0, 16, false, true, "image 16x8 gray 8; smask 16x8 gray 8"},
    {"GreyAlpha8", 4, 8, false, false, "image 16x8 gray 8; smask 16x8 gray 8"},
    {"GreyAlpha16Interlaced", 4, 16, true, false, "image 16x8 gray 8; smask 16x8 gray 8"},
    {"Grey8", 0, 8, false, false, "image 16x8 gray 8"},
    {"Rgb8", 2, 8, false, false, "image 16x8 rgb 8"},
    {"Rgb8Transparent", 2, 8, false, true, "image 16x8 rgb 8; smask 16x8 gray 8"},
    {"Rgb16TransparentInterlaced", 2, 16, true, true, "image 16x8 rgb 8; smask 16x8 gray 8"},
    {"Rgba8", 6, 8, false, false, "image 16x8 rgb 8; smask 16x8 gray 8"},
    {"Rgba8Interlaced", 6, 8, true, false, "image 16x8 rgb 8; smask 16x8 gray 8"},
    {"Rgba16", 6, 16, false, false, "image 16x8 rgb 8; smask 16x8 gray 8"},
    {"Palette1", 3, 1, false, false, "image 16x8 rgb 8"},
    {"Palette2Transparent", 3, 2, false, true, "image 16x8 rgb 8; smask 16x8 gray 8"},
    {"Palette4TransparentInterlaced", 3, 4, true, true, "image 16x8 rgb 8; smask 16x8 gray 8"},
    {"Palette8Transparent", 3, 8, false, true, "image 16x8 rgb 8; smask 16x8 gray 8"},
};

// "type WxH colour bpc" of each image pdfimages lists, joined by "; ".
std::string ListImages(const std::string& pdf) {
    std::istringstream lines(RunTool("pdfimages -list " + ShellQuote(pdf)).out);
    std::string line, list;
    for (int skip = 0; skip < 2 && std::getline(lines, line); ++skip) {
    }
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string page, num, type, width, height, color, comp, bpc;
        words >> page >> num >> type >> width >> height >> color >> comp >> bpc;
        list += (list.empty() ? "" : "; ") + type + " " + width + "x" + height + " " + color + " " + bpc;
    }
    return list;
}

int Grey(const GreyImage& image, int x, int y) {
    return image.pixels[static_cast<size_t>(y) * static_cast<size_t>(image.width) + static_cast<size_t>(x)];
}

class PngStampTest : public ::testing::TestWithParam<PngCase> {
protected:
    void SetUp() override {
        if (!HaveTool("qpdf") || !HaveTool("pdfimages") || !HaveTool("pdftoppm")) GTEST_SKIP() << "no qpdf or poppler";
    }
    const TempFolder folder_;
};

TEST_P(PngStampTest, PictureMaskAndRendering) {
    const PngCase& c = GetParam();
    const bool seeThrough = c.transparent || c.colorType == 4 || c.colorType == 6;
    const std::string input = folder_.File("in.pdf");
    const std::string output = folder_.File("out.pdf");
    WriteFile(input, GreyPage());
    // Named .jpg on purpose: the signature decides.
    WriteFile(folder_.File("logo.jpg"), MakePng(Spec(c)));
    for (const int opacity : {100, 50}) {
        std::vector<std::string> params = kPlacement;
        params.push_back("-j" + folder_.File("logo.jpg"));
        params.push_back("-opacity" + std::to_string(opacity));
        ASSERT_EQ(StampFile("image", input, output, params), "");
        EXPECT_EQ(QpdfCheck(output), 0);
        EXPECT_EQ(ListImages(output), c.images);
        const auto before = RenderPage(input, 1, folder_.path());
        const auto after = RenderPage(output, 1, folder_.path());
        ASSERT_TRUE(before && after);
        // The picture's left half at its place, 200 × 100 points at (100, 300),
        // that is pixels 100-299 by 392-491 from the top; the right half shows
        // the grey page where it is transparent.
        const PixelBox box = DifferenceBox(*before, *after);
        EXPECT_NEAR(box.left, 100, 1);
        EXPECT_NEAR(box.right, seeThrough ? 199 : 299, 1);
        EXPECT_NEAR(box.top, 392, 1);
        EXPECT_NEAR(box.bottom, 491, 1);
        // White over 50% grey, and the right half black or the page's grey.
        EXPECT_NEAR(Grey(*after, 150, 442), opacity == 100 ? 255 : 191, 4);
        EXPECT_NEAR(Grey(*after, 250, 442), seeThrough ? 127 : opacity == 100 ? 0 : 64, 4);
    }
}

INSTANTIATE_TEST_SUITE_P(EveryColourType, PngStampTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<PngCase>& param) { return std::string(param.param.name); });

// The stream data of an object, inflated.
std::string Inflated(const std::string& object) {
    const size_t start = object.find(">>stream\n") + 9;
    const std::string packed = object.substr(start, object.rfind("\nendstream") - start);
    std::string data(1 << 16, '\0');
    uLongf size = data.size();
    if (uncompress(reinterpret_cast<Bytef*>(data.data()), &size, reinterpret_cast<const Bytef*>(packed.data()),
                   static_cast<uLong>(packed.size())) != Z_OK)
        return "(damaged)";
    data.resize(size);
    return data;
}

// The picture in the output: the samples and the alpha as images of their
// own after the graphics state, written once for both pages; -1 takes the
// size from the pixels.
TEST(PngStampObjectsTest, PictureAndSoftMaskSharedByThePages) {
    PdfBuilder pdf;
    pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    pdf.Object(2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>");
    pdf.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << >> >>");
    pdf.Object(4, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << >> >>");
    const PngCase rgba{"Rgba16", 6, 16, false, false, ""};
    const StampResult result = RunImageStamp(pdf.WithXRefTable("/Root 1 0 R"), MakePng(Spec(rgba)), {"-size-1,40"}, 7);
    ASSERT_EQ(result.message, "");
    const OutputReader out(*result.output);
    EXPECT_EQ(out.Object(5), "5 0 obj<</Type/ExtGState\n/ca 1.00\n>>endobj\n");
    const std::string image = out.Object(6).value_or("");
    EXPECT_EQ(image.substr(image.find("\n/Filter")),
              "\n/Filter/FlateDecode\n/Name/X\n/BitsPerComponent 8/ColorSpace/DeviceRGB\n/Width 16 /Height 8\n"
              "/SMask 7 0 R\n/Type/XObject>>stream\n" + image.substr(image.find(">>stream\n") + 9));
    std::string samples, alpha;
    for (int y = 0; y < 8; ++y) {
        samples += std::string(8 * 3, '\xFF') + std::string(8 * 3, '\0');
        alpha += std::string(8, '\xFF') + std::string(8, '\0');
    }
    EXPECT_EQ(Inflated(image), samples);
    const std::string mask = out.Object(7).value_or("");
    EXPECT_EQ(mask.substr(0, mask.find("\n/Filter")), "7 0 obj<</Type/XObject/Subtype/Image\n/Length " +
                                                           std::to_string(mask.find("\nendstream") - mask.find(">>stream\n") - 9));
    EXPECT_NE(mask.find("/ColorSpace/DeviceGray\n/Width 16 /Height 8>>stream\n"), std::string::npos);
    EXPECT_EQ(Inflated(mask), alpha);
    int drawn = 0;
    for (int32_t number = 8; number < out.size(); ++number)
        drawn += out.Object(number).value_or("").find("\n16 0 0 40 0 0 cm\n/Im7 Do\n") != std::string::npos;
    EXPECT_EQ(drawn, 2);
    for (const int32_t page : {3, 4})
        EXPECT_NE(out.Object(page).value_or("").find("/XObject << /Im7 6 0 R >>"), std::string::npos);

    // Opaque RGB of 8 bits, not interlaced: the PNG's image data as it is,
    // rows with their filter types, and no mask.
    const PngCase rgb{"Rgb8", 2, 8, false, false, ""};
    const std::string png = MakePng(Spec(rgb));
    const StampResult plain = RunImageStamp(pdf.WithXRefTable("/Root 1 0 R"), png, {}, 7);
    ASSERT_EQ(plain.message, "");
    const std::string picture = OutputReader(*plain.output).Object(6).value_or("");
    EXPECT_NE(picture.find("/Height 8\n/DecodeParms<</Predictor 15/Colors 3/BitsPerComponent 8/Columns 16>>\n"
                           "/Type/XObject>>stream\n"),
              std::string::npos);
    EXPECT_EQ(Inflated(picture), PngScanlines(Spec(rgb)));
}

}  // namespace
