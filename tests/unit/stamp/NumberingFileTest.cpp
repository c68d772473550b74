#include "stamp/NumberingFile.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "base/CPdfException.h"
#include "support/CaseName.h"
#include "support/PdfBuilder.h"
#include "support/StampRunner.h"
#include "support/TestFiles.h"
#include "writer/COutputFile.h"

namespace {

// ---------------------------------------------------------------------------
// Import: the number at the start of the file

struct ImportCase {
    const char* name;
    std::string content;
    int32_t expected;
};

void PrintTo(const ImportCase& c, std::ostream* os) { *os << c.name; }

class ImportNumberTest : public ::testing::TestWithParam<ImportCase> {};

TEST_P(ImportNumberTest, Reads) {
    const ImportCase& c = GetParam();
    TempFolder folder;
    const std::string path = folder.File("number.txt");
    WriteFile(path, c.content);
    EXPECT_EQ(ReadNumberingFile(path), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Contents, ImportNumberTest,
    ::testing::Values(ImportCase{"DigitsAndLineEnd", "12\n", 12}, ImportCase{"DigitsOnly", "12", 12},
                      ImportCase{"WindowsLineEnd", "12\r\n", 12}, ImportCase{"LeadingSpaces", "   42", 42},
                      ImportCase{"LeadingWhiteSpaceOfEveryKind", " \t\n\v\f\r3", 3}, ImportCase{"Plus", "+5", 5},
                      ImportCase{"Minus", "-5", -5}, ImportCase{"Zero", "0", 0}, ImportCase{"LeadingZeros", "0012", 12},
                      ImportCase{"Letters", "abc", 0}, ImportCase{"Empty", "", 0}, ImportCase{"SignOnly", "-", 0},
                      ImportCase{"TwoSigns", "+-3", 0}, ImportCase{"SpaceAfterSign", "- 3", 0},
                      ImportCase{"DigitsThenLetters", "12abc", 12}, ImportCase{"SecondNumberIgnored", "1 2", 1},
                      ImportCase{"ZeroByteEndsTheNumber",
                                 std::string("1\0"
                                             "2",
                                             3),
                                 1},
                      ImportCase{"ZeroByteFirst",
                                 std::string("\0"
                                             "5",
                                             2),
                                 0},
                      ImportCase{"TwelveDigitsReadAsTen", "123456789012", 1234567890},
                      ImportCase{"TenDigitsBeyondThirtyTwoBits", "4294967297", 1},
                      ImportCase{"TenNinesWrap", "9999999999", 1410065407},
                      ImportCase{"LargestNumber", "2147483647", 2147483647},
                      ImportCase{"NegativeCutAtTenCharacters", "-2147483648", -214748364},
                      ImportCase{"NumberAfterTenSpaces", "          5", 0},
                      ImportCase{"NumberEndingAtTheTenthByte", "         5", 5}),
    CaseName<ImportCase>);

TEST(ImportFileTest, MissingFileFails) {
    TempFolder folder;
    try {
        ReadNumberingFile(folder.File("missing.txt"));
        FAIL() << "no exception";
    } catch (const CPdfException& failure) {
        EXPECT_STREQ(failure.GetMessage(), "Output file create error");
    }
}

TEST(ImportFileTest, FolderFails) {
    TempFolder folder;
    try {
        ReadNumberingFile(folder.path());
        FAIL() << "no exception";
    } catch (const CPdfException& failure) {
        EXPECT_STREQ(failure.GetMessage(), "Output file create error");
    }
}

TEST(ImportFileTest, MissingFolderFails) {
    TempFolder folder;
    try {
        ReadNumberingFile(folder.File("no/such/number.txt"));
        FAIL() << "no exception";
    } catch (const CPdfException& failure) {
        EXPECT_STREQ(failure.GetMessage(), "Output file create error");
    }
}

// ---------------------------------------------------------------------------
// Export: written like the output, through a temporary file put in place at
// the end; a run that fails leaves an earlier file as it was.

std::string MessageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const CPdfException& failure) {
        return failure.GetMessage();
    }
    return "";
}

TEST(ExportFileTest, NothingAtThePathBeforeCommit) {
    TempFolder folder;
    const std::string path = folder.File("next.txt");
    {
        COutputFile file(path, "export file create error");
        file.Write("8");
        EXPECT_FALSE(FileExists(path));
        file.Commit();
    }
    EXPECT_EQ(ReadFile(path), "8");
    EXPECT_EQ(ListFolder(folder.path()), std::vector<std::string>{"next.txt"});
}

TEST(ExportFileTest, UncommittedFileLeavesTheOldNumber) {
    TempFolder folder;
    const std::string path = folder.File("next.txt");
    WriteFile(path, "5");
    {
        COutputFile file(path, "export file create error");
        file.Write("8");
    }
    EXPECT_EQ(ReadFile(path), "5");
    EXPECT_EQ(ListFolder(folder.path()), std::vector<std::string>{"next.txt"});
}

TEST(ExportFileTest, UncreatableFileGivesTheExportMessage) {
    TempFolder folder;
    EXPECT_EQ(MessageOf([&] { COutputFile file(folder.File("no/next.txt"), "export file create error"); }),
              "export file create error");
    EXPECT_EQ(MessageOf([&] { COutputFile file(folder.path(), "export file create error"); }),
              "export file create error");
}

// ---------------------------------------------------------------------------
// Both files in whole text runs

std::string PagesPdf(int32_t pages) {
    PdfBuilder pdf;
    pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    std::string kids;
    for (int32_t i = 0; i < pages; ++i) kids += std::to_string(3 + i) + " 0 R ";
    pdf.Object(2, "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages) + " >>");
    for (int32_t i = 0; i < pages; ++i)
        pdf.Object(3 + i, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << >> >>");
    return pdf.WithXRefTable("/Root 1 0 R");
}

TEST(NumberingRunTest, ExportHoldsTheHighestNumberPlusOne) {
    TempFolder folder;
    const std::string next = folder.File("next.txt");
    const StampResult result = RunTextStamp(PagesPdf(1), {"-ns7", "-export", next});
    EXPECT_EQ(result.message, "");
    EXPECT_TRUE(result.output.has_value());
    EXPECT_EQ(ReadFile(next), "8");
}

TEST(NumberingRunTest, ExportAfterNoStampedPageHoldsOne) {
    TempFolder folder;
    const std::string next = folder.File("next.txt");
    WriteFile(next, "99");
    const StampResult result = RunTextStamp(PagesPdf(2), {"-s5", "-export", next});
    EXPECT_EQ(result.message, "");
    EXPECT_EQ(ReadFile(next), "1");
}

TEST(NumberingRunTest, ExportAfterOnlyNegativeNumbersHoldsOne) {
    TempFolder folder;
    const std::string next = folder.File("next.txt");
    const StampResult result = RunTextStamp(PagesPdf(2), {"-ns-5", "-export", next});
    EXPECT_EQ(result.message, "");
    EXPECT_EQ(ReadFile(next), "1");
}

TEST(NumberingRunTest, ImportReplacesTheStartNumberAndCarriesOn) {
    TempFolder folder;
    const std::string number = folder.File("number.txt");
    WriteFile(number, "12\n");
    const StampResult first = RunTextStamp(PagesPdf(3), {"-ns3", "-import", number, "-export", number});
    EXPECT_EQ(first.message, "");
    EXPECT_EQ(ReadFile(number), "15");
    const StampResult second = RunTextStamp(PagesPdf(2), {"-import", number, "-export", number});
    EXPECT_EQ(second.message, "");
    EXPECT_EQ(ReadFile(number), "17");
}

TEST(NumberingRunTest, MissingImportFileFailsWithoutOutput) {
    TempFolder folder;
    const StampResult result = RunTextStamp(PagesPdf(1), {"-import", folder.File("missing.txt")});
    EXPECT_EQ(result.message, "Output file create error");
    EXPECT_FALSE(result.output.has_value());
}

TEST(NumberingRunTest, UncreatableExportFileFailsWithoutOutput) {
    TempFolder folder;
    const StampResult result = RunTextStamp(PagesPdf(1), {"-export", folder.File("no/next.txt")});
    EXPECT_EQ(result.message, "export file create error");
    EXPECT_FALSE(result.output.has_value());
}

TEST(NumberingRunTest, FailedRunLeavesTheExportFile) {
    TempFolder folder;
    const std::string next = folder.File("next.txt");
    WriteFile(next, "5");
    const StampResult result = RunTextStamp(PagesPdf(1), {"-export", next, "-font", "NoSuchFont"});
    EXPECT_EQ(result.message, "Unknown font name");
    EXPECT_EQ(ReadFile(next), "5");
    EXPECT_EQ(ListFolder(folder.path()), std::vector<std::string>{"next.txt"});
}

}  // namespace
