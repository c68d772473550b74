#include "writer/COutputWriter.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "base/CByteSource.h"
#include "base/CPdfException.h"
#include "pdf/object/CPdfArray.h"
#include "pdf/object/CPdfDictionary.h"
#include "pdf/object/CPdfObject.h"
#include "writer/CPdfObjectCipher.h"
#include "pdf/reader/RawObject.h"
#include "support/CaseName.h"
#include "writer/CMemorySink.h"

namespace {

using namespace std::string_literals;

const std::string kHeader14 = "%PDF-1.4\x0D\x25\xE2\xE3\xCF\xD3\x0D\x0A";

// Bytes kept in memory as if they stood at `start` in the output: large
// offsets without a large file.
class FarSink : public CMemorySink {
public:
    explicit FarSink(int64_t start) : start_(start) {}
    int64_t Position() const override { return start_ + CMemorySink::Position(); }

private:
    int64_t start_;
};

// A writer over a fresh output in memory; Bytes() returns everything written.
class WriterFixture : public ::testing::Test {
protected:
    void Start(size_t inputEntries, int64_t start = 0) {
        writer_.reset();
        sink_ = std::make_unique<FarSink>(start);
        writer_ = std::make_unique<COutputWriter>(*sink_, inputEntries);
    }
    std::string Bytes() const { return sink_->bytes(); }
    COutputWriter& writer() { return *writer_; }

private:
    std::unique_ptr<FarSink> sink_;
    std::unique_ptr<COutputWriter> writer_;
};

// ---------------------------------------------------------------------------
// Header

class OutputHeaderTest : public WriterFixture {};

TEST_F(OutputHeaderTest, Pdf14) {
    Start(0);
    writer().writeHeader("PDF-1.4");
    EXPECT_EQ(Bytes(), kHeader14);
}

TEST_F(OutputHeaderTest, DeclaresTheVersionGiven) {
    Start(0);
    writer().writeHeader("PDF-1.7");
    EXPECT_EQ(Bytes(), "%PDF-1.7\r%\xE2\xE3\xCF\xD3\r\n");
}

TEST_F(OutputHeaderTest, EmptyVersionGivesALonePercentSign) {
    Start(0);
    writer().writeHeader("");
    EXPECT_EQ(Bytes(), "%\r%\xE2\xE3\xCF\xD3\r\n");
}

// ---------------------------------------------------------------------------
// The offset table

class OffsetTableTest : public WriterFixture {};

TEST_F(OffsetTableTest, StartsWithOneFreeRecordPerInputEntry) {
    Start(3);
    ASSERT_EQ(writer().entries().size(), 3u);
    for (const OutputEntry& entry : writer().entries()) {
        EXPECT_EQ(entry.offset, 0);
        EXPECT_EQ(entry.generation, 0);
        EXPECT_EQ(entry.inUse, 0);
    }
}

TEST_F(OffsetTableTest, InputObjectsAreRecordedWhereTheyStart) {
    Start(3);
    writer().writeHeader("PDF-1.4");
    EXPECT_TRUE(writer().WriteObject(2, 7, {"2 7 obj\nnull\nendobj\n"}));
    // A copy of an object left unclosed gets its "endobj".
    CMemoryByteSource input("..1 0 obj\n(a)..");
    RawObjectLocation location;
    location.start = 2;
    location.length = 11;
    location.unclosed = true;
    EXPECT_TRUE(writer().CopyObject(1, 3, input, location));
    const std::vector<OutputEntry>& entries = writer().entries();
    EXPECT_EQ(entries[2].offset, 16);
    EXPECT_EQ(entries[2].generation, 7);
    EXPECT_NE(entries[2].inUse, 0);
    EXPECT_EQ(entries[1].offset, 16 + 20);
    EXPECT_EQ(entries[1].generation, 3);
    EXPECT_EQ(Bytes(), kHeader14 + "2 7 obj\nnull\nendobj\n1 0 obj\n(a)\rendobj\r");
}

TEST_F(OffsetTableTest, NumbersOutsideTheTableAreNotRecorded) {
    Start(3);
    for (const int32_t number : {3, 4, 1000000, -1, INT32_MIN}) {
        EXPECT_FALSE(writer().WriteObject(number, 0, {""})) << number;
    }
    ASSERT_EQ(writer().entries().size(), 3u);
    for (const OutputEntry& entry : writer().entries()) EXPECT_EQ(entry.inUse, 0);
}

TEST_F(OffsetTableTest, NewObjectsAreNumberedFromTheInputCountAtTheirPosition) {
    Start(4);
    writer().writeHeader("PDF-1.4");
    EXPECT_EQ(writer().appendObject("\nnull\n"), 4);
    EXPECT_EQ(writer().appendObject("\n(\0)\n"s), 5);
    EXPECT_EQ(writer().appendObject("\n1\n"), 6);

    const std::vector<OutputEntry>& entries = writer().entries();
    ASSERT_EQ(entries.size(), 7u);
    EXPECT_EQ(entries[4].offset, 16);
    EXPECT_EQ(entries[5].offset, 16 + 20);
    EXPECT_EQ(entries[6].offset, 16 + 20 + 19);
    for (size_t i = 4; i < 7; ++i) {
        EXPECT_EQ(entries[i].generation, 0);
        EXPECT_NE(entries[i].inUse, 0);
    }
    EXPECT_EQ(Bytes(), kHeader14 + "4 0 obj\nnull\nendobj\n" + "5 0 obj\n(\0)\nendobj\n"s + "6 0 obj\n1\nendobj\n");
}

TEST_F(OffsetTableTest, StreamsGetTheirLengthAndReservedNumbersAreWrittenLater) {
    Start(2);
    const int32_t image = writer().ReserveNumber();
    const int32_t mask = writer().ReserveNumber();
    EXPECT_EQ(writer().AppendStream("abc"), 4);
    // The value follows /Length, not /Length1, whatever stands around it.
    EXPECT_EQ(writer().AppendStream("<</Length1 9/Length/F 1>>", "xy", mask), 3);
    EXPECT_EQ(writer().AppendStream("<</Length>>", "", image), 2);
    EXPECT_EQ(Bytes(),
              "4 0 obj\n<<\n/Length 3 \n>>\nstream\nabc\nendstream\nendobj\n"
              "3 0 obj<</Length1 9/Length 2/F 1>>stream\nxy\nendstream\nendobj\n"
              "2 0 obj<</Length 0>>stream\n\nendstream\nendobj\n");
    EXPECT_EQ(writer().entries()[4].offset, 0);
    EXPECT_EQ(writer().entries()[2].offset, 114);
    // A number written already, an input number, or one never handed out.
    for (const int32_t number : {2, 1, 5, -1}) EXPECT_THROW(writer().appendObject("null", number), CPdfException);
    EXPECT_THROW(writer().AppendStream("<< >>", "x"), CPdfException);
}

TEST_F(OffsetTableTest, AppendObjectWritesTheBodyExactly) {
    Start(1);
    writer().appendObject(std::string("\n(a\0b)\n", 7));
    EXPECT_EQ(Bytes(), std::string("1 0 obj\n(a\0b)\nendobj\n", 21));
}

// ---------------------------------------------------------------------------
// Cross-reference table

class OutputXRefTableTest : public WriterFixture {};

TEST_F(OutputXRefTableTest, FourInputEntriesAndTwoAppendedObjects) {
    Start(4);
    writer().writeHeader("PDF-1.4");                                       // 16 bytes
    EXPECT_TRUE(writer().WriteObject(0, 3, {"0 3 obj\nnull\nendobj\n"}));  // object 0 is always free
    EXPECT_TRUE(writer().WriteObject(1, 0, {"1 0 obj\nnull\nendobj\n"}));  // at 36
    EXPECT_TRUE(writer().WriteObject(3, 2, {"3 2 obj\nnull\nendobj\n"}));  // at 56; 2 is never written
    writer().appendObject("\nnull\n");                                     // at 76
    writer().appendObject("\nnull\n");                                     // at 96
    const std::string objects =
        "0 3 obj\nnull\nendobj\n1 0 obj\nnull\nendobj\n3 2 obj\nnull\nendobj\n"
        "4 0 obj\nnull\nendobj\n5 0 obj\nnull\nendobj\n";
    EXPECT_EQ(writer().writeXRefTable(), 116);
    EXPECT_EQ(Bytes(), kHeader14 + objects +
                           "xref\n"
                           "0 6\r"
                           "0000000000 65535 f \r"
                           "0000000036 00000 n \r"
                           "0000000000 00000 f \r"
                           "0000000056 00002 n \r"
                           "0000000076 00000 n \r"
                           "0000000096 00000 n \r");
}

TEST_F(OutputXRefTableTest, ObjectZeroIsFreeWhateverItsRecordHolds) {
    Start(1);
    writer().WriteObject(0, 5, {"0 5 obj\nnull\nendobj\n"});
    writer().writeXRefTable();
    EXPECT_EQ(Bytes(), "0 5 obj\nnull\nendobj\nxref\n0 1\r0000000000 65535 f \r");
}

TEST_F(OutputXRefTableTest, NeverWrittenNumbersAreFree) {
    Start(3);
    writer().writeXRefTable();
    EXPECT_EQ(Bytes(), "xref\n0 3\r0000000000 65535 f \r0000000000 00000 f \r0000000000 00000 f \r");
}

TEST_F(OutputXRefTableTest, EmptyTable) {
    Start(0);
    writer().writeXRefTable();
    EXPECT_EQ(Bytes(), "xref\n0 0\r");
}

TEST_F(OutputXRefTableTest, WidestOffsetAndGeneration) {
    Start(2, 9999999999);
    writer().WriteObject(1, 65535, {""});
    writer().writeXRefTable();
    EXPECT_EQ(Bytes(), "xref\n0 2\r0000000000 65535 f \r9999999999 65535 n \r");
}

TEST_F(OutputXRefTableTest, EveryLineIsTwentyBytesWhateverTheGeneration) {
    Start(4);
    writer().WriteObject(1, -1, {""});
    writer().WriteObject(2, 100000, {""});
    writer().WriteObject(3, INT32_MAX, {""});
    writer().writeXRefTable();
    const std::string bytes = Bytes();
    const std::string lines = bytes.substr(std::string("xref\n0 4\r").size());
    ASSERT_EQ(lines.size(), 4u * 20);
    for (size_t i = 0; i < 4; ++i) {
        const std::string line = lines.substr(i * 20, 20);
        EXPECT_EQ(line[10], ' ') << line;
        EXPECT_EQ(line[16], ' ') << line;
        EXPECT_EQ(line.substr(18), " \r") << line;
    }
}

TEST_F(OutputXRefTableTest, OffsetBeyondTenDigitsFails) {
    Start(2, 10000000000);
    writer().WriteObject(1, 0, {""});
    try {
        writer().writeXRefTable();
        FAIL() << "no exception";
    } catch (const CPdfException& failure) {
        EXPECT_STREQ(failure.GetMessage(), "Output file write error");
    }
}

TEST_F(OutputXRefTableTest, LargeTable) {
    constexpr size_t kEntries = 70000;  // more than a megabyte of lines
    Start(kEntries, 123456);
    writer().WriteObject(kEntries - 1, 0, {""});
    writer().writeXRefTable();
    const std::string bytes = Bytes();
    const std::string first = "xref\n0 70000\r";
    ASSERT_EQ(bytes.size(), first.size() + kEntries * 20);
    EXPECT_EQ(bytes.substr(0, first.size() + 20), first + "0000000000 65535 f \r");
    EXPECT_EQ(bytes.substr(first.size() + 20, 20), "0000000000 00000 f \r");
    EXPECT_EQ(bytes.substr(bytes.size() - 20), "0000123456 00000 n \r");
}

// ---------------------------------------------------------------------------
// Trailer

std::shared_ptr<CPdfArray> Array(std::vector<CPdfObject> elements) {
    auto array = std::make_shared<CPdfArray>();
    for (CPdfObject& element : elements) array->add(std::move(element));
    return array;
}

CPdfObject IdOf(std::vector<CPdfObject> elements) { return CPdfObject::FromArray(Array(std::move(elements))); }

CPdfObject Literal(std::string bytes) { return CPdfObject::String(CPdfString(std::move(bytes), true)); }
CPdfObject Hex(std::string digits) { return CPdfObject::String(CPdfString(std::move(digits), false)); }

struct TrailerCase {
    const char* name;
    std::vector<std::pair<std::string, CPdfObject>> entries;  // the input trailer
    std::string expectedKeys;                                 // what follows "/Size N\n"
};

void PrintTo(const TrailerCase& c, std::ostream* os) { *os << c.name; }

class OutputTrailerTest : public WriterFixture, public ::testing::WithParamInterface<TrailerCase> {};

TEST_P(OutputTrailerTest, KeepsRootInfoAndIdOnly) {
    const TrailerCase& c = GetParam();
    CPdfDictionary trailer;
    for (const auto& [key, value] : c.entries) trailer.add(key, value);
    Start(6);
    writer().writeTrailer(1234, trailer);
    EXPECT_EQ(Bytes(), "trailer\n<<\n/Size 6\n" + c.expectedKeys + ">>\nstartxref\n1234\n%%EOF");
}

INSTANTIATE_TEST_SUITE_P(
    Keys, OutputTrailerTest,
    ::testing::Values(
        TrailerCase{"Empty", {}, ""},
        TrailerCase{"SizeRootInfoIdPrevInKeyOrder",
                    {{"Size", CPdfObject::Integer(99)},
                     {"Root", CPdfObject::Reference(1, 0)},
                     {"Info", CPdfObject::Reference(7, 2)},
                     {"ID", IdOf({Literal("ab"), Literal("\x01\xff")})},
                     {"Prev", CPdfObject::Integer(4711)}},
                    "/ID [<6162><01ff>]\n/Info 7 2 R\n/Root 1 0 R\n"},
        TrailerCase{"RootAsDirectInteger", {{"Root", CPdfObject::Integer(5)}}, "/Root 5 \n"},
        TrailerCase{"InfoAsDirectNegativeInteger", {{"Info", CPdfObject::Integer(-3)}}, "/Info -3 \n"},
        TrailerCase{"NoInfo",
                    {{"Root", CPdfObject::Reference(1, 0)}, {"ID", IdOf({Literal("x"), Literal("y")})}},
                    "/ID [<78><79>]\n/Root 1 0 R\n"},
        TrailerCase{"HexIdWrittenAsRead", {{"ID", IdOf({Hex("0A1bFF"), Hex("")})}}, "/ID [<0A1bFF><>]\n"},
        TrailerCase{"LiteralIdWithZeroBytes", {{"ID", IdOf({Literal(std::string("\0\x10", 2))})}}, "/ID [<0010>]\n"},
        TrailerCase{"IdTextElementWrittenAsHex", {{"ID", IdOf({CPdfObject::Text("Az")})}}, "/ID [<417a>]\n"},
        TrailerCase{"IdOtherElementsSkipped",
                    {{"ID", IdOf({CPdfObject::Integer(1), Literal("a"), CPdfObject::Name("N"),
                                  CPdfObject::Reference(3, 0), Literal("b")})}},
                    "/ID [<61><62>]\n"},
        TrailerCase{"IdEmptyArray", {{"ID", IdOf({})}}, "/ID []\n"},
        TrailerCase{"ValuesOfOtherKindsWriteNothing",
                    {{"Root", CPdfObject::Name("Catalog")}, {"Info", CPdfObject::Null()}, {"ID", Literal("abc")}},
                    ""},
        TrailerCase{"OtherKeysDropped",
                    {{"Encrypt", CPdfObject::Reference(9, 0)},
                     {"XRefStm", CPdfObject::Integer(100)},
                     {"Type", CPdfObject::Name("XRef")},
                     {"W", IdOf({CPdfObject::Integer(1)})},
                     {"Index", IdOf({CPdfObject::Integer(0)})},
                     {"Filter", CPdfObject::Name("FlateDecode")},
                     {"Root", CPdfObject::Reference(2, 0)}},
                    "/Root 2 0 R\n"},
        TrailerCase{"KeysMustMatchExactly",
                    {{"root", CPdfObject::Reference(1, 0)},
                     {"Roots", CPdfObject::Reference(1, 0)},
                     {"Inf", CPdfObject::Reference(1, 0)},
                     {"IDs", IdOf({Literal("a")})}},
                    ""}),
    CaseName<TrailerCase>);

class TrailerEndTest : public WriterFixture {};

TEST_F(TrailerEndTest, SizeCountsAppendedObjects) {
    Start(4);
    writer().appendObject("\nnull\n");
    writer().appendObject("\nnull\n");
    const int64_t position = writer().writeXRefTable();
    CPdfDictionary trailer;
    trailer.add("Size", CPdfObject::Integer(4));
    writer().writeTrailer(position, trailer);
    const std::string bytes = Bytes();
    EXPECT_NE(bytes.find("xref\n0 6\r"), std::string::npos);
    EXPECT_NE(bytes.find("trailer\n<<\n/Size 6\n>>\nstartxref\n40\n%%EOF"), std::string::npos);
}

TEST_F(TrailerEndTest, FileEndsWithEofMarkerAndNoLineEnd) {
    Start(1);
    writer().writeHeader("PDF-1.4");
    writer().writeXRefTable();
    writer().writeTrailer(16, CPdfDictionary());
    const std::string bytes = Bytes();
    ASSERT_GE(bytes.size(), 5u);
    EXPECT_EQ(bytes.substr(bytes.size() - 5), "%%EOF");
    EXPECT_EQ(bytes.substr(bytes.size() - 9), "\n16\n%%EOF");
}

TEST_F(TrailerEndTest, LargePosition) {
    Start(0);
    writer().writeTrailer(5000000000, CPdfDictionary());
    EXPECT_EQ(Bytes(), "trailer\n<<\n/Size 0\n>>\nstartxref\n5000000000\n%%EOF");
}

}  // namespace

namespace {

// Marks what it was given, so that the test sees which objects passed through it.
class MarkingCipher : public CPdfObjectCipher {
public:
    std::string EncryptObject(int32_t number, int32_t generation, std::string_view plain) override {
        return "[" + std::to_string(number) + " " + std::to_string(generation) + "]" + std::string(plain);
    }
};

TEST_F(OffsetTableTest, AnEncryptedOutputEncryptsNewObjectsAndKeepsEncrypt) {
    MarkingCipher cipher;
    for (const bool direct : {false, true}) {
        Start(3);
        writer().SetCipher(&cipher);
        EXPECT_EQ(writer().appendObject("\n(a)\n"), 3);
        writer().WriteObject(1, 0, {"1 0 obj\n(b)\nendobj\n"});  // an input object, as the input has it
        CPdfDictionary trailer;
        trailer.add("Root", CPdfObject::Reference(1, 0));
        if (direct) {
            CPdfObject encrypt;
            encrypt.setDictionary(nullptr);
            encrypt.getDict().add("Filter", CPdfObject::Name("Standard"));
            encrypt.getDict().add("O", Literal("o"));
            encrypt.getDict().add("P", CPdfObject::Integer(-4));
            trailer.add("Encrypt", encrypt);
        } else {
            trailer.add("Encrypt", CPdfObject::Reference(2, 0));
        }
        writer().writeTrailer(99, trailer);
        EXPECT_EQ(Bytes(),
                  "[3 0]3 0 obj\n(a)\nendobj\n1 0 obj\n(b)\nendobj\ntrailer\n<<\n/Size 4\n" +
                      std::string(direct ? "/Encrypt <</Filter /Standard /O <6f> /P -4 >>\n" : "/Encrypt 2 0 R\n") +
                      "/Root 1 0 R\n>>\nstartxref\n99\n%%EOF");
    }
}

}  // namespace
