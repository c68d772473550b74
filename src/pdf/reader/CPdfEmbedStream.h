#pragma once

#include <array>

#include "pdf/object/CPdfObject.h"
#include "pdf/object/CPdfStream.h"

// A view of another stream from its current position on, optionally ending
// after `length` bytes. Object-stream members are read through such views.
class CPdfEmbedStream : public CPdfStream {
public:
    CPdfEmbedStream(std::shared_ptr<CPdfStream> underlying, CPdfObject dictionary, bool limited, int64_t length);

    void Reset() override {}
    CPdfDictionary* GetDict() override;
    int64_t GetPos() override { return underlying_->GetPos(); }
    void SetPos(int64_t, SeekOrigin) override {}
    int64_t GetStart() override { return 0; }
    void MoveStart(int64_t) override {}
    int64_t GetLength() override { return 0; }
    std::shared_ptr<CPdfStream> MakeSubStream(int64_t, int64_t, const CPdfObject&) override { return nullptr; }

protected:
    bool Fill() override;

private:
    std::shared_ptr<CPdfStream> underlying_;
    CPdfObject dictionary_;
    bool limited_;
    int64_t remaining_;
    std::array<uint8_t, 4096> buffer_;  // written before it is read
};
