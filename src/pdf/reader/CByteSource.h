#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// A view of consecutive bytes of a source; `keep` holds the memory alive.
struct CByteWindow {
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
    virtual CByteWindow Window(uint64_t offset) = 0;
    // Copies up to `count` bytes from `offset` into `buffer`; returns how many
    // were there.
    virtual size_t Read(uint64_t offset, uint8_t* buffer, size_t count);
    // The open descriptor of a file source, for copies inside the kernel; -1
    // for memory.
    virtual int FileDescriptor() const { return -1; }
};

// Bytes held in memory.
class CMemoryByteSource : public CByteSource {
public:
    explicit CMemoryByteSource(std::string bytes);
    explicit CMemoryByteSource(std::shared_ptr<const std::string> bytes);

    uint64_t Size() const override { return bytes_->size(); }
    CByteWindow Window(uint64_t offset) override;

private:
    std::shared_ptr<const std::string> bytes_;
};

// A regular file, read with positioned reads through a small cache of blocks.
class CFileByteSource : public CByteSource {
public:
    // Throws CPdfException(failureMessage) when the path cannot be opened for
    // reading or is not a regular file.
    CFileByteSource(const std::string& path, const char* failureMessage);
    ~CFileByteSource() override;
    CFileByteSource(const CFileByteSource&) = delete;
    CFileByteSource& operator=(const CFileByteSource&) = delete;

    uint64_t Size() const override { return size_; }
    CByteWindow Window(uint64_t offset) override;
    size_t Read(uint64_t offset, uint8_t* buffer, size_t count) override;
    int FileDescriptor() const override { return fd_; }

private:
    static constexpr size_t kBlockSize = 64 * 1024;
    static constexpr size_t kCachedBlocks = 8;

    struct Block {
        uint64_t index = UINT64_MAX;
        std::shared_ptr<std::vector<uint8_t>> bytes;
        uint64_t lastUse = 0;
    };

    size_t ReadFully(uint64_t offset, uint8_t* buffer, size_t count) const;

    int fd_ = -1;
    uint64_t size_ = 0;
    uint64_t clock_ = 0;
    std::vector<Block> blocks_;
};
