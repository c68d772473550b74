#include "pdf/reader/RawObject.h"
#include "support/CopiedBytes.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/CByteSource.h"
#include "base/CPdfException.h"
#include "pdf/document/CPdfDocument.h"
#include "pdf/reader/CPdfXRef.h"
#include "support/CaseName.h"
#include "support/PdfBuilder.h"

namespace {

const std::string kCatalog = "<< /Type /Catalog /Pages 2 0 R >>";
const std::string kPages = "<< /Type /Pages /Kids [3 0 R] /Count 1 >>";
const std::string kPage = "<< /Type /Page /Parent 2 0 R /Resources << >> >>";

std::unique_ptr<CPdfDocument> Open(std::shared_ptr<CByteSource> source) {
    auto document = std::make_unique<CPdfDocument>();
    document->Open(std::move(source));
    return document;
}

std::unique_ptr<CPdfDocument> Open(const std::string& bytes) {
    return Open(std::make_shared<CMemoryByteSource>(bytes));
}

// The bytes an object written by PdfBuilder::Object has in the file.
std::string Written(int32_t number, const std::string& body, int32_t generation = 0) {
    return std::to_string(number) + " " + std::to_string(generation) + " obj\n" + body + "\nendobj\n";
}

// A classic table over `offsets` (number -> offset; numbers not named are
// free), with the trailer and startxref, for files the builder cannot make.
std::string TableFor(const std::map<int32_t, int64_t>& offsets, int64_t tableOffset) {
    const int32_t size = offsets.rbegin()->first + 1;
    std::string table = "xref\n0 " + std::to_string(size) + "\n";
    for (int32_t number = 0; number < size; ++number) {
        const auto found = offsets.find(number);
        table += found == offsets.end() ? XRefTableLine(0, number == 0 ? 65535 : 0, 'f')
                                        : XRefTableLine(found->second, 0, 'n');
    }
    return table + "trailer\n<< /Size " + std::to_string(size) + " /Root 1 0 R >>\nstartxref\n" +
           std::to_string(tableOffset) + "\n%%EOF\n";
}

// The document's three objects, then `object` as object 5 written as it
// stands, then a table.
std::string WithObject5(const std::string& object) {
    PdfBuilder pdf = OnePageObjects();
    const auto offset = static_cast<int64_t>(pdf.bytes().size());
    const std::string body = pdf.bytes() + object;
    return body + TableFor({{1, pdf.OffsetOf(1)}, {2, pdf.OffsetOf(2)}, {3, pdf.OffsetOf(3)}, {5, offset}},
                           static_cast<int64_t>(body.size()));
}

// The bytes in memory, handed out in aligned blocks of `block` bytes, as a
// file source hands out its cached blocks.
class CBlockByteSource : public CByteSource {
public:
    CBlockByteSource(std::string bytes, size_t block)
        : bytes_(std::make_shared<const std::string>(std::move(bytes))), block_(block) {}

    uint64_t Size() const override { return bytes_->size(); }
    ByteWindow Window(uint64_t offset) override {
        if (offset >= bytes_->size()) return {};
        const uint64_t end = std::min<uint64_t>((offset / block_ + 1) * block_, bytes_->size());
        return {bytes_, reinterpret_cast<const uint8_t*>(bytes_->data()) + offset, static_cast<size_t>(end - offset)};
    }

private:
    std::shared_ptr<const std::string> bytes_;
    size_t block_;
};

// Counts the windows asked for at each offset: a decoded object stream is
// read from its data's first byte once per decoding.
class CCountingByteSource : public CByteSource {
public:
    explicit CCountingByteSource(std::string bytes) : inner_(std::move(bytes)) {}

    uint64_t Size() const override { return inner_.Size(); }
    ByteWindow Window(uint64_t offset) override {
        ++windows_[offset];
        return inner_.Window(offset);
    }
    int WindowsAt(uint64_t offset) const {
        const auto found = windows_.find(offset);
        return found == windows_.end() ? 0 : found->second;
    }

private:
    CMemoryByteSource inner_;
    std::map<uint64_t, int> windows_;
};

// Where the data of the stream object `number` begins.
uint64_t DataStart(const PdfBuilder& pdf, int32_t number) {
    return pdf.bytes().find("stream\n", static_cast<size_t>(pdf.OffsetOf(number))) + 7;
}

// ---------------------------------------------------------------------------
// Objects in object streams: framed as plain objects

TEST(CompressedRawObjectTest, TheThirdMemberWithItsNewlineFramed) {
    PdfBuilder pdf = OnePageObjects();
    pdf.ObjectStream(4, {{5, "(first)"}, {6, "<< /Second 2 >>"}, {7, "[1 2 3]"}});
    auto document = Open(pdf.WithXRefStream(9, "/Root 1 0 R"));
    const auto bytes = CopiedBytes(document->xref(), 7);
    ASSERT_TRUE(bytes.has_value());
    EXPECT_EQ(*bytes, "7 0 obj\r[1 2 3]\nendobj\r");
    EXPECT_EQ(bytes->size(), std::string("[1 2 3]\n").size() + 15);
    EXPECT_EQ(CopiedBytes(document->xref(), 5), "5 0 obj\r(first)\nendobj\r");
}

TEST(CompressedRawObjectTest, TheGenerationWrittenIsAlwaysZeroAndNumbersKeepTheirDigits) {
    PdfBuilder pdf = OnePageObjects();
    pdf.ObjectStream(4, {{1234, "true"}});
    auto document = Open(pdf.WithXRefStream(9, "/Root 1 0 R"));
    EXPECT_EQ(CopiedBytes(document->xref(), 1234), "1234 0 obj\rtrue\nendobj\r");
}

// An object stream written by hand: header pairs, then the members' bytes.
void HandMadeObjectStream(PdfBuilder& pdf, int32_t number, int32_t count, const std::string& header,
                          const std::string& body, const std::string& extra = "") {
    pdf.Stream(number, "/Type /ObjStm /N " + std::to_string(count) + " /First " + std::to_string(header.size()) + extra,
               header + body);
}

TEST(CompressedRawObjectTest, TheLastMemberRunsStraightIntoEndobj) {
    PdfBuilder pdf = OnePageObjects();
    HandMadeObjectStream(pdf, 4, 2, "5 0 6 4 ", "(a)\n(last)");
    pdf.Compressed(5, 4, 0).Compressed(6, 4, 1);
    auto document = Open(pdf.WithXRefStream(9, "/Root 1 0 R"));
    EXPECT_EQ(CopiedBytes(document->xref(), 6), "6 0 obj\r(last)endobj\r");
    EXPECT_EQ(CopiedBytes(document->xref(), 5), "5 0 obj\r(a)\nendobj\r");
}

// A member keeps the first byte of the white space after it: the padding of
// a stream after its last member is not copied with it.
TEST(CompressedRawObjectTest, AMemberKeepsTheFirstByteOfTheWhiteSpaceAfterIt) {
    PdfBuilder pdf = OnePageObjects();
    HandMadeObjectStream(pdf, 4, 2, "5 1 6 9 ", "\n(a) \r\n\t (b)\r\n" + std::string(100000, ' '));
    pdf.Compressed(5, 4, 0).Compressed(6, 4, 1);
    auto document = Open(pdf.WithXRefStream(9, "/Root 1 0 R"));
    EXPECT_EQ(CopiedBytes(document->xref(), 5), "5 0 obj\r(a) endobj\r");
    EXPECT_EQ(CopiedBytes(document->xref(), 6), "6 0 obj\r(b)\rendobj\r");
}

struct MissingMemberCase {
    std::string name;
    int32_t number;
};

void PrintTo(const MissingMemberCase& value, std::ostream* os) { *os << value.name; }

class MissingMemberTest : public ::testing::TestWithParam<MissingMemberCase> {};

TEST_P(MissingMemberTest, YieldsNoBytes) {
    PdfBuilder pdf = OnePageObjects();
    pdf.ObjectStream(4, {{5, "(five)"}, {6, "(six)"}});
    pdf.Compressed(7, 4, 2);       // index beyond /N
    pdf.Compressed(8, 4, 1);       // index 1 holds object 6
    pdf.Compressed(10, 4, 65535);  // the largest index the rows can hold
    HandMadeObjectStream(pdf, 11, 3, "12 0 13 0 14 99 ", "(twelve)");
    pdf.Compressed(12, 11, 0);  // as long as the next member: no bytes
    pdf.Compressed(13, 11, 1);  // ends beyond the data
    pdf.Compressed(14, 11, 2);  // starts beyond the data
    HandMadeObjectStream(pdf, 15, 2, "16 6 17 0 ", "(a)\n(b)\n");
    pdf.Compressed(16, 15, 0);  // the next member starts before it
    HandMadeObjectStream(pdf, 18, 2, "19 0 /Twenty 3 ", "(a)(b)");
    pdf.Compressed(19, 18, 0);  // header pairs that are not all integers
    HandMadeObjectStream(pdf, 21, 1, "22 0 ", "(a)", " /Filter /LZWDecode");
    pdf.Compressed(22, 21, 0);  // a filter that is not decoded
    pdf.Object(23, "<< /Type /ObjStm /N 1 /First 5 >>");
    pdf.Compressed(24, 23, 0);  // "object stream" that is a dictionary
    pdf.Compressed(25, 26, 0);  // an object stream that is free
    pdf.Stream(27, "/Type /ObjStm /N 1.0 /First 5", "28 0 (a)");
    pdf.Compressed(28, 27, 0);  // /N a real
    pdf.Stream(29, "/Type /ObjStm /N 1", "30 0 (a)");
    pdf.Compressed(30, 29, 0);  // no /First
    pdf.Stream(31, "/Type /ObjStm /N 0 /First 5", "32 0 (a)");
    pdf.Compressed(32, 31, 0);  // /N 0
    pdf.Stream(33, "/Type /ObjStm /N 1 /First -1", "34 0 (a)");
    pdf.Compressed(34, 33, 0);       // /First negative
    pdf.Compressed(35, 9000000, 0);  // an object stream number beyond any object
    auto document = Open(pdf.WithXRefStream(40, "/Root 1 0 R"));
    EXPECT_EQ(CopiedBytes(document->xref(), GetParam().number), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MissingMemberTest,
    ::testing::Values(MissingMemberCase{"IndexBeyondN", 7}, MissingMemberCase{"IndexHoldsAnotherObject", 8},
                      MissingMemberCase{"LargestIndex", 10}, MissingMemberCase{"EmptyMember", 12},
                      MissingMemberCase{"MemberEndsBeyondTheData", 13}, MissingMemberCase{"MemberBeyondTheData", 14},
                      MissingMemberCase{"NextMemberStartsBefore", 16}, MissingMemberCase{"HeaderNotAllIntegers", 19},
                      MissingMemberCase{"FilterNotDecoded", 22}, MissingMemberCase{"StreamIsADictionary", 24},
                      MissingMemberCase{"StreamIsFree", 25}, MissingMemberCase{"NIsAReal", 28},
                      MissingMemberCase{"NoFirst", 30}, MissingMemberCase{"NIsZero", 32},
                      MissingMemberCase{"FirstNegative", 34}, MissingMemberCase{"StreamNumberTooLarge", 35},
                      MissingMemberCase{"FreeEntry", 39}, MissingMemberCase{"NegativeNumber", -1},
                      MissingMemberCase{"BeyondTheEntries", 41}),
    CaseName<MissingMemberCase>);

TEST(CompressedRawObjectTest, TheObjectStreamItselfIsCopiedAsItStands) {
    PdfBuilder pdf = OnePageObjects();
    pdf.ObjectStream(4, {{5, "(five)"}}, false);
    auto document = Open(pdf.WithXRefStream(9, "/Root 1 0 R"));
    const auto bytes = CopiedBytes(document->xref(), 4);
    ASSERT_TRUE(bytes.has_value());
    EXPECT_EQ(bytes->substr(0, 8), "4 0 obj\n");
    EXPECT_EQ(bytes->substr(bytes->size() - 18), "\nendstream\nendobj\n");
    EXPECT_NE(bytes->find("ObjStm"), std::string::npos);
    const auto location = LocateRawObject(document->xref(), 4);
    ASSERT_TRUE(location.has_value());
    EXPECT_TRUE(location->isObjectStream);
    EXPECT_FALSE(LocateRawObject(document->xref(), 9)->isObjectStream);  // the cross-reference stream
    EXPECT_FALSE(LocateRawObject(document->xref(), 1)->isObjectStream);
    EXPECT_EQ(LocateRawObject(document->xref(), 5), std::nullopt);  // compressed: no place in the file
}

TEST(CompressedRawObjectTest, ARequestWithAnotherGenerationGivesNothing) {
    PdfBuilder pdf = OnePageObjects();
    pdf.ObjectStream(4, {{5, "(five)"}});
    auto document = Open(pdf.WithXRefStream(9, "/Root 1 0 R"));
    EXPECT_EQ(document->xref().GetObjectStreamBytes(5, 1), std::nullopt);
    EXPECT_EQ(document->xref().GetObjectStreamBytes(5, 0), "(five)\n");
}

// ---------------------------------------------------------------------------
// Object streams are decoded once, not once per alternation

TEST(ObjectStreamCacheTest, AlternatingRequestsDecodeEachStreamOnce) {
    PdfBuilder pdf = OnePageObjects();
    pdf.ObjectStream(20, {{10, "(ten)"}, {12, "(twelve)"}});  // stream A
    pdf.ObjectStream(21, {{11, "(eleven)"}});                 // stream B
    auto source = std::make_shared<CCountingByteSource>(pdf.WithXRefStream(22, "/Root 1 0 R"));
    auto document = Open(source);
    EXPECT_EQ(CopiedBytes(document->xref(), 10), "10 0 obj\r(ten)\nendobj\r");
    EXPECT_EQ(CopiedBytes(document->xref(), 11), "11 0 obj\r(eleven)\nendobj\r");
    EXPECT_EQ(CopiedBytes(document->xref(), 12), "12 0 obj\r(twelve)\nendobj\r");
    EXPECT_EQ(source->WindowsAt(DataStart(pdf, 20)), 1);
    EXPECT_EQ(source->WindowsAt(DataStart(pdf, 21)), 1);
    // Fetch uses the same decoded streams.
    EXPECT_TRUE(document->xref().Fetch(12, 0).is(pdfString));
    EXPECT_TRUE(document->xref().Fetch(11, 0).is(pdfString));
    EXPECT_EQ(source->WindowsAt(DataStart(pdf, 20)), 1);
    EXPECT_EQ(source->WindowsAt(DataStart(pdf, 21)), 1);
}

TEST(ObjectStreamCacheTest, ReadingEveryObjectDecodesEveryStreamOnce) {
    // Members dealt out over four streams in turn, as some writers do.
    PdfBuilder pdf = OnePageObjects();
    std::vector<std::vector<std::pair<int32_t, std::string>>> members(4);
    for (int32_t number = 10; number < 90; ++number)
        members[static_cast<size_t>(number % 4)].emplace_back(number, "(" + std::to_string(number) + ")");
    for (int32_t stream = 0; stream < 4; ++stream) pdf.ObjectStream(100 + stream, members[static_cast<size_t>(stream)]);
    auto source = std::make_shared<CCountingByteSource>(pdf.WithXRefStream(104, "/Root 1 0 R"));
    auto document = Open(source);
    for (int32_t number = 0; number < static_cast<int32_t>(document->xref().entries().size()); ++number) {
        const auto bytes = CopiedBytes(document->xref(), number);
        if (number >= 10 && number < 90) {
            EXPECT_EQ(bytes, std::to_string(number) + " 0 obj\r(" + std::to_string(number) + ")\nendobj\r");
        }
    }
    for (int32_t stream = 100; stream < 104; ++stream)
        EXPECT_EQ(source->WindowsAt(DataStart(pdf, stream)), 1) << stream;
}

TEST(ObjectStreamCacheTest, TheCatalogsStreamIsNotDecodedAgainForCopying) {
    PdfBuilder pdf;
    pdf.Object(2, kPages);
    pdf.ObjectStream(4, {{1, kCatalog}, {3, kPage}});
    auto source = std::make_shared<CCountingByteSource>(pdf.WithXRefStream(5, "/Root 1 0 R"));
    auto document = Open(source);
    EXPECT_EQ(source->WindowsAt(DataStart(pdf, 4)), 1);
    EXPECT_EQ(CopiedBytes(document->xref(), 1), "1 0 obj\r" + kCatalog + "\nendobj\r");
    EXPECT_EQ(CopiedBytes(document->xref(), 3), "3 0 obj\r" + kPage + "\nendobj\r");
    EXPECT_EQ(source->WindowsAt(DataStart(pdf, 4)), 1);
}

// ---------------------------------------------------------------------------
// Objects in the file

struct InFileCase {
    std::string name;
    std::string object;                   // object 5 as written in the file
    std::optional<std::string> expected;  // its bytes, or nothing
};

void PrintTo(const InFileCase& value, std::ostream* os) { *os << value.name; }

std::vector<InFileCase> InFileCases() {
    const std::string endobjData = "BT (endobj) Tj ET endobj\n";
    const std::string stream = "5 0 obj\n<< /Length " + std::to_string(endobjData.size()) + " >>\nstream\n" +
                               endobjData + "endstream\nendobj\n";
    const std::string wrongLength = "5 0 obj\n<< /Length 3 >>\nstream\n" + endobjData + "endstream\nendobj\n";
    const std::string fakeEnd = "q endstream endobj Q";
    const auto withData = [&endobjData](const std::string& dictionary, const std::string& afterData) {
        return "5 0 obj\n" + dictionary + "\nstream\n" + endobjData + afterData + "endstream\nendobj\n";
    };
    const std::string length = std::to_string(endobjData.size());
    const std::string fakeEndStream =
        "5 0 obj\n<< /Length " + std::to_string(fakeEnd.size()) + " >>\nstream\n" + fakeEnd + "\nendstream\nendobj\n";
    return {
        {"EndsAfterTheLineFeed", "5 0 obj\n(five)\nendobj\nnext", "5 0 obj\n(five)\nendobj\n"},
        {"CarriageReturnLineFeedKeepsTheCarriageReturn", "5 0 obj\r\n42\r\nendobj\r\n", "5 0 obj\r\n42\r\nendobj\r"},
        {"OneByteMoreWhateverItIs", "5 0 obj 42 endobj%comment\n", "5 0 obj 42 endobj%"},
        {"GenerationIsNotLookedAt", "5 7 obj\n/Name\nendobj\n", "5 7 obj\n/Name\nendobj\n"},
        {"NoEndobjAfterItEndsAfterTheValueAndIsClosed", "5 0 obj\n<< /Unfinished true >>\n",
         "5 0 obj\n<< /Unfinished true >>\rendobj\r"},
        {"AnotherObjectsHeader", "6 0 obj\n(six)\nendobj\n", std::nullopt},
        {"ANumberThatStartsTheSame", "50 0 obj\n(fifty)\nendobj\n", std::nullopt},
        {"NoNumberAtAll", "obj\n(five)\nendobj\n", std::nullopt},
        {"WhitespaceBeforeTheNumber", "\r\n 5 0 obj\n1\nendobj\n", "\r\n 5 0 obj\n1\nendobj\n"},
        {"EndobjInAString", "5 0 obj\n<< /Title (endobj) /N 1 >>\nendobj\n",
         "5 0 obj\n<< /Title (endobj) /N 1 >>\nendobj\n"},
        {"EndobjInAnEscapedString", "5 0 obj\n(a\\) endobj \\( endobj)\nendobj\n",
         "5 0 obj\n(a\\) endobj \\( endobj)\nendobj\n"},
        {"EndobjInAComment", "5 0 obj % endobj\n(five)\nendobj\n", "5 0 obj % endobj\n(five)\nendobj\n"},
        {"EndobjInStreamData", stream, stream},
        {"EndstreamAndEndobjInStreamData", fakeEndStream, fakeEndStream},
        {"WrongLengthFallsBackToTheFirstEndobjAfterTheStream", wrongLength,
         wrongLength.substr(0, wrongLength.find("endobj") + 7)},
        {"NestedLengthIsNotTheStreams", withData("<< /DecodeParms << /Length 2 >> /Length " + length + " >>", ""),
         withData("<< /DecodeParms << /Length 2 >> /Length " + length + " >>", "")},
        {"TheFirstLengthCounts", withData("<< /Length " + length + " /Length 3 >>", ""),
         withData("<< /Length " + length + " /Length 3 >>", "")},
        {"CommentBeforeEndstream", withData("<< /Length " + length + " >>", "\r\n% a note\n  "),
         withData("<< /Length " + length + " >>", "\r\n% a note\n  ")},
        {"StreamLineEndingInACarriageReturn",
         "5 0 obj\n<< /Length " + length + " >>\nstream\r" + endobjData + "endstream\nendobj\n",
         "5 0 obj\n<< /Length " + length + " >>\nstream\r" + endobjData + "endstream\nendobj\n"},
        {"StreamInANameIsParsedToo", "5 0 obj\n<< /Substream true >>\nendobj\n",
         "5 0 obj\n<< /Substream true >>\nendobj\n"},
        {"AnUnendedStringFallsBack", "5 0 obj\n(unended endobj\n", "5 0 obj\n(unended endobj\n"},
        {"NoObjKeywordFallsBack", "5 0 (five) endobj\n", "5 0 (five) endobj\n"},
        {"ValueInAnArrayAfterAString", "5 0 obj [(a) (b endobj c)] endobj ", "5 0 obj [(a) (b endobj c)] endobj "},
        {"StringWithAnAngleRightAfterTheDictionaryOpens", "5 0 obj\n<</T (a>b endobj c)>>\nendobj\n",
         "5 0 obj\n<</T (a>b endobj c)>>\nendobj\n"},
        {"EndobjSplitByAComment", "5 0 obj\n2\ne%EOF\nndobj\n7 0 obj\n8\nendobj\n",
         "5 0 obj\n2\ne%EOF\nndobj\n7 0 obj\n8\nendobj\n"},
        {"EndobjSplitByAString", "5 0 obj [e(x)ndobj] endobj\n", "5 0 obj [e(x)ndobj] endobj\n"},
        {"AHexStringHoldsTheFirstParenthesis", "5 0 obj\n<< /A <<>> /B <4(> /T (endobj) >>\nendobj\n",
         "5 0 obj\n<< /A <<>> /B <4(> /T (endobj) >>\nendobj\n"},
    };
}

class InFileTest : public ::testing::TestWithParam<InFileCase> {};

TEST_P(InFileTest, BytesRunThroughEndobjAndOneByteMore) {
    auto document = Open(WithObject5(GetParam().object));
    EXPECT_EQ(CopiedBytes(document->xref(), 5), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, InFileTest, ::testing::ValuesIn(InFileCases()), CaseName<InFileCase>);

TEST(InFileTest, ObjectStreamsAreKnownByTheirType) {
    PdfBuilder pdf = OnePageObjects();
    pdf.Stream(5, "/Type /ObjStm /N 1 /First 4", "9 0 (nine)");
    pdf.Stream(6, "/Type /ObjStmX", "x");
    pdf.Stream(7, "/Subtype /ObjStm", "x");
    pdf.Object(8, "<< /Type /ObjStm >>");
    auto document = Open(pdf.WithXRefTable("/Root 1 0 R"));
    const auto located = [&document](int32_t number) { return LocateRawObject(document->xref(), number); };
    ASSERT_TRUE(located(5) && located(6) && located(7) && located(8));
    EXPECT_TRUE(located(5)->isObjectStream);
    EXPECT_TRUE(located(5)->isStream);
    EXPECT_FALSE(located(6)->isObjectStream);
    EXPECT_FALSE(located(7)->isObjectStream);
    EXPECT_FALSE(located(8)->isObjectStream);
    EXPECT_FALSE(located(8)->isStream);
}

// Objects whose places the cross-reference keeps in one slot, located in turn
// and again: each keeps its own bytes.
TEST(InFileTest, ObjectsLocatedAgainKeepTheirOwnBytes) {
    PdfBuilder pdf = OnePageObjects();
    pdf.Object(5, "(five)").Object(21, "<< /Length 2 >>\nstream\nxy\nendstream").Object(37, "[37]");
    auto document = Open(pdf.WithXRefTable("/Root 1 0 R"));
    const std::vector<std::pair<int32_t, std::string>> objects = {
        {5, Written(5, "(five)")}, {21, Written(21, "<< /Length 2 >>\nstream\nxy\nendstream")}, {37, Written(37, "[37]")}};
    for (int round = 0; round < 2; ++round) {
        for (const auto& [number, bytes] : objects) {
            EXPECT_EQ(CopiedBytes(document->xref(), number), bytes) << number;
            EXPECT_EQ(LocateRawObject(document->xref(), number)->isStream, number == 21) << number;
        }
    }
}

TEST(InFileTest, AStreamWithAnIndirectLength) {
    PdfBuilder pdf = OnePageObjects();
    pdf.Object(5, "<< /Length 6 0 R >>\nstream\nendobj endobj\nendstream").Object(6, "13");
    auto document = Open(pdf.WithXRefTable("/Root 1 0 R"));
    EXPECT_EQ(CopiedBytes(document->xref(), 5), Written(5, "<< /Length 6 0 R >>\nstream\nendobj endobj\nendstream"));
}

TEST(InFileTest, TheLastObjectOfTheFileEndsWithEndobj) {
    // Object 5 stands after startxref, at the very end.
    PdfBuilder pdf = OnePageObjects();
    const std::string body = pdf.bytes();
    const std::string object = "5 0 obj (last) endobj";
    // The table's length does not depend on the offsets it holds.
    std::string table = TableFor({{1, pdf.OffsetOf(1)}, {2, pdf.OffsetOf(2)}, {3, pdf.OffsetOf(3)}, {5, 0}},
                                 static_cast<int64_t>(body.size()));
    const auto objectOffset = static_cast<int64_t>(body.size() + table.size());
    table = TableFor({{1, pdf.OffsetOf(1)}, {2, pdf.OffsetOf(2)}, {3, pdf.OffsetOf(3)}, {5, objectOffset}},
                     static_cast<int64_t>(body.size()));
    auto document = Open(body + table + object);
    EXPECT_EQ(CopiedBytes(document->xref(), 5), object);
}

TEST(InFileTest, AnObjectLeftWithoutEndobjEndsAfterItsValueAndIsClosed) {
    // Objects 5 to 7 stand after startxref, none followed by "endobj": a
    // dictionary, a stream, and a header with no value.
    PdfBuilder pdf = OnePageObjects();
    const std::string body = pdf.bytes();
    const std::string dictionary = "5 0 obj << /A (endob) /B [1 2] >>";
    const std::string stream = "6 0 obj << /Length 3 >>\nstream\nabc\nendstream";
    const std::string empty = "7 0 obj ";
    std::map<int32_t, int64_t> offsets = {
        {1, pdf.OffsetOf(1)}, {2, pdf.OffsetOf(2)}, {3, pdf.OffsetOf(3)}, {5, 0}, {6, 0}, {7, 0}};
    const auto tableOffset = static_cast<int64_t>(body.size());
    const auto tail = static_cast<int64_t>(body.size() + TableFor(offsets, tableOffset).size());
    offsets[5] = tail;
    offsets[6] = tail + static_cast<int64_t>(dictionary.size()) + 1;
    offsets[7] = offsets[6] + static_cast<int64_t>(stream.size()) + 1;
    auto document = Open(body + TableFor(offsets, tableOffset) + dictionary + " " + stream + " " + empty + "%% no end");
    EXPECT_EQ(CopiedBytes(document->xref(), 5), dictionary + "\rendobj\r");
    EXPECT_EQ(CopiedBytes(document->xref(), 6), stream + "\rendobj\r");
    EXPECT_EQ(CopiedBytes(document->xref(), 7), std::nullopt);
    const auto location = LocateRawObject(document->xref(), 6);
    ASSERT_TRUE(location.has_value());
    EXPECT_TRUE(location->unclosed);
    EXPECT_TRUE(location->isStream);
    EXPECT_EQ(location->length, static_cast<int64_t>(stream.size()));
}

TEST(InFileTest, EntriesThatDoNotLeadToBytes) {
    PdfBuilder pdf = OnePageObjects();
    const std::string body = pdf.bytes();
    const std::string table = "xref\n0 4\n" + XRefTableLine(0, 65535, 'f') + XRefTableLine(pdf.OffsetOf(1), 0, 'n') +
                              XRefTableLine(pdf.OffsetOf(2), 0, 'n') + XRefTableLine(pdf.OffsetOf(3), 0, 'n') +
                              "4 1\n9999999999 00000 n \n5 1\n-5 0 n\n6 1\n" + XRefTableLine(0, 0, 'n') + "8 1\n" +
                              XRefTableLine(pdf.OffsetOf(1), 0, 'n') + "trailer\n<< /Root 1 0 R >>\nstartxref\n" +
                              std::to_string(body.size()) + "\n%%EOF\n";
    auto document = Open(body + table);
    EXPECT_EQ(CopiedBytes(document->xref(), 4), std::nullopt);  // beyond the end
    EXPECT_EQ(CopiedBytes(document->xref(), 5), std::nullopt);  // before the start
    EXPECT_EQ(CopiedBytes(document->xref(), 6), std::nullopt);  // the header, not object 6
    EXPECT_EQ(CopiedBytes(document->xref(), 7), std::nullopt);  // unset
    EXPECT_EQ(CopiedBytes(document->xref(), 8), std::nullopt);  // object 1's bytes
    EXPECT_EQ(CopiedBytes(document->xref(), 0), std::nullopt);  // free
    EXPECT_EQ(CopiedBytes(document->xref(), 9), std::nullopt);  // beyond the entries
    EXPECT_EQ(CopiedBytes(document->xref(), -3), std::nullopt);
    EXPECT_EQ(CopiedBytes(document->xref(), 1), Written(1, kCatalog));
}

TEST(InFileTest, BytesBeforeTheHeaderChangeNothing) {
    PdfBuilder pdf = OnePageObjects();
    pdf.Object(5, "<< /Length 12 >>\nstream\nendobj bytes\nendstream");
    const std::string file = pdf.WithXRefTable("/Root 1 0 R");
    auto plain = Open(file);
    auto shifted = Open(std::string(300, '\n') + "junk\n" + file);
    for (int32_t number = 0; number < 6; ++number)
        EXPECT_EQ(CopiedBytes(shifted->xref(), number), CopiedBytes(plain->xref(), number)) << number;
    EXPECT_EQ(CopiedBytes(shifted->xref(), 5), Written(5, "<< /Length 12 >>\nstream\nendobj bytes\nendstream"));
}

// ---------------------------------------------------------------------------
// "endobj" across the blocks in which the file is read

// Object 5 placed so that its "endobj" starts at `endobjAt`, padded with a
// long name (or, for a stream, with its data).
std::string EndobjAt(int64_t endobjAt, bool asStream, int32_t* padding = nullptr) {
    PdfBuilder pdf = OnePageObjects();
    const auto start = static_cast<int64_t>(pdf.bytes().size());
    const std::string head = asStream ? "5 0 obj\n<< /Length 0000000000 >>\nstream\n" : "5 0 obj\n<< /Pad /";
    const std::string tail = asStream ? "\nendstream\n" : " >>\n";
    const int64_t pad = endobjAt - start - static_cast<int64_t>(head.size() + tail.size());
    if (pad < 1) throw std::logic_error("object starts too late");
    std::string object = head + std::string(static_cast<size_t>(pad), asStream ? 'e' : 'a') + tail + "endobj\n";
    if (asStream) {
        const std::string length = std::to_string(pad);
        object.replace(object.find("0000000000") + 10 - length.size(), length.size(), length);
    }
    if (padding != nullptr) *padding = static_cast<int32_t>(pad);
    return pdf.bytes() + object +
           TableFor({{1, pdf.OffsetOf(1)}, {2, pdf.OffsetOf(2)}, {3, pdf.OffsetOf(3)}, {5, start}},
                    start + static_cast<int64_t>(object.size()));
}

// The expected bytes of object 5 in such a file.
std::string Object5Of(const std::string& file) {
    const size_t start = file.find("5 0 obj");
    const size_t end = file.find("endobj", start) + 7;
    return file.substr(start, end - start);
}

TEST(BlockBoundaryTest, EndobjAcrossBlocksOfEverySize) {
    for (size_t block : {1, 2, 5, 6, 7, 64, 1024}) {
        for (int64_t split = 0; split <= 6; ++split) {
            for (bool asStream : {false, true}) {
                SCOPED_TRACE("block " + std::to_string(block) + ", split " + std::to_string(split) +
                             (asStream ? ", stream" : ""));
                const std::string file = EndobjAt(2048 - split, asStream);
                auto document = Open(std::make_shared<CBlockByteSource>(file, block));
                EXPECT_EQ(CopiedBytes(document->xref(), 5), Object5Of(file));
            }
        }
    }
}

TEST(BlockBoundaryTest, EndobjAcrossThe1024ByteStepFromTheObjectsStart) {
    PdfBuilder pdf = OnePageObjects();
    const auto start = static_cast<int64_t>(pdf.bytes().size());
    for (int64_t split = 0; split <= 6; ++split) {
        const std::string file = EndobjAt(start + 1024 - split, false);
        auto document = Open(file);
        EXPECT_EQ(CopiedBytes(document->xref(), 5), Object5Of(file)) << split;
    }
}

TEST(BlockBoundaryTest, EndobjAcrossTheBlocksAndRunsOfAFile) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("brevano-raw-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    for (const int64_t boundary : {static_cast<int64_t>(CFileByteSource::kBlockSize),
                                   static_cast<int64_t>(CFileByteSource::kFirstRunSize), int64_t{65536}}) {
        for (int64_t split = 0; split <= 6; ++split) {
            for (bool asStream : {false, true}) {
                SCOPED_TRACE("split " + std::to_string(split) + (asStream ? ", stream" : ""));
                const std::string file = EndobjAt(boundary - split, asStream);
                const std::string path = (folder / "in.pdf").string();
                std::ofstream(path, std::ios::binary | std::ios::trunc) << file;
                CPdfDocument document;
                document.Open(path);
                EXPECT_EQ(CopiedBytes(document.xref(), 5), Object5Of(file));
            }
        }
    }
    std::filesystem::remove_all(folder);
}

}  // namespace
