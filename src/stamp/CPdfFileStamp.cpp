#include "stamp/CPdfFileStamp.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <random>

#include "base/CByteSource.h"
#include "base/CPdfException.h"
#include "pdf/document/CPdfCatalog.h"
#include "pdf/document/CPdfDocument.h"
#include "pdf/document/ContentStateScanner.h"
#include "pdf/document/DocMdp.h"
#include "pdf/object/CPdfDictionary.h"
#include "pdf/object/PdfCharClass.h"
#include "pdf/reader/CPdfSecurityHandler.h"
#include "pdf/reader/CPdfXRef.h"
#include "pdf/reader/RawObject.h"
#include "stamp/CEditedObjects.h"
#include "stamp/StampOptions.h"
#include "writer/COutputCipher.h"
#include "writer/COutputFile.h"

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

// What one run opens and writes, released when the run ends however it ends,
// in this order: the edit plan, the scanner, the writer, its cipher, the output file
// (removed unless it was committed), the document and its input.
struct CPdfFileStamp::Run {
    std::shared_ptr<CByteSource> input;
    CPdfDocument document;
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
    // The content stream holding only "q", written for the first page that
    // needs it; 0 before.
    int32_t saveStateNumber = 0;
    // The objects the page edits write again, each once.
    std::optional<CEditedObjects> edits;

    CPdfXRef& xref() const { return document.xref(); }
    const PageList& pages() const { return *pageList; }
};

bool CPdfFileStamp::Process() {
    Run run;
    run.input = std::make_shared<CFileByteSource>(inputFileName_, "File open error");
    run.document.Open(run.input, password_);
    CPdfXRef& xref = run.xref();
    RequireChangesAllowed(run.document);
    const bool incremental = SharedOptions().incremental;
    const std::optional<UpdateTarget> update = incremental ? std::optional(CheckUpdatable(xref)) : std::nullopt;
    run.output.emplace(outputFileName_, "Output file create error");
    COutputWriter& writer =
        run.writer.emplace(*run.output, incremental ? FirstFreeNumber(xref) : xref.entries().size());
    if (const CPdfSecurityHandler* security = xref.securityHandler()) {
        writer.SetCipher(&run.cipher.emplace(*security), xref.encryptNumber());
    }
    OpenStampFiles();
    BeginOutput(run, update);
    run.pageList = &run.document.catalog().pageList();
    run.tagged = IsTagged(xref);
    run.scanner.emplace(xref, run.input->Size(), scanThreads_);
    PrepareSharedObjects(writer, run.pages());
    BeforeCopy();
    PlanEdits(run);
    run.stampOrder = StampOrder(run.pages());
    if (update) {
        StampPages(run);
    } else {
        CopyObjects(run);
    }
    AfterCopy();
    if (update) {
        writer.writeUpdateSection(xref.trailer().getDict());
    } else {
        const int64_t xrefPosition = writer.writeXRefTable();
        writer.writeTrailer(xrefPosition, xref.trailer().getDict());
    }
    run.output->Commit();
    Finish();
    return true;
}

namespace {

// Whether version `version` ("PDF-1.4") is older than `least`; false when
// either cannot be read.
bool OlderVersion(std::string_view version, std::string_view least) {
    const auto parse = [](std::string_view text) -> std::optional<std::pair<int, int>> {
        if (text.size() != 7 || text.substr(0, 4) != "PDF-" || !IsPdfDigit(text[4]) || text[5] != '.' ||
            !IsPdfDigit(text[6]))
            return std::nullopt;
        return std::pair(text[4] - '0', text[6] - '0');
    };
    const auto have = parse(version);
    const auto need = parse(least);
    return have && need && *have < *need;
}

}  // namespace

void CPdfFileStamp::BeginOutput(Run& run, const std::optional<UpdateTarget>& update) {
    // An input without a header still gets one.
    const std::string version = run.document.version().empty() ? "PDF-1.4" : run.document.version();
    const std::string least = LeastVersion();
    const bool older = OlderVersion(version, least);
    if (update) {
        // An update keeps the file's version: the stamp does without.
        if (older) KeepVersion();
        run.writer->beginUpdate(*run.input, *update);
    } else {
        run.writer->writeHeader(older ? least : version);
    }
}

UpdateTarget CPdfFileStamp::CheckUpdatable(CPdfXRef& xref) const {
    if (!xref.intact() || xref.FindMisplacedObject())
        throw CPdfException(
            "The input's cross-reference is damaged: no update can be appended; stamp without -incremental to "
            "rewrite the whole file");
    const std::optional<int32_t> allowed = CertifiedChanges(xref);
    if (allowed && *allowed == 1 && !SharedOptions().ignoreDocMdp)
        throw CPdfException("The document is certified with no changes allowed; -ignore-docmdp stamps it all the same");
    return {xref.base(), xref.newestSection().offset, xref.newestSection().isStream};
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

std::vector<int32_t> CPdfFileStamp::StampOrder(const PageList& pages) {
    std::vector<int32_t> order;
    std::vector<bool> seen;
    for (size_t position = 0; position < pages.pages().size(); ++position) {
        const int32_t number = pages.pages()[position].objectNumber;
        if (number <= 0) continue;
        if (seen.size() <= static_cast<size_t>(number)) seen.resize(static_cast<size_t>(number) + 1);
        if (seen[static_cast<size_t>(number)] || !SelectPage(static_cast<int32_t>(position), pages.pageCount()))
            continue;
        seen[static_cast<size_t>(number)] = true;
        order.push_back(number);
    }
    std::sort(order.begin(), order.end());
    return order;
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
        std::optional<RawObject> object = ReadRawObject(xref, number);
        if (!object || object->bytes.empty()) continue;
        if (const auto selected = SelectedPosition(run.pages(), number)) {
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
        if (!object || object->bytes.empty()) continue;
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
    run.writer->CopyObject(number, entry.gen, *run.input, *location);
    return true;
}

void CPdfFileStamp::StampPage(Run& run, int32_t number, int32_t position, int32_t stampNumber, RawObject object) {
    CPdfXRef& xref = run.xref();
    COutputWriter& writer = *run.writer;
    const PageEntry& listed = run.pages().pages()[static_cast<size_t>(position)];
    ScanAhead(run, number);
    // The page as parsed.
    const CPdfObject page = PageObject(run, number, listed);
    StampFrame frame;
    frame.artifact = run.tagged;
    int32_t saveState = 0;
    if (page.is(pdfDictionary)) {
        // The page's own content may leave the graphics state changed: it is
        // drawn after a shared "q", and the stamp returns to the page's
        // initial state first.
        const ContentState state = run.scanner->PageState(page.getDict());
        if (state.changed) {
            if (run.saveStateNumber == 0) run.saveStateNumber = writer.AppendStream("q");
            saveState = run.saveStateNumber;
            frame.restores = 1 + state.openNesting;
        }
    }
    const int32_t contentNumber =
        WriteContentStream(writer, {position, stampNumber, run.pages().pageCount(), listed.cropBox, page}, frame);
    CPageEditor editor(xref, writer, run.pages(), *run.edits);
    editor.EditPage(std::move(object), number, page, contentNumber, Fragments(), saveState);
}

StampPlacement CPdfFileStamp::CalcPosition(const StampedPage& page, const StampOptions& options) {
    int32_t rotate = 0;
    if (page.object.is(pdfDictionary)) {
        const CPdfObject value = page.object.getDict().lookup("Rotate");
        if (value.is(pdfInteger)) rotate = value.getInt();
    }
    return CalcPlacement(page.cropBox, rotate, options);
}
