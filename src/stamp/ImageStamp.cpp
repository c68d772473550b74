#include "stamp/ImageStamp.h"

#include <cmath>

#include "pdf/object/PdfSyntax.h"
#include "pictures/JpegProbe.h"
#include "pictures/PngImage.h"
#include "stamp/Placement.h"
#include "writer/NumberFormat.h"

namespace {

// A whole number as an integer, anything else with six decimals.
std::string FormatCoordinate(double value) {
    return value == std::trunc(value) ? FormatInt(static_cast<int64_t>(value)) : FormatFixed(value);
}

}  // namespace

std::string GraphicsStateBody(int32_t opacity) {
    const auto fraction = static_cast<float>(opacity * 0.01);
    return "<</Type/ExtGState\n/ca " + FormatFixed(fraction, 2) + "\n>>";
}

std::string JpegXObjectDictionary(const JpegInfo& info) {
    std::string colorSpace = "/ColorSpace/DeviceRGB";
    if (info.components == 1) {
        colorSpace = "/ColorSpace/DeviceGray";
    } else if (info.components == 4) {
        colorSpace = "/ColorSpace/DeviceCMYK";
        if (info.adobe) colorSpace += "/Decode[1 0 1 0 1 0 1 0]";
    }
    return "<</Subtype/Image\n/Length\n/Filter/DCTDecode\n/Name/X\n/BitsPerComponent 8" + colorSpace + "\n/Width " +
           FormatInt(info.width) + " /Height " + FormatInt(info.height) + "\n/Type/XObject>>";
}

namespace {

// The parameters of PNG-filtered rows of `colors` samples of `bits` bits.
std::string PngPredictor(int32_t colors, int32_t bits, int32_t columns) {
    return "/DecodeParms<</Predictor 15/Colors " + FormatInt(colors) + "/BitsPerComponent " + FormatInt(bits) +
           "/Columns " + FormatInt(columns) + ">>\n";
}

std::string PngColorSpace(const PngImage& image) {
    if (image.palette.empty()) return image.colors == 1 ? "/DeviceGray" : "/DeviceRGB";
    return "[/Indexed/DeviceRGB " + FormatInt(static_cast<int64_t>(image.palette.size() / 3) - 1) + " " +
           EncodeHexString(image.palette) + "]";
}

}  // namespace

std::string PngXObjectDictionary(const PngImage& image, int32_t maskNumber) {
    std::string mask;
    if (maskNumber > 0) {
        mask = "/SMask " + FormatInt(maskNumber) + " 0 R\n";
    } else if (!image.colorKey.empty()) {
        mask = "/Mask[";
        for (const uint32_t value : image.colorKey) mask += FormatInt(value) + " " + FormatInt(value) + " ";
        mask.back() = ']';
        mask += "\n";
    }
    return "<</Subtype/Image\n/Length\n/Filter/FlateDecode\n/Name/X\n/BitsPerComponent " + FormatInt(image.bits) +
           "/ColorSpace" + PngColorSpace(image) + "\n/Width " + FormatInt(image.width) + " /Height " +
           FormatInt(image.height) + "\n" + mask + PngPredictor(image.colors, image.bits, image.width) +
           "/Type/XObject>>";
}

std::string SoftMaskDictionary(const PngImage& image) {
    return "<</Type/XObject/Subtype/Image\n/Length\n/Filter/FlateDecode\n/BitsPerComponent " +
           FormatInt(image.alphaBits) + "/ColorSpace/DeviceGray\n/Width " + FormatInt(image.width) + " /Height " +
           FormatInt(image.height) + "\n" + PngPredictor(1, image.alphaBits, image.width) + ">>";
}

std::string ImageContent(const StampPlacement& placement, std::string_view stateName, std::string_view imageName,
                         int32_t width, int32_t height, const StampFrame& frame) {
    const StampDirection direction = DirectionOf(placement.angle);
    const float c = direction.cos;
    const float s = direction.sin;
    const StampOrigin origin = OriginOf(placement, direction);
    std::string content = "\nq\n/" + std::string(stateName) + " gs\n1 0 0 1 " + FormatCoordinate(origin.x) + " " +
                          FormatCoordinate(origin.y) + " cm\n" + FormatFixed(c) + " " + FormatFixed(s) + " " +
                          FormatFixed(-s) + " " + FormatFixed(c) + " 0 0 cm\n" + FormatInt(width) + " 0 0 " +
                          FormatInt(height) + " 0 0 cm\n/" + std::string(imageName) + " Do\nQ\n";
    return frame.Frame("Layout", content);
}
