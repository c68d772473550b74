// PNG pictures stamped by the whole program, checked by qpdf, pdfimages and
// a rendering: every colour type and bit depth, with and without
// transparency, interlaced or not.
#include <gtest/gtest.h>
#include <zlib.h>

#include "base/CByteSource.h"
#include "pdf/reader/CPdfFileStream.h"
#include "pdf/reader/CPdfFlateStream.h"
#include "support/CaseName.h"
#include "support/ExternalTools.h"
#include "support/OutputReader.h"
#include "support/PdfBuilder.h"
#include "support/PngMaker.h"
#include "support/StampRunner.h"
#include "support/TestFiles.h"

namespace {

// `pages` Letter pages with a mid-grey square where the picture goes.
std::string GreyPages(int pages) {
    PdfBuilder pdf;
    pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    pdf.Object(2, pages == 1 ? "<< /Type /Pages /Kids [3 0 R] /Count 1 >>"
                             : "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>");
    for (int page = 3; page < 3 + pages; ++page)
        pdf.Object(page, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 9 0 R /Resources << >> >>");
    pdf.Stream(9, "", "0.5 g 50 250 300 200 re f");
    return pdf.WithXRefTable("/Root 1 0 R");
}

// 16 × 8 pixels: the left half white and opaque, the right half transparent
// where the format can say so (alpha 0, the tRNS colour or palette entry),
// black otherwise.
struct PngCase {
    const char* name;
    int colorType;
    int bitDepth;
    bool interlaced;
    bool transparent;  // a tRNS chunk, for types 0, 2 and 3
};

PngRecipe Recipe(const PngCase& c) {
    PngRecipe recipe{16, 8, c.colorType, c.bitDepth, c.interlaced, {}, {}, {}};
    const auto top = static_cast<uint16_t>((1u << c.bitDepth) - 1);
    const size_t channels = c.colorType == 2 ? 3 : c.colorType == 4 ? 2 : c.colorType == 6 ? 4 : 1;
    recipe.pixel = [c, top, channels](uint32_t x, uint32_t) {
        return std::vector<uint16_t>(channels, static_cast<uint16_t>(x >= 8 ? 0 : c.colorType == 3 ? 1 : top));
    };
    if (c.colorType == 3) recipe.palette = std::string("\0\0\0\xFF\xFF\xFF", 6);
    if (c.transparent) recipe.transparency = std::string(c.colorType == 3 ? 1 : c.colorType == 0 ? 2 : 6, '\0');
    return recipe;
}

const PngCase kCases[] = {
    {"Grey1", 0, 1, false, false},
    {"Grey2Transparent", 0, 2, false, true},
    {"Grey4Interlaced", 0, 4, true, false},
    {"Grey8", 0, 8, false, false},
    {"Grey8Transparent", 0, 8, false, true},
    {"Grey16Transparent", 0, 16, false, true},
    {"GreyAlpha8", 4, 8, false, false},
    {"GreyAlpha16Interlaced", 4, 16, true, false},
    {"Rgb8", 2, 8, false, false},
    {"Rgb8Transparent", 2, 8, false, true},
    {"Rgb16TransparentInterlaced", 2, 16, true, true},
    {"Rgba8", 6, 8, false, false},
    {"Rgba8Interlaced", 6, 8, true, false},
    {"Rgba16", 6, 16, false, false},
    {"Palette1", 3, 1, false, false},
    {"Palette2Transparent", 3, 2, false, true},
    {"Palette4TransparentInterlaced", 3, 4, true, true},
    {"Palette8Transparent", 3, 8, false, true},
};

// The bytes of the image streams' data in a PDF file.
size_t ImageBytes(const std::string& pdf) {
    size_t total = 0;
    for (size_t at = 0; (at = pdf.find("/Subtype/Image", at)) != std::string::npos; ++at) {
        const size_t length = pdf.find("/Length ", at);
        total += std::stoul(pdf.substr(length + 8, 12));
    }
    return total;
}

class PngStampTest : public ::testing::TestWithParam<PngCase> {};

TEST_P(PngStampTest, PictureMaskAndRendering) {
    if (!HaveTool("qpdf") || !HaveTool("pdfimages") || !HaveTool("pdftoppm")) GTEST_SKIP() << "no qpdf or poppler";
    const PngCase& c = GetParam();
    const bool seeThrough = c.transparent || c.colorType == 4 || c.colorType == 6;
    const TempFolder folder;
    const std::string input = folder.File("in.pdf"), output = folder.File("out.pdf");
    WriteFile(input, GreyPages(1));
    WriteFile(folder.File("logo.jpg"), MakePng(Recipe(c)));  // named .jpg: the signature decides
    const auto before = RenderPage(input, 1, folder.path());
    for (const int opacity : {100, 50}) {
        ASSERT_EQ(StampFile("image", input, output,
                            {"-j" + folder.File("logo.jpg"), "-size200,100", "-pos100,300",
                             "-opacity" + std::to_string(opacity)}),
                  "");
        EXPECT_EQ(QpdfCheck(output), 0);
        // The samples as the PNG holds them, a palette as one; an alpha
        // channel or palette alpha as a soft mask, a transparent grey or RGB
        // colour as a colour key.
        const std::string color = c.colorType == 0 || c.colorType == 4 ? "gray" : c.colorType == 3 ? "index" : "rgb";
        const bool softMask = c.colorType == 4 || c.colorType == 6 || (c.colorType == 3 && c.transparent);
        const std::string maskBits = c.colorType == 3 ? "8" : std::to_string(c.bitDepth);
        EXPECT_EQ(PdfImageList(output), "image 16x8 " + color + " " + std::to_string(c.bitDepth) +
                                            (softMask ? "; smask 16x8 gray " + maskBits : ""));
        // The picture takes about the room of its file.
        EXPECT_LE(ImageBytes(ReadFile(output)), MakePng(Recipe(c)).size() * 6 / 5);
        // Placed 200 × 100 points at (100, 300): pixels 100-299 by 392-491 from
        // the top; where the right half is transparent the grey page shows.
        const auto after = RenderPage(output, 1, folder.path());
        ASSERT_TRUE(before && after);
        const PixelBox box = DifferenceBox(*before, *after);
        EXPECT_NEAR(box.left, 100, 1);
        EXPECT_NEAR(box.right, seeThrough ? 199 : 299, 1);
        EXPECT_NEAR(box.top, 392, 1);
        EXPECT_NEAR(box.bottom, 491, 1);
        // White, or black, over the 50% grey at the opacity.
        EXPECT_NEAR(after->pixels[442 * 612 + 150], opacity == 100 ? 255 : 191, 4);
        EXPECT_NEAR(after->pixels[442 * 612 + 250], seeThrough ? 127 : opacity == 100 ? 0 : 64, 4);
    }
}

INSTANTIATE_TEST_SUITE_P(EveryColourType, PngStampTest, ::testing::ValuesIn(kCases), CaseName<PngCase>);

// Sixteen levels in a row, drawn ten points a pixel on a white page and
// rendered: a 16-bit grey ramp, a palette of greys indexed backwards, black
// with an alpha ramp; each pixel shows the grey its PNG pixel makes.
TEST(PngRenderingTest, RenderedLevelsFollowThePixels) {
    if (!HaveTool("pdftoppm")) GTEST_SKIP() << "no poppler";
    std::string greys;
    for (int i = 15; i >= 0; --i) greys += std::string(3, static_cast<char>(i * 17));
    const auto level = [](int value) { return static_cast<uint16_t>(value); };
    const std::vector<PngRecipe> ramps = {
        {16, 1, 0, 16, false, {}, {}, [&](uint32_t x, uint32_t) { return std::vector<uint16_t>{level(x * 0x1111)}; }},
        {16, 1, 3, 4, false, greys, {}, [&](uint32_t x, uint32_t) { return std::vector<uint16_t>{level(15 - x)}; }},
        {16,
         1,
         6,
         8,
         false,
         {},
         {},
         [&](uint32_t x, uint32_t) {
             return std::vector<uint16_t>{0, 0, 0, level(255 - x * 17)};
         }},
    };
    const TempFolder folder;
    const std::string input = folder.File("in.pdf"), output = folder.File("out.pdf");
    WriteFile(input, BlankLetterPages(1));
    for (const PngRecipe& recipe : ramps) {
        WriteFile(folder.File("ramp.png"), MakePng(recipe));
        ASSERT_EQ(StampFile("image", input, output, {"-j" + folder.File("ramp.png"), "-size160,10", "-pos100,300"}),
                  "");
        const auto page = RenderPage(output, 1, folder.path());
        ASSERT_TRUE(page);
        for (int x = 0; x < 16; ++x)
            EXPECT_NEAR(page->pixels[486 * 612 + 105 + 10 * x], x * 17, 3) << recipe.colorType << " at " << x;
    }
}

// The stream data of an object, decoded as FlateDecode with /Predictor 15
// for rows of `colors` samples of `bits` bits, 16 a row.
std::string Decoded(const std::string& object, int32_t colors, int32_t bits) {
    const size_t start = object.find(">>stream\n") + 9;
    const std::string packed = object.substr(start, object.rfind("\nendstream") - start);
    auto file = std::make_shared<CPdfFileStream>(std::make_shared<CMemoryByteSource>(packed), 0,
                                                 static_cast<int64_t>(packed.size()), CPdfObject::Null());
    CPdfFlateStream stream(file, 15, 16, colors, bits);
    std::string data(1 << 16, '\0');
    data.resize(stream.Read(reinterpret_cast<uint8_t*>(data.data()), data.size()));
    return stream.IsDamaged() ? "(damaged)" : data;
}

// The objects: after the graphics state the picture, then its alpha, written
// once for both pages; -1 takes the size from the pixels. 16-bit samples stay
// 16-bit, in PNG-filtered rows; an opaque RGB picture of 8 bits keeps the
// PNG's image data, row filters and all.
TEST(PngStampObjectsTest, PictureAndSoftMaskSharedByThePages) {
    const StampResult result =
        RunImageStamp(GreyPages(2), MakePng(Recipe({"", 6, 16, false, false})), {"-size-1,40"}, 7);
    ASSERT_EQ(result.message, "");
    const OutputReader out(*result.output);
    const std::string image = out.Object(11).value_or(""), mask = out.Object(12).value_or("");
    EXPECT_EQ(result.output->substr(0, 9), "%PDF-1.5\r");
    EXPECT_EQ(image.substr(image.find("\n/Filter")),
              "\n/Filter/FlateDecode\n/Name/X\n/BitsPerComponent 16/ColorSpace/DeviceRGB\n/Width 16 /Height 8\n"
              "/SMask 12 0 R\n/DecodeParms<</Predictor 15/Colors 3/BitsPerComponent 16/Columns 16>>\n"
              "/Type/XObject>>stream\n" +
                  image.substr(image.find(">>stream\n") + 9));
    EXPECT_EQ(mask.substr(0, mask.find(">>stream")),
              "12 0 obj<</Type/XObject/Subtype/Image\n/Length " +
                  std::to_string(mask.find("\nendstream") - mask.find(">>stream\n") - 9) +
                  "\n/Filter/FlateDecode\n/BitsPerComponent 16/ColorSpace/DeviceGray\n/Width 16 /Height 8\n"
                  "/DecodeParms<</Predictor 15/Colors 1/BitsPerComponent 16/Columns 16>>\n");
    std::string samples, alpha;
    for (int y = 0; y < 8; ++y) samples += std::string(48, '\xFF') + std::string(48, '\0');
    for (int y = 0; y < 8; ++y) alpha += std::string(16, '\xFF') + std::string(16, '\0');
    EXPECT_EQ(Decoded(image, 3, 16), samples);
    EXPECT_EQ(Decoded(mask, 1, 16), alpha);
    for (const int32_t page : {3, 4})
        EXPECT_NE(out.Object(page)->find("/XObject << /Im7 11 0 R >>"), std::string::npos);
    size_t drawn = 0;
    for (size_t at = 0; (at = result.output->find("\n16 0 0 40 0 0 cm\n/Im7 Do\n", at + 1)) != std::string::npos;)
        ++drawn;
    EXPECT_EQ(drawn, 2u);

    const PngRecipe rgb = Recipe({"", 2, 8, false, false});
    const StampResult plain = RunImageStamp(GreyPages(1), MakePng(rgb), {}, 7);
    const std::string picture = OutputReader(plain.output.value_or("")).Object(11).value_or("");
    EXPECT_NE(picture.find("/Height 8\n/DecodeParms<</Predictor 15/Colors 3/BitsPerComponent 8/Columns 16>>\n/Type"),
              std::string::npos);
    const size_t start = picture.find(">>stream\n") + 9;
    uLongf size = 1 << 16;
    std::string inflated(size, '\0');
    uncompress(reinterpret_cast<Bytef*>(inflated.data()), &size, reinterpret_cast<const Bytef*>(picture.data() + start),
               picture.rfind("\nendstream") - start);
    EXPECT_EQ(inflated.substr(0, size), PngScanlines(rgb));

    // An update of a PDF 1.4 file declares 1.5 in its catalog: the samples keep 16 bits.
    const StampResult update =
        RunImageStamp(GreyPages(1), MakePng(Recipe({"", 6, 16, false, false})), {"-incremental"}, 7);
    ASSERT_EQ(update.message, "");
    EXPECT_EQ(update.output->substr(0, 9), "%PDF-1.4\n");
    EXPECT_NE(update.output->find("/Version /1.5"), std::string::npos);
    EXPECT_NE(update.output->find("/BitsPerComponent 16/ColorSpace/DeviceRGB"), std::string::npos);
    EXPECT_NE(update.output->find("/BitsPerComponent 16/ColorSpace/DeviceGray"), std::string::npos);
}

}  // namespace
