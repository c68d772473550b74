#include "pdf/reader/CPdfDecryptStream.h"

#include <algorithm>

namespace {

constexpr size_t kChunk = 64 * 1024;

}  // namespace

CPdfDecryptStream::CPdfDecryptStream(std::shared_ptr<CPdfStream> raw, CryptMethod method, std::string key)
    : CPdfWrappedStream(std::move(raw)), decryptor_(method, key) {
    rawLeft_ = std::max<int64_t>(raw_->GetLength(), 0);
    finished_ = !decryptor_.usable();  // a key that does not fit: no data
}

CPdfDecryptStream::~CPdfDecryptStream() = default;

size_t CPdfDecryptStream::ReadRaw(uint8_t* target, size_t count) {
    count = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(count), rawLeft_));
    if (count == 0) return 0;
    const size_t got = raw_->Read(target, count);
    rawLeft_ -= static_cast<int64_t>(got);
    if (got == 0) rawLeft_ = 0;
    return got;
}

bool CPdfDecryptStream::Fill() {
    while (!finished_) {
        uint8_t chunk[kChunk];
        const size_t got = ReadRaw(chunk, sizeof chunk);
        finished_ = got == 0;
        decryptor_.Decrypt(chunk, got, finished_, out_);
        if (!out_.empty()) {
            read_ = out_.data();
            end_ = read_ + out_.size();
            return true;
        }
    }
    return false;
}
