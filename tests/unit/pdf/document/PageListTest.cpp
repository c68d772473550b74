#include "pdf/document/PageList.h"

#include <gtest/gtest.h>

#include <array>
#include <limits>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "base/CByteSource.h"
#include "base/CPdfException.h"
#include "pdf/document/CPdfCatalog.h"
#include "pdf/document/CPdfDocument.h"
#include "support/CaseName.h"
#include "support/PdfBuilder.h"

namespace {

using Objects = std::vector<std::pair<int32_t, std::string>>;
using Box = std::array<float, 4>;

const Box kLetter{0, 0, 612, 792};

std::string File(const Objects& objects) {
    PdfBuilder pdf;
    for (const auto& [number, body] : objects) pdf.Object(number, body);
    return pdf.WithXRefTable("/Root 1 0 R");
}

// The page list the document built when it opened.
PageList ListOf(const Objects& objects) {
    CPdfDocument document;
    document.Open(std::make_shared<CMemoryByteSource>(File(objects)));
    return document.catalog().pageList();
}

std::vector<int32_t> Numbers(const PageList& list) {
    std::vector<int32_t> numbers;
    for (const PageEntry& page : list.pages()) numbers.push_back(page.objectNumber);
    return numbers;
}

std::vector<int32_t> Positions(const PageList& list, int32_t number) {
    std::vector<int32_t> positions;
    for (const int32_t position : list.PositionsOf(number)) positions.push_back(position);
    return positions;
}

const std::string kCatalog = "<< /Type /Catalog /Pages 2 0 R >>";

std::string Page(const std::string& entries = "") { return "<< /Type /Page /Resources << >> " + entries + " >>"; }

// ---------------------------------------------------------------------------
// Leaves in document order

TEST(PageListTest, OneNodeWithThreePages) {
    const PageList list = ListOf({{1, kCatalog},
                                  {2, "<< /Type /Pages /Kids [5 0 R 3 0 R 4 0 R] /Count 3 >>"},
                                  {3, Page()},
                                  {4, Page()},
                                  {5, Page()}});
    EXPECT_EQ(Numbers(list), (std::vector<int32_t>{5, 3, 4}));
    EXPECT_EQ(list.pageCount(), 3);
    EXPECT_EQ(list.pagesObjectNumber(), 2);
    EXPECT_EQ(list.pagesGeneration(), 0);
    for (const PageEntry& page : list.pages()) EXPECT_EQ(page.cropBox, kLetter);
}

TEST(PageListTest, NestedNodesDepthFirst) {
    const PageList list = ListOf({{1, kCatalog},
                                  {2, "<< /Type /Pages /Kids [3 0 R 7 0 R 4 0 R] /Count 4 >>"},
                                  {3, "<< /Type /Pages /Kids [5 0 R 9 0 R] >>"},
                                  {9, "<< /Type /Pages /Kids [6 0 R] >>"},
                                  {4, "<< /Type /Pages /Kids [8 0 R] >>"},
                                  {5, Page()},
                                  {6, Page()},
                                  {7, Page()},
                                  {8, Page()}});
    EXPECT_EQ(Numbers(list), (std::vector<int32_t>{5, 6, 7, 8}));
}

TEST(PageListTest, ThePagesGenerationIsKept) {
    PdfBuilder pdf;
    pdf.Object(1, "<< /Type /Catalog /Pages 2 3 R >>");
    pdf.Object(2, "<< /Type /Pages /Kids [4 0 R] /Count 1 >>", 3);
    pdf.Object(4, Page());
    CPdfDocument document;
    document.Open(std::make_shared<CMemoryByteSource>(pdf.WithXRefTable("/Root 1 0 R")));
    const PageList& list = document.catalog().pageList();
    EXPECT_EQ(list.pagesObjectNumber(), 2);
    EXPECT_EQ(list.pagesGeneration(), 3);
}

TEST(PageListTest, ADirectPagesNodeHasNoNumber) {
    const PageList list =
        ListOf({{1, "<< /Type /Catalog /Pages << /Type /Pages /Kids [3 0 R] /Count 1 >> >>"}, {3, Page()}});
    EXPECT_EQ(list.pagesObjectNumber(), 0);
    EXPECT_EQ(Numbers(list), (std::vector<int32_t>{3}));
}

// ---------------------------------------------------------------------------
// /Count

TEST(PageListTest, ACountLargerThanTheLeavesListsTheLeavesOnly) {
    const PageList list =
        ListOf({{1, kCatalog}, {2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 1000000 >>"}, {3, Page()}, {4, Page()}});
    EXPECT_EQ(list.pageCount(), 1000000);
    EXPECT_EQ(Numbers(list), (std::vector<int32_t>{3, 4}));
}

TEST(PageListTest, ACountSmallerThanTheLeavesStillListsEveryLeaf) {
    const PageList list = ListOf({{1, kCatalog},
                                  {2, "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 1 >>"},
                                  {3, Page()},
                                  {4, Page()},
                                  {5, Page()}});
    EXPECT_EQ(list.pageCount(), 1);
    EXPECT_EQ(Numbers(list), (std::vector<int32_t>{3, 4, 5}));
}

struct CountCase {
    std::string name;
    std::string count;
    int32_t expected;
};

void PrintTo(const CountCase& value, std::ostream* os) { *os << value.name; }

class PageCountTest : public ::testing::TestWithParam<CountCase> {};

TEST_P(PageCountTest, IsTheRootsCountAsAnInteger) {
    const PageList list = ListOf({{1, kCatalog},
                                  {2, "<< /Type /Pages /Kids [3 0 R] /Count " + GetParam().count + " >>"},
                                  {3, Page()},
                                  {4, "6"},
                                  {5, "6.9"}});
    EXPECT_EQ(list.pageCount(), GetParam().expected);
    EXPECT_EQ(list.pages().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PageCountTest,
    ::testing::Values(CountCase{"Integer", "1", 1}, CountCase{"Zero", "0", 0}, CountCase{"Negative", "-4", -4},
                      CountCase{"RealTwo", "2.0", 2}, CountCase{"RealIsTruncated", "2.7", 2},
                      CountCase{"NegativeRealIsTruncatedTowardsZero", "-3.9", -3},
                      CountCase{"HugeReal", "99999999999.0", std::numeric_limits<int32_t>::max()},
                      CountCase{"HugeNegativeReal", "-99999999999.0", std::numeric_limits<int32_t>::min()},
                      CountCase{"IndirectInteger", "4 0 R", 6}, CountCase{"IndirectReal", "5 0 R", 6}),
    CaseName<CountCase>);

// ---------------------------------------------------------------------------
// The page box

struct BoxCase {
    std::string name;
    std::string rootEntries;   // on the root /Pages node
    std::string innerEntries;  // on the inner node above the page
    std::string pageEntries;   // on the page
    Box expected;
};

void PrintTo(const BoxCase& value, std::ostream* os) { *os << value.name; }

class PageBoxTest : public ::testing::TestWithParam<BoxCase> {};

TEST_P(PageBoxTest, IsTheInheritedCropBoxElseTheInheritedMediaBox) {
    const BoxCase& c = GetParam();
    const PageList list = ListOf({{1, kCatalog},
                                  {2, "<< /Type /Pages /Kids [3 0 R] /Count 1 " + c.rootEntries + " >>"},
                                  {3, "<< /Type /Pages /Kids [4 0 R] " + c.innerEntries + " >>"},
                                  {4, Page(c.pageEntries)},
                                  {5, "400"},
                                  {6, "[10 20 30 40]"}});
    ASSERT_EQ(list.pages().size(), 1u);
    EXPECT_EQ(list.pages()[0].cropBox, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PageBoxTest,
    ::testing::Values(BoxCase{"NoBoxAnywhere", "", "", "", kLetter},
                      BoxCase{"OwnCropBox", "", "", "/CropBox [1 2 3 4]", Box{1, 2, 3, 4}},
                      BoxCase{"CropBoxOfTheInnerNode", "", "/CropBox [5 6 7 8]", "", Box{5, 6, 7, 8}},
                      BoxCase{"CropBoxOfTheRoot", "/CropBox [5 6 7 8]", "", "", Box{5, 6, 7, 8}},
                      BoxCase{"NearestCropBoxWins", "/CropBox [1 1 1 1]", "/CropBox [2 2 2 2]", "/CropBox [3 3 3 3]",
                              Box{3, 3, 3, 3}},
                      BoxCase{"InnerCropBoxOverRoot", "/CropBox [1 1 1 1]", "/CropBox [2 2 2 2]", "", Box{2, 2, 2, 2}},
                      BoxCase{"TwoNumbersThenZeros", "/CropBox [1 1 1 1]", "", "/CropBox [10 20]", Box{10, 20, 0, 0}},
                      BoxCase{"EmptyArrayIsAllZeros", "", "", "/CropBox []", Box{0, 0, 0, 0}},
                      BoxCase{"FirstFourOfMore", "", "", "/CropBox [1 2 3 4 5 6]", Box{1, 2, 3, 4}},
                      BoxCase{"OtherElementsCountZero", "", "", "/CropBox [1 /Two (3) 4]", Box{1, 0, 0, 4}},
                      BoxCase{"NullElementCountsZero", "", "", "/CropBox [null 2 [3] 4]", Box{0, 2, 0, 4}},
                      BoxCase{"RealsAsFloats", "", "", "/CropBox [0.5 -1.25 612.75 792.125]",
                              Box{0.5f, -1.25f, 612.75f, 792.125f}},
                      BoxCase{"NotReorderedOrNormalised", "", "", "/CropBox [600 800 0 0]", Box{600, 800, 0, 0}},
                      BoxCase{"IndirectElement", "", "", "/CropBox [0 0 5 0 R 500]", Box{0, 0, 400, 500}},
                      BoxCase{"IndirectArray", "", "", "/CropBox 6 0 R", Box{10, 20, 30, 40}},
                      BoxCase{"NotAnArrayIsInherited", "", "/CropBox [5 6 7 8]", "/CropBox /Full", Box{5, 6, 7, 8}},
                      BoxCase{"MediaBoxOfThePage", "", "", "/MediaBox [0 0 595 842]", Box{0, 0, 595, 842}},
                      BoxCase{"MediaBoxOfTheRoot", "/MediaBox [0 0 595 842]", "", "", Box{0, 0, 595, 842}},
                      BoxCase{"NearestMediaBoxWins", "/MediaBox [0 0 1 1]", "/MediaBox [0 0 2 2]", "", Box{0, 0, 2, 2}},
                      BoxCase{"CropBoxOfTheRootOverMediaBoxOfThePage", "/CropBox [9 9 99 99]", "",
                              "/MediaBox [0 0 595 842]", Box{9, 9, 99, 99}},
                      BoxCase{"CropBoxOverMediaBoxOnThePage", "", "",
                              "/MediaBox [0 0 595 842] /CropBox [10 10 585 832]", Box{10, 10, 585, 832}},
                      BoxCase{"ShortMediaBox", "", "", "/MediaBox [0 0 300]", Box{0, 0, 300, 0}}),
    CaseName<BoxCase>);

TEST(PageBoxTest, EachPageGetsItsOwnPath) {
    // Pages 4 and 5 below the inner node with a crop box, 6 beside it with its own.
    const PageList list = ListOf({{1, kCatalog},
                                  {2, "<< /Type /Pages /Kids [3 0 R 6 0 R 7 0 R] /Count 4 /MediaBox [0 0 100 100] >>"},
                                  {3, "<< /Type /Pages /Kids [4 0 R 5 0 R] /CropBox [1 2 3 4] >>"},
                                  {4, Page()},
                                  {5, Page("/CropBox [5 6 7 8]")},
                                  {6, Page("/CropBox [9 10 11 12]")},
                                  {7, Page()}});
    ASSERT_EQ(list.pages().size(), 4u);
    EXPECT_EQ(list.pages()[0].cropBox, (Box{1, 2, 3, 4}));
    EXPECT_EQ(list.pages()[1].cropBox, (Box{5, 6, 7, 8}));
    EXPECT_EQ(list.pages()[2].cropBox, (Box{9, 10, 11, 12}));
    EXPECT_EQ(list.pages()[3].cropBox, (Box{0, 0, 100, 100}));
}

// ---------------------------------------------------------------------------
// Kids without a page object of their own

TEST(PageListTest, ADirectKidKeepsItsPlaceWithNumberZero) {
    const PageList list = ListOf(
        {{1, kCatalog},
         {2, "<< /Type /Pages /Kids [3 0 R << /Type /Page /Resources << >> /CropBox [1 1 2 2] >> 4 0 R] /Count 3 >>"},
         {3, Page()},
         {4, Page()}});
    EXPECT_EQ(Numbers(list), (std::vector<int32_t>{3, 0, 4}));
    EXPECT_EQ(list.pages()[1].cropBox, (Box{1, 1, 2, 2}));
    EXPECT_EQ(Positions(list, 4), std::vector<int32_t>{2});
    EXPECT_TRUE(list.PositionsOf(0).empty());
}

TEST(PageListTest, KidsThatAreNoDictionariesKeepTheirPlace) {
    // The catalog check takes node 3 for a page (its /Type is /Page) and does
    // not look at its kids; the page list walks them.
    const PageList list =
        ListOf({{1, kCatalog},
                {2, "<< /Type /Pages /Kids [3 0 R 6 0 R] /Count 2 /CropBox [0 0 10 10] >>"},
                {3, "<< /Type /Page /Resources << >> /Kids [4 0 R 7 /Name 8 0 R 9 0 R] /CropBox [0 0 20 20] >>"},
                {4, Page()},
                {6, Page()},
                {8, "[1 2]"},
                {10, "null"}});
    EXPECT_EQ(Numbers(list), (std::vector<int32_t>{4, 0, 0, 0, 0, 6}));
    EXPECT_EQ(list.pages()[1].cropBox, (Box{0, 0, 20, 20}));
    EXPECT_EQ(list.pages()[5].cropBox, (Box{0, 0, 10, 10}));
}

// Below a node typed /Page the list reads on where the open's checks stop:
// what fails there fails the list, not the open.
void ExpectTheListFails(const Objects& objects, const char* message) {
    CPdfDocument document;
    document.Open(std::make_shared<CMemoryByteSource>(File(objects)));
    try {
        document.catalog().pageList();
        ADD_FAILURE() << "built";
    } catch (const CPdfException& failure) {
        EXPECT_STREQ(failure.GetMessage(), message);
    }
}

TEST(PageListTest, AKidBeyondTheEntriesFails) {
    ExpectTheListFails({{1, kCatalog}, {2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>"}, {3, Page("/Kids [40 0 R]")}},
                       "Corrupted PDF file");
}

// ---------------------------------------------------------------------------
// Loops and repeats

TEST(PageListTest, APageListedTwiceIsListedTwice) {
    const PageList list = ListOf(
        {{1, kCatalog}, {2, "<< /Type /Pages /Kids [3 0 R 4 0 R 3 0 R 3 0 R] /Count 4 >>"}, {3, Page()}, {4, Page()}});
    EXPECT_EQ(Numbers(list), (std::vector<int32_t>{3, 4, 3, 3}));
    EXPECT_EQ(Positions(list, 3), (std::vector<int32_t>{0, 2, 3}));
    EXPECT_EQ(Positions(list, 4), std::vector<int32_t>{1});
    for (const int32_t number : {-1, 0, 2, 5}) EXPECT_TRUE(list.PositionsOf(number).empty()) << number;
}

TEST(PageListTest, AContentsObjectIsSharedWhenTwoPageObjectsDrawIt) {
    // Page 3 is listed twice and alone draws 10; pages 4 and 5 draw 11, and
    // the direct page draws 12 as page 6 does.
    const PageList list = ListOf(
        {{1, kCatalog},
         {2, "<< /Type /Pages /Kids [3 0 R 3 0 R 4 0 R 5 0 R 6 0 R " + Page("/Contents 12 0 R") + "] /Count 6 >>"},
         {3, Page("/Contents 10 0 R")},
         {4, Page("/Contents 11 0 R")},
         {5, Page("/Contents 11 0 R")},
         {6, Page("/Contents 12 0 R")}});
    for (const auto& [number, shared] : {std::pair{10, false}, {11, true}, {12, true}, {3, false}, {0, false}})
        EXPECT_EQ(list.IsSharedContents(number), shared) << number;
}

TEST(PageListTest, ANodeTypedPageWithKidsIsWalkedByTheList) {
    // The check reads a kid typed /Page as a page, the page list walks its /Kids.
    EXPECT_EQ(Numbers(ListOf({{1, kCatalog},
                              {2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>"},
                              {3, "<< /Type /Page /Resources << >> /Kids [4 0 R] >>"},
                              {4, Page()}})),
              std::vector<int32_t>{4});
}

struct ListLoopCase {
    std::string name;
    Objects objects;
};

void PrintTo(const ListLoopCase& value, std::ostream* os) { *os << value.name; }

class ListLoopTest : public ::testing::TestWithParam<ListLoopCase> {};

// The open's checks stop at node 3 (typed /Page); the list reaches a node twice.
TEST_P(ListLoopTest, FailsTheListAlone) { ExpectTheListFails(GetParam().objects, "Page tree contains a loop"); }

// Root 2 lists 3 (typed /Page, with /Kids) and 5.
Objects ListLoop(const std::string& kidsOf3, const std::string& object5) {
    return {{1, kCatalog},
            {2, "<< /Type /Pages /Kids [3 0 R 5 0 R] /Count 2 >>"},
            {3, Page("/Kids " + kidsOf3)},
            {4, Page()},
            {5, object5}};
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ListLoopTest,
    ::testing::Values(ListLoopCase{"BackToTheRoot", ListLoop("[2 0 R]", Page())},
                      ListLoopCase{"ThePageListedTwice", ListLoop("[4 0 R]", "<< /Type /Pages /Kids [3 0 R] >>")},
                      ListLoopCase{"BelowThePageThenChecked", ListLoop("[5 0 R]", "<< /Type /Pages /Kids [4 0 R] >>")},
                      ListLoopCase{"CheckedThenBelowThePage",
                                   {{1, kCatalog},
                                    {2, "<< /Type /Pages /Kids [5 0 R 3 0 R] /Count 2 >>"},
                                    {3, Page("/Kids [5 0 R]")},
                                    {4, Page()},
                                    {5, "<< /Type /Pages /Kids [4 0 R] >>"}}}),
    [](const auto& paramInfo) { return paramInfo.param.name; });

TEST(PageListTest, TheOpensFailureComesBeforeTheLists) {
    // The list fails first (node 3 below itself), the open's check of page 6 after it.
    CPdfDocument document;
    try {
        document.Open(std::make_shared<CMemoryByteSource>(File({{1, kCatalog},
                                                                {2, "<< /Type /Pages /Kids [3 0 R 6 0 R] /Count 2 >>"},
                                                                {3, Page("/Kids [3 0 R]")},
                                                                {6, "<< /Type /Page /Resources /R >>"}})));
        ADD_FAILURE() << "opened";
    } catch (const CPdfException& failure) {
        EXPECT_STREQ(failure.GetMessage(), "Resources are not found");
    }
}

TEST(PageListTest, ADeepTreeIsWalkedWithoutRecursion) {
    Objects objects = {{1, kCatalog}};
    const int32_t depth = 20000;
    for (int32_t node = 0; node < depth; ++node)
        objects.emplace_back(2 + node, "<< /Type /Pages /Kids [" + std::to_string(3 + node) + " 0 R] /Count 1 >>");
    objects.emplace_back(2 + depth, Page());
    const PageList list = ListOf(objects);
    EXPECT_EQ(Numbers(list), (std::vector<int32_t>{2 + depth}));
}

}  // namespace
