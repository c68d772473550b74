#include "stamp/Placement.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace {

int32_t Add(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(int64_t{a} + b)));
}

// x2 - v and the like are computed in single precision, as the box is.
int32_t Diff(float edge, int32_t offset) { return Truncate(edge - static_cast<float>(offset)); }

// How one coordinate is found: from the box's near edge (where the point
// stands before any rule, x1 or y1 at first) plus an offset, or from its far
// edge (x2 or y2) minus the offset; the offset is -pos's H or V.
struct AxisRule {
    bool fromFar = false;
    bool offsetV = false;
};

struct CornerRule {
    AxisRule x;
    AxisRule y;
};

enum Flip : size_t { kNoFlip, kFlipVertical, kFlipHorizontal };

constexpr AxisRule kNearH{false, false};
constexpr AxisRule kNearV{false, true};
constexpr AxisRule kFarH{true, false};
constexpr AxisRule kFarV{true, true};

// The rules for X and Y by flip and by the page's rotation as -force views it
// (a page measured as stored counts as 0), each row in the order 0, 90, 180,
// 270.
constexpr CornerRule kRules[3][4] = {
    {{kNearH, kNearV}, {kFarV, kNearH}, {kFarH, kFarV}, {kNearV, kFarH}},  // no flip
    {{kNearH, kFarV}, {kNearV, kNearH}, {kFarH, kNearV}, {kFarH, kFarV}},  // -flipv
    {{kFarH, kNearV}, {kFarH, kFarV}, {kNearH, kFarV}, {kNearV, kNearH}},  // -fliph
};

int32_t Apply(const AxisRule& rule, int32_t near, float far, int32_t h, int32_t v) {
    const int32_t offset = rule.offsetV ? v : h;
    return rule.fromFar ? Diff(far, offset) : Add(near, offset);
}

}  // namespace

StampPlacement CalcPlacement(const std::array<float, 4>& box, int32_t rotate, const StampOptions& o) {
    const float x1 = box[0];
    const float y1 = box[1];
    const float x2 = box[2];
    const float y2 = box[3];
    const int32_t h = o.posX;
    const int32_t v = o.posY;
    StampPlacement p;
    p.x = Truncate(x1);
    p.y = Truncate(y1);
    p.angle = static_cast<float>(o.angle);
    p.rotated = rotate != 0 && o.forcePortrait;

    // Both flips apply one after the other, the second from where the first
    // left the point; a rotation other than a quarter turn moves nothing.
    Flip flips[2] = {kNoFlip, kNoFlip};
    size_t count = 0;
    if (o.flipVertical) flips[count++] = kFlipVertical;
    if (o.flipHorizontal) flips[count++] = kFlipHorizontal;
    for (size_t step = 0; step < std::max<size_t>(count, 1); ++step) {
        const Flip flip = flips[step];
        size_t turn = 0;
        if (p.rotated) {
            p.angle += static_cast<float>(rotate);
            if (rotate != 90 && rotate != 180 && rotate != 270) continue;
            turn = static_cast<size_t>(rotate / 90);
        }
        const CornerRule& rule = kRules[flip][turn];
        p.x = Apply(rule.x, p.x, x2, h, v);
        p.y = Apply(rule.y, p.y, y2, h, v);
    }
    // A coordinate of -1 centres on half the box (across the rotation).
    if (h == -1) (p.rotated ? p.y : p.x) = Truncate(((p.rotated ? y2 - y1 : x2 - x1)) * 0.5);
    if (v == -1) (p.rotated ? p.x : p.y) = Truncate(((p.rotated ? x2 - x1 : y2 - y1)) * 0.5);
    return p;
}

float AlignmentWidth(int32_t widthSum, int32_t fontSize) {
    return static_cast<float>((widthSum / 72) * (fontSize / 14.0));
}

void AlignPlacement(StampPlacement& p, Alignment align, float width) {
    if (align == Alignment::Left) {
        p.shift = 0;
        return;
    }
    if (align == Alignment::Center) width = static_cast<float>(width * 0.5);
    p.shift = Truncate(width);
}

StampDirection DirectionOf(float degrees) {
    const double turned = std::fmod(static_cast<double>(degrees), 360.0);
    if (std::isfinite(turned) && std::fmod(turned, 90.0) == 0) {
        constexpr StampDirection kQuarterTurns[4] = {{1, 0}, {0, 1}, {-1, 0}, {0, -1}};
        return kQuarterTurns[(static_cast<int>(turned / 90) + 4) % 4];
    }
    const double radians = turned * std::numbers::pi / 180;
    return {static_cast<float>(std::cos(radians)), static_cast<float>(std::sin(radians))};
}

StampOrigin OriginOf(const StampPlacement& p, const StampDirection& d) {
    const auto axis = [](float value) { return value == 0 || value == 1 || value == -1; };
    if (axis(d.cos) && axis(d.sin)) {
        const auto back = [&p](int32_t at, float along) {
            const uint32_t step = static_cast<uint32_t>(p.shift) * static_cast<uint32_t>(static_cast<int32_t>(along));
            return static_cast<double>(static_cast<int32_t>(static_cast<uint32_t>(at) - step));
        };
        return {back(p.x, d.cos), back(p.y, d.sin)};
    }
    return {p.x - p.shift * static_cast<double>(d.cos), p.y - p.shift * static_cast<double>(d.sin)};
}
