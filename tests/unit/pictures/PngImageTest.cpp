// Known answers of PNG decoding: tiny pictures → the exact samples and alpha
// bytes (as a PDF reader undoes their row filters), palette and transparent
// colour, worked out by hand from the PNG format.
#include "pictures/PngImage.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "base/CByteSource.h"
#include "pdf/reader/CPdfFileStream.h"
#include "pdf/reader/CPdfFlateStream.h"
#include "support/CaseName.h"
#include "support/PngMaker.h"

namespace {

struct PngCase {
    std::string name;
    PngRecipe recipe;
    std::vector<uint16_t> channels;  // every pixel's channels, row by row
    int32_t colors;
    int32_t bits;
    std::string samples;  // hexadecimal, as a reader decodes them
    std::string alpha;    // the same; empty when opaque
    std::string palette = "";
    std::vector<uint32_t> colorKey = {};
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

// FlateDecode with /Predictor 15 for rows of `colors` samples of `bits`.
std::string Decoded(const std::string& deflated, int32_t colors, int32_t bits, int32_t columns) {
    auto file = std::make_shared<CPdfFileStream>(std::make_shared<CMemoryByteSource>(deflated), 0,
                                                 static_cast<int64_t>(deflated.size()), CPdfObject::Null());
    CPdfFlateStream stream(file, 15, columns, colors, bits);
    std::string out(4096, '\0');
    out.resize(stream.Read(reinterpret_cast<uint8_t*>(out.data()), out.size()));
    return stream.IsDamaged() ? "damaged" : out;
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
    EXPECT_EQ(image.bits, c.bits);
    EXPECT_EQ(Hex(Decoded(image.samples, image.colors, image.bits, image.width)), c.samples);
    EXPECT_EQ(image.alpha.empty() ? "" : Hex(Decoded(image.alpha, 1, image.alphaBits, image.width)), c.alpha);
    EXPECT_EQ(Hex(image.palette), c.palette);
    EXPECT_EQ(image.colorKey, c.colorKey);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PngDecodeTest,
    ::testing::Values(
        // 1-bit grey stays packed, a row's padding bits and all.
        PngCase{"Grey1Bit", Png(3, 2, 0, 1), {1, 0, 1, 0, 1, 1}, 1, 1, "A060", ""},
        // 2-bit indices into red, green, blue stay indices; tRNS gives the
        // first two entries alpha 0 and 0x80, the third is opaque.
        PngCase{"PaletteWithTransparency",
                Png(3, 1, 3, 2, false, std::string("\xFF\0\0\0\xFF\0\0\0\xFF", 9), std::string("\0\x80", 2)),
                {0, 1, 2},
                1,
                2,
                "18",
                "0080FF",
                "FF000000FF000000FF"},
        PngCase{"Rgba8Bit", Png(2, 1, 6, 8), {10, 20, 30, 40, 50, 60, 70, 255}, 3, 8, "0A141E323C46", "28FF"},
        PngCase{"Rgba16Bit", Png(1, 1, 6, 16), {0x0102, 0x0304, 0x0506, 0x0708}, 3, 16, "010203040506", "0708"},
        // tRNS names one 16-bit grey exactly: a colour key, or alpha where the
        // samples keep their high byte only.
        PngCase{"Grey16BitWithTransparency",
                Png(3, 1, 0, 16, false, "", std::string("\x12\x34", 2)),
                {0x1234, 0x12FF, 0xABCD},
                1,
                16,
                "123412FFABCD",
                "",
                "",
                {0x1234}},
        // Adam7 passes back in row order.
        PngCase{"Interlaced",
                Png(3, 3, 2, 8, true),
                {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26},
                3,
                8,
                "000102030405060708090A0B0C0D0E0F101112131415161718191A",
                ""},
        PngCase{"Grey8Bit", Png(2, 1, 0, 8), {0x7F, 0x80}, 1, 8, "7F80", ""}),
    CaseName<PngCase>);

}  // namespace
