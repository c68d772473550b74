#include "pdf/reader/CPdfEmbedStream.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "base/CByteSource.h"
#include "base/CPdfException.h"
#include "pdf/object/CPdfDictionary.h"
#include "pdf/reader/CPdfFileStream.h"

namespace {

std::shared_ptr<CPdfFileStream> Underlying(const std::string& bytes) {
    return std::make_shared<CPdfFileStream>(std::make_shared<CMemoryByteSource>(bytes), 0, 0, CPdfObject::Null());
}

std::string ReadAll(CPdfStream& stream) {
    std::string out;
    for (int c = stream.GetChar(); c >= 0; c = stream.GetChar()) out.push_back(static_cast<char>(c));
    return out;
}

// A view starts where its underlying stream stands and ends after its length.
TEST(CPdfEmbedStreamTest, LimitedViewEndsAfterItsLength) {
    auto underlying = Underlying("0123456789");
    underlying->SetPos(3, SeekOrigin::Start);
    CPdfEmbedStream view(underlying, CPdfObject::Null(), true, 4);
    EXPECT_EQ(view.LookChar(), '3');
    EXPECT_EQ(ReadAll(view), "3456");
    EXPECT_EQ(view.GetChar(), -1);
    EXPECT_EQ(view.LookChar(), -1);
}

TEST(CPdfEmbedStreamTest, UnlimitedViewRunsToTheEnd) {
    auto underlying = Underlying(std::string(10000, 'z') + "end");
    CPdfEmbedStream view(underlying, CPdfObject::Null(), false, 0);
    EXPECT_EQ(ReadAll(view), std::string(10000, 'z') + "end");
}

TEST(CPdfEmbedStreamTest, LimitBeyondTheDataAndZeroLimit) {
    CPdfEmbedStream longer(Underlying("abc"), CPdfObject::Null(), true, 100);
    EXPECT_EQ(ReadAll(longer), "abc");
    CPdfEmbedStream empty(Underlying("abc"), CPdfObject::Null(), true, 0);
    EXPECT_EQ(empty.LookChar(), -1);
    EXPECT_EQ(empty.GetChar(), -1);
    CPdfEmbedStream negative(Underlying("abc"), CPdfObject::Null(), true, -1);
    EXPECT_EQ(negative.GetChar(), -1);
}

TEST(CPdfEmbedStreamTest, LargeLimitedViewInBlocks) {
    std::string bytes(20000, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 13);
    CPdfEmbedStream view(Underlying(bytes), CPdfObject::Null(), true, 9001);
    std::string out;
    uint8_t block[1000];
    for (size_t n = view.Read(block, sizeof block); n > 0; n = view.Read(block, sizeof block))
        out.append(reinterpret_cast<const char*>(block), n);
    EXPECT_EQ(out, bytes.substr(0, 9001));
}

TEST(CPdfEmbedStreamTest, ViewHasNoPlaceOfItsOwn) {
    CPdfObject dictionary;
    dictionary.setDictionary(nullptr);
    dictionary.getDict().add("Type", CPdfObject::Name("ObjStm"));
    auto underlying = Underlying("0123456789");
    CPdfEmbedStream view(underlying, dictionary, true, 5);
    ASSERT_NE(view.GetDict(), nullptr);
    EXPECT_TRUE(view.GetDict()->isType("ObjStm"));
    EXPECT_EQ(view.GetStart(), 0);
    EXPECT_EQ(view.GetLength(), 0);
    EXPECT_EQ(view.MakeSubStream(0, 1, CPdfObject::Null()), nullptr);
    view.SetPos(7, SeekOrigin::Start);
    view.MoveStart(3);
    view.Reset();
    EXPECT_EQ(ReadAll(view), "01234");

    CPdfEmbedStream plain(Underlying("x"), CPdfObject::Null(), false, 0);
    EXPECT_EQ(plain.GetDict(), nullptr);
    try {
        plain.GetRawChar();
        FAIL() << "no exception";
    } catch (const CPdfException& e) {
        EXPECT_STREQ(e.GetMessage(), "Internal: called GetRawChar() on non-predictor stream");
    }
}

}  // namespace
