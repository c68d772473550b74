// Stamps every corpus PDF that opens and finds the stamp's first word upright
// where the default options put it, 20 points right of and 10 points above
// the page box's lower left corner, on every page without /Rotate (at most
// kPagesPerFile of them per file, spread over the document).
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>

#include "pdf/document/PageList.h"
#include "pdf/object/CPdfArray.h"
#include "pdf/object/CPdfDictionary.h"
#include "pdf/reader/CPdfDocument.h"
#include "pdf/reader/CPdfXRef.h"
#include "support/ExternalTools.h"
#include "support/Manifest.h"
#include "support/StampRunner.h"
#include "support/TestFiles.h"

namespace {

constexpr size_t kPagesPerFile = 60;

// Pages whose stamp is drawn but not where pdftotext can find it, and why.
const std::map<std::string, std::string> kNotFound = {
    {"pdf/sample-files/imagemagick-images.pdf", "the pages are 3.84 points wide; the stamp lies outside"},
    {"pdf/qpdf-tests/incremental-3.pdf", "the page's /Contents names a deleted object"},
    {"pdf/qpdf-tests/bad-xref-entry.pdf", "poppler rebuilds the damaged table and loses the stamp's stream"},
};

struct Word {
    double xMin, yMin, xMax, yMax;
};

// The words "Page" of each page of pdftotext -bbox output.
std::vector<std::vector<Word>> StampWords(const std::string& pdf, int first, int last) {
    const ToolResult result = RunTool("pdftotext -bbox -f " + std::to_string(first) + " -l " + std::to_string(last) +
                                      " " + ShellQuote(pdf) + " -");
    std::vector<std::vector<Word>> pages;
    for (size_t at = 0; (at = result.out.find('<', at)) != std::string::npos; ++at) {
        if (result.out.compare(at, 6, "<page ") == 0) pages.emplace_back();
        if (result.out.compare(at, 6, "<word ") != 0 || pages.empty()) continue;
        const size_t end = result.out.find("</word>", at);
        const size_t text = result.out.find('>', at) + 1;
        if (end == std::string::npos || result.out.compare(text, end - text, "Page") != 0) continue;
        const auto value = [&](const char* name) {
            return std::atof(result.out.c_str() + result.out.find(name, at) + std::strlen(name));
        };
        pages.back().push_back(Word{value("xMin=\""), value("yMin=\""), value("xMax=\""), value("yMax=\"")});
    }
    return pages;
}

// The value of `key` on the page or its nearest ancestor.
CPdfObject Inherited(CPdfXRef& xref, int32_t page, const char* key) {
    CPdfObject node = xref.Fetch(page, xref.GenerationOf(page));
    for (int depth = 0; depth < 32 && node.is(pdfDictionary); ++depth) {
        const CPdfObject value = node.getDict().lookup(key);
        if (!value.is(pdfNull)) return value;
        node = node.getDict().lookup("Parent");
    }
    return CPdfObject::Null();
}

std::vector<std::string> CorpusPdfs() {
    std::vector<std::string> paths;
    const std::string corpus = CorpusFolder();
    if (!corpus.empty()) {
        for (const ManifestRow& row : ReadManifest(corpus))
            if (row["path"].rfind("pdf/", 0) == 0) paths.push_back(row["path"]);
    }
    if (paths.empty()) paths.push_back("absent");
    return paths;
}

class CorpusPlacementTest : public ::testing::TestWithParam<std::string> {};

TEST_P(CorpusPlacementTest, StampIsUprightAtItsPlaceOnEveryPage) {
    const std::string corpus = CorpusFolder();
    if (corpus.empty() || !HaveTool("pdftotext")) GTEST_SKIP() << "the shared corpus or poppler-utils are not there";
    if (kNotFound.count(GetParam()) != 0) GTEST_SKIP() << kNotFound.at(GetParam());
    const std::string input = corpus + "/" + GetParam();
    TempFolder folder;
    const std::string out = folder.File("out.pdf");
    if (!StampFile("text", input, out, {}).empty()) return;  // refused: the other corpus tests judge that

    CPdfDocument document;
    document.Open(input);
    CPdfXRef& xref = document.xref();
    const PageList list = BuildPageList(xref);
    const size_t count = list.pages.size();
    const size_t step = count <= kPagesPerFile ? 1 : (count + kPagesPerFile - 1) / kPagesPerFile;
    const auto all = count <= kPagesPerFile ? StampWords(out, 1, static_cast<int>(count))
                                            : std::vector<std::vector<Word>>{};
    std::set<int32_t> seen;
    int checked = 0;
    for (size_t i = 0; i < count; i += step) {
        const PageEntry& page = list.pages[i];
        if (page.objectNumber == 0 || !seen.insert(page.objectNumber).second) continue;
        const CPdfObject rotate = Inherited(xref, page.objectNumber, "Rotate");
        if (rotate.isNumber() && rotate.getNumber() != 0) continue;
        // pdftotext measures from the media box's upper left corner.
        std::array<double, 4> media{0, 0, 612, 792};
        const CPdfObject box = Inherited(xref, page.objectNumber, "MediaBox");
        if (box.is(pdfArray) && box.getArray().getLength() == 4) {
            for (size_t k = 0; k < 4; ++k)
                if (box.getArray().get(k).isNumber()) media[k] = box.getArray().get(k).getNumber();
        }
        const double x = std::trunc(page.cropBox[0]) + 20 - std::min(media[0], media[2]);
        const double baseline = std::max(media[1], media[3]) - (std::trunc(page.cropBox[1]) + 10);
        const std::vector<Word> words =
            count <= kPagesPerFile ? (i < all.size() ? all[i] : std::vector<Word>{})
                                   : StampWords(out, static_cast<int>(i + 1), static_cast<int>(i + 1)).at(0);
        ++checked;
        const bool found = std::any_of(words.begin(), words.end(), [&](const Word& w) {
            // Upright at 11 points: wider than tall, about a line high, the
            // baseline a descent above the box's bottom.
            return std::abs(w.xMin - x) <= 4 && w.yMax > baseline && w.yMax - baseline <= 5 &&
                   w.yMax - w.yMin > 8 && w.yMax - w.yMin < 16 && w.xMax - w.xMin > w.yMax - w.yMin;
        });
        EXPECT_TRUE(found) << "page " << i + 1 << ": no upright \"Page\" at " << x << "," << baseline << " ("
                           << words.size() << " elsewhere)";
    }
    RecordProperty("checked", checked);
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusPlacementTest, ::testing::ValuesIn(CorpusPdfs()), [](const auto& testInfo) {
    std::string name = testInfo.param;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
});

}  // namespace
