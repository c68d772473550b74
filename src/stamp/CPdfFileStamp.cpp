#include "stamp/CPdfFileStamp.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <random>

#include "base/CPdfException.h"
#include "pdf/object/CPdfDictionary.h"
#include "pdf/document/CPdfCatalog.h"
#include "pdf/document/DocMdp.h"
#include "base/CByteSource.h"
#include "pdf/reader/CPdfSecurityHandler.h"
#include "pdf/reader/CPdfXRef.h"
#include "pdf/reader/RawObject.h"
#include "stamp/StampOptions.h"
#include "stamp/TextStamp.h"

CPdfFileStamp::CPdfFileStamp() = default;

CPdfFileStamp::~CPdfFileStamp() = default;

namespace {

// The catalog marks the document as tagged: /MarkInfo with /Marked true, or
// a structure tree.
bool IsTagged(CPdfXRef& xref) {
    const CPdfObject catalog = xref.Fetch(xref.root().number, xref.root().generation);
    if (!catalog.is(pdfDictionary)) return false;
    if (!catalog.getDict().lookupNF("StructTreeRoot").is(pdfNull)) return true;
    const CPdfObject markInfo = catalog.getDict().lookup("MarkInfo");
    if (!markInfo.is(pdfDictionary)) return false;
    const CPdfObject marked = markInfo.getDict().lookup("Marked");
    return marked.is(pdfBoolean) && marked.getBool();
}

}  // namespace

void CPdfFileStamp::RequireChangesAllowed(const CPdfDocument& document) {
    // The document's author decides whether it may be changed.
    const CPdfSecurityHandler* security = document.xref().securityHandler();
    if (security != nullptr && !security->isOwner() && !security->MayModify())
        throw CPdfException("The document's permissions do not allow changes: give its owner password with -password");
}

int32_t CPdfFileStamp::NextResourceNumber() {
    int32_t number = 0;
    if (resourceNumber_) {
        number = resourceNumber_();
    } else if (SharedOptions().incremental) {
        // An update may be stacked on one made in the same second: names
        // drawn from the time alone would be the same, and a second entry
        // under an existing name in the page's resources would not count.
        number = static_cast<int32_t>(std::random_device()() % 1000000);
    } else {
        std::srand(static_cast<unsigned>(std::time(nullptr)));
        number = static_cast<int32_t>(std::rand() % 1000000);
    }
    number %= 1000000;
    return number < 0 ? -number : number;
}

bool CPdfFileStamp::Process() {
    try {
        input_ = std::make_shared<CFileByteSource>(inputFileName_, "File open error");
        document_.Open(input_, password_);
        xref_ = &document_.xref();
        RequireChangesAllowed(document_);
        CPdfSecurityHandler* security = xref_->securityHandler();
        const bool incremental = SharedOptions().incremental;
        const std::optional<UpdateTarget> update = incremental ? std::optional(CheckUpdatable()) : std::nullopt;
        output_ = std::make_unique<COutputFile>(outputFileName_, "Output file create error");
        writer_ = std::make_unique<COutputWriter>(*output_, incremental ? FirstFreeNumber() : xref_->entries().size());
        writer_->SetCipher(security);
        OpenStampFiles();
        if (update) {
            writer_->beginUpdate(*input_, *update);
        } else {
            // An input without a header still gets one.
            writer_->writeHeader(document_.version().empty() ? "PDF-1.4" : document_.version());
        }
        pageList_ = StampPageList(document_);
        tagged_ = IsTagged(*xref_);
        scanner_.emplace(*xref_, input_->Size());
        saveStateNumber_ = 0;
        contentsUse_.reset();
        PrepareSharedObjects();
        BeforeCopy();
        if (update) {
            StampPages();
        } else {
            CopyObjects();
        }
        AfterCopy();
        if (update) {
            writer_->writeUpdateSection(xref_->trailer().getDict());
        } else {
            const int64_t xrefPosition = writer_->writeXRefTable();
            writer_->writeTrailer(xrefPosition, xref_->trailer().getDict());
        }
        output_->Commit();
        Finish();
    } catch (...) {
        scanner_.reset();
        writer_.reset();
        output_.reset();  // removes the unfinished file
        input_.reset();
        xref_ = nullptr;
        document_.Close();
        throw;
    }
    scanner_.reset();
    writer_.reset();
    output_.reset();
    input_.reset();
    xref_ = nullptr;
    document_.Close();
    return true;
}

UpdateTarget CPdfFileStamp::CheckUpdatable() {
    if (!xref_->intact() || xref_->FindMisplacedObject())
        throw CPdfException(
            "The input's cross-reference is damaged: no update can be appended; stamp without -incremental to "
            "rewrite the whole file");
    const std::optional<int32_t> allowed = CertifiedChanges(*xref_);
    if (allowed && *allowed == 1 && !SharedOptions().ignoreDocMdp)
        throw CPdfException(
            "The document is certified with no changes allowed; -ignore-docmdp stamps it all the same");
    return {xref_->base(), xref_->newestSection().offset, xref_->newestSection().isStream};
}

size_t CPdfFileStamp::FirstFreeNumber() const {
    // Beyond every number the input uses or its newest trailer's /Size claims.
    size_t first = xref_->entries().size();
    const CPdfObject size = xref_->trailer().getDict().lookupNF("Size");
    if (size.is(pdfInteger) && size.getInt64() > 0 && size.getInt64() <= CPdfXRef::kMaxObjectNumber + 1)
        first = std::max(first, static_cast<size_t>(size.getInt64()));
    return first;
}

std::optional<std::pair<int32_t, int32_t>> CPdfFileStamp::SelectedPosition(int32_t number) {
    for (int32_t position = pageList_.FirstPositionOf(number); position >= 0;
         position = pageList_.nextPosition[static_cast<size_t>(position)]) {
        if (const std::optional<int32_t> stampNumber = SelectPage(position)) return std::pair(position, *stampNumber);
    }
    return std::nullopt;
}

void CPdfFileStamp::CopyObjects() {
    const auto count = static_cast<int32_t>(xref_->entries().size());
    for (int32_t number = 0; number < count; ++number) {
        const XRefEntry& entry = xref_->entries()[static_cast<size_t>(number)];
        if (entry.type == 0 || writer_->entries()[static_cast<size_t>(number)].inUse != 0) continue;
        if (pageList_.FirstPositionOf(number) < 0) {
            CopyObject(number);
            continue;
        }
        std::optional<std::string> bytes = ReadRawObject(*xref_, number);
        if (!bytes || bytes->empty()) continue;
        if (const auto selected = SelectedPosition(number)) {
            StampPage(number, selected->first, selected->second, std::move(*bytes));
        } else {
            writer_->writeObject(number, xref_->GenerationOf(number), *bytes);
        }
    }
}

void CPdfFileStamp::StampPages() {
    const auto count = static_cast<int32_t>(std::min(xref_->entries().size(), pageList_.firstPosition.size()));
    for (int32_t number = 1; number < count; ++number) {
        const XRefEntry& entry = xref_->entries()[static_cast<size_t>(number)];
        if (pageList_.FirstPositionOf(number) < 0 || entry.type == 0 ||
            writer_->entries()[static_cast<size_t>(number)].inUse != 0)
            continue;
        const auto selected = SelectedPosition(number);
        if (!selected) continue;
        std::optional<std::string> bytes = ReadRawObject(*xref_, number);
        if (!bytes || bytes->empty()) continue;
        StampPage(number, selected->first, selected->second, std::move(*bytes));
    }
}

bool CPdfFileStamp::CopyObject(int32_t number) {
    const XRefEntry& entry = xref_->entries()[static_cast<size_t>(number)];
    if (entry.type == 2) {
        const std::optional<std::string> bytes = ReadRawObject(*xref_, number);
        if (!bytes || bytes->empty()) return false;
        writer_->writeObject(number, 0, *bytes);
        return true;
    }
    const std::optional<RawObjectLocation> location = LocateRawObject(*xref_, number);
    if (!location || location->length <= 0 || location->isObjectStream) return false;
    writer_->copyObject(number, entry.gen, *input_, *location);
    return true;
}

void CPdfFileStamp::StampPage(int32_t number, int32_t position, int32_t stampNumber, std::string bytes) {
    const CPdfObject& walked = pageList_.pages[static_cast<size_t>(position)].page;
    currentPage_ = walked.is(pdfDictionary) ? walked : xref_->Fetch(number, xref_->GenerationOf(number));
    StampFrame frame;
    frame.artifact = tagged_;
    int32_t saveState = 0;
    if (currentPage_.is(pdfDictionary)) {
        // The page's own content may leave the graphics state changed: it is
        // drawn after a shared "q", and the stamp returns to the page's
        // initial state first.
        const ContentState state = scanner_->PageState(currentPage_.getDict());
        if (state.changed) {
            if (saveStateNumber_ == 0) {
                saveStateNumber_ = writer_->nextNumber();
                writer_->appendObject(StreamObject(saveStateNumber_, "q"));
            }
            saveState = saveStateNumber_;
            frame.restores = 1 + state.openNesting;
        }
    }
    WriteContentStream(position, stampNumber, frame);
    const int32_t contentNumber = writer_->nextNumber() - 1;
    CPageEditor editor(*xref_, *writer_);
    editor.EditPage(std::move(bytes), number, currentPage_, contentNumber, Fragments(), saveState,
                    [this](int32_t contents) { return IsSharedContents(contents); });
    currentPage_.clear();
}

bool CPdfFileStamp::IsSharedContents(int32_t number) {
    if (!contentsUse_) {
        contentsUse_.emplace();
        for (size_t position = 0; position < pageList_.pages.size(); ++position) {
            const PageEntry& page = pageList_.pages[position];
            // A page object listed twice is one page.
            if (page.objectNumber > 0 && pageList_.FirstPositionOf(page.objectNumber) != static_cast<int32_t>(position))
                continue;
            if (page.contentsNumber > 0) ++(*contentsUse_)[page.contentsNumber];
        }
    }
    const auto found = contentsUse_->find(number);
    return found != contentsUse_->end() && found->second > 1;
}

StampPlacement CPdfFileStamp::CalcPosition(int32_t position, const StampOptions& options) const {
    const PageEntry& page = pageList_.pages[static_cast<size_t>(position)];
    int32_t rotate = 0;
    if (currentPage_.is(pdfDictionary)) {
        const CPdfObject value = currentPage_.getDict().lookup("Rotate");
        if (value.is(pdfInteger)) rotate = value.getInt();
    }
    return CalcPlacement(page.cropBox, rotate, options);
}
