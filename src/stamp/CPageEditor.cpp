#include "stamp/CPageEditor.h"

#include <algorithm>
#include <memory>
#include <optional>

#include "base/CByteSource.h"
#include "base/CPdfException.h"
#include "pdf/document/PageList.h"
#include "pdf/object/CPdfArray.h"
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
        if (parser.Lookahead().is(pdfInteger)) {
            parser.GetObj();
            const CPdfObject generation = parser.GetObj();
            if (!generation.is(pdfInteger) || !parser.Lookahead().isKeyword("obj")) return std::nullopt;
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
        fragment.AppendShortForm(found->second);
    }
    return categories;
}

}  // namespace

void ResourceFragment::AppendShortForm(std::string& out) const {
    out += " /";
    out += name;
    out += ' ';
    AppendInt(out, objectNumber);
    out += " 0 R ";
}

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
    if (!EditResources(page, pageBody, objectNumber, dict, fragments)) return false;
    WriteObject(objectNumber, pageObject);
    return true;
}

bool CPageEditor::EditResources(std::string& page, std::optional<size_t> pageBody, int32_t objectNumber,
                                const CPdfDictionary& pageDict, const std::vector<ResourceFragment>& fragments) {
    const CPdfObject stored = pageDict.lookupNF("Resources");
    const std::vector<std::pair<std::string, std::string>> categories = EntriesByCategory(fragments);
    if (stored.is(pdfDictionary)) {
        if (!pageBody) return false;
        for (const auto& [category, entries] : categories) {
            // Searched again each time: an earlier insertion moved the bytes.
            const auto key = FindOwnKey(page, *pageBody, "Resources");
            const ResourceHolding holding = ResourceHolding::Of(stored.getDict().lookupNF(category));
            if (!key || !AddResource(page, *key, holding, category, entries)) return false;
        }
        return true;
    }
    // Without resources of its own the page would not find the stamp's.
    if (!stored.is(pdfReference)) return false;
    // How the resources object holds each category: as the walk that listed
    // the page read it, else from the object, read again only then.
    std::vector<ResourceHolding> holdings;
    const PageList::Positions positions = pages_.PositionsOf(objectNumber);
    const PageEntry* listed = positions.empty() ? nullptr : &pages_.pages()[static_cast<size_t>(*positions.begin())];
    CPdfObject resources;
    for (const auto& [category, entries] : categories) {
        std::optional<ResourceHolding> holding = listed ? listed->Holding(category) : std::nullopt;
        if (!holding) {
            if (resources.is(pdfNone)) resources = pageDict.lookup("Resources");
            if (!resources.is(pdfDictionary)) return false;
            holding = ResourceHolding::Of(resources.getDict().lookupNF(category));
        }
        holdings.push_back(*holding);
    }
    // A resources object several stamped pages share gains the entries once.
    const int32_t number = stored.getRef().number;
    if (!edited_.MarkEdited(number)) return true;
    std::optional<RawObject> object = ReadRawObject(xref_, number);
    if (!object) return false;
    for (size_t i = 0; i < categories.size(); ++i) {
        if (!AddResource(object->bytes, 0, holdings[i], categories[i].first, categories[i].second)) return false;
    }
    WriteObject(number, *object);
    return true;
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

// Adds the entries (" /F1 10 0 R  /F2 11 0 R ") of one category to the
// resources dictionary found at `where` in `text` (the "/Resources" key, or
// the start of the resources object's bytes).
bool CPageEditor::AddResource(std::string& text, size_t where, const ResourceHolding& holding, const std::string& category,
                              const std::string& entries) {
    const std::optional<size_t> body = Opening(text, where);
    if (!body) return false;
    if (holding.kind == ResourceHolding::Kind::Absent) {
        // A new sub-dictionary: "/Font << /F1 10 0 R >>"; a category given as
        // null has its value replaced.
        if (const std::optional<size_t> key = FindOwnKey(text, *body, category)) {
            const auto span = ValueSpan(text, EndOfKey(*key, category));
            if (!span) return false;
            text.replace(span->first, span->second - span->first, "<<" + entries + ">>");
        } else {
            InsertText(text, *body, "/" + category + " <<" + entries + ">>");
        }
        return true;
    }
    if (holding.kind == ResourceHolding::Kind::InPlace) {
        const std::optional<size_t> key = FindOwnKey(text, *body, category);
        const std::optional<size_t> subBody = key ? Opening(text, *key) : std::nullopt;
        if (!subBody) return false;
        InsertText(text, *subBody, entries);
        return true;
    }
    if (holding.kind != ResourceHolding::Kind::Object) return false;
    const int32_t number = holding.number;
    if (!edited_.MarkEdited(number)) return true;
    std::optional<RawObject> object = ReadRawObject(xref_, number);
    const std::optional<size_t> subBody = object ? Opening(object->bytes, 0) : std::nullopt;
    if (!subBody) return false;
    InsertText(object->bytes, *subBody, entries);
    WriteObject(number, *object);
    return true;
}
