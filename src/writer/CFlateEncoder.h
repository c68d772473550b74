#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

struct z_stream_s;

// Compresses bytes with zlib into memory, as the data of a FlateDecode stream.
class CFlateEncoder {
public:
    // `level` is zlib's, 1 (fastest) to 9 (smallest).
    explicit CFlateEncoder(int level);
    ~CFlateEncoder();
    CFlateEncoder(const CFlateEncoder&) = delete;
    CFlateEncoder& operator=(const CFlateEncoder&) = delete;

    void Add(const uint8_t* data, size_t size);
    // Ends the stream and hands over the compressed bytes; nothing may be
    // added afterwards.
    std::string Finish();

private:
    void Run(int flush);

    std::unique_ptr<z_stream_s> stream_;
    std::string out_;
    size_t used_ = 0;
};
