#include "pdf/document/CPdfCatalog.h"

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "base/CByteSource.h"
#include "base/CPdfException.h"
#include "pdf/document/CPdfDocument.h"
#include "pdf/object/CPdfDictionary.h"
#include "pdf/reader/CPdfXRef.h"
#include "support/CaseName.h"
#include "support/PdfBuilder.h"

namespace {

using Objects = std::vector<std::pair<int32_t, std::string>>;

// A file of the given objects with /Root 1 0 R.
std::string File(const Objects& objects) {
    PdfBuilder pdf;
    for (const auto& [number, body] : objects) pdf.Object(number, body);
    return pdf.WithXRefTable("/Root 1 0 R");
}

std::unique_ptr<CPdfDocument> Open(const Objects& objects) {
    auto document = std::make_unique<CPdfDocument>();
    document->Open(std::make_shared<CMemoryByteSource>(File(objects)));
    return document;
}

std::string OpenFailure(const Objects& objects) {
    CPdfDocument document;
    try {
        document.Open(std::make_shared<CMemoryByteSource>(File(objects)));
    } catch (const CPdfException& failure) {
        return failure.GetMessage();
    }
    return {};
}

const std::string kCatalog = "<< /Type /Catalog /Pages 2 0 R >>";

// A page whose /Contents names object `contents`, so that tests can tell pages apart.
std::string Page(int32_t contents) {
    return "<< /Type /Page /Resources << >> /Contents " + std::to_string(contents) + " 0 R >>";
}

// The /Contents numbers of the catalog's page records, in order.
std::vector<int32_t> ContentsOrder(const CPdfCatalog& catalog) {
    std::vector<int32_t> order;
    for (const CPdfPage& page : catalog.pages()) order.push_back(page.contents.getRef().number);
    return order;
}

// ---------------------------------------------------------------------------
// The walk

TEST(CPdfCatalogTest, OnePagesNodeWithThreePages) {
    auto document = Open({{1, kCatalog},
                          {2, "<< /Type /Pages /Kids [4 0 R 3 0 R 5 0 R] /Count 3 >>"},
                          {3, Page(13)},
                          {4, Page(14)},
                          {5, Page(15)}});
    const CPdfCatalog& catalog = document->catalog();
    ASSERT_EQ(catalog.pages().size(), 3u);
    for (int32_t i = 0; i < 3; ++i) EXPECT_EQ(catalog.pages()[static_cast<size_t>(i)].pageNumber, i + 1);
    EXPECT_EQ(ContentsOrder(catalog), (std::vector<int32_t>{14, 13, 15}));
    EXPECT_EQ(catalog.pages()[0].xref, static_cast<CPdfResolver*>(&document->xref()));
}

TEST(CPdfCatalogTest, NestedNodesAreWalkedDepthFirst) {
    // Root: [inner A, page 7, inner B]; A: [page 5, inner C]; C: [page 6]; B: [page 8].
    auto document = Open({{1, kCatalog},
                          {2, "<< /Type /Pages /Kids [3 0 R 7 0 R 4 0 R] /Count 4 >>"},
                          {3, "<< /Type /Pages /Kids [5 0 R 9 0 R] /Count 2 >>"},
                          {9, "<< /Type /Pages /Kids [6 0 R] /Count 1 >>"},
                          {4, "<< /Type /Pages /Kids [8 0 R] /Count 1 >>"},
                          {5, Page(15)},
                          {6, Page(16)},
                          {7, Page(17)},
                          {8, Page(18)}});
    EXPECT_EQ(ContentsOrder(document->catalog()), (std::vector<int32_t>{15, 16, 17, 18}));
    EXPECT_EQ(document->catalog().pages()[3].pageNumber, 4);
}

TEST(CPdfCatalogTest, AnyKidNotTypedPageIsANode) {
    auto document = Open({{1, kCatalog},
                          {2, "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 3 >>"},
                          {3, "<< /Kids [6 0 R] >>"},
                          {4, "<< /Type /Folder /Kids [7 0 R] >>"},
                          {5, "<< /Type /page /Kids [8 0 R] >>"},
                          {6, Page(16)},
                          {7, Page(17)},
                          {8, Page(18)}});
    EXPECT_EQ(ContentsOrder(document->catalog()), (std::vector<int32_t>{16, 17, 18}));
}

TEST(CPdfCatalogTest, AKidTypedPageIsAPageEvenWithKids) {
    auto document = Open({{1, kCatalog},
                          {2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>"},
                          {3, "<< /Type /Page /Resources << >> /Contents 13 0 R /Kids [4 0 R] >>"},
                          {4, "(not a page and never looked at)"}});
    EXPECT_EQ(ContentsOrder(document->catalog()), (std::vector<int32_t>{13}));
}

TEST(CPdfCatalogTest, KidsWrittenDirectlyAndPagesListedTwice) {
    auto document = Open({{1, kCatalog},
                          {2,
                           "<< /Type /Pages /Kids [3 0 R << /Type /Page /Resources << >> /Contents 14 0 R >> 3 0 R "
                           "<< /Kids [3 0 R] >>] /Count 4 >>"},
                          {3, Page(13)}});
    EXPECT_EQ(ContentsOrder(document->catalog()), (std::vector<int32_t>{13, 14, 13, 13}));
}

TEST(CPdfCatalogTest, TheCountIsNotComparedWithThePages) {
    for (const std::string count : {"2.0", "7", "0", "-1", "0.5", "5 0 R"}) {
        auto document = Open({{1, kCatalog},
                              {2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count " + count + " >>"},
                              {3, Page(13)},
                              {4, Page(14)},
                              {5, "2"}});
        EXPECT_EQ(document->catalog().pages().size(), 2u) << count;
    }
}

TEST(CPdfCatalogTest, TheCatalogsPagesMayBeWrittenDirectly) {
    auto document = Open({{1, "<< /Type /Catalog /Pages << /Type /Pages /Kids [3 0 R] /Count 1 >> >>"}, {3, Page(13)}});
    EXPECT_EQ(document->catalog().pages().size(), 1u);
}

// ---------------------------------------------------------------------------
// Names and outlines

TEST(CPdfCatalogTest, WithoutNamesAndOutlinesBothAreNull) {
    auto document = Open({{1, kCatalog}, {2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>"}, {3, Page(13)}});
    EXPECT_TRUE(document->catalog().dests().is(pdfNull));
    EXPECT_TRUE(document->catalog().outlines().is(pdfNull));
}

TEST(CPdfCatalogTest, DestsAndOutlinesAreResolved) {
    auto document = Open({{1, "<< /Type /Catalog /Pages 2 0 R /Names 4 0 R /Outlines 5 0 R >>"},
                          {2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>"},
                          {3, Page(13)},
                          {4, "<< /Dests 6 0 R >>"},
                          {5, "<< /Type /Outlines /Count 0 >>"},
                          {6, "<< /Names [(a) [3 0 R /Fit]] >>"}});
    ASSERT_TRUE(document->catalog().dests().is(pdfDictionary));
    EXPECT_TRUE(document->catalog().dests().getDict().lookup("Names").is(pdfArray));
    ASSERT_TRUE(document->catalog().outlines().is(pdfDictionary));
    EXPECT_TRUE(document->catalog().outlines().getDict().isType("Outlines"));
}

TEST(CPdfCatalogTest, NamesThatAreNotADictionaryGiveNoDests) {
    for (const std::string names : {"[/Dests 4 0 R]", "<< /EmbeddedFiles 4 0 R >>", "4 0 R", "(x)"}) {
        auto document = Open({{1, "<< /Type /Catalog /Pages 2 0 R /Names " + names + " >>"},
                              {2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>"},
                              {3, Page(13)},
                              {4, "[1 2]"}});
        EXPECT_TRUE(document->catalog().dests().is(pdfNull)) << names;
    }
}

// ---------------------------------------------------------------------------
// Failures, one line each

struct FailureCase {
    std::string name;
    Objects objects;
    std::string message;
};

void PrintTo(const FailureCase& value, std::ostream* os) { *os << value.name; }

std::vector<FailureCase> FailureCases() {
    const std::string pages = "<< /Type /Pages /Kids [3 0 R] /Count 1 >>";
    const std::string page = Page(13);
    return {
        {"CatalogAnInteger", {{1, "12"}, {2, pages}, {3, page}}, "Catalog CPdfObject is wrong type"},
        {"CatalogAnArray", {{1, "[/Pages 2 0 R]"}, {2, pages}, {3, page}}, "Catalog CPdfObject is wrong type"},
        {"CatalogAStream",
         {{1, "<< /Pages 2 0 R /Length 0 >>\nstream\n\nendstream"}, {2, pages}, {3, page}},
         "Catalog CPdfObject is wrong type"},
        {"CatalogFree", {{2, pages}, {3, page}, {4, "null"}}, "Catalog CPdfObject is wrong type"},
        {"PagesMissing",
         {{1, "<< /Type /Catalog >>"}, {2, pages}, {3, page}},
         "Top-level pages CPdfObject is wrong type"},
        {"PagesAReferenceToAnArray",
         {{1, kCatalog}, {2, "[3 0 R]"}, {3, page}},
         "Top-level pages CPdfObject is wrong type"},
        {"PagesAName",
         {{1, "<< /Type /Catalog /Pages /Pages >>"}, {2, pages}, {3, page}},
         "Top-level pages CPdfObject is wrong type"},
        {"PagesFree",
         {{1, "<< /Type /Catalog /Pages 4 0 R >>"}, {2, pages}, {3, page}, {5, "null"}},
         "Top-level pages CPdfObject is wrong type"},
        {"CountMissing",
         {{1, kCatalog}, {2, "<< /Type /Pages /Kids [3 0 R] >>"}, {3, page}},
         "Page count in top-level pages CPdfObject is wrong type"},
        {"CountAName",
         {{1, kCatalog}, {2, "<< /Type /Pages /Kids [3 0 R] /Count /One >>"}, {3, page}},
         "Page count in top-level pages CPdfObject is wrong type"},
        {"CountAString",
         {{1, kCatalog}, {2, "<< /Type /Pages /Kids [3 0 R] /Count (1) >>"}, {3, page}},
         "Page count in top-level pages CPdfObject is wrong type"},
        {"CountAReferenceToAnArray",
         {{1, kCatalog}, {2, "<< /Type /Pages /Kids [3 0 R] /Count 3 0 R >>"}, {3, page}},
         "Page count in top-level pages CPdfObject is wrong type"},
        {"CountCheckedBeforeKids",
         {{1, kCatalog}, {2, "<< /Type /Pages >>"}, {3, page}},
         "Page count in top-level pages CPdfObject is wrong type"},
        {"TopWithoutKids",
         {{1, kCatalog}, {2, "<< /Type /Pages /Count 1 >>"}, {3, page}},
         "Kids CPdfObject is wrong type"},
        {"TopKidsADictionary",
         {{1, kCatalog}, {2, "<< /Type /Pages /Kids << /A 3 0 R >> /Count 1 >>"}, {3, page}},
         "Kids CPdfObject is wrong type"},
        {"TopKidsAReferenceToAnInteger",
         {{1, kCatalog}, {2, "<< /Type /Pages /Kids 3 0 R /Count 1 >>"}, {3, "4"}},
         "Kids CPdfObject is wrong type"},
        {"InnerNodeWithoutKids",
         {{1, kCatalog}, {2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>"}, {3, page}, {4, "<< /Type /Pages >>"}},
         "Kids CPdfObject is wrong type"},
        {"KidWithoutTypeOrKids",
         {{1, kCatalog},
          {2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>"},
          {3, page},
          {4, "<< /Resources << >> >>"}},
         "Kids CPdfObject is wrong type"},
        {"KidAnInteger", {{1, kCatalog}, {2, "<< /Type /Pages /Kids [5] /Count 1 >>"}}, "Kid CPdfObject is wrong type"},
        {"KidAnIntegerAfterAPage",
         {{1, kCatalog}, {2, "<< /Type /Pages /Kids [3 0 R 5] /Count 2 >>"}, {3, page}},
         "Kid CPdfObject is wrong type"},
        {"KidAName", {{1, kCatalog}, {2, "<< /Type /Pages /Kids [/Page] /Count 1 >>"}}, "Kid CPdfObject is wrong type"},
        {"KidFree",
         {{1, kCatalog}, {2, "<< /Type /Pages /Kids [4 0 R] /Count 1 >>"}, {5, page}},
         "Kid CPdfObject is wrong type"},
        {"KidAReferenceToAnArray",
         {{1, kCatalog}, {2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>"}, {3, "[4 0 R]"}},
         "Kid CPdfObject is wrong type"},
        {"KidNull", {{1, kCatalog}, {2, "<< /Type /Pages /Kids [null] /Count 1 >>"}}, "Kid CPdfObject is wrong type"},
        {"KidBeyondTheEntries",
         {{1, kCatalog}, {2, "<< /Type /Pages /Kids [40 0 R] /Count 1 >>"}},
         "Corrupted PDF file"},
        {"PageWithResourcesOfAnotherKind",
         {{1, kCatalog}, {2, pages}, {3, "<< /Type /Page /Resources [] >>"}},
         "Resources are not found"},
        {"TopListsItself",
         {{1, kCatalog}, {2, "<< /Type /Pages /Kids [3 0 R 2 0 R] /Count 1 >>"}, {3, page}},
         "Page tree contains a loop"},
        {"InnerNodeListsTheTop",
         {{1, kCatalog},
          {2, "<< /Type /Pages /Kids [4 0 R] /Count 1 >>"},
          {4, "<< /Type /Pages /Kids [3 0 R 2 0 R] >>"},
          {3, page}},
         "Page tree contains a loop"},
        {"InnerNodeListsItself",
         {{1, kCatalog}, {2, "<< /Type /Pages /Kids [4 0 R] /Count 1 >>"}, {4, "<< /Kids [4 0 R] >>"}},
         "Page tree contains a loop"},
        {"InnerNodeListedTwice",
         {{1, kCatalog},
          {2, "<< /Type /Pages /Kids [4 0 R 4 0 R] /Count 2 >>"},
          {4, "<< /Type /Pages /Kids [3 0 R] >>"},
          {3, page}},
         "Page tree contains a loop"},
        {"InnerNodeUnderTwoParents",
         {{1, kCatalog},
          {2, "<< /Type /Pages /Kids [4 0 R 5 0 R] /Count 2 >>"},
          {4, "<< /Type /Pages /Kids [6 0 R] >>"},
          {5, "<< /Type /Pages /Kids [6 0 R] >>"},
          {6, "<< /Type /Pages /Kids [3 0 R] >>"},
          {3, page}},
         "Page tree contains a loop"},
    };
}

class CatalogFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(CatalogFailureTest, OpenFailsWithTheMessage) { EXPECT_EQ(OpenFailure(GetParam().objects), GetParam().message); }

INSTANTIATE_TEST_SUITE_P(Cases, CatalogFailureTest, ::testing::ValuesIn(FailureCases()), CaseName<FailureCase>);

TEST(CatalogFailureTest, ADeepTreeIsWalkedWithoutRecursion) {
    // A chain of 20000 inner nodes above one page.
    Objects objects = {{1, kCatalog}};
    const int32_t depth = 20000;
    for (int32_t node = 0; node < depth; ++node)
        objects.emplace_back(2 + node, "<< /Type /Pages /Kids [" + std::to_string(3 + node) + " 0 R] /Count 1 >>");
    objects.emplace_back(2 + depth, Page(13));
    auto document = Open(objects);
    EXPECT_EQ(document->catalog().pages().size(), 1u);
}

}  // namespace
