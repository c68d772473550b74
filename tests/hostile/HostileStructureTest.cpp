// Inputs whose structure loops back on itself or nests without end: the
// cross-reference chain, the page tree, containers, object streams.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "hostile/HostileRun.h"

namespace {

std::string Padded(int64_t value) {
    char text[32];
    std::snprintf(text, sizeof text, "%010lld", static_cast<long long>(value));
    return text;
}

// A classic section listing objects 0..4 of `pdf`.
std::string TableOf(const PdfBuilder& pdf, const std::string& trailerEntries) {
    std::string table = "xref\n0 5\n" + XRefTableLine(0, 65535, 'f');
    for (int32_t i = 1; i <= 4; ++i) table += XRefTableLine(pdf.OffsetOf(i), 0, 'n');
    return table + "trailer\n<< /Size 5 /Root 1 0 R " + trailerEntries + " >>\n";
}

TEST(HostileXRefChainTest, APrevChainThatComesBackEnds) {
    {
        SCOPED_TRACE("a table whose /Prev is itself");
        PdfBuilder pdf = OnePageObjects(kSquarePage);
        const auto start = static_cast<int64_t>(pdf.bytes().size());
        pdf.Raw(TableOf(pdf, "/Prev " + std::to_string(start)));
        EXPECT_TRUE(Succeeds(RunHostile(pdf.WithStartXRef(start))));
    }
    {
        SCOPED_TRACE("two tables whose /Prev name each other");
        PdfBuilder pdf = OnePageObjects(kSquarePage);
        const auto first = static_cast<int64_t>(pdf.bytes().size());
        const std::string firstTable = TableOf(pdf, "/Prev 0000000000");
        const int64_t second = first + static_cast<int64_t>(firstTable.size());
        std::string patched = firstTable;
        patched.replace(patched.find("0000000000 >>"), 10, Padded(second));
        pdf.Raw(patched);
        pdf.Raw(TableOf(pdf, "/Prev " + std::to_string(first)));
        EXPECT_TRUE(Succeeds(RunHostile(pdf.WithStartXRef(second))));
    }
    {
        SCOPED_TRACE("a cross-reference stream whose /Prev is itself");
        PdfBuilder pdf = OnePageObjects(kSquarePage);
        const auto start = static_cast<int64_t>(pdf.bytes().size());
        pdf.Stream(5, "/Type /XRef /Size 6 /W [1 4 2] /Root 1 0 R /Prev " + std::to_string(start),
                   RowsOf(pdf, 6, {{5, Row(1, static_cast<uint64_t>(start), 0)}}));
        EXPECT_TRUE(Succeeds(RunHostile(pdf.WithStartXRef(start))));
    }
    {
        SCOPED_TRACE("a stream and a table that lead to each other by /Prev and /XRefStm");
        PdfBuilder pdf = OnePageObjects(kSquarePage);
        const auto stream = static_cast<int64_t>(pdf.bytes().size());
        const std::string rows = RowsOf(pdf, 6, {{5, Row(1, static_cast<uint64_t>(stream), 0)}});
        // The table follows the stream; its offset is patched in once known.
        pdf.Stream(5, "/Type /XRef /Size 6 /W [1 4 2] /Root 1 0 R /Prev 0000000000", rows);
        const auto table = static_cast<int64_t>(pdf.bytes().size());
        std::string bytes = pdf.bytes();
        bytes.replace(bytes.find("/Prev 0000000000") + 6, 10, Padded(table));
        PdfBuilder whole(bytes);
        whole.Raw(TableOf(pdf, "/XRefStm " + std::to_string(stream) + " /Prev " + std::to_string(stream)));
        EXPECT_TRUE(Succeeds(RunHostile(whole.WithStartXRef(table))));
        EXPECT_TRUE(Succeeds(RunHostile(whole.WithStartXRef(stream))));
    }
    {
        SCOPED_TRACE("/XRefStm that names the table itself");
        PdfBuilder pdf = OnePageObjects(kSquarePage);
        const auto start = static_cast<int64_t>(pdf.bytes().size());
        pdf.Raw(TableOf(pdf, "/XRefStm " + std::to_string(start)));
        EXPECT_TRUE(Succeeds(RunHostile(pdf.WithStartXRef(start))));
    }
}

TEST(HostileXRefChainTest, APrevOrXRefStmThatLeadsNowhere) {
    for (const std::string value : {"-1", "0", "9", "2147483648", "4294967296", "9223372036854775807",
                                    "18446744073709551615", "1 0 R", "999999 0 R", "(text)", "[1 2]"}) {
        for (const std::string key : {"/Prev", "/XRefStm"}) {
            SCOPED_TRACE(key + " " + value);
            PdfBuilder pdf = OnePageObjects(kSquarePage);
            const auto start = static_cast<int64_t>(pdf.bytes().size());
            pdf.Raw(TableOf(pdf, key + " " + value));
            EXPECT_TRUE(IsSound(RunHostile(pdf.WithStartXRef(start))));
        }
    }
}

TEST(HostilePageTreeTest, CyclesFailWithTheirMessage) {
    {
        SCOPED_TRACE("a node that is its own kid");
        PdfBuilder pdf;
        pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
        pdf.Object(2, "<< /Type /Pages /Kids [3 0 R 2 0 R] /Count 2 >>");
        pdf.Object(3, "<< /Type /Page /Parent 2 0 R /Resources << >> >>");
        EXPECT_TRUE(FailsWith(RunHostile(pdf.WithXRefTable("/Root 1 0 R")), "Page tree contains a loop"));
    }
    {
        SCOPED_TRACE("two nodes that are each other's kid");
        PdfBuilder pdf;
        pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
        pdf.Object(2, "<< /Type /Pages /Kids [3 0 R 5 0 R] /Count 2 >>");
        pdf.Object(3, "<< /Type /Page /Parent 2 0 R /Resources << >> >>");
        pdf.Object(5, "<< /Type /Pages /Parent 2 0 R /Kids [2 0 R] /Count 1 >>");
        EXPECT_TRUE(FailsWith(RunHostile(pdf.WithXRefTable("/Root 1 0 R")), "Page tree contains a loop"));
    }
    {
        SCOPED_TRACE("a loop through the catalog");
        PdfBuilder pdf;
        pdf.Object(1, "<< /Type /Catalog /Pages 1 0 R /Kids [1 0 R] /Count 1 >>");
        EXPECT_TRUE(FailsWith(RunHostile(pdf.WithXRefTable("/Root 1 0 R")), "Page tree contains a loop"));
    }
    {
        SCOPED_TRACE("a loop below a node typed as a page");
        const std::string page = "<< /Type /Page /Parent 2 0 R /Resources << >> /Kids [2 0 R] >>";
        EXPECT_TRUE(IsSound(RunHostile(OnePagePdf({.page = page}))));
    }
}

TEST(HostilePageTreeTest, DeepAndWideTreesWithoutLoops) {
    constexpr int32_t kNodes = 20000;
    {
        SCOPED_TRACE("20,000 nodes, each the only kid of the one before");
        PdfBuilder pdf;
        pdf.Object(1, "<< /Type /Catalog /Pages 5 0 R >>");
        pdf.Object(3, "<< /Type /Page /Resources << >> >>");
        for (int32_t i = 0; i < kNodes; ++i) {
            const int32_t kid = i + 1 < kNodes ? 6 + i : 3;
            pdf.Object(5 + i, "<< /Type /Pages /Kids [" + std::to_string(kid) + " 0 R] /Count 1 >>");
        }
        EXPECT_TRUE(IsSound(RunHostile(pdf.WithXRefTable("/Root 1 0 R"))));
    }
    {
        SCOPED_TRACE("one page listed 20,000 times");
        std::string kids;
        for (int32_t i = 0; i < kNodes; ++i) kids += "3 0 R ";
        PdfBuilder pdf;
        pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
        pdf.Object(2, "<< /Type /Pages /Kids [" + kids + "] /Count 20000 >>");
        pdf.Object(3, "<< /Type /Page /Parent 2 0 R /Resources << >> >>");
        EXPECT_TRUE(Succeeds(RunHostile(pdf.WithXRefTable("/Root 1 0 R"))));
    }
}

// 100,000 levels of nesting wherever a value may stand: every run ends, the
// depth limit of the parser cuts the value off.
TEST(HostileNestingTest, HundredThousandLevelsOfArraysAndDictionaries) {
    constexpr size_t kDepth = 100000;
    struct Nest {
        const char* name;
        std::string text;
    };
    const Nest nests[] = {
        {"arrays", NestedArrays(kDepth)},
        {"unclosed arrays", NestedArrays(kDepth, false)},
        {"dictionaries", NestedDictionaries(kDepth)},
        {"unclosed dictionaries", NestedDictionaries(kDepth, false)},
    };
    for (const Nest& nest : nests) {
        const std::string& deep = nest.text;
        const auto page = [](const std::string& extra) {
            return "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] " + extra + " >>";
        };
        struct Case {
            std::string where;
            std::string bytes;
            bool closesProperly;  // whether the file stays readable around the nest
        };
        std::vector<Case> cases;
        const auto withPage = [](const std::string& pageBody, const std::string& trailer = "/Root 1 0 R") {
            return OnePageObjects({.page = pageBody, .content = kSquare}).WithXRefTable(trailer);
        };
        cases.push_back({"a page entry", withPage(page("/Resources << >> /Contents 4 0 R /Deep " + deep)), true});
        cases.push_back(
            {"the page's resources", withPage(page("/Resources << /Deep " + deep + " >> /Contents 4 0 R")), true});
        cases.push_back(
            {"the page's contents", withPage(page("/Resources << >> /Contents [4 0 R " + deep + "]")), true});
        cases.push_back({"the page's media box",
                         withPage("<< /Type /Page /Parent 2 0 R /Resources << >> /MediaBox " + deep + " >>"), true});
        cases.push_back(
            {"the trailer", withPage(page("/Resources << >> /Contents 4 0 R"), "/Root 1 0 R /Deep " + deep), true});
        {
            PdfBuilder pdf;
            pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R /Deep " + deep + " >>");
            pdf.Object(2, "<< /Type /Pages /Kids [" + deep + " 3 0 R] /Count 1 >>");
            pdf.Object(3, page("/Resources << >>"));
            cases.push_back({"the catalog and the kids", pdf.WithXRefTable("/Root 1 0 R"), true});
        }
        {
            PdfBuilder pdf;
            pdf.ObjectStream(5, {{1, "<< /Type /Catalog /Pages 2 0 R >>"},
                                 {2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>"},
                                 {3, page("/Resources << >> /Deep " + deep)}});
            cases.push_back({"a page inside an object stream", pdf.WithXRefStream(6, "/Root 1 0 R"), true});
        }
        {
            PdfBuilder pdf = OnePageObjects(kSquarePage);
            const auto start = static_cast<int64_t>(pdf.bytes().size());
            pdf.Stream(5, "/Type /XRef /Size 6 /W [1 4 2] /Root 1 0 R /Deep " + deep,
                       RowsOf(pdf, 6, {{5, Row(1, static_cast<uint64_t>(start), 0)}}));
            cases.push_back({"the cross-reference stream's dictionary", pdf.WithStartXRef(start), true});
        }
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(nest.name) + " in " + c.where);
            EXPECT_TRUE(IsSound(RunHostile(c.bytes)));
        }
    }
}

TEST(HostileObjectStreamTest, StreamsThatNameThemselves) {
    const auto& members = kOnePageMembers;
    {
        SCOPED_TRACE("the stream's own entry puts it inside itself");
        PdfBuilder pdf;
        pdf.ObjectStream(5, members);
        const auto start = static_cast<int64_t>(pdf.bytes().size());
        pdf.Stream(4, "/Type /XRef /Size 6 /W [1 4 2] /Root 1 0 R",
                   RowsOf(pdf, 6,
                          {{1, Row(2, 5, 0)},
                           {2, Row(2, 5, 1)},
                           {3, Row(2, 5, 2)},
                           {4, Row(1, static_cast<uint64_t>(start), 0)},
                           {5, Row(2, 5, 3)}}));
        EXPECT_TRUE(IsSound(RunHostile(pdf.WithStartXRef(start))));
    }
    {
        SCOPED_TRACE("two streams, each inside the other");
        PdfBuilder pdf;
        pdf.ObjectStream(5, members);
        const auto start = static_cast<int64_t>(pdf.bytes().size());
        pdf.Stream(4, "/Type /XRef /Size 7 /W [1 4 2] /Root 1 0 R",
                   RowsOf(pdf, 7,
                          {{1, Row(2, 6, 0)},
                           {2, Row(2, 6, 1)},
                           {3, Row(2, 6, 2)},
                           {4, Row(1, static_cast<uint64_t>(start), 0)},
                           {5, Row(2, 6, 0)},
                           {6, Row(2, 5, 0)}}));
        EXPECT_TRUE(IsSound(RunHostile(pdf.WithStartXRef(start))));
    }
    {
        SCOPED_TRACE("a stream that lists itself among its members");
        PdfBuilder pdf;
        std::vector<std::pair<int32_t, std::string>> withItself = members;
        withItself.push_back({5, "<< /Type /ObjStm /N 1 /First 4 /Length 9 >>"});
        const auto stream = static_cast<uint64_t>(pdf.bytes().size());
        pdf.ObjectStream(5, withItself);
        const auto start = static_cast<int64_t>(pdf.bytes().size());
        pdf.Stream(4, "/Type /XRef /Size 6 /W [1 4 2] /Root 1 0 R",
                   RowsOf(pdf, 6,
                          {{1, Row(2, 5, 0)},
                           {2, Row(2, 5, 1)},
                           {3, Row(2, 5, 2)},
                           {4, Row(1, static_cast<uint64_t>(start), 0)},
                           {5, Row(1, stream, 0)}}));
        EXPECT_TRUE(Succeeds(RunHostile(pdf.WithStartXRef(start))));
    }
    for (const std::string key : {"/Length", "/N", "/First", "/Filter"}) {
        SCOPED_TRACE(key + " given by an object inside the stream itself");
        std::string header;
        std::string body;
        std::vector<std::pair<int32_t, std::string>> all = members;
        all.push_back({7, "42"});
        for (const auto& [number, value] : all) {
            header += std::to_string(number) + " " + std::to_string(body.size()) + " ";
            body += value + "\n";
        }
        const std::string data = header + body;
        std::string dictionary = "/Type /ObjStm";
        for (const auto& [name, value] : std::vector<std::pair<std::string, std::string>>{
                 {"/Length", std::to_string(data.size())}, {"/N", "4"}, {"/First", std::to_string(header.size())}}) {
            dictionary += " " + name + " " + (name == key ? std::string("7 0 R") : value);
        }
        if (key == "/Filter") dictionary += " /Filter 7 0 R";
        PdfBuilder pdf;
        pdf.Object(5, "<< " + dictionary + " >>\nstream\n" + data + "\nendstream");
        const auto start = static_cast<int64_t>(pdf.bytes().size());
        pdf.Stream(4, "/Type /XRef /Size 8 /W [1 4 2] /Root 1 0 R",
                   RowsOf(pdf, 8,
                          {{1, Row(2, 5, 0)},
                           {2, Row(2, 5, 1)},
                           {3, Row(2, 5, 2)},
                           {4, Row(1, static_cast<uint64_t>(start), 0)},
                           {7, Row(2, 5, 3)}}));
        EXPECT_TRUE(IsSound(RunHostile(pdf.WithStartXRef(start))));
    }
}

}  // namespace
