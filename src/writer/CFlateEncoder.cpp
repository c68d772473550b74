#include "writer/CFlateEncoder.h"

#include <zlib.h>

#include <algorithm>

#include "base/CPdfException.h"

namespace {

constexpr size_t kOutputStep = 64 * 1024;
// zlib fails for want of memory: its other errors mean a call out of order.
constexpr const char* kOutOfMemory = "Out of memory while compressing";

}  // namespace

CFlateEncoder::CFlateEncoder(int level) : stream_(std::make_unique<z_stream_s>()) {
    if (deflateInit(stream_.get(), level) != Z_OK) throw CPdfException(kOutOfMemory);
}

CFlateEncoder::~CFlateEncoder() { deflateEnd(stream_.get()); }

void CFlateEncoder::Add(const uint8_t* data, size_t size) {
    // zlib counts in 32 bits; large inputs go in pieces.
    while (size > 0) {
        const size_t piece = std::min<size_t>(size, 1u << 30);
        stream_->next_in = const_cast<Bytef*>(data);
        stream_->avail_in = static_cast<uInt>(piece);
        Run(Z_NO_FLUSH);
        data += piece;
        size -= piece;
    }
}

std::string CFlateEncoder::Finish() {
    stream_->next_in = nullptr;
    stream_->avail_in = 0;
    Run(Z_FINISH);
    out_.resize(used_);
    return std::move(out_);
}

void CFlateEncoder::Run(int flush) {
    for (;;) {
        // The output grows by half again whenever it is full.
        if (used_ == out_.size()) out_.resize(std::max(kOutputStep, out_.size() + out_.size() / 2));
        const size_t room = std::min<size_t>(out_.size() - used_, 1u << 30);
        stream_->next_out = reinterpret_cast<Bytef*>(out_.data() + used_);
        stream_->avail_out = static_cast<uInt>(room);
        const int status = deflate(stream_.get(), flush);
        used_ += room - stream_->avail_out;
        if (flush == Z_FINISH ? status == Z_STREAM_END : stream_->avail_in == 0 && stream_->avail_out != 0) return;
        if (status != Z_OK && status != Z_BUF_ERROR) throw CPdfException(kOutOfMemory);
    }
}
