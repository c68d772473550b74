// Pages mode on every PDF of the shared corpus against a text run of the same
// file: the M the text run numbers with, or, for a file the text run refuses
// before it has its page list, the text run's message.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "app/CFrontEnd.h"
#include "base/CPdfException.h"
#include "stamp/CPdfFileStampText.h"
#include "support/TestFiles.h"

namespace {

// A text run that notes the page count it numbers with.
class CountingTextRun : public CPdfFileStampText {
public:
    std::optional<int32_t> pageCount;

protected:
    void PrepareSharedObjects(COutputWriter& writer, const PageList& pages) override {
        pageCount = pages.pageCount();
        CPdfFileStampText::PrepareSharedObjects(writer, pages);
    }
};

TEST(CorpusPageCountTest, PagesPrintsTheTextRunsPageCountOrItsMessage) {
    const std::string corpus = CorpusFolder();
    if (corpus.empty() || !std::filesystem::is_directory(corpus + "/pdf")) GTEST_SKIP() << "no corpus";
    const TempFolder folder;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(corpus + "/pdf")) {
        if (!entry.is_regular_file() || entry.path().extension() != ".pdf") continue;
        const std::string file = entry.path().string();
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
        EXPECT_EQ(out, text.pageCount ? std::to_string(*text.pageCount) + "\n" : message);
        EXPECT_EQ(status, text.pageCount ? CFrontEnd::kSuccess : CFrontEnd::kFailure);
    }
}

}  // namespace
