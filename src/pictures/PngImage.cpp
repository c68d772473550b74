#include "pictures/PngImage.h"

#include <spng.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
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
// zlib's level for the samples and the alpha: its default, as PNG encoders
// take it, so that the picture takes about the room of its file.
constexpr int kCompressionLevel = 6;

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

// PNG-filters rows (each with the filter that leaves the smallest sum of its
// bytes taken as signed, as PNG encoders choose) and deflates them: the data
// of a FlateDecode stream with /Predictor 15.
class CRowFilter {
public:
    CRowFilter(size_t rowBytes, size_t pixelBytes)
        : encoder_(kCompressionLevel),
          pixelBytes_(pixelBytes),
          previous_(rowBytes, 0),
          best_(rowBytes + 1),
          trial_(rowBytes + 1) {}

    void Add(const uint8_t* row) {
        uint64_t bestCost = UINT64_MAX;
        for (uint8_t type = SPNG_FILTER_NONE; type <= SPNG_FILTER_PAETH; ++type) {
            const uint64_t cost = Filter(type, row);
            if (cost < bestCost) {
                bestCost = cost;
                best_.swap(trial_);
            }
        }
        encoder_.Add(best_.data(), best_.size());
        std::memcpy(previous_.data(), row, previous_.size());
    }
    std::string Finish() { return encoder_.Finish(); }

private:
    // `row` filtered with `type` into trial_; the sum of its bytes as signed.
    uint64_t Filter(uint8_t type, const uint8_t* row) {
        trial_[0] = type;
        uint64_t cost = 0;
        const uint8_t* up = previous_.data();
        for (size_t i = 0; i < previous_.size(); ++i) {
            const int left = i >= pixelBytes_ ? row[i - pixelBytes_] : 0;
            const int upperLeft = i >= pixelBytes_ ? up[i - pixelBytes_] : 0;
            int predicted = 0;
            if (type == SPNG_FILTER_SUB) {
                predicted = left;
            } else if (type == SPNG_FILTER_UP) {
                predicted = up[i];
            } else if (type == SPNG_FILTER_AVERAGE) {
                predicted = (left + up[i]) / 2;
            } else if (type == SPNG_FILTER_PAETH) {
                const int p = left + up[i] - upperLeft;
                const int pa = std::abs(p - left), pb = std::abs(p - up[i]), pc = std::abs(p - upperLeft);
                predicted = pa <= pb && pa <= pc ? left : pb <= pc ? up[i] : upperLeft;
            }
            const auto value = static_cast<uint8_t>(row[i] - predicted);
            trial_[i + 1] = value;
            cost += value < 128 ? value : 256u - value;
        }
        return cost;
    }

    CFlateEncoder encoder_;
    size_t pixelBytes_;
    std::vector<uint8_t> previous_;
    std::vector<uint8_t> best_;
    std::vector<uint8_t> trial_;
};

// How the picture's decoded rows become the image's samples and alpha.
struct Layout {
    // The decoded rows: samples a pixel, bits a sample (16: two bytes, most
    // significant first).
    int channels = 1;
    int depth = 8;
    // The image's samples: taken as stored, or made from the rows.
    bool samplesAsStored = false;
    // Where alpha comes from: an alpha channel, the palette's alpha values;
    // none.
    enum class Alpha { None, Channel, Palette } alpha = Alpha::None;
    spng_trns transparency{};
};

// Splits decoded rows into the samples and the alpha, filters and deflates them.
class CRowSplitter {
public:
    CRowSplitter(const Layout& layout, uint32_t width, int32_t colors)
        : layout_(layout),
          width_(width),
          colors_(colors),
          sampleBytes_(static_cast<size_t>(layout.depth / 8)),
          colorRow_(size_t{width} * static_cast<size_t>(colors) * (layout.depth < 8 ? 0 : sampleBytes_)),
          alphaRow_(size_t{width} * AlphaBytes(layout)) {
        if (!layout.samplesAsStored && layout.depth >= 8)
            samples_.emplace(colorRow_.size(), static_cast<size_t>(colors) * sampleBytes_);
        if (layout.alpha != Layout::Alpha::None) alpha_.emplace(alphaRow_.size(), AlphaBytes(layout));
    }

    // Bytes an alpha sample takes.
    static size_t AlphaBytes(const Layout& layout) {
        return layout.alpha == Layout::Alpha::Channel ? static_cast<size_t>(layout.depth / 8) : 1;
    }

    // The packed samples of a picture below 8 bits, filtered as they are.
    void StartPacked(size_t rowBytes) {
        if (!layout_.samplesAsStored && layout_.depth < 8) samples_.emplace(rowBytes, 1);
    }

    void Add(const uint8_t* row) {
        if (samples_) samples_->Add(layout_.depth < 8 ? row : SampleRow(row));
        if (alpha_) alpha_->Add(AlphaRow(row));
    }

    void Finish(PngImage& image) {
        if (samples_) image.samples = samples_->Finish();
        if (alpha_ && !opaque_) image.alpha = alpha_->Finish();
    }

private:
    // The bytes of sample `index` of the row at the image's bits.
    const uint8_t* Sample(const uint8_t* row, size_t index) const {
        return row + index * static_cast<size_t>(layout_.depth / 8);
    }

    const uint8_t* SampleRow(const uint8_t* row) {
        uint8_t* out = colorRow_.data();
        for (uint32_t x = 0; x < width_; ++x) {
            for (int32_t c = 0; c < colors_; ++c) {
                const uint8_t* sample = Sample(row, size_t{x} * static_cast<size_t>(layout_.channels) + c);
                for (size_t b = 0; b < sampleBytes_; ++b) *out++ = sample[b];
            }
        }
        return colorRow_.data();
    }

    const uint8_t* AlphaRow(const uint8_t* row) {
        uint8_t* out = alphaRow_.data();
        uint8_t least = 0xFF;
        for (uint32_t x = 0; x < width_; ++x) {
            if (layout_.alpha == Layout::Alpha::Channel) {
                const uint8_t* sample = Sample(row, size_t{x} * static_cast<size_t>(layout_.channels) + colors_);
                for (size_t b = 0; b < sampleBytes_; ++b) least &= * out++ = sample[b];
            } else {
                const size_t index = PackedIndex(row, x);
                least &= * out++ =
                    index < layout_.transparency.n_type3_entries ? layout_.transparency.type3_alpha[index] : 0xFF;
            }
        }
        opaque_ = opaque_ && least == 0xFF;
        return alphaRow_.data();
    }

    // The palette index of pixel x of a packed row (or a row of 8 bits).
    size_t PackedIndex(const uint8_t* row, uint32_t x) const {
        const auto depth = static_cast<unsigned>(layout_.depth);
        const size_t bit = size_t{x} * depth;
        return (row[bit / 8] >> (8 - depth - bit % 8)) & ((1u << depth) - 1);
    }

    Layout layout_;
    uint32_t width_;
    int32_t colors_;
    size_t sampleBytes_;
    // Every alpha byte so far is 0xFF.
    bool opaque_ = true;
    std::optional<CRowFilter> samples_;
    std::optional<CRowFilter> alpha_;
    // Room for one row of samples, and of alpha.
    std::vector<uint8_t> colorRow_;
    std::vector<uint8_t> alphaRow_;
};

// Decodes the rows (big-endian, packed below 8 bits) into the splitter: row
// by row, or whole when interlaced.
void DecodeRows(spng_ctx* png, const spng_ihdr& header, int format, CRowSplitter& splitter) {
    size_t imageSize = 0;
    Check(spng_decoded_image_size(png, format, &imageSize));
    const size_t rowSize = imageSize / header.height;
    splitter.StartPacked(rowSize);
    if (header.interlace_method == SPNG_INTERLACE_NONE) {
        Check(spng_decode_image(png, nullptr, 0, format,
                                SPNG_DECODE_PROGRESSIVE | (format == SPNG_FMT_RAW ? 0 : SPNG_DECODE_TRNS)));
        std::vector<uint8_t> row(rowSize);
        for (uint32_t y = 0; y < header.height; ++y) {
            const int status = spng_decode_row(png, row.data(), row.size());
            if (status != 0 && !(status == SPNG_EOI && y + 1 == header.height)) Fail();
            splitter.Add(row.data());
        }
    } else {
        std::vector<uint8_t> pixels(imageSize);
        Check(spng_decode_image(png, pixels.data(), pixels.size(), format,
                                format == SPNG_FMT_RAW ? 0 : SPNG_DECODE_TRNS));
        for (uint32_t y = 0; y < header.height; ++y) splitter.Add(pixels.data() + size_t{y} * rowSize);
    }
    // The chunks after the image data, up to IEND.
    Check(spng_decode_chunks(png));
}

int ChannelsOf(uint8_t colorType) {
    switch (colorType) {
        case SPNG_COLOR_TYPE_TRUECOLOR:
            return 3;
        case SPNG_COLOR_TYPE_GRAYSCALE_ALPHA:
            return 2;
        case SPNG_COLOR_TYPE_TRUECOLOR_ALPHA:
            return 4;
        default:
            return 1;
    }
}

// What the picture's colour type, depth and transparency make of it.
Layout LayoutOf(spng_ctx* png, const spng_ihdr& header, bool transparency, PngImage& image) {
    Layout layout;
    layout.channels = ChannelsOf(header.color_type);
    layout.depth = header.bit_depth;
    const bool hasAlpha = layout.channels == 2 || layout.channels == 4;
    image.colors = layout.channels >= 3 ? 3 : 1;
    // An interlaced picture is held whole: at most 4 bytes a pixel, so that
    // larger 16-bit RGB ones become RGBA of 8 bits, alpha and all.
    const bool interlaced = header.interlace_method != SPNG_INTERLACE_NONE;
    if (interlaced && layout.depth == 16 && layout.channels >= 3 &&
        uint64_t{header.width} * header.height * static_cast<uint64_t>(layout.channels) * 2 >
            4 * PngImage::kMaxPixels) {
        layout.channels = 4;
        layout.depth = 8;
        layout.alpha = Layout::Alpha::Channel;
        return layout;
    }
    layout.samplesAsStored = !interlaced && !hasAlpha;
    if (hasAlpha) layout.alpha = Layout::Alpha::Channel;
    if (header.color_type == SPNG_COLOR_TYPE_INDEXED) {
        spng_plte palette{};
        Check(spng_get_plte(png, &palette));
        for (uint32_t i = 0; i < palette.n_entries; ++i)
            image.palette += {static_cast<char>(palette.entries[i].red), static_cast<char>(palette.entries[i].green),
                              static_cast<char>(palette.entries[i].blue)};
    }
    if (!transparency || hasAlpha) return layout;
    Check(spng_get_trns(png, &layout.transparency));
    if (header.color_type == SPNG_COLOR_TYPE_INDEXED) {
        layout.alpha = Layout::Alpha::Palette;
    } else if (image.colors == 1) {
        image.colorKey = {layout.transparency.gray};
    } else {
        image.colorKey = {layout.transparency.red, layout.transparency.green, layout.transparency.blue};
    }
    return layout;
}

}  // namespace

bool PngImage::HasSignature(std::string_view head) { return head.substr(0, kSignature.size()) == kSignature; }

int32_t PngImage::BitDepth(std::string_view head) {
    // The signature, IHDR's length and type, the width and the height.
    constexpr size_t kDepthAt = 24;
    if (!HasSignature(head) || head.size() <= kDepthAt || head.substr(12, 4) != "IHDR") return 0;
    return static_cast<uint8_t>(head[kDepthAt]);
}

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
    // Only the samples of a picture that is not interlaced, without an
    // alpha channel, may serve as they are.
    const bool mayStore = header.interlace_method == SPNG_INTERLACE_NONE && ChannelsOf(header.color_type) % 2 == 1;
    ChunkWalk walk = CheckChunks(source, header, mayStore);

    PngImage image;
    image.width = static_cast<int32_t>(header.width);
    image.height = static_cast<int32_t>(header.height);
    const Layout layout = LayoutOf(png, header, walk.transparency, image);
    image.bits = layout.depth;
    image.alphaBits = static_cast<int32_t>(CRowSplitter::AlphaBytes(layout) * 8);
    if (layout.samplesAsStored) image.samples = std::move(walk.imageData);
    if (layout.samplesAsStored && layout.alpha == Layout::Alpha::None) return image;
    CRowSplitter splitter(layout, header.width, image.colors);
    DecodeRows(png, header, layout.depth == header.bit_depth ? SPNG_FMT_RAW : SPNG_FMT_RGBA8, splitter);
    splitter.Finish(image);
    return image;
}
