#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pdf/object/CPdfObject.h"

class CPdfResolver;

// A PDF dictionary. Keys are unique and the first value given for a key
// stays; iteration runs in key order, the keys compared as unsigned bytes.
// Shared between the values that hold it; `lookup` follows references through
// the bound cross-reference, `lookupNF` does not, and a missing key gives null.
// The entries are one sorted array: dictionaries are small and read far more
// often than changed, so that a search through a few keys in one block of
// memory beats a tree with a node per entry.
class CPdfDictionary : public std::enable_shared_from_this<CPdfDictionary> {
public:
    using Entry = std::pair<std::string, CPdfObject>;
    using Entries = std::vector<Entry>;

    explicit CPdfDictionary(CPdfResolver* xref = nullptr) : xref_(xref) {}

    void add(std::string key, CPdfObject value);
    // Replaces every entry with those moved out of `read`, given in the
    // order read: sorted here, and of a key given more than once the first
    // value stays.
    void assign(std::span<Entry> read);
    CPdfObject lookup(std::string_view key) const;
    CPdfObject lookupNF(std::string_view key) const;
    // The stored value, or null when the key is absent; no copy is made.
    const CPdfObject* find(std::string_view key) const;
    bool isType(std::string_view type) const;

    size_t getLength() const { return entries_.size(); }
    std::string getKey(size_t index) const;
    const Entries& entries() const { return entries_; }

    CPdfResolver* xref() const { return xref_; }
    void setXRef(CPdfResolver* xref) { xref_ = xref; }

private:
    CPdfResolver* xref_;
    Entries entries_;
};
