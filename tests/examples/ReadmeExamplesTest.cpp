// The worked examples of README.md, run as a user pastes them: each ```sh
// block under "## Worked examples" goes to bash in a folder holding the files
// the examples name, with the built Brevano first on the PATH; then what the
// README says the example does is checked with pdftotext and by rendering.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/ExternalTools.h"
#include "support/PdfBuilder.h"
#include "support/PngMaker.h"
#include "support/TestFiles.h"

namespace {

namespace fs = std::filesystem;

// The examples: heading -> the sh blocks under it.
std::map<std::string, std::vector<std::string>> ReadmeExamples() {
    std::map<std::string, std::vector<std::string>> examples;
    std::istringstream in(ReadFile(std::string(BREVANO_SOURCE_DIR) + "/README.md"));
    std::string line;
    std::string heading;
    bool inSection = false;
    while (std::getline(in, line)) {
        if (line.rfind("## ", 0) == 0) {
            inSection = line == "## Worked examples";
        } else if (inSection && line.rfind("### ", 0) == 0) {
            heading = line.substr(4);
        } else if (inSection && line == "```sh" && !heading.empty()) {
            std::string& block = examples[heading].emplace_back();
            while (std::getline(in, line) && line != "```") block += line + "\n";
        }
    }
    return examples;
}

const char* const kBottomRight = "Page numbers in the bottom-right corner";
const char* const kPlacements = "Top centre, top right, or only the last page";
const char* const kBates = "Bates numbers across a folder of files, in order";
const char* const kImposition = "2-up and A/B 2-up numbering for imposition";
const char* const kLogo = "A logo at 35% opacity in the top-right corner";
const char* const kParallel = "Many files in parallel";
const char* const kGreek = "Page numbers in Greek";
const char* const kProduction = "Numbering a whole production";
const char* const kPngLogo = "A transparent PNG logo centred at the foot of every page";

// A 300 × 150 logo: a black bar over its middle half, transparent around it.
std::string PngLogo() {
    PngRecipe recipe;
    recipe.width = 300;
    recipe.height = 150;
    recipe.pixel = [](uint32_t x, uint32_t y) -> std::vector<uint16_t> {
        const bool bar = x >= 75 && x < 225 && y >= 38 && y < 112;
        return {0, 0, 0, static_cast<uint16_t>(bar ? 255 : 0)};
    };
    return MakePng(recipe);
}
const char* const kSigned = "Numbering a signed document without breaking its signature";

// The folder of files that the examples name, in name order with their page counts.
const std::vector<std::pair<std::string, int>> kIncoming = {
    {"01-contract.pdf", 3}, {"02-invoice.pdf", 2}, {"03-letter.pdf", 1}, {"04-annex.pdf", 4}};

class ReadmeExamplesTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveTool("pdftotext") || !HaveTool("pdftoppm")) GTEST_SKIP() << "poppler-utils is not installed";
        fs::create_directories(work_);
        fs::create_directories(folder_.File("bin"));
        fs::create_symlink(fs::absolute(BREVANO_EXECUTABLE), folder_.File("bin/Brevano"));
        fs::copy_file(std::string(BREVANO_SOURCE_DIR) + "/samples/sample.pdf", File("report.pdf"));
        fs::copy_file(std::string(BREVANO_TEST_DATA_DIR) + "/picture-640x480.jpg", File("logo.jpg"));
        WriteFile(File("logo.png"), PngLogo());
        WriteFile(File("booklet.pdf"), BlankLetterPages(8));
        fs::create_directories(File("incoming"));
        for (const auto& [name, pages] : kIncoming) WriteFile(File("incoming/" + name), BlankLetterPages(pages));
    }

    std::string File(const std::string& name) const { return work_ + "/" + name; }

    // Runs the example in the work folder, each `replace` text in it replaced
    // by its `by`; standard output and error together.
    ToolResult Run(const std::string& heading, const std::vector<std::pair<std::string, std::string>>& changes = {},
                   size_t block = 0) {
        const auto examples = ReadmeExamples();
        const auto example = examples.find(heading);
        if (example == examples.end() || example->second.size() <= block) {
            ADD_FAILURE() << "README.md has no example \"" << heading << "\" " << block;
            return {};
        }
        std::string script = example->second[block];
        for (const auto& [replace, by] : changes) {
            EXPECT_NE(script.find(replace), std::string::npos) << replace;
            for (size_t at = 0; (at = script.find(replace, at)) != std::string::npos; at += by.size())
                script.replace(at, replace.size(), by);
        }
        WriteFile(folder_.File("example.sh"), script);
        return RunTool("(cd " + ShellQuote(work_) + " && PATH=" + ShellQuote(folder_.File("bin")) + ":\"$PATH\" bash " +
                       ShellQuote(folder_.File("example.sh")) + " 2>&1)");
    }

    // Where a page changed: its rendering against the same page of `before`.
    PixelBox Changed(const std::string& before, const std::string& after, int page, GreyImage* rendered = nullptr) {
        const auto a = RenderPage(File(before), page, folder_.path());
        const auto b = RenderPage(File(after), page, folder_.path());
        if (!a || !b) {
            ADD_FAILURE() << "cannot render page " << page;
            return {};
        }
        if (rendered != nullptr) *rendered = *b;
        return DifferenceBox(*a, *b);
    }

    const TempFolder folder_;
    const std::string work_ = folder_.File("work");
};

TEST_F(ReadmeExamplesTest, EveryExampleIsTested) {
    std::vector<std::string> headings;
    for (const auto& entry : ReadmeExamples()) headings.push_back(entry.first);
    std::vector<std::string> tested = {kBottomRight, kBates, kImposition, kLogo,   kParallel,
                                       kPngLogo,     kGreek, kProduction, kSigned, kPlacements};
    std::sort(tested.begin(), tested.end());
    EXPECT_EQ(headings, tested);
}

TEST_F(ReadmeExamplesTest, PageNumbersInTheBottomRightCorner) {
    const ToolResult run = Run(kBottomRight);
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(QpdfCheck(File("numbered.pdf")), 0);
    const std::vector<std::string> pages = PdfTextByPage(File("numbered.pdf"));
    ASSERT_EQ(pages.size(), 3u);
    for (int page = 1; page <= 3; ++page) {
        const std::string& text = pages[static_cast<size_t>(page - 1)];
        const std::string stamp = "Page " + std::to_string(page) + " / 3";
        EXPECT_EQ(text.substr(text.size() - std::min(text.size(), stamp.size())), stamp) << text;
        // Ending 20 points from the right edge, the baseline 20 points up (the
        // descender of the g reaches a little below it).
        const PixelBox box = Changed("report.pdf", "numbered.pdf", page);
        ASSERT_FALSE(box.empty());
        EXPECT_GT(box.left, 612 / 2);
        EXPECT_NEAR(box.right, 612 - 20, 3);
        EXPECT_GT(box.top, 792 - 20 - 12);
        EXPECT_NEAR(box.bottom, 792 - 20 + 2, 3);
    }
}

TEST_F(ReadmeExamplesTest, TopCentreTopRightAndTheLastPageOnly) {
    const ToolResult run = Run(kPlacements);
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(run.out, "");
    for (int page = 1; page <= 3; ++page) {
        // Baselines 30 and 32 points below the top (descenders a little lower).
        const PixelBox centre = Changed("report.pdf", "top-centre.pdf", page);
        EXPECT_NEAR((centre.left + centre.right) / 2, 612 / 2, 3);
        EXPECT_NEAR(centre.bottom, 30 + 2, 3);
        const PixelBox right = Changed("report.pdf", "top-right.pdf", page);
        EXPECT_NEAR(right.right, 612 - 20, 3);
        EXPECT_NEAR(right.bottom, 32 + 2, 3);
    }
    const std::vector<std::string> report = PdfTextByPage(File("report.pdf"));
    const std::vector<std::string> last = PdfTextByPage(File("last-page.pdf"));
    ASSERT_EQ(last.size(), 3u);
    EXPECT_EQ(last[0], report[0]);
    EXPECT_EQ(last[1], report[1]);
    EXPECT_EQ(last[2], report[2] + " Page 3 / 3");
}

TEST_F(ReadmeExamplesTest, BatesNumbersRunOnFromFileToFile) {
    const ToolResult run = Run(kBates);
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(run.out, "");
    int number = 1;
    for (const auto& [name, count] : kIncoming) {
        const std::vector<std::string> pages = PdfTextByPage(File("bates/" + name));
        ASSERT_EQ(pages.size(), static_cast<size_t>(count)) << name;
        for (const std::string& text : pages) {
            char expected[16];
            std::snprintf(expected, sizeof expected, "ABC-%06d", number++);
            EXPECT_EQ(text, expected) << name;
        }
    }
    EXPECT_EQ(ReadFile(File("next-number")), std::to_string(number));

    // "Leave out the echo to continue the series with the next batch."
    const ToolResult next = Run(kBates, {{"echo 1 > next-number\n", ""}});
    ASSERT_EQ(next.status, 0) << next.out;
    EXPECT_EQ(PdfTextByPage(File("bates/01-contract.pdf")).at(0), "ABC-000011");
    EXPECT_EQ(ReadFile(File("next-number")), "21");
}

TEST_F(ReadmeExamplesTest, TwoUpAndABTwoUpNumbering) {
    const ToolResult run = Run(kImposition);
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(run.out, "");
    const auto numbers = [](std::vector<int> order) {
        std::vector<std::string> texts;
        for (int n : order) texts.push_back("Page " + std::to_string(n));
        return texts;
    };
    EXPECT_EQ(PdfTextByPage(File("cut-stack.pdf")), numbers({1, 5, 2, 6, 3, 7, 4, 8}));
    EXPECT_EQ(PdfTextByPage(File("fronts-backs.pdf")), numbers({1, 3, 5, 7, 2, 4, 6, 8}));
}

TEST_F(ReadmeExamplesTest, PageNumbersInGreek) {
    if (!FileExists("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf")) GTEST_SKIP() << "fonts-dejavu-core missing";
    const ToolResult run = Run(kGreek);
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(QpdfCheck(File("greek.pdf")), 0);
    const std::vector<std::string> pages = PdfTextByPage(File("greek.pdf"));
    ASSERT_EQ(pages.size(), 3u);
    for (int page = 1; page <= 3; ++page) {
        const std::string& text = pages[static_cast<size_t>(page - 1)];
        const std::string stamp = "ΣΕΛΙΔΑ " + std::to_string(page) + " ΑΠΟ 3";
        EXPECT_EQ(text.substr(text.size() - std::min(text.size(), stamp.size())), stamp) << text;
        // Centred, the baseline 20 points up.
        const PixelBox box = Changed("report.pdf", "greek.pdf", page);
        ASSERT_FALSE(box.empty());
        EXPECT_NEAR((box.left + box.right) / 2, 612 / 2, 3);
        EXPECT_NEAR(box.bottom, 792 - 20, 3);
    }
    EXPECT_NE(RunTool("pdffonts " + ShellQuote(File("greek.pdf"))).out.find("+DejaVuSans "), std::string::npos);
}

TEST_F(ReadmeExamplesTest, LogoAtThirtyFivePercentInTheTopRightCorner) {
    const ToolResult run = Run(kLogo);
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(QpdfCheck(File("branded.pdf")), 0);
    for (int page = 1; page <= 3; ++page) {
        GreyImage rendered;
        const PixelBox box = Changed("report.pdf", "branded.pdf", page, &rendered);
        ASSERT_FALSE(box.empty());
        // 120 x 90 points, 20 points from the right and the top edges.
        EXPECT_NEAR(box.left, 612 - 20 - 120, 2);
        EXPECT_NEAR(box.right, 612 - 20 - 1, 2);
        EXPECT_NEAR(box.top, 20, 2);
        EXPECT_NEAR(box.bottom, 20 + 90 - 1, 2);
        // At 35% over white paper nothing is darker than 65% of white, while
        // the picture's own darkest grey is far darker.
        int darkest = 255;
        for (int y = box.top; y <= box.bottom; ++y)
            for (int x = box.left; x <= box.right; ++x)
                darkest = std::min<int>(darkest, rendered.pixels[static_cast<size_t>(y * rendered.width + x)]);
        EXPECT_GE(darkest, 255 * 65 / 100 - 4);
        EXPECT_LT(darkest, 230);
    }

    // "-flipv with -fliph would put it above the page."
    const ToolResult bothFlips = Run(kLogo, {{"-fliph", "-flipv -fliph"}});
    ASSERT_EQ(bothFlips.status, 0) << bothFlips.out;
    // (The renderer may still touch the pixel row at the very edge.)
    const PixelBox above = Changed("report.pdf", "branded.pdf", 1);
    EXPECT_TRUE(above.empty() || above.bottom == 0) << above.top << ".." << above.bottom;
}

TEST_F(ReadmeExamplesTest, TransparentPngLogoAtTheFootOfEveryPage) {
    const ToolResult run = Run(kPngLogo);
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(QpdfCheck(File("marked.pdf")), 0);
    // One picture with its soft mask, shared by the three pages.
    EXPECT_EQ(PdfImageList(File("marked.pdf")),
              "image 300x150 rgb 8; smask 300x150 gray 8; image 300x150 rgb 8; "
              "smask 300x150 gray 8; image 300x150 rgb 8; smask 300x150 gray 8");
    for (int page = 1; page <= 3; ++page) {
        // Only the bar changes the page: 150 × 75 points centred at x = 306,
        // 40 points up, the bar its middle half; grey at half strength.
        GreyImage rendered;
        const PixelBox box = Changed("report.pdf", "marked.pdf", page, &rendered);
        EXPECT_NEAR(box.left, 269, 2);
        EXPECT_NEAR(box.right, 343, 2);
        EXPECT_NEAR(box.top, 696, 2);
        EXPECT_NEAR(box.bottom, 732, 2);
        EXPECT_NEAR(rendered.pixels[static_cast<size_t>(714 * rendered.width + 306)], 128, 8);
    }
}

TEST_F(ReadmeExamplesTest, SignedDocumentNumberedWithItsSignatureValid) {
    if (!SignPdf(File("report.pdf"), File("signed.pdf"), folder_.File("signing")))
        GTEST_SKIP() << "openssl, libnss3-tools or pdfsig is missing";
    const ToolResult run = Run(kSigned);
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("Signature Validation: Signature is Valid."), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Not total document signed"), std::string::npos) << run.out;
    const std::string signedBytes = ReadFile(File("signed.pdf"));
    EXPECT_EQ(ReadFile(File("signed-numbered.pdf")).compare(0, signedBytes.size(), signedBytes), 0);
    const std::vector<std::string> pages = PdfTextByPage(File("signed-numbered.pdf"));
    ASSERT_EQ(pages.size(), 3u);
    for (int page = 1; page <= 3; ++page)
        EXPECT_NE(pages[static_cast<size_t>(page - 1)].find("Page " + std::to_string(page) + " / 3"),
                  std::string::npos);
}

TEST_F(ReadmeExamplesTest, ManyFilesInParallel) {
    const ToolResult run = Run(kParallel);
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(run.out, "");
    std::vector<std::string> written = ListFolder(File("stamped"));
    std::sort(written.begin(), written.end());
    ASSERT_EQ(written.size(), kIncoming.size());
    for (size_t i = 0; i < kIncoming.size(); ++i) {
        const auto& [name, count] = kIncoming[i];
        EXPECT_EQ(written[i], name);
        // Each file numbered on its own.
        const std::vector<std::string> pages = PdfTextByPage(File("stamped/" + name));
        ASSERT_EQ(pages.size(), static_cast<size_t>(count)) << name;
        for (int page = 1; page <= count; ++page)
            EXPECT_EQ(pages[static_cast<size_t>(page - 1)],
                      "Page " + std::to_string(page) + " / " + std::to_string(count));
    }
}

TEST_F(ReadmeExamplesTest, ParallelRunNamesTheFileThatFailedAndEndsWith123) {
    WriteFile(File("incoming/03-letter.pdf"), "%PDF-1.4\nnot a PDF after all\n");
    const ToolResult run = Run(kParallel);
    EXPECT_EQ(run.status, 123);
    EXPECT_NE(run.out.find(" (incoming/03-letter.pdf)\n"), std::string::npos) << run.out;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << run.out;
    EXPECT_FALSE(FileExists(File("stamped/03-letter.pdf")));
    for (const char* name : {"01-contract.pdf", "02-invoice.pdf", "04-annex.pdf"})
        EXPECT_TRUE(FileExists(File(std::string("stamped/") + name))) << name;
}

// The production recipes on 200 files of 1 to 50 pages, one with a space and
// a quote in its name: the same numbers as the -export/-import loop in one
// batch, and in slices of 30 files through --sshlogin, whose logs join into
// the batch's; a damaged file stops the batch by name before anything is
// written.
TEST_F(ReadmeExamplesTest, ProductionNumberedInOneRunAsInARow) {
    if (!HaveTool("parallel") || !HaveTool("qpdf")) GTEST_SKIP() << "GNU parallel or qpdf is not installed";
    fs::remove_all(File("incoming"));
    fs::create_directories(File("incoming"));
    std::vector<std::string> names;
    int total = 0;
    for (int i = 0; i < 200; ++i) {
        char name[40];
        std::snprintf(name, sizeof name, i == 117 ? "%03d-it's a file.pdf" : "%03d-doc.pdf", i);
        names.push_back(name);
        total += 1 + (i * 37) % 50;
        WriteFile(File("incoming/") + name, BlankLetterPages(1 + (i * 37) % 50));
    }
    // All pages of a folder's files in production order.
    const auto numbers = [&](const std::string& folder) {
        std::string command = "cd " + ShellQuote(work_) + " && qpdf --empty --pages";
        for (const std::string& name : names) command += " " + ShellQuote(folder + "/" + name);
        const std::string all = File(folder + ".pdf");
        EXPECT_EQ(RunTool(command + " -- " + ShellQuote(all)).status, 0);
        return PdfTextByPage(all);
    };
    ASSERT_EQ(Run(kBates).status, 0);
    fs::rename(File("bates"), File("chain"));
    const std::vector<std::string> chain = numbers("chain");
    ASSERT_EQ(chain.size(), static_cast<size_t>(total));
    EXPECT_EQ(chain.back(), "ABC-" + std::to_string(total).insert(0, 6 - std::to_string(total).size(), '0'));
    const std::string next = ReadFile(File("next-number"));

    const ToolResult batch = Run(kProduction);
    ASSERT_EQ(batch.status, 0) << batch.out;
    EXPECT_EQ(batch.out, "");
    EXPECT_EQ(numbers("bates"), chain);
    EXPECT_EQ(ReadFile(File("next-number")), next);
    const std::string log = ReadFile(File("production.csv"));
    EXPECT_NE(log.find("\r\nincoming/001-doc.pdf,bates/001-doc.pdf,ABC-000002,ABC-000039,38\r\n"), std::string::npos);
    EXPECT_NE(log.find("\r\nincoming/117-it's a file.pdf,bates/117-it's a file.pdf,"), std::string::npos);
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 201);

    fs::remove_all(File("bates"));
    fs::create_directories(File("bates"));
    fs::remove(File("production.csv"));
    const ToolResult slices = Run(kProduction, {{"1000", "30"}, {"server1,server2,:", ":"}}, 1);
    ASSERT_EQ(slices.status, 0) << slices.out;
    EXPECT_EQ(numbers("bates"), chain);
    EXPECT_EQ(ReadFile(File("production.csv")), log);

    WriteFile(File("incoming/") + names[117], "%PDF-1.4\nnot a PDF after all\n");
    fs::remove_all(File("bates"));
    fs::create_directories(File("bates"));
    const ToolResult failed = Run(kProduction);
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(failed.out, "incoming/" + names[117] + ": PDF file was damaged");
    EXPECT_TRUE(ListFolder(File("bates")).empty());
}

}  // namespace
