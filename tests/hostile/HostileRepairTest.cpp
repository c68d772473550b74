// Copies of small real files cut short, or with the objects from some point
// on shifted by a line inserted before one, stamped with -repair beside what
// qpdf makes of them: every copy that qpdf can rewrite is stamped, with the
// stamp on every page and an output that qpdf checks clean (or no less clean
// than its own rewrite); every other copy is stamped with an output qpdf
// accepts, or fails and leaves no output. The counts are printed.

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <string>

#include "support/ExternalTools.h"
#include "support/StampRunner.h"
#include "support/TestFiles.h"

namespace {

enum class Fault { kCut, kShift };

constexpr int kCopies = 50;

struct RepairCase {
    const char* file;  // in tests/data/hostile
    Fault fault;
};

// Copy `step` of `kCopies`: cut after step/kCopies of the bytes, or with a
// comment line inserted before the first object header from there on.
std::string Damaged(const std::string& original, Fault fault, int step) {
    const size_t at = original.size() * static_cast<size_t>(step) / kCopies;
    if (fault == Fault::kCut) return original.substr(0, at);
    const size_t header = original.find(" 0 obj", at);
    const size_t line = header == std::string::npos ? std::string::npos : original.rfind('\n', header);
    if (line == std::string::npos) return original + "\n% shifted by " + std::to_string(step) + "\n";
    return original.substr(0, line + 1) + "% shifted by " + std::to_string(step) + "\n" + original.substr(line + 1);
}

int QpdfRewrite(const std::string& input, const std::string& output) {
    return RunTool("qpdf " + ShellQuote(input) + " " + ShellQuote(output)).status;
}

class HostileRepairTest : public ::testing::TestWithParam<RepairCase> {};

TEST_P(HostileRepairTest, WhatQpdfRewritesIsStampedOnEveryPage) {
    if (!HaveTool("qpdf") || !HaveTool("pdftotext")) GTEST_SKIP() << "qpdf or poppler-utils is not installed";
    const std::string original = ReadFile(std::string(BREVANO_TEST_DATA_DIR) + "/hostile/" + GetParam().file);
    int stamped = 0;
    int rewritten = 0;
    for (int step = 0; step < kCopies; ++step) {
        SCOPED_TRACE("copy " + std::to_string(step));
        TempFolder folder;
        const std::string in = folder.File("in.pdf");
        const std::string out = folder.File("out.pdf");
        WriteFile(in, Damaged(original, GetParam().fault, step));
        const int qpdf = QpdfRewrite(in, folder.File("qpdf.pdf"));
        const bool qpdfRewrites = qpdf == 0 || qpdf == 3;
        rewritten += qpdfRewrites ? 1 : 0;
        const std::string message = StampFile("text", in, out, {"-repair"});
        if (!message.empty()) {
            EXPECT_FALSE(qpdfRewrites) << "qpdf rewrites it; -repair fails with " << message;
            EXPECT_FALSE(FileExists(out));
            continue;
        }
        ++stamped;
        const int check = QpdfCheck(out);
        EXPECT_NE(check, 2);
        if (!qpdfRewrites) continue;
        EXPECT_TRUE(check == 0 || check == QpdfCheck(folder.File("qpdf.pdf"))) << "qpdf --check " << check;
        const std::vector<std::string> pages = PdfTextByPage(out);
        for (size_t i = 0; i < pages.size(); ++i)
            EXPECT_NE(pages[i].find("Page " + std::to_string(i + 1) + " /"), std::string::npos) << "page " << i + 1;
    }
    std::printf("%s %s: %d of %d copies stamped with -repair; qpdf rewrites %d\n", GetParam().file,
                GetParam().fault == Fault::kCut ? "cut" : "shifted", stamped, kCopies, rewritten);
}

const RepairCase kCases[] = {
    {"11-pages.pdf", Fault::kCut},          {"11-pages.pdf", Fault::kShift},
    {"minimal-document.pdf", Fault::kCut},  {"minimal-document.pdf", Fault::kShift},
    {"hybrid-xref.pdf", Fault::kCut},       {"hybrid-xref.pdf", Fault::kShift},
    {"reuse-xref-stream.pdf", Fault::kCut}, {"reuse-xref-stream.pdf", Fault::kShift},
};

INSTANTIATE_TEST_SUITE_P(Hostile, HostileRepairTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<RepairCase>& param) {
                             std::string name;
                             for (const char* c = param.param.file; *c != '\0' && *c != '.'; ++c)
                                 name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
                             return name + (param.param.fault == Fault::kCut ? "_Cut" : "_Shifted");
                         });

}  // namespace
