// Stamps every PDF of the shared corpus and lets qpdf and poppler judge the
// outputs. Skipped when the corpus or the tools are absent; CI has both.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <map>
#include <set>

#include "fonts/FontMetricsTable.h"
#include "pdf/document/CPdfCatalog.h"
#include "pdf/document/CPdfDocument.h"
#include "pdf/object/CPdfArray.h"
#include "pdf/object/CPdfDictionary.h"
#include "pdf/reader/CPdfSecurityHandler.h"
#include "pdf/reader/CPdfXRef.h"
#include "pdf/reader/RawObject.h"
#include "stamp/OptionParser.h"
#include "stamp/Placement.h"
#include "support/CopiedBytes.h"
#include "support/ExternalTools.h"
#include "support/Manifest.h"
#include "support/PdfBuilder.h"
#include "support/StampRunner.h"
#include "support/TestFiles.h"
#include "writer/EncryptedObjectText.h"

namespace {

// Files whose stamp is drawn but cannot be read back by pdftotext, and why.
const std::map<std::string, std::string> kUnreadableStamps = {
    {"pdf/sample-files/imagemagick-images.pdf", "the pages are 3.84 points wide; the stamp lies outside"},
    {"pdf/qpdf-tests/many-nulls.pdf", "its /Count is 0: readers show no page"},
};

// Files that must open although they are marked damaged or odd, or must fail
// although they are not.
const std::map<std::string, std::string> kExpectedFailures = {
    {"pdf/qpdf-tests/pages-loop.pdf", "Page tree contains a loop"},
};

// Files with a page that cannot carry a stamp: the run fails naming it.
const std::map<std::string, std::string> kUnstampablePages = {
    {"pdf/qpdf-tests/direct-pages.pdf",
     "Page 1 cannot be stamped: it is written inside its parent's /Kids, not as an object of its own"},
};

bool MayBeRefused(const ManifestRow& row) {
    for (const char* feature : {"encrypted-rc4", "encrypted-aes", "encrypted-userpw", "damaged"})
        if (row.HasFeature(feature)) return true;
    return false;
}

// Every PDF of the corpus, by its path in the MANIFEST; one placeholder when
// the corpus is absent, so that the tests skip rather than vanish.
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

class CorpusTest {
protected:
    bool Prepare() {
        corpus_ = CorpusFolder();
        if (corpus_.empty()) return false;
        for (const ManifestRow& row : ReadManifest(corpus_))
            if (row["path"].rfind("pdf/", 0) == 0) pdfs_.push_back(row);
        return !pdfs_.empty() && HaveTool("qpdf") && HaveTool("pdftotext") && HaveTool("pdftoppm");
    }

    std::string Path(const ManifestRow& row) const { return corpus_ + "/" + row["path"]; }

    // Stamps; checks that a failure leaves nothing behind and that files that
    // must open do. Returns whether an output was written.
    bool Stamp(const ManifestRow& row, const std::string& mode, const std::vector<std::string>& params,
               const TempFolder& folder) {
        const std::string message = StampFile(mode, Path(row), folder.File("out.pdf"), params);
        const auto expected = kExpectedFailures.find(row["path"]);
        if (message.empty()) {
            EXPECT_TRUE(expected == kExpectedFailures.end()) << row["path"];
            EXPECT_TRUE(FileExists(folder.File("out.pdf")));
            return true;
        }
        EXPECT_TRUE(ListFolder(folder.path()).empty()) << row["path"] << " left files behind";
        const auto unstampable = kUnstampablePages.find(row["path"]);
        if (unstampable != kUnstampablePages.end()) {
            EXPECT_EQ(message, unstampable->second);
        } else if (expected != kExpectedFailures.end()) {
            EXPECT_EQ(message, expected->second);
        } else {
            EXPECT_TRUE(MayBeRefused(row)) << row["path"] << " failed: " << message;
        }
        return false;
    }

    std::string corpus_;
    std::vector<ManifestRow> pdfs_;
};

class CorpusFileTest : public CorpusTest, public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        if (!Prepare()) GTEST_SKIP() << "the shared corpus, qpdf or poppler-utils are not there";
        const auto found =
            std::find_if(pdfs_.begin(), pdfs_.end(), [](const ManifestRow& row) { return row["path"] == GetParam(); });
        ASSERT_NE(found, pdfs_.end());
        row_ = *found;
    }
    ManifestRow row_;
};

TEST_P(CorpusFileTest, TextModeStampsEveryPageReadably) {
    const ManifestRow& row = row_;
    TempFolder folder;
    if (!Stamp(row, "text", {}, folder)) return;
    const std::string out = folder.File("out.pdf");
    const int check = QpdfCheck(out);
    EXPECT_NE(check, 2) << "qpdf finds errors";
    if (row["qpdf_check"] == "ok") {
        EXPECT_EQ(check, 0) << "qpdf warns about the output of a clean input";
    }
    EXPECT_EQ(QpdfPageCount(out), QpdfPageCount(Path(row)));
    if (kUnreadableStamps.count(row["path"]) != 0) return;

    CPdfDocument input;
    input.Open(Path(row));
    const PageList& list = input.catalog().pageList();
    const std::vector<std::string> text = PdfTextByPage(out, true);
    ASSERT_EQ(text.size(), list.pages().size());
    for (size_t i = 0; i < list.pages().size(); ++i) {
        // A page object the tree lists twice shows the stamp of its first place.
        const int32_t first = *list.PositionsOf(list.pages()[i].objectNumber).begin();
        const std::string expected = "Page " + std::to_string(first + 1) + " /";
        EXPECT_NE(text[i].find(expected), std::string::npos) << "page " << i + 1 << ": " << text[i].substr(0, 200);
    }
}

TEST_P(CorpusFileTest, WithoutStampsEveryObjectAndEveryTextIsUnchanged) {
    const ManifestRow& row = row_;
    TempFolder folder;
    if (!Stamp(row, "text", {"-s100000"}, folder)) return;
    const std::string out = folder.File("out.pdf");
    EXPECT_NE(QpdfCheck(out), 2);
    // The input's page draws an object its newest revision deleted; poppler
    // digs the old one out of the input, but it is not in the output.
    if (row["path"] != "pdf/qpdf-tests/incremental-3.pdf") {
        EXPECT_EQ(PdfTextByPage(out), PdfTextByPage(Path(row)));
    }
    CPdfDocument input;
    input.Open(Path(row));
    CPdfDocument output;
    output.Open(out);
    const auto count = static_cast<int32_t>(input.xref().entries().size());
    int32_t differing = 0;
    for (int32_t number = 1; number < count; ++number) {
        const std::optional<std::string> before = CopiedBytes(input.xref(), number);
        if (!before) continue;
        if (const auto location = LocateRawObject(input.xref(), number);
            location && (location->isObjectStream || location->isXRefStream))
            continue;
        std::optional<std::string> after = CopiedBytes(output.xref(), number);
        // An object from an object stream of an encrypted input has its
        // strings encrypted again, with AES under a new IV: compared decrypted.
        CPdfSecurityHandler* security = input.xref().securityHandler();
        if (before != after && after && security != nullptr &&
            input.xref().entries()[static_cast<size_t>(number)].type == XRefEntryType::Compressed) {
            // Both with every string in hex form.
            const std::string plain = EncryptObjectText(
                *after, [&](std::string_view data) { return security->DecryptString(number, 0, data); }, nullptr);
            const std::string expected = EncryptObjectText(
                *before, [](std::string_view data) { return std::string(data); }, nullptr);
            if (plain == expected) after = before;
        }
        if (before != after && ++differing <= 3) ADD_FAILURE() << "object " << number << " differs";
    }
}

TEST_P(CorpusFileTest, ImageModeOutputIsSound) {
    const ManifestRow& row = row_;
    TempFolder folder;
    if (!Stamp(row, "image", {"-j" + corpus_ + "/jpeg/cjpeg-baseline.jpg", "-size100,75", "-opacity35"}, folder))
        return;
    const std::string out = folder.File("out.pdf");
    const int check = QpdfCheck(out);
    EXPECT_NE(check, 2);
    if (row["qpdf_check"] == "ok") {
        EXPECT_EQ(check, 0);
    }
    EXPECT_EQ(QpdfPageCount(out), QpdfPageCount(Path(row)));
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusFileTest, ::testing::ValuesIn(CorpusPdfs()), [](const auto& testInfo) {
    std::string name = testInfo.param;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
});

class CorpusStampTest : public CorpusTest, public ::testing::Test {
protected:
    void SetUp() override {
        if (!Prepare()) GTEST_SKIP() << "the shared corpus, qpdf or poppler-utils are not there";
    }
};

struct NumberingCase {
    std::vector<std::string> params;
    std::vector<std::string> expected;  // per page; empty: no stamp
};

TEST_F(CorpusStampTest, NumberingOptions) {
    const auto row = std::find_if(pdfs_.begin(), pdfs_.end(),
                                  [](const ManifestRow& r) { return r["path"] == "pdf/qpdf-tests/11-pages.pdf"; });
    ASSERT_NE(row, pdfs_.end());
    const std::vector<NumberingCase> cases = {
        {{"-r"}, {"Page 11 / 11", "Page 10 / 11", "Page 9 / 11"}},
        // 11 pages: the first half of the stack is the larger, 6 pages.
        {{"-2up"}, {"Page 1 / 11", "Page 7 / 11", "Page 2 / 11", "Page 8 / 11"}},
        {{"-ab2"}, {"Page 1 / 11", "Page 3 / 11", "Page 5 / 11"}},
        {{"-rom"}, {"Page i / xi", "Page ii / xi", "Page iii / xi"}},
        {{"-ROM", "-one"}, {"Page I", "Page II"}},
        {{"-m3"}, {"Page 001 / 011", "Page 002 / 011"}},
        {{"-s3", "-e5"}, {"", "", "Page 1 / 11", "Page 2 / 11", "Page 3 / 11", ""}},
        {{"-n2", "-seq"}, {"Page 1 / 11", "", "Page 2 / 11", "", "Page 3 / 11"}},
        {{"-prefix", "ABC-", "-one", "-m6", "-ns41"}, {"ABC-000041", "ABC-000042"}},
    };
    for (const NumberingCase& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.params));
        TempFolder folder;
        ASSERT_TRUE(Stamp(*row, "text", c.params, folder));
        const std::vector<std::string> text = PdfTextByPage(folder.File("out.pdf"));
        for (size_t i = 0; i < c.expected.size(); ++i) {
            if (c.expected[i].empty()) {
                EXPECT_EQ(text[i].find(" / 11"), std::string::npos) << "page " << i + 1 << ": " << text[i];
            } else {
                EXPECT_NE(text[i].find(c.expected[i]), std::string::npos) << "page " << i + 1 << ": " << text[i];
            }
        }
    }
}

// Where a point of the page's own space lands in the page as rendered and viewed.
std::pair<double, double> Viewed(const std::array<float, 4>& box, int rotate, double x, double y) {
    switch (((rotate % 360) + 360) % 360) {
        case 90:
            return {y - box[1], x - box[0]};
        case 180:
            return {box[2] - x, y - box[1]};
        case 270:
            return {box[3] - y, box[2] - x};
        default:
            return {x - box[0], box[3] - y};
    }
}

// The value of `key` on the page or its nearest ancestor.
CPdfObject Inherited(CPdfXRef& xref, int32_t pageNumber, const char* key) {
    CPdfObject node = xref.Fetch(pageNumber, xref.GenerationOf(pageNumber));
    for (int depth = 0; depth < 32 && node.is(pdfDictionary); ++depth) {
        const CPdfObject value = node.getDict().lookup(key);
        if (!value.is(pdfNull)) return value;
        node = node.getDict().lookup("Parent");
    }
    return CPdfObject::Null();
}

int ViewerRotation(CPdfXRef& xref, int32_t pageNumber) {
    const CPdfObject rotate = Inherited(xref, pageNumber, "Rotate");
    return rotate.is(pdfInteger) ? rotate.getInt() : 0;
}

// Bounding boxes (xMin, yMin, xMax, yMax) of the words "Page" on page `page`,
// measured by pdftotext from the media box's upper left corner.
std::vector<std::array<double, 4>> StampWords(const std::string& pdf, size_t page) {
    const std::string number = std::to_string(page);
    const std::string out =
        RunTool("pdftotext -bbox -f " + number + " -l " + number + " " + ShellQuote(pdf) + " -").out;
    std::vector<std::array<double, 4>> words;
    for (size_t at = 0; (at = out.find("<word ", at)) != std::string::npos; ++at) {
        if (out.compare(out.find('>', at), 10, ">Page</wor") != 0) continue;
        std::array<double, 4> box{};
        for (size_t k = 0; k < 4; ++k) {
            static const char* const kNames[] = {"xMin=\"", "yMin=\"", "xMax=\"", "yMax=\""};
            box[k] = std::atof(out.c_str() + out.find(kNames[k], at) + 6);
        }
        words.push_back(box);
    }
    return words;
}

// On every page of `input` (up to 60 spread over the document) without
// /Rotate, or with a quarter turn when `forced` (-force), a stamp's first
// word stands upright in `stamped` at 20 points from the left and each of
// `heights` from the bottom of the crop box as the page is viewed.
void ExpectUprightStamps(const std::string& input, const std::string& stamped, const std::vector<double>& heights,
                         bool forced = false, const std::vector<std::string>& openParams = {}) {
    CPdfDocument document;
    document.Open(input, "", std::find(openParams.begin(), openParams.end(), "-repair") != openParams.end());
    const PageList& list = document.catalog().pageList();
    std::set<int32_t> seen;
    for (size_t i = 0; i < list.pages().size(); i += (list.pages().size() + 59) / 60) {
        const PageEntry& page = list.pages()[i];
        // -force turns the placement by the quarter turns 90, 180 and 270 as
        // written; other values (-90, 360) it leaves as they are.
        const int stored = ViewerRotation(document.xref(), page.objectNumber);
        const int rotate = ((stored % 360) + 360) % 360;
        if (page.objectNumber == 0 || !seen.insert(page.objectNumber).second || (rotate != 0 && !forced) ||
            (forced && stored != rotate) || rotate % 90 != 0)
            continue;
        std::array<float, 4> media{0, 0, 612, 792};
        const CPdfObject box = Inherited(document.xref(), page.objectNumber, "MediaBox");
        for (size_t k = 0; box.is(pdfArray) && k < 4 && k < box.getArray().getLength(); ++k)
            if (box.getArray().get(k).isNumber()) media[k] = static_cast<float>(box.getArray().get(k).getNumber());
        media = {std::min(media[0], media[2]), std::min(media[1], media[3]), std::max(media[0], media[2]),
                 std::max(media[1], media[3])};
        // The crop box's viewed left edge and bottom, from the viewed media box's upper left corner.
        const auto [x1, y1] = Viewed(media, rotate, std::trunc(page.cropBox[0]), std::trunc(page.cropBox[1]));
        const auto [x2, y2] = Viewed(media, rotate, std::trunc(page.cropBox[2]), std::trunc(page.cropBox[3]));
        const double x = std::min(x1, x2) + 20;
        const auto words = StampWords(stamped, i + 1);
        for (const double height : heights) {
            const double baseline = std::max(y1, y2) - height;
            // 11 points upright: wider than tall, the box's bottom a descent below the baseline.
            EXPECT_TRUE(std::any_of(words.begin(), words.end(),
                                    [&](const std::array<double, 4>& w) {
                                        return std::abs(w[0] - x) <= 4 && w[3] > baseline && w[3] - baseline <= 5 &&
                                               w[3] - w[1] > 8 && w[3] - w[1] < 16 && w[2] - w[0] > w[3] - w[1];
                                    }))
                << stamped << " page " << i + 1 << ": no upright \"Page\" at " << x << "," << baseline;
        }
    }
}

TEST_P(CorpusFileTest, TextStampIsUprightWhereAsked) {
    if (kUnreadableStamps.count(GetParam()) != 0) GTEST_SKIP() << "no stamp to find: see kUnreadableStamps";
    TempFolder folder;
    if (!Stamp(row_, "text", {}, folder)) return;
    ExpectUprightStamps(Path(row_), folder.File("out.pdf"), {10});
    // With -force, pages turned by their own /Rotate or a parent's too.
    if (!row_.HasFeature("rotate-90") && !row_.HasFeature("rotate-180") && !row_.HasFeature("rotate-270")) return;
    ASSERT_EQ(StampFile("text", Path(row_), folder.File("forced.pdf"), {"-force"}), "");
    ExpectUprightStamps(Path(row_), folder.File("forced.pdf"), {10}, true);
}

// The input's bytes stay a prefix, then a second update stacks on the first;
// both outputs check, and every page shows both stamps, each upright where
// asked (pages whose content leaves the state changed are wrapped in the first).
TEST_P(CorpusFileTest, IncrementalUpdatesStack) {
    const ManifestRow& row = row_;
    TempFolder folder;
    if (!Stamp(row, "text", {}, folder)) return;
    const std::string once = folder.File("once.pdf");
    const std::string twice = folder.File("twice.pdf");
    const std::string message = StampFile("text", Path(row), once, {"-incremental"});
    if (row.HasFeature("damaged") && !message.empty()) {
        EXPECT_EQ(message.find("The input's cross-reference is damaged"), 0u) << message;
        EXPECT_FALSE(FileExists(once));
        return;
    }
    ASSERT_EQ(message, "");
    ASSERT_EQ(StampFile("text", once, twice, {"-incremental", "-pos20,30"}, 456), "");
    const std::string input = ReadFile(Path(row));
    const std::string first = ReadFile(once);
    EXPECT_EQ(first.compare(0, input.size(), input), 0) << "the input's bytes are not a prefix";
    EXPECT_EQ(ReadFile(twice).compare(0, first.size(), first), 0) << "the first update is not a prefix";
    for (const std::string& out : {once, twice}) {
        const int check = QpdfCheck(out);
        EXPECT_NE(check, 2) << out;
        if (row["qpdf_check"] == "ok") {
            EXPECT_EQ(check, 0) << out;
        }
    }
    if (kUnreadableStamps.count(row["path"]) != 0) return;
    CPdfDocument document;
    document.Open(Path(row));
    const PageList& list = document.catalog().pageList();
    const std::vector<std::string> text = PdfTextByPage(twice, true);
    for (size_t i = 0; i < list.pages().size() && i < text.size(); ++i) {
        const int32_t number = list.pages()[i].objectNumber;
        if (number == 0 || *list.PositionsOf(number).begin() != static_cast<int32_t>(i)) continue;
        const std::string expected = "Page " + std::to_string(i + 1) + " /";
        const size_t at = text[i].find(expected);
        EXPECT_TRUE(at != std::string::npos && text[i].find(expected, at + 1) != std::string::npos)
            << "page " << i + 1 << ": " << text[i].substr(0, 200);
    }
    ExpectUprightStamps(Path(row), twice, {10, 30});
}

struct RenderCase {
    std::string file;
    int page;  // from 1
    std::string mode;
    std::vector<std::string> params;
};

TEST_F(CorpusStampTest, RenderedStampLiesWherePlacementSaysIt) {
    const std::string jpeg = corpus_ + "/jpeg/cjpeg-baseline.jpg";
    const std::vector<RenderCase> cases = {
        {"pdf/sample-files/crazyones-pdfa.pdf", 1, "text", {}},
        {"pdf/sample-files/crazyones-pdfa.pdf", 1, "text", {"-flipv"}},
        {"pdf/sample-files/crazyones-pdfa.pdf", 1, "text", {"-fliph", "-align", "right"}},
        {"pdf/sample-files/crazyones-pdfa.pdf", 1, "text", {"-pos-1,-1", "-align", "center"}},
        {"pdf/qpdf-tests/rotated.pdf", 2, "text", {}},
        {"pdf/qpdf-tests/rotated.pdf", 2, "text", {"-force"}},
        {"pdf/qpdf-tests/rotated.pdf", 3, "text", {"-force", "-flipv"}},
        {"pdf/qpdf-tests/rotated.pdf", 4, "text", {"-force", "-fliph"}},
        {"pdf/generated/gs-pdfwrite-1.3.pdf", 2, "text", {"-force", "-pos-1,-1"}},
        {"pdf/generated/pikepdf-inherited-cropbox-objstm.pdf", 1, "text", {}},
        {"pdf/generated/pikepdf-inherited-cropbox-objstm.pdf", 2, "text", {"-force"}},
        {"pdf/generated/pikepdf-nested-inherited-boxes.pdf", 6, "image", {"-j" + jpeg, "-size100,75", "-force"}},
        {"pdf/sample-files/crazyones-pdfa.pdf", 1, "image", {"-j" + jpeg, "-size100,75"}},
        {"pdf/sample-files/crazyones-pdfa.pdf", 1, "image", {"-j" + jpeg, "-size100,75", "-opacity35", "-pos-1,20"}},
        {"pdf/qpdf-tests/rotated.pdf", 2, "image", {"-j" + jpeg, "-size100,75", "-force"}},
        {"pdf/qpdf-tests/rotated.pdf", 3, "image", {"-j" + jpeg, "-size100,75", "-force", "-fliph"}},
    };
    BuildFontMetricsTable();
    for (const RenderCase& c : cases) {
        SCOPED_TRACE(c.file + " page " + std::to_string(c.page) + " " + c.mode + " " +
                     ::testing::PrintToString(c.params));
        const std::string input = corpus_ + "/" + c.file;
        TempFolder folder;
        ASSERT_EQ(StampFile(c.mode, input, folder.File("out.pdf"), c.params), "");
        const auto before = RenderPage(input, c.page, folder.path());
        const auto after = RenderPage(folder.File("out.pdf"), c.page, folder.path());
        ASSERT_TRUE(before && after);
        const PixelBox changed = DifferenceBox(*before, *after);
        ASSERT_FALSE(changed.empty()) << "no stamp to be seen";

        // Where the stamp's reference point should be.
        CPdfDocument document;
        document.Open(input);
        const PageList& list = document.catalog().pageList();
        const PageEntry& page = list.pages()[static_cast<size_t>(c.page - 1)];
        StampOptions options;
        ImageStampOptions imageOptions;
        TextStampOptions textOptions;
        for (size_t i = 0; i < c.params.size(); ++i) {
            const std::string& p = c.params[i];
            StampOptions& o = c.mode == "text" ? static_cast<StampOptions&>(textOptions) : imageOptions;
            if (p == "-flipv") o.flipVertical = true;
            if (p == "-fliph") o.flipHorizontal = true;
            if (p == "-force") o.forcePortrait = true;
            if (p == "-align") o.align = AlignmentOf(c.params[i + 1]);
            if (p.rfind("-pos", 0) == 0) std::sscanf(p.c_str(), "-pos%d,%d", &o.posX, &o.posY);
            if (p.rfind("-size", 0) == 0)
                std::sscanf(p.c_str(), "-size%d,%d", &imageOptions.imageWidth, &imageOptions.imageHeight);
        }
        StampPlacement placement =
            CalcPlacement(page.cropBox, ViewerRotation(document.xref(), page.objectNumber),
                          c.mode == "text" ? static_cast<StampOptions&>(textOptions) : imageOptions);
        const std::string text = "Page " + std::to_string(c.page) + " / " + std::to_string(list.pageCount());
        const float width = c.mode == "text" ? AlignmentWidth(TextWidth("Arial", text), 11)
                                             : static_cast<float>(imageOptions.imageWidth);
        AlignPlacement(placement, c.mode == "text" ? textOptions.align : imageOptions.align, width);
        const auto [vx, vy] =
            Viewed(page.cropBox, ViewerRotation(document.xref(), page.objectNumber), placement.x, placement.y);
        // The reference point is a corner of what was drawn: it lies on the
        // changed area's border, give or take the glyphs' side bearings.
        const int slack = 4;
        EXPECT_GE(vx, changed.left - slack);
        EXPECT_LE(vx, changed.right + 1 + slack);
        EXPECT_GE(vy, changed.top - slack);
        EXPECT_LE(vy, changed.bottom + 1 + slack);
        const bool onVerticalEdge = std::abs(vx - changed.left) <= slack || std::abs(vx - changed.right - 1) <= slack;
        const bool onHorizontalEdge = std::abs(vy - changed.top) <= slack || std::abs(vy - changed.bottom - 1) <= slack;
        EXPECT_TRUE(onVerticalEdge || onHorizontalEdge)
            << "point " << vx << "," << vy << " box " << changed.left << "," << changed.top << " - " << changed.right
            << "," << changed.bottom;
        if (c.mode == "image" && !imageOptions.forcePortrait) {
            // The picture covers its drawn size.
            const int w = changed.right - changed.left + 1;
            const int h = changed.bottom - changed.top + 1;
            EXPECT_NEAR(std::max(w, h), 100, 3);
            EXPECT_NEAR(std::min(w, h), 75, 3);
        }
    }
}

// With -repair every damaged file that qpdf can rewrite is stamped, the stamp
// on every page and the output checked clean (or no less clean than qpdf's
// own rewrite, when the damage is in an object's data); every damaged file is
// stamped with an output qpdf accepts, or fails with the message it fails
// with without -repair and leaves nothing. A page tree that loops is listed
// once per page.
TEST_F(CorpusStampTest, RepairStampsTheDamagedFiles) {
    int stamped = 0;
    int failed = 0;
    int rewritable = 0;
    for (const ManifestRow& row : pdfs_) {
        if (!row.HasFeature("damaged") && row["path"] != "pdf/qpdf-tests/pages-loop.pdf") continue;
        SCOPED_TRACE(row["path"]);
        TempFolder folder;
        const std::string out = folder.File("out.pdf");
        const int qpdf = RunTool("qpdf " + ShellQuote(Path(row)) + " " + ShellQuote(folder.File("qpdf.pdf"))).status;
        const bool qpdfRewrites = qpdf == 0 || qpdf == 3;
        rewritable += qpdfRewrites ? 1 : 0;
        const std::string message = StampFile("text", Path(row), out, {"-repair"});
        if (!message.empty()) {
            ++failed;
            EXPECT_FALSE(qpdfRewrites) << message;
            EXPECT_EQ(message, StampFile("text", Path(row), out, {}));
            EXPECT_FALSE(FileExists(out));
            continue;
        }
        ++stamped;
        const int check = QpdfCheck(out);
        if (row["path"] == "pdf/qpdf-tests/pages-loop.pdf") {
            EXPECT_EQ(RunTool("Brevano_pages=$(" + ShellQuote(BREVANO_EXECUTABLE) + " pages " + ShellQuote(Path(row)) +
                              " -repair) && test \"$Brevano_pages\" = 1")
                          .status,
                      0);
        } else {
            EXPECT_NE(check, 2);
        }
        if (!qpdfRewrites) continue;
        EXPECT_TRUE(check == 0 || check == QpdfCheck(folder.File("qpdf.pdf"))) << "qpdf --check " << check;
        const std::vector<std::string> pages = PdfTextByPage(out);
        EXPECT_EQ(static_cast<int>(pages.size()), QpdfPageCount(folder.File("qpdf.pdf")).value_or(-1));
        for (size_t i = 0; i < pages.size(); ++i)
            EXPECT_NE(pages[i].find("Page " + std::to_string(i + 1) + " /"), std::string::npos) << "page " << i + 1;
        ExpectUprightStamps(Path(row), out, {10}, false, {"-repair"});
    }
    std::printf("Damaged corpus files with -repair: %d stamped, %d failed; qpdf rewrites %d\n", stamped, failed,
                rewritable);
    EXPECT_GE(rewritable, 10);
}

// Signed inputs are stamped as updates with or without -incremental, and
// their signatures stay valid; -break-signatures rewrites them, as asked.
TEST_F(CorpusStampTest, SignaturesStayValidUnlessBrokenOnPurpose) {
    TempFolder folder;
    std::vector<std::string> inputs = {corpus_ + "/pdf/qpdf-tests/digitally-signed.pdf"};
    if (SignPdf(std::string(BREVANO_SOURCE_DIR) + "/samples/sample.pdf", folder.File("signed.pdf"),
                folder.File("signing")))
        inputs.push_back(folder.File("signed.pdf"));
    for (const std::string& input : inputs) {
        for (const std::vector<std::string>& params :
             {std::vector<std::string>{"-incremental"}, {}, {"-break-signatures"}}) {
            SCOPED_TRACE(input + " " + ::testing::PrintToString(params));
            ASSERT_EQ(StampFile("text", input, folder.File("out.pdf"), params), "");
            const std::string report = RunTool("pdfsig " + ShellQuote(folder.File("out.pdf"))).out;
            if (params.empty() || params[0] == "-incremental") {
                EXPECT_NE(report.find("Signature Validation: Signature is Valid."), std::string::npos) << report;
                EXPECT_NE(report.find("Not total document signed"), std::string::npos) << report;
            } else {
                EXPECT_NE(report.find("Signature Validation: Digest Mismatch."), std::string::npos) << report;
            }
            EXPECT_NE(PdfTextByPage(folder.File("out.pdf"))[0].find("Page 1 /"), std::string::npos);
        }
    }
    EXPECT_EQ(inputs.size(), 2u) << "no signed file could be made: openssl, libnss3-tools or pdfsig is missing";
}

}  // namespace

namespace {

// Every corpus JPEG is embedded with its size and colour space, or refused
// when its size cannot be found.
TEST(CorpusJpegTest, EmbeddedWithSizeAndColourSpaceOrRefused) {
    const std::string corpus = CorpusFolder();
    if (corpus.empty()) GTEST_SKIP() << "the shared corpus is not there";
    const std::string input =
        OnePagePdf({.page = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << >> >>"});
    int embedded = 0;
    int refused = 0;
    for (const ManifestRow& row : ReadManifest(corpus)) {
        if (row["path"].rfind("jpeg/", 0) != 0) continue;
        SCOPED_TRACE(row["path"]);
        const std::string jpeg = ReadFile(corpus + "/" + row["path"]);
        const StampResult result = RunImageStamp(input, jpeg, {});
        if (row.HasFeature("not-jpeg") && jpeg.rfind("\x89PNG\r\n\x1A\n", 0) == 0) {
            // A PNG named .jpg: the signature decides, so it is embedded as a PNG.
            ASSERT_EQ(result.message, "");
            EXPECT_NE(result.output->find("/Filter/FlateDecode"), std::string::npos);
            ++embedded;
            continue;
        }
        if (row.HasFeature("jpeg-no-size")) {
            EXPECT_EQ(result.message, "Image file format error");
            EXPECT_FALSE(result.output.has_value());
            ++refused;
            continue;
        }
        ASSERT_EQ(result.message, "");
        ++embedded;
        const std::string size = row["pages"];  // WIDTHxHEIGHT
        const std::string width = size.substr(0, size.find('x'));
        const std::string height = size.substr(size.find('x') + 1);
        std::string colour = "/ColorSpace/DeviceRGB\n";
        if (row.HasFeature("jpeg-gray")) colour = "/ColorSpace/DeviceGray\n";
        if (row.HasFeature("jpeg-cmyk")) {
            colour = row.HasFeature("jpeg-adobe") ? "/ColorSpace/DeviceCMYK/Decode[1 0 1 0 1 0 1 0]\n"
                                                  : "/ColorSpace/DeviceCMYK\n";
        }
        const std::string header = "<</Subtype/Image\n/Length " + std::to_string(jpeg.size()) +
                                   "\n/Filter/DCTDecode\n/Name/X\n/BitsPerComponent 8" + colour + "/Width " + width +
                                   " /Height " + height + "\n/Type/XObject>>stream\n";
        const size_t at = result.output->find(header);
        ASSERT_NE(at, std::string::npos);
        EXPECT_EQ(result.output->substr(at + header.size(), jpeg.size() + 18), jpeg + "\nendstream\nendobj\n");
        EXPECT_NE(result.output->find(width + " 0 0 " + height + " 0 0 cm"), std::string::npos);
    }
    EXPECT_EQ(embedded + refused, 18);
    std::printf("JPEG files: %d embedded, %d refused\n", embedded, refused);
}

}  // namespace
