#include "pdf/reader/CPdfFileStream.h"

#include <algorithm>

#include "pdf/object/CPdfDictionary.h"

CPdfFileStream::CPdfFileStream(std::shared_ptr<CByteSource> source, int64_t start, int64_t length,
                               CPdfObject dictionary)
    : source_(std::move(source)),
      dictionary_(std::move(dictionary)),
      start_(start),
      length_(length),
      bufferPos_(std::max<int64_t>(start, 0)) {}

CPdfDictionary* CPdfFileStream::GetDict() { return dictionary_.is(pdfDictionary) ? &dictionary_.getDict() : nullptr; }

void CPdfFileStream::DropWindow() {
    window_ = {};
    windowStart_ = read_ = end_ = nullptr;
}

void CPdfFileStream::SetPos(int64_t position, SeekOrigin origin) {
    const auto size = static_cast<int64_t>(source_->Size());
    bufferPos_ = origin == SeekOrigin::End ? size - position : position;
    bufferPos_ = std::max<int64_t>(bufferPos_, 0);
    DropWindow();
}

void CPdfFileStream::MoveStart(int64_t delta) {
    start_ += delta;
    bufferPos_ = std::max<int64_t>(start_, 0);
    DropWindow();
}

std::shared_ptr<CPdfStream> CPdfFileStream::MakeSubStream(int64_t start, int64_t length, const CPdfObject& dictionary) {
    return std::make_shared<CPdfFileStream>(source_, start, length, dictionary);
}

bool CPdfFileStream::Fill() {
    bufferPos_ += end_ - windowStart_;
    DropWindow();
    int64_t available = INT64_MAX;
    if (length_ != 0) {
        // A length that reaches beyond the largest position means to the end.
        int64_t end = 0;
        if (__builtin_add_overflow(start_, length_, &end)) end = length_ < 0 ? INT64_MIN : INT64_MAX;
        if (end <= bufferPos_) return false;
        available = end - bufferPos_;
    }
    window_ = source_->Window(static_cast<uint64_t>(bufferPos_));
    if (window_.size == 0) return false;
    const auto n = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(window_.size), available));
    windowStart_ = read_ = window_.data;
    end_ = window_.data + n;
    return true;
}
