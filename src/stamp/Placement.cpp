#include "stamp/Placement.h"

#include <cmath>
#include <limits>

namespace {

int32_t Add(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(int64_t{a} + b)));
}

// x2 - v and the like are computed in single precision, as the box is.
int32_t Diff(float edge, int32_t offset) { return Truncate(edge - static_cast<float>(offset)); }

}  // namespace

int32_t Truncate(double value) {
    if (std::isnan(value)) return 0;
    if (value >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    if (value <= -2147483648.0) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

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
    int32_t& X = p.x;
    int32_t& Y = p.y;

    if (!o.flipVertical && !o.flipHorizontal) {
        if (!p.rotated) {
            X = Add(X, h);
            Y = Add(Y, v);
        } else {
            p.angle += static_cast<float>(rotate);
            if (rotate == 90) {
                X = Diff(x2, v);
                Y = Add(Y, h);
            } else if (rotate == 180) {
                X = Diff(x2, h);
                Y = Diff(y2, v);
            } else if (rotate == 270) {
                X = Add(X, v);
                Y = Diff(y2, h);
            }
        }
    }
    if (o.flipVertical) {
        if (!p.rotated) {
            X = Add(X, h);
            Y = Diff(y2, v);
        } else {
            p.angle += static_cast<float>(rotate);
            if (rotate == 90) {
                X = Add(X, v);
                Y = Add(Y, h);
            } else if (rotate == 180) {
                X = Diff(x2, h);
                Y = Add(Y, v);
            } else if (rotate == 270) {
                X = Diff(x2, h);
                Y = Diff(y2, v);
            }
        }
    }
    if (o.flipHorizontal) {
        if (!p.rotated) {
            X = Diff(x2, h);
            Y = Add(Y, v);
        } else {
            p.angle += static_cast<float>(rotate);
            if (rotate == 90) {
                X = Diff(x2, h);
                Y = Diff(y2, v);
            } else if (rotate == 180) {
                X = Add(X, h);
                Y = Diff(y2, v);
            } else if (rotate == 270) {
                X = Add(X, v);
                Y = Add(Y, h);
            }
        }
    }
    if (h == -1) {
        if (p.rotated) {
            Y = Truncate((y2 - y1) * 0.5);
        } else {
            X = Truncate((x2 - x1) * 0.5);
        }
    }
    if (v == -1) {
        if (p.rotated) {
            X = Truncate((x2 - x1) * 0.5);
        } else {
            Y = Truncate((y2 - y1) * 0.5);
        }
    }
    return p;
}

float AlignmentWidth(int32_t widthSum, int32_t fontSize) {
    return static_cast<float>((widthSum / 72) * (fontSize / 14.0));
}

void AlignPlacement(StampPlacement& p, const std::string& align, float width) {
    if (align == "left") return;
    if (align == "center") width = static_cast<float>(width * 0.5);
    const int32_t shift = Truncate(width);
    if (p.rotated) {
        p.y = static_cast<int32_t>(static_cast<uint32_t>(p.y) - static_cast<uint32_t>(shift));
    } else {
        p.x = static_cast<int32_t>(static_cast<uint32_t>(p.x) - static_cast<uint32_t>(shift));
    }
}
