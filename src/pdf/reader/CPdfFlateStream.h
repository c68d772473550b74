#pragma once

#include <zlib.h>

#include <array>
#include <memory>
#include <optional>
#include <vector>

#include "pdf/object/CPdfStream.h"

class CPdfFlateStream;
struct libdeflate_decompressor;

// The room CPdfFlateStream::InflateAll inflates into, and libdeflate's
// decompressor, kept from one stream to the next: one for each thread that
// inflates. The size of `bytes` is room, not data.
struct InflateBuffer {
    struct FreeDecompressor {
        void operator()(libdeflate_decompressor* handle) const;
    };
    std::vector<uint8_t> bytes;
    std::unique_ptr<libdeflate_decompressor, FreeDecompressor> decompressor;
};

// Undoes the row predictors of a flate stream: the PNG filters (predictor 10
// and above, each row naming its own filter) and TIFF horizontal differencing
// (predictor 2). Other values only cut the data into rows.
class FlatePredictor {
public:
    FlatePredictor(CPdfFlateStream& source, int32_t predictor, int32_t columns, int32_t colors, int32_t bits);

    // False when the parameters cannot describe rows; the stream then ends at once.
    bool valid() const { return valid_; }
    // Decodes the next whole row; false at the end of the data.
    bool DecodeRow();
    const uint8_t* RowBegin() const { return row_.data() + pixelBytes_; }
    const uint8_t* RowEnd() const { return row_.data() + row_.size(); }

private:
    void UndoTiff();

    CPdfFlateStream& source_;
    int32_t predictor_;
    int32_t components_;
    int32_t bits_;
    int64_t valuesPerRow_ = 0;
    size_t pixelBytes_ = 0;
    bool valid_ = false;
    std::vector<uint8_t> row_;
    std::vector<uint8_t> previous_;
};

// The decoded bytes of a FlateDecode stream. The compressed bytes are taken
// from the underlying stream (GetLength bytes of it, and never beyond its end)
// as inflate needs them; reading runs zlib's inflate in 1024-byte steps.
// InflateAll inflates the whole data in one call of libdeflate, several
// times as fast, and goes on with zlib where that does not end cleanly.
class CPdfFlateStream : public CPdfStream {
public:
    CPdfFlateStream(std::shared_ptr<CPdfStream> underlying, int32_t predictor, int32_t columns, int32_t colors,
                    int32_t bits);
    ~CPdfFlateStream() override;

    void Reset() override {}
    int GetRawChar() override;
    CPdfDictionary* GetDict() override { return underlying_->GetDict(); }
    int64_t GetPos() override { return underlying_->GetPos(); }
    void SetPos(int64_t, SeekOrigin) override {}
    int64_t GetStart() override { return underlying_->GetStart(); }
    void MoveStart(int64_t delta) override { underlying_->MoveStart(delta); }
    int64_t GetLength() override { return underlying_->GetLength(); }
    std::shared_ptr<CPdfStream> MakeSubStream(int64_t, int64_t, const CPdfObject&) override { return nullptr; }
    bool IsDamaged() const override { return damaged_; }

    // Copies up to `count` inflated bytes (before any predictor).
    size_t ReadRaw(uint8_t* buffer, size_t count);
    // The stream the compressed bytes come from.
    const std::shared_ptr<CPdfStream>& underlying() const { return underlying_; }

    // How InflateAll ended.
    enum class Whole {
        // The data ended cleanly after `length` bytes, at most `limit`.
        Ended,
        // The data holds more than `limit` bytes, and reading would deliver
        // the first `limit` of them.
        BeyondLimit,
        // Damaged or cut-short data: only reading it shows what it delivers.
        Unsure,
    };
    // True for a stream without a predictor that has not been read.
    bool CanInflateAll() const { return !predictor_ && !started_ && !finished_; }
    // Inflates such a stream into `buffer.bytes` from its start, growing them
    // as needed (only the first `length` bytes are the stream's). Reading the
    // stream after this delivers nothing.
    Whole InflateAll(InflateBuffer& buffer, size_t limit, size_t& length);

protected:
    bool Fill() override;

private:
    static constexpr size_t kStep = 1024;

    bool RefillRaw();
    bool FeedInput();
    // InflateAll in one call of libdeflate, into room growing up to `cap`
    // bytes; nothing when the data is damaged, reaches beyond `cap` or is too
    // long to be held at once (InflateAll then takes zlib's way, from the
    // compressed bytes read so far).
    std::optional<Whole> InflateInOneCall(InflateBuffer& buffer, size_t limit, size_t cap, size_t& length);

    std::shared_ptr<CPdfStream> underlying_;
    std::unique_ptr<FlatePredictor> predictor_;
    z_stream zlib_{};
    bool started_ = false;
    bool finished_ = false;
    // Inflate ended without reaching the end of the compressed data.
    bool damaged_ = false;
    int64_t inputLeft_ = 0;
    std::vector<uint8_t> input_;
    std::array<uint8_t, kStep> output_{};
    size_t rawRead_ = 0;
    size_t rawEnd_ = 0;
};
