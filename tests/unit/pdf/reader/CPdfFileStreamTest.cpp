#include "pdf/reader/CPdfFileStream.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <string>

#include <unistd.h>

#include "base/CByteSource.h"
#include "pdf/object/CPdfDictionary.h"

namespace {

constexpr auto kBlock = static_cast<int64_t>(CFileByteSource::kBlockSize);

std::string Digits(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>('0' + i % 10);
    return bytes;
}

std::shared_ptr<CByteSource> Memory(const std::string& bytes) { return std::make_shared<CMemoryByteSource>(bytes); }

std::string ReadAll(CPdfStream& stream) {
    std::string out;
    for (int c = stream.GetChar(); c >= 0; c = stream.GetChar()) out.push_back(static_cast<char>(c));
    return out;
}

std::string ReadN(CPdfStream& stream, size_t count) {
    std::string out;
    for (size_t i = 0; i < count; ++i) {
        const int c = stream.GetChar();
        if (c < 0) break;
        out.push_back(static_cast<char>(c));
    }
    return out;
}

TEST(CPdfFileStreamTest, RangeAndUnboundedLength) {
    const std::string bytes = "0123456789abcdef";
    CPdfFileStream range(Memory(bytes), 4, 6, CPdfObject::Null());
    EXPECT_EQ(range.GetStart(), 4);
    EXPECT_EQ(range.GetLength(), 6);
    EXPECT_EQ(range.GetPos(), 4);
    EXPECT_EQ(ReadAll(range), "456789");
    EXPECT_EQ(range.GetPos(), 10);
    EXPECT_EQ(range.GetChar(), -1);
    EXPECT_EQ(range.LookChar(), -1);

    CPdfFileStream toEnd(Memory(bytes), 10, 0, CPdfObject::Null());
    EXPECT_EQ(ReadAll(toEnd), "abcdef");

    // A range beyond the end of the data ends with the data.
    CPdfFileStream beyond(Memory(bytes), 12, 1000, CPdfObject::Null());
    EXPECT_EQ(ReadAll(beyond), "cdef");
    for (const int64_t huge : {std::numeric_limits<int64_t>::max(), std::numeric_limits<int64_t>::max() - 11}) {
        CPdfFileStream largest(Memory(bytes), 12, huge, CPdfObject::Null());
        EXPECT_EQ(ReadAll(largest), "cdef") << huge;
    }
    CPdfFileStream negative(Memory(bytes), 12, -4, CPdfObject::Null());
    EXPECT_EQ(ReadAll(negative), "");
}

TEST(CPdfFileStreamTest, LookCharDoesNotConsume) {
    CPdfFileStream stream(Memory("ab"), 0, 0, CPdfObject::Null());
    EXPECT_EQ(stream.LookChar(), 'a');
    EXPECT_EQ(stream.LookChar(), 'a');
    EXPECT_EQ(stream.GetPos(), 0);
    EXPECT_EQ(stream.GetChar(), 'a');
    EXPECT_EQ(stream.LookChar(), 'b');
    EXPECT_EQ(stream.GetChar(), 'b');
    EXPECT_EQ(stream.LookChar(), -1);
}

TEST(CPdfFileStreamTest, SetPosFromStartAndFromEnd) {
    const std::string bytes = Digits(2000);
    CPdfFileStream stream(Memory(bytes), 0, 0, CPdfObject::Null());
    stream.GetChar();

    stream.SetPos(1500, SeekOrigin::Start);
    EXPECT_EQ(stream.GetPos(), 1500);
    EXPECT_EQ(ReadN(stream, 3), bytes.substr(1500, 3));

    // Whence 2 counts back from the end of the file.
    stream.SetPos(1023, SeekOrigin::End);
    EXPECT_EQ(stream.GetPos(), 2000 - 1023);
    EXPECT_EQ(ReadN(stream, 4), bytes.substr(977, 4));

    stream.SetPos(0, SeekOrigin::End);
    EXPECT_EQ(stream.GetChar(), -1);
    stream.SetPos(1, SeekOrigin::End);
    EXPECT_EQ(ReadAll(stream), bytes.substr(1999));
}

// A seek ignores the range's start; the range's end still ends the stream.
TEST(CPdfFileStreamTest, SetPosIgnoresTheRangeStart) {
    const std::string bytes = Digits(100);
    CPdfFileStream stream(Memory(bytes), 50, 10, CPdfObject::Null());
    stream.SetPos(45, SeekOrigin::Start);
    EXPECT_EQ(ReadAll(stream), bytes.substr(45, 15));
    stream.SetPos(70, SeekOrigin::Start);
    EXPECT_EQ(stream.GetChar(), -1);
    stream.Reset();
    EXPECT_EQ(stream.GetPos(), 50);
    EXPECT_EQ(ReadAll(stream), bytes.substr(50, 10));
}

TEST(CPdfFileStreamTest, MoveStartShiftsTheRange) {
    const std::string bytes = "junk%PDF-1.4 body";
    CPdfFileStream stream(Memory(bytes), 0, 0, CPdfObject::Null());
    EXPECT_EQ(ReadN(stream, 2), "ju");
    stream.MoveStart(4);
    EXPECT_EQ(stream.GetStart(), 4);
    EXPECT_EQ(stream.GetPos(), 4);
    EXPECT_EQ(ReadN(stream, 5), "%PDF-");
    stream.Reset();
    EXPECT_EQ(ReadN(stream, 1), "%");

    CPdfFileStream bounded(Memory(bytes), 0, 4, CPdfObject::Null());
    bounded.MoveStart(4);
    EXPECT_EQ(ReadAll(bounded), "%PDF");
}

TEST(CPdfFileStreamTest, DictionaryAndSubStreams) {
    const std::string bytes = "0123456789";
    auto source = Memory(bytes);
    CPdfFileStream plain(source, 0, 0, CPdfObject::Null());
    EXPECT_EQ(plain.GetDict(), nullptr);

    CPdfObject dictionary;
    dictionary.setDictionary(nullptr);
    dictionary.getDict().add("Length", CPdfObject::Integer(3));
    const auto sub = plain.MakeSubStream(2, 3, dictionary);
    ASSERT_NE(sub, nullptr);
    ASSERT_NE(sub->GetDict(), nullptr);
    EXPECT_EQ(sub->GetDict(), &dictionary.getDict());
    EXPECT_EQ(sub->GetStart(), 2);
    EXPECT_EQ(sub->GetLength(), 3);

    // Both read the one source, each at its own position.
    EXPECT_EQ(plain.GetChar(), '0');
    EXPECT_EQ(sub->GetChar(), '2');
    EXPECT_EQ(plain.GetChar(), '1');
    EXPECT_EQ(ReadAll(*sub), "34");
    EXPECT_EQ(ReadAll(plain), "23456789");
}

TEST(CPdfFileStreamTest, ReadInBlocks) {
    const std::string bytes = Digits(1000);
    CPdfFileStream stream(Memory(bytes), 100, 700, CPdfObject::Null());
    std::string out;
    uint8_t block[256];
    EXPECT_EQ(stream.GetChar(), bytes[100]);
    out.push_back(bytes[100]);
    for (size_t n = stream.Read(block, sizeof block); n > 0; n = stream.Read(block, sizeof block))
        out.append(reinterpret_cast<const char*>(block), n);
    EXPECT_EQ(out, bytes.substr(100, 700));
    EXPECT_EQ(stream.GetPos(), 800);
}

// Over a file, windows end at the source's blocks; a stream reads on
// across them as if the file were one piece.
class CPdfFileStreamOnFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (size_t i = 0; i < bytes_.size(); ++i) bytes_[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
        std::ofstream out(path_, std::ios::binary);
        out.write(bytes_.data(), static_cast<std::streamsize>(bytes_.size()));
        out.close();
        source_ = std::make_shared<CFileByteSource>(path_.string(), "cannot open");
    }
    void TearDown() override {
        source_.reset();
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }

    std::string bytes_ = std::string(200 * 1000, '\0');
    // Named after the test and the process: tests may run in parallel.
    std::filesystem::path path_ = std::filesystem::path(::testing::TempDir()) /
                                  (std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" +
                                   std::to_string(::getpid()) + "-brevano-file-stream.bin");
    std::shared_ptr<CByteSource> source_;
};

TEST_F(CPdfFileStreamOnFileTest, ByteByByteAcrossBoundaries) {
    CPdfFileStream stream(source_, kBlock - 10, 20, CPdfObject::Null());
    for (int64_t i = 0; i < 20; ++i) {
        EXPECT_EQ(stream.GetPos(), kBlock - 10 + i);
        EXPECT_EQ(stream.LookChar(), static_cast<uint8_t>(bytes_[static_cast<size_t>(kBlock - 10 + i)])) << i;
        EXPECT_EQ(stream.GetChar(), static_cast<uint8_t>(bytes_[static_cast<size_t>(kBlock - 10 + i)])) << i;
    }
    EXPECT_EQ(stream.GetChar(), -1);

    CPdfFileStream whole(source_, 0, 0, CPdfObject::Null());
    EXPECT_EQ(ReadAll(whole), bytes_);
    EXPECT_EQ(whole.GetPos(), static_cast<int64_t>(bytes_.size()));
}

TEST_F(CPdfFileStreamOnFileTest, BlocksAcrossBoundaries) {
    CPdfFileStream stream(source_, 3, 0, CPdfObject::Null());
    std::string out;
    std::string block(70000, '\0');
    for (size_t n = 1; n > 0;) {
        n = stream.Read(reinterpret_cast<uint8_t*>(block.data()), block.size());
        out.append(block, 0, n);
    }
    EXPECT_EQ(out, bytes_.substr(3));
}

TEST_F(CPdfFileStreamOnFileTest, SeeksAroundBoundaries) {
    CPdfFileStream stream(source_, 0, 0, CPdfObject::Null());
    for (const int64_t position : {kBlock, kBlock - 1, 2 * kBlock + 1, int64_t{5}, 3 * kBlock - 2}) {
        stream.SetPos(position, SeekOrigin::Start);
        EXPECT_EQ(ReadN(stream, 4), bytes_.substr(static_cast<size_t>(position), 4)) << position;
    }
    stream.SetPos(kBlock + 1, SeekOrigin::End);
    EXPECT_EQ(stream.GetPos(), static_cast<int64_t>(bytes_.size()) - kBlock - 1);
    EXPECT_EQ(ReadN(stream, 3), bytes_.substr(bytes_.size() - static_cast<size_t>(kBlock) - 1, 3));
}

}  // namespace
