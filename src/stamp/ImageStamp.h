#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "stamp/StampFrame.h"

struct JpegInfo;
struct PngImage;
struct StampPlacement;

// The objects image mode adds: the graphics state and the image XObject, once
// per run, and one content stream per stamped page.

// "/ca" is the opacity in percent times 0.01, with two decimals.
std::string GraphicsStateObject(int32_t number, int32_t opacity);

// Everything of the image XObject that precedes the JPEG bytes. The colour
// space follows the JPEG's components (1 grey, 3 RGB, 4 CMYK, inverted when
// the file carries an Adobe segment).
std::string ImageXObjectHeader(int32_t number, uint64_t jpegSize, const JpegInfo& info);
// Everything of a PNG picture's image XObject that precedes its deflated
// samples; `maskNumber` names its /SMask, 0 when it has none.
std::string PngXObjectHeader(int32_t number, const PngImage& image, int32_t maskNumber);
// Everything of the soft mask, the PNG picture's alpha, that precedes its
// deflated samples.
std::string SoftMaskHeader(int32_t number, const PngImage& image);
// What follows the JPEG bytes, or the deflated samples.
inline constexpr std::string_view kImageXObjectTrailer = "\nendstream\nendobj\n";

// The page's content stream object painting the image through the graphics
// state at the placement, scaled to width by height, inside the frame (a
// layout artifact).
std::string ImageContentStreamObject(int32_t number, const StampPlacement& placement, std::string_view stateName,
                                     std::string_view imageName, int32_t width, int32_t height,
                                     const StampFrame& frame = {});
