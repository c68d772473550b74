#include "app/CFrontEnd.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "support/CaseName.h"
#include "support/PdfBuilder.h"
#include "support/TestFiles.h"

namespace {

const std::string kFirstUsageLine = "Brevano Server version 1.1\n";

std::string ExpectedUsage() { return ReadFile(std::string(BREVANO_TEST_DATA_DIR) + "/usage.txt"); }

// A one-page document that every stage of a text run accepts.
const OnePage kLetterPage{.page = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << >> >>"};

struct RunResult {
    int status = -1;
    std::string out;
};

RunResult RunFrontEnd(const std::vector<std::string>& args) {
    RunResult result;
    result.status = CFrontEnd::Run(args, result.out);
    return result;
}

// ---------------------------------------------------------------------------
// The usage text

TEST(UsageTextTest, ReferenceFileHoldsFortyFourLines) {
    const std::string usage = ExpectedUsage();
    ASSERT_FALSE(usage.empty());
    EXPECT_EQ(std::count(usage.begin(), usage.end(), '\n'), 44);
    EXPECT_EQ(usage.back(), '\n');
    EXPECT_EQ(usage.find('\r'), std::string::npos);
    EXPECT_EQ(usage.rfind(kFirstUsageLine, 0), 0u);
}

TEST(UsageTextTest, IsByteForByteTheReference) { EXPECT_EQ(std::string(CFrontEnd::UsageText()), ExpectedUsage()); }

// ---------------------------------------------------------------------------
// Runs that touch no file: what is printed and the exit status

struct FrontEndCase {
    const char* name;
    std::vector<std::string> args;
    std::string expectedOut;  // "<usage>" stands for the whole usage text, "<help>" for it and the added options
    int expectedStatus;
};

void PrintTo(const FrontEndCase& c, std::ostream* os) { *os << c.name; }

class FrontEndDispatchTest : public ::testing::TestWithParam<FrontEndCase> {};

TEST_P(FrontEndDispatchTest, PrintsAndEnds) {
    const FrontEndCase& c = GetParam();
    const RunResult result = RunFrontEnd(c.args);
    std::string expected = c.expectedOut;
    if (expected == "<usage>") expected = ExpectedUsage();
    if (expected == "<help>") expected = ExpectedUsage() + CFrontEnd::AddedOptionsText();
    EXPECT_EQ(result.out, expected);
    EXPECT_EQ(result.status, c.expectedStatus);
}

const FrontEndCase kDispatchCases[] = {
    {"NoArguments", {}, "<usage>", 0},
    {"ShortHelp", {"-h"}, "<help>", 0},
    {"LongHelp", {"--help"}, "<help>", 0},
    {"HelpIgnoresTheRest", {"--help", "a.pdf", "b.pdf"}, "<help>", 0},
    {"Version", {"--version"}, kFirstUsageLine, 0},
    {"ModeInOtherCase", {"Text", "a.pdf", "b.pdf"}, "", 2},
    {"ModeInCapitals", {"IMAGE", "a.pdf", "b.pdf", "-jx.jpg"}, "", 2},
    {"ModeLonger", {"texts", "a.pdf", "b.pdf"}, "", 2},
    {"ModeShorter", {"imag", "a.pdf", "b.pdf", "-jx.jpg"}, "", 2},
    {"ModeEmpty", {"", "a.pdf", "b.pdf"}, "", 2},
    {"HelpWordInOtherCase", {"-H"}, "", 2},
    {"VersionShort", {"-v"}, "", 2},
    {"TextAlone", {"text"}, "Error parameter", 1},
    {"TextWithOneFile", {"text", "in.pdf"}, "Error parameter", 1},
    {"TextWithBareWord", {"text", "in.pdf", "out.pdf", "word"}, "Error parameter", 1},
    {"TextWithStringOptionLast", {"text", "in.pdf", "out.pdf", "-font"}, "Error parameter", 1},
    {"ImageAlone", {"image"}, "Error parameter", 1},
    {"ImageWithOnlyFiles", {"image", "in.pdf", "out.pdf"}, "Error parameter", 1},
    {"ImageWithSeparateJpegName", {"image", "in.pdf", "out.pdf", "-j", "logo.jpg"}, "Error parameter", 1},
    {"PagesAlone", {"pages"}, "Error parameter", 1},
    {"PagesWithAnOutputFile", {"pages", "in.pdf", "out.pdf"}, "Error parameter", 1},
    {"PagesInCapitals", {"Pages", "in.pdf"}, "", 2},
};

INSTANTIATE_TEST_SUITE_P(Words, FrontEndDispatchTest, ::testing::ValuesIn(kDispatchCases), CaseName<FrontEndCase>);

// ---------------------------------------------------------------------------
// Runs on real files

class FrontEndFilesTest : public ::testing::Test {
protected:
    TempFolder folder_;
    const std::string input_ = folder_.File("in.pdf");
    const std::string output_ = folder_.File("out.pdf");
};

TEST_F(FrontEndFilesTest, UnknownModeTouchesNoFile) {
    WriteFile(input_, "not a pdf");
    const RunResult result = RunFrontEnd({"Text", input_, output_});
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(ReadFile(input_), "not a pdf");
    EXPECT_EQ(ListFolder(folder_.path()), std::vector<std::string>{"in.pdf"});
}

TEST_F(FrontEndFilesTest, MissingInputCreatesNoOutput) {
    for (const char* mode : {"text", "image"}) {
        SCOPED_TRACE(mode);
        const RunResult result = RunFrontEnd({mode, input_, output_, "-jlogo.jpg"});
        EXPECT_EQ(result.out, "File open error");
        EXPECT_EQ(result.status, 1);
        EXPECT_TRUE(ListFolder(folder_.path()).empty());
    }
}

TEST_F(FrontEndFilesTest, MissingInputLeavesAnExistingOutputUntouched) {
    const std::string before("old output \x00\xff\r\n", 16);
    WriteFile(output_, before);
    for (const char* mode : {"text", "image"}) {
        SCOPED_TRACE(mode);
        const RunResult result = RunFrontEnd({mode, input_, output_, "-jlogo.jpg"});
        EXPECT_EQ(result.out, "File open error");
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(ReadFile(output_), before);
        EXPECT_EQ(ListFolder(folder_.path()), std::vector<std::string>{"out.pdf"});
    }
}

TEST_F(FrontEndFilesTest, ParameterErrorLeavesAnExistingOutputUntouched) {
    WriteFile(input_, OnePagePdf(kLetterPage));
    WriteFile(output_, "keep me");
    const RunResult result = RunFrontEnd({"image", input_, output_});
    EXPECT_EQ(result.out, "Error parameter");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(ReadFile(output_), "keep me");
}

TEST_F(FrontEndFilesTest, FailureAfterOpeningLeavesNoOutputAndOneMessage) {
    WriteFile(input_, OnePagePdf(kLetterPage));
    const RunResult result = RunFrontEnd({"image", input_, output_, "-s2"});
    EXPECT_EQ(result.out, "-j parameter missing");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(ListFolder(folder_.path()), std::vector<std::string>{"in.pdf"});
}

TEST_F(FrontEndFilesTest, FailureAfterOpeningLeavesAnExistingOutputUntouched) {
    WriteFile(input_, OnePagePdf(kLetterPage));
    WriteFile(output_, "keep me");
    const RunResult result = RunFrontEnd({"text", input_, output_, "-font", "NoSuchFont"});
    EXPECT_EQ(result.out, "Unknown font name");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(ReadFile(output_), "keep me");
    std::vector<std::string> names = ListFolder(folder_.path());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"in.pdf", "out.pdf"}));
}

TEST_F(FrontEndFilesTest, SuccessPrintsNothing) {
    WriteFile(input_, OnePagePdf(kLetterPage));
    const RunResult result = RunFrontEnd({"text", input_, output_});
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.status, 0);
    const std::string bytes = ReadFile(output_);
    EXPECT_EQ(bytes.rfind("%PDF-1.4\r%\xE2\xE3\xCF\xD3\r\n", 0), 0u);
    ASSERT_GE(bytes.size(), 5u);
    EXPECT_EQ(bytes.substr(bytes.size() - 5), "%%EOF");
}

TEST_F(FrontEndFilesTest, PagesPrintsTheCountTextModeNumbersAndWritesNothing) {
    WriteFile(input_, OnePagePdf(kLetterPage));
    EXPECT_EQ(RunFrontEnd({"pages", input_, "-ignored"}).out, "1\n");
    const RunResult missing = RunFrontEnd({"pages", output_});
    EXPECT_EQ(missing.out, "File open error");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(ListFolder(folder_.path()), std::vector<std::string>{"in.pdf"});
}

TEST_F(FrontEndFilesTest, InputWithoutHeaderGetsPdf14) {
    WriteFile(input_, OnePagePdf({.header = "", .page = kLetterPage.page}));
    const RunResult result = RunFrontEnd({"text", input_, output_});
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(ReadFile(output_).rfind("%PDF-1.4\r%\xE2\xE3\xCF\xD3\r\n", 0), 0u);
}

// ---------------------------------------------------------------------------
// The program itself: standard output, standard error and the exit status

struct ProgramResult {
    int status = -1;
    std::string out;
    std::string err;
};

ProgramResult RunProgram(const TempFolder& folder, const std::vector<std::string>& args) {
    const std::string outPath = folder.File("stdout.txt");
    const std::string errPath = folder.File("stderr.txt");
    std::vector<std::string> words{BREVANO_EXECUTABLE};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    ProgramResult result;
    const pid_t child = ::fork();
    if (child < 0) return result;
    if (child == 0) {
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0) ::_exit(126);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child) return result;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = ReadFile(outPath);
    result.err = ReadFile(errPath);
    ::unlink(outPath.c_str());
    ::unlink(errPath.c_str());
    return result;
}

TEST(ProgramTest, ExitStatusesAndNothingOnStandardError) {
    TempFolder folder;
    const std::string input = folder.File("in.pdf");
    const std::string output = folder.File("out.pdf");
    WriteFile(input, OnePagePdf(kLetterPage));

    struct Expectation {
        std::vector<std::string> args;
        std::string out;
        int status;
    };
    const std::vector<Expectation> runs = {
        {{}, ExpectedUsage(), 0},
        {{"--help"}, ExpectedUsage() + CFrontEnd::AddedOptionsText(), 0},
        {{"--version"}, kFirstUsageLine, 0},
        {{"Text", input, output}, "", 2},
        {{"text"}, "Error parameter", 1},
        {{"image", input, output}, "Error parameter", 1},
        {{"text", folder.File("missing.pdf"), output}, "File open error", 1},
        {{"text", input, output}, "", 0},
        {{"pages", input}, "1\n", 0},
        {{"pages", folder.File("missing.pdf")}, "File open error", 1},
    };
    for (const Expectation& run : runs) {
        std::string shown;
        for (const std::string& arg : run.args) shown += " " + arg;
        SCOPED_TRACE("Brevano" + shown);
        const ProgramResult result = RunProgram(folder, run.args);
        EXPECT_EQ(result.status, run.status);
        EXPECT_EQ(result.out, run.out);
        EXPECT_EQ(result.err, "");
    }
    EXPECT_TRUE(FileExists(output));
}

}  // namespace
