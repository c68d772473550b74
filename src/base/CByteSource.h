#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/Uninitialized.h"

// A view of consecutive bytes of a source; `keep` holds the memory alive.
struct ByteWindow {
    std::shared_ptr<const void> keep;
    const uint8_t* data = nullptr;
    size_t size = 0;
};

// Where the reader's bytes come from: a file, or memory for tests and fuzzers.
// Every position is absolute and 64-bit.
class CByteSource {
public:
    virtual ~CByteSource() = default;

    virtual uint64_t Size() const = 0;
    // The bytes from `offset` on, as far as one window reaches; empty at or
    // beyond the end.
    virtual ByteWindow Window(uint64_t offset) = 0;
    // Copies up to `count` bytes from `offset` into `buffer`; returns how many
    // were there.
    virtual size_t Read(uint64_t offset, uint8_t* buffer, size_t count);
    // The open descriptor of a file source, for copies inside the kernel; -1
    // for memory.
    virtual int FileDescriptor() const { return -1; }
    // Copies up to `count` bytes from `offset` past any cache, and may be
    // called on several threads at once, while another reads the source;
    // returns how many were there. Nothing from a source that cannot be read
    // so.
    virtual std::optional<size_t> ReadConcurrently(uint64_t offset, uint8_t* buffer, size_t count) const;
};

// Bytes held in memory.
class CMemoryByteSource : public CByteSource {
public:
    explicit CMemoryByteSource(std::string bytes);
    explicit CMemoryByteSource(std::shared_ptr<const std::string> bytes);

    uint64_t Size() const override { return bytes_->size(); }
    ByteWindow Window(uint64_t offset) override;
    std::optional<size_t> ReadConcurrently(uint64_t offset, uint8_t* buffer, size_t count) const override;

private:
    std::shared_ptr<const std::string> bytes_;
};

// A regular file, read with positioned reads. Scattered reads (the page tree,
// single objects) go through a cache of small blocks. Reading on where the
// last read ended, or a read of more than a block (the copy of an object),
// starts a run instead: a larger chunk in which the reads that follow, moving
// forward through the file, find their bytes.
class CFileByteSource : public CByteSource {
public:
    // Throws CPdfException(failureMessage) when the path cannot be opened for
    // reading or is not a regular file.
    CFileByteSource(const std::string& path, const char* failureMessage);
    ~CFileByteSource() override;
    CFileByteSource(const CFileByteSource&) = delete;
    CFileByteSource& operator=(const CFileByteSource&) = delete;

    uint64_t Size() const override { return size_; }
    ByteWindow Window(uint64_t offset) override;
    size_t Read(uint64_t offset, uint8_t* buffer, size_t count) override;
    int FileDescriptor() const override { return fd_; }
    std::optional<size_t> ReadConcurrently(uint64_t offset, uint8_t* buffer, size_t count) const override {
        return ReadFully(offset, buffer, count);
    }

    static constexpr size_t kBlockSize = 4 * 1024;
    static constexpr size_t kCachedBlocks = 64;
    static constexpr size_t kFirstRunSize = 16 * 1024;
    static constexpr size_t kRunSize = 256 * 1024;

private:
    using Bytes = std::shared_ptr<UninitializedBytes>;
    struct CachedBlock {
        Bytes bytes;
        std::list<uint64_t>::iterator use;
    };

    size_t ReadFully(uint64_t offset, uint8_t* buffer, size_t count) const;
    ByteWindow FromRun(uint64_t offset) const;
    void StartRun(uint64_t offset, size_t minimum);
    ByteWindow FromBlock(uint64_t offset);

    int fd_ = -1;
    uint64_t size_ = 0;
    // The current run: bytes from runStart_ on.
    uint64_t runStart_ = 0;
    Bytes run_;
    static constexpr size_t kSpareRuns = 4;
    std::vector<Bytes> spareRuns_;
    // Blocks by index, and their indexes from the most recently used on.
    std::unordered_map<uint64_t, CachedBlock> blocks_;
    std::list<uint64_t> uses_;
    uint64_t lastBlock_ = UINT64_MAX;
};
