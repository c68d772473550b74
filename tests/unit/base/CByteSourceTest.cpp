#include "base/CByteSource.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "base/CPdfException.h"

namespace {

constexpr size_t kBlock = CFileByteSource::kBlockSize;

// A byte pattern whose every position differs from its neighbours in each
// block, so that a byte from the wrong place shows.
std::string Pattern(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 31 + i / 251 + i / kBlock * 7) & 0xFF);
    return bytes;
}

// A file under the test's temporary folder, named after the running test and
// the process so that tests run in parallel do not share it.
class TempFile {
public:
    TempFile(const std::string& name, const std::string& bytes)
        : path_(std::filesystem::path(::testing::TempDir()) /
                (std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" +
                 std::to_string(::getpid()) + "-" + name)) {
        std::ofstream out(path_, std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    ~TempFile() {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    std::string path() const { return path_.string(); }

private:
    std::filesystem::path path_;
};

std::string WindowText(const ByteWindow& window) {
    return std::string(reinterpret_cast<const char*>(window.data), window.size);
}

std::string ReadText(CByteSource& source, uint64_t offset, size_t count) {
    std::string out(count, '\0');
    out.resize(source.Read(offset, reinterpret_cast<uint8_t*>(out.data()), count));
    return out;
}

TEST(CMemoryByteSourceTest, WindowsAndReads) {
    CMemoryByteSource source(std::string("0123456789"));
    EXPECT_EQ(source.Size(), 10u);
    EXPECT_EQ(source.FileDescriptor(), -1);
    EXPECT_EQ(WindowText(source.Window(0)), "0123456789");
    EXPECT_EQ(WindowText(source.Window(7)), "789");
    EXPECT_EQ(source.Window(10).size, 0u);
    EXPECT_EQ(source.Window(UINT64_MAX).size, 0u);
    EXPECT_EQ(ReadText(source, 2, 3), "234");
    EXPECT_EQ(ReadText(source, 8, 5), "89");
    EXPECT_EQ(ReadText(source, 11, 5), "");
}

TEST(CMemoryByteSourceTest, WindowKeepsItsBytesAlive) {
    ByteWindow window;
    {
        CMemoryByteSource source(std::string(1000, 'k'));
        window = source.Window(990);
    }
    EXPECT_EQ(WindowText(window), std::string(10, 'k'));
}

class CFileByteSourceTest : public ::testing::Test {
protected:
    // Three whole blocks and part of a fourth, and several runs' worth.
    const std::string bytes_ = Pattern(3 * kBlock + 1234);
    TempFile file_{"brevano-byte-source.bin", bytes_};
};

TEST_F(CFileByteSourceTest, WindowsHoldTheFileBytesUpToItsEnd) {
    CFileByteSource source(file_.path(), "cannot open");
    EXPECT_EQ(source.Size(), bytes_.size());
    EXPECT_GE(source.FileDescriptor(), 0);

    // A scattered read gets one block.
    const ByteWindow scattered = source.Window(kBlock + 5);
    EXPECT_EQ(scattered.size, kBlock - 5);
    // Wherever a window starts, it holds the file's bytes and stops at its end.
    for (const uint64_t offset : {uint64_t{0}, uint64_t{1}, uint64_t{kBlock - 1}, uint64_t{kBlock},
                                  uint64_t{2 * kBlock + 5}, uint64_t{3 * kBlock}, uint64_t{bytes_.size() - 1}}) {
        const ByteWindow window = source.Window(offset);
        ASSERT_GT(window.size, 0u) << offset;
        ASSERT_LE(offset + window.size, bytes_.size()) << offset;
        EXPECT_EQ(WindowText(window), bytes_.substr(offset, window.size)) << offset;
    }
    EXPECT_EQ(source.Window(bytes_.size()).size, 0u);
    EXPECT_EQ(source.Window(bytes_.size() + kBlock).size, 0u);
}

TEST_F(CFileByteSourceTest, ReadsAcrossBlocks) {
    CFileByteSource source(file_.path(), "cannot open");
    struct Case {
        uint64_t offset;
        size_t count;
    };
    const Case cases[] = {
        {kBlock - 6, 20},          // across one boundary
        {kBlock - 1, kBlock + 2},  // across two, in one large read
        {100, 3 * kBlock},         // large read spanning everything
        {3 * kBlock - 10, 30},     // into the short last block
        {bytes_.size() - 5, 100},  // beyond the end: what is there
        {0, bytes_.size()},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ReadText(source, c.offset, c.count), bytes_.substr(c.offset, c.count)) << c.offset;
    }
    EXPECT_EQ(ReadText(source, bytes_.size(), 10), "");
}

// More blocks than the cache holds: reading them all in turn and back again
// gives the right bytes, and a window taken earlier stays valid after its
// block has left the cache.
TEST(CFileByteSourceCacheTest, WindowsOutliveTheCache) {
    constexpr uint64_t kBlocks = CFileByteSource::kCachedBlocks + 12;
    const std::string bytes = Pattern(kBlocks * kBlock + 99);
    const TempFile file("brevano-byte-source-cache.bin", bytes);
    CFileByteSource source(file.path(), "cannot open");

    const ByteWindow first = source.Window(10);
    for (int pass = 0; pass < 2; ++pass) {
        // Every other block, so that the reads stay scattered.
        for (uint64_t block = 0; block <= kBlocks; block += 2) {
            const uint64_t offset = block * kBlock + 3;
            const ByteWindow window = source.Window(offset);
            ASSERT_GT(window.size, 0u);
            EXPECT_EQ(WindowText(window).substr(0, 50), bytes.substr(offset, 50)) << block;
        }
        for (uint64_t block = kBlocks; block > 0; --block) {
            EXPECT_EQ(ReadText(source, block * kBlock - 2, 4), bytes.substr(block * kBlock - 2, 4)) << block;
        }
    }
    EXPECT_EQ(WindowText(first), bytes.substr(10, kBlock - 10));
}

TEST(CFileByteSourceOpenTest, FailureThrowsTheGivenMessage) {
    const std::string missing = (std::filesystem::path(::testing::TempDir()) / "brevano-no-such-file.pdf").string();
    for (const std::string& path : {missing, ::testing::TempDir()}) {
        try {
            CFileByteSource source(path, "Couldn't open the input file");
            FAIL() << path;
        } catch (const CPdfException& e) {
            EXPECT_STREQ(e.GetMessage(), "Couldn't open the input file") << path;
        }
    }
}

TEST(CFileByteSourceOpenTest, EmptyFile) {
    const TempFile file("brevano-empty.bin", "");
    CFileByteSource source(file.path(), "cannot open");
    EXPECT_EQ(source.Size(), 0u);
    EXPECT_EQ(source.Window(0).size, 0u);
    EXPECT_EQ(ReadText(source, 0, 10), "");
}

}  // namespace
