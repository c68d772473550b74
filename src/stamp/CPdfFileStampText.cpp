#include "stamp/CPdfFileStampText.h"

#include <cstdio>
#include <unordered_set>

#include "base/CPdfException.h"
#include "fonts/EmbeddedFont.h"
#include "fonts/FontFinder.h"
#include "fonts/FontMetricsTable.h"
#include "fonts/TextShaper.h"
#include "fonts/Utf8Text.h"
#include "stamp/NumberingFile.h"
#include "stamp/OptionParser.h"
#include "stamp/PageNumberText.h"
#include "stamp/PageSelection.h"
#include "stamp/TextStamp.h"
#include "writer/COutputFile.h"
#include "writer/NumberFormat.h"

namespace {

// The characters a page text stands for: UTF-8 when it is valid, Windows-1252
// codes otherwise.
std::u32string TypedCharacters(const std::string& text) {
    std::optional<std::u32string> decoded = DecodeUtf8(text);
    return decoded ? std::move(*decoded) : DecodeWindows1252(text);
}

}  // namespace

CPdfFileStampText::CPdfFileStampText() = default;
CPdfFileStampText::~CPdfFileStampText() = default;

bool CPdfFileStampText::ParseParams(const std::vector<std::string>& words) {
    ParseTextParams(words, options_, inputFileName_, outputFileName_);
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

void CPdfFileStampText::PrepareSharedObjects(COutputWriter& writer, const PageList& pages) {
    BuildFontMetricsTable();
    char name[16];
    std::snprintf(name, sizeof name, "F%d", NextResourceNumber());
    fontResourceName_ = name;
    if (NeedsEmbeddedFont(pages.pageCount())) {
        PrepareEmbeddedFont(writer, pages);
        return;
    }
    const FontMetricsEntry* metrics = FindFontMetrics(options_.fontName);
    if (metrics == nullptr) throw CPdfException("Unknown font name");
    const int32_t descriptor = writer.appendObject(FontDescriptorBody(options_.fontName, *metrics));
    fontObjectNumber_ = writer.appendObject(FontBody(fontResourceName_, options_.fontName, descriptor, *metrics));
    convertToWinAnsi_ = !IsSymbolFont(*metrics);
}

bool CPdfFileStampText::IsSymbolFont(const FontMetricsEntry& metrics) {
    // Their codes choose pictures, not characters.
    for (const char* name : {"SymbolMT", "ZapfDingbats", "Wingdings", "Wingdings2", "Wingdings3", "Webdings", "Marlett",
                             "MSReferenceSpecialty", "BookshelfSymbol7"}) {
        if (metrics.name == name) return true;
    }
    return false;
}

bool CPdfFileStampText::NeedsEmbeddedFont(int32_t pageCount) const {
    if (!options_.fontFile.empty()) return true;
    const FontMetricsEntry* metrics = FindFontMetrics(options_.fontName);
    if (metrics != nullptr && IsSymbolFont(*metrics)) return false;
    // The numbers are ASCII: any page's text decides for all.
    return NeedsUnicodeFont(::ComposePageNumberText(options_, 1, pageCount));
}

void CPdfFileStampText::PrepareEmbeddedFont(COutputWriter& writer, const PageList& pages) {
    if (!options_.importFile.empty()) options_.startNumber = ReadNumberingFile(options_.importFile);
    // Each distinct text once, in page order, so that the output does not
    // depend on a hash order.
    std::unordered_set<std::string> seenTexts;
    std::vector<std::string> texts;
    std::u32string characters;
    std::vector<bool> seen;
    for (int32_t position = 0; position < static_cast<int32_t>(pages.pages().size()); ++position) {
        const std::optional<int32_t> stampNumber = SelectPage(position, pages.pageCount());
        if (!stampNumber) continue;
        ComposePageNumberText(*stampNumber, pages.pageCount());
        if (!seenTexts.insert(stampText_).second) continue;
        texts.push_back(stampText_);
        for (const char32_t c : TypedCharacters(stampText_)) {
            if (c >= seen.size()) seen.resize(c + 1, false);
            if (!seen[c]) characters.push_back(c);
            seen[c] = true;
        }
    }
    if (!options_.fontFile.empty()) {
        shaper_ = std::make_unique<CTextShaper>(options_.fontFile, static_cast<uint32_t>(options_.fontIndex));
        if (!shaper_->Covers(characters)) throw CPdfException("Font file lacks characters of the stamp text");
    } else {
        for (const FontLocation& font : FindFontsCovering(characters, options_.fontName)) {
            try {
                shaper_ = std::make_unique<CTextShaper>(font.path, font.faceIndex);
            } catch (const CPdfException&) {
                continue;
            }
            if (shaper_->Covers(characters)) break;
            shaper_.reset();
        }
        if (!shaper_) throw CPdfException("No font found for the characters of the stamp text");
    }
    embeddedFont_ = std::make_unique<CEmbeddedFont>(*shaper_);
    for (const std::string& text : texts) embeddedFont_->Use(shaper_->Shape(TypedCharacters(text)));
    fontObjectNumber_ = embeddedFont_->WriteObjects(writer, fontResourceName_);
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
        const int32_t width =
            embeddedFont_ ? embeddedFont_->WidthSum(shaped_) : TextWidth(options_.fontName, stampText_);
        AlignPlacement(placement, options_.align, AlignmentWidth(width, options_.fontSize));
    }
    return placement;
}

int32_t CPdfFileStampText::WriteContentStream(COutputWriter& writer, const StampedPage& page, const StampFrame& frame) {
    ComposePageNumberText(page.stampNumber, page.pageCount);
    if (convertToWinAnsi_) stampText_ = ToWindows1252(stampText_);
    if (embeddedFont_) {
        const std::u32string typed = TypedCharacters(stampText_);
        shaped_ = shaper_->Shape(typed);
        const StampPlacement placement = CalcTextPosition(page);
        const std::string showing =
            embeddedFont_->ShowOperators(shaped_, options_.fontSize, [&typed] { return typed; });
        return writer.AppendStream(
            GlyphContent(placement, options_.color, fontResourceName_, options_.fontSize, showing, frame));
    }
    const StampPlacement placement = CalcTextPosition(page);
    return writer.AppendStream(
        TextContent(placement, options_.color, fontResourceName_, options_.fontSize, stampText_, frame));
}

std::vector<ResourceFragment> CPdfFileStampText::Fragments() const {
    return {{"Font", fontResourceName_, fontObjectNumber_}};
}

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
