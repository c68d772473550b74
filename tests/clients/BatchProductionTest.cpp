// A production of 2,000 documents numbered by the program's batch mode on
// every processor: its log's first and last numbers are what pdftotext reads
// on each document's first and last page, and its page counts the pages
// stamped. (tests/golden/BatchTest.cpp compares the same production's stamps
// with the -import/-export chain's.)
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/ExternalTools.h"
#include "support/Production.h"
#include "support/TestFiles.h"

namespace {

TEST(BatchProductionTest, LogShowsWhatTheFirstAndLastPagesShow) {
    if (!HaveTool("pdftotext") || !HaveTool("qpdf")) GTEST_SKIP() << "poppler-utils or qpdf is not installed";
    const TempFolder folder;
    const Production production = WriteProduction(folder.path(), 2000);
    std::filesystem::create_directories(folder.File("out"));
    WriteFile(folder.File("list"), production.List("out"));
    const ChildResult run = RunChild({BREVANO_EXECUTABLE, "batch", folder.File("list"), "-log", folder.File("log.csv"),
                                      "-prefix", "ABC-", "-one", "-m6"},
                                     300);
    ASSERT_EQ(run.exitStatus, 0) << run.out;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");
    const auto rows = ParseCsv(ReadFile(folder.File("log.csv")));
    ASSERT_EQ(rows.size(), production.names.size() + 1);

    // The first and last page of every document whose last page is its last
    // stamped one and whose page count is its number of pages (see
    // WriteProduction), in one file for one pdftotext run.
    std::string command = "qpdf --empty --pages";
    std::vector<size_t> plain;
    for (size_t i = 0; i < production.names.size(); ++i) {
        if (i % 97 == 5 || i % 97 == 6) continue;
        plain.push_back(i);
        command += " " + ShellQuote(folder.File("out/" + production.names[i])) + " 1,z";
    }
    ASSERT_EQ(RunTool(command + " -- " + ShellQuote(folder.File("ends.pdf"))).status, 0);
    const std::vector<std::string> pages = PdfTextByPage(folder.File("ends.pdf"));
    ASSERT_EQ(pages.size(), plain.size() * 2);
    for (size_t k = 0; k < plain.size(); ++k) {
        const std::vector<std::string>& row = rows[plain[k] + 1];
        const std::string& name = production.names[plain[k]];
        ASSERT_EQ(row.size(), 5u);
        EXPECT_EQ(row[2], pages[2 * k]) << name;
        EXPECT_EQ(row[3], pages[2 * k + 1]) << name;
        EXPECT_EQ(row[4], std::to_string(StampTexts(ReadFile(folder.File("out/" + name))).size())) << name;
    }
}

}  // namespace
