#include "stamp/CPdfFileStampText.h"

#include <cstdio>

#include "app/CPdfException.h"
#include "stamp/NumberingFile.h"
#include "stamp/OptionParser.h"
#include "stamp/PageNumberText.h"
#include "stamp/PageSelection.h"
#include "stamp/TextStamp.h"
#include "stamp/fonts/FontMetricsTable.h"
#include "writer/NumberFormat.h"

bool CPdfFileStampText::ParseParams(const std::vector<std::string>& words) {
    ParseTextParams(words, options_, inputFileName_, outputFileName_);
    return true;
}

void CPdfFileStampText::ComposePageNumberText(int32_t stampNumber) {
    stampText_ = ::ComposePageNumberText(options_, stampNumber, pageList_.pageCount);
}

void CPdfFileStampText::PrepareSharedObjects() {
    BuildFontMetricsTable();
    char name[16];
    std::snprintf(name, sizeof name, "F%d", NextResourceNumber());
    fontResourceName_ = name;
    const FontMetricsEntry* metrics = FindFontMetrics(options_.fontName);
    if (metrics == nullptr) throw CPdfException("Unknown font name");
    const int32_t descriptor = writer_->nextNumber();
    writer_->appendObject(FontDescriptorObject(descriptor, options_.fontName, *metrics));
    fontObjectNumber_ = writer_->nextNumber();
    writer_->appendObject(FontObject(fontObjectNumber_, fontResourceName_, options_.fontName, descriptor, *metrics));
}

void CPdfFileStampText::BeforeCopy() {
    if (!options_.importFile.empty()) options_.startNumber = ReadNumberingFile(options_.importFile);
    highestStampNumber_ = 0;
}

std::optional<int32_t> CPdfFileStampText::SelectPage(int32_t position) {
    return StampNumberFor(options_, position + 1, pageList_.pageCount);
}

StampPlacement CPdfFileStampText::CalcTextPosition(int32_t position) const {
    StampPlacement placement = CalcPosition(position, options_);
    if (options_.align != "left") {
        AlignPlacement(placement, options_.align,
                       AlignmentWidth(TextWidth(options_.fontName, stampText_), options_.fontSize));
    }
    return placement;
}

void CPdfFileStampText::WriteContentStream(int32_t position, int32_t stampNumber) {
    if (stampNumber > highestStampNumber_) highestStampNumber_ = stampNumber;
    ComposePageNumberText(stampNumber);
    placement_ = CalcTextPosition(position);
    const int32_t number = writer_->nextNumber();
    writer_->appendObject(TextContentStreamObject(number, placement_, options_.color, fontResourceName_,
                                                  options_.fontSize, stampText_));
}

std::vector<ResourceFragment> CPdfFileStampText::Fragments() const {
    return {{"Font", fontResourceName_, fontObjectNumber_}};
}

void CPdfFileStampText::AfterCopy() {
    if (options_.exportFile.empty()) return;
    // Written now, put in place once the output is.
    exportFile_ = std::make_unique<COutputFile>(options_.exportFile, "export file create error");
    const auto next = static_cast<int32_t>(static_cast<uint32_t>(highestStampNumber_) + 1u);
    exportFile_->Write(FormatInt(next));
}

void CPdfFileStampText::Finish() {
    if (exportFile_) {
        exportFile_->Commit();
        exportFile_.reset();
    }
}
