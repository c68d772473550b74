#include "stamp/CPdfFileStampText.h"

#include <algorithm>
#include <cstdio>
#include <unordered_set>

#include "base/CPdfException.h"
#include "fonts/CharacterClasses.h"
#include "fonts/EmbeddedText.h"
#include "fonts/FontMetricsTable.h"
#include "fonts/TextLayout.h"
#include "fonts/Utf8Text.h"
#include "stamp/NumberingFile.h"
#include "stamp/OptionParser.h"
#include "stamp/PageNumberText.h"
#include "stamp/PageSelection.h"
#include "stamp/TextStamp.h"
#include "writer/COutputFile.h"
#include "writer/NumberFormat.h"

namespace {

// A character as the messages name it: its code and, when it shows, itself
// ("U+0E2B ห").
std::string CharacterName(char32_t c) {
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
    std::string name = code;
    if (!IsControlCharacter(c) && !IsDefaultIgnorable(c)) name += " " + EncodeUtf8(std::u32string_view(&c, 1));
    return name;
}

}  // namespace

CPdfFileStampText::CPdfFileStampText() = default;
CPdfFileStampText::~CPdfFileStampText() = default;

bool CPdfFileStampText::ParseParams(const std::vector<std::string>& words) {
    ParseTextParams(words, options_, inputFileName_, outputFileName_);
    RememberParameters(words);
    password_ = options_.password;
    return true;
}

void CPdfFileStampText::SetRun(const TextStampOptions& options, const std::string& input, const std::string& output) {
    options_ = options;
    password_ = options_.password;
    inputFileName_ = input;
    outputFileName_ = output;
}

std::optional<int32_t> CPdfFileStampText::NumberOfPage(int32_t startNumber, int32_t position, int32_t pageCount) {
    options_.startNumber = startNumber;
    return SelectPage(position, pageCount);
}

void CPdfFileStampText::ComposePageNumberText(int32_t stampNumber, int32_t pageCount) {
    stampText_ = ::ComposePageNumberText(options_, stampNumber, pageCount);
}

std::string_view CPdfFileStampText::PrepareStamp(const PageList& pages) {
    BuildFontMetricsTable();
    // -font names a row of the table whatever draws the text: for other
    // scripts it steers the choice of the fonts embedded.
    const FontMetricsEntry* metrics = FindFontMetrics(options_.fontName);
    if (metrics == nullptr) throw CPdfException("Unknown font name");
    const bool symbolFont = IsSymbolFont(*metrics);
    CheckTexts(symbolFont);
    if (!NeedsEmbeddedFont(symbolFont)) return {};
    PrepareEmbeddedText(pages);
    return embedded_->RequiredVersion();
}

void CPdfFileStampText::PrepareSharedObjects(COutputWriter& writer, const PageList&) {
    if (embedded_) {
        const auto nextName = [this] {
            std::string name = "F";
            AppendInt(name, NextResourceNumber({"F"}));
            return name;
        };
        for (const CEmbeddedText::Resource& font : embedded_->WriteObjects(writer, nextName)) {
            fonts_.push_back({"Font", font.name, font.number});
        }
        return;
    }
    // PrepareStamp found the row.
    const FontMetricsEntry& metrics = *FindFontMetrics(options_.fontName);
    const bool symbolFont = IsSymbolFont(metrics);
    char name[16];
    std::snprintf(name, sizeof name, "F%d", NextResourceNumber({"F"}));
    // UTF-8 text is shown through the built-in font's Windows-1252 codes.
    if (!symbolFont) {
        for (const auto& [option, text] : ShownTexts()) *text = ToWindows1252(*text);
    }
    const int32_t descriptor = writer.appendObject(FontDescriptorBody(options_.fontName, metrics));
    fonts_ = {{"Font", name, writer.appendObject(FontBody(name, options_.fontName, descriptor, metrics))}};
}

bool CPdfFileStampText::UsesEmbeddedFonts() {
    const FontMetricsEntry* metrics = FindFontMetrics(options_.fontName);
    return NeedsEmbeddedFont(metrics != nullptr && IsSymbolFont(*metrics));
}

bool CPdfFileStampText::IsSymbolFont(const FontMetricsEntry& metrics) {
    // Their codes choose pictures, not characters.
    return metrics.Has(kFontSymbolic);
}

std::vector<std::pair<const char*, std::string*>> CPdfFileStampText::ShownTexts() {
    std::vector<std::pair<const char*, std::string*>> texts = {{"-prefix", &options_.prefixText}};
    if (options_.noPageNumber || !options_.oneNumber) {
        texts.insert(texts.end(), {{"-sep", &options_.separatorText}, {"-end", &options_.endText}});
    }
    return texts;
}

void CPdfFileStampText::CheckTexts(bool symbolFont) {
    for (const auto& [option, text] : ShownTexts()) {
        const std::u32string typed = symbolFont ? DecodeWindows1252(*text) : DecodeTyped(*text);
        for (const char32_t c : typed) {
            if (c < 0x20 || (!symbolFont && IsControlCharacter(c))) {
                throw CPdfException("The control character " + CharacterName(c) + " in " + option +
                                    " cannot be stamped: a stamp is one line");
            }
        }
    }
}

bool CPdfFileStampText::NeedsEmbeddedFont(bool symbolFont) {
    if (!options_.fontFile.empty()) return true;
    if (symbolFont) return false;
    const auto needs = [](const std::pair<const char*, std::string*>& text) { return NeedsUnicodeFont(*text.second); };
    const std::vector<std::pair<const char*, std::string*>> texts = ShownTexts();
    return std::any_of(texts.begin(), texts.end(), needs);
}

std::vector<std::string> CPdfFileStampText::DistinctPageTexts(const PageList& pages) {
    std::unordered_set<std::string> seen;
    std::vector<std::string> texts;
    for (int32_t position = 0; position < static_cast<int32_t>(pages.pages().size()); ++position) {
        const std::optional<int32_t> stampNumber = SelectPage(position, pages.pageCount());
        if (!stampNumber) continue;
        ComposePageNumberText(*stampNumber, pages.pageCount());
        if (seen.insert(stampText_).second) texts.push_back(stampText_);
    }
    return texts;
}

void CPdfFileStampText::PrepareEmbeddedText(const PageList& pages) {
    // Each option by itself, UTF-8 from here on.
    std::vector<std::pair<const char*, std::u32string>> shown;
    // Every character once, in the order met.
    std::u32string characters;
    std::vector<bool> seen(0x110000, false);
    const auto add = [&characters, &seen](std::u32string_view text) {
        for (const char32_t c : text) {
            if (!seen[c]) characters.push_back(c);
            seen[c] = true;
        }
    };
    for (const auto& [option, text] : ShownTexts()) {
        shown.emplace_back(option, DecodeTyped(*text));
        *text = EncodeUtf8(shown.back().second);
        add(shown.back().second);
    }
    if (!options_.importFile.empty()) options_.startNumber = ReadNumberingFile(options_.importFile);
    const std::vector<std::string> texts = DistinctPageTexts(pages);
    for (const std::string& text : texts) add(DecodeTyped(text));

    layout_ = std::make_unique<CTextLayout>(options_.language.empty() ? GuessLanguage(characters) : options_.language);
    if (!options_.fontFile.empty()) layout_->AddFontFile(options_.fontFile, options_.fontIndex);
    layout_->CoverCharacters(characters, options_.fontName);
    for (const auto& [option, typed] : shown) {
        if (const std::optional<char32_t> missing = layout_->FirstMissing(typed)) {
            throw CPdfException("No font has the character " + CharacterName(*missing) + " of " + option);
        }
    }
    if (const std::optional<char32_t> missing = layout_->FirstMissing(characters)) {
        throw CPdfException("No font has the character " + CharacterName(*missing) + " of the page numbers");
    }
    embedded_ = std::make_unique<CEmbeddedText>(*layout_);
    for (const std::string& text : texts) embedded_->Use(layout_->Lay(DecodeTyped(text)));
}

void CPdfFileStampText::BeforeCopy() {
    if (!options_.importFile.empty()) options_.startNumber = ReadNumberingFile(options_.importFile);
}

std::optional<int32_t> CPdfFileStampText::SelectPage(int32_t position, int32_t pageCount) {
    return StampNumberFor(options_, position + 1, pageCount);
}

StampPlacement CPdfFileStampText::CalcTextPosition(const StampedPage& page) const {
    StampPlacement placement = CalcPosition(page, options_);
    if (options_.align != Alignment::Left) {
        const int32_t width = embedded_ ? CEmbeddedText::WidthSum(line_) : TextWidth(options_.fontName, stampText_);
        AlignPlacement(placement, options_.align, AlignmentWidth(width, options_.fontSize));
    }
    return placement;
}

int32_t CPdfFileStampText::WriteContentStream(COutputWriter& writer, const StampedPage& page, const StampFrame& frame) {
    ComposePageNumberText(page.stampNumber, page.pageCount);
    if (embedded_) {
        line_ = layout_->Lay(DecodeTyped(stampText_));
        const StampPlacement placement = CalcTextPosition(page);
        return writer.AppendStream(GlyphContent(placement, options_.color, embedded_->FirstResourceName(line_),
                                                options_.fontSize, embedded_->ShowOperators(line_, options_.fontSize),
                                                frame));
    }
    const StampPlacement placement = CalcTextPosition(page);
    return writer.AppendStream(
        TextContent(placement, options_.color, fonts_.front().name, options_.fontSize, stampText_, frame));
}

std::vector<ResourceFragment> CPdfFileStampText::Fragments() const { return fonts_; }

void CPdfFileStampText::AfterCopy() {
    if (options_.exportFile.empty()) return;
    // Written now, put in place once the output is.
    exportFile_ = std::make_unique<COutputFile>(options_.exportFile, "export file create error");
    const auto next = static_cast<int32_t>(static_cast<uint32_t>(highestStampNumber()) + 1u);
    exportFile_->Write(FormatInt(next));
}

void CPdfFileStampText::Finish() {
    if (exportFile_) {
        exportFile_->Commit();
        exportFile_.reset();
    }
}
