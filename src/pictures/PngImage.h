#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class CByteSource;

// A PNG file made ready for a PDF image: the samples as the PNG holds them
// (grey, RGB or palette indices, 1 to 16 bits, rows from top to bottom), and
// the alpha channel as a picture of its own, both as PNG-filtered rows
// compressed for FlateDecode with /Predictor 15, so that they take about the
// room the PNG's own image data takes.
//
// Every PNG the format defines is read: grey, grey with alpha, RGB, RGB with
// alpha and palette pictures, bit depths 1 to 16, interlaced or not. A
// palette stays a palette (an /Indexed colour space); tRNS transparency
// becomes a colour key (a transparent grey or RGB colour) or alpha (a
// palette's alpha values). 16-bit samples stay 16-bit unless the caller asks
// for 8 (their high byte). gAMA, cHRM, sRGB and iCCP are not applied: the
// samples are drawn as they are stored, as DeviceGray or DeviceRGB.
//
// Grey, RGB and palette pictures that are not interlaced need no decoding for
// their samples: the image data is checked and taken as it is. Other
// pictures are decoded by libspng, row by row when they are not interlaced,
// so the decoded picture is never held whole; an interlaced one is decoded
// into memory first (at most 4 bytes a pixel: 16-bit samples of larger
// interlaced pictures are taken at 8 bits).
struct PngImage {
    // The most pixels a picture may have on either side, and in all; larger
    // pictures are refused from their header, before any pixel is decoded.
    static constexpr uint32_t kMaxSide = 1u << 15;             // 32,768
    static constexpr uint64_t kMaxPixels = uint64_t{1} << 25;  // 33,554,432, e.g. 8192 × 4096

    int32_t width = 0;
    int32_t height = 0;
    // Samples a pixel (1 grey or palette index, 3 RGB) and bits a sample
    // (1, 2, 4, 8 or 16).
    int32_t colors = 0;
    int32_t bits = 8;
    // A palette picture's colours, three bytes each; empty otherwise.
    std::string palette;
    // The transparent colour, one value a sample; empty when there is none.
    std::vector<uint32_t> colorKey;
    // PNG-filtered rows, deflated.
    std::string samples;
    // The alpha the same way, of `alphaBits` bits; empty when every pixel is
    // opaque.
    std::string alpha;
    int32_t alphaBits = 8;

    // True when the bytes begin with the PNG signature.
    static bool HasSignature(std::string_view head);
    // The bit depth a PNG file's header gives, from its first bytes (at least
    // 25); 0 when they hold no PNG header.
    static int32_t BitDepth(std::string_view head);
    // Decodes the whole file and checks it to its end (chunk CRCs, the zlib
    // stream, no image data beyond the picture, IEND). Throws
    // CPdfException("Image file format error") when the file is not a PNG,
    // is damaged, ends early or exceeds the limits above.
    static PngImage Decode(CByteSource& source);
};
