#include "pdf/reader/CPdfFlateStream.h"

#include <libdeflate.h>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "base/CPdfException.h"

namespace {

// Rows longer than this are refused: no real image or cross-reference stream
// comes near it, and the row buffers are allocated up front.
constexpr int64_t kMaxRowLength = 1 << 24;
constexpr size_t kInputChunk = 64 * 1024;
// InflateAll's buffer holds at least this much once it has grown.
constexpr size_t kFirstWholeSize = 64 * 1024;
// Compressed data up to this size is inflated in one call (libdeflate) when
// the buffer can hold all of its output; larger data a piece at a time (zlib).
constexpr size_t kMaxOneCallInput = 16u << 20;

// zlib fails to set up (inflateInit, or the window inflate allocates on its
// first call) for want of memory, never for the data: that is no damage.
constexpr const char* kOutOfMemory = "Out of memory while decompressing";

void InflateInit(z_stream& zlib) {
    if (inflateInit(&zlib) != Z_OK) throw CPdfException(kOutOfMemory);
}

int Inflate(z_stream& zlib, int flush) {
    const int result = inflate(&zlib, flush);
    if (result == Z_MEM_ERROR) throw CPdfException(kOutOfMemory);
    return result;
}

}  // namespace

FlatePredictor::FlatePredictor(CPdfFlateStream& source, int32_t predictor, int32_t columns, int32_t colors,
                               int32_t bits)
    : source_(source), predictor_(predictor), components_(colors), bits_(bits) {
    const bool bitsOk = bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16;
    if (columns <= 0 || colors <= 0 || !bitsOk) return;
    valuesPerRow_ = int64_t{columns} * colors;
    // Even at one bit a value, more values than this make too long a row; the
    // check keeps the bit count below from overflowing.
    if (valuesPerRow_ > kMaxRowLength * 8) return;
    const int64_t pixelBytes = (int64_t{colors} * bits + 7) / 8;
    const int64_t rowLength = pixelBytes + (valuesPerRow_ * bits + 7) / 8;
    if (rowLength > kMaxRowLength) return;
    pixelBytes_ = static_cast<size_t>(pixelBytes);
    row_.assign(static_cast<size_t>(rowLength), 0);
    previous_.assign(static_cast<size_t>(rowLength), 0);
    valid_ = true;
}

bool FlatePredictor::DecodeRow() {
    if (!valid_) return false;
    int type = predictor_;
    if (predictor_ >= 10) {
        const int c = source_.GetRawChar();
        if (c < 0) return false;
        type = c + 10;
    }
    // The data bytes of the row, as stored; a partial row is dropped.
    const size_t dataLength = row_.size() - pixelBytes_;
    uint8_t* data = row_.data() + pixelBytes_;
    if (source_.ReadRaw(data, dataLength) != dataLength) return false;

    const size_t pb = pixelBytes_;
    uint8_t* row = row_.data();
    const uint8_t* up = previous_.data();
    switch (type) {
        case 11:  // Sub
            for (size_t i = pb; i < row_.size(); ++i) row[i] = static_cast<uint8_t>(row[i] + row[i - pb]);
            break;
        case 12:  // Up
            for (size_t i = pb; i < row_.size(); ++i) row[i] = static_cast<uint8_t>(row[i] + up[i]);
            break;
        case 13:  // Average
            for (size_t i = pb; i < row_.size(); ++i) row[i] = static_cast<uint8_t>(row[i] + (row[i - pb] + up[i]) / 2);
            break;
        case 14:  // Paeth
            for (size_t i = pb; i < row_.size(); ++i) {
                const int left = row[i - pb];
                const int above = up[i];
                const int upperLeft = up[i - pb];
                const int p = left + above - upperLeft;
                const int pa = std::abs(p - left);
                const int pbDist = std::abs(p - above);
                const int pc = std::abs(p - upperLeft);
                int predicted = upperLeft;
                if (pa <= pbDist && pa <= pc) {
                    predicted = left;
                } else if (pbDist <= pc) {
                    predicted = above;
                }
                row[i] = static_cast<uint8_t>(row[i] + predicted);
            }
            break;
        default:  // None, and every other type: the bytes as stored
            break;
    }
    if (predictor_ == 2) UndoTiff();
    std::memcpy(previous_.data(), row_.data(), row_.size());
    return true;
}

void FlatePredictor::UndoTiff() {
    uint8_t* data = row_.data() + pixelBytes_;
    if (bits_ == 8) {
        for (size_t i = pixelBytes_; i < row_.size(); ++i)
            row_[i] = static_cast<uint8_t>(row_[i] + row_[i - pixelBytes_]);
        return;
    }
    if (bits_ == 16) {
        const size_t samples = static_cast<size_t>(valuesPerRow_);
        const size_t comps = static_cast<size_t>(components_);
        for (size_t s = comps; s < samples; ++s) {
            const unsigned value = (data[2 * s] << 8) | data[2 * s + 1];
            const unsigned before = (data[2 * (s - comps)] << 8) | data[2 * (s - comps) + 1];
            const unsigned sum = (value + before) & 0xFFFF;
            data[2 * s] = static_cast<uint8_t>(sum >> 8);
            data[2 * s + 1] = static_cast<uint8_t>(sum & 0xFF);
        }
        return;
    }
    // 1, 2 or 4 bits: samples packed most significant bit first.
    const unsigned bits = static_cast<unsigned>(bits_);
    const unsigned mask = (1u << bits) - 1;
    const size_t samples = static_cast<size_t>(valuesPerRow_);
    const size_t comps = static_cast<size_t>(components_);
    auto sampleAt = [&](size_t s) {
        const size_t bit = s * bits;
        const unsigned shift = 8 - bits - static_cast<unsigned>(bit % 8);
        return (data[bit / 8] >> shift) & mask;
    };
    for (size_t s = comps; s < samples; ++s) {
        const unsigned sum = (sampleAt(s) + sampleAt(s - comps)) & mask;
        const size_t bit = s * bits;
        const unsigned shift = 8 - bits - static_cast<unsigned>(bit % 8);
        uint8_t& byte = data[bit / 8];
        byte = static_cast<uint8_t>((byte & ~(mask << shift)) | (sum << shift));
    }
}

CPdfFlateStream::CPdfFlateStream(std::shared_ptr<CPdfStream> underlying, int32_t predictor, int32_t columns,
                                 int32_t colors, int32_t bits)
    : underlying_(std::move(underlying)) {
    inputLeft_ = std::max<int64_t>(underlying_->GetLength(), 0);
    if (predictor != 1) predictor_ = std::make_unique<FlatePredictor>(*this, predictor, columns, colors, bits);
}

CPdfFlateStream::~CPdfFlateStream() {
    if (started_) inflateEnd(&zlib_);
}

bool CPdfFlateStream::FeedInput() {
    if (inputLeft_ <= 0) return false;
    const auto want = static_cast<size_t>(std::min<int64_t>(inputLeft_, static_cast<int64_t>(kInputChunk)));
    input_.resize(want);
    const size_t got = underlying_->Read(input_.data(), want);
    if (got == 0) {
        inputLeft_ = 0;
        return false;
    }
    inputLeft_ -= static_cast<int64_t>(got);
    zlib_.next_in = input_.data();
    zlib_.avail_in = static_cast<uInt>(got);
    return true;
}

// One step: up to 1024 inflated bytes. A step that meets corrupt data ends the
// stream and its bytes are dropped; data cut short ends it after the bytes
// that could be inflated.
bool CPdfFlateStream::RefillRaw() {
    rawRead_ = rawEnd_ = 0;
    if (finished_) return false;
    if (!started_) {
        started_ = true;
        InflateInit(zlib_);
    }
    zlib_.next_out = output_.data();
    zlib_.avail_out = static_cast<uInt>(output_.size());
    while (zlib_.avail_out > 0) {
        if (zlib_.avail_in == 0 && !FeedInput()) {
            // No more input: whatever inflate still holds comes out now.
            const int result = Inflate(zlib_, Z_SYNC_FLUSH);
            if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) {
                finished_ = damaged_ = true;
                return false;
            }
            if (result != Z_OK || zlib_.avail_out > 0) {
                finished_ = true;
                damaged_ = result != Z_STREAM_END;
            }
            break;
        }
        const int result = Inflate(zlib_, Z_NO_FLUSH);
        if (result == Z_STREAM_END) {
            finished_ = true;
            break;
        }
        if (result != Z_OK && result != Z_BUF_ERROR) {
            finished_ = damaged_ = true;
            return false;
        }
    }
    rawEnd_ = output_.size() - zlib_.avail_out;
    if (rawEnd_ == 0) finished_ = true;
    return rawEnd_ > 0;
}

int CPdfFlateStream::GetRawChar() {
    if (rawRead_ == rawEnd_ && !RefillRaw()) return -1;
    return output_[rawRead_++];
}

size_t CPdfFlateStream::ReadRaw(uint8_t* buffer, size_t count) {
    size_t done = 0;
    while (done < count) {
        if (rawRead_ == rawEnd_ && !RefillRaw()) break;
        const size_t n = std::min(rawEnd_ - rawRead_, count - done);
        std::memcpy(buffer + done, output_.data() + rawRead_, n);
        rawRead_ += n;
        done += n;
    }
    return done;
}

void InflateBuffer::FreeDecompressor::operator()(libdeflate_decompressor* handle) const {
    libdeflate_free_decompressor(handle);
}

CPdfFlateStream::Whole CPdfFlateStream::InflateAll(InflateBuffer& inflateBuffer, size_t limit, size_t& length) {
    length = 0;
    if (!CanInflateAll()) return Whole::Unsure;
    // Reading finds damage a step at a time and drops the step it is found
    // in: the first `limit` bytes arrive undamaged once inflate has gone past
    // the end of the step holding the last of them, into the next step.
    const size_t steps = limit / kStep + (limit % kStep != 0 ? 1 : 0);
    const size_t cap = steps >= (SIZE_MAX - 1) / kStep ? SIZE_MAX : steps * kStep + 1;
    finished_ = true;
    if (const std::optional<Whole> whole = InflateInOneCall(inflateBuffer, limit, cap, length)) return *whole;
    std::vector<uint8_t>& buffer = inflateBuffer.bytes;
    started_ = true;
    InflateInit(zlib_);
    if (!input_.empty()) {
        // What the call above read, and nothing more to come.
        zlib_.next_in = input_.data();
        zlib_.avail_in = static_cast<uInt>(input_.size());
    }
    length = 0;
    for (;;) {
        if (length == buffer.size()) {
            if (buffer.size() >= cap) return Whole::BeyondLimit;
            buffer.resize(std::min(cap, std::max(kFirstWholeSize, buffer.size() * 2)));
        }
        const size_t room = std::min<size_t>(std::min(buffer.size(), cap) - length, UINT32_MAX);
        zlib_.next_out = buffer.data() + length;
        zlib_.avail_out = static_cast<uInt>(room);
        if (zlib_.avail_in == 0) FeedInput();
        // Z_FINISH: inflate keeps no window of its own when the data ends in
        // this call.
        const int result = Inflate(zlib_, Z_FINISH);
        length += room - zlib_.avail_out;
        if (result == Z_STREAM_END) return length <= limit ? Whole::Ended : Whole::BeyondLimit;
        // Room left after a call that did not end: the input ran out (it is
        // cut short when there is no more), anything else is damage.
        const bool stuck = zlib_.avail_out > 0 && (zlib_.avail_in > 0 || inputLeft_ <= 0);
        if ((result != Z_OK && result != Z_BUF_ERROR) || stuck) {
            damaged_ = true;
            return Whole::Unsure;
        }
        if (length >= cap) return Whole::BeyondLimit;
    }
}

std::optional<CPdfFlateStream::Whole> CPdfFlateStream::InflateInOneCall(InflateBuffer& inflateBuffer, size_t limit,
                                                                        size_t cap, size_t& length) {
    if (inputLeft_ <= 0 || inputLeft_ > static_cast<int64_t>(kMaxOneCallInput)) return std::nullopt;
    // All of the compressed data, read once: zlib goes on from it when this
    // way does not end.
    input_.resize(static_cast<size_t>(inputLeft_));
    input_.resize(underlying_->Read(input_.data(), input_.size()));
    inputLeft_ = 0;
    if (!inflateBuffer.decompressor) {
        inflateBuffer.decompressor.reset(libdeflate_alloc_decompressor());
        if (!inflateBuffer.decompressor) throw CPdfException(kOutOfMemory);
    }
    std::vector<uint8_t>& buffer = inflateBuffer.bytes;
    // The buffer keeps its size from call to call; it grows fourfold while
    // the data does not fit, as far as `cap`.
    size_t room = std::min(cap, std::max({buffer.size(), kFirstWholeSize, input_.size() * 4}));
    for (;;) {
        if (buffer.size() < room) {
            // The old room goes before the new one is taken.
            std::vector<uint8_t>().swap(buffer);
            buffer.resize(room);
        }
        size_t produced = 0;
        const libdeflate_result result = libdeflate_zlib_decompress_ex(
            inflateBuffer.decompressor.get(), input_.data(), input_.size(), buffer.data(), room, nullptr, &produced);
        if (result == LIBDEFLATE_SUCCESS) {
            length = produced;
            return length <= limit ? Whole::Ended : Whole::BeyondLimit;
        }
        // Damaged data, or data beyond `cap`: only zlib tells how far it
        // goes undamaged.
        if (result != LIBDEFLATE_INSUFFICIENT_SPACE || room >= cap) return std::nullopt;
        room = room > cap / 4 ? cap : room * 4;
    }
}

bool CPdfFlateStream::Fill() {
    if (!predictor_) {
        if (rawRead_ == rawEnd_ && !RefillRaw()) return false;
        read_ = output_.data() + rawRead_;
        end_ = output_.data() + rawEnd_;
        rawRead_ = rawEnd_;
        return true;
    }
    if (!predictor_->DecodeRow()) return false;
    read_ = predictor_->RowBegin();
    end_ = predictor_->RowEnd();
    return read_ != end_;
}
