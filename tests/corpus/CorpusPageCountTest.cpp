// Pages mode on every PDF of the shared corpus against a text run of the same
// file: the M the text run numbers with, or, for a file the text run refuses
// before it has its page list, the text run's message. Skipped without the corpus.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/CFrontEnd.h"
#include "app/CPdfException.h"
#include "stamp/CPdfFileStampText.h"
#include "support/TestFiles.h"

namespace {

// A text run that notes the page count it numbers with.
class CountingTextRun : public CPdfFileStampText {
public:
    std::optional<int32_t> pageCount;
    size_t leaves = 0;

protected:
    void BeforeCopy() override {
        pageCount = pageList_.pageCount;
        leaves = pageList_.pages.size();
        CPdfFileStampText::BeforeCopy();
    }
};

TEST(CorpusPageCountTest, PagesPrintsTheTextRunsPageCountOrItsMessage) {
    const std::string corpus = CorpusFolder();
    if (corpus.empty() || !std::filesystem::is_directory(corpus + "/pdf")) GTEST_SKIP() << "no corpus";
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(corpus + "/pdf"))
        if (entry.is_regular_file() && entry.path().extension() == ".pdf") files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    ASSERT_FALSE(files.empty());

    const TempFolder folder;
    int counted = 0;
    int refused = 0;
    int otherThanLeaves = 0;
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        CountingTextRun text;
        std::string message;
        try {
            text.ParseParams({file, folder.File("out.pdf")});
            text.Process();
        } catch (const CPdfException& failure) {
            message = failure.GetMessage();
        }
        std::string out;
        const int status = CFrontEnd::Run({"pages", file}, out);
        if (text.pageCount) {
            ++counted;
            otherThanLeaves += static_cast<size_t>(*text.pageCount) != text.leaves;
            EXPECT_EQ(out, std::to_string(*text.pageCount) + "\n");
            EXPECT_EQ(status, CFrontEnd::kSuccess);
        } else {
            ++refused;
            EXPECT_EQ(out, message);
            EXPECT_EQ(status, CFrontEnd::kFailure);
        }
    }
    EXPECT_TRUE(ListFolder(folder.path()).size() <= 1u);
    std::printf("pages: %zu files, %d counted (%d declaring another count than their page tree lists), %d refused\n",
                files.size(), counted, otherThanLeaves, refused);
}

}  // namespace
