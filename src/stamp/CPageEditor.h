#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "pdf/object/CPdfObject.h"
#include "pdf/reader/RawObject.h"

class CPdfArray;
class CPdfDictionary;
class CPdfXRef;
class CEditedObjects;
class COutputWriter;
class PageList;
struct InheritedResources;
struct ResourceHolding;

// One entry the stamp adds to a page's resources: the category (Font,
// XObject, ExtGState), the resource name and the object it names. Entries of
// one category go into the page's sub-dictionary together.
struct ResourceFragment {
    std::string category;
    std::string name;
    int32_t objectNumber = 0;

    // Appends " /F1 10 0 R ": one more entry in a sub-dictionary.
    void AppendShortForm(std::string& out) const;
};

// Rewrites a stamped page so that it draws the stamp's content stream after
// its own and finds the stamp's resources. The changes are insertions into
// the objects' bytes; the page's /Contents array, /Resources dictionary or a
// resource sub-dictionary that is an object of its own is rewritten the same
// way and written again. Writes, in this order: the contents array object,
// the sub-dictionary objects, the resources object, the page object.
//
// When the page's content is to be drawn inside a saved graphics state, the
// stream holding "q" goes first in /Contents. A /Contents array object that
// other pages of `pages` draw too is left as it is: the page gets an array of
// its own with the same streams. A /Contents that draws nothing (none, a
// free, missing or unparsable object that holds no stream, a value that is
// neither a stream nor an array) is replaced by the stamp's stream, and an
// array loses the elements that name no stream.
class CPageEditor {
public:
    // Asks `pages` whether a /Contents array is shared; objects an edit wrote
    // already (`edited`) are not written again.
    CPageEditor(CPdfXRef& xref, COutputWriter& writer, const PageList& pages, CEditedObjects& edited)
        : xref_(xref), writer_(writer), pages_(pages), edited_(edited) {}

    // `page` is the page object's exact bytes and `pageValue` its parsed
    // value; `contentNumber` is the stamp's content stream, the newest object;
    // `saveStateNumber` the stream holding "q" to draw first, 0 for none.
    // False when the page's bytes do not let it draw the stamp or find its
    // resources (nothing is written then, or only objects it shares).
    [[nodiscard]] bool EditPage(RawObject page, int32_t objectNumber, const CPdfObject& pageValue,
                                int32_t contentNumber, const std::vector<ResourceFragment>& fragments,
                                int32_t saveStateNumber = 0);

    // The step before EditPage for a page without a /Resources of its own
    // (it inherits one from a parent node, or has none): inserts one into
    // the page's own dictionary, holding the inherited dictionary's entries
    // (none when there is none), so that the stamp's can be added there and
    // the inherited dictionary stays as it is for the pages not stamped.
    // `page` becomes the page's value with that /Resources. Throws "Resources
    // are not found" when the inherited dictionary cannot be copied.
    // In an encrypted document whose inherited dictionary holds strings, the
    // page becomes its value with every string in plain text, which the
    // writer encrypts under the page's number.
    void GiveOwnResources(RawObject& pageObject, int32_t objectNumber, CPdfObject& page,
                          const InheritedResources& inherited);

private:
    // The bytes of the inherited /Resources dictionary, its strings in plain
    // text when the document is encrypted; nothing when they cannot be read.
    std::optional<std::string> InheritedResourcesText(const InheritedResources& inherited);
    // The page's value alone, its strings in plain text, for the writer to
    // frame and encrypt (an encrypted document's page that gains strings).
    void PlainValue(RawObject& pageObject, int32_t objectNumber);
    // `text`, from object `number`, with its strings decrypted (as hex
    // strings) when the document is encrypted.
    std::string PlainStrings(const std::string& text, int32_t number) const;
    bool EditContents(std::string& page, std::optional<size_t> pageBody, const CPdfDictionary& pageDict,
                      int32_t contentNumber, int32_t saveStateNumber);
    // A /Contents array that is an object of its own; `rebuilt` is the array
    // to write in its place, when some of its elements draw nothing.
    bool EditContentsArrayObject(std::string& page, std::optional<size_t> pageBody, int32_t arrayNumber,
                                 const std::optional<std::string>& rebuilt, const std::string& lead,
                                 const std::string& stamp);
    // "[`lead` elements `stamp`]" of a /Contents array whose elements do not
    // all name a stream, without those (viewers draw nothing of an array that
    // holds one, or stop at it); nothing when every element names one.
    std::optional<std::string> RebuiltArray(const CPdfArray& array, const std::string& lead, const std::string& stamp);
    bool EditResources(std::string& page, std::optional<size_t> pageBody, int32_t objectNumber,
                       const CPdfDictionary& pageDict, const std::vector<ResourceFragment>& fragments);
    // What the page's /Contents, stored as `stored`, leads to.
    PdfObjectKind ContentsKind(const CPdfObject& stored, const CPdfDictionary& pageDict);
    // `reference` names a stream, parsable or not.
    bool HoldsStream(const CPdfObject& reference);
    // The lead after the "[" of the array at or after `from`, the stamp's
    // stream before its "]".
    static bool ExtendArray(std::string& text, size_t from, const std::string& lead, const std::string& stamp);
    // Turns the stream reference after the page's "/Contents" (the key at
    // `key`) into an array of `lead`, that stream and the stamp's stream.
    static bool WrapContentsReference(std::string& page, size_t key, const std::string& lead, const std::string& stamp);
    // Replaces the reference after the page's "/Contents" by an array of the
    // array object's elements between `lead` and the stamp's stream.
    static bool InlineContentsArray(std::string& page, size_t key, const std::string& arrayBytes,
                                    const std::string& lead, const std::string& stamp);
    // Replaces the value that begins at or after `from` by `value`.
    static bool ReplaceValue(std::string& text, size_t from, const std::string& value);
    // Adds the entries (" /F1 10 0 R  /F2 11 0 R ") of one category, which
    // the resources dictionary at or after `where` holds as `holding` says.
    bool AddResource(std::string& text, size_t where, const ResourceHolding& holding, const std::string& category,
                     const std::string& entries);
    void WriteObject(int32_t number, const RawObject& object);

    CPdfXRef& xref_;
    COutputWriter& writer_;
    const PageList& pages_;
    CEditedObjects& edited_;
};
