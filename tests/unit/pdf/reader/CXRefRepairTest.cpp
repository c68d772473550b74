#include "pdf/reader/CXRefRepair.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/CByteSource.h"
#include "base/CPdfException.h"
#include "pdf/document/CPdfCatalog.h"
#include "pdf/document/CPdfDocument.h"
#include "pdf/document/PageList.h"
#include "pdf/object/CPdfDictionary.h"
#include "pdf/object/CPdfStream.h"
#include "pdf/reader/CPdfXRef.h"
#include "support/CaseName.h"
#include "support/PdfBuilder.h"

namespace {

const std::string kContent = "0 0 1 rg 10 10 50 50 re f";

// Catalog 1, page tree 2, page 3 drawing stream 4: the objects, for the
// cases to damage.
PdfBuilder Objects() {
    return OnePageObjects(
        {.page = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R >>", .content = kContent});
}

std::string Cut(const std::string& bytes, const std::string& before) { return bytes.substr(0, bytes.rfind(before)); }

struct RepairCase {
    std::string name;
    std::string bytes;
    bool rebuilt = true;
    std::string failure = {};   // the message the open fails with; empty when it opens
    std::string mediaBox = "";  // page 3's /MediaBox width, when it is not 612
};

std::vector<RepairCase> Cases() {
    const std::string sound = Objects().WithXRefTable("/Root 1 0 R");
    std::vector<RepairCase> cases = {
        {.name = "Sound", .bytes = sound, .rebuilt = false},
        {.name = "ShiftedObjects", .bytes = "%PDF-1.4\n%shifted\n" + sound.substr(9)},
        {.name = "StartXRefBeyondTheEnd", .bytes = Cut(sound, "startxref") + "startxref\n999999\n%%EOF\n"},
        {.name = "CutBeforeStartXRef", .bytes = Cut(sound, "startxref")},
        // No trailer: the catalog by its /Type.
        {.name = "CutBeforeTheTable", .bytes = Cut(sound, "xref")},
        {.name = "JunkBeforeTheHeader", .bytes = std::string(2000, 'j') + sound},
        {.name = "NothingToFind",
         .bytes = "%PDF-1.4\n1 0 obj\n<< /Type /Pages >>\nendobj\n",
         .failure = "PDF file was damaged"},
    };
    {
        // A later definition of page 3, after a table cut short: it wins.
        std::string update = Cut(sound, "trailer") +
                             "3 0 obj\n<< /Type /Page /Parent 2 0 R /MediaBox [0 0 500 792] /Contents 4 0 R "
                             ">>\nendobj\n";
        cases.push_back({.name = "RedefinedLater", .bytes = update, .mediaBox = "500"});
    }
    {
        // A /Prev chain that loops: the section names itself.
        PdfBuilder pdf = Objects();
        const std::string table = pdf.WithXRefTable("/Root 1 0 R");
        const int64_t start = LastStartXRef(table);
        std::string looped = Cut(table, "trailer") + "trailer\n<< /Size 5 /Root 1 0 R /Prev " + std::to_string(start) +
                             " >>\nstartxref\n" + std::to_string(start) + "\n%%EOF\n";
        cases.push_back({.name = "PrevLoop", .bytes = looped});
    }
    {
        // Text that reads as objects inside stream data, a wrong /Length, an
        // object without "endobj", and "trailer" inside a stream.
        PdfBuilder pdf = OnePageObjects({.page = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents "
                                                 "[4 0 R 5 0 R] >>"});
        pdf.Raw("4 0 obj\n<< /Length 3 >>\nstream\n" + kContent + "\nendstream\nendobj\n");
        pdf.Stream(5, "", "% 2 0 obj << /Type /Pages /Kids [] /Count 0 >> endobj trailer << /Root 5 0 R >>");
        pdf.Raw("6 0 obj\n(no endobj)\n7 0 obj\n<< /Producer (test) >>\nendobj\n");
        cases.push_back({.name = "InsideStreams", .bytes = Cut(pdf.WithXRefTable("/Root 1 0 R"), "xref")});
    }
    {
        // The page tree in an object stream, found by its /Type, and the
        // cross-reference stream's dictionary as the trailer.
        PdfBuilder pdf("%PDF-1.5\n");
        pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
        pdf.ObjectStream(6, {{2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>"},
                             {3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R >>"}});
        pdf.Stream(4, "", kContent);
        const std::string file = pdf.WithXRefStream(7, "/Root 1 0 R");
        cases.push_back({.name = "ObjectStreamWithoutStartXRef", .bytes = Cut(file, "startxref")});
    }
    return cases;
}

class CXRefRepairTest : public ::testing::TestWithParam<RepairCase> {};

TEST_P(CXRefRepairTest, OpensWithTheObjectsItFinds) {
    const RepairCase& c = GetParam();
    CPdfDocument document;
    try {
        document.Open(std::make_shared<CMemoryByteSource>(c.bytes), {}, true);
    } catch (const CPdfException& failure) {
        EXPECT_EQ(failure.GetMessage(), c.failure);
        return;
    }
    ASSERT_EQ(c.failure, "");
    CPdfXRef& xref = document.xref();
    EXPECT_EQ(xref.rebuilt(), c.rebuilt);
    const PageList& list = document.catalog().pageList();
    ASSERT_EQ(list.pages().size(), 1u);
    EXPECT_EQ(list.pages()[0].objectNumber, 3);
    EXPECT_EQ(list.pages()[0].cropBox[2], c.mediaBox.empty() ? 612.0f : std::stof(c.mediaBox));
    // The page's first content stream reads whole.
    const CPdfObject content = xref.Fetch(4, 0);
    ASSERT_TRUE(content.is(pdfStream));
    std::string data(100, '\0');
    data.resize(content.getStream().Read(reinterpret_cast<uint8_t*>(data.data()), data.size()));
    EXPECT_EQ(data, kContent);
    // Nothing inside stream data was taken for an object.
    EXPECT_LE(xref.entries().size(), 8u);
    if (c.name == "InsideStreams") {
        const std::optional<RawObject> repaired = RepairedStreamObject(xref, 4);
        ASSERT_TRUE(repaired.has_value());
        EXPECT_EQ(repaired->bytes, "4 0 obj\n<< /Length " + std::to_string(kContent.size()) +
                                                     " >>\nstream\n" + kContent + "\nendstream\nendobj\n");
        EXPECT_FALSE(RepairedStreamObject(xref, 5).has_value());
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, CXRefRepairTest, ::testing::ValuesIn(Cases()), CaseName<RepairCase>);

TEST(CXRefRepairTest, WithoutRepairTheDamageFailsAsBefore) {
    const std::string sound = Objects().WithXRefTable("/Root 1 0 R");
    CPdfDocument document;
    EXPECT_THROW(document.Open(std::make_shared<CMemoryByteSource>(Cut(sound, "startxref"))), CPdfException);
    // A page tree that lists its own node: listed once per page with -repair.
    PdfBuilder pdf;
    pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    pdf.Object(2, "<< /Type /Pages /Kids [3 0 R 2 0 R] /Count 1 >>");
    pdf.Object(3, "<< /Type /Page /Parent 2 0 R >>");
    const std::string looped = pdf.WithXRefTable("/Root 1 0 R");
    try {
        document.Open(std::make_shared<CMemoryByteSource>(looped));
        ADD_FAILURE() << "opened";
    } catch (const CPdfException& failure) {
        EXPECT_STREQ(failure.GetMessage(), "Page tree contains a loop");
    }
    document.Open(std::make_shared<CMemoryByteSource>(looped), {}, true);
    EXPECT_EQ(document.catalog().pageList().pages().size(), 1u);
}

}  // namespace
