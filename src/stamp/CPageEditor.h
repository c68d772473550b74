#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class CPdfDictionary;
class CPdfObject;
class CPdfXRef;
class COutputWriter;

// One entry the stamp adds to a page's resources: the category (Font,
// XObject, ExtGState), the resource name and the object it names. Entries of
// one category go into the page's sub-dictionary together.
struct ResourceFragment {
    std::string category;
    std::string name;
    int32_t objectNumber = 0;

    // " /F1 10 0 R ": one more entry in a sub-dictionary.
    std::string ShortForm() const;
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
// other pages draw too is left as it is: the page gets an array of its own
// with the same streams.
class CPageEditor {
public:
    CPageEditor(CPdfXRef& xref, COutputWriter& writer) : xref_(xref), writer_(writer) {}

    // Tells whether a /Contents array object is drawn by more than one page.
    using SharedContents = std::function<bool(int32_t number)>;

    // `pageBytes` are the page object's exact bytes and `pageValue` its parsed
    // value; `contentNumber` is the stamp's content stream, the newest object;
    // `saveStateNumber` the stream holding "q" to draw first, 0 for none.
    void EditPage(std::string pageBytes, int32_t objectNumber, const CPdfObject& pageValue, int32_t contentNumber,
                  const std::vector<ResourceFragment>& fragments, int32_t saveStateNumber = 0,
                  const SharedContents& isShared = {});

private:
    void EditContents(std::string& page, std::optional<size_t> pageBody, const CPdfDictionary& pageDict,
                      int32_t contentNumber, int32_t saveStateNumber, const SharedContents& isShared);
    // Replaces the reference after the page's "/Contents" by an array of the
    // array object's elements between `lead` and the stamp's stream.
    static void InlineContentsArray(std::string& page, size_t key, const std::string& arrayBytes,
                                    const std::string& lead, const std::string& stamp);
    // Adds the entries (" /F1 10 0 R  /F2 11 0 R ") of one category.
    void AddResource(std::string& text, size_t where, const CPdfObject& sub, const std::string& category,
                     const std::string& entries);
    void WriteObject(int32_t number, const std::string& bytes);

    CPdfXRef& xref_;
    COutputWriter& writer_;
};
