#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "stamp/StampFrame.h"

struct JpegInfo;
struct PngImage;
struct StampPlacement;

// What image mode adds: the graphics state and the image XObject, once per
// run, and one content stream per stamped page. The dictionaries name /Length
// without a value, as the writer's streams take them.

// The graphics state's body: "/ca" is the opacity in percent times 0.01, with
// two decimals.
std::string GraphicsStateBody(int32_t opacity);

// The dictionary of a JPEG picture's image XObject. The colour space follows
// the JPEG's components (1 grey, 3 RGB, 4 CMYK, inverted when the file
// carries an Adobe segment).
std::string JpegXObjectDictionary(const JpegInfo& info);
// The dictionary of a PNG picture's image XObject over its deflated samples;
// `maskNumber` names its /SMask, 0 when it has none.
std::string PngXObjectDictionary(const PngImage& image, int32_t maskNumber);
// The dictionary of the soft mask, the PNG picture's alpha.
std::string SoftMaskDictionary(const PngImage& image);

// The page's stamp content painting the image through the graphics state at
// the placement, scaled to width by height, inside the frame (a layout
// artifact).
std::string ImageContent(const StampPlacement& placement, std::string_view stateName, std::string_view imageName,
                         int32_t width, int32_t height, const StampFrame& frame = {});
