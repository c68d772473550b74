#pragma once

#include <cstdint>
#include <string_view>

class CByteSource;

// Where the output's bytes go, front to back. Every write is checked: a
// failure throws CPdfException("Output file write error"), at the latest when
// the output is completed.
class COutputSink {
public:
    COutputSink() = default;
    virtual ~COutputSink() = default;
    COutputSink(const COutputSink&) = delete;
    COutputSink& operator=(const COutputSink&) = delete;

    virtual void Write(std::string_view bytes) = 0;
    // Copies source bytes [offset, offset + length).
    virtual void CopyFrom(CByteSource& source, uint64_t offset, uint64_t length) = 0;
    // The whole of `source` as the first bytes. Only before anything else
    // was written.
    virtual void CopyWhole(CByteSource& source) = 0;
    // Bytes written so far: the position of the next byte.
    virtual int64_t Position() const = 0;
};
