#pragma once

#include "base/CByteSource.h"
#include "pdf/object/CPdfObject.h"
#include "pdf/object/CPdfStream.h"

// A byte range of the input file: [start, start + length), or from start to
// the end of the file when length is 0. All file streams of a document share
// one byte source; each keeps its own position.
class CPdfFileStream : public CPdfStream {
public:
    CPdfFileStream(std::shared_ptr<CByteSource> source, int64_t start, int64_t length, CPdfObject dictionary);

    void Reset() override { SetPos(start_, SeekOrigin::Start); }
    CPdfDictionary* GetDict() override;
    int64_t GetPos() override { return bufferPos_ + (read_ - windowStart_); }
    void SetPos(int64_t position, SeekOrigin origin) override;
    int64_t GetStart() override { return start_; }
    void MoveStart(int64_t delta) override;
    int64_t GetLength() override { return length_; }
    std::shared_ptr<CPdfStream> MakeSubStream(int64_t start, int64_t length, const CPdfObject& dictionary) override;

    const std::shared_ptr<CByteSource>& source() const { return source_; }

protected:
    bool Fill() override;

private:
    void DropWindow();

    std::shared_ptr<CByteSource> source_;
    CPdfObject dictionary_;
    int64_t start_;
    int64_t length_;
    int64_t bufferPos_;  // absolute position of windowStart_
    ByteWindow window_;
    const uint8_t* windowStart_ = nullptr;
};
