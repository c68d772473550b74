#include "pdf/reader/CByteSource.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "app/CPdfException.h"

size_t CByteSource::Read(uint64_t offset, uint8_t* buffer, size_t count) {
    size_t done = 0;
    while (done < count) {
        const CByteWindow window = Window(offset + done);
        if (window.size == 0) break;
        const size_t n = std::min(window.size, count - done);
        std::memcpy(buffer + done, window.data, n);
        done += n;
    }
    return done;
}

CMemoryByteSource::CMemoryByteSource(std::string bytes)
    : bytes_(std::make_shared<const std::string>(std::move(bytes))) {}

CMemoryByteSource::CMemoryByteSource(std::shared_ptr<const std::string> bytes) : bytes_(std::move(bytes)) {}

CByteWindow CMemoryByteSource::Window(uint64_t offset) {
    if (offset >= bytes_->size()) return {};
    const auto* base = reinterpret_cast<const uint8_t*>(bytes_->data());
    return {bytes_, base + offset, static_cast<size_t>(bytes_->size() - offset)};
}

CFileByteSource::CFileByteSource(const std::string& path, const char* failureMessage) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) throw CPdfException(failureMessage);
    struct stat info {};
    if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd_);
        fd_ = -1;
        throw CPdfException(failureMessage);
    }
    size_ = static_cast<uint64_t>(info.st_size);
    blocks_.resize(kCachedBlocks);
}

CFileByteSource::~CFileByteSource() {
    if (fd_ >= 0) ::close(fd_);
}

size_t CFileByteSource::ReadFully(uint64_t offset, uint8_t* buffer, size_t count) const {
    size_t done = 0;
    while (done < count) {
        const ssize_t n = ::pread(fd_, buffer + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    return done;
}

CByteWindow CFileByteSource::Window(uint64_t offset) {
    if (offset >= size_) return {};
    const uint64_t index = offset / kBlockSize;
    const size_t within = static_cast<size_t>(offset % kBlockSize);
    ++clock_;
    Block* victim = &blocks_[0];
    for (Block& block : blocks_) {
        if (block.index == index) {
            block.lastUse = clock_;
            if (within >= block.bytes->size()) return {};
            return {block.bytes, block.bytes->data() + within, block.bytes->size() - within};
        }
        if (block.lastUse < victim->lastUse) victim = &block;
    }
    // A block still in use by a reader keeps its memory; the cache takes a fresh one.
    auto bytes = std::make_shared<std::vector<uint8_t>>(kBlockSize);
    bytes->resize(ReadFully(index * kBlockSize, bytes->data(), kBlockSize));
    victim->index = index;
    victim->bytes = std::move(bytes);
    victim->lastUse = clock_;
    if (within >= victim->bytes->size()) return {};
    return {victim->bytes, victim->bytes->data() + within, victim->bytes->size() - within};
}

size_t CFileByteSource::Read(uint64_t offset, uint8_t* buffer, size_t count) {
    if (count >= kBlockSize) return ReadFully(offset, buffer, count);
    return CByteSource::Read(offset, buffer, count);
}
