#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "base/Uninitialized.h"
#include "writer/COutputSink.h"

class CStagedFiles;
class CThreadPool;

// A file written in one pass and put in place only when complete: the bytes
// go to a temporary file in the same folder, which Commit renames onto the
// path; a file that is not committed is removed, and a file already at the
// path stays as it was. Every write is checked. The writing itself is done on
// a thread of the file's own, each byte at the offset it has in the file,
// while the caller goes on: the caller's bytes are gathered into pieces, and
// ranges copied from an input file (consecutive copies of consecutive ranges
// taken together) are copied inside the kernel when they are long enough.
class COutputFile final : public COutputSink {
public:
    // Throws CPdfException(createMessage) when the file cannot be created.
    COutputFile(const std::string& path, const char* createMessage);
    ~COutputFile() override;

    // A failure to write shows in Commit.
    void Write(std::string_view bytes) override;
    // Copies source bytes [offset, offset + length), which must lie within
    // the source.
    void CopyFrom(CByteSource& source, uint64_t offset, uint64_t length) override;
    // The whole of `source` as the file's first bytes: a clone sharing its
    // blocks where the file system can make one, otherwise a copy inside the
    // kernel. Only before anything else was written.
    void CopyWhole(CByteSource& source) override;
    int64_t Position() const override { return position_; }
    // Writes what is left, waits for the writing, closes and renames onto
    // the path.
    void Commit();
    // Writes what is left, waits for the writing, closes, and hands the file
    // under its temporary name to `staged` at `slot`, which puts it in place
    // with the others or removes it.
    void Stage(CStagedFiles& staged, size_t slot);

private:
    // Ranges copied one after the other, not yet handed over.
    struct PendingCopy {
        CByteSource* source = nullptr;
        uint64_t from = 0;
        int64_t to = 0;
        uint64_t length = 0;
    };
    // What the writing thread writes at `to`: `length` bytes, copied from
    // `from` of the file `source` inside the kernel, or (source -1) taken
    // from `from` of the bytes gathered with the piece.
    struct Piece {
        int64_t to = 0;
        int source = -1;
        uint64_t from = 0;
        uint64_t length = 0;
    };

    // The pending copy as a piece: copied inside the kernel, or read here.
    void FlushPending();
    // Room at the end of the gathered bytes for `size` bytes that go to `to`.
    uint8_t* Gather(int64_t to, size_t size);
    // Hands the pieces gathered to the writing thread.
    void Submit();
    // Waits for the writing thread; false when a piece could not be written.
    bool JoinWriting();
    // Writes what is left, waits for the writing and closes the temporary file.
    void Close();
    [[noreturn]] static void Fail();

    std::string path_;
    std::string tempPath_;
    int fd_ = -1;
    int64_t position_ = 0;
    PendingCopy pending_;
    // Pieces not handed over yet, the last one the bytes being gathered, the
    // bytes they hold, and what the kernel copies among them copy.
    std::vector<Piece> pieces_;
    UninitializedBytes gathered_;
    uint64_t piecesCopies_ = 0;
    // Room for gathering, handed back by the writing thread.
    std::mutex spareMutex_;
    std::vector<UninitializedBytes> spare_;
    std::atomic<size_t> inFlight_ = 0;
    std::atomic<bool> writeFailed_ = false;
    // The writing thread, once there is something to write.
    std::unique_ptr<CThreadPool> writer_;
};
