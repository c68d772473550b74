#include "pdf/document/CPdfPage.h"

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "base/CByteSource.h"
#include "base/CPdfException.h"
#include "pdf/document/CPdfCatalog.h"
#include "pdf/document/CPdfDocument.h"
#include "pdf/object/CPdfDictionary.h"
#include "pdf/reader/CPdfXRef.h"
#include "support/CaseName.h"
#include "support/PdfBuilder.h"

namespace {

using Objects = std::vector<std::pair<int32_t, std::string>>;

// A document whose only page is object 3 with the given entries (besides
// /Type), plus further objects from 10 on.
std::string Pdf(const std::string& entries, const Objects& more = {}, const std::string& pagesEntries = "") {
    return OnePagePdf({.page = "<< /Type /Page " + entries + " >>", .pages = "/Count 1 " + pagesEntries, .more = more});
}

// The loaded page record, or the message of the failed open.
std::variant<CPdfPage, std::string> LoadPage(const std::string& file) {
    CPdfDocument document;
    try {
        document.Open(std::make_shared<CMemoryByteSource>(file));
    } catch (const CPdfException& failure) {
        return std::string(failure.GetMessage());
    }
    return document.catalog().pages().at(0);
}

CPdfPage Loaded(const std::string& file) {
    auto result = LoadPage(file);
    if (auto* message = std::get_if<std::string>(&result)) {
        ADD_FAILURE() << *message;
        return CPdfPage();
    }
    return std::get<CPdfPage>(result);
}

std::string Failure(const std::string& file) {
    auto result = LoadPage(file);
    if (auto* message = std::get_if<std::string>(&result)) return *message;
    return {};
}

// ---------------------------------------------------------------------------
// Rotation

struct RotateCase {
    std::string name;
    std::string rotate;  // the /Rotate value as written ("" for none)
    int32_t expected;
};

void PrintTo(const RotateCase& value, std::ostream* os) { *os << value.name; }

class RotateTest : public ::testing::TestWithParam<RotateCase> {};

TEST_P(RotateTest, IsBroughtIntoZeroTo359) {
    const std::string rotate = GetParam().rotate.empty() ? "" : "/Rotate " + GetParam().rotate;
    const CPdfPage page =
        Loaded(Pdf("/Resources << >> " + rotate, {{10, "180"}, {11, "90.0"}, {12, "-90"}, {14, "0"}}));
    EXPECT_EQ(page.rotate, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RotateTest,
    ::testing::Values(RotateCase{"None", "", 0}, RotateCase{"Zero", "0", 0}, RotateCase{"Ninety", "90", 90},
                      RotateCase{"TwoSeventy", "270", 270}, RotateCase{"MinusNinety", "-90", 270},
                      RotateCase{"FourFifty", "450", 90}, RotateCase{"SevenTwenty", "720", 0},
                      RotateCase{"ThreeSixty", "360", 0}, RotateCase{"MinusThreeSixty", "-360", 0},
                      RotateCase{"MinusFourFifty", "-450", 270}, RotateCase{"FortyFiveStays", "45", 45},
                      RotateCase{"OddStays", "-1", 359}, RotateCase{"RealIsIgnored", "90.0", 0},
                      RotateCase{"NameIsIgnored", "/R90", 0}, RotateCase{"StringIsIgnored", "(90)", 0},
                      RotateCase{"LargestInteger", "2147483647", 127},
                      RotateCase{"SmallestInteger", "-2147483648", 232}, RotateCase{"Indirect", "10 0 R", 180},
                      RotateCase{"IndirectNegative", "12 0 R", 270}, RotateCase{"IndirectReal", "11 0 R", 0},
                      RotateCase{"IndirectFree", "13 0 R", 0}),
    CaseName<RotateCase>);

TEST(RotateTest, ARotationOnTheParentIsNotInherited) {
    EXPECT_EQ(Loaded(Pdf("/Resources << >>", {}, "/Rotate 90")).rotate, 0);
}

TEST(RotateTest, AFailedFetchPropagates) {
    EXPECT_EQ(Failure(Pdf("/Resources << >> /Rotate 99 0 R")), "Corrupted PDF file");
}

// ---------------------------------------------------------------------------
// Contents, resources, annotations

TEST(CPdfPageTest, ContentsAsStoredOrNull) {
    EXPECT_EQ(Loaded(Pdf("/Resources << >> /Contents 10 0 R", {{10, "<< >>"}})).contents.getRef(),
              (PdfReference{10, 0}));
    EXPECT_TRUE(Loaded(Pdf("/Resources << >> /Contents [10 0 R 11 0 R]")).contents.is(pdfArray));
    for (const std::string contents : {"", "/Contents null", "/Contents << /Length 0 >>", "/Contents 12",
                                       "/Contents /Name", "/Contents (text)", "/Contents true"}) {
        const CPdfPage page = Loaded(Pdf("/Resources << >> " + contents));
        EXPECT_TRUE(page.contents.is(pdfNull)) << contents;
    }
}

// A page loaded by itself, from object 3 of the file.
CPdfPage LoadedAlone(const std::string& file) {
    CPdfDocument document;
    document.Open(std::make_shared<CMemoryByteSource>(file));
    const CPdfObject dictionary = document.xref().Fetch(3, 0);
    CPdfPage page;
    page.Load(1, &document.xref(), dictionary.getDict());
    return page;
}

TEST(CPdfPageTest, ResourcesResolved) {
    const CPdfPage direct = LoadedAlone(Pdf("/Resources << /Font << >> >>"));
    ASSERT_TRUE(direct.resources.is(pdfDictionary));
    EXPECT_TRUE(direct.resources.getDict().lookup("Font").is(pdfDictionary));
    const CPdfPage indirect = LoadedAlone(Pdf("/Resources 10 0 R", {{10, "<< /ProcSet [/PDF] >>"}}));
    ASSERT_TRUE(indirect.resources.is(pdfDictionary));
    EXPECT_TRUE(indirect.resources.getDict().lookup("ProcSet").is(pdfArray));
    // The catalog checks them and does not keep them.
    EXPECT_TRUE(Loaded(Pdf("/Resources << /Font << >> >>")).resources.is(pdfNone));
}

TEST(CPdfPageTest, ResourcesThatAreNotADictionaryStopTheOpen) {
    for (const std::string resources :
         {"/Resources [/PDF]", "/Resources 10 0 R", "/Resources 11 0 R", "/Resources 12 0 R", "/Resources /R"}) {
        EXPECT_EQ(Failure(Pdf(resources, {{10, "[/PDF /Text]"}, {12, "null"}})), "Resources are not found")
            << resources;
        // Inherited from the parent, they stop it as well.
        EXPECT_EQ(Failure(Pdf("", {{10, "[/PDF /Text]"}, {12, "null"}}, resources)), "Resources are not found")
            << resources;
    }
    EXPECT_EQ(Failure(Pdf("/Resources 99 0 R")), "Corrupted PDF file");
}

TEST(CPdfPageTest, ResourcesMayBeInheritedOrAbsent) {
    EXPECT_EQ(Failure(Pdf("", {}, "/Resources << /Font << >> >>")), "");
    EXPECT_EQ(Failure(Pdf("/Resources null", {{10, "<< /Font << >> >>"}}, "/Resources 10 0 R")), "");
    EXPECT_EQ(Failure(Pdf("")), "");
}

TEST(CPdfPageTest, AnnotationsAsStored) {
    EXPECT_TRUE(Loaded(Pdf("/Resources << >>")).annotations.is(pdfNull));
    EXPECT_TRUE(Loaded(Pdf("/Resources << >> /Annots null")).annotations.is(pdfNull));
    EXPECT_TRUE(Loaded(Pdf("/Resources << >> /Annots [10 0 R << /Subtype /Text >>]")).annotations.is(pdfArray));
    // A reference is kept as it stands, whatever it names.
    EXPECT_EQ(Loaded(Pdf("/Resources << >> /Annots 10 0 R", {{10, "/NotAnArray"}})).annotations.getRef(),
              (PdfReference{10, 0}));
}

TEST(CPdfPageTest, AnnotationsOfAnotherKindStopTheOpen) {
    for (const std::string annots : {"/Annots /None", "/Annots << /Subtype /Link >>", "/Annots 0", "/Annots (a)"}) {
        EXPECT_EQ(Failure(Pdf("/Resources << >> " + annots)), "Page annotations object (page 1) is wrong type")
            << annots;
    }
}

TEST(CPdfPageTest, TheAnnotationsMessageNamesThePage) {
    PdfBuilder pdf;
    pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    pdf.Object(2, "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R 6 0 R] /Count 4 >>");
    pdf.Object(3, "<< /Type /Page /Resources << >> >>");
    pdf.Object(4, "<< /Type /Page /Resources << >> /Annots [] >>");
    pdf.Object(5, "<< /Type /Page /Resources << >> /Annots /Name >>");
    pdf.Object(6, "<< /Type /Page /Resources << >> /Annots /Name >>");
    EXPECT_EQ(Failure(pdf.WithXRefTable("/Root 1 0 R")), "Page annotations object (page 3) is wrong type");
}

TEST(CPdfPageTest, PageNumberTwelveInTheMessage) {
    PdfBuilder pdf;
    pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    std::string kids;
    for (int32_t page = 0; page < 12; ++page) {
        const int32_t number = 10 + page;
        kids += std::to_string(number) + " 0 R ";
        pdf.Object(number,
                   page == 11 ? "<< /Type /Page /Resources << >> /Annots 7 >>" : "<< /Type /Page /Resources << >> >>");
    }
    pdf.Object(2, "<< /Type /Pages /Kids [" + kids + "] /Count 12 >>");
    EXPECT_EQ(Failure(pdf.WithXRefTable("/Root 1 0 R")), "Page annotations object (page 12) is wrong type");
}

TEST(CPdfPageTest, ResourcesAreCheckedBeforeAnnotations) {
    EXPECT_EQ(Failure(Pdf("/Resources /R /Annots /Name")), "Resources are not found");
}

TEST(CPdfPageTest, LoadedDirectly) {
    // A page dictionary made in memory, without a document.
    CPdfDictionary dictionary;
    dictionary.add("Type", CPdfObject::Name("Page"));
    CPdfObject resources;
    resources.setDictionary(nullptr);
    dictionary.add("Resources", resources);
    dictionary.add("Rotate", CPdfObject::Integer(-180));
    dictionary.add("Contents", CPdfObject::Reference(4, 0));
    CPdfPage page;
    EXPECT_TRUE(page.contents.is(pdfNone));
    EXPECT_TRUE(page.resources.is(pdfNone));
    EXPECT_TRUE(page.annotations.is(pdfNone));
    page.Load(7, nullptr, dictionary);
    EXPECT_EQ(page.pageNumber, 7);
    EXPECT_EQ(page.rotate, 180);
    EXPECT_EQ(page.contents.getRef(), (PdfReference{4, 0}));
    EXPECT_TRUE(page.annotations.is(pdfNull));

    CPdfDictionary bare;
    // The page's own resources, else the inherited ones, else none.
    CPdfPage inheriting;
    inheriting.Load(2, nullptr, dictionary, CPdfObject::Name("R"));
    EXPECT_TRUE(inheriting.resources.is(pdfDictionary));
    CPdfObject inherited;
    inherited.setDictionary(nullptr);
    inherited.getDict().add("Font", CPdfObject::Null());
    inheriting.Load(2, nullptr, bare, inherited);
    EXPECT_EQ(inheriting.resources.getDict().getLength(), 1u);
    CPdfPage empty;
    empty.Load(2, nullptr, bare);
    EXPECT_EQ(empty.resources.getDict().getLength(), 0u);
    CPdfPage failing;
    try {
        failing.Load(2, nullptr, bare, CPdfObject::Name("R"));
        ADD_FAILURE() << "loaded";
    } catch (const CPdfException& failure) {
        EXPECT_STREQ(failure.GetMessage(), "Resources are not found");
    }
}

}  // namespace
