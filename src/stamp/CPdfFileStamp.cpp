#include "stamp/CPdfFileStamp.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <ctime>
#include <random>

#include "base/CByteSource.h"
#include "base/CPdfException.h"
#include "pdf/document/CPdfCatalog.h"
#include "pdf/document/CPdfDocument.h"
#include "pdf/document/ContentStateScanner.h"
#include "pdf/document/DocMdp.h"
#include "pdf/object/CPdfDictionary.h"
#include "pdf/reader/CPdfSecurityHandler.h"
#include "pdf/reader/CPdfXRef.h"
#include "pdf/reader/RawObject.h"
#include "stamp/CEditedObjects.h"
#include "stamp/StampOptions.h"
#include "writer/COutputCipher.h"
#include "writer/COutputFile.h"
#include "writer/CStagedFiles.h"

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

// The first number of the C library's generator seeded with the time, as
// srand and rand give it, from a generator of the caller's own: the runs of a
// batch share no state.
int32_t TimeSeededNumber() {
    random_data generator{};
    std::array<char, 128> state{};
    initstate_r(static_cast<unsigned>(std::time(nullptr)), state.data(), state.size(), &generator);
    int32_t number = 0;
    random_r(&generator, &number);
    return number;
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
        number = TimeSeededNumber() % 1000000;
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
    // The update's target, for an incremental run.
    std::optional<UpdateTarget> update;
    std::optional<COutputFile> output;
    // Encrypts what the writer adds when the input is encrypted.
    std::optional<COutputCipher> cipher;
    std::optional<COutputWriter> writer;
    // The document's page list, once it is open.
    const PageList* pageList = nullptr;
    std::optional<ContentStateScanner> scanner;
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

void CPdfFileStamp::OpenInput(Run& run) const {
    // Both every run and a batch's count open their input here: what changes
    // how an input is opened (a password, a repair) applies to both.
    run.input = std::make_shared<CFileByteSource>(inputFileName_, "File open error");
    run.document.Open(run.input, password_);
    RequireChangesAllowed(run.document);
    if (SharedOptions().incremental) run.update = CheckUpdatable(run.xref());
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
    if (update) {
        writer.beginUpdate(*run.input, *update);
    } else {
        // An input without a header still gets one.
        writer.writeHeader(run.document.version().empty() ? "PDF-1.4" : run.document.version());
    }
    run.pageList = &run.document.catalog().pageList();
    run.tagged = IsTagged(xref);
    run.scanner.emplace(xref, run.input->Size());
    PrepareSharedObjects(writer, run.pages());
    BeforeCopy();
    PlanEdits(run);
    FindHighestStampNumber(xref, run.pages());
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

void CPdfFileStamp::FindHighestStampNumber(const CPdfXRef& xref, const PageList& pages) {
    highestStampNumber_ = 0;
    for (const int32_t position : StampedPositions(xref, pages)) {
        const std::optional<int32_t> number = SelectPage(position, pages.pageCount());
        if (number && *number > highestStampNumber_) highestStampNumber_ = *number;
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
    // The page as parsed.
    const CPdfObject page = listed.page.is(pdfDictionary) ? listed.page : xref.Fetch(number, xref.GenerationOf(number));
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
