#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "base/Truncate.h"
#include "stamp/StampOptions.h"

// Where a stamp goes on one page: the reference point X, Y in the page's own
// coordinates and the angle A in degrees. The stamp turns about the
// reference point, which -align puts at the left end, the middle or the right
// end of the stamp's baseline (a picture's bottom edge).
struct StampPlacement {
    int32_t x = 0;
    int32_t y = 0;
    float angle = 0;
    // The page carries a /Rotate and -force measures as the page is viewed.
    bool rotated = false;
    // How far before the reference point the stamp starts, along its own
    // direction: 0 for left alignment.
    int32_t shift = 0;
};

// The cosine and sine of a stamp's angle in degrees: exact for quarter
// turns, held in single precision otherwise.
struct StampDirection {
    float cos = 1;
    float sin = 0;
};
StampDirection DirectionOf(float degrees);

// Where the stamp starts (the left end of its baseline): the reference point
// moved back by the shift along the stamp's direction. Whole numbers when the
// stamp runs along an axis (an integer sum that wraps around, as the
// placement's own).
struct StampOrigin {
    double x = 0;
    double y = 0;
};
StampOrigin OriginOf(const StampPlacement& placement, const StampDirection& direction);

// The point measured from a corner of the page box (x1, y1, x2, y2 as
// listed): the flips choose the corner, -force with /Rotate 90, 180 or 270
// follows the page as viewed, and a coordinate of -1 centres on half the box.
StampPlacement CalcPlacement(const std::array<float, 4>& box, int32_t rotate, const StampOptions& options);

// The shift for right alignment (the full width, truncated) or centring
// (half of it); left alignment has none.
void AlignPlacement(StampPlacement& placement, Alignment align, float width);

// The text's width for alignment: S / 72 (an integer division) times
// fontSize / 14, where S is the font table's width sum of the text.
float AlignmentWidth(int32_t widthSum, int32_t fontSize);
