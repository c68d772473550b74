#include "support/PngMaker.h"

#include <zlib.h>

namespace {

std::string BigEndian32(uint32_t value) {
    return {static_cast<char>(value >> 24), static_cast<char>(value >> 16), static_cast<char>(value >> 8),
            static_cast<char>(value)};
}

// One scanline of the pixels at x = x0, x0 + step, ... of row y.
std::string Scanline(const PngSpec& spec, uint32_t y, uint32_t x0, uint32_t step) {
    std::string line(1, '\0');
    uint32_t bits = 0;
    int used = 0;
    for (uint32_t x = x0; x < spec.width; x += step) {
        for (const uint16_t value : spec.pixel(x, y)) {
            if (spec.bitDepth == 16) {
                line += static_cast<char>(value >> 8);
                line += static_cast<char>(value);
            } else if (spec.bitDepth == 8) {
                line += static_cast<char>(value);
            } else {
                bits = (bits << spec.bitDepth) | value;
                used += spec.bitDepth;
                if (used == 8) {
                    line += static_cast<char>(bits);
                    bits = 0;
                    used = 0;
                }
            }
        }
    }
    if (used > 0) line += static_cast<char>(bits << (8 - used));
    return line;
}

}  // namespace

std::string PngChunk(const std::string& type, const std::string& data) {
    const std::string body = type + data;
    const auto crc = static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size())));
    return BigEndian32(static_cast<uint32_t>(data.size())) + body + BigEndian32(crc);
}

std::string PngScanlines(const PngSpec& spec) {
    std::string raw;
    if (!spec.interlaced) {
        for (uint32_t y = 0; y < spec.height; ++y) raw += Scanline(spec, y, 0, 1);
        return raw;
    }
    // Adam7: the first column and row of each pass, and their steps.
    const uint32_t passes[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                   {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
    for (const auto& [x0, y0, dx, dy] : passes) {
        if (x0 >= spec.width) continue;
        for (uint32_t y = y0; y < spec.height; y += dy) raw += Scanline(spec, y, x0, dx);
    }
    return raw;
}

std::string MakePng(const PngSpec& spec) {
    const std::string raw = PngScanlines(spec);
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(size, '\0');
    compress(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<const Bytef*>(raw.data()),
             static_cast<uLong>(raw.size()));
    packed.resize(size);
    const std::string header = BigEndian32(spec.width) + BigEndian32(spec.height) +
                               std::string{static_cast<char>(spec.bitDepth), static_cast<char>(spec.colorType), 0, 0,
                                           static_cast<char>(spec.interlaced ? 1 : 0)};
    std::string png = "\x89PNG\r\n\x1A\n" + PngChunk("IHDR", header);
    if (!spec.palette.empty()) png += PngChunk("PLTE", spec.palette);
    if (!spec.transparency.empty()) png += PngChunk("tRNS", spec.transparency);
    return png + PngChunk("IDAT", packed) + PngChunk("IEND", "");
}
