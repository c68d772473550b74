#pragma once

#include <memory>

#include "pdf/reader/CPdfStream.h"

// A stream whose filters the reader does not decode (a filter other than
// FlateDecode, or a chain of filters). It is still a stream: it has its
// dictionary and its place in the file, so a page whose content stream is
// encoded that way can still be given more content. Its data reads as empty.
class CPdfUndecodedStream : public CPdfStream {
public:
    explicit CPdfUndecodedStream(std::shared_ptr<CPdfStream> raw) : raw_(std::move(raw)) {}

    void Reset() override {}
    CPdfDictionary* GetDict() override { return raw_->GetDict(); }
    int64_t GetPos() override { return raw_->GetPos(); }
    void SetPos(int64_t, int) override {}
    int64_t GetStart() override { return raw_->GetStart(); }
    void MoveStart(int64_t) override {}
    int64_t GetLength() override { return raw_->GetLength(); }
    std::shared_ptr<CPdfStream> MakeSubStream(int64_t, int64_t, const CPdfObject&) override { return nullptr; }
    bool IsDecodable() const override { return false; }

protected:
    bool Fill() override { return false; }

private:
    std::shared_ptr<CPdfStream> raw_;
};
