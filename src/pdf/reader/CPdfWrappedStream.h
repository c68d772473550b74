#pragma once

#include <memory>

#include "pdf/object/CPdfStream.h"

// A stream that reads another one, its raw data, in a way of its own: the
// dictionary, the place in the file and the length are the raw stream's, and
// the position cannot be set.
class CPdfWrappedStream : public CPdfStream {
public:
    explicit CPdfWrappedStream(std::shared_ptr<CPdfStream> raw) : raw_(std::move(raw)) {}

    void Reset() override {}
    CPdfDictionary* GetDict() override { return raw_->GetDict(); }
    int64_t GetPos() override { return raw_->GetPos(); }
    void SetPos(int64_t, SeekOrigin) override {}
    int64_t GetStart() override { return raw_->GetStart(); }
    void MoveStart(int64_t) override {}
    int64_t GetLength() override { return raw_->GetLength(); }
    std::shared_ptr<CPdfStream> MakeSubStream(int64_t, int64_t, const CPdfObject&) override { return nullptr; }

protected:
    std::shared_ptr<CPdfStream> raw_;
};
