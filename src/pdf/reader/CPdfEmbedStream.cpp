#include "pdf/reader/CPdfEmbedStream.h"

#include <algorithm>

#include "pdf/object/CPdfDictionary.h"

CPdfEmbedStream::CPdfEmbedStream(std::shared_ptr<CPdfStream> underlying, CPdfObject dictionary, bool limited,
                                 int64_t length)
    : underlying_(std::move(underlying)), dictionary_(std::move(dictionary)), limited_(limited), remaining_(length) {}

CPdfDictionary* CPdfEmbedStream::GetDict() { return dictionary_.is(pdfDictionary) ? &dictionary_.getDict() : nullptr; }

bool CPdfEmbedStream::Fill() {
    size_t want = buffer_.size();
    if (limited_) {
        if (remaining_ <= 0) return false;
        want = static_cast<size_t>(std::min<int64_t>(remaining_, static_cast<int64_t>(want)));
    }
    const size_t got = underlying_->Read(buffer_.data(), want);
    if (got == 0) return false;
    if (limited_) remaining_ -= static_cast<int64_t>(got);
    read_ = buffer_.data();
    end_ = buffer_.data() + got;
    return true;
}
