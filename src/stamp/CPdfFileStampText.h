#pragma once

#include <memory>
#include <string>

#include "stamp/CPdfFileStamp.h"
#include "stamp/StampOptions.h"

// Text mode: a line of text, by default "Page 3 / 12", on the selected pages.
class CPdfFileStampText : public CPdfFileStamp {
public:
    bool ParseParams(const std::vector<std::string>& words) override;

    const TextStampOptions& options() const { return options_; }

    // The stamp text for the stamp number.
    void ComposePageNumberText(int32_t stampNumber);
    const std::string& stampText() const { return stampText_; }

protected:
    void PrepareSharedObjects() override;
    void BeforeCopy() override;
    std::optional<int32_t> SelectPage(int32_t position) override;
    void WriteContentStream(int32_t position, int32_t stampNumber) override;
    std::vector<ResourceFragment> Fragments() const override;
    void AfterCopy() override;
    void Finish() override;

private:
    // The placement of the current stamp text on the page at `position`.
    StampPlacement CalcTextPosition(int32_t position) const;

    std::string stampText_;
    TextStampOptions options_;
    std::string fontResourceName_;
    int32_t fontObjectNumber_ = 0;
    int32_t highestStampNumber_ = 0;
    std::unique_ptr<COutputFile> exportFile_;
};
