// The flate decoder with its row predictors. The first bytes choose the
// decode parameters, how the compressed bytes are framed in the file and how
// the output is read; the rest is the compressed data, or (by a flag) data
// that is compressed here first so that every predictor path sees valid rows.
// Whenever the compressed data is one complete zlib stream, the output is
// compared with a plain reference decoder.
//
// Header (12 bytes):
//   0      /Predictor, one of kPredictors
//   1      flags: bit 0 /Columns from bytes 2-5 (else byte 2), bit 1 /Colors
//          from bytes 6-9 (else byte 6 modulo 5), bit 2 compress the rest here,
//          bits 3-4 /Length (exact, far beyond the end, the largest integer,
//          0), bit 5 data starts at offset 1, bits 6-7 how the output is read
//          (GetChar, Read in chunks, LookChar and GetChar, through a limited
//          view)
//   2-5    /Columns (int32, little endian)
//   6-9    /Colors (int32, little endian)
//   10     /BitsPerComponent, one of kBits
//   11     chunk size or view limit

#include <zlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/CByteSource.h"
#include "pdf/object/CPdfDictionary.h"
#include "pdf/object/CPdfObject.h"
#include "pdf/reader/CPdfEmbedStream.h"
#include "pdf/reader/CPdfFileStream.h"
#include "pdf/object/CPdfStream.h"
#include "pdf/reader/Filters.h"

namespace {

constexpr size_t kHeader = 12;
constexpr size_t kMaxOutput = 1 << 21;
constexpr size_t kMaxReference = 1 << 22;
constexpr int64_t kMaxRowLength = 1 << 24;

constexpr int32_t kPredictors[16] = {1, 2,  10, 11, 12, 13, 14,  15,
                                     0, -1, 3,  9,  12, 2,  255, std::numeric_limits<int32_t>::min()};
constexpr int32_t kBits[16] = {1, 2, 4, 8, 16, 8, 8, 1, 0, 3, -1, 32, 7, 2, 4, 16};

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

int32_t Int32At(const uint8_t* p) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | p[i];
    return static_cast<int32_t>(value);
}

std::string Compress(const uint8_t* data, size_t size) {
    uLongf length = compressBound(static_cast<uLong>(size));
    std::string out(length, '\0');
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &length, data, static_cast<uLong>(size), 6) != Z_OK) return {};
    out.resize(length);
    return out;
}

// The inflated bytes when `data` begins with one complete zlib stream.
std::optional<std::vector<uint8_t>> InflateWhole(const std::string& data) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return std::nullopt;
    std::vector<uint8_t> out;
    uint8_t chunk[4096];
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    int result = Z_OK;
    while (result == Z_OK && out.size() <= kMaxReference) {
        z.next_out = chunk;
        z.avail_out = sizeof chunk;
        result = inflate(&z, Z_NO_FLUSH);
        out.insert(out.end(), chunk, chunk + (sizeof chunk - z.avail_out));
    }
    inflateEnd(&z);
    if (result != Z_STREAM_END || out.size() > kMaxReference) return std::nullopt;
    return out;
}

unsigned SampleAt(const uint8_t* data, size_t s, int bits) {
    if (bits == 16) return (unsigned{data[2 * s]} << 8) | data[2 * s + 1];
    const size_t bit = s * static_cast<size_t>(bits);
    const unsigned shift = 8 - static_cast<unsigned>(bits) - static_cast<unsigned>(bit % 8);
    return (data[bit / 8] >> shift) & ((1u << bits) - 1);
}

void SetSampleAt(uint8_t* data, size_t s, int bits, unsigned value) {
    if (bits == 16) {
        data[2 * s] = static_cast<uint8_t>(value >> 8);
        data[2 * s + 1] = static_cast<uint8_t>(value);
        return;
    }
    const size_t bit = s * static_cast<size_t>(bits);
    const unsigned shift = 8 - static_cast<unsigned>(bits) - static_cast<unsigned>(bit % 8);
    const unsigned mask = ((1u << bits) - 1) << shift;
    data[bit / 8] = static_cast<uint8_t>((data[bit / 8] & ~mask) | ((value << shift) & mask));
}

// The predictor undone the plain way, one byte or sample at a time.
std::vector<uint8_t> Unpredict(const std::vector<uint8_t>& raw, int32_t predictor, int32_t columns, int32_t colors,
                               int32_t bits) {
    if (predictor == 1) return raw;
    const bool bitsOk = bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16;
    if (columns <= 0 || colors <= 0 || !bitsOk) return {};
    const int64_t values = int64_t{columns} * colors;
    const int64_t pixel = (int64_t{colors} * bits + 7) / 8;
    if (values > kMaxRowLength * 8) return {};
    const int64_t dataBytes = (values * bits + 7) / 8;
    if (pixel + dataBytes > kMaxRowLength) return {};
    const size_t pb = static_cast<size_t>(pixel);
    const size_t n = static_cast<size_t>(dataBytes);
    const size_t perRow = n + (predictor >= 10 ? 1 : 0);
    std::vector<uint8_t> out;
    std::vector<uint8_t> previous(pb + n, 0);
    std::vector<uint8_t> row(pb + n, 0);
    for (size_t at = 0; at + perRow <= raw.size(); at += perRow) {
        const uint8_t* in = raw.data() + at;
        int type = predictor;
        if (predictor >= 10) type = 10 + *in++;
        for (size_t i = pb; i < pb + n; ++i) {
            const int c = in[i - pb];
            const int left = row[i - pb];
            const int up = previous[i];
            const int upperLeft = previous[i - pb];
            int value = c;
            if (type == 11) value = c + left;
            if (type == 12) value = c + up;
            if (type == 13) value = c + (left + up) / 2;
            if (type == 14) {
                const int p = left + up - upperLeft;
                const int pa = p > left ? p - left : left - p;
                const int pbd = p > up ? p - up : up - p;
                const int pc = p > upperLeft ? p - upperLeft : upperLeft - p;
                value = c + ((pa <= pbd && pa <= pc) ? left : (pbd <= pc ? up : upperLeft));
            }
            row[i] = static_cast<uint8_t>(value);
        }
        if (predictor == 2) {
            uint8_t* data = row.data() + pb;
            const unsigned modulus = bits == 16 ? 0x10000u : (1u << bits);
            for (size_t s = static_cast<size_t>(colors); s < static_cast<size_t>(values); ++s) {
                const unsigned sum = SampleAt(data, s, bits) + SampleAt(data, s - static_cast<size_t>(colors), bits);
                SetSampleAt(data, s, bits, sum % modulus);
            }
        }
        out.insert(out.end(), row.begin() + static_cast<std::ptrdiff_t>(pb), row.end());
        previous = row;
        if (out.size() > kMaxReference) break;
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kHeader) return 0;
    const uint8_t flags = data[1];
    const int32_t predictor = kPredictors[data[0] & 15];
    const int32_t columns = (flags & 1) ? Int32At(data + 2) : data[2];
    const int32_t colors = (flags & 2) ? Int32At(data + 6) : data[6] % 5;
    const int32_t bits = kBits[data[10] & 15];
    const size_t chunk = data[11] + 1u;
    const int lengthMode = (flags >> 3) & 3;
    const bool offsetOne = (flags & 32) != 0;
    const int readMode = flags >> 6;

    const uint8_t* payload = data + kHeader;
    const size_t payloadSize = size - kHeader;
    const std::string stored =
        (flags & 4) ? Compress(payload, payloadSize) : std::string(reinterpret_cast<const char*>(payload), payloadSize);

    std::string file = offsetOne ? std::string(1, '\0') + stored : stored;
    const auto storedLength = static_cast<int64_t>(stored.size());
    int64_t length = storedLength;
    if (lengthMode == 1) length = storedLength + (int64_t{1} << 40);
    if (lengthMode == 2) length = std::numeric_limits<int64_t>::max();
    if (lengthMode == 3) length = 0;
    // An empty range would mean "to the end of the file"; keep it empty.
    if (lengthMode != 3 && storedLength == 0) length = 0;

    CPdfObject parameters;
    parameters.setDictionary(nullptr);
    parameters.getDict().add("Predictor", CPdfObject::Integer(predictor));
    parameters.getDict().add("Columns", CPdfObject::Integer(columns));
    parameters.getDict().add("Colors", CPdfObject::Integer(colors));
    parameters.getDict().add("BitsPerComponent", CPdfObject::Integer(bits));

    auto source = std::make_shared<CMemoryByteSource>(std::move(file));
    auto raw = std::make_shared<CPdfFileStream>(source, offsetOne ? 1 : 0, length, CPdfObject::Null());
    std::shared_ptr<CPdfStream> decoded = MakeFilter("FlateDecode", raw, parameters);
    Check(decoded != nullptr);
    const size_t limit = chunk * 16;
    if (readMode == 3) decoded = std::make_shared<CPdfEmbedStream>(decoded, CPdfObject::Null(), true, limit);

    std::vector<uint8_t> output;
    uint8_t buffer[256];
    while (output.size() < kMaxOutput) {
        if (readMode == 1) {
            const size_t n = decoded->Read(buffer, chunk);
            output.insert(output.end(), buffer, buffer + n);
            if (n < chunk) break;
            continue;
        }
        int c = 0;
        if (readMode == 2) {
            c = decoded->LookChar();
            Check(decoded->LookChar() == c);
            Check(decoded->GetChar() == c);
        } else {
            c = decoded->GetChar();
        }
        if (c < 0) break;
        Check(c <= 255);
        output.push_back(static_cast<uint8_t>(c));
    }
    if (output.size() < kMaxOutput) {
        // The end stays the end.
        Check(decoded->GetChar() == -1);
        Check(decoded->LookChar() == -1);
    }

    if (length == 0) {
        // Nothing to inflate.
        Check(output.empty());
        return 0;
    }
    const auto inflated = InflateWhole(stored);
    if (!inflated) return 0;
    std::vector<uint8_t> expected = Unpredict(*inflated, predictor, columns, colors, bits);
    if (readMode == 3 && expected.size() > limit) expected.resize(limit);
    // Output read up to the cap is a prefix; below the cap it is everything.
    Check(output.size() <= expected.size());
    Check(std::equal(output.begin(), output.end(), expected.begin()));
    if (output.size() < kMaxOutput) Check(output.size() == expected.size());
    return 0;
}
