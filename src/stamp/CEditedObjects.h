#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class PageList;

// The input objects that the edits of the stamped pages write again besides
// the pages themselves (a /Contents array, a /Resources dictionary and its
// sub-dictionaries that are objects of their own), so that each is written
// once: the copy loop leaves them to the edit that changes them, and an
// object that several stamped pages share is edited for the first of them.
class CEditedObjects {
public:
    // `selected` tells whether the page at a position is stamped; the stamp
    // adds resources of the `categories` (Font, XObject, ExtGState).
    CEditedObjects(const PageList& pages, const std::function<bool(int32_t position)>& selected,
                   const std::vector<std::string>& categories);

    // Whether the copy loop leaves object `number` to an edit: a resources
    // object or sub-dictionary a stamped page names, or a stamped page's own
    // /Contents object when it is not a stream (`isStream` tells; asked only
    // then). Remembered for `deferred`.
    bool Defers(int32_t number, const std::function<bool()>& isStream);
    // Before an edit writes object `number`: false when an edit wrote it
    // already, so that it is not written twice.
    bool MarkEdited(int32_t number);
    // The objects the copy loop left, in the order it left them; those no
    // edit wrote are copied as they are after the loop.
    const std::vector<int32_t>& deferred() const { return deferred_; }

private:
    enum Use : uint8_t { kNone, kResources, kContents, kEdited };
    void Mark(int32_t number, Use use);

    std::vector<uint8_t> use_;  // by object number
    std::vector<int32_t> deferred_;
};
