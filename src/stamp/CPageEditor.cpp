#include "stamp/CPageEditor.h"

#include <algorithm>
#include <optional>

#include "pdf/document/PageList.h"
#include "pdf/object/CPdfArray.h"
#include "pdf/object/CPdfDictionary.h"
#include "pdf/object/PdfCharClass.h"
#include "pdf/reader/CPdfXRef.h"
#include "pdf/reader/RawDictionary.h"
#include "pdf/reader/RawObject.h"
#include "stamp/CEditedObjects.h"
#include "writer/COutputWriter.h"
#include "writer/NumberFormat.h"

namespace {

constexpr std::string_view kContents = "Contents";

// Inserts `text` before the byte at `position` (at the end when beyond it).
void InsertText(std::string& buffer, size_t position, std::string_view text) {
    buffer.insert(std::min(position, buffer.size()), text);
}

}  // namespace

std::string ResourceFragment::LongForm() const {
    return "/" + category + " << /" + name + " " + FormatInt(objectNumber) + " 0 R >>";
}

std::string ResourceFragment::ShortForm() const { return " /" + name + " " + FormatInt(objectNumber) + " 0 R "; }

void CPageEditor::WriteObject(int32_t number, const RawObject& object) {
    writer_.WriteObject(number, xref_.GenerationOf(number), object);
}

bool CPageEditor::EditPage(RawObject pageObject, int32_t objectNumber, const CPdfObject& pageValue,
                           int32_t contentNumber, const std::vector<ResourceFragment>& fragments,
                           int32_t saveStateNumber) {
    std::string& page = pageObject.bytes;
    const std::optional<size_t> pageBody = Opening(page, 0);
    const CPdfDictionary empty;
    const CPdfDictionary& dict = pageValue.is(pdfDictionary) ? pageValue.getDict() : empty;
    if (!EditContents(page, pageBody, dict, contentNumber, saveStateNumber)) return false;
    if (!EditResources(page, pageBody, dict, fragments)) return false;
    WriteObject(objectNumber, pageObject);
    return true;
}

bool CPageEditor::EditResources(std::string& page, std::optional<size_t> pageBody, const CPdfDictionary& pageDict,
                                const std::vector<ResourceFragment>& fragments) {
    const CPdfObject stored = pageDict.lookupNF("Resources");
    if (stored.is(pdfDictionary)) {
        if (!pageBody) return false;
        for (const ResourceFragment& fragment : fragments) {
            // Searched again each time: an earlier insertion moved the bytes.
            const auto key = FindOwnKey(page, *pageBody, "Resources");
            if (!key || !AddResource(page, *key, stored.getDict().lookupNF(fragment.category), fragment)) return false;
        }
        return true;
    }
    // Without resources of its own the page would not find the stamp's.
    const CPdfObject resources = pageDict.lookup("Resources");
    if (!stored.is(pdfReference) || !resources.is(pdfDictionary)) return false;
    // A resources object several stamped pages share gains the entries once.
    const int32_t number = stored.getRef().number;
    if (!edited_.MarkEdited(number)) return true;
    std::optional<RawObject> object = ReadRawObject(xref_, number);
    if (!object) return false;
    for (const ResourceFragment& fragment : fragments) {
        if (!AddResource(object->bytes, 0, resources.getDict().lookupNF(fragment.category), fragment)) return false;
    }
    WriteObject(number, *object);
    return true;
}

bool CPageEditor::EditContents(std::string& page, std::optional<size_t> pageBody, const CPdfDictionary& pageDict,
                               int32_t contentNumber, int32_t saveStateNumber) {
    const CPdfObject stored = pageDict.lookupNF("Contents");
    const PdfObjectKind resolved = ContentsKind(stored, pageDict);
    const std::string number = FormatInt(contentNumber);
    // What goes first in the array: the stream holding "q", or nothing.
    const std::string lead = saveStateNumber > 0 ? FormatInt(saveStateNumber) + " 0 R " : std::string();
    // An array with elements that draw nothing is written anew without them.
    std::optional<std::string> rebuilt;
    if (resolved == pdfArray) {
        const CPdfObject array = pageDict.lookup("Contents");
        if (array.is(pdfArray)) rebuilt = RebuiltArray(array.getArray(), lead, number);
    }
    if (resolved == pdfArray && stored.is(pdfReference))
        return EditContentsArrayObject(page, pageBody, stored.getRef().number, rebuilt, lead, number);
    if (!pageBody) return false;
    const std::optional<size_t> key = FindOwnKey(page, *pageBody, kContents);
    if (resolved == pdfArray && rebuilt) return key && ReplaceValue(page, EndOfKey(*key, kContents), *rebuilt);
    if (resolved == pdfArray) return key && ExtendArray(page, *key, lead, number);
    if (resolved == pdfStream) return key && WrapContentsReference(page, *key, lead, number);
    // No content, or content that draws nothing: the stamp's stream takes its place.
    const std::string value = lead.empty() ? number + " 0 R" : "[" + lead + number + " 0 R ]";
    if (key) return ReplaceValue(page, EndOfKey(*key, kContents), value);
    InsertText(page, *pageBody, "/Contents " + value);
    return true;
}

bool CPageEditor::EditContentsArrayObject(std::string& page, std::optional<size_t> pageBody, int32_t arrayNumber,
                                          const std::optional<std::string>& rebuilt, const std::string& lead,
                                          const std::string& stamp) {
    std::optional<RawObject> array = ReadRawObject(xref_, arrayNumber);
    if (!array) return false;
    if (pages_.IsSharedContents(arrayNumber)) {
        // Other pages draw the same array: this page gets its own.
        if (!pageBody) return false;
        const std::optional<size_t> key = FindOwnKey(page, *pageBody, kContents);
        if (key && rebuilt) return ReplaceValue(page, EndOfKey(*key, kContents), *rebuilt);
        return key && InlineContentsArray(page, *key, array->bytes, lead, stamp);
    }
    // An array object of its own: the new stream joins it there.
    const size_t open = array->bytes.find('[');
    if (rebuilt && open != std::string::npos) {
        if (!ReplaceValue(array->bytes, open, *rebuilt)) return false;
    } else if (!ExtendArray(array->bytes, 0, lead, stamp)) {
        return false;
    }
    WriteObject(arrayNumber, *array);
    return true;
}

std::optional<std::string> CPageEditor::RebuiltArray(const CPdfArray& array, const std::string& lead,
                                                     const std::string& stamp) {
    std::string elements;
    bool dropped = false;
    for (size_t i = 0; i < array.getLength(); ++i) {
        const CPdfObject element = array.getNF(i);
        if (element.is(pdfReference) && HoldsStream(element)) {
            elements += FormatInt(element.getRef().number) + " " + FormatInt(element.getRef().generation) + " R ";
        } else {
            dropped = true;
        }
    }
    if (!dropped) return std::nullopt;
    return "[" + lead + elements + stamp + " 0 R ]";
}

PdfObjectKind CPageEditor::ContentsKind(const CPdfObject& stored, const CPdfDictionary& pageDict) {
    if (stored.is(pdfReference) && HoldsStream(stored)) return pdfStream;
    return pageDict.lookup("Contents").kind();
}

bool CPageEditor::HoldsStream(const CPdfObject& reference) {
    // Read from the object's bytes, without parsing it: a stream whose
    // dictionary does not parse (a /Length that leads nowhere) is still drawn
    // by viewers that repair it. An object stream holds no streams.
    const int32_t number = reference.getRef().number;
    if (number <= 0 || static_cast<size_t>(number) >= xref_.entries().size()) return false;
    const XRefEntry& entry = xref_.entries()[static_cast<size_t>(number)];
    if (entry.type != XRefEntryType::InUse || entry.gen != reference.getRef().generation) return false;
    const std::optional<RawObjectLocation> location = LocateRawObject(xref_, number);
    if (location && location->isStream) return true;
    const std::optional<RawObject> object = ReadRawObject(xref_, number);
    return object && object->bytes.find("stream") != std::string::npos;
}

bool CPageEditor::ExtendArray(std::string& text, size_t from, const std::string& lead, const std::string& stamp) {
    const size_t open = text.find('[', from);
    const size_t close = text.find(']', from);
    if (close == std::string::npos || (!lead.empty() && open > close)) return false;
    InsertText(text, close, " " + stamp + " 0 R ");
    if (!lead.empty()) InsertText(text, open + 1, lead);
    return true;
}

bool CPageEditor::WrapContentsReference(std::string& page, size_t key, const std::string& lead,
                                        const std::string& stamp) {
    // "/Contents 5 0 R" becomes "/Contents [5 0 R 12 0 R ]": the bracket goes
    // after the key and the byte that follows it, the new reference before
    // the next delimiter (and before the line end ahead of it).
    const size_t bracket = EndOfKey(key, kContents) + 1;
    if (bracket > page.size()) return false;
    size_t at = bracket;
    while (at < page.size() && page[at] != '/' && page[at] != '>' && page[at] != '<') ++at;
    if (at >= page.size()) return false;
    while (at > bracket && (page[at - 1] == '\r' || page[at - 1] == '\n')) --at;
    InsertText(page, at, " " + stamp + " 0 R ]");
    InsertText(page, bracket, "[" + lead);
    return true;
}

bool CPageEditor::InlineContentsArray(std::string& page, size_t key, const std::string& arrayBytes,
                                      const std::string& lead, const std::string& stamp) {
    const size_t open = arrayBytes.find('[');
    const size_t close = arrayBytes.find(']', open == std::string::npos ? 0 : open);
    if (open == std::string::npos || close == std::string::npos) return false;
    // The reference "N G R" after the key.
    size_t at = EndOfKey(key, kContents);
    while (at < page.size() && IsPdfWhite(page[at])) ++at;
    const size_t start = at;
    for (int part = 0; part < 2; ++part) {
        if (at >= page.size() || !IsPdfDigit(page[at])) return false;
        while (at < page.size() && IsPdfDigit(page[at])) ++at;
        while (at < page.size() && IsPdfWhite(page[at])) ++at;
    }
    if (at >= page.size() || page[at] != 'R') return false;
    const std::string elements = arrayBytes.substr(open + 1, close - open - 1);
    page.replace(start, at + 1 - start, "[" + lead + elements + " " + stamp + " 0 R ]");
    return true;
}

bool CPageEditor::ReplaceValue(std::string& text, size_t from, const std::string& value) {
    const std::optional<std::pair<size_t, size_t>> span = ValueSpan(text, from);
    if (!span) return false;
    // A space keeps a number apart from the key.
    const bool apart = span->first == 0 || !IsPdfRegular(text[span->first - 1]);
    text.replace(span->first, span->second - span->first, apart ? value : " " + value);
    return true;
}

// Adds one resource to the resources dictionary found at `where` in `text`
// (the "/Resources" key, or the start of the resources object's bytes).
bool CPageEditor::AddResource(std::string& text, size_t where, const CPdfObject& sub,
                              const ResourceFragment& fragment) {
    const std::optional<size_t> body = Opening(text, where);
    if (!body) return false;
    if (sub.is(pdfNull)) {
        // A category given as null: its value is replaced.
        if (const std::optional<size_t> key = FindOwnKey(text, *body, fragment.category)) {
            const auto span = ValueSpan(text, EndOfKey(*key, fragment.category));
            if (!span) return false;
            text.replace(span->first, span->second - span->first, "<<" + fragment.ShortForm() + ">>");
        } else {
            InsertText(text, *body, fragment.LongForm());
        }
        return true;
    }
    if (sub.is(pdfDictionary)) {
        const std::optional<size_t> key = FindOwnKey(text, *body, fragment.category);
        const std::optional<size_t> subBody = key ? Opening(text, *key) : std::nullopt;
        if (!subBody) return false;
        InsertText(text, *subBody, fragment.ShortForm());
        return true;
    }
    if (!sub.is(pdfReference)) return false;
    const int32_t number = sub.getRef().number;
    if (!edited_.MarkEdited(number)) return true;
    std::optional<RawObject> object = ReadRawObject(xref_, number);
    const std::optional<size_t> subBody = object ? Opening(object->bytes, 0) : std::nullopt;
    if (!subBody) return false;
    InsertText(object->bytes, *subBody, fragment.ShortForm());
    WriteObject(number, *object);
    return true;
}
