#include "stamp/CPageEditor.h"

#include <optional>

#include "pdf/object/CPdfDictionary.h"
#include "pdf/reader/CPdfXRef.h"
#include "pdf/reader/RawObject.h"
#include "pdf/reader/RawDictionary.h"
#include "writer/COutputFile.h"
#include "writer/COutputWriter.h"
#include "writer/NumberFormat.h"

std::string ResourceFragment::LongForm() const {
    return "/" + category + " << /" + name + " " + FormatInt(objectNumber) + " 0 R >>";
}

std::string ResourceFragment::ShortForm() const { return " /" + name + " " + FormatInt(objectNumber) + " 0 R "; }

void CPageEditor::WriteObject(int32_t number, const std::string& bytes) {
    writer_.setEntry(number, xref_.GenerationOf(number), writer_.file().Position(), true);
    writer_.file().Write(bytes);
}

void CPageEditor::EditPage(std::string page, int32_t objectNumber, const CPdfObject& pageValue,
                           int32_t contentNumber, const std::vector<ResourceFragment>& fragments) {
    const std::optional<size_t> pageBody = Opening(page, 0);
    const CPdfDictionary empty;
    const CPdfDictionary& dict = pageValue.is(pdfDictionary) ? pageValue.getDict() : empty;

    EditContents(page, pageBody, dict, contentNumber);

    const CPdfObject stored = dict.lookupNF("Resources");
    const CPdfObject resources = dict.lookup("Resources");
    if (stored.is(pdfDictionary) && pageBody) {
        for (const ResourceFragment& fragment : fragments) {
            // Searched again each time: an earlier insertion moved the bytes.
            const auto key = FindOwnKey(page, *pageBody, "Resources");
            if (!key) break;
            const CPdfObject sub = stored.getDict().lookupNF(fragment.category);
            AddResource(page, *key, sub, fragment);
        }
    } else if (stored.is(pdfReference) && resources.is(pdfDictionary)) {
        const int32_t number = stored.getRef().number;
        if (std::optional<std::string> bytes = ReadRawObject(xref_, number)) {
            for (const ResourceFragment& fragment : fragments) {
                const CPdfObject sub = resources.getDict().lookupNF(fragment.category);
                AddResource(*bytes, 0, sub, fragment);
            }
            WriteObject(number, *bytes);
        }
    }
    WriteObject(objectNumber, page);
}

void CPageEditor::EditContents(std::string& page, std::optional<size_t> pageBody, const CPdfDictionary& pageDict,
                               int32_t contentNumber) {
    const CPdfObject stored = pageDict.lookupNF("Contents");
    // What /Contents leads to. A single content stream, the common case, is
    // recognised from its bytes without being parsed; anything else is resolved.
    PdfObjectKind resolved = pdfNone;
    if (stored.is(pdfReference) && stored.getRef().generation == xref_.GenerationOf(stored.getRef().number)) {
        const std::optional<RawObjectLocation> location = LocateRawObject(xref_, stored.getRef().number);
        if (location && location->isStream) resolved = pdfStream;
    }
    if (resolved == pdfNone) resolved = pageDict.lookup("Contents").kind();
    const std::string number = FormatInt(contentNumber);
    if (resolved == pdfArray && stored.is(pdfReference)) {
        // An array object of its own: the new stream joins it there.
        const int32_t arrayNumber = stored.getRef().number;
        std::optional<std::string> bytes = ReadRawObject(xref_, arrayNumber);
        if (!bytes) return;
        const size_t close = bytes->find(']');
        if (close != std::string::npos) InsertText(*bytes, close, " " + number + " 0 R ");
        WriteObject(arrayNumber, *bytes);
        return;
    }
    if (!pageBody) return;
    const std::optional<size_t> key = FindOwnKey(page, *pageBody, "Contents");
    if (resolved == pdfArray) {
        if (!key) return;
        const size_t close = page.find(']', *key);
        if (close != std::string::npos) InsertText(page, close, " " + number + " 0 R ");
        return;
    }
    if (stored.is(pdfNull) && resolved == pdfNull) {
        InsertText(page, *pageBody, "/Contents " + number + " 0 R");
        return;
    }
    if (stored.is(pdfReference) && resolved == pdfStream) {
        // "/Contents 5 0 R" becomes "/Contents [5 0 R 12 0 R ]": the bracket
        // goes after the key and the byte that follows it, the new reference
        // before the next delimiter (and before the line end ahead of it).
        if (!key || *key + 10 > page.size()) return;
        InsertText(page, *key + 10, "[");
        size_t at = *key + 10;
        while (at < page.size() && page[at] != '/' && page[at] != '>' && page[at] != '<') ++at;
        if (at >= page.size()) return;
        while (at > *key + 10 && (page[at - 1] == '\r' || page[at - 1] == '\n')) --at;
        InsertText(page, at, " " + number + " 0 R ]");
    }
}

// Adds one resource to the resources dictionary found at `where` in `text`
// (the "/Resources" key, or the start of the resources object's bytes).
void CPageEditor::AddResource(std::string& text, size_t where, const CPdfObject& sub,
                              const ResourceFragment& fragment) {
    const std::optional<size_t> body = Opening(text, where);
    if (!body) return;
    if (sub.is(pdfNull)) {
        InsertText(text, *body, fragment.LongForm());
    } else if (sub.is(pdfDictionary)) {
        const std::optional<size_t> key = FindOwnKey(text, *body, fragment.category);
        if (!key) return;
        if (const std::optional<size_t> subBody = Opening(text, *key)) InsertText(text, *subBody, fragment.ShortForm());
    } else if (sub.is(pdfReference)) {
        const int32_t number = sub.getRef().number;
        std::optional<std::string> bytes = ReadRawObject(xref_, number);
        if (!bytes) return;
        if (const std::optional<size_t> subBody = Opening(*bytes, 0)) InsertText(*bytes, *subBody, fragment.ShortForm());
        WriteObject(number, *bytes);
    }
}
