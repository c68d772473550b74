#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Writes PNG files for tests as an encoder does: IHDR, PLTE and tRNS when
// given, one IDAT of filter-0 scanlines (Adam7 passes when interlaced), IEND.
struct PngRecipe {
    uint32_t width = 1;
    uint32_t height = 1;
    int colorType = 6;  // 0 grey, 2 RGB, 3 palette, 4 grey + alpha, 6 RGBA
    int bitDepth = 8;
    bool interlaced = false;
    std::string palette;       // PLTE data
    std::string transparency;  // tRNS data
    // The channels of the pixel at (x, y), each below 2^bitDepth.
    std::function<std::vector<uint16_t>(uint32_t x, uint32_t y)> pixel;
};

std::string MakePng(const PngRecipe& recipe);
// Length, type, data and CRC.
std::string PngChunk(const std::string& type, const std::string& data);
// The raw scanlines MakePng compresses into IDAT.
std::string PngScanlines(const PngRecipe& recipe);
