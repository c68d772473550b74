#include "writer/COutputFile.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <csignal>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "base/CByteSource.h"
#include "base/CPdfException.h"
#include "support/TestFiles.h"

namespace {

constexpr const char* kCreate = "Output file create error";
constexpr const char* kWrite = "Output file write error";
constexpr uint64_t kLargeRange = 300 * 1024;  // above the size copied inside the kernel

std::string MessageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const CPdfException& failure) {
        return failure.GetMessage();
    }
    return "";
}

std::string RandomBytes(size_t size, uint32_t seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& byte : bytes) byte = static_cast<char>(random() & 0xFF);
    return bytes;
}

mode_t ModeOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return 0;
    return info.st_mode & 07777;
}

bool IsLink(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

class OutputFileTest : public ::testing::Test {
protected:
    TempFolder folder_;
    const std::string path_ = folder_.File("out.pdf");
};

// ---------------------------------------------------------------------------
// Put in place only by Commit

TEST_F(OutputFileTest, NothingAtThePathUntilCommit) {
    {
        COutputFile file(path_, kCreate);
        file.Write("abc");
        EXPECT_FALSE(FileExists(path_));
        const std::vector<std::string> names = ListFolder(folder_.path());
        ASSERT_EQ(names.size(), 1u);  // the temporary file, beside the output
        EXPECT_NE(names[0], "out.pdf");
        file.Commit();
        EXPECT_EQ(ReadFile(path_), "abc");
    }
    EXPECT_EQ(ReadFile(path_), "abc");
    EXPECT_EQ(ListFolder(folder_.path()), std::vector<std::string>{"out.pdf"});
}

TEST_F(OutputFileTest, UncommittedFileLeavesNothing) {
    {
        COutputFile file(path_, kCreate);
        file.Write(std::string(3 << 20, 'x'));
    }
    EXPECT_TRUE(ListFolder(folder_.path()).empty());
}

TEST_F(OutputFileTest, UncommittedFileLeavesAnExistingFileUntouched) {
    const std::string before("existing\0\xff\r\n", 12);
    WriteFile(path_, before);
    {
        COutputFile file(path_, kCreate);
        file.Write("new bytes");
    }
    EXPECT_EQ(ReadFile(path_), before);
    EXPECT_EQ(ListFolder(folder_.path()), std::vector<std::string>{"out.pdf"});
}

TEST_F(OutputFileTest, CommitReplacesAnExistingFile) {
    WriteFile(path_, std::string(10000, 'o'));
    COutputFile file(path_, kCreate);
    file.Write("short");
    file.Commit();
    EXPECT_EQ(ReadFile(path_), "short");
    EXPECT_EQ(ListFolder(folder_.path()), std::vector<std::string>{"out.pdf"});
}

TEST_F(OutputFileTest, EmptyFileIsCommitted) {
    COutputFile file(path_, kCreate);
    file.Commit();
    EXPECT_TRUE(FileExists(path_));
    EXPECT_EQ(ReadFile(path_), "");
}

TEST_F(OutputFileTest, WritingAfterCommitFails) {
    COutputFile file(path_, kCreate);
    file.Commit();
    EXPECT_EQ(MessageOf([&] { file.Write("x"); }), kWrite);
    EXPECT_EQ(MessageOf([&] { file.Commit(); }), kWrite);
    EXPECT_EQ(ReadFile(path_), "");
}

TEST_F(OutputFileTest, NameWithoutFolderIsInTheWorkingFolder) {
    char saved[PATH_MAX];
    ASSERT_NE(::getcwd(saved, sizeof saved), nullptr);
    ASSERT_EQ(::chdir(folder_.path().c_str()), 0);
    std::string message = MessageOf([] {
        COutputFile file("plain.pdf", kCreate);
        file.Write("here");
        file.Commit();
    });
    ASSERT_EQ(::chdir(saved), 0);
    EXPECT_EQ(message, "");
    EXPECT_EQ(ReadFile(folder_.File("plain.pdf")), "here");
    EXPECT_EQ(ListFolder(folder_.path()), std::vector<std::string>{"plain.pdf"});
}

// ---------------------------------------------------------------------------
// Paths that cannot be created

TEST_F(OutputFileTest, UncreatablePathsGiveTheCreateMessage) {
    WriteFile(folder_.File("plain.txt"), "x");
    ASSERT_EQ(::mkdir(folder_.File("sub").c_str(), 0755), 0);
    const std::vector<std::string> paths = {
        folder_.File("missing/out.pdf"),    // folder does not exist
        folder_.File("sub"),                // a folder
        folder_.File("sub/"),               // a folder, named with its slash
        folder_.File("plain.txt/out.pdf"),  // a file as folder
        "",
    };
    for (const std::string& path : paths) {
        EXPECT_EQ(MessageOf([&] { COutputFile file(path, kCreate); }), kCreate) << "'" << path << "'";
        EXPECT_EQ(MessageOf([&] { COutputFile file(path, "export file create error"); }), "export file create error")
            << "'" << path << "'";
    }
    std::vector<std::string> names = ListFolder(folder_.path());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"plain.txt", "sub"}));
    EXPECT_TRUE(ListFolder(folder_.File("sub")).empty());
}

// ---------------------------------------------------------------------------
// A symbolic link as output: its target is replaced, the link stays

TEST_F(OutputFileTest, SymbolicLinkReplacesItsTarget) {
    ASSERT_EQ(::mkdir(folder_.File("real").c_str(), 0755), 0);
    const std::string target = folder_.File("real/target.pdf");
    WriteFile(target, "old");
    ASSERT_EQ(::symlink("real/target.pdf", path_.c_str()), 0);

    COutputFile file(path_, kCreate);
    file.Write("new");
    file.Commit();

    EXPECT_TRUE(IsLink(path_));
    char link[PATH_MAX] = {};
    ASSERT_GT(::readlink(path_.c_str(), link, sizeof link - 1), 0);
    EXPECT_STREQ(link, "real/target.pdf");
    EXPECT_EQ(ReadFile(target), "new");
    EXPECT_EQ(ListFolder(folder_.File("real")), std::vector<std::string>{"target.pdf"});
    std::vector<std::string> names = ListFolder(folder_.path());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"out.pdf", "real"}));
}

TEST_F(OutputFileTest, UncommittedSymbolicLinkLeavesItsTarget) {
    const std::string target = folder_.File("target.pdf");
    WriteFile(target, "old");
    ASSERT_EQ(::symlink(target.c_str(), path_.c_str()), 0);
    {
        COutputFile file(path_, kCreate);
        file.Write("new");
    }
    EXPECT_TRUE(IsLink(path_));
    EXPECT_EQ(ReadFile(target), "old");
    std::vector<std::string> names = ListFolder(folder_.path());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"out.pdf", "target.pdf"}));
}

TEST_F(OutputFileTest, ChainOfSymbolicLinksReplacesTheLastTarget) {
    const std::string target = folder_.File("target.pdf");
    WriteFile(target, "old");
    ASSERT_EQ(::symlink("target.pdf", folder_.File("middle.pdf").c_str()), 0);
    ASSERT_EQ(::symlink("middle.pdf", path_.c_str()), 0);
    COutputFile file(path_, kCreate);
    file.Write("new");
    file.Commit();
    EXPECT_TRUE(IsLink(path_));
    EXPECT_TRUE(IsLink(folder_.File("middle.pdf")));
    EXPECT_EQ(ReadFile(target), "new");
}

// A link whose target does not exist yet: the target is created, as opening
// the link for writing would, and the link stays.
TEST_F(OutputFileTest, DanglingSymbolicLinkCreatesItsTarget) {
    ASSERT_EQ(::mkdir(folder_.File("real").c_str(), 0755), 0);
    ASSERT_EQ(::symlink("real/new.pdf", path_.c_str()), 0);
    ASSERT_EQ(::symlink("out.pdf", folder_.File("outer.pdf").c_str()), 0);  // a chain ending in it
    {
        COutputFile file(folder_.File("outer.pdf"), kCreate);
        file.Write("new");
        EXPECT_FALSE(FileExists(folder_.File("real/new.pdf")));
        file.Commit();
    }
    EXPECT_TRUE(IsLink(path_));
    EXPECT_TRUE(IsLink(folder_.File("outer.pdf")));
    EXPECT_EQ(ReadFile(folder_.File("real/new.pdf")), "new");
    EXPECT_EQ(ListFolder(folder_.File("real")), std::vector<std::string>{"new.pdf"});
}

TEST_F(OutputFileTest, DanglingSymbolicLinkIntoAMissingFolderCannotBeCreated) {
    ASSERT_EQ(::symlink("missing/new.pdf", path_.c_str()), 0);
    {
        COutputFile* never = nullptr;
        EXPECT_EQ(MessageOf([&] { never = new COutputFile(path_, kCreate); }), kCreate);
        delete never;
    }
    EXPECT_TRUE(IsLink(path_));
    EXPECT_EQ(ListFolder(folder_.path()), std::vector<std::string>{"out.pdf"});
}

TEST_F(OutputFileTest, SymbolicLinkLoopCannotBeCreated) {
    ASSERT_EQ(::symlink("loop.pdf", path_.c_str()), 0);
    ASSERT_EQ(::symlink("out.pdf", folder_.File("loop.pdf").c_str()), 0);
    EXPECT_EQ(MessageOf([&] { COutputFile file(path_, kCreate); }), kCreate);
    EXPECT_TRUE(IsLink(path_));
    EXPECT_TRUE(IsLink(folder_.File("loop.pdf")));
}

TEST_F(OutputFileTest, SymbolicLinkToAFolderCannotBeCreated) {
    ASSERT_EQ(::mkdir(folder_.File("sub").c_str(), 0755), 0);
    ASSERT_EQ(::symlink("sub", path_.c_str()), 0);
    EXPECT_EQ(MessageOf([&] { COutputFile file(path_, kCreate); }), kCreate);
    EXPECT_TRUE(ListFolder(folder_.File("sub")).empty());
}

// ---------------------------------------------------------------------------
// Failing writes, in a child process whose file size is limited

// Runs `body` in a child with files limited to `limit` bytes; the child
// exits 0 when `body` throws "Output file write error".
int ExitOfLimitedChild(rlim_t limit, const std::function<void()>& body) {
    const pid_t child = ::fork();
    if (child < 0) return -1;
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);  // the write fails with EFBIG instead
        const rlimit small{limit, limit};
        if (::setrlimit(RLIMIT_FSIZE, &small) != 0) ::_exit(10);
        int code = 3;
        try {
            body();
            code = 1;
        } catch (const CPdfException& failure) {
            code = std::string(failure.GetMessage()) == kWrite ? 0 : 2;
        } catch (...) {
            code = 4;
        }
        ::_exit(code);
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

TEST_F(OutputFileTest, FailedWriteReportsTheWriteMessage) {
    WriteFile(path_, "before");
    const int code = ExitOfLimitedChild(1000, [&] {
        COutputFile file(path_, kCreate);
        file.Write(std::string(5000, 'x'));
        file.Commit();
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(ReadFile(path_), "before");
    EXPECT_EQ(ListFolder(folder_.path()), std::vector<std::string>{"out.pdf"});
}

TEST_F(OutputFileTest, FailedLargeWriteReportsTheWriteMessage) {
    const int code = ExitOfLimitedChild(1000, [&] {
        COutputFile file(path_, kCreate);
        file.Write(std::string(3 << 20, 'x'));  // handed to the writing thread at once
        file.Commit();
    });
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(ListFolder(folder_.path()).empty());
}

TEST_F(OutputFileTest, FailedCopyReportsTheWriteMessage) {
    const std::string source = folder_.File("source.bin");
    WriteFile(source, RandomBytes(kLargeRange * 2, 7));
    const int code = ExitOfLimitedChild(kLargeRange, [&] {
        CFileByteSource input(source, "File open error");
        COutputFile file(path_, kCreate);
        file.CopyFrom(input, 0, kLargeRange * 2);
        file.Commit();
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(ListFolder(folder_.path()), std::vector<std::string>{"source.bin"});
}

// ---------------------------------------------------------------------------
// Bytes and positions

TEST_F(OutputFileTest, PositionCountsEveryByte) {
    COutputFile file(path_, kCreate);
    EXPECT_EQ(file.Position(), 0);
    file.Write("abc");
    EXPECT_EQ(file.Position(), 3);
    file.Write("");
    EXPECT_EQ(file.Position(), 3);
    CMemoryByteSource source(std::string(1000, 'm'));
    file.CopyFrom(source, 10, 500);
    EXPECT_EQ(file.Position(), 503);
    file.Write(std::string(2 << 20, 'b'));
    EXPECT_EQ(file.Position(), 503 + (2 << 20));
    file.Commit();
    EXPECT_EQ(static_cast<int64_t>(ReadFile(path_).size()), 503 + (2 << 20));
}

TEST_F(OutputFileTest, WritesLargerThanTheBufferKeepTheirOrder) {
    const std::string big = RandomBytes(3 << 20, 1);
    const std::string medium = RandomBytes((1 << 20) - 3, 2);
    COutputFile file(path_, kCreate);
    file.Write("head");
    file.Write(big);
    file.Write("mid");
    file.Write(medium);
    file.Write(medium);
    file.Write("tail");
    file.Commit();
    EXPECT_TRUE(ReadFile(path_) == "head" + big + "mid" + medium + medium + "tail");
}

// The same ranges copied from a file (the large ones inside the kernel) and
// from memory, between ordinary writes.
TEST_F(OutputFileTest, CopiedRangesAreTheSourceBytes) {
    const std::string bytes = RandomBytes((1 << 20) + 12345, 3);
    const std::string sourcePath = folder_.File("source.bin");
    WriteFile(sourcePath, bytes);
    struct Range {
        uint64_t offset;
        uint64_t length;
    };
    const std::vector<Range> ranges = {{1000, kLargeRange},   {5, 100}, {0, bytes.size()},
                                       {bytes.size() - 7, 7}, {3, 0},   {77, 256 * 1024}};
    std::string expected = "head";
    for (const Range& range : ranges) expected += bytes.substr(range.offset, range.length) + "|";

    CFileByteSource fileSource(sourcePath, "File open error");
    CMemoryByteSource memorySource(bytes);
    for (CByteSource* source : std::vector<CByteSource*>{&fileSource, &memorySource}) {
        const std::string out = folder_.File(source == &fileSource ? "from-file.pdf" : "from-memory.pdf");
        COutputFile file(out, kCreate);
        file.Write("head");
        for (const Range& range : ranges) {
            file.CopyFrom(*source, range.offset, range.length);
            file.Write("|");
        }
        EXPECT_EQ(file.Position(), static_cast<int64_t>(expected.size()));
        file.Commit();
        EXPECT_TRUE(ReadFile(out) == expected) << out;
    }
}

TEST_F(OutputFileTest, LargeCopyEqualsTheSameRangeInSmallPieces) {
    const std::string bytes = RandomBytes(kLargeRange * 3, 4);
    const std::string sourcePath = folder_.File("source.bin");
    WriteFile(sourcePath, bytes);
    CFileByteSource source(sourcePath, "File open error");

    const std::string whole = folder_.File("whole.pdf");
    COutputFile wholeFile(whole, kCreate);
    wholeFile.CopyFrom(source, 11, kLargeRange * 2);
    wholeFile.Commit();

    const std::string pieces = folder_.File("pieces.pdf");
    COutputFile piecesFile(pieces, kCreate);
    for (uint64_t done = 0; done < kLargeRange * 2; done += 4096)
        piecesFile.CopyFrom(source, 11 + done, std::min<uint64_t>(4096, kLargeRange * 2 - done));
    piecesFile.Commit();

    const std::string copied = ReadFile(whole);
    EXPECT_TRUE(copied == ReadFile(pieces));
    EXPECT_TRUE(copied == bytes.substr(11, kLargeRange * 2));
}

// Ranges the kernel copies on the writing thread, between bytes written
// here, each at its place; an input that shrinks meanwhile fails the commit,
// which leaves nothing.
TEST_F(OutputFileTest, KernelCopiesAndWritesInterleave) {
    const std::string bytes = RandomBytes(kLargeRange * 4, 9);
    const std::string sourcePath = folder_.File("source.bin");
    WriteFile(sourcePath, bytes);
    CFileByteSource source(sourcePath, "File open error");
    std::string expected;
    {
        COutputFile file(path_, kCreate);
        for (uint64_t at = 0; at < bytes.size(); at += 70000) {
            const uint64_t length = std::min<uint64_t>(60000, bytes.size() - at);
            file.CopyFrom(source, at, length);
            file.Write("[" + std::to_string(at) + "]");
            expected += bytes.substr(at, length) + "[" + std::to_string(at) + "]";
        }
        file.Commit();
    }
    EXPECT_TRUE(ReadFile(path_) == expected);
    {
        COutputFile file(folder_.File("shrunk.pdf"), kCreate);
        file.CopyFrom(source, 0, kLargeRange * 4);
        ASSERT_EQ(::truncate(sourcePath.c_str(), static_cast<off_t>(kLargeRange)), 0);
        EXPECT_EQ(MessageOf([&] { file.Commit(); }), kWrite);
    }
    EXPECT_FALSE(FileExists(folder_.File("shrunk.pdf")));
}

TEST_F(OutputFileTest, RangePastTheSourceEndFails) {
    const std::string sourcePath = folder_.File("source.bin");
    WriteFile(sourcePath, RandomBytes(kLargeRange, 5));
    CFileByteSource source(sourcePath, "File open error");
    for (const uint64_t length : {uint64_t{100}, kLargeRange}) {
        SCOPED_TRACE(length);
        COutputFile file(path_, kCreate);
        EXPECT_EQ(MessageOf([&] { file.CopyFrom(source, kLargeRange - 50, length); }), kWrite);
    }
    EXPECT_FALSE(FileExists(path_));
}

// ---------------------------------------------------------------------------
// File modes

class UmaskGuard {
public:
    explicit UmaskGuard(mode_t mask) : saved_(::umask(mask)) {}
    ~UmaskGuard() { ::umask(saved_); }
    UmaskGuard(const UmaskGuard&) = delete;
    UmaskGuard& operator=(const UmaskGuard&) = delete;

private:
    mode_t saved_;
};

TEST_F(OutputFileTest, NewFileModeFollowsTheUmask) {
    for (const mode_t mask : {mode_t{022}, mode_t{027}, mode_t{077}, mode_t{0}}) {
        SCOPED_TRACE(mask);
        UmaskGuard guard(mask);
        ::unlink(path_.c_str());
        COutputFile file(path_, kCreate);
        file.Write("x");
        file.Commit();
        EXPECT_EQ(ModeOf(path_), 0666 & ~mask);
    }
}

TEST_F(OutputFileTest, ExistingFileKeepsItsMode) {
    UmaskGuard guard(022);
    for (const mode_t mode : {mode_t{0600}, mode_t{0755}, mode_t{0640}, mode_t{0444}}) {
        SCOPED_TRACE(mode);
        WriteFile(path_, "old");
        ASSERT_EQ(::chmod(path_.c_str(), mode), 0);
        COutputFile file(path_, kCreate);
        file.Write("new");
        file.Commit();
        EXPECT_EQ(ModeOf(path_), mode);
        EXPECT_EQ(ReadFile(path_), "new");
        ::unlink(path_.c_str());
    }
}

}  // namespace
