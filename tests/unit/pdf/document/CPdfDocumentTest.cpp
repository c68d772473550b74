#include "pdf/document/CPdfDocument.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "base/CByteSource.h"
#include "base/CPdfException.h"
#include "pdf/document/CPdfCatalog.h"
#include "pdf/document/PageList.h"
#include "pdf/object/CPdfDictionary.h"
#include "pdf/reader/CPdfXRef.h"
#include "pdf/reader/RawObject.h"
#include "support/CaseName.h"
#include "support/CopiedBytes.h"
#include "support/PdfBuilder.h"

namespace {

const std::string kCatalog = "<< /Type /Catalog /Pages 2 0 R >>";
const std::string kPages = "<< /Type /Pages /Kids [3 0 R] /Count 1 >>";
const std::string kPage = "<< /Type /Page /Parent 2 0 R /Resources << >> /MediaBox [0 0 595 842] >>";

PdfBuilder Document(const std::string& header = "%PDF-1.4\n") {
    return OnePageObjects({.header = header, .page = kPage});
}

std::shared_ptr<CByteSource> Memory(const std::string& bytes) { return std::make_shared<CMemoryByteSource>(bytes); }

std::string OpenFailure(CPdfDocument& document, const std::string& bytes) {
    try {
        document.Open(Memory(bytes));
    } catch (const CPdfException& failure) {
        return failure.GetMessage();
    }
    return {};
}

// A file in a fresh folder of the test's temporary directory.
class TemporaryFile {
public:
    explicit TemporaryFile(const std::string& bytes) {
        const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
        folder_ = std::filesystem::temp_directory_path() /
                  ("brevano-document-" + std::string(test->name()) + "-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder_);
        path_ = (folder_ / "in.pdf").string();
        std::ofstream(path_, std::ios::binary) << bytes;
    }
    ~TemporaryFile() {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    const std::string& path() const { return path_; }
    std::string folder() const { return folder_.string(); }

private:
    std::filesystem::path folder_;
    std::string path_;
};

// ---------------------------------------------------------------------------
// Open and Close

TEST(CPdfDocumentTest, OpensFromMemory) {
    CPdfDocument document;
    EXPECT_FALSE(document.isOpen());
    document.Open(Memory(Document().WithXRefTable("/Root 1 0 R")));
    EXPECT_TRUE(document.isOpen());
    EXPECT_EQ(document.version(), "PDF-1.4");
    EXPECT_EQ(document.xref().base(), 0);
    EXPECT_EQ(document.catalog().pages().size(), 1u);
    document.Close();
    EXPECT_FALSE(document.isOpen());
    EXPECT_EQ(document.version(), "");
    document.Close();  // closing twice is harmless
}

TEST(CPdfDocumentTest, OpensAFileByPath) {
    const std::string bytes = Document("%PDF-1.6\n").WithXRefTable("/Root 1 0 R");
    TemporaryFile file(bytes);
    CPdfDocument document;
    document.Open(file.path());
    EXPECT_TRUE(document.isOpen());
    EXPECT_EQ(document.version(), "PDF-1.6");
    EXPECT_EQ(CopiedBytes(document.xref(), 3), "3 0 obj\n" + kPage + "\nendobj\n");
}

TEST(CPdfDocumentTest, APathThatCannotBeReadFails) {
    TemporaryFile file("");
    for (const std::string& path : {file.folder() + "/missing.pdf", file.folder(), std::string()}) {
        CPdfDocument document;
        try {
            document.Open(path);
            ADD_FAILURE() << path;
        } catch (const CPdfException& failure) {
            EXPECT_STREQ(failure.GetMessage(), "Can't open file") << path;
        }
        EXPECT_FALSE(document.isOpen());
    }
}

TEST(CPdfDocumentTest, AFailedOpenLeavesTheDocumentClosedAndReusable) {
    CPdfDocument document;
    document.Open(Memory(Document().WithXRefTable("/Root 1 0 R")));
    // A second open closes the first document, then fails.
    EXPECT_EQ(OpenFailure(document, "%PDF-1.4\nnothing here"), "PDF file was damaged");
    EXPECT_FALSE(document.isOpen());
    EXPECT_EQ(document.version(), "");
    EXPECT_EQ(document.source(), nullptr);
    EXPECT_EQ(OpenFailure(document, Document("%PDF-1.5\n").WithXRefTable("/Root 1 0 R")), "");
    EXPECT_TRUE(document.isOpen());
    EXPECT_EQ(document.version(), "PDF-1.5");
}

TEST(CPdfDocumentTest, EveryFailureOfTheCatalogCloses) {
    CPdfDocument document;
    EXPECT_EQ(OpenFailure(document, Document().WithXRefTable("/Root 3 0 R")),
              "Top-level pages CPdfObject is wrong type");
    EXPECT_FALSE(document.isOpen());
}

TEST(CPdfDocumentTest, EncryptedDocumentsAreRefused) {
    for (const std::string encrypt : {"/Encrypt 9 0 R", "/Encrypt << /Filter /Standard /V 4 /R 4 >>"}) {
        CPdfDocument document;
        EXPECT_EQ(OpenFailure(document, Document().WithXRefTable("/Root 1 0 R " + encrypt)),
                  "Encrypted PDF files are not supported");
        EXPECT_FALSE(document.isOpen());
    }
    // A null /Encrypt is no encryption.
    CPdfDocument plain;
    EXPECT_EQ(OpenFailure(plain, Document().WithXRefTable("/Root 1 0 R /Encrypt null")), "");
    // Only the newest trailer counts: an /Encrypt in an older one is not seen.
    const std::string first = Document().WithXRefTable("/Root 1 0 R /Encrypt 9 0 R");
    PdfBuilder update(first);
    update.Object(5, "(five)");
    CPdfDocument document;
    EXPECT_EQ(OpenFailure(document, update.WithXRefUpdate("/Root 1 0 R /Prev " + std::to_string(LastStartXRef(first)))),
              "");
}

// ---------------------------------------------------------------------------
// The header

struct HeaderCase {
    std::string name;
    std::string junk;    // bytes before the header
    std::string header;  // the header line
    bool found;
    std::string version;
};

void PrintTo(const HeaderCase& value, std::ostream* os) { *os << value.name; }

std::vector<HeaderCase> HeaderCases() {
    const std::string zeros(3, '\0');
    return {
        {"AtTheStart", "", "%PDF-1.4\n", true, "PDF-1.4"},
        {"OneByteIn", "x", "%PDF-1.4\n", true, "PDF-1.4"},
        {"HundredBytesIn", std::string(99, 'j') + "\n", "%PDF-1.7\n", true, "PDF-1.7"},
        {"AfterZeroBytes", zeros, "%PDF-1.3\n", true, "PDF-1.3"},
        {"AfterAMailHeader", "From: someone\r\nSubject: a file\r\n\r\n", "%PDF-2.0\r\n", true, "PDF-2.0"},
        {"AtPosition1017", std::string(1017, 'j'), "%PDF-1.4\n", true, "PDF-1"},  // the window ends after "1"
        {"AtPosition1018", std::string(1018, 'j'), "%PDF-1.4\n", false, ""},
        {"FarBeyond", std::string(2000, 'j'), "%PDF-1.4\n", false, ""},
        {"NoHeader", "", "%FDP-1.4\n", false, ""},
        {"BrokenByAZeroByte", "", std::string("%PD\0F-1.4\n", 10), false, ""},
        {"VersionRunsOn", "", "%PDF-1.4abc%\xE2\xE3\n", true, "PDF-1.4abc%\xE2\xE3"},
        {"VersionEndsAtSpace", "", "%PDF-1.5 trailing\n", true, "PDF-1.5"},
        {"VersionEndsAtTab", "", "%PDF-1.5\ttrailing\n", true, "PDF-1.5"},
        {"VersionEndsAtCarriageReturn", "", "%PDF-1.6\rx\n", true, "PDF-1.6"},
        {"VersionEndsAtZeroByte", "", std::string("%PDF-1.6\0x\n", 11), true, "PDF-1.6"},
        {"NoVersionNumber", "", "%PDF-\n", true, "PDF-"},
        {"FormFeedIsPartOfTheVersion", "", "%PDF-1.2\f \n", true, "PDF-1.2\f"},
        {"FirstOfTwoHeaders", "", "%PDF-1.1\n%PDF-1.9\n", true, "PDF-1.1"},
    };
}

class HeaderTest : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(HeaderTest, OffsetsCountFromTheHeaderWhenItIsFound) {
    const HeaderCase& header = GetParam();
    std::string bytes;
    if (header.found) {
        // Offsets in the file count from the header.
        bytes = header.junk + Document(header.header).WithXRefTable("/Root 1 0 R");
    } else {
        // Offsets in the file count from its first byte.
        bytes = Document(header.junk + header.header).WithXRefTable("/Root 1 0 R");
    }
    CPdfDocument document;
    ASSERT_EQ(OpenFailure(document, bytes), "");
    EXPECT_EQ(document.version(), header.version);
    EXPECT_EQ(document.xref().base(), header.found ? static_cast<int64_t>(header.junk.size()) : 0);
    EXPECT_EQ(document.catalog().pages().size(), 1u);
    // The object bytes are the same as without the junk.
    EXPECT_EQ(CopiedBytes(document.xref(), 3), "3 0 obj\n" + kPage + "\nendobj\n");
}

INSTANTIATE_TEST_SUITE_P(Cases, HeaderTest, ::testing::ValuesIn(HeaderCases()), CaseName<HeaderCase>);

TEST(HeaderTest, JunkBeforeAHeaderWithCrossReferenceStreamsAndObjectStreams) {
    PdfBuilder pdf("%PDF-1.5\n");
    pdf.Object(2, kPages);
    pdf.ObjectStream(4, {{1, kCatalog}, {3, kPage}});
    const std::string file = pdf.WithXRefStream(5, "/Root 1 0 R");
    const std::string junk = std::string(512, '\x80') + "\n";
    CPdfDocument plain;
    plain.Open(Memory(file));
    CPdfDocument shifted;
    shifted.Open(Memory(junk + file));
    EXPECT_EQ(shifted.xref().base(), 513);
    for (int32_t number = 1; number < 6; ++number)
        EXPECT_EQ(CopiedBytes(shifted.xref(), number), CopiedBytes(plain.xref(), number)) << number;
    EXPECT_EQ(shifted.catalog().pageList().pages().size(), 1u);
}

TEST(HeaderTest, AShortFileIsSearchedWhole) {
    // Under 1023 bytes: the startxref window is the whole file, the header
    // window the file followed by bytes that are not there.
    const std::string bytes = Document("%PDF-1.0").WithXRefTable("/Root 1 0 R");
    ASSERT_LT(bytes.size(), 1023u);
    CPdfDocument document;
    ASSERT_EQ(OpenFailure(document, bytes), "");
    EXPECT_EQ(document.version(), "PDF-1.01");  // the header runs into the first object's number
}

// ---------------------------------------------------------------------------
// Seeds for the fuzz targets: small files of every shape the reader knows,
// written to the folder named by BREVANO_WRITE_FUZZ_SEEDS when it is set.

struct Seed {
    std::string name;
    std::string bytes;
    std::string failure;  // the message the open fails with; empty when it opens
};

std::vector<Seed> SeedFiles() {
    std::vector<Seed> seeds;
    const auto add = [&seeds](const std::string& name, const std::string& bytes, const std::string& failure = "") {
        seeds.push_back({name, bytes, failure});
    };
    const std::string root = "/Root 1 0 R";

    // Cross-reference shapes.
    add("table", Document().WithXRefTable(root));
    add("stream", Document().WithXRefStream(4, root));
    add("stream-uncompressed", Document().WithXRefStream(4, root, false));
    add("junk-before-header", std::string(100, 'j') + Document().WithXRefTable(root));
    add("no-header", Document(std::string(1100, ' ') + "%PDF-1.4\n").WithXRefTable(root));
    add("encrypted", Document().WithXRefTable(root + " /Encrypt << /Filter /Standard >>"),
        "Encrypted PDF files are not supported");
    add("info", Document().Object(5, "<< /Title (endobj) >>").WithXRefTable(root + " /Info 5 0 R"));
    {
        const PdfBuilder pdf = Document();
        add("table-free-spacing", pdf.bytes() + "xref 0 4 0 65535 f " + std::to_string(pdf.OffsetOf(1)) + " 0 n\r" +
                                      std::to_string(pdf.OffsetOf(2)) + " 0 n " + std::to_string(pdf.OffsetOf(3)) +
                                      " 0 n trailer<</Root 1 0 R>>\nstartxref\n" + std::to_string(pdf.bytes().size()) +
                                      "\n%%EOF");
    }
    {
        PdfBuilder pdf = Document();
        std::string rows;
        for (int32_t number = 0; number < 4; ++number)
            rows += XRefStreamRow({1, 2, 1}, number == 0 ? 0 : 1,
                                  number == 0 ? 0 : static_cast<uint64_t>(pdf.OffsetOf(number)), 0);
        const int64_t start = static_cast<int64_t>(pdf.bytes().size());
        PdfBuilder indexed = pdf;
        indexed.Stream(4, "/Type /XRef /Size 12 /W [1 2 1] /Index [0 2 2 2] " + root, rows);
        add("stream-index", indexed.WithStartXRef(start));
        // PNG "Up" rows.
        std::string encoded;
        std::string previous(4, '\0');
        for (size_t at = 0; at < rows.size(); at += 4) {
            encoded += '\x02';
            for (size_t i = 0; i < 4; ++i) encoded += static_cast<char>(rows[at + i] - previous[i]);
            previous = rows.substr(at, 4);
        }
        PdfBuilder predicted = pdf;
        predicted.Stream(
            4,
            "/Type /XRef /Size 4 /W [1 2 1] /Filter /FlateDecode /DecodeParms << /Predictor 12 /Columns 4 >> " + root,
            Deflate(encoded));
        add("stream-png-predictor", predicted.WithStartXRef(start));
        PdfBuilder typeless = pdf;
        std::string typelessRows;
        for (int32_t number = 0; number < 4; ++number)
            typelessRows +=
                XRefStreamRow({0, 2, 1}, 0, static_cast<uint64_t>(number == 0 ? 0 : pdf.OffsetOf(number)), 0);
        typeless.Stream(4, "/Type /XRef /Size 4 /W [0 2 1] " + root, typelessRows);
        add("stream-without-type-field", typeless.WithStartXRef(start));
        PdfBuilder wrongType = pdf;
        wrongType.Stream(4, "/Type /XRef /Size 4 /W [1 2 1] " + root, rows.substr(0, 4) + "\x03" + rows.substr(5));
        add("stream-row-type-3", wrongType.WithStartXRef(start),
            "Wrong type of xref XRefEntry while reading xref stream section");
        PdfBuilder shortRows = pdf;
        shortRows.Stream(4, "/Type /XRef /Size 5 /W [1 2 1] " + root, rows);
        add("stream-rows-short", shortRows.WithStartXRef(start), "Unexpected EOF while reading xref stream section");
        PdfBuilder wrongW = pdf;
        wrongW.Stream(4, "/Type /XRef /Size 4 /W [1 2] " + root, rows);
        add("stream-w-short", wrongW.WithStartXRef(start), "W item of xref Stream is wrong length");
    }
    add("no-startxref", Document().bytes() + "xref\n0 1\n" + XRefTableLine(0, 65535, 'f') + "trailer\n<< >>\n",
        "PDF file was damaged");
    add("trailer-array",
        Document().bytes() + "xref\n0 0\ntrailer\n[]\nstartxref\n" + std::to_string(Document().bytes().size()) +
            "\n%%EOF\n",
        "Trailer dictionary is wrong type");
    {
        PdfBuilder pdf;
        pdf.Object(2, kPages);
        pdf.ObjectStream(4, {{1, kCatalog}, {3, kPage}});
        add("objstm", pdf.WithXRefStream(5, root));
        add("objstm-junk-before-header", std::string(512, '\x80') + "\n" + pdf.WithXRefStream(5, root));
    }
    {
        PdfBuilder pdf;
        pdf.Object(2, kPages);
        pdf.ObjectStream(4, {{1, kCatalog}, {3, kPage}}, false);
        add("objstm-uncompressed", pdf.WithXRefStream(5, root, false));
    }
    {
        PdfBuilder pdf;
        pdf.Object(2, kPages);
        pdf.ObjectStream(4, {{1, kCatalog}, {3, kPage}});
        add("hybrid", pdf.WithHybridXRef(9, root));
    }
    {
        // An office suite's hybrid: the first table marks the compressed objects free.
        PdfBuilder pdf;
        pdf.Object(2, kPages);
        pdf.ObjectStream(4, {{1, kCatalog}, {3, kPage}});
        const std::string first = pdf.WithXRefTable(root);
        PdfBuilder update(first);
        const int64_t streamOffset = static_cast<int64_t>(first.size());
        update.Stream(9, "/Type /XRef /Size 10 /W [1 4 2] /Index [1 1 3 1]",
                      XRefStreamRow({1, 4, 2}, 2, 4, 0) + XRefStreamRow({1, 4, 2}, 2, 4, 1));
        const int64_t tableOffset = static_cast<int64_t>(update.bytes().size());
        update.Raw("xref\n0 0\ntrailer\n<< /Size 10 /Root 1 0 R /Prev " + std::to_string(LastStartXRef(first)) +
                   " /XRefStm " + std::to_string(streamOffset) + " >>\n");
        add("hybrid-empty-newest-table", update.WithStartXRef(tableOffset));
    }
    {
        PdfBuilder pdf = Document();
        const std::string header = "5 0 6 4 7 (8) ";
        pdf.Stream(4, "/Type /ObjStm /N 3 /First " + std::to_string(header.size()), header + "(a)\n(b)\n(c)\n");
        pdf.Compressed(5, 4, 0).Compressed(6, 4, 1).Compressed(7, 4, 2);
        add("objstm-bad-header", pdf.WithXRefStream(9, root));
    }
    {
        PdfBuilder pdf = Document();
        const std::string data = Deflate("5 0 6 4 (a)\n(b)\n");
        pdf.Object(4, "<< /Type /ObjStm /N 10 0 R /First 11 0 R /Filter /FlateDecode /Length 12 0 R >>\nstream\n" +
                          data + "\nendstream");
        pdf.Object(10, "2").Object(11, "8").Object(12, std::to_string(data.size()));
        pdf.Compressed(5, 4, 0).Compressed(6, 4, 1);
        add("objstm-indirect-entries", pdf.WithXRefStream(9, root));
    }
    {
        PdfBuilder pdf = Document();
        pdf.Object(4, "<< /Type /ObjStm /N 1 /First 4 /Length 5 0 R >>\nstream\n5 0 6\nendstream");
        pdf.Compressed(5, 4, 0);
        add("objstm-length-inside-itself", pdf.WithXRefStream(9, root));
    }
    {
        const std::string first = Document().Object(5, "(old)").WithXRefTable(root);
        PdfBuilder update(first);
        update.Object(5, "(new)");
        add("update-table", update.WithXRefUpdate(root + " /Prev " + std::to_string(LastStartXRef(first))));
        PdfBuilder byReference(first);
        byReference.Object(6, "(six)");
        add("update-prev-reference",
            byReference.WithXRefUpdate(root + " /Prev " + std::to_string(LastStartXRef(first)) + " 0 R"));
    }
    {
        // The older section's /Prev (written with leading zeros) is set to the newer section.
        const std::string first = Document().WithXRefTable(root + " /Prev 0000000000");
        PdfBuilder loop(first);
        loop.Object(6, "(six)");
        const std::string newer = std::to_string(loop.bytes().size());
        std::string file = loop.WithXRefUpdate(root + " /Prev " + std::to_string(LastStartXRef(first)));
        file.replace(file.find("/Prev 0000000000") + 16 - newer.size(), newer.size(), newer);
        add("prev-loop", file);
    }
    {
        const std::string first = Document().WithXRefStream(4, root);
        PdfBuilder update(first);
        update.Object(5, "(new)");
        add("update-over-stream", update.WithXRefUpdate(root + " /Prev " + std::to_string(LastStartXRef(first))));
    }
    {
        const std::string first = Document().Object(5, "(old)").WithXRefTable(root);
        PdfBuilder update(first);
        update.Object(5, "(new)");
        const int64_t start = static_cast<int64_t>(update.bytes().size());
        update.Stream(9,
                      "/Type /XRef /Size 10 /W [1 4 2] /Index [5 1 9 1] " + root + " /Prev " +
                          std::to_string(LastStartXRef(first)),
                      XRefStreamRow({1, 4, 2}, 1, static_cast<uint64_t>(update.OffsetOf(5)), 0) +
                          XRefStreamRow({1, 4, 2}, 1, static_cast<uint64_t>(start), 0));
        add("stream-over-table", update.WithStartXRef(start));
    }

    // Objects whose bytes hold "endobj" or "ObjStm" where they do not end.
    {
        PdfBuilder pdf = Document();
        pdf.Object(5, "<< /Length 6 0 R >>\nstream\nendobj inside\nendstream").Object(6, "13");
        pdf.Object(7, "<< /Length 3 >>\nstream\nBT (endobj) Tj ET\nendstream");
        pdf.Object(8, "<< /Title (ObjStm endobj) >> % endobj");
        add("endobj-inside", pdf.WithXRefTable(root));
    }

    // Page trees.
    {
        PdfBuilder pdf;
        pdf.Object(1, kCatalog);
        pdf.Object(2, "<< /Type /Pages /Kids [5 0 R 6 0 R] /Count 3 /CropBox [0 0 300 400] /MediaBox [0 0 500 500] >>");
        pdf.Object(5, "<< /Type /Pages /Kids [3 0 R 7 0 R] /Count 2 >>");
        pdf.Object(3, "<< /Type /Page /Resources << >> /Rotate -90 /Contents 8 0 R >>");
        pdf.Object(7, "<< /Type /Page /Resources 9 0 R /CropBox [1 2 3 4 5] /Annots [] >>");
        pdf.Object(6, "<< /Type /Page /Resources << >> /Rotate 450 >>");
        pdf.Stream(8, "", "0 0 m 10 10 l S endobj");
        pdf.Object(9, "<< /Font << >> >>");
        add("page-tree", pdf.WithXRefTable(root));
    }
    {
        PdfBuilder pdf;
        pdf.Object(1, kCatalog).Object(2, "<< /Type /Pages /Kids [2 0 R] /Count 1 >>");
        add("page-tree-loop", pdf.WithXRefTable(root), "Page tree contains a loop");
    }
    {
        PdfBuilder pdf;
        pdf.Object(1, kCatalog);
        pdf.Object(2, "<< /Type /Pages /Kids [<< /Type /Page /Resources << >> >> 3 0 R] /Count 2.0 >>");
        pdf.Object(3, kPage);
        add("direct-kid", pdf.WithXRefTable(root));
    }
    add("kids-below-a-page", OnePagePdf({.page = "<< /Type /Page /Resources << >> /Kids [4 0 R 5 2 0 R] >>",
                                         .pages = "/Count 7",
                                         .more = {{4, "[1 2]"}}}));
    add("resources-inherited", OnePagePdf({.page = "<< /Type /Page >>", .pages = "/Count 1 /Resources << >>"}));
    add("resources-array", OnePagePdf({.page = "<< /Type /Page /Resources [] >>"}), "Resources are not found");
    add("annots-name", OnePagePdf({.page = "<< /Type /Page /Resources << >> /Annots /None >>"}),
        "Page annotations object (page 1) is wrong type");
    {
        PdfBuilder pdf;
        pdf.Object(1, kCatalog);
        std::string kids;
        for (int32_t node = 0; node < 40; ++node)
            pdf.Object(2 + node, "<< /Type /Pages /Kids [" + std::to_string(3 + node) +
                                     " 0 R] /Count 1 /CropBox [0 0 " + std::to_string(node) + " 9] >>");
        pdf.Object(42, kPage);
        add("deep-page-tree", pdf.WithXRefTable(root));
    }
    return seeds;
}

TEST(FuzzSeeds, WrittenWhenAsked) {
    const char* folder = std::getenv("BREVANO_WRITE_FUZZ_SEEDS");
    if (folder == nullptr) GTEST_SKIP() << "set BREVANO_WRITE_FUZZ_SEEDS to a folder to write the seeds";
    std::filesystem::create_directories(folder);
    for (const Seed& seed : SeedFiles())
        std::ofstream(std::string(folder) + "/" + seed.name + ".pdf", std::ios::binary) << seed.bytes;
}

TEST(FuzzSeeds, EverySeedOpensOrFailsWithItsMessage) {
    for (const Seed& seed : SeedFiles()) {
        CPdfDocument document;
        EXPECT_EQ(OpenFailure(document, seed.bytes), seed.failure) << seed.name;
    }
}

}  // namespace
