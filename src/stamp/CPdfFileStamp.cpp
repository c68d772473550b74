#include "stamp/CPdfFileStamp.h"

#include <algorithm>
#include <deque>
#include <map>

#include "base/CByteSource.h"
#include "base/CPdfException.h"
#include "pdf/document/CPdfCatalog.h"
#include "pdf/document/CPdfDocument.h"
#include "pdf/document/ContentStateScanner.h"
#include "pdf/document/DocMdp.h"
#include "pdf/document/Signatures.h"
#include "pdf/object/CPdfArray.h"
#include "pdf/object/CPdfDictionary.h"
#include "pdf/reader/CPdfSecurityHandler.h"
#include "pdf/reader/CPdfXRef.h"
#include "pdf/reader/CXRefRepair.h"
#include "pdf/reader/RawObject.h"
#include "stamp/CEditedObjects.h"
#include "stamp/StampOptions.h"
#include "stamp/VersionDeclaration.h"
#include "writer/COutputCipher.h"
#include "writer/COutputFile.h"
#include "writer/CStagedFiles.h"
#include "writer/NumberFormat.h"

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

int32_t CPdfFileStamp::NextResourceNumber(std::initializer_list<std::string_view> prefixes) {
    std::optional<int32_t> first;
    if (resourceNumber_) first = resourceNumber_();
    const int32_t number = resourceNames_.FreeNumber(prefixes, first);
    resourceNames_.Take(prefixes, number);
    return number;
}

// What one run opens and writes, released when the run ends however it ends,
// in this order: the edit plan, the scanner, the writer, its cipher, the output file
// (removed unless it was committed), the document and its input.
struct CPdfFileStamp::Run {
    std::shared_ptr<CByteSource> input;
    CPdfDocument document;
    // The update's target, for an incremental run.
    std::optional<UpdateTarget> update;
    std::optional<COutputFile> output;
    // Encrypts what the writer adds when the input is encrypted.
    std::optional<COutputCipher> cipher;
    std::optional<COutputWriter> writer;
    // The document's page list, once it is open.
    const PageList* pageList = nullptr;
    std::optional<ContentStateScanner> scanner;
    // The page objects stamped, in the order they are; how many of them
    // are prepared for the scanner, and the dictionaries of those not stamped
    // yet that the page list does not keep.
    std::vector<int32_t> stampOrder;
    size_t prepared = 0;
    // The streams the scanner had handed to its threads when the window of
    // pages being prepared began.
    uint64_t handedOver = 0;
    std::deque<std::pair<int32_t, CPdfObject>> aheadPages;
    // The catalog marks the document as tagged.
    bool tagged = false;
    // The content streams holding only "q", by how many they hold, each
    // written for the first page that needs it.
    std::map<int64_t, int32_t> saveStates;
    // The objects the page edits write again, each once.
    std::optional<CEditedObjects> edits;

    CPdfXRef& xref() const { return document.xref(); }
    const PageList& pages() const { return *pageList; }
};

void CPdfFileStamp::OpenInput(Run& run) const {
    // Both every run and a batch's count open their input here: what changes
    // how an input is opened (a password, a repair) applies to both.
    if (SharedOptions().incremental && SharedOptions().repair)
        throw CPdfException(
            "-repair and -incremental do not go together: an update cannot be appended to a file whose "
            "cross-reference table is broken; -repair rewrites the whole file");
    run.input = std::make_shared<CFileByteSource>(inputFileName_, "File open error");
    run.document.Open(run.input, password_, SharedOptions().repair);
    RequireChangesAllowed(run.document);
    run.update = ChooseUpdate(run.xref());
}

bool CPdfFileStamp::Process() {
    Run run;
    Write(run);
    run.output->Commit();
    Finish();
    return true;
}

void CPdfFileStamp::ProcessStaged(CStagedFiles& staged, size_t slot) {
    Run run;
    Write(run);
    run.output->Stage(staged, slot);
}

CPdfFileStamp::StampPlan CPdfFileStamp::Plan() {
    Run run;
    OpenInput(run);
    const PageList& pages = run.document.catalog().pageList();
    run.pageList = &pages;
    RequireStampablePages(run);
    StampPlan plan{pages.pageCount(), static_cast<int32_t>(pages.pages().size()), {}};
    const std::vector<int32_t> stamped = StampedPositions(run.xref(), pages);
    auto next = stamped.begin();
    for (int32_t position = 0; position < plan.listedPages; ++position) {
        if (next != stamped.end() && *next == position) {
            ++next;
        } else if (SelectPage(position, plan.pageCount)) {
            plan.skipped.push_back(position);
        }
    }
    return plan;
}

void CPdfFileStamp::Write(Run& run) {
    OpenInput(run);
    CPdfXRef& xref = run.xref();
    const std::optional<UpdateTarget>& update = run.update;
    run.output.emplace(outputFileName_, "Output file create error");
    COutputWriter& writer = run.writer.emplace(*run.output, update ? FirstFreeNumber(xref) : xref.entries().size());
    if (const CPdfSecurityHandler* security = xref.securityHandler()) {
        writer.SetCipher(&run.cipher.emplace(*security), xref.encryptNumber());
    }
    OpenStampFiles();
    run.pageList = &run.document.catalog().pageList();
    run.tagged = IsTagged(xref);
    run.scanner.emplace(xref, run.input->Size(), scanThreads_);
    CollectResourceNames(run);
    const std::string needed(PrepareStamp(run.pages()));
    if (update) {
        writer.beginUpdate(*run.input, *update);
    } else if (!VersionMeets(InputVersion(run), needed)) {
        writer.writeHeader("PDF-" + needed);
    } else {
        // An input without a header still gets one.
        writer.writeHeader(run.document.version().empty() ? "PDF-1.4" : run.document.version());
    }
    PrepareSharedObjects(writer, run.pages());
    BeforeCopy();
    PlanEdits(run);
    RequireStampablePages(run);
    ListStampedPages(run);
    if (update) {
        StampPages(run);
    } else {
        CopyObjects(run);
    }
    AfterCopy();
    if (update) {
        DeclareVersionInCatalog(run, needed);
        writer.writeUpdateSection(xref.trailer().getDict());
    } else {
        const int64_t xrefPosition = writer.writeXRefTable();
        writer.writeTrailer(xrefPosition, xref.trailer().getDict());
    }
}

std::vector<int32_t> CPdfFileStamp::StampedPositions(const CPdfXRef& xref, const PageList& pages) {
    std::vector<int32_t> stamped;
    const auto count = static_cast<int32_t>(pages.pages().size());
    for (int32_t position = 0; position < count; ++position) {
        const int32_t number = pages.pages()[static_cast<size_t>(position)].objectNumber;
        if (number <= 0 || static_cast<size_t>(number) >= xref.entries().size() ||
            xref.entries()[static_cast<size_t>(number)].type == XRefEntryType::Free)
            continue;
        const auto selected = SelectedPosition(pages, number);
        if (selected && selected->first == position) stamped.push_back(position);
    }
    return stamped;
}

void CPdfFileStamp::ListStampedPages(Run& run) {
    highestStampNumber_ = 0;
    run.stampOrder.clear();
    for (const int32_t position : StampedPositions(run.xref(), run.pages())) {
        if (const std::optional<int32_t> number = SelectPage(position, run.pages().pageCount()))
            highestStampNumber_ = std::max(highestStampNumber_, *number);
        run.stampOrder.push_back(run.pages().pages()[static_cast<size_t>(position)].objectNumber);
    }
    std::sort(run.stampOrder.begin(), run.stampOrder.end());
}

std::optional<UpdateTarget> CPdfFileStamp::ChooseUpdate(CPdfXRef& xref) const {
    const StampOptions& options = SharedOptions();
    RequireCertificationAllows(xref);
    if (options.incremental) {
        if (!IsUpdatable(xref))
            throw CPdfException(
                "The input's cross-reference is damaged: no update can be appended; stamp without -incremental to "
                "rewrite the whole file");
        return UpdateTarget{xref.base(), xref.newestSection().offset, xref.newestSection().isStream};
    }
    // A rewrite would move the signed bytes: the signatures stay valid only
    // under an update.
    if (options.breakSignatures || !IsSigned(xref)) return std::nullopt;
    if (!IsUpdatable(xref))
        throw CPdfException(
            "The document is signed and its cross-reference is damaged: no update can be appended to keep the "
            "signatures valid; -break-signatures rewrites the whole file and breaks them");
    return UpdateTarget{xref.base(), xref.newestSection().offset, xref.newestSection().isStream};
}

bool CPdfFileStamp::IsUpdatable(CPdfXRef& xref) { return xref.intact() && !xref.FindMisplacedObject(); }

void CPdfFileStamp::RequireCertificationAllows(CPdfXRef& xref) const {
    // Every level of certification forbids changes to the pages' content.
    const std::optional<int32_t> allowed = CertifiedChanges(xref);
    if (!allowed || SharedOptions().ignoreDocMdp) return;
    if (*allowed == 1)
        throw CPdfException("The document is certified with no changes allowed; -ignore-docmdp stamps it all the same");
    throw CPdfException(
        "The document is certified with no changes to its pages allowed; -ignore-docmdp stamps it all the same");
}

size_t CPdfFileStamp::FirstFreeNumber(CPdfXRef& xref) {
    // Beyond every number the input uses or its newest trailer's /Size claims.
    size_t first = xref.entries().size();
    const CPdfObject size = xref.trailer().getDict().lookupNF("Size");
    if (size.is(pdfInteger) && size.getInt64() > 0 && size.getInt64() <= CPdfXRef::kMaxObjectNumber + 1)
        first = std::max(first, static_cast<size_t>(size.getInt64()));
    return first;
}

std::optional<std::pair<int32_t, int32_t>> CPdfFileStamp::SelectedPosition(const PageList& pages, int32_t number) {
    for (const int32_t position : pages.PositionsOf(number)) {
        if (const std::optional<int32_t> stampNumber = SelectPage(position, pages.pageCount()))
            return std::pair(position, *stampNumber);
    }
    return std::nullopt;
}

void CPdfFileStamp::ScanAhead(Run& run, int32_t number) {
    // Pages are prepared in windows; a window in which no stream went to a
    // thread (a document of short, plain content) is followed by a few left
    // to their turn, so that reading ahead does not cost more than it saves.
    constexpr size_t kPagesAhead = 64;
    constexpr size_t kQuietPages = 15 * kPagesAhead;
    if (!run.scanner->HasThreads()) return;
    const auto done = static_cast<size_t>(std::lower_bound(run.stampOrder.begin(), run.stampOrder.end(), number) -
                                          run.stampOrder.begin());
    for (; run.prepared < run.stampOrder.size() && run.prepared <= done + kPagesAhead; ++run.prepared) {
        if (run.prepared % kPagesAhead == 0) {
            if (run.prepared > 0 && run.scanner->handedOver() == run.handedOver) {
                run.prepared += kQuietPages;
                if (run.prepared >= run.stampOrder.size()) break;
            }
            run.handedOver = run.scanner->handedOver();
        }
        PreparePage(run, run.stampOrder[run.prepared]);
    }
}

void CPdfFileStamp::PreparePage(Run& run, int32_t number) {
    CPdfObject page = run.pages().pages()[static_cast<size_t>(*run.pages().PositionsOf(number).begin())].page;
    if (!page.is(pdfDictionary)) {
        // Read now, and kept for its turn, unless it is in an object stream:
        // those are read in their turn only.
        std::optional<CPdfObject> read;
        try {
            read = run.xref().FetchOutsideObjectStreams(number, run.xref().GenerationOf(number));
        } catch (const CPdfException&) {
            // Read in its turn.
        }
        if (!read || !read->is(pdfDictionary)) return;
        page = std::move(*read);
        run.aheadPages.emplace_back(number, page);
    }
    run.scanner->Prepare(page.getDict());
}

CPdfObject CPdfFileStamp::PageObject(Run& run, int32_t number, const PageEntry& listed) {
    if (listed.page.is(pdfDictionary)) return listed.page;
    while (!run.aheadPages.empty() && run.aheadPages.front().first < number) run.aheadPages.pop_front();
    if (!run.aheadPages.empty() && run.aheadPages.front().first == number) return run.aheadPages.front().second;
    return run.xref().Fetch(number, run.xref().GenerationOf(number));
}

void CPdfFileStamp::PlanEdits(Run& run) {
    std::vector<std::string> categories;
    for (const ResourceFragment& fragment : Fragments()) categories.push_back(fragment.category);
    const int32_t pageCount = run.pages().pageCount();
    run.edits.emplace(
        run.pages(), [this, pageCount](int32_t position) { return SelectPage(position, pageCount).has_value(); },
        categories);
}

void CPdfFileStamp::RequireStampablePages(const Run& run) {
    const std::vector<PageEntry>& pages = run.pages().pages();
    for (size_t position = 0; position < pages.size(); ++position) {
        const auto at = static_cast<int32_t>(position);
        if (pages[position].objectNumber == 0 && SelectPage(at, run.pages().pageCount()))
            throw CPdfException("Page " + FormatInt(int64_t{at} + 1) +
                                " cannot be stamped: it is written inside its parent's /Kids, not as an object of its "
                                "own");
    }
}

void CPdfFileStamp::CopyObjects(Run& run) {
    CPdfXRef& xref = run.xref();
    const auto count = static_cast<int32_t>(xref.entries().size());
    for (int32_t number = 0; number < count; ++number) {
        const XRefEntry& entry = xref.entries()[static_cast<size_t>(number)];
        if (entry.type == XRefEntryType::Free || run.writer->entries()[static_cast<size_t>(number)].inUse != 0)
            continue;
        if (run.pages().PositionsOf(number).empty()) {
            CopyObject(run, number, true);
            continue;
        }
        const auto selected = SelectedPosition(run.pages(), number);
        std::optional<RawObject> object = ReadRawObject(xref, number);
        if (!object || object->bytes.empty()) {
            if (selected) FailUnstampable(selected->first);
            continue;
        }
        if (selected) {
            StampPage(run, number, selected->first, selected->second, std::move(*object));
        } else {
            run.writer->WriteObject(number, xref.GenerationOf(number), *object);
        }
    }
    // What was left to an edit that did not come.
    for (const int32_t number : run.edits->deferred()) {
        if (run.writer->entries()[static_cast<size_t>(number)].inUse == 0) CopyObject(run, number, false);
    }
}

void CPdfFileStamp::StampPages(Run& run) {
    CPdfXRef& xref = run.xref();
    const auto count = static_cast<int32_t>(xref.entries().size());
    for (int32_t number = 1; number < count; ++number) {
        const XRefEntry& entry = xref.entries()[static_cast<size_t>(number)];
        if (run.pages().PositionsOf(number).empty() || entry.type == XRefEntryType::Free ||
            run.writer->entries()[static_cast<size_t>(number)].inUse != 0)
            continue;
        const auto selected = SelectedPosition(run.pages(), number);
        if (!selected) continue;
        std::optional<RawObject> object = ReadRawObject(xref, number);
        if (!object || object->bytes.empty()) FailUnstampable(selected->first);
        StampPage(run, number, selected->first, selected->second, std::move(*object));
    }
}

bool CPdfFileStamp::CopyObject(Run& run, int32_t number, bool mayDefer) {
    CPdfXRef& xref = run.xref();
    const XRefEntry& entry = xref.entries()[static_cast<size_t>(number)];
    if (entry.type == XRefEntryType::Compressed) {
        if (mayDefer && run.edits->Defers(number, [] { return false; })) return false;
        const std::optional<RawObject> object = ReadRawObject(xref, number);
        if (!object || object->bytes.empty()) return false;
        run.writer->WriteObject(number, 0, *object);
        return true;
    }
    const std::optional<RawObjectLocation> location = LocateRawObject(xref, number);
    // Object streams are unpacked, and the cross-reference is written anew.
    if (!location || location->length <= 0 || location->isObjectStream || location->isXRefStream) return false;
    if (mayDefer && run.edits->Defers(number, [&location] { return location->isStream; })) return false;
    // A stream of a rebuilt file whose /Length is wrong: with the length of its data.
    if (xref.rebuilt() && location->isStream) {
        if (const std::optional<RawObject> repaired = RepairedStreamObject(xref, number)) {
            run.writer->WriteObject(number, entry.gen, *repaired);
            return true;
        }
    }
    run.writer->CopyObject(number, entry.gen, *run.input, *location);
    return true;
}

void CPdfFileStamp::StampPage(Run& run, int32_t number, int32_t position, int32_t stampNumber, RawObject object) {
    CPdfXRef& xref = run.xref();
    COutputWriter& writer = *run.writer;
    const PageEntry& listed = run.pages().pages()[static_cast<size_t>(position)];
    ScanAhead(run, number);
    // The page as parsed.
    CPdfObject page = PageObject(run, number, listed);
    CPageEditor editor(xref, writer, run.pages(), *run.edits);
    if (page.is(pdfDictionary) && page.getDict().lookupNF("Resources").is(pdfNull))
        editor.GiveOwnResources(object, number, page, listed.resources);
    StampFrame frame;
    const int32_t saveState = FramePage(run, position, page, frame);
    const int32_t contentNumber = WriteContentStream(
        writer, {position, stampNumber, run.pages().pageCount(), listed.cropBox, listed.rotate, page}, frame);
    if (!editor.EditPage(std::move(object), number, page, contentNumber, Fragments(), saveState))
        FailUnstampable(position);
}

int32_t CPdfFileStamp::FramePage(Run& run, int32_t position, const CPdfObject& page, StampFrame& frame) {
    frame.artifact = run.tagged;
    if (!page.is(pdfDictionary)) return 0;
    // The page's own content may leave the graphics state changed: it is
    // drawn after "q" (one more for each "Q" of its own without its "q"), and
    // the stamp first closes what the content left open, then returns to the
    // page's initial state.
    const ContentState state = run.scanner->PageState(page.getDict());
    static_assert(ContentState::kMaxOpenNesting == 256, "the message names the limit");
    if (std::max({state.openNesting, state.unmatchedRestores, state.openMarkedContent}) > ContentState::kMaxOpenNesting)
        throw CPdfException("Page " + FormatInt(int64_t{position} + 1) +
                            " cannot be stamped: its content leaves more than 256 saved graphics states or "
                            "marked-content sequences unbalanced");
    frame.closesTextObject = state.textObjectOpen;
    frame.closesMarkedContent = static_cast<int32_t>(state.openMarkedContent);
    if (!state.changed) return 0;
    frame.restores = static_cast<int32_t>(1 + state.openNesting);
    int32_t& saveState = run.saveStates[1 + state.unmatchedRestores];
    if (saveState == 0) {
        std::string data = "q";
        for (int64_t i = 0; i < state.unmatchedRestores; ++i) data += "\nq";
        saveState = run.writer->AppendStream(data);
    }
    return saveState;
}

void CPdfFileStamp::FailUnstampable(int32_t position) {
    throw CPdfException("Page " + FormatInt(int64_t{position} + 1) +
                        " cannot be stamped: its page object cannot be read or edited");
}

void CPdfFileStamp::CollectResourceNames(Run& run) {
    // The input's identity: its trailer's first /ID string, else its first bytes.
    std::string identity;
    const CPdfObject id = run.xref().trailer().getDict().lookup("ID");
    if (id.is(pdfArray) && id.getArray().getLength() > 0 && id.getArray().get(0).is(pdfString)) {
        identity = id.getArray().get(0).getString().bytes();
    } else {
        identity.resize(static_cast<size_t>(std::min<uint64_t>(run.input->Size(), 1024)));
        identity.resize(run.input->Read(0, reinterpret_cast<uint8_t*>(identity.data()), identity.size()));
    }
    resourceNames_.Seed(identity, parameters_);
    const PageList& pages = run.pages();
    resourceNames_.AddNames(pages.resourceNames());
    for (int32_t position = 0; position < static_cast<int32_t>(pages.pages().size()); ++position) {
        const PageEntry& entry = pages.pages()[static_cast<size_t>(position)];
        if (entry.resourceObjects.empty() || !SelectPage(position, pages.pageCount())) continue;
        for (const ResourceObject& sub : entry.resourceObjects) {
            if (sub.category == "Font" || sub.category == "XObject" || sub.category == "ExtGState")
                resourceNames_.AddSubDictionary(run.xref(), sub.number);
        }
    }
}

std::optional<std::string> CPdfFileStamp::InputVersion(Run& run) {
    const CPdfObject catalog = run.xref().Fetch(run.xref().root().number, run.xref().root().generation);
    const CPdfObject version = catalog.is(pdfDictionary) ? catalog.getDict().lookup("Version") : CPdfObject::Null();
    return DeclaredVersion(run.document.version(), version.is(pdfName) ? version.getName() : std::string_view());
}

void CPdfFileStamp::DeclareVersionInCatalog(Run& run, std::string_view needed) {
    if (VersionMeets(InputVersion(run), needed)) return;
    const int32_t root = run.xref().root().number;
    std::optional<RawObject> catalog = ReadRawObject(run.xref(), root);
    if (!catalog) return;
    std::optional<std::string> edited = CatalogWithVersion(std::move(catalog->bytes), needed);
    if (!edited) return;
    catalog->bytes = std::move(*edited);
    run.writer->WriteObject(root, run.xref().GenerationOf(root), *catalog);
}

StampPlacement CPdfFileStamp::CalcPosition(const StampedPage& page, const StampOptions& options) {
    return CalcPlacement(page.cropBox, page.rotate, options);
}
