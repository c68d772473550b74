#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "writer/COutputSink.h"

class CThreadPool;

// A file written in one pass and put in place only when complete: the bytes
// go to a temporary file in the same folder, which Commit renames onto the
// path; a file that is not committed is removed, and a file already at the
// path stays as it was. Every write is checked. Each byte is written at the
// offset it has in the file: ranges copied from an input file (consecutive
// copies of consecutive ranges taken together) are copied inside the kernel
// on a thread of the file's own, while the caller writes on behind them.
class COutputFile final : public COutputSink {
public:
    // Throws CPdfException(createMessage) when the file cannot be created.
    COutputFile(const std::string& path, const char* createMessage);
    ~COutputFile() override;

    void Write(std::string_view bytes) override;
    // Copies source bytes [offset, offset + length), which must lie within
    // the source; ranges of a file source, taken together with the ranges
    // copied right before and after them, are copied inside the kernel when
    // they are long enough.
    void CopyFrom(CByteSource& source, uint64_t offset, uint64_t length) override;
    // The whole of `source` as the file's first bytes: a clone sharing its
    // blocks where the file system can make one, otherwise a copy inside the
    // kernel. Only before anything else was written.
    void CopyWhole(CByteSource& source) override;
    int64_t Position() const override { return position_; }
    // Flushes, waits for the copies, closes and renames onto the path.
    void Commit();

private:
    // Ranges copied one after the other, not yet written.
    struct PendingCopy {
        CByteSource* source = nullptr;
        uint64_t from = 0;
        int64_t to = 0;
        uint64_t length = 0;
    };

    // Writes the pending copy: inside the kernel, or through the buffer.
    void FlushPending();
    // Copies [from, from + length) of the file `source` to `to` on the
    // copying thread, which takes the copies a few megabytes at a time.
    void CopyInKernel(int source, uint64_t from, int64_t to, uint64_t length);
    void SubmitCopies();
    // Waits for the copies; false when one failed.
    bool JoinCopies();
    void Flush();
    void WriteAt(const char* data, size_t size, int64_t offset);
    [[noreturn]] static void Fail();

    std::string path_;
    std::string tempPath_;
    int fd_ = -1;
    std::vector<char> buffer_;
    size_t used_ = 0;
    // Where the buffer's first byte goes.
    int64_t bufferStart_ = 0;
    int64_t position_ = 0;
    PendingCopy pending_;
    // Copies inside the kernel not yet handed to the thread: the source file,
    // the range and where it goes; and how many bytes they hold.
    struct KernelCopy {
        int source = -1;
        uint64_t from = 0;
        int64_t to = 0;
        uint64_t length = 0;
    };
    std::vector<KernelCopy> kernelCopies_;
    uint64_t kernelCopyBytes_ = 0;
    std::atomic<bool> copyFailed_ = false;
    // The thread that copies inside the kernel, once there is a copy.
    std::unique_ptr<CThreadPool> copier_;
};
