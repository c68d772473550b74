#include "pdf/reader/CPdfXRef.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "base/CByteSource.h"
#include "base/CPdfException.h"
#include "pdf/document/CPdfCatalog.h"
#include "pdf/document/CPdfDocument.h"
#include "pdf/object/CPdfArray.h"
#include "pdf/object/CPdfDictionary.h"
#include "pdf/reader/CPdfFileStream.h"
#include "pdf/reader/RawObject.h"
#include "support/CaseName.h"
#include "support/CopiedBytes.h"
#include "support/PdfBuilder.h"

namespace {

// ---------------------------------------------------------------------------
// Building and opening documents

const std::string kCatalog = "<< /Type /Catalog /Pages 2 0 R >>";
const std::string kPages = "<< /Type /Pages /Kids [3 0 R] /Count 1 >>";
const std::string kPage = "<< /Type /Page /Parent 2 0 R /Resources << >> >>";

std::string WithTable(PdfBuilder pdf) { return pdf.WithXRefTable("/Root 1 0 R"); }

std::unique_ptr<CPdfDocument> Open(const std::string& bytes) {
    auto document = std::make_unique<CPdfDocument>();
    document->Open(std::make_shared<CMemoryByteSource>(bytes));
    return document;
}

// The message the open fails with; empty when it succeeds.
std::string OpenFailure(const std::string& bytes) {
    CPdfDocument document;
    try {
        document.Open(std::make_shared<CMemoryByteSource>(bytes));
    } catch (const CPdfException& failure) {
        EXPECT_FALSE(document.isOpen());
        return failure.GetMessage();
    }
    EXPECT_TRUE(document.isOpen());
    return {};
}

// A value as short text, for comparisons: 42, /Name, (string), null, [..],
// <<..>> with its keys, stream, error.
std::string Describe(const CPdfObject& value) {
    switch (value.kind()) {
        case pdfBoolean:
            return value.getBool() ? "true" : "false";
        case pdfInteger:
            return std::to_string(value.getInt64());
        case pdfReal:
            return "real";
        case pdfString:
            return "(" + value.getString().data() + ")";
        case pdfName:
            return "/" + value.getName();
        case pdfNull:
            return "null";
        case pdfArray:
            return "[" + std::to_string(value.getArray().getLength()) + "]";
        case pdfDictionary: {
            std::string keys;
            for (const auto& entry : value.getDict().entries()) keys += " /" + entry.first;
            return "<<" + keys + " >>";
        }
        case pdfStream:
            return "stream";
        case pdfReference:
            return std::to_string(value.getRef().number) + " R";
        case pdfError:
            return "error";
        default:
            return "other";
    }
}

std::string FetchText(CPdfDocument& document, int32_t number, int32_t generation = 0) {
    return Describe(document.xref().Fetch(number, generation));
}

// The bytes of a stream value, decoded.
std::string StreamData(const CPdfObject& value) {
    std::string data;
    CPdfStream& stream = value.getStream();
    for (int c = stream.GetChar(); c >= 0; c = stream.GetChar()) data += static_cast<char>(c);
    return data;
}

// A file from the three document objects plus `tail`, the section the test
// writes itself; {X} in the tail stands for the offset where the tail starts.
std::string DocumentWith(const std::string& tail) {
    const std::string body = OnePageObjects().bytes();
    std::string text = tail;
    for (size_t at = text.find("{X}"); at != std::string::npos; at = text.find("{X}"))
        text.replace(at, 3, std::to_string(body.size()));
    return body + text;
}

// The rows of a table over objects 0 to 3 of OnePageObjects().
std::string TableRows() {
    const PdfBuilder pdf = OnePageObjects();
    return XRefTableLine(0, 65535, 'f') + XRefTableLine(pdf.OffsetOf(1), 0, 'n') +
           XRefTableLine(pdf.OffsetOf(2), 0, 'n') + XRefTableLine(pdf.OffsetOf(3), 0, 'n');
}

// A cross-reference stream object 4 with the given dictionary entries (besides
// /Type and /Length) and rows, and startxref pointing at it.
std::string WithXRefStreamRows(PdfBuilder pdf, const std::string& entries, const std::string& rows) {
    const int64_t start = static_cast<int64_t>(pdf.bytes().size());
    pdf.Stream(4, "/Type /XRef " + entries, rows);
    return pdf.WithStartXRef(start);
}

// Rows W [1 2 1] for objects 0 to 3 of OnePageObjects(), then the row of object 4,
// the cross-reference stream itself at `streamOffset`.
std::string StreamRows(const PdfBuilder& pdf, int64_t streamOffset) {
    const std::array<int, 3> w{1, 2, 1};
    return XRefStreamRow(w, 0, 0, 255) + XRefStreamRow(w, 1, static_cast<uint64_t>(pdf.OffsetOf(1)), 0) +
           XRefStreamRow(w, 1, static_cast<uint64_t>(pdf.OffsetOf(2)), 0) +
           XRefStreamRow(w, 1, static_cast<uint64_t>(pdf.OffsetOf(3)), 0) +
           XRefStreamRow(w, 1, static_cast<uint64_t>(streamOffset), 0);
}

// ---------------------------------------------------------------------------
// Finding startxref

struct StartXRefCase {
    std::string name;
    std::string bytes;
    int64_t expected;
};

void PrintTo(const StartXRefCase& value, std::ostream* os) { *os << value.name; }

std::vector<StartXRefCase> StartXRefCases() {
    const std::string kept = "startxref 9" + std::string(1012, ' ');  // keyword 1023 bytes from the end
    const std::string lost = "startxref 9" + std::string(1013, ' ');  // one byte further out
    return {
        {"ShortFileIsReadWhole", "startxref\n12\n%%EOF", 12},
        {"LaterKeywordCounts", "startxref 10\n%%EOF\nstartxref 20\n%%EOF\n", 20},
        {"LaterKeywordCountsEvenWhenSmaller", "startxref 700\nstartxref 7\n", 7},
        {"NoKeyword", "xref 0 0 trailer << >> 123", 0},
        {"NoDigits", "startxref\n%%EOF", 0},
        {"ZeroBytesReadAsSpaces", std::string("startxref\0\0 77", 14), 77},
        {"WhitespaceKinds", "startxref\r\n\t\f 5", 5},
        {"DigitsStopAtOtherBytes", "startxref 12x4", 12},
        {"SignIsNoDigit", "startxref -12", 0},
        {"KeywordAtTheWindowStart", std::string(500, 'x') + kept, 9},
        {"KeywordJustOutsideTheWindow", std::string(500, 'x') + lost, 0},
        {"KeywordCutByTheWindow", std::string(500, 'x') + "startxref 9" + std::string(1015, ' '), 0},
        {"SixtyFourBitValue", "startxref 6000000000", 6000000000},
        {"EmptyFile", "", 0},
    };
}

class StartXRefTest : public ::testing::TestWithParam<StartXRefCase> {};

TEST_P(StartXRefTest, FindsTheLastValueInTheLast1023Bytes) {
    CPdfFileStream file(std::make_shared<CMemoryByteSource>(GetParam().bytes), 0, 0, CPdfObject::Null());
    EXPECT_EQ(CPdfXRef::FindStartXRef(file), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, StartXRefTest, ::testing::ValuesIn(StartXRefCases()), CaseName<StartXRefCase>);

TEST(StartXRefTest, AnEndlessNumberDoesNotOverflow) {
    CPdfFileStream file(std::make_shared<CMemoryByteSource>("startxref " + std::string(40, '9')), 0, 0,
                        CPdfObject::Null());
    EXPECT_GT(CPdfXRef::FindStartXRef(file), 0);
}

TEST(StartXRefTest, TwoKeywordsInAFileTheLaterCounts) {
    // The file's real section first, then a second startxref pointing at
    // nothing: the later one counts and the open fails.
    const std::string good = WithTable(OnePageObjects());
    EXPECT_EQ(OpenFailure(good), "");
    EXPECT_EQ(OpenFailure(good + "startxref\n3\n%%EOF\n"), "Couldn't parse an xref");
    // And the other way round: a stale startxref first, the real one last.
    PdfBuilder pdf = OnePageObjects();
    pdf.Raw("startxref\n3\n%%EOF\n");
    EXPECT_EQ(OpenFailure(WithTable(pdf)), "");
}

// ---------------------------------------------------------------------------
// Failures of the load, one line each

struct FailureCase {
    std::string name;
    std::string bytes;
    std::string message;
};

void PrintTo(const FailureCase& value, std::ostream* os) { *os << value.name; }

std::string XRefStreamFile(const std::string& entries, const std::string& rows) {
    return WithXRefStreamRows(OnePageObjects(), entries, rows);
}

std::vector<FailureCase> FailureCases() {
    const std::string rows = TableRows();
    const std::array<int, 3> w121{1, 2, 1};
    const std::string row = XRefStreamRow(w121, 1, 9, 0);
    const std::string fourRows = row + row + row + row;

    PdfBuilder older = OnePageObjects();
    const std::string olderFile = older.WithXRefTable("/Root 1 0 R");
    PdfBuilder newer(olderFile);
    newer.Object(4, "(new)");
    const std::string rootOnlyInOlder = newer.WithXRefUpdate("/Prev " + std::to_string(LastStartXRef(olderFile)));

    return {
        // No usable startxref, no /Root.
        {"NoStartXRef", DocumentWith("xref\n0 4\n" + rows + "trailer\n<< /Root 1 0 R >>\n"), "PDF file was damaged"},
        {"StartXRefZero", OnePageObjects().WithStartXRef(0), "PDF file was damaged"},
        {"StartXRefWithoutDigits", DocumentWith("startxref\n%%EOF\n"), "PDF file was damaged"},
        {"StartXRefBeyondTheLast1023Bytes", WithTable(OnePageObjects()) + std::string(1100, ' '),
         "PDF file was damaged"},
        {"TrailerWithoutRoot", OnePageObjects().WithXRefTable("/Info 1 0 R"), "PDF file was damaged"},
        {"RootNotAReference", OnePageObjects().WithXRefTable("/Root << /Pages 2 0 R >>"), "PDF file was damaged"},
        {"RootAnInteger", OnePageObjects().WithXRefTable("/Root 1"), "PDF file was damaged"},
        {"RootOnlyInTheOlderTrailer", rootOnlyInOlder, "PDF file was damaged"},
        {"XRefStreamWithoutRoot", XRefStreamFile("/Size 4 /W [1 2 1]", fourRows), "PDF file was damaged"},

        // The value at the section offset.
        {"SectionAtAName", DocumentWith("/xref\nstartxref\n{X}\n%%EOF\n"), "Couldn't parse an xref"},
        {"SectionAtAnotherKeyword", DocumentWith("xrefs\nstartxref\n{X}\n%%EOF\n"), "Couldn't parse an xref"},
        {"SectionAtAReference", DocumentWith("9 0 R\nstartxref\n{X}\n%%EOF\n"), "Couldn't parse an xref"},
        {"SectionBeyondTheEnd", OnePageObjects().WithStartXRef(99999), "Couldn't parse an xref"},
        {"IntegerThenName", DocumentWith("9 /Zero obj\nstartxref\n{X}\n%%EOF\n"), "Couldn't parse an xref stream"},
        {"NoObjKeyword", DocumentWith("9 0 xobj\nstartxref\n{X}\n%%EOF\n"), "Couldn't parse an xref stream"},
        {"ObjectIsADictionary",
         DocumentWith("9 0 obj\n<< /Type /XRef /Size 4 /W [1 2 1] /Root 1 0 R >>\nendobj\nstartxref\n{X}\n%%EOF\n"),
         "Couldn't parse an xref stream"},
        {"StreamWithIndirectLength",
         DocumentWith("9 0 obj\n<< /Type /XRef /Size 4 /W [1 2 1] /Root 1 0 R /Length 8 0 R >>\nstream\n" + fourRows +
                      "\nendstream\nendobj\n8 0 obj 16 endobj\nstartxref\n{X}\n%%EOF\n"),
         "Couldn't parse an xref stream"},
        {"StreamFilterNotDecoded", XRefStreamFile("/Size 4 /W [1 2 1] /Root 1 0 R /Filter /LZWDecode", fourRows),
         "Couldn't parse an xref stream"},
        {"StreamFilterChain",
         XRefStreamFile("/Size 4 /W [1 2 1] /Root 1 0 R /Filter [/FlateDecode /FlateDecode]",
                        Deflate(Deflate(fourRows))),
         "Couldn't parse an xref stream"},
        {"ObjWithoutValue", DocumentWith("9 0 obj\nstartxref\n{X}\n%%EOF\n"), "Couldn't parse an xref stream"},

        // Classic tables.
        {"TableRowWithAnotherKeyword",
         DocumentWith("xref\n0 2\n" + XRefTableLine(0, 65535, 'f') + XRefTableLine(9, 0, 'x') +
                      "trailer\n<< /Root 1 0 R >>\nstartxref\n{X}\n%%EOF\n"),
         "Couldn't parse an xref table"},
        {"TableCountNotAnInteger",
         DocumentWith("xref\n0 four\n" + rows + "trailer\n<< /Root 1 0 R >>\nstartxref\n{X}\n%%EOF\n"),
         "Couldn't parse an xref table"},
        {"TableOffsetNotAnInteger",
         DocumentWith("xref\n0 1\n0000000000.5 65535 f \ntrailer\n<< /Root 1 0 R >>\nstartxref\n{X}\n%%EOF\n"),
         "Couldn't parse an xref table"},
        {"TableOffsetWithAByteJustPastTheDigits",
         DocumentWith("xref\n0 1\n00000:0000 65535 f \ntrailer\n<< /Root 1 0 R >>\nstartxref\n{X}\n%%EOF\n"),
         "Couldn't parse an xref table"},
        {"TableOffsetWithAByteJustBeforeTheDigits",
         DocumentWith("xref\n0 1\n0/00000000 65535 f \ntrailer\n<< /Root 1 0 R >>\nstartxref\n{X}\n%%EOF\n"),
         "Couldn't parse an xref table"},
        {"TableWithoutTrailer", DocumentWith("xref\n0 4\n" + rows + "startxref\n{X}\n%%EOF\n"),
         "Couldn't parse an xref table"},
        {"TableWithFewerRowsThanItsCount",
         DocumentWith("xref\n0 5\n" + rows + "trailer\n<< /Root 1 0 R >>\nstartxref\n{X}\n%%EOF\n"),
         "Couldn't parse an xref table"},
        {"TableNegativeFirst",
         DocumentWith("xref\n-1 1\n" + XRefTableLine(0, 0, 'f') +
                      "trailer\n<< /Root 1 0 R >>\nstartxref\n{X}\n%%EOF\n"),
         "Couldn't parse an xref table"},
        {"TableNegativeCount", DocumentWith("xref\n0 -1\ntrailer\n<< /Root 1 0 R >>\nstartxref\n{X}\n%%EOF\n"),
         "Couldn't parse an xref table"},
        {"TableBeyondTheLargestObjectNumber",
         DocumentWith("xref\n0 4\n" + rows + "8388607 2\n" + XRefTableLine(0, 0, 'f') + XRefTableLine(0, 0, 'f') +
                      "trailer\n<< /Root 1 0 R >>\nstartxref\n{X}\n%%EOF\n"),
         "Couldn't parse an xref table"},
        {"TableHugeCount",
         DocumentWith("xref\n0 4294967296\n" + rows + "trailer\n<< /Root 1 0 R >>\nstartxref\n{X}\n%%EOF\n"),
         "Couldn't parse an xref table"},
        {"TrailerAnArray", DocumentWith("xref\n0 4\n" + rows + "trailer\n[/Root 1 0 R]\nstartxref\n{X}\n%%EOF\n"),
         "Trailer dictionary is wrong type"},
        {"TrailerAName", DocumentWith("xref\n0 4\n" + rows + "trailer\n/Root\nstartxref\n{X}\n%%EOF\n"),
         "Trailer dictionary is wrong type"},

        // Cross-reference streams.
        {"SizeMissing", XRefStreamFile("/W [1 2 1] /Root 1 0 R", fourRows), "Size of xref Stream is wrong type"},
        {"SizeAReal", XRefStreamFile("/Size 4.0 /W [1 2 1] /Root 1 0 R", fourRows),
         "Size of xref Stream is wrong type"},
        {"SizeIndirect", XRefStreamFile("/Size 4 0 R /W [1 2 1] /Root 1 0 R", fourRows),
         "Size of xref Stream is wrong type"},
        {"SizeBeyondTheLargestObjectNumber", XRefStreamFile("/Size 8388609 /W [1 2 1] /Root 1 0 R", fourRows),
         "Size of xref Stream is wrong type"},
        {"WMissing", XRefStreamFile("/Size 4 /Root 1 0 R", fourRows), "W item of xref Stream is wrong type"},
        {"WAnInteger", XRefStreamFile("/Size 4 /W 4 /Root 1 0 R", fourRows), "W item of xref Stream is wrong type"},
        {"WWithAName", XRefStreamFile("/Size 4 /W [1 /Two 1] /Root 1 0 R", fourRows),
         "W item of xref Stream is wrong type"},
        {"WWithAReal", XRefStreamFile("/Size 4 /W [1 2.0 1] /Root 1 0 R", fourRows),
         "W item of xref Stream is wrong type"},
        {"WWiderThanEight", XRefStreamFile("/Size 4 /W [1 9 1] /Root 1 0 R", fourRows),
         "W item of xref Stream is wrong type"},
        {"WNegative", XRefStreamFile("/Size 4 /W [1 -2 1] /Root 1 0 R", fourRows),
         "W item of xref Stream is wrong type"},
        {"WOfTwo", XRefStreamFile("/Size 4 /W [1 2] /Root 1 0 R", fourRows), "W item of xref Stream is wrong length"},
        {"WEmpty", XRefStreamFile("/Size 4 /W [] /Root 1 0 R", fourRows), "W item of xref Stream is wrong length"},
        {"IndexWithAName", XRefStreamFile("/Size 4 /W [1 2 1] /Index [0 /Four] /Root 1 0 R", fourRows),
         "Index item of xref Stream is wrong type"},
        {"IndexWithAReal", XRefStreamFile("/Size 4 /W [1 2 1] /Index [0.0 4] /Root 1 0 R", fourRows),
         "Index item of xref Stream is wrong type"},
        {"IndexNegativeFirst", XRefStreamFile("/Size 4 /W [1 2 1] /Index [-1 4] /Root 1 0 R", fourRows),
         "Index item of xref Stream is wrong type"},
        {"IndexNegativeCount", XRefStreamFile("/Size 4 /W [1 2 1] /Index [0 -4] /Root 1 0 R", fourRows),
         "Index item of xref Stream is wrong type"},
        {"IndexBeyondTheLargestObjectNumber",
         XRefStreamFile("/Size 4 /W [1 2 1] /Index [8388607 2] /Root 1 0 R", fourRows),
         "Index item of xref Stream is wrong type"},
        {"IndexHugeCount", XRefStreamFile("/Size 4 /W [1 2 1] /Index [0 4294967300] /Root 1 0 R", fourRows),
         "Index item of xref Stream is wrong type"},
        {"RowsEndBeforeSize", XRefStreamFile("/Size 5 /W [1 2 1] /Root 1 0 R", fourRows),
         "Unexpected EOF while reading xref stream section"},
        {"RowsEndInsideAnEntry", XRefStreamFile("/Size 4 /W [1 2 1] /Root 1 0 R", fourRows.substr(0, 14)),
         "Unexpected EOF while reading xref stream section"},
        {"IndexAsksForMoreRows", XRefStreamFile("/Size 4 /W [1 2 1] /Index [0 4 7 1] /Root 1 0 R", fourRows),
         "Unexpected EOF while reading xref stream section"},
        {"TypeThree",
         XRefStreamFile("/Size 2 /W [1 2 2] /Root 1 0 R",
                        XRefStreamRow({1, 2, 2}, 0, 0, 0) + XRefStreamRow({1, 2, 2}, 3, 9, 0)),
         "Wrong type of xref XRefEntry while reading xref stream section"},
        {"Type255", XRefStreamFile("/Size 1 /W [1 2 2] /Root 1 0 R", XRefStreamRow({1, 2, 2}, 255, 0, 0)),
         "Wrong type of xref XRefEntry while reading xref stream section"},
        {"TypeInTwoBytes", XRefStreamFile("/Size 1 /W [2 2 2] /Root 1 0 R", XRefStreamRow({2, 2, 2}, 256 + 1, 0, 0)),
         "Wrong type of xref XRefEntry while reading xref stream section"},

        // Fetch beyond the entries, and encryption.
        {"RootBeyondTheEntries", OnePageObjects().WithXRefTable("/Root 40 0 R"), "Corrupted PDF file"},
        {"EncryptReference", OnePageObjects().WithXRefTable("/Root 1 0 R /Encrypt 7 0 R"),
         "Encrypted PDF files are not supported"},
        {"EncryptDictionary", OnePageObjects().WithXRefTable("/Root 1 0 R /Encrypt << /Filter /Standard /V 2 >>"),
         "Encrypted PDF files are not supported"},
        {"EncryptInAnXRefStream", OnePageObjects().WithXRefStream(9, "/Root 1 0 R /Encrypt << /Filter /Standard >>"),
         "Encrypted PDF files are not supported"},
        {"EncryptBeforeABrokenCatalog", OnePageObjects().WithXRefTable("/Root 2 0 R /Encrypt 7 0 R"),
         "Encrypted PDF files are not supported"},
    };
}

class LoadFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(LoadFailureTest, OpenFailsWithTheMessage) { EXPECT_EQ(OpenFailure(GetParam().bytes), GetParam().message); }

INSTANTIATE_TEST_SUITE_P(Cases, LoadFailureTest, ::testing::ValuesIn(FailureCases()), CaseName<FailureCase>);

// The checks of a cross-reference stream's rows apply to every row, also to
// rows whose entries a newer section already defined.
TEST(LoadFailureTest, RowsOfEntriesAlreadyDefinedAreStillChecked) {
    PdfBuilder pdf = OnePageObjects();
    const int64_t streamOffset = static_cast<int64_t>(pdf.bytes().size());
    std::string rows = StreamRows(pdf, streamOffset);
    rows[4] = 3;  // object 1's row: type 3
    pdf.Stream(4, "/Type /XRef /Size 5 /W [1 2 1]", rows);
    PdfBuilder update(pdf.WithStartXRef(streamOffset));
    update.Object(1, kCatalog);
    const std::string file = update.WithXRefUpdate("/Root 1 0 R /Prev " + std::to_string(streamOffset));
    EXPECT_EQ(OpenFailure(file), "Wrong type of xref XRefEntry while reading xref stream section");
}

// ---------------------------------------------------------------------------
// Classic tables

TEST(XRefTableTest, EntriesTakeOffsetGenerationAndType) {
    PdfBuilder pdf = OnePageObjects();
    pdf.Object(6, "(six)", 2);
    const std::string file = pdf.bytes() + "xref\n0 4\n" + TableRows() + "6 2\n" +
                             XRefTableLine(pdf.OffsetOf(6), 2, 'n') + XRefTableLine(3, 1, 'f') +
                             "trailer\n<< /Root 1 0 R >>\nstartxref\n" + std::to_string(pdf.bytes().size()) +
                             "\n%%EOF\n";
    auto document = Open(file);
    const std::vector<XRefEntry>& entries = document->xref().entries();
    ASSERT_EQ(entries.size(), 8u);
    EXPECT_EQ(entries[0].offset, 0);
    EXPECT_EQ(entries[0].gen, 65535);
    EXPECT_EQ(entries[0].type, XRefEntryType::Free);
    EXPECT_EQ(entries[2].offset, pdf.OffsetOf(2));
    EXPECT_EQ(entries[2].type, XRefEntryType::InUse);
    // Numbers no subsection names stay unset.
    EXPECT_EQ(entries[4].offset, -1);
    EXPECT_EQ(entries[4].type, XRefEntryType::Free);
    EXPECT_FALSE(entries[5].IsSet());
    EXPECT_EQ(entries[6].offset, pdf.OffsetOf(6));
    EXPECT_EQ(entries[6].gen, 2);
    EXPECT_EQ(entries[7].offset, 3);
    EXPECT_EQ(entries[7].gen, 1);
    EXPECT_EQ(entries[7].type, XRefEntryType::Free);

    EXPECT_EQ(FetchText(*document, 6, 2), "(six)");
    EXPECT_EQ(FetchText(*document, 6, 0), "null");  // generation differs
    EXPECT_EQ(FetchText(*document, 5), "null");     // unset
    EXPECT_EQ(FetchText(*document, 7, 1), "null");  // free
    EXPECT_EQ(FetchText(*document, 0, 65535), "null");
    EXPECT_EQ(document->xref().GenerationOf(6), 2);
    EXPECT_EQ(document->xref().GenerationOf(99), 0);
}

TEST(XRefTableTest, WhitespaceBetweenTokensIsFree) {
    const PdfBuilder pdf = OnePageObjects();
    const std::string table = "xref 0 4 0 65535 f " + std::to_string(pdf.OffsetOf(1)) + "\t0\tn\r\n" +
                              std::to_string(pdf.OffsetOf(2)) + " 0 n\r" + std::to_string(pdf.OffsetOf(3)) +
                              "    0 n trailer<</Root 1 0 R>>";
    auto document = Open(pdf.bytes() + table + "\nstartxref\n" + std::to_string(pdf.bytes().size()) + "\n%%EOF");
    EXPECT_EQ(document->xref().entries().size(), 4u);
    EXPECT_EQ(FetchText(*document, 2), "<< /Count /Kids /Type >>");
}

// Entries in their usual twenty bytes are read straight from the bytes, the
// others token by token: a table that mixes them gives what the tokens say.
TEST(XRefTableTest, UsualAndUnusualEntriesMix) {
    const PdfBuilder pdf = OnePageObjects();
    const std::string one = XRefTableLine(pdf.OffsetOf(1), 0, 'n');
    const std::string table = "xref\n0 11\n0000000000 65535 f\r\n" + one +  // usual, then
                              std::to_string(pdf.OffsetOf(2)) + " 0 n\n" +  // short numbers
                              std::to_string(pdf.OffsetOf(3)) + " % a comment\n00000 n\n" + one +
                              "  00000000010  00000 n\n" + XRefTableLine(11, 7, 'f') + "0000000012 00003 f\r" +
                              std::string("0000000013 00004 n\0\n", 20) + "9999999999 65535 f\r\n" +
                              "1234567890 00001 f\r\n" + "trailer\n<< /Root 1 0 R >>\nstartxref\n" +
                              std::to_string(pdf.bytes().size()) + "\n%%EOF\n";
    auto document = Open(pdf.bytes() + table);
    const std::vector<XRefEntry>& entries = document->xref().entries();
    ASSERT_EQ(entries.size(), 11u);
    const std::vector<std::pair<int64_t, int32_t>> expected = {{0, 65535},
                                                               {pdf.OffsetOf(1), 0},
                                                               {pdf.OffsetOf(2), 0},
                                                               {pdf.OffsetOf(3), 0},
                                                               {pdf.OffsetOf(1), 0},
                                                               {10, 0},
                                                               {11, 7},
                                                               {12, 3},
                                                               {13, 4},
                                                               {9999999999, 65535},
                                                               {1234567890, 1}};
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(entries[i].offset, expected[i].first) << i;
        EXPECT_EQ(entries[i].gen, expected[i].second) << i;
    }
    EXPECT_EQ(entries[6].type, XRefEntryType::Free);
    EXPECT_EQ(entries[8].type, XRefEntryType::InUse);
    EXPECT_EQ(FetchText(*document, 2), "<< /Count /Kids /Type >>");
}

TEST(XRefTableTest, EmptySubsectionsAndTheLargestObjectNumber) {
    // A subsection may name no entries, also at the largest object number;
    // one entry at 8388607 is still accepted.
    const std::string file =
        DocumentWith("xref\n0 4\n" + TableRows() + "8388608 0\n8388607 1\n" + XRefTableLine(0, 0, 'f') +
                     "trailer\n<< /Root 1 0 R >>\nstartxref\n{X}\n%%EOF\n");
    auto document = Open(file);
    EXPECT_EQ(document->xref().entries().size(), 8388608u);
    EXPECT_EQ(document->xref().entries()[8388607].type, XRefEntryType::Free);
    EXPECT_EQ(FetchText(*document, 8388607), "null");
    EXPECT_THROW(document->xref().Fetch(8388608, 0), CPdfException);
}

// ---------------------------------------------------------------------------
// Cross-reference streams

TEST(XRefStreamTest, WithoutIndexTheRowsCoverZeroToSizeMinusOne) {
    PdfBuilder pdf = OnePageObjects();
    const int64_t streamOffset = static_cast<int64_t>(pdf.bytes().size());
    auto document =
        Open(WithXRefStreamRows(pdf, "/Size 5 /W [1 2 1] /Root 1 0 R /Info 3 0 R", StreamRows(pdf, streamOffset)));
    const std::vector<XRefEntry>& entries = document->xref().entries();
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_EQ(entries[0].type, XRefEntryType::Free);
    EXPECT_EQ(entries[0].gen, 255);
    EXPECT_EQ(entries[3].offset, pdf.OffsetOf(3));
    EXPECT_EQ(entries[4].offset, streamOffset);
    // The stream's dictionary is the trailer.
    EXPECT_TRUE(document->xref().trailer().getDict().isType("XRef"));
    EXPECT_EQ(document->xref().root(), (PdfReference{1, 0}));
    EXPECT_EQ(document->xref().info(), (PdfReference{3, 0}));
}

TEST(XRefStreamTest, IndexPairsFillTheirRangesFromConsecutiveRows) {
    // /Index [0 3 10 2]: rows for 0, 1, 2, then 10 and 11.
    PdfBuilder pdf;
    pdf.Object(1, kCatalog).Object(2, "<< /Type /Pages /Kids [10 0 R] /Count 1 >>");
    pdf.Object(10, "<< /Type /Page /Resources << >> >>").Object(11, "(eleven)");
    const std::array<int, 3> w{1, 2, 1};
    std::string rows = XRefStreamRow(w, 0, 0, 255);
    for (int32_t number : {1, 2, 10, 11}) rows += XRefStreamRow(w, 1, static_cast<uint64_t>(pdf.OffsetOf(number)), 0);
    const int64_t start = static_cast<int64_t>(pdf.bytes().size());
    pdf.Stream(12, "/Type /XRef /Size 12 /W [1 2 1] /Index [0 3 10 2] /Root 1 0 R", rows);
    auto document = Open(pdf.WithStartXRef(start));
    const std::vector<XRefEntry>& entries = document->xref().entries();
    ASSERT_EQ(entries.size(), 12u);
    EXPECT_EQ(entries[0].gen, 255);
    EXPECT_EQ(entries[2].offset, pdf.OffsetOf(2));
    for (size_t unset = 3; unset < 10; ++unset) EXPECT_FALSE(entries[unset].IsSet()) << unset;
    EXPECT_EQ(entries[10].offset, pdf.OffsetOf(10));
    EXPECT_EQ(FetchText(*document, 11), "(eleven)");
    EXPECT_EQ(document->catalog().pages().size(), 1u);
}

TEST(XRefStreamTest, ALoneLastIndexElementIsIgnored) {
    PdfBuilder pdf = OnePageObjects();
    const int64_t streamOffset = static_cast<int64_t>(pdf.bytes().size());
    auto document = Open(
        WithXRefStreamRows(pdf, "/Size 5 /W [1 2 1] /Index [0 4 /Junk] /Root 1 0 R", StreamRows(pdf, streamOffset)));
    EXPECT_EQ(document->xref().entries().size(), 5u);
    EXPECT_FALSE(document->xref().entries()[4].IsSet());
}

TEST(XRefStreamTest, IndexNotAnArrayMeansOneSectionOverSize) {
    PdfBuilder pdf = OnePageObjects();
    const int64_t streamOffset = static_cast<int64_t>(pdf.bytes().size());
    auto document =
        Open(WithXRefStreamRows(pdf, "/Size 5 /W [1 2 1] /Index 7 /Root 1 0 R", StreamRows(pdf, streamOffset)));
    EXPECT_EQ(document->xref().entries()[4].offset, streamOffset);
}

TEST(XRefStreamTest, ZeroTypeWidthMakesEveryEntryTypeOne) {
    PdfBuilder pdf = OnePageObjects();
    const std::array<int, 3> w{0, 2, 1};
    const std::string rows = XRefStreamRow(w, 0, 0, 7) +
                             XRefStreamRow(w, 0, static_cast<uint64_t>(pdf.OffsetOf(1)), 0) +
                             XRefStreamRow(w, 0, static_cast<uint64_t>(pdf.OffsetOf(2)), 0) +
                             XRefStreamRow(w, 0, static_cast<uint64_t>(pdf.OffsetOf(3)), 0);
    auto document = Open(WithXRefStreamRows(pdf, "/Size 4 /W [0 2 1] /Root 1 0 R", rows));
    for (const XRefEntry& entry : document->xref().entries()) EXPECT_EQ(entry.type, XRefEntryType::InUse);
    EXPECT_EQ(document->xref().entries()[0].gen, 7);
}

TEST(XRefStreamTest, ZeroWidthFieldsAreZeroAndFurtherWidthsIgnored) {
    PdfBuilder pdf = OnePageObjects();
    const std::array<int, 3> w{1, 2, 0};
    const std::string rows = XRefStreamRow(w, 0, 0, 0) +
                             XRefStreamRow(w, 1, static_cast<uint64_t>(pdf.OffsetOf(1)), 0) +
                             XRefStreamRow(w, 1, static_cast<uint64_t>(pdf.OffsetOf(2)), 0) +
                             XRefStreamRow(w, 1, static_cast<uint64_t>(pdf.OffsetOf(3)), 0);
    auto document = Open(WithXRefStreamRows(pdf, "/Size 4 /W [1 2 0 99 /x] /Root 1 0 R", rows));
    EXPECT_EQ(document->xref().entries()[0].gen, 0);
    EXPECT_EQ(document->xref().entries()[3].offset, pdf.OffsetOf(3));
}

TEST(XRefStreamTest, SizeZeroReadsNoRows) {
    // /Size 0 and no /Index: no section; the table of an older section lists the objects.
    const std::string first = WithTable(OnePageObjects());
    PdfBuilder update(first);
    const int64_t start = static_cast<int64_t>(first.size());
    update.Stream(4, "/Type /XRef /Size 0 /W [1 2 1] /Root 1 0 R /Prev " + std::to_string(LastStartXRef(first)), "");
    auto document = Open(update.WithStartXRef(start));
    EXPECT_EQ(document->xref().entries().size(), 4u);
    EXPECT_TRUE(document->xref().trailer().getDict().isType("XRef"));
}

TEST(XRefStreamTest, FlateWithPngPredictor) {
    PdfBuilder pdf = OnePageObjects();
    const int64_t streamOffset = static_cast<int64_t>(pdf.bytes().size());
    const std::string rows = StreamRows(pdf, streamOffset);
    // PNG "Up" rows of four bytes each.
    std::string encoded;
    std::string previous(4, '\0');
    for (size_t at = 0; at < rows.size(); at += 4) {
        encoded += '\x02';
        for (size_t i = 0; i < 4; ++i) encoded += static_cast<char>(rows[at + i] - previous[i]);
        previous = rows.substr(at, 4);
    }
    auto document = Open(WithXRefStreamRows(
        pdf, "/Size 5 /W [1 2 1] /Root 1 0 R /Filter /FlateDecode /DecodeParms << /Predictor 12 /Columns 4 >>",
        Deflate(encoded)));
    EXPECT_EQ(document->xref().entries()[3].offset, pdf.OffsetOf(3));
    EXPECT_EQ(document->xref().entries()[4].offset, streamOffset);
}

// ---------------------------------------------------------------------------
// Incremental updates along /Prev

enum class Format { kTable, kStream };

std::string End(PdfBuilder& pdf, Format format, const std::string& trailerEntries) {
    return format == Format::kTable ? pdf.WithXRefTable(trailerEntries) : pdf.WithXRefStream(9, trailerEntries);
}

// Ends an update that wrote the objects `numbers`.
std::string EndUpdate(PdfBuilder& pdf, Format format, const std::vector<int32_t>& numbers,
                      const std::string& trailerEntries) {
    if (format == Format::kTable) return pdf.WithXRefUpdate(trailerEntries);
    // A cross-reference stream, object 20, listing the update's objects and itself.
    const int64_t start = static_cast<int64_t>(pdf.bytes().size());
    const std::array<int, 3> w{1, 4, 2};
    std::string rows;
    std::string index;
    for (int32_t number : numbers) {
        rows += XRefStreamRow(w, 1, static_cast<uint64_t>(pdf.OffsetOf(number)), 0);
        index += std::to_string(number) + " 1 ";
    }
    rows += XRefStreamRow(w, 1, static_cast<uint64_t>(start), 0);
    pdf.Stream(20, "/Type /XRef /Size 21 /W [1 4 2] /Index [" + index + "20 1] " + trailerEntries, rows);
    return pdf.WithStartXRef(start);
}

struct UpdateCase {
    std::string name;
    Format older;
    Format newer;
};

void PrintTo(const UpdateCase& value, std::ostream* os) { *os << value.name; }

class IncrementalUpdateTest : public ::testing::TestWithParam<UpdateCase> {};

TEST_P(IncrementalUpdateTest, TheNewestSectionWins) {
    PdfBuilder pdf = OnePageObjects();
    pdf.Object(5, "(old five)").Object(6, "(six)");
    const std::string first = End(pdf, GetParam().older, "/Root 1 0 R /Info 6 0 R");
    PdfBuilder update(first);
    update.Object(5, "(new five)");
    const std::string file =
        EndUpdate(update, GetParam().newer, {5}, "/Root 1 0 R /Prev " + std::to_string(LastStartXRef(first)));
    auto document = Open(file);
    EXPECT_EQ(FetchText(*document, 5), "(new five)");
    EXPECT_EQ(FetchText(*document, 6), "(six)");
    EXPECT_EQ(document->xref().entries()[5].offset, update.OffsetOf(5));
    // The newest trailer counts: it has no /Info.
    EXPECT_EQ(document->xref().info().number, 0);
    EXPECT_EQ(document->xref().trailer().getDict().lookupNF("Info").kind(), pdfNull);
}

INSTANTIATE_TEST_SUITE_P(Formats, IncrementalUpdateTest,
                         ::testing::Values(UpdateCase{"TableOverTable", Format::kTable, Format::kTable},
                                           UpdateCase{"StreamOverStream", Format::kStream, Format::kStream},
                                           UpdateCase{"StreamOverTable", Format::kTable, Format::kStream},
                                           UpdateCase{"TableOverStream", Format::kStream, Format::kTable}),
                         CaseName<UpdateCase>);

TEST(PrevChainTest, AFreeEntryInTheNewerSectionHidesTheOlderObject) {
    PdfBuilder pdf = OnePageObjects();
    pdf.Object(5, "(five)");
    const std::string first = pdf.WithXRefTable("/Root 1 0 R");
    const std::string file = first + "xref\n5 1\n" + XRefTableLine(0, 1, 'f') + "trailer\n<< /Root 1 0 R /Prev " +
                             std::to_string(LastStartXRef(first)) + " >>\nstartxref\n" + std::to_string(first.size()) +
                             "\n%%EOF\n";
    auto document = Open(file);
    EXPECT_EQ(document->xref().entries()[5].type, XRefEntryType::Free);
    EXPECT_EQ(FetchText(*document, 5), "null");
}

TEST(PrevChainTest, PrevAsAReferenceIsTheOffsetOfItsNumber) {
    PdfBuilder pdf = OnePageObjects();
    pdf.Object(5, "(old)");
    const std::string first = pdf.WithXRefTable("/Root 1 0 R");
    const std::string prev = "/Prev " + std::to_string(LastStartXRef(first)) + " 0 R";
    for (Format format : {Format::kTable, Format::kStream}) {
        PdfBuilder update(first);
        update.Object(6, "(new)");
        auto document = Open(EndUpdate(update, format, {6}, "/Root 1 0 R " + prev));
        EXPECT_EQ(FetchText(*document, 5), "(old)");
        EXPECT_EQ(FetchText(*document, 6), "(new)");
    }
}

TEST(PrevChainTest, PrevOfAnotherKindEndsTheChain) {
    PdfBuilder pdf = OnePageObjects();
    const std::string first = pdf.WithXRefTable("/Root 1 0 R");
    PdfBuilder update(first);
    update.Object(6, "(new)");
    // The older section, which lists the catalog, is not read.
    EXPECT_EQ(OpenFailure(update.WithXRefUpdate("/Root 1 0 R /Prev /Name")), "Catalog CPdfObject is wrong type");
    EXPECT_EQ(OpenFailure(update.WithXRefUpdate("/Root 1 0 R /Prev 40.0")), "Catalog CPdfObject is wrong type");
}

TEST(PrevChainTest, AChainBackToItselfStops) {
    PdfBuilder pdf = OnePageObjects();
    const int64_t start = static_cast<int64_t>(pdf.bytes().size());
    auto document = Open(pdf.WithXRefTable("/Root 1 0 R /Prev " + std::to_string(start)));
    EXPECT_EQ(FetchText(*document, 1), "<< /Pages /Type >>");
}

TEST(PrevChainTest, AChainBackToAnOlderSectionStops) {
    // Section A (older) says /Prev B, section B (newest) says /Prev A. The
    // offset of B is written with leading zeros so that it can be filled in.
    PdfBuilder pdf = OnePageObjects();
    std::string first = pdf.WithXRefTable("/Root 1 0 R /Prev 0000000000");
    const std::string file = first + "xref\n5 1\n" + XRefTableLine(0, 0, 'f') + "trailer\n<< /Root 1 0 R /Prev " +
                             std::to_string(LastStartXRef(first)) + " >>\nstartxref\n" + std::to_string(first.size()) +
                             "\n%%EOF\n";
    std::string patched = file;
    const std::string offset = std::to_string(first.size());
    patched.replace(patched.find("/Prev 0000000000") + 16 - offset.size(), offset.size(), offset);
    auto document = Open(patched);
    EXPECT_EQ(document->xref().entries().size(), 6u);
    EXPECT_EQ(FetchText(*document, 3), "<< /Parent /Resources /Type >>");
}

TEST(PrevChainTest, AStreamChainBackToItselfStops) {
    PdfBuilder pdf = OnePageObjects();
    const int64_t start = static_cast<int64_t>(pdf.bytes().size());
    auto document = Open(pdf.WithXRefStream(9, "/Root 1 0 R /Prev " + std::to_string(start)));
    EXPECT_EQ(FetchText(*document, 2), "<< /Count /Kids /Type >>");
}

// ---------------------------------------------------------------------------
// Hybrid-reference files

// Catalog 1 and page 3 in object stream 4; page tree 2 in the file.
PdfBuilder HybridBody() {
    PdfBuilder pdf;
    pdf.Object(2, kPages);
    pdf.ObjectStream(4, {{1, kCatalog}, {3, kPage}});
    return pdf;
}

TEST(HybridTest, ObjectsListedOnlyInTheXRefStmStreamAreFound) {
    PdfBuilder pdf = HybridBody();
    const std::string file = pdf.WithHybridXRef(9, "/Root 1 0 R");
    auto document = Open(file);
    const std::vector<XRefEntry>& entries = document->xref().entries();
    EXPECT_EQ(entries[1].type, XRefEntryType::Compressed);
    EXPECT_EQ(entries[1].offset, 4);
    EXPECT_EQ(entries[3].gen, 1);
    EXPECT_EQ(entries[2].type, XRefEntryType::InUse);
    EXPECT_EQ(FetchText(*document, 1), "<< /Pages /Type >>");
    // The classic trailer stays the trailer.
    EXPECT_EQ(document->xref().trailer().getDict().lookupNF("Type").kind(), pdfNull);

    // Without /XRefStm the compressed objects are not found.
    std::string hidden = file;
    hidden.replace(hidden.find("/XRefStm"), 8, "/XRefStX");
    EXPECT_EQ(OpenFailure(hidden), "Catalog CPdfObject is wrong type");
}

TEST(HybridTest, ANewestEmptyTableWithXRefStmBeforeTheFullTable) {
    // As office suites write them: the first revision's table marks the
    // compressed objects free; the update adds the cross-reference stream and
    // an empty table whose trailer names it and the first table.
    PdfBuilder pdf = HybridBody();
    const std::string first = pdf.WithXRefTable("/Root 1 0 R");
    PdfBuilder update(first);
    const int64_t streamOffset = static_cast<int64_t>(first.size());
    const std::array<int, 3> w{1, 4, 2};
    update.Stream(9, "/Type /XRef /Size 10 /W [1 4 2] /Index [1 1 3 1]",
                  XRefStreamRow(w, 2, 4, 0) + XRefStreamRow(w, 2, 4, 1));
    const int64_t tableOffset = static_cast<int64_t>(update.bytes().size());
    update.Raw("xref\n0 0\ntrailer\n<< /Size 10 /Root 1 0 R /Prev " + std::to_string(LastStartXRef(first)) +
               " /XRefStm " + std::to_string(streamOffset) + " >>\n");
    auto document = Open(update.WithStartXRef(tableOffset));
    EXPECT_EQ(document->xref().entries()[1].type, XRefEntryType::Compressed);
    EXPECT_EQ(document->xref().entries()[3].type, XRefEntryType::Compressed);
    EXPECT_EQ(document->catalog().pages().size(), 1u);
}

TEST(HybridTest, CompressedObjectsMarkedFreeInTheTableAreTakenFromTheStream) {
    // One section whose table lists the compressed objects as free: the
    // stream beside it says where they are.
    PdfBuilder pdf = HybridBody();
    std::string file = pdf.WithHybridXRef(9, "/Root 1 0 R");
    const std::string head = "xref\n0 1\n" + XRefTableLine(0, 65535, 'f');
    file.replace(file.find(head), head.size(),
                 head + "1 1\n" + XRefTableLine(0, 0, 'f') + "3 1\n" + XRefTableLine(0, 0, 'f'));
    auto document = Open(file);
    EXPECT_EQ(document->xref().entries()[1].type, XRefEntryType::Compressed);
    EXPECT_EQ(document->xref().entries()[3].type, XRefEntryType::Compressed);
    EXPECT_EQ(document->catalog().pages().size(), 1u);
}

TEST(HybridTest, TheTableWinsWhereBothDefineAnObject) {
    PdfBuilder pdf = HybridBody();
    pdf.Object(5, "(from the table)");
    pdf.Compressed(6, 4, 7);  // a row for 6 in the stream, no member behind it
    const std::string file = pdf.WithHybridXRef(9, "/Root 1 0 R");
    // Make the stream claim object 5 too: the row for 6 becomes a row for 5.
    std::string claimed = file;
    const size_t index = claimed.find("/Index [");
    claimed.replace(claimed.find("6 1", index), 3, "5 1");
    auto document = Open(claimed);
    EXPECT_EQ(document->xref().entries()[5].type, XRefEntryType::InUse);
    EXPECT_EQ(FetchText(*document, 5), "(from the table)");
}

TEST(HybridTest, TheXRefStmStreamIsReadBeforePrev) {
    // The older section has object 5 in the file; the newest section's
    // /XRefStm stream puts it in an object stream: the stream's entry counts.
    PdfBuilder pdf = OnePageObjects();
    pdf.Object(5, "(old)");
    const std::string first = pdf.WithXRefTable("/Root 1 0 R");
    PdfBuilder update(first);
    update.ObjectStream(4, {{5, "(compressed)"}});
    const int64_t streamOffset = static_cast<int64_t>(update.bytes().size());
    update.Stream(9, "/Type /XRef /Size 10 /W [1 4 2] /Index [5 1]", XRefStreamRow({1, 4, 2}, 2, 4, 0));
    const int64_t tableOffset = static_cast<int64_t>(update.bytes().size());
    update.Raw("xref\n4 1\n" + XRefTableLine(update.OffsetOf(4), 0, 'n') + "trailer\n<< /Root 1 0 R /Prev " +
               std::to_string(LastStartXRef(first)) + " /XRefStm " + std::to_string(streamOffset) + " >>\n");
    auto document = Open(update.WithStartXRef(tableOffset));
    EXPECT_EQ(FetchText(*document, 5), "(compressed)");
}

TEST(HybridTest, XRefStmInAnOlderSectionIsReadToo) {
    PdfBuilder pdf = HybridBody();
    const std::string first = pdf.WithHybridXRef(9, "/Root 1 0 R");
    PdfBuilder update(first);
    update.Object(7, "(seven)");
    auto document = Open(update.WithXRefUpdate("/Root 1 0 R /Prev " + std::to_string(LastStartXRef(first))));
    EXPECT_EQ(document->xref().entries()[1].type, XRefEntryType::Compressed);
    EXPECT_EQ(FetchText(*document, 7), "(seven)");
}

struct DamagedXRefStmCase {
    std::string name;
    std::string section;  // what /XRefStm points at
};

void PrintTo(const DamagedXRefStmCase& value, std::ostream* os) { *os << value.name; }

class DamagedXRefStmTest : public ::testing::TestWithParam<DamagedXRefStmCase> {};

TEST_P(DamagedXRefStmTest, IsIgnored) {
    PdfBuilder pdf = OnePageObjects();
    pdf.Object(5, "(five)");
    const int64_t sectionOffset = static_cast<int64_t>(pdf.bytes().size());
    pdf.Raw(GetParam().section);
    std::string file = pdf.WithXRefTable("/Root 1 0 R /XRefStm " + std::to_string(sectionOffset));
    auto document = Open(file);
    EXPECT_EQ(FetchText(*document, 5), "(five)");
    EXPECT_EQ(document->catalog().pages().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DamagedXRefStmTest,
    ::testing::Values(
        DamagedXRefStmCase{"Garbage", "garbage\n"},
        DamagedXRefStmCase{"AClassicTable", "xref\n5 1\n" + XRefTableLine(0, 0, 'f') + "trailer\n<< >>\n"},
        DamagedXRefStmCase{"ADictionary", "8 0 obj\n<< /Type /XRef /Size 6 /W [1 2 1] >>\nendobj\n"},
        DamagedXRefStmCase{"WrongW",
                           "8 0 obj\n<< /Type /XRef /Size 6 /W [1 2] /Length 0 >>\nstream\n\nendstream\nendobj\n"},
        DamagedXRefStmCase{"RowsCutShort",
                           "8 0 obj\n<< /Type /XRef /Size 6 /W [1 2 1] /Index [5 1] /Length 2 >>\nstream\n" +
                               XRefStreamRow({1, 1, 0}, 1, 0, 0) + "\nendstream\nendobj\n"},
        DamagedXRefStmCase{"ItselfAsTheOffset", ""}),
    CaseName<DamagedXRefStmCase>);

// ---------------------------------------------------------------------------
// Fetch

TEST(FetchTest, NumbersOutsideTheEntriesFail) {
    auto document = Open(WithTable(OnePageObjects()));
    const auto size = static_cast<int32_t>(document->xref().entries().size());
    for (int32_t number : {size, size + 1, -1, INT32_MIN}) {
        try {
            document->xref().Fetch(number, 0);
            ADD_FAILURE() << number;
        } catch (const CPdfException& failure) {
            EXPECT_STREQ(failure.GetMessage(), "Corrupted PDF file");
        }
    }
}

TEST(FetchTest, AnOffsetThatDoesNotLeadToTheObjectGivesNull) {
    PdfBuilder pdf = OnePageObjects();
    pdf.Object(5, "(five)").Object(6, "(six)", 1);
    pdf.Raw("7 0 (seven)\n8 0 objection\n");
    const std::string table = "xref\n0 9\n" + TableRows() + XRefTableLine(pdf.OffsetOf(6), 0, 'n') +  // 4 -> object 6
                              XRefTableLine(pdf.OffsetOf(5), 0, 'n') +                                // 5
                              XRefTableLine(pdf.OffsetOf(6), 0, 'n') +                                // 6: gen 1 there
                              XRefTableLine(static_cast<int64_t>(pdf.bytes().find("7 0 (")), 0, 'n') +
                              XRefTableLine(static_cast<int64_t>(pdf.bytes().find("8 0 objection")), 0, 'n');
    auto document = Open(pdf.bytes() + table + "trailer\n<< /Root 1 0 R >>\nstartxref\n" +
                         std::to_string(pdf.bytes().size()) + "\n%%EOF\n");
    EXPECT_EQ(FetchText(*document, 4), "null");  // number differs
    EXPECT_EQ(FetchText(*document, 5), "(five)");
    EXPECT_EQ(FetchText(*document, 5, 1), "null");  // asked with another generation
    EXPECT_EQ(FetchText(*document, 6), "null");     // the file has generation 1
    EXPECT_EQ(FetchText(*document, 7), "null");     // no "obj"
    EXPECT_EQ(FetchText(*document, 8), "null");     // "objection" is no "obj"
}

TEST(FetchTest, AStreamsIndirectLengthIsFetched) {
    PdfBuilder pdf = OnePageObjects();
    pdf.Object(5, "<< /Length 6 0 R >>\nstream\nhello endobj world\nendstream").Object(6, "18");
    auto document = Open(WithTable(pdf));
    const CPdfObject stream = document->xref().Fetch(5, 0);
    ASSERT_TRUE(stream.is(pdfStream));
    EXPECT_EQ(StreamData(stream), "hello endobj world");
}

TEST(FetchTest, AStreamWhoseFiltersAreNotDecodedIsStillAStream) {
    PdfBuilder pdf = OnePageObjects();
    pdf.Stream(5, "/Filter /LZWDecode", "\x80\x0b\x60\x50");
    pdf.Stream(6, "/Filter [/FlateDecode /ASCIIHexDecode]", "data endobj");
    auto document = Open(WithTable(pdf));
    for (int32_t number : {5, 6}) {
        const CPdfObject stream = document->xref().Fetch(number, 0);
        ASSERT_TRUE(stream.is(pdfStream)) << number;
        EXPECT_FALSE(stream.getStream().IsDecodable());
        EXPECT_EQ(StreamData(stream), "");
        ASSERT_NE(stream.getStream().GetDict(), nullptr);
        EXPECT_TRUE(stream.getStream().GetDict()->lookup("Filter").is(number == 5 ? pdfName : pdfArray));
    }
    // Its bytes are copied whole.
    EXPECT_EQ(
        CopiedBytes(document->xref(), 6),
        "6 0 obj\n<< /Filter [/FlateDecode /ASCIIHexDecode] /Length 11 >>\nstream\ndata endobj\nendstream\nendobj\n");
}

TEST(FetchTest, ALengthThatNamesItsOwnStreamEndsInAnError) {
    PdfBuilder pdf = OnePageObjects();
    pdf.Object(5, "<< /Length 5 0 R >>\nstream\nhello\nendstream");
    auto document = Open(WithTable(pdf));
    EXPECT_EQ(FetchText(*document, 5), "error");
}

// Stream 100 + k has its /Length in object 200 + k, which is the only member
// of object stream 100 + k + 1; the last stream's /Length is object 300, in
// the file. Each link adds two nested fetches: with n streams the fetch of
// object 300 is the (2n)th, one inside the other.
std::string LengthChain(int32_t streams) {
    PdfBuilder pdf = OnePageObjects();
    pdf.Object(300, "7");
    for (int32_t k = 1; k <= streams; ++k) {
        const int32_t number = 100 + k;
        if (k == 1) {
            pdf.Object(number, "<< /Length 201 0 R >>\nstream\nabc\nendstream");
            continue;
        }
        const std::string header = std::to_string(200 + k - 1) + " 0 ";
        // The member is the length of the previous stream: "abc", or header and member.
        const std::string data = header + (k == 2 ? "3" : "7");
        const std::string length = k == streams ? "300 0 R" : std::to_string(200 + k) + " 0 R";
        pdf.Object(number, "<< /Type /ObjStm /N 1 /First " + std::to_string(header.size()) + " /Length " + length +
                               " >>\nstream\n" + data + "\nendstream");
        pdf.Compressed(200 + k - 1, number, 0);
    }
    return pdf.WithXRefStream(9, "/Root 1 0 R");
}

TEST(FetchTest, NestedFetchesAreCutOffBeyondDepth32) {
    {
        auto document = Open(LengthChain(16));  // the deepest fetch is the 32nd
        const CPdfObject first = document->xref().Fetch(101, 0);
        ASSERT_TRUE(first.is(pdfStream));
        EXPECT_EQ(StreamData(first), "abc");
    }
    {
        auto document = Open(LengthChain(17));  // the 33rd fetch gives null
        EXPECT_EQ(FetchText(*document, 101), "error");
    }
}

// A value holding two streams (the parser makes a stream of any dictionary
// followed by "stream", also inside an array) whose /Length is `next`.
std::string TwoStreams(int32_t next) {
    const std::string stream = "<< /Length " + std::to_string(next) + " 0 R >> stream\nendstream";
    return "[" + stream + " " + stream + "]";
}

TEST(FetchTest, StreamsWhoseLengthsLeadBackToTheirOwnObjectAreCutOff) {
    // Each fetch of 5 would fetch 5 twice more, down to the depth limit:
    // 2^32 fetches. The object is not fetched again while it is being fetched.
    PdfBuilder pdf = OnePageObjects();
    pdf.Object(5, TwoStreams(5));
    auto document = Open(WithTable(pdf));
    EXPECT_TRUE(document->xref().Fetch(5, 0).is(pdfArray));
    EXPECT_EQ(CopiedBytes(document->xref(), 5), "5 0 obj\n" + TwoStreams(5) + "\nendobj\n");
}

TEST(FetchTest, FetchesBelowOneFetchAreCounted) {
    // Object 10 + k holds two streams whose /Length is 11 + k: no object comes
    // back, but the fetches double at every level down to the depth limit.
    PdfBuilder pdf = OnePageObjects();
    for (int32_t k = 0; k < 40; ++k) pdf.Object(10 + k, TwoStreams(11 + k));
    pdf.Object(50, "0");
    auto document = Open(WithTable(pdf));
    for (int32_t number = 10; number < 50; ++number) EXPECT_TRUE(document->xref().Fetch(number, 0).is(pdfArray));
}

TEST(FetchTest, AnObjectStreamNeededWhileItIsLoadedHoldsNoMembers) {
    // Object stream 4's /Length is its own member 5.
    PdfBuilder pdf = OnePageObjects();
    const std::string data = "5 0 6";
    pdf.Object(4, "<< /Type /ObjStm /N 1 /First 4 /Length 5 0 R >>\nstream\n" + data + "\nendstream");
    pdf.Compressed(5, 4, 0);
    auto document = Open(pdf.WithXRefStream(9, "/Root 1 0 R"));
    EXPECT_EQ(FetchText(*document, 5), "null");
    EXPECT_EQ(FetchText(*document, 4), "error");
    EXPECT_FALSE(CopiedBytes(document->xref(), 5).has_value());
}

TEST(FetchTest, AnObjectStreamListedInsideItselfHoldsNoMembers) {
    PdfBuilder pdf = OnePageObjects();
    pdf.ObjectStream(4, {{5, "(five)"}});
    pdf.Compressed(4, 4, 0);  // the object stream claims to live in itself
    auto document = Open(pdf.WithXRefStream(9, "/Root 1 0 R"));
    EXPECT_EQ(FetchText(*document, 4), "null");
    EXPECT_EQ(FetchText(*document, 5), "null");
}

TEST(FetchTest, CompressedObjects) {
    PdfBuilder pdf = OnePageObjects();
    pdf.ObjectStream(4, {{5, "(five)"}, {6, "<< /Six 6 >>"}});
    pdf.Compressed(7, 4, 2);    // beyond /N
    pdf.Compressed(8, 4, 0);    // the member at 0 is object 5
    pdf.Compressed(10, 5, 0);   // object 5 is not an object stream
    pdf.Compressed(11, 40, 0);  // beyond the entries
    auto document = Open(pdf.WithXRefStream(9, "/Root 1 0 R"));
    EXPECT_EQ(FetchText(*document, 5), "(five)");
    EXPECT_EQ(FetchText(*document, 6), "<< /Six >>");
    EXPECT_EQ(FetchText(*document, 6, 1), "null");
    EXPECT_EQ(FetchText(*document, 7), "null");
    EXPECT_EQ(FetchText(*document, 8), "null");
    EXPECT_EQ(FetchText(*document, 10), "null");
    EXPECT_THROW(document->xref().Fetch(11, 0), CPdfException);
    EXPECT_EQ(document->xref().GenerationOf(6), 0);
}

// Reading ahead of its turn reads no object stream: an object that is in
// one, or whose stream's /Length is, gives nothing, and the object streams
// are left unread; any other object comes as Fetch gives it.
TEST(FetchTest, FetchOutsideObjectStreamsLeavesThemUnread) {
    PdfBuilder pdf = OnePageObjects();
    pdf.ObjectStream(4, {{5, "3"}, {6, "<< /Six 6 >>"}});
    pdf.Object(7, "<< /Length 5 0 R >>\nstream\nabc\nendstream");
    pdf.Object(8, "<< /Length 3 >>\nstream\nabc\nendstream");
    auto document = Open(pdf.WithXRefStream(9, "/Root 1 0 R"));
    CPdfXRef& xref = document->xref();
    EXPECT_FALSE(xref.FetchOutsideObjectStreams(6, 0));
    EXPECT_FALSE(xref.FetchOutsideObjectStreams(7, 0));
    ASSERT_TRUE(xref.FetchOutsideObjectStreams(8, 0));
    EXPECT_TRUE(xref.FetchOutsideObjectStreams(8, 0)->is(pdfStream));
    EXPECT_EQ(xref.FetchOutsideObjectStreams(2, 0)->getDict().lookupNF("Count").getInt(), 1);
    // Fetch itself still reads them.
    EXPECT_EQ(FetchText(*document, 6), "<< /Six >>");
    EXPECT_TRUE(xref.Fetch(7, 0).is(pdfStream));
}

// ---------------------------------------------------------------------------
// Offsets beyond 4 GiB

// A source of `size` bytes, filler except for the pieces placed in it, so that
// offsets beyond 4 GiB are tried without the memory. The filler is "0 0 0 ..."
// rather than blanks, so that the parser's look-ahead behind a value ends at
// the next token instead of skipping gigabytes of white space.
class CSparseByteSource : public CByteSource {
public:
    explicit CSparseByteSource(uint64_t size) : size_(size), blank_(std::make_shared<std::string>()) {
        for (int i = 0; i < 32768; ++i) *blank_ += "0 ";
    }

    void Place(uint64_t offset, const std::string& bytes) { pieces_[offset] = std::make_shared<std::string>(bytes); }

    uint64_t Size() const override { return size_; }

    ByteWindow Window(uint64_t offset) override {
        if (offset >= size_) return {};
        auto next = pieces_.upper_bound(offset);
        if (next != pieces_.begin()) {
            const auto& [start, piece] = *std::prev(next);
            if (offset < start + piece->size()) {
                const auto within = static_cast<size_t>(offset - start);
                const size_t size = std::min<uint64_t>(piece->size() - within, size_ - offset);
                return {piece, reinterpret_cast<const uint8_t*>(piece->data()) + within, size};
            }
        }
        const uint64_t end = next == pieces_.end() ? size_ : next->first;
        const auto size = static_cast<size_t>(std::min<uint64_t>(end - offset, blank_->size()));
        return {blank_, reinterpret_cast<const uint8_t*>(blank_->data()), size};
    }

private:
    uint64_t size_;
    std::shared_ptr<std::string> blank_;
    std::map<uint64_t, std::shared_ptr<std::string>> pieces_;
};

TEST(LargeFileTest, OffsetsBeyond4GiBInATable) {
    const uint64_t catalogAt = 5000000000;  // beyond 4 GiB
    const uint64_t pagesAt = 2147483653;    // beyond 2 GiB
    const uint64_t pageAt = 100;
    const uint64_t tableAt = 6000000000;
    const std::string table = "xref\n0 4\n" + XRefTableLine(0, 65535, 'f') + XRefTableLine(catalogAt, 0, 'n') +
                              XRefTableLine(pagesAt, 0, 'n') + XRefTableLine(pageAt, 0, 'n') +
                              "trailer\n<< /Root 1 0 R >>\nstartxref\n6000000000\n%%EOF\n";
    auto source = std::make_shared<CSparseByteSource>(tableAt + table.size());
    source->Place(0, "%PDF-1.7\n");
    source->Place(catalogAt, "1 0 obj\n" + kCatalog + "\nendobj\n");
    source->Place(pagesAt, "2 0 obj\n" + kPages + "\nendobj\n");
    source->Place(pageAt, "3 0 obj\n" + kPage + "\nendobj\n");
    source->Place(tableAt, table);
    CPdfDocument document;
    document.Open(source);
    EXPECT_EQ(document.xref().entries()[1].offset, 5000000000);
    EXPECT_EQ(document.xref().entries()[2].offset, 2147483653);
    EXPECT_EQ(document.catalog().pages().size(), 1u);
    EXPECT_EQ(CopiedBytes(document.xref(), 1), "1 0 obj\n" + kCatalog + "\nendobj\n");
    const auto location = LocateRawObject(document.xref(), 2);
    ASSERT_TRUE(location.has_value());
    EXPECT_EQ(location->start, 2147483653);
}

TEST(LargeFileTest, OffsetsBeyond4GiBInAStreamWithEightByteFields) {
    const uint64_t catalogAt = 4294967296 + 7;
    const uint64_t streamAt = 4294967296 * 3;
    const std::array<int, 3> w{1, 8, 1};
    const std::string rows = XRefStreamRow(w, 0, 0, 0) + XRefStreamRow(w, 1, catalogAt, 0) +
                             XRefStreamRow(w, 1, 20, 0) + XRefStreamRow(w, 1, 200, 0);
    const std::string stream = "9 0 obj\n<< /Type /XRef /Size 4 /W [1 8 1] /Root 1 0 R /Length " +
                               std::to_string(rows.size()) + " >>\nstream\n" + rows + "\nendstream\nendobj\n" +
                               "startxref\n" + std::to_string(streamAt) + "\n%%EOF\n";
    auto source = std::make_shared<CSparseByteSource>(streamAt + stream.size());
    source->Place(0, "%PDF-1.7\n");
    source->Place(catalogAt, "1 0 obj\n" + kCatalog + "\nendobj\n");
    source->Place(20, "2 0 obj\n" + kPages + "\nendobj\n");
    source->Place(200, "3 0 obj\n" + kPage + "\nendobj\n");
    source->Place(streamAt, stream);
    CPdfDocument document;
    document.Open(source);
    EXPECT_EQ(document.xref().entries()[1].offset, static_cast<int64_t>(catalogAt));
    EXPECT_EQ(document.catalog().pages().size(), 1u);
}

TEST(LargeFileTest, PrevBeyond4GiB) {
    const uint64_t olderAt = 4294967296 + 1000;
    const uint64_t newerAt = 4294967296 * 2;
    const std::string older = "xref\n0 4\n" + XRefTableLine(0, 65535, 'f') + XRefTableLine(10, 0, 'n') +
                              XRefTableLine(100, 0, 'n') + XRefTableLine(200, 0, 'n') + "trailer\n<< /Root 1 0 R >>\n";
    const std::string newer = "xref\n5 1\n" + XRefTableLine(300, 0, 'n') + "trailer\n<< /Root 1 0 R /Prev " +
                              std::to_string(olderAt) + " >>\nstartxref\n" + std::to_string(newerAt) + "\n%%EOF\n";
    auto source = std::make_shared<CSparseByteSource>(newerAt + newer.size());
    source->Place(0, "%PDF-1.7\n");
    source->Place(10, "1 0 obj\n" + kCatalog + "\nendobj\n");
    source->Place(100, "2 0 obj\n" + kPages + "\nendobj\n");
    source->Place(200, "3 0 obj\n" + kPage + "\nendobj\n");
    source->Place(300, "5 0 obj\n(five)\nendobj\n");
    source->Place(olderAt, older);
    source->Place(newerAt, newer);
    CPdfDocument document;
    document.Open(source);
    EXPECT_EQ(Describe(document.xref().Fetch(5, 0)), "(five)");
    EXPECT_EQ(Describe(document.xref().Fetch(1, 0)), "<< /Pages /Type >>");
}

TEST(LargeFileTest, OffsetsAtTheEndOfTheIntegerRangeLeadNowhere) {
    // Offsets are added to the header position (here 5): values near the
    // largest 64-bit integer must not wrap around.
    const std::string junk = "junk\n";
    PdfBuilder pdf = OnePageObjects();
    pdf.Object(5, "(five)");
    const std::string table =
        "xref\n0 4\n" + TableRows() + "6 2\n9223372036854775807 00000 n \n9223372036854775800 00000 n \n";
    const std::string body = pdf.bytes();
    const std::string tail = "startxref\n" + std::to_string(body.size()) + "\n%%EOF\n";
    auto document = Open(junk + body + table + "trailer\n<< /Root 1 0 R >>\n" + tail);
    EXPECT_EQ(document->xref().base(), 5);
    EXPECT_EQ(FetchText(*document, 6), "null");
    EXPECT_EQ(FetchText(*document, 7), "null");
    EXPECT_EQ(CopiedBytes(document->xref(), 6), std::nullopt);
    EXPECT_EQ(CopiedBytes(document->xref(), 7), std::nullopt);
    EXPECT_EQ(OpenFailure(junk + body + table + "trailer\n<< /Root 1 0 R /Prev 9223372036854775807 >>\n" + tail),
              "Couldn't parse an xref");
    EXPECT_EQ(OpenFailure(junk + body + "startxref\n9223372036854775807\n%%EOF\n"), "Couldn't parse an xref");
    EXPECT_EQ(OpenFailure(junk + body + "startxref\n9223372036854775800\n%%EOF\n"), "Couldn't parse an xref");
}

// ---------------------------------------------------------------------------
// The trailer

TEST(TrailerTest, IsBoundSoThatLookupsResolve) {
    PdfBuilder pdf = OnePageObjects();
    pdf.Object(5, "<< /Title (t) >>");
    auto document = Open(pdf.WithXRefTable("/Root 1 0 R /Info 5 0 R"));
    const CPdfDictionary& trailer = document->xref().trailer().getDict();
    EXPECT_EQ(Describe(trailer.lookup("Root")), "<< /Pages /Type >>");
    EXPECT_EQ(Describe(trailer.lookup("Info")), "<< /Title >>");
    EXPECT_EQ(document->xref().info(), (PdfReference{5, 0}));
}

TEST(TrailerTest, InfoThatIsNotAReferenceIsNone) {
    auto document = Open(OnePageObjects().WithXRefTable("/Root 1 0 R /Info << /Title (t) >>"));
    EXPECT_EQ(document->xref().info().number, 0);
}

// ---------------------------------------------------------------------------
// Loading the cross-reference alone, as the stamp driver's raw reader sees it

TEST(XRefAloneTest, LoadsOverAWholeFileStream) {
    const std::string bytes = WithTable(OnePageObjects());
    auto file = std::make_shared<CPdfFileStream>(std::make_shared<CMemoryByteSource>(bytes), 0, 0, CPdfObject::Null());
    CPdfXRef xref(file);
    xref.Load();
    EXPECT_EQ(xref.base(), 0);
    EXPECT_EQ(xref.root(), (PdfReference{1, 0}));
    EXPECT_EQ(xref.entries().size(), 4u);
    EXPECT_EQ(Describe(xref.Fetch(3, 0)), "<< /Parent /Resources /Type >>");
}

TEST(XRefAloneTest, TheBaseIsTheStartOfTheStream) {
    const std::string junk = "junk junk\n";
    const std::string bytes = junk + WithTable(OnePageObjects());
    auto file = std::make_shared<CPdfFileStream>(std::make_shared<CMemoryByteSource>(bytes), 0, 0, CPdfObject::Null());
    file->MoveStart(static_cast<int64_t>(junk.size()));
    CPdfXRef xref(file);
    xref.Load();
    EXPECT_EQ(xref.base(), static_cast<int64_t>(junk.size()));
    EXPECT_EQ(Describe(xref.Fetch(1, 0)), "<< /Pages /Type >>");
}

}  // namespace
