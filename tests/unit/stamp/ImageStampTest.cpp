#include "stamp/ImageStamp.h"

#include <gtest/gtest.h>

#include "pictures/JpegProbe.h"
#include "stamp/Placement.h"

namespace {

TEST(ImageStampTest, GraphicsStateOpacity) {
    EXPECT_EQ(GraphicsStateObject(10, 100), "10 0 obj<</Type/ExtGState\n/ca 1.00\n>>endobj\n");
    EXPECT_EQ(GraphicsStateObject(10, 35), "10 0 obj<</Type/ExtGState\n/ca 0.35\n>>endobj\n");
    EXPECT_EQ(GraphicsStateObject(10, 50), "10 0 obj<</Type/ExtGState\n/ca 0.50\n>>endobj\n");
    EXPECT_EQ(GraphicsStateObject(10, 150), "10 0 obj<</Type/ExtGState\n/ca 1.50\n>>endobj\n");
    EXPECT_EQ(GraphicsStateObject(10, 0), "10 0 obj<</Type/ExtGState\n/ca 0.00\n>>endobj\n");
}

TEST(ImageStampTest, XObjectHeaderByColourSpace) {
    JpegInfo rgb{640, 480, 3, false};
    EXPECT_EQ(ImageXObjectHeader(11, 50425, rgb),
              "11 0 obj<</Subtype/Image\n/Length 50425\n/Filter/DCTDecode\n/Name/X\n"
              "/BitsPerComponent 8/ColorSpace/DeviceRGB\n/Width 640 /Height 480\n/Type/XObject>>stream\n");
    JpegInfo gray{640, 480, 1, false};
    EXPECT_NE(ImageXObjectHeader(11, 1, gray).find("/BitsPerComponent 8/ColorSpace/DeviceGray\n"), std::string::npos);
    JpegInfo cmyk{640, 480, 4, false};
    EXPECT_NE(ImageXObjectHeader(11, 1, cmyk).find("/BitsPerComponent 8/ColorSpace/DeviceCMYK\n/Width"),
              std::string::npos);
    JpegInfo adobe{640, 480, 4, true};
    EXPECT_NE(ImageXObjectHeader(11, 1, adobe).find("/ColorSpace/DeviceCMYK/Decode[1 0 1 0 1 0 1 0]\n/Width"),
              std::string::npos);
    EXPECT_EQ(kImageXObjectTrailer, "\nendstream\nendobj\n");
}

TEST(ImageStampTest, ContentStreamExample) {
    StampPlacement placement;
    placement.x = 20;
    placement.y = 10;
    const std::string content =
        "\nq\n/GS4711 gs\n1 0 0 1 20 10 cm\n1.000000 0.000000 -0.000000 1.000000 0 0 cm\n200 0 0 100 0 0 cm\n"
        "/Im4711 Do\nQ\n";
    EXPECT_EQ(ImageContentStreamObject(12, placement, "GS4711", "Im4711", 200, 100),
              "12 0 obj\n<<\n/Length " + std::to_string(content.size()) + " \n>>\nstream\n" + content +
                  "\nendstream\nendobj\n");
    // Two "Q" back to the page's initial state, a layout artifact in a tagged document.
    const std::string framed = "Q\nQ\n/Artifact <</Type /Layout>> BDC\n" + content + "\nEMC";
    EXPECT_NE(ImageContentStreamObject(12, placement, "GS4711", "Im4711", 200, 100, {2, true}).find(framed),
              std::string::npos);
}

TEST(ImageStampTest, RotatedContent) {
    StampPlacement placement;
    placement.x = 602;
    placement.y = -80;
    placement.angle = 90;
    EXPECT_NE(ImageContentStreamObject(3, placement, "GS1", "Im1", 100, 50)
                  .find("1 0 0 1 602 -80 cm\n0.000796 1.000000 -1.000000 0.000796 0 0 cm\n100 0 0 50 0 0 cm\n"),
              std::string::npos);
}

}  // namespace
