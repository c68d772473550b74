#include "stamp/CPdfFileStamp.h"

#include <algorithm>
#include <unordered_map>

#include "base/CByteSource.h"
#include "base/CPdfException.h"
#include "pdf/document/CPdfCatalog.h"
#include "pdf/document/CPdfDocument.h"
#include "pdf/document/ContentStateScanner.h"
#include "pdf/document/DocMdp.h"
#include "pdf/object/CPdfArray.h"
#include "pdf/object/CPdfDictionary.h"
#include "pdf/reader/CPdfSecurityHandler.h"
#include "pdf/reader/CPdfXRef.h"
#include "pdf/reader/RawObject.h"
#include "stamp/StampOptions.h"
#include "stamp/VersionDeclaration.h"
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

int32_t CPdfFileStamp::NextResourceNumber(std::initializer_list<std::string_view> prefixes) {
    std::optional<int32_t> first;
    if (resourceNumber_) first = resourceNumber_();
    return resourceNames_.FreeNumber(prefixes, first);
}

// What one run opens and writes, released when the run ends however it ends,
// in this order: the scanner, the writer, the output file (removed unless it
// was committed), the document and its input.
struct CPdfFileStamp::Run {
    std::shared_ptr<CByteSource> input;
    CPdfDocument document;
    std::optional<COutputFile> output;
    std::optional<COutputWriter> writer;
    // The document's page list, once it is open.
    const PageList* pageList = nullptr;
    std::optional<ContentStateScanner> scanner;
    // The catalog marks the document as tagged.
    bool tagged = false;
    // The content stream holding only "q", written for the first page that
    // needs it; 0 before.
    int32_t saveStateNumber = 0;
    // How many pages name each /Contents object, counted when first needed.
    std::optional<std::unordered_map<int32_t, int32_t>> contentsUse;

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
    writer.SetCipher(xref.securityHandler());
    OpenStampFiles();
    run.pageList = &StampPageList(run.document);
    run.tagged = IsTagged(xref);
    run.scanner.emplace(xref, run.input->Size());
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
    run.output->Commit();
    Finish();
    return true;
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
    for (int32_t position = pages.FirstPositionOf(number); position >= 0;
         position = pages.nextPosition[static_cast<size_t>(position)]) {
        if (const std::optional<int32_t> stampNumber = SelectPage(position, pages.pageCount))
            return std::pair(position, *stampNumber);
    }
    return std::nullopt;
}

void CPdfFileStamp::CopyObjects(Run& run) {
    CPdfXRef& xref = run.xref();
    const auto count = static_cast<int32_t>(xref.entries().size());
    for (int32_t number = 0; number < count; ++number) {
        const XRefEntry& entry = xref.entries()[static_cast<size_t>(number)];
        if (entry.type == XRefEntryType::Free || run.writer->entries()[static_cast<size_t>(number)].inUse != 0)
            continue;
        if (run.pages().FirstPositionOf(number) < 0) {
            CopyObject(run, number);
            continue;
        }
        std::optional<std::string> bytes = ReadRawObject(xref, number);
        if (!bytes || bytes->empty()) continue;
        if (const auto selected = SelectedPosition(run.pages(), number)) {
            StampPage(run, number, selected->first, selected->second, std::move(*bytes));
        } else {
            run.writer->WriteObject(number, xref.GenerationOf(number), *bytes);
        }
    }
}

void CPdfFileStamp::StampPages(Run& run) {
    CPdfXRef& xref = run.xref();
    const auto count = static_cast<int32_t>(std::min(xref.entries().size(), run.pages().firstPosition.size()));
    for (int32_t number = 1; number < count; ++number) {
        const XRefEntry& entry = xref.entries()[static_cast<size_t>(number)];
        if (run.pages().FirstPositionOf(number) < 0 || entry.type == XRefEntryType::Free ||
            run.writer->entries()[static_cast<size_t>(number)].inUse != 0)
            continue;
        const auto selected = SelectedPosition(run.pages(), number);
        if (!selected) continue;
        std::optional<std::string> bytes = ReadRawObject(xref, number);
        if (!bytes || bytes->empty()) continue;
        StampPage(run, number, selected->first, selected->second, std::move(*bytes));
    }
}

bool CPdfFileStamp::CopyObject(Run& run, int32_t number) {
    CPdfXRef& xref = run.xref();
    const XRefEntry& entry = xref.entries()[static_cast<size_t>(number)];
    if (entry.type == XRefEntryType::Compressed) {
        const std::optional<std::string> bytes = ReadRawObject(xref, number);
        if (!bytes || bytes->empty()) return false;
        run.writer->WriteObject(number, 0, *bytes);
        return true;
    }
    const std::optional<RawObjectLocation> location = LocateRawObject(xref, number);
    if (!location || location->length <= 0 || location->isObjectStream) return false;
    run.writer->CopyObject(number, entry.gen, *run.input, *location);
    return true;
}

void CPdfFileStamp::StampPage(Run& run, int32_t number, int32_t position, int32_t stampNumber, std::string bytes) {
    CPdfXRef& xref = run.xref();
    COutputWriter& writer = *run.writer;
    const PageEntry& listed = run.pages().pages[static_cast<size_t>(position)];
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
        WriteContentStream(writer, {position, stampNumber, run.pages().pageCount, listed.cropBox, page}, frame);
    CPageEditor editor(xref, writer);
    editor.EditPage(std::move(bytes), number, page, contentNumber, Fragments(), saveState,
                    [&run](int32_t contents) { return IsSharedContents(run, contents); });
}

bool CPdfFileStamp::IsSharedContents(Run& run, int32_t number) {
    if (!run.contentsUse) {
        run.contentsUse.emplace();
        const PageList& pages = run.pages();
        for (size_t position = 0; position < pages.pages.size(); ++position) {
            const PageEntry& page = pages.pages[position];
            // A page object listed twice is one page.
            if (page.objectNumber > 0 && pages.FirstPositionOf(page.objectNumber) != static_cast<int32_t>(position))
                continue;
            if (page.contentsNumber > 0) ++(*run.contentsUse)[page.contentsNumber];
        }
    }
    const auto found = run.contentsUse->find(number);
    return found != run.contentsUse->end() && found->second > 1;
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
    for (int32_t position = 0; position < static_cast<int32_t>(pages.pages.size()); ++position) {
        if (!SelectPage(position, pages.pageCount)) continue;
        const PageEntry& entry = pages.pages[static_cast<size_t>(position)];
        if (entry.resourcesNumber > 0) {
            // Without reading the page again.
            resourceNames_.AddResourcesObject(run.xref(), entry.resourcesNumber);
            continue;
        }
        const CPdfObject page = entry.page.is(pdfDictionary) || entry.objectNumber <= 0
                                    ? entry.page
                                    : run.xref().Fetch(entry.objectNumber, run.xref().GenerationOf(entry.objectNumber));
        if (page.is(pdfDictionary)) resourceNames_.AddPageResources(run.xref(), page.getDict());
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
    std::optional<std::string> catalog = ReadRawObject(run.xref(), root);
    if (catalog) catalog = CatalogWithVersion(std::move(*catalog), needed);
    if (catalog) run.writer->WriteObject(root, run.xref().GenerationOf(root), *catalog);
}

StampPlacement CPdfFileStamp::CalcPosition(const StampedPage& page, const StampOptions& options) {
    int32_t rotate = 0;
    if (page.object.is(pdfDictionary)) {
        const CPdfObject value = page.object.getDict().lookup("Rotate");
        if (value.is(pdfInteger)) rotate = value.getInt();
    }
    return CalcPlacement(page.cropBox, rotate, options);
}
