// PNG pictures that are damaged, or built to make the decoder work or
// allocate far beyond their size: each run fails with "Image file format
// error", leaves no output, and stays within the group's time and memory.
#include <gtest/gtest.h>

#include <string>

#include "hostile/HostileRun.h"
#include "support/PngMaker.h"

namespace {

const std::string kMessage = "Image file format error";

std::string Document() { return OnePageObjects().WithXRefTable("/Root 1 0 R"); }

HostileRun RunWithPicture(const std::string& picture) {
    HostileOptions options;
    options.mode = "image";
    options.picture = picture;
    return RunHostile(Document(), options);
}

// A 64 × 64 RGBA picture of varied colours and alpha.
PngSpec Logo() {
    PngSpec spec;
    spec.width = 64;
    spec.height = 64;
    spec.pixel = [](uint32_t x, uint32_t y) -> std::vector<uint16_t> {
        return {static_cast<uint16_t>(x * 4), static_cast<uint16_t>(y * 4), static_cast<uint16_t>((x * y) & 255),
                static_cast<uint16_t>((x + y) * 2)};
    };
    return spec;
}

std::string Header(uint32_t width, uint32_t height) {
    std::string header;
    for (const uint32_t value : {width, height})
        for (int shift = 24; shift >= 0; shift -= 8) header += static_cast<char>(value >> shift);
    return header + std::string("\x08\x06\x00\x00\x00", 5);
}

TEST(HostilePngTest, TheSoundPictureIsStamped) { EXPECT_TRUE(Succeeds(RunWithPicture(MakePng(Logo())))); }

TEST(HostilePngTest, TruncatedAtEveryTenth) {
    const std::string png = MakePng(Logo());
    for (int tenth = 1; tenth <= 9; ++tenth) {
        SCOPED_TRACE(tenth);
        EXPECT_TRUE(FailsWith(RunWithPicture(png.substr(0, png.size() * static_cast<size_t>(tenth) / 10)), kMessage));
    }
    // Only IEND missing, and only its CRC.
    EXPECT_TRUE(FailsWith(RunWithPicture(png.substr(0, png.size() - 12)), kMessage));
    EXPECT_TRUE(FailsWith(RunWithPicture(png.substr(0, png.size() - 4)), kMessage));
}

TEST(HostilePngTest, BadCrcInAnyChunk) {
    const std::string png = MakePng(Logo());
    // The last byte of the CRCs of IHDR (at 29), of IDAT and of IEND.
    for (const size_t at : {size_t{32}, png.size() - 13, png.size() - 1}) {
        std::string damaged = png;
        damaged[at] = static_cast<char>(damaged[at] ^ 1);
        EXPECT_TRUE(FailsWith(RunWithPicture(damaged), kMessage)) << at;
    }
}

// A row of an RGB picture whose filter type is 5: PNG defines 0 to 4.
TEST(HostilePngTest, UnknownFilterType) {
    PngSpec spec = Logo();
    spec.colorType = 2;
    spec.pixel = [](uint32_t x, uint32_t y) -> std::vector<uint16_t> {
        return {static_cast<uint16_t>(x * 4), static_cast<uint16_t>(y * 4), 0};
    };
    std::string rows = PngScanlines(spec);
    rows[(rows.size() / 64) * 10] = 5;
    const std::string png = "\x89PNG\r\n\x1A\n" + PngChunk("IHDR", Header(64, 64).replace(9, 1, 1, '\x02')) +
                            PngChunk("IDAT", DeflateFilled(rows, '\0', rows.size())) + PngChunk("IEND", "");
    EXPECT_TRUE(FailsWith(RunWithPicture(png), kMessage));
}

// Sizes beyond the limits (32,768 on a side, 33,554,432 pixels in all) are
// refused from the header, before anything is allocated for them.
TEST(HostilePngTest, HugeDimensionsFailAtOnce) {
    const std::string idat = PngChunk("IDAT", std::string("\x78\x9C\x03\x00\x00\x00\x00\x01", 8));
    for (const auto& [width, height] : std::vector<std::pair<uint32_t, uint32_t>>{
             {100000, 100000}, {32769, 1}, {1, 32769}, {8193, 4096}, {0x7FFFFFFF, 0x7FFFFFFF}}) {
        const std::string png = "\x89PNG\r\n\x1A\n" + PngChunk("IHDR", Header(width, height)) + idat + PngChunk("IEND", "");
        const HostileRun run = RunWithPicture(png);
        EXPECT_TRUE(FailsWith(run, kMessage)) << width << " x " << height;
        EXPECT_LT(run.child.seconds, 2.0);
        EXPECT_TRUE(HeldAtMost(run, 32 * 1024));
    }
}

// A zlib bomb: a small picture whose image data inflates to 128 MiB (the
// 1000:1 of zlib; a gigabyte costs the test more time, not the program).
TEST(HostilePngTest, ZlibBombInImageData) {
    PngSpec spec = Logo();
    const std::string rows = PngScanlines(spec);
    const std::string packed = DeflateFilled(rows, '\0', uint64_t{128} << 20);
    const std::string png = "\x89PNG\r\n\x1A\n" + PngChunk("IHDR", Header(64, 64)) + PngChunk("IDAT", packed) +
                            PngChunk("IEND", "");
    const HostileRun run = RunWithPicture(png);
    EXPECT_TRUE(FailsWith(run, kMessage));
    EXPECT_LT(run.child.seconds, 2.0);
    EXPECT_TRUE(HeldAtMost(run, 32 * 1024));
}

// The largest picture allowed, 8192 × 4096, interlaced, so that it is
// decoded whole: within the group's bounds, as the manual page says.
TEST(HostilePngTest, TheLargestPictureFitsTheBounds) {
    uint64_t scanlines = 0;  // RGBA, 8 bits: 4 bytes a pixel and a filter byte a line, pass by pass
    for (const auto& [x0, y0, dx, dy] : std::vector<std::array<uint64_t, 4>>{
             {0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4}, {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}})
        scanlines += (4096 - y0 + dy - 1) / dy * (1 + (8192 - x0 + dx - 1) / dx * 4);
    std::string header = Header(8192, 4096);
    header.back() = 1;
    const std::string png = "\x89PNG\r\n\x1A\n" + PngChunk("IHDR", header) +
                            PngChunk("IDAT", DeflateFilled("", '\0', scanlines)) + PngChunk("IEND", "");
    const HostileRun run = RunWithPicture(png);
    EXPECT_TRUE(Succeeds(run));
    EXPECT_TRUE(HeldAtMost(run, 300 * 1024));
}

}  // namespace
