#include "writer/COutputFile.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "base/CByteSource.h"
#include "base/CPdfException.h"
#include "base/CThreadPool.h"

namespace {

constexpr size_t kBufferSize = 1 << 20;
// Ranges at least this long are copied inside the kernel, and handed to the
// copying thread this many bytes at a time.
constexpr uint64_t kKernelCopyThreshold = 16 * 1024;
constexpr uint64_t kCopiesAtOnce = 8u << 20;

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

mode_t CreationMode(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) return info.st_mode & 07777;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

}  // namespace

COutputFile::COutputFile(const std::string& path, const char* createMessage) : path_(FinalPath(path)) {
    struct stat info {};
    if (path_.empty() || (::stat(path_.c_str(), &info) == 0 && !S_ISREG(info.st_mode)))
        throw CPdfException(createMessage);
    const size_t slash = path_.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : path_.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path_ : path_.substr(slash + 1);
    std::string pattern = folder + "." + name + ".XXXXXX";
    fd_ = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd_ < 0) throw CPdfException(createMessage);
    tempPath_ = pattern;
    ::fchmod(fd_, CreationMode(path_));
    buffer_.resize(kBufferSize);
}

COutputFile::~COutputFile() {
    // Copies not started are dropped; the file goes.
    copier_.reset();
    if (fd_ >= 0) ::close(fd_);
    if (!tempPath_.empty()) ::unlink(tempPath_.c_str());
}

void COutputFile::Fail() { throw CPdfException("Output file write error"); }

void COutputFile::WriteAt(const char* data, size_t size, int64_t offset) {
    while (size > 0) {
        const ssize_t n = ::pwrite(fd_, data, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) Fail();
        data += n;
        offset += n;
        size -= static_cast<size_t>(n);
    }
}

void COutputFile::Flush() {
    if (used_ == 0) return;
    WriteAt(buffer_.data(), used_, bufferStart_);
    used_ = 0;
}

void COutputFile::Write(std::string_view bytes) {
    if (fd_ < 0) Fail();
    FlushPending();
    // The buffer holds consecutive bytes only.
    if (used_ > 0 && bufferStart_ + static_cast<int64_t>(used_) != position_) Flush();
    if (used_ + bytes.size() > buffer_.size()) {
        Flush();
        if (bytes.size() >= buffer_.size()) {
            WriteAt(bytes.data(), bytes.size(), position_);
            position_ += static_cast<int64_t>(bytes.size());
            return;
        }
    }
    if (used_ == 0) bufferStart_ = position_;
    std::memcpy(buffer_.data() + used_, bytes.data(), bytes.size());
    used_ += bytes.size();
    position_ += static_cast<int64_t>(bytes.size());
}

void COutputFile::CopyFrom(CByteSource& source, uint64_t offset, uint64_t length) {
    if (fd_ < 0 || offset > source.Size() || length > source.Size() - offset) Fail();
    if (length == 0) return;
    if (pending_.source != &source || pending_.from + pending_.length != offset ||
        pending_.to + static_cast<int64_t>(pending_.length) != position_) {
        FlushPending();
        pending_ = {&source, offset, position_, 0};
    }
    pending_.length += length;
    position_ += static_cast<int64_t>(length);
}

void COutputFile::FlushPending() {
    if (pending_.source == nullptr) return;
    PendingCopy copy = pending_;
    pending_ = {};
    if (copy.length >= kKernelCopyThreshold && copy.source->FileDescriptor() >= 0) {
        CopyInKernel(copy.source->FileDescriptor(), copy.from, copy.to, copy.length);
        return;
    }
    // Through the buffer, which holds consecutive bytes only.
    if (used_ > 0 && bufferStart_ + static_cast<int64_t>(used_) != copy.to) Flush();
    if (used_ == 0) bufferStart_ = copy.to;
    while (copy.length > 0) {
        if (used_ == buffer_.size()) {
            Flush();
            bufferStart_ = copy.to;
        }
        const size_t room = static_cast<size_t>(std::min<uint64_t>(copy.length, buffer_.size() - used_));
        const size_t got = copy.source->Read(copy.from, reinterpret_cast<uint8_t*>(buffer_.data() + used_), room);
        if (got == 0) Fail();  // the input is shorter than it was when opened
        used_ += got;
        copy.from += got;
        copy.to += static_cast<int64_t>(got);
        copy.length -= got;
    }
}

void COutputFile::CopyInKernel(int source, uint64_t from, int64_t to, uint64_t length) {
    kernelCopies_.push_back({source, from, to, length});
    kernelCopyBytes_ += length;
    if (kernelCopyBytes_ >= kCopiesAtOnce) SubmitCopies();
}

void COutputFile::SubmitCopies() {
    if (kernelCopies_.empty()) return;
    if (!copier_) copier_ = std::make_unique<CThreadPool>(1);
    const int target = fd_;
    copier_->Submit([this, target, copies = std::move(kernelCopies_)](size_t) {
        for (const KernelCopy& copy : copies) {
            if (copyFailed_) return;
            if (!CopyRange(copy.source, copy.from, target, copy.to, copy.length)) copyFailed_ = true;
        }
    });
    kernelCopies_.clear();
    kernelCopyBytes_ = 0;
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

bool COutputFile::JoinCopies() {
    SubmitCopies();
    if (copier_) copier_->Wait();
    return !copyFailed_;
}

void COutputFile::Commit() {
    if (fd_ < 0) Fail();
    FlushPending();
    Flush();
    if (!JoinCopies()) Fail();
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) Fail();
    if (::rename(tempPath_.c_str(), path_.c_str()) != 0) Fail();
    tempPath_.clear();
}
