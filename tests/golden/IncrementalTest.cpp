// -incremental: the input's bytes, then one update in the input's form. The
// appended bytes are compared with golden files; refusals leave no output.
#include <gtest/gtest.h>

#include <cstdlib>

#include "support/ExternalTools.h"
#include "support/OutputReader.h"
#include "support/PdfBuilder.h"
#include "support/StampRunner.h"
#include "support/TestFiles.h"

namespace {

const std::string kDamaged =
    "The input's cross-reference is damaged: no update can be appended; stamp without -incremental to rewrite the "
    "whole file";
const std::string kCertified =
    "The document is certified with no changes allowed; -ignore-docmdp stamps it all the same";
const std::string kCertifiedPages =
    "The document is certified with no changes to its pages allowed; -ignore-docmdp stamps it all the same";
const std::string kSignedDamaged =
    "The document is signed and its cross-reference is damaged: no update can be appended to keep the signatures "
    "valid; -break-signatures rewrites the whole file and breaks them";

// Two pages sharing a resources object, /Size beyond the objects, and no line
// end after %%EOF; `catalogExtra` goes into the catalog; object 8 is a
// certification signature allowing the changes `p`.
std::string TableInput(const std::string& catalogExtra = "", int p = 1) {
    PdfBuilder pdf;
    pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R " + catalogExtra + ">>");
    pdf.Object(2, "<< /Type /Pages /Kids [3 0 R 4 2 R] /Count 2 /MediaBox [0 0 612 792] >>");
    pdf.Object(3, "<< /Type /Page /Parent 2 0 R /Contents 5 0 R /Resources 6 0 R >>");
    pdf.Object(4, "<< /Type /Page /Parent 2 0 R /Contents [5 0 R] /Resources 6 0 R >>", 2);
    pdf.Stream(5, "", "0 0 m 9 9 l S");
    pdf.Object(6, "<< /Font << >> >>");
    pdf.Object(7, "<< /Producer (test) >>");
    pdf.Object(8, "<< /Type /Sig /Reference [<< /TransformMethod /DocMDP /TransformParams << /P " + std::to_string(p) +
                      " >> >>] >>");
    std::string bytes = pdf.WithXRefTable("/Root 1 0 R /Info 7 0 R /ID [<00ff> <1234>]");
    bytes.replace(bytes.find("/Size 9"), 7, "/Size 12");
    bytes.pop_back();  // the line end after %%EOF
    return bytes;
}

// The page in an object stream, a cross-reference stream at the end.
std::string StreamInput() {
    PdfBuilder pdf;
    pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    pdf.ObjectStream(3, {{2, "<< /Type /Pages /Kids [4 0 R] /Count 1 >>"},
                         {4, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Resources << >> >>"}});
    return pdf.WithXRefStream(5, "/Root 1 0 R");
}

void ExpectUpdate(const std::string& name, const std::string& input, const StampResult& result) {
    ASSERT_EQ(result.message, "");
    ASSERT_TRUE(result.output.has_value());
    ASSERT_EQ(result.output->compare(0, input.size(), input), 0) << "the input's bytes are not a prefix";
    const std::string update = result.output->substr(input.size());
    const std::string path = std::string(BREVANO_TEST_DATA_DIR) + "/golden/" + name + ".update";
    if (std::getenv("BREVANO_UPDATE_GOLDEN") != nullptr) WriteFile(path, update);
    EXPECT_EQ(update, ReadFile(path)) << name;
    EXPECT_NO_THROW(OutputReader{*result.output});
    if (HaveTool("qpdf")) {
        const TempFolder folder;
        WriteFile(folder.File("out.pdf"), *result.output);
        EXPECT_EQ(QpdfCheck(folder.File("out.pdf")), 0) << name;
    }
}

TEST(IncrementalTest, TableInputGetsATableUpdate) {
    // A line end, new objects from /Size 12 on, the shared resources object
    // written again, page 4 under its generation 2, /Prev to the input's table.
    const std::string input = TableInput();
    ExpectUpdate("incremental-table", input, RunTextStamp(input, {"-incremental"}));
}

TEST(IncrementalTest, StreamInputGetsAStreamUpdate) {
    // The page leaves its object stream as a plain object; the stream that
    // lists it is a new object of its own.
    const std::string input = StreamInput();
    ExpectUpdate("incremental-stream", input,
                 RunImageStamp(input, ReadFile(std::string(BREVANO_TEST_DATA_DIR) + "/picture-640x480.jpg"),
                               {"-incremental", "-size20,15"}));
}

TEST(IncrementalTest, SavedStateAndSharedContentsInTheUpdate) {
    // A tagged document. Pages 3 and 4 draw the array object 5, page 6 its
    // own array object 7; both arrays leave a flipped y axis. Page 9 draws
    // balanced content. The update holds the "q" stream (once), pages 3 and 4
    // with arrays of their own (object 5 stays only in the input), the array
    // object 7 extended, page 9 edited without "q", and the text as artifacts.
    PdfBuilder pdf;
    pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R /MarkInfo << /Marked true >> >>");
    pdf.Object(2, "<< /Type /Pages /Kids [3 0 R 4 0 R 6 0 R 9 0 R] /Count 4 /MediaBox [0 0 200 200] >>");
    pdf.Object(3, "<< /Type /Page /Parent 2 0 R /Contents 5 0 R /Resources << >> >>");
    pdf.Object(4, "<< /Type /Page /Parent 2 0 R /Contents 5 0 R /Resources << >> >>");
    pdf.Object(5, "[8 0 R]");
    pdf.Object(6, "<< /Type /Page /Parent 2 0 R /Contents 7 0 R /Resources << >> >>");
    pdf.Object(7, "[8 0 R]");
    pdf.Stream(8, "", "1 0 0 -1 0 200 cm 0 0 m 9 9 l S");
    pdf.Object(9, "<< /Type /Page /Parent 2 0 R /Contents 10 0 R /Resources << >> >>");
    pdf.Stream(10, "", "q 2 0 0 2 0 0 cm Q");
    const std::string input = pdf.WithXRefTable("/Root 1 0 R");
    const StampResult result = RunTextStamp(input, {"-incremental"});
    ExpectUpdate("incremental-saved-state", input, result);
}

struct RefusalCase {
    std::string name;
    std::string input;
    std::vector<std::string> params;
    std::string message;  // empty: stamped
    bool update = true;   // stamped as an update of the input
};

TEST(IncrementalTest, RefusesWhatCannotTakeAnUpdate) {
    const std::string table = TableInput();
    std::string misplaced = table;  // object 7's entry one byte late
    const size_t seven = table.find("7 0 obj");
    misplaced.replace(misplaced.find(XRefTableLine(seven, 0, 'n')), 20, XRefTableLine(seven + 1, 0, 'n'));
    std::string shifted = table;  // startxref names a comment before "xref"
    shifted.insert(static_cast<size_t>(LastStartXRef(table)), "%x\n");
    std::string nulBefore = table;  // some readers skip NUL between objects' tokens, not before "xref"
    nulBefore.insert(static_cast<size_t>(LastStartXRef(table)), 1, '\0');
    std::string nulInHeader = table;
    nulInHeader[seven + 1] = '\0';
    // An update whose table's /Prev leads back to it through the first one.
    std::string first = table;
    first.replace(first.rfind("/Root 1 0 R"), 11, "/Root 1 0 R /Prev 0000000000");
    PdfBuilder update(first + "\n");
    update.Object(7, "<< /Producer (again) >>");
    std::string looped = update.WithXRefUpdate("/Root 1 0 R /Prev " + std::to_string(LastStartXRef(first)));
    const std::string newest = std::to_string(LastStartXRef(looped));
    looped.replace(looped.find("0000000000", first.rfind("trailer")) + 10 - newest.size(), newest.size(), newest);
    const std::string kPerms = "/Perms << /DocMDP 8 0 R >> ";
    // A signature field whose parent says it is one; its value is object 8.
    const std::string signedInput = TableInput("/AcroForm << /Fields [<< /FT /Sig /Kids [<< /V 8 0 R >>] >>] >>");
    std::string signedMisplaced = signedInput;
    const size_t sevenSigned = signedInput.find("7 0 obj");
    signedMisplaced.replace(signedMisplaced.find(XRefTableLine(sevenSigned, 0, 'n')), 20,
                            XRefTableLine(sevenSigned + 1, 0, 'n'));
    const std::vector<RefusalCase> cases = {
        {"misplaced entry", misplaced, {"-incremental"}, kDamaged},
        {"startxref at a comment", shifted, {"-incremental"}, kDamaged},
        {"startxref at a NUL", nulBefore, {"-incremental"}, kDamaged},
        {"NUL in an object's header", nulInHeader, {"-incremental"}, ""},
        {"looping chain", looped, {"-incremental"}, kDamaged},
        {"certified, P 1", TableInput(kPerms), {"-incremental"}, kCertified},
        {"certified, insisted", TableInput(kPerms), {"-incremental", "-ignore-docmdp"}, ""},
        // Signed inputs are updated without -incremental too.
        {"certified, P 1, without -incremental", TableInput(kPerms), {}, kCertified},
        {"certified, P 2", TableInput(kPerms, 2), {}, kCertifiedPages},
        {"certified, P 2, insisted", TableInput(kPerms, 2), {"-incremental", "-ignore-docmdp"}, ""},
        {"certified, P 3", TableInput(kPerms, 3), {"-incremental"}, kCertifiedPages},
        {"certified, P 3, insisted", TableInput(kPerms, 3), {"-ignore-docmdp"}, ""},
        {"signature field", signedInput, {}, ""},
        {"signature field, rewritten", signedInput, {"-break-signatures"}, "", false},
        {"signature field, damaged", signedMisplaced, {}, kSignedDamaged},
        {"signature field, damaged, rewritten", signedMisplaced, {"-break-signatures"}, "", false},
        {"unsigned field", TableInput("/AcroForm << /Fields [<< /FT /Sig /T (s) >>] >>"), {}, "", false},
        {"misplaced entry, repaired", misplaced, {"-repair"}, "", false},
        {"with -repair",
         table,
         {"-incremental", "-repair"},
         "-repair and -incremental do not go together: an update cannot be appended to a file whose cross-reference "
         "table is broken; -repair rewrites the whole file"},
    };
    for (const RefusalCase& c : cases) {
        const StampResult result = RunTextStamp(c.input, c.params);
        EXPECT_EQ(result.message, c.message) << c.name;
        ASSERT_EQ(result.output.has_value(), c.message.empty()) << c.name;
        if (result.output) {
            EXPECT_EQ(result.output->compare(0, c.input.size(), c.input) == 0, c.update) << c.name;
        }
    }
}

}  // namespace
