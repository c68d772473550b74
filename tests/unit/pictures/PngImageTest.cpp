// Known answers of PNG decoding: tiny pictures → the exact 8-bit samples and
// alpha bytes, worked out by hand from the PNG format.
#include "pictures/PngImage.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstddef>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "base/CByteSource.h"
#include "support/CaseName.h"
#include "support/PngMaker.h"

namespace {

struct PngCase {
    std::string name;
    PngRecipe recipe;
    std::vector<uint16_t> channels;  // every pixel's channels, row by row
    int32_t colors;
    std::string samples;  // hexadecimal, inflated
    std::string alpha;    // hexadecimal, inflated; empty when opaque
    bool predicted = false;
};

void PrintTo(const PngCase& value, std::ostream* os) { *os << value.name; }

PngRecipe Png(uint32_t width, uint32_t height, int colorType, int bitDepth, bool interlaced = false,
              std::string palette = "", std::string transparency = "") {
    PngRecipe recipe;
    recipe.width = width;
    recipe.height = height;
    recipe.colorType = colorType;
    recipe.bitDepth = bitDepth;
    recipe.interlaced = interlaced;
    recipe.palette = std::move(palette);
    recipe.transparency = std::move(transparency);
    return recipe;
}

std::string Inflated(const std::string& deflated) {
    std::string out(4096, '\0');
    uLongf size = out.size();
    if (uncompress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(deflated.data()),
                   deflated.size()) != Z_OK)
        return "not zlib";
    out.resize(size);
    return out;
}

std::string Hex(const std::string& bytes) {
    static const char* const kDigits = "0123456789ABCDEF";
    std::string hex;
    for (const unsigned char c : bytes) hex += {kDigits[c >> 4], kDigits[c & 15]};
    return hex;
}

class PngDecodeTest : public ::testing::TestWithParam<PngCase> {};

TEST_P(PngDecodeTest, GivesTheKnownSamples) {
    const PngCase& c = GetParam();
    PngRecipe recipe = c.recipe;
    const size_t perPixel = c.channels.size() / (recipe.width * recipe.height);
    recipe.pixel = [&](uint32_t x, uint32_t y) {
        const auto first = c.channels.begin() + static_cast<ptrdiff_t>((y * recipe.width + x) * perPixel);
        return std::vector<uint16_t>(first, first + static_cast<ptrdiff_t>(perPixel));
    };
    CMemoryByteSource source(MakePng(recipe));
    const PngImage image = PngImage::Decode(source);
    EXPECT_EQ(image.width, static_cast<int32_t>(recipe.width));
    EXPECT_EQ(image.height, static_cast<int32_t>(recipe.height));
    EXPECT_EQ(image.colors, c.colors);
    EXPECT_EQ(image.predicted, c.predicted);
    EXPECT_EQ(Hex(Inflated(image.samples)), c.samples);
    EXPECT_EQ(image.alpha.empty() ? "" : Hex(Inflated(image.alpha)), c.alpha);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PngDecodeTest,
    ::testing::Values(
        // 1-bit grey scales to 0 and 255; the rows' padding bits are dropped.
        PngCase{"Grey1Bit", Png(3, 2, 0, 1), {1, 0, 1, 0, 1, 1}, 1, "FF00FF00FFFF", ""},
        // 2-bit indices into red, green, blue; tRNS gives the first two
        // entries alpha 0 and 0x80, the third is opaque.
        PngCase{"PaletteWithTransparency",
                Png(3, 1, 3, 2, false, std::string("\xFF\0\0\0\xFF\0\0\0\xFF", 9), std::string("\0\x80", 2)),
                {0, 1, 2},
                3,
                "FF000000FF000000FF",
                "0080FF"},
        PngCase{"Rgba8Bit", Png(2, 1, 6, 8), {10, 20, 30, 40, 50, 60, 70, 255}, 3, "0A141E323C46", "28FF"},
        // 16 bits keep their high byte; tRNS names one 16-bit grey exactly.
        PngCase{"Grey16BitWithTransparency",
                Png(3, 1, 0, 16, false, "", std::string("\x12\x34", 2)),
                {0x1234, 0x12FF, 0xABCD},
                1,
                "1212AB",
                "00FFFF"},
        // Adam7 passes back in row order.
        PngCase{"Interlaced",
                Png(3, 3, 2, 8, true),
                {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26},
                3,
                "000102030405060708090A0B0C0D0E0F101112131415161718191A",
                ""},
        // Opaque 8-bit grey keeps its scanlines, filter type byte and all.
        PngCase{"Grey8BitAsStored", Png(2, 1, 0, 8), {0x7F, 0x80}, 1, "007F80", "", true}),
    CaseName<PngCase>);

}  // namespace
