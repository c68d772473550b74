#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "writer/COutputSink.h"

class CStagedFiles;

// A file written in one pass and put in place only when complete: the bytes
// go to a temporary file in the same folder, which Commit renames onto the
// path; a file that is not committed is removed, and a file already at the
// path stays as it was. Every write is checked.
class COutputFile final : public COutputSink {
public:
    // Throws CPdfException(createMessage) when the file cannot be created.
    COutputFile(const std::string& path, const char* createMessage);
    ~COutputFile() override;

    void Write(std::string_view bytes) override;
    // Copies source bytes [offset, offset + length); large ranges are copied
    // inside the kernel when the source is a file.
    void CopyFrom(CByteSource& source, uint64_t offset, uint64_t length) override;
    // The whole of `source` as the file's first bytes: a clone sharing its
    // blocks where the file system can make one, otherwise a copy inside the
    // kernel, made on a thread of its own while the caller writes on behind
    // those bytes. Only before anything else was written.
    void CopyWhole(CByteSource& source) override;
    int64_t Position() const override { return position_; }
    // Flushes, closes and renames onto the path.
    void Commit();
    // Flushes and closes, and hands the file under its temporary name to
    // `staged` at `slot`, which puts it in place with the others or removes it.
    void Stage(CStagedFiles& staged, size_t slot);

private:
    // Waits for the copy of CopyWhole; false when it failed.
    bool JoinCopy();
    // Flushes and closes the temporary file.
    void Close();
    void Flush();
    void WriteAll(const char* data, size_t size);
    [[noreturn]] static void Fail();

    std::string path_;
    std::string tempPath_;
    int fd_ = -1;
    std::unique_ptr<char[]> buffer_;
    size_t used_ = 0;
    int64_t position_ = 0;
    std::thread copier_;
    std::atomic<bool> copyFailed_ = false;
};
