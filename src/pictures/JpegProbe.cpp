#include "pictures/JpegProbe.h"

#include <cstddef>

namespace {

constexpr uint8_t kMarkerPrefix = 0xFF;
constexpr uint8_t kStartOfImage = 0xD8;
constexpr uint8_t kEndOfImage = 0xD9;
constexpr uint8_t kStartOfScan = 0xDA;
constexpr uint8_t kAdobeApp14 = 0xEE;
constexpr std::string_view kAdobeSignature = "Adobe";

// C0-CF are the frame headers, except C4 (DHT), C8 (JPG, reserved) and
// CC (DAC), which are ordinary segments.
constexpr bool IsFrameMarker(uint8_t marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// A forward-only reader over the file's bytes; every read reports the end
// of the data instead of going past it.
class CJpegReader {
public:
    explicit CJpegReader(std::string_view bytes) : bytes_(bytes) {}

    std::optional<uint8_t> ReadByte() {
        if (pos_ >= bytes_.size()) return std::nullopt;
        return static_cast<uint8_t>(bytes_[pos_++]);
    }

    std::optional<uint16_t> ReadUInt16() {
        const auto high = ReadByte();
        if (!high) return std::nullopt;
        const auto low = ReadByte();
        if (!low) return std::nullopt;
        return static_cast<uint16_t>((*high << 8) | *low);
    }

    // False when fewer than `count` bytes are left; the reader then stands
    // at the end, so the next read fails as well.
    bool Skip(size_t count) {
        if (count > bytes_.size() - pos_) {
            pos_ = bytes_.size();
            return false;
        }
        pos_ += count;
        return true;
    }

    // Up to `count` bytes from the current position, without moving.
    std::string_view Peek(size_t count) const { return bytes_.substr(pos_, count); }

private:
    std::string_view bytes_;
    size_t pos_ = 0;
};

}  // namespace

std::optional<JpegInfo> ProbeJpegSize(std::string_view bytes) {
    CJpegReader reader(bytes);

    const auto first = reader.ReadByte();
    const auto second = reader.ReadByte();
    if (!first || !second || *first != kMarkerPrefix || *second != kStartOfImage) return std::nullopt;

    bool adobe = false;
    for (;;) {
        // Everything up to the next FF is stray data; note it, but finish
        // reading the marker first, as running out of data decides too.
        bool strayBytes = false;
        std::optional<uint8_t> byte;
        while ((byte = reader.ReadByte()) && *byte != kMarkerPrefix) strayBytes = true;
        if (!byte) return std::nullopt;

        // Fill bytes: the first byte that is not FF is the marker code.
        while ((byte = reader.ReadByte()) && *byte == kMarkerPrefix) {
        }
        if (!byte) return std::nullopt;
        const uint8_t marker = *byte;

        if (strayBytes) return std::nullopt;

        if (IsFrameMarker(marker)) {
            // Segment length and sample precision are not needed.
            if (!reader.Skip(3)) return std::nullopt;
            const auto height = reader.ReadUInt16();
            const auto width = reader.ReadUInt16();
            const auto components = reader.ReadByte();
            if (!height || !width || !components) return std::nullopt;
            return JpegInfo{width.value(), height.value(), components.value(), adobe};
        }

        if (marker == kEndOfImage || marker == kStartOfScan) return std::nullopt;

        // Any other marker, with or without a length field in the JPEG
        // format, is taken to be followed by one.
        const auto length = reader.ReadUInt16();
        if (!length || *length < 2) return std::nullopt;
        const size_t dataLength = *length - 2u;
        if (marker == kAdobeApp14 && dataLength >= kAdobeSignature.size() &&
            reader.Peek(kAdobeSignature.size()) == kAdobeSignature)
            adobe = true;
        if (!reader.Skip(dataLength)) return std::nullopt;
    }
}
