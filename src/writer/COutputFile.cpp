#include "writer/COutputFile.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "base/CByteSource.h"
#include "base/CPdfException.h"
#include "base/CThreadPool.h"
#include "writer/CStagedFiles.h"

namespace {

constexpr size_t kBufferSize = 1 << 20;
// Ranges at least this long are copied inside the kernel. Pieces are handed
// to the writing thread once they hold this many bytes, or copy this many,
// and the bytes handed over and not yet written stay below the last figure.
constexpr uint64_t kKernelCopyThreshold = 16 * 1024;
constexpr size_t kBytesAtOnce = 256 * 1024;
constexpr uint64_t kCopiesAtOnce = 8u << 20;
constexpr size_t kMaxBytesInFlight = 320 * 1024;
// The room gathering starts with: what a batch holds, and the last write.
constexpr size_t kGatherRoom = 320 * 1024;

// The file a path names in the end: symbolic links are followed, so that the
// new file replaces the last link's target rather than the link, and creates
// that target when it does not exist yet, as opening the link for writing
// would. Empty when the links do not end.
std::string FinalPath(const std::string& path) {
    std::string current = path;
    for (int links = 0; links < 40; ++links) {
        struct stat info {};
        if (::lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return current;
        std::string target(PATH_MAX, '\0');
        const ssize_t length = ::readlink(current.c_str(), target.data(), target.size());
        if (length <= 0 || static_cast<size_t>(length) >= target.size()) return std::string();
        target.resize(static_cast<size_t>(length));
        // A relative target is relative to the folder that holds the link.
        const size_t slash = current.rfind('/');
        if (target[0] != '/' && slash != std::string::npos) target.insert(0, current, 0, slash + 1);
        current = std::move(target);
    }
    return std::string();
}

// Copies [from, from + length) of file `source` to `to` in file `target`:
// inside the kernel, or by hand where the kernel cannot copy between these
// files. False when the source ends before or the target cannot be written.
bool CopyRange(int source, uint64_t from, int target, int64_t to, uint64_t length) {
    auto in = static_cast<loff_t>(from);
    auto out = static_cast<loff_t>(to);
    const auto end = static_cast<loff_t>(from + length);
    while (in < end) {
        const auto step = static_cast<size_t>(std::min<loff_t>(end - in, 1 << 30));
        const ssize_t n = ::copy_file_range(source, &in, target, &out, step, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
    }
    std::vector<char> buffer;
    while (in < end) {
        buffer.resize(kBufferSize);
        const auto step = static_cast<size_t>(std::min<loff_t>(end - in, static_cast<loff_t>(buffer.size())));
        const ssize_t got = ::pread(source, buffer.data(), step, in);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::pwrite(target, buffer.data() + done, static_cast<size_t>(got - done), out + done);
            if (put < 0 && errno == EINTR) continue;
            if (put <= 0) return false;
            done += put;
        }
        in += got;
        out += got;
    }
    return true;
}

// Writes `bytes` at `to` in file `target`; false when it cannot be written.
bool WriteRange(int target, std::string_view bytes, int64_t to) {
    for (size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::pwrite(target, bytes.data() + done, bytes.size() - done, to + static_cast<int64_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// The gathered bytes a piece takes.
std::string_view Bytes(const UninitializedBytes& gathered, const auto& piece) {
    return {reinterpret_cast<const char*>(gathered.data()) + piece.from, static_cast<size_t>(piece.length)};
}

// Creates the file `pattern` names, its last six characters drawn at random
// until the name is new, with `mode` less the process's creation mask, as
// open applies it. The descriptor, or -1.
int CreateUnique(std::string& pattern, mode_t mode) {
    static constexpr std::string_view kLetters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    constexpr size_t kDrawn = 6;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::array<uint8_t, kDrawn> random{};
        if (::getrandom(random.data(), random.size(), 0) != static_cast<ssize_t>(random.size())) return -1;
        for (size_t i = 0; i < kDrawn; ++i)
            pattern[pattern.size() - kDrawn + i] = kLetters[random[i] % kLetters.size()];
        const int fd = ::open(pattern.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

}  // namespace

COutputFile::COutputFile(const std::string& path, const char* createMessage) : path_(FinalPath(path)) {
    struct stat info {};
    const bool exists = !path_.empty() && ::stat(path_.c_str(), &info) == 0;
    if (path_.empty() || (exists && !S_ISREG(info.st_mode))) throw CPdfException(createMessage);
    const size_t slash = path_.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : path_.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path_ : path_.substr(slash + 1);
    std::string pattern = folder + "." + name + ".XXXXXX";
    // A new file gets the mode every program's new files get; a file that is
    // replaced keeps its own.
    fd_ = CreateUnique(pattern, exists ? 0600 : 0666);
    if (fd_ < 0) throw CPdfException(createMessage);
    tempPath_ = pattern;
    if (exists) ::fchmod(fd_, info.st_mode & 07777);
    // So that the writing thread allocates nothing of its own.
    spare_.reserve(1);
}

COutputFile::~COutputFile() {
    // Pieces not started are dropped; the file goes.
    writer_.reset();
    if (fd_ >= 0) ::close(fd_);
    if (!tempPath_.empty()) ::unlink(tempPath_.c_str());
}

void COutputFile::Fail() { throw CPdfException("Output file write error"); }

void COutputFile::Write(std::string_view bytes) {
    if (fd_ < 0) Fail();
    FlushPending();
    if (bytes.empty()) return;
    if (bytes.size() >= kBytesAtOnce) {
        // Written here, where they are, rather than gathered.
        if (!WriteRange(fd_, bytes, position_)) Fail();
        position_ += static_cast<int64_t>(bytes.size());
        return;
    }
    std::memcpy(Gather(position_, bytes.size()), bytes.data(), bytes.size());
    position_ += static_cast<int64_t>(bytes.size());
    if (gathered_.size() >= kBytesAtOnce) Submit();
}

uint8_t* COutputFile::Gather(int64_t to, size_t size) {
    if (gathered_.empty()) {
        const std::lock_guard lock(spareMutex_);
        if (!spare_.empty()) {
            gathered_ = std::move(spare_.back());
            spare_.pop_back();
        }
        gathered_.reserve(kGatherRoom);
    }
    // The last piece goes on when the bytes follow it.
    if (pieces_.empty() || pieces_.back().source >= 0 ||
        pieces_.back().to + static_cast<int64_t>(pieces_.back().length) != to)
        pieces_.push_back({to, -1, gathered_.size(), 0});
    pieces_.back().length += size;
    const size_t at = gathered_.size();
    gathered_.resize(at + size);
    return gathered_.data() + at;
}

void COutputFile::CopyFrom(CByteSource& source, uint64_t offset, uint64_t length) {
    if (fd_ < 0 || offset > source.Size() || length > source.Size() - offset) Fail();
    if (length == 0) return;
    const bool follows = pending_.source == &source && pending_.from + pending_.length == offset &&
                         pending_.to + static_cast<int64_t>(pending_.length) == position_;
    if (!follows) {
        FlushPending();
        pending_ = {&source, offset, position_, 0};
    }
    pending_.length += length;
    position_ += static_cast<int64_t>(length);
    // A short range that continues no copy is read now, in the order the
    // caller reads the input.
    if (!follows && length < kKernelCopyThreshold) FlushPending();
}

void COutputFile::FlushPending() {
    if (pending_.source == nullptr) return;
    const PendingCopy copy = pending_;
    pending_ = {};
    if (copy.length >= kKernelCopyThreshold && copy.source->FileDescriptor() >= 0) {
        pieces_.push_back({copy.to, copy.source->FileDescriptor(), copy.from, copy.length});
        piecesCopies_ += copy.length;
        if (piecesCopies_ >= kCopiesAtOnce) Submit();
        return;
    }
    // Read here, as gathered bytes.
    uint8_t* room = Gather(copy.to, static_cast<size_t>(copy.length));
    for (size_t done = 0; done < copy.length;) {
        const size_t got = copy.source->Read(copy.from + done, room + done, static_cast<size_t>(copy.length) - done);
        if (got == 0) Fail();  // the input is shorter than it was when opened
        done += got;
    }
    if (gathered_.size() >= kBytesAtOnce) Submit();
}

void COutputFile::Submit() {
    if (pieces_.empty()) return;
    // Bytes without ranges for the kernel to copy are written here: handing
    // them over would cost more than it saves.
    if (piecesCopies_ == 0) {
        for (const Piece& piece : pieces_)
            if (!WriteRange(fd_, Bytes(gathered_, piece), piece.to)) Fail();
        pieces_.clear();
        gathered_.clear();
        return;
    }
    if (!writer_) writer_ = std::make_unique<CThreadPool>(1);
    // The bytes handed over and not yet written stay few.
    if (inFlight_ + gathered_.size() > kMaxBytesInFlight) writer_->Wait();
    inFlight_ += gathered_.size();
    const int target = fd_;
    writer_->Submit([this, target, pieces = std::move(pieces_), bytes = std::move(gathered_)](size_t) mutable {
        for (const Piece& piece : pieces) {
            if (writeFailed_) break;
            const bool written = piece.source >= 0 ? CopyRange(piece.source, piece.from, target, piece.to, piece.length)
                                                   : WriteRange(target, Bytes(bytes, piece), piece.to);
            if (!written) writeFailed_ = true;
        }
        inFlight_ -= bytes.size();
        bytes.clear();
        const std::lock_guard lock(spareMutex_);
        if (spare_.empty()) spare_.push_back(std::move(bytes));
    });
    pieces_.clear();
    gathered_ = UninitializedBytes();
    piecesCopies_ = 0;
}

void COutputFile::CopyWhole(CByteSource& source) {
    if (fd_ < 0 || position_ != 0) Fail();
    const uint64_t size = source.Size();
    const int from = source.FileDescriptor();
    if (from >= 0 && size > 0 && ::ioctl(fd_, FICLONE, from) == 0) {
        struct stat info {};
        // The clone is the file as it is now; it must be the file as it was read.
        if (::fstat(fd_, &info) != 0 || static_cast<uint64_t>(info.st_size) != size) Fail();
        position_ = static_cast<int64_t>(size);
        return;
    }
    CopyFrom(source, 0, size);
}

bool COutputFile::JoinWriting() {
    Submit();
    if (writer_) writer_->Wait();
    return !writeFailed_;
}

void COutputFile::Close() {
    if (fd_ < 0) Fail();
    FlushPending();
    if (!JoinWriting()) Fail();
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) Fail();
}

void COutputFile::Commit() {
    Close();
    if (::rename(tempPath_.c_str(), path_.c_str()) != 0) Fail();
    tempPath_.clear();
}

void COutputFile::Stage(CStagedFiles& staged, size_t slot) {
    Close();
    staged.Take(slot, tempPath_, path_);
    tempPath_.clear();
}
