#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "pdf/object/CPdfObject.h"

class CPdfResolver;

// A PDF dictionary. Keys are unique and the first value given for a key
// stays; iteration runs in key order, the keys compared as unsigned bytes.
// Shared between the values that hold it; `lookup` follows references through
// the bound cross-reference, `lookupNF` does not, and a missing key gives null.
class CPdfDictionary : public std::enable_shared_from_this<CPdfDictionary> {
public:
    using Entries = std::map<std::string, CPdfObject, std::less<>>;

    explicit CPdfDictionary(CPdfResolver* xref = nullptr) : xref_(xref) {}

    void add(std::string key, CPdfObject value) { entries_.try_emplace(std::move(key), std::move(value)); }
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
