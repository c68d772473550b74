#include "pictures/PngImage.h"

#include <spng.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "base/CByteSource.h"
#include "base/CPdfException.h"
#include "base/UniqueHandle.h"
#include "writer/CFlateEncoder.h"

namespace {

constexpr std::string_view kSignature = "\x89PNG\r\n\x1A\n";
// Ancillary chunks (text, ICC profiles, Exif) are kept by libspng while it
// reads; these bound what one of them, and all of them together, may hold.
constexpr size_t kChunkLimit = 16u << 20;
constexpr size_t kChunkCacheLimit = 64u << 20;
// zlib's level for the samples and the alpha: fast, and still small for the
// flat colours of logos and marks.
constexpr int kCompressionLevel = 1;

[[noreturn]] void Fail() { throw CPdfException("Image file format error"); }

// zlib or libspng could not set up for want of memory.
[[noreturn]] void FailSetUp() { throw CPdfException("Out of memory while decompressing"); }

void Check(int status) {
    // (SPNG_EMEM also stands for chunks beyond the limits set: a format error.)
    if (status == SPNG_EZLIB_INIT) FailSetUp();
    if (status != 0) Fail();
}

// libspng reads the file through this, front to back.
struct Reader {
    CByteSource& source;
    uint64_t offset = 0;
};

int ReadFromSource(spng_ctx*, void* user, void* destination, size_t length) {
    Reader& reader = *static_cast<Reader*>(user);
    const size_t got = reader.source.Read(reader.offset, static_cast<uint8_t*>(destination), length);
    reader.offset += got;
    return got == length ? 0 : SPNG_IO_EOF;
}

// The bytes of the filtered scanlines the header promises: a filter byte
// and the packed samples of each row, of every Adam7 pass when interlaced.
uint64_t ScanlineBytes(const spng_ihdr& header) {
    const int channels = header.color_type == SPNG_COLOR_TYPE_TRUECOLOR         ? 3
                         : header.color_type == SPNG_COLOR_TYPE_GRAYSCALE_ALPHA ? 2
                         : header.color_type == SPNG_COLOR_TYPE_TRUECOLOR_ALPHA ? 4
                                                                                : 1;
    const uint64_t bitsPerPixel = uint64_t{header.bit_depth} * static_cast<uint64_t>(channels);
    const auto lines = [&](uint64_t columns, uint64_t rows) {
        return columns == 0 || rows == 0 ? 0 : rows * (1 + (columns * bitsPerPixel + 7) / 8);
    };
    if (header.interlace_method == SPNG_INTERLACE_NONE) return lines(header.width, header.height);
    // Adam7: first column and row of each pass, and their steps.
    constexpr uint32_t kPasses[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                        {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
    uint64_t total = 0;
    for (const auto& [x0, y0, dx, dy] : kPasses) {
        const uint64_t columns = header.width > x0 ? (header.width - x0 + dx - 1) / dx : 0;
        const uint64_t rows = header.height > y0 ? (header.height - y0 + dy - 1) / dy : 0;
        total += lines(columns, rows);
    }
    return total;
}

class CInflater {
public:
    CInflater() {
        if (inflateInit(&stream) != Z_OK) FailSetUp();
    }
    ~CInflater() { inflateEnd(&stream); }
    CInflater(const CInflater&) = delete;
    CInflater& operator=(const CInflater&) = delete;

    z_stream stream{};
};

// What the walk over the chunks found.
struct ChunkWalk {
    bool transparency = false;  // a tRNS chunk
    std::string imageData;      // the IDAT data, when asked for
};

// Walks the chunks from the signature to IEND: every chunk whole and its CRC
// right, and the image data one zlib stream that inflates to exactly the
// scanlines the header promises, each with a filter type PNG defines when
// the picture is not interlaced. Inflating stops at the first byte too many,
// so a small file whose image data would inflate to gigabytes fails at once.
// (libspng stops reading image data once it has the last row, and does not
// read IEND's CRC.)
ChunkWalk CheckChunks(CByteSource& source, const spng_ihdr& header, bool keepImageData) {
    ChunkWalk walk;
    const uint64_t expected = ScanlineBytes(header);
    // Where the next row's filter type byte is in the inflated data.
    const uint64_t rowBytes = header.interlace_method == SPNG_INTERLACE_NONE ? expected / header.height : 0;
    uint64_t nextFilter = 0;
    CInflater inflater;
    z_stream* stream = &inflater.stream;
    std::vector<uint8_t> data(64 * 1024);
    std::vector<uint8_t> scratch(64 * 1024);
    uint64_t inflated = 0;
    bool ended = false;
    uint64_t offset = kSignature.size();
    for (;;) {
        uint8_t head[8];
        if (source.Read(offset, head, sizeof head) != sizeof head) Fail();
        const uint32_t length =
            (uint32_t{head[0]} << 24) | (uint32_t{head[1]} << 16) | (uint32_t{head[2]} << 8) | head[3];
        if (length > 0x7FFFFFFFu) Fail();
        const bool imageData = std::memcmp(head + 4, "IDAT", 4) == 0;
        walk.transparency = walk.transparency || std::memcmp(head + 4, "tRNS", 4) == 0;
        uLong crc = crc32(0, head + 4, 4);
        offset += sizeof head;
        for (uint64_t left = length; left > 0;) {
            const size_t piece = static_cast<size_t>(std::min<uint64_t>(left, data.size()));
            if (source.Read(offset, data.data(), piece) != piece) Fail();
            crc = crc32(crc, data.data(), static_cast<uInt>(piece));
            offset += piece;
            left -= piece;
            if (!imageData) continue;
            if (ended) Fail();  // data after the end of the stream
            if (keepImageData) walk.imageData.append(reinterpret_cast<const char*>(data.data()), piece);
            stream->next_in = data.data();
            stream->avail_in = static_cast<uInt>(piece);
            while (stream->avail_in > 0 && !ended) {
                stream->next_out = scratch.data();
                stream->avail_out = static_cast<uInt>(scratch.size());
                const int status = inflate(stream, Z_NO_FLUSH);
                if (status == Z_MEM_ERROR) FailSetUp();
                if (status != Z_OK && status != Z_STREAM_END) Fail();
                const uint64_t start = inflated;
                inflated += scratch.size() - stream->avail_out;
                if (inflated > expected) Fail();
                for (; rowBytes > 0 && nextFilter < inflated; nextFilter += rowBytes) {
                    if (scratch[static_cast<size_t>(nextFilter - start)] > SPNG_FILTER_PAETH) Fail();
                }
                ended = status == Z_STREAM_END;
            }
            if (stream->avail_in > 0) Fail();
        }
        uint8_t stored[4];
        if (source.Read(offset, stored, sizeof stored) != sizeof stored) Fail();
        offset += sizeof stored;
        if (((uint32_t{stored[0]} << 24) | (uint32_t{stored[1]} << 16) | (uint32_t{stored[2]} << 8) | stored[3]) != crc)
            Fail();
        if (std::memcmp(head + 4, "IEND", 4) == 0) break;
    }
    if (!ended || inflated != expected) Fail();
    return walk;
}

// Splits decoded rows into colour samples and alpha and compresses both.
class CRowSplitter {
public:
    CRowSplitter(uint32_t width, int32_t colors, bool sixteenBits)
        : width_(width),
          colors_(colors),
          sixteenBits_(sixteenBits),
          samples_(kCompressionLevel),
          alpha_(kCompressionLevel),
          colorRow_(size_t{width} * static_cast<size_t>(colors)),
          alphaRow_(width) {}

    // One decoded row: grey and alpha of 16 bits each (host order) when
    // sixteenBits, otherwise RGBA or grey and alpha of 8 bits each.
    void Add(const uint8_t* row) {
        uint8_t* color = colorRow_.data();
        uint8_t* alpha = alphaRow_.data();
        uint8_t opaque = 0xFF;
        if (sixteenBits_) {
            for (uint32_t x = 0; x < width_; ++x, row += 4) {
                uint16_t pair[2];
                std::memcpy(pair, row, sizeof pair);
                *color++ = static_cast<uint8_t>(pair[0] >> 8);
                opaque &= * alpha++ = static_cast<uint8_t>(pair[1] >> 8);
            }
        } else if (colors_ == 1) {
            for (uint32_t x = 0; x < width_; ++x, row += 2) {
                *color++ = row[0];
                opaque &= * alpha++ = row[1];
            }
        } else {
            for (uint32_t x = 0; x < width_; ++x, row += 4) {
                *color++ = row[0];
                *color++ = row[1];
                *color++ = row[2];
                opaque &= * alpha++ = row[3];
            }
        }
        samples_.Add(colorRow_.data(), colorRow_.size());
        alpha_.Add(alphaRow_.data(), alphaRow_.size());
        opaque_ = opaque_ && opaque == 0xFF;
    }

    void Finish(PngImage& image) {
        image.samples = samples_.Finish();
        if (!opaque_) image.alpha = alpha_.Finish();
    }

private:
    uint32_t width_;
    int32_t colors_;
    bool sixteenBits_;
    CFlateEncoder samples_;
    CFlateEncoder alpha_;
    std::vector<uint8_t> colorRow_;
    std::vector<uint8_t> alphaRow_;
    bool opaque_ = true;
};

// Decodes the pixels into the image's samples and alpha: row by row, or
// whole when interlaced.
void DecodePixels(spng_ctx* png, const spng_ihdr& header, PngImage& image) {
    const bool grey = image.colors == 1;
    // Grey stays grey, with alpha of the same depth: grey and alpha pictures
    // as stored (8 or 16 bits), plain grey ones expanded with their tRNS
    // colour as alpha. Everything else becomes RGBA of 8 bits.
    const bool sixteenBits = grey && header.bit_depth == 16;
    int format = SPNG_FMT_RGBA8;
    if (header.color_type == SPNG_COLOR_TYPE_GRAYSCALE_ALPHA)
        format = SPNG_FMT_PNG;
    else if (grey)
        format = sixteenBits ? SPNG_FMT_GA16 : SPNG_FMT_GA8;

    size_t imageSize = 0;
    Check(spng_decoded_image_size(png, format, &imageSize));
    const size_t rowSize = imageSize / header.height;
    CRowSplitter splitter(header.width, image.colors, sixteenBits);
    if (header.interlace_method == SPNG_INTERLACE_NONE) {
        Check(spng_decode_image(png, nullptr, 0, format, SPNG_DECODE_TRNS | SPNG_DECODE_PROGRESSIVE));
        std::vector<uint8_t> row(rowSize);
        for (uint32_t y = 0; y < header.height; ++y) {
            const int status = spng_decode_row(png, row.data(), row.size());
            if (status != 0 && !(status == SPNG_EOI && y + 1 == header.height)) Fail();
            splitter.Add(row.data());
        }
    } else {
        std::vector<uint8_t> pixels(imageSize);
        Check(spng_decode_image(png, pixels.data(), pixels.size(), format, SPNG_DECODE_TRNS));
        for (uint32_t y = 0; y < header.height; ++y) splitter.Add(pixels.data() + size_t{y} * rowSize);
    }
    // The chunks after the image data, up to IEND.
    Check(spng_decode_chunks(png));
    splitter.Finish(image);
}

}  // namespace

bool PngImage::HasSignature(std::string_view head) { return head.substr(0, kSignature.size()) == kSignature; }

PngImage PngImage::Decode(CByteSource& source) {
    // CheckChunks verifies the zlib stream's checksum already.
    const UniqueHandle<spng_ctx, spng_ctx_free> context(spng_ctx_new(SPNG_CTX_IGNORE_ADLER32));
    if (!context) FailSetUp();
    spng_ctx* png = context.get();
    Reader reader{source};
    Check(spng_set_png_stream(png, ReadFromSource, &reader));
    Check(spng_set_image_limits(png, kMaxSide, kMaxSide));
    Check(spng_set_chunk_limits(png, kChunkLimit, kChunkCacheLimit));

    spng_ihdr header{};
    Check(spng_get_ihdr(png, &header));
    if (uint64_t{header.width} * header.height > kMaxPixels) Fail();
    const bool grey =
        header.color_type == SPNG_COLOR_TYPE_GRAYSCALE || header.color_type == SPNG_COLOR_TYPE_GRAYSCALE_ALPHA;
    // Grey or RGB of 8 bits, without alpha and not interlaced: the image
    // data may serve the PDF as it is.
    const bool asStored =
        header.bit_depth == 8 && header.interlace_method == SPNG_INTERLACE_NONE &&
        (header.color_type == SPNG_COLOR_TYPE_GRAYSCALE || header.color_type == SPNG_COLOR_TYPE_TRUECOLOR);
    ChunkWalk walk = CheckChunks(source, header, asStored);

    PngImage image;
    image.width = static_cast<int32_t>(header.width);
    image.height = static_cast<int32_t>(header.height);
    image.colors = grey ? 1 : 3;
    if (asStored && !walk.transparency) {
        image.samples = std::move(walk.imageData);
        image.predicted = true;
        return image;
    }
    DecodePixels(png, header, image);
    return image;
}
