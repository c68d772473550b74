// PNG pictures that are damaged, or built to make the decoder work or
// allocate far beyond their size: each run fails with "Image file format
// error", leaves no output, and stays within the group's time and memory.
#include <gtest/gtest.h>

#include <string>

#include "hostile/HostileRun.h"
#include "support/PngMaker.h"

namespace {

HostileRun RunWithPicture(const std::string& picture) {
    HostileOptions options;
    options.mode = "image";
    options.picture = picture;
    return RunHostile(OnePageObjects(kSquarePage).WithXRefTable("/Root 1 0 R"), options);
}

::testing::AssertionResult FailsQuickly(const HostileRun& run) {
    if (run.child.seconds > 2) return ::testing::AssertionFailure() << run.child.seconds << " s";
    return FailsWith(run, "Image file format error");
}

// A PNG with this header and this (compressed) image data.
std::string Png(uint32_t width, uint32_t height, char colorType, const std::string& imageData,
                bool interlaced = false) {
    std::string header;
    for (const uint32_t value : {width, height})
        for (int shift = 24; shift >= 0; shift -= 8) header += static_cast<char>(value >> shift);
    header += std::string{8, colorType, 0, 0, static_cast<char>(interlaced)};
    return "\x89PNG\r\n\x1A\n" + PngChunk("IHDR", header) + PngChunk("IDAT", imageData) + PngChunk("IEND", "");
}

// 64 × 64 RGB of varied colours.
PngRecipe Rgb() {
    return {64, 64, 2, 8, false, {}, {}, [](uint32_t x, uint32_t y) {
                return std::vector<uint16_t>{static_cast<uint16_t>(x * 4), static_cast<uint16_t>(y * 4), 7};
            }};
}

TEST(HostilePngTest, TruncatedOrDamaged) {
    const std::string png = MakePng(Rgb());
    ASSERT_TRUE(Succeeds(RunWithPicture(png)));
    // Cut at every tenth, before IEND, before IEND's CRC.
    std::vector<std::string> damaged = {png.substr(0, png.size() - 12), png.substr(0, png.size() - 4)};
    for (size_t tenth = 1; tenth <= 9; ++tenth) damaged.push_back(png.substr(0, png.size() * tenth / 10));
    // A wrong CRC: IHDR's, IDAT's, IEND's.
    for (const size_t at : {size_t{32}, png.size() - 13, png.size() - 1}) {
        damaged.push_back(png);
        damaged.back()[at] ^= 1;
    }
    // A row filter type PNG does not define (5).
    std::string rows = PngScanlines(Rgb());
    rows[rows.size() / 64 * 10] = 5;
    damaged.push_back(Png(64, 64, 2, DeflateFilled(rows, '\0', rows.size())));
    for (const std::string& picture : damaged) EXPECT_TRUE(FailsQuickly(RunWithPicture(picture))) << picture.size();
}

// Sizes beyond the limits (32,768 on a side, 33,554,432 pixels in all) are
// refused from the header, before anything is allocated for them; a small
// picture whose image data inflates to 128 MiB (the 1000:1 of zlib) stops
// at the first byte too many.
TEST(HostilePngTest, HugeDimensionsAndZlibBomb) {
    std::vector<std::string> bombs;
    for (const auto& [width, height] : std::vector<std::pair<uint32_t, uint32_t>>{
             {100000, 100000}, {32769, 1}, {1, 32769}, {8193, 4096}, {0x7FFFFFFF, 0x7FFFFFFF}})
        bombs.push_back(Png(width, height, 6, DeflateFilled("", '\0', 1)));
    bombs.push_back(Png(64, 64, 2, DeflateFilled(PngScanlines(Rgb()), '\0', uint64_t{128} << 20)));
    for (const std::string& picture : bombs) {
        const HostileRun run = RunWithPicture(picture);
        EXPECT_TRUE(FailsQuickly(run)) << picture.size();
        EXPECT_TRUE(HeldAtMost(run, 32 * 1024));
    }
}

// The largest picture allowed, interlaced so that it is decoded whole, keeps
// within the group's bounds, as the manual page says.
TEST(HostilePngTest, TheLargestPictureFitsTheBounds) {
    uint64_t scanlines = 0;  // RGBA of 8 bits: a filter byte and 4 bytes a pixel, pass by pass
    for (const auto& [x0, y0, dx, dy] : std::vector<std::array<uint64_t, 4>>{
             {0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4}, {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}})
        scanlines += (4096 - y0 + dy - 1) / dy * (1 + (8192 - x0 + dx - 1) / dx * 4);
    const HostileRun run = RunWithPicture(Png(8192, 4096, 6, DeflateFilled("", '\0', scanlines), true));
    EXPECT_TRUE(Succeeds(run));
    EXPECT_TRUE(HeldAtMost(run, 300 * 1024));
}

}  // namespace
