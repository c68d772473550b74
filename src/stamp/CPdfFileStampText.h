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

    // Instead of ParseParams, for a batch: a run of `input` into `output`
    // with `options`.
    void SetRun(const TextStampOptions& options, const std::string& input, const std::string& output);
    // The number a run whose numbering starts at `startNumber` shows on the
    // page at `position` (from 0) of `pageCount` pages, or nothing when the
    // page is not selected; keeps `startNumber` as the run's start.
    std::optional<int32_t> NumberOfPage(int32_t startNumber, int32_t position, int32_t pageCount);

    // The stamp text for the stamp number, of `pageCount` pages.
    void ComposePageNumberText(int32_t stampNumber, int32_t pageCount);
    const std::string& stampText() const { return stampText_; }

    // Whether the run draws with an embedded font: -fontfile, or characters
    // that Windows-1252 lacks in a font that is not a symbol font.
    bool NeedsEmbeddedFont(int32_t pageCount) const;

protected:
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
    // Shapes the text of every stamped page and writes the embedded font,
    // subset to the glyphs they use.
    void PrepareEmbeddedFont(COutputWriter& writer, const PageList& pages);
    // The placement of the current stamp text on the page.
    StampPlacement CalcTextPosition(const StampedPage& page) const;

    std::string stampText_;
    TextStampOptions options_;
    std::string fontResourceName_;
    int32_t fontObjectNumber_ = 0;
    // UTF-8 text is shown through the built-in font's Windows-1252 codes.
    bool convertToWinAnsi_ = false;
    std::unique_ptr<CTextShaper> shaper_;
    std::unique_ptr<CEmbeddedFont> embeddedFont_;
    // The current page's text as shaped.
    ShapedRun shaped_;
    std::unique_ptr<COutputFile> exportFile_;
};
