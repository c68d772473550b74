// A production of 2,000 documents numbered by the program's batch mode with
// one, three and the default number of workers: every stamp and the next
// number as the -import/-export chain of text runs gives them, and the log's
// first and last numbers as pdftotext reads them on each document's first
// and last page.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/ExternalTools.h"
#include "support/Production.h"
#include "support/TestFiles.h"

namespace {

constexpr int kDocuments = 2000;

// The documents whose last listed page is their last stamped one and whose
// page count is their number of pages (see WriteProduction).
bool IsPlain(size_t index) { return index % 97 != 5 && index % 97 != 6; }

TEST(BatchProductionTest, NumbersAsTheChainAndLogsWhatThePagesShow) {
    if (!HaveTool("pdftotext") || !HaveTool("qpdf")) GTEST_SKIP() << "poppler-utils or qpdf is not installed";
    const TempFolder folder;
    const Production production = WriteProduction(folder.path(), kDocuments);
    const std::vector<std::string> bates = {"-prefix", "ABC-", "-one", "-m6"};
    WriteFile(folder.File("chain-next"), "1");
    ASSERT_EQ(RunChain(production, "chain", folder.File("chain-next"), bates), "");
    std::vector<std::vector<std::string>> chain;
    for (const std::string& name : production.names)
        chain.push_back(StampTexts(ReadFile(folder.File("chain/" + name))));

    for (const char* workers : {"-workers1", "-workers3", ""}) {
        const std::string out = std::string("out") + workers;
        std::filesystem::create_directories(folder.File(out));
        WriteFile(folder.File("list"), production.List(out));
        std::vector<std::string> argv = {BREVANO_EXECUTABLE,     "batch",   folder.File("list"), "-log",
                                         folder.File("log.csv"), "-export", folder.File("next")};
        argv.insert(argv.end(), bates.begin(), bates.end());
        if (*workers != '\0') argv.push_back(workers);
        const ChildResult run = RunChild(argv, 300);
        ASSERT_EQ(run.exitStatus, 0) << run.out;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(ReadFile(folder.File("next")), ReadFile(folder.File("chain-next")));
        for (size_t i = 0; i < production.names.size(); ++i)
            ASSERT_EQ(StampTexts(ReadFile(folder.File(out + "/" + production.names[i]))), chain[i])
                << production.names[i] << " " << workers;
    }

    // The first and last page of every plain document, in one file for one
    // pdftotext run.
    const auto rows = ParseCsv(ReadFile(folder.File("log.csv")));
    ASSERT_EQ(rows.size(), static_cast<size_t>(kDocuments) + 1);
    std::string command = "qpdf --empty --pages";
    std::vector<size_t> plain;
    for (size_t i = 0; i < production.names.size(); ++i) {
        if (!IsPlain(i)) continue;
        plain.push_back(i);
        command += " " + ShellQuote(folder.File("out/" + production.names[i])) + " 1,z";
    }
    ASSERT_EQ(RunTool(command + " -- " + ShellQuote(folder.File("ends.pdf"))).status, 0);
    const std::vector<std::string> pages = PdfTextByPage(folder.File("ends.pdf"));
    ASSERT_EQ(pages.size(), plain.size() * 2);
    for (size_t k = 0; k < plain.size(); ++k) {
        const std::vector<std::string>& row = rows[plain[k] + 1];
        ASSERT_EQ(row.size(), 5u);
        EXPECT_EQ(row[2], pages[2 * k]) << production.names[plain[k]];
        EXPECT_EQ(row[3], pages[2 * k + 1]) << production.names[plain[k]];
        EXPECT_EQ(row[4], std::to_string(chain[plain[k]].size())) << production.names[plain[k]];
    }
}

}  // namespace
