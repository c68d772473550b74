#include "pdf/reader/CPdfFlateStream.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <limits>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "base/CByteSource.h"
#include "base/CPdfException.h"
#include "pdf/reader/CPdfEmbedStream.h"
#include "pdf/reader/CPdfFileStream.h"
#include "support/CaseName.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string Deflated(const Bytes& data, int level = 6) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::string out(size, '\0');
    EXPECT_EQ(
        compress2(reinterpret_cast<Bytef*>(out.data()), &size, data.data(), static_cast<uLong>(data.size()), level),
        Z_OK);
    out.resize(size);
    return out;
}

Bytes ToBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

// Repeatable bytes that do not compress to nothing.
Bytes Noise(size_t size, uint32_t seed) {
    Bytes out(size);
    for (uint8_t& b : out) {
        seed = seed * 1103515245u + 12345u;
        b = static_cast<uint8_t>(seed >> 16);
    }
    return out;
}

std::shared_ptr<CPdfFileStream> RawStream(const std::string& file, int64_t start, int64_t length) {
    return std::make_shared<CPdfFileStream>(std::make_shared<CMemoryByteSource>(file), start, length,
                                            CPdfObject::Null());
}

std::shared_ptr<CPdfFlateStream> Flate(const std::string& compressed, int32_t predictor = 1, int32_t columns = 1,
                                       int32_t colors = 1, int32_t bits = 8) {
    return std::make_shared<CPdfFlateStream>(RawStream(compressed, 0, static_cast<int64_t>(compressed.size())),
                                             predictor, columns, colors, bits);
}

Bytes ReadAll(CPdfStream& stream) {
    Bytes out;
    for (int c = stream.GetChar(); c >= 0; c = stream.GetChar()) out.push_back(static_cast<uint8_t>(c));
    return out;
}

// ---------------------------------------------------------------------------
// Encoders: the forward direction of each predictor, written independently
// of the decoder, so that a round trip checks the decoder.

int PaethPredictor(int left, int up, int upperLeft) {
    const int p = left + up - upperLeft;
    const int pa = std::abs(p - left);
    const int pb = std::abs(p - up);
    const int pc = std::abs(p - upperLeft);
    if (pa <= pb && pa <= pc) return left;
    if (pb <= pc) return up;
    return upperLeft;
}

// PNG rows: each row gets its filter type byte (types cycle through `types`).
Bytes PngEncode(const Bytes& image, size_t rowBytes, size_t pixelBytes, const std::vector<int>& types) {
    Bytes out;
    const size_t rows = image.size() / rowBytes;
    for (size_t r = 0; r < rows; ++r) {
        const int type = types[r % types.size()];
        out.push_back(static_cast<uint8_t>(type));
        for (size_t i = 0; i < rowBytes; ++i) {
            const int x = image[r * rowBytes + i];
            const int left = i >= pixelBytes ? image[r * rowBytes + i - pixelBytes] : 0;
            const int up = r > 0 ? image[(r - 1) * rowBytes + i] : 0;
            const int upperLeft = (r > 0 && i >= pixelBytes) ? image[(r - 1) * rowBytes + i - pixelBytes] : 0;
            int predicted = 0;
            switch (type) {
                case 1:
                    predicted = left;
                    break;
                case 2:
                    predicted = up;
                    break;
                case 3:
                    predicted = (left + up) / 2;
                    break;
                case 4:
                    predicted = PaethPredictor(left, up, upperLeft);
                    break;
                default:
                    break;
            }
            out.push_back(static_cast<uint8_t>(x - predicted));
        }
    }
    return out;
}

unsigned Sample(const uint8_t* row, size_t s, int bits) {
    if (bits == 16) return (unsigned{row[2 * s]} << 8) | row[2 * s + 1];
    if (bits == 8) return row[s];
    const size_t bit = s * static_cast<size_t>(bits);
    return (row[bit / 8] >> (8 - bits - static_cast<int>(bit % 8))) & ((1u << bits) - 1);
}

void PutSample(uint8_t* row, size_t s, int bits, unsigned value) {
    if (bits == 16) {
        row[2 * s] = static_cast<uint8_t>(value >> 8);
        row[2 * s + 1] = static_cast<uint8_t>(value);
        return;
    }
    if (bits == 8) {
        row[s] = static_cast<uint8_t>(value);
        return;
    }
    const size_t bit = s * static_cast<size_t>(bits);
    const int shift = 8 - bits - static_cast<int>(bit % 8);
    const unsigned mask = ((1u << bits) - 1) << shift;
    row[bit / 8] = static_cast<uint8_t>((row[bit / 8] & ~mask) | ((value << shift) & mask));
}

// TIFF horizontal differencing: each sample minus the same component of the
// pixel before, modulo 2^bits; the padding bits of a row stay as they are.
Bytes TiffEncode(const Bytes& image, size_t rowBytes, size_t samplesPerRow, int colors, int bits) {
    Bytes out = image;
    const unsigned modulus = 1u << bits;
    for (size_t r = 0; r < image.size() / rowBytes; ++r) {
        const uint8_t* in = image.data() + r * rowBytes;
        uint8_t* row = out.data() + r * rowBytes;
        for (size_t s = static_cast<size_t>(colors); s < samplesPerRow; ++s) {
            const unsigned difference =
                (Sample(in, s, bits) + modulus - Sample(in, s - static_cast<size_t>(colors), bits)) % modulus;
            PutSample(row, s, bits, difference);
        }
    }
    return out;
}

// ---------------------------------------------------------------------------
// Inflating

TEST(CPdfFlateStreamTest, InflatesWithoutPredictor) {
    const Bytes text = ToBytes("The quick brown fox jumps over the lazy dog");
    EXPECT_EQ(ReadAll(*Flate(Deflated(text))), text);
}

TEST(CPdfFlateStreamTest, LargeOutputComesOutWhole) {
    // Far more output than input: what inflate holds after the input is used
    // up must still come out.
    const Bytes zeros(300000, 0);
    const std::string compressed = Deflated(zeros, 9);
    ASSERT_LT(compressed.size(), 1024u);
    EXPECT_EQ(ReadAll(*Flate(compressed)), zeros);

    const Bytes noise = Noise(100000, 7);
    EXPECT_EQ(ReadAll(*Flate(Deflated(noise))), noise);
}

// Data whose checksum is missing: the last bytes of output are still held by
// inflate when the input runs out, and they must come out too.
TEST(CPdfFlateStreamTest, DataWithoutChecksumStillComesOut) {
    for (const size_t size : {size_t{3100}, size_t{9290}, size_t{300000}}) {
        const Bytes text(size, 'a');
        std::string compressed = Deflated(text, 9);
        compressed.resize(compressed.size() - 4);
        EXPECT_EQ(ReadAll(*Flate(compressed)), text) << size;
    }
}

// InflateAll (libdeflate in one call, zlib where that does not end cleanly)
// ends as reading the stream step by step does: the bytes of data that ends
// cleanly, more than the limit allows, or damage, for data of every kind.
TEST(CPdfFlateStreamTest, InflateAllEndsAsReadingDoes) {
    const Bytes noise = Noise(200000, 5);
    const std::string whole = Deflated(noise);
    std::string noChecksum = whole, cutShort = whole, badChecksum = whole;
    noChecksum.resize(whole.size() - 4);
    cutShort.resize(whole.size() / 2);
    badChecksum.back() = static_cast<char>(badChecksum.back() ^ 1);
    struct Case {
        const char* name;
        std::string data;
        size_t limit;
        CPdfFlateStream::Whole whole;
    };
    const Case cases[] = {
        {"small", Deflated(ToBytes("q 1 0 0 1 5 5 cm Q")), 1000, CPdfFlateStream::Whole::Ended},
        {"beyond the first room", whole, 1 << 20, CPdfFlateStream::Whole::Ended},
        {"just within the limit", whole, noise.size(), CPdfFlateStream::Whole::Ended},
        {"beyond the limit", whole, noise.size() - 1, CPdfFlateStream::Whole::BeyondLimit},
        {"without checksum", noChecksum, 1 << 20, CPdfFlateStream::Whole::Unsure},
        {"cut short", cutShort, 1 << 20, CPdfFlateStream::Whole::Unsure},
        {"bad checksum", badChecksum, 1 << 20, CPdfFlateStream::Whole::Unsure},
        {"empty", "", 1000, CPdfFlateStream::Whole::Unsure},
    };
    InflateBuffer buffer;
    for (const Case& c : cases) {
        size_t length = 0;
        EXPECT_EQ(Flate(c.data)->InflateAll(buffer, c.limit, length), c.whole) << c.name;
        if (c.whole == CPdfFlateStream::Whole::Ended) {
            const Bytes read = ReadAll(*Flate(c.data));
            EXPECT_TRUE(length == read.size() && std::equal(read.begin(), read.end(), buffer.bytes.begin())) << c.name;
        }
    }
}

TEST(CPdfFlateStreamTest, DataCutShortEndsAfterWhatCouldBeInflated) {
    const Bytes noise = Noise(20000, 3);
    std::string compressed = Deflated(noise);
    compressed.resize(compressed.size() / 2);
    const Bytes out = ReadAll(*Flate(compressed));
    EXPECT_GT(out.size(), 0u);
    EXPECT_LT(out.size(), noise.size());
    EXPECT_TRUE(std::equal(out.begin(), out.end(), noise.begin()));
}

TEST(CPdfFlateStreamTest, CorruptDataEndsTheStream) {
    const Bytes text = ToBytes(std::string(5000, 'a') + "tail");
    std::string badChecksum = Deflated(text);
    badChecksum.back() = static_cast<char>(badChecksum.back() ^ 0x55);
    std::string badBlock = Deflated(Noise(5000, 1));
    badBlock[2] = static_cast<char>(0xFF);  // reserved block type

    struct Case {
        const char* name;
        std::string data;
    };
    const Case cases[] = {
        {"empty", ""},
        {"not zlib", "hello, world"},
        {"header only", "x\x9c"},
        {"garbage after header", std::string("x\x9c") + std::string(40, '\xff')},
        {"bad block type", badBlock},
        {"bad checksum", badChecksum},
    };
    for (const Case& c : cases) {
        const auto stream = Flate(c.data);
        const Bytes out = ReadAll(*stream);
        // Whatever comes out is a prefix of the real data, never made up.
        if (c.name == std::string("bad checksum")) {
            EXPECT_LT(out.size(), text.size()) << c.name;
            EXPECT_TRUE(std::equal(out.begin(), out.end(), text.begin())) << c.name;
        } else {
            EXPECT_TRUE(out.empty()) << c.name;
        }
        EXPECT_EQ(stream->GetChar(), -1) << c.name;
        EXPECT_EQ(stream->LookChar(), -1) << c.name;
    }
}

// The stream's range bounds the compressed bytes, and a range that reaches far
// beyond the end of the file only reads what is there.
TEST(CPdfFlateStreamTest, CompressedBytesComeFromTheRangeOnly) {
    const Bytes text = ToBytes("range bound data");
    const std::string compressed = Deflated(text);
    const std::string file = "xx" + compressed + "trailing junk";
    const int64_t size = static_cast<int64_t>(compressed.size());

    EXPECT_EQ(ReadAll(*std::make_shared<CPdfFlateStream>(RawStream(file, 2, size), 1, 1, 1, 8)), text);
    for (const int64_t length :
         {int64_t{1} << 40, std::numeric_limits<int64_t>::max() - 1, std::numeric_limits<int64_t>::max()}) {
        EXPECT_EQ(ReadAll(*std::make_shared<CPdfFlateStream>(RawStream(file, 2, length), 1, 1, 1, 8)), text) << length;
    }
    // Length 0 gives no compressed bytes at all.
    EXPECT_TRUE(ReadAll(*std::make_shared<CPdfFlateStream>(RawStream(file, 2, 0), 1, 1, 1, 8)).empty());
    // A range cut inside the data ends like data cut short.
    const Bytes cut = ReadAll(*std::make_shared<CPdfFlateStream>(RawStream(file, 2, 3), 1, 1, 1, 8));
    EXPECT_TRUE(std::equal(cut.begin(), cut.end(), text.begin()));
}

TEST(CPdfFlateStreamTest, StreamQueriesGoToTheRawStream) {
    const std::string compressed = Deflated(ToBytes("abc"));
    auto raw = RawStream("12" + compressed, 2, static_cast<int64_t>(compressed.size()));
    CPdfFlateStream flate(raw, 1, 1, 1, 8);
    EXPECT_EQ(flate.GetStart(), 2);
    EXPECT_EQ(flate.GetLength(), static_cast<int64_t>(compressed.size()));
    EXPECT_EQ(flate.GetDict(), nullptr);
    EXPECT_EQ(flate.MakeSubStream(0, 1, CPdfObject::Null()), nullptr);
}

TEST(CPdfFlateStreamTest, ReadInBlocksGivesTheSameBytes) {
    const Bytes noise = Noise(5000, 11);
    const auto stream = Flate(Deflated(noise));
    Bytes out;
    uint8_t block[333];
    for (size_t n = stream->Read(block, sizeof block); n > 0; n = stream->Read(block, sizeof block))
        out.insert(out.end(), block, block + n);
    EXPECT_EQ(out, noise);
}

TEST(CPdfFlateStreamTest, RawBytesOnlyFromAFlateStream) {
    const Bytes text = ToBytes("raw");
    EXPECT_EQ(Flate(Deflated(text))->GetRawChar(), 'r');
    try {
        RawStream("abc", 0, 0)->GetRawChar();
        FAIL() << "no exception";
    } catch (const CPdfException& e) {
        EXPECT_STREQ(e.GetMessage(), "Internal: called GetRawChar() on non-predictor stream");
    }
}

// ---------------------------------------------------------------------------
// PNG predictors

struct PngCase {
    const char* name;
    std::vector<int> types;
    int32_t columns;
    int32_t colors;
    int32_t bits;
};

void PrintTo(const PngCase& c, std::ostream* os) { *os << c.name; }

class PngPredictorTest : public ::testing::TestWithParam<PngCase> {};

TEST_P(PngPredictorTest, RoundTrip) {
    const PngCase& c = GetParam();
    const size_t pixelBytes = static_cast<size_t>((c.colors * c.bits + 7) / 8);
    const size_t rowBytes = static_cast<size_t>((c.columns * c.colors * c.bits + 7) / 8);
    const Bytes image = Noise(rowBytes * 9, 5);
    const std::string compressed = Deflated(PngEncode(image, rowBytes, pixelBytes, c.types));
    // Every predictor from 10 up lets each row name its own filter.
    for (const int32_t predictor : {10, 12, 15}) {
        EXPECT_EQ(ReadAll(*Flate(compressed, predictor, c.columns, c.colors, c.bits)), image) << predictor;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Filters, PngPredictorTest,
    ::testing::Values(PngCase{"None", {0}, 7, 1, 8}, PngCase{"Sub", {1}, 7, 1, 8}, PngCase{"Up", {2}, 7, 1, 8},
                      PngCase{"Average", {3}, 7, 1, 8}, PngCase{"Paeth", {4}, 7, 1, 8}, PngCase{"SubRgb", {1}, 5, 3, 8},
                      PngCase{"AverageRgb", {3}, 5, 3, 8}, PngCase{"PaethRgb", {4}, 5, 3, 8},
                      PngCase{"EveryRowItsOwn", {0, 1, 2, 3, 4}, 6, 2, 8}, PngCase{"Paeth16Bits", {4, 3, 1}, 4, 1, 16},
                      PngCase{"Sub16BitsRgb", {1, 2}, 3, 3, 16}, PngCase{"Paeth1Bit", {4, 1, 3}, 20, 1, 1},
                      PngCase{"Average4Bits", {3, 4}, 9, 1, 4}),
    CaseName<PngCase>);

// A cross-reference stream with /W [1 2 2]: each row is a type byte and five
// data bytes, and five bytes come out; the first row's Up adds zeros.
TEST(PngPredictorTest, CrossReferenceRows) {
    const Bytes rows = {2, 1, 0, 0x0A, 0, 0,  //
                        2, 0, 0, 0x0B, 0, 5,  //
                        2, 1, 0, 0x0B, 0, 0xFB};
    const Bytes expected = {1, 0, 0x0A, 0, 0,  //
                            1, 0, 0x15, 0, 5,  //
                            2, 0, 0x20, 0, 0};
    EXPECT_EQ(ReadAll(*Flate(Deflated(rows), 12, 5)), expected);
}

TEST(PngPredictorTest, UnknownRowTypeCopiesTheRow) {
    const Bytes rows = {7, 1, 2, 3, 200, 4, 5, 6};
    EXPECT_EQ(ReadAll(*Flate(Deflated(rows), 12, 3)), (Bytes{1, 2, 3, 4, 5, 6}));
}

TEST(PngPredictorTest, LastRowCutShortIsDropped) {
    const Bytes rows = {0, 1, 2, 3, 0, 4, 5, 6, 0, 7, 8};
    EXPECT_EQ(ReadAll(*Flate(Deflated(rows), 12, 3)), (Bytes{1, 2, 3, 4, 5, 6}));
    // A lone type byte is no row either.
    EXPECT_EQ(ReadAll(*Flate(Deflated(Bytes{1, 9, 9, 9, 2}), 12, 3)), (Bytes{9, 18, 27}));
}

TEST(PngPredictorTest, LookCharThenGetCharGiveTheSameByte) {
    const Bytes rows = {1, 1, 1, 1, 2, 1, 1, 1};
    const auto stream = Flate(Deflated(rows), 12, 3);
    Bytes out;
    for (;;) {
        const int looked = stream->LookChar();
        EXPECT_EQ(stream->LookChar(), looked);
        const int got = stream->GetChar();
        ASSERT_EQ(got, looked);
        if (got < 0) break;
        out.push_back(static_cast<uint8_t>(got));
    }
    EXPECT_EQ(out, (Bytes{1, 2, 3, 2, 3, 4}));
}

// ---------------------------------------------------------------------------
// TIFF predictor

struct TiffCase {
    int32_t bits;
    int32_t colors;
};

void PrintTo(const TiffCase& c, std::ostream* os) { *os << c.bits << " bits, " << c.colors << " colours"; }

class TiffPredictorTest : public ::testing::TestWithParam<TiffCase> {};

TEST_P(TiffPredictorTest, RoundTrip) {
    const TiffCase& c = GetParam();
    const int32_t columns = 5;  // rows of 1, 2 and 4 bits end with padding bits
    const size_t samples = static_cast<size_t>(columns * c.colors);
    const size_t rowBytes = (samples * static_cast<size_t>(c.bits) + 7) / 8;
    const Bytes image = Noise(rowBytes * 6, 9);
    const Bytes encoded = TiffEncode(image, rowBytes, samples, c.colors, c.bits);
    ASSERT_NE(encoded, image);
    EXPECT_EQ(ReadAll(*Flate(Deflated(encoded), 2, columns, c.colors, c.bits)), image);
}

INSTANTIATE_TEST_SUITE_P(Depths, TiffPredictorTest,
                         ::testing::Values(TiffCase{1, 1}, TiffCase{1, 3}, TiffCase{2, 1}, TiffCase{2, 3},
                                           TiffCase{4, 1}, TiffCase{4, 3}, TiffCase{8, 1}, TiffCase{8, 3},
                                           TiffCase{16, 1}, TiffCase{16, 3}),
                         [](const ::testing::TestParamInfo<TiffCase>& param) {
                             return std::to_string(param.param.bits) + "Bits" + std::to_string(param.param.colors) +
                                    "Colours";
                         });

TEST(TiffPredictorTest, KnownRows) {
    struct Case {
        const char* name;
        int32_t columns;
        int32_t colors;
        int32_t bits;
        Bytes stored;
        Bytes decoded;
    };
    const Case cases[] = {
        {"8 bits", 3, 1, 8, {1, 1, 1, 10, 250, 10}, {1, 2, 3, 10, 4, 14}},
        {"8 bits, 2 colours", 2, 2, 8, {1, 2, 3, 4}, {1, 2, 4, 6}},
        {"4 bits, padding kept", 3, 1, 4, {0x11, 0x1F}, {0x12, 0x3F}},
        {"2 bits wrap", 2, 1, 2, {0xD0}, {0xC0}},
        {"1 bit", 8, 1, 1, {0xFF}, {0xAA}},
        {"16 bits wrap", 2, 1, 16, {0xFF, 0xFF, 0x00, 0x02}, {0xFF, 0xFF, 0x00, 0x01}},
        {"16 bits carry", 2, 1, 16, {0x00, 0xFF, 0x00, 0x01}, {0x00, 0xFF, 0x01, 0x00}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ReadAll(*Flate(Deflated(c.stored), 2, c.columns, c.colors, c.bits)), c.decoded) << c.name;
    }
}

// Predictor values that are neither 1, 2 nor 10 and up only cut the data into
// rows: the bytes pass unchanged, a partial last row is dropped.
TEST(FlatePredictorTest, OtherPredictorsOnlyCutRows) {
    const Bytes data = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    for (const int32_t predictor : {0, -1, 3, 9, std::numeric_limits<int32_t>::min()}) {
        EXPECT_EQ(ReadAll(*Flate(Deflated(data), predictor, 4)), (Bytes{1, 2, 3, 4, 5, 6, 7, 8})) << predictor;
    }
    EXPECT_EQ(ReadAll(*Flate(Deflated(data), 1, 4)), data);
}

// Parameters that cannot describe a row end the stream at once.
TEST(FlatePredictorTest, InvalidParametersEndTheStream) {
    struct Case {
        int32_t columns;
        int32_t colors;
        int32_t bits;
    };
    const int32_t big = std::numeric_limits<int32_t>::max();
    const Case cases[] = {
        {0, 1, 8},
        {-1, 1, 8},
        {1, 0, 8},
        {1, -3, 8},
        {1, 1, 0},
        {1, 1, -8},
        {1, 1, 3},
        {1, 1, 32},
        {std::numeric_limits<int32_t>::min(), 1, 8},
        // Rows too long to hold, some long enough to overflow a naive size.
        {big, 1, 8},
        {big, big, 16},
        {big, big, 1},
        {1, big, 16},
    };
    const std::string compressed = Deflated(Bytes(64, 1));
    for (const int32_t predictor : {2, 12}) {
        for (const Case& c : cases) {
            const auto stream = Flate(compressed, predictor, c.columns, c.colors, c.bits);
            EXPECT_EQ(stream->LookChar(), -1) << predictor << ": " << c.columns << " " << c.colors << " " << c.bits;
            EXPECT_EQ(stream->GetChar(), -1);
        }
    }
    // Without a predictor the same parameters do not matter.
    for (const Case& c : cases) EXPECT_EQ(ReadAll(*Flate(compressed, 1, c.columns, c.colors, c.bits)).size(), 64u);
}

TEST(FlatePredictorTest, ThroughALimitedView) {
    const Bytes rows = {2, 1, 2, 3, 2, 1, 1, 1, 2, 1, 1, 1};
    auto view = std::make_shared<CPdfEmbedStream>(Flate(Deflated(rows), 12, 3), CPdfObject::Null(), true, 5);
    EXPECT_EQ(ReadAll(*view), (Bytes{1, 2, 3, 2, 3}));
}

}  // namespace
