// Batch mode against the -import/-export chain of text runs it replaces: the
// same stamps and next number for any worker count, its log, and runs that
// stop before anything is written, naming each bad document or list line.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "app/CFrontEnd.h"
#include "support/ChildProcess.h"
#include "support/ExternalTools.h"
#include "support/PdfBuilder.h"
#include "support/Production.h"
#include "support/TestFiles.h"

namespace {

namespace fs = std::filesystem;

struct RunResult {
    int status = -1;
    std::string out;
};

RunResult Batch(const std::string& list, std::vector<std::string> params) {
    params.insert(params.begin(), {"batch", list});
    RunResult result;
    result.status = CFrontEnd::Run(params, result.out);
    return result;
}

// The names in a folder, sorted; temporary files included.
std::vector<std::string> Sorted(const std::string& folder) {
    std::vector<std::string> names = fs::exists(folder) ? ListFolder(folder) : std::vector<std::string>{};
    std::sort(names.begin(), names.end());
    return names;
}

struct NumberingCase {
    const char* name;
    std::vector<std::string> params;
    int documents = 40;
};

void PrintTo(const NumberingCase& c, std::ostream* os) { *os << c.name; }

class BatchNumberingTest : public ::testing::TestWithParam<NumberingCase> {};

// The next number carried in from 5: every stamp and the next number as the
// chain gives them, with one worker and with four; the log's first and last
// numbers are the first and last stamps' numbers.
TEST_P(BatchNumberingTest, StampsAsTheChainWithAnyWorkers) {
    const TempFolder folder;
    const Production production = WriteProduction(folder.path(), GetParam().documents);
    WriteFile(folder.File("chain-next"), "5");
    ASSERT_EQ(RunChain(production, "chain", folder.File("chain-next"), GetParam().params), "");
    for (const char* workers : {"-workers1", "-workers4"}) {
        const std::string out = std::string("out") + workers;
        WriteFile(folder.File("list"), production.List(out));
        WriteFile(folder.File("next"), "5");
        fs::create_directories(folder.File(out));
        std::vector<std::string> params = GetParam().params;
        params.insert(params.end(), {workers, "-import", folder.File("next"), "-export", folder.File("next"), "-log",
                                     folder.File("log.csv")});
        const RunResult run = Batch(folder.File("list"), params);
        ASSERT_EQ(run.out, "");
        ASSERT_EQ(run.status, 0);
        EXPECT_EQ(ReadFile(folder.File("next")), ReadFile(folder.File("chain-next"))) << workers;
        const auto rows = ParseCsv(ReadFile(folder.File("log.csv")));
        ASSERT_EQ(rows.size(), production.names.size() + 1);
        EXPECT_EQ(rows[0], (std::vector<std::string>{"input", "output", "first number", "last number", "pages"}));
        for (size_t i = 0; i < production.names.size(); ++i) {
            const std::vector<std::string> chain = StampTexts(ReadFile(folder.File("chain/" + production.names[i])));
            EXPECT_EQ(StampTexts(ReadFile(folder.File(out + "/" + production.names[i]))), chain)
                << production.names[i] << " " << workers;
            const std::vector<std::string>& row = rows[i + 1];
            ASSERT_EQ(row.size(), 5u);
            EXPECT_EQ(row[0], production.Input(i));
            EXPECT_EQ(row[1], folder.File(out + "/" + production.names[i]));
            // The number as stamped, without what follows it.
            EXPECT_EQ(chain.empty() ? "" : chain.front().substr(0, row[2].size()), row[2]) << production.names[i];
            EXPECT_EQ(chain.empty() ? "" : chain.back().substr(0, row[3].size()), row[3]) << production.names[i];
        }
    }
}

const NumberingCase kNumberingCases[] = {
    {"Bates", {"-prefix", "ABC-", "-one", "-m6"}, 2000},
    {"ReversedRoman", {"-r", "-ROM"}},
    // Numbers below 1 export 1: the next document starts again there.
    {"EveryThirdFromPageTwoBelowZero", {"-n3", "-seq", "-s2", "-ns-3", "-one"}},
    {"TwoUpIncremental", {"-2up", "-incremental", "-sep", " of "}},
};

INSTANTIATE_TEST_SUITE_P(Batch, BatchNumberingTest, ::testing::ValuesIn(kNumberingCases),
                         [](const auto& param) { return std::string(param.param.name); });

class BatchFailureTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(folder_.File("in"));
        fs::create_directories(folder_.File("out"));
        WriteFile(folder_.File("in/good.pdf"), BlankLetterPages(2));
        std::string damaged = BlankLetterPages(1);
        WriteFile(folder_.File("in/damaged.pdf"), damaged.substr(0, damaged.size() / 2));
        fs::copy_file(std::string(BREVANO_TEST_DATA_DIR) + "/encrypted/aes_256.pdf", folder_.File("in/locked.pdf"));
        // An output from before, and the next number from before.
        WriteFile(folder_.File("out/good.pdf"), "earlier");
        WriteFile(folder_.File("next"), "7");
    }

    // Runs the list's lines with the log and the next number; checks that
    // nothing was written and that the files from before stay.
    RunResult RunNothingWritten(const std::string& lines, const std::string& workers) {
        WriteFile(folder_.File("list"), lines);
        const RunResult run = Batch(folder_.File("list"), {workers, "-log", folder_.File("log.csv"), "-import",
                                                           folder_.File("next"), "-export", folder_.File("next")});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(Sorted(folder_.File("out")), std::vector<std::string>{"good.pdf"});
        EXPECT_EQ(ReadFile(folder_.File("out/good.pdf")), "earlier");
        EXPECT_EQ(Sorted(folder_.path()), (std::vector<std::string>{"in", "list", "next", "out"}));
        EXPECT_EQ(ReadFile(folder_.File("next")), "7");
        return run;
    }

    std::string Line(const std::string& input, const std::string& output) {
        return folder_.File(input) + "\t" + folder_.File(output) + "\n";
    }

    const TempFolder folder_;
};

TEST_F(BatchFailureTest, DocumentsThatCannotBeOpenedAreAllNamedInListOrder) {
    const std::string lines = Line("in/good.pdf", "out/good.pdf") + Line("in/damaged.pdf", "out/1.pdf") +
                              Line("in/good.pdf", "out/2.pdf") + Line("in/locked.pdf", "out/3.pdf") +
                              Line("in/missing.pdf", "out/4.pdf") + Line("in/good.pdf", "out/5.pdf");
    const std::string expected =
        folder_.File("in/damaged.pdf") + ": PDF file was damaged\n" + folder_.File("in/locked.pdf") +
        ": Wrong or missing password: give the document's user or owner password with -password\n" +
        folder_.File("in/missing.pdf") + ": File open error";
    for (const char* workers : {"-workers1", "-workers3"}) EXPECT_EQ(RunNothingWritten(lines, workers).out, expected);
}

TEST_F(BatchFailureTest, FailureWhileWritingNamesTheFirstAndRemovesEveryOutput) {
    // The third and fifth outputs cannot be created; the first two are written
    // before that is found.
    std::string lines;
    for (int i = 1; i <= 8; ++i)
        lines += Line("in/good.pdf",
                      i == 3 || i == 5 ? "missing/" + std::to_string(i) + ".pdf" : "out/" + std::to_string(i) + ".pdf");
    lines += Line("in/good.pdf", "out/good.pdf");
    const std::string expected =
        folder_.File("in/good.pdf") + " -> " + folder_.File("missing/3.pdf") + ": Output file create error";
    for (const char* workers : {"-workers1", "-workers2", "-workers6"})
        EXPECT_EQ(RunNothingWritten(lines, workers).out, expected) << workers;
}

TEST_F(BatchFailureTest, ListLinesThatNameNoPairOrRepeatAFileAreAllNamed) {
    const std::string lines = Line("in/good.pdf", "out/1.pdf") + "no tab here\n" + Line("in/good.pdf", "out/1.pdf") +
                              "\t" + folder_.File("out/2.pdf") + "\n" + Line("in/good.pdf", "in/locked.pdf") +
                              folder_.File("in/good.pdf") + "\t" + folder_.File("out/3.pdf") + "\tx\n\n" +
                              Line("in/locked.pdf", "out/4.pdf");
    EXPECT_EQ(RunNothingWritten(lines, "-workers2").out,
              "List line 2 is not an input and an output separated by a tab\n"
              "List line 4 is not an input and an output separated by a tab\n"
              "List line 6 is not an input and an output separated by a tab\n"
              "List line 7 is not an input and an output separated by a tab\n"
              "List line 3 writes the output of line 1 again\n"
              "List line 5 writes over the input of line 8");
}

TEST_F(BatchFailureTest, ListAndParameterErrors) {
    for (const std::string& list : {folder_.File("none"), folder_.File("in"), std::string()})
        EXPECT_EQ(Batch(list, {}).out, "List file open error") << list;
    for (const char* wrong : {"-workers0", "-log"})
        EXPECT_EQ(Batch(folder_.File("list"), {wrong}).out, "Error parameter");
}

// The progress line goes to standard error on a terminal only, and is
// cleared at the end; standard output stays as in every run.
TEST_F(BatchFailureTest, ProgressLineOnlyOnATerminal) {
    WriteFile(folder_.File("list"), Line("in/good.pdf", "out/1.pdf") + Line("in/good.pdf", "out/2.pdf"));
    const ChildResult piped = RunChild({BREVANO_EXECUTABLE, "batch", folder_.File("list")}, 60);
    EXPECT_EQ(piped.exitStatus, 0);
    EXPECT_EQ(piped.out, "");
    EXPECT_EQ(piped.err, "");
    if (!HaveTool("script")) GTEST_SKIP() << "script (util-linux) is not installed";
    const ToolResult terminal = RunTool(
        "script -qec " + ShellQuote(ShellQuote(BREVANO_EXECUTABLE) + " batch " + ShellQuote(folder_.File("list"))) +
        " /dev/null");
    EXPECT_EQ(terminal.status, 0);
    EXPECT_NE(terminal.out.find("\rcounting 0/2 documents"), std::string::npos) << terminal.out;
    EXPECT_NE(terminal.out.find("\rstamping 0/2 documents, 0/4 pages"), std::string::npos) << terminal.out;
    EXPECT_EQ(terminal.out.substr(terminal.out.size() - 4), "\r\x1b[K") << terminal.out;
}

// An interrupt while the outputs are written stops the batch between
// documents; what it wrote goes, and it ends as a failure.
TEST(BatchInterruptTest, InterruptRemovesWhatWasWritten) {
    const TempFolder folder;
    const Production production = WriteProduction(folder.path(), 2000);
    fs::create_directories(folder.File("out"));
    WriteFile(folder.File("list"), production.List("out"));
    const pid_t child = fork();
    if (child == 0) {
        const int out = ::open(folder.File("message").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(out, STDOUT_FILENO);
        ::execl(BREVANO_EXECUTABLE, BREVANO_EXECUTABLE, "batch", folder.File("list").c_str(), "-workers1", nullptr);
        ::_exit(127);
    }
    ASSERT_GT(child, 0);
    // Once the first output is staged.
    int status = 0;
    while (::waitpid(child, &status, WNOHANG) == 0 && ListFolder(folder.File("out")).empty()) ::usleep(1000);
    const bool running = ::kill(child, SIGINT) == 0 && ::waitpid(child, &status, 0) == child;
    if (!running || (WIFEXITED(status) && WEXITSTATUS(status) == 0))
        GTEST_SKIP() << "the batch ended before the signal";
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(ReadFile(folder.File("message")), "Interrupted");
    EXPECT_EQ(Sorted(folder.File("out")), std::vector<std::string>{});
}

}  // namespace
