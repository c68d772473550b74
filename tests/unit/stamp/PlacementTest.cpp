#include "stamp/OptionParser.h"
#include "stamp/Placement.h"

#include <gtest/gtest.h>

#include <cmath>

#include "support/CaseName.h"

namespace {

constexpr std::array<float, 4> kLetter{0, 0, 612, 792};

struct PlacementCase {
    const char* name;
    std::array<float, 4> box;
    int32_t rotate;
    int32_t posX, posY;
    bool flipV, flipH, force;
    int32_t angle;
    int32_t x, y;
    float resultAngle;
};

class PlacementTest : public ::testing::TestWithParam<PlacementCase> {};

TEST_P(PlacementTest, PointAndAngle) {
    const PlacementCase& c = GetParam();
    StampOptions options;
    options.posX = c.posX;
    options.posY = c.posY;
    options.flipVertical = c.flipV;
    options.flipHorizontal = c.flipH;
    options.forcePortrait = c.force;
    options.angle = c.angle;
    const StampPlacement p = CalcPlacement(c.box, c.rotate, options);
    EXPECT_EQ(p.x, c.x);
    EXPECT_EQ(p.y, c.y);
    EXPECT_FLOAT_EQ(p.angle, c.resultAngle);
}

INSTANTIATE_TEST_SUITE_P(
    Unrotated, PlacementTest,
    ::testing::Values(
        PlacementCase{"Defaults", kLetter, 0, 20, 10, false, false, false, 0, 20, 10, 0},
        PlacementCase{"Centred", kLetter, 0, -1, -1, false, false, false, 0, 306, 396, 0},
        PlacementCase{"FlipV", kLetter, 0, 20, 10, true, false, false, 0, 20, 782, 0},
        PlacementCase{"FlipH", kLetter, 0, 20, 10, false, true, false, 0, 592, 10, 0},
        // Both flips: the vertical one, then the horizontal one on its result.
        PlacementCase{"BothFlips", kLetter, 0, 20, 10, true, true, false, 0, 592, 792, 0},
        PlacementCase{"Angle", kLetter, 0, 20, 10, false, false, false, 45, 20, 10, 45},
        // A box away from the origin: measured from its corner, centred on half its size.
        PlacementCase{"OffsetBox", {100, 50, 500, 650}, 0, 20, 10, false, false, false, 0, 120, 60, 0},
        PlacementCase{"OffsetBoxCentred", {100, 50, 500, 650}, 0, -1, -1, false, false, false, 0, 200, 300, 0},
        PlacementCase{"SwappedCorners", {612, 792, 0, 0}, 0, -1, -1, false, false, false, 0, -306, -396, 0},
        PlacementCase{"FractionalBox", {0.9f, 1.9f, 612.7f, 792.2f}, 0, 20, 10, true, false, false, 0, 20, 782, 0},
        // /Rotate matters only with -force.
        PlacementCase{"RotateWithoutForce", kLetter, 90, 20, 10, false, false, false, 0, 20, 10, 0}),
    CaseName<PlacementCase>);

INSTANTIATE_TEST_SUITE_P(
    Forced, PlacementTest,
    ::testing::Values(PlacementCase{"Rotate90", kLetter, 90, 20, 10, false, false, true, 0, 602, 20, 90},
                      PlacementCase{"Rotate180", kLetter, 180, 20, 10, false, false, true, 0, 592, 782, 180},
                      PlacementCase{"Rotate270", kLetter, 270, 20, 10, false, false, true, 0, 10, 772, 270},
                      PlacementCase{"Rotate90FlipV", kLetter, 90, 20, 10, true, false, true, 0, 10, 20, 90},
                      PlacementCase{"Rotate180FlipV", kLetter, 180, 20, 10, true, false, true, 0, 592, 10, 180},
                      PlacementCase{"Rotate270FlipV", kLetter, 270, 20, 10, true, false, true, 0, 592, 782, 270},
                      PlacementCase{"Rotate90FlipH", kLetter, 90, 20, 10, false, true, true, 0, 592, 782, 90},
                      PlacementCase{"Rotate180FlipH", kLetter, 180, 20, 10, false, true, true, 0, 20, 782, 180},
                      PlacementCase{"Rotate270FlipH", kLetter, 270, 20, 10, false, true, true, 0, 10, 20, 270},
                      // Both flips add the rotation twice.
                      PlacementCase{"Rotate90BothFlips", kLetter, 90, 20, 10, true, true, true, 5, 592, 782, 185},
                      // Centring on a rotated page swaps the axes.
                      PlacementCase{"Rotate90Centred", kLetter, 90, -1, -1, false, false, true, 0, 306, 396, 90},
                      PlacementCase{"Rotate90CentredH", kLetter, 90, -1, 10, false, false, true, 0, 602, 396, 90},
                      // Any other value: the angle gains it, the point stays at the box origin.
                      PlacementCase{"Rotate360", kLetter, 360, 20, 10, false, false, true, 15, 0, 0, 375},
                      PlacementCase{"RotateMinus90", kLetter, -90, 20, 10, false, false, true, 0, 0, 0, -90}),
    CaseName<PlacementCase>);

TEST(AlignmentTest, TextWidthTruncatesTheSumBy72First) {
    // 5000 / 72 = 69, times 11 / 14.
    EXPECT_NEAR(AlignmentWidth(5000, 11), 54.2142857f, 1e-4);
    EXPECT_FLOAT_EQ(AlignmentWidth(71, 11), 0.0f);
    EXPECT_FLOAT_EQ(AlignmentWidth(4559, 14), 63.0f);
}

TEST(AlignmentTest, CentreRightLeftAndMisspelt) {
    const auto shift = [](const std::string& align) {
        StampPlacement p;
        p.x = 20;
        p.y = 20;
        AlignPlacement(p, AlignmentOf(align), AlignmentWidth(5000, 11));
        EXPECT_EQ(std::make_pair(p.x, p.y), std::make_pair(20, 20)) << "the reference point stays";
        return p.shift;
    };
    EXPECT_EQ(shift("left"), 0);
    EXPECT_EQ(shift("center"), 27);
    EXPECT_EQ(shift("right"), 54);
    // Any other word shifts by the full width.
    EXPECT_EQ(shift("rigth"), 54);
    EXPECT_EQ(shift("Left"), 54);
}

TEST(AlignmentTest, TheStampStartsBeforeTheReferencePointAlongItsDirection) {
    // Right-aligned by 100 on a page turned by -force: at 90 degrees the
    // stamp runs up the page, at 180 to its left, at 270 down it.
    StampOptions options;
    options.forcePortrait = true;
    const std::pair<double, double> kOrigins[] = {{602, -80}, {692, 782}, {10, 872}};
    for (int32_t rotate : {90, 180, 270}) {
        StampPlacement p = CalcPlacement(kLetter, rotate, options);
        AlignPlacement(p, Alignment::Right, 100);
        const StampOrigin origin = OriginOf(p, DirectionOf(p.angle));
        EXPECT_EQ(std::make_pair(origin.x, origin.y), kOrigins[rotate / 90 - 1]) << rotate;
    }
    // Axis-aligned origins wrap around as the placement does.
    StampPlacement p;
    p.x = INT32_MIN;
    p.shift = 1;
    EXPECT_EQ(OriginOf(p, DirectionOf(0)).x, INT32_MAX);
}

TEST(TruncateTest, HoldsOutOfRangeValues) {
    EXPECT_EQ(Truncate(2.9), 2);
    EXPECT_EQ(Truncate(-2.9), -2);
    EXPECT_EQ(Truncate(1e20), INT32_MAX);
    EXPECT_EQ(Truncate(-1e20), INT32_MIN);
    EXPECT_EQ(Truncate(std::nan("")), 0);
}

TEST(PlacementTest, HugePositionsWrapWithoutOverflow) {
    StampOptions options;
    options.posX = INT32_MAX;
    options.posY = INT32_MAX;
    const StampPlacement p = CalcPlacement({10, 10, 20, 20}, 0, options);
    EXPECT_EQ(p.x, INT32_MIN + 9);
    EXPECT_EQ(p.y, INT32_MIN + 9);
}

}  // namespace
