#include "stamp/CPageEditor.h"

#include <algorithm>
#include <memory>
#include <optional>

#include "base/CByteSource.h"
#include "base/CPdfException.h"
#include "pdf/document/PageList.h"
#include "pdf/object/CPdfDictionary.h"
#include "pdf/object/PdfCharClass.h"
#include "pdf/reader/CPdfFileStream.h"
#include "pdf/reader/CPdfParser.h"
#include "pdf/reader/CPdfSecurityHandler.h"
#include "pdf/reader/CPdfXRef.h"
#include "writer/EncryptedObjectText.h"
#include "pdf/reader/RawDictionary.h"
#include "pdf/reader/RawObject.h"
#include "stamp/CEditedObjects.h"
#include "writer/COutputWriter.h"
#include "writer/NumberFormat.h"

namespace {

constexpr std::string_view kContents = "Contents";
constexpr std::string_view kResources = "Resources";

// The bytes of the value that begins at `from` in an object's raw bytes (with
// the white space before it), or of the object's own value when `from` is
// the start of its "N G obj" header; nothing when no value can be read there.
std::optional<std::string> ValueText(const std::string& bytes, size_t from) {
    try {
        auto source = std::make_shared<CMemoryByteSource>(bytes);
        CPdfParser parser(nullptr,
                          std::make_shared<CPdfFileStream>(source, static_cast<int64_t>(from), 0, CPdfObject::Null()));
        int64_t start = static_cast<int64_t>(from);
        if (parser.lookahead().is(pdfInteger)) {
            parser.GetObj();
            const CPdfObject generation = parser.GetObj();
            if (!generation.is(pdfInteger) || !parser.lookahead().isKeyword("obj")) return std::nullopt;
            parser.Shift();
            start = parser.consumedEnd();
        }
        const CPdfObject value = parser.GetObj();
        if (!value.is(pdfDictionary)) return std::nullopt;
        return bytes.substr(static_cast<size_t>(start), static_cast<size_t>(parser.consumedEnd() - start));
    } catch (const CPdfException&) {
        return std::nullopt;
    }
}

// Inserts `text` before the byte at `position` (at the end when beyond it).
void InsertText(std::string& buffer, size_t position, std::string_view text) {
    buffer.insert(std::min(position, buffer.size()), text);
}

// The fragments' entries by category, in the order the categories first come.
std::vector<std::pair<std::string, std::string>> EntriesByCategory(const std::vector<ResourceFragment>& fragments) {
    std::vector<std::pair<std::string, std::string>> categories;
    for (const ResourceFragment& fragment : fragments) {
        const auto same = [&fragment](const auto& category) { return category.first == fragment.category; };
        auto found = std::find_if(categories.begin(), categories.end(), same);
        if (found == categories.end()) found = categories.insert(categories.end(), {fragment.category, ""});
        found->second += fragment.ShortForm();
    }
    return categories;
}

}  // namespace

std::string ResourceFragment::ShortForm() const { return " /" + name + " " + FormatInt(objectNumber) + " 0 R "; }

void CPageEditor::WriteObject(int32_t number, const RawObject& object) {
    writer_.WriteObject(number, xref_.GenerationOf(number), object);
}

void CPageEditor::EditPage(RawObject pageObject, int32_t objectNumber, const CPdfObject& pageValue,
                           int32_t contentNumber, const std::vector<ResourceFragment>& fragments,
                           int32_t saveStateNumber) {
    std::string& page = pageObject.bytes;
    const std::optional<size_t> pageBody = Opening(page, 0);
    const CPdfDictionary empty;
    const CPdfDictionary& dict = pageValue.is(pdfDictionary) ? pageValue.getDict() : empty;

    EditContents(page, pageBody, dict, contentNumber, saveStateNumber);

    const CPdfObject stored = dict.lookupNF("Resources");
    const CPdfObject resources = dict.lookup("Resources");
    if (stored.is(pdfDictionary) && pageBody) {
        for (const auto& [category, entries] : EntriesByCategory(fragments)) {
            // Searched again each time: an earlier insertion moved the bytes.
            const auto key = FindOwnKey(page, *pageBody, "Resources");
            if (!key) break;
            const CPdfObject sub = stored.getDict().lookupNF(category);
            AddResource(page, *key, sub, category, entries);
        }
    } else if (stored.is(pdfReference) && resources.is(pdfDictionary) && edited_.MarkEdited(stored.getRef().number)) {
        // A resources object several stamped pages share gains the entries once.
        const int32_t number = stored.getRef().number;
        if (std::optional<RawObject> object = ReadRawObject(xref_, number)) {
            for (const auto& [category, entries] : EntriesByCategory(fragments)) {
                const CPdfObject sub = resources.getDict().lookupNF(category);
                AddResource(object->bytes, 0, sub, category, entries);
            }
            WriteObject(number, *object);
        }
    }
    WriteObject(objectNumber, pageObject);
}

void CPageEditor::GiveOwnResources(RawObject& pageObject, int32_t objectNumber, CPdfObject& page,
                                   const InheritedResources& inherited) {
    if (!Opening(pageObject.bytes, 0) || !page.is(pdfDictionary)) return;
    auto resources = std::make_shared<CPdfDictionary>(&xref_);
    CPdfObject value = CPdfObject::FromDictionary(resources);
    std::string text = "<< >>";
    if (!inherited.stored.is(pdfNull)) {
        value = inherited.stored.fetch(&xref_);
        std::optional<std::string> copied = InheritedResourcesText(inherited);
        if (!value.is(pdfDictionary) || !copied) throw CPdfException("Resources are not found");
        text = std::move(*copied);
        if (xref_.securityHandler() != nullptr && MayHoldString(text)) PlainValue(pageObject, objectNumber);
    }
    std::string& pageBytes = pageObject.bytes;
    const std::optional<size_t> body = Opening(pageBytes, 0);
    if (!body) return;
    const size_t first = text.find_first_not_of(" \t\r\n\f");
    std::string own = "/Resources ";
    own.append(text, std::min(first, text.size()));
    InsertText(pageBytes, *body, own);
    // The page's value as the edited bytes read.
    auto edited = std::make_shared<CPdfDictionary>(page.getDict().xref());
    edited->add(std::string(kResources), value);
    for (const auto& [key, entry] : page.getDict().entries()) edited->add(key, entry);
    page = CPdfObject::FromDictionary(std::move(edited));
}

std::optional<std::string> CPageEditor::InheritedResourcesText(const InheritedResources& inherited) {
    // The dictionary is the value of the object it refers to, or stands after
    // the key in the node that holds it.
    const bool indirect = inherited.stored.is(pdfReference);
    const int32_t holder = indirect ? inherited.stored.getRef().number : inherited.holder;
    if (holder <= 0) return std::nullopt;
    const std::optional<RawObject> object = ReadRawObject(xref_, holder);
    if (!object) return std::nullopt;
    const std::string& bytes = object->bytes;
    size_t from = 0;
    if (!indirect) {
        const std::optional<size_t> body = Opening(bytes, 0);
        const std::optional<size_t> key = body ? FindOwnKey(bytes, *body, kResources) : std::nullopt;
        if (!key) return std::nullopt;
        from = EndOfKey(*key, kResources);
    }
    std::optional<std::string> text = ValueText(bytes, from);
    // Strings in an encrypted document are encrypted under their object's
    // number (an object stream's values are plain already): read here in
    // plain text, for the writer to encrypt under the page's.
    if (text && object->form != RawObject::Form::Member) *text = PlainStrings(*text, holder);
    return text;
}

std::string CPageEditor::PlainStrings(const std::string& text, int32_t number) const {
    const CPdfSecurityHandler* security = xref_.securityHandler();
    if (security == nullptr || number == xref_.encryptNumber() || !MayHoldString(text)) return text;
    const int32_t generation = xref_.GenerationOf(number);
    return EncryptObjectText(
        text, [&](std::string_view data) { return security->DecryptString(number, generation, data); }, nullptr);
}

void CPageEditor::PlainValue(RawObject& pageObject, int32_t objectNumber) {
    if (pageObject.form == RawObject::Form::Member) return;
    const std::optional<std::string> value = ValueText(pageObject.bytes, 0);
    if (!value) throw CPdfException("Resources are not found");
    pageObject = RawObject{PlainStrings(*value, objectNumber), RawObject::Form::Member};
}

void CPageEditor::EditContents(std::string& page, std::optional<size_t> pageBody, const CPdfDictionary& pageDict,
                               int32_t contentNumber, int32_t saveStateNumber) {
    const CPdfObject stored = pageDict.lookupNF("Contents");
    const PdfObjectKind resolved = ContentsKind(stored, pageDict);
    const std::string number = FormatInt(contentNumber);
    // What goes first in the array: the stream holding "q", or nothing.
    const std::string lead = saveStateNumber > 0 ? FormatInt(saveStateNumber) + " 0 R " : std::string();
    // The lead after an array's "[", the stamp before its "]".
    const auto extendArray = [&lead, &number](std::string& text, size_t from) {
        const size_t open = text.find('[', from);
        const size_t close = text.find(']', from);
        if (close == std::string::npos) return;
        InsertText(text, close, " " + number + " 0 R ");
        if (!lead.empty() && open < close) InsertText(text, open + 1, lead);
    };
    if (resolved == pdfArray && stored.is(pdfReference)) {
        const int32_t arrayNumber = stored.getRef().number;
        std::optional<RawObject> array = ReadRawObject(xref_, arrayNumber);
        if (!array) return;
        if (pages_.IsSharedContents(arrayNumber)) {
            // Other pages draw the same array: this page gets its own.
            if (!pageBody) return;
            if (const std::optional<size_t> key = FindOwnKey(page, *pageBody, kContents))
                InlineContentsArray(page, *key, array->bytes, lead, number);
            return;
        }
        // An array object of its own: the new stream joins it there.
        extendArray(array->bytes, 0);
        WriteObject(arrayNumber, *array);
        return;
    }
    if (!pageBody) return;
    const std::optional<size_t> key = FindOwnKey(page, *pageBody, kContents);
    if (resolved == pdfArray) {
        if (key) extendArray(page, *key);
        return;
    }
    if (stored.is(pdfNull) && resolved == pdfNull) {
        InsertText(page, *pageBody, "/Contents " + number + " 0 R");
        return;
    }
    if (stored.is(pdfReference) && resolved == pdfStream && key) WrapContentsReference(page, *key, lead, number);
}

PdfObjectKind CPageEditor::ContentsKind(const CPdfObject& stored, const CPdfDictionary& pageDict) {
    // A single content stream, the common case, is recognised from its bytes
    // without being parsed; anything else is resolved.
    if (stored.is(pdfReference) && stored.getRef().generation == xref_.GenerationOf(stored.getRef().number)) {
        const std::optional<RawObjectLocation> location = LocateRawObject(xref_, stored.getRef().number);
        if (location && location->isStream) return pdfStream;
    }
    return pageDict.lookup("Contents").kind();
}

void CPageEditor::WrapContentsReference(std::string& page, size_t key, const std::string& lead,
                                        const std::string& stamp) {
    // "/Contents 5 0 R" becomes "/Contents [5 0 R 12 0 R ]": the bracket goes
    // after the key and the byte that follows it, the new reference before
    // the next delimiter (and before the line end ahead of it).
    const size_t bracket = EndOfKey(key, kContents) + 1;
    if (bracket > page.size()) return;
    InsertText(page, bracket, "[" + lead);
    size_t at = bracket;
    while (at < page.size() && page[at] != '/' && page[at] != '>' && page[at] != '<') ++at;
    if (at >= page.size()) return;
    while (at > bracket && (page[at - 1] == '\r' || page[at - 1] == '\n')) --at;
    InsertText(page, at, " " + stamp + " 0 R ]");
}

void CPageEditor::InlineContentsArray(std::string& page, size_t key, const std::string& arrayBytes,
                                      const std::string& lead, const std::string& stamp) {
    const size_t open = arrayBytes.find('[');
    const size_t close = arrayBytes.find(']', open == std::string::npos ? 0 : open);
    if (open == std::string::npos || close == std::string::npos) return;
    // The reference "N G R" after the key.
    size_t at = EndOfKey(key, kContents);
    while (at < page.size() && IsPdfWhite(page[at])) ++at;
    const size_t start = at;
    for (int part = 0; part < 2; ++part) {
        if (at >= page.size() || !IsPdfDigit(page[at])) return;
        while (at < page.size() && IsPdfDigit(page[at])) ++at;
        while (at < page.size() && IsPdfWhite(page[at])) ++at;
    }
    if (at >= page.size() || page[at] != 'R') return;
    const std::string elements = arrayBytes.substr(open + 1, close - open - 1);
    page.replace(start, at + 1 - start, "[" + lead + elements + " " + stamp + " 0 R ]");
}

// Adds one resource to the resources dictionary found at `where` in `text`
// (the "/Resources" key, or the start of the resources object's bytes).
void CPageEditor::AddResource(std::string& text, size_t where, const CPdfObject& sub, const std::string& category,
                              const std::string& entries) {
    const std::optional<size_t> body = Opening(text, where);
    if (!body) return;
    if (sub.is(pdfNull)) {
        // A new sub-dictionary: "/Font << /F1 10 0 R >>".
        InsertText(text, *body, "/" + category + " <<" + entries + ">>");
    } else if (sub.is(pdfDictionary)) {
        const std::optional<size_t> key = FindOwnKey(text, *body, category);
        if (!key) return;
        if (const std::optional<size_t> subBody = Opening(text, *key)) InsertText(text, *subBody, entries);
    } else if (sub.is(pdfReference)) {
        const int32_t number = sub.getRef().number;
        if (!edited_.MarkEdited(number)) return;
        std::optional<RawObject> object = ReadRawObject(xref_, number);
        if (!object) return;
        if (const std::optional<size_t> subBody = Opening(object->bytes, 0))
            InsertText(object->bytes, *subBody, entries);
        WriteObject(number, *object);
    }
}
