#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

class CPdfDictionary;
class CPdfObject;

// Where a position given to SetPos counts from: forwards from the start of
// the file, or backwards from its end.
enum class SeekOrigin { Start, End };

// The reader's byte source: one byte at a time with one byte of look-ahead.
// GetChar and LookChar are inline over a window of bytes; a subclass refills
// the window. Streams are shared through std::shared_ptr.
class CPdfStream {
public:
    CPdfStream() = default;
    virtual ~CPdfStream() = default;
    CPdfStream(const CPdfStream&) = delete;
    CPdfStream& operator=(const CPdfStream&) = delete;

    // The next byte 0-255, or -1 at the end.
    int GetChar() {
        if (read_ == end_ && !Fill()) return -1;
        return *read_++;
    }
    // The byte GetChar would return next, not consumed.
    int LookChar() {
        if (read_ == end_ && !Fill()) return -1;
        return *read_;
    }
    // Reads up to `count` bytes; returns how many arrived.
    size_t Read(uint8_t* buffer, size_t count);
    // The bytes the window holds that have not been read, the window refilled
    // when there are none: empty only at the end. Skip takes the first
    // `count` of them (at most as many) as read.
    std::string_view Buffered() {
        if (read_ == end_ && !Fill()) return {};
        return {reinterpret_cast<const char*>(read_), static_cast<size_t>(end_ - read_)};
    }
    void Skip(size_t count) { read_ += count; }

    virtual void Reset() = 0;
    virtual void Close() {}
    // The next inflated byte before any predictor; only flate streams have one.
    virtual int GetRawChar();
    // The stream's dictionary, or null for a plain byte range.
    virtual CPdfDictionary* GetDict() = 0;
    // Absolute position in the underlying file of the next byte.
    virtual int64_t GetPos() = 0;
    virtual void SetPos(int64_t position, SeekOrigin origin) = 0;
    virtual int64_t GetStart() = 0;
    virtual void MoveStart(int64_t delta) = 0;
    virtual int64_t GetLength() = 0;
    // A new stream over [start, start + length) of the same file (length 0:
    // to the end), or null when this stream does not read a file.
    virtual std::shared_ptr<CPdfStream> MakeSubStream(int64_t start, int64_t length, const CPdfObject& dictionary) = 0;
    // False for a stream whose filters are not decoded: its data reads as empty.
    virtual bool IsDecodable() const { return true; }
    // True once decoding met damaged data or data cut short: what was read
    // is not all the stream held.
    virtual bool IsDamaged() const { return false; }

protected:
    // Makes [read_, end_) the next bytes; false at the end.
    virtual bool Fill() = 0;

    const uint8_t* read_ = nullptr;
    const uint8_t* end_ = nullptr;
};
