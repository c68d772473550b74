#include "stamp/CPageEditor.h"

#include <algorithm>
#include <optional>

#include "pdf/object/CPdfDictionary.h"
#include "pdf/object/PdfCharClass.h"
#include "pdf/reader/CPdfXRef.h"
#include "pdf/reader/RawDictionary.h"
#include "pdf/reader/RawObject.h"
#include "writer/COutputWriter.h"
#include "writer/NumberFormat.h"

namespace {

constexpr std::string_view kContents = "Contents";

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

void CPageEditor::WriteObject(int32_t number, const std::string& bytes) {
    writer_.WriteObject(number, xref_.GenerationOf(number), bytes);
}

void CPageEditor::EditPage(std::string page, int32_t objectNumber, const CPdfObject& pageValue, int32_t contentNumber,
                           const std::vector<ResourceFragment>& fragments, int32_t saveStateNumber,
                           const SharedContents& isShared) {
    const std::optional<size_t> pageBody = Opening(page, 0);
    const CPdfDictionary empty;
    const CPdfDictionary& dict = pageValue.is(pdfDictionary) ? pageValue.getDict() : empty;

    EditContents(page, pageBody, dict, contentNumber, saveStateNumber, isShared);

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
    } else if (stored.is(pdfReference) && resources.is(pdfDictionary)) {
        const int32_t number = stored.getRef().number;
        if (std::optional<std::string> bytes = ReadRawObject(xref_, number)) {
            for (const auto& [category, entries] : EntriesByCategory(fragments)) {
                const CPdfObject sub = resources.getDict().lookupNF(category);
                AddResource(*bytes, 0, sub, category, entries);
            }
            WriteObject(number, *bytes);
        }
    }
    WriteObject(objectNumber, page);
}

void CPageEditor::EditContents(std::string& page, std::optional<size_t> pageBody, const CPdfDictionary& pageDict,
                               int32_t contentNumber, int32_t saveStateNumber, const SharedContents& isShared) {
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
        std::optional<std::string> bytes = ReadRawObject(xref_, arrayNumber);
        if (!bytes) return;
        if (isShared && isShared(arrayNumber)) {
            // Other pages draw the same array: this page gets its own.
            if (!pageBody) return;
            if (const std::optional<size_t> key = FindOwnKey(page, *pageBody, kContents))
                InlineContentsArray(page, *key, *bytes, lead, number);
            return;
        }
        // An array object of its own: the new stream joins it there.
        extendArray(*bytes, 0);
        WriteObject(arrayNumber, *bytes);
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
    if (stored.is(pdfReference) && resolved == pdfStream) {
        // "/Contents 5 0 R" becomes "/Contents [5 0 R 12 0 R ]": the bracket
        // goes after the key and the byte that follows it, the new reference
        // before the next delimiter (and before the line end ahead of it).
        if (!key) return;
        const size_t bracket = EndOfKey(*key, kContents) + 1;
        if (bracket > page.size()) return;
        InsertText(page, bracket, "[" + lead);
        size_t at = bracket;
        while (at < page.size() && page[at] != '/' && page[at] != '>' && page[at] != '<') ++at;
        if (at >= page.size()) return;
        while (at > bracket && (page[at - 1] == '\r' || page[at - 1] == '\n')) --at;
        InsertText(page, at, " " + number + " 0 R ]");
    }
}

void CPageEditor::InlineContentsArray(std::string& page, size_t key, const std::string& arrayBytes,
                                      const std::string& lead, const std::string& stamp) {
    const size_t open = arrayBytes.find('[');
    const size_t close = arrayBytes.find(']', open == std::string::npos ? 0 : open);
    if (open == std::string::npos || close == std::string::npos) return;
    // The reference "N G R" after the key.
    const auto isWhite = [](char c) { return IsPdfWhite(static_cast<unsigned char>(c)); };
    const auto isDigit = [](char c) { return IsPdfDigit(static_cast<unsigned char>(c)); };
    size_t at = EndOfKey(key, kContents);
    while (at < page.size() && isWhite(page[at])) ++at;
    const size_t start = at;
    for (int part = 0; part < 2; ++part) {
        if (at >= page.size() || !isDigit(page[at])) return;
        while (at < page.size() && isDigit(page[at])) ++at;
        while (at < page.size() && isWhite(page[at])) ++at;
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
        std::optional<std::string> bytes = ReadRawObject(xref_, number);
        if (!bytes) return;
        if (const std::optional<size_t> subBody = Opening(*bytes, 0)) InsertText(*bytes, *subBody, entries);
        WriteObject(number, *bytes);
    }
}
