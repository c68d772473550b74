#include "support/StampRunner.h"

#include "base/CPdfException.h"
#include "stamp/CPdfFileStampImage.h"
#include "stamp/CPdfFileStampText.h"
#include "support/TestFiles.h"

namespace {

StampResult Run(CPdfFileStamp& stamp, const TempFolder& folder, const std::string& input,
                std::vector<std::string> words, int32_t resourceNumber) {
    WriteFile(folder.File("in.pdf"), input);
    stamp.SetResourceNumberSource([resourceNumber] { return resourceNumber; });
    StampResult result;
    try {
        stamp.ParseParams(words);
        stamp.Process();
    } catch (const CPdfException& failure) {
        result.message = failure.GetMessage();
    }
    if (FileExists(folder.File("out.pdf"))) result.output = ReadFile(folder.File("out.pdf"));
    return result;
}

}  // namespace

StampResult RunTextStamp(const std::string& input, const std::vector<std::string>& params, int32_t resourceNumber,
                         size_t scanThreads) {
    TempFolder folder;
    std::vector<std::string> words{folder.File("in.pdf"), folder.File("out.pdf")};
    words.insert(words.end(), params.begin(), params.end());
    CPdfFileStampText stamp;
    stamp.SetScanThreads(scanThreads);
    return Run(stamp, folder, input, words, resourceNumber);
}

StampResult RunImageStamp(const std::string& input, const std::string& jpeg, const std::vector<std::string>& params,
                          int32_t resourceNumber) {
    TempFolder folder;
    WriteFile(folder.File("logo.jpg"), jpeg);
    std::vector<std::string> words{folder.File("in.pdf"), folder.File("out.pdf")};
    bool named = false;
    for (const std::string& param : params) named = named || param.rfind("-j", 0) == 0;
    if (!named) words.push_back("-j" + folder.File("logo.jpg"));
    words.insert(words.end(), params.begin(), params.end());
    CPdfFileStampImage stamp;
    return Run(stamp, folder, input, words, resourceNumber);
}

std::string StampFile(const std::string& mode, const std::string& input, const std::string& output,
                      const std::vector<std::string>& params, int32_t resourceNumber) {
    std::vector<std::string> words{input, output};
    words.insert(words.end(), params.begin(), params.end());
    CPdfFileStampText text;
    CPdfFileStampImage image;
    CPdfFileStamp& stamp = mode == "image" ? static_cast<CPdfFileStamp&>(image) : static_cast<CPdfFileStamp&>(text);
    stamp.SetResourceNumberSource([resourceNumber] { return resourceNumber; });
    try {
        stamp.ParseParams(words);
        stamp.Process();
    } catch (const CPdfException& failure) {
        return failure.GetMessage();
    }
    return {};
}
