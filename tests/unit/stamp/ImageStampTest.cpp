#include "stamp/ImageStamp.h"

#include <gtest/gtest.h>

#include "pictures/JpegProbe.h"
#include "stamp/Placement.h"

namespace {

TEST(ImageStampTest, GraphicsStateOpacity) {
    EXPECT_EQ(GraphicsStateBody(100), "<</Type/ExtGState\n/ca 1.00\n>>");
    EXPECT_EQ(GraphicsStateBody(35), "<</Type/ExtGState\n/ca 0.35\n>>");
    EXPECT_EQ(GraphicsStateBody(50), "<</Type/ExtGState\n/ca 0.50\n>>");
    EXPECT_EQ(GraphicsStateBody(150), "<</Type/ExtGState\n/ca 1.50\n>>");
    EXPECT_EQ(GraphicsStateBody(0), "<</Type/ExtGState\n/ca 0.00\n>>");
}

TEST(ImageStampTest, XObjectHeaderByColourSpace) {
    JpegInfo rgb{640, 480, 3, false};
    EXPECT_EQ(JpegXObjectDictionary(rgb),
              "<</Subtype/Image\n/Length\n/Filter/DCTDecode\n/Name/X\n"
              "/BitsPerComponent 8/ColorSpace/DeviceRGB\n/Width 640 /Height 480\n/Type/XObject>>");
    JpegInfo gray{640, 480, 1, false};
    EXPECT_NE(JpegXObjectDictionary(gray).find("/BitsPerComponent 8/ColorSpace/DeviceGray\n"), std::string::npos);
    JpegInfo cmyk{640, 480, 4, false};
    EXPECT_NE(JpegXObjectDictionary(cmyk).find("/BitsPerComponent 8/ColorSpace/DeviceCMYK\n/Width"), std::string::npos);
    JpegInfo adobe{640, 480, 4, true};
    EXPECT_NE(JpegXObjectDictionary(adobe).find("/ColorSpace/DeviceCMYK/Decode[1 0 1 0 1 0 1 0]\n/Width"),
              std::string::npos);
}

TEST(ImageStampTest, ContentStreamExample) {
    StampPlacement placement;
    placement.x = 20;
    placement.y = 10;
    const std::string content =
        "\nq\n/GS4711 gs\n1 0 0 1 20 10 cm\n1.000000 0.000000 -0.000000 1.000000 0 0 cm\n200 0 0 100 0 0 cm\n"
        "/Im4711 Do\nQ\n";
    EXPECT_EQ(ImageContent(placement, "GS4711", "Im4711", 200, 100), content);
    // Two "Q" back to the page's initial state, a layout artifact in a tagged document.
    const std::string framed = "Q\nQ\n/Artifact <</Type /Layout>> BDC\n" + content + "\nEMC";
    EXPECT_NE(ImageContent(placement, "GS4711", "Im4711", 200, 100, {.restores = 2, .artifact = true}).find(framed),
              std::string::npos);
}

TEST(ImageStampTest, RotatedContentStartsBeforeTheReferencePoint) {
    StampPlacement placement;
    placement.x = 602;
    placement.y = 20;
    placement.angle = 90;
    placement.shift = 100;
    EXPECT_NE(ImageContent(placement, "GS1", "Im1", 100, 50)
                  .find("1 0 0 1 602 -80 cm\n0.000000 1.000000 -1.000000 0.000000 0 0 cm\n100 0 0 50 0 0 cm\n"),
              std::string::npos);
    placement.angle = 30;
    EXPECT_NE(ImageContent(placement, "GS1", "Im1", 100, 50).find("1 0 0 1 515.397461 -30 cm\n0.866025 0.500000 "),
              std::string::npos);
}

}  // namespace
