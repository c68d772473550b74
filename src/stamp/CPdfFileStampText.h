#pragma once

#include <memory>
#include <string>

#include "fonts/TextLayout.h"
#include "stamp/CPdfFileStamp.h"
#include "stamp/StampOptions.h"

struct FontMetricsEntry;
class CEmbeddedText;
class COutputFile;

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

    // Whether the run draws with embedded fonts: -fontfile, or characters
    // that Windows-1252 lacks in a font that is not a symbol font (the
    // built-in table is built).
    bool UsesEmbeddedFonts();

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
    // The text options the stamp shows, by option name: -prefix, and -sep
    // and -end unless -one leaves them out.
    std::vector<std::pair<const char*, std::string*>> ShownTexts();
    // Throws when a shown text holds a control character (tab, line feed):
    // a stamp is one line. A symbol font's text is its codes as given.
    void CheckTexts(bool symbolFont);
    // Whether the run draws with embedded fonts: -fontfile, or characters
    // that Windows-1252 lacks in a font that is not a symbol font.
    bool NeedsEmbeddedFont(bool symbolFont);
    // Chooses the fonts and lays out the text of every stamped page, so that
    // the embedded fonts hold the glyphs the pages use.
    void PrepareEmbeddedText(const PageList& pages);
    // The texts of the stamped pages, each once, in page order (so that the
    // output does not depend on a hash order).
    std::vector<std::string> DistinctPageTexts(const PageList& pages);
    // The placement of the current stamp text on the page.
    StampPlacement CalcTextPosition(const StampedPage& page) const;

    std::string stampText_;
    TextStampOptions options_;
    // The fonts the pages name.
    std::vector<ResourceFragment> fonts_;
    std::unique_ptr<CTextLayout> layout_;
    std::unique_ptr<CEmbeddedText> embedded_;
    // The current page's text as laid out.
    ShapedLine line_;
    std::unique_ptr<COutputFile> exportFile_;
};
