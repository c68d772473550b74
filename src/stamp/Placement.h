#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "base/Truncate.h"
#include "stamp/StampOptions.h"

// Where a stamp goes on one page: the reference point X, Y in the page's own
// coordinates and the angle A in degrees.
struct StampPlacement {
    int32_t x = 0;
    int32_t y = 0;
    float angle = 0;
    // The page carries a /Rotate and -force measures as the page is viewed.
    bool rotated = false;
};

// The point measured from a corner of the page box (x1, y1, x2, y2 as
// listed): the flips choose the corner, -force with /Rotate 90, 180 or 270
// follows the page as viewed, and a coordinate of -1 centres on half the box.
StampPlacement CalcPlacement(const std::array<float, 4>& box, int32_t rotate, const StampOptions& options);

// Shifts the point for right alignment (the full width) or centring (half
// of it); left alignment leaves it. On a rotated page the shift is taken from Y.
void AlignPlacement(StampPlacement& placement, Alignment align, float width);

// The text's width for alignment: S / 72 (an integer division) times
// fontSize / 14, where S is the font table's width sum of the text.
float AlignmentWidth(int32_t widthSum, int32_t fontSize);
