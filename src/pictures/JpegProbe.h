#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// What the image stamp needs to know about a JPEG file before embedding it
// unchanged as a DCTDecode image: the pixel size from the frame header, the
// number of colour components (1 grey, 3 RGB/YCbCr, 4 CMYK) and whether an
// Adobe APP14 segment came before the frame header (such CMYK files hold
// inverted values and are drawn with /Decode[1 0 1 0 1 0 1 0]).
struct JpegInfo {
    // In pixels.
    int32_t width = 0;
    int32_t height = 0;
    // 1, 3 or 4 in a file that can be embedded.
    int32_t components = 0;
    bool adobe = false;

    bool operator==(const JpegInfo&) const = default;
};

// Finds the frame header of a JPEG file held whole in memory and reads the
// size from it.
//
// The walk is deliberately simple: the data must begin with FF D8; after
// that every segment is introduced by FF (any number of FF fill bytes may
// precede the marker code) and, unless it is a frame header, skipped whole
// by its 16-bit length, so a frame header inside a segment (an Exif
// thumbnail's FF C0, say) is never taken for the picture's own. Frame
// headers are the markers C0-CF except C4 (Huffman tables), C8 (reserved)
// and CC (arithmetic conditioning). Markers that carry no length in the
// JPEG format (RSTn, TEM) are read as if they had one.
//
// No size (std::nullopt) when the data does not start with FF D8, when any
// byte other than FF stands between two segments, when a segment length is
// below 2, when start of scan (DA) or end of image (D9) comes first, or
// when the data ends before the frame header's component count byte.
//
// The values are returned as the frame header states them and are not
// checked here: a height of 0 (height given later by a DNL segment) and a
// component count other than 1, 3 or 4 come back as they are, and the
// caller decides what to do with such a picture.
std::optional<JpegInfo> ProbeJpegSize(std::string_view bytes);
