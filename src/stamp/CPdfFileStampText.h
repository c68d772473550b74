#pragma once

#include <memory>
#include <string>

#include "fonts/TextShaper.h"
#include "stamp/CPdfFileStamp.h"
#include "stamp/StampOptions.h"

struct FontMetricsEntry;
class CEmbeddedFont;
class COutputFile;
class CTextShaper;

// Text mode: a line of text, by default "Page 3 / 12", on the selected pages.
class CPdfFileStampText : public CPdfFileStamp {
public:
    CPdfFileStampText();
    ~CPdfFileStampText() override;

    bool ParseParams(const std::vector<std::string>& words) override;

    const TextStampOptions& options() const { return options_; }

    // The stamp text for the stamp number, of `pageCount` pages.
    void ComposePageNumberText(int32_t stampNumber, int32_t pageCount);
    const std::string& stampText() const { return stampText_; }

protected:
    std::string_view PrepareStamp(const PageList& pages) override;
    void PrepareSharedObjects(COutputWriter& writer, const PageList& pages) override;
    void BeforeCopy() override;
    std::optional<int32_t> SelectPage(int32_t position, int32_t pageCount) override;
    int32_t WriteContentStream(COutputWriter& writer, const StampedPage& page, const StampFrame& frame) override;
    std::vector<ResourceFragment> Fragments() const override;
    const StampOptions& SharedOptions() const override { return options_; }
    void AfterCopy() override;
    void Finish() override;

private:
    static bool IsSymbolFont(const FontMetricsEntry& metrics);
    // Whether the run draws with an embedded font: -fontfile, or characters
    // that Windows-1252 lacks in a font that is not a symbol font.
    bool NeedsEmbeddedFont(int32_t pageCount) const;
    // Shapes the text of every stamped page for the embedded font, subset to
    // the glyphs they use.
    void PrepareEmbeddedFont(const PageList& pages);
    // The placement of the current stamp text on the page.
    StampPlacement CalcTextPosition(const StampedPage& page) const;

    std::string stampText_;
    TextStampOptions options_;
    std::string fontResourceName_;
    int32_t fontObjectNumber_ = 0;
    int32_t highestStampNumber_ = 0;
    // UTF-8 text is shown through the built-in font's Windows-1252 codes.
    bool convertToWinAnsi_ = false;
    std::unique_ptr<CTextShaper> shaper_;
    std::unique_ptr<CEmbeddedFont> embeddedFont_;
    // The current page's text as shaped.
    ShapedRun shaped_;
    std::unique_ptr<COutputFile> exportFile_;
};
