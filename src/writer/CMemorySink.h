#pragma once

#include <string>

#include "writer/COutputSink.h"

// An output kept in memory.
class CMemorySink : public COutputSink {
public:
    void Write(std::string_view bytes) override { bytes_ += bytes; }
    void CopyFrom(CByteSource& source, uint64_t offset, uint64_t length) override;
    void CopyWhole(CByteSource& source) override;
    int64_t Position() const override { return static_cast<int64_t>(bytes_.size()); }

    const std::string& bytes() const { return bytes_; }

private:
    std::string bytes_;
};
