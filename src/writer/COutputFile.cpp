#include "writer/COutputFile.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "base/CByteSource.h"
#include "base/CPdfException.h"
#include "writer/CStagedFiles.h"

namespace {

constexpr size_t kBufferSize = 1 << 20;
// Ranges at least this long are copied inside the kernel.
constexpr uint64_t kKernelCopyThreshold = 1024 * 1024;

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
    // Not filled: a small file touches only the memory it uses.
    buffer_ = std::make_unique_for_overwrite<char[]>(kBufferSize);
}

COutputFile::~COutputFile() {
    JoinCopy();
    if (fd_ >= 0) ::close(fd_);
    if (!tempPath_.empty()) ::unlink(tempPath_.c_str());
}

void COutputFile::Fail() { throw CPdfException("Output file write error"); }

void COutputFile::WriteAll(const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd_, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) Fail();
        data += n;
        size -= static_cast<size_t>(n);
    }
}

void COutputFile::Flush() {
    if (used_ == 0) return;
    WriteAll(buffer_.get(), used_);
    used_ = 0;
}

void COutputFile::Write(std::string_view bytes) {
    if (fd_ < 0) Fail();
    position_ += static_cast<int64_t>(bytes.size());
    if (used_ + bytes.size() > kBufferSize) {
        Flush();
        if (bytes.size() >= kBufferSize) {
            WriteAll(bytes.data(), bytes.size());
            return;
        }
    }
    std::memcpy(buffer_.get() + used_, bytes.data(), bytes.size());
    used_ += bytes.size();
}

void COutputFile::CopyFrom(CByteSource& source, uint64_t offset, uint64_t length) {
    if (fd_ < 0) Fail();
    if (length >= kKernelCopyThreshold && source.FileDescriptor() >= 0) {
        Flush();
        auto from = static_cast<loff_t>(offset);
        uint64_t left = length;
        while (left > 0) {
            const size_t step = static_cast<size_t>(std::min<uint64_t>(left, 1u << 30));
            const ssize_t n = ::copy_file_range(source.FileDescriptor(), &from, fd_, nullptr, step, 0);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;  // not supported here, or the input ended: copy the rest by hand
            left -= static_cast<uint64_t>(n);
            position_ += n;
        }
        offset = static_cast<uint64_t>(from);
        length = left;
    }
    while (length > 0) {
        if (used_ == kBufferSize) Flush();
        const size_t room = static_cast<size_t>(std::min<uint64_t>(length, kBufferSize - used_));
        const size_t got = source.Read(offset, reinterpret_cast<uint8_t*>(buffer_.get() + used_), room);
        if (got == 0) Fail();  // the input is shorter than it was when opened
        used_ += got;
        position_ += static_cast<int64_t>(got);
        offset += got;
        length -= got;
    }
}

void COutputFile::CopyWhole(CByteSource& source) {
    if (fd_ < 0 || position_ != 0) Fail();
    const uint64_t size = source.Size();
    const int from = source.FileDescriptor();
    if (from >= 0 && size > 0 && ::ioctl(fd_, FICLONE, from) == 0) {
        struct stat info {};
        // The clone is the file as it is now; it must be the file as it was read.
        if (::fstat(fd_, &info) != 0 || static_cast<uint64_t>(info.st_size) != size ||
            ::lseek(fd_, static_cast<off_t>(size), SEEK_SET) < 0)
            Fail();
        position_ = static_cast<int64_t>(size);
        return;
    }
    if (from < 0 || size < kKernelCopyThreshold) {
        CopyFrom(source, 0, size);
        return;
    }
    // The copy writes [0, size) at offsets of its own; what is written
    // meanwhile goes on from `size`.
    if (::lseek(fd_, static_cast<off_t>(size), SEEK_SET) < 0) Fail();
    position_ = static_cast<int64_t>(size);
    const int to = fd_;
    copier_ = std::thread([this, from, to, size] {
        loff_t in = 0;
        loff_t out = 0;
        while (static_cast<uint64_t>(in) < size) {
            const size_t step = static_cast<size_t>(std::min<uint64_t>(size - static_cast<uint64_t>(in), 1u << 30));
            const ssize_t n = ::copy_file_range(from, &in, to, &out, step, 0);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
        }
        // Where the kernel cannot copy between these files: by hand.
        std::vector<char> buffer;
        while (static_cast<uint64_t>(in) < size) {
            buffer.resize(kBufferSize);
            const size_t step =
                static_cast<size_t>(std::min<uint64_t>(size - static_cast<uint64_t>(in), buffer.size()));
            const ssize_t got = ::pread(from, buffer.data(), step, in);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) {  // the input is shorter than it was when opened
                copyFailed_ = true;
                return;
            }
            for (ssize_t done = 0; done < got;) {
                const ssize_t put = ::pwrite(to, buffer.data() + done, static_cast<size_t>(got - done), out + done);
                if (put < 0 && errno == EINTR) continue;
                if (put <= 0) {
                    copyFailed_ = true;
                    return;
                }
                done += put;
            }
            in += got;
            out += got;
        }
    });
}

bool COutputFile::JoinCopy() {
    if (copier_.joinable()) copier_.join();
    return !copyFailed_;
}

void COutputFile::Close() {
    if (fd_ < 0 || !JoinCopy()) Fail();
    Flush();
    const int fd = fd_;
    fd_ = -1;
    buffer_.reset();
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
