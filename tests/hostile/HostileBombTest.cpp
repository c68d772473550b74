// Inputs that would make the reader do far more work, or hold far more
// memory, than their size suggests: streams that inflate to gigabytes, rows
// of cross-reference data that cost no bytes, object streams decoded again
// and again, tables of the largest size.

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "hostile/HostileRun.h"
#include "support/OutputReader.h"
#include "support/StampRunner.h"

namespace {

constexpr uint64_t kGiB = uint64_t{1} << 30;
constexpr uint64_t kMiB = uint64_t{1} << 20;

HostileOptions Mode(const std::string& mode) {
    HostileOptions options;
    options.mode = mode;
    return options;
}

HostileOptions ImageMode() { return Mode("image"); }

// The header and members of an object stream, and its first member's offset.
std::pair<std::string, size_t> ObjectStreamData(const std::vector<std::pair<int32_t, std::string>>& members) {
    std::string header;
    std::string body;
    for (const auto& [number, value] : members) {
        header += std::to_string(number) + " " + std::to_string(body.size()) + " ";
        body += value + "\n";
    }
    return {header + body, header.size()};
}

// An object stream whose members are followed by white space up to `size`
// decoded bytes.
std::string PaddedObjectStream(const std::vector<std::pair<int32_t, std::string>>& members, uint64_t size) {
    const auto [data, first] = ObjectStreamData(members);
    const std::string packed = DeflateFilled(data, ' ', size);
    return "<< /Type /ObjStm /N " + std::to_string(members.size()) + " /First " + std::to_string(first) +
           " /Filter /FlateDecode /Length " + std::to_string(packed.size()) + " >>\nstream\n" + packed + "\nendstream";
}

// The one-page document with its catalog, page tree and page in object
// stream 6 (given as a whole object body), under a cross-reference stream.
std::string InObjectStream(const std::string& objectStream) {
    PdfBuilder pdf;
    pdf.Object(6, objectStream);
    const auto start = static_cast<int64_t>(pdf.bytes().size());
    pdf.Stream(
        5, "/Type /XRef /Size 7 /W [1 4 2] /Root 1 0 R",
        RowsOf(
            pdf, 7,
            {{1, Row(2, 6, 0)}, {2, Row(2, 6, 1)}, {3, Row(2, 6, 2)}, {5, Row(1, static_cast<uint64_t>(start), 0)}}));
    return pdf.WithStartXRef(start);
}

TEST(HostileBombTest, AnObjectStreamThatInflatesToAGibibyteFails) {
    const std::string input = InObjectStream(PaddedObjectStream(kOnePageMembers, kGiB));
    EXPECT_TRUE(FailsWith(RunHostile(input), "Object stream is too large"));
    EXPECT_TRUE(FailsWith(RunHostile(input, ImageMode()), "Object stream is too large"));
}

TEST(HostileBombTest, AnObjectStreamJustBelowTheLimitIsRead) {
    EXPECT_TRUE(Succeeds(RunHostile(InObjectStream(PaddedObjectStream(kOnePageMembers, 120 * kMiB)))));
}

// Two large object streams whose members alternate: a copy in order of
// object numbers would decode them in turn, each pushing the other out of
// the cache, once for every object.
TEST(HostileBombTest, ObjectStreamsThatPushEachOtherOutOfTheCacheFail) {
    constexpr int32_t kPairs = 40;
    std::vector<std::pair<int32_t, std::string>> first = kOnePageMembers;
    std::vector<std::pair<int32_t, std::string>> second;
    for (int32_t i = 0; i < kPairs; ++i) {
        first.push_back({10 + 2 * i, "(a" + std::to_string(i) + ")"});
        second.push_back({11 + 2 * i, "(b" + std::to_string(i) + ")"});
    }
    PdfBuilder pdf;
    pdf.Object(6, PaddedObjectStream(first, 100 * kMiB));
    pdf.Object(7, PaddedObjectStream(second, 100 * kMiB));
    const auto start = static_cast<int64_t>(pdf.bytes().size());
    std::vector<std::pair<int32_t, std::string>> rows = {
        {1, Row(2, 6, 0)}, {2, Row(2, 6, 1)}, {3, Row(2, 6, 2)}, {5, Row(1, static_cast<uint64_t>(start), 0)}};
    for (int32_t i = 0; i < kPairs; ++i) {
        rows.push_back({10 + 2 * i, Row(2, 6, static_cast<uint64_t>(3 + i))});
        rows.push_back({11 + 2 * i, Row(2, 7, static_cast<uint64_t>(i))});
    }
    const int32_t size = 10 + 2 * kPairs;
    pdf.Stream(5, "/Type /XRef /Size " + std::to_string(size) + " /W [1 4 2] /Root 1 0 R", RowsOf(pdf, size, rows));
    EXPECT_TRUE(FailsWith(RunHostile(pdf.WithStartXRef(start)), "Object stream is too large"));
}

// Rows of a cross-reference stream, deflated: the one-page objects, then
// `count` objects taken in turn from `streams` object streams numbered from 7.
std::string TakenInTurn(const PdfBuilder& pdf, int64_t start, int32_t streams, int32_t count) {
    std::vector<std::pair<int32_t, std::string>> rows = {{5, Row(1, static_cast<uint64_t>(start), 0)}};
    for (int32_t i = 1; i <= 3; ++i) rows.push_back({i, Row(2, 6, static_cast<uint64_t>(i - 1))});
    std::string data = RowsOf(pdf, 7 + streams, rows);
    for (int32_t i = 7 + streams; i < count; ++i) data += Row(2, static_cast<uint64_t>(7 + i % streams), 0);
    return Deflate(data);
}

// Small object streams taken in turn, more of them than the cache keeps,
// cost few bytes each; but each load counts, so that millions of objects do
// not make millions of loads.
TEST(HostileBombTest, ManySmallObjectStreamsTakenInTurnFail) {
    constexpr int32_t kStreams = 12;
    constexpr int32_t kObjects = 4000000;
    PdfBuilder pdf;
    pdf.ObjectStream(6, kOnePageMembers);
    for (int32_t s = 0; s < kStreams; ++s) pdf.Stream(7 + s, "/Type /ObjStm /N 1 /First 4", "99 0 null");
    const auto start = static_cast<int64_t>(pdf.bytes().size());
    pdf.Stream(5, "/Type /XRef /Size " + std::to_string(kObjects) + " /W [1 4 2] /Root 1 0 R /Filter /FlateDecode",
               TakenInTurn(pdf, start, kStreams, kObjects));
    EXPECT_TRUE(FailsWith(RunHostile(pdf.WithStartXRef(start)), "Object stream is too large"));
}

// Deflates `block` repeated until `size` bytes, one block at a time.
std::string DeflateRepeated(const std::string& block, uint64_t size) {
    z_stream zs{};
    deflateInit(&zs, 9);
    std::string out;
    std::vector<unsigned char> buffer(1 << 16);
    for (uint64_t done = 0; done < size; done += block.size()) {
        const int flush = done + block.size() >= size ? Z_FINISH : Z_NO_FLUSH;
        zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(block.data()));
        zs.avail_in = static_cast<uInt>(block.size());
        do {
            zs.next_out = buffer.data();
            zs.avail_out = static_cast<uInt>(buffer.size());
            deflate(&zs, flush);
            out.append(reinterpret_cast<const char*>(buffer.data()), buffer.size() - zs.avail_out);
        } while (zs.avail_out == 0);
    }
    deflateEnd(&zs);
    return out;
}

// A header of pairs "1 1 " that fills an object stream of nearly the largest
// decoded size, under /N of two thousand million, and of the largest object
// count: more members than the file has object numbers, so none.
TEST(HostileBombTest, AnObjectStreamHeaderOfHugeLengthEnds) {
    const uint64_t size = 127 * kMiB;
    std::string block;
    for (size_t i = 0; i < kMiB / 4; ++i) block += "1 1 ";
    const std::string packed = DeflateRepeated(block, size);
    for (const std::string n : {"2147483647", "8388608"}) {
        SCOPED_TRACE("/N " + n);
        PdfBuilder pdf = OnePageObjects(kSquarePage);
        pdf.Object(6, "<< /Type /ObjStm /N " + n + " /First " + std::to_string(size) +
                          " /Filter /FlateDecode /Length " + std::to_string(packed.size()) + " >>\nstream\n" + packed +
                          "\nendstream");
        // Object 7 lies in that stream, so that the copy reads its header.
        const auto start = static_cast<int64_t>(pdf.bytes().size());
        pdf.Stream(5, "/Type /XRef /Size 8 /W [1 4 2] /Root 1 0 R",
                   RowsOf(pdf, 8, {{5, Row(1, static_cast<uint64_t>(start), 0)}, {7, Row(2, 6, 0)}}));
        EXPECT_TRUE(Succeeds(RunHostile(pdf.WithStartXRef(start))));
    }
}

// Cross-reference stream data is read row by row: data beyond the rows is
// never inflated.
TEST(HostileBombTest, ACrossReferenceStreamThatInflatesToAGibibyteIsReadAsFarAsItsRows) {
    PdfBuilder pdf = OnePageObjects(kSquarePage);
    const auto start = static_cast<int64_t>(pdf.bytes().size());
    const std::string rows = RowsOf(pdf, 6, {{5, Row(1, static_cast<uint64_t>(start), 0)}});
    pdf.Stream(5, "/Type /XRef /Size 6 /W [1 4 2] /Root 1 0 R /Filter /FlateDecode", DeflateFilled(rows, '\0', kGiB));
    const HostileRun run = RunHostile(pdf.WithStartXRef(start));
    EXPECT_TRUE(Succeeds(run));
    EXPECT_TRUE(HeldAtMost(run, 128 * 1024));
}

// Rows of width zero take no data at all; /Index may repeat the largest
// range thousands of times, and so may the sections of a /Prev chain.
TEST(HostileBombTest, RowsWithoutDataAreCounted) {
    {
        SCOPED_TRACE("one stream");
        std::string index;
        for (int i = 0; i < 2000; ++i) index += "0 8388608 ";
        PdfBuilder pdf = OnePageObjects(kSquarePage);
        const auto start = static_cast<int64_t>(pdf.bytes().size());
        pdf.Stream(5, "/Type /XRef /Size 6 /W [0 0 0] /Root 1 0 R /Index [" + index + "]", "");
        EXPECT_TRUE(FailsWith(RunHostile(pdf.WithStartXRef(start)), "Xref stream is too large"));
    }
    {
        SCOPED_TRACE("a chain of streams");
        PdfBuilder pdf = OnePageObjects(kSquarePage);
        int64_t previous = -1;
        for (int i = 0; i < 500; ++i) {
            const auto start = static_cast<int64_t>(pdf.bytes().size());
            std::string dictionary = "/Type /XRef /Size 8388608 /W [0 0 0] /Root 1 0 R";
            if (previous >= 0) dictionary += " /Prev " + std::to_string(previous);
            pdf.Stream(5, dictionary, "");
            previous = start;
        }
        EXPECT_TRUE(FailsWith(RunHostile(pdf.WithStartXRef(previous)), "Xref stream is too large"));
    }
}

// The largest table a file may ask for: 8,388,608 entries from a file of a
// few hundred bytes. Its output, 160 MB of free entries, is too large for
// qpdf within the time of a test; its table is checked here instead.
TEST(HostileBombTest, TheLargestSizeIsHeldWithinTheMemoryLimit) {
    PdfBuilder pdf = OnePageObjects(kSquarePage);
    const auto start = static_cast<int64_t>(pdf.bytes().size());
    pdf.Stream(5, "/Type /XRef /Size 8388608 /Index [0 6] /W [1 4 2] /Root 1 0 R",
               RowsOf(pdf, 6, {{5, Row(1, static_cast<uint64_t>(start), 0)}}));
    const HostileRun run = RunHostile(pdf.WithStartXRef(start));
    ASSERT_TRUE(Succeeds(run));
    EXPECT_EQ(run.qpdf, -1);
    // Header, six objects and the stamp's, then 8,388,608 + 3 table lines.
    EXPECT_EQ(run.outputHead.substr(0, 9), "%PDF-1.5\r");
    EXPECT_GT(run.outputSize, int64_t{8388608} * 20);
    EXPECT_NE(run.outputTail.find("/Size 8388611"), std::string::npos);
    EXPECT_EQ(run.outputTail.substr(run.outputTail.size() - 5), "%%EOF");
}

// Page content is copied as it is and inflated only as far as the scan of
// its graphics state reads (64 MiB a stream): a content stream that inflates
// to a gibibyte, and one whose filter data is broken, cost no more than that.
// qpdf's check would inflate the gibibyte, for half a minute: the copy of its
// data is compared with the input instead. (Under AddressSanitizer the bound
// grows by its shadow memory and quarantine.)
TEST(HostileBombTest, ContentStreamsAreInflatedNoFurtherThanTheScanReads) {
#if defined(__SANITIZE_ADDRESS__)
    constexpr long kBoundKiB = 128 * 1024 * 9 / 8 + 256 * 1024;
#else
    constexpr long kBoundKiB = 128 * 1024;
#endif
    for (const bool broken : {false, true}) {
        const std::string data = broken ? std::string("\x78\x9c not deflate data at all")
                                        : DeflateFilled("q 0 0 1 rg 10 10 50 50 re f Q\n", '\0', kGiB);
        PdfBuilder pdf = OnePageObjects({.page = kSquarePage.page});
        pdf.Stream(4, "/Filter /FlateDecode", data);
        const std::string input = pdf.WithXRefTable("/Root 1 0 R");
        for (const std::string mode : {"text", "image"}) {
            SCOPED_TRACE(mode + (broken ? ", broken data" : ", a gibibyte"));
            HostileOptions options = Mode(mode);
            if (!broken) options.largestCheckedOutput = 0;
            const HostileRun run = RunHostile(input, options);
            EXPECT_TRUE(Succeeds(run));
            EXPECT_TRUE(HeldAtMost(run, kBoundKiB));
            EXPECT_GT(run.outputSize, static_cast<int64_t>(data.size()));
        }
    }
}

// The scan's budget is spent in page order, whatever the number of threads
// that scan ahead: six pages whose content inflates to 30 MiB each, of which
// the first four fit the budget (128 MiB and 16 bytes for every byte of the
// file) and the last two are taken for content that cannot be read.
TEST(HostileBombTest, TheScanBudgetIsSpentInPageOrderWhateverTheThreads) {
    PdfBuilder pdf;
    pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    pdf.Object(2, "<< /Type /Pages /Kids [10 0 R 12 0 R 14 0 R 16 0 R 18 0 R 20 0 R] /Count 6 >>");
    const std::string content = DeflateFilled("q 1 0 0 1 5 5 cm Q\n", ' ', 30 * kMiB);
    for (int32_t page = 10; page < 22; page += 2) {
        pdf.Object(page,
                   "<< /Type /Page /Parent 2 0 R /Contents " + std::to_string(page + 1) + " 0 R /Resources << >> >>");
        pdf.Stream(page + 1, "/Filter /FlateDecode", content);
    }
    const std::string input = pdf.WithXRefTable("/Root 1 0 R");
    const StampResult alone = RunTextStamp(input, {}, 1, 1);
    ASSERT_EQ(alone.message, "");
    // The stamps from 24 on, and the shared "q" 28 before the content of the
    // pages it is needed for.
    const OutputReader output(*alone.output);
    EXPECT_NE(output.Object(16)->find("/Contents [17 0 R  27 0 R ]"), std::string::npos);
    EXPECT_NE(output.Object(18)->find("/Contents [28 0 R 19 0 R  29 0 R ]"), std::string::npos);
    EXPECT_NE(output.Object(20)->find("/Contents [28 0 R 21 0 R  30 0 R ]"), std::string::npos);
    const StampResult ahead = RunTextStamp(input, {}, 1, 2);
    EXPECT_TRUE(ahead.output == alone.output);
}

}  // namespace
