#include "support/PngMaker.h"

#include <zlib.h>

namespace {

std::string BigEndian32(uint32_t value) {
    return {static_cast<char>(value >> 24), static_cast<char>(value >> 16), static_cast<char>(value >> 8),
            static_cast<char>(value)};
}

// One scanline: filter type 0, then the pixels x0, x0 + step, ... of row y,
// packed most significant bit first.
std::string Scanline(const PngRecipe& recipe, uint32_t y, uint32_t x0, uint32_t step) {
    std::string line(1, '\0');
    uint32_t bits = 0;
    int used = 0;
    for (uint32_t x = x0; x < recipe.width; x += step) {
        for (const uint16_t value : recipe.pixel(x, y)) {
            bits = (bits << recipe.bitDepth) | value;
            for (used += recipe.bitDepth; used >= 8; used -= 8) line += static_cast<char>(bits >> (used - 8));
        }
    }
    if (used > 0) line += static_cast<char>(bits << (8 - used));
    return line;
}

}  // namespace

std::string PngChunk(const std::string& type, const std::string& data) {
    const std::string body = type + data;
    return BigEndian32(static_cast<uint32_t>(data.size())) + body +
           BigEndian32(static_cast<uint32_t>(
               crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
}

std::string PngScanlines(const PngRecipe& recipe) {
    std::string raw;
    // Adam7's passes: first column and row, and their steps; or one pass.
    const std::vector<std::array<uint32_t, 4>> passes =
        recipe.interlaced ? std::vector<std::array<uint32_t, 4>>{{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                                                 {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}}
                          : std::vector<std::array<uint32_t, 4>>{{0, 0, 1, 1}};
    for (const auto& [x0, y0, dx, dy] : passes)
        for (uint32_t y = y0; y < recipe.height && x0 < recipe.width; y += dy) raw += Scanline(recipe, y, x0, dx);
    return raw;
}

std::string MakePng(const PngRecipe& recipe) {
    const std::string raw = PngScanlines(recipe);
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(size, '\0');
    compress(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<const Bytef*>(raw.data()), raw.size());
    const std::string header = BigEndian32(recipe.width) + BigEndian32(recipe.height) +
                               std::string{static_cast<char>(recipe.bitDepth), static_cast<char>(recipe.colorType), 0,
                                           0, static_cast<char>(recipe.interlaced)};
    return "\x89PNG\r\n\x1A\n" + PngChunk("IHDR", header) +
           (recipe.palette.empty() ? "" : PngChunk("PLTE", recipe.palette)) +
           (recipe.transparency.empty() ? "" : PngChunk("tRNS", recipe.transparency)) +
           PngChunk("IDAT", packed.substr(0, size)) + PngChunk("IEND", "");
}
