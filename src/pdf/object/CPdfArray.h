#pragma once

#include <vector>

#include "pdf/object/CPdfObject.h"

class CPdfResolver;

// A PDF array: its elements by value, in file order. Shared between the
// values that hold it; `get` follows references through the bound
// cross-reference, `getNF` does not.
class CPdfArray {
public:
    explicit CPdfArray(CPdfResolver* xref = nullptr) : xref_(xref) {}

    void add(CPdfObject value) { elements_.push_back(std::move(value)); }
    size_t getLength() const { return elements_.size(); }
    CPdfObject get(size_t index) const;
    const CPdfObject& getNF(size_t index) const { return elements_[index]; }

    CPdfResolver* xref() const { return xref_; }

private:
    CPdfResolver* xref_;
    std::vector<CPdfObject> elements_;
};
