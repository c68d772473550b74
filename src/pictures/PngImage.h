#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class CByteSource;

// A PNG file made ready for a PDF image: 8-bit samples, grey or RGB, rows from
// top to bottom, and the alpha channel as a picture of its own, each
// compressed for FlateDecode.
//
// Every PNG the format defines is read: grey, grey with alpha, RGB, RGB with
// alpha and palette pictures, bit depths 1 to 16, interlaced or not; tRNS
// transparency (a palette's alpha values or a transparent colour) becomes
// alpha. 16-bit samples keep their high byte; palettes are expanded to RGB.
// gAMA, cHRM, sRGB and iCCP are not applied: the samples are drawn as they
// are stored, as DeviceGray or DeviceRGB.
//
// Decoding is done by libspng, row by row for pictures that are not
// interlaced, so the decoded picture is never held whole; an interlaced one
// is decoded into memory first (4 bytes a pixel). Opaque grey and RGB
// pictures of 8 bits that are not interlaced need no decoding: their image
// data is checked and taken as it is, PNG predictors and all.
struct PngImage {
    // The most pixels a picture may have on either side, and in all; larger
    // pictures are refused from their header, before any pixel is decoded.
    static constexpr uint32_t kMaxSide = 1u << 15;             // 32,768
    static constexpr uint64_t kMaxPixels = uint64_t{1} << 25;  // 33,554,432, e.g. 8192 × 4096

    int32_t width = 0;
    int32_t height = 0;
    int32_t colors = 0;   // 1 grey, 3 RGB
    std::string samples;  // deflated
    std::string alpha;    // deflated; empty when every pixel is opaque
    // The samples are the PNG's own image data, each row after a PNG filter
    // type byte (FlateDecode with /Predictor 15).
    bool predicted = false;

    // True when the bytes begin with the PNG signature.
    static bool HasSignature(std::string_view head);
    // Decodes the whole file and checks it to its end (chunk CRCs, the zlib
    // stream, no image data beyond the picture, IEND). Throws
    // CPdfException("Image file format error") when the file is not a PNG,
    // is damaged, ends early or exceeds the limits above.
    static PngImage Decode(CByteSource& source);
};
