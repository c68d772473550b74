#include "pdf/reader/ObjectStream.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/CByteSource.h"
#include "base/CPdfException.h"
#include "pdf/document/CPdfCatalog.h"
#include "pdf/document/CPdfDocument.h"
#include "pdf/object/CPdfArray.h"
#include "pdf/object/CPdfDictionary.h"
#include "pdf/reader/CPdfXRef.h"
#include "pdf/reader/RawObject.h"
#include "support/CaseName.h"
#include "support/CopiedBytes.h"
#include "support/PdfBuilder.h"

namespace {

// ---------------------------------------------------------------------------
// The decoded stream on its own

ObjectStreamCache Cache(const std::string& data, int32_t count, int64_t first) {
    ObjectStreamCache cache;
    cache.streamNumber = 4;
    cache.data = std::make_shared<const std::string>(data);
    cache.ParseHeader(nullptr, count, first);
    return cache;
}

TEST(ObjectStreamCacheTest, TheHeaderNamesTheMembersAndTheirOffsets) {
    const ObjectStreamCache cache = Cache("10 0 11 4 12 9 (a)\n/Bee\n[1 2]", 3, 15);
    EXPECT_EQ(cache.count, 3);
    EXPECT_EQ(cache.objectNumbers, (std::vector<int32_t>{10, 11, 12}));
    EXPECT_EQ(cache.offsets, (std::vector<int64_t>{0, 4, 9}));
    EXPECT_EQ(cache.first, 15);
    EXPECT_EQ(cache.MemberBytes(10, 0), "(a)\n");
    EXPECT_EQ(cache.MemberBytes(11, 1), "/Bee\n");
    EXPECT_EQ(cache.MemberBytes(12, 2), "[1 2]");  // the last member runs to the end of the data
    EXPECT_EQ(cache.MemberBytes(11, 0), std::nullopt);
    EXPECT_EQ(cache.MemberBytes(12, 3), std::nullopt);
    EXPECT_EQ(cache.MemberBytes(12, -1), std::nullopt);
    EXPECT_EQ(cache.MemoryUse(), cache.data->size() + 3 * 12);
}

struct HeaderCase {
    std::string name;
    std::string data;
    int32_t count;
    int64_t first;
    int32_t members;  // how many the header gives
};

void PrintTo(const HeaderCase& value, std::ostream* os) { *os << value.name; }

class ObjectStreamHeaderTest : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(ObjectStreamHeaderTest, GivesAllMembersOrNone) {
    const ObjectStreamCache cache = Cache(GetParam().data, GetParam().count, GetParam().first);
    EXPECT_EQ(cache.count, GetParam().members);
    EXPECT_EQ(cache.objectNumbers.size(), static_cast<size_t>(GetParam().members));
    EXPECT_EQ(cache.offsets.size(), static_cast<size_t>(GetParam().members));
}

INSTANTIATE_TEST_SUITE_P(Cases, ObjectStreamHeaderTest,
                         ::testing::Values(HeaderCase{"Complete", "5 0 6 2 1 2", 2, 8, 2},
                                           HeaderCase{"MorePairsThanN", "5 0 6 2 7 4 1 2 3", 2, 12, 2},
                                           HeaderCase{"FewerPairsThanN", "5 0 6 2 1 2", 3, 8, 0},
                                           HeaderCase{"ANameInAPair", "5 0 /Six 2 1 2", 2, 11, 0},
                                           HeaderCase{"ARealInAPair", "5 0 6 2.0 1 2", 2, 10, 0},
                                           HeaderCase{"ANullInAPair", "5 0 null 2 1 2", 2, 11, 0},
                                           HeaderCase{"TheHeaderEndsAtFirst", "5 0 6 2 1 2", 2, 4, 0},
                                           HeaderCase{"FirstBeyondTheData", "5 0 6 2", 2, 400, 2},
                                           HeaderCase{"NZero", "5 0 1", 0, 4, 0},
                                           HeaderCase{"NNegative", "5 0 1", -1, 4, 0},
                                           HeaderCase{"FirstNegative", "5 0 1", 1, -4, 0},
                                           HeaderCase{"EmptyData", "", 1, 0, 0}),
                         CaseName<HeaderCase>);

TEST(ObjectStreamCacheTest, MembersOutsideTheDataHaveNoBytes) {
    const ObjectStreamCache cache = Cache("5 -100 6 3 7 2 8 99 (abc)", 4, 20);
    EXPECT_EQ(cache.count, 4);
    EXPECT_EQ(cache.MemberBytes(5, 0), std::nullopt);  // starts before the data
    EXPECT_EQ(cache.MemberBytes(6, 1), std::nullopt);  // the next member starts earlier
    EXPECT_EQ(cache.MemberBytes(7, 2), std::nullopt);  // the next member starts beyond the data
    EXPECT_EQ(cache.MemberBytes(8, 3), std::nullopt);  // starts beyond the data
    EXPECT_TRUE(cache.ParseMember(nullptr, 8, 3).is(pdfNull));
}

TEST(ObjectStreamCacheTest, OffsetsAtTheEndOfTheIntegerRangeLeadNowhere) {
    const ObjectStreamCache huge = Cache("5 7 6 2147483647 (a)", 2, INT64_MAX);
    EXPECT_EQ(huge.count, 2);
    EXPECT_EQ(huge.MemberBytes(5, 0), std::nullopt);
    EXPECT_EQ(huge.MemberBytes(6, 1), std::nullopt);
    EXPECT_TRUE(huge.ParseMember(nullptr, 6, 1).is(pdfNull));
    const ObjectStreamCache negative = Cache("5 -2147483648 6 2147483647 (a)", 2, 29);
    EXPECT_EQ(negative.MemberBytes(5, 0), std::nullopt);
    EXPECT_EQ(negative.MemberBytes(6, 1), std::nullopt);
}

TEST(ObjectStreamCacheTest, AMemberIsParsedFromItsOwnBytesOnly) {
    // Member 5 is "[1 " and member 6 "2]": the first must not take the second's 2.
    const ObjectStreamCache cache = Cache("5 0 6 3 [1 2]", 2, 8);
    const CPdfObject first = cache.ParseMember(nullptr, 5, 0);
    ASSERT_TRUE(first.is(pdfArray));
    EXPECT_EQ(first.getArray().getLength(), 1u);
    EXPECT_EQ(cache.ParseMember(nullptr, 6, 1).getInt(), 2);
}

TEST(ObjectStreamCacheTest, ValuesOfEveryKind) {
    const std::string body = "42\n/Name\n(text)\n<< /K [1 2] >>\n7 0 R\nnull\n-1.5\ntrue\n";
    std::string header;
    std::vector<size_t> starts;
    size_t at = 0;
    for (size_t next = body.find('\n'); next != std::string::npos; next = body.find('\n', at)) {
        starts.push_back(at);
        at = next + 1;
    }
    for (size_t i = 0; i < starts.size(); ++i) header += std::to_string(10 + i) + " " + std::to_string(starts[i]) + " ";
    const ObjectStreamCache cache =
        Cache(header + body, static_cast<int32_t>(starts.size()), static_cast<int64_t>(header.size()));
    ASSERT_EQ(cache.count, 8);
    EXPECT_EQ(cache.ParseMember(nullptr, 10, 0).getInt(), 42);
    EXPECT_EQ(cache.ParseMember(nullptr, 11, 1).getName(), "Name");
    EXPECT_EQ(cache.ParseMember(nullptr, 12, 2).getString().data(), "text");
    EXPECT_TRUE(cache.ParseMember(nullptr, 13, 3).getDict().lookup("K").is(pdfArray));
    EXPECT_EQ(cache.ParseMember(nullptr, 14, 4).getRef(), (PdfReference{7, 0}));
    EXPECT_TRUE(cache.ParseMember(nullptr, 15, 5).is(pdfNull));
    EXPECT_EQ(cache.ParseMember(nullptr, 16, 6).getReal(), -1.5);
    EXPECT_TRUE(cache.ParseMember(nullptr, 17, 7).getBool());
    EXPECT_TRUE(cache.ParseMember(nullptr, 17, 6).is(pdfNull));  // another object at that index
}

TEST(ObjectStreamCacheTest, AStreamInsideAnObjectStreamIsAnError) {
    const ObjectStreamCache cache = Cache("5 0 << /Length 3 >>\nstream\nabc\nendstream\n", 1, 4);
    EXPECT_TRUE(cache.ParseMember(nullptr, 5, 0).is(pdfError));
}

// ---------------------------------------------------------------------------
// Object streams in documents

const std::string kCatalog = "<< /Type /Catalog /Pages 2 0 R >>";
const std::string kPages = "<< /Type /Pages /Kids [3 0 R] /Count 1 >>";
const std::string kPage = "<< /Type /Page /Parent 2 0 R /Resources << >> >>";

std::unique_ptr<CPdfDocument> Open(const std::string& bytes) {
    auto document = std::make_unique<CPdfDocument>();
    document->Open(std::make_shared<CMemoryByteSource>(bytes));
    return document;
}

TEST(ObjectStreamTest, PagesAndCatalogInAnObjectStream) {
    for (bool compress : {true, false}) {
        PdfBuilder pdf;
        pdf.ObjectStream(4, {{1, kCatalog}, {2, kPages}, {3, kPage}}, compress);
        auto document = Open(pdf.WithXRefStream(5, "/Root 1 0 R", compress));
        EXPECT_EQ(document->catalog().pages().size(), 1u);
        EXPECT_EQ(CopiedBytes(document->xref(), 2), "2 0 obj\r" + kPages + "\nendobj\r");
    }
}

TEST(ObjectStreamTest, HeaderPairsNotAllIntegersMakeEveryMemberNull) {
    PdfBuilder pdf = OnePageObjects();
    const std::string header = "5 0 6 4 7 (8) ";
    pdf.Stream(4, "/Type /ObjStm /N 3 /First " + std::to_string(header.size()), header + "(a)\n(b)\n(c)\n");
    pdf.Compressed(5, 4, 0).Compressed(6, 4, 1).Compressed(7, 4, 2);
    auto document = Open(pdf.WithXRefStream(9, "/Root 1 0 R"));
    for (int32_t number : {5, 6, 7}) {
        EXPECT_TRUE(document->xref().Fetch(number, 0).is(pdfNull)) << number;
        EXPECT_EQ(CopiedBytes(document->xref(), number), std::nullopt) << number;
    }
}

TEST(ObjectStreamTest, IndirectNFirstAndLength) {
    PdfBuilder pdf = OnePageObjects();
    const std::string data = Deflate("5 0 6 4 (a)\n(b)\n");
    pdf.Object(4, "<< /Type /ObjStm /N 10 0 R /First 11 0 R /Filter /FlateDecode /Length 12 0 R >>\nstream\n" + data +
                      "\nendstream");
    pdf.Object(10, "2").Object(11, "8").Object(12, std::to_string(data.size()));
    pdf.Compressed(5, 4, 0).Compressed(6, 4, 1);
    auto document = Open(pdf.WithXRefStream(9, "/Root 1 0 R"));
    EXPECT_EQ(document->xref().Fetch(6, 0).getString().data(), "b");
    EXPECT_EQ(CopiedBytes(document->xref(), 5), "5 0 obj\r(a)\nendobj\r");
}

TEST(ObjectStreamTest, MembersAreParsedWithReferencesResolvedLater) {
    PdfBuilder pdf;
    pdf.Object(1, kCatalog).Object(2, kPages);
    pdf.ObjectStream(4, {{3, "<< /Type /Page /Resources 5 0 R /Rotate 6 0 R >>"}, {5, "<< /Font << >> >>"}, {6, "90"}});
    auto document = Open(pdf.WithXRefStream(9, "/Root 1 0 R"));
    ASSERT_EQ(document->catalog().pages().size(), 1u);
    EXPECT_EQ(document->catalog().pages()[0].rotate, 90);
    const CPdfObject page = document->xref().Fetch(3, 0);
    EXPECT_TRUE(page.getDict().lookup("Resources").getDict().lookup("Font").is(pdfDictionary));
}

// zlib data of `head` followed by `count` spaces, made without holding the spaces.
std::string DeflateWithSpaces(const std::string& head, size_t count) {
    z_stream zlib{};
    if (deflateInit(&zlib, 1) != Z_OK) throw std::runtime_error("deflateInit failed");
    std::string out;
    const std::string spaces(1 << 20, ' ');
    unsigned char buffer[1 << 16];
    const auto feed = [&](const std::string& input, size_t length, int flush) {
        zlib.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data()));
        zlib.avail_in = static_cast<uInt>(length);
        do {
            zlib.next_out = buffer;
            zlib.avail_out = sizeof buffer;
            deflate(&zlib, flush);
            out.append(reinterpret_cast<char*>(buffer), sizeof buffer - zlib.avail_out);
        } while (zlib.avail_out == 0);
    };
    feed(head, head.size(), Z_NO_FLUSH);
    for (size_t left = count; left > 0;) {
        const size_t step = std::min(left, spaces.size());
        feed(spaces, step, Z_NO_FLUSH);
        left -= step;
    }
    feed(spaces, 0, Z_FINISH);
    deflateEnd(&zlib);
    return out;
}

// Object 5 in object stream 4, whose decoded data is `size` bytes long.
std::string FileWithObjectStreamOfSize(size_t size) {
    const std::string head = "5 0 (five)";
    PdfBuilder pdf = OnePageObjects();
    pdf.Stream(4, "/Type /ObjStm /N 1 /First 4 /Filter /FlateDecode", DeflateWithSpaces(head, size - head.size()));
    pdf.Compressed(5, 4, 0);
    return pdf.WithXRefStream(9, "/Root 1 0 R");
}

TEST(ObjectStreamTest, DecodedObjectStreamsHaveALimit) {
    {
        auto document = Open(FileWithObjectStreamOfSize(CPdfXRef::kMaxObjectStreamSize));
        EXPECT_EQ(document->xref().Fetch(5, 0).getString().data(), "five");
    }
    // One byte more: raw access fails (the open does not need the stream).
    auto document = Open(FileWithObjectStreamOfSize(CPdfXRef::kMaxObjectStreamSize + 1));
    try {
        CopiedBytes(document->xref(), 5);
        ADD_FAILURE() << "no failure";
    } catch (const CPdfException& failure) {
        EXPECT_STREQ(failure.GetMessage(), "Object stream is too large");
    }
}

// Through Fetch, when the catalog lives in such a stream.
TEST(ObjectStreamTest, ATooLargeObjectStreamHoldingTheCatalogFailsTheOpen) {
    const std::string head = "1 0 " + kCatalog;
    PdfBuilder pdf;
    pdf.Object(2, kPages).Object(3, kPage);
    pdf.Stream(4, "/Type /ObjStm /N 1 /First 4 /Filter /FlateDecode",
               DeflateWithSpaces(head, CPdfXRef::kMaxObjectStreamSize));
    pdf.Compressed(1, 4, 0);
    CPdfDocument document;
    try {
        document.Open(std::make_shared<CMemoryByteSource>(pdf.WithXRefStream(9, "/Root 1 0 R")));
        ADD_FAILURE() << "opened";
    } catch (const CPdfException& failure) {
        EXPECT_STREQ(failure.GetMessage(), "Object stream is too large");
    }
    EXPECT_FALSE(document.isOpen());
}

}  // namespace
