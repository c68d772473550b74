#include "base/CByteSource.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/CPdfException.h"

size_t CByteSource::Read(uint64_t offset, uint8_t* buffer, size_t count) {
    size_t done = 0;
    while (done < count) {
        const ByteWindow window = Window(offset + done);
        if (window.size == 0) break;
        const size_t n = std::min(window.size, count - done);
        std::memcpy(buffer + done, window.data, n);
        done += n;
    }
    return done;
}

std::optional<size_t> CByteSource::ReadConcurrently(uint64_t, uint8_t*, size_t) const { return std::nullopt; }

CMemoryByteSource::CMemoryByteSource(std::string bytes)
    : bytes_(std::make_shared<const std::string>(std::move(bytes))) {}

CMemoryByteSource::CMemoryByteSource(std::shared_ptr<const std::string> bytes) : bytes_(std::move(bytes)) {}

std::optional<size_t> CMemoryByteSource::ReadConcurrently(uint64_t offset, uint8_t* buffer, size_t count) const {
    if (offset >= bytes_->size() || count == 0) return 0;
    const size_t n = std::min<uint64_t>(count, bytes_->size() - offset);
    std::memcpy(buffer, bytes_->data() + offset, n);
    return n;
}

ByteWindow CMemoryByteSource::Window(uint64_t offset) {
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

ByteWindow CFileByteSource::FromRun(uint64_t offset) const {
    if (!run_ || offset < runStart_ || offset - runStart_ >= run_->size()) return {};
    const auto within = static_cast<size_t>(offset - runStart_);
    return {run_, run_->data() + within, run_->size() - within};
}

void CFileByteSource::StartRun(uint64_t offset, size_t minimum) {
    const uint64_t start = offset - offset % kBlockSize;
    size_t size = std::max(minimum, kFirstRunSize);
    // Reading that moves on from the current run gets a longer one.
    if (run_ && start >= runStart_ && start <= runStart_ + run_->size()) size = std::max(size, run_->size() * 2);
    size = std::min(size, kRunSize);
    // A buffer that no reader holds any more is used again.
    run_.reset();
    for (const Bytes& spare : spareRuns_) {
        if (spare.use_count() == 1) {
            run_ = spare;
            break;
        }
    }
    if (!run_) {
        run_ = std::make_shared<UninitializedBytes>();
        if (spareRuns_.size() < kSpareRuns) spareRuns_.push_back(run_);
    }
    run_->resize(size);
    run_->resize(ReadFully(start, run_->data(), size));
    runStart_ = start;
}

ByteWindow CFileByteSource::FromBlock(uint64_t offset) {
    const uint64_t index = offset / kBlockSize;
    const auto within = static_cast<size_t>(offset % kBlockSize);
    auto found = blocks_.find(index);
    if (found != blocks_.end()) {
        uses_.splice(uses_.begin(), uses_, found->second.use);
    } else {
        // The least recently used block makes room; its buffer is used again
        // unless a reader still holds it.
        decltype(blocks_)::node_type node;
        if (blocks_.size() >= kCachedBlocks) {
            node = blocks_.extract(uses_.back());
            uses_.splice(uses_.begin(), uses_, std::prev(uses_.end()));
            uses_.front() = index;
            node.key() = index;
            if (node.mapped().bytes.use_count() > 1) node.mapped().bytes.reset();
        } else {
            uses_.push_front(index);
        }
        Bytes bytes = node ? std::move(node.mapped().bytes) : nullptr;
        if (!bytes) bytes = std::make_shared<UninitializedBytes>();
        bytes->resize(kBlockSize);
        bytes->resize(ReadFully(index * kBlockSize, bytes->data(), kBlockSize));
        if (node) {
            node.mapped() = CachedBlock{std::move(bytes), uses_.begin()};
            found = blocks_.insert(std::move(node)).position;
        } else {
            found = blocks_.emplace(index, CachedBlock{std::move(bytes), uses_.begin()}).first;
        }
    }
    const Bytes& bytes = found->second.bytes;
    if (within >= bytes->size()) return {};
    return {bytes, bytes->data() + within, bytes->size() - within};
}

ByteWindow CFileByteSource::Window(uint64_t offset) {
    if (offset >= size_) return {};
    if (ByteWindow window = FromRun(offset); window.size > 0) return window;
    const uint64_t index = offset / kBlockSize;
    if (blocks_.count(index) == 0) {
        // Reading on right where the run or the last block read ended: a run,
        // longer each time the reading goes on.
        const bool afterRun =
            run_ && offset >= runStart_ + run_->size() && offset < runStart_ + run_->size() + kBlockSize;
        if (afterRun || (lastBlock_ != UINT64_MAX && index == lastBlock_ + 1)) {
            StartRun(offset, kFirstRunSize);
            return FromRun(offset);
        }
        lastBlock_ = index;
    }
    return FromBlock(offset);
}

size_t CFileByteSource::Read(uint64_t offset, uint8_t* buffer, size_t count) {
    // Large reads go straight to the caller; middling ones start a run, since
    // more reads forward are likely to follow.
    if (count >= kRunSize) return ReadFully(offset, buffer, count);
    if (count >= kBlockSize && offset < size_ && FromRun(offset).size < count) StartRun(offset, count + kBlockSize);
    return CByteSource::Read(offset, buffer, count);
}
