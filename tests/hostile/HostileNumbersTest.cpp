// Numbers at the edges of the integer ranges, and negative ones, wherever the
// reader takes a count, a size, a length or an offset from the file.

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "hostile/HostileRun.h"
#include "support/CaseName.h"

namespace {

const char* const kValues[] = {
    "0",
    "-1",
    "2147483647",
    "2147483648",
    "-2147483648",
    "-2147483649",
    "4294967295",
    "4294967296",
    "4294967297",
    "8388607",
    "8388608",
    "8388609",
    "9223372036854775807",
    "9223372036854775808",
    "-9223372036854775808",
    "18446744073709551615",
    "18446744073709551616",
    "99999999999999999999999999",
    "1e10",
    "-0.5",
};

struct Place {
    const char* name;
    // The input with `value` standing in its place.
    std::function<std::string(const std::string& value)> input;
};

// A one-page file whose trailer is an uncompressed cross-reference stream
// with `dictionary` (without /Length) and `rows`; the rows are made by
// `makeRows` from the builder once the objects are written.
std::string WithXRefStream(PdfBuilder pdf, const std::string& dictionary,
                           const std::function<std::string(const PdfBuilder&, int64_t)>& makeRows) {
    const auto start = static_cast<int64_t>(pdf.bytes().size());
    pdf.Stream(5, dictionary, makeRows(pdf, start));
    return pdf.WithStartXRef(start);
}

std::string OwnRows(const PdfBuilder& pdf, int64_t start) {
    return RowsOf(pdf, 6, {{5, Row(1, static_cast<uint64_t>(start), 0)}});
}

// The object stream holding the catalog, the page tree and the page, with
// its dictionary written out (without /Length) and its data uncompressed.
std::string WithObjectStream(const std::string& n, const std::string& first, const std::string& length) {
    std::string header;
    std::string body;
    for (const auto& [number, value] : kOnePageMembers) {
        header += std::to_string(number) + " " + std::to_string(body.size()) + " ";
        body += value + "\n";
    }
    const std::string data = header + body;
    PdfBuilder pdf;
    pdf.Object(6, "<< /Type /ObjStm /N " + (n.empty() ? "3" : n) + " /First " +
                      (first.empty() ? std::to_string(header.size()) : first) + " /Length " +
                      (length.empty() ? std::to_string(data.size()) : length) + " >>\nstream\n" + data + "\nendstream");
    const auto start = static_cast<int64_t>(pdf.bytes().size());
    pdf.Stream(
        5, "/Type /XRef /Size 7 /W [1 4 2] /Root 1 0 R",
        RowsOf(
            pdf, 7,
            {{1, Row(2, 6, 0)}, {2, Row(2, 6, 1)}, {3, Row(2, 6, 2)}, {5, Row(1, static_cast<uint64_t>(start), 0)}}));
    return pdf.WithStartXRef(start);
}

std::string WithPage(const std::string& pageEntries, const std::string& pagesEntries = "/Count 1") {
    return OnePagePdf({.page = "<< /Type /Page /Parent 2 0 R /Resources << >> /Contents 4 0 R " + pageEntries + " >>",
                       .pages = pagesEntries,
                       .content = kSquare});
}

const Place kPlaces[] = {
    {"TrailerSize",
     [](const std::string& v) {
         PdfBuilder pdf = OnePageObjects(kSquarePage);
         const auto start = static_cast<int64_t>(pdf.bytes().size());
         std::string table = "xref\n0 5\n" + XRefTableLine(0, 65535, 'f');
         for (int32_t i = 1; i <= 4; ++i) table += XRefTableLine(pdf.OffsetOf(i), 0, 'n');
         pdf.Raw(table + "trailer\n<< /Size " + v + " /Root 1 0 R >>\n");
         return pdf.WithStartXRef(start);
     }},
    {"SubsectionStart",
     [](const std::string& v) {
         PdfBuilder pdf = OnePageObjects(kSquarePage);
         const auto start = static_cast<int64_t>(pdf.bytes().size());
         std::string table = "xref\n0 5\n" + XRefTableLine(0, 65535, 'f');
         for (int32_t i = 1; i <= 4; ++i) table += XRefTableLine(pdf.OffsetOf(i), 0, 'n');
         table += v + " 2\n" + XRefTableLine(9, 0, 'n') + XRefTableLine(0, 0, 'f');
         pdf.Raw(table + "trailer\n<< /Size 5 /Root 1 0 R >>\n");
         return pdf.WithStartXRef(start);
     }},
    {"SubsectionCount",
     [](const std::string& v) {
         PdfBuilder pdf = OnePageObjects(kSquarePage);
         const auto start = static_cast<int64_t>(pdf.bytes().size());
         std::string table = "xref\n0 " + v + "\n" + XRefTableLine(0, 65535, 'f');
         for (int32_t i = 1; i <= 4; ++i) table += XRefTableLine(pdf.OffsetOf(i), 0, 'n');
         pdf.Raw(table + "trailer\n<< /Size 5 /Root 1 0 R >>\n");
         return pdf.WithStartXRef(start);
     }},
    {"TableOffsetAndGeneration",
     [](const std::string& v) {
         PdfBuilder pdf = OnePageObjects(kSquarePage);
         const auto start = static_cast<int64_t>(pdf.bytes().size());
         std::string table = "xref\n0 6\n" + XRefTableLine(0, 65535, 'f');
         for (int32_t i = 1; i <= 4; ++i) table += XRefTableLine(pdf.OffsetOf(i), 0, 'n');
         table += v + " " + v + " n \n";
         pdf.Raw(table + "trailer\n<< /Size 6 /Root 1 0 R >>\n");
         return pdf.WithStartXRef(start);
     }},
    {"StartXRef",
     [](const std::string& v) {
         PdfBuilder pdf = OnePageObjects(kSquarePage);
         pdf.WithXRefTable("/Root 1 0 R");
         return pdf.bytes() + "startxref\n" + v + "\n%%EOF\n";
     }},
    {"StreamSize",
     [](const std::string& v) {
         return WithXRefStream(OnePageObjects(kSquarePage),
                               "/Type /XRef /Size " + v + " /Index [0 6] /W [1 4 2] /Root 1 0 R", OwnRows);
     }},
    {"StreamSizeWithoutIndex",
     [](const std::string& v) {
         return WithXRefStream(OnePageObjects(kSquarePage), "/Type /XRef /Size " + v + " /W [1 4 2] /Root 1 0 R",
                               OwnRows);
     }},
    {"IndexStart",
     [](const std::string& v) {
         return WithXRefStream(OnePageObjects(kSquarePage),
                               "/Type /XRef /Size 6 /Index [0 6 " + v + " 1] /W [1 4 2] /Root 1 0 R",
                               [](const PdfBuilder& pdf, int64_t start) { return OwnRows(pdf, start) + Row(1, 9, 0); });
     }},
    {"IndexCount",
     [](const std::string& v) {
         return WithXRefStream(OnePageObjects(kSquarePage),
                               "/Type /XRef /Size 6 /Index [0 " + v + "] /W [1 4 2] /Root 1 0 R", OwnRows);
     }},
    {"FieldWidth",
     [](const std::string& v) {
         return WithXRefStream(OnePageObjects(kSquarePage), "/Type /XRef /Size 6 /W [1 " + v + " 2] /Root 1 0 R",
                               OwnRows);
     }},
    {"PredictorColumns",
     [](const std::string& v) {
         return WithXRefStream(OnePageObjects(kSquarePage),
                               "/Type /XRef /Size 6 /W [1 4 2] /Root 1 0 R /Filter /FlateDecode /DecodeParms "
                               "<< /Predictor 12 /Columns " +
                                   v + " /Colors " + v + " >>",
                               [](const PdfBuilder& pdf, int64_t start) { return Deflate(OwnRows(pdf, start)); });
     }},
    {"StreamPrev",
     [](const std::string& v) {
         return WithXRefStream(OnePageObjects(kSquarePage), "/Type /XRef /Size 6 /W [1 4 2] /Root 1 0 R /Prev " + v,
                               OwnRows);
     }},
    {"ObjectStreamN", [](const std::string& v) { return WithObjectStream(v, "", ""); }},
    {"ObjectStreamFirst", [](const std::string& v) { return WithObjectStream("", v, ""); }},
    {"ObjectStreamLength", [](const std::string& v) { return WithObjectStream("", "", v); }},
    {"MemberOffset",
     [](const std::string& v) {
         PdfBuilder pdf;
         const std::string data =
             "1 0 2 " + v + " 3 " + v + " " + kOnePageMembers[0].second + "\n" + kOnePageMembers[1].second;
         pdf.Stream(6, "/Type /ObjStm /N 3 /First 6", data);
         const auto start = static_cast<int64_t>(pdf.bytes().size());
         pdf.Stream(5, "/Type /XRef /Size 7 /W [1 4 2] /Root 1 0 R",
                    RowsOf(pdf, 7,
                           {{1, Row(2, 6, 0)},
                            {2, Row(2, 6, 1)},
                            {3, Row(2, 6, 2)},
                            {5, Row(1, static_cast<uint64_t>(start), 0)}}));
         return pdf.WithStartXRef(start);
     }},
    {"ContentLength",
     [](const std::string& v) {
         return OnePagePdf({.page = "<< /Type /Page /Parent 2 0 R /Resources << >> /Contents 4 0 R >>",
                            .more = {{4, "<< /Length " + v + " >>\nstream\n" + kSquare + "\nendstream"}}});
     }},
    {"PageLengthOfItsOwn",
     [](const std::string& v) {
         // The page itself a stream: its raw bytes are located through /Length.
         return OnePagePdf(
             {.page = "<< /Type /Page /Parent 2 0 R /Resources << >> /Length " + v + " >>\nstream\nendobj\nendstream"});
     }},
    {"Count", [](const std::string& v) { return WithPage("", "/Count " + v); }},
    {"Rotate", [](const std::string& v) { return WithPage("/Rotate " + v); }},
    {"MediaBox", [](const std::string& v) { return WithPage("/MediaBox [" + v + " " + v + " " + v + " 0]"); }},
    {"ReferenceNumbers",
     [](const std::string& v) {
         return WithPage("/Annots [" + v + " 0 R 1 " + v + " R] /Group " + v + " " + v + " R",
                         "/Count 1 /X " + v + " 0 R");
     }},
    {"KidReference",
     [](const std::string& v) {
         PdfBuilder pdf;
         pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
         pdf.Object(2, "<< /Type /Pages /Kids [3 0 R " + v + " 0 R] /Count 2 >>");
         pdf.Object(3, "<< /Type /Page /Parent 2 0 R /Resources << >> >>");
         return pdf.WithXRefTable("/Root 1 0 R");
     }},
};

class HostileNumbersTest : public ::testing::TestWithParam<Place> {};

TEST_P(HostileNumbersTest, EveryValueEndsInOneMessageOrASoundOutput) {
    for (const char* value : kValues) {
        SCOPED_TRACE(std::string(GetParam().name) + " " + value);
        EXPECT_TRUE(IsSound(RunHostile(GetParam().input(value))));
    }
}

INSTANTIATE_TEST_SUITE_P(Hostile, HostileNumbersTest, ::testing::ValuesIn(kPlaces), CaseName<Place>);

// The values the reader refuses outright, with their messages.
TEST(HostileNumbersTest, SizesBeyondTheLargestObjectNumberAreRefused) {
    const auto stream = [](const std::string& size) {
        return WithXRefStream(OnePageObjects(kSquarePage),
                              "/Type /XRef /Size " + size + " /Index [0 6] /W [1 4 2] /Root 1 0 R", OwnRows);
    };
    EXPECT_TRUE(FailsWith(RunHostile(stream("2147483648")), "Size of xref Stream is wrong type"));
    EXPECT_TRUE(FailsWith(RunHostile(stream("8388609")), "Size of xref Stream is wrong type"));
    EXPECT_TRUE(Succeeds(RunHostile(stream("-1"))));
    EXPECT_TRUE(Succeeds(RunHostile(stream("-2147483648"))));
    const auto index = [](const std::string& first, const std::string& count) {
        return WithXRefStream(OnePageObjects(kSquarePage),
                              "/Type /XRef /Size 6 /Index [0 6 " + first + " " + count + "] /W [1 4 2] /Root 1 0 R",
                              OwnRows);
    };
    // A first and a count whose sum does not fit in 64 bits.
    EXPECT_TRUE(FailsWith(RunHostile(index("5", "9223372036854775807")), "Index item of xref Stream is wrong type"));
    EXPECT_TRUE(FailsWith(RunHostile(index("9223372036854775807", "5")), "Index item of xref Stream is wrong type"));
    EXPECT_TRUE(FailsWith(RunHostile(index("-1", "1")), "Index item of xref Stream is wrong type"));
    const auto table = [](const std::string& subsection) {
        PdfBuilder pdf = OnePageObjects(kSquarePage);
        const auto start = static_cast<int64_t>(pdf.bytes().size());
        std::string text = "xref\n0 5\n" + XRefTableLine(0, 65535, 'f');
        for (int32_t i = 1; i <= 4; ++i) text += XRefTableLine(pdf.OffsetOf(i), 0, 'n');
        pdf.Raw(text + subsection + "\n" + XRefTableLine(0, 0, 'f') + "trailer\n<< /Size 5 /Root 1 0 R >>\n");
        return pdf.WithStartXRef(start);
    };
    EXPECT_TRUE(FailsWith(RunHostile(table("5 9223372036854775807")), "Couldn't parse an xref table"));
    EXPECT_TRUE(FailsWith(RunHostile(table("9223372036854775807 1")), "Couldn't parse an xref table"));
    EXPECT_TRUE(FailsWith(RunHostile(table("2147483648 1")), "Couldn't parse an xref table"));
    EXPECT_TRUE(FailsWith(RunHostile(table("-1 1")), "Couldn't parse an xref table"));
}

}  // namespace
